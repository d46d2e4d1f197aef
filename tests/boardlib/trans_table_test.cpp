#include "boardlib/trans_table.h"

#include <gtest/gtest.h>

#include <array>
#include <thread>
#include <vector>

#include "sim/sim_host.h"
#include "tests/support/sim_fixture.h"

namespace {

struct CatalogueCase {
    uint8_t table;
    uint64_t word;
};

constexpr CatalogueCase kCatalogue[] = {
    {0, 0},  {1, 0},  {2, 0x11811445E1}, {3, 0},  {4, 0x952800E19A1}, {5, 0x952800E19A3},
    {6, 0x952800E19A5}, {7, 0x952800E19A7}, {8, 0x952800E19A9}, {9, 0}, {10, 0}, {11, 0}, {12, 0},
    {13, 0}, {14, 0x815400044A1}, {15, 0x10580048641},
};

// Many threads asking at once (the first use in this program) all see the
// finished catalogue.
TEST(TransTableCatalogue, ConcurrentFirstUseSeesCompleteDescriptors)
{
    std::vector<std::thread> threads;
    std::array<int, 8> bad{};
    for (size_t t = 0; t < bad.size(); t++)
        threads.emplace_back([t, &bad] {
            for (int round = 0; round < 200; round++)
                for (const CatalogueCase &c : kCatalogue) {
                    uint64_t desc = 0;
                    if (ruda_get_tableinfo_byid(c.table, &desc) != 0 || desc != c.word)
                        bad[t]++;
                }
        });
    for (std::thread &th : threads)
        th.join();
    for (int b : bad)
        EXPECT_EQ(b, 0);
}

TEST(TransTableCatalogue, IdsNumberAndPointers)
{
    uint64_t desc = 0;
    EXPECT_EQ(ruda_get_tableinfo_byid(16, &desc), -1340);
    EXPECT_EQ(ruda_get_tableinfo_byid(255, &desc), -1340);
    EXPECT_EQ(ruda_get_tableinfo_byid(2, nullptr), -1201);

    uint8_t num = 0;
    EXPECT_EQ(ruda_get_table_num(&num), 0);
    EXPECT_EQ(num, 16);
    EXPECT_EQ(ruda_get_table_num(nullptr), -1201);

    TableDesc *info[kRudaTableCount] = {};
    EXPECT_EQ(ruda_get_table_info(info), 0);
    for (const CatalogueCase &c : kCatalogue) {
        ASSERT_NE(info[c.table], nullptr);
        EXPECT_EQ(*info[c.table], c.word);
    }
}

class TransTableSimTest : public SimTest {};

TEST_F(TransTableSimTest, DumpsLogTheDescriptorAndTheRequest)
{
    trans_dump_tinfo(0x10580048641);  // table 15
    uint64_t words[2] = {0x1234, 0xAB};
    IndirRegReq req{};
    req.baseaddr = 0x5800;
    req.cmd = 1;
    req.r2base = 3;
    req.ret2base = 5;
    req.wlen = 2;
    req.data = words;
    trans_dump_value(&req, 2);
    const auto &log = sim_syslog();
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log[0].priority, 1);
    EXPECT_NE(log[0].text.find("[Trans-INFO]\tvld : 1\n\tcmdaddr offset : 22528\n\tinnerid : 0\n\taddrlen : 18\n"
                               "\twdatalen : 1\n\trdatalen : 2\n\tLineflag : 1\n\tMaskflag : 0\n\tkeylen : 0\n"
                               "\tactlen : 1\tDelflag : 0"),
              std::string::npos)
        << log[0].text;
    const char *expect[] = {"baseaddr = 5800\n", "cmd = 1\n", "r2base = 3\n", "ret2base = 5\n", "wlen = 2\n",
                            "rlen = 0\n", "data[0] = 1234\n", "data[1] = ab\n"};
    for (size_t i = 0; i < std::size(expect); i++)
        EXPECT_NE(log[i + 1].text.find(expect[i]), std::string::npos) << log[i + 1].text;
    EXPECT_EQ(log[1].text.rfind("[PLOV_LOG] boardlib/trans_table.cpp:", 0), 0u) << log[1].text;
}

TEST_F(TransTableSimTest, TableOperateNeedsARequestAndTheNode)
{
    EXPECT_EQ(ruda_table_operate(PLOV_IOC_READ_INDIR_REG, nullptr), -1201);
    sim_remove_node("/dev/trans_pci");
    IndirRegReq req{};
    EXPECT_EQ(ruda_table_operate(PLOV_IOC_READ_INDIR_REG, &req), -1216);
    EXPECT_TRUE(sim_journal().empty());
}

} // namespace
