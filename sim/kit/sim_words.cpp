#include "sim/kit/sim_words.h"

#include <charconv>

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

std::string sim_line_error(std::string_view file, int line, std::string_view message)
{
    return std::string(file) + ":" + std::to_string(line) + ": " + std::string(message);
}
