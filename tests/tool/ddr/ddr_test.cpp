// The t_fpga0 DDR rows, the memory tests and the loop tests on the simulated
// FPGA 0 BAR 0.
#include <cerrno>
#include <string>

#include "sim/fpga_ddr_model.h"
#include "sim/rtc_model.h"
#include "sim/sim_sched.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/ddr/ddr_cmd.h"
#include "tool/ddr/ddr_mem.h"
#include "tool/trans_op.h"

namespace {

constexpr const char *kHeader = "--------  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n";
constexpr const char *kLspci0 = "lspci -d 19aa:e004 > /home/dbf.txt";

class DdrTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        sched_set_tick_ns(100);
        sim_journal_enable(false);
    }
    void TearDown() override
    {
        EXPECT_TRUE(sim_mappings().empty()) << "mapping left";
        SimTest::TearDown();
    }
    // Bytes 0xb0, 0xb1, ... from BAR offset `at`.
    static void fill(uint64_t at, int words)
    {
        for (int i = 0; i < words; i++) {
            auto b = static_cast<uint32_t>(0xb0 + 4 * i);
            fpga_ddr_model_poke(at + 4u * static_cast<unsigned>(i), b | (b + 1) << 8 | (b + 2) << 16 | (b + 3) << 24);
        }
    }
    static TransOpStatus t(const char *path) { return op_test(path); }
    static size_t count_of(const std::string &text, const std::string &what)
    {
        size_t n = 0;
        for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
            n++;
        return n;
    }
};

TEST_F(DdrTest, HexDumpsInBothMapModes)
{
    struct Case {
        uint16_t mode;
        const char *path;
        uint64_t fillAt;
        std::string console;
        std::string file;
        const char *fileName;
    } cases[] = {
        {0, "fpga0/rddr/0x100+16/b", 0x2000100,
         std::string("Read DDR bytes[0x00000100 + 16] :\n") + kHeader +
             "02000100: b0 b1 b2 b3 b4 b5 b6 b7 b8 b9 ba bb bc bd be bf\n",
         std::string(kHeader) + "\n02000100: b0 b1 b2 b3 b4 b5 b6 b7 b8 b9 ba bb bc bd be bf\n", "/log.txt"},
        {0, "fpga0/Rddr/260+16/b", 0x2000104,
         std::string("Read DDR bytes[0x00000104 + 16] :\n") + kHeader +
             "02000100:             b0 b1 b2 b3 b4 b5 b6 b7 b8 b9 ba bb\n02000110: bc bd be bf\n",
         std::string(kHeader) + "02000100:             b0 b1 b2 b3 b4 b5 b6 b7 b8 b9 ba bb\n02000110: bc bd be bf\n",
         "/log.txt"},
        {1, "fpga0/rddr/0x20+4/b", 0x20,
         std::string("Read DDR bytes[0x00000020 + 4] :\n") + kHeader + "00000020: b0 b1 b2 b3\n",
         std::string(kHeader) + "\n00000020: b0 b1 b2 b3\n", "/log.txt"},
        {1, "fpga0/rsol/0x10+4/b", 0x3800010,
         std::string("Read SOL bytes[0x00000010 + 4] :\n") + kHeader + "00000010: b0 b1 b2 b3\n",
         std::string(kHeader) + "\n00000010: b0 b1 b2 b3\n", "/sol.txt"},
    };
    for (const Case &c : cases) {
        sim_write_file(c.fileName, "");
        rtc_model_set_bar_map_mode(c.mode);
        fill(c.fillAt, 4);
        ConsoleRun run = console_run([&] { return t(c.path); });
        EXPECT_EQ(run.status, 0) << c.path;
        EXPECT_EQ(run.out, c.console) << c.path;
        EXPECT_EQ(sim_read_file(c.fileName), c.file) << c.path;
    }
}

TEST_F(DdrTest, RawBytesSwapWordsInModeZeroOnlyAndAppend)
{
    fill(0x2000000, 2);
    EXPECT_EQ(t("fpga0/rddr/0+8/c"), 0);
    EXPECT_EQ(sim_read_file("/log.txt"), "\xb3\xb2\xb1\xb0\xb7\xb6\xb5\xb4");
    rtc_model_set_bar_map_mode(1);
    fill(0, 1);
    EXPECT_EQ(t("fpga0/rddr/0+4/c"), 0);
    EXPECT_EQ(sim_read_file("/log.txt"), "\xb3\xb2\xb1\xb0\xb7\xb6\xb5\xb4\xb0\xb1\xb2\xb3");
    ConsoleRun bad = console_run([] { return t("fpga0/rddr/0+4/x"); });
    EXPECT_EQ(bad.status, -1202);
    EXPECT_NE(bad.out.find("read ddr byte commond error!\n"), std::string::npos);
}

TEST_F(DdrTest, ReadsRefuseBadSpansBeforeTouchingTheFile)
{
    struct Case {
        const char *path;
        int status;
        const char *line;
    } cases[] = {
        {"fpga0/rddr/0+15/b", -1202, "[quorbix-ERR]Invalid read length[15]"},
        {"fpga0/rddr/0+-4/b", -1202, "[quorbix-ERR]Invalid read length[-4]"},
        {"fpga0/rddr/0x2+4/b", -1202, "[quorbix-ERR]Invalid read offset[0x2]"},
        {"fpga0/rddr/0x1fffffc+8/b", -1338, "[quorbix-ERR]Too Long To Read, Should < 0x2000000 Bytes"},
        {"fpga0/rddr/0xfffffffc+8/b", -1338, "Too Long To Read"},
        {"fpga0/rsol/0x1fffffc+4/b", 0, "Read SOL bytes[0x01fffffc + 4] :"},
        {"fpga0/rddr/abc", -1204, "[quorbix-ERR]Invalid optarg: abc"},
    };
    for (const Case &c : cases) {
        ConsoleRun run = console_run([&] { return t(c.path); });
        EXPECT_EQ(run.status, c.status) << c.path;
        EXPECT_NE(run.out.find(c.line), std::string::npos) << c.path << "\n" << run.out;
    }
    EXPECT_EQ(sim_read_file("/log.txt"), "");
}

TEST_F(DdrTest, DeviceSearchFailures)
{
    struct Case {
        const char *what;
        SimShellScript script;
        int openErr;
        int status;
        const char *line;
    } cases[] = {
        {"lspci killed", {"", 9, {}}, 0, -1, "failed, mode 0, status 0x9\n\ncall ddr_get_bdf_by_vendor_device error, iret=-1\n"},
        {"empty list", {"", 0x100, {{"/home/dbf.txt", ""}}}, 0, 1, "fgets fail, return is NULL\n\nsscanf_s error, ret=-1\n"},
        {"list unreadable", {"", 0, {}}, EACCES, 4, "pfFd is NULL.errno=13\n\n"},
    };
    for (const Case &c : cases) {
        sim_write_file("/home/dbf.txt", "");
        sim_script_command(kLspci0, c.script);
        if (c.openErr)
            sim_fail_open("/home/dbf.txt", c.openErr);
        ConsoleRun run = console_run([] { return t("fpga0/rddr/0+4/b"); });
        EXPECT_EQ(run.status, c.status) << c.what;
        EXPECT_NE(run.out.find(c.line), std::string::npos) << c.what << "\n" << run.out;
        sim_clear_faults();
    }
}

TEST_F(DdrTest, ThreeStepReportsEachFaultKind)
{
    struct Case {
        const char *what;
        uint32_t zeros, ones;
        int alias;
        int status;
        std::vector<std::string> lines;
    } cases[] = {
        {"sound", 0, 0, -1, 0, {"DDR IS OK"}},
        {"line 3 stuck at 1", 0, 0x8, -1, 3, {"These data lines has SA1 fault : 3 ", "Data line has STUCK-AT-1-FAULT, 0x00000008"}},
        {"line 5 stuck at 0", 0x20, 0, -1, 3, {"These data lines has SA0 fault : 5 ", "Data bus has STUCK-AT-0-FAULT, 0xffffffdf"}},
        {"every line stuck at 0", 0xFFFFFFFF, 0, -1, 3, {"These data lines has SA0 fault : 0 1 2 3 4 5 6 7 8 9 10 "}},
        {"address line 10 aliased", 0, 0, 10, 3, {"Address bus walk 1 test fail, val=0x00000100", "Addr bus walk1 fault : 0x00000100"}},
    };
    for (const Case &c : cases) {
        fpga_ddr_model_stuck(c.zeros, c.ones);
        fpga_ddr_model_alias(c.alias);
        ConsoleRun run = console_run([] { return t("fpga0/w/3"); });
        EXPECT_EQ(run.status, c.status) << c.what;
        for (const std::string &l : c.lines)
            EXPECT_NE(run.out.find(l), std::string::npos) << c.what << ": " << l << "\n" << run.out;
        EXPECT_EQ(count_of(run.out, "These data lines"), c.zeros == 0 && c.ones == 0 ? 0u : 1u) << c.what;
        EXPECT_EQ(count_of(run.out, "Time used"), 1u) << c.what;
    }
}

TEST_F(DdrTest, NineStepReportsTheFaultAsABarOffset)
{
    fpga_ddr_model_wrong_word(0x2000040, 0x12345678);
    ConsoleRun run = console_run([] { return t("fpga0/w/9"); });
    EXPECT_EQ(run.status, 6);
    EXPECT_NE(run.out.find("Readback value differs from reverse pattern, 0x12345678 != 0x55555555\n"
                           "Check & reverse pattern[0x55555555] at addr[0x02000040] fail,fault value is 0x12345678, "
                           "ret=6\nCannot reverse pattern[0xaaaaaaaa] in rise, step 2->3, ret=6\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("DDR memory unit test FAIL, error=6, Fault address : 0x02000040, fault value : 0x12345678"),
              std::string::npos);
    EXPECT_NE(run.out.find("do 9 step test fail, 6!\n"), std::string::npos);
    EXPECT_NE(run.out.find("\tDDR IS FAULT"), std::string::npos);
}

TEST_F(DdrTest, HealthModeZeroRunsBothTestsOnceAndOtherModesNone)
{
    fpga_ddr_model_cost_ns(1);
    ConsoleRun both = console_run([] { return t("fpga0/W/0"); });
    EXPECT_EQ(both.status, 0);
    EXPECT_NE(both.out.find("Need to do both 3 step & 9 step test method.\n"), std::string::npos);
    EXPECT_NE(both.out.find("DDR memory unit is OK\n"), std::string::npos);
    EXPECT_NE(both.out.find("\t*******************************************\n\tDDR IS OK\n"), std::string::npos);
    EXPECT_EQ(count_of(both.out, "Time used"), 1u);
    EXPECT_GT(sim_clock_ns(), 0u);

    sim_clear_journal();
    sim_journal_enable(true);
    ConsoleRun other = console_run([] { return t("fpga0/w/7"); });
    EXPECT_EQ(other.status, -1202);
    EXPECT_EQ(other.out, "do not suport mode 7!\n");
    EXPECT_TRUE(sim_commands_run().size() == 2u);  // the two runs of mode 0 only
}

TEST_F(DdrTest, LoopTests)
{
    fpga_ddr_model_wrong_word(0x2123450, 0);  // the nine-step test fails, the three-step passes
    struct Case {
        const char *path;
        int status;
        const char *tail;
    } cases[] = {
        {"fpga0/d/vga:1", 0, "fpga0 Video compression test stub\n\nSUCCESS!\n\n"},
        {"fpga0/d/vga", -1, ", iRet = 1\n"},
        {"fpga0/d/foo:1", 2, "default cmd :3\n \nLOOP TEST FAILED!\n\n"},
        {"fpga0/d/rtc:10", 0, "SUCCESS!\n\n"},
        {"fpga0/d/ddr:0", 6, "LOOP TEST FAILED!\n\n"},
    };
    for (const Case &c : cases) {
        size_t before = sim_commands_run().size();
        ConsoleRun run = console_run([&] { return t(c.path); });
        EXPECT_EQ(run.status, c.status) << c.path;
        ASSERT_GE(run.out.size(), std::string(c.tail).size()) << c.path;
        EXPECT_EQ(run.out.substr(run.out.size() - std::string(c.tail).size()), c.tail) << c.path << "\n" << run.out;
        if (std::string(c.path) == "fpga0/d/ddr:0") {
            EXPECT_EQ(sim_commands_run().size() - before, 2u);  // one round: three step, nine step
        }
    }
    rtc_model_set_drift(200);
    ConsoleRun drift = console_run([] { return t("fpga0/d/rtc:11"); });
    EXPECT_EQ(drift.status, -107);
    EXPECT_NE(drift.out.find("LOOP TEST FAILED!\n"), std::string::npos);
}

TEST_F(DdrTest, WordCopiesAndBitLists)
{
    uint8_t buf[8] = {};
    uint8_t *src = buf;
    struct Case {
        int length;
        int status;
    } cases[] = {{0, -1202}, {6, -1202}, {-4, -1202}, {0x4000000, -1205}};
    for (const Case &c : cases) {
        EXPECT_EQ(ddr_read(buf, c.length, src), c.status) << c.length;
        EXPECT_EQ(ddr_write(buf, c.length, src), c.status) << c.length;
    }
    EXPECT_EQ(ddr_read(nullptr, 4, src), -1201);
    char text[64];
    EXPECT_EQ(get_bit_num_string(0x21, text, sizeof text), 0);
    EXPECT_STREQ(text, "0 5 ");
    EXPECT_EQ(get_bit_num_string(0, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(get_bit_num_string(1, nullptr, 4), 3);
    int fd = 0;
    size_t size = 0;
    EXPECT_EQ(ddr_test_env_init(&fd, nullptr, &size, 0), -1201);
    EXPECT_EQ(ddr_test_env_release(3, nullptr, 0), -1201);
}

TEST_F(DdrTest, MappingFailureClosesTheResourceFile)
{
    sim_fail_op(SimFaultOp::mmap, "/sys/bus/pci/devices/0000:06:00.0/resource0", ENOMEM);
    ConsoleRun run = console_run([] { return t("fpga0/rddr/0+4/b"); });
    EXPECT_EQ(run.status, -1212);
    EXPECT_NE(run.out.find("Fail to mmap /sys/bus/pci/devices//0000:06:00.0/resource0 at 0xc0000000 for 0x4000000 bytes, errno=12"),
              std::string::npos)
        << run.out;
}

} // namespace
