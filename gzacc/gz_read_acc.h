// The accelerated read: a whole gzip file decompressed on the card into the
// caller's buffer, results collected by a receive thread; and the layer's
// diagnostic routines.
#ifndef QUORBIX_GZACC_GZ_READ_ACC_H
#define QUORBIX_GZACC_GZ_READ_ACC_H

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "asmf/interface/asmf_interface.h"
#include "gzacc/gz_file.h"
#include "gzacc/gz_head.h"

namespace gzacc {

inline constexpr uint32_t GZ_READ_SLICE = 64u << 20;
inline constexpr uint32_t GZ_HEAD_STEP = 8u << 20;
inline constexpr uint32_t GZ_SLICE_ENTRIES = 65536;
inline constexpr uint16_t GZ_RET_END = 0xFFFF;

// Statuses of the accelerated read besides those it shares with the write.
inline constexpr int GZ_RD_E_MEM_REQ = -112;
inline constexpr int GZ_RD_E_RESULT = -201;
inline constexpr int GZ_RD_E_RET_SEG = -203;
inline constexpr int GZ_RD_E_CMD_SEG = -204;
inline constexpr int GZ_RD_E_COPY = -205;
inline constexpr int GZ_RD_E_MEM_STATE = -212;
inline constexpr int GZ_RD_E_UNFINISHED = -214;
inline constexpr int GZ_RD_E_AHEAD_SENDING = -215;
inline constexpr int GZ_RD_E_AHEAD = -216;
inline constexpr int GZ_RD_E_HEAD = -305;
inline constexpr int GZ_RD_E_TRAILER = -306;
inline constexpr int GZ_RD_E_FILE = -402;
inline constexpr int GZ_RD_E_THREAD = -405;
inline constexpr int GZ_RD_E_CLEAR = -501;

struct gz_slice_entry {
    uint64_t input_addr;
    uint64_t output_addr;
    uint32_t input_len;
    uint32_t output_len;
};
static_assert(sizeof(gz_slice_entry) == 24);

struct gz_slice {
    uint16_t count;
    uint16_t reserved;
    uint16_t input_count;
    uint16_t output_count;
    gz_slice_entry entry[GZ_SLICE_ENTRIES];
};

struct gz_slice_cnt {
    std::atomic<uint32_t> cnt;
    std::atomic<uint32_t> stat;
};

// Shared by the reading thread and the receive thread; each field has one
// writer at a time.
struct gz_recv_info {
    int handle;
    gz_slice_cnt cmd_slice;   // 1 sending, 2 all sent
    gz_slice_cnt ret_slice;   // 1 reading, 2 finished
    std::atomic<int> status;
    std::atomic<uint32_t> stop;
    gz_slice *slice;
    uint8_t *buf;
    uint32_t len;
    std::atomic<uint32_t> copied;
    uint32_t expires;
    std::atomic<uint32_t> thread_stat;   // 1 running, 2 ended
    long long start_ms;
    long long end_ms;
};

// The whole file of `state` decompressed into buf[0..len): the bytes placed
// (exactly len when the output is longer), or a negative status.
int gzread_fpga(gz_file_state *state, void *buf, uint32_t len);

// The head at the start of the file: 0, -1 allocation, -2 read, -3 head
// incomplete in the whole file, -4 not a valid head.
int gz_file_head_parse(int fd, gz_head_info *head);
// The trailer (CRC-32, ISIZE) of the file into head: 0, -2 size, -3 read.
int gz_file_tail_parse(int fd, gz_head_info *head, int32_t *size);

// Milliseconds since the epoch (the time stamps of the trace lines).
long long gz_now_ms();

// Diagnostics.
void gz_dump_request(const CompressInfo *info);
void gz_hex_dump(const uint8_t *buf, size_t len);
int gz_head_crc_check(const uint8_t *buf, size_t len);
int gz_find_byte(const uint8_t *buf, size_t n, uint8_t value);
void gz_copy_words(void *dest, const void *src, size_t n);

}  // namespace gzacc

#endif
