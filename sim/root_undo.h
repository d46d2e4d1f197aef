// Taking a root directory back to what it held when a run began.
//
// Every routine of the simulated kernel that changes an entry under the
// root (a file written or created, a directory made, a link made or
// replaced, an entry removed or renamed) first notes what the entry is
// (sim_undo_note). sim_undo_restore then puts the noted entries back in
// the reverse order, through the root's descriptor: it touches only what
// the run changed, lists nothing and reaches nothing outside the root.
// "/.sim" is the board's own and is left alone.
#ifndef QUORBIX_SIM_ROOT_UNDO_H
#define QUORBIX_SIM_ROOT_UNDO_H

#include <string>

// Starts an undo (one at a time) of the root the kernel holds open, now
// or after the next sim_reset (which leaves the undo as it is).
void sim_undo_begin();
// The entry at `canonical` under the root (sim_resolve's form: "/etc/x"
// for ROOT/etc/x, no link on the way) is about to change: note what it is
// (absent, a file's bytes, mode and times, a link's target, a directory),
// once per entry.
void sim_undo_note(const std::string &canonical);
// Puts the noted entries back and ends the undo. False, with the paths it
// could not put back in `error`, when some change could not be undone.
bool sim_undo_restore(std::string &error);
// Ends the undo, keeping the root as it is.
void sim_undo_end();

#endif
