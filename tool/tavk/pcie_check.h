// The PCI Express periodic check ("mfc"/"pcie", -m pcie/BASE/tT:fF:uU:cC):
// polls the error bits of every PCI Express function's Device Status T
// times, 50 ms apart, counts them by class, compares the counts with the
// thresholds and writes the verdict to BASE.result and the details to
// BASE.info.
#ifndef QUORBIX_TOOL_TAVK_PCIE_CHECK_H
#define QUORBIX_TOOL_TAVK_PCIE_CHECK_H

#include <cstddef>
#include <cstdint>

#include "hwmanage/hpi/plugins/hardware/tvk_monitor.h"
#include "tool/trans_op.h"

inline constexpr uint32_t PCIE_CHECK_FILES = 4;   // flags: write the result and info files
inline constexpr size_t PCIE_CHECK_BASE = 64;

struct pcie_check_ctrl {
    int32_t time_cap;
    int32_t ferr_cap;
    int32_t uncerr_cap;
    int32_t cerr_cap;
    uint32_t flags;
    char base[PCIE_CHECK_BASE];
};
static_assert(offsetof(pcie_check_ctrl, flags) == 16 && offsetof(pcie_check_ctrl, base) == 20);

struct pcie_err_count {
    uint32_t ferr;
    uint32_t uncerr;
    uint32_t cerr;
};
static_assert(sizeof(pcie_err_count) == 12);

// Result bits.
inline constexpr int PCIE_FAULTY = 1 << 0;
inline constexpr int PCIE_TBD = 1 << 1;

inline constexpr unsigned PCIE_POLL_US = 50000;

TransOpStatus pcie_check_intf(const char *params);
int analyze_ctrl_f_param(const char *text, pcie_check_ctrl *ctrl);
int pci_cycle_check(pcie_check_ctrl *ctrl);
// One poll over the first `max` nodes; every readable function is counted
// and cleared. 0, or the status of the last failed state read.
int pci_update_devsts_stat(const TVK_ENT_LIST_HEAD *list, pcie_err_count *counters, uint32_t max);
int pci_educe_cycle_result(const pcie_check_ctrl *ctrl, const TVK_ENT_LIST_HEAD *list,
                           const pcie_err_count *counters, uint32_t max);

#endif
