// DORN port control.
#include "boardlib/dorn_port.h"

#include "boardlib/dorn_intf.h"
#include "boardlib/dorn_reg.h"
#include "boardlib/dorn_sfp.h"
#include "boardlib/board_util.h"
#include "boardlib/plov_check.h"
#include "kelvo/kelvo.h"

namespace {

constexpr uint8_t kTransPorts = 12;
constexpr uint8_t kSbufPorts = 8;
constexpr uint64_t kPhyParaBase = 0x1407;
constexpr uint64_t kDePauseCtrl = 0x1405;
constexpr uint64_t kDePauseLevel = 0x1406;
constexpr uint64_t kForceDown = 0x1417;
constexpr uint64_t kOpticalAn = 0x1424;
constexpr uint64_t kOpticalSpeed = 0x1400;
constexpr uint64_t kSfpStatusBits = 0x1423;
constexpr uint8_t kPhyCtrl = 0x00;     // copper PHY control register
constexpr uint8_t kPhyStatus = 0x22;   // copper PHY status register

// A register field: address, first bit, mask of its width.
struct RegField {
    uint64_t addr;
    unsigned shift;
    uint64_t mask;
    uint8_t onValue;   // non-zero: a set writes this for any non-zero mode
};

PlovStatus check_port(FpgaId fpga, uint8_t port)
{
    if (fpga > DORN_FPGA_SBUF)
        return TRANS_BAD_FPGA(fpga);
    if (port >= (fpga == DORN_FPGA_TRANS ? kTransPorts : kSbufPorts))
        return TRANS_BAD_FPGA_PORT(fpga, port);
    return PLOV_OK;
}

// Registers of the sbuf FPGA's ports 0 to 3.
constexpr uint64_t kSbufPhyLoop[4] = {0x5400, 0x5800, 0x5C00, 0x7800};
constexpr uint64_t kSbufMacLoop[4] = {0x5609, 0x5A09, 0x5E09, 0x7A09};

PlovStatus loop_field(FpgaId fpga, uint8_t port, bool phy, RegField *f)
{
    PlovStatus ret = check_port(fpga, port);
    if (ret != PLOV_OK)
        return ret;
    if (fpga == DORN_FPGA_TRANS)
        *f = {phy ? 0x1404u : 0x1403u, 4u * port, 7, 0};
    else if (port >= 4)
        *f = {phy ? 0x4C03u : 0x4C02u, 4u * (port - 4u), 7, 0};
    else if (phy)
        *f = {kSbufPhyLoop[port], 0, 7, 6};
    else
        *f = {kSbufMacLoop[port], 5, 1, 1};
    return PLOV_OK;
}

PlovStatus get_field(const RegField &f, FpgaId fpga, uint64_t *value)
{
    uint64_t reg = 0;
    PlovStatus ret = DornGetRegData(fpga, f.addr, &reg);
    if (ret == PLOV_OK)
        *value = (reg >> f.shift) & f.mask;
    return ret;
}

PlovStatus set_field(const RegField &f, FpgaId fpga, uint64_t value)
{
    return DornUpdateRegField(fpga, f.addr, f.mask << f.shift, (value & f.mask) << f.shift);
}

PlovStatus get_loop(FpgaId fpga, uint8_t port, bool phy, uint8_t *mode)
{
    RegField f{};
    PlovStatus ret = loop_field(fpga, port, phy, &f);
    if (ret != PLOV_OK)
        return ret;
    if (mode == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint64_t v = 0;
    ret = get_field(f, fpga, &v);
    if (ret == PLOV_OK)
        *mode = static_cast<uint8_t>(v);
    return ret;
}

PlovStatus set_loop(FpgaId fpga, uint8_t port, bool phy, uint8_t mode)
{
    RegField f{};
    PlovStatus ret = loop_field(fpga, port, phy, &f);
    if (ret != PLOV_OK)
        return ret;
    const uint64_t value = f.onValue != 0 ? (mode != 0 ? f.onValue : 0) : (mode & 7u);
    return set_field(f, fpga, value);
}

// A property form: map, then the port form; no mapping does nothing.
template <typename Fn> PlovStatus with_port(FpgaId fpga, const PortPro *pro, Fn fn)
{
    if (pro == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint8_t port = 0;
    if (!BoardPortProToPort(fpga, *pro, &port))
        return PLOV_OK;
    return fn(port);
}

// The reset field of a port.
struct ResetRow {
    FpgaId fpga;
    int port;   // -1: any other port
    uint64_t addr;
    unsigned shift;
    uint64_t mask;
};
constexpr ResetRow kReset[] = {
    {0, -1, 0x1401, 0, 1}, {1, 0, 0x5400, 5, 3}, {1, 1, 0x5800, 5, 3},
    {1, 2, 0x5C00, 5, 3},  {1, 3, 0x7800, 5, 3}, {1, -1, 0x4C00, 0, 1},
};

PlovStatus reset_field(FpgaId fpga, uint8_t port, RegField *f)
{
    for (const ResetRow &r : kReset) {
        if (r.fpga == fpga && (r.port < 0 || r.port == port)) {
            const unsigned shift = r.fpga == 0 ? (port < 8 ? port : 8u) : r.shift;
            *f = {r.addr, shift, r.mask, 0};
            return PLOV_OK;
        }
    }
    return PLOV_ERR_PORT_ID;
}

// FPGA 0 only, with the FPGA-0 port range.
PlovStatus check_trans_port(FpgaId fpga, uint8_t port)
{
    if (fpga != DORN_FPGA_TRANS)
        return TRANS_BAD_FPGA(fpga);
    return check_port(fpga, port);
}

// The copper PHY of a present electrical module: true in *copper.
PlovStatus copper_module(uint8_t port, bool *copper)
{
    SfpHsState hs{};
    hs.port = port;
    PlovStatus ret = TRANS_GetSfpHsState(DORN_FPGA_SBUF, &hs);
    if (ret != PLOV_OK) {
        TRANS_LOG_ERR("Call TRANS_GetSfpHsState error, iRet = %d", ret);
        return ret;
    }
    *copper = hs.present == 1 && hs.kind == SFP_KIND_ELECTRICAL;
    return PLOV_OK;
}

PlovStatus phy_read(uint8_t port, uint8_t offset, uint8_t buf[2])
{
    PlovStatus ret = DornTransGetSfpArea(port, SFP_DEV_PHY, offset, 2, buf);
    if (ret != PLOV_OK)
        TRANS_LOG_ERR("Call DornTransGetSfpArea error, iRet = %d", ret);
    return ret;
}

PlovStatus phy_write_ctrl(uint8_t port, uint8_t buf[2])
{
    SfpRegReq req{port, kPhyCtrl, 2, SFP_DEV_PHY, buf};
    PlovStatus ret = TRANS_SetSfpReg(&req);
    if (ret != PLOV_OK)
        TRANS_LOG_ERR("Call TRANS_SetSfpReg error, iRet = %d", ret);
    return ret;
}

// Copper SFP power operations: FPGA 0 with a port of the cages.
PlovStatus check_power_port(uint8_t port)
{
    if (port >= DORN_SFP_PORTS)
        return TRANS_BAD_PORT(port);
    return PLOV_OK;
}

}  // namespace

PlovStatus DornTransGetPortPHYLoopMode(FpgaId fpga, uint8_t port, uint8_t *mode) { return get_loop(fpga, port, true, mode); }
PlovStatus DornTransGetPortMACLoopMode(FpgaId fpga, uint8_t port, uint8_t *mode) { return get_loop(fpga, port, false, mode); }
PlovStatus DornTransSetPortPHYLoopMode(FpgaId fpga, uint8_t port, uint8_t mode) { return set_loop(fpga, port, true, mode); }
PlovStatus DornTransSetPortMACLoopMode(FpgaId fpga, uint8_t port, uint8_t mode) { return set_loop(fpga, port, false, mode); }

PlovStatus TRANS_GetPortPhyLoopMode(FpgaId fpga, const PortPro *pro, uint8_t *mode)
{
    return with_port(fpga, pro, [&](uint8_t port) { return DornTransGetPortPHYLoopMode(fpga, port, mode); });
}
PlovStatus TRANS_GetPortMacLoopMode(FpgaId fpga, const PortPro *pro, uint8_t *mode)
{
    return with_port(fpga, pro, [&](uint8_t port) { return DornTransGetPortMACLoopMode(fpga, port, mode); });
}
PlovStatus TRANS_SetPortPhyLoopMode(FpgaId fpga, const PortPro *pro, uint8_t mode)
{
    return with_port(fpga, pro, [&](uint8_t port) { return DornTransSetPortPHYLoopMode(fpga, port, mode); });
}
PlovStatus TRANS_SetPortMacLoopMode(FpgaId fpga, const PortPro *pro, uint8_t mode)
{
    return with_port(fpga, pro, [&](uint8_t port) { return DornTransSetPortMACLoopMode(fpga, port, mode); });
}

PlovStatus DornTransGetPortPhyPara(FpgaId fpga, uint8_t port, PortPhyPara *para)
{
    PlovStatus ret = check_trans_port(fpga, port);
    if (ret != PLOV_OK)
        return ret;
    if (para == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint64_t v = 0;
    ret = DornGetRegData(fpga, kPhyParaBase + port, &v);
    if (ret == PLOV_OK)
        *para = {static_cast<uint8_t>((v >> 16) & 0x1F), static_cast<uint8_t>((v >> 8) & 0x1F),
                 static_cast<uint8_t>(v & 0xF)};
    return ret;
}

PlovStatus DornTransSetPortPhyPara(FpgaId fpga, uint8_t port, const PortPhyPara *para)
{
    PlovStatus ret = check_trans_port(fpga, port);
    if (ret != PLOV_OK)
        return ret;
    if (para == nullptr)
        return PLOV_ERR_NULL_PTR;
    const uint64_t v = (para->post & 0x1Fu) << 16 | (para->pre & 0x1Fu) << 8 | (para->swing & 0xFu);
    return DornSetRegData(fpga, kPhyParaBase + port, v);
}

namespace {

template <typename T> PlovStatus get_low(FpgaId fpga, uint64_t addr, T *out)
{
    if (fpga != DORN_FPGA_TRANS)
        return TRANS_BAD_FPGA(fpga);
    if (out == nullptr) {
        TRANS_LOG_ERR("NULL Pointer detected!\n");
        return PLOV_ERR_NULL_PTR;
    }
    uint64_t v = 0;
    PlovStatus ret = DornGetRegData(fpga, addr, &v);
    if (ret == PLOV_OK)
        *out = static_cast<T>(v);
    return ret;
}

template <typename T> PlovStatus set_low(FpgaId fpga, uint64_t addr, T value)
{
    if (fpga != DORN_FPGA_TRANS)
        return TRANS_BAD_FPGA(fpga);
    return DornUpdateRegField(fpga, addr, static_cast<T>(~T{0}), value);
}

}  // namespace

PlovStatus DornTransGetDePauseCtrl(FpgaId fpga, uint32_t *flag) { return get_low(fpga, kDePauseCtrl, flag); }
PlovStatus DornTransSetDePauseCtrl(FpgaId fpga, uint32_t flag) { return set_low(fpga, kDePauseCtrl, flag); }
PlovStatus DornTransGetDePauseLevel(FpgaId fpga, uint16_t *level) { return get_low(fpga, kDePauseLevel, level); }
PlovStatus DornTransSetDePauseLevel(FpgaId fpga, uint16_t level) { return set_low(fpga, kDePauseLevel, level); }

PlovStatus DornTransGetPortHwReset(FpgaId fpga, uint8_t port, uint8_t *state)
{
    RegField f{};
    if (reset_field(fpga, port, &f) != PLOV_OK)
        return PLOV_ERR_PORT_ID;
    if (state == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint64_t v = 0;
    PlovStatus ret = get_field(f, fpga, &v);
    if (ret == PLOV_OK)
        *state = v != 0 ? 1 : 0;
    return ret;
}

PlovStatus DornTransSetPortHwReset(FpgaId fpga, uint8_t port, uint8_t mode)
{
    RegField f{};
    if (reset_field(fpga, port, &f) != PLOV_OK)
        return PLOV_ERR_PORT_ID;
    return set_field(f, fpga, mode == 1 ? f.mask : 0);
}

PlovStatus DornTransGetPortPhyDown(FpgaId fpga, uint8_t port, uint8_t *flag)
{
    if (fpga > DORN_FPGA_SBUF)
        return TRANS_BAD_FPGA(fpga);
    if (fpga == DORN_FPGA_SBUF)
        return PLOV_OK;
    PlovStatus ret = check_port(fpga, port);
    if (ret != PLOV_OK)
        return ret;
    if (flag == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint64_t v = 0;
    ret = DornGetRegData(fpga, kForceDown, &v);
    if (ret == PLOV_OK)
        *flag = static_cast<uint8_t>((v >> port) & 1u);
    return ret;
}

PlovStatus DornTransPortForcePhyDown(FpgaId fpga, uint8_t port, uint8_t down)
{
    if (fpga > DORN_FPGA_SBUF)
        return TRANS_BAD_FPGA(fpga);
    if (fpga == DORN_FPGA_SBUF)
        return PLOV_OK;
    PlovStatus ret = check_port(fpga, port);
    if (ret != PLOV_OK)
        return ret;
    return DornUpdateRegField(fpga, kForceDown, 1ull << port, uint64_t{down & 1u} << port);
}

namespace {

// The property of the phy-down forms: mapped and within the front ports
// that can be taken down. False in *mapped: nothing to do.
PlovStatus phy_down_port(FpgaId fpga, const PortPro *pro, uint8_t *port, bool *mapped)
{
    if (pro == nullptr)
        return PLOV_ERR_NULL_PTR;
    *mapped = BoardPortProToPort(fpga, *pro, port);
    if (*mapped && *port >= (fpga == DORN_FPGA_TRANS ? 8 : 4))
        return TRANS_BAD_FPGA_PORT(fpga, *port);
    return PLOV_OK;
}

}  // namespace

PlovStatus TRANS_SetPortPhyDown(FpgaId fpga, const PortPro *pro, uint8_t up)
{
    uint8_t port = 0;
    bool mapped = false;
    PlovStatus ret = phy_down_port(fpga, pro, &port, &mapped);
    if (ret != PLOV_OK || !mapped)
        return ret;
    const uint8_t mode = up == 0 ? 1 : 0;
    ret = DornTransSetPortHwReset(fpga, port, mode);
    if (ret != PLOV_OK) {
        TRANS_LOG_ERR("FPGA[%d]-PortID[%d] mode = %d call DornTransSetPortHwReset fail, iRet = %d\n", fpga, port, mode, ret);
        return ret;
    }
    ret = DornTransPortForcePhyDown(fpga, port, mode);
    if (ret != PLOV_OK) {
        TRANS_LOG_ERR("FPGA[%d]-PortID[%d] mode = %d call DornTransPortForcePhyDown fail, iRet = %d\n", fpga, port, mode, ret);
        return ret;
    }
    return TRANS_SetSfpPowerDown(fpga, port, up);
}

PlovStatus TRANS_GetPortPhyDown(FpgaId fpga, const PortPro *pro, uint8_t *up)
{
    uint8_t port = 0;
    bool mapped = false;
    PlovStatus ret = phy_down_port(fpga, pro, &port, &mapped);
    if (ret != PLOV_OK || !mapped)
        return ret;
    if (up == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint8_t reset = 0, down = 0, powered = 0;
    ret = DornTransGetPortHwReset(fpga, port, &reset);
    if (ret != PLOV_OK) {
        TRANS_LOG_ERR("FPGA[%d]-PortID[%d] call DornTransGetPortHwReset fail, iRet = %d\n", fpga, port, ret);
        return ret;
    }
    ret = DornTransGetPortPhyDown(fpga, port, &down);
    if (ret != PLOV_OK) {
        TRANS_LOG_ERR("FPGA[%d]-PortID[%d] mode = %d call DornTransPortForcePhyDown fail, iRet = %d\n", fpga, port, down, ret);
        return ret;
    }
    ret = TRANS_GetSfpCtrlStatus(fpga, port, &powered);
    if (ret != PLOV_OK)
        return ret;
    *up = (reset == 0 && down == 0 && powered == 0) ? 1 : 0;
    return PLOV_OK;
}

PlovStatus TRANS_SetSfpPowerDown(FpgaId fpga, uint8_t port, uint8_t up)
{
    if (fpga != DORN_FPGA_TRANS)
        return PLOV_OK;
    PlovStatus ret = check_power_port(port);
    bool copper = false;
    if (ret == PLOV_OK)
        ret = copper_module(port, &copper);
    if (ret != PLOV_OK || !copper)
        return ret;
    uint8_t ctrl[2] = {};
    ret = phy_read(port, kPhyCtrl, ctrl);
    if (ret != PLOV_OK)
        return ret;
    ctrl[0] = static_cast<uint8_t>((ctrl[0] & ~0x08u) | (up != 0 ? 0x80u : 0x08u));
    return phy_write_ctrl(port, ctrl);
}

PlovStatus TRANS_GetSfpCtrlStatus(FpgaId fpga, uint8_t port, uint8_t *powered_down)
{
    if (fpga != DORN_FPGA_TRANS)
        return PLOV_OK;
    PlovStatus ret = check_power_port(port);
    if (ret != PLOV_OK)
        return ret;
    if (powered_down == nullptr)
        return PLOV_ERR_NULL_PTR;
    bool copper = false;
    ret = copper_module(port, &copper);
    if (ret != PLOV_OK || !copper)
        return ret;
    uint8_t ctrl[2] = {};
    ret = phy_read(port, kPhyCtrl, ctrl);
    if (ret == PLOV_OK)
        *powered_down = (ctrl[0] >> 3) & 1u;
    return ret;
}

PlovStatus DornTransSetSfpStatus(uint8_t port, uint8_t mode)
{
    PlovStatus ret = check_power_port(port);
    if (ret != PLOV_OK)
        return ret;
    uint64_t lines = 0;
    ret = DornGetRegData(DORN_FPGA_SBUF, DORN_SFP_STATUS_REG, &lines);
    if (ret != PLOV_OK)
        return ret;
    uint64_t status = ((lines >> (port + 8)) & 1u) != 0 ? 0 : 1;
    if (status == 1 && mode == 1) {
        uint8_t phy = 0;
        ret = DornTransGetSfpArea(port, SFP_DEV_PHY, kPhyStatus, 1, &phy);
        if (ret != PLOV_OK)
            return ret;
        status = (phy >> 2) & 1u;
    }
    return DornUpdateRegField(DORN_FPGA_TRANS, kSfpStatusBits, 1ull << port, status << port);
}

PlovStatus TRANS_GetOpticalMode(FpgaId fpga, PortWorkMode *rec)
{
    if (rec == nullptr)
        return PLOV_ERR_NULL_PTR;
    const uint8_t port = rec->PortId;
    PlovStatus ret = check_port(fpga, port);
    uint64_t v = 0;
    if (ret == PLOV_OK)
        ret = DornGetRegData(fpga, kOpticalAn, &v);
    if (ret != PLOV_OK)
        return ret;
    if (((v >> port) & 1u) != 0)
        rec->WorkMode = PORT_MODE_AUTONEG;
    if (port < 4) {
        ret = DornGetRegData(fpga, kOpticalSpeed, &v);
        if (ret != PLOV_OK)
            return ret;
        if (((v >> port) & 1u) == 0) {
            rec->WorkMode |= PORT_MODE_10G | PORT_MODE_FULL_DUPLEX;
            return PLOV_OK;
        }
    }
    rec->WorkMode |= PORT_MODE_1000M | PORT_MODE_FULL_DUPLEX;
    return PLOV_OK;
}

PlovStatus TRANS_SetOpticalAnMode(FpgaId fpga, uint8_t port, uint8_t on)
{
    PlovStatus ret = check_port(fpga, port);
    if (ret != PLOV_OK)
        return ret;
    return DornUpdateRegField(fpga, kOpticalAn, 1ull << port, uint64_t{on & 1u} << port);
}

PlovStatus TRANS_GetElectricMode(FpgaId fpga, PortWorkMode *rec)
{
    if (rec == nullptr)
        return PLOV_ERR_NULL_PTR;
    uint8_t buf[2] = {};
    PlovStatus ret = DornTransGetSfpArea(rec->PortId, SFP_DEV_PHY, kPhyCtrl, 2, buf);
    if (ret != PLOV_OK)
        return ret;
    if ((buf[0] & 0x10) != 0)
        rec->WorkMode = PORT_MODE_AUTONEG;
    ret = DornTransGetSfpArea(rec->PortId, SFP_DEV_PHY, kPhyStatus, 2, buf);
    if (ret != PLOV_OK)
        return ret;
    PortWorkMode copy;
    KelvoErr err = memset_s(&copy, sizeof copy, 0, sizeof copy);
    if (err != KelvoOk)
        TRANS_LOG_ERR("memset_s failed %d, dest_str %p(%lu), cnt(%lu)\n", err, static_cast<void *>(&copy), sizeof copy, sizeof copy);
    err = memcpy_s(&copy, sizeof copy, rec, sizeof *rec);
    if (err != KelvoOk)
        TRANS_LOG_ERR("memcpy_s failed %d, dest_str %p(%lu), src_str %p(%lu)\n", err, static_cast<void *>(&copy),
                      sizeof copy, static_cast<void *>(rec), sizeof *rec);
    ret = TRANS_GetOpticalMode(fpga, &copy);
    if (ret != PLOV_OK)
        return ret;
    constexpr uint16_t kSpeed[4] = {PORT_MODE_10M, PORT_MODE_100M, PORT_MODE_1000M, 0};
    if ((copy.WorkMode & PORT_MODE_10G) != 0)
        rec->WorkMode |= PORT_MODE_10G;
    else
        rec->WorkMode |= kSpeed[(buf[0] >> 6) & 3];
    if ((buf[0] & 0x20) != 0)
        rec->WorkMode |= PORT_MODE_FULL_DUPLEX;
    return PLOV_OK;
}

PlovStatus TRANS_SetElectricAnMode(FpgaId, uint8_t port, uint8_t on)
{
    uint8_t ctrl[2] = {};
    PlovStatus ret = DornTransGetSfpArea(port, SFP_DEV_PHY, kPhyCtrl, 2, ctrl);
    if (ret != PLOV_OK)
        return ret;
    const bool poweredDown = (ctrl[0] & 0x08) != 0;
    ctrl[0] = static_cast<uint8_t>((ctrl[0] & ~0x10u) | ((on & 1u) << 4) | (poweredDown ? 0 : 0x80u));
    SfpRegReq req{port, kPhyCtrl, 2, SFP_DEV_PHY, ctrl};
    return TRANS_SetSfpReg(&req);
}

PlovStatus DornTransGetPortDRP(FpgaId fpga, uint8_t lane, uint16_t address, uint16_t *value)
{
    if (fpga != DORN_FPGA_TRANS)
        return TRANS_BAD_FPGA(fpga);
    if (value == nullptr)
        return PLOV_ERR_NO_MEM;
    uint64_t word = 0;
    const uint64_t key = (lane & 0xFu) << 9 | (address & 0x1FFu);
    PlovStatus ret = DornReadIndirById(fpga, DORN_INDIR_PIF_DRP_CFG, key, &word);
    if (ret == PLOV_OK)
        *value = static_cast<uint16_t>(word);
    return ret;
}

PlovStatus DornTransSetPortDRP(FpgaId fpga, uint8_t lane, uint16_t address, uint16_t value)
{
    if (fpga != DORN_FPGA_TRANS)
        return TRANS_BAD_FPGA(fpga);
    const uint64_t key = (lane & 0xFu) << 9 | (address & 0x1FFu);
    const uint64_t word = value;
    return DornWriteIndirById(fpga, DORN_INDIR_PIF_DRP_CFG, key, &word, 1);
}

PlovStatus DornTransSetPortGtxPrbs(FpgaId, uint8_t, uint32_t) { return DORN_ERR_UNSUPPORTED; }
PlovStatus DornTransClsPortGtxPbrs(FpgaId, uint8_t) { return DORN_ERR_UNSUPPORTED; }
