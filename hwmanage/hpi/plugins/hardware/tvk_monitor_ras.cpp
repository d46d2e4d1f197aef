// The RAS device of the PCI Express monitor: identification, global and
// local error registers, the health summary, and the leaky buckets.
#include <cstring>
#include <initializer_list>

#include "bases/pci/tvk_cap.h"
#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"
#include "hwmanage/hpi/plugins/hardware/tvk_monitor.h"
#include "kelvo/kelvo.h"

const tvk_ras_row astRas[TVK_RAS_ROWS] = {
    {0x8086, 0x3403, 20, 2, 0x3423}, {0x8086, 0x3406, 20, 2, 0x3423}, {0x8086, 0x3420, 20, 2, 0x3423},
    {0x8086, 0x3421, 20, 2, 0x3423}, {0x8086, 0x3C00, 5, 2, 0x3C2A},  {0x8086, 0x3C01, 5, 2, 0x3C2A},
    {0x8086, 0x0E00, 5, 2, 0x0E2A},  {0x8086, 0x0E01, 5, 2, 0x0E2A},  {0x8086, 0x2F00, 5, 2, 0x2F2A},
    {0x8086, 0x2F80, 5, 2, 0x2F2A},  {0x8086, 0x6F00, 5, 2, 0x6F2A},  {0x8086, 0x6F80, 5, 2, 0x6F2A},
};

namespace {

constexpr uint32_t kBucketRenewTicks = 900;

// The platform a RAS device id names.
struct PlatformRow {
    uint16_t rasId;
    uint8_t platform;
};
constexpr PlatformRow kPlatforms[] = {
    {0x3C2A, TVK_PLATFORM_3C},
    {0x0E2A, TVK_PLATFORM_0E},
    {0x2F2A, TVK_PLATFORM_2F},
};

uint8_t platform_of(uint16_t rasId)
{
    for (const PlatformRow &p : kPlatforms)
        if (p.rasId == rasId)
            return p.platform;
    return TVK_PLATFORM_OTHER;
}

const tvk_ras_row *ras_row(uint16_t vendor, uint16_t hostBridge)
{
    for (const tvk_ras_row &r : astRas)
        if (r.vendor == vendor && r.hostBridge == hostBridge)
            return &r;
    return nullptr;
}

int ras_write(uint32_t offset, uint32_t value) { return tvk_write_conf_dword(0, g_ucRasDevfn, offset, value); }

// Writes `value` to both registers of the pair when `pending` holds.
void clear_pair(const uint32_t *pair, uint32_t mask, uint32_t value)
{
    if (pair == nullptr)
        return;
    if ((pair[0] & mask) != 0)
        ras_write(TVK_RAS_GNERRST, value);
    if ((pair[1] & mask) != 0)
        ras_write(TVK_RAS_GFERRST, value);
}

// The local-error register of a QPI port; 0 for another port.
uint32_t port_reg(int port, uint32_t port0, uint32_t port1) { return port == 0 ? port0 : port == 1 ? port1 : 0; }

int dump_ras(int port, uint32_t port0, uint32_t port1, int length)
{
    uint32_t at = port_reg(port, port0, port1);
    if (at == 0)
        return TVK_E_INVAL;
    tvk_log_conf_space(0, g_ucRasDevfn, static_cast<int>(at), length);
    return TVK_OK;
}

// The AER status registers of a root port, each written back as read.
// `last` is the status of the last write before them.
int clear_root_aer(uint8_t devfn, int last)
{
    int aer = tvk_tell_ext_cap(0, devfn, TVK_EXT_CAP_ID_ERR);
    if (aer < 0)
        return last;
    TVK_INFO("PCI_EXT_CAP_ID_ERR locates on 0x%04x\n", static_cast<unsigned>(aer));
    int r = last;
    for (uint32_t off : {TVK_AER_UNCOR_STATUS, TVK_AER_COR_STATUS, 0x30u}) {
        uint32_t v = 0;
        if (tvk_read_conf_dword(0, devfn, static_cast<uint32_t>(aer) + off, &v) == 0)
            r = tvk_write_conf_dword(0, devfn, static_cast<uint32_t>(aer) + off, v);
    }
    return r;
}

} // namespace

// ---- leaky buckets ------------------------------------------------------------------------------------

int tvk_bucket_init(tvk_bucket *bucket, uint32_t threshold, uint32_t period)
{
    if (bucket == nullptr)
        return TVK_E_NULL;
    *bucket = tvk_bucket{threshold, period, 0, 0, 0};
    return TVK_OK;
}

int tvk_bucket_account(tvk_bucket *bucket, uint32_t amount)
{
    if (bucket == nullptr)
        return TVK_E_NULL;
    bucket->count += amount;
    bucket->ticks++;
    // At or past the period: after a renew (900 ticks) a shorter period
    // still leaks.
    if (bucket->ticks >= bucket->period) {
        bucket->ticks = 0;
        if (bucket->count != 0)
            bucket->count--;
    }
    if (bucket->count == 0)
        return 0;
    if (bucket->count < bucket->threshold)
        return 1;
    bucket->alarm = 1;
    return 2;
}

int tvk_bucket_renew(tvk_bucket *bucket)
{
    if (bucket == nullptr)
        return TVK_E_NULL;
    bucket->ticks = kBucketRenewTicks;
    bucket->count = 0;
    return TVK_OK;
}

// ---- the RAS device -----------------------------------------------------------------------------------

int tvk_identify_ras()
{
    if (g_ucRasDevfn != 0)
        return TVK_OK;
    uint16_t vendor = 0, device = 0;
    int r = tvk_read_conf_word(0, 0, 0x00, &vendor);
    if (r < 0) {
        TVK_ERR("Cannot read PCI_VENDOR_ID, ret=%d\n", r);
        return r;
    }
    r = tvk_read_conf_word(0, 0, 0x02, &device);
    if (r < 0) {
        TVK_ERR("Cannot read PCI_DEVICE_ID, ret=%d\n", r);
        return r;
    }
    TVK_DBG("VID=0x%x, DID=0x%x\n", vendor, device);
    const tvk_ras_row *row = ras_row(vendor, device);
    if (row == nullptr)
        return TVK_E_RANGE;
    const uint8_t devfn = static_cast<uint8_t>(row->dev << 3 | row->fn);
    uint16_t rasId = 0;
    r = tvk_read_conf_word(0, devfn, 0x02, &rasId);
    if (r < 0) {
        TVK_ERR("Cannot read ras device[%02x:%02x.%x] device id, ret=%d\n", 0u, static_cast<unsigned>(row->dev),
                static_cast<unsigned>(row->fn), r);
        return r;
    }
    if (rasId != row->rasId)
        return -919;
    g_ucRasDevfn = devfn;
    g_ucPlatform = platform_of(rasId);
    return TVK_OK;
}

int tvk_init_ras_state(void *state)
{
    KelvoErr err = memset_s(state, TVK_RAS_STATE_SIZE, 0, TVK_RAS_STATE_SIZE);
    if (err != KelvoOk)
        TVK_ERR("call memset_s fail, error=%d\n", static_cast<int>(err));
    return TVK_OK;
}

int tvk_get_global_error(uint8_t *block)
{
    if (block == nullptr)
        return TVK_E_NULL;
    return tvk_read_conf_block(0, g_ucRasDevfn, block, TVK_RAS_GLOBAL_BLOCK, static_cast<int>(TVK_RAS_GNERRST));
}

int tvk_get_ras_state(uint32_t pair[2], uint8_t *block)
{
    if (pair == nullptr || block == nullptr)
        return TVK_E_NULL;
    int r = tvk_get_global_error(block);
    if (r < 0) {
        TVK_ERR("Cannot get global error reg, ret=%d\n", r);
        return r;
    }
    std::memcpy(pair, block, 2 * sizeof(uint32_t));
    return TVK_OK;
}

int tvk_clear_qpi_gnerr() { return ras_write(TVK_RAS_GNERRST, TVK_GERR_QPI); }
int tvk_clear_qpi_gferr() { return ras_write(TVK_RAS_GFERRST, TVK_GERR_QPI); }
void tvk_clear_qpi_gerr(const uint32_t *pair) { clear_pair(pair, TVK_GERR_QPI, TVK_GERR_QPI); }
int tvk_clear_pcie_gnerr() { return ras_write(TVK_RAS_GNERRST, TVK_GERR_PCIE); }
int tvk_clear_pcie_gferr() { return ras_write(TVK_RAS_GFERRST, TVK_GERR_PCIE); }
void tvk_clear_pcie_gerr(const uint32_t *pair) { clear_pair(pair, TVK_GERR_PCIE, TVK_GERR_PCIE); }
int tvk_clear_esi_gnerr() { return ras_write(TVK_RAS_GNERRST, TVK_GERR_ESI); }
int tvk_clear_esi_gferr() { return ras_write(TVK_RAS_GFERRST, TVK_GERR_ESI); }
void tvk_clear_esi_gerr(const uint32_t *pair) { clear_pair(pair, TVK_GERR_ESI, TVK_GERR_ESI); }

int tvk_clear_qpi_lerr(int port)
{
    uint32_t at = port_reg(port, TVK_RAS_QPI0_ERRST, TVK_RAS_QPI1_ERRST);
    if (at != 0)
        ras_write(at, TVK_RAS_LERR_BITS);
    return port;
}

int tvk_clear_qpip_lerr(int port)
{
    uint32_t at = port_reg(port, TVK_RAS_QPIP0_ERRST, TVK_RAS_QPIP1_ERRST);
    if (at != 0)
        ras_write(at, TVK_RAS_LERR_BITS);
    return port;
}

int tvk_clear_esi_lerr() { return tvk_write_conf_word(0, 0, 0x06, 0xFFFF); }

int tvk_clear_pcie_lerr(uint8_t port)
{
    const uint8_t devfn = static_cast<uint8_t>(port << 3);
    int last = TVK_OK;
    uint32_t v = 0;
    int r = tvk_read_conf_dword(0, devfn, TVK_RP_XPCORERRSTS, &v);
    if (r < 0)
        return r;
    if (v != 0) {
        int cap = tvk_tell_cap(0, devfn, TVK_CAP_ID_EXP);
        if ((v & 1) != 0 && cap > 0)
            last = tvk_write_conf_word(0, devfn, static_cast<uint32_t>(cap) + TVK_EXP_LNKSTA, TVK_LNKSTA_CLEAR);
        last = tvk_write_conf_dword(0, devfn, TVK_RP_XPCORERRSTS, v);
    }
    if ((r = tvk_read_conf_dword(0, devfn, TVK_RP_XPUNCERRSTS, &v)) < 0)
        return r;
    if (v != 0)
        last = tvk_write_conf_dword(0, devfn, TVK_RP_XPUNCERRSTS, v);
    uint16_t glb = 0;
    if ((r = tvk_read_conf_word(0, devfn, TVK_RP_XPGLBERRSTS, &glb)) < 0)
        return r;
    if (glb != 0) {
        last = clear_root_aer(devfn, last);
        last = tvk_write_conf_word(0, devfn, TVK_RP_XPGLBERRSTS, glb);
    }
    return last;
}

int tvk_log_pcie_lerr(uint8_t port)
{
    const uint8_t devfn = static_cast<uint8_t>(port << 3);
    tvk_log_conf_space(0, devfn, 0, 256);
    tvk_log_conf_space(0, devfn, 0x100, 64);
    tvk_log_conf_space(0, devfn, 0x200, 64);
    return TVK_OK;
}

int tvk_log_qpi_lerr(int port) { return dump_ras(port, TVK_RAS_QPI0_ERRST, TVK_RAS_QPI1_ERRST, 32); }
int tvk_log_qpip_lerr(int port) { return dump_ras(port, TVK_RAS_QPIP0_ERRST, TVK_RAS_QPIP1_ERRST, 64); }

void tvk_show_ras_health(const uint32_t pair[2])
{
    if (pair == nullptr)
        return;
    const uint32_t n = pair[0], f = pair[1];
    auto ng = [&](uint32_t bits) { return ((n | f) & bits) != 0; };
    TVK_SHOW("GNERRSTA=0x%08x, GFERRSTA=0x%08x\n", n, f);
    for (int p = 0; p < 2; p++) {
        if (ng(1u << p))
            TVK_SHOW("QPI%d port is NG, NERR=0x%08x, FERR=0x%08x\n", p, n, f);
        else
            TVK_SHOW("QPI%d port is OK\n", p);
        if (ng(1u << (p + 2)))
            TVK_SHOW("QPI%d protocal is NG, NERR=0x%08x, FERR=0x%08x\n", p, n, f);
        else
            TVK_SHOW("QPI%d protocal is OK\n", p);
    }
    for (int port = 1; port <= 10; port++) {
        if (ng(1u << (port + 5)))
            TVK_SHOW("PCIE port[%d] is NG, NERR=0x%08x, FERR=0x%08x\n", port, n, f);
        else
            TVK_SHOW("PCIE port[%d] is OK\n", port);
    }
    if (ng(TVK_GERR_ESI))
        TVK_SHOW("ESI port is NG, NERR=0x%08x, FERR=0x%08x\n", n, f);
    else
        TVK_SHOW("ESI port is OK\n");
}
