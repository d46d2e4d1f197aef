// Queue commands: statistics, water levels, receive hash rule, transmit
// process match, data offset, read-pointer renew timer and a queue's ring
// addresses with its live pointers.
#ifndef QUORBIX_TOOL_TRANS_QUEUE_H
#define QUORBIX_TOOL_TRANS_QUEUE_H

#include "tool/trans_op.h"

TransOpStatus queue_get_stat(const char *params);
TransOpStatus queue_clear_stat(const char *params);
TransOpStatus queue_get_water_level(const char *params);
TransOpStatus queue_set_water_level(const char *params);
TransOpStatus queue_get_hash_rule(const char *params);
TransOpStatus queue_set_hash_rule(const char *params);
TransOpStatus queue_get_txprocess_Match(const char *params);
TransOpStatus queue_set_txprocess_Match(const char *params);
TransOpStatus queue_get_data_offset(const char *params);
TransOpStatus queue_set_data_offset(const char *params);
TransOpStatus queue_set_rptr_renew_interval(const char *params);
TransOpStatus queue_get_attr(const char *params);

#endif
