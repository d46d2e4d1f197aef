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
    for (size_t i = 0; i < sim_journal().size(); i++) {
        const unsigned long request = sim_journal()[i].request;
        if (request == PLOV_IOC_READ_DIR_REG || request == PLOV_IOC_WRITE_DIR_REG)
            out.emplace_back(sim_journal()[i].node, request, journal_record<DirRegReq>(i).addr);
    }
    return out;
}

// Whether the journal holds a request of this number.
inline bool requested(unsigned long request)
{
    return std::any_of(sim_journal().begin(), sim_journal().end(),
                       [&](const SimJournalEntry &e) { return e.request == request; });
}

#endif
