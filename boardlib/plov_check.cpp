// The repeated failure lines of the board layer.
#include "boardlib/plov_check.h"

PlovStatus TransBadFpga(FpgaId fpga, PlovSite at)
{
    PLOV_LOG_AT(at, g_pfPLOVTransLog, PLOV_LEVEL_ERR, TRANS_TAG_ERR, "Invalid FpgaID [%d]\n", fpga);
    return PLOV_ERR_FPGA_ID;
}

PlovStatus PlovBadFpga(FpgaId fpga, PlovSite at)
{
    PLOV_LOG_AT(at, g_pfPLOVTransLog, PLOV_LEVEL_ERR, PLOV_TAG_ERR, "Invalid FpgaID [%d]\n", fpga);
    return PLOV_ERR_FPGA_ID;
}

PlovStatus TransBadPort(uint8_t port, PlovSite at)
{
    PLOV_LOG_AT(at, g_pfPLOVTransLog, PLOV_LEVEL_ERR, TRANS_TAG_ERR, "Invalid PortID [%d]\n", port);
    return PLOV_ERR_PORT_ID;
}

PlovStatus PlovBadPort(uint8_t port, PlovSite at)
{
    PLOV_LOG_AT(at, g_pfPLOVTransLog, PLOV_LEVEL_ERR, PLOV_TAG_ERR, "Invalid PortID [%d]\n", port);
    return PLOV_ERR_PORT_ID;
}

PlovStatus PlovCallResult(const char *callee, PlovStatus ret, PlovSite at)
{
    if (ret != PLOV_OK)
        PLOV_LOG_AT(at, g_pfPLOVTransLog, PLOV_LEVEL_ERR, PLOV_TAG_ERR, "Call %s failed, iRet[%d]\n", callee, ret);
    return ret;
}
