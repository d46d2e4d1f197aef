// FPGA 0's DDR and SOL buffer behind BAR 0: finding the FPGA, mapping its
// BAR 0, word copies through the host's 32-bit register accessors, and the
// memory tests (stuck-at checks, data- and address-bus walks, the three-
// and nine-step tests).
#ifndef QUORBIX_TOOL_DDR_DDR_MEM_H
#define QUORBIX_TOOL_DDR_DDR_MEM_H

#include <cstddef>
#include <cstdint>

// The FPGA maker's PCI vendor ID (the device filter of BAR map mode not 0).
inline constexpr uint16_t kDdrMakerVendor = 0x1ff0;

inline constexpr int32_t kDdrNull = -1201;
inline constexpr int32_t kDdrBadLength = -1202;
inline constexpr int32_t kDdrBadParam = -1204;
inline constexpr int32_t kDdrTooLong = -1205;
inline constexpr int32_t kDdrNoMem = -1209;
inline constexpr int32_t kDdrMapFail = -1212;
inline constexpr int32_t kDdrOpenFail = -1216;
inline constexpr int32_t kDdrFileFail = -1221;
inline constexpr int32_t kDdrNoBar = -1336;
inline constexpr int32_t kDdrReadLimit = -1338;
inline constexpr int kDdrCheckFail = 6;  // a settle check read a wrong word

// What a BAR map mode (0 or not 0) selects.
struct DdrMapMode {
    uint16_t vendor;
    uint16_t device;
    uint64_t ddrStart;  // BAR offset of the DDR area
    uint64_t ddrLimit;  // read limit
    uint64_t solStart;
    uint64_t solLimit;
};
const DdrMapMode &ddr_map_mode(uint16_t mode);

// The memory tests' stretch of the DDR area.
inline constexpr uint64_t kDdrTestLength = 0x2000000;
inline constexpr int kDdrDataWidth = 32;
inline constexpr int kDdrAddrWidth = 24;

// Bus and devfn of the first function `lspci` lists for the mode's filter
// (the list goes through "/home/dbf.txt"). 0; -1 the command failed; 4 the
// list cannot be opened; 1 its first line does not scan.
int ddr_get_bdf_by_vendor_device(uint16_t mode, unsigned *bus, unsigned *devfn);

// Maps FPGA 0's BAR 0 (64 MiB and the BAR start's offset in its page).
int32_t ddr_test_env_init(int *fd, uint8_t **map, size_t *size, uint16_t mode);
int32_t ddr_test_env_release(int fd, uint8_t *map, size_t size);

// Copies `length` bytes (a multiple of 4, at most 0x3FFFFFF) as ascending
// aligned 32-bit loads or stores.
int32_t ddr_read(void *buf, int length, const uint8_t *src);
int32_t ddr_write(const void *src, int length, uint8_t *dst);

// A stretch of the mapping: `start` and every address below are BAR offsets,
// so lines name addresses as the hex dump counts them.
struct DdrArea {
    uint8_t *map;
    uint64_t start;
    uint64_t length;
};

// Word 0: read back after writing 0 at the first word; word 1: read back
// after writing all ones at the last word; data-bus masks of the walking-zero
// and walking-one pass; address-bus masks (walking zero stays 0).
struct ThreeStepResult {
    uint32_t word[2];
    uint32_t dataMask[2];
    uint32_t addrMask[2];
};
static_assert(sizeof(ThreeStepResult) == 24);
static_assert(offsetof(ThreeStepResult, dataMask) == 8);
static_assert(offsetof(ThreeStepResult, addrMask) == 16);

int data_pattern_check(const DdrArea &a, uint32_t pattern, uint64_t at, uint32_t *value);
int addr_pattern_check(const DdrArea &a, uint32_t pattern, uint64_t at, uint64_t ref, uint32_t expected,
                       uint32_t *value);
int data_bus_walk(const DdrArea &a, int width, int walk, uint32_t *mask);
int data_bus_test(const DdrArea &a, int width, uint32_t *masks, int count);
int addr_bus_walk(const DdrArea &a, int width, int walk, uint32_t *mask);
int addr_bus_test(const DdrArea &a, int width, uint32_t *masks, int count);
int three_step_test(const DdrArea &a, int dataWidth, int addrWidth, ThreeStepResult *r);
int nine_step_test(const DdrArea &a, int dataWidth, int addrWidth, uint64_t *faultAddr, uint32_t *faultValue);

// The tests on the mode's DDR area, with their reports: 0, or 3 (three
// step) / 6 (nine step) when a fault was found, or the setup's status.
int do_three_step_test(uint16_t mode);
int do_nine_step_test(uint16_t mode);

// "%d " for every set bit of `mask`, from bit 0 up; 3 for a null text.
int get_bit_num_string(uint32_t mask, char *text, size_t size);

#endif
