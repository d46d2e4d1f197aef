// The compression card's transform for the simulated accelerator: each
// slice of a stream (reply port and file id) becomes raw deflate at the
// card level; a slice before the last ends on a byte boundary (full flush),
// the last is finished and followed by the gzip trailer (CRC-32 chained
// from the descriptor's crc, length = the stream's total). The card checks
// segment order, the flag sequence (3 alone; 1, 0..., 2), the crc handed in
// and the total length, and answers a breach with a card error.
#ifndef QUORBIX_SIM_GZ_CARD_MODEL_H
#define QUORBIX_SIM_GZ_CARD_MODEL_H

#include <cstdint>
#include <span>
#include <vector>

enum class GzCardFault { none, flags, segment, zeroLength, longLength, corrupt };

struct GzCardSettings {
    GzCardFault fault = GzCardFault::none;
    int faultSegment = -1;   // the slice the fault hits; -1 every slice
};

// Installs the transform on the simulated accelerator (after the board opened).
void gz_card_install();
GzCardSettings &gz_card_settings();
// Slices compressed and card errors answered since the install.
uint32_t gz_card_slices();
uint32_t gz_card_breaches();
// The card's compression of one slice: raw deflate at `level`, finished
// when `last`, else ended with a full flush.
bool gz_card_deflate(std::span<const uint8_t> in, int level, bool last, std::vector<uint8_t> &out);

#endif
