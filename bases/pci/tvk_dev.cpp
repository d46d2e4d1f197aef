#include "bases/pci/tvk_dev.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#include "bases/drv/mch_esb_drv.h"
#include "bases/host/host.h"
#include "bases/pci/tvk_log.h"
#include "kelvo/kelvo.h"

namespace {

constexpr uint32_t kConfEnd = 0x100;
constexpr uint32_t kExtEnd = 0x1000;

// Little-endian bytes of a value and back.
void put_le(uint8_t *out, uint32_t value, int width)
{
    for (int i = 0; i < width; i++)
        out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t get_le(const uint8_t *in, int width)
{
    uint32_t v = 0;
    for (int i = 0; i < width; i++)
        v |= static_cast<uint32_t>(in[i]) << (8 * i);
    return v;
}

} // namespace

// ---- per-function files -------------------------------------------------------------------

int tvk_dev_open(const char *dir, unsigned bus, unsigned devfn, int flags)
{
    if (dir == nullptr) {
        TVK_ERR("Null pointer detected\n");
        return TVK_E_NULL;
    }
    char path[256];
    int n = snprintf_s(path, sizeof path, sizeof path - 1, "%s/%02x/%02x.%d", dir, bus8(bus), dev5(devfn),
                       static_cast<int>(fn3(devfn)));
    if (n < 0)
        return TVK_E_PATH;
    TVK_DBG("Opening pci dev %s\n", path);
    int fd = host_open(path, flags);
    if (fd >= 0)
        return fd;
    n = snprintf_s(path, sizeof path, sizeof path - 1, "%s/%04x:%02x/%02x.%d", dir, 0u, bus8(bus), dev5(devfn),
                   static_cast<int>(fn3(devfn)));
    if (n < 0)
        return TVK_E_PATH;
    fd = host_open(path, flags);
    if (fd >= 0)
        return fd;
    int err = errno;
    TVK_ERR("Cannot open pci dev %s, errno=%d, %s\n", path, err, std::strerror(err));
    return TVK_E_OPEN;
}

void tvk_dev_close(int fd)
{
    TVK_DBG("Close pci dev file\n");
    host().close(fd);
}

namespace {

// Opens the function's file, moves `len` bytes at `offset` in one direction,
// judges the count and closes.
int dev_transfer(unsigned bus, unsigned devfn, void *rbuf, const void *wbuf, int len, int offset)
{
    if (rbuf == nullptr && wbuf == nullptr)
        return TVK_E_NULL;
    if (len < 0 || offset < 0)
        return TVK_E_INVAL;
    int fd = tvk_dev_open(TVK_PROC_PCI_DIR, bus, devfn, O_RDWR);
    if (fd < 0)
        return fd;
    const auto count = static_cast<size_t>(len);
    ssize_t r = rbuf ? host().pread(fd, rbuf, count, offset) : host().pwrite(fd, wbuf, count, offset);
    int err = errno;
    int status = TVK_OK;
    if (r < 0) {
        if (rbuf)
            TVK_ERR("pread[%02x:%02x.%x] at %d for %dB failed, ret=%d, errno=%d, %s\n", bus8(bus), dev5(devfn),
                    fn3(devfn), offset, len, static_cast<int>(r), err, std::strerror(err));
        else
            TVK_ERR("write[%02x:%02x.%x] at %d for %dB failed, ret=%d, errno=%d, %s\n", bus8(bus), dev5(devfn),
                    fn3(devfn), offset, len, static_cast<int>(r), err, std::strerror(err));
        status = TVK_E_IO;
    } else if (static_cast<size_t>(r) < count) {
        if (rbuf)
            TVK_WARN("tried to read[%02x:%02x.%x] at %d for %dB, but only %dB succeed\n", bus8(bus), dev5(devfn),
                     fn3(devfn), offset, len, static_cast<int>(r));
        else
            TVK_ERR("tried to write[%02x:%02x.%x] at %d for %dB, but only %d succeed\n", bus8(bus), dev5(devfn),
                    fn3(devfn), offset, len, static_cast<int>(r));
        status = TVK_E_SHORT;
    }
    tvk_dev_close(fd);
    return status;
}

} // namespace

int tvk_dev_read(unsigned bus, unsigned devfn, void *buf, int len, int offset)
{
    return buf ? dev_transfer(bus, devfn, buf, nullptr, len, offset) : TVK_E_NULL;
}

int tvk_dev_write(unsigned bus, unsigned devfn, const void *buf, int len, int offset)
{
    return buf ? dev_transfer(bus, devfn, nullptr, buf, len, offset) : TVK_E_NULL;
}

int tvk_read_conf_block(unsigned bus, unsigned devfn, void *buf, int len, int offset)
{
    if (len < 0 || offset < 0)
        return TVK_E_INVAL;
    const int64_t end = static_cast<int64_t>(offset) + len;
    const bool extended = offset >= static_cast<int>(kConfEnd);
    if (end > (extended ? kExtEnd : kConfEnd))
        return TVK_E_INVAL;
    int r = tvk_dev_read(bus, devfn, buf, len, offset);
    return extended && r < 0 ? TVK_E_EXT_READ : r;
}

namespace {

// A read of `width` bytes at an aligned offset into *out.
int read_conf(unsigned bus, unsigned devfn, uint32_t offset, int width, uint32_t &out)
{
    if (offset % static_cast<uint32_t>(width) != 0)
        return TVK_E_INVAL;
    if (offset > INT32_MAX)
        return TVK_E_INVAL;
    uint8_t bytes[4] = {};
    int r = tvk_read_conf_block(bus, devfn, bytes, width, static_cast<int>(offset));
    if (r == TVK_OK)
        out = get_le(bytes, width);
    return r;
}

int write_conf(unsigned bus, unsigned devfn, uint32_t offset, uint32_t value, int width)
{
    if (offset % static_cast<uint32_t>(width) != 0 || offset > INT32_MAX)
        return TVK_E_INVAL;
    uint8_t bytes[4] = {};
    put_le(bytes, value, width);
    return tvk_dev_write(bus, devfn, bytes, width, static_cast<int>(offset));
}

} // namespace

int tvk_read_conf_byte(unsigned bus, unsigned devfn, uint32_t offset, uint8_t *out)
{
    if (offset > INT32_MAX)
        return TVK_E_INVAL;
    return tvk_dev_read(bus, devfn, out, 1, static_cast<int>(offset));
}

int tvk_read_conf_word(unsigned bus, unsigned devfn, uint32_t offset, uint16_t *out)
{
    if (out == nullptr)
        return TVK_E_NULL;
    uint32_t v = 0;
    int r = read_conf(bus, devfn, offset, 2, v);
    if (r == TVK_OK)
        *out = static_cast<uint16_t>(v);
    return r;
}

int tvk_read_conf_dword(unsigned bus, unsigned devfn, uint32_t offset, uint32_t *out)
{
    if (out == nullptr)
        return TVK_E_NULL;
    return read_conf(bus, devfn, offset, 4, *out);
}

int tvk_write_conf_byte(unsigned bus, unsigned devfn, uint32_t offset, uint8_t value)
{
    return write_conf(bus, devfn, offset, value, 1);
}

int tvk_write_conf_word(unsigned bus, unsigned devfn, uint32_t offset, uint16_t value)
{
    return write_conf(bus, devfn, offset, value, 2);
}

int tvk_write_conf_dword(unsigned bus, unsigned devfn, uint32_t offset, uint32_t value)
{
    return write_conf(bus, devfn, offset, value, 4);
}

// ---- configuration mechanism #1 -------------------------------------------------------------

int tvk_io_enable() { return host().iopl(3); }

namespace {

constexpr uint16_t kConfAddrPort = 0xCF8;
constexpr uint16_t kConfDataPort = 0xCFC;

// A register the mechanism can reach with one address: below 0x100 and
// within one dword at its width.
bool io_reg_ok(uint32_t reg, int width) { return reg < kConfEnd && (reg & 3) + static_cast<uint32_t>(width) <= 4 && reg % static_cast<uint32_t>(width) == 0; }

uint16_t io_select(unsigned bus, unsigned devfn, uint32_t reg)
{
    host().outl(0x80000000u | bus8(bus) << 16 | (devfn & 0xFF) << 8 | (reg & 0xFC), kConfAddrPort);
    return static_cast<uint16_t>(kConfDataPort + (reg & 3));
}

} // namespace

int tvk_io_read_byte(unsigned bus, unsigned devfn, uint32_t reg, uint8_t *out)
{
    if (out == nullptr)
        return TVK_E_NULL;
    if (!io_reg_ok(reg, 1))
        return TVK_E_INVAL;
    *out = host().inb(io_select(bus, devfn, reg));
    return TVK_OK;
}

int tvk_io_read_word(unsigned bus, unsigned devfn, uint32_t reg, uint16_t *out)
{
    if (out == nullptr)
        return TVK_E_NULL;
    if (!io_reg_ok(reg, 2))
        return TVK_E_INVAL;
    *out = host().inw(io_select(bus, devfn, reg));
    return TVK_OK;
}

int tvk_io_read_dword(unsigned bus, unsigned devfn, uint32_t reg, uint32_t *out)
{
    if (out == nullptr)
        return TVK_E_NULL;
    if (!io_reg_ok(reg, 4))
        return TVK_E_INVAL;
    *out = host().inl(io_select(bus, devfn, reg));
    return TVK_OK;
}

int tvk_io_write_byte(unsigned bus, unsigned devfn, uint32_t reg, uint8_t value)
{
    if (!io_reg_ok(reg, 1))
        return TVK_E_INVAL;
    host().outb(value, io_select(bus, devfn, reg));
    return TVK_OK;
}

int tvk_io_write_word(unsigned bus, unsigned devfn, uint32_t reg, uint16_t value)
{
    if (!io_reg_ok(reg, 2))
        return TVK_E_INVAL;
    host().outw(value, io_select(bus, devfn, reg));
    return TVK_OK;
}

int tvk_io_write_dword(unsigned bus, unsigned devfn, uint32_t reg, uint32_t value)
{
    if (!io_reg_ok(reg, 4))
        return TVK_E_INVAL;
    host().outl(value, io_select(bus, devfn, reg));
    return TVK_OK;
}

// ---- the chipset driver node -------------------------------------------------------------------

int tvk_drv_open()
{
    int fd = host_open(TVK_DRV_NODE, O_RDWR);
    if (fd >= 0)
        return fd;
    int err = errno;
    TVK_SHOW("Cannot open mch drv, %s\n", std::strerror(err));
    errno = err;
    return TVK_E_OPEN;
}

void tvk_drv_close(int fd) { host().close(fd); }

namespace {

// One request: the record filled, one write of 32 bytes, closed.
int drv_request(unsigned bus, unsigned devfn, uint32_t reg, int width, uint16_t op, uint32_t &value)
{
    tvk_drv_request rq;
    (void)memset_s(&rq, sizeof rq, 0, sizeof rq);
    int fd = tvk_drv_open();
    if (fd < 0) {
        TVK_SHOW("Cannot open mch drv, %s\n", std::strerror(errno));
        return TVK_E_OPEN;
    }
    rq.usBus = static_cast<uint16_t>(bus8(bus));
    rq.usDevice = static_cast<uint16_t>(dev5(devfn));
    rq.usFunction = static_cast<uint16_t>(fn3(devfn));
    rq.ucWidth = static_cast<uint8_t>(width);
    rq.ulRegister = reg;
    rq.usOperation = op;
    if (op == TVK_DRV_OP_WRITE)
        rq.ulValue = width == 4 ? value : value & ((1u << (8 * width)) - 1);
    ssize_t r = host().write(fd, &rq, sizeof rq);
    int status = TVK_OK;
    if (r < 0) {
        TVK_SHOW("Cannot write to mch driver, ret=%d, %s\n", static_cast<int>(r), std::strerror(errno));
        status = TVK_E_IO;
    } else if (op == TVK_DRV_OP_READ) {
        value = rq.ulValue;
    }
    tvk_drv_close(fd);
    return status;
}

int drv_read(unsigned bus, unsigned devfn, uint32_t reg, int width, uint32_t &out)
{
    uint32_t v = 0;
    int r = drv_request(bus, devfn, reg, width, TVK_DRV_OP_READ, v);
    if (r == TVK_OK)
        out = width == 4 ? v : v & ((1u << (8 * width)) - 1);
    return r;
}

} // namespace

int tvk_drv_read_byte(unsigned bus, unsigned devfn, uint32_t reg, uint8_t *out)
{
    if (out == nullptr)
        return TVK_E_NULL;
    uint32_t v = 0;
    int r = drv_read(bus, devfn, reg, 1, v);
    if (r == TVK_OK)
        *out = static_cast<uint8_t>(v);
    return r;
}

int tvk_drv_read_word(unsigned bus, unsigned devfn, uint32_t reg, uint16_t *out)
{
    if (out == nullptr)
        return TVK_E_NULL;
    uint32_t v = 0;
    int r = drv_read(bus, devfn, reg, 2, v);
    if (r == TVK_OK)
        *out = static_cast<uint16_t>(v);
    return r;
}

int tvk_drv_read_dword(unsigned bus, unsigned devfn, uint32_t reg, uint32_t *out)
{
    if (out == nullptr)
        return TVK_E_NULL;
    return drv_read(bus, devfn, reg, 4, *out);
}

int tvk_drv_write_byte(unsigned bus, unsigned devfn, uint32_t reg, uint32_t value)
{
    return drv_request(bus, devfn, reg, 1, TVK_DRV_OP_WRITE, value);
}

int tvk_drv_write_word(unsigned bus, unsigned devfn, uint32_t reg, uint32_t value)
{
    return drv_request(bus, devfn, reg, 2, TVK_DRV_OP_WRITE, value);
}

int tvk_drv_write_dword(unsigned bus, unsigned devfn, uint32_t reg, uint32_t value)
{
    return drv_request(bus, devfn, reg, 4, TVK_DRV_OP_WRITE, value);
}
