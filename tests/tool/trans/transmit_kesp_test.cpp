// Transmit configuration on the simulated KESP board through the Set
// dispatcher: queue slots, the mailbox packet for the DSP ports and the
// sub-board check through the media board information.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "bases/drv/media_drv.h"
#include "sim/media_model.h"
#include "sim/sim_host.h"
#include "sim/transmit_model.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/quorbix.h"
#include "tool/trans/transmit.h"

namespace {

constexpr const char *kCfg = "/home/test/cfg.txt";
constexpr const char *kPkt = "/home/test/pkt.bin";
const std::string kStart0 = "echo 1 > /sys/class/net/trans0/test/start";
using Bytes = std::vector<uint8_t>;

class TransmitKespTest : public SimTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
    void SetUp() override
    {
        SimTest::SetUp();
        std::memcpy(saved_, gBoardName, sizeof saved_);
        std::strcpy(gBoardName, "ZK17KESP");
    }
    void TearDown() override
    {
        std::memcpy(gBoardName, saved_, sizeof saved_);
        SimTest::TearDown();
    }

    ConsoleRun config(const std::string &text)
    {
        sim_write_file(kCfg, text);
        std::string path = std::string("transmit/e/") + kCfg;
        return console_run([&] { return op_set(path.c_str()); });
    }
    static TransmitDesc desc()
    {
        TransmitDesc d{};
        sim_phys_read(kSimTransmitDesc[0], &d, sizeof d);
        return d;
    }
    static Bytes packet(size_t offset, size_t n)
    {
        Bytes b(n);
        sim_phys_read(kSimTransmitPackets[0] + offset, b.data(), n);
        return b;
    }
    static size_t starts()
    {
        size_t n = 0;
        for (const std::string &c : sim_commands_run())
            n += c == kStart0;
        return n;
    }

    char saved_[kBoardNameSize] = {};
};

std::string payload(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++)
        s[i] = static_cast<char>(0x30 + i % 64);
    return s;
}

const std::string kDspCfg = "subboard0_dsp_config\t1:2:3:4:5:6:7:8:9\nsubboard1_dsp_config\ta:b:c:d:e:f:10:11:12\n";

TEST_F(TransmitKespTest, MailboxPacketOfTheExample)
{
    sim_write_file(kPkt, payload(20));
    ConsoleRun r = config("fpga_id\t0\nloop_mod\t0\nport_id\t5\nmailbox_id\t1\ndsp_id\t3\ncore_id\t6\nrx_queue_id\t9\n"
                          "tx_queue_id\t7\npkg_src_file\t/home/test/pkt.bin\n");
    ASSERT_EQ(r.status, 0) << r.out;
    const TransmitDesc d = desc();
    EXPECT_EQ(d.valid_flag, 0xE1);
    EXPECT_EQ(d.tx_queue_id, 7);   // KESP keeps the queue as configured
    EXPECT_EQ(d.packet_length, 36u);
    const Bytes head = packet(0x1000, 16);   // queue 7: slot (7 / 3) * 2048
    EXPECT_EQ(head, (Bytes{0x7F, 0x7E, 0x20, 0x00, 0x02, 0x0F, 1, 3, 6, 2, 0, 0, 0, 0, 0, 0}));
    const std::string pl = payload(20);
    EXPECT_EQ(packet(0x1010, 20), Bytes(pl.begin(), pl.end()));
    EXPECT_EQ(starts(), 1U);
    EXPECT_TRUE(contains(r.out, "packet_length = 24\n"));
}

TEST_F(TransmitKespTest, MailboxPacketVariants)
{
    struct Case {
        const char *name;
        size_t payload;
        std::string keys;
        uint64_t length;     // packet_length
        uint16_t kind;       // 0x0F01 or 0x0F02; 0 for no mailbox packet
        uint8_t port;
        const char *line;
    } cases[] = {
        {"mailbox 0, port 4", 10, "port_id\t4\nmailbox_id\t0\n", 26, 0x0F01, 0, nullptr},
        {"payload clipped to 496", 600, "port_id\t4\n", 512, 0x0F01, 0, "uiPktLen = 496\n"},
        {"loop mode: plain packet", 20, "port_id\t4\nloop_mod\t1\n", 20, 0, 0, nullptr},
        {"port 3: plain packet", 20, "port_id\t3\n", 20, 0, 0, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_phys_write(kSimTransmitPackets[0], std::vector<uint8_t>(0x800, 0).data(), 0x800);
        sim_write_file(kPkt, payload(c.payload));
        ConsoleRun r = config("fpga_id\t0\ntx_queue_id\t2\npkg_src_file\t/home/test/pkt.bin\n" + c.keys);
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(desc().packet_length, c.length);
        Bytes head = packet(0, 16);
        if (c.kind != 0) {
            uint16_t words[3];
            std::memcpy(words, head.data(), sizeof words);
            EXPECT_EQ(words[0], 0x7E7F);
            EXPECT_EQ(words[1], c.length - 4);
            EXPECT_EQ(words[2], c.kind);
            EXPECT_EQ(head[6], c.port);
        } else {
            EXPECT_EQ(head[0], 0x30);   // the file from the slot's start
        }
        if (c.line != nullptr) {
            EXPECT_TRUE(contains(r.out, c.line)) << r.out;
        }
    }
}

TEST_F(TransmitKespTest, QueueLimitAndSlots)
{
    sim_write_file(kPkt, payload(8));
    struct Case {
        uint32_t queue;
        int status;
        size_t slot;
    } cases[] = {{32, 0, 0x5000}, {33, -1202, 0}, {3, 0, 0x800}, {0, 0, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.queue);
        sim_phys_write(kSimTransmitPackets[0], std::vector<uint8_t>(0x6000, 0).data(), 0x6000);
        size_t before = starts();
        ConsoleRun r = config("fpga_id\t0\nport_id\t1\ntx_queue_id\t" + std::to_string(c.queue) +
                              "\npkg_src_file\t/home/test/pkt.bin\n");
        EXPECT_EQ(r.status, c.status) << r.out;
        if (c.status != 0) {
            EXPECT_TRUE(contains(r.out, "tx_queue_id bigger than 33 !\n")) << r.out;
            EXPECT_EQ(packet(0x5800, 8), Bytes(8, 0));   // nothing landed past the slots
            EXPECT_EQ(starts(), before);
            continue;
        }
        EXPECT_EQ(packet(c.slot, 1)[0], 0x30);
    }
    // A queue above 32 set after the packet is refused at the end.
    size_t before = starts();
    ConsoleRun r = config("fpga_id\t0\npkg_src_file\t/home/test/pkt.bin\ntx_queue_id\t40\n");
    EXPECT_EQ(r.status, -1202);
    EXPECT_TRUE(contains(r.out, "tx_queue_id bigger than 33 !\n"));
    EXPECT_EQ(starts(), before);
}

TEST_F(TransmitKespTest, MailboxPacketWithoutAPacketFileIsRefused)
{
    ConsoleRun r = config("fpga_id\t0\nport_id\t4\ntx_queue_id\t0\n");
    EXPECT_EQ(r.status, -1202);
    EXPECT_EQ(desc().valid_flag, 0);
    EXPECT_EQ(packet(0, 4), Bytes(4, 0));
    EXPECT_EQ(starts(), 0U);
}

TEST_F(TransmitKespTest, AbsentSubBoardClearsItsDspConfiguration)
{
    sim_write_file(kPkt, payload(8));
    struct Case {
        const char *name;
        bool sub0, sub1;
        Bytes first, second;
    } cases[] = {
        {"sub-board 1 absent", true, false, {1, 2, 3, 4, 5, 6, 7, 8, 9}, Bytes(9, 0)},
        {"both present", true, true, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}},
        {"only sub-board 1", false, true, Bytes(9, 0), {10, 11, 12, 13, 14, 15, 16, 17, 18}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        media_set_subrd(0, c.sub0);
        media_set_subrd(1, c.sub1);
        ConsoleRun r = config("fpga_id\t0\nport_id\t1\ntx_queue_id\t0\n" + kDspCfg);
        ASSERT_EQ(r.status, 0) << r.out;
        const TransmitDesc d = desc();
        EXPECT_EQ(Bytes(d.subboard_dsp_config[0], d.subboard_dsp_config[0] + 9), c.first);
        EXPECT_EQ(Bytes(d.subboard_dsp_config[1], d.subboard_dsp_config[1] + 9), c.second);
    }
}

TEST_F(TransmitKespTest, BoardInformationFailureWritesNoDescriptor)
{
    sim_write_file(kPkt, payload(20));
    media_fail(MEDIA_INIT_STATE, 0, 4, EIO);
    ConsoleRun r = config("fpga_id\t0\nport_id\t5\ntx_queue_id\t0\npkg_src_file\t/home/test/pkt.bin\n" + kDspCfg);
    EXPECT_EQ(r.status, -1200);
    EXPECT_TRUE(contains(r.out, "GetKespSubBoardPresentState excute err,iRet = -1200\n")) << r.out;
    EXPECT_EQ(desc().valid_flag, 0);
    EXPECT_EQ(desc().packet_length, 0u);
    EXPECT_EQ(starts(), 0U);
    EXPECT_EQ(packet(0, 2), (Bytes{0x7F, 0x7E}));   // the mailbox packet is already in the area
    EXPECT_EQ(transmit_config(kCfg, 255, 0, 0), -1200);
}

TEST_F(TransmitKespTest, PresenceMaskIsAddedTo)
{
    uint32_t mask = 0x10;
    ASSERT_EQ(GetKespSubBoardPresentState(&mask), 0);
    EXPECT_EQ(mask, 0x11u);   // fresh board: sub-board 0 only
}

} // namespace
