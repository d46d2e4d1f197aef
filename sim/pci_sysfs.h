// The simulated sysfs view of the PCI bus: for every function
// "/sys/bus/pci/devices/0000:BB:DD.F/resource" (the function's resource
// lines, zeros where it has none) and "resourceN" for its memory BARs,
// mapped as the kernel maps them: file offset 0 is the page holding the
// BAR's start, a mapping past the BAR's pages fails with EINVAL and
// PROT_WRITE on a read-only open with EACCES. The bytes are the kernel's
// physical memory at the BAR's address, so "/dev/mem" sees the same bytes.
// I/O BARs claim their ports: each port holds one byte.
#ifndef QUORBIX_SIM_PCI_SYSFS_H
#define QUORBIX_SIM_PCI_SYSFS_H

#include <string>

#include "sim/pci_bus.h"

// Register the function's files and claim its I/O BARs' ports (again after
// its resources change; claims already made stay).
void pci_sysfs_add(const PciFunction &fn);
void pci_sysfs_remove(const PciFunction &fn);
// Forget the port bytes.
void pci_sysfs_reset();
// The function's sysfs directory.
std::string pci_sysfs_dir(uint8_t bus, uint8_t devfn);
// The resource file's text.
std::string pci_sysfs_resource_text(const PciFunction &fn);

#endif
