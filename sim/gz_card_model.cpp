// The card's compression of one slice; see gz_card_model.h.
#include "sim/gz_card_model.h"

#include <zlib.h>

#include <map>
#include <span>
#include <utility>
#include <vector>

#include "bases/globals/globals.h"
#include "sim/asmf_model.h"

namespace {

struct CardStream {
    uint16_t next = 0;     // the segment expected next
    uint32_t crc = 0;      // the running CRC the next slice must bring
    uint64_t received = 0;
};

struct GzCard {
    GzCardSettings settings;
    std::map<std::pair<uint32_t, uint8_t>, CardStream> streams;
    uint32_t slices = 0;
    uint32_t breaches = 0;
};

GzCard &card()
{
    static GzCard c;
    return c;
}

bool hits(uint16_t segment)
{
    const GzCardSettings &s = card().settings;
    return s.fault != GzCardFault::none && (s.faultSegment < 0 || s.faultSegment == segment);
}

}  // namespace

bool gz_card_deflate(std::span<const uint8_t> in, int level, bool last, std::vector<uint8_t> &out)
{
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out.resize(deflateBound(&z, static_cast<uLong>(in.size())) + 16);
    z.next_in = const_cast<Bytef *>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int ret = deflate(&z, last ? Z_FINISH : Z_FULL_FLUSH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return last ? ret == Z_STREAM_END : ret == Z_OK && z.avail_in == 0;
}

namespace {

void put_le32(std::vector<uint8_t> &out, uint64_t v)
{
    for (int i = 0; i < 4; i++)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

bool breach()
{
    card().breaches++;
    return false;
}

bool card_transform(const FpgaTaskDesc &d, std::span<const uint8_t> in, std::vector<uint8_t> &out, uint32_t &crc)
{
    CardStream &s = card().streams[{d.taskPid, d.fileId}];
    const bool first = d.flag == 1 || d.flag == 3, last = d.flag == 2 || d.flag == 3;
    if (d.flag > 3)
        return breach();
    if (first)
        s = CardStream{};
    if (d.segment != s.next || d.crc != s.crc)
        return breach();
    s.received += in.size();
    if (last && s.received != d.totalLen)
        return breach();
    const int level = (d.levForm & 0xF) > 9 ? 9 : d.levForm & 0xF;
    if (!gz_card_deflate(in, level, last, out))
        return breach();
    crc = static_cast<uint32_t>(::crc32(d.crc, in.data(), static_cast<uInt>(in.size())));
    s.crc = crc;
    s.next = static_cast<uint16_t>(d.segment + 1);
    if (last) {
        put_le32(out, crc);
        put_le32(out, d.totalLen);
    }
    if (hits(d.segment) && card().settings.fault == GzCardFault::corrupt && !out.empty())
        out[out.size() / 2] ^= 0x5A;
    card().slices++;
    return true;
}

void card_edit(ResultMsg &m)
{
    if (m.status != 0 || !hits(m.desc.segment))
        return;
    switch (card().settings.fault) {
    case GzCardFault::flags: m.desc.flag = static_cast<uint8_t>((m.desc.flag + 1) & 3); break;
    case GzCardFault::segment: m.desc.segment = static_cast<uint16_t>(m.desc.segment + 1); break;
    case GzCardFault::zeroLength: m.desc.outLen = 0; break;
    case GzCardFault::longLength: m.desc.outLen = 0x7FFFFFFF; break;
    default: break;
    }
}

GLOBALS_RESET(gz_card) { card() = GzCard{}; }

}  // namespace

void gz_card_install()
{
    card() = GzCard{};
    asmf_sim_settings().transform = card_transform;
    asmf_sim_settings().edit = card_edit;
}

GzCardSettings &gz_card_settings() { return card().settings; }
uint32_t gz_card_slices() { return card().slices; }
uint32_t gz_card_breaches() { return card().breaches; }
