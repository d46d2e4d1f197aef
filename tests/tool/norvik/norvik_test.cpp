// The QPI check as whole command lines, and the QPI register operations on
// a fixture device.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <filesystem>
#include <regex>
#include <string>

#include "bases/pci/tvk_dev.h"
#include "sim/pci_bus.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/norvik/norvik.h"
#include "tool/quorbix.h"

namespace {

// Source path and line of the info lines masked.
std::string masked(const std::string &text)
{
    return std::regex_replace(text, std::regex("tool/norvik/norvik\\.cpp [0-9]+ ", std::regex::multiline), "@ ");
}

ConsoleRun run_m(const std::string &path)
{
    return console_run([&] {
        return quorbix_mfc(path);
    });
}

class MchCommand : public SimTest {};

TEST_F(MchCommand, CommandLines)
{
    const std::string ok = "cmd:5;time_cap:10;err_cap:1\nqpi check result(0)[OK]\nqpi check ok\n";
    const std::string okInfo = "@ cmd:5;time_cap:10;err_cap:1\n@ qpi check result(0)[OK]\n";
    const std::string base57(57, 'b');
    const std::string base56(56, 'c');
    struct {
        std::string path;
        const char *dirAt;  // a directory in the way of this file
        std::string out;
        int exit;
        const char *resultFile;  // null: none
        const char *infoFile;    // null: none
        const char *result;
        std::string info;
    } rows[] = {
        {"mch/q/item=1,tcap=10,ecap=1", nullptr, ok, 0, "/q.result", "/q.info", "OK\n", okInfo},
        {"mch/q/item=2,tcap=3,ecap=4", nullptr, "cmd:6;time_cap:3;err_cap:4\n", 0, nullptr, "/q.info", "",
         "@ cmd:6;time_cap:3;err_cap:4\n"},
        {"mch/q/item=3,tcap=1,ecap=1", nullptr, "Option operand error \n\n", 2, nullptr, "/q.info", "", ""},
        {"mch/q/item=0,tcap=1,ecap=1", nullptr, "Option operand error \n\n", 2, nullptr, "/q.info", "", ""},
        {"mch/q/item=1,tcap=10", nullptr, "item=1,tcap=10 err fromat, iRet = 2\nOption operand error \n\n", 2,
         nullptr, "/q.info", "", ""},
        {"mch/q", nullptr, "Invalid input, please check, iRet=1\n", 2, nullptr, nullptr, "", ""},
        {"mch//item=1,tcap=1,ecap=1", nullptr, "Invalid input, please check, iRet=0\n", 2, nullptr, nullptr, "",
         ""},
        {"mch", nullptr, "Invalid input, please check, iRet=-1\n", 2, nullptr, nullptr, "", ""},
        // A base whose result path does not fit is refused with no file made.
        {"mch/" + base57 + "/item=1,tcap=1,ecap=1", nullptr, "call snprintf_s fail, error=-1\n", 2, nullptr,
         nullptr, "", ""},
        {"mch/" + base56 + "/item=1,tcap=10,ecap=1", nullptr, ok, 0, nullptr, nullptr, "", ""},
        {"mch/q/item=1,tcap=10,ecap=1", "/q.info", "open(q.info) failed\ncmd:5;time_cap:10;err_cap:1\n@ cmd:5;time_cap:10;err_cap:1\n"
                                                        "qpi check result(0)[OK]\n@ qpi check result(0)[OK]\nqpi check ok\n", 0, "/q.result", nullptr,
         "OK\n", ""},
        {"mch/q/item=1,tcap=10,ecap=1", "/q.result", ok + "Create file [q.result] failed\n", 0, nullptr, "/q.info",
         "", okInfo + "@ Create file [q.result] failed\n"},
    };
    for (const auto &r : rows) {
        sim_reset(root_);
        for (const std::string &b : {std::string("q"), base56, base57})
            for (const char *ext : {".info", ".result"})
                std::filesystem::remove_all(sim_path("/" + b + ext));
        if (r.dirAt)
            std::filesystem::create_directories(sim_path(r.dirAt));
        ConsoleRun run = run_m(r.path);
        EXPECT_EQ(masked(run.out), r.out) << r.path;
        EXPECT_EQ(run.status, r.exit) << r.path;
        if (r.resultFile) {
            EXPECT_EQ(sim_read_file(r.resultFile), r.result) << r.path;
        } else if (!r.dirAt || std::string(r.dirAt) != "/q.result") {
            EXPECT_FALSE(std::filesystem::exists(sim_path("/q.result"))) << r.path;
        }
        if (r.infoFile) {
            EXPECT_EQ(masked(sim_read_file(r.infoFile)), r.info) << r.path;
        }
        if (r.path.find(base57) != std::string::npos) {
            for (const auto &e : std::filesystem::directory_iterator(root_))
                EXPECT_EQ(e.path().filename().string().find(base57.substr(0, 50)), std::string::npos);
        }
        if (r.path.find(base56) != std::string::npos) {
            EXPECT_EQ(sim_read_file("/" + base56 + ".result"), "OK\n");
            EXPECT_EQ(masked(sim_read_file("/" + base56 + ".info")), okInfo);
        }
    }
}

TEST_F(MchCommand, HandlerStatuses)
{
    struct {
        const char *params;
        int status;
    } rows[] = {
        {"q/item=1,tcap=1,ecap=1", 0}, {"q/item=2,tcap=1,ecap=1", 0}, {"q/item=3,tcap=1,ecap=1", -1204},
        {"q/item=0,tcap=1,ecap=1", -1204}, {"q/item=1,tcap=1", -1202}, {"", -1202},
    };
    for (const auto &r : rows)
        EXPECT_EQ(console_run([&] { return mch_check_intf(r.params); }).status, r.status) << r.params;
    EXPECT_EQ(analyze_ctrl_t_param(nullptr, nullptr), -1201);
    EXPECT_EQ(mch_check_cmd_deal(nullptr), -1201);
}

// The QPI device at 00:14.2 with its registers.
class QpiRegisters : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        fn_ = &pci_bus_add(0, 0xA2, pci_build_endpoint(0x8086, 0x3C82, 0x088000, 7, 4096));
        g_RasBus = 0;
        g_ucRasDevFn = 0xA2;
    }
    void put(uint32_t offset, uint32_t value) { pci_conf_poke(*fn_, offset, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)}); }
    uint32_t get(uint32_t offset) { return pci_get(pci_conf_bytes(*fn_), offset, 4); }
    PciFunction *fn_ = nullptr;
};

TEST_F(QpiRegisters, DetectState)
{
    struct {
        uint32_t st0, st1;
        int result;
    } rows[] = {{0, 0, 0}, {0, 0x1000, 1}, {0x1, 0, 1}, {0xFFFFE000u, 0xE000, 0}};
    for (const auto &r : rows) {
        put(kQpi0ErrSt, r.st0);
        put(kQpi1ErrSt, r.st1);
        int32_t result = -5;
        ConsoleRun run = console_run([&] { return mch_detect_qpi_state(&result); });
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(result, r.result) << r.st0 << " " << r.st1;
        EXPECT_EQ(run.out.find("QPI0ERRST[addr=512") != std::string::npos, r.result == 1);
    }
    EXPECT_EQ(mch_detect_qpi_state(nullptr), -1201);
}

TEST_F(QpiRegisters, EnablesAndClear)
{
    put(kQpi0LogEnable, 0x11);
    put(kQpi1LogEnable, 0x22);
    uint32_t p0 = 0, p1 = 0;
    EXPECT_EQ(mch_get_qpi_enable_reg(&p0, &p1), 0);
    EXPECT_EQ(p0, 0x11u);
    EXPECT_EQ(p1, 0x22u);
    EXPECT_EQ(mch_get_qpi_enable_reg(&p0, nullptr), -1201);
    EXPECT_EQ(mch_renew_qpi_setting(0x5, 0x6), 0);
    EXPECT_EQ(get(kQpi0LogEnable), 0x5u);
    EXPECT_EQ(get(kQpi1LogEnable), 0x6u);
    EXPECT_EQ(mch_enable_qpi_check(0x100000, 0), 0);
    EXPECT_EQ(get(kQpi0LogEnable), 0x1EFF1Fu);
    EXPECT_EQ(get(kQpi1LogEnable), 0x0EFF1Fu);
    put(kQpi0ErrSt, 0x1FFF);
    put(kQpi1ErrSt, 0x0003);
    put(kQpi0ErrSt, 0);
    put(kQpi1ErrSt, 0);
    EXPECT_EQ(mch_clear_qpi_status_reg(), 0);
    EXPECT_EQ(get(kQpi0ErrSt), 0x1FFFu);  // all error bits written back as ones
    EXPECT_EQ(get(kQpi1ErrSt), 0x1FFFu);
}

// A missing device: the first access fails and the second is never made.
TEST_F(QpiRegisters, SecondAccessOnlyAfterFirst)
{
    g_ucRasDevFn = 0xA3;  // nothing there
    struct {
        std::function<int()> op;
        const char *line;
    } rows[] = {
        {[] { int32_t r; return mch_detect_qpi_state(&r); }, "Can't get nofatal global error info!\n"},
        {[] { uint32_t a, b; return mch_get_qpi_enable_reg(&a, &b); }, "Can't enable QPI0 error state logging!\n"},
        {[] { return mch_clear_qpi_status_reg(); }, "Can't get nofatal global error info!\n"},
        {[] { return mch_renew_qpi_setting(1, 2); }, "Can't enable QPI0 error state logging!\n"},
        {[] { return mch_enable_qpi_check(1, 2); }, "Can't enable QPI0 error state logging!\n"},
    };
    for (const auto &r : rows) {
        ConsoleRun run = console_run(r.op);
        EXPECT_LT(run.status, 0) << r.line;
        EXPECT_EQ(run.out.substr(0, run.out.find('\n') + 1), r.line);
        EXPECT_EQ(run.out.find("QPI1"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("Can't get fatal"), std::string::npos) << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;  // console line, log line
    }
}

} // namespace
