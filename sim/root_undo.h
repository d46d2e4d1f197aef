// Taking a root directory back to what it held when a run began.
//
// sim_undo_begin notes every entry under the root (its kind, size, time and,
// for a link, its target); sim_write_file keeps the bytes of a file it is
// about to overwrite (sim_undo_keep). sim_undo_restore then removes what the
// run created, puts back what it removed or overwrote, and ends the undo.
// "/.sim/lock" is left alone. Files changed by anything other than
// sim_write_file cannot be put back: restore reports them.
#ifndef QUORBIX_SIM_ROOT_UNDO_H
#define QUORBIX_SIM_ROOT_UNDO_H

#include <string>

// Starts an undo of the real directory `root` (one at a time).
void sim_undo_begin(const std::string &root);
// The file at `canonical` under the root is about to be written: keep its
// bytes once. `canonical` is the path as the simulated kernel resolves it
// (sim_resolve): "/etc/x" for ROOT/etc/x, no link on the way, so what is
// kept is the file the write reaches.
void sim_undo_keep(const std::string &canonical);
// Puts the root back and ends the undo. False, with the paths it could not
// put back in `error`, when some change could not be undone.
bool sim_undo_restore(std::string &error);
// Ends the undo, keeping the root as it is.
void sim_undo_end();

#endif
