// Test images of FPGA logic: a data part and its 104-byte head, every head
// field overridable, optionally bit-reversed as type-1 images are stored.
// Its CRC-16 is its own (bit by bit), not the product's.
#ifndef QUORBIX_TESTS_SUPPORT_FLASH_IMAGE_H
#define QUORBIX_TESTS_SUPPORT_FLASH_IMAGE_H

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

struct FlashImageSpec {
    uint32_t dataLen = 1000;
    uint32_t version = 7;
    std::optional<uint32_t> flag{}, type{}, size{}, fileCrc{}, offset{}, headCrcFlag{}, headCrc{};
    bool reversed = false;
};

inline uint16_t test_crc16(const uint8_t *p, size_t n)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < n; i++) {
        crc = static_cast<uint16_t>(crc ^ (p[i] << 8));
        for (int b = 0; b < 8; b++)
            crc = static_cast<uint16_t>((crc & 0x8000u) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

inline uint8_t test_reverse(uint8_t v)
{
    uint8_t r = 0;
    for (int i = 0; i < 8; i++)
        if (v & (1u << i))
            r = static_cast<uint8_t>(r | (0x80u >> i));
    return r;
}

inline std::vector<uint8_t> flash_image(const FlashImageSpec &s)
{
    std::vector<uint8_t> img(s.dataLen + 104, 0);
    for (uint32_t i = 0; i < s.dataLen; i++)
        img[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    auto put = [&](size_t at, uint32_t v) { std::memcpy(img.data() + s.dataLen + at, &v, 4); };
    put(0, s.flag.value_or(0x55AA55AA));
    put(4, s.version);
    std::memcpy(img.data() + s.dataLen + 8, "test logic", 10);
    put(52, s.type.value_or(0x90));
    put(64, s.size.value_or(s.dataLen));
    put(68, s.fileCrc.value_or(test_crc16(img.data(), s.dataLen)));
    put(72, s.offset.value_or(104));
    put(96, s.headCrcFlag.value_or(0x55AA55AA));
    put(100, s.headCrc.value_or(test_crc16(img.data() + s.dataLen, 100)));
    if (s.reversed)
        for (uint8_t &b : img)
            b = test_reverse(b);
    return img;
}

inline std::string as_text(const std::vector<uint8_t> &b) { return std::string(b.begin(), b.end()); }

#endif
