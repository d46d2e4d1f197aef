// The README's "Commands" section against the command table: every row
// reachable from the command line (the "read" and "mfc" blocks and the
// sub-blocks their rows dispatch to) has its line, and every line names a
// reachable row.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tool/trans_op.h"

namespace {

// The sub-block each dispatcher a row may name walks into.
const struct {
    TransOpHandler handler;
    TransOpBlockId block;
} kDispatchers[] = {
    {op_m_trans, kBlkMTrans}, {op_l_trans, kBlkLTrans},       {op_c_trans, kBlkCTrans}, {op_m_sbuf, kBlkMSbuf},
    {op_l_sbuf, kBlkLSbuf},   {op_c_sbuf, kBlkCSbuf},         {op_m_sfp, kBlkMSfp},     {op_s_tcam, kBlkSTcam},
    {op_s_fpga, kBlkSFpga},   {op_m_fpga, kBlkMFpga},         {op_s_port, kBlkSPort},   {op_m_port, kBlkMPort},
    {op_c_port, kBlkCPort},   {op_s_queue, kBlkSQueue},       {op_m_queue, kBlkMQueue}, {op_s_bufc, kBlkSBufc},
    {op_s_secm, kBlkSSecm},   {op_s_transmit, kBlkSTransmit}, {op_s_fpga0, kBlkSFpga0}, {op_t_fpga0, kBlkTFpga0},
    {op_t_trans, kBlkTTrans}, {op_t_sbuf, kBlkTSbuf},         {op_l_media, kBlkLMedia}, {op_w_media, kBlkWMedia},
    {op_t_media, kBlkTMedia}, {op_d_fpga, kBlkDFpga},         {op_t_acc, kBlkTAcc},     {op_l_acc, kBlkLAcc},
    {op_l_ruga_bt, kBlkLRugaBt}, {op_l_ruga_ap, kBlkLRugaAp}, {op_l_ruga, kBlkLRuga},
};

std::string lower(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "OPTION PATH" of every reachable command (rows without a handler answer
// `Target "..." is not supported` and are left out). A sub-block's target
// letters are accepted in either case; they are listed in lower case.
void walk(const TransOpBlock &block, const std::string &prefix, std::set<std::string> &out)
{
    for (const TransOpEntry &row : block.rows) {
        if (row.target == nullptr)
            break;
        if (row.handler == nullptr)
            continue;
        const std::string path = prefix + row.target;
        bool sub = false;
        for (const auto &d : kDispatchers)
            if (d.handler == row.handler) {
                walk(g_TransOpTab[d.block], path + "/", out);
                sub = true;
            }
        if (!sub)
            out.insert(prefix.find('/') == std::string::npos ? path : lower(path));
    }
}

std::set<std::string> reachable()
{
    std::set<std::string> out;
    walk(g_TransOpTab[kBlkRead], "-r ", out);
    walk(g_TransOpTab[kBlkMfc], "-m ", out);
    return out;
}

// The first backticked text of each table row of the README's "Commands"
// section that starts with an option.
std::vector<std::string> readme_commands()
{
    std::ifstream in(std::string(QUORBIX_SOURCE_DIR) + "/README.md");
    std::vector<std::string> out;
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("## "))
            inside = line == "## Commands";
        if (inside && (line.starts_with("| `-m ") || line.starts_with("| `-r ")))
            out.push_back(line.substr(3, line.find('`', 3) - 3));
    }
    return out;
}

// A README command names the table path when it is the path itself or the
// path followed by its parameters.
bool names(const std::string &command, const std::string &path)
{
    return command == path || command.starts_with(path + "/");
}

TEST(ReadmeCommands, EveryReachableRowHasItsLine)
{
    const std::set<std::string> rows = reachable();
    const std::vector<std::string> lines = readme_commands();
    ASSERT_FALSE(lines.empty()) << "no command lines under \"## Commands\" in README.md";
    EXPECT_GT(rows.size(), 50u);
    for (const std::string &path : rows) {
        int found = 0;
        for (const std::string &l : lines)
            found += names(l, path);
        EXPECT_EQ(found, 1) << path;
    }
}

TEST(ReadmeCommands, EveryLineNamesAReachableRow)
{
    const std::set<std::string> rows = reachable();
    for (const std::string &l : readme_commands()) {
        bool known = false;
        for (const std::string &path : rows)
            known = known || names(l, path);
        EXPECT_TRUE(known) << l;
    }
}

} // namespace
