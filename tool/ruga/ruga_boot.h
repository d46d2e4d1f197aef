// What both reloads share: the boot driver's node, held for one reload,
// and the buffer the configuration below the ports is saved in.
#ifndef QUORBIX_TOOL_RUGA_RUGA_BOOT_H
#define QUORBIX_TOOL_RUGA_RUGA_BOOT_H

#include <memory>

#include "bases/drv/ruga_boot_drv.h"
#include "tool/ruga/ruga_port.h"

// Absent (no request sent) when the node does not exist or opens as
// descriptor 0. Closed when the reload ends, whichever way.
struct RugaBootNode {
    int fd = -1;
    RugaBootNode() = default;
    RugaBootNode(const RugaBootNode &) = delete;
    RugaBootNode &operator=(const RugaBootNode &) = delete;
    ~RugaBootNode();
    // 0 or -1221; an absent node is no failure.
    int open();
    // The request's result; 0 without the node.
    int request(unsigned long number) const;
};

struct RugaSave {
    std::unique_ptr<PciSaveData> data;
    PciePortInfo ports[RUGA_MAX_PORTS]{};
};

// A cleared buffer and a copy of the ports: 0, -1209 or the clear's status.
int ruga_new_save(RugaSave &save, const PciePortInfo *ports, int count);

#endif
