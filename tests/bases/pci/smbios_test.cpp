// The SMBIOS reader on the simulated board's physical memory, with
// dmidecode as the oracle on the same tables written as dump files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <regex>
#include <sstream>

#include "bases/pci/smbios.h"
#include "bases/pci/tvk_log.h"
#include "sim/smbios_image.h"
#include "support/sim_fixture.h"

namespace {

std::vector<SmbiosStructure> board_table(const std::string &product, uint8_t productIndex = 2)
{
    SmbiosStructure b = smbios_baseboard("Quorbix", product, "SN-7", "Slot 3");
    b.formatted[0x05 - 4] = productIndex;
    return {b, smbios_chassis(0xCAFEF00D), smbios_processor("CPU0", 0x00000000000206D7ull, 4),
            smbios_processor("CPU1", 0, 5), smbios_end(6)};
}

class SmbiosTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        std::filesystem::remove(sim_path("/tavik.log"));
    }
    void TearDown() override
    {
        EXPECT_TRUE(sim_mappings().empty()) << "mappings left";
        SimTest::TearDown();
    }
    std::string log() { return sim_read_file("/tavik.log"); }
    // Clears the BIOS segment and places `table`.
    void place(const std::vector<SmbiosStructure> &table, SmbiosLayout layout = {})
    {
        std::vector<uint8_t> zeros(SMBIOS_SEG_LEN, 0);
        sim_phys_write(SMBIOS_SEG_BASE, zeros.data(), zeros.size());
        smbios_place(table, layout);
    }
    std::string board_text(uint32_t selector, int buflen, int *ret)
    {
        char buf[64];
        std::memset(buf, '#', sizeof buf);
        buf[63] = 0;
        *ret = smbios_get_board_info(selector, buf, buflen);
        return buf;
    }
    std::string cpu(int index, uint32_t field, int *ret)
    {
        char buf[64] = {};
        *ret = smbios_get_processor_info_by_id(index, field, buf, sizeof buf);
        return buf;
    }
};

class SmbiosKespTest : public SmbiosTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

TEST_F(SmbiosTest, DefaultBoardNamesItself)
{
    char buf[16] = {};
    EXPECT_EQ(smbios_get_board_info(1, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "ZK17DORN");
    uint8_t sockets = 0;
    smbios_get_socket_num(&sockets);
    EXPECT_EQ(sockets, 1);  // no socket at root bus 0x80 on this tree
}

TEST_F(SmbiosKespTest, KespBoardNamesItself)
{
    char buf[16] = {};
    EXPECT_EQ(smbios_get_board_info(1, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "ZK17KESP");
}

TEST_F(SmbiosTest, BoardStringsAndBufferRules)
{
    place(board_table("ZK17DORN"));
    struct Case {
        uint32_t selector;
        int buflen;
        int expected;
        const char *text;   // what the buffer starts with
    } cases[] = {
        {1, 16, 0, "ZK17DORN"}, {1, 9, 0, "ZK17DORN"}, {1, 8, 0, "ZK17DOR"}, {1, 7, TVK_E_SMB_ROOM, "#######"},
        {1, 0, TVK_E_SMB_ROOM, "#"}, {0, 16, 0, "Quorbix"}, {2, 16, 0, "SN-7"}, {3, 16, 0, "Slot 3"},
        {4, 16, TVK_E_SMB_WALK, "#"},
    };
    for (const Case &c : cases) {
        int ret = 1;
        std::string got = board_text(c.selector, c.buflen, &ret);
        EXPECT_EQ(ret, c.expected) << c.selector << "/" << c.buflen;
        EXPECT_EQ(got.substr(0, std::strlen(c.text)), c.text) << c.selector << "/" << c.buflen;
    }
    EXPECT_NE(log().find("Insufficient[7 < 8] buffer for board info[1] \"ZK17DORN\""), std::string::npos);
    EXPECT_NE(log().find("Unknown index[0x4] for SMBIOS board info"), std::string::npos);
    EXPECT_EQ(smbios_get_board_info(1, nullptr, 16), TVK_E_SMB_NULL);

    place(board_table("ZK17DORN", 0));
    int ret = 1;
    EXPECT_EQ(board_text(1, 16, &ret), "");
    EXPECT_EQ(ret, 0);
    place(board_table("ZK17DORN", 9));   // beyond the set
    EXPECT_EQ(board_text(1, 16, &ret), "");
    EXPECT_EQ(ret, 0);
}

TEST_F(SmbiosTest, EntryPointScan)
{
    struct Case {
        uint32_t paragraph;
        int lengthByte;
        bool badChecksum;
        int expected;
    } cases[] = {
        {0xF0000, 0x1F, false, 0}, {0xFFFE0, 0x1F, false, 0}, {0xFFFF0, 0x1F, false, TVK_E_NO_ENTRY},
        {0xF0010, 0x1F, true, TVK_E_NO_ENTRY}, {0xF0010, 29, false, TVK_E_NO_ENTRY},
        {0xF0010, 0x9F, false, TVK_E_NO_ENTRY},  // read as a signed byte: negative
        {0xFFFE0, 0x7F, false, TVK_E_NO_ENTRY},  // its checksum would run past the segment
    };
    for (const Case &c : cases) {
        SmbiosLayout layout;
        layout.paragraph = c.paragraph;
        layout.lengthByte = c.lengthByte;
        layout.badChecksum = c.badChecksum;
        place(board_table("ZK17DORN"), layout);
        smbios_entry e{};
        uint64_t phys = 0;
        EXPECT_EQ(smbios_entry_point(&e, &phys), c.expected) << std::hex << c.paragraph << " " << c.lengthByte;
        if (c.expected == 0) {
            EXPECT_EQ(phys, c.paragraph);
        }
    }
    int ret = 1;
    board_text(4, 16, &ret);
    EXPECT_EQ(ret, TVK_E_NO_ENTRY);  // the table is sought before the selector is checked
    EXPECT_NE(log().find("Can not find DMI anchor _SM_"), std::string::npos);
    smbios_entry e{};
    uint64_t phys = 0;
    EXPECT_EQ(smbios_entry_point(nullptr, &phys), TVK_E_SMB_NULL);
    sim_fail_open("/dev/mem", EACCES);
    EXPECT_EQ(smbios_entry_point(&e, &phys), TVK_E_MEM_OPEN);
    EXPECT_EQ(board_text(1, 16, &ret)[0], '#');
    EXPECT_EQ(ret, TVK_E_MEM_OPEN);
    sim_clear_faults();
    sim_fail_op(SimFaultOp::mmap, "/dev/mem", ENOMEM);
    EXPECT_EQ(smbios_entry_point(&e, &phys), TVK_E_MEM_MAP);
    EXPECT_NE(log().find("Fail to mmap at 0xf0000 for 0x10000 bytes, errno=12"), std::string::npos);
    sim_clear_faults();
    // The copy's own mapping fails: the code of the mapped read.
    place(board_table("ZK17DORN"));
    sim_fail_op(SimFaultOp::mmap, "/dev/mem", ENOMEM, 2);
    EXPECT_EQ(board_text(1, 16, &ret)[0], '#');
    EXPECT_EQ(ret, TVK_E_MAP);
}

TEST_F(SmbiosTest, TableLengthZeroAndReadTable)
{
    SmbiosLayout layout;
    layout.tableLength = 0;
    place(board_table("ZK17DORN"), layout);
    int ret = 1;
    board_text(1, 16, &ret);
    EXPECT_EQ(ret, TVK_E_NULL);
    smbios_table_info info{0xE0000, 16, 1};
    uint8_t buf[16];
    EXPECT_EQ(smbios_read_table(&info, buf, 8), TVK_E_SMB_ROOM);
    EXPECT_EQ(smbios_read_table(&info, buf, 16), TVK_E_SMB_WALK);
    info.address = 0xF0000;
    EXPECT_EQ(smbios_read_table(&info, buf, 16), 0);
    EXPECT_EQ(smbios_read_table(nullptr, buf, 16), TVK_E_SMB_NULL);
    EXPECT_EQ(smbios_tell_table(nullptr), TVK_E_SMB_NULL);
}

TEST_F(SmbiosTest, TraverseTable)
{
    struct Case {
        std::vector<uint8_t> set;
        size_t tailAt;   // tail = head + tailAt
        uint8_t n;
        int expected;
    } cases[] = {
        {{'A', 0, 'B', 0, 0}, 5, 0, 5}, {{'A', 0, 'B', 0, 0}, 5, 1, 2}, {{'A', 0, 'B', 0, 0}, 5, 2, 4},
        {{'A', 0, 'B', 0, 0}, 5, 3, 4},
        {{0, 0}, 2, 0, 2}, {{0, 0}, 2, 1, 1}, {{0, 'x'}, 2, 0, TVK_E_SMB_STRINGS},
        {{0, 0}, 1, 0, TVK_E_SMB_WALK},                    // both NULs must lie before the tail
        {{'A', 0, 'B', 0, 0}, 4, 0, TVK_E_SMB_WALK},       // the closing NUL is past the tail
        {{'A', 'B', 'C', 'D'}, 3, 0, TVK_E_SMB_WALK},       // a string runs past the tail
        {{'A', 0}, 0, 0, TVK_E_SMB_WALK},
    };
    for (const Case &c : cases)
        EXPECT_EQ(smbios_traverse_string(c.set.data(), c.set.data() + c.tailAt, c.n), c.expected)
            << c.set.size() << "/" << c.tailAt << "/" << int(c.n);
    uint8_t ab[] = {'A', 0, 'B', 0, 0};
    EXPECT_EQ(smbios_traverse_string(nullptr, ab, 0), TVK_E_SMB_NULL);
    EXPECT_STREQ(smbios_find_text_str(ab, 5, 2), "B");
    EXPECT_STREQ(smbios_find_text_str(ab, 5, 1), "A");
    EXPECT_EQ(smbios_find_text_str(ab, 5, 0), nullptr);
    EXPECT_EQ(smbios_find_text_str(ab, 1, 2), nullptr);
    EXPECT_EQ(smbios_checksum(ab, 5), 0x83);
}

TEST_F(SmbiosTest, DmiString)
{
    uint8_t s[] = {4, 4, 0, 0, 'O', 'k', 0, 'a', 0x01, 0x7F, 0, 0};
    smbios_struct_ref ref{4, 4, 0, s};
    const uint8_t *tail = s + sizeof s;
    EXPECT_STREQ(dmi_string(&ref, 0, tail), "Not Specified");
    EXPECT_STREQ(dmi_string(&ref, 1, tail), "Ok");
    EXPECT_STREQ(dmi_string(&ref, 2, tail), "a..");
    EXPECT_STREQ(dmi_string(&ref, 3, tail), "<BAD INDEX>");
    EXPECT_STREQ(dmi_string(&ref, 2, s + 9), "<BAD INDEX>");  // its NUL is past the tail
}

TEST_F(SmbiosTest, SelectStructure)
{
    std::vector<uint8_t> t = smbios_build_table({smbios_processor("A", 1, 1), smbios_chassis(7),
                                                 smbios_processor("B", 2, 2), smbios_end(3)});
    uint32_t size = 0;
    auto len = static_cast<uint32_t>(t.size());
    uint8_t *p = smbios_select_structure(t.data(), len, 4, 4, &size, 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[2], 2);
    EXPECT_EQ(size, 0x2Au + 2 + 21 + 21 + 1);
    EXPECT_EQ(smbios_select_structure(t.data(), len, 4, 4, &size, 2), nullptr);  // end structure
    EXPECT_EQ(smbios_select_structure(t.data(), len, 1, 4, &size, 1), nullptr);  // count budget
    EXPECT_EQ(smbios_select_structure(t.data(), len, 0, 4, &size, 0), nullptr);
    EXPECT_EQ(smbios_select_structure(t.data(), 3, 4, 4, &size, 0), nullptr);
    EXPECT_EQ(smbios_select_structure(nullptr, len, 4, 4, &size, 0), nullptr);
    std::vector<uint8_t> bad = t;
    bad[1] = 3;
    EXPECT_EQ(smbios_find_type_info(bad.data(), len, 4, 3, &size), nullptr);
    bad[1] = 0xFF;
    EXPECT_EQ(smbios_find_type_info(bad.data(), 0x40, 4, 3, &size), nullptr);
    // A set that never closes within the table.
    std::vector<uint8_t> open(t.begin(), t.begin() + 0x2A + 3);
    EXPECT_EQ(smbios_find_type_info(open.data(), static_cast<uint32_t>(open.size()), 4, 4, &size), nullptr);
}

TEST_F(SmbiosTest, ProcessorEdgeCases)
{
    SmbiosStructure fe = smbios_processor("X", 9, 7);
    fe.formatted.resize(0x28 - 4);      // formatted length 0x28: no family 2
    fe.formatted[0x06 - 4] = 0xFE;
    SmbiosStructure shortOne = smbios_processor("Y", 0, 8);
    shortOne.formatted.resize(0x1A - 4);   // fields past 0x19 read as zero
    place({smbios_processor("CPU0", 1, 4), fe, shortOne, smbios_end(9)});
    int ret = 1;
    EXPECT_EQ(cpu(1, 2, &ret), "<OUT OF SPEC>");
    EXPECT_EQ(ret, 0);
    EXPECT_EQ(cpu(2, 20, &ret), "0");
    EXPECT_EQ(cpu(2, 15, &ret), "Not Specified");
    EXPECT_EQ(cpu(2, 12, &ret), "0x0000");
    cpu(3, 0, &ret);
    EXPECT_EQ(ret, TVK_E_SMB_WALK);
    cpu(0, 22, &ret);
    EXPECT_EQ(ret, TVK_E_SMB_WALK);
    EXPECT_NE(log().find("Unknown index[0x16] for SMBIOS processor info"), std::string::npos);
    cpu(256, 0, &ret);   // compared as a byte: processor 0
    EXPECT_EQ(ret, 0);
    char small[4];
    EXPECT_EQ(smbios_get_processor_info_by_id(0, 3, small, sizeof small), TVK_E_SMB_ROOM);
    EXPECT_EQ(smbios_get_processor_info_by_id(0, 3, small, 0), TVK_E_SMB_ROOM);

    place({smbios_processor("CPU0", 1, 4), smbios_processor("CPU1", 0x100000000ull, 5), smbios_end(6)});
    uint8_t n = 0;
    smbios_get_socket_num(&n);
    EXPECT_EQ(n, 1);  // low 32 bits zero
    place({smbios_processor("CPU0", 1, 4), smbios_processor("CPU1", 0x206D7, 5), smbios_end(6)});
    smbios_get_socket_num(&n);
    EXPECT_EQ(n, 2);
    place({smbios_processor("CPU0", 1, 4)});  // ends right after the last processor
    smbios_get_socket_num(&n);
    EXPECT_EQ(n, 1);
}

TEST_F(SmbiosTest, VoltagesAndChassis)
{
    struct Case {
        uint8_t v;
        int expected;
        const char *text;
    } cases[] = {{0x8C, 0, "1.2"}, {0x06, 0, "3.3"}, {0x01, 0, "5.0"}, {0x04, 0, "2.9"},
                 {0x00, TVK_E_SMB_WALK, ""}, {0x08, TVK_E_SMB_WALK, ""}};
    for (const Case &c : cases) {
        SmbiosStructure p = smbios_processor("CPU0", 1, 4);
        p.formatted[0x11 - 4] = c.v;
        place({p, smbios_end(5)});
        int ret = 1;
        EXPECT_EQ(cpu(0, 6, &ret), c.text) << int(c.v);
        EXPECT_EQ(ret, c.expected) << int(c.v);
    }
    place(board_table("B"));
    uint32_t oem = 0;
    EXPECT_EQ(smbios_get_chassis_info(&oem), 0);
    EXPECT_EQ(oem, 0xCAFEF00Du);
    EXPECT_EQ(smbios_get_chassis_info(nullptr), TVK_E_SMB_NULL);
    SmbiosStructure c = smbios_chassis(1);
    c.formatted.resize(0x0F - 4);
    place({c, smbios_end(1)});
    EXPECT_EQ(smbios_get_chassis_info(&oem), TVK_E_SMB_WALK);
    place({smbios_end(1)});
    EXPECT_EQ(smbios_get_chassis_info(&oem), TVK_E_SMB_TYPE);
    int ret = 1;
    board_text(1, 16, &ret);
    EXPECT_EQ(ret, TVK_E_SMB_TYPE);
}

} // namespace
