// The DORN port-property mapping and the command-line reader.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "boardlib/board_util.h"
#include "support/sim_fixture.h"

namespace {

TEST(PortPro, EveryMappedFormAndTheRest)
{
    struct Case {
        uint32_t loc, type, id;
        FpgaId fpga;
        int port;   // -1: no mapping
    };
    const Case cases[] = {
        {0, 0, 3, 0, 3},   {0, 2, 1, 1, 1},   {0, 3, 1, 0, 3},     {0, 3, 1, 1, 3},   {0, 5, 1, 0, 9},
        {0, 5, 1, 1, 5},   {0, 5, 1, 7, 5},   {1, 0, 2, 0, 10},    {1, 0, 2, 1, 10},  {1, 3, 0, 0, 6},
        {0, 1, 0, 0, -1},  {0, 4, 0, 0, -1},  {1, 2, 0, 0, -1},    {1, 5, 0, 0, -1},  {2, 0, 0, 0, -1},
        // The sum wraps at 256; the id is 32 bits and only its low byte counts.
        {0, 3, 255, 0, 1}, {1, 0, 0x1F8, 0, 0}, {0, 0, 0x102, 0, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.loc << "/" << c.type << "/" << c.id << " fpga " << int(c.fpga));
        uint8_t port = 0xEE;
        EXPECT_EQ(BoardPortProToPort(c.fpga, PortPro{c.loc, c.type, c.id}, &port), c.port >= 0);
        EXPECT_EQ(port, c.port >= 0 ? c.port : 0xEE);
    }
}

// A command line delivered `chunk` bytes per read.
struct Chunked {
    static inline std::string text;
    static inline size_t chunk = 7;
    static ssize_t read(SimOpen &open, void *buf, size_t count)
    {
        size_t pos = static_cast<size_t>(open.pos);
        size_t n = std::min({count, chunk, text.size() - std::min(pos, text.size())});
        std::memcpy(buf, text.data() + pos, n);
        open.pos += static_cast<off_t>(n);
        return static_cast<ssize_t>(n);
    }
};
const SimModel kChunkedModel{"chunked cmdline", nullptr, 0, Chunked::read, nullptr, nullptr};

class CmdlineTest : public SimTest {};

TEST_F(CmdlineTest, ReadsTheFirstLineWholeOrRefusesIt)
{
    const std::string longLine = "BOOT_IMAGE=/vmlinuz " + std::string(600, 'a') + " memmap=4G$8G\n";
    struct Case {
        std::string file;
        size_t size;
        PlovStatus ret;
        std::string line;
    };
    const Case cases[] = {
        {"ro quiet memmap=1G$4G\n", 64, 0, "ro quiet memmap=1G$4G\n"},
        {"one\ntwo\n", 64, 0, "one\n"},
        {"no newline", 64, 0, "no newline"},
        {"", 64, 0, ""},
        {longLine, BOARD_CMDLINE_MAX, 0, longLine},   // beyond 511 characters
        {"0123456789\n", 11, -1218, ""},             // the newline has no room for the terminator
        {"0123456789\n", 12, 0, "0123456789\n"},
        {"0123456789", 10, -1218, ""},
        {std::string(5000, 'x'), BOARD_CMDLINE_MAX, -1218, ""},
    };
    for (bool chunked : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(testing::Message() << "chunked " << chunked << " size " << c.size << " " << c.file.substr(0, 20));
            if (chunked) {
                Chunked::text = c.file;
                sim_register_node(BOARD_CMDLINE_PATH, &kChunkedModel, nullptr);
            } else {
                sim_remove_node(BOARD_CMDLINE_PATH);
                sim_write_file(BOARD_CMDLINE_PATH, c.file);
            }
            std::string line(c.size, 'z');
            EXPECT_EQ(BoardReadCmdline(line.data(), c.size), c.ret);
            EXPECT_EQ(std::string(line.c_str()), c.line);
        }
    }
    sim_remove_node(BOARD_CMDLINE_PATH);
}

TEST_F(CmdlineTest, Failures)
{
    char line[16];
    EXPECT_EQ(BoardReadCmdline(nullptr, 16), -1201);
    EXPECT_EQ(BoardReadCmdline(line, 0), -1201);
    std::remove(sim_path(BOARD_CMDLINE_PATH).c_str());       // a booted board has one
    EXPECT_EQ(BoardReadCmdline(line, sizeof line), -1216);   // no file
    sim_write_file(BOARD_CMDLINE_PATH, "x\n");
    sim_fail_open(BOARD_CMDLINE_PATH, EACCES);
    EXPECT_EQ(BoardReadCmdline(line, sizeof line), -1216);
}

}  // namespace
