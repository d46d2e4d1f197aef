// The FPGA test commands of block "test" through its dispatcher, on the
// simulated DORN and KESP boards and on a board of neither model.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "bases/drv/plov_drv.h"
#include "bases/drv/spi_flash_drv.h"
#include "bases/pci/smbios.h"
#include "boardlib/dorn_selftest.h"
#include "boardlib/plov_trans_intf.h"
#include "sim/fpga_model.h"
#include "sim/smbios_image.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/quorbix.h"
#include "tool/trans/fpga_test.h"

namespace {

constexpr uint64_t kSecond = 1000000000ULL;
const std::string kTrans = kFpgaTransNode;

std::string normal(const std::string &out)
{
    return std::regex_replace(out, std::regex("tool/trans/fpga_test\\.cpp:[0-9]+"), "F:L");
}

class FpgaTestCommands : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        geBoardLogicType = PLOV_BOARD_UNKNOWN;
        std::memcpy(saved_, gBoardName, sizeof saved_);
        std::strncpy(gBoardName, board().c_str(), sizeof gBoardName - 1);
    }
    void TearDown() override
    {
        std::memcpy(gBoardName, saved_, sizeof saved_);
        geBoardLogicType = PLOV_BOARD_UNKNOWN;
        SimTest::TearDown();
    }

    struct Case {
        const char *path;
        int status;
        std::string out;
        uint64_t seconds;
    };

    void expect_cases(const std::vector<Case> &cases)
    {
        for (const Case &c : cases) {
            const uint64_t t0 = sim_clock_ns();
            ConsoleRun r = console_run([&] { return op_test(c.path); });
            EXPECT_EQ(normal(r.out), c.out) << c.path;
            EXPECT_EQ(r.status, c.status) << c.path;
            EXPECT_EQ((sim_clock_ns() - t0) / kSecond, c.seconds) << c.path;
            ASSERT_EQ(sim_open_count(), 0) << c.path;
        }
    }

    char saved_[kBoardNameSize] = {};
};

class FpgaTestCommandsKesp : public FpgaTestCommands {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

class FpgaTestCommandsOther : public FpgaTestCommands {
protected:
    std::string board() const override { return "ZK17TRVA"; }
};

std::string invalid(const char *name, int iret)
{
    return std::string("Invalid input, please check [") + name + "] F:L, iRet = " + std::to_string(iret) + "\n";
}

TEST_F(FpgaTestCommands, DeviceTestsOnDorn)
{
    expect_cases({
        {"trans/d/ddr:211", 0, "FPGA ddr test times [2]\n\nFPGA0 ddr Test Pass\n\n", 400},
        {"sbuf/d/ddr:1", 0, "FPGA ddr test times [1]\n\nFPGA1 ddr Test Pass\n\n", 200},
        {"trans/d/qdr:31", 0, "FPGA qdr test times [2]\n\nFPGA0 qdr Test Pass\n\n", 36},
        {"sbuf/d/rldr:10", 0, "FPGA rldr test times [1]\n\nFPGA1 rldr Test Pass\n\n", 18},
        {"trans/d/fpga:0", 0, "SUCCESS:0x0\nFAILED:0x0\nFPGA0 fpga Test Pass\n\n", 0},
        {"sbuf/d/fpga:3", 0, "SUCCESS:0x3\nFAILED:0x0\nFPGA1 fpga Test Pass\n\n", 0},
        {"trans/d/ddr", -1, invalid("get_trans_device_test_result", 1), 0},
        {"trans/d/", -1, invalid("get_trans_device_test_result", -1), 0},
        {"trans/d/sram:5", -1335, invalid("get_trans_device_test_result", 2), 0},
        // Rounds beyond 16 bits are refused, not cut.
        {"trans/d/ddr:4294967294", -1, invalid("get_trans_device_test_result", 2), 0},
        {"trans/d/qdr:1966051", -1, invalid("get_trans_device_test_result", 2), 0},
    });
    fpga_set_reg(kTrans, DORN_TEST_DDR3_A + 0x106, 1);
    expect_cases({{"trans/d/ddr:1", -1230, "FPGA ddr test times [1]\n\nFPGA0 ddr Test Failed\n\n", 200}});
    fpga_set_reg_behaviour(kTrans, 0x2, FpgaRegBehaviour::Plain);
    expect_cases({{"trans/d/fpga:2", -1, "SUCCESS:0x0\nFAILED:0x2\nFPGA0 fpga Test Failed\n\n", 0}});
}

TEST_F(FpgaTestCommands, FlashTestTakesTheBoardFromSmbios)
{
    // Two rounds on the flash of the sbuf FPGA.
    ConsoleRun r = console_run([] { return op_test("sbuf/d/flash:121"); });
    EXPECT_EQ(r.status, 0);
    const std::string tail = "Test finish [1] successful! Finish operation\nSUCCESS:0x2\nFAILED:0x0\nFPGA1 flash Test Pass\n\n";
    ASSERT_GE(r.out.size(), tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
    EXPECT_EQ(sim_open_count(), 0);

    // No SMBIOS table: its status, and the failed line.
    std::vector<uint8_t> zeros(SMBIOS_SEG_LEN, 0);
    sim_phys_write(SMBIOS_SEG_BASE, zeros.data(), zeros.size());
    r = console_run([] { return op_test("trans/d/flash:1"); });
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out.rfind("call smbios_get_board_info fail! iRet=", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("FPGA0 flash Test Failed\n\n"), std::string::npos);
}

TEST_F(FpgaTestCommandsKesp, FlashTestOnKespUsesTheFirstFlash)
{
    ConsoleRun r = console_run([] { return op_test("sbuf/d/flash:1"); });
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Test finish [0] successful!"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SUCCESS:0x1\nFAILED:0x0\nFPGA1 flash Test Pass\n\n"), std::string::npos);
}

// Flash ids that begin requests named.
std::set<uint64_t> begun_flashes()
{
    std::set<uint64_t> out;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, {}, SPI_FLASH_BEGIN))
        if (!e.extra.empty())
            out.insert(e.extra[0]);
    return out;
}

TEST_F(FpgaTestCommands, FlashTestCountsFailedRounds)
{
    // Three rounds; the second cannot open flash access.
    sim_fail_request(SPI_FLASH_NODE, SPI_FLASH_BEGIN, EIO, 2);
    ConsoleRun r = console_run([] { return op_test("trans/d/flash:241"); });
    EXPECT_EQ(r.status, -1);
    EXPECT_NE(r.out.find("SUCCESS:0x2\nFAILED:0x1\nFPGA0 flash Test Failed\n\n"), std::string::npos) << r.out;
    EXPECT_EQ(begun_flashes(), std::set<uint64_t>{0});

    // A product name other than DORN's tests flash 0 as type 1, which this
    // board stores as type 0: every round fails.
    smbios_place({smbios_baseboard("Quorbix", "QX-OTHER", "QB1", "Slot 0"), smbios_end(6)}, SmbiosLayout{});
    sim_clear_journal();
    r = console_run([] { return op_test("sbuf/d/flash:2"); });
    EXPECT_EQ(r.status, -1);
    EXPECT_NE(r.out.find("SUCCESS:0x0\nFAILED:0x1\nFPGA1 flash Test Failed\n\n"), std::string::npos) << r.out;
    EXPECT_EQ(begun_flashes(), std::set<uint64_t>{0});
}

TEST_F(FpgaTestCommandsKesp, FlashTestTakesDornFromSmbiosOverDmi)
{
    smbios_place({smbios_baseboard("Quorbix", "ZK17DORN", "QB1", "Slot 0"), smbios_end(6)}, SmbiosLayout{});
    ConsoleRun r = console_run([] { return op_test("sbuf/d/flash:1"); });
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("SUCCESS:0x1\nFAILED:0x0\nFPGA1 flash Test Pass\n\n"), std::string::npos) << r.out;
    EXPECT_EQ(begun_flashes(), std::set<uint64_t>{1});
}

TEST_F(FpgaTestCommands, TcamTest)
{
    expect_cases({
        {"tcam/a", 0, "TCAM Test [1]times Pass\n\n", 5},
        {"tcam/a:12", 0, "TCAM Test [3]times Pass\n\n", 15},
        {"tcam/b", -1202, "Invalid input, command is wrong, iRet = 1!\n\n", 0},
        {"tcam/a:0", -1202, "Invalid input, command is wrong, iRet = 2!\n\n", 0},
        {"tcam/a:400000", -1202, "Invalid input, command is wrong, iRet = 2!\n\n", 0},
    });
    fpga_set_reg(kTrans, 0x5D0B, 1ULL << 20);
    expect_cases({{"tcam/a:1", -1230, "TCAM Test [1]times Failed\n\n", 5}});
}

TEST_F(FpgaTestCommands, ControllerState)
{
    DrvInfo info{};
    info.ctrller_state = 1;
    fpga_set_record_as(kFpgaSbufNode, FpgaRecord::DrvInfo, 0, info);
    expect_cases({
        {"sbuf/h/", 0, "SUCCESS\nTrans Fpga Test Passed! state:1\n", 0},
        {"trans/H/x", 0, "SUCCESS\nTrans Fpga Test Failed! state:0\n", 0},
    });
    sim_fail_request(kTrans, PLOV_IOC_GET_DRV_INFO, EIO);
    expect_cases({{"trans/h/", -1203, "FAILED\nFunction PlovTransGetControllerDeviceState exe error, iRet = -1203\n", 0}});
}

TEST_F(FpgaTestCommands, LoopTestsOnDorn)
{
    sim_write_file("/home/test/trans/transmit_config.txt", "fpga_id\t0\n");
    const std::string checkLine = "Invalid input, please check [check_loop_input] F:L\n";
    expect_cases({
        {"trans/l/front:10:8", -1202, checkLine, 0},
        {"trans/l/dsp:5:255", -1202, checkLine, 0},
        {"sbuf/l/front:1:1", -1202, checkLine, 0},
        {"trans/l/x:1:1", -1202, checkLine, 0},
        {"trans/l/bp:0:1", -1202, checkLine, 0},
        {"trans/l/front:10", -1202, invalid("get_trans_loop_test_result", 2), 0},
        {"trans/l/b:3:255", 0, "bp Loop success!\n\n", 3},
    });
    EXPECT_EQ(sim_commands_run(),
              (std::vector<std::string>{"rm -rf /opt/*vec_err*", "cd /home/test/trans;chmod +x send_packet.sh",
                                        "cd /home/test/trans;./send_packet.sh 0",
                                        "echo 0 > /sys/class/net/trans0/test/start"}));
    size_t before = sim_commands_run().size();
    expect_cases({{"sbuf/l/b:2:255", 0, "bp Loop success!\n\n", 2}});
    EXPECT_EQ(sim_commands_run()[before + 2], "cd /home/test/trans;./send_packet.sh 1");
    EXPECT_EQ(sim_commands_run()[before + 3], "echo 0 > /sys/class/net/trans1/test/start");

    before = sim_commands_run().size();
    ConsoleRun r = console_run([] { return op_test("trans/l/s:10:9"); });
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("port_id = 9\n"), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 20), "sbuf Loop success!\n\n");
    EXPECT_EQ(sim_commands_run().size() - before, 6u);

    sim_script_command("cd /home/test/trans;./send_packet.sh 2", SimShellScript{"", 256, {}});
    expect_cases({{"trans/l/front:1:255", 256,
                   "front Loop failed! iRet = 256 please check [get_trans_loop_test_result] F:L\n", 1}});
    sim_script_command("echo 0 > /sys/class/net/trans0/test/start",
                       SimShellScript{"", 0, {{"/opt/bp_vec_err.log", "x"}}});
    r = console_run([] { return op_test("trans/l/d:1:3"); });
    EXPECT_EQ(r.status, -2);
    const std::string tail = "find err_log /opt/bp_vec_err.log\ndsp Loop failed! iRet = -2 please check "
                             "[get_trans_loop_test_result] F:L\n";
    const std::string out = normal(r.out);
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

TEST_F(FpgaTestCommandsKesp, DeviceAndLoopTestsOnKesp)
{
    sim_script_command("cd /home/test/trans;./send_dsp.sh", SimShellScript{});
    const std::string longCheck =
        "Invalid input, please check [kesp_check_loop_input] F:L  iTime = 0, iPort = 1, iLoopType= 0\n";
    expect_cases({
        {"sbuf/d/rldr:10", 0, "KES unsuuport\nFPGA1 rldr Test Pass\n\n", 0},
        {"trans/d/ddr:1", 0, "DDR3 march ic test need 40s, please waite\nFPGA ddr test times [1]\n\nFPGA0 ddr Test Pass\n\n",
         41},
        {"trans/d/qdr:71", 0,
         "QDR test need 60s, please waite\nQDR test need 60s, please waite\nFPGA qdr test times [2]\n\n"
         "FPGA0 qdr Test Pass\n\n",
         3 + 2 * 61},
        {"trans/d/fpga:2", 0, "SUCCESS:0x2\nFAILED:0x0\nFPGA0 fpga Test Pass\n\n", 0},
        {"sbuf/l/front:2:3", 0, "kesp loop test\nfront Loop success!\n\n", 10},
        {"trans/l/dsp:4:0", 0, "kesp loop test\ndsp Loop success!\n\n", 4},
        {"trans/l/sbuf:1:0", -1205,
         "kesp loop test\nloop type error 2\nsbuf Loop failed! iRet = -1205 please check [get_trans_loop_test_result] "
         "F:L\n",
         0},
        {"trans/l/bp:1:5", -1202, "Invalid input, please check [kesp_check_loop_input] F:L\n", 0},
        {"trans/l/bp:0:1", -1202, longCheck, 0},
    });
    fpga_set_reg(kTrans, 0x6D01, 1);
    expect_cases({{"trans/d/qdr:1", -1206, "KESP QDR test fail[-1206] times[1]\n\nFPGA0 qdr Test Failed\n\n", 9}});
}

TEST_F(FpgaTestCommandsOther, BoardsOfNeitherModel)
{
    expect_cases({
        {"trans/d/ddr:1", -1205, "unsuuport board\nFPGA0 ddr Test Failed\n\n", 0},
        {"trans/d/fpga:1", -1205, "unsuuport board\nFPGA0 fpga Test Failed\n\n", 0},
        {"trans/l/bp:1:1", -1205, "Invalid board type\n", 0},
    });
}

}  // namespace
