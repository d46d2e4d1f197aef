// The uncore monitor's operations: snapshot reads and their get forms,
// the per-device error record, clears and masks, configuration-space logs
// per unit, and the uncore bus refresh.
#include "hwmanage/hpi/plugins/hardware/sandy_monitor.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "bases/pci/tvk_cap.h"
#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"
#include "hwmanage/hpi/plugins/hardware/tvk_monitor.h"
#include "kelvo/kelvo.h"

namespace {

constexpr unsigned dev_of(uint8_t devfn) { return devfn >> 3; }
constexpr unsigned fn_of(uint8_t devfn) { return devfn & 7u; }
constexpr uint8_t kQpiDevfn[2] = {SANDY_QPI0_DEVFN, SANDY_QPI1_DEVFN};
constexpr uint32_t kLnkSta = 0x12;
constexpr uint32_t kPciStatus = 0x06;

template <typename T> int ras_block(uint8_t bus, T *buf, uint32_t offset, int len)
{
    if (buf == nullptr)
        return TVK_E_NULL;
    return tvk_read_conf_block(bus, g_ucRasDevfn, buf, len, static_cast<int>(offset));
}

// A get form: read into a zeroed copy, copy it out whole, log a failure.
template <typename T> int get_copy(T *buf, int (*read)(T *), const char *what)
{
    if (buf == nullptr)
        return TVK_E_NULL;
    T local{};
    int r = read(&local);
    if (r < 0) {
        TVK_ERR("Cannot get %s state, ret=%d\n", what, r);
        return r;
    }
    std::memcpy(buf, &local, sizeof local);
    return TVK_OK;
}

void summarise(const sandy_gerr_state &block, sandy_summary *summary)
{
    *summary = sandy_summary{};
    summary->ulNonFatal = block.aulReg[0] & SANDY_GERR_SUMMARY;
    summary->ulFatal = block.aulReg[1] & SANDY_GERR_SUMMARY;
}

// One dword write whose failure is logged as "Cannot set [b:d.f] NAME".
int set_reg(uint8_t bus, uint8_t devfn, uint32_t offset, uint32_t value, const char *name)
{
    int r = tvk_write_conf_dword(bus, devfn, offset, value);
    if (r < 0)
        TVK_ERR("Cannot set [%02x:%02x.%d] %s, ret=%d\n", bus, dev_of(devfn), fn_of(devfn), name, r);
    return r;
}

int read_qpi_port(uint8_t bus, uint8_t devfn, sandy_qpi_port *port)
{
    int r = tvk_read_conf_block(bus, devfn, port, 12, static_cast<int>(SANDY_QPI_ERRDIS));
    int s = tvk_read_conf_dword(bus, devfn, SANDY_QPI_MISCSTS, &port->ulMiscSts);
    return r < 0 ? r : s;
}

// The counter masks keep the count field as read, so the counts survive.
void mask_counter(uint8_t bus, uint8_t devfn, uint32_t offset, uint32_t mask, const char *name)
{
    uint32_t now = 0;
    int r = tvk_read_conf_dword(bus, devfn, offset, &now);
    if (r < 0) {
        TVK_ERR("Cannot set [%02x:%02x.%d] %s, ret=%d\n", bus, dev_of(devfn), fn_of(devfn), name, r);
        return;
    }
    set_reg(bus, devfn, offset, (now & SANDY_QPI_COUNT) | mask, name);
}

} // namespace

// ---- reads ----------------------------------------------------------------------------------

int sandy_read_global_error(sandy_gerr_state *buf, uint8_t bus)
{
    return ras_block(bus, buf, SANDY_GERR_BASE, sizeof(sandy_gerr_state));
}

int sandy_get_global_error_all(sandy_gerr_state *buf, sandy_summary *summary, uint8_t bus)
{
    if (buf == nullptr || summary == nullptr)
        return TVK_E_NULL;
    sandy_gerr_state local{};
    int r = sandy_read_global_error(&local, bus);
    if (r < 0) {
        TVK_ERR("busNo %d Cannot get global error reg, ret=%d\n", bus, r);
        return r;
    }
    *buf = local;
    summarise(local, summary);
    return TVK_OK;
}

int sandy_get_global_error(sandy_gerr_state *buf, sandy_summary *summary)
{
    if (buf == nullptr || summary == nullptr)
        return TVK_E_NULL;
    sandy_gerr_state local{};
    int r = sandy_read_global_error(&local, 0);
    if (r < 0) {
        TVK_ERR("Cannot get global error reg, ret=%d\n", r);
        return r;
    }
    *buf = local;
    summarise(local, summary);
    return TVK_OK;
}

int sandy_read_sysevt(sandy_sysevt_state *buf) { return ras_block(0, buf, SANDY_SYSEVT_BASE, sizeof *buf); }

int sandy_get_sysevt_state(sandy_sysevt_state *buf) { return get_copy(buf, sandy_read_sysevt, "STS"); }

int sandy_read_irp_state(sandy_irp_state *buf)
{
    int r = ras_block(0, buf, SANDY_IRP0_BASE, sizeof buf->aulIrp0);
    if (r < 0)
        return r;
    return ras_block(0, buf->aulIrp1, SANDY_IRP1_BASE, sizeof buf->aulIrp1);
}

int sandy_get_irp_state(sandy_irp_state *buf) { return get_copy(buf, sandy_read_irp_state, "irp"); }

int sandy_read_iio_state(sandy_iio_state *buf) { return ras_block(0, buf, SANDY_IIO_BASE, sizeof *buf); }

int sandy_get_iio_state(sandy_iio_state *buf) { return get_copy(buf, sandy_read_iio_state, "iio"); }

int sandy_read_misc_state(sandy_misc_state *buf) { return ras_block(0, buf, SANDY_MISC_BASE, sizeof *buf); }

int sandy_read_qpi_err(sandy_qpi_state *buf, int processors)
{
    if (buf == nullptr)
        return TVK_E_NULL;
    if (processors < 0 || processors > SANDY_MAX_CPUS)
        return TVK_E_INVAL;
    for (int c = 0; c < processors; c++)
        for (int p = 0; p < 2; p++)
            (void)read_qpi_port(sandy_uncore_bus(c), kQpiDevfn[p], &buf[c].astPort[p]);
    return TVK_OK;
}

int sandy_get_qpi_error(sandy_qpi_state *buf, int processors)
{
    sandy_qpi_state local[SANDY_MAX_CPUS] = {};
    int r = buf == nullptr ? TVK_E_NULL : sandy_read_qpi_err(local, processors);
    if (r < 0) {
        TVK_ERR("Cannot get QPI State reg, ret=%d\n", r);
        return r;
    }
    std::memcpy(buf, local, sizeof local[0] * static_cast<size_t>(processors));
    return TVK_OK;
}

int sandy_read_aer_state(uint8_t bus, uint8_t devfn, sandy_aer_state *buf, uint32_t offset)
{
    if (buf == nullptr)
        return TVK_E_NULL;
    return tvk_read_conf_block(bus, devfn, buf, sizeof *buf, static_cast<int>(offset));
}

int sandy_read_xp_state(uint8_t bus, uint8_t devfn, sandy_xp_state *buf)
{
    if (buf == nullptr)
        return TVK_E_NULL;
    int r = tvk_read_conf_block(bus, devfn, buf->aulReg, sizeof buf->aulReg, static_cast<int>(SANDY_XP_BASE));
    if (r < 0)
        return r;
    return tvk_read_conf_dword(bus, devfn, SANDY_XP_LANE, &buf->ulLaneErr);
}

int sandy_read_pcie_state(sandy_express_error *record)
{
    if (record == nullptr)
        return TVK_E_NULL;
    if (record->ucBus == 0 && sandy_tell_port_type(0, record->ucDevfn) == 1) {
        std::printf("DMI2 Port, please select a pci device!\n");
        record->ucPcie = 0;
        return 1;
    }
    return tvk_read_conf_block(record->ucBus, record->ucDevfn, &record->stPcie, sizeof record->stPcie,
                               static_cast<int>(record->ulPcieCap));
}

namespace {

void express_bridge(sandy_express_error *rec, unsigned d, unsigned f)
{
    rec->ucBridge = 1;
    uint16_t words[2] = {};
    int r = tvk_get_pci_bridge_state(rec->ucBus, rec->ucDevfn, words);
    if (r < 0) {
        TVK_ERR("Cannot get PCI bridge[%02x:%02x.%d] state, ret=%d\n", rec->ucBus, d, f, r);
        rec->ucBridge = 0;
        return;
    }
    rec->stBridge = {words[0], words[1]};
}

int express_caps(sandy_express_error *rec, unsigned d, unsigned f)
{
    int at = tvk_identify_express(rec->ucBus, rec->ucDevfn);
    rec->ucPcie = 0;
    if (at < 0) {
        TVK_WARN("Fail to identify device[%02x:%02x.%x] EXP_CAP, ret=%d\n", rec->ucBus, d, f, at);
    } else if (at > 0) {
        rec->ucPcie = 1;
        rec->ulPcieCap = static_cast<uint32_t>(at);
        int r = sandy_read_pcie_state(rec);
        if (r < 0) {
            TVK_ERR("Cannot get entity[%02x:%02x:%x] data, ret=%d\n", rec->ucBus, d, f, r);
            return r;
        }
    }
    int aer = tvk_tell_ext_cap(rec->ucBus, rec->ucDevfn, TVK_EXT_CAP_ID_ERR);
    if (aer > 0) {
        rec->ucAer = 1;
        rec->ulAerCap = static_cast<uint32_t>(aer);
        int r = sandy_read_aer_state(rec->ucBus, rec->ucDevfn, &rec->stAer, rec->ulAerCap);
        if (r < 0)
            TVK_ERR("Read aer state Failed, ret=%d\n", r);
    }
    return TVK_OK;
}

} // namespace

int sandy_get_express_error(sandy_express_error *record)
{
    if (record == nullptr) {
        TVK_ERR("NULL Pointer Detected!\n");
        return TVK_E_NULL;
    }
    const unsigned d = dev_of(record->ucDevfn), f = fn_of(record->ucDevfn);
    int r = tvk_identify_pci_bridge(record->ucBus, record->ucDevfn);
    if (r < 0) {
        TVK_ERR("Cannot identify dev[%02x:%02x.%x] as PCI bridge, ret=%d\n", record->ucBus, d, f, r);
        return r;
    }
    if (r > 0)
        express_bridge(record, d, f);
    r = express_caps(record, d, f);
    if (r < 0)
        return r;
    int type = sandy_tell_port_type(record->ucBus, record->ucDevfn);
    if (type == 0 || type == 1) {
        record->ucXp = 1;
        r = sandy_read_xp_state(record->ucBus, record->ucDevfn, &record->stXp);
        if (r < 0)
            TVK_ERR("Read xp state Failed, ret=%d\n", r);
    }
    return TVK_OK;
}

int sandy_check_VTd() { return TVK_OK; }

void sandy_get_cpu_bus1(int processors)
{
    uint16_t word = 0;
    g_ucCpu0Bus0 = 0;
    int r = tvk_read_conf_word(g_ucCpu0Bus0, SANDY_BUSNO_DEVFN, SANDY_CPU_BUSNO, &word);
    if (r < 0)
        TVK_ERR("Cannot read CPU0 BUSNO, iRet=%d\n", r);
    else
        g_ucCpu0Bus1 = static_cast<uint8_t>(word >> 8);
    g_ucCpu1Bus0 = 0x80;
    if (processors != SANDY_MAX_CPUS)
        return;
    r = tvk_read_conf_word(g_ucCpu1Bus0, SANDY_BUSNO_DEVFN, SANDY_CPU_BUSNO, &word);
    if (r < 0)
        TVK_ERR("Cannot read CPU1 BUSNO, iRet=%d\n", r);
    else
        g_ucCpu1Bus1 = static_cast<uint8_t>(word >> 8);
}

// ---- clears and masks -----------------------------------------------------------------------

void sandy_clear_global_state(uint8_t bus)
{
    set_reg(bus, g_ucRasDevfn, SANDY_GERR_BASE, SANDY_GNERR_CLEAR, "GNERRST");
    set_reg(bus, g_ucRasDevfn, SANDY_GERR_BASE + 4, SANDY_GFERR_CLEAR, "_GFERRST");
}

void sandy_clear_irp_state(int port, uint8_t bus)
{
    if (port != 0 && port != 1)
        return;
    const uint32_t offset = port == 0 ? SANDY_IRP0_BASE : SANDY_IRP1_BASE;
    int r = tvk_write_conf_dword(bus, g_ucRasDevfn, offset, SANDY_IRP_BITS);
    if (r < 0)
        TVK_ERR("Cannot set [%02x:%02x.%d] IRPP%dERRST, ret=%d\n", bus, dev_of(g_ucRasDevfn), fn_of(g_ucRasDevfn),
                port, r);
}

void sandy_clear_iio_state(uint8_t bus) { set_reg(bus, g_ucRasDevfn, SANDY_IIO_BASE, SANDY_IIO_BITS, "IIOERRST"); }

void sandy_clear_misc_state() { set_reg(0, g_ucRasDevfn, SANDY_MISC_BASE, SANDY_MISC_BITS, "MIERRST"); }

void sandy_clear_xp_state(uint8_t bus, uint8_t devfn)
{
    set_reg(bus, devfn, TVK_RP_XPCORERRSTS, SANDY_XPCOR_CLEAR, "XPCORERRSTS");
    set_reg(bus, devfn, TVK_RP_XPUNCERRSTS, SANDY_XPUNC_CLEAR, "XPUNCERRSTS");
}

void sandy_clear_qpi_state(int processors)
{
    if (processors < 0 || processors > SANDY_MAX_CPUS)
        return;
    for (int c = 0; c < processors; c++)
        for (uint8_t devfn : kQpiDevfn) {
            const uint8_t bus = sandy_uncore_bus(c);
            int r = tvk_write_conf_word(bus, devfn, SANDY_QPI_ERRCNT0, 0);
            if (r < 0)
                TVK_ERR("Cannot set [%02x:%02x.%d] QPIERRCNT0, ret=%d\n", bus, dev_of(devfn), fn_of(devfn), r);
            r = tvk_write_conf_word(bus, devfn, SANDY_QPI_ERRCNT1, 0);
            if (r < 0)
                TVK_ERR("Cannot set [%02x:%02x.%d] QPIERRCNT1, ret=%d\n", bus, dev_of(devfn), fn_of(devfn), r);
        }
}

int sandy_set_qpi_mask(int processors)
{
    if (processors < 0 || processors > SANDY_MAX_CPUS)
        return TVK_E_INVAL;
    for (int c = 0; c < processors; c++)
        for (uint8_t devfn : kQpiDevfn) {
            const uint8_t bus = sandy_uncore_bus(c);
            set_reg(bus, devfn, SANDY_QPI_ERRDIS, SANDY_QPI_ERRDIS_MASK, "QPIERRDIS");
            mask_counter(bus, devfn, SANDY_QPI_ERRCNT0, SANDY_QPI_CNT0_MASK, "QPIERRCNT0");
            mask_counter(bus, devfn, SANDY_QPI_ERRCNT1, SANDY_QPI_CNT1_MASK, "QPIERRCNT1");
        }
    return TVK_OK;
}

int sandy_setmisc_mask(uint8_t bus) { return tvk_write_conf_dword(bus, g_ucRasDevfn, SANDY_MISC_BASE + 4, SANDY_MISC_BITS); }

int sandy_setirp_mask(uint8_t bus) { return tvk_write_conf_dword(bus, g_ucRasDevfn, SANDY_IRP0_BASE + 4, SANDY_IRP_BITS); }

int sandy_setiio_mask(uint8_t bus) { return tvk_write_conf_dword(bus, g_ucRasDevfn, SANDY_IIO_BASE + 4, SANDY_IIO_BITS); }

namespace {

// XPCORERRSTS and XPUNCERRSTS of a port written back; the link status
// bits go too when bit 0 of the correctable status is set. False when a
// read failed.
bool clear_xp_status(uint8_t bus, uint8_t devfn, const char *corName)
{
    uint32_t cor = 0, unc = 0;
    int r = tvk_read_conf_dword(bus, devfn, TVK_RP_XPCORERRSTS, &cor);
    if (r < 0) {
        TVK_ERR("Cannot read %s, iRet=%d\n", corName, r);
        return false;
    }
    if (cor & 1u) {
        int cap = tvk_tell_cap(bus, devfn, TVK_CAP_ID_EXP);
        if (cap > 0)
            (void)tvk_write_conf_word(bus, devfn, static_cast<uint32_t>(cap) + kLnkSta, TVK_LNKSTA_CLEAR);
    }
    (void)tvk_write_conf_dword(bus, devfn, TVK_RP_XPCORERRSTS, cor);
    r = tvk_read_conf_dword(bus, devfn, TVK_RP_XPUNCERRSTS, &unc);
    if (r < 0) {
        TVK_ERR("Cannot read XPUNCERRSTS, iRet=%d\n", r);
        return false;
    }
    if (unc != 0)
        (void)tvk_write_conf_dword(bus, devfn, TVK_RP_XPUNCERRSTS, unc);
    return true;
}

bool read_glb(uint8_t bus, uint8_t devfn, uint16_t *glb)
{
    int r = tvk_read_conf_word(bus, devfn, TVK_RP_XPGLBERRSTS, glb);
    if (r < 0)
        TVK_ERR("Cannot read XPGLBERRSTS, iRet=%d\n", r);
    return r >= 0;
}

void clear_aer_status(uint8_t bus, uint8_t devfn)
{
    int aer = tvk_tell_ext_cap(bus, devfn, TVK_EXT_CAP_ID_ERR);
    if (aer <= 0)
        return;
    TVK_INFO("PCI_EXT_CAP_ID_ERR locates on 0x%04x\n", static_cast<unsigned>(aer));
    for (uint32_t off : {0x04u, 0x10u, 0x30u}) {
        uint32_t v = 0;
        const uint32_t at = static_cast<uint32_t>(aer) + off;
        int r = tvk_read_conf_dword(bus, devfn, at, &v);
        if (r < 0) {
            TVK_ERR("Cannot read AER offset %d register, iRet=%d\n", static_cast<int>(off), r);
            continue;
        }
        r = tvk_write_conf_dword(bus, devfn, at, v);
        if (r < 0)
            TVK_ERR("Cannot write AER offset %d register, iRet=%d\n", static_cast<int>(off), r);
    }
}

} // namespace

void sandy_clear_dmi_lerr(uint8_t bus)
{
    uint16_t glb = 0;
    if (!clear_xp_status(bus, 0, "DMI XPCORERRSTS") || !read_glb(bus, 0, &glb))
        return;
    if (glb != 0)
        (void)tvk_write_conf_word(bus, 0, TVK_RP_XPGLBERRSTS, glb);
    (void)tvk_write_conf_word(bus, 0, kPciStatus, 0xFFFF);
}

void sandy_clear_pcie_lerr(int port, uint8_t bus)
{
    if (port < 0 || port >= SANDY_PCIE_PORTS)
        return;
    const sandy_port_bdf &p = g_stPortBDF[port];
    const auto devfn = static_cast<uint8_t>(p.ucDev << 3 | p.ucFn);
    uint16_t glb = 0;
    if (!clear_xp_status(bus, devfn, "XPCORERRSTS") || !read_glb(bus, devfn, &glb) || glb == 0)
        return;
    clear_aer_status(bus, devfn);
    (void)tvk_write_conf_word(bus, devfn, TVK_RP_XPGLBERRSTS, glb);
}

// ---- configuration-space logs ---------------------------------------------------------------

int sandy_log_misc_lerr() { return tvk_log_conf_space(0, g_ucRasDevfn, SANDY_MISC_BASE, sizeof(sandy_misc_state)); }

int sandy_log_iio_lerr(uint8_t bus) { return tvk_log_conf_space(bus, g_ucRasDevfn, SANDY_IIO_BASE, 68); }

int sandy_log_irp_lerr(int port, uint8_t bus)
{
    if (port < 0 || port > 1)
        return TVK_E_INVAL;
    return tvk_log_conf_space(bus, g_ucRasDevfn, port == 0 ? SANDY_IRP0_BASE : SANDY_IRP1_BASE, 64);
}

int sandy_log_dmi_lerr(uint8_t bus)
{
    tvk_log_conf_space(bus, 0, 0, 256);
    return tvk_log_conf_space(bus, 0, SANDY_XP_BASE, 64);
}

int sandy_log_pcie_lerr(int port, uint8_t bus)
{
    if (port < 0 || port >= SANDY_PCIE_PORTS)
        return TVK_E_INVAL;
    const sandy_port_bdf &p = g_stPortBDF[port];
    const auto devfn = static_cast<uint8_t>(p.ucDev << 3 | p.ucFn);
    tvk_log_conf_space(bus, devfn, 0, 256);
    tvk_log_conf_space(bus, devfn, 0x148, 80);
    return tvk_log_conf_space(bus, devfn, SANDY_XP_BASE, 64);
}

void tvk_log_hex(const void *buf, int len, int start, int count, const char *tag)
{
    char label[40] = {};
    (void)snprintf_s(label, sizeof label, sizeof label - 1, "[LOG] %s", tag == nullptr ? "" : tag);
    tvk_log_hex_at(__FILE__, __LINE__, TVK_LVL_LOG, buf, len, start, count, label);
}
