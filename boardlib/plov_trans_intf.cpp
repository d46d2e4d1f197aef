#include "boardlib/plov_trans_intf.h"

#include <cstdio>
#include <cstring>

#include "bases/globals/globals.h"

uint32_t geBoardLogicType = PLOV_BOARD_UNKNOWN;
PlovLogHook g_pfPLOVTransLog = nullptr;
PlovLogHook g_pfPLOV_SFP_8472Log = nullptr;

namespace {

constexpr size_t kBoardNameBuf = 17;
constexpr int kBoardNameRead = 16;

// Board names and the type they select, tested as substrings in order.
struct BoardLogic {
    const char *name;
    uint32_t type;
};
constexpr BoardLogic kBoardLogic[] = {
    {"ZK17DORN", PLOV_BOARD_DORN},
    {"ZK17KESP", PLOV_BOARD_KESP},
};

} // namespace

PlovStatus TRANS_BoardGetLogicType(uint32_t *type)
{
    if (type == nullptr)
        return PLOV_ERR_NULL_PTR;
    char name[kBoardNameBuf] = {};
    FILE *f = host().fopen(PLOV_BOARD_NAME_PATH, "r");
    if (f == nullptr) {
        TRANS_LOG_ERR("open %s failed\n", PLOV_BOARD_NAME_PATH);
        return PLOV_ERR_OPEN;
    }
    if (std::fgets(name, kBoardNameRead, f) == nullptr) {
        TRANS_LOG_ERR("unknow board type,name %s\n", name);
        std::fclose(f);
        return PLOV_ERR_BOARD_NAME;
    }
    std::fclose(f);
    for (const BoardLogic &b : kBoardLogic) {
        if (std::strstr(name, b.name) != nullptr) {
            *type = b.type;
            return PLOV_OK;
        }
    }
    *type = PLOV_BOARD_UNKNOWN;
    return PLOV_ERR_BOARD_NAME;
}

PlovStatus PlovCheckLogicType()
{
    if (geBoardLogicType != PLOV_BOARD_UNKNOWN)
        return PLOV_OK;
    PlovStatus ret = TRANS_BoardGetLogicType(&geBoardLogicType);
    if (ret != PLOV_OK)
        PLOV_LOG_ERR("TRANS_GetLogicVer err [return %d ]\n", ret);
    return ret;
}

PlovStatus PlovTransSetIntMask(FpgaId, uint32_t) { return PLOV_OK; }
PlovStatus PlovTransGetIntMask(FpgaId, uint32_t *) { return PLOV_OK; }
PlovStatus PlovTransGetPortPrivStatistics(FpgaId, uint8_t, PortStatistic *) { return PLOV_OK; }
PlovStatus PlovTransSetAntiCpuSwitchAll(FpgaId, uint32_t) { return PLOV_OK; }
PlovStatus PlovTransGetAntiCpuSwitchAll(FpgaId, uint32_t *) { return PLOV_OK; }
PlovStatus PlovTransSetAntiCpuSwitch(FpgaId, uint8_t, uint32_t) { return PLOV_OK; }
PlovStatus PlovTransGetAntiCpuSwitch(FpgaId, uint8_t, uint32_t *) { return PLOV_OK; }
PlovStatus PlovTransSetAntiCpuResLevel(FpgaId, uint32_t, uint16_t) { return PLOV_OK; }
PlovStatus PlovTransGetAntiCpuResLevel(FpgaId, uint32_t, uint16_t *) { return PLOV_OK; }

// The board type is found once per process; the tool never sets a hook.
GLOBALS_RESET(plov_trans_intf)
{
    geBoardLogicType = PLOV_BOARD_UNKNOWN;
    g_pfPLOVTransLog = nullptr;
    g_pfPLOV_SFP_8472Log = nullptr;
}
