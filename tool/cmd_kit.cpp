#include "tool/cmd_kit.h"

#include <cstdarg>
#include <cstdio>

namespace {

constexpr char kInvalid[] = "Invalid input, please check";

void print_site(const CmdSite &site)
{
    std::printf("%s [%s] %s:%u", kInvalid, site.name, site.file, site.line);
}

} // namespace

void cmd_invalid_input(const char *tailFormat, ...)
{
    std::fputs(kInvalid, stdout);
    va_list ap;
    va_start(ap, tailFormat);
    std::vprintf(tailFormat, ap);
    va_end(ap);
}

void cmd_invalid_line(const CmdSite &site, int scanRet)
{
    print_site(site);
    std::printf(", iRet = %d\n", scanRet);
}

void cmd_invalid_line_short(const CmdSite &site)
{
    print_site(site);
    std::fputs("\n", stdout);
}

void cmd_invalid_line_values(const CmdSite &site, const char *valuesFormat, ...)
{
    print_site(site);
    std::fputs(", ", stdout);
    va_list ap;
    va_start(ap, valuesFormat);
    std::vprintf(valuesFormat, ap);
    va_end(ap);
}
