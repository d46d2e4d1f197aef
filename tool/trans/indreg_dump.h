// The indirect-register dump of the DORN FPGAs into a text file: every
// register of one class grouped by module, or the register of one row of
// the dump table.
#ifndef QUORBIX_TOOL_TRANS_INDREG_DUMP_H
#define QUORBIX_TOOL_TRANS_INDREG_DUMP_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "boardlib/dorn_logic.h"
#include "tool/trans_op.h"

inline constexpr size_t kIndregDumpRows = 50;

// A register's printer: the file (with its write-failure flag) and the row.
struct IndregOut {
    FILE *file;
    bool failed;   // a write went wrong
};
using IndregPrinter = int32_t (*)(FpgaId fpga, IndregOut &out, uint32_t row, const char *regName);

struct IndregDumpRow {
    char module[16];
    uint32_t fpgaMask;   // bit 0 trans FPGA, bit 1 sbuf FPGA
    char regName[44];
    IndregPrinter printer;
    uint32_t classMask;  // bit 0 configuration, 1 RAM and flow control, 2 counters, 3 all
};

extern const IndregDumpRow g_indreg_read[kIndregDumpRows];

TransOpStatus trans_logic_indreg_dump(const char *params);
TransOpStatus sbuf_logic_indreg_dump(const char *params);
// "DumpType:DumpIndex:path" on one FPGA: 0, -1202 bad input, -1216 the
// file cannot be opened, -1218 a write or the close failed.
TransOpStatus logic_indreg_dump(FpgaId fpga, const char *params);

#endif
