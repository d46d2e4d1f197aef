// The FPGA logic image head, the CRC-16 that protects image and head, the
// bit reversal of type-1 images, and the checks built on them.
//
// An image is its data part followed by the 104-byte head; a copy of the
// head also sits in the last 104 bytes of the flash. Images of FPGA type 1
// are stored with the bits of every byte reversed; checks always run on the
// natural order.
#ifndef QUORBIX_TOOL_LOAD_FPGA_HEAD_H
#define QUORBIX_TOOL_LOAD_FPGA_HEAD_H

#include <cstddef>
#include <cstdint>

inline constexpr uint32_t FHEAD_FLAG = 0x55AA55AA;
inline constexpr uint32_t FHEAD_TYPE = 0x90;
inline constexpr uint32_t FHEAD_SIZE = 104;
// Room kept free at the top of a flash: an image's data part must not pass
// capacity - FLASH_RESERVED.
inline constexpr int64_t FLASH_RESERVED = 0x200000;

// Words little-endian, as stored.
struct fhead {
    uint32_t ValidateFlag;
    uint32_t version;
    char name[32];
    uint8_t reserved0[12];
    uint32_t type;
    uint8_t reserved1[8];
    uint32_t size;         // length of the data part
    uint32_t fileCrc;      // CRC-16 of the data part, low 16 bits
    uint32_t ulAddrOffset; // head start to image end, as the checks use it
    uint8_t reserved2[20];
    uint32_t headCrcFlag;  // FHEAD_FLAG: headCrc is present
    uint32_t headCrc;      // CRC-16 of bytes 0..99
};
static_assert(sizeof(fhead) == FHEAD_SIZE);
static_assert(offsetof(fhead, version) == 4 && offsetof(fhead, name) == 8);
static_assert(offsetof(fhead, type) == 52 && offsetof(fhead, size) == 64);
static_assert(offsetof(fhead, fileCrc) == 68 && offsetof(fhead, ulAddrOffset) == 72);
static_assert(offsetof(fhead, headCrcFlag) == 96 && offsetof(fhead, headCrc) == 100);

// The RUGA application head (172 bytes): flag at 0, type at 120, head-CRC
// flag at 164, CRC-16 of bytes 0..167 at 168.
inline constexpr size_t RUGA_HEAD_SIZE = 172;

// CRC-16 of `length` bytes into *out (zero-extended); -1201 for a null
// pointer or an empty range. Pauses 10 ms through the host clock before
// each byte that has a multiple of `sectorSize` (the flash's erase unit)
// still to follow it.
int flash_calculate_crc(const uint8_t *data, uint32_t length, uint32_t sectorSize, uint32_t *out);

uint8_t bit_change_order(uint8_t byte);
// Reverses the bits of each byte in place; null (after a line) for null.
uint8_t *data_change_order(uint8_t *buffer, size_t length);

// The head's words, size and CRC; `capacity` and `sectorSize` are those of
// the flash the head is for.
int flash_file_head_verify(const fhead *head, uint32_t capacity, uint32_t sectorSize);
// The whole image: the head at image + dataLength, the data part's CRC.
// The caller holds at least dataLength + 104 bytes at image; `capacity` and
// `sectorSize` are those of the flash the image is for.
int fpga_file_check(const uint8_t *image, uint32_t dataLength, uint32_t capacity, uint32_t sectorSize);
int ruga_fpga_file_check(const uint8_t *image, uint32_t dataLength, uint32_t capacity, uint32_t sectorSize);
int ruga_file_head_verify(const uint8_t *head, uint32_t sectorSize);

#endif
