// The accelerator card commands through the test and load dispatchers, on
// the simulated DORN board with its card and SPI-flash driver: bad input,
// console lines on success and on injected failures, the records the
// drivers saw, and nothing left open afterwards.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "asmf/adapter/asmf_res.h"
#include "asmf/interface/asmf_interface.h"
#include "asmf/memory/asmf_mem.h"
#include "bases/drv/asmf_drv.h"
#include "bases/drv/spi_flash_drv.h"
#include "sim/asmf_model.h"
#include "sim/sim_host.h"
#include "sim/spi_flash_model.h"
#include "support/console_run.h"
#include "support/flash_image.h"
#include "support/sim_fixture.h"
#include "tool/compress/compress.h"
#include "tool/trans_op.h"

namespace {

constexpr const char *kCard = "/dev/acce_dev0";
constexpr const char *kFlashNode = "/dev/spi_flash";
const unsigned long kReadReg = asmf_card_request(ASMF_CARD_READ_REG, 'A');
const unsigned long kWriteReg = asmf_card_request(ASMF_CARD_WRITE_REG, 'A');
const unsigned long kShowPid = asmf_mem_request(ASMF_MEM_SHOW_PID);
const unsigned long kShowRes = asmf_res_request(ASMF_RES_SHOW);

class AccCardTest : public SimTest {
protected:
    void TearDown() override
    {
        // ver, ddr and loop leave the framework up and the card library keeps
        // its driver nodes open, as a process would until it ends.
        oxcompFinalize();
        asmf_exit_mem();
        asmf_res_exit();
        SimTest::TearDown();
    }
    // "t" runs test/acc/PATH, "l" load/acc/PATH. Source lines in the
    // invalid-input and load lines read as "L".
    static ConsoleRun run(char block, const std::string &path)
    {
        const std::string text = "acc/" + path;
        ConsoleRun r = console_run([&] { return (block == 't' ? op_test : op_load)(text.c_str()); });
        r.out = std::regex_replace(r.out, std::regex("compress/compress:[0-9]+"), "compress/compress:L");
        return r;
    }
    // A type-1 image in flash 0 where the store looks for it.
    static void type_one_image()
    {
        auto img = flash_image({.dataLen = 2000, .version = 9, .reversed = true});
        spi_flash_erase_all(0);
        spi_flash_poke(0, 0, img);
        spi_flash_poke(0, spi_flash_state(0).capacity - 104, std::vector<uint8_t>(img.end() - 104, img.end()));
    }
};

std::string invalid(const char *name, int iret, const char *failed = "FAILED")
{
    return std::string(failed) + "\nInvalid input, please check [" + name + "] compress/compress:L, iRet = " +
           std::to_string(iret) + "\n";
}

// Request records the driver accepted, by node and number.
std::vector<std::vector<uint8_t>> records(const std::string &node, unsigned long request)
{
    std::vector<std::vector<uint8_t>> out;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, node, request))
        out.push_back(e.record);
    return out;
}

uint32_t word(const std::vector<uint8_t> &record, size_t at)
{
    uint32_t v = 0;
    if (record.size() >= at + 4)
        std::memcpy(&v, record.data() + at, 4);
    return v;
}

TEST_F(AccCardTest, EveryRowRefusesTextThatDoesNotScan)
{
    struct Case {
        char block;
        const char *path;
        const char *handler;
        int iret;
    };
    const Case cases[] = {
        {'t', "rd/", "acc_read_reg", -1},          {'t', "rd/100", "acc_read_reg", 0},
        {'t', "wrt/0x100", "acc_write_reg", 1},    {'t', "wrt/0x100:5", "acc_write_reg", 1},
        {'t', "rdlpc/12", "acc_read_lpc", 0},      {'t', "wrtlpc/0x12", "acc_write_lpc", 1},
        {'t', "res/ff", "acc_get_dis_res", 0},     {'t', "mem/x", "acc_get_pid_mem", 0},
        {'t', "file/", "acc_get_pid_mem", -1},     {'t', "ver/v", "acc_get_fw_ver", 0},
        {'t', "ddr/0", "acc_ddr_test", 1},         {'t', "ddr/:5", "acc_ddr_test", 0},
        {'t', "loop/", "acc_pcie_loop_test", -1},  {'t', "loop/-1", "acc_pcie_loop_test", 1},
        {'t', "flash/", "acc_flash_test", -1},     {'t', "flash/a", "acc_flash_test", 0},
        {'l', "f/", "load_compress_logic_file", -1},
    };
    for (const Case &c : cases) {
        ConsoleRun r = run(c.block, c.path);
        EXPECT_EQ(r.status, -1202) << c.path;
        EXPECT_EQ(r.out, invalid(c.handler, c.iret)) << c.path;
    }
    EXPECT_TRUE(sim_journal().empty() || records(kCard, kReadReg).empty());
    EXPECT_EQ(g_oxcomp_init_flag.load(), 0u) << "nothing initialised for refused text";

    const std::string longPath = "f/" + std::string(300, 'a');
    ConsoleRun r = run('l', longPath);
    EXPECT_EQ(r.status, -1202);
    EXPECT_EQ(r.out.rfind("FAILED\nInvalid input, please check [load_compress_logic_file]", 0), 0u) << r.out;
}

TEST_F(AccCardTest, RegisterRowsOnSuccessAndOnAFailingRequest)
{
    asmf_sim_set_reg(0x100, 0xABCD);
    ConsoleRun r = run('t', "rd/0x100");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Read reg addr 0x100  data 0xabcd \nSUCCESS\n");
    r = run('t', "wrt/0x104:0x55");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Write reg addr 0x104  data 0x55 \nSUCCESS\n");
    EXPECT_EQ(asmf_sim_reg(0x104), 0x55u);

    sim_fail_request(kCard, kReadReg, EIO);
    sim_fail_request(kCard, kWriteReg, EIO);
    r = run('t', "rd/0x100");
    EXPECT_LT(r.status, 0);
    EXPECT_EQ(r.out, "FAILED\nFunction oxcompReadDwordReg addr 0x100 exe error, iRet = " +
                         std::to_string(r.status) + "\n");
    r = run('t', "wrt/0x104:0x66");
    EXPECT_LT(r.status, 0);
    EXPECT_EQ(r.out, "FAILED\nFunction oxcompWriteDwordReg addr 0x104 data 0x66 error, iRet = " +
                         std::to_string(r.status) + "\n");
    EXPECT_EQ(asmf_sim_reg(0x104), 0x55u);
}

TEST_F(AccCardTest, LpcRowsReachTheFlashDriverWithTheirLowBits)
{
    spi_flash_set_lpc(0x12, 0x5A);
    ConsoleRun r = run('t', "rdlpc/0x0012");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Read lpc addr 0x12  data 0x5a \nSUCCESS\n");
    r = run('t', "wrtlpc/0xfe34:0xa5");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Write lpc addr 0xfe34  data 0xa5 \nSUCCESS\n");
    EXPECT_EQ(spi_flash_lpc(0xFE34), 0xA5);

    sim_fail_request(kFlashNode, SPI_FLASH_LPC_READ, EIO);
    sim_fail_request(kFlashNode, SPI_FLASH_LPC_WRITE, EIO);
    r = run('t', "rdlpc/0x12");
    EXPECT_LT(r.status, 0);
    EXPECT_TRUE(r.out.ends_with("[quorbix-ERR]ioctl error, errno = 5(Input/output error)\nFAILED\nFunction "
                                "lpc_addr_read addr 0x12 exe error, iRet = " +
                                std::to_string(r.status) + "\n"))
        << r.out;
    r = run('t', "wrtlpc/0x34:0x01");
    EXPECT_LT(r.status, 0);
    EXPECT_TRUE(r.out.ends_with("[quorbix-ERR]ioctl error, errno = 5(Input/output error)\nFAILED\nFunction "
                                "lpc_addr_write addr 0x34 data 0x1 error, iRet = " +
                                std::to_string(r.status) + "\n"))
        << r.out;
    EXPECT_EQ(spi_flash_lpc(0x34), 0);
}

TEST_F(AccCardTest, BookkeepingRowsAskTheDriversForTheRightProcess)
{
    struct Case {
        const char *path;
        uint32_t pid;
    };
    for (const Case c : {Case{"mem/0", 0xFFFFFFFFu}, Case{"file/1234", 1234u}, Case{"mem/-1", 0xFFFFFFFFu}}) {
        sim_clear_journal();
        ConsoleRun r = run('t', c.path);
        EXPECT_EQ(r.status, 0) << c.path;
        EXPECT_EQ(r.out, "") << c.path;
        auto seen = records(ASMF_MEM_NODE, kShowPid);
        ASSERT_EQ(seen.size(), 1u) << c.path;
        EXPECT_EQ(word(seen[0], 0), c.pid) << c.path;
    }
    EXPECT_EQ(run('t', "res/0xff").status, 0);
    EXPECT_EQ(records(ASMF_RES_NODE, kShowRes).size(), 1u);
    sim_clear_journal();
    ConsoleRun r = run('t', "res/0x1");
    EXPECT_EQ(r.status, -1202);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(records(ASMF_RES_NODE, kShowRes).empty());

    sim_fail_request(ASMF_MEM_NODE, kShowPid, EIO);
    sim_fail_request(ASMF_RES_NODE, kShowRes, EIO);
    r = run('t', "mem/7");
    EXPECT_EQ(r.status, -1315);
    EXPECT_EQ(r.out.rfind("oxcompShowPidMem failed,ret = ", 0), 0u) << r.out;
    r = run('t', "res/0xff");
    EXPECT_EQ(r.status, -1315);
    EXPECT_EQ(r.out.rfind("oxcompShowDisResInfo failed,ret = ", 0), 0u) << r.out;
}

TEST_F(AccCardTest, RunningVersionFromTheFirmwareText)
{
    struct Case {
        std::string firmware;
        const char *param;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {"fw ver_12", "0", 0, "run_ver:102\n\n"},
        {"card ver_1a7 build 3", "0", 0, "run_ver:1007\n\n"},
        {"fw ver_5", "0", 0, "run_ver:005\n\n"},
        {"fw 3.4.5", "0", -1212, "parse running version fail! "},
        {"fwver_12", "0", -1212, "parse running version fail! "},
        {"fw ver_zz", "0", -1212, "scan running version fail! "},       // not success with a count of 0
        {std::string(60, 'x') + " ver", "0", -1212, "parse running version fail! "},
        {std::string(64, 'y'), "0", -1212, "parse running version fail! "},  // no terminator in the slot
        {"fw ver_12", "1", -1202, "get run_ver failed!\n"},
    };
    for (const Case &c : cases) {
        asmf_sim_settings().firmwareVersion = c.firmware;
        ConsoleRun r = run('t', std::string("ver/") + c.param);
        EXPECT_EQ(r.status, c.status) << c.firmware;
        EXPECT_EQ(r.out, c.out) << c.firmware;
    }
    EXPECT_EQ(g_oxcomp_init_flag.load(), 1u);
}

TEST_F(AccCardTest, InitialisationFailureStopsVersionDdrAndLoop)
{
    sim_remove_node(ASMF_RES_NODE);
    struct Case {
        const char *path;
        const char *tail;
    };
    for (const Case c : {Case{"ver/0", ""}, Case{"ddr/0:0", "DDR test failed!\n"},
                         Case{"loop/1", "Pcie loop test test failed!\n"}}) {
        ConsoleRun r = run('t', c.path);
        EXPECT_EQ(r.status, -1237) << c.path;
        const std::regex line("oxcompInit failed,ret = -?[0-9]+\n\n");
        EXPECT_TRUE(std::regex_match(r.out.substr(0, r.out.size() - std::strlen(c.tail)), line)) << r.out;
        EXPECT_TRUE(r.out.ends_with(c.tail)) << r.out;
    }
}

TEST(AccRounds, OneRoundPerPeriodAndAtLeastOne)
{
    struct Case {
        int32_t seconds, period;
        uint32_t rounds;
    };
    for (const Case c : {Case{0, 180, 1}, Case{-5, 180, 1}, Case{180, 180, 1}, Case{181, 180, 1}, Case{360, 180, 2},
                         Case{541, 180, 3}, Case{30, 12, 2}, Case{5, 12, 1}, Case{INT32_MAX, 12, 178956970}})
        EXPECT_EQ(acc_rounds(c.seconds, c.period), c.rounds) << c.seconds << "/" << c.period;
}

TEST_F(AccCardTest, DdrRunsItsRoundsOnTheCard)
{
    const uint64_t before = sim_clock_ns();
    ConsoleRun r = run('t', "ddr/7:360");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Test 0 time success! \n\nTest 1 time success! \n\nDDR test success!\n");
    // Each round holds a 15 s turn test.
    const uint64_t spent = sim_clock_ns() - before;
    EXPECT_GE(spent, 2 * 15'000'000'000ull);
    EXPECT_LT(spent, 3 * 15'000'000'000ull);
}

TEST_F(AccCardTest, DdrAndLoopFailWhenAChannelDoesNotPass)
{
    struct Case {
        const char *path;
        void (*arm)();
        std::string out;
    };
    const Case cases[] = {
        {"ddr/0:0", [] { asmf_sim_settings().ddrCheckFailMask = 0x4; },
         "oxcompDdrSelfCheck channel 2 state 2\n\noxcompDdrSelfCheck failed,ret = 0\n\nDDR test failed!\n"},
        {"ddr/0:400", [] { asmf_sim_settings().turnErrorMask = 0x1; },
         "oxcompDdrTurnTest channel 0 state 2\n\noxcompDdrTurnTest failed,ret = 0\n\nDDR test failed!\n"},
        {"loop/2", [] { asmf_sim_settings().dmaErrorMask = 0x2; },
         "oxcompDdrPcieTest channel 1 state 2\n\noxcompDdrPcieTest failed,ret = 0\n\nPcie loop test test failed!\n"},
    };
    const AsmfSimSettings board = asmf_sim_settings();
    for (const Case &c : cases) {
        asmf_sim_settings() = board;
        c.arm();
        ConsoleRun r = run('t', c.path);
        EXPECT_EQ(r.status, -1398) << c.path;
        EXPECT_EQ(r.out, c.out) << c.path;
    }
    asmf_sim_settings() = board;
    ConsoleRun r = run('t', "loop/2");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Pcie loop test success!\n");

    sim_fail_request(kCard, kReadReg, EIO);
    r = run('t', "ddr/0:0");
    EXPECT_EQ(r.status, -1398);
    EXPECT_TRUE(std::regex_match(r.out, std::regex("oxcompDdrSelfCheck failed,ret = -[0-9]+\n\nDDR test failed!\n")))
        << r.out;
    r = run('t', "loop/1");
    EXPECT_EQ(r.status, -1398);
    EXPECT_TRUE(std::regex_match(
        r.out, std::regex("oxcompDdrPcieTest failed,ret = -[0-9]+\n\nPcie loop test test failed!\n")))
        << r.out;
}

TEST_F(AccCardTest, FlashTestChecksTheTypeOneImageInFlashZero)
{
    ConsoleRun r = run('t', "flash/0");  // a fresh DORN flash 0 holds a type-0 image
    EXPECT_EQ(r.status, -1312);
    EXPECT_TRUE(r.out.ends_with("FPGA fw test failed!\n")) << r.out;

    type_one_image();
    r = run('t', "flash/5");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.ends_with("Test finish [0] successful! Finish operation\nFPGA fw test success!\n")) << r.out;
    EXPECT_FALSE(spi_flash_state(0).open);
}

TEST_F(AccCardTest, LoadWritesTheImageReversedIntoFlashZero)
{
    auto img = flash_image({.dataLen = 3000, .version = 42});
    sim_write_file("/logic.bin", std::string(img.begin(), img.end()));
    ConsoleRun r = run('l', "f//logic.bin");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.ends_with("FPGA fw load success!\n")) << r.out;
    EXPECT_EQ(spi_flash_peek(0, 0, static_cast<uint32_t>(img.size())),
              flash_image({.dataLen = 3000, .version = 42, .reversed = true}));
    EXPECT_EQ(spi_flash_state(0).loadType, 1u);
    EXPECT_EQ(run('t', "flash/0").status, 0);

    r = run('l', "f//missing.bin");
    EXPECT_EQ(r.status, -1221);
    EXPECT_TRUE(r.out.ends_with("Function ruda_fpga_load_file exe error, iRet = -1221 [load_sbuf_logic_file] "
                                "compress/compress:L\nFPGA fw load failed!\n"))
        << r.out;
}

}  // namespace
