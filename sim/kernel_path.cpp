// Paths: canonicalisation under the root, registered files and patterns as
// seen by stat, access, realpath and directory listings, and opening by path.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fnmatch.h>
#include <set>
#include <string_view>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/kernel.h"
#include "sim/root_undo.h"

namespace simk {

namespace {

constexpr int kMaxLinks = 40;
constexpr const char *kBoardOwn = "/.sim";

void split_into(std::string_view path, std::vector<std::string> &out)
{
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string_view::npos)
            j = path.size();
        if (j > i)
            out.emplace_back(path.substr(i, j - i));
        i = j + 1;
    }
}

std::string join(const std::vector<std::string> &parts)
{
    std::string out;
    for (const std::string &p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

bool registered_below(const std::string &dir)
{
    std::string prefix = dir == "/" ? "/" : dir + "/";
    for (const auto &[path, reg] : kernel().files)
        if (path.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

mode_t mode_of(const std::string &canonical, const SimFileOps *ops)
{
    if (ops->mode != 0)
        return ops->mode;
    return canonical.compare(0, 5, "/dev/") == 0 ? (S_IFCHR | 0600) : (S_IFREG | 0644);
}

void fill_stat(struct stat *st, mode_t mode)
{
    std::memset(st, 0, sizeof *st);
    st->st_mode = mode;
    st->st_nlink = 1;
    st->st_blksize = 4096;
}

// The relative path beneath the root of a canonical path ("" for "/").
std::string beneath(const std::string &canonical) { return canonical.size() > 1 ? canonical.substr(1) : std::string(); }

// Opens a directory beneath `dir`, following no link: a descriptor or -errno.
int open_dir_beneath(int dir, const std::string &path)
{
    const int fd = sim_open_beneath(dir, path, O_PATH | O_DIRECTORY);
    return fd < 0 ? -errno : fd;
}

// Only plain files and directories are opened; a plain file opened for
// writing must be the file's one name, so the write reaches nothing
// beside the root.
int plain_or_dir(const struct stat &st, bool writes)
{
    if (S_ISDIR(st.st_mode))
        return 0;
    if (!S_ISREG(st.st_mode))
        return -ENXIO;
    return writes && st.st_nlink > 1 ? -EMLINK : 0;
}

// stat and lstat: registered paths and the directories that hold them first.
int stat_common(const char *path, struct stat *st, bool follow)
{
    if (st == nullptr)
        return static_cast<int>(fail(-EFAULT));
    Guard g;
    std::string canon;
    if (int r = canonicalise(path, follow, canon); r < 0)
        return static_cast<int>(fail(r));
    if (const Registration *reg = lookup(canon)) {
        fill_stat(st, mode_of(canon, reg->ops));
        return 0;
    }
    int r = real_stat(canon, st);
    if (r == -ENOENT && registered_below(canon)) {
        fill_stat(st, S_IFDIR | 0755);
        return 0;
    }
    return static_cast<int>(fail(r));
}

bool take_open_fault(const std::string &canonical)
{
    for (const auto &[path, err] : kernel().openFaults)
        if (path == canonical) {
            errno = err;
            return true;
        }
    return false;
}

// ---- directories: listed whole when opened ------------------------------------------

struct SimDir {
    std::vector<struct dirent> entries;
    size_t next = 0;
};

void add_entry(SimDir &dir, std::set<std::string> &seen, const std::string &name, unsigned char type)
{
    if (name.empty() || name.size() >= sizeof(dirent::d_name) || !seen.insert(name).second)
        return;
    struct dirent e {};
    e.d_ino = seen.size();
    e.d_type = type;
    e.d_reclen = sizeof e;
    std::memcpy(e.d_name, name.c_str(), name.size() + 1);
    dir.entries.push_back(e);
}

// Names the registrations add to the directory `canon`.
void add_registered(SimDir &dir, std::set<std::string> &seen, const std::string &canon)
{
    std::string prefix = canon == "/" ? "/" : canon + "/";
    for (const auto &[path, reg] : kernel().files) {
        if (path.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string rest = path.substr(prefix.size());
        size_t slash = rest.find('/');
        if (slash == std::string::npos)
            add_entry(dir, seen, rest, S_ISDIR(mode_of(path, reg.ops)) ? DT_DIR : (path.compare(0, 5, "/dev/") == 0 ? DT_CHR : DT_REG));
        else
            add_entry(dir, seen, rest.substr(0, slash), DT_DIR);
    }
}

// How an open with `flags` changes a file that is there, for the undo.
UndoKeep keep_for(int flags)
{
    if ((flags & O_ACCMODE) == O_RDONLY)
        return UndoKeep::none;  // made when missing, else left alone
    return (flags & O_TRUNC) ? UndoKeep::truncate : UndoKeep::inPlace;
}

// The open itself, once looked at (`seen`: what was there, null when
// nothing was): the descriptor or -errno.
int open_looked(const std::string &path, int flags, mode_t mode, const struct stat *seen, bool writes)
{
    SimFd fd(sim_open_beneath(kernel().rootFd, path, (flags & ~O_TRUNC) | O_NONBLOCK | O_NOCTTY, mode));
    struct stat now {};
    if (fd.fd < 0 || ::fstat(fd.fd, &now) < 0)
        return -errno;
    if (seen != nullptr && (now.st_dev != seen->st_dev || now.st_ino != seen->st_ino))
        return -EAGAIN;  // replaced while it was being opened
    if (int r = plain_or_dir(now, writes); r < 0)
        return r;
    if (writes && (flags & O_TRUNC) && S_ISREG(now.st_mode) && ::ftruncate(fd.fd, 0) < 0)
        return -errno;
    const int status = ::fcntl(fd.fd, F_GETFL);
    if (!(flags & O_NONBLOCK) && (status < 0 || ::fcntl(fd.fd, F_SETFL, status & ~O_NONBLOCK) < 0))
        return -errno;
    return fd.release();
}

} // namespace

int open_parent(const std::string &canonical, Parent &out)
{
    const size_t slash = canonical.rfind('/');
    const bool top = canonical.size() <= 1 || slash == std::string::npos;
    const int fd = open_dir_beneath(kernel().rootFd, top ? std::string() : canonical.substr(1, slash == 0 ? 0 : slash - 1));
    if (fd < 0)
        return fd;
    out.dir = SimFd(fd);
    out.name = top ? "." : canonical.substr(slash + 1);
    return 0;
}

int real_stat(const std::string &canonical, struct stat *st)
{
    Parent p;
    if (int r = open_parent(canonical, p); r < 0)
        return r;
    return ::fstatat(p.dir.fd, p.name.c_str(), st, AT_SYMLINK_NOFOLLOW) < 0 ? -errno : 0;
}

int open_real(const std::string &canonical, int flags, mode_t mode)
{
    const bool writes = (flags & O_ACCMODE) != O_RDONLY;
    const std::string path = beneath(canonical);
    // What is there, looked at without opening it: a device is never
    // opened, a FIFO never waited on.
    struct stat seen {};
    SimFd probe;
    auto look = [&] {
        probe = SimFd(sim_open_beneath(kernel().rootFd, path, O_PATH));
        if (probe.fd < 0 && !(errno == ENOENT && (flags & O_CREAT)))
            return -errno;
        if (probe.fd >= 0 && ::fstat(probe.fd, &seen) < 0)
            return -errno;
        return probe.fd >= 0 ? plain_or_dir(seen, writes) : 0;
    };
    if (int r = look(); r < 0)
        return r;
    if ((flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL) && probe.fd >= 0)
        return -EEXIST;
    if (writes || (flags & O_CREAT)) {
        // The undo may put an empty file in the old one's place: what is
        // opened is what is there then.
        if (int r = sim_undo_note(canonical, keep_for(flags)); r < 0)
            return r;
        if (int r = look(); r < 0) {
            sim_undo_cancel(canonical);
            return r;
        }
    }
    const int fd = open_looked(path, flags, mode, probe.fd >= 0 ? &seen : nullptr, writes);
    if (fd < 0)
        sim_undo_cancel(canonical);
    return fd;
}

int make_dirs(const std::string &canonical)
{
    std::vector<std::string> parts;
    split_into(canonical, parts);
    // A name the open that follows could not take makes no directory.
    if (canonical.size() > PATH_MAX)
        return -ENAMETOOLONG;
    for (const std::string &part : parts)
        if (part.size() > NAME_MAX)
            return -ENAMETOOLONG;
    int first = open_dir_beneath(kernel().rootFd, "");
    if (first < 0)
        return first;
    SimFd dir(first);
    std::string at;
    for (const std::string &part : parts) {
        at += "/" + part;
        int next = open_dir_beneath(dir.fd, part);
        if (next == -ENOENT) {
            if (int r = sim_undo_note(at, UndoKeep::none); r < 0)
                return r;
            if (::mkdirat(dir.fd, part.c_str(), 0755) < 0 && errno != EEXIST)
                return -errno;
            next = open_dir_beneath(dir.fd, part);
        }
        if (next < 0)
            return next;
        dir = SimFd(next);
    }
    return 0;
}

int canonicalise(const char *path, bool followLast, std::string &out)
{
    if (path == nullptr)
        return -EFAULT;
    if (*path == '\0')
        return -ENOENT;
    if (std::strlen(path) >= PATH_MAX)
        return -ENAMETOOLONG;
    std::vector<std::string> todo;
    split_into(path, todo);
    std::reverse(todo.begin(), todo.end());  // a stack: next component at the back
    std::vector<std::string> parts;
    std::string cur;       // the parts joined, kept as they change
    bool missing = false;  // a prefix is not on disk: nothing below it is a link
    int links = 0;
    auto pop = [&] {
        parts.pop_back();
        cur.resize(cur.rfind('/'));
        missing = false;
    };
    while (!todo.empty()) {
        std::string c = std::move(todo.back());
        todo.pop_back();
        if (c == ".")
            continue;
        if (c == "..") {
            if (!parts.empty())
                pop();
            continue;
        }
        cur += "/" + c;
        parts.push_back(std::move(c));
        // The board's own directory is no part of the board: nothing is
        // looked up in it, nothing beneath it is reached.
        if (cur == kBoardOwn)
            return -EACCES;
        if (cur.size() > PATH_MAX)
            return -ENAMETOOLONG;
        if ((!followLast && todo.empty()) || missing)
            continue;
        char target[PATH_MAX];
        ssize_t n = ::readlinkat(kernel().rootFd, cur.c_str() + 1, target, sizeof target - 1);
        if (n < 0) {
            missing = errno == ENOENT;
            continue;
        }
        if (++links > kMaxLinks)
            return -ELOOP;
        target[n] = '\0';
        pop();
        if (target[0] == '/') {
            parts.clear();
            cur.clear();
        }
        std::vector<std::string> more;
        split_into(target, more);
        todo.insert(todo.end(), more.rbegin(), more.rend());
    }
    out = join(parts);
    return 0;
}

const Registration *lookup(const std::string &canonical)
{
    Kernel &k = kernel();
    for (const auto &[path, reg] : k.files)
        if (path == canonical)
            return &reg;
    for (const auto &[pattern, reg] : k.patterns)
        if (::fnmatch(pattern.c_str(), canonical.c_str(), FNM_PATHNAME) == 0)
            return &reg;
    return nullptr;
}

int sim_open(const char *path, int flags, mode_t mode)
{
    Guard g;
    std::string canon;
    // Bulk runs open the same device node again and again: a path that
    // named a registered node resolves as before until registrations change.
    auto known = path != nullptr ? kernel().nodePaths.find(path) : kernel().nodePaths.end();
    if (known != kernel().nodePaths.end())
        canon = known->second;
    else if (int r = canonicalise(path, true, canon); r < 0)
        return static_cast<int>(fail(r));
    else if (lookup(canon) != nullptr)
        kernel().nodePaths.emplace(path, canon);
    if (take_open_fault(canon))
        return -1;
    if (int e = op_fault(SimFaultOp::open, canon); e < 0)
        return static_cast<int>(fail(e));
    if (const Registration *reg = lookup(canon)) {
        if ((flags & O_CREAT) && (flags & O_EXCL))
            return static_cast<int>(fail(-EEXIST));
        auto file = std::make_unique<SimFile>();
        file->path = canon;
        file->ops = reg->ops;
        file->ctx = reg->ctx;
        file->flags = flags;
        return static_cast<int>(fail(open_modelled(std::move(file))));
    }
    int fd = open_real(canon, flags, mode);
    return fd < 0 ? static_cast<int>(fail(fd)) : add_real_fd(fd, canon);
}

namespace {

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

// Streams over a descriptor of the simulated host, so the same operations
// (modelled or real) serve stdio.
int cookie_fd(void *c) { return static_cast<int>(reinterpret_cast<intptr_t>(c)); }
ssize_t cookie_read(void *c, char *buf, size_t n) { return sim_read(cookie_fd(c), buf, n); }
ssize_t cookie_write(void *c, const char *buf, size_t n)
{
    ssize_t r = sim_write(cookie_fd(c), buf, n);
    return r < 0 ? 0 : r;  // stdio takes 0 as the write error
}
int cookie_seek(void *c, off64_t *off, int whence)
{
    off_t r = sim_lseek(cookie_fd(c), *off, whence);
    if (r < 0)
        return -1;
    *off = r;
    return 0;
}
int cookie_close(void *c) { return sim_close(cookie_fd(c)); }

} // namespace

FILE *stream_on_fd(int fd, const char *mode)
{
    cookie_io_functions_t io{cookie_read, cookie_write, cookie_seek, cookie_close};
    FILE *f = fopencookie(reinterpret_cast<void *>(static_cast<intptr_t>(fd)), mode, io);
    if (f == nullptr)
        sim_close(fd);
    return f;
}

FILE *sim_fopen(const char *path, const char *mode)
{
    int flags = mode ? fopen_flags(mode) : -1;
    if (path == nullptr || flags < 0) {
        errno = EINVAL;
        return nullptr;
    }
    int fd = sim_open(path, flags, 0644);
    return fd < 0 ? nullptr : stream_on_fd(fd, mode);
}

int sim_stat(const char *path, struct stat *st) { return stat_common(path, st, true); }
int sim_lstat(const char *path, struct stat *st) { return stat_common(path, st, false); }

int sim_access(const char *path, int amode)
{
    Guard g;
    std::string canon;
    if (int r = canonicalise(path, true, canon); r < 0)
        return static_cast<int>(fail(r));
    if (lookup(canon))
        return 0;
    Parent p;
    int r = open_parent(canon, p);
    if (r == 0 && ::faccessat(p.dir.fd, p.name.c_str(), amode, AT_SYMLINK_NOFOLLOW) < 0)
        r = -errno;
    if (r == -ENOENT && registered_below(canon))
        return 0;
    return static_cast<int>(fail(r));
}

ssize_t sim_readlink(const char *path, char *buf, size_t size)
{
    Guard g;
    std::string canon;
    if (int r = canonicalise(path, false, canon); r < 0)
        return fail(r);
    Parent p;
    if (int r = open_parent(canon, p); r < 0)
        return fail(r);
    return ::readlinkat(p.dir.fd, p.name.c_str(), buf, size);
}

char *sim_realpath(const char *path, char *resolved)
{
    Guard g;
    std::string canon;
    if (int r = canonicalise(path, true, canon); r < 0) {
        fail(r);
        return nullptr;
    }
    struct stat st;
    if (int r = lookup(canon) ? 0 : real_stat(canon, &st); r < 0 && !(r == -ENOENT && registered_below(canon))) {
        fail(r);
        return nullptr;
    }
    if (canon.size() >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    if (resolved == nullptr)
        return strdup(canon.c_str());
    std::memcpy(resolved, canon.c_str(), canon.size() + 1);
    return resolved;
}

DIR *sim_opendir(const char *path)
{
    Guard g;
    std::string canon;
    if (int r = canonicalise(path, true, canon); r < 0) {
        fail(r);
        return nullptr;
    }
    auto dir = std::make_unique<SimDir>();
    std::set<std::string> seen;
    const int fd = sim_open_beneath(kernel().rootFd, beneath(canon), O_RDONLY | O_DIRECTORY | O_NONBLOCK);
    DIR *real = fd < 0 ? nullptr : ::fdopendir(fd);
    int err = errno;
    if (fd >= 0 && real == nullptr)
        ::close(fd);
    if (real == nullptr && !(err == ENOENT && registered_below(canon))) {
        errno = err;
        return nullptr;
    }
    if (real) {
        while (struct dirent *e = ::readdir(real))
            add_entry(*dir, seen, e->d_name, e->d_type);
        ::closedir(real);
    } else {
        add_entry(*dir, seen, ".", DT_DIR);
        add_entry(*dir, seen, "..", DT_DIR);
    }
    add_registered(*dir, seen, canon);
    kernel().dirs.push_back(dir.get());
    return reinterpret_cast<DIR *>(dir.release());
}

struct dirent *sim_readdir(DIR *d)
{
    Guard g;
    auto &dirs = kernel().dirs;
    if (std::find(dirs.begin(), dirs.end(), static_cast<void *>(d)) == dirs.end()) {
        errno = EBADF;
        return nullptr;
    }
    auto *dir = reinterpret_cast<SimDir *>(d);
    return dir->next < dir->entries.size() ? &dir->entries[dir->next++] : nullptr;
}

int sim_closedir(DIR *d)
{
    Guard g;
    auto &dirs = kernel().dirs;
    auto it = std::find(dirs.begin(), dirs.end(), static_cast<void *>(d));
    if (it == dirs.end())
        return static_cast<int>(fail(-EBADF));
    dirs.erase(it);
    delete reinterpret_cast<SimDir *>(d);
    return 0;
}

void close_dirs()
{
    for (void *d : kernel().dirs)
        delete static_cast<SimDir *>(d);
    kernel().dirs.clear();
}

int sim_mkdir(const char *path, mode_t mode)
{
    Guard g;
    std::string canon;
    if (int r = canonicalise(path, false, canon); r < 0)
        return static_cast<int>(fail(r));
    Parent p;
    if (int r = open_parent(canon, p); r < 0)
        return static_cast<int>(fail(r));
    if (int r = sim_undo_note(canon, UndoKeep::none); r < 0)
        return static_cast<int>(fail(r));
    return ::mkdirat(p.dir.fd, p.name.c_str(), mode);
}

int sim_rename(const char *from, const char *to)
{
    Guard g;
    std::string a, b;
    if (int r = canonicalise(from, false, a); r < 0)
        return static_cast<int>(fail(r));
    if (int r = canonicalise(to, false, b); r < 0)
        return static_cast<int>(fail(r));
    Parent pa, pb;
    if (int r = open_parent(a, pa); r < 0)
        return static_cast<int>(fail(r));
    if (int r = open_parent(b, pb); r < 0)
        return static_cast<int>(fail(r));
    if (int r = sim_undo_note(a, UndoKeep::moves); r < 0)
        return static_cast<int>(fail(r));
    if (int r = sim_undo_note(b, UndoKeep::replace); r < 0)
        return static_cast<int>(fail(r));
    return ::renameat(pa.dir.fd, pa.name.c_str(), pb.dir.fd, pb.name.c_str());
}

int sim_unlink(const char *path)
{
    Guard g;
    std::string canon;
    if (int r = canonicalise(path, false, canon); r < 0)
        return static_cast<int>(fail(r));
    Parent p;
    if (int r = open_parent(canon, p); r < 0)
        return static_cast<int>(fail(r));
    if (int r = sim_undo_note(canon, UndoKeep::replace); r < 0)
        return static_cast<int>(fail(r));
    return ::unlinkat(p.dir.fd, p.name.c_str(), 0);
}

} // namespace simk

std::string sim_canonical(const std::string &path)
{
    simk::Guard g;
    std::string out;
    return simk::canonicalise(path.c_str(), true, out) == 0 ? out : std::string();
}
