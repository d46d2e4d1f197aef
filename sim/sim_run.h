// quorbix on the simulated board, as a function returning the process
// status (sim/sim_main.cpp's main only calls it):
//
//   quorbix-sim [-h] [--board MODEL] [--root DIR] [--reset] [--fixture FILE]... [--syslog] -- OPTIONS...
//
// -h, --help      options and board models on stdout, status 0
// --root DIR      the board's directory (default /tmp/quorbix-sim-<uid>,
//                 made with mode 0700, and used only while it is a
//                 directory, not a link, that this user owns and group and
//                 others may not write); see sim_board_open for the roots
//                 refused
// --board MODEL   the board model of a fresh board, one of the model names
//                 exactly (any other text, "" too, is an unknown model); a
//                 saved board of another model is refused unless --reset
// --reset         start a fresh board in place of the saved one
// --fixture FILE  apply the facts of FILE (sim/fixture_file.h); repeatable.
//                 The fixtures are all or nothing: on an error in any line
//                 of any file the board is not saved and DIR is put back
//                 as it was (sim_board_abandon)
// --syslog        the syslog lines the run wrote, on stderr after the run
//
// Status 1 with one line on stderr for a usage error, a saved board that
// does not load, a refused root or board change, a fixture error or an
// exception of the simulated board; otherwise the tool's.
#ifndef QUORBIX_SIM_SIM_RUN_H
#define QUORBIX_SIM_SIM_RUN_H

int quorbix_sim_run(int argc, char **argv);

#endif
