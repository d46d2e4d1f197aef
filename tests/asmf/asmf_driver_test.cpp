// The accelerator's driver side through the simulated accelerator: request
// words, records the models saw, results, log lines and the mends.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <sys/mman.h>
#include <vector>

#include "asmf/adapter/asmf_adapter.h"
#include "asmf/adapter/asmf_res.h"
#include "asmf/memory/asmf_mem.h"
#include "asmf/task/asmf_task_rec.h"
#include "asmf/task/asmf_util.h"
#include "asmf/transeiver/asmf_transeiver.h"
#include "sim/asmf_model.h"
#include "sim/sim_sched.h"
#include "sim/sim_socket.h"
#include "support/sim_fixture.h"

namespace {

bool logged(const std::string &text)
{
    for (const SimLogLine &l : sim_syslog())
        if (l.text.find(text) != std::string::npos)
            return true;
    return false;
}

std::vector<SimJournalEntry> requests(const std::string &node) { return sim_journal_of(SimEvent::request, node); }

class AsmfTest : public SimTest {
protected:
    void TearDown() override
    {
        asmf_exit_mem();
        asmf_res_exit();
        SimTest::TearDown();
    }
};

// ---- memory pools -------------------------------------------------------------------------

TEST_F(AsmfTest, DriverCopyModeCutsCopiesInFourMiBChunks)
{
    ASSERT_EQ(asmf_init_mem(1), 0);
    uint64_t buf = asmf_malloc_mem(10 << 20, 0);
    ASSERT_EQ(buf, 0x100000000ULL);
    std::vector<uint8_t> src(10 << 20), back(10 << 20);
    for (size_t i = 0; i < src.size(); i++)
        src[i] = static_cast<uint8_t>(i * 7);
    sim_clear_journal();
    ASSERT_EQ(asmf_mem_cpy2asmf(reinterpret_cast<void *>(buf), src.data(), 10 << 20), 0);
    auto reqs = requests(ASMF_MEM_NODE);
    ASSERT_EQ(reqs.size(), 3u);
    const uint32_t lengths[] = {4 << 20, 4 << 20, 2 << 20};
    for (size_t i = 0; i < 3; i++) {
        AsmfCopyReq r;
        std::memcpy(&r, reqs[i].record.data(), sizeof r);
        EXPECT_EQ(reqs[i].request, 0xC0046D05UL);
        EXPECT_EQ(r.length, lengths[i]);
        EXPECT_EQ(static_cast<uint64_t>(r.busAddr), buf + i * (4 << 20));
    }
    ASSERT_EQ(asmf_mem_cpy2usr(back.data(), reinterpret_cast<void *>(buf), 10 << 20), 0);
    EXPECT_EQ(back, src);
    EXPECT_EQ(asmf_free_mem(buf), 0);
    EXPECT_EQ(asmf_sim_held_blocks(), 0u);
}

TEST_F(AsmfTest, MappedPoolsShowWhatCopyRequestsWrote)
{
    ASSERT_EQ(asmf_init_mem(1), 0);
    uint64_t buf = asmf_malloc_mem(1 << 20, 0);
    const char text[] = "through the driver";
    ASSERT_EQ(asmf_mem_cpy2asmf(reinterpret_cast<void *>(buf), text, sizeof text), 0);
    asmf_exit_mem();
    ASSERT_EQ(asmf_init_mem(0), 0);
    uint64_t p = asmf_p2v(0x100000000ULL);
    ASSERT_NE(p, 0u);
    EXPECT_STREQ(reinterpret_cast<const char *>(p), text);
    // a second mapping of the pool sees the same bytes
    void *again = host().mmap(nullptr, 1 << 20, PROT_READ, MAP_SHARED, g_mem_fd.load(), 0x100000000LL);
    ASSERT_NE(again, MAP_FAILED);
    EXPECT_STREQ(static_cast<const char *>(again), text);
    host().munmap(again, 1 << 20);
}

TEST_F(AsmfTest, MemoryEdgeCases)
{
    ASSERT_EQ(asmf_init_mem(1), 0);
    sim_clear_journal();
    EXPECT_EQ(asmf_malloc_mem(0, 0), 0u);
    EXPECT_TRUE(requests(ASMF_MEM_NODE).empty());
    EXPECT_EQ(asmf_free_mem(0x180000000ULL + (1ULL << 30)), -1);  // one byte past the last pool
    EXPECT_TRUE(logged("<asmf_mem-ERR>call asmf_viraddr_to_index fail."));
    EXPECT_EQ(asmf_mem_cpy2asmf(nullptr, "x", 1), ASMF_MEM_ERR_ARG);
    char c = 0;
    EXPECT_EQ(asmf_mem_cpy2usr(&c, reinterpret_cast<void *>(0x1000), 1), ASMF_MEM_ERR_V2P);
    // a copy outside the blocks held: the driver refuses it
    EXPECT_EQ(asmf_mem_cpy2asmf(reinterpret_cast<void *>(0x100000000ULL), "x", 1), -1);
    EXPECT_TRUE(logged("cpy_to_asmf fail(-1).\n"));
    EXPECT_EQ(asmf_init_mem(1), 0);
    EXPECT_TRUE(logged("<asmf_mem-DBG>repeat call asmf_init_mem.\n"));
}

struct InitCase {
    const char *name;
    void (*setup)();
    int result;
    const char *line;
};

TEST_F(AsmfTest, InitFailuresLeaveTheModuleClosed)
{
    const InitCase cases[] = {
        {"no node", [] { sim_fail_open(ASMF_MEM_NODE, ENOENT); }, -1004, "Failed to open device /dev/asmf_memory"},
        {"attr refused", [] { sim_fail_request(ASMF_MEM_NODE, 0xC0046D00UL, EIO); }, -1, "call asmf_get_pool_attr fail."},
        {"three pools", [] { asmf_sim_settings().pools.push_back({0x200000000ULL, 1 << 20}); }, -1004,
         "pool count(3) is invalid.\n"},
        {"mmap fails", [] { sim_fail_op(SimFaultOp::mmap, ASMF_MEM_NODE, ENOMEM); }, -1007, "call mmap fail index(0)"},
    };
    for (const InitCase &c : cases) {
        SCOPED_TRACE(c.name);
        sim_clear_faults();
        sim_clear_syslog();
        asmf_model_attach_default();
        c.setup();
        EXPECT_EQ(asmf_init_mem(0), c.result);
        EXPECT_TRUE(logged(c.line));
        EXPECT_EQ(g_mem_init_flag.load(), 0);
        EXPECT_EQ(g_mem_fd.load(), -1);
        EXPECT_EQ(g_mem_pool.count, 0);
        ASSERT_EQ(sim_open_count(), 0);
    }
}

TEST_F(AsmfTest, AllocationOutsideThePoolTableGivesZero)
{
    ASSERT_EQ(asmf_init_mem(1), 0);
    g_mem_pool.count = 1;  // the table holds one pool; the driver still picks pool 1
    EXPECT_EQ(asmf_malloc_mem(1 << 20, 1), 0u);
    EXPECT_TRUE(logged("pool index(1)"));
    EXPECT_EQ(asmf_index_to_viraddr(0, 1024), 0u);
    EXPECT_EQ(asmf_index_to_viraddr(0, 1023), 0x100000000ULL + (1023ULL << 20));
}

// ---- resources ---------------------------------------------------------------------------------

TEST_F(AsmfTest, ResourceRequestsPassPositiveResultsAndLogFailures)
{
    ASSERT_EQ(asmf_res_init(), 0);
    struct Row {
        unsigned long request;
        int (*op)();
        const char *failure;
    };
    const Row rows[] = {
        {0xC0046F02UL, [] { return asmf_enable_device(0); }, "enable device[0] fail.\n"},
        {0xC0046F03UL, [] { return asmf_disable_device(0); }, "disable device[0] fail.\n"},
        {0xC0046F06UL, [] { return asmf_inc_res_queue_depth(1); }, "inc res[1] depth fail.\n"},
        {0xC0046F0CUL, [] { return asmf_res_valid(1); }, "call ioctl fail."},
        {0xC0046F14UL, [] { return asmf_set_exc_pid(7); }, "set pid fail.\n"},
        {0xC0046F15UL, [] { return asmf_unset_exc_pid(); }, "unset pid fail.\n"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.failure);
        sim_clear_faults();
        sim_request_result(ASMF_RES_NODE, r.request, 3);
        EXPECT_EQ(r.op(), 3);
        sim_clear_faults();
        sim_fail_request(ASMF_RES_NODE, r.request, EIO);
        sim_clear_syslog();
        EXPECT_EQ(r.op(), -1);
        EXPECT_TRUE(logged(std::string("<asmf_res-ERR>") + r.failure));
    }
}

TEST_F(AsmfTest, DeviceRecordsAreCutAtTheirFieldEnds)
{
    asmf_sim_devices()[0].name = std::string(40, 'n');
    asmf_sim_devices()[0].node = std::string(700, 'p');
    AsmfDevRecord rec{};
    ASSERT_EQ(asmf_get_dev_by_dev_id(&rec), 0);
    EXPECT_EQ(std::strlen(rec.dev.name), 31u);
    EXPECT_EQ(std::strlen(rec.dev.path), 666u);
    AsmfDevList list{};
    asmf_sim_settings().listCount = 33;
    ASSERT_EQ(asmf_get_device_list(&list), 0);
    EXPECT_EQ(asmf_dev_list_count(&list), 32);
    EXPECT_EQ(std::strlen(list.devs[0].name), 31u);
    list.count = -4;
    EXPECT_EQ(asmf_dev_list_count(&list), 0);
}

TEST_F(AsmfTest, ShowClosesTheDescriptorAndTheNextRecordQueryReopens)
{
    ASSERT_EQ(asmf_res_init(), 0);
    EXPECT_EQ(g_asmf_res_fd.load() >= 0, true);
    EXPECT_EQ(asmf_dis_res_info(), 0);
    EXPECT_TRUE(logged("asmf_resource: device 0 acce0"));
    EXPECT_EQ(g_asmf_res_fd.load(), -1);
    AsmfDevState st{0, {}};
    EXPECT_EQ(asmf_get_device_state(&st), -1);  // closed: the request fails
    AsmfDevRecord rec{};
    EXPECT_EQ(asmf_get_dev_by_dev_id(&rec), 0);
    EXPECT_TRUE(logged("device_id[0]ok.\n"));
    EXPECT_STREQ(rec.dev.path, "/dev/acce_dev0");
    EXPECT_EQ(rec.dev.letter, 'A');
    EXPECT_EQ(asmf_get_device_state(&st), 0);
}

// Descriptor 0 is an open descriptor: no open is attempted (one would fail
// here), nothing is opened, no request goes out. Only -1 opens the node.
TEST_F(AsmfTest, DescriptorZeroCountsAsOpen)
{
    struct Case {
        int fd;
        int result;
        int fdAfter;
    } cases[] = {{0, 0, 0}, {5, 0, 5}, {-1, -4002, -1}};
    for (const Case &c : cases) {
        sim_fail_open(ASMF_RES_NODE, ENOENT);
        sim_clear_journal();
        sim_clear_syslog();
        const int opened = sim_open_count();
        g_asmf_res_fd = c.fd;
        EXPECT_EQ(asmf_res_init(), c.result) << c.fd;
        EXPECT_EQ(g_asmf_res_fd.load(), c.fdAfter) << c.fd;
        EXPECT_EQ(sim_open_count(), opened) << c.fd;
        EXPECT_TRUE(sim_journal().empty()) << c.fd;
        EXPECT_EQ(logged("call asmf_open_res_dev fail."), c.fd == -1) << c.fd;
        g_asmf_res_fd = -1;
        sim_clear_faults();
    }
}

TEST_F(AsmfTest, FileIds)
{
    ASSERT_EQ(asmf_res_init(), 0);
    sim_clear_journal();
    int id = asmf_alloc_file_id(0, 2);
    ASSERT_GE(id, 0);
    AsmfFileIdRec r;
    std::memcpy(&r, requests(ASMF_RES_NODE)[0].record.data(), sizeof r);
    EXPECT_EQ(r.cmdType, 0u);
    EXPECT_EQ(r.pid, static_cast<uint32_t>(kSchedPid));
    EXPECT_EQ(asmf_free_file_id(0, 2, static_cast<uint32_t>(id)), -1202);
    EXPECT_TRUE(logged("free file_id fail! by cmd_type(2) is invalid.\n"));
    EXPECT_EQ(asmf_alloc_file_id(1, 0), -1);
    EXPECT_EQ(asmf_free_file_id(1, 0, 0), -1202);
    EXPECT_EQ(asmf_free_file_id(0, 0, static_cast<uint32_t>(id)), 0);
    EXPECT_EQ(asmf_free_file_id(0, 0, static_cast<uint32_t>(id)), -1);
    EXPECT_TRUE(logged("free file_id fail ret(-1).\n"));
}

// ---- card requests and hot plug ------------------------------------------------------------------

TEST_F(AsmfTest, CardRequestWordsAndResults)
{
    uint32_t word = 0;
    AsmfRegReq reg{0x810, 0x5A};
    EXPECT_EQ(asmf_fpga_write_4byte_reg("/dev/acce_dev0", &reg, 'A'), 0);
    reg.value = 0;
    EXPECT_EQ(asmf_fpga_read_4byte_reg("/dev/acce_dev0", &reg, 'A'), 0);
    EXPECT_EQ(reg.value, 0x5Au);
    auto reqs = requests("/dev/acce_dev0");
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].request, 0xC0084132UL);
    EXPECT_EQ(reqs[1].request, 0xC0084131UL);
    char text[64];
    EXPECT_EQ(asmf_fpga_get_firmware_version("/dev/acce_dev0", text, 'A'), 0);
    EXPECT_STREQ(text, "fw 3.4.5");
    // another letter: the card does not know the word
    EXPECT_EQ(asmf_fpga_get_function("/dev/acce_dev0", &word, 'B'), -1);
    EXPECT_TRUE(logged("<asmf_adapter-ERR>get function fail. ret=-1\n"));
    sim_request_result("/dev/acce_dev0", 0xC0044134UL, 1);
    sim_clear_syslog();
    EXPECT_EQ(asmf_fpga_test_reg("/dev/acce_dev0", &word, 'A'), 1);
    EXPECT_TRUE(sim_syslog().empty());
}

TEST_F(AsmfTest, CardArgumentsAreCheckedBeforeAnyOpen)
{
    uint32_t word = 0;
    EXPECT_EQ(asmf_fpga_get_function("/dev/acce_dev0", &word, '0'), ASMF_ERR_ARG);
    EXPECT_EQ(asmf_fpga_get_function("/dev/acce_dev0", &word, static_cast<char>(0xC1)), ASMF_ERR_ARG);
    EXPECT_EQ(asmf_fpga_get_function("/dev/acce_dev0", nullptr, 'A'), ASMF_ERR_ARG);
    EXPECT_EQ(asmf_fpga_set_lazy_cfg(nullptr, &word, 'A'), ASMF_ERR_ARG);
    EXPECT_EQ(asmf_fpga_exc_soft_reset("/dev/acce_dev0", &word, '1'), ASMF_ERR_ARG);
    EXPECT_TRUE(logged("PATH[/dev/acce_dev0], CMD[0x"));
    EXPECT_TRUE(logged("PATH[(null)] or MAGIC[A] is invalid.\n"));
    EXPECT_TRUE(logged("path[/dev/acce_dev0] or magic[1] is invalid.\n"));
    EXPECT_TRUE(requests("/dev/acce_dev0").empty());
    EXPECT_EQ(asmf_fpga_get_function("/dev/acce_dev9", &word, 'A'), ASMF_ERR_OPEN_DEV);
}

TEST_F(AsmfTest, SentTaskNeedsAResourceHeldByTheDescriptorsThread)
{
    ASSERT_EQ(asmf_res_init(), 0);
    AsmfResAlloc alloc{};
    alloc.pid = 11;
    alloc.tid = 12;
    ASSERT_EQ(asmf_dis_alloc_res(&alloc), 0);
    FpgaTaskDesc d{};
    d.pid = 11;
    d.tid = 12;
    d.resId = alloc.resId;
    EXPECT_EQ(asmf_fpga_sent_task(alloc.dev.dev.path, &d, alloc.dev.dev.letter), 0);
    d.tid = 13;
    EXPECT_EQ(asmf_fpga_sent_task(alloc.dev.dev.path, &d, alloc.dev.dev.letter), -1);
    EXPECT_TRUE(logged("sent sort task fail. ret=-1\n"));
    AsmfResFree fr{0, alloc.resIndex, alloc.resId, 11, 12};
    EXPECT_EQ(asmf_dis_free_res(&fr), 0);
    EXPECT_EQ(asmf_sim_held_resources(), 0u);
    AsmfResFree none{0, 0, 0xFFFFFFFFu, 0, 0};
    EXPECT_EQ(asmf_dis_free_res(&none), 0);
}

TEST_F(AsmfTest, HotPlugTakesItsWaitsInVirtualTime)
{
    struct Case {
        unsigned removeFailures;
        bool addFails;
        int result;
        uint64_t seconds;
        int retryLines;
    };
    const Case cases[] = {{0, true, -1, 0, 0}, {0, false, 0, 6, 0}, {2, false, 0, 12, 1}, {4, false, -1, 15, 3}};
    uint8_t arg[8] = {};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.removeFailures);
        asmf_model_attach_default();
        sim_clear_faults();
        sim_clear_syslog();
        asmf_sim_settings().removeFailures = c.removeFailures;
        if (c.addFails)
            sim_fail_request(ASMF_HOTPLUG_NODE, 0xC0084901UL, EIO);
        uint64_t t0 = sim_clock_ns();
        EXPECT_EQ(asmf_fpga_hotplug(arg), c.result);
        EXPECT_EQ((sim_clock_ns() - t0) / 1000000000ULL, c.seconds);
        int lines = 0;
        for (const SimLogLine &l : sim_syslog())
            lines += l.text.find("hotplug remove fail. try_count=") != std::string::npos;
        EXPECT_EQ(lines, c.retryLines);
    }
    EXPECT_TRUE(logged("try_count=0, ret=-1\n"));
    EXPECT_EQ(asmf_fpga_hotplug(nullptr), ASMF_ERR_ARG);
    char hs[64];
    EXPECT_EQ(asmf_fpga_get_ifep_hs_version(hs), 0);
    EXPECT_STREQ(hs, "ifep hs 1.2.0");
}

// ---- netlink transport -----------------------------------------------------------------------

TEST_F(AsmfTest, SocketsBindOncePerPort)
{
    int a = asmf_create_sock(500);
    ASSERT_GE(a, 0);
    EXPECT_EQ(asmf_create_sock(500), ASMF_ERR_BIND);
    EXPECT_TRUE(logged("<asmf_trans-ERR>all bind fail. Address already in use"));
    host().close(a);
    EXPECT_EQ(host().gettid(), host().getpid());
}

TEST_F(AsmfTest, ReceiveTakesExactlyTheWantedLength)
{
    int s = asmf_create_sock(600);
    ASSERT_GE(s, 0);
    ResultMsg msg{};
    for (uint32_t len : {131u, 133u}) {
        std::vector<uint8_t> dgram(16 + len, 1);
        ASSERT_EQ(sim_netlink_send(ASMF_NETLINK_PROTOCOL, 0, 600, dgram), 0);
        EXPECT_EQ(asmf_recv_from_sock(s, 0, &msg, sizeof msg), ASMF_ERR_TRANS);
        EXPECT_TRUE(logged("receive length " + std::to_string(16 + len) + " not equal wanted length 148."));
    }
    EXPECT_EQ(asmf_readable_timeout(s, 2), 0);  // both consumed
    msg.errNo = 77;
    ASSERT_EQ(asmf_send_msg(600, &msg, sizeof msg), 0);
    ResultMsg got{};
    EXPECT_EQ(asmf_recv_from_sock(s, 0, &got, sizeof got), 0);
    EXPECT_EQ(got.errNo, 77u);
    EXPECT_EQ(asmf_send_msg(601, &msg, sizeof msg), ASMF_ERR_TRANS);  // nobody bound there
    EXPECT_TRUE(logged("call sendto fail. Connection refused"));
    std::vector<uint8_t> big(257);
    EXPECT_NE(asmf_send_msg(600, big.data(), 257), 0);
    host().close(s);
}

TEST(AsmfRealHost, SocketWithoutTheFamily)
{
    int s = asmf_create_sock(0x7FFFFF00);
    if (s >= 0) {
        host().close(s);
        GTEST_SKIP() << "the accelerator's netlink family is present";
    }
    EXPECT_TRUE(s == ASMF_ERR_SOCKET || s == ASMF_ERR_BIND);
    if (s == ASMF_ERR_BIND)
        GTEST_SKIP() << "this kernel knows the netlink protocol number; binding it failed";
    errno = 0;
    EXPECT_LT(socket(AF_NETLINK, SOCK_DGRAM, 26), 0);
    EXPECT_STREQ(strerror(errno), "Protocol not supported");
}

} // namespace
