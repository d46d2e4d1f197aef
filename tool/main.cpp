#include "tool/quorbix.h"

int main(int argc, char **argv)
{
    return quorbix_run(argc, argv);
}
