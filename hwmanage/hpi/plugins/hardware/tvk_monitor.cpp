#include "hwmanage/hpi/plugins/hardware/tvk_monitor.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "bases/globals/globals.h"
#include "bases/host/host.h"
#include "bases/pci/smbios.h"
#include "bases/pci/tvk_cap.h"
#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"
#include "bases/pci/tvk_name.h"
#include "kelvo/kelvo.h"

uint8_t g_ucRasDevfn = 0;
uint8_t g_ucPlatform = TVK_PLATFORM_3C;
uint8_t g_ucCpu0Bus0 = 0x00;
uint8_t g_ucCpu0Bus1 = 0x7F;
uint8_t g_ucCpu1Bus0 = 0x80;
uint8_t g_ucCpu1Bus1 = 0xFF;
uint8_t g_sandy_cpuno = 0;

GLOBALS_RESET(tvk_monitor)
{
    g_ucRasDevfn = 0;
    g_ucPlatform = TVK_PLATFORM_3C;
    g_ucCpu0Bus0 = 0x00;
    g_ucCpu0Bus1 = 0x7F;
    g_ucCpu1Bus0 = 0x80;
    g_ucCpu1Bus1 = 0xFF;
    g_sandy_cpuno = 0;
}

namespace {

constexpr int kConfDump = 256;
constexpr int kNoMemory = -903;
constexpr int kBoardNameSize = 32;
constexpr uint32_t kSecBusOffset = 0x19;
constexpr uint32_t kHdrTypeOffset = 0x0E;
constexpr uint32_t kStatus = 0x06;
constexpr uint32_t kSecStatus = 0x1E;
constexpr uint16_t kBridgeWatched = 0xC100;

// Boards whose devices file may list virtual functions: ids are read
// from configuration space instead.
constexpr const char *kVfBoards[] = {"ZK17WENA", "ZK17FOLRA", "ZK17BIXA", "ZK17WENB", "ZK17WENC"};
constexpr const char *kKespBoard = "ZK17KESP";
constexpr uint16_t kKespSkipped[] = {0xB005, 0x1330, 0x1331};

// DEVSTA bits 0-3 as the log lines call them.
constexpr const char *kDevstaVirgin[] = {"CorrErr", "UncorrErr", "FatalErr", "UnsuppErr"};
constexpr const char *kDevstaChange[] = {"CorrErr", "UncorrErr", "FatalErr", "UNSUPPREQ_Err"};

bool name_is(const char *board, const char *model) { return std::strncmp(board, model, std::strlen(model)) == 0; }

bool vf_board(const char *board)
{
    for (const char *m : kVfBoards)
        if (name_is(board, m))
            return true;
    return false;
}

bool kesp_skipped(uint16_t device)
{
    for (uint16_t d : kKespSkipped)
        if (d == device)
            return true;
    return false;
}

bool uncore_bus(uint8_t bus) { return bus == g_ucCpu0Bus1 || bus == g_ucCpu1Bus1; }
bool root_bus(uint8_t bus) { return bus == g_ucCpu0Bus0 || bus == g_ucCpu1Bus0; }

uint16_t speed_of(uint16_t lnksta) { return lnksta & 0xF; }
int width_of(uint16_t lnksta) { return (lnksta >> 4) & 0x3F; }
int active_of(uint16_t lnksta) { return (lnksta >> 13) & 1; }

void free_node(tvk_entity_node *node)
{
    std::free(node->ent.data);
    std::free(node);
}

void release_nodes(TVK_ENT_LIST_HEAD *head)
{
    for (tvk_entity_node *n = head->first; n != nullptr;) {
        tvk_entity_node *next = n->next;
        free_node(n);
        n = next;
    }
    head->first = nullptr;
    head->second = nullptr;
    head->count = 0;
}

void link_first(tvk_entity_node *node, TVK_ENT_LIST_HEAD *head)
{
    node->prev = nullptr;
    node->next = head->first;
    if (head->first != nullptr)
        head->first->prev = node;
    head->first = node;
    head->count++;
}

// Ids and command register from configuration space; false when a read
// failed (logged) and the line is to be skipped.
bool seed_from_space(tvk_entity_seed &seed)
{
    const unsigned d = dev5(seed.devfn), f = fn3(seed.devfn);
    int r = tvk_read_conf_word(seed.bus, seed.devfn, 0x00, &seed.vendor);
    if (r < 0) {
        TVK_ERR("[%02x:%02x.%x] Cannot read PCI_VENDOR_ID, ret=%d\n", seed.bus, d, f, r);
        return false;
    }
    r = tvk_read_conf_word(seed.bus, seed.devfn, 0x02, &seed.device);
    if (r == 0)
        r = tvk_read_conf_word(seed.bus, seed.devfn, 0x04, &seed.command);
    if (r < 0) {
        TVK_ERR("[%02x:%02x.%x] Cannot read PCI_DEVICE_ID, ret=%d\n", seed.bus, d, f, r);
        return false;
    }
    return true;
}

// Whether one line of the devices file becomes an entity (lines logged).
bool seed_wanted(tvk_entity_seed &seed, const char *board)
{
    const unsigned d = dev5(seed.devfn), f = fn3(seed.devfn);
    if (vf_board(board)) {
        if (!seed_from_space(seed))
            return false;
        if (seed.vendor == 0xFFFF && seed.device == 0xFFFF && seed.command != 0xFFFF) {
            TVK_LOG("[%02x:%02x.%x] vendor %04x, device %04x is VF\n", seed.bus, d, f, seed.vendor, seed.device);
            return false;
        }
    }
    if (name_is(board, kKespBoard) && kesp_skipped(seed.device))
        return false;
    if (g_ucPlatform >= TVK_PLATFORM_3C && g_ucPlatform <= TVK_PLATFORM_2F && uncore_bus(seed.bus))
        return false;
    int r = tvk_get_class_rev(seed.bus, seed.devfn, &seed.classrev);
    if (r < 0)
        TVK_WARN("Get class_rev for device[%02x:%02x.%x] fail, ret=%d\n", seed.bus, d, f, r);
    TVK_DBG("device[%02x:%02x.%x], vid[0x%04x], did[0x%04x], irq[0x%x]\n", seed.bus, d, f, seed.vendor, seed.device,
            seed.irq);
    r = tvk_read_conf_byte(seed.bus, seed.devfn, kHdrTypeOffset, &seed.hdrtype);
    if (r < 0) {
        TVK_ERR("Can not read device[%02x:%02x:%x] header type, ret=%d\n", seed.bus, d, f, r);
        return false;
    }
    if ((seed.hdrtype & 0x7F) == 0 && root_bus(seed.bus)) {
        TVK_LOG("[%02x:%02x.%x], vid[0x%04x], did[0x%04x] hrd_type[%x] need not add in pcie list\n", seed.bus, d, f,
                seed.vendor, seed.device, seed.hdrtype);
        return false;
    }
    return true;
}

tvk_entity_seed seed_of(const TvkDevLine &line)
{
    tvk_entity_seed s{};
    s.vendor = line.vendor;
    s.device = line.device;
    s.bus = line.bus;
    s.devfn = line.devfn;
    s.irq = line.irq;
    s.vendev = static_cast<uint32_t>(line.vendor) << 16 | line.device;
    s.busdevfn = static_cast<uint32_t>(line.bus) << 8 | line.devfn;
    return s;
}

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};
using DevicesFile = std::unique_ptr<FILE, FileCloser>;

int read_pair(uint8_t bus, uint8_t devfn, uint8_t cap, tvk_entity_state *state)
{
    if (state == nullptr) {
        TVK_ERR("Null pointer detected\n");
        return TVK_E_NULL;
    }
    uint64_t dev = 0, link = 0;
    int r = tvk_get_dev_cap(bus, devfn, cap, &dev);
    if (r < 0)
        return r;
    r = tvk_get_link_cap(bus, devfn, cap, &link);
    if (r < 0)
        return r;
    state->devctl = static_cast<uint16_t>(dev >> 32);
    state->devsta = static_cast<uint16_t>(dev >> 48);
    state->lnkctl = static_cast<uint16_t>(link >> 32);
    state->lnksta = static_cast<uint16_t>(link >> 48);
    return TVK_OK;
}

// The rows of a configuration dump: `emit` gets each finished row text.
template <class Emit> void dump_rows(const uint8_t *data, int length, int offset, Emit emit)
{
    char row[128] = {};
    size_t used = 0;
    auto add = [&](const char *text) {
        int n = snprintf_s(row + used, sizeof row - used, sizeof row - used - 1, "%s", text);
        if (n > 0)
            used += static_cast<size_t>(n);
    };
    char cell[16];
    const int column = offset % 16;
    if (column != 0) {
        snprintf_s(cell, sizeof cell, sizeof cell - 1, "%08x:", static_cast<unsigned>(offset - column));
        add(cell);
        for (int i = 0; i < column; i++)
            add("   ");
    }
    for (int i = 0; i < length; i++) {
        if ((i + column) % 16 == 0) {
            if (used > 0)
                emit(row);
            used = 0;
            row[0] = '\0';
            snprintf_s(cell, sizeof cell, sizeof cell - 1, "%08x:", static_cast<unsigned>(offset + i));
            add(cell);
        }
        snprintf_s(cell, sizeof cell, sizeof cell - 1, " %02hhx", data[i]);
        add(cell);
    }
    if (used > 0)
        emit(row);
}

constexpr const char *kDumpHeader = "--------  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f";

// Reads up to 256 bytes for a dump; the length actually to dump, or the
// read status (logged).
int dump_read(uint8_t bus, uint8_t devfn, int offset, int &length, uint8_t *buf)
{
    if (length > kConfDump)
        length = kConfDump;
    if (length < 0)
        length = 0;
    int r = tvk_read_conf_block(bus, devfn, buf, length, offset);
    if (r < 0)
        TVK_ERR("Cannot read conf space of device[%02x:%02x.%x], ret=%d\n", bus, dev5(devfn), fn3(devfn), r);
    return r;
}

} // namespace

// ---- the list -------------------------------------------------------------------------------------

int tvk_build_entity_list(TVK_ENT_LIST_HEAD *head)
{
    if (head == nullptr)
        return TVK_E_NULL;
    char board[kBoardNameSize] = {};
    int r = smbios_get_board_info(1, board, sizeof board);
    if (r != 0) {
        TVK_ERR("call smbios_get_board_info fail! iRet=%d\n", r);
        return r;
    }
    release_nodes(head);
    int code = 0;
    DevicesFile f(tvk_open_devices(&code));
    if (!f)
        return code;
    TvkDevLine line{};
    while ((r = tvk_next_device(f.get(), &line)) == 1) {
        tvk_entity_seed seed = seed_of(line);
        if (!seed_wanted(seed, board))
            continue;
        int a = tvk_add_entity_node(&seed, head);
        if (a != 0 && a != TVK_E_NOT_PCIE)
            TVK_ERR("Cannot add entity for device[%02x:%02x.%x], ret=%d\n", seed.bus, dev5(seed.devfn),
                    fn3(seed.devfn), a);
    }
    if (r < 0) {
        release_nodes(head);
        return r;
    }
    TVK_DBG("Found %d PCIE devices in total\n", static_cast<int>(head->count));
    return TVK_OK;
}

int tvk_add_entity_node(const tvk_entity_seed *seed, TVK_ENT_LIST_HEAD *head)
{
    if (seed == nullptr || head == nullptr)
        return TVK_E_NULL;
    auto *node = static_cast<tvk_entity_node *>(std::calloc(1, sizeof(tvk_entity_node)));
    if (node == nullptr) {
        int err = errno;
        TVK_ERR("Cannot malloc %dB for pstEnt, errno=%d, %s\n", static_cast<int>(sizeof(tvk_entity_node)), err,
                std::strerror(err));
        return kNoMemory;
    }
    int r = tvk_create_entity(seed, &node->ent);
    if (r != 0) {
        if (r != TVK_E_NOT_PCIE)
            TVK_ERR("Cannot create entity node for dev[%02x:%02x.%x], ret=%d\n", seed->bus, dev5(seed->devfn),
                    fn3(seed->devfn), r);
        free_node(node);
        return r;
    }
    link_first(node, head);
    return TVK_OK;
}

int tvk_create_entity(const tvk_entity_seed *seed, tvk_entity *ent)
{
    if (seed == nullptr || ent == nullptr)
        return TVK_E_NULL;
    std::memset(ent, 0, sizeof *ent);
    const uint8_t bus = seed->bus, devfn = seed->devfn;
    const unsigned d = dev5(devfn), f = fn3(devfn);
    ent->bus = bus;
    ent->devfn = devfn;
    ent->vendor = seed->vendor;
    ent->device = seed->device;
    ent->classrev = seed->classrev;
    ent->hdrtype = seed->hdrtype;
    uint32_t hdr = 0;
    int at = tvk_get_cap_hdr(bus, devfn, TVK_CAP_ID_EXP, &hdr);
    if (at == TVK_E_NOT_PCIE) {
        TVK_DBG("Device[%02x:%02x:%x] is not PCIE\n", bus, d, f);
        return at;
    }
    if (at < 0) {
        TVK_ERR("Cannot get device[%02x:%02x:%x] express cap header, ret=%d\n", bus, d, f, at);
        return at;
    }
    ent->cap = static_cast<uint8_t>(at);
    ent->expcap = static_cast<uint16_t>(hdr >> 16);
    int r = tvk_read_conf_byte(bus, devfn, kSecBusOffset, &ent->secbus);
    if (r < 0)
        TVK_ERR("Cannot get bridge[%02x:%02x.%d] secondary bus, ret=%d\n", bus, d, static_cast<int>(f), r);
    auto map = std::make_unique<tvk_bus_map>();
    r = tvk_build_bus_map(map.get());
    if (r < 0)
        TVK_ERR("Cannot build bus map, ret=%d\n", r);
    else if ((r = tvk_get_route(bus, devfn, map.get(), &ent->route)) < 0)
        TVK_ERR("Cannot get device[%02x:%02x:%x] route, ret=%d\n", bus, d, f, r);
    ent->data = static_cast<tvk_entity_state *>(std::calloc(1, sizeof(tvk_entity_state)));
    if (ent->data == nullptr) {
        int err = errno;
        TVK_ERR("Cannot malloc 0x%xB for ent->data, errno=%d, %s\n", static_cast<unsigned>(sizeof(tvk_entity_state)),
                err, std::strerror(err));
        return TVK_E_NULL;
    }
    return tvk_init_entity_data(bus, devfn, ent->cap, ent->data);
}

tvk_entity_node *tvk_tell_entity_node(uint8_t bus, uint8_t devfn, const TVK_ENT_LIST_HEAD *head)
{
    if (head == nullptr)
        return nullptr;
    for (tvk_entity_node *n = head->first; n != nullptr; n = n->next)
        if (n->ent.bus == bus && n->ent.devfn == devfn)
            return n;
    return nullptr;
}

int tvk_delete_entity_node(tvk_entity_node *node, TVK_ENT_LIST_HEAD *head)
{
    if (head == nullptr)
        return TVK_E_NULL;
    if (node == nullptr)
        return TVK_OK;
    if (node->prev != nullptr)
        node->prev->next = node->next;
    else
        head->first = node->next;
    if (node->next != nullptr)
        node->next->prev = node->prev;
    free_node(node);
    if (head->count > 0)
        head->count--;
    return TVK_OK;
}

int tvk_delete_obsolete_entity(TVK_ENT_LIST_HEAD *head)
{
    if (head == nullptr)
        return TVK_E_NULL;
    for (tvk_entity_node *n = head->first; n != nullptr;) {
        tvk_entity_node *next = n->next;
        const uint8_t bus = n->ent.bus, devfn = n->ent.devfn;
        int r = tvk_identify_express(bus, devfn);
        if (r < 1) {
            TVK_LOG("PCIe device[%02x:%02x.%d] disappear[ret=%d], remove it from the list\n", bus, dev5(devfn),
                    static_cast<int>(fn3(devfn)), r);
            int d = tvk_delete_entity_node(n, head);
            if (d != 0)
                TVK_ERR("Cannot delete device[%02x:%02x.%x] from entitylist, ret=%d\n", bus, dev5(devfn), fn3(devfn),
                        d);
        }
        n = next;
    }
    return TVK_OK;
}

int tvk_find_new_entity(TVK_ENT_LIST_HEAD *head)
{
    if (head == nullptr)
        return TVK_E_NULL;
    int code = 0;
    DevicesFile f(tvk_open_devices(&code));
    if (!f)
        return code;
    TvkDevLine line{};
    int r = 0;
    while ((r = tvk_next_device(f.get(), &line)) == 1) {
        if (uncore_bus(line.bus) || tvk_tell_entity_node(line.bus, line.devfn, head) != nullptr)
            continue;
        tvk_entity_seed seed = seed_of(line);
        if (tvk_add_entity_node(&seed, head) == 0)
            TVK_LOG("Add entity for device[%02x:%02x.%x] succeed\n", line.bus, dev5(line.devfn), fn3(line.devfn));
    }
    return r < 0 ? r : TVK_OK;
}

int tvk_update_entity_list(TVK_ENT_LIST_HEAD *head)
{
    if (head == nullptr)
        return TVK_E_NULL;
    tvk_delete_obsolete_entity(head);
    int r = tvk_find_new_entity(head);
    if (r < 0) {
        TVK_WARN("tvk_find_new_entity return %d\n", r);
        return r;
    }
    return TVK_OK;
}

void tvk_destroy_entity_list(TVK_ENT_LIST_HEAD *head)
{
    if (head == nullptr)
        return;
    release_nodes(head);
    std::free(head);
}

// ---- state ------------------------------------------------------------------------------------------

int tvk_get_entity_state(uint8_t bus, uint8_t devfn, uint8_t cap, tvk_entity_state *state)
{
    return read_pair(bus, devfn, cap, state);
}

int tvk_init_entity_data(uint8_t bus, uint8_t devfn, uint8_t cap, tvk_entity_state *state)
{
    return read_pair(bus, devfn, cap, state);
}

void tvk_clear_devsts_errors(uint8_t bus, uint8_t devfn, uint8_t cap)
{
    tvk_write_conf_word(bus, devfn, cap + TVK_EXP_DEVSTA, TVK_DEVSTA_ERRORS);
}

void tvk_init_entity_state(tvk_entity_state *state)
{
    if (state != nullptr)
        *state = tvk_entity_state{};
}

// ---- checks -----------------------------------------------------------------------------------------

int tvk_log_entity_virgin_error(const tvk_entity *ent, const tvk_entity_state *state)
{
    if (ent == nullptr || state == nullptr)
        return TVK_E_NULL;
    const unsigned b = ent->bus, d = dev5(ent->devfn), f = fn3(ent->devfn);
    if ((state->devsta & TVK_DEVSTA_ERRORS) == 0)
        TVK_LOG("Device[%02x:%02x.%x] virgin status is OK, DEVSTA=0x%04x, DEVCTL=0x%04x\n", b, d, f, state->devsta,
                state->devctl);
    for (unsigned bit = 0; bit < 4; bit++)
        if (state->devsta & (1u << bit))
            TVK_ERR("Device[%02x:%02x.%x] detect virgin %s, DEVSTA=0x%04x, DEVCTL=0x%04x\n", b, d, f,
                    kDevstaVirgin[bit], state->devsta, state->devctl);
    TVK_LOG("Device[%02x:%02x.%x] virgin speed is %s, LNKSTA=0x%04x, LNKCTL=0x%04x\n", b, d, f,
            tvk_speed_str(static_cast<uint8_t>(speed_of(state->lnksta))), state->lnksta, state->lnkctl);
    TVK_LOG("Device[%02x:%02x.%x] virgin width is X%d, LNKSTA=0x%04x, LNKCTL=0x%04x\n", b, d, f,
            width_of(state->lnksta), state->lnksta, state->lnkctl);
    return TVK_OK;
}

namespace {

// Step 4 of the entity check: logs what changed against the snapshot;
// whether anything did.
bool log_changes(tvk_entity &ent, const tvk_entity_state &now)
{
    const tvk_entity_state &was = *ent.data;
    const unsigned b = ent.bus, d = dev5(ent.devfn), f = fn3(ent.devfn);
    bool changed = false;
    for (unsigned bit = 0; bit < 4; bit++) {
        const int o = (was.devsta >> bit) & 1, n = (now.devsta >> bit) & 1;
        if (n && !o) {
            TVK_ERR("Device[%02x:%02x.%x] %s status change[%d -> %d]\n", b, d, f, kDevstaChange[bit], o, n);
            changed = true;
        }
    }
    if (active_of(was.lnksta) != active_of(now.lnksta)) {
        if (active_of(now.lnksta))
            ent.flags &= ~TVK_ENT_LINK_DOWN;
        else
            ent.flags |= TVK_ENT_LINK_DOWN;
        TVK_LOG("Device[%02x:%02x.%x] link activation change[%d -> %d]\n", b, d, f, active_of(was.lnksta),
                active_of(now.lnksta));
        changed = true;
    }
    if (speed_of(was.lnksta) != speed_of(now.lnksta)) {
        TVK_LOG("Device[%02x:%02x.%x] speed change[%s -> %s]\n", b, d, f,
                tvk_speed_str(static_cast<uint8_t>(speed_of(was.lnksta))),
                tvk_speed_str(static_cast<uint8_t>(speed_of(now.lnksta))));
        changed = true;
    }
    if (width_of(was.lnksta) != width_of(now.lnksta)) {
        if (width_of(now.lnksta) == 0)
            ent.flags |= TVK_ENT_WIDTH_ZERO;
        else
            ent.flags &= ~TVK_ENT_WIDTH_ZERO;
        TVK_LOG("Device[%02x:%02x.%x] link width change[X%d -> X%d]\n", b, d, f, width_of(was.lnksta),
                width_of(now.lnksta));
        changed = true;
    }
    return changed;
}

// Step 3: false when the configuration space reads as absent (or an id
// cannot be read, with *status set).
bool space_sound(tvk_entity &ent, int *status)
{
    const unsigned b = ent.bus, d = dev5(ent.devfn), f = fn3(ent.devfn);
    uint16_t vendor = 0, device = 0;
    int r = tvk_read_conf_word(ent.bus, ent.devfn, 0x00, &vendor);
    if (r < 0) {
        TVK_ERR("Cannot read PCI_VENDOR_ID, ret=%d\n", r);
        *status = r;
        return false;
    }
    r = tvk_read_conf_word(ent.bus, ent.devfn, 0x02, &device);
    if (r < 0) {
        TVK_ERR("Cannot read PCI_DEVICE_ID, ret=%d\n", r);
        *status = r;
        return false;
    }
    auto absent = [](uint16_t v) { return v == 0x0000 || v == 0xFFFF; };
    if (absent(vendor) && absent(device)) {
        if ((ent.flags & TVK_ENT_CONF_FAULT) == 0)
            TVK_ERR("Device[%02x:%02x.%x] PCI config space register fault, vendor[%x], device[%x]\n", b, d, f, vendor,
                    device);
        ent.flags |= TVK_ENT_CONF_FAULT;
        return false;
    }
    ent.flags &= ~TVK_ENT_CONF_FAULT;
    return true;
}

} // namespace

int tvk_check_entity_error(tvk_entity *ent, tvk_entity_state *out)
{
    if (ent == nullptr || out == nullptr || ent->data == nullptr)
        return TVK_E_NULL;
    tvk_entity_state now{};
    int r = tvk_get_entity_state(ent->bus, ent->devfn, ent->cap, &now);
    if (r < 0) {
        TVK_ERR("Cannot get entity[%02x:%02x:%x] data, ret=%d\n", ent->bus, dev5(ent->devfn), fn3(ent->devfn), r);
        return r;
    }
    *out = now;
    if (ent->seen == 0) {
        tvk_log_entity_virgin_error(ent, &now);
    } else {
        int status = 0;
        if (!space_sound(*ent, &status))
            return status;
        if (log_changes(*ent, now))
            tvk_log_conf_space(ent->bus, ent->devfn, 0, kConfDump);
    }
    if (now.devsta & TVK_DEVSTA_ERRORS) {
        tvk_aer_log(ent->bus, ent->devfn, 1, (ent->data->devsta & TVK_DEVSTA_ERRORS) == 0 ? 1 : 0);
        tvk_clear_devsts_errors(ent->bus, ent->devfn, ent->cap);
    }
    return TVK_OK;
}

int tvk_get_pci_bridge_state(uint8_t bus, uint8_t devfn, uint16_t out[2])
{
    if (out == nullptr)
        return TVK_E_NULL;
    int r = tvk_read_conf_word(bus, devfn, kStatus, &out[0]);
    if (r < 0)
        return r;
    return tvk_read_conf_word(bus, devfn, kSecStatus, &out[1]);
}

int tvk_check_pci_bridge_error(int busIndex, const tvk_bus_entry *bridge, uint16_t out[2])
{
    if (bridge == nullptr || out == nullptr)
        return TVK_E_NULL;
    const uint8_t bus = bridge->bus, devfn = bridge->devfn;
    const unsigned d = dev5(devfn);
    const int f = static_cast<int>(fn3(devfn));
    int r = tvk_get_pci_bridge_state(bus, devfn, out);
    if (r < 0) {
        TVK_ERR("Cannot get PCI bus[%d] bridge[%02x:%02x.%d] state, ret=%d\n", busIndex, bus, d, f, r);
        return r;
    }
    if ((bridge->status ^ out[0]) & kBridgeWatched) {
        TVK_LOG("Bus[%d] bridge[%02x:%02x.%d] status changes[0x%04x -> 0x%04x]\n", busIndex, bus, d, f,
                bridge->status, out[0]);
        tvk_log_conf_space(bus, devfn, 0, kConfDump);
    }
    if ((bridge->secstatus ^ out[1]) & kBridgeWatched) {
        TVK_LOG("Bus[%d] bridge[%02x:%02x.%d] secondary status changes[0x%04x -> 0x%04x]\n", busIndex, bus, d, f,
                bridge->secstatus, out[1]);
        tvk_log_conf_space(bus, devfn, 0, kConfDump);
    }
    const uint16_t primary = out[0] & kBridgeWatched, secondary = out[1] & kBridgeWatched;
    if (primary != 0 && (r = tvk_write_conf_word(bus, devfn, kStatus, primary)) < 0) {
        TVK_ERR("Clear Bus[%d] bridge[%02x:%02x.%d] PCI_STATUS[0x%04x]fail, ret=%d\n", busIndex, bus, d, f, primary, r);
        return r;
    }
    if (secondary != 0 && (r = tvk_write_conf_word(bus, devfn, kSecStatus, secondary)) < 0) {
        TVK_ERR("Clear Bus[%d] bridge[%02x:%02x.%d] PCI_SEC_STATUS [0x%04x] fail, ret=%d\n", busIndex, bus, d, f,
                secondary, r);
        return r;
    }
    return TVK_OK;
}

// ---- printers ---------------------------------------------------------------------------------------

int tvk_log_conf_space(uint8_t bus, uint8_t devfn, int offset, int length)
{
    uint8_t buf[kConfDump] = {};
    int r = dump_read(bus, devfn, offset, length, buf);
    if (r < 0)
        return r;
    TVK_LOG("Dumping configuration space of device[%02x:%02x.%x]\n", bus, dev5(devfn), fn3(devfn));
    tvk_log_at(__FILE__, __LINE__, TVK_LVL_LOG, "<COMM>%s\n", kDumpHeader);
    dump_rows(buf, length, offset, [](const char *row) { tvk_log_at(__FILE__, __LINE__, TVK_LVL_LOG, "<COMM>%s\n", row); });
    return r;
}

int tvk_show_conf_space(uint8_t bus, uint8_t devfn, int offset, int length)
{
    uint8_t buf[kConfDump] = {};
    int r = dump_read(bus, devfn, offset, length, buf);
    if (r < 0)
        return r;
    TVK_SHOW("Dumping configuration space of device[%02x:%02x.%x]\n", bus, dev5(devfn), fn3(devfn));
    tvk_show_hex_rows(buf, length, offset);
    return r;
}

void tvk_show_hex_rows(const uint8_t *data, int length, int offset)
{
    if (data == nullptr)
        return;
    TVK_SHOW("%s\n", kDumpHeader);
    dump_rows(data, length, offset, [](const char *row) { TVK_SHOW("%s\n", row); });
}

void tvk_show_entity_list(const TVK_ENT_LIST_HEAD *head)
{
    if (head == nullptr)
        return;
    TVK_LOG("%d PCIE devices found in total\n", static_cast<int>(head->count));
    for (const tvk_entity_node *n = head->first; n != nullptr; n = n->next) {
        const tvk_entity &e = n->ent;
        tvk_dev_id id{e.vendor, e.device, e.bus, e.devfn, e.hdrtype, 0, e.classrev};
        char name[256] = {};
        if (tvk_get_dev_full_name(&id, name, sizeof name) == 0)
            TVK_LOG("BOARD[%d]-->%02x:%02x.%x %s\n", e.board, e.bus, dev5(e.devfn), fn3(e.devfn), name);
        else
            TVK_ERR("BOARD[%d]-->%02x:%02x.%x vendor %04x, device %04x\n", e.board, e.bus, dev5(e.devfn), fn3(e.devfn),
                    e.vendor, e.device);
    }
}

void tvk_show_entity_health(const tvk_entity *ent)
{
    if (ent == nullptr)
        return;
    const unsigned b = ent->bus, d = dev5(ent->devfn), f = fn3(ent->devfn);
    tvk_entity_state s{};
    int r = tvk_get_entity_state(ent->bus, ent->devfn, ent->cap, &s);
    if (r < 0) {
        TVK_ERR("Cannot parse device[%02x:%02x.%x] entity health, ret=%d\n", b, d, f, r);
        return;
    }
    const char *speed = tvk_speed_str(static_cast<uint8_t>(speed_of(s.lnksta)));
    if ((s.devsta & 0x000E) == 0) {
        TVK_SHOW("[%02x:%02x.%x] DEVSTA %s, speed=%s, width=X%d\n", b, d, f, "OK", speed, width_of(s.lnksta));
        return;
    }
    TVK_SHOW("[%02x:%02x.%x] DEVSTA %s, CorrErr=%d, UncorrErr=%d, FatalErr=%d, UnsuppReq=%d, speed=%s, width=X%d\n", b,
             d, f, "NG", s.devsta & 1, (s.devsta >> 1) & 1, (s.devsta >> 2) & 1, (s.devsta >> 3) & 1, speed,
             width_of(s.lnksta));
    tvk_show_conf_space(ent->bus, ent->devfn, 0, kConfDump);
}

const char *tvk_speed_str(uint8_t code)
{
    switch (code) {
    case 1:
        return "2.5GT/s";
    case 2:
        return "5.0GT/s";
    case 3:
        return "8.0GT/s";
    default:
        return "UNKNOWN";
    }
}
