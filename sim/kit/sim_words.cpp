#include "sim/kit/sim_words.h"

#include <algorithm>
#include <charconv>

#include "sim/sim_board.h"

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
