#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_info.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string_view>

#include "bases/drv/mpt_drv.h"
#include "bases/host/host.h"
#include "kelvo/kelvo.h"

namespace {

constexpr const char *kPciDevices = "/sys/bus/pci/devices";
constexpr uint32_t kFactsTimeout = 10;
constexpr uint32_t kConfigTimeout = 10;
constexpr uint32_t kRaidTimeout = 10;
constexpr uint32_t kUploadTimeout = 120;
constexpr uint32_t kFlashCheckSize = 64 * 1024;
constexpr uint8_t kConfigActionDefault = 0xFF;

// ---- chip table ----------------------------------------------------------------------------------

struct ChipRev {
    uint8_t id;
    const char *name;
};

struct ChipRow {
    uint16_t deviceId;
    uint8_t phys;
    const char *chip;
    const char *bus;
    uint8_t revCount;
    std::array<ChipRev, 6> revs;
};

constexpr std::array<ChipRev, 6> kRev1064{{{0, "A1"}, {1, "A2"}, {2, "A3"}, {3, "A4"}}};
constexpr std::array<ChipRev, 6> kRev1064E{{{0, "A0"}, {1, "B0"}, {2, "B1"}, {4, "B2"}, {8, "B3"}, {16, "C0"}}};
constexpr std::array<ChipRev, 6> kRev1078{{{0, "A0"}, {1, "B0"}, {2, "C0"}, {3, "C1"}, {4, "C2"}}};
constexpr std::array<ChipRev, 6> kRev2008{{{0, "A0"}, {1, "B0"}, {2, "B1"}, {3, "B2"}}};
constexpr std::array<ChipRev, 6> kRev2208{{{0, "A0"}, {1, "B0"}}};
constexpr std::array<ChipRev, 6> kRev2308{{{0, "A0"}, {1, "B0"}, {2, "C0"}}};

constexpr ChipRow StringChipName[] = {
    {0x0050, 4, "SAS1064", "PCI-X", 4, kRev1064},  {0x0056, 4, "SAS1064E", "PCI-E", 6, kRev1064E},
    {0x0062, 8, "SAS1078", "PCI-E", 5, kRev1078},  {0x0072, 8, "SAS2008", "PCI-E", 4, kRev2008},
    {0x0080, 8, "SAS2208", "PCI-E", 2, kRev2208},  {0x0081, 8, "SAS2208", "PCI-E", 2, kRev2208},
    {0x0082, 8, "SAS2208", "PCI-E", 2, kRev2208},  {0x0083, 8, "SAS2208", "PCI-E", 2, kRev2208},
    {0x0084, 8, "SAS2208", "PCI-E", 2, kRev2208},  {0x0085, 8, "SAS2208", "PCI-E", 2, kRev2208},
    {0x0086, 8, "SAS2308", "PCI-E", 3, kRev2308},  {0x0087, 8, "SAS2308", "PCI-E", 3, kRev2308},
    {0x006E, 8, "SAS2308", "PCI-E", 3, kRev2308},
};
static_assert(std::size(StringChipName) == 13);

// Port kinds by product id bits 15-12.
constexpr const char *kPortKinds[] = {"SCSI", "FC", "SAS"};

bool is_mpi2(const MpiController *c) { return c->mpiVersion >= MPI_VERSION_2; }

// ---- small helpers -----------------------------------------------------------------------------------

void zero(void *p, size_t n)
{
    KelvoErr ret = memset_s(p, n, 0, n);
    if (ret != KelvoOk)
        LSI_PRINT("memset_s err ret = %d.\n", ret);
}

void copy(void *dest, size_t destMax, const void *src, size_t n)
{
    KelvoErr ret = memcpy_s(dest, destMax, src, n);
    if (ret != KelvoOk)
        LSI_PRINT("memcpy_s err ret = %d.\n", ret);
}

template <typename T> T load_le(const uint8_t *p)
{
    T v{};
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T> bool page_get(const MpiPage &page, size_t offset, T &out)
{
    if (!mpi_page_has(page, offset, sizeof(T)))
        return false;
    out = load_le<T>(page.bytes.get() + offset);
    return true;
}

// The IOCStatus of a reply, log-info flag removed.
uint16_t reply_status(const void *reply) { return static_cast<const MpiReplyHead *>(reply)->iocStatus & MPI_IOCSTATUS_MASK; }

// Status of a command whose reply must carry IOCStatus 0: the transport
// result, else the IOCStatus.
int command_status(int ret, const void *reply) { return ret != 0 ? ret : reply_status(reply); }

// Functions whose reply buffer carries sense data behind the reply.
bool carries_sense(uint8_t function)
{
    return function == MPI_FUNCTION_SCSI_IO || function == MPI_FUNCTION_RAID_SCSI_IO_PASSTHROUGH ||
           function == MPI_FUNCTION_SCSI_1F;
}

int open_control_device()
{
    int fd = host_open(MPT_CTL_NODE, O_RDWR);
    if (fd < 0) {
        int err = errno;
        LSI_PRINT("Couldn't open /dev/mpt2ctl, (errno=%d, %s)\n", err, std::strerror(err));
        return LSI_ERR_NO_DEVICE;
    }
    return fd;
}

bool probe_ioc(int fd, uint32_t ioc)
{
    MptEventQuery query;
    zero(&query, sizeof query);
    query.hdr.iocNumber = ioc;
    query.hdr.maxDataSize = sizeof query;
    return host_ioctl(fd, MPT_IOC_EVENT_QUERY, &query) == 0;
}

void start_record(MpiController *c, int fd, uint32_t ioc)
{
    zero(c, sizeof *c);
    c->descriptor = fd;
    c->iocNumber = static_cast<uint8_t>(ioc);
    c->mpiVersion = MPI_VERSION_2;
}

int close_descriptor(int32_t &fd)
{
    if (fd != -1)
        host().close(fd);
    fd = -1;
    return 0;
}

} // namespace

// ---- page view ---------------------------------------------------------------------------------------------

bool mpi_page_has(const MpiPage &page, size_t offset, size_t size)
{
    return page.bytes != nullptr && offset <= page.length && size <= page.length - offset;
}

bool mpi_page_u8(const MpiPage &page, size_t offset, uint8_t &out) { return page_get(page, offset, out); }
bool mpi_page_u16(const MpiPage &page, size_t offset, uint16_t &out) { return page_get(page, offset, out); }
bool mpi_page_u32(const MpiPage &page, size_t offset, uint32_t &out) { return page_get(page, offset, out); }
bool mpi_page_u64(const MpiPage &page, size_t offset, uint64_t &out) { return page_get(page, offset, out); }
int mpi_page_short(const MpiPage &page) { return page.extended ? LSI_ERR_EMPTY_EXT_PAGE : LSI_ERR_EMPTY_PAGE; }

// ---- discovery -----------------------------------------------------------------------------------------------

int collectLsiControllerInfo(MpiControllerList *list)
{
    if (list == nullptr)
        return LSI_ERR_NULL;
    int fd = open_control_device();
    if (fd < 0)
        return fd;
    list->descriptor = fd;
    list->count = 0;
    for (uint32_t ioc = 0; ioc < MPT_MAX_IOC; ioc++) {
        if (!probe_ioc(fd, ioc))
            continue;
        MpiController *c = &list->controllers[list->count++];
        start_record(c, fd, ioc);
        int ret = getIocInfo(c);
        if (ret != 0)
            LSI_PRINT("getIocInfo failed, (ucIndex=%d,iRet=%d)\n", static_cast<int>(ioc), ret);
    }
    return 0;
}

int findMpiController(const char *root, MpiController *controller)
{
    if (root == nullptr || controller == nullptr)
        return LSI_ERR_NULL;
    int fd = open_control_device();
    if (fd < 0)
        return fd;
    for (uint32_t ioc = 0; ioc < MPT_MAX_IOC; ioc++) {
        if (!probe_ioc(fd, ioc))
            continue;
        MpiController c;
        start_record(&c, fd, ioc);
        if (getIocInfo(&c) != 0)
            continue;
        uint32_t devfn = (c.pciDevice << 3) | c.pciFunction;
        if (check_is_onboard_ioc(c.pciBus, devfn, root) == 0) {
            *controller = c;
            return 0;
        }
    }
    host().close(fd);
    return LSI_ERR_NO_ONBOARD;
}

int releaseLsiController(MpiControllerList *list)
{
    return list == nullptr ? LSI_ERR_NULL : close_descriptor(list->descriptor);
}

int closeMpiController(MpiController *controller)
{
    return controller == nullptr ? LSI_ERR_NULL : close_descriptor(controller->descriptor);
}

int getIocInfo(MpiController *c)
{
    if (c == nullptr)
        return LSI_ERR_NULL;
    MptIocInfo info;
    zero(&info, sizeof info);
    info.hdr.iocNumber = c->iocNumber;
    info.hdr.maxDataSize = sizeof info;
    if (host_ioctl(c->descriptor, MPT_IOC_IOCINFO, &info) != 0) {
        int err = errno;
        LSI_PRINT("ioctl failed! errno=%d(%s)\n", err, std::strerror(err));
        return LSI_ERR_IOCINFO;
    }
    c->pciSegment = info.pciSegment;
    c->pciBus = info.pciLocation >> 8;
    c->pciDevice = info.pciLocation & 0x1F;
    c->pciFunction = (info.pciLocation >> 5) & 0x7;
    c->firmwareVersion = info.firmwareVersion;
    c->biosVersion = info.biosVersion;
    char text[sizeof info.driverVersion + 1] = {};
    copy(text, sizeof text, info.driverVersion, sizeof info.driverVersion);
    KelvoErr ret = strncpy_s(c->driverVersion, sizeof c->driverVersion, text, sizeof c->driverVersion - 1);
    if (ret != KelvoOk)
        LSI_PRINT("memcpy_s err ret = %d.\n", ret);

    int status = getIocFacts2(c);
    if (status != 0)
        return status;
    getPortFacts2(c);  // a controller without port facts is still served

    MpiPage page;
    if ((status = getConfigPage(c, MPI_PAGETYPE_IO_UNIT, 0, 0, &page)) != 0)
        return status;
    if (!mpi_page_u32(page, 12, c->ioUnitWord))
        return mpi_page_short(page);

    if ((status = getConfigPage(c, MPI_PAGETYPE_IOC, 0, 0, &page)) != 0)
        return status;
    if (!mpi_page_u16(page, 12, c->vendorId) || !mpi_page_u16(page, 14, c->deviceId) ||
        !mpi_page_u8(page, 16, c->revisionId))
        return mpi_page_short(page);

    getIocSasAddress(c, &c->iocSasAddress);  // an address that cannot be read stays 0
    getChipName(c);
    return 0;
}

void getChipName(MpiController *c)
{
    if (c == nullptr)
        return;
    c->phyCount = 0;
    c->chipName = "xxxx";
    c->busType = "xxxx";
    c->revisionName = "";
    for (const ChipRow &row : StringChipName) {
        if (row.deviceId != c->deviceId)
            continue;
        c->phyCount = row.phys;
        c->chipName = row.chip;
        c->busType = row.bus;
        for (uint8_t i = 0; i < row.revCount; i++)
            if (row.revs[i].id == c->revisionId)
                c->revisionName = row.revs[i].name;
        break;
    }
    unsigned kind = c->productId >> 12;
    c->portKindName = kind < std::size(kPortKinds) ? kPortKinds[kind] : "";
}

int check_is_onboard_ioc(uint32_t bus, uint32_t devfn, const char *root)
{
    if (root == nullptr)
        return LSI_ERR_NULL;
    char path[256] = {};
    int ret = get_lsi_device_path(bus, devfn, path, sizeof path);
    if (ret != 0) {
        LSI_PRINT("Cannot get resource file path, iRet=%d\n", ret);
        return ret;
    }
    char link[256] = {};
    ssize_t n = host().readlink(path, link, sizeof link - 1);
    if (n < 0) {
        LSI_PRINT("readlink(%s) return(%d)\n", path, static_cast<int>(n));
        return LSI_ERR_READLINK;
    }
    return std::strstr(link, root) != nullptr ? 0 : LSI_ERR_NO_ONBOARD;
}

int get_lsi_device_path(uint32_t bus, uint32_t devfn, char *out, size_t size)
{
    if (out == nullptr)
        return LSI_ERR_NULL;
    struct stat st;
    unsigned dev = (devfn >> 3) & 0x1F, fn = devfn & 0x7;
    if (snprintf_s(out, size, size - 1, "%s/%02x:%02x.%d", kPciDevices, bus, dev, static_cast<int>(fn)) < 0)
        return LSI_ERR_TEXT;
    if (host().lstat(out, &st) == 0)
        return 0;
    if (snprintf_s(out, size, size - 1, "%s/%04x:%02x:%02x.%d", kPciDevices, 0u, bus, dev, static_cast<int>(fn)) < 0)
        return LSI_ERR_TEXT;
    return host().lstat(out, &st) == 0 ? 0 : LSI_ERR_NO_DEVICE;
}

int get_lsi_device_status(const char *name)
{
    if (name == nullptr)
        return LSI_ERR_NULL;
    char path[256] = {};
    if (snprintf_s(path, sizeof path, sizeof path - 1, "%s/%s", kPciDevices, name) < 0)
        return LSI_ERR_TEXT;
    struct stat st;
    return host().lstat(path, &st) == 0 ? 0 : LSI_ERR_NO_DEVICE;
}

// ---- commands -------------------------------------------------------------------------------------------------

int doMptCommand(MpiController *c, const void *request, uint32_t requestLength, void *reply, uint32_t replySize,
                 void *dataIn, uint32_t inSize, const void *dataOut, uint32_t outSize, uint32_t timeout)
{
    if (c == nullptr || request == nullptr || reply == nullptr || (dataIn == nullptr && inSize != 0) ||
        (dataOut == nullptr && outSize != 0))
        return LSI_ERR_NULL;
    uint32_t maxReply = replySize, maxSense = 0;
    uint8_t *sense = nullptr;
    if (requestLength > 3 && carries_sense(static_cast<const uint8_t *>(request)[3])) {
        uint32_t split = is_mpi2(c) ? MPI2_SCSI_REPLY_SIZE : MPI1_SCSI_REPLY_SIZE;
        if (replySize < split)
            return LSI_ERR_NULL;  // no room for the reply in front of the sense data
        maxReply = split;
        maxSense = replySize - split;
        sense = static_cast<uint8_t *>(reply) + split;
    }
    size_t size = requestLength == 0 ? sizeof(MptCommand) : size_t{requestLength} + sizeof(MptCommand) - 1;
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size]());
    if (block == nullptr)
        return LSI_ERR_ALLOC;
    MptCommand cmd;
    zero(&cmd, sizeof cmd);
    cmd.hdr.iocNumber = c->iocNumber;
    cmd.hdr.maxDataSize = static_cast<uint32_t>(size);
    cmd.timeout = timeout;
    cmd.replyBuf = reinterpret_cast<uintptr_t>(reply);
    cmd.dataInBuf = reinterpret_cast<uintptr_t>(dataIn);
    cmd.dataOutBuf = reinterpret_cast<uintptr_t>(dataOut);
    cmd.senseBuf = reinterpret_cast<uintptr_t>(sense);
    cmd.maxReplyBytes = maxReply;
    cmd.dataInSize = inSize;
    cmd.dataOutSize = outSize;
    cmd.maxSenseBytes = maxSense;
    cmd.dataSgeOffset = requestLength / 4;
    copy(block.get(), size, &cmd, MPT_COMMAND_FRAME_OFFSET);
    copy(block.get() + MPT_COMMAND_FRAME_OFFSET, size - MPT_COMMAND_FRAME_OFFSET, request, requestLength);
    unsigned long number = is_mpi2(c) ? MPT_IOC_COMMAND : MPT_IOC_COMMAND_MPI1;
    int ret = host_ioctl(c->descriptor, number, block.get());
    if (ret < 0) {
        int err = errno;
        LSI_PRINT("ioctl fail, errno:%d(%s)\n", err, std::strerror(err));
    }
    return ret == 0 ? 0 : -1;
}

int doMptCommandCheck(MpiController *c, const void *request, uint32_t requestLength, void *reply, uint32_t replySize,
                      void *dataIn, uint32_t inSize, const void *dataOut, uint32_t outSize, uint32_t timeout)
{
    int ret = doMptCommand(c, request, requestLength, reply, replySize, dataIn, inSize, dataOut, outSize, timeout);
    if (ret != 0 || replySize < sizeof(MpiReplyHead))
        return ret;
    const auto *head = static_cast<const MpiReplyHead *>(reply);
    uint16_t status = head->iocStatus & MPI_IOCSTATUS_MASK;
    if (status != 0 && (head->iocStatus & MPI_IOCSTATUS_LOG_INFO_AVAILABLE) != 0)
        LSI_PRINT("Command failed with IOCStatus = 0x%04x, IOCLogInfo = 0x%08x\n\n", status, head->iocLogInfo);
    else if (status != 0)
        LSI_PRINT("Command failed with IOCStatus = 0x%04x\n\n", status);
    if (head->function == MPI_FUNCTION_RAID_ACTION && head->iocLogInfo != 0)
        LSI_PRINT("RAID ACTION returned IOCLogInfo = 0x%08x\n\n", head->iocLogInfo);
    return ret;
}

int getIocFacts2(MpiController *c)
{
    if (c == nullptr)
        return LSI_ERR_NULL;
    MpiRequestHead req{};
    req.function = MPI_FUNCTION_IOC_FACTS;
    MpiIocFactsReply reply{};
    int ret = doMptCommand(c, &req, sizeof req, &reply, sizeof reply, nullptr, 0, nullptr, 0, kFactsTimeout);
    if ((ret = command_status(ret, &reply)) != 0)
        return ret;
    c->mpiVersion = reply.msgVersion;
    c->whoInit = reply.whoInit;
    c->productId = reply.productId;
    c->iocCapabilities = reply.iocCapabilities;
    return 0;
}

int getPortFacts2(MpiController *c)
{
    if (c == nullptr)
        return LSI_ERR_NULL;
    MpiRequestHead req{};
    req.function = MPI_FUNCTION_PORT_FACTS;
    MpiPortFactsReply reply{};
    int ret = doMptCommand(c, &req, sizeof req, &reply, sizeof reply, nullptr, 0, nullptr, 0, kFactsTimeout);
    if ((ret = command_status(ret, &reply)) != 0)
        return ret;
    c->portType = reply.portType;
    return 0;
}

// ---- configuration pages --------------------------------------------------------------------------------------

namespace {

// One CONFIG request, sent again once when the controller is busy.
int doConfigPageRequest(MpiController *c, const MpiConfigRequest &req, MpiConfigReply &reply, void *dataIn,
                        uint32_t inSize, const void *dataOut, uint32_t outSize)
{
    for (int attempt = 0; attempt < 2; attempt++) {
        reply = MpiConfigReply{};
        int ret = doMptCommand(c, &req, sizeof req, &reply, sizeof reply, dataIn, inSize, dataOut, outSize,
                               kConfigTimeout);
        if (ret != 0)
            return ret;
        uint16_t status = reply.iocStatus & MPI_IOCSTATUS_MASK;
        if (status != MPI_IOCSTATUS_BUSY)
            return status;
    }
    return LSI_ERR_BUSY;
}

MpiConfigRequest config_request(uint8_t action, uint32_t type, uint32_t number, uint32_t address)
{
    MpiConfigRequest req{};
    req.action = action;
    req.function = MPI_FUNCTION_CONFIG;
    req.header.pageNumber = static_cast<uint8_t>(number);
    req.header.pageType = type > MPI_PAGETYPE_EXTENDED ? MPI_PAGETYPE_EXTENDED : static_cast<uint8_t>(type);
    req.extPageType = type > MPI_PAGETYPE_EXTENDED ? static_cast<uint8_t>(type) : 0;
    req.pageAddress = address;
    return req;
}

// The request that reads or writes a page, from the header's reply.
MpiConfigRequest page_request(uint8_t action, const MpiConfigReply &header, uint32_t address)
{
    MpiConfigRequest req{};
    req.action = action;
    req.function = MPI_FUNCTION_CONFIG;
    req.header = header.header;
    req.extPageLength = header.extPageLength;
    req.extPageType = header.extPageType;
    req.pageAddress = address;
    return req;
}

uint32_t page_bytes(const MpiConfigReply &reply, bool extended)
{
    return 4u * (extended ? uint32_t{reply.extPageLength} : uint32_t{reply.header.pageLength});
}

} // namespace

int getConfigPageHeader(MpiController *c, uint32_t type, uint32_t number, uint32_t address, MpiConfigReply *header)
{
    if (c == nullptr || header == nullptr)
        return LSI_ERR_NULL;
    MpiConfigRequest req = config_request(MPI_CONFIG_ACTION_HEADER, type, number, address);
    return doConfigPageRequest(c, req, *header, nullptr, 0, nullptr, 0);
}

int getConfigPageAction(MpiController *c, uint32_t action, uint32_t type, uint32_t number, uint32_t address,
                        MpiPage *page)
{
    if (c == nullptr || page == nullptr)
        return LSI_ERR_NULL;
    *page = MpiPage{};
    page->extended = type > MPI_PAGETYPE_EXTENDED;
    MpiConfigReply header;
    int ret = getConfigPageHeader(c, type, number, address, &header);
    if (ret != 0)
        return ret;
    uint32_t size = page_bytes(header, page->extended);
    if (size == 0)
        return mpi_page_short(*page);
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size]());
    if (bytes == nullptr)
        return LSI_ERR_ALLOC;
    uint8_t act = action == kConfigActionDefault ? MPI_CONFIG_ACTION_READ_CURRENT : static_cast<uint8_t>(action);
    MpiConfigReply reply;
    ret = doConfigPageRequest(c, page_request(act, header, address), reply, bytes.get(), size, nullptr, 0);
    if (ret != 0)
        return ret;
    uint32_t returned = page_bytes(reply, page->extended);
    if (returned == 0)
        return mpi_page_short(*page);
    page->bytes = std::move(bytes);
    page->length = returned < size ? returned : size;
    return 0;
}

int getConfigPage(MpiController *c, uint32_t type, uint32_t number, uint32_t address, MpiPage *page)
{
    return getConfigPageAction(c, kConfigActionDefault, type, number, address, page);
}

int setConfigPageAction(MpiController *c, uint32_t action, uint32_t type, uint32_t number, uint32_t address,
                        const uint8_t *buffer, uint32_t length)
{
    if (c == nullptr || buffer == nullptr)
        return LSI_ERR_NULL;
    MpiConfigReply header;
    int ret = getConfigPageHeader(c, type, number, address, &header);
    if (ret != 0)
        return ret;
    if (header.header.pageType < MPI_PAGEATTR_CHANGEABLE)
        return LSI_ERR_READ_ONLY;
    uint8_t act = action == kConfigActionDefault ? MPI_CONFIG_ACTION_WRITE_CURRENT : static_cast<uint8_t>(action);
    MpiConfigReply reply;
    return doConfigPageRequest(c, page_request(act, header, address), reply, nullptr, 0, buffer, length);
}

int setConfigPage(MpiController *c, uint32_t type, uint32_t number, uint32_t address, const uint8_t *buffer,
                  uint32_t length)
{
    return setConfigPageAction(c, kConfigActionDefault, type, number, address, buffer, length);
}

// ---- controller facts from pages ----------------------------------------------------------------------------------

int getIocSasAddress(MpiController *c, uint64_t *out)
{
    if (c == nullptr || out == nullptr)
        return LSI_ERR_NULL;
    MpiPage page;
    int ret = getConfigPage(c, MPI_PAGETYPE_MANUFACTURING, 5, 0, &page);
    if (ret != 0)
        return ret;
    uint32_t lo = 0, hi = 0;
    size_t at = is_mpi2(c) ? 16 : 4;
    if (!mpi_page_u32(page, at, lo) || !mpi_page_u32(page, at + 4, hi))
        return mpi_page_short(page);
    *out = uint64_t{hi} << 32 | lo;
    return 0;
}

namespace {

// SAS IO unit page 0: the PHY count cut to the entries that fit, and the
// link rate of PHY i.
struct IoUnitPhys {
    MpiPage page;
    uint32_t count = 0;
};

int read_io_unit_phys(MpiController *c, IoUnitPhys &phys)
{
    int ret = getConfigPage(c, MPI_EXTPAGE_SAS_IO_UNIT, 0, 0, &phys.page);
    if (ret != 0)
        return ret;
    uint8_t count = 0;
    if (!mpi_page_u8(phys.page, 12, count))
        return mpi_page_short(phys.page);
    size_t stride = is_mpi2(c) ? 20 : 16;
    phys.count = count < LSI_MAX_PHYS ? count : LSI_MAX_PHYS;
    while (phys.count > 0 && !mpi_page_has(phys.page, 19 + stride * (phys.count - 1), 1))
        phys.count--;
    return 0;
}

uint8_t phy_rate(const MpiController *c, const IoUnitPhys &phys, uint32_t i)
{
    uint8_t b = 0;
    mpi_page_u8(phys.page, 19 + (is_mpi2(c) ? 20 : 16) * size_t{i}, b);
    return is_mpi2(c) ? static_cast<uint8_t>(b >> 4) : static_cast<uint8_t>(b & 0xF);
}

// SAS PHY page 1 counters; zeros when the page cannot be read.
int read_phy_counters(MpiController *c, uint32_t phy, MpiPhyErr &out)
{
    out.invalidDword = out.runningDisparity = out.lossDwordSync = out.phyResetProblem = 0;
    MpiPage page;
    int ret = getConfigPage(c, MPI_EXTPAGE_SAS_PHY, 1, phy, &page);
    if (ret != 0)
        return ret;
    if (!mpi_page_has(page, 12, 16))
        return mpi_page_short(page);
    mpi_page_u32(page, 12, out.invalidDword);
    mpi_page_u32(page, 16, out.runningDisparity);
    mpi_page_u32(page, 20, out.lossDwordSync);
    mpi_page_u32(page, 24, out.phyResetProblem);
    return 0;
}

} // namespace

int getIocPhysCounters(MpiController *c, MpiPhyCounters *out)
{
    if (c == nullptr || out == nullptr)
        return LSI_ERR_NULL;
    zero(out, sizeof *out);
    IoUnitPhys phys;
    int ret = read_io_unit_phys(c, phys);
    if (ret != 0)
        return ret;
    out->count = phys.count;
    for (uint32_t i = 0; i < phys.count; i++) {
        out->phys[i].rate = phy_rate(c, phys, i);
        read_phy_counters(c, i, out->phys[i]);
    }
    return 0;
}

int getIocPhyErrs(MpiController *c, uint32_t phy, MpiPhyErr *out)
{
    if (c == nullptr || out == nullptr)
        return LSI_ERR_NULL;
    IoUnitPhys phys;
    int ret = read_io_unit_phys(c, phys);
    if (ret != 0 || phy >= phys.count)
        return ret;
    out->rate = phy_rate(c, phys, phy);
    return read_phy_counters(c, phy, *out);
}

// ---- mapping -----------------------------------------------------------------------------------------------------------

int mapBTDH(MpiController *c, uint32_t *bus, uint32_t *target, uint16_t *handle)
{
    if (c == nullptr || bus == nullptr || target == nullptr || handle == nullptr)
        return LSI_ERR_NULL;
    MptBtdhMapping map;
    zero(&map, sizeof map);
    map.hdr.iocNumber = c->iocNumber;
    map.hdr.maxDataSize = sizeof map;
    map.id = *target;
    map.bus = *bus;
    map.handle = *handle;
    int ret = host_ioctl(c->descriptor, MPT_IOC_BTDH_MAPPING, &map);
    if (ret != 0)
        return ret;
    *bus = map.bus;
    *target = map.id;
    *handle = map.handle;
    return map.bus == UINT32_MAX || map.id == UINT32_MAX || map.handle == UINT16_MAX ? LSI_ERR_TEXT : 0;
}

int mapBusTargetToDevHandle(MpiController *c, uint32_t bus, uint32_t target, uint16_t *handle)
{
    if (handle == nullptr)
        return LSI_ERR_NULL;
    *handle = UINT16_MAX;
    return mapBTDH(c, &bus, &target, handle);
}

int mapDevHandleToBusTarget(MpiController *c, uint16_t handle, uint32_t *bus, uint32_t *target)
{
    if (bus == nullptr || target == nullptr)
        return LSI_ERR_NULL;
    *bus = *target = UINT32_MAX;
    return mapBTDH(c, bus, target, &handle);
}

// ---- RAID actions --------------------------------------------------------------------------------------------------------

namespace {

int raid_action(MpiController *c, MpiRaidActionRequest &req, MpiRaidActionReply &reply)
{
    req.function = MPI_FUNCTION_RAID_ACTION;
    reply = MpiRaidActionReply{};
    return doMptCommand(c, &req, sizeof req, &reply, sizeof reply, nullptr, 0, nullptr, 0, kRaidTimeout);
}

} // namespace

int doModifyRaidDiskStatus(MpiController *c, uint8_t physDiskNum, uint8_t action)
{
    if (c == nullptr)
        return LSI_ERR_NULL;
    MpiRaidActionRequest req{};
    req.action = action;
    req.physDiskNum = physDiskNum;
    MpiRaidActionReply reply;
    int ret = raid_action(c, req, reply);
    if (ret != 0)
        return ret;
    uint16_t status = reply_status(&reply);
    if (status != 0)
        LSI_PRINT("ScsiIo failed, IOCStatus = 0x%04x ()\n", status);
    return status;
}

int getRaidResyncStatus(MpiController *c, uint16_t volumeHandle, uint8_t *percent)
{
    if (c == nullptr || percent == nullptr)
        return LSI_ERR_NULL;
    MpiRaidActionRequest req{};
    req.action = MPI_RAID_ACTION_INDICATOR_STRUCT;
    req.volDevHandle = volumeHandle;
    MpiRaidActionReply reply;
    int ret = command_status(raid_action(c, req, reply), &reply);
    if (ret != 0)
        return ret;
    uint64_t total = load_le<uint64_t>(reply.actionData);
    uint64_t remaining = load_le<uint64_t>(reply.actionData + 8);
    if (total == 0 || remaining == 0 || remaining > total)
        return 0;
    unsigned __int128 done = static_cast<unsigned __int128>(remaining) * 100 / total;
    *percent = static_cast<uint8_t>(100 - static_cast<unsigned>(done));
    return 0;
}

int setDiskAlarmLed(MpiController *c, bool on, int index)
{
    if (c == nullptr)
        return LSI_ERR_NULL;
    if (index < 0)
        return LSI_ERR_PARAM;
    MpiPage page;
    int ret = getConfigPage(c, MPI_PAGETYPE_IO_UNIT, 3, 0, &page);
    if (ret != 0)
        return ret;
    size_t at = 24 + 2 * static_cast<size_t>(index);
    uint16_t gpio = 0;
    if (!mpi_page_u16(page, at, gpio))
        return LSI_ERR_EMPTY_PAGE;
    gpio = on ? static_cast<uint16_t>(gpio | 1u) : static_cast<uint16_t>(gpio & ~1u);
    std::memcpy(page.bytes.get() + at, &gpio, sizeof gpio);
    return setConfigPage(c, MPI_PAGETYPE_IO_UNIT, 3, 0, page.bytes.get(), page.length);
}

// ---- firmware upload -----------------------------------------------------------------------------------------------------------

namespace {

int upload_chunk(MpiController *c, uint8_t imageType, uint8_t *to, uint32_t offset, uint32_t length,
                 MpiFwUploadReply &reply)
{
    MpiFwUploadRequest2 req2{};
    MpiFwUploadRequest1 req1{};
    MpiTransactionContext &tc = is_mpi2(c) ? req2.tc : req1.tc;
    req2.imageType = req1.imageType = imageType;
    req2.function = req1.function = MPI_FUNCTION_FW_UPLOAD;
    tc.detailsLength = 12;
    tc.imageOffset = offset;
    tc.imageSize = length;
    const void *req = is_mpi2(c) ? static_cast<const void *>(&req2) : static_cast<const void *>(&req1);
    uint32_t reqLength = is_mpi2(c) ? sizeof req2 : sizeof req1;
    reply = MpiFwUploadReply{};
    return doMptCommand(c, req, reqLength, &reply, sizeof reply, to, length, nullptr, 0, kUploadTimeout);
}

} // namespace

int doFwUpload(MpiController *c, uint8_t imageType, uint8_t *buffer, uint32_t size, uint32_t offset,
               uint32_t *actualSize)
{
    if (c == nullptr || buffer == nullptr || actualSize == nullptr)
        return LSI_ERR_NULL;
    uint32_t done = 0, remaining = size;
    MpiFwUploadReply reply{};
    while (remaining > 0) {
        uint32_t chunk = remaining < MPI_FW_UPLOAD_CHUNK ? remaining : MPI_FW_UPLOAD_CHUNK;
        uint32_t at = offset + done;
        int ret = upload_chunk(c, imageType, buffer + done, at, chunk, reply);
        if (ret != 0)
            return ret;
        uint16_t status = reply_status(&reply);
        if (status == 0) {
            done += chunk;
            remaining -= chunk;
            continue;
        }
        if (status != MPI_IOCSTATUS_INVALID_FIELD || reply.actualImageSize == 0)
            return status;
        if (uint64_t{reply.actualImageSize} >= uint64_t{at} + chunk)
            return status;
        // The image ends inside this chunk: ask again for what is left of it.
        remaining = reply.actualImageSize > at ? reply.actualImageSize - at : 0;
    }
    *actualSize = reply.actualImageSize;
    return 0;
}

int checkLsiFlash(MpiController *c, uint8_t *result)
{
    if (c == nullptr || result == nullptr)
        return LSI_ERR_NULL;
    std::unique_ptr<uint8_t[]> image(new (std::nothrow) uint8_t[kFlashCheckSize]());
    if (image == nullptr)
        return LSI_ERR_ALLOC;
    uint32_t actual = 0;
    int ret = doFwUpload(c, 1, image.get(), kFlashCheckSize, 0, &actual);
    result[0] = ret == 0 ? 0 : 1;
    if (ret != 0)
        LSI_PRINT("Firmware Upload(FW_UPLOAD) FAIL, ret=%d\n", ret);
    return ret;
}
