// The card's compression of one slice; see gz_card_model.h.
#include "sim/gz_card_model.h"

#include <zlib.h>

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
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

// Raw inflate of one decompression stream across its requests.
struct InflateStream {
    z_stream z{};
    bool open = false;
    bool ended = false;
    std::vector<uint8_t> pend;                        // input not consumed yet
    std::deque<std::pair<uint16_t, uint64_t>> owed;   // per input slice: bytes still unconsumed
    uint32_t crc = 0;
    uint64_t produced = 0;
    uint32_t outputs = 0;                             // output buffers given so far
    uint16_t next = 0;
    uint16_t lastInput = 0;                           // the last segment that brought input
    uint32_t wantCrc = 0;                             // what the stream's first request announced
    uint32_t wantLen = 0;
    InflateStream() = default;
    InflateStream(const InflateStream &) = delete;
    InflateStream &operator=(const InflateStream &) = delete;
    ~InflateStream()
    {
        if (open)
            inflateEnd(&z);
    }
};

// What the edit hook writes into the answer of the last decompression.
struct InflateAnswer {
    bool valid = false;
    uint16_t retSegment = 0;
    uint8_t resReq = 0;
};

struct GzCard {
    GzCardSettings settings;
    std::map<std::pair<uint32_t, uint8_t>, CardStream> streams;
    std::map<std::pair<uint32_t, uint8_t>, std::unique_ptr<InflateStream>> inflates;
    InflateAnswer answer;
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

constexpr uint64_t kOutSlice = 64ull << 20;

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// Drops `used` consumed bytes from the front of the pending input.
void consume(InflateStream &s, size_t used)
{
    s.pend.erase(s.pend.begin(), s.pend.begin() + static_cast<std::ptrdiff_t>(used));
    while (used > 0 && !s.owed.empty()) {
        const uint64_t take = std::min<uint64_t>(used, s.owed.front().second);
        s.owed.front().second -= take;
        used -= take;
        if (s.owed.front().second == 0)
            s.owed.pop_front();
    }
    while (!s.owed.empty() && s.owed.front().second == 0)
        s.owed.pop_front();
}

// The 8 bytes left after the deflate data must be the trailer of what came
// out and of what the request announced; nothing may follow it.
bool trailer_ok(const InflateStream &s, const FpgaTaskDesc &d)
{
    if (s.pend.size() != 8)
        return false;
    const uint32_t crc = le32(s.pend.data()), len = le32(s.pend.data() + 4);
    (void)d;
    return crc == s.crc && len == static_cast<uint32_t>(s.produced) && crc == s.wantCrc && len == s.wantLen;
}

// Inflates what is pending into [dst, dst + room), the CRC taken piece by
// piece while the output is still in cache; the bytes made.
size_t inflate_into(InflateStream &s, uint8_t *dst, size_t room, int &ret)
{
    constexpr size_t kPiece = size_t{256} << 10;
    size_t made = 0;
    s.z.next_in = s.pend.data();
    s.z.avail_in = static_cast<uInt>(s.pend.size());
    // A piece filled may leave output owed inside the stream with no input left.
    bool more = s.z.avail_in != 0;
    while (more && made < room && ret == Z_OK) {
        const size_t step = std::min(room - made, kPiece);
        s.z.next_out = dst + made;
        s.z.avail_out = static_cast<uInt>(step);
        ret = inflate(&s.z, Z_NO_FLUSH);
        const size_t got = step - s.z.avail_out;
        if (got != 0)   // a null buffer would restart the CRC
            s.crc = static_cast<uint32_t>(::crc32(s.crc, dst + made, static_cast<uInt>(got)));
        made += got;
        more = s.z.avail_in != 0 || s.z.avail_out == 0;
    }
    return made;
}

bool card_inflate(const FpgaTaskDesc &d, std::span<const uint8_t> in, AsmfSimOutput &out, uint32_t &crc)
{
    auto &slot = card().inflates[{d.taskPid, d.fileId}];
    if (d.flag == 1 || d.flag == 3) {
        slot = std::make_unique<InflateStream>();
        if (inflateInit2(&slot->z, -MAX_WBITS) != Z_OK)
            return breach();
        slot->open = true;
        slot->wantCrc = d.crc;
        slot->wantLen = d.totalLen;
    }
    card().answer = InflateAnswer{};
    if (slot == nullptr || d.segment != slot->next || d.flag > 3 || (slot->ended && !in.empty()))
        return breach();
    InflateStream &s = *slot;
    s.next = static_cast<uint16_t>(d.segment + 1);
    if (!in.empty()) {
        s.pend.insert(s.pend.end(), in.begin(), in.end());
        s.owed.emplace_back(d.segment, in.size());
        s.lastInput = d.segment;
    }
    const uint64_t room = d.outAddr != 0 ? d.outLen : 0;
    s.outputs += room != 0 ? 1 : 0;
    // Straight into the card memory where it is mapped, else into the vector.
    const bool inPlace = !out.room.empty() && out.room.size() >= room;
    if (!inPlace)
        out.vec.resize(room);
    uint8_t *dst = inPlace ? out.room.data() : out.vec.data();
    int ret = Z_OK;
    size_t made = 0;
    if (!s.ended) {
        made = inflate_into(s, dst, room, ret);
        if (ret != Z_OK && ret != Z_STREAM_END && ret != Z_BUF_ERROR)
            return breach();
        consume(s, s.pend.size() - s.z.avail_in);
    }
    if (inPlace)
        out.inPlace = made;
    else
        out.vec.resize(made);
    s.produced += made;
    crc = s.crc;
    const bool last = d.flag == 2 || d.flag == 3;
    InflateAnswer &a = card().answer;
    a.valid = true;
    a.retSegment = s.owed.empty() ? s.lastInput : s.owed.front().first;
    if (ret == Z_STREAM_END || s.ended) {
        s.ended = true;
        if (!trailer_ok(s, d))
            return breach();
        a.retSegment = 0xFFFF;
    } else if (made == room && last) {
        const uint64_t announced = std::max<uint64_t>(1, (uint64_t{s.wantLen} + kOutSlice - 1) / kOutSlice);
        a.resReq = s.outputs >= announced ? 1 : 0;
    } else if (last && s.pend.empty()) {
        return breach();   // the deflate data stops short of its end
    }
    card().slices++;
    return true;
}

bool card_transform(const FpgaTaskDesc &d, std::span<const uint8_t> in, AsmfSimOutput &o, uint32_t &crc)
{
    if (d.cmdType == 1)
        return card_inflate(d, in, o, crc);
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
    std::vector<uint8_t> &out = o.vec;
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
    if (m.desc.cmdType == 1 && card().answer.valid) {
        m.desc.retSegment = card().answer.retSegment;
        m.desc.ret46 = card().answer.resReq;
    }
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
