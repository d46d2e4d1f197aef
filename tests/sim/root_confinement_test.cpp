// Everything the simulated host writes stays under its root. A link inside
// the root resolves as in a chroot (an absolute target is taken under the
// root, ".." stops at it), whoever writes through it: a fixture line, a
// model's line, a scripted command's file or the tool's own open. A link
// loop writes nothing. Beside the root sits "outside" with a file the links
// aim at; after every case it is byte for byte as before.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bases/host/host.h"
#include "sim/fixture_file.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"
#include "sim/sim_run.h"
#include "support/no_openat2.h"
#include "support/sim_binary.h"
#include "support/sim_in_process.h"

namespace {

namespace fs = std::filesystem;

const std::string kVictim = "the file beside the root\n";

std::string bytes_of(const std::string &path)
{
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
}

// A root with links inside it, and "outside" beside it. In a link target
// "@" stands for the temporary directory holding both (a real absolute path).
struct Links {
    const char *name;    // under ROOT/etc
    const char *target;
} const kLinks[] = {
    {"abs", "@/outside"},                 // absolute, to a directory beside the root
    {"up", "../../outside"},              // relative, climbing above the root
    {"victim", "@/outside/victim"},       // absolute, to the file beside the root
    {"victim-up", "../../outside/victim"},
    {"chain", "hop"},                     // a chain ending in a link that climbs
    {"hop", "../etc/../../../outside"},
    {"indir", "../var"},                  // to a directory inside the root
    {"alias", "real.txt"},                // to a file inside the root
    {"top", "/"},                         // to the root itself
    {"loop-a", "loop-b"},
    {"loop-b", "loop-a"},
    {"self", "self"},
};

struct Board {
    TempDir dir;
    std::string root = dir.path + "/root";
    std::string outside = dir.path + "/outside";

    // The links and the files they aim at; the root exists (a board may
    // already be saved in it).
    void plant()
    {
        fs::create_directories(root + "/etc");
        fs::create_directories(root + "/var");
        fs::create_directories(outside);
        std::ofstream(outside + "/victim", std::ios::binary) << kVictim;
        std::ofstream(root + "/etc/real.txt", std::ios::binary) << "inside\n";
        for (const Links &l : kLinks) {
            std::string target = l.target;
            if (target[0] == '@')
                target = dir.path + target.substr(1);
            fs::create_symlink(target, root + "/etc/" + l.name);
        }
    }
};

// Where a write through each path lands, relative to the root ("@": the
// temporary directory's absolute path, now taken under the root); null: the
// path does not resolve (ELOOP) and nothing is written.
struct Case {
    const char *path;
    const char *lands;
} const kCases[] = {
    {"/etc/abs/escaped", "@/outside/escaped"},
    {"/etc/up/escaped", "/outside/escaped"},
    {"/etc/victim", "@/outside/victim"},
    {"/etc/victim-up", "/outside/victim"},
    {"/etc/chain/escaped", "/outside/escaped"},
    {"/etc/indir/x", "/var/x"},
    {"/etc/alias", "/etc/real.txt"},
    {"/etc/top/etc/new", "/etc/new"},
    {"/etc/loop-a/x", nullptr},
    {"/etc/self", nullptr},
};

std::string landing(const Board &b, const Case &c)
{
    std::string rel = c.lands;
    return b.root + (rel[0] == '@' ? b.dir.path + rel.substr(1) : rel);
}

constexpr const char *kSpecialFileCases =
    "KernelFilesTest.OnlyPlainFilesAreOpened:SimHostTest.ModelLinkCallsActBeneathTheRoot:"
    "SimBoardBinary.TheBoardsOwnFilesAreNeverFollowedNorWaitedOn:SmbiosDumpFile.OnlyARegularFileIsRead";

// Every case of this file, and the special-file and link cases of the
// kernel, the models' link calls, the board's own files and the SMBIOS
// dump, hold where openat2 is missing or forbidden and the simulator walks
// the path instead: the program runs them again in a child whose openat2
// fails so.
TEST(RootConfinementWithoutOpenat2, EveryCaseHolds)
{
    for (const int err : {ENOSYS, EPERM}) {
        SCOPED_TRACE(err);
        const NoOpenat2Run r = rerun_without_openat2(err, "RootConfinement.*:" + std::string(kSpecialFileCases), 240);
        if (r.status == kNoSeccompStatus)
            GTEST_SKIP() << "the tests cannot filter their own system calls (seccomp)";
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(r.passed, suite_test_count("RootConfinement") + 4) << r.output;
    }
}

// A fixture `file` line through each link: written under the root, or
// refused with its line and the reason, the root left as it was.
TEST(RootConfinement, FixtureFileLinesStayUnderTheRoot)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.path);
        Board b;
        b.plant();
        const std::string fix = b.dir.write("f.fix", std::string("file /etc/note \"n\"\nfile ") + c.path + " \"x\"\n");
        const auto beside = sim_tree_image(b.dir.path, {"root"});
        const auto before = sim_tree_image(b.root, {".sim"});
        SimRun r = sim_run_in_process({"--root", b.root, "--fixture", fix, "--", "-v"});
        EXPECT_EQ(sim_tree_image(b.dir.path, {"root"}), beside);
        EXPECT_EQ(bytes_of(b.outside + "/victim"), kVictim);
        if (c.lands == nullptr) {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.err, "quorbix-sim: " + fix + ":2: '" + c.path + "': Too many levels of symbolic links\n");
            EXPECT_EQ(sim_tree_image(b.root, {".sim"}), before) << "not even line 1";
            continue;
        }
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(bytes_of(landing(b, c)), "x");
        EXPECT_EQ(fs::read_symlink(b.root + "/etc/abs"), b.outside) << "the link itself unchanged";
    }
}

// A run abandoned after a line wrote through a link puts back the file the
// link leads to.
TEST(RootConfinement, AnAbandonedRunPutsBackAFileWrittenThroughALink)
{
    Board b;
    ASSERT_EQ(sim_run_in_process({"--root", b.root, "--", "-v"}).status, 2);
    b.plant();
    const auto before = sim_tree_image(b.root, {".sim"});
    // A model's line is checked as it is applied: the file lines before it
    // have been written by then.
    const std::string fix =
        b.dir.write("f.fix", "file /etc/alias \"over\"\nfile /etc/victim-up \"over\"\nmpt-phy 1 0 zz 0 0 0 0\n");
    SimRun r = sim_run_in_process({"--root", b.root, "--fixture", fix, "--", "-v"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.starts_with("quorbix-sim: " + fix + ":3: ")) << r.err;
    EXPECT_EQ(sim_tree_image(b.root, {".sim"}), before);
    EXPECT_EQ(bytes_of(b.root + "/etc/real.txt"), "inside\n");
    EXPECT_EQ(bytes_of(b.outside + "/victim"), kVictim);
}

// The same paths opened by the tool through the host interface, written by
// a scripted command, and by a model (sim_write_file). The tool's open makes
// no directories: the landing's directory is there, as it would be on a
// real host.
TEST(RootConfinement, TheToolsWritesStayUnderTheRoot)
{
    const struct {
        const char *what;
        bool (*write)(const char *path, const std::string &text);  // false: refused with ELOOP
    } writers[] = {
        {"open(O_CREAT)",
         [](const char *path, const std::string &text) {
             int fd = host().open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
             if (fd < 0) {
                 EXPECT_EQ(errno, ELOOP);
                 return false;
             }
             EXPECT_EQ(host().write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
             host().close(fd);
             return true;
         }},
        {"fopen(\"w\")",
         [](const char *path, const std::string &text) {
             FILE *f = host().fopen(path, "w");
             if (f == nullptr) {
                 EXPECT_EQ(errno, ELOOP);
                 return false;
             }
             std::fputs(text.c_str(), f);
             std::fclose(f);
             return true;
         }},
        {"a scripted command's file",
         [](const char *path, const std::string &text) {
             sim_script_command("collect", SimShellScript{"", 0, {{path, text}}});
             EXPECT_EQ(host().system("collect"), 0) << "the command runs either way";
             return sim_read_file(path) == text;
         }},
        {"sim_write_file",
         [](const char *path, const std::string &text) {
             try {
                 sim_write_file(path, text);
             } catch (const fs::filesystem_error &e) {
                 EXPECT_EQ(e.code().value(), ELOOP);
                 return false;
             }
             return true;
         }},
    };
    for (const Case &c : kCases) {
        Board b;
        ASSERT_EQ(sim_board_open(b.root, ""), 0);
        b.plant();
        if (c.lands != nullptr)
            fs::create_directories(fs::path(landing(b, c)).parent_path());
        const auto beside = sim_tree_image(b.dir.path, {"root"});
        const auto before = sim_tree_image(b.root, {".sim"});
        for (const auto &w : writers) {
            SCOPED_TRACE(std::string(w.what) + " " + c.path);
            const std::string text = std::string("by ") + w.what;
            EXPECT_EQ(w.write(c.path, text), c.lands != nullptr);
            if (c.lands == nullptr)
                EXPECT_EQ(sim_tree_image(b.root, {".sim"}), before);
            else
                EXPECT_EQ(bytes_of(landing(b, c)), text);
            EXPECT_EQ(sim_tree_image(b.dir.path, {"root"}), beside);
            EXPECT_EQ(bytes_of(b.outside + "/victim"), kVictim);
        }
        std::string ignored;
        sim_board_abandon(ignored);
    }
}

// sim_path, for models that make and remove links: the directories on the
// way resolve under the root, the last component only when asked.
TEST(RootConfinement, ModelPathsResolveUnderTheRoot)
{
    Board b;
    ASSERT_EQ(sim_board_open(b.root, ""), 0);
    b.plant();
    const struct {
        const char *path;
        bool follow;
        std::string host;  // empty: does not resolve
    } cases[] = {
        {"/etc/up/x", false, b.root + "/outside/x"},
        {"/etc/up", false, b.root + "/etc/up"},
        {"/etc/up", true, b.root + "/outside"},
        {"/etc/abs", true, b.root + b.outside},
        {"/sys/block/../../../outside/victim", false, b.root + "/outside/victim"},
        {"etc/real.txt", false, b.root + "/etc/real.txt"},
        {"", false, b.root + "/"},
        {"/etc/loop-a", false, b.root + "/etc/loop-a"},
        {"/etc/loop-a", true, ""},
        {"/etc/loop-a/x", false, ""},
        {"/.sim/lock", false, ""},         // the board's own files
        {"/sys/../.sim", true, ""},
        {"/.simx", false, b.root + "/.simx"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sim_path(c.path, c.follow), c.host) << c.path << (c.follow ? " followed" : "");
    std::string canon;
    EXPECT_EQ(sim_resolve(std::string("/etc/a\0b", 8), true, canon), -EINVAL);
    EXPECT_THROW(sim_write_file(std::string("/etc/a\0b", 8), "x"), fs::filesystem_error);
    EXPECT_FALSE(fs::exists(b.root + "/etc/a"));
    std::string ignored;
    sim_board_abandon(ignored);
}

// A model line naming a device with ".." in it: the links it makes and
// removes stay under the root.
TEST(RootConfinement, ModelLinesStayUnderTheRoot)
{
    Board b;
    b.plant();
    const std::string fix = b.dir.write("f.fix", "disk-add ../../../outside/victim sg9 sas\n");
    const auto beside = sim_tree_image(b.dir.path, {"root"});
    sim_run_in_process({"--root", b.root, "--fixture", fix, "--", "-v"});
    EXPECT_EQ(sim_tree_image(b.dir.path, {"root"}), beside);
    EXPECT_EQ(bytes_of(b.outside + "/victim"), kVictim);
}

// A device named into the board's own directory: its lock stays a plain
// file, so the next run's lock cannot be led out of the root.
TEST(RootConfinement, ModelLinesLeaveTheBoardsOwnFilesAlone)
{
    Board b;
    b.plant();
    ASSERT_EQ(sim_run_in_process({"--root", b.root, "--", "-v"}).status, 2);
    const std::string fix = b.dir.write("f.fix", "disk-add ../../.sim/lock ../../../.sim/board sas\n");
    sim_run_in_process({"--root", b.root, "--fixture", fix, "--", "-v"});
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(b.root + "/.sim/lock")));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(b.root + "/.sim/board")));
    EXPECT_EQ(sim_run_in_process({"--root", b.root, "--", "-v"}).status, 2);
    EXPECT_EQ(bytes_of(b.outside + "/victim"), kVictim);
}

// The board's own files, named or reached through a link, and the root are
// refused as files no fixture may write.
TEST(RootConfinement, TheBoardsOwnFilesAreNotFixtureFiles)
{
    Board b;
    ASSERT_EQ(sim_board_open(b.root, ""), 0);
    b.plant();
    fs::create_directory_symlink("../.sim", b.root + "/etc/own");
    for (const char *path : {"/.sim/board", "/.sim", "/etc/own/lock", "/"}) {
        std::string error;
        EXPECT_FALSE(sim_fixture_apply(std::string("file ") + path + " \"x\"\n", "o.fix", error));
        EXPECT_EQ(error, std::string("o.fix:1: ") + path + " is not a file a fixture may write");
    }
    std::string ignored;
    sim_board_abandon(ignored);
}

// A NUL byte in a fixture path is refused, and nothing of the file applied.
TEST(RootConfinement, ANulByteInAFixturePathIsRefused)
{
    Board b;
    ASSERT_EQ(sim_board_open(b.root, ""), 0);
    for (const char *verb : {"file", "fail-open"}) {
        std::string error;
        const std::string line = std::string(verb) + " /etc/a" + std::string(1, '\0') + "b " +
                                 (verb == std::string("file") ? "\"x\"" : "EIO");
        EXPECT_FALSE(sim_fixture_apply("file /etc/first \"1\"\n" + line + "\n", "n.fix", error)) << verb;
        EXPECT_EQ(error, "n.fix:2: '" + sim_clip(std::string("/etc/a\0b", 8)) + "' holds a NUL byte") << verb;
        EXPECT_FALSE(fs::exists(b.root + "/etc/a")) << verb;
        EXPECT_FALSE(fs::exists(b.root + "/etc/first")) << verb;
    }
    std::string ignored;
    sim_board_abandon(ignored);
}

bool is_fifo(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// A FIFO where the board keeps a file, reached by a fixture line (directly
// or through a link), by a fresh board's boot files or by the tool's own
// open, is refused at once: nothing waits for a writer that never comes.
TEST(RootConfinement, AFifoIsRefusedWithoutWaiting)
{
    const struct {
        const char *what;
        const char *fifo;
        std::string fixture;  // "": none
        const char *options;
        int status;
        const char *err;      // "@" stands for the root, "%" for the fixture; null: not checked
    } cases[] = {
        {"a file line", "/etc/fifo", "file /etc/fifo \"x\"\n", "-- -v", 1,
         "quorbix-sim: %:1: /etc/fifo: No such device or address\n"},
        {"a file line through a link", "/etc/fifo", "file /etc/to-fifo \"x\"\n", "-- -v", 1,
         "quorbix-sim: %:1: /etc/to-fifo: No such device or address\n"},
        {"a boot file of a fresh board", "/proc/cmdline", "", "--reset -- -v", 1,
         "quorbix-sim: @/proc/cmdline: No such device or address\n"},
        {"the tool's own open", "/proc/cmdline", "", "-- -m fpga/a/0", 2, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Board b;
        ASSERT_EQ(sim_run_in_process({"--root", b.root, "--", "-v"}).status, 2);
        b.plant();
        fs::create_directories(fs::path(b.root + c.fifo).parent_path());
        fs::remove(b.root + c.fifo);
        ASSERT_EQ(::mkfifo((b.root + c.fifo).c_str(), 0644), 0);
        fs::create_symlink("fifo", b.root + "/etc/to-fifo");
        std::string args = "--root " + b.root + " ";
        const std::string fix = c.fixture.empty() ? "" : b.dir.write("f.fix", c.fixture);
        if (!fix.empty())
            args += "--fixture " + fix + " ";
        const auto beside = sim_tree_image(b.dir.path, {"root"});
        const auto before = sim_tree_image(b.root, {".sim"});
        SimRun r = run_sim_binary(args + c.options, kSimLimitSeconds);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.err != nullptr) {
            std::string want = c.err;
            if (size_t at = want.find('@'); at != std::string::npos)
                want.replace(at, 1, b.root);
            if (size_t at = want.find('%'); at != std::string::npos)
                want.replace(at, 1, fix);
            EXPECT_EQ(r.err, want);
            EXPECT_EQ(sim_tree_image(b.root, {".sim"}), before);
        }
        EXPECT_TRUE(is_fifo(b.root + c.fifo));
        EXPECT_EQ(sim_tree_image(b.dir.path, {"root"}), beside);
    }
}

// A hard link in the root to a file beside it: a write through it would
// change the file beside, so the fixture line and the tool's own writes
// are refused; a read is not.
TEST(RootConfinement, AFileWithASecondNameIsNotWritten)
{
    Board b;
    ASSERT_EQ(sim_run_in_process({"--root", b.root, "--", "-v"}).status, 2);
    b.plant();
    fs::create_hard_link(b.outside + "/victim", b.root + "/hl");
    const std::string fix = b.dir.write("f.fix", "file /hl \"overwritten\"\n");
    const auto beside = sim_tree_image(b.dir.path, {"root"});
    const auto before = sim_tree_image(b.root, {".sim"});
    SimRun r = sim_run_in_process({"--root", b.root, "--fixture", fix, "--", "-v"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorbix-sim: " + fix + ":1: /hl: Too many links\n");
    EXPECT_EQ(sim_tree_image(b.root, {".sim"}), before);

    ASSERT_EQ(sim_board_open(b.root, ""), 0);
    for (int flags : {O_WRONLY | O_TRUNC, O_WRONLY | O_APPEND, O_RDWR, O_WRONLY | O_CREAT}) {
        errno = 0;
        EXPECT_EQ(host().open("/hl", flags, 0644), -1) << flags;
        EXPECT_EQ(errno, EMLINK) << flags;
    }
    EXPECT_EQ(host().fopen("/hl", "w"), nullptr);
    EXPECT_EQ(errno, EMLINK);
    EXPECT_EQ(sim_read_file("/hl"), kVictim) << "reading it harms nothing";
    std::string ignored;
    sim_board_abandon(ignored);
    EXPECT_EQ(sim_tree_image(b.dir.path, {"root"}), beside);
}

// A directory on the way swapped for a link to the directory beside the
// root after the path was resolved (here by a fault's predicate, which
// runs between the two): the open fails with ELOOP, nothing is followed.
TEST(RootConfinement, ALinkPlantedAfterTheLookupIsNotFollowed)
{
    Board b;
    ASSERT_EQ(sim_board_open(b.root, ""), 0);
    b.plant();
    fs::create_directories(b.root + "/etc/dir");
    std::ofstream(b.root + "/etc/dir/victim") << "inside\n";
    std::ofstream(b.outside + "/victim", std::ios::trunc) << kVictim;
    const auto beside = sim_tree_image(b.dir.path, {"root"});
    SimFault swap;
    swap.op = SimFaultOp::open;
    swap.node = "/etc/dir/victim";
    swap.match = [&](const void *) {
        fs::rename(b.root + "/etc/dir", b.root + "/etc/dir-was");
        fs::create_directory_symlink(b.outside, b.root + "/etc/dir");
        return false;
    };
    sim_add_fault(swap);
    for (int flags : {O_WRONLY | O_TRUNC, O_WRONLY | O_CREAT | O_TRUNC, O_RDWR, O_RDONLY}) {
        errno = 0;
        EXPECT_EQ(host().open("/etc/dir/victim", flags, 0644), -1) << flags;
        EXPECT_EQ(errno, ELOOP) << flags;
        fs::remove(b.root + "/etc/dir");
        fs::rename(b.root + "/etc/dir-was", b.root + "/etc/dir");
    }
    EXPECT_EQ(host().fopen("/etc/dir/victim", "w"), nullptr);
    EXPECT_EQ(errno, ELOOP);
    EXPECT_EQ(sim_tree_image(b.dir.path, {"root"}), beside);
    EXPECT_EQ(bytes_of(b.outside + "/victim"), kVictim);
    std::string ignored;
    sim_board_abandon(ignored);
}

// A root named through a link and "..": the kernel takes the directory
// the name reaches (T/L/../r with T/L -> T/X/deep is T/X/r), and a failing
// fixture's files are put back there.
TEST(RootConfinement, AFailingRunIsUndoneInTheRootTheKernelHolds)
{
    TempDir t;
    fs::create_directories(t.path + "/X/deep");
    fs::create_directory_symlink(t.path + "/X/deep", t.path + "/L");
    const std::string named = t.path + "/L/../r";
    const std::string real = t.path + "/X/r";
    ASSERT_EQ(sim_run_in_process({"--root", named, "--", "-v"}).status, 2);
    ASSERT_TRUE(fs::is_regular_file(real + "/.sim/board"));
    std::ofstream(real + "/x", std::ios::binary) << "old x";
    const auto before = sim_tree_image(t.path);
    const std::string fix = t.write("f.fix", "file /x \"X\"\nfile /y \"new\"\ndisk-add sdz sg9 floppy\n");
    SimRun r = sim_run_in_process({"--root", named, "--fixture", fix, "--", "-v"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.starts_with("quorbix-sim: " + fix + ":3: ")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(bytes_of(real + "/x"), "old x");
    EXPECT_FALSE(fs::exists(fs::symlink_status(real + "/y")));
    EXPECT_FALSE(fs::exists(t.path + "/r"));
    auto after = sim_tree_image(t.path);
    after.erase("f.fix");
    EXPECT_EQ(after, before);
}

// A root written T/X/L/.. with T/X/L -> T/Y/deep is T/Y: what another
// program makes in T/X meanwhile is no business of the undo.
TEST(RootConfinement, TheUndoLeavesAloneWhatOthersMakeBesideTheRoot)
{
    TempDir t;
    fs::create_directories(t.path + "/X");
    fs::create_directories(t.path + "/Y/deep");
    fs::create_directory_symlink(t.path + "/Y/deep", t.path + "/X/L");
    const std::string named = t.path + "/X/L/..";
    ASSERT_EQ(sim_run_in_process({"--root", named, "--", "-v"}).status, 2);
    ASSERT_TRUE(fs::is_regular_file(t.path + "/Y/.sim/board"));
    ASSERT_EQ(sim_board_open(named, ""), 0);
    std::string error;
    EXPECT_TRUE(sim_fixture_apply("file /made \"by the run\"\nfile /dir/made \"too\"\n", "o.fix", error)) << error;
    std::ofstream(t.path + "/X/other", std::ios::binary) << "another program's\n";
    fs::create_directory(t.path + "/X/other-dir");
    std::ofstream(t.path + "/Y/dir/theirs", std::ios::binary) << "another program's\n";
    EXPECT_TRUE(fs::exists(t.path + "/Y/made"));
    // The directory the run made holds another program's file by now: it
    // stays, and the undo says so.
    EXPECT_EQ(sim_board_abandon(error), 1);
    EXPECT_EQ(error, named + ": could not put back 1 entry: dir");
    EXPECT_FALSE(fs::exists(t.path + "/Y/made")) << "the run's own files go";
    EXPECT_FALSE(fs::exists(t.path + "/Y/dir/made"));
    EXPECT_EQ(bytes_of(t.path + "/Y/dir/theirs"), "another program's\n");
    EXPECT_EQ(bytes_of(t.path + "/X/other"), "another program's\n");
    EXPECT_TRUE(fs::is_directory(t.path + "/X/other-dir"));
    EXPECT_TRUE(fs::is_symlink(t.path + "/X/L"));
}

} // namespace
