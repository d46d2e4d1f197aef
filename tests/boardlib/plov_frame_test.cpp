// The frame of the packet library: the board-logic-type probe, the step
// that runs it for every operation, the log line and its hook, and the
// operations with a fixed result.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "boardlib/plov_trans_intf.h"
#include "boardlib/plov_types.h"
#include "sim/fpga_model.h"
#include "support/sim_fixture.h"

namespace {

class PlovFrameTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        geBoardLogicType = PLOV_BOARD_UNKNOWN;  // the type is kept per process
    }
    void TearDown() override
    {
        geBoardLogicType = PLOV_BOARD_UNKNOWN;
        SimTest::TearDown();
    }
    void board_name(const std::string &text) { sim_write_file(PLOV_BOARD_NAME_PATH, text); }
    void no_board_name() { std::remove(sim_path(PLOV_BOARD_NAME_PATH).c_str()); }

    // Texts of the log lines after "file:line ".
    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const SimLogLine &l : sim_syslog()) {
            EXPECT_EQ(l.text.rfind("[PLOV_LOG] boardlib/plov_trans_intf.cpp:", 0), 0u) << l.text;
            out.push_back(l.text.substr(l.text.find(' ', 11) + 1));
        }
        return out;
    }
};

const std::string kOpenFailed = "[Trans-ERR]open /sys/devices/virtual/dmi/id/board_name failed\n";

TEST_F(PlovFrameTest, ProbeReadsTheBoardName)
{
    struct Case {
        const char *content;  // nullptr: no file
        PlovStatus status;
        uint32_t type;        // from a preset of 7
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"ZK17DORN\n", PLOV_OK, PLOV_BOARD_DORN, {}},
        {"ZK17KESP", PLOV_OK, PLOV_BOARD_KESP, {}},
        {"abcZK17KESP\n", PLOV_OK, PLOV_BOARD_KESP, {}},          // a substring test
        {"ZK17WENA\n", PLOV_ERR_BOARD_NAME, PLOV_BOARD_UNKNOWN, {}},  // known board, no packet FPGAs
        {"01234567ZK17DORN", PLOV_ERR_BOARD_NAME, PLOV_BOARD_UNKNOWN, {}},  // beyond the 15 characters read
        {"", PLOV_ERR_BOARD_NAME, 7, {"[Trans-ERR]unknow board type,name \n"}},
        {nullptr, PLOV_ERR_OPEN, 7, {kOpenFailed}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.content ? c.content : "(missing)");
        sim_clear_syslog();
        if (c.content)
            board_name(c.content);
        else
            no_board_name();
        uint32_t type = 7;
        EXPECT_EQ(TRANS_BoardGetLogicType(&type), c.status);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(texts(), c.log);
        EXPECT_EQ(sim_open_count(), 0);
    }
}

TEST_F(PlovFrameTest, MissingNameFailsEveryOperationAndProbesAgain)
{
    no_board_name();
    const std::vector<std::string> once = {kOpenFailed, "[PLOV_SFP_8472-ERR]TRANS_GetLogicVer err [return -1216 ]\n"};
    for (int round = 1; round <= 2; round++) {
        sim_clear_syslog();
        EXPECT_EQ(PlovCheckLogicType(), PLOV_ERR_OPEN);
        EXPECT_EQ(geBoardLogicType, PLOV_BOARD_UNKNOWN);
        EXPECT_EQ(texts(), once);
        for (const SimLogLine &l : sim_syslog())
            EXPECT_EQ(l.priority, PLOV_LEVEL_ERR);
    }
    board_name("ZK17DORN\n");
    EXPECT_EQ(PlovCheckLogicType(), PLOV_OK);
    EXPECT_EQ(geBoardLogicType, PLOV_BOARD_DORN);
    // Known now: the name is not read again.
    no_board_name();
    sim_clear_syslog();
    EXPECT_EQ(PlovCheckLogicType(), PLOV_OK);
    EXPECT_TRUE(sim_syslog().empty());
}

TEST_F(PlovFrameTest, OtherBoardFailsWithoutOpenLine)
{
    board_name("ZK17WENA\n");
    for (int round = 1; round <= 2; round++) {
        sim_clear_syslog();
        EXPECT_EQ(PlovCheckLogicType(), PLOV_ERR_BOARD_NAME);
        EXPECT_EQ(texts(), std::vector<std::string>{"[PLOV_SFP_8472-ERR]TRANS_GetLogicVer err [return -1200 ]\n"});
    }
}

// A hook that records what it was handed.
struct HookCall {
    int level = -1;
    int zero = -1;
    std::string format;
    std::string file;
    int line = 0;
    int value = 0;
};
HookCall g_hook;

void capture_hook(int level, int zero, const char *format, const char *file, int line, ...)
{
    g_hook.level = level;
    g_hook.zero = zero;
    g_hook.format = format;
    g_hook.file = file;
    g_hook.line = line;
    va_list args;
    va_start(args, line);
    g_hook.value = va_arg(args, int);  // the frame's line carries one int
    va_end(args);
}

TEST_F(PlovFrameTest, HookTakesTheLineInsteadOfSyslog)
{
    g_hook = HookCall{};
    g_pfPLOVTransLog = capture_hook;
    no_board_name();
    EXPECT_EQ(PlovCheckLogicType(), PLOV_ERR_OPEN);
    g_pfPLOVTransLog = nullptr;
    EXPECT_TRUE(sim_syslog().empty());
    // The last line is the frame's.
    EXPECT_EQ(g_hook.level, PLOV_LEVEL_ERR);
    EXPECT_EQ(g_hook.zero, 0);
    EXPECT_EQ(g_hook.format, "[PLOV_LOG] %s:%d [PLOV_SFP_8472-ERR]TRANS_GetLogicVer err [return %d ]\n");
    EXPECT_EQ(g_hook.file, "boardlib/plov_trans_intf.cpp");
    EXPECT_GT(g_hook.line, 0);
    EXPECT_EQ(g_hook.value, PLOV_ERR_OPEN);
}

TEST_F(PlovFrameTest, LogLevelsOfTheTags)
{
    TRANS_LOG_ERR("e %d", 1);
    TRANS_LOG_INFO("i");
    TRANS_LOG_DBG("d");
    PLOV_LOG_INFO("p");
    ASSERT_EQ(sim_syslog().size(), 4u);
    const std::pair<int, std::string> expected[] = {
        {PLOV_LEVEL_ERR, "[Trans-ERR]e 1"},
        {PLOV_LEVEL_INFO, "[Trans-INFO]i"},
        {PLOV_LEVEL_DBG, "[Trans-DBG]d"},
        {PLOV_LEVEL_INFO, "[PLOV_SFP_8472-INFO]p"},
    };
    for (size_t i = 0; i < 4; i++) {
        const SimLogLine &l = sim_syslog()[i];
        EXPECT_EQ(l.priority, expected[i].first);
        EXPECT_EQ(l.text.rfind("[PLOV_LOG] tests/boardlib/plov_frame_test.cpp:", 0), 0u) << l.text;
        EXPECT_TRUE(l.text.ends_with(" " + expected[i].second)) << l.text;
    }
}

TEST_F(PlovFrameTest, FixedResultOperationsTouchNothing)
{
    uint32_t word = 0xA5A5;
    uint16_t level = 0x5A;
    PortStatistic stat{};
    stat.RxBytes = 9;
    EXPECT_EQ(PlovTransSetIntMask(7, 1), PLOV_OK);
    EXPECT_EQ(PlovTransGetIntMask(7, &word), PLOV_OK);
    EXPECT_EQ(PlovTransGetIntMask(0, nullptr), PLOV_OK);
    EXPECT_EQ(PlovTransGetPortPrivStatistics(0, 99, &stat), PLOV_OK);
    EXPECT_EQ(PlovTransGetPortPrivStatistics(0, 0, nullptr), PLOV_OK);
    EXPECT_EQ(PlovTransSetAntiCpuSwitchAll(3, 1), PLOV_OK);
    EXPECT_EQ(PlovTransGetAntiCpuSwitchAll(3, &word), PLOV_OK);
    EXPECT_EQ(PlovTransSetAntiCpuSwitch(0, 1, 1), PLOV_OK);
    EXPECT_EQ(PlovTransGetAntiCpuSwitch(0, 1, nullptr), PLOV_OK);
    EXPECT_EQ(PlovTransSetAntiCpuResLevel(0, 1, 2), PLOV_OK);
    EXPECT_EQ(PlovTransGetAntiCpuResLevel(0, 1, &level), PLOV_OK);
    EXPECT_EQ(word, 0xA5A5u);
    EXPECT_EQ(level, 0x5A);
    EXPECT_EQ(stat.RxBytes, 9u);
    EXPECT_TRUE(sim_journal().empty());
    EXPECT_TRUE(sim_syslog().empty());
    EXPECT_EQ(geBoardLogicType, PLOV_BOARD_UNKNOWN);
}

} // namespace
