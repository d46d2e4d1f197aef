// The PCI diagnosis log: gate, line shapes, console lines and hex dumps.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "bases/pci/tvk_log.h"
#include "support/sim_fixture.h"

namespace {

class TvkLogTest : public SimTest {
protected:
    std::string log() { return sim_read_file("/tavik.log"); }
    // File and line masked: "F N <tag>text".
    static std::string masked(const std::string &text)
    {
        return std::regex_replace(text, std::regex("(^|\n)\\S+\\.cpp \\d+ "), "$1F N ");
    }
    std::string masked_log() { return std::regex_replace(log(), std::regex("(^|\n)\\S+\\.cpp \\d+ "), "$1F N "); }
};

TEST_F(TvkLogTest, LevelsAtTheInitialSettingAndTheirLines)
{
    struct Case {
        int level;
        bool written;
        const char *line;
    };
    const Case cases[] = {
        {TVK_LVL_DBG, false, ""},
        {TVK_LVL_INFO, false, ""},
        {TVK_LVL_NOTE, false, ""},
        {TVK_LVL_WARN, true, "F N <TVK-WARN>x=7\n"},
        {TVK_LVL_ERR, true, "F N <TVK-ERR>x=7\n"},
        {TVK_LVL_LOG, true, "F N [LOG] x=7\n"},
    };
    ASSERT_EQ(g_iLogLevel, 3);
    for (const Case &c : cases) {
        std::filesystem::remove(sim_path("/tavik.log"));
        sim_clear_journal();
        tvk_log_at("tests/x.cpp", 12, c.level, "x=%d\n", 7);
        EXPECT_EQ(masked_log(), c.line) << c.level;
        EXPECT_EQ(std::filesystem::exists(sim_path("/tavik.log")), c.written) << "no file access when gated";
    }
    std::filesystem::remove(sim_path("/tavik.log"));
    tvk_log_at("tests/x.cpp", 12, TVK_LVL_ERR, "a\n");
    tvk_log_at("tests/x.cpp", 13, TVK_LVL_ERR, "b\n");
    EXPECT_EQ(log(), "tests/x.cpp 12 <TVK-ERR>a\ntests/x.cpp 13 <TVK-ERR>b\n") << "appended";
}

TEST_F(TvkLogTest, ShowLinesGoToStandardOutputOnly)
{
    testing::internal::CaptureStdout();
    TVK_SHOW("Cannot open mch drv, %s\n", "No such file");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[SHOW] Cannot open mch drv, No such file\n");
    EXPECT_FALSE(std::filesystem::exists(sim_path("/tavik.log")));
}

TEST_F(TvkLogTest, AnUnwritableLogGoesToStandardOutput)
{
    std::filesystem::create_directories(sim_path("/tavik.log"));
    testing::internal::CaptureStdout();
    tvk_log_at("tests/x.cpp", 5, TVK_LVL_ERR, "lost? %s\n", "no");
    tvk_log_at("tests/x.cpp", 6, TVK_LVL_LOG, "%d buses found in total :\n", 3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "tests/x.cpp 5 <TVK-ERR>lost? no\ntests/x.cpp 6 [LOG] 3 buses found in total :\n");
}

TEST_F(TvkLogTest, HexDumps)
{
    const uint8_t bytes[20] = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19,
                               0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f, 0x20, 0x21, 0x22, 0x23};
    const std::string head = "F N <WHO>--------  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n";
    struct Case {
        int level;
        const uint8_t *data;
        int len, addr, limit;
        const char *who;
        std::string out;
    } cases[] = {
        {3, bytes, 8, 0x44, 8, nullptr,
         head + "F N <WHO>00000040:             10 11 12 13 14 15 16 17\n"},
        {3, bytes, 0, 0x40, 8, nullptr, head + "F N <WHO>\n"},
        {4, bytes, 20, 0x0e, 4, "cfg", "F N cfg--------  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n"
                                       "F N cfg00000000:                                           10 11\n"
                                       "F N cfg00000010: 12 13\n"},
        {3, bytes, 18, 0, 100, nullptr,
         head + "F N <WHO>00000000: 10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f\nF N <WHO>00000010: 20 21\n"},
        {0, bytes, 8, 0, 8, nullptr, ""},
        {-1, bytes, 8, 0, 8, nullptr, ""},
        {4, nullptr, 8, 0, 8, nullptr, ""},
    };
    for (const Case &c : cases) {
        std::filesystem::remove(sim_path("/tavik.log"));
        tvk_level_log_hex(c.level, c.data, c.len, c.addr, c.limit, c.who);
        EXPECT_EQ(masked(log()), c.out) << c.len << " at " << c.addr;
    }
}

} // namespace
