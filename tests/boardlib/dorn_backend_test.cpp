// The DORN backend through the simulated board: SFP access and the I/O-pin
// test, port control, counters, queue and buffer registers, versions and
// snapshots, memory probes.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iterator>
#include <sys/mman.h>

#include "bases/host/host.h"
#include "boardlib/dorn_intf.h"
#include "boardlib/dorn_mem.h"
#include "boardlib/dorn_port.h"
#include "boardlib/dorn_port_stat.h"
#include "boardlib/dorn_queue.h"
#include "boardlib/dorn_reg.h"
#include "boardlib/dorn_sfp.h"
#include "boardlib/dorn_version.h"
#include "sim/fpga_model.h"
#include "support/fpga_test_util.h"
#include "support/sim_fixture.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;

class DornBackendTest : public SimTest {};

// ---- SFP access --------------------------------------------------------------------

TEST_F(DornBackendTest, SfpRegisterRequestsAndTheirFailures)
{
    fpga_set_sfp_bytes(kSbuf, 0, 0xA0, 20, {'Q', 'X'});
    uint8_t buf[2] = {};
    SfpRegReq req{0, 20, 2, 0xA0, buf};
    ASSERT_EQ(TRANS_GetSfpReg(&req), 0);
    EXPECT_EQ(buf[0], 'Q');
    EXPECT_EQ(sim_journal().back().node, kSbuf);
    EXPECT_EQ(sim_journal().back().request, PLOV_IOC_GET_SFP_REG);
    SfpRegReq zero{0, 20, 0, 0xA0, buf};
    EXPECT_EQ(TRANS_GetSfpReg(&zero), 0);   // length 0 moves nothing

    SfpRegReq badPort{8, 0, 1, 0xA0, buf};
    SfpRegReq noBuf{0, 0, 1, 0xA0, nullptr};
    EXPECT_EQ(TRANS_SetSfpReg(&badPort), -1331);
    EXPECT_EQ(TRANS_SetSfpReg(&noBuf), -1201);
    EXPECT_EQ(TRANS_GetSfpReg(nullptr), -1201);
    sim_clear_syslog();
    sim_fail_request(kSbuf, PLOV_IOC_GET_SFP_AREA, EIO);
    EXPECT_EQ(DornTransGetSfpArea(0, 0xA0, 0, 1, buf), -1);
    EXPECT_EQ(plov_lines("boardlib/dorn_sfp.cpp"), std::vector<std::string>{"[Trans-ERR]ioctl error, iRet = -1, errno = 5"});
    sim_clear_faults();
    sim_fail_open(kSbuf, ENOENT);
    sim_clear_syslog();
    EXPECT_EQ(DornTransGetSfpArea(0, 0xA0, 0, 1, buf), -1216);
    EXPECT_EQ(plov_lines().back(), "[Trans-ERR]Call DornGetFd error, iRet = -1216");
}

TEST_F(DornBackendTest, HotSwapStateChecksBeforeAnyNode)
{
    SfpHsState hs{};
    EXPECT_EQ(TRANS_GetSfpHsState(0, &hs), -1330);
    hs.port = 8;
    EXPECT_EQ(TRANS_GetSfpHsState(1, &hs), -1331);
    EXPECT_EQ(TRANS_GetSfpHsState(1, nullptr), -1201);
    SfpIicStatus iic{};
    EXPECT_EQ(TRANS_GetIicStatus(2, &iic), -1330);
    EXPECT_TRUE(sim_journal().empty());
    hs.port = 0;
    EXPECT_EQ(TRANS_GetSfpHsState(1, &hs), 0);
    EXPECT_EQ(hs.present, 1);
    EXPECT_EQ(TRANS_GetIicStatus(1, &iic), 0);
}

TEST_F(DornBackendTest, PresenceReleasesTxDisableFirst)
{
    fpga_set_reg(kSbuf, 0x680B, 0xFF);
    fpga_set_reg(kSbuf, 0x6900, 0x0400);   // port 2 absent
    uint8_t present = 9;
    ASSERT_EQ(DornTransGetSfpPresent(1, 2, &present), 0);
    EXPECT_EQ(present, 0);
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x680B), 0u);
    PortPro pro{0, 0, 3};
    ASSERT_EQ(TRANS_GetSfpPresent(1, &pro, &present), 0);
    EXPECT_EQ(present, 1);
    EXPECT_EQ(DornTransGetSfpPresent(0, 2, &present), -1330);
    EXPECT_EQ(DornTransGetSfpPresent(1, 8, &present), -1331);
    EXPECT_EQ(DornTransGetSfpPresent(1, 2, nullptr), -1201);
}

TEST_F(DornBackendTest, IdentityStopsAtTheFirstFailingGetter)
{
    SfpInfo info{};
    ASSERT_EQ(DornTransGetPortSfpinfo(1, 0, &info), 0);
    EXPECT_EQ(std::string(info.VendorPn).substr(0, 6), "QX-SFP");
    EXPECT_EQ(info.Identifier[0], 3);
    std::memset(&info, 0x5A, sizeof info);
    sim_fail_request(kSbuf, PLOV_IOC_GET_SFP_AREA, EIO, 3);   // the serial number
    sim_clear_syslog();
    EXPECT_EQ(DornTransGetPortSfpinfo(1, 0, &info), -1);
    EXPECT_NE(info.VendorPn[0], 0x5A);
    EXPECT_EQ(info.Date[0], 0x5A);
    EXPECT_EQ(plov_lines().back(), "[Trans-ERR]Call sfp_8472_get_vendor_sn error, iRet = -1");
    EXPECT_EQ(DornTransGetPortSfpinfo(0, 0, &info), -1330);
}

TEST_F(DornBackendTest, StatusTakesAlarmsAndLines)
{
    fpga_set_sfp_bytes(kSbuf, 1, 0xA2, 112, {1, 2, 3, 4, 5, 6});
    fpga_set_reg(kSbuf, 0x6900, (1u << 17) | (1u << 1));
    SfpStatus st{};
    ASSERT_EQ(DornTransGetPortSfpStat(1, 1, &st), 0);
    EXPECT_EQ(st.AlarmLow, 1);
    EXPECT_EQ(st.WarnHigh, 6);
    EXPECT_EQ(st.tx_fault, 1);
    EXPECT_EQ(st.rx_los, 1);
    EXPECT_EQ(DornTransGetPortSfpStat(1, 9, &st), -1331);
}

// A healthy loop-back module passes; a stuck one gets the documented marks.
TEST_F(DornBackendTest, IoPinTest)
{
    struct Case {
        bool stuck;
        uint8_t results[5];
    };
    for (const Case &c : {Case{false, {0, 0, 0, 0, 0}}, Case{true, {0, 0, 0x30, 0x30, 0x30}}}) {
        fpga_clear_sfp_loopback();
        fpga_set_sfp_loopback(kSbuf, 3, c.stuck);
        fpga_set_sfp_bytes(kSbuf, 3, 0xA2, 0x80, {0x34, 0x12, 0x10, 0x00});
        uint8_t results[5] = {};
        uint16_t cnt = 0, threshold = 0;
        ASSERT_EQ(TRANS_TestSfpIOPin(3, results, &cnt, &threshold), 0);
        EXPECT_EQ(std::vector<uint8_t>(results, results + 5), std::vector<uint8_t>(c.results, c.results + 5));
        EXPECT_EQ(cnt, 0x1234);
        EXPECT_EQ(threshold, 0x10);
    }
    // A module that never echoes the line: every trial fails both readings.
    fpga_clear_sfp_loopback();
    fpga_set_sfp_bytes(kSbuf, 3, 0xA2, 0x85, {0x00});
    uint8_t results[5] = {};
    uint16_t cnt = 0, threshold = 0;
    ASSERT_EQ(TRANS_TestSfpIOPin(3, results, &cnt, &threshold), 0);
    EXPECT_EQ(results[0], 0x10 | 0x20 | 0x40 | 0x01);
    EXPECT_EQ(results[1], 1);
    EXPECT_EQ(TRANS_TestSfpIOPin(8, results, &cnt, &threshold), -1331);
    EXPECT_EQ(TRANS_TestSfpIOPin(3, results, nullptr, &threshold), -1201);
}

// ---- port control --------------------------------------------------------------------

TEST_F(DornBackendTest, LoopModesTouchOnlyTheirField)
{
    struct Case {
        bool phy;
        FpgaId fpga;
        uint8_t port, mode;
        uint64_t reg, before, after;
    };
    const Case cases[] = {
        {true, 0, 3, 5, 0x1404, ~0ull, (~0ull & ~(7ull << 12)) | (5ull << 12)},
        {false, 0, 11, 2, 0x1403, 0, 2ull << 44},
        {true, 1, 2, 5, 0x5C00, 0xF0, 0xF6},
        {false, 1, 1, 9, 0x5A09, 0, 0x20},
        {true, 1, 5, 3, 0x4C03, 0, 3ull << 4},
        {false, 1, 5, 7, 0x4C02, 0x1, 0x71},
    };
    for (const Case &c : cases) {
        fpga_set_reg(kSbuf, c.reg, c.before);
        fpga_set_reg(kTrans, c.reg, c.before);
        const std::string &node = c.fpga == 0 ? kTrans : kSbuf;
        auto set = c.phy ? DornTransSetPortPHYLoopMode : DornTransSetPortMACLoopMode;
        auto get = c.phy ? DornTransGetPortPHYLoopMode : DornTransGetPortMACLoopMode;
        ASSERT_EQ(set(c.fpga, c.port, c.mode), 0);
        EXPECT_EQ(fpga_get_reg(node, c.reg), c.after) << std::hex << c.reg;
        uint8_t mode = 0xEE;
        ASSERT_EQ(get(c.fpga, c.port, &mode), 0);
        EXPECT_LE(mode, 7);
    }
    uint8_t mode = 0;
    sim_clear_syslog();
    EXPECT_EQ(DornTransSetPortPHYLoopMode(0, 12, 1), -1331);
    EXPECT_EQ(DornTransGetPortMACLoopMode(1, 8, &mode), -1331);
    EXPECT_EQ(DornTransGetPortMACLoopMode(2, 0, &mode), -1330);
    EXPECT_EQ(plov_lines(), (std::vector<std::string>{"[Trans-ERR]FPGA[0] Invalid PortID [12]\n",
                                                      "[Trans-ERR]FPGA[1] Invalid PortID [8]\n",
                                                      "[Trans-ERR]Invalid FpgaID [2]\n"}));
    PortPro unmapped{2, 0, 0};
    sim_clear_journal();
    EXPECT_EQ(TRANS_SetPortPhyLoopMode(0, &unmapped, 1), 0);
    EXPECT_TRUE(sim_journal().empty());
}

TEST_F(DornBackendTest, ResetPhyParaAndForcedDown)
{
    ASSERT_EQ(DornTransSetPortHwReset(0, 10, 1), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x1401), 1u << 8);
    fpga_set_reg(kSbuf, 0x5800, 0xFF);
    ASSERT_EQ(DornTransSetPortHwReset(1, 1, 0), 0);
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x5800), 0x9Fu);
    uint8_t state = 9;
    ASSERT_EQ(DornTransGetPortHwReset(1, 1, &state), 0);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(DornTransSetPortHwReset(2, 0, 1), -1331);

    PortPhyPara para{0x3F, 0x21, 0x1F};
    ASSERT_EQ(DornTransSetPortPhyPara(0, 4, &para), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x140B), 0x1F010Fu);
    EXPECT_EQ(DornTransSetPortPhyPara(0, 16, &para), -1331);   // would be the forced-down register
    EXPECT_EQ(DornTransGetPortPhyPara(1, 0, &para), -1330);

    uint8_t flag = 7;
    ASSERT_EQ(DornTransGetPortPhyDown(1, 0, &flag), 0);
    EXPECT_EQ(flag, 7);
    PortPro pro9{1, 0, 1};   // port 9
    EXPECT_EQ(TRANS_SetPortPhyDown(0, &pro9, 0), -1331);
    PortPro pro2{0, 0, 2};
    ASSERT_EQ(TRANS_SetPortPhyDown(0, &pro2, 0), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x1417) & 4u, 4u);
    uint8_t up = 9;
    ASSERT_EQ(TRANS_GetPortPhyDown(0, &pro2, &up), 0);
    EXPECT_EQ(up, 0);
    ASSERT_EQ(TRANS_SetPortPhyDown(0, &pro2, 1), 0);
    ASSERT_EQ(TRANS_GetPortPhyDown(0, &pro2, &up), 0);
    EXPECT_EQ(up, 1);
}

TEST_F(DornBackendTest, OpticalModeAndDrp)
{
    PortWorkMode rec{};
    rec.PortId = 1;
    fpga_set_reg(kTrans, 0x1424, 0x2);
    fpga_set_reg(kTrans, 0x1400, 0x0);
    ASSERT_EQ(TRANS_GetOpticalMode(0, &rec), 0);
    EXPECT_EQ(rec.WorkMode, 0x181);
    rec = PortWorkMode{};
    rec.PortId = 5;
    ASSERT_EQ(TRANS_GetOpticalMode(0, &rec), 0);
    EXPECT_EQ(rec.WorkMode, 0x41);

    ASSERT_EQ(DornTransSetPortDRP(0, 0x13, 0x3FF, 0xBEEF), 0);
    uint16_t v = 0;
    ASSERT_EQ(DornTransGetPortDRP(0, 0x13, 0x3FF, &v), 0);
    EXPECT_EQ(v, 0xBEEF);
    EXPECT_EQ(sim_journal().back().extra.at(0), (3u << 9) | 0x1FFu);
    EXPECT_EQ(DornTransGetPortDRP(0, 0, 0, nullptr), -1211);
    EXPECT_EQ(DornTransSetPortGtxPrbs(0, 0, 0), -1200);
}

// ---- counters ---------------------------------------------------------------------------

TEST_F(DornBackendTest, FrontCountersReadTheirIndexesAndReturnTheFirstFailure)
{
    PortStatistic st{};
    st.Conflict = 77;
    ASSERT_EQ(DornTransGetFrontPortStatistic(1, 5, &st), 0);
    EXPECT_EQ(st.Conflict, 77u);
    std::vector<uint64_t> keys;
    for (const SimJournalEntry &e : sim_journal())
        keys.push_back(e.extra.at(0));
    ASSERT_EQ(keys.size(), 16u);
    EXPECT_EQ(keys[0], 1u);           // port key 1, index 0
    EXPECT_EQ(keys[7], 1u | 15u << 4);
    sim_clear_journal();
    sim_fail_request(kTrans, PLOV_IOC_READ_INDIR_REG, EIO, 2);
    EXPECT_EQ(DornTransGetFrontPortStatistic(0, 5, &st), -1203);
    EXPECT_EQ(sim_journal().size(), 16u);
    sim_clear_faults();
    sim_fail_open(kTrans, ENOENT);
    EXPECT_EQ(DornTransClsFrontPortStatistic(3), -1216);
    uint64_t counters[7] = {};
    EXPECT_EQ(TRANS_GetPortMacTxStatistic(0, 12, counters), -1216);
    EXPECT_EQ(TRANS_GetPortMacTxStatistic(0, 16, counters), -1331);
}

// Ports 0 to 7 and 8 to 15 each have their own bank of transmit total and
// error registers; the first and last port of each bank.
TEST_F(DornBackendTest, MacTransmitCountersOfBothBanks)
{
    struct Case {
        uint8_t port;
        uint64_t total, error;
    };
    const Case cases[] = {{0, 0x1E00, 0x1E10}, {7, 0x1E07, 0x1E17}, {8, 0x1E20, 0x1E28}, {15, 0x1E27, 0x1E2F}};
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.port));
        fpga_set_reg(kTrans, c.total, 0x100u + c.port);
        fpga_set_reg(kTrans, c.error, 0x200u + c.port);
        sim_clear_journal();
        uint64_t counters[13];
        std::fill(std::begin(counters), std::end(counters), 0xEEu);
        ASSERT_EQ(TRANS_GetPortMacTxStatistic(0, c.port, counters), 0);
        ASSERT_EQ(sim_journal().size(), 2u);
        EXPECT_EQ(journal_record<DirRegReq>(0).addr, c.total);
        EXPECT_EQ(journal_record<DirRegReq>(1).addr, c.error);
        EXPECT_EQ(counters[5], 0x100u + c.port);   // TxTotal
        EXPECT_EQ(counters[6], 0x200u + c.port);   // TxError
        for (size_t i : {0u, 4u, 7u, 12u})
            EXPECT_EQ(counters[i], 0xEEu) << i;
    }
}

TEST_F(DornBackendTest, BackCountersAddAndStopAtTheFirstFailure)
{
    for (uint64_t off : {0x07, 0x08, 0x09, 0x0A, 0x0B, 0x11, 0x12})
        fpga_set_reg(kSbuf, 0x5B80 + off, off);
    PortStatistic st{};
    ASSERT_EQ(DornTransGetBackPortStatistic(1, &st), 0);
    EXPECT_EQ(st.RxError, 0x09u + 0x0Bu);
    EXPECT_EQ(st.TxTotal, 0x07u);
    st = PortStatistic{};
    fpga_fail_address(kSbuf, PLOV_IOC_READ_DIR_REG, 0x5B80 + 0x09, EIO);
    EXPECT_EQ(DornTransGetBackPortStatistic(1, &st), -1203);
    EXPECT_EQ(st.RxDrop, 0x0Au);
    EXPECT_EQ(st.RxError, 0u);
    EXPECT_EQ(DornTransGetBackPortStatistic(4, &st), -1331);

    uint64_t rxm[9] = {};
    fpga_put_indirect(kTrans, g_IndirReg[20].baseaddr, {3 | 2 << 4}, {0x55});
    ASSERT_EQ(DornGetRxmStatistics(0, 3, rxm), 0);
    EXPECT_EQ(rxm[2], 0x55u);
    EXPECT_EQ(DornGetRxmStatistics(2, 3, rxm), -1330);
}

// ---- queue and buffer registers -------------------------------------------------------------

TEST_F(DornBackendTest, QueueSwitchesCarAndSelectors)
{
    QueueId q{QUEUE_TYPE_TX, 13};
    uint32_t on = 0;
    ASSERT_EQ(DornSetTxQGroupSwitch(0, &q, 1), 0);
    EXPECT_EQ(sim_journal().back().extra.at(0), 3u);
    ASSERT_EQ(DornGetTxQGroupSwitch(0, &q, &on), 0);
    EXPECT_EQ(on, 1u);
    QueueId group{QUEUE_TYPE_TX_GROUP, 1};
    EXPECT_EQ(DornGetTxQSwitch(0, &group, &on), -1333);
    EXPECT_EQ(DornGetTxQSwitch(0, &q, nullptr), -1201);
    EXPECT_EQ(DornGetTxQSwitch(2, &q, &on), -1330);

    // The CAR key word: the package kind at bit 4, the port in the four bits
    // below it; the value goes out as its low 32 bits.
    struct CarCase {
        uint8_t port, kind;
        uint64_t key;
    } carCases[] = {{3, 1, 0x13}, {5, 0, 0x05}, {0xA, 1, 0x1A}, {0x27, 0, 0x07}};
    for (const CarCase &c : carCases) {
        sim_clear_journal();
        const uint64_t value = 0x100000000ull | (0xC0DE0000u + c.key);
        ASSERT_EQ(DornSetPortCar(0, c.port, c.kind, value), 0);
        ASSERT_EQ(sim_journal().size(), 1u);
        EXPECT_EQ(sim_journal()[0].request, PLOV_IOC_WRITE_INDIR_REG);
        IndirRegReq w = journal_record<IndirRegReq>(0);
        EXPECT_EQ(w.baseaddr, 0x1801u);
        EXPECT_EQ(w.cmd, 0x11u);
        EXPECT_EQ(sim_journal()[0].extra, (std::vector<uint64_t>{c.key, 0xC0DE0000u + c.key, 0}))
            << "port " << int(c.port) << " kind " << int(c.kind);

        fpga_put_indirect(kTrans, 0x1801, {c.key}, {0x5A5A0000u + c.key});
        sim_clear_journal();
        uint64_t car = 0;
        ASSERT_EQ(DornGetPortCar(0, c.port, c.kind, &car), 0);
        EXPECT_EQ(car, 0x5A5A0000u + c.key);
        ASSERT_EQ(sim_journal().size(), 1u);
        EXPECT_EQ(sim_journal()[0].request, PLOV_IOC_READ_INDIR_REG);
        EXPECT_EQ(journal_record<IndirRegReq>(0).cmd, 0x10u);
        EXPECT_EQ(sim_journal()[0].extra.at(0), c.key);
    }
    sim_clear_journal();
    EXPECT_EQ(DornSetPortCar(0, 3, 2, 0), -1335);
    EXPECT_TRUE(sim_journal().empty());

    fpga_set_reg(kTrans, 0x6025, 3);
    fpga_set_reg(kSbuf, 0x6024, 1);
    ASSERT_EQ(DornGetAddrmSwitch(0, 1, &on), 0);
    EXPECT_EQ(on, 1u);
    ASSERT_EQ(DornGetAddrmSwitch(1, 1, &on), 0);
    EXPECT_EQ(on, 1u);
    EXPECT_EQ(DornGetAddrmSwitch(0, 8, &on), -1202);
    EXPECT_EQ(DornSetFreeqPoolSwitch(0, 8, 1), -1202);
    ASSERT_EQ(DornSetFreeqPoolSwitch(0, 3, 0xABCD), 0);
    uint16_t pool = 0;
    ASSERT_EQ(DornGetFreeqPoolSwitch(0, 2, &pool), 0);
    EXPECT_EQ(pool, 0xABCD);
    uint64_t first[2] = {}, second[3] = {};
    fpga_set_reg(kTrans, 0x2D82, 9);
    ASSERT_EQ(DornGetRxbufStat(0, first, second), 0);
    EXPECT_EQ(second[2], 9u);
}

// ---- versions and snapshots ---------------------------------------------------------------------

TEST_F(DornBackendTest, VersionsAndFileHelpers)
{
    fpga_set_reg(kTrans, 0x1, 0x25);
    uint32_t run = 0;
    ASSERT_EQ(DornTransGetFwRunVer(0, &run), 0);
    EXPECT_EQ(run, 205u);
    uint64_t ver = 0;
    EXPECT_EQ(DornTransGetFpgaVer(2, &ver), -1330);
    EXPECT_EQ(TRANS_FileWrite("/tmp/none", reinterpret_cast<const uint8_t *>("x"), 0, "w+"), 0);
    EXPECT_EQ(sim_read_file("/tmp/none"), "");
    sim_write_file("/proc/trans/big", std::string(10000, 'b'));
    uint8_t buf[9000];
    uint32_t len = 0;
    ASSERT_EQ(TRANS_FileRead("/proc/trans/big", buf, sizeof buf, &len, 0), 0);
    EXPECT_EQ(len, 9000u);
    EXPECT_EQ(TRANS_FileRead("/proc/none", buf, sizeof buf, &len, 0), -1216);
}

TEST_F(DornBackendTest, SnapshotsCreateRotateAndAddTimeLines)
{
    sim_write_file("/opt/.keep", "");
    sim_write_file("/proc/trans/trans_statis", "stat\n");
    sim_write_file("/proc/trans/sbuf_cfg", "cfg\n");
    ASSERT_EQ(TRANS_Shot(0, 2), 0);
    std::string shot = sim_read_file(DORN_SHOT_FILE);
    EXPECT_EQ(shot.rfind("time: ", 0), 0u);
    EXPECT_EQ(shot.substr(shot.size() - 5), "stat\n");
    EXPECT_EQ(shot.find("time: ", 1), std::string::npos);
    ASSERT_EQ(TRANS_Shot(1, 0), 0);
    shot = sim_read_file(DORN_SHOT_FILE);
    EXPECT_NE(shot.find("time: ", 1), std::string::npos);
    EXPECT_EQ(shot.substr(shot.size() - 4), "cfg\n");

    for (size_t size : {size_t{0x100000}, size_t{0x100001}}) {
        sim_write_file(DORN_SHOT_FILE, std::string(size, 'o'));
        sim_write_file(DORN_SHOT_PREV_FILE, "");
        ASSERT_EQ(TRANS_Shot(0, 2), 0);
        EXPECT_EQ(sim_read_file(DORN_SHOT_PREV_FILE).size(), size == 0x100000 ? 0u : size);
    }
    EXPECT_EQ(TRANS_Shot(0, 5), -1202);
    EXPECT_EQ(TRANS_Shot(2, 0), -1330);

    sim_write_file(DORN_DRV_LOG, "driver log\n");
    ASSERT_EQ(TRANS_CollectLog(), 0);
    std::string log = sim_read_file(DORN_LOG_COPY_FILE);
    EXPECT_EQ(log.substr(log.size() - 11), "driver log\n");
}

// The copy is rewritten at each collection: one time line, then the driver's
// log as it is now; nothing of an earlier copy or collection stays.
TEST_F(DornBackendTest, CollectedLogReplacesTheLastCopy)
{
    sim_write_file("/opt/.keep", "");
    struct Step {
        const char *before;   // the copy as the step finds it; null: as the last step left it
        const char *log;
    } steps[] = {
        {"stale copy\nstale log\n", "first log\n"},
        {nullptr, "second log\n"},
        {nullptr, "second log\n"},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.log);
        if (s.before != nullptr)
            sim_write_file(DORN_LOG_COPY_FILE, s.before);
        sim_write_file(DORN_DRV_LOG, s.log);
        time_t now = host().time(nullptr);
        char line[32] = {};
        ASSERT_NE(ctime_r(&now, line), nullptr);
        ASSERT_EQ(TRANS_CollectLog(), 0);
        EXPECT_EQ(sim_read_file(DORN_LOG_COPY_FILE), std::string(line) + s.log);
    }
}

TEST_F(DornBackendTest, LogDirectoryStepPassesOnlyAnExistingDirectory)
{
    namespace fs = std::filesystem;
    sim_write_file("/proc/trans/trans_statis", "stat\n");
    sim_write_file(DORN_DRV_LOG, "driver log\n");
    const std::string zvt = sim_path("/opt/zvt");
    struct Case {
        const char *name;
        std::function<void()> plant;
        PlovStatus status;
    } cases[] = {
        {"directory", [&] { fs::create_directories(zvt); }, 0},
        {"link to a directory", [&] { sim_write_file("/opt/real/.keep", ""); fs::create_directory_symlink("real", zvt); }, 0},
        {"regular file", [&] { sim_write_file("/opt/zvt", "not a dir"); }, -1217},
        {"link to a regular file", [&] { sim_write_file("/opt/plain", "x"); fs::create_symlink("plain", zvt); }, -1217},
    };
    const std::function<PlovStatus()> calls[] = {[] { return TRANS_Shot(0, 2); }, [] { return TRANS_CollectLog(); }};
    for (const Case &c : cases) {
        for (size_t i = 0; i < std::size(calls); i++) {
            SCOPED_TRACE(std::string(c.name) + (i == 0 ? " shot" : " collect"));
            fs::remove_all(sim_path("/opt"));
            c.plant();
            sim_clear_syslog();
            EXPECT_EQ(calls[i](), c.status);
            std::vector<std::string> lines = plov_lines("boardlib/dorn_version.cpp");
            if (c.status == 0) {
                EXPECT_TRUE(lines.empty());
                EXPECT_FALSE(sim_read_file(i == 0 ? DORN_SHOT_FILE : DORN_LOG_COPY_FILE).empty());
            } else {
                EXPECT_EQ(lines, std::vector<std::string>{"[Trans-ERR]mkdir fail! iRet = -1, error = 17"});
                EXPECT_EQ(sim_open_count(), 0);
            }
        }
    }
    EXPECT_EQ(sim_read_file("/opt/plain"), "x");
}

// ---- platform probes ---------------------------------------------------------------------------

TEST_F(DornBackendTest, MemoryRangeCountAndNodes)
{
    struct Case {
        std::string cmdline;
        uint8_t count;
    };
    for (const Case &c : {Case{"memmap=1 memmap=2 memmap=3\n", 1}, Case{"memmap memmap memmap memmap\n", 2},
                          Case{"memmapmemmap memmapmemmap\n", 2}, Case{"quiet\n", 1}}) {
        sim_write_file("/proc/cmdline", c.cmdline);
        uint8_t count = 0;
        ASSERT_EQ(DornGetMemUsgNum(&count), 0);
        EXPECT_EQ(count, c.count) << c.cmdline;
    }
    struct Node {
        std::string text;
        uint8_t nodes;
    };
    for (const Node &n : {Node{"0\n", 1}, Node{"0-1\n", 2}, Node{"0-3\n", 1}}) {
        sim_write_file(DORN_NODE_ONLINE, n.text);
        uint8_t nodes = 0;
        ASSERT_EQ(DornGetCpuPresent(&nodes), 0);
        EXPECT_EQ(nodes, n.nodes);
    }
    sim_fail_open(DORN_NODE_ONLINE, ENOENT);
    uint8_t nodes = 0;
    EXPECT_EQ(DornGetCpuPresent(&nodes), -1216);
    ShareMemEntry e{};
    EXPECT_EQ(DornMemMap(nullptr), -1201);
    sim_fail_open(DORN_MEM_NODE, ENOENT);
    EXPECT_EQ(DornMemMap(&e), -1216);
}

// /dev/mem: the zone is mapped from its page, the address points into it
// and the descriptor is closed while the mapping stays.
TEST_F(DornBackendTest, MemMapMapsTheZoneFromItsPage)
{
    ShareMemEntry e{};
    e.PhyAddr = 0x1000100;
    e.Size = 0x100;
    ASSERT_EQ(DornMemMap(&e), 0);
    std::vector<SimMapping> maps = sim_mappings();
    ASSERT_EQ(maps.size(), 1u);
    EXPECT_EQ(maps[0].node, "/dev/mem");
    EXPECT_EQ(maps[0].offset, 0x1000000);
    EXPECT_EQ(maps[0].length, 4096u);
    EXPECT_EQ(maps[0].prot, PROT_READ | PROT_WRITE);
    EXPECT_EQ(maps[0].flags & MAP_SHARED, MAP_SHARED);
    EXPECT_EQ(e.VirAddr, reinterpret_cast<uintptr_t>(maps[0].addr) + 0x100);
    *reinterpret_cast<volatile uint32_t *>(e.VirAddr) = 0xA5A5F00D;
    uint32_t seen = 0;
    sim_phys_read(0x1000100, &seen, sizeof seen);
    EXPECT_EQ(seen, 0xA5A5F00Du);
    EXPECT_EQ(sim_open_count(), 0);
    host().munmap(maps[0].addr, maps[0].length);

    sim_fail_op(SimFaultOp::mmap, "/dev/mem", ENOMEM);
    EXPECT_EQ(DornMemMap(&e), -1347);
    EXPECT_TRUE(sim_mappings().empty());
}

// Software-buffer zones are made read-only page by page, only the pages
// wholly inside the zone; other zones and untranslatable ones are left.
TEST_F(DornBackendTest, DealMemDescProtectsWholePagesOfSoftwareBuffers)
{
    constexpr uint64_t kVirt = 0x7f0000000000;
    g_PlovShareMem[0].PhyAddr = 0x40000000;
    g_PlovShareMem[0].VirAddr = kVirt;
    g_PlovShareMem[0].Size = 0x100000;
    MemDesc descs[MEM_DESC_COUNT] = {};
    descs[0] = {0x40000800, 0, 0x3000, 0, 0, MEM_ZONE_SW_BUF};   // pages 1 and 2 wholly inside
    descs[1] = {0x40010000, 0, 0x800, 0, 0, MEM_ZONE_SW_BUF};    // less than a page: nothing
    descs[2] = {0x40020000, 0, 0x2000, 0, 0, MEM_ZONE_ADDRM};    // not a software buffer
    fpga_set_record_as(kTrans, FpgaRecord::MemDesc, 0, descs);
    sim_clear_journal();
    ASSERT_EQ(TransDealMemDesc(0), 0);
    std::vector<SimJournalEntry> protects = sim_journal_of(SimEvent::protect);
    ASSERT_EQ(protects.size(), 1u);
    EXPECT_EQ(protects[0].address, kVirt + 0x1000);
    EXPECT_EQ(protects[0].length, 0x2000u);
    EXPECT_EQ(protects[0].value, static_cast<uint64_t>(PROT_READ));

    sim_fail_request(kTrans, PLOV_IOC_GET_MEM_DESC, EIO);
    EXPECT_NE(TransDealMemDesc(0), 0);
}

}  // namespace
