// Bounds-checked copy, fill, concatenation, formatted print and scan.
#ifndef QUORBIX_KELVO_KELVO_H
#define QUORBIX_KELVO_KELVO_H

#include <cstddef>
#include <cstdint>

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

#endif
