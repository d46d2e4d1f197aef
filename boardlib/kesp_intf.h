// The KESP FPGA's indirect-register catalogue and the three functions that
// read, write and clear an indirect register by its id.
#ifndef QUORBIX_BOARDLIB_KESP_INTF_H
#define QUORBIX_BOARDLIB_KESP_INTF_H

#include <cstdint>

#include "bases/drv/plov_drv.h"
#include "boardlib/plov_trans_intf.h"

inline constexpr uint32_t kKespIndirRegCount = 64;

// Rows in the request layout, indexed by register id; ids 0 to 59 are
// filled, 60 to 63 are all zero. Each row carries the block's base address,
// its word counts, and the FPGA's command word and mode, which the requests
// of this library never send. The media library reads the same rows.
extern const IndirRegReq g_KespIndirReg[kKespIndirRegCount];

// Fixed commands of the KESP indirect requests.
inline constexpr uint64_t kKespIndirCmdRead = 0;
inline constexpr uint64_t kKespIndirCmdWrite = 1;
inline constexpr uint64_t kKespIndirCmdClear = 3;

// `data` holds n + 1 words: word 0 the word address inside the block, words
// 1..n the data (n = the row's wlen for a write, rlen for a read). -1201 for
// a null buffer, -1202 for an id outside the catalogue; device-layer
// failures pass through.
PlovStatus KespReadIndregByID(uint32_t id, uint64_t *data);
PlovStatus KespWriteIndregByID(uint32_t id, uint64_t *data);
PlovStatus KespClearCntIndregByID(uint32_t id, uint64_t *data);

#endif
