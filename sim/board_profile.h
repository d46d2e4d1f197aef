// The board profile record: what a board model carries and the device
// models it attaches. Device models take the profile from here, not from
// the board as a whole (sim_board.h).
#ifndef QUORBIX_SIM_BOARD_PROFILE_H
#define QUORBIX_SIM_BOARD_PROFILE_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/kit/sim_doc.h"

// Which packet FPGAs a board carries.
enum class SimFpgas { None, Dorn, Kesp };  // none; trans and sbuf; trans only

struct SimBoardProfile;

// A device model of a board: attach registers its nodes with the state it
// finds in the saved board (an empty document on a fresh board) and returns
// false, with saved.error set, when that state does not parse; save writes
// its state into the board document.
struct SimBoardDevice {
    const char *name;
    bool (*attach)(const SimBoardProfile &board, SimDoc &saved);
    void (*save)(SimDoc &doc);
};

// An entry a fresh board makes under the root (its canonical path) and
// what it is, so that a reset can take away what a fresh board of another
// model makes.
enum class SimMadeKind : uint8_t { Dir, File, Link };
struct SimMade {
    std::string path;
    SimMadeKind kind;
};

// Whether `saved` is a fresh board's (empty) document: a loaded board
// always has its [board] section. A model writes a fresh board's files
// only then.
inline bool sim_board_fresh(const SimDoc &saved) { return saved.find("board") == nullptr; }

struct SimBoardProfile {
    const char *model;                        // one of the DMI model names
    SimFpgas fpgas;                           // the FPGA model's setting
    std::span<const SimBoardDevice> devices;  // attached in order
    const char *fixture;                      // facts of a fresh board (fixture format), or null
};

#endif
