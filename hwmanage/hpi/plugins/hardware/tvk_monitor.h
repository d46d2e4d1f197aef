// The PCI Express RAS monitor: a list of the host's PCI Express functions,
// each with a snapshot of its device and link state; the checks that
// compare the present state with the snapshot and clear error bits; the
// printers of entities and configuration space; the RAS device with its
// global and local error registers; leaky-bucket counters. All
// configuration access goes through the procfs functions of the PCI
// library, all lines through the diagnosis log.
#ifndef QUORBIX_HWMANAGE_HPI_PLUGINS_HARDWARE_TVK_MONITOR_H
#define QUORBIX_HWMANAGE_HPI_PLUGINS_HARDWARE_TVK_MONITOR_H

#include <cstddef>
#include <cstdint>

#include "bases/pci/tvk_route.h"
#include "hwmanage/hpi/plugins/hardware/tvk_ras_regs.h"

struct tvk_entity_state {
    uint16_t devctl;
    uint16_t devsta;
    uint16_t lnkctl;
    uint16_t lnksta;
};
static_assert(sizeof(tvk_entity_state) == 8 && offsetof(tvk_entity_state, devsta) == 2 &&
              offsetof(tvk_entity_state, lnkctl) == 4 && offsetof(tvk_entity_state, lnksta) == 6);

// Status flags of an entity.
inline constexpr uint32_t TVK_ENT_WIDTH_ZERO = 1u << 1;
inline constexpr uint32_t TVK_ENT_LINK_DOWN = 1u << 2;
inline constexpr uint32_t TVK_ENT_CONF_FAULT = 1u << 3;

struct tvk_entity {
    uint8_t bus;
    uint8_t devfn;
    uint8_t hdrtype;
    uint8_t cap;           // PCI Express capability offset
    uint16_t expcap;       // PCI Express Capabilities register
    uint8_t seen;
    uint8_t secbus;
    uint16_t vendor;
    uint16_t device;
    uint32_t classrev;
    tvk_route route;
    uint32_t flags;
    uint8_t board;
    tvk_entity_state *data;   // snapshot, owned by the entity
};
static_assert(offsetof(tvk_entity, devfn) == 1 && offsetof(tvk_entity, hdrtype) == 2 &&
              offsetof(tvk_entity, cap) == 3 && offsetof(tvk_entity, expcap) == 4 &&
              offsetof(tvk_entity, seen) == 6 && offsetof(tvk_entity, secbus) == 7 &&
              offsetof(tvk_entity, vendor) == 8 && offsetof(tvk_entity, device) == 10 &&
              offsetof(tvk_entity, classrev) == 12 && offsetof(tvk_entity, route) == 16);

struct tvk_entity_node {
    tvk_entity_node *next;
    tvk_entity_node *prev;
    tvk_entity ent;
};

struct TVK_ENT_LIST_HEAD {
    tvk_entity_node *first;
    void *second;   // only cleared
    uint32_t count;
};

// What the list builder takes from one line of the devices file.
struct tvk_entity_seed {
    uint16_t vendor;
    uint16_t device;
    uint8_t bus;
    uint8_t devfn;
    uint8_t hdrtype;
    uint32_t irq;
    uint32_t classrev;
    uint32_t vendev;     // vendor << 16 | device, as in the line
    uint32_t busdevfn;   // bus << 8 | devfn, as in the line
    uint16_t command;
};

// ---- the list ----
// -909 releases the nodes built so far and leaves the head empty; the
// caller always releases the head itself (tvk_destroy_entity_list).
int tvk_build_entity_list(TVK_ENT_LIST_HEAD *head);
int tvk_add_entity_node(const tvk_entity_seed *seed, TVK_ENT_LIST_HEAD *head);
int tvk_create_entity(const tvk_entity_seed *seed, tvk_entity *ent);
tvk_entity_node *tvk_tell_entity_node(uint8_t bus, uint8_t devfn, const TVK_ENT_LIST_HEAD *head);
int tvk_delete_entity_node(tvk_entity_node *node, TVK_ENT_LIST_HEAD *head);
int tvk_delete_obsolete_entity(TVK_ENT_LIST_HEAD *head);
int tvk_find_new_entity(TVK_ENT_LIST_HEAD *head);
int tvk_update_entity_list(TVK_ENT_LIST_HEAD *head);
void tvk_destroy_entity_list(TVK_ENT_LIST_HEAD *head);

// ---- state ----
int tvk_get_entity_state(uint8_t bus, uint8_t devfn, uint8_t cap, tvk_entity_state *state);
int tvk_init_entity_data(uint8_t bus, uint8_t devfn, uint8_t cap, tvk_entity_state *state);
void tvk_clear_devsts_errors(uint8_t bus, uint8_t devfn, uint8_t cap);
void tvk_init_entity_state(tvk_entity_state *state);

// ---- checks ----
int tvk_check_entity_error(tvk_entity *ent, tvk_entity_state *out);
int tvk_log_entity_virgin_error(const tvk_entity *ent, const tvk_entity_state *state);
int tvk_get_pci_bridge_state(uint8_t bus, uint8_t devfn, uint16_t out[2]);
int tvk_check_pci_bridge_error(int busIndex, const tvk_bus_entry *bridge, uint16_t out[2]);

// ---- printers ----
int tvk_log_conf_space(uint8_t bus, uint8_t devfn, int offset, int length);
int tvk_show_conf_space(uint8_t bus, uint8_t devfn, int offset, int length);
// The column header and the rows ("%08x:" and " %02hhx" per byte) of
// `length` bytes, the first at `offset`, as "[SHOW] " lines.
void tvk_show_hex_rows(const uint8_t *data, int length, int offset);
void tvk_show_entity_list(const TVK_ENT_LIST_HEAD *head);
void tvk_show_entity_health(const tvk_entity *ent);
const char *tvk_speed_str(uint8_t code);

// ---- leaky buckets ----
struct tvk_bucket {
    uint32_t threshold;
    uint32_t period;
    uint32_t count;
    uint32_t ticks;
    uint32_t alarm;
};
static_assert(sizeof(tvk_bucket) == 20);
int tvk_bucket_init(tvk_bucket *bucket, uint32_t threshold, uint32_t period);
int tvk_bucket_account(tvk_bucket *bucket, uint32_t amount);
int tvk_bucket_renew(tvk_bucket *bucket);

// ---- the RAS device ----
struct tvk_ras_row {
    uint16_t vendor;
    uint16_t hostBridge;
    uint8_t dev;
    uint8_t fn;
    uint16_t rasId;
};
inline constexpr size_t TVK_RAS_ROWS = 12;
extern const tvk_ras_row astRas[TVK_RAS_ROWS];

inline constexpr int TVK_RAS_STATE_SIZE = 28;

int tvk_identify_ras();
int tvk_init_ras_state(void *state);
int tvk_get_global_error(uint8_t *block);
int tvk_get_ras_state(uint32_t pair[2], uint8_t *block);
int tvk_clear_qpi_gnerr();
int tvk_clear_qpi_gferr();
void tvk_clear_qpi_gerr(const uint32_t *pair);
int tvk_clear_pcie_gnerr();
int tvk_clear_pcie_gferr();
void tvk_clear_pcie_gerr(const uint32_t *pair);
int tvk_clear_esi_gnerr();
int tvk_clear_esi_gferr();
void tvk_clear_esi_gerr(const uint32_t *pair);
int tvk_clear_qpi_lerr(int port);
int tvk_clear_qpip_lerr(int port);
int tvk_clear_esi_lerr();
int tvk_clear_pcie_lerr(uint8_t port);
int tvk_log_pcie_lerr(uint8_t port);
int tvk_log_qpi_lerr(int port);
int tvk_log_qpip_lerr(int port);
void tvk_show_ras_health(const uint32_t pair[2]);

#endif
