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
// does not load, a refused root or board change, a fixture error, a board
// that could not be saved (the root is then put back) or an exception of
// the simulated board; otherwise the tool's.
//
// Signals, from the call to its return (the dispositions found are put
// back when it returns): SIGPIPE is ignored, so output to a closed pipe is
// dropped and the run goes on to its save and its own status. SIGINT,
// SIGTERM and SIGHUP (unless ignored when the run starts) stop the run: the
// root is put back as it was before the run, the saved board untouched
// (sim_board_stop), one line "quorbix-sim: stopped by SIGINT; ROOT put back
// as it was" (or the undo's line) goes to stderr, and the process ends by
// the same signal, its default action restored. A run waiting for the lock
// of another run ends so too; it has nothing to put back.
//
// The request journal is not kept (a run's memory does not grow with its
// commands) unless quorbix_sim_keep_journal(true) asked for it.
#ifndef QUORBIX_SIM_SIM_RUN_H
#define QUORBIX_SIM_SIM_RUN_H

int quorbix_sim_run(int argc, char **argv);

// For tests that read the journal of an in-process run: whether the runs
// keep it (not by default).
void quorbix_sim_keep_journal(bool keep);

#endif
