// Queue, FPGA-setting, memory-configuration, buffer-control, security-module
// and direct-access commands on the simulated boards: -m lines through
// quorbix_run, the other blocks through their dispatchers, the m_bufc and
// m_secm handlers directly.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <regex>
#include <tuple>
#include <string>
#include <vector>

#include "bases/host/host.h"
#include "boardlib/dorn_mem.h"
#include "boardlib/board_util.h"
#include "boardlib/plov_mem_intf.h"
#include "boardlib/plov_trans_intf.h"
#include "sim/fpga_model.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/quorbix.h"
#include "tool/trans/bufc_secm.h"
#include "tool/trans/fpga_set.h"
#include "tool/trans/mem_access.h"
#include "tool/trans/mem_cfg.h"
#include "tool/trans/queue.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;

struct CmdRun {
    std::string out;
    int status;
};

// One shared region (the second "memmap" word) on a one-node machine.
const std::string kCmdline = "quiet memmap=0x1000$0x1000 memmap=0x100000$0x40000000\n";

// The snapshot sources of both FPGAs, as the driver's /proc files.
constexpr const char *kShotSources[] = {"trans_cfg",  "trans_status", "trans_statis", "trans_warn", "trans_indreg",
                                        "sbuf_cfg",   "sbuf_status",  "sbuf_statis",  "sbuf_warn",  "sbuf_indreg"};

constexpr uint64_t kRegion = 0x40000000;   // the shared region of kCmdline

// Pool bases inside the shared region: registers 0x10-0x17 of both FPGAs
// and the software-buffer records by the driver's pool number.
void stock_pools()
{
    for (uint64_t q = 0; q < 8; ++q) {
        for (const char *node : {kFpgaTransNode, kFpgaSbufNode}) {   // the DORN board's two FPGAs
            fpga_set_reg(node, 0x10 + q, kRegion + 0x1000 * q);
            SwBufBaseRec sw{};
            sw.PhyAddr = kRegion + 0x100 * q;
            sw.PoolType = static_cast<uint32_t>(q);
            fpga_set_record_as(node, FpgaRecord::SwBufBase, q, sw);
        }
    }
}

// "m": -m through quorbix_run; "s", "c", "w", "d": the Set, clear, write
// and dump dispatchers; a handler pointer: that handler.
CmdRun run(const std::string &block, const std::string &path, TransOpHandler direct = nullptr)
{
    CaptureStdout();
    int status = 0;
    if (direct != nullptr) {
        status = direct(path.c_str());
    } else if (block == "m") {
        status = quorbix_mfc(path);
    } else {
        TransOpHandler op = block == "s" ? op_set : block == "c" ? op_clear : block == "w" ? op_write : op_dump;
        status = op(path.c_str());
    }
    std::fflush(stdout);
    return {GetCapturedStdout(), status};
}

class BoardCommands : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        geBoardLogicType = PLOV_BOARD_UNKNOWN;
        std::snprintf(gBoardName, sizeof(gBoardName), "%s", board().c_str());
        sim_write_file(BOARD_CMDLINE_PATH, kCmdline);
        sim_write_file(DORN_NODE_ONLINE, "0\n");
        sim_write_file("/opt/.keep", "");
        for (const char *name : kShotSources)
            sim_write_file(std::string("/proc/trans/") + name, std::string(name) + "\n");
        if (board() == "ZK17DORN")
            stock_pools();
    }
    void TearDown() override
    {
        // Forget the shared-memory map and its mappings, as a new process would start.
        std::memset(static_cast<void *>(g_PlovShareMem), 0, sizeof g_PlovShareMem);
        for (const SimMapping &m : sim_mappings())
            host().munmap(m.addr, m.length);
        geBoardLogicType = PLOV_BOARD_UNKNOWN;
        SimTest::TearDown();
    }
};

class BoardCommandsKesp : public BoardCommands {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

struct Case {
    const char *block;
    const char *path;
    int status;
    std::string out;
    TransOpHandler direct = nullptr;
};

void expect_cases(const std::vector<Case> &cases)
{
    for (const Case &c : cases) {
        CmdRun r = run(c.block, c.path, c.direct);
        EXPECT_EQ(r.out, c.out) << c.block << " " << c.path;
        EXPECT_EQ(r.status, c.status) << c.block << " " << c.path;
    }
}

std::string invalid(const char *name, unsigned line, int iret)
{
    return std::string("FAILED\nInvalid input, please check [") + name + "] trans/trans:" + std::to_string(line) +
           ", iRet = " + std::to_string(iret) + "\n";
}

size_t count_of(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

// ---- bad input: every handler, empty and non-numeric text ------------------------------------

TEST_F(BoardCommands, RequiredFieldsRefuseEmptyAndNonNumericText)
{
    struct Row {
        const char *block;
        const char *path;
        const char *name;
        unsigned line;
        TransOpHandler direct;
    };
    const Row rows[] = {
        {"m", "queue/s/", "queue_get_stat", 4110, nullptr},
        {"c", "port/q/", "queue_clear_stat", 4140, nullptr},
        {"m", "queue/w/", "queue_get_water_level", 4170, nullptr},
        {"s", "queue/w/", "queue_set_water_level", 4200, nullptr},
        {"m", "queue/h/", "queue_get_hash_rule", 4230, nullptr},
        {"s", "queue/h/", "queue_set_hash_rule", 4260, nullptr},
        {"m", "queue/p/", "queue_get_txprocess_Match", 4290, nullptr},
        {"s", "queue/p/", "queue_set_txprocess_Match", 4320, nullptr},
        {"m", "queue/o/", "queue_get_data_offset", 4350, nullptr},
        {"s", "queue/o/", "queue_set_data_offset", 4380, nullptr},
        {"s", "queue/r/", "queue_set_rptr_renew_interval", 4410, nullptr},
        {"m", "fpga/e/", "fpga_get_enable_state", 6010, nullptr},
        {"s", "fpga/e/", "fpga_set_enable", 6040, nullptr},
        {"m", "fpga/t/", "fpga_get_irq_interval", 6130, nullptr},
        {"s", "fpga/t/", "fpga_set_irq_interval", 6160, nullptr},
        {"m", "fpga/h/", "fpga_get_hash_seed", 6190, nullptr},
        {"s", "fpga/h/", "fpga_set_hash_seed", 6220, nullptr},
        {"m", "fpga/z/", "fpga_get_checksum_switch", 6490, nullptr},
        {"s", "fpga/z/", "fpga_set_checksum_switch", 6520, nullptr},
        {"m", "fpga/w/", "fpga_get_vrf_switch", 6550, nullptr},
        {"d", "fpga/e/", "fpga_get_regs", 6790, nullptr},
        {"s", "fpga/d/", "dorn_set_mem_cfg", 7010, nullptr},
        {"m", "fpga/i/", "dorn_get_drv_info", 7040, nullptr},
        {"w", "mem/", "mem_write", 3320, nullptr},
        {"w", "dreg/", "dreg_write", 3360, nullptr},
        {"c", "indreg/", "indreg_clear", 3400, nullptr},
        {"w", "indreg/", "indreg_write", 3440, nullptr},
        {"-", "", "bufc_get_total_switch", 5010, bufc_get_total_switch},
        {"s", "bufc/t/", "bufc_set_total_switch", 5040, nullptr},
        {"-", "", "bufc_get_port_switch", 5070, bufc_get_port_switch},
        {"s", "bufc/s/", "bufc_set_port_switch", 5100, nullptr},
        {"-", "", "bufc_get_res_threshold", 5130, bufc_get_res_threshold},
        {"s", "bufc/r/", "bufc_set_res_threshold", 5160, nullptr},
        {"-", "", "bufc_get_port_threshold", 5190, bufc_get_port_threshold},
        {"s", "bufc/p/", "bufc_set_port_threshold", 5220, nullptr},
        {"-", "", "bufc_get_anti_interval", 5250, bufc_get_anti_interval},
        {"s", "bufc/i/", "bufc_set_anti_interval", 5280, nullptr},
        {"-", "", "secm_get_stat", 5310, secm_get_stat},
        {"-", "", "secm_get_stat_ipv6", 5340, secm_get_stat_ipv6},
        {"c", "port/s/", "secm_clear_stat", 5410, nullptr},
        {"c", "port/x/", "secm_clear_stat_ipv6", 5440, nullptr},
        {"s", "secm/p/", "secm_set_para", 5470, nullptr},
        {"-", "", "secm_get_para", 5500, secm_get_para},
    };
    for (const Row &row : rows) {
        for (const auto &[text, iret] : {std::pair<const char *, int>{"", -1}, {"x", 0}}) {
            sim_clear_journal();
            CmdRun r = run(row.block, std::string(row.path) + text, row.direct);
            EXPECT_EQ(r.out, invalid(row.name, row.line, iret)) << row.name << " " << text;
            EXPECT_EQ(r.status, row.block[0] == 'm' ? 2 : -1202) << row.name << " " << text;
            EXPECT_TRUE(sim_journal().empty()) << row.name;
        }
    }
}

TEST_F(BoardCommands, PresetsLetAbsentFieldsPassAndOwnChecks)
{
    expect_cases({
        {"m", "queue/w/0:1", 2, invalid("queue_get_water_level", 4170, 2)},
        {"s", "queue/w/0:1:5:100", -1202, invalid("queue_set_water_level", 4200, 4)},
        {"m", "queue/a/0:1:4294967295", 2, invalid("queue_get_attr_para", 4440, 3) + "func GetQueueInfo return err\n"},
        {"m", "queue/a/0:1:2147483648", 2, invalid("queue_get_attr_para", 4440, 3) + "func GetQueueInfo return err\n"},
        {"m", "fpga/t/3", 2, invalid("fpga_get_irq_interval", 6130, 1)},
        {"m", "fpga/t/2", 2, "FAILED\nFunction PlovTransGetIntTimer exe error, iRet = -1330\n"},
        {"m", "fpga/m/", 2, invalid("fpga_get_mode", 6070, -1)},
        {"m", "fpga/m/0", 0, "SUCCESS\nmode : active\n"},
        {"s", "fpga/w/0", 0, "SUCCESS\n"},   // switch 255
        {"m", "fpga/w/0", 0, "SUCCESS\nVrf Switch : 255\n"},
        // The trunk bits live on FPGA 1; an absent port passes 255, which the operation refuses.
        {"m", "fpga/u/1", 2,
         "FAILED\nFunction PLOV_TransGetTrunk exe error, iRet = -1331, [fpga_get_trunk] trans/trans:6310\n"},
        {"s", "fpga/u/1", -1331,
         "FAILED\nFunction PLOV_TransSetTrunk exe error, iRet = -1331, [fpga_set_trunk] trans/trans:6340\n"},
        {"s", "fpga/p/0:1", -1202, invalid("fpga_set_cpu_present", 6700, 2)},
        {"s", "fpga/p/0:1:2", -1202, invalid("fpga_set_cpu_present", 6700, 3)},
        {"s", "fpga/p/0:1:1", 0, "SUCCESS\n"},
        {"m", "fpga/p/0", 0, "SUCCESS\nCpu0 : yes\nCpu1 : yes\n"},
        // Only '0' and '1' make a mask; anything else is bad input and leaves the mask.
        {"s", "fpga/p/0:a:1", -1202, invalid("fpga_set_cpu_present", 6700, 3)},
        {"s", "fpga/p/0:1:2", -1202, invalid("fpga_set_cpu_present", 6700, 3)},
        {"m", "fpga/p/0", 0, "SUCCESS\nCpu0 : yes\nCpu1 : yes\n"},
        {"s", "fpga/p/0:0:1", 0, "SUCCESS\n"},
        {"m", "fpga/p/0", 0, "SUCCESS\nCpu0 : yes\nCpu1 : no\n"},
        {"m", "fpga/v/", 2, "FAILED\nInvalid FpgaID input, please check [trans_get_drv_ver] trans/trans:6730, iRet = -1\n"},
        {"m", "fpga/g/", 2,
         "FAILED\nInvalid FpgaID input, please check [trans_get_mem_range] trans/trans:7130, iRet = -1\n"},
        {"m", "fpga/a/", 2, invalid("fpga_get_user_viraddr", 7160, -1)},
        {"c", "port/x/0", -1202, invalid("secm_clear_stat_ipv6", 5440, 1)},
        {"-", "0:0", -1202,
         "FAILED\nInvalid input, please check [secm_get_para] trans/trans:5500, iRet = 2, type[0], para[-1]\n",
         secm_get_para},
        {"-", "0:300", -1202,
         "FAILED\nInvalid input, please check [secm_get_para] trans/trans:5500, iRet = 2, type[300], para[-1]\n",
         secm_get_para},
        {"s", "bufc/p/0:1:2", -1202, invalid("bufc_set_port_threshold", 5220, 3)},
        {"w", "mem/0:0x1000", -1202, invalid("mem_write", 3320, 2)},
        // The request's 16-bit wlen counts the address word: 65534 values at most.
        {"w", "indreg/0:0x20:0x3:65535:0x1", -1202, invalid("indreg_write", 3440, 5)},
        {"w", "indreg/0:0x20:0x3:4294967294:0x1", -1202, invalid("indreg_write", 3440, 5)},
        {"w", "indreg/0:0x20:0x3:65534:0x1", -1202, "write value->data[1] = 0x1\n" + invalid("indreg_write", 3440, -1)},
        {"w", "indreg/0:0x20:0x3:2:0x11", -1202,
         "write value->data[1] = 0x11\n" + invalid("indreg_write", 3440, -1)},
    });
}

// ---- queue commands ---------------------------------------------------------------------------

TEST_F(BoardCommands, QueueSettingsRoundTripAndFailures)
{
    // Queue counters: a receive queue's two counters from keys id and
    // id | 0x200 of the receive queue block, a transmit queue's first counter,
    // a transmit group's third; each the low 32 bits of the word read.
    fpga_put_indirect(kTrans, 0x31F0, {0x002}, {0xABCD00001234ull});
    fpga_put_indirect(kTrans, 0x31F0, {0x202}, {0x55});
    fpga_put_indirect(kTrans, 0x3586, {0x08}, {0x7777});
    fpga_put_indirect(kTrans, 0x61D1, {0x05}, {0x100000999ull});
    expect_cases({
        {"s", "queue/w/0:0:5:100:20", 0, "SUCCESS\n"},
        {"m", "queue/w/0:0:5", 0, "SUCCESS\nHighlevel : 100\nLowlevel  : 20\n"},
        // Transmit queues have no levels of their own: nothing written, nothing read.
        {"s", "queue/w/0:1:5:100:20", 0, "SUCCESS\n"},
        {"m", "queue/w/0:1:5", 0, "SUCCESS\nHighlevel : 0\nLowlevel  : 0\n"},
        {"s", "queue/o/0:64", 0, "SUCCESS\n"},
        {"m", "queue/o/0", 0, "SUCCESS\nOffset = 64\n"},
        {"s", "queue/p/0:3:300", 0, "SUCCESS\n"},
        {"s", "queue/h/0:7:3", 0, "SUCCESS\n"},
        {"m", "queue/h/0:7", 0, "SUCCESS\nVcpuID : 3\n"},
        {"m", "queue/s/0:0:2", 0, "SUCCESS\nQue    2             4660               85                0\n"},
        {"m", "queue/s/0:1:8", 0, "SUCCESS\nQue    8            30583                0                0\n"},
        {"m", "queue/s/0:2:5", 0, "SUCCESS\nQue    5                0                0             2457\n"},
        {"c", "port/q/0:0:2", 0, "SUCCESS\n"},
        {"s", "queue/r/0:5", 0, "SUCCESS\n"},
        {"s", "queue/r/256:5", -1330, "FAILED\nFunction DornSetQueueReadPtrTimer exe error, iRet = -1330\n"},
        {"m", "queue/o/2", 2, "FAILED\nFunction PlovTransGetQueueDataOffset exe error, iRet = -1330\n"},
        {"s", "queue/o/2:1", -1330, "FAILED\nFunction PlovTransSetQueueDataOffset exe error, iRet = -1330\n"},
    });
    // The match goes out with its ninth bit; the query keeps the low 8 bits of what it reads.
    sim_clear_journal();
    expect_cases({{"s", "queue/p/0:3:300", 0, "SUCCESS\n"}});
    ASSERT_EQ(sim_journal().size(), 1u);
    ASSERT_GE(sim_journal()[0].extra.size(), 2u);
    EXPECT_EQ(sim_journal()[0].extra[1], 300u);
    expect_cases({{"m", "queue/p/0:3", 0, "SUCCESS\nMatchID : 44\n"}});
}

TEST_F(BoardCommands, QueueAttributesReadBothPointers)
{
    CmdRun r = run("m", "queue/a/0:1:4");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.rfind("type[1] ID[4]\nBaseAddrVir[", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nWprtPhy["), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nRprtPhy["), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 8), "SUCCESS\n");
    EXPECT_EQ(sim_journal_of(SimEvent::request, kTrans, 0xC004EF0A).size(), 2u);

    // Both reads fail: both lines, data 0, the first status and no SUCCESS.
    sim_fail_request(kTrans, 0xC004EF0A, EIO);
    sim_fail_request(kTrans, 0xC004EF0A, EIO, 1);
    r = run("m", "queue/a/0:1:4");
    EXPECT_EQ(count_of(r.out, "Function operate_mem exe error, iRet = -1! [queue_get_attr]"), 2u) << r.out;
    EXPECT_EQ(count_of(r.out, "Driver ioctl failed,errno = 5"), 2u) << r.out;
    EXPECT_EQ(r.out.find("SUCCESS"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("func GetQueueInfo return err\n"), std::string::npos);
    EXPECT_EQ(r.status, 2);
}

// ---- FPGA settings and dumps -------------------------------------------------------------------

TEST_F(BoardCommands, FpgaSettingsLinesAndErrorForms)
{
    expect_cases({
        {"m", "fpga/e/0", 0, "SUCCESS\nFpga[0] : workstate[0]\n"},
        {"m", "fpga/e/2", 2,
         "FAILED\nFunction PlovTransGetEnableState exe error, iRet = -1330, [fpga_get_enable_state] trans/trans:6010\n"},
        {"s", "fpga/t/0:20", 0, "SUCCESS\n"},
        {"m", "fpga/t/0", 0, "SUCCESS\n\rTime : 20\n"},
        {"s", "fpga/h/0:1:abc:def", 0, "SUCCESS\n"},
        {"s", "fpga/z/0:1:0", 0, "SUCCESS\n"},
        {"m", "fpga/z/0", 0, "SUCCESS\nRxSwitch : 1\nTxSwitch : 0\n"},
        {"s", "fpga/r/0:1", 0, "SUCCESS\n"},
        {"m", "fpga/r/0", 0, "Load logic at reboot flag is [1]\nSUCCESS\n"},
        {"s", "fpga/r/2:1", -1330,
         "FAILED\nFunction DornSetLoadAtReboot exe error, iRet = -1330, [fpga_set_load_reboot] trans/trans:6460\n"},
        {"s", "fpga/u/1:1:1", 0, "SUCCESS\n"},
        {"m", "fpga/u/1:1", 0, "SUCCESS\nupdat[1] trunk : on\n"},
        {"s", "fpga/u/1:1:0", 0, "SUCCESS\n"},
        {"m", "fpga/u/1:1", 0, "SUCCESS\nupdate[1] trunk : off\n"},
        {"m", "fpga/u/0:1", 2,
         "FAILED\nFunction PLOV_TransGetTrunk exe error, iRet = -1330, [fpga_get_trunk] trans/trans:6310\n"},
        {"s", "fpga/c/0:1", 0, "SUCCESS\n"},
        {"m", "fpga/c/0", 0, "SUCCESS\ncpuid:1\n"},
    });
}

TEST_F(BoardCommands, DriverVersionEndsAFullLengthText)
{
    const std::string full(40, 'v');   // no terminator in the driver's 40 bytes
    fpga_set_record(kTrans, FpgaRecord::DrvVer, 0, std::vector<uint8_t>(full.begin(), full.end()));
    CmdRun r = run("m", "fpga/v/0");
    EXPECT_EQ(r.out, "SUCCESS\nVersion : " + full + "\n");
    EXPECT_EQ(r.status, 0);
    sim_fail_request(kTrans, 0xC004EF0C, EIO);
    r = run("m", "fpga/v/0");
    EXPECT_EQ(r.out.rfind("Function DornTransGetDrvVer exe error, iRet = ", 0), 0u) << r.out;
    EXPECT_EQ(r.status, 2);
}

TEST_F(BoardCommands, RegisterDumpLinesPerBoardAndFpga)
{
    CmdRun r = run("d", "fpga/e/0:10");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.rfind("SUCCESS\nlen_i : 10, len_o : ", 0), 0u) << r.out;
    EXPECT_EQ(count_of(r.out, "addr[0x"), kDumpTransLines);
    r = run("d", "fpga/e/1:4000000000");
    EXPECT_EQ(count_of(r.out, "addr[0x"), kDumpSbufLines);
    EXPECT_EQ(r.out.find("addr[0x6080]="), r.out.find("addr[0x"));
    EXPECT_EQ(r.status, 0);
    r = run("d", "fpga/e/2:10");
    EXPECT_EQ(r.out, "FAILED\nFunction PlovTransDumpRegs exe error, iRet = -1330\n");
    EXPECT_EQ(r.status, -1330);
}

// Offsets below 0x1000 keep four digits: rows of every list, each beside the
// row before it, with the dump's values counting up from 0.
struct LowOffsetRows {
    const char *path;
    const char *node;
    std::vector<std::string> excerpts;
};

void expect_low_offsets_padded(const std::vector<LowOffsetRows> &rows)
{
    const std::regex unpadded(R"(addr\[0x[0-9a-f]{0,3}\])");
    for (const LowOffsetRows &row : rows) {
        std::vector<uint8_t> space(4096);
        for (size_t i = 0; i < space.size(); i += 8)
            space[i] = static_cast<uint8_t>(i / 8);
        fpga_set_record(row.node, FpgaRecord::RegSpace, 0, space);
        CmdRun r = run("d", row.path);
        EXPECT_EQ(r.status, 0) << row.path;
        for (const std::string &excerpt : row.excerpts)
            EXPECT_NE(r.out.find(excerpt), std::string::npos) << row.path << "\n" << excerpt << "\n" << r.out;
        EXPECT_FALSE(std::regex_search(r.out, unpadded)) << row.path << "\n" << r.out;
    }
}

TEST_F(BoardCommands, RegisterDumpPadsLowOffsets)
{
    expect_low_offsets_padded({
        {"fpga/e/0:10",
         kFpgaTransNode,
         {"addr[0x60d0]=[0x000000000000000b]\naddr[0x0080]=[0x000000000000000c]\n"
          "addr[0x0081]=[0x000000000000000d]\naddr[0x0082]=[0x000000000000000e]\naddr[0x0085]=[0x000000000000000f]\n",
          "addr[0x5882]=[0x0000000000000014]\naddr[0x0480]=[0x0000000000000015]\n",
          "addr[0x149f]=[0x0000000000000074]\naddr[0x0880]=[0x0000000000000075]\n"}},
        {"fpga/e/1:10",
         kFpgaSbufNode,
         {"addr[0x60d0]=[0x000000000000000b]\naddr[0x0080]=[0x000000000000000c]\n",
          "addr[0x3881]=[0x0000000000000011]\naddr[0x0480]=[0x0000000000000012]\n"}},
    });
}

TEST_F(BoardCommandsKesp, RegisterDumpPadsLowOffsets)
{
    expect_low_offsets_padded({
        {"fpga/e/0:10",
         kFpgaTransNode,
         {"addr[0x5cd0]=[0x0000000000000007]\naddr[0x0081]=[0x0000000000000008]\n",
          "addr[0x6c81]=[0x0000000000000018]\naddr[0x0480]=[0x0000000000000019]\n"}},
    });
}

TEST_F(BoardCommandsKesp, RegisterDumpKespListAndIndirectWriteShape)
{
    CmdRun r = run("d", "fpga/e/0:10");
    EXPECT_EQ(count_of(r.out, "addr[0x"), kDumpKespLines) << r.out;
    EXPECT_EQ(r.status, 0);

    sim_clear_journal();
    r = run("w", "indreg/0:0x20:0x3:2:0x11:0x22");
    EXPECT_EQ(r.out, "addr 0x3\nwrite data[0] 0x11\nwrite data[1] 0x22\nSUCCESS\n");
    EXPECT_EQ(r.status, 0);
    ASSERT_FALSE(sim_journal().empty());
    const SimJournalEntry &e = sim_journal().back();
    EXPECT_EQ(e.request, 0xC004EF02u);
    uint16_t wlen = 0;
    std::memcpy(&wlen, e.record.data() + 36, 2);
    EXPECT_EQ(wlen, 2);
    // Queue read-pointer timer: the DORN backend on any board.
    expect_cases({{"s", "queue/r/0:5", 0, "SUCCESS\n"}});
}

TEST_F(BoardCommands, RegisterDumpUnknownBoard)
{
    std::strcpy(gBoardName, "ZK17OTHR");
    CmdRun r = run("d", "fpga/e/0:10");
    EXPECT_EQ(r.out.substr(r.out.size() - 16), "unsuuport board\n");
    EXPECT_EQ(r.status, -1205);
    r = run("w", "indreg/0:0x20:0x3:1:0x11");
    EXPECT_EQ(r.out, "board ZK17OTHR not suuport!\n \n");
    EXPECT_EQ(r.status, -1205);
}

TEST_F(BoardCommands, ShotsReportTheFirstFailure)
{
    uint64_t start = sched_now_ns();
    CmdRun r = run("d", "fpga/l");
    EXPECT_EQ(r.out, "SUCCESS\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(sched_now_ns() - start, 10 * 1000000000ull);   // one second after each shot
    EXPECT_NE(sim_read_file("/opt/zvt/logic_shot.txt").find("sbuf_indreg\n"), std::string::npos);

    // Two sources gone: both FAILED pairs, every other shot still taken, no
    // SUCCESS, the first failure as the status.
    std::filesystem::remove(sim_path("/proc/trans/trans_warn"));
    std::filesystem::remove(sim_path("/proc/trans/sbuf_cfg"));
    start = sched_now_ns();
    r = run("d", "fpga/l");
    EXPECT_EQ(r.out, "FAILED\nFunction TRANS_Shot error, fpga = 0, shot = 3, iRet = -1216, [fpga_shot] trans/trans:6760\n"
                     "FAILED\nFunction TRANS_Shot error, fpga = 1, shot = 0, iRet = -1216, [fpga_shot] trans/trans:6760\n");
    EXPECT_EQ(r.status, -1216);
    EXPECT_EQ(sched_now_ns() - start, 8 * 1000000000ull);
}

// The load-at-reboot flag: the driver answers 64 bits, the command shows the flag's 8.
TEST_F(BoardCommands, LoadAtRebootFlagFromTheDriversWord)
{
    // The driver behind the sbuf node keeps the flag of both FPGAs.
    fpga_set_record_as(kSbuf, FpgaRecord::LoadAtReboot, 0, uint64_t{0x0101});
    expect_cases({{"m", "fpga/r/0", 0, "Load logic at reboot flag is [1]\nSUCCESS\n"}});
    sim_fail_request(kSbuf, PLOV_IOC_GET_LOAD_AT_REBOOT, EIO);
    expect_cases({{"m", "fpga/r/0", 2,
                   "FAILED\nFunction DornSetLoadAtReboot exe error, iRet = -1203, [fpga_get_load_reboot] "
                   "trans/trans:6430\n"}});
}

// One request failing under each group of commands: its error line and status.
TEST_F(BoardCommands, InjectedRequestFailures)
{
    struct Row {
        uint64_t reg;   // the direct register whose read fails
        Case c;
    };
    const Row rows[] = {
        {0x3065, {"m", "queue/o/0", 2, "FAILED\nFunction PlovTransGetQueueDataOffset exe error, iRet = -1203\n"}},
        {0x3065, {"s", "queue/o/0:64", 0, "SUCCESS\n"}},   // a setting reads nothing
        {0x1820, {"m", "fpga/w/0", 2, "FAILED\nFunction PlovTransGetVrfSwitch exe error, iRet = -1203\n"}},
        {0x3807,
         {"-", "0", -1203, "FAILED\nFunction PlovTransGetAntiCpuIntervalTime exe error, iRet = -1203\n",
          bufc_get_anti_interval}},
    };
    for (const Row &row : rows) {
        fpga_fail_address(kTrans, PLOV_IOC_READ_DIR_REG, row.reg, EIO);
        expect_cases({row.c});
        sim_clear_faults();
    }
    sim_fail_request(kTrans, PLOV_IOC_WRITE_DIR_REG, EIO);
    expect_cases({{"s", "fpga/w/0:1", -1203,
                   "FAILED\nFunction PlovTransSetVrfSwitch exe error, iRet = -1203, [fpga_set_vrf_switch] "
                   "trans/trans:6580\n"}});
}

// ---- direct access ----------------------------------------------------------------------------

TEST_F(BoardCommands, DirectRequestsShapes)
{
    struct Row {
        const char *path;
        std::string node;
        unsigned long request;
        std::vector<uint64_t> words;   // leading 64-bit words of the record
    };
    const Row rows[] = {
        {"mem/0:0x1000:0x5", kTrans, 0xC004EF0A, {0x1000, 5, 1}},
        {"dreg/1:0x4d00:0x1", kSbuf, 0xC004EF00, {0x4d00, 1}},
    };
    for (const Row &row : rows) {
        sim_clear_journal();
        CmdRun r = run("w", row.path);
        EXPECT_EQ(r.out, "SUCCESS\n") << row.path;
        EXPECT_EQ(r.status, 0);
        ASSERT_EQ(sim_journal().size(), 1u) << row.path;
        const SimJournalEntry &e = sim_journal()[0];
        EXPECT_EQ(e.node, row.node);
        EXPECT_EQ(e.request, row.request);
        for (size_t i = 0; i < row.words.size(); ++i) {
            uint64_t w = 0;
            std::memcpy(&w, e.record.data() + 8 * i, 8);
            EXPECT_EQ(w & (i == 2 ? 0xFFu : ~0ull), row.words[i]) << row.path << " word " << i;
        }
    }
    sim_clear_journal();
    CmdRun r = run("w", "indreg/0:0x20:0x3:2:0x11:0x22");
    EXPECT_EQ(r.out, "write value->data[1] = 0x11\nwrite value->data[2] = 0x22\nSUCCESS\n");
    ASSERT_EQ(sim_journal().size(), 1u);
    uint16_t wlen = 0;
    std::memcpy(&wlen, sim_journal()[0].record.data() + 36, 2);
    EXPECT_EQ(wlen, 3);

    r = run("w", "dreg/2:0x10:0x1");
    EXPECT_EQ(r.out.rfind("FAILED\nPCIE_DEV open failed,errno = ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("fd = -1330! [dreg_write]\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.status, -1216);
    sim_fail_request(kTrans, 0xC004EF0A, EIO);
    r = run("w", "mem/0:0x1000:0x5");
    EXPECT_EQ(r.out, "Driver ioctl failed,errno = 5(Input/output error) iRet = -1! [operate_mem]\nFAILED\n"
                     "Function operate_mem exe error, iRet = -1! [mem_write] trans/trans:3320\n");
    EXPECT_EQ(r.status, -1);
}

// ---- memory configuration ------------------------------------------------------------------------

TEST_F(BoardCommands, MemoryConfigurationDumpAndCompare)
{
    CmdRun r = run("s", "fpga/d/0");
    EXPECT_EQ(r.status, 0) << r.out.substr(0, 400);
    EXPECT_EQ(r.out.substr(r.out.size() - 18), "Memcfg test pass!\n");
    EXPECT_EQ(count_of(r.out, "PkgLen:0x940\n"), 2u);
    EXPECT_EQ(count_of(r.out, "TxqDep["), 64u);
    EXPECT_EQ(count_of(r.out, "RxqDep[255]:0x2000\n"), 2u);

    MemCfg cfg{};
    EXPECT_EQ(dorn_memdep_init(&cfg), 0);
    EXPECT_EQ(cfg.TxqDep[4], 0x2000u);
    EXPECT_EQ(cfg.TxqDep[5], 0u);
    CaptureStdout();
    EXPECT_EQ(dorn_memdep_init(nullptr), -1201);
    dorn_dump_memcfg(nullptr);
    EXPECT_EQ(GetCapturedStdout(), "NUll Pointer Detected!\nNUll Pointer Detected!\n");

    sim_fail_request(kTrans, 0xC004EF06, EIO);
    r = run("s", "fpga/d/0");
    EXPECT_EQ(r.out, "Call PlovTransSetMemCfg fail, iRet=-1203!\n");
    EXPECT_EQ(r.status, -1203);
}

TEST_F(BoardCommands, ComparisonReportsTheFirstDifferingByte)
{
    // A working FPGA keeps the configuration it holds; the read-back then differs.
    fpga_set_reg(kTrans, 0x6024, 1);
    for (const auto &[pkgLen, line, status] :
         {std::tuple<uint64_t, const char *, int>{0x800, "Memcfg test fail, iRet[1]\n\n", 1},
          {0x9FF, "Memcfg test fail, iRet[-1]\n\n", -1}}) {
        MemCfg older{};
        older.PkgLen = pkgLen;
        fpga_set_record_as(kTrans, FpgaRecord::MemDep, 0, older);
        CmdRun r = run("s", "fpga/d/0");
        const std::string tail = line;
        ASSERT_GE(r.out.size(), tail.size());
        EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
        EXPECT_EQ(count_of(r.out, "PkgLen:"), 2u);
        EXPECT_NE(r.out.find("get memcfg para:"), std::string::npos);
        EXPECT_EQ(r.status, status);
    }
    sim_fail_request(kTrans, PLOV_IOC_GET_MEM_DEP, EIO);
    CmdRun r = run("s", "fpga/d/0");
    EXPECT_EQ(r.out, "Call PlovTransGetMemCfg fail, iRet=-1203!\n");
    EXPECT_EQ(r.status, -1203);
}

TEST_F(BoardCommands, SelfCheckStopsAtEachStep)
{
    struct Step {
        std::function<void()> inject;
        const char *text;
        std::string last;   // the output's end
        int status;         // the handler's own status
    };
    const Step steps[] = {
        {[] { sim_fail_request(kTrans, PLOV_IOC_SET_MEM_DEP, EIO); }, "0:0:4",
         "Call PlovTransSetMemCfg fail, iRet=-1203!\nCall dorn_set_mem_cfg fail, iRet=-1203!\n", -1203},
        {[] { fpga_fail_address(kTrans, PLOV_IOC_READ_DIR_REG, 0x10, EIO); }, "0:0:4",
         "Call fpga_get_user_viraddr fail, iRet=-1203!\n", -1203},
        {[] { sim_fail_request(kTrans, PLOV_IOC_GET_SWBUF_BASE, EIO); }, "0:0:4",
         "Call dorn_get_swbuf_base fail, iRet=-1203!\n", -1203},
        {[] {}, "0", "Call queue_get_attr fail, iRet=-1202!\n", -1202},
        {[] {}, "0:0:4", "\nSUCCESS\n", 0},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.last);
        step.inject();
        CmdRun r = run("-", step.text, dorn_check_mem_cfg);
        ASSERT_GE(r.out.size(), step.last.size());
        EXPECT_EQ(r.out.substr(r.out.size() - step.last.size()), step.last);
        EXPECT_EQ(r.status, step.status);
        sim_clear_faults();
    }
    EXPECT_EQ(run("m", "fpga/n/0").status, 2);
}

TEST_F(BoardCommands, PoolListingsKeepEveryLineAndReportFailures)
{
    sim_fail_request(kSbuf, PLOV_IOC_GET_SWBUF_BASE, EIO, 1);
    CmdRun r = run("m", "fpga/b");
    EXPECT_EQ(count_of(r.out, "PoolType : 0x"), 8u);
    EXPECT_EQ(count_of(r.out, "Call PlovTransGetSwbufBase fail, iRet=-1203!\nPoolType : 0x1\n\tVirAddr : 0x0\n"
                              "\tPhyAddr : 0x0\n"),
              1u)
        << r.out;
    EXPECT_EQ(count_of(r.out, "Call PlovTransGetSwbufBase fail"), 1u) << r.out;
    EXPECT_EQ(r.status, 2);

    // Free blocks: pool 0 has (5 - 1) x 256; pool 4's failed read shows 0, and the
    // listing goes on but ends with that failure.
    fpga_set_reg(kTrans, 0x6143, 5);
    fpga_set_reg(kTrans, 0x6144, 1);
    fpga_set_reg(kTrans, 0x6153, 3);
    fpga_fail_address(kTrans, PLOV_IOC_READ_DIR_REG, 0x6153, EIO);
    r = run("-", "", dorn_get_freeblockofhwbuf);
    EXPECT_EQ(r.out.rfind("PoolType : 0x0\n\tblock  : 0x400\n"
                          "Call PLOV_TransGetFreeBlockOfHwBuf fail, iRet=-1203!\nPoolType : 0x4\n\tblock  : 0x0\n",
                          0),
              0u)
        << r.out;
    EXPECT_EQ(count_of(r.out, "PoolType : 0x"), 8u);
    EXPECT_EQ(r.status, -1203);

    // User pool bases: the first call's failure is the status, the second still runs.
    fpga_fail_address(kTrans, PLOV_IOC_READ_DIR_REG, 0x10, EIO);
    r = run("-", "0", fpga_get_user_viraddr);
    EXPECT_EQ(r.out.rfind("Function PlovTransGetPoolBase exe error, i = 0, iRet = -1203, [fpga_get_user_viraddr] "
                          "trans/trans:7160\nUSER_CPU0 :\nphyaddr   :0 viraddr  :0\nUSER_CPU1  :\nphyaddr   :0x40001000",
                          0),
              0u)
        << r.out;
    EXPECT_EQ(r.status, -1203);
}

TEST_F(BoardCommands, SharedMemoryMapOneEntryPerNode)
{
    CmdRun r = run("m", "fpga/s");
    EXPECT_EQ(r.out.rfind("SUCCESS\nCpu0 : \n\tVirAddr : 0x", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\tPhyAddr : 0x40000000\n\tNumaNode: 0x0\n\tSize    : 0x100000\n"), std::string::npos);
    EXPECT_EQ(count_of(r.out, "\tVirAddr"), 1u);
    EXPECT_EQ(r.status, 0);
}

TEST_F(BoardCommands, SharedMemoryMapTwoNodes)
{
    sim_write_file(BOARD_CMDLINE_PATH,
                   "memmap=0x1000$0x1000 memmap=0x2000$0x2000 memmap=0x3000$0x3000 memmap=0x4000$0x4000\n");
    sim_write_file(DORN_NODE_ONLINE, "0-1\n");
    CmdRun r = run("m", "fpga/s");
    EXPECT_EQ(count_of(r.out, "\tVirAddr"), 2u) << r.out;
    EXPECT_NE(r.out.find("Cpu0 : \n"), std::string::npos);
    EXPECT_NE(r.out.find("Cpu1 : \n\tVirAddr : 0x"), std::string::npos);
    EXPECT_EQ(r.status, 0);
    sim_fail_open(DORN_NODE_ONLINE, ENOENT);
    r = run("m", "fpga/s");
    EXPECT_EQ(r.out, "FAILED\nFunction DornGetCpuPresent exe error, iRet = -1216, [fpga_get_user_shmem_info] "
                     "trans/trans:7190\n");
}

// ---- buffer control and security module ------------------------------------------------------------

TEST_F(BoardCommands, BufferControlAndSecurityRows)
{
    expect_cases({
        {"s", "bufc/i/0:9", 0, "SUCCESS\n"},
        {"-", "0", 0, "SUCCESS\nInterval time : 1\n", bufc_get_anti_interval},   // the register keeps 3 bits
        {"s", "bufc/p/0:1:2:70000", 0, "SUCCESS\n"},
        {"-", "0:1:2", 0, "SUCCESS\nThreshold : 368\n", bufc_get_port_threshold},   // 4464, 10 bits kept
        {"-", "0", 0, "SUCCESS\nAnti Total Switch : off\n", bufc_get_total_switch},
        {"s", "bufc/i/2:9", -1330, "FAILED\nFunction PlovTransSetAntiCpuIntervalTime exe error, iRet = -1330\n"},
        {"s", "secm/p/0:5:1:77", 0, "SUCCESS\n"},
        {"-", "0:5", 0, "SUCCESS\nScemType : 5\nFlag : 0\nPara : 4294967295\n", secm_get_para},
        {"-", "2", -1330, "FAILED\nFunction PlovGetScemStats exe error, iRet = -1330\n", secm_get_stat_ipv6},
        {"c", "port/x/2:1", -1330, "FAILED\nFunction PlovTransClsScemStats exe error, iRet = -1330\n"},
    });
}

} // namespace
