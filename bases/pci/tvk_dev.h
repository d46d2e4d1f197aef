// PCI configuration access by three ways, chosen by the caller per call:
// the kernel's per-function files under "/proc/bus/pci", configuration
// mechanism #1 through ports 0xCF8/0xCFC, and the chipset driver node
// "/dev/mch_esb_dev". Every access opens, transfers once and closes.
// Results are 0 or a TvkCode; diagnostics go to the PCI diagnosis log.
#ifndef QUORBIX_BASES_PCI_TVK_DEV_H
#define QUORBIX_BASES_PCI_TVK_DEV_H

#include <cstdint>

#include "bases/include/tvk_types.h"

inline constexpr const char *TVK_PROC_PCI_DIR = "/proc/bus/pci";

// The parts of a bus number and a device/function byte as the log lines and
// paths print them.
constexpr unsigned bus8(unsigned bus) { return bus & 0xFF; }
constexpr unsigned dev5(unsigned devfn) { return (devfn >> 3) & 0x1F; }
constexpr unsigned fn3(unsigned devfn) { return devfn & 7; }

// ---- per-function files ----
int tvk_dev_open(const char *dir, unsigned bus, unsigned devfn, int flags);
void tvk_dev_close(int fd);
int tvk_dev_read(unsigned bus, unsigned devfn, void *buf, int len, int offset);
int tvk_dev_write(unsigned bus, unsigned devfn, const void *buf, int len, int offset);

int tvk_read_conf_byte(unsigned bus, unsigned devfn, uint32_t offset, uint8_t *out);
int tvk_read_conf_word(unsigned bus, unsigned devfn, uint32_t offset, uint16_t *out);
int tvk_read_conf_dword(unsigned bus, unsigned devfn, uint32_t offset, uint32_t *out);
int tvk_read_conf_block(unsigned bus, unsigned devfn, void *buf, int len, int offset);
int tvk_write_conf_byte(unsigned bus, unsigned devfn, uint32_t offset, uint8_t value);
int tvk_write_conf_word(unsigned bus, unsigned devfn, uint32_t offset, uint16_t value);
int tvk_write_conf_dword(unsigned bus, unsigned devfn, uint32_t offset, uint32_t value);

// ---- configuration mechanism #1 (the caller obtains port access first) ----
int tvk_io_enable();
int tvk_io_read_byte(unsigned bus, unsigned devfn, uint32_t reg, uint8_t *out);
int tvk_io_read_word(unsigned bus, unsigned devfn, uint32_t reg, uint16_t *out);
int tvk_io_read_dword(unsigned bus, unsigned devfn, uint32_t reg, uint32_t *out);
int tvk_io_write_byte(unsigned bus, unsigned devfn, uint32_t reg, uint8_t value);
int tvk_io_write_word(unsigned bus, unsigned devfn, uint32_t reg, uint16_t value);
int tvk_io_write_dword(unsigned bus, unsigned devfn, uint32_t reg, uint32_t value);

// ---- the chipset driver node ----
int tvk_drv_open();
void tvk_drv_close(int fd);
int tvk_drv_read_byte(unsigned bus, unsigned devfn, uint32_t reg, uint8_t *out);
int tvk_drv_read_word(unsigned bus, unsigned devfn, uint32_t reg, uint16_t *out);
int tvk_drv_read_dword(unsigned bus, unsigned devfn, uint32_t reg, uint32_t *out);
int tvk_drv_write_byte(unsigned bus, unsigned devfn, uint32_t reg, uint32_t value);
int tvk_drv_write_word(unsigned bus, unsigned devfn, uint32_t reg, uint32_t value);
int tvk_drv_write_dword(unsigned bus, unsigned devfn, uint32_t reg, uint32_t value);

#endif
