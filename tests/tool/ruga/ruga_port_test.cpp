// Saving, closing, opening and restoring the functions below the RUGA
// card's root ports on the simulated bus: what is saved, which ports are
// touched, Link Disable by read-modify-write, the link wait and its time.
#include "tool/ruga/ruga_port.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cerrno>
#include <memory>
#include <string>

#include "bases/drv/ruga_boot_drv.h"
#include "bases/drv/spi_flash_drv.h"
#include "sim/pci_bus.h"
#include "sim/ruga_model.h"
#include "sim/spi_flash_model.h"
#include "support/flash_image.h"
#include "tool/ruga/ruga_app.h"
#include "sim/pci_sysfs.h"
#include "sim/sim_sched.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/trans_op.h"

namespace {

namespace fs = std::filesystem;

struct PortDef {
    const char *name;
    uint8_t bus, devfn, secondary;
};
constexpr PortDef kPorts[3] = {{"0000:80:02.1", 0x80, 0x11, 0x81}, {"0000:00:03.0", 0x00, 0x18, 0x02},
                               {"0000:00:03.2", 0x00, 0x1A, 0x03}};

class RugaPort : public SimTest {
public:
    void SetUp() override
    {
        SimTest::SetUp();
        data = std::make_unique<PciSaveData>();
        fs::create_directories(sim_path("/sys/bus/pci/devices"));
        for (size_t i = 0; i < 3; i++) {
            const PortDef &d = kPorts[i];
            PciBytes b = pci_build_bridge(0x8086, 0x2F04, d.bus, d.secondary, d.secondary, 4096);
            pci_put(b, RUGA_LINK_CONTROL, 0x0040, 2);  // a bit the firmware set
            pci_put(b, RUGA_LINK_STATUS, 0x0083, 2);   // x8, speed 3
            pci_bus_add(d.bus, d.devfn, b);
            std::string nested = std::string("/sys/devices/pci0000:") + (d.bus ? "80/" : "00/") + d.name;
            fs::create_directories(sim_path(nested));
            fs::create_directory_symlink(std::string("../../..") + nested.substr(4), sim_path(std::string("/sys/bus/pci/devices/") + d.name));
            ports[i] = {0, d.bus, static_cast<uint8_t>(d.devfn >> 3), static_cast<uint8_t>(d.devfn & 7), 0, {}};
        }
    }
    void children(size_t port, unsigned count)
    {
        const PortDef &d = kPorts[port];
        std::string nested = std::string("/sys/devices/pci0000:") + (d.bus ? "80/" : "00/") + d.name;
        for (unsigned f = 0; f < count; f++) {
            PciBytes b = pci_build_endpoint(0x19E5, static_cast<uint16_t>(0xD100 + f), 0x120000, 1, 4096);
            pci_put(b, 0x10, 0xD0000000u + (f << 20), 4);
            pci_bus_add(d.secondary, static_cast<uint8_t>(f), b);
            char name[32];
            std::snprintf(name, sizeof name, "0000:%02x:%02x.%x", d.secondary, f >> 3, f & 7);
            fs::create_directories(sim_path(nested + "/" + name));
        }
    }
    uint16_t link_control(size_t port)
    {
        return static_cast<uint16_t>(pci_conf_read(*pci_bus_find(kPorts[port].bus, kPorts[port].devfn), RUGA_LINK_CONTROL, 2));
    }
    std::unique_ptr<PciSaveData> data;
    PciePortInfo ports[3]{};
};

TEST_F(RugaPort, OnlyPortsWithChildrenAreSavedClosedAndOpened)
{
    children(0, 2);
    children(2, 1);
    ConsoleRun save = console_run([&] { return ruga_save_conf_reg(data.get(), ports, 3); });
    ASSERT_EQ(save.status, 0) << save.out;
    EXPECT_EQ(ports[0].present, 1);
    EXPECT_EQ(ports[1].present, 0);
    EXPECT_EQ(ports[2].present, 1);
    EXPECT_EQ(data->dev[0][0].valid + data->dev[0][1].valid + data->dev[0][2].valid, 2u);
    EXPECT_EQ(data->dev[1][0].valid, 0u);
    const PciDevConf &rec = data->dev[2][0];
    EXPECT_EQ(rec.bus, 0x03);
    EXPECT_EQ(rec.conf[4], 0xD0000000u);

    ConsoleRun close = console_run([&] { return ruga_close_pcie_port(ports, 3); });
    EXPECT_EQ(close.status, 0);
    EXPECT_EQ(link_control(0), 0x0050) << "Link Disable set, the firmware's bit kept";
    EXPECT_EQ(link_control(1), 0x0040) << "a port without children is left alone";
    EXPECT_NE(close.out.find("close pcie port success! (0x80:0x02.0x1)\n"), std::string::npos);

    // The device lost its configuration while the link was down.
    pci_conf_write(*pci_bus_find(0x03, 0), 0x10, 0, 4);
    ConsoleRun open = console_run([&] { return ruga_open_pcie_port(ports, 3); });
    EXPECT_EQ(open.status, 0);
    EXPECT_EQ(link_control(0), 0x0040);
    uint64_t before = sched_now_ns();
    ConsoleRun restore = console_run([&] { return ruga_recover_conf_reg(data.get(), ports, 3); });
    EXPECT_EQ(restore.status, 0) << restore.out;
    EXPECT_EQ(pci_conf_read(*pci_bus_find(0x03, 0), 0x10, 4), 0xD0000000u);
    EXPECT_EQ(sched_now_ns() - before, 3 * 100 * 1'000'000ull) << "100 ms after each link came up";
}

TEST_F(RugaPort, ArgumentsAndNineChildren)
{
    children(1, 9);
    EXPECT_EQ(console_run([&] { return ruga_save_conf_reg(nullptr, ports, 3); }).status, -1201);
    EXPECT_EQ(console_run([&] { return ruga_close_pcie_port(ports, 0); }).status, -1335);
    EXPECT_EQ(console_run([&] { return ruga_open_pcie_port(ports, 5); }).status, -1335);
    ConsoleRun nine = console_run([&] { return ruga_save_conf_reg(data.get(), ports, 3); });
    EXPECT_EQ(nine.status, -1398);
    EXPECT_NE(nine.out.find("hold pcie device BDF fail!\n"), std::string::npos);
}

TEST_F(RugaPort, AStuckLinkDisableFailsOpenAndADeadLinkFailsTheRestore)
{
    children(0, 1);
    children(1, 1);
    ASSERT_EQ(console_run([&] { return ruga_save_conf_reg(data.get(), ports, 2); }).status, 0);
    PciFunction &port0 = *pci_bus_find(0x80, 0x11);
    pci_conf_poke(port0, RUGA_LINK_CONTROL, {0x50, 0x00, 0x00, 0x00});
    pci_conf_read(port0, 0, 4);  // the bus's own rules first
    reg_set_rule(port0.regs, RegRule{RUGA_LINK_CONTROL, 0, 0x10, 0, 0, false, 0});  // Disable wired on
    ConsoleRun open = console_run([&] { return ruga_open_pcie_port(ports, 2); });
    EXPECT_EQ(open.status, -1316);
    EXPECT_NE(open.out.find("open pcie port fail! (0x80:0x02.0x1)\n"), std::string::npos);
    EXPECT_NE(open.out.find("open pcie port success! (0x00:0x03.0x0)\n"), std::string::npos);

    pci_conf_poke(port0, RUGA_LINK_STATUS, {0x00, 0x00});
    pci_conf_write(*pci_bus_find(0x02, 0), 0x10, 0, 4);
    uint64_t before = sched_now_ns();
    ConsoleRun restore = console_run([&] { return ruga_recover_conf_reg(data.get(), ports, 2); });
    EXPECT_EQ(restore.status, -1316) << "a skipped record is not a whole restore";
    EXPECT_NE(restore.out.find("pcie device(80:02.1) link error(link width x0), can't write back config data\n"),
              std::string::npos);
    EXPECT_EQ(pci_conf_read(*pci_bus_find(0x02, 0), 0x10, 4), 0xD0000000u) << "the other port still restored";
    EXPECT_EQ(sched_now_ns() - before, (1999 + 100) * 1'000'000ull);
}

}

namespace {

// The reload as the "A" row runs it: boot-driver requests around the
// save, links, flash load and restore, in this order.
class RugaReload : public RugaPort {
protected:
    static std::vector<unsigned long> order()
    {
        std::vector<unsigned long> out;
        for (const SimJournalEntry &e : sim_journal_of(SimEvent::request))
            if (e.node == RUGA_BOOT_NODE || e.request == SPI_FLASH_LOAD_FPGA)
                out.push_back(e.request);
        return out;
    }
    static ConsoleRun reload() { return console_run([] { return op_l_ruga("A"); }); }
};

TEST_F(RugaReload, RestoresWhatTheLoadWiped)
{
    ruga_boot_node_add();
    children(0, 2);
    children(1, 1);
    std::vector<PciBytes> before;
    for (auto [bus, devfn] : {std::pair{0x81, 0}, {0x81, 1}, {0x02, 0}})
        before.push_back(pci_conf_bytes(*pci_bus_find(static_cast<uint8_t>(bus), static_cast<uint8_t>(devfn))));
    sim_clear_journal();
    uint64_t start = sched_now_ns();
    // The functions lose their configuration while their links are down.
    sched_at(start + 500'000, [] {
        for (auto [bus, devfn] : {std::pair{0x81, 0}, {0x81, 1}, {0x02, 0}})
            pci_conf_poke(*pci_bus_find(static_cast<uint8_t>(bus), static_cast<uint8_t>(devfn)), 0x10, {0, 0, 0, 0});
    });
    ConsoleRun run = reload();
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.out.rfind("call ruda_active_boot_logic\n", 0), 0u);
    EXPECT_NE(run.out.find("RUGA:SUCCESS\n"), std::string::npos);
    EXPECT_EQ(order(), (std::vector<unsigned long>{RUGA_APP_LOGIC_OFF, RUGA_BOOT_DRV_OFF, SPI_FLASH_LOAD_FPGA,
                                                    RUGA_BOOT_DRV_ON}));
    size_t i = 0;
    for (auto [bus, devfn] : {std::pair{0x81, 0}, {0x81, 1}, {0x02, 0}})
        EXPECT_EQ(pci_conf_bytes(*pci_bus_find(static_cast<uint8_t>(bus), static_cast<uint8_t>(devfn))), before[i++]);
    EXPECT_EQ(link_control(0), 0x0040);
    EXPECT_EQ(link_control(2), 0x0040);
    EXPECT_GE(sched_now_ns() - start, 301'000'000ull) << "1 ms down, 100 ms before each of three restores";
}

TEST_F(RugaReload, FailuresGiveTheDriverBack)
{
    struct Row {
        const char *what;
        void (*setup)(RugaReload &);
        int status;
        std::vector<unsigned long> requests;
        const char *line;
    } rows[] = {
        {"no node", [](RugaReload &) {}, 0, {SPI_FLASH_LOAD_FPGA},
         "/dev/ruga_boot not exist, do not need to inactive boot and app"},
        {"app off fails", [](RugaReload &) { ruga_boot_node_add(); sim_fail_request(RUGA_BOOT_NODE, RUGA_APP_LOGIC_OFF, EIO); },
         -1, {RUGA_APP_LOGIC_OFF}, "inactive app logic failed\n"},
        {"boot off fails", [](RugaReload &) { ruga_boot_node_add(); sim_fail_request(RUGA_BOOT_NODE, RUGA_BOOT_DRV_OFF, EIO); },
         -1, {RUGA_APP_LOGIC_OFF, RUGA_BOOT_DRV_OFF, RUGA_APP_LOGIC_ON}, "inactive boot driver failed\n"},
        {"save fails", [](RugaReload &t) { ruga_boot_node_add(); t.children(2, 9); }, -1398,
         {RUGA_APP_LOGIC_OFF, RUGA_BOOT_DRV_OFF, RUGA_BOOT_DRV_ON, RUGA_APP_LOGIC_ON}, "save bar base adrress reg fail!\n"},
        {"load fails", [](RugaReload &) { ruga_boot_node_add(); sim_fail_request(SPI_FLASH_NODE, SPI_FLASH_LOAD_FPGA, EIO); },
         -2, {RUGA_APP_LOGIC_OFF, RUGA_BOOT_DRV_OFF, SPI_FLASH_LOAD_FPGA}, "RUGA: load boot logic to FPGA fail!\n"},
        {"boot on fails", [](RugaReload &) { ruga_boot_node_add(); sim_fail_request(RUGA_BOOT_NODE, RUGA_BOOT_DRV_ON, EIO); },
         -1, {RUGA_APP_LOGIC_OFF, RUGA_BOOT_DRV_OFF, SPI_FLASH_LOAD_FPGA, RUGA_BOOT_DRV_ON}, "active boot driver failed\n"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        TearDown();
        SetUp();
        children(0, 1);
        r.setup(*this);
        sim_clear_journal();
        ConsoleRun run = reload();
        if (r.status == -2)
            EXPECT_NE(run.status, 0);
        else
            EXPECT_EQ(run.status, r.status) << run.out;
        EXPECT_EQ(order(), r.requests);
        EXPECT_NE(run.out.find(r.line), std::string::npos) << run.out;
        EXPECT_EQ(link_control(0), 0x0040) << "links reopened";
        EXPECT_EQ(run.out.find("RUGA:active boot logic fail!\n") != std::string::npos, r.status != 0);
    }
}

}

namespace {

constexpr uint32_t kCapAt = 0x180;
const std::string kFpgaConf = "/proc/bus/pci/81/00.0";

// The application load: the FPGA function below 0000:80:02.1 carries the
// bit-stream capability; one function sits below 0000:00:03.0.
class RugaAppLoad : public RugaPort {
public:
    void SetUp() override
    {
        RugaPort::SetUp();
        ruga_boot_node_add();
        children(0, 1);
        children(1, 1);
        PciBytes b = pci_conf_bytes(*pci_bus_find(0x81, 0));
        pci_build_ext_cap(b, 0x100, 0x0001, 2);
        pci_build_ext_cap(b, kCapAt, RUGA_BITSTREAM_CAP, 1);
        pci_put(b, kCapAt + RUGA_CAP_CONTROL, 0x00001032, 4);
        pci_bus_add(0x81, 0, b);
        spi_flash_set_flags(0, 1, 1);
    }
    static PciFunction &fpga() { return *pci_bus_find(0x81, 0); }
    static ConsoleRun load(const std::string &path)
    {
        return console_run([&] { return op_l_ruga_ap(("f/" + path).c_str()); });
    }
    static std::vector<std::vector<uint8_t>> data_writes()
    {
        std::vector<std::vector<uint8_t>> out;
        for (const SimJournalEntry &e : sim_journal_of(SimEvent::write, kFpgaConf))
            if (e.address == kCapAt + RUGA_CAP_DATA)
                out.push_back(e.attachments.empty() ? std::vector<uint8_t>{} : e.attachments[0].bytes);
        return out;
    }
    static std::vector<unsigned long> boot_requests()
    {
        std::vector<unsigned long> out;
        for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, RUGA_BOOT_NODE))
            out.push_back(e.request);
        return out;
    }
};

TEST_F(RugaAppLoad, WholeWordsByteSwappedAndTheControlWords)
{
    std::vector<uint8_t> img = flash_image({.dataLen = 1002});
    sim_write_file("/app.bin", as_text(img));
    sim_clear_journal();
    ConsoleRun run = load("/app.bin");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("RUGA: load fpga app logic file success!\n"), std::string::npos);
    std::vector<std::vector<uint8_t>> words = data_writes();
    ASSERT_EQ(words.size(), 250u) << "the last two bytes are not sent";
    for (size_t i = 0; i < words.size(); i++)
        EXPECT_EQ(words[i], (std::vector<uint8_t>{img[4 * i + 3], img[4 * i + 2], img[4 * i + 1], img[4 * i]})) << i;
    EXPECT_EQ(boot_requests(), (std::vector<unsigned long>{RUGA_APP_LOGIC_OFF, RUGA_APP_LOGIC_ON}));
    EXPECT_EQ(pci_conf_read(fpga(), kCapAt + RUGA_CAP_CONTROL, 4), 0x00001032u | 0x1000u) << "saved control, bit 12";
    EXPECT_EQ(spi_flash_state(0).app, 0u) << "done flag cleared";
}

TEST_F(RugaAppLoad, StatusErrorsPendingRequestsAndBadFiles)
{
    const std::vector<uint8_t> img = flash_image({.dataLen = 400});
    struct Row {
        const char *what;
        const char *path;
        void (*board)(RugaAppLoad &);
        int status;
        size_t words;
        const char *line;
    } rows[] = {
        {"error bit 4", "/app.bin", [](RugaAppLoad &t) { pci_conf_poke(t.fpga(), kCapAt + RUGA_CAP_STATUS, {0x10, 0, 0, 0}); },
         -1200, 0, "status reg error!\n"},
        {"error bit 8 after the data", "/app.bin",
         [](RugaAppLoad &t) {
             pci_conf_read(t.fpga(), 0, 4);
             // The bus reads a dword a byte at a time: four script values per status read.
             reg_script(t.fpga().regs, kCapAt + RUGA_CAP_STATUS, {0, 0, 0, 0, 0, 0, 0, 0, 0x100, 0x100, 0x100, 0x100});
         },
         -1200, 100,
         "status reg error\n"},
        {"pending clears after 3 reads", "/app.bin",
         [](RugaAppLoad &t) {
             pci_conf_poke(t.fpga(), kCapAt + RUGA_CAP_STATUS, {0, 0, 0, 1});
             pci_conf_read(t.fpga(), 0, 4);
             reg_after_reads(t.fpga().regs, kCapAt + RUGA_CAP_STATUS, 0, 3);
         },
         0, 100, "RUGA: load fpga app logic file success!\n"},
        {"short file", "/short.bin", [](RugaAppLoad &) {}, -1202, 0, "file size is zero\n"},
        {"no file", "/none.bin", [](RugaAppLoad &) {}, -1219, 0, "file (/none.bin) not exist!\n"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        TearDown();
        SetUp();
        sim_write_file("/app.bin", as_text(img));
        sim_write_file("/short.bin", std::string(103, 'x'));
        r.board(*this);
        sim_clear_journal();
        ConsoleRun run = load(r.path);
        EXPECT_EQ(run.status, r.status) << run.out;
        EXPECT_NE(run.out.find(r.line), std::string::npos) << run.out;
        EXPECT_EQ(data_writes().size(), r.words);
        if (r.status == -1200) {
            EXPECT_EQ(pci_conf_read(fpga(), kCapAt + RUGA_CAP_CONTROL, 4), 0x00001032u) << "saved control back";
            EXPECT_EQ(boot_requests(), (std::vector<unsigned long>{RUGA_APP_LOGIC_OFF, RUGA_APP_LOGIC_ON}));
        }
    }
}

TEST_F(RugaAppLoad, AnEndlessPendingRequest)
{
    pci_conf_poke(fpga(), kCapAt + RUGA_CAP_STATUS, {0, 0, 0, 1});
    sim_journal_limit(64);
    ConsoleRun run = console_run([] { return ruga_wite_bit_stream(reinterpret_cast<const uint8_t *>("abcd"), 4); });
    EXPECT_EQ(run.status, -1200);
    EXPECT_NE(run.out.find("clear request by configure error\n"), std::string::npos);
    EXPECT_NE(run.out.find("clear request by configure error!\n"), std::string::npos);
}

}
