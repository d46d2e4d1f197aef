// The DSP program of the simulated media board. The start trigger starts
// it: it publishes its info block at DSP address 0x80000000 with byte 1 = 1
// (descriptors, rw-pointer tables, pool, version and date from the
// profile) and answers the tool's 2 in byte 1 with 3 after a settable
// delay, or never. A reset of the DSP stops it. It keeps one debug ring per
// core that tests append records to, and the mail statistics records.
//
// The mailbox bytes of each core (0x1087FE05.. + core << 24): the program
// answers the tool's 0xAA in the handshake byte with 0x55; when the tool
// sets the request flag to 0xAA it takes the command byte(s) and answers
// from its reply table (reply data, a result area, the reply status 0x55,
// each now, after a delay or never); the tool's 0xAA in the reply status
// frees the mailbox (request flag 0x55 again).
#ifndef QUORBIX_SIM_MEDIA_PROG_H
#define QUORBIX_SIM_MEDIA_PROG_H

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "sim/media_model.h"

struct MediaProgProfile {
    uint32_t version = 0x00010203;
    uint32_t date = 0x20261206;
    uint32_t ringLen = 1024;       // every mailbox ring, in bytes
    uint32_t blockSize = 256;      // mailbox block size, in bytes
    uint32_t dataBlockSize = 2048; // block size of the down data mailboxes
    uint32_t sendPool = 0x80400000;
    uint32_t logRecords = 8;       // debug ring of each core: records of 512 bytes
};

inline constexpr uint32_t kMediaProgDownTable = 0x80100000;
inline constexpr uint32_t kMediaProgUpTable = 0x80100200;
inline constexpr uint32_t kMediaProgFreeTable = 0x80100400;
inline constexpr uint32_t kMediaProgLogBase = 0x80300000;

// The info block a program of this profile publishes (1696 bytes, byte 1 = 1).
std::vector<uint8_t> media_prog_block(const MediaProgProfile &profile);

// The profile of programs started from now on, and how a DSP answers the
// tool's 2 (Now, Delay with virtual nanoseconds, or Never).
void media_prog_set_profile(const MediaProgProfile &profile);
void media_prog_set_answer(uint32_t sub, uint32_t dsp, MediaDelay answer);
bool media_prog_running(uint32_t sub, uint32_t dsp);

// Appends a debug record of `text` to a core's ring (the DSP's write index
// advances within 24 bits); false when the DSP runs no program.
bool media_prog_log(uint32_t sub, uint32_t dsp, uint32_t core, std::string_view text);
// Sets a core's debug-ring indices as the DSP keeps them.
void media_prog_set_log_index(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t write, uint32_t read);
// The statistics record (ten words) of a core.
void media_prog_set_stats(uint32_t sub, uint32_t dsp, uint32_t core, const uint32_t words[10]);

// ---- the mailbox protocol ---------------------------------------------------------------------

inline constexpr uint32_t kMediaProgAllCores = MEDIA_CORE_NUM;

// A core's mailbox byte at `offset` (0x05 handshake ... 0x108 busy) of core 0's 0x1087FE00.
constexpr uint32_t media_prog_mail_addr(uint32_t core, uint32_t offset) { return 0x1087FE00 + offset + (core << 24); }

// The answer to one command: reply data at the core's reply data, a
// result area written before the reply status turns 0x55 (areaAddr 0:
// none), and when the status comes.
struct MediaProgReply {
    MediaDelay when{};
    std::vector<uint8_t> data;
    uint32_t areaAddr = 0;
    std::vector<uint8_t> area;
};

// Starts a DSP's program without a load (what the start trigger does).
void media_prog_start(uint32_t sub, uint32_t dsp);
// The reply of one core (kMediaProgAllCores: every core) to a command as
// the tool sends it (below 256 the byte; 256 and above the marker 0xC1
// with the command's second byte). Without a row a command is answered at
// once with no data.
void media_prog_set_reply(uint32_t sub, uint32_t dsp, uint32_t core, uint32_t cmd, const MediaProgReply &reply);
// How a core (or every core) answers the handshake: now, after a delay, never.
void media_prog_set_handshake(uint32_t sub, uint32_t dsp, uint32_t core, MediaDelay answer);
// The busy byte of a core.
void media_prog_set_busy(uint32_t sub, uint32_t dsp, uint32_t core, uint8_t busy);
// The commands a DSP took, in order, as keys (cmd, or 0xC100 | second byte).
std::vector<uint32_t> media_prog_commands(uint32_t sub, uint32_t dsp);

// ---- hooks of the media model (called with the kernel lock held) ------------------------------

using MediaProgWrite = std::function<void(uint32_t addr, const uint8_t *bytes, uint32_t len)>;
void media_prog_on_trigger(uint32_t sub, uint32_t dsp, const MediaProgWrite &write);
void media_prog_on_reset(uint32_t sub, uint32_t dsp);
void media_prog_on_write(uint32_t sub, uint32_t dsp, uint32_t addr, const uint8_t *bytes, uint32_t len,
                         const MediaProgWrite &write);
void media_prog_reset_all();

#endif
