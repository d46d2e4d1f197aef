// The simulated host itself: files under the root, device models, journal,
// faults, shell scripts, syslog, clock and descriptor accounting.
#include <cerrno>
#include <climits>
#include <cstring>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/mman.h>
#include <map>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <thread>

#include "sim/kit/sim_fd.h"
#include "support/console_run.h"
#include "support/no_openat2.h"
#include "support/sim_binary.h"
#include "support/sim_in_process.h"
#include "support/sim_fixture.h"

namespace {

struct Counter {
    uint32_t value;
};

// A tiny model: request 1 stores the record's value, request 2 returns it,
// request 3 takes no record.
uint32_t g_stored;

int store(const SimCall &call, SimJournalEntry &)
{
    g_stored = static_cast<Counter *>(call.arg)->value;
    return 0;
}

int fetch(const SimCall &call, SimJournalEntry &entry)
{
    static_cast<Counter *>(call.arg)->value = g_stored;
    entry.extra.push_back(g_stored);
    return 0;
}

int ping(const SimCall &, SimJournalEntry &) { return 0; }

ssize_t read_pattern(SimOpen &open, void *buf, size_t count)
{
    auto *p = static_cast<uint8_t *>(buf);
    for (size_t i = 0; i < count; i++)
        p[i] = static_cast<uint8_t>(open.pos + static_cast<off_t>(i));
    open.pos += static_cast<off_t>(count);
    return static_cast<ssize_t>(count);
}

constexpr SimRequest kRequests[] = {
    {1, sizeof(Counter), store},
    {2, sizeof(Counter), fetch},
    {3, 0, ping},
};
constexpr SimModel kModel = {"counter", kRequests, std::size(kRequests), read_pattern, nullptr, nullptr};

class SimHostTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        g_stored = 0;
        sim_register_node("/dev/counter", &kModel, nullptr);
    }

    int call(unsigned long request, uint32_t value, uint32_t *out = nullptr)
    {
        int fd = host().open("/dev/counter", O_RDWR, 0);
        EXPECT_GE(fd, 0);
        Counter c{value};
        int r = host_ioctl(fd, request, &c);
        if (out)
            *out = c.value;
        host().close(fd);
        return r;
    }
};

TEST_F(SimHostTest, FilesLiveUnderTheRoot)
{
    sim_write_file("/proc/cmdline", "memmap=1G$4G\n");
    FILE *f = host().fopen("/proc/cmdline", "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(sim_open_count(), 1);
    char line[64] = {};
    ASSERT_NE(fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "memmap=1G$4G\n");
    fclose(f);
    EXPECT_EQ(sim_open_count(), 0);

    f = host().fopen("/opt/zvt/out.txt", "w");
    EXPECT_EQ(f, nullptr) << "directories are not created by fopen";
    ASSERT_EQ(host().mkdir("/opt", 0755), -1) << "a fresh board has /opt";
    EXPECT_EQ(errno, EEXIST);
    ASSERT_EQ(host().mkdir("/opt/zvt", 0755), 0);
    f = host().fopen("/opt/zvt/out.txt", "a+");
    ASSERT_NE(f, nullptr);
    fputs("one\n", f);
    fclose(f);
    EXPECT_EQ(sim_read_file("/opt/zvt/out.txt"), "one\n");
    EXPECT_EQ(host().access("/opt/zvt/out.txt", F_OK), 0);
    EXPECT_EQ(host().rename("/opt/zvt/out.txt", "/opt/zvt/moved.txt"), 0);
    EXPECT_EQ(host().unlink("/opt/zvt/moved.txt"), 0);
    EXPECT_EQ(host().access("/opt/zvt/moved.txt", F_OK), -1);

    char *real = host().realpath("/opt/zvt/../zvt", nullptr);
    ASSERT_NE(real, nullptr);
    EXPECT_STREQ(real, "/opt/zvt");
    free(real);
}

TEST_F(SimHostTest, DirectoriesAndDescriptorsAreCounted)
{
    sim_write_file("/sys/block/sda/size", "10\n");
    DIR *d = host().opendir("/sys/block");
    ASSERT_NE(d, nullptr);
    int fd = host().open("/sys/block/sda/size", O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    int dev = host().open("/dev/counter", O_RDWR, 0);
    ASSERT_GE(dev, 0);
    EXPECT_EQ(sim_open_count(), 3);
    char buf[8] = {};
    EXPECT_EQ(host().read(fd, buf, sizeof buf), 3);
    EXPECT_EQ(host().close(fd), 0);
    EXPECT_EQ(host().close(dev), 0);
    EXPECT_EQ(host().closedir(d), 0);
    EXPECT_EQ(sim_open_count(), 0);
    EXPECT_EQ(host().close(dev), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST_F(SimHostTest, ModelsAnswerByRequestNumberAndJournalTheRecord)
{
    EXPECT_EQ(call(1, 0xABCD), 0);
    uint32_t out = 0;
    EXPECT_EQ(call(2, 0, &out), 0);
    EXPECT_EQ(out, 0xABCDu);

    const auto &j = sim_journal();
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[0].node, "/dev/counter");
    EXPECT_EQ(j[0].request, 1u);
    ASSERT_EQ(j[0].record.size(), sizeof(Counter));
    uint32_t recorded;
    std::memcpy(&recorded, j[0].record.data(), sizeof recorded);
    EXPECT_EQ(recorded, 0xABCDu);
    EXPECT_EQ(j[1].extra, std::vector<uint64_t>{0xABCD});
}

TEST_F(SimHostTest, RequestsAreCheckedBeforeTheModelRuns)
{
    int fd = host().open("/dev/counter", O_RDWR, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(host_ioctl(fd, 1, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    EXPECT_EQ(host_ioctl(fd, 99, nullptr), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(host_ioctl(fd, 3, nullptr), 0) << "a request without a record takes a null argument";
    host().close(fd);
    EXPECT_EQ(host_ioctl(fd, 3, nullptr), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST_F(SimHostTest, FaultsByNodeRequestNthCallAndRecord)
{
    sim_fail_open("/dev/counter", ENOENT);
    EXPECT_EQ(host().open("/dev/counter", O_RDWR, 0), -1);
    EXPECT_EQ(errno, ENOENT);
    sim_clear_faults();

    sim_fail_request("/dev/counter", 1, EIO, 2);
    EXPECT_EQ(call(1, 5), 0);
    EXPECT_EQ(call(1, 6), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(g_stored, 5u) << "a failed request leaves the model untouched";
    EXPECT_EQ(call(1, 7), 0);
    sim_clear_faults();

    sim_request_result("/dev/counter", 1, 3);
    EXPECT_EQ(call(1, 8), 3);
    EXPECT_EQ(g_stored, 8u) << "a positive result comes after the model ran";
    sim_clear_faults();

    SimFault byValue;
    byValue.err = EINVAL;
    byValue.match = [](const void *arg) { return static_cast<const Counter *>(arg)->value == 42; };
    sim_add_fault(byValue);
    EXPECT_EQ(call(1, 41), 0);
    EXPECT_EQ(call(1, 42), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(sim_journal().back().result, -EINVAL);

    sim_remove_node("/dev/counter");
    EXPECT_FALSE(sim_node_present("/dev/counter"));
    EXPECT_EQ(host().open("/dev/counter", O_RDWR, 0), -1);
}

// Faults are offered a call in the order they were set: the first that
// answers takes it, and the faults after it do not count it.
TEST_F(SimHostTest, TheFirstAnsweringFaultTakesTheCallAndLaterOnesDoNotCountIt)
{
    struct Set {
        int err;
        unsigned nth;
    };
    const struct {
        const char *order;
        Set faults[2];
        int errnos[4];  // errno of calls 1..4 (0: the call succeeds)
    } cases[] = {
        {"every call, then the 2nd", {{EIO, 0}, {EBUSY, 2}}, {EIO, EIO, EIO, EIO}},
        {"the 2nd, then every call", {{EBUSY, 2}, {EIO, 0}}, {EIO, EBUSY, EIO, EIO}},
        // The 1st call is answered by the first fault, so the second counts
        // calls 2 and 3 as its 1st and 2nd.
        {"the 1st, then the 2nd", {{EIO, 1}, {EBUSY, 2}}, {EIO, 0, EBUSY, 0}},
    };
    for (const auto &c : cases) {
        sim_clear_faults();
        for (const Set &f : c.faults)
            sim_fail_request("/dev/counter", 1, f.err, f.nth);
        for (int n = 0; n < 4; n++) {
            errno = 0;
            EXPECT_EQ(call(1, static_cast<uint32_t>(0x10 + n)), c.errnos[n] ? -1 : 0) << c.order << ", call " << n + 1;
            EXPECT_EQ(errno, c.errnos[n]) << c.order << ", call " << n + 1;
        }
    }
}

TEST_F(SimHostTest, ByteStreamsAndPositions)
{
    int fd = host().open("/dev/counter", O_RDWR, 0);
    ASSERT_GE(fd, 0);
    uint8_t buf[4];
    EXPECT_EQ(host().lseek(fd, 16, SEEK_SET), 16);
    EXPECT_EQ(host().read(fd, buf, 4), 4);
    EXPECT_EQ(buf[0], 16);
    EXPECT_EQ(host().pread(fd, buf, 2, 100), 2);
    EXPECT_EQ(buf[1], 101);
    EXPECT_EQ(host().lseek(fd, 0, SEEK_CUR), 20) << "pread keeps the position";
    EXPECT_EQ(host().write(fd, buf, 1), -1) << "the model has no write";
    EXPECT_EQ(host().mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0), MAP_FAILED);
    host().close(fd);
}

TEST_F(SimHostTest, ShellCommandsAreScriptedAndRecorded)
{
    sim_script_command("lsscsi", {"[0:0:0:0] disk\n", 0, {}});
    sim_script_command("sh log_collect.sh log_collect", {"", 1 << 8, {{"/home/log/x.tar", "data"}}});

    FILE *p = host().popen("lsscsi", "r");
    ASSERT_NE(p, nullptr);
    char line[64] = {};
    ASSERT_NE(fgets(line, sizeof line, p), nullptr);
    EXPECT_STREQ(line, "[0:0:0:0] disk\n");
    EXPECT_EQ(host().pclose(p), 0);

    std::string dump(200000, 'x');
    sim_script_command("lspci -xxxx -vvvv", {dump, 0, {}});
    p = host().popen("lspci -xxxx -vvvv", "r");
    ASSERT_NE(p, nullptr);
    size_t got = 0;
    for (size_t n; (n = fread(line, 1, sizeof line, p)) > 0;)
        got += n;
    EXPECT_EQ(got, dump.size()) << "outputs larger than a pipe buffer arrive whole";
    EXPECT_EQ(host().pclose(p), 0);

    EXPECT_EQ(host().system("sh log_collect.sh log_collect"), 1 << 8);
    EXPECT_EQ(sim_read_file("/home/log/x.tar"), "data");

    EXPECT_EQ(host().system("./cryptotool query"), 127 << 8) << "an unknown command is not found";
    p = host().popen("unknown", "r");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(fgets(line, sizeof line, p), nullptr);
    EXPECT_EQ(host().pclose(p), 127 << 8);

    EXPECT_EQ(sim_commands_run(),
              (std::vector<std::string>{"lsscsi", "lspci -xxxx -vvvv", "sh log_collect.sh log_collect", "./cryptotool query", "unknown"}));
    EXPECT_EQ(sim_open_count(), 0);
}

// Through system, a scripted command's output goes to descriptor 1 after
// what the tool's stdout holds; through popen it is the tool's to read.
TEST_F(SimHostTest, SystemPrintsTheOutputAfterStdout)
{
    sim_script_command("./cryptotool query", {"hello out\n", 3, {}});
    ConsoleRun r = console_run([] {
        std::fputs("before ", stdout);
        return host().system("./cryptotool query");
    });
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "before hello out\n");
    r = console_run([] {
        FILE *p = host().popen("./cryptotool query", "r");
        char line[32] = {};
        const bool read = p != nullptr && std::fgets(line, sizeof line, p) != nullptr && std::string(line) == "hello out\n";
        return p != nullptr ? host().pclose(p) + (read ? 0 : 1000) : -1;
    });
    EXPECT_EQ(r.status, 3) << "read whole by the tool";
    EXPECT_EQ(r.out, "");
}

TEST_F(SimHostTest, SyslogIsCaptured)
{
    host_syslog(4, "[PLOV_LOG] %s:%d [Trans-ERR]%s", "boardlib/x.cpp", 12, "bad\n");
    ASSERT_EQ(sim_syslog().size(), 1u);
    EXPECT_EQ(sim_syslog()[0].priority, 4);
    EXPECT_EQ(sim_syslog()[0].text, "[PLOV_LOG] boardlib/x.cpp:12 [Trans-ERR]bad\n");
}

TEST_F(SimHostTest, SteppedClockAdvancesByExactlyWhatWasSlept)
{
    EXPECT_EQ(sim_clock_ns(), 0u);
    host().sleep(212);
    host().usleep(100);
    timespec req{0, 5}, rem{1, 1};
    EXPECT_EQ(host().nanosleep(&req, &rem), 0);
    EXPECT_EQ(sim_clock_ns(), 212000000000u + 100000u + 5u);
    EXPECT_EQ(rem.tv_sec, 0);

    timespec mono{}, wall{};
    host().clock_gettime(CLOCK_MONOTONIC, &mono);
    host().clock_gettime(CLOCK_REALTIME, &wall);
    EXPECT_EQ(mono.tv_sec, 212);
    EXPECT_EQ(wall.tv_sec - mono.tv_sec, host().time(nullptr) - 212);
    timeval tv{};
    host().gettimeofday(&tv, nullptr);
    EXPECT_EQ(tv.tv_sec, wall.tv_sec);

    timespec bad{0, 1000000000};
    EXPECT_EQ(host().nanosleep(&bad, nullptr), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST_F(SimHostTest, RegisterWindowsAndPorts)
{
    struct Window {
        uint64_t lastWrite = 0;
        size_t lastOffset = 0;
    } window;
    alignas(8) static uint8_t backing[64];
    SimMmioRegion region;
    region.base = reinterpret_cast<uintptr_t>(backing);
    region.size = 32;
    region.ctx = &window;
    region.read = [](void *, size_t offset, int width) -> uint64_t { return offset * 0x100 + static_cast<uint64_t>(width); };
    region.write = [](void *ctx, size_t offset, uint64_t value, int) {
        static_cast<Window *>(ctx)->lastWrite = value;
        static_cast<Window *>(ctx)->lastOffset = offset;
    };
    sim_add_mmio_region(region);
    EXPECT_EQ(host().mmio_read32(backing + 8), 0x804u);
    host().mmio_write16(backing + 4, 0xBEEF);
    EXPECT_EQ(window.lastWrite, 0xBEEFu);
    EXPECT_EQ(window.lastOffset, 4u);
    host().mmio_write8(backing + 40, 7);  // outside the window: plain memory
    EXPECT_EQ(host().mmio_read8(backing + 40), 7);

    sim_reset(root_);  // a bare kernel: the board's own bus claims the configuration ports
    EXPECT_EQ(host().inl(0xCFC), 0xFFFFFFFFu) << "nothing answers by default";
    static uint32_t latch;
    ASSERT_TRUE(sim_add_ports({0xCF8, 0xCFF, nullptr,
                               [](void *, uint16_t, int) -> uint32_t { return latch; },
                               [](void *, uint16_t, uint32_t v, int) { latch = v; }}));
    host().outl(0x80000000u, 0xCF8);
    EXPECT_EQ(host().inl(0xCF8), 0x80000000u);
}

TEST_F(SimHostTest, NoNetworkUnlessModelled)
{
    EXPECT_EQ(host().socket(AF_PACKET, SOCK_RAW, 0), -1);
    EXPECT_EQ(errno, EAFNOSUPPORT);
}

TEST_F(SimHostTest, ResetForgetsEverything)
{
    call(1, 1);
    host_syslog(1, "x");
    host().sleep(1);
    sim_reset(root_);
    EXPECT_TRUE(sim_journal().empty());
    EXPECT_TRUE(sim_syslog().empty());
    EXPECT_EQ(sim_clock_ns(), 0u);
    EXPECT_FALSE(sim_node_present("/dev/counter"));
}

TEST_F(SimHostTest, ThreadNamesAreRecordedPerThread)
{
    EXPECT_EQ(host().prctl(PR_SET_NAME, reinterpret_cast<unsigned long>("a-very-long-thread-name"), 0, 0, 0), 0);
    EXPECT_EQ(sim_thread_name(host().gettid()), "a-very-long-thr");
    errno = 0;
    EXPECT_EQ(host().prctl(PR_SET_NAME, 0, 0, 0, 0), -1);
    EXPECT_EQ(errno, EFAULT);
    EXPECT_EQ(host().prctl(PR_GET_NAME, 0, 0, 0, 0), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(sim_thread_name(host().gettid() + 1), "");
}

// The models' directory and link calls act beneath the root only: links
// aimed outside lead to their place under the root, the board's own
// directory is refused, and a directory swapped for a link to the
// directory beside the root while the calls run is never followed.
TEST_F(SimHostTest, ModelLinkCallsActBeneathTheRoot)
{
    namespace fs = std::filesystem;
    const std::string beside = root_ + "-beside";
    fs::create_directories(beside);
    std::ofstream(beside + "/victim") << "beside\n";
    fs::create_directories(sim_path("/sys/class"));
    fs::create_directory_symlink(beside, sim_path("/sys/block"));
    fs::create_directory_symlink("../../../../..", sim_path("/sys/class/up"));
    const struct {
        const char *what;
        int (*call)();
        const char *lands;  // under the root ("@": the directory beside's path); null: refused
        int err;
    } cases[] = {
        {"dirs through a link aimed outside", [] { return sim_make_dirs("/sys/block/sdz"); }, "@/sdz", 0},
        {"a link in it", [] { return sim_make_link("../x", "/sys/block/sdz/dev"); }, "@/sdz/dev", 0},
        {"a link through a climbing link", [] { return sim_make_link("x", "/sys/class/up/victim"); }, "/victim", 0},
        {"a remove through it", [] { return sim_remove("/sys/class/up/victim"); }, nullptr, 0},
        {"the board's own directory", [] { return sim_make_link("x", "/.sim/lock"); }, nullptr, EACCES},
        {"a directory named there", [] { return sim_make_dir("/sys/class/up/.sim/x"); }, nullptr, EACCES},
        {"no directory to hold it", [] { return sim_make_link("x", "/none/x"); }, nullptr, ENOENT},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.call(), -c.err) << c.what;
        if (c.lands != nullptr) {
            std::string rel = c.lands;
            if (rel[0] == '@')
                rel = beside + rel.substr(1);
            EXPECT_TRUE(fs::exists(fs::symlink_status(root_ + rel))) << c.what;
        }
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(root_ + "/victim"))) << "removed again";
    EXPECT_TRUE(sim_is_dir("/sys/block/sdz"));
    EXPECT_FALSE(sim_is_dir("/sys/block/sdz/dev")) << "its target is not there";
    EXPECT_TRUE(sim_exists("/sys/class/up"));

    // Another program swaps /sys/swap, a directory, with a link to the
    // directory beside, over and over, while the calls run.
    fs::create_directories(sim_path("/sys/swap"));
    fs::create_directory_symlink(beside, sim_path("/sys/swap-out"));
    std::atomic<bool> done{false};
    std::thread swapper([&] {
        const std::string a = sim_path("/sys/swap"), b = sim_path("/sys/swap-out");
        for (int i = 0; i < 20000; i++)
            ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE);
        done = true;
    });
    int refused = 0;
    do {
        refused += sim_make_link("x", "/sys/swap/sdz") == -ELOOP;
        sim_remove("/sys/swap/sdz");
        sim_make_dirs("/sys/swap/d");
    } while (!done);
    swapper.join();
    EXPECT_EQ(sim_make_link("x", "/sys/swap/sdz"), 0) << "the directory is back in its place";
    std::vector<std::string> names;
    for (const auto &e : fs::recursive_directory_iterator(beside))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"victim"}) << refused << " refused";
    fs::remove_all(beside);
}

// ---- the walk beneath a directory, where openat2 is missing ----------------

// A tree under test: a directory, a file, a FIFO, links to each and out of
// the tree, a dangling link.
void plant_walk_tree(const std::string &top, const std::string &beside)
{
    namespace fs = std::filesystem;
    fs::create_directories(top + "/d/e");
    std::ofstream(top + "/d/f") << "f";
    ::mkfifo((top + "/d/fifo").c_str(), 0600);
    fs::create_directory_symlink("e", top + "/d/to-dir");
    fs::create_symlink("f", top + "/d/to-file");
    fs::create_symlink("none", top + "/d/dangling");
    fs::create_directory_symlink(beside, top + "/out");
    fs::create_directory_symlink("..", top + "/d/e/up");
}

// What an open gave: the errno, or the kind of what it opened and the name
// it stands for in the tree.
std::string opened_as(int fd, const std::string &top)
{
    if (fd < 0)
        return std::strerror(errno);
    SimFd held(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return "fstat failed";
    for (const auto &e : std::filesystem::recursive_directory_iterator(top)) {
        struct stat at {};
        if (::lstat(e.path().c_str(), &at) == 0 && at.st_ino == st.st_ino && at.st_dev == st.st_dev)
            return e.path().string().substr(top.size());
    }
    return st.st_ino == 0 ? "?" : (S_ISDIR(st.st_mode) ? "the top" : "something else");
}

// For every path and flags the simulator passes (a canonical path relative
// to the directory: files, directories, links on the way and at the end,
// a FIFO, missing names, creation), the walk gives what openat2 gives, in
// two trees planted alike.
TEST(SimWalk, TheWalkAnswersAsOpenat2Does)
{
    if (!openat2_answers())
        GTEST_SKIP() << "openat2 is missing or forbidden here: nothing to compare with";
    TempDir a, b;
    const std::string beside = a.path + "-beside";
    std::filesystem::create_directories(beside);
    plant_walk_tree(a.path, beside);
    plant_walk_tree(b.path, beside);
    const SimFd ta(::open(a.path.c_str(), O_PATH | O_DIRECTORY)), tb(::open(b.path.c_str(), O_PATH | O_DIRECTORY));
    constexpr int kWrite = O_WRONLY | O_CREAT | O_NONBLOCK, kExcl = O_WRONLY | O_CREAT | O_EXCL;
    const char *paths[] = {"",          "d",          "d/f",         "d/e",          "d/fifo",      "d/to-dir",
                           "d/to-file", "d/dangling", "d/to-dir/x",  "d/to-file/x", "out",          "out/victim",
                           "d/e/up",    "d/e/up/f",   "d/f/x",       "d/none",       "none/x",      "d/new",
                           "/d/f",      "d//f",       "d/./f",       "d/",           "d/f/",        "d/e/."};
    const int flags[] = {O_PATH,   O_PATH | O_DIRECTORY, O_RDONLY | O_NONBLOCK, O_RDONLY | O_DIRECTORY,
                         O_RDWR | O_NONBLOCK, kWrite, kExcl};
    for (const int f : flags)
        for (const char *path : paths) {
            SCOPED_TRACE(std::string(path) + " flags " + std::to_string(f));
            const std::string want = opened_as(sim_open_beneath(ta.fd, path, f, 0600), a.path);
            EXPECT_EQ(opened_as(sim_walk_beneath(tb.fd, path, f, 0600), b.path), want);
        }
    EXPECT_EQ(sim_beneath_way(), SimBeneathWay::Openat2);
    EXPECT_EQ(sim_tree_image(a.path), sim_tree_image(b.path));
    EXPECT_TRUE(std::filesystem::is_empty(beside));
    std::filesystem::remove_all(beside);
}

// The walk never climbs: ".." anywhere is refused before any name is
// opened, whatever is there; "" and "." are the directory itself.
TEST(SimWalk, DotDotIsRefusedAndDotIsTheDirectory)
{
    TempDir dir;
    std::filesystem::create_directories(dir.path + "/d/e");
    const SimFd top(::open((dir.path + "/d").c_str(), O_PATH | O_DIRECTORY));
    for (const char *path : {"..", "../d", "e/..", "e/../e", "none/..", "e/../../x"}) {
        errno = 0;
        EXPECT_EQ(sim_walk_beneath(top.fd, path, O_WRONLY | O_CREAT, 0600), -1) << path;
        EXPECT_EQ(errno, EINVAL) << path;
    }
    for (const char *path : {"", ".", "./", "e/..."}) {
        const int fd = sim_walk_beneath(top.fd, path, O_RDONLY | O_DIRECTORY);
        if (std::string(path) == "e/...") {
            EXPECT_EQ(fd, -1);
            EXPECT_EQ(errno, ENOENT) << "\"...\" is a name like any other";
            continue;
        }
        EXPECT_EQ(opened_as(fd, dir.path), "/d") << path;
    }
    EXPECT_EQ(sim_tree_image(dir.path), (std::map<std::string, std::string>{{"d", "dir"}, {"d/e", "dir"}}));
}

// A directory on the way swapped for a link to the directory beside, over
// and over while the walk creates files through it: nothing lands beside.
TEST(SimWalk, ADirectorySwappedForALinkIsNeverFollowed)
{
    namespace fs = std::filesystem;
    TempDir dir;
    const std::string beside = dir.path + "/beside", top = dir.path + "/top";
    fs::create_directories(beside);
    fs::create_directories(top + "/swap");
    fs::create_directory_symlink(beside, top + "/swap-out");
    const SimFd fd(::open(top.c_str(), O_PATH | O_DIRECTORY));
    std::atomic<bool> done{false};
    std::thread swapper([&] {
        const std::string a = top + "/swap", b = top + "/swap-out";
        for (int i = 0; i < 20000; i++)
            ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE);
        done = true;
    });
    int made = 0, refused = 0;
    do {
        const SimFd f(sim_walk_beneath(fd.fd, "swap/new", O_WRONLY | O_CREAT, 0600));
        made += f.fd >= 0;
        refused += f.fd < 0 && errno == ELOOP;
    } while (!done);
    swapper.join();
    EXPECT_TRUE(fs::is_empty(beside)) << made << " made, " << refused << " refused";
    EXPECT_EQ(SimFd(sim_walk_beneath(fd.fd, "swap/new", O_WRONLY | O_CREAT, 0600)).fd >= 0, true);
}

} // namespace
