// The saved board: profiles, the document kept under the root, its lock,
// resets and refused board changes, through the API and the quorbix-sim
// binary.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <vector>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bases/host/host.h"
#include "boardlib/dorn_version.h"
#include "sim/fixture_file.h"
#include "sim/fpga_model.h"
#include "sim/kit/sim_fd.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"
#include "support/no_openat2.h"
#include "support/sim_binary.h"
#include "support/sim_in_process.h"

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

// ---- a reset gives the board a new root holds ----------------------------------------------

// The nine models and the default board (no --board), as arguments.
std::vector<std::vector<std::string>> every_board()
{
    std::vector<std::vector<std::string>> boards;
    for (const SimBoardProfile &p : sim_board_profiles())
        boards.push_back({"--board", p.model});
    boards.emplace_back();
    return boards;
}

std::string board_name(const std::vector<std::string> &board)
{
    return board.empty() ? "the default board" : board[1];
}

// quorbix-sim in-process on `root` as `board`, then `more`.
SimRun run_board(const std::string &root, const std::vector<std::string> &board, const std::vector<std::string> &more)
{
    std::vector<std::string> args = {"--root", root};
    args.insert(args.end(), board.begin(), board.end());
    args.insert(args.end(), more.begin(), more.end());
    return sim_run_in_process(args);
}

// For every ordered pair of boards, a fresh board A (a copy of its new
// root) then --reset to B leaves the root as a new root of B holds it (the board's own files
// aside); beside the roots nothing changes.
TEST(SimBoard, AResetGivesTheBoardANewRootHolds)
{
    namespace fs = std::filesystem;
    TempDir dir;
    fs::create_directory(dir.path + "/roots");
    dir.write("notes.txt", "beside\n");
    const auto beside = sim_tree_image(dir.path, {"roots"});
    const auto boards = every_board();
    std::vector<std::map<std::string, std::string>> fresh;
    for (size_t b = 0; b < boards.size(); b++) {
        const std::string root = dir.path + "/roots/new" + std::to_string(b);
        ASSERT_EQ(run_board(root, boards[b], {"--", "-v"}).status, 2) << board_name(boards[b]);
        fresh.push_back(sim_tree_image(root, {".sim"}));
    }
    // Each board's new root is its own, and holds what the tables make.
    EXPECT_EQ(std::set(fresh.begin(), fresh.end()).size(), boards.size());
    EXPECT_TRUE(fresh.back().contains("sys/block/sda"));
    EXPECT_TRUE(fresh.back().contains("usr/share/pci.ids"));
    EXPECT_TRUE(fresh[3].contains("sys/class/net/eth0/device"));
    EXPECT_TRUE(fresh[2].contains("proc/irq/64/smp_affinity"));
    int pairs = 0;
    for (size_t a = 0; a < boards.size(); a++)
        for (size_t b = 0; b < boards.size(); b++) {
            if (a == b)
                continue;
            SCOPED_TRACE(board_name(boards[a]) + " then " + board_name(boards[b]));
            const std::string root = dir.path + "/roots/pair";
            fs::copy(dir.path + "/roots/new" + std::to_string(a), root,
                     fs::copy_options::recursive | fs::copy_options::copy_symlinks);
            const SimRun r = run_board(root, boards[b], {"--reset", "--", "-v"});
            EXPECT_EQ(r.status, 2) << r.err;
            EXPECT_EQ(sim_tree_image(root, {".sim"}), fresh[b]);
            EXPECT_EQ(saved_model(root), board_name(boards[b]) == "the default board" ? kSimDefaultBoard : board_name(boards[b]));
            fs::remove_all(root);
            pairs++;
        }
    EXPECT_EQ(pairs, 90);
    EXPECT_EQ(sim_tree_image(dir.path, {"roots"}), beside);
}

// After a WENA board, a reset to WENB answers sfp/i as a fresh WENB board
// does: its eth1 sits below its own port, not WENA's.
TEST(SimBoard, AResetToWenbAnswersSfpAsAFreshWenb)
{
    TempDir dir;
    const std::string root = dir.path + "/root";
    ASSERT_EQ(run_board(root, {"--board", "ZK17WENA"}, {"--reset", "--", "-v"}).status, 2);
    const SimRun reset = run_board(root, {"--board", "ZK17WENB"}, {"--reset", "--", "-m", "sfp/i/1"});
    const SimRun fresh = run_board(dir.path + "/fresh", {"--board", "ZK17WENB"}, {"--", "-m", "sfp/i/1"});
    EXPECT_EQ(fresh.status, 0) << fresh.out;
    EXPECT_NE(fresh.out.find("QXNETeth1"), std::string::npos) << fresh.out;
    EXPECT_EQ(reset.status, fresh.status);
    EXPECT_EQ(reset.out, fresh.out);
    EXPECT_EQ(reset.err, fresh.err);
    EXPECT_EQ(reset.out.find("no pci root port exist"), std::string::npos);
}

// A default board with what its user wrote, and links planted where the
// board's entries go: "sys/block" aims at the root's "etc", where a file
// named like a disk stands, and "proc/cmdline" at the user's file.
std::string user_default_board(const TempDir &dir)
{
    namespace fs = std::filesystem;
    const std::string root = dir.path + "/root";
    const std::string fix = dir.write("user.fix", "file /etc/keep \"kept\\n\"\n"
                                                  "file /sys/devices/pci0000:00/0000:00:03.0/0000:05:00.0/note \"user\\n\"\n");
    EXPECT_EQ(run_board(root, {}, {"--fixture", fix, "--", "-v"}).status, 2);
    fs::remove_all(root + "/sys/block");
    dir.write("root/etc/sda", "user's\n");
    fs::create_directory_symlink("../etc", root + "/sys/block");
    fs::remove(root + "/proc/cmdline");
    fs::create_symlink("../etc/keep", root + "/proc/cmdline");
    return root;
}

// A reset takes away what a fresh board of another model makes, never
// following a link, and keeps what the user wrote: the directories a
// fresh board made that hold a user's file stay with it.
TEST(SimBoard, AResetKeepsTheUsersFilesAndFollowsNoLink)
{
    TempDir dir;
    dir.write("notes.txt", "beside\n");
    const auto beside = sim_tree_image(dir.path, {"root"});
    const std::string root = user_default_board(dir);
    const SimRun r = run_board(root, {"--board", "ZK17TRVA"}, {"--reset", "--", "-v"});
    EXPECT_EQ(r.status, 2) << r.err;

    ASSERT_EQ(run_board(dir.path + "/fresh", {"--board", "ZK17TRVA"}, {"--", "-v"}).status, 2);
    auto want = sim_tree_image(dir.path + "/fresh", {".sim"});
    want.insert({{"etc", "dir"}, {"etc/keep", "file kept\n"}, {"etc/sda", "file user's\n"},
                 {"sys/devices/pci0000:00", "dir"}, {"sys/devices/pci0000:00/0000:00:03.0", "dir"},
                 {"sys/devices/pci0000:00/0000:00:03.0/0000:05:00.0", "dir"},
                 {"sys/devices/pci0000:00/0000:00:03.0/0000:05:00.0/note", "file user\n"}});
    EXPECT_EQ(sim_tree_image(root, {".sim"}), want);
    EXPECT_EQ(sim_tree_image(dir.path, {"root", "fresh", "user.fix"}), beside);
}

// A reset whose fixture then fails puts back all it took away and wrote:
// the root, the saved board with it, is byte for byte as it was.
TEST(SimBoard, AResetWithAFailingFixturePutsAllBack)
{
    TempDir dir;
    const std::string root = user_default_board(dir);
    const std::string bad = dir.write("bad.fix", "file /etc/new \"x\"\nbogus line\n");
    const auto before = sim_tree_image(root);
    const auto beside = sim_tree_image(dir.path, {"root"});
    const SimRun r = run_board(root, {"--board", "ZK17WENB"}, {"--reset", "--fixture", bad, "--", "-v"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(bad + ":2: "), std::string::npos) << r.err;
    EXPECT_EQ(sim_tree_image(root), before);
    EXPECT_EQ(sim_tree_image(dir.path, {"root"}), beside);
    EXPECT_EQ(saved_model(root), kSimDefaultBoard);
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

// ---- the root and the board's own files ----------------------------------------------

constexpr uid_t kNobody = 65534;

// `text` with every "ROOT" in it replaced by `root`.
std::string with_root(std::string text, const std::string &root)
{
    for (size_t at = text.find("ROOT"); at != std::string::npos; at = text.find("ROOT", at + root.size()))
        text.replace(at, 4, root);
    return text;
}

// Runs `child` in a forked process stopped after 20 s; its exit status, or
// -1 when it did not exit.
int in_child(const std::function<int()> &child)
{
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(20);
        _exit(child());
    }
    int ws = 0;
    if (pid < 0 || waitpid(pid, &ws, 0) != pid)
        return -1;
    return WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
}

// The default root is used only when it is this user's own directory that
// group and others may not write; anything else is refused, named, with
// what to do. A missing one is made with mode 0700.
TEST(SimBoard, TheDefaultRootIsTheUsersOwnDirectory)
{
    namespace fs = std::filesystem;
    const bool root = ::geteuid() == 0;
    const std::string me = std::to_string(::geteuid());
    const struct {
        const char *what;
        std::function<void(const std::string &path, const std::string &beside)> make;
        std::string why;  // empty: accepted
        bool needsRoot = false;
    } cases[] = {
        {"mode 0700", [](auto &p, auto &) { ::mkdir(p.c_str(), 0700); }, ""},
        {"mode 0755", [](auto &p, auto &) { ::mkdir(p.c_str(), 0700), ::chmod(p.c_str(), 0755); }, ""},
        {"mode 0777", [](auto &p, auto &) { ::mkdir(p.c_str(), 0700), ::chmod(p.c_str(), 0777); },
         "may be written by its group or others"},
        {"mode 0770", [](auto &p, auto &) { ::mkdir(p.c_str(), 0700), ::chmod(p.c_str(), 0770); },
         "may be written by its group or others"},
        {"mode 0702", [](auto &p, auto &) { ::mkdir(p.c_str(), 0700), ::chmod(p.c_str(), 0702); },
         "may be written by its group or others"},
        {"another owner", [](auto &p, auto &) { ::mkdir(p.c_str(), 0700), (void)::chown(p.c_str(), kNobody, kNobody); },
         "is owned by uid 65534, not by this user (uid " + me + ")", true},
        {"a link to a directory", [](auto &p, auto &b) { fs::create_directory_symlink(b, p); }, "is a link"},
        {"a link to nothing", [](auto &p, auto &b) { fs::create_symlink(b + "/none", p); }, "is a link"},
        {"a plain file", [](auto &p, auto &) { std::ofstream(p) << "x"; }, "is not a directory"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.needsRoot && !root)
            continue;  // changing a directory's owner needs root
        TempDir dir;
        const std::string path = dir.path + "/quorbix-sim-x", beside = dir.path + "/beside";
        fs::create_directory(beside);
        dir.write("beside/file", "beside\n");
        c.make(path, beside);
        const auto before = sim_tree_image(dir.path);
        std::string error;
        const int fd = sim_board_default_root(path, error);
        if (c.why.empty()) {
            EXPECT_GE(fd, 0);
            EXPECT_EQ(error, "");
            EXPECT_EQ(sim_board_same_dir(fd, path), 1);
        } else {
            EXPECT_EQ(fd, -1);
            EXPECT_EQ(error, path + ": the default root " + c.why + "; remove it, or give --root DIR");
        }
        if (fd >= 0)
            ::close(fd);
        // The same through the board: refused before anything is written.
        std::string opened;
        const int status = sim_board_open(SimBoardStart{path, "", false, true}, opened);
        EXPECT_EQ(status, c.why.empty() ? 0 : 1) << opened;
        if (status == 0) {
            EXPECT_EQ(sim_board_close(), 0);
        } else {
            EXPECT_EQ(sim_tree_image(dir.path), before);
        }
    }
    // A missing default root is made, with mode 0700 whatever the umask.
    TempDir dir;
    const std::string path = dir.path + "/parent/quorbix-sim-x";
    const mode_t mask = ::umask(0);
    std::string error;
    EXPECT_EQ(sim_board_open(SimBoardStart{path, "", false, true}, error), 0) << error;
    ::umask(mask);
    EXPECT_EQ(sim_board_close(), 0);
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(saved_model(path), kSimDefaultBoard);
}

// A directory whose path is longer than PATH_MAX: `depth` steps of
// 200-character names below the directory open at `dirFd`.
void make_deep(int dirFd, char letter, int depth)
{
    const std::string name(200, letter);
    int fd = ::dup(dirFd);
    for (int i = 0; i < depth && fd >= 0; i++) {
        ::mkdirat(fd, name.c_str(), 0755);
        const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    if (fd >= 0)
        ::close(fd);
}

// The real root is told by the open root's device and inode, never by its
// name: the identity check is given another directory to compare with, and
// a root that reaches "/" through links whose expansion is longer than
// PATH_MAX is refused, in a child whose "/" is a temporary directory.
TEST(SimBoard, TheRealRootIsToldByItsIdentity)
{
    namespace fs = std::filesystem;
    TempDir dir;
    const std::string a(200, 'a'), b(200, 'b');
    // Removes the deep tree, which paths longer than PATH_MAX cannot.
    struct DeepGone {
        std::string path;
        ~DeepGone() { (void)std::system(("rm -rf '" + path + "'").c_str()); }
    } deep{dir.path + "/" + a};
    fs::create_directory(dir.path + "/other");
    const int fd = ::open(dir.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(sim_board_same_dir(fd, dir.path), 1);
    EXPECT_EQ(sim_board_same_dir(fd, dir.path + "/other/.."), 1);
    EXPECT_EQ(sim_board_same_dir(fd, dir.path + "/other"), 0);
    EXPECT_EQ(sim_board_same_dir(fd, "/"), 0);
    EXPECT_EQ(sim_board_same_dir(fd, dir.path + "/none"), -1);
    EXPECT_EQ(sim_board_same_dir(-1, dir.path), -1);

    // L1 -> 12 steps of a, and in there L2 -> 12 steps of b: 24 steps of
    // 201 characters below the directory, so "L1/L2" then 24 ".." is the
    // directory again, through an expansion longer than PATH_MAX.
    constexpr int kDepth = 12;
    auto steps = [](const std::string &name) {
        std::string out = name;
        for (int i = 1; i < kDepth; i++)
            out += "/" + name;
        return out;
    };
    make_deep(fd, 'a', kDepth);
    ASSERT_EQ(::symlinkat(steps(a).c_str(), fd, "L1"), 0);
    const int inner = ::openat(fd, steps(a).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(inner, 0);
    make_deep(inner, 'b', kDepth);
    ASSERT_EQ(::symlinkat(steps(b).c_str(), inner, "L2"), 0);
    ::close(inner);
    ::close(fd);
    std::string up = "/L1/L2";
    for (int i = 0; i < 2 * kDepth; i++)
        up += "/..";
    std::error_code ec;
    (void)fs::weakly_canonical(dir.path + up, ec);
    EXPECT_TRUE(ec) << "the spelling is one whose expansion cannot be written out";
    const int far = ::open((dir.path + up).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(far, 0);
    EXPECT_EQ(sim_board_same_dir(far, dir.path), 1);
    ::close(far);

    // The board refuses both spellings of "/" in a child whose "/" is the
    // directory, and writes nothing there.
    const auto before = sim_tree_image(dir.path, {a});
    for (const std::string &root : {std::string("/"), up}) {
        SCOPED_TRACE(root);
        const int status = in_child([&] {
            if (::chroot(dir.path.c_str()) != 0 || ::chdir("/") != 0)
                return 77;
            std::string error;
            const int opened = sim_board_open(SimBoardStart{root, "", false}, error);
            return opened == 1 && error == root + ": the real root cannot stand for the board's root" ? 0 : 1;
        });
        if (status == 77)
            GTEST_SKIP() << "the tests cannot change their root directory (chroot needs privilege)";
        EXPECT_EQ(status, 0);
        EXPECT_EQ(sim_tree_image(dir.path, {a}), before);
    }
}

// A root its user may write and search but not read (mode 333) is refused:
// the board could not list what it holds. The user must not be root, who
// may read anything: the check runs in a child that becomes nobody.
TEST(SimBoard, ARootItsUserMayNotReadIsRefused)
{
    namespace fs = std::filesystem;
    TempDir dir;
    ::chmod(dir.path.c_str(), 0755);
    fs::create_directory(dir.path + "/beside");
    dir.write("beside/file", "beside\n");
    const struct {
        mode_t mode;
        bool refused;
    } cases[] = {{0333, true}, {0733, true}, {0555, true}, {0777, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mode);
        const std::string root = dir.path + "/root";
        fs::remove_all(root);
        fs::create_directory(root);
        ::chmod(root.c_str(), c.mode);
        const auto before = sim_tree_image(dir.path, {"root"});
        const int status = in_child([&] {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
                ::setresuid(kNobody, kNobody, kNobody) != 0)
                return 77;
            std::string error;
            const int opened = sim_board_open(SimBoardStart{root, "", false}, error);
            if (opened == 0)
                return sim_board_close() == 0 && !c.refused ? 0 : 1;
            return c.refused && error == root + ": not a directory this user may read, write and search" ? 0 : 2;
        });
        if (status == 77)
            GTEST_SKIP() << "the tests cannot become another user (setresuid to " << kNobody << " needs privilege)";
        EXPECT_EQ(status, 0);
        EXPECT_EQ(sim_tree_image(dir.path, {"root"}), before);
        if (c.refused) {
            ::chmod(root.c_str(), 0700);
            EXPECT_TRUE(fs::is_empty(root));
        }
    }
}

// A chain of `depth` directories "d" in `dir`, made one step at a time (the
// whole path is longer than a path may be).
void plant_deep_tree(const std::string &dir, int depth)
{
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int i = 0; i < depth && fd >= 0; i++) {
        const int next = ::mkdirat(fd, "d", 0700) == 0 ? ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        ::close(fd);
        fd = next;
    }
    if (fd >= 0)
        ::close(fd);
}

// A link or a special file where the board keeps its own files is never
// followed nor waited on, and nothing beside the root changes: the board's
// directory, the board, its temp file and the lock, each planted over a
// saved board, with and without --reset.
TEST(SimBoardBinary, TheBoardsOwnFilesAreNeverFollowedNorWaitedOn)
{
    namespace fs = std::filesystem;
    const std::string me = std::to_string(::geteuid());
    using Plant = std::function<void(const std::string &sim, const std::string &beside)>;
    auto fifo = [](const char *name) -> Plant {
        return [name](auto &sim, auto &) { fs::remove(sim + "/" + name), ::mkfifo((sim + "/" + name).c_str(), 0644); };
    };
    const std::string hint = " (give --reset to start a fresh board)";
    const struct {
        const char *what;
        Plant plant;
        bool reset;
        int status;
        std::string err;  // ROOT stands for the root
    } cases[] = {
        {"board.tmp a link to a file beside", [](auto &sim, auto &b) { fs::create_symlink(b + "/file", sim + "/board.tmp"); },
         false, 2, ""},
        {"lock a link to a file not yet beside",
         [](auto &sim, auto &b) { fs::remove(sim + "/lock"), fs::create_symlink(b + "/newfile", sim + "/lock"); }, false, 1,
         "quorbix-sim: ROOT/.sim/lock: cannot open the lock: a link, not a regular file\n"},
        {".sim a link to a directory beside",
         [](auto &sim, auto &b) { fs::remove_all(sim), fs::create_directory_symlink(b + "/state", sim); }, false, 1,
         "quorbix-sim: ROOT/.sim: a link, not the board's own directory\n"},
        {".sim a link to a directory beside, --reset",
         [](auto &sim, auto &b) { fs::remove_all(sim), fs::create_directory_symlink(b + "/state", sim); }, true, 1,
         "quorbix-sim: ROOT/.sim: a link, not the board's own directory\n"},
        {"board a link to a file beside",
         [](auto &sim, auto &b) { fs::remove(sim + "/board"), fs::create_symlink(b + "/file", sim + "/board"); }, false,
         1, "quorbix-sim: ROOT/.sim/board: a link, not a regular file" + hint + "\n"},
        {"board a link to a file beside, --reset",
         [](auto &sim, auto &b) { fs::remove(sim + "/board"), fs::create_symlink(b + "/file", sim + "/board"); }, true,
         2, ""},
        {"board a FIFO", fifo("board"), false, 1, "quorbix-sim: ROOT/.sim/board: not a regular file" + hint + "\n"},
        {"board a FIFO, --reset", fifo("board"), true, 2, ""},
        {"board.tmp a FIFO", fifo("board.tmp"), false, 2, ""},
        {"lock a FIFO", fifo("lock"), false, 1, "quorbix-sim: ROOT/.sim/lock: cannot open the lock: not a regular file\n"},
        {"board.tmp a directory", [](auto &sim, auto &) { fs::create_directories(sim + "/board.tmp/x"); }, false, 2, ""},
        {"board.tmp a directory holding links out, an unreadable directory and a deep tree",
         [](auto &sim, auto &b) {
             fs::create_directories(sim + "/board.tmp/shut/in");
             fs::create_directory_symlink(b + "/state", sim + "/board.tmp/state");
             fs::create_symlink(b + "/file", sim + "/board.tmp/shut/file");
             ::chmod((sim + "/board.tmp/shut").c_str(), 0);
             plant_deep_tree(sim + "/board.tmp", 1500);
         },
         false, 2, ""},
        {"board.tmp a link to a directory beside",
         [](auto &sim, auto &b) { fs::create_directory_symlink(b + "/state", sim + "/board.tmp"); }, false, 2, ""},
        {"board a directory", [](auto &sim, auto &) { fs::remove(sim + "/board"), fs::create_directories(sim + "/board/x"); },
         false, 1, "quorbix-sim: ROOT/.sim/board: not a regular file" + hint + "\n"},
        {"board a directory, --reset",
         [](auto &sim, auto &b) {
             fs::remove(sim + "/board");
             fs::create_directories(sim + "/board/x");
             fs::create_symlink(b + "/file", sim + "/board/x/file");
         },
         true, 2, ""},
        {".sim another user's", [](auto &sim, auto &) { (void)::chown(sim.c_str(), kNobody, kNobody); }, false, 1,
         "quorbix-sim: ROOT/.sim: not owned by this user (uid " + me + ")\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string root = dir.path + "/root", beside = dir.path + "/beside", sim = root + "/.sim";
        fs::create_directories(beside + "/state");
        dir.write("beside/file", "beside\n");
        dir.write("beside/state/fpga_model.state", "fpga\n");
        dir.write("beside/state/mpt_model.state", "mpt\n");
        ASSERT_EQ(run_sim_binary("--root " + root + " -- -v", kSimLimitSeconds).status, 2);
        c.plant(sim, beside);
        const auto before = sim_tree_image(beside);
        SimRun r = run_sim_binary(std::string(c.reset ? "--reset " : "") + "--root " + root + " -- -v", kSimLimitSeconds);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.err, with_root(c.err, root));
        EXPECT_EQ(sim_tree_image(beside), before);
        EXPECT_FALSE(fs::exists(beside + "/newfile"));
        if (c.status == 2) {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(sim + "/board")));
            EXPECT_FALSE(fs::exists(fs::symlink_status(sim + "/board.tmp")));
            EXPECT_EQ(saved_model(root), kSimDefaultBoard);
        }
    }
}

// The board's directory and lock are the user's alone whatever the umask
// (another user who may read the lock could hold it for ever), and those an
// earlier run left open to others are set so when a run starts.
TEST(SimBoard, TheBoardsDirectoryAndLockAreTheUsersAlone)
{
    TempDir dir;
    const std::string sim = dir.path + "/.sim", lock = sim + "/lock";
    auto mode = [](const std::string &path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 01000;
    };
    const mode_t mask = ::umask(0);
    EXPECT_EQ(open_board(dir.path, "", false), 0);
    EXPECT_EQ(sim_board_close(), 0);
    EXPECT_EQ(mode(sim), 0700u);
    EXPECT_EQ(mode(lock), 0600u);
    ::chmod(sim.c_str(), 0777);
    ::chmod(lock.c_str(), 0666);
    EXPECT_EQ(open_board(dir.path, "", false), 0);
    EXPECT_EQ(mode(sim), 0700u) << "while the run holds the lock";
    EXPECT_EQ(mode(lock), 0600u);
    EXPECT_EQ(sim_board_close(), 0);
    ::umask(mask);
}

// Until its board is saved a run can be taken back whole: every change
// under the root, the fixtures' and those the tool makes after them, is
// put back when the board is dropped, and when its save fails; the line
// then names the file that failed and says the root went back. Nothing
// beside the root changes.
TEST(SimBoard, TheRootIsPutBackUntilTheBoardIsSaved)
{
    namespace fs = std::filesystem;
    const struct {
        const char *what;
        std::function<void(const std::string &sim)> plant;  // null: the board is dropped
        std::string err;
    } cases[] = {
        {"dropped", nullptr, ""},
        {"board.tmp a directory", [](auto &sim) { fs::create_directories(sim + "/board.tmp/x"); },
         "quorbix-sim: board not saved: ROOT/.sim/board.tmp: Is a directory; ROOT put back as it was\n"},
        {"board a directory", [](auto &sim) { fs::remove(sim + "/board"), fs::create_directories(sim + "/board/x"); },
         "quorbix-sim: board not saved: ROOT/.sim/board: Is a directory; ROOT put back as it was\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string root = dir.path + "/root";
        ASSERT_EQ(open_board(root, "", false), 0);
        ASSERT_EQ(sim_board_close(), 0);
        dir.write("root/notes.txt", "2b");
        dir.write("beside.txt", "beside\n");
        const auto before = sim_tree_image(root, {".sim"});
        const auto beside = sim_tree_image(dir.path, {"root"});
        ASSERT_EQ(open_board(root, "", false), 0);
        std::string error;
        EXPECT_TRUE(sim_fixture_apply("file /etc/quorbix/new.txt \"one\"\nfile /notes.txt \"longer\"\n", "f", error))
            << error;
        EXPECT_EQ(host().mkdir("/made", 0755), 0);
        for (const char *path : {"/made/new.txt", "/notes.txt"}) {
            const int fd = host().open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
            EXPECT_GE(fd, 0) << path;
            EXPECT_EQ(host().write(fd, "tool", 4), 4) << path;
            host().close(fd);
        }
        EXPECT_EQ(host().rename("/made/new.txt", "/etc/quorbix/renamed.txt"), 0);
        ASSERT_NE(sim_tree_image(root, {".sim"}), before);
        if (c.plant) {
            c.plant(root + "/.sim");
            testing::internal::CaptureStderr();
            EXPECT_EQ(sim_board_close(), 1);
            EXPECT_EQ(testing::internal::GetCapturedStderr(), with_root(c.err, root));
        } else {
            std::string undo;
            EXPECT_EQ(sim_board_abandon(undo), 0) << undo;
        }
        EXPECT_EQ(sim_board_current(), nullptr);
        EXPECT_EQ(sim_tree_image(root, {".sim"}), before);
        EXPECT_EQ(sim_tree_image(dir.path, {"root"}), beside);
    }
}

// A missing root whose last step is "." or ".." is not made (making its
// parent would write beside what the root turns out to be) and is refused;
// an existing one spelled so is used.
TEST(SimBoard, AMissingRootEndingInADotStepIsNotMade)
{
    TempDir dir;
    std::filesystem::create_directories(dir.path + "/there/sub");
    for (const char *step : {"/nd/sub/.", "/nd/sub/..", "/nd/.", "/nd/sub/./"}) {
        SCOPED_TRACE(step);
        const std::string root = dir.path + step;
        SimRun r = sim_run_in_process({"--root", root, "--", "-v"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "quorbix-sim: " + root + ": No such file or directory\n");
        EXPECT_FALSE(std::filesystem::exists(dir.path + "/nd"));
    }
    for (const char *step : {"/there/sub/.", "/there/sub/.."}) {
        SCOPED_TRACE(step);
        SimRun r = sim_run_in_process({"--root", dir.path + step, "--", "-v"});
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.err, "");
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path + "/there/sub" + kSimBoardDocPath));
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path + "/there" + kSimBoardDocPath));
}

// Where openat2 is missing (a kernel before 5.6, a memory checker that does
// not know it) or forbidden, the board walks its paths instead, confined as
// before: in a child whose openat2 fails so, the board opens, a write
// through a link aimed beside the root lands under the root, the walk
// refuses a link anywhere on its way, and the quorbix-sim binary (which
// inherits the filter) runs the quick start. Where openat2 answers, the
// board takes it.
TEST(SimBoard, AKernelWithoutOpenat2TakesTheWalk)
{
    namespace fs = std::filesystem;
    for (const int err : {ENOSYS, EPERM, 0}) {
        SCOPED_TRACE(err);
        TempDir dir;
        const std::string root = dir.path + "/root", beside = dir.path + "/beside";
        fs::create_directories(root + "/etc");
        fs::create_directories(beside);
        dir.write("beside/victim", "beside\n");
        fs::create_directories(root + beside);  // where the links lead under the root
        fs::create_directories(root + "/beside");
        fs::create_directory_symlink(beside, root + "/etc/out");
        fs::create_directory_symlink("../../beside", root + "/etc/up");
        const auto before = sim_tree_image(beside);
        const int status = in_child([&] {
            if (err != 0 && !refuse_openat2(err))
                return kNoSeccompStatus;
            sim_beneath_decide_again();
            std::string error;
            if (sim_board_open(SimBoardStart{root, "", false}, error) != 0)
                return 1;
            if (sim_beneath_way() != (openat2_answers() ? SimBeneathWay::Openat2 : SimBeneathWay::Walk))
                return 2;
            for (const char *path : {"/etc/out/victim", "/etc/up/victim"}) {
                const int fd = host().open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (fd < 0 || host().write(fd, "under\n", 6) != 6 || host().close(fd) != 0)
                    return 3;
            }
            // The walk itself follows no link, however it points.
            const SimFd top(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            for (const char *path : {"etc/out/victim", "etc/up", "etc/up/victim"})
                if (SimFd(sim_open_beneath(top.fd, path, O_RDONLY)).fd >= 0 || errno != ELOOP)
                    return 6;
            if (sim_board_close() != 0)
                return 4;
            SimRun r = run_sim_binary("--root " + root + " -- -v -m port/k/0:1", kSimLimitSeconds);
            return r.status == 0 && r.out.find("Link detected : yes\n") != std::string::npos ? 0 : 5;
        });
        if (status == kNoSeccompStatus)
            GTEST_SKIP() << "the tests cannot filter their own system calls (seccomp)";
        EXPECT_EQ(status, 0);
        EXPECT_EQ(sim_tree_image(beside), before);
        for (const std::string &landed : {root + beside + "/victim", root + "/beside/victim"}) {
            std::stringstream text;
            text << std::ifstream(landed).rdbuf();
            EXPECT_EQ(text.str(), "under\n") << landed;
        }
        EXPECT_EQ(saved_model(root), kSimDefaultBoard);
    }
}

} // namespace
