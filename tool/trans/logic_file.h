// The FPGA logic kept in the two SPI flashes: the stored versions (sub-blocks
// "m_trans" and "m_sbuf"), writing a logic file into a flash and loading an
// FPGA from its flash ("l_trans", "l_sbuf"), and erasing a flash ("c_trans",
// "c_sbuf"). Which flash and FPGA type a command uses follows the board's
// SMBIOS product name, not the DMI board name.
#ifndef QUORBIX_TOOL_TRANS_LOGIC_FILE_H
#define QUORBIX_TOOL_TRANS_LOGIC_FILE_H

#include <cstddef>
#include <cstdint>

#include "tool/trans_op.h"

// Capacity of the product name the flash commands read.
inline constexpr size_t kTransProductSize = 16;

// The SMBIOS baseboard product name into `product` (zero-filled first,
// always terminated). On failure prints "call smbios_get_board_info fail!
// iRet=%d" and returns the reader's status.
int32_t trans_smbios_product(char (&product)[kTransProductSize]);

TransOpStatus get_trans_logic_version(const char *params);
TransOpStatus get_sbuf_logic_version(const char *params);
TransOpStatus load_trans_logic_file(const char *params);
TransOpStatus load_sbuf_logic_file(const char *params);
TransOpStatus load_trans_logic_now(const char *params);
TransOpStatus load_sbuf_logic_now(const char *params);
TransOpStatus clear_trans_logic_file(const char *params);
TransOpStatus clear_sbuf_logic_file(const char *params);

#endif
