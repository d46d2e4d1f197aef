// The model kit: register rules, scripted and delayed values, triggers,
// record stores and field-matched faults.
#include <cerrno>
#include <fcntl.h>

#include "bases/drv/plov_drv.h"
#include "sim/kit/field_fault.h"
#include "sim/kit/record_store.h"
#include "sim/kit/reg_file.h"
#include "support/fpga_test_util.h"
#include "support/sim_fixture.h"

namespace {

constexpr uint64_t kAll = ~uint64_t{0};

using KitTest = SimTest;  // the virtual clock of a fresh board

// Each rule: preset, a write, then two reads.
TEST_F(KitTest, RegisterRules)
{
    struct Case {
        const char *name;
        RegRule rule;
        uint64_t write;
        uint64_t first, second;
    } cases[] = {
        {"plain", {1, 0x5}, 0x3, 0x3, 0x3},
        {"read-only bits", {1, 0xF0, 0xF0}, 0x0F, 0xFF, 0xFF},
        {"write 1 clears", {1, 0x0F, 0, 0x03}, 0x01, 0x02, 0x02},  // bits 2-3 plainly written
        {"write 1 clears, others written", {1, 0x0F, 0, 0x03}, 0x32, 0x31, 0x31},
        {"clear on read", {1, 0x0F, 0, 0, 0x0C}, 0x0F, 0x0F, 0x03},
        {"complement", {1, 0x0F, 0, 0, 0, true}, 0x05, ~uint64_t{5}, ~uint64_t{5}},
        {"stuck", {1, 0xEF, 0, 0, 0, false, kAll}, 0x10, 0xEF, 0xEF},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RegFile rf;
        const RegRule rules[] = {c.rule};
        reg_file_reset(rf, rules);
        EXPECT_EQ(reg_peek(rf, 1), c.rule.preset);
        reg_write(rf, 1, c.write);
        EXPECT_EQ(reg_read(rf, 1), c.first);
        EXPECT_EQ(reg_read(rf, 1), c.second);
    }
}

TEST_F(KitTest, ScriptedAndDelayedValues)
{
    RegFile rf;
    reg_file_reset(rf, {});
    reg_set(rf, 7, 1);
    reg_script(rf, 7, {8, 9});
    reg_after_reads(rf, 7, 5, 1);  // after one read of the register itself
    for (uint64_t expect : {8, 9, 1, 5, 5})  // scripted reads do not count
        EXPECT_EQ(reg_read(rf, 7), expect);

    reg_after_ns(rf, 8, 0x20, 1000000);
    EXPECT_EQ(reg_read(rf, 8), 0u);
    host().usleep(999);
    EXPECT_EQ(reg_read(rf, 8), 0u);
    host().usleep(1);
    EXPECT_EQ(reg_read(rf, 8), 0x20u);
    reg_after_reads(rf, 9, 3, 0);  // at once
    EXPECT_EQ(reg_peek(rf, 9), 3u);
}

// A control register that starts a state machine: written 0 then 1, it
// sets a busy bit at once and a done bit a millisecond later.
TEST_F(KitTest, ControlWritesDriveStatusBits)
{
    const RegTrigger triggers[] = {
        {0x10, 1, 0, 0x20, 0x1, 0x2, 1000000, 0x2, 0x1},
    };
    const RegRule rules[] = {{0x20, 0, 0, 0, 0, false, 0x8}};
    RegFile rf;
    reg_file_reset(rf, rules, triggers);
    reg_write(rf, 0x10, 1);  // no 0 before it: nothing starts
    EXPECT_EQ(reg_read(rf, 0x20), 0u);
    reg_write(rf, 0x10, 0);
    reg_write(rf, 0x10, 1);
    EXPECT_EQ(reg_read(rf, 0x20), 0x1u);
    host().usleep(1000);
    EXPECT_EQ(reg_read(rf, 0x20), 0x2u);
    reg_set(rf, 0x20, 0x8);  // a stuck bit stays whatever the device does
    reg_write(rf, 0x10, 0);
    reg_write(rf, 0x10, 1);
    host().usleep(1000);
    EXPECT_EQ(reg_read(rf, 0x20), 0xAu);
}

// A run that sets bits when it finishes: stopped in time it never does;
// stopped after its time it keeps them.
TEST_F(KitTest, ScheduledBitsAndStoppedRuns)
{
    RegFile rf;
    reg_file_reset(rf, {});
    reg_set(rf, 4, 0x3);
    reg_schedule(rf, 4, RegPending{0x1100, 0x1, std::nullopt, sim_clock_ns() + 1000000});
    host().usleep(999);
    reg_drop_pending(rf, 4);
    host().usleep(1);
    EXPECT_EQ(reg_read(rf, 4), 0x3u);
    reg_schedule(rf, 4, RegPending{0x1100, 0x1, std::nullopt, sim_clock_ns() + 1000000});
    host().usleep(1000);
    reg_drop_pending(rf, 4);   // due already: applied, not forgotten
    EXPECT_EQ(reg_peek(rf, 4), 0x1102u);
    reg_schedule(rf, 5, RegPending{0x10, 0, 1u, std::nullopt});
    EXPECT_EQ(reg_read(rf, 5), 0u);
    EXPECT_EQ(reg_read(rf, 5), 0x10u);
}

uint64_t key_first(const uint8_t *r) { return r[0]; }
int check_small(const uint8_t *r) { return r[0] < 4 ? 0 : -EINVAL; }

TEST_F(KitTest, RecordStores)
{
    constexpr RecordRow rows[] = {
        {1, 4, "thing", RecOp::Set, key_first, 0, 0, check_small},
        {2, 4, "thing", RecOp::Get, key_first, 1, 3, check_small},
        {3, 4, "thing", RecOp::Erase, key_first, 0, 0, nullptr},
    };
    static_assert(record_requests(rows, nullptr).size() == 3);
    RecordStore store;
    uint8_t set[4] = {2, 0xA, 0xB, 0xC}, get[4] = {2, 9, 9, 9}, other[4] = {3, 9, 9, 9}, bad[4] = {4, 0, 0, 0};
    EXPECT_EQ(record_row(rows, 4), nullptr);
    EXPECT_EQ(record_request(store, *record_row(rows, 1), set), 0);
    EXPECT_EQ(record_request(store, *record_row(rows, 2), get), 0);
    EXPECT_EQ(Bytes(get, get + 4), (Bytes{2, 0xA, 0xB, 9}));  // answer bytes 1-2 only
    EXPECT_EQ(record_request(store, *record_row(rows, 2), other), 0);
    EXPECT_EQ(Bytes(other, other + 4), (Bytes{3, 0, 0, 9}));  // nothing stored: zeros
    EXPECT_EQ(record_request(store, *record_row(rows, 1), bad), -EINVAL);
    EXPECT_EQ(record_request(store, *record_row(rows, 3), set), 0);
    EXPECT_EQ(record_request(store, *record_row(rows, 3), set), -ENOENT);
    EXPECT_TRUE(store.empty());
}

TEST_F(KitTest, FieldMatchedFaults)
{
    uint64_t words[3] = {7, 8, 9};
    IndirRegReq req{};
    req.baseaddr = 0x2800;
    req.wlen = 2;
    req.data = words;
    auto count = [](const void *rec) { return size_t{static_cast<const IndirRegReq *>(rec)->wlen}; };
    struct Case {
        std::vector<FieldMatch> fields;
        bool match;
    } cases[] = {
        {{{offsetof(IndirRegReq, baseaddr), 8, 0x2800}}, true},
        {{{offsetof(IndirRegReq, baseaddr), 8, 0x2801}}, false},
        {{{offsetof(IndirRegReq, wlen), 2, 2}, {offsetof(IndirRegReq, data), 8, 8, true, 1}}, true},
        {{{offsetof(IndirRegReq, data), 8, 7, true, 1}}, false},
        {{{offsetof(IndirRegReq, data), 8, 9, true, 2}}, false},  // beyond wlen words
        {{{offsetof(IndirRegReq, baseaddr), 8, 0x800, false, 0, 0xFFF}}, true},  // bits of the mask only
        {{{offsetof(IndirRegReq, baseaddr), 8, 0x2800, false, 0, 0xFFF}}, false},
        {{{offsetof(IndirRegReq, data), 8, 0, true, 1, 0x7}}, true},  // 8 & 7
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(field_match(&req, cases[i].fields, count), cases[i].match);
    }
    EXPECT_FALSE(field_match(nullptr, cases[0].fields));
    req.data = nullptr;
    EXPECT_FALSE(field_match(&req, cases[2].fields, count));

    SimFault f = field_fault("/dev/trans_pci", PLOV_IOC_READ_DIR_REG, {{0, 8, 0x44}});
    f.err = EIO;
    sim_add_fault(std::move(f));
    int fd = host_open("/dev/trans_pci", O_RDWR);
    DirRegReq hit{0x44, 0}, miss{0x45, 0};
    EXPECT_EQ(host_ioctl(fd, PLOV_IOC_READ_DIR_REG, &hit), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(host_ioctl(fd, PLOV_IOC_READ_DIR_REG, &miss), 0);
    host().close(fd);
}

} // namespace
