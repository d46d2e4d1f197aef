// What every packet-board command handler shares beyond the command kit:
// FPGA ids, port numbers to port properties, the board test, and the
// console lines of bad input, failed operations and success.
#ifndef QUORBIX_TOOL_TRANS_TRANS_CMD_H
#define QUORBIX_TOOL_TRANS_TRANS_CMD_H

#include <cstddef>
#include <cstdint>

#include "boardlib/plov_types.h"
#include "kelvo/kelvo.h"
#include "tool/cmd_kit.h"
#include "tool/trans_op.h"

// The status of every refused input.
inline constexpr TransOpStatus kTransBadInput = -1202;

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

// A text with no value to fill and no "\n" of its own prints as a whole line.
void trans_line(const char *text);
inline void trans_failed() { trans_line("FAILED"); }
inline void trans_success() { trans_line("SUCCESS"); }

// "FAILED" and the invalid-input line with the scan result; -1202.
TransOpStatus trans_bad_input(const CmdSite &site, int scanRet);

// The failure line of an operation, short or long (with the site);
// `name` is the operation the line names.
void trans_error_line(const char *name, int32_t status);
void trans_error_line_long(const char *name, int32_t status, const CmdSite &site);

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
