// Gzip member heads: written field by field into a bounded buffer, and
// read back with every field checked against the bytes given.
#include "gzacc/gz_head.h"

#include <zlib.h>

#include <cstring>
#include <memory>
#include <new>

#include "bases/host/host.h"
#include "gzacc/gz_log.h"

namespace gzacc {

namespace {

// A bounded writer: every put fails once the capacity would be passed.
struct HeadOut {
    uint8_t *buf;
    size_t cap;
    size_t len = 0;

    bool put(const void *data, size_t n)
    {
        if (n > cap - len)
            return false;
        std::memcpy(buf + len, data, n);
        len += n;
        return true;
    }
    bool put_le(uint32_t v, size_t n)
    {
        const uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                              static_cast<uint8_t>(v >> 24)};
        return put(b, n);
    }
    // A string field: its bytes up to the zero or `max` - 1, then a zero.
    bool put_string(const uint8_t *s, uint32_t max)
    {
        const size_t n = max == 0 ? 0 : strnlen(reinterpret_cast<const char *>(s), max - 1);
        const uint8_t zero = 0;
        return put(s, n) && put(&zero, 1);
    }
};

uint8_t head_flags(const gz_head_info *h)
{
    return static_cast<uint8_t>((h->text != 0 ? GZ_FLG_TEXT : 0) | (h->hcrc != 0 ? GZ_FLG_HCRC : 0) |
                                (h->extra != nullptr ? GZ_FLG_EXTRA : 0) | (h->name != nullptr ? GZ_FLG_NAME : 0) |
                                (h->comment != nullptr ? GZ_FLG_COMMENT : 0));
}

uint32_t le(const uint8_t *p, size_t n)
{
    uint32_t v = 0;
    for (size_t i = n; i-- > 0;)
        v = v << 8 | p[i];
    return v;
}

// A zero-terminated field at buf[*pos..len): -4 when no byte is left,
// -101 when its zero is not inside the bytes given.
int read_string(const uint8_t *buf, size_t len, size_t *pos, uint8_t **field, uint32_t *max)
{
    if (*pos >= len)
        return -4;
    const void *zero = std::memchr(buf + *pos, 0, len - *pos);
    if (zero == nullptr)
        return -101;
    const size_t n = static_cast<size_t>(static_cast<const uint8_t *>(zero) - (buf + *pos)) + 1;
    *field = const_cast<uint8_t *>(buf + *pos);
    *max = static_cast<uint32_t>(n);
    *pos += n;
    return 0;
}

void head_print(const gz_head_info *h)
{
    GZ_INFO("gzhead->text      = %d\n", h->text);
    GZ_INFO("gzhead->time      = 0x%lx\n", static_cast<unsigned long>(h->time));
    GZ_INFO("gzhead->xflags    = 0x%x\n", static_cast<unsigned>(h->xflags));
    GZ_INFO("gzhead->os        = 0x%x\n", static_cast<unsigned>(h->os));
    GZ_INFO("gzhead->extra     = %p\n", static_cast<void *>(h->extra));
    if (h->extra != nullptr)
        GZ_INFO(" extra str: %.*s\n", static_cast<int>(h->extra_len), reinterpret_cast<const char *>(h->extra));
    GZ_INFO("gzhead->extra_len = 0x%x\n", h->extra_len);
    GZ_INFO("gzhead->extra_max = 0x%x\n", h->extra_max);
    GZ_INFO("gzhead->name      = %p\n", static_cast<void *>(h->name));
    if (h->name != nullptr)
        GZ_INFO(" name str: %s\n", reinterpret_cast<const char *>(h->name));
    GZ_INFO("gzhead->name_max  = 0x%x\n", h->name_max);
    GZ_INFO("gzhead->comment   = %p\n", static_cast<void *>(h->comment));
    if (h->comment != nullptr)
        GZ_INFO(" comment str: %s\n", reinterpret_cast<const char *>(h->comment));
    GZ_INFO("gzhead->comm_max  = 0x%x\n", h->comm_max);
    GZ_INFO("gzhead->hcrc      = 0x%x\n", static_cast<unsigned>(h->hcrc));
    GZ_INFO("gzhead->done      = 0x%x\n", static_cast<unsigned>(h->done));
    GZ_INFO("gzhead->crc       = 0x%x\n", h->crc);
    GZ_INFO("gzhead->head_len  = 0x%x\n\n", h->head_len);
    GZ_INFO("gzhead->crc32     = 0x%x\n\n", h->crc32);
    GZ_INFO("gzhead->isize     = 0x%x\n\n", h->isize);
}

}  // namespace

int gz_head_write(const gz_head_info *h, uint8_t *buf, size_t cap)
{
    if (buf == nullptr || cap < GZ_HEAD_FIXED)
        return -2;
    HeadOut o{buf, cap};
    const uint8_t fixed[4] = {GZ_ID1, GZ_ID2, GZ_CM_DEFLATE, head_flags(h)};
    o.put(fixed, sizeof fixed);
    o.put_le(static_cast<uint32_t>(h->time), 4);
    const uint8_t tail[2] = {static_cast<uint8_t>(h->xflags), static_cast<uint8_t>(h->os)};
    o.put(tail, sizeof tail);
    if (h->extra != nullptr && !(h->extra_len <= 0xFFFF && o.put_le(h->extra_len, 2) && o.put(h->extra, h->extra_len)))
        return -3;
    if (h->name != nullptr && !o.put_string(h->name, h->name_max))
        return -4;
    if (h->comment != nullptr && !o.put_string(h->comment, h->comm_max))
        return -5;
    if (h->hcrc != 0 && !o.put_le(static_cast<uint32_t>(::crc32(0, buf, static_cast<uInt>(o.len))) & 0xFFFF, 2))
        return -6;
    return static_cast<int>(o.len);
}

size_t gz_head_name(const char *path, size_t *start)
{
    const char *slash = std::strrchr(path, '/');
    const char *back = std::strrchr(path, '\\');
    const char *sep = slash > back ? slash : back;
    const char *base = sep == nullptr ? path : sep + 1;
    size_t len = std::strlen(base);
    if (len >= 3 && std::strcmp(base + len - 3, ".gz") == 0)
        len -= 3;
    *start = static_cast<size_t>(base - path);
    return len;
}

int gz_head_build(const char *path, uint8_t *buf, size_t cap)
{
    std::unique_ptr<gz_head_info> h(new (std::nothrow) gz_head_info{});
    if (!h)
        return -2;
    size_t start = 0;
    const size_t nameLen = gz_head_name(path, &start);
    h->time = static_cast<uint64_t>(host().time(nullptr));
    h->os = GZ_OS_UNIX;
    h->name = reinterpret_cast<uint8_t *>(const_cast<char *>(path + start));
    h->name_max = static_cast<uint32_t>(nameLen + 1);
    const int len = gz_head_write(h.get(), buf, cap);
    if (len > 0)
        GZ_INFO("gzhead->head_len  = 0x%x\n\n", static_cast<unsigned>(len));
    return len;
}

int gz_head_read(const uint8_t *buf, size_t len, gz_head_info *head)
{
    if (buf == nullptr || head == nullptr || len < GZ_HEAD_FIXED)
        return -101;
    if (buf[0] != GZ_ID1 || buf[1] != GZ_ID2 || buf[2] != GZ_CM_DEFLATE)
        return -2;
    const uint8_t flg = buf[3];
    head->text = flg & GZ_FLG_TEXT;
    head->time = le(buf + 4, 4);
    head->xflags = buf[8];
    head->os = buf[9];
    size_t pos = GZ_HEAD_FIXED;
    if ((flg & GZ_FLG_EXTRA) != 0) {
        if (len < pos + 2 || len - pos - 2 < le(buf + pos, 2))
            return -101;
        head->extra_len = head->extra_max = le(buf + pos, 2);
        head->extra = const_cast<uint8_t *>(buf + pos + 2);
        pos += 2 + head->extra_len;
    }
    int ret = 0;
    if ((flg & GZ_FLG_NAME) != 0 && (ret = read_string(buf, len, &pos, &head->name, &head->name_max)) != 0)
        return ret;
    if ((flg & GZ_FLG_COMMENT) != 0 && (ret = read_string(buf, len, &pos, &head->comment, &head->comm_max)) != 0)
        return ret;
    if ((flg & GZ_FLG_HCRC) != 0) {
        if (len < pos + 2)
            return -101;
        head->hcrc = 1;
        head->crc = static_cast<uint16_t>(le(buf + pos, 2));
        pos += 2;
    }
    head->head_len = static_cast<uint32_t>(pos);
    head->done = 1;
    head_print(head);
    return 0;
}

}  // namespace gzacc
