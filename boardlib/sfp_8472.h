// Module memory decoder of SFP and SFP+ modules: field getters over pages
// A0h and A2h, and the decoders that turn a few fields into values and
// texts. Every module read goes through the caller's read callback.
#ifndef QUORBIX_BOARDLIB_SFP_8472_H
#define QUORBIX_BOARDLIB_SFP_8472_H

#include <cstddef>
#include <cstdint>

#include "boardlib/plov_status.h"

inline constexpr uint32_t SFP_PAGE_A0 = 0xA0;   // identity and capabilities
inline constexpr uint32_t SFP_PAGE_A2 = 0xA2;   // diagnostics
inline constexpr uint32_t SFP_DEV_PHY = 0xAC;   // copper PHY of an electrical module

inline constexpr PlovStatus SFP_ERR_NO_TEXT = -1200;   // no distance for the label
inline constexpr PlovStatus SFP_ERR_DECODE = -1350;    // unknown wavelength, no link length

// Reads `length` bytes at `offset` of page `dev` into `buf`: 0 or a
// negative status.
using SfpReadFn = PlovStatus (*)(uint8_t handle, uint32_t dev, uint32_t offset, uint32_t length, uint8_t *buf);

struct sfp_ops {
    uint8_t handle;   // passed to read unchanged (the port number)
    uint8_t pad[7];
    SfpReadFn read;
};
static_assert(sizeof(sfp_ops) == 16);
static_assert(offsetof(sfp_ops, handle) == 0 && offsetof(sfp_ops, read) == 8);

// Identity record filled from page A0h; each text is followed by a zero.
struct SfpInfo {
    char VendorName[17];
    char VendorPn[17];
    char VendorSn[17];
    char Date[9];
    uint8_t Identifier[2];
    uint8_t Connector;
    uint8_t LinkLength[6];
    uint8_t Compliance[2];   // bytes 3 and 6
    uint8_t Wavelength[2];   // high byte first
    uint8_t Zero[7];
};
static_assert(sizeof(SfpInfo) == 80);
static_assert(offsetof(SfpInfo, VendorPn) == 17 && offsetof(SfpInfo, VendorSn) == 34);
static_assert(offsetof(SfpInfo, Date) == 51 && offsetof(SfpInfo, Identifier) == 60);
static_assert(offsetof(SfpInfo, Connector) == 62 && offsetof(SfpInfo, LinkLength) == 63);
static_assert(offsetof(SfpInfo, Compliance) == 69 && offsetof(SfpInfo, Wavelength) == 71);
static_assert(offsetof(SfpInfo, Zero) == 73);

// Module type and medium of a link length.
inline constexpr uint8_t SFP_TYPE_OPTICAL = 0;
inline constexpr uint8_t SFP_TYPE_ELECTRICAL = 1;
inline constexpr uint8_t SFP_TYPE_UNKNOWN = 2;
inline constexpr uint8_t SFP_MEDIUM_SINGLE = 0;
inline constexpr uint8_t SFP_MEDIUM_MULTI = 1;
inline constexpr uint8_t SFP_MEDIUM_OTHER = 2;

struct SfpConnType {
    const char *text;
    uint8_t code;
    uint8_t kind;   // SFP_TYPE_OPTICAL or SFP_TYPE_ELECTRICAL
};
inline constexpr size_t SFP_CONN_TYPES = 15;
extern const SfpConnType g_stConnType[SFP_CONN_TYPES];

struct SfpDistanceRow {
    uint32_t kind;         // medium
    uint32_t multiplier;   // to the unit
    const char *unit;
    const char *core;
};
inline constexpr size_t SFP_DISTANCE_ROWS = 6;   // A0h bytes 14 to 19
extern const SfpDistanceRow SfpDistanceLabel[SFP_DISTANCE_ROWS];

// ---- getters: one field into out, the callback's status ---------------------------------

PlovStatus sfp_8472_get_identifier_id(const sfp_ops *ops, uint8_t *out);      // A0h 0, 2
PlovStatus sfp_8472_get_connector_type(const sfp_ops *ops, uint8_t *out);     // A0h 2, 1
PlovStatus sfp_8472_get_link_length(const sfp_ops *ops, uint8_t *out);        // A0h 14, 6
PlovStatus sfp_8472_get_vendor_name(const sfp_ops *ops, uint8_t *out);        // A0h 20, 16
PlovStatus sfp_8472_get_vendor_pn(const sfp_ops *ops, uint8_t *out);          // A0h 40, 16
PlovStatus sfp_8472_get_wavelength(const sfp_ops *ops, uint8_t *out);         // A0h 60, 2
PlovStatus sfp_8472_get_vendor_sn(const sfp_ops *ops, uint8_t *out);          // A0h 68, 16
PlovStatus sfp_8472_get_manufacture_date(const sfp_ops *ops, uint8_t *out);   // A0h 84, 8
PlovStatus sfp_8472_get_alarm_threshold(const sfp_ops *ops, uint8_t *out);    // A2h 0, 40
PlovStatus sfp_8472_get_diag_value(const sfp_ops *ops, uint8_t *out);         // A2h 96, 10
PlovStatus sfp_8472_get_trx_status(const sfp_ops *ops, uint8_t *out);         // A2h 110, 1
PlovStatus sfp_8472_get_alarm_stat(const sfp_ops *ops, uint8_t *out);         // A2h 112, 6
// out[0] = A0h byte 3, out[1] = A0h byte 6.
PlovStatus sfp_8472_get_ethernet_speed(const sfp_ops *ops, uint8_t *out);

PlovStatus sfp_8472_get_type(const sfp_ops *ops, uint8_t *type);
// A text naming the supported link lengths, at most size - 1 characters.
PlovStatus sfp_8472_get_redistance_elabel(const sfp_ops *ops, char *label, uint32_t size);

// ---- decoders -------------------------------------------------------------------------

PlovStatus sfp_8472_decode_speed(const uint8_t code[2], uint32_t *speed);   // Mb/s
// 0 for 1310 nm, 1 for 1550, 2 for 850, 3 (and -1350) otherwise.
PlovStatus sfp_8472_decode_wavelength(const uint8_t code[2], uint8_t *cls);
PlovStatus sfp_8472_decode_link_length(const uint8_t bytes[6], uint32_t *distance, uint8_t *medium);
PlovStatus sfp_8472_decode_connector_type(uint8_t code, char *text, uint32_t size);
PlovStatus sfp_8472_decode_dev_type(const uint8_t id[2], char *text, uint32_t size);

#endif
