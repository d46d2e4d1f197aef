#include "bases/host/host.h"
#include "boardlib/kesp_intf.h"

#include <array>
#include <iterator>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bases/host/host.h"
#include "boardlib/kesp_logic.h"
#include "boardlib/sfp_8472.h"
#include "kelvo/kelvo.h"

//       id  command  base  mode r2base ret2base wlen rlen
constexpr IndirRegReq g_KespIndirReg[kKespIndirRegCount] = {
    indir_catalogue_row({0, 16, 0x30, 0, 2, 0, 0, 1}),
    indir_catalogue_row({1, 16, 0x6C00, 2, 3, 0, 1, 1}),
    indir_catalogue_row({2, 16, 0x6DA0, 0, 3, 0, 0, 1}),
    indir_catalogue_row({3, 16, 0x5800, 2, 3, 0, 1, 1}),
    indir_catalogue_row({4, 16, 0x5804, 2, 3, 0, 1, 1}),
    indir_catalogue_row({5, 16, 0x5810, 0, 2, 0, 0, 1}),
    indir_catalogue_row({6, 16, 0x5814, 0, 2, 0, 0, 1}),
    indir_catalogue_row({7, 16, 0x5820, 3, 7, 0, 3, 3}),
    indir_catalogue_row({8, 16, 0x5830, 2, 4, 0, 2, 2}),
    indir_catalogue_row({9, 16, 0x5840, 2, 3, 0, 1, 1}),
    indir_catalogue_row({10, 16, 0x5844, 2, 3, 0, 1, 1}),
    indir_catalogue_row({11, 16, 0x5984, 0, 2, 0, 0, 1}),
    indir_catalogue_row({12, 16, 0x5990, 0, 2, 0, 0, 1}),
    indir_catalogue_row({13, 16, 0x6000, 2, 3, 0, 1, 1}),
    indir_catalogue_row({14, 16, 0x7800, 2, 3, 0, 1, 1}),
    indir_catalogue_row({15, 16, 0x7804, 2, 3, 0, 1, 1}),
    indir_catalogue_row({16, 16, 0x7810, 0, 2, 0, 0, 1}),
    indir_catalogue_row({17, 16, 0x7814, 0, 2, 0, 0, 1}),
    indir_catalogue_row({18, 16, 0x7820, 3, 7, 0, 3, 3}),
    indir_catalogue_row({19, 16, 0x7830, 2, 4, 0, 2, 2}),
    indir_catalogue_row({20, 16, 0x7980, 0, 2, 0, 0, 1}),
    indir_catalogue_row({21, 16, 0x7984, 0, 2, 0, 0, 1}),
    indir_catalogue_row({22, 16, 0x7000, 2, 3, 0, 1, 1}),
    indir_catalogue_row({23, 16, 0x7004, 2, 3, 0, 1, 1}),
    indir_catalogue_row({24, 16, 0x7010, 0, 2, 0, 0, 1}),
    indir_catalogue_row({25, 16, 0x7014, 0, 2, 0, 0, 1}),
    indir_catalogue_row({26, 16, 0x7020, 3, 7, 0, 3, 3}),
    indir_catalogue_row({27, 16, 0x7030, 2, 4, 0, 2, 2}),
    indir_catalogue_row({28, 16, 0x7180, 0, 2, 0, 0, 1}),
    indir_catalogue_row({29, 16, 0x7184, 0, 2, 0, 0, 1}),
    indir_catalogue_row({30, 16, 0x7400, 2, 3, 0, 1, 1}),
    indir_catalogue_row({31, 16, 0x7404, 2, 4, 0, 2, 2}),
    indir_catalogue_row({32, 16, 0x7410, 2, 3, 0, 1, 1}),
    indir_catalogue_row({33, 16, 0x7414, 2, 3, 0, 1, 1}),
    indir_catalogue_row({34, 16, 0x1410, 2, 4, 0, 2, 2}),
    indir_catalogue_row({35, 16, 0x1416, 2, 4, 0, 2, 2}),
    indir_catalogue_row({36, 16, 0x1810, 2, 4, 0, 2, 2}),
    indir_catalogue_row({37, 16, 0x1816, 2, 4, 0, 2, 2}),
    indir_catalogue_row({38, 16, 0x1C10, 2, 4, 0, 2, 2}),
    indir_catalogue_row({39, 16, 0x1C16, 2, 4, 0, 2, 2}),
    indir_catalogue_row({40, 16, 0x6800, 2, 3, 0, 1, 1}),
    indir_catalogue_row({41, 16, 0x6804, 2, 3, 0, 1, 1}),
    indir_catalogue_row({42, 16, 0x6808, 2, 3, 0, 1, 1}),
    indir_catalogue_row({43, 16, 0x680C, 2, 3, 0, 1, 1}),
    indir_catalogue_row({44, 16, 0x6810, 0, 2, 0, 0, 1}),
    indir_catalogue_row({45, 16, 0x6814, 0, 2, 0, 0, 1}),
    indir_catalogue_row({46, 16, 0x6818, 0, 2, 0, 0, 1}),
    indir_catalogue_row({47, 16, 0x681C, 0, 2, 0, 0, 1}),
    indir_catalogue_row({48, 16, 0x6820, 3, 7, 0, 3, 3}),
    indir_catalogue_row({49, 16, 0x6830, 2, 4, 0, 2, 2}),
    indir_catalogue_row({50, 16, 0x6840, 3, 7, 0, 3, 3}),
    indir_catalogue_row({51, 16, 0x6850, 2, 4, 0, 2, 2}),
    indir_catalogue_row({52, 16, 0x6980, 0, 2, 0, 0, 1}),
    indir_catalogue_row({53, 16, 0x6984, 0, 2, 0, 0, 1}),
    indir_catalogue_row({54, 16, 0x6988, 0, 2, 0, 0, 1}),
    indir_catalogue_row({55, 16, 0x698C, 0, 2, 0, 0, 1}),
    indir_catalogue_row({56, 2, 0x8001, 2, 3, 0, 1, 1}),
    indir_catalogue_row({57, 2, 0x810, 2, 3, 0, 1, 1}),
    indir_catalogue_row({58, 2, 0x3003, 2, 0, 0, 1, 0}),
    indir_catalogue_row({59, 2, 0x3000, 2, 0, 0, 1, 0}),
};

namespace {

constexpr uint32_t kKespIndirRegFilled = 60;   // rows 60 to 63 are empty

constexpr bool catalogue_is_consistent()
{
    for (uint32_t i = 0; i < kKespIndirRegCount; i++) {
        const IndirRegReq &r = g_KespIndirReg[i];
        bool filled = i < kKespIndirRegFilled;
        if (filled && (r.id != i || r.command != (i < 56 ? 16u : 2u) || r.baseaddr == 0))
            return false;
        if (!filled && (r.id != 0 || r.command != 0 || r.baseaddr != 0 || r.mode != 0 || r.r2base != 0 ||
                        r.ret2base != 0 || r.wlen != 0 || r.rlen != 0))
            return false;
        if (r.cmd != 0 || r.data != nullptr)
            return false;
    }
    return true;
}
static_assert(catalogue_is_consistent(), "KESP indirect-register catalogue rows out of order");

// -1201 for a null buffer (not logged), -1202 for an id outside the catalogue.
PlovStatus kesp_indir_check(uint32_t id, const uint64_t *data)
{
    if (data == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (id >= kKespIndirRegFilled) {
        KESP_LOG_ERR("indirect register id [%u] out of range\n", id);
        return PLOV_ERR_PARAM;
    }
    return PLOV_OK;
}

// The request for row `id`: its id and base address, the fixed command and
// the caller's data words; the lengths are the caller's to copy.
IndirRegReq kesp_indir_req(uint32_t id, uint64_t cmd, uint64_t *data)
{
    IndirRegReq req{};
    req.id = id;
    req.baseaddr = g_KespIndirReg[id].baseaddr;
    req.cmd = cmd;
    req.data = data;
    return req;
}

} // namespace

PlovStatus KespReadIndregByID(uint32_t id, uint64_t *data)
{
    PlovStatus ret = kesp_indir_check(id, data);
    if (ret != PLOV_OK)
        return ret;
    IndirRegReq req = kesp_indir_req(id, kKespIndirCmdRead, data);
    req.rlen = g_KespIndirReg[id].rlen;
    ret = KespLogicReadIndirReg(&req);
    if (ret < 0)
        KESP_LOG_ERR("call KespLogicReadIndirReg err, id [%u] ret [%d]\n", id, ret);
    return ret;
}

PlovStatus KespWriteIndregByID(uint32_t id, uint64_t *data)
{
    PlovStatus ret = kesp_indir_check(id, data);
    if (ret != PLOV_OK)
        return ret;
    IndirRegReq req = kesp_indir_req(id, kKespIndirCmdWrite, data);
    req.wlen = g_KespIndirReg[id].wlen;
    return KespLogicWriteIndirReg(&req);
}

PlovStatus KespClearCntIndregByID(uint32_t id, uint64_t *data)
{
    PlovStatus ret = kesp_indir_check(id, data);
    if (ret != PLOV_OK)
        return ret;
    const IndirRegReq &row = g_KespIndirReg[id];
    IndirRegReq req = kesp_indir_req(id, kKespIndirCmdClear, data);
    req.r2base = row.r2base;
    req.ret2base = row.ret2base;
    req.wlen = row.wlen;
    req.rlen = row.rlen;
    return KespLogicClearIndirReg(&req);
}

// ==== register helpers =========================================================================

namespace {

// A device-layer result: negative is a failure, anything else success.
PlovStatus judged(PlovStatus ret) { return ret < 0 ? ret : PLOV_OK; }

PlovStatus reg_read(uint64_t addr, uint64_t *value)
{
    DirRegReq req{addr, 0};
    PlovStatus ret = judged(KespLogicReadDirReg(&req));
    if (ret == PLOV_OK)
        *value = req.data;
    return ret;
}

PlovStatus reg_write(uint64_t addr, uint64_t value)
{
    DirRegReq req{addr, value};
    return judged(KespLogicWriteDirReg(&req));
}

// The read and write failures most operations log.
PlovStatus reg_read_logged(uint64_t addr, uint64_t *value)
{
    PlovStatus ret = reg_read(addr, value);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("call KespLogicReadDirReg err!\n");
    return ret;
}

PlovStatus reg_write_logged(uint64_t addr, uint64_t value)
{
    PlovStatus ret = reg_write(addr, value);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("call KespLogicWriteDirReg err!\n");
    return ret;
}

// An indirect data buffer: word 0 the address inside the block, then up to
// three data words (the widest rows of the catalogue).
using IndirBuf = std::array<uint64_t, 4>;

PlovStatus indir_read(uint32_t id, uint64_t addr, IndirBuf &buf)
{
    buf = IndirBuf{addr};
    return judged(KespReadIndregByID(id, buf.data()));
}

PlovStatus indir_write(uint32_t id, IndirBuf &buf) { return judged(KespWriteIndregByID(id, buf.data())); }

PlovStatus indir_write_word(uint32_t id, uint64_t addr, uint64_t word)
{
    IndirBuf buf{addr, word};
    return indir_write(id, buf);
}

PlovStatus null_pointer(const char *text)
{
    KESP_LOG_ERR("%s", text);
    return PLOV_ERR_NULL_PTR;
}

constexpr const char *kNullDetected = "NULL Pointer Detected!\n";
constexpr const char *kNullPointer = "NULL pointer!\n";
constexpr const char *kNullLower = "NULL pointer detected\n";

// ==== network ports ============================================================================

constexpr uint8_t kNetPorts = 2;
constexpr uint64_t kPortBlock = 0x400;   // port 1's registers: port 0's plus this
constexpr uint64_t kRegCtrl = 0x2000;
constexpr uint64_t kRegMinLen = 0x2001;
constexpr uint64_t kRegReset = 0x2006;
constexpr uint64_t kRegLink = 0x2109;
constexpr uint64_t kCtrlSwitchMask = 0x7;
constexpr unsigned kCtrlMacLoopBit = 5;
constexpr unsigned kCtrlPhyLoopBit = 9;
constexpr uint64_t kResetPulse = 6;
constexpr unsigned kPhyPowerShift = 2;
constexpr uint64_t kPhyPowerOn = 0x0;
constexpr uint64_t kPhyPowerDown = 0x3;
constexpr uint16_t kKespMaxFrame = 1984;
constexpr uint16_t kMinLenMax = 255;
constexpr uint32_t kPortLoc = 0;
constexpr uint32_t kPortTypeNet = 2;

uint64_t port_reg(uint64_t reg0, uint32_t port) { return reg0 + kPortBlock * port; }

bool network_port(const PortPro &p) { return p.LOC == kPortLoc && p.TYPE == kPortTypeNet && p.ID < kNetPorts; }

// The record checks of the property operations: null (-1201), not a
// network port (-1202).
PlovStatus check_property(const PortPro *port)
{
    if (port == nullptr)
        return null_pointer(kNullPointer);
    if (!network_port(*port)) {
        KESP_LOG_ERR("Invalid input param!\n");
        return PLOV_ERR_PARAM;
    }
    return PLOV_OK;
}

// The checks of the loop-mode operations: FPGA 0, port 0 or 1.
PlovStatus check_fpga_port(FpgaId fpga, uint8_t port)
{
    if (fpga != 0) {
        KESP_LOG_ERR("Invalid FpgaID [%d]\n", fpga);
        return PLOV_ERR_FPGA_ID;
    }
    if (port >= kNetPorts) {
        KESP_LOG_ERR("FPGA[%d] Invalid PortID [%d]\n", fpga, port);
        return PLOV_ERR_PORT_ID;
    }
    return PLOV_OK;
}

PlovStatus set_ctrl_bit(FpgaId fpga, uint8_t port, unsigned bit, uint8_t on)
{
    PlovStatus ret = check_fpga_port(fpga, port);
    uint64_t v = 0;
    if (ret == PLOV_OK)
        ret = reg_read_logged(port_reg(kRegCtrl, port), &v);
    if (ret != PLOV_OK)
        return ret;
    v = on != 0 ? (v | 1ULL << bit) : (v & ~(1ULL << bit));
    return reg_write_logged(port_reg(kRegCtrl, port), v);
}

PlovStatus get_ctrl_bit(FpgaId fpga, uint8_t port, unsigned bit, uint8_t *on)
{
    PlovStatus ret = check_fpga_port(fpga, port);
    if (ret != PLOV_OK)
        return ret;
    if (on == nullptr)
        return null_pointer(kNullDetected);
    uint64_t v = 0;
    ret = reg_read_logged(port_reg(kRegCtrl, port), &v);
    if (ret == PLOV_OK)
        *on = static_cast<uint8_t>(v >> bit & 1);
    return ret;
}

PlovStatus check_switch_port(uint8_t port)
{
    if (port < kNetPorts)
        return PLOV_OK;
    KESP_LOG_ERR("Invalid PortID [%d]\n", port);
    return PLOV_ERR_PORT_ID;
}

PlovStatus check_phy_port(FpgaId fpga, uint8_t port)
{
    if (port < kNetPorts)
        return PLOV_OK;
    KESP_LOG_ERR("FPGA[%d] Invalid PortID [%d]\n", fpga, port);
    return PLOV_ERR_PORT_ID;
}

// The PHY-power bits of a port's reset register; -1312 when unreadable.
PlovStatus read_phy_power(uint8_t port, uint64_t *reg)
{
    PlovStatus ret = reg_read(port_reg(kRegReset, port), reg);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("logic read reg fail %d\n", ret);
        return PLOV_ERR_REG_ACCESS;
    }
    return PLOV_OK;
}

} // namespace

PlovStatus KespSetPortSwitch(uint8_t port, uint8_t value)
{
    PlovStatus ret = check_switch_port(port);
    uint64_t v = 0;
    if (ret == PLOV_OK)
        ret = reg_read_logged(port_reg(kRegCtrl, port), &v);
    if (ret != PLOV_OK)
        return ret;
    return reg_write_logged(port_reg(kRegCtrl, port), (v & ~kCtrlSwitchMask) | (value & kCtrlSwitchMask));
}

PlovStatus KespGetPortSwitch(uint8_t port, uint8_t *value)
{
    PlovStatus ret = check_switch_port(port);
    if (ret != PLOV_OK)
        return ret;
    if (value == nullptr)
        return null_pointer(kNullDetected);
    uint64_t v = 0;
    ret = reg_read_logged(port_reg(kRegCtrl, port), &v);
    if (ret == PLOV_OK)
        *value = static_cast<uint8_t>(v & kCtrlSwitchMask);
    return ret;
}

PlovStatus KespTransSetPortPHYLoopMode(FpgaId fpga, uint8_t port, uint8_t mode)
{
    return set_ctrl_bit(fpga, port, kCtrlPhyLoopBit, mode);
}

PlovStatus KespTransGetPortPHYLoopMode(FpgaId fpga, uint8_t port, uint8_t *mode)
{
    return get_ctrl_bit(fpga, port, kCtrlPhyLoopBit, mode);
}

PlovStatus KespTransSetPortMACLoopMode(FpgaId fpga, uint8_t port, uint8_t mode)
{
    return set_ctrl_bit(fpga, port, kCtrlMacLoopBit, mode);
}

PlovStatus KespTransGetPortMACLoopMode(FpgaId fpga, uint8_t port, uint8_t *mode)
{
    return get_ctrl_bit(fpga, port, kCtrlMacLoopBit, mode);
}

PlovStatus KespTransGetPortForcePhyDown(FpgaId fpga, uint8_t port, uint8_t *up)
{
    PlovStatus ret = check_phy_port(fpga, port);
    if (ret != PLOV_OK)
        return ret;
    if (up == nullptr)
        return null_pointer(kNullDetected);
    uint64_t v = 0;
    ret = read_phy_power(port, &v);
    if (ret != PLOV_OK)
        return ret;
    uint64_t bits = v >> kPhyPowerShift & 0x3;
    if (bits != kPhyPowerOn && bits != kPhyPowerDown) {
        KESP_LOG_ERR("phy state error %d", static_cast<int>(bits));
        return PLOV_ERR_PHY_STATE;
    }
    *up = bits == kPhyPowerOn ? 1 : 0;
    return PLOV_OK;
}

PlovStatus KespTransSetPortForcePhyDown(FpgaId fpga, uint8_t port, uint8_t mode)
{
    PlovStatus ret = check_phy_port(fpga, port);
    if (ret != PLOV_OK)
        return ret;
    if (mode > 1) {
        KESP_LOG_ERR("mode value[%d] is error\n", mode);
        return PLOV_ERR_MODE;
    }
    uint64_t v = 0;
    ret = read_phy_power(port, &v);
    if (ret != PLOV_OK)
        return ret;
    uint64_t want = mode == 1 ? kPhyPowerOn : kPhyPowerDown;
    if ((v >> kPhyPowerShift & 0x3) == want)
        return PLOV_OK;
    ret = reg_write(port_reg(kRegReset, port), (v & ~(0x3ULL << kPhyPowerShift)) | want << kPhyPowerShift);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("logic write dir reg error %d\n", ret);
    return ret;
}

PlovStatus KespGetPortLinkStates(FpgaId fpga, uint8_t port, uint8_t *link)
{
    if (link == nullptr)
        return null_pointer(kNullDetected);
    uint8_t up = 0;
    PlovStatus ret = KespTransGetPortForcePhyDown(fpga, port, &up);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("KespTransGetPortForcePhyDown fail %d\n", ret);
        return PLOV_ERR_PHY_QUERY;
    }
    if (up == 0) {
        *link = 0;
        return PLOV_OK;
    }
    uint64_t v = 0;
    ret = reg_read_logged(port_reg(kRegLink, port), &v);
    if (ret == PLOV_OK)
        *link = static_cast<uint8_t>(v & 1);
    return ret;
}

PlovStatus KespSetPortReset(const PortPro *port, int8_t reset)
{
    PlovStatus ret = check_property(port);
    if (ret != PLOV_OK)
        return ret;
    if (reset != 1)
        return PLOV_ERR_RESET_VALUE;
    ret = reg_write(port_reg(kRegReset, port->ID), kResetPulse);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("Port Reset err!\n");
    return ret;
}

PlovStatus KespGetPortReset(const PortPro *port, uint8_t *state)
{
    if (state == nullptr)
        return null_pointer(kNullPointer);
    PlovStatus ret = check_property(port);
    uint64_t v = 0;
    if (ret == PLOV_OK)
        ret = reg_read_logged(port_reg(kRegReset, port->ID), &v);
    if (ret == PLOV_OK)
        *state = (v >> 1 & 0x3) != 0 ? 1 : 0;
    return ret;
}

PlovStatus KespSetMtu(uint16_t, uint16_t vmin)
{
    if (vmin > kMinLenMax) {
        KESP_LOG_ERR("vmin too large!\n");
        return PLOV_ERR_TOO_LARGE;
    }
    PlovStatus ret = reg_write_logged(port_reg(kRegMinLen, 0), vmin);
    if (ret == PLOV_OK)
        ret = reg_write_logged(port_reg(kRegMinLen, 1), vmin);
    return ret;
}

PlovStatus KespGetMtu(uint16_t *vmax, uint16_t *vmin)
{
    if (vmax == nullptr || vmin == nullptr)
        return null_pointer(kNullPointer);
    uint64_t v = 0;
    PlovStatus ret = reg_read_logged(port_reg(kRegMinLen, 0), &v);
    if (ret != PLOV_OK)
        return ret;
    *vmax = kKespMaxFrame;
    *vmin = static_cast<uint16_t>(v & 0xFF);
    return PLOV_OK;
}

namespace {

constexpr uint64_t kRegMacHigh = 0x5000;   // + 2 x port: bytes 0-1; the next: bytes 2-5

PlovStatus check_mac_args(const PortPro *port, const uint8_t *mac)
{
    if (port == nullptr || mac == nullptr)
        return null_pointer(kNullPointer);
    return check_property(port);
}

} // namespace

PlovStatus KespSetPortMac(const PortPro *port, const uint8_t mac[6])
{
    PlovStatus ret = check_mac_args(port, mac);
    if (ret != PLOV_OK)
        return ret;
    uint64_t reg = kRegMacHigh + 2ULL * port->ID;
    uint64_t high = uint64_t{mac[0]} << 8 | mac[1];
    uint64_t low = uint64_t{mac[2]} << 24 | uint64_t{mac[3]} << 16 | uint64_t{mac[4]} << 8 | mac[5];
    ret = reg_write_logged(reg, high);
    if (ret == PLOV_OK)
        ret = reg_write_logged(reg + 1, low);
    return ret;
}

PlovStatus KespGetPortMac(const PortPro *port, uint8_t mac[6])
{
    PlovStatus ret = check_mac_args(port, mac);
    if (ret != PLOV_OK)
        return ret;
    uint64_t reg = kRegMacHigh + 2ULL * port->ID;
    uint64_t v = 0;
    ret = reg_read_logged(reg, &v);
    if (ret != PLOV_OK)
        return ret;
    mac[0] = static_cast<uint8_t>(v >> 8);
    mac[1] = static_cast<uint8_t>(v);
    ret = reg_read_logged(reg + 1, &v);
    if (ret != PLOV_OK) {
        KelvoErr err = memset_s(mac, 6, 0, 6);
        if (err != KelvoOk)
            KESP_LOG_ERR("memset_s failed %d, dest_str %p(%lu), cnt(%lu)\n", err, static_cast<void *>(mac), 6UL, 6UL);
        return ret;
    }
    for (int i = 0; i < 4; i++)
        mac[2 + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    return PLOV_OK;
}

PlovStatus KespClsPortStatistics(const PortPro *port)
{
    PlovStatus ret = check_property(port);
    if (ret == PLOV_OK)
        ret = reg_write_logged(0x5004 + port->ID, 0);
    if (ret == PLOV_OK)
        ret = reg_write_logged(0x5404 + port->ID, 0);
    return ret;
}

// ==== port counters =============================================================================

namespace {

enum class CounterKind {
    Low32,    // the low 32 bits of the register
    Bytes48,  // high 16 bits in the register, low 32 bits in the next
    Low8,     // the low 8 bits (drop counter)
};

struct KespCounter {
    uint64_t PortStatistic::*field;
    uint64_t reg[kNetPorts];
    CounterKind kind;
};

constexpr KespCounter kRxBytes{&PortStatistic::RxBytes, {0x5185, 0x518C}, CounterKind::Bytes48};
constexpr KespCounter kRxError{&PortStatistic::RxError, {0x5184, 0x518B}, CounterKind::Low32};
constexpr KespCounter kRxDrop{&PortStatistic::RxDrop, {0x2193, 0x2593}, CounterKind::Low8};
constexpr KespCounter kRxUni{&PortStatistic::RxTotal, {0x5183, 0x518A}, CounterKind::Low32};
constexpr KespCounter kRxMulti{&PortStatistic::RxMultiCast, {0x5181, 0x5188}, CounterKind::Low32};
constexpr KespCounter kRxBroad{&PortStatistic::RxBroadCast, {0x5182, 0x5189}, CounterKind::Low32};
constexpr KespCounter kTxBytes{&PortStatistic::TxBytes, {0x5585, 0x558C}, CounterKind::Bytes48};
constexpr KespCounter kTxError{&PortStatistic::TxError, {0x5584, 0x558B}, CounterKind::Low32};
constexpr KespCounter kTxUni{&PortStatistic::TxTotal, {0x5580, 0x5587}, CounterKind::Low32};
constexpr KespCounter kTxMulti{&PortStatistic::TxMultiCast, {0x5581, 0x5588}, CounterKind::Low32};
constexpr KespCounter kTxBroad{&PortStatistic::TxBroadCast, {0x5582, 0x5589}, CounterKind::Low32};

PlovStatus read_counter(const PortPro *port, PortStatistic *stat, const KespCounter &c)
{
    PlovStatus ret = check_property(port);
    if (ret == PLOV_OK && stat == nullptr)
        ret = null_pointer(kNullPointer);
    if (ret != PLOV_OK)
        return ret;
    uint64_t reg = c.reg[port->ID];
    uint64_t high = 0;
    if (c.kind == CounterKind::Bytes48) {
        ret = reg_read(reg++, &high);   // the device layer has logged a failure
        if (ret != PLOV_OK)
            return ret;
    }
    uint64_t v = 0;
    ret = reg_read_logged(reg, &v);
    if (ret != PLOV_OK)
        return ret;
    switch (c.kind) {
    case CounterKind::Bytes48:
        stat->*c.field = (high & 0xFFFF) << 32 | (v & 0xFFFFFFFF);
        break;
    case CounterKind::Low8:
        stat->*c.field = v & 0xFF;
        break;
    case CounterKind::Low32:
        stat->*c.field = v & 0xFFFFFFFF;
        break;
    }
    return PLOV_OK;
}

} // namespace

PlovStatus KespGetPortRxBytesCnt(const PortPro *port, PortStatistic *stat) { return read_counter(port, stat, kRxBytes); }
PlovStatus KespGetPortRxErrorCnt(const PortPro *port, PortStatistic *stat) { return read_counter(port, stat, kRxError); }
PlovStatus KespGetPortRxDropCnt(const PortPro *port, PortStatistic *stat) { return read_counter(port, stat, kRxDrop); }
PlovStatus KespGetPortRxUniCastCnt(const PortPro *port, PortStatistic *stat) { return read_counter(port, stat, kRxUni); }
PlovStatus KespGetPortRxMultiCastCnt(const PortPro *port, PortStatistic *stat)
{
    return read_counter(port, stat, kRxMulti);
}
PlovStatus KespGetPortRxBroadCastCnt(const PortPro *port, PortStatistic *stat)
{
    return read_counter(port, stat, kRxBroad);
}
PlovStatus KespGetPortTxBytesCnt(const PortPro *port, PortStatistic *stat) { return read_counter(port, stat, kTxBytes); }
PlovStatus KespGetPortTxErrorCnt(const PortPro *port, PortStatistic *stat) { return read_counter(port, stat, kTxError); }
PlovStatus KespGetPortTxUniCastCnt(const PortPro *port, PortStatistic *stat) { return read_counter(port, stat, kTxUni); }
PlovStatus KespGetPortTxMultiCastCnt(const PortPro *port, PortStatistic *stat)
{
    return read_counter(port, stat, kTxMulti);
}
PlovStatus KespGetPortTxBroadCastCnt(const PortPro *port, PortStatistic *stat)
{
    return read_counter(port, stat, kTxBroad);
}

namespace {

struct CounterGetter {
    const char *name;
    PlovStatus (*get)(const PortPro *, PortStatistic *);
};

constexpr CounterGetter kStatisticsOrder[] = {
    {"KespGetPortRxBytesCnt", KespGetPortRxBytesCnt},
    {"KespGetPortRxErrorCnt", KespGetPortRxErrorCnt},
    {"KespGetPortRxDropCnt", KespGetPortRxDropCnt},
    {"KespGetPortRxUniCastCnt", KespGetPortRxUniCastCnt},
    {"KespGetPortRxMultiCastCnt", KespGetPortRxMultiCastCnt},
    {"KespGetPortRxBroadCastCnt", KespGetPortRxBroadCastCnt},
    {"KespGetPortTxBytesCnt", KespGetPortTxBytesCnt},
    {"KespGetPortTxErrorCnt", KespGetPortTxErrorCnt},
    {"KespGetPortTxUniCastCnt", KespGetPortTxUniCastCnt},
    {"KespGetPortTxMultiCastCnt", KespGetPortTxMultiCastCnt},
    {"KespGetPortTxBroadCastCnt", KespGetPortTxBroadCastCnt},
};

// Media ports: four counters two registers apart per port.
struct MediaCounter {
    uint64_t reg;
    uint64_t PortStatistic::*field;
    const char *failure;
};

constexpr MediaCounter kMediaCounters[] = {
    {0x5192, &PortStatistic::RxTotal, "read RxPktCntAddr err!\n"},
    {0x5193, &PortStatistic::RxError, "read RxErrCntAddr err!\n"},
    {0x5592, &PortStatistic::TxTotal, "read TxPktCntAddr err!\n"},
    {0x5593, &PortStatistic::TxError, "read TxError err!\n"},
};
constexpr uint32_t kMediaPorts = 2;

} // namespace

PlovStatus KespGetPortStatistics(const PortPro *port, PortStatistic *stat)
{
    if (port == nullptr || stat == nullptr)
        return null_pointer(kNullPointer);
    for (const CounterGetter &g : kStatisticsOrder) {
        PlovStatus ret = g.get(port, stat);
        if (ret != PLOV_OK) {
            KESP_LOG_ERR("call %s err!\n", g.name);
            return ret;
        }
    }
    return PLOV_OK;
}

PlovStatus KespGetMediaPortStatistics(const PortPro *port, PortStatistic *stat)
{
    if (port == nullptr || stat == nullptr)
        return null_pointer(kNullPointer);
    if (port->ID >= kMediaPorts) {
        KESP_LOG_ERR("invalid port_id\n");
        return PLOV_ERR_MEDIA_PORT;
    }
    for (const MediaCounter &c : kMediaCounters) {
        uint64_t v = 0;
        PlovStatus ret = reg_read(c.reg + 2ULL * port->ID, &v);
        if (ret != PLOV_OK) {
            KESP_LOG_ERR("%s", c.failure);
            return ret;
        }
        stat->*c.field = v & 0xFFFFFFFF;
    }
    return PLOV_OK;
}

PlovStatus KespClrMediaPortSstistics(const PortPro *) { return PLOV_OK; }

// ==== clocks, run version, anti-CPU settings =====================================================

namespace {

constexpr uint64_t kRegRefClk = 0x480;
constexpr unsigned kPhyMngClkBit = 3;
constexpr unsigned kDxauiClkBit = 9;
constexpr uint32_t kClkWarning = 8;
constexpr uint32_t kClkGood = 1;
constexpr uint64_t kRegRunVer = 0x2;
constexpr uint64_t kRegAntiInterval = 0x6C07;
constexpr uint32_t kIndirAntiLevel = 1;
constexpr uint8_t kAntiPorts = 8;
constexpr uint64_t kAntiLevelMask = 0x3FF;

PlovStatus ref_clock(FpgaId fpga, uint32_t *state, unsigned bit)
{
    if (fpga != 0) {
        KESP_LOG_ERR("Invalid FpgaID [%d]\n", fpga);
        return PLOV_ERR_FPGA_ID;
    }
    if (state == nullptr)
        return null_pointer(kNullDetected);
    uint64_t v = 0;
    PlovStatus ret = reg_read(kRegRefClk, &v);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("logic read reg fail %d\n", ret);
        return PLOV_ERR_REG_ACCESS;
    }
    *state = (v >> bit & 1) != 0 ? kClkWarning : kClkGood;
    return PLOV_OK;
}

uint64_t anti_level_addr(uint8_t port, uint8_t type) { return (uint64_t{type} * 32 + port) & 127; }

PlovStatus check_anti_port(uint8_t port)
{
    if (port < kAntiPorts)
        return PLOV_OK;
    KESP_LOG_ERR("invalid PortID\n");
    return PLOV_ERR_PARAM;
}

} // namespace

PlovStatus KespGetPhyMngRefClkWarnning(FpgaId fpga, uint32_t *state) { return ref_clock(fpga, state, kPhyMngClkBit); }
PlovStatus KespGetDxauiRefClkWarnning(FpgaId fpga, uint32_t *state) { return ref_clock(fpga, state, kDxauiClkBit); }

PlovStatus KespGetFwRunVer(FpgaId, uint32_t *version)
{
    if (version == nullptr)
        return null_pointer(kNullDetected);
    uint64_t v = 0;
    PlovStatus ret = reg_read_logged(kRegRunVer, &v);
    if (ret == PLOV_OK)
        *version = static_cast<uint32_t>((v & 0xF) + 100 * (v >> 4));
    return ret;
}

PlovStatus KespSetAntiCpuIntervalTime(uint8_t interval) { return reg_write_logged(kRegAntiInterval, interval & 7u); }

PlovStatus KespGetAntiCpuIntervalTime(uint8_t *interval)
{
    if (interval == nullptr)
        return null_pointer(kNullDetected);
    uint64_t v = 0;
    PlovStatus ret = reg_read_logged(kRegAntiInterval, &v);
    if (ret == PLOV_OK)
        *interval = static_cast<uint8_t>(v & 7);
    return ret;
}

PlovStatus KespSetAntiCpuLevel(uint8_t port, uint8_t type, uint16_t level)
{
    PlovStatus ret = check_anti_port(port);
    if (ret != PLOV_OK)
        return ret;
    ret = indir_write_word(kIndirAntiLevel, anti_level_addr(port, type), level & kAntiLevelMask);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("call KespWriteIndregByID err\n");
    return ret;
}

PlovStatus KespGetAntiCpuLevel(uint8_t port, uint8_t type, uint16_t *level)
{
    PlovStatus ret = check_anti_port(port);
    if (ret != PLOV_OK)
        return ret;
    if (level == nullptr)
        return null_pointer(kNullDetected);
    IndirBuf buf;
    ret = indir_read(kIndirAntiLevel, anti_level_addr(port, type), buf);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("call KespReadIndregByID err\n");
        return ret;
    }
    *level = static_cast<uint16_t>(buf[1] & kAntiLevelMask);
    return PLOV_OK;
}

// ==== queues =====================================================================================

namespace {

constexpr uint32_t kIndirRxSwitch = 3;    // Rx queues and RL (Tx group) switches
constexpr uint32_t kIndirTxSwitch = 40;   // Tx queue switches
constexpr uint32_t kIndirWaterLvl = 7;
constexpr uint32_t kIndirHashRule = 10;
constexpr uint32_t kIndirRxStat = 11;
constexpr uint32_t kIndirRxGrpStat = 12;  // Rx queue and Tx-group counters
constexpr uint32_t kIndirTxStat = 53;
constexpr uint32_t kIndirSyncId = 13;

// Accepted ids per queue type (0xFFFF passes every type).
constexpr uint32_t kQueueIdLimit[] = {111, 55, 13};
constexpr uint32_t kRxMembers[] = {1, 5, 6, 7};
constexpr uint32_t kTxMembers[] = {1, 2, 3};

uint32_t queue_id(const QueueId &q) { return q.QueueId & 0xFFFF; }

// The first checks of every queue operation: a null queue (-1201, not
// logged), then the range of its type (-1335, not logged).
PlovStatus check_queue(const QueueId *queue)
{
    if (queue == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (queue->QueueType >= std::size(kQueueIdLimit))
        return PLOV_ERR_QUEUE_ID;
    uint32_t id = queue_id(*queue);
    return id <= kQueueIdLimit[queue->QueueType] || id == KESP_QUEUE_ALL ? PLOV_OK : PLOV_ERR_QUEUE_ID;
}

// The line each operation logs when the mapping fails (the mapping has
// logged its own line already).
enum class MapLine { None, IRet, IRetSpaced, Plain };

void log_map_failure(MapLine line, PlovStatus ret)
{
    switch (line) {
    case MapLine::None:
        break;
    case MapLine::IRet:
        KESP_LOG_ERR("call KespMapQueueIndex err,iRet= %d\n", ret);
        break;
    case MapLine::IRetSpaced:
        KESP_LOG_ERR("call KespMapQueueIndex err,iRet = %d\n", ret);
        break;
    case MapLine::Plain:
        KESP_LOG_ERR("call KespMapQueueIndex err\n");
        break;
    }
}

// The queue's word address: the Tx form for Tx queues, the type-0 form for
// Rx queues and Tx groups.
PlovStatus queue_address(const QueueId &queue, uint32_t *addr, MapLine line)
{
    uint32_t index = 0;
    PlovStatus ret = KespMapQueueIndex(&queue, &index);
    if (ret != PLOV_OK) {
        log_map_failure(line, ret);
        return ret;
    }
    uint32_t form = queue.QueueType == QUEUE_TYPE_TX ? QUEUE_TYPE_TX : QUEUE_TYPE_RX;
    return KespGetIndregAddrOfQueue(form, index, addr);
}

uint32_t switch_register(const QueueId &queue)
{
    return queue.QueueType == QUEUE_TYPE_TX ? kIndirTxSwitch : kIndirRxSwitch;
}

// One group's switches: the register and the positions in the group, in order.
struct GroupSwitch {
    uint32_t reg;
    uint32_t positions[4];
    size_t count;
};
constexpr GroupSwitch kRlGroup{kIndirRxSwitch, {0}, 1};
constexpr GroupSwitch kTxGroup{kIndirTxSwitch, {1, 2, 3}, 3};
constexpr GroupSwitch kRxGroup{kIndirRxSwitch, {7, 6, 5, 1}, 4};

uint64_t group_addr(uint32_t group, uint32_t position) { return uint64_t{group} << 4 | position; }

PlovStatus set_group(const GroupSwitch &g, uint32_t group, uint32_t on)
{
    for (size_t i = 0; i < g.count; i++) {
        PlovStatus ret = indir_write_word(g.reg, group_addr(group, g.positions[i]), on & 1);
        if (ret != PLOV_OK) {
            KESP_LOG_ERR("call KespWriteIndregByID err,iRet = %d\n", ret);
            return ret;
        }
    }
    return PLOV_OK;
}

// The switch bits of a group's positions; the first read failure ends it
// (its position in *failed).
PlovStatus read_group(const GroupSwitch &g, uint32_t group, uint32_t bits[4], uint32_t *failed)
{
    for (size_t i = 0; i < g.count; i++) {
        IndirBuf buf;
        PlovStatus ret = indir_read(g.reg, group_addr(group, g.positions[i]), buf);
        if (ret != PLOV_OK) {
            *failed = g.positions[i];
            return ret;
        }
        bits[i] = static_cast<uint32_t>(buf[1] & 1);
    }
    return PLOV_OK;
}

// The position whose bit differs from the first one's, or 0 when all agree.
uint32_t disagreeing(const GroupSwitch &g, const uint32_t bits[4])
{
    for (size_t i = 1; i < g.count; i++)
        if (bits[i] != bits[0])
            return g.positions[i];
    return 0;
}

// The group setters and getters of a queue type, for the all-group paths.
struct TypeSwitch {
    PlovStatus (*set)(uint32_t group, uint32_t on);
    PlovStatus (*get)(uint32_t group, uint32_t *on);
};

const TypeSwitch *type_switch(uint32_t type)
{
    static constexpr TypeSwitch kByType[] = {
        {KespSetRxQueuesSwitch, KespGetRxQueuesSwitch},
        {KespSetTxQueuesSwitch, KespGetTxQueuesSwitch},
        {KespSetRlQueueSwitch, KespGetRlQueuesSwitch},
    };
    if (type >= std::size(kByType)) {
        KESP_LOG_ERR(" queue Type err\n");
        return nullptr;
    }
    return &kByType[type];
}

PlovStatus set_all_groups(uint32_t type, uint32_t on)
{
    const TypeSwitch *ts = type_switch(type);
    if (ts == nullptr)
        return PLOV_ERR_QUEUE_TYPE;
    for (uint32_t g = 0; g < KESP_QUEUE_GROUPS; g++) {
        PlovStatus ret = ts->set(g, on);
        if (ret != PLOV_OK) {
            KESP_LOG_ERR("set  queue[type %d] switch err,return %d\n", type, ret);
            return ret;
        }
    }
    return PLOV_OK;
}

PlovStatus get_all_groups(uint32_t type, uint32_t *on)
{
    const TypeSwitch *ts = type_switch(type);
    if (ts == nullptr)
        return PLOV_ERR_QUEUE_TYPE;
    uint32_t first = 0;
    for (uint32_t g = 0; g < KESP_QUEUE_GROUPS; g++) {
        uint32_t v = 0;
        PlovStatus ret = ts->get(g, &v);
        if (ret != PLOV_OK) {
            KESP_LOG_ERR("Queue Type %d Get Group %d switch  err,iRet = %d\n", type, g, ret);
            return ret;
        }
        if (g == 0)
            first = v;
        else if (v != first) {
            KESP_LOG_ERR("Queue Type %d Group %d switch  err,iRet = %d\n", type, g, PLOV_ERR_SWITCH_MISMATCH);
            return PLOV_ERR_SWITCH_MISMATCH;
        }
    }
    *on = first;
    return PLOV_OK;
}

} // namespace

PlovStatus KespMapQueueIndex(const QueueId *queue, uint32_t *index)
{
    if (queue == nullptr || index == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint32_t id = queue_id(*queue);
    switch (queue->QueueType) {
    case QUEUE_TYPE_RX: {
        uint32_t group = id >> 3, member = id & 7;
        if (group < KESP_QUEUE_GROUPS && member < std::size(kRxMembers)) {
            *index = group * 8 + kRxMembers[member];
            return PLOV_OK;
        }
        if (group >= KESP_QUEUE_GROUPS && member == 0) {
            *index = 7;
            return PLOV_OK;
        }
        break;
    }
    case QUEUE_TYPE_TX: {
        uint32_t group = id >> 2, member = id & 3;
        if (group < KESP_QUEUE_GROUPS && member < std::size(kTxMembers)) {
            *index = group * 4 + kTxMembers[member];
            return PLOV_OK;
        }
        if (group >= KESP_QUEUE_GROUPS && member == 0) {
            *index = 0;
            return PLOV_OK;
        }
        break;
    }
    case QUEUE_TYPE_TX_GROUP:
        *index = id * 8;
        return PLOV_OK;
    default:
        return PLOV_ERR_QUEUE_ID;
    }
    KESP_LOG_ERR("QueueID err\n");
    return PLOV_ERR_QUEUE_ID;
}

PlovStatus KespGetIndregAddrOfQueue(uint32_t type, uint32_t index, uint32_t *addr)
{
    if (addr == nullptr)
        return PLOV_ERR_NULL_PTR;
    switch (type) {
    case QUEUE_TYPE_TX:
        *addr = ((index * 4) & 0xF0) | (index & 3);
        return PLOV_OK;
    case QUEUE_TYPE_RX:
    case QUEUE_TYPE_TX_GROUP:
        *addr = ((index * 2) & 0xF0) | (index & 7);
        return PLOV_OK;
    default:
        return PLOV_ERR_QUEUE_TYPE;
    }
}

PlovStatus KespSetQueueSwitch(const QueueId *queue, uint32_t on)
{
    PlovStatus ret = check_queue(queue);
    if (ret != PLOV_OK)
        return ret;
    if (queue_id(*queue) == KESP_QUEUE_ALL)
        return set_all_groups(queue->QueueType, on);
    uint32_t addr = 0;
    ret = queue_address(*queue, &addr, MapLine::IRet);
    if (ret != PLOV_OK)
        return ret;
    ret = indir_write_word(switch_register(*queue), addr, on & 1);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("call KespWriteIndregByID err\n");
    return ret;
}

PlovStatus KespGetQueueSwitch(const QueueId *queue, uint32_t *on)
{
    PlovStatus ret = check_queue(queue);
    if (ret != PLOV_OK)
        return ret;
    if (on == nullptr)
        return null_pointer("NULL pointer detected\n");
    if (queue_id(*queue) == KESP_QUEUE_ALL)
        return get_all_groups(queue->QueueType, on);
    uint32_t addr = 0;
    ret = queue_address(*queue, &addr, MapLine::IRet);
    if (ret != PLOV_OK)
        return ret;
    IndirBuf buf;
    ret = indir_read(switch_register(*queue), addr, buf);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("call KespReadIndregByID err\n");
        return ret;
    }
    *on = static_cast<uint32_t>(buf[1] & 1);
    return PLOV_OK;
}

PlovStatus KespSetRxQueuesSwitch(uint32_t group, uint32_t on) { return set_group(kRxGroup, group, on); }
PlovStatus KespSetTxQueuesSwitch(uint32_t group, uint32_t on) { return set_group(kTxGroup, group, on); }
PlovStatus KespSetRlQueueSwitch(uint32_t group, uint32_t on) { return set_group(kRlGroup, group, on); }

PlovStatus KespGetRlQueuesSwitch(uint32_t group, uint32_t *on)
{
    if (on == nullptr)
        return null_pointer(kNullLower);
    uint32_t bits[4] = {}, failed = 0;
    PlovStatus ret = read_group(kRlGroup, group, bits, &failed);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("call KespReadIndregByID err\n");
        return ret;
    }
    *on = bits[0];
    return PLOV_OK;
}

PlovStatus KespGetTxQueuesSwitch(uint32_t group, uint32_t *on)
{
    if (on == nullptr)
        return null_pointer(kNullLower);
    uint32_t bits[4] = {}, failed = 0;
    if (read_group(kTxGroup, group, bits, &failed) != PLOV_OK) {
        KESP_LOG_ERR("read indreg fail RegId %d", kIndirTxSwitch);
        return PLOV_ERR_INDIR_READ;
    }
    if (uint32_t pos = disagreeing(kTxGroup, bits); pos != 0) {
        KESP_LOG_ERR("TXQ group %d queue %d has different queue switch setting\n", group, pos);
        return PLOV_ERR_SWITCH_MISMATCH;
    }
    *on = bits[0];
    return PLOV_OK;
}

PlovStatus KespGetRxQueuesSwitch(uint32_t group, uint32_t *on)
{
    if (on == nullptr)
        return null_pointer(kNullLower);
    uint32_t bits[4] = {}, failed = 0;
    PlovStatus ret = read_group(kRxGroup, group, bits, &failed);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("call get RX queue switch  err,iRet = %d,queue [G%d:ID%d]\n", ret, group, failed);
        return ret;
    }
    if (uint32_t pos = disagreeing(kRxGroup, bits); pos != 0) {
        KESP_LOG_ERR("RXQ group %d queue %d has different queue switch setting\n", group, pos);
        return PLOV_ERR_SWITCH_MISMATCH;
    }
    *on = bits[0];
    return PLOV_OK;
}

namespace {

// The counters of a queue type: register and the QueueStat word it fills.
struct StatRead {
    uint32_t reg;
    size_t counter;
};
struct TypeStats {
    StatRead reads[2];
    size_t count;
};
constexpr TypeStats kStatsByType[] = {
    {{{kIndirRxStat, 1}, {kIndirRxGrpStat, 0}}, 2},   // Rx queue
    {{{kIndirTxStat, 0}}, 1},                          // Tx queue
    {{{kIndirRxGrpStat, 2}}, 1},                       // Tx group
};

} // namespace

PlovStatus KespClsQueueStatics(const QueueId *queue)
{
    PlovStatus ret = check_queue(queue);
    uint32_t addr = 0;
    if (ret == PLOV_OK)
        ret = queue_address(*queue, &addr, MapLine::IRetSpaced);
    if (ret != PLOV_OK)
        return ret;
    const TypeStats &ts = kStatsByType[queue->QueueType];
    for (size_t i = 0; i < ts.count; i++) {
        IndirBuf buf{addr};
        ret = judged(KespClearCntIndregByID(ts.reads[i].reg, buf.data()));
        if (ret != PLOV_OK) {
            KESP_LOG_ERR("call KespClearCntIndregByID err\n");
            return ret;
        }
    }
    return PLOV_OK;
}

PlovStatus KespGetQueueStatics(const QueueId *queue, QueueStat *stat)
{
    PlovStatus ret = check_queue(queue);
    if (ret != PLOV_OK)
        return ret;
    if (stat == nullptr)
        return null_pointer(kNullLower);
    uint32_t addr = 0;
    if (queue_address(*queue, &addr, MapLine::None) != PLOV_OK)
        return PLOV_ERR_QUEUE_ID;
    const TypeStats &ts = kStatsByType[queue->QueueType];
    for (size_t i = 0; i < ts.count; i++) {
        IndirBuf buf;
        ret = indir_read(ts.reads[i].reg, addr, buf);
        if (ret != PLOV_OK) {
            KESP_LOG_ERR("call KespReadIndregByID err\n");
            return ret;
        }
        stat->Counter[ts.reads[i].counter] = buf[1] & 0xFFFFFFFF;
    }
    return PLOV_OK;
}

namespace {

constexpr unsigned kWaterShift = 4;

// The water-level entry of an Rx queue or a Tx group; Tx queues have none
// (their type-0 address would be another queue's entry).
PlovStatus water_level_address(const QueueId *queue, uint32_t *addr, MapLine line)
{
    PlovStatus ret = check_queue(queue);
    if (ret != PLOV_OK)
        return ret;
    if (queue->QueueType == QUEUE_TYPE_TX) {
        KESP_LOG_ERR("Queue type err\n");
        return PLOV_ERR_PARAM;
    }
    uint32_t index = 0;
    ret = KespMapQueueIndex(queue, &index);
    if (ret != PLOV_OK) {
        log_map_failure(line, ret);
        return ret;
    }
    ret = KespGetIndregAddrOfQueue(QUEUE_TYPE_RX, index, addr);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("call KespGetIndregAddrOfQueue err\n");
    return ret;
}

} // namespace

PlovStatus KespGetQueueWaterLvl(const QueueId *queue, QueueWaterLevel *level)
{
    if (queue != nullptr && level == nullptr)
        return null_pointer(kNullLower);
    uint32_t addr = 0;
    PlovStatus ret = water_level_address(queue, &addr, MapLine::Plain);
    if (ret != PLOV_OK)
        return ret;
    IndirBuf buf;
    ret = indir_read(kIndirWaterLvl, addr, buf);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("call KespReadIndregByID err\n");
        return ret;
    }
    level->Highlevel = level->Lowlevel = buf[1] >> kWaterShift & 0xFFFF;
    return PLOV_OK;
}

PlovStatus KespSetQueueWaterLvl(const QueueId *queue, const QueueWaterLevel *level)
{
    if (queue != nullptr && level == nullptr)
        return null_pointer(kNullLower);
    uint32_t addr = 0;
    PlovStatus ret = water_level_address(queue, &addr, MapLine::IRet);
    if (ret != PLOV_OK)
        return ret;
    IndirBuf buf;
    ret = indir_read(kIndirWaterLvl, addr, buf);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("call KespReadIndregByID err\n");
        return ret;
    }
    buf[0] = addr;
    buf[1] = (buf[1] & 0xF) | (level->Highlevel & 0xFFFF) << kWaterShift;
    ret = indir_write(kIndirWaterLvl, buf);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("call KespWriteIndregByID err\n");
    return ret;
}

// ==== sync id, hash rule, data offset, buffers, memory configuration ============================

namespace {

constexpr uint8_t kSyncQueueMax = 31;
constexpr uint16_t kSyncIdMax = 2047;
constexpr uint64_t kSyncMask = 0x7FF;
constexpr uint64_t kRegDataOffset = 0x5850;
constexpr uint64_t kBlockMask = 0x1FFF;
constexpr uint64_t kBlockRing = 8192;
constexpr uint64_t kBlockBytes = 256;

// The two pointer registers of a hardware-buffer pool.
struct RegPair {
    uint64_t first, second;
};
constexpr RegPair kHwBufPointers[] = {{0x5D43, 0x5D44}, {0x5D23, 0x5D24}};   // by bit 1 of the pool type
constexpr RegPair kPoolBase[] = {{0x10, 0x11}, {0x12, 0x13}, {0x14, 0x15}};  // by selector bit 1, bit 2, neither

const RegPair &pool_base_pair(uint32_t selector)
{
    if (selector & 0x2)
        return kPoolBase[0];
    return selector & 0x4 ? kPoolBase[1] : kPoolBase[2];
}

} // namespace

PlovStatus KespSetSyncId(FpgaId, uint8_t queue, uint16_t sync)
{
    if (queue > kSyncQueueMax || sync > kSyncIdMax)
        return PLOV_ERR_PARAM;
    PlovStatus ret = indir_write_word(kIndirSyncId, queue & 63u, sync & kSyncMask);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("call KespWriteIndregByID err\n");
    return ret;
}

PlovStatus KespGetSyncId(FpgaId, uint8_t queue, uint16_t *sync)
{
    if (queue > kSyncQueueMax)
        return PLOV_ERR_PARAM;
    if (sync == nullptr)
        return null_pointer(kNullLower);
    IndirBuf buf;
    PlovStatus ret = indir_read(kIndirSyncId, queue & 63u, buf);
    if (ret != PLOV_OK) {
        *sync = 0;
        KESP_LOG_ERR("call KespReadIndregByID err\n");
        return ret;
    }
    *sync = static_cast<uint16_t>(buf[1] & kSyncMask);
    return PLOV_OK;
}

PlovStatus KespSetRxqHashRule(const RxqHashRule *rule)
{
    if (rule == nullptr)
        return null_pointer(kNullLower);
    PlovStatus ret = indir_write_word(kIndirHashRule, rule->HashKey & 0xFFFu, rule->VcpuID & 0xFu);
    if (ret != PLOV_OK)
        KESP_LOG_ERR("call KespWriteIndregByID err\n");
    return ret;
}

PlovStatus KespGetRxqHashRule(RxqHashRule *rule)
{
    if (rule == nullptr)
        return null_pointer(kNullLower);
    IndirBuf buf;
    PlovStatus ret = indir_read(kIndirHashRule, rule->HashKey & 0xFFFu, buf);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("call KespReadIndregByID err\n");
        return ret;
    }
    rule->VcpuID = static_cast<uint8_t>(buf[1] & 0xF);
    return PLOV_OK;
}

PlovStatus KespSetQueueDataOffset(uint16_t offset) { return reg_write(kRegDataOffset, offset); }

PlovStatus KespGetQueueDataOffset(uint16_t *offset)
{
    if (offset == nullptr)
        return null_pointer(kNullLower);
    uint64_t v = 0;
    PlovStatus ret = reg_read_logged(kRegDataOffset, &v);
    if (ret == PLOV_OK)
        *offset = static_cast<uint16_t>(v);
    return ret;
}

PlovStatus KespGetFreeBlockOfHwBuf(uint32_t poolType, uint64_t *blocks)
{
    if (blocks == nullptr)
        return null_pointer(kNullLower);
    const RegPair &regs = kHwBufPointers[poolType >> 1 & 1];
    uint64_t a = 0, b = 0;
    PlovStatus ret = reg_read_logged(regs.first, &a);
    if (ret == PLOV_OK)
        ret = reg_read_logged(regs.second, &b);
    if (ret != PLOV_OK)
        return ret;
    a &= kBlockMask;
    b &= kBlockMask;
    *blocks = (a - b + (a < b ? kBlockRing : 0)) * kBlockBytes;
    return PLOV_OK;
}

PlovStatus KespGetPoolBaseAddr(PoolBaseRec *rec)
{
    if (rec == nullptr)
        return null_pointer("NULL pointer detected!\n");
    const RegPair &regs = pool_base_pair(rec->PoolNum);
    uint64_t high = 0, low = 0;
    PlovStatus ret = reg_read_logged(regs.first, &high);
    if (ret != PLOV_OK)
        return ret;
    ret = reg_read_logged(regs.second, &low);
    rec->PhyAddr = ret == PLOV_OK ? (high & 0xFFFFFFFF) << 32 | (low & 0xFFFFFFFF) : 0;
    return ret;
}

PlovStatus KespSetMemCfg(const ShareMemEntry *map, const MemCfg *cfg, ShareMemEntry *scratch)
{
    if (map == nullptr || cfg == nullptr || scratch == nullptr)
        return null_pointer(kNullLower);
    PlovStatus ret = KespLogicGetShmem(scratch);
    if (ret < 0) {
        KESP_LOG_ERR("Call KespLogicGetShmem failed!\n");
        return ret;
    }
    if (scratch[0].PhyAddr == 0) {
        ret = KespLogicSetShmem(map);
        if (ret < 0) {
            KESP_LOG_ERR("Call KespLogicSetShmem failed!\n");
            return ret;
        }
    }
    ret = KespLogicSetMemDep(cfg);
    if (ret < 0)
        KESP_LOG_ERR("Call KespLogicSetMemDep failed!\n");
    return ret;
}

// ==== SFP cages ====================================================================================

namespace {

constexpr uint64_t kRegSfpClear = 0x103;    // one bit per cage, cleared before the presence read
constexpr uint64_t kRegSfpAbsent = 0x101;   // bit set: no module
constexpr uint32_t kSfpPage = 256;

PlovStatus check_sfp_fpga_cage(FpgaId fpga, uint8_t cage)
{
    if (fpga != 0) {
        KESP_LOG_ERR("Invalid FpgaID [%d]\n", fpga);
        return PLOV_ERR_FPGA_ID;
    }
    if (cage >= KESP_SFP_CAGES) {
        KESP_LOG_ERR("Invalid PortID [%d]\n", cage);
        return PLOV_ERR_PORT_ID;
    }
    return PLOV_OK;
}

// The identity fields in the order they are read, each with its failure line
// (the speed getter's failure is returned without one).
struct SfpField {
    PlovStatus (*get)(const sfp_ops *, uint8_t *);
    size_t offset;
    const char *name;
};
constexpr SfpField kSfpIdentity[] = {
    {sfp_8472_get_vendor_name, offsetof(SfpInfo, VendorName), "sfp_8472_get_vendor_name"},
    {sfp_8472_get_vendor_pn, offsetof(SfpInfo, VendorPn), "sfp_8472_get_vendor_pn"},
    {sfp_8472_get_vendor_sn, offsetof(SfpInfo, VendorSn), "sfp_8472_get_vendor_sn"},
    {sfp_8472_get_manufacture_date, offsetof(SfpInfo, Date), "sfp_8472_get_manufacture_date"},
    {sfp_8472_get_identifier_id, offsetof(SfpInfo, Identifier), "sfp_8472_get_identifier_id"},
    {sfp_8472_get_connector_type, offsetof(SfpInfo, Connector), "sfp_8472_get_connector_type"},
    {sfp_8472_get_link_length, offsetof(SfpInfo, LinkLength), "sfp_8472_get_link_length"},
    {sfp_8472_get_ethernet_speed, offsetof(SfpInfo, Compliance), nullptr},
    {sfp_8472_get_wavelength, offsetof(SfpInfo, Wavelength), "sfp_8472_get_wavelength"},
};

} // namespace

PlovStatus KespGetSfpPresent(FpgaId fpga, uint8_t cage, uint8_t *present)
{
    PlovStatus ret = check_sfp_fpga_cage(fpga, cage);
    if (ret != PLOV_OK)
        return ret;
    if (present == nullptr)
        return null_pointer(kNullLower);
    uint64_t v = 0;
    ret = reg_read_logged(kRegSfpClear, &v);
    if (ret == PLOV_OK)
        ret = reg_write_logged(kRegSfpClear, v & ~(1ULL << cage));
    if (ret == PLOV_OK)
        ret = reg_read_logged(kRegSfpAbsent, &v);
    if (ret == PLOV_OK)
        *present = (v >> cage & 1) == 0 ? 1 : 0;
    return ret;
}

PlovStatus KespGetSfpInfo(FpgaId fpga, uint8_t cage, SfpInfo *info)
{
    if (info == nullptr)
        return null_pointer(kNullLower);
    PlovStatus ret = check_sfp_fpga_cage(fpga, cage);
    if (ret != PLOV_OK)
        return ret;
    sfp_ops ops{};
    ops.handle = cage;
    ops.read = KespReadSfpInfoByReg;
    for (const SfpField &f : kSfpIdentity) {
        ret = f.get(&ops, reinterpret_cast<uint8_t *>(info) + f.offset);
        if (ret == PLOV_OK)
            continue;
        if (f.name != nullptr)
            KESP_LOG_ERR("Call %s error, iRet = %d", f.name, ret);
        return ret;
    }
    return PLOV_OK;
}

PlovStatus KespReadSfpInfoByReg(uint8_t handle, uint32_t dev, uint32_t offset, uint32_t length, uint8_t *buf)
{
    if (buf == nullptr)
        return null_pointer(kNullLower);
    if (handle >= KESP_SFP_CAGES) {
        KESP_LOG_ERR("Invalid PortID [%d]\n", handle);
        return PLOV_ERR_PORT_ID;
    }
    if (offset >= kSfpPage || length == 0 || length > kSfpPage - offset) {
        KESP_LOG_ERR("invalid offset [%u] length [%u]\n", offset, length);
        return PLOV_ERR_PARAM;
    }
    SfpRegReq req{};
    req.port = handle;
    req.offset = static_cast<uint8_t>(offset);
    req.length = static_cast<uint16_t>(length);
    req.dev = dev;
    req.buf = buf;
    return KespGetSfpReg(&req);
}

// ==== interrupt affinity and the MSI-X interrupt timer ===============================================

namespace {

constexpr const char *kRxIrqName = "trans-user-Rx-0";
constexpr size_t kIrqText = 256;
constexpr uint32_t kIndirMsixTimer = 56;
constexpr uint64_t kMsixTimerAddr = 13;

// "/proc/irq/<irq>/smp_affinity".
PlovStatus affinity_path(uint32_t irq, char (&path)[kIrqText])
{
    int n = snprintf_s(path, sizeof path, sizeof path - 1, "/proc/irq/%u/smp_affinity", irq);
    if (n < 0) {
        KESP_LOG_ERR("generate irq file name failed,iRet = %d\n", n);
        return PLOV_ERR_PARSE;
    }
    return PLOV_OK;
}

// The CPU of the lowest of bits 0 to 11 in the mask; the interrupt must be
// bound to exactly one of them.
PlovStatus single_cpu(uint64_t mask, uint32_t irq, const char *path, uint8_t *cpu)
{
    int found = -1;
    for (int bit = 0; bit < KESP_VCPUS_MAX_NUM; bit++) {
        if ((mask >> bit & 1) == 0)
            continue;
        if (found >= 0) {
            KESP_LOG_ERR("bind  Msix_irq =%d to more then one CPU \n", irq);
            return PLOV_ERR_IRQ_MANY_CPUS;
        }
        found = bit;
    }
    if (found < 0) {
        KESP_LOG_ERR("bind  Msix_irq failed:%s \n", path);
        return PLOV_ERR_IRQ_UNBOUND;
    }
    *cpu = static_cast<uint8_t>(found);
    return PLOV_OK;
}

// Scan "/proc/interrupts" line by line, whole lines however long.
PlovStatus find_rx_irq(FILE *f, uint32_t *mode, uint32_t *irq)
{
    char *line = nullptr;
    size_t cap = 0;
    PlovStatus ret = PLOV_OK;
    *mode = KESP_IRQ_TIMER;
    while (getline(&line, &cap, f) >= 0) {
        if (std::strstr(line, kRxIrqName) == nullptr)
            continue;
        *mode = KESP_IRQ_MSIX;
        unsigned no = 0;
        int n = sscanf_s(line, "%u[^:]", &no);
        if (n < 1) {
            KESP_LOG_ERR("Get msix irq_no err %d\n", n);
            ret = PLOV_ERR_PARSE;
        } else {
            *irq = no;
        }
        break;
    }
    std::free(line);
    return ret;
}

} // namespace

PlovStatus IsMsixIrqMode(uint32_t *mode, uint32_t *irq)
{
    if (mode == nullptr || irq == nullptr)
        return null_pointer(kNullLower);
    FILE *f = host().fopen(KESP_INTERRUPTS_PATH, "r");
    if (f == nullptr) {
        KESP_LOG_ERR("Open File %s error, errno = %d!\n", KESP_INTERRUPTS_PATH, errno);
        return PLOV_ERR_OPEN;
    }
    PlovStatus ret = find_rx_irq(f, mode, irq);
    std::fclose(f);
    return ret;
}

PlovStatus GetMsixIrqBind(uint32_t irq, uint8_t *cpu)
{
    if (cpu == nullptr)
        return null_pointer(kNullLower);
    char path[kIrqText];
    PlovStatus ret = affinity_path(irq, path);
    if (ret != PLOV_OK)
        return ret;
    FILE *f = host().fopen(path, "r");
    if (f == nullptr) {
        KESP_LOG_ERR("Open File %s error \n", path);
        return PLOV_ERR_OPEN;
    }
    char text[kIrqText] = {};
    bool read = std::fgets(text, sizeof text, f) != nullptr;
    std::fclose(f);
    if (!read) {
        KESP_LOG_ERR("get irq_config from file:%s err \n", path);
        return PLOV_ERR_PARSE;
    }
    unsigned long long mask = 0;
    if (sscanf_s(text, "%*x,%*x,%*x,%llx", &mask) != 1) {
        KESP_LOG_ERR("get  Msix_irq cpu err \n");
        return PLOV_ERR_PARSE;
    }
    return single_cpu(mask, irq, path, cpu);
}

PlovStatus SetMsixIrqBind(uint32_t irq, uint8_t cpu)
{
    char path[kIrqText];
    PlovStatus ret = affinity_path(irq, path);
    if (ret != PLOV_OK)
        return ret;
    char text[kIrqText];
    int n = snprintf_s(text, sizeof text, sizeof text - 1, "000000,00000000,00000000,%08x", 1u << (cpu & 31));
    if (n < 0) {
        KESP_LOG_ERR("generate irq config string failed,iRet = %d\n", n);
        return PLOV_ERR_PARSE;
    }
    FILE *f = host().fopen(path, "r+");
    if (f == nullptr) {
        KESP_LOG_ERR("Open File %s error \n", path);
        return PLOV_ERR_OPEN;
    }
    size_t length = static_cast<size_t>(n) + 1;   // the terminating zero travels too
    bool written = std::fwrite(text, 1, length, f) == length;
    written = std::fclose(f) == 0 && written;
    if (!written) {
        KESP_LOG_ERR("set irq_config to file:%s err \n", path);
        return PLOV_ERR_PARSE;
    }
    return PLOV_OK;
}

PlovStatus KespGetMsixIntTimer(uint16_t *timer)
{
    if (timer == nullptr)
        return null_pointer(kNullLower);
    IndirBuf buf;
    PlovStatus ret = indir_read(kIndirMsixTimer, kMsixTimerAddr, buf);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("call KespReadIndregByID err %d\n", ret);
        return PLOV_ERR_REG_ACCESS;
    }
    *timer = static_cast<uint16_t>(buf[1]);
    return PLOV_OK;
}

PlovStatus KespSetMsixIntTimer(uint32_t timer)
{
    IndirBuf buf;
    PlovStatus ret = indir_read(kIndirMsixTimer, kMsixTimerAddr, buf);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("call KespReadIndregByID err %d\n", ret);
        return PLOV_ERR_REG_ACCESS;
    }
    buf[0] = kMsixTimerAddr;
    buf[1] = (buf[1] & 0xFFFF0000) | (timer & 0xFFFF);
    ret = indir_write(kIndirMsixTimer, buf);
    if (ret != PLOV_OK) {
        KESP_LOG_ERR("call KespWriteIndregByID err %d\n", ret);
        return PLOV_ERR_REG_ACCESS;
    }
    return PLOV_OK;
}
