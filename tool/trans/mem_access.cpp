#include "tool/trans/mem_access.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "bases/drv/indir_req.h"
#include "bases/host/host.h"
#include "boardlib/dorn_logic.h"
#include "tool/quorbix.h"
#include "tool/trans/trans_cmd.h"

namespace {

constexpr const char *kFile = "trans/trans";

constexpr CmdSite site(const char *name, unsigned line) { return CmdSite{name, kFile, line}; }

constexpr unsigned long kMemOp = 0xC004EF0A;
constexpr unsigned long kWriteDir = 0xC004EF00;
constexpr unsigned long kWriteIndir = 0xC004EF02;
constexpr unsigned long kClearIndir = 0xC004EF1E;

static_assert(kMemOp == PLOV_IOC_MEM_OP && kWriteDir == PLOV_IOC_WRITE_DIR_REG);
static_assert(kWriteIndir == PLOV_IOC_WRITE_INDIR_REG && kClearIndir == PLOV_IOC_CLEAR_INDIR_REG);

// How a request's failure is reported: operate_mem leaves the "FAILED"
// line of a failed request to its caller.
enum class FailLine { WithFailed, Plain };

// Opens the FPGA's node, sends one request and closes the node: 0, -1216
// when the node does not open, or the request's non-zero result.
int32_t send_request(uint32_t fpga, unsigned long request, void *arg, const char *who, FailLine form)
{
    int fd = DornGetFd(cmd_u8(fpga));
    if (fd < 0) {
        const int err = errno;
        trans_failed();
        std::printf("PCIE_DEV open failed,errno = %d(%s) fd = %d! [%s]\n", err, std::strerror(err), fd, who);
        return kTransOpenFailed;
    }
    int ret = host_ioctl(fd, request, arg);
    const int err = errno;
    DornCloseDev(fd);
    if (ret != 0) {
        if (form == FailLine::WithFailed)
            trans_failed();
        std::printf("Driver ioctl failed,errno = %d(%s) iRet = %d! [%s]\n", err, std::strerror(err), ret, who);
    }
    return ret;
}

TransOpStatus no_memory(const CmdSite &s)
{
    trans_failed();
    std::printf("Malloc failed error number = %d [%s] %s:%u\n", errno, s.name, s.file, s.line);
    return kTransNoMem;
}

TransOpStatus finish(int32_t ret)
{
    if (ret != 0)
        return ret;
    trans_success();
    return 0;
}

// The three fields of the direct write and the indirect clear.
struct RegFields {
    uint32_t fpga = 0;
    unsigned long long addr = 0;
    unsigned long long data = 0;
};

int scan_reg_fields(const char *params, RegFields *f)
{
    return sscanf_s(params, "%u:0x%llx:0x%llx", &f->fpga, &f->addr, &f->data);
}

} // namespace

int32_t operate_mem(uint32_t fpga, MemOpReq *req)
{
    return send_request(fpga, kMemOp, req, "operate_mem", FailLine::Plain);
}

TransOpStatus mem_write(const char *params)
{
    constexpr CmdSite here = site("mem_write", 3320);
    uint32_t fpga = kCmdUnset;
    unsigned long long addr = kCmdUnset64, data = kCmdUnset64;
    int ret = sscanf_s(params, "%u:0x%llx:0x%llx", &fpga, &addr, &data);
    if (ret < 1 || !cmd_scanned(ret, fpga, static_cast<uint64_t>(addr), static_cast<uint64_t>(data)))
        return trans_bad_input(here, ret);
    MemOpReq req{};
    req.addr = addr;
    req.data = data;
    req.op = 1;
    int32_t status = operate_mem(fpga, &req);
    if (status != 0) {
        trans_failed();
        std::printf("Function operate_mem exe error, iRet = %d! [%s] %s:%u\n", status, here.name, here.file,
                    here.line);
        return status;
    }
    return finish(0);
}

TransOpStatus dreg_write(const char *params)
{
    RegFields f;
    int ret = scan_reg_fields(params, &f);
    if (ret != 3)
        return trans_bad_input(site("dreg_write", 3360), ret);
    DirRegReq req{f.addr, f.data};
    return finish(send_request(f.fpga, kWriteDir, &req, "dreg_write", FailLine::WithFailed));
}

TransOpStatus indreg_clear(const char *params)
{
    RegFields f;
    int ret = scan_reg_fields(params, &f);
    if (ret != 3)
        return trans_bad_input(site("indreg_clear", 3400), ret);
    uint64_t word = f.data;
    IndirRegReq req{};
    req.baseaddr = f.addr;
    req.cmd = 3;
    req.data = &word;
    ret = send_request(f.fpga, kClearIndir, &req, "indreg_clear", FailLine::WithFailed);
    if (ret != 0)
        return ret;
    trans_success();
    std::printf("addr = %#llx\n", static_cast<unsigned long long>(word));
    return 0;
}

namespace {

// Takes `count` values "0x%llx" separated by ":" from `text` into words 1
// to count; -1202 after the invalid-input line at the first missing one.
TransOpStatus take_values(std::string text, uint32_t count, uint64_t *words, bool dorn, const CmdSite &here)
{
    std::string rest(text.size() + 1, '\0');
    for (uint32_t i = 1; i <= count; ++i) {
        unsigned long long v = 0;
        std::fill(rest.begin(), rest.end(), '\0');
        int ret = sscanf_s(text.c_str(), "0x%llx:%s", &v, rest.data(), static_cast<unsigned>(rest.size()));
        if (ret < 1)
            return trans_bad_input(here, ret);
        words[i] = v;
        if (dorn)
            std::printf("write value->data[%u] = 0x%llx\n", i, v);
        text.assign(rest.c_str());
    }
    return 0;
}

} // namespace

TransOpStatus indreg_write(const char *params)
{
    constexpr CmdSite here = site("indreg_write", 3440);
    const size_t cap = std::strlen(params) + 1;
    std::string values(cap, '\0');
    uint32_t fpga = 0, wlen = 0;
    unsigned long long base = 0, addrdata = 0;
    int ret = sscanf_s(params, "%u:0x%llx:0x%llx:%u:%s", &fpga, &base, &addrdata, &wlen, values.data(),
                       static_cast<unsigned>(cap));
    if (ret != 5 || wlen > kIndregMaxValues)
        return trans_bad_input(here, ret);
    std::unique_ptr<IndirRegReq> req(new (std::nothrow) IndirRegReq{});
    if (req == nullptr)
        return no_memory(here);
    const TransBoard board = trans_board();
    if (board == TransBoard::Other) {
        std::printf("board %s not suuport!\n \n", gBoardName);
        return kTransNoBoard;
    }
    std::unique_ptr<uint64_t[]> words(new (std::nothrow) uint64_t[wlen + 1]());
    if (words == nullptr)
        return no_memory(here);
    words[0] = addrdata;
    const bool dorn = board == TransBoard::Dorn;
    if (TransOpStatus s = take_values(values.c_str(), wlen, words.get(), dorn, here); s != 0)
        return s;
    req->baseaddr = base;
    req->cmd = 1;
    req->wlen = static_cast<uint16_t>(dorn ? wlen + 1 : wlen);
    req->data = words.get();
    if (!dorn) {
        std::printf("addr %#llx\n", static_cast<unsigned long long>(words[0]));
        for (uint32_t i = 0; i < wlen; ++i)
            std::printf("write data[%u] 0x%llx\n", i, static_cast<unsigned long long>(words[i + 1]));
    }
    return finish(send_request(fpga, kWriteIndir, req.get(), "indreg_write", FailLine::WithFailed));
}
