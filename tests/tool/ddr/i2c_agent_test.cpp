// The "i2c" rows of the write, dump and test blocks on the simulated I2C
// agent.
#include <cerrno>
#include <cstring>
#include <fcntl.h>

#include "bases/drv/i2c_agent_drv.h"
#include "sim/i2c_agent_model.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/ddr/i2c_agent.h"
#include "tool/trans_op.h"

namespace {

class I2cAgentTest : public SimTest {};

const std::string kHeader = "--------  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n";
const std::string kNoDevice = "ioctl(I2C_AGNET_WRITE_BYTE) return (No such device or address) \n";

I2cAgentReq last_request()
{
    I2cAgentReq req{};
    const SimJournalEntry &e = sim_journal().back();
    EXPECT_EQ(e.record.size(), sizeof req);
    std::memcpy(&req, e.record.data(), sizeof req);
    return req;
}

TEST_F(I2cAgentTest, WriteWidths)
{
    struct {
        const char *param;
        uint32_t width;
    } rows[] = {{"0xb2:0x10.b:0x12345678", 1}, {"0xb2:0x10.W:0x12345678", 2}, {"0xb2:0x10.l:0x12345678", 4}};
    for (const auto &r : rows) {
        i2c_agent_device(0xB2).fill(0);
        sim_clear_journal();
        ConsoleRun run = console_run([&] { return op_write(std::string("i2c/").append(r.param).c_str()); });
        EXPECT_EQ(run.status, 0) << r.param;
        EXPECT_EQ(run.out, "WRITE (uiDevAddr=0xb2,uiDataAddr=0x10) = (0x12345678)\n") << r.param;
        I2cAgentReq req = last_request();
        EXPECT_EQ(req.devAddr, 0xB2u);
        EXPECT_EQ(req.dataAddr, 0x10u);
        EXPECT_EQ(req.length, r.width);
        const uint8_t want[] = {0x78, 0x56, 0x34, 0x12, 0};
        for (uint32_t i = 0; i <= r.width && i < 5; i++)
            EXPECT_EQ(i2c_agent_device(0xB2)[0x10 + i], i < r.width ? want[i] : 0) << r.param << " byte " << i;
    }
}

TEST_F(I2cAgentTest, RefusedBeforeTheNodeOpens)
{
    sim_fail_open(I2C_AGENT_NODE, ENOENT);  // an open would show in the output
    struct {
        const char *param;
        std::string out;
        int status;
    } rows[] = {
        {"0xb2:0x10.x:0x1", "error :ucMode(0xb2:0x10.x:0x1) not is b,w,l,B,W,L out of range\n", -1205},
        {"0xffff:0x10.b:0x1", "pArg(0xffff:0x10.b:0x1) invalid param\n", -1202},
        {"0xb2:0xffff.b:0x1", "pArg(0xb2:0xffff.b:0x1) invalid param\n", -1202},
        {"0xb2:0x10.b", "pArg(0xb2:0x10.b) invalid param\n", -1202},
        {"", "pArg() invalid param\n", -1202},
    };
    for (const auto &r : rows) {
        ConsoleRun run = console_run([&] { return I2C_AgentWriteOpt(r.param); });
        EXPECT_EQ(run.out, r.out) << r.param;
        EXPECT_EQ(run.status, r.status) << r.param;
    }
    EXPECT_EQ(I2C_AgentWriteOpt(nullptr), -1201);
    EXPECT_EQ(I2C_AgentDumpOpt(nullptr), -1201);
    ConsoleRun dump = console_run([] { return I2C_AgentDumpOpt("0xb2:0x10"); });
    EXPECT_EQ(dump.out, "pArg(0xb2:0x10) invalid param\n");
    EXPECT_EQ(dump.status, -1202);
    EXPECT_TRUE(sim_journal().empty());
}

TEST_F(I2cAgentTest, WriteFailures)
{
    ConsoleRun absent = console_run([] { return I2C_AgentWriteOpt("0xc0:0x10.b:0x1"); });
    EXPECT_EQ(absent.status, -1203);
    EXPECT_EQ(absent.out, kNoDevice + "error :I2C_AgentWriteByteAPP(uiDevAddr=0xc0,uiDataAddr=0x10) return "
                                      "(0xfffffb4d)\n");
    sim_fail_open(I2C_AGENT_NODE, ENOENT);
    ConsoleRun none = console_run([] { return I2C_AgentWriteOpt("0xb2:0x10.b:0x1"); });
    EXPECT_EQ(none.status, -1216);
    EXPECT_EQ(none.out, "open(/dev/I2C_MISC_DEV) return (No such file or directory) \n");
}

TEST_F(I2cAgentTest, DumpLengths)
{
    auto &regs = i2c_agent_device(0xB2);
    for (size_t i = 0; i < regs.size(); i++)
        regs[i] = static_cast<uint8_t>(i);
    struct {
        const char *param;
        uint32_t length;  // as requested from the driver
        std::string out;
    } rows[] = {
        {"i2c/0xb2:0x10:0x0", 0, kHeader + "\n"},
        {"i2c/0xb2:0x13:0x0", 0, kHeader + "00000010:\n"},
        {"i2c/0xb2:0x13:0x14", 20,
         kHeader + "00000010:          13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f\n00000020: 20 21 22 23 24 25 26\n"},
        {"i2c/0xb2:0x20:0x10", 16, kHeader + "00000020: 20 21 22 23 24 25 26 27 28 29 2a 2b 2c 2d 2e 2f\n"},
    };
    for (const auto &r : rows) {
        sim_clear_journal();
        ConsoleRun run = console_run([&] { return op_dump(r.param); });
        EXPECT_EQ(run.status, 0) << r.param;
        EXPECT_EQ(run.out, r.out) << r.param;
        EXPECT_EQ(last_request().length, r.length) << r.param;
        EXPECT_EQ(sim_journal().back().request, I2C_AGENT_IOC_READ_BLOCK);
    }
    // 500 is read as 200: twelve full lines and eight bytes, wrapping at 256.
    sim_clear_journal();
    ConsoleRun big = console_run([] { return op_dump("i2c/0xb2:0x80:0x1f4"); });
    EXPECT_EQ(last_request().length, 200u);
    EXPECT_EQ(std::count(big.out.begin(), big.out.end(), '\n'), 1 + 13);
    EXPECT_NE(big.out.find("\n00000100: 00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f\n"), std::string::npos);
    EXPECT_NE(big.out.find("\n00000140: 40 41 42 43 44 45 46 47\n"), std::string::npos);

    ConsoleRun absent = console_run([] { return op_dump("i2c/0xc0:0x0:0x10"); });
    EXPECT_EQ(absent.status, -1203);
    EXPECT_EQ(absent.out, "ioctl(I2C_AGNET_READ_BLOCK) return (No such device or address) \n"
                          "error :I2C_AgentReadByBlockAPP(uiDevAddr=0xc0,uiDataAddr=0x0) return (0xfffffb4d)\n");
}

TEST_F(I2cAgentTest, FiveDeviceTest)
{
    struct {
        const char *what;
        void (*board)();
        std::string out;
        int status;
        size_t reads;
    } rows[] = {
        {"fresh board", [] {}, "I2C_AgentTestAPP return(0)\n", 0, 5},
        {"wrong byte", [] { i2c_agent_device(0xB6)[0x51] = 0x45; },
         "error :I2C_AgentReadByteAPP(uiDevAddr=0xb6,uiDataAddr=0x51) return (0x45!=0x44) fail \n"
         "I2C_AgentTestAPP return(-1312)\n",
         -1312, 3},
        {"absent device", [] { i2c_agent_remove_device(0xB8); },
         "ioctl(I2C_AGNET_READ_BYTE) return (No such device or address) \n"
         "error :I2C_AgentReadByteAPP(uiDevAddr=0xb8,uiDataAddr=0x51) return (-1203)\n"
         "I2C_AgentTestAPP return(-1203)\n",
         -1203, 4},
        {"no node", [] { sim_fail_open(I2C_AGENT_NODE, ENOENT); },
         "open(/dev/I2C_MISC_DEV) return (No such file or directory) \nerror :I2C_AgentOpenApp error\n"
         "I2C_AgentTestAPP return(-1221)\n",
         -1221, 0},
    };
    for (const auto &r : rows) {
        sim_clear_faults();
        r.board();
        sim_clear_journal();
        ConsoleRun run = console_run([] { return op_test("i2c/"); });
        EXPECT_EQ(run.out, r.out) << r.what;
        EXPECT_EQ(run.status, r.status) << r.what;
        EXPECT_EQ(requests_seen(I2C_AGENT_IOC_READ_BYTE), r.reads) << r.what;
        if (r.reads > 0) {
            EXPECT_EQ(last_request().dataAddr, 0x51u);
            EXPECT_EQ(last_request().length, 1u);
        }
        i2c_agent_device(0xB6)[0x51] = 0x44;
        i2c_agent_device(0xB8)[0x51] = 0x44;
    }
}

TEST_F(I2cAgentTest, AccessOperationsCheckTheirBuffer)
{
    int fd = I2C_AgentOpenApp();
    ASSERT_GE(fd, 0);
    EXPECT_EQ(I2C_AgentReadAPP(fd, 0xB2, 0x51, nullptr, 1), -1201);
    EXPECT_EQ(I2C_AgentWriteAPP(fd, 0xB2, 0x51, nullptr, 1), -1201);
    EXPECT_EQ(I2C_AgentReadByBlockAPP(fd, 0xB2, 0x51, nullptr, 1), -1201);
    uint8_t b = 0;
    EXPECT_EQ(I2C_AgentReadByBlockAPP(fd, 0xB2, 0x51, &b, 1), 0);
    EXPECT_EQ(b, 0x44);
    I2C_AgentCloseApp(fd);
}

TEST_F(I2cAgentTest, DevicesAreSavedWithTheBoard)
{
    ASSERT_EQ(I2C_AgentWriteOpt("0xc0:0x0.b:0x1"), -1203);
    i2c_agent_device(0xC0);
    ASSERT_EQ(console_run([] { return I2C_AgentWriteOpt("0xc0:0x7.b:0x5a"); }).status, 0);
    ASSERT_EQ(sim_board_close(), 0);
    ASSERT_EQ(sim_board_open(root_, board()), 0);
    ASSERT_TRUE(i2c_agent_has_device(0xC0));
    EXPECT_EQ(i2c_agent_device(0xC0)[7], 0x5a);
    EXPECT_EQ(i2c_agent_device(0xB2)[0x51], 0x44);
}

} // namespace
