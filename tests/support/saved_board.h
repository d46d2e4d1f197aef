// Saved boards edited entry by entry, for the device models' loaders: a
// fresh board of a model is saved once, one entry's value is changed, and
// the board is loaded again. A refusal names the board file and the
// entry's line and ends with the reset hint.
#ifndef QUORBIX_TESTS_SUPPORT_SAVED_BOARD_H
#define QUORBIX_TESTS_SUPPORT_SAVED_BOARD_H

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "sim/fixture_file.h"
#include "sim/sim_board.h"
#include "support/sim_binary.h"

inline constexpr const char *kSavedBoardHint = " (give --reset to start a fresh board)";

// One entry of a saved board: its section, key and value as written.
struct SavedEntry {
    std::string section;
    std::string key;
    std::string value;
};

struct SavedBoard {
    TempDir dir;
    std::string root = dir.path + "/root";
    std::string file = root + kSimBoardDocPath;
    std::string text;   // the fresh board as saved

    // A fresh board of `model`, with the facts of `fixture` when given.
    explicit SavedBoard(const std::string &model, const std::string &fixture = "")
    {
        std::string error;
        EXPECT_EQ(sim_board_open(SimBoardStart{root, model, true}, error), 0) << error;
        EXPECT_TRUE(fixture.empty() || sim_fixture_apply(fixture, "saved-board.fix", error)) << error;
        EXPECT_EQ(sim_board_close(), 0);
        std::stringstream ss;
        ss << std::ifstream(file, std::ios::binary).rdbuf();
        text = ss.str();
    }

    // The board with `e` set: its line replaced, or added at the end of its
    // section when the key is not there; `line` gets its line.
    std::string with(const SavedEntry &e, int &line) const
    {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);)
            lines.push_back(l);
        size_t head = 0;
        while (head < lines.size() && lines[head] != "[" + e.section + "]")
            head++;
        size_t at = head + 1;
        while (at < lines.size() && !lines[at].starts_with("[") && !lines[at].starts_with(e.key + " ="))
            at++;
        const std::string entry = e.key + " = " + e.value;
        line = 0;
        if (head == lines.size())
            return text;
        if (at < lines.size() && lines[at].starts_with(e.key + " ="))
            lines[at] = entry;
        else
            lines.insert(lines.begin() + static_cast<long>(at), entry);
        line = static_cast<int>(at) + 1;
        std::string out;
        for (const std::string &l : lines)
            out += l + "\n";
        return out;
    }

    // Loads `board` as the saved board: "" when it loads (the run's board
    // is then dropped unsaved), else the refusal.
    std::string load(const std::string &board) const
    {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << board;
        std::string error;
        if (sim_board_open(SimBoardStart{root, "", false}, error) != 0)
            return error;
        std::string undo;
        EXPECT_EQ(sim_board_abandon(undo), 0) << undo;
        return "";
    }

    // `e` set, loaded: refused at its line with `message` ("" for loads).
    void expect(const SavedEntry &e, const std::string &message) const
    {
        SCOPED_TRACE("[" + e.section + "] " + e.key + " = " + e.value.substr(0, 80));
        int line = 0;
        const std::string board = with(e, line);
        ASSERT_GT(line, 0);
        const std::string refusal = file + ":" + std::to_string(line) + ": " + message + kSavedBoardHint;
        EXPECT_EQ(load(board), message.empty() ? "" : refusal);
    }
};

// A quoted string of `n` copies of byte `c`, as the board writes bytes.
inline std::string saved_bytes(size_t n, char c = 'A') { return "\"" + std::string(n, c) + "\""; }

#endif
