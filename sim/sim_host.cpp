#include "sim/sim_host.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string_view>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kFirstFakeFd = 1000;
constexpr time_t kEpoch = 1796428800;  // virtual wall clock at reset

struct SimNode {
    const SimModel *model = nullptr;
    void *ctx = nullptr;
};

struct SimState {
    std::recursive_mutex lock;
    std::string root;
    std::map<std::string, SimNode> nodes;
    std::map<std::string, int> openFaults;
    std::map<int, SimOpen> fakeFds;
    int nextFakeFd = kFirstFakeFd;
    std::set<int> realFds;
    std::set<DIR *> dirs;
    int streams = 0;
    std::vector<SimFault> faults;
    std::vector<SimJournalEntry> journal;
    std::vector<SimLogLine> syslog;
    std::map<std::string, SimShellScript> scripts;
    std::vector<std::string> commands;
    std::map<FILE *, int> pipeStatus;
    std::vector<SimMmioRegion> mmio;
    SimPorts ports{};
    unsigned clockFactor = 0;  // 0: stepped
    uint64_t virtualNs = 0;
    std::chrono::steady_clock::time_point realStart = std::chrono::steady_clock::now();
};

SimState &sim()
{
    static SimState *state = new SimState;  // outlives every static destructor
    return *state;
}

using Guard = std::lock_guard<std::recursive_mutex>;

std::string resolve(const char *path)
{
    std::string p = path ? path : "";
    if (p.empty() || p[0] != '/')
        p = "/" + p;
    return sim().root + p;
}

// ---- streams backed by a descriptor, so fclose is accounted ----------------

ssize_t cookie_read(void *c, char *buf, size_t n) { return ::read(static_cast<int>(reinterpret_cast<intptr_t>(c)), buf, n); }
ssize_t cookie_write(void *c, const char *buf, size_t n) { return ::write(static_cast<int>(reinterpret_cast<intptr_t>(c)), buf, n); }
int cookie_seek(void *c, off64_t *off, int whence)
{
    off_t r = ::lseek(static_cast<int>(reinterpret_cast<intptr_t>(c)), *off, whence);
    if (r < 0)
        return -1;
    *off = r;
    return 0;
}
int cookie_close(void *c)
{
    Guard g(sim().lock);
    sim().streams--;
    return ::close(static_cast<int>(reinterpret_cast<intptr_t>(c)));
}

int fopen_flags(const char *mode)
{
    bool plus = std::strchr(mode, '+') != nullptr;
    switch (mode[0]) {
    case 'r': return plus ? O_RDWR : O_RDONLY;
    case 'w': return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
    case 'a': return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
    default: return -1;
    }
}

FILE *stream_on_fd(int fd, const char *mode)
{
    cookie_io_functions_t io{cookie_read, cookie_write, cookie_seek, cookie_close};
    FILE *f = fopencookie(reinterpret_cast<void *>(static_cast<intptr_t>(fd)), mode, io);
    if (f == nullptr) {
        ::close(fd);
        return nullptr;
    }
    sim().streams++;
    return f;
}

// ---- files -------------------------------------------------------------------

bool take_open_fault(const std::string &path)
{
    auto it = sim().openFaults.find(path);
    if (it == sim().openFaults.end())
        return false;
    errno = it->second;
    return true;
}

int sim_open(const char *path, int flags, mode_t mode)
{
    Guard g(sim().lock);
    if (path == nullptr) {
        errno = EFAULT;
        return -1;
    }
    if (take_open_fault(path))
        return -1;
    auto node = sim().nodes.find(path);
    if (node != sim().nodes.end()) {
        int fd = sim().nextFakeFd++;
        sim().fakeFds[fd] = SimOpen{path, node->second.ctx, flags, 0};
        return fd;
    }
    int fd = ::open(resolve(path).c_str(), flags, mode);
    if (fd >= 0)
        sim().realFds.insert(fd);
    return fd;
}

FILE *sim_fopen(const char *path, const char *mode)
{
    Guard g(sim().lock);
    int flags = mode ? fopen_flags(mode) : -1;
    if (path == nullptr || flags < 0) {
        errno = EINVAL;
        return nullptr;
    }
    if (take_open_fault(path))
        return nullptr;
    if (sim().nodes.count(path)) {
        errno = ENODEV;
        return nullptr;
    }
    int fd = ::open(resolve(path).c_str(), flags, 0644);
    if (fd < 0)
        return nullptr;
    return stream_on_fd(fd, mode);
}

int sim_stat(const char *path, struct stat *st) { return ::stat(resolve(path).c_str(), st); }
int sim_lstat(const char *path, struct stat *st) { return ::lstat(resolve(path).c_str(), st); }

int sim_access(const char *path, int amode)
{
    Guard g(sim().lock);
    if (path && sim().nodes.count(path))
        return 0;
    return ::access(resolve(path).c_str(), amode);
}

ssize_t sim_readlink(const char *path, char *buf, size_t size) { return ::readlink(resolve(path).c_str(), buf, size); }

char *sim_realpath(const char *path, char *resolved)
{
    char *full = ::realpath(resolve(path).c_str(), nullptr);
    if (full == nullptr)
        return nullptr;
    std::string_view found = full;
    const std::string &root = sim().root;
    if (found.substr(0, root.size()) == root)
        found.remove_prefix(root.size());
    std::string inside = found.empty() ? std::string("/") : std::string(found);
    std::free(full);
    if (resolved == nullptr)
        return strdup(inside.c_str());
    std::snprintf(resolved, PATH_MAX, "%s", inside.c_str());
    return resolved;
}

DIR *sim_opendir(const char *path)
{
    Guard g(sim().lock);
    DIR *d = ::opendir(resolve(path).c_str());
    if (d)
        sim().dirs.insert(d);
    return d;
}

int sim_closedir(DIR *d)
{
    Guard g(sim().lock);
    sim().dirs.erase(d);
    return ::closedir(d);
}

int sim_mkdir(const char *path, mode_t mode) { return ::mkdir(resolve(path).c_str(), mode); }
int sim_rename(const char *from, const char *to) { return ::rename(resolve(from).c_str(), resolve(to).c_str()); }
int sim_unlink(const char *path) { return ::unlink(resolve(path).c_str()); }

// ---- descriptors ---------------------------------------------------------------

SimOpen *fake(int fd)
{
    auto it = sim().fakeFds.find(fd);
    return it == sim().fakeFds.end() ? nullptr : &it->second;
}

const SimModel *model_of(const SimOpen &o)
{
    auto it = sim().nodes.find(o.node);
    return it == sim().nodes.end() ? nullptr : it->second.model;
}

ssize_t sim_read(int fd, void *buf, size_t count)
{
    Guard g(sim().lock);
    if (SimOpen *o = fake(fd)) {
        const SimModel *m = model_of(*o);
        if (m == nullptr || m->read == nullptr) {
            errno = EINVAL;
            return -1;
        }
        return m->read(*o, buf, count);
    }
    return ::read(fd, buf, count);
}

ssize_t sim_write(int fd, const void *buf, size_t count)
{
    Guard g(sim().lock);
    if (SimOpen *o = fake(fd)) {
        const SimModel *m = model_of(*o);
        if (m == nullptr || m->write == nullptr) {
            errno = EINVAL;
            return -1;
        }
        return m->write(*o, buf, count);
    }
    return ::write(fd, buf, count);
}

ssize_t sim_pread(int fd, void *buf, size_t count, off_t offset)
{
    Guard g(sim().lock);
    if (SimOpen *o = fake(fd)) {
        off_t keep = o->pos;
        o->pos = offset;
        ssize_t r = sim_read(fd, buf, count);
        o->pos = keep;
        return r;
    }
    return ::pread(fd, buf, count, offset);
}

ssize_t sim_pwrite(int fd, const void *buf, size_t count, off_t offset)
{
    Guard g(sim().lock);
    if (SimOpen *o = fake(fd)) {
        off_t keep = o->pos;
        o->pos = offset;
        ssize_t r = sim_write(fd, buf, count);
        o->pos = keep;
        return r;
    }
    return ::pwrite(fd, buf, count, offset);
}

off_t sim_lseek(int fd, off_t offset, int whence)
{
    Guard g(sim().lock);
    if (SimOpen *o = fake(fd)) {
        if (whence == SEEK_SET)
            o->pos = offset;
        else if (whence == SEEK_CUR)
            o->pos += offset;
        else {
            errno = EINVAL;
            return -1;
        }
        return o->pos;
    }
    return ::lseek(fd, offset, whence);
}

int sim_fstat(int fd, struct stat *st)
{
    Guard g(sim().lock);
    if (fake(fd)) {
        std::memset(st, 0, sizeof *st);
        st->st_mode = S_IFCHR | 0600;
        return 0;
    }
    return ::fstat(fd, st);
}

int sim_ftruncate(int fd, off_t length)
{
    Guard g(sim().lock);
    if (fake(fd)) {
        errno = EINVAL;
        return -1;
    }
    return ::ftruncate(fd, length);
}

int sim_close(int fd)
{
    Guard g(sim().lock);
    if (sim().fakeFds.erase(fd))
        return 0;
    if (sim().realFds.erase(fd))
        return ::close(fd);
    errno = EBADF;
    return -1;
}

int sim_select(int nfds, fd_set *rd, fd_set *wr, fd_set *ex, struct timeval *timeout)
{
    return ::select(nfds, rd, wr, ex, timeout);
}

int sim_poll(struct pollfd *fds, nfds_t nfds, int timeout_ms) { return ::poll(fds, nfds, timeout_ms); }

SimFault *matching_fault(const std::string &node, unsigned long request, const void *arg)
{
    for (SimFault &f : sim().faults) {
        if (!f.node.empty() && f.node != node)
            continue;
        if (f.request != 0 && f.request != request)
            continue;
        if (f.match && !f.match(arg))
            continue;
        f.seen++;
        if (f.nth == 0 || f.nth == f.seen)
            return &f;
    }
    return nullptr;
}

int sim_ioctl(int fd, unsigned long request, void *arg)
{
    Guard g(sim().lock);
    SimOpen *o = fake(fd);
    if (o == nullptr) {
        errno = sim().realFds.count(fd) ? ENOTTY : EBADF;
        return -1;
    }
    SimJournalEntry entry;
    entry.node = o->node;
    entry.request = request;
    const SimModel *m = model_of(*o);
    const SimRequest *row = nullptr;
    for (size_t i = 0; m && i < m->requestCount; i++)
        if (m->requests[i].number == request)
            row = &m->requests[i];
    int result;
    SimFault *fault = nullptr;
    if (row == nullptr) {
        result = -ENOTTY;
    } else if (row->recordSize > 0 && arg == nullptr) {
        result = -EFAULT;
    } else {
        if (row->recordSize > 0) {
            auto *bytes = static_cast<const uint8_t *>(arg);
            entry.record.assign(bytes, bytes + row->recordSize);
        }
        fault = matching_fault(o->node, request, arg);
        if (fault && fault->err != 0)
            result = -fault->err;
        else
            result = row->handle(SimCall{o->node, o->ctx, request, arg}, entry);
        if (fault && fault->err == 0 && result >= 0)
            result = fault->result;
    }
    entry.result = result;
    sim().journal.push_back(std::move(entry));
    if (result < 0) {
        errno = -result;
        return -1;
    }
    return result;
}

// ---- memory ------------------------------------------------------------------------

void *sim_mmap(void *addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    Guard g(sim().lock);
    if (SimOpen *o = fake(fd)) {
        const SimModel *m = model_of(*o);
        if (m == nullptr || m->mmap == nullptr) {
            errno = ENODEV;
            return MAP_FAILED;
        }
        void *p = m->mmap(*o, length, offset);
        return p ? p : MAP_FAILED;
    }
    return ::mmap(addr, length, prot, flags, fd, offset);
}

int sim_munmap(void *addr, size_t length)
{
    Guard g(sim().lock);
    for (const SimMmioRegion &r : sim().mmio)
        if (reinterpret_cast<uintptr_t>(addr) == r.base)
            return 0;  // the model owns the window
    return ::munmap(addr, length);
}

int sim_mprotect(void *, size_t, int) { return 0; }
long sim_pagesize() { return 4096; }

const SimMmioRegion *region_of(const volatile void *addr)
{
    auto a = reinterpret_cast<uintptr_t>(addr);
    for (const SimMmioRegion &r : sim().mmio)
        if (a >= r.base && a < r.base + r.size)
            return &r;
    return nullptr;
}

template <typename T> T sim_mmio_read(const volatile void *addr)
{
    Guard g(sim().lock);
    if (const SimMmioRegion *r = region_of(addr); r && r->read)
        return static_cast<T>(r->read(r->ctx, reinterpret_cast<uintptr_t>(addr) - r->base, sizeof(T)));
    return *static_cast<const volatile T *>(addr);
}

template <typename T> void sim_mmio_write(volatile void *addr, T value)
{
    Guard g(sim().lock);
    if (const SimMmioRegion *r = region_of(addr); r && r->write) {
        r->write(r->ctx, reinterpret_cast<uintptr_t>(addr) - r->base, value, sizeof(T));
        return;
    }
    *static_cast<volatile T *>(addr) = value;
}

// ---- port I/O ----------------------------------------------------------------------

int sim_iopl(int) { return 0; }

template <typename T> T sim_in(uint16_t port)
{
    Guard g(sim().lock);
    if (sim().ports.in)
        return static_cast<T>(sim().ports.in(sim().ports.ctx, port, sizeof(T)));
    return static_cast<T>(~T{0});
}

template <typename T> void sim_out(T value, uint16_t port)
{
    Guard g(sim().lock);
    if (sim().ports.out)
        sim().ports.out(sim().ports.ctx, port, value, sizeof(T));
}

// ---- sockets: no network on the simulated board unless a later model adds one --------

int sim_socket(int, int, int)
{
    errno = EAFNOSUPPORT;
    return -1;
}
int sim_bind(int, const struct sockaddr *, socklen_t) { errno = EBADF; return -1; }
int sim_setsockopt(int, int, int, const void *, socklen_t) { errno = EBADF; return -1; }
ssize_t sim_sendto(int, const void *, size_t, int, const struct sockaddr *, socklen_t) { errno = EBADF; return -1; }
ssize_t sim_sendmsg(int, const struct msghdr *, int) { errno = EBADF; return -1; }
ssize_t sim_recvfrom(int, void *, size_t, int, struct sockaddr *, socklen_t *) { errno = EBADF; return -1; }
ssize_t sim_recvmsg(int, struct msghdr *, int) { errno = EBADF; return -1; }

// ---- shell -------------------------------------------------------------------------

constexpr int kNotFoundStatus = 127 << 8;

const SimShellScript *run_command(const char *command)
{
    sim().commands.emplace_back(command ? command : "");
    auto it = sim().scripts.find(sim().commands.back());
    if (it == sim().scripts.end())
        return nullptr;
    for (const auto &[path, content] : it->second.creates)
        sim_write_file(path, content);
    return &it->second;
}

FILE *sim_popen(const char *command, const char *mode)
{
    Guard g(sim().lock);
    if (command == nullptr || mode == nullptr || mode[0] != 'r') {
        errno = EINVAL;
        return nullptr;
    }
    const SimShellScript *s = run_command(command);
    // The output waits in an anonymous memory file, whatever its size.
    int fd = ::memfd_create("quorbix-sim-popen", 0);
    if (fd < 0)
        return nullptr;
    const std::string out = s ? s->output : "";
    if (::write(fd, out.data(), out.size()) != static_cast<ssize_t>(out.size()) || ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        errno = EIO;
        return nullptr;
    }
    FILE *f = stream_on_fd(fd, "r");
    if (f)
        sim().pipeStatus[f] = s ? s->status : kNotFoundStatus;
    return f;
}

int sim_pclose(FILE *stream)
{
    int status;
    {
        Guard g(sim().lock);
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

int sim_system(const char *command)
{
    Guard g(sim().lock);
    if (command == nullptr)
        return 1;  // a shell is available
    const SimShellScript *s = run_command(command);
    return s ? s->status : kNotFoundStatus;
}

// ---- syslog ------------------------------------------------------------------------

[[gnu::format(printf, 2, 0)]] void sim_vsyslog(int priority, const char *format, va_list args)
{
    char line[2048];
    std::vsnprintf(line, sizeof line, format, args);
    Guard g(sim().lock);
    sim().syslog.push_back(SimLogLine{priority, line});
}

// ---- time --------------------------------------------------------------------------

void advance(uint64_t ns)
{
    unsigned factor;
    {
        Guard g(sim().lock);
        factor = sim().clockFactor;
        if (factor == 0) {
            sim().virtualNs += ns;
            return;
        }
    }
    std::this_thread::sleep_for(std::chrono::nanoseconds(ns / factor));
}

uint64_t now_ns()
{
    Guard g(sim().lock);
    if (sim().clockFactor == 0)
        return sim().virtualNs;
    auto real = std::chrono::steady_clock::now() - sim().realStart;
    return sim().virtualNs +
           static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(real).count()) * sim().clockFactor;
}

unsigned int sim_sleep(unsigned int seconds)
{
    advance(uint64_t{seconds} * 1000000000u);
    return 0;
}

int sim_usleep(useconds_t usec)
{
    advance(uint64_t{usec} * 1000u);
    return 0;
}

int sim_nanosleep(const struct timespec *req, struct timespec *rem)
{
    if (req == nullptr || req->tv_nsec < 0 || req->tv_nsec > 999999999 || req->tv_sec < 0) {
        errno = EINVAL;
        return -1;
    }
    advance(static_cast<uint64_t>(req->tv_sec) * 1000000000u + static_cast<uint64_t>(req->tv_nsec));
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
    uint64_t ns = now_ns();
    if (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)
        ns += static_cast<uint64_t>(kEpoch) * 1000000000u;
    ts->tv_sec = static_cast<time_t>(ns / 1000000000u);
    ts->tv_nsec = static_cast<long>(ns % 1000000000u);
    return 0;
}

int sim_gettimeofday(struct timeval *tv, void *)
{
    struct timespec ts;
    sim_clock_gettime(CLOCK_REALTIME, &ts);
    if (tv) {
        tv->tv_sec = ts.tv_sec;
        tv->tv_usec = ts.tv_nsec / 1000;
    }
    return 0;
}

time_t sim_time(time_t *out)
{
    struct timespec ts;
    sim_clock_gettime(CLOCK_REALTIME, &ts);
    if (out)
        *out = ts.tv_sec;
    return ts.tv_sec;
}

pid_t sim_getpid() { return 4242; }
pid_t sim_gettid() { return 4242; }

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
    .readdir = ::readdir,
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
    .mmio_read8 = sim_mmio_read<uint8_t>,
    .mmio_read16 = sim_mmio_read<uint16_t>,
    .mmio_read32 = sim_mmio_read<uint32_t>,
    .mmio_read64 = sim_mmio_read<uint64_t>,
    .mmio_write8 = sim_mmio_write<uint8_t>,
    .mmio_write16 = sim_mmio_write<uint16_t>,
    .mmio_write32 = sim_mmio_write<uint32_t>,
    .mmio_write64 = sim_mmio_write<uint64_t>,
    .iopl = sim_iopl,
    .inb = sim_in<uint8_t>,
    .inw = sim_in<uint16_t>,
    .inl = sim_in<uint32_t>,
    .outb = sim_out<uint8_t>,
    .outw = sim_out<uint16_t>,
    .outl = sim_out<uint32_t>,
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
    .gettid = sim_gettid,
};

void sim_register_node(const std::string &node, const SimModel *model, void *ctx)
{
    Guard g(sim().lock);
    sim().nodes[node] = SimNode{model, ctx};
}

void sim_remove_node(const std::string &node)
{
    Guard g(sim().lock);
    sim().nodes.erase(node);
}

bool sim_node_present(const std::string &node)
{
    Guard g(sim().lock);
    return sim().nodes.count(node) != 0;
}

void sim_fail_open(const std::string &path, int err)
{
    Guard g(sim().lock);
    sim().openFaults[path] = err;
}

void sim_fail_request(const std::string &node, unsigned long request, int err, unsigned nth)
{
    SimFault f;
    f.node = node;
    f.request = request;
    f.err = err;
    f.nth = nth;
    sim_add_fault(std::move(f));
}

void sim_request_result(const std::string &node, unsigned long request, int result, unsigned nth)
{
    SimFault f;
    f.node = node;
    f.request = request;
    f.result = result;
    f.nth = nth;
    sim_add_fault(std::move(f));
}

void sim_add_fault(SimFault fault)
{
    Guard g(sim().lock);
    sim().faults.push_back(std::move(fault));
}

void sim_clear_faults()
{
    Guard g(sim().lock);
    sim().faults.clear();
    sim().openFaults.clear();
}

void sim_script_command(const std::string &command, SimShellScript script)
{
    Guard g(sim().lock);
    sim().scripts[command] = std::move(script);
}

const std::vector<std::string> &sim_commands_run() { return sim().commands; }

void sim_clock_stepped()
{
    Guard g(sim().lock);
    sim().virtualNs = now_ns();
    sim().clockFactor = 0;
}

void sim_clock_scaled(unsigned factor)
{
    Guard g(sim().lock);
    sim().virtualNs = now_ns();
    sim().realStart = std::chrono::steady_clock::now();
    sim().clockFactor = factor == 0 ? 1 : factor;
}

uint64_t sim_clock_ns() { return now_ns(); }

void sim_add_mmio_region(const SimMmioRegion &region)
{
    Guard g(sim().lock);
    sim().mmio.push_back(region);
}

void sim_set_ports(const SimPorts &ports)
{
    Guard g(sim().lock);
    sim().ports = ports;
}

const std::vector<SimJournalEntry> &sim_journal() { return sim().journal; }

void sim_clear_journal()
{
    Guard g(sim().lock);
    sim().journal.clear();
}

const std::vector<SimLogLine> &sim_syslog() { return sim().syslog; }

void sim_clear_syslog()
{
    Guard g(sim().lock);
    sim().syslog.clear();
}

int sim_open_count()
{
    Guard g(sim().lock);
    return static_cast<int>(sim().fakeFds.size() + sim().realFds.size() + sim().dirs.size()) + sim().streams;
}

void sim_reset(const std::string &root)
{
    Guard g(sim().lock);
    SimState &s = sim();
    for (int fd : s.realFds)
        ::close(fd);
    s.root = root;
    while (!s.root.empty() && s.root.back() == '/')
        s.root.pop_back();
    s.nodes.clear();
    s.openFaults.clear();
    s.fakeFds.clear();
    s.nextFakeFd = kFirstFakeFd;
    s.realFds.clear();
    s.dirs.clear();
    s.streams = 0;
    s.faults.clear();
    s.journal.clear();
    s.syslog.clear();
    s.scripts.clear();
    s.commands.clear();
    s.pipeStatus.clear();
    s.mmio.clear();
    s.ports = SimPorts{};
    s.clockFactor = 0;
    s.virtualNs = 0;
    s.realStart = std::chrono::steady_clock::now();
}

const std::string &sim_root() { return sim().root; }

std::string sim_path(const std::string &path) { return resolve(path.c_str()); }

void sim_write_file(const std::string &path, const std::string &content)
{
    std::filesystem::path full = sim_path(path);
    std::filesystem::create_directories(full.parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string sim_read_file(const std::string &path)
{
    std::ifstream in(sim_path(path), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
