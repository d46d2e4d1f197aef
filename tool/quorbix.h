// The process entry as a function: runs a command line and returns the
// process status, so tests can run whole command lines in one process.
#ifndef QUORBIX_TOOL_QUORBIX_H
#define QUORBIX_TOOL_QUORBIX_H

int quorbix_run(int argc, char **argv);

#endif
