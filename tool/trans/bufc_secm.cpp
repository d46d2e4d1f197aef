#include "tool/trans/bufc_secm.h"

#include <cstdio>
#include <iterator>

#include "boardlib/plov_security_intf.h"
#include "boardlib/plov_trans_intf.h"
#include "tool/trans/trans_cmd.h"

namespace {

constexpr const char *kFile = "trans/trans";

constexpr CmdSite site(const char *name, unsigned line) { return CmdSite{name, kFile, line}; }

constexpr uint32_t U = kCmdUnset;   // required field

// ---- rows of the commands with up to four decimal fields ---------------------------------

using Fields = uint32_t[4];
using RowCall = PlovStatus (*)(const Fields &f, uint32_t *out);
using RowPrint = void (*)(uint32_t out);

struct Row {
    const char *handler;
    unsigned line;
    unsigned count;        // fields of the format
    uint32_t presets[4];   // U: required; else passed when absent
    bool exact;            // the scan must convert every field
    RowCall call;
    const char *errName;   // the operation the error line names
    RowPrint print;        // value lines after "SUCCESS", or none
};

void on_off_total(uint32_t v) { trans_line(v == 0 ? "Anti Total Switch : off" : "Anti Total Switch : on"); }
void on_off_port(uint32_t v) { trans_line(v != 0 ? "Anti Switch : on" : "Anti Switch : off"); }
void threshold(uint32_t v) { std::printf("Threshold : %u\n", v); }
void interval(uint32_t v) { std::printf("Interval time : %u\n", v); }

// The value is taken by reference so it is read after the operation has
// filled it, whatever order the arguments are evaluated in.
template <class T>
PlovStatus widen(PlovStatus s, const T &value, uint32_t *out)
{
    *out = value;
    return s;
}

enum RowId : size_t {
    kGetTotal, kSetTotal, kGetPortSw, kSetPortSw, kGetRes, kSetRes, kGetPortLvl, kSetPortLvl, kGetIntv, kSetIntv,
    kClsStat, kClsStat6,
};

constexpr Row kRows[] = {
    {"bufc_get_total_switch", 5010, 1, {U, U, U, U}, false,
     [](const Fields &f, uint32_t *out) { return PlovTransGetAntiCpuSwitchAll(cmd_u8(f[0]), out); },
     "PlovTransGetAntiCpuSwitchAll", on_off_total},
    {"bufc_set_total_switch", 5040, 2, {U, U, U, U}, false,
     [](const Fields &f, uint32_t *) { return PlovTransSetAntiCpuSwitchAll(cmd_u8(f[0]), f[1]); },
     "PlovTransSetAntiCpuSwitchAll", nullptr},
    {"bufc_get_port_switch", 5070, 2, {U, U, U, U}, false,
     [](const Fields &f, uint32_t *out) { return PlovTransGetAntiCpuSwitch(cmd_u8(f[0]), cmd_u8(f[1]), out); },
     "PlovTransGetAntiCpuSwitch", on_off_port},
    {"bufc_set_port_switch", 5100, 3, {U, U, U, U}, false,
     [](const Fields &f, uint32_t *) { return PlovTransSetAntiCpuSwitch(cmd_u8(f[0]), cmd_u8(f[1]), f[2]); },
     "PlovTransSetAntiCpuSwitch", nullptr},
    {"bufc_get_res_threshold", 5130, 2, {U, U, U, U}, false,
     [](const Fields &f, uint32_t *out) {
         uint16_t level = 0;
         return widen(PlovTransGetAntiCpuResLevel(cmd_u8(f[0]), f[1], &level), level, out);
     },
     "PlovTransGetAntiCpuResLevel", threshold},
    {"bufc_set_res_threshold", 5160, 3, {U, U, U, U}, false,
     [](const Fields &f, uint32_t *) { return PlovTransSetAntiCpuResLevel(cmd_u8(f[0]), f[1], cmd_u16(f[2])); },
     "PlovSetBufcAntiResLevel", nullptr},
    {"bufc_get_port_threshold", 5190, 3, {U, U, U, U}, false,
     [](const Fields &f, uint32_t *out) {
         uint16_t level = 0;
         return widen(PlovTransGetAntiCpuLevel(cmd_u8(f[0]), cmd_u8(f[1]), cmd_u8(f[2]), &level), level, out);
     },
     "PlovTransGetAntiCpuLevel", threshold},
    {"bufc_set_port_threshold", 5220, 4, {U, U, U, U}, false,
     [](const Fields &f, uint32_t *) {
         return PlovTransSetAntiCpuLevel(cmd_u8(f[0]), cmd_u8(f[1]), cmd_u8(f[2]), cmd_u16(f[3]));
     },
     "PlovTransSetAntiCpuLevel", nullptr},
    {"bufc_get_anti_interval", 5250, 1, {U, U, U, U}, false,
     [](const Fields &f, uint32_t *out) {
         uint8_t time = 0;
         return widen(PlovTransGetAntiCpuIntervalTime(cmd_u8(f[0]), &time), time, out);
     },
     "PlovTransGetAntiCpuIntervalTime", interval},
    {"bufc_set_anti_interval", 5280, 2, {U, U, U, U}, false,
     [](const Fields &f, uint32_t *) { return PlovTransSetAntiCpuIntervalTime(cmd_u8(f[0]), cmd_u8(f[1])); },
     "PlovTransSetAntiCpuIntervalTime", nullptr},
    {"secm_clear_stat", 5410, 2, {U, 0, U, U}, false,
     [](const Fields &f, uint32_t *) { return PlovTransClsScemStats(cmd_u8(f[0]), f[1]); },
     "PlovTransClsScemStats", nullptr},
    {"secm_clear_stat_ipv6", 5440, 2, {U, U, U, U}, true,
     [](const Fields &f, uint32_t *) { return PlovTransClsScemStatsIpv6(cmd_u8(f[0]), f[1]); },
     "PlovTransClsScemStats", nullptr},
};
static_assert(std::size(kRows) == kClsStat6 + 1);

// Scans the row's fields, calls its operation once and prints its lines.
TransOpStatus run_row(RowId id, const char *params)
{
    const Row &r = kRows[id];
    Fields f = {r.presets[0], r.presets[1], r.presets[2], r.presets[3]};
    int ret = sscanf_s(params, "%u:%u:%u:%u", &f[0], &f[1], &f[2], &f[3]);
    bool ok = ret >= 0 && (!r.exact || ret == static_cast<int>(r.count));
    for (unsigned i = 0; i < r.count; ++i)
        ok = ok && !(r.presets[i] == U && f[i] == U);
    if (!ok)
        return trans_bad_input(site(r.handler, r.line), ret);
    uint32_t out = 0;
    PlovStatus s = r.call(f, &out);
    if (s != PLOV_OK)
        return trans_op_failed(r.errName, s);
    trans_success();
    if (r.print != nullptr)
        r.print(out);
    return 0;
}

} // namespace

TransOpStatus bufc_get_total_switch(const char *params) { return run_row(kGetTotal, params); }
TransOpStatus bufc_set_total_switch(const char *params) { return run_row(kSetTotal, params); }
TransOpStatus bufc_get_port_switch(const char *params) { return run_row(kGetPortSw, params); }
TransOpStatus bufc_set_port_switch(const char *params) { return run_row(kSetPortSw, params); }
TransOpStatus bufc_get_res_threshold(const char *params) { return run_row(kGetRes, params); }
TransOpStatus bufc_set_res_threshold(const char *params) { return run_row(kSetRes, params); }
TransOpStatus bufc_get_port_threshold(const char *params) { return run_row(kGetPortLvl, params); }
TransOpStatus bufc_set_port_threshold(const char *params) { return run_row(kSetPortLvl, params); }
TransOpStatus bufc_get_anti_interval(const char *params) { return run_row(kGetIntv, params); }
TransOpStatus bufc_set_anti_interval(const char *params) { return run_row(kSetIntv, params); }
TransOpStatus secm_clear_stat(const char *params) { return run_row(kClsStat, params); }
TransOpStatus secm_clear_stat_ipv6(const char *params) { return run_row(kClsStat6, params); }

// ---- statistics ----------------------------------------------------------------------------

TransOpStatus secm_get_stat(const char *params)
{
    uint32_t fpga = kCmdUnset;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!cmd_scanned(ret, fpga))
        return trans_bad_input(site("secm_get_stat", 5310), ret);
    uint32_t c[SCEM_STATS_IPV4] = {};
    PlovStatus s = PlovTransGetScemStats(cmd_u8(fpga), c);
    if (s != PLOV_OK)
        return trans_op_failed("PlovGetScemStats", s);
    trans_success();
    std::printf("filtm_rd_cnt            : %u\t\tfiltm_rd_err_cnt        : %u\n"
                "filtm_drop_total_cnt    : %u\t\tfiltm_wr_cnt            : %u\n"
                "ipfragflag_abnormal_cnt : %u\t\tipprotocol_abnormal_cnt : %u\n"
                "ipaddress_abnormal_cnt  : %u\t\tipoption_abnormal_cnt   : %u\n"
                "tracert_attack_cnt      : %u\t\tsmurf_attack_cnt        : %u\n"
                "icmpflood_attack_cnt    : %u\t\ttcpflag_abnormal_cnt    : %u\n"
                "ip_abnormal_cnt_t       : %u\t\tipfraglen_abnormal_cnt  : %u\n\n",
                c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10], c[11], c[12], c[13]);
    return 0;
}

TransOpStatus secm_get_stat_ipv6(const char *params)
{
    uint32_t fpga = kCmdUnset;
    int ret = sscanf_s(params, "%u", &fpga);
    if (ret != 1)
        return trans_bad_input(site("secm_get_stat_ipv6", 5340), ret);
    uint32_t c[SCEM_STATS_IPV6] = {};
    PlovStatus s = PlovTransGetScemStatsIpv6(cmd_u8(fpga), c);
    if (s != PLOV_OK)
        return trans_op_failed("PlovGetScemStats", s);
    trans_success();
    std::printf(" ipv6_drop_total_cnt      : %u\n ipv6fragflag_abnormal_cnt: %u\n ipv6exthead_abnormal_cnt : %u\n"
                " ipv6address_abnormal_cnt : %u\n ipv6tracert_attack_cnt   : %u\n ipv6smurf_attack_cnt     : %u\n"
                " ipv6ndicmpflood_cnt      : %u\n ipv6tcpflag_abnormal_cnt : %u\n ipv6len_abnormal_cnt     : %u\n"
                " ipv6notndicmpflood_cnt   : %u\n\n",
                c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9]);
    return 0;
}

// ---- parameters ----------------------------------------------------------------------------

TransOpStatus secm_set_para(const char *params)
{
    uint32_t fpga = U, type = U, flag = U;
    unsigned long long para = kCmdUnset64;
    int ret = sscanf_s(params, "%u:%u:%u:%llu", &fpga, &type, &flag, &para);
    if (!cmd_scanned(ret, fpga, type, flag, static_cast<uint64_t>(para)))
        return trans_bad_input(site("secm_set_para", 5470), ret);
    const ScemPara rec{type, flag, para};
    PlovStatus s = PlovTransSetScemPara(cmd_u8(fpga), &rec);
    if (s != PLOV_OK)
        return trans_op_failed("PlovSetScemPara", s);
    trans_success();
    return 0;
}

TransOpStatus secm_get_para(const char *params)
{
    constexpr CmdSite here = site("secm_get_para", 5500);
    uint32_t fpga = U, type = U, para = U;
    int ret = sscanf_s(params, "%u:%u:%u", &fpga, &type, &para);
    if (!cmd_scanned(ret, fpga, type))
        return trans_bad_input(here, ret);
    // Types 0 and 300 need the para field; the others pass it unset.
    if ((type == 0 || type == 300) && !cmd_given(para)) {
        trans_failed();
        cmd_invalid_at(here, ", iRet = %d, type[%d], para[%d]\n", ret, static_cast<int>(type),
                       static_cast<int>(para));
        return kTransBadInput;
    }
    ScemPara rec{type, 0, para};
    PlovStatus s = PlovTransGetScemPara(cmd_u8(fpga), &rec);
    if (s != PLOV_OK)
        return trans_op_failed("PlovGetScemPara", s);
    trans_success();
    std::printf("ScemType : %u\nFlag : %u\nPara : %llu\n", rec.ScemType, rec.Flag,
                static_cast<unsigned long long>(rec.Para));
    return 0;
}
