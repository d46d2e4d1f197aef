// The process entry as a function: runs a command line and returns the
// process status, so tests can run whole command lines in one process.
#ifndef QUORBIX_TOOL_QUORBIX_H
#define QUORBIX_TOOL_QUORBIX_H

#include <cstdint>

#include "tool/trans_op.h"

// Returns 0 when the last -r/-m command succeeded, 1 after the usage text,
// 2 when the last command failed or no command ran.
int quorbix_run(int argc, char **argv);

// The option walk of quorbix_run after the board name is read: -r goes to
// `read`, -m to `mfc` (op_read and op_mfc; tests may give their own).
int quorbix_walk(int argc, char **argv, TransOpHandler read, TransOpHandler mfc);

// The board model: up to 15 characters of the DMI board name as read (a
// newline that fits is kept), zero-terminated, or the default model name.
// Set once at start-up, before any command runs.
inline constexpr int kBoardNameSize = 17;
extern char gBoardName[kBoardNameSize];

// The known models, matched in order as prefixes of the DMI board name.
inline constexpr int kBoardModels = 9;
extern const char *g_board_name[kBoardModels];

inline constexpr const char *kBoardNamePath = "/sys/devices/virtual/dmi/id/board_name";
inline constexpr const char *kDefaultBoardName = "ZK17DORN";

// Reads the DMI board name into gBoardName: 0 when it starts with a known
// model name, -1200 otherwise (the reason is printed).
int32_t GetBoardName();

// Prints the version line.
void version();

// Prints the usage text.
void usage();

#endif
