// Random images and heads through head verification and the image check.
// The first four bytes choose the flash capacity; the rest is the image,
// whose last 104 bytes are its head. The CRC's pauses are skipped.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bases/host/host.h"
#include "fuzz/fuzz_console.h"
#include "tool/load/fpga_head.h"

namespace {

int no_usleep(useconds_t) { return 0; }

void quiet_host()
{
    static HostOps ops = g_realHost;
    ops.usleep = no_usleep;
    host_select(&ops);
    fuzz_console_off();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool once = (quiet_host(), true);
    (void)once;
    if (size < 4)
        return 0;
    uint32_t capacity;
    std::memcpy(&capacity, data, 4);
    // An exact copy, so a read past the image is caught.
    std::vector<uint8_t> image(data + 4, data + size);
    if (image.size() < FHEAD_SIZE || image.size() > 0x100000)
        return 0;
    fhead head;
    std::memcpy(&head, image.data() + image.size() - FHEAD_SIZE, sizeof head);
    flash_file_head_verify(&head, capacity, 0x10000);
    fpga_file_check(image.data(), static_cast<uint32_t>(image.size() - FHEAD_SIZE), capacity, 0x10000);
    return 0;
}
