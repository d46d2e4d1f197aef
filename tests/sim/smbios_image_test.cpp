// SMBIOS tables on the simulated board: the dump form in both directions,
// a dump loaded by a fixture line and kept with the saved board, and the
// sysfs resource text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "bases/pci/smbios.h"
#include "sim/fixture_file.h"
#include "sim/pci_sysfs.h"
#include "sim/smbios_image.h"
#include "support/sim_fixture.h"
#include "support/sim_in_process.h"

namespace {

class SmbiosImageTest : public SimTest {
protected:
    std::string product()
    {
        char buf[32] = {};
        int ret = smbios_get_board_info(1, buf, sizeof buf);
        return ret == 0 ? buf : "error " + std::to_string(ret);
    }
    // The dump kept in the saved board.
    std::vector<uint8_t> saved_dump()
    {
        SimDoc saved;
        std::vector<uint8_t> dump;
        EXPECT_EQ(sim_doc_read(root_ + "/.sim/board", "board", saved), SimDocRead::Ok) << saved.error;
        const SimDocSection *section = saved.find("smbios");
        EXPECT_TRUE(section != nullptr && saved.get_bytes(*section, "dump", dump));
        return dump;
    }
    std::string write_dump(const std::vector<uint8_t> &bytes)
    {
        std::string file = root_ + "/board.dump";
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        return file;
    }
};

TEST_F(SmbiosImageTest, DumpLayout)
{
    std::vector<uint8_t> d = smbios_dump_bytes({smbios_baseboard("M", "P", "S", "L"), smbios_end(1)});
    ASSERT_GE(d.size(), 0x20u);
    EXPECT_EQ(std::string(d.begin(), d.begin() + 4), "_SM_");
    EXPECT_EQ(smbios_checksum(d.data(), 0x1F), 0);
    EXPECT_EQ(smbios_checksum(d.data() + 0x10, 0x0F), 0);
    EXPECT_EQ(d[0x18] | d[0x19] << 8, 0x20);
    EXPECT_EQ(d[0x16] | d[0x17] << 8, static_cast<int>(d.size() - 0x20));
    EXPECT_EQ(d[0x20], 2);   // the first structure at 0x20
}

TEST_F(SmbiosImageTest, FixtureDumpIsKeptWithTheBoard)
{
    EXPECT_EQ(product(), "ZK17DORN");
    std::string file = write_dump(smbios_dump_bytes({smbios_baseboard("M", "X9SRL", "S", "L"), smbios_end(1)}));
    std::string error;
    ASSERT_TRUE(sim_fixture_apply("smbios-dump " + file + "\n", "test", error)) << error;
    EXPECT_EQ(product(), "X9SRL");
    sim_board_close();
    ASSERT_EQ(sim_board_open(root_, "ZK17DORN"), 0);
    EXPECT_EQ(product(), "X9SRL");
    EXPECT_EQ(saved_dump(), smbios_dump_bytes({smbios_baseboard("M", "X9SRL", "S", "L"), smbios_end(1)}));

    std::string bad = write_dump({'n', 'o', 'p', 'e'});
    EXPECT_FALSE(sim_fixture_apply("smbios-dump " + bad + "\n", "test", error));
    EXPECT_NE(error.find("no SMBIOS 2.x entry point"), std::string::npos) << error;
    EXPECT_FALSE(sim_fixture_apply("smbios-dump\n", "test", error));
}

// Only the entry point and the table it points to are read: a table that
// ends where the file ends is loaded wherever it lies, and kept in the dump
// form; one that runs a byte past the end is refused, and so is a file too
// short for the entry point.
TEST_F(SmbiosImageTest, OnlyTheEntryPointAndItsTableAreRead)
{
    const std::vector<SmbiosStructure> structures = {smbios_baseboard("M", "FAR", "S", "L"), smbios_end(1)};
    const std::vector<uint8_t> table = smbios_build_table(structures);
    const uint16_t length = static_cast<uint16_t>(table.size());
    for (uint16_t tableLength : {length, static_cast<uint16_t>(length + 1)}) {
        SCOPED_TRACE(tableLength);
        SmbiosLayout layout;
        layout.tableAddress = 0x1000;
        layout.tableLength = tableLength;
        std::vector<uint8_t> bytes = smbios_build_entry(layout, 0, 2);
        bytes.resize(0x1000, 0xAA);
        bytes.insert(bytes.end(), table.begin(), table.end());
        std::string error;
        const bool applied = sim_fixture_apply("smbios-dump " + write_dump(bytes) + "\n", "test", error);
        EXPECT_EQ(applied, tableLength == length);
        if (!applied) {
            EXPECT_TRUE(error.ends_with(": no SMBIOS 2.x entry point at its start")) << error;
            continue;
        }
        EXPECT_EQ(product(), "FAR");
        sim_board_close();
        ASSERT_EQ(sim_board_open(root_, ""), 0);
        EXPECT_EQ(product(), "FAR");
        std::vector<uint8_t> want(bytes.begin(), bytes.begin() + 0x20);
        want[0x18] = 0x20;
        want[0x19] = 0;
        std::fill(want.begin() + 0x1F, want.end(), 0);
        want.insert(want.end(), table.begin(), table.end());
        EXPECT_EQ(saved_dump(), want);
    }
    std::vector<uint8_t> shortEntry = smbios_dump_bytes(structures);
    shortEntry.resize(30);
    std::string error;
    EXPECT_FALSE(sim_fixture_apply("smbios-dump " + write_dump(shortEntry) + "\n", "test", error));
    EXPECT_TRUE(error.ends_with(": no SMBIOS 2.x entry point at its start")) << error;
}

TEST_F(SmbiosImageTest, ResourceText)
{
    PciFunction fn;
    fn.resources = {{0xD0000000, 0xD0000FFF, 0x40200}};
    std::string text = pci_sysfs_resource_text(fn);
    EXPECT_EQ(text.substr(0, 57), "0x00000000d0000000 0x00000000d0000fff 0x0000000000040200\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7);
    EXPECT_NE(text.find("0x0000000000000000 0x0000000000000000 0x0000000000000000\n"), std::string::npos);
}

// A dump named by a fixture line is a file of the machine, beside the
// root. What is not a regular file is refused by name, never opened for
// long: a FIFO once held the run (and the board's lock) for good, so each
// case runs as a child with a time limit. After each, the root and the tree
// beside it are byte for byte as they were.
TEST(SmbiosDumpFile, OnlyARegularFileIsRead)
{
    const struct {
        const char *what;
        void (*make)(const std::string &path);
        std::string error;   // after "FIX:1: PATH: "
    } cases[] = {
        {"a FIFO", [](const std::string &p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, "a FIFO, not a regular file"},
        {"a socket",
         [](const std::string &p) {
             const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
             ASSERT_GE(fd, 0);
             sockaddr_un addr{};
             addr.sun_family = AF_UNIX;
             ASSERT_LT(p.size(), sizeof addr.sun_path);
             p.copy(addr.sun_path, p.size());
             EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr), 0);
             close(fd);
         },
         "a socket, not a regular file"},
        {"a directory", [](const std::string &p) { std::filesystem::create_directory(p); },
         "a directory, not a regular file"},
        {"a link to a device", [](const std::string &p) { std::filesystem::create_symlink("/dev/null", p); },
         "a character device, not a regular file"},
        {"missing", [](const std::string &) {}, "No such file or directory"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string root = dir.path + "/root", dump = dir.path + "/dump";
        ASSERT_EQ(run_sim_binary("--root " + root + " -- -v", kSimLimitSeconds).status, 2);
        c.make(dump);
        const std::string fix = dir.write("d.fix", "smbios-dump " + dump + "\n");
        const auto beside = sim_tree_image(dir.path, {"root"});
        const auto before = sim_tree_image(root);
        SimRun r = run_sim_binary("--root " + root + " --fixture " + fix + " -- -v", kSimLimitSeconds);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "quorbix-sim: " + fix + ":1: " + dump + ": " + c.error + "\n");
        EXPECT_TRUE(sim_tree_image(root) == before) << "the tree changed";
        EXPECT_TRUE(sim_tree_image(dir.path, {"root"}) == beside) << "the tree changed";
    }
}

// A dump whose table lies far into a large file, holes around it, costs
// what its table does: the saved board keeps the entry point and the table
// in the dump form (the whole file was kept, escaped, four times its size,
// and every later run read it), and the next run places the table. The run
// is a child with a time limit.
TEST(SmbiosDumpFile, ALargeFileKeepsOnlyItsTable)
{
    namespace fs = std::filesystem;
    const std::vector<SmbiosStructure> structures = {smbios_baseboard("M", "LARGE", "S", "L"), smbios_end(1)};
    const std::vector<uint8_t> table = smbios_build_table(structures);
    SmbiosLayout layout;
    layout.tableAddress = 96u << 20;
    const std::vector<uint8_t> entry =
        smbios_build_entry(layout, static_cast<uint16_t>(table.size()), static_cast<uint16_t>(structures.size()));
    TempDir dir;
    const std::string root = dir.path + "/root", dump = dir.path + "/dump";
    {
        std::ofstream out(dump, std::ios::binary);
        out.write(reinterpret_cast<const char *>(entry.data()), static_cast<std::streamsize>(entry.size()));
        out.seekp(layout.tableAddress);
        out.write(reinterpret_cast<const char *>(table.data()), static_cast<std::streamsize>(table.size()));
    }
    fs::resize_file(dump, 128u << 20);
    const std::string fix = dir.write("d.fix", "smbios-dump " + dump + "\n");
    const SimRun r = run_sim_binary("--root " + root + " --fixture " + fix + " -- -v", 10);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "");
    SimDoc saved;
    std::vector<uint8_t> kept;
    ASSERT_EQ(sim_doc_read(root + "/.sim/board", "board", saved), SimDocRead::Ok) << saved.error;
    ASSERT_NE(saved.find("smbios"), nullptr);
    EXPECT_TRUE(saved.get_bytes(*saved.find("smbios"), "dump", kept));
    ASSERT_EQ(kept.size(), 0x20 + table.size());
    EXPECT_EQ(std::vector<uint8_t>(kept.begin() + 0x20, kept.end()), table);
    ASSERT_EQ(sim_board_open(root, ""), 0);
    char product[32] = {};
    EXPECT_EQ(smbios_get_board_info(1, product, sizeof product), 0);
    EXPECT_STREQ(product, "LARGE");
    EXPECT_EQ(sim_board_close(), 0);
}

// The dump's name is escaped in the error, which stays one line.
TEST(SmbiosDumpFile, ItsNameIsEscaped)
{
    const struct {
        const char *name;
        const char *escaped;
        const char *bytes;   // null: no such file
        const char *error;
    } cases[] = {
        {"d\x1b'ump", "d\\x1b\\x27ump", "nope", "no SMBIOS 2.x entry point at its start"},
        {"d\x01ump\\\xc3\xa9", "d\\x01ump\\\\\\xc3\\xa9", nullptr, "No such file or directory"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.escaped);
        TempDir dir;
        const std::string root = dir.path + "/root";
        ASSERT_EQ(sim_run_in_process({"--root", root, "--", "-v"}).status, 2);
        if (c.bytes != nullptr)
            dir.write(c.name, c.bytes);
        const std::string fix = dir.write("d.fix", "smbios-dump " + dir.path + "/" + c.name + "\n");
        const auto beside = sim_tree_image(dir.path, {"root"});
        const auto before = sim_tree_image(root);
        SimRun r = sim_run_in_process({"--root", root, "--fixture", fix, "--", "-v"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "quorbix-sim: " + fix + ":1: " + dir.path + "/" + c.escaped + ": " + c.error + "\n");
        EXPECT_TRUE(sim_tree_image(root) == before) << "the tree changed";
        EXPECT_TRUE(sim_tree_image(dir.path, {"root"}) == beside) << "the tree changed";
    }
}

} // namespace
