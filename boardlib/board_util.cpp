// The kernel command line and the DORN port-property mapping.
#include "boardlib/board_util.h"

#include <fcntl.h>

#include <cstring>

#include "bases/host/host.h"

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

PlovStatus BoardReadCmdline(char *line, size_t size)
{
    if (line == nullptr || size == 0)
        return PLOV_ERR_NULL_PTR;
    int fd = host_open(BOARD_CMDLINE_PATH, O_RDONLY);
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

namespace {

// One row per mapped (LOC, TYPE): the offset added to the id, on FPGA 0
// and on the sbuf FPGA.
struct PortProRow {
    uint32_t loc;
    uint32_t type;
    uint8_t addTrans;
    uint8_t addSbuf;
};
constexpr PortProRow kPortPro[] = {
    {0, 0, 0, 0}, {0, 2, 0, 0}, {0, 3, 2, 2}, {0, 5, 8, 4}, {1, 0, 8, 8}, {1, 3, 6, 6},
};

}  // namespace

bool BoardPortProToPort(FpgaId fpga, const PortPro &pro, uint8_t *port)
{
    for (const PortProRow &row : kPortPro) {
        if (row.loc == pro.LOC && row.type == pro.TYPE) {
            *port = static_cast<uint8_t>(pro.ID + (fpga == 0 ? row.addTrans : row.addSbuf));
            return true;
        }
    }
    return false;
}
