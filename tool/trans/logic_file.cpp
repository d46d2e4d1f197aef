#include "tool/trans/logic_file.h"

#include <cstdio>
#include <cstring>

#include "bases/pci/smbios.h"
#include "tool/load/spi_flash.h"
#include "tool/trans/trans_cmd.h"

#define LOGIC_SITE(name) CmdSite{name, __FILE__, unsigned(__LINE__)}

namespace {

constexpr uint32_t kSmbiosProduct = 1;
constexpr uint32_t kLoadTypeFile = 1;
constexpr size_t kPathSize = 256;   // up to 255 characters

// A flash and the FPGA type its image is prepared for.
struct FlashChoice {
    int32_t flash;
    uint32_t fpgaType;
};

// The choice on a board whose product name holds "ZK17DORN", and on any other.
struct LogicTarget {
    FlashChoice dorn;
    FlashChoice other;
};

constexpr LogicTarget kTransLogic = {{0, 0}, {0, 1}};
constexpr LogicTarget kSbufLogic = {{1, 0}, {0, 1}};

// The product name and the choice it makes; the reader's status on failure.
int32_t logic_choice(const LogicTarget &target, FlashChoice &choice)
{
    char product[kTransProductSize];
    const int32_t ret = trans_smbios_product(product);
    if (ret == 0)
        choice = std::strstr(product, "ZK17DORN") != nullptr ? target.dorn : target.other;
    return ret;
}

// "SUCCESS", or "FAILED" and the store operation's failure line: the long
// form has a comma after the status, the short one none.
TransOpStatus store_result(const char *operation, int32_t status, const CmdSite &site, bool longForm)
{
    if (status == 0) {
        trans_success();
        return 0;
    }
    trans_failed();
    if (longForm)
        trans_error_line_long(operation, status, site);
    else
        std::printf("Function %s exe error, iRet = %d [%s] %s:%u\n", operation, status, site.name, site.file,
                    site.line);
    return status;
}

// Writes the logic file named by the parameter text into the chosen flash.
// The product name is read before the text is scanned.
TransOpStatus logic_file_load(const char *params, const LogicTarget &target, const char *handler,
                              const char *announce)
{
    FlashChoice choice{};
    int32_t ret = logic_choice(target, choice);
    if (ret != 0)
        return ret;
    char path[kPathSize] = {};
    const int scanned = sscanf_s(params, "%s", path, unsigned(sizeof path));
    if (scanned < 1)
        return trans_bad_input(LOGIC_SITE(handler), scanned);
    if (announce != nullptr)
        trans_line(announce);
    ret = ruda_fpga_load_file(choice.flash, path, choice.fpgaType, kLoadTypeFile);
    return store_result("ruda_fpga_load_file", ret, LOGIC_SITE(handler), false);
}

}  // namespace

int32_t trans_smbios_product(char (&product)[kTransProductSize])
{
    TRANS_MEMSET_S(product, sizeof product, 0, sizeof product);
    const int ret = smbios_get_board_info(kSmbiosProduct, product, int(sizeof product));
    product[sizeof product - 1] = '\0';
    if (ret != 0)
        std::printf("call smbios_get_board_info fail! iRet=%d\n", ret);
    return ret;
}

TransOpStatus get_trans_logic_version(const char *)
{
    FlashChoice choice{};
    int32_t ret = logic_choice(kTransLogic, choice);
    if (ret != 0)
        return ret;
    uint32_t version = 0;
    ret = ruda_get_spi_flash_ver(choice.flash, &version, choice.fpgaType);
    if (ret != 0) {
        // The place on this line has always read "trans/trans".
        std::printf("ruda_get_spi_flash_ver exe FAILED, iRet = %d [%s] %s:%u\n", ret, "get_trans_logic_version",
                    "trans/trans", unsigned(__LINE__));
        return ret;
    }
    trans_line("Inquery Trans Logic Version Infomation SUCCESS");
    std::printf("trans =(UXX)V%u\n", version);
    return 0;
}

TransOpStatus get_sbuf_logic_version(const char *)
{
    FlashChoice choice{};
    int32_t ret = logic_choice(kSbufLogic, choice);
    if (ret != 0)
        return ret;
    uint32_t version = 0;
    ret = ruda_get_spi_flash_ver(choice.flash, &version, choice.fpgaType);
    if (ret != 0) {
        std::printf("ruda_get_spi_flash_ver exe Infomation FAILED, iRet = %d [%s] %s:%u\n", ret,
                    "get_sbuf_logic_version", __FILE__, unsigned(__LINE__));
        return ret;
    }
    trans_line("Inquery Sbuf Logic Version Infomation SUCCESS");
    std::printf("sbuf =(UXX)V%u\n", version);
    return 0;
}

TransOpStatus load_trans_logic_file(const char *params)
{
    return logic_file_load(params, kTransLogic, "load_trans_logic_file", "Trans FPGA Load File");
}

TransOpStatus load_sbuf_logic_file(const char *params)
{
    return logic_file_load(params, kSbufLogic, "load_sbuf_logic_file", nullptr);
}

TransOpStatus load_trans_logic_now(const char *)
{
    return store_result("ruda_load_fpga", ruda_load_fpga(0), LOGIC_SITE("load_trans_logic_now"), true);
}

TransOpStatus load_sbuf_logic_now(const char *)
{
    return store_result("ruda_load_fpga", ruda_load_fpga(1), LOGIC_SITE("load_sbuf_logic_now"), true);
}

TransOpStatus clear_trans_logic_file(const char *)
{
    return store_result("ruda_fpga_erase_file", ruda_fpga_erase_file(0), LOGIC_SITE("clear_trans_logic_file"), true);
}

// The sbuf erase of a KESP board erases flash 0, as the trans erase does.
TransOpStatus clear_sbuf_logic_file(const char *)
{
    char product[kTransProductSize];
    const int32_t ret = trans_smbios_product(product);
    if (ret != 0)
        return ret;
    const int32_t flash = std::strstr(product, "ZK17KESP") != nullptr ? 0 : 1;
    return store_result("ruda_fpga_erase_file", ruda_fpga_erase_file(flash), LOGIC_SITE("clear_sbuf_logic_file"),
                        false);
}
