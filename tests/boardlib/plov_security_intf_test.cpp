// Security, CAR and anti-CPU operations through the simulated FPGA driver:
// the SCEM register tables, the CAR entry words, the anti-CPU requests of
// both boards and the DORN-only rule on a KESP board.
#include <cerrno>
#include <functional>

#include "boardlib/dorn_logic.h"
#include "boardlib/plov_security_intf.h"
#include "sim/fpga_model.h"
#include "support/fpga_test_util.h"
#include "support/plov_test.h"
#include "support/sim_fixture.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;
constexpr unsigned long kWriteDir = 0xC004EF00, kReadDir = 0xC004EF01;
constexpr unsigned long kReadIndir = 0xC004EF03;

class PlovSecurityTest : public PlovTest {
protected:
    void reset()
    {
        sim_clear_faults();
        sim_clear_journal();
        sim_clear_syslog();
    }
};

class PlovSecurityKespTest : public PlovSecurityTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

// (request, register) of each direct request in the journal.
std::vector<std::pair<unsigned long, uint64_t>> dir_requests()
{
    std::vector<std::pair<unsigned long, uint64_t>> out;
    for (size_t i = 0; i < sim_journal().size(); i++)
        out.emplace_back(sim_journal()[i].request, journal_record<DirRegReq>(i).addr);
    return out;
}

TEST_F(PlovSecurityTest, ScemStatisticsInRegisterOrder)
{
    for (uint64_t r = 0x5180; r <= 0x5199; r++)
        fpga_set_reg(kTrans, r, 0x1'0000'0000 | r);
    uint32_t v4[14] = {}, v6[10] = {};
    ASSERT_EQ(PlovTransGetScemStats(0, v4), 0);
    ASSERT_EQ(PlovTransGetScemStatsIpv6(0, v6), 0);
    const uint32_t e4[14] = {0x5180, 0x5181, 0x5182, 0x5183, 0x5184, 0x5185, 0x5186,
                             0x5187, 0x5188, 0x5189, 0x518A, 0x518B, 0x518D, 0x518E};
    const uint32_t e6[10] = {0x5198, 0x5192, 0x5191, 0x5193, 0x5194, 0x5195, 0x5196, 0x5197, 0x5190, 0x5199};
    EXPECT_EQ(bytes_of(v4), bytes_of(e4));
    EXPECT_EQ(bytes_of(v6), bytes_of(e6));
    // A failure ends the sequence with the counters read so far stored.
    uint32_t part[10] = {};
    fpga_fail_address(kTrans, kReadDir, 0x5193, EIO);
    EXPECT_EQ(PlovTransGetScemStatsIpv6(0, part), -1203);
    EXPECT_EQ(part[2], 0x5191u);
    EXPECT_EQ(part[3], 0u);
    EXPECT_EQ(PlovTransGetScemStats(1, v4), -1330);
    EXPECT_EQ(PlovTransGetScemStats(0, nullptr), -1201);
}

TEST_F(PlovSecurityTest, ScemClearRegisters)
{
    struct Case {
        bool ipv6;
        uint32_t type;
        PlovStatus status;
        uint64_t reg;
    } cases[] = {
        {false, 2, 0, 0x5019},  {false, 4, 0, 0x5010},  {false, 12, 0, 0x5018}, {false, 13, 0, 0x501A},
        {false, 3, -1202, 0},   {false, 14, -1202, 0},  {false, 0, -1202, 0},   {true, 0, 0, 0x5038},
        {true, 8, 0, 0x5030},   {true, 9, 0, 0x5039},   {true, 10, -1202, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.ipv6) + ":" + std::to_string(c.type));
        reset();
        EXPECT_EQ(c.ipv6 ? PlovTransClsScemStatsIpv6(0, c.type) : PlovTransClsScemStats(0, c.type), c.status);
        if (c.status != 0) {
            EXPECT_TRUE(sim_journal().empty());
            continue;
        }
        EXPECT_EQ(dir_requests(), (std::vector<std::pair<unsigned long, uint64_t>>{{kWriteDir, c.reg}}));
        EXPECT_EQ(fpga_get_reg(kTrans, c.reg), 3u);
    }
}

TEST_F(PlovSecurityTest, ScemParameterTable)
{
    struct Case {
        ScemPara in;
        uint64_t regValue;     // preset of the register
        PlovStatus status;
        uint64_t reg;          // 0: no request
        ScemPara got;          // after the get
        uint64_t written;      // after a set of `in`
    } cases[] = {
        {{0, 1, 70}, 0x40, 0, 0x5002, {0, 1, 70}, 0x40},
        {{0, 0, 70}, 0x40, 0, 0x5002, {0, 1, 70}, 0x0},
        {{0, 1, 256}, 0, -1335, 0, {0, 1, 256}, 0},
        {{256, 3, 0}, 0x3, 0, 0x5007, {256, 1, 0}, 1},
        {{259, 0, 0x1FFFF}, 0xABCDE, 0, 0x500A, {259, 0, 0xCDE}, 0xFFF},
        {{261, 3, 0x12345}, 0x1ABCD, 0, 0x500C, {261, 1, 0xABCD}, 0x12345},
        {{300, 1, 255}, 0, 0, 0x5020, {300, 0, 0}, 1ULL << 63},
        {{300, 2, 3}, 0, -1202, 0x5023, {300, 0, 0}, 0},
        {{301, 0, 0x1FFF}, 0x2ABC, 0, 0x5026, {301, 1, 0xABC}, 0xFFF},
        {{302, 0, 0x1FF}, 0x1AB, 0, 0x5025, {302, 1, 0xAB}, 0xFF},
        {{303, 1, 9}, 0x1, 0, 0x5027, {303, 1, 0}, 1},
        {{304, 1, 0x5}, 0x10005, 0, 0x5028, {304, 1, 5}, 0x10005},
        {{306, 0, 9}, 0x0, 0, 0x5006, {306, 0, 0}, 0},
        {{1, 1, 1}, 0, 0, 0, {1, 1, 1}, 0},
        {{264, 1, 1}, 0, 0, 0, {264, 1, 1}, 0},
        {{307, 1, 1}, 0, 0, 0, {307, 1, 1}, 0},
        {{308, 1, 1}, 0, -1202, 0, {308, 1, 1}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.in.ScemType) + ":" + std::to_string(c.in.Para));
        reset();
        if (c.reg != 0)
            fpga_set_reg(kTrans, c.reg, c.regValue);
        ScemPara rec = c.in;
        PlovStatus getStatus = PlovTransGetScemPara(0, &rec);
        EXPECT_EQ(getStatus, c.status == -1202 && c.in.ScemType == 300 ? 0 : c.status);
        if (getStatus == 0) {
            EXPECT_EQ(bytes_of(rec), bytes_of(c.got));
        }
        EXPECT_EQ(sim_journal().size(), getStatus == 0 && c.reg != 0 ? 1u : 0u);
        reset();
        EXPECT_EQ(PlovTransSetScemPara(0, &c.in), c.status);
        if (c.status == 0 && c.reg != 0) {
            EXPECT_EQ(fpga_get_reg(kTrans, c.reg), c.written);
        } else if (c.reg == 0) {
            EXPECT_TRUE(sim_journal().empty());   // no register, no request
        }
    }
    ScemPara rec{};
    EXPECT_EQ(PlovTransGetScemPara(1, &rec), -1330);
    EXPECT_EQ(PlovTransGetScemPara(0, nullptr), -1201);
}

TEST_F(PlovSecurityTest, CarConfiguration)
{
    ASSERT_EQ(PlovTransSetSplitCarCfg(0, 0xFFFFFF, 1, 1), 0);
    ASSERT_EQ(sim_journal().size(), 1u);
    IndirRegReq w = journal_record<IndirRegReq>(0);
    IndirRegReq ew{0, 0, 0x5800, 1, 0, 3, 0, 2, 0, {}, w.data};
    EXPECT_EQ(bytes_of(w), bytes_of(ew));
    EXPECT_EQ(sim_journal()[0].extra, (Words{0x100000, 0x2000001FFFFFF}));

    fpga_put_indirect(kTrans, 0x5800, {0x80000}, {0, 0x2'0012'3456'789A});
    uint32_t cbs = 0, cir = 0;
    uint8_t vld = 0;
    sim_clear_journal();
    ASSERT_EQ(PlovTransGetTotalCarCfg(0, &cbs, &cir, &vld), 0);
    IndirRegReq r = journal_record<IndirRegReq>(0);
    IndirRegReq er{0, 0, 0x5800, 0, 0, 3, 0, 1, 2, {}, r.data};
    EXPECT_EQ(bytes_of(r), bytes_of(er));
    EXPECT_EQ(cbs, 0x56789Au);
    EXPECT_EQ(cir, 0x1234u);
    EXPECT_EQ(vld, 1);

    reset();
    EXPECT_EQ(PlovTransSetTotalCarCfg(0, 0x1000000, 0, 0), -1335);
    EXPECT_EQ(PlovTransSetTotalCarCfg(0, 0, 0x1000000, 0), -1335);
    EXPECT_EQ(PlovTransSetTotalCarCfg(0, 0, 0, 2), -1335);
    EXPECT_EQ(PlovTransSetTotalCarCfg(1, 0, 0, 0), -1330);
    EXPECT_EQ(PlovTransGetSplitCarCfg(0, &cbs, nullptr, &vld), -1201);
    EXPECT_TRUE(sim_journal().empty());
    fpga_fail_address(kTrans, kReadIndir, 0x5800, EIO);
    cbs = 7;
    EXPECT_EQ(PlovTransGetSplitCarCfg(0, &cbs, &cir, &vld), -1203);
    EXPECT_EQ(cbs, 7u);

    fpga_set_reg(kTrans, 0x5982, 0x1'0000'0005);
    fpga_set_reg(kTrans, 0x5983, 6);
    uint64_t drop = 0;
    ASSERT_EQ(PlovTransGetCarDropStat(0, 0, &drop), 0);
    EXPECT_EQ(drop, 5u);
    ASSERT_EQ(PlovTransGetCarDropStat(0, 9, &drop), 0);
    EXPECT_EQ(drop, 6u);
    ASSERT_EQ(PlovTransSetCarFreshTime(0, 0xFFF), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x5807), 0x7Fu);
    uint32_t t = 0;
    ASSERT_EQ(PlovTransGetCarFreshTime(0, &t), 0);
    EXPECT_EQ(t, 0x7Fu);
}

TEST_F(PlovSecurityTest, DornAntiCpu)
{
    ASSERT_EQ(PlovTransSetAntiCpuLevel(1, 0x25, 3, 0xFFFF), 0);
    IndirRegReq w = journal_record<IndirRegReq>(0);
    EXPECT_EQ(sim_journal()[0].node, kSbuf);
    EXPECT_EQ(w.baseaddr, 0x3800u);
    EXPECT_EQ(w.cmd, 17u);
    EXPECT_EQ(sim_journal()[0].extra, (Words{3 << 5 | 5, 0x3FF, 0}));
    uint16_t level = 0;
    ASSERT_EQ(PlovTransGetAntiCpuLevel(1, 0x25, 3, &level), 0);
    EXPECT_EQ(level, 0x3FF);
    EXPECT_EQ(journal_record<IndirRegReq>(1).cmd, 16u);
    EXPECT_EQ(PlovTransGetAntiCpuLevel(0, 0, 4, &level), -1335);
    EXPECT_EQ(PlovTransSetAntiCpuLevel(2, 0, 0, 1), -1330);
    EXPECT_EQ(PlovTransGetAntiCpuLevel(0, 0, 0, nullptr), -1201);

    ASSERT_EQ(PlovTransSetAntiCpuIntervalTime(1, 0xF), 0);
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x3807), 7u);
    uint8_t time = 0;
    ASSERT_EQ(PlovTransGetAntiCpuIntervalTime(1, &time), 0);
    EXPECT_EQ(time, 7);
    sim_request_result(kTrans, kWriteDir, 5);
    EXPECT_EQ(PlovTransSetAntiCpuIntervalTime(0, 1), 0);   // a positive result counts as success
    fpga_fail_address(kTrans, kReadDir, 0x3807, EIO);
    EXPECT_EQ(PlovTransGetAntiCpuIntervalTime(0, &time), -1203);
    EXPECT_EQ(PlovTransGetAntiCpuIntervalTime(0, nullptr), -1201);
}

// SCEM and CAR on a KESP board: 0, outputs untouched, no request, one line.
TEST_F(PlovSecurityKespTest, DornOnlyOperationsAnswerZero)
{
    uint32_t v4[14] = {7}, v6[10] = {7}, u32 = 7, cbs = 7, cir = 7;
    uint64_t u64 = 7;
    uint8_t vld = 7;
    ScemPara para{0, 7, 7};
    struct Case {
        std::function<PlovStatus()> call;
        int level;
    } cases[] = {
        {[&] { return PlovTransGetScemStats(0, v4); }, 4},
        {[&] { return PlovTransGetScemStatsIpv6(0, v6); }, 1},
        {[&] { return PlovTransClsScemStats(0, 2); }, 4},
        {[&] { return PlovTransClsScemStatsIpv6(0, 2); }, 4},
        {[&] { return PlovTransGetScemPara(0, &para); }, 4},
        {[&] { return PlovTransSetScemPara(0, &para); }, 4},
        {[&] { return PlovTransGetCarDropStat(0, 0, &u64); }, 4},
        {[&] { return PlovTransGetCarFreshTime(0, &u32); }, 4},
        {[&] { return PlovTransSetCarFreshTime(0, 1); }, 4},
        {[&] { return PlovTransGetSplitCarCfg(0, &cbs, &cir, &vld); }, 4},
        {[&] { return PlovTransGetTotalCarCfg(0, &cbs, &cir, &vld); }, 4},
        {[&] { return PlovTransSetSplitCarCfg(0, 1, 1, 1); }, 4},
        {[&] { return PlovTransSetTotalCarCfg(0, 1, 1, 1); }, 4},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        reset();
        EXPECT_EQ(cases[i].call(), 0);
        EXPECT_TRUE(sim_journal().empty());
        ASSERT_EQ(sim_syslog().size(), 1u);
        EXPECT_EQ(sim_syslog()[0].priority, cases[i].level);
        const std::string tag = cases[i].level == 1 ? "[PLOV_SFP_8472-INFO]" : "[PLOV_SFP_8472-ERR]";
        EXPECT_NE(sim_syslog()[0].text.find("boardlib/plov_security_intf.cpp:"), std::string::npos);
        EXPECT_NE(sim_syslog()[0].text.find(tag + "unsupport operate[geBoardLogicType = 2 ]"), std::string::npos);
    }
    EXPECT_EQ(v4[0] + v6[0] + u32 + cbs + cir + u64 + vld + para.Flag, 8u * 7);
}

TEST_F(PlovSecurityKespTest, AntiCpuGoesToTheBackend)
{
    ASSERT_EQ(PlovTransSetAntiCpuLevel(0, 7, 3, 0x3FF), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x6C00, {(3 * 32 + 7) & 127}), Words{0x3FF});
    uint16_t level = 0;
    ASSERT_EQ(PlovTransGetAntiCpuLevel(0, 7, 3, &level), 0);
    EXPECT_EQ(level, 0x3FF);
    ASSERT_EQ(PlovTransSetAntiCpuIntervalTime(0, 5), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x6C07), 5u);
    uint8_t time = 0;
    ASSERT_EQ(PlovTransGetAntiCpuIntervalTime(0, &time), 0);
    EXPECT_EQ(time, 5);
    reset();
    EXPECT_EQ(PlovTransGetAntiCpuIntervalTime(1, &time), -1335);
    EXPECT_EQ(PlovTransSetAntiCpuLevel(1, 0, 0, 1), -1335);
    EXPECT_EQ(PlovTransSetAntiCpuLevel(0, 8, 0, 1), -1202);
    EXPECT_TRUE(sim_journal().empty());
    fpga_fail_address(kTrans, kReadDir, 0x6C07, EIO);
    EXPECT_EQ(PlovTransGetAntiCpuIntervalTime(0, &time), -1203);
    bool found = false;
    for (const SimLogLine &l : sim_syslog())
        found |= l.text.find("call KespGetAntiCpuIntervalTime err\n") != std::string::npos;
    EXPECT_TRUE(found);
}

} // namespace
