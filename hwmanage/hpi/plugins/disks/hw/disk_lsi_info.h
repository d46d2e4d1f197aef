// SAS controller plugin, lowest layer: controller discovery and every MPI
// message to a controller through the MPT control device "/dev/mpt2ctl".
//
// The control device stays open from discovery to the release at the end of
// the command. Failure lines go to standard output with the plugin prefix
// "<DEVM_PLUGIN_NAME>path:line ".
#ifndef QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_LSI_INFO_H
#define QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_LSI_INFO_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// Every failure line of the plugin: the prefix, the plugin's source path and line.
inline constexpr const char *kLsiSourcePath = "../../code/hwmanage/hpi/plugins/disks/hw/disk_lsi_info";
#define LSI_PRINT(fmt, ...) \
    std::printf("<DEVM_PLUGIN_NAME>%s:%d " fmt, kLsiSourcePath, __LINE__ __VA_OPT__(, ) __VA_ARGS__)

// ---- status codes --------------------------------------------------------------------

inline constexpr int LSI_ERR_NULL = -16005;
inline constexpr int LSI_ERR_PARAM = -16003;
inline constexpr int LSI_ERR_ALLOC = -3003;
inline constexpr int LSI_ERR_NO_DEVICE = -3008;
inline constexpr int LSI_ERR_TEXT = -3022;
inline constexpr int LSI_ERR_BUSY = -3023;
inline constexpr int LSI_ERR_EMPTY_EXT_PAGE = -3024;
inline constexpr int LSI_ERR_EMPTY_PAGE = -3025;
inline constexpr int LSI_ERR_READ_ONLY = -3026;
inline constexpr int LSI_ERR_NO_ONBOARD = -3027;
inline constexpr int LSI_ERR_IOCINFO = -3029;
inline constexpr int LSI_ERR_READLINK = -3033;

inline constexpr uint16_t MPI_VERSION_2 = 0x200;
inline constexpr uint32_t LSI_MAX_CONTROLLERS = 64;
inline constexpr uint32_t LSI_MAX_PHYS = 8;
inline constexpr const char *LSI_ONBOARD_ROOT_PORT = "0000:00:01.0";

// ---- records ----------------------------------------------------------------------------

struct MpiController {
    int32_t descriptor;
    uint8_t iocNumber;
    uint8_t whoInit;
    uint8_t phyCount;
    uint16_t vendorId;
    uint16_t deviceId;
    uint8_t revisionId;
    uint8_t portType;
    uint16_t productId;
    uint32_t iocCapabilities;
    uint32_t pciSegment;
    uint32_t pciBus;
    uint32_t pciDevice;
    uint32_t pciFunction;
    uint16_t mpiVersion;
    uint32_t firmwareVersion;
    uint32_t biosVersion;
    uint32_t ioUnitWord;
    uint64_t iocSasAddress;
    char driverVersion[32];
    const char *chipName;
    const char *revisionName;
    const char *busType;
    const char *portKindName;
};

struct MpiControllerList {
    int32_t descriptor;
    uint32_t count;
    MpiController controllers[LSI_MAX_CONTROLLERS];
};

// One PHY: negotiated link rate code and its four error counters.
struct MpiPhyErr {
    uint8_t rate;
    uint32_t invalidDword;
    uint32_t runningDisparity;
    uint32_t lossDwordSync;
    uint32_t phyResetProblem;
};

struct MpiPhyCounters {
    uint32_t count;
    MpiPhyErr phys[LSI_MAX_PHYS];
};

// A configuration page as the controller returned it: `length` bytes of
// `bytes` are the page; nothing past them is read.
struct MpiPage {
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t length = 0;
    bool extended = false;
};

// Read a little-endian field of a page; false (and `out` untouched) when the
// field does not lie inside the returned length.
bool mpi_page_u8(const MpiPage &page, size_t offset, uint8_t &out);
bool mpi_page_u16(const MpiPage &page, size_t offset, uint16_t &out);
bool mpi_page_u32(const MpiPage &page, size_t offset, uint32_t &out);
bool mpi_page_u64(const MpiPage &page, size_t offset, uint64_t &out);
// Whether `size` bytes at `offset` lie inside the page.
bool mpi_page_has(const MpiPage &page, size_t offset, size_t size);
// The status of a page too short for a field: -3024 extended, -3025 standard.
int mpi_page_short(const MpiPage &page);

// ---- discovery ------------------------------------------------------------------------------

int collectLsiControllerInfo(MpiControllerList *list);
int findMpiController(const char *root, MpiController *controller);
int releaseLsiController(MpiControllerList *list);
int closeMpiController(MpiController *controller);
int getIocInfo(MpiController *controller);
void getChipName(MpiController *controller);
int check_is_onboard_ioc(uint32_t bus, uint32_t devfn, const char *root);
int get_lsi_device_path(uint32_t bus, uint32_t devfn, char *out, size_t size);
int get_lsi_device_status(const char *name);

// ---- commands --------------------------------------------------------------------------------

int doMptCommand(MpiController *controller, const void *request, uint32_t requestLength, void *reply,
                 uint32_t replySize, void *dataIn, uint32_t inSize, const void *dataOut, uint32_t outSize,
                 uint32_t timeout);
int doMptCommandCheck(MpiController *controller, const void *request, uint32_t requestLength, void *reply,
                      uint32_t replySize, void *dataIn, uint32_t inSize, const void *dataOut, uint32_t outSize,
                      uint32_t timeout);
int getIocFacts2(MpiController *controller);
int getPortFacts2(MpiController *controller);

// ---- configuration pages -------------------------------------------------------------------------
// A page type above 15 is an extended page type. Action 0xFF means read
// current (get) or write current (set).

struct MpiConfigReply;
int getConfigPageHeader(MpiController *controller, uint32_t type, uint32_t number, uint32_t address,
                        MpiConfigReply *header);
int getConfigPageAction(MpiController *controller, uint32_t action, uint32_t type, uint32_t number,
                        uint32_t address, MpiPage *page);
int getConfigPage(MpiController *controller, uint32_t type, uint32_t number, uint32_t address, MpiPage *page);
int setConfigPageAction(MpiController *controller, uint32_t action, uint32_t type, uint32_t number,
                        uint32_t address, const uint8_t *buffer, uint32_t length);
int setConfigPage(MpiController *controller, uint32_t type, uint32_t number, uint32_t address,
                  const uint8_t *buffer, uint32_t length);

// ---- controller facts from pages ---------------------------------------------------------------------

int getIocSasAddress(MpiController *controller, uint64_t *out);
int getIocPhysCounters(MpiController *controller, MpiPhyCounters *out);
int getIocPhyErrs(MpiController *controller, uint32_t phy, MpiPhyErr *out);

// ---- bus/target/handle mapping -------------------------------------------------------------------------

int mapBTDH(MpiController *controller, uint32_t *bus, uint32_t *target, uint16_t *handle);
int mapBusTargetToDevHandle(MpiController *controller, uint32_t bus, uint32_t target, uint16_t *handle);
int mapDevHandleToBusTarget(MpiController *controller, uint16_t handle, uint32_t *bus, uint32_t *target);

// ---- RAID actions, LED, firmware upload ------------------------------------------------------------------

int doModifyRaidDiskStatus(MpiController *controller, uint8_t physDiskNum, uint8_t action);
int getRaidResyncStatus(MpiController *controller, uint16_t volumeHandle, uint8_t *percent);
int setDiskAlarmLed(MpiController *controller, bool on, int index);
int doFwUpload(MpiController *controller, uint8_t imageType, uint8_t *buffer, uint32_t size, uint32_t offset,
               uint32_t *actualSize);
int checkLsiFlash(MpiController *controller, uint8_t *result);

#endif
