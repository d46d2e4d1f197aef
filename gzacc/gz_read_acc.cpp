// The accelerated read. The reading thread hands every input slice (and one
// request per output slice) to the card before it waits; the receive thread
// takes the results in order, copies output into the caller's buffer,
// answers the card's requests for more output memory and frees card memory
// of finished slices.
#include "gzacc/gz_read_acc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "asmf/task/asmf_task.h"
#include "asmf/transeiver/asmf_transeiver.h"
#include "bases/drv/asmf_drv.h"
#include "bases/host/host.h"
#include "gzacc/gz_acc.h"
#include "gzacc/gz_log.h"
#include "kelvo/kelvo.h"

namespace gzacc {

namespace {

#define GZ_STAMP() std::printf("%s [line %d] time stap : %lld  \n", __func__, __LINE__, gz_now_ms())

constexpr uint32_t kPollUs = 10000;
constexpr uint32_t kPollsPerSlice = 1000;
constexpr uint8_t kCardLevel = 9;

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// ---- head and trailer ---------------------------------------------------------------------

// pread until len bytes or the end of the file; the bytes read, or -1.
ssize_t read_at(int fd, uint8_t *buf, size_t len, off_t off)
{
    size_t got = 0;
    while (got < len) {
        const ssize_t r = host().pread(fd, buf + got, len - got, off + static_cast<off_t>(got));
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        got += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

}  // namespace

long long gz_now_ms()
{
    struct timespec ts{};
    host().clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int gz_file_head_parse(int fd, gz_head_info *head)
{
    for (size_t cap = GZ_HEAD_STEP;; cap += GZ_HEAD_STEP) {
        auto *buf = static_cast<uint8_t *>(std::malloc(cap));
        if (buf == nullptr)
            return -1;
        const ssize_t got = read_at(fd, buf, cap, 0);
        int ret = got < 0 ? -2 : 0;
        if (ret == 0) {
            *head = gz_head_info{};
            ret = gz_head_read(buf, static_cast<size_t>(got), head);
            if (ret == -101 && static_cast<size_t>(got) == cap) {
                std::free(buf);
                continue;
            }
            ret = ret == 0 ? 0 : ret == -101 ? -3 : -4;
        }
        // The strings point into the buffer, which is gone after this.
        head->extra = head->name = head->comment = nullptr;
        std::free(buf);
        return ret;
    }
}

int gz_file_tail_parse(int fd, gz_head_info *head, int32_t *size)
{
    struct stat st{};
    if (host().fstat(fd, &st) != 0 || st.st_size < 1 || st.st_size > INT32_MAX)
        return -2;
    *size = static_cast<int32_t>(st.st_size);
    uint8_t tail[8];
    if (st.st_size < 8 || read_at(fd, tail, 8, st.st_size - 8) != 8)
        return -3;
    head->crc32 = le32(tail);
    head->isize = le32(tail + 4);
    return 0;
}

namespace {

// ---- one read's resources -------------------------------------------------------------------

struct FpgaRead {
    gz_file_state *state;
    gz_head_info head{};
    int32_t fileSize = 0;
    uint32_t inSlices = 0;
    uint32_t outSlices = 0;
    gz_recv_info info{};
    bool threadStarted = false;
    pthread_t thread{};
    uint8_t *host = nullptr;
};

// The table's counts are written by the reading thread while it sends and
// read by the receive thread meanwhile.
uint16_t count_of(uint16_t &c) { return std::atomic_ref<uint16_t>(c).load(); }
void count_up(uint16_t &c) { std::atomic_ref<uint16_t>(c).fetch_add(1); }

void free_entry(gz_recv_info &info, uint32_t i, bool input)
{
    gz_slice_entry &e = info.slice->entry[i];
    uint64_t &addr = input ? e.input_addr : e.output_addr;
    if (addr != 0)
        oxcompMemFree(info.handle, addr);
    addr = 0;
    (input ? e.input_len : e.output_len) = 0;
}

// ---- receive thread -------------------------------------------------------------------------

void set_status(gz_recv_info &info, int status)
{
    int running = -1;
    info.status.compare_exchange_strong(running, status);
}

// Whether another result is owed; sets `status` on a count out of step.
bool results_owed(gz_recv_info &info)
{
    for (;;) {
        const uint32_t stat = info.cmd_slice.stat.load(), sent = info.cmd_slice.cnt.load();
        const uint32_t got = info.ret_slice.cnt.load();
        if (got > sent) {
            set_status(info, stat == 2 ? GZ_RD_E_AHEAD : GZ_RD_E_AHEAD_SENDING);
            return false;
        }
        if (got < sent)
            return true;
        if (stat == 2)
            return false;
        host().usleep(kPollUs);
    }
}

int check_result(const gz_recv_info &info, const recv_info &r, uint32_t num)
{
    if (r.status != 0 || r.err_no != 0) {
        GZ_ERR(" recv_info.status = 0x%x(%d) recv_info.err_no = 0x%x err!\n\n", r.status, static_cast<int>(r.status),
               r.err_no);
        return GZ_RD_E_RESULT;
    }
    if (r.cmd_segment != num) {
        GZ_ERR(" recv_info.cmd_segment(0x%x) != msg_num(0x%x) err!\n\n", r.cmd_segment, num);
        return GZ_RD_E_CMD_SEG;
    }
    if (r.ret_segment != GZ_RET_END && r.ret_segment >= info.cmd_slice.cnt.load()) {
        GZ_ERR(" recv_info.ret_segment = 0x%x err info->cmd_slice.cnt = 0x%x!\n\n", r.ret_segment,
               info.cmd_slice.cnt.load());
        return GZ_RD_E_RET_SEG;
    }
    return 0;
}

int send_request(gz_recv_info &info, uint32_t i, const CompressInfo &c)
{
    const int ret = oxcompWriteHandle(info.handle, &c);
    if (ret != 0) {
        GZ_ERR(" oxcompWriteHandle failed!ret=%d(0x%x)\n", ret, static_cast<unsigned>(ret));
        return GZ_ACC_E_SEND;
    }
    (void)i;
    return 0;
}

// Another output buffer for the stream, as one more request.
int fill_mem_req(gz_recv_info &info)
{
    gz_slice &t = *info.slice;
    if (count_of(t.count) >= GZ_SLICE_ENTRIES - 1)
        return GZ_ACC_E_SLICE;
    const uint64_t addr = oxcompMemAlloc(info.handle, GZ_READ_SLICE, GZ_CARD_CPU_SELECT);
    if (addr == 0) {
        GZ_ERR(" oxcompMemAlloc %d output_addr failed!\n", info.handle);
        return GZ_ACC_E_OUT_BUF;
    }
    const uint32_t i = count_of(t.count);
    t.entry[i] = gz_slice_entry{0, addr, 0, GZ_READ_SLICE};
    count_up(t.count);
    count_up(t.output_count);
    CompressInfo c{};
    c.strCompressCtrlInfo.ulTaskId = i << 16;
    c.strCompressCtrlInfo.ucCmdType = 1;
    c.strCompressCtrlInfo.ucCprsLevel = kCardLevel;
    c.strCompressCtrlInfo.ucFlag = 2;
    c.strCompressDataInfo.mem.ullOutputIndexAddr = addr;
    c.strCompressDataInfo.mem.output_size = GZ_READ_SLICE;
    GZ_INFO(" input_size = 0x%x output_size = 0x%x  \n\n", 0u, GZ_READ_SLICE);
    const int ret = send_request(info, i, c);
    if (ret == 0)
        info.cmd_slice.cnt++;
    return ret;
}

// A request for more output memory: answered after sending has finished,
// and only for a stream still being read into the caller's buffer.
void memory_request(gz_recv_info &info, const recv_info &r)
{
    while (info.cmd_slice.stat.load() != 2)
        host().usleep(kPollUs);
    if (info.stop.load() != 0)
        return;
    if (r.flags != 2) {
        GZ_ERR(" fpga mem req err!res_req = 0x%x cmd_slice.stat = 0x%x flags = 0x%x !\n\n", 1u,
               info.cmd_slice.stat.load(), r.flags);
        set_status(info, GZ_RD_E_MEM_STATE);
        return;
    }
    const int ret = fill_mem_req(info);
    if (ret != 0) {
        GZ_ERR(" gzread_fill_mem_req err! ret = 0x%x(%d) \n\n", static_cast<unsigned>(ret), ret);
        set_status(info, GZ_RD_E_MEM_REQ);
    }
}

void copy_output(gz_recv_info &info, const recv_info &r)
{
    const uint32_t copied = info.copied.load();
    uint32_t n = r.result_length;
    const gz_slice_entry &e = info.slice->entry[r.cmd_segment];
    if (n > e.output_len || (n != 0 && e.output_addr == 0)) {
        GZ_ERR(" oxcompMemCpytoUsr err! ret = 0x%x(%d) cpy_len =0x%x \n\n", 0u, 0, n);
        set_status(info, GZ_RD_E_COPY);
        return;
    }
    if (info.stop.load() == 0 && uint64_t{copied} + n >= info.len) {
        info.stop = 1;
        host().usleep(1000);
        oxcompStopEngine();
    }
    n = std::min(n, info.len - copied);
    if (n == 0)
        return;
    const int ret = oxcompMemCpytoUsr(info.buf + copied, reinterpret_cast<void *>(e.output_addr), n);
    if (ret != 0) {
        GZ_ERR(" oxcompMemCpytoUsr err! ret = 0x%x(%d) cpy_len =0x%x \n\n", static_cast<unsigned>(ret), ret, n);
        set_status(info, GZ_RD_E_COPY);
        return;
    }
    info.copied += n;
}

void free_finished(gz_recv_info &info, const recv_info &r)
{
    gz_slice &t = *info.slice;
    const uint16_t count = count_of(t.count);
    if (count == 0 || (r.ret_segment != GZ_RET_END && r.ret_segment > count_of(t.input_count)) ||
        r.cmd_segment >= count)
        return;
    const uint32_t below = r.ret_segment == GZ_RET_END ? count : r.ret_segment;
    for (uint32_t i = 0; i < below; i++)
        free_entry(info, i, true);
    free_entry(info, r.cmd_segment, false);
}

// One result: checked, then (while the read is still good) memory request,
// output and freeing.
void take_result(gz_recv_info &info, recv_info &r)
{
    r = recv_info{};
    const int ret = oxcompReadHandle(info.handle, &r);
    if (ret != 0) {
        GZ_ERR(" oxcompReadHandle err! ret = 0x%x(%d) \n\n", static_cast<unsigned>(ret), ret);
        set_status(info, GZ_ACC_E_RESULT);
    }
    GZ_INFO("oxcompReadHandle ok\n\n");
    info.ret_slice.stat = 1;
    const uint32_t num = info.ret_slice.cnt++;
    if (info.status.load() != -1)
        return;
    const int bad = check_result(info, r, num);
    if (bad != 0)
        return set_status(info, bad);
    if (r.ret_low == 1)
        memory_request(info, r);
    copy_output(info, r);
    free_finished(info, r);
    GZ_INFO(" recv_info.ret_segment = 0x%x info->cmd_slice.stat = 0x%x info->cmd_slice.cnt = 0x%x "
            "info->ret_slice.cnt = 0x%x \n\n",
            r.ret_segment, info.cmd_slice.stat.load(), info.cmd_slice.cnt.load(), info.ret_slice.cnt.load());
}

void *gzread_recv_thread(void *arg)
{
    auto &info = *static_cast<gz_recv_info *>(arg);
    GZ_INFO(" gzread_recv_thread enter pid = %d tid = %d\n\n", static_cast<int>(host().getpid()), oxcompGettid());
    info.status = -1;
    info.thread_stat = 1;
    recv_info r{};
    while (results_owed(info))
        take_result(info, r);
    info.ret_slice.stat = 2;
    if (r.ret_segment != GZ_RET_END && info.stop.load() == 0)
        GZ_ERR("  recv_info.ret_segment = 0x%x info->ret_slice.cnt(0x%x) != info->cmd_slice.cnt(0x%x) \n\n",
               r.ret_segment, info.ret_slice.cnt.load(), info.cmd_slice.cnt.load());
    // A full caller buffer is a success once every request is answered.
    set_status(info, r.ret_segment == GZ_RET_END || info.stop.load() != 0 ? 0 : GZ_RD_E_UNFINISHED);
    GZ_INFO(" gzread_recv_thread end\n\n");
    info.thread_stat = 2;
    return nullptr;
}

// ---- reading thread -------------------------------------------------------------------------

int head_and_tail(FpgaRead &f)
{
    int ret = gz_file_head_parse(f.state->fd, &f.head);
    if (ret != 0) {
        GZ_ERR("  gz_file_head_parse error=%d\n", ret);
        return GZ_RD_E_HEAD;
    }
    ret = gz_file_tail_parse(f.state->fd, &f.head, &f.fileSize);
    if (ret != 0) {
        GZ_ERR("  gz_file_head_parse error=%d\n", ret);
        return GZ_RD_E_TRAILER;
    }
    return 0;
}

int slice_counts(FpgaRead &f)
{
    const int64_t data = int64_t{f.fileSize} - f.head.head_len;
    f.inSlices = data > 0 ? static_cast<uint32_t>((data + GZ_READ_SLICE - 1) / GZ_READ_SLICE) : 0;
    // An empty member still needs one output slice for the card to answer into.
    f.outSlices = std::max<uint32_t>(1, static_cast<uint32_t>((uint64_t{f.head.isize} + GZ_READ_SLICE - 1) / GZ_READ_SLICE));
    GZ_INFO(" src_slice = %u  dest_slice = %u \n\n", f.inSlices, f.outSlices);
    if (f.inSlices == 0 || std::max(f.inSlices, f.outSlices) >= GZ_SLICE_ENTRIES) {
        GZ_ERR("  gzread_fpga_slice error=%d\n", -1);
        return GZ_ACC_E_SLICE;
    }
    return 0;
}

int open_and_start(FpgaRead &f)
{
    const bool single = f.inSlices == 1 && f.outSlices == 1;
    handle_alloc a{static_cast<uint32_t>(host().getpid()), static_cast<uint32_t>(oxcompGettid()), 0, 1,
                   static_cast<uint8_t>(single ? 255 : 0)};
    f.info.handle = oxcompOpenHandle(&a);
    if (f.info.handle < 0) {
        GZ_ERR(" gzread_fpga oxcompOpenHandle error=%d\n", f.info.handle);
        return GZ_ACC_E_HANDLE;
    }
    f.info.slice = static_cast<gz_slice *>(std::calloc(1, sizeof(gz_slice)));
    if (f.info.slice == nullptr) {
        GZ_ERR("  malloc gz_slice buf L%d error=%d\n", __LINE__, -1);
        return GZ_ACC_E_HOST_BUF;
    }
    f.info.expires = GZ_CARD_EXPIRES;
    f.info.status = -1;
    f.info.cmd_slice.stat = 1;
    const int ret = host().pthread_create(&f.thread, nullptr, gzread_recv_thread, &f.info);
    if (ret != 0) {
        GZ_ERR("  pthread_create gz_recv_thread error=%d\n", ret);
        return GZ_RD_E_THREAD;
    }
    f.threadStarted = true;
    return 0;
}

uint8_t slice_flag(const FpgaRead &f, uint32_t i)
{
    if (f.inSlices == 1 && f.outSlices == 1)
        return 3;
    if (i == 0)
        return 1;
    return i + 1 < f.inSlices ? 0 : 2;
}

// Input slice i: read from the file, copied to a fresh card buffer.
int input_slice(FpgaRead &f, uint32_t i, gz_slice_entry &e)
{
    const ssize_t got = host().read(f.state->fd, f.host, GZ_READ_SLICE);
    const bool lastIn = i + 1 == f.inSlices;
    if (got < 0 || got == 0 || (!lastIn && got != static_cast<ssize_t>(GZ_READ_SLICE))) {
        GZ_ERR(" read file failed!ret = %d(0x%x) i = %u src_slice = %u\n", static_cast<int>(got),
               static_cast<unsigned>(got), i, f.inSlices);
        return GZ_RD_E_FILE;
    }
    e.input_addr = oxcompMemAlloc(f.info.handle, GZ_READ_SLICE, GZ_CARD_CPU_SELECT);
    if (e.input_addr == 0) {
        GZ_ERR(" oxcompMemAlloc %d input_addr failed!\n", f.info.handle);
        return GZ_ACC_E_IN_BUF;
    }
    e.input_len = static_cast<uint32_t>(got);
    count_up(f.info.slice->input_count);
    const int ret = oxcompMemCpytoAcc(reinterpret_cast<void *>(e.input_addr), f.host, e.input_len);
    if (ret != 0) {
        GZ_ERR(" gzread oxcompMemCpytoAcc failed!ret=%d(0x%x)\n", ret, static_cast<unsigned>(ret));
        return GZ_ACC_E_TO_CARD;
    }
    return 0;
}

int output_slice(FpgaRead &f, gz_slice_entry &e)
{
    e.output_addr = oxcompMemAlloc(f.info.handle, GZ_READ_SLICE, GZ_CARD_CPU_SELECT);
    if (e.output_addr == 0) {
        GZ_ERR(" oxcompMemAlloc %d output_addr failed!\n", f.info.handle);
        return GZ_ACC_E_OUT_BUF;
    }
    e.output_len = GZ_READ_SLICE;
    count_up(f.info.slice->output_count);
    return 0;
}

CompressInfo slice_request(const FpgaRead &f, uint32_t i, uint64_t lastOut)
{
    const gz_slice_entry &e = f.info.slice->entry[i];
    CompressInfo c{};
    CompressCtrlInfo &ctl = c.strCompressCtrlInfo;
    ctl.ulTaskId = i << 16;
    ctl.crc = f.head.crc32;
    ctl.totalLen = f.head.isize;
    ctl.ucCmdType = 1;
    ctl.ucCprsLevel = kCardLevel;
    ctl.ucFlag = slice_flag(f, i);
    CompressMemInfo &mem = c.strCompressDataInfo.mem;
    mem.ullInputIndexAddr = e.input_addr;
    mem.input_size = e.input_len;
    // The framework refuses a zero output address: a request beyond the
    // output slices names the last output buffer with no room in it.
    mem.ullOutputIndexAddr = e.output_addr != 0 ? e.output_addr : lastOut;
    mem.output_size = e.output_len;
    c.expires = GZ_CARD_EXPIRES;
    return c;
}

int send_slices(FpgaRead &f)
{
    if (host().lseek(f.state->fd, f.head.head_len, SEEK_SET) == -1)
        return GZ_RD_E_FILE;
    f.host = static_cast<uint8_t *>(std::malloc(GZ_READ_SLICE));
    if (f.host == nullptr) {
        GZ_ERR("  malloc file buf L%d error=%d\n", __LINE__, -1);
        return GZ_ACC_E_HOST_BUF;
    }
    uint64_t lastOut = 0;
    const uint32_t n = std::max(f.inSlices, f.outSlices);
    for (uint32_t i = 0; i < n && f.info.stop.load() == 0; i++) {
        gz_slice_entry &e = f.info.slice->entry[i];
        int ret = i < f.inSlices ? input_slice(f, i, e) : 0;
        if (ret == 0 && i < f.outSlices && (ret = output_slice(f, e)) == 0)
            lastOut = e.output_addr;
        count_up(f.info.slice->count);
        if (ret != 0)
            return ret;
        const CompressInfo c = slice_request(f, i, lastOut);
        GZ_INFO(" input_size = 0x%x output_size = 0x%x  com_info.strCompressCtrlInfo.ucFlag =0x%x\n\n",
                c.strCompressDataInfo.mem.input_size, c.strCompressDataInfo.mem.output_size,
                c.strCompressCtrlInfo.ucFlag);
        if ((ret = send_request(f.info, i, c)) != 0)
            return ret;
        f.info.cmd_slice.cnt++;
    }
    return 0;
}

// Wakes a receive thread that waits for answers the card will not give:
// one framework notice per unanswered request, to the handle's reply port.
void wake_receiver(FpgaRead &f)
{
    AsmfHandler h{};
    if (asmf_get_handler_info(f.info.handle, &h) != 0)
        return;
    const uint32_t owed = f.info.cmd_slice.cnt.load() - std::min(f.info.cmd_slice.cnt.load(), f.info.ret_slice.cnt.load());
    for (uint32_t i = 0; i < owed; i++) {
        ResultMsg m{};
        m.status = 2;
        m.errNo = 1;
        m.desc.resId = 0xFFFFFFFFu;   // no resource of the driver's to free
        asmf_send_msg(h.port, &m, sizeof m);
    }
}

void wait_receiver(FpgaRead &f)
{
    const uint64_t bound = uint64_t{f.info.cmd_slice.cnt.load()} * kPollsPerSlice;
    uint64_t polls = 0;
    while (f.info.thread_stat.load() != 2 && polls < bound) {
        host().usleep(kPollUs);
        polls++;
    }
    // With every request answered the thread ends by itself; else it waits
    // for answers the card will not give.
    const bool owed = f.info.ret_slice.cnt.load() < f.info.cmd_slice.cnt.load();
    if (f.info.thread_stat.load() != 2 && owed) {
        GZ_ERR(" wait gzread_recv_thread timeout! info.cmd_slice.cnt = %u  expires = %u  expires_10ms = %llu\n\n",
               f.info.cmd_slice.cnt.load(), GZ_CARD_EXPIRES, static_cast<unsigned long long>(bound));
        wake_receiver(f);
    }
    GZ_STAMP();
}

// The receive thread is joined before anything it uses is freed.
void join_receiver(FpgaRead &f)
{
    GZ_INFO(" ret = %d  ESRCH = %d EINVAL = %d \n\n", f.threadStarted ? 0 : ESRCH, ESRCH, EINVAL);
    if (f.threadStarted) {
        GZ_INFO(" thread exist and wait to be stop! \n\n");
        host().pthread_join(f.thread, nullptr);
        f.threadStarted = false;
        GZ_INFO(" thread stoped! \n\n");
    } else {
        GZ_INFO(" thread do not exist! \n\n");
    }
    GZ_INFO(" info->cmd_slice.cnt = %u,info->cmd_slice.stat = %u \n\n", f.info.cmd_slice.cnt.load(),
            f.info.cmd_slice.stat.load());
    GZ_INFO(" info->ret_slice.cnt = %u,info->ret_slice.stat = %u \n\n", f.info.ret_slice.cnt.load(),
            f.info.ret_slice.stat.load());
}

void release(FpgaRead &f)
{
    if (f.info.slice != nullptr)
        for (uint32_t i = 0; i < f.info.slice->count; i++) {
            free_entry(f.info, i, true);
            free_entry(f.info, i, false);
        }
    std::free(f.host);
    std::free(f.info.slice);
    if (f.info.handle >= 0)
        oxcompCloseHandle(f.info.handle);
}

}  // namespace

int gzread_fpga(gz_file_state *state, void *buf, uint32_t len)
{
    if (state == nullptr || buf == nullptr || len == 0)
        return GZ_ACC_E_ARG;
    GZ_INFO(" enter len = 0x%x(%d) pid = %d tid = %d\n\n", len, static_cast<int>(len), static_cast<int>(host().getpid()),
            oxcompGettid());
    FpgaRead f{state};
    f.info.handle = -1;
    f.info.buf = static_cast<uint8_t *>(buf);
    f.info.len = len;
    int ret = head_and_tail(f);
    if (ret == 0)
        ret = slice_counts(f);
    if (ret == 0)
        ret = open_and_start(f);
    if (ret == 0) {
        ret = send_slices(f);
        f.info.cmd_slice.stat = 2;   // the receive thread ends once all sent are answered
        GZ_STAMP();
        wait_receiver(f);
    }
    const bool started = f.threadStarted;
    join_receiver(f);
    const int status = started ? f.info.status.load() : 0;
    if (status != 0) {
        GZ_ERR(" gzread ret = %d failed!\n", status);
        ret = ret != 0 ? ret : status;
    }
    release(f);
    return ret != 0 ? ret : static_cast<int>(f.info.copied.load());
}

// ---- diagnostics ----------------------------------------------------------------------------

void gz_dump_request(const CompressInfo *info)
{
    if (info == nullptr)
        return;
    const CompressCtrlInfo &c = info->strCompressCtrlInfo;
    const CompressMemInfo &m = info->strCompressDataInfo.mem;
    GZ_INFO("pInfo->expires      = 0x%x\n", info->expires);
    GZ_INFO("pInfo->strCompressCtrlInfo.ulTaskId     = 0x%x\n", c.ulTaskId);
    GZ_INFO("pInfo->strCompressCtrlInfo.ucCmdType    = 0x%x\n", c.ucCmdType);
    GZ_INFO("pInfo->strCompressCtrlInfo.ucCprsLevel  = 0x%x\n", c.ucCprsLevel);
    GZ_INFO("pInfo->strCompressCtrlInfo.ucCprsForm   = 0x%x\n", c.ucCprsForm);
    GZ_INFO("pInfo->strCompressDataInfo.usDateType   = 0x%x\n", info->strCompressDataInfo.usDateType);
    GZ_INFO("pInfo->strCompressDataInfo.data.mem.ucMemReuse         = 0x%x\n", m.ucMemReuse);
    GZ_INFO("pInfo->strCompressDataInfo.data.mem.ullInputIndexAddr  = 0x%llx\n",
            static_cast<unsigned long long>(m.ullInputIndexAddr));
    GZ_INFO("pInfo->strCompressDataInfo.data.mem.ullOutputIndexAddr = 0x%llx\n",
            static_cast<unsigned long long>(m.ullOutputIndexAddr));
    GZ_INFO("pInfo->strCompressDataInfo.data.mem.input_size         = 0x%x\n", m.input_size);
    GZ_INFO("pInfo->strCompressDataInfo.data.mem.output_size        = 0x%x\n", m.output_size);
}

void gz_hex_dump(const uint8_t *buf, size_t len)
{
    if (buf == nullptr)
        return;
    std::printf("    00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f ");
    std::printf("     |  |  |  |  |  |  |  |  |  |  |  |  |  |  |  | ");
    for (size_t i = 0; i < len; i++) {
        if (i % 16 == 0)
            std::printf("\n%02x--", static_cast<unsigned>(i / 16));
        std::printf("%02x ", buf[i]);
    }
}

int gz_head_crc_check(const uint8_t *buf, size_t len)
{
    gz_head_info head{};
    const int ret = buf == nullptr ? -2 : gz_head_read(buf, len, &head);
    if (ret != 0) {
        GZ_ERR(" gz_head_parse failed ret = %d!\n", ret);
        return -2;
    }
    if (head.hcrc == 0)
        return 0;
    const auto want = static_cast<uint16_t>(::crc32(0, buf, static_cast<uInt>(head.head_len - 2)));
    if (want != head.crc) {
        GZ_ERR(" crc head_crc 0x%x != gzhead.crc 0x%x !\n", want, head.crc);
        return -4;
    }
    return 0;
}

int gz_find_byte(const uint8_t *buf, size_t n, uint8_t value)
{
    if (buf == nullptr || n == 0)
        return -4;
    return std::memchr(buf, value, n) != nullptr ? 0 : -101;
}

void gz_copy_words(void *dest, const void *src, size_t n)
{
    auto *d = static_cast<uint8_t *>(dest);
    const auto *s = static_cast<const uint8_t *>(src);
    const size_t words = n / 8;
    for (size_t i = 0; i < words; i++) {
        uint64_t w;
        std::memcpy(&w, s + i * 8, 8);
        std::memcpy(d + i * 8, &w, 8);
    }
    if (n % 8 != 0)
        memcpy_s(d + words * 8, n % 8, s + words * 8, n % 8);
}

}  // namespace gzacc
