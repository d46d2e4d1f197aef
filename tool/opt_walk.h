// The option walk of the command line.
//
// Options are single letters after a "-", several may share one argument
// ("-vm port/k/0:1"); a letter followed by ':' in the option string takes an
// argument, either the rest of its argument ("-mport") or the next argument
// ("-m port"), whatever that next argument looks like. Arguments that are not
// options are passed over, so options after them are still taken, in
// command-line order; "--" ends the options. A leading ':' in the option
// string makes a missing argument come back as ':' rather than '?'.
// All state lives in the OptWalk record; nothing is read from the environment.
#ifndef QUORBIX_TOOL_OPT_WALK_H
#define QUORBIX_TOOL_OPT_WALK_H

struct OptWalk {
    int argc;
    char *const *argv;
    const char *optstring;
    int index = 1;               // argument being examined
    int pos = 0;                 // letter within it, 0 when between arguments
    const char *arg = nullptr;   // argument of the last option that takes one
};

inline constexpr int kOptEnd = -1;

// The next option letter, '?' for a letter not in the option string, ':' (or
// '?' without the leading ':') for a missing argument, or kOptEnd.
int opt_next(OptWalk &walk);

#endif
