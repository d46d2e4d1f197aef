// Bounds-checked copy, fill and concatenation.
#include "kelvo/kelvo.h"

#include <cstring>

#include "kelvo/kelvo_internal.h"

using namespace kelvo_detail;

namespace {

// The checks every function makes first, in this order: the capacity (34),
// the destination (22), the source (150, after which the caller resets).
KelvoErr leading_error(const void *dest, size_t destMax, const void *src)
{
    if (bad_dest_max(destMax))
        return KelvoRange;
    if (dest == nullptr)
        return KelvoInvalid;
    return src == nullptr ? KelvoInvalidReset : KelvoOk;
}

// Resets after a failure: the whole buffer for the memory functions, the
// first byte for the string functions.
KelvoErr reset_mem(void *dest, size_t destMax, KelvoErr code)
{
    std::memset(dest, 0, destMax);
    return code;
}

KelvoErr reset_str(char *dest, KelvoErr code)
{
    dest[0] = '\0';
    return code;
}

} // namespace

// Error classification of memcpy_s after its fast path failed; shared with
// the small-size copy variants.
KelvoErr kelvo_detail::memcpy_classify(void *dest, size_t destMax, const void *src, size_t count)
{
    if (const KelvoErr rc = leading_error(dest, destMax, src); rc != KelvoOk)
        return rc == KelvoInvalidReset ? reset_mem(dest, destMax, rc) : rc;
    if (count > destMax)
        return reset_mem(dest, destMax, KelvoRangeReset);
    if (dest == src)
        return KelvoOk;
    if (overlaps(dest, src, count))
        return reset_mem(dest, destMax, KelvoOverlapReset);
    return KelvoOk;
}

KelvoErr kelvo_detail::memset_classify(void *dest, size_t destMax, int value, size_t count)
{
    if (bad_dest_max(destMax))
        return KelvoRange;
    if (dest == nullptr)
        return KelvoInvalid;
    if (count > destMax) {
        std::memset(dest, value, destMax);
        return KelvoRangeReset;
    }
    return KelvoOk;
}

namespace {

// Longest string strcpy_s copies without a call, terminator included.
constexpr size_t kInlineStrCopy = 32;

// Walks to the terminator of the string in dest for the concatenations.
// On success *end is the terminator's position and *room the bytes left
// from there on (at least 1).
KelvoErr find_end(char *dest, size_t destMax, const char *src, char **end, size_t *room)
{
    const bool destBelow = addr(dest) < addr(src);
    char *p = dest;
    size_t left = destMax;
    while (*p != '\0') {
        if (destBelow && p == src)
            return reset_str(dest, KelvoOverlapReset);
        ++p;
        if (--left == 0)
            return reset_str(dest, KelvoInvalidReset);
    }
    *end = p;
    *room = left;
    return KelvoOk;
}

// Appends at most limit characters of src at end (the terminator comes on
// top when the limit is reached first).
KelvoErr append(char *dest, char *end, size_t room, const char *src, size_t limit)
{
    const bool destBelow = addr(dest) < addr(src);
    char *w = end;
    const char *r = src;
    for (size_t taken = 0;;) {
        *w = *r;
        if (*w == '\0')
            return KelvoOk;
        if (--room == 0)
            return reset_str(dest, KelvoRangeReset);
        ++w;
        ++r;
        if (destBelow ? w == src : r == dest)
            return reset_str(dest, KelvoOverlapReset);
        if (++taken == limit) {
            *w = '\0';
            return KelvoOk;
        }
    }
}

} // namespace

KelvoErr memcpy_s(void *dest, size_t destMax, const void *src, size_t count)
{
    if (count <= destMax && dest != nullptr && src != nullptr && destMax <= kMaxSize &&
        count != 0 && dest != src && !overlaps(dest, src, count)) {
        std::memcpy(dest, src, count);
        return KelvoOk;
    }
    return memcpy_classify(dest, destMax, src, count);
}

KelvoErr memmove_s(void *dest, size_t destMax, const void *src, size_t count)
{
    if (const KelvoErr rc = leading_error(dest, destMax, src); rc != KelvoOk)
        return rc == KelvoInvalidReset ? reset_mem(dest, destMax, rc) : rc;
    if (count > destMax)
        return reset_mem(dest, destMax, KelvoRangeReset);
    if (dest == src || count == 0)
        return KelvoOk;
    std::memmove(dest, src, count);
    return KelvoOk;
}

KelvoErr memset_s(void *dest, size_t destMax, int value, size_t count)
{
    if (count <= destMax && dest != nullptr && destMax <= kMaxSize) {
        std::memset(dest, value, count);
        return KelvoOk;
    }
    return memset_classify(dest, destMax, value, count);
}

KelvoErr strcpy_error(char *dest, size_t destMax, const char *src)
{
    if (const KelvoErr rc = leading_error(dest, destMax, src); rc != KelvoOk)
        return rc == KelvoInvalidReset ? reset_str(dest, rc) : rc;
    if (std::strlen(src) + 1 > destMax)
        return reset_str(dest, KelvoRangeReset);
    return KelvoOk;
}

KelvoErr strcpy_s(char *dest, size_t destMax, const char *src)
{
    if (bad_dest_max(destMax) || dest == nullptr || src == nullptr || dest == src)
        return strcpy_error(dest, destMax, src);
    // Measure at most destMax characters: no terminator among them means
    // the string cannot fit.
    const char *p = src;
    for (size_t room = destMax; *p != '\0'; ++p) {
        if (--room == 0)
            return strcpy_error(dest, destMax, src);
    }
    const size_t len = static_cast<size_t>(p - src) + 1;
    if (overlaps(dest, src, len))
        return reset_str(dest, KelvoOverlapReset);
    if (len <= kInlineStrCopy)
        copy_small(dest, src, len);
    else
        std::memcpy(dest, src, len);
    return KelvoOk;
}

KelvoErr strncpy_error(char *dest, size_t destMax, const char *src, size_t count)
{
    if (const KelvoErr rc = leading_error(dest, destMax, src); rc != KelvoOk)
        return rc == KelvoInvalidReset ? reset_str(dest, rc) : rc;
    if (count > kMaxSize)
        return reset_str(dest, KelvoRangeReset);
    if (count == 0)
        return reset_str(dest, KelvoOk);
    if (strnlen(src, count) + 1 > destMax)
        return reset_str(dest, KelvoRangeReset);
    return KelvoOk;
}

KelvoErr strncpy_s(char *dest, size_t destMax, const char *src, size_t count)
{
    if (bad_dest_max(destMax) || dest == nullptr || src == nullptr || count > kMaxSize ||
        count == 0)
        return strncpy_error(dest, destMax, src, count);
    size_t room = destMax;
    size_t left = count;
    const char *p = src;
    bool terminated = false;
    for (;; ++p) {
        if (*p == '\0') {
            terminated = true;
            break;
        }
        if (--room == 0)
            return reset_str(dest, KelvoRangeReset);
        if (--left == 0)
            break;
    }
    const size_t len = terminated ? static_cast<size_t>(p - src) + 1 : count + 1;
    if (overlaps(dest, src, len))
        return reset_str(dest, KelvoOverlapReset);
    if (dest != src)
        std::memcpy(dest, src, terminated ? len : count);
    if (!terminated)
        dest[count] = '\0';
    return KelvoOk;
}

KelvoErr strcat_s(char *dest, size_t destMax, const char *src)
{
    if (const KelvoErr rc = leading_error(dest, destMax, src); rc != KelvoOk)
        return rc == KelvoInvalidReset ? reset_str(dest, rc) : rc;
    char *end = nullptr;
    size_t room = 0;
    if (const KelvoErr rc = find_end(dest, destMax, src, &end, &room); rc != KelvoOk)
        return rc;
    return append(dest, end, room, src, 0);
}

KelvoErr strncat_s(char *dest, size_t destMax, const char *src, size_t count)
{
    if (const KelvoErr rc = leading_error(dest, destMax, src); rc != KelvoOk)
        return rc == KelvoInvalidReset ? reset_str(dest, rc) : rc;
    if (count > kMaxSize)
        return reset_str(dest, KelvoRangeReset);
    char *end = nullptr;
    size_t room = 0;
    if (const KelvoErr rc = find_end(dest, destMax, src, &end, &room); rc != KelvoOk)
        return rc;
    if (count == 0) {
        *end = '\0';
        return KelvoOk;
    }
    return append(dest, end, room, src, count);
}
