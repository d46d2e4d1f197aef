// Arbitrary bytes as an SMBIOS structure table: the walk for every type the
// queries use, each processor field, the board strings and the chassis
// dword; the same bytes laid over a 64 KiB BIOS segment for the entry-point
// scan.
#include <cstdint>
#include <cstring>
#include <vector>

#include "bases/pci/smbios.h"
#include "bases/pci/tvk_log.h"

namespace {

void query_structure(uint8_t *s, uint32_t size)
{
    char buf[24];
    for (uint32_t field = 0; field <= 22; field++)
        (void)smbios_parse_processor_info(s, size, field, buf, sizeof buf);
    smbios_struct_ref ref{s[0], s[1], 0, s};
    for (int n : {0, 1, 2, 7, 255})
        (void)dmi_string(&ref, static_cast<uint8_t>(n), s + size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    g_iLogLevel = TVK_LVL_LOG + 1;   // no log file
    if (size > 0x10000)
        return 0;
    // An exact copy, so any read past the table is caught.
    std::vector<uint8_t> table(data, data + size);
    auto len = static_cast<uint32_t>(table.size());
    for (uint8_t type : {SMBIOS_TYPE_BOARD, SMBIOS_TYPE_CHASSIS, SMBIOS_TYPE_PROCESSOR}) {
        for (uint32_t nth = 0; nth < 3; nth++) {
            uint32_t structSize = 0;
            std::vector<uint8_t> copy = table;   // the walk may clean strings in place
            uint8_t *s = smbios_select_structure(copy.data(), len, 0xFFFF, type, &structSize, nth);
            if (s != nullptr)
                query_structure(s, structSize);
        }
    }
    if (size > 0)
        (void)smbios_traverse_string(table.data(), table.data() + size, static_cast<uint8_t>(data[0]));
    std::vector<uint8_t> segment(SMBIOS_SEG_LEN, 0);
    std::memcpy(segment.data() + (SMBIOS_SEG_LEN - size) / 16 * 16, data, size);
    (void)smbios_scan_segment(segment.data(), SMBIOS_SEG_LEN);
    return 0;
}
