#include "boardlib/plov_trans_intf.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "bases/host/host.h"

#include "bases/globals/globals.h"
#include "boardlib/plov_check.h"

uint32_t geBoardLogicType = PLOV_BOARD_UNKNOWN;

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

PlovStatus PlovCheckFpgaId(FpgaId fpga, bool log)
{
    if (fpga <= 1)
        return PLOV_OK;
    return log ? PLOV_BAD_FPGA(fpga) : PLOV_ERR_FPGA_ID;
}

PlovStatus PlovCheckKespFpga(FpgaId fpga)
{
    if (geBoardLogicType != PLOV_BOARD_KESP || fpga == 0)
        return PLOV_OK;
    PLOV_LOG_ERR(" invalid fpga_id = %d\n", fpga);
    return PLOV_ERR_KESP_FPGA;
}

PlovStatus PlovProbeBranch(FpgaId fpga, bool *kesp)
{
    PlovStatus ret = PlovCheckLogicType();
    if (ret != PLOV_OK)
        return ret;
    *kesp = geBoardLogicType == PLOV_BOARD_KESP;
    return PlovCheckKespFpga(fpga);
}

PlovStatus PlovCheckAndProbe(FpgaId fpga, bool *kesp)
{
    PlovStatus ret = PlovCheckFpgaId(fpga);
    return ret != PLOV_OK ? ret : PlovProbeBranch(fpga, kesp);
}

PlovStatus PlovNullPointer()
{
    PLOV_LOG_ERR("NULL Pointer detected!\n");
    return PLOV_ERR_NULL_PTR;
}

// The refusal line of the DORN-only operations, at either level.
#define UNSUPPORTED_LINE(tag) "[PLOV_LOG] %s:%d " tag "unsupport operate[geBoardLogicType = %d ]"

bool PlovDornOnlyRefuses(int level, const char *file, int line)
{
    if (geBoardLogicType != PLOV_BOARD_KESP)
        return false;
    const bool info = level == PLOV_LEVEL_INFO;
    if (g_pfPLOVTransLog != nullptr)
        g_pfPLOVTransLog(level, 0, info ? UNSUPPORTED_LINE("[PLOV_SFP_8472-INFO]") : UNSUPPORTED_LINE("[PLOV_SFP_8472-ERR]"),
                         file, line, geBoardLogicType);
    else if (info)
        host_syslog(level, UNSUPPORTED_LINE("[PLOV_SFP_8472-INFO]"), file, line, geBoardLogicType);
    else
        host_syslog(level, UNSUPPORTED_LINE("[PLOV_SFP_8472-ERR]"), file, line, geBoardLogicType);
    return true;
}

#undef UNSUPPORTED_LINE

PlovStatus PlovDornOnly(bool *done, PlovSite at)
{
    PlovStatus ret = PlovCheckLogicType();
    *done = ret != PLOV_OK || PlovDornOnlyRefuses(PLOV_LEVEL_ERR, at.file, at.line);
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

// The board type is found once per process.
GLOBALS_RESET(plov_trans_intf)
{
    geBoardLogicType = PLOV_BOARD_UNKNOWN;
}
