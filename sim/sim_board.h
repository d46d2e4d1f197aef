// The simulated board as a whole: a board profile, its device models and
// the saved board under a root directory.
//
// The saved board is the document "<root>/.sim/board" (see sim/kit/sim_doc.h):
//
//   quorbix-sim board 1
//   [board]
//   model = "ZK17DORN"
//   [<device model sections>...]
//
// A run takes "<root>/.sim/lock" (flock) from sim_board_open to
// sim_board_close, so two runs on one root take turns. The board is saved at
// sim_board_close and, for a process that ends through exit() with the board
// still open, from an exit handler.
#ifndef QUORBIX_SIM_SIM_BOARD_H
#define QUORBIX_SIM_SIM_BOARD_H

#include <span>
#include <string>
#include <string_view>

#include "sim/board_profile.h"
#include "sim/kit/sim_doc.h"

inline constexpr const char *kSimBoardNamePath = "/sys/devices/virtual/dmi/id/board_name";
inline constexpr const char *kSimBoardDocPath = "/.sim/board";
inline constexpr const char *kSimBoardLockPath = "/.sim/lock";
inline constexpr const char *kSimDefaultBoard = "ZK17DORN";
inline constexpr unsigned kSimBoardVersion = 1;

// The profile of a board name: the first profile whose model name the text
// contains; null when none does.
const SimBoardProfile *sim_board_profile(std::string_view board);
std::span<const SimBoardProfile> sim_board_profiles();

struct SimBoardStart {
    std::string root;     // real directory standing for "/", created when missing
    std::string board;    // model name; empty: the saved board's, or the default
    bool reset = false;   // forget the saved board and start a fresh one
};

// Opens the board kept under start.root (or a fresh one) and selects the
// simulated host. Returns 0, or 1 with a reason in `error` (a saved board
// that does not parse gives "file:line: message"; a board model that differs
// from the saved one without reset is refused). Nothing is selected then.
int sim_board_open(const SimBoardStart &start, std::string &error);

// Test shorthand: the board kept in `root` (fresh when there is none) with
// model `board` (empty: as saved). A failure is printed on stderr.
int sim_board_open(const std::string &root, const std::string &board);

// Saves the board, releases the lock and returns to the real host. Returns
// 0, or 1 with the reason printed on stderr when the board could not be
// saved. Does nothing when no board is open.
int sim_board_close();

// The profile of the open board (null when none is open).
const SimBoardProfile *sim_board_current();

#endif
