// BAR and physical-memory access: a function's BAR range from its sysfs
// "resource" file, bytes moved through a mapping of the per-BAR resource
// file (memory BARs) or byte-wide port I/O (I/O BARs), and mapped reads and
// writes of any mappable file ("/dev/mem" among them). No state: every call
// opens, maps, copies, unmaps and closes.
#ifndef QUORBIX_BASES_PCI_TVK_BAR_H
#define QUORBIX_BASES_PCI_TVK_BAR_H

#include <cstdint>

#include "bases/include/tvk_types.h"

inline constexpr const char *TVK_SYS_PCI_DIR = "/sys/bus/pci/devices/";
inline constexpr uint8_t TVK_BAR_ROM = 6;

int tvk_get_res_path(unsigned bus, unsigned devfn, char *buf, int buflen);
int tvk_get_bar_info(const char *path, uint8_t bar, uint64_t *start, uint64_t *end, uint64_t *flags);
int tvk_mmap_read(const char *path, int64_t offset, uint32_t len, void *buf);
int tvk_mmap_write(const char *path, int64_t offset, uint32_t len, const void *buf);
int tvk_io_byte_rw(int port, uint8_t *buf, uint16_t count, uint32_t dir);
int tvk_bar_read(unsigned bus, unsigned devfn, uint8_t bar, uint8_t *buf, uint32_t len, int offset);
int tvk_bar_write(unsigned bus, unsigned devfn, uint8_t bar, const uint8_t *buf, uint32_t len, int offset);

#endif
