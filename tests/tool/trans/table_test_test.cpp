// The table commands through the simulated trans FPGA: the command-file
// test (Set tcam/t), the initialisation (tcam/i), the speed test (tcam/k)
// and the catalogue queries of m_table.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bases/drv/plov_drv.h"
#include "sim/fpga_model.h"
#include "support/console_run.h"
#include "support/sim_fixture.h"
#include "tool/trans/table_test.h"
#include "tool/trans_op.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kResult = "/home/test/res.txt";
const std::string kCmd = "/home/test/cmd.txt";

std::string hex_run(size_t bytes, char digit) { return std::string(bytes * 2, digit); }

class TableCommands : public SimTest {
protected:
    void put(const std::string &path, const std::string &text)
    {
        std::filesystem::create_directories(std::filesystem::path(root_ + path).parent_path());
        std::ofstream(root_ + path, std::ios::binary) << text;
    }
    std::string get(const std::string &path)
    {
        std::ifstream in(root_ + path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Runs a command file of these data lines with an existing, empty result file.
    ConsoleRun run_file(const std::string &lines, const std::string &first = kResult + "\n")
    {
        put(kResult, "");
        put(kCmd, first + lines);
        return console_run([&] { return op_set(("tcam/t/" + kCmd).c_str()); });
    }
};

TEST_F(TableCommands, CommandFileRunsEveryOperationAndWritesResults)
{
    const std::string k40 = "K" + hex_run(8, '1') + hex_run(8, '2') + hex_run(8, '3') + hex_run(8, '4') +
                            "00000000000000ab;";
    const std::string m40 = "M" + hex_run(40, 'f') + ";";
    const std::string zero40 = hex_run(40, '0');
    fpga_put_table_stats(kTrans, 0x2800, 3, {0x10, 0x2F});
    fpga_put_table_stats(kTrans, 0x5800, 7, {0xABC});
    const std::string lines =
        "w4\tx\tW\t4\t3\t" + k40 + m40 + "T8000000000000001;\n"
        "/note\tx\tW\n"                                   // comment after a complete line: skipped
        "g4\tx\tG\n"                                      // table 4, index 3 carried over
        "r4\tx\tR\r\n"
        "q4\tx\tQ\n"                                      // unknown operation: skipped
        "b\n"                                             // short line: not the previous command again
        "d4\tx\tD\t4\t3\n"
        "g4e\tx\tG\n"
        "c15\tx\tC\t15\t7\n"
        "r15\tx\tR\t15\t8\n"
        "w15\tx\tW\t15\t5\tT00000000000000aa;\n"
        "g15\tx\tG\n"
        "w2\tx\tW\t2\t0\tK0000000000000001;I00000000000000ff;\n"
        "g2\tx\tG\t2\t0\tK0000000000000001;\n"
        "d2\tx\tD\t2\t0\tK0000000000000001;\n"
        "w14\tx\tW\t14\t0\t" + k40 + "I0123456789abcdef;\n"
        "g14\tx\tG\t14\t0\t" + k40 + "\n"
        "d14\tx\tD\t14\t0\t" + k40;                       // last line without a line end
    ConsoleRun r = run_file(lines);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "SUCCESS\nParse file and exe function success, look up test result\n");
    const std::string expected =
        "w4\tSUCCESS\n"
        "g4\tSUCCESS\t" + k40 + m40 + "T8000000000000001;\n"
        "r4\tSUCCESS\tHIT:10;DROP:2f\n"
        "d4\tSUCCESS\n"
        "g4e\tSUCCESS\tK" + zero40 + ";M" + zero40 + ";T0000000000000000;\n"
        "c15\tSUCCESS\n"
        "r15\tSUCCESS\tDROP:0\n"
        "w15\tSUCCESS\n"
        "g15\tSUCCESS\tT00000000000000aa;\n"
        "w2\tSUCCESS\n"
        "g2\tSUCCESS\tK0000000000000001;I00000000000000ff;\n"
        "d2\tSUCCESS\n"
        "w14\tSUCCESS\n"
        "g14\tSUCCESS\t" + k40 + "I0123456789abcdef;\n"
        "d14\tSUCCESS\n";
    EXPECT_EQ(get(kResult), expected);
    EXPECT_TRUE(fpga_get_table_stats(kTrans, 0x5800, 7).empty());
}

TEST_F(TableCommands, RunEndingLinesStopWithParseFailure)
{
    const std::string ok = "a\tx\tC\t4\t1\n";
    struct Case {
        std::string lines;
        const char *printed;
        std::string result;   // what was written before the run stopped
    };
    const Case cases[] = {
        {"/c\tx\tW\nb\tx\tC\t4\t1\n", "Parse file failed, iRet = 3", ""},   // comment before any complete line
        {ok + "\n" + ok, "Parse file failed, iRet = -1", "a\tSUCCESS\n"},
        {ok + "a\tx\tC\t4\t1\t" + std::string(250, 'K') + "\n" + ok, "Parse file failed, iRet = -1", "a\tSUCCESS\n"},
        {ok + "a\tx\tW\t4\t1\tT" + std::string(199, '0') + "\n", "Parse file failed, iRet = -1", "a\tSUCCESS\n"},
        {"w\tx\tW\t4\t1\tK" + hex_run(41, '1') + ";\n" + ok, "param too long", ""},
        {"w\tx\tW\t4\t1\tT1;\n", "param error", ""},
        {"w\tx\tW\t4\t1\tZ01;\n", "Unknown field Z", ""},
        {"w\tx\tW\t2\t1\tT01;\n", "point is null!", ""},
        {"d\tx\tD\t14\t1\tK1;\n", "Parse ASCII failed, iRet = -1202", ""},
        {"g\tx\tG\t2\t1\tK1;\n", "parse_ascii exe failed, iRet = -1202, errno[", ""},
        {"w\tx\tW\t3\t0\n", "Error tableid 3, please check [write_record] trans/trans:", ""},
        {"c\tx\tC\t2\t0\n", "Error tableid 2, please check [clear_stat] trans/trans:", ""},
        {"r\tx\tR\t14\t0\n", "Error tableid 14, please check [read_stat] trans/trans:", ""},
    };
    for (const Case &c : cases) {
        ConsoleRun r = run_file(c.lines);
        EXPECT_EQ(r.status, -1202) << c.lines;
        EXPECT_NE(r.out.find(c.printed), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("FAILED\nParse file and exe function failed, iRet = -1202 [test_tcam_record]"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(get(kResult), c.result) << c.lines;
    }
}

TEST_F(TableCommands, FirstLineAndFileFailures)
{
    struct Case {
        std::string first;
        int status;
        const char *printed;
    };
    const Case cases[] = {
        {"/home/test/" + std::string(60, 'r') + "\n", -1218, "Read the first line of file /home/test/cmd.txt failed"},
        {kResult, -1218, "Read the first line"},                       // no line end at all
        {"/home/test/none.txt\n", -1216, "Open File /home/test/none.txt error, errno = 2"},
        {kResult + "\r\n", 0, "SUCCESS\n"},
    };
    for (const Case &c : cases) {
        ConsoleRun r = run_file("", c.first);
        EXPECT_EQ(r.status, c.status) << c.first;
        EXPECT_NE(r.out.find(c.printed), std::string::npos) << r.out;
    }
    ConsoleRun missing = console_run([] { return op_set("tcam/t//home/test/nothing"); });
    EXPECT_EQ(missing.status, -1216);
    EXPECT_NE(missing.out.find("Open File /home/test/nothing error, errno = 2"), std::string::npos);
    ConsoleRun empty = console_run([] { return test_tcam_record(""); });
    EXPECT_EQ(empty.status, -1202);
    EXPECT_EQ(empty.out.rfind("FAILED\nInvalid input, please check [test_tcam_record] trans/trans:", 0), 0u);
}

TEST_F(TableCommands, FailedResultWritesGoOnAndFailTheCommand)
{
    const std::string lines = "a\tx\tC\t4\t1\nb\tx\tC\t4\t2\n";
    // The first open of the result file is the check, the second the first line's.
    SimFault open;
    open.op = SimFaultOp::open;
    open.node = kResult;
    open.err = EACCES;
    open.nth = 2;
    sim_add_fault(open);
    ConsoleRun r = run_file(lines);
    EXPECT_EQ(r.status, -1216);
    EXPECT_NE(r.out.find("/home/test/res.txt Open failed, errno = 13"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Write result to file failed, iRet = -1216 trans/trans:"), std::string::npos) << r.out;
    EXPECT_EQ(get(kResult), "b\tSUCCESS\n");

    sim_clear_faults();
    sim_clear_journal();
    sim_fail_op(SimFaultOp::write, kResult, ENOSPC);
    r = run_file("g\tx\tG\t4\t1\nw\tx\tW\n");
    EXPECT_EQ(r.status, -1218);
    EXPECT_NE(r.out.find("Write to /home/test/res.txt failed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Write result to file failed, iRet = -1218 [get_record]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("write_result_to_file exe failed, iRet = -1218 [write_record]"), std::string::npos);
    EXPECT_EQ(requests_seen(PLOV_IOC_WRITE_INDIR_REG), 1u);   // the run went on to the W line
}

TEST_F(TableCommands, LibraryFailuresAreWrittenAsFailed)
{
    sim_fail_request(kTrans, PLOV_IOC_WRITE_INDIR_REG, EIO);
    sim_fail_request(kTrans, PLOV_IOC_READ_INDIR_REG, EIO);
    ConsoleRun r = run_file("w\tx\tW\t4\t1\tK;\ng\tx\tG\nd\tx\tD\nc\tx\tC\nr\tx\tR\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(get(kResult), "w\tFAILED\ng\tFAILED\nd\tFAILED\nc\tFAILED\nr\tFAILED\n");
    for (const char *line : {"Add Record function exe failed, iRet = -1 errno[", "Get Record function exe failed",
                             "Del Record function exe failed, iRet = -1, errno[", "PlovClrStatByIndex exe failed"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
}

TEST_F(TableCommands, InitialisationEmptiesTablesAndStopsAtAFailure)
{
    sim_journal_enable(false);
    ConsoleRun r = console_run([] { return op_set("tcam/i/"); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "SUCCESS\nInit tacm record success\n");

    struct Case {
        unsigned long request;
        unsigned nth;
        const char *printed;
    };
    const Case cases[] = {
        {PLOV_IOC_READ_INDIR_REG, 3, "FAILED\nPlovGetRecordByIndex error, tableid = 4, iRet = -1 trans/trans:"},
        {PLOV_IOC_READ_INDIR_REG, 5121, "FAILED\nPlovGetRecordByIndex error, tableid = 5, iRet = -1"},
        {PLOV_IOC_WRITE_INDIR_REG, 2, "FAILED\nPlovDelRecordByIndex error, tableid = 4, iRet = -1"},
        {PLOV_IOC_WRITE_INDIR_REG, 41985, "FAILED\nPlovClrStatByIndex error, tableid = 15, iRet = -1"},
    };
    for (const Case &c : cases) {
        sim_clear_faults();
        sim_fail_request(kTrans, c.request, EIO, c.nth);
        r = console_run([] { return init_tcam_record(""); });
        EXPECT_EQ(r.status, -1);
        EXPECT_EQ(r.out.rfind(c.printed, 0), 0u) << r.out;
        EXPECT_NE(r.out.find("\nFAILED\nInit tcam record or car statistics failed, please check\n"), std::string::npos);
    }
}

TEST_F(TableCommands, SpeedTestSumsEachOperationAndGoesOnPastAFailedTable)
{
    sim_journal_enable(false);
    sim_request_cost_ns(3000);
    // The 6th write request of table 5's test (index 2's add, after 5120 * 2 on table 4).
    sim_fail_request(kTrans, PLOV_IOC_WRITE_INDIR_REG, EIO, 5120 * 2 + 5);
    ConsoleRun r = console_run([] { return op_set("tcam/k/"); });
    EXPECT_EQ(r.status, -1);
    auto index_lines = [](int table, int n, int us) {
        std::string s = "table_id : " + std::to_string(table) + "\n";
        for (const char *op : {"Write", "Get", "Del"})
            s += std::string(op) + " table,from 0 to " + std::to_string(n) + ",the time was " +
                 std::to_string(n * us) + " us.the longest time of one operation is " + std::to_string(us) + " us\n";
        return s;
    };
    auto key_lines = [](int table) {
        return "table_id : " + std::to_string(table) + "\n" +
               "Write table,for 4000 times,the time was 12000 us.the longest time of one operation is 3 us\n"
               "Get table,for 4000 times,,the time was 12000 us.the longest time of one operation is 3 us\n"
               "Del table,for 4000 times,,the time was 12000 us.the longest time of one operation is 3 us\n";
    };
    std::string expected = index_lines(4, 5120, 3) + "table_id : 5\nFunction Add  Record error, iRet = -1,index = 2\n" +
                           index_lines(6, 10240, 3) + index_lines(7, 10240, 3) + index_lines(8, 4096, 3) +
                           index_lines(15, 0x70000, 3) + key_lines(14) + key_lines(2);
    EXPECT_EQ(r.out, expected);
}

TEST_F(TableCommands, CatalogueQueries)
{
    struct Case {
        TransOpHandler handler;
        const char *params;
        int status;
        std::string out;
    };
    const std::string zero = "\tvld : 0\n\tcmdaddr offset : 0\n\tinnerid : 0\n\taddrlen : 0\n\twdatalen : 0\n\trdatalen "
                             ": 0\n\tLineflag : 0\n\tMaskflag : 0\n\tkeylen : 0\n\tactlen : 0\n\tDelflag : 0\n";
    const Case cases[] = {
        {get_table_info_byid, "5", 0,
         "SUCCESS\nSuccess to get the tableinfo of table5\n\tvld : 1\n\tcmdaddr offset : 10240\n\tinnerid : 1\n"
         "\taddrlen : 13\n\twdatalen : 6\n\trdatalen : 8\n\tLineflag : 1\n\tMaskflag : 1\n\tkeylen : 5\n"
         "\tactlen : 1\n\tDelflag : 1\n"},
        {get_table_info_byid, "0", 0, "SUCCESS\nSuccess to get the tableinfo of table0\n" + zero},
        {get_table_info_byid, "16", -1340, "FAILED\nFunction ruda_get_tableinfo_byid exe error, iRet = -1340\n"},
        {get_table_num, "", 0, "SUCCESS\nNumber of tables : 16\n"},
        {del_table, "", 0, "SUCCESS\n"},
    };
    for (const Case &c : cases) {
        ConsoleRun r = console_run([&] { return c.handler(c.params); });
        EXPECT_EQ(r.status, c.status) << c.params;
        EXPECT_EQ(r.out, c.out) << c.params;
    }
    for (const char *bad : {"", "x"}) {
        ConsoleRun r = console_run([&] { return get_table_info_byid(bad); });
        EXPECT_EQ(r.status, -1202) << bad;
        EXPECT_EQ(r.out.rfind("FAILED\nInvalid input, please check [get_table_info_byid]", 0), 0u) << r.out;
    }
    sim_fail_request(kTrans, PLOV_IOC_WRITE_DIR_REG, EIO);
    ConsoleRun r = console_run([] { return del_table(""); });
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out.rfind("FAILED\nFunction PlovDelAllTable exe error, iRet = ", 0), 0u) << r.out;
}

} // namespace
