// The DSP program image: the walk over its sections (refusals included),
// section placement and the CRC the image builder stores.
#include "boardlib/media_bin.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "support/media_image.h"
#include "support/oracle.h"

namespace {

struct WalkResult {
    std::vector<DspBinSection> sections;
    DspBinStep last;
    DspBinSection lastSec;
};

WalkResult walk_all(const std::vector<uint8_t> &img)
{
    DspBinWalk w;
    EXPECT_TRUE(media_bin_open(w, img.data(), static_cast<uint32_t>(img.size())));
    WalkResult r{};
    DspBinSection s{};
    while ((r.last = media_bin_next(w, s)) == DspBinStep::Section)
        r.sections.push_back(s);
    r.lastSec = s;
    return r;
}

// An image of exactly `total` bytes: head, one header claiming `len` bytes
// at `addr`, whatever bytes follow, and the CRC.
std::vector<uint8_t> raw_image(uint32_t secNum, uint32_t len, uint32_t addr, size_t total)
{
    std::vector<uint8_t> img(total, 0x5A);
    image_put32(img, 0, 0x1234);
    image_put32(img, 4, secNum);
    image_put32(img, 8, len);
    image_put32(img, 12, addr);
    image_seal(img);
    return img;
}

TEST(MediaBin, WalkOfWellFormedImages)
{
    auto img = image_build(0x10800000, {{0x00800000, pattern(0x10, 1)}, {0x0C000000, pattern(5, 2)}});
    WalkResult r = walk_all(img);
    ASSERT_EQ(r.sections.size(), 2U);
    EXPECT_EQ(r.last, DspBinStep::End);
    EXPECT_EQ(r.sections[0].offset, 8U);
    EXPECT_EQ(r.sections[0].len, 0x10U);
    EXPECT_EQ(r.sections[0].addr, 0x00800000U);
    EXPECT_EQ(r.sections[1].offset, 8U + 8 + 0x10);
    EXPECT_EQ(r.sections[1].data, img.data() + 8 + 8 + 0x10 + 8);

    EXPECT_TRUE(walk_all(image_build(0, {}, 1)).sections.empty());  // a count of 1 loads none
}

TEST(MediaBin, WalkRefusals)
{
    struct Case {
        const char *name;
        std::vector<uint8_t> img;
        size_t loaded;
        DspBinStep last;
        uint32_t offset, len, addr;
    };
    const Case cases[] = {
        // the count runs past the sections: the zero tail reads as a header of length 0
        {"count too large", image_build(0, {{0x0C000000, pattern(4, 1)}}, 5), 1, DspBinStep::BadHead, 20, 0, 0},
        {"count 0", image_build(0, {{0x0C000000, pattern(4, 1)}}, 0), 1, DspBinStep::BadHead, 20, 0, 0},
        // the next header would reach into the CRC
        {"header past the CRC", raw_image(3, 20, 0x80000000, 42), 1, DspBinStep::BadHead, 36, 0, 0},
        // data that would run into the CRC, and a length beyond the image
        {"data past the CRC", raw_image(2, 30, 0x80000000, 42), 0, DspBinStep::TooLong, 8, 30, 0x80000000},
        {"data ends at the CRC", raw_image(2, 24, 0x80000000, 42), 1, DspBinStep::End, 8, 0, 0},
        {"length beyond the image", image_build(0, {{0x0C000000, pattern(4, 1)}}, 3, 0xFF), 1, DspBinStep::TooLong,
         20, 0xFFFFFFFF, 0xFFFFFFFF},
    };
    for (const Case &c : cases) {
        WalkResult r = walk_all(c.img);
        EXPECT_EQ(r.sections.size(), c.loaded) << c.name;
        EXPECT_EQ(r.last, c.last) << c.name;
        if (c.last != DspBinStep::End) {
            EXPECT_EQ(r.lastSec.offset, c.offset) << c.name;
            EXPECT_EQ(r.lastSec.len, c.len) << c.name;
            EXPECT_EQ(r.lastSec.addr, c.addr) << c.name;
        }
    }
    DspBinWalk w;
    std::vector<uint8_t> small(41, 0);
    EXPECT_FALSE(media_bin_open(w, small.data(), 41));
    EXPECT_FALSE(media_bin_open(w, nullptr, 100));
}

TEST(MediaBin, Placement)
{
    struct Case {
        uint32_t addr, len, count, first;
    };
    constexpr Case cases[] = {
        {0x00800000, 0x10, 8, 0x10800000},
        {0x0087FFF0, 0x10, 0, 0},   // ends on the limit
        {0x0087FFF0, 0x0F, 8, 0x1087FFF0},
        {0x0C3FFFF0, 0x10, 0, 0},
        {0x0C3FFFF0, 0x0F, 1, 0x0C3FFFF0},
        {0x80000000, 0x1000, 1, 0x80000000},
        {0xBFFFFFF0, 0x10, 0, 0},
        {0xFFFFFFF8, 8, 0, 0},      // the end passes 2^32
        {0xFFFFFFF0, 0x20, 0, 0},   // and would wrap below the core-local range
        {0x007FFFFF, 1, 0, 0},
    };
    for (const Case &c : cases) {
        uint32_t t[8] = {};
        EXPECT_EQ(media_bin_targets(c.addr, c.len, t), c.count) << std::hex << c.addr;
        if (c.count == 0)
            continue;
        EXPECT_EQ(t[0], c.first) << std::hex << c.addr;
        if (c.count == 8) {
            EXPECT_EQ(t[7], c.first + 0x07000000) << std::hex << c.addr;
        }
    }
}

// python3's binascii.crc_hqx(data, 0) of the bytes; -1 when python3 is missing.
long python_crc(const std::vector<uint8_t> &data)
{
    char path[] = "/tmp/quorbix_media_crc_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return -1;
    bool ok = write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    close(fd);
    long result = -1;
    std::string cmd = "python3 -c \"import binascii,sys;print(binascii.crc_hqx(open(sys.argv[1],'rb').read(),0))\" ";
    if (FILE *p = ok ? popen((cmd + path).c_str(), "r") : nullptr) {
        if (fscanf(p, "%ld", &result) != 1)
            result = -1;
        if (pclose(p) != 0)
            result = -1;
    }
    unlink(path);
    return result;
}

TEST(MediaBin, BuilderCrcAgreesWithPython)
{
    auto img = image_build(0x10800000, {{0x80000000, pattern(3000, 9)}, {0x00800000, pattern(17, 3)}});
    image_add_zone(img, 0x80000000, 0x1000);
    image_add_zone(img, 0x0C000000, 0x2000);
    std::vector<uint8_t> body(img.begin(), img.end() - 2);
    QUORBIX_NEED_TOOL("python3", "python3");
    long expect = python_crc(body);
    ASSERT_GE(expect, 0) << "python3 failed";
    EXPECT_EQ(expect, img[img.size() - 2] | img[img.size() - 1] << 8);
    EXPECT_EQ(MEDIA_Crc16Calc(body.data(), static_cast<uint32_t>(body.size())), expect);
}

TEST(MediaBin, AddedZonesReadBackInOrder)
{
    auto img = image_build(0, {{0x0C000000, pattern(8, 1)}});
    size_t l = img.size();
    image_add_zone(img, 0x80000000, 0x100);   // added first: zone 1 at the end
    image_add_zone(img, 0x0C000000, 0x200);
    ASSERT_EQ(img.size(), l + 32);
    DspBinWalk w;
    ASSERT_TRUE(media_bin_open(w, img.data(), static_cast<uint32_t>(img.size())));
    EXPECT_TRUE(media_bin_zone_present(w.zone[0]));
    EXPECT_TRUE(media_bin_zone_present(w.zone[1]));
    EXPECT_EQ(w.zone[0].uiZoneAddr, 0x0C000000U);
    EXPECT_EQ(w.zone[0].uiZoneLen, 0x200U);
    EXPECT_EQ(w.zone[1].uiZoneAddr, 0x80000000U);
    EXPECT_EQ(w.zone[1].uiEight, 8U);
    EXPECT_EQ(walk_all(img).sections.size(), 1U);
}

// Random images: the walk ends and never hands out bytes at or past the CRC
// (the vector is exactly the image, so the sanitizer sees any overrun).
TEST(MediaBin, RandomImagesStayInside)
{
    uint32_t seed = 17;
    for (int n = 0; n < 400; n++) {
        seed = seed * 1664525u + 1013904223u;
        size_t len = 42 + seed % 200;
        std::vector<uint8_t> img(len);
        for (auto &b : img) {
            seed = seed * 1664525u + 1013904223u;
            b = static_cast<uint8_t>((seed >> 24) % 4 == 0 ? seed >> 16 : (seed >> 28));
        }
        image_put32(img, 4, seed % 7);
        DspBinWalk w;
        ASSERT_TRUE(media_bin_open(w, img.data(), static_cast<uint32_t>(len)));
        DspBinSection s{};
        int steps = 0;
        while (media_bin_next(w, s) == DspBinStep::Section) {
            ASSERT_LE(static_cast<size_t>(s.data - img.data()) + s.len, len - 2);
            ASSERT_LT(++steps, 100);
        }
    }
}

} // namespace
