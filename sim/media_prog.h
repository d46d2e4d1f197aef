// The DSP program of the simulated media board. The start trigger starts
// it: it publishes its info block at DSP address 0x80000000 with byte 1 = 1
// (descriptors, rw-pointer tables, pool, version and date from the
// profile) and answers the tool's 2 in byte 1 with 3 after a settable
// delay, or never. A reset of the DSP stops it. It keeps one debug ring per
// core that tests append records to, and the mail statistics records.
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

// ---- hooks of the media model (called with the kernel lock held) ------------------------------

using MediaProgWrite = std::function<void(uint32_t addr, const uint8_t *bytes, uint32_t len)>;
void media_prog_on_trigger(uint32_t sub, uint32_t dsp, const MediaProgWrite &write);
void media_prog_on_reset(uint32_t sub, uint32_t dsp);
void media_prog_on_write(uint32_t sub, uint32_t dsp, uint32_t addr, const uint8_t *bytes, uint32_t len,
                         const MediaProgWrite &write);
void media_prog_reset_all();

#endif
