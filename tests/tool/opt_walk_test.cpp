#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool/opt_walk.h"

namespace {

// Walks a command line and writes each result as "c" or "c=arg", joined by
// spaces.
std::string walk_all(std::vector<std::string> args, const char *optstring)
{
    std::string program = "quorbix";
    std::vector<char *> argv{program.data()};
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    OptWalk walk{static_cast<int>(argv.size() - 1), argv.data(), optstring};
    std::string out;
    for (int c; (c = opt_next(walk)) != kOptEnd;) {
        if (!out.empty())
            out += ' ';
        out += static_cast<char>(c);
        if (walk.arg != nullptr)
            out += "=" + std::string(walk.arg);
    }
    EXPECT_EQ(opt_next(walk), kOptEnd) << "the end stays the end";
    return out;
}

struct WalkCase {
    std::vector<std::string> args;
    const char *expected;
    const char *optstring = ":vr:m:";
};

TEST(OptWalk, TakesOptionsInCommandLineOrder)
{
    const WalkCase cases[] = {
        {{}, ""},
        {{"-m", "port/k/0:1", "-v"}, "m=port/k/0:1 v"},
        // Grouped letters and attached arguments.
        {{"-mport/k/0:1"}, "m=port/k/0:1"}, {{"-vm", "a"}, "v m=a"}, {{"-vmab"}, "v m=ab"},
        {{"-vv", "-r", "x"}, "v v r=x"},
        // The next argument is the option argument whatever it looks like.
        {{"-m", "-v"}, "m=-v"}, {{"-m", "--"}, "m=--"}, {{"-m", ""}, "m="},
        // Non-options ("-" alone included) are passed over; later options count.
        {{"foo", "-v", "bar", "-m", "x"}, "v m=x"}, {{"-", "-v", ""}, "v"},
        // "--" ends the options.
        {{"-v", "--", "-m", "x"}, "v"},
        // Unknown letters and missing arguments.
        {{"-h"}, "?"}, {{"-x", "-v"}, "? v"}, {{"-vq"}, "v ?"}, {{"-:"}, "?"}, {{"--foo"}, "? ? ? ?"},
        {{"-m"}, ":"}, {{"-v", "-r"}, "v :"}, {{"-vr"}, "v :"},
        // Without the leading ':' a missing argument is reported as '?'.
        {{"-m"}, "?", "vr:m:"},
    };
    for (const WalkCase &c : cases) {
        std::string joined;
        for (const std::string &a : c.args)
            joined += "[" + a + "]";
        EXPECT_EQ(walk_all(c.args, c.optstring), c.expected) << "args: " << joined;
    }
}

} // namespace
