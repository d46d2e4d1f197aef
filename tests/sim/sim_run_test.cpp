// quorbix-sim driven by fixture files: whole command lines whose output
// shows the injected facts, and fixture errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_board.h"
#include "sim/sim_run.h"
#include "support/sim_binary.h"

namespace {

const std::string kVersion = "version : ver 2.200.10.11.o\n";
const std::string kDefaulted = "get board name failed, set board name ZK17DORN\n\n";

// The README's example, as written there.
const char kReadmeFixture[] =
    "# The DMI board name cannot be read: quorbix falls back to ZK17DORN.\n"
    "fail-open /sys/devices/virtual/dmi/id/board_name EACCES\n";

TEST(SimRun, FixtureDrivesAWholeCommandLine)
{
    const struct {
        std::string fixture;
        std::string out;
    } cases[] = {
        {kReadmeFixture, "open /sys/devices/virtual/dmi/id/board_name failed\n\n" + kDefaulted + kVersion},
        {"file /sys/devices/virtual/dmi/id/board_name \"ZK17\\n\"", "unknow board type,name ZK17\n\n\n" + kDefaulted + kVersion},
        {"file /sys/devices/virtual/dmi/id/board_name \"ZK17WENA\\n\"  # a known model\n", kVersion},
    };
    for (const auto &c : cases) {
        TempDir dir;
        SimRun r = run_sim_binary("--root " + dir.path + " --fixture " + dir.write("board.fix", c.fixture) + " -- -v");
        EXPECT_EQ(r.status, 2) << c.fixture;
        EXPECT_EQ(r.out, c.out) << c.fixture;
        EXPECT_EQ(r.err, "") << c.fixture;
    }
}

TEST(SimRun, FixtureErrorsStopTheRun)
{
    TempDir dir;
    const std::string fix = dir.write("bad.fix", "reg /dev/trans_pci 0x10 0x1\n\nreg /dev/trans_pci 0x10\n");
    SimRun r = run_sim_binary("--root " + dir.path + " --fixture " + fix + " -- -v");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quorbix-sim: " + fix + ":3: usage: reg NODE ADDR VALUE\n");
    r = run_sim_binary("--root " + dir.path + " --fixture " + dir.path + "/none.fix -- -v");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorbix-sim: " + dir.path + "/none.fix: No such file or directory\n");
}

// The same entry in-process: the board is closed (and saved) after the run.
TEST(SimRun, InProcess)
{
    TempDir dir;
    std::string fix = dir.write("f.fix", "fail-open /sys/devices/virtual/dmi/id/board_name EIO\n");
    std::vector<std::string> args{"quorbix-sim", "--board", "ZK17WENB", "--root", dir.path, "--fixture", fix, "--", "-v"};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(quorbix_sim_run(static_cast<int>(args.size()), argv.data()), 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "open /sys/devices/virtual/dmi/id/board_name failed\n\n" + kDefaulted + kVersion);
    EXPECT_EQ(sim_board_current(), nullptr);
    SimDoc doc;
    ASSERT_EQ(sim_doc_read(dir.path + kSimBoardDocPath, "board", doc), SimDocRead::Ok);
    EXPECT_EQ(doc.find("board")->find("model")->value, "\"ZK17WENB\"");
}

} // namespace
