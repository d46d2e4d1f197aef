#include "tool/compress/compress.h"

#include <cstdio>

#include "asmf/interface/asmf_interface.h"

TransOpStatus acc_bad_input(const CmdSite &site, int scanRet, bool lower)
{
    trans_line(lower ? "failed" : "FAILED");
    cmd_invalid_line(site, scanRet);
    return kTransBadInput;
}

TransOpStatus acc_api_init()
{
    const int ret = oxcompInit();
    if (ret == 0)
        return 0;
    std::printf("oxcompInit failed,ret = %d\n\n", ret);
    return kAccInitFailed;
}

uint32_t acc_rounds(int32_t seconds, int32_t perRound)
{
    return seconds > perRound ? static_cast<uint32_t>(seconds / perRound) : 1u;
}
