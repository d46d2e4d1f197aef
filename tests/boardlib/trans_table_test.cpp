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

TEST(TransTableCatalogue, DescriptorsByIdMatchTheirWords)
{
    for (const CatalogueCase &c : kCatalogue) {
        uint64_t desc = 0xDEAD;
        EXPECT_EQ(ruda_get_tableinfo_byid(c.table, &desc), 0) << int(c.table);
        EXPECT_EQ(desc, c.word) << int(c.table);
    }
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

uint64_t desc_of(uint8_t table)
{
    uint64_t desc = 0;
    EXPECT_EQ(ruda_get_tableinfo_byid(table, &desc), 0);
    return desc;
}

TEST(TransTableChecks, KeyAndIndexParameterChecks)
{
    uint64_t key[5] = {}, mask[5] = {}, act[1] = {}, data[1] = {};
    struct DdrCase {
        uint8_t table;
        const uint64_t *key, *data;
        int expect;
    } ddr[] = {
        {2, key, data, 0}, {14, key, data, 0}, {4, key, data, -1340}, {15, key, data, -1340},
        {2, nullptr, data, -1201}, {14, key, nullptr, -1201},
    };
    for (const DdrCase &c : ddr)
        EXPECT_EQ(ruda_ddr_check_param(desc_of(c.table), c.key, c.data), c.expect) << int(c.table);

    struct TcamCase {
        uint8_t table;
        uint32_t index;
        const uint64_t *key, *mask, *act;
        int expect;
    } tcam[] = {
        {4, 16383, key, mask, act, 0},
        {4, 16384, key, mask, act, -1336},
        {15, 0x7FFFF, nullptr, nullptr, act, 0},       // no mask: key and mask may be absent
        {15, 0x80000, nullptr, nullptr, act, -1336},
        {2, 0, key, mask, act, -1340},                  // key table
        {14, 0, key, mask, act, -1340},
        {4, 0, key, mask, nullptr, -1201},
        {4, 0, nullptr, mask, act, -1201},
        {5, 0, key, nullptr, act, -1201},
        {4, 16384, key, mask, nullptr, -1336},          // range before kind and buffers
    };
    for (const TcamCase &c : tcam)
        EXPECT_EQ(ruda_tcam_check_param(desc_of(c.table), c.index, c.key, c.mask, c.act), c.expect)
            << int(c.table) << " " << c.index;
}

TEST(TransTableRecords, RequestFieldsAndEntryAddress)
{
    struct Case {
        uint8_t table;
        uint32_t index;
        uint16_t wlen, rlen;
        uint64_t word0, baseaddr;
        uint16_t r2base, ret2base;
    } cases[] = {
        {4, 9, 13, 0, 9, 0x2800, 14, 30},
        {5, 7, 1, 16, 16391, 0x2800, 14, 30},
        {8, 4095, 13, 0, 4095 + (4u << 14), 0x2800, 14, 30},
        {15, 0x6FFFF, 1, 2, 0x6FFFF, 0x5800, 3, 5},
    };
    for (const Case &c : cases) {
        uint64_t words[17] = {};
        IndirRegReq req{};
        req.data = words;
        ASSERT_EQ(ruda_convert_tcam_info_to_regdata(desc_of(c.table), c.wlen, c.rlen, 3, c.index, &req), 0);
        EXPECT_EQ(words[0], c.word0) << int(c.table);
        EXPECT_EQ(req.baseaddr, c.baseaddr);
        EXPECT_EQ(req.r2base, c.r2base);
        EXPECT_EQ(req.ret2base, c.ret2base);
        EXPECT_EQ(req.wlen, c.wlen);
        EXPECT_EQ(req.rlen, c.rlen);
        EXPECT_EQ(req.cmd, 3u);
        EXPECT_EQ(req.id, 0u);
    }
    IndirRegReq noData{};
    EXPECT_EQ(ruda_convert_tcam_info_to_regdata(desc_of(4), 1, 0, 0, 0, &noData), -1201);
    EXPECT_EQ(ruda_convert_tcam_info_to_regdata(desc_of(4), 1, 0, 0, 0, nullptr), -1201);
}

TEST(TransTableRecords, TcamWriteAndReadLayouts)
{
    const uint64_t key[5] = {0x11, 0x12, 0x13, 0x14, 0x15};
    const uint64_t mask[5] = {0x21, 0x22, 0x23, 0x24, 0x25};
    const uint64_t act[1] = {0xAC};

    std::array<uint64_t, 13> w;
    w.fill(0xFF);
    ASSERT_EQ(ruda_combin_tcam_write_data(desc_of(6), key, mask, act, w.data()), 0);
    EXPECT_EQ(w, (std::array<uint64_t, 13>{0xFF, 0xAC, 0x11, 0x12, 0x13, 0x14, 0x15, 0, 0x21, 0x22, 0x23, 0x24,
                                           0x25}));

    std::array<uint64_t, 2> w15{0xFF, 0xFF};
    ASSERT_EQ(ruda_combin_tcam_write_data(desc_of(15), nullptr, nullptr, act, w15.data()), 0);
    EXPECT_EQ(w15, (std::array<uint64_t, 2>{0xFF, 0xAC}));

    std::array<uint64_t, 17> r{};
    for (size_t i = 0; i < r.size(); i++)
        r[i] = 0x100 + i;
    uint64_t k[5] = {}, m[5] = {}, a[1] = {};
    ASSERT_EQ(ruda_split_tcam_read_data(desc_of(4), r.data(), k, m, a), 0);
    EXPECT_EQ(a[0], 0x103u);
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(k[i], 0x104u + i);
        EXPECT_EQ(m[i], 0x10Cu + i);
    }
    uint64_t a15 = 0;
    ASSERT_EQ(ruda_split_tcam_read_data(desc_of(15), r.data(), nullptr, nullptr, &a15), 0);
    EXPECT_EQ(a15, 0x102u);
    // A missing destination is reported with the copy's own code.
    EXPECT_GT(ruda_split_tcam_read_data(desc_of(4), r.data(), nullptr, m, a), 0);
}

class TransTableSimTest : public SimTest {};

TEST_F(TransTableSimTest, DumpsLogTheDescriptorAndTheRequest)
{
    trans_dump_tinfo(desc_of(15));
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
