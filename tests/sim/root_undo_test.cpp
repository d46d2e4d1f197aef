// The undo of a run: every entry the run changed is put back as it was
// (bytes, length, mode, times; the entry itself where it was kept aside
// whole), what it kept aside lives in the board's directory only while the
// run lasts, and it never costs the size of the files it keeps.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <map>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bases/host/host.h"
#include "sim/fixture_file.h"
#include "sim/kit/sim_fd.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"
#include "support/sim_binary.h"
#include "support/sim_in_process.h"

namespace {

namespace fs = std::filesystem;

// A line refused when it is applied, after the lines before it are in.
constexpr const char *kFailingLine = "disk-add sdz sg9 floppy\n";

std::string bytes_of(const std::string &path)
{
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
}

struct stat stat_of(const std::string &path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

void write_file(const std::string &path, const std::string &text, mode_t mode = 0644)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    fs::permissions(path, static_cast<fs::perms>(mode));
}

// A root with a saved board, and a tree beside it that no case may change.
struct Root {
    TempDir dir;
    std::string root = dir.path + "/root";
    std::string kept = root + "/.sim/undo";

    Root()
    {
        fs::create_directories(dir.path + "/outside/deep");
        fs::create_directories(dir.path + "/fix");
        write_file(dir.path + "/outside/victim", "beside the root\n");
        EXPECT_EQ(sim_run_in_process({"--root", root, "--", "-v"}).status, 2);
    }
    // A case stopped half way leaves no board open for the next.
    ~Root()
    {
        std::string ignored;
        sim_board_abandon(ignored);
    }
    std::map<std::string, std::string> beside() const { return sim_tree_image(dir.path, {"root", "fix"}); }
    // quorbix-sim with the fixture texts in order, then -v.
    SimRun run(const std::vector<std::string> &fixtures)
    {
        std::vector<std::string> args = {"--root", root};
        for (size_t i = 0; i < fixtures.size(); i++)
            args.insert(args.end(), {"--fixture", dir.write("fix/f" + std::to_string(i) + ".fix", fixtures[i])});
        args.insert(args.end(), {"--", "-v"});
        return sim_run_in_process(args);
    }
};

// A second fixture that fails takes back what a first one wrote.
TEST(RootUndo, WhatAFirstFixtureWroteIsPutBack)
{
    const struct {
        const char *what;
        const char *path;
        const char *before;  // null: no file there
        const char *line;
    } cases[] = {
        // Only "/.sim" and what lies beneath it are the board's own.
        {"a name that begins like the board's own", "/.simple", nullptr, "file /.simple \"x\"\n"},
        {"the same, there before", "/.simple", "old", "file /.simple \"x\"\n"},
        {"a directory so named", "/.sim.d/f", nullptr, "file /.sim.d/f \"x\"\n"},
        // Made longer: put back at its old length.
        {"a file made longer", "/two", "ab", "file /two \"abcdef\"\n"},
        {"a file made shorter", "/six", "abcdef", "file /six \"ab\"\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Root r;
        if (c.before != nullptr)
            write_file(r.root + c.path, c.before, 0640);
        const auto before = sim_tree_image(r.root, {".sim"});
        const auto beside = r.beside();
        SimRun run = r.run({c.line, kFailingLine});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.starts_with("quorbix-sim: " + r.dir.path + "/fix/f1.fix:1: ")) << run.err;
        EXPECT_EQ(sim_tree_image(r.root, {".sim"}), before);
        if (c.before != nullptr) {
            EXPECT_EQ(bytes_of(r.root + c.path), c.before);
            EXPECT_EQ(stat_of(r.root + c.path).st_mode & 07777, 0640u);
        }
        EXPECT_EQ(r.beside(), beside);
        EXPECT_FALSE(fs::exists(fs::symlink_status(r.kept)));
    }
}

// The tool's own writes are put back too: in place (read-write, append,
// write without truncating) from a copy, truncated from the file itself.
TEST(RootUndo, TheToolsWritesArePutBackAtTheirOldLength)
{
    for (int flags : {O_RDWR, O_WRONLY | O_APPEND, O_WRONLY, O_WRONLY | O_TRUNC, O_RDWR | O_CREAT | O_TRUNC}) {
        SCOPED_TRACE(flags);
        Root r;
        write_file(r.root + "/two", "ab", 0604);
        const timespec old[2] = {{1000000000, 0}, {1100000000, 500}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (r.root + "/two").c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
        const auto before = sim_tree_image(r.root, {".sim"});
        ASSERT_EQ(sim_board_open(r.root, ""), 0);
        const int fd = host().open("/two", flags, 0644);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(host().write(fd, "ABCDEF", 6), 6);
        host().close(fd);
        EXPECT_EQ(bytes_of(r.root + "/two").size(), (flags & (O_APPEND)) ? 8u : 6u);
        std::string error;
        EXPECT_EQ(sim_board_abandon(error), 0) << error;
        EXPECT_EQ(sim_tree_image(r.root, {".sim"}), before);
        const struct stat st = stat_of(r.root + "/two");
        EXPECT_EQ(st.st_size, 2);
        EXPECT_EQ(st.st_mode & 07777, 0604u);
        EXPECT_EQ(st.st_mtim.tv_sec, old[1].tv_sec);
        EXPECT_EQ(st.st_mtim.tv_nsec, old[1].tv_nsec);
        EXPECT_FALSE(fs::exists(fs::symlink_status(r.kept)));
    }
}

// A file the run empties is renamed aside whole (its bytes never read) and
// an empty file with its mode takes its place; a file the run removes or
// renames over is linked aside. Either way the very file comes back. A
// file the run renames is copied: it may still be written at its new name.
TEST(RootUndo, AFileKeptAsideWholeComesBackItself)
{
    Root r;
    for (const char *name : {"trunc", "gone", "from", "onto"})
        write_file(r.root + "/" + name, std::string(name) + " old", 0620);
    fs::create_symlink("onto", r.root + "/link");
    const auto before = sim_tree_image(r.root, {".sim"});
    auto inode = [&](const char *name) { return stat_of(r.root + "/" + name).st_ino; };
    const ino_t trunc = inode("trunc"), gone = inode("gone"), onto = inode("onto");

    ASSERT_EQ(sim_board_open(r.root, ""), 0);
    std::string error;
    ASSERT_TRUE(sim_fixture_apply("file /trunc \"new\"\n", "f", error)) << error;
    EXPECT_EQ(bytes_of(r.root + "/trunc"), "new");
    EXPECT_EQ(stat_of(r.root + "/trunc").st_mode & 07777, 0620u) << "the empty file has the old one's mode";
    bool aside = false;
    for (const auto &e : fs::directory_iterator(r.kept))
        aside = aside || stat_of(e.path()).st_ino == trunc;
    EXPECT_TRUE(aside) << "the old file itself kept aside";
    EXPECT_EQ(host().unlink("/gone"), 0);
    EXPECT_EQ(host().rename("/from", "/onto"), 0);
    const int fd = host().open("/onto", O_WRONLY | O_APPEND, 0);
    EXPECT_GE(fd, 0) << "the file renamed is its one name: " << std::strerror(errno);
    EXPECT_EQ(host().write(fd, " more", 5), 5);
    host().close(fd);
    EXPECT_EQ(host().unlink("/link"), 0);
    EXPECT_EQ(sim_board_abandon(error), 0) << error;
    EXPECT_EQ(sim_tree_image(r.root, {".sim"}), before);
    EXPECT_EQ(inode("trunc"), trunc);
    EXPECT_EQ(inode("gone"), gone);
    EXPECT_EQ(inode("onto"), onto);
    EXPECT_EQ(stat_of(r.root + "/gone").st_nlink, 1u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(r.kept)));
}

// A copy for an in-place write is made region by region: a hole in the old
// file is no block in the copy, nor in the file put back.
TEST(RootUndo, HolesStayHoles)
{
    Root r;
    constexpr off_t kSize = 64 << 20;
    const std::string path = r.root + "/sparse";
    {
        SimFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        ASSERT_EQ(::pwrite(fd.fd, "data", 4, kSize / 2), 4);
        ASSERT_EQ(::ftruncate(fd.fd, kSize), 0);
    }
    auto small = [](const std::string &p) { return stat_of(p).st_blocks * 512 < (1 << 20); };
    ASSERT_TRUE(small(path)) << "this file system keeps holes";
    ASSERT_EQ(sim_board_open(r.root, ""), 0);
    const int fd = host().open("/sparse", O_RDWR, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(host().pwrite(fd, "XY", 2, 0), 2);
    host().close(fd);
    size_t copies = 0;
    for (const auto &e : fs::directory_iterator(r.kept)) {
        copies++;
        EXPECT_EQ(fs::file_size(e.path()), static_cast<uintmax_t>(kSize));
        EXPECT_TRUE(small(e.path()));
    }
    EXPECT_EQ(copies, 1u);
    std::string error;
    EXPECT_EQ(sim_board_abandon(error), 0) << error;
    EXPECT_EQ(fs::file_size(path), static_cast<uintmax_t>(kSize));
    EXPECT_TRUE(small(path));
    std::string got(4, '\0');
    std::ifstream in(path, std::ios::binary);
    in.read(got.data(), 2);
    EXPECT_EQ(got.substr(0, 2), std::string(2, '\0'));
    in.seekg(kSize / 2);
    in.read(got.data(), 4);
    EXPECT_EQ(got, "data");
}

// quorbix-sim with `args`, killed after 20 s or past 512 MiB of memory
// (the sanitizer's own limit where it reserves its shadow memory, the
// address space elsewhere). Its status, or -1 when it was killed.
SimRun run_sim_limited(const std::string &args)
{
#if defined(__SANITIZE_ADDRESS__)
    const std::string limit = "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}hard_rss_limit_mb=512\" ";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    const std::string limit = "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}hard_rss_limit_mb=512\" ";
#else
    const std::string limit = "ulimit -v 1048576; ";
#endif
#else
    const std::string limit = "ulimit -v 1048576; ";
#endif
    TempDir t;
    const std::string err = t.path + "/err";
    SimRun r;
    const std::string cmd = limit + "timeout 20 " + QUORBIX_SIM_BIN + " " + args + " 2>" + err + " >/dev/null";
    const int ws = std::system(cmd.c_str());
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    r.err = bytes_of(err);
    return r;
}

// A `file` line over a sparse file of 2 GiB keeps the file aside without
// reading it: the run that then fails ends at once, and small.
TEST(RootUndo, ASparseFileOfGigabytesIsKeptWithoutReadingIt)
{
    Root r;
    const std::string path = r.root + "/big";
    {
        SimFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        ASSERT_EQ(::pwrite(fd.fd, "end", 3, (off_t{2} << 30) - 3), 3);
    }
    const ino_t inode = stat_of(path).st_ino;
    const std::string fix = r.dir.write("f.fix", std::string("file /big \"small\"\n") + kFailingLine);
    SimRun run = run_sim_limited("--root " + r.root + " --fixture " + fix + " -- -v");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(run.err.starts_with("quorbix-sim: " + fix + ":2: ")) << run.err;
    EXPECT_EQ(fs::file_size(path), uintmax_t{2} << 30);
    EXPECT_EQ(stat_of(path).st_ino, inode);
    EXPECT_FALSE(fs::exists(fs::symlink_status(r.kept)));
}

// What a run killed with SIGKILL left kept aside is removed at the next
// start, links and all, none of them followed.
TEST(RootUndo, WhatAKilledRunKeptAsideIsSweptAtTheNextStart)
{
    for (bool keepDirIsALink : {false, true}) {
        SCOPED_TRACE(keepDirIsALink ? "the keep directory a link" : "a keep directory with links in it");
        Root r;
        if (keepDirIsALink) {
            fs::create_directory_symlink(r.dir.path + "/outside", r.kept);
        } else {
            fs::create_directories(r.kept + "/d/e");
            write_file(r.kept + "/0", "a file kept by the killed run");
            write_file(r.kept + "/d/e/f", "deeper");
            fs::create_symlink(r.dir.path + "/outside/victim", r.kept + "/1");
            fs::create_directory_symlink(r.dir.path + "/outside", r.kept + "/d/out");
            fs::create_directory_symlink("../../outside", r.kept + "/2");
            ASSERT_EQ(::mkfifo((r.kept + "/fifo").c_str(), 0600), 0);
        }
        write_file(r.root + "/old", "old");
        const auto beside = r.beside();
        const auto before = sim_tree_image(r.root, {".sim"});
        SimRun run = r.run({"file /old \"new\"\nfile /new \"new\"\n", kFailingLine});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(sim_tree_image(r.root, {".sim"}), before);
        EXPECT_EQ(r.beside(), beside);
        EXPECT_FALSE(fs::exists(fs::symlink_status(r.kept)));
        EXPECT_EQ(r.run({"file /old \"new\"\n"}).status, 2);
        EXPECT_EQ(bytes_of(r.root + "/old"), "new");
        EXPECT_FALSE(fs::exists(fs::symlink_status(r.kept)));
        EXPECT_EQ(r.beside(), beside);
    }
}

// A `file` path longer than the kernel takes is refused with one short
// line before any directory is made; one that fits is written.
TEST(RootUndo, APathTooLongForTheKernelMakesNoDirectory)
{
    std::string deep;
    while (deep.size() < 6000)
        deep += "/e";
    std::string fits = "/" + std::string(200, 'd');
    while (fits.size() + 201 < PATH_MAX)
        fits += "/" + std::string(200, 'd');
    fits += "/" + std::string(PATH_MAX - 1 - fits.size() - 1, 'f');
    ASSERT_EQ(fits.size(), PATH_MAX - 1u);
    const struct {
        std::string path;
        bool ok;
    } cases[] = {
        {deep, false},
        {fits, true},
        {fits + "g", false},
        {"/a/b/" + std::string(NAME_MAX + 1, 'n') + "/x", false},
        {"/a/b/" + std::string(NAME_MAX, 'n') + "/x", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.size());
        Root r;
        const auto before = sim_tree_image(r.root, {".sim"});
        SimRun run = r.run({"file " + c.path + " \"x\"\n"});
        if (c.ok) {
            EXPECT_EQ(run.status, 2) << run.err;
            SimFd top(::open(r.root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
            SimFd file(::openat(top.fd, c.path.c_str() + 1, O_RDONLY | O_CLOEXEC));
            char got[2] = {};
            EXPECT_EQ(::read(file.fd, got, sizeof got), 1);
            EXPECT_EQ(got[0], 'x');
            continue;
        }
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.starts_with("quorbix-sim: " + r.dir.path + "/fix/f0.fix:1: ")) << run.err.substr(0, 200);
        EXPECT_TRUE(run.err.ends_with(": File name too long\n")) << run.err.substr(0, 200);
        EXPECT_LT(run.err.size(), 300u);
        EXPECT_EQ(sim_tree_image(r.root, {".sim"}), before);
    }
}

// An undo that cannot put everything back says how many entries stay and
// names the first three, on one line.
TEST(RootUndo, AnUndoThatCannotPutBackNamesTheFirstThree)
{
    Root r;
    ASSERT_EQ(sim_board_open(r.root, ""), 0);
    std::string error;
    std::string fix;
    for (int d = 1; d <= 5; d++)
        fix += "file /d" + std::to_string(d) + "/x \"made\"\n";
    ASSERT_TRUE(sim_fixture_apply(fix, "f", error)) << error;
    for (int d = 1; d <= 5; d++)  // another program's files in the directories the run made
        write_file(r.root + "/d" + std::to_string(d) + "/theirs", "theirs");
    EXPECT_EQ(sim_board_abandon(error), 1);
    EXPECT_EQ(error, r.root + ": could not put back 5 entries: d1 d2 d3");
    for (int d = 1; d <= 5; d++) {
        EXPECT_FALSE(fs::exists(r.root + "/d" + std::to_string(d) + "/x"));
        EXPECT_EQ(bytes_of(r.root + "/d" + std::to_string(d) + "/theirs"), "theirs");
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(r.kept)));
}

// A mount point inside the root: a file beneath it cannot be renamed into
// the board's directory, so it is copied, and copied back (in place, at
// its old length, or as a new file where the run removed it).
TEST(RootUndo, AFileBeyondAMountPointIsCopied)
{
    Root r;
    const std::string mnt = r.root + "/mnt";
    fs::create_directories(mnt);
    if (::mount("quorbix-undo", mnt.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a file system here: " << std::strerror(errno);
    write_file(mnt + "/f", "on another", 0610);
    write_file(mnt + "/g", "removed", 0640);
    const ino_t inode = stat_of(mnt + "/f").st_ino;
    ASSERT_EQ(sim_board_open(r.root, ""), 0);
    std::string error;
    EXPECT_TRUE(sim_fixture_apply("file /mnt/f \"made longer than it was\"\n", "f", error)) << error;
    EXPECT_EQ(stat_of(mnt + "/f").st_ino, inode) << "written in place";
    EXPECT_EQ(host().unlink("/mnt/g"), 0);
    EXPECT_EQ(sim_board_abandon(error), 0) << error;
    EXPECT_EQ(bytes_of(mnt + "/f"), "on another");
    EXPECT_EQ(stat_of(mnt + "/f").st_mode & 07777, 0610u);
    EXPECT_EQ(bytes_of(mnt + "/g"), "removed");
    EXPECT_EQ(stat_of(mnt + "/g").st_mode & 07777, 0640u);
    EXPECT_FALSE(fs::exists(fs::symlink_status(r.kept)));
    EXPECT_EQ(::umount(mnt.c_str()), 0);
}

// ---- as a user other than root ------------------------------------------------------------

// `check` on a root in `dir` as a user other than root: in this process
// when it is not root, else in a child that has become nobody (65534) and
// owns `dir`. What it found wrong comes back ("" when all held); "skip: ..."
// when no other user can be taken.
std::string as_plain_user(const std::string &dir, std::string (*check)(const std::string &dir))
{
    if (::geteuid() != 0)
        return check(dir);
    int fds[2];
    if (::pipe(fds) != 0 || ::chown(dir.c_str(), 65534, 65534) != 0)
        return "skip: cannot hand the directory over";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string out = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0
                              ? check(dir)
                              : "skip: cannot become another user";
        if (::write(fds[1], out.data(), out.size()) < 0)
            ::_exit(2);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string out;
    char buf[512];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int ws = 0;
    ::waitpid(pid, &ws, 0);
    return WIFEXITED(ws) && WEXITSTATUS(ws) == 0 ? out : "the child did not end well: " + out;
}

// `check` as a user other than root on a fresh directory: what did not
// hold fails the test, which is skipped when no other user can be taken.
void expect_as_plain_user(std::string (*check)(const std::string &dir))
{
    TempDir t;
    const std::string wrong = as_plain_user(t.path, check);
    if (wrong.starts_with("skip: "))
        GTEST_SKIP() << wrong.substr(6);
    EXPECT_EQ(wrong, "");
}

#define CHECK_THAT(cond)                           \
    do {                                           \
        if (!(cond))                               \
            wrong += "\n" #cond " does not hold"; \
    } while (0)

std::string made_bytes(const std::string &path)
{
    ::chmod(path.c_str(), 0600);
    return bytes_of(path);
}

// A file its user may write but not read (mode 0222) is put back, mode
// and all: kept by renaming it, which needs no read.
std::string check_unreadable_file_put_back(const std::string &dir)
{
    std::string wrong;
    const std::string root = dir + "/root";
    if (sim_board_open(root, "") != 0)
        return "the board did not open";
    write_file(root + "/w", "old", 0222);
    std::string error;
    CHECK_THAT(sim_fixture_apply("file /w \"brand new\"\n", "f", error));
    CHECK_THAT(sim_board_abandon(error) == 0);
    CHECK_THAT((stat_of(root + "/w").st_mode & 07777) == 0222);
    CHECK_THAT(stat_of(root + "/w").st_size == 3);
    CHECK_THAT(made_bytes(root + "/w") == "old");
    CHECK_THAT(!fs::exists(fs::symlink_status(root + "/.sim/undo")));
    return wrong;
}

TEST(RootUndo, AFileItsUserMayWriteButNotReadIsPutBack)
{
    expect_as_plain_user(check_unreadable_file_put_back);
}

// A file the undo can keep neither way (not to be read, in a directory
// not to be written) is refused before anything is written: the fixture
// line with its place, the tool's open with EACCES. An open that fails
// after the file was renamed aside puts it back at once.
std::string check_unkeepable_file_refused(const std::string &dir)
{
    std::string wrong;
    const std::string root = dir + "/root";
    if (sim_board_open(root, "") != 0)
        return "the board did not open";
    fs::create_directories(root + "/ro");
    write_file(root + "/ro/w", "old", 0222);
    write_file(root + "/w", "old", 0222);
    write_file(root + "/r", "old", 0444);
    fs::permissions(root + "/ro", static_cast<fs::perms>(0555));
    std::string error;
    CHECK_THAT(!sim_fixture_apply("file /ro/w \"new\"\n", "f", error));
    CHECK_THAT(error == "f:1: /ro/w: Permission denied");
    errno = 0;
    CHECK_THAT(host().open("/ro/w", O_WRONLY | O_TRUNC, 0) == -1 && errno == EACCES);
    errno = 0;
    CHECK_THAT(host().open("/w", O_WRONLY | O_APPEND, 0) == -1 && errno == EACCES);  // no copy without reading
    errno = 0;
    CHECK_THAT(host().open("/r", O_WRONLY | O_TRUNC, 0) == -1 && errno == EACCES);
    CHECK_THAT(host().fopen("/r", "w") == nullptr && errno == EACCES);
    CHECK_THAT(sim_board_close() == 0);
    CHECK_THAT((stat_of(root + "/r").st_mode & 07777) == 0444);
    CHECK_THAT(bytes_of(root + "/r") == "old");
    fs::permissions(root + "/ro", static_cast<fs::perms>(0755));
    CHECK_THAT(made_bytes(root + "/ro/w") == "old");
    CHECK_THAT(made_bytes(root + "/w") == "old");
    CHECK_THAT(!fs::exists(fs::symlink_status(root + "/.sim/undo")));
    return wrong;
}

TEST(RootUndo, AFileTheUndoCannotKeepIsRefusedBeforeItIsWritten)
{
    expect_as_plain_user(check_unkeepable_file_refused);
}

} // namespace
