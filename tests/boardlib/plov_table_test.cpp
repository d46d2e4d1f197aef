#include "boardlib/plov_table_intf.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <vector>

#include "boardlib/dorn_logic.h"
#include "sim/fpga_model.h"
#include "sim/sim_host.h"
#include "tests/support/sim_fixture.h"

namespace {

using Words = std::vector<uint64_t>;

constexpr const char *kTrans = "/dev/trans_pci";

IndirRegReq record_of(const SimJournalEntry &e)
{
    IndirRegReq req{};
    EXPECT_EQ(e.record.size(), sizeof req);
    std::memcpy(&req, e.record.data(), std::min(e.record.size(), sizeof req));
    return req;
}

class PlovTableTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        fpga_set_key_words(kTrans, 0x5400, 5);  // table 14 has five-word keys
    }

public:
    uint64_t key1[1] = {0x77};
    uint64_t key5[5] = {0x51, 0x52, 0x53, 0x54, 0x55};
    uint64_t mask5[5] = {0x61, 0x62, 0x63, 0x64, 0x65};
    uint64_t data1[1] = {0x99};
    uint64_t act1[1] = {0xAC};
    uint64_t out[16] = {};
};

// One operation: how to call it, and the one request it must send.
struct RequestCase {
    const char *name;
    std::function<PlovStatus(PlovTableTest &)> call;
    unsigned long request;
    uint64_t cmd, baseaddr;
    uint16_t wlen, rlen, r2base, ret2base;
    Words written;  // the data words up to wlen
};

std::vector<RequestCase> request_cases()
{
    using T = PlovTableTest;
    return {
        {"add key 2", [](T &t) { return PlovAddRecordByKey(2, t.key1, t.data1); }, 0xC004EF02, 1, 0x1811, 2, 0, 3, 4,
         {0x77, 0x99}},
        {"add key 14", [](T &t) { return PlovAddRecordByKey(14, t.key5, t.data1); }, 0xC004EF02, 1, 0x5400, 6, 0, 7,
         8, {0x51, 0x52, 0x53, 0x54, 0x55, 0x99}},
        {"get key 2", [](T &t) { return PlovGetRecordByKey(2, t.key1, t.out); }, 0xC004EF03, 0, 0x1811, 1, 1, 3, 4,
         {0x77}},
        {"get key 14", [](T &t) { return PlovGetRecordByKey(14, t.key5, t.out); }, 0xC004EF03, 0, 0x5400, 5, 1, 7, 8,
         {0x51, 0x52, 0x53, 0x54, 0x55}},
        {"del key 2 writes zeros", [](T &t) { return PlovDelRecordByKey(2, t.key1); }, 0xC004EF02, 1, 0x1811, 2, 0, 3,
         4, {0x77, 0}},
        {"del key 14 deletes", [](T &t) { return PlovDelRecordByKey(14, t.key5); }, 0xC004EF02, 2, 0x5400, 5, 0, 7, 8,
         {0x51, 0x52, 0x53, 0x54, 0x55}},
        {"add index 4, last entry", [](T &t) { return PlovAddRecordByIndex(4, 16383, t.key5, t.mask5, t.act1); },
         0xC004EF02, 1, 0x2800, 13, 0, 14, 30, {16383, 0xAC, 0x51, 0x52, 0x53, 0x54, 0x55, 0, 0x61, 0x62, 0x63, 0x64, 0x65}},
        {"add index 15", [](T &t) { return PlovAddRecordByIndex(15, 5, nullptr, nullptr, t.act1); }, 0xC004EF02, 1,
         0x5800, 2, 0, 3, 5, {5, 0xAC}},
        {"get index 7", [](T &t) { return PlovGetRecordByIndex(7, 3, t.key5, t.mask5, t.act1); }, 0xC004EF03, 0,
         0x2800, 1, 16, 14, 30, {3 + (3u << 14)}},
        {"get index 15", [](T &t) { return PlovGetRecordByIndex(15, 0x6FFFF, nullptr, nullptr, t.act1); },
         0xC004EF03, 0, 0x5800, 1, 2, 3, 5, {0x6FFFF}},
        {"del index 5 deletes", [](T &) { return PlovDelRecordByIndex(5, 7); }, 0xC004EF02, 2, 0x2800, 1, 0, 14, 30,
         {16391}},
        {"del index 15 writes zeros", [](T &) { return PlovDelRecordByIndex(15, 4); }, 0xC004EF02, 1, 0x5800, 2, 0, 3,
         5, {4, 0}},
        {"stat index 4", [](T &t) { return PlovGetStatByIndex(4, 1, t.out); }, 0xC004EF03, 0, 0x2800, 1, 2, 14, 30,
         {1}},
        {"stat index 15", [](T &t) { return PlovGetStatByIndex(15, 2, t.out); }, 0xC004EF03, 0, 0x5800, 1, 1, 3, 5,
         {2}},
        {"clear stat 8", [](T &) { return PlovClrStatByIndex(8, 1); }, 0xC004EF02, 3, 0x2800, 1, 0, 14, 30,
         {1 + (4u << 14)}},
    };
}

TEST_F(PlovTableTest, EachOperationSendsOneRequest)
{
    for (const RequestCase &c : request_cases()) {
        SCOPED_TRACE(c.name);
        sim_clear_journal();
        ASSERT_EQ(c.call(*this), 0);
        ASSERT_EQ(sim_journal().size(), 1u);
        const SimJournalEntry &e = sim_journal()[0];
        EXPECT_EQ(e.node, kTrans);
        EXPECT_EQ(e.request, c.request);
        IndirRegReq req = record_of(e);
        EXPECT_EQ(req.id, 0u);
        EXPECT_EQ(req.command, 0u);
        EXPECT_EQ(req.mode, 0u);
        EXPECT_EQ(req.cmd, c.cmd);
        EXPECT_EQ(req.baseaddr, c.baseaddr);
        EXPECT_EQ(req.wlen, c.wlen);
        EXPECT_EQ(req.rlen, c.rlen);
        EXPECT_EQ(req.r2base, c.r2base);
        EXPECT_EQ(req.ret2base, c.ret2base);
        ASSERT_GE(e.extra.size(), c.written.size());
        EXPECT_EQ(Words(e.extra.begin(), e.extra.begin() + c.written.size()), c.written);
    }
}

TEST_F(PlovTableTest, KeyRecordsRoundTrip)
{
    ASSERT_EQ(PlovAddRecordByKey(2, key1, data1), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x1811, {0x77}), Words{0x99});
    uint64_t got = 0;
    ASSERT_EQ(PlovGetRecordByKey(2, key1, &got), 0);
    EXPECT_EQ(got, 0x99u);
    ASSERT_EQ(PlovDelRecordByKey(2, key1), 0);  // overwritten with zeros
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x1811, {0x77}), Words{0});

    ASSERT_EQ(PlovAddRecordByKey(14, key5, data1), 0);
    Words k14(key5, key5 + 5);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x5400, k14), Words{0x99});
    ASSERT_EQ(PlovDelRecordByKey(14, key5), 0);  // delete command
    EXPECT_FALSE(fpga_has_indirect(kTrans, 0x5400, k14));
}

TEST_F(PlovTableTest, IndexReadsSplitKeyMaskActionAndStatistics)
{
    // The FPGA returns the read layout from word 1 on: action at word 3, key
    // at 4-8, mask at 12-16.
    Words answer(16, 0);
    answer[2] = 0xAC;
    for (int i = 0; i < 5; i++) {
        answer[3 + i] = 0x40 + i;
        answer[11 + i] = 0x50 + i;
    }
    fpga_put_indirect(kTrans, 0x2800, {6 + (2u << 14)}, answer);
    uint64_t key[5] = {}, mask[5] = {}, act = 0;
    ASSERT_EQ(PlovGetRecordByIndex(6, 6, key, mask, &act), 0);
    EXPECT_EQ(act, 0xACu);
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(key[i], 0x40u + i);
        EXPECT_EQ(mask[i], 0x50u + i);
    }

    fpga_put_indirect(kTrans, 0x5800, {11}, {0x1111, 0xCAFE});
    ASSERT_EQ(PlovGetRecordByIndex(15, 11, nullptr, nullptr, &act), 0);
    EXPECT_EQ(act, 0xCAFEu);

    fpga_put_indirect(kTrans, 0x2800, {3}, {0x10, 0x20});
    uint64_t stat[2] = {};
    ASSERT_EQ(PlovGetStatByIndex(4, 3, stat), 0);
    EXPECT_EQ(stat[0], 0x10u);
    EXPECT_EQ(stat[1], 0x20u);
    uint64_t car[2] = {0x0101010101010101, 0x0101010101010101};
    fpga_put_indirect(kTrans, 0x5800, {12}, {0x33});
    ASSERT_EQ(PlovGetStatByIndex(15, 12, car), 0);
    EXPECT_EQ(car[0], 0x33u);
    EXPECT_EQ(car[1], 0x0101010101010101u);  // one counter only

    ASSERT_EQ(PlovClrStatByIndex(15, 12), 0);
    EXPECT_FALSE(fpga_has_indirect(kTrans, 0x5800, {12}));
}

// Refusals come before any request: table id, kind, buffers, index range.
TEST_F(PlovTableTest, RefusalsSendNothing)
{
    uint64_t k[5] = {}, m[5] = {}, a[1] = {}, d[1] = {};
    struct Case {
        const char *name;
        std::function<PlovStatus()> call;
        PlovStatus expect;
    } cases[] = {
        {"add key on index table", [&] { return PlovAddRecordByKey(4, k, d); }, -1340},
        {"get key on index table", [&] { return PlovGetRecordByKey(15, k, d); }, -1340},
        {"del key on index table", [&] { return PlovDelRecordByKey(8, k); }, -1340},
        {"add index on key table", [&] { return PlovAddRecordByIndex(2, 0, k, m, a); }, -1340},
        {"get index on key table", [&] { return PlovGetRecordByIndex(14, 0, k, m, a); }, -1340},
        {"del index on key table", [&] { return PlovDelRecordByIndex(2, 0); }, -1340},
        {"stat on key table", [&] { return PlovGetStatByIndex(14, 0, d); }, -1340},
        {"clear on key table", [&] { return PlovClrStatByIndex(2, 0); }, -1340},
        {"kind before buffers", [&] { return PlovAddRecordByKey(4, nullptr, nullptr); }, -1340},
        {"range before kind", [&] { return PlovDelRecordByIndex(14, 64); }, -1336},
        {"add key null key", [&] { return PlovAddRecordByKey(2, nullptr, d); }, -1201},
        {"add key null data", [&] { return PlovAddRecordByKey(2, k, nullptr); }, -1201},
        {"get key null data", [&] { return PlovGetRecordByKey(14, k, nullptr); }, -1201},
        {"del key null key", [&] { return PlovDelRecordByKey(14, nullptr); }, -1201},
        {"add index null act", [&] { return PlovAddRecordByIndex(15, 0, k, m, nullptr); }, -1201},
        {"add index null mask", [&] { return PlovAddRecordByIndex(4, 0, k, nullptr, a); }, -1201},
        {"get index null key", [&] { return PlovGetRecordByIndex(5, 0, nullptr, m, a); }, -1201},
        {"stat null", [&] { return PlovGetStatByIndex(4, 0, nullptr); }, -1201},
        {"add index range", [&] { return PlovAddRecordByIndex(4, 16384, k, m, a); }, -1336},
        {"get index range", [&] { return PlovGetRecordByIndex(15, 0x80000, k, m, a); }, -1336},
        {"del index range", [&] { return PlovDelRecordByIndex(8, 16384); }, -1336},
        {"stat range before null", [&] { return PlovGetStatByIndex(4, 16384, nullptr); }, -1336},
        {"clear range", [&] { return PlovClrStatByIndex(15, 0x80000); }, -1336},
    };
    for (const Case &c : cases) {
        sim_clear_syslog();
        EXPECT_EQ(c.call(), c.expect) << c.name;
        // The only refusal with a line of its own is the missing action.
        bool noAct = std::strcmp(c.name, "add index null act") == 0;
        ASSERT_EQ(sim_syslog().size(), noAct ? 1u : 0u) << c.name;
        if (noAct) {
            EXPECT_EQ(sim_syslog()[0].priority, 4);
            EXPECT_NE(sim_syslog()[0].text.find("[Trans-ERR]act is NULL,please check\n"), std::string::npos)
                << sim_syslog()[0].text;
        }
    }

    // Tables without a valid descriptor and ids above 15: -1340 from every operation.
    for (uint8_t table : {0, 1, 3, 9, 10, 11, 12, 13, 16, 255}) {
        SCOPED_TRACE(int(table));
        EXPECT_EQ(PlovAddRecordByKey(table, k, d), -1340);
        EXPECT_EQ(PlovGetRecordByKey(table, k, d), -1340);
        EXPECT_EQ(PlovDelRecordByKey(table, k), -1340);
        EXPECT_EQ(PlovAddRecordByIndex(table, 0, k, m, a), -1340);
        EXPECT_EQ(PlovGetRecordByIndex(table, 0, k, m, a), -1340);
        EXPECT_EQ(PlovDelRecordByIndex(table, 0), -1340);
        EXPECT_EQ(PlovDelRecordByIndex(table, 5), -1340);
        EXPECT_EQ(PlovGetStatByIndex(table, 0, d), -1340);
        EXPECT_EQ(PlovClrStatByIndex(table, 5), -1340);
    }
    EXPECT_TRUE(sim_journal().empty());
    EXPECT_EQ(PlovGetStatByKey(2, k, d), 0);
    EXPECT_EQ(PlovClrStatByKey(2, nullptr), 0);
    EXPECT_TRUE(sim_journal().empty());
}

TEST_F(PlovTableTest, DriverFailuresComeBackRaw)
{
    for (const RequestCase &c : request_cases()) {
        SCOPED_TRACE(c.name);
        // A refused request: the raw ioctl result, outputs untouched.
        sim_clear_faults();
        fpga_fail_address(kTrans, c.request, c.baseaddr, EIO);
        std::fill(std::begin(out), std::end(out), 0x5A5A);
        act1[0] = 0xAC;
        EXPECT_EQ(c.call(*this), -1);
        EXPECT_EQ(out[0], 0x5A5Au);
        EXPECT_EQ(act1[0], 0xACu);

        // A positive result is passed on as it is.
        sim_clear_faults();
        fpga_result_address(kTrans, c.request, c.baseaddr, 7);
        EXPECT_EQ(c.call(*this), 7);
        EXPECT_EQ(out[0], 0x5A5Au);

        // The node cannot be opened.
        sim_clear_faults();
        sim_fail_open(kTrans, ENOENT);
        EXPECT_EQ(c.call(*this), -1216);
    }
    sim_clear_faults();
}

TEST_F(PlovTableTest, DelAllTableClearsThenPolls)
{
    fpga_set_reg(kTrans, 0x5D00, 0x10);
    EXPECT_EQ(PlovDelAllTable(), 0);
    const auto &j = sim_journal();
    ASSERT_EQ(j.size(), 3u);
    DirRegReq r[3];
    for (int i = 0; i < 3; i++)
        std::memcpy(&r[i], j[i].record.data(), sizeof r[i]);
    EXPECT_EQ(j[0].request, 0xC004EF00u);
    EXPECT_EQ(r[0].addr, 0x5C18u);
    EXPECT_EQ(r[0].data, 0u);
    EXPECT_EQ(j[1].request, 0xC004EF00u);
    EXPECT_EQ(r[1].addr, 0x5C18u);
    EXPECT_EQ(r[1].data, 1u);
    EXPECT_EQ(j[2].request, 0xC004EF01u);
    EXPECT_EQ(r[2].addr, 0x5D00u);
    EXPECT_EQ(sim_clock_ns(), 100000u);
    EXPECT_EQ(fpga_get_reg(kTrans, 0x5C18), 1u);
}

TEST_F(PlovTableTest, DelAllTableTimesOutAfter7000Polls)
{
    fpga_set_reg(kTrans, 0x5D00, 0xEF);  // everything but bit 4
    EXPECT_EQ(PlovDelAllTable(), -1206);
    EXPECT_EQ(sim_journal().size(), 2u + 7000u);
    EXPECT_EQ(sim_clock_ns(), 700000000u);
}

TEST_F(PlovTableTest, DelAllTableFailures)
{
    // Failed reads do not end the poll.
    fpga_script_reads(kTrans, 0x5D00, {0, 0});
    fpga_fail_address(kTrans, 0xC004EF01, 0x5D00, EIO, 1);
    fpga_set_reg(kTrans, 0x5D00, 0x10);
    EXPECT_EQ(PlovDelAllTable(), 0);
    EXPECT_EQ(sim_clock_ns(), 4 * 100000u);

    struct Case {
        unsigned nth;
        size_t requests;
    } writes[] = {{1, 1}, {2, 2}};
    for (const Case &c : writes) {
        sim_clear_faults();
        sim_clear_journal();
        fpga_fail_address(kTrans, 0xC004EF00, 0x5C18, EIO, c.nth);
        EXPECT_EQ(PlovDelAllTable(), -1203);
        EXPECT_EQ(sim_journal().size(), c.requests);
    }
    sim_clear_faults();
    sim_fail_open(kTrans, ENOENT);
    EXPECT_EQ(PlovDelAllTable(), -1216);
    sim_clear_faults();
}

} // namespace
