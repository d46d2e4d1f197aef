// Card diagnostics through the simulated card's registers: the writes of
// each test in order, result arrays, virtual time, and the device always
// put back in service.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "asmf/adapter/asmf_res.h"
#include "asmf/devm/asmf_devm.h"
#include "asmf/devm/asmf_diag.h"
#include "asmf/memory/asmf_mem.h"
#include "sim/asmf_model.h"
#include "sim/sim_host.h"
#include "support/sim_fixture.h"

namespace {

constexpr const char *kCard = "/dev/acce_dev0";
const unsigned long kWriteReg = asmf_card_request(ASMF_CARD_WRITE_REG, 'A');
const unsigned long kReadReg = asmf_card_request(ASMF_CARD_READ_REG, 'A');
constexpr uint64_t kSecond = 1000000000ULL;

using Writes = std::vector<std::pair<uint32_t, uint32_t>>;

bool logged(const std::string &text)
{
    for (const SimLogLine &l : sim_syslog())
        if (l.text.find(text) != std::string::npos)
            return true;
    return false;
}

Writes reg_writes()
{
    Writes out;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, kCard, kWriteReg))
        if (e.result == 0) {
            AsmfRegReq r;
            std::memcpy(&r, e.record.data(), sizeof r);
            out.emplace_back(r.addr, r.value);
        }
    return out;
}

// Resource requests in order: 0x02 enable, 0x03 disable.
std::vector<uint8_t> service_requests()
{
    std::vector<uint8_t> out;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, ASMF_RES_NODE))
        if (e.request == asmf_res_request(ASMF_RES_ENABLE) || e.request == asmf_res_request(ASMF_RES_DISABLE))
            out.push_back(static_cast<uint8_t>(e.request & 0xFF));
    return out;
}

class AsmfDiagTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        ASSERT_EQ(asmf_res_init(), 0);
        ASSERT_EQ(asmf_init_mem(1), 0);
        sim_clear_journal();
    }
    void TearDown() override
    {
        asmf_exit_mem();
        asmf_res_exit();
        SimTest::TearDown();
    }
};

TEST_F(AsmfDiagTest, EccCountersAreReadOnlyWhenValid)
{
    asmf_sim_set_reg(0xE418, 0x1);
    asmf_sim_set_reg(0xE418 + 0x7F8, 11);
    asmf_sim_set_reg(0xE418 + 0x800, 12);  // not valid: never read
    asmf_sim_set_reg(0xF418, 0x3);
    asmf_sim_set_reg(0xF418 + 0x7F8, 21);
    asmf_sim_set_reg(0xF418 + 0x800, 22);
    uint32_t r[4];
    std::memset(r, 0xEE, sizeof r);
    ASSERT_EQ(asmf_diag_get_ecc(0, r), 0);
    EXPECT_EQ((std::vector<uint32_t>(r, r + 4)), (std::vector<uint32_t>{11, 0, 21, 22}));
    std::vector<uint32_t> reads;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, kCard, kReadReg)) {
        AsmfRegReq q;
        std::memcpy(&q, e.record.data(), sizeof q);
        reads.push_back(q.addr);
    }
    EXPECT_EQ(reads, (std::vector<uint32_t>{0xE418, 0xEC10, 0xF418, 0xFC10, 0xFC18}));
    EXPECT_EQ(asmf_diag_get_ecc(0, nullptr), ASMF_DIAG_ERR_ARG);
    EXPECT_TRUE(logged("result is NULL! ulAcceId(0).\n"));
}

TEST_F(AsmfDiagTest, SelfCheckDoneInTheFirstRound)
{
    asmf_sim_settings().ddrCheckSeconds = 1;
    asmf_sim_settings().ddrCheckFailMask = 1u << 2;
    asmf_sim_set_reg(0xE600 + 0x2000 + 0x08, 0x44);
    uint64_t t0 = sim_clock_ns();
    uint32_t r[15];
    ASSERT_EQ(asmf_diag_ddr_check(0, r), 0);
    EXPECT_EQ(sim_clock_ns() - t0, kSecond);
    for (uint32_t n = 0; n < 5; n++)
        EXPECT_EQ(r[n * 3], n == 2 ? 2u : 0u) << n;
    EXPECT_EQ(r[2 * 3 + 1], 0x44u);
    EXPECT_TRUE(logged("ddr_index=2, self check status(0x1103) fail! err_type(0x44) err_info(0x0)."));
    Writes w = reg_writes();
    ASSERT_EQ(w.size(), 5u * 3 + 5u * 2);
    for (uint32_t n = 0; n < 5; n++) {
        const uint32_t b = 0xE108 + n * 0x1000;
        EXPECT_EQ(w[n * 3], std::make_pair(b, 1u));
        EXPECT_EQ(w[n * 3 + 1], std::make_pair(b + 0x08, 3u));
        EXPECT_EQ(w[n * 3 + 2], std::make_pair(b + 0x10, 1u));
        EXPECT_EQ(w[15 + n * 2], std::make_pair(b + 0x10, 0u));
        EXPECT_EQ(w[15 + n * 2 + 1], std::make_pair(b, 0u));
    }
    EXPECT_EQ(service_requests(), (std::vector<uint8_t>{0x03, 0x02}));
}

TEST_F(AsmfDiagTest, SelfCheckTimesOutAfter180Seconds)
{
    asmf_sim_settings().ddrCheckSeconds = 1000;
    uint64_t t0 = sim_clock_ns();
    uint32_t r[15];
    EXPECT_EQ(asmf_diag_ddr_check(0, r), ASMF_DIAG_ERR_TIMEOUT);
    EXPECT_EQ(sim_clock_ns() - t0, 180 * kSecond);
    EXPECT_TRUE(logged("asmf_diag_ddr_check  timeout err!"));
    EXPECT_EQ(service_requests(), (std::vector<uint8_t>{0x03, 0x02}));
}

struct StartRefusal {
    uint32_t addr, value;
    int rc;
    const char *line;
};

TEST_F(AsmfDiagTest, SelfCheckStartRefusalsPutTheDeviceBack)
{
    const StartRefusal cases[] = {
        {0xE118 + 0x1000, 1, ASMF_DIAG_ERR_STATE, "ddr_index=1 self check enable mod err! status(0x1)!"},
        {0xE600 + 0x3000, 0x1, ASMF_DIAG_ERR_STATE, "ddr_index=3 self check not init! status(0x1)!"},
        {0xE700 + 0x4000, 0x2, ASMF_DIAG_ERR_BUSY, "ddr_index=4 turn test not finish err! status(0x2) "},
    };
    for (const StartRefusal &c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_EQ(asmf_soft_reset(0), 0);  // channels started before the refusal stay mid-check
        asmf_sim_set_reg(c.addr, c.value);
        sim_clear_journal();
        uint32_t r[15];
        EXPECT_EQ(asmf_diag_ddr_check(0, r), c.rc);
        EXPECT_TRUE(logged(c.line));
        EXPECT_EQ(service_requests(), (std::vector<uint8_t>{0x03, 0x02}));
    }
}

TEST_F(AsmfDiagTest, TurnTestWithZeroSecondsReportsTheStatesReadThen)
{
    asmf_sim_settings().turnErrorMask = 1u << 1;
    asmf_sim_set_reg(0xE700 + 0x1000 + 0x10, 0xAB);
    uint64_t t0 = sim_clock_ns();
    uint32_t r[25];
    ASSERT_EQ(asmf_diag_ddr_turn(0, r, 0), 0);
    EXPECT_EQ(sim_clock_ns(), t0);
    EXPECT_EQ(r[0], 0u);
    EXPECT_EQ(r[5], 2u);
    EXPECT_EQ(r[6], 0xABu);
    EXPECT_TRUE(logged("ddr_index=1, turn err(0x1)! err_ll(0xab),lh(0x0),hl(0x0),hh(0x0)."));
    Writes w = reg_writes();
    // stop (2 per channel), start (4 per channel), stop again.
    ASSERT_EQ(w.size(), 5u * 8);
    const uint32_t b = 0xE108;
    EXPECT_EQ((Writes(w.begin() + 10, w.begin() + 14)),
              (Writes{{b + 0x20, 1}, {b + 0x28, 0}, {b + 0x30, 0xFFFFFFFF}, {b + 0x38, 1}}));
    EXPECT_EQ((Writes(w.begin() + 30, w.begin() + 32)), (Writes{{b + 0x38, 0}, {b + 0x20, 0}}));
}

TEST_F(AsmfDiagTest, TurnTestRunsForItsSeconds)
{
    uint64_t t0 = sim_clock_ns();
    uint32_t r[25];
    ASSERT_EQ(asmf_diag_ddr_turn(0, r, 5), 0);
    EXPECT_EQ(sim_clock_ns() - t0, 5 * kSecond);
    for (uint32_t n = 0; n < 5; n++)
        EXPECT_EQ(r[n * 5], 0u);
}

TEST_F(AsmfDiagTest, PcieLoopTestCountsAndFreesItsBuffers)
{
    asmf_sim_settings().dmaErrorMask = 1u << 1;
    uint64_t t0 = sim_clock_ns();
    uint32_t r[6];
    ASSERT_EQ(asmf_diag_pcie_dma(0, r, 3), 0);
    // two stops of 1 s per channel around 3 s of running
    EXPECT_EQ(sim_clock_ns() - t0, (2 + 3 + 2) * kSecond);
    EXPECT_EQ(r[0], 0u);
    EXPECT_EQ(r[1], 3000u);
    EXPECT_EQ(r[2], 3000u);
    EXPECT_EQ(r[3], 2u);
    EXPECT_TRUE(logged("pcie_index=1, turn err(0x1)!"));
    Writes w = reg_writes();
    ASSERT_GE(w.size(), 2u);
    EXPECT_EQ(w.front(), std::make_pair(0x810u, 0x3C9E0001u));
    EXPECT_EQ(w.back(), std::make_pair(0x810u, 0x3C9E0000u));
    EXPECT_EQ(w[3], std::make_pair(0xC00Cu, 0x1u));         // buffer high word: pool 0 at 4 GiB
    EXPECT_EQ(w[5], std::make_pair(0xC014u, 1u));
    EXPECT_EQ(asmf_sim_held_blocks(), 0u);
    EXPECT_EQ(g_dma_addr[0].load(), 0u);
    EXPECT_EQ(service_requests(), (std::vector<uint8_t>{0x03, 0x02}));
}

TEST_F(AsmfDiagTest, PcieStartWhileAChannelRunsIsRefusedAndTheDeviceEnabled)
{
    asmf_sim_set_reg(0xC014 + 0xA000, 1);
    // the stop before start clears a running channel, so the word must
    // come back: the card keeps channel 1 busy through a register fault.
    sim_add_fault(SimFault{.node = kCard, .request = kWriteReg, .err = EIO, .result = 0, .nth = 0,
                           .match = [](const void *arg) {
                               const auto *q = static_cast<const AsmfRegReq *>(arg);
                               return q->addr == 0xC014 + 0xA000 && q->value == 0;
                           },
                           .seen = 0, .op = SimFaultOp::request});
    uint32_t r[6];
    EXPECT_EQ(asmf_diag_pcie_dma(0, r, 1), ASMF_DIAG_ERR_BUSY);
    EXPECT_TRUE(logged("pcie_index=1 dma test not finish status(0x1) err!"));
    EXPECT_EQ(service_requests(), (std::vector<uint8_t>{0x03, 0x02}));
    EXPECT_EQ(reg_writes().back(), std::make_pair(0x810u, 0x3C9E0000u));
}

TEST_F(AsmfDiagTest, FailingRegisterAccessEndsTheStep)
{
    sim_fail_request(kCard, kWriteReg, EIO, 1);
    uint32_t r[6];
    EXPECT_EQ(asmf_diag_pcie_dma(0, r, 1), -1);
    EXPECT_TRUE(logged("call asmf_write_4byte_reg fail. AcceId(0),regaddr(0x810),regvalue(0x3c9e0001)ret(-1)!\n"));
    EXPECT_TRUE(service_requests().empty());

    sim_clear_faults();
    sim_fail_request(kCard, kReadReg, EIO);
    uint32_t e[4];
    EXPECT_EQ(asmf_diag_get_ecc(0, e), -1);
    EXPECT_TRUE(logged("call asmf_read_4byte_reg fail. AcceId(0),regaddr(0xe418)ret(-1)!\n"));
    uint32_t t[25];
    EXPECT_EQ(asmf_diag_ddr_turn(0, t, 1), -1);
    EXPECT_TRUE(logged("asmf_diag_ddr_turn_test_start ulAcceId(0) err(-1)!"));
    EXPECT_EQ(service_requests(), (std::vector<uint8_t>{0x03, 0x02}));
}

} // namespace
