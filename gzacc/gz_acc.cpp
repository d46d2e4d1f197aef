// The accelerated write: one gzip member per call, its head built here and
// its deflate data and trailer produced by the card slice by slice.
#include "gzacc/gz_acc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "asmf/interface/asmf_interface.h"
#include "bases/host/host.h"
#include "gzacc/gz_head.h"
#include "gzacc/gz_log.h"

namespace gzacc {

namespace {

constexpr uint32_t round_mib(uint64_t v) { return static_cast<uint32_t>((v + GZ_MIB - 1) / GZ_MIB * GZ_MIB); }

// The flag a slice carries and the status of a result that does not echo it.
struct SliceFlag {
    uint8_t flag;
    int status;
};
SliceFlag slice_flag(uint32_t i, uint32_t n)
{
    if (n == 1)
        return {3, GZ_ACC_E_FLAG_ONLY};
    if (i == 0)
        return {1, GZ_ACC_E_FLAG_FIRST};
    if (i == n - 1)
        return {2, GZ_ACC_E_FLAG_LAST};
    return {0, GZ_ACC_E_FLAG_MIDDLE};
}

// One call's card handle, memory and host buffer, released once in done().
struct FpgaWrite {
    gz_file_state *state;
    const uint8_t *buf;
    uint32_t len;
    GzSlices sl{};
    uint8_t cardLevel = 0;
    int handle = -1;
    uint8_t *host = nullptr;
    uint64_t inAddr = 0;
    uint64_t outAddr = 0;
    off_t before = 0;      // file length before this call's head
    bool touched = false;
    uint32_t crc = 0;      // the last result's CRC, chained into the next slice
    uint32_t total = 0;
};

int fpga_open(FpgaWrite &w)
{
    handle_alloc a{static_cast<uint32_t>(host().getpid()), static_cast<uint32_t>(oxcompGettid()), 0, 0,
                   static_cast<uint8_t>(w.sl.count == 1 ? 255 : 0)};
    w.handle = oxcompOpenHandle(&a);
    GZ_INFO(" oxcompOpenHandle = %d tid = %d\n\n", w.handle, oxcompGettid());
    if (w.handle < 0) {
        GZ_ERR(" gzwrite_fpga oxcompOpenHandle error=%d\n", 0);
        return GZ_ACC_E_HANDLE;
    }
    return 0;
}

int fpga_head(FpgaWrite &w)
{
    // Only the bytes copied in are ever written out, so only the head's
    // part of the buffer is cleared.
    w.host = static_cast<uint8_t *>(std::malloc(w.sl.destSize));
    if (w.host == nullptr) {
        GZ_ERR("  malloc error=%d\n", 0);
        return GZ_ACC_E_HOST_BUF;
    }
    const uint32_t headCap = std::min(w.sl.destSize, GZ_HEAD_CAPACITY_U);
    std::memset(w.host, 0, headCap);
    const int len = gz_head_build(w.state->path, w.host, headCap);
    if (len < 0) {
        GZ_ERR(" gz_head_build failed!ret = %d\n\n", len);
        return GZ_ACC_E_HEAD_BUILD;
    }
    GZ_INFO("head_len = %d\n\n", len);
    struct stat st{};
    if (host().fstat(w.state->fd, &st) != 0) {
        GZ_ERR(" write gzip head failed!ret = %d\n\n", -1);
        return GZ_ACC_E_HEAD_WRITE;
    }
    w.before = st.st_size;
    w.touched = true;
    w.state->acc_touched = 1;
    const ssize_t ret = host().write(w.state->fd, w.host, static_cast<size_t>(len));
    if (ret != len) {
        GZ_ERR(" write gzip head failed!ret = %d\n\n", static_cast<int>(ret));
        return GZ_ACC_E_HEAD_WRITE;
    }
    return 0;
}

int fpga_buffers(FpgaWrite &w, uint32_t i)
{
    if (w.inAddr == 0) {
        w.inAddr = oxcompMemAlloc(w.handle, w.sl.srcSize, GZ_CARD_CPU_SELECT);
        if (w.inAddr == 0) {
            GZ_ERR(" oxcompMemAlloc %d input_addr failed!\n", w.handle);
            return GZ_ACC_E_IN_BUF;
        }
    }
    GZ_INFO("slice %u gz_slice.input_addr = 0x%llx src_slice_size = 0x%x\n\n", i,
            static_cast<unsigned long long>(w.inAddr), w.sl.srcSize);
    const uint64_t off = uint64_t{i} * w.sl.srcSize;
    const auto copyLen = static_cast<uint32_t>(std::min<uint64_t>(w.len - off, w.sl.srcSize));
    GZ_INFO("copy_len = 0x%x\n\n", copyLen);
    const int ret = oxcompMemCpytoAcc(reinterpret_cast<void *>(w.inAddr), w.buf + off, copyLen);
    if (ret != 0) {
        GZ_ERR(" gzread oxcompMemCpytoAcc failed!ret=%d(0x%x)\n", ret, static_cast<unsigned>(ret));
        return GZ_ACC_E_TO_CARD;
    }
    if (w.outAddr == 0) {
        w.outAddr = oxcompMemAlloc(w.handle, w.sl.destSize, GZ_CARD_CPU_SELECT);
        if (w.outAddr == 0) {
            GZ_ERR(" oxcompMemAlloc %d output_addr failed!\n", w.handle);
            return GZ_ACC_E_OUT_BUF;
        }
    }
    GZ_INFO("slice %u gz_slice.output_addr = 0x%llx dest_slice_size = 0x%x\n\n", i,
            static_cast<unsigned long long>(w.outAddr), w.sl.destSize);
    return 0;
}

CompressInfo slice_request(const FpgaWrite &w, uint32_t i)
{
    CompressInfo c{};
    CompressCtrlInfo &ctl = c.strCompressCtrlInfo;
    ctl.ulTaskId = i << 16;
    ctl.crc = i == 0 ? 0 : w.crc;
    ctl.totalLen = w.len;
    ctl.ucCprsLevel = w.cardLevel;
    ctl.ucFlag = slice_flag(i, w.sl.count).flag;
    CompressMemInfo &mem = c.strCompressDataInfo.mem;
    mem.ullInputIndexAddr = w.inAddr;
    mem.ullOutputIndexAddr = w.outAddr;
    mem.input_size = static_cast<uint32_t>(std::min<uint64_t>(w.len - uint64_t{i} * w.sl.srcSize, w.sl.srcSize));
    mem.output_size = w.sl.destSize;
    c.expires = GZ_CARD_EXPIRES;
    return c;
}

int fpga_result(FpgaWrite &w, uint32_t i, recv_info &r)
{
    const int ret = oxcompReadHandle(w.handle, &r);
    if (ret != 0 || r.status != 0 || r.err_no != 0) {
        GZ_ERR(" oxcompReadHandle failed!ret = %d recv_info.status= 0x%x recv_info.err_no = 0x%x \n", ret, r.status,
               r.err_no);
        return GZ_ACC_E_RESULT;
    }
    GZ_INFO("oxcompReadHandle %d tid = %d i = %u ok ret = %d recv_info.status= 0x%x recv_info.err_no = 0x%x len = %u\n\n",
            w.handle, oxcompGettid(), i, ret, r.status, r.err_no, r.result_length);
    if (r.cmd_segment != static_cast<uint16_t>(i) || r.result_length == 0 || r.result_length > w.sl.destSize) {
        GZ_ERR(" cmd_segment order err!cmd_segment = %d i = %u recv_info.result_length = %u\n", r.cmd_segment, i,
               r.result_length);
        return GZ_ACC_E_ORDER;
    }
    GZ_INFO("ret_segment = %d cmd_segment = %d i = %u\n", r.ret_segment, r.cmd_segment, i);
    const SliceFlag want = slice_flag(i, w.sl.count);
    if (r.flags != want.flag) {
        GZ_ERR(" gz_fpga_flag_check err ret = %d!recv_info.flags = %d i = %u slice = 0x%x\n", want.status, r.flags, i,
               static_cast<unsigned>(w.sl.count));
        return want.status;
    }
    return 0;
}

int fpga_store(FpgaWrite &w, uint32_t i, const recv_info &r)
{
    const int ret = oxcompMemCpytoUsr(w.host, reinterpret_cast<void *>(w.outAddr), r.result_length);
    if (ret != 0) {
        GZ_ERR(" gzread oxcompMemCpytoUsr failed!ret=%d slice %u gz_slice.output_addr = 0x%llx "
               "recv_info.result_length = 0x%x\n",
               ret, i, static_cast<unsigned long long>(w.outAddr), r.result_length);
        return GZ_ACC_E_FROM_CARD;
    }
    const ssize_t wrt = host().write(w.state->fd, w.host, r.result_length);
    if (wrt != static_cast<ssize_t>(r.result_length)) {
        GZ_ERR(" gzwrite write failed!wrt_len = 0x%x recv_info.result_length = 0x%x\n", static_cast<unsigned>(wrt),
               r.result_length);
        return GZ_ACC_E_FILE_WRITE;
    }
    GZ_INFO("write %u slice len 0x%x\n", i, r.result_length);
    w.total += static_cast<uint32_t>(std::min<uint64_t>(w.len - uint64_t{i} * w.sl.srcSize, w.sl.srcSize));
    w.crc = r.ret_crc;
    return 0;
}

int fpga_slices(FpgaWrite &w)
{
    for (uint32_t i = 0; i < w.sl.count;) {
        int ret = fpga_buffers(w, i);
        if (ret != 0)
            return ret;
        const CompressInfo c = slice_request(w, i);
        ret = oxcompWriteHandle(w.handle, &c);
        if (ret != 0) {
            GZ_ERR(" oxcompWriteHandle failed!ret=%d(0x%x)\n", ret, static_cast<unsigned>(ret));
            return GZ_ACC_E_SEND;
        }
        recv_info r{};
        if ((ret = fpga_result(w, i, r)) != 0 || (ret = fpga_store(w, i, r)) != 0)
            return ret;
        i = static_cast<uint32_t>(r.cmd_segment) + 1;
    }
    return 0;
}

// Releases what the call took; a failure after the head leaves the file as
// it was before this call.
int fpga_done(FpgaWrite &w, int ret)
{
    std::free(w.host);
    if (w.inAddr != 0)
        oxcompMemFree(w.handle, w.inAddr);
    if (w.outAddr != 0)
        oxcompMemFree(w.handle, w.outAddr);
    if (w.handle >= 0)
        oxcompCloseHandle(w.handle);
    if (ret != 0 && w.touched) {
        host().ftruncate(w.state->fd, w.before);
        host().lseek(w.state->fd, w.before, SEEK_SET);
    }
    if (ret != 0)
        return ret;
    GZ_INFO("total_wrt_len =  0x%x(%d)\n", w.total, static_cast<int>(w.total));
    return static_cast<int>(w.total);
}

}  // namespace

GzLevelMap gz_level_map(int level)
{
    GzLevelMap m{36, 5};
    if (level >= 0 && level <= 2)
        m = {40, 1};
    else if (level == 3 || level == 4)
        m = {37, 4};
    GZ_INFO("ratio = %d fpgalevel = %d \n\n", m.ratio, m.cardLevel);
    return m;
}

GzSlices gz_slice_sizes(uint32_t len)
{
    const uint32_t dest = round_mib(GZ_DEST_SLICE);
    const uint32_t src = round_mib(uint64_t{dest} * 8 / 9) - GZ_MIB;
    GZ_INFO(" fpga_dest_size = 0x%x fpga_src_size = 0x%x\n\n", dest, src);
    const uint64_t n = (uint64_t{len} + src - 1) / src;
    GzSlices s{static_cast<uint16_t>(n), src, dest};
    if (n == 1) {
        s.srcSize = round_mib(len);
        s.destSize = round_mib(uint64_t{s.srcSize} * 9 / 8);
    }
    if (n == 0 || n > 0xFFFF || s.srcSize == 0 || s.destSize == 0) {
        GZ_ERR(" gzwrite_fpga slice(%d) len(0x%x) src_slice_size(%d) dest_slice_size(%d) error!\n",
               static_cast<int>(s.count), len, static_cast<int>(s.srcSize), static_cast<int>(s.destSize));
        return GzSlices{};
    }
    GZ_INFO(" slice = %d src_slice_size = 0x%x dest_slice_size = 0x%x\n\n", static_cast<int>(s.count), s.srcSize,
            s.destSize);
    return s;
}

int gzwrite_fpga(gz_file_state *state, const void *buf, uint32_t len)
{
    if (state == nullptr || buf == nullptr || len == 0)
        return GZ_ACC_E_ARG;
    GZ_INFO(" enter len = 0x%x(%d)  state->level = %d pid = %d  tid = %d sizeof(pid_t)=%d\n\n", len,
            static_cast<int>(len), state->level, static_cast<int>(host().getpid()), oxcompGettid(),
            static_cast<int>(sizeof(pid_t)));
    FpgaWrite w{state, static_cast<const uint8_t *>(buf), len};
    w.cardLevel = static_cast<uint8_t>(gz_level_map(state->level).cardLevel);
    w.sl = gz_slice_sizes(len);
    if (w.sl.count == 0)
        return GZ_ACC_E_SLICE;
    int ret = fpga_open(w);
    if (ret == 0)
        ret = fpga_head(w);
    if (ret == 0)
        ret = fpga_slices(w);
    return fpga_done(w, ret);
}

void gz_acc_close_empty(gz_file_state *state)
{
    struct stat st{};
    if (state->acc_touched != 0 || host().fstat(state->fd, &st) != 0 || st.st_size != 0)
        return;
    std::vector<uint8_t> member(std::strlen(state->path) + 32);
    const int len = gz_head_build(state->path, member.data(), member.size() - 10);
    if (len < 0)
        return;
    const uint8_t empty[10] = {0x03, 0x00};   // a final empty block, CRC-32 0, length 0
    std::memcpy(member.data() + len, empty, sizeof empty);
    const size_t total = static_cast<size_t>(len) + sizeof empty;
    if (host().write(state->fd, member.data(), total) != static_cast<ssize_t>(total))
        host().ftruncate(state->fd, 0);
}

}  // namespace gzacc
