// The NIC test: one raw Ethernet frame (two MAC addresses, a VLAN tag, the
// ARP EtherType and a file's bytes) sent out of a named interface a given
// number of times, or until SIGINT or SIGTERM, by a sender thread.
#ifndef QUORBIX_TOOL_TRANS_NIC_H
#define QUORBIX_TOOL_TRANS_NIC_H

#include "tool/trans_op.h"

// "ifname,file,count,interval_us,dmac,smac"; a count of 888 sends without
// end. 0 when the sender ran and ended (or a signal ended it), -1 for
// every failure.
TransOpStatus nic_test(const char *params);

// The sender thread's body (the argument is the sender state).
void *SendFrameSendTask(void *state);

// Installed for SIGINT and SIGTERM while the command runs: records the
// signal and stops the sender; the command then ends with status 0.
void sigint_hdl(int sig);

#endif
