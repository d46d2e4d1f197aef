#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/sim_fixture.h"
#include "tool/quorbix.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const std::string kUsage =
    "usage : \r\n\t./quorbix {OPTION} [TARGET]/[PARAMETER]\r\n\t\tOPTION : :vr:m:\r\n"
    "\t\t\t    -h : print this help message\r\n\t\t\t    -v : print version string\r\n"
    "\t\t\t    -r : read from mchbar \r\n\t\t\t    -m : print TARGET's manufactuer information\r\n"
    "\t\tTARGET/PARAMETER: command target name and paramter\r\n\t\texample: help, disk ...\r\n"
    "\t\"help\" is treated as target too, its parameter could be other targets' name\r\n"
    "\texample : ./quorbix -m disk/ -- show target \"disk\" help info only\r\n"
    "\texample : ./quorbix -m trans/v -- show target \"trans\" static version info\r\n\n";
const std::string kVersion = "version : ver 2.200.10.11.o\n";
const std::string kDefaultLine = "get board name failed, set board name ZK17DORN\n\n";
const std::string kPort = "Target \"Port\" is not supported\n";

struct LineCase {
    std::vector<std::string> args;
    int status;
    std::string out;
};

// Runs each command line through `entry` and checks what it prints and returns.
template <typename Entry>
void expect_lines(const std::vector<LineCase> &cases, Entry entry)
{
    for (const LineCase &c : cases) {
        std::vector<std::string> args{"quorbix"};
        for (const std::string &a : c.args)
            args.push_back(a);
        std::vector<char *> argv;
        std::string joined;
        for (std::string &a : args) {
            argv.push_back(a.data());
            joined += "[" + a + "]";
        }
        argv.push_back(nullptr);
        CaptureStdout();
        int status = entry(static_cast<int>(args.size()), argv.data());
        std::fflush(stdout);
        EXPECT_EQ(GetCapturedStdout(), c.out) << joined;
        EXPECT_EQ(status, c.status) << joined;
    }
}

class FrontEnd : public SimTest {};

TEST_F(FrontEnd, CommandLinesGiveTheirOutputAndStatus)
{
    expect_lines(
        {
            {{}, 2, ""},
            {{"-v", "-v"}, 2, kVersion + kVersion},
            {{"-h"}, 1, kUsage},
            {{"-r"}, 1, kUsage},
            {{"-v", "-m"}, 1, kVersion + kUsage},
            {{"-m", "  Port/k/0:1", "-v"}, 2, kPort + kVersion},
            {{"-m", "port"}, 2, "Cannot get operate target name\n"},
            {{"-r", "mchbar/zz"}, 2, "Invalid input, please check, status = 0\n\n"},
            {{"ignored", "-v", "--", "-h"}, 2, kVersion},
            // A command before an unknown option has run: its output stays.
            {{"-mPort", "-q", "-v"}, 1, kPort + kUsage},
        },
        quorbix_run);
}

// The walk over dispatchers of this test: "ok" succeeds, anything else fails.
TransOpStatus fake_command(const char *params)
{
    std::printf("<%s>", params);
    return std::string(params) == "ok" ? 0 : -1330;
}

TEST(OptionWalk, LastCommandDecidesTheStatus)
{
    expect_lines(
        {
            {{"-m", "ok"}, 0, "<ok>"},
            {{"-r", "bad"}, 2, "<bad>"},
            {{"-m", "bad", "-r", "ok"}, 0, "<bad><ok>"},
            {{"-r", "ok", "-m", "bad"}, 2, "<ok><bad>"},
            {{"-m", "ok", "-v"}, 0, "<ok>" + kVersion},
            {{"-mok", "x", "-v", "-mbad", "--", "-m", "ok"}, 2, "<ok>" + kVersion + "<bad>"},
            {{"-m", "ok", "-m"}, 1, "<ok>" + kUsage},
        },
        [](int argc, char **argv) { return quorbix_walk(argc, argv, fake_command, fake_command); });
}

TEST_F(FrontEnd, BoardNameFromTheDmiFile)
{
    const struct {
        const char *file;  // null: no board-name file
        std::string out;   // what GetBoardName prints; empty for a known model
        std::string board;
    } cases[] = {
        {nullptr, "open /sys/devices/virtual/dmi/id/board_name failed\n\n", "ZK17DORN"},
        {"ZK17FOLRB\n", "", "ZK17FOLRB\n"},
        {"ZK17FOLRA\n", "", "ZK17FOLRA\n"},
        {"ZK17DORNX", "", "ZK17DORNX"},
        {"ZK17", "unknow board type,name ZK17\n\n", "ZK17DORN"},
        {"zk17dorn\n", "unknow board type,name zk17dorn\n\n\n", "ZK17DORN"},
        {"", "unknow board type,name \n\n", "ZK17DORN"},
        {"ZK17WENCABCDEFG", "", "ZK17WENCABCDEFG"},
        {"ZK17WENCABCDEFGHIJKLMNOP\n", "", "ZK17WENCABCDEFG"},
        {"ZK17TRVA-LONG-NAME\nSECOND\n", "", "ZK17TRVA-LONG-N"},
        {"\nZK17DORN\n", "unknow board type,name \n\n\n", "ZK17DORN"},
    };
    for (const auto &c : cases) {
        const char *label = c.file != nullptr ? c.file : "(missing)";
        if (c.file != nullptr)
            sim_write_file(kSimBoardNamePath, c.file);
        else
            std::filesystem::remove(sim_path(kSimBoardNamePath));
        bool known = c.out.empty();
        CaptureStdout();
        EXPECT_EQ(GetBoardName(), known ? 0 : -1200) << label;
        std::fflush(stdout);
        EXPECT_EQ(GetCapturedStdout(), c.out) << label;
        expect_lines({{{"-v"}, 2, c.out + (known ? "" : kDefaultLine) + kVersion}}, quorbix_run);
        EXPECT_EQ(std::string(gBoardName), c.board) << label;
        EXPECT_EQ(gBoardName[kBoardNameSize - 1], '\0');
    }
}

// Runs quorbix-sim on the board kept in `root`; stdout is a pipe.
std::pair<int, std::string> sim(const std::string &root, const std::string &options)
{
    std::string cmd = std::string(QUORBIX_SIM_BIN) + " --root " + root + " -- " + options;
    FILE *p = popen(cmd.c_str(), "r");
    if (p == nullptr)
        return {-1, ""};
    std::string out;
    char buf[512];
    for (size_t n; (n = std::fread(buf, 1, sizeof(buf), p)) > 0;)
        out.append(buf, n);
    int ws = pclose(p);
    return {WIFEXITED(ws) ? WEXITSTATUS(ws) : -1, out};
}

TEST(SimBinary, ExitStatusesAndOutput)
{
    char tmpl[] = "/tmp/quorbix-bin-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string root = tmpl;
    const std::pair<const char *, std::pair<int, std::string>> cases[] = {
        {"-v", {2, kVersion}},
        {"-m Port/k/0:1 -v", {2, kPort + kVersion}},
        {"-h", {1, kUsage}},
        {"", {2, ""}},
    };
    for (const auto &[options, want] : cases)
        EXPECT_EQ(sim(root, options), want) << options;
    // The board kept in the root is read again by the next run.
    std::FILE *f = std::fopen((root + kSimBoardNamePath).c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("ZK17\n", f);
    std::fclose(f);
    EXPECT_EQ(sim(root, "-v"),
              std::make_pair(2, "unknow board type,name ZK17\n\n\n" + kDefaultLine + kVersion));
    std::filesystem::remove_all(root);
}

} // namespace
