// Fixture files: each fact reaches the board, and a file with an error
// changes nothing and names its line.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "boardlib/dorn_logic.h"
#include "boardlib/plov_types.h"
#include "sim/fixture_file.h"
#include "sim/fpga_model.h"
#include "support/sim_fixture.h"
#include "support/sim_in_process.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;

class FixtureFileTest : public SimTest {
protected:
    bool apply(const std::string &text)
    {
        error_.clear();
        return sim_fixture_apply(text, "board.fix", error_);
    }
    // A direct-register read on a node: the result (or -errno) and the value.
    int read_reg(const std::string &node, uint64_t addr, uint64_t *value = nullptr)
    {
        int fd = host_open(node.c_str(), O_RDWR);
        if (fd < 0)
            return -errno;
        DirRegReq req{addr, 0};
        int r = host_ioctl(fd, PLOV_IOC_READ_DIR_REG, &req);
        int err = errno;
        host().close(fd);
        if (value)
            *value = req.data;
        return r < 0 ? -err : r;
    }
    std::string error_;
};

TEST_F(FixtureFileTest, EachFactReachesTheBoard)
{
    ASSERT_TRUE(apply("# a board engineer's facts\n"
                      "reg /dev/trans_pci 0x5c18 0x1234   # preset\n"
                      "reads /dev/sbuf_pci 0x10 1 0x2\n"
                      "indir /dev/trans_pci 0x2800 0x1 0x2 = 0x3 4\n"
                      "file /proc/cmdline \"memmap=1G\\x244G\\n\"\n"
                      "command \"cat /x\" 3 \"a b\\n\"\n"
                      "command \"true\" 0\n"
                      "\n"
                      "fail-open /dev/missing ENOENT\n"
                      "fail-request /dev/trans_pci 0xc004ef01 EIO 2\n"
                      "request-result /dev/sbuf_pci 0xC004EF01 5\n"))
        << error_;
    EXPECT_EQ(fpga_get_reg(kTrans, 0x5c18), 0x1234u);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x2800, {1, 2}), (std::vector<uint64_t>{3, 4}));
    EXPECT_EQ(sim_read_file("/proc/cmdline"), "memmap=1G$4G\n");

    uint64_t v = 0;
    EXPECT_EQ(read_reg(kSbuf, 0x10, &v), 5);  // the scripted read, with the positive result
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(read_reg(kSbuf, 0x10, &v), 5);
    EXPECT_EQ(v, 2u);
    EXPECT_EQ(read_reg(kTrans, 0x5c18), 0);
    EXPECT_EQ(read_reg(kTrans, 0x5c18), -EIO);  // the second call only
    EXPECT_EQ(read_reg(kTrans, 0x5c18), 0);

    FILE *p = host().popen("cat /x", "r");
    ASSERT_NE(p, nullptr);
    char line[16] = {};
    ASSERT_NE(std::fgets(line, sizeof line, p), nullptr);
    EXPECT_STREQ(line, "a b\n");
    int ws = host().pclose(p);
    EXPECT_TRUE(WIFEXITED(ws));
    EXPECT_EQ(WEXITSTATUS(ws), 3);
    EXPECT_EQ(host().system("true"), 0);

    EXPECT_EQ(host_open("/dev/missing", O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);

    ASSERT_TRUE(apply("missing /dev/sbuf_pci\n")) << error_;
    EXPECT_FALSE(sim_node_present(kSbuf));
    EXPECT_EQ(read_reg(kSbuf, 0x10), -ENOENT);
}

// Every line is checked first: the first bad line is reported and nothing
// of the file is applied.
TEST_F(FixtureFileTest, ErrorsNameTheLineAndApplyNothing)
{
    const struct {
        const char *line;
        const char *error;
    } cases[] = {
        {"regs /dev/trans_pci 1 2", "unknown fact 'regs'"},
        {"reg /dev/trans_pci 1", "usage: reg NODE ADDR VALUE"},
        {"reg /dev/trans_pci 1 2 3", "usage: reg NODE ADDR VALUE"},
        {"reg /dev/nope 1 2", "no node /dev/nope on this board"},
        {"reg dev/trans_pci 1 2", "'dev/trans_pci' is not an absolute path"},
        {"reg /dev/trans_pci 0x1g 2", "'0x1g' is not a number"},
        {"reads /dev/trans_pci 1", "usage: reads NODE ADDR VALUE..."},
        {"indir /dev/trans_pci 0x40 1 2", "usage: indir NODE BASE KEY... = WORD..."},
        {"indir /dev/trans_pci 0x40 = 1 2", "usage: indir NODE BASE KEY... = WORD..."},
        {"indir /dev/trans_pci 0x40 1 = 2 = 3", "'=' is not a number"},
        {"file /a unquoted", "'unquoted' is not a double-quoted text"},
        {"file /a/../../etc/x \"\"", "'/a/../../etc/x' leaves the root"},
        {"file /a \"open", "unterminated string"},
        {"command \"x\" 256", "an exit status is 0 to 255"},
        {"command \"\" 0", "an empty command"},
        {"fail-open /dev/x EWHAT", "'EWHAT' is not an errno name or number"},
        {"fail-open /dev/x 0", "'0' is not an errno name or number"},
        {"fail-request /dev/trans_pci 0xc004ef01 EIO 0", "the call number must be 1 or more"},
        {"request-result /dev/trans_pci 0xc004ef01 0", "a request result is 1 to 2147483647"},
        {"request-result /dev/trans_pci 0xc004ef01 0x80000000", "a request result is 1 to 2147483647"},
        {"missing /dev/nope", "no node /dev/nope on this board"},
    };
    for (const auto &c : cases) {
        const std::string text = std::string("reg /dev/trans_pci 0x77 0x1\n# comment\n") + c.line + "\n";
        EXPECT_FALSE(apply(text)) << c.line;
        EXPECT_EQ(error_, std::string("board.fix:3: ") + c.error) << c.line;
        EXPECT_EQ(fpga_get_reg(kTrans, 0x77), 0u) << c.line;
    }
    EXPECT_FALSE(sim_fixture_load(root_ + "/no-such.fix", error_));
    EXPECT_EQ(error_, root_ + "/no-such.fix: No such file or directory");
}

// A root in a directory of its own, with a file beside it; the fixture
// files go beside it too. After every case the tree beside the root is byte
// for byte as it was (snap() notes it once the fixtures are written).
struct Beside {
    TempDir dir;
    std::string root = dir.path + "/root";
    std::map<std::string, std::string> before;

    Beside() { dir.write("victim", "beside the root\n"); }
    void snap() { before = sim_tree_image(dir.path, {"root"}); }
    bool unchanged() const { return sim_tree_image(dir.path, {"root"}) == before; }
};

// Both sides of the memory's end: the four bytes of a phys dword lie below
// 2^46, and a line past it applies nothing.
TEST(FixtureFileLines, PhysDwordsLieBelowTheMemorysEnd)
{
    const struct {
        uint64_t addr;
        bool lies;
    } cases[] = {
        {0x0, true},
        {0x3ffffffffffc, true},    // the last dword
        {0x3ffffffffffd, false},   // its last byte one past
        {0x3fffffffffff, false},
        {0x400000000000, false},
    };
    for (const auto &c : cases) {
        const std::string addr = sim_doc_hex(c.addr);
        SCOPED_TRACE(addr);
        Beside b;
        b.snap();
        ASSERT_EQ(sim_board_open(b.root, ""), 0);
        std::string error;
        const bool applied = sim_fixture_apply("file /first \"1\"\nphys " + addr + " 0x11223344\n", "p.fix", error);
        EXPECT_EQ(applied, c.lies) << error;
        uint8_t bytes[4] = {};
        sim_phys_read(c.addr, bytes, sizeof bytes);
        if (c.lies) {
            EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11}));
        } else {
            EXPECT_EQ(error, "p.fix:2: the dword at '" + addr +
                                 "' does not lie below 0x400000000000, the end of physical memory");
            EXPECT_FALSE(std::filesystem::exists(b.root + "/first")) << "line 1 applied";
        }
        std::string ignored;
        sim_board_abandon(ignored);
        EXPECT_TRUE(b.unchanged()) << "the tree beside the root changed";
    }
}

// An address whose dword cannot be written at all (past 2^63, or wrapping
// past 2^64) once ended the run in an abort, leaving line 1's file behind:
// run as a child with a time limit.
TEST(FixtureFileLines, AnAbortingPhysAddressIsRefusedWithItsLine)
{
    for (const char *addr : {"0x8000000000000000", "0xfffffffffffffffc", "0xffffffffffffffff"}) {
        SCOPED_TRACE(addr);
        Beside b;
        ASSERT_EQ(run_sim_binary("--root " + b.root + " -- -v", kSimLimitSeconds).status, 2);
        const std::string fix = b.dir.write("p.fix", std::string("file /first \"1\"\nphys ") + addr + " 1\n");
        b.snap();
        const auto root = sim_tree_image(b.root);
        SimRun r = run_sim_binary("--root " + b.root + " --fixture " + fix + " -- -v", kSimLimitSeconds);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "quorbix-sim: " + fix + ":2: the dword at '" + addr +
                             "' does not lie below 0x400000000000, the end of physical memory\n");
        EXPECT_TRUE(sim_tree_image(b.root) == root) << "the tree changed";
        EXPECT_TRUE(b.unchanged()) << "the tree beside the root changed";
    }
}

// What a fixture line sets is saved with the board, so it keeps within what
// the saved board loads: the largest register address, entry, sub-board
// errno, flash word, PCI driver name and resource, DSP count, card option and
// port byte are taken and load again; one past each is refused at its line
// (a PCI function's own lines stand below its function line).
TEST(FixtureFileLines, SavedValuesLoadAgain)
{
    auto numbers = [](size_t n) {
        std::string out;
        for (size_t i = 0; i < n; i++)
            out += " " + std::to_string(i);
        return out;
    };
    const std::string fn = "0f:00.0 Device\n";
    const std::string flashWords = "flash-flags: DONE and APP are 32-bit words";
    const std::string flashStuck = "flash-stuck: a 32-bit ADDRESS and a MASK of one byte";
    const std::string driver = "a driver name is one word of printable ASCII, at most 255 bytes";
    const std::string resource = "a memory resource ends below 0x400000000000, the end of physical memory";
    const std::string dsp = "media-dsp: SUB DSP KEY=N... expected";
    const std::string subrd =
        "media-subrd: SUB present=N [lpc=ERRNO] [lpcstate=N] [PORT=STATE/WIDTH/SPEED...] expected";
    const struct {
        const char *board;
        std::string line, error;  // error empty: taken
        int at = 1;               // the line the error names
    } cases[] = {
        {"ZK17DORN", "reg /dev/trans_pci 0xfffff 0x5", ""},
        {"ZK17DORN", "reg /dev/trans_pci 0x100000 0x5", "'0x100000' is past the last register 0xfffff"},
        {"ZK17DORN", "reads /dev/trans_pci 0x100000 0x5", "'0x100000' is past the last register 0xfffff"},
        {"ZK17DORN", "indir /dev/trans_pci 0x2800" + numbers(256) + " =" + numbers(256), ""},
        {"ZK17DORN", "indir /dev/trans_pci 0x2800" + numbers(257) + " = 1", "an entry has at most 256 key words and as many words"},
        {"ZK17DORN", "indir /dev/trans_pci 0x2800 1 =" + numbers(257), "an entry has at most 256 key words and as many words"},
        {"ZK17KESP", "media-subrd 0 present=1 lpc=0x7fffffff lpcstate=0xffffffff", ""},
        {"ZK17KESP", "media-subrd 0 present=1 lpc=0x80000000",
         "media-subrd: SUB present=N [lpc=ERRNO] [lpcstate=N] [PORT=STATE/WIDTH/SPEED...] expected"},
        {"ZK17KESP", "media-subrd 0 present=1 lpcstate=0x100000000",
         "media-subrd: SUB present=N [lpc=ERRNO] [lpcstate=N] [PORT=STATE/WIDTH/SPEED...] expected"},
        {"ZK17DORN", "flash-flags 1 0xffffffff 0xffffffff", ""},
        {"ZK17DORN", "flash-flags 1 0x100000000 0", flashWords},
        {"ZK17DORN", "flash-flags 1 0 0x100000000", flashWords},
        {"ZK17DORN", "flash-stuck 0 0xffffffff 0xff", ""},
        {"ZK17DORN", "flash-stuck 0 0x100000000 0x1", flashStuck},
        {"ZK17DORN", "flash-stuck 0 0x0 0x100", flashStuck},
        {"ZK17KESP", "flash-bytes 0 0xffffffff \"a\"", ""},
        {"ZK17KESP", "flash-bytes 0 0x100000000 \"a\"", "usage: flash-bytes FLASH ADDRESS \"BYTES\""},
        {"ZK17KESP", "flash-chip 1 1 2 3 4 5 6 7 8", ""},
        {"ZK17KESP", "flash-chip 1 1 2 3 4 5 6 7 8 9", "usage: flash-chip FLASH B0..B7|enotty"},
        {"ZK17DORN", fn + "driver " + std::string(255, 'd'), ""},
        {"ZK17DORN", fn + "driver " + std::string(256, 'd'), driver, 2},
        {"ZK17DORN", fn + "driver caf\xc3\xa9", driver, 2},
        {"ZK17KESP", fn + "driver \"a b\"", driver, 2},
        {"ZK17DORN", fn + "resource 0x1000 0x3fffffffffff 0x200", ""},
        {"ZK17DORN", fn + "resource 0x1000 0x400000000000 0x200", resource, 2},
        {"ZK17KESP", fn + "resource 0x1000 0xffffffffffffffff 0x101", ""},
        {"ZK17KESP", "media-dsp 1 8 resets=0xffffffff", ""},
        {"ZK17KESP", "media-dsp 1 8 resets=0x100000000", dsp},
        {"ZK17KESP", "media-subrd 1 present=1 cpu=0xffffffff/0xffffffff/0xffffffff", ""},
        {"ZK17KESP", "media-subrd 1 present=1 fpga=1/0x100000000/1", subrd},
        {"ZK17DORN", "ruga-card 9 9 9 link-reads 0xffff cap-at 0xfdc", ""},
        {"ZK17DORN", "ruga-card 0 0 0 link-reads 0x10000", "bad ruga-card option 'link-reads'"},
        {"ZK17DORN", "ruga-card 0 0 0 cap-at 0xfe0", "bad ruga-card option 'cap-at'"},
        {"ZK17DORN", "uncore-c90-stuck 0xff", ""},
        {"ZK17DORN", "uncore-c90-stuck 0x100", "usage: uncore-c90-stuck VALUE | uncore-c90-free"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line.substr(0, 60));
        Beside b;
        ASSERT_EQ(run_sim_binary("--board " + std::string(c.board) + " --root " + b.root + " -- -v").status, 2);
        const std::string fix = b.dir.write("v.fix", c.line + "\n");
        SimRun r = run_sim_binary("--root " + b.root + " --fixture " + fix + " -- -v");
        EXPECT_EQ(r.status, c.error.empty() ? 2 : 1);
        const std::string at = fix + ":" + std::to_string(c.at) + ": ";
        EXPECT_EQ(r.err, c.error.empty() ? "" : "quorbix-sim: " + at + c.error + "\n");
        r = run_sim_binary("--root " + b.root + " -- -v");
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.err, "");
    }
}

// Lines that would change nothing are refused with their line, and the run
// leaves the root as it was: a file the board serves itself (checked as the
// line is applied, after the lines before it), a model line that makes the
// board serve a file a file line of the run wrote (in this fixture or an
// earlier one), and a model line of a model the board lacks.
TEST(FixtureFileLines, LinesThatWouldChangeNothingAreRefused)
{
    const std::string kFirst = "file /etc/first \"1\"\n";
    const struct {
        const char *board;
        std::string earlier;   // an earlier fixture file, when not empty
        std::string lines;     // after kFirst
        std::string error;     // "" when accepted; "@" stands for the line that wrote the file
    } cases[] = {
        {"ZK17DORN", "", "file /newdir/ \"X\"\n", "2: /newdir/ is a directory (a path ending in '/' or '/.')"},
        {"ZK17DORN", "", "file /newdir/. \"X\"\n", "2: /newdir/. is a directory (a path ending in '/' or '/.')"},
        {"ZK17DORN", "", "file /etc/first/ \"X\"\n", "2: /etc/first/ is a directory (a path ending in '/' or '/.')"},
        {"ZK17DORN", "", "file /proc/bus/pci/devices \"x\"\n",
         "2: /proc/bus/pci/devices is served by the board itself (a file there would never be read)"},
        {"ZK17DORN", "", "file /dev/trans_pci \"x\"\n",
         "2: /dev/trans_pci is served by the board itself (a file there would never be read)"},
        {"ZK17DORN", "", "disk-add sdz sg9 sas\nfile /dev/sdz1 \"x\"\n",
         "3: /dev/sdz1 is served by the board itself (a file there would never be read)"},
        {"ZK17DORN", "", "file /dev/sg9 \"x\"\ndisk-add sdz sg9 sas\n",
         "3: /dev/sg9, written by @:2, is now served by the board itself (the file would never be read)"},
        {"ZK17DORN", "file /dev/sg9 \"x\"\n", "disk-add sdz sg9 sas\n",
         "2: /dev/sg9, written by @:1, is now served by the board itself (the file would never be read)"},
        {"ZK17DORN", "", "missing /dev/trans_pci\nfile /dev/trans_pci \"x\"\n", ""},
        {"ZK17DORN", "", "uncore-c90-stuck 5\n", ""},
        {"ZK17TRVA", "", "uncore-c90-stuck 5\n", "2: no uncore model on this board for 'uncore-c90-stuck'"},
        {"ZK17KESP", "", "uncore-c90-stuck 5\n", "2: no uncore model on this board for 'uncore-c90-stuck'"},
        {"ZK17WENA", "", "uncore-c90-free\n", "2: no uncore model on this board for 'uncore-c90-free'"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.board) + " " + c.lines);
        Beside b;
        ASSERT_EQ(sim_run_in_process({"--root", b.root, "--board", c.board, "--", "-v"}).status, 2);
        const std::string earlier = b.dir.write("e.fix", c.earlier);
        const std::string fix = b.dir.write("f.fix", kFirst + c.lines);
        b.snap();
        const auto root = sim_tree_image(b.root);
        SimRun r = sim_run_in_process({"--root", b.root, "--fixture", earlier, "--fixture", fix, "--", "-v"});
        EXPECT_TRUE(b.unchanged()) << "the tree beside the root changed";
        if (c.error.empty()) {
            EXPECT_EQ(r.status, 2) << r.err;
            EXPECT_EQ(r.err, "");
            continue;
        }
        std::string error = c.error;
        if (size_t at = error.find('@'); at != std::string::npos)
            error.replace(at, 1, c.earlier.empty() ? fix : earlier);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "quorbix-sim: " + fix + ":" + error + "\n");
        EXPECT_TRUE(sim_tree_image(b.root) == root) << "the tree changed";
    }
}

// A fixture file is at most 64 MiB. A larger regular file is refused by its
// size, unread (a sparse file of 1 TiB was read whole), and a device is read
// one byte past the bound and no further (/dev/zero was read until memory
// ran out): one line, status 1, DIR as it was. A file of exactly 64 MiB is
// applied. Each run is a child with a time limit.
TEST(FixtureFileLines, AFileOver64MiBIsRefusedInOneLine)
{
    namespace fs = std::filesystem;
    const std::string refused = ": larger than 64 MiB, not a fixture file\n";
    const struct {
        const char *name;   // beside the root; null: /dev/zero
        uint64_t size;      // a comment line, then a hole up to this size
        bool applied;
    } cases[] = {
        {"tib.fix", uint64_t{1} << 40, false},
        {"over.fix", kSimFixtureMaxBytes + 1, false},
        {"at.fix", kSimFixtureMaxBytes, true},
        {nullptr, 0, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name ? c.name : "/dev/zero");
        Beside b;
        ASSERT_EQ(run_sim_binary("--root " + b.root + " -- -v", kSimLimitSeconds).status, 2);
        const TempDir files;   // not beside the root: the tree's image would read them
        std::string fix = "/dev/zero";
        if (c.name != nullptr) {
            fix = files.write(c.name, "# a comment, then a hole\n#");
            fs::resize_file(fix, c.size);
        }
        b.snap();
        const auto root = sim_tree_image(b.root, {".sim"});
        const SimRun r = run_sim_binary("--root " + b.root + " --fixture " + fix + " -- -v", 10);
        EXPECT_EQ(r.status, c.applied ? 2 : 1);
        EXPECT_EQ(r.err, c.applied ? "" : "quorbix-sim: " + fix + refused);
        EXPECT_TRUE(b.unchanged()) << "the tree beside the root changed";
        EXPECT_TRUE(sim_tree_image(b.root, {".sim"}) == root) << "the tree changed";
    }
}

// A pipe is read up to 64 MiB and one byte more: 64 MiB of comment lines
// are applied; with more behind them it is refused, and the writer meets a
// closed pipe before it has written them all.
TEST_F(FixtureFileTest, APipeIsReadUpTo64MiB)
{
    const std::string line = "#" + std::string((size_t{1} << 20) - 2, ' ') + "\n";
    const struct {
        size_t size;
        bool applied;
    } cases[] = {{kSimFixtureMaxBytes, true}, {kSimFixtureMaxBytes + 1, false}, {kSimFixtureMaxBytes * 2, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t writer = fork();
        if (writer == 0) {
            ::close(fds[0]);
            ::signal(SIGPIPE, SIG_IGN);
            for (size_t done = 0; done < c.size;) {
                const size_t n = std::min(line.size(), c.size - done);
                const ssize_t wrote = ::write(fds[1], n < line.size() ? "\n" : line.data(), n < line.size() ? 1 : n);
                if (wrote <= 0)
                    _exit(errno == EPIPE ? 3 : 4);
                done += static_cast<size_t>(wrote);
            }
            _exit(0);
        }
        ASSERT_GT(writer, 0);
        ::close(fds[1]);
        const std::string path = "/dev/fd/" + std::to_string(fds[0]);
        error_.clear();
        EXPECT_EQ(sim_fixture_load(path, error_), c.applied);
        EXPECT_EQ(error_, c.applied ? "" : path + ": larger than 64 MiB, not a fixture file");
        ::close(fds[0]);
        int ws = 0;
        ASSERT_EQ(waitpid(writer, &ws, 0), writer);
        ASSERT_TRUE(WIFEXITED(ws));
        EXPECT_EQ(WEXITSTATUS(ws), c.size > kSimFixtureMaxBytes + 1 ? 3 : 0);
    }
}

// A --fixture name is escaped wherever an error names it: the error stays
// one line, with no control byte in it.
TEST(FixtureFileLines, AFixtureNameIsEscapedInItsOneErrorLine)
{
    const std::string name = "a\nb\x1b" "c'.fix";
    const std::string escaped = "a\\x0ab\\x1bc\\x27.fix";
    const struct {
        const char *what;
        const char *text;   // null: no such file; "/": a directory
        std::string error;
    } cases[] = {
        {"no such file", nullptr, ": No such file or directory"},
        {"a directory", "/", ": a directory, not a fixture file"},
        {"a bad line", "# one\nbogus 1\n", ":2: unknown fact 'bogus'"},
        {"a bad model line", "mpt-phy 1 0 zz 0 0 0 0\n", ":1: "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Beside b;
        ASSERT_EQ(sim_run_in_process({"--root", b.root, "--", "-v"}).status, 2);
        const std::string fix = b.dir.path + "/" + name;
        if (c.text != nullptr && std::string(c.text) == "/")
            std::filesystem::create_directory(fix);
        else if (c.text != nullptr)
            b.dir.write(name, c.text);
        b.snap();
        SimRun r = sim_run_in_process({"--root", b.root, "--fixture", fix, "--", "-v"});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.err.starts_with("quorbix-sim: " + b.dir.path + "/" + escaped + c.error)) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
        EXPECT_TRUE(b.unchanged()) << "the tree beside the root changed";
    }
}

} // namespace
