// Names of PCI functions from the PCI ID file "/usr/share/pci.ids", and the
// list of the functions the kernel reports in "/proc/bus/pci/devices".
//
// The lookups share one open handle and each continues from the handle's
// position; a search consumes the line that ends it, so the order of the
// lookups decides some names (an unknown vendor consumes the first class
// line). The full name reads "CLASS: VENDOR DEVICE SUBSYSTEM (rev NN)".
#ifndef QUORBIX_BASES_PCI_TVK_NAME_H
#define QUORBIX_BASES_PCI_TVK_NAME_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "bases/include/tvk_types.h"

inline constexpr const char *TVK_PCI_IDS_PATH = "/usr/share/pci.ids";

struct tvk_dev_id {
    uint16_t vendor;
    uint16_t device;
    uint8_t bus;
    uint8_t devfn;
    uint8_t hdrtype;    // bit 7: multi-function
    uint32_t irq;
    uint32_t classrev;  // as dword 0x08: revision 7..0, interface, sub-class, base class 31..24
};
static_assert(offsetof(tvk_dev_id, device) == 2 && offsetof(tvk_dev_id, bus) == 4 &&
              offsetof(tvk_dev_id, devfn) == 5 && offsetof(tvk_dev_id, hdrtype) == 6 &&
              offsetof(tvk_dev_id, irq) == 8 && offsetof(tvk_dev_id, classrev) == 12);

struct tvk_dev_node {
    tvk_dev_node *next;
    tvk_dev_node *prev;  // NULL for the first node, which the head links
    tvk_dev_id id;
};

struct tvk_dev_list {
    tvk_dev_node *first;
    uint32_t count;
};

int tvk_get_dev_full_name(const tvk_dev_id *id, char *out, int outlen);
int tvk_get_product_name(FILE *ids, const tvk_dev_id *id, char *out, uint32_t outlen);
int tvk_get_class_name(FILE *ids, const tvk_dev_id *id, char *out, uint32_t outlen);
int tvk_get_vendor_name(FILE *ids, uint16_t vendor, char *out, uint32_t outlen);
int tvk_get_device_name(FILE *ids, uint16_t device, char *out, uint32_t outlen);
int tvk_get_subsystem_name(FILE *ids, uint16_t subvendor, uint16_t subdevice, char *out, uint32_t outlen);
int tvk_get_baseclass_name(FILE *ids, uint32_t classcode, char *out, uint32_t outlen);
int tvk_get_subclass_name(FILE *ids, uint32_t classcode, char *out, uint32_t outlen);
int tvk_get_progif_name();
FILE *tvk_open_ids_file();
void tvk_close_ids_file(FILE *ids);
int tvk_get_id_line(FILE *ids, char *line, uint32_t size);
int tvk_put_id_line(FILE *ids, const char *line);

int tvk_build_dev_list(tvk_dev_list *head);
void tvk_show_dev_list(const tvk_dev_list *head);
void tvk_destroy_dev_list(tvk_dev_list *head);

#endif
