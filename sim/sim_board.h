// The simulated board as a whole: the files and device models of one board
// under a root directory.
#ifndef QUORBIX_SIM_SIM_BOARD_H
#define QUORBIX_SIM_SIM_BOARD_H

#include <string>

inline constexpr const char *kSimBoardNamePath = "/sys/devices/virtual/dmi/id/board_name";

// Take `root` as "/" and select the simulated host for this process. When
// the root holds no board yet, write one of model `board` (a DMI board name
// such as "ZK17DORN"); a non-empty `board` always rewrites the board name.
// Then attach the device models of the board.
void sim_board_open(const std::string &root, const std::string &board);

// Save the models' state under the root and return to the real host.
void sim_board_close();

#endif
