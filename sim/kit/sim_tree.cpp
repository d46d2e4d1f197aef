#include "sim/kit/sim_tree.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "sim/kit/sim_fd.h"

namespace {

constexpr int kOwnOpen = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Removes the files of a directory up to its first directory, named in
// `subdir` ("" when it holds none). 0 or an errno.
int remove_files(int dirFd, std::string &subdir)
{
    DIR *dir = ::fdopendir(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir == nullptr)
        return errno;
    int err = 0;
    subdir.clear();
    while (const dirent *e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == ".." || ::unlinkat(dirFd, e->d_name, 0) == 0 || errno == ENOENT)
            continue;
        if (errno == EISDIR)
            subdir = name;
        else
            err = errno;
        break;
    }
    ::closedir(dir);
    return err;
}

// A directory in `dirFd` opened for its removal, following no link and
// on the device `dev` (the first one opened gives it): one its user may
// not read, search or write is first made so (it is the user's own, in
// the board's directory). The descriptor, or -1 with errno.
int open_to_remove(int dirFd, const char *name, dev_t &dev, bool first)
{
    SimFd fd(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | kOwnOpen));
    if (fd.fd < 0 && errno == EACCES && ::fchmodat(dirFd, name, S_IRWXU, AT_SYMLINK_NOFOLLOW) == 0)
        fd.reset(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | kOwnOpen));
    struct stat st {};
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0)
        return -1;
    if (first)
        dev = st.st_dev;
    if (st.st_dev != dev) {
        errno = EXDEV;
        return -1;
    }
    if ((st.st_mode & S_IRWXU) != S_IRWXU && ::fchmod(fd.fd, S_IRWXU) != 0)
        return -1;
    return fd.release();
}

} // namespace

int sim_remove_tree(int parentFd, const char *name)
{
    if (::unlinkat(parentFd, name, 0) == 0 || errno == ENOENT)
        return 0;
    if (errno != EISDIR)
        return errno;
    dev_t dev = 0;
    SimFd cur(open_to_remove(parentFd, name, dev, true));
    if (cur.fd < 0)
        return errno;
    std::vector<std::string> down;  // from `name` to the directory open
    for (;;) {
        std::string sub;
        if (const int err = remove_files(cur.fd, sub))
            return err;
        if (!sub.empty()) {
            SimFd next(open_to_remove(cur.fd, sub.c_str(), dev, false));
            if (next.fd < 0)
                return errno;
            down.push_back(std::move(sub));
            cur = std::move(next);
            continue;
        }
        if (down.empty())
            break;
        SimFd up(::openat(cur.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (up.fd < 0 || ::unlinkat(up.fd, down.back().c_str(), AT_REMOVEDIR) != 0)
            return errno;
        down.pop_back();
        cur = std::move(up);
    }
    cur.reset();
    return ::unlinkat(parentFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT ? 0 : errno;
}
