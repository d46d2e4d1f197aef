#include "tool/ddr/ddr_cmd.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/time.h>

#include "bases/host/host.h"
#include "kelvo/kelvo.h"
#include "tool/cmd_kit.h"
#include "tool/ddr/ddr_mem.h"
#include "tool/ddr/rtc.h"
#include "tool/load/load_log.h"

namespace {

constexpr const char *kHexHeader = "--------  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f";
constexpr const char *kBannerRule = "\t*******************************************";

// What the DDR and SOL reads differ in.
struct ReadKind {
    const char *name;        // "DDR" or "SOL"
    const char *file;
    bool ddr;
    int32_t openFail;
    bool fwriteBlank;  // an empty line after the fwrite failure line
    const char *badFormat;
};

constexpr ReadKind kDdrRead = {"DDR", "log.txt", true, kDdrFileFail, true,
                               "read ddr byte commond error!"};
constexpr ReadKind kSolRead = {"SOL", "sol.txt", false, kDdrOpenFail, false,
                               "read sol byte commond error!"};

struct Env {
    int fd = -1;
    uint8_t *map = nullptr;
    size_t size = 0;
    ~Env()
    {
        if (map != nullptr)
            ddr_test_env_release(fd, map, size);
    }
};

int32_t bar_mode(uint16_t *mode)
{
    int32_t ret = rtc_get_bar_map_mode(mode);
    if (ret != 0)
        std::printf("call rtc_get_bar_map_mode err, ret = %d\n", ret);
    return ret;
}

int32_t env_open(Env &env, uint16_t mode)
{
    int32_t ret = ddr_test_env_init(&env.fd, &env.map, &env.size, mode);
    if (ret != 0)
        std::printf("call bar_test_env error, iret=%d\n", ret);
    return ret;
}

// "0x" hex OFFSET or decimal OFFSET, "+", LENGTH, "/", format letter.
int scan_read(const char *params, unsigned &off, int &len, char &fmt)
{
    if (std::strncmp(params, "0x", 2) == 0)
        return sscanf_s(params + 2, "%x+%d/%c", &off, &len, &fmt, 1u);
    int soff = 0;
    int n = sscanf_s(params, "%d+%d/%c", &soff, &len, &fmt, 1u);
    off = static_cast<unsigned>(soff);
    return n;
}

// OFFSET "+" LENGTH "-0x" WORD.
int scan_write(const char *params, unsigned &off, int &len, unsigned &word)
{
    if (std::strncmp(params, "0x", 2) == 0)
        return sscanf_s(params, "0x%x+%x-0x%x", &off, &len, &word);
    int soff = 0;
    int n = sscanf_s(params, "%d+%d-0x%x", &soff, &len, &word);
    off = static_cast<unsigned>(soff);
    return n;
}

int32_t span_checks(unsigned off, int len, uint64_t limit)
{
    if (len < 0) {
        LOAD_ERR("Invalid read length[%d]", len);
        return kDdrBadLength;
    }
    if (off % 4 != 0) {
        LOAD_ERR("Invalid read offset[0x%x]", off);
        return kDdrBadLength;
    }
    if (static_cast<uint64_t>(off) + static_cast<uint64_t>(len) > limit) {
        LOAD_ERR("Too Long To Read, Should < 0x%lx Bytes", static_cast<unsigned long>(limit));
        return kDdrReadLimit;
    }
    return 0;
}

void write_checked(const void *data, size_t size, FILE *f, bool blank)
{
    size_t n = std::fwrite(data, 1, size, f);
    if (n != size)
        std::printf("fwrite fail, ret=%d\n%s", static_cast<int>(n), blank ? "\n" : "");
}

int32_t write_out(const ReadKind &k, char fmt, uint8_t *buf, unsigned off, int len, uint64_t areaStart,
                  bool swap, FILE *f)
{
    if (fmt == 'c') {
        if (swap)
            for (int i = 0; i + 4 <= len; i += 4) {
                std::swap(buf[i], buf[i + 3]);
                std::swap(buf[i + 1], buf[i + 2]);
            }
        write_checked(buf, static_cast<size_t>(len), f, k.fwriteBlank);
        return 0;
    }
    if (fmt == 'b') {
        uint64_t first = k.ddr ? areaStart + off : off;  // SOL lines count from the SOL area
        dump_hex(buf, static_cast<uint32_t>(len), static_cast<uint32_t>(first), static_cast<uint32_t>(len),
                 "", f);
        return 0;
    }
    std::puts(k.badFormat);
    return kDdrBadLength;
}

int32_t read_bytes(const ReadKind &k, const char *params)
{
    if (params == nullptr)
        return kDdrNull;
    uint16_t mode = 0;
    if (bar_mode(&mode) != 0)
        return 1;
    Env env;
    int32_t ret = env_open(env, mode);
    if (ret != 0)
        return ret;
    unsigned off = 0;
    int len = 0;
    char fmt = 0;
    if (scan_read(params, off, len, fmt) < 3) {
        LOAD_ERR("Invalid optarg: %s", params);
        return kDdrBadParam;
    }
    const DdrMapMode &m = ddr_map_mode(mode);
    uint64_t start = k.ddr ? m.ddrStart : m.solStart;
    ret = span_checks(off, len, k.ddr ? m.ddrLimit : m.solLimit);
    if (ret != 0)
        return ret;
    std::unique_ptr<uint8_t[]> buf(new (std::nothrow) uint8_t[static_cast<size_t>(len) + 1]());
    if (!buf)
        return kDdrNoMem;
    ret = ddr_read(buf.get(), len, env.map + start + off);
    if (ret != 0) {
        LOAD_ERR("Fail To Read %s Bytes[0x%08x + %d], Ret = %d", k.name, off, len, ret);
        return ret;
    }
    std::printf("Read %s bytes[0x%08x + %d] :\n", k.name, off, len);
    FILE *f = host().fopen(k.file, "a+");
    if (f == nullptr) {
        LOAD_ERR("Cannot open file");
        return k.openFail;
    }
    ret = write_out(k, fmt, buf.get(), off, len, start, k.ddr && mode == 0, f);
    std::fclose(f);
    return ret;
}

struct LineOut {
    std::string text;
    const char *label;
    FILE *file;

    void flush()
    {
        std::printf("%s%s\n", label, text.c_str());
        text += '\n';
        write_checked(text.data(), text.size(), file, false);
        text.clear();
    }
    void start(uint32_t address)
    {
        char head[16] = {};
        sprintf_s(head, sizeof head, "%08x:", address & ~0xFu);
        text = head;
    }
};

// ---- health and loop tests ------------------------------------------------------------------

void banner(bool ok)
{
    if (ok) {
        std::puts(kBannerRule);
        std::puts("\tDDR IS OK");
        std::puts(kBannerRule);
        return;
    }
    LOAD_ERR("%s", kBannerRule);
    LOAD_ERR("\tDDR IS FAULT");
    LOAD_ERR("%s", kBannerRule);
}

long us_since(const timeval &t0)
{
    timeval t{};
    host().gettimeofday(&t, nullptr);
    return (t.tv_sec - t0.tv_sec) * 1000000L + (t.tv_usec - t0.tv_usec);
}

int three_step(uint16_t mode)
{
    int ret = do_three_step_test(mode);
    if (ret != 0)
        std::printf("do 3 step test fail, %d!\n", ret);
    return ret;
}

int nine_step(uint16_t mode)
{
    int ret = do_nine_step_test(mode);
    if (ret != 0)
        std::printf("do 9 step test fail, %d!\n", ret);
    return ret;
}

int both_steps(uint16_t mode)
{
    std::puts("Need to do both 3 step & 9 step test method.");
    int ret = three_step(mode);
    return ret != 0 ? ret : nine_step(mode);
}

struct HealthMode {
    long mode;
    int (*run)(uint16_t barMode);
};

constexpr HealthMode kHealthModes[] = {{0, both_steps}, {3, three_step}, {9, nine_step}};

int32_t vga_stub(const char *)
{
    std::puts("fpga0 Video compression test stub\n");
    std::puts("SUCCESS!\n");
    return 0;
}

struct LoopKind {
    const char *name;
    int32_t (*run)(const char *params);
    bool verdict;  // print SUCCESS!/LOOP TEST FAILED! after it
};

constexpr LoopKind kLoops[] = {{"ddr", ddr_loop_test, true}, {"rtc", rtc_loop_test, true}, {"vga", vga_stub, false}};

} // namespace

void dump_hex(const uint8_t *buf, uint32_t length, uint32_t address, uint32_t count, const char *label, FILE *file)
{
    uint32_t n = length < count ? length : count;
    std::printf("%s%s\n", label, kHexHeader);
    std::string head = std::string(kHexHeader) + "\n";
    if (address % 16 == 0)
        head += "\n";
    write_checked(head.data(), head.size(), file, false);
    LineOut line{{}, label, file};
    line.start(address);
    for (uint32_t pad = 0; pad < address % 16; pad++)
        line.text += "   ";
    bool pending = n == 0 || address % 16 != 0;
    for (uint32_t i = 0; i < n; i++) {
        char byte[8] = {};
        sprintf_s(byte, sizeof byte, " %02hhx", buf[i]);
        line.text += byte;
        pending = true;
        if ((address + i + 1) % 16 == 0) {
            line.flush();
            line.start(address + i + 1);
            pending = false;
        }
    }
    if (pending)
        line.flush();
}

TransOpStatus read_ddr_bytes(const char *params) { return read_bytes(kDdrRead, params); }
TransOpStatus read_sol_bytes(const char *params) { return read_bytes(kSolRead, params); }

TransOpStatus write_ddr_bytes(const char *params)
{
    if (params == nullptr)
        return kDdrNull;
    uint16_t mode = 0;
    if (bar_mode(&mode) != 0)
        return 1;
    Env env;
    int32_t ret = env_open(env, mode);
    if (ret != 0)
        return ret;
    unsigned off = 0, word = 0;
    int len = 0;
    if (scan_write(params, off, len, word) < 3) {
        LOAD_ERR("Invalid optarg: %s", params);
        return kDdrBadParam;
    }
    const DdrMapMode &m = ddr_map_mode(mode);
    ret = span_checks(off, len, mode == 0 ? m.ddrLimit : 0x3800000);
    if (ret != 0)
        return ret;
    if (len != 4) {
        LOAD_ERR("Invalid read length[%d]", len);
        return kDdrBadLength;
    }
    std::printf("Write DDR bytes[0x%08x + %d] : \n", off, len);
    return ddr_write(&word, len, env.map + m.ddrStart + off);
}

TransOpStatus test_ddr_health(const char *params)
{
    if (params == nullptr)
        return kDdrNull;
    uint16_t barMode = 0;
    if (bar_mode(&barMode) != 0)
        return 1;
    timeval t0{};
    host().gettimeofday(&t0, nullptr);
    long mode = std::strtol(params, nullptr, 10);
    for (const HealthMode &h : kHealthModes) {
        if (h.mode != mode)
            continue;
        int ret = h.run(barMode);
        banner(ret == 0);
        long used = us_since(t0);
        std::printf("\tTime used : %d.%06ds\n", static_cast<int>(used / 1000000), static_cast<int>(used % 1000000));
        return ret;
    }
    std::printf("do not suport mode %d!\n", static_cast<int>(mode));
    return kDdrBadLength;
}

int32_t ddr_loop_test(const char *params)
{
    uint16_t mode = 0;
    if (bar_mode(&mode) != 0)
        return 1;
    int seconds = 0;
    if (params == nullptr || sscanf_s(params, "ddr:%d", &seconds) != 1) {
        LOAD_ERR("Invalid optarg: %s", params ? params : "");
        return kDdrBadLength;
    }
    timeval t0{};
    host().gettimeofday(&t0, nullptr);
    int ret = 0;
    do {
        ret = do_three_step_test(mode);
        if (ret != 0) {
            LOAD_ERR("do_three_step_test err, ret = %d", ret);
            break;
        }
        ret = do_nine_step_test(mode);
        if (ret != 0) {
            LOAD_ERR("do_nine_step_test err, ret = %d", ret);
            break;
        }
    } while (us_since(t0) <= static_cast<long>(seconds) * 1000000L);
    banner(ret == 0);
    return ret;
}

TransOpStatus loop_test(const char *params)
{
    char name[10] = {};
    int count = 0;
    int ret = sscanf_s(params, "%9[^:]:%d", name, static_cast<unsigned>(sizeof name), &count);
    if (ret != 2) {
        cmd_invalid_line(CmdSite{"loop_test", __FILE__, __LINE__}, ret);
        return -1;
    }
    for (const LoopKind &l : kLoops) {
        if (std::strcmp(l.name, name) != 0)
            continue;
        int32_t status = l.run(params);
        if (l.verdict)
            std::puts(status == 0 ? "SUCCESS!\n" : "LOOP TEST FAILED!\n");
        return status;
    }
    std::printf("default cmd :%d\n \n", 3);
    std::puts("LOOP TEST FAILED!\n");
    return 2;
}
