// Helpers of the tests that go through the simulated FPGA driver: records
// as the journal saw them, and the library's log lines.
#ifndef QUORBIX_TESTS_SUPPORT_FPGA_TEST_UTIL_H
#define QUORBIX_TESTS_SUPPORT_FPGA_TEST_UTIL_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sim/sim_host.h"

using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint64_t>;

template <typename T> Bytes bytes_of(const T &v)
{
    const auto *p = reinterpret_cast<const uint8_t *>(&v);
    return Bytes(p, p + sizeof v);
}

// The record of journal entry `i` as T; its size must be T's.
template <typename T> T journal_record(const SimJournalEntry &e)
{
    T rec{};
    EXPECT_EQ(e.record.size(), sizeof rec);
    std::memcpy(&rec, e.record.data(), std::min(e.record.size(), sizeof rec));
    return rec;
}
template <typename T> T journal_record(size_t i = 0) { return journal_record<T>(sim_journal().at(i)); }

// The captured log lines without their "[PLOV_LOG] file:line " head. Every
// line must be at `level` and, when `file` is given, come from that file.
inline std::vector<std::string> plov_lines(const char *file = nullptr, int level = 4)
{
    std::vector<std::string> out;
    const std::string head = std::string("[PLOV_LOG] ") + (file ? file : "") + (file ? ":" : "");
    for (const SimLogLine &l : sim_syslog()) {
        EXPECT_EQ(l.text.rfind(head, 0), 0u) << l.text;
        EXPECT_EQ(l.priority, level) << l.text;
        size_t text = l.text.find(' ', 11);
        out.push_back(text == std::string::npos ? l.text : l.text.substr(text + 1));
    }
    return out;
}

#endif
