// The reloads on the simulated RUDA card, whose ports drop their links and
// wipe the functions below them on Link Disable: the order of boot-driver
// requests, saves, link writes, load and restores, the configuration
// written back, the virtual time; the serdes close, the register test and
// the separate save and restore.
#include "tool/ruga/ruga_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/mman.h>
#include <vector>

#include "bases/drv/ruga_boot_drv.h"
#include "bases/drv/spi_flash_drv.h"
#include "sim/fixture_file.h"
#include "sim/pci_bus.h"
#include "sim/sim_board.h"
#include "sim/ruga_model.h"
#include "sim/sim_sched.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/ruga/ruga_cmd.h"
#include "tool/ruga/ruga_pci.h"
#include "tool/ruga/ruga_port.h"
#include "tool/ruga/ruga_reg.h"

namespace {

const std::vector<std::string> kPortFiles = {"/proc/bus/pci/80/02.1", "/proc/bus/pci/00/03.0", "/proc/bus/pci/00/03.2"};
const std::string kAppResource = "/sys/bus/pci/devices/0000:02:00.0/resource0";

bool is_child(const std::string &node)
{
    return node.starts_with("/proc/bus/pci/81/") || node.starts_with("/proc/bus/pci/02/") ||
           node.starts_with("/proc/bus/pci/03/");
}

const char *request_name(unsigned long r)
{
    switch (r) {
    case RUGA_APP_LOGIC_OFF: return "app off";
    case RUGA_APP_LOGIC_ON: return "app on";
    case RUGA_BOOT_DRV_OFF: return "boot off";
    case RUGA_BOOT_DRV_ON: return "boot on";
    default: return "load";
    }
}

// The journal as steps, repeats folded.
std::vector<std::string> steps()
{
    std::vector<std::string> out;
    auto add = [&](std::string s) {
        if (out.empty() || out.back() != s)
            out.push_back(std::move(s));
    };
    for (const SimJournalEntry &e : sim_journal()) {
        const bool port = std::find(kPortFiles.begin(), kPortFiles.end(), e.node) != kPortFiles.end();
        if (e.kind == SimEvent::request && (e.node == RUGA_BOOT_NODE || e.request == SPI_FLASH_LOAD_FPGA))
            add(request_name(e.request));
        else if (e.kind == SimEvent::write && port && e.address == RUGA_LINK_CONTROL && !e.attachments.empty())
            add((e.attachments[0].bytes[0] & RUGA_LINK_DISABLE) != 0 ? "link down" : "link up");
        else if (e.kind == SimEvent::read && is_child(e.node) && e.value == 4)
            add("save");
        else if (e.kind == SimEvent::write && is_child(e.node))
            add("restore");
        else if (e.kind == SimEvent::map && e.node == kAppResource && (e.value & PROT_WRITE) != 0)
            add("serdes");
    }
    return out;
}

using Steps = std::vector<std::string>;

class RugaReloadCard : public SimTest {
protected:
    static std::vector<PciBytes> children()
    {
        std::vector<PciBytes> out;
        for (unsigned port = 0; port < 3; port++)
            for (unsigned i = 0; i < 2; i++)
                if (PciFunction *fn = pci_bus_find(ruga_card_child_bus(port), ruga_card_child_devfn(i)))
                    out.push_back(pci_conf_bytes(*fn));
        return out;
    }
    static uint32_t app_word(uint32_t reg)
    {
        uint32_t w = 0;
        sim_phys_read(kRugaAppBar + reg, &w, 4);
        return w;
    }
};

TEST_F(RugaReloadCard, ModelDropsTheLinkAndWipesTheFunctionsBelow)
{
    ruga_card_add(RugaCard{.children = {2, 1, 0}, .linkReads = 4});
    PciFunction &port = *pci_bus_find(0x80, 0x11);
    PciFunction &child = *pci_bus_find(0x81, 1);
    ASSERT_NE(pci_conf_read(child, 0x10, 4), 0u);
    pci_conf_write(port, RUGA_LINK_CONTROL, 0x0050, 2);
    EXPECT_EQ(pci_conf_read(port, RUGA_LINK_STATUS, 2), 0u);
    EXPECT_EQ(pci_conf_read(child, 0x10, 4), 0u);
    EXPECT_EQ(pci_conf_read(child, 0x04, 2), 0u);
    pci_conf_write(port, RUGA_LINK_CONTROL, 0x0040, 2);
    EXPECT_EQ(pci_conf_read(port, RUGA_LINK_STATUS, 2), 0u) << "two reads of the dword";
    EXPECT_EQ(pci_conf_read(port, RUGA_LINK_STATUS, 2), 0u);
    EXPECT_EQ(pci_conf_read(port, RUGA_LINK_STATUS, 2), 0x0083u);
}

TEST_F(RugaReloadCard, FixtureLinesBuildTheCard)
{
    struct Row {
        const char *line;
        bool ok;
        unsigned below02;  // functions found below 0000:00:03.0
    } rows[] = {
        {"ruga-card 1 9 0 link-reads never cap-at 0x200 no-node", true, 9},
        {"ruga-card 1 2 3 app-kind 0x2000 boot-word 0x1234", true, 2},
        {"ruga-card 1 10 0", false, 0},
        {"ruga-card 1 1", false, 0},
        {"ruga-card 1 1 1 cap-at 0x7", false, 0},
        {"ruga-card 1 1 1 colour blue", false, 0},
        {"ruga-card 1 1 1 cap-at never", false, 0},
        {"ruga-card 1 1 1 link-reads", false, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.line);
        TearDown();
        SetUp();
        std::string error;
        EXPECT_EQ(sim_fixture_apply(r.line, "t", error), r.ok) << error;
        unsigned n = 0;
        for (unsigned i = 0; i < 9; i++)
            n += pci_bus_find(0x02, ruga_card_child_devfn(i)) != nullptr ? 1 : 0;
        if (r.ok) {
            EXPECT_EQ(n, r.below02);
        }
    }
}

TEST_F(RugaReloadCard, BootReloadOrderConfigurationAndTime)
{
    ruga_card_add(RugaCard{.children = {2, 1, 1}});
    const std::vector<PciBytes> before = children();
    sim_clear_journal();
    const uint64_t start = sched_now_ns();
    ConsoleRun run = console_run([] { return ruga_active_boot_logic(); });
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(steps(), (Steps{"app off", "boot off", "save", "link down", "load", "link up", "restore", "boot on"}));
    EXPECT_EQ(children(), before) << "every function written back after the model wiped it";
    EXPECT_EQ(sched_now_ns() - start, (1 + 4 * 100) * 1'000'000ull) << "1 ms down, 100 ms before each restore";
}

TEST_F(RugaReloadCard, LinksThatComeBackLateOrNever)
{
    struct Row {
        int linkReads;
        int status;
        uint64_t ms;
    } rows[] = {
        {6, 0, 1 + 2 + 100 + 100},  // the first record waits two polls, the second finds the link up
        {kRugaLinkNever, -1316, 1 + 2 * 1999},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.linkReads);
        TearDown();
        SetUp();
        ruga_card_add(RugaCard{.children = {2, 0, 0}, .linkReads = r.linkReads});
        const uint64_t start = sched_now_ns();
        ConsoleRun run = console_run([] { return ruga_active_boot_logic(); });
        EXPECT_EQ(run.status, r.status) << run.out;
        EXPECT_EQ((sched_now_ns() - start) / 1'000'000, r.ms);
    }
}

TEST_F(RugaReloadCard, TheOtherReloads)
{
    struct Row {
        const char *what;
        int (*reload)();
        uint32_t serdesReg;  // 0: no serdes close
        Steps steps;
    } rows[] = {
        {"whole", ruga_reload_whole_logic, 0x90,
         {"app off", "boot off", "save", "serdes", "link down", "load", "link up", "restore", "boot on", "app on"}},
        {"no driver", ruga_reload_boot_logic, 0x2C044,
         {"save", "serdes", "link down", "load", "link up", "restore"}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        TearDown();
        SetUp();
        ruga_card_add(RugaCard{.children = {1, 1, 0}});
        const std::vector<PciBytes> before = children();
        ruga_card_serdes_done(r.serdesReg, 2);
        sim_clear_journal();
        ConsoleRun run = console_run(r.reload);
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(steps(), r.steps);
        EXPECT_EQ(app_word(r.serdesReg), RUGA_SERDES_CLOSE | RUGA_SERDES_DONE);
        EXPECT_NE(run.out.find("close fpga serdes successful, (2)\n"), std::string::npos) << run.out;
        EXPECT_EQ(children(), before);
    }
}

TEST_F(RugaReloadCard, FailuresOfTheOtherReloads)
{
    struct Row {
        int (*reload)();
        const char *node;
        unsigned long request;
        const char *line;
        Steps steps;
    } rows[] = {
        {ruga_reload_boot_logic, SPI_FLASH_NODE, SPI_FLASH_LOAD_FPGA, "RUGA: please power off and power on manually!\n",
         {"save", "serdes", "link down", "load", "link up"}},  // links reopened, nothing restored
        {ruga_reload_whole_logic, RUGA_BOOT_NODE, RUGA_BOOT_DRV_OFF, "inactive boot driver failed\n",
         {"app off", "boot off", "app on"}},
        {ruga_reload_whole_logic, RUGA_BOOT_NODE, RUGA_APP_LOGIC_ON, "active app logic failed\n",
         {"app off", "boot off", "save", "serdes", "link down", "load", "link up", "restore", "boot on", "app on"}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.line);
        TearDown();
        SetUp();
        ruga_card_add(RugaCard{.children = {1, 1, 0}});
        sim_fail_request(r.node, r.request, EIO);
        sim_clear_journal();
        ConsoleRun run = console_run(r.reload);
        EXPECT_NE(run.status, 0);
        EXPECT_NE(run.out.find(r.line), std::string::npos) << run.out;
        EXPECT_EQ(steps(), r.steps);
        EXPECT_EQ(pci_conf_read(*pci_bus_find(0x80, 0x11), RUGA_LINK_STATUS, 2), 0x0083u) << "link up again";
    }
}

TEST_F(RugaReloadCard, ReloadWithoutSaveClosesTheSerdesTheKindAsks)
{
    struct Row {
        uint16_t kind;
        uint32_t appWord;
        uint32_t serdesReg;  // 0: none closed
    } rows[] = {
        {0x3000, 0x01000105, 0x90},   // type 1, version 105
        {0x3000, 0x01000104, 0},      // too old
        {0x3000, 0x00000200, 0},      // type 0
        {0x2000, 0x01000105, 0x2C044},
        {0x1000, 0x01000105, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.serdesReg);
        TearDown();
        SetUp();
        ruga_card_add(RugaCard{.appWord = r.appWord, .appKind = r.kind});
        sim_clear_journal();
        ConsoleRun run = console_run([] { return ruga_reload_boot_logic_without_save_reg(); });
        EXPECT_EQ(run.status, 0) << run.out;
        const Steps want = r.serdesReg ? Steps{"serdes", "load"} : Steps{"load"};
        EXPECT_EQ(steps(), want);
        if (r.serdesReg) {
            EXPECT_EQ(app_word(r.serdesReg) & ~RUGA_SERDES_DONE, RUGA_SERDES_CLOSE);
        }
    }
}

TEST_F(RugaReloadCard, SerdesClose)
{
    struct Row {
        uint32_t type;
        int doneMs;  // -1: never
        int status;
        uint64_t ms;
        const char *line;
    } rows[] = {
        {0, 3, 0, 3, "close fpga serdes successful, (3)\n"},
        {1, 1, 0, 1, "close fpga serdes successful, (1)\n"},
        {0, -1, -1200, 10, "close fpga serdes fail\n"},
        {2, 1, -1201, 0, "FPGA type error, is not Lanzip logic and Platforn logic\n"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.line);
        TearDown();
        SetUp();
        ruga_card_add(RugaCard{});
        if (r.doneMs >= 0)
            ruga_card_serdes_done(r.type < 2 ? RUGA_SERDES_REG[r.type] : 0, static_cast<unsigned>(r.doneMs));
        const uint64_t start = sched_now_ns();
        ConsoleRun run = console_run([&] { return ruga_close_fpga_serdes(r.type); });
        EXPECT_EQ(run.status, r.status);
        EXPECT_NE(run.out.find(r.line), std::string::npos) << run.out;
        EXPECT_EQ((sched_now_ns() - start) / 1'000'000, r.ms);
        if (r.type == 2) {
            EXPECT_EQ(app_word(0), 0u) << "nothing written for an unknown type";
        }
    }
}

TEST_F(RugaReloadCard, RegisterTestAndLogicType)
{
    ruga_card_add(RugaCard{.bootWord = 0x03000105});
    ConsoleRun hb = console_run([] { return ruda_test_logic_hb(); });
    EXPECT_EQ(hb.status, 0) << hb.out;
    for (uint32_t w : RUGA_HB_WORDS) {
        char line[64];
        std::snprintf(line, sizeof line, "read test data is (0x%x)\n", w);
        EXPECT_NE(hb.out.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(app_word(RUGA_HB_REG), RUGA_HB_WORDS[7]);
    EXPECT_NE(hb.out.find("RUGA:SUCCESS\n"), std::string::npos);
    ConsoleRun type = console_run([] { return ruda_get_logic_type(); });
    EXPECT_EQ(type.status, 0);
    EXPECT_NE(type.out.find("RUGA flash logic type: 3 \n"), std::string::npos) << type.out;

    // A scratch bit that never sets fails the test though every access worked.
    TearDown();
    SetUp();
    ruga_card_add(RugaCard{.hbStuck = 0x00000400});
    hb = console_run([] { return ruda_test_logic_hb(); });
    EXPECT_EQ(hb.status, -1200) << hb.out;
    EXPECT_NE(hb.out.find("read test data is (0x55555155)\n"), std::string::npos) << hb.out;
    EXPECT_NE(hb.out.find("RUGA:test logic hb fail\n"), std::string::npos);

    // No FPGA below either port: both fail with the RUGA lines.
    TearDown();
    SetUp();
    ruga_card_add(RugaCard{.children = {0, 0, 0}});
    hb = console_run([] { return ruda_test_logic_hb(); });
    EXPECT_NE(hb.status, 0);
    EXPECT_NE(hb.out.find("RUGA:FAIL\n"), std::string::npos);
    EXPECT_NE(hb.out.find("RUGA:test logic hb fail\n"), std::string::npos);
    type = console_run([] { return ruda_get_logic_type(); });
    EXPECT_NE(type.status, 0);
    EXPECT_NE(type.out.find("RUGA:get logic type fail\n"), std::string::npos);
}

TEST_F(RugaReloadCard, SeparateSaveAndRestore)
{
    ruga_card_add(RugaCard{.children = {1, 1, 1}});
    EXPECT_EQ(console_run([] { return ruda_save_bar_reg(); }).status, 0);
    const uint64_t start = sched_now_ns();
    ConsoleRun run = console_run([] { return ruda_recover_bar_reg(); });
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(sched_now_ns() - start, (5000 + 3 * 100) * 1'000'000ull);
    EXPECT_EQ(pci_conf_read(*pci_bus_find(0x81, 0), 0x04, 4), 1u) << "command and status of the boot FPGA";
    EXPECT_EQ(pci_conf_read(*pci_bus_find(0x02, 0), 0x04, 2), 6u);

    TearDown();
    SetUp();
    ruga_card_add(RugaCard{.children = {1, 9, 0}});
    for (int (*op)() : {ruda_save_bar_reg, ruda_recover_bar_reg}) {
        run = console_run(op);
        EXPECT_EQ(run.status, -1200);
        EXPECT_NE(run.out.find("save reg fail!\n"), std::string::npos);
    }
}

}

namespace {

TEST_F(RugaReloadCard, TheCardSurvivesAReopenedBoard)
{
    ruga_card_add(RugaCard{.children = {2, 1, 0}, .bootWord = 0x00000207});
    sim_board_close();
    ASSERT_EQ(sim_board_open(root_, board()), 0);
    uint32_t version = 0;
    ConsoleRun v = console_run([&] { return ruga_get_run_boot_logic_ver(&version); });
    EXPECT_EQ(v.status, 0) << v.out;
    EXPECT_EQ(version, 207u);
    const std::vector<PciBytes> before = children();
    sim_clear_journal();
    ConsoleRun run = console_run([] { return ruga_active_boot_logic(); });
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(steps(), (Steps{"app off", "boot off", "save", "link down", "load", "link up", "restore", "boot on"}));
    EXPECT_EQ(children(), before);
}

}
