#include "boardlib/plov_port_stat.h"

#include <cstddef>

#include "boardlib/dorn_intf.h"
#include "boardlib/dorn_port_stat.h"
#include "boardlib/kesp_intf.h"
#include "boardlib/board_util.h"
#include "boardlib/plov_check.h"
#include "kelvo/kelvo.h"

namespace {

constexpr FpgaId kTrans = 0;
constexpr uint32_t kRowVlanDrop = 26;   // TABLEM_REG_VLANID_DROP_CNT_CMD
constexpr uint64_t kCmdClear = 3;       // OR-ed into the row's command
constexpr uint32_t kVlanMax = 4095;
constexpr uint8_t kTransPortMax = 11;
constexpr uint8_t kSbufPortMax = 7;
constexpr uint8_t kMacPortMax = 15;
constexpr uint8_t kSbufBackPorts = 4;
constexpr uint32_t kKespTypeNet = 2;
constexpr uint32_t kKespTypeMedia = 4;

PlovStatus first_failure(PlovStatus first, PlovStatus ret) { return first != PLOV_OK ? first : ret; }

PlovStatus kesp_bad_port(uint8_t port)
{
    PLOV_LOG_ERR("input err,PortID %d \n", port);
    return PLOV_ERR_PARAM;
}

bool dorn_port_ok(FpgaId fpga, uint8_t port) { return port <= (fpga == kTrans ? kTransPortMax : kSbufPortMax); }

void zero_stats(PortStatistic *stats)
{
    KelvoErr err = memset_s(stats, sizeof *stats, 0, sizeof *stats);
    if (err != KelvoOk)
        PLOV_LOG_ERR("memset_s failed %d, dest_str %p(%lu), cnt(%lu)\n", err, static_cast<void *>(stats),
                     static_cast<unsigned long>(sizeof *stats), static_cast<unsigned long>(sizeof *stats));
}

// Checks shared by both VLAN operations after the board probe.
PlovStatus vlan_checks(FpgaId fpga, uint8_t port, uint32_t vlan)
{
    if (port > (fpga == kTrans ? kMacPortMax : kSbufPortMax))
        return PLOV_BAD_PORT(port);
    if (vlan > kVlanMax) {
        PLOV_LOG_ERR("Invalid VlanID [%d]\n", vlan);
        return PLOV_ERR_PARAM;
    }
    return PLOV_OK;
}

uint64_t vlan_key(uint8_t port, uint32_t vlan) { return (uint64_t{port} << 12 & 0xF000u) | (vlan & 0xFFFu); }

// The MAC receive counter index i and where its value lands (null: unused).
uint64_t *mac_rx_field(PortStatistic &s, unsigned i)
{
    switch (i) {
    case 1: return &s.RxTotal;
    case 4: return &s.RxMultiCast;
    case 5: return &s.RxBroadCast;
    default: return nullptr;
    }
}

constexpr unsigned kMacRxCounters = 9;
constexpr size_t kPortCounters = sizeof(PortStatistic) / sizeof(uint64_t);
constexpr size_t kTxTotalAt = offsetof(PortStatistic, TxTotal) / sizeof(uint64_t);
constexpr size_t kTxErrorAt = offsetof(PortStatistic, TxError) / sizeof(uint64_t);
static_assert(kTxTotalAt == 5 && kTxErrorAt == 6);

void mac_rx_add(PortStatistic &s, unsigned i, uint64_t value)
{
    if (uint64_t *field = mac_rx_field(s, i))
        *field = value;
    else if (i == 2 || i == 6)
        s.RxError += value;
    else if (i == 7 || i == 8)
        s.RxDrop += value;
}

// The port of a MAC-statistics query: LOC 0 -> ID, LOC 1 -> ID + 8.
PlovStatus mac_query_port(const PortPro &pro, uint8_t *port)
{
    if (pro.LOC > 1)
        return PLOV_ERR_KESP_ID;
    *port = static_cast<uint8_t>(pro.ID + (pro.LOC == 1 ? 8u : 0u));
    return *port > kMacPortMax ? PLOV_ERR_PORT_ID : PLOV_OK;
}

PlovStatus kesp_logged(PlovStatus ret, const char *line)
{
    if (ret != PLOV_OK)
        PLOV_LOG_ERR("%s", line);
    return ret;
}

bool kesp_net(const PortPro &pro) { return pro.LOC == 0 && pro.TYPE == kKespTypeNet && pro.ID <= 1; }

PlovStatus kesp_other_property(const PortPro &pro)
{
    PLOV_LOG_ERR("Invalid FpgaID %d or pstPortPro LOC %d TYPE %d ID %d\n", 0, pro.LOC, pro.TYPE, pro.ID);
    return PLOV_ERR_KESP_ID;
}

} // namespace

// ---- VLAN drops --------------------------------------------------------------------------

PlovStatus PlovTransClsVlanStatistic(FpgaId fpga, uint8_t port, uint32_t vlan)
{
    if (fpga > 1)
        return PLOV_BAD_FPGA(fpga);
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (geBoardLogicType == PLOV_BOARD_KESP) {
        PLOV_LOG_ERR("unsupported operate[geBoardLogicType = %d ]", geBoardLogicType);
        return PLOV_OK;
    }
    if ((ret = vlan_checks(fpga, port, vlan)) != PLOV_OK)
        return ret;
    IndirRegReq req;
    if ((ret = DornIndirBuild(kRowVlanDrop, false, &req)) != PLOV_OK)
        return ret;
    req.cmd = g_IndirReg[kRowVlanDrop].command | kCmdClear;
    req.data[0] = vlan_key(port, vlan);
    ret = DornLogicWriteIndirReg(fpga, &req);
    DornIndirRelease(&req);
    return ret;
}

PlovStatus PlovTransGetVlanStatistic(FpgaId fpga, uint8_t port, uint32_t vlan, uint64_t *drops)
{
    if (fpga > 1)
        return PLOV_BAD_FPGA(fpga);
    if (drops == nullptr)
        return PLOV_ERR_NULL_PTR;
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (PLOV_KESP_UNSUPPORTED(PLOV_LEVEL_ERR))
        return PLOV_OK;
    if ((ret = vlan_checks(fpga, port, vlan)) != PLOV_OK)
        return ret;
    uint64_t value = 0;
    ret = DornReadIndirById(fpga, kRowVlanDrop, vlan_key(port, vlan), &value);
    if (ret == PLOV_OK)
        *drops = value & 0xFFFFu;
    return ret;
}

// ---- MAC counters -------------------------------------------------------------------------

PlovStatus PLOV_TransClsPortMacStatistics(FpgaId fpga, const PortPro *pro)
{
    if (fpga != kTrans)
        return PLOV_ERR_FPGA_ID;
    if (pro == nullptr)
        return PLOV_ERR_NULL_PTR;
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (PLOV_KESP_UNSUPPORTED(PLOV_LEVEL_ERR))
        return PLOV_OK;
    uint8_t port = 0;
    if (!BoardPortProToPort(kTrans, *pro, &port))
        return PLOV_ERR_KESP_ID;
    if (port > kMacPortMax)
        return PLOV_ERR_PORT_ID;
    PlovStatus first = PLOV_OK;
    for (unsigned i = 0; i < kMacRxCounters; i++)
        first = first_failure(first, DornWriteIndirById(kTrans, DORN_INDIR_RXM_CNTM, i << 4 | (port & 15u), nullptr, 0));
    return first;
}

PlovStatus PLOV_TransGetPortMacStatistics(FpgaId fpga, const PortPro *pro, PortStatistic *stats)
{
    if (fpga != kTrans)
        return PLOV_ERR_FPGA_ID;
    if (pro == nullptr || stats == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (pro->TYPE != 0)
        return PLOV_ERR_PORT_ID;
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (PLOV_KESP_UNSUPPORTED(PLOV_LEVEL_ERR))
        return PLOV_OK;
    uint8_t port = 0;
    if ((ret = mac_query_port(*pro, &port)) != PLOV_OK)
        return ret;
    zero_stats(stats);
    PlovStatus first = PLOV_OK;
    for (unsigned i = 1; i < kMacRxCounters; i++) {
        uint64_t value = 0;
        ret = DornReadIndirById(kTrans, DORN_INDIR_RXM_CNTM, (i << 4 & 0xFFu) | (port & 15u), &value);
        first = first_failure(first, ret);
        if (ret == PLOV_OK)
            mac_rx_add(*stats, i, value);
    }
    // The transmit reader fills the TxTotal and TxError positions of the record.
    uint64_t tx[kPortCounters] = {};
    first = first_failure(first, TRANS_GetPortMacTxStatistic(kTrans, port, tx));
    stats->TxTotal = tx[kTxTotalAt];
    stats->TxError = tx[kTxErrorAt];
    return first;
}

// ---- port counters ------------------------------------------------------------------------

PlovStatus PlovTransClsPortStatistic(FpgaId fpga, uint8_t port)
{
    if (fpga != kTrans)
        return PLOV_BAD_FPGA(fpga);
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (geBoardLogicType == PLOV_BOARD_KESP) {
        if (port == 4 || port == 5) {
            PLOV_LOG_ERR("unsuppored\n");
            return PLOV_ERR_UNSUPPORTED;
        }
        if (port > 1)
            return kesp_bad_port(port);
        const PortPro pro{0, kKespTypeNet, port};
        return kesp_logged(KespClsPortStatistics(&pro), "call KespClsPortStatistics err\n");
    }
    if (port > kTransPortMax)
        return PLOV_BAD_PORT(port);
    ret = DornTransClsFrontPortStatistic(port);
    if (ret != PLOV_OK)
        PLOV_LOG_ERR("Call DornTransClsFrontPortStatistic error = %d, PortID [%d]\n", ret, port);
    return ret;
}

PlovStatus PLOV_TransClsPortStatistics(FpgaId fpga, const PortPro *pro)
{
    if (pro == nullptr) {
        PLOV_LOG_ERR("NULL pointer detected!\n");
        return PLOV_ERR_NULL_PTR;
    }
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (geBoardLogicType != PLOV_BOARD_KESP) {
        uint8_t port = 0;
        if (!BoardPortProToPort(fpga, *pro, &port))
            return PLOV_ERR_KESP_ID;
        return PlovTransClsPortStatistic(fpga, port);
    }
    if ((ret = PlovCheckKespFpga(fpga)) != PLOV_OK)
        return ret;
    if (pro->TYPE == kKespTypeMedia) {
        PLOV_LOG_ERR("UNSUPPORTED clear media_port cnt\n");
        return PLOV_ERR_UNSUPPORTED;
    }
    return kesp_logged(KespClsPortStatistics(pro), "call KespClsPortStatistics err\n");
}

PlovStatus PlovTransGetPortStatistic(FpgaId fpga, uint8_t port, PortStatistic *stats)
{
    if (stats == nullptr)
        return PlovNullPointer();
    if (fpga > 1)
        return PLOV_BAD_FPGA(fpga);
    bool kesp = false;
    PlovStatus ret = PlovProbeBranch(fpga, &kesp);
    if (ret != PLOV_OK)
        return ret;
    if (kesp) {
        if (port == 4 || port == 5) {
            const PortPro media{0, kKespTypeMedia, port - 4u};
            return KespGetMediaPortStatistics(&media, stats);
        }
        if (port > 1)
            return kesp_bad_port(port);
        const PortPro net{0, kKespTypeNet, port};
        return kesp_logged(KespGetPortStatistics(&net, stats), "call KespGetPortStatistics err\n");
    }
    if (!dorn_port_ok(fpga, port))
        return PLOV_BAD_PORT(port);
    zero_stats(stats);
    if (fpga == 1 && port < kSbufBackPorts) {
        ret = DornTransGetBackPortStatistic(port, stats);
        if (ret != PLOV_OK)
            PLOV_LOG_ERR("Call DornTransGetBackPortStatistic error = %d, PortID [%d]\n", ret, port);
        return ret;
    }
    ret = DornTransGetFrontPortStatistic(fpga, port, stats);
    if (ret != PLOV_OK)
        PLOV_LOG_ERR("Call DornTransGetFrontPortStatistic error = %d, PortID [%d]\n", ret, port);
    return ret;
}

PlovStatus PLOV_TransGetPortStatistics(FpgaId fpga, const PortPro *pro, PortStatistic *stats)
{
    if (pro == nullptr) {
        PLOV_LOG_ERR("NULL pointer detected!\n");
        return PLOV_ERR_NULL_PTR;
    }
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    if (geBoardLogicType != PLOV_BOARD_KESP) {
        uint8_t port = 0;
        if (!BoardPortProToPort(fpga, *pro, &port))
            return PLOV_ERR_KESP_ID;
        return PlovTransGetPortStatistic(fpga, port, stats);
    }
    if ((ret = PlovCheckKespFpga(fpga)) != PLOV_OK)
        return ret;
    if (stats == nullptr)
        return PlovNullPointer();
    if (pro->TYPE == kKespTypeMedia) {
        ret = KespGetMediaPortStatistics(pro, stats);
        if (ret != PLOV_OK)
            PLOV_LOG_ERR("call KespGetMediaPortStatistics err,iRet = %d\n", ret);
        return ret;
    }
    if (!kesp_net(*pro))
        return kesp_other_property(*pro);
    return kesp_logged(KespGetPortStatistics(pro, stats), "call KespGetPortStatistics err\n");
}
