// The one door of the media commands to DSP memory: every read and write
// is traced before it is made, reads print the bytes they got, and a failed
// access prints the two report lines with the caller's place.
//
//   write param:SUB,DSP,0xADDR,LEN
//   read param:SUB,DSP,0xADDR,LEN      then "read value is" and "0x%x," per byte
//   FAILED BOARDID SUB  DSPID DSP
//   Invalid Read DSP memory, please check [FUNC] FILE:LINE, iRet = ST,DSPAddr = 0xADDR
#ifndef QUORBIX_TOOL_MEDIA_DSP_MEM_H
#define QUORBIX_TOOL_MEDIA_DSP_MEM_H

#include <cstdint>

// Where an access is made from, as the report line names it.
struct MediaDspSite {
    const char *func;
    const char *file;
    unsigned line;
};

// Reads or writes `len` bytes at `dspAddr`; the access's status (0 done).
int32_t media_dsp_mem_access(uint32_t sub, uint32_t dsp, uint32_t dspAddr, void *buf, uint32_t len, bool write,
                             const MediaDspSite &site);

#define MEDIA_DSP_SITE MediaDspSite{__func__, __FILE__, static_cast<unsigned>(__LINE__)}
#define MEDIA_DSP_READ(sub, dsp, addr, buf, len) \
    media_dsp_mem_access((sub), (dsp), (addr), (buf), (len), false, MEDIA_DSP_SITE)
#define MEDIA_DSP_WRITE(sub, dsp, addr, buf, len) \
    media_dsp_mem_access((sub), (dsp), (addr), (buf), (len), true, MEDIA_DSP_SITE)

#endif
