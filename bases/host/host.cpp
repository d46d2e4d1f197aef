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

// Every process starts on the real host.
GLOBALS_RESET(host)
{
    g_host = &g_realHost;
}
