// The DSP program image: head, sections, the two ECC zone records at its
// tail and the CRC-16 that closes it; the walk over its sections and the
// placement of a section in DSP memory. Pure functions over the caller's
// bytes: nothing here reaches the device.
//
//   0       u32 entry address
//   4       u32 section count (the first count - 1 sections are loaded)
//   8       sections: u32 length n, u32 DSP load address, n data bytes
//   L - 34  ECC zone record 1
//   L - 18  ECC zone record 0
//   L - 2   u16 CRC-16 of bytes 0 .. L - 3
#ifndef QUORBIX_BOARDLIB_MEDIA_BIN_H
#define QUORBIX_BOARDLIB_MEDIA_BIN_H

#include <cstddef>
#include <cstdint>

struct EccZone {
    char acTag[4];        // "ECC " as written; the first three bytes are compared
    uint32_t uiEight;     // written as 8, not read
    uint32_t uiZoneAddr;
    uint32_t uiZoneLen;
};
static_assert(sizeof(EccZone) == 16);
static_assert(offsetof(EccZone, uiEight) == 4 && offsetof(EccZone, uiZoneAddr) == 8);
static_assert(offsetof(EccZone, uiZoneLen) == 12);

inline constexpr uint32_t MEDIA_BIN_HEAD_LEN = 8;
inline constexpr uint32_t MEDIA_BIN_TAIL_LEN = 34;
inline constexpr uint32_t MEDIA_BIN_MIN_LEN = MEDIA_BIN_HEAD_LEN + MEDIA_BIN_TAIL_LEN;
inline constexpr uint32_t MEDIA_BIN_SEC_HEAD_LEN = 8;

// The CRC-16 of the image format (the shared routine, from 0).
uint16_t MEDIA_Crc16Calc(const uint8_t *data, uint32_t len);

// Whether a zone record is present (its tag begins "ECC").
bool media_bin_zone_present(const EccZone &zone);

// A walk over one image. Open it with media_bin_open, then take sections
// with media_bin_next until it answers something other than Section.
struct DspBinWalk {
    const uint8_t *image = nullptr;
    uint32_t length = 0;
    uint32_t entryAddr = 0;
    uint32_t secNum = 0;
    EccZone zone[2] = {};   // zone record 0 (from L - 18), zone record 1 (from L - 34)
    uint32_t offset = 0;    // of the next section header
    uint32_t index = 0;     // sections handed out so far
};

enum class DspBinStep {
    Section,   // a section to load
    End,       // count - 1 sections handed out
    BadHead,   // a header of length 0, or one that does not fit before the CRC
    TooLong,   // a section whose data would not fit before the CRC
};

struct DspBinSection {
    uint32_t index;    // 0 for the first
    uint32_t offset;   // of its header
    uint32_t len;      // 0 for a header that does not fit
    uint32_t addr;     // 0 for a header that does not fit
    const uint8_t *data;
};

// False for an image shorter than the head and tail together. Reads the
// head and both zone records; the CRC is the caller's.
bool media_bin_open(DspBinWalk &walk, const uint8_t *image, uint32_t length);
// The next step of the walk. Never reads at or past L - 2.
DspBinStep media_bin_next(DspBinWalk &walk, DspBinSection &sec);

// Where a section of `len` bytes loaded at `addr` goes: core-local sections
// to all eight cores (core c at addr + 0x10000000 + c * 0x01000000), shared
// memory and DDR sections once at their own address. Returns the number of
// targets written to `targets` (0: not placeable). The end is computed
// without wrapping.
uint32_t media_bin_targets(uint32_t addr, uint32_t len, uint32_t targets[8]);

#endif
