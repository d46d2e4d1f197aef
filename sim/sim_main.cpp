// quorbix-sim: quorbix on the simulated board (see sim/sim_run.h).
#include "sim/sim_run.h"

int main(int argc, char **argv)
{
    return quorbix_sim_run(argc, argv);
}
