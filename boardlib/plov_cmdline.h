// The kernel command line, read whole from "/proc/cmdline".
#ifndef QUORBIX_BOARDLIB_PLOV_CMDLINE_H
#define QUORBIX_BOARDLIB_PLOV_CMDLINE_H

#include <cstddef>

#include "boardlib/plov_trans_intf.h"

inline constexpr const char *PLOV_CMDLINE_PATH = "/proc/cmdline";
inline constexpr size_t PLOV_CMDLINE_MAX = 4096;   // the kernel's own limit
inline constexpr PlovStatus PLOV_ERR_READ = -1218;

// The first line of the command line (its newline kept) into `line` of
// `size` bytes, terminated. A short read does not cut it: reads go on to
// the end of the line or of the file. 0; -1201 null line or size 0; -1216
// the file cannot be opened; -1218 a read fails or the line does not fit.
// Logs nothing: callers word their own lines.
PlovStatus PlovReadCmdline(char *line, size_t size);

#endif
