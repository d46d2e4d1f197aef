// The simulated host: the host interface's table over the simulated kernel
// (kernel_*.cpp: paths, descriptors, memory, sockets), the scheduler
// (sim_sched.cpp: time and threads), scripted shell commands and syslog.
#include "sim/sim_host.h"
#include "sim/kernel.h"
#include "sim/kit/sim_doc.h"
#include "sim/root_undo.h"
#include "sim/sim_sched.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/openat2.h>
#include <filesystem>
#include <string_view>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using namespace simk;

struct SimState {
    std::vector<SimLogLine> syslog;
    std::map<std::string, SimShellScript> scripts;
    std::vector<std::string> commands;
    std::map<FILE *, int> pipeStatus;
    std::map<pid_t, std::string> threadNames;
};

SimState &sim()
{
    static SimState *state = new SimState;  // outlives every static destructor
    return *state;
}

// ---- shell -------------------------------------------------------------------------

constexpr int kNotFoundStatus = 127 << 8;

const SimShellScript *run_command(const char *command)
{
    sim().commands.emplace_back(command ? command : "");
    auto it = sim().scripts.find(sim().commands.back());
    const SimShellScript *s = it == sim().scripts.end() ? nullptr : &it->second;
    if (journal_on()) {
        SimJournalEntry e;
        e.kind = SimEvent::shell;
        e.node = sim().commands.back();
        e.result = s ? s->status : kNotFoundStatus;
        journal_push(std::move(e));
    }
    // A file the command cannot write (its path leads nowhere under the
    // root) is left unwritten; the command still ran.
    if (s)
        for (const auto &[path, content] : s->creates)
            try {
                sim_write_file(path, content);
            } catch (const std::filesystem::filesystem_error &) {
            }
    return s;
}

FILE *sim_popen(const char *command, const char *mode)
{
    Guard g;
    if (command == nullptr || mode == nullptr || mode[0] != 'r') {
        errno = EINVAL;
        return nullptr;
    }
    const SimShellScript *s = run_command(command);
    // The output waits in an anonymous memory file, whatever its size.
    int fd = ::memfd_create("quorbix-sim-popen", MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    const std::string out = s ? s->output : "";
    if (::write(fd, out.data(), out.size()) != static_cast<ssize_t>(out.size()) || ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        errno = EIO;
        return nullptr;
    }
    FILE *f = stream_on_fd(add_real_fd(fd, ""), "r");
    if (f)
        sim().pipeStatus[f] = s ? s->status : kNotFoundStatus;
    return f;
}

int sim_pclose(FILE *stream)
{
    int status;
    {
        Guard g;
        auto it = sim().pipeStatus.find(stream);
        if (it == sim().pipeStatus.end()) {
            errno = ECHILD;
            return -1;
        }
        status = it->second;
        sim().pipeStatus.erase(it);
    }
    std::fclose(stream);
    return status;
}

// What a command run through system() prints goes where its shell's child
// would write it: the process's descriptor 1, after what the tool's stdout
// holds so far.
void print_command_output(const std::string &out)
{
    std::fflush(stdout);
    const int saved = errno;
    sim_write_all(STDOUT_FILENO, out);
    errno = saved;
}

int sim_system(const char *command)
{
    if (command == nullptr)
        return 1;  // a shell is available
    std::string out;
    int status = kNotFoundStatus;
    {
        Guard g;
        if (const SimShellScript *s = run_command(command)) {
            out = s->output;
            status = s->status;
        }
    }
    // Printed without the kernel's lock: a reader that stops reading holds
    // up this write, never a stop of the run.
    print_command_output(out);
    return status;
}

// ---- syslog ------------------------------------------------------------------------

[[gnu::format(printf, 2, 0)]] void sim_vsyslog(int priority, const char *format, va_list args)
{
    char line[2048];
    std::vsnprintf(line, sizeof line, format, args);
    Guard g;
    sim().syslog.push_back(SimLogLine{priority, line});
}

// ---- time, threads and identity: the scheduler (sim_sched.h) ---------------------

constexpr uint64_t kNsPerSec = 1000000000u;

unsigned int sim_sleep(unsigned int seconds)
{
    sched_sleep_ns(uint64_t{seconds} * kNsPerSec);
    return 0;
}

int sim_usleep(useconds_t usec)
{
    sched_sleep_ns(uint64_t{usec} * 1000u);
    return 0;
}

int sim_nanosleep(const struct timespec *req, struct timespec *rem)
{
    if (req == nullptr || req->tv_nsec < 0 || req->tv_nsec > 999999999 || req->tv_sec < 0) {
        errno = EINVAL;
        return -1;
    }
    sched_sleep_ns(static_cast<uint64_t>(req->tv_sec) * kNsPerSec + static_cast<uint64_t>(req->tv_nsec));
    if (rem)
        *rem = timespec{0, 0};
    return 0;
}

int sim_clock_gettime(clockid_t clock, struct timespec *ts)
{
    if (ts == nullptr) {
        errno = EFAULT;
        return -1;
    }
    bool wall = clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE;
    uint64_t ns = wall ? sched_realtime_ns() : sched_now_ns();
    ts->tv_sec = static_cast<time_t>(ns / kNsPerSec);
    ts->tv_nsec = static_cast<long>(ns % kNsPerSec);
    return 0;
}

int sim_gettimeofday(struct timeval *tv, void *)
{
    uint64_t ns = sched_realtime_ns();
    if (tv) {
        tv->tv_sec = static_cast<time_t>(ns / kNsPerSec);
        tv->tv_usec = static_cast<suseconds_t>(ns % kNsPerSec / 1000u);
    }
    return 0;
}

time_t sim_time(time_t *out)
{
    auto sec = static_cast<time_t>(sched_realtime_ns() / kNsPerSec);
    if (out)
        *out = sec;
    return sec;
}

pid_t sim_getpid() { return kSchedPid; }

// Only the thread name is modelled: it is recorded per thread id.
int sim_prctl(int option, unsigned long arg2, unsigned long, unsigned long, unsigned long)
{
    if (option != PR_SET_NAME)
        return errno = EINVAL, -1;
    const char *name = reinterpret_cast<const char *>(arg2);
    if (name == nullptr)
        return errno = EFAULT, -1;
    pid_t tid = sched_gettid();
    Guard g;
    sim().threadNames[tid] = std::string(name, strnlen(name, 15));
    return 0;
}

} // namespace

const HostOps g_simHost = {
    .open = sim_open,
    .fopen = sim_fopen,
    .stat = sim_stat,
    .lstat = sim_lstat,
    .access = sim_access,
    .readlink = sim_readlink,
    .realpath = sim_realpath,
    .opendir = sim_opendir,
    .readdir = sim_readdir,
    .closedir = sim_closedir,
    .mkdir = sim_mkdir,
    .rename = sim_rename,
    .unlink = sim_unlink,
    .read = sim_read,
    .write = sim_write,
    .pread = sim_pread,
    .pwrite = sim_pwrite,
    .lseek = sim_lseek,
    .fstat = sim_fstat,
    .ftruncate = sim_ftruncate,
    .close = sim_close,
    .select = sim_select,
    .poll = sim_poll,
    .ioctl = sim_ioctl,
    .mmap = sim_mmap,
    .munmap = sim_munmap,
    .mprotect = sim_mprotect,
    .pagesize = sim_pagesize,
    .mmio_read8 = sim_mmio_read8,
    .mmio_read16 = sim_mmio_read16,
    .mmio_read32 = sim_mmio_read32,
    .mmio_read64 = sim_mmio_read64,
    .mmio_write8 = sim_mmio_write8,
    .mmio_write16 = sim_mmio_write16,
    .mmio_write32 = sim_mmio_write32,
    .mmio_write64 = sim_mmio_write64,
    .iopl = sim_iopl,
    .inb = sim_inb,
    .inw = sim_inw,
    .inl = sim_inl,
    .outb = sim_outb,
    .outw = sim_outw,
    .outl = sim_outl,
    .socket = sim_socket,
    .bind = sim_bind,
    .setsockopt = sim_setsockopt,
    .sendto = sim_sendto,
    .sendmsg = sim_sendmsg,
    .recvfrom = sim_recvfrom,
    .recvmsg = sim_recvmsg,
    .popen = sim_popen,
    .pclose = sim_pclose,
    .system = sim_system,
    .vsyslog = sim_vsyslog,
    .sleep = sim_sleep,
    .usleep = sim_usleep,
    .nanosleep = sim_nanosleep,
    .clock_gettime = sim_clock_gettime,
    .gettimeofday = sim_gettimeofday,
    .time = sim_time,
    .getpid = sim_getpid,
    .gettid = sched_gettid,
    .prctl = sim_prctl,
    .pthread_create = sched_pthread_create,
    .pthread_join = sched_pthread_join,
    .pthread_detach = sched_pthread_detach,
    .sem_wait = sched_sem_wait,
    .sem_timedwait = sched_sem_timedwait,
    .sem_post = sched_sem_post,
    .sem_init = ::sem_init,
    .sem_destroy = ::sem_destroy,
    .sem_trywait = ::sem_trywait,
    .pthread_cond_wait = sched_cond_wait,
    .pthread_cond_timedwait = sched_cond_timedwait,
    .pthread_cond_signal = sched_cond_signal,
    .pthread_cond_broadcast = sched_cond_broadcast,
    .pthread_mutex_lock = sched_mutex_lock,
    .pthread_mutex_unlock = sched_mutex_unlock,
};

void sim_script_command(const std::string &command, SimShellScript script)
{
    Guard g;
    sim().scripts[command] = std::move(script);
}

const std::vector<std::string> &sim_commands_run() { return sim().commands; }

std::string sim_thread_name(pid_t tid)
{
    Guard g;
    auto it = sim().threadNames.find(tid);
    return it == sim().threadNames.end() ? std::string() : it->second;
}

void sim_clock_stepped() { sched_stepped(); }
void sim_clock_scaled(unsigned factor) { sched_scaled(factor); }
uint64_t sim_clock_ns() { return sched_now_ns(); }

const std::vector<SimLogLine> &sim_syslog() { return sim().syslog; }

void sim_clear_syslog()
{
    Guard g;
    sim().syslog.clear();
}

int sim_open_count()
{
    Guard g;
    int count = static_cast<int>(kernel().dirs.size());
    for (const Desc &d : kernel().fds)
        count += d.kind != DescKind::none;
    return count;
}

void sim_reset(int rootFd, const std::string &root)
{
    sched_reset();  // ends the run's threads first: they may hold the lock
    Guard g;
    Kernel &k = kernel();
    release_all();
    close_dirs();
    memory_reset();
    if (k.rootFd >= 0)
        ::close(k.rootFd);
    k.rootFd = rootFd >= 0 ? ::fcntl(rootFd, F_DUPFD_CLOEXEC, 0) : -1;
    k.root = root;
    while (!k.root.empty() && k.root.back() == '/')
        k.root.pop_back();
    k.files.clear();
    k.patterns.clear();
    k.sockets.clear();
    k.adapters.clear();
    k.openFaults.clear();
    k.faults.clear();
    k.journal.clear();
    k.journalLimit = 0;
    k.journalOn = true;
    k.requestCostNs = 0;
    k.nodePaths.clear();
    k.current = nullptr;
    builtin_register();
    SimState &s = sim();
    s.syslog.clear();
    s.threadNames.clear();
    s.scripts.clear();
    s.commands.clear();
    s.pipeStatus.clear();
}

void sim_reset(const std::string &root)
{
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    sim_reset(fd, root);
    if (fd >= 0)
        ::close(fd);
}

const std::string &sim_root() { return kernel().root; }

namespace {

// openat2 beneath `dirfd`, following no link; EAGAIN (a rename raced the
// lookup) is retried a few times.
int openat2_beneath(int dirfd, const char *name, int flags, mode_t mode)
{
    struct open_how how {};
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    how.mode = (flags & O_CREAT) ? mode : 0;
    how.resolve = RESOLVE_IN_ROOT | RESOLVE_NO_SYMLINKS;
    for (int tries = 0;; tries++) {
        const long fd = ::syscall(SYS_openat2, dirfd, name, &how, sizeof how);
        if (fd >= 0 || errno != EAGAIN || tries == 8)
            return static_cast<int>(fd);
    }
}

std::atomic<SimBeneathWay> g_beneathWay{SimBeneathWay::Undecided};

// The way of this process, decided on the first call: openat2 unless it is
// missing (ENOSYS: a kernel before 5.6, or a memory checker that does not
// know the call) or forbidden (EPERM: a sandbox's filter). The question is
// put with the directory itself, which nothing else refuses with EPERM.
SimBeneathWay beneath_way(int dirfd)
{
    SimBeneathWay way = g_beneathWay.load();
    if (way != SimBeneathWay::Undecided)
        return way;
    const SimFd probe(openat2_beneath(dirfd, ".", O_PATH, 0));
    way = probe.fd < 0 && (errno == ENOSYS || errno == EPERM) ? SimBeneathWay::Walk : SimBeneathWay::Openat2;
    g_beneathWay.store(way);
    return way;
}

// What a descriptor of the walk stands on: a link is ELOOP; anything but a
// directory where one is needed ENOTDIR. 0, or -1 with errno.
int walk_check(int fd, bool directory)
{
    struct stat st {};
    if (::fstat(fd, &st) < 0)
        return -1;
    if (S_ISLNK(st.st_mode))
        errno = ELOOP;
    else if (directory && !S_ISDIR(st.st_mode))
        errno = ENOTDIR;
    else
        return 0;
    return -1;
}

// The walk's last name, opened in `dir` with the caller's flags and never
// followed: with O_PATH the link itself would open, so it is looked at.
int walk_last(int dir, const char *name, int flags, mode_t mode)
{
    if (flags & O_PATH) {
        SimFd fd(::openat(dir, name, (flags & ~O_DIRECTORY) | O_NOFOLLOW | O_CLOEXEC));
        return fd.fd < 0 || walk_check(fd.fd, flags & O_DIRECTORY) < 0 ? -1 : fd.release();
    }
    const int fd = ::openat(dir, name, flags | O_NOFOLLOW | O_CLOEXEC, mode);
    struct stat st {};
    // O_DIRECTORY finds a link not a directory before O_NOFOLLOW refuses it.
    if (fd < 0 && errno == ENOTDIR && (flags & O_DIRECTORY) &&
        ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        errno = ELOOP;
    return fd;
}

} // namespace

int sim_walk_beneath(int dirfd, const std::string &path, int flags, mode_t mode)
{
    // The names on the way; the last one opened is "." when the path names
    // the directory it ends in ("", "a/", "a/.").
    const std::string_view text(path.c_str());
    std::vector<std::string> names;
    for (size_t at = 0; at <= text.size();) {
        const size_t end = std::min(text.find('/', at), text.size());
        const std::string_view name = text.substr(at, end - at);
        if (name == "..") {
            errno = EINVAL;
            return -1;
        }
        if (!name.empty() && name != ".")
            names.emplace_back(name);
        else if (end == text.size())
            names.emplace_back(".");
        at = end + 1;
    }
    // open(2)'s rule: a name to be created cannot end in "/".
    const bool createsDir = (flags & O_CREAT) && !text.empty() && text.back() == '/';
    if (createsDir && names.size() > 1)
        names.pop_back();
    SimFd dir;
    for (size_t i = 0; i + 1 < names.size(); i++) {
        dir = SimFd(::openat(i == 0 ? dirfd : dir.fd, names[i].c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (dir.fd < 0 || walk_check(dir.fd, true) < 0)
            return -1;
    }
    if (createsDir) {
        errno = EISDIR;
        return -1;
    }
    return walk_last(names.size() == 1 ? dirfd : dir.fd, names.back().c_str(), flags, mode);
}

SimBeneathWay sim_beneath_way() { return g_beneathWay.load(); }

void sim_beneath_decide_again() { g_beneathWay.store(SimBeneathWay::Undecided); }

int sim_open_beneath(int dirfd, const std::string &path, int flags, mode_t mode)
{
    if (beneath_way(dirfd) == SimBeneathWay::Walk)
        return sim_walk_beneath(dirfd, path, flags, mode);
    return openat2_beneath(dirfd, path.empty() ? "." : path.c_str(), flags, mode);
}

int sim_resolve(const std::string &path, bool followLast, std::string &canonical)
{
    if (path.find('\0') != std::string::npos)
        return -EINVAL;
    Guard g;
    // The saved board and its lock are the simulator's own: canonicalise
    // refuses them (a link made there would be followed by the next run's
    // lock open).
    return canonicalise(path.empty() ? "/" : path.c_str(), followLast, canonical);
}

std::string sim_path(const std::string &path, bool followLast)
{
    std::string canon;
    return sim_resolve(path, followLast, canon) == 0 ? kernel().root + canon : std::string();
}

namespace {

// The canonical path of the directory holding a canonical path.
std::string parent_of(const std::string &canonical)
{
    const size_t slash = canonical.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : canonical.substr(0, slash);
}

[[noreturn]] void write_failed(const std::string &canonical, int err)
{
    throw std::filesystem::filesystem_error("cannot write under the root", kernel().root + canonical,
                                            std::error_code(err, std::generic_category()));
}

// The directory holding `path` (sim_resolve's rules) and the last name, for
// a call on the last name itself. 0 or -errno.
int resolve_parent(const std::string &path, Parent &p, std::string &canon)
{
    if (int r = sim_resolve(path, false, canon); r < 0)
        return r;
    return open_parent(canon, p);
}

// Removes the entry itself: a file, a link or an empty directory.
int remove_at(const Parent &p)
{
    if (::unlinkat(p.dir.fd, p.name.c_str(), 0) == 0)
        return 0;
    if (errno == EISDIR && ::unlinkat(p.dir.fd, p.name.c_str(), AT_REMOVEDIR) == 0)
        return 0;
    return -errno;
}

// The entry at `path` with its last link followed; -errno when there is none.
int stat_followed(const std::string &path, struct stat &st)
{
    std::string canon;
    if (int r = sim_resolve(path, true, canon); r < 0)
        return r;
    return real_stat(canon, &st);
}

} // namespace

void sim_write_file(const std::string &path, const std::string &content)
{
    Guard g;
    std::string canon;
    if (int r = sim_resolve(path, true, canon); r < 0)
        write_failed((path.starts_with('/') ? "" : "/") + path, -r);
    // Every component is resolved: a link that appears on the way, or at
    // the file itself, since then fails the write.
    if (int r = make_dirs(parent_of(canon)); r < 0)
        write_failed(parent_of(canon), -r);
    const int fd = open_real(canon, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        write_failed(canon, -fd);
    const int err = sim_write_all(fd, content);
    ::close(fd);
    if (err != 0)
        write_failed(canon, err);
}

std::string sim_read_file(const std::string &path)
{
    Guard g;
    std::string canon;
    if (sim_resolve(path, true, canon) < 0)
        return {};
    const int fd = open_real(canon, O_RDONLY, 0);
    if (fd < 0)
        return {};
    SimFd held(fd);
    std::string out;
    return sim_read_all(fd, out) == 0 ? out : std::string();
}

int sim_make_dirs(const std::string &path)
{
    Guard g;
    std::string canon;
    if (int r = sim_resolve(path, true, canon); r < 0)
        return r;
    return make_dirs(canon);
}

namespace {

// `act` on the last name of `path` itself, in its parent directory reached
// following no link, once the undo has noted what the entry was.
template <typename Act> int at_last_name(const std::string &path, UndoKeep how, Act act)
{
    Guard g;
    std::string canon;
    Parent p;
    if (int r = resolve_parent(path, p, canon); r < 0)
        return r;
    if (int r = sim_undo_note(canon, how); r < 0)
        return r;
    return act(p);
}

} // namespace

int sim_make_dir(const std::string &path)
{
    return at_last_name(path, UndoKeep::none,
                        [](Parent &p) { return ::mkdirat(p.dir.fd, p.name.c_str(), 0755) < 0 ? -errno : 0; });
}

int sim_make_link(const std::string &target, const std::string &path)
{
    return at_last_name(path, UndoKeep::replace, [&target](Parent &p) {
        if (int r = remove_at(p); r < 0 && r != -ENOENT)
            return r;
        return ::symlinkat(target.c_str(), p.dir.fd, p.name.c_str()) < 0 ? -errno : 0;
    });
}

int sim_remove(const std::string &path)
{
    return at_last_name(path, UndoKeep::replace, [](Parent &p) { return remove_at(p); });
}

bool sim_is_dir(const std::string &path)
{
    Guard g;
    struct stat st;
    return stat_followed(path, st) == 0 && S_ISDIR(st.st_mode);
}

bool sim_exists(const std::string &path)
{
    Guard g;
    struct stat st;
    return stat_followed(path, st) == 0;
}
