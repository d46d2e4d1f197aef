// FPGA 0's BAR 0 as the card shows it: sysfs files of a function for each BAR map
// mode's filter ("lspci -d ..." scripted to list it into "/home/dbf.txt"),
// its sysfs "resource" file, and a "resource0" whose mapping is a register
// window of 64 MiB of memory. The window can hold data lines stuck at 0 or
// 1, an address line that is ignored (aliasing two addresses), one word that
// always reads a wrong value, and charges a virtual cost per access.
// Nothing of it is saved: a reopened board has a cleared memory.
#ifndef QUORBIX_SIM_FPGA_DDR_MODEL_H
#define QUORBIX_SIM_FPGA_DDR_MODEL_H

#include <cstdint>

#include "sim/kit/sim_doc.h"

inline constexpr uint64_t kDdrModelSize = 0x4000000;
inline constexpr uint8_t kDdrModelBus[2] = {0x06, 0x07};  // BAR map mode 0, not 0

bool fpga_ddr_model_attach(SimDoc &saved);
void fpga_ddr_model_save(SimDoc &doc);

// Faults by BAR offset: data bits forced to 0 / to 1 on every read; an
// address bit (of the byte offset, 2 and up; -1 none) ignored; one word
// reading `value` (offset -1: none).
void fpga_ddr_model_stuck(uint32_t zeros, uint32_t ones);
void fpga_ddr_model_alias(int addressBit);
void fpga_ddr_model_wrong_word(int64_t offset, uint32_t value);
void fpga_ddr_model_cost_ns(uint64_t ns);
// The stored word at a BAR offset (no fault applied), and a back-door write.
uint32_t fpga_ddr_model_peek(uint64_t offset);
void fpga_ddr_model_poke(uint64_t offset, uint32_t value);

#endif
