// The gzip member head: the record, the writer, the builder used by the
// accelerated write, and the reader used by the accelerated read.
#ifndef QUORBIX_GZACC_GZ_HEAD_H
#define QUORBIX_GZACC_GZ_HEAD_H

#include <cstddef>
#include <cstdint>

namespace gzacc {

inline constexpr uint8_t GZ_ID1 = 31;
inline constexpr uint8_t GZ_ID2 = 139;
inline constexpr uint8_t GZ_CM_DEFLATE = 8;
inline constexpr uint8_t GZ_FLG_TEXT = 0x01;
inline constexpr uint8_t GZ_FLG_HCRC = 0x02;
inline constexpr uint8_t GZ_FLG_EXTRA = 0x04;
inline constexpr uint8_t GZ_FLG_NAME = 0x08;
inline constexpr uint8_t GZ_FLG_COMMENT = 0x10;
inline constexpr size_t GZ_HEAD_FIXED = 10;
inline constexpr size_t GZ_HEAD_CAPACITY = 1048576;
inline constexpr uint32_t GZ_HEAD_CAPACITY_U = 1048576;
inline constexpr uint8_t GZ_OS_UNIX = 3;

// Head record: zero-filled before use. The string fields point into the
// caller's (writer) or the scanned buffer's (reader) memory.
struct gz_head_info {
    int32_t text;
    uint64_t time;
    int32_t xflags;
    int32_t os;
    uint8_t *extra;
    uint32_t extra_len;
    uint32_t extra_max;
    uint8_t *name;
    uint32_t name_max;      // name bytes including the terminating zero
    uint8_t *comment;
    uint32_t comm_max;
    int32_t hcrc;
    int32_t done;
    uint16_t crc;
    uint32_t head_len;
    uint32_t crc32;
    uint32_t isize;
};

// Writes the head described by `head` into buf (capacity cap). Returns the
// head length, or -2 (capacity under 10), -3 (extra), -4 (name),
// -5 (comment), -6 (head CRC) when a field does not fit.
int gz_head_write(const gz_head_info *head, uint8_t *buf, size_t cap);

// The head of an accelerated write for `path`: its base name without
// ".gz", the current time, OS 3. Returns the head length or a negative
// status (-2 no record, -3 the record could not be filled, or the writer's).
int gz_head_build(const char *path, uint8_t *buf, size_t cap);

// The name written for a path: after the last '/' or '\\', ".gz" dropped.
// Returns its length; the name starts at path + *start.
size_t gz_head_name(const char *path, size_t *start);

// Reads the head at buf[0..len) into `head` (the strings point into buf).
// Returns 0, -2 not a deflate gzip head, -4 a string field with no byte
// left, -101 a field past the bytes given.
int gz_head_read(const uint8_t *buf, size_t len, gz_head_info *head);

}  // namespace gzacc

#endif
