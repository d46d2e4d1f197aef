// The README's "Commands" section against the command table: every row
// reachable from the command line (the "read" and "mfc" blocks and the
// sub-blocks their rows dispatch to) has its line, and every line names a
// reachable row; its worked `-m disks` fixture run through quorbix-sim.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

#include "support/console_run.h"
#include "support/readme_text.h"
#include "support/sim_binary.h"
#include "support/dispatchers.h"
#include "tool/trans_op.h"

namespace {

std::string lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "OPTION PATH" of every reachable command (rows without a handler answer
// `Target "..." is not supported` and are left out). A sub-block's target
// letters are accepted in either case; they are listed in lower case.
void walk(const TransOpBlock &block, const std::string &prefix, std::set<std::string> &out)
{
    for (const TransOpEntry &row : block.rows) {
        if (row.target == nullptr)
            break;
        if (row.handler == nullptr)
            continue;
        const std::string path = prefix + row.target;
        if (const TransOpBlock *sub = dispatched_block(row.handler))
            walk(*sub, path + "/", out);
        else
            out.insert(prefix.find('/') == std::string::npos ? path : lower(path));
    }
}

std::set<std::string> reachable()
{
    std::set<std::string> out;
    walk(g_TransOpTab[kBlkRead], "-r ", out);
    walk(g_TransOpTab[kBlkMfc], "-m ", out);
    return out;
}

std::vector<std::string> commands_section() { return readme_section("## Commands"); }

// The first backticked text of each table row of the README's "Commands"
// section that starts with an option.
std::vector<std::string> readme_commands()
{
    std::vector<std::string> out;
    for (const std::string &line : commands_section())
        if (line.starts_with("| `-m ") || line.starts_with("| `-r "))
            out.push_back(line.substr(3, line.find('`', 3) - 3));
    return out;
}

// A README command names the table path when it is the path itself or the
// path followed by its parameters.
bool names(const std::string &command, const std::string &path)
{
    return command == path || command.starts_with(path + "/");
}

TEST(ReadmeCommands, EveryReachableRowHasItsLine)
{
    const std::set<std::string> rows = reachable();
    const std::vector<std::string> lines = readme_commands();
    ASSERT_FALSE(lines.empty()) << "no command lines under \"## Commands\" in README.md";
    EXPECT_GT(rows.size(), 50u);
    for (const std::string &path : rows) {
        int found = 0;
        for (const std::string &l : lines)
            found += names(l, path);
        EXPECT_EQ(found, 1) << path;
    }
}

TEST(ReadmeCommands, EveryLineNamesAReachableRow)
{
    const std::set<std::string> rows = reachable();
    for (const std::string &l : readme_commands()) {
        bool known = false;
        for (const std::string &path : rows)
            known = known || names(l, path);
        EXPECT_TRUE(known) << l;
    }
}

// The worked fixture: a controller and two disks on a board without the
// default board's SAS facts. The README's output comes out whole and in
// order (trailing blanks aside); without the `disk-mode` lines each disk
// reports that its pre-scan state could not be read, as the README says.
TEST(ReadmeCommands, DisksFixtureGivesTheShownReport)
{
    const std::vector<std::string> section = commands_section();
    const std::vector<std::string> fixture = indented_block(section, "A controller and two disks", false);
    const std::vector<std::string> command = indented_block(section, "the run", false);
    const std::vector<std::string> shown = indented_block(section, "ends with status 0 and prints", false);
    ASSERT_GT(fixture.size(), 10u);
    ASSERT_EQ(command, std::vector<std::string>{"$ ./build/quorbix-sim --root /tmp/d --board ZK17DORN --reset "
                                                "--fixture disks.fix -- -m disks"});
    ASSERT_GT(shown.size(), 40u);
    EXPECT_EQ(shown.front(), "1 MPT Port found");
    EXPECT_EQ(shown.back(), "  Pre_Scan State                    : Enable");

    TempDir dir;
    std::string text, without_mode;
    for (const std::string &l : fixture) {
        text += l + "\n";
        if (!l.starts_with("disk-mode "))
            without_mode += l + "\n";
    }
    const std::string failed = "getDiskPreScanStatus Failed! iRet=131141";
    SimRun r = run_sim_binary("--root " + dir.path + " --board ZK17DORN --reset --fixture " +
                              dir.write("disks.fix", text) + " -- -m disks");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<std::string> out = trimmed_lines(r.out);
    EXPECT_NE(std::search(out.begin(), out.end(), shown.begin(), shown.end()), out.end()) << r.out;
    for (const char *line : {"PhysicalDisk : 1", "  Serial No                         : SER-B",
                             "  SAS Address                       : 5000c5000000000a"})
        EXPECT_NE(std::find(out.begin(), out.end(), line), out.end()) << line << "\n" << r.out;
    EXPECT_EQ(count_of(r.out, failed), 0u) << r.out;
    EXPECT_EQ(count_of(r.out, "Pre_Scan State                    : Enable\n"), 2u) << r.out;

    r = run_sim_binary("--root " + dir.path + " --board ZK17DORN --reset --fixture " +
                       dir.write("disks.fix", without_mode) + " -- -m disks");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(count_of(r.out, failed), 2u) << r.out;
    EXPECT_LT(r.out.find(failed), r.out.find("IR Volume information")) << r.out;
    EXPECT_EQ(count_of(r.out, "Pre_Scan State                    : Unknown\n"), 2u) << r.out;
}

} // namespace
