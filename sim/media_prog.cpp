#include "sim/media_prog.h"

#include <cstring>

#include "sim/sim_host.h"
#include "sim/sim_sched.h"

namespace {

constexpr uint32_t kInfoAddr = 0x80000000;
constexpr uint32_t kInfoLen = 1696;
constexpr uint32_t kStateAt = kInfoAddr + 1;
constexpr uint32_t kDebugDesc = 1472;
constexpr uint32_t kPoolDesc = 1024;
constexpr uint32_t kRingDesc = 28;
constexpr uint32_t kRecLen = 512;
constexpr uint32_t kStatAddr = 0x808EFC88;
constexpr uint32_t kDescBase[5] = {80, 408, 240, 568, 732};

struct ProgDsp {
    bool running = false;
    uint64_t generation = 0;
    MediaDelay answer{};
};

struct ProgState {
    MediaProgProfile profile{};
    ProgDsp dsps[MEDIA_SUBRD_NUM][MEDIA_DSP_NUM];
};

ProgState &prog()
{
    static ProgState *state = new ProgState;  // outlives static destructors
    return *state;
}

void put32(std::vector<uint8_t> &b, uint32_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

void put_desc(std::vector<uint8_t> &b, uint32_t at, uint32_t base, uint32_t len, uint32_t size)
{
    put32(b, at, base);
    put32(b, at + 4, len);
    put32(b, at + 8, size);
    put32(b, at + 12, size == 0 || len / size == 0 ? 0 : len / size - 1);
    b[at + 16] = 1;
}

uint32_t log_desc_addr(uint32_t core) { return kInfoAddr + kDebugDesc + kRingDesc * core; }

} // namespace

std::vector<uint8_t> media_prog_block(const MediaProgProfile &p)
{
    std::vector<uint8_t> b(kInfoLen, 0);
    b[1] = 1;
    put32(b, 52, p.version);
    put32(b, 56, p.date);
    for (uint32_t type = 0; type < 5; type++) {
        for (uint32_t c = 0; c < MEDIA_CORE_NUM; c++) {
            uint32_t size = type == 2 ? p.dataBlockSize : p.blockSize;
            put_desc(b, kDescBase[type] + 20 * c, 0x80010000 + (type * 8 + c) * 0x2000, p.ringLen, size);
        }
    }
    put32(b, 400, kMediaProgDownTable);
    put32(b, 404, p.sendPool);
    put32(b, 728, kMediaProgUpTable);
    put32(b, 892, kMediaProgFreeTable);
    for (uint32_t c = 0; c < MEDIA_CORE_NUM; c++) {
        put_desc(b, kPoolDesc + kRingDesc * c, 0x80200000 + c * 0x1000, 4096, 64);
        put_desc(b, kDebugDesc + kRingDesc * c, kMediaProgLogBase + c * p.logRecords * kRecLen, p.logRecords * kRecLen,
                 kRecLen);
    }
    return b;
}

void media_prog_set_profile(const MediaProgProfile &profile)
{
    sim_kernel_lock();
    prog().profile = profile;
    sim_kernel_unlock();
}

void media_prog_set_answer(uint32_t sub, uint32_t dsp, MediaDelay answer)
{
    sim_kernel_lock();
    prog().dsps[sub][dsp].answer = answer;
    sim_kernel_unlock();
}

bool media_prog_running(uint32_t sub, uint32_t dsp)
{
    sim_kernel_lock();
    bool running = prog().dsps[sub][dsp].running;
    sim_kernel_unlock();
    return running;
}

bool media_prog_log(uint32_t sub, uint32_t dsp, uint32_t core, std::string_view text)
{
    if (!media_prog_running(sub, dsp))
        return false;
    uint32_t desc[7] = {};
    media_mem_read(sub, dsp, log_desc_addr(core), desc, sizeof desc);
    uint8_t rec[kRecLen] = {};
    size_t n = text.size() < kRecLen - 17 ? text.size() : kRecLen - 17;
    uint16_t length = static_cast<uint16_t>(n + 12);
    std::memcpy(rec + 2, &length, 2);
    std::memcpy(rec + 16, text.data(), n);
    uint32_t write = desc[5];
    media_mem_write(sub, dsp, desc[0] + (write & desc[3]) * desc[2], rec, kRecLen);
    write = (write + 1) & 0xFFFFFF;
    return media_mem_write(sub, dsp, log_desc_addr(core) + 20, &write, 4);
}

void media_prog_set_log_index(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t write, uint32_t read)
{
    uint32_t idx[2] = {write, read};
    media_mem_write(sub, dsp, log_desc_addr(core) + 20, idx, sizeof idx);
}

void media_prog_set_stats(uint32_t sub, uint32_t dsp, uint32_t core, const uint32_t words[10])
{
    media_mem_write(sub, dsp, kStatAddr + 40 * core, words, 40);
}

void media_prog_on_trigger(uint32_t sub, uint32_t dsp, const MediaProgWrite &write)
{
    ProgDsp &d = prog().dsps[sub][dsp];
    d.running = true;
    d.generation++;
    std::vector<uint8_t> block = media_prog_block(prog().profile);
    write(kInfoAddr, block.data(), kInfoLen);
}

void media_prog_on_reset(uint32_t sub, uint32_t dsp)
{
    ProgDsp &d = prog().dsps[sub][dsp];
    d.running = false;
    d.generation++;
}

void media_prog_on_write(uint32_t sub, uint32_t dsp, uint32_t addr, const uint8_t *bytes, uint32_t len,
                         const MediaProgWrite &write)
{
    ProgDsp &d = prog().dsps[sub][dsp];
    if (!d.running || kStateAt < addr || kStateAt - addr >= len || bytes[kStateAt - addr] != 2)
        return;
    static constexpr uint8_t kConfigured = 3;
    if (d.answer.when == MediaWhen::Never)
        return;
    if (d.answer.when != MediaWhen::Delay || d.answer.n == 0)
        return write(kStateAt, &kConfigured, 1);
    uint64_t gen = d.generation;
    sched_at(sched_now_ns() + d.answer.n, [sub, dsp, gen] {
        sim_kernel_lock();
        bool live = prog().dsps[sub][dsp].running && prog().dsps[sub][dsp].generation == gen;
        sim_kernel_unlock();
        if (live)
            media_mem_write(sub, dsp, kStateAt, &kConfigured, 1);
    });
}

void media_prog_reset_all()
{
    ProgState &p = prog();
    p = ProgState{};
}
