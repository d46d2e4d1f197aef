#include "sim/kit/reg_file.h"

#include <algorithm>

#include "sim/sim_host.h"

namespace {

RegCell &cell(RegFile &rf, uint64_t addr)
{
    auto [it, added] = rf.cells.try_emplace(addr);
    if (added)
        it->second.rule.addr = addr;
    return it->second;
}

// The device's own change of a register: stuck bits stay.
void apply(RegCell &c, uint64_t setBits, uint64_t clearBits)
{
    uint64_t stuck = c.rule.stuckMask;
    c.value = (c.value & stuck) | (((c.value & ~clearBits) | setBits) & ~stuck);
}

bool due(const RegPending &p, uint64_t now)
{
    return (p.reads && *p.reads == 0) || (p.dueNs && now >= *p.dueNs);
}

// Apply what has come due, in the order it was scheduled; count this read
// down on the rest.
void settle(RegFile &rf, uint64_t addr, bool aRead)
{
    auto it = rf.pending.find(addr);
    if (it == rf.pending.end())
        return;
    uint64_t now = sim_clock_ns();
    RegCell &c = cell(rf, addr);
    std::erase_if(it->second, [&](RegPending &p) {
        if (!due(p, now)) {
            if (aRead && p.reads)
                --*p.reads;
            return false;
        }
        apply(c, p.setBits, p.clearBits);
        return true;
    });
    if (it->second.empty())
        rf.pending.erase(it);
}

void schedule(RegFile &rf, uint64_t addr, RegPending p)
{
    if (p.reads && *p.reads == 0 && !p.dueNs) {
        apply(cell(rf, addr), p.setBits, p.clearBits);
        return;
    }
    rf.pending[addr].push_back(p);
}

void fire_triggers(RegFile &rf, uint64_t addr, uint64_t value, std::optional<uint64_t> previous)
{
    for (const RegTrigger &t : rf.triggers) {
        if (t.addr != addr || t.value != value || (t.previous && t.previous != previous))
            continue;
        schedule(rf, t.target, RegPending{t.setBits, t.clearBits, 0u, std::nullopt});
        if (t.laterSet != 0 || t.laterClear != 0)
            schedule(rf, t.target, RegPending{t.laterSet, t.laterClear, std::nullopt, sim_clock_ns() + t.delayNs});
    }
}

} // namespace

void reg_file_reset(RegFile &rf, std::span<const RegRule> rules, std::span<const RegTrigger> triggers)
{
    rf = RegFile{};
    rf.triggers = triggers;
    for (const RegRule &r : rules) {
        RegCell &c = cell(rf, r.addr);
        c.rule = r;
        c.value = r.preset;
    }
}

uint64_t reg_read(RegFile &rf, uint64_t addr)
{
    auto script = rf.scripts.find(addr);
    if (script != rf.scripts.end() && !script->second.empty()) {
        uint64_t v = script->second.front();
        script->second.pop_front();
        return v;
    }
    settle(rf, addr, true);
    RegCell &c = cell(rf, addr);
    uint64_t v = c.rule.complement && c.lastWrite ? ~*c.lastWrite : c.value;
    c.value &= ~(c.rule.corMask & ~c.rule.stuckMask);
    return v;
}

void reg_write(RegFile &rf, uint64_t addr, uint64_t value)
{
    settle(rf, addr, false);
    RegCell &c = cell(rf, addr);
    const RegRule &r = c.rule;
    uint64_t keep = r.roMask | r.w1cMask | r.stuckMask;
    uint64_t w1cKept = c.value & r.w1cMask & ~r.stuckMask & ~value;
    c.value = (c.value & (r.roMask | r.stuckMask)) | w1cKept | (value & ~keep);
    std::optional<uint64_t> previous = c.lastWrite;
    c.lastWrite = value;
    fire_triggers(rf, addr, value, previous);
}

void reg_set(RegFile &rf, uint64_t addr, uint64_t value)
{
    RegCell &c = cell(rf, addr);
    c.value = value;
    c.lastWrite.reset();
}

uint64_t reg_peek(const RegFile &rf, uint64_t addr)
{
    auto it = rf.cells.find(addr);
    return it == rf.cells.end() ? 0 : it->second.value;
}

void reg_set_rule(RegFile &rf, const RegRule &rule)
{
    RegCell &c = cell(rf, rule.addr);
    c.rule = rule;
}

const RegRule *reg_rule(const RegFile &rf, uint64_t addr)
{
    auto it = rf.cells.find(addr);
    return it == rf.cells.end() ? nullptr : &it->second.rule;
}

void reg_script(RegFile &rf, uint64_t addr, std::vector<uint64_t> values)
{
    rf.scripts[addr] = std::deque<uint64_t>(values.begin(), values.end());
}

void reg_after_reads(RegFile &rf, uint64_t addr, uint64_t value, unsigned reads)
{
    schedule(rf, addr, RegPending{value, ~uint64_t{0}, reads, std::nullopt});
}

void reg_after_ns(RegFile &rf, uint64_t addr, uint64_t value, uint64_t delayNs)
{
    schedule(rf, addr, RegPending{value, ~uint64_t{0}, std::nullopt, sim_clock_ns() + delayNs});
}

void reg_schedule(RegFile &rf, uint64_t addr, const RegPending &change) { schedule(rf, addr, change); }

void reg_drop_pending(RegFile &rf, uint64_t addr)
{
    settle(rf, addr, false);
    rf.pending.erase(addr);
}
