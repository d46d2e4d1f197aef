// The repeated failure lines of the board layer.
#include "boardlib/plov_check.h"

// One refused id: its line, with the tag, at the caller's place; its status.
// (The format stays a literal, as the hooks receive it.)
#define REFUSED_ID(name, tag, text, status)                                     \
    PlovStatus name(uint8_t id, PlovSite at)                                    \
    {                                                                           \
        PLOV_LOG_AT(at, g_pfPLOVTransLog, PLOV_LEVEL_ERR, tag, text, id);       \
        return status;                                                          \
    }

REFUSED_ID(TransBadFpga, TRANS_TAG_ERR, "Invalid FpgaID [%d]\n", PLOV_ERR_FPGA_ID)
REFUSED_ID(PlovBadFpga, PLOV_TAG_ERR, "Invalid FpgaID [%d]\n", PLOV_ERR_FPGA_ID)
REFUSED_ID(TransBadPort, TRANS_TAG_ERR, "Invalid PortID [%d]\n", PLOV_ERR_PORT_ID)
REFUSED_ID(PlovBadPort, PLOV_TAG_ERR, "Invalid PortID [%d]\n", PLOV_ERR_PORT_ID)

#undef REFUSED_ID

// A port refused on its FPGA, with the tag.
#define REFUSED_FPGA_PORT(name, tag)                                                                      \
    PlovStatus name(FpgaId fpga, uint8_t port, PlovSite at)                                               \
    {                                                                                                     \
        PLOV_LOG_AT(at, g_pfPLOVTransLog, PLOV_LEVEL_ERR, tag, "FPGA[%d] Invalid PortID [%d]\n", fpga, port); \
        return PLOV_ERR_PORT_ID;                                                                          \
    }

REFUSED_FPGA_PORT(TransBadFpgaPort, TRANS_TAG_ERR)
REFUSED_FPGA_PORT(PlovBadFpgaPort, PLOV_TAG_ERR)

#undef REFUSED_FPGA_PORT

PlovStatus TransNullPointer(PlovSite at)
{
    PLOV_LOG_AT(at, g_pfPLOVTransLog, PLOV_LEVEL_ERR, TRANS_TAG_ERR, "NULL Pointer Detected!\n");
    return PLOV_ERR_NULL_PTR;
}

PlovStatus PlovCallResult(const char *callee, PlovStatus ret, PlovSite at)
{
    if (ret != PLOV_OK)
        PLOV_LOG_AT(at, g_pfPLOVTransLog, PLOV_LEVEL_ERR, PLOV_TAG_ERR, "Call %s failed, iRet[%d]\n", callee, ret);
    return ret;
}
