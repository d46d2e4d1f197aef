// The PCI ID file of the simulated default board, "/usr/share/pci.ids"
// under the root: names for the functions of the default tree.
#ifndef QUORBIX_SIM_PCI_IDS_H
#define QUORBIX_SIM_PCI_IDS_H

#include <string_view>

// The file's text.
std::string_view pci_default_ids();
// The default board's facts: its PCI tree, then the ID file.
const char *pci_default_facts();
// The default tree's host bridge 00:00.0 alone, with the memory-controller
// registers behind its MCHBAR: every other model's fresh bus.
const char *pci_host_bridge_facts();

#endif
