// Log lines of the accelerator framework: "[PLOV_LOG] file:line <tag>text"
// to syslog, each module with its fixed source name and tags.
#ifndef QUORBIX_ASMF_ASMF_LOG_H
#define QUORBIX_ASMF_ASMF_LOG_H

#include "bases/host/host.h"

inline constexpr int ASMF_PRI_ERR = 4;
inline constexpr int ASMF_PRI_INFO = 1;
inline constexpr int ASMF_PRI_DBG = 0;

#define ASMF_LOG(prio, src, tag, fmt, ...) \
    host_syslog((prio), "[PLOV_LOG] %s:%d " tag fmt, (src), __LINE__ __VA_OPT__(, ) __VA_ARGS__)

#endif
