#include "sim/root_undo.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "sim/kernel.h"
#include "sim/kit/sim_doc.h"

namespace {

using simk::Parent;

// What an entry was before the run changed it.
enum class Was : uint8_t { absent, file, link, dir, other, unknown };

struct Note {
    std::string canonical;
    Was was = Was::unknown;
    mode_t mode = 0;          // st_mode as it was
    timespec times[2] = {};   // a file's access and modification times
    std::string bytes;        // a file's content, a link's target
};

struct Undo {
    bool on = false;
    std::vector<Note> notes;      // in the order the changes were made
    std::set<std::string> noted;  // the first note of an entry is what it was
};

Undo g_undo;

bool board_own(const std::string &canonical) { return canonical == "/.sim" || canonical.starts_with("/.sim/"); }

// A plain file's bytes, read through its directory, never following a link.
bool read_bytes(int dir, const char *name, std::string &out)
{
    SimFd fd(::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st;
    return fd.fd >= 0 && ::fstat(fd.fd, &st) == 0 && S_ISREG(st.st_mode) && sim_read_all(fd.fd, out) == 0;
}

bool read_target(int dir, const char *name, std::string &out)
{
    char target[PATH_MAX];
    const ssize_t n = ::readlinkat(dir, name, target, sizeof target);
    if (n < 0 || static_cast<size_t>(n) == sizeof target)
        return false;
    out.assign(target, static_cast<size_t>(n));
    return true;
}

Note look(const std::string &canonical)
{
    Note n;
    n.canonical = canonical;
    Parent p;
    struct stat st;
    int r = simk::open_parent(canonical, p);
    if (r == 0 && ::fstatat(p.dir.fd, p.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) < 0)
        r = -errno;
    if (r == -ENOENT || r == -ENOTDIR) {
        n.was = Was::absent;
        return n;
    }
    if (r < 0)
        return n;
    n.mode = st.st_mode;
    if (S_ISREG(st.st_mode)) {
        n.times[0] = st.st_atim;
        n.times[1] = st.st_mtim;
        n.was = read_bytes(p.dir.fd, p.name.c_str(), n.bytes) ? Was::file : Was::unknown;
    } else if (S_ISLNK(st.st_mode)) {
        n.was = read_target(p.dir.fd, p.name.c_str(), n.bytes) ? Was::link : Was::unknown;
    } else {
        n.was = S_ISDIR(st.st_mode) ? Was::dir : Was::other;
    }
    return n;
}

// Removes the entry itself: a file, a link, or a directory when empty.
bool remove_entry(int dir, const char *name)
{
    if (::unlinkat(dir, name, 0) == 0 || errno == ENOENT)
        return true;
    return errno == EISDIR && ::unlinkat(dir, name, AT_REMOVEDIR) == 0;
}

// A file's bytes, mode and times back: written in place while it is a
// plain file of its own, else in a new file made in its place.
bool put_file(int dir, const char *name, const Note &n, const struct stat *now)
{
    if (now != nullptr && !(S_ISREG(now->st_mode) && now->st_nlink == 1) && !remove_entry(dir, name))
        return false;
    const mode_t perms = n.mode & 07777;
    SimFd fd(::openat(dir, name, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, perms));
    struct stat st;
    return fd.fd >= 0 && ::fstat(fd.fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
           ::ftruncate(fd.fd, 0) == 0 && sim_write_all(fd.fd, n.bytes) == 0 && ::fchmod(fd.fd, perms) == 0 &&
           ::futimens(fd.fd, n.times) == 0;
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
    std::string target;
    switch (n.was) {
    case Was::absent:
        return !there || remove_entry(dir, name);
    case Was::dir:
        if (there && S_ISDIR(now.st_mode))
            return true;
        return (!there || remove_entry(dir, name)) && ::mkdirat(dir, name, n.mode & 07777) == 0;
    case Was::link:
        if (there && S_ISLNK(now.st_mode) && read_target(dir, name, target) && target == n.bytes)
            return true;
        return (!there || remove_entry(dir, name)) && ::symlinkat(n.bytes.c_str(), dir, name) == 0;
    case Was::file:
        return put_file(dir, name, n, there ? &now : nullptr);
    case Was::other:
        return there && (now.st_mode & S_IFMT) == (n.mode & S_IFMT);
    case Was::unknown:
        break;
    }
    return true;
}

} // namespace

void sim_undo_begin()
{
    g_undo = Undo{};
    g_undo.on = true;
}

void sim_undo_note(const std::string &canonical)
{
    if (!g_undo.on || board_own(canonical) || !g_undo.noted.insert(canonical).second)
        return;
    g_undo.notes.push_back(look(canonical));
}

bool sim_undo_restore(std::string &error)
{
    simk::Guard g;
    if (!g_undo.on)
        return true;
    std::vector<std::string> lost;
    for (auto n = g_undo.notes.rbegin(); n != g_undo.notes.rend(); ++n)
        if (!put_back(*n))
            lost.push_back(n->canonical.substr(1));
    g_undo = Undo{};
    if (lost.empty())
        return true;
    error = "could not put back";
    for (auto rel = lost.rbegin(); rel != lost.rend(); ++rel)
        error += " " + *rel;
    return false;
}

void sim_undo_end() { g_undo = Undo{}; }
