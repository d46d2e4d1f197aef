#include "tool/tavk/pcie_check.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "bases/host/host.h"
#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"
#include "kelvo/kelvo.h"
#include "tool/cmd_kit.h"

namespace {

constexpr int kBadText = -906;
constexpr int kNoMemory = -903;
constexpr int kNoFile = -909;
constexpr int kNullArg = -904;
constexpr size_t kPathSize = 256;
constexpr size_t kTextSize = 64;

struct HeadFree {
    void operator()(TVK_ENT_LIST_HEAD *h) const { tvk_destroy_entity_list(h); }
};

struct FileClose {
    void operator()(FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileClose>;

// Whether a node is polled and judged.
bool judged(const tvk_entity_node *n, uint32_t index, uint32_t max) { return n->ent.cap != 0 && index < max; }

// Creates BASE + suffix ("wb"); null after logging the failure.
File create_file(const char *base, const char *suffix)
{
    char path[kPathSize] = {};
    int r = snprintf_s(path, sizeof path, sizeof path - 1, "%s%s", base, suffix);
    if (r < 0)
        TVK_LOG("call snprintf_s fail, error=%d\n", r);
    FILE *f = host().fopen(path, "wb");
    if (f == nullptr)
        TVK_LOG("Create file [%s] failed\n", path);
    return File(f);
}

// A line of the info file, when there is one.
__attribute__((format(printf, 2, 3))) void info_line(FILE *info, const char *format, ...)
{
    if (info == nullptr)
        return;
    va_list ap;
    va_start(ap, format);
    std::vfprintf(info, format, ap);
    va_end(ap);
}

// The lines of one judged function; its result bits.
int judge_one(const tvk_entity &e, const pcie_err_count &c, const pcie_check_ctrl &ctrl, FILE *info)
{
    const unsigned b = e.bus, d = dev5(e.devfn), f = fn3(e.devfn);
    const int cerr = static_cast<int>(c.cerr), uncerr = static_cast<int>(c.uncerr), ferr = static_cast<int>(c.ferr);
    int bits = 0;
    if (cerr != 0 || uncerr != 0 || ferr != 0) {
        TVK_LOG("[%02x:%02x.%x] cerr_inc(%d) uncerr_inc(%d) ferr_inc(%d)\n", b, d, f, cerr, uncerr, ferr);
        info_line(info, "info:[%02x:%02x.%x] cerr_inc(%d) uncerr_inc(%d) ferr_inc(%d)\n", b, d, f, cerr, uncerr,
                     ferr);
    }
    // Signed comparisons: a count of 0 reaches a threshold of 0 or below.
    if (uncerr >= ctrl.uncerr_cap) {
        bits |= PCIE_FAULTY;
        info_line(info, "err:[%02x:%02x.%x] uncerr current(%d) overflow(%d)\n", b, d, f, uncerr, ctrl.uncerr_cap);
        TVK_LOG("[%02x:%02x.%x] uncerr current(%d) overflow(%d)\n", b, d, f, uncerr, ctrl.uncerr_cap);
    }
    if (cerr >= ctrl.cerr_cap) {
        bits |= PCIE_TBD;
        info_line(info, "warn:[%02x:%02x.%x] cerr current(%d) overflow(%d)\n", b, d, f, cerr, ctrl.cerr_cap);
        TVK_LOG("[%02x:%02x.%x] cerr current(%d) overflow(%d)\n", b, d, f, cerr, ctrl.cerr_cap);
    }
    if (ferr >= ctrl.ferr_cap) {
        bits |= PCIE_FAULTY;
        info_line(info, "err:[%02x:%02x.%x] ferr current(%d) overflow(%d)\n", b, d, f, ferr, ctrl.ferr_cap);
        TVK_LOG("[%02x:%02x.%x] ferr current(%d) overflow(%d)\n", b, d, f, ferr, ctrl.ferr_cap);
    }
    return bits;
}

} // namespace

TransOpStatus pcie_check_intf(const char *params)
{
    pcie_check_ctrl ctrl{};
    char text[kTextSize] = {};
    int n = sscanf_s(params, "%[^/]/%s", ctrl.base, static_cast<unsigned>(sizeof ctrl.base), text,
                     static_cast<unsigned>(sizeof text));
    if (n != 2) {
        cmd_invalid_input(", iRet=%d\n", n);
        return kBadText;
    }
    ctrl.flags = PCIE_CHECK_FILES;
    int r = analyze_ctrl_f_param(text, &ctrl);
    if (r < 0) {
        std::puts("[SHOW] Option operand error \n");
        return r;
    }
    r = pci_cycle_check(&ctrl);
    if (r != 0)
        TVK_SHOW("pci_cycle_check fail, iRet = %d \n\n", r);
    return r;
}

int analyze_ctrl_f_param(const char *text, pcie_check_ctrl *ctrl)
{
    if (text == nullptr || ctrl == nullptr)
        return kNullArg;
    int n = sscanf_s(text, "t%d:f%d:u%d:c%d", &ctrl->time_cap, &ctrl->ferr_cap, &ctrl->uncerr_cap, &ctrl->cerr_cap);
    if (n != 4) {
        TVK_SHOW("%s err fromat\n", text);
        return kBadText;
    }
    TVK_SHOW("time_cap=%d,ferr_cap=%d,uncerr_cap=%d,cerr_cap=%d\n", ctrl->time_cap, ctrl->ferr_cap, ctrl->uncerr_cap,
             ctrl->cerr_cap);
    return 0;
}

int pci_cycle_check(pcie_check_ctrl *ctrl)
{
    if (ctrl == nullptr)
        return kNullArg;
    std::puts("[SHOW] <--- Begin to cycle PCIe status check... --->");
    std::unique_ptr<TVK_ENT_LIST_HEAD, HeadFree> list(
        static_cast<TVK_ENT_LIST_HEAD *>(std::calloc(1, sizeof(TVK_ENT_LIST_HEAD))));
    if (!list)
        return kNoMemory;
    int r = tvk_build_entity_list(list.get());
    if (r != 0)
        return r;
    // One counter per listed function, none left unchecked.
    const uint32_t count = list->count;
    std::unique_ptr<pcie_err_count[], decltype(&std::free)> counters(
        static_cast<pcie_err_count *>(std::calloc(count == 0 ? 1 : count, sizeof(pcie_err_count))), &std::free);
    if (!counters)
        return kNoMemory;
    for (int i = 0; i < ctrl->time_cap; i++) {
        pci_update_devsts_stat(list.get(), counters.get(), count);
        host().usleep(PCIE_POLL_US);
    }
    r = pci_educe_cycle_result(ctrl, list.get(), counters.get(), count);
    TVK_SHOW("<---  cycle PCIe status check result %d --->\n", r);
    return r;
}

int pci_update_devsts_stat(const TVK_ENT_LIST_HEAD *list, pcie_err_count *counters, uint32_t max)
{
    if (list == nullptr || counters == nullptr)
        return kNullArg;
    int status = 0;
    uint32_t i = 0;
    for (const tvk_entity_node *n = list->first; n != nullptr; n = n->next, i++) {
        if (!judged(n, i, max))
            continue;
        const tvk_entity &e = n->ent;
        const unsigned b = e.bus, d = dev5(e.devfn), f = fn3(e.devfn);
        tvk_entity_state s{};
        int r = tvk_get_entity_state(e.bus, e.devfn, e.cap, &s);
        if (r != 0) {
            // This function is passed over; the others are still polled.
            TVK_LOG("Cannot get entity[%02x:%02x:%x] data, ret=%d\n", b, d, f, r);
            status = r;
            continue;
        }
        tvk_clear_devsts_errors(e.bus, e.devfn, e.cap);
        TVK_NOTE("entity[%02x:%02x:%x] data, dev_stat=%d\n", b, d, f, s.devsta);
        pcie_err_count &c = counters[i];
        c.cerr += s.devsta & 1u;
        c.ferr += (s.devsta >> 2) & 1u;
        c.uncerr += (s.devsta >> 1) & 1u;
        if (s.devsta & 0x7)
            TVK_LOG("[%02x:%02x.%x] CorrErr=%d, UncorrErr=%d, FatalErr=%d, UnsuppReq=%d\n", b, d, f, s.devsta & 1,
                    (s.devsta >> 1) & 1, (s.devsta >> 2) & 1, (s.devsta >> 3) & 1);
    }
    return status;
}

int pci_educe_cycle_result(const pcie_check_ctrl *ctrl, const TVK_ENT_LIST_HEAD *list,
                           const pcie_err_count *counters, uint32_t max)
{
    if (ctrl == nullptr || list == nullptr || counters == nullptr)
        return kNullArg;
    File result, info;
    if (ctrl->flags == PCIE_CHECK_FILES && ctrl->base[0] != '\0') {
        result = create_file(ctrl->base, ".result");
        if (!result)
            return kNoFile;
        info = create_file(ctrl->base, ".info");
        if (!info)
            return kNoFile;   // the result file stays empty
    }
    int bits = 0;
    uint32_t i = 0;
    for (const tvk_entity_node *n = list->first; n != nullptr; n = n->next, i++)
        if (judged(n, i, max))
            bits |= judge_one(n->ent, counters[i], *ctrl, info.get());
    info.reset();
    TVK_LOG("pci_educe_cycle_result return %d\n", bits);
    if (result)
        std::fputs((bits & PCIE_FAULTY) ? "FAULTY\n" : (bits & PCIE_TBD) ? "TBD\n" : "OK\n", result.get());
    return bits;
}
