// PCI register commands of the diagnosis module: the memory-controller
// register read ("read"/"mchbar"), the register write ("write"/"pci") with
// its four ways of writing, "Set"/"pci", the set-up every PCI diagnosis
// command starts with, and the register-range reads behind them.
//
// Widths: 'B'/'b' a byte, 'W'/'w' a word, 'D'/'d' a dword. Write methods:
// 'B'/'b' BAR space, 'D'/'d' the chipset driver node, 'F'/'f' the procfs
// files, 'I'/'i' the configuration ports.
#ifndef QUORBIX_TOOL_TAVK_PCI_REG_H
#define QUORBIX_TOOL_TAVK_PCI_REG_H

#include <cstdint>

#include "tool/trans_op.h"

inline constexpr TransOpStatus PCI_BAD_TEXT = -905;
inline constexpr TransOpStatus PCI_BAD_VALUE = -906;
inline constexpr TransOpStatus PCI_OUT_OF_RANGE = -907;
inline constexpr TransOpStatus PCI_NO_MEMORY = -903;
inline constexpr int PCI_READ_MAX = 512;   // the register reads' buffer

// The memory-controller base: dwords 0x48 (low) and 0x4C (high) of 00:00.0.
inline constexpr uint32_t PCI_MCHBAR_LO = 0x48;
inline constexpr uint32_t PCI_MCHBAR_HI = 0x4C;

// The socket count from SMBIOS into g_sandy_cpuno; the RAS function 00:05.2.
void pci_init();

// -r mchbar/SEL: SEL 1 the second register group, any other number the
// first. 0; the scan result for an empty text; -906 for a text without a
// hexadecimal number; the failed configuration read's or mapping's status.
TransOpStatus mchbar_read(const char *params);
// "Set"/"pci": pci_init, nothing printed, 0.
TransOpStatus pci_stat(const char *params);
// "write"/"pci", text MBB:DD.F-0xREG.W=0xVALUE[-bN]: the status of the
// write it called; -905 for a short text or an address out of range (or a
// BAR write without a BAR 0-5), -906 for an unknown method.
TransOpStatus pci_write(const char *params);

int pci_fs_write(uint8_t bus, uint8_t devfn, uint32_t reg, char width, uint32_t value);
int pci_drv_write(uint8_t bus, uint8_t devfn, uint32_t reg, char width, uint32_t value);
int pci_io_write(uint8_t bus, uint8_t devfn, uint32_t reg, char width, uint32_t value);
int pci_bar_write(uint8_t bus, uint8_t devfn, uint8_t bar, uint32_t offset, char width, uint32_t value);

// Reads and shows `length` bytes (1 to 512; more are cut to 512).
int pci_fs_read(uint8_t bus, uint8_t devfn, uint32_t reg, int length);
int pci_drv_read(uint8_t bus, uint8_t devfn, uint32_t reg, int length);
int pci_io_read(uint8_t bus, uint8_t devfn, uint32_t reg, int length);
// Reads and shows `length` bytes of a BAR, cut at the BAR's end.
int pci_bar_read(uint8_t bus, uint8_t devfn, uint8_t bar, uint32_t offset, int length);

#endif
