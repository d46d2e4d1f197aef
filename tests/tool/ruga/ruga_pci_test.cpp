// The FPGA function below a root port and its version and type words,
// through a sysfs tree whose device entries are links into nested function
// directories, and the "V" row.
#include "tool/ruga/ruga_pci.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "sim/pci_bus.h"
#include "sim/pci_sysfs.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/trans_op.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kBar0 = 0xD0000000;

class RugaPci : public SimTest {
public:
    // Port 0000:BB:DD.F as a link into its host bridge's directory, with
    // `children` directories below it; the FPGA function at bus `child`
    // gets a BAR 0 whose word at 8 is `word`.
    void port(const std::string &name, const std::vector<std::string> &children)
    {
        std::string nested = "/sys/devices/pci0000:" + name.substr(5, 2) + "/" + name;
        fs::create_directories(sim_path(nested));
        for (const std::string &c : children)
            fs::create_directories(sim_path(nested + "/" + c));
        fs::create_directories(sim_path("/sys/bus/pci/devices"));
        fs::create_directory_symlink("../../../devices/pci0000:" + name.substr(5, 2) + "/" + name,
                                     sim_path("/sys/bus/pci/devices/" + name));
    }
    void fpga(uint8_t bus, uint32_t word, uint64_t base = kBar0)
    {
        PciFunction &fn = pci_bus_add(bus, 0, pci_build_endpoint(0x19E5, 0xD100, 0x120000, 1));
        fn.resources = {{base, base + 0xFFF, 0x40200}};
        pci_sysfs_add(fn);
        sim_phys_write(base + 8, &word, 4);
    }
};

TEST_F(RugaPci, VersionAndTypeWordsOfBothPorts)
{
    port("0000:80:02.1", {"0000:81:00.1", "power", "0000:81:00.0"});
    port("0000:00:03.0", {"0000:02:00.0"});
    fpga(0x81, 0x05000105);
    fpga(0x02, 0x01001234, kBar0 + 0x10000);
    struct Row {
        int (*read)(uint32_t *);
        uint32_t value;
        const char *line;
    } rows[] = {
        {ruga_get_run_boot_logic_ver, 105, "RUGA run boot logic version: 105\n"},
        {ruga_get_flash_logic_type, 5, "RUGA flash logic type: 5 \n"},
        {ruga_get_app_ver, 1234, "RUGA app logic version: 1234\n"},
        {ruga_get_app_type, 1, "RUGA app logic type: 1\n"},
    };
    for (const Row &r : rows) {
        uint32_t v = 0;
        ConsoleRun run = console_run([&] { return r.read(&v); });
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_EQ(v, r.value);
        EXPECT_NE(run.out.find(r.line), std::string::npos) << run.out;
    }
    RugaPciDev dev{};
    EXPECT_EQ(ruga_find_tanden_dev(RUGA_PORT_BOOT, &dev), 0);
    EXPECT_EQ(dev.bus, 0x81u);
    ConsoleRun v = console_run([] { return op_l_ruga("V"); });
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.out.rfind("call ruda_get_run_boot_logic_ver\n", 0), 0u);
    EXPECT_NE(v.out.find("RUGA:SUCCESS\n"), std::string::npos);
}

TEST_F(RugaPci, FailedReadsAreReportedAsFailures)
{
    struct Row {
        const char *what;
        void (*board)(RugaPci &);
        int status;
        const char *line;
    } rows[] = {
        {"no port", [](RugaPci &) {}, -1216, "access(/sys/bus/pci/devices/0000:80:02.1) return(-1) no pci root port exist\n"},
        {"not a link",
         [](RugaPci &) { fs::create_directories(sim_path("/sys/bus/pci/devices/0000:80:02.1/0000:81:00.0")); }, -1216,
         "file(/sys/bus/pci/devices/0000:80:02.1) is not a link file!\n"},
        {"no function 0", [](RugaPci &t) { t.port("0000:80:02.1", {"0000:81:00.1", "0000:81:01.0"}); }, -1200,
         "not find pf device, get boot run version fail!\n"},
        {"no BAR", [](RugaPci &t) { t.port("0000:80:02.1", {"0000:81:00.0"}); }, -1, "read bar register fail!\n"},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        fs::remove_all(sim_path("/sys/bus/pci/devices/0000:80:02.1"));
        fs::remove_all(sim_path("/sys/devices"));
        r.board(*this);
        uint32_t v = 0;
        ConsoleRun run = console_run([&] { return ruga_get_run_boot_logic_ver(&v); });
        if (r.status == -1)
            EXPECT_LT(run.status, 0);
        else
            EXPECT_EQ(run.status, r.status);
        EXPECT_EQ(v, 65535u);
        EXPECT_NE(run.out.find(r.line), std::string::npos) << run.out;
        ConsoleRun cmd = console_run([] { return op_l_ruga("V"); });
        EXPECT_EQ(cmd.status, run.status);
        EXPECT_NE(cmd.out.find("RUGA run boot logic version: 65535\n"), std::string::npos);
        EXPECT_NE(cmd.out.find("RUGA:FAIL\n"), std::string::npos);
        EXPECT_NE(cmd.out.find("RUGA:get run boot logic version fail!\n"), std::string::npos);
    }
}

}
