// The saved board: profiles, the document kept under the root, its lock,
// resets and refused board changes, through the API and the quorbix-sim
// binary.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "boardlib/dorn_version.h"
#include "sim/fpga_model.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"
#include "support/sim_binary.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;

int open_board(const std::string &root, const std::string &board, bool reset, std::string *error = nullptr)
{
    std::string e;
    int status = sim_board_open(SimBoardStart{root, board, reset}, e);
    if (error)
        *error = e;
    return status;
}

std::string saved_model(const std::string &root)
{
    SimDoc doc;
    std::string model;
    if (sim_doc_read(root + kSimBoardDocPath, "board", doc) == SimDocRead::Ok && doc.find("board"))
        doc.get_text(*doc.find("board"), "model", model);
    return model;
}

// Each of the nine models: its DMI name and the FPGA nodes it carries.
TEST(SimBoard, ProfilesGiveEachModelItsNodes)
{
    // A booted board's files: the online NUMA nodes, and the memmap= words
    // of the command line (the library's and the tool's regions).
    const struct {
        const char *model;
        bool trans, sbuf, media, acce;
        const char *online;
        int memmaps;
    } cases[] = {
        {"ZK17TRVA", false, false, false, false, "0\n", 0},  {"ZK17DORN", true, true, false, true, "0-1\n", 4},
        {"ZK17KESP", true, false, true, false, "0\n", 2},    {"ZK17WENA", false, false, false, false, "0\n", 0},
        {"ZK17FOLRA", false, false, false, false, "0\n", 0}, {"ZK17BIXA", false, false, false, false, "0\n", 0},
        {"ZK17WENB", false, false, false, false, "0\n", 0},  {"ZK17WENC", false, false, false, false, "0\n", 0},
        {"ZK17FOLRB", false, false, false, false, "0\n", 0},
    };
    ASSERT_EQ(sim_board_profiles().size(), std::size(cases));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.model);
        TempDir dir;
        ASSERT_EQ(open_board(dir.path, c.model, false), 0);
        EXPECT_STREQ(sim_board_current()->model, c.model);
        EXPECT_EQ(sim_read_file(kSimBoardNamePath), std::string(c.model) + "\n");
        EXPECT_EQ(sim_node_present(kTrans), c.trans);
        EXPECT_EQ(sim_node_present(kSbuf), c.sbuf);
        EXPECT_EQ(sim_node_present("/dev/media_dev"), c.media);
        EXPECT_EQ(sim_node_present("/dev/acce_dev0"), c.acce);
        for (const char *node : {"/dev/mem", "/dev/spi_flash", "/dev/rtc_dev", "/dev/i2c_agent"})
            EXPECT_TRUE(sim_node_present(node)) << node << ", which every board has";
        EXPECT_EQ(sim_read_file(kSimNodeOnlinePath), c.online);
        const std::string cmdline = sim_read_file(kSimCmdlinePath);
        int memmaps = 0;
        for (size_t at = cmdline.find("memmap=0x"); at != std::string::npos; at = cmdline.find("memmap=0x", at + 1))
            memmaps++;
        EXPECT_EQ(memmaps, c.memmaps) << cmdline;
        EXPECT_TRUE(cmdline.ends_with("\n"));
        EXPECT_TRUE(std::filesystem::is_directory(sim_path("/opt")));
        EXPECT_EQ(sim_board_close(), 0);
        EXPECT_EQ(saved_model(dir.path), c.model);
    }
    // A model name is matched whole.
    for (std::string_view other : {"", "ZK17", "abcZK17KESP", "ZK17KESP\n", "ZK17KESPx", "zk17kesp", " ZK17KESP"})
        EXPECT_EQ(sim_board_profile(other), nullptr) << other;
    std::string error;
    EXPECT_EQ(open_board(TempDir().path, "ZK17", false, &error), 1);
    EXPECT_EQ(error, "unknown board model 'ZK17' (models: " + sim_board_models() + ")");
    EXPECT_EQ(sim_board_current(), nullptr);
}

// What a run leaves on the board is there for the next run, and the run
// holds the root's lock meanwhile.
TEST(SimBoard, SavedBoardRoundTrip)
{
    TempDir dir;
    ASSERT_EQ(open_board(dir.path, "", false), 0);
    EXPECT_STREQ(sim_board_current()->model, kSimDefaultBoard);
    fpga_set_reg(kTrans, 0x5c18, 0xabc);
    int other = ::open((dir.path + kSimBoardLockPath).c_str(), O_RDWR);
    ASSERT_GE(other, 0);
    EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), -1);
    EXPECT_EQ(errno, EWOULDBLOCK);
    std::string error;
    EXPECT_EQ(open_board(dir.path, "", false, &error), 1);
    EXPECT_EQ(error, "a board is already open");
    EXPECT_EQ(sim_board_close(), 0);
    EXPECT_EQ(sim_board_close(), 0);  // nothing open: nothing to do
    EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);

    fpga_model_reset();
    ASSERT_EQ(open_board(dir.path, "ZK17DORN", false), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x5c18), 0xabcu);
    EXPECT_EQ(sim_board_close(), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path + kSimBoardDocPath + ".tmp"));
}

// A process that ends through exit() with its board open still saves it.
TEST(SimBoard, SavedWhenTheProcessExits)
{
    TempDir dir;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (open_board(dir.path, "ZK17KESP", false) == 0)
            fpga_set_reg(kTrans, 0x40, 0x99);
        std::exit(2);
    }
    int ws = 0;
    ASSERT_EQ(waitpid(pid, &ws, 0), pid);
    EXPECT_EQ(WEXITSTATUS(ws), 2);
    EXPECT_EQ(saved_model(dir.path), "ZK17KESP");
    ASSERT_EQ(open_board(dir.path, "", false), 0);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x40), 0x99u);
    EXPECT_EQ(sim_board_close(), 0);
}

// A saved board that does not parse names its file and line; the root's
// lock is released, and --reset starts afresh.
TEST(SimBoard, CorruptDocumentsGiveFileAndLine)
{
    const struct {
        const char *text;
        std::string error;  // after "<root>/.sim/board:"
    } cases[] = {
        {"garbage\n", "1: not a quorbix-sim document (expected 'quorbix-sim board VERSION')"},
        {"quorbix-sim board 1\n[board]\nmodel = \"ZK17DORN\"\nreg 0x1\n", "4: expected 'key = value' or '[section]'"},
        {"quorbix-sim board 3\n[board]\nmodel = \"ZK17DORN\"\n", "1: saved by a newer quorbix-sim (version 3)"},
        {"quorbix-sim board 2\n[board]\nmodel = \"ZK17DORN\"\n", "3: the board is cut short: no complete [end] section"},
        {"quorbix-sim board 2\n[board]\nmodel = \"ZK17DORN\"\n[end]\nsections = 0x2\nboard = 0x1\nrtc = 0x1\n",
         "7: no [rtc] section"},
        {"quorbix-sim board 1\n[fpga]\n", "1: no [board] section with a model"},
        {"quorbix-sim board 1\n[board]\n\nmodel = ZK17DORN\n", "4: 'model' wants a double-quoted string, not 'ZK17DORN'"},
        {"quorbix-sim board 1\n[board]\nmodel = \"ZK18\"\n", "3: unknown board model 'ZK18'"},
    };
    for (const auto &c : cases) {
        TempDir dir;
        std::filesystem::create_directories(dir.path + "/.sim");
        dir.write(".sim/board", c.text);
        std::string error;
        EXPECT_EQ(open_board(dir.path, "", false, &error), 1) << c.text;
        EXPECT_EQ(error, dir.path + kSimBoardDocPath + ":" + c.error + " (give --reset to start a fresh board)");
        EXPECT_EQ(sim_board_current(), nullptr);
        ASSERT_EQ(open_board(dir.path, "ZK17KESP", true, &error), 0) << error;
        EXPECT_EQ(sim_board_close(), 0);
        EXPECT_EQ(saved_model(dir.path), "ZK17KESP");
    }
}

// A fresh board has /opt, where the tool's shots and log copies go; a reset
// leaves an /opt already there, and what it holds, alone.
TEST(SimBoard, AFreshBoardHasOptAndAResetKeepsIt)
{
    namespace fs = std::filesystem;
    TempDir dir;
    ASSERT_EQ(open_board(dir.path, "ZK17DORN", false), 0);
    sim_write_file(DORN_DRV_LOG, "driver log\n");
    sim_write_file(g_DornShotSource[0][2], "stat\n");
    EXPECT_EQ(TRANS_CollectLog(), 0);
    EXPECT_EQ(TRANS_Shot(0, 2), 0);
    EXPECT_TRUE(sim_read_file(DORN_SHOT_FILE).ends_with("stat\n"));
    EXPECT_EQ(sim_board_close(), 0);

    fs::remove_all(dir.path + "/opt");
    fs::create_directory(dir.path + "/opt");
    dir.write("opt/keep", "kept\n");
    const auto time = fs::last_write_time(dir.path + "/opt/keep");
    ASSERT_EQ(open_board(dir.path, "ZK17KESP", true), 0);
    EXPECT_EQ(sim_board_close(), 0);
    std::ifstream in(dir.path + "/opt/keep");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "kept\n");
    EXPECT_EQ(fs::last_write_time(dir.path + "/opt/keep"), time);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path + "/opt"), {}), 1);
}

// `sim_clip`: bad bytes escaped, the cut at 80 characters counting each
// escape whole, never splitting one; a message's quoted text clipped alike,
// and a text sim_clip made left as it is.
TEST(SimBoard, QuotedTextIsEscapedAndCutWhole)
{
    using namespace std::string_literals;
    const std::string a76(76, 'a'), a77(77, 'a'), a78(78, 'a'), a79(79, 'a'), a80(80, 'a');
    const struct {
        std::string text, quoted;
    } cases[] = {
        {"", ""},
        {a80, a80},
        {a80 + "b", a80 + "..."},
        {a76 + "\x01", a76 + "\\x01"},            // the escape ends at the limit
        {a77 + "\x01", a77 + "..."},               // it would straddle it: cut before
        {a76 + "\x01" "b", a76 + "\\x01..."},
        {a78 + "\\", a78 + "\\\\"},
        {a79 + "\\", a79 + "..."},
        {"it's", "it\\x27s"},
        {"a\\xzz\\", "a\\\\xzz\\\\"},
        {"a\0b\0"s, "a\\x00b\\x00"},                 // NUL bytes read through
        {"\x1f \x7e\x7f\x80\xc3\xa9\n", "\\x1f ~\\x7f\\x80\\xc3\\xa9\\x0a"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.quoted);
        EXPECT_EQ(sim_clip(c.text), c.quoted);
        const std::string made = "x '" + sim_clip(c.text) + "' y";
        EXPECT_EQ(sim_clip_quoted(made), made);
        if (c.text.find('\'') == std::string::npos) {
            EXPECT_EQ(sim_clip_quoted("x '" + c.text + "' y"), made);
        }
    }
    EXPECT_EQ(sim_clip_quoted("'" + a80 + "...'"), "'" + a80 + "...'");
    EXPECT_EQ(sim_clip_quoted("'" + a80 + "b...'"), "'" + a80 + "...'");
    // A name is escaped alike, but whole: never cut, however long.
    EXPECT_EQ(sim_escape(a80 + "b/it's\n\x1b"), a80 + "b/it\\x27s\\x0a\\x1b");
    EXPECT_EQ(sim_escape("/tmp/r\\n"), "/tmp/r\\\\n");
}

// The binary: a corrupt board, a refused board change, --reset, usage.
TEST(SimBoardBinary, ResetAndRefusedChange)
{
    TempDir dir;
    const std::string root = "--root " + dir.path;
    SimRun r = run_sim_binary(root + " --board ZK17DORN --fixture " +
                              dir.write("f", "reg /dev/sbuf_pci 0x6900 0x5\n") + " -- -v");
    EXPECT_EQ(r.status, 2) << r.err;

    r = run_sim_binary(root + " --board ZK17KESP -- -v");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quorbix-sim: the board in " + dir.path + " is a ZK17DORN; give --reset to start a ZK17KESP board there\n");
    EXPECT_EQ(saved_model(dir.path), "ZK17DORN");

    r = run_sim_binary(root + " --board ZK17DORN -- -v");  // the same model is no change
    EXPECT_EQ(r.status, 2) << r.err;
    ASSERT_EQ(open_board(dir.path, "", false), 0);
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x6900), 0x5u);
    EXPECT_EQ(sim_board_close(), 0);

    r = run_sim_binary(root + " --reset --board ZK17KESP -- -v");
    EXPECT_EQ(r.status, 2) << r.err;
    ASSERT_EQ(open_board(dir.path, "", false), 0);
    EXPECT_STREQ(sim_board_current()->model, "ZK17KESP");
    EXPECT_FALSE(sim_node_present(kSbuf));
    EXPECT_EQ(sim_read_file(kSimBoardNamePath), "ZK17KESP\n");
    EXPECT_EQ(sim_board_close(), 0);

    dir.write(".sim/board", "quorbix-sim board 1\n[board]\nmodel \"ZK17KESP\"\n");
    r = run_sim_binary(root + " -- -v");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quorbix-sim: " + dir.path +
                         "/.sim/board:3: expected 'key = value' or '[section]' (give --reset to start a fresh board)\n");
    EXPECT_EQ(run_sim_binary(root + " --reset -- -v").status, 2);

    for (const char *bad : {"-v", "--board", "--root " , "--fixture x", "--bogus -- -v", "--board ZK17 -- -v"}) {
        r = run_sim_binary(root + " " + bad);
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_FALSE(r.err.empty()) << bad;
    }
}

} // namespace
