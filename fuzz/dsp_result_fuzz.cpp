// A DDR test result as an arbitrary DSP writes it: the verdict and the
// error dump read only inside the 640-byte result. The dump's lines go to
// /dev/null.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz/fuzz_console.h"
#include "tool/media/dsp.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_console_off();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> result(data, data + (size < DSP_DDR_RESULT_LEN ? size : DSP_DDR_RESULT_LEN));
    result.resize(DSP_DDR_RESULT_LEN, 0);
    if (media_dsp_ddr_failed(result.data()))
        media_dsp_ddr_dump(result.data());
    std::fflush(stdout);
    return 0;
}
