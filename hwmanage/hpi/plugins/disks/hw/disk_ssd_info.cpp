#include "hwmanage/hpi/plugins/disks/hw/disk_ssd_info.h"

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>

#include "bases/globals/globals.h"
#include "bases/host/host.h"
#include "kelvo/kelvo.h"

#define SSD_PRINT(fmt, ...) \
    std::printf("<DEVM_PLUGIN_NAME>%s:%d " fmt, kSsdSourcePath, __LINE__ __VA_OPT__(, ) __VA_ARGS__)

namespace {

constexpr const char *kSsdSourcePath = "../../code/hwmanage/hpi/plugins/disks/hw/disk_ssd_info";
constexpr const char *kSgClass = "/sys/class/scsi_generic/";
constexpr const char *kSysBlock = "/sys/block/";
constexpr size_t kPathMax = 256;
constexpr size_t kNameMax = 32;
constexpr int kUnread = -255;

void ssd_say(const char *format, ...) __attribute__((format(printf, 1, 2)));
void ssd_say(const char *format, ...)
{
    std::printf("<DEVM_PLUGIN_NAME>%s:%d ", kSsdSourcePath, __LINE__);
    va_list ap;
    va_start(ap, format);
    std::vprintf(format, ap);
    va_end(ap);
}

} // namespace

int g_iSgIoState = SG_STATE_UNTRIED;

namespace {

constexpr SgFace kSsdFace = {&g_iSgIoState, ">>>> ssd_do_scsi_cmnd_io: bad sg_io_state=", "\n\n",
                             "ssd_do_scsi_cmnd_io: bad dxfer_dir\n\n", ssd_say, false};

// SMART readings of the process; each starts unread so its first value is a change.
struct SmartState {
    int support = kUnread;
    int enabled = kUnread;
    int works = kUnread;
    int health = kUnread;
    std::array<bool, 5> unsupported{};
};
SmartState g_smart;

constexpr const char *g_SSDVendor[] = {"WDC", "STEC", "GBDriver", "INTEL", "Unknown"};
enum SsdVendor { VENDOR_WDC, VENDOR_STEC, VENDOR_GBDRIVER, VENDOR_INTEL };

// ---- ATA PASS-THROUGH(12) commands ---------------------------------------------------------------

constexpr int SEL = -1;  // the caller's select value
struct SatRow {
    uint8_t ata;
    uint8_t feature;
    uint8_t protocol;
    uint8_t flags;
    int count;
    int lbaLow;
    int dir;
    bool smart;
};

constexpr SatRow kSatRows[] = {
    {0xB0, 0xD8, 3, 0x0C, 0, 1, DXFER_NONE, true},          // 0 enable
    {0xB0, 0xD9, 3, 0x0C, 0, 1, DXFER_NONE, true},          // 1 disable
    {0xB0, 0xD2, 3, 0x0C, SEL, 0, DXFER_NONE, true},        // 2 autosave
    {0xB0, 0xD4, 3, 0x0C, 0, SEL, DXFER_NONE, true},        // 3 off-line immediate
    {0xB0, 0xDB, 3, 0x0C, SEL, 0, DXFER_NONE, true},        // 4 automatic off-line
    {0xB0, 0xDA, 3, 0x2C, 0, 0, DXFER_NONE, true},          // 5 return status
    {0xB0, 0xDA, 3, 0x2C, 0, 0, DXFER_NONE, true},          // 6 return status, health
    {0xB0, 0xD0, 4, 0x0E, 1, 0, DXFER_FROM_DEVICE, true},   // 7 read data
    {0xB0, 0xD1, 4, 0x0E, 1, 1, DXFER_FROM_DEVICE, true},   // 8 read thresholds
    {0xB0, 0xD5, 4, 0x0E, 1, SEL, DXFER_FROM_DEVICE, true}, // 9 read log
    {0xEC, 0x00, 4, 0x0E, 1, 0, DXFER_FROM_DEVICE, false},  // 10 identify device
    {0xA1, 0x00, 4, 0x0E, 1, 0, DXFER_FROM_DEVICE, false},  // 11 identify packet device
    {0xE5, 0x00, 3, 0x2C, 0, 0, DXFER_NONE, false},         // 12 check power mode
    {0xB0, 0xD6, 5, 0x06, 1, SEL, DXFER_TO_DEVICE, true},   // 13 write log
};
constexpr int SAT_STATUS = 5, SAT_HEALTH = 6, SAT_READ_DATA = 7, SAT_READ_THRESHOLDS = 8, SAT_IDENTIFY = 10,
              SAT_IDENTIFY_PACKET = 11, SAT_POWER_MODE = 12;

uint8_t pick(int v, int select) { return static_cast<uint8_t>(v == SEL ? select : v); }

void build_cdb(const SatRow &row, int select, uint8_t cdb[12])
{
    cdb[0] = 0xA1;
    cdb[1] = static_cast<uint8_t>(row.protocol << 1);
    cdb[2] = row.flags;
    cdb[3] = row.feature;
    cdb[4] = pick(row.count, select);
    cdb[5] = pick(row.lbaLow, select);
    cdb[6] = row.smart ? 0x4F : 0;
    cdb[7] = row.smart ? 0xC2 : 0;
    cdb[8] = 0;
    cdb[9] = row.ata;
    cdb[10] = 0;
    cdb[11] = 0;
}

struct SenseFacts {
    uint8_t code = 0;
    uint8_t key = 0;
    uint8_t asc = 0;
    uint8_t ascq = 0;
};

bool read_sense(const uint8_t *s, size_t len, SenseFacts &f)
{
    if (len < 8)
        return false;
    f.code = s[0] & 0x7F;
    if (f.code == 0x72 || f.code == 0x73) {
        f.key = s[1] & 0x0F;
        f.asc = s[2];
        f.ascq = s[3];
        return true;
    }
    if (f.code != 0x70 && f.code != 0x71)
        return false;
    f.key = s[2] & 0x0F;
    if (len > 13) {
        f.asc = s[12];
        f.ascq = s[13];
    }
    return true;
}

int classify(const SenseFacts &f)
{
    switch (f.key) {
    case 0:
    case 1:
        return 0;
    case 2:
        return f.asc == 0x3A ? 6 : (f.asc == 0x04 && f.ascq == 0x01) ? 7 : 1;
    case 3:
    case 4:
        return 9;
    case 5:
        return f.asc == 0x20 ? 2 : f.asc == 0x24 ? 3 : 4;
    case 6:
        return 8;
    case 11:
        return 11;
    default:
        return 10;
    }
}

// The ATA status return descriptor, when whole (14 bytes).
const uint8_t *ata_return(const uint8_t *sense, size_t len)
{
    const uint8_t *d = disk_sg_scsi_sense_desc_find(sense, len, 9);
    return d != nullptr && d[1] >= 12 ? d : nullptr;
}

// Commands answered through the return descriptor, with key 0 or 1.
int judge_quiet(int command, const uint8_t *sense, size_t len, const SenseFacts &f, bool haveSense, uint8_t *data)
{
    const uint8_t *d = haveSense ? ata_return(sense, len) : nullptr;
    if (command == SAT_STATUS || command == SAT_HEALTH || command == SAT_POWER_MODE) {
        if (d != nullptr && command == SAT_POWER_MODE) {
            if (data != nullptr)
                data[0] = d[5];
            return 0;
        }
        if (d != nullptr && command == SAT_STATUS)
            return 0;
        if (command == SAT_HEALTH) {  // pass only when the drive says so
            if (d != nullptr && d[9] == 0x4F && d[11] == 0xC2)
                return 0;
            if (d != nullptr && d[9] == 0xF4 && d[11] == 0x2C)
                return 1;
            return -1;
        }
    }
    if (!haveSense)
        return 0;
    bool desc = f.code == 0x72 || f.code == 0x73;
    return (desc && f.asc == 0 && f.ascq == 0x1D && d != nullptr) ? -1 : 0;
}

} // namespace

void ssd_info_reset()
{
    g_iSgIoState = SG_STATE_UNTRIED;
    g_smart = SmartState{};
}

GLOBALS_RESET(disk_ssd_info)
{
    ssd_info_reset();
}

int disk_get_SSD_enum(const char *model)
{
    if (model == nullptr)
        return SSD_VENDOR_UNKNOWN;
    for (int i = 0; i < SSD_VENDOR_UNKNOWN; ++i)
        if (std::strstr(model, g_SSDVendor[i]) != nullptr)
            return i;
    return SSD_VENDOR_UNKNOWN;
}

int deviceopen(const char *path, const char *type)
{
    if (path == nullptr || type == nullptr || std::string_view(type) != "SCSI")
        return -1;
    return host_open(path, O_RDONLY | O_NONBLOCK);
}

int ssd_sg_io_cmnd_io(int fd, scsi_cmnd_io *iop) { return sg_core_sg_io(kSsdFace, fd, iop, 0, false); }

int ssd_sisc_cmnd_io(int fd, scsi_cmnd_io *iop) { return sg_core_send_command(kSsdFace, fd, iop, 0); }

int sat_command_interface(int fd, int command, int select, uint8_t *data)
{
    if (command < 0 || static_cast<size_t>(command) >= std::size(kSatRows))
        return -1;
    const SatRow &row = kSatRows[command];
    uint8_t cdb[12];
    build_cdb(row, select, cdb);
    uint8_t sense[32] = {};
    scsi_cmnd_io io{};
    io.cmnd = cdb;
    io.cmnd_len = sizeof cdb;
    io.dxfer_dir = row.dir;
    io.dxferp = row.dir != DXFER_NONE ? data : nullptr;
    io.dxfer_len = row.dir != DXFER_NONE ? ATA_BLOCK : 0;
    io.max_sense_len = sizeof sense;
    io.sensep = sense;
    io.timeout = 6;
    if (row.dir != DXFER_NONE && data == nullptr)
        return -1;
    int ret = sg_core_cmnd_io(kSsdFace, fd, &io, 0);
    if (ret != 0) {
        SSD_PRINT("sat_command_interface: ssd_do_scsi_cmnd_io() failed, status=%d, command=%d\n\n", ret, command);
        return -1;
    }
    size_t len = io.resp_sense_len < sizeof sense ? io.resp_sense_len : sizeof sense;
    SenseFacts f;
    bool haveSense = read_sense(sense, len, f);
    if (haveSense) {
        int err = classify(f);
        if (err != 0) {
            SSD_PRINT("sat_command_interface: scsi error: %d\n\n", err);
            if (row.dir == DXFER_FROM_DEVICE)
                (void)memset_s(data, ATA_BLOCK, 0, ATA_BLOCK);
            return -1;
        }
    }
    return judge_quiet(command, sense, len, f, haveSense, data);
}

int ssd_ataReadHDIdentify(int fd, uint8_t *identify)
{
    if (sat_command_interface(fd, SAT_IDENTIFY, 0, identify) == 0)
        return 0;
    return sat_command_interface(fd, SAT_IDENTIFY_PACKET, 0, identify) == 0 ? 0 : -1;
}

int ssd_ataEnableSmart(int fd) { return sat_command_interface(fd, 0, 0, nullptr) == 0 ? 0 : -1; }

namespace {

struct AttrName {
    uint8_t id;
    const char *name;
};
constexpr AttrName kAttrNames[] = {
    {1, "Read_Error_Rate"}, {3, "Spin_Up_Time"}, {4, "Start_Stop_Count"}, {5, "Reallocated_Sector_Ct"},
    {9, "Power_On_Hours"}, {12, "Power_Cycle_Count"}, {13, "Soft_Read_Error_Rate"},
    {100, "Erase/Program_Cycle_Count"}, {170, "Reserved_Block_Count"}, {171, "Program_Fail_Count"},
    {172, "Erase_Fail_Count"}, {173, "Wear_Leveling_Count"}, {174, "Unexpected_Power_Loss"},
    {183, "Runtime_Bad_Block"}, {184, "End_to_End_Error_Detection"}, {187, "Hard_Errors"},
    {192, "Unsafe_Shutdown_Count"}, {195, "ECC_On_the_Fly"}, {196, "Reallocated_Event_Count"},
    {199, "UDMA/SATA_CRC_Error_Count"}, {225, "Host_Writes_Count"}, {232, "Available_reserved_space"},
    {233, "Media_Wearout_Indicator"},
};

} // namespace

void GetSmartAttribName(char *out, uint8_t id)
{
    if (out == nullptr)
        return;
    const char *name = "Unknown_Attribute";
    for (const AttrName &row : kAttrNames)
        if (row.id == id)
            name = row.name;
    int ret = snprintf_s(out, 64, 63, "%3d %s", id, name);
    if (ret < 0)
        SSD_PRINT("snprintf_s failed, Ret=%d\n\n", ret);
}

// ---- text helpers ---------------------------------------------------------------------------------

void trim_string(char *out, size_t size, const char *text)
{
    if (out == nullptr || size == 0)
        return;
    out[0] = '\0';
    if (text == nullptr)
        return;
    std::string_view t(text);
    size_t first = t.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return;
    size_t last = t.find_last_not_of(" \t\r\n");
    (void)strncpy_s(out, size, text + first, last - first + 1 < size ? last - first + 1 : size - 1);
}

void Conversion_string_format(char *out, size_t size, const uint16_t *words, size_t length)
{
    if (out == nullptr || size == 0 || words == nullptr)
        return;
    char raw[65] = {};
    size_t n = length < 64 ? length : 64;
    for (size_t i = 0; i + 1 < n + 1 && i < n; i += 2) {
        raw[i] = static_cast<char>(words[i / 2] >> 8);
        raw[i + 1] = static_cast<char>(words[i / 2] & 0xFF);
    }
    raw[n] = '\0';
    trim_string(out, size, raw);
}

namespace {

void swap_words(uint16_t *w, size_t first, size_t count)
{
    for (size_t i = first; i < first + count; ++i)
        w[i] = static_cast<uint16_t>((w[i] >> 8) | (w[i] << 8));
}

} // namespace

void trim_sata_hd_identify(uint16_t *identify)
{
    if (identify == nullptr)
        return;
    swap_words(identify, 10, 10);  // serial, bytes 20-39
    swap_words(identify, 23, 4);   // firmware, bytes 46-53
    swap_words(identify, 27, 20);  // model, bytes 54-93
}

void swap8bytes(uint8_t *bytes)
{
    if (bytes == nullptr)
        return;
    for (int i = 0; i < 4; ++i) {
        uint8_t t = bytes[i];
        bytes[i] = bytes[7 - i];
        bytes[7 - i] = t;
    }
}

const uint8_t *disk_sg_scsi_sense_desc_find(const uint8_t *sense, size_t length, uint8_t type)
{
    if (sense == nullptr || length < 8)
        return nullptr;
    uint8_t code = sense[0] & 0x7F;
    if (code != 0x72 && code != 0x73)
        return nullptr;
    size_t limit = 8u + sense[7];
    if (limit > length)
        limit = length;
    for (size_t p = 8; p + 2 <= limit;) {
        size_t dlen = 2u + sense[p + 1];
        if (p + dlen > limit)
            return nullptr;
        if (sense[p] == type)
            return sense + p;
        p += dlen;
    }
    return nullptr;
}

// ---- identity ---------------------------------------------------------------------------------------------

namespace {

uint64_t sectors_of(const uint16_t *id)
{
    if ((id[49] & 0x200) == 0)
        return 0;
    uint64_t s28 = static_cast<uint64_t>(id[60]) | (static_cast<uint64_t>(id[61]) << 16);
    uint64_t s48 = 0;
    if ((id[83] & 0xC400) == 0x4400)
        for (int i = 3; i >= 0; --i)
            s48 = (s48 << 16) | id[100 + i];
    return s48 > s28 ? s48 : s28;
}

void text_field(char *dest, size_t size, const char *src) { (void)strncpy_s(dest, size, src, size - 1); }

} // namespace

int ssd_GetDriveInfo(const uint16_t *identify, DiskInfoRecord *record)
{
    if (identify == nullptr || record == nullptr)
        return SSD_ERR_NULL;
    char model[48], serial[32], firmware[16], w159[16];
    Conversion_string_format(model, sizeof model, identify + 27, 40);
    Conversion_string_format(serial, sizeof serial, identify + 10, 20);
    Conversion_string_format(firmware, sizeof firmware, identify + 23, 8);
    (void)snprintf_s(w159, sizeof w159, sizeof w159 - 1, "0x%02X%02X", identify[159] >> 8, identify[159] & 0xFF);
    text_field(record->model, sizeof record->model, model);
    int vendor = disk_get_SSD_enum(model);
    const char *fw = firmware;
    if (vendor == VENDOR_GBDRIVER) {
        (void)snprintf_s(record->vendor, sizeof record->vendor, sizeof record->vendor - 1, "TDK %.27s", model);
        fw = w159;
    } else {
        text_field(record->vendor, sizeof record->vendor, model);
        if (vendor == VENDOR_STEC && std::strstr(model, "s230") != nullptr)
            fw = w159;
    }
    text_field(record->firmware, sizeof record->firmware, fw);
    text_field(record->serial, sizeof record->serial, serial);
    text_field(record->sasAddress, sizeof record->sasAddress, "NULL");
    record->capacity = static_cast<uint32_t>(sectors_of(identify) * ATA_BLOCK / 1000000u);
    return 0;
}

// ---- SMART ----------------------------------------------------------------------------------------------------

namespace {

void note_change(int &old, int cur, const char *what, const char *legend)
{
    if (cur == old)
        return;
    SSD_PRINT("%s changed! cur:%d,old:%d. %s\n", what, cur, old, legend);
    old = cur;
}
constexpr const char *kYesNo = "1-->yes, 0-->no, other-->unkown";

int word_bit(const uint16_t *id, int word, int validWord, int bit)
{
    return (id[validWord] & 0xC000) == 0x4000 ? (id[word] >> bit) & 1 : -1;
}

void read_attributes(DiskInfoRecord *record, const uint8_t *values, const uint8_t *thresholds)
{
    record->smart.spareUsed = 0;
    record->smart.wear = 0;
    for (size_t i = 0; i < 30; ++i) {
        const uint8_t *slot = values + 2 + i * 12;
        if (slot[0] == 0)
            continue;
        uint64_t raw = 0;
        for (int b = 5; b >= 0; --b)
            raw = (raw << 8) | slot[5 + b];
        if (ssd_parse_smart(record, slot, raw) != 0)
            SSD_PRINT("ssd_parse_smart error\n");
        uint8_t limit = thresholds[2 + i * 12 + 1];
        if (limit != 0 && limit >= slot[3])
            record->smart.failingAttr = slot[0];
    }
}

} // namespace

int ssd_GetSmartInfo(int fd, const uint16_t *identify, DiskInfoRecord *record)
{
    if (identify == nullptr || record == nullptr)
        return SSD_ERR_NULL;
    int support = word_bit(identify, 82, 83, 0);
    if (support < 0)
        SSD_PRINT("SMART support is: Unavailable supported=%d.\n\n", support);
    note_change(g_smart.support, support, "SMART support bit", kYesNo);
    int enabled = word_bit(identify, 85, 87, 0);
    if (enabled == 0)
        SSD_PRINT("SMART enabled is: Disabled\n\n");
    else if (enabled < 0)
        SSD_PRINT("SMART enabled is: Unavailable\n\n");
    note_change(g_smart.enabled, enabled, "SMART enabled bit", kYesNo);
    int works = sat_command_interface(fd, SAT_STATUS, 0, nullptr) != -1 ? 1 : 0;
    note_change(g_smart.works, works, "SMART Work state", kYesNo);
    if (works == 0) {
        record->smart.health = -1;  // not known, never the zero of a pass
        SSD_PRINT("SMART Disabled. Need to enable it.\n\n");
        return 0;
    }
    int health = sat_command_interface(fd, SAT_HEALTH, 0, nullptr);
    if (health == 1)
        SSD_PRINT("SMART Health Status Test Result: FAILED!\n\n");
    else if (health != 0)
        SSD_PRINT("Smart Status cmd fail.\n\n");
    record->smart.health = static_cast<int8_t>(health == 0 || health == 1 ? health : -1);
    note_change(g_smart.health, health == 0 || health == 1 ? health : -1, "SMART Status",
                "1-->failed, 0-->pass, other-->unkown");
    uint8_t values[ATA_BLOCK], thresholds[ATA_BLOCK];
    if (sat_command_interface(fd, SAT_READ_DATA, 0, values) != 0) {
        SSD_PRINT("Smartctl: SMART Read Values failed.\n\n\n");
        return -1;
    }
    if (sat_command_interface(fd, SAT_READ_THRESHOLDS, 0, thresholds) != 0) {
        SSD_PRINT("Smartctl: SMART Read Thresholds failed.\n\n\n");
        return -1;
    }
    read_attributes(record, values, thresholds);
    return 0;
}

namespace {

void parse_intel(SsdSmartSummary &s, const uint8_t *slot, uint64_t raw)
{
    switch (slot[0]) {
    case 9: s.powerOnHours = raw; break;
    case 12: s.powerCycles = raw; break;
    case 187: s.uncorrectable = raw; break;
    case 194: s.temperature = static_cast<uint8_t>(raw > 255 ? 255 : raw); break;
    case 232: if (slot[3] > 100) SSD_PRINT("INTEL ssd's smart spare block current = %d err!\n", slot[3]); else s.spareUsed = static_cast<uint8_t>(100 - slot[3]); break;
    case 233: if (slot[3] > 100) SSD_PRINT("INTEL ssd's smart weartout current = %d err!\n", slot[3]); else s.wear = static_cast<uint8_t>(100 - slot[3]); break;
    default: break;
    }
}

} // namespace

int ssd_parse_smart(DiskInfoRecord *record, const uint8_t *slot, uint64_t raw)
{
    if (record == nullptr || slot == nullptr) {
        SSD_PRINT("input param is null\n");
        return SSD_ERR_PARA;
    }
    SsdSmartSummary &s = record->smart;
    int vendor = disk_get_SSD_enum(record->vendor);
    if (vendor == SSD_VENDOR_UNKNOWN) {
        if (!g_smart.unsupported[SSD_VENDOR_UNKNOWN])
            SSD_PRINT("the ssd's type(%s) for smart is not support\n", record->vendor);
        g_smart.unsupported[SSD_VENDOR_UNKNOWN] = true;
        return 0;
    }
    g_smart.unsupported[static_cast<size_t>(vendor)] = false;
    uint8_t id = slot[0];
    if (vendor == VENDOR_WDC) {
        if (id == 9) s.powerOnHours = raw;
        if (id == 162) s.vendorValue = raw;
    } else if (vendor == VENDOR_STEC) {
        if (id == 180) s.vendorValue = raw;
        if (id == 194) s.temperature = static_cast<uint8_t>(raw & 0xFF);
        if (id == 9) s.powerOnHours = raw;
    } else if (vendor == VENDOR_INTEL) {
        parse_intel(s, slot, raw);
    }
    return 0;
}

// ---- sysfs finds --------------------------------------------------------------------------------------------

namespace {

// The link text of dir + name; 0, a negative status, or 1 to skip the entry.
int link_text(const char *dir, const char *name, char *text, size_t size)
{
    char path[kPathMax];
    int n = snprintf_s(path, sizeof path, sizeof path - 1, "%s%s", dir, name);
    if (n < 0) {
        SSD_PRINT("file path is too long than 256\n");
        return SSD_ERR_PATH;
    }
    struct stat st {};
    if (host().lstat(path, &st) != 0)
        return SSD_ERR_LSTAT;
    if (!S_ISLNK(st.st_mode))
        return 1;
    ssize_t len = host().readlink(path, text, size);
    if (len < 0 || static_cast<size_t>(len) >= size) {  // a text filling the buffer may be cut: skipped
        int err = len < 0 ? errno : ENAMETOOLONG;
        SSD_PRINT("readlink file:%s failed, errno=%d, %s\n\n", path, err, std::strerror(err));
        return 1;
    }
    text[len] = '\0';
    return 0;
}

int dev_name(char *out, size_t size, const char *name)
{
    if (std::strlen(name) + 5 > kNameMax - 1 || size < kNameMax)
        return SSD_ERR_NAME;
    return snprintf_s(out, size, kNameMax - 1, "/dev/%s", name) < 0 ? SSD_ERR_NAME : 0;
}

// Whether the link's "targetH:C:T" names bus and target; <0 on a bad text.
int target_matches(const char *text, int bus, int target)
{
    const char *t = std::strstr(text, "target");
    if (t == nullptr)
        return 0;
    int h = 0, c = 0, id = 0;
    int n = sscanf_s(t, "target%d:%d:%d", &h, &c, &id);
    if (n != 3) {
        SSD_PRINT("sscanf_s failed, status=%d \n\n", n);
        return SSD_ERR_NOT_FOUND;
    }
    return c == bus && id == target ? 1 : 0;
}

} // namespace

int ssd_find_physicalDisk_index(const char *pci, int bus, int target, char *name, size_t size)
{
    if (pci == nullptr || name == nullptr || size < kNameMax) {
        SSD_PRINT("para is null\n");
        return SSD_ERR_SIZE;
    }
    DIR *dir = host().opendir(kSgClass);
    if (dir == nullptr)
        return SSD_ERR_DIR;
    int ret = SSD_ERR_NOT_FOUND;
    while (struct dirent *e = host().readdir(dir)) {
        if (std::strncmp(e->d_name, "sg", 2) != 0)
            continue;
        char text[kPathMax];
        int r = link_text(kSgClass, e->d_name, text, sizeof text);
        if (r == 1 || (r == 0 && std::strstr(text, pci) == nullptr))
            continue;
        int m = r == 0 ? target_matches(text, bus, target) : r;
        if (m == 0)
            continue;
        ret = m < 0 ? m : dev_name(name, size, e->d_name);
        break;
    }
    host().closedir(dir);
    return ret;
}

int ssd_find_physicalDisk(DiskInfoList *list, const char *pci)
{
    if (list == nullptr || pci == nullptr)
        return SSD_ERR_NULL;
    list->count = 0;
    DIR *dir = host().opendir(kSysBlock);
    if (dir == nullptr)
        return SSD_ERR_DIR;
    int ret = 0;
    while (struct dirent *e = host().readdir(dir)) {
        if (std::strncmp(e->d_name, "sd", 2) != 0 || list->count >= DISK_LIST_MAX)
            continue;
        char text[kPathMax];
        int r = link_text(kSysBlock, e->d_name, text, sizeof text);
        if (r < 0) {
            ret = r;
            break;
        }
        if (r == 1 || std::strstr(text, pci) == nullptr)
            continue;
        DiskInfoRecord &rec = list->records[list->count];
        if ((ret = dev_name(rec.devicePath, sizeof rec.devicePath, e->d_name)) != 0)
            break;
        rec.present = 1;
        rec.index = static_cast<uint16_t>(list->count);
        list->count++;
    }
    host().closedir(dir);
    return ret;
}

// ---- identity and SMART per device ------------------------------------------------------------------------

namespace {

struct Identify {
    uint16_t words[ATA_BLOCK / 2];
};

int read_identify(int fd, Identify &id) { return ssd_ataReadHDIdentify(fd, reinterpret_cast<uint8_t *>(id.words)); }

} // namespace

int ssd_get_identity_info(const char *device, DiskInfoRecord *record)
{
    if (device == nullptr || record == nullptr) {
        SSD_PRINT("ssd_get_identity_info: para is null\n");
        return SSD_ERR_PARA;
    }
    int fd = deviceopen(device, "SCSI");
    if (fd < 0) {
        SSD_PRINT("ssd_get_identity_info: Open device: %s failed!\n", device);
        return SSD_ERR_OPEN;
    }
    Identify id{};
    int ret = 0;
    if (read_identify(fd, id) != 0) {
        SSD_PRINT("ssd_get_identity_info: Device Read Identify Failed! device: %s\n", device);
        ret = SSD_ERR_IDENTIFY;
    } else if (ssd_GetDriveInfo(id.words, record) != 0) {
        SSD_PRINT("ssd_get_identity_info: get driver info Failed! device: %s\n", device);
        ret = SSD_ERR_INFO;
    }
    host().close(fd);
    return ret;
}

int ssd_get_physicalDisk_info(DiskInfoList *list, const char *pci)
{
    if (list == nullptr) {
        SSD_PRINT("disk_infos is null\n");
        return SSD_ERR_PARA;
    }
    int ret = ssd_find_physicalDisk(list, pci);
    if (ret != 0) {
        SSD_PRINT("find physical disk fail, iRet = %d\n", ret);
        return ret;
    }
    for (uint32_t i = 0; i < list->count; ++i) {
        DiskInfoRecord &rec = list->records[i];
        int fd = deviceopen(rec.devicePath, "SCSI");
        if (fd < 0)
            return SSD_ERR_OPEN;
        Identify id{};
        ret = read_identify(fd, id) != 0 ? SSD_ERR_IDENTIFY : ssd_GetDriveInfo(id.words, &rec) != 0 ? SSD_ERR_INFO : 0;
        if (ret == SSD_ERR_IDENTIFY)
            SSD_PRINT("Device Read Identify Failed! device: %s\n", rec.devicePath);
        host().close(fd);
        if (ret != 0)
            return ret;
    }
    return 0;
}

int ssd_get_physicalDisk_map(const char *pci, uint8_t *present, int count, char (*names)[32])
{
    if (pci == nullptr || present == nullptr || names == nullptr)
        return SSD_ERR_NULL;
    DiskInfoList list{};
    int ret = ssd_find_physicalDisk(&list, pci);
    if (ret != 0)
        SSD_PRINT("find physical disk fail, iRet = %d\n", ret);
    for (uint32_t i = 0; i < list.count; ++i)
        if ((ret = ssd_get_identity_info(list.records[i].devicePath, &list.records[i])) != 0)
            SSD_PRINT("ssd_get_identity_info fail, iRet = %d\n", ret);
    for (int slot = 0; slot < count; ++slot)
        for (uint32_t i = 0; i < list.count; ++i)
            if (list.records[i].index == slot) {
                present[slot] = 1;
                text_field(names[slot], 32, list.records[i].firmware);
            }
    return 0;
}

namespace {

// Identity, then SMART, of one open device; the record's device path names it.
int smart_of(DiskInfoRecord &rec, const char *lineOpen, const char *lineId, const char *lineSmart)
{
    int fd = deviceopen(rec.devicePath, "SCSI");
    if (fd < 0) {
        SSD_PRINT("%s%s failed!\n", lineOpen, rec.devicePath);
        return SSD_ERR_INFO;
    }
    Identify id{};
    int ret = 0;
    if (read_identify(fd, id) != 0) {
        SSD_PRINT("%s%s\n", lineId, rec.devicePath);
        ret = SSD_ERR_INFO;
    } else if (ssd_GetSmartInfo(fd, id.words, &rec) != 0) {
        SSD_PRINT("%s%s\n", lineSmart, rec.devicePath);
        ret = SSD_ERR_INFO;
    }
    host().close(fd);
    return ret;
}

} // namespace

int ssd_getPhysicalDiskSmartsbydiskname(const char *device, DiskInfoRecord *record)
{
    if (device == nullptr || record == nullptr) {
        SSD_PRINT("Para is null!\n");
        return SSD_ERR_ARG;
    }
    if (ssd_get_identity_info(device, record) != 0) {
        SSD_PRINT("Ssd find logicdisk failed!\n");
        return SSD_ERR_INFO;
    }
    text_field(record->devicePath, sizeof record->devicePath, device);
    return smart_of(*record, "Open device: ", "Device read identity failed! device: ", "Get smart info failed! device: ");
}

int ssd_getPhysicalDiskSmarts(DiskInfoList *list, const char *pci)
{
    if (list == nullptr) {
        SSD_PRINT("PARM FAIL! diskinfos == NULL\n");
        return SSD_ERR_ARG;
    }
    if (ssd_get_physicalDisk_info(list, pci) != 0) {
        SSD_PRINT("ssd find logicdisk failed!\n");
        return SSD_ERR_INFO;
    }
    for (uint32_t i = 0; i < list->count; ++i) {
        int ret = smart_of(list->records[i], "Open device: ", "Device Read Identity Failed! device: ",
                           "ssd_GetSmartInfo Failed! device: ");
        if (ret != 0)
            return ret;
    }
    return 0;
}

int get_phyDisk_smart_ssd(const char *pci, int index, SsdSmartSummary *out)
{
    if (out == nullptr)
        return SSD_ERR_NULL;
    *out = {};
    DiskInfoList list{};
    int ret = ssd_getPhysicalDiskSmarts(&list, pci);
    if (ret != 0) {
        SSD_PRINT("ssd get physic disk info fail %d \n", ret);
        return ret;
    }
    for (uint32_t i = 0; i < list.count; ++i)
        if (list.records[i].present == 1 && list.records[i].index == index)
            *out = list.records[i].smart;
    return 0;
}

int ssd_selfTest()
{
    SSD_PRINT("ssd is not support self_test\n");
    return 0;
}

int ssd_selfTest_result()
{
    SSD_PRINT("ssd is not support self_test\n");
    return 0;
}
