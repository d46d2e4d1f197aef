// Gaps the FPGA model closes: table records read back as written, table
// statistics kept apart, the tables' key lengths on a fresh board, status
// bits driven by control writes, fixed request fields checked, unknown
// nodes refused and the state saved under named keys.
#include <cerrno>
#include <fcntl.h>
#include <stdexcept>

#include "bases/drv/plov_drv.h"
#include "boardlib/plov_table_intf.h"
#include "sim/fpga_model.h"
#include "sim/kit/sim_doc.h"
#include "support/fpga_test_util.h"
#include "support/sim_fixture.h"

namespace {

const std::string kTrans = kFpgaTransNode;

class FpgaTablesTest : public SimTest {
protected:
    int indir(unsigned long number, const IndirRegReq &in, uint64_t *words)
    {
        IndirRegReq req = in;
        req.data = words;
        int fd = host_open(kTrans.c_str(), O_RDWR);
        int r = host_ioctl(fd, number, &req);
        int err = errno;
        host().close(fd);
        return r < 0 ? -err : r;
    }
    uint64_t read_reg(uint64_t addr)
    {
        DirRegReq req{addr, 0};
        int fd = host_open(kTrans.c_str(), O_RDWR);
        EXPECT_EQ(host_ioctl(fd, PLOV_IOC_READ_DIR_REG, &req), 0);
        host().close(fd);
        return req.data;
    }
    void write_reg(uint64_t addr, uint64_t value)
    {
        DirRegReq req{addr, value};
        int fd = host_open(kTrans.c_str(), O_RDWR);
        EXPECT_EQ(host_ioctl(fd, PLOV_IOC_WRITE_DIR_REG, &req), 0);
        host().close(fd);
    }
};

// Every table kind written through the table API reads back equal.
TEST_F(FpgaTablesTest, TableRecordsReadBackAsWritten)
{
    uint64_t key[5] = {0x51, 0x52, 0x53, 0x54, 0x55}, mask[5] = {1, 2, 3, 4, 5}, act = 0xAC, data = 0x99;
    uint64_t k[5] = {}, m[5] = {}, a = 0, d = 0;
    for (uint8_t table : {uint8_t{4}, uint8_t{5}, uint8_t{8}}) {
        SCOPED_TRACE(int(table));
        ASSERT_EQ(PlovAddRecordByIndex(table, 100, key, mask, &act), 0);
        ASSERT_EQ(PlovGetRecordByIndex(table, 100, k, m, &a), 0);
        EXPECT_EQ(Words(k, k + 5), Words(key, key + 5));
        EXPECT_EQ(Words(m, m + 5), Words(mask, mask + 5));
        EXPECT_EQ(a, act);
    }
    ASSERT_EQ(PlovGetRecordByIndex(6, 100, k, m, &a), 0);  // another TCAM: nothing there
    EXPECT_EQ(a, 0u);
    ASSERT_EQ(PlovAddRecordByIndex(15, 9, nullptr, nullptr, &act), 0);
    ASSERT_EQ(PlovGetRecordByIndex(15, 9, nullptr, nullptr, &a), 0);
    EXPECT_EQ(a, act);
    // Key tables: table 14's five-word key is known on a fresh board.
    for (uint8_t table : {uint8_t{2}, uint8_t{14}}) {
        SCOPED_TRACE(int(table));
        ASSERT_EQ(PlovAddRecordByKey(table, key, &data), 0);
        ASSERT_EQ(PlovGetRecordByKey(table, key, &d), 0);
        EXPECT_EQ(d, data);
        ASSERT_EQ(PlovDelRecordByKey(table, key), 0);
        ASSERT_EQ(PlovGetRecordByKey(table, key, &d), 0);
        EXPECT_EQ(d, 0u);
    }
    EXPECT_FALSE(fpga_has_indirect(kTrans, 0x5400, Words(key, key + 5)));  // deleted by command
    key[4] = 0;
    ASSERT_EQ(PlovGetRecordByKey(14, key, &d), 0);  // all five words make the key
    ASSERT_EQ(PlovDelRecordByIndex(4, 100), 0);
    ASSERT_EQ(PlovGetRecordByIndex(4, 100, k, m, &a), 0);
    EXPECT_EQ(a, 0u);
}

TEST_F(FpgaTablesTest, StatisticsAreTheirOwnStore)
{
    uint64_t key[5] = {1, 2, 3, 4, 5}, mask[5] = {}, act = 0x7, stat[2] = {}, a = 0;
    ASSERT_EQ(PlovAddRecordByIndex(4, 3, key, mask, &act), 0);
    fpga_put_table_stats(kTrans, 0x2800, 3, {10, 20});
    ASSERT_EQ(PlovGetStatByIndex(4, 3, stat), 0);
    EXPECT_EQ(Words(stat, stat + 2), (Words{10, 20}));
    ASSERT_EQ(PlovClrStatByIndex(4, 3), 0);
    ASSERT_EQ(PlovGetStatByIndex(4, 3, stat), 0);
    EXPECT_EQ(Words(stat, stat + 2), (Words{0, 0}));
    ASSERT_EQ(PlovGetRecordByIndex(4, 3, key, mask, &a), 0);
    EXPECT_EQ(a, 0x7u);  // the entry outlives the clear
    // Request 0x1E on a table clears the entry's statistics too.
    fpga_put_table_stats(kTrans, 0x5800, 4, {5});
    uint64_t addr = 4;
    EXPECT_EQ(indir(PLOV_IOC_CLEAR_INDIR_REG, IndirRegReq{0, 0, 0x5800, 3, 0, 0, 0, 1, 0, {}, nullptr}, &addr), 0);
    EXPECT_TRUE(fpga_get_table_stats(kTrans, 0x5800, 4).empty());
}

// Fields the driver fixes: a table request with anything else is refused.
TEST_F(FpgaTablesTest, FixedFieldsAreChecked)
{
    constexpr unsigned long W = PLOV_IOC_WRITE_INDIR_REG, R = PLOV_IOC_READ_INDIR_REG;
    struct Case {
        const char *name;
        unsigned long request;
        IndirRegReq req;  // id, command, base, cmd, mode, r2base, ret2base, wlen, rlen
        int result;
    } cases[] = {
        {"TCAM write", W, {0, 0, 0x2800, 1, 0, 14, 30, 13, 0, {}, nullptr}, 0},
        {"TCAM write, short", W, {0, 0, 0x2800, 1, 0, 14, 30, 12, 0, {}, nullptr}, -EINVAL},
        {"TCAM write, bad r2base", W, {0, 0, 0x2800, 1, 0, 13, 30, 13, 0, {}, nullptr}, -EINVAL},
        {"TCAM write, bad ret2base", W, {0, 0, 0x2800, 1, 0, 14, 22, 13, 0, {}, nullptr}, -EINVAL},
        {"unknown command", W, {0, 0, 0x2800, 5, 0, 14, 30, 13, 0, {}, nullptr}, -EINVAL},
        {"read command on a write", W, {0, 0, 0x2800, 0, 0, 14, 30, 13, 0, {}, nullptr}, -EINVAL},
        {"TCAM read", R, {0, 0, 0x2800, 0, 0, 14, 30, 1, 16, {}, nullptr}, 0},
        {"TCAM statistics", R, {0, 0, 0x2800, 0, 0, 14, 30, 1, 2, {}, nullptr}, 0},
        {"TCAM read, odd rlen", R, {0, 0, 0x2800, 0, 0, 14, 30, 1, 8, {}, nullptr}, -EINVAL},
        {"table 15 has no delete", W, {0, 0, 0x5800, 2, 0, 3, 5, 1, 0, {}, nullptr}, -EINVAL},
        {"table 15 delete by zeros", W, {0, 0, 0x5800, 1, 0, 3, 5, 2, 0, {}, nullptr}, 0},
        {"table 2 write", W, {0, 0, 0x1811, 1, 0, 3, 4, 2, 0, {}, nullptr}, 0},
        {"table 2 read, key too long", R, {0, 0, 0x1811, 0, 0, 3, 4, 2, 1, {}, nullptr}, -EINVAL},
        {"table 14 read", R, {0, 0, 0x5400, 0, 0, 7, 8, 5, 1, {}, nullptr}, 0},
        {"table 14 read, one-word key", R, {0, 0, 0x5400, 0, 0, 7, 8, 1, 1, {}, nullptr}, -EINVAL},
        {"catalogue command", W, {10, 0, 0x5400, 0x11, 0, 7, 0, 6, 1, {}, nullptr}, 0},
        {"plain block: no table rules", W, {0, 0, 0x3800, 9, 0, 0, 0, 2, 0, {}, nullptr}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uint64_t words[32] = {};
        EXPECT_EQ(indir(c.request, c.req, words), c.result);
    }
}

// The clear-all's done bit follows 0x5C18 written 0 then 1; the self tests'
// busy bits clear and their results come after a while of virtual time.
TEST_F(FpgaTablesTest, ControlWritesDriveStatusBits)
{
    EXPECT_EQ(PlovDelAllTable(), 0);  // nothing preset: the write itself brings the bit
    EXPECT_NE(read_reg(0x5D00) & 0x10, 0u);
    write_reg(0x5C18, 0);
    EXPECT_EQ(read_reg(0x5D00) & 0x10, 0u);

    write_reg(0x5C4F, 0);
    write_reg(0x5C4F, 1);
    EXPECT_EQ(read_reg(0x5D06) & 1, 1u);  // TCAM self test busy
    host().sleep(1);
    EXPECT_EQ(read_reg(0x5D06) & 1, 0u);

    struct Mem {
        uint64_t start, result;
    } mems[] = {{0xC40, 0xD01}, {0x1040, 0x1101}, {0x840, 0x901}};
    for (const Mem &m : mems) {
        SCOPED_TRACE(m.start);
        write_reg(m.start, 1);
        EXPECT_EQ(read_reg(m.start) & 1, 1u);
        EXPECT_EQ(read_reg(m.result), 0u);
        host().usleep(500000);
        EXPECT_EQ(read_reg(m.start) & 1, 0u);
        EXPECT_EQ(read_reg(m.result), 0xFu);
    }
    write_reg(0x3C10, 1);
    write_reg(0x3C10, 0);
    EXPECT_EQ(read_reg(0x3C81), 0xFu);
}

TEST_F(FpgaTablesTest, UnknownNodesAreRefused)
{
    const std::string none = "/dev/nope";
    EXPECT_THROW(fpga_set_reg(none, 1, 1), std::invalid_argument);
    EXPECT_THROW(fpga_put_indirect(none, 0x30, {1}, {2}), std::invalid_argument);
    EXPECT_THROW(fpga_set_record(none, FpgaRecord::DrvVer, 0, {}), std::invalid_argument);
    EXPECT_THROW(fpga_fail_address(none, PLOV_IOC_READ_DIR_REG, 1, EIO), std::invalid_argument);
    EXPECT_THROW(fpga_fail_address(kTrans, PLOV_IOC_GET_DRV_INFO, 1, EIO), std::invalid_argument);
    EXPECT_FALSE(sim_node_present(none));
}

TEST_F(FpgaTablesTest, StateUnderNamedKeys)
{
    fpga_set_reg(kTrans, 0x77, 5);
    fpga_set_reg_behaviour(kTrans, 0x77, FpgaRegBehaviour::ClearOnRead);
    fpga_put_table_stats(kTrans, 0x2800, 3, {1, 2});
    SimDoc doc;
    doc.kind = "board";
    fpga_model_save(doc);
    std::string text = sim_doc_format(doc);
    for (const char *line : {"[fpga]", "board = \"dorn\"", "[fpga /dev/trans_pci]", "[fpga /dev/sbuf_pci]",
                             "reg 0x77 = 0x5", "cor 0x77 = 0xffffffffffffffff", "stat 0x2800 0x3 = 0x1 0x2",
                             "rec drvver 0x0 = \"trans_pci 1.0.0"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    fpga_model_reset();
    SimDoc back;
    ASSERT_TRUE(sim_doc_parse(text, "board.txt", "board", back)) << back.error;
    ASSERT_TRUE(fpga_model_load(back)) << back.error;
    EXPECT_EQ(fpga_get_reg(kTrans, 0x77), 5u);
    EXPECT_EQ(fpga_get_table_stats(kTrans, 0x2800, 3), (Words{1, 2}));

    struct Bad {
        const char *line;
        const char *error;
    } bad[] = {
        {"nonsense 0x1 = 0x2", "board.txt:3: unknown fpga key \"nonsense 0x1\""},
        {"rec nosuch 0x0 = \"\"", "board.txt:3: unknown fpga record \"rec nosuch 0x0\""},
        {"reg zz = 0x1", "board.txt:3: bad number in fpga key \"reg zz\""},
    };
    for (const Bad &b : bad) {
        SCOPED_TRACE(b.line);
        SimDoc d;
        ASSERT_TRUE(sim_doc_parse(std::string("quorbix-sim board 1\n[fpga /dev/trans_pci]\n") + b.line + "\n",
                                  "board.txt", "board", d));
        EXPECT_FALSE(fpga_model_load(d));
        EXPECT_EQ(d.error, b.error);
    }
}

} // namespace
