// Capability walks, PCI Express registers, extended capabilities, AER and
// the bridge tests, on functions laid out on the simulated bus.
#include <gtest/gtest.h>

#include <cerrno>

#include "bases/pci/tvk_cap.h"
#include "tvk_sim_test.h"

namespace {

using TvkCapTest = TvkSimTest;

constexpr uint8_t kFn = 0x08;  // 05:01.0

PciBytes endpoint(size_t size = 256) { return pci_build_endpoint(0x10EE, 0x7021, 0x058000, 3, size); }

TEST_F(TvkCapTest, StandardListWalks)
{
    struct Case {
        const char *what;
        PciBytes bytes;
        uint8_t id;
        int tell;      // tvk_tell_cap
        int hdr;       // tvk_get_cap_hdr
        int express;   // tvk_identify_express
        const char *logged;
    };
    auto with = [](std::function<void(PciBytes &)> lay) {
        PciBytes b = endpoint();
        lay(b);
        return b;
    };
    const Case cases[] = {
        {"no list", endpoint(), 0x10, TVK_E_NO_CAPS, TVK_E_NOT_PCIE, 0, ""},
        {"found third", with([](PciBytes &b) {
             pci_build_cap(b, 0x40, 0x01);
             pci_build_cap(b, 0x50, 0x05);
             pci_build_pcie(b, 0x60, 0);
         }),
         0x10, 0x60, 0x60, 0x60, ""},
        {"absent", with([](PciBytes &b) { pci_build_cap(b, 0x40, 0x01); }), 0x10, TVK_E_NO_CAP, TVK_E_NOT_PCIE, 0,
         ""},
        {"loop", with([](PciBytes &b) { raw_caps(b, 0x40, {{0x40, 0x01, 0x50}, {0x50, 0x05, 0x40}}); }), 0x10,
         TVK_E_CAP_LOOP, TVK_E_CAP_LOOP, TVK_E_CAP_LOOP, "F N <TVK-ERR>OMG, cap list of dev[05:01.0] dead loops at 0x40\n"},
        {"broken next, wanted id", with([](PciBytes &b) { raw_caps(b, 0x60, {{0x60, 0x10, 0x61}}); }), 0x10,
         TVK_E_CAP_BROKEN, TVK_E_CAP_BROKEN, TVK_E_CAP_BROKEN,
         "F N <TVK-ERR>OMG, cap list of dev[05:01.0] broken at 0x61\n"},
        {"next 0xFF", with([](PciBytes &b) { raw_caps(b, 0x40, {{0x40, 0x01, 0xFF}}); }), 0x10, TVK_E_CAP_BROKEN,
         TVK_E_CAP_BROKEN, TVK_E_CAP_BROKEN, "F N <TVK-ERR>OMG, cap list of dev[05:01.0] broken at 0xff\n"},
        {"misaligned pointer", with([](PciBytes &b) { raw_caps(b, 0x41, {}); }), 0x10, TVK_E_CAP_BAD, TVK_E_CAP_BAD,
         TVK_E_CAP_BAD, ""},
        {"pointer 0", with([](PciBytes &b) { raw_caps(b, 0x00, {}); }), 0x10, TVK_E_NO_CAP, TVK_E_NOT_PCIE, 0, ""},
        {"express at 0x0C", with([](PciBytes &b) { raw_caps(b, 0x0C, {{0x0C, 0x10, 0x00}}); }), 0x10, 0x0C, 0x0C,
         0, "F N <TVK-WARN>Dev[05:01.0]'s PCI_CAP_ID_EXP shall never resides on 0xc, the configuration space maybe "
            "broken\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        pci_bus_add(5, kFn, c.bytes);
        drop_log();
        EXPECT_EQ(tvk_tell_cap(5, kFn, c.id), c.tell);
        const bool warns = c.tell == 0x0C;
        EXPECT_EQ(log(), warns ? "" : c.logged);
        uint32_t hdr = 0;
        EXPECT_EQ(tvk_get_cap_hdr(5, kFn, c.id, &hdr), c.hdr);
        if (c.hdr > 0) {
            EXPECT_EQ(hdr & 0xFF, c.id);
        }
        drop_log();
        EXPECT_EQ(tvk_identify_express(5, kFn), c.express);
        EXPECT_EQ(log(), c.logged);
    }
    EXPECT_EQ(tvk_get_cap_hdr(5, kFn, 0x10, nullptr), TVK_E_NULL);
    EXPECT_EQ(tvk_tell_cap(9, 0, 0x10), TVK_E_OPEN) << "no such function";
}

TEST_F(TvkCapTest, ReadFailuresAreReturnedAndLogged)
{
    PciBytes b = endpoint();
    pci_build_pcie(b, 0x40, 0);
    pci_bus_add(5, kFn, b);
    const std::string node = pci_bus_path(5, kFn);
    struct Case {
        unsigned nth;  // the read that fails
        const char *logged;
    } cases[] = {
        {1, "F N <TVK-ERR>Can not read PCI_STATUS, ret=-909\n"},
        {2, "F N <TVK-ERR>Can not read PCI_CAPABILITY_LIST, ret=-909\n"},
        {3, "F N <TVK-ERR>Cannot get cap[addr=0x40] id for dev[05:01.0], ret=-909\n"},
        {4, "F N <TVK-ERR>Cannot get cap[addr=0x40] next ptr for dev[05:01.0], ret=-909\n"},
    };
    for (const Case &c : cases) {
        sim_clear_faults();
        drop_log();
        sim_fail_op(SimFaultOp::read, node, EIO, c.nth);
        EXPECT_EQ(tvk_tell_cap(5, kFn, 0x10), TVK_E_IO) << c.nth;
        std::string text = log();
        EXPECT_NE(text.find(c.logged), std::string::npos) << text;
    }
}

TEST_F(TvkCapTest, ExpressRegisters)
{
    PciBytes b = endpoint();
    pci_build_pcie(b, 0x40, 0);
    pci_put(b, 0x44, 0x11223344, 4);
    pci_put(b, 0x48, 0x55667788, 4);
    pci_put(b, 0x4C, 0x99AABBCC, 4);
    pci_put(b, 0x50, 0x0102ABCD, 4);
    pci_bus_add(5, kFn, b);
    uint64_t v = 0;
    ASSERT_EQ(tvk_get_dev_cap(5, kFn, 0x40, &v), 0);
    EXPECT_EQ(v, 0x5566778811223344u);
    ASSERT_EQ(tvk_get_link_cap(5, kFn, 0x140, &v), 0) << "the offset is taken modulo 256";
    EXPECT_EQ(v, 0x0102ABCD99AABBCCu);
    EXPECT_EQ(tvk_get_dev_cap(5, kFn, 0x42, &v), TVK_E_CAP_BAD);
    EXPECT_EQ(tvk_get_link_cap(5, kFn, 0x40, nullptr), TVK_E_NULL);
    EXPECT_EQ(tvk_get_dev_cap(5, kFn, 0xF8, &v), TVK_E_INVAL) << "past the standard space";
    drop_log();
    sim_fail_op(SimFaultOp::read, pci_bus_path(5, kFn), EIO, 1);
    EXPECT_EQ(tvk_get_dev_cap(5, kFn, 0x40, &v), TVK_E_IO);
    EXPECT_EQ(log(), "F N <TVK-ERR>pread[05:01.0] at 68 for 8B failed, ret=-1, errno=5, Input/output error\n"
                     "F N <TVK-ERR>Can not read device[05:01.0] PCI_EXP_DEVCAP at 0x40, ret=-909\n");
}

// Extended lists laid by hand: {offset, header} pairs.
struct RawExt {
    uint16_t at;
    uint32_t hdr;
};
PciBytes ext_fn(std::initializer_list<RawExt> list, uint8_t fill = 0)
{
    PciBytes b = endpoint(4096);
    pci_build_pcie(b, 0x40, 0);
    for (size_t i = 0x100; i < 4096; i++)
        b[i] = fill;
    for (const RawExt &e : list)
        pci_put(b, e.at, e.hdr, 4);
    return b;
}
constexpr uint32_t ext(uint16_t id, uint16_t next) { return id | 1u << 16 | static_cast<uint32_t>(next) << 20; }

TEST_F(TvkCapTest, ExtendedWalks)
{
    struct Case {
        const char *what;
        PciBytes bytes;
        uint16_t id;
        int tell;     // tvk_tell_ext_cap: offset or code
        int capptr;   // tvk_get_ext_capptr: code
        uint32_t at;  // its offset when 0
    } cases[] = {
        {"AER second", ext_fn({{0x100, ext(0x19, 0x150)}, {0x150, ext(1, 0)}}), 1, 0x150, 0, 0x150},
        {"ends without it", ext_fn({{0x100, ext(0x19, 0x150)}, {0x150, ext(0x0B, 0)}}), 1, TVK_E_NO_CAP, TVK_E_RANGE,
         0},
        {"all ones", ext_fn({}, 0xFF), 1, TVK_E_CAP_BAD, TVK_E_NO_CAP, 0},
        {"all ones, id 0xFFFF", ext_fn({}, 0xFF), 0xFFFF, TVK_E_CAP_BAD, 0, 0x100},
        {"first header 0", ext_fn({}), 1, TVK_E_NO_CAP, TVK_E_EXT_READ, 0},
        {"next bits 21..20", ext_fn({{0x100, ext(0x19, 0) | 1u << 20}}), 1, TVK_E_CAP_BAD, TVK_E_RANGE, 0},
        // A non-zero next below 0x100 is damage, not the end of the list.
        {"next into standard space", ext_fn({{0x100, ext(0x19, 0x40)}}), 1, TVK_E_CAP_BAD, TVK_E_RANGE, 0},
        // A looping list stops with -914 after 960 headers.
        {"loop", ext_fn({{0x100, ext(0x19, 0x140)}, {0x140, ext(0x0B, 0x100)}}), 1, TVK_E_CAP_LOOP, TVK_E_NO_CAP,
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        pci_bus_add(5, kFn, c.bytes);
        EXPECT_EQ(tvk_tell_ext_cap(5, kFn, c.id), c.tell);
        uint32_t at = 0;
        EXPECT_EQ(tvk_get_ext_capptr(5, kFn, c.id, &at), c.capptr);
        EXPECT_EQ(at, c.at);
    }
    sim_clear_journal();
    EXPECT_EQ(tvk_tell_ext_cap(5, kFn, 1), TVK_E_CAP_LOOP);
    size_t reads = 0;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::read))
        reads += e.address >= 0x100 ? 1 : 0;
    EXPECT_EQ(reads, static_cast<size_t>(TVK_EXT_WALK_MAX));

    PciBytes conv = endpoint();
    pci_bus_add(6, 0, conv);
    EXPECT_EQ(tvk_tell_ext_cap(6, 0, 1), TVK_E_NOT_PCIE);
    PciBytes small = endpoint();
    pci_build_pcie(small, 0x40, 0);
    pci_bus_add(6, 0, small);
    EXPECT_EQ(tvk_tell_ext_cap(6, 0, 1), TVK_E_EXT_READ) << "no extended space behind a 256-byte file";
    EXPECT_EQ(tvk_get_ext_capptr(6, 0, 1, nullptr), TVK_E_NULL);
    sim_fail_op(SimFaultOp::read, pci_bus_path(5, kFn), EIO, 1);
    uint32_t at = 0;
    EXPECT_EQ(tvk_get_ext_capptr(5, kFn, 1, &at), TVK_E_EXT_WALK);
}

// A PCI Express endpoint with AER at 0x100: status registers and header log.
PciBytes aer_fn(uint32_t uncor, uint32_t cor)
{
    PciBytes b = endpoint(4096);
    pci_build_pcie(b, 0x40, 0);
    pci_build_aer(b, 0x100);
    pci_put(b, 0x104, uncor, 4);
    pci_put(b, 0x108, 0x00400000, 4);
    pci_put(b, 0x10C, 0x00062030, 4);
    pci_put(b, 0x110, cor, 4);
    pci_put(b, 0x114, 0x00002000, 4);
    pci_put(b, 0x118, 0x000000A0, 4);
    for (uint32_t i = 0; i < 4; i++)
        pci_put(b, 0x11C + 4 * i, 0x40000001 + i, 4);
    return b;
}

TEST_F(TvkCapTest, AerClearAndShow)
{
    struct Case {
        const char *what;
        uint32_t uncor, cor;
        uint8_t clear, show;
        std::vector<std::pair<uint64_t, uint32_t>> writes;  // offset, dword
        const char *logged;
    } cases[] = {
        {"clear correctable only", 0, 0x2000, 1, 0, {{0x110, 0x2000}}, ""},
        {"show only", 0x10, 0x1, 0, 1, {},
         "F N [LOG] *****AER0 Device[05:01.0]*****\n"
         "F N [LOG] *****AER0 UncorrErr State:0x00000010 Mask:0x00400000 Severity:0x00062030 *****\n"
         "F N [LOG] *****AER0 CorrErr   State:0x00000001 Mask:0x00002000 AERCtrl :0x000000a0 *****\n"
         "F N [LOG] *****AER0 HeadLog   0x40000001 0x40000002 0x40000003 0x40000004*****\n"},
        {"clear and show", 0x10, 0x1, 1, 1, {{0x104, 0x10}, {0x110, 0x1}},
         "F N [LOG] *****AER0 Device[05:01.0]*****\n"
         "F N [LOG] *****AER0 UncorrErr State:0x00000010 Mask:0x00400000 Severity:0x00062030 *****\n"
         "F N [LOG] *****AER0 CorrErr   State:0x00000001 Mask:0x00002000 AERCtrl :0x000000a0 *****\n"
         "F N [LOG] *****AER0 HeadLog   0x40000001 0x40000002 0x40000003 0x40000004*****\n"
         "F N [LOG] *****AER1 Device[05:01.0]*****\n"
         "F N [LOG] *****AER1 UncorrErr State:0x00000000 Mask:0x00400000 Severity:0x00062030 *****\n"
         "F N [LOG] *****AER1 CorrErr   State:0x00000000 Mask:0x00002000 AERCtrl :0x000000a0 *****\n"
         "F N [LOG] *****AER1 HeadLog   0x40000001 0x40000002 0x40000003 0x40000004*****\n"},
        {"nothing to clear", 0, 0, 1, 0, {}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        pci_bus_add(5, kFn, aer_fn(c.uncor, c.cor));
        drop_log();
        sim_clear_journal();
        tvk_aer_log(5, kFn, c.clear, c.show);
        std::vector<std::pair<uint64_t, uint32_t>> writes;
        for (const SimJournalEntry &e : sim_journal_of(SimEvent::write))
            writes.emplace_back(e.address, pci_get(sim_attachment(e, "data")->bytes, 0, 4));
        EXPECT_EQ(writes, c.writes);
        EXPECT_EQ(log(), c.logged);
    }
    // No AER, or not PCI Express: nothing read past the walk, nothing written.
    PciBytes plain = endpoint(4096);
    pci_build_pcie(plain, 0x40, 0);
    pci_bus_add(5, kFn, plain);
    sim_clear_journal();
    tvk_aer_log(5, kFn, 1, 1);
    EXPECT_TRUE(sim_journal_of(SimEvent::write).empty());
    EXPECT_EQ(log(), "");

    struct Failure {
        SimFaultOp op;
        unsigned nth;
        const char *logged;
    } failures[] = {
        {SimFaultOp::write, 1, "F N <TVK-ERR>tvk_write_conf_dword AER UncorrErrState error!\n"},
        {SimFaultOp::write, 2, "F N <TVK-ERR>tvk_write_conf_dword AER CorrErrState error!\n"},
    };
    for (const Failure &f : failures) {
        pci_bus_add(5, kFn, aer_fn(0x10, 0x1));
        drop_log();
        sim_clear_faults();
        sim_fail_op(f.op, pci_bus_path(5, kFn), EIO, f.nth);
        tvk_aer_log(5, kFn, 1, 0);
        std::string text = log();
        EXPECT_NE(text.find(f.logged), std::string::npos) << text;
        EXPECT_EQ(text.find("AER1"), std::string::npos);
    }
}

TEST_F(TvkCapTest, BridgesAndClass)
{
    PciBytes cardbus = pci_build_endpoint(0x104C, 0xAC56, 0x060700, 1);
    pci_put(cardbus, 0x0E, 0x82, 1);
    PciBytes host = pci_build_endpoint(0x8086, 0x3C00, 0x060000, 7);
    pci_put(host, 0x0E, 0x80, 1);
    pci_bus_add(0, 0x08, pci_build_bridge(0x8086, 0x3C02, 0, 7, 9));
    pci_bus_add(0, 0x10, cardbus);
    pci_bus_add(0, 0x00, host);
    pci_bus_add(7, 0x00, endpoint());
    struct Case {
        uint8_t bus, devfn;
        int bridge;
    } cases[] = {{0, 0x08, 1}, {0, 0x10, 2}, {0, 0x00, 0}, {7, 0x00, 0}, {8, 0x00, TVK_E_OPEN}};
    for (const Case &c : cases)
        EXPECT_EQ(tvk_identify_pci_bridge(c.bus, c.devfn), c.bridge) << int(c.bus) << ":" << int(c.devfn);
    uint8_t sec = 0;
    ASSERT_EQ(tvk_get_second_busno(0, 1, 0, &sec), 0);
    EXPECT_EQ(sec, 7);
    EXPECT_EQ(tvk_get_second_busno(0, 3, 0, &sec), TVK_E_OPEN);
    uint32_t cr = 0;
    ASSERT_EQ(tvk_get_class_rev(0, 0x00, &cr), 0);
    EXPECT_EQ(cr, 0x06000007u);
    EXPECT_EQ(tvk_get_class_rev(0, 0x00, nullptr), TVK_E_NULL);
    sim_fail_op(SimFaultOp::read, pci_bus_path(0, 0x08), EIO, 2);
    drop_log();
    EXPECT_EQ(tvk_identify_pci_bridge(0, 0x08), TVK_E_IO);
    EXPECT_NE(log().find("F N <TVK-ERR>Can not read device[00:01:0] header type, ret=-909\n"), std::string::npos);
}

} // namespace
