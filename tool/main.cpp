#include <cstdio>

#include "tool/quorbix.h"

int main(int argc, char **argv)
{
    int status = quorbix_run(argc, argv);
    std::fflush(stdout);
    return status;
}
