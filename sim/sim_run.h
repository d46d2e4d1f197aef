// quorbix on the simulated board, as a function returning the process
// status (sim/sim_main.cpp's main only calls it):
//
//   quorbix-sim [--board MODEL] [--root DIR] [--reset] [--fixture FILE] -- OPTIONS...
//
// --root DIR      the board's directory (default /tmp/quorbix-sim-<uid>)
// --board MODEL   the board model of a fresh board; a saved board of another
//                 model is refused unless --reset is given
// --reset         forget the saved board and start a fresh one
// --fixture FILE  apply the facts of FILE (sim/fixture_file.h); repeatable
//
// Status 1 with a line on stderr for a usage error, a saved board that does
// not parse, a refused board change or a fixture error; otherwise the tool's.
#ifndef QUORBIX_SIM_SIM_RUN_H
#define QUORBIX_SIM_SIM_RUN_H

int quorbix_sim_run(int argc, char **argv);

#endif
