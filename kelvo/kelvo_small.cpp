// Small-size copy and fill variants, the plain byte move, the zero writer
// of the output stream and the version query.
#include <cstring>

#include "kelvo/kelvo.h"
#include "kelvo/kelvo_internal.h"

using namespace kelvo_detail;

namespace {

constexpr size_t kInlineCopy = 64;
constexpr size_t kInlineFill = 32;
constexpr uint16_t kVersion = 0x0602;
constexpr char kVersionText[] = "kelvo string library 6.2";

// The constant blocks the table-copy fill takes its 0x00 and 0xFF bytes from.
alignas(8) constexpr unsigned char myStr[kInlineFill] = {};
alignas(8) constexpr unsigned char myStrAllFF[kInlineFill] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
};

bool copy_fast_path(void *dest, size_t destMax, const void *src, size_t count)
{
    return count <= destMax && dest != nullptr && src != nullptr && destMax <= kMaxSize &&
           count != 0 && dest != src && !overlaps(dest, src, count);
}

KelvoErr copy_small_or_call(void *dest, size_t destMax, const void *src, size_t count)
{
    if (!copy_fast_path(dest, destMax, src, count))
        return memcpy_classify(dest, destMax, src, count);
    if (count <= kInlineCopy)
        copy_small(dest, src, count);
    else
        std::memcpy(dest, src, count);
    return KelvoOk;
}

// Byte-by-byte fill with the low 8 bits of value.
void fill_bytes(unsigned char *d, unsigned char v, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        d[i] = v;
}

// 8-, 4-, 2- and 1-byte stores of the pattern byte v (0x00 or 0xFF), either
// from the constant blocks or as immediate constants.
void fill_words(unsigned char *d, unsigned char v, size_t n, bool fromBlocks)
{
    const unsigned char *block = v == 0 ? myStr : myStrAllFF;
    const uint64_t word = v == 0 ? 0 : ~uint64_t{0};
    size_t off = 0;
    for (; n - off >= 8; off += 8)
        std::memcpy(d + off, fromBlocks ? block + off : reinterpret_cast<const unsigned char *>(&word), 8);
    for (size_t step : {size_t{4}, size_t{2}, size_t{1}}) {
        if (n - off >= step) {
            std::memcpy(d + off, fromBlocks ? block + off : reinterpret_cast<const unsigned char *>(&word),
                        step);
            off += step;
        }
    }
}

KelvoErr fill_small_or_call(void *dest, size_t destMax, int value, size_t count, bool fromBlocks)
{
    if (!(count <= destMax && dest != nullptr && destMax <= kMaxSize))
        return memset_classify(dest, destMax, value, count);
    auto *d = static_cast<unsigned char *>(dest);
    const auto v = static_cast<unsigned char>(value);
    if (count > kInlineFill)
        std::memset(dest, value, count);
    else if ((addr(d) & 7U) == 0 && (v == 0 || v == 0xFF))
        fill_words(d, v, count, fromBlocks);
    else
        fill_bytes(d, v, count);
    return KelvoOk;
}

} // namespace

KelvoErr memcpy_sOptAsm(void *dest, size_t destMax, const void *src, size_t count)
{
    return copy_small_or_call(dest, destMax, src, count);
}

KelvoErr memcpy_sOptTc(void *dest, size_t destMax, const void *src, size_t count)
{
    return copy_small_or_call(dest, destMax, src, count);
}

KelvoErr memset_sOptAsm(void *dest, size_t destMax, int value, size_t count)
{
    return fill_small_or_call(dest, destMax, value, count, false);
}

KelvoErr memset_sOptTc(void *dest, size_t destMax, int value, size_t count)
{
    return fill_small_or_call(dest, destMax, value, count, true);
}

void util_memmove(void *dest, const void *src, size_t count)
{
    auto *d = static_cast<unsigned char *>(dest);
    const auto *s = static_cast<const unsigned char *>(src);
    if (addr(s) < addr(d) && addr(d) - addr(s) < count) {
        while (count-- != 0)
            d[count] = s[count];
    } else {
        for (size_t i = 0; i < count; ++i)
            d[i] = s[i];
    }
}

int putWcharStrEndingZero(KelvoOutStream *stream, int n)
{
    if (n == 0)
        return 1;
    if (n < 0)
        return 0;
    for (int i = 0; i < n; ++i) {
        if (--stream->count < 0)
            return 0;
        *stream->cur++ = '\0';
    }
    return 1;
}

void getZdKelvoVersion(char *text, int32_t textSize, uint16_t *version)
{
    if (text != nullptr && textSize >= 1)
        (void)strcpy_s(text, static_cast<size_t>(textSize), kVersionText);
    if (version != nullptr)
        *version = kVersion;
}
