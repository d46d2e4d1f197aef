// Address translation through entries 0 and 1 of the reserved-memory map.
#include <cstring>

#include <gtest/gtest.h>

#include "boardlib/plov_types.h"

namespace {

class PlovTranslateTest : public ::testing::Test {
protected:
    void SetUp() override { std::memset(g_PlovShareMem, 0, sizeof g_PlovShareMem); }
    void TearDown() override { std::memset(g_PlovShareMem, 0, sizeof g_PlovShareMem); }
    void entry(size_t i, uint64_t phys, uint64_t size, uint64_t virt)
    {
        g_PlovShareMem[i].PhyAddr = phys;
        g_PlovShareMem[i].Size = size;
        g_PlovShareMem[i].VirAddr = virt;
        g_PlovShareMem[i].Flag = 1;
    }
    PlovStatus translate(bool toVirt, uint64_t from, uint64_t *to)
    {
        return toVirt ? PlovTransPhy2Vir(from, to) : PlovTransVir2Phy(to, from);
    }
};

TEST_F(PlovTranslateTest, BothDirections)
{
    entry(0, 0x100000000, 0x1000, 0x7F0000000000);
    entry(1, 0x200000000, 0x100, 0x7F1000000000);
    entry(2, 0x300000000, 0x100, 0x7F2000000000);  // never consulted
    struct Case {
        bool toVirt;
        uint64_t from;
        PlovStatus status;
        uint64_t to;
    } cases[] = {
        {true, 0x100000000, 0, 0x7F0000000000},     {true, 0x100000800, 0, 0x7F0000000800},
        {true, 0x100001000, 0, 0x7F0000001000},     // the upper end is included
        {true, 0x100001001, -1336, 0},               {true, 0x200000080, 0, 0x7F1000000080},
        {true, 0x300000000, -1336, 0},               {true, 0x0FFFFFFFF, -1336, 0},
        {false, 0x7F0000000010, 0, 0x100000010},     {false, 0x7F0000001000, 0, 0x100001000},
        {false, 0x7F1000000100, 0, 0x200000100},     {false, 0x7F1000000101, -1336, 0},
        {false, 0x7F2000000000, -1336, 0},           {false, 0x100000010, -1336, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.from);
        uint64_t out = 1;
        EXPECT_EQ(translate(c.toVirt, c.from, &out), c.status);
        EXPECT_EQ(out, c.to);
    }
    EXPECT_EQ(PlovTransPhy2Vir(0, nullptr), -1201);
    EXPECT_EQ(PlovTransVir2Phy(nullptr, 0), -1201);
}

// An entry of size 0 covers nothing, not even its own start.
TEST_F(PlovTranslateTest, EmptyEntriesTranslateNothing)
{
    for (bool toVirt : {true, false}) {
        uint64_t out = 1;
        EXPECT_EQ(translate(toVirt, 0, &out), -1336);
        EXPECT_EQ(out, 0u);
    }
    entry(1, 0, 0x1000, 0x7F0000000000);  // behind an empty entry 0
    uint64_t out = 0;
    EXPECT_EQ(PlovTransPhy2Vir(0, &out), 0);
    EXPECT_EQ(out, 0x7F0000000000u);
    EXPECT_EQ(PlovTransVir2Phy(&out, 0x7F0000000000), 0);
    EXPECT_EQ(out, 0u);
}

} // namespace
