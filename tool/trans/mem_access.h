// Memory and register access commands: single FPGA driver requests sent
// directly on the FPGA's node (memory read or write, direct-register write,
// indirect-register write and clear).
#ifndef QUORBIX_TOOL_TRANS_MEM_ACCESS_H
#define QUORBIX_TOOL_TRANS_MEM_ACCESS_H

#include <cstdint>

#include "bases/drv/plov_drv.h"
#include "tool/trans_op.h"

inline constexpr TransOpStatus kTransOpenFailed = -1216;
inline constexpr TransOpStatus kTransNoMem = -1211;
inline constexpr TransOpStatus kTransNoBoard = -1205;

// Largest count of values of one indirect write: the request's 16-bit word
// count also holds the address word.
inline constexpr uint32_t kIndregMaxValues = 65534;

// One memory request (op 0 read, 1 write) on the FPGA's node; the driver
// fills the data word of a read. 0, -1216 when the node does not open, or
// the request's result.
int32_t operate_mem(uint32_t fpga, MemOpReq *req);

TransOpStatus mem_write(const char *params);
TransOpStatus dreg_write(const char *params);
TransOpStatus indreg_clear(const char *params);
TransOpStatus indreg_write(const char *params);

#endif
