#include "tool/media/dsp_mem.h"

#include <cstdio>

#include "boardlib/media_intf.h"

int32_t media_dsp_mem_access(uint32_t sub, uint32_t dsp, uint32_t dspAddr, void *buf, uint32_t len, bool write,
                             const MediaDspSite &site)
{
    std::printf(write ? "write param:%d,%d,0x%x,%d\n" : "read param:%d,%d,0x%x,%d\n", static_cast<int>(sub),
                static_cast<int>(dsp), dspAddr, static_cast<int>(len));
    int32_t ret = write ? PLOV_MediaWriteDspMem(sub, dsp, dspAddr, buf, len)
                        : PLOV_MediaReadDspMem(sub, dsp, dspAddr, buf, len);
    if (ret != 0) {
        std::printf("FAILED BOARDID %d  DSPID %d\n", static_cast<int>(sub), static_cast<int>(dsp));
        std::printf(write ? "Invalid Write DSP memory, please check [%s] %s:%u, iRet = %d,DSPAddr = 0x%x\n"
                          : "Invalid Read DSP memory, please check [%s] %s:%u, iRet = %d,DSPAddr = 0x%x\n",
                    site.func, site.file, site.line, ret, dspAddr);
        return ret;
    }
    if (!write) {
        std::printf("read value is");
        const auto *bytes = static_cast<const uint8_t *>(buf);
        for (uint32_t i = 0; i < len; i++)
            std::printf("0x%x,", bytes[i]);
        std::printf("\n");
    }
    return 0;
}
