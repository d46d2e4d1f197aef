// The t_fpga0 rows: DDR and SOL reads into "log.txt" and "sol.txt", the DDR
// health test and the loop tests.
#ifndef QUORBIX_TOOL_DDR_DDR_CMD_H
#define QUORBIX_TOOL_DDR_DDR_CMD_H

#include <cstdint>
#include <cstdio>

#include "tool/trans_op.h"

// Hex dump of min(length, count) bytes whose first byte sits at `address`:
// console lines behind `label`, the same lines in `file`.
void dump_hex(const uint8_t *buf, uint32_t length, uint32_t address, uint32_t count, const char *label, FILE *file);

// "OFFSET+LENGTH/F": OFFSET "0x" hex or decimal, F "b" hex dump or "c" raw.
TransOpStatus read_ddr_bytes(const char *params);
TransOpStatus read_sol_bytes(const char *params);
// "OFFSET+LENGTH-0xWORD": stores one word at the DDR offset (length 4 only).
TransOpStatus write_ddr_bytes(const char *params);
// Mode 0 (three step, then nine step), 3 or 9.
TransOpStatus test_ddr_health(const char *params);
// "ddr:N": three- and nine-step tests until N seconds have passed.
int32_t ddr_loop_test(const char *params);
// "NAME:N" with NAME ddr, rtc or vga.
TransOpStatus loop_test(const char *params);

#endif
