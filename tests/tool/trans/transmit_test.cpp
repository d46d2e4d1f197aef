// Transmit configuration files through the Set dispatcher on the simulated
// DORN board: the descriptor and packet bytes in simulated physical memory,
// the shell commands run, the console lines and the failures.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "sim/sim_host.h"
#include "sim/transmit_model.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/quorbix.h"
#include "tool/trans/transmit.h"

namespace {

constexpr const char *kCfg = "/home/test/cfg.txt";
constexpr const char *kPkt = "/home/test/pkt.bin";
constexpr uint64_t kSecond = 1000000000ULL;

const std::string kCat0 = "cat /sys/class/net/trans0/test/start";
const std::string kRm = "rm -rf /opt/*vec_err*";
const std::string kStart0 = "echo 1 > /sys/class/net/trans0/test/start";

// Mapped addresses and source lines vary: "mapped addr X", "file:L".
std::string normal(const std::string &out)
{
    std::string s = std::regex_replace(out, std::regex("mapped addr [0-9a-f]+"), "mapped addr X");
    return std::regex_replace(s, std::regex("tool/trans/transmit\\.cpp:[0-9]+"), "transmit.cpp:L");
}

class TransmitTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        std::memcpy(saved_, gBoardName, sizeof saved_);
        std::strcpy(gBoardName, "ZK17DORN");
    }
    void TearDown() override
    {
        std::memcpy(gBoardName, saved_, sizeof saved_);
        SimTest::TearDown();
    }

    ConsoleRun set(const std::string &path)
    {
        ConsoleRun r = console_run([&] { return op_set(path.c_str()); });
        r.out = normal(r.out);
        return r;
    }

    ConsoleRun config(const std::string &text)
    {
        sim_write_file(kCfg, text);
        return set(std::string("transmit/e/") + kCfg);
    }

    static TransmitDesc desc(int fpga = 0)
    {
        TransmitDesc d{};
        sim_phys_read(kSimTransmitDesc[fpga], &d, sizeof d);
        return d;
    }

    static std::vector<uint8_t> packet(size_t offset, size_t n, int fpga = 0)
    {
        std::vector<uint8_t> b(n);
        sim_phys_read(kSimTransmitPackets[fpga] + offset, b.data(), n);
        return b;
    }

    char saved_[kBoardNameSize] = {};
};

std::string bytes_file(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++)
        s[i] = static_cast<char>(i * 7 + 1);
    return s;
}

TEST_F(TransmitTest, EveryKeyFillsItsField)
{
    sim_write_file(kPkt, bytes_file(100));
    ConsoleRun r = config("# a comment\n"
                          "fpga_id\t0\nport_id\t3\nloop_mod\t4\nloop_queue_id\t5\ntx_queue_id\t8\nrx_queue_id\t9\n"
                          "packet_num\t1000\nsend_intervial\t20\nchecksum_switch\t1\nchecksum_start\t14\n"
                          "checksum_len\t40\npkgtype\t2\ntrans_rules\t1,2,3,4,5,6,7,255\n"
                          "dmac\t00:11:22:33:44:55;66:77:88:99:aa:bb;01:02:03:04:05:06;a0:b0:c0:d0:e0:f0\n"
                          "pkg_print_flag\t1\npkg_src_file\t/home/test/pkt.bin\npkg_print_file\t/tmp/print.txt\n"
                          "dsp_id\t1\ncore_id\t2\nmailbox_id\t3\nsubboard0_dsp_config\t1:2:3:4:5:6:7:8:9\n"
                          "subboard1_dsp_config\ta:b:c:d:e:f:10:11:1ff\ntx_all_dsp_flag\t-1\nunknown_key\t7\n"
                          "port_id\t4\n");
    EXPECT_EQ(r.status, 0) << r.out;
    const TransmitDesc d = desc();
    EXPECT_EQ(d.valid_flag, 0xE1);
    EXPECT_EQ(d.fpga_id, 0);
    EXPECT_EQ(d.port_id, 4);   // a key again overrides
    EXPECT_EQ(d.loop_mod, 4);
    EXPECT_EQ(d.loop_queue_id, 5);
    EXPECT_EQ(d.tx_queue_id, 2);
    EXPECT_EQ(d.pkg_print_flag, 1);
    EXPECT_EQ(d.rx_queue_id, 9);
    EXPECT_EQ(d.packet_num, 1000u);
    EXPECT_EQ(d.send_intervial, 20u);
    EXPECT_EQ(std::vector<uint8_t>(d.trans_rules, d.trans_rules + 8), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 255}));
    EXPECT_EQ(d.dsp_id, 1);
    EXPECT_EQ(d.core_id, 2);
    EXPECT_EQ(d.mailbox_id, 3);
    EXPECT_EQ(d.dmac[1][5], 0xBB);
    EXPECT_EQ(d.dmac[3][0], 0xA0);
    EXPECT_EQ(d.packet_length, 100u);
    EXPECT_STREQ(d.packet_print_path, "/tmp/print.txt");
    EXPECT_EQ(d.subboard_dsp_config[0][8], 9);
    EXPECT_EQ(d.subboard_dsp_config[1][8], 0xFF);
    EXPECT_EQ(d.tx_all_dsp_flag, 0xFF);
    EXPECT_EQ(d.pkgtype, 2);
    EXPECT_EQ(d.checksum_switch, 1);
    EXPECT_EQ(d.checksum_start, 14u);
    EXPECT_EQ(d.checksum_len, 40u);
    // The packet of queue 8 at 8 x 512.
    std::string pkt = bytes_file(100);
    EXPECT_EQ(packet(4096, 100), std::vector<uint8_t>(pkt.begin(), pkt.end()));
    EXPECT_EQ(sim_commands_run(), (std::vector<std::string>{kCat0, kRm, kStart0}));
    EXPECT_TRUE(contains(r.out, "into func transmit_config!\n"));
    EXPECT_TRUE(contains(r.out, "Get config data addr 7e000040, packet addr 7e200000\n\niMapStart addr 7e000000 \n\n"));
    EXPECT_TRUE(contains(r.out, "out_mac[3] = a0:b0:c0:d0:e0:f0\n"));
    EXPECT_TRUE(contains(r.out, "valid_flag = 225\nfpga_id = 0\nport_id = 4\npacket_num = 1000\nsend_intervial = 20\n"));
    EXPECT_TRUE(contains(r.out, "checksum_start  = 14\nchecksum_len    = 40\npkgtype         = 2\npacket_length = 64\n"
                           "packet_print_path = /tmp/print.txt\n"));
    EXPECT_TRUE(contains(r.out, "portin0 = 1\tportout0 = 2\tportin1 = 3\tportout1 = 4\tportin2 = 5\tportout2 = 6\t"
                           "portin3 = 7\tportout3 = -1\n"));
    EXPECT_TRUE(contains(r.out, "subboard1_dsp_config = 0a:0b:0c:0d:0e:0f:10:11:ff\nmemcpy_s sucess\ntrans0\n"));
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(TransmitTest, ParseFailuresWriteAndStartNothing)
{
    sim_write_file(kPkt, bytes_file(64));
    const std::string longLine = "pkg_print_file\t" + std::string(250, 'p') + "\n";
    struct Case {
        std::string text;
        int status;
        std::string line;
    };
    const Case cases[] = {
        {"fpga_id\t0\n\nport_id\t1\n", -1202, "Parse file failed, value = , iRet = -1 [transmit_config] transmit.cpp:L\n"},
        {"fpga_id\t0\nport_id\n", -1202, "Parse port_id failed,value = , iRet = -1  [transmit_config]"},
        {"fpga_id\tx\n", -1202, "Parse fpag_id failed, value = x,iRet = 0  [transmit_config]"},
        {"fpga_id\t0\n" + longLine, -1202, "Parse file failed"},
        {"fpga_id\t0\ntx_queue_id\t6\n", -1202, "tx_queue_id bigger than 128 or not polyploid of 4!\n "},
        {"fpga_id\t0\ntx_queue_id\t128\npkg_src_file\t/home/test/pkt.bin\n", -1202, "not polyploid of 4!"},
        {"pkg_src_file\t/home/test/pkt.bin\nfpga_id\t0\n", -1202, "pkg_src_file before fpga_id"},
        {"port_id\t1\n", -1202, "no fpga_id given"},
        {"fpga_id\t0\nloop_mod\t4\ndmac\t00:11:22:33:44:55;66:77:88:99:aa:bb;01:02:03:04:05:06\n", -1202,
         "out_mac[2] = 01:02:03:04:05:06\nParse mac error,value = 01:02:03:04:05:06, i = 2 iRet = "},
        {"fpga_id\t0\nloop_mod\t4\ndmac\t00:11:22:33:44\n", -1202, "Parse mac error,value = 00:11:22:33:44, iRet = 5"},
        {"fpga_id\t0\nsubboard0_dsp_config\t1:2:3\n", -1202,
         "Parse subboard0_dsp_config failed,iRet = 3  [transmit_config]"},
        {"fpga_id\t0\ntx_all_dsp_flag\tz\n", -1202, "Parse tx_all_dsp_flag failed,iRet = 0"},
        {"fpga_id\t0\npkg_print_file\t" + std::string(128, 'p') + "\n", -1202, "pkg_print_file path length too large!\n "},
        {"fpga_id\t0\ntrans_rules\tx\n", -1202, "Parse trans_rules failed,value = x, iRet = 0"},
        {"fpga_id\t0\npkg_src_file\t/home/test/none.bin\n", -1216, "Open File /home/test/none.bin error, errno = 2 ["},
    };
    for (const Case &c : cases) {
        sim_clear_journal();
        sim_phys_write(kSimTransmitDesc[0], std::string(240, '\0').data(), 240);
        ConsoleRun r = config(c.text);
        EXPECT_EQ(r.status, c.status) << c.text;
        EXPECT_TRUE(contains(r.out, c.line)) << c.text << "\n" << r.out;
        EXPECT_EQ(desc().valid_flag, 0) << c.text;
        EXPECT_EQ(packet(6 * 512, 4), std::vector<uint8_t>(4, 0)) << c.text;
        EXPECT_EQ(packet(128 * 512 - 8, 8), std::vector<uint8_t>(8, 0)) << c.text;
        for (const std::string &cmd : sim_commands_run())
            EXPECT_EQ(cmd.find("echo"), std::string::npos) << c.text;
    }
    // dmac while loop_mod lacks bit 2: ignored.
    EXPECT_EQ(config("fpga_id\t0\ndmac\tgarbage\n").status, 0);
    EXPECT_EQ(config("fpga_id\t0\ntrans_rules\t\n").status, 0);
    ConsoleRun r = set("transmit/e//home/test/missing.txt");
    EXPECT_EQ(r.status, -1216);
    EXPECT_TRUE(contains(r.out, "Open File /home/test/missing.txt error, errno = 2,make sure File is exist!\n\n"));
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(TransmitTest, PacketsAreClippedAndPlacedByQueue)
{
    sim_write_file(kPkt, bytes_file(3000));
    ASSERT_EQ(config("fpga_id\t0\ntx_queue_id\t124\npkg_src_file\t/home/test/pkt.bin\n").status, 0);
    EXPECT_EQ(desc().packet_length, 0x7C0u);
    EXPECT_EQ(desc().tx_queue_id, 31);
    EXPECT_EQ(packet(124 * 512 + 0x7BF, 2), (std::vector<uint8_t>{static_cast<uint8_t>(0x7BF * 7 + 1), 0}));
}

TEST_F(TransmitTest, StartFileAndMappingFailures)
{
    struct Case {
        std::string output;
        int status;
        std::string line;
    };
    const Case cases[] = {
        {"", -1218, "Read File /sys/class/net/trans0/test/start failed, size = 0, [get_file_data]"},
        {"Flag: 1\tCAddr: 5", -1218, "Parse File /sys/class/net/trans0/test/start failed, iRet = 2, [get_file_data]"},
        {"junk", -1218, "Parse File /sys/class/net/trans0/test/start failed, iRet = 0,"},
    };
    for (const Case &c : cases) {
        sim_script_command(kCat0, SimShellScript{c.output, 0, {}});
        ConsoleRun r = config("fpga_id\t0\n");
        EXPECT_EQ(r.status, c.status) << c.output;
        EXPECT_TRUE(contains(r.out, c.line)) << r.out;
        EXPECT_TRUE(contains(r.out, "get_file_data exe failed, iRet = -1218\n\nget_shmem_user_vaddr exe fail, iRet = -1218\n"));
    }
    sim_script_command(kCat0, SimShellScript{"Flag: 0\tCAddr: 1000\tDAddr: 3000", 0, {}});
    sim_fail_op(SimFaultOp::mmap, "/dev/mem", ENOMEM);
    ConsoleRun r = config("fpga_id\t0\n");
    EXPECT_EQ(r.status, -1);
    EXPECT_TRUE(contains(r.out, "Fail to mmap Cannot allocate memory \ncphyaddr mmap_user_vaddr exe failed, iRet = -1 ["));
    sim_clear_faults();
    sim_fail_open("/dev/mem", EACCES);
    r = config("fpga_id\t0\n");
    EXPECT_EQ(r.status, -1216);
    EXPECT_TRUE(contains(r.out, "Open /dev/mem failed\n"));
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(TransmitTest, SecondFpgaAndAFailingStart)
{
    ConsoleRun r = config("fpga_id\t1\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(desc(1).valid_flag, 0xE1);
    EXPECT_EQ(desc(0).valid_flag, 0);
    EXPECT_TRUE(contains(r.out, "trans1\n"));
    EXPECT_EQ(sim_commands_run().back(), "echo 1 > /sys/class/net/trans1/test/start");

    sim_script_command(kStart0, SimShellScript{"", 127, {}});
    r = config("fpga_id\t0\n");
    EXPECT_EQ(r.status, 127);
    EXPECT_TRUE(contains(r.out, "system (echo 1 > /sys/class/net/trans0/test/start) fail, error=127\n"));
}

TEST_F(TransmitTest, LoopTestTakesItsFpgaAndPortAndChecksTheLogs)
{
    sim_write_file(kCfg, "fpga_id\t0\nport_id\t1\nloop_mod\t3\npacket_num\t5\nsend_intervial\t9\n");
    const uint64_t t0 = sim_clock_ns();
    ConsoleRun r = console_run([] { return transmit_config(kCfg, 3, 10, 1); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ((sim_clock_ns() - t0) / kSecond, 10u);
    const TransmitDesc d = desc(1);
    EXPECT_EQ(d.fpga_id, 1);
    EXPECT_EQ(d.port_id, 3);
    EXPECT_EQ(d.loop_mod, 0);
    EXPECT_EQ(d.packet_num, 0xFFFFFFFFu);
    EXPECT_EQ(d.send_intervial, 0u);
    EXPECT_EQ(desc(0).valid_flag, 0);
    EXPECT_EQ(sim_commands_run(),
              (std::vector<std::string>{"cat /sys/class/net/trans1/test/start", kRm,
                                        "echo 1 > /sys/class/net/trans1/test/start",
                                        "echo 0 > /sys/class/net/trans1/test/start"}));

    sim_script_command("echo 0 > /sys/class/net/trans1/test/start",
                       SimShellScript{"", 0, {{"/opt/port3_vec_err.txt", "x"}}});
    r = console_run([] { return transmit_config(kCfg, 3, 10, 1); });
    EXPECT_EQ(r.status, -2);
    EXPECT_TRUE(contains(r.out, "find err_log /opt/port3_vec_err.txt\n"));

    // A start that fails ends the test at once.
    sim_script_command("echo 1 > /sys/class/net/trans1/test/start", SimShellScript{"", 256, {}});
    const uint64_t t1 = sim_clock_ns();
    r = console_run([] { return transmit_config(kCfg, 3, 10, 1); });
    EXPECT_EQ(r.status, 256);
    EXPECT_EQ(sim_clock_ns() - t1 < kSecond, true);
    EXPECT_EQ(sim_commands_run().back(), "echo 1 > /sys/class/net/trans1/test/start");
}

TEST_F(TransmitTest, ErrorLogCheckWithoutOpt)
{
    std::filesystem::remove_all(sim_path("/opt"));  // a fresh board has one
    ConsoleRun r = console_run([] { return check_loop_result(); });
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.out, "call opendir failed, path=/opt\n\n");
    sim_write_file("/opt/other.log", "");
    EXPECT_EQ(check_loop_result(), 0);
    EXPECT_EQ(sim_open_count(), 0);
}

TEST_F(TransmitTest, PrintFlagClearAndStatistics)
{
    ConsoleRun r = set("transmit/p/1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(desc().pkg_print_flag, 1);
    EXPECT_FALSE(contains(r.out, "SUCCESS"));
    r = set("transmit/p/");
    EXPECT_EQ(r.status, -1202);
    EXPECT_EQ(r.out, "FAILED\nInvalid input, please check\n");
    sim_script_command(kCat0, SimShellScript{"", 0, {}});
    r = set("transmit/p/0");
    EXPECT_EQ(r.status, -1218);
    EXPECT_TRUE(contains(r.out, "get_shmem_user_vaddr exe fail, iRet = -1218\n"));

    r = set("transmit/c/");
    EXPECT_EQ(r.out, "SUCCESS\n");
    EXPECT_EQ(r.status, 0);
    r = console_run([] { return transmit_get_stat(""); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("SUCCESS\n\rQ:0, R:0, T:0\n", 0), 0u);
    EXPECT_TRUE(contains(r.out, "\rQ:351, R:0, T:0\n"));
    EXPECT_FALSE(contains(r.out, "Q:352"));
}

}  // namespace
