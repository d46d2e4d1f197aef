// PCI test and dump commands of the diagnosis module: "test"/"pci" shows or
// clears the error state of the PCI Express functions, the bridges on bus
// 0, the DMI link and the uncore units, one area per letter; "dump"/"pci"
// prints the raw lspci dump, the bus map with the entity list, or the
// register dumps of the uncore units. The inspect operations below take a
// clear flag: non-zero clears instead of showing.
#ifndef QUORBIX_TOOL_TAVK_PCI_INSPECT_H
#define QUORBIX_TOOL_TAVK_PCI_INSPECT_H

#include <cstdint>

#include "bases/pci/tvk_route.h"
#include "hwmanage/hpi/plugins/hardware/sandy_monitor.h"
#include "hwmanage/hpi/plugins/hardware/tvk_monitor.h"
#include "tool/trans_op.h"

inline constexpr TransOpStatus PCI_NO_MAP = -901;
inline constexpr uint16_t PCI_BRIDGE_WATCHED = 0xC100;   // Status / Secondary Status bits judged
inline constexpr uint32_t PCI_DMI_LNKSTA = 0x1B2;         // 00:00.0
inline constexpr const char *PCI_LSPCI_COMMAND = "lspci -xxxx -vvvv";

// Letter A B C D E G I M(upper case only) P Q: 0 whatever the inspection
// found; -904 null text, -906 empty text, -901 no bus map, -904 no head.
TransOpStatus pci_test(const char *params);
// Letter A E G I M P Q S, E with BB:DD.F: 0; -904 null text; -901 no bus
// map or a missing or out-of-range address for E; -904 no head; the
// entity list build status.
TransOpStatus pci_dump(const char *params);

int sandy_inspect_pcie(TVK_ENT_LIST_HEAD *list, int clear, int all);
int sandy_show_bridge_helath(tvk_bus_map *map, int clear);
int sandy_inspect_iio(int clear);
int sandy_inspect_irp(int clear);
int sandy_inspect_global_error(int clear);
int sandy_inspect_misc(int clear);
int sandy_inspect_qpi(int clear);
// 0 with the link active, -901 otherwise, or the read status.
int sandy_show_dmi_state();

int sandy_show_pcie_health(const tvk_entity_node *node, int clear);
int sandy_show_aer_health(const tvk_entity_node *node, int clear);
// -901 for a function that is not a processor root port.
int sandy_show_xp_health(const tvk_entity_node *node, int clear);
// One record per processor (g_sandy_cpuno of them, at most 2: -907).
int sandy_show_qpi_health(const sandy_qpi_state *snap);

#endif
