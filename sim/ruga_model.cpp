#include "sim/ruga_model.h"

#include <cerrno>
#include <iterator>

#include "bases/drv/ruga_boot_drv.h"
#include "sim/sim_host.h"

namespace {

int answer(const SimCall &call, SimJournalEntry &) { return call.arg == nullptr ? 0 : -EINVAL; }

constexpr SimRequest kRequests[] = {
    {RUGA_APP_LOGIC_ON, 0, answer},
    {RUGA_APP_LOGIC_OFF, 0, answer},
    {RUGA_BOOT_DRV_ON, 0, answer},
    {RUGA_BOOT_DRV_OFF, 0, answer},
};

constexpr SimFileOps kBootOps = {
    .name = "ruga_boot", .mode = 0, .open = nullptr, .release = nullptr, .read = nullptr, .write = nullptr,
    .requests = kRequests, .requestCount = std::size(kRequests), .mmap = nullptr, .munmap = nullptr,
    .poll = nullptr, .bind = nullptr, .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

}

void ruga_boot_node_add() { sim_register_file(RUGA_BOOT_NODE, &kBootOps, nullptr); }
