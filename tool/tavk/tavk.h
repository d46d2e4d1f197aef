// Small check handlers: the PXE state from the BMC ("mfc"/"pxe") and the
// crypto chips through the external "./cryptotool" ("mfc"/"crypto",
// "test"/"crypto").
#ifndef QUORBIX_TOOL_TAVK_TAVK_H
#define QUORBIX_TOOL_TAVK_TAVK_H

#include "tool/trans_op.h"

// 0 after printing the flags and the state of BASE1 (bit 2) and BASE2
// (bit 3); -1 when the query fails. The parameter text is not used.
TransOpStatus pxe_check_enable(const char *params);

// "./cryptotool query": the raw wait status of system(), unchanged.
TransOpStatus crypto_query(const char *params);

// "0"/"1": the functional test of that chip; "0:T"/"1:T" with T decimal
// digits (empty allowed, at most 49): the timed stress test. The system()
// status; 1 for any other text (nothing run), or the copy or format status.
TransOpStatus crypto_test(const char *params);

#endif
