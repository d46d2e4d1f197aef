// Fixture files: each fact reaches the board, and a file with an error
// changes nothing and names its line.
#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>

#include "boardlib/dorn_logic.h"
#include "boardlib/plov_types.h"
#include "sim/fixture_file.h"
#include "sim/fpga_model.h"
#include "support/sim_fixture.h"

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

} // namespace
