#include "bases/host/host.h"

#include "bases/globals/globals.h"

const HostOps *g_host = &g_realHost;

void host_select(const HostOps *ops)
{
    g_host = ops != nullptr ? ops : &g_realHost;
}

int host_open(const char *path, int flags, mode_t mode)
{
    return host().open(path, flags, mode);
}

int host_ioctl(int fd, unsigned long request, void *arg)
{
    return host().ioctl(fd, request, arg);
}

void host_syslog(int priority, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    host().vsyslog(priority, format, args);
    va_end(args);
}

struct timespec host_deadline_ms(long ms)
{
    struct timespec ts{};
    host().clock_gettime(CLOCK_REALTIME, &ts);
    long long ns = static_cast<long long>(ts.tv_nsec) + (ms % 1000) * 1000000LL;
    ts.tv_sec += static_cast<time_t>(ms / 1000 + ns / 1000000000LL);
    ts.tv_nsec = static_cast<long>(ns % 1000000000LL);
    if (ts.tv_nsec < 0) {
        ts.tv_sec -= 1;
        ts.tv_nsec += 1000000000L;
    }
    return ts;
}

// Every process starts on the real host.
GLOBALS_RESET(host)
{
    g_host = &g_realHost;
}
