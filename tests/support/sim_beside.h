// Test base for lines that name files or devices: a board in DIR/root, with
// a file and an empty directory at the root's top and the same beside the
// root in DIR. A refused line leaves the root's tree as it was; after every
// line, and at the end of every test, the tree beside the root is byte for
// byte as it was.
#ifndef QUORBIX_TESTS_SUPPORT_SIM_BESIDE_H
#define QUORBIX_TESTS_SUPPORT_SIM_BESIDE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "sim/fixture_file.h"
#include "sim/sim_board.h"
#include "support/sim_binary.h"
#include "support/sim_in_process.h"

// Words that are not device names: paths up to the file and the directory
// at the root's top, a NUL byte, one character over the 32 allowed (32 are
// accepted: sim_name_of(32)), "." and "..", and bytes outside the set.
inline std::string sim_name_of(size_t length) { return "sd" + std::string(length - 2, 'q'); }
inline const std::string kSimBadNames[] = {
    "../../notes.txt", "../../emptydir", "../notes.txt", std::string("sd\0x", 4), sim_name_of(33), sim_name_of(5000),
    ".", "..", "sd/x", "sd\x1bx", "sd\xc3\xa9", "sd*",
};

// PCI addresses on both sides of each bound of "DDDD:BB:DD.F".
struct SimPciCase {
    const char *address;
    bool ok;
};
inline constexpr SimPciCase kSimPciCases[] = {
    {"0000:05:1f.0", true},   {"0000:05:20.0", false},  // device
    {"0000:05:00.7", true},   {"0000:05:00.8", false},  // function
    {"ffff:ff:1f.7", true},   {"00a1:0B:1E.3", true},   // hexadecimal, either case
    {"000:05:00.0", false},   {"00000:05:00.0", false}, {"0000:5:00.0", false},  {"0000:005:00.0", false},
    {"0000:05:0.0", false},   {"0000:05:000.0", false}, {"0000:05:00.", false},  {"0000:05:00.00", false},
    {"0000:0g:00.0", false},  {"0000-05:00.0", false},  {"0000:05:00:0", false}, {"+000:05:00.0", false},
    {"0000:05:00.0/../../x", false}, {"", false},
};

class SimBesideTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        for (const std::string &top : {root_, dir_.path}) {
            fs::create_directories(top + "/emptydir");
            std::ofstream(top + "/notes.txt", std::ios::binary) << kNotes;
        }
        beside_ = sim_tree_image(dir_.path, {"root"});
        ASSERT_EQ(sim_board_open(root_, board()), 0);
    }

    void TearDown() override
    {
        std::string ignored;
        sim_board_abandon(ignored);
        EXPECT_EQ(sim_tree_image(dir_.path, {"root"}), beside_);
    }

    virtual std::string board() const { return ""; }

    // The fixture text applied as file "f": "" when it applied, else its error.
    std::string apply(const std::string &text)
    {
        std::string error;
        return sim_fixture_apply(text, "f", error) ? "" : error;
    }

    // `line` refused with "f:1: " and `message` at the start of the error,
    // the root's tree unchanged by it and the files at its top intact.
    void expect_refused(const std::string &line, const std::string &message)
    {
        SCOPED_TRACE(line);
        const auto before = sim_tree_image(root_, {".sim"});
        const std::string error = apply(line + "\n");
        EXPECT_TRUE(error.starts_with("f:1: " + message)) << error;
        EXPECT_EQ(sim_tree_image(root_, {".sim"}), before);
        expect_intact();
    }

    void expect_applied(const std::string &line)
    {
        EXPECT_EQ(apply(line + "\n"), "") << line;
        expect_intact();
    }

    void expect_intact()
    {
        namespace fs = std::filesystem;
        std::stringstream notes;
        notes << std::ifstream(root_ + "/notes.txt", std::ios::binary).rdbuf();
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(root_ + "/notes.txt")));
        EXPECT_EQ(notes.str(), kNotes);
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(root_ + "/emptydir")));
        EXPECT_EQ(sim_tree_image(dir_.path, {"root"}), beside_);
    }

    // The board saved with `fixture`, its saved text then changed from `from`
    // to `to`: the error of opening it again ("" when it opened), the root's
    // files at its top intact either way.
    std::string reopen_changed(const std::string &fixture, const std::string &from, const std::string &to)
    {
        EXPECT_EQ(apply(fixture), "");
        EXPECT_EQ(sim_board_close(), 0);
        const std::string path = root_ + "/.sim/board";
        std::stringstream ss;
        ss << std::ifstream(path, std::ios::binary).rdbuf();
        std::string text = ss.str();
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        std::string error, ignored;
        if (sim_board_open(SimBoardStart{root_, "", false}, error) != 0) {
            EXPECT_EQ(sim_board_open(SimBoardStart{root_, "", true}, ignored), 0) << ignored;  // the test goes on
        }
        expect_intact();
        return error;
    }

    static constexpr const char *kNotes = "notes kept at the top\n";
    TempDir dir_;
    std::string root_ = dir_.path + "/root";
    std::map<std::string, std::string> beside_;
};

#endif
