#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool/opt_walk.h"

namespace {

// Walks a command line and writes each result as "c" or "c=arg", joined by
// spaces.
std::string walk_all(std::vector<std::string> args, const char *optstring = ":vr:m:")
{
    args.insert(args.begin(), "quorbix");
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    OptWalk walk{static_cast<int>(args.size()), argv.data(), optstring};
    std::string out;
    for (int c; (c = opt_next(walk)) != kOptEnd;) {
        if (!out.empty())
            out += ' ';
        out += static_cast<char>(c);
        if (walk.arg != nullptr)
            out += "=" + std::string(walk.arg);
    }
    return out;
}

struct WalkCase {
    std::vector<std::string> args;
    const char *expected;
};

TEST(OptWalk, TakesOptionsInCommandLineOrder)
{
    const WalkCase cases[] = {
        {{}, ""},
        {{"-v"}, "v"},
        {{"-m", "port/k/0:1", "-v"}, "m=port/k/0:1 v"},
        {{"-mport/k/0:1"}, "m=port/k/0:1"},
        {{"-vm", "a"}, "v m=a"},
        {{"-vmab"}, "v m=ab"},
        {{"-vv", "-r", "x"}, "v v r=x"},
        // The next argument is taken as the option argument whatever it is.
        {{"-m", "-v"}, "m=-v"},
        {{"-m", "--"}, "m=--"},
        // Non-options are passed over; later options still count.
        {{"foo", "-v", "bar", "-m", "x"}, "v m=x"},
        {{"-", "-v"}, "v"},
        // "--" ends the options.
        {{"-v", "--", "-m", "x"}, "v"},
        // Unknown letters and missing arguments.
        {{"-h"}, "?"},
        {{"-x", "-v"}, "? v"},
        {{"-m"}, ":"},
        {{"-v", "-r"}, "v :"},
        {{"-:"}, "?"},
        {{"--foo"}, "? ? ? ?"},
    };
    for (const WalkCase &c : cases) {
        std::string joined;
        for (const std::string &a : c.args)
            joined += a + " ";
        EXPECT_EQ(walk_all(c.args), c.expected) << "args: " << joined;
    }
}

TEST(OptWalk, MissingArgumentWithoutLeadingColonIsUnknown)
{
    EXPECT_EQ(walk_all({"-m"}, "vr:m:"), "?");
}

TEST(OptWalk, ReportsTheLetterOfAnUnknownOption)
{
    std::string args[] = {"quorbix", "-vq"};
    char *argv[] = {args[0].data(), args[1].data(), nullptr};
    OptWalk walk{2, argv, ":vr:m:"};
    EXPECT_EQ(opt_next(walk), 'v');
    EXPECT_EQ(opt_next(walk), '?');
    EXPECT_EQ(walk.letter, 'q');
    EXPECT_EQ(opt_next(walk), kOptEnd);
    EXPECT_EQ(opt_next(walk), kOptEnd);
}

} // namespace
