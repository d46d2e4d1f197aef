// DORN SFP access.
#include "bases/host/host.h"
#include "boardlib/dorn_sfp.h"

#include <cerrno>

#include "boardlib/dorn_reg.h"
#include "boardlib/plov_check.h"

namespace {

// The SFP requests on the sbuf node; `openLine`: whether a failed open is
// logged.
PlovStatus sbuf_request(unsigned long number, void *rec, bool openLine)
{
    const DornRule rule{DornJudge::NonZeroSbuf, openLine ? DornOpenFail::StatusLogged : DornOpenFail::Status};
    return DORN_REQUEST(DORN_FPGA_SBUF, number, rec, rule);
}

PlovStatus sfp_reg_request(unsigned long number, SfpRegReq *req)
{
    if (req == nullptr || req->buf == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (req->port >= DORN_SFP_PORTS)
        return TRANS_BAD_PORT(req->port);
    return sbuf_request(number, req, true);
}

// Hot-swap and bus state share their checks: record, FPGA, port.
PlovStatus sbuf_port_record(unsigned long number, FpgaId fpga, uint8_t *rec)
{
    if (rec == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (fpga != DORN_FPGA_SBUF)
        return PLOV_ERR_FPGA_ID;
    if (rec[0] >= DORN_SFP_PORTS)
        return PLOV_ERR_PORT_ID;
    return sbuf_request(number, rec, false);
}

PlovStatus sfp_area_read(uint8_t handle, uint32_t dev, uint32_t offset, uint32_t length, uint8_t *buf)
{
    return DornTransGetSfpArea(handle, dev, static_cast<uint8_t>(offset), static_cast<uint16_t>(length), buf);
}

PlovStatus check_sbuf(FpgaId fpga)
{
    if (fpga != DORN_FPGA_SBUF)
        return TRANS_BAD_FPGA(fpga);
    return PLOV_OK;
}

// One byte or two of page A2h of the test module.
PlovStatus a2_access(bool write, uint8_t port, uint8_t offset, uint8_t *buf, uint16_t length)
{
    SfpRegReq req{port, offset, length, SFP_PAGE_A2, buf};
    return write ? TRANS_SetSfpReg(&req) : TRANS_GetSfpReg(&req);
}

constexpr uint8_t kInPinReg = 0x85;
constexpr uint8_t kOutPinReg = 0x86;
constexpr uint8_t kHsCountReg = 0x80;
constexpr uint8_t kHsThresholdReg = 0x82;
constexpr uint8_t kPinBit = 0x04;

// One trial of the input pin: its error bits (bit 0 high reading wrong,
// bit 1 low reading wrong) and the low reading.
PlovStatus in_pin_trial(uint8_t port, uint8_t *errors, uint8_t *low)
{
    const uint64_t bit = 1ull << port;
    uint8_t high = 0;
    PlovStatus ret = DornUpdateRegField(DORN_FPGA_SBUF, DORN_SFP_TX_DISABLE_REG, bit, bit);
    if (ret != PLOV_OK)
        return ret;
    host().usleep(20000);
    ret = a2_access(false, port, kInPinReg, &high, 1);
    if (ret == PLOV_OK) {
        ret = DornUpdateRegField(DORN_FPGA_SBUF, DORN_SFP_TX_DISABLE_REG, bit, 0);
        if (ret != PLOV_OK)
            return ret;
        ret = a2_access(false, port, kInPinReg, low, 1);
    }
    if (ret != PLOV_OK) {
        TRANS_LOG_ERR("Call TRANS_GetSfpReg error, addr = %x, iRet = %d", kInPinReg, ret);
        return ret;
    }
    *errors = static_cast<uint8_t>(((high & kPinBit) == 0 ? 1 : 0) | ((*low & kPinBit) != 0 ? 2 : 0));
    return PLOV_OK;
}

// Whether the input test ends after `trials` trials with these outcomes
// (bit n set: trial n + 1 failed).
bool in_pin_done(int trials, unsigned failed)
{
    if (trials == 2)
        return failed == 0;
    if (trials == 3)
        return failed == 0x1 || failed == 0x7;
    return trials == 4;
}

// Write `value` to the output-pin byte and wait until it reads back: true
// when it took; the last reading in *readBack.
PlovStatus out_pin_write(uint8_t port, uint8_t value, bool *took, uint8_t *readBack)
{
    uint8_t data = value;
    PlovStatus ret = a2_access(true, port, kOutPinReg, &data, 1);
    if (ret != PLOV_OK) {
        TRANS_LOG_ERR("Call TRANS_SetSfpReg error, addr = %x, data = %x, iRet = %d", kOutPinReg, value, ret);
        return ret;
    }
    *took = false;
    for (int i = 0; i < 3 && !*took; i++) {
        host().usleep(100000);
        data = 0;
        ret = a2_access(false, port, kOutPinReg, &data, 1);
        if (ret != PLOV_OK) {
            TRANS_LOG_ERR("Call TRANS_GetSfpReg error, addr = %x, data = %x, iRet = %d", kOutPinReg, data, ret);
            return ret;
        }
        *took = data == value;
        *readBack = data;
    }
    return PLOV_OK;
}

// One pass of the output pins: write, then compare the three lines.
PlovStatus out_pin_pass(uint8_t port, uint8_t *value, uint8_t notTaken, uint8_t mismatch, uint8_t results[3])
{
    bool took = false;
    uint8_t readBack = 0;
    PlovStatus ret = out_pin_write(port, *value, &took, &readBack);
    *value = readBack;
    if (ret != PLOV_OK)
        return ret;
    if (!took) {
        for (int i = 0; i < 3; i++)
            results[i] |= notTaken;
        return PLOV_OK;
    }
    host().usleep(20000);
    uint64_t lines = 0;
    ret = DornGetRegData(DORN_FPGA_SBUF, DORN_SFP_STATUS_REG, &lines);
    if (ret != PLOV_OK)
        return ret;
    const unsigned shifts[3] = {port + 16u, port, port + 8u};   // tx fault, los, absent
    for (int i = 0; i < 3; i++)
        if (((readBack >> i) & 1u) != ((lines >> shifts[i]) & 1u))
            results[i] |= mismatch;
    return PLOV_OK;
}

PlovStatus hs_read(uint8_t port, uint8_t offset, uint16_t *count)
{
    uint8_t buf[2] = {};
    PlovStatus ret = a2_access(false, port, offset, buf, 2);
    if (ret != PLOV_OK)
        TRANS_LOG_ERR("Call TRANS_GetSfpReg error, addr = %x, iRet = %d", offset, ret);
    *count = static_cast<uint16_t>(buf[0] + buf[1] * 256);
    return ret;
}

}  // namespace

sfp_ops DornSfpOps(uint8_t port) { return sfp_ops{port, {}, sfp_area_read}; }

PlovStatus TRANS_GetSfpReg(SfpRegReq *req) { return sfp_reg_request(PLOV_IOC_GET_SFP_REG, req); }
PlovStatus TRANS_SetSfpReg(SfpRegReq *req) { return sfp_reg_request(PLOV_IOC_SET_SFP_REG, req); }

PlovStatus DornTransGetSfpArea(uint8_t port, uint32_t dev, uint8_t offset, uint16_t length, uint8_t *buf)
{
    SfpRegReq req{port, offset, length, dev, buf};
    return sfp_reg_request(PLOV_IOC_GET_SFP_AREA, &req);
}

PlovStatus TRANS_GetSfpHsState(FpgaId fpga, SfpHsState *state)
{
    return sbuf_port_record(PLOV_IOC_GET_SFP_HS_STATE, fpga, reinterpret_cast<uint8_t *>(state));
}

PlovStatus TRANS_GetIicStatus(FpgaId fpga, SfpIicStatus *status)
{
    return sbuf_port_record(PLOV_IOC_GET_IIC_STATUS, fpga, reinterpret_cast<uint8_t *>(status));
}

PlovStatus DornTransGetSfpPresent(FpgaId fpga, uint8_t port, uint8_t *present)
{
    PlovStatus ret = check_sbuf(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (port >= DORN_SFP_PORTS)
        return TRANS_BAD_PORT(port);
    if (present == nullptr)
        return PLOV_ERR_NULL_PTR;
    ret = DornSetRegData(DORN_FPGA_SBUF, DORN_SFP_TX_DISABLE_REG, 0);
    uint64_t lines = 0;
    if (ret == PLOV_OK)
        ret = DornGetRegData(DORN_FPGA_SBUF, DORN_SFP_STATUS_REG, &lines);
    if (ret == PLOV_OK)
        *present = ((lines >> (port + 8)) & 1u) == 0 ? 1 : 0;
    return ret;
}

PlovStatus TRANS_GetSfpPresent(FpgaId fpga, const PortPro *pro, uint8_t *present)
{
    if (pro == nullptr)
        return PLOV_ERR_NULL_PTR;
    return DornTransGetSfpPresent(fpga, static_cast<uint8_t>(pro->ID), present);
}

PlovStatus DornTransGetPortSfpinfo(FpgaId fpga, uint8_t port, SfpInfo *info)
{
    PlovStatus ret = check_sbuf(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (info == nullptr)
        return PLOV_ERR_NULL_PTR;
    const sfp_ops ops = DornSfpOps(port);
    struct Step {
        PlovStatus (*get)(const sfp_ops *, uint8_t *);
        uint8_t *out;
        const char *name;   // null: failure returned without a line
    };
    const Step steps[] = {
        {sfp_8472_get_vendor_name, reinterpret_cast<uint8_t *>(info->VendorName), "sfp_8472_get_vendor_name"},
        {sfp_8472_get_vendor_pn, reinterpret_cast<uint8_t *>(info->VendorPn), "sfp_8472_get_vendor_pn"},
        {sfp_8472_get_vendor_sn, reinterpret_cast<uint8_t *>(info->VendorSn), "sfp_8472_get_vendor_sn"},
        {sfp_8472_get_manufacture_date, reinterpret_cast<uint8_t *>(info->Date), "sfp_8472_get_manufacture_date"},
        {sfp_8472_get_identifier_id, info->Identifier, "sfp_8472_get_identifier_id"},
        {sfp_8472_get_connector_type, &info->Connector, "sfp_8472_get_connector_type"},
        {sfp_8472_get_link_length, info->LinkLength, "sfp_8472_get_link_length"},
        {sfp_8472_get_ethernet_speed, info->Compliance, nullptr},
        {sfp_8472_get_wavelength, info->Wavelength, "sfp_8472_get_wavelength"},
    };
    for (const Step &s : steps) {
        ret = s.get(&ops, s.out);
        if (ret != PLOV_OK) {
            if (s.name != nullptr)
                TRANS_LOG_ERR("Call %s error, iRet = %d", s.name, ret);
            return ret;
        }
    }
    return PLOV_OK;
}

PlovStatus TRANS_GetPortSfpInfo(FpgaId fpga, const PortPro *pro, SfpInfo *info)
{
    if (pro == nullptr)
        return PLOV_ERR_NULL_PTR;
    return DornTransGetPortSfpinfo(fpga, static_cast<uint8_t>(pro->ID), info);
}

PlovStatus DornTransGetPortSfpStat(FpgaId fpga, uint8_t port, SfpStatus *stat)
{
    PlovStatus ret = check_sbuf(fpga);
    if (ret != PLOV_OK)
        return ret;
    if (stat == nullptr)
        return PLOV_ERR_NULL_PTR;
    const sfp_ops ops = DornSfpOps(port);
    ret = sfp_8472_get_alarm_stat(&ops, &stat->AlarmLow);
    if (ret != PLOV_OK) {
        TRANS_LOG_ERR("Call sfp_8472_get_alarm_stat error, iRet = %d", ret);
        return ret;
    }
    uint64_t lines = 0;
    ret = DornGetRegData(DORN_FPGA_SBUF, DORN_SFP_STATUS_REG, &lines);
    if (ret != PLOV_OK) {
        TRANS_LOG_ERR("Call DornLogicReadDirReg error, iRet = %d", ret);
        return ret;
    }
    // The alarm read has refused ports above 7, so the shifts stay in range.
    stat->tx_fault = static_cast<uint8_t>((lines >> (port + 16)) & 1u);
    stat->rx_los = static_cast<uint8_t>((lines >> port) & 1u);
    return PLOV_OK;
}

PlovStatus TRANS_GetPortSfpStat(FpgaId fpga, const PortPro *pro, SfpStatus *stat)
{
    if (pro == nullptr)
        return PLOV_ERR_NULL_PTR;
    return DornTransGetPortSfpStat(fpga, static_cast<uint8_t>(pro->ID), stat);
}

PlovStatus TRANS_TestSfpInPin(uint8_t port, uint8_t results[2])
{
    unsigned failed = 0;
    uint8_t low = 0;
    for (int trial = 1; trial <= 4; trial++) {
        uint8_t errors = 0;
        PlovStatus ret = in_pin_trial(port, &errors, &low);
        if (ret != PLOV_OK)
            return ret;
        if (errors != 0) {
            failed |= 1u << (trial - 1);
            results[0] = static_cast<uint8_t>(results[0] | errors | (0x10 << (trial - 1)));
        }
        if (in_pin_done(trial, failed))
            break;
    }
    if ((low & 3) != 1)
        results[1] = 1;
    return PLOV_OK;
}

PlovStatus TRANS_TestSfpOutPin(uint8_t port, uint8_t results[3])
{
    uint8_t value = 0;
    PlovStatus ret = a2_access(false, port, kOutPinReg, &value, 1);
    if (ret != PLOV_OK) {
        TRANS_LOG_ERR("Call TRANS_GetSfpReg error, addr = %x, data = %x, iRet = %d", kOutPinReg, value, ret);
        return ret;
    }
    // Invert bits 0-2, then invert what the module holds again: a healthy
    // module ends with its own byte, a stuck one fails both passes.
    value ^= 7;
    ret = out_pin_pass(port, &value, 0x10, 0x01, results);
    if (ret != PLOV_OK)
        return ret;
    value ^= 7;
    return out_pin_pass(port, &value, 0x20, 0x02, results);
}

PlovStatus TRANS_TestSfpIOPin(uint8_t port, uint8_t results[SFP_PIN_RESULTS], uint16_t *hs_cnt, uint16_t *hs_threshold)
{
    if (results == nullptr || hs_cnt == nullptr || hs_threshold == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (port >= DORN_SFP_PORTS)
        return TRANS_BAD_PORT(port);
    PlovStatus ret = TRANS_TestSfpInPin(port, &results[SFP_TX_DISABLE_TEST]);
    if (ret != PLOV_OK) {
        results[SFP_TX_DISABLE_TEST] |= 0x04;
        results[SFP_RS_TEST] |= 0x04;
        TRANS_LOG_ERR("Call TRANS_TestSfpInPin error, addr = %x, iRet = %d", kInPinReg, ret);
    }
    ret = TRANS_TestSfpOutPin(port, &results[SFP_TX_FAULT_TEST]);
    if (ret != PLOV_OK) {
        for (size_t i = SFP_TX_FAULT_TEST; i <= SFP_ONLINE_TEST; i++)
            results[i] |= 0x04;
        TRANS_LOG_ERR("Call TRANS_TestSfpOutPin error, addr = %x, iRet = %d", kOutPinReg, ret);
    }
    (void)hs_read(port, kHsCountReg, hs_cnt);
    (void)hs_read(port, kHsThresholdReg, hs_threshold);
    return PLOV_OK;
}
