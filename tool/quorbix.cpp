#include "tool/quorbix.h"

#include <cstdio>
#include <cstring>

#include "bases/globals/globals.h"
#include "bases/host/host.h"
#include "kelvo/kelvo.h"
#include "tool/opt_walk.h"

char gBoardName[kBoardNameSize];

const char *g_board_name[kBoardModels] = {
    "ZK17TRVA", "ZK17DORN", "ZK17KESP", "ZK17WENA", "ZK17FOLRA",
    "ZK17BIXA", "ZK17WENB", "ZK17WENC", "ZK17FOLRB",
};

namespace {

constexpr const char *kVersion = "ver 2.200.10.11.o";
constexpr const char *kOptString = ":vr:m:";
constexpr int32_t kBoardUnknown = -1200;

bool board_name_known()
{
    for (const char *model : g_board_name) {
        if (std::strncmp(gBoardName, model, std::strlen(model)) == 0)
            return true;
    }
    return false;
}

void set_default_board()
{
    memcpy_s(gBoardName, sizeof(gBoardName), kDefaultBoardName, std::strlen(kDefaultBoardName) + 1);
    std::puts("get board name failed, set board name ZK17DORN\n");
}

} // namespace

int32_t GetBoardName()
{
    FILE *file = host().fopen(kBoardNamePath, "r");
    memset_s(gBoardName, sizeof(gBoardName), 0, sizeof(gBoardName) - 1);
    if (file == nullptr) {
        std::printf("open %s failed\n\n", kBoardNamePath);
        return kBoardUnknown;
    }
    bool known = std::fgets(gBoardName, sizeof(gBoardName) - 1, file) != nullptr && board_name_known();
    if (!known)
        std::printf("unknow board type,name %s\n\n", gBoardName);
    std::fclose(file);
    return known ? 0 : kBoardUnknown;
}

void version()
{
    std::printf("version : %s\n", kVersion);
}

void usage()
{
    std::printf("usage : \r\n\t./quorbix {OPTION} [TARGET]/[PARAMETER]\r\n\t\tOPTION : %s\r\n"
                "\t\t\t    -h : print this help message\r\n"
                "\t\t\t    -v : print version string\r\n"
                "\t\t\t    -r : read from mchbar \r\n"
                "\t\t\t    -m : print TARGET's manufactuer information\r\n"
                "\t\tTARGET/PARAMETER: command target name and paramter\r\n"
                "\t\texample: help, disk ...\r\n"
                "\t\"help\" is treated as target too, its parameter could be other targets' name\r\n"
                "\texample : ./quorbix -m disk/ -- show target \"disk\" help info only\r\n"
                "\texample : ./quorbix -m trans/v -- show target \"trans\" static version info\r\n\n",
                kOptString);
}

int quorbix_walk(int argc, char **argv, TransOpHandler read, TransOpHandler mfc)
{
    TransOpStatus last = -1;
    OptWalk walk{argc, argv, kOptString};
    // Output is flushed after each command so that it stays in order with
    // what the shell commands of some handlers write.
    for (int c; (c = opt_next(walk)) != kOptEnd; std::fflush(stdout)) {
        switch (c) {
        case 'r':
            last = read(walk.arg);
            break;
        case 'm':
            last = mfc(walk.arg);
            break;
        case 'v':
            version();
            break;
        default:
            usage();
            std::fflush(stdout);
            return 1;
        }
    }
    return last != 0 ? 2 : 0;
}

int quorbix_run(int argc, char **argv)
{
    if (GetBoardName() != 0)
        set_default_board();
    std::fflush(stdout);
    return quorbix_walk(argc, argv, op_read, op_mfc);
}

GLOBALS_RESET(quorbix)
{
    for (char &c : gBoardName)
        c = '\0';
}
