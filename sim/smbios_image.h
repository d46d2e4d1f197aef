// SMBIOS tables for the simulated board: structures (type, handle,
// formatted bytes, strings) laid out as a table behind a 2.x entry point
// with both checksums, placed in physical memory at a chosen paragraph and
// table address; and the binary dump form (entry point at 0, table at 0x20)
// in both directions. Knobs spoil the entry point for failure tests.
#ifndef QUORBIX_SIM_SMBIOS_IMAGE_H
#define QUORBIX_SIM_SMBIOS_IMAGE_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/kit/sim_doc.h"

struct SmbiosStructure {
    uint8_t type = 0;
    uint16_t handle = 0;
    std::vector<uint8_t> formatted;     // the bytes after the 4-byte header
    std::vector<std::string> strings;   // string 1, 2, ...
};

struct SmbiosLayout {
    uint32_t paragraph = 0xF0000;       // physical address of the entry point
    uint32_t tableAddress = 0xE0000;
    int lengthByte = 0x1F;
    bool badChecksum = false;
    bool badIntermediateChecksum = false;
    int tableLength = -1;               // >= 0: written instead of the real length
    int structureCount = -1;            // >= 0: written instead of the real count
};

std::vector<uint8_t> smbios_build_table(const std::vector<SmbiosStructure> &structures);
// The 31-byte entry point for a table of `length` bytes and `count` structures.
std::vector<uint8_t> smbios_build_entry(const SmbiosLayout &layout, uint16_t length, uint16_t count);
// Write table and entry point into physical memory.
void smbios_place(const std::vector<SmbiosStructure> &structures, const SmbiosLayout &layout);
// The dump form: the entry point at 0 (its table address 0x20), the table at 0x20.
std::vector<uint8_t> smbios_dump_bytes(const std::vector<SmbiosStructure> &structures);
// Place a dump's entry point at `layout.paragraph` and its table at
// `layout.tableAddress`; false when it holds no 2.x entry point.
bool smbios_load_dump(const std::vector<uint8_t> &dump, const SmbiosLayout &layout);

// Builders of the structures the board carries.
SmbiosStructure smbios_baseboard(const std::string &maker, const std::string &product, const std::string &serial,
                                 const std::string &location);
SmbiosStructure smbios_chassis(uint32_t oem);
SmbiosStructure smbios_processor(const std::string &socket, uint64_t id, uint16_t handle);
SmbiosStructure smbios_end(uint16_t handle);

// The board's tables: baseboard named after the board, chassis, two
// processors (the second populated when the PCI tree has a socket at root
// bus 0x80), end.
struct SimBoardProfile;
// A table loaded from a dump (the fixture line below) is saved with the
// board ("smbios" section) and placed again on the next attach.
bool smbios_board_attach(const SimBoardProfile &board, SimDoc &saved);
void smbios_board_save(SimDoc &doc);

// Fixture line:  smbios-dump FILE   the table of a binary dump file (as
// dmidecode writes one) replaces the board's. FILE is a regular file of
// the real machine, not under the root; anything else (a FIFO, a socket, a
// device, a directory) is refused and never waited on. Only its entry point
// and the table that points to (at most 65,535 bytes) are read, and kept
// in the dump form whatever the table's address in FILE.
bool smbios_fixture_line(std::string_view line, std::string &error);

#endif
