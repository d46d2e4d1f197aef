// Console printers of the uncore snapshots: health summaries ("[SHOW]" OK
// or NG lines) and register dumps, one row per value beside its label.
#include <cstdio>
#include <cstring>
#include <iterator>

#include "bases/include/tvk_types.h"
#include "bases/pci/tvk_log.h"
#include "hwmanage/hpi/plugins/hardware/sandy_monitor.h"

namespace {

// One dumped value: where it sits in the snapshot and how wide it is.
struct DumpRow {
    uint16_t at;
    uint8_t width;   // 1, 2, 4 or 8 bytes
};

constexpr DumpRow kGlobalRows[] = {{0, 4}, {4, 4}, {8, 4}, {12, 4}, {16, 4}, {28, 4}, {40, 4}, {44, 4}, {56, 4}};
constexpr DumpRow kSysevtRows[] = {{0, 8}, {12, 4}, {16, 4}, {20, 4}, {28, 4}, {32, 4}, {36, 4}, {40, 4}, {44, 4}};
constexpr DumpRow kMiscRows[] = {{0, 4},  {4, 4},  {8, 4},  {12, 4}, {16, 4}, {20, 4}, {24, 4}, {28, 4},
                                 {32, 4}, {36, 4}, {40, 4}, {44, 4}, {48, 4}, {52, 4}, {60, 4}, {64, 4}};
// The counter rows are the registers their labels name, 0x33C and 0x340.
constexpr DumpRow kIioRows[] = {{0, 4},  {4, 4},  {8, 4},  {12, 4}, {16, 4}, {20, 4}, {24, 4}, {28, 4},
                                {32, 4}, {36, 4}, {40, 4}, {44, 4}, {48, 4}, {52, 4}, {60, 4}, {64, 4}};
constexpr DumpRow kPcieRows[] = {{0x00, 1}, {0x01, 1}, {0x02, 2}, {0x04, 4}, {0x08, 2}, {0x0a, 2}, {0x0c, 4},
                                 {0x10, 2}, {0x12, 2}, {0x14, 4}, {0x18, 2}, {0x1a, 2}, {0x1c, 2}, {0x1e, 2},
                                 {0x20, 4}, {0x24, 4}, {0x28, 2}, {0x2c, 4}, {0x30, 2}, {0x32, 2}};
constexpr DumpRow kAerRows[] = {{0x00, 4}, {0x04, 4}, {0x08, 4}, {0x0c, 4}, {0x10, 4}, {0x14, 4},
                                {0x18, 4}, {0x1c, 4}, {0x20, 4}, {0x24, 4}, {0x28, 4}, {0x2c, 4},
                                {0x30, 4}, {0x34, 4}, {0x38, 8}, {0x40, 8}};
constexpr DumpRow kXpRows[] = {{0, 4},  {4, 4},  {8, 4},  {12, 4}, {16, 4}, {20, 4}, {24, 4},
                               {28, 4}, {32, 4}, {36, 4}, {40, 4}, {48, 2}, {50, 2}, {52, 4}};
constexpr DumpRow kBridgeRows[] = {{0, 2}, {2, 2}};

static_assert(std::size(kGlobalRows) == std::size(sandy_gerr_reg_desc));
static_assert(std::size(kSysevtRows) == std::size(sandy_sysevt_reg_desc));
static_assert(std::size(kMiscRows) == std::size(sandy_misc_reg_desc));
static_assert(std::size(kIioRows) == std::size(sandy_iio_reg_desc));
static_assert(std::size(kPcieRows) == std::size(sandy_pcie_reg_desc));
static_assert(std::size(kAerRows) == std::size(sandy_aer_reg_desc));
static_assert(std::size(kXpRows) == std::size(sandy_xp_reg_desc));
static_assert(std::size(kBridgeRows) == std::size(sandy_bridge_reg_desc));

void print_row(const uint8_t *base, DumpRow row, const char *label)
{
    uint64_t v = 0;
    std::memcpy(&v, base + row.at, row.width);
    switch (row.width) {
    case 1:
        std::printf("value:0x%02x:%s\n", static_cast<unsigned>(v), label);
        break;
    case 2:
        std::printf("value:0x%04x:%s\n", static_cast<unsigned>(v), label);
        break;
    case 4:
        std::printf("value:0x%08x:%s\n", static_cast<unsigned>(v), label);
        break;
    default:
        std::printf("value:0x%016lx:%s\n", static_cast<unsigned long>(v), label);
        break;
    }
}

constexpr bool fits(const DumpRow *rows, size_t n, size_t size)
{
    for (size_t i = 0; i < n; i++)
        if (rows[i].at + rows[i].width > size)
            return false;
    return true;
}
static_assert(fits(kGlobalRows, std::size(kGlobalRows), sizeof(sandy_gerr_state)));
static_assert(fits(kSysevtRows, std::size(kSysevtRows), sizeof(sandy_sysevt_state)));
static_assert(fits(kMiscRows, std::size(kMiscRows), sizeof(sandy_misc_state)));
static_assert(fits(kIioRows, std::size(kIioRows), sizeof(sandy_iio_state)));
static_assert(fits(kPcieRows, std::size(kPcieRows), sizeof(sandy_pcie_state)));
static_assert(fits(kAerRows, std::size(kAerRows), sizeof(sandy_aer_state)));
static_assert(fits(kXpRows, std::size(kXpRows), sizeof(sandy_xp_state)));
static_assert(fits(kBridgeRows, std::size(kBridgeRows), sizeof(sandy_bridge_state)));

bool missing(const void *snap)
{
    if (snap != nullptr)
        return false;
    TVK_ERR("Null pointer detected\n");
    return true;
}

template <typename T, size_t N> int dump(const T *snap, const DumpRow (&rows)[N], const char *const (&labels)[N])
{
    if (missing(snap))
        return TVK_E_NULL;
    for (size_t i = 0; i < N; i++)
        print_row(reinterpret_cast<const uint8_t *>(snap), rows[i], labels[i]);
    std::fflush(stdout);
    return TVK_OK;
}

// "NG!" when `bad`, else "OK!", after `what`.
void verdict(const char *what, bool bad) { TVK_SHOW("%s %s\n", what, bad ? "NG!" : "OK!"); }

} // namespace

// ---- health ---------------------------------------------------------------------------------

int sandy_show_misc_health(const sandy_misc_state *snap)
{
    if (missing(snap))
        return TVK_E_NULL;
    TVK_SHOW("MISC Error State = 0x%08x\n", snap->aulReg[0]);
    verdict("MISC Error state", (snap->aulReg[0] & SANDY_MISC_BITS) != 0);
    return TVK_OK;
}

int sandy_show_iio_health(const sandy_iio_state *snap)
{
    if (missing(snap))
        return TVK_E_NULL;
    TVK_SHOW("IIO Error State = 0x%08x\n", snap->aulReg[0]);
    verdict("IIO Core Error state", (snap->aulReg[0] & SANDY_IIO_BITS) != 0);
    return TVK_OK;
}

int sandy_show_irp_health(const sandy_irp_state *snap)
{
    if (missing(snap))
        return TVK_E_NULL;
    TVK_SHOW("IRP0 Error State = 0x%08x\n", snap->aulIrp0[0]);
    TVK_SHOW("IRP1 Error State = 0x%08x\n", snap->aulIrp1[0]);
    verdict("Coherent Interface IRP0 Error state", (snap->aulIrp0[0] & SANDY_IRP_BITS) != 0);
    verdict("Coherent Interface IRP1 Error state", (snap->aulIrp1[0] & SANDY_IRP_BITS) != 0);
    return TVK_OK;
}

namespace {

void global_verdict(uint32_t word, uint32_t bits, const char *what)
{
    if ((word & bits) == 0) {
        TVK_SHOW("Global %s Error state OK!\n", what);
        return;
    }
    for (unsigned n = 0; n < 32; n++)
        if (word & (1u << n))
            TVK_SHOW("Global %s Error state NG! %s\n", what, sandy_gerror_desc[n]);
}

} // namespace

int sandy_show_global_health(const sandy_summary *summary)
{
    if (missing(summary))
        return TVK_E_NULL;
    TVK_SHOW("Global NoFatal Error  = 0x%08x\n", summary->ulNonFatal);
    TVK_SHOW("Global Fatal Error = 0x%08x\n", summary->ulFatal);
    global_verdict(summary->ulNonFatal, SANDY_GNERR_CLEAR, "NoFatal");
    global_verdict(summary->ulFatal, SANDY_GFERR_CLEAR, "Fatal");
    return TVK_OK;
}

// ---- dumps ----------------------------------------------------------------------------------

int sandy_dump_global_error(const sandy_gerr_state *snap) { return dump(snap, kGlobalRows, sandy_gerr_reg_desc); }

int sandy_dump_sysevt_state(const sandy_sysevt_state *snap) { return dump(snap, kSysevtRows, sandy_sysevt_reg_desc); }

int sandy_dump_irp_state(const sandy_irp_state *snap)
{
    if (missing(snap))
        return TVK_E_NULL;
    for (size_t i = 0; i < std::size(sandy_irp_reg_desc); i++)
        print_row(reinterpret_cast<const uint8_t *>(snap), {static_cast<uint16_t>(i * 4), 4}, sandy_irp_reg_desc[i]);
    std::fflush(stdout);
    return TVK_OK;
}

int sandy_dump_misc_state(const sandy_misc_state *snap) { return dump(snap, kMiscRows, sandy_misc_reg_desc); }

int sandy_dump_iio_state(const sandy_iio_state *snap) { return dump(snap, kIioRows, sandy_iio_reg_desc); }

int sandy_dump_qpi_state(const sandy_qpi_state *snap)
{
    if (missing(snap))
        return TVK_E_NULL;
    if (g_sandy_cpuno < 1 || g_sandy_cpuno > SANDY_MAX_CPUS)
        return TVK_OK;
    for (int c = 0; c < g_sandy_cpuno; c++)
        for (int p = 0; p < 2; p++) {
            const sandy_qpi_port &q = snap[c].astPort[p];
            TVK_SHOW("================CPU%d QPI Port%d, Device[%02x:%02x.%x]=============\r\n", c, p,
                     sandy_uncore_bus(c), 8 + p, 0);
            const uint32_t v[4] = {q.ulErrDis, q.ulErrCnt0, q.ulErrCnt1, q.ulMiscSts};
            for (int k = 0; k < 4; k++)
                std::printf("CPU%d QPI Port%d Register value:0x%08x:%s\n", c, p, v[k], sandy_qpi_reg_desc[k]);
        }
    std::fflush(stdout);
    return TVK_OK;
}

int sandy_dump_bridge_state(const sandy_bridge_state *snap) { return dump(snap, kBridgeRows, sandy_bridge_reg_desc); }

int sandy_dump_pcie_state(const sandy_pcie_state *snap) { return dump(snap, kPcieRows, sandy_pcie_reg_desc); }

int sandy_dump_aer_state(const sandy_aer_state *snap) { return dump(snap, kAerRows, sandy_aer_reg_desc); }

int sandy_dump_xp_state(const sandy_xp_state *snap) { return dump(snap, kXpRows, sandy_xp_reg_desc); }

int sandy_dump_express_error(const sandy_express_error *record)
{
    if (missing(record))
        return TVK_E_NULL;
    if (record->ucBridge == 1) {
        TVK_SHOW("================PCI Bridge Registers=================\r\n");
        sandy_dump_bridge_state(&record->stBridge);
    }
    if (record->ucPcie == 1) {
        TVK_SHOW("================PCI Express Registers, start addr 0x%04x================\r\n", record->ulPcieCap);
        sandy_dump_pcie_state(&record->stPcie);
    }
    if (record->ucAer == 1) {
        TVK_SHOW("================AER Registers, start addr 0x%04x========================\r\n", record->ulAerCap);
        sandy_dump_aer_state(&record->stAer);
    }
    if (record->ucXp == 1) {
        TVK_SHOW("================XP Registers=========================\r\n");
        sandy_dump_xp_state(&record->stXp);
    }
    return TVK_OK;
}
