#include "tool/norvik/norvik.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "bases/globals/globals.h"
#include "bases/host/host.h"
#include "bases/pci/tvk_dev.h"
#include "kelvo/kelvo.h"
#include "tool/cmd_kit.h"

char g_LogFileName[kMchPathSize];
uint8_t g_RasBus;
uint8_t g_ucRasDevFn;

GLOBALS_RESET(norvik)
{
    std::memset(g_LogFileName, 0, sizeof g_LogFileName);
    g_RasBus = 0;
    g_ucRasDevFn = 0;
}

namespace {

constexpr uint8_t kQpiDevFn = 0xA2;  // device 20, function 2

// Appends "file line " and the text to the info file (console when it
// cannot be opened).
__attribute__((format(printf, 3, 4))) void info_log(const char *file, int line, const char *format, ...)
{
    FILE *log = host().fopen(g_LogFileName, "a+");
    FILE *out = log ? log : stdout;
    std::fprintf(out, "%s %d ", file, line);
    va_list ap;
    va_start(ap, format);
    std::vfprintf(out, format, ap);
    va_end(ap);
    if (log)
        std::fclose(log);
    else
        std::fflush(stdout);
}

#define MCH_INFO(...) info_log(__FILE__, __LINE__, __VA_ARGS__)

// A message printed as a console line and appended to the info file.
void report_at(const char *file, int line, const char *text)
{
    std::puts(text);
    info_log(file, line, "%s\n", text);
}

#define MCH_REPORT(text) report_at(__FILE__, __LINE__, (text))

// One access of a pair: on failure the pair's message and the status.
int32_t qpi_read(uint32_t offset, uint32_t *out, const char *failText)
{
    int32_t ret = tvk_read_conf_dword(g_RasBus, g_ucRasDevFn, offset, out);
    if (ret != 0)
        MCH_REPORT(failText);
    return ret;
}

int32_t qpi_write(uint32_t offset, uint32_t value, const char *failText)
{
    int32_t ret = tvk_write_conf_dword(g_RasBus, g_ucRasDevFn, offset, value);
    if (ret != 0)
        MCH_REPORT(failText);
    return ret;
}

constexpr const char *kNoNonFatal = "Can't get nofatal global error info!";
constexpr const char *kNoFatal = "Can't get fatal global error info!";
constexpr const char *kNoQpi0Log = "Can't enable QPI0 error state logging!";
constexpr const char *kNoQpi1Log = "Can't enable QPI1 error state logging!";

int32_t write_enables(uint32_t port0, uint32_t port1)
{
    int32_t ret = qpi_write(kQpi0LogEnable, port0, kNoQpi0Log);
    return ret != 0 ? ret : qpi_write(kQpi1LogEnable, port1, kNoQpi1Log);
}

// "%s.info" / "%s.result" from base; false (after the snprintf_s line) when
// a path does not fit, so nothing is created under a cut name.
bool form_paths(const char *base, mch_check_ctrl &ctrl)
{
    int ret = snprintf_s(g_LogFileName, sizeof g_LogFileName, sizeof g_LogFileName - 1, "%s.info", base);
    if (ret >= 0)
        ret = snprintf_s(ctrl.result_path, sizeof ctrl.result_path, sizeof ctrl.result_path - 1, "%s.result", base);
    if (ret >= 0)
        return true;
    std::printf("call snprintf_s fail, error=%d\n", ret);
    g_LogFileName[0] = '\0';
    ctrl.result_path[0] = '\0';
    return false;
}

void create_info_file()
{
    FILE *f = host().fopen(g_LogFileName, "wb");
    if (f == nullptr) {
        std::printf("open(%s) failed\n", g_LogFileName);
        return;
    }
    std::fclose(f);
}

} // namespace

TransOpStatus mch_check_intf(const char *params)
{
    char base[kMchPathSize] = {};
    char item[kMchPathSize] = {};
    int ret = params ? sscanf_s(params, "%[^/]/%s", base, sizeof base, item, sizeof item) : -1;
    if (ret != 2) {
        cmd_invalid_input(", iRet=%d\n", ret);
        return kMchBadInput;
    }
    mch_check_ctrl ctrl{};
    if (!form_paths(base, ctrl))
        return kMchBadInput;
    create_info_file();
    int32_t status = analyze_ctrl_t_param(item, &ctrl);
    if (status == 0) {
        ctrl.flags |= kMchWriteResult;
        status = mch_check_cmd_deal(&ctrl);
    }
    if (status < 0)
        std::puts("Option operand error \n");
    return status;
}

int32_t analyze_ctrl_t_param(const char *text, mch_check_ctrl *ctrl)
{
    if (text == nullptr || ctrl == nullptr)
        return kMchNull;
    int itemNo = 0;
    int ret = sscanf_s(text, "item=%d,tcap=%d,ecap=%d", &itemNo, &ctrl->time_cap, &ctrl->err_cap);
    if (ret != 3) {
        std::printf("%s err fromat, iRet = %d\n", text, ret);
        return kMchBadInput;
    }
    if (itemNo != 1 && itemNo != 2)
        return kMchBadItem;
    ctrl->flags |= static_cast<uint32_t>(itemNo);
    return 0;
}

int32_t mch_check_cmd_deal(mch_check_ctrl *ctrl)
{
    if (ctrl == nullptr)
        return kMchNull;
    std::printf("cmd:%d;time_cap:%d;err_cap:%d\n", static_cast<int>(ctrl->flags), ctrl->time_cap, ctrl->err_cap);
    MCH_INFO("cmd:%d;time_cap:%d;err_cap:%d\n", static_cast<int>(ctrl->flags), ctrl->time_cap, ctrl->err_cap);
    if ((ctrl->flags & 1u) == 0)
        return 0;
    g_RasBus = 0;
    g_ucRasDevFn = kQpiDevFn;
    int32_t result = mch_check_qpi(ctrl);
    if (result != 0)
        std::printf("qpi check fail[%d]\n", result);
    else
        std::puts("qpi check ok");
    if (ctrl->flags & kMchWriteResult)
        mch_output_result_file(ctrl->result_path, result == 1 ? "TBD" : "OK");
    return result;
}

int32_t mch_check_qpi(mch_check_ctrl *)
{
    std::printf("qpi check result(%d)[%s]\n", 0, "OK");
    MCH_INFO("qpi check result(%d)[%s]\n", 0, "OK");
    return 0;
}

void mch_output_result_file(const char *path, const char *text)
{
    if (path == nullptr || text == nullptr) {
        MCH_REPORT("input is NULL");
        return;
    }
    FILE *f = host().fopen(path, "wb");
    if (f == nullptr) {
        std::printf("Create file [%s] failed\n", path);
        MCH_INFO("Create file [%s] failed\n", path);
        return;
    }
    std::fprintf(f, "%s\n", text);
    std::fclose(f);
}

int32_t mch_detect_qpi_state(int32_t *result)
{
    if (result == nullptr)
        return kMchNull;
    uint32_t st0 = 0, st1 = 0;
    int32_t ret = qpi_read(kQpi0ErrSt, &st0, kNoNonFatal);
    if (ret == 0)
        ret = qpi_read(kQpi1ErrSt, &st1, kNoFatal);
    if (ret != 0)
        return ret;
    if (((st0 | st1) & kQpiErrBits) == 0) {
        *result = 0;
        return 0;
    }
    *result = 1;
    unsigned dev = g_ucRasDevFn >> 3, fn = g_ucRasDevFn & 7u;
    std::printf("[%02x:%02x.%x] QPI0ERRST[addr=%d,var=%d] QPI1ERRST[addr=%d,var=%d]\n", g_RasBus, dev, fn,
                static_cast<int>(kQpi0ErrSt), static_cast<int>(st0), static_cast<int>(kQpi1ErrSt),
                static_cast<int>(st1));
    MCH_INFO("[%02x:%02x.%x] QPI0ERRST[addr=%d,var=%d] QPI1ERRST[addr=%d,var=%d]\n", g_RasBus, dev, fn,
             static_cast<int>(kQpi0ErrSt), static_cast<int>(st0), static_cast<int>(kQpi1ErrSt),
             static_cast<int>(st1));
    return 0;
}

int32_t mch_get_qpi_enable_reg(uint32_t *port0_out, uint32_t *port1_out)
{
    if (port0_out == nullptr || port1_out == nullptr)
        return kMchNull;
    int32_t ret = qpi_read(kQpi0LogEnable, port0_out, kNoQpi0Log);
    return ret != 0 ? ret : qpi_read(kQpi1LogEnable, port1_out, kNoQpi1Log);
}

int32_t mch_clear_qpi_status_reg()
{
    int32_t ret = qpi_write(kQpi0ErrSt, kQpiErrBits, kNoNonFatal);
    return ret != 0 ? ret : qpi_write(kQpi1ErrSt, kQpiErrBits, kNoFatal);
}

int32_t mch_renew_qpi_setting(uint32_t port0, uint32_t port1) { return write_enables(port0, port1); }

int32_t mch_enable_qpi_check(uint32_t port0, uint32_t port1)
{
    return write_enables(port0 | kQpiEnableBits, port1 | kQpiEnableBits);
}
