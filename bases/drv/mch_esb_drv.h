// The chipset driver node "/dev/mch_esb_dev": one configuration access per
// write of the 32-byte request record; a read request comes back with the
// register value in the same record.
#ifndef QUORBIX_BASES_DRV_MCH_ESB_DRV_H
#define QUORBIX_BASES_DRV_MCH_ESB_DRV_H

#include <cstddef>
#include <cstdint>

inline constexpr const char *TVK_DRV_NODE = "/dev/mch_esb_dev";

inline constexpr uint16_t TVK_DRV_OP_READ = 1;
inline constexpr uint16_t TVK_DRV_OP_WRITE = 2;

// Little-endian on the wire, as the host lays it out. Unlisted bytes are 0.
struct tvk_drv_request {
    uint16_t usBus;        // bus number
    uint16_t usDevice;     // devfn >> 3
    uint16_t usFunction;   // devfn & 7
    uint8_t ucReserved0;
    uint8_t ucWidth;       // 1, 2 or 4 bytes
    uint32_t ulRegister;   // configuration offset
    uint32_t ulValue;      // write: the value masked to the width; read: filled by the driver
    uint8_t aucReserved1[8];
    uint16_t usOperation;  // TVK_DRV_OP_READ or TVK_DRV_OP_WRITE
    uint8_t aucReserved2[6];
};
static_assert(sizeof(tvk_drv_request) == 32);
static_assert(offsetof(tvk_drv_request, usBus) == 0 && offsetof(tvk_drv_request, usDevice) == 2);
static_assert(offsetof(tvk_drv_request, usFunction) == 4 && offsetof(tvk_drv_request, ucReserved0) == 6);
static_assert(offsetof(tvk_drv_request, ucWidth) == 7 && offsetof(tvk_drv_request, ulRegister) == 8);
static_assert(offsetof(tvk_drv_request, ulValue) == 12 && offsetof(tvk_drv_request, aucReserved1) == 16);
static_assert(offsetof(tvk_drv_request, usOperation) == 24 && offsetof(tvk_drv_request, aucReserved2) == 26);

#endif
