// The DSP program image walk over arbitrary bytes: it must end, and hand out
// only sections that lie before the CRC.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "boardlib/media_bin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    DspBinWalk walk;
    if (!media_bin_open(walk, data, static_cast<uint32_t>(size)))
        return 0;
    (void)MEDIA_Crc16Calc(data, static_cast<uint32_t>(size - 2));
    DspBinSection sec{};
    while (media_bin_next(walk, sec) == DspBinStep::Section) {
        if (sec.data < data || static_cast<size_t>(sec.data - data) + sec.len > size - 2)
            std::abort();
        uint32_t targets[8];
        (void)media_bin_targets(sec.addr, sec.len, targets);
    }
    return 0;
}
