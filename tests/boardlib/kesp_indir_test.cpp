#include "boardlib/kesp_intf.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "sim/fpga_model.h"
#include "sim/sim_host.h"
#include "tests/support/sim_fixture.h"

namespace {

constexpr const char *kTrans = "/dev/trans_pci";

class KespIndirTest : public SimTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

IndirRegReq record_of(const SimJournalEntry &e)
{
    IndirRegReq req{};
    std::memcpy(&req, e.record.data(), std::min(e.record.size(), sizeof req));
    return req;
}

// Every filled row: the write carries wlen only, the read rlen only, the
// clear all four counts; none carries the row's command word or mode.
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
            uint64_t cmd;
            uint16_t r2base, ret2base, wlen, rlen;
        } expect[] = {
            {KespWriteIndregByID, row.wlen > 0, 0xC004EF02, 1, 0, 0, row.wlen, 0},
            {KespReadIndregByID, row.rlen > 0, 0xC004EF03, 0, 0, 0, 0, row.rlen},
            {KespClearCntIndregByID, true, 0xC004EF1E, 3, row.r2base, row.ret2base, row.wlen, row.rlen},
        };
        for (const Expect &x : expect) {
            if (!x.applies)
                continue;
            sim_clear_journal();
            ASSERT_EQ(x.fn(id, data), 0);
            ASSERT_EQ(sim_journal().size(), 1u);
            const SimJournalEntry &e = sim_journal()[0];
            IndirRegReq req = record_of(e);
            EXPECT_EQ(e.node, kTrans);
            EXPECT_EQ(e.request, x.request);
            EXPECT_EQ(req.id, id);
            EXPECT_EQ(req.command, 0u);
            EXPECT_EQ(req.mode, 0u);
            EXPECT_EQ(req.baseaddr, row.baseaddr);
            EXPECT_EQ(req.cmd, x.cmd);
            EXPECT_EQ(req.r2base, x.r2base);
            EXPECT_EQ(req.ret2base, x.ret2base);
            EXPECT_EQ(req.wlen, x.wlen);
            EXPECT_EQ(req.rlen, x.rlen);
            EXPECT_EQ(req.data, data);
        }
    }
}

TEST_F(KespIndirTest, WriteThenReadThroughTheFpga)
{
    uint64_t w[4] = {5, 0x11, 0x22, 0x33};
    ASSERT_EQ(KespWriteIndregByID(7, w), 0);
    EXPECT_EQ(sim_journal().back().extra, (std::vector<uint64_t>{5, 0x11, 0x22, 0x33}));
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x5820, {5}), (std::vector<uint64_t>{0x11, 0x22, 0x33}));
    uint64_t r[4] = {5, 0, 0, 0};
    ASSERT_EQ(KespReadIndregByID(7, r), 0);
    EXPECT_EQ(r[1], 0x11u);
    EXPECT_EQ(r[3], 0x33u);

    fpga_put_indirect(kTrans, 0x6984, {9}, {1234});
    uint64_t stat[2] = {9, 0};
    ASSERT_EQ(KespReadIndregByID(53, stat), 0);
    EXPECT_EQ(stat[1], 1234u);
    ASSERT_EQ(KespClearCntIndregByID(53, stat), 0);
    EXPECT_FALSE(fpga_has_indirect(kTrans, 0x6984, {9}));
}

TEST_F(KespIndirTest, FailuresPassThrough)
{
    uint64_t data[4] = {};
    for (auto fn : {KespReadIndregByID, KespWriteIndregByID, KespClearCntIndregByID}) {
        EXPECT_EQ(fn(3, nullptr), -1201);
        EXPECT_EQ(fn(64, data), -1202);
        EXPECT_EQ(fn(0xFFFFFFFF, data), -1202);
    }
    EXPECT_TRUE(sim_journal().empty());

    struct Case {
        PlovStatus (*fn)(uint32_t, uint64_t *);
        unsigned long request;
        size_t lines;  // the read adds a line of its own
    } cases[] = {
        {KespReadIndregByID, 0xC004EF03, 2},
        {KespWriteIndregByID, 0xC004EF02, 1},
        {KespClearCntIndregByID, 0xC004EF1E, 1},
    };
    for (const Case &c : cases) {
        sim_clear_faults();
        sim_clear_syslog();
        sim_fail_request(kTrans, c.request, EIO);
        EXPECT_EQ(c.fn(3, data), -1203);
        ASSERT_EQ(sim_syslog().size(), c.lines);
        if (c.lines == 2) {
            EXPECT_EQ(sim_syslog()[1].text.find("[PLOV_LOG] boardlib/kesp_intf.cpp:"), 0u) << sim_syslog()[1].text;
        }

        sim_clear_faults();
        sim_fail_open(kTrans, ENOENT);
        EXPECT_EQ(c.fn(3, data), -1216);
    }
    sim_clear_faults();
}

} // namespace
