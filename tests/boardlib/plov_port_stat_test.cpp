// Port counter operations through the simulated FPGA driver: VLAN drops,
// MAC receive counters, port counters on both boards and their checks.
#include <cerrno>
#include <cstring>

#include "boardlib/plov_port_stat.h"
#include "sim/fpga_model.h"
#include "support/fpga_test_util.h"
#include "support/sim_fixture.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;
constexpr unsigned long kWriteIndir = 0xC004EF02, kReadIndir = 0xC004EF03, kReadDir = 0xC004EF01;
constexpr uint64_t kRxmBase = 0x1980, kVlanBase = 0x2980, kPifBase = 0x1580;

class PlovPortStatTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        geBoardLogicType = PLOV_BOARD_UNKNOWN;
    }
    void TearDown() override
    {
        geBoardLogicType = PLOV_BOARD_UNKNOWN;
        SimTest::TearDown();
    }
    void reset()
    {
        sim_clear_faults();
        sim_clear_journal();
        sim_clear_syslog();
    }
};

// The register or block address of journal entry 0.
uint64_t first_address()
{
    unsigned long r = sim_journal().at(0).request;
    if (r == kReadIndir || r == kWriteIndir)
        return journal_record<IndirRegReq>(0).baseaddr;
    return journal_record<DirRegReq>(0).addr;
}

class PlovPortStatKespTest : public PlovPortStatTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

TEST_F(PlovPortStatTest, VlanDropsKeyAndChecks)
{
    fpga_put_indirect(kTrans, kVlanBase, {0x3064}, {0x12345});
    uint64_t drops = 0;
    ASSERT_EQ(PlovTransGetVlanStatistic(0, 3, 100, &drops), 0);
    EXPECT_EQ(drops, 0x2345u);   // the low 16 bits
    reset();
    ASSERT_EQ(PlovTransClsVlanStatistic(0, 3, 100), 0);
    ASSERT_EQ(sim_journal().size(), 1u);
    IndirRegReq clear = journal_record<IndirRegReq>(0);
    EXPECT_EQ(clear.cmd, 0x13u);
    EXPECT_EQ(clear.baseaddr, kVlanBase);
    EXPECT_EQ(sim_journal()[0].extra.at(0), 0x3064u);

    struct Case {
        FpgaId fpga;
        uint8_t port;
        uint32_t vlan;
        PlovStatus status;
        const char *line;
    };
    const Case cases[] = {
        {2, 0, 1, -1330, "[PLOV_SFP_8472-ERR]Invalid FpgaID [2]\n"},
        {0, 16, 1, -1331, "[PLOV_SFP_8472-ERR]Invalid PortID [16]\n"},
        {1, 8, 1, -1331, "[PLOV_SFP_8472-ERR]Invalid PortID [8]\n"},
        {0, 15, 4096, -1202, "[PLOV_SFP_8472-ERR]Invalid VlanID [4096]\n"},
    };
    for (const Case &c : cases) {
        reset();
        EXPECT_EQ(PlovTransGetVlanStatistic(c.fpga, c.port, c.vlan, &drops), c.status);
        EXPECT_EQ(PlovTransClsVlanStatistic(c.fpga, c.port, c.vlan), c.status);
        EXPECT_EQ(plov_lines(), (std::vector<std::string>{c.line, c.line}));
        EXPECT_TRUE(sim_journal().empty());
    }
    EXPECT_EQ(PlovTransGetVlanStatistic(0, 0, 0, nullptr), -1201);
    reset();
    sim_fail_request(kTrans, kReadIndir, EIO);
    drops = 9;
    EXPECT_NE(PlovTransGetVlanStatistic(0, 0, 0, &drops), 0);
    EXPECT_EQ(drops, 9u);
}

TEST_F(PlovPortStatTest, MacCountersFoldIntoTheRecordAndEveryCounterIsVisited)
{
    // LOC 1 ID 2 is port 10.
    for (uint64_t i = 1; i <= 8; i++)
        fpga_put_indirect(kTrans, kRxmBase, {i << 4 | 10}, {i * 100});
    fpga_set_reg(kTrans, 0x1E22, 77);   // transmit total of port 10
    fpga_set_reg(kTrans, 0x1E2A, 5);    // transmit errors
    PortStatistic s;
    std::memset(&s, 0xAB, sizeof s);
    const PortPro pro{1, 0, 2};
    ASSERT_EQ(PLOV_TransGetPortMacStatistics(0, &pro, &s), 0);
    EXPECT_EQ(s.RxTotal, 100u);
    EXPECT_EQ(s.RxError, 200u + 600u);
    EXPECT_EQ(s.RxMultiCast, 400u);
    EXPECT_EQ(s.RxBroadCast, 500u);
    EXPECT_EQ(s.RxDrop, 700u + 800u);
    EXPECT_EQ(s.TxTotal, 77u);
    EXPECT_EQ(s.TxError, 5u);
    EXPECT_EQ(s.RxBytes + s.TxBytes + s.TxDrop + s.TxMultiCast + s.TxBroadCast + s.Conflict, 0u);

    // A failing read leaves its field and the loop goes on; its status is returned.
    reset();
    fpga_fail_key(kTrans, kReadIndir, kRxmBase, {0x20 | 10}, EIO);
    EXPECT_NE(PLOV_TransGetPortMacStatistics(0, &pro, &s), 0);
    EXPECT_EQ(s.RxError, 600u);
    EXPECT_EQ(s.RxDrop, 1500u);
    EXPECT_EQ(s.TxTotal, 77u);

    // The clear writes counters 0 to 8 even after a failure and returns it.
    reset();
    fpga_fail_key(kTrans, kWriteIndir, kRxmBase, {0x10 | 10}, EIO);
    EXPECT_NE(PLOV_TransClsPortMacStatistics(0, &pro), 0);
    EXPECT_EQ(sim_journal().size(), 9u);
    EXPECT_EQ(sim_journal().back().extra.at(0), 0x80u | 10);
    reset();
    EXPECT_EQ(PLOV_TransClsPortMacStatistics(0, &pro), 0);
    EXPECT_FALSE(fpga_has_indirect(kTrans, kRxmBase, {0x10 | 10}) && fpga_get_indirect(kTrans, kRxmBase, {0x10 | 10}).at(0) != 0);
}

TEST_F(PlovPortStatTest, MacCounterChecks)
{
    PortStatistic s{};
    struct Case {
        FpgaId fpga;
        PortPro pro;
        PlovStatus get;
        PlovStatus cls;
    };
    const Case cases[] = {
        {1, {0, 0, 0}, -1330, -1330},
        {0, {0, 3, 0}, -1331, 0},       // type 3 maps to port 2 for the clear
        {0, {2, 0, 0}, -1335, -1335},
        {0, {0, 0, 16}, -1331, -1331},
        {0, {0, 5, 7}, -1331, -1331},   // TYPE 5 -> ID + 8 = 15 for the clear... query refuses type
    };
    for (const Case &c : cases) {
        reset();
        EXPECT_EQ(PLOV_TransGetPortMacStatistics(c.fpga, &c.pro, &s), c.get) << c.pro.LOC << c.pro.TYPE << c.pro.ID;
        if (c.pro.TYPE != 5) {
            EXPECT_EQ(PLOV_TransClsPortMacStatistics(c.fpga, &c.pro), c.cls) << c.pro.LOC << c.pro.TYPE << c.pro.ID;
        }
    }
    const PortPro type5{0, 5, 7};
    reset();
    EXPECT_EQ(PLOV_TransClsPortMacStatistics(0, &type5), 0);
    EXPECT_EQ(sim_journal().back().extra.at(0), 0x80u | 15);
    EXPECT_EQ(PLOV_TransGetPortMacStatistics(0, nullptr, &s), -1201);
    EXPECT_EQ(PLOV_TransClsPortMacStatistics(0, nullptr), -1201);
}

TEST_F(PlovPortStatTest, PortCountersPickTheirReader)
{
    struct Case {
        FpgaId fpga;
        uint8_t port;
        PlovStatus status;
        const char *node;
        uint64_t base;   // register or block the first request reads
    };
    const Case cases[] = {
        {1, 2, 0, kFpgaSbufNode, 0x5F87},   // back port: direct registers
        {1, 6, 0, kFpgaSbufNode, 0x4D80},   // front reader on FPGA 1
        {0, 11, 0, kFpgaTransNode, kPifBase},
        {0, 12, -1331, nullptr, 0},
        {1, 8, -1331, nullptr, 0},
        {2, 0, -1330, nullptr, 0},
    };
    for (const Case &c : cases) {
        reset();
        PortStatistic s;
        std::memset(&s, 0xAB, sizeof s);
        EXPECT_EQ(PlovTransGetPortStatistic(c.fpga, c.port, &s), c.status) << int(c.fpga) << int(c.port);
        if (c.node == nullptr) {
            EXPECT_TRUE(sim_journal().empty());
            continue;
        }
        ASSERT_FALSE(sim_journal().empty());
        EXPECT_EQ(sim_journal()[0].node, c.node);
        EXPECT_EQ(first_address(), c.base) << int(c.fpga) << int(c.port);
        EXPECT_EQ(s.Conflict, 0u);   // zeroed first
    }
    PortStatistic s{};
    EXPECT_EQ(PlovTransGetPortStatistic(0, 0, nullptr), -1201);
    // Property forms: TYPE 5 ID 1 is sbuf port 5 and trans port 9.
    const PortPro pro{0, 5, 1};
    reset();
    ASSERT_EQ(PLOV_TransGetPortStatistics(1, &pro, &s), 0);
    EXPECT_EQ(sim_journal()[0].node, kSbuf);
    EXPECT_EQ(sim_journal()[0].extra.at(0), 0x1u);   // (5 - 4) & 3
    reset();
    ASSERT_EQ(PLOV_TransGetPortStatistics(0, &pro, &s), 0);
    EXPECT_EQ(sim_journal()[0].extra.at(0), 9u);
    const PortPro bad{3, 0, 0};
    EXPECT_EQ(PLOV_TransGetPortStatistics(0, &bad, &s), -1335);
    EXPECT_EQ(PLOV_TransGetPortStatistics(0, nullptr, &s), -1201);
    // A failing counter is logged and returned.
    reset();
    sim_fail_request(kSbuf, kReadDir, EIO);
    EXPECT_NE(PlovTransGetPortStatistic(1, 0, &s), 0);
    EXPECT_EQ(plov_lines().back().rfind("[PLOV_SFP_8472-ERR]Call DornTransGetBackPortStatistic error = ", 0), 0u);
}

TEST_F(PlovPortStatTest, ClearCountersOfTheTransFpgaOnly)
{
    EXPECT_EQ(PlovTransClsPortStatistic(1, 0), -1330);
    reset();
    ASSERT_EQ(PlovTransClsPortStatistic(0, 11), 0);
    ASSERT_FALSE(sim_journal().empty());
    EXPECT_EQ(first_address(), kPifBase);
    reset();
    EXPECT_EQ(PlovTransClsPortStatistic(0, 12), -1331);
    EXPECT_TRUE(sim_journal().empty());
    const PortPro pro{1, 0, 3};
    ASSERT_EQ(PLOV_TransClsPortStatistics(0, &pro), 0);
    EXPECT_EQ(sim_journal()[0].extra.at(0) & 15u, 11u);
    EXPECT_EQ(PLOV_TransClsPortStatistics(0, nullptr), -1201);
    reset();
    sim_fail_request(kTrans, kWriteIndir, EIO);
    EXPECT_NE(PlovTransClsPortStatistic(0, 0), 0);
}

TEST_F(PlovPortStatKespTest, KespBranches)
{
    uint64_t drops = 5;
    EXPECT_EQ(PlovTransGetVlanStatistic(0, 0, 1, &drops), 0);
    EXPECT_EQ(drops, 5u);
    EXPECT_EQ(plov_lines().back(), "[PLOV_SFP_8472-ERR]unsupport operate[geBoardLogicType = 2 ]");
    reset();
    EXPECT_EQ(PlovTransClsVlanStatistic(0, 0, 1), 0);
    EXPECT_EQ(plov_lines().back(), "[PLOV_SFP_8472-ERR]unsupported operate[geBoardLogicType = 2 ]");
    PortStatistic s{};
    const PortPro pro{0, 0, 0};
    EXPECT_EQ(PLOV_TransGetPortMacStatistics(0, &pro, &s), 0);
    EXPECT_EQ(PLOV_TransClsPortMacStatistics(0, &pro), 0);

    struct Case {
        FpgaId fpga;
        uint8_t port;
        PlovStatus get;
        PlovStatus cls;
    };
    const Case cases[] = {
        {0, 0, 0, 0}, {0, 1, 0, 0}, {0, 2, -1202, -1202}, {0, 4, 0, -1215}, {1, 0, -1335, -1330},
    };
    for (const Case &c : cases) {
        reset();
        EXPECT_EQ(PlovTransGetPortStatistic(c.fpga, c.port, &s), c.get) << int(c.port);
        EXPECT_EQ(PlovTransClsPortStatistic(c.fpga, c.port), c.cls) << int(c.port);
    }
    const PortPro media{0, 4, 0}, net{0, 2, 1}, other{0, 0, 1};
    EXPECT_EQ(PLOV_TransClsPortStatistics(0, &media), -1215);
    EXPECT_EQ(PLOV_TransClsPortStatistics(1, &net), -1335);
    EXPECT_EQ(PLOV_TransClsPortStatistics(0, &net), 0);
    EXPECT_EQ(PLOV_TransGetPortStatistics(0, &net, &s), 0);
    EXPECT_EQ(PLOV_TransGetPortStatistics(0, &media, &s), 0);
    reset();
    EXPECT_EQ(PLOV_TransGetPortStatistics(0, &other, &s), -1335);
    EXPECT_EQ(plov_lines().back(), "[PLOV_SFP_8472-ERR]Invalid FpgaID 0 or pstPortPro LOC 0 TYPE 0 ID 1\n");
    reset();
    sim_fail_request(kTrans, kReadIndir, EIO);
    sim_fail_request(kTrans, kReadDir, EIO);
    EXPECT_NE(PLOV_TransGetPortStatistics(0, &net, &s), 0);
    EXPECT_EQ(plov_lines().back(), "[PLOV_SFP_8472-ERR]call KespGetPortStatistics err\n");
}

} // namespace
