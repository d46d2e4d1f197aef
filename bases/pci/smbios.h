// The SMBIOS 2.x reader: finds the entry point in the BIOS segment through
// "/dev/mem", copies the structure table into a fresh heap buffer per query
// and answers baseboard strings, processor fields and the chassis OEM
// dword. Nothing is cached.
#ifndef QUORBIX_BASES_PCI_SMBIOS_H
#define QUORBIX_BASES_PCI_SMBIOS_H

#include <cstddef>
#include <cstdint>

#include "bases/include/tvk_types.h"

inline constexpr const char *SMBIOS_MEM_PATH = "/dev/mem";
inline constexpr uint32_t SMBIOS_SEG_BASE = 0xF0000;
inline constexpr uint32_t SMBIOS_SEG_LEN = 0x10000;
inline constexpr uint8_t SMBIOS_TYPE_CHASSIS = 3;
inline constexpr uint8_t SMBIOS_TYPE_BOARD = 2;
inline constexpr uint8_t SMBIOS_TYPE_PROCESSOR = 4;
inline constexpr uint8_t SMBIOS_TYPE_END = 127;

// The 2.x entry point as the firmware lays it out.
struct smbios_entry {
    char anchor[4];              // "_SM_"
    uint8_t checksum;
    uint8_t length;              // 0x1F
    uint8_t major;
    uint8_t minor;
    uint16_t max_struct_size;
    uint8_t revision;
    uint8_t formatted[5];
    char inter_anchor[5];        // "_DMI_"
    uint8_t inter_checksum;
    uint16_t table_length;
    uint32_t table_address;
    uint16_t struct_count;
    uint8_t bcd_revision;
} __attribute__((packed));
static_assert(sizeof(smbios_entry) == 31);
static_assert(offsetof(smbios_entry, length) == 0x05);
static_assert(offsetof(smbios_entry, inter_anchor) == 0x10);
static_assert(offsetof(smbios_entry, table_length) == 0x16);
static_assert(offsetof(smbios_entry, table_address) == 0x18);
static_assert(offsetof(smbios_entry, struct_count) == 0x1C);
static_assert(offsetof(smbios_entry, bcd_revision) == 0x1E);

struct smbios_table_info {
    uint32_t address;
    uint16_t length;
    uint16_t count;
};

struct smbios_struct_ref {
    uint8_t type;
    uint8_t length;
    uint16_t handle;
    uint8_t *data;   // the structure's first byte (strings are cleaned in place)
};

int smbios_get_board_info(uint32_t selector, char *buf, int buflen);
int smbios_get_processor_info_by_id(int cpu, uint32_t field, char *buf, int buflen);
void smbios_get_socket_num(uint8_t *count);
int smbios_get_chassis_info(uint32_t *out);

int smbios_alloc_table(uint8_t **table, smbios_table_info *info);
void smbios_free_table(uint8_t *table);
int smbios_entry_point(smbios_entry *entry, uint64_t *phys);
int smbios_tell_table(smbios_table_info *info);
int smbios_read_mem(int64_t phys, uint32_t len, void *buf);
int smbios_read_table(const smbios_table_info *info, void *buf, int buflen);

uint8_t *smbios_select_structure(uint8_t *table, uint32_t table_len, uint16_t count, uint8_t type, uint32_t *size,
                                 uint32_t nth);
uint8_t *smbios_find_ntype_info(uint8_t *table, uint32_t table_len, uint16_t count, uint8_t type, uint32_t *size,
                                uint32_t nth);
uint8_t *smbios_find_type_info(uint8_t *table, uint32_t table_len, uint16_t count, uint8_t type, uint32_t *size);
int smbios_traverse_string(const uint8_t *head, const uint8_t *tail, uint8_t n);
const char *smbios_find_text_str(const uint8_t *set, uint32_t len, uint8_t item);
// The structure's strings are bounded by `tail` (the end of its string set).
const char *dmi_string(const smbios_struct_ref *ref, uint8_t s, const uint8_t *tail);
// `size` is the structure's formatted length plus its string set, as the
// walk measured it: fields past the formatted length read as zero and
// strings end within it.
int smbios_parse_processor_info(uint8_t *structure, uint32_t size, uint32_t field, char *buf, int buflen);
uint8_t smbios_checksum(const void *data, uint32_t len);

// Scans a copy of the BIOS segment (SMBIOS_SEG_LEN bytes) for the entry
// point; the offset of the one taken, or -1.
int smbios_scan_segment(const uint8_t *seg, uint32_t len);

#endif
