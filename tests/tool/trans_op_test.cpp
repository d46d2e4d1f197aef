#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tool/trans_op.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

template <typename F>
std::string captured(F f)
{
    CaptureStdout();
    f();
    std::fflush(stdout);
    return GetCapturedStdout();
}

// ---- get_target_name ---------------------------------------------------------

TEST(GetTargetName, CutsTheWordBeforeTheFirstSlash)
{
    const std::string w31(31, 'a');
    const std::string w32(32, 'a');
    const std::string w31slash = w31 + "/x", w32slash = w32 + "/x", blanks31 = "  \t" + w31;
    const struct {
        const char *text;
        int result;
        const char *word;  // null: not looked at
    } cases[] = {
        {"port/k/0:1", 5, "port"},
        {"port", 4, "port"},
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
        {nullptr, kTargetNameNull, nullptr},
    };
    for (const auto &c : cases) {
        char word[kTargetWordSize];
        std::memset(word, 'z', sizeof(word));
        const char *label = c.text != nullptr ? c.text : "(null)";
        EXPECT_EQ(get_target_name(c.text, word), c.result) << label;
        if (c.word != nullptr) {
            EXPECT_STREQ(word, c.word) << label;
        }
    }
    EXPECT_EQ(get_target_name("port", nullptr), kTargetNameNull);
}

// ---- get_match_op, dispatch and help on a block of this test -----------------

std::string g_seen;

// Records its parameter text and returns the number it starts with, so a
// path such as "ok/-1330" shows that a handler's status comes back unchanged.
TransOpStatus echo_status(const char *params)
{
    g_seen = params;
    return std::atoi(params);
}

constexpr TransOpBlock kSubBlock = {0, "sub", {{"k", "link", echo_status}, {"K", nullptr, echo_status}}};

TransOpStatus sub_dispatch(const char *params)
{
    return trans_op_dispatch(kSubBlock, params);
}

constexpr TransOpBlock kTestBlock = {0, "top", {
    {"ok", "first line\r\n\tsecond", echo_status},
    {"none", "no handler yet", nullptr},
    {"dup", "first", echo_status},
    {"dup", "second", echo_status},
    {"sub", nullptr, sub_dispatch},
    {nullptr, nullptr, nullptr},
    {"hidden", nullptr, echo_status},
}};

TEST(GetMatchOp, FindsTheFirstMatchingRowWithAHandler)
{
    const struct {
        const char *word;
        int count;
        int row;  // index into kTestBlock.rows, -1 for none
    } cases[] = {
        {"ok", 64, 0},      {"sub", 64, 4},  {"OK", 64, -1}, {"o", 64, -1},  {"none", 64, -1}, {"dup", 64, 2},
        {"hidden", 64, -1}, {"sub", 4, -1},  {"ok", 0, -1},  {"ok", -1, -1}, {"", 64, -1},     {nullptr, 64, -1},
    };
    for (const auto &c : cases) {
        const TransOpEntry *want = c.row < 0 ? nullptr : &kTestBlock.rows[c.row];
        EXPECT_EQ(get_match_op(kTestBlock.rows, c.count, c.word), want) << (c.word ? c.word : "(null)") << c.count;
    }
    EXPECT_EQ(get_match_op(nullptr, 64, "ok"), nullptr);
    const TransOpEntry empty[2] = {{nullptr, nullptr, nullptr}, {"ok", nullptr, echo_status}};
    EXPECT_EQ(get_match_op(empty, 2, "ok"), nullptr);

    // A block may fill all 64 rows: the last one is still found.
    static TransOpEntry full[kTransOpRows];
    static char names[kTransOpRows][4];
    for (size_t i = 0; i < kTransOpRows; i++) {
        std::snprintf(names[i], sizeof(names[i]), "r%zu", i);
        full[i] = {names[i], nullptr, echo_status};
    }
    EXPECT_EQ(get_match_op(full, 64, "r63"), &full[63]);
    EXPECT_EQ(get_match_op(full, 63, "r63"), nullptr);
}

TEST(Dispatch, PassesTheRestOfThePathAndReportsErrors)
{
    const std::string p31 = std::string(31, 'w') + "/x", p32 = std::string(32, 'w') + "/x";
    const std::string out31 = "Target \"" + std::string(31, 'w') + "\" is not supported\n";
    const std::string noname = "Cannot get operate target name\n";
    const struct {
        const char *text;
        TransOpStatus status;
        std::string output;
        const char *seen;  // parameter text the handler got, null when none ran
    } cases[] = {
        {"ok/0:1", 0, "", "0:1"},
        {"  ok/-1330/b", -1330, "", "-1330/b"},
        {"ok/256", 256, "", "256"},
        {"ok", 0, "", ""},
        {"sub/k/7:1", 7, "", "7:1"},
        {"sub/q/0:1", -17, "Target \"q\" is not supported\n", nullptr},
        {"sub/", -18, noname, nullptr},
        {"none/1", -17, "Target \"none\" is not supported\n", nullptr},
        {"hidden/1", -17, "Target \"hidden\" is not supported\n", nullptr},
        {"/x", -17, "Target \"\" is not supported\n", nullptr},
        {" ", -17, "Target \"\" is not supported\n", nullptr},
        {"", -18, noname, nullptr},
        {nullptr, -18, noname, nullptr},
        {p31.c_str(), -17, out31, nullptr},
        {p32.c_str(), -18, noname, nullptr},
    };
    for (const auto &c : cases) {
        const char *label = c.text != nullptr ? c.text : "(null)";
        g_seen = "<none>";
        TransOpStatus status = 0;
        EXPECT_EQ(captured([&] { status = trans_op_dispatch(kTestBlock, c.text); }), c.output) << label;
        EXPECT_EQ(status, c.status) << label;
        EXPECT_EQ(g_seen, c.seen != nullptr ? c.seen : "<none>") << label;
    }
}

TEST(HelpPrinter, ListsTheBlockOrEveryRowOfOneWord)
{
    const std::string all = "available target commands are : \n\tok :first line\r\n\tsecond\n"
                            "\tnone :no handler yet\n\tdup :first\n\tdup :second\n\tsub \n";
    const std::pair<const char *, std::string> cases[] = {
        {"", all},
        {nullptr, all},
        {"ok", "\tok : first line\r\n\tsecond\n"},
        {" sub/x", "\tsub has no help message\n"},
        {"dup", "\tdup : first\n\tdup : second\n"},
        {"none", "\tnone : no handler yet\n"},
        {"unknown", ""},
        {"hidden", ""},
    };
    for (const auto &c : cases) {
        TransOpStatus status = -1;
        EXPECT_EQ(captured([&] { status = trans_op_help(kTestBlock, c.first); }), c.second);
        EXPECT_EQ(status, 0);
    }
}

// ---- the command table -------------------------------------------------------

const TransOpBlock *find_block(const std::string &name)
{
    for (const TransOpBlock &block : g_TransOpTab)
        if (name == block.name)
            return &block;
    return nullptr;
}

// True when `line` starts with `prefix` followed by "/", a blank or the end.
bool names_path(const std::string &line, const std::string &prefix)
{
    return line.rfind(prefix, 0) == 0 && (line.size() == prefix.size() || line[prefix.size()] == '/' ||
                                          line[prefix.size()] == ' ');
}

// Help texts: a title line, then usage and example lines of the row's own
// option and target, separated by "\r\n". A verb row whose target has a
// sub-block without help of its own lists every letter of that sub-block.
TEST(TransOpTab, HelpTextsHaveTheirShape)
{
    const struct {
        size_t block;
        const char *option;
    } blocks[] = {
        {kBlkWrite, "-w "}, {kBlkDump, "-d "},         {kBlkSet, "-s "},          {kBlkMfc, "-m "},
        {kBlkTest, "-t "},  {kBlkLoad, "-l "},         {kBlkClear, "-c "},        {kBlkRMedia, "-r media/"},
        {kBlkWMedia, "-w media/"}, {kBlkTMedia, "-t media/"}, {kBlkTAcc, "-t acc/"},
    };
    int texts = 0;
    for (const auto &b : blocks) {
        for (const TransOpEntry &row : g_TransOpTab[b.block].rows) {
            if (row.target == nullptr)
                break;
            if (row.help == nullptr)
                continue;
            const std::string where = std::string(g_TransOpTab[b.block].name) + "/" + row.target;
            if (std::strcmp(row.target, "help") == 0) {
                EXPECT_STREQ(row.help, "show this help message") << where;
                continue;
            }
            texts++;
            std::vector<std::string> lines;
            const std::string help = row.help;
            for (size_t pos = 0, end = 0; end != std::string::npos; pos = end + 2)
                lines.push_back(help.substr(pos, (end = help.find("\r\n", pos)) - pos));
            const std::string path = std::string("./quorbix ") + b.option + row.target;
            int usages = 0, examples = 0;
            EXPECT_FALSE(lines[0].empty() || lines[0][0] == '\t') << where << ": title";
            for (size_t i = 0; i < lines.size(); i++) {
                EXPECT_EQ(lines[i].find('\n'), std::string::npos) << where << ": lines end in \\r\\n";
                if (i == 0)
                    continue;
                bool usage = names_path(lines[i], "\t\tusage: -- " + path);
                bool example = names_path(lines[i], "\t\texample : " + path);
                EXPECT_TRUE(usage || example) << where << ": " << lines[i];
                usages += usage;
                examples += example;
            }
            EXPECT_GT(usages, 0) << where;
            EXPECT_GT(examples, 0) << where;

            const std::string verb = b.option + 1;
            const TransOpBlock *sub = find_block(verb.substr(0, 1) + "_" + row.target);
            if (verb.size() != 2 || sub == nullptr || sub->rows[0].help != nullptr)
                continue;
            for (const TransOpEntry &letter : sub->rows) {
                if (letter.target == nullptr)
                    break;
                std::string lower = letter.target;
                lower[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[0])));
                bool listed = false;
                for (const std::string &line : lines)
                    listed |= names_path(line, "\t\tusage: -- " + path + "/" + lower);
                EXPECT_TRUE(listed) << where << ": letter " << letter.target;
            }
        }
    }
    EXPECT_GT(texts, 80);
}

// The real dispatchers: every level reports its own errors, rows whose
// handler is not there yet answer "not supported", and the help rows reach
// the printer of their own block (empty text: the list; a known word: its
// rows; an unknown word: nothing).
TEST(TransOpTab, RealDispatchersAndHelpRows)
{
    const std::string list = "available target commands are : \n";
    const struct {
        TransOpHandler op;
        const char *text;
        TransOpStatus status;
        std::string output;
    } cases[] = {
        {op_mfc, "port", -18, "Cannot get operate target name\n"},
        {op_mfc, "Port/k/0:1", -17, "Target \"Port\" is not supported\n"},
        {op_mfc, "help", -17, "Target \"help\" is not supported\n"},
        {op_mfc, "  port/R/0:1", -17, "Target \"R\" is not supported\n"},
        {op_mfc, "trans/x", -17, "Target \"x\" is not supported\n"},
        {op_read, "nothing/1", -17, "Target \"nothing\" is not supported\n"},
        {op_write, "media/DW/0:3:0x80000000:0x1", -17, "Target \"DW\" is not supported\n"},
        {op_test, "media/nothing", -17, "Target \"nothing\" is not supported\n"},
        {op_load, "ruga/x", -17, "Target \"x\" is not supported\n"},
        {op_t_acc, "Ver/0", -17, "Target \"Ver\" is not supported\n"},
        {op_dump, "help/log", 0, "\tlog has no help message\n"},
        {op_set, "help/pci", 0,
         "\tpci : initialise the socket count and the RAS device of the pci diagnosis\r\n"
         "\t\tusage: -- ./quorbix -s pci/\r\n\t\texample : ./quorbix -s pci/\n"},
        {op_test, "help/nothing", 0, ""},
        {op_t_acc, "help/help", 0, "\thelp : show this help message\n"},
        {op_w_media, "help/DW", 0, ""},
        {help_load, "ruga", 0, "\truga has no help message\n"},
        {help_read, "", 0, list + "\tmchbar :\n"},
        {help_read, "mchbar", 0, "\tmchbar : \n"},
        {help_m_media, "", 0, list},
        {help_m_media, "x", 0, ""},
    };
    for (const auto &c : cases) {
        TransOpStatus status = 1;
        EXPECT_EQ(captured([&] { status = c.op(c.text); }), c.output) << c.text;
        EXPECT_EQ(status, c.status) << c.text;
    }
    std::string out = captured([] { op_clear("help"); });
    EXPECT_EQ(out.rfind(list + "\thelp :show this help message\n\tport :clear port statistics\r\n", 0), 0u) << out;
    EXPECT_EQ(out.substr(out.size() - 13), "\tdisk \n\tlog \n") << out;
}

} // namespace
