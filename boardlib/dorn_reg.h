// Direct-register accesses of the DORN backend: a whole read, a whole
// write and the read-modify-write of one field that every setter uses.
#ifndef QUORBIX_BOARDLIB_DORN_REG_H
#define QUORBIX_BOARDLIB_DORN_REG_H

#include <cstdint>

#include "boardlib/plov_status.h"

inline constexpr FpgaId DORN_FPGA_TRANS = 0;
inline constexpr FpgaId DORN_FPGA_SBUF = 1;

// The register's value into *value on success; the read's status.
PlovStatus DornGetRegData(FpgaId fpga, uint64_t address, uint64_t *value);
PlovStatus DornSetRegData(FpgaId fpga, uint64_t address, uint64_t value);
// Read the register, replace the bits of `mask` by those of `bits`, write
// it back. Nothing is written after a failed read.
PlovStatus DornUpdateRegField(FpgaId fpga, uint64_t address, uint64_t mask, uint64_t bits);

#endif
