// DORN self tests through the simulated FPGAs: registers written, results,
// virtual time spent, and the failure paths.
#include <cerrno>
#include <functional>

#include "boardlib/dorn_selftest.h"
#include "sim/fpga_model.h"
#include "support/plov_test.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;
constexpr uint64_t kSecond = 1000000000ULL;

class DornSelfTest : public PlovTest {
protected:
    uint64_t start_ = 0;
    void SetUp() override
    {
        PlovTest::SetUp();
        start_ = sim_clock_ns();
    }
    // Whole virtual seconds since the test began.
    uint64_t seconds() const { return (sim_clock_ns() - start_) / kSecond; }
};

bool wrote(const std::string &node, uint64_t addr)
{
    for (const DirAccess &a : dir_requests())
        if (std::get<0>(a) == node && std::get<1>(a) == PLOV_IOC_WRITE_DIR_REG && std::get<2>(a) == addr)
            return true;
    return false;
}

bool logged(const std::string &text)
{
    for (const SimLogLine &l : sim_syslog())
        if (l.text.find(text) != std::string::npos)
            return true;
    return false;
}

TEST_F(DornSelfTest, DdrTestConfiguresBothControllersOnTransAndOneOnSbuf)
{
    ASSERT_EQ(TRANS_FpgaDdrTest(0, 1), 0);
    EXPECT_EQ(seconds(), 200u);
    // The last pattern and the five pairs of each block.
    for (uint64_t b : {DORN_TEST_DDR3_A, DORN_TEST_DDR3_B}) {
        EXPECT_EQ(fpga_get_reg(kTrans, b + 0x46), 10u);
        EXPECT_EQ(fpga_get_reg(kTrans, b + 0x47), 0xA5A5A5A5A5A5A5A5ULL);
        EXPECT_EQ(fpga_get_reg(kTrans, b + 0x44), 0x7FFu);
        EXPECT_EQ(fpga_get_reg(kTrans, b + 0x43), 0x3FFFu);
        EXPECT_EQ(fpga_get_reg(kTrans, b + 0x4E), 0x3FFFu);
    }
    sim_clear_journal();
    ASSERT_EQ(TRANS_FpgaDdrTest(1, 2), 0);
    EXPECT_TRUE(wrote(kSbuf, 0xC4F));
    EXPECT_FALSE(wrote(kSbuf, 0x104F));
    EXPECT_EQ(TRANS_FpgaDdrTest(2, 1), -1330);
    EXPECT_EQ(TRANS_FpgaDdrTest(0, 0), 0);
}

TEST_F(DornSelfTest, DdrResultsAreReportedPerController)
{
    fpga_set_reg(kTrans, DORN_TEST_DDR3_B + 0x107, 4);
    EXPECT_EQ(TRANS_FpgaDdrTest(0, 3), PLOV_ERR_TEST_FAILED);
    EXPECT_TRUE(logged("FPGA[0] Ddr3 [1]th test FAIL, status_a = 0, status_b = 1!"));
    EXPECT_TRUE(logged("FPGA[0] baseaddr[1000] check fail"));
    fpga_set_reg(kTrans, DORN_TEST_DDR3_B + 0x107, 0);
    fpga_set_reg(kTrans, 0xD81, 1);   // the extra status register of A
    EXPECT_EQ(TRANS_FpgaDdrTest(0, 1), PLOV_ERR_TEST_FAILED);
    EXPECT_TRUE(logged("status_a = 1, status_b = 0!"));
}

TEST_F(DornSelfTest, BusyPatternAndTimeOutFailures)
{
    fpga_set_reg(kTrans, 0xC4F, 1);
    EXPECT_EQ(TRANS_FpgaDdrTest(0, 1), PLOV_ERR_TEST_BUSY);
    EXPECT_TRUE(logged("The selfcheck is in progress, please wait for next operation, c4f : 1"));
    fpga_set_reg(kTrans, 0xC4F, 0);

    fpga_script_reads(kTrans, 0xC45, {2});
    EXPECT_EQ(TRANS_Ddr3TestConf(0), PLOV_ERR_TIMEOUT);
    EXPECT_TRUE(logged("Bitmap config timeout"));

    // B never finishes: 200 s, five polls 2 s apart, 2 s more.
    start_ = sim_clock_ns();
    fpga_script_reads(kTrans, 0x104F, {0, 1, 1, 1, 1, 1});
    EXPECT_EQ(TRANS_FpgaDdrTest(0, 1), PLOV_ERR_TIMEOUT);
    EXPECT_EQ(seconds(), 212u);
    EXPECT_TRUE(logged("FPGA[0] the [1]th Call TRANS_DdrTestConf failed, iRet = -1206!"));
}

TEST_F(DornSelfTest, ResultOfAnUnknownBaseIsRefusedAfterItsReads)
{
    sim_clear_journal();
    uint8_t failed = 9;
    EXPECT_EQ(TRANS_DevTestGetResult(0, 0x2000, &failed), PLOV_ERR_RANGE);
    EXPECT_EQ(dir_requests().size(), 4u);
    EXPECT_EQ(std::get<2>(dir_requests()[3]), 0x2109u);
    EXPECT_EQ(failed, 9);
}

TEST_F(DornSelfTest, QdrTestQuiescesRunsAndReenables)
{
    ASSERT_EQ(TRANS_FpgaQdrTest(0, 1), 0);
    // 2 s quiet, the 1 s timed test (2 s), 16 s of the check.
    EXPECT_EQ(seconds(), 20u);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x1402), 0xFFF0FFF0FFFULL);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x843), 0x7FFFFu);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x847), 0xA5A5u);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x849), 0xA5A5A5A5A5A5A5A5ULL);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x84E), 1u);

    start_ = sim_clock_ns();
    ASSERT_EQ(DornFpgaQDRTest(0, 3), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x841), 2u);
    EXPECT_EQ(seconds(), 4u);
}

TEST_F(DornSelfTest, FailedQuiescingRunsNoPassAndReenablesThePorts)
{
    fpga_script_reads(kTrans, 0x3981, {5, 9});
    sim_clear_journal();
    EXPECT_EQ(TRANS_FpgaQdrTest(0, 4), PLOV_ERR_TEST_FAILED);
    EXPECT_TRUE(logged("FPGA[0] first stat[3981] = 5, second stat[3981] = 9, force down is invalid"));
    EXPECT_FALSE(wrote(kTrans, 0x845));
    EXPECT_EQ(fpga_get_reg(kTrans, 0x1402), 0xFFF0FFF0FFFULL);

    fpga_fail_address(kTrans, PLOV_IOC_WRITE_DIR_REG, 0x1402, EIO, 1);
    EXPECT_EQ(TRANS_FpgaRldramTest(0, 1), -1203);
    EXPECT_TRUE(logged("FPGA[0] Call TRANS_SetPortEnable 0 failed"));
    EXPECT_EQ(fpga_get_reg(kTrans, 0x1402), 0xFFF0FFF0FFFULL);
}

TEST_F(DornSelfTest, RldramOnBothFpgas)
{
    ASSERT_EQ(TRANS_FpgaRldramTest(0, 1), 0);
    EXPECT_EQ(seconds(), 28u);   // 2 + 10 + 16
    EXPECT_EQ(fpga_get_reg(kTrans, 0x3C4E), 0x7FFFu);
    sim_clear_syslog();
    ASSERT_EQ(TRANS_FpgaRldramTest(1, 1), 0);
    EXPECT_TRUE(logged("SBUF NO RLDR!"));
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x3C4E), 0x7FFFu);

    fpga_set_reg_behaviour(kTrans, 0x3C81, FpgaRegBehaviour::ReadOnly);
    fpga_set_reg(kTrans, 0x3C81, 0);
    EXPECT_EQ(DornFpgaRLDRTest(0, 1), PLOV_ERR_TIMEOUT);
    EXPECT_TRUE(logged("Rldram Test Time Out, read_data:0!"));
}

TEST_F(DornSelfTest, TimedDdrTest)
{
    ASSERT_EQ(DornFpgaDDR3Test(0, 10), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x1041), 10u);
    EXPECT_EQ(seconds(), 7u);
    fpga_set_reg_behaviour(kTrans, 0x1040, FpgaRegBehaviour::ReadOnly);
    fpga_set_reg(kTrans, 0x1040, 1);
    EXPECT_EQ(DornStartDdr3SelfTest(0, 1), PLOV_ERR_TIMEOUT);
    EXPECT_TRUE(logged("DDR Test Time Out, read_data1:0, read_data2:1, cnt=bb8!"));
    EXPECT_EQ(DornStartDdr3SelfTest(2, 1), -1330);
}

TEST_F(DornSelfTest, TcamTestAndItsErrors)
{
    ASSERT_EQ(TRANS_FpgaTcamTest(0, 2), 0);
    EXPECT_EQ(seconds(), 10u);
    fpga_set_reg(kTrans, 0x5D0B, 1ULL << 20);
    EXPECT_EQ(TRANS_FpgaTcamTest(0, 2), PLOV_ERR_TEST_FAILED);
    EXPECT_TRUE(logged("TCAM Test Error! reg[5d0b] = 100000"));
    EXPECT_TRUE(logged("Tcam [1]th test FAIL!"));
    fpga_set_reg_behaviour(kTrans, 0x5D06, FpgaRegBehaviour::ReadOnly);
    fpga_set_reg(kTrans, 0x5D06, 1);
    EXPECT_EQ(TRANS_FpgaTcamTest(0, 1), PLOV_ERR_TIMEOUT);
    EXPECT_TRUE(logged("TCAM Test Timeout! read_data:1"));
    EXPECT_EQ(TRANS_FpgaTcamTest(3, 1), -1330);

    uint8_t failed = 7;
    fpga_set_reg(kTrans, 0x5D00, 0x11);
    ASSERT_EQ(TRANS_GetTcamTestResult(0, &failed), 0);
    EXPECT_EQ(failed, 1);
    fpga_set_reg(kTrans, 0x5D00, 0x1);
    EXPECT_EQ(TRANS_GetTcamTestResult(0, &failed), PLOV_ERR_TIMEOUT);
    ASSERT_EQ(TRANS_GetTcamTestResult(1, &failed), 0);
    EXPECT_EQ(failed, 0);
}

TEST_F(DornSelfTest, TcamRealTimeCheckClearsTheInnerErrorBit)
{
    uint8_t error = 9;
    ASSERT_EQ(TRANS_GetTcamRealTimeTestRes(0, &error), 0);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(TRANS_GetTcamRealTimeTestRes(0, nullptr), -1201);

    fpga_set_reg(kTrans, 0x5C85, 0x100);   // bit 0 clear: nothing
    fpga_set_reg(kTrans, 0x5C85, 0x101);
    fpga_put_indirect(kTrans, 0x5C00, {2}, {0x40, 0});
    sim_clear_journal();
    ASSERT_EQ(TRANS_GetTcamRealTimeTestRes(0, &error), 0);
    EXPECT_EQ(error, 1);
    EXPECT_TRUE(logged("tcam read inner reg, data[3] = 40"));
    bool sawWrite = false;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, {}, PLOV_IOC_WRITE_INDIR_REG)) {
        IndirRegReq req = journal_record<IndirRegReq>(e);
        EXPECT_EQ(req.cmd, 1u);
        EXPECT_EQ(req.command, 0x10u);
        EXPECT_EQ(req.id, 27u);
        sawWrite = true;
    }
    EXPECT_TRUE(sawWrite);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x5C85), 0x101u);
    error = 9;
    ASSERT_EQ(TRANS_GetTcamRealTimeTestRes(1, &error), 0);
    EXPECT_EQ(error, 0);
}

TEST_F(DornSelfTest, RegisterTestAndControllerState)
{
    uint8_t passed = 0;
    ASSERT_EQ(DornFpgaTestReg(1, &passed), 0);
    EXPECT_EQ(passed, 1);
    EXPECT_EQ(TRANS_FpgaTestReg(0, 3), 0);
    EXPECT_EQ(DornFpgaTestReg(2, &passed), -1330);

    uint32_t state = 0;
    DrvInfo info{};
    info.cpu_num = 2;
    info.cpu0_x8_present = 1;
    info.cpu1_x8_present = 1;
    fpga_set_record_as(kTrans, FpgaRecord::DrvInfo, 0, info);
    ASSERT_EQ(TRANS_GetControllerDeviceState(0, &state), 0);
    EXPECT_EQ(state, 1u);
    info.cpu1_x8_present = 0;
    fpga_set_record_as(kTrans, FpgaRecord::DrvInfo, 0, info);
    ASSERT_EQ(TRANS_GetControllerDeviceState(0, &state), 0);
    EXPECT_EQ(state, 8u);
    info.cpu_num = 1;
    fpga_set_record_as(kTrans, FpgaRecord::DrvInfo, 0, info);
    ASSERT_EQ(TRANS_GetControllerDeviceState(0, &state), 0);
    EXPECT_EQ(state, 1u);

    // A register that reads back what was written fails the test.
    fpga_set_reg_behaviour(kTrans, 0x2, FpgaRegBehaviour::Plain);
    fpga_set_reg(kTrans, 0x2, 0x55);
    ASSERT_EQ(DornFpgaTestReg(0, &passed), 0);
    EXPECT_EQ(passed, 0);
    EXPECT_EQ(TRANS_FpgaTestReg(0, 2), PLOV_ERR_TEST_FAILED);
    ASSERT_EQ(TRANS_GetControllerDeviceState(0, &state), 0);
    EXPECT_EQ(state, 8u);
    EXPECT_EQ(TRANS_GetControllerDeviceState(0, nullptr), -1201);
}

// Every operation passes a failed register read or write on.
TEST_F(DornSelfTest, DriverFailuresPassThrough)
{
    const std::function<PlovStatus()> ops[] = {
        [] { return TRANS_FpgaDdrTest(0, 1); },
        [] { return TRANS_FpgaQdrTest(0, 1); },
        [] { return TRANS_FpgaRldramTest(0, 1); },
        [] { return TRANS_FpgaTcamTest(0, 1); },
        [] { return TRANS_FpgaTestReg(0, 1); },
        [] { return DornFpgaDDR3Test(1, 1); },
        [] {
            uint32_t s = 0;
            return TRANS_GetControllerDeviceState(0, &s);
        },
        [] {
            uint8_t e = 0;
            fpga_set_reg(kTrans, 0x5C85, 1);
            return TRANS_GetTcamRealTimeTestRes(0, &e);
        },
    };
    for (unsigned long request : {PLOV_IOC_READ_DIR_REG, PLOV_IOC_WRITE_DIR_REG}) {
        for (size_t i = 0; i < std::size(ops); i++) {
            sim_clear_faults();
            sim_fail_request(kTrans, request, EIO);
            sim_fail_request(kSbuf, request, EIO);
            PlovStatus ret = ops[i]();
            if (i == 5 && request == PLOV_IOC_READ_DIR_REG)
                EXPECT_EQ(ret, PLOV_ERR_TIMEOUT) << i;   // polls go on after a failed read
            else
                EXPECT_EQ(ret, -1203) << i << " " << request;
        }
    }
    sim_clear_faults();
    sim_fail_request(kTrans, PLOV_IOC_GET_DRV_INFO, EIO);
    uint32_t s = 0;
    EXPECT_EQ(TRANS_GetControllerDeviceState(0, &s), -1203);
}

}  // namespace
