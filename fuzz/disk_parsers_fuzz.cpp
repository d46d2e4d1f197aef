// Bytes a disk sends back, through the parsers that read them: sense data
// (the descriptor walk and the sense summary), IDENTIFY words (identity and
// capacity) and SMART attribute slots (the vendor rules). The first byte
// picks the parser and its setting; each parser gets an exact-size copy so
// a read past what the disk sent is caught. The parsers' lines go to
// /dev/null.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz/fuzz_console.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_scsi_sg.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_ssd_info.h"

namespace {

constexpr const char *kVendors[] = {"WDC WD", "STEC s230", "GBDriver RN", "INTEL SSDSC2", "Other"};

void sense(uint8_t setting, const uint8_t *data, size_t size)
{
    auto copy = std::make_unique<uint8_t[]>(size);
    std::memcpy(copy.get(), data, size);
    uint8_t type = setting & 0x7F;
    if (const uint8_t *d = disk_sg_scsi_sense_desc_find(copy.get(), size, type)) {
        if (d < copy.get() || d + 2 > copy.get() + size || d + 2 + d[1] > copy.get() + size)
            std::abort();  // a descriptor handed back must lie inside the bytes
    }
    scsi_cmnd_io io{};
    io.sensep = copy.get();
    io.resp_sense_len = size;
    io.scsi_status = (setting & 0x80) ? 2 : 0;
    sg_scsi_sense_hdr s{};
    SAS1064_scsi_do_sense_disect(&io, &s);
    if (s.sense_key > 15 || s.response_code > 0x7F)
        std::abort();
}

void identify(const uint8_t *data, size_t size)
{
    auto words = std::make_unique<uint16_t[]>(ATA_BLOCK / 2);
    std::memcpy(words.get(), data, size < ATA_BLOCK ? size : ATA_BLOCK);
    DiskInfoRecord rec{};
    ssd_GetDriveInfo(words.get(), &rec);
    auto terminated = [](const auto &field) { return std::memchr(field, 0, sizeof field) != nullptr; };
    if (!terminated(rec.vendor) || !terminated(rec.model) || !terminated(rec.serial) || !terminated(rec.firmware) ||
        !terminated(rec.sasAddress))
        std::abort();  // every text terminated inside its field
}

void smart(uint8_t setting, const uint8_t *data, size_t size)
{
    auto block = std::make_unique<uint8_t[]>(ATA_BLOCK);
    std::memset(block.get(), 0, ATA_BLOCK);
    std::memcpy(block.get(), data, size < ATA_BLOCK ? size : ATA_BLOCK);
    DiskInfoRecord rec{};
    std::strcpy(rec.vendor, kVendors[setting % 5]);
    for (size_t i = 0; i < 30; ++i) {
        const uint8_t *slot = block.get() + 2 + 12 * i;
        if (slot[0] == 0)
            continue;
        uint64_t raw = 0;
        for (int b = 5; b >= 0; --b)
            raw = (raw << 8) | slot[5 + b];
        ssd_parse_smart(&rec, slot, raw);
    }
    char name[64];
    GetSmartAttribName(name, block[2]);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz_console_off();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    uint8_t setting = data[1];
    switch (data[0] % 3) {
    case 0: sense(setting, data + 2, size - 2); break;
    case 1: identify(data + 2, size - 2); break;
    default: smart(setting, data + 2, size - 2); break;
    }
    return 0;
}
