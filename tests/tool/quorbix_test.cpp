#include <gtest/gtest.h>

#include <cstdio>
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

struct RunResult {
    int status;
    std::string out;
};

RunResult run(std::vector<std::string> args)
{
    args.insert(args.begin(), "quorbix");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    CaptureStdout();
    int status = quorbix_run(static_cast<int>(args.size()), argv.data());
    std::fflush(stdout);
    return {status, GetCapturedStdout()};
}

class FrontEnd : public SimTest {};

struct LineCase {
    std::vector<std::string> args;
    int status;
    std::string out;
};

TEST_F(FrontEnd, CommandLinesGiveTheirOutputAndStatus)
{
    const std::string port = "Target \"Port\" is not supported\n";
    const std::string noname = "Cannot get operate target name\n";
    const LineCase cases[] = {
        {{}, 2, ""},
        {{"-v"}, 2, kVersion},
        {{"-v", "-v"}, 2, kVersion + kVersion},
        {{"-h"}, 1, kUsage},
        {{"-r"}, 1, kUsage},
        {{"-v", "-m"}, 1, kVersion + kUsage},
        {{"-x", "-v"}, 1, kUsage},
        {{"-m", "Port/k/0:1"}, 2, port},
        {{"-m", "port"}, 2, noname},
        {{"-m", "  Port/k/0:1", "-v"}, 2, port + kVersion},
        {{"-mPort/k"}, 2, port},
        {{"-m", "/x"}, 2, "Target \"\" is not supported\n"},
        {{"-r", "mchbar/1"}, 2, "Target \"mchbar\" is not supported\n"},
        {{"-m", "help"}, 2, "Target \"help\" is not supported\n"},
        {{"ignored", "-v", "also"}, 2, kVersion},
        {{"-v", "--", "-h"}, 2, kVersion},
        // A command before an unknown option has run: its output stays.
        {{"-m", "Port", "-q", "-v"}, 1, "Target \"Port\" is not supported\n" + kUsage},
    };
    for (const LineCase &c : cases) {
        std::string joined;
        for (const std::string &a : c.args)
            joined += a + " ";
        RunResult r = run(c.args);
        EXPECT_EQ(r.out, c.out) << joined;
        EXPECT_EQ(r.status, c.status) << joined;
    }
}

TEST_F(FrontEnd, RunsRepeatedlyInOneProcess)
{
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(run({"-h"}).status, 1);
        EXPECT_EQ(run({"-v"}).out, kVersion);
    }
}

struct BoardCase {
    const char *file;  // null: no board-name file
    std::string out;
    std::string board;
};

TEST_F(FrontEnd, BoardNameFromTheDmiFile)
{
    const BoardCase cases[] = {
        {nullptr, "open /sys/devices/virtual/dmi/id/board_name failed\n\n" + kDefaultLine, "ZK17DORN"},
        {"ZK17FOLRB\n", "", "ZK17FOLRB\n"},
        {"ZK17FOLRA\n", "", "ZK17FOLRA\n"},
        {"ZK17DORNX", "", "ZK17DORNX"},
        {"ZK17KESP\n", "", "ZK17KESP\n"},
        {"ZK17", "unknow board type,name ZK17\n\n" + kDefaultLine, "ZK17DORN"},
        {"ZK17\n", "unknow board type,name ZK17\n\n\n" + kDefaultLine, "ZK17DORN"},
        {"zk17dorn\n", "unknow board type,name zk17dorn\n\n\n" + kDefaultLine, "ZK17DORN"},
        {"", "unknow board type,name \n\n" + kDefaultLine, "ZK17DORN"},
        {"ZK17WENCABCDEFG", "", "ZK17WENCABCDEFG"},
        {"ZK17WENCABCDEFGHIJKLMNOP\n", "", "ZK17WENCABCDEFG"},
        {"ZK17TRVA-LONG-NAME\nSECOND\n", "", "ZK17TRVA-LONG-N"},
        {"\nZK17DORN\n", "unknow board type,name \n\n\n" + kDefaultLine, "ZK17DORN"},
    };
    for (const BoardCase &c : cases) {
        const char *label = c.file != nullptr ? c.file : "(missing)";
        if (c.file != nullptr)
            sim_write_file(kSimBoardNamePath, c.file);
        else
            std::filesystem::remove(sim_path(kSimBoardNamePath));
        RunResult r = run({"-v"});
        EXPECT_EQ(r.out, c.out + kVersion) << label;
        EXPECT_EQ(r.status, 2) << label;
        EXPECT_EQ(std::string(gBoardName), c.board) << label;
        EXPECT_EQ(gBoardName[kBoardNameSize - 1], '\0');
    }
}

TEST_F(FrontEnd, GetBoardNameResult)
{
    sim_write_file(kSimBoardNamePath, "ZK17BIXA\n");
    CaptureStdout();
    EXPECT_EQ(GetBoardName(), 0);
    sim_write_file(kSimBoardNamePath, "ZK18DORN\n");
    EXPECT_EQ(GetBoardName(), -1200);
    std::filesystem::remove(sim_path(kSimBoardNamePath));
    EXPECT_EQ(GetBoardName(), -1200);
    std::fflush(stdout);
    GetCapturedStdout();
}

// ---- the quorbix-sim binary ---------------------------------------------------

class SimBinary : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/quorbix-bin-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    // Runs quorbix-sim with the options; stdout is a pipe.
    RunResult sim(const std::string &options)
    {
        std::string cmd = std::string(QUORBIX_SIM_BIN) + " --root " + root_ + " -- " + options;
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

    std::string root_;
};

TEST_F(SimBinary, ExitStatusesAndOutput)
{
    const struct {
        const char *options;
        int status;
        std::string out;
    } cases[] = {
        {"-v", 2, kVersion},
        {"-m Port/k/0:1", 2, "Target \"Port\" is not supported\n"},
        {"-m Port/k/0:1 -v", 2, "Target \"Port\" is not supported\n" + kVersion},
        {"-h", 1, kUsage},
        {"", 2, ""},
    };
    for (const auto &c : cases) {
        RunResult r = sim(c.options);
        EXPECT_EQ(r.out, c.out) << c.options;
        EXPECT_EQ(r.status, c.status) << c.options;
    }
}

TEST_F(SimBinary, BoardNameFileOfTheSimulatedBoard)
{
    std::filesystem::create_directories(root_ + "/sys/devices/virtual/dmi/id");
    FILE *f = std::fopen((root_ + "/sys/devices/virtual/dmi/id/board_name").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("ZK17\n", f);
    std::fclose(f);
    RunResult r = sim("-v");
    EXPECT_EQ(r.out, "unknow board type,name ZK17\n\n\n" + kDefaultLine + kVersion);
    EXPECT_EQ(r.status, 2);
}

} // namespace
