// The RUGA card's boot driver "/dev/ruga_boot": its four requests take
// argument 0 (anything else: EINVAL) and succeed; the journal keeps their
// order. Failures come from the kernel's request faults.
#ifndef QUORBIX_SIM_RUGA_MODEL_H
#define QUORBIX_SIM_RUGA_MODEL_H

void ruga_boot_node_add();

#endif
