// The "log" rows of the clear and dump blocks.
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/trans_op.h"

namespace {

class LogCollectTest : public SimTest {};

TEST_F(LogCollectTest, ScriptStatuses)
{
    const std::string clearUsage = "Invaild command, correct order: './quorbix -c log/a'\n";
    const std::string dumpUsage = "Invaild command, correct order: './quorbix -d  log/a'\n";
    struct {
        TransOpStatus (*run)(const char *);
        const char *path;
        const char *command;  // null: none runs
        int scriptStatus;
        std::string out;
        int status;
    } rows[] = {
        {op_clear, "log/a", "sh log_collect.sh log_clear", 0, "clear log_message succeed\n", 0},
        {op_clear, "log/a", "sh log_collect.sh log_clear", 256, "log_collect.sh failed, status 0x100\n", 256},
        {op_clear, "log/a", "sh log_collect.sh log_clear", -1, "system order error\n", -1},
        {op_dump, "log/a", "sh log_collect.sh log_collect", 0, "\ncollect log_message succeed\n", 0},
        {op_dump, "log/a", "sh log_collect.sh log_collect", 256, "log_collect.sh failed, status 0x100\n", 256},
        {op_dump, "log/a", "sh log_collect.sh log_collect", -1, "system order error\n", -1},
        {op_clear, "log/ab", nullptr, 0, clearUsage, -1},
        {op_clear, "log", nullptr, 0, clearUsage, -1},
        {op_dump, "log/b", nullptr, 0, dumpUsage, -1},
    };
    for (const auto &r : rows) {
        sim_reset(root_);
        if (r.command)
            sim_script_command(r.command, SimShellScript{"", r.scriptStatus, {}});
        ConsoleRun run = console_run([&] { return r.run(r.path); });
        EXPECT_EQ(run.out, r.out) << r.path << " " << r.scriptStatus;
        EXPECT_EQ(run.status, r.status) << r.path << " " << r.scriptStatus;
        EXPECT_EQ(sim_commands_run().size(), r.command ? 1u : 0u) << r.path;
    }
}

} // namespace
