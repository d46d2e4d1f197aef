// The README's text as the tests read it: a section's lines, its indented
// blocks, and output lines with their trailing blanks removed.
#ifndef QUORBIX_TESTS_SUPPORT_README_TEXT_H
#define QUORBIX_TESTS_SUPPORT_README_TEXT_H

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline std::string without_trailing_blanks(std::string line)
{
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

// The lines of README.md from the heading `heading` ("## Commands") up to
// the next heading of that level.
inline std::vector<std::string> readme_section(const std::string &heading)
{
    std::ifstream in(std::string(QUORBIX_SOURCE_DIR) + "/README.md");
    std::vector<std::string> out;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("## "))
            inside = line == heading;
        if (inside)
            out.push_back(line);
    }
    return out;
}

// The indented block that follows the line starting with `after` (or
// whose first line starts with it, when `inclusive`); blank lines inside
// the block are part of it. Indentation and trailing blanks are removed.
inline std::vector<std::string> indented_block(const std::vector<std::string> &lines, const std::string &after,
                                               bool inclusive)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < lines.size() && !lines[i].starts_with(after))
        i++;
    if (i < lines.size() && !inclusive)
        i += 2;   // the line and the blank after it
    for (; i < lines.size(); i++) {
        if (lines[i].starts_with("    ")) {
            out.push_back(without_trailing_blanks(lines[i].substr(4)));
            continue;
        }
        size_t next = i;
        while (next < lines.size() && without_trailing_blanks(lines[next]).empty())
            next++;
        if (next == i || next == lines.size() || !lines[next].starts_with("    "))
            break;
        out.insert(out.end(), next - i, "");
        i = next - 1;
    }
    return out;
}

inline std::vector<std::string> trimmed_lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(without_trailing_blanks(l));
    return out;
}

#endif
