#include "bases/globals/globals.h"

#include <array>

namespace {

struct GlobalsEntry {
    const char *module;
    GlobalsResetFn reset;
};

// Room for every module of the tool; a registration beyond it is refused
// (globals_register returns false) rather than lost silently.
constexpr size_t kGlobalsMax = 64;

struct GlobalsTable {
    std::array<GlobalsEntry, kGlobalsMax> rows;
    size_t count;
};

// A function-local table: registrations from other files' static
// initialisers may run before this file's.
GlobalsTable &globals_table()
{
    static GlobalsTable table{};
    return table;
}

} // namespace

bool globals_register(const char *module, GlobalsResetFn reset)
{
    GlobalsTable &t = globals_table();
    if (module == nullptr || reset == nullptr || t.count == kGlobalsMax)
        return false;
    t.rows[t.count++] = {module, reset};
    return true;
}

void globals_reset_all()
{
    const GlobalsTable &t = globals_table();
    for (size_t i = 0; i < t.count; i++)
        t.rows[i].reset();
}

size_t globals_count()
{
    return globals_table().count;
}

const char *globals_module(size_t i)
{
    const GlobalsTable &t = globals_table();
    return i < t.count ? t.rows[i].module : nullptr;
}
