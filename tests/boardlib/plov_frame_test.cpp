// The frame of the packet library: the board-logic-type probe, the step
// that runs it for every operation, the log line and its hook, and the
// operations with a fixed result.
#include <cstdarg>
#include <cstdio>

#include "boardlib/plov_trans_intf.h"
#include "boardlib/plov_types.h"
#include "support/fpga_test_util.h"
#include "support/sim_fixture.h"

namespace {

constexpr const char *kFile = "boardlib/plov_trans_intf.cpp";
const std::string kOpenFailed = "[Trans-ERR]open /sys/devices/virtual/dmi/id/board_name failed\n";

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
    // The board name file's content; nullptr removes it.
    void board_name(const char *text)
    {
        if (text)
            sim_write_file(PLOV_BOARD_NAME_PATH, text);
        else
            std::remove(sim_path(PLOV_BOARD_NAME_PATH).c_str());
    }
};

TEST_F(PlovFrameTest, ProbeReadsTheBoardName)
{
    struct Case {
        const char *content;
        PlovStatus status;
        uint32_t type;  // from a preset of 7
        std::vector<std::string> log;
    } cases[] = {
        {"ZK17DORN\n", 0, PLOV_BOARD_DORN, {}},
        {"ZK17KESP", 0, PLOV_BOARD_KESP, {}},
        {"abcZK17KESP\n", 0, PLOV_BOARD_KESP, {}},                 // a substring test
        {"ZK17WENA\n", -1200, PLOV_BOARD_UNKNOWN, {}},            // known board, no packet FPGAs
        {"01234567ZK17DORN", -1200, PLOV_BOARD_UNKNOWN, {}},      // beyond the 15 characters read
        {"", -1200, 7, {"[Trans-ERR]unknow board type,name \n"}},
        {nullptr, -1216, 7, {kOpenFailed}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.content ? c.content : "(missing)");
        sim_clear_syslog();
        board_name(c.content);
        uint32_t type = 7;
        EXPECT_EQ(TRANS_BoardGetLogicType(&type), c.status);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(plov_lines(kFile), c.log);
        ASSERT_EQ(sim_open_count(), 0);
    }
    EXPECT_EQ(TRANS_BoardGetLogicType(nullptr), -1201);
}

// Until the type is known every operation probes again and fails with the
// probe's code; once known, the name is not read again.
TEST_F(PlovFrameTest, CheckProbesUntilTheTypeIsKnown)
{
    struct Case {
        const char *content;
        PlovStatus status;
        std::vector<std::string> log;
    } cases[] = {
        {nullptr, -1216, {kOpenFailed, "[PLOV_SFP_8472-ERR]TRANS_GetLogicVer err [return -1216 ]\n"}},
        {"ZK17WENA\n", -1200, {"[PLOV_SFP_8472-ERR]TRANS_GetLogicVer err [return -1200 ]\n"}},
    };
    for (const Case &c : cases) {
        board_name(c.content);
        for (int round = 1; round <= 2; round++) {
            SCOPED_TRACE(round);
            sim_clear_syslog();
            EXPECT_EQ(PlovCheckLogicType(), c.status);
            EXPECT_EQ(geBoardLogicType, PLOV_BOARD_UNKNOWN);
            EXPECT_EQ(plov_lines(kFile), c.log);
        }
    }
    board_name("abcZK17KESP\n");
    EXPECT_EQ(PlovCheckLogicType(), 0);
    EXPECT_EQ(geBoardLogicType, PLOV_BOARD_KESP);
    board_name(nullptr);
    sim_clear_syslog();
    EXPECT_EQ(PlovCheckLogicType(), 0);
    EXPECT_TRUE(sim_syslog().empty());
}

// A hook that records what it was handed.
struct HookCall {
    int level = -1, zero = -1, line = 0, value = 0;
    std::string format, file;
} g_hook;

void capture_hook(int level, int zero, const char *format, const char *file, int line, ...)
{
    g_hook = HookCall{level, zero, line, 0, format, file};
    va_list args;
    va_start(args, line);
    g_hook.value = va_arg(args, int);  // the frame's line carries one int
    va_end(args);
}

TEST_F(PlovFrameTest, HookTakesTheLineInsteadOfSyslog)
{
    g_pfPLOVTransLog = capture_hook;
    board_name(nullptr);
    EXPECT_EQ(PlovCheckLogicType(), -1216);
    g_pfPLOVTransLog = nullptr;
    EXPECT_TRUE(sim_syslog().empty());
    EXPECT_EQ(g_hook.level, PLOV_LEVEL_ERR);  // the last line is the frame's
    EXPECT_EQ(g_hook.zero, 0);
    EXPECT_EQ(g_hook.format, "[PLOV_LOG] %s:%d [PLOV_SFP_8472-ERR]TRANS_GetLogicVer err [return %d ]\n");
    EXPECT_EQ(g_hook.file, kFile);
    EXPECT_GT(g_hook.line, 0);
    EXPECT_EQ(g_hook.value, -1216);
}

TEST_F(PlovFrameTest, LogLevelsOfTheTags)
{
    TRANS_LOG_ERR("e %d", 1);
    TRANS_LOG_INFO("i");
    TRANS_LOG_DBG("d");
    PLOV_LOG_INFO("p");
    const std::pair<int, std::string> expected[] = {
        {PLOV_LEVEL_ERR, "[Trans-ERR]e 1"},
        {PLOV_LEVEL_INFO, "[Trans-INFO]i"},
        {PLOV_LEVEL_DBG, "[Trans-DBG]d"},
        {PLOV_LEVEL_INFO, "[PLOV_SFP_8472-INFO]p"},
    };
    ASSERT_EQ(sim_syslog().size(), 4u);
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
    const PlovStatus results[] = {
        PlovTransSetIntMask(7, 1),           PlovTransGetIntMask(7, &word),
        PlovTransGetIntMask(0, nullptr),     PlovTransGetPortPrivStatistics(0, 99, &stat),
        PlovTransSetAntiCpuSwitchAll(3, 1),  PlovTransGetAntiCpuSwitchAll(3, &word),
        PlovTransSetAntiCpuSwitch(0, 1, 1),  PlovTransGetAntiCpuSwitch(0, 1, &word),
        PlovTransSetAntiCpuResLevel(0, 1, 2), PlovTransGetAntiCpuResLevel(0, 1, &level),
    };
    for (PlovStatus r : results)
        EXPECT_EQ(r, 0);
    EXPECT_EQ(word, 0xA5A5u);
    EXPECT_EQ(level, 0x5A);
    EXPECT_EQ(stat.RxBytes, 9u);
    EXPECT_TRUE(sim_journal().empty());
    EXPECT_TRUE(sim_syslog().empty());
    EXPECT_EQ(geBoardLogicType, PLOV_BOARD_UNKNOWN);
}

} // namespace
