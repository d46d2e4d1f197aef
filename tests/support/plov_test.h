// Test bases of the board-independent packet library: a fresh simulated
// board whose logic type is probed afresh in each test, DORN or KESP, and
// what the tests ask of the journal.
#ifndef QUORBIX_TESTS_SUPPORT_PLOV_TEST_H
#define QUORBIX_TESTS_SUPPORT_PLOV_TEST_H

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "bases/drv/plov_drv.h"
#include "boardlib/plov_trans_intf.h"
#include "support/fpga_test_util.h"
#include "support/sim_fixture.h"

class PlovTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        geBoardLogicType = PLOV_BOARD_UNKNOWN;
    }
    void TearDown() override
    {
        geBoardLogicType = PLOV_BOARD_UNKNOWN;
        SimTest::TearDown();
    }
};

class PlovKespTest : public PlovTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

// (node, request, register) of a direct-register request.
using DirAccess = std::tuple<std::string, unsigned long, uint64_t>;

// The direct-register requests in the journal, in order.
inline std::vector<DirAccess> dir_requests()
{
    std::vector<DirAccess> out;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request))
        if (e.request == PLOV_IOC_READ_DIR_REG || e.request == PLOV_IOC_WRITE_DIR_REG)
            out.emplace_back(e.node, e.request, journal_record<DirRegReq>(e).addr);
    return out;
}

// Whether the journal holds a request of this number.
inline bool requested(unsigned long request) { return !sim_journal_of(SimEvent::request, {}, request).empty(); }

#endif
