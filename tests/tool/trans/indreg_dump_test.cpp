// The indirect-register dump (dump block rows trans and sbuf) on the
// simulated DORN FPGAs: input checks, class and row selection, headings,
// failure texts, the file's failures and the key words of every reader.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bases/drv/plov_drv.h"
#include "boardlib/dorn_intf.h"
#include "sim/fpga_model.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/trans/indreg_dump.h"
#include "tool/trans_op.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;
const std::string kOut = "/home/dump.txt";

class IndregDump : public SimTest {
protected:
    ConsoleRun dump(const std::string &path) { return console_run([&] { return op_dump(path.c_str()); }); }
    std::string file()
    {
        std::ifstream in(root_ + kOut, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // The key words (data word 0) of the indirect reads on a node, in order.
    static std::vector<uint64_t> keys(const std::string &node)
    {
        std::vector<uint64_t> out;
        for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, node, PLOV_IOC_READ_INDIR_REG))
            if (!e.extra.empty())
                out.push_back(e.extra[0]);
        return out;
    }
    void SetUp() override
    {
        SimTest::SetUp();
        std::filesystem::create_directories(root_ + "/home");
    }
};

std::vector<std::string> lines_with(const std::string &text, const std::string &tag)
{
    std::vector<std::string> out;
    for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag, at + 1))
        out.push_back(text.substr(at + tag.size(), text.find('\n', at) - at - tag.size()));
    return out;
}

TEST_F(IndregDump, RefusesBadInput)
{
    struct Case {
        const char *params;
        const char *printed;
    };
    const Case cases[] = {
        {"", "[sscanf_s]: too little para,iRet=-1 InputString = !\n\n"},
        {"0:1", "[sscanf_s]: too little para,iRet=2 InputString = 0:1!\n\n"},
        {"2:0:/home/dump.txt", "Invalid input DumpType,DumpType=2\n\n"},
        {"0:4:/home/dump.txt", "Invalid input DumpIndex, DumpType=0 DumpIndex=4\n\n"},
        {"1:50:/home/dump.txt", "Invalid input DumpIndex, DumpType=1 DumpIndex=50\n\n"},
        {"1:-1:/home/dump.txt", "Invalid input DumpIndex, DumpType=1 DumpIndex=-1\n\n"},
    };
    for (const Case &c : cases) {
        ConsoleRun r = console_run([&] { return trans_logic_indreg_dump(c.params); });
        EXPECT_EQ(r.status, -1202) << c.params;
        EXPECT_EQ(r.out, c.printed);
    }
}

TEST_F(IndregDump, ClassDumpGroupsRowsOfTheFpgaUnderModuleHeadings)
{
    sim_journal_enable(false);
    ConsoleRun r = dump("sbuf/0:3:" + kOut);
    ASSERT_EQ(r.status, 0) << r.out;
    std::string text = file();
    const std::vector<std::string> modules = {"AADRM", "BUFC", "DDR3A_CTRL", "QDR2", "RXM", "RXQM", "TRM",
                                              "TXM", "TXQM", "PCIE_X4", "PCIE_X8", "DL"};
    EXPECT_EQ(lines_with(text, "Moudle Name:"), modules);
    std::vector<std::string> regs;
    for (const IndregDumpRow &row : g_indreg_read)
        if (row.fpgaMask & 2)
            regs.push_back(row.regName);
    EXPECT_EQ(lines_with(text, "Reg Name:"), regs);
    const std::string stars(53, '*'), plus(33, '+');
    EXPECT_EQ(text.rfind("\n" + stars + "\nMoudle Name:AADRM\n" + stars + "\n" + plus +
                             "\nReg Name:AADRM_REG_SBD_PNT_RAM_CMD\n" + plus + "\nQID  RPTR     WPTR\n 0   0x00000  0x00000",
                         0),
              0u);
    EXPECT_NE(text.find("\nReg Name:DDR3A_CTRL_REG_DDR3_CMD\n" + plus + "\n huge data will not be dump!\n" + plus),
              std::string::npos);
    EXPECT_EQ(lines_with(text, " huge data").size(), 6u);   // rows 6, 7, 14, 15, 27, 47

    // Counters only, on the trans FPGA: rows of class bit 2 with FPGA bit 0.
    r = dump("trans/0:2:" + kOut);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(lines_with(file(), "Reg Name:"),
              (std::vector<std::string>{"AADRM_REG_SBD_REL_CNT_RAM_CMD", "BUFC_REG_BUFC_QUE_STAT_CMD",
                                        "PIF_REG_CNTM_CMD", "RXM_REG_CNTM_CMD", "RXQM_REG_RXM_QUE_STAT_CMD",
                                        "TABLEM_REG_VLANID_DROP_CNT_CMD", "TXQM_REG_TXQM_REQCNT_CMD",
                                        "TXQM_REG_TXQM_RTNCNT_CMD", "TXQM_REG_TXQM_OUTCNT_CMD",
                                        "TXQM_REG_TXQM_OUTADDRM_CMD"}));
}

TEST_F(IndregDump, OneRowIgnoresTheFpgaMaskAndPrintsValues)
{
    ConsoleRun r = dump("trans/1:49:" + kOut);
    ASSERT_EQ(r.status, 0);
    std::string text = file();
    EXPECT_NE(text.find("\nReg Name:DL_REG_CNTM_CMD\n"), std::string::npos);
    EXPECT_EQ(text.find("Moudle Name"), std::string::npos);
    EXPECT_NE(text.find("\n03   0x000000000000"), std::string::npos);

    const uint64_t base = g_IndirReg[32].baseaddr;
    fpga_put_indirect(kTrans, base, {8}, {0xFFF12345});
    ASSERT_EQ(dump("trans/1:32:" + kOut).status, 0);
    EXPECT_NE(file().find("\nQueueID WptrValue\n000     0x00000\n004     0x00000\n008     0x12345\n012"),
              std::string::npos);
}

TEST_F(IndregDump, FailedReadsWriteTheRowsFailureTexts)
{
    sim_fail_request(kTrans, PLOV_IOC_READ_INDIR_REG, EIO);
    struct Case {
        int row;
        const char *text;
    };
    const Case cases[] = {
        {0, "\nQID  RPTR     WPTR\n0    read indreg err!\n1    read indreg err!"},
        {1, "\nQID  REL_BD_CNT\n0 read indreg err!\n1 read indreg err!"},
        {2, "\ntblID  tblAttr\n0   read indreg err!\n1   read indreg err!"},
        {18, "\nPortID  LogicID\n0   read indreg err!"},
        {22, "\nHashValue:ProcessID\nread err read err "},
        {23, "\nGroupID:WptrBaseAddr\nindreg read err!      indreg read err!      "},
        {32, "\nQueueID WptrValue\n000     0x00000\n"},   // no failure text: the zeros
    };
    for (const Case &c : cases) {
        ConsoleRun r = dump("trans/1:" + std::to_string(c.row) + ":" + kOut);
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(file().find(c.text), std::string::npos) << c.row << "\n" << file().substr(0, 300);
    }
}

TEST_F(IndregDump, FileFailures)
{
    ConsoleRun r = dump("trans/1:0:/home/none/dump.txt");
    EXPECT_EQ(r.status, -1216);
    EXPECT_EQ(r.out, "fopen err,file:/home/none/dump.txt existe or create err!\n\n");
    sim_fail_op(SimFaultOp::write, kOut, ENOSPC);
    r = dump("trans/1:0:" + kOut);
    EXPECT_EQ(r.status, -1218);
    EXPECT_NE(r.out.find("Write to /home/dump.txt failed"), std::string::npos);
}

// Every reader's keys: count, the first few and the last, from the journal;
// the port counters' keys whole.
TEST_F(IndregDump, KeyWordsOfEveryReader)
{
    struct Case {
        int row;
        int fpga;
        size_t count;
        std::vector<uint64_t> first;
        uint64_t last;
    };
    const Case cases[] = {
        {0, 0, 64, {0, 1, 2}, 31},
        {1, 0, 64, {0, 1}, 31},
        {2, 0, 31, {0, 1}, 14},
        {3, 0, 48, {0, 0x20, 0x40, 1}, 15 | 0x40},
        {3, 1, 12, {0, 0x20, 0x40, 1}, 3 | 0x40},
        {4, 0, 48, {0, 0x20, 0x40}, 15 | 0x40},
        {12, 0, 12 * 512, {0, 1}, 511},
        {13, 0, 12 * 16, {0, 0x10, 0x20, 0x30}, 11 | 31 << 4},
        {17, 0, 32, {0, 0x10, 1}, 15 | 0x10},
        {18, 0, 16, {0, 1}, 15},
        {19, 0, 4096 * 8, {0, 1, 2}, 4095 * 8 + 7},
        {20, 0, 16 * 9, {0, 0x10, 0x20}, 15 | 8 << 4},
        {21, 0, 288 * 4, {0, 0x200, 0x400, 0x600, 1}, 287 | 3 << 9},
        {22, 0, 4096, {0, 1}, 4095},
        {23, 0, 64, {0, 1}, 63},
        {24, 0, 288 * 4 + 32, {0, 0x200}, 7 | 1 << 3 | 5 << 9},
        {26, 0, 12 * 4096, {0, 1}, 11 * 4096 + 4095},
        {28, 0, 64, {0, 1}, 63},
        {29, 0, 64, {0, 4, 8}, 252},
        {30, 0, 64, {0, 1}, 63},
        {35, 0, 64, {0, 4}, 252},
        {36, 0, 64, {0, 1}, 63},
        {40, 0, 64, {0, 4}, 252},
        {41, 0, 1024, {0x3C00, 0x3C01}, 0x3C00 | 1023},
        {42, 0, 4 * 256, {0, 1}, 3 << 9 | 255},
        {43, 0, 42, {0, 1, 2, 3, 4, 5, 6, 0x10}, 5 << 4 | 6},
        {44, 0, 2048, {0x3C00, 0x3C01}, 0x3C00 | 1 << 14 | 1023},
        {45, 0, 2 * 8 * 256, {0, 1}, 1 << 8 | 7 << 9 | 255},
        {46, 0, 2 * 42, {0, 1}, 1 << 8 | 5 << 4 | 6},
        {48, 0, 5 * 512, {0, 1}, 511},
        {49, 1, 4 * 16, {0, 4, 8}, 3 | 31 << 2},
    };
    for (const Case &c : cases) {
        sim_clear_journal();
        std::string path = std::string(c.fpga ? "sbuf" : "trans") + "/1:" + std::to_string(c.row) + ":" + kOut;
        ASSERT_EQ(dump(path).status, 0) << path;
        std::vector<uint64_t> k = keys(c.fpga ? kSbuf : kTrans);
        ASSERT_EQ(k.size(), c.count) << c.row;
        EXPECT_EQ(std::vector<uint64_t>(k.begin(), k.begin() + static_cast<long>(c.first.size())), c.first) << c.row;
        EXPECT_EQ(k.back(), c.last) << c.row;
    }
    // The port counters (rows 13 and 49) in full: per port the counters 0-6,
    // 15-22 and 31, counter 7 left out.
    struct Counters {
        int row;
        int fpga;
        uint64_t ports;
        unsigned shift;   // of the counter above the port bits
    };
    for (const Counters &c : {Counters{13, 0, 12, 4}, Counters{49, 1, 4, 2}}) {
        std::vector<uint64_t> want;
        for (uint64_t port = 0; port < c.ports; port++)
            for (uint64_t n : {0, 1, 2, 3, 4, 5, 6, 15, 16, 17, 18, 19, 20, 21, 22, 31})
                want.push_back(port | n << c.shift);
        sim_clear_journal();
        std::string path = std::string(c.fpga ? "sbuf" : "trans") + "/1:" + std::to_string(c.row) + ":" + kOut;
        ASSERT_EQ(dump(path).status, 0) << path;
        EXPECT_EQ(keys(c.fpga ? kSbuf : kTrans), want) << c.row;
    }
    // Row 25: five tables of 65536 addresses, with the journal off.
    sim_journal_enable(false);
    ASSERT_EQ(dump("trans/1:25:" + kOut).status, 0);
    EXPECT_EQ(lines_with(file(), "Table:").size(), 5u);
}

} // namespace
