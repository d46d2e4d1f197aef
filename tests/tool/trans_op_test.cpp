#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "tool/trans_op.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// ---- get_target_name ---------------------------------------------------------

struct NameCase {
    const char *text;
    int result;
    const char *word;
};

TEST(GetTargetName, CutsTheWordBeforeTheFirstSlash)
{
    const std::string w31(31, 'a');
    const std::string w32(32, 'a');
    const std::string w31slash = w31 + "/x";
    const std::string w32slash = w32 + "/x";
    const std::string blanks31 = "  \t" + w31;
    const NameCase cases[] = {
        {"port/k/0:1", 5, "port"},
        {"port", 4, "port"},
        {"port/", 5, "port"},
        {"  \tport/k", 8, "port"},
        {"/x", 1, ""},
        {"", 0, ""},
        {"   ", 3, ""},
        {"a b/c", 4, "a b"},
        {w31.c_str(), 31, w31.c_str()},
        {w31slash.c_str(), 32, w31.c_str()},
        {blanks31.c_str(), 34, w31.c_str()},
        {w32.c_str(), kTargetNameTooLong, nullptr},
        {w32slash.c_str(), kTargetNameTooLong, nullptr},
    };
    for (const NameCase &c : cases) {
        char word[kTargetWordSize];
        std::memset(word, 'z', sizeof(word));
        EXPECT_EQ(get_target_name(c.text, word), c.result) << "text: " << c.text;
        if (c.word != nullptr) {
            EXPECT_STREQ(word, c.word) << "text: " << c.text;
        }
    }
}

TEST(GetTargetName, RefusesNullArguments)
{
    char word[kTargetWordSize];
    EXPECT_EQ(get_target_name(nullptr, word), kTargetNameNull);
    EXPECT_EQ(get_target_name("port", nullptr), kTargetNameNull);
}

// ---- get_match_op and dispatch on a block of this test -----------------------

std::string g_seen;

TransOpStatus record_params(const char *params)
{
    g_seen = params;
    return 0;
}

TransOpStatus fail_params(const char *params)
{
    g_seen = params;
    return -1330;
}

TransOpStatus positive_status(const char *)
{
    return 256;
}

constexpr TransOpBlock kSubBlock = {0, "sub", {
    {"k", "link", record_params},
    {"K", nullptr, record_params},
}};

TransOpStatus sub_dispatch(const char *params)
{
    return trans_op_dispatch(kSubBlock, params);
}

constexpr TransOpBlock kTestBlock = {0, "top", {
    {"ok", "first line\r\n\tsecond", record_params},
    {"fail", nullptr, fail_params},
    {"pos", nullptr, positive_status},
    {"none", "no handler yet", nullptr},
    {"dup", "first", record_params},
    {"dup", "second", fail_params},
    {"sub", nullptr, sub_dispatch},
    {nullptr, nullptr, nullptr},
    {"hidden", nullptr, record_params},
}};

struct MatchCase {
    const char *word;
    int count;
    int row;  // index into kTestBlock.rows, -1 for none
};

TEST(GetMatchOp, FindsTheFirstRowWithAHandler)
{
    const MatchCase cases[] = {
        {"ok", 64, 0},
        {"fail", 64, 1},
        {"OK", 64, -1},       // case-sensitive
        {"o", 64, -1},        // exact
        {"none", 64, -1},     // row without handler
        {"dup", 64, 4},       // first of two
        {"hidden", 64, -1},   // beyond the end of the block
        {"fail", 1, -1},      // beyond the count
        {"ok", 0, -1},
        {"ok", -1, -1},
        {"", 64, -1},
    };
    for (const MatchCase &c : cases) {
        const TransOpEntry *want = c.row < 0 ? nullptr : &kTestBlock.rows[c.row];
        EXPECT_EQ(get_match_op(kTestBlock.rows, c.count, c.word), want) << c.word << " " << c.count;
    }
    EXPECT_EQ(get_match_op(nullptr, 64, "ok"), nullptr);
    EXPECT_EQ(get_match_op(kTestBlock.rows, 64, nullptr), nullptr);
    const TransOpEntry empty[2] = {{nullptr, nullptr, nullptr}, {"ok", nullptr, record_params}};
    EXPECT_EQ(get_match_op(empty, 2, "ok"), nullptr);
}

TEST(GetMatchOp, SearchesAllSixtyFourRowsOfAFullBlock)
{
    static TransOpEntry rows[kTransOpRows];
    static char names[kTransOpRows][4];
    for (size_t i = 0; i < kTransOpRows; i++) {
        std::snprintf(names[i], sizeof(names[i]), "r%zu", i);
        rows[i] = {names[i], nullptr, record_params};
    }
    EXPECT_EQ(get_match_op(rows, 64, "r63"), &rows[63]);
    EXPECT_EQ(get_match_op(rows, 63, "r63"), nullptr);
}

struct DispatchCase {
    const char *text;
    TransOpStatus status;
    const char *output;
    const char *seen;  // parameter text the handler got, null when none ran
};

TEST(Dispatch, PassesTheRestOfThePathAndReportsErrors)
{
    const std::string w31(31, 'w');
    const std::string w32 = std::string(32, 'w') + "/x";
    const std::string p31 = w31 + "/x";
    const std::string out31 = "Target \"" + w31 + "\" is not supported\n";
    const DispatchCase cases[] = {
        {"ok/0:1", 0, "", "0:1"},
        {"ok", 0, "", ""},
        {"ok/", 0, "", ""},
        {"  ok/a/b", 0, "", "a/b"},
        {"fail/7", -1330, "", "7"},
        {"pos/", 256, "", nullptr},
        {"sub/k/0:1", 0, "", "0:1"},
        {"sub/K/2:3", 0, "", "2:3"},
        {"sub/q/0:1", -17, "Target \"q\" is not supported\n", nullptr},
        {"sub", -18, "Cannot get operate target name\n", nullptr},
        {"sub/", -18, "Cannot get operate target name\n", nullptr},
        {"Ok/1", -17, "Target \"Ok\" is not supported\n", nullptr},
        {"none/1", -17, "Target \"none\" is not supported\n", nullptr},
        {"hidden/1", -17, "Target \"hidden\" is not supported\n", nullptr},
        {"/x", -17, "Target \"\" is not supported\n", nullptr},
        {"   ", -17, "Target \"\" is not supported\n", nullptr},
        {"", -18, "Cannot get operate target name\n", nullptr},
        {nullptr, -18, "Cannot get operate target name\n", nullptr},
        {p31.c_str(), -17, out31.c_str(), nullptr},
        {w32.c_str(), -18, "Cannot get operate target name\n", nullptr},
    };
    for (const DispatchCase &c : cases) {
        const char *label = c.text != nullptr ? c.text : "(null)";
        g_seen = "<none>";
        CaptureStdout();
        TransOpStatus status = trans_op_dispatch(kTestBlock, c.text);
        std::fflush(stdout);
        EXPECT_EQ(GetCapturedStdout(), c.output) << label;
        EXPECT_EQ(status, c.status) << label;
        if (c.seen != nullptr) {
            EXPECT_EQ(g_seen, c.seen) << label;
        } else if (c.status != 256) {
            EXPECT_EQ(g_seen, "<none>") << label;
        }
    }
}

struct HelpCase {
    const char *text;
    const char *output;
};

TEST(HelpPrinter, ListsTheBlockOrTheRowsOfOneWord)
{
    const HelpCase cases[] = {
        {"", "available target commands are : \n"
             "\tok :first line\r\n\tsecond\n"
             "\tfail \n"
             "\tpos \n"
             "\tnone :no handler yet\n"
             "\tdup :first\n"
             "\tdup :second\n"
             "\tsub \n"},
        {nullptr, "available target commands are : \n"
                  "\tok :first line\r\n\tsecond\n"
                  "\tfail \n"
                  "\tpos \n"
                  "\tnone :no handler yet\n"
                  "\tdup :first\n"
                  "\tdup :second\n"
                  "\tsub \n"},
        {"ok", "\tok : first line\r\n\tsecond\n"},
        {" fail/x", "\tfail has no help message\n"},
        {"dup", "\tdup : first\n\tdup : second\n"},
        {"none", "\tnone : no handler yet\n"},
        {"unknown", ""},
        {"hidden", ""},
    };
    for (const HelpCase &c : cases) {
        CaptureStdout();
        TransOpStatus status = trans_op_help(kTestBlock, c.text);
        std::fflush(stdout);
        EXPECT_EQ(GetCapturedStdout(), c.output) << (c.text ? c.text : "(null)");
        EXPECT_EQ(status, 0);
    }
}

// ---- the command table -------------------------------------------------------

TEST(TransOpTab, BlocksAreNamedAndEndProperly)
{
    const char *names[kTransOpBlocks] = {
        "read", "write", "dump", "Set", "mfc", "test", "load", "clear", "m_trans", "l_trans",
        "c_trans", "m_sbuf", "l_sbuf", "c_sbuf", "m_sfp", "s_tcam", "m_table", "s_fpga",
        "m_fpga", "s_port", "m_port", "c_port", "s_queue", "m_queue", "s_bufc", "m_bufc",
        "s_secm", "m_secm", "s_transmit", "m_transmit", "s_fpga0", "m_fpga0", "t_fpga0",
        "t_trans", "t_sbuf", "l_media", "r_media", "w_media", "t_media", "d_fpga", "m_media",
        "t_acc", "l_acc", "l_ruga_bt", "l_ruga_ap", "l_ruga",
    };
    for (size_t b = 0; b < kTransOpBlocks; b++) {
        const TransOpBlock &block = g_TransOpTab[b];
        EXPECT_EQ(block.index, b);
        EXPECT_STREQ(block.name, names[b]);
        bool ended = false;
        for (const TransOpEntry &row : block.rows) {
            if (row.target == nullptr)
                ended = true;
            else
                EXPECT_FALSE(ended) << block.name << ": row " << row.target << " after the end";
        }
        EXPECT_TRUE(ended) << block.name;
    }
}

int row_count(size_t block)
{
    int n = 0;
    while (g_TransOpTab[block].rows[n].target != nullptr)
        n++;
    return n;
}

TEST(TransOpTab, RowCountsOfTheBlocks)
{
    const std::pair<size_t, int> counts[] = {
        {kBlkRead, 1}, {kBlkWrite, 7}, {kBlkDump, 7}, {kBlkSet, 10}, {kBlkMfc, 12},
        {kBlkTest, 11}, {kBlkLoad, 8}, {kBlkClear, 7}, {kBlkMSfp, 12}, {kBlkSFpga, 26},
        {kBlkMFpga, 42}, {kBlkSPort, 28}, {kBlkMPort, 30}, {kBlkCPort, 14}, {kBlkTFpga0, 8},
        {kBlkTTrans, 6}, {kBlkLMedia, 4}, {kBlkRMedia, 7}, {kBlkWMedia, 7}, {kBlkTMedia, 37},
        {kBlkMMedia, 0}, {kBlkTAcc, 17}, {kBlkLRuga, 6},
    };
    for (auto [block, n] : counts)
        EXPECT_EQ(row_count(block), n) << g_TransOpTab[block].name;
}

// Help texts: the help rows say "show this help message"; every other text
// of the verb and media/accelerator blocks has the documented shape.
TEST(TransOpTab, HelpTextsHaveTheirShape)
{
    const size_t blocks[] = {kBlkWrite, kBlkDump, kBlkSet, kBlkTest, kBlkLoad, kBlkClear,
                             kBlkRMedia, kBlkWMedia, kBlkTMedia, kBlkTAcc};
    int texts = 0;
    for (size_t b : blocks) {
        for (const TransOpEntry &row : g_TransOpTab[b].rows) {
            if (row.target == nullptr)
                break;
            if (row.help == nullptr)
                continue;
            std::string help = row.help;
            if (std::strcmp(row.target, "help") == 0) {
                EXPECT_EQ(help, "show this help message");
                continue;
            }
            texts++;
            std::string where = std::string(g_TransOpTab[b].name) + "/" + row.target;
            EXPECT_NE(help.find("\r\n\t\tusage: -- ./quorbix -"), std::string::npos) << where;
            EXPECT_NE(help.find("example : ./quorbix -"), std::string::npos) << where;
            for (size_t pos = help.find('\n'); pos != std::string::npos; pos = help.find('\n', pos + 1))
                EXPECT_EQ(help[pos - 1], '\r') << where << ": lines end in \\r\\n";
            EXPECT_NE(help.back(), '\n') << where;
        }
    }
    EXPECT_GT(texts, 70);
}

// The real dispatchers: every level reports its own errors, and the help rows
// reach the printer of their own block.
struct RealCase {
    TransOpHandler op;
    const char *text;
    TransOpStatus status;
    const char *output;
};

TEST(TransOpTab, DispatchErrorsAtEveryLevel)
{
    const RealCase cases[] = {
        {op_mfc, "port", -18, "Cannot get operate target name\n"},
        {op_mfc, "", -18, "Cannot get operate target name\n"},
        {op_mfc, "Port/k/0:1", -17, "Target \"Port\" is not supported\n"},
        {op_mfc, "disk/", -17, "Target \"disk\" is not supported\n"},
        {op_mfc, "help", -17, "Target \"help\" is not supported\n"},
        {op_mfc, "/x", -17, "Target \"\" is not supported\n"},
        {op_mfc, "port/", -18, "Cannot get operate target name\n"},
        {op_mfc, "  port/R/0:1", -17, "Target \"R\" is not supported\n"},
        {op_mfc, "queue/z/0", -17, "Target \"z\" is not supported\n"},
        {op_mfc, "trans", -18, "Cannot get operate target name\n"},
        {op_read, "mchbar/1", -17, "Target \"mchbar\" is not supported\n"},
        {op_read, "", -18, "Cannot get operate target name\n"},
        {op_write, "media/dw/0:3:0x80000000:0x1", -17, "Target \"dw\" is not supported\n"},
        {op_write, "media", -18, "Cannot get operate target name\n"},
        {op_test, "media/nothing", -17, "Target \"nothing\" is not supported\n"},
        {op_load, "ruga/A", -17, "Target \"A\" is not supported\n"},
        {op_load, "ruga/a", -17, "Target \"a\" is not supported\n"},
        {op_t_media, "info", -17, "Target \"info\" is not supported\n"},
        {op_t_acc, "ver/0", -17, "Target \"ver\" is not supported\n"},
    };
    for (const RealCase &c : cases) {
        CaptureStdout();
        TransOpStatus status = c.op(c.text);
        std::fflush(stdout);
        EXPECT_EQ(GetCapturedStdout(), c.output) << c.text;
        EXPECT_EQ(status, c.status) << c.text;
    }
}

TEST(TransOpTab, HelpRowsListTheirOwnBlock)
{
    const std::pair<TransOpHandler, size_t> verbs[] = {
        {op_write, kBlkWrite}, {op_dump, kBlkDump}, {op_set, kBlkSet}, {op_test, kBlkTest},
        {op_load, kBlkLoad}, {op_clear, kBlkClear}, {op_w_media, kBlkWMedia},
        {op_t_media, kBlkTMedia}, {op_t_acc, kBlkTAcc},
    };
    for (auto [op, block] : verbs) {
        std::string expected = "available target commands are : \n";
        for (const TransOpEntry &row : g_TransOpTab[block].rows) {
            if (row.target == nullptr)
                break;
            expected += row.help != nullptr ? std::string("\t") + row.target + " :" + row.help + "\n"
                                            : std::string("\t") + row.target + " \n";
        }
        CaptureStdout();
        EXPECT_EQ(op("help"), 0);
        std::fflush(stdout);
        EXPECT_EQ(GetCapturedStdout(), expected) << g_TransOpTab[block].name;
    }
}

TEST(TransOpTab, HelpPrintersOfOneWord)
{
    const RealCase cases[] = {
        {help_write, "i2c", 0, nullptr},
        {help_dump, "log", 0, "\tlog has no help message\n"},
        {help_test, "pci/x", 0, nullptr},
        {help_set, "nothing", 0, ""},
        {help_m_media, "", 0, "available target commands are : \n"},
        {help_m_media, "x", 0, ""},
        {help_read, "", 0, "available target commands are : \n\tmchbar :\n"},
        {help_read, "mchbar", 0, "\tmchbar : \n"},
        {help_r_media, "lpc", 0, nullptr},
        {help_t_acc, "help", 0, "\thelp : show this help message\n"},
        {help_w_media, "DW", 0, ""},
        {help_load, "ruga", 0, "\truga has no help message\n"},
        {help_clear, "port", 0, nullptr},
        {help_t_media, "port", 0, nullptr},
    };
    for (const RealCase &c : cases) {
        CaptureStdout();
        EXPECT_EQ(c.op(c.text), 0);
        std::fflush(stdout);
        std::string out = GetCapturedStdout();
        if (c.output != nullptr) {
            EXPECT_EQ(out, c.output) << c.text;
        } else {
            // A word with a help text prints exactly that row.
            EXPECT_EQ(out.rfind(std::string("\t") + std::string(c.text).substr(0, std::string(c.text).find('/')) + " : ", 0), 0u)
                << c.text << ": " << out;
            EXPECT_EQ(out.find("has no help message"), std::string::npos);
        }
    }
}

} // namespace
