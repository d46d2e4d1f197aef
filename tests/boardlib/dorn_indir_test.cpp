// The DORN indirect-register catalogue and the requests built from it,
// through the simulated driver.
#include <cerrno>
#include <cstring>

#include "boardlib/dorn_intf.h"
#include "sim/fpga_model.h"
#include "support/sim_fixture.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;

class DornIndirTest : public SimTest {
protected:
    IndirRegReq sent(size_t i = 0) const
    {
        IndirRegReq req;
        EXPECT_EQ(sim_journal().at(i).record.size(), sizeof req);
        std::memcpy(&req, sim_journal().at(i).record.data(), sizeof req);
        return req;
    }
};

// Rows as the register table gives them: id, base, command, r2base, wlen, rlen.
struct Row {
    uint32_t id;
    uint64_t base;
    uint64_t command;
    uint16_t r2base, wlen, rlen;
};

TEST_F(DornIndirTest, RequestsCarryTheRowAndTheCommandWord)
{
    const Row rows[] = {
        {0, 0x6160, 0x2, 2, 1, 2},   {10, 0x5400, 0x10, 7, 6, 1}, {13, 0x1580, 0x2, 2, 1, 1},
        {16, 0x3C00, 0x2, 6, 4, 3},  {17, 0x1801, 0x10, 3, 2, 1}, {25, 0x2800, 0x10, 14, 13, 8},
        {27, 0x5C00, 0x10, 12, 3, 2}, {35, 0x3418, 0x2, 8, 3, 2},  {49, 0x4D80, 0x2, 2, 1, 1},
        {50, 0x7C04, 0x2, 3, 2, 1},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.id);
        for (bool write : {false, true}) {
            IndirRegReq req;
            ASSERT_EQ(DornIndirBuild(r.id, write, &req), PLOV_OK);
            EXPECT_EQ(req.id, r.id);
            EXPECT_EQ(req.command, 0u);  // the catalogue's command is not sent as such
            EXPECT_EQ(req.baseaddr, r.base);
            EXPECT_EQ(req.cmd, write ? (r.command | 1) : r.command);
            EXPECT_EQ(req.mode, 0u);
            EXPECT_EQ(req.r2base, r.r2base);
            EXPECT_EQ(req.ret2base, 0);
            EXPECT_EQ(req.wlen, r.wlen);
            EXPECT_EQ(req.rlen, r.rlen);
            ASSERT_NE(req.data, nullptr);
            for (size_t i = 0; i < size_t{r.wlen} + r.rlen; i++)
                EXPECT_EQ(req.data[i], 0u);
            DornIndirRelease(&req);
            EXPECT_EQ(req.data, nullptr);
        }
    }
}

TEST_F(DornIndirTest, ReadOfRow13TakesWordOne)
{
    fpga_put_indirect(kTrans, 0x1580, {3}, {0x1122334455});
    uint64_t value = 0;
    ASSERT_EQ(DornReadIndirById(0, DORN_INDIR_PIF_CNTM, 3, &value), PLOV_OK);
    EXPECT_EQ(value, 0x1122334455u);
    ASSERT_EQ(sim_journal().size(), 1u);
    EXPECT_EQ(sim_journal()[0].request, PLOV_IOC_READ_INDIR_REG);
    IndirRegReq req = sent();
    EXPECT_EQ(req.id, 13u);
    EXPECT_EQ(req.baseaddr, 0x1580u);
    EXPECT_EQ(req.cmd, 0x2u);
    EXPECT_EQ(req.r2base, 2);
    EXPECT_EQ(req.wlen, 1);
    EXPECT_EQ(req.rlen, 1);
    EXPECT_EQ(sim_journal()[0].extra, (std::vector<uint64_t>{3, 0x1122334455}));
}

TEST_F(DornIndirTest, WriteOfRow17SendsKeyValueAndAZeroWord)
{
    const uint64_t value = 0x99;
    ASSERT_EQ(DornWriteIndirById(0, DORN_INDIR_RXM_CAR_CFG, 5, &value, 1), PLOV_OK);
    ASSERT_EQ(sim_journal().size(), 1u);
    EXPECT_EQ(sim_journal()[0].request, PLOV_IOC_WRITE_INDIR_REG);
    EXPECT_EQ(sent().cmd, 0x11u);
    EXPECT_EQ(sim_journal()[0].extra, (std::vector<uint64_t>{5, 0x99, 0}));
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x1801, {5}), (std::vector<uint64_t>{0x99}));
    // And it reads back behind the two written words.
    uint64_t back = 0;
    ASSERT_EQ(DornReadIndirById(0, DORN_INDIR_RXM_CAR_CFG, 5, &back), PLOV_OK);
    EXPECT_EQ(back, 0x99u);
}

TEST_F(DornIndirTest, SbufRowsGoToTheSbufNode)
{
    fpga_put_indirect(kSbuf, 0x4D80, {2}, {77});
    uint64_t value = 0;
    ASSERT_EQ(DornReadIndirById(1, DORN_INDIR_DL_CNTM, 2, &value), PLOV_OK);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(sim_journal()[0].node, kSbuf);
}

TEST_F(DornIndirTest, FailuresPassThroughAndNothingIsRead)
{
    uint64_t value = 0xEE;
    fpga_fail_key(kTrans, PLOV_IOC_READ_INDIR_REG, 0x1580, {4}, EIO);
    EXPECT_EQ(DornReadIndirById(0, DORN_INDIR_PIF_CNTM, 3, &value), PLOV_OK);
    EXPECT_EQ(DornReadIndirById(0, DORN_INDIR_PIF_CNTM, 4, &value), PLOV_ERR_IOCTL);
    EXPECT_EQ(value, 0u);  // from the successful read of key 3
    sim_remove_node(kSbuf);
    value = 0xEE;
    EXPECT_EQ(DornReadIndirById(1, DORN_INDIR_DL_CNTM, 0, &value), PLOV_ERR_OPEN);
    EXPECT_EQ(value, 0xEEu);
}

TEST_F(DornIndirTest, IdsBeyondTheFilledRowsAreRefused)
{
    uint64_t value = 0;
    const uint64_t word = 1;
    EXPECT_EQ(DornReadIndirById(0, DORN_INDIR_REG_USED, 0, &value), PLOV_ERR_RANGE);
    EXPECT_EQ(DornReadIndirById(0, DORN_INDIR_REG_ROWS, 0, &value), PLOV_ERR_RANGE);
    EXPECT_EQ(DornWriteIndirById(0, 63, 0, &word, 1), PLOV_ERR_RANGE);
    // More value words than the row carries.
    EXPECT_EQ(DornWriteIndirById(0, DORN_INDIR_RXM_CAR_CFG, 0, &word, 2), PLOV_ERR_RANGE);
    EXPECT_EQ(DornReadIndirById(0, 13, 0, nullptr), PLOV_ERR_NULL_PTR);
    EXPECT_TRUE(sim_journal().empty());
    EXPECT_TRUE(sim_syslog().empty());
}

} // namespace
