// The KESP backend through the simulated FPGA driver in the KESP encoding:
// queue mapping, the requests each operation sends, what it makes of the
// answers, and its failures.
#include <cerrno>
#include <functional>

#include "boardlib/kesp_intf.h"
#include "boardlib/sfp_8472.h"
#include "sim/fpga_model.h"
#include "support/fpga_test_util.h"
#include "support/sim_fixture.h"

namespace {

const std::string kTrans = kFpgaTransNode;
constexpr unsigned long kWriteDir = 0xC004EF00, kReadDir = 0xC004EF01;
constexpr unsigned long kWriteIndir = 0xC004EF02, kReadIndir = 0xC004EF03, kClearIndir = 0xC004EF1E;
constexpr PortPro kPort0{0, 2, 0}, kPort1{0, 2, 1};

class KespIntfTest : public SimTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
    void reset()
    {
        sim_clear_faults();
        sim_clear_journal();
        sim_clear_syslog();
    }
};

// True when a captured line ends with `text`.
bool logged(const std::string &text)
{
    for (const SimLogLine &l : sim_syslog())
        if (l.text.size() >= text.size() && l.text.compare(l.text.size() - text.size(), text.size(), text) == 0)
            return true;
    return false;
}

// The (request, address) pairs the journal saw: register or base address.
std::vector<std::pair<unsigned long, uint64_t>> requests()
{
    std::vector<std::pair<unsigned long, uint64_t>> out;
    for (size_t i = 0; i < sim_journal().size(); i++) {
        const SimJournalEntry &e = sim_journal()[i];
        uint64_t addr = 0;
        std::memcpy(&addr, e.record.data() + (e.request == kReadDir || e.request == kWriteDir ? 0 : 8), 8);
        out.emplace_back(e.request, addr);
    }
    return out;
}

TEST_F(KespIntfTest, QueueIdToIndexToAddress)
{
    struct Case {
        uint32_t type, id;
        PlovStatus status;
        uint32_t index, addr;
        bool logs;
    } cases[] = {
        {0, 0, 0, 1, 0x01, false},      {0, 9, 0, 13, 0x15, false},     {0, 107, 0, 111, 0xD7, false},
        {0, 4, -1335, 0, 0, true},      {0, 111, -1335, 0, 0, true},    {0, 0xFFFF, -1335, 0, 0, true},
        {1, 6, 0, 7, 0x13, false},      {1, 54, 0, 55, 0xD3, false},    {1, 0, 0, 1, 0x01, false},
        {1, 3, -1335, 0, 0, true},      {1, 0xFFFF, -1335, 0, 0, true}, {2, 5, 0, 40, 0x50, false},
        {2, 13, 0, 104, 0xD0, false},   {2, 0xFFFF, 0, 0x7FFF8, 0xF0, false}, {3, 0, -1335, 0, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + ":" + std::to_string(c.id));
        reset();
        QueueId q{c.type, c.id};
        uint32_t index = 0, addr = 0;
        ASSERT_EQ(KespMapQueueIndex(&q, &index), c.status);
        EXPECT_EQ(logged("[Trans-ERR]QueueID err\n"), c.logs);
        if (c.status != 0)
            continue;
        EXPECT_EQ(index, c.index);
        ASSERT_EQ(KespGetIndregAddrOfQueue(c.type == 1 ? 1 : 0, index, &addr), 0);
        EXPECT_EQ(addr, c.addr);
    }
    uint32_t addr = 0;
    EXPECT_EQ(KespGetIndregAddrOfQueue(3, 1, &addr), -1205);
}

// The single-queue switch addresses the row's register at the queue's
// address, with the fixed commands and the row's lengths.
TEST_F(KespIntfTest, SingleQueueSwitchRequests)
{
    struct Case {
        uint32_t type, id;
        uint64_t base, addr;
        uint32_t row;
    } cases[] = {{0, 9, 0x5800, 0x15, 3}, {1, 6, 0x6800, 0x13, 40}, {2, 5, 0x5800, 0x50, 3}};
    for (const Case &c : cases) {
        reset();
        QueueId q{c.type, c.id};
        ASSERT_EQ(KespSetQueueSwitch(&q, 3), 0);
        uint32_t on = 7;
        ASSERT_EQ(KespGetQueueSwitch(&q, &on), 0);
        EXPECT_EQ(on, 1u);
        ASSERT_EQ(sim_journal().size(), 2u);
        IndirRegReq w = journal_record<IndirRegReq>(0), r = journal_record<IndirRegReq>(1);
        IndirRegReq ew{c.row, 0, c.base, 1, 0, 0, 0, 1, 0, {}, w.data};
        IndirRegReq er{c.row, 0, c.base, 0, 0, 0, 0, 0, 1, {}, r.data};
        EXPECT_EQ(bytes_of(w), bytes_of(ew));
        EXPECT_EQ(bytes_of(r), bytes_of(er));
        EXPECT_EQ(sim_journal()[0].extra, (Words{c.addr, 1}));
    }
    QueueId bad{0, 112};
    uint32_t on = 0;
    EXPECT_EQ(KespSetQueueSwitch(&bad, 1), -1335);
    EXPECT_EQ(KespGetQueueSwitch(nullptr, &on), -1201);
    EXPECT_EQ(KespGetQueueSwitch(&bad, nullptr), -1335);  // the range before the pointer
    QueueId good{0, 1};
    EXPECT_EQ(KespGetQueueSwitch(&good, nullptr), -1201);
}

TEST_F(KespIntfTest, GroupSwitchesAgreeOrFail)
{
    // Setting all Tx groups writes positions 1, 2, 3 of each group in order.
    QueueId allTx{1, 0xFFFF};
    ASSERT_EQ(KespSetQueueSwitch(&allTx, 1), 0);
    ASSERT_EQ(sim_journal().size(), 14u * 3);
    EXPECT_EQ(sim_journal()[4].extra, (Words{0x12, 1}));
    uint32_t on = 0;
    ASSERT_EQ(KespGetQueueSwitch(&allTx, &on), 0);
    EXPECT_EQ(on, 1u);

    fpga_put_indirect(kTrans, 0x6800, {0x32}, {0});   // group 3 position 2 differs
    on = 9;
    EXPECT_EQ(KespGetTxQueuesSwitch(3, &on), -1398);
    EXPECT_EQ(KespGetQueueSwitch(&allTx, &on), -1398);
    EXPECT_EQ(on, 9u);
    EXPECT_TRUE(logged("Queue Type 1 Get Group 3 switch  err,iRet = -1398\n"));

    // Rx groups: positions 7, 6, 5, 1; one differing position fails.
    QueueId allRx{0, 0xFFFF};
    ASSERT_EQ(KespSetQueueSwitch(&allRx, 0), 0);
    fpga_put_indirect(kTrans, 0x5800, {0x25}, {1});
    EXPECT_EQ(KespGetRxQueuesSwitch(2, &on), -1398);
    EXPECT_TRUE(logged("RXQ group 2 queue 5 has different queue switch setting\n"));
    ASSERT_EQ(KespGetRxQueuesSwitch(1, &on), 0);
    EXPECT_EQ(on, 0u);

    // Groups that agree among themselves but differ from group 0.
    QueueId allRl{2, 0xFFFF};
    ASSERT_EQ(KespSetQueueSwitch(&allRl, 1), 0);
    fpga_put_indirect(kTrans, 0x5800, {0x50}, {0});
    EXPECT_EQ(KespGetQueueSwitch(&allRl, &on), -1398);
    EXPECT_TRUE(logged("Queue Type 2 Group 5 switch  err,iRet = -1398\n"));

    // Read failures: Tx gives -1350, Rx the read's status.
    reset();
    fpga_fail_address(kTrans, kReadIndir, 0x6800, EIO);
    fpga_fail_address(kTrans, kReadIndir, 0x5800, EIO);
    EXPECT_EQ(KespGetTxQueuesSwitch(0, &on), -1350);
    EXPECT_EQ(KespGetRxQueuesSwitch(0, &on), -1203);
    EXPECT_EQ(KespGetRlQueuesSwitch(0, &on), -1203);
    EXPECT_TRUE(logged("call get RX queue switch  err,iRet = -1203,queue [G0:ID7]\n"));
    // A failing write ends the walk of all groups at once.
    fpga_fail_address(kTrans, kWriteIndir, 0x6800, EIO);
    sim_clear_journal();
    EXPECT_EQ(KespSetQueueSwitch(&allTx, 1), -1203);
    EXPECT_EQ(sim_journal().size(), 1u);
    EXPECT_TRUE(logged("set  queue[type 1] switch err,return -1203\n"));
}

TEST_F(KespIntfTest, QueueStatisticsAndClear)
{
    fpga_put_indirect(kTrans, 0x5984, {0x15}, {0x1'0000'0011});
    fpga_put_indirect(kTrans, 0x5990, {0x15}, {0x22});
    fpga_put_indirect(kTrans, 0x6984, {0x13}, {0x33});
    fpga_put_indirect(kTrans, 0x5990, {0x50}, {0x44});
    struct Case {
        QueueId q;
        QueueStat expect;
        std::vector<std::pair<unsigned long, uint64_t>> clears;
    } cases[] = {
        {{0, 9}, {{0x22, 0x11, 5}}, {{kClearIndir, 0x5984}, {kClearIndir, 0x5990}}},
        {{1, 6}, {{0x33, 5, 5}}, {{kClearIndir, 0x6984}}},
        {{2, 5}, {{5, 5, 0x44}}, {{kClearIndir, 0x5990}}},
    };
    for (const Case &c : cases) {
        reset();
        QueueStat stat{{5, 5, 5}};
        ASSERT_EQ(KespGetQueueStatics(&c.q, &stat), 0);
        EXPECT_EQ(bytes_of(stat), bytes_of(c.expect));
        reset();
        ASSERT_EQ(KespClsQueueStatics(&c.q), 0);
        EXPECT_EQ(requests(), c.clears);
        IndirRegReq clr = journal_record<IndirRegReq>(0);
        EXPECT_EQ(clr.cmd, 3u);
    }
    // The clear copies all four lengths of the row (53: r2base 2, rlen 1).
    IndirRegReq clr = journal_record<IndirRegReq>(0);
    EXPECT_EQ(clr.r2base, 2u);
    EXPECT_EQ(clr.wlen, 0u);
    EXPECT_EQ(clr.rlen, 1u);

    QueueId bad{0, 4}, rx{0, 9};
    QueueStat stat{};
    EXPECT_EQ(KespGetQueueStatics(&bad, &stat), -1335);
    EXPECT_EQ(KespClsQueueStatics(&bad), -1335);
    EXPECT_TRUE(logged("call KespMapQueueIndex err,iRet = -1335\n"));
    fpga_fail_address(kTrans, kReadIndir, 0x5990, EIO);
    fpga_fail_address(kTrans, kClearIndir, 0x5990, EIO);
    EXPECT_EQ(KespGetQueueStatics(&rx, &stat), -1203);
    EXPECT_EQ(KespClsQueueStatics(&rx), -1203);
    EXPECT_TRUE(logged("call KespClearCntIndregByID err\n"));
}

TEST_F(KespIntfTest, WaterLevels)
{
    fpga_put_indirect(kTrans, 0x5820, {0x15}, {0xABCD7, 0x22, 0x33});
    QueueId rx{0, 9}, tx{1, 6}, txBad{1, 56}, grp{2, 5};
    QueueWaterLevel lvl{1, 2};
    ASSERT_EQ(KespGetQueueWaterLvl(&rx, &lvl), 0);
    EXPECT_EQ(lvl.Highlevel, 0xABCDu);
    EXPECT_EQ(lvl.Lowlevel, 0xABCDu);
    // The set keeps bits 3:0 and words 2 and 3; the request carries the row's three words.
    reset();
    QueueWaterLevel set{0x11234, 99};
    ASSERT_EQ(KespSetQueueWaterLvl(&rx, &set), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x5820, {0x15}), (Words{0x12347, 0x22, 0x33}));
    IndirRegReq r = journal_record<IndirRegReq>(0), w = journal_record<IndirRegReq>(1);
    EXPECT_EQ(r.rlen, 3u);
    EXPECT_EQ(r.wlen, 0u);
    EXPECT_EQ(w.wlen, 3u);
    EXPECT_EQ(w.rlen, 0u);
    EXPECT_EQ(w.cmd, 1u);
    ASSERT_EQ(KespSetQueueWaterLvl(&grp, &set), 0);
    EXPECT_TRUE(fpga_has_indirect(kTrans, 0x5820, {0x50}));
    // Tx queues are refused by both, before any request (their address is an Rx queue's entry).
    reset();
    EXPECT_EQ(KespGetQueueWaterLvl(&tx, &lvl), -1202);
    EXPECT_EQ(KespSetQueueWaterLvl(&tx, &set), -1202);
    EXPECT_EQ(KespSetQueueWaterLvl(&txBad, &set), -1335);
    EXPECT_TRUE(sim_journal().empty());
    EXPECT_TRUE(logged("[Trans-ERR]Queue type err\n"));
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x5820, {0x13}), Words{});
    // A failed read writes nothing.
    fpga_fail_address(kTrans, kReadIndir, 0x5820, EIO);
    EXPECT_EQ(KespSetQueueWaterLvl(&rx, &set), -1203);
    EXPECT_EQ(KespGetQueueWaterLvl(&rx, &lvl), -1203);
    EXPECT_EQ(sim_journal().size(), 2u);
}

TEST_F(KespIntfTest, SyncIdHashRuleOffsetBlocksPoolBase)
{
    ASSERT_EQ(KespSetSyncId(0, 31, 2047), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x6000, {31}), Words{2047});
    uint16_t sync = 0;
    ASSERT_EQ(KespGetSyncId(1, 31, &sync), 0);
    EXPECT_EQ(sync, 2047);
    EXPECT_EQ(KespSetSyncId(0, 32, 1), -1202);
    EXPECT_EQ(KespSetSyncId(0, 1, 2048), -1202);
    fpga_fail_address(kTrans, kReadIndir, 0x6000, EIO);
    EXPECT_EQ(KespGetSyncId(0, 31, &sync), -1203);
    EXPECT_EQ(sync, 0);
    sim_clear_faults();

    RxqHashRule rule{0x1ABC, 0x1F};
    ASSERT_EQ(KespSetRxqHashRule(&rule), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x5844, {0xABC}), Words{0xF});
    rule.VcpuID = 0;
    ASSERT_EQ(KespGetRxqHashRule(&rule), 0);
    EXPECT_EQ(rule.VcpuID, 0xF);

    ASSERT_EQ(KespSetQueueDataOffset(0x1234), 0);
    uint16_t off = 0;
    ASSERT_EQ(KespGetQueueDataOffset(&off), 0);
    EXPECT_EQ(off, 0x1234);

    struct Blocks {
        uint32_t pool;
        uint64_t a, b;
        uint64_t regA, regB, expect;
    } blocks[] = {{2, 5, 8190, 0x5D23, 0x5D24, 1792}, {4, 0x2010, 0x7, 0x5D43, 0x5D44, 9 * 256}};
    for (const Blocks &b : blocks) {
        fpga_set_reg(kTrans, b.regA, b.a);
        fpga_set_reg(kTrans, b.regB, b.b);
        uint64_t n = 1;
        ASSERT_EQ(KespGetFreeBlockOfHwBuf(b.pool, &n), 0);
        EXPECT_EQ(n, b.expect);
    }

    fpga_set_reg(kTrans, 0x12, 0xFFFF'0000'0000'0001);
    fpga_set_reg(kTrans, 0x13, 0x1'2345'6789);
    PoolBaseRec rec{};
    rec.PoolNum = 4;
    ASSERT_EQ(KespGetPoolBaseAddr(&rec), 0);
    EXPECT_EQ(rec.PhyAddr, 0x1'2345'6789u);
    fpga_fail_address(kTrans, kReadDir, 0x13, EIO);
    EXPECT_EQ(KespGetPoolBaseAddr(&rec), -1203);
    EXPECT_EQ(rec.PhyAddr, 0u);
}

// ---- ports ------------------------------------------------------------------------------------

TEST_F(KespIntfTest, PortControlRegisters)
{
    fpga_set_reg(kTrans, 0x2400, 0x200);
    ASSERT_EQ(KespSetPortSwitch(1, 0xFF), 0);   // only bits 2:0 change
    EXPECT_EQ(fpga_get_reg(kTrans, 0x2400), 0x207u);
    uint8_t v = 0;
    ASSERT_EQ(KespTransGetPortPHYLoopMode(0, 1, &v), 0);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(KespTransSetPortMACLoopMode(0, 1, 4), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x2400), 0x227u);
    ASSERT_EQ(KespTransSetPortPHYLoopMode(0, 1, 0), 0);
    ASSERT_EQ(KespTransGetPortMACLoopMode(0, 1, &v), 0);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(KespGetPortSwitch(1, &v), 0);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x2400), 0x27u);
    EXPECT_EQ(KespSetPortSwitch(2, 1), -1331);
    EXPECT_EQ(KespTransSetPortMACLoopMode(1, 0, 1), -1330);
    EXPECT_EQ(KespTransGetPortPHYLoopMode(0, 2, &v), -1331);
    EXPECT_EQ(KespGetPortSwitch(0, nullptr), -1201);

    // PHY power and link.
    struct Phy {
        uint64_t reg;
        PlovStatus status;
        uint8_t up, link;
        size_t reads;
    } phys[] = {{0x0, 0, 1, 1, 2}, {0xC, 0, 0, 0, 1}, {0x4, -1339, 0, 0, 1}, {0x8, -1339, 0, 0, 1}};
    fpga_set_reg(kTrans, 0x2109, 0x1);
    for (const Phy &p : phys) {
        reset();
        fpga_set_reg(kTrans, 0x2006, p.reg);
        uint8_t up = 9, link = 9;
        ASSERT_EQ(KespTransGetPortForcePhyDown(0, 0, &up), p.status);
        if (p.status == 0) {
            EXPECT_EQ(up, p.up);
        }
        sim_clear_journal();
        EXPECT_EQ(KespGetPortLinkStates(0, 0, &link), p.status == 0 ? 0 : -1200);
        EXPECT_EQ(sim_journal().size(), p.reads);
        if (p.status == 0) {
            EXPECT_EQ(link, p.link);
        }
    }
    fpga_set_reg(kTrans, 0x2406, 0x1);
    sim_clear_journal();
    ASSERT_EQ(KespTransSetPortForcePhyDown(0, 1, 0), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x2406), 0xDu);
    ASSERT_EQ(KespTransSetPortForcePhyDown(0, 1, 0), 0);   // already down: no write
    EXPECT_EQ(sim_journal().size(), 3u);
    ASSERT_EQ(KespTransSetPortForcePhyDown(0, 1, 1), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x2406), 0x1u);
    EXPECT_EQ(KespTransSetPortForcePhyDown(0, 1, 2), -1205);
    fpga_fail_address(kTrans, kReadDir, 0x2406, EIO);
    EXPECT_EQ(KespTransSetPortForcePhyDown(0, 1, 1), -1312);
    EXPECT_TRUE(logged("logic read reg fail -1203\n"));

    // Reset pulse and state; MTU.
    ASSERT_EQ(KespSetPortReset(&kPort0, 1), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x2006), 6u);
    uint8_t state = 0;
    ASSERT_EQ(KespGetPortReset(&kPort0, &state), 0);
    EXPECT_EQ(state, 1);
    sim_clear_journal();
    EXPECT_EQ(KespSetPortReset(&kPort0, 0), -1337);
    PortPro media{0, 4, 0};
    EXPECT_EQ(KespSetPortReset(&media, 1), -1202);
    EXPECT_EQ(KespSetPortReset(nullptr, 1), -1201);
    EXPECT_EQ(KespSetMtu(0, 256), -1335);
    EXPECT_TRUE(sim_journal().empty());
    ASSERT_EQ(KespSetMtu(9000, 255), 0);
    EXPECT_EQ(requests(), (std::vector<std::pair<unsigned long, uint64_t>>{{kWriteDir, 0x2001}, {kWriteDir, 0x2401}}));
    uint16_t vmax = 0, vmin = 0;
    ASSERT_EQ(KespGetMtu(&vmax, &vmin), 0);
    EXPECT_EQ(vmax, 1984);
    EXPECT_EQ(vmin, 255);
}

// The reset state is bits 2:1 of the port's reset register: either bit alone
// counts, and bits outside them do not.
TEST_F(KespIntfTest, PortResetStateFromEitherResetBit)
{
    struct Case {
        uint64_t reg;
        uint8_t state;
    } cases[] = {
        {0x2, 1}, {0x4, 1}, {0x6, 1}, {0x0, 0}, {0x1, 0}, {0x8, 0}, {0xF9, 0}, {0xFB, 1}, {0xFD, 1},
    };
    for (const PortPro &port : {kPort0, kPort1}) {
        const uint64_t addr = port.ID == 0 ? 0x2006 : 0x2406, other = port.ID == 0 ? 0x2406 : 0x2006;
        for (const Case &c : cases) {
            fpga_set_reg(kTrans, addr, c.reg);
            fpga_set_reg(kTrans, other, c.state != 0 ? 0 : 0x6);  // the other port says the opposite
            uint8_t state = 7;
            ASSERT_EQ(KespGetPortReset(&port, &state), 0);
            EXPECT_EQ(state, c.state) << "port " << port.ID << " register 0x" << std::hex << c.reg;
        }
    }
}

TEST_F(KespIntfTest, MacAddress)
{
    const uint8_t mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    ASSERT_EQ(KespSetPortMac(&kPort1, mac), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x5002), 0x001Au);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x5003), 0x2B3C4D5Eu);
    uint8_t got[6] = {};
    ASSERT_EQ(KespGetPortMac(&kPort1, got), 0);
    EXPECT_EQ(Bytes(got, got + 6), Bytes(mac, mac + 6));
    // A failed second read zeroes all six bytes; a failed first read leaves them.
    fpga_fail_address(kTrans, kReadDir, 0x5003, EIO);
    EXPECT_EQ(KespGetPortMac(&kPort1, got), -1203);
    EXPECT_EQ(Bytes(got, got + 6), Bytes(6, 0));
    std::memcpy(got, mac, 6);
    fpga_fail_address(kTrans, kReadDir, 0x5002, EIO);
    EXPECT_EQ(KespGetPortMac(&kPort1, got), -1203);
    EXPECT_EQ(Bytes(got, got + 6), Bytes(mac, mac + 6));
    EXPECT_EQ(KespGetPortMac(&kPort1, nullptr), -1201);
    PortPro bad{1, 2, 0};
    EXPECT_EQ(KespSetPortMac(&bad, mac), -1202);
}

TEST_F(KespIntfTest, PortCounters)
{
    // Rx counters of port 1 and Tx counters of port 0; byte counters from high 16 and low 32 bits.
    const std::pair<uint64_t, uint64_t> regs[] = {
        {0x518C, 0xFFFF'0001}, {0x518D, 0x1'0000'0002}, {0x518B, 0x1'0000'0003}, {0x2593, 0x1FF},
        {0x518A, 5},           {0x5188, 6},             {0x5189, 7},
    };
    for (const auto &[addr, value] : regs)
        fpga_set_reg(kTrans, addr, value);
    PortStatistic st{};
    st.TxDrop = 77;
    st.Conflict = 88;
    ASSERT_EQ(KespGetPortStatistics(&kPort1, &st), 0);
    EXPECT_EQ(st.RxBytes, 4294967298u);
    EXPECT_EQ(st.RxError, 3u);
    EXPECT_EQ(st.RxDrop, 0xFFu);
    EXPECT_EQ(st.RxTotal, 5u);
    EXPECT_EQ(st.RxMultiCast, 6u);
    EXPECT_EQ(st.RxBroadCast, 7u);
    EXPECT_EQ(st.TxDrop, 77u);
    EXPECT_EQ(st.Conflict, 88u);
    EXPECT_EQ(sim_journal().size(), 13u);

    // The first failing counter ends the walk; later fields keep their values.
    reset();
    fpga_fail_address(kTrans, kReadDir, 0x5188, EIO);
    PortStatistic part{};
    part.TxBytes = 9;
    EXPECT_EQ(KespGetPortStatistics(&kPort1, &part), -1203);
    EXPECT_EQ(part.RxTotal, 5u);
    EXPECT_EQ(part.RxMultiCast, 0u);
    EXPECT_EQ(part.TxBytes, 9u);
    EXPECT_TRUE(logged("call KespGetPortRxMultiCastCnt err!\n"));
    PortPro bad{0, 2, 2};
    EXPECT_EQ(KespGetPortTxBytesCnt(&bad, &part), -1202);
    EXPECT_EQ(KespGetPortStatistics(nullptr, &part), -1201);

    // Media ports: four counters, two registers apart.
    fpga_set_reg(kTrans, 0x5194, 1);
    fpga_set_reg(kTrans, 0x5195, 2);
    fpga_set_reg(kTrans, 0x5594, 3);
    fpga_set_reg(kTrans, 0x5595, 4);
    PortStatistic m{};
    PortPro media{7, 7, 1};
    ASSERT_EQ(KespGetMediaPortStatistics(&media, &m), 0);
    EXPECT_EQ(m.RxTotal + m.RxError * 10 + m.TxTotal * 100 + m.TxError * 1000, 4321u);
    media.ID = 2;
    EXPECT_EQ(KespGetMediaPortStatistics(&media, &m), -1205);
    media.ID = 0;
    fpga_fail_address(kTrans, kReadDir, 0x5592, EIO);
    EXPECT_EQ(KespGetMediaPortStatistics(&media, &m), -1203);
    EXPECT_TRUE(logged("read TxPktCntAddr err!\n"));

    reset();
    ASSERT_EQ(KespClsPortStatistics(&kPort1), 0);
    EXPECT_EQ(requests(), (std::vector<std::pair<unsigned long, uint64_t>>{{kWriteDir, 0x5005}, {kWriteDir, 0x5405}}));
    fpga_fail_address(kTrans, kWriteDir, 0x5004, EIO);
    sim_clear_journal();
    EXPECT_EQ(KespClsPortStatistics(&kPort0), -1203);
    EXPECT_EQ(sim_journal().size(), 1u);
}

TEST_F(KespIntfTest, ClocksRunVersionAntiCpu)
{
    fpga_set_reg(kTrans, 0x480, 0x208);
    uint32_t a = 0, b = 0;
    ASSERT_EQ(KespGetPhyMngRefClkWarnning(0, &a), 0);
    fpga_set_reg(kTrans, 0x480, 0x8);
    ASSERT_EQ(KespGetDxauiRefClkWarnning(0, &b), 0);
    EXPECT_EQ(a, 8u);
    EXPECT_EQ(b, 1u);
    EXPECT_EQ(KespGetDxauiRefClkWarnning(1, &b), -1330);
    fpga_set_reg(kTrans, 0x2, 0x123);
    ASSERT_EQ(KespGetFwRunVer(0, &a), 0);
    EXPECT_EQ(a, 3u + 100 * 0x12);

    ASSERT_EQ(KespSetAntiCpuIntervalTime(0xF), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x6C07), 7u);
    uint8_t iv = 0;
    ASSERT_EQ(KespGetAntiCpuIntervalTime(&iv), 0);
    EXPECT_EQ(iv, 7);

    ASSERT_EQ(KespSetAntiCpuLevel(7, 3, 0xFFFF), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x6C00, {(3 * 32 + 7) & 127}), Words{0x3FF});
    uint16_t lvl = 0;
    ASSERT_EQ(KespGetAntiCpuLevel(7, 3, &lvl), 0);
    EXPECT_EQ(lvl, 0x3FF);
    EXPECT_EQ(KespSetAntiCpuLevel(8, 0, 1), -1202);
    fpga_fail_address(kTrans, kReadDir, 0x480, EIO);
    EXPECT_EQ(KespGetPhyMngRefClkWarnning(0, &a), -1312);
}

// ---- SFP cages and interrupts ---------------------------------------------------------------------

TEST_F(KespIntfTest, SfpPresenceAndIdentity)
{
    fpga_set_reg(kTrans, 0x103, 0xF);
    const uint8_t expect[4] = {1, 1, 0, 0};   // a fresh board: cages 2 and 3 empty
    for (uint8_t cage = 0; cage < 4; cage++) {
        uint8_t present = 9;
        ASSERT_EQ(KespGetSfpPresent(0, cage, &present), 0);
        EXPECT_EQ(present, expect[cage]);
    }
    EXPECT_EQ(fpga_get_reg(kTrans, 0x103), 0u);
    uint8_t p = 0;
    EXPECT_EQ(KespGetSfpPresent(1, 0, &p), -1330);
    EXPECT_EQ(KespGetSfpPresent(0, 4, &p), -1331);
    EXPECT_EQ(KespGetSfpPresent(0, 0, nullptr), -1201);

    SfpInfo info{};
    ASSERT_EQ(KespGetSfpInfo(0, 1, &info), 0);
    EXPECT_EQ(std::string(info.VendorName), "QUORBIX OPTICS  ");
    EXPECT_EQ(std::string(info.VendorSn), "QX00000000000001");
    EXPECT_EQ(info.Connector, 0x07);
    EXPECT_EQ(info.Compliance[0], 0x10);
    EXPECT_EQ(info.Wavelength[1], 0x52);
    EXPECT_EQ(KespGetSfpInfo(0, 2, &info), -1203);   // no module answers
    EXPECT_TRUE(logged("Call sfp_8472_get_vendor_name error, iRet = -1203"));
    EXPECT_EQ(KespGetSfpInfo(0, 4, &info), -1331);

    // The callback refuses what the request cannot carry.
    uint8_t buf[4];
    EXPECT_EQ(KespReadSfpInfoByReg(0, 0xA0, 256, 1, buf), -1202);
    EXPECT_EQ(KespReadSfpInfoByReg(0, 0xA0, 250, 7, buf), -1202);
    EXPECT_EQ(KespReadSfpInfoByReg(0, 0xA0, 0, 0x10001, buf), -1202);
    EXPECT_EQ(KespReadSfpInfoByReg(4, 0xA0, 0, 1, buf), -1331);
    EXPECT_EQ(KespReadSfpInfoByReg(0, 0xA0, 0, 1, nullptr), -1201);
    sim_clear_journal();
    ASSERT_EQ(KespReadSfpInfoByReg(0, 0xA0, 252, 4, buf), 0);
    SfpRegReq req = journal_record<SfpRegReq>(0);
    EXPECT_EQ(req.offset, 252);
    EXPECT_EQ(req.length, 4);
    EXPECT_EQ(req.dev, 0xA0u);
}

TEST_F(KespIntfTest, MsixModeFromInterrupts)
{
    const std::string cpus(4000, ' ');   // a host with many CPUs: lines far beyond 255 characters
    struct Case {
        std::string text;
        PlovStatus status;
        uint32_t mode, irq;
    } cases[] = {
        {"           CPU0\n  0:   1   IO-APIC   2-edge      timer\n", 0, 1, 7},
        {" 16:" + cpus + "0 PCI-MSI trans-user-Tx-0\n 45:" + cpus + "12 PCI-MSI trans-user-Rx-0\n", 0, 0, 45},
        {"xx: trans-user-Rx-0\n", -1218, 0, 7},
    };
    for (const Case &c : cases) {
        sim_write_file("/proc/interrupts", c.text);
        uint32_t mode = 9, irq = 7;
        EXPECT_EQ(IsMsixIrqMode(&mode, &irq), c.status);
        EXPECT_EQ(mode, c.mode);
        EXPECT_EQ(irq, c.irq);
    }
    std::remove(sim_path("/proc/interrupts").c_str());
    uint32_t mode = 0, irq = 0;
    EXPECT_EQ(IsMsixIrqMode(&mode, &irq), -1216);
}

TEST_F(KespIntfTest, AffinityMasks)
{
    struct Case {
        const char *text;
        PlovStatus status;
        uint8_t cpu;
    } cases[] = {
        {"00000000,00000000,00000000,00000004\n", 0, 2},
        {"00000000,00000000,00000000,00000006\n", -1205, 9},
        {"00000000,00000000,00000000,00000000\n", -1200, 9},
        {"00000000,00000000,00000000,00001000\n", -1200, 9},
        {"00000000,00000000,00000100,00001001\n", 0, 0},
        {"00000000,00000004\n", -1218, 9},
        {"", -1218, 9},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        sim_write_file("/proc/irq/45/smp_affinity", c.text);
        uint8_t cpu = 9;
        EXPECT_EQ(GetMsixIrqBind(45, &cpu), c.status);
        EXPECT_EQ(cpu, c.cpu);
    }
    uint8_t cpu = 0;
    EXPECT_EQ(GetMsixIrqBind(46, &cpu), -1216);

    sim_write_file("/proc/irq/45/smp_affinity", std::string(40, 'x'));
    ASSERT_EQ(SetMsixIrqBind(45, 3), 0);
    const std::string want = std::string("000000,00000000,00000000,00000008") + '\0';
    EXPECT_EQ(sim_read_file("/proc/irq/45/smp_affinity").substr(0, want.size()), want);
    EXPECT_EQ(SetMsixIrqBind(46, 3), -1216);
}

TEST_F(KespIntfTest, MsixTimerReadModifyWrite)
{
    fpga_put_indirect(kTrans, 0x8001, {13}, {0xDEAD'BEEF'ABCD'1234});
    ASSERT_EQ(KespSetMsixIntTimer(0x12345678), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x8001, {13}), Words{0xABCD'5678});
    uint16_t t = 0;
    ASSERT_EQ(KespGetMsixIntTimer(&t), 0);
    EXPECT_EQ(t, 0x5678);
    fpga_fail_address(kTrans, kWriteIndir, 0x8001, EIO);
    EXPECT_EQ(KespSetMsixIntTimer(1), -1312);
    fpga_fail_address(kTrans, kReadIndir, 0x8001, EIO);
    EXPECT_EQ(KespSetMsixIntTimer(1), -1312);
    EXPECT_EQ(KespGetMsixIntTimer(&t), -1312);
    EXPECT_TRUE(logged("call KespReadIndregByID err -1203\n"));
}

TEST_F(KespIntfTest, MemCfgHandsTheMapOverOnlyOnce)
{
    ShareMemEntry map[PLOV_SHARE_MEM_ENTRIES] = {}, scratch[PLOV_SHARE_MEM_ENTRIES] = {};
    map[0].PhyAddr = 0x1000;
    MemCfg cfg{};
    cfg.PkgLen = 2048;
    ASSERT_EQ(KespSetMemCfg(map, &cfg, scratch), 0);
    ASSERT_EQ(KespSetMemCfg(map, &cfg, scratch), 0);
    std::vector<unsigned long> seen;
    for (const SimJournalEntry &e : sim_journal())
        seen.push_back(e.request);
    EXPECT_EQ(seen, (std::vector<unsigned long>{0xC004EF05, 0xC004EF04, 0xC004EF06, 0xC004EF05, 0xC004EF06}));
    EXPECT_EQ(scratch[0].PhyAddr, 0x1000u);
    sim_fail_request(kTrans, 0xC004EF05, EIO);
    EXPECT_EQ(KespSetMemCfg(map, &cfg, scratch), -1203);
    EXPECT_TRUE(logged("Call KespLogicGetShmem failed!\n"));
}

// The catalogue's read logs only a negative result and refuses the empty rows.
TEST_F(KespIntfTest, IndirectReadJudgesResultAndRows)
{
    uint64_t buf[4] = {};
    sim_request_result(kTrans, kReadIndir, 3);
    EXPECT_EQ(KespReadIndregByID(56, buf), 3);
    EXPECT_TRUE(sim_syslog().empty());
    for (uint32_t id : {60u, 63u, 64u})
        EXPECT_EQ(KespReadIndregByID(id, buf), -1202);
    EXPECT_EQ(sim_journal().size(), 1u);
}

} // namespace
