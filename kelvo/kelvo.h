// Bounds-checked copy, fill, concatenation, formatted print and scan.
#ifndef QUORBIX_KELVO_KELVO_H
#define QUORBIX_KELVO_KELVO_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "kelvo/kelvo_format.h"

using KelvoErr = int32_t;

inline constexpr KelvoErr KelvoOk = 0;
inline constexpr KelvoErr KelvoInvalid = 22;
inline constexpr KelvoErr KelvoRange = 34;
inline constexpr KelvoErr KelvoInvalidReset = 150;
inline constexpr KelvoErr KelvoRangeReset = 162;
inline constexpr KelvoErr KelvoOverlapReset = 182;

KelvoErr memcpy_s(void *dest, size_t destMax, const void *src, size_t count);
KelvoErr memmove_s(void *dest, size_t destMax, const void *src, size_t count);
KelvoErr memset_s(void *dest, size_t destMax, int value, size_t count);
KelvoErr strcpy_s(char *dest, size_t destMax, const char *src);
KelvoErr strncpy_s(char *dest, size_t destMax, const char *src, size_t count);
KelvoErr strcat_s(char *dest, size_t destMax, const char *src);
KelvoErr strncat_s(char *dest, size_t destMax, const char *src, size_t count);

// Classify a failed precondition of strcpy_s / strncpy_s (same arguments,
// same result).
KelvoErr strcpy_error(char *dest, size_t destMax, const char *src);
KelvoErr strncpy_error(char *dest, size_t destMax, const char *src, size_t count);

// Formatted output. The result is the number of characters written (the
// terminator not counted) or -1; a text that does not fit leaves an empty
// destination, except a text cut at count by snprintf_s, which is kept.
// count is the most characters to write, or (size_t)-1 for no limit but
// destMax.
//
// The format of sprintf_s and snprintf_s is checked at compile time against
// the arguments (kelvo/kelvo_format.h); a format built at run time is
// passed as kelvo_runtime_fmt(text).
int vsprintf_s(char *dest, size_t destMax, const char *format, va_list ap)
    __attribute__((format(printf, 3, 0)));
int vsnprintf_s(char *dest, size_t destMax, size_t count, const char *format, va_list ap)
    __attribute__((format(printf, 4, 0)));

// The variadic forms behind sprintf_s and snprintf_s.
int kelvo_sprintf_args(char *dest, size_t destMax, const char *format, ...);
int kelvo_snprintf_args(char *dest, size_t destMax, size_t count, const char *format, ...);

template <class... Args>
int sprintf_s(char *dest, size_t destMax, KelvoPrintFormat<std::type_identity_t<Args>...> format,
              Args... args)
{
    return kelvo_sprintf_args(dest, destMax, format.text, args...);
}

template <class... Args>
int snprintf_s(char *dest, size_t destMax, size_t count,
               KelvoPrintFormat<std::type_identity_t<Args>...> format, Args... args)
{
    return kelvo_snprintf_args(dest, destMax, count, format.text, args...);
}

// Formatted input: the number of fields assigned, or -1. Every c, s and [
// conversion (and C, S) takes, after its pointer, the capacity of that
// buffer in characters as an unsigned int, the terminator included for s
// and [.
// The format of sscanf_s is checked at compile time like that of
// sprintf_s; a format built at run time is passed as kelvo_runtime_fmt(text).
int vsscanf_s(const char *buffer, const char *format, va_list ap);

// The variadic form with arguments already of the engine's types (pointers
// and unsigned int capacities); C++ callers use sscanf_s below.
int kelvo_sscanf_args(const char *buffer, const char *format, ...);

namespace kelvo_detail {

// A scan argument is a pointer to writable data (the destination) or an
// integer (a capacity).
template <class T>
inline constexpr bool scan_dest_ok =
    !std::is_const_v<T> && !std::is_volatile_v<T> && !std::is_function_v<T>;

template <class T>
inline constexpr bool scan_arg_ok =
    (std::is_pointer_v<T> && scan_dest_ok<std::remove_pointer_t<T>>) ||
    std::is_null_pointer_v<T> || (std::is_integral_v<T> && !std::is_same_v<T, bool>);

// Capacities reach the engine as unsigned int whatever type the caller
// wrote (sizeof gives a size_t): values beyond the unsigned int range
// become UINT_MAX and negative ones 0, both of which the engine refuses,
// instead of being cut to their low 32 bits.
template <class T>
constexpr unsigned int scan_capacity(T v)
{
    if constexpr (std::is_signed_v<T>) {
        if (v < 0)
            return 0;
    }
    using U = std::make_unsigned_t<T>;
    if (static_cast<U>(v) > std::numeric_limits<unsigned int>::max())
        return std::numeric_limits<unsigned int>::max();
    return static_cast<unsigned int>(v);
}

template <class T>
constexpr auto scan_arg(T v)
{
    if constexpr (std::is_integral_v<T>)
        return scan_capacity(v);
    else
        return static_cast<void *>(v);  // the engine takes every destination as void *
}

} // namespace kelvo_detail

template <class... Args>
int sscanf_s(const char *buffer, KelvoScanFormat<std::type_identity_t<Args>...> format, Args... args)
{
    static_assert((kelvo_detail::scan_arg_ok<Args> && ...),
                  "sscanf_s takes pointers to writable destinations and buffer capacities only");
    return kelvo_sscanf_args(buffer, format.text, kelvo_detail::scan_arg(args)...);
}

// The output stream of the formatting engine: room left and write position.
struct KelvoOutStream {
    int32_t count;
    char *cur;
};

// Small-size copy and fill variants: the contracts of memcpy_s / memset_s.
KelvoErr memcpy_sOptAsm(void *dest, size_t destMax, const void *src, size_t count);
KelvoErr memcpy_sOptTc(void *dest, size_t destMax, const void *src, size_t count);
KelvoErr memset_sOptAsm(void *dest, size_t destMax, int value, size_t count);
KelvoErr memset_sOptTc(void *dest, size_t destMax, int value, size_t count);

// Byte-wise move that handles overlap; no checks.
void util_memmove(void *dest, const void *src, size_t count);

// Writes n zero bytes to the stream: 1 when all fitted, 0 otherwise (n 0: 1,
// n negative: 0, nothing written).
int putWcharStrEndingZero(KelvoOutStream *stream, int n);

// The library's version text (into text when given and textSize >= 1) and
// number (0x0602, when version is given).
void getZdKelvoVersion(char *text, int32_t textSize, uint16_t *version);

#endif
