// The hardware-table operations through the simulated driver: the one
// request each sends, what it reads back, the order of its checks and its
// failures.
#include "boardlib/plov_table_intf.h"

#include <cerrno>
#include <cstring>
#include <functional>

#include "boardlib/dorn_logic.h"
#include "sim/fpga_model.h"
#include "support/fpga_test_util.h"
#include "support/sim_fixture.h"

namespace {

constexpr const char *kTrans = "/dev/trans_pci";

class PlovTableTest : public SimTest {
protected:
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
    std::function<PlovStatus(PlovTableTest &)> call;
    unsigned long request;
    uint64_t cmd, baseaddr;
    uint16_t wlen, rlen, r2base, ret2base;
    Words written;  // the data words up to wlen
};

constexpr unsigned long W = 0xC004EF02, R = 0xC004EF03;

std::vector<RequestCase> request_cases()
{
    using T = PlovTableTest;
    return {
        {[](T &t) { return PlovAddRecordByKey(2, t.key1, t.data1); }, W, 1, 0x1811, 2, 0, 3, 4, {0x77, 0x99}},
        {[](T &t) { return PlovAddRecordByKey(14, t.key5, t.data1); }, W, 1, 0x5400, 6, 0, 7, 8,
         {0x51, 0x52, 0x53, 0x54, 0x55, 0x99}},
        {[](T &t) { return PlovGetRecordByKey(2, t.key1, t.out); }, R, 0, 0x1811, 1, 1, 3, 4, {0x77}},
        {[](T &t) { return PlovGetRecordByKey(14, t.key5, t.out); }, R, 0, 0x5400, 5, 1, 7, 8,
         {0x51, 0x52, 0x53, 0x54, 0x55}},
        // Deleted by zeros where the table has no delete command.
        {[](T &t) { return PlovDelRecordByKey(2, t.key1); }, W, 1, 0x1811, 2, 0, 3, 4, {0x77, 0}},
        {[](T &t) { return PlovDelRecordByKey(14, t.key5); }, W, 2, 0x5400, 5, 0, 7, 8, {0x51, 0x52, 0x53, 0x54, 0x55}},
        {[](T &t) { return PlovAddRecordByIndex(4, 16383, t.key5, t.mask5, t.act1); }, W, 1, 0x2800, 13, 0, 14, 30,
         {16383, 0xAC, 0x51, 0x52, 0x53, 0x54, 0x55, 0, 0x61, 0x62, 0x63, 0x64, 0x65}},
        {[](T &t) { return PlovAddRecordByIndex(15, 5, nullptr, nullptr, t.act1); }, W, 1, 0x5800, 2, 0, 3, 5,
         {5, 0xAC}},
        {[](T &t) { return PlovGetRecordByIndex(7, 3, t.key5, t.mask5, t.act1); }, R, 0, 0x2800, 1, 16, 14, 30,
         {3 + (3u << 14)}},
        {[](T &t) { return PlovGetRecordByIndex(15, 0x6FFFF, nullptr, nullptr, t.act1); }, R, 0, 0x5800, 1, 2, 3, 5,
         {0x6FFFF}},
        {[](T &) { return PlovDelRecordByIndex(5, 7); }, W, 2, 0x2800, 1, 0, 14, 30, {16391}},
        {[](T &) { return PlovDelRecordByIndex(15, 4); }, W, 1, 0x5800, 2, 0, 3, 5, {4, 0}},
        {[](T &t) { return PlovGetStatByIndex(4, 1, t.out); }, R, 0, 0x2800, 1, 2, 14, 30, {1}},
        {[](T &t) { return PlovGetStatByIndex(15, 2, t.out); }, R, 0, 0x5800, 1, 1, 3, 5, {2}},
        {[](T &) { return PlovClrStatByIndex(8, 1); }, W, 3, 0x2800, 1, 0, 14, 30, {1 + (4u << 14)}},
    };
}

// Each operation sends its one request. The KESP board's driver counts the
// entry address apart and reads one word past a write's counted words:
// there it finds a cleared word, not memory past the request's.
void check_each_request(PlovTableTest &t, bool kesp)
{
    int row = 0;
    for (const RequestCase &c : request_cases()) {
        SCOPED_TRACE(row++);
        sim_clear_journal();
        ASSERT_EQ(c.call(t), 0);
        ASSERT_EQ(sim_journal().size(), 1u);
        const SimJournalEntry &e = sim_journal()[0];
        EXPECT_EQ(e.node, kTrans);
        EXPECT_EQ(e.request, c.request);
        IndirRegReq req = journal_record<IndirRegReq>();
        IndirRegReq want{0, 0, c.baseaddr, c.cmd, 0, c.r2base, c.ret2base, c.wlen, c.rlen, {}, req.data};
        EXPECT_EQ(bytes_of(req), bytes_of(want));
        ASSERT_GE(e.extra.size(), c.written.size());
        EXPECT_EQ(Words(e.extra.begin(), e.extra.begin() + c.written.size()), c.written);
        if (kesp && c.request == W) {
            ASSERT_GT(e.extra.size(), c.wlen);
            EXPECT_EQ(e.extra[c.wlen], 0u);
        }
    }
}

TEST_F(PlovTableTest, EachOperationSendsOneRequest) { check_each_request(*this, false); }

class PlovTableKespTest : public PlovTableTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

// The operations do not look at the board: on the KESP board they send the
// same requests.
TEST_F(PlovTableKespTest, EachOperationSendsTheSameRequest) { check_each_request(*this, true); }

// What the reads hand back: a key table's data after the key words; an
// index table's action, key and mask from the read layout (action at word
// 3, key at 4-8, mask at 12-16); statistics from word 1 on. Entries are
// stored as the table API writes them, statistics on their own.
TEST_F(PlovTableTest, ReadsTakeTheirWords)
{
    Words tcam(12, 0);  // action, key, then the second half: 0, mask
    tcam[0] = 0xAC;
    for (uint64_t i = 0; i < 5; i++) {
        tcam[1 + i] = 0x40 + i;
        tcam[7 + i] = 0x50 + i;
    }
    fpga_put_indirect(kTrans, 0x1811, {0x77}, {0x99});
    fpga_put_indirect(kTrans, 0x5400, Words(key5, key5 + 5), {0x98});
    fpga_put_indirect(kTrans, 0x2800, {6 + (2u << 14)}, tcam);
    fpga_put_indirect(kTrans, 0x5800, {11}, {0xCAFE});
    fpga_put_table_stats(kTrans, 0x5800, 11, {0x1111});
    fpga_put_table_stats(kTrans, 0x2800, 3, {0x10, 0x20});
    fpga_put_table_stats(kTrans, 0x5800, 12, {0x33});
    uint64_t k[5] = {}, m[5] = {}, a = 0;
    struct Case {
        std::function<PlovStatus()> call;
        uint64_t *out;
        Words expect;  // the output's words; 0x5A5A where none may be written
    } cases[] = {
        {[&] { return PlovGetRecordByKey(2, key1, out); }, out, {0x99, 0x5A5A}},
        {[&] { return PlovGetRecordByKey(14, key5, out); }, out, {0x98, 0x5A5A}},
        {[&] { return PlovGetRecordByIndex(6, 6, k, m, &a); }, &a, {0xAC}},
        {[&] { return PlovGetRecordByIndex(6, 6, k, m, &a); }, k, {0x40, 0x41, 0x42, 0x43, 0x44}},
        {[&] { return PlovGetRecordByIndex(6, 6, k, m, &a); }, m, {0x50, 0x51, 0x52, 0x53, 0x54}},
        {[&] { return PlovGetRecordByIndex(15, 11, nullptr, nullptr, &a); }, &a, {0xCAFE}},
        {[&] { return PlovGetStatByIndex(4, 3, out); }, out, {0x10, 0x20, 0x5A5A}},
        {[&] { return PlovGetStatByIndex(15, 12, out); }, out, {0x33, 0x5A5A}},  // one counter only
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        std::fill(std::begin(out), std::end(out), 0x5A5A);
        ASSERT_EQ(cases[i].call(), 0);
        EXPECT_EQ(Words(cases[i].out, cases[i].out + cases[i].expect.size()), cases[i].expect);
    }
}

// Refusals come before any request, in order: table id, kind, index range,
// buffers. Only the missing action has a line of its own.
TEST_F(PlovTableTest, RefusalsSendNothing)
{
    uint64_t k[5] = {}, m[5] = {}, a[1] = {}, d[1] = {};
    struct Case {
        std::function<PlovStatus()> call;
        PlovStatus expect;
        bool logged = false;
    } cases[] = {
        {[&] { return PlovAddRecordByKey(4, k, d); }, -1340},  // key operations on index tables
        {[&] { return PlovGetRecordByKey(15, k, d); }, -1340},
        {[&] { return PlovDelRecordByKey(8, k); }, -1340},
        {[&] { return PlovAddRecordByIndex(2, 0, k, m, a); }, -1340},  // index operations on key tables
        {[&] { return PlovGetRecordByIndex(14, 0, k, m, a); }, -1340},
        {[&] { return PlovDelRecordByIndex(2, 0); }, -1340},
        {[&] { return PlovGetStatByIndex(14, 0, d); }, -1340},
        {[&] { return PlovClrStatByIndex(2, 0); }, -1340},
        {[&] { return PlovAddRecordByKey(4, nullptr, nullptr); }, -1340},  // kind before buffers
        {[&] { return PlovDelRecordByIndex(14, 64); }, -1336},              // range before kind
        {[&] { return PlovAddRecordByKey(2, nullptr, d); }, -1201},
        {[&] { return PlovAddRecordByKey(2, k, nullptr); }, -1201},
        {[&] { return PlovGetRecordByKey(14, k, nullptr); }, -1201},
        {[&] { return PlovDelRecordByKey(14, nullptr); }, -1201},
        {[&] { return PlovAddRecordByIndex(15, 0, k, m, nullptr); }, -1201, true},
        {[&] { return PlovAddRecordByIndex(4, 0, k, nullptr, a); }, -1201},
        {[&] { return PlovGetRecordByIndex(5, 0, nullptr, m, a); }, -1201},
        {[&] { return PlovGetStatByIndex(4, 0, nullptr); }, -1201},
        {[&] { return PlovAddRecordByIndex(4, 16384, k, m, a); }, -1336},
        {[&] { return PlovGetRecordByIndex(15, 0x80000, k, m, a); }, -1336},
        {[&] { return PlovDelRecordByIndex(8, 16384); }, -1336},
        {[&] { return PlovGetStatByIndex(4, 16384, nullptr); }, -1336},  // range before null
        {[&] { return PlovClrStatByIndex(15, 0x80000); }, -1336},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        sim_clear_syslog();
        EXPECT_EQ(cases[i].call(), cases[i].expect);
        EXPECT_EQ(plov_lines("boardlib/trans_table.cpp"),
                  cases[i].logged ? std::vector<std::string>{"[Trans-ERR]act is NULL,please check\n"}
                                  : std::vector<std::string>{});
    }

    // Tables without a valid descriptor and ids above 15: -1340 from every operation.
    for (uint8_t table : std::initializer_list<uint8_t>{0, 1, 3, 9, 10, 11, 12, 13, 16, 255}) {
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
    int row = 0;
    for (const RequestCase &c : request_cases()) {
        SCOPED_TRACE(row++);
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

// The clear-all sequence: two writes, then polls of the done bit every
// 100 us until it comes, 7000 at most.
TEST_F(PlovTableTest, DelAllTable)
{
    struct Case {
        const char *name;
        std::function<void()> board;
        PlovStatus status;
        size_t requests;
        uint64_t ns;  // virtual time spent polling
    } cases[] = {
        {"done at once", [] { fpga_set_reg(kTrans, 0x5D00, 0x10); }, 0, 3, 100000},
        {"never done",
         [] {
             fpga_set_reg(kTrans, 0x5D00, 0xEF);
             fpga_set_reg_behaviour(kTrans, 0x5D00, FpgaRegBehaviour::ReadOnly);  // the bit never sets
         },
         -1206, 2 + 7000, 700000000},
        {"failed reads go on polling",
         [] {
             fpga_script_reads(kTrans, 0x5D00, {0, 0});
             fpga_fail_address(kTrans, 0xC004EF01, 0x5D00, EIO, 1);
             fpga_set_reg(kTrans, 0x5D00, 0x10);
         },
         0, 6, 400000},
        {"first write fails", [] { fpga_fail_address(kTrans, 0xC004EF00, 0x5C18, EIO, 1); }, -1203, 1, 0},
        {"second write fails", [] { fpga_fail_address(kTrans, 0xC004EF00, 0x5C18, EIO, 2); }, -1203, 2, 0},
        {"no node", [] { sim_fail_open(kTrans, ENOENT); }, -1216, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_clear_faults();
        sim_clear_journal();
        c.board();
        uint64_t start = sim_clock_ns();
        EXPECT_EQ(PlovDelAllTable(), c.status);
        EXPECT_EQ(sim_journal().size(), c.requests);
        EXPECT_EQ(sim_clock_ns() - start, c.ns);
    }
    sim_clear_faults();
    // The requests of the first case: 0 then 1 to the clear register, a read of the done register.
    sim_clear_journal();
    fpga_set_reg(kTrans, 0x5D00, 0x10);
    ASSERT_EQ(PlovDelAllTable(), 0);
    const DirRegReq want[] = {{0x5C18, 0}, {0x5C18, 1}, {0x5D00, 0}};
    for (size_t i = 0; i < 3; i++) {
        EXPECT_EQ(sim_journal()[i].request, i < 2 ? 0xC004EF00u : 0xC004EF01u);
        EXPECT_EQ(sim_journal()[i].record, bytes_of(want[i]));
    }
}

} // namespace
