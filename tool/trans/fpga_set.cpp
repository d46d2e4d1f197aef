#include "tool/trans/fpga_set.h"

#include <array>
#include <cstdio>
#include <iterator>

#include "bases/host/host.h"
#include "boardlib/dorn_version.h"
#include "boardlib/kesp_logic.h"
#include "boardlib/plov_fpga_intf.h"
#include "boardlib/plov_port_intf.h"
#include "boardlib/plov_queue_intf.h"
#include "tool/trans/mem_access.h"
#include "tool/trans/trans_cmd.h"

namespace {

constexpr const char *kFile = "trans/trans";

// ---- presets and checks --------------------------------------------------------------------

// Req: preset all ones, every field required. Scan: preset as given, only a
// negative scan refused. None: preset as given, nothing refused.
enum class Check { Req, Scan, None };
enum class ErrForm { Long, Short };

struct Rule {
    const char *handler;
    unsigned line;
    uint32_t preset;
    Check check;
    ErrForm form;
};

enum RuleId : size_t {
    kGetEnable, kSetEnable, kGetMode, kSetMode, kGetIrq, kSetIrq, kGetHash, kSetHash, kGetMap, kSetMap, kGetTrunk,
    kSetTrunk, kGetQsw, kSetQsw, kGetReboot, kSetReboot, kGetCsum, kSetCsum, kGetVrf, kSetVrf, kGetHrt, kSetHrt,
    kGetCpu, kSetCpu, kDrvVer, kRegs, kRuleCount
};

constexpr uint32_t U = kCmdUnset;

constexpr Rule kRules[] = {
    {"fpga_get_enable_state", 6010, U, Check::Req, ErrForm::Long},
    {"fpga_set_enable", 6040, U, Check::Req, ErrForm::Long},
    {"fpga_get_mode", 6070, 0, Check::Scan, ErrForm::Long},
    {"fpga_set_mode", 6100, 0, Check::Scan, ErrForm::Long},
    {"fpga_get_irq_interval", 6130, U, Check::Req, ErrForm::Short},
    {"fpga_set_irq_interval", 6160, U, Check::Req, ErrForm::Short},
    {"fpga_get_hash_seed", 6190, U, Check::Req, ErrForm::Short},
    {"fpga_set_hash_seed", 6220, U, Check::Req, ErrForm::Short},
    {"fpga_get_port_map", 6250, 0, Check::Scan, ErrForm::Long},
    {"fpga_set_port_map", 6280, 0, Check::Scan, ErrForm::Long},
    {"fpga_get_trunk", 6310, U, Check::Scan, ErrForm::Long},
    {"fpga_set_trunk", 6340, U, Check::Scan, ErrForm::Long},
    {"fpga_get_queue_switch", 6370, 0, Check::Scan, ErrForm::Long},
    {"fpga_set_queue_switch", 6400, 0, Check::Scan, ErrForm::Long},
    {"fpga_get_load_reboot", 6430, 0, Check::Scan, ErrForm::Long},
    {"fpga_set_load_reboot", 6460, 0, Check::Scan, ErrForm::Long},
    {"fpga_get_checksum_switch", 6490, U, Check::Req, ErrForm::Short},
    {"fpga_set_checksum_switch", 6520, U, Check::Req, ErrForm::Long},
    {"fpga_get_vrf_switch", 6550, U, Check::Req, ErrForm::Short},
    {"fpga_set_vrf_switch", 6580, 255, Check::None, ErrForm::Long},
    {"fpga_get_hrtimer_affinity", 6610, 255, Check::None, ErrForm::Long},
    {"fpga_set_hrtimer_affinity", 6640, 255, Check::None, ErrForm::Long},
    {"fpga_get_cpu_present", 6670, 255, Check::None, ErrForm::Long},
    {"fpga_set_cpu_present", 6700, 255, Check::None, ErrForm::Long},
    {"trans_get_drv_ver", 6730, U, Check::Req, ErrForm::Short},
    {"fpga_get_regs", 6790, U, Check::Req, ErrForm::Short},
};
static_assert(std::size(kRules) == kRuleCount);

constexpr CmdSite site_of(RuleId id) { return CmdSite{kRules[id].handler, kFile, kRules[id].line}; }

// The scan result judged by the row's rule.
template <class... Fields>
bool accepted(RuleId id, int ret, Fields... fields)
{
    switch (kRules[id].check) {
    case Check::Req: return cmd_scanned(ret, fields...);
    case Check::Scan: return ret >= 0;
    case Check::None: return true;
    }
    return false;
}

// "FAILED" and the row's error line naming `op`; returns the status.
TransOpStatus op_failed(RuleId id, const char *op, int32_t status)
{
    trans_failed();
    if (kRules[id].form == ErrForm::Long)
        trans_error_line_long(op, status, site_of(id));
    else
        trans_error_line(op, status);
    return status;
}

TransOpStatus done()
{
    trans_success();
    return 0;
}


// One "%u" field and a status-only operation.
template <class Op>
TransOpStatus one_field_set(RuleId id, const char *params, const char *name, Op op)
{
    uint32_t fpga = kRules[id].preset;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!accepted(id, ret, fpga))
        return trans_bad_input(site_of(id), ret);
    PlovStatus s = op(fpga);
    return s != PLOV_OK ? op_failed(id, name, s) : done();
}

// fpga:value with a status-only operation taking both.
template <class Op>
TransOpStatus two_field_set(RuleId id, const char *params, const char *name, Op op)
{
    uint32_t fpga = kRules[id].preset, value = kRules[id].preset;
    int ret = sscanf_s(params, "%u:%u", &fpga, &value);
    if (!accepted(id, ret, fpga, value))
        return trans_bad_input(site_of(id), ret);
    PlovStatus s = op(fpga, value);
    return s != PLOV_OK ? op_failed(id, name, s) : done();
}

} // namespace

// ---- enable state, mode, interrupt timer -------------------------------------------------------

TransOpStatus fpga_get_enable_state(const char *params)
{
    uint32_t fpga = U;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!accepted(kGetEnable, ret, fpga))
        return trans_bad_input(site_of(kGetEnable), ret);
    uint8_t state = 0;
    PlovStatus s = PlovTransGetEnableState(cmd_u8(fpga), &state);
    if (s != PLOV_OK)
        return op_failed(kGetEnable, "PlovTransGetEnableState", s);
    trans_success();
    std::printf("Fpga[%u] : workstate[%u]\n", fpga, state);
    return 0;
}

TransOpStatus fpga_set_enable(const char *params)
{
    return one_field_set(kSetEnable, params, "PlovTransFpgaEnableSeqence",
                         [](uint32_t f) { return PlovTransFpgaEnableSeqence(cmd_u8(f)); });
}

TransOpStatus fpga_get_mode(const char *params)
{
    uint32_t fpga = 0;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!accepted(kGetMode, ret, fpga))
        return trans_bad_input(site_of(kGetMode), ret);
    uint32_t mode = 0;
    PlovStatus s = PlovTransGetStandbyMode(cmd_u8(fpga), &mode);
    if (s != PLOV_OK)
        return op_failed(kGetMode, "PlovTransGetStandbyMode", s);
    trans_success();
    trans_line(mode == 0 ? "mode : active" : "mode : standby");
    return 0;
}

TransOpStatus fpga_set_mode(const char *params)
{
    return two_field_set(kSetMode, params, "PlovTransSetStandbyMode",
                         [](uint32_t f, uint32_t v) { return PlovTransSetStandbyMode(cmd_u8(f), v); });
}

TransOpStatus fpga_get_irq_interval(const char *params)
{
    uint32_t fpga = U;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!accepted(kGetIrq, ret, fpga) || fpga > 2)
        return trans_bad_input(site_of(kGetIrq), ret);
    uint16_t time = 0;
    PlovStatus s = PlovTransGetIntTimer(cmd_u8(fpga), &time);
    if (s != PLOV_OK)
        return op_failed(kGetIrq, "PlovTransGetIntTimer", s);
    trans_success();
    std::printf("\rTime : %u\n", time);
    return 0;
}

TransOpStatus fpga_set_irq_interval(const char *params)
{
    return two_field_set(kSetIrq, params, "PlovTransSetIntTimer",
                         [](uint32_t f, uint32_t v) { return PlovTransSetIntTimer(cmd_u8(f), cmd_u16(v)); });
}

// ---- hash seeds ----------------------------------------------------------------------------

TransOpStatus fpga_get_hash_seed(const char *params)
{
    uint32_t fpga = U, index = U;
    int ret = sscanf_s(params, "%u:%u", &fpga, &index);
    if (!accepted(kGetHash, ret, fpga, index))
        return trans_bad_input(site_of(kGetHash), ret);
    uint64_t seed1 = 0, seed2 = 0;
    PlovStatus s = PlovTransGetHashSeed(0, cmd_u8(fpga), cmd_u8(index), &seed1, &seed2);
    if (s != PLOV_OK)
        return op_failed(kGetHash, "PlovTransGetHashSeed", s);
    trans_success();
    std::printf("hashseed1: %llx\nhashseed2: %llx\n", static_cast<unsigned long long>(seed1),
                static_cast<unsigned long long>(seed2));
    return 0;
}

TransOpStatus fpga_set_hash_seed(const char *params)
{
    uint32_t fpga = U, index = U, seed1 = U, seed2 = U;
    int ret = sscanf_s(params, "%u:%u:%x:%x", &fpga, &index, &seed1, &seed2);
    if (!accepted(kSetHash, ret, fpga, index, seed1, seed2))
        return trans_bad_input(site_of(kSetHash), ret);
    PlovStatus s = PlovTransSetHashSeed(0, cmd_u8(fpga), cmd_u8(index), seed1, seed2);
    return s != PLOV_OK ? op_failed(kSetHash, "PlovTransSetHashSeed", s) : done();
}

// ---- port map and trunk ---------------------------------------------------------------------

TransOpStatus fpga_get_port_map(const char *params)
{
    uint32_t fpga = 0, port = 0;
    int ret = sscanf_s(params, "%u:%u", &fpga, &port);
    if (!accepted(kGetMap, ret, fpga, port))
        return trans_bad_input(site_of(kGetMap), ret);
    uint8_t logic = 0;
    PlovStatus s = PlovTransGetPortMap(cmd_u8(fpga), cmd_u8(port), &logic);
    if (s != PLOV_OK)
        return op_failed(kGetMap, "PlovTransGetPortMap", s);
    trans_success();
    std::printf("PortIDPhy   : %d\nPortIDLogic : %d\n", static_cast<int>(port), logic);
    return 0;
}

TransOpStatus fpga_set_port_map(const char *params)
{
    uint32_t fpga = 0, phy = 0, logic = 0;
    int ret = sscanf_s(params, "%u:%u:%u", &fpga, &phy, &logic);
    if (!accepted(kSetMap, ret, fpga, phy, logic))
        return trans_bad_input(site_of(kSetMap), ret);
    PlovStatus s = PlovTransSetPortMap(cmd_u8(fpga), cmd_u8(phy), cmd_u8(logic));
    return s != PLOV_OK ? op_failed(kSetMap, "PlovTransSetPortMap", s) : done();
}

TransOpStatus fpga_get_trunk(const char *params)
{
    uint32_t fpga = U, port = U;
    int ret = sscanf_s(params, "%u:%u", &fpga, &port);
    if (!accepted(kGetTrunk, ret, fpga, port))
        return trans_bad_input(site_of(kGetTrunk), ret);
    const PortPro pp = trans_trunk_pro(cmd_u8(port));
    uint8_t on = 0;
    PlovStatus s = PLOV_TransGetTrunk(cmd_u8(fpga), &pp, &on);
    if (s != PLOV_OK)
        return op_failed(kGetTrunk, "PLOV_TransGetTrunk", s);
    trans_success();
    std::printf(on != 0 ? "updat[%d] trunk : on\n" : "update[%d] trunk : off\n", cmd_u8(port));
    return 0;
}

TransOpStatus fpga_set_trunk(const char *params)
{
    uint32_t fpga = U, port = U, flag = U;
    int ret = sscanf_s(params, "%u:%u:%u", &fpga, &port, &flag);
    if (!accepted(kSetTrunk, ret, fpga, port, flag))
        return trans_bad_input(site_of(kSetTrunk), ret);
    const PortPro pp = trans_trunk_pro(cmd_u8(port));
    PlovStatus s = PLOV_TransSetTrunk(cmd_u8(fpga), &pp, cmd_u8(flag));
    return s != PLOV_OK ? op_failed(kSetTrunk, "PLOV_TransSetTrunk", s) : done();
}

// ---- queue switches and load-at-reboot -------------------------------------------------------

TransOpStatus fpga_get_queue_switch(const char *params)
{
    uint32_t fpga = 0, type = 0, queue = 0;
    int ret = sscanf_s(params, "%u:%u:%u", &fpga, &type, &queue);
    if (!accepted(kGetQsw, ret, fpga, type, queue))
        return trans_bad_input(site_of(kGetQsw), ret);
    const QueueId id{type, queue};
    uint32_t value = 0;
    PlovStatus s = PlovTransGetQueueSwitch(trans_fpga32(fpga), &id, &value);
    if (s != PLOV_OK)
        return op_failed(kGetQsw, "PlovTransGetQueueSwitch", s);
    std::printf("Get queue switch is [%u]\n", value);
    return done();
}

TransOpStatus fpga_set_queue_switch(const char *params)
{
    uint32_t fpga = 0, type = 0, queue = 0, value = 0;
    int ret = sscanf_s(params, "%u:%u:%u:%u", &fpga, &type, &queue, &value);
    if (!accepted(kSetQsw, ret, fpga, type, queue, value))
        return trans_bad_input(site_of(kSetQsw), ret);
    const QueueId id{type, queue};
    PlovStatus s = PlovTransSetQueueSwitch(trans_fpga32(fpga), &id, value);
    return s != PLOV_OK ? op_failed(kSetQsw, "PlovTransSetQueueSwitch", s) : done();
}

TransOpStatus fpga_get_load_reboot(const char *params)
{
    uint32_t fpga = 0;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!accepted(kGetReboot, ret, fpga))
        return trans_bad_input(site_of(kGetReboot), ret);
    // The operation reads the driver's 64-bit answer itself and narrows it.
    uint8_t flag = 0;
    PlovStatus s = PlovTransGetLogicLoadAtReboot(cmd_u8(fpga), &flag);
    if (s != PLOV_OK)
        return op_failed(kGetReboot, "DornSetLoadAtReboot", s);
    std::printf("Load logic at reboot flag is [%u]\n", flag);
    return done();
}

TransOpStatus fpga_set_load_reboot(const char *params)
{
    return two_field_set(kSetReboot, params, "DornSetLoadAtReboot", [](uint32_t f, uint32_t v) {
        return PlovTransSetLogicLoadAtReboot(cmd_u8(f), cmd_u8(v));
    });
}

// ---- checksum, VRF, timer CPU, CPU presence ------------------------------------------------------

TransOpStatus fpga_get_checksum_switch(const char *params)
{
    uint32_t fpga = U;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!accepted(kGetCsum, ret, fpga))
        return trans_bad_input(site_of(kGetCsum), ret);
    uint8_t rx = 0xFF, tx = 0xFF;
    PlovStatus s = PLOV_TransGetCheckSumSwitch(cmd_u8(fpga), &rx, &tx);
    if (s != PLOV_OK)
        return op_failed(kGetCsum, "PLOV_TransGetCheckSumSwitch", s);
    trans_success();
    std::printf("RxSwitch : %d\nTxSwitch : %d\n", rx, tx);
    return 0;
}

TransOpStatus fpga_set_checksum_switch(const char *params)
{
    uint32_t fpga = U, rx = U, tx = U;
    int ret = sscanf_s(params, "%u:%u:%u", &fpga, &rx, &tx);
    if (!accepted(kSetCsum, ret, fpga, rx, tx))
        return trans_bad_input(site_of(kSetCsum), ret);
    PlovStatus s = PLOV_TransSetCheckSumSwitch(cmd_u8(fpga), cmd_u8(rx), cmd_u8(tx));
    return s != PLOV_OK ? op_failed(kSetCsum, "PLOV_TransSetCheckSumSwitch", s) : done();
}

TransOpStatus fpga_get_vrf_switch(const char *params)
{
    uint32_t fpga = U;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!accepted(kGetVrf, ret, fpga))
        return trans_bad_input(site_of(kGetVrf), ret);
    uint8_t value = 0;
    PlovStatus s = PlovTransGetVrfSwitch(fpga, &value);
    if (s != PLOV_OK)
        return op_failed(kGetVrf, "PlovTransGetVrfSwitch", s);
    trans_success();
    std::printf("Vrf Switch : %d\n", value);
    return 0;
}

TransOpStatus fpga_set_vrf_switch(const char *params)
{
    return two_field_set(kSetVrf, params, "PlovTransSetVrfSwitch",
                         [](uint32_t f, uint32_t v) { return PlovTransSetVrfSwitch(f, cmd_u8(v)); });
}

TransOpStatus fpga_get_hrtimer_affinity(const char *params)
{
    uint32_t fpga = 255;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!accepted(kGetHrt, ret, fpga))
        return trans_bad_input(site_of(kGetHrt), ret);
    uint8_t cpu = 0xFF;
    PlovStatus s = PlovTransGetHrtimerAffinity(fpga, &cpu);
    if (s != PLOV_OK)
        return op_failed(kGetHrt, "PlovTransGetHrtimerAffinity", s);
    trans_success();
    std::printf("cpuid:%d\n", cpu);
    return 0;
}

TransOpStatus fpga_set_hrtimer_affinity(const char *params)
{
    return two_field_set(kSetHrt, params, "PlovTransSetHrtimerAffinity",
                         [](uint32_t f, uint32_t v) { return PlovTransSetHrtimerAffinity(f, cmd_u8(v)); });
}

TransOpStatus fpga_get_cpu_present(const char *params)
{
    uint32_t fpga = 255;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!accepted(kGetCpu, ret, fpga))
        return trans_bad_input(site_of(kGetCpu), ret);
    uint8_t mask = 0;
    PlovStatus s = PlovTransGetCpuUsage(fpga, &mask);
    if (s != PLOV_OK)
        return op_failed(kGetCpu, "PlovTransGetCpuUsage", s);
    trans_success();
    trans_line((mask & 1u) != 0 ? "Cpu0 : yes" : "Cpu0 : no");
    trans_line((mask & 2u) != 0 ? "Cpu1 : yes" : "Cpu1 : no");
    return 0;
}

TransOpStatus fpga_set_cpu_present(const char *params)
{
    uint32_t fpga = 255;
    char cpu1 = '\xFF', cpu0 = '\xFF';
    int ret = sscanf_s(params, "%u:%c:%c", &fpga, &cpu1, 1u, &cpu0, 1u);
    // Each character is one bit: '0' or '1', nothing else.
    auto bit = [](char c) { return c == '0' || c == '1'; };
    if (!bit(cpu1) || !bit(cpu0))
        return trans_bad_input(site_of(kSetCpu), ret);
    const auto mask = static_cast<uint8_t>((cpu1 - '0') * 2 + (cpu0 - '0'));
    PlovStatus s = PlovTransSetCpuUsage(fpga, mask);
    return s != PLOV_OK ? op_failed(kSetCpu, "PlovTransSetCpuUsage", s) : done();
}

// ---- driver version --------------------------------------------------------------------------

TransOpStatus trans_get_drv_ver(const char *params)
{
    uint32_t fpga = U;
    int ret = sscanf_s(params, "%u", &fpga);
    if (!accepted(kDrvVer, ret, fpga)) {
        const CmdSite here = site_of(kDrvVer);
        trans_failed();
        std::printf("Invalid FpgaID input, please check [%s] %s:%u, iRet = %d\n", here.name, here.file, here.line,
                    ret);
        return kTransBadInput;
    }
    // The driver writes at most 40 bytes; the 41st keeps the text ended.
    char text[PLOV_DRV_VER_LEN + 1] = {};
    PlovStatus s = PLOV_OK;
    switch (trans_board()) {
    case TransBoard::Dorn: s = DornTransGetDrvVer(cmd_u8(fpga), text); break;
    case TransBoard::Kesp: s = KespGetDrvVer(cmd_u8(fpga), text); break;
    case TransBoard::Other: std::printf("unsuuport board\n"); return 0;
    }
    if (s != PLOV_OK) {
        trans_error_line("DornTransGetDrvVer", s);
        return s;
    }
    trans_success();
    std::printf("Version : %s\n", text);
    return 0;
}

// ---- shots and register dump ----------------------------------------------------------------------

TransOpStatus fpga_shot(const char *)
{
    constexpr CmdSite here{"fpga_shot", kFile, 6760};
    PlovStatus first = PLOV_OK;
    for (FpgaId fpga = 0; fpga < 2; ++fpga) {
        for (int32_t shot = 0; shot < static_cast<int32_t>(DORN_SHOT_KINDS); ++shot) {
            PlovStatus s = TRANS_Shot(fpga, shot);
            if (s == PLOV_OK) {
                host().sleep(1);
                continue;
            }
            trans_failed();
            std::printf("Function TRANS_Shot error, fpga = %d, shot = %d, iRet = %d, [%s] %s:%u\n", fpga, shot, s,
                        here.name, here.file, here.line);
            if (first == PLOV_OK)
                first = s;
        }
    }
    // Every shot is tried; the first failure is the status.
    if (first != PLOV_OK)
        return first;
    return done();
}

namespace {

// Consecutive register offsets first..last.
struct Run {
    uint16_t first, last;
};

template <size_t N>
constexpr size_t run_length(const Run (&runs)[N])
{
    size_t n = 0;
    for (const Run &r : runs)
        n += static_cast<size_t>(r.last - r.first + 1);
    return n;
}

template <size_t Lines, size_t N>
constexpr std::array<uint16_t, Lines> expand(const Run (&runs)[N])
{
    std::array<uint16_t, Lines> out{};
    size_t i = 0;
    for (const Run &r : runs)
        for (uint32_t a = r.first; a <= r.last; ++a)
            out[i++] = static_cast<uint16_t>(a);
    return out;
}

constexpr Run kSbufRuns[] = {
    {0x6080, 0x6083}, {0x6090, 0x6092}, {0x60a0, 0x60a0}, {0x60b0, 0x60b0}, {0x60c0, 0x60c1}, {0x60d0, 0x60d0},
    {0x80, 0x82},     {0x85, 0x85},     {0x3880, 0x3881}, {0x480, 0x480},   {0x4080, 0x4081}, {0x4090, 0x4090},
    {0x40a0, 0x40a0}, {0x4480, 0x4481}, {0x4490, 0x4490}, {0x44a0, 0x44a0}, {0x4c80, 0x4c82}, {0x4c8b, 0x4c8e},
    {0x4c97, 0x4c9f}, {0x5080, 0x5081}, {0x4880, 0x4881}, {0x6480, 0x6481}, {0x2080, 0x2082}, {0x2086, 0x2086},
    {0x2088, 0x208a}, {0x2090, 0x2093}, {0x20a0, 0x20a0}, {0x2480, 0x2486}, {0x2488, 0x248a}, {0x2490, 0x24a1},
    {0x24c0, 0x24c3}, {0x880, 0x881},   {0x2c80, 0x2c80}, {0x1880, 0x1888}, {0x1891, 0x1893}, {0x3080, 0x3080},
    {0x3082, 0x3082}, {0x3087, 0x308e}, {0x5480, 0x5480}, {0x5880, 0x5880}, {0x1c80, 0x1c86}, {0x3480, 0x3486},
    {0x5c80, 0x5c80}, {0x7880, 0x7880},
};
constexpr Run kTransRuns[] = {
    {0x6080, 0x6083}, {0x6090, 0x6092}, {0x60a0, 0x60a0}, {0x60b0, 0x60b0}, {0x60c0, 0x60c1}, {0x60d0, 0x60d0},
    {0x80, 0x82},     {0x85, 0x85},     {0x3880, 0x3881}, {0x5880, 0x5882}, {0x480, 0x480},   {0x4080, 0x4081},
    {0x4090, 0x4090}, {0x40a0, 0x40a0}, {0x4480, 0x4481}, {0x4490, 0x4490}, {0x44a0, 0x44a0}, {0x5480, 0x5484},
    {0x5080, 0x5081}, {0x4880, 0x4881}, {0x6480, 0x6481}, {0x2080, 0x2082}, {0x2086, 0x2086}, {0x2088, 0x208a},
    {0x2090, 0x2093}, {0x20a0, 0x20a0}, {0x2480, 0x2486}, {0x2488, 0x248a}, {0x2490, 0x24a1}, {0x24c0, 0x24c3},
    {0x1480, 0x149f}, {0x880, 0x881},   {0x3c80, 0x3c81}, {0x2c80, 0x2c80}, {0x1880, 0x1893}, {0x3080, 0x3080},
    {0x3082, 0x3082}, {0x3087, 0x308e}, {0x4c80, 0x4c84}, {0x2880, 0x2880}, {0x5c80, 0x5c82}, {0x1c80, 0x1c86},
    {0x3480, 0x3486},
};
constexpr Run kKespRuns[] = {
    {0x5c80, 0x5c80}, {0x5c82, 0x5c83}, {0x5c90, 0x5c92}, {0x5ca0, 0x5ca0}, {0x5cd0, 0x5cd0}, {0x81, 0x83},
    {0x2080, 0x2085}, {0x2480, 0x2485}, {0x6c80, 0x6c81}, {0x480, 0x480},   {0x6480, 0x6482}, {0x6490, 0x6490},
    {0x5880, 0x5881}, {0x5890, 0x5891}, {0x58a0, 0x58a2}, {0x58b0, 0x58b1}, {0x58c0, 0x58c1}, {0x6080, 0x6083},
    {0x6090, 0x6091}, {0xc80, 0xc81},   {0xc83, 0xc83},   {0x1080, 0x1081}, {0x1083, 0x1083}, {0x5480, 0x5481},
    {0x7890, 0x7892}, {0x78a0, 0x78a1}, {0x7c80, 0x7c81}, {0x7c90, 0x7c91}, {0x7ca0, 0x7ca2}, {0x7cb0, 0x7cb0},
    {0x7080, 0x7081}, {0x7090, 0x7092}, {0x70a0, 0x70a1}, {0x7480, 0x7483}, {0x7490, 0x7491}, {0x4880, 0x4883},
    {0x8080, 0x8080}, {0x1480, 0x1482}, {0x1486, 0x1486}, {0x1488, 0x148a}, {0x1880, 0x1882}, {0x1886, 0x1886},
    {0x1888, 0x188a}, {0x1c80, 0x1c82}, {0x1c86, 0x1c86}, {0x1c88, 0x1c8a}, {0x6880, 0x6888}, {0x5080, 0x5083},
};
static_assert(run_length(kSbufRuns) == kDumpSbufLines);
static_assert(run_length(kTransRuns) == kDumpTransLines);
static_assert(run_length(kKespRuns) == kDumpKespLines);

constexpr auto kSbufRegs = expand<kDumpSbufLines>(kSbufRuns);
constexpr auto kTransRegs = expand<kDumpTransLines>(kTransRuns);
constexpr auto kKespRegs = expand<kDumpKespLines>(kKespRuns);

// The values the dump holds: 2048 64-bit words.
constexpr size_t kDumpWords = kDumpBufBytes / sizeof(uint64_t);
static_assert(kDumpTransLines <= kDumpWords);

template <size_t N>
void print_regs(const std::array<uint16_t, N> &regs, const uint64_t *values)
{
    for (size_t i = 0; i < N; ++i)
        std::printf("addr[0x%04llx]=[0x%016llx]\n", static_cast<unsigned long long>(regs[i]),
                    static_cast<unsigned long long>(values[i]));
}

} // namespace

TransOpStatus fpga_get_regs(const char *params)
{
    uint32_t fpga = U, length = U;
    int ret = sscanf_s(params, "%u:%u", &fpga, &length);
    if (!accepted(kRegs, ret, fpga, length))
        return trans_bad_input(site_of(kRegs), ret);
    // The operation gets the whole zeroed buffer and its real size: the
    // requested length is only printed, never trusted as a size.
    std::array<uint64_t, kDumpWords> values{};
    uint32_t copied = 0;
    PlovStatus s = PlovTransDumpRegs(cmd_u8(fpga), reinterpret_cast<uint8_t *>(values.data()), kDumpBufBytes,
                                     &copied);
    if (s != PLOV_OK)
        return op_failed(kRegs, "PlovTransDumpRegs", s);
    trans_success();
    std::printf("len_i : %d, len_o : %d\n", static_cast<int>(length), static_cast<int>(copied));
    if (fpga != 0) {
        print_regs(kSbufRegs, values.data());
        return 0;
    }
    switch (trans_board()) {
    case TransBoard::Dorn: print_regs(kTransRegs, values.data()); return 0;
    case TransBoard::Kesp: print_regs(kKespRegs, values.data()); return 0;
    case TransBoard::Other: break;
    }
    std::printf("unsuuport board\n");
    return kTransNoBoard;
}
