// Names from the PCI ID file and the device list, on the simulated bus
// with a hand-written ID file.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "bases/pci/tvk_name.h"
#include "bases/pci/tvk_route.h"
#include "support/console_run.h"
#include "tvk_sim_test.h"

namespace {

constexpr const char *kIds = "# a comment\n"
                             "   # an indented comment\n"
                             "\n"
                             "1000  Broadcom / LSI\n"
                             "\t0072  SAS2008 PCI-Express Fusion-MPT SAS-2\n"
                             "\t\t1000 3020  9211-8i\n"
                             "10ee  Xilinx Corporation\n"
                             "\t7021  Trans FPGA\n"
                             "\t7022  Sbuf FPGA\n"
                             "\t\t10ee 0007  Sbuf card\n"
                             "1af4  Red Hat\n"
                             "\t1000  Virtio network device\n"
                             "8086  Intel Corporation\n"
                             "\t3c02  Root port\n"
                             "C 00  Unclassified device\n"
                             "\t00  Non-VGA unclassified device\n"
                             "C 01  Mass storage controller\n"
                             "\t07  Serial Attached SCSI controller\n"
                             "C 05  Memory controller\n"
                             "\t80  Memory controller\n"
                             "C 06  Bridge\n"
                             "\t04  PCI bridge\n"
                             "\t\t00  Normal decode\n";

class TvkNameTest : public TvkSimTest {
protected:
    void SetUp() override
    {
        TvkSimTest::SetUp();
        sim_write_file("/usr/share/pci.ids", kIds);
    }
    // Adds an endpoint (or, with hdr 1, a bridge) and returns its id record.
    static tvk_dev_id add(uint8_t bus, uint8_t devfn, uint16_t vendor, uint16_t device, uint32_t classRev,
                          uint16_t subVendor = 0, uint16_t subsystem = 0, uint8_t hdr = 0)
    {
        PciBytes b = hdr == 1 ? pci_build_bridge(vendor, device, 0, 1, 1)
                              : pci_build_endpoint(vendor, device, classRev >> 8, static_cast<uint8_t>(classRev));
        if (hdr == 0) {
            pci_put(b, 0x2C, subVendor, 2);
            pci_put(b, 0x2E, subsystem, 2);
        }
        pci_put(b, 0x08, classRev, 4);
        pci_bus_add(bus, devfn, b);
        return tvk_dev_id{vendor, device, bus, devfn, hdr, 0, classRev};
    }
    static std::string full(const tvk_dev_id &id, int outlen = 256)
    {
        char out[256] = "";
        int r = tvk_get_dev_full_name(&id, out, outlen);
        return r == 0 ? std::string(out) : "error " + std::to_string(r) + ": " + out;
    }
};

TEST_F(TvkNameTest, FullNames)
{
    struct Case {
        const char *what;
        tvk_dev_id id;
        const char *name;
    } cases[] = {
        {"with subsystem", add(1, 0, 0x1000, 0x0072, 0x01070003, 0x1000, 0x3020),
         "Serial Attached SCSI controller: Broadcom / LSI SAS2008 PCI-Express Fusion-MPT SAS-2 9211-8i (rev 03)"},
        {"subsystem not listed", add(2, 0, 0x10EE, 0x7021, 0x05800001, 0x10EE, 0x0007),
         "Memory controller: Xilinx Corporation Trans FPGA  (rev 01)"},
        {"subsystem of the next device not taken", add(2, 1, 0x10EE, 0x7022, 0x05800002, 0x10EE, 0x0008),
         "Memory controller: Xilinx Corporation Sbuf FPGA  (rev 02)"},
        {"unknown device", add(3, 0, 0x10EE, 0x9999, 0x06040000),
         "PCI bridge: Xilinx Corporation Device 9999 (rev 00)"},
        {"unknown vendor", add(4, 0, 0xABCD, 0x1234, 0x0580000A), "Memory controller: Device 1234 (rev 0a)"},
        // The vendor search consumed "C 00": base class 0 is not found.
        {"unknown vendor, class 0", add(4, 1, 0xABCD, 0x1234, 0x00000001), "unknown class: Device 1234 (rev 01)"},
        {"known vendor, class 0", add(4, 2, 0x1AF4, 0x1000, 0x00000001),
         "Non-VGA unclassified device: Red Hat Virtio network device  (rev 01)"},
        {"unknown sub-class", add(5, 0, 0x1AF4, 0x1000, 0x01050001), "unknown class: Red Hat Virtio network device  (rev 01)"},
        {"bridge: no subsystem lookup", add(0, 8, 0x8086, 0x3C02, 0x06040007, 0, 0, 1),
         "PCI bridge: Intel Corporation Root port  (rev 07)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sim_clear_journal();
        EXPECT_EQ(full(c.id), c.name);
        ASSERT_EQ(sim_open_count(), 0);
    }
    // The bridge's full name read nothing of its own configuration space.
    sim_clear_journal();
    full(cases[8].id);
    EXPECT_TRUE(sim_journal_of(SimEvent::read).empty() || sim_journal_of(SimEvent::read)[0].node == "/usr/share/pci.ids");
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::read))
        EXPECT_EQ(e.node.find("/proc/bus/pci"), std::string::npos);
}

TEST_F(TvkNameTest, BuffersAndFailures)
{
    tvk_dev_id sas = add(1, 0, 0x1000, 0x0072, 0x01070003, 0x1000, 0x3020);
    EXPECT_EQ(full(sas, 0), "error -906: ");
    EXPECT_EQ(full(sas, 20), "error -901: Serial Attached SCS") << "the text cut at outlen - 1";
    EXPECT_EQ(tvk_get_dev_full_name(nullptr, nullptr, 5), TVK_E_NULL);

    // Product names in small buffers: "NA", then "...".
    tvk_dev_id rh = add(4, 2, 0x1AF4, 0x1000, 0x00000001);
    struct Case {
        uint32_t outlen;
        int result;
        const char *out;
    } cases[] = {{10, TVK_E_NAME_ROOM, "NA"}, {20, TVK_E_NAME_ROOM, "Red Hat ..."},
                 {64, 0, "Red Hat Virtio network device "}};
    for (const Case &c : cases) {
        FILE *ids = tvk_open_ids_file();
        ASSERT_NE(ids, nullptr);
        char out[64];
        std::memset(out, 'Z', sizeof out);
        EXPECT_EQ(tvk_get_product_name(ids, &rh, out, c.outlen), c.result) << c.outlen;
        EXPECT_EQ(std::string(out), c.out);
        if (c.outlen < sizeof out) {
            EXPECT_EQ(out[c.outlen], 'Z') << "nothing written past outlen";
        }
        tvk_close_ids_file(ids);
    }

    // outlen 0: nothing written, -906.
    FILE *ids = tvk_open_ids_file();
    char one = 'Z';
    EXPECT_EQ(tvk_get_vendor_name(ids, 0x1000, &one, 0), TVK_E_INVAL);
    EXPECT_EQ(one, 'Z');
    EXPECT_EQ(tvk_get_vendor_name(ids, 0x1000, nullptr, 0), 0) << "a match without a buffer";
    char name[8];
    EXPECT_EQ(tvk_get_device_name(ids, 0x0072, name, sizeof name), 7) << "cut at outlen - 1";
    EXPECT_STREQ(name, "SAS2008");
    tvk_close_ids_file(ids);
    tvk_close_ids_file(nullptr);

    sim_fail_open("/usr/share/pci.ids", ENOENT);
    drop_log();
    EXPECT_EQ(full(sas), "error -908: ");
    EXPECT_EQ(log(), "F N <TVK-ERR>Cannot open pci.ids file\n");
}

TEST_F(TvkNameTest, LookupsConsumeTheLineThatEndsThem)
{
    FILE *ids = tvk_open_ids_file();
    ASSERT_NE(ids, nullptr);
    char out[64];
    struct Step {
        const char *what;
        int (*run)(FILE *, char *, uint32_t);
        int result;
        const char *name;
    } steps[] = {
        {"vendor 10ee", [](FILE *f, char *o, uint32_t n) { return tvk_get_vendor_name(f, 0x10EE, o, n); }, 18,
         "Xilinx Corporation"},
        {"device 7022", [](FILE *f, char *o, uint32_t n) { return tvk_get_device_name(f, 0x7022, o, n); }, 9,
         "Sbuf FPGA"},
        {"subsystem 10ee:0007", [](FILE *f, char *o, uint32_t n) { return tvk_get_subsystem_name(f, 0x10EE, 7, o, n); },
         9, "Sbuf card"},
        // The device search stops at vendor 1af4 and consumes it.
        {"device 1000 of the next vendor", [](FILE *f, char *o, uint32_t n) { return tvk_get_device_name(f, 0x1000, o, n); },
         TVK_E_RANGE, ""},
        {"base class 06", [](FILE *f, char *o, uint32_t n) { return tvk_get_baseclass_name(f, 0x060400, o, n); }, 6,
         "Bridge"},
        {"sub-class 04", [](FILE *f, char *o, uint32_t n) { return tvk_get_subclass_name(f, 0x060400, o, n); }, 10,
         "PCI bridge"},
        {"past the end", [](FILE *f, char *o, uint32_t n) { return tvk_get_baseclass_name(f, 0x010000, o, n); },
         TVK_E_RANGE, ""},
    };
    for (const Step &s : steps) {
        out[0] = '\0';
        EXPECT_EQ(s.run(ids, out, sizeof out), s.result) << s.what;
        EXPECT_STREQ(out, s.name) << s.what;
    }
    tvk_close_ids_file(ids);
    EXPECT_EQ(tvk_get_progif_name(), 0);

    // A class line whose id cannot be read ends the search with the scan count.
    sim_write_file("/usr/share/pci.ids", "C zz  Broken\nC 06  Bridge\n");
    ids = tvk_open_ids_file();
    drop_log();
    EXPECT_EQ(tvk_get_baseclass_name(ids, 0x060000, out, sizeof out), 0);
    EXPECT_NE(log().find("<TVK-ERR>Cannot sscanf_s base-class from string[C zz  Broken"), std::string::npos) << log();
    tvk_close_ids_file(ids);
}

TEST_F(TvkNameTest, DeviceList)
{
    add(1, 0, 0x1000, 0x0072, 0x01070003, 0x1000, 0x3020);
    add(4, 0x0A, 0xABCD, 0x1234, 0x0580000A);
    tvk_dev_list head{};
    ASSERT_EQ(tvk_build_dev_list(&head), 0);
    ASSERT_EQ(head.count, 2u);
    ASSERT_NE(head.first, nullptr);
    const tvk_dev_node *second = head.first->next;
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(head.first->prev, nullptr);
    EXPECT_EQ(second->prev, head.first);
    EXPECT_EQ(second->id.vendor, 0xABCD);
    EXPECT_EQ(second->id.device, 0x1234);
    EXPECT_EQ(second->id.bus, 4);
    EXPECT_EQ(second->id.devfn, 0x0A);
    EXPECT_EQ(second->id.classrev, 0x0580000Au);
    ConsoleRun shown = console_run([&] {
        tvk_show_dev_list(&head);
        return 0;
    });
    EXPECT_EQ(shown.out, "[SHOW] 2 devices found in total : \n"
                         "[SHOW] 01:00:0 Serial Attached SCSI controller: Broadcom / LSI SAS2008 PCI-Express "
                         "Fusion-MPT SAS-2 9211-8i (rev 03), sts 0x0000\n"
                         "[SHOW] 04:01:2 Memory controller: Device 1234 (rev 0a), sts 0x0000\n");
    EXPECT_EQ(tvk_build_dev_list(&head), TVK_E_INVAL) << "a list that holds nodes is not built onto";
    tvk_destroy_dev_list(&head);
    EXPECT_EQ(head.first, nullptr);
    EXPECT_EQ(head.count, 2u) << "the count stays";

    // Without the ID file: the plain line.
    sim_fail_open("/usr/share/pci.ids", ENOENT);
    head = {};
    ASSERT_EQ(tvk_build_dev_list(&head), 0);
    shown = console_run([&] {
        tvk_show_dev_list(&head);
        return 0;
    });
    EXPECT_NE(shown.out.find("[SHOW] 04:01:2 vendor abcd, device 1234, irq 0, sts 0x0000\n"), std::string::npos)
        << shown.out;
    tvk_destroy_dev_list(&head);
    tvk_destroy_dev_list(nullptr);
    tvk_show_dev_list(nullptr);
    EXPECT_EQ(tvk_build_dev_list(nullptr), TVK_E_NULL);
}

TEST_F(TvkNameTest, DeviceListFailures)
{
    add(1, 0, 0x1000, 0x0072, 0x01070003);
    add(2, 0, 0x10EE, 0x7021, 0x05800001);
    tvk_dev_list head{};
    // The header type of the second function cannot be read: the first stays.
    sim_fail_op(SimFaultOp::read, pci_bus_path(2, 0), EIO, 1);
    EXPECT_EQ(tvk_build_dev_list(&head), TVK_E_IO);
    EXPECT_EQ(head.count, 1u);
    EXPECT_NE(log().find("<TVK-ERR>Can not read device[02:00:0] header type, ret=-909"), std::string::npos);
    tvk_destroy_dev_list(&head);
    sim_clear_faults();

    // The class of the second cannot be read: a warning and class 0.
    head = {};
    sim_fail_op(SimFaultOp::read, pci_bus_path(2, 0), EIO, 2);
    drop_log();
    ASSERT_EQ(tvk_build_dev_list(&head), 0);
    EXPECT_EQ(head.first->next->id.classrev, 0u);
    EXPECT_NE(log().find("<TVK-WARN>Get class_rev for device[02:00.0] fail, ret=-909"), std::string::npos);
    tvk_destroy_dev_list(&head);
    sim_clear_faults();

    sim_fail_open("/proc/bus/pci/devices", EACCES);
    head = {};
    EXPECT_EQ(tvk_build_dev_list(&head), TVK_E_OPEN);
    sim_clear_faults();

    // An empty devices file, then a line of one field.
    pci_bus_reset();
    sim_remove_node("/proc/bus/pci/devices");
    sim_write_file("/proc/bus/pci/devices", "");
    ASSERT_EQ(tvk_build_dev_list(&head), 0);
    EXPECT_EQ(head.count, 0u);
    ConsoleRun shown = console_run([&] {
        tvk_show_dev_list(&head);
        return 0;
    });
    EXPECT_EQ(shown.out, "[SHOW] 0 devices found in total : \n");
    sim_write_file("/proc/bus/pci/devices", "0100\n");
    drop_log();
    EXPECT_EQ(tvk_build_dev_list(&head), TVK_E_IO);
    EXPECT_EQ(head.first, nullptr);
    EXPECT_NE(log().find("<TVK-ERR>Too few[1] fields captured in line \"0100\""), std::string::npos) << log();
}

} // namespace

namespace {

// The default board: its tree and its own ID file.
using TvkDefaultBoardTest = SimTest;

TEST_F(TvkDefaultBoardTest, NamesMapAndRoutes)
{
    tvk_dev_list head{};
    ASSERT_EQ(tvk_build_dev_list(&head), 0);
    ConsoleRun shown = console_run([&] {
        tvk_show_dev_list(&head);
        return 0;
    });
    tvk_destroy_dev_list(&head);
    const char *lines[] = {
        "[SHOW] 13 devices found in total : \n",
        "[SHOW] 00:00:0 Host bridge: Intel Corporation Processor DMI2 host bridge  (rev 07), sts 0x0000\n",
        "[SHOW] 00:03:0 PCI bridge: Intel Corporation Processor PCI Express root port 3a  (rev 07), sts 0x0010\n",
        "[SHOW] 00:1f:0 ISA bridge: Intel Corporation LPC controller  (rev 05), sts 0x0000\n",
        ("[SHOW] 01:00:0 Memory controller: Xilinx Corporation Trans packet FPGA Trans packet FPGA card (rev 00), sts "
         "0x0010\n"),
        "[SHOW] 03:00:0 PCI bridge: PLX Technology, Inc. PEX 8714 12-lane switch port  (rev ab), sts 0x0010\n",
    };
    for (const char *line : lines)
        EXPECT_NE(shown.out.find(line), std::string::npos) << line << shown.out;
    tvk_bus_map map{};
    ASSERT_EQ(tvk_build_bus_map(&map), 0);
    EXPECT_EQ(map.count, 5);
    ConsoleRun route = console_run([&] { return tvk_print_pci_route(4, 0, &map, 0); });
    EXPECT_EQ(route.out, "[SHOW] Device[04:00:0] pci route is /->[00:02.0]->[02:00.0]->[03:00.0]->[04:00.0]\n");
}

} // namespace
