#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "sim/kit/sim_doc.h"

namespace {

std::vector<uint8_t> every_byte()
{
    std::vector<uint8_t> b;
    for (int i = 0; i < 256; i++)
        b.push_back(static_cast<uint8_t>(i));
    return b;
}

// Everything a model puts comes back by key after a trip through the text.
TEST(SimDoc, RoundTripByKey)
{
    SimDoc doc;
    doc.kind = "board";
    doc.version = 3;
    doc.section("fpga /dev/trans_pci").put("reg 0x5c18", 0xFFFFFFFFFFFFFFFFull).put("reg 0x0", 0);
    doc.section("fpga /dev/trans_pci").put("indir 0x40 0x1", std::vector<uint64_t>{2, 0x30, 0}).put("empty", std::vector<uint64_t>{});
    doc.section("files").put_bytes("all", every_byte()).put_text("text", "a \"b\" = # [c]\n");
    doc.section("fpga /dev/trans_pci").put("reg 0x0", 7);  // replaced, not added

    SimDoc back;
    ASSERT_TRUE(sim_doc_parse(sim_doc_format(doc), "saved", "board", back)) << back.error;
    EXPECT_EQ(back.version, 3u);
    ASSERT_EQ(back.sections.size(), 2u);
    const SimDocSection *fpga = back.find("fpga /dev/trans_pci");
    ASSERT_NE(fpga, nullptr);
    EXPECT_EQ(fpga->entries.size(), 4u);
    uint64_t v = 1;
    EXPECT_TRUE(back.get(*fpga, "reg 0x5c18", v));
    EXPECT_EQ(v, 0xFFFFFFFFFFFFFFFFull);
    EXPECT_TRUE(back.get(*fpga, "reg 0x0", v));
    EXPECT_EQ(v, 7u);
    std::vector<uint64_t> words{9};
    EXPECT_TRUE(back.get(*fpga, "indir 0x40 0x1", words));
    EXPECT_EQ(words, (std::vector<uint64_t>{2, 0x30, 0}));
    EXPECT_TRUE(back.get(*fpga, "empty", words));
    EXPECT_TRUE(words.empty());
    std::vector<uint8_t> bytes;
    std::string text;
    EXPECT_TRUE(back.get_bytes(*back.find("files"), "all", bytes));
    EXPECT_EQ(bytes, every_byte());
    EXPECT_TRUE(back.get_text(*back.find("files"), "text", text));
    EXPECT_EQ(text, "a \"b\" = # [c]\n");
    EXPECT_FALSE(back.get(*fpga, "reg 0x1", v));  // missing: false, no error
    EXPECT_TRUE(back.ok());
    EXPECT_EQ(sim_doc_format(back), sim_doc_format(doc));
}

// Each document that does not parse names its file and line.
TEST(SimDoc, ParseErrorsGiveFileAndLine)
{
    const struct {
        const char *text;
        const char *error;
    } cases[] = {
        {"", "f:0: empty document"},
        {"# only a comment\n\n", "f:2: empty document"},
        {"quorbix-sim state 1\n", "f:1: a 'state' document, expected 'board'"},
        {"quorbix-sim board\n", "f:1: not a quorbix-sim document (expected 'quorbix-sim board VERSION')"},
        {"quorbix-sim board 0\n", "f:1: not a quorbix-sim document (expected 'quorbix-sim board VERSION')"},
        {"other board 1\n", "f:1: not a quorbix-sim document (expected 'quorbix-sim board VERSION')"},
        {"quorbix-sim board 1\nkey = 1\n", "f:2: a key before the first section"},
        {"quorbix-sim board 1\n[a]\n\n# c\nno value\n", "f:5: expected 'key = value' or '[section]'"},
        {"quorbix-sim board 1\n[a\n", "f:2: section head without ']'"},
        {"quorbix-sim board 1\n[ ]\n", "f:2: section without a name"},
        {"quorbix-sim board 1\n[a]\n[a]\n", "f:3: section [a] given twice"},
        {"quorbix-sim board 1\n[a]\nk = 1\nk = 2\n", "f:4: key 'k' given twice in [a]"},
        {"quorbix-sim board 1\n[a]\n = 2\n", "f:3: a line without a key"},
    };
    for (const auto &c : cases) {
        SimDoc doc;
        EXPECT_FALSE(sim_doc_parse(c.text, "f", "board", doc)) << c.text;
        EXPECT_EQ(doc.error, c.error) << c.text;
    }
}

// A value of the wrong type is an error at its own line; the first one stays.
TEST(SimDoc, WrongValueTypesGiveTheirLine)
{
    SimDoc doc;
    ASSERT_TRUE(sim_doc_parse("quorbix-sim board 1\n[a]\nn = \"x\"\nw = 0x1 zz\nb = \"\\q\"\nt = abc\n", "f", "board", doc));
    const SimDocSection &s = *doc.find("a");
    uint64_t v = 0;
    std::vector<uint64_t> w;
    std::vector<uint8_t> b;
    std::string t;
    EXPECT_FALSE(doc.get(s, "n", v));
    EXPECT_EQ(doc.error, "f:3: 'n' wants an integer, not '\"x\"'");
    const struct {
        bool (*get)(SimDoc &, const SimDocSection &);
        const char *error;
    } cases[] = {
        {[](SimDoc &d, const SimDocSection &x) { std::vector<uint64_t> o; return d.get(x, "w", o); },
         "f:4: 'w' wants integers, not 'zz'"},
        {[](SimDoc &d, const SimDocSection &x) { std::vector<uint8_t> o; return d.get_bytes(x, "b", o); },
         "f:5: 'b' wants a double-quoted string, not '\"\\q\"'"},
        {[](SimDoc &d, const SimDocSection &x) { std::string o; return d.get_text(x, "t", o); },
         "f:6: 't' wants a double-quoted string, not 'abc'"},
    };
    for (const auto &c : cases) {
        doc.error.clear();
        EXPECT_FALSE(c.get(doc, s));
        EXPECT_EQ(doc.error, c.error);
    }
    doc.error.clear();
    EXPECT_FALSE(doc.get(s, "n", v));
    EXPECT_FALSE(doc.get(s, "t", v));
    EXPECT_EQ(doc.error, "f:3: 'n' wants an integer, not '\"x\"'");  // the first error is kept
}

TEST(SimDoc, NumbersQuotesAndTokens)
{
    const struct {
        const char *text;
        bool ok;
        uint64_t value;
    } numbers[] = {
        {"0", true, 0}, {"42", true, 42}, {"0x5C18", true, 0x5c18}, {"0xffffffffffffffff", true, UINT64_MAX},
        {"18446744073709551615", true, UINT64_MAX}, {"18446744073709551616", false, 0},
        {"0x10000000000000000", false, 0}, {"0x", false, 0}, {"", false, 0}, {"-1", false, 0}, {"12a", false, 0},
    };
    for (const auto &n : numbers) {
        uint64_t v = 0;
        EXPECT_EQ(sim_doc_number(n.text, v), n.ok) << n.text;
        EXPECT_EQ(v, n.value) << n.text;  // unchanged (0) on failure
    }
    std::string out;
    for (const char *bad : {"", "\"", "abc", "\"a\"b\"", "\"\\x4\"", "\"\\\"", "\"\\z\""})
        EXPECT_FALSE(sim_doc_unquote(bad, out)) << bad;

    std::vector<std::string> words;
    std::string error;
    EXPECT_TRUE(sim_doc_tokens("  file /a \"x # \\\" y\" # comment", words, error));
    EXPECT_EQ(words, (std::vector<std::string>{"file", "/a", "\"x # \\\" y\""}));
    EXPECT_FALSE(sim_doc_tokens("file \"open", words, error));
    EXPECT_EQ(error, "unterminated string");
    EXPECT_FALSE(sim_doc_tokens("file \"a\"b", words, error));
}

// Sections are found by name through an index that follows the vector: a
// section pushed onto it directly is found, the first of two of one name
// wins, and a copy finds its own sections.
TEST(SimDoc, SectionsFoundByNameWhateverAddedThem)
{
    SimDoc doc;
    doc.kind = "board";
    doc.section("a").put("k", 1);
    doc.section("b").put("k", 2);
    EXPECT_EQ(&doc.section("a"), &doc.sections[0]);
    EXPECT_EQ(doc.sections.size(), 2u);
    SimDocSection pushed;
    pushed.name = "c";
    doc.sections.push_back(pushed);
    doc.sections.push_back(pushed);
    doc.sections.back().put("k", 4);
    EXPECT_EQ(doc.find("c"), &doc.sections[2]);
    EXPECT_EQ(&doc.section("c"), &doc.sections[2]);
    EXPECT_EQ(doc.find("d"), nullptr);
    EXPECT_EQ(doc.find("a "), nullptr);
    EXPECT_EQ(doc.find(""), nullptr);
    doc.sections.pop_back();
    doc.sections.pop_back();
    EXPECT_EQ(doc.find("c"), nullptr);
    EXPECT_EQ(doc.find("b"), &doc.sections[1]);
    const SimDoc copy = doc;
    EXPECT_EQ(copy.find("b"), &copy.sections[1]);
    SimDoc parsed;
    ASSERT_TRUE(sim_doc_parse(sim_doc_format(doc), "f", "board", parsed)) << parsed.error;
    uint64_t v = 0;
    ASSERT_NE(parsed.find("b"), nullptr);
    EXPECT_TRUE(parsed.get(*parsed.find("b"), "k", v));
    EXPECT_EQ(v, 2u);
}

// A document of many sections parses, and each is found by name, in time
// that grows with its size: 50,000 empty sections and a last one naming
// each, as the saved board's [end] does. A scan per section head and per
// name took many seconds (minutes for 100,000); the child is stopped after 5 s.
TEST(SimDoc, ManySectionsCostTheirSize)
{
    constexpr int kSections = 50000;
    std::string text = "quorbix-sim board 2\n";
    for (int i = 0; i < kSections; i++)
        text += "[s" + std::to_string(i) + "]\n";
    text += "[end]\n";
    for (int i = 0; i < kSections; i++)
        text += "s" + std::to_string(i) + " = 0x1\n";
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(5);
        SimDoc doc;
        if (!sim_doc_parse(text, "f", "board", doc) || doc.sections.size() != kSections + 1)
            _exit(2);
        for (const SimDocEntry &e : doc.find("end")->entries)
            if (doc.find(e.key) == nullptr || &doc.section(e.key) != doc.find(e.key))
                _exit(3);
        _exit(doc.sections.size() == kSections + 1 ? 0 : 4);
    }
    int ws = 0;
    ASSERT_EQ(waitpid(pid, &ws, 0), pid);
    EXPECT_TRUE(WIFEXITED(ws)) << "stopped by signal " << (WIFSIGNALED(ws) ? WTERMSIG(ws) : 0);
    EXPECT_EQ(WIFEXITED(ws) ? WEXITSTATUS(ws) : -1, 0);
}

// The file is replaced whole; a missing file is told apart from a bad one.
TEST(SimDoc, ReadAndWriteFiles)
{
    char tmpl[] = "/tmp/quorbix-doc-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string path = std::string(tmpl) + "/board";
    SimDoc doc;
    EXPECT_EQ(sim_doc_read(path, "board", doc), SimDocRead::Missing);
    doc.kind = "board";
    doc.section("board").put_text("model", "ZK17DORN");
    std::string error;
    ASSERT_TRUE(sim_doc_write(path, doc, error)) << error;
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    SimDoc back;
    ASSERT_EQ(sim_doc_read(path, "board", back), SimDocRead::Ok);
    EXPECT_EQ(back.file, path);
    std::ofstream(path, std::ios::app) << "[board]\n";
    EXPECT_EQ(sim_doc_read(path, "board", back), SimDocRead::Bad);
    EXPECT_EQ(back.error, path + ":5: section [board] given twice");
    EXPECT_FALSE(sim_doc_write(std::string(tmpl) + "/no/such/dir", doc, error));
    EXPECT_EQ(error.rfind(std::string(tmpl) + "/no/such/dir: ", 0), 0u) << error;
    std::filesystem::remove_all(tmpl);
}

// Through a directory's descriptor, by name: a link is never followed and a
// special file never opened for what it holds (so never waited on), a stale
// temp file of whatever kind is replaced, and an error names the file that
// failed, as shown.
TEST(SimDoc, FilesInADirectoryAreNeverFollowed)
{
    namespace fs = std::filesystem;
    SimDoc doc;
    doc.kind = "board";
    doc.section("board").put_text("model", "ZK17DORN");
    const std::string text = sim_doc_format(doc);
    using Plant = std::function<void(const std::string &dir, const std::string &beside)>;
    const struct {
        const char *what;
        Plant plant;
        std::string readError;   // after "SHOWN": empty for Missing
        std::string writeError;  // empty: written
    } cases[] = {
        {"nothing", [](auto &, auto &) {}, "", ""},
        {"a link to a file beside", [](auto &d, auto &b) { fs::create_symlink(b + "/file", d + "/doc"); },
         ": a link, not a regular file", ""},
        {"a FIFO", [](auto &d, auto &) { ::mkfifo((d + "/doc").c_str(), 0644); }, ": not a regular file", ""},
        {"a directory", [](auto &d, auto &) { fs::create_directories(d + "/doc/x"); }, ": not a regular file",
         "SHOWN: Is a directory"},
        {"a temp link to a file beside", [](auto &d, auto &b) { fs::create_symlink(b + "/file", d + "/doc.tmp"); }, "",
         ""},
        {"a temp FIFO", [](auto &d, auto &) { ::mkfifo((d + "/doc.tmp").c_str(), 0644); }, "", ""},
        {"a temp directory", [](auto &d, auto &) { fs::create_directories(d + "/doc.tmp/x"); }, "",
         "SHOWN.tmp: Is a directory"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        char tmpl[] = "/tmp/quorbix-doc-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        const std::string top = tmpl, dir = top + "/dir", beside = top + "/beside";
        fs::create_directories(dir);
        fs::create_directories(beside);
        std::ofstream(beside + "/file") << text;
        c.plant(dir, beside);
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        SimDoc back;
        const SimDocRead read = sim_doc_read(fd, "doc", "SHOWN", "board", back);
        EXPECT_EQ(read, c.readError.empty() ? SimDocRead::Missing : SimDocRead::Bad);
        EXPECT_EQ(back.error, c.readError.empty() ? "" : "SHOWN" + c.readError);
        std::string error;
        EXPECT_EQ(sim_doc_write(fd, "doc", "SHOWN", doc, error), c.writeError.empty());
        EXPECT_EQ(error, c.writeError);
        if (c.writeError.empty()) {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir + "/doc")));
            EXPECT_FALSE(fs::exists(fs::symlink_status(dir + "/doc.tmp")));
            ASSERT_EQ(sim_doc_read(fd, "doc", "SHOWN", "board", back), SimDocRead::Ok);
            EXPECT_EQ(back.file, "SHOWN");
        }
        std::stringstream beside_file;
        beside_file << std::ifstream(beside + "/file").rdbuf();
        EXPECT_EQ(beside_file.str(), text);
        EXPECT_EQ(std::distance(fs::directory_iterator(beside), {}), 1);
        ::close(fd);
        fs::remove_all(top);
    }
}

} // namespace
