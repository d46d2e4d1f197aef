// KESP self tests through the simulated FPGA: engines started, waits in
// virtual time, results and failures.
#include <cerrno>

#include "boardlib/kesp_selftest.h"
#include "sim/fpga_model.h"
#include "support/console_run.h"
#include "support/plov_test.h"

namespace {

const std::string kTrans = kFpgaTransNode;
constexpr uint64_t kSecond = 1000000000ULL;
constexpr uint64_t kQdrCtrlBase = 0x810;

class KespSelfTest : public PlovKespTest {
protected:
    uint64_t start_ = 0;
    void SetUp() override
    {
        PlovKespTest::SetUp();
        start_ = sim_clock_ns();
    }
    uint64_t seconds() const { return (sim_clock_ns() - start_) / kSecond; }
    void restart() { start_ = sim_clock_ns(); }
};

// Whether a line with this text was logged; the self tests' lines name the
// KESP interface as their source, as its other lines do.
bool logged(const std::string &text)
{
    for (const SimLogLine &l : sim_syslog())
        if (l.text.find(text) != std::string::npos) {
            EXPECT_EQ(l.text.rfind("[PLOV_LOG] boardlib/kesp_intf.cpp:", 0), 0u) << l.text;
            return true;
        }
    return false;
}

bool wrote(uint64_t addr)
{
    for (const DirAccess &a : dir_requests())
        if (std::get<1>(a) == PLOV_IOC_WRITE_DIR_REG && std::get<2>(a) == addr)
            return true;
    return false;
}

TEST_F(KespSelfTest, DdrTestRunsBothMemoriesAndTheMarchTest)
{
    ConsoleRun r = console_run([] { return KespDdrTest(0, 2); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "DDR3 march ic test need 40s, please waite\nDDR3 march ic test need 40s, please waite\n");
    EXPECT_EQ(seconds(), 82u);
    EXPECT_TRUE(wrote(0x1000) && wrote(0x1001) && wrote(0xC00) && wrote(0xC01));

    sim_clear_journal();
    EXPECT_EQ(KespDdrTest(0, 0), 0);
    EXPECT_TRUE(sim_journal().empty());
    EXPECT_EQ(KespDdrTest(1, 1), -1330);
}

TEST_F(KespSelfTest, DdrFailures)
{
    // DDR3 1 not initialised: refused after DDR3 0 was started.
    fpga_set_reg(kTrans, 0x1100, 0);
    sim_clear_journal();
    EXPECT_EQ(KespDdrTest(0, 1), PLOV_ERR_NOT_DONE);
    EXPECT_TRUE(wrote(0xC00));
    EXPECT_FALSE(wrote(0x1000));
    EXPECT_TRUE(logged("ddr3[1] init is not done"));
    EXPECT_TRUE(logged("KespSetDdrTestStart error"));
    fpga_set_reg(kTrans, 0x1100, 1);

    fpga_set_reg(kTrans, 0xC80, 1);
    EXPECT_EQ(KespDdrTest(0, 1), PLOV_ERR_KESP_TEST_FAILED);
    EXPECT_TRUE(logged("ddr3[0] test fail addr[0xc80] data[0x1]"));
    EXPECT_TRUE(logged("DDR3 test fail"));
    fpga_set_reg(kTrans, 0xC80, 0);

    fpga_set_reg(kTrans, 0x1083, 0x80);
    EXPECT_EQ(KespDdrTest(0, 1), PLOV_ERR_KESP_TEST_FAILED);
    EXPECT_TRUE(logged("ddr3[1] march ic test fail addr[0x1083] data[0x80]"));
    fpga_set_reg(kTrans, 0x1083, 0);

    fpga_set_reg(kTrans, 0xD02, 0);
    EXPECT_EQ(KespDdrTest(0, 1), PLOV_ERR_NOT_DONE);
    EXPECT_TRUE(logged("ddr3[0] march ic test is not done"));

    sim_fail_request(kTrans, PLOV_IOC_READ_DIR_REG, EIO);
    EXPECT_LT(KespDdrTest(0, 1), 0);
    EXPECT_TRUE(logged("read ddr3 reg error"));
}

// Both memories' status and result registers are judged, DDR3 0 first; only
// bit 0 of a result marks a failure.
TEST_F(KespSelfTest, DdrResultJudgesBothMemories)
{
    struct Case {
        uint64_t status0, result0, status1, result1;
        PlovStatus ret;
        uint8_t fail;
        const char *line;
    } cases[] = {
        {0x3, 0x34, 0x5, 0x52, PLOV_OK, 0, nullptr},
        {0x3, 0x34, 0x5, 0x53, PLOV_OK, 1, "ddr3[1] test fail addr[0x1080] data[0x53]"},
        {0x3, 0x35, 0x5, 0x52, PLOV_OK, 1, "ddr3[0] test fail addr[0xc80] data[0x35]"},
        {0x3, 0x34, 0x4, 0x52, PLOV_ERR_NOT_DONE, 9, "ddr3[1] test is not done data[0x4]"},
        {0x2, 0x34, 0x5, 0x53, PLOV_ERR_NOT_DONE, 9, "ddr3[0] test is not done data[0x2]"},
    };
    for (const Case &c : cases) {
        fpga_set_reg(kTrans, 0xD01, c.status0);
        fpga_set_reg(kTrans, 0xC80, c.result0);
        fpga_set_reg(kTrans, 0x1101, c.status1);
        fpga_set_reg(kTrans, 0x1080, c.result1);
        sim_clear_syslog();
        uint8_t fail = 9;
        EXPECT_EQ(KespGetDdrTestResult(0, &fail), c.ret) << c.result0 << " " << c.result1;
        EXPECT_EQ(fail, c.fail) << c.result0 << " " << c.result1;
        if (c.line) {
            EXPECT_TRUE(logged(c.line)) << c.line;
        } else {
            EXPECT_TRUE(sim_syslog().empty());
        }
    }
}

TEST_F(KespSelfTest, QdrReadinessAndTest)
{
    sim_clear_journal();
    ConsoleRun r = console_run([] { return KespQdrTest(0, 1); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "QDR test need 60s, please waite\n");
    EXPECT_EQ(seconds(), 3u + 1u + 60u);
    // Ids 41 (16 words) and 43 (18 words) cleared, then 57 started twice and marched.
    EXPECT_EQ(requests_seen(PLOV_IOC_WRITE_INDIR_REG), 16u + 18u + 2u + 2u);
    EXPECT_EQ(fpga_get_indirect(kTrans, kQdrCtrlBase, {0}), (std::vector<uint64_t>{0x81C}));

    // A water level that stays: three 3-second waits.
    restart();
    fpga_set_reg(kTrans, 0x6D01, 7);
    EXPECT_EQ(KespQdrTest(0, 1), PLOV_ERR_TIMEOUT);
    EXPECT_EQ(seconds(), 9u);
    EXPECT_TRUE(logged("loop 3 times, but QDR water level error [0x7]"));
    EXPECT_TRUE(logged("KespReadyForQdrTest error"));
    fpga_set_reg(kTrans, 0x6D01, 0);

    EXPECT_EQ(KespQdrTest(0, 0), 0);
    EXPECT_EQ(KespQdrTest(1, 1), -1330);
}

TEST_F(KespSelfTest, QdrFailures)
{
    struct Case {
        uint64_t word0;
        uint64_t word50, word34, initReg;
        PlovStatus status;
        const char *line;
    };
    const Case cases[] = {
        {0x014, 0, 0, 1, PLOV_ERR_QDR_INIT, "QDR didn't init"},
        {0x810, 0, 0, 1, PLOV_ERR_NOT_DONE, "QDR test is running"},
        {0x814, 8, 0, 1, PLOV_ERR_KESP_TEST_FAILED, "QDR Test Fail! read_data:8"},
        {0x814, 0, 0, 0, PLOV_ERR_KESP_TEST_FAILED, "QDR init fail [0]"},
        {0x814, 0, 0x80, 1, PLOV_ERR_KESP_TEST_FAILED, "QDR march ic test fail"},
        {0x804, 0, 0, 1, PLOV_ERR_NOT_DONE, "KespGetQdrMarchTestResult error -1207"},
    };
    for (const Case &c : cases) {
        sim_clear_syslog();
        fpga_put_indirect(kTrans, kQdrCtrlBase, {0}, {c.word0});
        fpga_put_indirect(kTrans, kQdrCtrlBase, {0x50}, {c.word50});
        fpga_put_indirect(kTrans, kQdrCtrlBase, {0x34}, {c.word34});
        fpga_set_reg(kTrans, 0x900, c.initReg);
        EXPECT_EQ(console_run([] { return KespQdrTest(0, 1); }).status, c.status) << c.line;
        EXPECT_TRUE(logged(c.line)) << c.line;
    }
    fpga_put_indirect(kTrans, kQdrCtrlBase, {0}, {0x814});
    fpga_fail_key(kTrans, PLOV_IOC_READ_INDIR_REG, kQdrCtrlBase, {0}, EIO);
    EXPECT_EQ(KespQdrTest(0, 1), PLOV_ERR_REG_ACCESS);
    sim_clear_faults();
    fpga_fail_key(kTrans, PLOV_IOC_WRITE_INDIR_REG, 0x6804, {3}, EIO);
    EXPECT_LT(KespQdrTest(0, 1), 0);
    EXPECT_TRUE(logged("call KespWriteIndregByID err"));
}

TEST_F(KespSelfTest, RegisterTest)
{
    uint8_t result = 0;
    ASSERT_EQ(KespFpgaTestReg(0, &result), 0);
    EXPECT_EQ(result, 1);
    fpga_set_reg_behaviour(kTrans, 0x3, FpgaRegBehaviour::Plain);
    fpga_set_reg(kTrans, 0x3, 0x12);
    ASSERT_EQ(KespFpgaTestReg(0, &result), 0);
    EXPECT_EQ(result, 8);
    EXPECT_EQ(KespFpgaTestReg(1, &result), -1330);
    EXPECT_EQ(KespFpgaTestReg(0, nullptr), -1201);
}

TEST_F(KespSelfTest, PortTestsByLoopTypeAndPort)
{
    struct Case {
        uint32_t type, port;
        std::vector<uint64_t> starts;   // loop-test blocks started, in order
        uint64_t secs;
        std::string out;
    };
    const Case cases[] = {
        {0, 2, {0x170}, 6, "PortID[2] data [0]\n"},
        {1, 0, {0x140}, 5, ""},
        {1, 3, {0x110}, 5, ""},   // GE 1
        {1, 255, {0x120, 0x110, 0x140, 0x130}, 20, ""},
        {0, 255, {0x150, 0x160, 0x170, 0x180}, 24,
         "PortID[0] data [0]\nPortID[1] data [0]\nPortID[2] data [0]\nPortID[3] data [0]\n"},
    };
    for (const Case &c : cases) {
        sim_clear_journal();
        restart();
        ConsoleRun r = console_run([&] { return KespPortTest(0, c.type, c.port, 1); });
        EXPECT_EQ(r.status, 0) << c.type << ":" << c.port;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(seconds(), c.secs);
        std::vector<uint64_t> starts;
        for (const DirAccess &a : dir_requests()) {
            const uint64_t addr = std::get<2>(a);
            if (std::get<1>(a) == PLOV_IOC_WRITE_DIR_REG && addr >= 0x110 && addr <= 0x180 && addr % 0x10 == 0 &&
                (starts.empty() || starts.back() != addr))
                starts.push_back(addr);
        }
        EXPECT_EQ(starts, c.starts) << c.type << ":" << c.port;
    }
    EXPECT_EQ(fpga_get_reg(kTrans, 0x2C00), 7u);   // DXAUI 3 MAC enable
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x3000, {8}), (std::vector<uint64_t>{22}));   // GE 1
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x3003, {12}), (std::vector<uint64_t>{14}));

    EXPECT_EQ(KespPortTest(0, 1, 4, 1), PLOV_ERR_PARAM);
    EXPECT_EQ(KespPortTest(0, 2, 0, 1), PLOV_ERR_PARAM);
    EXPECT_EQ(KespPortTest(1, 0, 0, 1), PLOV_ERR_PARAM);
    sim_clear_journal();
    EXPECT_EQ(KespPortTest(0, 0, 0, 0), 0);
    EXPECT_TRUE(sim_journal().empty());
}

TEST_F(KespSelfTest, AllPortsGoOnAfterAFailure)
{
    fpga_set_reg(kTrans, 0x121, 1);   // GE 0 reports an error
    fpga_set_reg(kTrans, 0x125, 0xAB);
    sim_clear_journal();
    ConsoleRun r = console_run([] { return KespPortTest(0, 1, 255, 1); });
    EXPECT_EQ(r.status, PLOV_ERR_KESP_TEST_FAILED);
    EXPECT_NE(r.out.find("GE test portID[0] fail fpga addr[0x125] data[0xab]\n"), std::string::npos);
    EXPECT_TRUE(wrote(0x130));   // XGE 1 still ran
    EXPECT_TRUE(logged("GE or XGE test fail"));

    r = console_run([] { return KespPortTest(0, 1, 2, 1); });
    EXPECT_EQ(r.status, PLOV_ERR_KESP_TEST_FAILED);
    EXPECT_TRUE(logged("GE test fail portID 0 return -1200"));

    // A setting that does not take.
    fpga_set_reg_behaviour(kTrans, 0x3103, FpgaRegBehaviour::ReadOnly);
    fpga_set_reg(kTrans, 0x3103, 0);
    EXPECT_EQ(KespXgePortTestSetAc(1), PLOV_ERR_KESP_TEST_FAILED);
    EXPECT_TRUE(logged("config AC fail 0, portID 1"));
    EXPECT_EQ(KespGePortTestSetEq(2), -1205);
    EXPECT_EQ(KespDxauiPortTest(4), PLOV_ERR_PARAM);
}

}  // namespace
