// Helpers of the tests that go through the simulated SAS controller.
#ifndef QUORBIX_TESTS_SUPPORT_MPT_TEST_UTIL_H
#define QUORBIX_TESTS_SUPPORT_MPT_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sim/mpt_model.h"
#include "sim/sim_host.h"

inline constexpr unsigned long kMptCommand = 0xC0484C14UL;
inline constexpr unsigned long kMptCommand1 = 0xC0486D14UL;
inline constexpr unsigned long kMptProbe = 0xC0204C15UL;
inline constexpr unsigned long kMptInfo = 0xC05C4C11UL;
inline constexpr unsigned long kMptMap = 0xC0184C1FUL;

inline void mpt_line(const std::string &line)
{
    std::string err;
    ASSERT_TRUE(mpt_fixture_line(line, err)) << line << ": " << err;
}

template <typename T> T at(const std::vector<uint8_t> &b, size_t offset)
{
    T v{};
    EXPECT_LE(offset + sizeof v, b.size());
    if (offset + sizeof v <= b.size())
        std::memcpy(&v, b.data() + offset, sizeof v);
    return v;
}

// The command requests of the journal: record head and frame bytes.
struct SeenCommand {
    unsigned long request;
    std::vector<uint8_t> head;
    std::vector<uint8_t> frame;
};

inline std::vector<SeenCommand> mpt_commands()
{
    std::vector<SeenCommand> out;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request))
        if (e.request == kMptCommand || e.request == kMptCommand1)
            out.push_back({e.request, e.record, std::vector<uint8_t>(e.extra.begin(), e.extra.end())});
    return out;
}

inline size_t journal_count(unsigned long request) { return sim_journal_of(SimEvent::request, {}, request).size(); }

// Plugin lines printed while `fn` ran, without the prefix's line number.
template <typename F> std::vector<std::string> plugin_lines(F fn)
{
    testing::internal::CaptureStdout();
    fn();
    std::string out = testing::internal::GetCapturedStdout();
    const std::string head = "<DEVM_PLUGIN_NAME>../../code/hwmanage/hpi/plugins/disks/hw/disk_lsi_info:";
    std::vector<std::string> lines;
    size_t pos = 0;
    while ((pos = out.find(head, pos)) != std::string::npos) {
        size_t text = out.find(' ', pos) + 1;
        size_t next = out.find(head, text);
        lines.push_back(out.substr(text, next == std::string::npos ? std::string::npos : next - text));
        pos = text;
    }
    return lines;
}

#endif
