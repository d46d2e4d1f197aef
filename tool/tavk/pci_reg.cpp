#include "tool/tavk/pci_reg.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "bases/host/host.h"
#include "bases/pci/smbios.h"
#include "bases/pci/tvk_access.h"
#include "bases/pci/tvk_bar.h"
#include "bases/pci/tvk_dev.h"
#include "hwmanage/hpi/plugins/hardware/tvk_monitor.h"
#include "hwmanage/hpi/plugins/hardware/tvk_ras_regs.h"
#include "kelvo/kelvo.h"
#include "tool/cmd_kit.h"

namespace {

constexpr const char *kDevMem = "/dev/mem";
constexpr int kResPath = 256;

// ---- the memory-controller registers ----

constexpr uint32_t kMchbarGroups[2][3] = {{0x40B4, 0x40B8, 0x4294}, {0x44B4, 0x44B8, 0x4694}};

// ---- widths ----

// Bytes of a width letter; 0 for any other letter.
int width_bytes(char width)
{
    switch (width) {
    case 'B': case 'b': return 1;
    case 'W': case 'w': return 2;
    case 'D': case 'd': return 4;
    default: return 0;
    }
}

// Port access first; without the privilege no port may be touched.
int enable_ports()
{
    int r = tvk_io_enable();
    if (r != 0)
        std::puts("[SHOW] Cannot enable IO R/W");
    return r;
}

void write_failed(uint32_t value, char width, uint8_t bus, uint8_t devfn, uint32_t reg, int r)
{
    std::printf("Fail to write 0x%x[%c] to device[%02x:%02x.%x] reg[0x%x], ret=%d\n", value, width, bus,
                dev5(devfn), fn3(devfn), reg, r);
}

int access_write(const TvkAccess &m, uint8_t bus, uint8_t devfn, uint32_t reg, char width, uint32_t value)
{
    pci_init();
    if (m.ports) {
        int r = enable_ports();
        if (r != 0)
            return r;
    }
    int bytes = width_bytes(width);
    if (bytes == 0) {
        std::printf("Invalid value type %c\n", width);
        return PCI_BAD_VALUE;
    }
    int r = m.write[tvk_access_index(bytes)](bus, devfn, reg, value);
    if (r != 0)
        write_failed(value, width, bus, devfn, reg, r);
    return r;
}

void read_failed(uint8_t bus, uint8_t devfn, int r)
{
    std::printf("Cannot read device[%02x:%02x.%x] reg, ret=%d\n", bus, dev5(devfn), fn3(devfn), r);
}

void show_range(uint8_t bus, uint8_t devfn, uint32_t reg, const uint8_t *data, int length)
{
    std::printf("Dumping device[%02x:%02x.%x] regs[0x%x ~ 0x%x]:\n", bus, dev5(devfn), fn3(devfn), reg,
                reg + static_cast<uint32_t>(length));
    std::fflush(stdout);
    tvk_show_hex_rows(data, length, static_cast<int>(reg));
}

// Dwords, then a word when bit 1 of the length is set, then a byte for bit 0.
int access_read(const TvkAccess &m, uint8_t bus, uint8_t devfn, uint32_t reg, int length)
{
    pci_init();
    if (length < 1) {
        read_failed(bus, devfn, PCI_BAD_VALUE);
        return PCI_BAD_VALUE;
    }
    if (m.ports) {
        int r = enable_ports();
        if (r != 0)
            return r;
    }
    if (length > PCI_READ_MAX) {
        std::puts("Not enough buffer, handle only 512 bytes");
        length = PCI_READ_MAX;
    }
    uint8_t buf[PCI_READ_MAX] = {};
    int at = 0;
    auto step = [&](int bytes) {
        uint32_t v = 0;
        int r = m.read[tvk_access_index(bytes)](bus, devfn, reg + static_cast<uint32_t>(at), &v);
        std::memcpy(buf + at, &v, static_cast<size_t>(bytes));
        at += bytes;
        return r;
    };
    int r = 0;
    for (int i = 0; i < length / 4 && r == 0; i++)
        r = step(4);
    if (r == 0 && (length & 2))
        r = step(2);
    if (r == 0 && (length & 1))
        r = step(1);
    if (r != 0) {
        read_failed(bus, devfn, r);
        return r;
    }
    show_range(bus, devfn, reg, buf, length);
    return 0;
}

// ---- BARs ----

struct BarInfo {
    char path[kResPath] = {};
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t flags = 0;
    uint64_t size() const { return end - start; }
    bool io() const { return (flags & 1) != 0; }
};

int bar_find(uint8_t bus, uint8_t devfn, uint8_t bar, BarInfo &b)
{
    int r = tvk_get_res_path(bus, devfn, b.path, kResPath);
    if (r != 0) {
        std::printf("Cannot get bar%d res path, ret=%d\n", bar, r);
        return r;
    }
    r = tvk_get_bar_info(b.path, bar, &b.start, &b.end, &b.flags);
    if (r != 0) {
        std::printf("Cannot get bar%d res info, ret=%d\n", bar, r);
        return r;
    }
    std::printf("BAR%d [0x%08llx --> 0x%08llx] - 0x%08llx\n", bar, static_cast<unsigned long long>(b.start),
                static_cast<unsigned long long>(b.end), static_cast<unsigned long long>(b.flags));
    return 0;
}

bool offset_in(const BarInfo &b, uint32_t offset)
{
    if (offset <= b.size())
        return true;
    std::printf("Offset[%d] out of range[0 ~ 0x%08llx]\n", static_cast<int>(offset),
                static_cast<unsigned long long>(b.size()));
    return false;
}

// The BAR an access names, with the offset inside it.
int bar_at(uint8_t bus, uint8_t devfn, uint8_t bar, uint32_t offset, BarInfo &b)
{
    pci_init();
    if (int r = bar_find(bus, devfn, bar, b); r != 0)
        return r;
    return offset_in(b, offset) ? 0 : PCI_OUT_OF_RANGE;
}

// Bytes moved through the BAR: the resourceN file of a memory BAR, the
// BAR's own ports (start + offset) of an I/O BAR.
int bar_move(const BarInfo &b, uint8_t bar, uint32_t offset, uint8_t *buf, uint32_t len, bool write)
{
    if (b.io()) {
        int r = enable_ports();
        if (r != 0)
            return r;
        uint64_t port = b.start + offset;
        if (port + len - 1 > 0xFFFF)
            return PCI_OUT_OF_RANGE;
        return tvk_io_byte_rw(static_cast<int>(port), buf, static_cast<uint16_t>(len), write ? 1 : 0);
    }
    char file[kResPath + 4] = {};
    if (snprintf_s(file, sizeof file, sizeof file - 1, "%s%d", b.path, static_cast<int>(bar)) < 0)
        return TVK_E_PATH;
    int64_t at = static_cast<int64_t>(offset) + static_cast<int64_t>(b.start % host().pagesize());
    return write ? tvk_mmap_write(file, at, len, buf) : tvk_mmap_read(file, at, len, buf);
}

} // namespace

// ---- set-up and the small commands ----------------------------------------------------------

void pci_init()
{
    smbios_get_socket_num(&g_sandy_cpuno);
    g_ucRasDevfn = TVK_RAS_DEVFN_5_2;
}

TransOpStatus pci_stat(const char *)
{
    pci_init();
    return 0;
}

TransOpStatus mchbar_read(const char *params)
{
    uint32_t sel = kCmdUnset;
    int n = sscanf_s(params ? params : "", "%x", &sel);
    if (!cmd_scanned(n, sel)) {
        cmd_invalid_input(", status = %d\n\n", n);
        return n < 0 ? n : PCI_BAD_VALUE;
    }
    uint32_t lo = 0, hi = 0;
    int r = tvk_read_conf_dword(0, 0, PCI_MCHBAR_LO, &lo);
    if (r != 0) {
        std::printf("call tvk_read_conf_dword fail!  offset=%d, error=%d\n", PCI_MCHBAR_LO, r);
        return r;
    }
    r = tvk_read_conf_dword(0, 0, PCI_MCHBAR_HI, &hi);
    if (r != 0) {
        std::printf("call tvk_read_conf_dword fail! c offset=%d, error=%d\n", PCI_MCHBAR_HI, r);
        return r;
    }
    uint64_t base = (static_cast<uint64_t>(hi) << 32 | lo) & ~1ull;
    std::printf("base_addr = 0x%llx\n\n", static_cast<unsigned long long>(base));
    for (uint32_t off : kMchbarGroups[sel == 1 ? 1 : 0]) {
        uint32_t v = 0;
        r = tvk_mmap_read(kDevMem, static_cast<int64_t>(base + off), sizeof v, &v);
        if (r != 0) {
            std::printf("mmap read failed, status=%d\n\n", r);
            return r;
        }
        std::printf("offset_bar[%#x] = 0x%8x\n\n", off, v);
    }
    return 0;
}

namespace {

struct WriteText {
    char method = 0;
    char width = 0;
    uint32_t bus = kCmdUnset, dev = kCmdUnset, fn = kCmdUnset, reg = kCmdUnset;
    uint32_t value = 0;
    int bar = -1;
};

// Every field up to the value given, and an address that names one function.
bool scan_write(const char *params, WriteText &t)
{
    int n = sscanf_s(params ? params : "", "%c%x:%x.%x-0x%x.%c=0x%x-b%d", &t.method, 1u, &t.bus, &t.dev, &t.fn,
                     &t.reg, &t.width, 1u, &t.value, &t.bar);
    return n >= 7 && t.bus <= 0xFF && t.dev <= 0x1F && t.fn <= 7;
}

} // namespace

TransOpStatus pci_write(const char *params)
{
    pci_init();
    WriteText t;
    if (!scan_write(params, t)) {
        cmd_invalid_input("\n");
        return PCI_BAD_TEXT;
    }
    std::printf("Writing a 0x%x[%c] to device[%02x:%02x.%x] reg 0x%04x\n", t.value, t.width, t.bus, t.dev, t.fn, t.reg);
    uint8_t bus = cmd_u8(t.bus);
    uint8_t devfn = cmd_u8(t.dev << 3 | t.fn);
    switch (t.method) {
    case 'B': case 'b':
        if (t.bar < 0 || t.bar > 5) {
            std::printf("Invalid bar number[%d], please check\n", t.bar);
            return PCI_BAD_TEXT;
        }
        return pci_bar_write(bus, devfn, static_cast<uint8_t>(t.bar), t.reg, t.width, t.value);
    case 'D': case 'd': return pci_drv_write(bus, devfn, t.reg, t.width, t.value);
    case 'F': case 'f': return pci_fs_write(bus, devfn, t.reg, t.width, t.value);
    case 'I': case 'i': return pci_io_write(bus, devfn, t.reg, t.width, t.value);
    default:
        std::printf("Invalid write method %c\n", t.method);
        return PCI_BAD_VALUE;
    }
}

// ---- writes ---------------------------------------------------------------------------------

int pci_fs_write(uint8_t bus, uint8_t devfn, uint32_t reg, char width, uint32_t value)
{
    return access_write(kTvkAccessFs, bus, devfn, reg, width, value);
}

int pci_drv_write(uint8_t bus, uint8_t devfn, uint32_t reg, char width, uint32_t value)
{
    return access_write(kTvkAccessDrv, bus, devfn, reg, width, value);
}

int pci_io_write(uint8_t bus, uint8_t devfn, uint32_t reg, char width, uint32_t value)
{
    return access_write(kTvkAccessIo, bus, devfn, reg, width, value);
}

int pci_bar_write(uint8_t bus, uint8_t devfn, uint8_t bar, uint32_t offset, char width, uint32_t value)
{
    BarInfo b;
    int r = bar_at(bus, devfn, bar, offset, b);
    if (r != 0)
        return r;
    int bytes = width_bytes(width);
    if (bytes == 0) {
        std::printf("Invalid value type %c\n", width);
        return PCI_BAD_VALUE;
    }
    if (offset + static_cast<uint64_t>(bytes) - 1 > b.size()) {
        std::printf("Write %d Bytes offset 0x%x is too long for BAR%d\n", bytes, offset, bar);
        return PCI_OUT_OF_RANGE;
    }
    uint8_t data[4] = {};
    std::memcpy(data, &value, static_cast<size_t>(bytes));
    r = bar_move(b, bar, offset, data, static_cast<uint32_t>(bytes), true);
    if (r != 0)
        write_failed(value, width, bus, devfn, offset, r);
    return r;
}

// ---- reads ----------------------------------------------------------------------------------

int pci_fs_read(uint8_t bus, uint8_t devfn, uint32_t reg, int length) { return access_read(kTvkAccessFs, bus, devfn, reg, length); }

int pci_drv_read(uint8_t bus, uint8_t devfn, uint32_t reg, int length)
{
    return access_read(kTvkAccessDrv, bus, devfn, reg, length);
}

int pci_io_read(uint8_t bus, uint8_t devfn, uint32_t reg, int length) { return access_read(kTvkAccessIo, bus, devfn, reg, length); }

int pci_bar_read(uint8_t bus, uint8_t devfn, uint8_t bar, uint32_t offset, int length)
{
    BarInfo b;
    int r = bar_at(bus, devfn, bar, offset, b);
    if (r != 0)
        return r;
    if (length < 1) {
        read_failed(bus, devfn, PCI_BAD_VALUE);
        return PCI_BAD_VALUE;
    }
    auto len = static_cast<uint64_t>(length);
    if (offset + len - 1 > b.size()) {
        std::printf("Read %d Bytes from 0x%x is too long for BAR%d\n", length, offset, bar);
        len = b.size() + 1 - offset;
    }
    std::unique_ptr<uint8_t, decltype(&std::free)> buf(static_cast<uint8_t *>(std::malloc(len)), &std::free);
    if (!buf) {
        int err = errno;
        std::printf("Cannot malloc %dB for pszBuf, errno=%d, %s\n", static_cast<int>(len), err, std::strerror(err));
        return PCI_NO_MEMORY;
    }
    r = bar_move(b, bar, offset, buf.get(), static_cast<uint32_t>(len), false);
    if (r != 0) {
        std::printf(b.io() ? "io read failed, ret=%d\n" : "mmap read failed, ret=%d\n", r);
        return r;
    }
    show_range(bus, devfn, offset, buf.get(), static_cast<int>(len));
    return 0;
}
