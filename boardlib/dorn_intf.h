// DORN indirect-register catalogue: every indirect register block of the two
// FPGAs by id, and the request building that every DORN operation on an
// indirect register goes through.
#ifndef QUORBIX_BOARDLIB_DORN_INTF_H
#define QUORBIX_BOARDLIB_DORN_INTF_H

#include <cstddef>
#include <cstdint>

#include "boardlib/dorn_logic.h"

inline constexpr size_t DORN_INDIR_REG_ROWS = 64;
inline constexpr uint32_t DORN_INDIR_REG_USED = 51;   // rows 0 to 50 are filled

// Catalogue access commands.
inline constexpr uint32_t DORN_INDIR_CMD_2 = 0x2;
inline constexpr uint32_t DORN_INDIR_CMD_10 = 0x10;

// Ids used by the backend.
inline constexpr uint32_t DORN_INDIR_PIF_DRP_CFG = 12;
inline constexpr uint32_t DORN_INDIR_PIF_CNTM = 13;
inline constexpr uint32_t DORN_INDIR_RXM_CAR_CFG = 17;
inline constexpr uint32_t DORN_INDIR_RXM_CNTM = 20;
inline constexpr uint32_t DORN_INDIR_TRM_TCAM_CFG = 27;
inline constexpr uint32_t DORN_INDIR_TXQM_QWORK_CFG = 29;
inline constexpr uint32_t DORN_INDIR_TXQM_QGPWORK_CFG = 30;
inline constexpr uint32_t DORN_INDIR_DL_CNTM = 49;

extern const IndirRegReq g_IndirReg[DORN_INDIR_REG_ROWS];

// Build the request for row `id`: id, base address and the four counts from
// the row, the command word (the row's command, with bit 0 set for a write)
// and a zeroed data buffer of wlen + rlen words (a failed zeroing is logged
// and the build goes on). -1336 for an id beyond the filled rows, -1211
// when the buffer cannot be allocated. Release with DornIndirRelease.
PlovStatus DornIndirBuild(uint32_t id, bool write, IndirRegReq *req);
void DornIndirRelease(IndirRegReq *req);

// Single accesses by id. The read puts `key` in word 0 and returns word
// `wlen` in *value. The write puts `key` in word 0 and `count` value words
// from word 1 on (at most wlen - 1). Device-layer statuses pass through.
PlovStatus DornReadIndirById(FpgaId fpga, uint32_t id, uint64_t key, uint64_t *value);
PlovStatus DornWriteIndirById(FpgaId fpga, uint32_t id, uint64_t key, const uint64_t *values, size_t count);

#endif
