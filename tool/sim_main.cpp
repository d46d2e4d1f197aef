// quorbix on the simulated board:
//   quorbix-sim [--board MODEL] [--root DIR] -- OPTIONS...
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "sim/sim_board.h"
#include "tool/quorbix.h"

namespace {

std::string default_root()
{
    return "/tmp/quorbix-sim-" + std::to_string(getuid());
}

int sim_usage()
{
    std::fprintf(stderr, "usage: quorbix-sim [--board MODEL] [--root DIR] -- OPTIONS...\n");
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    std::string root = default_root();
    std::string board;
    int i = 1;
    for (; i < argc; i++) {
        if (std::strcmp(argv[i], "--") == 0) {
            i++;
            break;
        }
        if (i + 1 < argc && std::strcmp(argv[i], "--board") == 0)
            board = argv[++i];
        else if (i + 1 < argc && std::strcmp(argv[i], "--root") == 0)
            root = argv[++i];
        else
            return sim_usage();
    }
    sim_board_open(root, board);
    // The tool sees the program name followed by the options after "--".
    argv[i - 1] = argv[0];
    int status = quorbix_run(argc - i + 1, argv + i - 1);
    std::fflush(stdout);
    sim_board_close();
    return status;
}
