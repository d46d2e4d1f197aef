// Reading the kernel command line.
#include "boardlib/plov_cmdline.h"

#include <fcntl.h>

#include <cstring>

namespace {

// Read until the line ends, the file ends or `line` is full: the length
// read, or -1.
ssize_t read_line(int fd, char *line, size_t size)
{
    size_t len = 0;
    while (len < size) {
        ssize_t got = host().read(fd, line + len, size - len);
        if (got < 0)
            return -1;
        if (got == 0 || std::memchr(line + len, '\n', static_cast<size_t>(got)) != nullptr)
            return static_cast<ssize_t>(len + static_cast<size_t>(got));
        len += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(len);
}

}  // namespace

PlovStatus PlovReadCmdline(char *line, size_t size)
{
    if (line == nullptr || size == 0)
        return PLOV_ERR_NULL_PTR;
    int fd = host_open(PLOV_CMDLINE_PATH, O_RDONLY);
    if (fd < 0)
        return PLOV_ERR_OPEN;
    ssize_t got = read_line(fd, line, size);
    host().close(fd);
    if (got < 0)
        return PLOV_ERR_READ;
    const size_t len = static_cast<size_t>(got);
    const char *nl = static_cast<const char *>(std::memchr(line, '\n', len));
    const size_t end = nl != nullptr ? static_cast<size_t>(nl - line) + 1 : len;
    if (end >= size) {   // no room for the terminator: the line did not fit
        line[0] = '\0';
        return PLOV_ERR_READ;
    }
    line[end] = '\0';
    return PLOV_OK;
}
