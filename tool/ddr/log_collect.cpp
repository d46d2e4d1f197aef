#include "tool/ddr/log_collect.h"

#include <cstdio>
#include <cstring>

#include "bases/host/host.h"

namespace {

struct LogAction {
    const char *command;
    const char *succeeded;
    const char *usage;
};

constexpr LogAction kLogClear = {"sh log_collect.sh log_clear", "clear log_message succeed",
                                 "Invaild command, correct order: './quorbix -c log/a'"};
constexpr LogAction kLogCollect = {"sh log_collect.sh log_collect", "\ncollect log_message succeed",
                                   "Invaild command, correct order: './quorbix -d  log/a'"};

// The success line only when the script exited 0; any other wait status is
// reported and returned as it came.
TransOpStatus log_collection(const LogAction &action, const char *params)
{
    if (params == nullptr || std::strcmp(params, "a") != 0) {
        std::puts(action.usage);
        return -1;
    }
    int status = host().system(action.command);
    if (status == -1) {
        std::puts("system order error");
        return -1;
    }
    if (status != 0) {
        std::printf("log_collect.sh failed, status 0x%x\n", static_cast<unsigned>(status));
        return status;
    }
    std::puts(action.succeeded);
    return 0;
}

} // namespace

TransOpStatus log_c_collection(const char *params) { return log_collection(kLogClear, params); }
TransOpStatus log_d_collection(const char *params) { return log_collection(kLogCollect, params); }
