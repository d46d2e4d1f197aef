// Indirect registers by catalogue id: the requests the DORN and KESP
// catalogues build, what they read and write, and their failures.
#include <cerrno>
#include <functional>

#include "boardlib/dorn_intf.h"
#include "boardlib/kesp_intf.h"
#include "sim/fpga_model.h"
#include "support/fpga_test_util.h"
#include "support/sim_fixture.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;

class DornIndirTest : public SimTest {};

class KespIndirTest : public SimTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

TEST_F(DornIndirTest, BuildCopiesTheRowAndSetsTheCommandWord)
{
    struct Row {
        uint32_t id;
        uint64_t base, command;
        uint16_t r2base, wlen, rlen;
    } rows[] = {
        {0, 0x6160, 0x2, 2, 1, 2},     {10, 0x5400, 0x10, 7, 6, 1},   {13, 0x1580, 0x2, 2, 1, 1},
        {16, 0x3C00, 0x2, 6, 4, 3},    {17, 0x1801, 0x10, 3, 2, 1},   {25, 0x2800, 0x10, 14, 13, 8},
        {27, 0x5C00, 0x10, 12, 3, 2},  {35, 0x3418, 0x2, 8, 3, 2},    {49, 0x4D80, 0x2, 2, 1, 1},
        {50, 0x7C04, 0x2, 3, 2, 1},
    };
    for (const Row &r : rows)
        for (bool write : {false, true}) {
            SCOPED_TRACE(r.id * 2 + write);
            IndirRegReq req;
            ASSERT_EQ(DornIndirBuild(r.id, write, &req), 0);
            IndirRegReq expect{r.id, 0, r.base, write ? (r.command | 1) : r.command, 0, r.r2base, 0, r.wlen, r.rlen,
                               {}, req.data};
            EXPECT_EQ(bytes_of(req), bytes_of(expect));
            ASSERT_NE(req.data, nullptr);
            EXPECT_EQ(Words(req.data, req.data + r.wlen + r.rlen), Words(r.wlen + r.rlen, 0));
            DornIndirRelease(&req);
            EXPECT_EQ(req.data, nullptr);
        }
}

// The read takes word wlen; the write sends the key, the values, and zeros
// up to wlen.
TEST_F(DornIndirTest, ReadAndWriteById)
{
    fpga_put_indirect(kTrans, 0x1580, {3}, {0x1122334455});
    fpga_put_indirect(kSbuf, 0x4D80, {2}, {77});
    const uint64_t v = 0x99;
    uint64_t value = 0;
    struct Case {
        std::function<PlovStatus()> call;
        std::string node;
        unsigned long request;
        uint64_t cmd;
        Words sent;
        uint64_t value;
    } cases[] = {
        {[&] { return DornReadIndirById(0, DORN_INDIR_PIF_CNTM, 3, &value); }, kTrans, 0xC004EF03, 0x2,
         {3, 0x1122334455}, 0x1122334455},
        {[&] { return DornReadIndirById(1, DORN_INDIR_DL_CNTM, 2, &value); }, kSbuf, 0xC004EF03, 0x2, {2, 77}, 77},
        {[&] { return DornWriteIndirById(0, DORN_INDIR_RXM_CAR_CFG, 5, &v, 1); }, kTrans, 0xC004EF02, 0x11,
         {5, 0x99, 0}, 77},
        {[&] { return DornReadIndirById(0, DORN_INDIR_RXM_CAR_CFG, 5, &value); }, kTrans, 0xC004EF03, 0x10,
         {5, 0, 0x99}, 0x99},
    };
    for (const Case &c : cases) {
        sim_clear_journal();
        ASSERT_EQ(c.call(), 0);
        ASSERT_EQ(sim_journal().size(), 1u);
        EXPECT_EQ(sim_journal()[0].node, c.node);
        EXPECT_EQ(sim_journal()[0].request, c.request);
        EXPECT_EQ(journal_record<IndirRegReq>().cmd, c.cmd);
        EXPECT_EQ(sim_journal()[0].extra, c.sent);
        EXPECT_EQ(value, c.value);
    }
}

TEST_F(DornIndirTest, FailuresLeaveTheValue)
{
    const uint64_t word = 1;
    uint64_t value = 0xEE;
    fpga_fail_key(kTrans, PLOV_IOC_READ_INDIR_REG, 0x1580, {4}, EIO);
    EXPECT_EQ(DornReadIndirById(0, DORN_INDIR_PIF_CNTM, 4, &value), -1203);
    sim_fail_open(kSbuf, ENOENT);
    EXPECT_EQ(DornReadIndirById(1, DORN_INDIR_DL_CNTM, 0, &value), -1216);
    EXPECT_EQ(DornWriteIndirById(1, DORN_INDIR_DL_CNTM, 0, &word, 0), -1216);
    EXPECT_EQ(value, 0xEEu);
    sim_clear_faults();
    sim_clear_journal();
    sim_clear_syslog();
    // Refused before any request: ids beyond the filled rows, more values
    // than the row takes, no output.
    EXPECT_EQ(DornReadIndirById(0, DORN_INDIR_REG_USED, 0, &value), -1336);
    EXPECT_EQ(DornWriteIndirById(0, 63, 0, &word, 1), -1336);
    EXPECT_EQ(DornWriteIndirById(0, DORN_INDIR_RXM_CAR_CFG, 0, &word, 2), -1336);
    EXPECT_EQ(DornReadIndirById(0, DORN_INDIR_PIF_CNTM, 0, nullptr), -1201);
    EXPECT_EQ(DornWriteIndirById(0, DORN_INDIR_PIF_CNTM, 0, nullptr, 1), -1201);
    EXPECT_TRUE(sim_journal().empty());
    EXPECT_TRUE(sim_syslog().empty());
}

// Every filled row: the write carries wlen alone, the read rlen alone, the
// clear all four counts; none carries the row's command word or mode, and
// the caller's words travel as they are.
TEST_F(KespIndirTest, RequestsOfEveryRow)
{
    for (uint32_t id = 0; id < 60; id++) {
        SCOPED_TRACE(id);
        const IndirRegReq &row = g_KespIndirReg[id];
        uint64_t data[4] = {id, 0x100 + id, 0x200 + id, 0x300 + id};
        struct Expect {
            PlovStatus (*fn)(uint32_t, uint64_t *);
            bool applies;  // a block without words in one direction is not used in it
            unsigned long request;
            IndirRegReq req;
        } expect[] = {
            {KespWriteIndregByID, row.wlen > 0, 0xC004EF02, {id, 0, row.baseaddr, 1, 0, 0, 0, row.wlen, 0, {}, data}},
            {KespReadIndregByID, row.rlen > 0, 0xC004EF03, {id, 0, row.baseaddr, 0, 0, 0, 0, 0, row.rlen, {}, data}},
            {KespClearCntIndregByID, true, 0xC004EF1E,
             {id, 0, row.baseaddr, 3, 0, row.r2base, row.ret2base, row.wlen, row.rlen, {}, data}},
        };
        for (const Expect &x : expect) {
            if (!x.applies)
                continue;
            sim_clear_journal();
            ASSERT_EQ(x.fn(id, data), 0);
            ASSERT_EQ(sim_journal().size(), 1u);
            EXPECT_EQ(sim_journal()[0].node, kTrans);
            EXPECT_EQ(sim_journal()[0].request, x.request);
            EXPECT_EQ(sim_journal()[0].record, bytes_of(x.req));
        }
    }
}

TEST_F(KespIndirTest, Failures)
{
    uint64_t data[4] = {};
    const std::string failed = "[Trans-ERR]Ioctl failed! errno=5(Input/output error)";
    struct Case {
        PlovStatus (*fn)(uint32_t, uint64_t *);
        unsigned long request;
        std::vector<std::string> lines;  // the read adds a line of its own
    } cases[] = {
        {KespReadIndregByID, 0xC004EF03, {failed, "[Trans-ERR]call KespLogicReadIndirReg err, id [3] ret [-1203]\n"}},
        {KespWriteIndregByID, 0xC004EF02, {failed}},
        {KespClearCntIndregByID, 0xC004EF1E, {failed}},
    };
    for (const Case &c : cases) {
        sim_clear_syslog();
        EXPECT_EQ(c.fn(3, nullptr), -1201);
        EXPECT_EQ(c.fn(64, data), -1202);
        EXPECT_EQ(plov_lines("boardlib/kesp_intf.cpp"),
                  std::vector<std::string>{"[Trans-ERR]indirect register id [64] out of range\n"});
        EXPECT_TRUE(sim_journal().empty());
        sim_clear_syslog();
        sim_fail_request(kTrans, c.request, EIO);
        EXPECT_EQ(c.fn(3, data), -1203);
        EXPECT_EQ(plov_lines(), c.lines);
        sim_clear_faults();
        sim_fail_open(kTrans, ENOENT);
        EXPECT_EQ(c.fn(3, data), -1216);
        sim_clear_faults();
        sim_clear_journal();
    }
}

} // namespace
