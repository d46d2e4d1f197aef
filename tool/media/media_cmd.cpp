// The media command rows: DSP memory, LPC and PCIe application register
// reads and writes, hot plug and reset, port control, start-up and health
// state, memory fill and test, and the mailbox switch, statistic and
// trans-table rows.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include <sys/time.h>

#include "bases/host/host.h"
#include "boardlib/media_intf.h"
#include "kelvo/kelvo.h"
#include "tool/media/dspmail.h"
#include "tool/media/media.h"
#include "tool/trans/trans_cmd.h"

#define MEDIA_SITE CmdSite{__func__, __FILE__, static_cast<unsigned>(__LINE__)}

namespace {

constexpr uint32_t kAllDsps = 255;
constexpr int32_t kRangeFail = -1200;
constexpr int32_t kNoMemory = -1209;
constexpr int32_t kMallocFail = 2;
constexpr uint16_t kBaseLpcAddr = 0xB004;
constexpr uint8_t kBaseLpcData = 0x55;

int d(uint32_t v) { return static_cast<int>(v); }

// The DSPs of a command that takes 255 for all nine (no range check: the
// library checks the number).
void dsp_range(uint32_t dsp, uint32_t &first, uint32_t &last)
{
    first = dsp == kAllDsps ? 0 : dsp;
    last = dsp == kAllDsps ? MEDIA_DSP_NUM - 1 : dsp;
}

// "FAILED" and a failure line already printed by the caller's format.
#define MEDIA_FAIL(ret, ...)          \
    do {                              \
        trans_failed();               \
        std::printf(__VA_ARGS__);     \
        return (ret);                 \
    } while (0)

TransOpStatus done()
{
    trans_success();
    return 0;
}

} // namespace

// ---- DSP memory, LPC and application registers (r_media, w_media) ------------------------------------

namespace {

using ReadShow = void (*)(uint32_t sub, uint32_t dsp, uint32_t addr, uint64_t value);

TransOpStatus read_dsp_mem(const char *params, const CmdSite &site, uint32_t len, ReadShow show)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, addr = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:0x%x", &sub, &dsp, &addr);
    if (!cmd_scanned(n, sub, dsp, addr))
        return trans_bad_input(site, n);
    uint64_t value = 0;
    if (PlovStatus ret = PLOV_MediaReadDspMem(sub, dsp, addr, &value, len); ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaReadDspMem subboard %d dsp %d addr 0x%x exe error, iRet = %d\n", d(sub),
                   d(dsp), addr, ret);
    show(sub, dsp, addr, value);
    return done();
}

} // namespace

TransOpStatus read_media_dsp_mem_b(const char *params)
{
    return read_dsp_mem(params, MEDIA_SITE, 1, [](uint32_t s, uint32_t dp, uint32_t a, uint64_t v) {
        std::printf("Read subboard %d(0x%x)  dsp %d(0x%x)  addr 0x%x  data 0x%x \n", d(s), s, d(dp), dp, a,
                    static_cast<uint32_t>(v & 0xFF));
    });
}

TransOpStatus read_media_dsp_mem_dw(const char *params)
{
    return read_dsp_mem(params, MEDIA_SITE, 4, [](uint32_t s, uint32_t dp, uint32_t a, uint64_t v) {
        std::printf("Read subboard %d(0x%x)  dsp %d(0x%x)  addr 0x%x  data 0x%08x \n", d(s), s, d(dp), dp, a,
                    static_cast<uint32_t>(v));
    });
}

TransOpStatus read_media_dsp_mem_ddw(const char *params)
{
    return read_dsp_mem(params, MEDIA_SITE, 8, [](uint32_t s, uint32_t dp, uint32_t a, uint64_t v) {
        std::printf("Read subboard %d(0x%x)  dsp %d(0x%x)  addr 0x%x  data 0x%016llx \n", d(s), s, d(dp), dp, a,
                    static_cast<unsigned long long>(v));
    });
}

TransOpStatus media_test_dsp_ecc_rd_dw(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, addr = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:0x%x", &sub, &dsp, &addr);
    if (!cmd_scanned(n, sub, dsp, addr))
        return trans_bad_input(MEDIA_SITE, n);
    uint32_t value = 0;
    if (PlovStatus ret = MEDIA_AppDspMemRwAlign(sub, dsp, addr, &value, 4, 4, 0); ret != 0)
        MEDIA_FAIL(ret, "Function MEDIA_AppDspMemRwAlign subboard %d dsp %d addr 0x%x exe error, iRet = %d\n", d(sub),
                   d(dsp), addr, ret);
    std::printf("Read subboard %d(0x%x)  dsp %d(0x%x)  addr 0x%x  ecc data 0x%08x \n", d(sub), sub, d(dsp), dsp, addr,
                value);
    return done();
}

TransOpStatus read_lpc_mem_b(const char *params)
{
    uint32_t addr = kCmdUnset;
    int n = sscanf_s(params, "0x%4x", &addr);
    if (!cmd_scanned(n, addr))
        return trans_bad_input(MEDIA_SITE, n);
    uint8_t value = 0;
    if (PlovStatus ret = MEDIA_AppLpcRW(cmd_u16(addr), &value, 1, 0); ret != 0)
        MEDIA_FAIL(ret, "Function Media_AppLpcRW read addr 0x%x exe error, iRet = %d\n", addr, ret);
    std::printf("Read lpc addr 0x%x  data 0x%x \n", addr, value);
    return done();
}

TransOpStatus read_media_dsp_pcie_app_dw(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, reg = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:0x%x", &sub, &dsp, &reg);
    if (!cmd_scanned(n, sub, dsp, reg))
        return trans_bad_input(MEDIA_SITE, n);
    uint32_t value = 0;
    if (PlovStatus ret = MEDIA_AppDspPcieAppRW(sub, dsp, reg, &value, 4, 0); ret != 0)
        MEDIA_FAIL(ret, "Function Media_AppDspPcieAppRW read subboard %d dsp %d pcie app addr 0x%x exe error, iRet = %d\n",
                   d(sub), d(dsp), reg, ret);
    std::printf("Read subboard %d(0x%x)  dsp %d(0x%x)  pcie app addr 0x%x  data 0x%08x \n", d(sub), sub, d(dsp), dsp,
                reg, value);
    return done();
}

TransOpStatus write_media_dsp_mem_b(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, addr = kCmdUnset, data = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:0x%x:0x%x", &sub, &dsp, &addr, &data);
    if (!cmd_scanned(n, sub, dsp, addr, data))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("Write subboard %d(0x%x) dsp %d(0x%x) addr 0x%x data 0x%x\n", d(sub), sub, d(dsp), dsp, addr, data);
    uint8_t byte = cmd_u8(data);
    if (PlovStatus ret = PLOV_MediaWriteDspMem(sub, dsp, addr, &byte, 1); ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaWriteDspMem subboard %d dsp %d addr 0x%x data 0x%x exe error, iRet = %d\n",
                   d(sub), d(dsp), addr, data, ret);
    return done();
}

TransOpStatus write_media_dsp_mem_dw(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, addr = kCmdUnset, data = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:0x%x:0x%8x", &sub, &dsp, &addr, &data);
    if (!cmd_scanned(n, sub, dsp, addr, data))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("Write subboard %d(0x%x) dsp %d(0x%x) addr 0x%x data 0x%08x\n", d(sub), sub, d(dsp), dsp, addr, data);
    if (PlovStatus ret = PLOV_MediaWriteDspMem(sub, dsp, addr, &data, 4); ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaWriteDspMem subboard %d dsp %d addr 0x%x data 0x%08x exe error, iRet = %d\n",
                   d(sub), d(dsp), addr, data, ret);
    return done();
}

TransOpStatus write_media_dsp_mem_ddw(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, addr = kCmdUnset;
    unsigned long long data = kCmdUnset64;
    int n = sscanf_s(params, "%u:%u:0x%x:0x%16llx", &sub, &dsp, &addr, &data);
    if (!cmd_scanned(n, sub, dsp, addr, uint64_t{data}))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("Write subboard %d(0x%x) dsp %d(0x%x) addr 0x%x data 0x%016llx\n", d(sub), sub, d(dsp), dsp, addr, data);
    if (PlovStatus ret = PLOV_MediaWriteDspMem(sub, dsp, addr, &data, 8); ret != 0)
        MEDIA_FAIL(ret,
                   "Function PLOV_MediaWriteDspMem subboard %d dsp %d addr 0x%x data 0x%016llx exe error, iRet = %d\n",
                   d(sub), d(dsp), addr, data, ret);
    return done();
}

TransOpStatus media_test_dsp_ecc_wrt_dw(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, addr = kCmdUnset, data = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:0x%x:0x%8x", &sub, &dsp, &addr, &data);
    if (!cmd_scanned(n, sub, dsp, addr, data))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("Write subboard %d(0x%x) dsp %d(0x%x) addr 0x%x ecc data 0x%08x\n", d(sub), sub, d(dsp), dsp, addr,
                data);
    if (PlovStatus ret = MEDIA_AppDspMemRwAlign(sub, dsp, addr, &data, 4, 4, 1); ret != 0)
        MEDIA_FAIL(ret, "Function MEDIA_AppDspMemRwAlign subboard %d dsp %d addr 0x%x data 0x%08x exe error, iRet = %d\n",
                   d(sub), d(dsp), addr, data, ret);
    return done();
}

TransOpStatus write_lpc_mem_b(const char *params)
{
    uint32_t addr = kCmdUnset, data = kCmdUnset;
    int n = sscanf_s(params, "0x%4x:0x%2x", &addr, &data);
    if (!cmd_scanned(n, addr, data))
        return trans_bad_input(MEDIA_SITE, n);
    uint8_t byte = cmd_u8(data);
    if (PlovStatus ret = MEDIA_AppLpcRW(cmd_u16(addr), &byte, 1, 1); ret != 0)
        MEDIA_FAIL(ret, "Function Media_AppLpcRW write addr 0x%x data 0x%x error, iRet = %d\n", addr, data, ret);
    std::printf("Write lpc addr 0x%x  data 0x%x \n", addr, data);
    return done();
}

TransOpStatus write_media_dsp_pcie_app_dw(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, reg = kCmdUnset, value = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:0x%x:0x%x", &sub, &dsp, &reg, &value);
    if (!cmd_scanned(n, sub, dsp, reg, value))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("Write subboard %d(0x%x) dsp %d(0x%x) pcie app addr 0x%x data 0x%x\n", d(sub), sub, d(dsp), dsp, reg,
                value);
    if (PlovStatus ret = MEDIA_AppDspPcieAppRW(sub, dsp, reg, &value, 4, 1); ret != 0)
        MEDIA_FAIL(ret, "Function Media_AppDspPcieAppRW write subboard %d dsp %d pcie app addr 0x%x exe error, iRet = %d\n",
                   d(sub), d(dsp), reg, ret);
    return done();
}

// ---- one DSP, one operation (t_media in, out, r, hp, step) -----------------------------------------------

namespace {

struct DspOpRow {
    PlovStatus (*op)(uint32_t sub, uint32_t dsp);
    const char *done;   // success line's first word(s)
    const char *name;   // the operation the failure line names
};

// The hot plug's failure line names the plug-out, as operators know it.
constexpr DspOpRow kPlugin{MEDIA_DspHotPlugin, "Plugin", "MEDIA_DspHotPlugin"};
constexpr DspOpRow kPlugout{MEDIA_DspHotPlugout, "Plugout", "MEDIA_DspHotPlugout"};
constexpr DspOpRow kReset{MEDIA_DspReset, "Reset", "MEDIA_DspReset"};
constexpr DspOpRow kHotPlug{MEDIA_DspHotPlug, "Hot plugin", "MEDIA_DspHotPlugout"};
constexpr DspOpRow kThreeStep{MEDIA_AppThreeStepTest, "Three step test", "MEDIA_AppThreeStepTest"};

TransOpStatus dsp_op(const char *params, const CmdSite &site, const DspOpRow &row)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset;
    int n = sscanf_s(params, "%u:%u", &sub, &dsp);
    if (!cmd_scanned(n, sub, dsp))
        return trans_bad_input(site, n);
    if (PlovStatus ret = row.op(sub, dsp); ret != 0)
        MEDIA_FAIL(ret, "Function %s subboard%d dsp%d exe error, iRet = %d\n", row.name, d(sub), d(dsp), ret);
    std::printf("%s subboard %d(0x%x)  dsp %d(0x%x)\n", row.done, d(sub), sub, d(dsp), dsp);
    return done();
}

} // namespace

TransOpStatus media_dsp_plugin(const char *params) { return dsp_op(params, MEDIA_SITE, kPlugin); }
TransOpStatus media_dsp_plugout(const char *params) { return dsp_op(params, MEDIA_SITE, kPlugout); }
TransOpStatus media_dsp_reset(const char *params) { return dsp_op(params, MEDIA_SITE, kReset); }
TransOpStatus media_dsp_hotplug(const char *params) { return dsp_op(params, MEDIA_SITE, kHotPlug); }
TransOpStatus media_three_step_test(const char *params) { return dsp_op(params, MEDIA_SITE, kThreeStep); }

// ---- board and DSP state -------------------------------------------------------------------------------

TransOpStatus media_get_board_info(const char *)
{
    BoardInfo info{};
    if (PlovStatus ret = PLOV_MediaGetBoardInfo(&info); ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaGetBoardInfo error, iRet = %d\n", ret);
    std::printf("BoardInfo.enBaseBoardType  = %d\n", d(info.enBaseBoardType));
    std::printf("BoardInfo.uiSubBoardNum    = %d\n", d(info.uiSubBoardNum));
    for (uint32_t i = 0; i < MEDIA_SUBRD_INFO_NUM; i++) {
        const stSubBoardInfo &s = info.astSubBoard[i];
        std::printf("\n\r");
        std::printf("BoardInfo.stSubBoardInfo[%d].enSubBoardId        = %d\n", d(i), d(s.enSubBoardId));
        std::printf("BoardInfo.stSubBoardInfo[%d].enSubBoardStatus    = %d\n", d(i), d(s.enSubBoardStatus));
        std::printf("BoardInfo.stSubBoardInfo[%d].enSubBoardType      = %d\n", d(i), d(s.enSubBoardType));
        std::printf("BoardInfo.stSubBoardInfo[%d].ulDspNum            = %d\n", d(i), d(s.ulDspNum));
        std::printf("\n\r");
    }
    return 0;
}

TransOpStatus media_get_startup_state(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, core = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:%u", &sub, &dsp, &core);
    if (!cmd_scanned(n, sub, dsp, core))
        return trans_bad_input(MEDIA_SITE, n);
    uint32_t state = 0;
    if (PlovStatus ret = MEDIA_GetDspStartUpState(sub, dsp, core, &state); ret != 0) {
        trans_failed();
        return ret;
    }
    // Answered either way: the query succeeded.
    std::printf(state == 1 ? "Subboard %d dsp %d core %d start up ok!\n" : "Subboard %d dsp %d core %d start up err!\n",
                d(sub), d(dsp), d(core));
    return 0;
}

namespace {

// The name column of a port's lines ends where the state lines put "=".
void show_port(const char *name, int pad, const MediaPortState &p)
{
    std::printf("SubrdState.%s.LinkState%*s=  %d \n", name, pad, "", d(p.LinkState));
    std::printf("SubrdState.%s.LinkWidth%*s=  %d \n", name, pad, "", d(p.LinkWidth));
    std::printf("SubrdState.%s.LinkSpeed%*s=  %d \n\n", name, pad, "", d(p.LinkSpeed));
}

void show_path_state(uint32_t sub, const SubrdState &s)
{
    std::printf("Subboard %d(0x%x) path state:\n", d(sub), sub);
    std::printf("SubrdState.LpcState                          =  %d \n\n", d(s.LpcState));
    show_port("CpuPortState", 12, s.CpuPortState);
    show_port("FpgaPortState", 11, s.FpgaPortState);
    for (uint32_t i = 0; i < MEDIA_DSP_NUM; i++) {
        char name[32] = {};
        (void)snprintf_s(name, sizeof name, sizeof name - 1, "DspPortState[%d]", d(i));
        show_port(name, 8, s.DspPortState[i]);
    }
}

void show_health(const HealthState &h)
{
    const char *p = "HealthState.stMediaWorkPathStatus.stMediaSubWorkPathStatus";
    std::printf("HealthState.enSubBoardHealthStatus                             =  0x%x \n\n", h.enSubBoardHealthStatus);
    std::printf("HealthState.stMediaManagePathStatus.enLoadAndConfigPathStatus  =  0x%x \n",
                h.stManagePath.enLoadAndConfigPathStatus);
    std::printf("HealthState.stMediaManagePathStatus.enResetAndConfigPathStatus =  0x%x \n\n",
                h.stManagePath.enResetAndConfigPathStatus);
    std::printf("HealthState.stMediaWorkPathStatus.ulPublicWorkPathStatus       =  0x%x \n",
                h.stWorkPath.ulPublicWorkPathStatus);
    std::printf("HealthState.stMediaWorkPathStatus.ulSubWorkPathNum             =  0x%x \n",
                h.stWorkPath.ulSubWorkPathNum);
    for (uint32_t i = 0; i < MEDIA_SUB_WORK_PATH_MAX; i++) {
        const stMediaSubWorkPathStatus &w = h.stWorkPath.astSubWorkPath[i];
        std::printf("%s[%d].ulSubWorkPathId     =  0x%x \n", p, d(i), w.ulSubWorkPathId);
        std::printf("%s[%d].enSubWorkPathStatus =  0x%x \n\n", p, d(i), w.enSubWorkPathStatus);
    }
}

} // namespace

TransOpStatus media_get_subrd_health_state(const char *params)
{
    uint32_t sub = kCmdUnset;
    int n = sscanf_s(params, "%u", &sub);
    if (!cmd_scanned(n, sub))
        return trans_bad_input(MEDIA_SITE, n);
    SubrdState path{};
    if (PlovStatus ret = MEDIA_GetSubBoardHealthState(sub, &path); ret != 0)
        std::printf("MEDIA_GetSubBoardHealthState subboard%d err ret %d!\n\n", d(sub), ret);
    else
        show_path_state(sub, path);
    std::printf("Subboard %d(0x%x) health state:\n", d(sub), sub);
    HealthState health{};
    if (PlovStatus ret = PLOV_MediaGetSubBoardHealthStatus(sub, &health); ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaGetSubBoardHealthStatus subboard %d exe error, iRet = %d\n", d(sub), ret);
    show_health(health);
    return done();
}

// ---- memory fill and test, PCIe map ------------------------------------------------------------------------

namespace {

struct timeval now_tv()
{
    struct timeval tv{};
    host().gettimeofday(&tv, nullptr);
    return tv;
}

void time_line(const char *which, const struct timeval &tv)
{
    std::printf("gettimeofday %s: 0x%lx s  0x%lx us\n", which, static_cast<unsigned long>(tv.tv_sec),
                static_cast<unsigned long>(tv.tv_usec));
}

void cost_lines(const struct timeval &start)
{
    struct timeval end = now_tv();
    time_line("end  ", end);
    std::printf("test cost 0x%lx s \n", static_cast<unsigned long>(end.tv_sec - start.tv_sec));
}

int32_t fill_dsp(uint32_t sub, uint32_t dsp, uint32_t addr, uint32_t len, uint8_t data, uint32_t count)
{
    std::printf("Fill subboard %d(0x%x)  dsp %d(0x%x)  %s  --- \n", d(sub), sub, d(dsp), dsp, Filename);
    for (uint32_t i = 0; i < count; i++)
        if (PlovStatus ret = MEDIA_FillDspDevMem(sub, dsp, addr, len, data); ret != 0)
            return ret;
    return 0;
}

// Write, read back and compare one DSP: 0, a transfer's status, or 1 / -1
// at the first difference (1 when the written byte is the greater).
int32_t test_dsp(uint32_t sub, uint32_t dsp, uint32_t addr, uint32_t len, uint8_t *out, uint8_t *in)
{
    std::printf("Write subboard %d(0x%x)  dsp %d(0x%x)    --- \n", d(sub), sub, d(dsp), dsp);
    if (PlovStatus ret = PLOV_MediaWriteDspMem(sub, dsp, addr, out, len); ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaWriteDspMem error, iRet = %d\n", ret);
    trans_success();
    std::memset(in, 0, len);
    std::printf("Read subboard %d(0x%x)  dsp %d(0x%x)    --- \n", d(sub), sub, d(dsp), dsp);
    if (PlovStatus ret = PLOV_MediaReadDspMem(sub, dsp, addr, in, len); ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaReadDspMem error, iRet = %d\n", ret);
    trans_success();
    std::printf("Cmp subboard %d(0x%x)  dsp %d(0x%x)   mem  --- \n", d(sub), sub, d(dsp), dsp);
    for (uint32_t i = 0; i < len; i++) {
        if (out[i] != in[i]) {
            int32_t ret = out[i] > in[i] ? 1 : -1;
            MEDIA_FAIL(ret, "Function memcmp error, iRet = %d\n", ret);
        }
    }
    trans_success();
    return 0;
}

} // namespace

TransOpStatus media_fill_dsp_mem(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, addr = kCmdUnset, len = kCmdUnset, data = kCmdUnset,
             count = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:0x%x:0x%x:0x%x:0x%x", &sub, &dsp, &addr, &len, &data, &count);
    if (!cmd_scanned(n, sub, dsp, addr, len, data, count))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("Write subboard %d(0x%x) dsp %d(0x%x) addr 0x%x len 0x%x data 0x%x cnt 0x%x\n", d(sub), sub, d(dsp), dsp,
                addr, len, data, count);
    struct timeval start = now_tv();
    time_line("start", start);
    uint32_t first = 0, last = 0;
    dsp_range(dsp, first, last);
    for (uint32_t i = first; i <= last; i++)
        if (int32_t ret = fill_dsp(sub, i, addr, len, cmd_u8(data), count); ret != 0)
            MEDIA_FAIL(ret, "Function MEDIA_FillDspMem error, iRet = %d\n", ret);
    cost_lines(start);
    return done();
}

TransOpStatus media_test_dsp_mem(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, addr = kCmdUnset, len = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:0x%x:0x%x", &sub, &dsp, &addr, &len);
    if (!cmd_scanned(n, sub, dsp, addr, len))
        return trans_bad_input(MEDIA_SITE, n);
    std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[len]);
    std::unique_ptr<uint8_t[]> in(new (std::nothrow) uint8_t[len]);
    if (!out || !in)
        return kNoMemory;
    for (uint32_t i = 0; i < len; i++)
        out[i] = static_cast<uint8_t>(i % 256);
    uint32_t first = 0, last = 0;
    dsp_range(dsp, first, last);
    struct timeval start = now_tv();
    time_line("start", start);
    for (uint32_t i = first; i <= last; i++)
        if (int32_t ret = test_dsp(sub, i, addr, len, out.get(), in.get()); ret != 0)
            return ret;
    cost_lines(start);
    return 0;
}

TransOpStatus media_get_dsp_mem_map(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset;
    int n = sscanf_s(params, "%u:%u", &sub, &dsp);
    if (!cmd_scanned(n, sub, dsp))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("get subboard %d(0x%x) dsp %d(0x%x) pci mem map\n", d(sub), sub, d(dsp), dsp);
    MEDIA_PCI_MAP_RESULT m[MEDIA_CORE_NUM + 2] = {};
    for (uint32_t i = 0; i < MEDIA_CORE_NUM + 2; i++) {
        uint32_t core = i < MEDIA_CORE_NUM ? i : 0;
        uint32_t type = i < MEDIA_CORE_NUM ? MEDIA_REGION_L2 : i - MEDIA_CORE_NUM + 1;
        if (PlovStatus ret = PLOV_MediaGetDspPcieAddr(sub, dsp, core, type, &m[i]); ret != 0)
            MEDIA_FAIL(ret, "Function PLOV_MediaGetDspPcieAddr error, iRet = %d\n", ret);
        auto pcie = static_cast<unsigned long long>(m[i].ullPcieAddr);
        if (type == MEDIA_REGION_L2)
            std::printf("Subboard%d dsp%d core%d L2 Pcie addr : 0x%llx  Dsp addr : 0x%x  Size : 0x%x \n\r\n", d(sub),
                        d(dsp), d(core), pcie, m[i].uiDspAddr, m[i].uiSize);
        else if (type == MEDIA_REGION_MSM)
            std::printf("Subboard%d dsp%d msm ram Pcie addr  : 0x%llx  Dsp addr : 0x%x  Size : 0x%x \n\r\n", d(sub),
                        d(dsp), pcie, m[i].uiDspAddr, m[i].uiSize);
        else
            std::printf("Subboard%d dsp%d ddr Pcie addr      : 0x%llx  Dsp addr : 0x%x  Size : 0x%x \n\r\n", d(sub),
                        d(dsp), pcie, m[i].uiDspAddr, m[i].uiSize);
    }
    return done();
}

// ---- PCIe switch ports and LPC tests -------------------------------------------------------------------------

namespace {

struct PortRow {
    PlovStatus (*op)(uint32_t sub, uint32_t dsp, uint32_t flag);
    const char *what;   // the line before the call names it
    const char *name;
};

constexpr PortRow kPortCtrl{MEDIA_SetPciSwPort, "", "MEDIA_SetPciSwPort"};
constexpr PortRow kPortIoMem{MEDIA_SetPciSwPortIoMem, " io mem", "MEDIA_SetPciSwPortIoMem"};

TransOpStatus port_op(const char *params, const CmdSite &site, const PortRow &row)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, flag = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:%u", &sub, &dsp, &flag);
    if (!cmd_scanned(n, sub, dsp, flag))
        return trans_bad_input(site, n);
    std::printf("ctrl subboard %d(0x%x) dsp %d(0x%x) pcie switch downstream port%s flag %d\n", d(sub), sub, d(dsp), dsp,
                row.what, d(flag));
    if (PlovStatus ret = row.op(sub, dsp, flag); ret != 0)
        MEDIA_FAIL(ret, "Function %s error, iRet = %d\n", row.name, ret);
    return done();
}

} // namespace

TransOpStatus media_ctrl_dsp_port(const char *params) { return port_op(params, MEDIA_SITE, kPortCtrl); }
TransOpStatus media_ctrl_dsp_port_iomem(const char *params) { return port_op(params, MEDIA_SITE, kPortIoMem); }

TransOpStatus media_dsp_port_ctrl_and_reset(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset;
    int n = sscanf_s(params, "%u:%u", &sub, &dsp);
    if (!cmd_scanned(n, sub, dsp))
        return trans_bad_input(MEDIA_SITE, n);
    uint32_t first = 0, last = 0;
    dsp_range(dsp, first, last);
    for (uint32_t i = first; i <= last; i++) {
        std::printf("Disable->reset->enable subboard %d(0x%x)  dsp %d(0x%x) --- \n", d(sub), sub, d(i), i);
        if (PlovStatus ret = MEDIA_CtrlPortAndCheck(sub, i); ret != 0)
            MEDIA_FAIL(ret, "Function MEDIA_CtrlPortAndCheck subboard%d dsp%d exe error, iRet = %d\n", d(sub), d(i), ret);
        trans_success();
    }
    return 0;
}

TransOpStatus media_test_subrd_lpc(const char *params)
{
    uint32_t sub = kCmdUnset;
    int n = sscanf_s(params, "%u", &sub);
    if (!cmd_scanned(n, sub))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("Test subboard %d(0x%x) lpc --- \n", d(sub), sub);
    if (PlovStatus ret = MEDIA_AppTestSubrdLpc(sub); ret != 0)
        MEDIA_FAIL(ret, "Function MEDIA_AppTestSubrdLpc subboard%d error, iRet = %d\n", d(sub), ret);
    return done();
}

TransOpStatus media_test_basebrd_lpc(const char *params)
{
    uint32_t zero = kCmdUnset;
    int n = sscanf_s(params, "%u", &zero);
    if (!cmd_scanned(n, zero))
        return trans_bad_input(MEDIA_SITE, n);
    if (zero != 0)
        return trans_bad_input(MEDIA_SITE, 1);
    trans_line("Test baseboard lpc --- ");
    uint8_t wrote = kBaseLpcData, got = 0;
    if (PlovStatus ret = MEDIA_AppLpcRW(kBaseLpcAddr, &wrote, 1, 1); ret != 0)
        MEDIA_FAIL(ret, "Function Media_AppLpcRW write addr 0x%x data 0x%x error, iRet = %d\n", kBaseLpcAddr, wrote, ret);
    if (PlovStatus ret = MEDIA_AppLpcRW(kBaseLpcAddr, &got, 1, 0); ret != 0)
        MEDIA_FAIL(ret, "Function Media_AppLpcRW read addr 0x%x exe error, iRet = %d\n", kBaseLpcAddr, ret);
    if (got != static_cast<uint8_t>(~wrote)) {
        std::printf("FAILED RdData 0x%x ucData 0x%x\n", got, wrote);
        return -1;
    }
    return done();
}

// ---- trans tables -------------------------------------------------------------------------------------

namespace {

void utc_text(time_t t, char (&buf)[32])
{
    struct tm tm{};
    gmtime_r(&t, &tm);
    (void)snprintf_s(buf, sizeof buf, sizeof buf - 1, "%d-%02d-%02dT%02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                     tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::unique_ptr<DspTransTable> table_alloc()
{
    std::unique_ptr<DspTransTable> t(new (std::nothrow) DspTransTable);
    if (t)
        std::memset(t.get(), 0, sizeof *t);
    return t;
}

} // namespace

TransOpStatus media_Set_TransAddrTbl(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset;
    int n = sscanf_s(params, "%u:%u", &sub, &dsp);
    if (!cmd_scanned(n, sub, dsp))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("Set TransAddrTbl subboard %d(0x%x)  dsp %d(0x%x)\n", d(sub), sub, d(dsp), dsp);
    std::unique_ptr<DspTransTable> table = table_alloc();
    if (!table)
        MEDIA_FAIL(kMallocFail, "Function malloc error.\n");
    media_dsp_fixed_trans_table(sub, dsp, table.get());
    std::printf("SET DATA:\n");
    media_dsp_dump_trans_table(table.get());
    time_t start = host().time(nullptr);
    PlovStatus ret = PLOV_MediaSetDspTransTable(sub, dsp, table.get());
    time_t end = host().time(nullptr);
    if (ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaSetDspTransTable subboard%d dsp%d error, iRet = %d\n", d(sub), d(dsp), ret);
    char startText[32] = {}, endText[32] = {};
    utc_text(start, startText);
    utc_text(end, endText);
    std::printf("ascStartimeBuf is %s\n\n", startText);
    std::printf("ascEndtimeBuf is %s\n\n", endText);
    return done();
}

TransOpStatus media_Get_TransAddrTbl(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset;
    int n = sscanf_s(params, "%u:%u", &sub, &dsp);
    if (!cmd_scanned(n, sub, dsp))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("Get TransAddrTbl subboard %d(0x%x)  dsp %d(0x%x)\n", d(sub), sub, d(dsp), dsp);
    std::unique_ptr<DspTransTable> table = table_alloc();
    if (!table)
        MEDIA_FAIL(kMallocFail, "Function malloc error.\n");
    if (PlovStatus ret = PLOV_MediaGetDspTransTable(sub, dsp, table.get()); ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaGetDspTransTable subboard%d dsp%d error, iRet = %d\n", d(sub), d(dsp), ret);
    std::printf("GET DATA:\n");
    media_dsp_dump_trans_table(table.get());
    return done();
}

// ---- mailbox switches ---------------------------------------------------------------------------------

TransOpStatus media_Set_mailboxswitch(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, core = kCmdUnset, type = kCmdUnset, on = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:%u:%u:%u", &sub, &dsp, &core, &type, &on);
    if (!cmd_scanned(n, sub, dsp, core, type, on))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("Set MailboxSwitch subboard %d(0x%x)  dsp %d(0x%x) DspCoreId %d(0x%x)  MailboxType %d(0x%x) "
                "MailboxSwitch %d(0x%x)\n",
                d(sub), sub, d(dsp), dsp, d(core), core, d(type), type, d(on), on);
    if (PlovStatus ret = PLOV_MediaSetDspMailBoxSwitch(sub, dsp, core, type, on); ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaSetDspMailBoxSwitch subboard%d dsp%d error, iRet = %d\n", d(sub), d(dsp), ret);
    return done();
}

TransOpStatus media_Get_mailboxswitch(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, core = kCmdUnset, type = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:%u:%u", &sub, &dsp, &core, &type);
    if (!cmd_scanned(n, sub, dsp, core, type))
        return trans_bad_input(MEDIA_SITE, n);
    // The line says "Set" before a get, as operators have always seen it.
    std::printf("Set MailboxSwitch subboard %d(0x%x)  dsp %d(0x%x) DspCoreId %d(0x%x)  MailboxType %d(0x%x) \n", d(sub),
                sub, d(dsp), dsp, d(core), core, d(type), type);
    uint32_t on = 0;
    if (PlovStatus ret = PLOV_MediaGetDspMailBoxSwitch(sub, dsp, core, type, &on); ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaGetDspMailBoxSwitch subboard%d dsp%d error, iRet = %d\n", d(sub), d(dsp), ret);
    std::printf("MailboxSwitch = %d\n\n", d(on));
    return done();
}

TransOpStatus media_Set_Globalmailboxswitch(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset, on = kCmdUnset;
    int n = sscanf_s(params, "%u:%u:%u", &sub, &dsp, &on);
    if (!cmd_scanned(n, sub, dsp, on))
        return trans_bad_input(MEDIA_SITE, n);
    uint32_t first = 0, last = 0;
    if (!media_dsp_span(sub, dsp, first, last))
        return kRangeFail;
    for (uint32_t i = first; i <= last; i++) {
        std::printf("Set GlobalMailboxSwitch subboard %d(0x%x)  dsp %d(0x%x) MailboxSwitch %d(0x%x)\n", d(sub), sub,
                    d(i), i, d(on), on);
        if (PlovStatus ret = PLOV_MediaSetGlobalDspMailBoxSwitch(sub, i, on); ret != 0)
            MEDIA_FAIL(ret, "Function PLOV_MediaSetGlobalDspMailBoxSwitch subboard%d dsp%d error, iRet = %d\n", d(sub),
                       d(i), ret);
    }
    return done();
}

TransOpStatus media_Get_Globalmailboxswitch(const char *params)
{
    uint32_t sub = kCmdUnset, dsp = kCmdUnset;
    int n = sscanf_s(params, "%u:%u", &sub, &dsp);
    if (!cmd_scanned(n, sub, dsp))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("Get GlobalMailboxSwitch subboard %d(0x%x)  dsp %d(0x%x) \n", d(sub), sub, d(dsp), dsp);
    uint32_t value = 0x5A5AA5A5;
    PlovStatus ret = PLOV_MediaGetGlobalDspMailBoxSwitch(sub, dsp, &value);
    if (ret == 0) {
        std::printf("GlobalMailboxSwitch = %d\n\n", d(value));
        std::printf("SubBoardId = %d\n\n", d(sub));
        std::printf("DspId = %d\n\n", d(dsp));
    }
    for (uint32_t i = 0; ret == 0 && i < MEDIA_TRANS_ENTRIES; i++) {
        uint32_t core = i / DSP_MB_TYPES, type = i % DSP_MB_TYPES;
        if ((ret = PLOV_MediaGetDspMailBoxSwitch(sub, dsp, core, type, &value)) != 0)
            break;
        std::printf("DspCoreId = %d\n\n", d(core));
        std::printf("MailboxType = %d\n\n", d(type));
        std::printf("MailboxSwitch = %d\n\n", d(value));
        std::printf("\r\n");
    }
    if (ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaGetDspMailBoxSwitch subboard%d dsp%d error, iRet = %d\n", d(sub), d(dsp), ret);
    return done();
}

// ---- mailbox statistics -------------------------------------------------------------------------------

namespace {

struct StatField {
    const char *name;
    uint32_t stMediaMailboxStatistic::*field;
};

constexpr StatField kStatFields[] = {
    {"ulDspCtrlMsgMailBoxReceiveCnt", &stMediaMailboxStatistic::ulDspCtrlMsgMailBoxReceiveCnt},
    {"ulDspCtrlMsgMailBoxReceiveErrCnt", &stMediaMailboxStatistic::ulDspCtrlMsgMailBoxReceiveErrCnt},
    {"ulDspCtrlMsgMailBoxSendReqCnt", &stMediaMailboxStatistic::ulDspCtrlMsgMailBoxSendReqCnt},
    {"ulDspCtrlMsgMailBoxSendRtnCnt", &stMediaMailboxStatistic::ulDspCtrlMsgMailBoxSendRtnCnt},
    {"ulDspDataMailBoxReceiveCnt", &stMediaMailboxStatistic::ulDspDataMailBoxReceiveCnt},
    {"ulDspDataMailBoxReceiveErrCnt", &stMediaMailboxStatistic::ulDspDataMailBoxReceiveErrCnt},
    {"ulDspDataMailBoxSendReqCnt", &stMediaMailboxStatistic::ulDspDataMailBoxSendReqCnt},
    {"ulDspDataMailBoxSendRtnCnt", &stMediaMailboxStatistic::ulDspDataMailBoxSendRtnCnt},
    {"ulDspReleaseMailBoxCnt", &stMediaMailboxStatistic::ulDspReleaseMailBoxCnt},
    {"ulDspReleaseMailBoxErrCnt", &stMediaMailboxStatistic::ulDspReleaseMailBoxErrCnt},
};

void show_statistic(uint32_t sub, uint32_t dsp, uint32_t core, const stMediaMailboxStatistic &s)
{
    std::printf("SubBoardId = %d\n\n", d(sub));
    std::printf("DspId = %d\n\n", d(dsp));
    std::printf("DspCoreId = %d\n\n", d(core));
    for (const StatField &f : kStatFields)
        std::printf("stMediaMailboxStatistic.%s = 0x%x\n\n", f.name, s.*f.field);
}

int32_t get_statistic(uint32_t sub, uint32_t dsp, uint32_t core, stMediaMailboxStatistic &s)
{
    std::memset(&s, 0, sizeof s);
    PlovStatus ret = PLOV_MediaGetDspMailboxStatistic(sub, dsp, core, &s);
    if (ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaGetDspMailboxStatistic subboard%d dsp%d dspcoreid%d error, iRet = %d\n",
                   d(sub), d(dsp), d(core), ret);
    return 0;
}

bool scan_core(const char *params, uint32_t &sub, uint32_t &dsp, uint32_t &core, int &n)
{
    sub = dsp = core = kCmdUnset;
    n = sscanf_s(params, "%u:%u:%u", &sub, &dsp, &core);
    return cmd_scanned(n, sub, dsp, core);
}

} // namespace

TransOpStatus media_Get_Statistic(const char *params)
{
    uint32_t sub = 0, dsp = 0, core = 0;
    int n = 0;
    if (!scan_core(params, sub, dsp, core, n))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("Get Statistic subboard %d(0x%x)  dsp %d(0x%x)  dspcoreid %d(0x%x)\n", d(sub), sub, d(dsp), dsp, d(core),
                core);
    stMediaMailboxStatistic s{};
    if (int32_t ret = get_statistic(sub, dsp, core, s); ret != 0)
        return ret;
    show_statistic(sub, dsp, core, s);
    return done();
}

TransOpStatus media_Clr_Statistic(const char *params)
{
    uint32_t sub = 0, dsp = 0, core = 0;
    int n = 0;
    if (!scan_core(params, sub, dsp, core, n))
        return trans_bad_input(MEDIA_SITE, n);
    std::printf("Clrt Statistic subboard %d(0x%x)  dsp %d(0x%x)  dspcoreid %d(0x%x)\n", d(sub), sub, d(dsp), dsp, d(core),
                core);
    stMediaMailboxStatistic s{};
    if (int32_t ret = get_statistic(sub, dsp, core, s); ret != 0)
        return ret;
    std::printf("Before Clr Command,Statistic is: \n\r");
    show_statistic(sub, dsp, core, s);
    if (PlovStatus ret = PLOV_MediaClrDspMailboxStatistic(sub, dsp, core); ret != 0)
        MEDIA_FAIL(ret, "Function PLOV_MediaClrDspMailboxStatistic subboard%d dsp%d dspcoreid%d error, iRet = %d\n",
                   d(sub), d(dsp), d(core), ret);
    if (int32_t ret = get_statistic(sub, dsp, core, s); ret != 0)
        return ret;
    std::printf("After Clr Command,Statistic is: \n\r");
    show_statistic(sub, dsp, core, s);
    return done();
}
