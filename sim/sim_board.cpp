#include "sim/sim_board.h"

#include <filesystem>

#include "sim/fpga_model.h"
#include "sim/mpt_model.h"
#include "sim/sim_host.h"

namespace {

constexpr const char *kDefaultBoard = "ZK17DORN";

// Each device model of the board: attach reads its state from files under
// the root (writing a fresh board's state when none is there), detach saves it.
struct SimBoardModel {
    void (*attach)();
    void (*detach)();
};

constexpr SimBoardModel kModels[] = {
    {fpga_model_attach, fpga_model_detach},
    {mpt_model_attach, mpt_model_detach},
};

} // namespace

void sim_board_open(const std::string &root, const std::string &board)
{
    std::filesystem::create_directories(root);
    sim_reset(root);
    if (!board.empty())
        sim_write_file(kSimBoardNamePath, board + "\n");
    else if (!std::filesystem::exists(sim_path(kSimBoardNamePath)))
        sim_write_file(kSimBoardNamePath, std::string(kDefaultBoard) + "\n");
    for (const SimBoardModel &m : kModels)
        if (m.attach)
            m.attach();
    host_select(&g_simHost);
}

void sim_board_close()
{
    for (const SimBoardModel &m : kModels)
        if (m.detach)
            m.detach();
    host_select(nullptr);
}
