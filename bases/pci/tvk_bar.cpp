#include "bases/pci/tvk_bar.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "bases/host/host.h"
#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"
#include "kelvo/kelvo.h"

namespace {

constexpr int kResPathLen = 256;
constexpr int kResLineLen = 512;

// The resource file of a function in one path form; -911 when it cannot be
// formatted or does not fit.
int format_res_path(char *buf, int buflen, bool domain, unsigned bus, unsigned devfn)
{
    auto room = static_cast<size_t>(buflen);
    unsigned b = bus & 0xFF, d = (devfn & 0xFF) >> 3;
    int f = static_cast<int>(devfn & 7);
    int n = domain ? snprintf_s(buf, room, room - 1, "%s/%04x:%02x:%02x.%d/resource", TVK_SYS_PCI_DIR, 0u, b, d, f)
                   : snprintf_s(buf, room, room - 1, "%s/%02x:%02x.%d/resource", TVK_SYS_PCI_DIR, b, d, f);
    return n < 0 || n >= buflen ? TVK_E_PATH : TVK_OK;
}

// One mapping of `len` bytes at `offset` of `path`, handed to `copy`, then
// released. The mapping length is reckoned in 64 bits so that no length can
// wrap to a single page.
template <typename Copy>
int with_mapping(const char *path, int64_t offset, uint32_t len, bool write, Copy copy)
{
    int fd = host_open(path, write ? O_RDWR : O_RDONLY);
    if (fd < 0)
        return TVK_E_MAP_OPEN;
    auto page = static_cast<int64_t>(host().pagesize());
    int64_t base = offset >= 0 ? offset / page * page : -1;
    uint64_t delta = static_cast<uint64_t>(offset - base);
    uint64_t span = (len + delta + static_cast<uint64_t>(page) - 1) / static_cast<uint64_t>(page) *
                    static_cast<uint64_t>(page);
    void *map = MAP_FAILED;
    if (base >= 0) {
        int prot = write ? PROT_READ | PROT_WRITE : PROT_READ;
        map = host().mmap(nullptr, span, prot, write ? MAP_SHARED : MAP_PRIVATE, fd, static_cast<off_t>(base));
    } else {
        errno = EINVAL;
    }
    if (map == MAP_FAILED) {
        int err = errno;
        TVK_ERR("Fail to mmap %s at 0x%lx for 0x%x bytes, errno=%d, %s\n", path, static_cast<long>(offset), len, err,
                std::strerror(err));
        host().close(fd);
        return TVK_E_MAP;
    }
    copy(static_cast<uint8_t *>(map) + delta);
    host().munmap(map, span);
    host().close(fd);
    return TVK_OK;
}

struct BarRange {
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t flags = 0;
    char path[kResPathLen] = {};
};

// Steps shared by a BAR read and write: the resource path, the BAR's line,
// and the offset checked against the span.
int bar_lookup(unsigned bus, unsigned devfn, uint8_t bar, uint32_t len, int offset, BarRange &r, bool debug)
{
    int ret = tvk_get_res_path(bus, devfn, r.path, kResPathLen);
    if (ret != TVK_OK) {
        TVK_ERR("Cannot get bar%d res path, ret=%d\n", bar, ret);
        return ret;
    }
    ret = tvk_get_bar_info(r.path, bar, &r.start, &r.end, &r.flags);
    if (ret != TVK_OK) {
        TVK_ERR("Cannot get bar%d res info, ret=%d\n", bar, ret);
        return ret;
    }
    if (debug)
        TVK_DBG("BAR%d [0x%08llx --> 0x%08llx] - 0x%08llx\n", bar, static_cast<unsigned long long>(r.start),
                static_cast<unsigned long long>(r.end), static_cast<unsigned long long>(r.flags));
    if (len == 0)
        return TVK_E_INVAL;
    uint64_t span = r.end - r.start;
    if (offset < 0 || static_cast<uint64_t>(offset) > span) {
        TVK_ERR("Offset[%d] out of range[0 ~ 0x%04llx]\n", offset, static_cast<unsigned long long>(span));
        return TVK_E_RANGE;
    }
    return TVK_OK;
}

// The per-BAR resource file ("resource" followed by the index).
int bar_file(const BarRange &r, uint8_t bar, char *out, int outlen)
{
    auto room = static_cast<size_t>(outlen);
    int n = snprintf_s(out, room, room - 1, "%s%d", r.path, static_cast<int>(bar));
    return n < 0 || n >= outlen ? TVK_E_PATH : TVK_OK;
}

int64_t bar_file_offset(const BarRange &r, int offset)
{
    return static_cast<int64_t>(offset) + static_cast<int64_t>(r.start % static_cast<uint64_t>(host().pagesize()));
}

bool is_io(const BarRange &r) { return (r.flags & 1) != 0; }

// Port access needs the privilege first; without it no port is touched.
int bar_io(const BarRange &r, uint8_t *buf, uint32_t len, int offset, uint32_t dir)
{
    int ret = tvk_io_enable();
    if (ret == 0)
        ret = tvk_io_byte_rw(static_cast<int>((r.start + static_cast<uint64_t>(offset)) & 0xFFFF), buf,
                             static_cast<uint16_t>(len), dir);
    return ret;
}

} // namespace

int tvk_get_res_path(unsigned bus, unsigned devfn, char *buf, int buflen)
{
    if (buf == nullptr) {
        TVK_ERR("Null pointer detected\n");
        return TVK_E_NULL;
    }
    if (buflen < 1) {
        TVK_ERR("Invalid buffer len[%d]\n", buflen);
        return TVK_E_INVAL;
    }
    for (bool domain : {false, true}) {
        int ret = format_res_path(buf, buflen, domain, bus, devfn);
        if (ret != TVK_OK)
            return ret;
        if (host().access(buf, F_OK) == 0)
            return TVK_OK;
    }
    return TVK_E_OPEN;
}

int tvk_get_bar_info(const char *path, uint8_t bar, uint64_t *start, uint64_t *end, uint64_t *flags)
{
    if (path == nullptr || start == nullptr || end == nullptr || flags == nullptr)
        return TVK_E_NULL;
    if (bar > TVK_BAR_ROM)
        return TVK_E_INVAL;
    FILE *fp = host().fopen(path, "r");
    if (fp == nullptr)
        return TVK_E_OPEN;
    char line[kResLineLen];
    int ret = TVK_E_RANGE;
    for (int i = 0; std::fgets(line, sizeof line, fp) != nullptr; i++) {
        if (i != bar)
            continue;
        unsigned long long s = 0, e = 0, f = 0;
        int n = sscanf_s(line, "%llx %llx %llx", &s, &e, &f);
        if (n < 3) {
            TVK_ERR("Cannot sscanf_s resource[%d] info, iRet=%d\n", bar, n);
            ret = TVK_E_SHORT;
        } else {
            *start = s;
            *end = e;
            *flags = f;
            ret = TVK_OK;
        }
        break;
    }
    std::fclose(fp);
    return ret;
}

int tvk_mmap_read(const char *path, int64_t offset, uint32_t len, void *buf)
{
    if (len == 0 || path == nullptr || buf == nullptr)
        return TVK_E_NULL;
    std::memset(buf, 0, len);
    return with_mapping(path, offset, len, false, [&](const uint8_t *at) { memcpy_s(buf, len, at, len); });
}

int tvk_mmap_write(const char *path, int64_t offset, uint32_t len, const void *buf)
{
    if (len == 0 || path == nullptr || buf == nullptr)
        return TVK_E_NULL;
    return with_mapping(path, offset, len, true, [&](uint8_t *at) { memcpy_s(at, len, buf, len); });
}

int tvk_io_byte_rw(int port, uint8_t *buf, uint16_t count, uint32_t dir)
{
    if (port < 0 || port > 0xFFFF)
        return TVK_E_RANGE;
    if (dir > 1 || count == 0 || buf == nullptr)
        return TVK_E_INVAL;
    for (uint16_t i = 0; i < count; i++) {
        auto at = static_cast<uint16_t>(port + i);
        if (dir == 0)
            buf[i] = host().inb(at);
        else
            host().outb(buf[i], at);
    }
    return TVK_OK;
}

int tvk_bar_read(unsigned bus, unsigned devfn, uint8_t bar, uint8_t *buf, uint32_t len, int offset)
{
    BarRange r;
    int ret = bar_lookup(bus, devfn, bar, len, offset, r, true);
    if (ret != TVK_OK)
        return ret;
    uint64_t span = r.end - r.start;
    if (static_cast<uint64_t>(offset) + len - 1 > span) {
        TVK_ERR("Read %d Bytes from 0x%x is too long for BAR%d\n", static_cast<int>(len), static_cast<unsigned>(offset),
                bar);
        len = static_cast<uint32_t>(span + 1 - static_cast<uint64_t>(offset));
    }
    if (is_io(r)) {
        ret = bar_io(r, buf, len, offset, 0);
        if (ret != TVK_OK) {
            TVK_ERR("io read failed, ret=%d\n", ret);
            return TVK_E_IO;
        }
        return TVK_OK;
    }
    char file[kResPathLen + 4];
    ret = bar_file(r, bar, file, sizeof file);
    if (ret == TVK_OK)
        ret = tvk_mmap_read(file, bar_file_offset(r, offset), len, buf);
    if (ret != TVK_OK) {
        TVK_ERR("mmap read failed, ret=%d\n", ret);
        return TVK_E_IO;
    }
    return TVK_OK;
}

int tvk_bar_write(unsigned bus, unsigned devfn, uint8_t bar, const uint8_t *buf, uint32_t len, int offset)
{
    BarRange r;
    int ret = bar_lookup(bus, devfn, bar, len, offset, r, false);
    if (ret != TVK_OK)
        return ret;
    if (static_cast<uint64_t>(offset) + len - 1 > r.end - r.start) {
        TVK_ERR("Write %d Bytes offset 0x%x is too long for BAR%d\n", static_cast<int>(len),
                static_cast<unsigned>(offset), bar);
        return TVK_E_RANGE;
    }
    if (is_io(r)) {
        ret = bar_io(r, const_cast<uint8_t *>(buf), len, offset, 1);
        if (ret != TVK_OK) {
            TVK_ERR("io write failed, ret=%d\n", ret);
            return TVK_E_IO;
        }
        return TVK_OK;
    }
    char file[kResPathLen + 4];
    ret = bar_file(r, bar, file, sizeof file);
    if (ret == TVK_OK)
        ret = tvk_mmap_write(file, bar_file_offset(r, offset), len, buf);
    if (ret != TVK_OK) {
        TVK_ERR("Fail to write buf to device[%02x:%02x.%x] BAR reg[0x%x], ret=%d\n", bus & 0xFF, (devfn & 0xFF) >> 3,
                devfn & 7, static_cast<unsigned>(offset), ret);
        return ret;
    }
    return TVK_OK;
}
