// Bus map, routes and their text forms on a small simulated tree:
//   00:03.0 root port (PCI Express)  -> bus 4..6
//   04:00.0 conventional bridge       -> bus 5..6
//   05:01.0 conventional bridge       -> bus 6
//   05:00.0, 06:00.1, 00:1f.2 endpoints
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "bases/pci/tvk_route.h"
#include "support/console_run.h"
#include "tvk_sim_test.h"

namespace {

class TvkRouteTest : public TvkSimTest {
protected:
    void SetUp() override
    {
        TvkSimTest::SetUp();
        PciBytes rp = pci_build_bridge(0x8086, 0x3C08, 0, 4, 6);
        pci_build_pcie(rp, 0x60, 4);
        pci_bus_add(0, 0x18, rp);
        pci_bus_add(0, 0xFA, pci_build_endpoint(0x8086, 0x1D02, 0x010601, 5));
        pci_bus_add(4, 0x00, pci_build_bridge(0x10B5, 0x8714, 4, 5, 6));
        pci_bus_add(5, 0x00, pci_build_endpoint(0x10EE, 0x7021, 0x058000, 0));
        pci_bus_add(5, 0x08, pci_build_bridge(0x10B5, 0x8714, 5, 6, 6));
        pci_bus_add(6, 0x01, pci_build_endpoint(0x10EE, 0x7022, 0x058000, 0));
    }
    tvk_bus_map map_{};
};

TEST_F(TvkRouteTest, BuildsAndShowsTheMap)
{
    ASSERT_EQ(tvk_build_bus_map(&map_), 0);
    EXPECT_EQ(map_.count, 3);
    struct Row {
        uint8_t bus, kind, bridgeBus, devfn, subbus;
    } rows[] = {{4, 1, 0, 0x18, 6}, {5, 2, 4, 0x00, 6}, {6, 2, 5, 0x08, 6}};
    for (const Row &r : rows) {
        const tvk_bus_entry &e = map_.entry[r.bus];
        EXPECT_EQ(e.kind, r.kind) << int(r.bus);
        EXPECT_EQ(e.bus, r.bridgeBus);
        EXPECT_EQ(e.devfn, r.devfn);
        EXPECT_EQ(e.subbus, r.subbus);
        EXPECT_EQ(e.status | e.secstatus | e.board, 0);
    }
    EXPECT_EQ(map_.entry[0].kind, 0);
    tvk_show_bus_map(&map_);
    tvk_show_bus_map(nullptr);
    EXPECT_EQ(log(), "F N [LOG] 3 buses found in total :\n"
                     "F N [LOG] BOARD[0]-->BUS[04] == BRIDGE[00:03.0] --> SUBBUS[06] Flag[1]\n"
                     "F N [LOG] BOARD[0]-->BUS[05] == BRIDGE[04:00.0] --> SUBBUS[06] Flag[2]\n"
                     "F N [LOG] BOARD[0]-->BUS[06] == BRIDGE[05:01.0] --> SUBBUS[06] Flag[2]\n");
}

TEST_F(TvkRouteTest, MapFailures)
{
    EXPECT_EQ(tvk_build_bus_map(nullptr), TVK_E_NULL);

    sim_fail_op(SimFaultOp::read, pci_bus_path(4, 0), EIO, 2);
    EXPECT_EQ(tvk_build_bus_map(&map_), TVK_E_IO);
    EXPECT_NE(log().find("Cannot identify dev[04:00.0] as PCI bridge, ret=-909"), std::string::npos) << log();
    sim_clear_faults();
    drop_log();
    pci_bus_add(0, 0x20, pci_build_bridge(0x8086, 0x3C09, 0, 4, 4));
    EXPECT_EQ(tvk_build_bus_map(&map_), TVK_E_BRIDGES);
    EXPECT_EQ(log(), "F N <TVK-ERR>Two bridges[00:03.0 & 00:04.0] conflicts!They have the same bus number 0x04, "
                     "BIOS or system bug?\n");
    EXPECT_EQ(map_.count, 1) << "the entries made so far stay";

    sim_fail_open("/proc/bus/pci/devices", ENOENT);
    drop_log();
    EXPECT_EQ(tvk_build_bus_map(&map_), TVK_E_OPEN);
    EXPECT_EQ(log(), std::string("F N <TVK-ERR>Can not open pci device file /proc/bus/pci/devices, errno=2, ") +
                         std::strerror(ENOENT) + "\n");
}

TEST_F(TvkRouteTest, RoutesAsTextLogAndConsole)
{
    ASSERT_EQ(tvk_build_bus_map(&map_), 0);
    struct Case {
        uint8_t bus, devfn;
        int depth;
        const char *text;
    } cases[] = {
        {0, 0xFA, 1, "/->[00:1f.2]"},
        {4, 0x00, 2, "/->[00:03.0]->[04:00.0]"},
        {5, 0x00, 3, "/->[00:03.0]->[04:00.0]->[05:00.0]"},
        {6, 0x01, 4, "/->[00:03.0]->[04:00.0]->[05:01.0]->[06:00.1]"},
        {9, 0x00, 2, "/->[00:00.0]->[09:00.0]"},  // an unknown bus leads to (0, 0)
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        tvk_route route{};
        ASSERT_EQ(tvk_get_route(c.bus, c.devfn, &map_, &route), c.depth);
        char text[128];
        ASSERT_EQ(tvk_decode_route(&route, text, sizeof text), 0);
        EXPECT_EQ(std::string(text), c.text);
        ConsoleRun shown = console_run([&] { return tvk_print_pci_route(c.bus, c.devfn, &map_, 0); });
        char line[160];
        std::snprintf(line, sizeof line, "[SHOW] Device[%02x:%02x:%d] pci route is %s\n", c.bus, c.devfn >> 3,
                      c.devfn & 7, c.text);
        EXPECT_EQ(shown.out, line);
        drop_log();
        ASSERT_EQ(tvk_print_pci_route(c.bus, c.devfn, &map_, 1), 0);
        EXPECT_EQ(log(), std::string("F N [LOG] ") + (line + 7));
        ConsoleRun raw = console_run([&] {
            tvk_show_route(&route);
            return 0;
        });
        EXPECT_EQ(raw.out, std::string("[SHOW] ") + c.text + "\n");
    }
    tvk_route route{};
    EXPECT_EQ(tvk_get_route(0, 0, nullptr, &route), TVK_E_NULL);
    EXPECT_EQ(tvk_get_route(0, 0, &map_, nullptr), TVK_E_NULL);
    EXPECT_EQ(tvk_print_pci_route(0, 0, nullptr, 0), TVK_E_NULL);
}

TEST_F(TvkRouteTest, LoopingMapGivesNoRoute)
{
    tvk_bus_map map{};
    map.entry[7] = {2, 8, 0x00, 8, 0, 0, 0};
    map.entry[8] = {2, 7, 0x00, 7, 0, 0, 0};
    tvk_route route{};
    route.depth = 9;
    EXPECT_EQ(tvk_get_route(7, 0x10, &map, &route), 0);
    EXPECT_EQ(route.depth, 0u);
}

tvk_route make_route(uint32_t depth)
{
    tvk_route r{};
    r.depth = depth;
    for (uint32_t i = 0; i < depth && i < TVK_ROUTE_MAX; i++)
        r.hop[i] = {static_cast<uint8_t>(i), 0x18};
    return r;
}

TEST_F(TvkRouteTest, DecodeBounds)
{
    struct Case {
        uint32_t depth;
        int buflen;
        int result;
        const char *text;  // NULL: not checked
        bool cut;          // the "Too long" line
    } cases[] = {
        {3, 18, 0, "/->[00:03.0]->...", true},
        {3, 35, 0, "/->[00:03.0]->[01:03.0]->[02:03.0]", false},
        {3, 34, 0, "/->[00:03.0]->[01:03.0]->...", true},  // the last hop no longer fits whole
        {2, 14, 0, "/->[00:03.0]-", true},
        {2, 13, 0, "/->[00:03.0]", true},
        {2, 12, 0, "/->...", true},
        {0, 2, 0, "/", false},
        {1, 1, TVK_E_INVAL, nullptr, false},
        {1, -1, TVK_E_INVAL, nullptr, false},
        {257, 512, TVK_E_INVAL, nullptr, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.depth) + " hops in " + std::to_string(c.buflen));
        tvk_route r = make_route(c.depth);
        char buf[64];
        std::memset(buf, 'Z', sizeof buf);
        drop_log();
        EXPECT_EQ(tvk_decode_route(&r, buf, c.buflen), c.result);
        if (c.text != nullptr) {
            EXPECT_EQ(std::string(buf), c.text);
            EXPECT_LT(std::strlen(buf), static_cast<size_t>(c.buflen));
        }
        if (c.buflen > 0 && c.buflen < static_cast<int>(sizeof buf)) {
            EXPECT_EQ(buf[c.buflen], 'Z') << "nothing written past buflen";
        }
        EXPECT_EQ(log().find("Too long[") != std::string::npos, c.cut) << log();
    }
    EXPECT_EQ(tvk_decode_route(nullptr, nullptr, 10), TVK_E_NULL);
    drop_log();
    char buf[64];
    tvk_route r = make_route(3);
    tvk_decode_route(&r, buf, 18);
    EXPECT_EQ(log(), "F N <TVK-ERR>Too long[18B <= 12B+6B] path, discard remianing tail\n");
}

TEST_F(TvkRouteTest, ParseGivesTheSameRouteAsGet)
{
    ASSERT_EQ(tvk_build_bus_map(&map_), 0);
    struct Case {
        uint8_t bus, devfn;
    } cases[] = {{0, 0xFA}, {4, 0x00}, {5, 0x00}, {6, 0x01}};
    for (const Case &c : cases) {
        tvk_route want{};
        ASSERT_GT(tvk_get_route(c.bus, c.devfn, &map_, &want), 0);
        tvk_route got = want;
        for (uint32_t i = 0; i < got.depth; i++)
            got.hop[i].bus = 0xEE;  // only the device numbers are given
        uint8_t bus = 0, devfn = 0;
        ASSERT_EQ(tvk_parse_route(&got, &map_, &bus, &devfn), 0);
        EXPECT_EQ(bus, c.bus);
        EXPECT_EQ(devfn, c.devfn);
        if (want.depth > 1) {
            EXPECT_EQ(std::memcmp(got.hop, want.hop, 2 * want.depth), 0) << int(c.bus);
        }
    }
    tvk_route wild = make_route(3);
    wild.hop[0] = {0, 0x18};
    wild.hop[1] = {0, 0x38};  // no bridge 04:07.0
    uint8_t bus = 0, devfn = 0;
    EXPECT_EQ(tvk_parse_route(&wild, &map_, &bus, &devfn), TVK_E_RANGE);
    EXPECT_EQ(tvk_parse_route(nullptr, &map_, &bus, &devfn), TVK_E_NULL);
    tvk_route deep = make_route(1);
    deep.depth = 300;
    EXPECT_EQ(tvk_parse_route(&deep, &map_, &bus, &devfn), TVK_E_INVAL);
}

} // namespace
