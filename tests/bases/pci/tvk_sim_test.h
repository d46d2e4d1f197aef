// Test base of the capability, route and name operations: an empty
// simulated bus with its nodes, no diagnosis log, and helpers to lay out
// configuration bytes by hand.
#ifndef QUORBIX_TESTS_BASES_PCI_TVK_SIM_TEST_H
#define QUORBIX_TESTS_BASES_PCI_TVK_SIM_TEST_H

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "bases/pci/tvk_log.h"
#include "sim/pci_bus.h"
#include "support/sim_fixture.h"

class TvkSimTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        pci_bus_reset();
        pci_bus_attach_nodes();
        drop_log();
        sim_clear_journal();
    }
    void drop_log() { std::filesystem::remove(sim_path("/tavik.log")); }
    // The diagnosis log with source paths and lines replaced by "F N".
    std::string log()
    {
        return std::regex_replace(sim_read_file("/tavik.log"), std::regex("(^|\n)\\S+\\.cpp \\d+ "), "$1F N ");
    }
    // A capability list laid by hand: {offset, id, next} triples, the
    // pointer at 0x34 and Status bit 4.
    struct RawCap {
        uint8_t at, id, next;
    };
    static void raw_caps(PciBytes &b, uint8_t first, std::initializer_list<RawCap> caps)
    {
        pci_put(b, 0x06, pci_get(b, 0x06, 2) | 0x10, 2);
        pci_put(b, 0x34, first, 1);
        for (const RawCap &c : caps) {
            pci_put(b, c.at, c.id, 1);
            pci_put(b, c.at + 1u, c.next, 1);
        }
    }
};

#endif
