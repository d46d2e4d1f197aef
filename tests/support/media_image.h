// Test support: DSP program images built from sections and ECC zones, as the
// format describes them (head, sections, tail, CRC-16 over all but the last
// two bytes), and corrupted on request.
#ifndef QUORBIX_TESTS_SUPPORT_MEDIA_IMAGE_H
#define QUORBIX_TESTS_SUPPORT_MEDIA_IMAGE_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "bases/crc/crc16.h"

struct TestSection {
    uint32_t addr;
    std::vector<uint8_t> data;
};

inline void image_put32(std::vector<uint8_t> &img, size_t at, uint32_t v)
{
    if (img.size() < at + 4)
        img.resize(at + 4);
    std::memcpy(img.data() + at, &v, 4);
}

// Stores the CRC of bytes 0 .. L - 3 in the last two bytes.
inline void image_seal(std::vector<uint8_t> &img)
{
    uint16_t crc = crc16_update(0, img.data(), img.size() - 2);
    img[img.size() - 2] = static_cast<uint8_t>(crc);
    img[img.size() - 1] = static_cast<uint8_t>(crc >> 8);
}

// Head, sections, 32 tail bytes of `fill` and the CRC. The count is
// sections + 1 unless `secNum` is given.
inline std::vector<uint8_t> image_build(uint32_t entry, const std::vector<TestSection> &secs, int64_t secNum = -1,
                                        uint8_t fill = 0)
{
    std::vector<uint8_t> img;
    image_put32(img, 0, entry);
    image_put32(img, 4, secNum < 0 ? static_cast<uint32_t>(secs.size() + 1) : static_cast<uint32_t>(secNum));
    for (const TestSection &s : secs) {
        size_t at = img.size();
        image_put32(img, at, static_cast<uint32_t>(s.data.size()));
        image_put32(img, at + 4, s.addr);
        img.insert(img.end(), s.data.begin(), s.data.end());
    }
    img.insert(img.end(), 32, fill);
    img.resize(img.size() + 2);
    image_seal(img);
    return img;
}

// Adds a zone the way the ECC image writer does: the record over the old
// CRC, a new CRC after it.
inline void image_add_zone(std::vector<uint8_t> &img, uint32_t addr, uint32_t len, const char tag[4] = "ECC ")
{
    size_t at = img.size() - 2;
    img.resize(img.size() + 16);
    std::memcpy(img.data() + at, tag, 4);
    image_put32(img, at + 4, 8);
    image_put32(img, at + 8, addr);
    image_put32(img, at + 12, len);
    image_seal(img);
}

inline std::vector<uint8_t> pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

#endif
