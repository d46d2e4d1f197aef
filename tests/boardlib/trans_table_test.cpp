// The table catalogue under concurrent first use, its lookups, the dump
// lines and the request pass-through. The descriptors themselves are pinned
// where they are defined; the table operations test what they mean.
#include "boardlib/trans_table.h"

#include <array>
#include <thread>

#include "support/fpga_test_util.h"
#include "support/sim_fixture.h"

namespace {

// Threads asking at once (the first use in this program) all see the
// descriptors the catalogue settles on.
TEST(TransTableCatalogue, ConcurrentFirstUseAndLookups)
{
    std::array<std::array<uint64_t, kRudaTableCount>, 8> seen{};
    std::array<int, 8> failed{};
    std::vector<std::thread> threads;
    for (size_t t = 0; t < seen.size(); t++)
        threads.emplace_back([t, &seen, &failed] {
            for (uint8_t id = 0; id < kRudaTableCount; id++)
                failed[t] += ruda_get_tableinfo_byid(id, &seen[t][id]) != 0;
        });
    for (std::thread &th : threads)
        th.join();
    TableDesc *info[kRudaTableCount] = {};
    ASSERT_EQ(ruda_get_table_info(info), 0);
    for (size_t t = 0; t < seen.size(); t++) {
        EXPECT_EQ(failed[t], 0);
        for (uint8_t id = 0; id < kRudaTableCount; id++)
            EXPECT_EQ(seen[t][id], *info[id]) << int(id);
    }
    EXPECT_NE(*info[2], 0u);
    EXPECT_EQ(*info[3], 0u);

    uint64_t desc = 0;
    uint8_t num = 0;
    EXPECT_EQ(ruda_get_tableinfo_byid(16, &desc), -1340);
    EXPECT_EQ(ruda_get_tableinfo_byid(2, nullptr), -1201);
    EXPECT_EQ(ruda_get_table_num(&num), 0);
    EXPECT_EQ(num, 16);
    EXPECT_EQ(ruda_get_table_num(nullptr), -1201);
    EXPECT_EQ(ruda_get_table_info(nullptr), -1201);
}

class TransTableSimTest : public SimTest {};

TEST_F(TransTableSimTest, DumpsLogTheDescriptorAndTheRequest)
{
    trans_dump_tinfo(0x10580048641);  // table 15
    uint64_t words[2] = {0x1234, 0xAB};
    IndirRegReq req{0, 0, 0x5800, 1, 0, 3, 5, 2, 0, {}, words};
    trans_dump_value(&req, 2);
    const std::vector<std::string> expect = {
        "[Trans-INFO]\tvld : 1\n\tcmdaddr offset : 22528\n\tinnerid : 0\n\taddrlen : 18\n\twdatalen : 1\n"
        "\trdatalen : 2\n\tLineflag : 1\n\tMaskflag : 0\n\tkeylen : 0\n\tactlen : 1\tDelflag : 0",
        "[Trans-INFO]baseaddr = 5800\n", "[Trans-INFO]cmd = 1\n", "[Trans-INFO]r2base = 3\n",
        "[Trans-INFO]ret2base = 5\n", "[Trans-INFO]wlen = 2\n", "[Trans-INFO]rlen = 0\n",
        "[Trans-INFO]data[0] = 1234\n", "[Trans-INFO]data[1] = ab\n",
    };
    EXPECT_EQ(plov_lines("boardlib/trans_table.cpp", PLOV_LEVEL_INFO), expect);
}

TEST_F(TransTableSimTest, TableOperateNeedsARequest)
{
    EXPECT_EQ(ruda_table_operate(PLOV_IOC_READ_INDIR_REG, nullptr), -1201);
    EXPECT_TRUE(sim_journal().empty());
}

} // namespace
