// The raw Ethernet frame sender through the test block's dispatcher, on the
// simulated board's packet sockets, in virtual time. The command starts its
// sender thread (host().pthread_create), so these run under TSan too.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "sim/sim_sched.h"
#include "sim/sim_socket.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/trans/nic.h"
#include "tool/trans_op.h"

namespace {

constexpr const char *kDashes =
    "-------------------------------------------------------------------------------------------\n";

class NicTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        // The program may start with SIGINT ignored (a background job of a
        // non-interactive shell): the command restores what it found.
        sigaction(SIGINT, nullptr, &intBefore_);
        sigaction(SIGTERM, nullptr, &termBefore_);
        sim_packet_add({{"eth0", 3}, {"eth1", 4}});
        sim_write_file("/tmp/frame.bin", std::string("\x01\x02\x03", 3));
    }
    void TearDown() override
    {
        EXPECT_EQ(sched_live_threads(), 1) << "a sender thread left";
        struct sigaction now {};
        sigaction(SIGINT, nullptr, &now);
        EXPECT_EQ(now.sa_handler, intBefore_.sa_handler) << "SIGINT disposition not restored";
        sigaction(SIGTERM, nullptr, &now);
        EXPECT_EQ(now.sa_handler, termBefore_.sa_handler) << "SIGTERM disposition not restored";
        SimTest::TearDown();
    }

    struct sigaction intBefore_ {};
    struct sigaction termBefore_ {};
};

// The command's console text without the line the command prints once
// the sender started: the sender may print before it.
ConsoleRun nic(const std::string &params, bool *started = nullptr)
{
    ConsoleRun r = console_run([&] { return op_test(("nic/" + params).c_str()); });
    const std::string line = "pthread_create over!\n";
    size_t at = r.out.find(line);
    if (started != nullptr)
        *started = at != std::string::npos;
    if (at != std::string::npos)
        r.out.erase(at, line.size());
    return r;
}

std::string banner(const char *name, const char *file, int count, int interval)
{
    return std::string(kDashes) + "input info:ethname:" + name + ",File_name:" + file +
           ",packetnum:" + std::to_string(count) + ",interval:" + std::to_string(interval) + ",randomflag:0\n" + kDashes;
}

TEST_F(NicTest, SendsTheFrameCountTimesWithPauses)
{
    bool started = false;
    ConsoleRun r = nic("eth1,/tmp/frame.bin,3,1500000,00:01:02:03:04:05,a0:b1:c2:d3:e4:f5", &started);
    EXPECT_TRUE(started);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, banner("eth1", "/tmp/frame.bin", 3, 1500000) +
                         "packet_len is:3\nSendFrameSendTask send over,sendcnt is:3\nclient exit 0!\n");
    std::vector<SimFrame> frames = sim_packet_frames();
    ASSERT_EQ(frames.size(), 3u);
    const std::vector<uint8_t> expect = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0xa0, 0xb1, 0xc2, 0xd3, 0xe4,
                                         0xf5, 0x81, 0x00, 0x00, 0x01, 0x08, 0x06, 0x01, 0x02, 0x03};
    for (const SimFrame &f : frames) {
        EXPECT_EQ(f.bytes, expect);
        EXPECT_EQ(f.ifindex, 4);
    }
    EXPECT_EQ(frames[1].at_ns - frames[0].at_ns, 1500000000u);   // a pause of 1.5 s between frames
}

TEST_F(NicTest, CountZeroSendsNothingAndAnEmptyFileSendsTheHead)
{
    ConsoleRun r = nic("eth0,/tmp/frame.bin,0,0,0:1:2:3:4:5,0:1:2:3:4:5");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("SendFrameSendTask send over,sendcnt is:0\nclient exit 0!\n"), std::string::npos) << r.out;
    EXPECT_EQ(sim_packet_sent(), 0u);
    sim_write_file("/tmp/empty.bin", "");
    r = nic("eth0,/tmp/empty.bin,1,0,0:1:2:3:4:5,0:1:2:3:4:5");
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(sim_packet_frames().size(), 1u);
    EXPECT_EQ(sim_packet_frames()[0].bytes.size(), 18u);
}

TEST_F(NicTest, WithoutEndUntilASignal)
{
    // SIGTERM ends a bounded run early the same way.
    sim_packet_signal_after(2, SIGTERM);
    ConsoleRun r = nic("eth0,/tmp/frame.bin,100,0,0:1:2:3:4:5,0:1:2:3:4:5");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sim_packet_sent(), 2u);
    EXPECT_TRUE(r.out.ends_with("sendcnt is:2\nsigint_hdl signal receive!\nsigint_hdl client exit 0!\n")) << r.out;
    struct sigaction term {};
    sigaction(SIGTERM, nullptr, &term);
    EXPECT_EQ(term.sa_handler, termBefore_.sa_handler);

    sim_packet_add({{"eth0", 3}});
    sim_packet_signal_after(5, SIGINT);
    r = nic("eth0,/tmp/frame.bin,888,10,0:1:2:3:4:5,0:1:2:3:4:5");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sim_packet_sent(), 5u);
    EXPECT_TRUE(r.out.ends_with("SendFrameSendTask send over,sendcnt is:0\nsigint_hdl signal receive!\n"
                                "sigint_hdl client exit 0!\n"))
        << r.out;
    EXPECT_NE(r.out.find("packetnum not limit, will always sendpkt!\n"), std::string::npos);
    EXPECT_EQ(r.out.find("client exit 0!\n"), r.out.find("sigint_hdl client exit 0!\n") + 11);
}

TEST_F(NicTest, RefusedInputs)
{
    sim_write_file("/tmp/huge.bin", std::string(65535 - 17, 'x'));
    struct Row {
        const char *params;
        std::string out;
    };
    const Row rows[] = {
        {"", "please input like this:sendframe eth_name Sendfile packet_num interval(us) Dmac Smac "
             "vlan+ethertype randomflag(0-255)\n"},
        {"eth0,/tmp/frame.bin,1,0,0:1:2:3:4:5", "Invalid optarg: eth0,/tmp/frame.bin,1,0,0:1:2:3:4:5, ret = 5\n"},
        {"eth0,/tmp/none.bin,1,0,0:1:2:3:4:5,0:1:2:3:4:5", "get file size failed\n"},
        {"eth0,/tmp/frame.bin,-1,0,0:1:2:3:4:5,0:1:2:3:4:5", "input error\nplease input right pkt num!\n"},
        {"eth0,/tmp/frame.bin,1,-1,0:1:2:3:4:5,0:1:2:3:4:5", "input error\nplease input right interval\n"},
        {"eth0,/tmp/frame.bin,1,0,0:1:2:3:4,0:1:2:3:4:5",
         "input error\nplease input right dmac(like:00:01:02:03:04:05)\n"},
        {"eth0,/tmp/frame.bin,1,0,0:1:2:3:4:5,0:1:2:3:4",
         "input error\nplease input right smac(like:00:01:02:03:04:05)\n"},
        {"eth0,/tmp/huge.bin,1,0,0:1:2:3:4:5,0:1:2:3:4:5",
         "send file too large: 65518 bytes, a frame holds at most 65517\n"},
    };
    for (const Row &row : rows) {
        ConsoleRun r = nic(row.params);
        EXPECT_EQ(r.status, -1) << row.params;
        EXPECT_EQ(r.out, row.out) << row.params;
    }
    EXPECT_EQ(sim_packet_sent(), 0u);
}

TEST_F(NicTest, FailuresBeforeAnyFrameEndWithMinusOne)
{
    // An unknown interface: the index request fails.
    ConsoleRun r = nic("eth7,/tmp/frame.bin,2,0,0:1:2:3:4:5,0:1:2:3:4:5");
    EXPECT_EQ(r.status, -1);
    EXPECT_NE(r.out.find("SendFrameSendTask ioctl err, ret = -1, reason:No such device\n"), std::string::npos) << r.out;
    EXPECT_TRUE(r.out.ends_with("client exit -1!\n")) << r.out;
    // A frame too long for the link gives up at once.
    sim_fail_op(SimFaultOp::send, "socket:packet", EMSGSIZE);
    r = nic("eth0,/tmp/frame.bin,2,0,0:1:2:3:4:5,0:1:2:3:4:5");
    EXPECT_EQ(r.status, -1);
    EXPECT_NE(r.out.find("sendto fail ret:-1, reason:Message too long\n"), std::string::npos) << r.out;
    EXPECT_TRUE(r.out.ends_with("client exit -1!\n")) << r.out;
    sim_clear_faults();
    // Another send error is tried again without counting.
    sim_fail_op(SimFaultOp::send, "socket:packet", EAGAIN, 1);
    r = nic("eth0,/tmp/frame.bin,2,0,0:1:2:3:4:5,0:1:2:3:4:5");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sim_packet_sent(), 2u);
    sim_clear_faults();
    // No socket.
    sim_unregister_socket(AF_PACKET, kSimAnyProtocol);
    r = nic("eth0,/tmp/frame.bin,2,0,0:1:2:3:4:5,0:1:2:3:4:5");
    EXPECT_EQ(r.status, -1);
    EXPECT_TRUE(r.out.ends_with("creat socket fail:Address family not supported by protocol\n")) << r.out;
}

} // namespace
