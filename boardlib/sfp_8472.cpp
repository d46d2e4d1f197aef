// Module memory decoder: getters, module type, distance label and the
// decoders of speed, wavelength, link length, connector and device type.
#include "boardlib/sfp_8472.h"

#include "kelvo/kelvo.h"

const SfpConnType g_stConnType[SFP_CONN_TYPES] = {
    {"SC", 0x01, 0},
    {"FC 1 copper connector", 0x02, 0},
    {"FC 2 copper connector", 0x03, 0},
    {"BNC/TNC", 0x04, 0},
    {"FC coaxial headers", 0x05, 0},
    {"FiberJack", 0x06, 0},
    {"LC", 0x07, 0},
    {"MT-RJ", 0x08, 0},
    {"MU", 0x09, 0},
    {"SG", 0x0A, 0},
    {"Optical pigtail", 0x0B, 0},
    {"MPO Parallel Optic", 0x0C, 0},
    {"HSSDC II", 0x20, 0},
    {"Copper pigtail", 0x21, 1},
    {"RJ45", 0x22, 1},
};

const SfpDistanceRow SfpDistanceLabel[SFP_DISTANCE_ROWS] = {
    {SFP_MEDIUM_SINGLE, 1, "km", "0.009mm"},
    {SFP_MEDIUM_SINGLE, 100, "m", "0.009mm"},
    {SFP_MEDIUM_MULTI, 10, "m", "0.05mm"},
    {SFP_MEDIUM_MULTI, 10, "m", "0.0625mm"},
    {SFP_MEDIUM_OTHER, 1, "m", ""},
    {SFP_MEDIUM_MULTI, 10, "m", "0.05mm"},
};

namespace {

// Link-length decoding by byte: metres per unit and medium.
struct LinkLengthRow {
    uint32_t metres;
    uint8_t medium;
};
constexpr LinkLengthRow kLinkLength[SFP_DISTANCE_ROWS] = {
    {1000, SFP_MEDIUM_SINGLE}, {100, SFP_MEDIUM_SINGLE}, {10, SFP_MEDIUM_MULTI},
    {10, SFP_MEDIUM_MULTI},    {1, SFP_MEDIUM_OTHER},    {10, SFP_MEDIUM_MULTI},
};

constexpr uint8_t kLinkLengthOffset = 14;
constexpr uint8_t kConnectorOffset = 2;
constexpr uint8_t kComplianceOffset = 6;
constexpr size_t kLabelText = 50;

// How a getter words a missing callback and a failed read.
enum class ReadLines { Plain, LeadingBlank, FuncHandler };

struct Field {
    uint32_t page;
    uint32_t offset;
    uint32_t length;
    const char *nullOut;
    ReadLines lines;
};

// Checks common to every getter: the output, the record, its callback.
PlovStatus check_ops(const sfp_ops *ops, const void *out, const char *nullOut, ReadLines lines)
{
    if (out == nullptr) {
        SFP8472_LOG_ERR("%s", nullOut);
        return PLOV_ERR_NULL_PTR;
    }
    if (ops == nullptr) {
        SFP8472_LOG_ERR("sfp_ops is NULL!");
        return PLOV_ERR_NULL_PTR;
    }
    if (ops->read == nullptr) {
        if (lines == ReadLines::LeadingBlank)
            SFP8472_LOG_ERR(" sfp_ops->read is NULL!");
        else
            SFP8472_LOG_ERR("sfp_ops->read is NULL!");
        return PLOV_ERR_NULL_PTR;
    }
    return PLOV_OK;
}

PlovStatus read_field(const sfp_ops *ops, uint32_t page, uint32_t offset, uint32_t length, uint8_t *out,
                      ReadLines lines)
{
    PlovStatus ret = ops->read(ops->handle, page, offset, length, out);
    if (ret != PLOV_OK) {
        if (lines == ReadLines::FuncHandler)
            SFP8472_LOG_ERR("call func_handler fail! iRet=%d", ret);
        else
            SFP8472_LOG_ERR("call sfp_ops->read fail! iRet=%d", ret);
    }
    return ret;
}

PlovStatus get_field(const Field &f, const sfp_ops *ops, uint8_t *out)
{
    PlovStatus ret = check_ops(ops, out, f.nullOut, f.lines);
    if (ret != PLOV_OK)
        return ret;
    return read_field(ops, f.page, f.offset, f.length, out, f.lines);
}

constexpr Field kIdentifier{SFP_PAGE_A0, 0, 2, "identifier_id is NULL!", ReadLines::Plain};
constexpr Field kConnector{SFP_PAGE_A0, 2, 1, "connect_type is NULL!", ReadLines::Plain};
constexpr Field kLinkLengthField{SFP_PAGE_A0, 14, 6, "link_length is NULL!", ReadLines::LeadingBlank};
constexpr Field kVendorName{SFP_PAGE_A0, 20, 16, "vendor_name is NULL!", ReadLines::FuncHandler};
constexpr Field kVendorPn{SFP_PAGE_A0, 40, 16, "vendor_pn is NULL!", ReadLines::Plain};
constexpr Field kWavelength{SFP_PAGE_A0, 60, 2, "wavelength is NULL!", ReadLines::Plain};
constexpr Field kVendorSn{SFP_PAGE_A0, 68, 16, "vendor_sn is NULL!", ReadLines::Plain};
constexpr Field kDate{SFP_PAGE_A0, 84, 8, "manu_date is NULL!", ReadLines::Plain};
constexpr Field kAlarmThreshold{SFP_PAGE_A2, 0, 40, "alarm_threshold is NULL!", ReadLines::Plain};
constexpr Field kDiagValue{SFP_PAGE_A2, 96, 10, "diag_value is NULL!", ReadLines::Plain};
constexpr Field kTrxStatus{SFP_PAGE_A2, 110, 1, "status is NULL!", ReadLines::Plain};
constexpr Field kAlarmStat{SFP_PAGE_A2, 112, 6, "diag_flag is NULL!", ReadLines::Plain};

const SfpConnType *find_connector(uint8_t code)
{
    for (const SfpConnType &row : g_stConnType)
        if (row.code == code)
            return &row;
    return nullptr;
}

// Byte 6 of a module without a connector code.
uint8_t type_by_compliance(uint8_t byte6)
{
    if (byte6 == 8)
        return SFP_TYPE_ELECTRICAL;
    if (byte6 == 1 || byte6 == 2 || byte6 == 4)
        return SFP_TYPE_OPTICAL;
    SFP8472_LOG_ERR("type unknown, code_data = %u", byte6);
    return SFP_TYPE_UNKNOWN;
}

// A decoded text into the caller's buffer, cut at size - 1 characters.
PlovStatus put_text(char *text, uint32_t size, const char *value)
{
    if (text == nullptr)
        return PLOV_ERR_NULL_PTR;
    if (size == 0)
        return PLOV_ERR_PARAM;
    (void)snprintf_s(text, size, size - 1, "%s", value);
    return PLOV_OK;
}

}  // namespace

PlovStatus sfp_8472_get_identifier_id(const sfp_ops *ops, uint8_t *out) { return get_field(kIdentifier, ops, out); }
PlovStatus sfp_8472_get_connector_type(const sfp_ops *ops, uint8_t *out) { return get_field(kConnector, ops, out); }
PlovStatus sfp_8472_get_link_length(const sfp_ops *ops, uint8_t *out) { return get_field(kLinkLengthField, ops, out); }
PlovStatus sfp_8472_get_vendor_name(const sfp_ops *ops, uint8_t *out) { return get_field(kVendorName, ops, out); }
PlovStatus sfp_8472_get_vendor_pn(const sfp_ops *ops, uint8_t *out) { return get_field(kVendorPn, ops, out); }
PlovStatus sfp_8472_get_wavelength(const sfp_ops *ops, uint8_t *out) { return get_field(kWavelength, ops, out); }
PlovStatus sfp_8472_get_vendor_sn(const sfp_ops *ops, uint8_t *out) { return get_field(kVendorSn, ops, out); }
PlovStatus sfp_8472_get_manufacture_date(const sfp_ops *ops, uint8_t *out) { return get_field(kDate, ops, out); }
PlovStatus sfp_8472_get_alarm_threshold(const sfp_ops *ops, uint8_t *out) { return get_field(kAlarmThreshold, ops, out); }
PlovStatus sfp_8472_get_diag_value(const sfp_ops *ops, uint8_t *out) { return get_field(kDiagValue, ops, out); }
PlovStatus sfp_8472_get_trx_status(const sfp_ops *ops, uint8_t *out) { return get_field(kTrxStatus, ops, out); }
PlovStatus sfp_8472_get_alarm_stat(const sfp_ops *ops, uint8_t *out) { return get_field(kAlarmStat, ops, out); }

PlovStatus sfp_8472_get_ethernet_speed(const sfp_ops *ops, uint8_t *out)
{
    PlovStatus ret = check_ops(ops, out, "speed is NULL!", ReadLines::Plain);
    if (ret != PLOV_OK)
        return ret;
    constexpr uint8_t kOffsets[2] = {3, kComplianceOffset};
    for (int i = 0; i < 2; i++) {
        ret = ops->read(ops->handle, SFP_PAGE_A0, kOffsets[i], 1, &out[i]);
        if (ret != PLOV_OK) {
            SFP8472_LOG_ERR("call sfp_ops->read fail! iRet=%d, i = %d", ret, i);
            return ret;
        }
    }
    return PLOV_OK;
}

PlovStatus sfp_8472_get_type(const sfp_ops *ops, uint8_t *type)
{
    PlovStatus ret = check_ops(ops, type, "sfp_type is NULL!", ReadLines::Plain);
    if (ret != PLOV_OK)
        return ret;
    uint8_t code = 0;
    ret = read_field(ops, SFP_PAGE_A0, kConnectorOffset, 1, &code, ReadLines::Plain);
    if (ret != PLOV_OK)
        return ret;
    if (code == 0) {
        SFP8472_LOG_INFO("connetct value is 0, judge by byte6 for more information");
        uint8_t byte6 = 0;
        ret = read_field(ops, SFP_PAGE_A0, kComplianceOffset, 1, &byte6, ReadLines::Plain);
        if (ret != PLOV_OK)
            return ret;
        *type = type_by_compliance(byte6);
        return PLOV_OK;
    }
    const SfpConnType *row = find_connector(code);
    *type = row != nullptr ? row->kind : SFP_TYPE_UNKNOWN;
    return PLOV_OK;
}

PlovStatus sfp_8472_get_redistance_elabel(const sfp_ops *ops, char *label, uint32_t size)
{
    PlovStatus ret = check_ops(ops, label, "distance_elable is NULL!", ReadLines::Plain);
    if (ret != PLOV_OK)
        return ret;
    if (size == 0)
        return PLOV_ERR_PARAM;
    uint8_t bytes[SFP_DISTANCE_ROWS] = {};
    ret = ops->read(ops->handle, SFP_PAGE_A0, kLinkLengthOffset, SFP_DISTANCE_ROWS, bytes);
    if (ret != PLOV_OK) {
        SFP8472_LOG_ERR("read qsfp register to get distance fail! ret = %d.\n", ret);
        return ret;
    }
    char text[kLabelText] = {};
    for (size_t r = 0; r < SFP_DISTANCE_ROWS; r++) {
        const SfpDistanceRow &row = SfpDistanceLabel[r];
        if (bytes[r] == 0 || row.kind == SFP_MEDIUM_OTHER)
            continue;
        // Widened: byte x multiplier cannot overflow, and prints as the unsigned it is.
        const unsigned value = bytes[r] * row.multiplier;
        if (row.kind == SFP_MEDIUM_SINGLE) {
            (void)snprintf_s(label, size, size - 1, "%u%s(%s)", value, row.unit, row.core);
            return PLOV_OK;
        }
        char piece[kLabelText] = {};
        (void)snprintf_s(piece, sizeof piece, sizeof piece, "%u%s(%s)-", value, row.unit, row.core);
        (void)strncat_s(text, sizeof text, piece, sizeof piece);
    }
    size_t len = 0;
    while (len < sizeof text && text[len] != '\0')
        len++;
    if (len == 0) {
        SFP8472_LOG_ERR("the redistance that get is NULL!");
        return SFP_ERR_NO_TEXT;
    }
    if (text[len - 1] == '-')
        text[len - 1] = '\0';
    (void)snprintf_s(label, size, size - 1, "%s", text);
    return PLOV_OK;
}

PlovStatus sfp_8472_decode_speed(const uint8_t code[2], uint32_t *speed)
{
    if (code == nullptr || speed == nullptr)
        return PLOV_ERR_NULL_PTR;
    if ((code[0] & 0xF0) != 0)
        *speed = 10000;
    else if ((code[1] & 0x0F) != 0)
        *speed = 1000;
    else
        *speed = 0;
    return PLOV_OK;
}

PlovStatus sfp_8472_decode_wavelength(const uint8_t code[2], uint8_t *cls)
{
    if (code == nullptr) {
        SFP8472_LOG_ERR("code is NULL!");
        return PLOV_ERR_NULL_PTR;
    }
    if (cls == nullptr) {
        SFP8472_LOG_ERR("speed is NULL!");
        return PLOV_ERR_NULL_PTR;
    }
    constexpr uint32_t kClasses[3] = {1310, 1550, 850};
    const uint32_t nm = code[0] * 256u + code[1];
    for (uint8_t c = 0; c < 3; c++) {
        if (kClasses[c] == nm) {
            *cls = c;
            return PLOV_OK;
        }
    }
    *cls = 3;
    return SFP_ERR_DECODE;
}

PlovStatus sfp_8472_decode_link_length(const uint8_t bytes[6], uint32_t *distance, uint8_t *medium)
{
    if (bytes == nullptr) {
        SFP8472_LOG_ERR("link_length is NULL!");
        return PLOV_ERR_NULL_PTR;
    }
    if (distance == nullptr) {
        SFP8472_LOG_ERR("distance is NULL!");
        return PLOV_ERR_NULL_PTR;
    }
    if (medium == nullptr) {
        SFP8472_LOG_ERR("medium is NULL!");
        return PLOV_ERR_NULL_PTR;
    }
    for (size_t i = 0; i < SFP_DISTANCE_ROWS; i++) {
        if (bytes[i] != 0) {
            *distance = bytes[i] * kLinkLength[i].metres;
            *medium = kLinkLength[i].medium;
            return PLOV_OK;
        }
    }
    SFP8472_LOG_ERR("Link_length of SFP parse error");
    return SFP_ERR_DECODE;
}

PlovStatus sfp_8472_decode_connector_type(uint8_t code, char *text, uint32_t size)
{
    const SfpConnType *row = find_connector(code);
    if (row != nullptr)
        return put_text(text, size, row->text);
    char undefined[16] = {};
    (void)snprintf_s(undefined, sizeof undefined, sizeof undefined - 1, "Undefined(%02x)", code);
    return put_text(text, size, undefined);
}

PlovStatus sfp_8472_decode_dev_type(const uint8_t id[2], char *text, uint32_t size)
{
    PlovStatus ret = put_text(text, size, "");
    if (ret != PLOV_OK || id == nullptr)
        return ret != PLOV_OK ? ret : PLOV_ERR_NULL_PTR;
    const bool sfp = (id[0] == 3 && id[1] == 4) || (id[0] == 0 && id[1] == 0);
    return put_text(text, size, sfp ? "SFP/SFP+" : "non-SFP/SFP+");
}
