// What every packet-board command handler shares: scan presets and "not
// given" detection, narrowing, port numbers to port properties, the board
// test, and the console lines of bad input, failed operations and success.
#ifndef QUORBIX_TOOL_TRANS_TRANS_CMD_H
#define QUORBIX_TOOL_TRANS_TRANS_CMD_H

#include <cstddef>
#include <cstdint>

#include "boardlib/plov_types.h"
#include "kelvo/kelvo.h"
#include "tool/trans_op.h"

// ---- scan targets --------------------------------------------------------------------------

// Preset of a required field: still this value after the scan means the
// field was not given (a field of 4294967295 cannot be told apart).
inline constexpr uint32_t kTransUnset = 0xFFFFFFFFu;
inline constexpr uint64_t kTransUnset64 = 0xFFFFFFFFFFFFFFFFull;

// The status of every refused input.
inline constexpr TransOpStatus kTransBadInput = -1202;

constexpr bool trans_given(uint32_t v) { return v != kTransUnset; }
constexpr bool trans_given(uint64_t v) { return v != kTransUnset64; }

// The scan took: a non-negative result and every required field set.
template <class... Fields>
constexpr bool trans_scanned(int ret, Fields... fields)
{
    return ret >= 0 && (trans_given(fields) && ...);
}

// The low 8 or 16 bits of a scanned number.
constexpr uint8_t trans_u8(uint32_t v) { return static_cast<uint8_t>(v & 0xFFu); }
constexpr uint16_t trans_u16(uint32_t v) { return static_cast<uint16_t>(v & 0xFFFFu); }

// An FPGA id a command takes as 32 bits, for a backend that holds 8: an id
// above 255 stays out of range (255) instead of wrapping to a valid one.
constexpr uint8_t trans_fpga32(uint32_t v) { return v > 0xFFu ? 0xFF : static_cast<uint8_t>(v); }

// ---- ports and boards ---------------------------------------------------------------------------

// Ports 0-7: location 0, id = number; 8 and above: location 1, id = number - 8.
constexpr PortPro trans_port_pro(uint32_t port)
{
    return port < 8 ? PortPro{0, 0, port} : PortPro{1, 0, port - 8};
}

// A trunk: location 0, type 3, id = number.
constexpr PortPro trans_trunk_pro(uint32_t trunk) { return PortPro{0, 3, trunk}; }

enum class TransBoard { Dorn, Kesp, Other };

// The board from gBoardName by substring, the DORN name tested first.
TransBoard trans_board();

// ---- console lines ---------------------------------------------------------------------------

// Where a handler reports bad input from: its name, file and line as they
// appear on the invalid-input line.
struct TransSite {
    const char *name;
    const char *file;
    unsigned line;
};

// A text with no value to fill and no "\n" of its own prints as a whole line.
void trans_line(const char *text);
inline void trans_failed() { trans_line("FAILED"); }
inline void trans_success() { trans_line("SUCCESS"); }

// The invalid-input line: with the scan result, short (without it), or
// with named values appended by the caller's format ("max = %d" ...).
void trans_invalid_line(const TransSite &site, int scanRet);
void trans_invalid_line_short(const TransSite &site);
void trans_invalid_line_values(const TransSite &site, const char *valuesFormat, ...)
    __attribute__((format(printf, 2, 3)));

// "FAILED" and the invalid-input line with the scan result; -1202.
TransOpStatus trans_bad_input(const TransSite &site, int scanRet);

// The failure line of an operation, short or long (with the site);
// `name` is the operation the line names.
void trans_error_line(const char *name, int32_t status);
void trans_error_line_long(const char *name, int32_t status, const TransSite &site);

// "FAILED" and the short failure line; returns `status`.
TransOpStatus trans_op_failed(const char *name, int32_t status);

// ---- bounds-checked calls that log and carry on ----------------------------------------------------

void trans_log_memset(const char *file, int line, KelvoErr err, const void *dest, size_t destMax, size_t count);
void trans_log_memcpy(const char *file, int line, KelvoErr err, const void *dest, size_t destMax, const void *src,
                      size_t count);
void trans_log_strncpy(const char *file, int line, KelvoErr err, const void *dest, size_t destMax, const void *src,
                       size_t count);

// The call, logged on failure with the caller's place; the handler goes on.
#define TRANS_MEMSET_S(dest, destMax, value, count)                                                      \
    do {                                                                                               \
        KelvoErr trans_err_ = memset_s((dest), (destMax), (value), (count));                           \
        if (trans_err_ != KelvoOk)                                                                     \
            trans_log_memset(__FILE__, __LINE__, trans_err_, (dest), (destMax), (count));              \
    } while (0)
#define TRANS_MEMCPY_S(dest, destMax, src, count)                                                        \
    do {                                                                                               \
        KelvoErr trans_err_ = memcpy_s((dest), (destMax), (src), (count));                             \
        if (trans_err_ != KelvoOk)                                                                     \
            trans_log_memcpy(__FILE__, __LINE__, trans_err_, (dest), (destMax), (src), (count));       \
    } while (0)
#define TRANS_STRNCPY_S(dest, destMax, src, count)                                                       \
    do {                                                                                               \
        KelvoErr trans_err_ = strncpy_s((dest), (destMax), (src), (count));                            \
        if (trans_err_ != KelvoOk)                                                                     \
            trans_log_strncpy(__FILE__, __LINE__, trans_err_, (dest), (destMax), (src), (count));      \
    } while (0)

// ---- hexadecimal text ---------------------------------------------------------------------------

// Digits 0-9, a-f, A-F (upper case folded to lower case in `text` itself,
// which is the caller's writable copy); value x 16 + digit in 32 bits.
// 0 and *result set, or -1200 with *result untouched on any other
// character (and for a null argument); an empty text gives 0.
inline constexpr int32_t kTransHexBad = -1200;
int32_t eth_pci_hex_num(char *text, uint32_t *result);

#endif
