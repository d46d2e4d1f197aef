// The library's log line on the host's syslog, and the hooks a caller may
// set in its place.
#include "boardlib/plov_status.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "bases/globals/globals.h"
#include "bases/host/host.h"

void plov_log_syslog(int level, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int len = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(len > 0 ? static_cast<size_t>(len) : 0, '\0');
    if (len > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    host_syslog(level, "%s", text.c_str());
}
PlovLogHook g_pfPLOVTransLog = nullptr;
PlovLogHook g_pfPLOV_SFP_8472Log = nullptr;

// The tool never sets a hook.
GLOBALS_RESET(plov_status)
{
    g_pfPLOVTransLog = nullptr;
    g_pfPLOV_SFP_8472Log = nullptr;
}
