// Test base: a fresh simulated board in a temporary root for every test.
#ifndef QUORBIX_TESTS_SUPPORT_SIM_FIXTURE_H
#define QUORBIX_TESTS_SUPPORT_SIM_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "sim/sim_board.h"
#include "sim/sim_host.h"

class SimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/quorbix-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root_ = tmpl;
        ASSERT_EQ(sim_board_open(root_, board()), 0);
        sim_clear_journal();
        sim_clear_syslog();
    }

    void TearDown() override
    {
        EXPECT_EQ(sim_open_count(), 0) << "descriptors left open";
        sim_board_close();
        std::filesystem::remove_all(root_);
    }

    // The board model a test class runs on.
    virtual std::string board() const { return "ZK17DORN"; }

    std::string root_;
};

#endif
