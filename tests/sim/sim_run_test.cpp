// quorbix-sim driven by fixture files: whole command lines whose output
// shows the injected facts, and fixture errors.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <csignal>
#include <functional>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "sim/sim_board.h"
#include "sim/sim_host.h"
#include "sim/sim_run.h"
#include "support/sim_child.h"
#include "support/sim_in_process.h"

namespace {

const std::string kVersion = "version : ver 2.200.10.11.o\n";
const std::string kDefaulted = "get board name failed, set board name ZK17DORN\n\n";

// The README's example, as written there.
const char kReadmeFixture[] =
    "# The DMI board name cannot be read: quorbix falls back to ZK17DORN.\n"
    "fail-open /sys/devices/virtual/dmi/id/board_name EACCES\n";

TEST(SimRun, FixtureDrivesAWholeCommandLine)
{
    const struct {
        std::string fixture;
        std::string out;
    } cases[] = {
        {kReadmeFixture, "open /sys/devices/virtual/dmi/id/board_name failed\n\n" + kDefaulted + kVersion},
        {"file /sys/devices/virtual/dmi/id/board_name \"ZK17\\n\"", "unknow board type,name ZK17\n\n\n" + kDefaulted + kVersion},
        {"file /sys/devices/virtual/dmi/id/board_name \"ZK17WENA\\n\"  # a known model\n", kVersion},
    };
    for (const auto &c : cases) {
        TempDir dir;
        SimRun r = run_sim_binary("--root " + dir.path + " --fixture " + dir.write("board.fix", c.fixture) + " -- -v");
        EXPECT_EQ(r.status, 2) << c.fixture;
        EXPECT_EQ(r.out, c.out) << c.fixture;
        EXPECT_EQ(r.err, "") << c.fixture;
    }
}

TEST(SimRun, FixtureErrorsStopTheRun)
{
    TempDir dir;
    const std::string fix = dir.write("bad.fix", "reg /dev/trans_pci 0x10 0x1\n\nreg /dev/trans_pci 0x10\n");
    SimRun r = run_sim_binary("--root " + dir.path + " --fixture " + fix + " -- -v");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quorbix-sim: " + fix + ":3: usage: reg NODE ADDR VALUE\n");
    r = run_sim_binary("--root " + dir.path + " --fixture " + dir.path + "/none.fix -- -v");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorbix-sim: " + dir.path + "/none.fix: No such file or directory\n");
}

// The same entry in-process: the board is closed (and saved) after the run.
TEST(SimRun, InProcess)
{
    TempDir dir;
    std::string fix = dir.write("f.fix", "fail-open /sys/devices/virtual/dmi/id/board_name EIO\n");
    std::vector<std::string> args{"quorbix-sim", "--board", "ZK17WENB", "--root", dir.path, "--fixture", fix, "--", "-v"};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(quorbix_sim_run(static_cast<int>(args.size()), argv.data()), 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "open /sys/devices/virtual/dmi/id/board_name failed\n\n" + kDefaulted + kVersion);
    EXPECT_EQ(sim_board_current(), nullptr);
    SimDoc doc;
    ASSERT_EQ(sim_doc_read(dir.path + kSimBoardDocPath, "board", doc), SimDocRead::Ok);
    EXPECT_EQ(doc.find("board")->find("model")->value, "\"ZK17WENB\"");
}

// ---- all or nothing -------------------------------------------------------------------

// The text of a fresh default board saved in `root` by a first run.
std::string saved_board(const std::string &root)
{
    if (sim_run_in_process({"--root", root, "--", "-v"}).status != 2)
        return "";
    std::stringstream ss;
    ss << std::ifstream(root + kSimBoardDocPath).rdbuf();
    return ss.str();
}

// Good lines of every kind a later line may undo: a new file, a file the
// board already has, a controller and a disk behind it, a register, a PCI
// function replaced.
const char kGood[] =
    "file /etc/quorbix/new.txt \"one\"\n"
    "file /sys/devices/virtual/dmi/id/board_name \"ZK17DORN\\n\"\n"
    "mpt-ioc 1 pci=0000:06:00.0 root=0000:00:03.0 device=0x72 revision=3 sas=0x500605b000000002\n"
    "disk-add sdz sg9 sas pci=0000:06:00.0 host=1 channel=0 target=1\n"
    "reg /dev/trans_pci 0x5c18 0x1234\n"
    "00:1f.3 SMBus: Intel Corporation Device 1d22 (rev 06)\n"
    "00: 86 80 22 1d\n";

TEST(SimRun, AFixtureErrorAnywhereLeavesTheRootAsItWas)
{
    const struct {
        const char *what;
        std::string first;   // the first fixture file
        std::string second;  // a second one, when not empty
        int line;            // of the bad line, in the last file
        std::string message;
        bool fresh = false;  // also on a root without a saved board
    } cases[] = {
        {"bad PHY counter", kGood, "", 8, "mpt-phy 1 0 zz 0 0 0 0", true},
        {"SAS disk of an unknown disk", kGood, "", 8, "sas-disk 1 9 sdq 1 0 0 0 9"},
        {"RUGA card of two ports", kGood, "", 8, "ruga-card 1 2"},
        {"uncore value", kGood, "", 8, "uncore-c90-stuck zz"},
        {"IPMI reply cut short", kGood, "", 8, "ipmi-reply 1"},
        {"accelerator pool", kGood, "", 8, "asmf-pool x"},
        {"media line on a DORN board", kGood, "", 8, "media-dsp 9 9 init=0"},
        {"PCI row of the function replaced", kGood, "", 8, "10: zz 80", true},
        {"second file bad", kGood, "file /etc/b \"2\"\n", 2, "reg /dev/trans_pci 0x10", true},
        {"reg on the flash driver", kGood, "", 8, "reg /dev/spi_flash 0x1 0x1"},
        {"reads on /dev/mem", kGood, "", 8, "reads /dev/mem 0x1 0x1"},
        {"indir on the RTC", kGood, "", 8, "indir /dev/rtc_dev 0 1 = 2"},
        {"reg on the SAS controller", kGood, "", 8, "reg /dev/mpt2ctl 0x1 0x1"},
        {"file a directory", kGood, "", 8, "file /sys \"x\""},
        {"file the root", kGood, "", 8, "file / \"x\""},
        {"file the saved board", kGood, "", 8, "file /.sim/board \"x\""},
        {"file below a file", kGood, "", 8, "file /etc/quorbix/new.txt/x \"y\""},
    };
    for (bool saved : {false, true})
        for (const auto &c : cases) {
            if (!saved && !c.fresh)
                continue;
            SCOPED_TRACE(std::string(c.what) + (saved ? ", saved board" : ", no saved board"));
            TempDir dir;
            const std::string root = dir.path + "/root";
            if (saved)
                ASSERT_EQ(sim_run_in_process({"--root", root, "--", "-v"}).status, 2);
            else
                std::filesystem::create_directory(root);
            const auto before = sim_tree_image(root);
            std::vector<std::string> args{"--root", root, "--fixture", dir.write("a.fix", c.first)};
            std::string bad = dir.write("b.fix", c.second + c.message + "\n");
            if (!c.second.empty())
                args.insert(args.end(), {"--fixture", bad});
            else
                args[3] = dir.write("a.fix", c.first + c.message + "\n");
            args.insert(args.end(), {"--", "-v"});
            SimRun r = sim_run_in_process(args);
            const std::string &file = c.second.empty() ? args[3] : bad;
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_TRUE(r.err.starts_with("quorbix-sim: " + file + ":" + std::to_string(c.line) + ": ")) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_EQ(sim_tree_image(root), before);
            EXPECT_EQ(sim_board_current(), nullptr);
        }
    // The root spelled with a trailing "/" and through "..": the files
    // overwritten are still put back.
    TempDir dir;
    const std::string root = dir.path + "/root";
    ASSERT_FALSE(saved_board(root).empty());
    const auto before = sim_tree_image(root);
    const std::string fix = dir.write("c.fix", std::string(kGood) + "zz\n");
    for (const std::string &spelling : {root + "/", dir.path + "/root/../root"}) {
        SimRun r = sim_run_in_process({"--root", spelling, "--fixture", fix, "--", "-v"});
        EXPECT_EQ(r.err, "quorbix-sim: " + fix + ":8: unknown fact 'zz'\n") << spelling;
        EXPECT_EQ(sim_tree_image(root), before) << spelling;
    }
}

// Roots the board cannot be kept in are refused before anything is written.
TEST(SimRun, RootsThatCannotHoldABoardAreRefused)
{
    TempDir dir;
    std::filesystem::create_directories(dir.path + "/plain");
    dir.write("plain/sys", "not a directory\n");
    const std::string file = dir.write("file", "x");
    const bool slashHadSim = std::filesystem::exists("/.sim");
    const std::string plain = dir.path + "/plain";
    const struct {
        std::string root;
        std::string err;
    } cases[] = {
        {"/", "quorbix-sim: /: the real root cannot stand for the board's root\n"},
        {"/tmp/..", "quorbix-sim: /tmp/..: the real root cannot stand for the board's root\n"},
        {file, "quorbix-sim: " + file + ": not a directory\n"},
        {plain, "quorbix-sim: " + plain + "/sys/devices/virtual/dmi/id: Not a directory\n"},
        // Ending in "..", a missing root is not made: that would make
        // "none" beside what the root turns out to be.
        {dir.path + "/none/..", "quorbix-sim: " + dir.path + "/none/..: No such file or directory\n"},
    };
    const auto before = sim_tree_image(plain);
    for (const auto &c : cases) {
        SimRun r = sim_run_in_process({"--root", c.root, "--", "-v"});
        EXPECT_EQ(r.status, 1) << c.root;
        EXPECT_EQ(r.out, "") << c.root;
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(sim_tree_image(plain), before);
    EXPECT_EQ(std::filesystem::exists(file + "/.sim"), false);
    EXPECT_EQ(std::filesystem::exists(dir.path + "/none"), false);
    EXPECT_EQ(std::filesystem::exists("/.sim"), slashHadSim);
}

// A saved board cut at any section boundary, or missing a section, is
// refused with its line, and the root stays as it was.
TEST(SimRun, ASavedBoardCutShortIsRefused)
{
    TempDir dir;
    const std::string root = dir.path + "/root";
    const std::string board = root + kSimBoardDocPath;
    const std::string whole = saved_board(root);
    ASSERT_FALSE(whole.empty());
    std::vector<std::string> lines;
    std::istringstream in(whole);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    // Every cut before a section head, and every board without one section.
    std::vector<std::pair<std::string, std::string>> boards;  // what, text
    std::string head;
    for (size_t i = 0; i < lines.size(); i++) {
        if (!lines[i].empty() && lines[i][0] == '[') {
            boards.push_back({"cut before " + lines[i], head});
            size_t next = i + 1;
            while (next < lines.size() && (lines[next].empty() || lines[next][0] != '['))
                next++;
            if (lines[i] != "[end]" && lines[i] != "[board]") {
                std::string without;
                for (size_t k = 0; k < lines.size(); k++)
                    if (k < i || k >= next)
                        without += lines[k] + "\n";
                boards.push_back({"without " + lines[i], without});
            }
        }
        head += lines[i] + "\n";
    }
    ASSERT_GT(boards.size(), 10u);
    for (const auto &[what, text] : boards) {
        SCOPED_TRACE(what);
        std::ofstream(board, std::ios::binary | std::ios::trunc) << text;
        const auto before = sim_tree_image(root);
        SimRun r = sim_run_in_process({"--root", root, "--", "-v"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.starts_with("quorbix-sim: " + board + ":")) << r.err;
        EXPECT_TRUE(r.err.ends_with(" (give --reset to start a fresh board)\n")) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(sim_tree_image(root), before);
    }
    std::ofstream(board, std::ios::binary | std::ios::trunc) << whole;
    EXPECT_EQ(sim_run_in_process({"--root", root, "--", "-v"}).status, 2) << "the whole board loads";
}

// Quoted bad text is cut to 80 characters.
TEST(SimRun, MessagesQuoteAtMostEightyCharacters)
{
    TempDir dir;
    const std::string root = dir.path + "/root";
    const std::string board = root + kSimBoardDocPath;
    std::string text = saved_board(root);
    ASSERT_FALSE(text.empty());
    const std::string model = "model = \"ZK17DORN\"";
    text.replace(text.find(model), model.size(), "model = \"" + std::string(5000, 'Z'));
    std::ofstream(board, std::ios::binary | std::ios::trunc) << text;
    const std::string clipped = std::string(80, 'Z') + "...";
    SimRun r = sim_run_in_process({"--root", root, "--", "-v"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("'\"" + clipped.substr(1) + "'"), std::string::npos) << r.err;
    EXPECT_LT(r.err.size(), 300u);

    r = sim_run_in_process({"--root", root, "--reset", "--fixture", dir.write("x.fix", "reg /dev/trans_pci " + std::string(500, '9') + " 1\n"), "--", "-v"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("'" + std::string(80, '9') + "...' is not a number"), std::string::npos) << r.err;
}

// ---- the program's own options ----------------------------------------------------------

TEST(SimRun, HelpListsOptionsAndModels)
{
    SimRun r = sim_run_in_process({"-h"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const char *option : {"--board MODEL", "--root DIR", "--reset", "--fixture FILE", "--syslog", "-h"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    for (const SimBoardProfile &p : sim_board_profiles())
        EXPECT_NE(r.out.find("\n  " + std::string(p.model) + " "), std::string::npos) << p.model;
    EXPECT_EQ(sim_run_in_process({"--help"}).out, r.out);
}

TEST(SimRun, UnknownWordsAreNamedWithWhatIsAccepted)
{
    TempDir dir;
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"--bogus", "--", "-v"}, "quorbix-sim: unknown option '--bogus' (options: -h, --board MODEL, --root DIR, "
                                  "--reset, --fixture FILE, --syslog, then -- OPTIONS)\n"},
        {{"--root", dir.path, "--board", "ZK17XXX", "--", "-v"},
         "quorbix-sim: unknown board model 'ZK17XXX' (models: " + sim_board_models() + ")\n"},
        {{"--root"}, "quorbix-sim: --root wants a value\n"},
        {{"--reset"}, "quorbix-sim: no '--' before quorbix's options (quorbix-sim -h prints the usage)\n"},
    };
    for (const auto &c : cases) {
        SimRun r = sim_run_in_process(c.args);
        EXPECT_EQ(r.status, 1) << c.err;
        EXPECT_EQ(r.out, "") << c.err;
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(sim_board_models().find("ZK17TRVA, ZK17DORN, ZK17KESP"), 0u);
}

// --board takes a model name whole: any other text, the empty one too, is an
// unknown model that writes nothing, with or without --reset; a saved board
// is compared with the name as given.
TEST(SimRun, ModelNamesAreTakenWhole)
{
    TempDir dir;
    const std::string root = dir.path + "/root", none = dir.path + "/none";
    ASSERT_EQ(sim_run_in_process({"--root", root, "--board", "ZK17KESP", "--", "-v"}).status, 2);
    const auto before = sim_tree_image(root);
    const std::string models = " (models: " + sim_board_models() + ")\n";
    const struct {
        std::string board, quoted;
    } cases[] = {
        {"", ""}, {"xZK17KESPx", "xZK17KESPx"}, {"ZK17KESPx", "ZK17KESPx"}, {"ZK17KESP\n", "ZK17KESP\\x0a"},
        {"zk17kesp", "zk17kesp"}, {"ZK17", "ZK17"}, {"ZK17'KESP", "ZK17\\x27KESP"},
    };
    for (const auto &c : cases)
        for (const std::string &where : {root, none})
            for (bool reset : {false, true}) {
                SCOPED_TRACE("'" + c.board + "' on " + where + (reset ? " with --reset" : ""));
                std::vector<std::string> args{"--root", where, "--board", c.board, "--", "-v"};
                if (reset)
                    args.insert(args.begin(), "--reset");
                SimRun r = sim_run_in_process(args);
                EXPECT_EQ(r.status, 1);
                EXPECT_EQ(r.out, "");
                EXPECT_EQ(r.err, "quorbix-sim: unknown board model '" + c.quoted + "'" + models);
                EXPECT_EQ(sim_tree_image(root), before);
                EXPECT_FALSE(std::filesystem::exists(none));
            }
    SimRun r = sim_run_in_process({"--root", root, "--board", "ZK17DORN", "--", "-v"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorbix-sim: the board in " + root + " is a ZK17KESP; give --reset to start a ZK17DORN board there\n");
    EXPECT_EQ(sim_tree_image(root), before);
    EXPECT_EQ(sim_run_in_process({"--root", root, "--board", "ZK17KESP", "--", "-v"}).status, 2);
}

// A command run through system() prints its output where the shell's child
// would: on the process's standard output.
TEST(SimRun, ACommandRunThroughSystemPrintsItsOutput)
{
    const struct {
        int status;     // the command's wait status
        int runStatus;  // quorbix's
    } cases[] = {{3, 2}, {0, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.status);
        TempDir dir;
        const std::string fix =
            dir.write("c.fix", "command \"./cryptotool query\" " + std::to_string(c.status) + " \"hello out\\n\"\n");
        SimRun r = run_sim_binary("--root " + dir.path + " --fixture " + fix + " -- -m crypto");
        EXPECT_EQ(r.status, c.runStatus);
        EXPECT_EQ(r.out, "hello out\n");
        EXPECT_EQ(r.err, "");
    }
}

// Bad text from a binary file is quoted with escapes, NUL bytes and all, on
// one line whose quote closes.
TEST(SimRun, BinaryFixtureTextIsQuotedWithEscapes)
{
    using namespace std::string_literals;
    TempDir dir;
    const std::string fix =
        dir.write("elf.fix", "\177ELF\002\001\001\003\0\0\0\0\0\0\0\0\002\0>\0\001\0\0\0\0 rest\n\0\0"s);
    SimRun r = sim_run_in_process({"--root", dir.path + "/root", "--fixture", fix, "--", "-v"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    // 80 characters of escapes exactly, then the cut before the next one.
    EXPECT_EQ(r.err, "quorbix-sim: " + fix + ":1: unknown fact '\\x7fELF\\x02\\x01\\x01\\x03" +
                         "\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00>\\x00\\x01\\x00\\x00...'\n");
    for (char ch : r.err.substr(0, r.err.size() - 1))
        EXPECT_TRUE(ch >= 0x20 && ch < 0x7F) << static_cast<int>(ch);
}

// The syslog lines a run wrote, on stderr after it.
TEST(SimRun, SyslogLinesFollowTheRun)
{
    TempDir dir;
    SimRun r = sim_run_in_process({"--root", dir.path, "--syslog", "--", "-m", "fpga/s"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.err.find("syslog<1>: [PLOV_LOG] boardlib/dorn_version.cpp:"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\n\n"), std::string::npos) << "one line each";
    EXPECT_EQ(sim_run_in_process({"--root", dir.path, "--", "-m", "fpga/s"}).err, "");
}

// A fresh board holds what a booted one has: pool bases and software
// buffer bases inside the regions its /proc/cmdline reserves, so the pool
// listings and the self check answer without a fixture; and on every model
// the host bridge whose MCHBAR leads to the memory-controller registers.
TEST(SimRun, AFreshBoardAnswersWhatABootedOneDoes)
{
    struct Case {
        std::string model;
        std::string option, command;
        std::vector<std::string> lines;
    };
    std::vector<Case> cases = {
        {"ZK17DORN", "-m", "fpga/a/0", {"phyaddr   :0x7d000000 viraddr  :0x7", "phyaddr   :0x7e000000 viraddr  :0x7"}},
        {"ZK17DORN", "-m", "fpga/a/1", {"phyaddr   :0x7d100000 viraddr  :0x7", "phyaddr   :0x7e100000 viraddr  :0x7"}},
        {"ZK17DORN", "-m", "fpga/b",
         {"PoolType : 0x0\n\tVirAddr : 0x7", "\tPhyAddr : 0x7d200000\n", "PoolType : 0x6\n\tVirAddr : 0x7",
          "\tPhyAddr : 0x7e280000\n", "PoolType : 0x5\n\tVirAddr : 0x7", "\tPhyAddr : 0x7e300000\n",
          "PoolType : 0x3\n\tVirAddr : 0x7", "\tPhyAddr : 0x7d380000\n"}},
        {"ZK17DORN", "-m", "fpga/n/1:1:4", {"Memcfg test pass!\n", "phyaddr   :0x7e100000", "type[1] ID[4]\n", "SUCCESS\n"}},
        {"ZK17KESP", "-m", "fpga/a/0", {"phyaddr   :0x7d000000 viraddr  :0x7", "phyaddr   :0x7d100000 viraddr  :0x7"}},
    };
    for (const SimBoardProfile &p : sim_board_profiles())
        cases.push_back({p.model, "-r", "mchbar/1", {"base_addr = 0xfed10000\n\noffset_bar[0x44b4] = 0x       2\n\n"
                                                     "offset_bar[0x44b8] = 0x  c0ffee\n"}});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.model + " " + c.command);
        TempDir dir;
        SimRun r = run_sim_binary("--root " + dir.path + " --reset --board " + c.model + " --syslog -- " + c.option + " " +
                                  c.command);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.out.find("fail"), std::string::npos) << r.out;
        for (const std::string &line : c.lines)
            EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    }
}

// A second run on a root in use waits, and says so.
TEST(SimRun, ARunWaitingForTheLockSaysSo)
{
    TempDir dir;
    ASSERT_EQ(sim_board_open(dir.path, ""), 0);
    const std::string cmd = std::string(QUORBIX_SIM_BIN) + " --root " + dir.path + " -- -v 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[512] = {};
    EXPECT_NE(std::fgets(line, sizeof line, p), nullptr);
    EXPECT_EQ(std::string(line), "quorbix-sim: waiting for another run on " + dir.path + " to end\n");
    sim_board_close();
    std::string rest;
    for (size_t n; (n = std::fread(line, 1, sizeof line, p)) > 0;)
        rest.append(line, n);
    int ws = pclose(p);
    EXPECT_EQ(WIFEXITED(ws) ? WEXITSTATUS(ws) : -1, 2);
    EXPECT_EQ(rest, kVersion);
}

// ---- whatever stops the run ----------------------------------------------------------

const std::string kSfpWrite = "sfp/w/1:0xA0:200:4:0x11:0x22:0x33:0x44";

// quorbix-sim's options for `root`, then the tool's for a run that changes
// the root (the PCIe check's two files) and the board (an SFP module's
// bytes), then prints far more than a pipe holds: a reader that stops
// reading early finds the run still writing.
std::vector<std::string> long_run(std::vector<std::string> args)
{
    args.insert(args.end(), {"--", "-m", "pcie/chk/t0:f1:u1:c1", "-m", kSfpWrite});
    for (int i = 0; i < 40; i++)
        args.insert(args.end(), {"-m", "disks"});
    return args;
}

// Output to a closed pipe is dropped: the run goes on to its end, saves
// what it did (its fixture's file and register, the tool's files and SFP
// bytes), and ends as the same run read to its end does.
TEST(SimRun, OutputToAClosedPipeIsDroppedAndTheRunSaves)
{
    TempDir dir;
    const std::string whole = dir.path + "/whole", cut = dir.path + "/cut";
    const std::string fix = dir.write("f.fix", "file /etc/quorbix/new.txt \"one\"\nreg /dev/trans_pci 0x5c18 0x1234\n");
    const auto beside = sim_tree_image(dir.path);
    SimChild full(long_run({"--root", whole, "--fixture", fix}));
    const std::string printed = full.rest();
    const int ended = full.wait();
    ASSERT_TRUE(WIFEXITED(ended)) << sim_ended(ended);
    ASSERT_GT(printed.size(), 4u * 65536) << "more than a pipe holds";

    SimChild head(long_run({"--root", cut, "--fixture", fix}));
    EXPECT_EQ(head.read(64), printed.substr(0, 64));
    head.close_out();
    EXPECT_EQ(sim_ended(head.wait()), sim_ended(ended));
    EXPECT_EQ(head.err(), full.err());
    EXPECT_EQ(sim_tree_image(cut), sim_tree_image(whole));
    EXPECT_TRUE(std::filesystem::exists(cut + "/etc/quorbix/new.txt"));
    EXPECT_NE(sim_tree_image(cut)[".sim/board"].find("0x5c18"), std::string::npos) << "the register saved";
    EXPECT_EQ(sim_tree_image(dir.path, {"whole", "cut"}), beside);
    const SimRun r = run_sim_binary("--root " + cut + " -- -m sfp/r/1:0xA0:200:4", kSimLimitSeconds);
    EXPECT_NE(r.out.find("11\t22\t33\t44\t\n"), std::string::npos) << r.out;
}

// SIGINT, SIGTERM or SIGHUP while the tool runs: the root goes back to what
// it held before the run (the fixture's files, the tool's, the saved board),
// one line says so with the root escaped, and the run ends by the same
// signal, so a shell sees it was interrupted. Nothing beside the root moves.
TEST(SimRun, AStopSignalPutsTheRootBackAndEndsTheRunByIt)
{
    const struct {
        int number;
        const char *name;
    } signals[] = {{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};
    for (const auto &sig : signals) {
        SCOPED_TRACE(sig.name);
        TempDir dir;
        const std::string root = dir.path + "/r\nx", shown = dir.path + "/r\\x0ax";
        ASSERT_EQ(sim_run_in_process({"--root", root, "--", "-v"}).status, 2);
        dir.write("r\nx/notes.txt", "2b");
        const std::string fix = dir.write("f.fix", "file /etc/quorbix/new.txt \"one\"\n"
                                                   "file /notes.txt \"longer than it was\"\n"
                                                   "reg /dev/trans_pci 0x5c18 0x1234\n");
        const auto before = sim_tree_image(root);
        const auto beside = sim_tree_image(dir.path, {"r\nx"});
        SimChild run(long_run({"--root", root, "--fixture", fix}));
        EXPECT_EQ(run.read(64).size(), 64u) << "the tool runs";
        ::kill(run.pid, sig.number);
        run.rest();
        EXPECT_EQ(sim_ended(run.wait()), "signal " + std::string(sig.name));
        EXPECT_EQ(run.err(), "quorbix-sim: stopped by " + std::string(sig.name) + "; " + shown + " put back as it was\n");
        EXPECT_EQ(sim_tree_image(root), before);
        EXPECT_EQ(sim_tree_image(dir.path, {"r\nx"}), beside);
    }
}

// A stop while a command run through system() is still printing, to a
// reader that has stopped reading: the printing holds up no stop.
TEST(SimRun, AStopWhileACommandPrintsEndsTheRun)
{
    TempDir dir;
    const std::string fix =
        dir.write("c.fix", "command \"./cryptotool query\" 0 \"" + std::string(4 * 65536, 'x') + "\"\n");
    const auto before = sim_tree_image(dir.path);
    SimChild run({"--root", dir.path + "/root", "--fixture", fix, "--", "-m", "crypto"});
    EXPECT_EQ(run.read(64), std::string(64, 'x')) << "the command prints";
    ::kill(run.pid, SIGINT);
    EXPECT_EQ(sim_ended(run.wait()), "signal SIGINT");
    EXPECT_EQ(run.err(), "quorbix-sim: stopped by SIGINT; " + dir.path + "/root put back as it was\n");
    EXPECT_EQ(sim_tree_image(dir.path, {"root"}), before);
}

// A stop signal ignored when the run starts, as nohup leaves SIGHUP, stays
// ignored: the run goes on to its end and saves.
TEST(SimRun, AStopSignalIgnoredAtTheStartStaysIgnored)
{
    TempDir dir;
    SimChild run(long_run({"--root", dir.path}), false, SIGHUP);
    EXPECT_EQ(run.read(64).size(), 64u) << "the tool runs";
    ::kill(run.pid, SIGHUP);
    run.rest();
    EXPECT_EQ(sim_ended(run.wait()), "exit 0");
    EXPECT_EQ(run.err(), "");
    EXPECT_TRUE(std::filesystem::exists(dir.path + "/chk.result"));
}

// A run waiting for the lock of another run ends at Ctrl-C, by it; it has
// nothing to put back, and the run that holds the lock goes on.
TEST(SimRun, ARunWaitingForTheLockEndsAtCtrlC)
{
    TempDir dir;
    ASSERT_EQ(sim_board_open(dir.path, ""), 0);
    SimChild waiting({"--root", dir.path, "--", "-v"}, true);
    const std::string line = "quorbix-sim: waiting for another run on " + dir.path + " to end\n";
    EXPECT_EQ(waiting.read(line.size()), line);
    ::kill(waiting.pid, SIGINT);
    EXPECT_EQ(waiting.rest(), "quorbix-sim: stopped by SIGINT; " + dir.path + " put back as it was\n");
    EXPECT_EQ(sim_ended(waiting.wait()), "signal SIGINT");
    EXPECT_EQ(sim_board_close(), 0);
}

void on_test_signal(int) {}

// An in-process run puts back the dispositions it found, handled, ignored
// or default, for each signal it takes over.
TEST(SimRun, TheDispositionsFoundArePutBackWhenTheRunReturns)
{
    const struct {
        int number;
        void (*handler)(int);
    } found[] = {{SIGINT, on_test_signal}, {SIGTERM, SIG_DFL}, {SIGHUP, SIG_IGN}, {SIGPIPE, SIG_DFL}};
    struct sigaction saved[std::size(found)] = {};
    for (size_t i = 0; i < std::size(found); i++) {
        struct sigaction sa {};
        sa.sa_handler = found[i].handler;
        ASSERT_EQ(::sigaction(found[i].number, &sa, &saved[i]), 0);
    }
    TempDir dir;
    EXPECT_EQ(sim_run_in_process({"--root", dir.path, "--", "-v"}).status, 2);
    EXPECT_EQ(sim_run_in_process({"--root", dir.path, "--fixture", dir.path + "/none.fix", "--", "-v"}).status, 1);
    for (size_t i = 0; i < std::size(found); i++) {
        struct sigaction now {};
        ASSERT_EQ(::sigaction(found[i].number, &saved[i], &now), 0);
        EXPECT_EQ(now.sa_handler, found[i].handler) << found[i].number;
    }
}

// The run keeps no request journal, so its memory does not grow with its
// commands; a test that reads the journal of a run asks for it.
TEST(SimRun, ARunKeepsTheJournalOnlyWhenAsked)
{
    TempDir dir;
    auto entries = [&dir](int commands) {
        std::vector<std::string> args{"--root", dir.path, "--"};
        for (int i = 0; i < commands; i++)
            args.insert(args.end(), {"-m", "disks"});
        EXPECT_EQ(sim_run_in_process(args).status, 0);
        return sim_journal().size();
    };
    entries(1);  // a fresh board, then the saved one
    const size_t one = entries(1);
    EXPECT_EQ(entries(20), one);
    quorbix_sim_keep_journal(true);
    const size_t kept = entries(1);
    EXPECT_GE(entries(20), kept + 19);
    quorbix_sim_keep_journal(false);
}

// A root's name is outside text: in every message it is escaped (a newline,
// ESC and the rest as \xHH) but neither quoted nor cut, so each message
// stays one line that names the root; "board not saved" names the file
// that failed.
TEST(SimRun, RootNamesInMessagesAreEscaped)
{
    namespace fs = std::filesystem;
    TempDir dir;
    const std::string root = dir.path + "/r\n\x1b[31m'x", shown = dir.path + "/r\\x0a\\x1b[31m\\x27x";
    const std::string beside = dir.path + "/beside";
    fs::create_directory(beside);
    dir.write("beside/file", "beside\n");
    const auto before = sim_tree_image(beside);

    std::ofstream(root) << "a file\n";
    SimRun r = sim_run_in_process({"--root", root, "--", "-v"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorbix-sim: " + shown + ": not a directory\n");
    fs::remove(root);

    ASSERT_EQ(sim_run_in_process({"--root", root, "--", "-v"}).status, 2);
    r = sim_run_in_process({"--root", root, "--board", "ZK17KESP", "--", "-v"});
    EXPECT_EQ(r.err, "quorbix-sim: the board in " + shown + " is a ZK17DORN; give --reset to start a ZK17KESP board there\n");

    // The temp file cannot be made (a directory planted there during the
    // run): it is the one named, and so is the root put back.
    auto close_planted = [&](const std::string &planted) {
        EXPECT_EQ(sim_board_open(root, ""), 0);
        fs::remove(root + planted);
        fs::create_directories(root + planted + "/x");
        testing::internal::CaptureStderr();
        EXPECT_EQ(sim_board_close(), 1);
        fs::remove_all(root + planted);
        return testing::internal::GetCapturedStderr();
    };
    EXPECT_EQ(close_planted("/.sim/board.tmp"), "quorbix-sim: board not saved: " + shown +
                                                    "/.sim/board.tmp: Is a directory; " + shown + " put back as it was\n");
    // The board cannot be replaced: it is the one named.
    EXPECT_EQ(close_planted("/.sim/board"),
              "quorbix-sim: board not saved: " + shown + "/.sim/board: Is a directory; " + shown + " put back as it was\n");
    // A saved board that does not load: its name escaped once in the line.
    std::ofstream(root + "/.sim/board") << "not a board\n";
    r = sim_run_in_process({"--root", root, "--", "-v"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.starts_with("quorbix-sim: " + shown + "/.sim/board:1: ")) << r.err;
    fs::remove(root + "/.sim/board");

    ASSERT_EQ(sim_board_open(root, ""), 0);
    std::string quoted = root;  // for the shell, in single quotes
    for (size_t at = quoted.find('\''); at != std::string::npos; at = quoted.find('\'', at + 4))
        quoted.replace(at, 1, "'\\''");
    const std::string cmd = std::string(QUORBIX_SIM_BIN) + " --root '" + quoted + "' -- -v 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[512] = {};
    EXPECT_NE(std::fgets(line, sizeof line, p), nullptr);
    EXPECT_EQ(std::string(line), "quorbix-sim: waiting for another run on " + shown + " to end\n");
    sim_board_close();
    std::string rest;
    for (size_t n; (n = std::fread(line, 1, sizeof line, p)) > 0;)
        rest.append(line, n);
    EXPECT_EQ(pclose(p), 2 << 8);
    EXPECT_EQ(rest, kVersion);
    EXPECT_EQ(sim_tree_image(beside), before);
}

// Without --root the run takes the default root, and only while it is this
// user's own directory: a link planted there, or a directory others may
// write, is refused with a line that names it and says what to do; a
// missing one is made, mode 0700. Run in a child whose "/" is a temporary
// directory, so the real default root is never touched.
TEST(SimRun, TheDefaultRootIsCheckedBeforeUse)
{
    namespace fs = std::filesystem;
    const std::string name = "/tmp/quorbix-sim-" + std::to_string(::getuid());
    const struct {
        const char *what;
        std::function<void(const std::string &path)> plant;
        int status;
        std::string err;
    } cases[] = {
        {"missing", [](auto &) {}, 2, ""},
        {"a link", [](auto &p) { fs::create_directory_symlink("/elsewhere", p); }, 1,
         "quorbix-sim: " + name + ": the default root is a link; remove it, or give --root DIR\n"},
        {"others may write it", [](auto &p) { fs::create_directory(p), ::chmod(p.c_str(), 0777); }, 1,
         "quorbix-sim: " + name + ": the default root may be written by its group or others; remove it, or give --root DIR\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        fs::create_directories(dir.path + "/tmp");
        fs::create_directories(dir.path + "/elsewhere");
        c.plant(dir.path + name);
        const auto before = sim_tree_image(dir.path + "/elsewhere");
        const std::string err = dir.path + "-err";
        const pid_t pid = fork();
        if (pid == 0) {
            alarm(20);
            const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int null = ::open("/dev/null", O_WRONLY);
            if (fd < 0 || null < 0 || ::dup2(fd, 2) < 0 || ::dup2(null, 1) < 0 || ::chroot(dir.path.c_str()) != 0 ||
                ::chdir("/") != 0)
                _exit(77);
            std::vector<std::string> args{"quorbix-sim", "--", "-v"};
            std::vector<char *> argv;
            for (std::string &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            _exit(quorbix_sim_run(static_cast<int>(args.size()), argv.data()));
        }
        int ws = 0;
        ASSERT_EQ(waitpid(pid, &ws, 0), pid);
        std::stringstream printed;
        printed << std::ifstream(err).rdbuf();
        fs::remove(err);
        if (WIFEXITED(ws) && WEXITSTATUS(ws) == 77)
            GTEST_SKIP() << "the tests cannot change their root directory (chroot needs privilege)";
        EXPECT_EQ(WIFEXITED(ws) ? WEXITSTATUS(ws) : -1, c.status);
        EXPECT_EQ(printed.str(), c.err);
        EXPECT_EQ(sim_tree_image(dir.path + "/elsewhere"), before);
        if (c.status == 2) {
            EXPECT_EQ(fs::status(dir.path + name).permissions(), fs::perms::owner_all);
        }
    }
}

} // namespace
