// Words of the simulator's text lines, read alike by every device model:
// numbers (decimal or 0x-prefixed hexadecimal, 64 bits at most), byte lists
// (hexadecimal digit pairs, "00ff10") and double-quoted texts (the escapes
// of sim_doc.h). The readers only say whether a word reads; each line keeps
// its own message, and the reader of the file puts "FILE:LINE: " in front
// of it (sim_line_error). Outside text in a message is quoted and clipped
// (sim_clip), a file or root name escaped whole (sim_escape).
#ifndef QUORBIX_SIM_KIT_SIM_WORDS_H
#define QUORBIX_SIM_KIT_SIM_WORDS_H

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "sim/kit/sim_doc.h"

// A number that fits T; a signed T also takes a leading '-'.
template <std::integral T> bool sim_number(std::string_view text, T &out)
{
    const bool negative = std::is_signed_v<T> && text.starts_with('-');
    uint64_t v = 0;
    if (!sim_doc_number(negative ? text.substr(1) : text, v))
        return false;
    using U = std::make_unsigned_t<T>;
    const uint64_t most = uint64_t{static_cast<U>(std::numeric_limits<T>::max())} + (negative ? 1 : 0);
    if (v > most)
        return false;
    out = static_cast<T>(negative ? static_cast<U>(~v + 1) : static_cast<U>(v));
    return true;
}

// The numbers of words [from, to) appended to `out`, each at most `most`.
// False at the first word that does not read, its index in `bad` if given.
bool sim_numbers(std::span<const std::string> words, size_t from, size_t to, std::vector<uint64_t> &out,
                 size_t *bad = nullptr, uint64_t most = UINT64_MAX);

// Hexadecimal digit pairs appended to `out` (an empty word adds none).
bool sim_hex_bytes(std::string_view text, std::vector<uint8_t> &out);

// A double-quoted text without its quotes and escapes.
inline bool sim_text(std::string_view text, std::string &out) { return sim_doc_unquote(text, out); }

// A device's node name ("sda", "sg0"): 1 to 32 letters, digits, '_', '-'
// and '.', neither "." nor "..", so that it names one entry of a directory
// and never a path. kSimDeviceNameRule says so in a message.
bool sim_device_name(std::string_view text);
inline constexpr const char *kSimDeviceNameRule = "1 to 32 letters, digits, _, - or ., not . or ..";

// A PCI function's address "DDDD:BB:DD.F": hexadecimal digits, the device
// 00 to 1f, the function 0 to 7. Its parts in `out` when it reads.
struct SimPciAddress {
    unsigned domain = 0, bus = 0, device = 0, function = 0;
};
bool sim_pci_address(std::string_view text, SimPciAddress &out);

// "FILE:LINE: message", the form of every error a text line gives; the
// file's name is escaped (sim_escape), so the error stays one line.
std::string sim_line_error(std::string_view file, int line, std::string_view message);

// `text` as messages quote input: a backslash as \\, a single quote as
// \x27, control and non-ASCII bytes as \xHH (NUL too: the whole text is
// read), the rest as itself; at most 80 characters of that, an escape
// counted whole and never split, then "..." when cut.
std::string sim_clip(std::string_view text);
// `text` escaped as sim_clip escapes it, whole: file and root names in
// messages, which are neither quoted nor cut.
std::string sim_escape(std::string_view text);
// A message with every '...'-quoted text in it clipped so; a text sim_clip
// already made (its escapes, its cut) comes out unchanged.
std::string sim_clip_quoted(std::string_view message);

#endif
