// The task framework through the simulated card, in virtual time: requests
// with and without a handle, the framework's notices, start and stop.
// Threads are created by the framework (pthread_create through the host).
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "asmf/interface/asmf_interface.h"
#include "asmf/memory/asmf_mem.h"
#include "asmf/task/asmf_task.h"
#include "asmf/transeiver/asmf_transeiver.h"
#include "sim/asmf_model.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"
#include "support/sim_fixture.h"

namespace {

constexpr uint32_t kLen = 4096;
constexpr uint64_t kMs = 1000000;

bool logged(const std::string &text)
{
    for (const SimLogLine &l : sim_syslog())
        if (l.text.find(text) != std::string::npos)
            return true;
    return false;
}

class AsmfFrameworkTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        ASSERT_EQ(oxcompInit(), 0);
        handle_alloc a{1, 7777, 0, 0, 255};
        handle_ = oxcompOpenHandle(&a);
        ASSERT_EQ(handle_, 0);
        in_ = oxcompMemAlloc(handle_, kLen, 0);
        out_ = oxcompMemAlloc(handle_, kLen, 0);
        ASSERT_NE(in_, 0u);
        ASSERT_NE(out_, 0u);
        data_.resize(kLen);
        for (uint32_t i = 0; i < kLen; i++)
            data_[i] = static_cast<uint8_t>(i * 7);
        ASSERT_EQ(oxcompMemCpytoAcc(reinterpret_cast<void *>(in_), data_.data(), kLen), 0);
    }
    void TearDown() override
    {
        if (g_oxcomp_init_flag.load() == 1) {
            EXPECT_EQ(oxcompMemFree(handle_, in_), 0);
            EXPECT_EQ(oxcompMemFree(handle_, out_), 0);
            EXPECT_EQ(oxcompCloseHandle(handle_), 0);
            EXPECT_EQ(oxcompFinalize(), 0);
        }
        EXPECT_EQ(asmf_sim_held_blocks(), 0u);
        EXPECT_EQ(asmf_sim_held_resources(), 0u);
        EXPECT_EQ(sched_live_threads(), 1) << "framework threads left";
        SimTest::TearDown();
    }
    CompressInfo request(uint8_t cmdType = 0, uint32_t expires = 0) const
    {
        CompressInfo c{};
        c.strCompressCtrlInfo.ucCmdType = cmdType;
        c.strCompressCtrlInfo.ucFlag = 3;
        c.strCompressDataInfo.mem.ullInputIndexAddr = in_;
        c.strCompressDataInfo.mem.input_size = kLen;
        c.strCompressDataInfo.mem.ullOutputIndexAddr = out_;
        c.strCompressDataInfo.mem.output_size = kLen;
        c.expires = expires;
        return c;
    }
    std::vector<uint8_t> output() const
    {
        std::vector<uint8_t> got(kLen);
        EXPECT_EQ(oxcompMemCpytoUsr(got.data(), reinterpret_cast<void *>(out_), kLen), 0);
        return got;
    }

    int handle_ = -1;
    uint64_t in_ = 0, out_ = 0;
    std::vector<uint8_t> data_;
};

TEST_F(AsmfFrameworkTest, SynchronousRequestCopiesThroughTheCard)
{
    CompressInfo c = request();
    uint64_t t0 = sched_now_ns();
    ASSERT_EQ(oxcompCompressSync(0, &c), 0);
    EXPECT_LT(sched_now_ns() - t0, 5 * kMs);
    EXPECT_EQ(c.strCompressDataInfo.mem.output_size, kLen);
    EXPECT_EQ(output(), data_);
    EXPECT_EQ(asmf_sim_tasks(), 1u);
}

TEST_F(AsmfFrameworkTest, HandleWriteAndReadGiveTheCardsResult)
{
    CompressInfo c = request();
    ASSERT_EQ(oxcompWriteHandle(handle_, &c), 0);
    recv_info r{};
    ASSERT_EQ(oxcompReadHandle(handle_, &r), 0);
    EXPECT_EQ(r.status, 0u);
    EXPECT_EQ(r.err_no, 0u);
    EXPECT_EQ(r.result_length, kLen);
    EXPECT_EQ(output(), data_);
    // A decompress request on a compress handle is refused.
    c.strCompressCtrlInfo.ucCmdType = 1;
    EXPECT_EQ(oxcompWriteHandle(handle_, &c), -1215);
}

// A transform that appends: it sees its task's input in place and gets its
// output buffer empty, whatever the task before it left there.
bool reversing(const FpgaTaskDesc &, std::span<const uint8_t> in, AsmfSimOutput &out, uint32_t &crc)
{
    for (size_t i = in.size(); i-- > 0;)
        out.vec.push_back(in[i]);
    crc += static_cast<uint32_t>(in.size());
    return true;
}

TEST_F(AsmfFrameworkTest, EachTaskGetsItsOwnInputAndAnEmptyOutput)
{
    asmf_sim_settings().transform = reversing;
    for (const uint32_t len : {kLen, kLen / 2, 1u}) {
        CompressInfo c = request();
        c.strCompressDataInfo.mem.input_size = len;
        ASSERT_EQ(oxcompCompressSync(0, &c), 0) << len;
        EXPECT_EQ(c.strCompressDataInfo.mem.output_size, len);
        const std::vector<uint8_t> got = output();
        for (uint32_t i = 0; i < len; i++)
            ASSERT_EQ(got[i], data_[len - 1 - i]) << len << " byte " << i;
    }
}

TEST_F(AsmfFrameworkTest, PlainCopyOnADecompressHandle)
{
    handle_alloc a{1, 8888, 0, 1, 255};
    int h = oxcompOpenHandle(&a);
    ASSERT_EQ(h, 1);
    CompressInfo c = request(3);
    ASSERT_EQ(oxcompWriteHandle(h, &c), 0);
    recv_info r{};
    ASSERT_EQ(oxcompReadHandle(h, &r), 0);
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(r.err_no, 0u);
    EXPECT_EQ(output(), data_);
    EXPECT_EQ(asmf_sim_tasks(), 0u) << "the framework copies itself";
    EXPECT_EQ(oxcompCloseHandle(h), 0);
}

TEST_F(AsmfFrameworkTest, NoticesForRefusedResourcesAndQueueTimeOut)
{
    asmf_sim_settings().allocBusyUntilNs = 60 * 1000 * kMs;
    CompressInfo busy = request(0, 3);
    CompressInfo queued = request(0, 2);
    uint64_t t0 = sched_now_ns();
    ASSERT_EQ(oxcompWriteHandle(handle_, &busy), 0);
    ASSERT_EQ(oxcompWriteHandle(handle_, &queued), 0);
    recv_info r{};
    ASSERT_EQ(oxcompReadHandle(handle_, &r), 0);
    EXPECT_EQ(r.err_no, 1u) << "queued behind a busy worker";
    uint64_t queuedFor = sched_now_ns() - t0;
    EXPECT_GE(queuedFor, 1000 * kMs);
    EXPECT_LE(queuedFor, 2000 * kMs);
    ASSERT_EQ(oxcompReadHandle(handle_, &r), 0);
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(r.err_no, 2u) << "no resource for 3 s";
    uint64_t refusedFor = sched_now_ns() - t0;
    EXPECT_GE(refusedFor, 3000 * kMs);
    EXPECT_LE(refusedFor, 3100 * kMs);
    EXPECT_TRUE(logged("can not alloc res func_type(0)"));
    EXPECT_TRUE(logged("timeout[0] cmd_seg= 0"));
}

TEST_F(AsmfFrameworkTest, FinalizeJoinsThreadsAndCancelsQueuedTasks)
{
    asmf_sim_settings().allocBusyUntilNs = 60 * 1000 * kMs;
    int sock = -1;
    {
        AsmfHandler h{};
        ASSERT_EQ(asmf_get_handler_info(handle_, &h), 0);
        sock = h.sock;
    }
    CompressInfo c = request(0, 20);
    ASSERT_EQ(oxcompWriteHandle(handle_, &c), 0);
    ASSERT_EQ(oxcompWriteHandle(handle_, &c), 0);
    host().usleep(50000);
    EXPECT_EQ(oxcompMemFree(handle_, in_), 0);
    EXPECT_EQ(oxcompMemFree(handle_, out_), 0);
    uint64_t t0 = sched_now_ns();
    AsmfHandler h{};
    ASSERT_EQ(asmf_get_handler_info(handle_, &h), 0);
    ASSERT_EQ(oxcompFinalize(), 0);
    EXPECT_LE(sched_now_ns() - t0, 1000 * kMs) << "each thread notices within 1 s";
    EXPECT_EQ(sched_live_threads(), 1);
    // The resource node is closed now: read the notices as they came.
    for (int i = 0; i < 2; i++) {
        ResultMsg m{};
        EXPECT_EQ(asmf_recv_from_sock(sock, 0, &m, sizeof m), 0);
        EXPECT_EQ(m.status, 2u);
        EXPECT_EQ(m.errNo, 5u);
        EXPECT_EQ(m.desc.resId, 0xFFFFFFFFu);
    }
    host().close(sock);
}

TEST_F(AsmfFrameworkTest, HandleTableLimitsAndReferences)
{
    EXPECT_EQ(asmf_close_handle(256), -4005);
    EXPECT_EQ(asmf_close_handle(5), -1210);
    EXPECT_TRUE(logged("handler_id[5] is refree err"));
    uint8_t fid = 0;
    EXPECT_EQ(asmf_get_fileid_by_handle(-1, &fid), -4005);
    EXPECT_TRUE(logged("handler_id[-1] is not between 0~256"));
    recv_info r{};
    EXPECT_EQ(oxcompReadHandle(9, &r), -1200);
    handle_alloc same{1, 7777, 0, 0, 255};
    EXPECT_EQ(oxcompOpenHandle(&same), -1200) << "one bound socket per thread id";
    handle_alloc withId{2, 9999, 0, 0, 0};
    int h = oxcompOpenHandle(&withId);
    ASSERT_EQ(h, 1);
    ASSERT_EQ(asmf_get_fileid_by_handle(h, &fid), 0);
    EXPECT_LT(fid, 255);
    g_handler_id_tbl[h].refer = 1;  // a write in progress
    EXPECT_EQ(oxcompCloseHandle(h), 0);
    EXPECT_TRUE(logged("handler_id(1), refer_cont(1)is not zero. force free it"));
}

std::atomic<int> g_async_calls{0};
recv_info g_async_result;

void async_done(recv_info *r)
{
    g_async_result = *r;
    g_async_calls++;
}

TEST_F(AsmfFrameworkTest, AsynchronousRequestCallsBackOnce)
{
    g_async_calls = 0;
    CompressInfo c = request();
    ASSERT_EQ(oxcompCompressAsync(0, &c, async_done), 0);
    for (int i = 0; i < 100 && g_async_calls.load() == 0; i++)
        host().usleep(1000);
    ASSERT_EQ(g_async_calls.load(), 1);
    EXPECT_EQ(g_async_result.status, 0u);
    EXPECT_EQ(g_async_result.result_length, kLen);
    EXPECT_EQ(output(), data_);
    EXPECT_EQ(oxcompCompressAsync(0, &c, nullptr), -1001);
}

class OxcompInitTest : public SimTest {};

TEST_F(OxcompInitTest, InitTwiceFinalizeWithoutInitAndSyncFlag)
{
    EXPECT_EQ(oxcompFinalize(), -1);
    EXPECT_TRUE(logged("asmf not inited yet."));
    handle_alloc a{1, 2, 0, 0, 255};
    EXPECT_EQ(oxcompOpenHandle(&a), -1228);
    EXPECT_EQ(oxcompOpenHandle(nullptr), -1001);
    CompressInfo c{};
    c.strCompressCtrlInfo.ucFlag = 1;
    c.strCompressDataInfo.mem.ullInputIndexAddr = 0x100000000ULL;
    c.strCompressDataInfo.mem.input_size = 10;
    c.strCompressDataInfo.mem.ullOutputIndexAddr = 0x100100000ULL;
    c.strCompressDataInfo.mem.output_size = 10;
    EXPECT_EQ(oxcompCompressSync(0, &c), -1215);
    EXPECT_TRUE(logged("ucFlag(0x1) usDateType(0) is unsupport!"));
    ASSERT_EQ(oxcompInit(), 0);
    EXPECT_EQ(sched_live_threads(), 5);
    EXPECT_EQ(oxcompInit(), 0);
    EXPECT_EQ(sched_live_threads(), 5);
    g_oxcomp_init_flag = 7;
    EXPECT_EQ(oxcompInit(), -1);
    g_oxcomp_init_flag = 1;
    EXPECT_EQ(oxcompFinalize(), 0);
    EXPECT_EQ(sched_live_threads(), 1);
}

TEST_F(OxcompInitTest, InitFailingAtResourcesUnwinds)
{
    sim_remove_node(ASMF_RES_NODE);
    EXPECT_LT(oxcompInit(), 0);
    EXPECT_TRUE(logged("call asmf_res_init fail. ret="));
    EXPECT_EQ(g_oxcomp_init_flag.load(), 0u);
    EXPECT_EQ(sched_live_threads(), 1);
}

} // namespace
