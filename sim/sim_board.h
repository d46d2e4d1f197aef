// The simulated board as a whole: a board profile, its device models and
// the saved board under a root directory.
//
// The saved board is the document "<root>/.sim/board" (see sim/kit/sim_doc.h):
//
//   quorbix-sim board 2
//   [board]
//   model = "ZK17DORN"
//   [<device model sections>...]
//   [end]
//   sections = 0x<number of sections above>
//   <each section's name> = 0x1
//
// A board without a complete [end], or missing a section [end] names, was
// cut short and is refused (a version 1 board, which has no [end], is read
// as before). Every refusal of a saved board ends in "(give --reset to start
// a fresh board)".
//
// The root is opened once, as a directory, and the run reaches everything
// under it through that descriptor: its text is only ever shown, escaped
// (sim_escape), in messages. The board's own directory "<root>/.sim" is
// opened from it following no link, and so are its files (board, board.tmp,
// lock), which must be regular files: nothing there is followed out of the
// root or waited on.
//
// The board's directory is made 0700 and its lock 0600 whatever the umask
// (existing ones are set so), so no other user can hold the lock.
//
// A run takes "<root>/.sim/lock" (flock) from sim_board_open to
// sim_board_close, so two runs on one root take turns; a run that has to
// wait says so on stderr. Once it holds the lock, what a run that stopped
// left in "<root>/.sim" is removed, following no link: "board.tmp",
// whatever it is (a directory with all it holds), and with reset a
// directory at "board"; so nothing there stops the save. The board is
// saved at sim_board_close and, for a process that ends through exit()
// with the board still open, from an exit handler.
//
// From sim_board_open to the save every change under the root is noted
// (sim/root_undo.h), so the root can be put back as it was: by
// sim_board_abandon, by a save that fails, or by sim_board_stop for a run
// stopped by a signal. The save and the end of the undo are made under
// the kernel's lock, as sim_board_stop is: a stop sees the old board and
// the root as it was, or the new board and the root as the run left it.
#ifndef QUORBIX_SIM_SIM_BOARD_H
#define QUORBIX_SIM_SIM_BOARD_H

#include <span>
#include <string>
#include <string_view>

#include "sim/board_profile.h"
#include "sim/kit/sim_doc.h"
#include "sim/kit/sim_words.h"

inline constexpr const char *kSimBoardNamePath = "/sys/devices/virtual/dmi/id/board_name";
inline constexpr const char *kSimNodeOnlinePath = "/sys/devices/system/node/online";
inline constexpr const char *kSimCmdlinePath = "/proc/cmdline";
inline constexpr const char *kSimInterruptsPath = "/proc/interrupts";
inline constexpr const char *kSimBoardDocPath = "/.sim/board";
inline constexpr const char *kSimBoardLockPath = "/.sim/lock";
inline constexpr const char *kSimDefaultBoard = "ZK17DORN";
inline constexpr unsigned kSimBoardVersion = 2;

// The profile of a model name, matched whole ("ZK17KESP", not "xZK17KESP"
// or ""); null for any other text.
const SimBoardProfile *sim_board_profile(std::string_view board);
// "unknown board model 'TEXT' (models: ...)", the refusal of a model name.
std::string sim_board_unknown(std::string_view board);
std::span<const SimBoardProfile> sim_board_profiles();

struct SimBoardStart {
    std::string root;     // real directory standing for "/", created when missing
    std::string board;    // model name; empty: the saved board's, or the default
    bool reset = false;   // forget the saved board and start a fresh one
    bool defaultRoot = false;  // root is the default one, not the user's choice
                               // (see sim_board_default_root)
};

// Opens the board kept under start.root (or a fresh one) and selects the
// simulated host. Returns 0, or 1 with a reason in `error` (a saved board
// that does not parse gives "file:line: message"; a board model that differs
// from the saved one without reset is refused). Refused before anything is
// written: a root that cannot be opened as a directory, the real root
// (sim_board_same_dir), one its user may not read, write and search, a
// default root sim_board_default_root refuses, and a "<root>/.sim" that is
// a link or not the user's. Nothing is selected then, and the root is as it was. With reset
// the saved board is not read; the run's board replaces it when saved. A
// missing root is made first, with its missing parents (the default root
// with mode 0700).
int sim_board_open(const SimBoardStart &start, std::string &error);

// Whether the directory open at `dirFd` is `other` (same device and inode):
// 1 it is, 0 it is not, -1 with errno when either cannot be looked at.
int sim_board_same_dir(int dirFd, const std::string &other);

// The default root at `root`, opened as a directory: -1 with a line that
// names it and says what to do (remove it, or give --root) unless it is a
// directory, not a link, owned by this user (its effective uid) and not
// writable by group or others.
int sim_board_default_root(const std::string &root, std::string &error);

// Test shorthand: the board kept in `root` (fresh when there is none) with
// model `board` (empty: as saved). A failure is printed on stderr.
int sim_board_open(const std::string &root, const std::string &board);

// Saves the board, keeps the root as the run left it, releases the lock
// and returns to the real host. Returns 0, or 1 when the board could not be
// saved: the root is then put back as it was before the run, and one line
// on stderr says why and whether all of it was put back. Does nothing when
// no board is open.
int sim_board_close();

// Drops the open board without saving it and puts back every entry the run
// changed under the root since sim_board_open. Returns 0, or 1 with what
// it could not put back in `error`. Does nothing when no board is open.
int sim_board_abandon(std::string &error);

// For a run stopped by a signal; the caller holds the kernel's lock
// (sim_kernel_lock) and keeps it until the process ends, so no call of the
// run goes on. From the moment the root is open until the board is saved
// (or dropped), puts the root back as it was before the run and drops the
// board unsaved, the lock left to the process's end; returns "ROOT put back
// as it was", or "ROOT: " and the undo's line when something could not be
// put back (ROOT escaped). "" at any other time: nothing to put back.
std::string sim_board_stop();

// The board models, "ZK17TRVA, ZK17DORN, ...".
std::string sim_board_models();

// The profile of the open board (null when none is open).
const SimBoardProfile *sim_board_current();

#endif
