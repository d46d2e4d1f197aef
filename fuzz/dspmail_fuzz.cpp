// The trans table built from an arbitrary DSP info block and the text of an
// arbitrary debug record: the build reads only the block, and the text is
// terminated inside the record, never before its start.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tool/media/dspmail.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> block(data, data + (size < DSP_INFO_LEN ? size : DSP_INFO_LEN));
    block.resize(DSP_INFO_LEN, 0);
    DspTransTable table;
    media_dsp_build_trans_table(block[0] & 1u, 0, block.data(), &table);
    for (const MbDesc &e : table.MediaTransAddrTbl)
        if (e.MailBoxDepth > 8 || e.MailBoxBlockSize > 4)
            std::abort();

    uint8_t rec[DSP_LOG_REC_LEN] = {};
    std::memcpy(rec, data, size < sizeof rec ? size : sizeof rec);
    const char *text = media_dsp_log_text(rec);
    if (text != reinterpret_cast<const char *>(rec + DSP_LOG_TEXT) ||
        std::strlen(text) > DSP_LOG_REC_LEN - 1 - DSP_LOG_TEXT)
        std::abort();
    return 0;
}
