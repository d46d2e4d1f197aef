#include "tool/trans/port.h"

#include <cinttypes>
#include <cstdio>

#include "boardlib/dorn_port.h"
#include "boardlib/plov_fpga_intf.h"
#include "boardlib/plov_port_intf.h"
#include "boardlib/plov_port_stat.h"
#include "boardlib/plov_security_intf.h"
#include "tool/trans/trans_cmd.h"

namespace {

// The file the invalid-input lines of the port commands name.
constexpr const char *kFile = "trans/trans";

constexpr CmdSite site(const char *name, unsigned line) { return CmdSite{name, kFile, line}; }

// ---- field checks --------------------------------------------------------------------------

bool bit_char(char c) { return c == '0' || c == '1'; }

// Three '0'/'1' characters as the bits 2, 1, 0 of a value.
uint8_t bits_of(char a, char b, char c)
{
    return static_cast<uint8_t>((a - '0') << 2 | (b - '0') << 1 | (c - '0'));
}

// ---- work-mode word ----------------------------------------------------------------------------

struct SpeedRow {
    int mbps;
    uint16_t bit;
};
constexpr SpeedRow kSpeeds[] = {
    {10, PORT_MODE_10M}, {100, PORT_MODE_100M}, {1000, PORT_MODE_1000M},
    {10000, PORT_MODE_10G}, {20000, PORT_MODE_20G}, {40000, PORT_MODE_40G},
};

// The speed of the lowest set speed bit, in the order of the table; 0 when none.
int speed_of(uint16_t mode)
{
    for (const SpeedRow &r : kSpeeds)
        if ((mode & r.bit) != 0)
            return r.mbps;
    return 0;
}

const SpeedRow *speed_row(uint32_t mbps)
{
    for (const SpeedRow &r : kSpeeds)
        if (static_cast<uint32_t>(r.mbps) == mbps)
            return &r;
    return nullptr;
}

// ---- statistics blocks -----------------------------------------------------------------------

// Block A (MAC counters) and block B (port counters) differ in padding only.
constexpr const char *kStatBlockA =
    "RXTOTAL  : %lld\tRxMultiCast: %lld\tRxBroadCast: %lld\nRxBytes  : %lld\tRxError    : %lld\tRxDrop     : %lld\n"
    "TXTOTAL  : %lld\tTxMultiCast: %lld\tTxBroadCast: %lld\nTxBytes  : %lld\tTxError    : %lld\tTxDrop     : %lld\n"
    "Conflict : %lld\n";
constexpr const char *kStatBlockB =
    "RXTOTAL  : %lld\tRxMultiCast: %lld\tRxBroadCast: %lld\nRxBytes    : %lld\tRxError    : %lld\tRxDrop     : %lld\n"
    "TXTOTAL  : %lld\tTxMultiCast: %lld\tTxBroadCast: %lld\nTxBytes    : %lld\tTxError    : %lld\tTxDrop     : %lld\n"
    "Conflict   : %lld\n";

long long c64(uint64_t v) { return static_cast<long long>(v); }

void print_stats(const char *block, uint32_t port, uint32_t fpga, const PortStatistic &s)
{
    trans_success();
    std::printf("Successed to get the basic statistics of Port%u in FPGA%u\n", port, fpga);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::printf(block, c64(s.RxTotal), c64(s.RxMultiCast), c64(s.RxBroadCast), c64(s.RxBytes), c64(s.RxError),
                c64(s.RxDrop), c64(s.TxTotal), c64(s.TxMultiCast), c64(s.TxBroadCast), c64(s.TxBytes),
                c64(s.TxError), c64(s.TxDrop), c64(s.Conflict));
#pragma GCC diagnostic pop
}

// ---- port property of the forced PHY-down setting -------------------------------------------

struct PhyDownRow {
    uint32_t fpga;
    uint32_t first, last;  // port range
    uint32_t type;
};
constexpr PhyDownRow kPhyDownRows[] = {
    {0, 0, 7, 0}, {0, 8, 11, 5}, {1, 0, 1, 2}, {1, 2, 3, 3}, {1, 4, 0xFFFFFFFEu, 5},
};

bool phy_down_pro(uint32_t fpga, uint32_t port, PortPro *pro)
{
    for (const PhyDownRow &r : kPhyDownRows) {
        if (r.fpga == fpga && port >= r.first && port <= r.last) {
            *pro = PortPro{0, r.type, port - r.first};
            return true;
        }
    }
    return false;
}

// The 's'/'t' selector of the CAR commands: 0 split, 1 total, -1 neither.
int car_kind(char t) { return t == 's' ? 0 : t == 't' ? 1 : -1; }

TransOpStatus invalid_type()
{
    trans_failed();
    trans_line("Invalid type, please check!");
    return kTransBadInput;
}

// Two "%u:%u" fields, the first two of most commands.
struct FpgaPort {
    uint32_t fpga = kCmdUnset;
    uint32_t port = kCmdUnset;
};

} // namespace

// ---- link state and work mode ----------------------------------------------------------------

TransOpStatus port_get_link_status(const char *params)
{
    FpgaPort in;
    PortWorkMode rec{};
    int ret = sscanf_s(params, "%u:%u", &in.fpga, &in.port);
    if (!cmd_scanned(ret, in.fpga, in.port))
        return trans_bad_input(site("port_get_link_status", 1930), ret);
    rec.PortId = cmd_u8(in.port);
    PlovStatus s = PlovTransGetPortLinkStat(cmd_u8(in.fpga), &rec);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetPortLinkStat", s);
    trans_success();
    std::printf("Successed to Get link status of Port%u in FPGA%u\n", rec.PortId, in.fpga);
    trans_line(rec.LinkDetected != 0 ? "Link detected : yes" : "Link detected : no");
    trans_line(rec.ForceLinkDown != 0 ? "Force Linkdown: TURE" : "Force Linkdown: FALSE");
    return 0;
}

TransOpStatus port_get_workmode(const char *params)
{
    FpgaPort in;
    PortWorkMode rec{};
    int ret = sscanf_s(params, "%u:%u", &in.fpga, &in.port);
    if (!cmd_scanned(ret, in.fpga, in.port))
        return trans_bad_input(site("port_get_workmode", 1880), ret);
    rec.PortId = cmd_u8(in.port);
    PlovStatus s = PlovTransGetPortMode(cmd_u8(in.fpga), &rec);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetPortMode", s);
    trans_success();
    trans_line((rec.WorkMode & PORT_MODE_AUTONEG) != 0 ? "Autoneg mode" : "Non-autoneg mode");
    std::printf("Speed: %dMb/s\n", speed_of(rec.WorkMode));
    trans_line((rec.WorkMode & PORT_MODE_FULL_DUPLEX) != 0 ? "Full duplex mode" : "Half duplex mode");
    return 0;
}

namespace {

// The work-mode word from the letters and speed of the setting, or -1202
// after the letter's own line.
TransOpStatus workmode_word(char neg, uint32_t speed, char duplex, uint16_t *word)
{
    uint16_t w = 0;
    if (neg == 'N' || neg == 'n') {
        trans_line("Intent to set workmode to autonegative");
        w = PORT_MODE_AUTONEG;
    } else if (neg != 'F' && neg != 'f') {
        trans_line("Invalid negtive input, please check");
        return kTransBadInput;
    }
    const SpeedRow *row = speed_row(speed);
    if (row == nullptr) {
        trans_line("Invalid rate input, please check");
        return kTransBadInput;
    }
    w = static_cast<uint16_t>(w | row->bit);
    if (duplex == 'F' || duplex == 'f') {
        w = static_cast<uint16_t>(w | PORT_MODE_FULL_DUPLEX);
        trans_line("Intent to set workmode to full_duplex");
    } else if (duplex == 'H' || duplex == 'h') {
        trans_line("Intent to set workmode to half_duplex");
    } else {
        trans_line("Invalid duplex_mode input, please check");
        return kTransBadInput;
    }
    *word = w;
    return 0;
}

} // namespace

TransOpStatus port_set_workmode(const char *params)
{
    FpgaPort in;
    uint32_t speed = kCmdUnset;
    char neg = 0, duplex = 0;
    int ret = sscanf_s(params, "%u:%u-%c:%u:%c", &in.fpga, &in.port, &neg, 1, &speed, &duplex, 1);
    if (!cmd_scanned(ret, in.fpga, in.port, speed))
        return trans_bad_input(site("port_set_workmode", 1760), ret);
    uint16_t word = 0;
    TransOpStatus bad = workmode_word(neg, speed, duplex, &word);
    if (bad != 0)
        return bad;
    std::printf("Intent to set the work speed to %dMbps\n", static_cast<int>(speed));
    std::printf("workmode value = 0x%x\n", word);
    PortWorkMode rec{};
    rec.PortId = cmd_u8(in.port);
    rec.WorkMode = word;
    PlovStatus s = PlovTransSetPortMode(cmd_u8(in.fpga), &rec);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransSetPortMode", s);
    PortWorkMode back{};
    back.PortId = cmd_u8(in.port);
    s = TransGetPortCfgMode(cmd_u8(in.fpga), &back);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetPortMode", s);
    if ((back.WorkMode & PORT_MODE_AUTONEG) != (word & PORT_MODE_AUTONEG)) {
        trans_failed();
        trans_line("This workmode is not supported");
        return kTransBadInput;
    }
    trans_success();
    return 0;
}

// ---- flow control and port switch ------------------------------------------------------------

TransOpStatus port_get_flowctrl(const char *params)
{
    FpgaPort in;
    uint32_t type = kCmdUnset;
    PortFlowCtrl rec{};
    int ret = sscanf_s(params, "%u:%u:%u", &in.fpga, &in.port, &type);
    if (!cmd_scanned(ret, in.fpga, in.port, type) || type >= 3)
        return trans_bad_input(site("port_get_flowctrl", 1610), ret);
    rec.pkgType = cmd_u8(type);
    PlovStatus s = PlovTransGetPortFlowCtrl(cmd_u8(in.fpga), cmd_u8(in.port), &rec);
    if (s != PLOV_OK) {
        trans_failed();
        return s;
    }
    trans_success();
    std::printf("cbs : %u\n", unsigned{rec.cbs});
    std::printf("cir : %u\n", unsigned{rec.cir});
    std::printf("t   : %u\n", unsigned{rec.t});
    return 0;
}

TransOpStatus port_set_flowctrl(const char *params)
{
    FpgaPort in;
    uint32_t type = kCmdUnset, cbs = kCmdUnset, cir = kCmdUnset, t = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u-%u:%u:%u:%u", &in.fpga, &in.port, &type, &cbs, &cir, &t);
    if (!cmd_scanned(ret, in.fpga, in.port, type, cbs, cir, t) || type >= 3)
        return trans_bad_input(site("port_set_flowctrl", 1650), ret);
    const PortFlowCtrl rec{cmd_u16(cbs), cmd_u16(cir), cmd_u16(t), cmd_u8(type)};
    PlovStatus s = PlovTransSetPortFlowCtrl(cmd_u8(in.fpga), cmd_u8(in.port), &rec);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransSetPortFlowCtrl", s);
    trans_success();
    return 0;
}

TransOpStatus port_get_switch(const char *params)
{
    FpgaPort in;
    int ret = sscanf_s(params, "%u:%u", &in.fpga, &in.port);
    if (!cmd_scanned(ret, in.fpga, in.port))
        return trans_bad_input(site("port_get_switch", 2010), ret);
    uint8_t mode = 0;
    PlovStatus s = PlovTransGetPortSwitch(cmd_u8(in.fpga), cmd_u8(in.port), &mode);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetPortSwitch", s);
    trans_success();
    std::printf("Mode : %#x\n", unsigned{mode});
    return 0;
}

TransOpStatus port_set_switch(const char *params)
{
    FpgaPort in;
    char a = 0, b = 0, c = 0;
    int ret = sscanf_s(params, "%u:%u-%c%c%c", &in.fpga, &in.port, &a, 1, &b, 1, &c, 1);
    if (!cmd_scanned(ret, in.fpga, in.port) || !bit_char(a) || !bit_char(b) || !bit_char(c))
        return trans_bad_input(site("port_set_switch", 2040), ret);
    PlovStatus s = PlovTransSetPortSwitch(cmd_u8(in.fpga), cmd_u8(in.port), bits_of(a, b, c));
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransSetPortSwitch", s);
    trans_success();
    return 0;
}

// ---- de-pause ------------------------------------------------------------------------------

TransOpStatus port_get_pause_switch(const char *params)
{
    uint32_t fpga = kCmdUnset;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!cmd_scanned(ret, fpga))
        return trans_bad_input(site("port_get_pause_switch", 2080), ret);
    uint32_t flag = 0;
    PlovStatus s = DornTransGetDePauseCtrl(cmd_u8(fpga), &flag);
    if (s != PLOV_OK) {
        trans_failed();
        std::printf("Function DornTransGetDePauseCtrl error, iRet = %d\n", s);
        return s;
    }
    trans_success();
    std::printf("Pause switch flag : 0x%x\n", flag);
    return 0;
}

TransOpStatus port_set_pause_switch(const char *params)
{
    uint32_t fpga = kCmdUnset, flag = kCmdUnset;
    int ret = sscanf_s(params, "%u:0x%x", &fpga, &flag);
    if (!cmd_scanned(ret, fpga, flag))
        return trans_bad_input(site("port_set_pause_switch", 2110), ret);
    PlovStatus s = DornTransSetDePauseCtrl(cmd_u8(fpga), flag);
    if (s != PLOV_OK)
        return trans_op_failed("DornTransSetDePauseCtrl", s);
    trans_success();
    return 0;
}

TransOpStatus port_get_dpause_wlevel(const char *params)
{
    uint32_t fpga = kCmdUnset;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!cmd_scanned(ret, fpga))
        return trans_bad_input(site("port_get_dpause_wlevel", 2140), ret);
    uint16_t level = 0;
    PlovStatus s = DornTransGetDePauseLevel(cmd_u8(fpga), &level);
    if (s != PLOV_OK)
        return trans_op_failed("DornTransGetDePauseLevel", s);
    trans_success();
    std::printf("DePause Waterlevel : 0x%x\n", unsigned{level});
    return 0;
}

TransOpStatus port_set_dpause_wlevel(const char *params)
{
    uint32_t fpga = kCmdUnset, level = kCmdUnset;
    int ret = sscanf_s(params, "%u:0x%x", &fpga, &level);
    if (!cmd_scanned(ret, fpga, level))
        return trans_bad_input(site("port_set_dpause_wlevel", 2170), ret);
    std::printf("Intend to set the DPause Water Level of FPGA%u to 0x%x\n", fpga, level);
    PlovStatus s = DornTransSetDePauseLevel(cmd_u8(fpga), cmd_u16(level));
    if (s != PLOV_OK)
        return trans_op_failed("DornTransSetDePauseLevel", s);
    trans_success();
    return 0;
}

// ---- PHY -----------------------------------------------------------------------------------

TransOpStatus port_set_phy_down(const char *params)
{
    const CmdSite where = site("port_set_phy_down", 2210);
    FpgaPort in;
    uint32_t down = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u:%u", &in.fpga, &in.port, &down);
    if (!cmd_scanned(ret, in.fpga, in.port, down))
        return trans_bad_input(where, ret);
    PortPro pro{};
    if (!phy_down_pro(in.fpga, in.port, &pro))
        return trans_bad_input(where, ret);
    // The operation's argument means "up".
    const uint8_t up = down == 0 ? 1 : 0;
    PlovStatus s = TRANS_SetPortPhyDown(cmd_u8(in.fpga), &pro, up);
    if (s != PLOV_OK)
        return trans_op_failed("TRANS_SetPortPhyDown", s);
    trans_success();
    return 0;
}

TransOpStatus port_get_phy(const char *params)
{
    FpgaPort in;
    int ret = sscanf_s(params, "%u:%u", &in.fpga, &in.port);
    if (!cmd_scanned(ret, in.fpga, in.port))
        return trans_bad_input(site("port_get_phy", 2250), ret);
    PortPhyPara para{};
    PlovStatus s = DornTransGetPortPhyPara(cmd_u8(in.fpga), cmd_u8(in.port), &para);
    if (s != PLOV_OK)
        return trans_op_failed("DornTransGetPortPhyPara", s);
    trans_success();
    std::printf("PostEmphasis : %u\nPreEmphasis : %u\nSwing : %u\n", unsigned{para.post}, unsigned{para.pre},
                unsigned{para.swing});
    return 0;
}

TransOpStatus port_set_phy(const char *params)
{
    FpgaPort in;
    uint32_t post = kCmdUnset, pre = kCmdUnset, swing = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u-%u:%u:%u", &in.fpga, &in.port, &post, &pre, &swing);
    if (!cmd_scanned(ret, in.fpga, in.port, post, pre, swing))
        return trans_bad_input(site("port_set_phy", 2290), ret);
    const PortPhyPara para{cmd_u8(post), cmd_u8(pre), cmd_u8(swing)};
    PlovStatus s = DornTransSetPortPhyPara(cmd_u8(in.fpga), cmd_u8(in.port), &para);
    if (s != PLOV_OK)
        return trans_op_failed("DornTransSetPortPhyPara", s);
    trans_success();
    return 0;
}

// ---- loop modes ------------------------------------------------------------------------------

namespace {

// 'm'/'M' MAC loop, 'p'/'P' PHY loop, else neither.
enum class LoopKind { Mac, Phy, None };
LoopKind loop_kind(char t)
{
    if (t == 'm' || t == 'M')
        return LoopKind::Mac;
    if (t == 'p' || t == 'P')
        return LoopKind::Phy;
    return LoopKind::None;
}

} // namespace

TransOpStatus port_get_loopmode(const char *params)
{
    const CmdSite where = site("port_get_loopmode", 2330);
    FpgaPort in;
    char t = 0;
    int ret = sscanf_s(params, "%u:%u:%c", &in.fpga, &in.port, &t, 1);
    if (!cmd_scanned(ret, in.fpga, in.port))
        return trans_bad_input(where, ret);
    const LoopKind kind = loop_kind(t);
    if (kind == LoopKind::None) {
        trans_failed();
        cmd_invalid_line_short(where);
        return kTransBadInput;
    }
    const bool mac = kind == LoopKind::Mac;
    uint8_t mode = 0;
    PlovStatus s = mac ? DornTransGetPortMACLoopMode(cmd_u8(in.fpga), cmd_u8(in.port), &mode)
                       : DornTransGetPortPHYLoopMode(cmd_u8(in.fpga), cmd_u8(in.port), &mode);
    if (s != PLOV_OK)
        return trans_op_failed(mac ? "DornTransGetPortMACLoopMode" : "DornTransGetPortPHYLoopMode", s);
    trans_success();
    const char *name = mac ? "MAC" : "PHY";
    std::printf("Successed to get the %s loopmode of Port%u in FPGA%u\n", name, in.port, in.fpga);
    std::printf("%s loopmode : %u%u%u\n", name, mode >> 2 & 1u, mode >> 1 & 1u, mode & 1u);
    return 0;
}

TransOpStatus port_set_loopmode(const char *params)
{
    FpgaPort in;
    char t = 0, a = 0, b = 0, c = 0;
    int ret = sscanf_s(params, "%u:%u-%c:%c%c%c", &in.fpga, &in.port, &t, 1, &a, 1, &b, 1, &c, 1);
    if (!cmd_scanned(ret, in.fpga, in.port) || !bit_char(a) || !bit_char(b) || !bit_char(c))
        return trans_bad_input(site("port_set_loopmode", 2370), ret);
    const LoopKind kind = loop_kind(t);
    if (kind == LoopKind::None) {
        trans_line("Invalid type input, please check");
        return kTransBadInput;
    }
    const uint8_t mode = bits_of(a, b, c);
    PlovStatus s = kind == LoopKind::Mac ? DornTransSetPortMACLoopMode(cmd_u8(in.fpga), cmd_u8(in.port), mode)
                                         : DornTransSetPortPHYLoopMode(cmd_u8(in.fpga), cmd_u8(in.port), mode);
    if (s != PLOV_OK)
        return trans_op_failed("DornTransSetPortMACLoopMode or DornTransSetPortPHYLoopMode", s);
    trans_success();
    return 0;
}

// ---- CAR ---------------------------------------------------------------------------------------

TransOpStatus port_get_car_drop_stat(const char *params)
{
    uint32_t fpga = kCmdUnset;
    char t = 0;
    int ret = sscanf_s(params, "%u:%c", &fpga, &t, 1);
    if (!cmd_scanned(ret, fpga))
        return trans_bad_input(site("port_get_car_drop_stat", 2450), ret);
    const int kind = car_kind(t);
    if (kind < 0)
        return invalid_type();
    trans_line(kind == 0 ? "Intend to get split car drop statistic" : "Intend to get total car drop statistic");
    uint64_t stat = 0;
    PlovStatus s = PlovTransGetCarDropStat(cmd_u8(fpga), static_cast<uint32_t>(kind), &stat);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetCarDropStat", s);
    trans_success();
    std::printf("stat : 0x%llx\n", static_cast<unsigned long long>(stat));
    return 0;
}

TransOpStatus port_get_car(const char *params)
{
    uint32_t fpga = kCmdUnset;
    char t = 0;
    int ret = sscanf_s(params, "%u:%c", &fpga, &t, 1);
    if (!cmd_scanned(ret, fpga))
        return trans_bad_input(site("port_get_car", 2490), ret);
    const int kind = car_kind(t);
    if (kind < 0)
        return invalid_type();
    trans_line(kind == 0 ? "Intend to get split car config params" : "Intend to get total car config params");
    uint32_t cbs = 0, cir = 0;
    uint8_t vld = 0;
    PlovStatus s = kind == 0 ? PlovTransGetSplitCarCfg(cmd_u8(fpga), &cbs, &cir, &vld)
                             : PlovTransGetTotalCarCfg(cmd_u8(fpga), &cbs, &cir, &vld);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetSplitCarCfg/PlovTransGetTotalCarCfg", s);
    trans_success();
    std::printf("cbs : %u\n", cbs);
    std::printf("cir : %u\n", cir);
    std::printf("vld : %u\n", unsigned{vld});
    return 0;
}

TransOpStatus port_set_car(const char *params)
{
    uint32_t fpga = kCmdUnset, cbs = kCmdUnset, cir = kCmdUnset, vld = kCmdUnset;
    char t = 0;
    int ret = sscanf_s(params, "%u:%c:%u:%u:%u", &fpga, &t, 1, &cbs, &cir, &vld);
    if (!cmd_scanned(ret, fpga, cbs, cir, vld))
        return trans_bad_input(site("port_set_car", 2530), ret);
    const int kind = car_kind(t);
    if (kind < 0)
        return invalid_type();
    trans_line(kind == 0 ? "Intend to set split car config params" : "Intend to set total car config params");
    PlovStatus s = kind == 0 ? PlovTransSetSplitCarCfg(cmd_u8(fpga), cbs, cir, cmd_u8(vld))
                             : PlovTransSetTotalCarCfg(cmd_u8(fpga), cbs, cir, cmd_u8(vld));
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransSetSplitCarCfg/PlovTransSetTotalCarCfg", s);
    trans_success();
    return 0;
}

TransOpStatus port_get_car_fresh_time(const char *params)
{
    uint32_t fpga = kCmdUnset;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!cmd_scanned(ret, fpga))
        return trans_bad_input(site("port_get_car_fresh_time", 2570), ret);
    uint32_t time = 0;
    PlovStatus s = PlovTransGetCarFreshTime(cmd_u8(fpga), &time);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetCarFreshTime", s);
    trans_success();
    std::printf("Fresh time : %u\n", time);
    return 0;
}

TransOpStatus port_set_car_fresh_time(const char *params)
{
    uint32_t fpga = kCmdUnset, time = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u", &fpga, &time);
    if (!cmd_scanned(ret, fpga, time))
        return trans_bad_input(site("port_set_car_fresh_time", 2600), ret);
    PlovStatus s = PlovTransSetCarFreshTime(cmd_u8(fpga), time);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransSetCarFreshTime", s);
    trans_success();
    return 0;
}

// ---- MTU and reset ---------------------------------------------------------------------------

namespace {

TransOpStatus bad_fpga_input(const CmdSite &where, int ret)
{
    trans_failed();
    std::printf("Invalid FpgaID input, please check [%s] %s:%u, iRet = %d\n", where.name, where.file, where.line, ret);
    return kTransBadInput;
}

} // namespace

TransOpStatus port_get_mtu(const char *params)
{
    uint32_t fpga = kCmdUnset;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!cmd_scanned(ret, fpga))
        return bad_fpga_input(site("port_get_mtu", 2640), ret);
    uint16_t max = 0, min = 0;
    PlovStatus s = PlovTransGetMtu(cmd_u8(fpga), &max, &min);
    if (s != PLOV_OK) {
        trans_error_line("PlovTransGetMtu", s);
        return s;
    }
    trans_success();
    std::printf("Max : %u\n", unsigned{max});
    std::printf("Min : %u\n", unsigned{min});
    return 0;
}

TransOpStatus port_set_mtu(const char *params)
{
    const CmdSite where = site("port_set_mtu", 2680);
    int fpga = -1, max = -1, min = -1;   // all ones: not given
    int ret = sscanf_s(params, "%d:%d:%d", &fpga, &max, &min);
    if (ret < 0 || fpga == -1 || max == -1 || min == -1 || max < min) {
        trans_failed();
        std::printf("Invalid  input, please check [%s] %s:%u, FpgaId = %d, max = %d, min = %d\n\n", where.name,
                    where.file, where.line, fpga, max, min);
        return kTransBadInput;
    }
    PlovStatus s = PlovTransSetMtu(cmd_u8(static_cast<uint32_t>(fpga)), cmd_u16(static_cast<uint32_t>(max)),
                                   cmd_u16(static_cast<uint32_t>(min)));
    if (s != PLOV_OK) {
        trans_error_line("PlovTransSetMtu", s);
        return s;
    }
    trans_success();
    return 0;
}

TransOpStatus port_set_reset(const char *params)
{
    FpgaPort in;
    uint32_t x = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u:%u", &in.fpga, &in.port, &x);
    if (!cmd_scanned(ret, in.fpga, in.port, x))
        return bad_fpga_input(site("port_set_reset", 2720), ret);
    PlovStatus s = PlovTransSetPortReset(cmd_u8(in.fpga), cmd_u8(in.port), static_cast<int8_t>(cmd_u8(x)));
    if (s != PLOV_OK) {
        trans_error_line("PlovTransSetPortReset", s);
        return s;
    }
    trans_success();
    return 0;
}

// ---- counters ------------------------------------------------------------------------------

namespace {

struct VlanIn {
    uint32_t fpga = kCmdUnset;
    uint32_t port = kCmdUnset;
    uint32_t vlan = kCmdUnset;
};

bool scan_vlan(const char *params, VlanIn &in, int *ret)
{
    *ret = sscanf_s(params, "%u:%u:%u", &in.fpga, &in.port, &in.vlan);
    return cmd_scanned(*ret, in.fpga, in.port, in.vlan);
}

} // namespace

TransOpStatus port_clear_vlan_stat(const char *params)
{
    VlanIn in;
    int ret = 0;
    if (!scan_vlan(params, in, &ret))
        return trans_bad_input(site("port_clear_vlan_stat", 2760), ret);
    PlovStatus s = PlovTransClsVlanStatistic(cmd_u8(in.fpga), cmd_u8(in.port), in.vlan);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransClsVlanStatistic", s);
    trans_success();
    return 0;
}

TransOpStatus port_get_vlan_stat(const char *params)
{
    VlanIn in;
    int ret = 0;
    if (!scan_vlan(params, in, &ret))
        return trans_bad_input(site("port_get_vlan_stat", 2790), ret);
    uint64_t drops = 0;
    PlovStatus s = PlovTransGetVlanStatistic(cmd_u8(in.fpga), cmd_u8(in.port), in.vlan, &drops);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetVlanStatistic", s);
    trans_success();
    std::printf("Drop : %llu\n", static_cast<unsigned long long>(drops));
    return 0;
}

TransOpStatus port_clear_mac_stat(const char *params)
{
    FpgaPort in;
    int ret = sscanf_s(params, "%u:%u", &in.fpga, &in.port);
    if (!cmd_scanned(ret, in.fpga, in.port))
        return trans_bad_input(site("port_clear_mac_stat", 2820), ret);
    const PortPro pro = trans_port_pro(in.port);
    PlovStatus s = PLOV_TransClsPortMacStatistics(cmd_u8(in.fpga), &pro);
    if (s != PLOV_OK)
        return trans_op_failed("PLOV_TransClsPortMacStatistics", s);
    trans_success();
    return 0;
}

TransOpStatus port_get_mac_stat(const char *params)
{
    FpgaPort in;
    int ret = sscanf_s(params, "%u:%u", &in.fpga, &in.port);
    if (!cmd_scanned(ret, in.fpga, in.port))
        return trans_bad_input(site("port_get_mac_stat", 2850), ret);
    const PortPro pro = trans_port_pro(in.port);
    PortStatistic stats{};
    PlovStatus s = PLOV_TransGetPortMacStatistics(cmd_u8(in.fpga), &pro, &stats);
    if (s != PLOV_OK)
        return trans_op_failed("PLOV_TransGetPortMacStatistics", s);
    print_stats(kStatBlockA, in.port, in.fpga, stats);
    return 0;
}

TransOpStatus port_clear_stat(const char *params)
{
    FpgaPort in;
    int ret = sscanf_s(params, "%u:%u", &in.fpga, &in.port);
    if (!cmd_scanned(ret, in.fpga, in.port))
        return trans_bad_input(site("port_clear_stat", 2880), ret);
    PlovStatus s = PlovTransClsPortStatistic(cmd_u8(in.fpga), cmd_u8(in.port));
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransClsPortStatistic", s);
    trans_success();
    return 0;
}

TransOpStatus port_get_stat(const char *params)
{
    FpgaPort in;
    int ret = sscanf_s(params, "%u:%u", &in.fpga, &in.port);
    if (!cmd_scanned(ret, in.fpga, in.port))
        return trans_bad_input(site("port_get_stat", 2910), ret);
    PortStatistic stats{};
    PlovStatus s = PlovTransGetPortStatistic(cmd_u8(in.fpga), cmd_u8(in.port), &stats);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetPortStatistic", s);
    print_stats(kStatBlockB, in.port, in.fpga, stats);
    return 0;
}

// ---- GTX PRBS ----------------------------------------------------------------------------------

TransOpStatus port_clear_gtx_prbs(const char *params)
{
    FpgaPort in;
    char d = 0;
    int ret = sscanf_s(params, "%u:%u:%c", &in.fpga, &in.port, &d, 1);
    if (!cmd_scanned(ret, in.fpga, in.port) || !bit_char(d)) {
        cmd_invalid_line(site("port_clear_gtx_prbs", 2950), ret);
        return kTransBadInput;
    }
    PlovStatus s = DornTransClsPortGtxPbrs(cmd_u8(in.fpga), cmd_u8(in.port));
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransClsPortGtxPbrs", s);
    trans_success();
    trans_line("Successed to:");
    if (d == '1')
        std::printf("Clear the Transfer GTX PRBS of Port%u in FPGA%u\n", in.port, in.fpga);
    else
        std::printf("Clear the Receive GTX PRBS of Port%u in FPGA%u\n", in.port, in.fpga);
    return 0;
}

TransOpStatus port_set_gtx_prbs(const char *params)
{
    FpgaPort in;
    char d = 0, a = 0, b = 0, c = 0;
    int ret = sscanf_s(params, "%u:%u-%c:%c%c%c", &in.fpga, &in.port, &d, 1, &a, 1, &b, 1, &c, 1);
    if (!cmd_scanned(ret, in.fpga, in.port) || !bit_char(d) || !bit_char(a) || !bit_char(b) || !bit_char(c))
        return trans_bad_input(site("port_set_gtx_prbs", 2990), ret);
    PlovStatus s = DornTransSetPortGtxPrbs(cmd_u8(in.fpga), cmd_u8(in.port), bits_of(a, b, c));
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransSetPortGtxPrbs", s);
    trans_success();
    return 0;
}

// ---- MAC addresses and the port summary --------------------------------------------------------

namespace {

void print_mac(const char *format, const uint8_t m[6])
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::printf(format, m[0], m[1], m[2], m[3], m[4], m[5]);
#pragma GCC diagnostic pop
}

} // namespace

TransOpStatus port_get_mac(const char *params)
{
    FpgaPort in;
    uint32_t loc = kCmdUnset;
    int ret = sscanf_s(params, "%u:%u:%u", &in.fpga, &in.port, &loc);
    if (!cmd_scanned(ret, in.fpga, in.port, loc))
        return trans_bad_input(site("port_get_mac", 3030), ret);
    PortWorkMode rec{};
    rec.PortId = cmd_u8(in.port);
    rec.Location = cmd_u8(loc);
    PlovStatus s = PlovTransGetPortMac(cmd_u8(in.fpga), &rec);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransGetPortMac", s);
    trans_success();
    print_mac("MAC : %02X:%02X:%02X:%02X:%02X:%02X\n", rec.Mac);
    const PortPro pro{loc, 0, in.port};
    uint8_t mac[6] = {};
    s = PLOV_TransGetPortStaticMac(cmd_u8(in.fpga), &pro, mac);
    if (s != PLOV_OK && s != PLOV_ERR_FPGA_ID)
        return trans_op_failed("TransGetPortStaticMac", s);
    // FPGA 1 keeps no static MAC: the zero address, and the command succeeds.
    print_mac("StaticMac : %02X:%02X:%02X:%02X:%02X:%02X\n", mac);
    return 0;
}

TransOpStatus port_set_mac(const char *params)
{
    FpgaPort in;
    uint32_t loc = kCmdUnset;
    uint32_t m[6] = {kCmdUnset, kCmdUnset, kCmdUnset, kCmdUnset, kCmdUnset, kCmdUnset};
    int ret = sscanf_s(params, "%u:%u:%u-%2x:%2x:%2x:%2x:%2x:%2x", &in.fpga, &in.port, &loc, &m[0], &m[1], &m[2],
                       &m[3], &m[4], &m[5]);
    if (!cmd_scanned(ret, in.fpga, in.port, loc, m[0], m[1], m[2], m[3], m[4], m[5]))
        return trans_bad_input(site("port_set_mac", 3070), ret);
    PortWorkMode rec{};
    rec.PortId = cmd_u8(in.port);
    rec.Location = cmd_u8(loc);
    for (size_t i = 0; i < 6; i++)
        rec.Mac[i] = cmd_u8(m[i]);
    PlovStatus s = PlovTransSetPortMac(cmd_u8(in.fpga), &rec);
    if (s != PLOV_OK)
        return trans_op_failed("PlovTransSetPortMac", s);
    trans_success();
    return 0;
}

int32_t get_port_info_byid(uint32_t fpga, uint32_t port)
{
    PortWorkMode rec{};
    rec.PortId = cmd_u8(port);
    const FpgaId id = cmd_u8(fpga);
    PlovStatus mac = PlovTransGetPortMac(id, &rec);
    PlovStatus mode = PlovTransGetPortMode(id, &rec);
    PlovStatus link = PlovTransGetPortLinkStat(id, &rec);
    if (mac != PLOV_OK && mode != PLOV_OK && link != PLOV_OK) {
        std::printf("Function PlovTransGetPortX execute failed,imRet = %d, iwRet = %d, ilRet = %d\n", mac, mode, link);
        return 1;
    }
    std::printf("port%u:\n", unsigned{rec.PortId});
    print_mac("\tHWaddr %02X:%02X:%02X:%02X:%02X:%02X\n", rec.Mac);
    std::printf("\tSpeed: %dMb/s\n", speed_of(rec.WorkMode));
    trans_line(rec.LinkDetected == 1 ? "\tLink detected: yes" : "\tLink detected: no");
    return 0;
}
