// FPGA controls on both boards through the simulated FPGA driver: the codes
// the check order decides, the registers each control reads and writes,
// hash-seed words, MAC byte order, the free-block wrap, the KESP timer and
// affinity paths, the register dump, and one failure per request.
#include <cerrno>
#include <cstdio>
#include <functional>

#include "boardlib/dorn_version.h"
#include "boardlib/plov_fpga_intf.h"
#include "sim/fpga_model.h"
#include "support/fpga_test_util.h"
#include "support/plov_test.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;
constexpr unsigned long kWriteDir = PLOV_IOC_WRITE_DIR_REG, kReadDir = PLOV_IOC_READ_DIR_REG;
constexpr const char *kRxIrqLine = " 45:          12 PCI-MSI trans-user-Rx-0\n";

using PlovFpgaTest = PlovTest;
using PlovFpgaKespTest = PlovKespTest;

TEST_F(PlovFpgaTest, RefusalsMakeNoRequest)
{
    uint8_t b = 0x77;
    uint16_t t = 0;
    uint32_t w = 0;
    uint64_t s1 = 0, s2 = 0;
    PortWorkMode rec{};
    PortPro trunk{0, 3, 0}, pp{0, 0, 0};
    uint8_t buf[PLOV_DUMP_MIN] = {};
    struct Case {
        std::function<PlovStatus()> call;
        PlovStatus status;
    } cases[] = {
        {[&] { return PLOV_TransGetCheckSumSwitch(1, nullptr, &b); }, -1201},
        {[&] { return PLOV_TransGetCheckSumSwitch(1, &b, &b); }, -1330},
        {[&] { return PLOV_TransSetCheckSumSwitch(1, 1, 1); }, -1330},
        {[&] { return PlovTransGetLogicLoadAtReboot(2, nullptr); }, -1201},
        {[&] { return PlovTransGetLogicLoadAtReboot(2, &b); }, -1330},
        {[&] { return PlovTransSetLogicLoadAtReboot(0, 2); }, -1330},
        {[&] { return PlovTransGetControllerDeviceState(0, nullptr); }, -1201},
        {[&] { return PLOV_TransGetFreeBlockOfHwBuf(2, 0, &s1); }, -1330},
        {[&] { return PLOV_TransGetFreeBlockOfHwBuf(0, 0, nullptr); }, -1201},
        {[&] { return PlovTransGetIntTimer(2, nullptr); }, -1201},
        {[&] { return PlovTransGetIntTimer(2, &t); }, -1330},
        {[&] { return PlovTransSetIntTimer(2, 1); }, -1330},
        {[&] { return PlovTransGetEnableState(2, nullptr); }, -1201},
        {[&] { return PlovTransGetEnableState(2, &b); }, -1330},
        {[&] { return PlovTransGetHashSeed(1, 0, 0, &s1, &s2); }, -1330},
        {[&] { return PlovTransGetHashSeed(0, 0, 0, &s1, nullptr); }, -1201},
        {[&] { return PlovTransSetHashSeed(1, 0, 0, 0x400000, 0); }, -1330},
        {[&] { return PlovTransSetHashSeed(0, 0, 0, 0x3FFFFF, 0x400000); }, -1202},
        {[&] { return PlovTransGetCpuUsage(0x100, &b); }, -1330},
        {[&] { return PlovTransGetCpuUsage(0, nullptr); }, -1201},
        {[&] { return PlovTransSetCpuUsage(2, 1); }, -1330},
        {[&] { return PlovTransGetVrfSwitch(1, &b); }, -1330},
        {[&] { return PlovTransGetVrfSwitch(0, nullptr); }, -1201},
        {[&] { return PlovTransSetVrfSwitch(0x100, 1); }, -1330},
        {[&] { return PlovTransGetHrtimerAffinity(0, nullptr); }, -1201},
        {[&] { return PlovTransGetHrtimerAffinity(1, &b); }, -1330},
        {[&] { return PlovTransSetHrtimerAffinity(0x100, 1); }, -1330},
        {[&] { return PLOV_TransGetTrunk(0, &trunk, &b); }, -1330},
        {[&] { return PLOV_TransGetTrunk(1, &trunk, nullptr); }, -1201},
        {[&] { PortPro t2{0, 2, 0}; return PLOV_TransGetTrunk(1, &t2, &b); }, -1335},
        {[&] { PortPro t2{0, 3, 2}; return PLOV_TransGetTrunk(1, &t2, &b); }, -1331},
        {[&] { PortPro t2{0, 2, 0}; return PLOV_TransSetTrunk(1, &t2, 1); }, -1331},
        {[&] { return PLOV_TransSetTrunk(1, nullptr, 1); }, -1201},
        {[&] { return PlovTransGetStandbyMode(2, &w); }, -1330},
        {[&] { return PlovTransGetStandbyMode(0, nullptr); }, -1201},
        {[&] { return PlovTransSetStandbyMode(2, 1); }, -1330},
        {[&] { return PlovTransGetPortMac(2, nullptr); }, -1201},
        {[&] { return PlovTransGetPortMac(2, &rec); }, -1330},
        {[&] { rec.PortId = 8; return PlovTransGetPortMac(0, &rec); }, -1331},
        {[&] { rec.PortId = 4; return PlovTransSetPortMac(1, &rec); }, -1331},
        {[&] { rec.PortId = 5; rec.Location = 1; return PlovTransGetPortMac(0, &rec); }, 0},
        {[&] { return PLOV_TransGetPortMac(0, nullptr, &b); }, -1201},
        {[&] { return PLOV_TransGetPortMac(0, &pp, nullptr); }, -1201},
        {[&] { PortPro l2{2, 0, 0}; return PLOV_TransSetPortMac(0, &l2, &b); }, -1335},
        {[&] { return PLOV_TransSetPortMac(0, &pp, nullptr); }, -1201},
        {[&] { return PlovTransDumpRegs(0, buf, PLOV_DUMP_MIN - 1, &w); }, -1205},
        {[&] { return PlovTransDumpRegs(0, nullptr, PLOV_DUMP_MIN, &w); }, -1201},
        {[&] { return PlovTransDumpRegs(0, buf, PLOV_DUMP_MIN, nullptr); }, -1201},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        sim_clear_journal();
        EXPECT_EQ(cases[i].call(), cases[i].status);
        EXPECT_TRUE(sim_journal().empty());
    }
}

// Plain register controls: the value a query reads from its register, and
// the registers a setting writes.
TEST_F(PlovFpgaTest, RegisterControls)
{
    fpga_set_reg(kTrans, 0x1C07, 0xFE);
    fpga_set_reg(kTrans, 0x5005, 0x03);
    uint8_t rx = 9, tx = 9;
    ASSERT_EQ(PLOV_TransGetCheckSumSwitch(0, &rx, &tx), 0);
    EXPECT_EQ(rx, 1);
    EXPECT_EQ(tx, 0);
    fpga_set_reg(kSbuf, 0x4002, 0xABCD1234);
    uint16_t time = 0;
    ASSERT_EQ(PlovTransGetIntTimer(1, &time), 0);
    EXPECT_EQ(time, 0x1234);
    fpga_set_reg(kTrans, 0x1820, 0x1A5);
    uint8_t vrf = 0;
    ASSERT_EQ(PlovTransGetVrfSwitch(0, &vrf), 0);
    EXPECT_EQ(vrf, 0xA5);
    fpga_set_reg(kSbuf, 0x0025, 3);
    uint32_t standby = 0;
    ASSERT_EQ(PlovTransGetStandbyMode(1, &standby), 0);
    EXPECT_EQ(standby, 1u);
    fpga_set_reg(kSbuf, 0x180A, 0xF0);
    uint8_t on = 9;
    PortPro p1{0, 3, 1};
    ASSERT_EQ(PLOV_TransGetTrunk(1, &p1, &on), 0);
    EXPECT_EQ(on, 0);

    struct Case {
        std::function<PlovStatus()> call;
        std::vector<std::tuple<std::string, uint64_t, uint64_t>> after;   // node, register, value
    } cases[] = {
        {[] { return PLOV_TransSetCheckSumSwitch(0, 3, 2); }, {{kTrans, 0x1C07, 0}, {kTrans, 0x5005, 1}}},
        {[] { return PlovTransSetIntTimer(0, 500); }, {{kTrans, 0x4002, 500}, {kTrans, 0x4003, 500}}},
        {[] { return PlovTransSetVrfSwitch(0, 7); }, {{kTrans, 0x1820, 7}}},
        {[] { return PlovTransSetStandbyMode(1, 3); }, {{kTrans, 0x0025, 1}, {kSbuf, 0x0025, 1}}},
        {[&] { return PLOV_TransSetTrunk(1, &p1, 1); }, {{kSbuf, 0x180A, 0xF2}}},
        {[&] { return PLOV_TransSetTrunk(1, &p1, 0); }, {{kSbuf, 0x180A, 0xF0}}},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        ASSERT_EQ(cases[i].call(), 0);
        for (const auto &[node, reg, value] : cases[i].after)
            EXPECT_EQ(fpga_get_reg(node, reg), value) << std::hex << reg;
    }
}

// Each register request's failure ends the operation with -1203; nothing is
// written after a failed read, and nothing after a failed first write.
TEST_F(PlovFpgaTest, RegisterFailures)
{
    uint8_t b = 0;
    uint16_t t = 0;
    uint32_t w = 0;
    uint64_t blocks = 0;
    PortPro p1{0, 3, 1};
    PortWorkMode rec{};
    rec.PortId = 2;
    struct Case {
        std::string node;
        unsigned long request;
        uint64_t reg;
        std::function<PlovStatus()> call;
        size_t writes;   // write requests that reached the driver
    } cases[] = {
        {kTrans, kReadDir, 0x1C07, [&] { return PLOV_TransGetCheckSumSwitch(0, &b, &b); }, 0},
        {kTrans, kReadDir, 0x5005, [&] { return PLOV_TransGetCheckSumSwitch(0, &b, &b); }, 0},
        {kTrans, kWriteDir, 0x1C07, [] { return PLOV_TransSetCheckSumSwitch(0, 1, 1); }, 1},
        {kTrans, kWriteDir, 0x5005, [] { return PLOV_TransSetCheckSumSwitch(0, 1, 1); }, 2},
        {kSbuf, kReadDir, 0x6133, [&] { return PLOV_TransGetFreeBlockOfHwBuf(1, 6, &blocks); }, 0},
        {kSbuf, kReadDir, 0x6134, [&] { return PLOV_TransGetFreeBlockOfHwBuf(1, 6, &blocks); }, 0},
        {kTrans, kReadDir, 0x4002, [&] { return PlovTransGetIntTimer(0, &t); }, 0},
        {kTrans, kWriteDir, 0x4002, [] { return PlovTransSetIntTimer(0, 5); }, 1},
        {kTrans, kWriteDir, 0x4003, [] { return PlovTransSetIntTimer(0, 5); }, 2},
        {kTrans, kReadDir, 0x6042, [&] { return PlovTransGetEnableState(0, &b); }, 0},
        {kTrans, kReadDir, 0x1820, [&] { return PlovTransGetVrfSwitch(0, &b); }, 0},
        {kTrans, kWriteDir, 0x1820, [] { return PlovTransSetVrfSwitch(0, 1); }, 1},
        {kSbuf, kReadDir, 0x180A, [&] { return PLOV_TransGetTrunk(1, &p1, &b); }, 0},
        {kSbuf, kReadDir, 0x180A, [&] { return PLOV_TransSetTrunk(1, &p1, 1); }, 0},
        {kSbuf, kWriteDir, 0x180A, [&] { return PLOV_TransSetTrunk(1, &p1, 1); }, 1},
        {kSbuf, kReadDir, 0x0025, [&] { return PlovTransGetStandbyMode(1, &w); }, 0},
        {kTrans, kWriteDir, 0x0025, [] { return PlovTransSetStandbyMode(1, 1); }, 1},
        {kSbuf, kWriteDir, 0x0025, [] { return PlovTransSetStandbyMode(0, 1); }, 2},
        {kTrans, kReadDir, 0x180A, [&] { return PlovTransGetPortMac(0, &rec); }, 0},
        {kTrans, kWriteDir, 0x180A, [&] { return PlovTransSetPortMac(0, &rec); }, 1},
        {kTrans, kReadDir, 0x0025, [&] { rec.Location = 1; return PlovTransGetPortMac(1, &rec); }, 0},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        sim_clear_faults();
        fpga_fail_address(cases[i].node, cases[i].request, cases[i].reg, EIO);
        sim_clear_journal();
        EXPECT_EQ(cases[i].call(), -1203);
        auto reqs = dir_requests();
        EXPECT_EQ(std::count_if(reqs.begin(), reqs.end(), [](const DirAccess &a) { return std::get<1>(a) == kWriteDir; }),
                  static_cast<long>(cases[i].writes));
    }
}

TEST_F(PlovFpgaTest, FreeBlocksWrapAroundThePool)
{
    struct Case {
        uint32_t poolType;
        uint64_t first, second;   // registers of the pair
        uint64_t a, b, blocks;
    } cases[] = {
        {1, 0x6143, 0x6144, 0x0005, 0x1FFE, 7 * 256},
        {0, 0x6143, 0x6144, 0xE010, 0x0008, 8 * 256},   // bits above the pointer ignored
        {4, 0x6153, 0x6154, 0x100, 0x100, 0},
        {2, 0x6123, 0x6124, 0x0000, 0x0001, 0x1FFF * 256},
        {0xFE, 0x6133, 0x6134, 0x20, 0x10, 16 * 256},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.poolType);
        fpga_set_reg(kSbuf, c.first, c.a);
        fpga_set_reg(kSbuf, c.second, c.b);
        sim_clear_journal();
        uint64_t blocks = 1;
        ASSERT_EQ(PLOV_TransGetFreeBlockOfHwBuf(1, c.poolType, &blocks), 0);
        EXPECT_EQ(blocks, c.blocks);
        EXPECT_EQ(dir_requests(), (std::vector<DirAccess>{{kSbuf, kReadDir, c.first}, {kSbuf, kReadDir, c.second}}));
    }
}

TEST_F(PlovFpgaTest, EnableStateStopsAtTheFirstWorkingBlock)
{
    fpga_set_reg(kTrans, 0x6026, 1);
    uint8_t state = 9;
    ASSERT_EQ(PlovTransGetEnableState(0, &state), 0);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(dir_requests(), (std::vector<DirAccess>{{kTrans, kReadDir, 0x6024}, {kTrans, kReadDir, 0x6026}}));
    sim_clear_journal();
    ASSERT_EQ(PlovTransFpgaEnableSeqence(0), PLOV_ERR_WORKING);
    EXPECT_FALSE(requested(PLOV_IOC_USR_START));
    EXPECT_EQ(g_WorkState, 0);

    fpga_set_reg(kTrans, 0x6026, 2);
    ASSERT_EQ(PlovTransGetEnableState(0, &state), 0);
    EXPECT_EQ(state, 0);
    ASSERT_EQ(PlovTransFpgaEnableSeqence(0), 0);
    EXPECT_EQ(fpga_get_record(kTrans, FpgaRecord::UsrStart), Bytes{3});
    EXPECT_EQ(g_WorkState, 1);

    g_WorkState = 0;
    sim_fail_request(kSbuf, PLOV_IOC_USR_START, EIO);
    EXPECT_EQ(PlovTransFpgaEnableSeqence(1), -1203);
    EXPECT_EQ(g_WorkState, 0);
    fpga_fail_address(kSbuf, kReadDir, 0x3005, EIO);
    EXPECT_EQ(PlovTransFpgaEnableSeqence(1), -1203);
}

// Both seeds travel through the FIBM block in the documented words.
TEST_F(PlovFpgaTest, HashSeedWords)
{
    fpga_set_key_words(kTrans, 0x5400, 5);
    ASSERT_EQ(PlovTransSetHashSeed(0, 0x11, 0x22, 0x3FFFFF, 0x1234), 0);
    ASSERT_EQ(sim_journal().size(), 2u);
    for (size_t i = 0; i < 2; i++) {
        IndirRegReq req = journal_record<IndirRegReq>(i);
        EXPECT_EQ(sim_journal()[i].request, PLOV_IOC_WRITE_INDIR_REG);
        EXPECT_EQ(req.baseaddr, 0x5400u);
        EXPECT_EQ(req.cmd, 0x11u);
        EXPECT_EQ(req.r2base, 7u);
        EXPECT_EQ(req.ret2base, 8u);
        EXPECT_EQ(req.wlen, 6u);
        EXPECT_EQ(req.rlen, 0u);
    }
    EXPECT_EQ(sim_journal()[0].extra, (Words{0x1000000000, 0, 0, 0, 0x11, 0x3FFFFF}));
    EXPECT_EQ(sim_journal()[1].extra, (Words{0x2000000000, 0, 0, 0, 0x22, 0x1234}));

    sim_clear_journal();
    uint64_t s1 = 0, s2 = 0;
    ASSERT_EQ(PlovTransGetHashSeed(0, 0x11, 0x22, &s1, &s2), 0);
    EXPECT_EQ(s1, 0x3FFFFFu);
    EXPECT_EQ(s2, 0x1234u);
    IndirRegReq req = journal_record<IndirRegReq>(0);
    EXPECT_EQ(req.cmd, 0x10u);
    EXPECT_EQ(req.wlen, 5u);
    EXPECT_EQ(req.rlen, 1u);

    fpga_fail_key(kTrans, PLOV_IOC_READ_INDIR_REG, 0x5400, {0x2000000000}, EIO);
    s1 = s2 = 0;
    EXPECT_EQ(PlovTransGetHashSeed(0, 0x11, 0x22, &s1, &s2), -1203);
    EXPECT_EQ(s1, 0x3FFFFFu);
    EXPECT_EQ(s2, 0u);
    sim_clear_faults();
    fpga_fail_key(kTrans, PLOV_IOC_WRITE_INDIR_REG, 0x5400, {0x1000000000}, EIO);
    sim_clear_journal();
    EXPECT_EQ(PlovTransSetHashSeed(0, 1, 2, 3, 4), -1203);
    EXPECT_EQ(sim_journal().size(), 1u);   // the second seed is not tried
}

// MAC register bits 47-40 hold MAC byte 0, down to bits 7-0 for byte 5.
TEST_F(PlovFpgaTest, MacRegisterByteOrder)
{
    struct Case {
        FpgaId fpga;
        uint8_t port, location;
        std::string node;
        uint64_t reg;
    } cases[] = {
        {0, 2, 0, kTrans, 0x180A}, {0, 7, 0, kTrans, 0x1805}, {1, 0, 0, kSbuf, 0x1804}, {1, 3, 0, kSbuf, 0x1809},
        {1, 6, 1, kSbuf, 0x1C12},  {1, 3, 1, kSbuf, 0x1C16},  {1, 7, 1, kSbuf, 0x1C15},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.reg);
        fpga_set_reg(c.node, c.reg, 0xFFFF001122334455);
        PortWorkMode rec{};
        rec.PortId = c.port;
        rec.Location = c.location;
        ASSERT_EQ(PlovTransGetPortMac(c.fpga, &rec), 0);
        EXPECT_EQ(Bytes(rec.Mac, rec.Mac + 6), (Bytes{0x00, 0x11, 0x22, 0x33, 0x44, 0x55}));
        const uint8_t mac[6] = {0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5};
        std::copy(mac, mac + 6, rec.Mac);
        ASSERT_EQ(PlovTransSetPortMac(c.fpga, &rec), 0);
        EXPECT_EQ(fpga_get_reg(c.node, c.reg), 0xA0B1C2D3E4F5u);
    }
    PortWorkMode rec{};
    rec.PortId = 4;
    rec.Location = 1;
    EXPECT_EQ(PlovTransGetPortMac(1, &rec), -1331);

    // Property form: TYPE 3 ID 1 on FPGA 0 is port 3 (register 0x1809 - 0 ... 0x180C - 3).
    fpga_set_reg(kTrans, 0x1809, 0x0A0B0C0D0E0F);
    PortPro pp{0, 3, 1};
    uint8_t mac[6] = {};
    ASSERT_EQ(PLOV_TransGetPortMac(0, &pp, mac), 0);
    EXPECT_EQ(bytes_of(mac), (Bytes{0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F}));
    const uint8_t set[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(PLOV_TransSetPortMac(0, &pp, set), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x1809), 0x010203040506u);
    PortPro second{1, 0, 0};   // port 8 at the second location
    EXPECT_EQ(PLOV_TransGetPortMac(1, &second, mac), -1331);
}

TEST_F(PlovFpgaTest, LoadAtRebootTakesTheLowByteOfTheAnswer)
{
    fpga_set_record(kSbuf, FpgaRecord::LoadAtReboot, 1, bytes_of(uint64_t{0x0101010101010101}));
    struct {
        uint8_t before = 0x5A, flag = 9, after = 0x5A;
    } out;
    ASSERT_EQ(PlovTransGetLogicLoadAtReboot(1, &out.flag), 0);
    EXPECT_EQ(out.flag, 1);
    EXPECT_EQ(out.before, 0x5A);
    EXPECT_EQ(out.after, 0x5A);
    ASSERT_EQ(sim_journal().size(), 1u);
    EXPECT_EQ(sim_journal()[0].node, kSbuf);

    sim_write_file(DORN_LOG_COPY_FILE, "");
    sim_write_file(DORN_DRV_LOG, "driver log\n");
    ASSERT_EQ(PlovTransSetLogicLoadAtReboot(0, 1), 0);
    EXPECT_EQ(fpga_get_record(kSbuf, FpgaRecord::LoadAtReboot, 0), bytes_of(uint64_t{1}));
    const std::string log = sim_read_file(DORN_LOG_COPY_FILE);
    EXPECT_EQ(log.substr(log.size() - 11), "driver log\n");

    // A failed log collection is logged and the setting goes on.
    std::remove(sim_path(DORN_DRV_LOG).c_str());
    sim_clear_syslog();
    ASSERT_EQ(PlovTransSetLogicLoadAtReboot(0, 1), 0);
    EXPECT_FALSE(plov_lines().empty());

    sim_fail_request(kSbuf, PLOV_IOC_GET_LOAD_AT_REBOOT, EIO);
    EXPECT_EQ(PlovTransGetLogicLoadAtReboot(0, &out.flag), -1203);
    sim_fail_request(kSbuf, PLOV_IOC_SET_LOAD_AT_REBOOT, EIO);
    EXPECT_EQ(PlovTransSetLogicLoadAtReboot(0, 0), -1203);
}

TEST_F(PlovFpgaTest, ControllerStateCpuUsageAndAffinity)
{
    DrvInfo info{};
    info.ctrller_state = 4;
    fpga_set_record_as(kSbuf, FpgaRecord::DrvInfo, 0, info);
    uint32_t state = 0;
    ASSERT_EQ(PlovTransGetControllerDeviceState(1, &state), 0);
    EXPECT_EQ(state, 4u);
    sim_fail_request(kSbuf, PLOV_IOC_GET_DRV_INFO, EIO);
    EXPECT_EQ(PlovTransGetControllerDeviceState(1, &state), -1203);
    EXPECT_EQ(state, 1u);

    ASSERT_EQ(PlovTransSetCpuUsage(1, 2), 0);
    uint8_t mask = 0;
    ASSERT_EQ(PlovTransGetCpuUsage(1, &mask), 0);
    EXPECT_EQ(mask, 2);
    sim_fail_request(kSbuf, PLOV_IOC_SET_CPU_USG, EIO);
    EXPECT_EQ(PlovTransSetCpuUsage(1, 2), -1203);
    sim_fail_request(kSbuf, PLOV_IOC_GET_CPU_USG, EIO);
    EXPECT_EQ(PlovTransGetCpuUsage(1, &mask), -1203);
    sim_fail_open(kSbuf, ENOENT);
    EXPECT_EQ(PlovTransSetCpuUsage(1, 2), -1216);

    ASSERT_EQ(PlovTransSetHrtimerAffinity(0, 5), 0);
    uint8_t cpu = 0;
    ASSERT_EQ(PlovTransGetHrtimerAffinity(0, &cpu), 0);
    EXPECT_EQ(cpu, 5);
    sim_fail_request(kTrans, PLOV_IOC_SET_HRTIMER_AFFINITY, EIO);
    EXPECT_EQ(PlovTransSetHrtimerAffinity(0, 5), -1203);
    sim_fail_request(kTrans, PLOV_IOC_GET_HRTIMER_AFFINITY, EIO);
    EXPECT_EQ(PlovTransGetHrtimerAffinity(0, &cpu), -1203);
}

// out_len is the number of bytes copied: never more than the space or the buffer.
TEST_F(PlovFpgaTest, DumpCopiesWhatTheSpaceHolds)
{
    struct Case {
        uint32_t space, bufLen, copied;
    } cases[] = {{4096, PLOV_DUMP_MIN, 4096}, {20000, PLOV_DUMP_MIN, PLOV_DUMP_MIN}, {20000, 30000, 20000}};
    for (const Case &c : cases) {
        Bytes space(c.space);
        for (size_t i = 0; i < space.size(); i++)
            space[i] = static_cast<uint8_t>(i * 7);
        fpga_set_record(kSbuf, FpgaRecord::RegSpace, 0, space);
        DrvInfo info{};
        info.reg_len = c.space;
        fpga_set_record_as(kSbuf, FpgaRecord::DrvInfo, 0, info);
        Bytes buf(c.bufLen, 0xEE);
        uint32_t out = 0;
        ASSERT_EQ(PlovTransDumpRegs(1, buf.data(), c.bufLen, &out), 0);
        EXPECT_EQ(out, c.copied);
        EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + c.copied, space.begin()));
        EXPECT_TRUE(std::all_of(buf.begin() + c.copied, buf.end(), [](uint8_t v) { return v == 0xEE; }));
    }
    Bytes buf(PLOV_DUMP_MIN);
    uint32_t out = 7;
    sim_fail_request(kSbuf, PLOV_IOC_GET_REGS, EIO);
    EXPECT_EQ(PlovTransDumpRegs(1, buf.data(), PLOV_DUMP_MIN, &out), -1203);
    sim_fail_request(kSbuf, PLOV_IOC_GET_DRV_INFO, EIO);
    EXPECT_EQ(PlovTransDumpRegs(1, buf.data(), PLOV_DUMP_MIN, &out), -1203);
    EXPECT_EQ(out, 7u);
}

// ---- KESP ------------------------------------------------------------------------------------------

TEST_F(PlovFpgaKespTest, DornOnlyOperationsMakeNoRequest)
{
    uint8_t b = 0x77;
    uint64_t s = 0x77;
    uint32_t w = 0x77;
    PortPro trunk{0, 3, 0};
    std::function<PlovStatus()> calls[] = {
        [&] { return PLOV_TransGetCheckSumSwitch(0, &b, &b); },
        [] { return PLOV_TransSetCheckSumSwitch(0, 1, 1); },
        [&] { return PlovTransGetHashSeed(1, 0, 0, &s, &s); },
        [] { return PlovTransSetHashSeed(0, 0, 0, 1, 1); },
        [] { return PlovTransSetCpuUsage(0, 1); },
        [&] { return PlovTransGetVrfSwitch(0, &b); },
        [] { return PlovTransSetVrfSwitch(0, 1); },
        [&] { return PLOV_TransGetTrunk(1, &trunk, &b); },
        [&] { return PLOV_TransSetTrunk(1, &trunk, 1); },
        [&] { return PlovTransGetStandbyMode(0, &w); },
        [] { return PlovTransSetStandbyMode(0, 1); },
    };
    for (size_t i = 0; i < std::size(calls); i++) {
        SCOPED_TRACE(i);
        sim_clear_journal();
        sim_clear_syslog();
        EXPECT_EQ(calls[i](), 0);
        EXPECT_TRUE(sim_journal().empty());
        EXPECT_EQ(plov_lines("boardlib/plov_fpga_intf.cpp"),
                  std::vector<std::string>{"[PLOV_SFP_8472-ERR]unsupport operate[geBoardLogicType = 2 ]"});
    }
    EXPECT_EQ(b, 0x77);
    EXPECT_EQ(s, 0x77u);
    EXPECT_EQ(w, 0x77u);
}

TEST_F(PlovFpgaKespTest, FpgaIdRefusals)
{
    uint8_t b = 0;
    uint16_t t = 0;
    uint32_t w = 0;
    uint64_t q = 0;
    PortWorkMode rec{};
    PortPro pp{0, 2, 0};
    struct Case {
        std::function<PlovStatus()> call;
        PlovStatus status;
        const char *line;
    } cases[] = {
        {[&] { return PlovTransGetLogicLoadAtReboot(1, &b); }, -1335, " invalid fpga_id = 1\n"},
        {[] { return PlovTransSetLogicLoadAtReboot(1, 0); }, -1335, " invalid fpga_id = 1\n"},
        {[&] { return PlovTransGetControllerDeviceState(1, &w); }, -1335, " invalid fpga_id = 1\n"},
        {[&] { return PLOV_TransGetFreeBlockOfHwBuf(1, 0, &q); }, -1335, " invalid fpga_id = 1\n"},
        {[&] { return PlovTransGetIntTimer(1, &t); }, -1335, " invalid fpga_id = 1\n"},
        {[] { return PlovTransSetIntTimer(1, 10); }, -1335, " invalid fpga_id = 1\n"},
        {[&] { return PlovTransGetEnableState(1, &b); }, -1335, " invalid fpga_id = 1\n"},
        {[&] { return PlovTransGetCpuUsage(1, &b); }, -1335, " invalid fpga_id = 1\n"},
        {[&] { return PlovTransGetPortMac(1, &rec); }, -1335, " invalid fpga_id = 1\n"},
        {[&] { return PLOV_TransGetPortMac(1, &pp, &b); }, -1335, " invalid fpga_id = 1\n"},
        {[] { return PlovTransSetHrtimerAffinity(0, 12); }, -1335, "Cpuid(12) must lower then KESP_VCPUS_MAX_NUM(12)"},
        {[&] { PortPro media{0, 4, 0}; return PLOV_TransSetPortMac(0, &media, &b); }, -1335,
         "Invalid FpgaID 0 or pstPortPro LOC 0 TYPE 4 ID 0\n"},
        {[&] { rec.Location = 1; return PlovTransSetPortMac(0, &rec); }, -1202, "Invalid PortId 0\n"},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        sim_clear_journal();
        sim_clear_syslog();
        EXPECT_EQ(cases[i].call(), cases[i].status);
        EXPECT_TRUE(sim_journal().empty());
        EXPECT_EQ(plov_lines(), std::vector<std::string>{std::string("[PLOV_SFP_8472-ERR]") + cases[i].line});
    }
}

// The timer: MSI-X mode counts in tens, timer mode in thousands.
TEST_F(PlovFpgaKespTest, TimerModes)
{
    sim_write_file("/proc/interrupts", kRxIrqLine);
    fpga_put_indirect(kTrans, 0x8001, {13}, {0xABCD0007});
    uint16_t t = 0;
    ASSERT_EQ(PlovTransGetIntTimer(0, &t), 0);
    EXPECT_EQ(t, 70);
    ASSERT_EQ(PlovTransSetIntTimer(0, 30), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x8001, {13}), Words{0xABCD0003});
    sim_clear_syslog();
    EXPECT_EQ(PlovTransSetIntTimer(0, 25), -1335);
    EXPECT_EQ(plov_lines(), std::vector<std::string>{"[PLOV_SFP_8472-ERR]MSIX IRQ Time [25] invalid \n"});
    fpga_fail_address(kTrans, PLOV_IOC_READ_INDIR_REG, 0x8001, EIO);
    EXPECT_EQ(PlovTransGetIntTimer(0, &t), -1312);
    EXPECT_EQ(PlovTransSetIntTimer(0, 30), -1312);
    sim_clear_faults();

    sim_write_file("/proc/interrupts", "  0:   1   IO-APIC   2-edge      timer\n");
    fpga_set_record(kTrans, FpgaRecord::Hrtimer, 0, bytes_of(uint64_t{1500999}));
    ASSERT_EQ(PlovTransGetIntTimer(0, &t), 0);
    EXPECT_EQ(t, 1500);
    ASSERT_EQ(PlovTransSetIntTimer(0, 7), 0);
    EXPECT_EQ(fpga_get_record(kTrans, FpgaRecord::Hrtimer), bytes_of(uint64_t{7000}));
    sim_fail_request(kTrans, PLOV_IOC_GET_HRTIMER, EIO);
    EXPECT_EQ(PlovTransGetIntTimer(0, &t), -1203);
    sim_fail_request(kTrans, PLOV_IOC_SET_HRTIMER, EIO);
    EXPECT_EQ(PlovTransSetIntTimer(0, 7), -1203);

    std::remove(sim_path("/proc/interrupts").c_str());
    EXPECT_EQ(PlovTransGetIntTimer(0, &t), -1216);
    EXPECT_EQ(PlovTransSetIntTimer(0, 7), -1216);
}

// Affinity: the receive interrupt's CPU mask in MSI-X mode, the driver's
// timer affinity otherwise.
TEST_F(PlovFpgaKespTest, AffinityPaths)
{
    sim_write_file("/proc/interrupts", kRxIrqLine);
    sim_write_file("/proc/irq/45/smp_affinity", "00000000,00000000,00000000,00000010\n");
    uint8_t cpu = 0;
    ASSERT_EQ(PlovTransGetHrtimerAffinity(0, &cpu), 0);
    EXPECT_EQ(cpu, 4);
    sim_clear_syslog();
    testing::internal::CaptureStdout();
    ASSERT_EQ(PlovTransSetHrtimerAffinity(0, 3), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "excute IsMsixIrqMode success,IrqMode[0] IrqNo[45]\n");
    EXPECT_EQ(sim_read_file("/proc/irq/45/smp_affinity").substr(0, 33), "000000,00000000,00000000,00000008");
    EXPECT_TRUE(sim_journal().empty());
    ASSERT_EQ(sim_syslog().size(), 1u);
    EXPECT_EQ(sim_syslog()[0].priority, 1);
    EXPECT_NE(sim_syslog()[0].text.find("[PLOV_SFP_8472-INFO]PlovTransSetHrtimerAffinity: bind MSIX IRQ to CPU3\n"),
              std::string::npos);

    sim_write_file("/proc/interrupts", "\n");
    testing::internal::CaptureStdout();
    ASSERT_EQ(PlovTransSetHrtimerAffinity(0, 6), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "excute IsMsixIrqMode success,IrqMode[1] IrqNo[0]\n");
    ASSERT_EQ(PlovTransGetHrtimerAffinity(0, &cpu), 0);
    EXPECT_EQ(cpu, 6);
    EXPECT_EQ(fpga_get_record(kTrans, FpgaRecord::HrtimerAffinity), Bytes{6});
    sim_fail_request(kTrans, PLOV_IOC_GET_HRTIMER_AFFINITY, EIO);
    EXPECT_EQ(PlovTransGetHrtimerAffinity(0, &cpu), -1203);
    sim_fail_request(kTrans, PLOV_IOC_SET_HRTIMER_AFFINITY, EIO);
    EXPECT_EQ(PlovTransSetHrtimerAffinity(0, 6), -1203);
    std::remove(sim_path("/proc/interrupts").c_str());
    EXPECT_EQ(PlovTransGetHrtimerAffinity(0, &cpu), -1216);
}

TEST_F(PlovFpgaKespTest, KespBackendCalls)
{
    uint8_t mask = 0;
    ASSERT_EQ(PlovTransGetCpuUsage(0, &mask), 0);
    EXPECT_EQ(mask, 1);
    EXPECT_TRUE(sim_journal().empty());

    fpga_set_reg(kTrans, 0x5C42, 3);
    uint8_t state = 0;
    ASSERT_EQ(PlovTransGetEnableState(0, &state), 0);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(PlovTransFpgaEnableSeqence(0), PLOV_ERR_WORKING);
    fpga_set_reg(kTrans, 0x5C42, 2);
    ASSERT_EQ(PlovTransFpgaEnableSeqence(0), 0);
    EXPECT_EQ(fpga_get_record(kTrans, FpgaRecord::UsrStart), Bytes{3});
    fpga_fail_address(kTrans, kReadDir, 0x5C42, EIO);
    EXPECT_EQ(PlovTransGetEnableState(0, &state), -1203);

    PortWorkMode rec{};
    rec.PortId = 1;
    const uint8_t mac[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    std::copy(mac, mac + 6, rec.Mac);
    ASSERT_EQ(PlovTransSetPortMac(0, &rec), 0);
    PortWorkMode back{};
    back.PortId = 1;
    ASSERT_EQ(PlovTransGetPortMac(0, &back), 0);
    EXPECT_EQ(bytes_of(back.Mac), bytes_of(mac));
    PortPro pp{0, 2, 1};
    uint8_t got[6] = {};
    ASSERT_EQ(PLOV_TransGetPortMac(0, &pp, got), 0);
    EXPECT_EQ(bytes_of(got), bytes_of(mac));

    fpga_set_record(kTrans, FpgaRecord::LoadAtReboot, 0, bytes_of(uint64_t{0x100}));
    uint8_t flag = 9;
    ASSERT_EQ(PlovTransGetLogicLoadAtReboot(0, &flag), 0);
    EXPECT_EQ(flag, 0);
    ASSERT_EQ(PlovTransSetLogicLoadAtReboot(0, 0), 0);
    sim_fail_request(kTrans, PLOV_IOC_GET_LOAD_AT_REBOOT, EIO);
    EXPECT_EQ(PlovTransGetLogicLoadAtReboot(0, &flag), -1203);
    sim_fail_request(kTrans, PLOV_IOC_SET_LOAD_AT_REBOOT, EIO);
    EXPECT_EQ(PlovTransSetLogicLoadAtReboot(0, 0), -1203);
    sim_fail_request(kTrans, PLOV_IOC_GET_DRV_INFO, EIO);
    uint32_t cs = 0;
    EXPECT_EQ(PlovTransGetControllerDeviceState(0, &cs), -1203);
    EXPECT_EQ(cs, 1u);
}

} // namespace
