// The scanning half of every command handler: presets that tell a field
// the scan did not fill, the checks built on them, narrowing of scanned
// numbers, and the invalid-input line. What a command reports after the
// check (its failure and success lines) stays the command's own.
#ifndef QUORBIX_TOOL_CMD_KIT_H
#define QUORBIX_TOOL_CMD_KIT_H

#include <cstdint>

// ---- scan targets --------------------------------------------------------------------------

// Preset of a required field: still this value after the scan means the
// field was not given (a field of 4294967295 cannot be told apart).
inline constexpr uint32_t kCmdUnset = 0xFFFFFFFFu;
inline constexpr uint64_t kCmdUnset64 = 0xFFFFFFFFFFFFFFFFull;

constexpr bool cmd_given(uint32_t v) { return v != kCmdUnset; }
constexpr bool cmd_given(uint64_t v) { return v != kCmdUnset64; }

// The scan took: a non-negative result and every required field set.
template <class... Fields>
constexpr bool cmd_scanned(int ret, Fields... fields)
{
    return ret >= 0 && (cmd_given(fields) && ...);
}

// The low 8 or 16 bits of a scanned number.
constexpr uint8_t cmd_u8(uint32_t v) { return static_cast<uint8_t>(v & 0xFFu); }
constexpr uint16_t cmd_u16(uint32_t v) { return static_cast<uint16_t>(v & 0xFFFFu); }

// ---- the invalid-input line --------------------------------------------------------------------

// Where a handler reports bad input from: its name, file and line as they
// appear on the invalid-input line.
struct CmdSite {
    const char *name;
    const char *file;
    unsigned line;
};

// "Invalid input, please check" and the caller's tail (its own values and
// the line end), for handlers whose line names no site.
void cmd_invalid_input(const char *tailFormat, ...) __attribute__((format(printf, 1, 2)));

// The invalid-input line of a site, "[name] file:line" after the words,
// then the caller's tail (", max = %d\n" ...).
void cmd_invalid_at(const CmdSite &site, const char *tailFormat, ...) __attribute__((format(printf, 2, 3)));

// The same with the scan result (", iRet = N"), or short (no tail).
inline void cmd_invalid_line(const CmdSite &site, int scanRet) { cmd_invalid_at(site, ", iRet = %d\n", scanRet); }
inline void cmd_invalid_line_short(const CmdSite &site) { cmd_invalid_at(site, "\n"); }

#endif
