#include "tool/opt_walk.h"

#include <cstring>

namespace {

bool is_option(const char *text)
{
    return text != nullptr && text[0] == '-' && text[1] != '\0';
}

// Moves to the next argument that holds options; false at the end.
bool opt_find(OptWalk &walk)
{
    for (; walk.index < walk.argc; walk.index++) {
        const char *text = walk.argv[walk.index];
        if (std::strcmp(text, "--") == 0) {
            walk.index = walk.argc;
            return false;
        }
        if (is_option(text)) {
            walk.pos = 1;
            return true;
        }
    }
    return false;
}

} // namespace

int opt_next(OptWalk &walk)
{
    walk.arg = nullptr;
    if (walk.pos == 0 && !opt_find(walk))
        return kOptEnd;
    const char *text = walk.argv[walk.index];
    char c = text[walk.pos++];
    bool last = text[walk.pos] == '\0';
    if (last) {
        walk.index++;
        walk.pos = 0;
    }
    const char *found = c == ':' ? nullptr : std::strchr(walk.optstring, c);
    if (found == nullptr)
        return '?';
    if (found[1] != ':')
        return c;
    if (!last) {
        walk.arg = text + walk.pos;
        walk.index++;
        walk.pos = 0;
        return c;
    }
    if (walk.index >= walk.argc)
        return walk.optstring[0] == ':' ? ':' : '?';
    walk.arg = walk.argv[walk.index++];
    return c;
}
