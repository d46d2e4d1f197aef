// Random format text through sprintf_s and snprintf_s into a destination
// of exactly destMax bytes, held to the compile-time checks' verdict.
#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "kelvo/kelvo.h"

namespace {

// Every argument is the address of this block: a valid narrow string, a
// valid wide string, a pointer and (by its bits) an integer and a double,
// whatever conversion the format asks for. Nothing writes through it.
alignas(16) char g_text[64] = "fuzz";

// Calls through the va_list form: the format is data, not a literal.
int call(char *dest, size_t destMax, size_t count, bool truncating, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"  // the format is the fuzzer's data
    const int r = truncating ? vsnprintf_s(dest, destMax, count, format, ap)
                             : vsprintf_s(dest, destMax, format, ap);
#pragma GCC diagnostic pop
    va_end(ap);
    return r;
}

} // namespace

#define P4 p, p, p, p
#define P16 P4, P4, P4, P4
#define P64 P16, P16, P16, P16
#define D8 d, d, d, d, d, d, d, d

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // At most 64 format characters, so at most 64 arguments are taken.
    const size_t destMax = data[0];
    const size_t count = data[1] & 0x7F;
    const bool truncating = (data[1] & 0x80) != 0;
    const std::string format(reinterpret_cast<const char *>(data + 2), std::min<size_t>(size - 2, 64));

    void *p = g_text;
    double d;
    static_assert(sizeof d == sizeof p);
    std::memcpy(&d, &p, sizeof d);

    std::unique_ptr<char[]> dest(destMax > 0 ? new char[destMax] : nullptr);
    const int r = call(dest.get(), destMax, count, truncating, format.c_str(), D8, P64, P16, P4);
    if (r >= 0 && (static_cast<size_t>(r) >= destMax || dest[static_cast<size_t>(r)] != '\0'))
        __builtin_trap();
    if (dest && destMax > 0 && strnlen(dest.get(), destMax) == destMax)
        __builtin_trap();  // always terminated
    // The compile-time checks walk the engine's grammar: a format they
    // find faulty the engine refuses.
    kelvo_detail::FmtVerdict verdict;
    kelvo_detail::walk_print(format.c_str(), verdict);
    if (verdict.faulty && r != -1)
        __builtin_trap();
    return 0;
}
