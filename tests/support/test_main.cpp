// The main of every test program: process-wide state is reset before each
// test, so the tests of a program pass in any order (--gtest_shuffle).
#include <gtest/gtest.h>

#include "bases/globals/globals.h"

namespace {

class GlobalsResetListener : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo &) override { globals_reset_all(); }
};

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new GlobalsResetListener);
    return RUN_ALL_TESTS();
}
