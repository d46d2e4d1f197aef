#include "tool/trans/trans_cmd.h"

#include <cstdio>
#include <cstring>

#include "tool/quorbix.h"

TransBoard trans_board()
{
    if (std::strstr(gBoardName, "ZK17DORN") != nullptr)
        return TransBoard::Dorn;
    if (std::strstr(gBoardName, "ZK17KESP") != nullptr)
        return TransBoard::Kesp;
    return TransBoard::Other;
}

void trans_line(const char *text)
{
    std::puts(text);
}

TransOpStatus trans_bad_input(const CmdSite &site, int scanRet)
{
    trans_failed();
    cmd_invalid_line(site, scanRet);
    return kTransBadInput;
}

void trans_error_line(const char *name, int32_t status)
{
    std::printf("Function %s exe error, iRet = %d\n", name, status);
}

void trans_error_line_long(const char *name, int32_t status, const CmdSite &site)
{
    std::printf("Function %s exe error, iRet = %d, [%s] %s:%u\n", name, status, site.name, site.file, site.line);
}

TransOpStatus trans_op_failed(const char *name, int32_t status)
{
    trans_failed();
    trans_error_line(name, status);
    return status;
}

void trans_log_memset(const char *file, int line, KelvoErr err, const void *dest, size_t destMax, size_t count)
{
    std::printf("%s:%d [quorbix-ERR]memset_s failed %d, dest_str %p(%lu), cnt(%lu)\n", file, line, err, dest,
                static_cast<unsigned long>(destMax), static_cast<unsigned long>(count));
}

void trans_log_memcpy(const char *file, int line, KelvoErr err, const void *dest, size_t destMax, const void *src,
                      size_t count)
{
    std::printf("%s:%d [quorbix-ERR]memcpy_s failed %d, dest_str %p(%lu), src_str %p(%lu)\n", file, line, err, dest,
                static_cast<unsigned long>(destMax), src, static_cast<unsigned long>(count));
}

void trans_log_strncpy(const char *file, int line, KelvoErr err, const void *dest, size_t destMax, const void *src,
                       size_t count)
{
    std::printf("%s:%d [quorbix-ERR]strncpy_s failed %d, dest_str %p(%lu), src_str %p(%lu)\n", file, line, err, dest,
                static_cast<unsigned long>(destMax), src, static_cast<unsigned long>(count));
}

namespace {

// The value of a hexadecimal digit, or -1.
int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

int32_t eth_pci_hex_num(char *text, uint32_t *result)
{
    if (text == nullptr || result == nullptr)
        return kTransHexBad;
    uint32_t value = 0;
    for (char *p = text; *p != '\0'; p++) {
        if (*p >= 'A' && *p <= 'F')
            *p = static_cast<char>(*p - 'A' + 'a');
        int digit = hex_digit(*p);
        if (digit < 0)
            return kTransHexBad;
        value = value << 4 | static_cast<uint32_t>(digit);
    }
    *result = value;
    return 0;
}
