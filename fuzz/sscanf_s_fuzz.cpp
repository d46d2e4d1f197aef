// Random input text scanned against a set of formats, into destinations
// of exactly the sizes the formats ask for.
#include <cstdint>
#include <memory>
#include <string>

#include "kelvo/kelvo.h"

namespace {

template <class T>
std::unique_ptr<T> cell()
{
    return std::make_unique<T>();
}

std::unique_ptr<char[]> chars(size_t n) { return std::make_unique<char[]>(n); }

using Scan = int (*)(const char *in, unsigned cap);

// One entry per format; cap (1 to 16) is the capacity given for every
// character buffer, each allocated with exactly that many bytes.
const Scan kScans[] = {
    [](const char *in, unsigned) { auto a = cell<unsigned>(); auto b = cell<unsigned>(); return sscanf_s(in, "%u:%u", a.get(), b.get()); },
    [](const char *in, unsigned) {
        auto a = cell<unsigned>(); auto b = cell<unsigned>(); auto c = cell<unsigned>(); auto d = cell<unsigned>();
        return sscanf_s(in, "%u:0x%x:%u:%u", a.get(), b.get(), c.get(), d.get());
    },
    [](const char *in, unsigned cap) { auto a = chars(cap); auto b = chars(cap); return sscanf_s(in, "%s\t%s", a.get(), cap, b.get(), cap); },
    [](const char *in, unsigned) {
        auto a = cell<int>(); auto b = cell<int>(); auto c = cell<unsigned>(); auto d = cell<unsigned>();
        return sscanf_s(in, "%d %i %o %X", a.get(), b.get(), c.get(), d.get());
    },
    [](const char *in, unsigned) {
        auto a = cell<long long>(); auto n = cell<int>(); auto h = cell<short>(); auto c = cell<signed char>();
        return sscanf_s(in, "%lld%n %hd %hhi", a.get(), n.get(), h.get(), c.get());
    },
    [](const char *in, unsigned cap) { auto a = chars(cap); auto b = chars(cap); return sscanf_s(in, "%c%3c", a.get(), cap, b.get(), cap); },
    [](const char *in, unsigned cap) {
        auto a = chars(cap); auto b = chars(cap);
        return sscanf_s(in, "%[a-z0-9]%[^:]", a.get(), cap, b.get(), cap);
    },
    [](const char *in, unsigned cap) {
        auto a = chars(cap); auto b = chars(cap);
        return sscanf_s(in, " %[]z-a-]%5s", a.get(), cap, b.get(), cap);
    },
    [](const char *in, unsigned) {
        auto f = cell<float>(); auto d = cell<double>(); auto l = cell<long double>();
        return sscanf_s(in, "%f %lf %Lg", f.get(), d.get(), l.get());
    },
    [](const char *in, unsigned cap) {
        auto w = std::make_unique<wchar_t[]>(cap); auto c = std::make_unique<wchar_t[]>(cap);
        return sscanf_s(in, "%ls %lc", w.get(), cap, c.get(), cap);
    },
    [](const char *in, unsigned) { auto p = cell<void *>(); auto n = cell<long long>(); return sscanf_s(in, "%*d %p%lln", p.get(), n.get()); },
    [](const char *in, unsigned) { auto a = cell<long long>(); auto b = cell<long long>(); return sscanf_s(in, "%%%I64d %Iu", a.get(), b.get()); },
    [](const char *in, unsigned cap) {
        auto a = chars(cap); auto b = cell<int>();
        return sscanf_s(in, "%*[^=]=%2[a-c]\xC3\xA9%d", a.get(), cap, b.get());
    },
    [](const char *in, unsigned) { auto a = cell<double>(); return sscanf_s(in, "%3le", a.get()); },
};

constexpr size_t kScanCount = sizeof kScans / sizeof kScans[0];

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string input(reinterpret_cast<const char *>(data + 1), size - 1);
    const Scan scan = kScans[(data[0] & 0x7F) % kScanCount];
    const unsigned cap = 1 + (data[0] >> 4);
    const int r = scan(input.c_str(), cap);
    if (r < -1 || r > 4)
        __builtin_trap();
    return 0;
}
