#include "tool/quorbix.h"

int quorbix_run(int, char **)
{
    return 2;
}
