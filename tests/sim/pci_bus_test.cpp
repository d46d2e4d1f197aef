// The simulated PCI bus: dumps as fixtures, the devices file, the saved
// board, and the default tree against lspci.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bases/host/host.h"
#include "sim/fixture_file.h"
#include "sim/pci_bus.h"
#include "support/saved_board.h"
#include "support/sim_fixture.h"
#include "support/oracle.h"

namespace {

class PciBusTest : public SimTest {};

std::string run(const std::string &command)
{
    std::string out;
    FILE *p = ::popen(command.c_str(), "r");
    if (p == nullptr)
        return out;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    ::pclose(p);
    return out;
}

TEST_F(PciBusTest, DefaultBoardTreeAgreesWithLspci)
{
    std::string devices = sim_read_file("/proc/bus/pci/devices");
    EXPECT_TRUE(devices.empty()) << "procfs files are modelled, not on disk";
    FILE *f = host().fopen("/proc/bus/pci/devices", "r");
    ASSERT_NE(f, nullptr);
    char line[512];
    std::string mine;
    while (std::fgets(line, sizeof line, f)) {
        unsigned slot = 0, ids = 0;
        ASSERT_EQ(std::sscanf(line, "%x %x", &slot, &ids), 2);
        char text[64];
        std::snprintf(text, sizeof text, "%02x:%02x.%x %04x:%04x\n", slot >> 8, (slot >> 3) & 0x1F, slot & 7,
                      ids >> 16, ids & 0xFFFF);
        mine += text;
    }
    std::fclose(f);
    EXPECT_NE(mine.find("00:05.2 8086:3c2a"), std::string::npos);
    QUORBIX_NEED_TOOL("lspci", "pciutils");
    std::string dump = "/tmp/" + std::filesystem::path(root_).filename().string() + "-tree.txt";
    std::ofstream(dump) << pci_default_tree();
    std::string listed = run("lspci -F " + dump + " -n 2>/dev/null | awk '{print $1, $3}'");
    std::remove(dump.c_str());
    EXPECT_EQ(mine, listed);
}

TEST_F(PciBusTest, DevicesFileFormat)
{
    std::string error;
    ASSERT_TRUE(sim_fixture_apply("07:00.0 Ethernet controller: x\n00: 86 80 3a 15 00 00 00 00 01 00 00 02 00 00 00 00\n"
                                  "30: 00 00 00 00 00 00 00 00 00 00 00 00 0b 01 00 00\n"
                                  "resource 0xfb000000 0xfb0fffff 0x40200\nresource 0xe000 0xe01f 0x40101\ndriver igb\n",
                                  "t", error))
        << error;
    std::string text;
    FILE *f = host().fopen("/proc/bus/pci/devices", "r");
    char line[512];
    while (std::fgets(line, sizeof line, f))
        if (std::string(line).starts_with("0700"))
            text = line;
    std::fclose(f);
    EXPECT_EQ(text, "0700\t8086153a\tb\t        fb000000\t            e001\t               0\t               0"
                    "\t               0\t               0\t               0\t          100000\t              20"
                    "\t               0\t               0\t               0\t               0\t               0\tigb\n");
}

TEST_F(PciBusTest, FixtureLinesAndErrors)
{
    std::string error;
    ASSERT_TRUE(sim_fixture_apply("0000:09:00.0 x\n00: 01 02\n100: 01 00 01 00\nirq 12\n", "t", error)) << error;
    PciFunction *fn = pci_bus_find(9, 0);
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn->size, 4096u) << "a row past 0xff makes 4096 bytes";
    EXPECT_EQ(fn->irq, 12);
    EXPECT_EQ(pci_conf_read(*fn, 0, 2), 0x0201u);
    struct Bad {
        const char *text;
        const char *error;
    } bad[] = {
        {"0001:00:00.0 x\n", "t:1: '0001:00:00.0': only domain 0 is simulated"},
        {"00:00.0 x\n00: zz\n", "t:2: 'zz' is not a byte"},
        {"00:00.0 x\nff0: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n",
         "t:2: a row holds at most 16 bytes within 4096"},
        {"00:00.0 x\nirq\n", "t:2: usage: irq N"},
        {"00:00.0 x\nresource 1 2\n", "t:2: usage: resource START END FLAGS"},
    };
    for (const Bad &b : bad) {
        EXPECT_FALSE(sim_fixture_apply(b.text, "t", error));
        EXPECT_EQ(error, b.error);
    }
}

TEST_F(PciBusTest, TheBusIsSavedWithTheBoard)
{
    PciFunction *fn = pci_bus_find(1, 0);
    ASSERT_NE(fn, nullptr);
    pci_conf_write(*fn, 0x10, 0xFB200000u, 4);
    pci_conf_poke(*fn, 0x06, {0x10, 0x20});
    ASSERT_EQ(sim_board_close(), 0);
    ASSERT_EQ(sim_board_open(root_, ""), 0);
    fn = pci_bus_find(1, 0);
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(pci_conf_read(*fn, 0x10, 4), 0xFB200000u);
    EXPECT_EQ(fn->driver, "trans_pci");
    pci_conf_write(*fn, 0x06, 0x2000, 2);
    EXPECT_EQ(pci_conf_read(*fn, 0x06, 2), 0x0010u) << "rules come back with the functions";
}

// The saved bus holds what the kernel's bus does: a configuration space of
// 256 or 4096 bytes at a device number below 32, an interrupt that fits an
// int, a driver name that is one word, at most seven resources whose memory
// ranges lie in the simulated memory. Past each bound is refused at its
// line; the bound loads.
TEST(PciSavedBoard, ValuesPastTheirBoundsAreRefusedAtTheirLine)
{
    const SavedBoard b("ZK17DORN");
    const std::string pci = "pci";
    std::string seven;
    for (int i = 0; i < 7; i++)
        seven += (i ? " " : "") + std::string("0x0 0x0 0x0");
    const std::string eight = seven + " 0x0 0x0 0x0";
    const struct {
        SavedEntry entry;
        std::string message;  // empty: loads
    } cases[] = {
        {{pci, "function 00:1f.7", saved_bytes(256)}, ""},
        {{pci, "function 00:1f.7", saved_bytes(4096)}, ""},
        {{pci, "function 00:1f.7", saved_bytes(255)}, "'function 00:1f.7' holds 255 bytes, 256 to 4096 expected"},
        {{pci, "function 00:1f.7", saved_bytes(257)}, "'function 00:1f.7' holds 257 bytes, 256 or 4096 expected"},
        {{pci, "function 00:1f.7", saved_bytes(4097)}, "'function 00:1f.7' holds 4097 bytes, 256 to 4096 expected"},
        {{pci, "function 00:20.0", saved_bytes(256)}, "pci: entry 'function 00:20.0' not understood"},
        {{pci, "function 00:1f.7x", saved_bytes(256)}, "pci: entry 'function 00:1f.7x' not understood"},
        {{pci, "irq 00:00.0", "0x7fffffff"}, ""},
        {{pci, "irq 00:00.0", "0x80000000"}, "'irq 00:00.0' is 0x80000000, above its largest value 0x7fffffff"},
        {{pci, "irq 00:1f.7", "0x1"}, "pci: 'irq 00:1f.7' names no saved function"},
        {{pci, "driver 00:00.0", saved_bytes(255, 'd')}, ""},
        {{pci, "driver 00:00.0", saved_bytes(256, 'd')}, "'driver 00:00.0' holds 256 bytes, at most 255 expected"},
        {{pci, "driver 00:00.0", "\"a\\nb\""}, "'driver 00:00.0' is not a driver name"},
        {{pci, "resources 00:00.0", seven}, ""},
        {{pci, "resources 00:00.0", eight}, "'resources 00:00.0' holds 24 integers, at most 21 expected"},
        {{pci, "resources 00:00.0", "0x3ffffffff000 0x3fffffffffff 0x200"}, ""},
        {{pci, "resources 00:00.0", "0x3ffffffff000 0x400000000000 0x200"},
         "'resources 00:00.0': resource 0x3ffffffff000-0x400000000000 is not a range of the simulated memory"},
        {{pci, "resources 00:00.0", "0xfffffffffffff000 0xffffffffffffffff 0x200"},
         "'resources 00:00.0': resource 0xfffffffffffff000-0xffffffffffffffff is not a range of the simulated memory"},
        {{pci, "domains", "0x1"}, ""},
        {{pci, "domains", "0x2"}, "'domains' is 0x2, above its largest value 0x1"},
    };
    for (const auto &c : cases)
        b.expect(c.entry, c.message);
}

} // namespace

TEST_F(PciBusTest, WriteOneToClearAndTimedEventLines)
{
    std::string error;
    ASSERT_TRUE(sim_fixture_apply("0a:00.0 x\n00: 86 80 3a 15\n"
                                  "pci-w1c 0x42 0x00f0\n"         // bits 7:4 of the word at 0x42
                                  "pci-event 0x42 0x0030 20\n"    // bits 5:4 at 20 ms
                                  "pci-event 0x42 0x0040 40\n",
                                  "t", error))
        << error;
    PciFunction *fn = pci_bus_find(0x0A, 0x00);
    ASSERT_NE(fn, nullptr);
    pci_conf_write(*fn, 0x42, 0x00FF, 2);   // a write sets none of the w1c bits
    EXPECT_EQ(pci_conf_read(*fn, 0x42, 2), 0x000Fu);
    host().usleep(20000);
    EXPECT_EQ(pci_conf_read(*fn, 0x42, 2), 0x003Fu);
    pci_conf_write(*fn, 0x42, 0x001F, 2);   // clears bit 4 only
    EXPECT_EQ(pci_conf_read(*fn, 0x42, 2), 0x002Fu);
    host().usleep(20000);
    EXPECT_EQ(pci_conf_read(*fn, 0x42, 2), 0x006Fu);
    // The RAS device's global pair clears by writing ones.
    PciFunction *ras = pci_bus_find(0x00, 0x2A);
    ASSERT_NE(ras, nullptr);
    pci_conf_poke(*ras, 0x1C0, {0xC1, 0x00, 0x10, 0x00});
    pci_conf_write(*ras, 0x1C0, 0x00100001, 4);
    EXPECT_EQ(pci_conf_read(*ras, 0x1C0, 4), 0x000000C0u);
    struct {
        const char *text, *error;
    } bad[] = {
        {"0a:00.0 x\npci-w1c 0x42\n", "usage: pci-w1c OFFSET MASK"},
        {"0a:00.0 x\npci-event 0x42 1\n", "usage: pci-event OFFSET BITS MS"},
        {"0a:00.0 x\npci-w1c 0xFE 0xFFFF\n", "register outside the function's space"},
    };
    for (const auto &b : bad) {
        EXPECT_FALSE(sim_fixture_apply(b.text, "t", error));
        EXPECT_NE(error.find(b.error), std::string::npos) << error;
    }
}
