// KESP self tests.
#include "boardlib/kesp_selftest.h"

#include <cstdio>

#include "bases/host/host.h"
#include "boardlib/kesp_intf.h"
#include "boardlib/kesp_logic.h"
#include "boardlib/plov_check.h"

namespace {

using ull = unsigned long long;

// Indirect access by id: one word address, one data word.
PlovStatus indir_write(uint32_t id, uint64_t addr, uint64_t value)
{
    uint64_t data[2] = {addr, value};
    return KespJudged(KespWriteIndregByID(id, data));
}

PlovStatus indir_read(uint32_t id, uint64_t addr, uint64_t *value)
{
    uint64_t data[2] = {addr, 0};
    PlovStatus ret = KespJudged(KespReadIndregByID(id, data));
    if (ret == PLOV_OK)
        *value = data[1];
    return ret;
}

// ---- DDR3 ---------------------------------------------------------------------------------------------

struct DdrRegs {
    uint64_t init, start, status, result, marchStart, marchStatus, marchResult;
};
constexpr DdrRegs kDdr[2] = {
    {0xD00, 0xC00, 0xD01, 0xC80, 0xC01, 0xD02, 0xC83},
    {0x1100, 0x1000, 0x1101, 0x1080, 0x1001, 0x1102, 0x1083},
};

// Write 1 then 0 to a start register.
PlovStatus pulse(uint64_t addr)
{
    PlovStatus ret = KespWriteReg(addr, 1);
    return ret == PLOV_OK ? KespWriteReg(addr, 0) : ret;
}

// ---- QDR ------------------------------------------------------------------------------------------------

constexpr uint32_t kQdrPrepA = 41, kQdrPrepB = 43, kQdrCtrl = 57;
constexpr uint64_t kQdrWaterLevel = 0x6D01;
constexpr uint64_t kQdrInitReg = 0x900;
constexpr uint64_t kQdrInitDone = 1ULL << 11, kQdrStart = 1ULL << 3, kQdrMarchStart = 1ULL << 5;
constexpr uint64_t kQdrDone = 1ULL << 2, kQdrMarchDone = 1ULL << 4;

PlovStatus read_qdr_ctrl(uint64_t addr, uint64_t *value)
{
    PlovStatus ret = indir_read(kQdrCtrl, addr, value);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("call KespReadIndregByID err %d\n", ret);
    return ret != PLOV_OK ? PLOV_ERR_REG_ACCESS : PLOV_OK;
}

PlovStatus write_logged(uint32_t id, uint64_t addr, uint64_t value)
{
    PlovStatus ret = indir_write(id, addr, value);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("call KespWriteIndregByID err %d\n", ret);
    return ret;
}

// ---- loop tests -------------------------------------------------------------------------------------------

enum class LoopKind { Dxaui, Xge, Ge };

struct LoopSpec {
    const char *name;
    uint32_t ports;
    uint64_t bases[4];
};
constexpr LoopSpec kLoops[] = {
    {"DXAUI", 4, {0x150, 0x160, 0x170, 0x180}},
    {"XGE", 2, {0x140, 0x130}},
    {"GE", 2, {0x120, 0x110}},
};

const LoopSpec &loop_spec(LoopKind k) { return kLoops[static_cast<int>(k)]; }

// XGE and GE setting through ids 58 and 59.
struct LinkSetup {
    uint32_t id;
    uint64_t word8[2];   // by port
    uint64_t word12;
    uint64_t dirA, dirB, check, expect;
};
constexpr LinkSetup kXgeSetup{58, {39, 37}, 14, 0x3004, 0x3003, 0x3103, 14};
constexpr LinkSetup kGeSetup{59, {20, 22}, 4, 0x3001, 0x3000, 0x3100, 4};

constexpr PlovStatus kPortRange = -1205;

PlovStatus link_setup(const LinkSetup &s, uint32_t port)
{
    if (port > 1) {
        KESP_LOG_ERR("Invalid portid[%d]\n", int(port));
        return kPortRange;
    }
    const uint64_t words[][2] = {{8, s.word8[port]}, {11, 17}, {12, s.word12}, {10, 1}, {10, 2}};
    for (const auto &w : words)
        if (write_logged(s.id, w[0], w[1]) != PLOV_OK)
            return PLOV_ERR_REG_ACCESS;
    PlovStatus ret = KespWriteReg(s.dirA, 12);
    if (ret == PLOV_OK)
        ret = KespWriteReg(s.dirB, 2);
    uint64_t v = 0;
    if (ret == PLOV_OK)
        ret = KespReadReg(s.check, &v);
    if (ret != PLOV_OK)
        return ret;
    if (v != s.expect) {
        if (s.id == kXgeSetup.id)
            KESP_LOG_ERR("config AC fail %#llx, portID %d\n", ull(v), int(port));
        else
            KESP_LOG_ERR("config EQ fail %#llx, portID %d\n", ull(v), int(port));
        return PLOV_ERR_KESP_TEST_FAILED;
    }
    return PLOV_OK;
}

PlovStatus loop_prepare(LoopKind k, uint32_t port)
{
    PlovStatus ret = PLOV_OK;
    switch (k) {
    case LoopKind::Dxaui:
        if ((ret = KespDxauiPortTestCfgMacEnable(port)) != PLOV_OK)
            KESP_LOG_ERR("call  fail %d\n", ret);
        break;
    case LoopKind::Xge:
        if ((ret = KespXgePortTestSetAc(port)) != PLOV_OK)
            KESP_LOG_ERR("call KespXgePortTestSetAc fail %d\n", ret);
        break;
    case LoopKind::Ge:
        if ((ret = KespGePortTestSetEq(port)) != PLOV_OK)
            KESP_LOG_ERR("call KespGePortTestSetEq fail %d, portID %d\n", ret, int(port));
        break;
    }
    return ret;
}

PlovStatus write_dir_logged(uint64_t addr, uint64_t value)
{
    PlovStatus ret = KespWriteReg(addr, value);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("call KespLogicWriteDirReg fail %d\n", ret);
    return ret;
}

PlovStatus read_dir_logged(uint64_t addr, uint64_t *value)
{
    PlovStatus ret = KespReadReg(addr, value);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("call KespLogicReadDirReg fail %d\n", ret);
    return ret;
}

PlovStatus loop_port(LoopKind k, uint32_t port)
{
    const LoopSpec &s = loop_spec(k);
    if (port >= s.ports) {
        KESP_LOG_ERR("Invalid portid[%d]\n", int(port));
        return PLOV_ERR_PARAM;
    }
    PlovStatus ret = loop_prepare(k, port);
    if (ret != PLOV_OK)
        return ret;
    const uint64_t b = s.bases[port];
    if ((ret = write_dir_logged(b, 1)) != PLOV_OK)
        return ret;
    host().sleep(5);
    if ((ret = write_dir_logged(b, 0)) != PLOV_OK)
        return ret;
    if (k == LoopKind::Dxaui)
        host().sleep(1);
    uint64_t v = 0;
    if ((ret = read_dir_logged(b + 1, &v)) != PLOV_OK)
        return ret;
    if (k == LoopKind::Dxaui)
        std::printf("PortID[%d] data [%#llx]\n", int(port), ull(v));
    if (v == 0)
        return PLOV_OK;
    for (uint64_t r = b + 3; r <= b + 8; r++) {
        if ((ret = read_dir_logged(r, &v)) != PLOV_OK)
            return ret;
        std::printf("%s test portID[%d] fail fpga addr[%#llx] data[%#llx]\n", s.name, int(port), ull(r), ull(v));
    }
    return PLOV_ERR_KESP_TEST_FAILED;
}

// One port of a loop type, with its own failure line.
PlovStatus one_port(LoopKind k, uint32_t port)
{
    PlovStatus ret = loop_port(k, port);
    if (ret == PLOV_OK)
        return ret;
    KESP_LOG_ERR("%s test fail portID %d return %d\n", loop_spec(k).name, int(port), ret);
    return PLOV_ERR_KESP_TEST_FAILED;
}

struct PortRun {
    LoopKind kind;
    uint32_t port;
};
constexpr PortRun kAllDxaui[] = {{LoopKind::Dxaui, 0}, {LoopKind::Dxaui, 1}, {LoopKind::Dxaui, 2}, {LoopKind::Dxaui, 3}};
constexpr PortRun kAllLink[] = {{LoopKind::Ge, 0}, {LoopKind::Ge, 1}, {LoopKind::Xge, 0}, {LoopKind::Xge, 1}};

// Every port of the list runs, also after a failure.
PlovStatus all_ports(const PortRun (&runs)[4], const char *failLine)
{
    bool failed = false;
    for (const PortRun &r : runs)
        failed |= loop_port(r.kind, r.port) != PLOV_OK;
    if (!failed)
        return PLOV_OK;
    KESP_LOG_ERR("%s", failLine);
    return PLOV_ERR_KESP_TEST_FAILED;
}

PlovStatus port_round(uint32_t loopType, uint32_t port)
{
    constexpr uint32_t kAll = 255;
    if (loopType == 0)
        return port == kAll ? all_ports(kAllDxaui, "DXAUI test fail\n") : one_port(LoopKind::Dxaui, port);
    if (port == kAll)
        return all_ports(kAllLink, "GE or XGE test fail\n");
    return port < 2 ? one_port(LoopKind::Xge, port) : one_port(LoopKind::Ge, port - 2);
}

}  // namespace

// ---- DDR3 ---------------------------------------------------------------------------------------------

PlovStatus KespSetDdrTestStart(FpgaId)
{
    for (int m = 0; m < 2; m++) {
        uint64_t v = 0;
        PlovStatus ret = KespReadReg(kDdr[m].init, &v);
        if (ret != PLOV_OK) {
            KESP_LOG_ERR("read ddr3 reg error [%d]\n", ret);
            return ret;
        }
        if ((v & 1) == 0) {
            KESP_LOG_ERR("ddr3[%d] init is not done\n", m);
            return PLOV_ERR_NOT_DONE;
        }
        if ((ret = pulse(kDdr[m].start)) != PLOV_OK) {
            KESP_LOG_ERR("write ddr3[%d] reg error [%d]\n", m, ret);
            return ret;
        }
    }
    return PLOV_OK;
}

PlovStatus KespGetDdrTestResult(FpgaId fpga, uint8_t *fail)
{
    if (fpga != 0)
        return TransBadFpga(fpga, KESP_HERE);
    if (fail == nullptr)
        return TransNullPointer(KESP_HERE);
    for (int m = 0; m < 2; m++) {
        uint64_t st = 0, res = 0;
        PlovStatus ret = KespReadReg(kDdr[m].status, &st);
        if (ret == PLOV_OK && (st & 1) == 0) {
            KESP_LOG_ERR("ddr3[%d] test is not done data[%#llx]\n", m, ull(st));
            return PLOV_ERR_NOT_DONE;
        }
        if (ret == PLOV_OK)
            ret = KespReadReg(kDdr[m].result, &res);
        if (ret != PLOV_OK) {
            KESP_LOG_ERR("read ddr3 reg error [%d]\n", ret);
            return ret;
        }
        if ((res & 1) != 0) {
            *fail = 1;
            KESP_LOG_ERR("ddr3[%d] test fail addr[%#llx] data[%#llx]\n", m, ull(kDdr[m].result), ull(res));
            return PLOV_OK;
        }
    }
    *fail = 0;
    return PLOV_OK;
}

PlovStatus KespSetDdrMarchTestStart(FpgaId)
{
    for (int m = 0; m < 2; m++) {
        PlovStatus ret = pulse(kDdr[m].marchStart);
        if (ret != PLOV_OK) {
            KESP_LOG_ERR("write ddr3[%d] march ic reg error [%d]\n", m, ret);
            return ret;
        }
    }
    return PLOV_OK;
}

PlovStatus KespGetDdrMarchTestResult(FpgaId, uint8_t *fail)
{
    if (fail == nullptr)
        return TransNullPointer(KESP_HERE);
    for (int m = 0; m < 2; m++) {
        uint64_t st = 0, res = 0;
        PlovStatus ret = KespReadReg(kDdr[m].marchStatus, &st);
        if (ret != PLOV_OK) {
            KESP_LOG_ERR("read ddr3[%d] reg error [%d]\n", m, ret);
            return ret;
        }
        if ((st & 1) == 0) {
            KESP_LOG_ERR("ddr3[%d] march ic test is not done\n", m);
            return PLOV_ERR_NOT_DONE;
        }
        if ((ret = KespReadReg(kDdr[m].marchResult, &res)) != PLOV_OK) {
            KESP_LOG_ERR("read ddr3 march ic reg error [%d]\n", ret);
            return ret;
        }
        if ((res & 0x80) != 0) {
            *fail = 1;
            KESP_LOG_ERR("ddr3[%d] march ic test fail addr[%#llx] data[%#llx]\n", m, ull(kDdr[m].marchResult),
                         ull(res));
            return PLOV_OK;
        }
    }
    *fail = 0;
    return PLOV_OK;
}

PlovStatus KespDdrTest(FpgaId fpga, uint32_t repetitions)
{
    if (fpga != 0)
        return TransBadFpga(fpga, KESP_HERE);
    for (uint32_t i = 0; i < repetitions; i++) {
        PlovStatus ret = KespSetDdrTestStart(fpga);
        if (ret != PLOV_OK) {
            KESP_LOG_ERR("KespSetDdrTestStart error\n");
            return ret;
        }
        host().sleep(1);
        uint8_t fail = 0;
        if ((ret = KespGetDdrTestResult(fpga, &fail)) != PLOV_OK) {
            KESP_LOG_ERR("KespGetDdrTestResult error\n");
            return ret;
        }
        if (fail != 0) {
            KESP_LOG_ERR("DDR3 test fail\n");
            return PLOV_ERR_KESP_TEST_FAILED;
        }
        if ((ret = KespSetDdrMarchTestStart(fpga)) != PLOV_OK) {
            KESP_LOG_ERR("KespSetDdrMarchTestStart error\n");
            return ret;
        }
        std::puts("DDR3 march ic test need 40s, please waite");
        host().sleep(40);
        if ((ret = KespGetDdrMarchTestResult(fpga, &fail)) != PLOV_OK) {
            KESP_LOG_ERR("KespGetDdrMarchTestResult error\n");
            return ret;
        }
        if (fail != 0)
            return PLOV_ERR_KESP_TEST_FAILED;
    }
    return PLOV_OK;
}

// ---- QDR ---------------------------------------------------------------------------------------------

PlovStatus KespReadyForQdrTest()
{
    struct Range {
        uint32_t id;
        uint64_t first, last;
    };
    constexpr Range kClears[] = {{kQdrPrepA, 0, 15}, {kQdrPrepB, 0, 8}, {kQdrPrepB, 16, 24}};
    for (const Range &r : kClears)
        for (uint64_t a = r.first; a <= r.last; a++) {
            PlovStatus ret = write_logged(r.id, a, 0);
            if (ret != PLOV_OK)
                return ret;
        }
    uint64_t level = 0;
    for (int i = 0; i < 3; i++) {
        host().sleep(3);
        PlovStatus ret = KespReadReg(kQdrWaterLevel, &level);
        if (ret != PLOV_OK) {
            KESP_LOG_ERR("call KespLogicReadDirReg fail %d\n", ret);
            return ret;
        }
        if (level == 0)
            return PLOV_OK;
    }
    KESP_LOG_ERR("loop 3 times, but QDR water level error [%#llx]\n", ull(level));
    return PLOV_ERR_TIMEOUT;
}

PlovStatus KespSetQdrTestStart(FpgaId)
{
    uint64_t v = 0;
    PlovStatus ret = read_qdr_ctrl(0, &v);
    if (ret != PLOV_OK)
        return ret;
    if ((v & kQdrInitDone) == 0) {
        KESP_LOG_ERR("QDR didn't init\n");
        return PLOV_ERR_QDR_INIT;
    }
    if ((ret = write_logged(kQdrCtrl, 0, v | kQdrStart)) != PLOV_OK)
        return ret;
    return write_logged(kQdrCtrl, 0, v | kQdrStart);
}

PlovStatus KespGetQdrTestResult(FpgaId, uint8_t *fail)
{
    if (fail == nullptr)
        return TransNullPointer(KESP_HERE);
    uint64_t v = 0;
    PlovStatus ret = KespReadReg(kQdrInitReg, &v);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("read QDR reg fail [%d]\n", ret);
        return PLOV_ERR_REG_ACCESS;
    }
    if ((v & 1) == 0) {
        KESP_LOG_ERR("QDR init fail [%#llx]\n", ull(v));
        *fail = 1;
        return PLOV_OK;
    }
    if ((ret = read_qdr_ctrl(0, &v)) != PLOV_OK)
        return ret;
    if ((v & kQdrDone) == 0) {
        KESP_LOG_ERR("QDR test is running\n");
        return PLOV_ERR_NOT_DONE;
    }
    if ((ret = read_qdr_ctrl(0x50, &v)) != PLOV_OK)
        return ret;
    *fail = (v & 0x8) != 0;
    if (*fail != 0)
        KESP_LOG_ERR("QDR Test Fail! read_data:%llx\n", ull(v));
    return PLOV_OK;
}

PlovStatus KespSetQdrMarchTestStart(FpgaId)
{
    uint64_t v = 0;
    PlovStatus ret = indir_read(kQdrCtrl, 0, &v);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("call KespReadIndregByID err\n");
        return ret;
    }
    if ((ret = write_logged(kQdrCtrl, 0, v | kQdrMarchStart)) != PLOV_OK)
        return ret;
    return write_logged(kQdrCtrl, 0, v);
}

PlovStatus KespGetQdrMarchTestResult(FpgaId, uint8_t *fail)
{
    if (fail == nullptr)
        return TransNullPointer(KESP_HERE);
    uint64_t v = 0;
    PlovStatus ret = indir_read(kQdrCtrl, 0, &v);
    if (ret == PLOV_OK && (v & kQdrMarchDone) == 0) {
        KESP_LOG_ERR("QDR test is running\n");
        return PLOV_ERR_NOT_DONE;
    }
    if (ret == PLOV_OK)
        ret = indir_read(kQdrCtrl, 0x34, &v);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("call KespReadIndregByID err\n");
        return ret;
    }
    *fail = (v & 0x80) != 0;
    if (*fail != 0)
        KESP_LOG_ERR("QDR Test Fail! read_data:%llx\n", ull(v));
    return PLOV_OK;
}

PlovStatus KespQdrTest(FpgaId fpga, uint32_t repetitions)
{
    if (fpga != 0)
        return TransBadFpga(fpga, KESP_HERE);
    PlovStatus ret = KespReadyForQdrTest();
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("KespReadyForQdrTest error\n");
        return ret;
    }
    for (uint32_t i = 0; i < repetitions; i++) {
        if ((ret = KespSetQdrTestStart(fpga)) != PLOV_OK) {
            KESP_LOG_ERR("KespSetQdrTestStart error\n");
            return ret;
        }
        host().sleep(1);
        uint8_t fail = 0;
        if ((ret = KespGetQdrTestResult(fpga, &fail)) != PLOV_OK) {
            KESP_LOG_ERR("KespGetQdrTestResult error %d\n", ret);
            return ret;
        }
        if (fail != 0) {
            KESP_LOG_ERR("QDR test fail\n");
            return PLOV_ERR_KESP_TEST_FAILED;
        }
        if ((ret = KespSetQdrMarchTestStart(fpga)) != PLOV_OK) {
            KESP_LOG_ERR("KespSetQdrMarchTestStart error %d\n", ret);
            return ret;
        }
        std::puts("QDR test need 60s, please waite");
        host().sleep(60);
        if ((ret = KespGetQdrMarchTestResult(fpga, &fail)) != PLOV_OK) {
            KESP_LOG_ERR("KespGetQdrMarchTestResult error %d\n", ret);
            return ret;
        }
        if (fail != 0) {
            KESP_LOG_ERR("QDR march ic test fail\n");
            return PLOV_ERR_KESP_TEST_FAILED;
        }
    }
    return PLOV_OK;
}

// ---- register test ----------------------------------------------------------------------------------

PlovStatus KespFpgaTestReg(FpgaId fpga, uint8_t *result)
{
    constexpr uint64_t kTestReg = 0x3;
    if (fpga != 0)
        return TransBadFpga(fpga, KESP_HERE);
    if (result == nullptr)
        return TransNullPointer(KESP_HERE);
    uint64_t w = 0, r = 0;
    PlovStatus ret = KespReadReg(kTestReg, &w);
    if (ret == PLOV_OK)
        ret = KespWriteReg(kTestReg, w);
    if (ret == PLOV_OK)
        ret = KespReadReg(kTestReg, &r);
    if (ret != PLOV_OK)
        return ret;
    if (static_cast<uint32_t>(w + r + 1) == 0) {
        *result = 1;
    } else {
        *result = 8;
        KESP_LOG_DBG("test register write data %x, read data %llxx\n", unsigned(w & 0xFFFFFFFFu), ull(r));
    }
    return PLOV_OK;
}

// ---- loop tests -----------------------------------------------------------------------------------------

PlovStatus KespDxauiPortTestCfgMacEnable(uint32_t port) { return write_dir_logged(0x2000 + 0x400ULL * port, 7); }
PlovStatus KespXgePortTestSetAc(uint32_t port) { return link_setup(kXgeSetup, port); }
PlovStatus KespGePortTestSetEq(uint32_t port) { return link_setup(kGeSetup, port); }
PlovStatus KespDxauiPortTest(uint32_t port) { return loop_port(LoopKind::Dxaui, port); }
PlovStatus KespXgePortTest(uint32_t port) { return loop_port(LoopKind::Xge, port); }
PlovStatus KespGePortTest(uint32_t port) { return loop_port(LoopKind::Ge, port); }

PlovStatus KespPortTest(FpgaId fpga, uint32_t loopType, uint32_t port, uint32_t repetitions)
{
    if (fpga != 0 || loopType > 1) {
        KESP_LOG_ERR("Invalid input param FpgaID[%d] LoopType[%d]\n", int(fpga), int(loopType));
        return PLOV_ERR_PARAM;
    }
    if (port > 3 && port != 255) {
        KESP_LOG_ERR("Invalid portid[%d] LoopType[%d]\n", int(port), int(loopType));
        return PLOV_ERR_PARAM;
    }
    for (uint32_t i = 0; i < repetitions; i++) {
        PlovStatus ret = port_round(loopType, port);
        if (ret != PLOV_OK)
            return ret;
    }
    return PLOV_OK;
}
