#include "bases/pci/tvk_route.h"

#include <cerrno>
#include <cstring>

#include "bases/host/host.h"
#include "bases/pci/tvk_cap.h"
#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"
#include "kelvo/kelvo.h"

namespace {

constexpr uint32_t kSecondaryBus = 0x19;
constexpr uint32_t kSubordinateBus = 0x1A;
constexpr int kLineMax = 512;          // 511 characters and the terminator
constexpr int kRouteText = 512;
constexpr size_t kHopText = 11;        // "->[bb:dd.f]"
constexpr const char kCut[] = "->...";

} // namespace

// ---- the devices file -----------------------------------------------------------------------

FILE *tvk_open_devices(int *code)
{
    char path[256];
    if (snprintf_s(path, sizeof path, sizeof path - 1, "%s/%s", TVK_PROC_PCI_DIR, "devices") < 0) {
        *code = TVK_E_DEVICES_PATH;
        return nullptr;
    }
    TVK_DBG("Opening file %s\n", path);
    FILE *f = host().fopen(path, "r");
    if (f == nullptr) {
        int err = errno;
        TVK_ERR("Can not open pci device file %s, errno=%d, %s\n", path, err, std::strerror(err));
        *code = TVK_E_OPEN;
    }
    return f;
}

int tvk_next_device(FILE *f, TvkDevLine *out)
{
    char line[kLineMax];
    if (std::fgets(line, sizeof line, f) == nullptr)
        return 0;
    size_t len = std::strlen(line);
    if (len > 0 && line[len - 1] == '\n')
        line[len - 1] = '\0';
    else if (len == sizeof line - 1)  // an overlong line: its tail is no line of its own
        for (int c = std::fgetc(f); c != EOF && c != '\n'; c = std::fgetc(f)) {
        }
    unsigned busdevfn = 0, ids = 0, irq = 0;
    int n = sscanf_s(line, "%x %x %x", &busdevfn, &ids, &irq);
    if (n < 3) {
        int err = errno;
        TVK_ERR("Too few[%d] fields captured in line \"%s\", errno=%d, %s\n", n, line, err, std::strerror(err));
        return TVK_E_IO;
    }
    *out = TvkDevLine{static_cast<uint8_t>(busdevfn >> 8), static_cast<uint8_t>(busdevfn),
                      static_cast<uint16_t>(ids >> 16), static_cast<uint16_t>(ids), irq};
    TVK_DBG("device[%02x:%02x.%x], vid[0x%04x], did[0x%04x], irq[0x%x]\n", out->bus, dev5(out->devfn),
            fn3(out->devfn), out->vendor, out->device, irq);
    return 1;
}

// ---- the bus map ------------------------------------------------------------------------------

namespace {

// Enters one function if it is a bridge; 0 or a code.
int map_function(tvk_bus_map &map, const TvkDevLine &fn)
{
    const unsigned b = fn.bus, d = dev5(fn.devfn), f = fn3(fn.devfn);
    int kind = tvk_identify_pci_bridge(fn.bus, fn.devfn);
    if (kind < 0) {
        TVK_ERR("Cannot identify dev[%02x:%02x.%x] as PCI bridge, ret=%d\n", b, d, f, kind);
        return kind;
    }
    if (kind == 0) {
        TVK_DBG("Identify dev[%02x:%02x.%x] as non-PCI bridge, skip it\n", b, d, f);
        return TVK_OK;
    }
    uint8_t secondary = 0, subordinate = 0;
    int r = tvk_read_conf_byte(fn.bus, fn.devfn, kSecondaryBus, &secondary);
    if (r < 0) {
        TVK_ERR("Cannot get bus number of bridge[%02x:%02x.%x], ret=%d\n", b, d, f, r);
        return r;
    }
    r = tvk_read_conf_byte(fn.bus, fn.devfn, kSubordinateBus, &subordinate);
    if (r < 0) {
        TVK_ERR("Cannot get sub-bus number of bridge[%02x:%02x.%x], ret=%d\n", b, d, f, r);
        return r;
    }
    tvk_bus_entry &e = map.entry[secondary];
    if (e.kind != TVK_BRIDGE_NONE) {
        TVK_ERR("Two bridges[%02x:%02x.%x & %02x:%02x.%x] conflicts!They have the same bus number 0x%02x, BIOS or "
                "system bug?\n",
                e.bus, dev5(e.devfn), fn3(e.devfn), b, d, f, secondary);
        return TVK_E_BRIDGES;
    }
    e = tvk_bus_entry{};
    e.kind = tvk_identify_express(fn.bus, fn.devfn) > 0 ? TVK_BRIDGE_PCIE : TVK_BRIDGE_OTHER;
    e.bus = fn.bus;
    e.devfn = fn.devfn;
    e.subbus = subordinate;
    map.count++;
    return TVK_OK;
}

} // namespace

int tvk_build_bus_map(tvk_bus_map *map)
{
    if (map == nullptr)
        return TVK_E_NULL;
    *map = tvk_bus_map{};
    int status = TVK_OK;
    FILE *f = tvk_open_devices(&status);
    if (f == nullptr)
        return status;
    TvkDevLine fn{};
    for (;;) {
        status = tvk_next_device(f, &fn);
        if (status <= 0)
            break;
        status = map_function(*map, fn);
        if (status < 0)
            break;
    }
    std::fclose(f);
    return status;
}

void tvk_show_bus_map(const tvk_bus_map *map)
{
    if (map == nullptr)
        return;
    TVK_LOG("%d buses found in total :\n", map->count);
    int shown = 0;
    for (unsigned bus = 0; bus < 256 && shown < map->count; bus++) {
        const tvk_bus_entry &e = map->entry[bus];
        if (e.kind == TVK_BRIDGE_NONE)
            continue;
        TVK_LOG("BOARD[%d]-->BUS[%02x] == BRIDGE[%02x:%02x.%x] --> SUBBUS[%02x] Flag[%d]\n", e.board, bus, e.bus,
                dev5(e.devfn), fn3(e.devfn), e.subbus, e.kind);
        shown++;
    }
}

// ---- routes ------------------------------------------------------------------------------------

int tvk_get_route(unsigned bus, unsigned devfn, const tvk_bus_map *map, tvk_route *route)
{
    if (map == nullptr || route == nullptr) {
        TVK_ERR("Null pointer detected!\n");
        return TVK_E_NULL;
    }
    constexpr int kMaxHops = TVK_ROUTE_MAX - 1;
    tvk_hop chain[TVK_ROUTE_MAX] = {};
    tvk_hop cur{static_cast<uint8_t>(bus), static_cast<uint8_t>(devfn)};
    int count = 0;
    bool rooted = false;
    while (count < kMaxHops) {
        chain[TVK_ROUTE_MAX - 1 - count] = cur;
        count++;
        if (cur.bus == 0 && map->entry[0].bus == 0) {
            rooted = true;
            break;
        }
        const tvk_bus_entry &up = map->entry[cur.bus];
        cur = tvk_hop{up.bus, up.devfn};
    }
    *route = tvk_route{};
    if (!rooted)
        count = 0;
    route->depth = static_cast<uint32_t>(count);
    for (int i = 0; i < count; i++)
        route->hop[i] = chain[TVK_ROUTE_MAX - count + i];
    TVK_DBG("Get device[%02x:%02x.%x] root path succeess, depth is %d\n", bus8(bus), dev5(devfn), fn3(devfn), count);
    tvk_level_log_hex(TVK_LVL_DBG, route->hop, count * 2, 0, count * 2, "<TVK-DBG>");
    return count;
}

int tvk_decode_route(const tvk_route *route, char *buf, int buflen)
{
    if (route == nullptr || buf == nullptr)
        return TVK_E_NULL;
    // "/" and its terminator need two bytes; a depth past the hop array is damage.
    if (buflen < 2 || route->depth > TVK_ROUTE_MAX)
        return TVK_E_INVAL;
    const auto cap = static_cast<size_t>(buflen);
    buf[0] = '/';
    buf[1] = '\0';
    size_t len = 1;
    for (uint32_t i = 0; i < route->depth; i++) {
        if (!(cap > len + 6 && cap > len + kHopText)) {
            TVK_ERR("Too long[%dB <= %dB+6B] path, discard remianing tail\n", buflen, static_cast<int>(len));
            (void)strncat_s(buf, cap, kCut, cap - 1 - len);
            return TVK_OK;
        }
        const tvk_hop &h = route->hop[i];
        int n = snprintf_s(buf + len, cap - len, cap - len - 1, "->[%02x:%02x.%01x]", static_cast<unsigned>(h.bus),
                           dev5(h.devfn), fn3(h.devfn));
        if (n > 0)
            len += static_cast<size_t>(n);
    }
    return TVK_OK;
}

void tvk_show_route(const tvk_route *route)
{
    if (route == nullptr) {
        TVK_ERR("Null pointer detected!\n");
        return;
    }
    char text[kRouteText];
    int r = tvk_decode_route(route, text, sizeof text);
    if (r < 0)
        TVK_SHOW("Cannot decode route path, ret=%d\n", r);
    else
        TVK_SHOW("%s\n", text);
}

int tvk_print_pci_route(unsigned bus, unsigned devfn, const tvk_bus_map *map, uint32_t mode)
{
    if (map == nullptr)
        return TVK_E_NULL;
    const unsigned b = bus8(bus), d = dev5(devfn);
    const int f = static_cast<int>(fn3(devfn));
    tvk_route route{};
    int r = tvk_get_route(bus, devfn, map, &route);
    if (r < 0) {
        TVK_ERR("Cannot get route of device[%02x:%02x:%d], ret=%d\n", b, d, f, r);
        return r;
    }
    char text[kRouteText];
    r = tvk_decode_route(&route, text, sizeof text);
    if (r < 0) {
        TVK_ERR("Cannot decode route of device[%02x:%02x:%d], ret=%d\n", b, d, f, r);
        return r;
    }
    if (mode == 0)
        TVK_SHOW("Device[%02x:%02x:%d] pci route is %s\n", b, d, f, text);
    else
        TVK_LOG("Device[%02x:%02x:%d] pci route is %s\n", b, d, f, text);
    return TVK_OK;
}

int tvk_parse_route(tvk_route *route, const tvk_bus_map *map, uint8_t *bus, uint8_t *devfn)
{
    if (route == nullptr || map == nullptr || bus == nullptr || devfn == nullptr)
        return TVK_E_NULL;
    if (route->depth > TVK_ROUTE_MAX)
        return TVK_E_INVAL;
    if (route->depth <= 1) {
        *bus = 0;
        *devfn = route->hop[0].devfn;
        return TVK_OK;
    }
    uint8_t cur = 0;
    const uint32_t last = route->depth - 1;
    for (uint32_t i = 0; i < last; i++) {
        tvk_hop &h = route->hop[i];
        int found = -1;
        for (int b = 0; b < 256 && found < 0; b++) {
            const tvk_bus_entry &e = map->entry[b];
            if (e.kind != TVK_BRIDGE_NONE && e.bus == cur && e.devfn == h.devfn)
                found = b;
        }
        if (found < 0) {
            TVK_DBG("Wild device[%02x:%02x:%01x], %d loop\n", cur, dev5(h.devfn), fn3(h.devfn), static_cast<int>(i));
            return TVK_E_RANGE;
        }
        h.bus = cur;  // the bus the bridge sits on
        cur = static_cast<uint8_t>(found);
    }
    route->hop[last].bus = cur;
    *bus = cur;
    *devfn = route->hop[last].devfn;
    return TVK_OK;
}
