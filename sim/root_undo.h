// Taking a root directory back to what it held when a run began.
//
// Every routine of the simulated kernel that changes an entry under the
// root (a file written or created, a directory made, a link made or
// replaced, an entry removed or renamed) first notes what the entry is
// (sim_undo_note). sim_undo_restore then puts the noted entries back in
// the reverse order, through the root's descriptor: it touches only what
// the run changed, lists nothing and reaches nothing outside the root.
// "/.sim" is the board's own and is left alone.
//
// A file's old bytes are never held in memory. They are kept aside in a
// directory of the undo's own in the board's directory, ".sim/undo":
// the file itself, renamed there before a truncating open (an empty file
// with its mode takes its place) or linked there before it is removed or
// replaced; a copy, made extent by extent so holes stay holes, where the
// old bytes stay in place (append, read-write) or where a mount point
// lies between (EXDEV). What was kept aside goes when the undo ends, and
// at the next start after a run that was killed.
#ifndef QUORBIX_SIM_ROOT_UNDO_H
#define QUORBIX_SIM_ROOT_UNDO_H

#include <cstdint>
#include <string>

// Starts an undo (one at a time) of the root the kernel holds open, now
// or after the next sim_reset (which leaves the undo as it is). `simDirFd`
// is the board's own directory, open (and locked by the caller): what an
// earlier run left kept aside there is removed first, never following a
// link. Without it (-1) nothing can be kept aside: a change that needs to
// keep a file is refused (EACCES).
void sim_undo_begin(int simDirFd);

// How the change about to be made treats an entry that is there.
enum class UndoKeep : uint8_t {
    none,      // it changes nothing that is there (a directory made)
    truncate,  // a file there is emptied (kept by renaming it aside)
    inPlace,   // a file there is written in place (kept as a copy)
    replace,   // the entry is removed or replaced whole (kept by a link)
    moves,     // the entry is renamed: a file is copied (a second name
               // would refuse writes through the new one), else linked
};
// The entry at `canonical` under the root (sim_resolve's form: "/etc/x"
// for ROOT/etc/x, no link on the way) is about to change: note what it is
// (absent, a file kept aside, a link's target, a directory), once per
// entry. 0, or -EACCES when a file there can be kept aside neither way:
// the change must not be made.
int sim_undo_note(const std::string &canonical, UndoKeep how);
// The change just noted at `canonical` was not made after all (its open
// failed): a file renamed aside for it goes back in place at once, and
// that note is forgotten. Only the last note is taken back; any other
// stays, harmless.
void sim_undo_cancel(const std::string &canonical);
// Puts the noted entries back and ends the undo. False, with one line in
// `error` (how many entries could not be put back, the first three by
// name), when some change could not be undone.
bool sim_undo_restore(std::string &error);
// Ends the undo, keeping the root as it is.
void sim_undo_end();

#endif
