// Random parameter text through the dispatch and help bodies, over a small
// table of its own: nested blocks, rows without a handler, a full block of
// 64 rows and an empty one. The leaf handler checks that the text it gets
// is the tail of the text the dispatch started from.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tool/trans_op.h"

namespace {

const char *g_text;
size_t g_len;

TransOpStatus leaf(const char *params)
{
    if (params < g_text || params > g_text + g_len || std::strlen(params) != g_len - (params - g_text))
        std::abort();
    return 0;
}

TransOpStatus into_second(const char *params) { return trans_op_dispatch(g_TransOpTab[1], params); }
TransOpStatus into_full(const char *params) { return trans_op_dispatch(g_TransOpTab[2], params); }

constexpr TransOpBlock full_block()
{
    TransOpBlock b{2, "full", {}};
    for (auto &row : b.rows)
        row = {"x", nullptr, leaf};
    b.rows[63] = {"last", "help of the last row", leaf};
    return b;
}

} // namespace

const TransOpBlock g_TransOpTab[kTransOpBlocks] = {
    {0, "first", {{"a", "help a", into_second}, {"b", nullptr, nullptr}, {"full", "", into_full}, {"c", "help c", leaf}}},
    {1, "second", {{"x", nullptr, leaf}, {"x", "again", leaf}, {"help", "show this help message", help_write}}},
    full_block(),
};

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), strnlen(reinterpret_cast<const char *>(data), size));
    g_text = text.c_str();
    g_len = text.size();
    TransOpStatus r = trans_op_dispatch(g_TransOpTab[0], g_text);
    if (r != 0 && r != kTransOpNotSupported && r != kTransOpNoTarget)
        std::abort();
    for (size_t b = 0; b < 4; b++)
        if (trans_op_help(g_TransOpTab[b], g_text) != 0)
            std::abort();
    char word[kTargetWordSize];
    int n = get_target_name(g_text, word);
    if (n > static_cast<int>(g_len) || (n >= 0 && std::strlen(word) >= kTargetWordSize))
        std::abort();
    return 0;
}
