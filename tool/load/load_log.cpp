#include "tool/load/load_log.h"

#include <cstdarg>
#include <cstdio>

void load_print(bool error, const char *file, int line, const char *format, ...)
{
    std::printf("%s:%d %s", file, line, error ? "[quorbix-ERR]" : "[quorbix-INFO]");
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}
