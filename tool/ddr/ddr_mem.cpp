#include "tool/ddr/ddr_mem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>

#include "bases/host/host.h"
#include "bases/pci/tvk_bar.h"
#include "kelvo/kelvo.h"
#include "tool/load/load_log.h"

namespace {

constexpr DdrMapMode kDdrModes[] = {
    {0x19aa, 0xe004, 0x2000000, 0x2000000, 0, 0x2000000},
    {kDdrMakerVendor, 0x1710, 0, 0x3800000, 0x3800000, 0x400000},
};

constexpr const char *kDdrBdfFile = "/home/dbf.txt";
constexpr uint64_t kDdrMapSpan = 0x3FFFFFF;
constexpr int kDdrMaxCopy = 0x3FFFFFF;
constexpr long kDdrSettleUs = 10;

uint32_t ld(const DdrArea &a, uint64_t at) { return host().mmio_read32(a.map + at); }
void st(const DdrArea &a, uint64_t at, uint32_t v) { host().mmio_write32(a.map + at, v); }

long us_since(const timeval &t0)
{
    timeval t{};
    host().gettimeofday(&t, nullptr);
    return (t.tv_sec - t0.tv_sec) * 1000000L + (t.tv_usec - t0.tv_usec);
}

// The DDR needs 10 us after a write before a read back means anything.
void ddr_settle()
{
    timeval t0{};
    host().gettimeofday(&t0, nullptr);
    while (us_since(t0) < kDdrSettleUs) {
    }
}

int32_t copy_checks(const void *buf, const void *addr, int length)
{
    if (buf == nullptr || addr == nullptr) {
        LOAD_ERR("Null pointer! buf=%p, addr=0x%lx", buf, reinterpret_cast<unsigned long>(addr));
        return kDdrNull;
    }
    if (length < 1 || length % 4 != 0) {
        LOAD_ERR("Invalid read length[%d]", length);
        return kDdrBadLength;
    }
    if (length > kDdrMaxCopy) {
        LOAD_ERR("Invalid out of lange length[%d]", length);
        return kDdrTooLong;
    }
    return 0;
}

int scan_first_line(FILE *f, unsigned *bus, unsigned *devfn)
{
    char line[256] = {};
    if (std::fgets(line, sizeof line, f) == nullptr)
        std::puts("fgets fail, return is NULL\n");
    unsigned b = 0, d = 0, fn = 0;
    char rest[256] = {};
    int ret = sscanf_s(line, "%x:%x.%x%s", &b, &d, &fn, rest, static_cast<unsigned>(sizeof rest));
    if (ret < 4) {
        std::printf("sscanf_s error, ret=%d\n", ret);
        return 1;
    }
    *bus = b;
    *devfn = (d << 3) | fn;
    return 0;
}

int32_t map_bar0(unsigned bus, unsigned devfn, int *fd, uint8_t **map, size_t *size)
{
    char path[256] = {};
    int ret = tvk_get_res_path(bus, devfn, path, sizeof path);
    if (ret != 0) {
        LOAD_ERR("Cannot get res path, ret=%d", ret);
        return ret;
    }
    uint64_t start = 0, end = 0, flags = 0;
    ret = tvk_get_bar_info(path, 0, &start, &end, &flags);
    if (ret != 0) {
        LOAD_ERR("Cannot get bar[%x:%x.%x, BAR%d] info, ret=%d", bus, devfn >> 3, devfn & 7, 0, ret);
        return ret;
    }
    if (start == end) {
        LOAD_ERR("No BAR%d exist for %x:%x.%x", 0, bus, devfn >> 3, devfn & 7);
        return kDdrNoBar;
    }
    char file[264] = {};
    if (sprintf_s(file, sizeof file, "%s%d", path, 0) < 0)
        return kDdrOpenFail;
    int f = host_open(file, O_RDWR);
    if (f < 0)
        return kDdrOpenFail;
    auto page = static_cast<uint64_t>(host().pagesize());
    auto len = static_cast<size_t>((page + start % page + kDdrMapSpan) & ~(page - 1));
    void *p = host().mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_SHARED, f, 0);
    if (p == MAP_FAILED) {
        int err = errno;
        LOAD_ERR("Fail to mmap %s at 0x%x for 0x%x bytes, errno=%d, %s", file,
                 static_cast<unsigned>(start & ~(page - 1)), static_cast<unsigned>(len), err, std::strerror(err));
        host().close(f);
        return kDdrMapFail;
    }
    *fd = f;
    *map = static_cast<uint8_t *>(p);
    *size = len;
    return 0;
}

// ---- the nine-step march ------------------------------------------------------------------

struct MarchStep {
    uint32_t expect;
    uint32_t write;
    bool ascending;
    const char *label;
};

constexpr MarchStep kMarch[] = {
    {0x55555555, 0xAAAAAAAA, true, "2->3"},
    {0xAAAAAAAA, 0x55555555, true, "4->5"},
    {0x55555555, 0xAAAAAAAA, false, "6->7"},
    {0xAAAAAAAA, 0x55555555, false, "8->9"},
};

void march_fail_lines(const MarchStep &s, uint64_t at, uint32_t got)
{
    std::printf("Readback value differs from reverse pattern, 0x%08lx != 0x%08lx\n", static_cast<unsigned long>(got),
                static_cast<unsigned long>(s.expect));
    if (s.ascending)
        std::printf("Check & reverse pattern[0x%lx] at addr[0x%08lx] fail,fault value is 0x%lx, ret=%d\n",
                    static_cast<unsigned long>(s.expect), static_cast<unsigned long>(at),
                    static_cast<unsigned long>(got), kDdrCheckFail);
    else
        std::printf("Check & reverse pattern[0x%08lx] at addr[0x%08lx] fail,fault value is 0x%08lx, ret=%d\n",
                    static_cast<unsigned long>(s.expect), static_cast<unsigned long>(at),
                    static_cast<unsigned long>(got), kDdrCheckFail);
    std::printf("Cannot reverse pattern[0x%lx] in rise, step %s, ret=%d\n", static_cast<unsigned long>(s.write),
                s.label, kDdrCheckFail);
}

int march_step(const DdrArea &a, const MarchStep &s, uint64_t *faultAddr, uint32_t *faultValue)
{
    uint64_t words = a.length / 4;
    for (uint64_t n = 0; n < words; n++) {
        uint64_t at = a.start + 4 * (s.ascending ? n : words - 1 - n);
        uint32_t got = ld(a, at);
        if (got != s.expect) {
            *faultAddr = at;
            *faultValue = got;
            march_fail_lines(s, at, got);
            return kDdrCheckFail;
        }
        st(a, at, s.write);
    }
    return 0;
}

// ---- environment around a test ---------------------------------------------------------------

struct DdrEnv {
    int fd = -1;
    uint8_t *map = nullptr;
    size_t size = 0;
};

int32_t env_open(DdrEnv &env, uint16_t mode)
{
    int32_t ret = ddr_test_env_init(&env.fd, &env.map, &env.size, mode);
    if (ret != 0)
        std::printf("ddr_test_env_init error, %d\n", ret);
    return ret;
}

void env_close(const DdrEnv &env)
{
    int32_t ret = ddr_test_env_release(env.fd, env.map, env.size);
    if (ret != 0)
        std::printf("ddr_test_env_release error, %d\n", ret);
}

DdrArea test_area(const DdrEnv &env, uint16_t mode)
{
    return DdrArea{env.map, ddr_map_mode(mode).ddrStart, kDdrTestLength};
}

void report_stuck(int index, uint32_t lines)
{
    char text[400] = {};
    get_bit_num_string(lines, text, sizeof text);
    LOAD_ERR("These data lines has SA%d fault : %s", index, text);
}

} // namespace

const DdrMapMode &ddr_map_mode(uint16_t mode) { return kDdrModes[mode == 0 ? 0 : 1]; }

int ddr_get_bdf_by_vendor_device(uint16_t mode, unsigned *bus, unsigned *devfn)
{
    const DdrMapMode &m = ddr_map_mode(mode);
    char cmd[128] = {};
    sprintf_s(cmd, sizeof cmd, "lspci -d %04x:%04x > %s", m.vendor, m.device, kDdrBdfFile);
    int status = host().system(cmd);
    if ((status & 0xFF) != 0) {
        std::printf("lspci -d %04x:%04x or -d %04x:%04x failed, mode %d, status 0x%x\n\n", kDdrModes[0].vendor,
                    kDdrModes[0].device, kDdrModes[1].vendor, kDdrModes[1].device, mode, status & 0xFF);
        return -1;
    }
    FILE *f = host().fopen(kDdrBdfFile, "r");
    if (f == nullptr) {
        std::printf("pfFd is NULL.errno=%d\n\n", errno);
        return 4;
    }
    int ret = scan_first_line(f, bus, devfn);
    std::fclose(f);
    return ret;
}

int32_t ddr_test_env_init(int *fd, uint8_t **map, size_t *size, uint16_t mode)
{
    if (fd == nullptr || map == nullptr || size == nullptr) {
        LOAD_ERR("NULL pointer, pFd=0x%p, pDdrAddr=0x%p, pMemSize=0x%p", static_cast<void *>(fd),
                 static_cast<void *>(map), static_cast<void *>(size));
        return kDdrNull;
    }
    unsigned bus = 0, devfn = 0;
    int ret = ddr_get_bdf_by_vendor_device(mode, &bus, &devfn);
    if (ret != 0) {
        std::printf("call ddr_get_bdf_by_vendor_device error, iret=%d\n", ret);
        return ret;
    }
    return map_bar0(bus, devfn, fd, map, size);
}

int32_t ddr_test_env_release(int fd, uint8_t *map, size_t size)
{
    if (map == nullptr) {
        LOAD_ERR("NULL pointer, ullDdrAddr=0x%lx", 0ul);
        return kDdrNull;
    }
    if (fd < 0) {
        LOAD_ERR("iFd error, iFd=%d", fd);
        return kDdrOpenFail;
    }
    host().munmap(map, size);
    host().close(fd);
    return 0;
}

int32_t ddr_read(void *buf, int length, const uint8_t *src)
{
    int32_t ret = copy_checks(buf, src, length);
    if (ret != 0)
        return ret;
    auto *out = static_cast<uint8_t *>(buf);
    for (int i = 0; i < length; i += 4) {
        uint32_t w = host().mmio_read32(src + i);
        std::memcpy(out + i, &w, 4);
    }
    return 0;
}

int32_t ddr_write(const void *src, int length, uint8_t *dst)
{
    int32_t ret = copy_checks(src, dst, length);
    if (ret != 0)
        return ret;
    const auto *in = static_cast<const uint8_t *>(src);
    for (int i = 0; i < length; i += 4) {
        uint32_t w = 0;
        std::memcpy(&w, in + i, 4);
        host().mmio_write32(dst + i, w);
    }
    return 0;
}

// ---- settle checks and walks ---------------------------------------------------------------

int data_pattern_check(const DdrArea &a, uint32_t pattern, uint64_t at, uint32_t *value)
{
    st(a, at, pattern);
    ddr_settle();
    *value = ld(a, at);
    if (*value == pattern)
        return 0;
    std::printf("Readback value differs from data pattern, 0x%08lx != 0x%08lx\n", static_cast<unsigned long>(*value),
                static_cast<unsigned long>(pattern));
    return kDdrCheckFail;
}

int addr_pattern_check(const DdrArea &a, uint32_t pattern, uint64_t at, uint64_t ref, uint32_t expected,
                       uint32_t *value)
{
    st(a, at, pattern);
    ddr_settle();
    *value = ld(a, ref);
    if (*value == expected)
        return 0;
    std::printf("Readback value differs from addr pattern, 0x%08lx != 0x%08lx\n", static_cast<unsigned long>(*value),
                static_cast<unsigned long>(expected));
    return kDdrCheckFail;
}

int data_bus_walk(const DdrArea &a, int width, int walk, uint32_t *mask)
{
    *mask = 0;
    uint64_t first = a.start, aside = a.start + 4;
    for (int i = 0; i < width; i++) {
        uint32_t bit = 1u << i;
        uint32_t p = walk ? bit : ~bit;
        uint32_t v = 0;
        int ret = data_pattern_check(a, p, first, &v);
        if (ret != 0) {
            *mask |= bit;
            std::printf("Pattern[0x%x] check fail, line %d, addr 0x%08lx, ret=%d\n", p, i,
                        static_cast<unsigned long>(first), ret);
            continue;
        }
        uint32_t kept = ld(a, aside);
        ret = data_pattern_check(a, ~p, aside, &v);
        if (ret != 0) {
            *mask |= bit;
            std::printf("Reverse pattern[0x%lx] check fail, line %d, addr 0x%lx, ret=%d\n",
                        static_cast<unsigned long>(~p), i, static_cast<unsigned long>(aside), ret);
            continue;
        }
        v = ld(a, first);
        st(a, aside, kept);
        if (v != p) {
            *mask |= bit;
            std::printf("Data varies pattern after reverse pattern check on line %d,read back -- 0x%lx, pattern 0x%lx\n",
                        i, static_cast<unsigned long>(v), static_cast<unsigned long>(p));
        }
    }
    return 0;
}

int data_bus_test(const DdrArea &a, int width, uint32_t *masks, int count)
{
    if (count < 2) {
        std::printf("Too small buffer\n");
        return 1;
    }
    if (masks == nullptr) {
        std::printf("Null pointer detected\n");
        return 3;
    }
    int faults = 0;
    for (int walk = 0; walk < 2; walk++) {
        int ret = data_bus_walk(a, width, walk, &masks[walk]);
        if (ret != 0) {
            std::printf("Cannot test data bus WALK%d, ret=%d\n", walk, ret);
            return ret;
        }
        if (masks[walk] != 0) {
            std::printf("Data bus walk%d fault : 0x%08x\n", walk, masks[walk]);
            faults++;
        }
    }
    return faults;
}

int addr_bus_walk(const DdrArea &a, int width, int walk, uint32_t *mask)
{
    *mask = 0;
    uint64_t ref = a.start;
    uint32_t refKept = ld(a, ref);
    st(a, ref, 0xFFFFFFFF);
    for (int i = 0; i < width; i++) {
        uint64_t off = 4ull << i;
        if (off >= a.length)
            break;
        uint64_t at = a.start + off;
        uint32_t kept = ld(a, at);
        uint32_t v = 0;
        int ret = addr_pattern_check(a, static_cast<uint32_t>(~off), at, ref, 0xFFFFFFFF, &v);
        if (ret != 0) {
            *mask |= 1u << i;
            std::printf("Addr[0x%lx] pattern check walk%d fail, ret=%d\n", static_cast<unsigned long>(at), walk, ret);
            st(a, ref, 0xFFFFFFFF);  // one faulty line marks one bit, not every line above it
            continue;
        }
        st(a, at, kept);
    }
    st(a, ref, refKept);
    return 0;
}

int addr_bus_test(const DdrArea &a, int width, uint32_t *masks, int count)
{
    if (count < 2) {
        std::printf("Too small buffer size[%d]\n", count);
        return 1;
    }
    if (masks == nullptr) {
        std::printf("Null pointer detected\n");
        return 3;
    }
    int ret = addr_bus_walk(a, width, 1, &masks[1]);
    if (ret != 0) {
        std::printf("Cannot test addr bus walk %d, ret=%d\n", 1, ret);
        return ret;
    }
    if (masks[1] == 0)
        return 0;
    std::printf("Addr bus walk%d fault : 0x%08x\n", 1, masks[1]);
    return 1;
}

int three_step_test(const DdrArea &a, int dataWidth, int addrWidth, ThreeStepResult *r)
{
    *r = ThreeStepResult{};
    uint64_t last = a.start + a.length - 4;
    int ret = data_pattern_check(a, 0, a.start, &r->word[0]);
    if (ret != 0) {
        std::printf("Data pattern[0x%08x] check fail[%d], addr[0x%08lx], readback[0x%08lx]\n", 0u, ret,
                    static_cast<unsigned long>(a.start), static_cast<unsigned long>(r->word[0]));
        LOAD_ERR("Data line has STUCK-AT-1-FAULT, 0x%08lx", static_cast<unsigned long>(r->word[0]));
    }
    ret = data_pattern_check(a, 0xFFFFFFFF, last, &r->word[1]);
    if (ret != 0) {
        std::printf("Data pattern[0x%08x] check fail[%d], addr[0x%08lx], readback[0x%08lx]\n", 0xffffffffu, ret,
                    static_cast<unsigned long>(last), static_cast<unsigned long>(r->word[1]));
        std::printf("Data bus has STUCK-AT-0-FAULT, 0x%08lx\n", static_cast<unsigned long>(r->word[1]));
    }
    ret = data_bus_test(a, dataWidth, r->dataMask, 2);
    if (ret < 0)
        std::printf("Cannnot do data bus test, ret=%d\n", ret);
    else if (ret > 0)
        std::printf("%d errors in data bus test, [0x%08x, 0x%08x]\n", ret, r->dataMask[0], r->dataMask[1]);
    ret = addr_bus_test(a, addrWidth, r->addrMask, 2);
    if (ret < 0)
        std::printf("Cannnot do addr bus test, ret=%d\n", ret);
    else if (ret > 0)
        std::printf("%d errors in data bus test, [0x%08x, 0x%08x]\n", ret, r->addrMask[0], r->addrMask[1]);
    return ret;
}

int nine_step_test(const DdrArea &a, int, int, uint64_t *faultAddr, uint32_t *faultValue)
{
    for (uint64_t at = a.start; at < a.start + a.length; at += 4)
        st(a, at, 0x55555555);
    for (const MarchStep &s : kMarch) {
        int ret = march_step(a, s, faultAddr, faultValue);
        if (ret != 0)
            return ret;
    }
    return 0;
}

int do_three_step_test(uint16_t mode)
{
    DdrEnv env;
    int32_t ret = env_open(env, mode);
    if (ret != 0)
        return ret;
    ThreeStepResult r{};
    ret = three_step_test(test_area(env, mode), kDdrDataWidth, kDdrAddrWidth, &r);
    if (ret != 0)
        LOAD_ERR("Cannot do three-step test, error=%d", ret);
    int status = 0;
    if (r.word[0] != 0) {
        report_stuck(1, r.word[0]);
        status = 3;
    }
    if (r.word[1] != 0xFFFFFFFF) {
        report_stuck(0, ~r.word[1]);
        status = 3;
    }
    for (int w = 0; w < 2; w++)
        if (r.dataMask[w] != 0) {
            LOAD_ERR("Data bus walk %d test fail, val=0x%08x", w, r.dataMask[w]);
            status = 3;
        }
    for (int w = 0; w < 2; w++)
        if (r.addrMask[w] != 0) {
            LOAD_ERR("Address bus walk %d test fail, val=0x%08x", w, r.addrMask[w]);
            status = 3;
        }
    env_close(env);
    return status;
}

int do_nine_step_test(uint16_t mode)
{
    DdrEnv env;
    int32_t ret = env_open(env, mode);
    if (ret != 0)
        return ret;
    uint64_t faultAddr = 0;
    uint32_t faultValue = 0;
    ret = nine_step_test(test_area(env, mode), kDdrDataWidth, kDdrAddrWidth, &faultAddr, &faultValue);
    if (ret != 0)
        LOAD_ERR("DDR memory unit test FAIL, error=%d, Fault address : 0x%08lx, fault value : 0x%lx", ret,
                 static_cast<unsigned long>(faultAddr), static_cast<unsigned long>(faultValue));
    else
        std::puts("DDR memory unit is OK");
    env_close(env);
    return ret;
}

int get_bit_num_string(uint32_t mask, char *text, size_t size)
{
    if (text == nullptr)
        return 3;
    if (size > 0)
        text[0] = '\0';
    for (int i = 0; i < 32; i++) {
        if ((mask & (1u << i)) == 0)
            continue;
        char one[8] = {};
        sprintf_s(one, sizeof one, "%d ", i);
        KelvoErr err = strcat_s(text, size, one);
        if (err != KelvoOk)
            return err;
    }
    return 0;
}
