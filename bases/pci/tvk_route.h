// The bus map (for every bus number, the bridge whose secondary bus it is)
// and the route of a function (the chain of bridges from bus 0 down to it),
// with their text forms.
#ifndef QUORBIX_BASES_PCI_TVK_ROUTE_H
#define QUORBIX_BASES_PCI_TVK_ROUTE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "bases/include/tvk_types.h"

enum TvkBridgeKind : uint8_t {
    TVK_BRIDGE_NONE = 0,
    TVK_BRIDGE_PCIE = 1,   // the bridge has a PCI Express capability
    TVK_BRIDGE_OTHER = 2,
};

struct tvk_bus_entry {
    uint8_t kind;        // TvkBridgeKind
    uint8_t bus;         // the bridge
    uint8_t devfn;
    uint8_t subbus;      // its subordinate bus number
    uint16_t status;     // snapshot of 0x06, filled by the bridge checks
    uint16_t secstatus;  // snapshot of 0x1E, filled by the bridge checks
    uint8_t board;       // 0 as built
};
static_assert(offsetof(tvk_bus_entry, kind) == 0 && offsetof(tvk_bus_entry, bus) == 1 &&
              offsetof(tvk_bus_entry, devfn) == 2 && offsetof(tvk_bus_entry, subbus) == 3 &&
              offsetof(tvk_bus_entry, status) == 4 && offsetof(tvk_bus_entry, secstatus) == 6 &&
              offsetof(tvk_bus_entry, board) == 8);

// Entries by secondary bus number.
struct tvk_bus_map {
    uint8_t count;
    tvk_bus_entry entry[256];
};
static_assert(offsetof(tvk_bus_map, entry) == 2);

struct tvk_hop {
    uint8_t bus;
    uint8_t devfn;
};
static_assert(sizeof(tvk_hop) == 2);

inline constexpr int TVK_ROUTE_MAX = 256;

// Root first; the last hop is the function itself; depth counts every hop.
struct tvk_route {
    uint32_t depth;
    tvk_hop hop[TVK_ROUTE_MAX];
};
static_assert(offsetof(tvk_route, hop) == 4 && sizeof(tvk_route) == 516);

int tvk_build_bus_map(tvk_bus_map *map);
void tvk_show_bus_map(const tvk_bus_map *map);
int tvk_get_route(unsigned bus, unsigned devfn, const tvk_bus_map *map, tvk_route *route);
int tvk_decode_route(const tvk_route *route, char *buf, int buflen);
void tvk_show_route(const tvk_route *route);
int tvk_print_pci_route(unsigned bus, unsigned devfn, const tvk_bus_map *map, uint32_t mode);
int tvk_parse_route(tvk_route *route, const tvk_bus_map *map, uint8_t *bus, uint8_t *devfn);

// ---- the devices file, shared with the device list ----

// Opens "devices" under "/proc/bus/pci" for reading: the FILE, or NULL with
// *code = -905 or -908 (logged).
struct TvkDevLine {
    uint8_t bus;
    uint8_t devfn;
    uint16_t vendor;
    uint16_t device;
    uint32_t irq;
};
FILE *tvk_open_devices(int *code);
// The next line of the devices file: 1 with *out filled, 0 at the end,
// -909 for a line of fewer than three fields (logged).
int tvk_next_device(FILE *f, TvkDevLine *out);

#endif
