// CRC-16 of the FPGA logic images and the DSP program images: polynomial
// 0x1021, initial value 0, most significant bit first, no reflection, no
// final XOR ("123456789" gives 0x31C3).
//
// One routine for every user: an update over a byte range with a running
// value, so a caller can feed an image in pieces (pausing between them)
// and get the same value as one run over the whole range.
#ifndef QUORBIX_BASES_CRC_CRC16_H
#define QUORBIX_BASES_CRC_CRC16_H

#include <cstddef>
#include <cstdint>

// The CRC after feeding `len` bytes of `data` to a register holding `crc`.
// Start a run with 0. A length of 0 returns `crc` unchanged (data may then be
// null).
uint16_t crc16_update(uint16_t crc, const uint8_t *data, size_t len);

#endif
