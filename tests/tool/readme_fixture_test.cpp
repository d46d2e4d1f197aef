// The README's lists of fixture lines against the parser: every line form
// it reads (each usage as the parser words it) and every device model's
// prefix, no more and no fewer.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "sim/fixture_file.h"
#include "support/readme_text.h"

namespace {

// The "### Fixture files" part of the section that holds it.
std::vector<std::string> fixture_part()
{
    const std::vector<std::string> section = readme_section("## Two programs");
    auto from = std::find(section.begin(), section.end(), "### Fixture files");
    auto to = std::find_if(from + (from != section.end()), section.end(),
                           [](const std::string &l) { return l.starts_with("#"); });
    return {from, to};
}

// The first column of a list's rows (continuation rows, which start with a
// blank or "/ ", left out): the text before the first run of blanks.
std::vector<std::string> first_column(const std::vector<std::string> &block)
{
    std::vector<std::string> out;
    for (const std::string &row : block)
        if (!row.empty() && row[0] != ' ' && !row.starts_with("/ "))
            out.push_back(row.substr(0, row.find("  ")));
    return out;
}

TEST(ReadmeFixtures, TheListsNameEveryLineTheParserReads)
{
    const std::vector<std::string> part = fixture_part();
    ASSERT_FALSE(part.empty()) << "no \"### Fixture files\" in the README";
    const SimFixtureForms forms = sim_fixture_forms();

    const std::vector<std::string> usages = first_column(indented_block(part, "    reg ", true));
    EXPECT_EQ(std::multiset<std::string>(usages.begin(), usages.end()),
              std::multiset<std::string>(forms.usages.begin(), forms.usages.end()));

    // A device model's row names its lines ("disk-add, disk-inquiry, ...");
    // the PCI dump, read by the model without a prefix, is the row of
    // "BB:DD.F" lines.
    std::multiset<std::string> prefixes;
    for (const std::string &names : first_column(indented_block(part, "    mpt-", true))) {
        if (names.starts_with("BB:DD.F ")) {
            prefixes.insert("");
            continue;
        }
        const std::string prefix = names.substr(0, names.find('-') + 1);
        EXPECT_NE(prefix, "") << names;
        for (size_t at = 0; at != std::string::npos; at = names.find(", ", at + 1)) {
            const std::string name = names.substr(at == 0 ? 0 : at + 2);
            EXPECT_TRUE(name.starts_with(prefix) || name.starts_with("...")) << names;
        }
        prefixes.insert(prefix);
    }
    EXPECT_EQ(prefixes, std::multiset<std::string>(forms.modelPrefixes.begin(), forms.modelPrefixes.end()));
}

} // namespace
