#include "bases/pci/tvk_name.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>

#include "bases/host/host.h"
#include "bases/pci/tvk_cap.h"
#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"
#include "bases/pci/tvk_route.h"
#include "kelvo/kelvo.h"

namespace {

constexpr int kLineMax = 512;  // 511 characters and the terminator
constexpr uint32_t kStatus = 0x06;
constexpr uint32_t kHeaderType = 0x0E;
constexpr uint32_t kSubVendor = 0x2C;
constexpr uint32_t kSubsystem = 0x2E;

bool blank(char c) { return c == ' ' || c == '\t'; }
const char *skip_blanks(const char *p)
{
    while (blank(*p))
        p++;
    return p;
}
const char *skip_hex(const char *p)
{
    while ((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f') || (*p >= 'A' && *p <= 'F'))
        p++;
    return p;
}

// Leading tabs of a line: 0, 1 or 2 (two or more).
int tabs(const char *line) { return line[0] != '\t' ? 0 : line[1] != '\t' ? 1 : 2; }
bool class_line(const char *line) { return line[0] == 'C' && line[1] == ' '; }

// How one lookup reads the lines.
struct Search {
    const char *what;   // the debug or error line's word
    int tabs;           // leading tabs of a matching line
    int ids;            // numbers compared: 1, or 2 for subsystem lines
    bool stopAtC;       // a line beginning with "C" ends the search
    bool stopAtClass;   // a line beginning with "C " ends the search
    bool stopAtFewer;   // a line with fewer leading tabs ends it
    bool classStyle;    // "C " lines; an unreadable id ends the search with the scan count
    bool errorOnBadId;  // an unreadable id is an error line and ends the search
};
constexpr Search kVendor{"vendor id", 0, 1, true, false, false, false, false};
constexpr Search kDevice{"device id", 1, 1, true, false, true, false, false};
constexpr Search kSubsys{"subsystem id", 2, 2, true, false, true, false, false};
constexpr Search kBaseClass{"base-class", 0, 1, false, false, false, true, true};
constexpr Search kSubClass{"sub-class", 1, 1, false, true, false, false, true};

// Copies the name after the id(s) of a matching line; its length.
int take_name(const char *line, int ids, char *out, uint32_t outlen)
{
    const char *p = line;
    if (class_line(p))
        p += 2;
    for (int i = 0; i < ids; i++)
        p = skip_hex(skip_blanks(p));
    p = skip_blanks(p);
    size_t n = std::strlen(p);
    if (n > 0 && p[n - 1] == '\n')
        n--;
    if (n > outlen - 1)
        n = outlen - 1;
    std::memcpy(out, p, n);
    out[n] = '\0';
    return static_cast<int>(n);
}

// Reads the ids of a candidate line; the scan's count.
int scan_ids(const Search &s, const char *line, unsigned &a, unsigned &b)
{
    const char *p = s.classStyle ? line + 2 : line + s.tabs;
    return s.ids == 2 ? sscanf_s(p, "%x %x", &a, &b) : sscanf_s(p, "%x", &a);
}

// One lookup: the name's length, 0 for a match with out NULL, -907, or
// the scan count of an unreadable class line.
int id_search(FILE *ids, const Search &s, unsigned want, unsigned want2, char *out, uint32_t outlen)
{
    if (out != nullptr && outlen == 0)
        return TVK_E_INVAL;
    char line[kLineMax];
    while (tvk_get_id_line(ids, line, sizeof line) == TVK_OK) {
        const int t = tabs(line);
        if (s.stopAtC && line[0] == 'C')
            return TVK_E_RANGE;
        if (s.stopAtClass && class_line(line))
            return TVK_E_RANGE;
        if (s.stopAtFewer && t < s.tabs)
            return TVK_E_RANGE;
        const bool candidate = s.classStyle ? class_line(line) : (s.tabs == 0 ? t == 0 : t == s.tabs);
        if (!candidate)
            continue;
        unsigned a = 0, b = 0;
        int n = scan_ids(s, line, a, b);
        if (n < s.ids) {
            int err = errno;
            if (!s.errorOnBadId) {
                TVK_DBG("Cannot sscanf_s %s from string[%s], ret=%d, %s\n", s.what, line, n, std::strerror(err));
                continue;
            }
            TVK_ERR("Cannot sscanf_s %s from string[%s], ret=%d, %s\n", s.what, line, n, std::strerror(err));
            return n < 0 ? -1 : 0;
        }
        if (a != want || (s.ids == 2 && b != want2))
            continue;
        return out == nullptr ? 0 : take_name(line, s.ids, out, outlen);
    }
    return TVK_E_RANGE;
}

} // namespace

int tvk_get_id_line(FILE *ids, char *line, uint32_t size)
{
    if (ids == nullptr || line == nullptr || size < 2)
        return TVK_E_INVAL;
    while (std::fgets(line, static_cast<int>(size), ids) != nullptr) {
        const char *p = skip_blanks(line);
        if (*p == '#')
            continue;
        size_t n = std::strlen(p);
        if (n > 0 && p[n - 1] == '\n')
            n--;
        if (n < 5)
            continue;
        return TVK_OK;
    }
    return TVK_E_RANGE;
}

int tvk_put_id_line(FILE *ids, const char *line)
{
    return std::fputs(line, ids);
}

FILE *tvk_open_ids_file()
{
    return host().fopen(TVK_PCI_IDS_PATH, "rb");
}

void tvk_close_ids_file(FILE *ids)
{
    if (ids != nullptr)
        std::fclose(ids);
}

int tvk_get_vendor_name(FILE *ids, uint16_t vendor, char *out, uint32_t outlen)
{
    return id_search(ids, kVendor, vendor, 0, out, outlen);
}

int tvk_get_device_name(FILE *ids, uint16_t device, char *out, uint32_t outlen)
{
    return id_search(ids, kDevice, device, 0, out, outlen);
}

int tvk_get_subsystem_name(FILE *ids, uint16_t subvendor, uint16_t subdevice, char *out, uint32_t outlen)
{
    return id_search(ids, kSubsys, subvendor, subdevice, out, outlen);
}

int tvk_get_baseclass_name(FILE *ids, uint32_t classcode, char *out, uint32_t outlen)
{
    return id_search(ids, kBaseClass, (classcode >> 16) & 0xFF, 0, out, outlen);
}

int tvk_get_subclass_name(FILE *ids, uint32_t classcode, char *out, uint32_t outlen)
{
    return id_search(ids, kSubClass, (classcode >> 8) & 0xFF, 0, out, outlen);
}

int tvk_get_progif_name()
{
    return 0;
}

namespace {

// Where the searches of a whole ID file held in memory would go, so that a
// lookup from the start of the file can jump instead of reading every line
// before it. The results are those of the plain searches.
struct IdsIndex {
    std::string text;
    std::unordered_map<uint16_t, long> vendorAt;  // the first vendor line of each id before the first "C" line
    long afterFirstC = -1;                        // just past the first line beginning with "C"
    long classStart = -1;                         // the first "C " line
};

void index_ids(IdsIndex &ix)
{
    std::string_view all = ix.text;
    size_t pos = 0;
    bool vendors = true;
    while (pos < all.size()) {
        size_t end = all.find('\n', pos);
        end = end == std::string_view::npos ? all.size() : end + 1;
        // Long lines would be read in pieces; index nothing past one.
        if (end - pos >= static_cast<size_t>(kLineMax) - 1)
            vendors = false;
        const std::string line(all.substr(pos, end - pos));
        const char *p = skip_blanks(line.c_str());
        std::string_view body(p);
        if (!body.empty() && body.back() == '\n')
            body.remove_suffix(1);
        if (*p != '#' && body.size() >= 5) {
            if (line[0] == 'C') {
                if (ix.afterFirstC < 0)
                    ix.afterFirstC = static_cast<long>(end);
                if (ix.classStart < 0 && class_line(line.c_str()))
                    ix.classStart = static_cast<long>(pos);
                vendors = false;
            }
            unsigned v = 0;
            if (vendors && tabs(line.c_str()) == 0 && sscanf_s(line.c_str(), "%x", &v) == 1 && v <= 0xFFFF)
                ix.vendorAt.emplace(static_cast<uint16_t>(v), static_cast<long>(pos));
        }
        pos = end;
    }
}

// The vendor search from the start of the file, through the index.
int indexed_vendor(FILE *ids, const IdsIndex &ix, uint16_t vendor, char *out, uint32_t outlen)
{
    auto at = ix.vendorAt.find(vendor);
    if (at != ix.vendorAt.end() && std::fseek(ids, at->second, SEEK_SET) == 0)
        return tvk_get_vendor_name(ids, vendor, out, outlen);
    if (out != nullptr && outlen == 0)
        return TVK_E_INVAL;
    (void)std::fseek(ids, ix.afterFirstC < 0 ? 0 : ix.afterFirstC, ix.afterFirstC < 0 ? SEEK_END : SEEK_SET);
    return TVK_E_RANGE;
}

int product_name(FILE *ids, const IdsIndex *ix, const tvk_dev_id *id, char *out, uint32_t outlen);
int class_name(FILE *ids, const IdsIndex *ix, const tvk_dev_id *id, char *out, uint32_t outlen);

} // namespace

int tvk_get_class_name(FILE *ids, const tvk_dev_id *id, char *out, uint32_t outlen)
{
    return class_name(ids, nullptr, id, out, outlen);
}

namespace {

int class_name(FILE *ids, const IdsIndex *ix, const tvk_dev_id *id, char *out, uint32_t outlen)
{
    if (ids == nullptr || id == nullptr || out == nullptr) {
        TVK_ERR("Null pointer detected\n");
        return TVK_E_NULL;
    }
    const unsigned b = id->bus, d = dev5(id->devfn), f = fn3(id->devfn);
    const uint32_t code = id->classrev >> 8;
    // Nothing before the first class line can end or match the base-class search.
    if (ix != nullptr && ix->classStart >= 0 && std::ftell(ids) < ix->classStart)
        (void)std::fseek(ids, ix->classStart, SEEK_SET);
    int r = tvk_get_baseclass_name(ids, code, nullptr, 0);
    if (r < 0) {
        TVK_ERR("Cannot get device[%02x.%02x.%x] baseclass name, ret=%d\n", b, d, f, r);
        return r;
    }
    TVK_DBG("Get base class name succeed\n");
    r = tvk_get_subclass_name(ids, code, out, outlen);
    if (r < 0) {
        TVK_ERR("Cannot get device[%02x.%02x.%x] subclass name, ret=%d\n", b, d, f, r);
        return r;
    }
    TVK_DBG("Get sub-class name as %s\n", out);
    return TVK_OK;
}

} // namespace

namespace {

// Room judged before the next part of the product name.
int short_of_room(uint32_t outlen, int used)
{
    TVK_WARN("Insufficinet buffer of device name[%d - %d <= 4]\n", static_cast<int>(outlen), used);
    return TVK_E_NAME_ROOM;
}

} // namespace

int tvk_get_product_name(FILE *ids, const tvk_dev_id *id, char *out, uint32_t outlen)
{
    return product_name(ids, nullptr, id, out, outlen);
}

namespace {

int product_name(FILE *ids, const IdsIndex *ix, const tvk_dev_id *id, char *out, uint32_t outlen)
{
    if (ids == nullptr || id == nullptr || out == nullptr) {
        TVK_ERR("Null pointer detected\n");
        return TVK_E_NULL;
    }
    const unsigned b = id->bus, d = dev5(id->devfn), f = fn3(id->devfn);
    int vlen = ix ? indexed_vendor(ids, *ix, id->vendor, out, outlen) : tvk_get_vendor_name(ids, id->vendor, out, outlen);
    if (vlen < 0) {
        TVK_ERR("Cannot get device[%02x:%02x.%x]'s vendor name, ret=%d\n", b, d, f, vlen);
        return vlen;
    }
    TVK_DBG("Product name grow vendor name %s\n", out);
    auto used = static_cast<uint32_t>(vlen);
    if (outlen - used < 5) {
        (void)strcpy_s(out, outlen, "NA");
        return short_of_room(outlen, vlen);
    }
    out[used++] = ' ';
    out[used] = '\0';
    int dlen = tvk_get_device_name(ids, id->device, out + used, outlen - used);
    if (dlen < 0) {
        TVK_ERR("Cannot get device[%02x:%02x.%x]'s device name, ret=%d\n", b, d, f, dlen);
        return dlen;
    }
    if (outlen - used - static_cast<uint32_t>(dlen) < 5) {
        (void)strcpy_s(out + used, outlen - used, "...");
        return short_of_room(outlen, dlen);
    }
    used += static_cast<uint32_t>(dlen);
    out[used++] = ' ';
    out[used] = '\0';
    if ((id->hdrtype & 0x7F) != 0)
        return TVK_OK;
    uint16_t subVendor = 0, subsystem = 0;
    int r = tvk_read_conf_word(id->bus, id->devfn, kSubVendor, &subVendor);
    if (r < 0) {
        TVK_ERR("Cannot read device[%02x.%02x.%x] sub_vendor id, ret=%d\n", b, d, f, r);
        return r;
    }
    r = tvk_read_conf_word(id->bus, id->devfn, kSubsystem, &subsystem);
    if (r < 0) {
        TVK_ERR("Cannot read device[%02x.%02x.%x] subsystem id, ret=%d\n", b, d, f, r);
        return r;
    }
    r = tvk_get_subsystem_name(ids, subVendor, subsystem, out + used, outlen - used);
    if (r < 0)
        TVK_NOTE("Cannot get device[%02x:%02x.%x]'s subsys name, ret=%d\n", b, d, f, r);
    return TVK_OK;
}

} // namespace

namespace {

// The full name from an open ID file positioned at its start; the file
// stays open.
int full_name(FILE *ids, const IdsIndex *ix, const tvk_dev_id *id, char *out, int outlen)
{
    const unsigned b = id->bus, d = dev5(id->devfn), f = fn3(id->devfn);
    char product[256] = "";
    int r = product_name(ids, ix, id, product, sizeof product);
    if (r < 0) {
        TVK_ERR("Cannot get device[%02x.%02x.%x] name string, ret=%d\n", b, d, f, r);
        char devId[16];
        if (snprintf_s(devId, sizeof devId, sizeof devId - 1, "%s%x", "Device ", static_cast<unsigned>(id->device)) <
            0) {
            int err = errno;
            TVK_ERR("snprintf_s device[%02x.%02x.%x] device id fail, ret=%d, %s\n", b, d, f, -1, std::strerror(err));
        } else {
            (void)strcat_s(product, sizeof product, devId);
        }
    }
    char klass[128] = "";
    r = class_name(ids, ix, id, klass, sizeof klass);
    if (r < 0) {
        TVK_ERR("Cannot get device[%02x.%02x.%x] class string, ret=%d\n", b, d, f, r);
        (void)strcpy_s(klass, sizeof klass, "unknown class");
    }
    const unsigned rev = id->classrev & 0xFF;
    const auto cap = static_cast<size_t>(outlen);
    r = snprintf_s(out, cap, cap - 1, "%s: %s (rev %02x)", klass, product, rev);
    if (r < 0) {
        int err = errno;
        TVK_ERR("snprintf_s device[%02x.%02x.%x] full name fail, ret=%d, %s\n", b, d, f, r, std::strerror(err));
        return TVK_E_EXT_READ;
    }
    TVK_DBG("Get device[%02x.%02x.%x] full name as %s: %s (rev %02x)\n", b, d, f, klass, product, rev);
    return TVK_OK;
}

int check_full_name_args(const tvk_dev_id *id, const char *out, int outlen)
{
    if (id == nullptr || out == nullptr)
        return TVK_E_NULL;
    if (outlen < 1) {
        TVK_ERR("Buffer len can not be %d\n", outlen);
        return TVK_E_INVAL;
    }
    return TVK_OK;
}

} // namespace

int tvk_get_dev_full_name(const tvk_dev_id *id, char *out, int outlen)
{
    int r = check_full_name_args(id, out, outlen);
    if (r < 0)
        return r;
    FILE *ids = tvk_open_ids_file();
    if (ids == nullptr) {
        TVK_ERR("Cannot open pci.ids file\n");
        return TVK_E_OPEN;
    }
    r = full_name(ids, nullptr, id, out, outlen);
    tvk_close_ids_file(ids);
    return r;
}

// ---- the device list ------------------------------------------------------------------------------

namespace {

// Frees from the last node back to the first; the count stays.
void free_nodes(tvk_dev_list &head)
{
    tvk_dev_node *last = head.first;
    while (last != nullptr && last->next != nullptr)
        last = last->next;
    while (last != nullptr) {
        tvk_dev_node *prev = last->prev;
        (prev ? prev->next : head.first) = nullptr;
        delete last;
        last = prev;
    }
}

} // namespace

int tvk_build_dev_list(tvk_dev_list *head)
{
    if (head == nullptr) {
        TVK_ERR("Null pointer detected!\n");
        return TVK_E_NULL;
    }
    // Building onto a list that holds nodes would lose them.
    if (head->first != nullptr || head->count != 0)
        return TVK_E_INVAL;
    int status = TVK_OK;
    FILE *f = tvk_open_devices(&status);
    if (f == nullptr)
        return status;
    tvk_dev_node *tail = nullptr;
    TvkDevLine fn{};
    while ((status = tvk_next_device(f, &fn)) > 0) {
        const unsigned b = fn.bus, d = dev5(fn.devfn), fnum = fn3(fn.devfn);
        uint8_t hdr = 0;
        int r = tvk_dev_read(fn.bus, fn.devfn, &hdr, 1, kHeaderType);
        if (r < 0) {
            TVK_ERR("Can not read device[%02x:%02x:%x] header type, ret=%d\n", b, d, fnum, r);
            std::fclose(f);
            return r;
        }
        uint32_t classRev = 0;
        r = tvk_get_class_rev(fn.bus, fn.devfn, &classRev);
        if (r < 0) {
            TVK_WARN("Get class_rev for device[%02x:%02x.%x] fail, ret=%d\n", b, d, fnum, r);
            classRev = 0;
        }
        auto *node = new (std::nothrow) tvk_dev_node{};
        if (node == nullptr) {
            int err = errno;
            TVK_ERR("Cannot malloc 0x%xB for pstCur, errno=%d, %s\n", static_cast<unsigned>(sizeof *node), err,
                    std::strerror(err));
            status = TVK_E_NULL;
            break;
        }
        node->id = tvk_dev_id{fn.vendor, fn.device, fn.bus, fn.devfn, hdr, fn.irq, classRev};
        node->prev = tail;
        (tail ? tail->next : head->first) = node;
        tail = node;
        head->count++;
    }
    std::fclose(f);
    if (status < 0) {
        free_nodes(*head);
        head->count = 0;
        return status;
    }
    return TVK_OK;
}

namespace {

// The whole ID file, read once for a list; false when it cannot be read.
bool load_ids(IdsIndex &ix)
{
    FILE *f = tvk_open_ids_file();
    if (f == nullptr)
        return false;
    char buf[65536];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        ix.text.append(buf, n);
    const bool ok = std::ferror(f) == 0;
    tvk_close_ids_file(f);
    if (ok)
        index_ids(ix);
    return ok;
}

// The full name of one function from the loaded file, as
// tvk_get_dev_full_name gives it.
int listed_full_name(IdsIndex *ix, const tvk_dev_id *id, char *out, int outlen)
{
    if (ix == nullptr || ix->text.empty())
        return tvk_get_dev_full_name(id, out, outlen);
    int r = check_full_name_args(id, out, outlen);
    if (r < 0)
        return r;
    FILE *ids = fmemopen(ix->text.data(), ix->text.size(), "rb");
    if (ids == nullptr)
        return tvk_get_dev_full_name(id, out, outlen);
    r = full_name(ids, ix, id, out, outlen);
    std::fclose(ids);
    return r;
}

} // namespace

void tvk_show_dev_list(const tvk_dev_list *head)
{
    if (head == nullptr)
        return;
    TVK_SHOW("%d devices found in total : \n", static_cast<int>(head->count));
    IdsIndex ix;
    const bool loaded = head->first != nullptr && load_ids(ix);
    for (const tvk_dev_node *n = head->first; n != nullptr; n = n->next) {
        const tvk_dev_id &id = n->id;
        uint16_t sts = 0;
        (void)tvk_read_conf_word(id.bus, id.devfn, kStatus, &sts);
        char name[512];
        if (listed_full_name(loaded ? &ix : nullptr, &id, name, sizeof name) == TVK_OK)
            TVK_SHOW("%02x:%02x:%01x %s, sts 0x%04x\n", id.bus, dev5(id.devfn), fn3(id.devfn), name, sts);
        else
            TVK_SHOW("%02x:%02x:%01x vendor %04x, device %04x, irq %d, sts 0x%04x\n", id.bus, dev5(id.devfn),
                     fn3(id.devfn), id.vendor, id.device, static_cast<int>(id.irq), sts);
    }
}

void tvk_destroy_dev_list(tvk_dev_list *head)
{
    if (head != nullptr)
        free_nodes(*head);
}
