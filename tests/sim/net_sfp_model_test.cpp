// The network interfaces a board writes under the root: a fresh board its
// own over whatever stands there, a loaded board none.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "sim/net_sfp_model.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"
#include "support/sim_binary.h"
#include "support/sim_in_process.h"

namespace {

namespace fs = std::filesystem;

int open_board(const std::string &root, const std::string &board)
{
    std::string error;
    const int status = sim_board_open(SimBoardStart{root, board, false}, error);
    EXPECT_EQ(error, "");
    return status;
}

std::string read(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A root that holds another board's interfaces (a WENA eth0 whose module
// answers no more, with its dev_id changed) and no saved board: a fresh
// WENB board writes its own over them and adds what is missing.
TEST(NetSfpModel, AFreshBoardWritesItsInterfacesOverWhatStands)
{
    TempDir dir;
    const std::string net = dir.path + "/sys/class/net";
    fs::create_directories(net + "/eth0/private");
    fs::create_directory_symlink("../../../devices/pci0000:00/0000:00:01.0/0000:01:00.0", net + "/eth0/device");
    dir.write("sys/class/net/eth0/dev_id", "0x7\n");
    dir.write("sys/class/net/eth0/private/sfp_status", std::string(1, '\0'));
    ASSERT_EQ(open_board(dir.path, "ZK17WENB"), 0);
    EXPECT_EQ(sim_board_close(), 0);
    for (const char *name : {"eth0", "eth1"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(fs::read_symlink(net + "/" + name + "/device"), "../../../devices/pci0000:00/0000:00:03.0/0000:08:00.0");
        EXPECT_EQ(read(net + "/" + name + "/private/sfp_status"), "\x01");
    }
    EXPECT_EQ(read(net + "/eth0/dev_id"), "0x0\n");
    EXPECT_EQ(read(net + "/eth1/dev_id"), "0x1\n");
    EXPECT_TRUE(fs::is_directory(dir.path + "/sys/devices/pci0000:00/0000:00:03.0/0000:08:00.0"));
    EXPECT_EQ(read(net + "/dummy0/dev_id"), "0x0\n");
    EXPECT_FALSE(fs::exists(net + "/lo/dev_id"));
}

// A loaded board keeps the interfaces under the root as they are: one
// taken away stays away, a changed file stays changed; the same board
// made fresh (--reset) has them all again.
TEST(NetSfpModel, ALoadedBoardKeepsItsInterfacesAsTheyAre)
{
    TempDir dir;
    const std::string net = dir.path + "/sys/class/net";
    ASSERT_EQ(open_board(dir.path, "ZK17FOLRB"), 0);
    EXPECT_EQ(sim_board_close(), 0);
    fs::remove_all(net + "/enp9s0d1");
    dir.write("sys/class/net/enp9s0/dev_id", "0x5\n");
    const auto before = sim_tree_image(dir.path, {".sim"});
    ASSERT_EQ(open_board(dir.path, ""), 0);
    EXPECT_EQ(sim_board_close(), 0);
    EXPECT_EQ(sim_tree_image(dir.path, {".sim"}), before);

    EXPECT_EQ(sim_run_in_process({"--root", dir.path, "--board", "ZK17FOLRB", "--reset", "--", "-v"}).status, 2);
    EXPECT_EQ(read(net + "/enp9s0/dev_id"), "0x0\n");
    EXPECT_EQ(read(net + "/enp9s0d1/dev_id"), "0x1\n");
}

} // namespace
