// Address translation through the reserved-memory map.
#include <cstring>

#include "boardlib/plov_types.h"
#include <gtest/gtest.h>

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
};

struct Translation {
    uint64_t from;
    PlovStatus status;
    uint64_t to;
};

TEST_F(PlovTranslateTest, PhysicalToVirtualThroughEntriesZeroAndOne)
{
    entry(0, 0x100000000, 0x1000, 0x7F0000000000);
    entry(1, 0x200000000, 0x100, 0x7F1000000000);
    entry(2, 0x300000000, 0x100, 0x7F2000000000);  // never consulted
    const Translation cases[] = {
        {0x100000000, PLOV_OK, 0x7F0000000000},
        {0x100000800, PLOV_OK, 0x7F0000000800},
        {0x100001000, PLOV_OK, 0x7F0000001000},  // the upper end is included
        {0x100001001, PLOV_ERR_RANGE, 0},
        {0x200000080, PLOV_OK, 0x7F1000000080},
        {0x300000000, PLOV_ERR_RANGE, 0},
        {0x0FFFFFFFF, PLOV_ERR_RANGE, 0},
    };
    for (const Translation &c : cases) {
        SCOPED_TRACE(c.from);
        uint64_t virt = 1;
        EXPECT_EQ(PlovTransPhy2Vir(c.from, &virt), c.status);
        EXPECT_EQ(virt, c.to);
    }
}

TEST_F(PlovTranslateTest, VirtualToPhysicalIsTheMirror)
{
    entry(0, 0x100000000, 0x1000, 0x7F0000000000);
    entry(1, 0x200000000, 0x100, 0x7F1000000000);
    const Translation cases[] = {
        {0x7F0000000010, PLOV_OK, 0x100000010},
        {0x7F0000001000, PLOV_OK, 0x100001000},
        {0x7F1000000100, PLOV_OK, 0x200000100},
        {0x7F1000000101, PLOV_ERR_RANGE, 0},
        {0x100000010, PLOV_ERR_RANGE, 0},
    };
    for (const Translation &c : cases) {
        SCOPED_TRACE(c.from);
        uint64_t phys = 1;
        EXPECT_EQ(PlovTransVir2Phy(&phys, c.from), c.status);
        EXPECT_EQ(phys, c.to);
    }
}

TEST_F(PlovTranslateTest, EmptyMapTranslatesNothingNotEvenZero)
{
    uint64_t out = 1;
    EXPECT_EQ(PlovTransPhy2Vir(0, &out), PLOV_ERR_RANGE);
    EXPECT_EQ(out, 0u);
    out = 1;
    EXPECT_EQ(PlovTransVir2Phy(&out, 0), PLOV_ERR_RANGE);
    EXPECT_EQ(out, 0u);
    // An empty entry 0 in front of a filled entry 1 does not hide it.
    entry(1, 0, 0x1000, 0x7F0000000000);
    EXPECT_EQ(PlovTransPhy2Vir(0, &out), PLOV_OK);
    EXPECT_EQ(out, 0x7F0000000000u);
}

TEST_F(PlovTranslateTest, NullOutputIsRefused)
{
    EXPECT_EQ(PlovTransPhy2Vir(0, nullptr), PLOV_ERR_NULL_PTR);
    EXPECT_EQ(PlovTransVir2Phy(nullptr, 0), PLOV_ERR_NULL_PTR);
}

} // namespace
