#include "sim/root_undo.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "sim/kernel.h"
#include "sim/kit/sim_tree.h"
#include "sim/kit/sim_words.h"

namespace {

using simk::Parent;

// The undo's own directory in the board's directory.
constexpr const char *kKeepDir = "undo";
// Bytes moved at a time where the kernel copies no range between files.
constexpr size_t kCopyChunk = 64 * 1024;
// Names an undo that cannot put everything back gives.
constexpr size_t kLostShown = 3;

constexpr int kOwnOpen = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// What an entry was before the run changed it, and how it was kept.
enum class Was : uint8_t { absent, file, link, dir, other, unknown };
enum class Kept : uint8_t { none, moved, copied };

struct Note {
    std::string canonical;
    Was was = Was::unknown;
    Kept kept = Kept::none;
    std::string target;  // a link's target
    unsigned aside = 0;  // the kept entry's name in the keep directory
    // A copy's mode, owner and times, set when it goes back.
    struct stat st {};
};

struct Undo {
    bool on = false;
    SimFd board;                  // the board's directory, holding
    SimFd keep;                   // the keep directory, for the run
    unsigned nextAside = 0;
    std::vector<Note> notes;      // in the order the changes were made
    std::set<std::string> noted;  // the first note of an entry is what it was
};

Undo g_undo;

bool board_own(const std::string &canonical) { return canonical == "/.sim" || canonical.starts_with("/.sim/"); }

bool read_target(int dir, const char *name, std::string &out)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlinkat(dir, name, target, sizeof target);
    if (n < 0 || static_cast<size_t>(n) == sizeof target)
        return false;
    out.assign(target, static_cast<size_t>(n));
    return true;
}

std::string aside_name(unsigned aside) { return std::to_string(aside); }

// Copies `size` bytes of `from` into `to` at the same offsets, region of
// data by region (SEEK_DATA, SEEK_HOLE), so a hole is never written; the
// kernel copies each region where it can. 0 or -errno.
int copy_range(int from, int to, off_t at, off_t end)
{
    while (at < end) {
        loff_t in = at, out = at;
        ssize_t n = ::copy_file_range(from, &in, to, &out, static_cast<size_t>(end - at), 0);
        if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            char buf[kCopyChunk];
            n = ::pread(from, buf, std::min<size_t>(sizeof buf, static_cast<size_t>(end - at)), at);
            if (n > 0 && ::pwrite(to, buf, static_cast<size_t>(n), at) != n)
                return errno ? -errno : -EIO;
        }
        if (n < 0)
            return -errno;
        if (n == 0)
            return 0;  // the file ended early: the length below says what it was
        at += n;
    }
    return 0;
}

int copy_extents(int from, int to, off_t size)
{
    if (::ftruncate(to, 0) < 0)
        return -errno;
    for (off_t at = 0; at < size;) {
        off_t data = ::lseek(from, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            break;  // nothing but a hole up to the end
        off_t hole = data < 0 ? size : ::lseek(from, data, SEEK_HOLE);
        if (data < 0)
            data = at;  // a file system that knows no holes: all of it is data
        if (hole < 0)
            return -errno;
        if (int r = copy_range(from, to, data, std::min(hole, size)); r < 0)
            return r;
        at = hole;
    }
    return ::ftruncate(to, size) < 0 ? -errno : 0;
}

// A plain file's copy in the keep directory, through its directory and
// never following a link. 0, or -errno (EACCES when it may not be read).
int keep_copy(int dir, const char *name, Note &n)
{
    const SimFd from(::openat(dir, name, O_RDONLY | kOwnOpen));
    struct stat st;
    if (from.fd < 0 || ::fstat(from.fd, &st) < 0)
        return -errno;
    if (!S_ISREG(st.st_mode))
        return -EAGAIN;  // replaced since it was looked at
    const unsigned aside = g_undo.nextAside++;
    const SimFd to(::openat(g_undo.keep.fd, aside_name(aside).c_str(), O_WRONLY | O_CREAT | O_EXCL | kOwnOpen, 0600));
    if (to.fd < 0)
        return -errno;
    if (int r = copy_extents(from.fd, to.fd, st.st_size); r < 0) {
        ::unlinkat(g_undo.keep.fd, aside_name(aside).c_str(), 0);
        return r;
    }
    n.kept = Kept::copied;
    n.aside = aside;
    n.st = st;
    return 0;
}

// The file itself into the keep directory, an empty file with its mode
// (and, where this user may, its owner) in its place. 0 or -errno.
int keep_moved(int dir, const char *name, const struct stat &was, Note &n)
{
    const unsigned aside = g_undo.nextAside++;
    const std::string kept = aside_name(aside);
    if (::renameat2(dir, name, g_undo.keep.fd, kept.c_str(), RENAME_NOREPLACE) < 0)
        return -errno;
    const SimFd fd(::openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | kOwnOpen, 0600));
    if (fd.fd >= 0) {
        if (::fchown(fd.fd, was.st_uid, was.st_gid) < 0) {
            // Another user's file (this one is not root): the empty file stays ours.
        }
        if (::fchmod(fd.fd, was.st_mode & 07777) == 0) {
            n.kept = Kept::moved;
            n.aside = aside;
            return 0;
        }
    }
    const int err = errno;
    if (fd.fd >= 0)
        ::unlinkat(dir, name, 0);
    ::renameat2(g_undo.keep.fd, kept.c_str(), dir, name, RENAME_NOREPLACE);
    return -err;
}

// A link to the entry itself in the keep directory (no byte read); a
// plain file that cannot be linked (another file system, a link count at
// its limit, a kernel that protects others' files) is copied. 0 or -errno.
int keep_linked(int dir, const char *name, const struct stat &was, Note &n)
{
    const unsigned aside = g_undo.nextAside++;
    if (::linkat(dir, name, g_undo.keep.fd, aside_name(aside).c_str(), 0) == 0) {
        n.kept = Kept::moved;
        n.aside = aside;
        return 0;
    }
    return S_ISREG(was.st_mode) ? keep_copy(dir, name, n) : -errno;
}

// Notes what the entry is and keeps a file or other entry there as `how`
// needs. 0 or -errno.
int look(const std::string &canonical, UndoKeep how, Note &n)
{
    n.canonical = canonical;
    Parent p;
    struct stat st;
    int r = simk::open_parent(canonical, p);
    if (r == 0 && ::fstatat(p.dir.fd, p.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) < 0)
        r = -errno;
    if (r == -ENOENT || r == -ENOTDIR) {
        n.was = Was::absent;
        return 0;
    }
    if (r < 0)
        return 0;  // unknown: nothing to put back, the change fails the same way
    const int dir = p.dir.fd;
    const char *name = p.name.c_str();
    n.st = st;
    if (S_ISDIR(st.st_mode)) {
        n.was = Was::dir;
        return 0;
    }
    if (S_ISLNK(st.st_mode)) {
        n.was = read_target(dir, name, n.target) ? Was::link : Was::unknown;
        return 0;
    }
    n.was = S_ISREG(st.st_mode) ? Was::file : Was::other;
    if (how != UndoKeep::none && g_undo.keep.fd < 0)
        return -EACCES;
    switch (how) {
    case UndoKeep::none:
        return 0;
    case UndoKeep::truncate:
        r = n.was == Was::file ? keep_moved(dir, name, st, n) : -EACCES;
        if (r < 0 && n.was == Was::file)  // another file system in between, a directory that may not be written
            r = keep_copy(dir, name, n);
        break;
    case UndoKeep::inPlace:
        r = n.was == Was::file ? keep_copy(dir, name, n) : -EACCES;
        break;
    case UndoKeep::replace:
        r = keep_linked(dir, name, st, n);
        break;
    case UndoKeep::moves:
        r = n.was == Was::file ? keep_copy(dir, name, n) : -EACCES;
        if (r < 0)
            r = keep_linked(dir, name, st, n);
        break;
    }
    return r < 0 ? -EACCES : 0;
}

// Removes the entry itself: a file, a link, or a directory when empty.
bool remove_entry(int dir, const char *name)
{
    if (::unlinkat(dir, name, 0) == 0 || errno == ENOENT)
        return true;
    return errno == EISDIR && ::unlinkat(dir, name, AT_REMOVEDIR) == 0;
}

// A copy's mode, owner and times, set on it before it goes back.
bool restamp(int fd, const struct stat &st)
{
    if (::fchown(fd, st.st_uid, st.st_gid) < 0) {
        // Another user's file (this one is not root): the copy stays ours.
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    return ::fchmod(fd, st.st_mode & 07777) == 0 && ::futimens(fd, times) == 0;
}

// A copy's bytes written into the file at the path, where the kept entry
// cannot be renamed there: in place while it is a plain file of its own,
// else in a new file made in its place.
bool copy_back(int dir, const char *name, const Note &n, const struct stat *now)
{
    if (now != nullptr && !(S_ISREG(now->st_mode) && now->st_nlink == 1) && !remove_entry(dir, name))
        return false;
    const SimFd from(::openat(g_undo.keep.fd, aside_name(n.aside).c_str(), O_RDONLY | kOwnOpen));
    const SimFd to(::openat(dir, name, O_WRONLY | O_CREAT | kOwnOpen, 0600));
    struct stat st;
    return from.fd >= 0 && to.fd >= 0 && ::fstat(to.fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
           copy_extents(from.fd, to.fd, n.st.st_size) == 0 && restamp(to.fd, n.st);
}

// The kept entry back at its name: renamed over whatever is there (a
// directory there, empty by now, removed first), or its bytes copied.
bool put_kept(int dir, const char *name, const Note &n, const struct stat *now)
{
    const std::string kept = aside_name(n.aside);
    if (n.kept == Kept::copied) {
        const SimFd fd(::openat(g_undo.keep.fd, kept.c_str(), O_RDONLY | kOwnOpen));
        if (fd.fd < 0 || !restamp(fd.fd, n.st))
            return false;
    }
    if (now != nullptr && S_ISDIR(now->st_mode) && !remove_entry(dir, name))
        return false;
    if (::renameat(g_undo.keep.fd, kept.c_str(), dir, name) == 0)
        return true;
    return n.kept == Kept::copied && copy_back(dir, name, n, now != nullptr && S_ISDIR(now->st_mode) ? nullptr : now);
}

bool put_back(const Note &n)
{
    Parent p;
    if (int r = simk::open_parent(n.canonical, p); r < 0)
        return n.was == Was::absent && (r == -ENOENT || r == -ENOTDIR);
    const int dir = p.dir.fd;
    const char *name = p.name.c_str();
    struct stat now;
    const bool there = ::fstatat(dir, name, &now, AT_SYMLINK_NOFOLLOW) == 0;
    if (n.kept != Kept::none)
        return put_kept(dir, name, n, there ? &now : nullptr);
    std::string target;
    switch (n.was) {
    case Was::absent:
        return !there || remove_entry(dir, name);
    case Was::dir:
        if (there && S_ISDIR(now.st_mode))
            return true;
        return (!there || remove_entry(dir, name)) && ::mkdirat(dir, name, n.st.st_mode & 07777) == 0;
    case Was::link:
        if (there && S_ISLNK(now.st_mode) && read_target(dir, name, target) && target == n.target)
            return true;
        return (!there || remove_entry(dir, name)) && ::symlinkat(n.target.c_str(), dir, name) == 0;
    case Was::file:
    case Was::other:
        // Never changed (noted by a change that leaves what is there alone).
        return there && (now.st_mode & S_IFMT) == (n.st.st_mode & S_IFMT);
    case Was::unknown:
        break;
    }
    return true;
}

// The keep directory and all it holds gone.
void drop_kept()
{
    if (g_undo.keep.fd >= 0)
        sim_remove_tree(g_undo.board.fd, kKeepDir);
    g_undo = Undo{};
}

} // namespace

void sim_undo_begin(int simDirFd)
{
    simk::Guard g;
    drop_kept();
    g_undo.on = true;
    if (simDirFd < 0)
        return;
    sim_remove_tree(simDirFd, kKeepDir);
    if (::mkdirat(simDirFd, kKeepDir, 0700) < 0)
        return;
    SimFd keep(::openat(simDirFd, kKeepDir, O_RDONLY | O_DIRECTORY | kOwnOpen));
    struct stat st;
    if (keep.fd < 0 || ::fstat(keep.fd, &st) < 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
        return;
    g_undo.board.reset(::fcntl(simDirFd, F_DUPFD_CLOEXEC, 0));
    if (g_undo.board.fd >= 0)
        g_undo.keep = std::move(keep);
}

int sim_undo_note(const std::string &canonical, UndoKeep how)
{
    simk::Guard g;
    if (!g_undo.on || board_own(canonical) || g_undo.noted.contains(canonical))
        return 0;
    Note n;
    if (int r = look(canonical, how, n); r < 0)
        return r;
    // A change that leaves what is there alone notes only an absent entry:
    // a later change of a file there keeps it then.
    if (how == UndoKeep::none && n.was != Was::absent)
        return 0;
    g_undo.noted.insert(canonical);
    g_undo.notes.push_back(std::move(n));
    return 0;
}

void sim_undo_cancel(const std::string &canonical)
{
    simk::Guard g;
    if (g_undo.notes.empty() || g_undo.notes.back().canonical != canonical || g_undo.notes.back().kept != Kept::moved ||
        g_undo.notes.back().was != Was::file)
        return;
    if (put_back(g_undo.notes.back())) {
        g_undo.noted.erase(canonical);
        g_undo.notes.pop_back();
    }
}

bool sim_undo_restore(std::string &error)
{
    simk::Guard g;
    if (!g_undo.on)
        return true;
    std::vector<std::string> lost;  // the changes that stay, last made first
    for (auto n = g_undo.notes.rbegin(); n != g_undo.notes.rend(); ++n)
        if (!put_back(*n))
            lost.push_back(n->canonical.substr(1));
    drop_kept();
    if (lost.empty())
        return true;
    error = "could not put back " + std::to_string(lost.size()) + (lost.size() == 1 ? " entry:" : " entries:");
    for (auto rel = lost.rbegin(); rel != lost.rend() && rel - lost.rbegin() < static_cast<long>(kLostShown); ++rel)
        error += " " + sim_escape(*rel);
    return false;
}

void sim_undo_end()
{
    simk::Guard g;
    drop_kept();
}
