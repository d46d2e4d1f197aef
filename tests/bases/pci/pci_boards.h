// Boards for checking the PCI library against an outside reader:
// - a seeded generator of trees (root ports with bridges two or three
//   levels deep, endpoints, capability chains, extended capabilities with
//   AER) with ids drawn from a PCI ID file, written as a configuration dump
//   that is both a fixture and an input of "lspci -F";
// - a copy of this machine's "/proc/bus/pci" (read only) into a simulated
//   root.
#ifndef QUORBIX_TESTS_BASES_PCI_PCI_BOARDS_H
#define QUORBIX_TESTS_BASES_PCI_PCI_BOARDS_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sim/pci_bus.h"

// What the generator draws ids from: vendors with their devices and the
// subsystem lines under each, and the classes (base << 8 | sub) named.
struct GenIds {
    struct Device {
        uint16_t id;
        std::vector<std::pair<uint16_t, uint16_t>> subsystems;
    };
    struct Vendor {
        uint16_t id;
        std::vector<Device> devices;
    };
    std::vector<Vendor> vendors;
    std::vector<uint16_t> classes;   // base << 8 | sub, both named
    std::vector<uint8_t> bases;      // base classes named
};
GenIds gen_parse_ids(const std::string &text);

struct GenFunction {
    uint8_t bus = 0;
    uint8_t devfn = 0;
    PciBytes bytes;
    bool bridge = false;
    std::vector<std::pair<uint8_t, uint8_t>> caps;     // offset, id
    std::vector<std::pair<uint16_t, uint16_t>> ext;    // offset, id
    uint16_t aer = 0;                                  // its offset, 0: none
    bool namedSubsystem = false;                       // the subsystem has a line in the ID file
};

struct GenBoard {
    std::vector<GenFunction> functions;
    std::string dump() const;   // fixture and "lspci -F" input
};
GenBoard gen_board(unsigned seed, const GenIds &ids);

// Copies "/proc/bus/pci" ("devices" and every function file, as far as it
// reads) into `root`; false when there is nothing to copy.
bool copy_proc_pci(const std::string &root, std::string &why);

// A file's bytes, read in the test process (empty when it cannot be read).
std::string read_file(const std::string &path);

// Runs a shell command in the test process; its standard output.
std::string run_shell(const std::string &command);

#endif
