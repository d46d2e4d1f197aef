// The "log" rows of the clear and dump blocks: the board's log-collection
// script, "log_collect.sh" in the working directory.
#ifndef QUORBIX_TOOL_DDR_LOG_COLLECT_H
#define QUORBIX_TOOL_DDR_LOG_COLLECT_H

#include "tool/trans_op.h"

// Parameter "a" only. -1 for another parameter or when the script cannot be
// run; else the script's wait status (0 when it succeeded).
TransOpStatus log_c_collection(const char *params);
TransOpStatus log_d_collection(const char *params);

#endif
