// Board facts that the backends and the board-independent operations both
// need and that are no operation of either: the kernel command line and the
// DORN port-property mapping.
#ifndef QUORBIX_BOARDLIB_BOARD_UTIL_H
#define QUORBIX_BOARDLIB_BOARD_UTIL_H

#include <cstddef>
#include <cstdint>

#include "boardlib/plov_status.h"
#include "boardlib/plov_types.h"

// ---- the kernel command line, read whole from "/proc/cmdline" ----------------------

inline constexpr const char *BOARD_CMDLINE_PATH = "/proc/cmdline";
inline constexpr size_t BOARD_CMDLINE_MAX = 4096;   // the kernel's own limit

// The first line of the command line (its newline kept) into `line` of
// `size` bytes, terminated. A short read does not cut it: reads go on to
// the end of the line or of the file. 0; -1201 null line or size 0; -1216
// the file cannot be opened; -1218 a read fails or the line does not fit.
// Logs nothing: callers word their own lines.
PlovStatus BoardReadCmdline(char *line, size_t size);

// ---- DORN port properties: location, type and id turned into the port number of an FPGA

// The port of `pro` on FPGA `fpga` (TYPE 5 depends on the FPGA), taken
// modulo 256: true and *port set; false when the property has no mapping
// (the caller answers with its own status: 0 or -1335). Written once for
// every property form.
bool BoardPortProToPort(FpgaId fpga, const PortPro &pro, uint8_t *port);

#endif
