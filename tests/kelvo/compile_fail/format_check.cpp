// Calls the format checks must refuse, one per FORMAT_CASE (0: calls they
// must accept). Compiled by ctest only, each case on its own.
#include <cstddef>
#include <cstdint>

#include "kelvo/kelvo.h"

void format_case(const char *text, char *buf, size_t size)
{
    int i = 0;
    unsigned u = 0;
    uint8_t u8 = 0;
    uint16_t u16 = 0;
    uint64_t u64 = 0;
    double d = 0;
    float f = 0;
    wchar_t w[4];
    void *p = nullptr;
    (void)text, (void)buf, (void)size, (void)i, (void)u, (void)u8, (void)u16, (void)u64;
    (void)d, (void)f, (void)w, (void)p;
#if FORMAT_CASE == 0
    sprintf_s(buf, size, "%d %u %hhu %llu %zu %5.*f %s %ls %p %c %I64x %Iz %%", i, u, u8, u64, size,
              3, d, text, L"w", p, 'c', u64);
    snprintf_s(buf, size, size - 1, "%-*d|%#x", 4, i, u16);
    sscanf_s(text, "%u:%hhu:%hu:%llu %lf %f %s %3c %[a-z] %ls %p %n %*d %%", &u, &u8, &u16, &u64, &d, &f,
             buf, size, buf, 3u, buf, size, w, 4u, &p, &i);
    sscanf_s(text, kelvo_runtime_fmt(text), &u8);
    sprintf_s(buf, size, kelvo_runtime_fmt(text), u64);
#elif FORMAT_CASE == 1
    sscanf_s(text, "%u", &u8);  // 8-bit destination under a 32-bit conversion
#elif FORMAT_CASE == 2
    sprintf_s(buf, size, "%d", u64);  // 64-bit value under a 32-bit conversion
#elif FORMAT_CASE == 3
    sscanf_s(text, "%s", buf);  // no capacity
#elif FORMAT_CASE == 4
    sscanf_s(text, "%[a-z]%u", buf, &u);  // a pointer where the capacity belongs
#elif FORMAT_CASE == 5
    sscanf_s(text, "%lf", &f);  // float destination under "l"
#elif FORMAT_CASE == 6
    sprintf_s(buf, size, "%d %d", i);
#elif FORMAT_CASE == 7
    sprintf_s(buf, size, "%d", i, i);
#elif FORMAT_CASE == 8
    sprintf_s(buf, size, "%n", &i);  // not a conversion of this engine
#elif FORMAT_CASE == 9
    sprintf_s(buf, size, "%s", i);
#elif FORMAT_CASE == 10
    sprintf_s(buf, size, "%*d", size, i);  // a size_t width
#elif FORMAT_CASE == 11
    sscanf_s(text, "%[a-z", buf, size);
#elif FORMAT_CASE == 12
    sprintf_s(buf, size, "abc%5");
#elif FORMAT_CASE == 13
    sprintf_s(buf, size, text, i);  // a format built at run time, not marked
#elif FORMAT_CASE == 14
    sscanf_s(text, "%hu", &u);  // 32-bit destination under "h"
#endif
}
