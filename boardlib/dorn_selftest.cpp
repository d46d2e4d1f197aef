// DORN self tests.
#include "boardlib/dorn_selftest.h"

#include <array>

#include "bases/host/host.h"
#include "boardlib/dorn_intf.h"
#include "boardlib/dorn_logic.h"
#include "boardlib/dorn_port.h"
#include "boardlib/dorn_reg.h"
#include "boardlib/dorn_version.h"
// The one include up into the board-independent layer: the port-enable step
// switches the sbuf FPGA's ports through PlovTransSetPortSwitch, the operation
// itself, so the switch keeps its own checks and lines.
#include "boardlib/plov_port_intf.h"

namespace {

using ull = unsigned long long;

// ---- tester blocks ---------------------------------------------------------------------------------

struct TestBlock {
    uint64_t base;
    uint64_t busy;   // bit 0 set while a check runs
    uint64_t extra;  // extra status register
};

constexpr TestBlock kBlocks[] = {
    {DORN_TEST_DDR3_A, 0xC4F, 0xD81},
    {DORN_TEST_DDR3_B, 0x104F, 0x1181},
    {DORN_TEST_QDR, 0x84F, 0x981},
    {DORN_TEST_RLDRAM, 0x3C4F, 0x3D91},
};

const TestBlock *block_of(uint64_t base)
{
    for (const TestBlock &b : kBlocks)
        if (b.base == base)
            return &b;
    return nullptr;
}

constexpr uint64_t kCmdStatus = 0x45;   // write 3 to store a pattern entry; bit 1 busy
constexpr uint64_t kPatIndex = 0x46;
constexpr uint64_t kPatData = 0x47;
constexpr uint64_t kResult = 0x106;     // four result registers
constexpr size_t kPatterns = 11;

constexpr std::array<uint8_t, kPatterns> kPatBytes = {0x00, 0x11, 0xEE, 0x22, 0xDD, 0x44,
                                                      0xBB, 0x88, 0x77, 0xFF, 0xA5};

constexpr uint64_t repeat_byte(uint8_t b, unsigned bytes)
{
    uint64_t v = 0;
    for (unsigned i = 0; i < bytes; i++)
        v = v << 8 | b;
    return v;
}

constexpr std::array<uint64_t, kPatterns> ddr_patterns()
{
    std::array<uint64_t, kPatterns> out{};
    for (size_t k = 0; k < kPatterns; k++)
        out[k] = repeat_byte(kPatBytes[k], 8);
    return out;
}

constexpr std::array<uint64_t, kPatterns * 3> sram_patterns()
{
    std::array<uint64_t, kPatterns * 3> out{};
    for (size_t k = 0; k < kPatterns; k++) {
        out[3 * k] = repeat_byte(kPatBytes[k], 2);
        out[3 * k + 1] = out[3 * k + 2] = repeat_byte(kPatBytes[k], 8);
    }
    return out;
}

constexpr auto kDdrPatterns = ddr_patterns();
constexpr auto kSramPatterns = sram_patterns();
static_assert(kDdrPatterns[1] == 0x1111111111111111ULL && kDdrPatterns[10] == 0xA5A5A5A5A5A5A5A5ULL);
static_assert(kSramPatterns[30] == 0xA5A5 && kSramPatterns[31] == 0xA5A5A5A5A5A5A5A5ULL);

constexpr uint64_t kDdrPairs[10] = {0x44, 0x7FF, 0x43, 0x3FFF, 0x4D, 0, 0x4E, 0x3FFF, 0x4F, 1};
constexpr uint64_t kRldrPairs[10] = {0x44, 0x7FF, 0x43, 0x3FFF, 0x4D, 0, 0x4E, 0x7FFF, 0x4F, 1};
constexpr uint64_t kQdrPairs[10] = {0x44, 0x7FF, 0x43, 0x7FFFF, 0x4D, 0, 0x4E, 1, 0x4F, 1};

// One memory check: its blocks (DDR3 on FPGA 0 adds B), patterns, wait and polls.
struct CheckSpec {
    uint64_t base;
    const uint64_t *patterns;
    uint8_t n;
    const uint64_t *pairs;
    unsigned waitS;
    unsigned polls;
};

constexpr CheckSpec kDdrCheck{DORN_TEST_DDR3_A, kDdrPatterns.data(), 1, kDdrPairs, 200, 5};
constexpr CheckSpec kQdrCheck{DORN_TEST_QDR, kSramPatterns.data(), 3, kQdrPairs, 16, 7};
constexpr CheckSpec kRldrCheck{DORN_TEST_RLDRAM, kSramPatterns.data(), 3, kRldrPairs, 16, 7};

constexpr unsigned kPollSleepS = 2;

bool both_ddr(FpgaId fpga, const CheckSpec &c) { return fpga == DORN_FPGA_TRANS && c.base == DORN_TEST_DDR3_A; }

// The busy register of a block of the table.
uint64_t busy_reg(uint64_t base)
{
    for (const TestBlock &b : kBlocks)
        if (b.base == base)
            return b.busy;
    return base + 0x4F;
}

PlovStatus check_idle(FpgaId fpga, uint64_t busy)
{
    uint64_t v = 0;
    PlovStatus ret = DornGetRegData(fpga, busy, &v);
    if (ret != PLOV_OK)
        return ret;
    if ((v & 1) != 0) {
        TRANS_LOG_ERR("The selfcheck is in progress, please wait for next operation, %llx : %llx", ull(busy), ull(v));
        return PLOV_ERR_TEST_BUSY;
    }
    return PLOV_OK;
}

PlovStatus start_check(FpgaId fpga, uint64_t base, const CheckSpec &c)
{
    PlovStatus ret = check_idle(fpga, busy_reg(base));
    if (ret != PLOV_OK)
        return ret;
    return TRANS_DevTestComConf(fpga, base, c.patterns, c.n, c.pairs);
}

// 0 when every busy bit of the check is clear, 1 when one is set.
PlovStatus any_busy(FpgaId fpga, const CheckSpec &c, bool *busy)
{
    uint64_t a = 0, b = 0;
    PlovStatus ret = DornGetRegData(fpga, busy_reg(c.base), &a);
    if (ret == PLOV_OK && both_ddr(fpga, c))
        ret = DornGetRegData(fpga, busy_reg(DORN_TEST_DDR3_B), &b);
    *busy = ((a | b) & 1) != 0;
    return ret;
}

PlovStatus run_check(FpgaId fpga, const CheckSpec &c)
{
    PlovStatus ret = start_check(fpga, c.base, c);
    if (ret == PLOV_OK && both_ddr(fpga, c))
        ret = start_check(fpga, DORN_TEST_DDR3_B, c);
    if (ret != PLOV_OK)
        return ret;
    host().sleep(c.waitS);
    for (unsigned i = 0; i < c.polls; i++) {
        bool busy = true;
        if ((ret = any_busy(fpga, c, &busy)) != PLOV_OK)
            return ret;
        if (!busy)
            return PLOV_OK;
        host().sleep(kPollSleepS);
    }
    host().sleep(kPollSleepS);
    TRANS_LOG_ERR("FPGA[%u] selfcheck of baseaddr[%llx] timeout\n", unsigned(fpga), ull(c.base));
    return PLOV_ERR_TIMEOUT;
}

bool all_low_bits(uint64_t v) { return (v & 0xF) == 0xF; }
bool finished(uint64_t v) { return (v & 0x2) != 0; }

// Sleep a number of milliseconds through the host clock.
void sleep_ms(uint64_t ms)
{
    if (ms >= 1000)
        host().sleep(static_cast<unsigned>(ms / 1000));
    if (ms % 1000 != 0)
        host().usleep(static_cast<useconds_t>((ms % 1000) * 1000));
}

// ---- pattern memory tests --------------------------------------------------------------------------

struct MemTest {
    const char *confName;
    const CheckSpec *check;
    PlovStatus (*conf)(FpgaId);
};

PlovStatus pass_results(FpgaId fpga, unsigned pass, const CheckSpec &c, uint8_t *fa, uint8_t *fb)
{
    PlovStatus ret = TRANS_DevTestGetResult(fpga, c.base, fa);
    if (ret == PLOV_OK && both_ddr(fpga, c))
        ret = TRANS_DevTestGetResult(fpga, DORN_TEST_DDR3_B, fb);
    if (ret != PLOV_OK)
        TRANS_LOG_ERR("FPGA[%u] the [%u]th Call TRANS_DevTestGetResult failed, iRet = %d!\n", unsigned(fpga), pass, ret);
    return ret;
}

PlovStatus mem_passes(FpgaId fpga, uint16_t count, const MemTest &t)
{
    for (unsigned pass = 1; pass <= count; pass++) {
        PlovStatus ret = t.conf(fpga);
        if (ret != PLOV_OK) {
            TRANS_LOG_ERR("FPGA[%u] the [%u]th Call %s failed, iRet = %d!\n", unsigned(fpga), pass, t.confName, ret);
            return ret;
        }
        uint8_t fa = 0, fb = 0;
        if ((ret = pass_results(fpga, pass, *t.check, &fa, &fb)) != PLOV_OK)
            return ret;
        if (fa == 0 && fb == 0)
            continue;
        if (t.check == &kDdrCheck)
            TRANS_LOG_ERR("FPGA[%u] Ddr3 [%u]th test FAIL, status_a = %u, status_b = %u!\n", unsigned(fpga), pass,
                          unsigned(fa), unsigned(fb));
        else if (t.check == &kQdrCheck)
            TRANS_LOG_ERR("FPGA[%u] Qdr [%u]th test FAIL!\n", unsigned(fpga), pass);
        else
            TRANS_LOG_ERR("FPGA[%u] Rldram [%u]th test FAIL!\n", unsigned(fpga), pass);
        return PLOV_ERR_TEST_FAILED;
    }
    return PLOV_OK;
}

// QDR and RLDRAM: quiesce the ports, run the passes, enable the ports again.
// A failed quiescing runs no pass and its status is returned.
PlovStatus sram_test(FpgaId fpga, uint16_t count, const MemTest &t, uint32_t kind)
{
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    PlovStatus ret = TRANS_PrepareBeforeDevTest(fpga, kind);
    if (ret != PLOV_OK)
        TRANS_LOG_ERR("FPGA[%u] Call TRANS_PrepareBeforeDevTest failed, iRet = %d!\n", unsigned(fpga), ret);
    else
        ret = mem_passes(fpga, count, t);
    PlovStatus en = TRANS_SetPortEnable(fpga, 1);
    return ret != PLOV_OK ? ret : en;
}

constexpr MemTest kDdrTest{"TRANS_DdrTestConf", &kDdrCheck, TRANS_Ddr3TestConf};
constexpr MemTest kQdrTest{"TRANS_QdrTestConf", &kQdrCheck, TRANS_QdrTestConf};
constexpr MemTest kRldrTest{"TRANS_RldramTestConf", &kRldrCheck, TRANS_RldramTestConf};

// ---- port enable ---------------------------------------------------------------------------------

constexpr uint64_t kPortEnableReg = 0x1402;
constexpr uint64_t kPortsOn = 0xFFF0FFF0FFFULL;
constexpr uint64_t kPortsOff = 0xFFF00000000ULL;
constexpr PortPro kSbufPorts[4] = {{0, 2, 0}, {0, 2, 1}, {0, 3, 0}, {0, 3, 1}};

// ---- TCAM ------------------------------------------------------------------------------------------

constexpr uint64_t kTcamStart = 0x5C4F;
constexpr uint64_t kTcamBusy = 0x5D06;
constexpr uint64_t kTcamError = 0x5D0B;
constexpr uint64_t kTcamDone = 0x5D00;
constexpr uint64_t kTcamRealTime = 0x5C85;
constexpr uint32_t kTcamCfgRow = 27;
constexpr uint64_t kTcamCfgKey = 2;

PlovStatus tcam_read(FpgaId fpga, uint64_t addr, uint64_t *v)
{
    PlovStatus ret = DornGetRegData(fpga, addr, v);
    if (ret != PLOV_OK)
        TRANS_LOG_ERR("DornLogicReadDirReg err, please check [%s] %s:%u", __func__, __FILE__, unsigned(__LINE__));
    return ret;
}

// Row 27 in the TCAM check's own form: the row's command in the second
// 32-bit word, its mode word, and 0 (read) or 1 (write) as command word.
PlovStatus tcam_cfg_access(FpgaId fpga, bool write, std::array<uint64_t, 8> &words)
{
    const IndirRegReq &row = g_IndirReg[kTcamCfgRow];
    IndirRegReq req{};
    req.id = row.id;
    req.command = row.command;
    req.baseaddr = row.baseaddr;
    req.cmd = write ? 1 : 0;
    req.mode = row.mode;
    req.r2base = row.r2base;
    req.ret2base = row.ret2base;
    req.wlen = row.wlen;
    req.rlen = row.rlen;
    req.data = words.data();
    return write ? DornLogicWriteIndirReg(fpga, &req) : DornLogicReadIndirReg(fpga, &req);
}

}  // namespace

// ---- pattern configuration and results -----------------------------------------------------------------

PlovStatus TRANS_DevTestComConf(FpgaId fpga, uint64_t base, const uint64_t patterns[], uint8_t n,
                                const uint64_t pairs[10])
{
    for (uint64_t k = 0; k < kPatterns; k++) {
        PlovStatus ret = DornSetRegData(fpga, base + kPatIndex, k);
        for (uint64_t j = 0; ret == PLOV_OK && j < n; j++)
            ret = DornSetRegData(fpga, base + kPatData + j, patterns[k * n + j]);
        if (ret == PLOV_OK)
            ret = DornSetRegData(fpga, base + kCmdStatus, 3);
        uint64_t v = 0;
        if (ret == PLOV_OK) {
            host().usleep(1);
            ret = DornGetRegData(fpga, base + kCmdStatus, &v);
        }
        if (ret != PLOV_OK)
            return ret;
        if ((v & 0x2) != 0) {
            TRANS_LOG_ERR("Bitmap config timeout");
            return PLOV_ERR_TIMEOUT;
        }
    }
    for (unsigned i = 0; i < 5; i++) {
        PlovStatus ret = DornSetRegData(fpga, base + pairs[2 * i], pairs[2 * i + 1]);
        if (ret != PLOV_OK)
            return ret;
    }
    return PLOV_OK;
}

PlovStatus TRANS_Ddr3TestConf(FpgaId fpga) { return run_check(fpga, kDdrCheck); }
PlovStatus TRANS_QdrTestConf(FpgaId fpga) { return run_check(fpga, kQdrCheck); }
PlovStatus TRANS_RldramTestConf(FpgaId fpga) { return run_check(fpga, kRldrCheck); }

PlovStatus TRANS_DevTestGetResult(FpgaId fpga, uint64_t base, uint8_t *failed)
{
    if (failed == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint64_t any = 0;
    for (uint64_t r = base + kResult; r < base + kResult + 4; r++) {
        uint64_t v = 0;
        PlovStatus ret = DornGetRegData(fpga, r, &v);
        if (ret != PLOV_OK)
            return ret;
        TRANS_LOG_INFO("FPGA[%u] addr[%llx] = %llx", unsigned(fpga), ull(r), ull(v));
        any |= v;
    }
    const TestBlock *b = block_of(base);
    if (b == nullptr) {
        TRANS_LOG_ERR("baseaddr[%llx] selfcheck is not supported", ull(base));
        return PLOV_ERR_RANGE;
    }
    uint64_t v = 0;
    PlovStatus ret = DornGetRegData(fpga, b->extra, &v);
    if (ret != PLOV_OK)
        return ret;
    TRANS_LOG_INFO("FPGA[%u] addr[%llx] = %llx", unsigned(fpga), ull(b->extra), ull(v));
    *failed = (any | v) != 0;
    if (*failed != 0)
        TRANS_LOG_INFO("FPGA[%u] baseaddr[%llx] check fail", unsigned(fpga), ull(base));
    return PLOV_OK;
}

PlovStatus TRANS_FpgaDdrTest(FpgaId fpga, uint16_t count)
{
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    return mem_passes(fpga, count, kDdrTest);
}

PlovStatus TRANS_FpgaQdrTest(FpgaId fpga, uint16_t count) { return sram_test(fpga, count, kQdrTest, 1); }
PlovStatus TRANS_FpgaRldramTest(FpgaId fpga, uint16_t count) { return sram_test(fpga, count, kRldrTest, 0); }

// ---- quiescing ------------------------------------------------------------------------------------------

PlovStatus TRANS_SetPortEnable(FpgaId fpga, uint8_t enable)
{
    if (fpga == DORN_FPGA_TRANS) {
        PlovStatus ret = DornSetRegData(fpga, kPortEnableReg, enable != 0 ? kPortsOn : kPortsOff);
        if (ret != PLOV_OK)
            TRANS_LOG_ERR("FPGA[%u] Call DornLogicWriteDirReg failed, iRet = %d!\n", unsigned(fpga), ret);
        return ret;
    }
    const uint8_t mode = enable != 0 ? 7 : 1;
    for (uint8_t p = 0; p < 4; p++) {
        // Up-call: the board-independent port switch (see the include).
        PlovStatus ret = PlovTransSetPortSwitch(fpga, p, mode);
        if (ret != PLOV_OK) {
            TRANS_LOG_ERR("FPGA[%u] Call PlovTransSetPortSwitch failed, isbuf_mode = %u, Ret = %d!\n", unsigned(fpga),
                          unsigned(mode), ret);
            return ret;
        }
        if ((ret = TRANS_SetPortPhyDown(fpga, &kSbufPorts[p], enable)) != PLOV_OK) {
            TRANS_LOG_ERR("FPGA[%u] Call TRANS_SetPortPhyDown failed, mode = %u, iRet = %d!\n", unsigned(fpga),
                          unsigned(enable), ret);
            return ret;
        }
    }
    return PLOV_OK;
}

PlovStatus TRANS_PrepareBeforeDevTest(FpgaId fpga, uint32_t kind)
{
    constexpr uint64_t kTrafficReg = 0x3981;
    PlovStatus ret = TRANS_SetPortEnable(fpga, 0);
    if (ret != PLOV_OK) {
        TRANS_LOG_ERR("FPGA[%u] Call TRANS_SetPortEnable 0 failed, iRet = %d!\n", unsigned(fpga), ret);
        return ret;
    }
    host().sleep(2);
    uint64_t first = 0, second = 0;
    if ((ret = DornGetRegData(fpga, kTrafficReg, &first)) != PLOV_OK)
        return ret;
    ret = kind == 1 ? DornFpgaQDRTest(fpga, 1) : DornFpgaRLDRTest(fpga, 1);
    if (ret != PLOV_OK) {
        TRANS_LOG_ERR("FPGA[%u] Call DornFpgaQDRTest/DornFpgaRLDRTest[%d] failed, iRet = %d!\n", unsigned(fpga),
                      int(kind), ret);
        return ret;
    }
    if ((ret = DornGetRegData(fpga, kTrafficReg, &second)) != PLOV_OK)
        return ret;
    if (first != second) {
        TRANS_LOG_ERR("FPGA[%u] first stat[%llx] = %llx, second stat[%llx] = %llx, force down is invalid\n",
                      unsigned(fpga), ull(kTrafficReg), ull(first), ull(kTrafficReg), ull(second));
        return PLOV_ERR_TEST_FAILED;
    }
    return PLOV_OK;
}

// ---- register test ------------------------------------------------------------------------------------

PlovStatus DornFpgaTestReg(FpgaId fpga, uint8_t *passed)
{
    constexpr uint64_t kScratch = 0x2;
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    if (passed == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint64_t v = 0, r = 0;
    PlovStatus ret = DornGetRegData(fpga, kScratch, &v);
    if (ret == PLOV_OK)
        ret = DornSetRegData(fpga, kScratch, v);
    if (ret == PLOV_OK)
        ret = DornGetRegData(fpga, kScratch, &r);
    if (ret != PLOV_OK)
        return ret;
    *passed = r == ~v;
    if (*passed == 0)
        TRANS_LOG_DBG("test register write data %llx, read data %llx\n", ull(v), ull(r));
    return PLOV_OK;
}

PlovStatus TRANS_FpgaTestReg(FpgaId fpga, uint16_t count)
{
    for (unsigned i = 0; i < count; i++) {
        uint8_t passed = 0;
        PlovStatus ret = DornFpgaTestReg(fpga, &passed);
        if (ret != PLOV_OK)
            return ret;
        if (passed == 0)
            return PLOV_ERR_TEST_FAILED;
    }
    return PLOV_OK;
}

// ---- timed memory tests -----------------------------------------------------------------------------

PlovStatus DornGetQDRTestResult(FpgaId fpga, uint8_t *failed)
{
    uint64_t v = 0;
    PlovStatus ret = DornGetRegData(fpga, 0x901, &v);
    if (ret == PLOV_OK)
        *failed = !all_low_bits(v);
    return ret;
}

PlovStatus DornGetRLDRTestResult(FpgaId fpga, uint8_t *failed)
{
    if (fpga == DORN_FPGA_SBUF) {
        TRANS_LOG_ERR("SBUF NO RLDR!\n");
        *failed = 0;
        return PLOV_OK;
    }
    uint64_t v = 0;
    PlovStatus ret = DornGetRegData(fpga, 0x3C81, &v);
    if (ret == PLOV_OK)
        *failed = !all_low_bits(v);
    return ret;
}

PlovStatus DornGetDDR3TestResult(FpgaId fpga, uint8_t *failed)
{
    uint64_t a = 0, b = 0xF;
    PlovStatus ret = DornGetRegData(fpga, 0xD01, &a);
    if (ret != PLOV_OK)
        return ret;
    if (fpga == DORN_FPGA_TRANS) {
        if ((ret = DornGetRegData(fpga, 0x1101, &b)) != PLOV_OK)
            return ret;
        if (!finished(b))
            return PLOV_ERR_TIMEOUT;
    }
    *failed = !(finished(a) && all_low_bits(a) && all_low_bits(b));
    return PLOV_OK;
}

PlovStatus DornFpgaQDRTest(FpgaId fpga, uint16_t duration)
{
    const uint64_t t = (uint64_t{duration} + 1) / 2;
    PlovStatus ret = DornSetRegData(fpga, 0x841, t);
    if (ret == PLOV_OK)
        ret = DornSetRegData(fpga, 0x840, 1);
    if (ret != PLOV_OK)
        return ret;
    host().sleep(static_cast<unsigned>(t * 2));
    uint64_t v = 1;
    for (unsigned i = 0; i < 4 && (v & 1) != 0; i++) {
        if (i > 0)
            host().usleep(100);
        if (DornGetRegData(fpga, 0x840, &v) != PLOV_OK) {
            TRANS_LOG_ERR("call DornLogicReadDirReg fail!\n");
            v = 1;
        }
    }
    if ((v & 1) != 0) {
        TRANS_LOG_ERR("DDR Test Time Out, read_data:%llx!\n", ull(v));
        return PLOV_ERR_TIMEOUT;
    }
    uint8_t failed = 1;
    if ((ret = DornGetQDRTestResult(fpga, &failed)) != PLOV_OK)
        return ret;
    return failed != 0 ? PLOV_ERR_TEST_FAILED : PLOV_OK;
}

PlovStatus DornFpgaRLDRTest(FpgaId fpga, uint16_t duration)
{
    if (fpga == DORN_FPGA_SBUF) {
        TRANS_LOG_ERR("SBUF NO RLDR!\n");
        return PLOV_OK;
    }
    PlovStatus ret = DornSetRegData(fpga, 0x3C10, 1);
    if (ret != PLOV_OK)
        return ret;
    host().sleep(static_cast<unsigned>((uint64_t{duration} + 9) / 10 * 10));
    if ((ret = DornSetRegData(fpga, 0x3C10, 0)) != PLOV_OK)
        return ret;
    uint64_t v = 0;
    for (unsigned i = 0; i < 4 && !finished(v); i++) {
        if (i > 0)
            host().usleep(100);
        if (DornGetRegData(fpga, 0x3C81, &v) != PLOV_OK) {
            TRANS_LOG_ERR("call DornLogicReadDirReg fail!\n");
            v = 0;
        }
    }
    if (!finished(v)) {
        TRANS_LOG_ERR("Rldram Test Time Out, read_data:%llx!\n", ull(v));
        return PLOV_ERR_TIMEOUT;
    }
    return all_low_bits(v) ? PLOV_OK : PLOV_ERR_TIMEOUT;
}

PlovStatus DornStartDdr3SelfTest(FpgaId fpga, uint16_t count)
{
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    const bool both = fpga == DORN_FPGA_TRANS;
    PlovStatus ret = DornSetRegData(fpga, 0xC41, count);
    if (ret == PLOV_OK)
        ret = DornSetRegData(fpga, 0xC40, 1);
    if (ret == PLOV_OK && both)
        ret = DornSetRegData(fpga, 0x1041, count);
    if (ret == PLOV_OK && both)
        ret = DornSetRegData(fpga, 0x1040, 1);
    if (ret != PLOV_OK)
        return ret;
    sleep_ms(uint64_t{count} * 700);
    uint64_t a = 1, b = 0;
    const uint64_t limit = uint64_t{count} * 3000;
    uint64_t cnt = 0;
    for (; cnt < limit; cnt++) {
        if (cnt > 0)
            host().usleep(100);
        if (DornGetRegData(fpga, 0xC40, &a) != PLOV_OK || (both && DornGetRegData(fpga, 0x1040, &b) != PLOV_OK)) {
            TRANS_LOG_ERR("call DornLogicReadDirReg fail!\n");
            continue;
        }
        if (((a | b) & 1) == 0)
            return PLOV_OK;
    }
    TRANS_LOG_ERR("DDR Test Time Out, read_data1:%llx, read_data2:%llx, cnt=%llx!", ull(a), ull(b), ull(cnt));
    return PLOV_ERR_TIMEOUT;
}

PlovStatus DornFpgaDDR3Test(FpgaId fpga, uint16_t count)
{
    PlovStatus ret = DornStartDdr3SelfTest(fpga, count);
    if (ret != PLOV_OK)
        return ret;
    uint8_t failed = 1;
    if ((ret = DornGetDDR3TestResult(fpga, &failed)) != PLOV_OK)
        return ret;
    return failed != 0 ? PLOV_ERR_TEST_FAILED : PLOV_OK;
}

// ---- TCAM -----------------------------------------------------------------------------------------

PlovStatus DornStartTcamSelfTest(FpgaId fpga)
{
    PlovStatus ret = DornSetRegData(DORN_FPGA_TRANS, kTcamStart, 0);
    if (ret == PLOV_OK)
        ret = DornSetRegData(DORN_FPGA_TRANS, kTcamStart, 1);
    if (ret != PLOV_OK) {
        TRANS_LOG_ERR("DornLogicWriteDirReg err, please check [%s] %s:%u", __func__, __FILE__, unsigned(__LINE__));
        return ret;
    }
    host().sleep(5);
    uint64_t v = 1;
    for (unsigned i = 0; i < 4 && (v & 1) != 0; i++) {
        if (i > 0)
            host().usleep(10);
        if ((ret = tcam_read(fpga, kTcamBusy, &v)) != PLOV_OK)
            return ret;
    }
    if ((v & 1) != 0) {
        TRANS_LOG_ERR("TCAM Test Timeout! read_data:%llx\n", ull(v));
        return PLOV_ERR_TIMEOUT;
    }
    return PLOV_OK;
}

PlovStatus DornGetTcamTestResult(FpgaId fpga, uint8_t *failed)
{
    if (failed == nullptr)
        return PLOV_ERR_NULL_PTR;
    *failed = 0;
    if (fpga == DORN_FPGA_SBUF)
        return PLOV_OK;
    uint64_t addr = kTcamBusy, v = 0;
    PlovStatus ret = tcam_read(fpga, addr, &v);
    if (ret != PLOV_OK)
        return ret;
    if ((v & (1u << 9)) != 0) {
        *failed = 1;
    } else {
        addr = kTcamError;
        if ((ret = tcam_read(fpga, addr, &v)) != PLOV_OK)
            return ret;
        *failed = (v >> 20) & 1;
    }
    if (*failed != 0)
        TRANS_LOG_ERR("TCAM Test Error! reg[%llx] = %llx\n", ull(addr), ull(v));
    return PLOV_OK;
}

PlovStatus TRANS_GetTcamTestResult(FpgaId fpga, uint8_t *failed)
{
    if (failed == nullptr)
        return PLOV_ERR_NULL_PTR;
    *failed = 0;
    if (fpga == DORN_FPGA_SBUF)
        return PLOV_OK;
    uint64_t v = 0;
    PlovStatus ret = tcam_read(fpga, kTcamDone, &v);
    if (ret != PLOV_OK)
        return ret;
    if ((v & 0x10) == 0)
        return PLOV_ERR_TIMEOUT;
    *failed = (v & 0x3) != 0;
    return PLOV_OK;
}

PlovStatus TRANS_FpgaTcamTest(FpgaId fpga, uint16_t count)
{
    if (fpga > 1)
        return PLOV_ERR_FPGA_ID;
    for (unsigned pass = 1; pass <= count; pass++) {
        PlovStatus ret = DornStartTcamSelfTest(fpga);
        if (ret != PLOV_OK) {
            TRANS_LOG_INFO("the [%u]th Call TRANS_GetTcamTestResult failed!\n", pass);
            return ret;
        }
        uint8_t failed = 0;
        if ((ret = DornGetTcamTestResult(fpga, &failed)) != PLOV_OK) {
            TRANS_LOG_INFO("Call DornGetTcamTestResult failed!\n");
            return ret;
        }
        if (failed != 0) {
            TRANS_LOG_ERR("Tcam [%u]th test FAIL!\n", pass);
            return PLOV_ERR_TEST_FAILED;
        }
    }
    return PLOV_OK;
}

PlovStatus TRANS_GetTcamRealTimeTestRes(FpgaId fpga, uint8_t *error)
{
    if (error == nullptr)
        return PLOV_ERR_NULL_PTR;
    *error = 0;
    if (fpga == DORN_FPGA_SBUF)
        return PLOV_OK;
    uint64_t v = 0;
    PlovStatus ret = DornGetRegData(fpga, kTcamRealTime, &v);
    if (ret != PLOV_OK || (v & 1) == 0)
        return ret;
    *error = 1;
    const uint16_t wlen = g_IndirReg[kTcamCfgRow].wlen;
    std::array<uint64_t, 8> words{kTcamCfgKey};
    if ((ret = tcam_cfg_access(fpga, false, words)) != PLOV_OK)
        return ret;
    TRANS_LOG_ERR("tcam read inner reg, data[%d] = %llx", int(wlen), ull(words[wlen]));
    if ((words[wlen] & 0x40) != 0) {
        words = {kTcamCfgKey, 0x40, 0};
        if ((ret = tcam_cfg_access(fpga, true, words)) != PLOV_OK)
            return ret;
        host().usleep(1);
    }
    return DornUpdateRegField(fpga, kTcamRealTime, 1, 1);
}

// ---- controller state ------------------------------------------------------------------------------

PlovStatus TRANS_GetControllerDeviceState(FpgaId fpga, uint32_t *state)
{
    constexpr uint32_t kHealthy = 1, kFaulty = 8;
    if (state == nullptr)
        return PLOV_ERR_NULL_PTR;
    *state = kHealthy;
    uint8_t passed = 0;
    PlovStatus ret = DornFpgaTestReg(fpga, &passed);
    if (ret != PLOV_OK)
        return ret;
    if (passed == 0)
        *state = kFaulty;
    DrvInfo info{};
    if ((ret = TransGetDrvInfo(fpga, &info)) != PLOV_OK)
        return ret;
    if ((info.cpu_num == 1 && info.cpu0_x8_present == 0) ||
        (info.cpu_num == 2 && (info.cpu0_x8_present == 0 || info.cpu1_x8_present == 0)))
        *state = kFaulty;
    return PLOV_OK;
}
