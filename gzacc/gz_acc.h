// The accelerated write: level mapping, slice sizing and one gzip member
// per call compressed slice by slice on the card.
#ifndef QUORBIX_GZACC_GZ_ACC_H
#define QUORBIX_GZACC_GZ_ACC_H

#include <cstdint>

#include "gzacc/gz_file.h"

namespace gzacc {

inline constexpr uint32_t GZ_MIB = 1048576;
inline constexpr uint32_t GZ_DEST_SLICE = 64 * GZ_MIB;
inline constexpr uint32_t GZ_CARD_CPU_SELECT = 2;
inline constexpr uint32_t GZ_CARD_EXPIRES = 5;

// Statuses of the accelerated write.
inline constexpr int GZ_ACC_E_HOST_BUF = -102;
inline constexpr int GZ_ACC_E_ARG = -103;
inline constexpr int GZ_ACC_E_SLICE = -104;
inline constexpr int GZ_ACC_E_HEAD_BUILD = -105;
inline constexpr int GZ_ACC_E_HEAD_WRITE = -106;
inline constexpr int GZ_ACC_E_IN_BUF = -107;
inline constexpr int GZ_ACC_E_OUT_BUF = -108;
inline constexpr int GZ_ACC_E_TO_CARD = -109;
inline constexpr int GZ_ACC_E_FROM_CARD = -110;
inline constexpr int GZ_ACC_E_ORDER = -207;
inline constexpr int GZ_ACC_E_FLAG_FIRST = -208;
inline constexpr int GZ_ACC_E_FLAG_LAST = -209;
inline constexpr int GZ_ACC_E_FLAG_MIDDLE = -210;
inline constexpr int GZ_ACC_E_FLAG_ONLY = -211;
inline constexpr int GZ_ACC_E_HANDLE = -301;
inline constexpr int GZ_ACC_E_RESULT = -302;
inline constexpr int GZ_ACC_E_SEND = -303;
inline constexpr int GZ_ACC_E_FILE_WRITE = -403;

struct GzLevelMap {
    int ratio;
    int cardLevel;
};
GzLevelMap gz_level_map(int level);

struct GzSlices {
    uint16_t count;
    uint32_t srcSize;
    uint32_t destSize;
};
// Slices of a `len`-byte buffer; count 0 when the sizing is refused.
GzSlices gz_slice_sizes(uint32_t len);

// One gzip member of buf[0..len) on the card; the total written, or a status.
int gzwrite_fpga(gz_file_state *state, const void *buf, uint32_t len);

// At close: an accelerator-mode file that is still empty, with no
// accelerated write having reached it, gets an empty member.
void gz_acc_close_empty(gz_file_state *state);

}  // namespace gzacc

#endif
