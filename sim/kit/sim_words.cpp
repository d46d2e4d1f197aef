#include "sim/kit/sim_words.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>

bool sim_numbers(std::span<const std::string> words, size_t from, size_t to, std::vector<uint64_t> &out,
                 size_t *bad, uint64_t most)
{
    for (size_t i = from; i < to; i++) {
        uint64_t v = 0;
        if (!sim_doc_number(words[i], v) || v > most) {
            if (bad != nullptr)
                *bad = i;
            return false;
        }
        out.push_back(v);
    }
    return true;
}

bool sim_hex_bytes(std::string_view text, std::vector<uint8_t> &out)
{
    if (text.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        uint8_t b = 0;
        auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, b, 16);
        if (ec != std::errc{} || end != text.data() + i + 2)
            return false;
        out.push_back(b);
    }
    return true;
}

bool sim_device_name(std::string_view text)
{
    constexpr size_t kMost = 32;
    auto allowed = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
               c == '.';
    };
    return !text.empty() && text.size() <= kMost && text != "." && text != ".." &&
           std::all_of(text.begin(), text.end(), allowed);
}

namespace {

// `digits` hexadecimal digits at text[at], their value in `out`.
bool hex_field(std::string_view text, size_t at, size_t digits, unsigned &out)
{
    if (at + digits > text.size())
        return false;
    auto [end, ec] = std::from_chars(text.data() + at, text.data() + at + digits, out, 16);
    return ec == std::errc{} && end == text.data() + at + digits;
}

} // namespace

bool sim_pci_address(std::string_view text, SimPciAddress &out)
{
    SimPciAddress a;
    const bool read = text.size() == 12 && text[4] == ':' && text[7] == ':' && text[10] == '.' &&
                      hex_field(text, 0, 4, a.domain) && hex_field(text, 5, 2, a.bus) &&
                      hex_field(text, 8, 2, a.device) && hex_field(text, 11, 1, a.function);
    if (!read || a.device > 0x1F || a.function > 7)
        return false;
    out = a;
    return true;
}

std::string sim_line_error(std::string_view file, int line, std::string_view message)
{
    return sim_escape(file) + ":" + std::to_string(line) + ": " + std::string(message);
}

namespace {

constexpr size_t kClipMax = 80;                // characters of quoted text kept
constexpr std::string_view kClipMark = "...";  // after a text cut there

// The length of an escape already written at text[at] (\\ or \xHH), or 0.
size_t escape_at(std::string_view text, size_t at)
{
    auto hex = [&](size_t i) { return i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); };
    if (text[at] != '\\' || at + 1 >= text.size())
        return 0;
    if (text[at + 1] == '\\')
        return 2;
    return text[at + 1] == 'x' && hex(at + 2) && hex(at + 3) ? 4 : 0;
}

// `text` fit for quoting, whatever bytes it holds: printable ASCII stands
// for itself, but a backslash is written \\ and a single quote \x27 (so the
// quote always closes); every other byte is \xHH, in the lower-case digits
// of the fixture escapes. With `written`, escapes already in the text are
// kept whole. Longer than kClipMax characters (an escape counts all of
// its), it is cut after the last character or escape that fits, never
// inside one (`cut` set), and kClipMark follows. A `limit` of SIZE_MAX
// escapes the whole text.
std::string clip(std::string_view text, bool written, bool &cut, size_t limit = kClipMax)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    size_t fits = 0;
    for (size_t at = 0; at < text.size() && out.size() <= limit;) {
        const size_t escape = written ? escape_at(text, at) : 0;
        const auto c = static_cast<unsigned char>(text[at]);
        if (escape != 0) {
            out += text.substr(at, escape);
            at += escape;
        } else {
            at++;
            if (c == '\\') {
                out += "\\\\";
            } else if (c >= 0x20 && c < 0x7F && c != '\'') {
                out += static_cast<char>(c);
            } else {
                out += "\\x";
                out += kDigits[c >> 4];
                out += kDigits[c & 0xF];
            }
        }
        if (out.size() <= limit)
            fits = out.size();
    }
    cut = out.size() > limit;
    if (cut) {
        out.resize(fits);
        out += kClipMark;
    }
    return out;
}

} // namespace

std::string sim_clip(std::string_view text)
{
    bool cut = false;
    return clip(text, false, cut);
}

std::string sim_escape(std::string_view text)
{
    bool cut = false;
    return clip(text, false, cut, SIZE_MAX);
}

std::string sim_clip_quoted(std::string_view message)
{
    // A quoted piece sim_clip already made comes out as it went in: its
    // escapes stay whole and a cut piece keeps its cut.
    auto reclip = [](std::string_view piece) {
        const bool marked = piece.ends_with(kClipMark);
        bool cut = false;
        std::string out = clip(marked ? piece.substr(0, piece.size() - kClipMark.size()) : piece, true, cut);
        return marked && !cut ? out + std::string(kClipMark) : out;
    };
    std::string out;
    bool inside = false;
    for (size_t at = 0; at <= message.size();) {
        size_t quote = std::min(message.find('\'', at), message.size());
        std::string_view piece = message.substr(at, quote - at);
        out += inside ? reclip(piece) : std::string(piece);
        if (quote < message.size())
            out += '\'';
        inside = !inside;
        at = quote + 1;
    }
    return out;
}
