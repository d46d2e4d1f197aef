// -m pcie as whole command lines on the simulated DORN board: console text,
// result and info files, status, virtual time and the Device Status bits
// left behind.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "bases/host/host.h"
#include "bases/pci/tvk_cap.h"
#include "sim/fixture_file.h"
#include "sim/pci_bus.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/quorbix.h"
#include "tool/tavk/pcie_check.h"

namespace {

ConsoleRun run_m(const std::string &path)
{
    return console_run([&] {
        return quorbix_mfc(path);
    });
}

// Device Status of a function: its PCI Express capability + 0x0A.
uint32_t devsta_at(uint8_t bus, uint8_t devfn)
{
    return static_cast<uint32_t>(tvk_tell_cap(bus, devfn, TVK_CAP_ID_EXP)) + 0x0A;
}

class PcieCheck : public SimTest {
protected:
    void fixture(const std::string &text)
    {
        std::string error;
        ASSERT_TRUE(sim_fixture_apply(text, "test", error)) << error;
    }
    bool exists(const std::string &p) { return std::filesystem::exists(sim_path(p)); }
    std::string log()
    {
        return std::regex_replace(sim_read_file("/tavik.log"), std::regex("(^|\n)\\S+\\.cpp \\d+ "), "$1F N ");
    }
    uint16_t devsta(uint8_t bus, uint8_t devfn)
    {
        PciFunction *fn = pci_bus_find(bus, devfn);
        return fn ? static_cast<uint16_t>(pci_conf_read(*fn, devsta_at(bus, devfn), 2)) : 0xFFFF;
    }
};

// The PCI Express functions of the default board, in list order (the
// reverse of the devices file).
const std::vector<std::string> kListed = {"04:00.0", "03:00.0", "02:00.0", "01:00.0", "00:03.0", "00:02.0", "00:01.0"};

std::string lines(const char *prefix, const char *tail)
{
    std::string out;
    for (const std::string &a : kListed)
        out += std::string(prefix) + "[" + a + "] " + tail + "\n";
    return out;
}

std::string console(const std::string &caps, int result)
{
    std::string out = "[SHOW] " + caps + "\n[SHOW] <--- Begin to cycle PCIe status check... --->\n" +
                      "[SHOW] <---  cycle PCIe status check result " + std::to_string(result) + " --->\n";
    if (result != 0)
        out += "[SHOW] pci_cycle_check fail, iRet = " + std::to_string(result) + " \n\n";
    return out;
}

// Sets a Device Status error bit of `bus:devfn` at each of `ms`.
void errors_at(uint8_t bus, uint8_t devfn, uint16_t bits, std::initializer_list<uint64_t> ms)
{
    PciFunction *fn = pci_bus_find(bus, devfn);
    ASSERT_NE(fn, nullptr);
    for (uint64_t t : ms)
        pci_bus_event(*fn, devsta_at(bus, devfn), bits, t * 1000000u);
}

TEST_F(PcieCheck, Verdicts)
{
    const std::string warn0 = lines("warn:", "cerr current(0) overflow(0)");
    struct {
        std::string cmd, caps;
        std::string result, info;
        int status;
    } rows[] = {
        {"t10:f1:u1:c5", "time_cap=10,ferr_cap=1,uncerr_cap=1,cerr_cap=5", "OK\n", "", 0},
        {"t10:f1:u1:c0", "time_cap=10,ferr_cap=1,uncerr_cap=1,cerr_cap=0", "TBD\n", warn0, 2},
        {"t0:f1:u1:c0", "time_cap=0,ferr_cap=1,uncerr_cap=1,cerr_cap=0", "TBD\n", warn0, 2},
        {"t0:f1:u0:c1", "time_cap=0,ferr_cap=1,uncerr_cap=0,cerr_cap=1", "FAULTY\n",
         lines("err:", "uncerr current(0) overflow(0)"), 1},
        {"t2:f-3:u1:c1", "time_cap=2,ferr_cap=-3,uncerr_cap=1,cerr_cap=1", "FAULTY\n",
         lines("err:", "ferr current(0) overflow(-3)"), 1},
        {"t-4:f1:u1:c1", "time_cap=-4,ferr_cap=1,uncerr_cap=1,cerr_cap=1", "OK\n", "", 0},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.cmd);
        uint64_t before = sim_clock_ns();
        ConsoleRun run = run_m("pcie/res/" + r.cmd);
        EXPECT_EQ(run.out, console(r.caps, r.status));
        EXPECT_EQ(run.status, r.status == 0 ? 0 : 2);
        EXPECT_EQ(sim_read_file("/res.result"), r.result);
        EXPECT_EQ(sim_read_file("/res.info"), r.info);
        int polls = std::max(0, std::stoi(r.cmd.substr(1)));
        EXPECT_EQ(sim_clock_ns() - before, polls * 50000000ull);
    }
}

TEST_F(PcieCheck, ErrorsInThreeOfFivePolls)
{
    // Polls read at 0, 50, 100, 150 and 200 ms.
    for (auto [caps, result] : {std::pair{"c3", "TBD\n"}, std::pair{"c4", "OK\n"}}) {
        SCOPED_TRACE(caps);
        errors_at(0x01, 0x00, 0x0001, {25, 75, 125});
        ConsoleRun run = run_m(std::string("pcie/res/t5:f1:u1:") + caps);
        EXPECT_EQ(sim_read_file("/res.result"), result);
        std::string info = "info:[01:00.0] cerr_inc(3) uncerr_inc(0) ferr_inc(0)\n";
        if (std::string(caps) == "c3")
            info += "warn:[01:00.0] cerr current(3) overflow(3)\n";
        EXPECT_EQ(sim_read_file("/res.info"), info);
        EXPECT_NE(log().find("F N [LOG] [01:00.0] CorrErr=1, UncorrErr=0, FatalErr=0, UnsuppReq=0\n"),
                  std::string::npos);
        EXPECT_EQ(devsta(0x01, 0x00) & 0xF, 0) << "error bits cleared";
    }
}

TEST_F(PcieCheck, InfoLinesInListOrderAndEveryClass)
{
    errors_at(0x00, 0x08, 0x0007, {10});   // 00:01.0: corrected, non-fatal, fatal
    errors_at(0x04, 0x00, 0x0008, {10});   // 04:00.0: unsupported request only, not counted
    errors_at(0x02, 0x00, 0x0002, {10});   // 02:00.0: non-fatal
    ConsoleRun run = run_m("pcie/res/t2:f1:u1:c1");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(sim_read_file("/res.result"), "FAULTY\n");
    EXPECT_EQ(sim_read_file("/res.info"), "info:[02:00.0] cerr_inc(0) uncerr_inc(1) ferr_inc(0)\n"
                                          "err:[02:00.0] uncerr current(1) overflow(1)\n"
                                          "info:[00:01.0] cerr_inc(1) uncerr_inc(1) ferr_inc(1)\n"
                                          "err:[00:01.0] uncerr current(1) overflow(1)\n"
                                          "warn:[00:01.0] cerr current(1) overflow(1)\n"
                                          "err:[00:01.0] ferr current(1) overflow(1)\n");
    for (auto [bus, devfn] : {std::pair{0x00, 0x08}, std::pair{0x04, 0x00}, std::pair{0x02, 0x00}})
        EXPECT_EQ(devsta(static_cast<uint8_t>(bus), static_cast<uint8_t>(devfn)) & 0xF, 0);
}

TEST_F(PcieCheck, BadTextsWriteNoFiles)
{
    struct {
        std::string cmd, out;
    } rows[] = {
        {"pcie/res", "Invalid input, please check, iRet=1\n"},
        {"pcie//t1:f1:u1:c1", "Invalid input, please check, iRet=0\n"},
        {"pcie/res/t1:f1:u1", "[SHOW] t1:f1:u1 err fromat\n[SHOW] Option operand error \n\n"},
        {"pcie/res/x", "[SHOW] x err fromat\n[SHOW] Option operand error \n\n"},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.cmd);
        ConsoleRun run = run_m(r.cmd);
        EXPECT_EQ(run.out, r.out);
        EXPECT_EQ(run.status, 2);
        EXPECT_FALSE(exists("/res.result"));
        EXPECT_FALSE(exists("/res.info"));
    }
    EXPECT_EQ(console_run([] { return pcie_check_intf("res/t1:f1"); }).status, -906);
}

TEST_F(PcieCheck, UnwritableInfoLeavesEmptyResult)
{
    std::filesystem::create_directories(sim_path("/res.info"));
    ConsoleRun run = run_m("pcie/res/t1:f1:u1:c1");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("pci_cycle_check fail, iRet = -909"), std::string::npos);
    EXPECT_TRUE(exists("/res.result"));
    EXPECT_EQ(sim_read_file("/res.result"), "");
    EXPECT_NE(log().find("F N [LOG] Create file [res.info] failed\n"), std::string::npos);
}

TEST_F(PcieCheck, MissingDirectoryCreatesNothing)
{
    pcie_check_ctrl ctrl{1, 1, 1, 1, PCIE_CHECK_FILES, "nodir/res"};
    TVK_ENT_LIST_HEAD head{};
    pcie_err_count c{};
    EXPECT_EQ(pci_educe_cycle_result(&ctrl, &head, &c, 0), -909);
    EXPECT_FALSE(exists("/nodir"));
    EXPECT_EQ(pci_educe_cycle_result(nullptr, &head, &c, 0), -904);
    EXPECT_EQ(pci_update_devsts_stat(nullptr, &c, 0), -904);
    EXPECT_EQ(pci_update_devsts_stat(&head, &c, 0), 0);
}

TEST_F(PcieCheck, DevicesFileFaults)
{
    struct {
        const char *what;
        std::function<void()> fault;
        int code;
    } rows[] = {
        {"missing", [] { sim_fail_open("/proc/bus/pci/devices", ENOENT); }, -908},
        {"short line",
         [] {
             SimFault f;
             f.node = "/proc/bus/pci/devices";
             f.op = SimFaultOp::read;
             f.result = 6;   // "0000\t8" : two fields, then the end
             f.nth = 1;
             sim_add_fault(f);
             // the second read finds the end: seen only by this fault, its first
             f.result = 0;
             sim_add_fault(f);
         },
         -909},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        sim_clear_faults();
        r.fault();
        ConsoleRun run = run_m("pcie/res/t3:f1:u1:c1");
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.out.find("pci_cycle_check fail, iRet = " + std::to_string(r.code)), std::string::npos);
        EXPECT_FALSE(exists("/res.result"));
        EXPECT_FALSE(exists("/res.info"));
    }
}

TEST_F(PcieCheck, UnreadableFunctionDoesNotHideTheNext)
{
    auto *head = static_cast<TVK_ENT_LIST_HEAD *>(std::calloc(1, sizeof(TVK_ENT_LIST_HEAD)));
    ASSERT_EQ(tvk_build_entity_list(head), 0);
    ASSERT_EQ(head->count, kListed.size());
    // 04:00.0 is polled first and cannot be read; 03:00.0 reports errors.
    sim_fail_op(SimFaultOp::read, "/proc/bus/pci/04/00.0", EIO);
    errors_at(0x03, 0x00, 0x0002, {0});
    std::vector<pcie_err_count> c(head->count);
    EXPECT_EQ(pci_update_devsts_stat(head, c.data(), head->count), -909);
    EXPECT_EQ(c[1].uncerr, 1u);
    EXPECT_NE(log().find("F N [LOG] Cannot get entity[04:00:0] data, ret=-909\n"), std::string::npos);
    pcie_check_ctrl ctrl{1, 1, 1, 1, PCIE_CHECK_FILES, "res"};
    EXPECT_EQ(pci_educe_cycle_result(&ctrl, head, c.data(), head->count), PCIE_FAULTY);
    EXPECT_EQ(sim_read_file("/res.info"), "info:[03:00.0] cerr_inc(0) uncerr_inc(1) ferr_inc(0)\n"
                                          "err:[03:00.0] uncerr current(1) overflow(1)\n");
    tvk_destroy_entity_list(head);
}

TEST_F(PcieCheck, TwentyFourFunctionsAllJudged)
{
    // 17 more endpoints on bus 0x20, each with a PCI Express capability.
    for (uint8_t d = 0; d < 17; d++) {
        PciBytes b = pci_build_endpoint(0x8086, static_cast<uint16_t>(0x1000 + d), 0x020000, 1);
        pci_build_pcie(b, 0x40, 0);
        pci_bus_add(0x20, static_cast<uint8_t>(d << 3), b);
    }
    // 00:01.0 comes first in the devices file, so it is listed last (24th).
    errors_at(0x00, 0x08, 0x0004, {10});
    ConsoleRun run = run_m("pcie/res/t2:f1:u1:c1");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(sim_read_file("/res.result"), "FAULTY\n");
    EXPECT_EQ(sim_read_file("/res.info"), "info:[00:01.0] cerr_inc(0) uncerr_inc(0) ferr_inc(1)\n"
                                          "err:[00:01.0] ferr current(1) overflow(1)\n");
}

// On the real host without a readable /dev/mem: the board name cannot be
// read, so nothing is polled (no poll could write) and no file is written.
TEST(PcieCheckRealHost, NoDevMem)
{
    if (::access("/dev/mem", R_OK) == 0)
        GTEST_SKIP() << "this machine has a readable /dev/mem";
    char tmpl[] = "/tmp/quorbix-pcie-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::filesystem::path was = std::filesystem::current_path();
    std::filesystem::current_path(tmpl);
    const HostOps *host_was = g_host;
    host_select(&g_realHost);
    ConsoleRun run = run_m("pcie/res/t1:f1:u1:c1");
    host_select(host_was);
    std::filesystem::current_path(was);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find("[SHOW] pci_cycle_check fail, iRet = -952 \n\n"), std::string::npos) << run.out;
    EXPECT_FALSE(std::filesystem::exists(std::string(tmpl) + "/res.result"));
    std::filesystem::remove_all(tmpl);
}

} // namespace
