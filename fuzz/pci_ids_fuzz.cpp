// PCI ID file lookups over arbitrary file bytes and ids. The first 12 bytes
// give vendor, device, subsystem vendor and device, a 24-bit class code and
// the name buffer's size; the rest is the file. Every lookup runs on a fresh
// handle and then all in the order a full name takes, on one handle; a name
// handed back must be terminated inside the buffer with the length given.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bases/pci/tvk_log.h"
#include "bases/pci/tvk_name.h"

namespace {

uint16_t word(const uint8_t *p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void check(int r, const char *out, uint32_t outlen)
{
    if (r > 0 && (static_cast<uint32_t>(r) >= outlen || std::strlen(out) != static_cast<size_t>(r)))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 12)
        return 0;
    g_iLogLevel = TVK_LVL_LOG;  // no log file per input
    const uint16_t vendor = word(data), device = word(data + 2), sv = word(data + 4), sd = word(data + 6);
    const uint32_t classCode = static_cast<uint32_t>(data[8] | data[9] << 8 | data[10] << 16);
    const uint32_t outlen = data[11] % 80;
    std::vector<char> file(data + 12, data + size);
    file.push_back('\0');
    std::vector<char> out(outlen + 1, 'Z');

    auto fresh = [&] { return fmemopen(file.data(), file.size() - 1 ? file.size() - 1 : 1, "rb"); };
    using Lookup = int (*)(FILE *, uint16_t, uint16_t, uint16_t, uint16_t, uint32_t, char *, uint32_t);
    const Lookup lookups[] = {
        [](FILE *f, uint16_t v, uint16_t, uint16_t, uint16_t, uint32_t, char *o, uint32_t n) {
            return tvk_get_vendor_name(f, v, o, n);
        },
        [](FILE *f, uint16_t, uint16_t d, uint16_t, uint16_t, uint32_t, char *o, uint32_t n) {
            return tvk_get_device_name(f, d, o, n);
        },
        [](FILE *f, uint16_t, uint16_t, uint16_t a, uint16_t b, uint32_t, char *o, uint32_t n) {
            return tvk_get_subsystem_name(f, a, b, o, n);
        },
        [](FILE *f, uint16_t, uint16_t, uint16_t, uint16_t, uint32_t c, char *o, uint32_t n) {
            return tvk_get_baseclass_name(f, c, o, n);
        },
        [](FILE *f, uint16_t, uint16_t, uint16_t, uint16_t, uint32_t c, char *o, uint32_t n) {
            return tvk_get_subclass_name(f, c, o, n);
        },
    };
    for (Lookup l : lookups) {
        FILE *f = fresh();
        if (f == nullptr)
            return 0;
        check(l(f, vendor, device, sv, sd, classCode, out.data(), outlen), out.data(), outlen);
        if (out[outlen] != 'Z')
            std::abort();  // nothing past the buffer
        std::fclose(f);
    }
    FILE *f = fresh();
    if (f == nullptr)
        return 0;
    for (Lookup l : lookups)
        check(l(f, vendor, device, sv, sd, classCode, out.data(), outlen), out.data(), outlen);
    std::fclose(f);

    // Product and class names of a bridge (no configuration read).
    const tvk_dev_id id{vendor, device, 0, 0, 1, 0, classCode << 8};
    f = fresh();
    if (f == nullptr)
        return 0;
    if (outlen > 0 && tvk_get_product_name(f, &id, out.data(), outlen) == 0 &&
        std::memchr(out.data(), 0, outlen) == nullptr)
        std::abort();
    (void)tvk_get_class_name(f, &id, out.data(), outlen);
    std::fclose(f);
    if (out[outlen] != 'Z')
        std::abort();
    return 0;
}
