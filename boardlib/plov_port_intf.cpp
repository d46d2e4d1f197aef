// Board-independent port operations on either board.
#include "boardlib/plov_port_intf.h"

#include "bases/host/host.h"

#include "boardlib/dorn_intf.h"
#include "boardlib/dorn_logic.h"
#include "boardlib/dorn_port.h"
#include "boardlib/dorn_queue.h"
#include "boardlib/dorn_reg.h"
#include "boardlib/dorn_sfp.h"
#include "boardlib/dorn_version.h"
#include "boardlib/kesp_intf.h"
#include "boardlib/plov_port_pro.h"
#include "kelvo/kelvo.h"

namespace {

constexpr uint8_t kTransPortMax = 11;   // front ports of the trans FPGA
constexpr uint8_t kSbufPortMax = 7;     // ports of the sbuf FPGA, 0-3 the back ports
constexpr uint8_t kModePortMax = 7;     // ports with a module cage
constexpr uint8_t kBackPorts = 4;
constexpr uint8_t kFlowPorts = 16;
constexpr uint32_t kRowPortMap = 18;    // RXM_REG_RXM_LOGICID_CFG_CMD
constexpr uint16_t kFixedMode = PORT_MODE_20G | PORT_MODE_FULL_DUPLEX;
constexpr uint16_t kMtuLimit = 4096;
constexpr uint16_t kSbufMaxMtu = 0x800;

constexpr uint64_t kRegSpeed = 0x1400;
constexpr uint64_t kRegMaxMtu = 0x141C;
constexpr uint64_t kRegMinMtu = 0x141D;
constexpr uint64_t kRegTransLink = 0x1500;
constexpr uint64_t kRegFlowT = 0x1816;
constexpr uint64_t kRegSbufLink = 0x4D00;
constexpr uint64_t kRegSbufMinMtu[] = {0x5E0A, 0x7A0A};
constexpr unsigned kTransLinkShift = 12;
constexpr unsigned kVersionGeBit = 56;   // the logic can run ports 0-3 at 1000 Mb/s

uint8_t dorn_port_max(FpgaId fpga) { return fpga == DORN_FPGA_TRANS ? kTransPortMax : kSbufPortMax; }

bool kesp_network_port(const PortPro &pro) { return pro.LOC == 0 && pro.TYPE == 2 && pro.ID <= 1; }

// The KESP branch of the property forms: FPGA 0 and a network port only.
PlovStatus kesp_property(FpgaId fpga, const PortPro &pro)
{
    PlovStatus ret = PlovCheckKespFpga(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (kesp_network_port(pro))
        return PLOV_OK;
    PLOV_LOG_ERR("Invalid FpgaID %d or pstPortPro LOC %d TYPE %d ID %d\n", 0, pro.LOC, pro.TYPE, pro.ID);
    return PLOV_ERR_KESP_ID;
}

// The DORN port of a property; -1335 (no line) when it has none.
PlovStatus dorn_port_of(FpgaId fpga, const PortPro &pro, uint8_t *port)
{
    return PlovPortProToPort(fpga, pro, port) ? PLOV_OK : PLOV_ERR_KESP_ID;
}

PlovStatus bad_port(uint8_t port)
{
    PLOV_LOG_ERR("Invalid PortID [%d]\n", port);
    return PLOV_ERR_PORT_ID;
}

PlovStatus bad_kesp_port(uint8_t port)
{
    PLOV_LOG_ERR("Invalid PortId %d\n", port);
    return PLOV_ERR_PARAM;
}

// A failed KESP call, logged with the callee's name.
PlovStatus kesp_failed(const char *name, PlovStatus ret)
{
    if (ret != PLOV_OK)
        PLOV_LOG_ERR("Call %s failed, iRet[%d]\n", name, ret);
    return ret;
}

PlovStatus kesp_reset_failed(PlovStatus ret)
{
    if (ret != PLOV_OK)
        PLOV_LOG_ERR("call KespSetPortReset err\n");
    return ret;
}

// The probe, then the DORN-only rule; *done when the caller returns `ret`.
PlovStatus dorn_only(bool *done)
{
    PlovStatus ret = PlovCheckLogicType();
    *done = ret != PLOV_OK || PLOV_KESP_UNSUPPORTED(PLOV_LEVEL_ERR);
    return ret;
}

// The hot-swap state of a cage, asked of the sbuf FPGA.
PlovStatus hs_state(uint8_t port, SfpHsState *hs)
{
    *hs = SfpHsState{};
    hs->port = port;
    return TRANS_GetSfpHsState(DORN_FPGA_SBUF, hs);
}

bool copper(const SfpHsState &hs) { return hs.present == 1 && hs.kind == SFP_KIND_ELECTRICAL; }

// The three switch bits of a port: the register and the position of each
// bit; `setOnWrite` bits are set by every write.
struct SwitchPlace {
    FpgaId fpga;
    uint64_t reg;
    unsigned bit[3];
    uint64_t setOnWrite;
};
constexpr uint64_t kSbufBackSwitch[kBackPorts] = {0x5609, 0x5A09, 0x5E09, 0x7A09};
constexpr uint64_t kSbufBackSwitchSet = 0x3800;

bool switch_place(FpgaId fpga, uint8_t port, SwitchPlace *p)
{
    if (fpga == DORN_FPGA_TRANS && port <= kTransPortMax)
        *p = {fpga, 0x1402, {port, port + 16u, port + 32u}, 0};
    else if (fpga == DORN_FPGA_SBUF && port >= kBackPorts && port <= kSbufPortMax)
        *p = {fpga, 0x4C01, {port - 4u, port + 0u, port + 4u}, 0};
    else if (fpga == DORN_FPGA_SBUF && port < kBackPorts)
        *p = {fpga, kSbufBackSwitch[port], {0, 1, 2}, kSbufBackSwitchSet};
    else
        return false;
    return true;
}

} // namespace

// ---- port reset ----------------------------------------------------------------------------------

PlovStatus PlovTransSetPortReset(FpgaId fpga, uint8_t port, int8_t flag)
{
    bool kesp = false;
    PlovStatus ret = PlovCheckAndProbe(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp) {
        if (port > 1) {
            PLOV_LOG_ERR("Invalid PortID [%d]\n", port);
            return PLOV_ERR_KESP_ID;
        }
        PortPro pro{0, 2, port};
        return kesp_reset_failed(KespSetPortReset(&pro, flag));
    }
    if (port > dorn_port_max(fpga))
        return bad_port(port);
    if (flag != 1)
        return PLOV_ERR_WORK_MODE;
    ret = DornTransSetPortHwReset(fpga, port, 1);
    if (ret != PLOV_OK)
        return ret;
    return DornTransSetPortHwReset(fpga, port, 0);
}

PlovStatus PLOV_TransSetPortReset(FpgaId fpga, const PortPro *pro, int8_t flag)
{
    if (pro == nullptr)
        return PLOV_ERR_NULL_PTR;
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (geBoardLogicType == PLOV_BOARD_KESP) {
        if ((ret = kesp_property(fpga, *pro)) != PLOV_OK)
            return ret;
        return kesp_reset_failed(KespSetPortReset(pro, flag));
    }
    uint8_t port = 0;
    if ((ret = dorn_port_of(fpga, *pro, &port)) != PLOV_OK)
        return ret;
    return PlovTransSetPortReset(fpga, port, flag);
}

// ---- flow control (DORN only) ----------------------------------------------------------------------

namespace {

// Steps 1 and 2 of both flow-control operations.
PlovStatus flow_frame(FpgaId fpga, uint8_t port, const PortFlowCtrl *rec, bool *done)
{
    *done = true;
    if (rec == nullptr)
        return PlovNullPointer();
    PlovStatus ret = dorn_only(done);
    if (*done)
        return ret;
    *done = true;
    if (fpga != DORN_FPGA_TRANS) {
        PLOV_LOG_ERR("Invalid FpgaID [%d]\n", fpga);
        return PLOV_ERR_FPGA_ID;
    }
    if (port >= kFlowPorts)
        return bad_port(port);
    *done = false;
    return PLOV_OK;
}

} // namespace

PlovStatus PlovTransGetPortFlowCtrl(FpgaId fpga, uint8_t port, PortFlowCtrl *rec)
{
    bool done = false;
    PlovStatus ret = flow_frame(fpga, port, rec, &done);
    if (done)
        return ret;
    uint64_t t = 0;
    if ((ret = DornGetRegData(DORN_FPGA_TRANS, kRegFlowT, &t)) != PLOV_OK) {
        PLOV_LOG_ERR("[DornLogicReadDirReg]get T err!\n");
        return ret;
    }
    rec->t = static_cast<uint16_t>(t);
    uint64_t car = 0;
    ret = DornGetPortCar(DORN_FPGA_TRANS, port, rec->pkgType, &car);
    rec->cir = static_cast<uint16_t>(car);
    rec->cbs = static_cast<uint16_t>(car >> 16);
    return ret;
}

PlovStatus PlovTransSetPortFlowCtrl(FpgaId fpga, uint8_t port, const PortFlowCtrl *rec)
{
    bool done = false;
    PlovStatus ret = flow_frame(fpga, port, rec, &done);
    if (done)
        return ret;
    if ((ret = DornSetRegData(DORN_FPGA_TRANS, kRegFlowT, rec->t)) != PLOV_OK) {
        PLOV_LOG_ERR("[DornLogicWriteDirReg]config T err!\n");
        return ret;
    }
    return DornSetPortCar(DORN_FPGA_TRANS, port, rec->pkgType, uint64_t{rec->cbs} << 16 | rec->cir);
}

// ---- static MAC (DORN only, FPGA 0) -------------------------------------------------------------------

PlovStatus PLOV_TransGetPortStaticMac(FpgaId fpga, const PortPro *pro, uint8_t mac[6])
{
    if (pro == nullptr)
        return PLOV_ERR_NULL_PTR;
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK || geBoardLogicType == PLOV_BOARD_KESP)
        return ret;
    if (fpga != DORN_FPGA_TRANS)
        return PLOV_ERR_FPGA_ID;
    if (pro->LOC == 1)
        return PLOV_OK;
    uint8_t port = 0;
    if ((ret = dorn_port_of(DORN_FPGA_TRANS, *pro, &port)) != PLOV_OK)
        return ret;
    if (mac == nullptr)
        return PLOV_ERR_NULL_PTR;
    PortStaticMacReq req{};
    req.port = port;
    if ((ret = TransGetPortStaticMac(DORN_FPGA_TRANS, &req)) != PLOV_OK)
        return ret;
    KelvoErr err = memcpy_s(mac, sizeof req.mac, req.mac, sizeof req.mac);
    if (err != 0)
        PLOV_LOG_ERR("memcpy_s failed %d, dest_str %p(%lu), src_str %p(%lu)\n", err, static_cast<void *>(mac),
                     sizeof req.mac, static_cast<void *>(req.mac), sizeof req.mac);
    return PLOV_OK;
}

// ---- port map (DORN only) ------------------------------------------------------------------------------

namespace {

// The checks of both port-map operations; *done when the caller returns.
PlovStatus map_frame(FpgaId fpga, uint8_t port, bool *done)
{
    *done = true;
    PlovStatus ret = dorn_only(done);
    if (*done)
        return ret;
    *done = true;
    if (fpga == DORN_FPGA_SBUF)
        return PLOV_OK;
    if (port >= kFlowPorts)
        return bad_port(port);
    *done = false;
    return PLOV_OK;
}

} // namespace

PlovStatus PlovTransGetPortMap(FpgaId fpga, uint8_t port, uint8_t *map)
{
    PlovStatus ret = PlovCheckFpgaId(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (map == nullptr)
        return PLOV_ERR_NULL_PTR;
    bool done = false;
    if ((ret = map_frame(fpga, port, &done)), done)
        return ret;
    uint64_t word = 0;
    ret = DornReadIndirById(DORN_FPGA_TRANS, kRowPortMap, port & 15u, &word);
    if (ret == PLOV_OK)
        *map = static_cast<uint8_t>(word & 15u);
    return ret;
}

PlovStatus PlovTransSetPortMap(FpgaId fpga, uint8_t port, uint8_t map)
{
    PlovStatus ret = PlovCheckFpgaId(fpga);
    if (ret != PLOV_OK)
        return ret;
    bool done = false;
    if ((ret = map_frame(fpga, port, &done)), done)
        return ret;
    if (map >= kFlowPorts)
        return bad_port(map);
    uint64_t value = map & 15u;
    return DornWriteIndirById(DORN_FPGA_TRANS, kRowPortMap, port & 15u, &value, 1);
}

// ---- work mode --------------------------------------------------------------------------------------------

namespace {

// The checks both work-mode queries share; the fixed modes of the KESP
// ports and of the sbuf FPGA's back ports are answered here (*done).
PlovStatus mode_query_frame(FpgaId fpga, PortWorkMode *rec, bool *done)
{
    *done = true;
    if (rec == nullptr)
        return PLOV_ERR_NULL_PTR;
    bool kesp = false;
    PlovStatus ret = PlovProbeBranch(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp) {
        if (rec->Location != 0 || rec->PortId > 1)
            return bad_kesp_port(rec->PortId);
        rec->WorkMode = kFixedMode;
        return PLOV_OK;
    }
    if (fpga > DORN_FPGA_SBUF)
        return PLOV_ERR_FPGA_ID;
    if (fpga == DORN_FPGA_SBUF) {
        if (rec->PortId >= kBackPorts)
            return PLOV_ERR_PORT_ID;
        rec->WorkMode = kFixedMode;
        return PLOV_OK;
    }
    if (rec->PortId > kModePortMax)
        return PLOV_ERR_PORT_ID;
    *done = false;
    return PLOV_OK;
}

} // namespace

PlovStatus PlovTransGetPortMode(FpgaId fpga, PortWorkMode *rec)
{
    bool done = false;
    PlovStatus ret = mode_query_frame(fpga, rec, &done);
    if (done)
        return ret;
    SfpHsState hs{};
    if (hs_state(rec->PortId, &hs) != PLOV_OK)
        return PLOV_ERR_HS_STATE;
    return copper(hs) ? TRANS_GetElectricMode(DORN_FPGA_TRANS, rec) : TRANS_GetOpticalMode(DORN_FPGA_TRANS, rec);
}

PlovStatus PLOV_TransGetPortMode(FpgaId fpga, const PortPro *pro, uint16_t *mode)
{
    if (pro == nullptr || mode == nullptr)
        return PLOV_ERR_NULL_PTR;
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (geBoardLogicType == PLOV_BOARD_KESP) {
        if ((ret = kesp_property(fpga, *pro)) == PLOV_OK)
            *mode = kFixedMode;
        return ret;
    }
    PortWorkMode rec{};
    if ((ret = dorn_port_of(fpga, *pro, &rec.PortId)) != PLOV_OK)
        return ret;
    if ((ret = PlovTransGetPortMode(fpga, &rec)) == PLOV_OK)
        *mode = rec.WorkMode;
    return ret;
}

namespace {

// What a work-mode setting changes beyond auto-negotiation: whether the
// speed bit of the port is written, and its value. Every refusal is decided
// here, before anything is written.
struct SpeedPlan {
    bool write;
    uint64_t bit;
};

PlovStatus plan_speed(uint8_t port, uint16_t w, SpeedPlan *plan)
{
    *plan = {false, 0};
    if ((w & PORT_MODE_AUTONEG) != 0 && (w & (PORT_MODE_1000M | PORT_MODE_10G)) == 0)
        return PLOV_OK;
    if ((w & PORT_MODE_FULL_DUPLEX) == 0) {
        PLOV_LOG_ERR("Invalid Mode, not support half duplex\n");
        return PLOV_ERR_WORK_MODE;
    }
    if (port >= kBackPorts) {
        if ((w & PORT_MODE_1000M) != 0)
            return PLOV_OK;
        PLOV_LOG_ERR("GE Port[%d] speed not support change\n", port);
        return PLOV_ERR_WORK_MODE;
    }
    if ((w & PORT_MODE_1000M) != 0) {
        uint64_t version = 0;
        PlovStatus ret = DornTransGetFpgaVer(DORN_FPGA_TRANS, &version);
        if (ret != PLOV_OK)
            return ret;
        if (((version >> kVersionGeBit) & 1u) == 0)
            return PLOV_ERR_WORK_MODE;
        *plan = {true, 1};
        return PLOV_OK;
    }
    if ((w & PORT_MODE_10G) != 0) {
        *plan = {true, 0};
        return PLOV_OK;
    }
    PLOV_LOG_ERR("Not support Speed [%#x]\n", w & 0xFFFE);
    return PLOV_ERR_WORK_MODE;
}

} // namespace

PlovStatus PlovTransSetPortMode(FpgaId fpga, const PortWorkMode *rec)
{
    bool done = false;
    PlovStatus ret = dorn_only(&done);
    if (done)
        return ret;
    if (rec == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (fpga != DORN_FPGA_TRANS)
        return PLOV_ERR_FPGA_ID;
    const uint8_t p = rec->PortId;
    const uint16_t w = rec->WorkMode;
    if (p > kModePortMax)
        return PLOV_ERR_PORT_ID;
    SfpHsState hs{};
    if ((ret = hs_state(p, &hs)) != PLOV_OK)
        return ret;
    SpeedPlan plan{};
    if ((ret = plan_speed(p, w, &plan)) != PLOV_OK)
        return ret;
    const uint8_t an = (w & PORT_MODE_AUTONEG) != 0 ? 1 : 0;
    ret = copper(hs) ? TRANS_SetElectricAnMode(DORN_FPGA_TRANS, p, an) : TRANS_SetOpticalAnMode(DORN_FPGA_TRANS, p, an);
    if (ret != PLOV_OK || !plan.write)
        return ret;
    return DornUpdateRegField(DORN_FPGA_TRANS, kRegSpeed, uint64_t{1} << p, plan.bit << p);
}

PlovStatus PLOV_TransSetPortMode(FpgaId fpga, const PortPro *pro, uint16_t mode)
{
    bool done = false;
    PlovStatus ret = dorn_only(&done);
    if (done)
        return ret;
    if (pro == nullptr)
        return PLOV_ERR_NULL_PTR;
    PortWorkMode rec{};
    if ((ret = dorn_port_of(fpga, *pro, &rec.PortId)) != PLOV_OK)
        return ret;
    rec.WorkMode = mode;
    return PlovTransSetPortMode(fpga, &rec);
}

// ---- link state ------------------------------------------------------------------------------------------

namespace {

// A back port of the sbuf FPGA: request 0x12 with the port's property,
// issued here rather than through a wrapper, so its result is the status
// as the driver gave it and nothing is logged.
PlovStatus back_port_link(uint8_t port, uint8_t *link)
{
    PortLinkReq req{};
    req.type = port < 2 ? 2 : 3;
    req.id = port < 2 ? port : port - 2u;
    int fd = DornGetFd(DORN_FPGA_SBUF);
    if (fd < 0)
        return PLOV_ERR_OPEN;
    const int ret = host_ioctl(fd, PLOV_IOC_GET_PORT_LINK, &req);
    if (ret == PLOV_OK)
        *link = req.link;
    DornCloseDev(fd);
    return ret;
}

// Forced-down flag, then the link bit of a register.
PlovStatus register_link(FpgaId fpga, PortWorkMode *rec, uint64_t reg, unsigned bit)
{
    PlovStatus ret = DornTransGetPortPhyDown(fpga, rec->PortId, &rec->ForceLinkDown);
    uint64_t v = 0;
    if (ret == PLOV_OK)
        ret = DornGetRegData(fpga, reg, &v);
    if (ret == PLOV_OK)
        rec->LinkDetected = static_cast<uint8_t>((v >> bit) & 1u);
    return ret;
}

} // namespace

PlovStatus PlovTransGetPortLinkStat(FpgaId fpga, PortWorkMode *rec)
{
    if (rec == nullptr)
        return PlovNullPointer();
    bool kesp = false;
    PlovStatus ret = PlovCheckAndProbe(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    const uint8_t p = rec->PortId;
    if (kesp) {
        if (rec->Location != 0 || p > 1)
            return bad_kesp_port(p);
        return KespGetPortLinkStates(0, p, &rec->LinkDetected);
    }
    if (p > dorn_port_max(fpga)) {
        PLOV_LOG_ERR("FPGA[%d] Invalid PortID [%d]\n", fpga, p);
        return PLOV_ERR_PORT_ID;
    }
    if (fpga == DORN_FPGA_TRANS)
        return register_link(fpga, rec, kRegTransLink, p + kTransLinkShift);
    if (p >= kBackPorts)
        return register_link(fpga, rec, kRegSbufLink, p);
    return back_port_link(p, &rec->LinkDetected);
}

PlovStatus PLOV_TransGetPortLinkStat(FpgaId fpga, const PortPro *pro, uint8_t *link)
{
    if (pro == nullptr) {
        PLOV_LOG_ERR("NULL pointer detected!\n");
        return PLOV_ERR_NULL_PTR;
    }
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (geBoardLogicType == PLOV_BOARD_KESP) {
        if ((ret = kesp_property(fpga, *pro)) != PLOV_OK)
            return ret;
        if (link == nullptr)
            return PLOV_ERR_NULL_PTR;
        return KespGetPortLinkStates(0, static_cast<uint8_t>(pro->ID), link);
    }
    PortWorkMode rec{};
    if ((ret = dorn_port_of(fpga, *pro, &rec.PortId)) != PLOV_OK)
        return ret;
    if (link == nullptr)
        return PLOV_ERR_NULL_PTR;
    if ((ret = PlovTransGetPortLinkStat(fpga, &rec)) == PLOV_OK)
        *link = rec.LinkDetected;
    return ret;
}

// ---- port switch ------------------------------------------------------------------------------------------

PlovStatus PlovTransGetPortSwitch(FpgaId fpga, uint8_t port, uint8_t *mode)
{
    PlovStatus ret = PlovCheckFpgaId(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (mode == nullptr)
        return PlovNullPointer();
    bool kesp = false;
    if ((ret = PlovProbeBranch(fpga, &kesp)) != PLOV_OK)
        return ret;
    if (kesp)
        return kesp_failed("KespGetPortSwitch", KespGetPortSwitch(port, mode));
    SwitchPlace place{};
    if (!switch_place(fpga, port, &place))
        return bad_port(port);
    uint64_t v = 0;
    if ((ret = DornGetRegData(fpga, place.reg, &v)) != PLOV_OK)
        return ret;
    uint8_t out = 0;
    for (unsigned i = 0; i < 3; i++)
        out = static_cast<uint8_t>(out | ((v >> place.bit[i]) & 1u) << i);
    *mode = out;
    return PLOV_OK;
}

PlovStatus PlovTransSetPortSwitch(FpgaId fpga, uint8_t port, uint8_t mode)
{
    bool kesp = false;
    PlovStatus ret = PlovCheckAndProbe(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return kesp_failed("KespSetPortSwitch", KespSetPortSwitch(port, mode));
    SwitchPlace place{};
    if (!switch_place(fpga, port, &place))
        return bad_port(port);
    uint64_t mask = place.setOnWrite, bits = place.setOnWrite;
    for (unsigned i = 0; i < 3; i++) {
        mask |= uint64_t{1} << place.bit[i];
        bits |= uint64_t{(mode >> i) & 1u} << place.bit[i];
    }
    return DornUpdateRegField(fpga, place.reg, mask, bits);
}

// ---- MTU bounds -------------------------------------------------------------------------------------------

PlovStatus PlovTransGetMtu(FpgaId fpga, uint16_t *max, uint16_t *min)
{
    PlovStatus ret = PlovCheckFpgaId(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (max == nullptr || min == nullptr)
        return PlovNullPointer();
    bool kesp = false;
    if ((ret = PlovProbeBranch(fpga, &kesp)) != PLOV_OK)
        return ret;
    if (kesp)
        return kesp_failed("KespGetMtu", KespGetMtu(max, min));
    uint64_t v = 0;
    if (fpga == DORN_FPGA_SBUF) {
        *max = kSbufMaxMtu;
        if ((ret = DornGetRegData(fpga, kRegSbufMinMtu[0], &v)) == PLOV_OK)
            *min = static_cast<uint16_t>(v);
        return ret;
    }
    if ((ret = DornGetRegData(fpga, kRegMaxMtu, &v)) != PLOV_OK)
        return ret;
    *max = static_cast<uint16_t>(v & 0xFFF);
    if ((ret = DornGetRegData(fpga, kRegMinMtu, &v)) == PLOV_OK)
        *min = static_cast<uint16_t>(v & 0xFFF);
    return ret;
}

PlovStatus PlovTransSetMtu(FpgaId fpga, uint16_t max, uint16_t min)
{
    bool kesp = false;
    PlovStatus ret = PlovCheckAndProbe(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp)
        return kesp_failed("KespSetMtu", KespSetMtu(max, min));
    if (max >= kMtuLimit) {
        PLOV_LOG_ERR("vmax[%u] is too large\n", max);
        return PLOV_ERR_TOO_LARGE;
    }
    if (min >= kMtuLimit) {
        PLOV_LOG_ERR("vmin[%u] is too large\n", min);
        return PLOV_ERR_TOO_LARGE;
    }
    if (min > max) {
        PLOV_LOG_ERR("vmin[%u] is = larger then vmax[%d]\n", min, max);
        return PLOV_ERR_TOO_LARGE;
    }
    if (fpga == DORN_FPGA_SBUF) {
        for (uint64_t reg : kRegSbufMinMtu)
            if ((ret = DornSetRegData(fpga, reg, min)) != PLOV_OK)
                return ret;
        return PLOV_OK;
    }
    if ((ret = DornSetRegData(fpga, kRegMaxMtu, max)) != PLOV_OK)
        return ret;
    return DornSetRegData(fpga, kRegMinMtu, min);
}

// ---- port configuration mode -------------------------------------------------------------------------------

PlovStatus TRANS_GetPortCfgMode(FpgaId fpga, const PortPro *pro, uint16_t *mode)
{
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (pro == nullptr || mode == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (geBoardLogicType == PLOV_BOARD_KESP) {
        if ((ret = kesp_property(fpga, *pro)) == PLOV_OK)
            *mode = kFixedMode;
        return ret;
    }
    PortWorkMode rec{};
    if ((ret = dorn_port_of(fpga, *pro, &rec.PortId)) != PLOV_OK)
        return ret;
    if ((ret = TransGetPortCfgMode(fpga, &rec)) == PLOV_OK)
        *mode = rec.WorkMode;
    return ret;
}

PlovStatus TransGetPortCfgMode(FpgaId fpga, PortWorkMode *rec)
{
    bool done = false;
    PlovStatus ret = mode_query_frame(fpga, rec, &done);
    if (done)
        return ret;
    SfpHsState hs{};
    if ((ret = hs_state(rec->PortId, &hs)) != PLOV_OK)
        return ret;
    PortWorkMode copy = *rec;
    ret = TRANS_GetOpticalMode(DORN_FPGA_TRANS, rec);
    if (ret != PLOV_OK || !copper(hs))
        return ret;
    if ((ret = TRANS_GetElectricMode(DORN_FPGA_TRANS, &copy)) != PLOV_OK)
        return ret;
    rec->WorkMode = static_cast<uint16_t>((rec->WorkMode & ~PORT_MODE_AUTONEG) | (copy.WorkMode & PORT_MODE_AUTONEG));
    return PLOV_OK;
}
