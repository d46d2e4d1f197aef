#include "tool/tavk/pci_inspect.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "bases/host/host.h"
#include "bases/pci/tvk_cap.h"
#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"
#include "hwmanage/hpi/plugins/hardware/tvk_ras_regs.h"
#include "kelvo/kelvo.h"
#include "tool/cmd_kit.h"
#include "tool/tavk/pci_reg.h"

namespace {

constexpr int kNull = -904;
constexpr int kBadText = -906;
constexpr int kTooMany = -907;

unsigned ras_dev() { return dev5(g_ucRasDevfn); }
unsigned ras_fn() { return fn3(g_ucRasDevfn); }

// What one test or dump run owns: released on every path.
struct HeadFree {
    void operator()(TVK_ENT_LIST_HEAD *h) const { tvk_destroy_entity_list(h); }
};
using Head = std::unique_ptr<TVK_ENT_LIST_HEAD, HeadFree>;
using Map = std::unique_ptr<tvk_bus_map, decltype(&std::free)>;

struct Run {
    Map map{nullptr, &std::free};
    Head head;
};

// Bus map and list head; 0 or the handler's status (logged).
int prepare(Run &run)
{
    run.map.reset(static_cast<tvk_bus_map *>(std::calloc(1, sizeof(tvk_bus_map))));
    int r = run.map ? tvk_build_bus_map(run.map.get()) : kNull;
    if (r != 0) {
        TVK_ERR("Cannot build bus map, ret=%d\n", r);
        return PCI_NO_MAP;
    }
    run.head.reset(static_cast<TVK_ENT_LIST_HEAD *>(std::calloc(1, sizeof(TVK_ENT_LIST_HEAD))));
    if (!run.head) {
        TVK_ERR("malloc for TVK_ENT_LIST_HEAD fail\n");
        return kNull;
    }
    return 0;
}

// ---- AER and XP lines ----

// The AER words the show judges and the clear writes back.
struct AerWord {
    const char *name;
    int index;        // dword of the snapshot
    uint32_t offset;  // from the capability
};
constexpr AerWord kAerWords[] = {
    {"AER Uncorrectable Error Status", 1, 0x04},
    {"AER Correctable Error Status", 4, 0x10},
    {"AER Root Port Error Status", 12, 0x30},
};

constexpr uint32_t kXpCor = 0;        // dword of 0x200
constexpr uint32_t kXpUnc = 2;        // dword of 0x208
constexpr uint32_t kXpGlb = 12;       // dword of 0x230, the status word below
constexpr uint32_t kXpGlbAt = 0x230;
constexpr uint32_t kXpUncBits = 0x37A;
constexpr uint16_t kLinkClear = 0xC000;
constexpr uint32_t kLnkStaAt = 0x12;  // from the PCI Express capability

// The five XP lines as the port prints them (their wording differs a little).
struct XpLine {
    const char *ok;
    const char *ng;
};
constexpr XpLine kXpLines[] = {
    {"XP Correctable Error Status OK!", "XP Correctable Error Status NG!"},
    {"XP Uncorrectable Error Status OK!", "XP Uncorrectable Error Status NG!"},
    {"XPGLBERRSTS PCIe AER Fatal error OK!", "XPGLBERRSTS PCIe AER Fatal error NG!"},
    {"XPGLBERRSTSPCIe AER Non-fatal error OK!", "XPGLBERRSTS PCIe AER Non-fatal error NG!"},
    {"XPGLBERRSTS PCIe AER Correctable error OK!", "XPGLBERRSTSPCIe AER Correctable error NG!"},
};

int xp_clear(const tvk_entity &e)
{
    uint32_t cor = 0;
    int r = tvk_read_conf_dword(e.bus, e.devfn, SANDY_XP_BASE, &cor);
    if (r != 0)
        return r;
    if (cor & 1)
        (void)tvk_write_conf_word(e.bus, e.devfn, e.cap + kLnkStaAt, kLinkClear);
    sandy_clear_xp_state(e.bus, e.devfn);
    // The global word the show judges is cleared too, or a clear would
    // leave the port NG.
    uint16_t glb = 0;
    if (tvk_read_conf_word(e.bus, e.devfn, kXpGlbAt, &glb) == 0 && glb != 0)
        (void)tvk_write_conf_word(e.bus, e.devfn, kXpGlbAt, glb);
    return 0;
}

// ---- the uncore units ----

struct UncoreUnit {
    const char *clearName;   // "Clear %s state"
    const char *showName;    // "Begin to inspect %s state"
    const char *errName;     // "Cannot get %s state"
    void (*clear)();
    int (*readShow)();       // the read's status; shown when it succeeded
};

constexpr UncoreUnit kIio = {"iio", "iio", "iio", [] { sandy_clear_iio_state(0); }, [] {
                                 sandy_iio_state s{};
                                 int r = sandy_read_iio_state(&s);
                                 if (r == 0)
                                     sandy_show_iio_health(&s);
                                 return r;
                             }};
constexpr UncoreUnit kIrp = {"coherent interface", "coherent interface", "irp",
                             [] {
                                 sandy_clear_irp_state(0, 0);
                                 sandy_clear_irp_state(1, 0);
                             },
                             [] {
                                 sandy_irp_state s{};
                                 int r = sandy_read_irp_state(&s);
                                 if (r == 0)
                                     sandy_show_irp_health(&s);
                                 return r;
                             }};
constexpr UncoreUnit kGlobal = {"global error", "global error", "global error", [] { sandy_clear_global_state(0); },
                                [] {
                                    sandy_gerr_state s{};
                                    sandy_summary sum[SANDY_MAX_CPUS] = {};
                                    int r = sandy_get_global_error(&s, sum);
                                    if (r == 0)
                                        sandy_show_global_health(sum);
                                    return r;
                                }};
constexpr UncoreUnit kMisc = {"misc", "misc", "misc", [] { sandy_clear_misc_state(); }, [] {
                                  sandy_misc_state s{};
                                  int r = sandy_read_misc_state(&s);
                                  if (r == 0)
                                      sandy_show_misc_health(&s);
                                  return r;
                              }};

int inspect_unit(const UncoreUnit &u, int clear)
{
    if (clear) {
        std::printf("[SHOW] <--- Clear %s state... --->\n", u.clearName);
        u.clear();
        return 0;
    }
    TVK_SHOW("<--- Begin to inspect %s state, Device[%02x:%02x.%x]... --->\n", u.showName, 0u, ras_dev(), ras_fn());
    int r = u.readShow();
    if (r != 0)
        TVK_ERR("Cannot get %s state, ret=%d\n", u.errName, r);
    return r;
}

// ---- the test letters ----

struct TestLetter {
    char letter;
    bool upperOnly;
    void (*run)(Run &run);
};

constexpr TestLetter kTestLetters[] = {
    {'A', false, [](Run &r) { sandy_inspect_pcie(r.head.get(), 0, 1); }},
    {'B', false, [](Run &r) { sandy_show_bridge_helath(r.map.get(), 0); }},
    {'C', false,
     [](Run &r) {
         sandy_inspect_pcie(r.head.get(), 1, 1);
         sandy_show_bridge_helath(r.map.get(), 1);
         sandy_inspect_iio(1);
         sandy_inspect_irp(1);
         sandy_inspect_global_error(1);
         sandy_inspect_qpi(1);
     }},
    {'D', false, [](Run &) { sandy_show_dmi_state(); }},
    {'E', false, [](Run &r) { sandy_inspect_pcie(r.head.get(), 0, 0); }},
    {'G', false, [](Run &) { sandy_inspect_global_error(0); }},
    {'I', false, [](Run &) { sandy_inspect_iio(0); }},
    {'M', true, [](Run &) { sandy_inspect_misc(0); }},
    {'P', false, [](Run &) { sandy_inspect_irp(0); }},
    {'Q', false, [](Run &) { sandy_inspect_qpi(0); }},
};

const TestLetter *test_letter(char c)
{
    for (const TestLetter &t : kTestLetters)
        if (c == t.letter || (!t.upperOnly && std::toupper(static_cast<unsigned char>(c)) == t.letter))
            return &t;
    return nullptr;
}

// ---- the dump letters ----

struct DumpAddr {
    uint32_t bus = kCmdUnset, dev = kCmdUnset, fn = kCmdUnset;
    bool valid() const { return bus <= 0xFF && dev <= 0x1F && fn <= 7; }
};

void dump_ras_title(const char *what)
{
    TVK_SHOW("================%s, Device[%02x:%02x.%x]=============\r\n", what, 0u, ras_dev(), ras_fn());
}

void dump_lspci()
{
    int st = host().system(PCI_LSPCI_COMMAND);
    // 127 as the shell's own wait status (0x7F00) too: the tool is missing.
    if (st == 127 || st == -1 || st == 0x7F00)
        TVK_ERR("system (%s) fail, error=%d\n", PCI_LSPCI_COMMAND, st);
}

void dump_express(const DumpAddr &a)
{
    TVK_SHOW("================PCI Express and AER error, Device[%02x:%02x.%x]============\r\n", a.bus, a.dev, a.fn);
    sandy_express_error rec{};
    rec.ucBus = cmd_u8(a.bus);
    rec.ucDevfn = cmd_u8(a.dev << 3 | a.fn);
    sandy_get_express_error(&rec);
    sandy_dump_express_error(&rec);
}

void dump_global()
{
    TVK_SHOW("================Global error, Device[%02x:%02x.%x]=========================\r\n", 0u, ras_dev(),
             ras_fn());
    sandy_gerr_state s{};
    sandy_summary sum[SANDY_MAX_CPUS] = {};
    sandy_get_global_error(&s, sum);
    sandy_dump_global_error(&s);
}

void dump_iio()
{
    dump_ras_title("IIO core interface error");
    sandy_iio_state s{};
    sandy_get_iio_state(&s);
    sandy_dump_iio_state(&s);
}

void dump_irp()
{
    dump_ras_title("coherent interface error");
    sandy_irp_state s{};
    sandy_get_irp_state(&s);
    sandy_dump_irp_state(&s);
}

void dump_sysevt()
{
    dump_ras_title("System Event report ctrl");
    sandy_sysevt_state s{};
    sandy_get_sysevt_state(&s);
    sandy_dump_sysevt_state(&s);
}

void dump_qpi()
{
    std::puts("[SHOW] =====================QPI Port State==================\r");
    sandy_qpi_state s[SANDY_MAX_CPUS] = {};
    sandy_get_qpi_error(s, g_sandy_cpuno);
    sandy_dump_qpi_state(s);
}

void dump_map(const Run &run)
{
    std::puts("[SHOW] ================PCI Bus Map==========================\r");
    std::fflush(stdout);
    tvk_show_bus_map(run.map.get());
    tvk_show_entity_list(run.head.get());
}

} // namespace

// ---- handlers -------------------------------------------------------------------------------

TransOpStatus pci_test(const char *params)
{
    pci_init();
    if (params == nullptr) {
        TVK_ERR("Null pointer detected\n");
        return kNull;
    }
    char letter = 0;
    if (sscanf_s(params, "%c", &letter, 1u) < 1) {
        TVK_ERR("Invalid input, please check\n");
        return kBadText;
    }
    Run run;
    int r = prepare(run);
    if (r != 0)
        return r;
    if (const TestLetter *t = test_letter(letter))
        t->run(run);
    return 0;
}

TransOpStatus pci_dump(const char *params)
{
    pci_init();
    if (params == nullptr) {
        TVK_ERR("Null pointer detected\n");
        return kNull;
    }
    char letter = 0;
    DumpAddr a;
    (void)sscanf_s(params, "%c%x:%x.%x", &letter, 1u, &a.bus, &a.dev, &a.fn);
    const char up = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (up == 'E' && !a.valid()) {
        TVK_ERR("No valid BDF Input, please check!\n");
        std::puts("No valid BDF Input, please check!");
        return PCI_NO_MAP;
    }
    Run run;
    int r = prepare(run);
    if (r != 0)
        return r;
    r = tvk_build_entity_list(run.head.get());
    if (r != 0) {
        TVK_ERR("Cannot build entity list, ret=%d\n", r);
        return r;
    }
    switch (up) {
    case 'A': dump_lspci(); break;
    case 'E': dump_express(a); break;
    case 'G': dump_global(); break;
    case 'I': dump_iio(); break;
    case 'M': dump_map(run); break;
    case 'P': dump_irp(); break;
    case 'Q': dump_qpi(); break;
    case 'S': dump_sysevt(); break;
    default: break;
    }
    return 0;
}

// ---- PCI Express functions ------------------------------------------------------------------

int sandy_inspect_pcie(TVK_ENT_LIST_HEAD *list, int clear, int all)
{
    if (list == nullptr) {
        TVK_ERR("Null pointer detected\n");
        return kNull;
    }
    int r = tvk_build_entity_list(list);
    if (r != 0) {
        TVK_ERR("Cannot build entity list, ret=%d\n", r);
        return r;
    }
    if (clear)
        std::puts("[SHOW] <--- Clear pcie state... --->");
    for (const tvk_entity_node *n = list->first; n != nullptr; n = n->next) {
        if (!all && n->ent.bus >= g_ucCpu0Bus1)
            continue;
        sandy_show_pcie_health(n, clear);
        sandy_show_aer_health(n, clear);
        sandy_show_xp_health(n, clear);
    }
    return 0;
}

int sandy_show_pcie_health(const tvk_entity_node *node, int clear)
{
    if (node == nullptr)
        return kNull;
    const tvk_entity &e = node->ent;
    if (!clear)
        tvk_show_entity_health(&e);
    else if (e.devfn != g_ucRasDevfn)
        tvk_clear_devsts_errors(e.bus, e.devfn, e.cap);
    return 0;
}

int sandy_show_aer_health(const tvk_entity_node *node, int clear)
{
    if (node == nullptr)
        return kNull;
    const tvk_entity &e = node->ent;
    int aer = tvk_tell_ext_cap(e.bus, e.devfn, TVK_EXT_CAP_ID_ERR);
    if (aer <= 0)
        return 0;
    sandy_aer_state s{};
    int r = sandy_read_aer_state(e.bus, e.devfn, &s, static_cast<uint32_t>(aer));
    if (r < 0) {
        TVK_ERR("Read aer state Failed, ret=%d\n", r);
        return r;
    }
    for (const AerWord &w : kAerWords) {
        const uint32_t v = s.aulReg[w.index];
        if (clear)
            (void)tvk_write_conf_dword(e.bus, e.devfn, static_cast<uint32_t>(aer) + w.offset, v);
        else
            TVK_SHOW("[%02x:%02x.%x] %s %s!\n", e.bus, dev5(e.devfn), fn3(e.devfn), w.name, v ? "NG" : "OK");
    }
    return 0;
}

int sandy_show_xp_health(const tvk_entity_node *node, int clear)
{
    if (node == nullptr)
        return kNull;
    const tvk_entity &e = node->ent;
    if (sandy_tell_port_type(e.bus, e.devfn) != 0)
        return PCI_NO_MAP;
    if (clear)
        return xp_clear(e);
    sandy_xp_state s{};
    int r = sandy_read_xp_state(e.bus, e.devfn, &s);
    if (r < 0) {
        TVK_ERR("Read xp state Failed, ret=%d\n", r);
        return r;
    }
    const uint32_t glb = s.aulReg[kXpGlb] & 0xFFFF;
    const bool ng[] = {(s.aulReg[kXpCor] & 1) != 0, (s.aulReg[kXpUnc] & kXpUncBits) != 0, (glb & 1) != 0,
                       (glb & 2) != 0, (glb & 4) != 0};
    for (size_t i = 0; i < std::size(kXpLines); i++)
        TVK_SHOW("[%02x:%02x.%x] %s\n", e.bus, dev5(e.devfn), fn3(e.devfn), ng[i] ? kXpLines[i].ng : kXpLines[i].ok);
    if (glb != 0)
        sandy_show_aer_health(node, 0);
    return 0;
}

// ---- bridges and the DMI link -----------------------------------------------------------------

int sandy_show_bridge_helath(tvk_bus_map *map, int clear)
{
    if (map == nullptr) {
        TVK_ERR("Null pointer detected\n");
        return kNull;
    }
    std::puts(clear ? "[SHOW] <--- Clear bridge state... --->" : "[SHOW] <--- Begin to inspect PCI Bridge state... --->");
    std::fflush(stdout);
    unsigned used = 0;
    for (tvk_bus_entry &e : map->entry) {
        if (used >= map->count)
            break;
        if (e.kind == TVK_BRIDGE_NONE)
            continue;
        used++;
        if (e.bus != 0)
            continue;
        const unsigned d = dev5(e.devfn), f = fn3(e.devfn);
        if (clear) {
            int r = tvk_write_conf_word(e.bus, e.devfn, 0x06, PCI_BRIDGE_WATCHED);
            if (r == 0)
                r = tvk_write_conf_word(e.bus, e.devfn, 0x1E, PCI_BRIDGE_WATCHED);
            if (r != 0) {
                TVK_ERR("Clear bridge[%02x:%02x.%d] fail, ret=%d\n", e.bus, d, f, r);
                return r;
            }
            continue;
        }
        uint16_t st[2] = {};
        int r = tvk_get_pci_bridge_state(e.bus, e.devfn, st);
        if (r != 0) {
            TVK_ERR("Cannot get PCI bridge[%02x:%02x.%d] state, ret=%d\n", e.bus, d, f, r);
        } else {
            e.status = st[0];
            e.secstatus = st[1];
        }
        if (((e.status | e.secstatus) & PCI_BRIDGE_WATCHED) == 0)
            TVK_SHOW("PCI bridge[%02x:%02x.%d] state OK!\n", e.bus, d, f);
        else
            TVK_SHOW("PCI bridge[%02x:%02x.%d] state NG!, PCI Status = 0x%08x, Secondary Status = 0x%08x\n", e.bus, d,
                     f, e.status, e.secstatus);
    }
    return 0;
}

int sandy_show_dmi_state()
{
    std::puts("[SHOW] <--- Begin to show Dmi state... --->");
    uint16_t w = 0;
    int r = tvk_read_conf_word(0, 0, PCI_DMI_LNKSTA, &w);
    if (r != 0) {
        std::printf("Cannot read device[%02x:%02x.%x] reg, ret=%d\n", 0, 0, 0, r);
        return r;
    }
    if (w & (1u << 13)) {
        std::printf("Dmi link width: X%d, speed: %s, status: 0x%x\n", (w >> 4) & 0x3F,
                    tvk_speed_str(static_cast<uint8_t>(w & 0xF)), w);
        return 0;
    }
    std::printf("Dmi link status: 0x%x error\n", w);
    return PCI_NO_MAP;
}

// ---- the uncore units -----------------------------------------------------------------------

int sandy_inspect_iio(int clear) { return inspect_unit(kIio, clear); }
int sandy_inspect_irp(int clear) { return inspect_unit(kIrp, clear); }
int sandy_inspect_global_error(int clear) { return inspect_unit(kGlobal, clear); }
int sandy_inspect_misc(int clear) { return inspect_unit(kMisc, clear); }

int sandy_inspect_qpi(int clear)
{
    if (clear) {
        std::puts("[SHOW] <--- Clear QPI state... --->");
        sandy_clear_qpi_state(g_sandy_cpuno);
        return 0;
    }
    int r = sandy_set_qpi_mask(g_sandy_cpuno);
    if (r != 0) {
        TVK_ERR("Cannot set sandy bridge QPI Mask, ret=%d\n", r);
        return r;
    }
    std::puts("[SHOW] <--- Begin to inspect QPI state... --->");
    sandy_qpi_state s[SANDY_MAX_CPUS] = {};
    r = sandy_read_qpi_err(s, g_sandy_cpuno);
    if (r != 0) {
        TVK_ERR("Cannot get QPI state, ret=%d\n", r);
        return r;
    }
    return sandy_show_qpi_health(s);
}

int sandy_show_qpi_health(const sandy_qpi_state *snap)
{
    if (snap == nullptr) {
        TVK_ERR("Null pointer detected\n");
        return kNull;
    }
    if (g_sandy_cpuno > SANDY_MAX_CPUS)
        return kTooMany;
    std::fflush(stdout);
    for (int c = 0; c < g_sandy_cpuno; c++) {
        for (int p = 0; p < 2; p++) {
            const sandy_qpi_port &q = snap[c].astPort[p];
            TVK_SHOW("================CPU%d QPI Port%d, Device[%02x:%02x.%x]=============\r\n", c, p,
                     sandy_uncore_bus(c), 8 + p, 0);
            const uint32_t v[4] = {q.ulErrDis, q.ulErrCnt0, q.ulErrCnt1, q.ulMiscSts};
            for (int k = 0; k < 4; k++)
                std::printf("CPU%d QPI Port%d Register value:0x%08x:%s\n", c, p, v[k], sandy_qpi_reg_desc[k]);
            std::printf("CPU%d QPI Port%d CorrERR MASK=0x%08x, ERRCNT=%d\n", c, p,
                        (q.ulErrCnt0 & SANDY_QPI_CNT0_MASK) >> 16, static_cast<int>(q.ulErrCnt0 & SANDY_QPI_COUNT));
            std::printf("CPU%d QPI Port%d UNCorrERR MASK=0x%08x, ERRCNT=%d\n", c, p,
                        (q.ulErrCnt1 & SANDY_QPI_CNT0_MASK) >> 16, static_cast<int>(q.ulErrCnt1 & SANDY_QPI_COUNT));
            if (p == 0)
                std::printf("CPU%d detect QPI link rate is %s\n", c, sandy_qpispeed_str(q.ulMiscSts & 7));
        }
    }
    std::fflush(stdout);
    return 0;
}
