// The uncore monitoring pass: global error words per processor, the unit
// checks driven by their summary bits (report, log the unit's
// configuration space, clear it), QPI counters and link rate, and the LPC
// bridge check.
#include <cstring>

#include "bases/host/host.h"
#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_log.h"
#include "hwmanage/hpi/plugins/hardware/sandy_monitor.h"
#include "kelvo/kelvo.h"

namespace {

// What one unit bit of one processor shows in this pass.
struct Judge {
    bool virgin;
    bool fatal;      // virgin: set; later: changed
    bool nonFatal;
    int oldF, newF, oldN, newN;
    bool fired() const { return fatal || nonFatal; }
};

Judge judge(const sandy_monitor_state *state, int cpu, const sandy_summary *now, int bit)
{
    Judge j{};
    j.virgin = state->ucInit == 0;
    j.newF = static_cast<int>((now[cpu].ulFatal >> bit) & 1u);
    j.newN = static_cast<int>((now[cpu].ulNonFatal >> bit) & 1u);
    j.oldF = static_cast<int>((state->astSum[cpu].ulFatal >> bit) & 1u);
    j.oldN = static_cast<int>((state->astSum[cpu].ulNonFatal >> bit) & 1u);
    j.fatal = j.virgin ? j.newF != 0 : j.oldF != j.newF;
    j.nonFatal = j.virgin ? j.newN != 0 : j.oldN != j.newN;
    return j;
}

bool usable(const sandy_monitor_state *state, const void *now)
{
    return state != nullptr && now != nullptr && state->ucCpuNum <= SANDY_MAX_CPUS;
}

constexpr uint32_t kCount = SANDY_QPI_COUNT;
constexpr uint32_t kRate = 7;

void qpi_virgin(int c, int p, const sandy_qpi_port &now)
{
    if (now.ulErrCnt0 & kCount)
        TVK_LOG("CPU%d QPI Port%d detect correctable error[0x%08x]\n", c, p, now.ulErrCnt0);
    if (now.ulErrCnt1 & kCount)
        TVK_LOG("CPU%d QPI Port%d detect uncorrectable error[0x%08x]\n", c, p, now.ulErrCnt1);
    if (p == 0)
        TVK_LOG("CPU%d detect QPI link rate is %s\n", c, sandy_qpispeed_str(now.ulMiscSts & kRate));
}

void qpi_change(int c, int p, const sandy_qpi_port &old, const sandy_qpi_port &now)
{
    if ((old.ulErrCnt0 ^ now.ulErrCnt0) & kCount)
        TVK_LOG("CPU%d QPI Port%d corr error status change[%d->%d]\n", c, p, static_cast<int>(old.ulErrCnt0 & kCount),
                static_cast<int>(now.ulErrCnt0 & kCount));
    if ((old.ulErrCnt1 ^ now.ulErrCnt1) & kCount)
        TVK_LOG("CPU%d QPI Port%d uncorr error status change[%d->%d]\n", c, p,
                static_cast<int>(old.ulErrCnt1 & kCount), static_cast<int>(now.ulErrCnt1 & kCount));
    if (p == 0 && ((old.ulMiscSts ^ now.ulMiscSts) & kRate))
        TVK_LOG("CPU%d detect QPI link rate change[%s->%s]\n", c, sandy_qpispeed_str(old.ulMiscSts & kRate),
                sandy_qpispeed_str(now.ulMiscSts & kRate));
}

} // namespace

void sandy_check_QPI(const sandy_monitor_state *state, const sandy_qpi_state *now)
{
    if (!usable(state, now))
        return;
    for (int c = 0; c < state->ucCpuNum; c++)
        for (int p = 0; p < 2; p++) {
            if (state->ucInit == 0)
                qpi_virgin(c, p, now[c].astPort[p]);
            else
                qpi_change(c, p, state->astQpi[c].astPort[p], now[c].astPort[p]);
        }
}

void sandy_check_iio(const sandy_monitor_state *state, const sandy_summary *now)
{
    if (!usable(state, now))
        return;
    for (int c = 0; c < state->ucCpuNum; c++) {
        const Judge j = judge(state, c, now, SANDY_BIT_IIO);
        if (j.virgin) {
            if (j.fatal)
                TVK_LOG("CPUNo %d IIO Core detect fatal error[0x%08x]\n", c, now[c].ulFatal);
            if (j.nonFatal)
                TVK_LOG("CPUNo %d IIO Core detect non-fatal error[0x%08x]\n", c, now[c].ulNonFatal);
            if (!j.fired())
                TVK_LOG("CPUNo %d IIO Core virgin state is OK\n", c);
        } else {
            if (j.fatal)
                TVK_LOG("CPUNo %d IIO Core fatal error status change[%d->%d]\n", c, j.oldF, j.newF);
            if (j.nonFatal)
                TVK_LOG("CPUNo %d IIO Core non-fatal error status change[%d->%d]\n", c, j.oldN, j.newN);
        }
        if (j.fired()) {
            sandy_log_iio_lerr(sandy_root_bus(c));
            sandy_clear_iio_state(sandy_root_bus(c));
        }
    }
}

void sandy_check_dmi(const sandy_monitor_state *state, const sandy_summary *now)
{
    if (!usable(state, now))
        return;
    for (int c = 0; c < state->ucCpuNum; c++) {
        const Judge j = judge(state, c, now, SANDY_BIT_DMI);
        if (j.virgin) {
            if (j.fatal)
                TVK_LOG("CPUNo %d DMI detect glboal fatal error[0x%08x]\n", c, now[c].ulFatal);
            if (j.nonFatal)
                TVK_LOG("CPUNo %d DMI detect global non-fatal error[0x%08x]\n", c, now[c].ulNonFatal);
            if (!j.fired())
                TVK_LOG("CPUNo %d DMI global virgin state is OK\n", c);
        } else {
            if (j.fatal)
                TVK_LOG("CPUNo %d DMI global fatal error status change[%d->%d]\n", c, j.oldF, j.newF);
            if (j.nonFatal)
                TVK_LOG("CPUNo %d DMI golbal non-fatal error status change[%d->%d]\n", c, j.oldN, j.newN);
        }
        if (j.fired()) {
            TVK_LOG("CPUNo %d Log DMI Port config space\n", c);
            sandy_log_dmi_lerr(sandy_root_bus(c));
            sandy_clear_dmi_lerr(sandy_root_bus(c));
        }
    }
}

namespace {

void check_pcie_port(int c, int port, const Judge &j, const sandy_summary &now)
{
    const char *name = sandy_gerror_desc[SANDY_BIT_PCIE0 + port];
    if (j.virgin) {
        if (j.fatal)
            TVK_LOG("CPUNo %d %s detect fatal error [0x%08x]\n", c, name, now.ulFatal);
        if (j.nonFatal)
            TVK_LOG("CPUNo %d %s detect non-fatal error [0x%08x]\n", c, name, now.ulNonFatal);
        if (!j.fired())
            TVK_LOG("CPUNo %d %s virgin state is OK\n", c, name);
    } else {
        if (j.fatal)
            TVK_LOG("CPUNo %d %s fatal error status change[%d->%d]\n", c, name, j.oldF, j.newF);
        if (j.nonFatal)
            TVK_LOG("CPUNo %d %s non-fatal error status change [%d->%d]\n", c, name, j.oldN, j.newN);
    }
    if (!j.fired())
        return;
    if (j.virgin)
        TVK_LOG("CPUNo %d Log %s config space\n", c, name);
    else
        TVK_LOG("CPUNo %d %s error [%d] change, log its config space\n", c, name, j.nonFatal ? 1 : 2);
    sandy_log_pcie_lerr(port, sandy_root_bus(c));
    sandy_clear_pcie_lerr(port, sandy_root_bus(c));
}

} // namespace

void sandy_check_pcie(const sandy_monitor_state *state, const sandy_summary *now)
{
    if (!usable(state, now))
        return;
    for (int c = 0; c < state->ucCpuNum; c++)
        for (int port = 0; port < SANDY_PCIE_PORTS; port++)
            check_pcie_port(c, port, judge(state, c, now, SANDY_BIT_PCIE0 + port), now[c]);
}

void sandy_check_irp(const sandy_monitor_state *state, const sandy_summary *now)
{
    if (!usable(state, now))
        return;
    for (int c = 0; c < state->ucCpuNum; c++)
        for (int p = 0; p < 2; p++) {
            const Judge j = judge(state, c, now, SANDY_BIT_IRP0 + p);
            if (j.virgin) {
                if (j.fatal)
                    TVK_LOG("CPUNo %d IRP%d detect fatal error[0x%08x]\n", c, p, now[c].ulFatal);
                if (j.nonFatal)
                    TVK_LOG("CPUNo %d IRP%d detect non-fatal error[0x%08x]\n", c, p, now[c].ulNonFatal);
                if (!j.fired())
                    TVK_LOG("CPUNo %d IRP%d virgin state is OK\n", c, p);
            } else {
                if (j.fatal)
                    TVK_LOG("CPUNo %d IRP%d fatal error status change[%d->%d]\n", c, p, j.oldF, j.newF);
                if (j.nonFatal)
                    TVK_LOG("CPUNo %d IRP%d non-fatal error status change[%d->%d]\n", c, p, j.oldN, j.newN);
            }
            if (j.fired()) {
                sandy_log_irp_lerr(p, sandy_root_bus(c));
                sandy_clear_irp_state(p, sandy_root_bus(c));
            }
        }
}

namespace {

constexpr int kGerrLen = static_cast<int>(sizeof(sandy_gerr_state));

void log_block(const sandy_gerr_state &block)
{
    tvk_log_hex(&block, kGerrLen, static_cast<int>(SANDY_GERR_BASE), kGerrLen, "<COMM>");
}

void set_masks(int n)
{
    int r = sandy_set_qpi_mask(n);
    if (r < 0)
        TVK_ERR("Cannot set sandy bridge QPI Mask, ret=%d\n", r);
    for (int c = 0; c < n; c++) {
        r = sandy_setiio_mask(sandy_root_bus(c));
        if (r < 0)
            TVK_ERR("Cannot set sandy bridge IIO Mask, ret=%d\n", r);
        r = sandy_setirp_mask(sandy_root_bus(c));
        if (r < 0)
            TVK_ERR("Cannot set sandy bridge IRP Mask, ret=%d\n", r);
    }
}

void report_global(const sandy_monitor_state *state, const sandy_gerr_state *blocks, const sandy_summary *now)
{
    const int n = state->ucCpuNum;
    if (state->ucInit == 0) {
        TVK_LOG("Lucky, RAS is virgin...\n");
        for (int c = 0; c < n; c++) {
            if (now[c].ulNonFatal != 0) {
                TVK_LOG("CPUNo %d Detect non-fatal error, global error registers :\n", c);
                log_block(blocks[c]);
            }
            if (now[c].ulFatal != 0) {
                TVK_LOG("CPUNo %d Detect fatal error, global error registers :\n", c);
                log_block(blocks[c]);
            }
            if (now[c].ulNonFatal == 0 && now[c].ulFatal == 0)
                TVK_LOG("CPUNo %d No error detect in global error registers.\n", c);
        }
        return;
    }
    for (int c = 0; c < n; c++) {
        const sandy_summary &old = state->astSum[c];
        if (old.ulNonFatal != now[c].ulNonFatal) {
            TVK_LOG("CPUNo %d Detect RAS non-fatal error reg change[0x%08x -> 0x%08x]\n", c, old.ulNonFatal,
                    now[c].ulNonFatal);
            log_block(blocks[c]);
        }
        if (old.ulFatal != now[c].ulFatal) {
            TVK_LOG("CPUNo %d Detect RAS fatal error reg change[0x%08x -> 0x%08x]\n", c, old.ulFatal, now[c].ulFatal);
            log_block(blocks[c]);
        }
    }
}

} // namespace

int sandy_check_global_error(sandy_monitor_state *state, sandy_summary *out)
{
    if (state == nullptr || out == nullptr)
        return TVK_E_NULL;
    const int n = state->ucCpuNum;
    if (n > SANDY_MAX_CPUS)
        return TVK_E_INVAL;
    sandy_gerr_state blocks[SANDY_MAX_CPUS] = {};
    sandy_summary now[SANDY_MAX_CPUS] = {};
    for (int c = 0; c < n; c++) {
        int r = sandy_get_global_error_all(&blocks[c], &now[c], sandy_root_bus(c));
        if (r < 0) {
            TVK_ERR("CPU %d Cannot get sandy bridge RAS state, ret=%d\n", c, r);
            return r;
        }
    }
    if (state->ucInit == 0)
        set_masks(n);
    sandy_qpi_state qpi[SANDY_MAX_CPUS] = {};
    int r = sandy_read_qpi_err(qpi, n);
    if (r < 0) {
        TVK_ERR("Cannot get sandy bridge QPI state, ret=%d\n", r);
    } else {
        sandy_check_QPI(state, qpi);
        std::memcpy(state->astQpi, qpi, sizeof qpi);
    }
    sandy_check_iio(state, now);
    sandy_check_dmi(state, now);
    sandy_check_pcie(state, now);
    sandy_check_irp(state, now);
    report_global(state, blocks, now);
    for (int c = 0; c < n; c++)
        sandy_clear_global_state(sandy_root_bus(c));
    std::memcpy(out, now, sizeof now);
    return TVK_OK;
}

// ---- the LPC bridge ---------------------------------------------------------------------------

namespace {

constexpr uint8_t kLpcBus = 0;
constexpr unsigned kLpcDev = SANDY_LPC_DEVFN >> 3;
constexpr uint16_t kLpcStatusBits = 0xC100;
constexpr uint8_t kProbe = 0x55;
constexpr uint8_t kProbeInv = 0xAA;

void put_text(char *text, const char *what)
{
    KelvoErr e = strncpy_s(text, SANDY_LPC_TEXT, what, std::strlen(what));
    if (e != 0)
        TVK_ERR("call strncpy_s fail, error=%d\n", static_cast<int>(e));
}

int lpc_read(uint32_t offset, uint16_t *out, const char *what)
{
    int r = tvk_read_conf_word(kLpcBus, SANDY_LPC_DEVFN, offset, out);
    if (r < 0)
        TVK_ERR("Cannot read [%02x:%02x.%d] %s, iRet=%d\n", kLpcBus, kLpcDev, 0, what, r);
    return r;
}

// The register behind port 0xC90 inverts what is written. Without the I/O
// privilege no port is touched: an access would end the process.
bool lpc_register_ok()
{
    if (host().iopl(3) != 0) {
        TVK_ERR("Cannot enable io R/W\n");
        return false;
    }
    const uint8_t first = host().inb(SANDY_LPC_PORT);
    const uint8_t write = first == kProbe ? kProbe : kProbeInv;
    const uint8_t expect = first == kProbe ? kProbeInv : kProbe;
    host().outb(write, SANDY_LPC_PORT);
    return host().inb(SANDY_LPC_PORT) == expect;
}

} // namespace

int sandy_check_lpc_error(uint32_t *failures, uint32_t *state, char text[SANDY_LPC_TEXT])
{
    if (failures == nullptr || state == nullptr || text == nullptr)
        return TVK_E_NULL;
    uint32_t count = 0;
    *failures = 0;
    *state = SANDY_LPC_OK;
    put_text(text, "STATE OK");
    uint16_t vendor = 0, device = 0, status = 0;
    int r = lpc_read(0x00, &vendor, "VenderID");
    if (r >= 0)
        r = lpc_read(0x02, &device, "DeviceID");
    if (r >= 0)
        r = lpc_read(0x06, &status, "PCISTS");
    if (r < 0)
        return r;
    if (vendor == 0x8086 && (device == 0x1D40 || device == 0x1D41)) {
        count = 0;
    } else {
        count++;
        TVK_LOG("LPC PCI Device [%02x:%02x:%x] Vender id[%x], Device id[%x]\n", kLpcBus, kLpcDev, 0u, vendor, device);
    }
    if (status & kLpcStatusBits) {
        const auto bits = static_cast<uint16_t>(status & kLpcStatusBits);
        TVK_LOG("LPC PCI Device [%02x:%02x:%x] PCI Status[%x]\n", kLpcBus, kLpcDev, 0u, status);
        r = tvk_write_conf_word(kLpcBus, SANDY_LPC_DEVFN, 0x06, bits);
        if (r < 0)
            TVK_ERR("Clear [%02x:%02x.%d] PCI_STATUS[0x%04x] fail, ret=%d\n", kLpcBus, kLpcDev, 0, bits, r);
    }
    if (count > 2) {
        count = 3;
        *state = 2;
        put_text(text, "PCIE Config Space Err");
    }
    if (!lpc_register_ok()) {
        *state = SANDY_LPC_REG_FAIL;
        put_text(text, "LPC Register test fail");
    }
    *failures = count;
    return TVK_OK;
}
