#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_expander.h"

#include <cstring>

#include "bases/drv/mpt_drv.h"
#include "bases/host/host.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_scsi.h"
#include "kelvo/kelvo.h"

namespace {

constexpr size_t kSesOutputSize = 512;

uint32_t be32(const uint8_t *p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// What the expander's page 0 tells: where to send SMP frames, its handle
// and its PHY count.
struct ExpanderFacts {
    uint8_t port = 0;
    uint64_t sasAddress = 0;
    uint16_t handle = 0;
    uint8_t phys = 0;
};

int read_expander(MpiController *c, ExpanderFacts &f)
{
    MpiPage page;
    int ret = getConfigPage(c, MPI_EXTPAGE_SAS_EXPANDER, 0, EXP_PAGE_FIRST, &page);
    if (ret == 0 && !(mpi_page_u8(page, 8, f.port) && mpi_page_u64(page, 12, f.sasAddress) &&
                      mpi_page_u16(page, 24, f.handle) && mpi_page_u8(page, 32, f.phys)))
        ret = mpi_page_short(page);
    if (ret != 0)
        LSI_PRINT("Exp Sas Phy get Config Page0 fail, iRet = %d\n", ret);
    return ret;
}

int read_link_rate(MpiController *c, const ExpanderFacts &f, uint32_t phy, uint8_t &rate)
{
    MpiPage page;
    int ret = getConfigPage(c, MPI_EXTPAGE_SAS_EXPANDER, 1, EXP_PAGE_PHY_FORM + (phy << 16) + f.handle, &page);
    uint8_t b = 0;
    if (ret == 0 && !mpi_page_u8(page, 31, b))
        ret = mpi_page_short(page);
    if (ret != 0) {
        LSI_PRINT("Exp Sas Phy get Config Page1 fail, iRet = %d\n", ret);
        return ret;
    }
    rate = c->mpiVersion >= MPI_VERSION_2 ? static_cast<uint8_t>(b >> 4) : static_cast<uint8_t>(b & 0xF);
    return 0;
}

// Host and target numbers of the first expander, and the sg_ses output for it.
struct SesOutput {
    uint32_t hostNo = 0, target = 0;
    char text[kSesOutputSize] = {};
};

int ses_output(SesOutput &o)
{
    uint32_t &hostNo = o.hostNo, &target = o.target;
    if (getExpanderBdf(&hostNo, &target) != 0)
        return EXP_ERR_NOT_FOUND;
    char command[128] = {};
    (void)snprintf_s(command, sizeof command, sizeof command - 1, "sg_ses --page=0x82 --status --raw /dev/bsg/%d:0:%d:0",
                     static_cast<int>(hostNo), static_cast<int>(target));
    return disk_get_command_result(command, o.text, sizeof o.text) == 0 ? 0 : EXP_ERR_COMMAND;
}

void scan_failed(const SesOutput &o)
{
    LSI_PRINT("get expander fw version: call sscanf_s fail! bus=%d target=%d\n", static_cast<int>(o.hostNo),
              static_cast<int>(o.target));
}

} // namespace

int doSmpPassthrough(MpiController *c, uint8_t port, uint64_t sasAddress, const void *request,
                     uint32_t requestLength, void *response, uint32_t responseLength, uint32_t *lengthOut)
{
    if (c == nullptr || request == nullptr || response == nullptr)
        return LSI_ERR_NULL;
    MpiSmpPassthroughRequest req{};
    req.function = MPI_FUNCTION_SMP_PASSTHROUGH;
    req.physicalPort = port;
    req.requestDataLength = static_cast<uint16_t>(requestLength);
    req.sasAddress = sasAddress;
    MpiSmpPassthroughReply reply{};
    int ret = doMptCommandCheck(c, &req, sizeof req, &reply, sizeof reply, response, responseLength, request,
                                requestLength, SMP_PASSTHROUGH_TIMEOUT);
    if (lengthOut != nullptr)
        *lengthOut = uint32_t{reply.responseDataLength} + 4;
    return ret;
}

int getIocExpPhyErrs(MpiController *c, uint32_t phy, MpiPhyErr *out)
{
    if (c == nullptr || out == nullptr)
        return LSI_ERR_NULL;
    ExpanderFacts f;
    int ret = read_expander(c, f);
    if (ret != 0)
        return ret;
    if (phy >= f.phys) {
        LSI_PRINT("Input Phy Index(%u) is larger than max expander phy num(%u)!\n", phy, unsigned{f.phys});
        return LSI_ERR_PARAM;
    }
    uint8_t rate = 0;
    if ((ret = read_link_rate(c, f, phy, rate)) != 0)
        return ret;
    SmpReportPhyErrLogRequest req{};
    req.frameType = SMP_FRAME_REQUEST;
    req.function = SMP_REPORT_PHY_ERROR_LOG;
    req.phyIdentifier = static_cast<uint8_t>(phy);
    SmpReportPhyErrLogResponse resp{};
    ret = doSmpPassthrough(c, f.port, f.sasAddress, &req, sizeof req, &resp, sizeof resp, nullptr);
    if (ret != 0) {
        LSI_PRINT("do Smp Passthrough Exp Phy Error fail, iRet = %d\n", ret);
        return ret;
    }
    if (resp.functionResult != 0) {
        LSI_PRINT("Report Phy Error Log failed with result %u\n", unsigned{resp.functionResult});
        return EXP_ERR_COMMAND;
    }
    out->rate = rate;
    out->invalidDword = be32(resp.invalidDword);
    out->runningDisparity = be32(resp.runningDisparity);
    out->lossDwordSync = be32(resp.lossDwordSync);
    out->phyResetProblem = be32(resp.phyResetProblem);
    return 0;
}

int disk_get_command_result(const char *command, char *buffer, size_t size)
{
    if (command == nullptr || buffer == nullptr || size == 0) {
        LSI_PRINT("input is null!\n\n");
        return LSI_ERR_NULL;
    }
    FILE *pipe = host().popen(command, "r");
    if (pipe == nullptr)
        return EXP_ERR_POPEN;
    // The text ends after the bytes read; the last byte always ends it.
    size_t n = std::fread(buffer, 1, size - 1, pipe);
    buffer[n] = '\0';
    host().pclose(pipe);
    if (n == 0) {
        LSI_PRINT("call fread fail! cmd:[%s], size:%d\n", command, static_cast<int>(size));
        return EXP_ERR_NOT_FOUND;
    }
    return 0;
}

int getExpanderBdf(uint32_t *hostNo, uint32_t *target)
{
    if (hostNo == nullptr || target == nullptr)
        return LSI_ERR_NULL;
    char out[kSesOutputSize] = {};
    if (disk_get_command_result(EXP_LSSCSI_COMMAND, out, sizeof out) != 0)
        return EXP_ERR_COMMAND;
    unsigned h = 0, t = 0;
    int ret = sscanf_s(out, "[%u:%*u:%u:%*u]%*s", &h, &t);
    if (ret != 2) {
        LSI_PRINT("get expander bdf: call sscanf_s fail! bus=%d target=%d\n", static_cast<int>(h),
                  static_cast<int>(t));
        return EXP_ERR_NOT_FOUND;
    }
    *hostNo = h;
    *target = t;
    return 0;
}

int isExistExpander()
{
    uint32_t h = 0, t = 0;
    return getExpanderBdf(&h, &t) == 0 ? 1 : 0;
}

int get_expander_fwVersion(uint8_t *version, size_t size)
{
    if (version == nullptr || size < 4) {
        LSI_PRINT("Invalid parameter\n");
        return LSI_ERR_NULL;
    }
    SesOutput o;
    int ret = ses_output(o);
    if (ret != 0)
        return ret;
    char words[3][10] = {};
    ret = sscanf_s(o.text, "%*s %*s %*s %9s %9s %9s %*s", words[0], 10u, words[1], 10u, words[2], 10u);
    if (ret != 3) {
        scan_failed(o);
        return EXP_ERR_NOT_FOUND;
    }
    for (size_t i = 0; i < 3; i++)
        version[i] = static_cast<uint8_t>(disk_xtoi(words[i]));
    version[3] = 0;
    return 0;
}

int get_expander_fw_check_result(uint32_t *result)
{
    if (result == nullptr) {
        LSI_PRINT("Invalid parameter\n");
        return LSI_ERR_NULL;
    }
    SesOutput o;
    int ret = ses_output(o);
    if (ret != 0)
        return ret;
    unsigned v[4] = {};
    ret = sscanf_s(o.text, "%x %x %*s %*s %*s %*s %x %x  %*s", &v[0], &v[1], &v[2], &v[3]);
    if (ret != 4) {
        scan_failed(o);
        return EXP_ERR_NOT_FOUND;
    }
    std::memcpy(result, v, sizeof v);
    return 0;
}
