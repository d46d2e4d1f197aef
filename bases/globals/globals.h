// Process-wide state, reset in one call. Each module that keeps state for
// the whole process (a board type found once, a log hook, a catalogue built
// on first use) registers how to bring it back to its starting value, next
// to where the state is defined:
//
//     GLOBALS_RESET(trans_table) { ...set the module's globals back... }
//
// Test programs call globals_reset_all() before every test, so tests can
// run in any order in one process.
#ifndef QUORBIX_BASES_GLOBALS_GLOBALS_H
#define QUORBIX_BASES_GLOBALS_GLOBALS_H

#include <cstddef>

using GlobalsResetFn = void (*)();

// Adds a reset under a module name; returns true so that registration can
// initialise a namespace-scope constant. Not thread-safe: registration runs
// during static initialisation.
bool globals_register(const char *module, GlobalsResetFn reset);

// Runs every registered reset, in registration order.
void globals_reset_all();

// The number of registered resets and the module name of one of them.
size_t globals_count();
const char *globals_module(size_t i);

#define GLOBALS_RESET(module)                                                              \
    static void globals_reset_##module();                                                  \
    [[maybe_unused]] static const bool kGlobalsRegistered_##module =                       \
        globals_register(#module, globals_reset_##module);                                 \
    static void globals_reset_##module()

#endif
