// Board-independent queue operations on both boards through the simulated
// FPGA driver: the DORN key and value words, the switch id rule, the KESP
// branch and the failures.
#include <cerrno>
#include <functional>

#include "boardlib/plov_queue_intf.h"
#include "sim/fpga_model.h"
#include "support/fpga_test_util.h"
#include "support/plov_test.h"
#include "support/sim_fixture.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;
constexpr unsigned long kWriteIndir = 0xC004EF02, kReadIndir = 0xC004EF03;

using PlovQueueTest = PlovTest;
using PlovQueueKespTest = PlovKespTest;

bool logged(const std::string &text)
{
    for (const SimLogLine &l : sim_syslog())
        if (l.text.size() >= text.size() && l.text.compare(l.text.size() - text.size(), text.size(), text) == 0)
            return true;
    return false;
}

// Each DORN operation's one indirect request: node, request, base, command
// and the data words (key, values, answer).
TEST_F(PlovQueueTest, DornKeyAndValueWords)
{
    fpga_put_indirect(kSbuf, 0x1C00, {6}, {0x7FF});
    fpga_put_indirect(kTrans, 0x3030, {0xABC}, {0x3F});
    fpga_put_indirect(kTrans, 0x61D1, {5}, {0x1'0000'0009});
    fpga_put_indirect(kTrans, 0x3586, {8}, {0x44});
    uint16_t match = 0;
    RxqHashRule rule{0xFABC, 0x3F};
    QueueStat stat{{1, 1, 1}};
    QueueId grp{2, 5}, tx{1, 8};
    struct Case {
        std::function<PlovStatus()> call;
        std::string node;
        unsigned long request;
        uint64_t base, cmd;
        Words words;
    } cases[] = {
        {[&] { return PlovTransSetTxProcessMatch(0, 70, 0x1FFF); }, kTrans, kWriteIndir, 0x1C00, 0x11, {6, 0x7FF, 0}},
        {[&] { return PlovTransGetTxProcessMatch(1, 70, &match); }, kSbuf, kReadIndir, 0x1C00, 0x10, {6, 0, 0x7FF}},
        {[&] { return PlovTransSetRxqHashRule(0, &rule); }, kTrans, kWriteIndir, 0x3030, 0x11, {0xABC, 0x1F, 0}},
        {[&] { return PlovTransGetRxqHashRule(0, &rule); }, kTrans, kReadIndir, 0x3030, 0x10, {0xABC, 0, 0x1F}},
        {[&] { return PlovTransGetQueueStatics(0, &grp, &stat); }, kTrans, kReadIndir, 0x61D1, 0x2, {5, 0x1'0000'0009}},
        {[&] { return PlovTransClsQueueStatics(0, &grp); }, kTrans, kWriteIndir, 0x61D1, 0x3, {5, 0}},
        {[&] { return PlovTransGetQueueStatics(0, &tx, &stat); }, kTrans, kReadIndir, 0x3586, 0x2, {8, 0x44}},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        const Case &c = cases[i];
        sim_clear_journal();
        ASSERT_EQ(c.call(), 0);
        ASSERT_EQ(sim_journal().size(), 1u);
        EXPECT_EQ(sim_journal()[0].node, c.node);
        EXPECT_EQ(sim_journal()[0].request, c.request);
        IndirRegReq req = journal_record<IndirRegReq>(0);
        EXPECT_EQ(req.baseaddr, c.base);
        EXPECT_EQ(req.cmd, c.cmd);
        EXPECT_EQ(sim_journal()[0].extra, c.words);
    }
    EXPECT_EQ(match, 0xFF);   // the query reports the low 8 bits
    EXPECT_EQ(rule.VcpuID, 0x1F);
    EXPECT_EQ(stat.Counter[0], 0x44u);
    EXPECT_EQ(stat.Counter[2], 9u);
}

TEST_F(PlovQueueTest, DornCountersByQueueType)
{
    fpga_put_indirect(kTrans, 0x31F0, {0x00A}, {0x11});
    fpga_put_indirect(kTrans, 0x31F0, {0x20A}, {0x22});
    struct Case {
        QueueId q;
        PlovStatus status;
        QueueStat expect;
        std::vector<std::pair<uint64_t, uint64_t>> cleared;   // base, key
    } cases[] = {
        {{0, 10}, 0, {{0x11, 0x22, 7}}, {{0x31F0, 0x00A}, {0x31F0, 0x20A}}},
        {{1, 5}, 0, {{0, 0, 0}}, {}},
        {{1, 6}, 0, {{0, 0, 0}}, {}},
        {{1, 8}, 0, {{0, 7, 7}}, {{0x3586, 8}, {0x358F, 8}}},
        {{0, 288}, -1335, {{7, 7, 7}}, {}},
        {{1, 256}, -1335, {{7, 7, 7}}, {}},
        {{2, 64}, -1335, {{7, 7, 7}}, {}},
        {{3, 0}, -1335, {{7, 7, 7}}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.q.QueueType) + ":" + std::to_string(c.q.QueueId));
        QueueStat stat{{7, 7, 7}};
        EXPECT_EQ(PlovTransGetQueueStatics(0, &c.q, &stat), c.status);
        EXPECT_EQ(bytes_of(stat), bytes_of(c.expect));
        sim_clear_journal();
        EXPECT_EQ(PlovTransClsQueueStatics(0, &c.q), c.status);
        std::vector<std::pair<uint64_t, uint64_t>> seen;
        for (size_t i = 0; i < sim_journal().size(); i++)
            seen.emplace_back(journal_record<IndirRegReq>(i).baseaddr, sim_journal()[i].extra.at(0));
        EXPECT_EQ(seen, c.cleared);
    }
    // The first failed write ends the receive-queue clear.
    QueueId rx{0, 10};
    fpga_fail_address(kTrans, kWriteIndir, 0x31F0, EIO);
    sim_clear_journal();
    EXPECT_EQ(PlovTransClsQueueStatics(0, &rx), -1203);
    EXPECT_EQ(sim_journal().size(), 1u);
    QueueStat stat{};
    EXPECT_EQ(PlovTransGetQueueStatics(2, &rx, &stat), -1330);
    EXPECT_TRUE(sim_syslog().size() == 1);   // the write failure only: the query's FPGA id is not logged
}

TEST_F(PlovQueueTest, DornWaterLevelsAndOffset)
{
    fpga_put_indirect(kTrans, 0x3018, {0x205}, {0x7'1234'5678});
    QueueId rx{0, 5}, tx{1, 5}, grp{2, 5};
    QueueWaterLevel lvl{100, 20};
    ASSERT_EQ(PlovTransSetQueueWaterLvl(0, &rx, &lvl), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x3018, {0x205}), Words{0x7'0064'0014});
    QueueWaterLevel got{1, 1};
    ASSERT_EQ(PlovTransGetQueueWaterLvl(0, &rx, &got), 0);
    EXPECT_EQ(got.Highlevel, 100u);
    EXPECT_EQ(got.Lowlevel, 20u);

    sim_clear_journal();
    QueueWaterLevel keep{9, 9};
    EXPECT_EQ(PlovTransGetQueueWaterLvl(0, &tx, &keep), 0);
    EXPECT_EQ(PlovTransSetQueueWaterLvl(0, &tx, &lvl), 0);
    EXPECT_EQ(keep.Highlevel, 9u);
    EXPECT_TRUE(sim_journal().empty());
    fpga_set_reg(kSbuf, 0x6040, 0x1234);
    ASSERT_EQ(PlovTransGetQueueWaterLvl(1, &grp, &keep), 0);
    EXPECT_EQ(keep.Highlevel, 0x3400u);
    EXPECT_EQ(keep.Lowlevel, 9u);
    QueueWaterLevel grpLvl{0xAB00, 0};
    ASSERT_EQ(PlovTransSetQueueWaterLvl(1, &grp, &grpLvl), 0);
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x6040), 0xABu);

    fpga_fail_address(kTrans, kReadIndir, 0x3018, EIO);
    sim_clear_journal();
    EXPECT_EQ(PlovTransSetQueueWaterLvl(0, &rx, &lvl), -1203);
    EXPECT_EQ(sim_journal().size(), 1u);   // nothing written after the failed read
    EXPECT_EQ(PlovTransGetQueueWaterLvl(0, nullptr, &lvl), -1201);

    ASSERT_EQ(PlovTransSetQueueDataOffset(1, 0xBEEF), 0);
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x3065), 0xBEEFu);
    uint16_t off = 0;
    ASSERT_EQ(PlovTransGetQueueDataOffset(1, &off), 0);
    EXPECT_EQ(off, 0xBEEF);
    EXPECT_EQ(PlovTransGetQueueDataOffset(5, nullptr), -1201);   // the pointer first
    EXPECT_EQ(PlovTransSetQueueDataOffset(2, 1), -1330);
}

TEST_F(PlovQueueTest, SwitchIdAcceptance)
{
    struct Case {
        FpgaId fpga;
        uint32_t type, id;
        PlovStatus status;
    } cases[] = {
        {0, 0, 3, -1332},      {0, 0, 0xFFFF, 0},   {1, 0, 256, 0},      {1, 0, 257, -1332}, {1, 0, 0, 0},
        {1, 1, 3, -1332},      {1, 2, 0xFFFF, 0},   {0, 0, 0x1FFFF, 0},  {2, 0, 0xFFFF, -1330},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.fpga) + ":" + std::to_string(c.type) + ":" + std::to_string(c.id));
        sim_clear_journal();
        sim_clear_syslog();
        QueueId q{c.type, c.id};
        uint32_t v = 9;
        EXPECT_EQ(PlovTransSetQueueSwitch(c.fpga, &q, 0x10001), c.status);
        EXPECT_EQ(PlovTransGetQueueSwitch(c.fpga, &q, &v), c.status);
        EXPECT_EQ(sim_journal().size(), c.status == 0 ? 2u : 0u);
        if (c.status == 0) {
            EXPECT_EQ(sim_journal()[0].node, c.fpga == 0 ? kTrans : kSbuf);
            EXPECT_EQ(journal_record<QueueSwitchReq>(0).value, 1);   // the low 16 bits travel
            EXPECT_EQ(v, 1u);
        }
        if (c.status == -1332) {
            char line[64];
            std::snprintf(line, sizeof line, "Invalid Id [0x%x]\n", c.id);
            EXPECT_TRUE(logged(line));
        }
    }
    QueueId q{0, 0xFFFF};
    sim_fail_request(kTrans, 0xC004EF17, EIO);
    uint32_t v = 0;
    EXPECT_EQ(PlovTransGetQueueSwitch(0, &q, &v), -1203);
    EXPECT_EQ(PlovTransGetQueueSwitch(0, &q, nullptr), -1201);
}

// On the KESP board: FPGA 1 is refused, FPGA 0 goes to the backend.
TEST_F(PlovQueueKespTest, KespBranch)
{
    QueueId rx{0, 9}, tx{1, 6};
    QueueWaterLevel lvl{};
    QueueStat stat{};
    RxqHashRule rule{1, 2};
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    const std::function<PlovStatus(FpgaId)> ops[] = {
        [&](FpgaId f) { return PlovTransGetTxProcessMatch(f, 1, &u16); },
        [&](FpgaId f) { return PlovTransSetTxProcessMatch(f, 1, 2); },
        [&](FpgaId f) { return PlovTransGetQueueDataOffset(f, &u16); },
        [&](FpgaId f) { return PlovTransSetQueueDataOffset(f, 2); },
        [&](FpgaId f) { return PlovTransGetQueueWaterLvl(f, &rx, &lvl); },
        [&](FpgaId f) { return PlovTransSetQueueWaterLvl(f, &rx, &lvl); },
        [&](FpgaId f) { return PlovTransGetRxqHashRule(f, &rule); },
        [&](FpgaId f) { return PlovTransSetRxqHashRule(f, &rule); },
        [&](FpgaId f) { return PlovTransGetQueueSwitch(f, &rx, &u32); },
        [&](FpgaId f) { return PlovTransSetQueueSwitch(f, &rx, 1); },
        [&](FpgaId f) { return PlovTransClsQueueStatics(f, &rx); },
        [&](FpgaId f) { return PlovTransGetQueueStatics(f, &rx, &stat); },
    };
    for (size_t i = 0; i < std::size(ops); i++) {
        SCOPED_TRACE(i);
        sim_clear_journal();
        sim_clear_syslog();
        EXPECT_EQ(ops[i](1), -1335);
        EXPECT_TRUE(sim_journal().empty());
        EXPECT_TRUE(logged(" invalid fpga_id = 1\n"));
        EXPECT_EQ(ops[i](0), 0);
        EXPECT_FALSE(sim_journal().empty());
        EXPECT_EQ(sim_journal()[0].node, kTrans);
    }
    EXPECT_EQ(PlovTransGetQueueWaterLvl(0, &tx, &lvl), -1202);
    EXPECT_TRUE(logged("Call KespGetQueueWaterLvl failed, iRet[-1202]\n"));
    fpga_fail_address(kTrans, kWriteIndir, 0x5800, EIO);
    EXPECT_EQ(PlovTransSetQueueSwitch(0, &rx, 1), -1203);
    EXPECT_TRUE(logged("Call KespSetQueueSwitch failed, iRet[-1203]\n"));
}

// A board name nobody knows fails every operation the same way.
TEST_F(PlovQueueTest, ProbeFailure)
{
    sim_write_file("/sys/devices/virtual/dmi/id/board_name", "ZK17WENA\n");
    uint16_t off = 0;
    EXPECT_EQ(PlovTransGetQueueDataOffset(0, &off), -1200);
    EXPECT_TRUE(logged("TRANS_GetLogicVer err [return -1200 ]\n"));
    EXPECT_TRUE(sim_journal().empty());
}

} // namespace
