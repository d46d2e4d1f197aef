// Arbitrary bytes through the gzip head reader; the bytes are copied to an
// exact-size buffer so any read past them is caught.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "gzacc/gz_head.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool once = (std::freopen("/dev/null", "w", stdout), true);
    (void)once;
    std::unique_ptr<uint8_t[]> exact(new uint8_t[size]);
    if (size != 0)
        std::memcpy(exact.get(), data, size);
    gzacc::gz_head_info head{};
    if (gzacc::gz_head_read(exact.get(), size, &head) == 0 && head.head_len > size)
        __builtin_trap();
    return 0;
}
