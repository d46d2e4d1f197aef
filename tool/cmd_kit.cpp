#include "tool/cmd_kit.h"

#include <cstdarg>
#include <cstdio>

namespace {

constexpr char kInvalid[] = "Invalid input, please check";

} // namespace

void cmd_invalid_input(const char *tailFormat, ...)
{
    std::fputs(kInvalid, stdout);
    va_list ap;
    va_start(ap, tailFormat);
    std::vprintf(tailFormat, ap);
    va_end(ap);
}

void cmd_invalid_at(const CmdSite &site, const char *tailFormat, ...)
{
    std::printf("%s [%s] %s:%u", kInvalid, site.name, site.file, site.line);
    va_list ap;
    va_start(ap, tailFormat);
    std::vprintf(tailFormat, ap);
    va_end(ap);
}
