// The README's "Commands" section against the command table: every row
// reachable from the command line (the "read" and "mfc" blocks and the
// sub-blocks their rows dispatch to) has its line, and every line names a
// reachable row; its worked `-m disks` fixture run through quorbix-sim.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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

// The lines of the README's "Commands" section.
std::vector<std::string> commands_section()
{
    std::ifstream in(std::string(QUORBIX_SOURCE_DIR) + "/README.md");
    std::vector<std::string> out;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("## "))
            inside = line == "## Commands";
        if (inside)
            out.push_back(line);
    }
    return out;
}

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

// The indented block that follows the line starting with `after` (or
// whose first line starts with it, when `inclusive`), indentation and
// trailing blanks removed.
std::vector<std::string> indented_block(const std::vector<std::string> &lines, const std::string &after,
                                        bool inclusive)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < lines.size() && !lines[i].starts_with(after))
        i++;
    if (i < lines.size() && !inclusive)
        i += 2;   // the line and the blank after it
    for (; i < lines.size() && lines[i].starts_with("    "); i++) {
        std::string l = lines[i].substr(4);
        l.erase(l.find_last_not_of(' ') + 1);
        out.push_back(l);
    }
    return out;
}

std::vector<std::string> trimmed_lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        l.erase(l.find_last_not_of(' ') + 1);
        out.push_back(l);
    }
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
// default board's SAS facts; every line of the README's first disk block
// comes out, in order.
TEST(ReadmeCommands, DisksFixtureGivesTheShownReport)
{
    const std::vector<std::string> section = commands_section();
    const std::vector<std::string> fixture = indented_block(section, "A controller and two disks", false);
    const std::vector<std::string> command = indented_block(section, "the run", false);
    const std::vector<std::string> disk = indented_block(section, "    PhysicalDisk : 0", true);
    ASSERT_GT(fixture.size(), 10u);
    ASSERT_EQ(command, std::vector<std::string>{"$ ./build/quorbix-sim --root /tmp/d --board ZK17DORN --reset "
                                                "--fixture disks.fix -- -m disks"});
    ASSERT_GT(disk.size(), 10u);

    TempDir dir;
    std::string text;
    for (const std::string &l : fixture)
        text += l + "\n";
    SimRun r = run_sim_binary("--root " + dir.path + " --board ZK17DORN --reset --fixture " +
                              dir.write("disks.fix", text) + " -- -m disks");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::vector<std::string> out = trimmed_lines(r.out);
    for (const char *line : {"1 MPT Port found", "Controller:0", "  IOC SAS Address                     : 500605b000000000",
                             "No volumes is active.", "PhysicalDisk : 1", "  Serial No                         : SER-B"})
        EXPECT_NE(std::find(out.begin(), out.end(), line), out.end()) << line << "\n" << r.out;
    EXPECT_NE(std::search(out.begin(), out.end(), disk.begin(), disk.end()), out.end()) << r.out;
}

} // namespace
