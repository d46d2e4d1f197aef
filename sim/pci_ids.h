// The PCI ID file of the simulated default board, "/usr/share/pci.ids"
// under the root: names for the functions of the default tree.
#ifndef QUORBIX_SIM_PCI_IDS_H
#define QUORBIX_SIM_PCI_IDS_H

#include <string_view>

// The file's text.
std::string_view pci_default_ids();
// The default board's facts: its PCI tree, then the ID file.
const char *pci_default_facts();

#endif
