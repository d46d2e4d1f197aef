// Finding things in a function's configuration space: the capability list
// (guarded against broken and looping lists), the PCI Express capability
// and its device and link registers, the extended capabilities from 0x100,
// the AER block with its logging and clearing, and the bridge tests. Every
// access goes through the per-function files (tvk_dev.h).
#ifndef QUORBIX_BASES_PCI_TVK_CAP_H
#define QUORBIX_BASES_PCI_TVK_CAP_H

#include <cstdint>

#include "bases/include/tvk_types.h"

inline constexpr uint8_t TVK_CAP_ID_EXP = 0x10;
inline constexpr uint16_t TVK_EXT_CAP_ID_ERR = 1;
// The AER block: header, uncorrectable status/mask/severity, correctable
// status/mask, capabilities and control, header log dwords 0-3.
inline constexpr int TVK_AER_BLOCK = 44;
inline constexpr uint32_t TVK_AER_UNCOR_STATUS = 0x04;
inline constexpr uint32_t TVK_AER_COR_STATUS = 0x10;
// The most extended headers tvk_tell_ext_cap follows before it calls the
// list a loop.
inline constexpr int TVK_EXT_WALK_MAX = 960;

int tvk_get_capptr(unsigned bus, unsigned devfn);
int tvk_tell_cap(unsigned bus, unsigned devfn, uint8_t id);
int tvk_get_cap_hdr(unsigned bus, unsigned devfn, uint8_t id, uint32_t *hdr);
int tvk_identify_express(unsigned bus, unsigned devfn);
int tvk_get_dev_cap(unsigned bus, unsigned devfn, uint32_t cap, uint64_t *out);
int tvk_get_link_cap(unsigned bus, unsigned devfn, uint32_t cap, uint64_t *out);
int tvk_tell_ext_cap(unsigned bus, unsigned devfn, uint16_t id);
int tvk_get_ext_capptr(unsigned bus, unsigned devfn, int id, uint32_t *out);
int tvk_get_class_rev(unsigned bus, unsigned devfn, uint32_t *out);
int tvk_get_second_busno(unsigned bus, uint32_t dev, int fn, uint8_t *out);
int tvk_identify_pci_bridge(unsigned bus, unsigned devfn);
void tvk_aer_log(unsigned bus, unsigned devfn, uint8_t clear, uint8_t show);

#endif
