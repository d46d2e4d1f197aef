#include "bases/pci/smbios.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <strings.h>
#include <sys/mman.h>

#include "bases/host/host.h"
#include "bases/pci/tvk_bar.h"
#include "bases/pci/tvk_log.h"
#include "kelvo/kelvo.h"

namespace {

constexpr char kAnchor[] = "_SM_";
constexpr int kMinEntryLen = 29;   // a candidate's length byte must exceed this
constexpr uint32_t kLastParagraph = 0xFFE0;
constexpr const char *kOutOfSpec = "<OUT OF SPEC>";
constexpr const char *kNotSpecified = "Not Specified";
constexpr const char *kBadIndex = "<BAD INDEX>";

struct SmbiosFamily {
    uint32_t code;
    const char *name;
};

#include "bases/pci/smbios_family.inc"

constexpr bool families_sorted()
{
    for (size_t i = 1; i < std::size(kFamilies); i++)
        if (kFamilies[i - 1].code >= kFamilies[i].code)
            return false;
    return true;
}
static_assert(families_sorted());
static_assert(kFamilies[0].code == 0x01 && kFamilies[182].code == 0x1F4);

constexpr const char *kProcessorTypes[] = {"Other", "Unknown", "Central Processor", "Math Processor",
                                           "DSP Processor", "Video Processor"};
constexpr const char *kLegacyVoltages[] = {"5.0", "3.3", "2.9"};
constexpr const char *kUpgrades[] = {
    "Other", "Unknown", "Daughter Board", "ZIF Socket", "Replaceable Piggy Back", "None", "LIF Socket", "Slot 1",
    "Slot 2", "370-pin Socket", "Slot A", "Slot M", "Socket 423", "Socket A (Socket 462)", "Socket 478",
    "Socket 754", "Socket 940", "Socket 939", "Socket mPGA604", "Socket LGA771", "Socket LGA775", "Socket S1",
    "Socket AM2", "Socket F (1207)", "Socket LGA1366", "Socket G34", "Socket AM3", "Socket C32", "Socket LGA1156",
    "Socket LGA1567", "Socket PGA988A", "Socket BGA1288"};
static_assert(std::size(kProcessorTypes) == 6 && std::size(kUpgrades) == 32);

// Fields of a structure read as zero past its formatted length.
uint64_t field_at(const uint8_t *s, uint32_t off, uint32_t width)
{
    if (off + width > s[1])
        return 0;
    uint64_t v = 0;
    for (uint32_t i = 0; i < width; i++)
        v |= static_cast<uint64_t>(s[off + i]) << (8 * i);
    return v;
}

uint8_t byte_at(const uint8_t *s, uint32_t off) { return static_cast<uint8_t>(field_at(s, off, 1)); }

// The table copy of one query, freed on every path.
struct TableCopy {
    uint8_t *data = nullptr;
    smbios_table_info info{};
    TableCopy() = default;
    TableCopy(const TableCopy &) = delete;
    TableCopy &operator=(const TableCopy &) = delete;
    ~TableCopy() { smbios_free_table(data); }
    int load() { return smbios_alloc_table(&data, &info); }
    uint8_t *first(uint8_t type, uint32_t *size)
    {
        return smbios_find_type_info(data, info.length, info.count, type, size);
    }
};

// A text answer: refused when the buffer is shorter than the text, else at
// most buflen - 1 characters.
int copy_answer(const char *text, char *buf, int buflen, const char *what, uint32_t index)
{
    auto len = static_cast<int>(std::strlen(text));
    if (buflen < 1 || buflen < len) {
        TVK_ERR("Insufficient[%d < %d] buffer for %s info[%u] \"%s\"\n", buflen, len, what, index, text);
        return TVK_E_SMB_ROOM;
    }
    (void)strncpy_s(buf, static_cast<size_t>(buflen), text, static_cast<size_t>(buflen - 1));
    return TVK_OK;
}

int number_answer(uint64_t value, const char *format, char *buf, int buflen)
{
    if (buflen < 1)
        return TVK_E_SMB_ROOM;
    auto room = static_cast<size_t>(buflen);
    int n = kelvo_snprintf_args(buf, room, room - 1, format, static_cast<unsigned long long>(value));
    if (n < 0) {
        TVK_ERR("call snprintf_s fail! iRet=%d\n", n);
        return n;
    }
    return TVK_OK;
}

const char *family_name(uint32_t code)
{
    size_t low = 0, high = std::size(kFamilies) - 1;
    for (;;) {
        size_t mid = (low + high) / 2;
        if (kFamilies[mid].code == code)
            return kFamilies[mid].name;
        if (low == high)
            return kOutOfSpec;
        if (code < kFamilies[mid].code)
            high = mid;
        else
            low = mid + 1;
    }
}

bool names_maker(const char *text, const char *maker)
{
    return std::strstr(text, maker) != nullptr || strncasecmp(text, maker, std::strlen(maker)) == 0;
}

const char *processor_family(const smbios_struct_ref &ref, const uint8_t *tail)
{
    uint32_t code = byte_at(ref.data, 0x06);
    if (code == 0xFE && ref.length >= 0x2A)
        code = static_cast<uint32_t>(field_at(ref.data, 0x28, 2));
    if (code != 0xBE)
        return family_name(code);
    if (ref.length < 8)
        return "Core 2 or K7";
    const char *maker = dmi_string(&ref, byte_at(ref.data, 0x07), tail);
    if (names_maker(maker, "Intel"))
        return "Core 2";
    return names_maker(maker, "AMD") ? "K7" : "Core 2 or K7";
}

int voltage_answer(uint8_t v, char *buf, int buflen, uint32_t field)
{
    if (v & 0x80) {
        if (buflen < 1)
            return TVK_E_SMB_ROOM;
        auto room = static_cast<size_t>(buflen);
        int n = snprintf_s(buf, room, room - 1, "%.1f", static_cast<double>(v & 0x7F) / 10.0);
        if (n < 0)
            TVK_ERR("call snprintf_s fail! iRet=%d\n", n);
        return n < 0 ? n : TVK_OK;
    }
    for (size_t bit = 0; bit < std::size(kLegacyVoltages); bit++)
        if (v & (1u << bit))
            return copy_answer(kLegacyVoltages[bit], buf, buflen, "processor", field);
    return TVK_E_SMB_WALK;
}

enum class Field : uint8_t { string, type, family, id, voltage, speed, byte, upgrade, handle, word };

struct ProcessorField {
    uint8_t offset;
    Field kind;
};

constexpr ProcessorField kProcessorFields[] = {
    {0x04, Field::string}, {0x05, Field::type},   {0x06, Field::family}, {0x07, Field::string},
    {0x08, Field::id},     {0x10, Field::string}, {0x11, Field::voltage}, {0x12, Field::speed},
    {0x14, Field::speed},  {0x16, Field::speed},  {0x18, Field::byte},   {0x19, Field::upgrade},
    {0x1A, Field::handle}, {0x1C, Field::handle}, {0x1E, Field::handle}, {0x20, Field::string},
    {0x21, Field::string}, {0x22, Field::string}, {0x23, Field::byte},   {0x24, Field::byte},
    {0x25, Field::byte},   {0x26, Field::word},
};
static_assert(std::size(kProcessorFields) == 22);

const char *table_name(const char *const *names, size_t count, uint8_t value)
{
    return value >= 1 && value <= count ? names[value - 1] : kOutOfSpec;
}

} // namespace

uint8_t smbios_checksum(const void *data, uint32_t len)
{
    const auto *p = static_cast<const uint8_t *>(data);
    uint8_t sum = 0;
    for (uint32_t i = 0; i < len; i++)
        sum = static_cast<uint8_t>(sum + p[i]);
    return sum;
}

int smbios_scan_segment(const uint8_t *seg, uint32_t len)
{
    for (uint32_t off = 0; off <= kLastParagraph && off + sizeof(smbios_entry) <= len; off += 16) {
        const uint8_t *c = seg + off;
        auto elen = static_cast<int8_t>(c[5]);
        if (std::memcmp(c, kAnchor, 4) != 0 || elen <= kMinEntryLen)
            continue;
        if (off + static_cast<uint32_t>(elen) > len)
            continue;   // its checksum would run past the segment
        if (smbios_checksum(c, static_cast<uint32_t>(elen)) == 0)
            return static_cast<int>(off);
    }
    return -1;
}

int smbios_entry_point(smbios_entry *entry, uint64_t *phys)
{
    if (entry == nullptr || phys == nullptr)
        return TVK_E_SMB_NULL;
    int fd = host_open(SMBIOS_MEM_PATH, O_RDONLY);
    if (fd < 0)
        return TVK_E_MEM_OPEN;
    void *map = host().mmap(nullptr, SMBIOS_SEG_LEN, PROT_READ, MAP_SHARED, fd, SMBIOS_SEG_BASE);
    if (map == MAP_FAILED) {
        int err = errno;
        TVK_ERR("Fail to mmap at 0x%x for 0x%x bytes, errno=%d, %s\n", SMBIOS_SEG_BASE, SMBIOS_SEG_LEN, err,
                std::strerror(err));
        host().close(fd);
        return TVK_E_MEM_MAP;
    }
    const auto *seg = static_cast<const uint8_t *>(map);
    int off = smbios_scan_segment(seg, SMBIOS_SEG_LEN);
    int ret = TVK_OK;
    if (off < 0) {
        TVK_ERR("Can not find DMI anchor %s\n", kAnchor);
        ret = TVK_E_NO_ENTRY;
    } else {
        std::memcpy(entry, seg + off, sizeof *entry);
        *phys = SMBIOS_SEG_BASE + static_cast<uint64_t>(off);
    }
    host().munmap(map, SMBIOS_SEG_LEN);
    host().close(fd);
    return ret;
}

int smbios_tell_table(smbios_table_info *info)
{
    if (info == nullptr)
        return TVK_E_SMB_NULL;
    smbios_entry e{};
    uint64_t phys = 0;
    int ret = smbios_entry_point(&e, &phys);
    if (ret != TVK_OK)
        return ret;
    TVK_DBG("Find SMBIOS entry point at 0x%lx\n", static_cast<unsigned long>(phys));
    tvk_level_log_hex(TVK_LVL_DBG, &e, static_cast<int>(sizeof e), static_cast<int>(phys), static_cast<int>(sizeof e),
                      nullptr);
    *info = smbios_table_info{e.table_address, e.table_length, e.struct_count};
    return TVK_OK;
}

int smbios_alloc_table(uint8_t **table, smbios_table_info *info)
{
    if (table == nullptr || info == nullptr) {
        TVK_ERR("Null pointer detected!\n");
        return TVK_E_SMB_NULL;
    }
    smbios_table_info t{};
    int ret = smbios_tell_table(&t);
    if (ret != TVK_OK)
        return ret;
    auto *buf = static_cast<uint8_t *>(std::calloc(t.length == 0 ? 1 : t.length, 1));
    if (buf == nullptr) {
        int err = errno;
        TVK_ERR("Can not malloc %dB for pBuf, errno=%d, %s\n", t.length, err, std::strerror(err));
        return TVK_E_SMB_ROOM;
    }
    ret = smbios_read_mem(t.address, t.length, buf);
    if (ret != TVK_OK) {
        std::free(buf);
        return ret;
    }
    *table = buf;
    *info = t;
    return TVK_OK;
}

void smbios_free_table(uint8_t *table)
{
    if (table != nullptr)
        std::free(table);
}

int smbios_read_mem(int64_t phys, uint32_t len, void *buf) { return tvk_mmap_read(SMBIOS_MEM_PATH, phys, len, buf); }

int smbios_read_table(const smbios_table_info *info, void *buf, int buflen)
{
    if (info == nullptr || buf == nullptr)
        return TVK_E_SMB_NULL;
    if (info->length > buflen)
        return TVK_E_SMB_ROOM;
    if (info->address < SMBIOS_SEG_BASE || info->address > SMBIOS_SEG_BASE + SMBIOS_SEG_LEN - 1)
        return TVK_E_SMB_WALK;
    return tvk_mmap_read(SMBIOS_MEM_PATH, info->address, info->length, buf);
}

int smbios_traverse_string(const uint8_t *head, const uint8_t *tail, uint8_t n)
{
    if (head == nullptr || tail == nullptr)
        return TVK_E_SMB_NULL;
    if (head >= tail) {
        TVK_ERR("Head pointer [0x%08lx] >= tail pointer[0x%08lx]\n", reinterpret_cast<unsigned long>(head),
                reinterpret_cast<unsigned long>(tail));
        return TVK_E_SMB_WALK;
    }
    if (head[0] == 0) {
        if (tail - head < 2)
            return TVK_E_SMB_WALK;
        if (head[1] != 0)
            return TVK_E_SMB_STRINGS;
        return n != 0 ? 1 : 2;
    }
    const uint8_t *pos = head;
    for (unsigned passed = 0;;) {
        auto room = static_cast<size_t>(tail - pos);
        size_t len = strnlen(reinterpret_cast<const char *>(pos), room);
        if (len >= room)
            return TVK_E_SMB_WALK;   // no NUL before the tail
        pos += len + 1;
        passed++;
        if (pos >= tail)
            return TVK_E_SMB_WALK;   // the set's closing NUL lies past the tail
        if (*pos == 0 || (n != 0 && passed == n))
            break;
    }
    return static_cast<int>(pos - head) + (n == 0 ? 1 : 0);
}

const char *smbios_find_text_str(const uint8_t *set, uint32_t len, uint8_t item)
{
    if (item == 0) {
        TVK_ERR("Item number can not be 0!\n");
        return nullptr;
    }
    if (item == 1)
        return reinterpret_cast<const char *>(set);
    int ret = smbios_traverse_string(set, set + len, static_cast<uint8_t>(item - 1));
    if (ret < 0) {
        TVK_ERR("Cannot find text string item[%d], ret=%d\n", item, ret);
        return nullptr;
    }
    return reinterpret_cast<const char *>(set + ret);
}

const char *dmi_string(const smbios_struct_ref *ref, uint8_t s, const uint8_t *tail)
{
    if (s == 0)
        return kNotSpecified;
    uint8_t *bp = ref->data + ref->length;
    for (; s > 1 && bp < tail && *bp != 0; s--)
        bp += strnlen(reinterpret_cast<const char *>(bp), static_cast<size_t>(tail - bp)) + 1;
    if (bp >= tail || *bp == 0)
        return kBadIndex;
    size_t len = strnlen(reinterpret_cast<const char *>(bp), static_cast<size_t>(tail - bp));
    if (len == static_cast<size_t>(tail - bp))
        return kBadIndex;
    for (size_t i = 0; i < len; i++)
        if (bp[i] < 0x20 || bp[i] > 0x7E)
            bp[i] = '.';
    return reinterpret_cast<const char *>(bp);
}

uint8_t *smbios_select_structure(uint8_t *table, uint32_t table_len, uint16_t count, uint8_t type, uint32_t *size,
                                 uint32_t nth)
{
    if (table == nullptr || size == nullptr) {
        TVK_ERR("Null pointer detected\n");
        return nullptr;
    }
    if (g_iLogLevel <= TVK_LVL_DBG)   // the dump of a whole table costs a pass over it
        tvk_level_log_hex(TVK_LVL_DBG, table, static_cast<int>(table_len), 0, static_cast<int>(table_len), nullptr);
    uint32_t off = 0;
    if (count != 0 && table_len >= 4) {
        uint32_t matches = 0;
        for (uint32_t index = 0;;) {
            uint8_t *s = table + off;
            uint8_t t = s[0], len = s[1];
            auto handle = static_cast<unsigned>(s[2] | s[3] << 8);
            TVK_DBG("Come to the %dth structure, offset=0x%x, type=0x%x, len=0x%x, handle=0x%x\n", index, off, t, len,
                    handle);
            if (t == SMBIOS_TYPE_END) {
                TVK_DBG("Reach the end of smbios\n");
                return nullptr;
            }
            if (off + len > table_len || len < 4) {
                TVK_ERR("Invalid SMBIOS structure header, type=0x%x, len=0x%x, handle=0x%x\n", t, len, handle);
                return nullptr;
            }
            if (g_iLogLevel <= TVK_LVL_DBG)
                tvk_level_log_hex(TVK_LVL_DBG, s, len, static_cast<int>(off), len, nullptr);
            bool chosen = t == type && matches++ == nth;
            if (chosen)
                TVK_DBG("Checking type[0x%x] for integration\n", type);
            else
                TVK_DBG("Skipping %dth structure type=0x%x\n", index, t);
            int strings = smbios_traverse_string(s + len, table + table_len, 0);
            if (strings < 0) {
                if (chosen)
                    TVK_ERR("Found smbios structure of type 0x%x, but its context seems invalid[%d]\n", type, strings);
                else
                    TVK_ERR("Traverse string of type[0x%x] failed, ret=%d\n", t, strings);
                return nullptr;
            }
            if (chosen) {
                *size = len + static_cast<uint32_t>(strings);
                return s;
            }
            TVK_DBG("Unformatted area len is %d\n", strings);
            index++;
            off += len + static_cast<uint32_t>(strings);
            if (index >= count || off + 3 >= table_len)
                break;
        }
    }
    TVK_ERR("Can not find type[0x%x] in structure table, uiOff=0x%x\n", type, off);
    return nullptr;
}

uint8_t *smbios_find_ntype_info(uint8_t *table, uint32_t table_len, uint16_t count, uint8_t type, uint32_t *size,
                                uint32_t nth)
{
    return smbios_select_structure(table, table_len, count, type, size, nth);
}

uint8_t *smbios_find_type_info(uint8_t *table, uint32_t table_len, uint16_t count, uint8_t type, uint32_t *size)
{
    return smbios_select_structure(table, table_len, count, type, size, 0);
}

int smbios_parse_processor_info(uint8_t *structure, uint32_t size, uint32_t field, char *buf, int buflen)
{
    if (field >= std::size(kProcessorFields)) {
        TVK_ERR("Unknown index[0x%x] for SMBIOS processor info\n", field);
        return TVK_E_SMB_WALK;
    }
    smbios_struct_ref ref{structure[0], structure[1], static_cast<uint16_t>(structure[2] | structure[3] << 8),
                          structure};
    const uint8_t *tail = structure + size;
    const ProcessorField &f = kProcessorFields[field];
    switch (f.kind) {
    case Field::string:
        return copy_answer(dmi_string(&ref, byte_at(structure, f.offset), tail), buf, buflen, "processor", field);
    case Field::type:
        return copy_answer(table_name(kProcessorTypes, std::size(kProcessorTypes), byte_at(structure, f.offset)),
                           buf, buflen, "processor", field);
    case Field::upgrade:
        return copy_answer(table_name(kUpgrades, std::size(kUpgrades), byte_at(structure, f.offset)), buf, buflen,
                           "processor", field);
    case Field::family:
        return copy_answer(processor_family(ref, tail), buf, buflen, "processor", field);
    case Field::voltage: {
        uint8_t v = byte_at(structure, f.offset);
        return v == 0 ? TVK_E_SMB_WALK : voltage_answer(v, buf, buflen, field);
    }
    case Field::id:
        return number_answer(field_at(structure, f.offset, 8), "%llu", buf, buflen);
    case Field::speed: {
        uint64_t v = field_at(structure, f.offset, 2);
        return v == 0 ? TVK_E_SMB_WALK : number_answer(v, "%llu", buf, buflen);
    }
    case Field::byte:
        return number_answer(field_at(structure, f.offset, 1), "%llu", buf, buflen);
    case Field::word:
        return number_answer(field_at(structure, f.offset, 2), "%llu", buf, buflen);
    case Field::handle:
        return number_answer(field_at(structure, f.offset, 2), "0x%04llX", buf, buflen);
    }
    return TVK_E_SMB_WALK;
}

int smbios_get_processor_info_by_id(int cpu, uint32_t field, char *buf, int buflen)
{
    TableCopy t;
    int ret = t.load();
    if (ret != TVK_OK) {
        TVK_ERR("Cannot allocate smbios table, ret=%d\n", ret);
        return ret;
    }
    uint8_t *pos = t.data;
    uint8_t *end = t.data + t.info.length;
    for (uint32_t passed = 0; pos < end; passed++) {
        uint32_t size = 0;
        auto budget = static_cast<uint16_t>(t.info.count - passed);
        uint8_t *s = smbios_select_structure(pos, static_cast<uint32_t>(end - pos), budget, SMBIOS_TYPE_PROCESSOR,
                                             &size, 0);
        if (s == nullptr)
            break;
        if (static_cast<uint8_t>(passed) == static_cast<uint8_t>(cpu))
            return smbios_parse_processor_info(s, size, field, buf, buflen);
        pos = s + size;
    }
    return TVK_E_SMB_WALK;
}

void smbios_get_socket_num(uint8_t *count)
{
    if (count == nullptr)
        return;
    char buf[32] = {};
    int ret = smbios_get_processor_info_by_id(1, 4, buf, sizeof buf);
    if (ret == TVK_E_SMB_WALK) {
        *count = 1;
        return;
    }
    long id = std::strtol(buf, nullptr, 10);
    *count = static_cast<uint32_t>(id) != 0 ? 2 : 1;
}

int smbios_get_chassis_info(uint32_t *out)
{
    if (out == nullptr)
        return TVK_E_SMB_NULL;
    TableCopy t;
    int ret = t.load();
    if (ret != TVK_OK) {
        TVK_ERR("Can not mirror SMBIOS structure table, ret=%d\n", ret);
        return ret;
    }
    uint32_t size = 0;
    uint8_t *s = t.first(SMBIOS_TYPE_CHASSIS, &size);
    if (s == nullptr)
        return TVK_E_SMB_TYPE;
    if (s[1] < 0x0D + 4)
        return TVK_E_SMB_WALK;   // too short for the OEM dword
    *out = static_cast<uint32_t>(field_at(s, 0x0D, 4));
    return TVK_OK;
}

int smbios_get_board_info(uint32_t selector, char *buf, int buflen)
{
    static constexpr uint8_t kBoardOffsets[] = {0x04, 0x05, 0x07, 0x0A};
    if (buf == nullptr)
        return TVK_E_SMB_NULL;
    if (buflen < 1)
        return TVK_E_SMB_ROOM;
    TableCopy t;
    int ret = t.load();
    if (ret != TVK_OK) {
        TVK_ERR("Can not mirror SMBIOS structure table, ret=%d\n", ret);
        return ret;
    }
    uint32_t size = 0;
    uint8_t *s = t.first(SMBIOS_TYPE_BOARD, &size);
    if (s == nullptr)
        return TVK_E_SMB_TYPE;
    if (selector >= std::size(kBoardOffsets)) {
        TVK_ERR("Unknown index[0x%x] for SMBIOS board info\n", selector);
        return TVK_E_SMB_WALK;
    }
    uint8_t n = byte_at(s, kBoardOffsets[selector]);
    const uint8_t *strings = s + s[1];
    if (n == 0) {
        TVK_ERR("Item number can not be 0!\n");
        buf[0] = '\0';
        return TVK_OK;
    }
    if (n > 1) {
        int off = smbios_traverse_string(strings, s + size, static_cast<uint8_t>(n - 1));
        if (off < 0) {
            TVK_ERR("Cannot find text string item[%d], ret=%d\n", n, off);
            buf[0] = '\0';
            return TVK_OK;
        }
        strings += off;
    }
    const char *text = reinterpret_cast<const char *>(strings);
    auto len = static_cast<int>(strnlen(text, static_cast<size_t>(s + size - strings)));
    if (buflen < len) {
        TVK_ERR("Insufficient[%d < %d] buffer for board info[%d] \"%s\"\n", buflen, len, selector, text);
        return TVK_E_SMB_ROOM;
    }
    (void)strncpy_s(buf, static_cast<size_t>(buflen), text, static_cast<size_t>(buflen - 1));
    return TVK_OK;
}
