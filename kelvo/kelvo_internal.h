// Internal pieces of the kelvo library: limits, overlap test, inline moves,
// and the engines' streams and helpers (also used by the tests).
#ifndef QUORBIX_KELVO_KELVO_INTERNAL_H
#define QUORBIX_KELVO_KELVO_INTERNAL_H

#include <locale.h>

#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "kelvo/kelvo.h"

namespace kelvo_detail {

inline constexpr size_t kMaxSize = 0x7FFFFFFF;

// destMax outside 1 .. 0x7FFFFFFF (one unsigned comparison).
inline bool bad_dest_max(size_t destMax) { return destMax - 1 > kMaxSize - 1; }

inline uintptr_t addr(const void *p) { return reinterpret_cast<uintptr_t>(p); }

// True when [a, a+n) and [b, b+n) share a byte; equal pointers are not
// reported here (each caller decides what a == b means).
inline bool overlaps(const void *a, const void *b, size_t n)
{
    const uintptr_t x = addr(a);
    const uintptr_t y = addr(b);
    return (x > y && x - y < n) || (x < y && y - x < n);
}

// Copies n bytes without a library call: 8-, 4-, 2- and 1-byte moves when
// both addresses are multiples of 8, byte by byte otherwise.
inline void copy_small(void *dest, const void *src, size_t n)
{
    auto *d = static_cast<unsigned char *>(dest);
    const auto *s = static_cast<const unsigned char *>(src);
    if (((addr(d) | addr(s)) & 7U) == 0) {
        for (; n >= 8; n -= 8, d += 8, s += 8) {
            uint64_t v;
            std::memcpy(&v, s, 8);
            std::memcpy(d, &v, 8);
        }
        if (n >= 4) {
            uint32_t v;
            std::memcpy(&v, s, 4);
            std::memcpy(d, &v, 4);
            n -= 4, d += 4, s += 4;
        }
        if (n >= 2) {
            uint16_t v;
            std::memcpy(&v, s, 2);
            std::memcpy(d, &v, 2);
            n -= 2, d += 2, s += 2;
        }
        if (n != 0)
            *d = *s;
        return;
    }
    while (n-- != 0)
        *d++ = *s++;
}

// Error classification of memcpy_s and memset_s once their fast-path test
// failed (shared with the small-size variants).
KelvoErr memcpy_classify(void *dest, size_t destMax, const void *src, size_t count);
KelvoErr memset_classify(void *dest, size_t destMax, int value, size_t count);

// The "C" locale, for the floating conversions of the C library: floats
// print and scan with "." whatever locale the process has.
locale_t c_locale();

} // namespace kelvo_detail

// Internal pieces of the formatting engine (exposed for the tests).
int vsnprintf_helper(char *dest, size_t size, const char *format, va_list ap);
int kelvo_output_s(KelvoOutStream *stream, const char *format, va_list ap);
void write_char_a(char ch, KelvoOutStream *stream, int *counter);
void write_multi_char_a(char ch, int64_t n, KelvoOutStream *stream, int *counter);
void write_string_a(const char *str, int64_t n, KelvoOutStream *stream, int *counter);
int indirectSprintf(char *buffer, size_t size, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

// Format character classes (low nibble) and state transitions (high nibble
// of entry class * 9 + state) for the characters 0x20 to 0x7A.
extern const std::array<unsigned char, 91> kelvo_lookuptable_s;

// Internal pieces of the input engine (exposed for the tests).
struct KelvoInStream {
    int32_t count;      // characters left
    const char *cur;    // next character
    const char *base;   // start of the string
};
int kelvo_input_s(KelvoInStream *stream, const char *format, va_list ap);
int kelvo_getch(KelvoInStream *stream);
void kelvo_un_inc(int ch, KelvoInStream *stream);
int kelvo_whiteout(int *counter, KelvoInStream *stream);
void clearDestBuf(const char *buffer, const char *format, va_list ap);

#endif
