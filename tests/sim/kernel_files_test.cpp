// The simulated kernel's files: descriptors, canonical paths, registered
// files and patterns, streams over file operations, poll and select.
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include "support/sim_fixture.h"

namespace {

// ---- an attribute file: a write of "offset length" chooses what reads return ----

struct Eeprom {
    uint8_t bytes[256];
};

struct Window {
    size_t offset = 0;
    size_t length = 0;
};

int attr_open(SimFile &file)
{
    file.priv = new Window;
    return 0;
}

void attr_release(SimFile &file) { delete static_cast<Window *>(file.priv); }

ssize_t attr_read(SimFile &file, void *buf, size_t count)
{
    const auto &w = *static_cast<Window *>(file.priv);
    const auto &e = *static_cast<Eeprom *>(file.ctx);
    std::string text;
    for (size_t i = 0; i < w.length && w.offset + i < sizeof e.bytes; i++) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", e.bytes[w.offset + i]);
        text += hex;
    }
    text += "\n";
    if (static_cast<size_t>(file.pos) >= text.size())
        return 0;
    size_t n = std::min(count, text.size() - static_cast<size_t>(file.pos));
    std::memcpy(buf, text.data() + file.pos, n);
    file.pos += static_cast<off_t>(n);
    return static_cast<ssize_t>(n);
}

ssize_t attr_write(SimFile &file, const void *buf, size_t count)
{
    std::string text(static_cast<const char *>(buf), count);
    auto &w = *static_cast<Window *>(file.priv);
    unsigned long offset = 0, length = 0;
    if (std::sscanf(text.c_str(), "%lu %lu", &offset, &length) != 2 || offset + length > sizeof(Eeprom::bytes))
        return -EINVAL;
    w = Window{offset, length};
    return static_cast<ssize_t>(count);
}

constexpr SimFileOps kAttrOps = {
    .name = "eeprom", .mode = 0, .open = attr_open, .release = attr_release,
    .read = attr_read, .write = attr_write, .requests = nullptr, .requestCount = 0,
    .mmap = nullptr, .munmap = nullptr, .poll = nullptr, .bind = nullptr,
    .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

// ---- a device whose readiness a test (or a thread) sets ---------------------------

struct Doorbell {
    short ready = 0;
};

short bell_poll(SimFile &file) { return static_cast<Doorbell *>(file.ctx)->ready; }

constexpr SimFileOps kBellOps = {
    .name = "bell", .mode = 0, .open = nullptr, .release = nullptr,
    .read = nullptr, .write = nullptr, .requests = nullptr, .requestCount = 0,
    .mmap = nullptr, .munmap = nullptr, .poll = bell_poll, .bind = nullptr,
    .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

constexpr const char *kEepromPath = "/sys/bus/i2c/devices/0-0050/eeprom";

class KernelFilesTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        for (size_t i = 0; i < sizeof eeprom_.bytes; i++)
            eeprom_.bytes[i] = static_cast<uint8_t>(i);
        sim_register_file(kEepromPath, &kAttrOps, &eeprom_);
        sim_register_file("/dev/ipmi0", &kBellOps, &bell_);
    }

    Eeprom eeprom_{};
    Doorbell bell_;
};

TEST_F(KernelFilesTest, NumbersStaySmallAndAreReused)
{
    sim_write_file("/etc/board.conf", "x\n");
    int held = host().open("/dev/ipmi0", O_RDWR, 0);
    ASSERT_GE(held, 0);
    for (int i = 0; i < 5000; i++) {
        const char *path = i % 3 == 0 ? "/etc/board.conf" : i % 3 == 1 ? "/dev/ipmi0" : kEepromPath;
        int fd = host().open(path, O_RDWR, 0);
        ASSERT_GE(fd, 0) << path;
        ASSERT_LT(fd, 64) << "open " << i;
        ASSERT_EQ(host().close(fd), 0);
    }
    EXPECT_EQ(sim_open_count(), 1);
    EXPECT_EQ(host().close(held), 0);
    EXPECT_EQ(host().close(held), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST_F(KernelFilesTest, StreamOverAStatefulAttributeFile)
{
    FILE *f = host().fopen(kEepromPath, "r+");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(sim_open_count(), 1);
    ASSERT_GT(fprintf(f, "%d %d", 20, 4), 0);
    ASSERT_EQ(fflush(f), 0);
    rewind(f);
    char line[64] = {};
    ASSERT_NE(fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "14151617\n");

    FILE *other = host().fopen(kEepromPath, "r");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(fgets(line, sizeof line, other), std::string("\n")) << "each open keeps its own window";
    fclose(other);

    rewind(f);
    fprintf(f, "250 9");
    EXPECT_NE(fflush(f), 0) << "a window past the end is refused";
    fclose(f);
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(KernelFilesTest, RegisteredPathsAreSeenByStatAccessAndListings)
{
    struct stat st{};
    ASSERT_EQ(host().stat(kEepromPath, &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    ASSERT_EQ(host().lstat("/dev/ipmi0", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    ASSERT_EQ(host().stat("/sys/bus/i2c/devices", &st), 0) << "a directory that holds a registered file";
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(host().access(kEepromPath, R_OK), 0);
    EXPECT_EQ(host().access("/sys/bus/i2c/devices/0-0051/eeprom", F_OK), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(host().stat("/sys/bus/i2c/devices/0-0051", &st), -1);

    sim_write_file("/dev/console", "");
    auto list = [](const char *dir) {
        std::vector<std::string> names;
        DIR *d = host().opendir(dir);
        EXPECT_NE(d, nullptr) << dir;
        if (d == nullptr)
            return names;
        while (struct dirent *e = host().readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        host().closedir(d);
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(list("/sys/bus/i2c/devices"), std::vector<std::string>{"0-0050"});
    EXPECT_EQ(list("/sys/bus/i2c/devices/0-0050"), std::vector<std::string>{"eeprom"});
    std::vector<std::string> dev = list("/dev");
    for (const char *name : {"console", "ipmi0", "mem"})
        EXPECT_NE(std::find(dev.begin(), dev.end(), name), dev.end()) << name << ": files on disk and registered ones";
    EXPECT_EQ(host().opendir("/sys/nothing"), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(KernelFilesTest, PathsAreCanonicalisedUnderTheRoot)
{
    std::filesystem::create_directories(sim_path("/sys/class/sfp"));
    std::filesystem::create_symlink("/sys/bus/i2c/devices/0-0050", sim_path("/sys/class/sfp/port1"));
    std::filesystem::create_symlink("../../bus/i2c/devices/0-0050", sim_path("/sys/class/sfp/port2"));
    // Climbs above the root: ".." stops there, as in a chroot.
    std::filesystem::create_symlink("../../../../../sys/bus/i2c/devices/0-0050", sim_path("/sys/class/sfp/port4"));
    std::filesystem::create_symlink("loop-b", sim_path("/sys/class/sfp/loop-a"));
    std::filesystem::create_symlink("loop-a", sim_path("/sys/class/sfp/loop-b"));
    struct Case {
        const char *path;
        const char *canonical;  // null: realpath fails
        int err;
    } cases[] = {
        {"/sys//bus///i2c/devices/0-0050/eeprom", kEepromPath, 0},
        {"/sys/bus/i2c/../i2c/./devices/0-0050/eeprom", kEepromPath, 0},
        {"/../../sys/bus/i2c/devices/0-0050/eeprom", kEepromPath, 0},
        {"/sys/class/sfp/port1/eeprom", kEepromPath, 0},
        {"/sys/class/sfp/port2/eeprom", kEepromPath, 0},
        {"/sys/class/sfp/port4/eeprom", kEepromPath, 0},
        {"/sys/class/sfp/port1/../0-0050/eeprom", kEepromPath, 0},
        {"/sys/class/sfp/port1", "/sys/bus/i2c/devices/0-0050", 0},
        {"/sys/class/sfp/port3", nullptr, ENOENT},
        {"/sys/class/sfp/loop-a", nullptr, ELOOP},
    };
    for (const Case &c : cases) {
        char out[PATH_MAX];
        errno = 0;
        char *r = host().realpath(c.path, out);
        if (c.canonical == nullptr) {
            EXPECT_EQ(r, nullptr) << c.path;
            EXPECT_EQ(errno, c.err) << c.path;
            continue;
        }
        ASSERT_NE(r, nullptr) << c.path;
        EXPECT_STREQ(out, c.canonical) << c.path;
        if (c.canonical != std::string(kEepromPath))
            continue;
        int fd = host().open(c.path, O_RDONLY, 0);
        EXPECT_NE(sim_file(fd), nullptr) << c.path;
        host().close(fd);
    }
    struct stat st{};
    ASSERT_EQ(host().lstat("/sys/class/sfp/port1", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    char target[PATH_MAX] = {};
    EXPECT_GT(host().readlink("/sys/class/sfp/port1", target, sizeof target), 0);
    EXPECT_STREQ(target, "/sys/bus/i2c/devices/0-0050");

    sim_fail_open("/sys//class/sfp/port1/eeprom", EACCES);
    EXPECT_EQ(host().open(kEepromPath, O_RDONLY, 0), -1) << "a fault names the file, whatever the spelling";
    EXPECT_EQ(errno, EACCES);
}

TEST_F(KernelFilesTest, PatternsAnswerEveryMatchingPath)
{
    sim_register_pattern("/sys/bus/pci/devices/*/config", &kAttrOps, &eeprom_);
    struct Case {
        const char *path;
        bool modelled;
    } cases[] = {
        {"/sys/bus/pci/devices/0000:00:1c.0/config", true},
        {"/sys/bus/pci/devices/0000:03:00.0//config", true},
        {"/sys/bus/pci/devices/0000:03:00.0/x/config", false},
        {"/sys/bus/pci/devices/config", false},
    };
    for (const Case &c : cases) {
        struct stat st{};
        EXPECT_EQ(host().stat(c.path, &st) == 0, c.modelled) << c.path;
        int fd = host().open(c.path, O_RDONLY, 0);
        EXPECT_EQ(fd >= 0, c.modelled) << c.path;
        if (fd >= 0) {
            EXPECT_EQ(sim_file(fd)->path, sim_canonical(c.path));
            host().close(fd);
        }
    }
    EXPECT_TRUE(sim_node_present("/sys/bus/pci/devices/0000:00:1c.0/config"));
    sim_remove_node("/sys/bus/pci/devices/*/config");
    EXPECT_FALSE(sim_node_present("/sys/bus/pci/devices/0000:00:1c.0/config"));
}

TEST_F(KernelFilesTest, ProcFilesGiveAPagePerRead)
{
    std::string big(10000, 'p');
    sim_write_file("/proc/interrupts", big);
    sim_write_file("/etc/big", big);
    std::vector<char> buf(big.size());
    int fd = host().open("/proc/interrupts", O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(host().read(fd, buf.data(), buf.size()), 4096);
    EXPECT_EQ(host().read(fd, buf.data(), buf.size()), 4096);
    EXPECT_EQ(host().read(fd, buf.data(), buf.size()), 10000 - 8192);
    EXPECT_EQ(host().pread(fd, buf.data(), buf.size(), 0), 4096);
    host().close(fd);
    fd = host().open("/etc/big", O_RDONLY, 0);
    EXPECT_EQ(host().read(fd, buf.data(), buf.size()), 10000) << "other files read whole";
    host().close(fd);

    FILE *f = host().fopen("/proc/interrupts", "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(fread(buf.data(), 1, buf.size(), f), buf.size()) << "stdio reads on until the end";
    fclose(f);
}

TEST_F(KernelFilesTest, PollAndSelectWaitInVirtualTime)
{
    sim_write_file("/etc/plain", "x");
    int dev = host().open("/dev/ipmi0", O_RDWR, 0);
    int plain = host().open("/etc/plain", O_RDONLY, 0);
    ASSERT_GE(dev, 0);
    ASSERT_GE(plain, 0);

    struct pollfd p[2] = {{dev, POLLIN, 0}, {plain, POLLIN, 0}};
    uint64_t t0 = sim_clock_ns();
    EXPECT_EQ(host().poll(p, 1, 5000), 0) << "nothing ready: the time-out";
    EXPECT_EQ(sim_clock_ns() - t0, 5000000000u);
    EXPECT_EQ(host().poll(p, 2, 5000), 1) << "a real file is ready at once";
    EXPECT_EQ(p[0].revents, 0);
    EXPECT_EQ(p[1].revents, POLLIN);
    bell_.ready = POLLIN;
    EXPECT_EQ(host().poll(p, 1, -1), 1);
    EXPECT_EQ(p[0].revents, POLLIN);
    EXPECT_EQ(sim_clock_ns() - t0, 5000000000u);

    bell_.ready = 0;
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(dev, &rd);
    timeval tv{2, 500000};
    EXPECT_EQ(host().select(dev + 1, &rd, nullptr, nullptr, &tv), 0);
    EXPECT_EQ(sim_clock_ns() - t0, 7500000000u);
    EXPECT_FALSE(FD_ISSET(dev, &rd));
    EXPECT_EQ(tv.tv_sec, 0);
    EXPECT_EQ(tv.tv_usec, 0);

    bell_.ready = POLLOUT;
    fd_set wr;
    FD_ZERO(&rd);
    FD_ZERO(&wr);
    FD_SET(dev, &rd);
    FD_SET(dev, &wr);
    FD_SET(plain, &rd);
    EXPECT_EQ(host().select(std::max(dev, plain) + 1, &rd, &wr, nullptr, nullptr), 2);
    EXPECT_FALSE(FD_ISSET(dev, &rd));
    EXPECT_TRUE(FD_ISSET(dev, &wr));
    EXPECT_TRUE(FD_ISSET(plain, &rd));

    host().close(plain);
    FD_ZERO(&rd);
    FD_SET(plain, &rd);
    EXPECT_EQ(host().select(plain + 1, &rd, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(errno, EBADF);
    struct pollfd closed{plain, POLLIN, 0};
    EXPECT_EQ(host().poll(&closed, 1, 0), 1);
    EXPECT_EQ(closed.revents, POLLNVAL);
    host().close(dev);
}

// A thread rings the bell after 2 s of virtual time; poll wakes then.
TEST_F(KernelFilesTest, PollWakesWhenAModelBecomesReady)
{
    int dev = host().open("/dev/ipmi0", O_RDWR, 0);
    ASSERT_GE(dev, 0);
    pthread_t ringer;
    auto ring = [](void *arg) -> void * {
        host().sleep(2);
        sim_kernel_lock();
        static_cast<Doorbell *>(arg)->ready = POLLIN;
        sim_file_notify();
        sim_kernel_unlock();
        return nullptr;
    };
    ASSERT_EQ(host().pthread_create(&ringer, nullptr, ring, &bell_), 0);
    struct pollfd p{dev, POLLIN, 0};
    EXPECT_EQ(host().poll(&p, 1, 5000), 1);
    EXPECT_EQ(sim_clock_ns(), 2000000000u);
    EXPECT_EQ(host().pthread_join(ringer, nullptr), 0);
    host().close(dev);
}

TEST_F(KernelFilesTest, FileOperationFaultsAndMissingOperations)
{
    int fd = host().open(kEepromPath, O_RDWR, 0);
    ASSERT_GE(fd, 0);
    sim_fail_op(SimFaultOp::write, kEepromPath, EIO, 2);
    EXPECT_EQ(host().write(fd, "0 1", 3), 3);
    EXPECT_EQ(host().write(fd, "0 1", 3), -1);
    EXPECT_EQ(errno, EIO);
    sim_fail_op(SimFaultOp::read, kEepromPath, ETIMEDOUT);
    char buf[8];
    EXPECT_EQ(host().read(fd, buf, sizeof buf), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_EQ(host().read(fd, nullptr, 4), -1) << "faults come first";
    sim_clear_faults();
    EXPECT_EQ(host().read(fd, nullptr, 4), -1);
    EXPECT_EQ(errno, EFAULT);
    EXPECT_EQ(host().ioctl(fd, 1, nullptr), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(host().lseek(fd, -1, SEEK_SET), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(host().open(kEepromPath, O_RDWR | O_CREAT | O_EXCL, 0644), -1);
    EXPECT_EQ(errno, EEXIST);
    host().close(fd);

    int bell = host().open("/dev/ipmi0", O_RDWR, 0);
    EXPECT_EQ(host().read(bell, buf, sizeof buf), -1);
    EXPECT_EQ(errno, EINVAL);
    struct stat st{};
    EXPECT_EQ(host().fstat(bell, &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    host().close(bell);
}

// Only plain files (and directories) under the root are opened: a device
// or a socket there fails with ENXIO, whatever the access asked for, and is
// never opened. (FIFOs, which would wait, are run in a child process in
// the root confinement tests.) A plain file's descriptor is non-blocking
// only when the caller asked for it.
TEST_F(KernelFilesTest, OnlyPlainFilesAreOpened)
{
    std::filesystem::create_directories(sim_path("/dev/raw"));
    if (::mknod(sim_path("/dev/raw/null").c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        GTEST_SKIP() << "cannot make a device node here";
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = sim_path("/dev/raw/sock");
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, sockPath.c_str(), sockPath.size() + 1);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    std::filesystem::create_symlink("null", sim_path("/dev/raw/to-null"));
    for (const char *path : {"/dev/raw/null", "/dev/raw/sock", "/dev/raw/to-null"}) {
        for (int flags : {O_RDONLY, O_WRONLY, O_RDWR, O_WRONLY | O_CREAT | O_TRUNC}) {
            errno = 0;
            EXPECT_EQ(host().open(path, flags, 0644), -1) << path << " " << flags;
            EXPECT_EQ(errno, ENXIO) << path << " " << flags;
        }
        EXPECT_EQ(host().fopen(path, "r"), nullptr) << path;
        EXPECT_EQ(sim_read_file(path), "") << path;
        try {
            sim_write_file(path, "x");
            ADD_FAILURE() << path << " written";
        } catch (const std::filesystem::filesystem_error &e) {
            EXPECT_EQ(e.code().value(), ENXIO) << path;
        }
    }
    ::close(sock);
    struct stat st{};
    ASSERT_EQ(::lstat(sim_path("/dev/raw/null").c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << "left as it was";

    sim_write_file("/etc/plain", "x");
    for (int flags : {O_RDONLY, O_RDWR | O_NONBLOCK, O_WRONLY | O_TRUNC}) {
        int fd = host().open("/etc/plain", flags, 0);
        ASSERT_GE(fd, 0) << flags;
        EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, flags & O_NONBLOCK) << flags;
        host().close(fd);
    }
    EXPECT_EQ(sim_read_file("/etc/plain"), "") << "truncated by the open";
}

// The board's own directory is reached by no call of the tool: a path that
// names it, lies beneath it or leads there through a link fails with
// EACCES, and nothing in it changes. A name that merely begins so is an
// ordinary file.
TEST_F(KernelFilesTest, NoCallReachesTheBoardsOwnDirectory)
{
    namespace fs = std::filesystem;
    const std::string own = root_ + "/.sim";
    std::filesystem::create_directories(sim_path("/etc"));
    fs::create_symlink("/.sim/board", root_ + "/chk.result");
    fs::create_directory_symlink("../.sim", root_ + "/etc/own");
    std::ofstream(own + "/board") << "the saved board\n";
    struct stat st {};
    char buf[PATH_MAX];
    const struct {
        const char *what;
        bool follows;  // the last link followed
        int (*call)(const char *path);
    } calls[] = {
        {"open for writing", true, [](const char *p) { return host().open(p, O_WRONLY | O_TRUNC, 0); }},
        {"open to read", true, [](const char *p) { return host().open(p, O_RDONLY, 0); }},
        {"open to make", true, [](const char *p) { return host().open(p, O_WRONLY | O_CREAT, 0644); }},
        {"fopen", true, [](const char *p) { return host().fopen(p, "a") == nullptr ? -1 : 0; }},
        {"stat", true, [](const char *p) { struct stat s; return host().stat(p, &s); }},
        {"access", true, [](const char *p) { return host().access(p, F_OK); }},
        {"realpath", true, [](const char *p) { char r[PATH_MAX]; return host().realpath(p, r) == nullptr ? -1 : 0; }},
        {"opendir", true, [](const char *p) { return host().opendir(p) == nullptr ? -1 : 0; }},
        {"lstat", false, [](const char *p) { struct stat s; return host().lstat(p, &s); }},
        {"readlink", false, [](const char *p) { char t[8]; return static_cast<int>(host().readlink(p, t, 8)); }},
        {"mkdir", false, [](const char *p) { return host().mkdir(p, 0755); }},
        {"unlink", false, [](const char *p) { return host().unlink(p); }},
        {"rename from", false, [](const char *p) { return host().rename(p, "/moved"); }},
        {"rename to", false, [](const char *p) { return host().rename("/etc/own-was", p); }},
    };
    std::ofstream(root_ + "/etc/own-was") << "x";
    for (const auto &c : calls)
        for (const char *path : {"/.sim", "/.sim/board", "/.sim/lock", "/.sim/new", "/chk.result", "/etc/own/board",
                                 "/sys/../.sim/board", "/etc/own/../.sim"}) {
            if (!c.follows && path == std::string("/chk.result"))
                continue;  // the link itself
            errno = 0;
            EXPECT_EQ(c.call(path), -1) << c.what << " " << path;
            EXPECT_EQ(errno, EACCES) << c.what << " " << path;
        }
    EXPECT_EQ(fs::file_size(own + "/board"), 16u);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(own + "/lock")));
    EXPECT_FALSE(fs::exists(own + "/new"));
    EXPECT_FALSE(fs::exists(root_ + "/moved"));
    EXPECT_TRUE(fs::exists(root_ + "/etc/own-was"));
    EXPECT_EQ(sim_open_count(), 0);

    for (const char *near : {"/.simple", "/.si", "/etc/.sim"}) {
        const int fd = host().open(near, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_GE(fd, 0) << near;
        host().close(fd);
        EXPECT_EQ(host().stat(near, &st), 0) << near;
        EXPECT_NE(host().realpath(near, buf), nullptr) << near;
    }
}

} // namespace
