// A register file for device models: 64-bit registers by address, each with
// the rules a datasheet gives it.
//
//   preset       value on a fresh board
//   roMask       bits a write leaves alone (a bit that never sets: all ones)
//   w1cMask      bits a write of 1 clears (status bits)
//   corMask      bits a read clears after returning them
//   complement   a read returns the complement of the last write
//   stuckMask    bits nothing changes, not even the device itself (a bit
//                that never sets); the back door still can
//
// On top of the rules: scripted read sequences (the next reads return the
// given values, then the register again), and delayed values that replace
// the register after N reads or once the virtual clock reaches a time.
// Triggers let a write drive other registers (a control bit starting a
// state machine whose status bit comes later).
#ifndef QUORBIX_SIM_KIT_REG_FILE_H
#define QUORBIX_SIM_KIT_REG_FILE_H

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <vector>

struct RegRule {
    uint64_t addr;
    uint64_t preset = 0;
    uint64_t roMask = 0;
    uint64_t w1cMask = 0;
    uint64_t corMask = 0;
    bool complement = false;
    uint64_t stuckMask = 0;
};

// A value that replaces the register once `reads` more reads have been
// answered or the clock reaches `dueNs` (whichever is given).
struct RegPending {
    uint64_t setBits = 0;
    uint64_t clearBits = 0;
    std::optional<unsigned> reads;
    std::optional<uint64_t> dueNs;
};

// A write of `value` to `addr` (with `previous` the value written before it,
// when given) sets and clears bits of `target` now, and `laterSet` /
// `laterClear` after `delayNs` of virtual time.
struct RegTrigger {
    uint64_t addr;
    uint64_t value;
    std::optional<uint64_t> previous;
    uint64_t target;
    uint64_t setBits = 0;
    uint64_t clearBits = 0;
    uint64_t delayNs = 0;
    uint64_t laterSet = 0;
    uint64_t laterClear = 0;
};

struct RegCell {
    uint64_t value = 0;
    std::optional<uint64_t> lastWrite;
    RegRule rule{};
};

struct RegFile {
    std::map<uint64_t, RegCell> cells;
    std::map<uint64_t, std::deque<uint64_t>> scripts;
    std::map<uint64_t, std::vector<RegPending>> pending;
    std::span<const RegTrigger> triggers;
};

// Forget everything and install the rules with their presets.
void reg_file_reset(RegFile &rf, std::span<const RegRule> rules, std::span<const RegTrigger> triggers = {});

// Accesses as the device sees them: rules, scripts, pending values, triggers.
uint64_t reg_read(RegFile &rf, uint64_t addr);
void reg_write(RegFile &rf, uint64_t addr, uint64_t value);

// Back doors for tests and fixtures: no rule applies.
void reg_set(RegFile &rf, uint64_t addr, uint64_t value);
uint64_t reg_peek(const RegFile &rf, uint64_t addr);
void reg_set_rule(RegFile &rf, const RegRule &rule);   // keeps the value
const RegRule *reg_rule(const RegFile &rf, uint64_t addr);
void reg_script(RegFile &rf, uint64_t addr, std::vector<uint64_t> values);
void reg_after_reads(RegFile &rf, uint64_t addr, uint64_t value, unsigned reads);
void reg_after_ns(RegFile &rf, uint64_t addr, uint64_t value, uint64_t delayNs);
// A change of some bits (setBits, clearBits) after reads or at a time.
void reg_schedule(RegFile &rf, uint64_t addr, const RegPending &change);
// Applies what has come due on `addr` and forgets the rest (a run stopped
// before it finished).
void reg_drop_pending(RegFile &rf, uint64_t addr);

#endif
