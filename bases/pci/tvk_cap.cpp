#include "bases/pci/tvk_cap.h"

#include <array>
#include <cstddef>

#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"

namespace {

constexpr uint32_t kStatus = 0x06;
constexpr uint16_t kStatusCapList = 1u << 4;
constexpr uint32_t kCapPtr = 0x34;
constexpr uint32_t kClassRev = 0x08;
constexpr uint32_t kHeaderType = 0x0E;
constexpr uint32_t kSecondaryBus = 0x19;
constexpr uint32_t kExtStart = 0x100;
constexpr int kExtCapptrMax = 480;

// Next pointer of an extended header: bits 31..20, low two bits cleared.
uint32_t ext_next(uint32_t hdr) { return (hdr >> 20) & 0xFFC; }

} // namespace

int tvk_get_capptr(unsigned bus, unsigned devfn)
{
    uint16_t status = 0;
    int r = tvk_read_conf_word(bus, devfn, kStatus, &status);
    if (r < 0) {
        TVK_ERR("Can not read PCI_STATUS, ret=%d\n", r);
        return r;
    }
    TVK_DBG("Get PCI_STATUS as 0x%x\n", status);
    if ((status & kStatusCapList) == 0)
        return TVK_E_NO_CAPS;
    uint8_t ptr = 0;
    r = tvk_read_conf_byte(bus, devfn, kCapPtr, &ptr);
    if (r < 0) {
        TVK_ERR("Can not read PCI_CAPABILITY_LIST, ret=%d\n", r);
        return r;
    }
    if (ptr % 4 != 0) {
        TVK_DBG("OMG, get a invalid CAPPTR[0x%x] for device[%02x:%02x.%x]\n", ptr, bus8(bus), dev5(devfn),
                fn3(devfn));
        return TVK_E_CAP_BAD;
    }
    return ptr;
}

int tvk_tell_cap(unsigned bus, unsigned devfn, uint8_t id)
{
    const unsigned b = bus8(bus), d = dev5(devfn), f = fn3(devfn);
    int ptr = tvk_get_capptr(bus, devfn);
    if (ptr < 0) {
        TVK_DBG("Can not get CAPPTR of device[%02x:%02x.%x], ret=%d\n", b, d, f, ptr);
        return ptr;
    }
    TVK_DBG("Get CAPPTR as 0x%x\n", static_cast<unsigned>(ptr));
    if (ptr == 0)
        return TVK_E_NO_CAP;
    std::array<uint8_t, 64> visited{};
    auto pos = static_cast<uint32_t>(ptr);
    for (;;) {
        TVK_DBG("Capability address : 0x%x\n", pos);
        uint8_t capId = 0, next = 0;
        int r = tvk_read_conf_byte(bus, devfn, pos, &capId);
        if (r < 0) {
            TVK_ERR("Cannot get cap[addr=0x%x] id for dev[%02x:%02x.%x], ret=%d\n", pos, b, d, f, r);
            return r;
        }
        r = tvk_read_conf_byte(bus, devfn, pos + 1, &next);
        if (r < 0) {
            TVK_ERR("Cannot get cap[addr=0x%x] next ptr for dev[%02x:%02x.%x], ret=%d\n", pos, b, d, f, r);
            return r;
        }
        if (next == 0xFF || next % 4 != 0) {
            TVK_ERR("OMG, cap list of dev[%02x:%02x.%x] broken at 0x%x\n", b, d, f, next);
            return TVK_E_CAP_BROKEN;
        }
        if (visited[next / 4] != 0) {
            TVK_ERR("OMG, cap list of dev[%02x:%02x.%x] dead loops at 0x%x\n", b, d, f, next);
            return TVK_E_CAP_LOOP;
        }
        if (capId == id)
            return static_cast<int>(pos);
        if (next == 0)
            return TVK_E_NO_CAP;
        visited[pos / 4]++;
        pos = next;
    }
}

int tvk_get_cap_hdr(unsigned bus, unsigned devfn, uint8_t id, uint32_t *hdr)
{
    if (hdr == nullptr)
        return TVK_E_NULL;
    const unsigned b = bus8(bus), d = dev5(devfn), f = fn3(devfn);
    int at = tvk_tell_cap(bus, devfn, id);
    if (at == TVK_E_NO_CAPS || at == TVK_E_NO_CAP) {
        TVK_DBG("Device[%02x:%02x.%x] has no cap[0x%x], ret=0x%x\n", b, d, f, id, static_cast<unsigned>(at));
        return TVK_E_NOT_PCIE;
    }
    if (at < 0)
        return at;
    uint32_t v = 0;
    int r = tvk_read_conf_dword(bus, devfn, static_cast<uint32_t>(at), &v);
    if (r < 0) {
        TVK_ERR("Can not read device[%02x:%02x.%x] PCI_CAPABILITY_LIST, ret=%d\n", b, d, f, r);
        return r;
    }
    TVK_DBG("Read device[%02x:%02x.%x] CAP[0x%x] HDR success\n", b, d, f, id);
    TVK_DBG("CAP_ID = 0x%x, CAP_NEXT = 0x%x, CAP_FLAG = 0x%x\n", v & 0xFF, (v >> 8) & 0xFF, v >> 16);
    *hdr = v;
    return at;
}

int tvk_identify_express(unsigned bus, unsigned devfn)
{
    int at = tvk_tell_cap(bus, devfn, TVK_CAP_ID_EXP);
    if (at > 15)
        return at;
    if (at >= 0) {
        TVK_WARN("Dev[%02x:%02x.%x]'s PCI_CAP_ID_EXP shall never resides on 0x%x, the configuration space maybe "
                 "broken\n",
                 bus8(bus), dev5(devfn), fn3(devfn), static_cast<unsigned>(at));
        return 0;
    }
    return at == TVK_E_NO_CAPS || at == TVK_E_NO_CAP ? 0 : at;
}

namespace {

struct ExpRegs {
    uint32_t offset;   // from the capability
    const char *name;  // as the log lines call it
};
constexpr ExpRegs kDevRegs{0x04, "PCI_EXP_DEVCAP"};
constexpr ExpRegs kLinkRegs{0x0C, "PCI_EXP_LNKCAP"};

// The 8 bytes at cap + regs.offset as one little-endian value.
int read_exp_pair(unsigned bus, unsigned devfn, uint32_t cap, const ExpRegs &regs, uint64_t *out)
{
    if (out == nullptr)
        return TVK_E_NULL;
    cap %= 256;
    if (cap % 4 != 0)
        return TVK_E_CAP_BAD;
    const unsigned b = bus8(bus), d = dev5(devfn), f = fn3(devfn);
    uint8_t bytes[8] = {};
    int r = tvk_read_conf_block(bus, devfn, bytes, 8, static_cast<int>(cap + regs.offset));
    if (r < 0) {
        TVK_ERR("Can not read device[%02x:%02x.%x] %s at 0x%x, ret=%d\n", b, d, f, regs.name, cap, r);
        return r;
    }
    TVK_DBG("Read device[%02x:%02x.%x] %s at 0x%x success\n", b, d, f, regs.name, cap);
    tvk_level_log_hex(TVK_LVL_DBG, bytes, 8, static_cast<int>(cap), 8, "<TVK-DBG>");
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--)
        v = (v << 8) | bytes[i];
    *out = v;
    return TVK_OK;
}

} // namespace

int tvk_get_dev_cap(unsigned bus, unsigned devfn, uint32_t cap, uint64_t *out)
{
    return read_exp_pair(bus, devfn, cap, kDevRegs, out);
}

int tvk_get_link_cap(unsigned bus, unsigned devfn, uint32_t cap, uint64_t *out)
{
    return read_exp_pair(bus, devfn, cap, kLinkRegs, out);
}

int tvk_tell_ext_cap(unsigned bus, unsigned devfn, uint16_t id)
{
    if (tvk_identify_express(bus, devfn) < 1)
        return TVK_E_NOT_PCIE;
    uint32_t at = kExtStart;
    for (int seen = 0; seen < TVK_EXT_WALK_MAX; seen++) {
        uint32_t hdr = 0;
        int r = tvk_read_conf_dword(bus, devfn, at, &hdr);
        if (r < 0)
            return r;
        if (hdr == 0xFFFFFFFFu || (hdr & (3u << 20)) != 0)
            return TVK_E_CAP_BAD;
        if ((hdr & 0xFFFF) == id)
            return static_cast<int>(at);
        const uint32_t next = ext_next(hdr);
        if (next == 0)
            return TVK_E_NO_CAP;
        // A pointer back into the standard space can only be damage.
        if (next < kExtStart)
            return TVK_E_CAP_BAD;
        at = next;
    }
    return TVK_E_CAP_LOOP;
}

int tvk_get_ext_capptr(unsigned bus, unsigned devfn, int id, uint32_t *out)
{
    if (out == nullptr)
        return TVK_E_NULL;
    uint32_t at = kExtStart;
    uint32_t hdr = 0;
    if (tvk_read_conf_dword(bus, devfn, at, &hdr) < 0)
        return TVK_E_EXT_WALK;
    if (hdr == 0)
        return TVK_E_EXT_READ;
    for (int seen = 0; seen < kExtCapptrMax; seen++) {
        if (static_cast<int>(hdr & 0xFFFF) == id) {
            *out = at;
            return TVK_OK;
        }
        at = ext_next(hdr);
        if (at < kExtStart)
            return TVK_E_RANGE;
        if (tvk_read_conf_dword(bus, devfn, at, &hdr) < 0)
            return TVK_E_EXT_WALK;
    }
    return TVK_E_NO_CAP;
}

int tvk_get_class_rev(unsigned bus, unsigned devfn, uint32_t *out)
{
    if (out == nullptr)
        return TVK_E_NULL;
    uint32_t v = 0;
    int r = tvk_read_conf_dword(bus, devfn, kClassRev, &v);
    if (r < 0)
        return r;
    TVK_DBG("Get device[%02x:%02x.%x]'s class & revision as 0x%08x\n", bus8(bus), dev5(devfn), fn3(devfn), v);
    *out = v;
    return TVK_OK;
}

int tvk_get_second_busno(unsigned bus, uint32_t dev, int fn, uint8_t *out)
{
    const unsigned devfn = ((dev & 0x1F) << 3) | (static_cast<unsigned>(fn) & 7);
    int r = tvk_read_conf_byte(bus, devfn, kSecondaryBus, out);
    if (r < 0) {
        TVK_ERR("read conf byte error %d\n", r);
        return r;
    }
    return TVK_OK;
}

int tvk_identify_pci_bridge(unsigned bus, unsigned devfn)
{
    const unsigned b = bus8(bus), d = dev5(devfn), f = fn3(devfn);
    uint32_t classRev = 0;
    int r = tvk_read_conf_dword(bus, devfn, kClassRev, &classRev);
    if (r < 0) {
        TVK_ERR("Can not read device[%02x:%02x:%x] class & revision, ret=%d\n", b, d, f, r);
        return r;
    }
    TVK_DBG("Get device[%02x:%02x.%x]'s class & revision as 0x%08x\n", b, d, f, classRev);
    if ((classRev >> 24) != 6)
        return 0;
    uint8_t type = 0;
    r = tvk_read_conf_byte(bus, devfn, kHeaderType, &type);
    if (r < 0) {
        TVK_ERR("Can not read device[%02x:%02x:%x] header type, ret=%d\n", b, d, f, r);
        return r;
    }
    TVK_DBG("Read device[%02x:%02x:%x] header type as 0x%02x\n", b, d, f, type);
    type &= 0x7F;
    return type == 1 || type == 2 ? type : 0;
}

namespace {

using AerBlock = std::array<uint32_t, TVK_AER_BLOCK / 4>;

int read_aer(unsigned bus, unsigned devfn, uint32_t at, AerBlock &blk)
{
    uint8_t bytes[TVK_AER_BLOCK] = {};
    int r = tvk_read_conf_block(bus, devfn, bytes, TVK_AER_BLOCK, static_cast<int>(at));
    if (r < 0) {
        TVK_ERR("tvk_read_conf_block aer err,ret = %d\n", r);
        return r;
    }
    for (size_t i = 0; i < blk.size(); i++)
        blk[i] = bytes[4 * i] | static_cast<uint32_t>(bytes[4 * i + 1]) << 8 |
                 static_cast<uint32_t>(bytes[4 * i + 2]) << 16 | static_cast<uint32_t>(bytes[4 * i + 3]) << 24;
    return TVK_OK;
}

void show_aer(unsigned bus, unsigned devfn, int pass, const AerBlock &a)
{
    TVK_LOG("*****AER%d Device[%02x:%02x.%x]*****\n", pass, bus8(bus), dev5(devfn), fn3(devfn));
    TVK_LOG("*****AER%d UncorrErr State:0x%08x Mask:0x%08x Severity:0x%08x *****\n", pass, a[1], a[2], a[3]);
    TVK_LOG("*****AER%d CorrErr   State:0x%08x Mask:0x%08x AERCtrl :0x%08x *****\n", pass, a[4], a[5], a[6]);
    TVK_LOG("*****AER%d HeadLog   0x%08x 0x%08x 0x%08x 0x%08x*****\n", pass, a[7], a[8], a[9], a[10]);
}

} // namespace

void tvk_aer_log(unsigned bus, unsigned devfn, uint8_t clear, uint8_t show)
{
    uint32_t at = 0;
    if (tvk_identify_express(bus, devfn) < 1 || tvk_get_ext_capptr(bus, devfn, TVK_EXT_CAP_ID_ERR, &at) != 0)
        return;
    AerBlock a{};
    if (read_aer(bus, devfn, at, a) < 0)
        return;
    if (show == 1)
        show_aer(bus, devfn, 0, a);
    if (clear == 0)
        return;
    if (a[1] != 0 && tvk_write_conf_dword(bus, devfn, at + TVK_AER_UNCOR_STATUS, a[1]) < 0) {
        TVK_ERR("tvk_write_conf_dword AER UncorrErrState error!\n");
        return;
    }
    if (a[4] != 0 && tvk_write_conf_dword(bus, devfn, at + TVK_AER_COR_STATUS, a[4]) < 0) {
        TVK_ERR("tvk_write_conf_dword AER CorrErrState error!\n");
        return;
    }
    if (read_aer(bus, devfn, at, a) < 0)
        return;
    if (show == 1)
        show_aer(bus, devfn, 1, a);
}
