// Descriptors: real files and modelled ones side by side, each modelled open
// holding a real eventfd so its number is one the process could have had.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <vector>
#include <sys/eventfd.h>
#include <unistd.h>

#include "sim/kernel.h"
#include "sim/sim_sched.h"

namespace simk {

namespace {

constexpr size_t kProcPage = 4096;
constexpr short kAlwaysReady = POLLIN | POLLOUT | POLLRDNORM | POLLWRNORM;

Desc &slot(int fd)
{
    auto &fds = kernel().fds;
    if (fds.size() <= static_cast<size_t>(fd))
        fds.resize(static_cast<size_t>(fd) + 1);
    return fds[static_cast<size_t>(fd)];
}

// procfs hands out at most a page per read.
size_t clamp_count(const std::string &path, size_t count)
{
    return path.compare(0, 6, "/proc/") == 0 ? std::min(count, kProcPage) : count;
}

SimFile *modelled(int fd)
{
    Desc *d = desc(fd);
    return d && d->kind == DescKind::modelled ? d->file.get() : nullptr;
}

// A matching fault: -errno, or a transfer cut short to its result.
ssize_t transfer_fault(SimFaultOp op, const std::string &node, size_t &count)
{
    SimFault *fault = matching_fault(op, node, 0, nullptr);
    if (fault == nullptr)
        return 0;
    if (fault->err != 0)
        return -fault->err;
    count = std::min(count, static_cast<size_t>(fault->result > 0 ? fault->result : 0));
    return 0;
}

// Journal a transfer on a modelled file: node, offset, bytes moved.
void journal_transfer(SimEvent kind, const SimFile &f, off_t offset, const void *buf, size_t asked, ssize_t r)
{
    if (!journal_on())
        return;
    SimJournalEntry e;
    e.kind = kind;
    e.node = f.path;
    e.address = static_cast<uint64_t>(offset);
    e.length = r > 0 ? static_cast<uint64_t>(r) : 0;
    e.value = asked;
    e.result = static_cast<int>(r);
    if (r > 0 && buf != nullptr)
        sim_attach(e, "data", buf, static_cast<size_t>(r));
    else if (r >= 0)
        sim_attach(e, "data", nullptr, 0);
    journal_push(std::move(e));
}

ssize_t model_read(SimFile &f, void *buf, size_t count)
{
    off_t at = f.pos;
    size_t asked = count;
    ssize_t r = transfer_fault(SimFaultOp::read, f.path, count);
    if (r == 0 && f.ops->read == nullptr)
        r = -EINVAL;
    else if (r == 0 && buf == nullptr && count > 0)
        r = -EFAULT;
    else if (r == 0)
        r = f.ops->read(f, buf, clamp_count(f.path, count));
    journal_transfer(SimEvent::read, f, at, buf, asked, r);
    return r;
}

ssize_t model_write(SimFile &f, const void *buf, size_t count)
{
    off_t at = f.pos;
    size_t asked = count;
    ssize_t r = transfer_fault(SimFaultOp::write, f.path, count);
    if (r == 0 && f.ops->write == nullptr)
        r = -EINVAL;
    else if (r == 0 && buf == nullptr && count > 0)
        r = -EFAULT;
    // The bytes as the caller wrote them (a driver may answer in the same buffer).
    std::vector<uint8_t> sent;
    if (r == 0 && journal_on() && buf != nullptr)
        sent.assign(static_cast<const uint8_t *>(buf), static_cast<const uint8_t *>(buf) + count);
    if (r == 0)
        r = f.ops->write(f, buf, count);
    journal_transfer(SimEvent::write, f, at, sent.empty() ? nullptr : sent.data(), asked, r);
    return r;
}

void release(Desc &d)
{
    if (d.kind == DescKind::modelled && d.file->ops->release)
        d.file->ops->release(*d.file);
}

} // namespace

Desc *desc(int fd)
{
    auto &fds = kernel().fds;
    if (fd < 0 || static_cast<size_t>(fd) >= fds.size() || fds[static_cast<size_t>(fd)].kind == DescKind::none)
        return nullptr;
    return &fds[static_cast<size_t>(fd)];
}

int add_real_fd(int fd, const std::string &path)
{
    Desc &d = slot(fd);
    d.kind = DescKind::real;
    d.path = path;
    d.file.reset();
    return fd;
}

int open_modelled(std::unique_ptr<SimFile> file)
{
    int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0)
        return -errno;
    file->fd = fd;
    if (file->ops->open) {
        if (int r = file->ops->open(*file); r < 0) {
            ::close(fd);
            return r;
        }
    }
    Desc &d = slot(fd);
    d.kind = DescKind::modelled;
    d.path = file->path;
    d.file = std::move(file);
    return fd;
}

void release_all()
{
    for (size_t fd = 0; fd < kernel().fds.size(); fd++) {
        Desc &d = kernel().fds[fd];
        if (d.kind == DescKind::none)
            continue;
        release(d);
        ::close(static_cast<int>(fd));
        d = Desc{};
    }
}

namespace {

// Run a call under the kernel lock, then let the calling thread pay the
// virtual time the models charged it, with no lock held.
template <typename Call> auto settled(Call call)
{
    auto result = call();
    int saved = errno;
    sched_settle();
    errno = saved;
    return result;
}

ssize_t read_locked(int fd, void *buf, size_t count)
{
    Guard g;
    Desc *d = desc(fd);
    if (d == nullptr)
        return fail(-EBADF);
    if (d->kind == DescKind::modelled)
        return fail(model_read(*d->file, buf, count));
    return ::read(fd, buf, clamp_count(d->path, count));
}

} // namespace

ssize_t sim_read(int fd, void *buf, size_t count)
{
    return settled([&] { return read_locked(fd, buf, count); });
}

namespace {

ssize_t write_locked(int fd, const void *buf, size_t count)
{
    Guard g;
    Desc *d = desc(fd);
    if (d == nullptr)
        return fail(-EBADF);
    if (d->kind == DescKind::modelled)
        return fail(model_write(*d->file, buf, count));
    if (ssize_t r = transfer_fault(SimFaultOp::write, d->path, count); r < 0)
        return fail(r);
    return ::write(fd, buf, count);
}

} // namespace

ssize_t sim_write(int fd, const void *buf, size_t count)
{
    return settled([&] { return write_locked(fd, buf, count); });
}

ssize_t sim_pread(int fd, void *buf, size_t count, off_t offset)
{
    Guard g;
    Desc *d = desc(fd);
    if (d == nullptr)
        return fail(-EBADF);
    if (d->kind != DescKind::modelled)
        return ::pread(fd, buf, clamp_count(d->path, count), offset);
    if (offset < 0)
        return fail(-EINVAL);
    SimFile &f = *d->file;
    off_t keep = f.pos;
    f.pos = offset;
    ssize_t r = model_read(f, buf, count);
    f.pos = keep;
    return fail(r);
}

ssize_t sim_pwrite(int fd, const void *buf, size_t count, off_t offset)
{
    Guard g;
    Desc *d = desc(fd);
    if (d == nullptr)
        return fail(-EBADF);
    if (d->kind != DescKind::modelled)
        return ::pwrite(fd, buf, count, offset);
    if (offset < 0)
        return fail(-EINVAL);
    SimFile &f = *d->file;
    off_t keep = f.pos;
    f.pos = offset;
    ssize_t r = model_write(f, buf, count);
    f.pos = keep;
    return fail(r);
}

off_t sim_lseek(int fd, off_t offset, int whence)
{
    Guard g;
    Desc *d = desc(fd);
    if (d == nullptr)
        return fail(-EBADF);
    if (d->kind != DescKind::modelled)
        return ::lseek(fd, offset, whence);
    SimFile &f = *d->file;
    if (f.family != 0)
        return fail(-ESPIPE);
    off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f.pos : -1;
    if (base < 0 || (offset < 0 && -offset > base))
        return fail(-EINVAL);  // no end to seek from; never before the start
    f.pos = base + offset;
    return f.pos;
}

int sim_fstat(int fd, struct stat *st)
{
    Guard g;
    Desc *d = desc(fd);
    if (d == nullptr)
        return static_cast<int>(fail(-EBADF));
    if (d->kind != DescKind::modelled)
        return ::fstat(fd, st);
    if (st == nullptr)
        return static_cast<int>(fail(-EFAULT));
    const SimFile &f = *d->file;
    std::memset(st, 0, sizeof *st);
    st->st_mode = f.family != 0 ? (S_IFSOCK | 0777)
                  : f.ops->mode != 0 ? f.ops->mode
                  : f.path.compare(0, 5, "/dev/") == 0 ? (S_IFCHR | 0600) : (S_IFREG | 0644);
    st->st_nlink = 1;
    st->st_blksize = 4096;
    return 0;
}

int sim_ftruncate(int fd, off_t length)
{
    Guard g;
    Desc *d = desc(fd);
    if (d == nullptr)
        return static_cast<int>(fail(-EBADF));
    if (d->kind == DescKind::modelled)
        return static_cast<int>(fail(-EINVAL));
    return ::ftruncate(fd, length);
}

int sim_close(int fd)
{
    Guard g;
    Desc *d = desc(fd);
    if (d == nullptr)
        return static_cast<int>(fail(-EBADF));
    release(*d);
    *d = Desc{};
    return ::close(fd);
}

namespace {

int ioctl_locked(int fd, unsigned long request, void *arg)
{
    Guard g;
    Desc *d = desc(fd);
    if (d == nullptr)
        return static_cast<int>(fail(-EBADF));
    if (d->kind != DescKind::modelled)
        return static_cast<int>(fail(-ENOTTY));
    SimFile &f = *d->file;
    const SimRequest *row = nullptr;
    for (size_t i = 0; i < f.ops->requestCount && row == nullptr; i++)
        if (f.ops->requests[i].number == request)
            row = &f.ops->requests[i];
    SimJournalEntry entry;
    bool journal = journal_on();
    if (journal)
        entry.node = f.path;
    entry.request = request;
    int result;
    if (row == nullptr) {
        result = -ENOTTY;
    } else if (row->recordSize > 0 && arg == nullptr) {
        result = -EFAULT;
    } else {
        if (row->recordSize > 0 && journal) {
            auto *bytes = static_cast<const uint8_t *>(arg);
            entry.record.assign(bytes, bytes + row->recordSize);
        }
        SimFault *fault = matching_fault(SimFaultOp::request, f.path, request, arg);
        if (fault && fault->err != 0) {
            result = -fault->err;
        } else {
            kernel().current = &entry;
            result = row->handle(SimCall{f.path, f.ctx, request, arg, &f}, entry);
            kernel().current = nullptr;
            if (kernel().requestCostNs != 0)
                sched_charge_ns(kernel().requestCostNs);
            if (fault && result >= 0)
                result = fault->result;
        }
    }
    entry.result = result;
    if (journal)
        journal_push(std::move(entry));
    return static_cast<int>(fail(result));
}

} // namespace

int sim_ioctl(int fd, unsigned long request, void *arg)
{
    return settled([&] { return ioctl_locked(fd, request, arg); });
}

// ---- poll and select --------------------------------------------------------------

namespace {

// Ready events of one descriptor among `events` (errors always count).
short readiness(int fd, short events)
{
    short wanted = static_cast<short>(events | POLLERR | POLLHUP | POLLNVAL);
    if (SimFile *f = modelled(fd)) {
        short now = f->ops->poll ? f->ops->poll(*f) : kAlwaysReady;
        return static_cast<short>(now & wanted);
    }
    struct pollfd p{fd, events, 0};
    if (::poll(&p, 1, 0) < 0)
        return 0;
    return static_cast<short>(p.revents & wanted);
}

int poll_scan(struct pollfd *fds, nfds_t nfds)
{
    Guard g;
    int count = 0;
    for (nfds_t i = 0; i < nfds; i++) {
        fds[i].revents = fds[i].fd < 0 ? 0 : readiness(fds[i].fd, fds[i].events);
        count += fds[i].revents != 0;
    }
    return count;
}

int64_t timeval_ns(const struct timeval *tv)
{
    return static_cast<int64_t>(tv->tv_sec) * 1000000000 + static_cast<int64_t>(tv->tv_usec) * 1000;
}

struct SelectSets {
    fd_set *sets[3];
    fd_set in[3];
};

// One pass over the sets: -errno for a closed descriptor, else the count;
// the output sets are written only when `write` is set.
int select_scan(int nfds, SelectSets &s, bool write)
{
    static constexpr short kEvents[3] = {POLLIN, POLLOUT, POLLPRI};
    Guard g;
    fd_set out[3];
    int count = 0;
    for (int k = 0; k < 3; k++)
        FD_ZERO(&out[k]);
    for (int fd = 0; fd < nfds; fd++) {
        for (int k = 0; k < 3; k++) {
            if (s.sets[k] == nullptr || !FD_ISSET(fd, &s.in[k]))
                continue;
            short r = readiness(fd, kEvents[k]);
            if (r & POLLNVAL)
                return -EBADF;
            bool ready = k == 2 ? (r & POLLPRI) != 0 : r != 0;
            if (ready) {
                FD_SET(fd, &out[k]);
                count++;
            }
        }
    }
    for (int k = 0; write && k < 3; k++)
        if (s.sets[k])
            *s.sets[k] = out[k];
    return count;
}

} // namespace

int sim_poll(struct pollfd *fds, nfds_t nfds, int timeout_ms)
{
    if (fds == nullptr && nfds > 0)
        return static_cast<int>(fail(-EFAULT));
    int count = poll_scan(fds, nfds);
    if (count != 0 || timeout_ms == 0)
        return count;
    int64_t timeout = timeout_ms < 0 ? -1 : int64_t{timeout_ms} * 1000000;
    sim_kernel_wait([&] { return poll_scan(fds, nfds) > 0; }, timeout);
    return poll_scan(fds, nfds);
}

int sim_select(int nfds, fd_set *rd, fd_set *wr, fd_set *ex, struct timeval *timeout)
{
    if (nfds < 0 || nfds > FD_SETSIZE || (timeout && (timeout->tv_sec < 0 || timeout->tv_usec < 0 || timeout->tv_usec >= 1000000)))
        return static_cast<int>(fail(-EINVAL));
    SelectSets s{{rd, wr, ex}, {}};
    for (int k = 0; k < 3; k++) {
        FD_ZERO(&s.in[k]);
        if (s.sets[k])
            s.in[k] = *s.sets[k];
    }
    int count = select_scan(nfds, s, true);
    int64_t wait = timeout ? timeval_ns(timeout) : -1;
    if (count != 0 || wait == 0)
        return static_cast<int>(fail(count));
    uint64_t start = sched_now_ns();
    sim_kernel_wait([&] { return select_scan(nfds, s, false) != 0; }, wait);
    count = select_scan(nfds, s, true);
    if (timeout) {
        int64_t left = std::max<int64_t>(0, wait - static_cast<int64_t>(sched_now_ns() - start));
        timeout->tv_sec = static_cast<time_t>(left / 1000000000);
        timeout->tv_usec = static_cast<suseconds_t>(left % 1000000000 / 1000);
    }
    return static_cast<int>(fail(count));
}

} // namespace simk

SimFile *sim_file(int fd)
{
    simk::Guard g;
    simk::Desc *d = simk::desc(fd);
    return d && d->kind == simk::DescKind::modelled ? d->file.get() : nullptr;
}
