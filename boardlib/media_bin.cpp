#include "boardlib/media_bin.h"

#include <cstring>

#include "bases/crc/crc16.h"

namespace {

uint32_t word_at(const uint8_t *p)
{
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

struct LoadClass {
    uint64_t first;      // lowest load address
    uint64_t endBelow;   // the end must lie below this
    uint32_t copies;     // 8: one per core; 1: at the address itself
};

constexpr LoadClass kLoadClasses[] = {
    {0x00800000, 0x00880000, 8},   // core-local
    {0x0C000000, 0x0C400000, 1},   // shared memory
    {0x80000000, 0xC0000000, 1},   // DDR
};

constexpr uint32_t kCoreAlias = 0x10000000;
constexpr uint32_t kCoreStride = 0x01000000;

} // namespace

uint16_t MEDIA_Crc16Calc(const uint8_t *data, uint32_t len) { return crc16_update(0, data, len); }

bool media_bin_zone_present(const EccZone &zone) { return std::memcmp(zone.acTag, "ECC", 3) == 0; }

bool media_bin_open(DspBinWalk &walk, const uint8_t *image, uint32_t length)
{
    walk = DspBinWalk{};
    if (image == nullptr || length < MEDIA_BIN_MIN_LEN)
        return false;
    walk.image = image;
    walk.length = length;
    walk.entryAddr = word_at(image);
    walk.secNum = word_at(image + 4);
    std::memcpy(&walk.zone[0], image + length - 18, sizeof(EccZone));
    std::memcpy(&walk.zone[1], image + length - 34, sizeof(EccZone));
    walk.offset = MEDIA_BIN_HEAD_LEN;
    return true;
}

DspBinStep media_bin_next(DspBinWalk &walk, DspBinSection &sec)
{
    sec = DspBinSection{walk.index, walk.offset, 0, 0, nullptr};
    if (walk.index >= walk.secNum - 1U)
        return DspBinStep::End;
    const uint64_t crcAt = walk.length - 2ULL;
    if (uint64_t{walk.offset} + MEDIA_BIN_SEC_HEAD_LEN > crcAt)
        return DspBinStep::BadHead;
    const uint8_t *head = walk.image + walk.offset;
    sec.len = word_at(head);
    sec.addr = word_at(head + 4);
    if (sec.len == 0)
        return DspBinStep::BadHead;
    const uint64_t dataAt = uint64_t{walk.offset} + MEDIA_BIN_SEC_HEAD_LEN;
    if (sec.len >= walk.length || dataAt + sec.len > crcAt)
        return DspBinStep::TooLong;
    sec.data = walk.image + dataAt;
    walk.offset = static_cast<uint32_t>(dataAt + sec.len);
    walk.index++;
    return DspBinStep::Section;
}

uint32_t media_bin_targets(uint32_t addr, uint32_t len, uint32_t targets[8])
{
    const uint64_t end = uint64_t{addr} + len;
    for (const LoadClass &c : kLoadClasses) {
        if (addr < c.first || end >= c.endBelow)
            continue;
        for (uint32_t i = 0; i < c.copies; i++)
            targets[i] = c.copies == 1 ? addr : addr + kCoreAlias + i * kCoreStride;
        return c.copies;
    }
    return 0;
}
