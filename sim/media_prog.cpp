#include "sim/media_prog.h"

#include <cstring>
#include <map>

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

constexpr uint32_t kHandshake = 0x05;
constexpr uint32_t kReplyStatus = 0x06;
constexpr uint32_t kRequest = 0x07;
constexpr uint32_t kReplyData = 0x08;
constexpr uint32_t kCmd = 0x88;
constexpr uint32_t kCmdHigh = 0x89;
constexpr uint32_t kBusy = 0x108;
constexpr uint8_t kToolMark = 0xAA;
constexpr uint8_t kDspMark = 0x55;
constexpr uint8_t kExtended = 0xC1;

struct ProgDsp {
    bool running = false;
    uint64_t generation = 0;
    MediaDelay answer{};
    MediaDelay handshake[MEDIA_CORE_NUM]{};
    std::map<uint32_t, MediaProgReply> replies;  // core << 16 | command key
    std::vector<uint32_t> commands;
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

uint32_t cmd_key(uint32_t cmd) { return cmd < 256 ? cmd : 0xC100u | ((cmd >> 8) & 0xFFu); }

void put_byte(uint32_t sub, uint32_t dsp, uint32_t addr, uint8_t v) { media_mem_write(sub, dsp, addr, &v, 1); }

// Runs `fn` now, after a virtual delay while the same program still runs, or never.
void answer_when(uint32_t sub, uint32_t dsp, MediaDelay when, std::function<void()> fn)
{
    if (when.when == MediaWhen::Never)
        return;
    if (when.when != MediaWhen::Delay || when.n == 0)
        return fn();
    uint64_t gen = prog().dsps[sub][dsp].generation;
    sched_at(sched_now_ns() + when.n, [sub, dsp, gen, fn = std::move(fn)] {
        sim_kernel_lock();
        bool live = prog().dsps[sub][dsp].running && prog().dsps[sub][dsp].generation == gen;
        sim_kernel_unlock();
        if (live)
            fn();
    });
}

void free_mailboxes(uint32_t sub, uint32_t dsp)
{
    for (uint32_t c = 0; c < MEDIA_CORE_NUM; c++)
        put_byte(sub, dsp, media_prog_mail_addr(c, kRequest), kDspMark);
}

void take_command(uint32_t sub, uint32_t dsp, uint32_t core)
{
    uint8_t cmd[2] = {};
    media_mem_read(sub, dsp, media_prog_mail_addr(core, kCmd), &cmd[0], 1);
    media_mem_read(sub, dsp, media_prog_mail_addr(core, kCmdHigh), &cmd[1], 1);
    uint32_t key = cmd[0] == kExtended ? 0xC100u | cmd[1] : cmd[0];
    ProgDsp &d = prog().dsps[sub][dsp];
    d.commands.push_back(key);
    auto it = d.replies.find(core << 16 | key);
    MediaProgReply reply = it == d.replies.end() ? MediaProgReply{} : it->second;
    answer_when(sub, dsp, reply.when, [sub, dsp, core, reply] {
        if (!reply.data.empty())
            media_mem_write(sub, dsp, media_prog_mail_addr(core, kReplyData), reply.data.data(),
                            static_cast<uint32_t>(reply.data.size()));
        if (reply.areaAddr != 0)
            media_mem_write(sub, dsp, reply.areaAddr, reply.area.data(), static_cast<uint32_t>(reply.area.size()));
        put_byte(sub, dsp, media_prog_mail_addr(core, kReplyStatus), kDspMark);
    });
}

// The tool's 0xAA in one of a core's mailbox bytes.
void on_mail_mark(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t offset)
{
    if (offset == kHandshake)
        return answer_when(sub, dsp, prog().dsps[sub][dsp].handshake[core],
                           [sub, dsp, core] { put_byte(sub, dsp, media_prog_mail_addr(core, kHandshake), kDspMark); });
    if (offset == kRequest)
        return take_command(sub, dsp, core);
    if (offset == kReplyStatus)
        put_byte(sub, dsp, media_prog_mail_addr(core, kRequest), kDspMark);
}

void on_mail_write(uint32_t sub, uint32_t dsp, uint32_t addr, const uint8_t *bytes, uint32_t len)
{
    for (uint32_t core = 0; core < MEDIA_CORE_NUM; core++) {
        for (uint32_t offset : {kHandshake, kReplyStatus, kRequest}) {
            uint32_t at = media_prog_mail_addr(core, offset);
            if (at >= addr && at - addr < len && bytes[at - addr] == kToolMark)
                on_mail_mark(sub, dsp, core, offset);
        }
    }
}

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
    free_mailboxes(sub, dsp);
}

void media_prog_start(uint32_t sub, uint32_t dsp)
{
    sim_kernel_lock();
    media_prog_on_trigger(sub, dsp, [sub, dsp](uint32_t addr, const uint8_t *bytes, uint32_t len) {
        media_mem_write(sub, dsp, addr, bytes, len);
    });
    sim_kernel_unlock();
}

void media_prog_set_reply(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t cmd, const MediaProgReply &reply)
{
    sim_kernel_lock();
    for (uint32_t c = 0; c < MEDIA_CORE_NUM; c++)
        if (core == kMediaProgAllCores || core == c)
            prog().dsps[sub][dsp].replies[c << 16 | cmd_key(cmd)] = reply;
    sim_kernel_unlock();
}

void media_prog_set_handshake(uint32_t sub, uint32_t dsp, uint32_t core, MediaDelay answer)
{
    sim_kernel_lock();
    for (uint32_t c = 0; c < MEDIA_CORE_NUM; c++)
        if (core == kMediaProgAllCores || core == c)
            prog().dsps[sub][dsp].handshake[c] = answer;
    sim_kernel_unlock();
}

void media_prog_set_busy(uint32_t sub, uint32_t dsp, uint32_t core, uint8_t busy)
{
    put_byte(sub, dsp, media_prog_mail_addr(core, kBusy), busy);
}

std::vector<uint32_t> media_prog_commands(uint32_t sub, uint32_t dsp)
{
    sim_kernel_lock();
    std::vector<uint32_t> out = prog().dsps[sub][dsp].commands;
    sim_kernel_unlock();
    return out;
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
    if (d.running)
        on_mail_write(sub, dsp, addr, bytes, len);
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
