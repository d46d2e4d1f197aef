// Every row of the README's command table run on fresh simulated boards:
// each claim of its "Fresh board" column is checked on the models it names,
// and every other model against the README's sentence on models without
// the FPGA. The claims are read from the README's own words:
//
//   DORN, KESP                  the models answer (status 0)
//   DORN F 1 ...                with F 1 only
//   KESP `0:1:5`, `0:1:0` ...   with those parameters
//   ... answers -1330           that status in the output, and status 2
//   ... prints only `FAILED`    exactly those lines (`X` and `Y`: in that order), status 2
//   ... needs `LINE`            fails without the fixture line, answers with it
//                               (`NAME.fix`: the README's fixture file of that name)
//   every model, the other models, default
//
// Text in parentheses is a remark, not a claim. Parameters not given are the
// README's defaults; a parameter whose values the "Prints" column lists
// (`K `s` split or `t` total`) is run with each of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "bases/globals/globals.h"
#include "sim/sim_board.h"
#include "sim/sim_run.h"
#include "support/readme_text.h"
#include "support/sim_in_process.h"

namespace {

// ---- the README's words ----------------------------------------------------------------------

struct Model {
    const char *word;    // as the table names it
    const char *board;   // --board's value; "" for the default board
    std::vector<int> fpgas;
    bool has_fpga;
};

const std::vector<Model> kModels = {
    {"TRVA", "ZK17TRVA", {0}, false},   {"DORN", "ZK17DORN", {0, 1}, true}, {"KESP", "ZK17KESP", {0}, true},
    {"WENA", "ZK17WENA", {0}, false},   {"FOLRA", "ZK17FOLRA", {0}, false}, {"BIXA", "ZK17BIXA", {0}, false},
    {"WENB", "ZK17WENB", {0}, false},   {"WENC", "ZK17WENC", {0}, false},   {"FOLRB", "ZK17FOLRB", {0}, false},
    {"default", "", {0, 1}, true},
};
constexpr size_t kDefaultBoard = 9;   // not one of "every model": only where a row names it

// The defaults the test runs with, as the README states them.
constexpr const char *kDefaultsSentence =
    "F 0 and 1 on DORN and F 0 on KESP, P 1, T 0, Q 0 and 0 for every other number";

std::string section_text(const std::vector<std::string> &lines)
{
    std::string out;
    for (const std::string &l : lines)
        out += l + " ";
    return out;
}

std::vector<std::string> split(const std::string &text, char sep)
{
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t next; (next = text.find(sep, at)) != std::string::npos; at = next + 1)
        out.push_back(text.substr(at, next - at));
    out.push_back(text.substr(at));
    return out;
}

std::string trim(const std::string &s)
{
    size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// Text with its parenthesised remarks (outside backticks) removed.
std::string without_remarks(const std::string &text)
{
    std::string out;
    int depth = 0;
    bool quoted = false;
    for (char c : text) {
        if (c == '`' && depth == 0)
            quoted = !quoted;
        if (!quoted && c == '(')
            depth++;
        if (depth == 0)
            out += c;
        if (!quoted && c == ')' && depth > 0)
            depth--;
    }
    return out;
}

std::vector<std::string> backticked(const std::string &text)
{
    std::vector<std::string> out;
    for (size_t a = text.find('`'); a != std::string::npos; a = text.find('`', a + 1)) {
        size_t b = text.find('`', a + 1);
        if (b == std::string::npos)
            break;
        out.push_back(text.substr(a + 1, b - a - 1));
        a = b;
    }
    return out;
}

struct Row {
    std::string option;   // -r or -m
    std::string path;     // as written: port/c/F:K
    std::string prints;
    std::string fresh;
};

std::vector<Row> table_rows(const std::vector<std::string> &section)
{
    std::vector<Row> out;
    for (const std::string &line : section) {
        if (!line.starts_with("| `-m ") && !line.starts_with("| `-r "))
            continue;
        std::vector<std::string> cells = split(line, '|');
        if (cells.size() < 5) {
            ADD_FAILURE() << "a command row without three cells: " << line;
            continue;
        }
        std::string command = backticked(cells[1]).at(0);
        out.push_back({command.substr(0, 2), command.substr(3), trim(cells[2]), trim(cells[3])});
    }
    return out;
}

// ---- claims --------------------------------------------------------------------------------------

enum class Kind { Answers, Status, Prints, PrintsOnly, Needs, WithoutFpga };

struct Claim {
    Kind kind;
    std::string code;                 // Status
    std::vector<std::string> codes;   // WithoutFpga: any one of them
    std::vector<std::string> lines;   // Prints, PrintsOnly
    std::string fixture;              // Needs
};

// A model named in a clause, with the F or the parameter texts given with it.
struct Named {
    size_t model;
    int f = -1;
    std::vector<std::string> params;
};

struct Planned {
    size_t model;
    std::string path;   // the concrete path
    Claim claim;
};

bool is_word(const std::string &text, size_t at, const std::string &word)
{
    auto letter = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    return text.compare(at, word.size(), word) == 0 && (at == 0 || !letter(text[at - 1])) &&
           (at + word.size() >= text.size() || !letter(text[at + word.size()]));
}

size_t word_at(const std::string &text, const std::string &word)
{
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        if (is_word(text, at, word))
            return at;
    return std::string::npos;
}

// Files the README introduces as "`NAME.fix`:" followed by an indented block.
std::string readme_fixture(const std::vector<std::string> &section, const std::string &name)
{
    for (const std::string &line : section) {
        size_t at = line.find("`" + name + "`:");
        if (at != std::string::npos) {
            std::string text;
            for (const std::string &l : indented_block(section, line, false))
                text += l + "\n";
            return text;
        }
    }
    return "";
}

// Named's model for "every model" and "the other models" (those the row
// names nowhere else).
constexpr size_t kEvery = 100, kOthers = 101;

struct Clause {
    std::vector<Named> named;
    Claim claim;
};

Clause parse_clause(const std::string &text, const std::vector<std::string> &section)
{
    Clause c;
    size_t verb = std::string::npos;
    std::string verb_word;
    for (const char *w : {"answers", "answer", "prints", "print", "needs", "need"}) {
        size_t at = word_at(text, w);
        if (at < verb) {
            verb = at;
            verb_word = w;
        }
    }
    const std::string subject = text.substr(0, verb);
    const std::string predicate = verb == std::string::npos ? "" : text.substr(verb);
    // The subject, word by word: model names, F n, parameter texts.
    for (size_t at = 0; at < subject.size();) {
        if (subject[at] == '`') {
            size_t end = subject.find('`', at + 1);
            if (!c.named.empty())
                c.named.back().params.push_back(subject.substr(at + 1, end - at - 1));
            else
                ADD_FAILURE() << "parameters before a model in \"" << text << "\"";
            at = end + 1;
            continue;
        }
        if (!std::isalnum(static_cast<unsigned char>(subject[at]))) {
            at++;
            continue;
        }
        size_t end = at;
        while (end < subject.size() && std::isalnum(static_cast<unsigned char>(subject[end])))
            end++;
        const std::string word = subject.substr(at, end - at);
        bool model = false;
        for (size_t m = 0; m < kModels.size(); m++)
            if (word == kModels[m].word) {
                c.named.push_back({m, -1, {}});
                model = true;
            }
        if (!model && word == "F" && !c.named.empty()) {
            size_t n = subject.find_first_not_of(' ', end);
            c.named.back().f = std::stoi(subject.substr(n));
            end = subject.find_first_not_of("0123456789", n);
            end = end == std::string::npos ? subject.size() : end;
        }
        if (word == "every" && subject.compare(end, 6, " model") == 0)
            c.named.push_back({kEvery, -1, {}});
        if (word == "other" && subject.compare(end, 7, " models") == 0)
            c.named.push_back({kOthers, -1, {}});
        at = end;
    }
    const std::vector<std::string> quoted = backticked(predicate);
    std::smatch code;
    if (verb_word.starts_with("answer") && std::regex_search(predicate, code, std::regex("-[0-9]+")))
        c.claim = {Kind::Status, code.str(), {}, {}, ""};
    else if (verb_word.starts_with("answer") || verb == std::string::npos)
        c.claim = {Kind::Answers, "", {}, {}, ""};
    else if (verb_word.starts_with("print"))
        c.claim = {word_at(predicate, "only") != std::string::npos ? Kind::PrintsOnly : Kind::Prints, "", {}, quoted, ""};
    else {
        std::string fixture = quoted.empty() ? "" : quoted[0];
        if (fixture.ends_with(".fix"))
            fixture = readme_fixture(section, fixture);
        else
            fixture += "\n";
        EXPECT_NE(trim(fixture), "") << "no fixture in \"" << text << "\"";
        c.claim = {Kind::Needs, "", {}, {}, fixture};
    }
    return c;
}

// ---- parameters ----------------------------------------------------------------------------------

// The values the "Prints" column lists for NAME: "K `s` split or `t` total".
std::vector<std::string> listed_values(const std::string &prints, const std::string &name)
{
    size_t at = prints.find(name + " `");
    while (at != std::string::npos && !is_word(prints, at, name))
        at = prints.find(name + " `", at + 1);
    if (at == std::string::npos)
        return {};
    return backticked(prints.substr(at, prints.find(';', at) - at));
}

// The concrete paths of a row for FPGA f (-1: the row has no F): each
// upper-case name replaced by its value, optional parts `[...]` left out.
std::vector<std::string> fill(const Row &row, int f)
{
    std::string syntax;
    for (int depth = 0; char c : row.path) {
        depth += c == '[';
        if (depth == 0)
            syntax += c;
        depth -= c == ']';
    }
    std::vector<std::string> out{""};
    for (size_t at = 0; at < syntax.size();) {
        if (!std::isupper(static_cast<unsigned char>(syntax[at]))) {
            for (std::string &p : out)
                p += syntax[at];
            at++;
            continue;
        }
        size_t end = at;
        while (end < syntax.size() && std::isupper(static_cast<unsigned char>(syntax[end])))
            end++;
        const std::string name = syntax.substr(at, end - at);
        std::vector<std::string> values = listed_values(row.prints, name);
        if (values.empty()) {
            static const std::map<std::string, std::string> kFixed = {{"P", "1"}, {"T", "0"}, {"Q", "0"},
                                                                      {"BASE", "readme"}};
            auto fixed = kFixed.find(name);
            values = {name == "F" ? std::to_string(f) : fixed != kFixed.end() ? fixed->second : "0"};
        }
        std::vector<std::string> next;
        for (const std::string &p : out)
            for (const std::string &v : values) {
                // 0xNAME given as 0x...: the value replaces the prefix too
                if (v.starts_with("0x") && p.ends_with("0x"))
                    next.push_back(p.substr(0, p.size() - 2) + v);
                else
                    next.push_back(p + v);
            }
        out = next;
        at = end;
    }
    return out;
}

// The path with its parameter part (from the segment of the first
// upper-case name on) replaced by `params`.
std::string with_params(const std::string &path, const std::string &params)
{
    size_t upper = 0;
    while (upper < path.size() && !std::isupper(static_cast<unsigned char>(path[upper])))
        upper++;
    return path.substr(0, path.rfind('/', upper) + 1) + params;
}

bool row_has_f(const Row &row) { return row.path.find("/F") != std::string::npos; }

// Every run a row's claims ask for; a model a row leaves out is checked
// against the sentence on models without the FPGA.
std::vector<Planned> plan(const Row &row, const std::vector<std::string> &section, const std::vector<std::string> &codes)
{
    std::vector<Clause> clauses;
    for (const std::string &text : split(without_remarks(row.fresh), ';'))
        if (!trim(text).empty())
            clauses.push_back(parse_clause(text, section));
    std::set<size_t> named;
    for (const Clause &c : clauses)
        for (const Named &n : c.named)
            for (size_t m = 0; m < kModels.size(); m++)
                if (n.model == m || (n.model == kEvery && m < kDefaultBoard))
                    named.insert(m);
    std::vector<Planned> out;
    std::map<size_t, std::set<int>> covered;
    const bool has_f = row_has_f(row);
    auto add = [&](const Named &n, const Claim &claim) {
        std::vector<std::string> paths;
        if (!n.params.empty()) {
            for (const std::string &p : n.params) {
                paths.push_back(with_params(row.path, p));
                covered[n.model].insert(has_f ? std::stoi(p) : -1);
            }
        } else {
            std::vector<int> fs = n.f >= 0 ? std::vector<int>{n.f} : kModels[n.model].fpgas;
            if (!has_f)
                fs = {-1};
            for (int f : fs) {
                for (const std::string &p : fill(row, f))
                    paths.push_back(p);
                covered[n.model].insert(f);
            }
        }
        for (const std::string &p : paths)
            out.push_back({n.model, p, claim});
    };
    for (const Clause &c : clauses)
        for (const Named &n : c.named) {
            if (n.model < kModels.size()) {
                add(n, c.claim);
                continue;
            }
            const std::set<size_t> before = named;
            for (size_t m = 0; m < kDefaultBoard; m++)
                if (n.model == kEvery || !before.contains(m)) {
                    named.insert(m);
                    add({m, n.f, n.params}, c.claim);
                }
        }
    for (size_t m = 0; m < kDefaultBoard; m++) {
        if (!named.contains(m)) {
            EXPECT_FALSE(kModels[m].has_fpga) << row.option << " " << row.path << ": " << kModels[m].word
                                              << " has the FPGA and is not named";
            add({m, -1, {}}, {Kind::WithoutFpga, "", codes, {}, ""});
            continue;
        }
        for (int f : has_f ? kModels[m].fpgas : std::vector<int>{-1})
            EXPECT_TRUE(covered[m].contains(f))
                << row.option << " " << row.path << ": nothing said of " << kModels[m].word << " with F " << f;
    }
    return out;
}

// ---- runs ----------------------------------------------------------------------------------------

SimRun sim_in_process(std::vector<std::string> args)
{
    globals_reset_all();
    return sim_run_in_process(std::move(args));
}

// One fresh board per model, saved once; every run starts from that saved
// board, so what a command writes to the board never reaches the next.
struct Boards {
    std::string dir;
    std::map<size_t, std::string> saved;

    std::string root(size_t m) const { return dir + "/" + std::to_string(m); }
    std::vector<std::string> board_args(size_t m) const
    {
        std::vector<std::string> a{"--root", root(m)};
        if (*kModels[m].board != '\0')
            a.insert(a.end(), {"--board", kModels[m].board});
        return a;
    }
    SimRun run(size_t m, const std::string &option, const std::string &path, const std::string &fixture = "")
    {
        if (!saved.contains(m)) {
            std::filesystem::create_directories(root(m));   // and dir
            std::vector<std::string> a = board_args(m);
            a.insert(a.end(), {"--reset", "--", "-v"});
            sim_in_process(a);
            std::stringstream ss;
            ss << std::ifstream(root(m) + kSimBoardDocPath).rdbuf();
            saved[m] = ss.str();
        }
        std::ofstream(root(m) + kSimBoardDocPath, std::ios::trunc) << saved[m];
        std::vector<std::string> a = board_args(m);
        if (!fixture.empty()) {
            std::ofstream(dir + "/row.fix", std::ios::trunc) << fixture;
            a.insert(a.end(), {"--fixture", dir + "/row.fix"});
        }
        a.insert(a.end(), {"--", option, path});
        return sim_in_process(a);
    }
};

bool holds_code(const std::string &out, const std::string &code)
{
    for (size_t at = out.find(code); at != std::string::npos; at = out.find(code, at + 1))
        if (at + code.size() >= out.size() || !std::isdigit(static_cast<unsigned char>(out[at + code.size()])))
            return true;
    return false;
}

std::vector<std::string> nonblank_lines(const std::string &out)
{
    std::vector<std::string> lines;
    for (std::string &l : trimmed_lines(out))
        if (!l.empty())
            lines.push_back(l);
    return lines;
}

// The claim against what the run printed and returned; empty when it holds.
std::string check(Boards &boards, const Row &row, const Planned &run)
{
    const Claim &c = run.claim;
    SimRun r = boards.run(run.model, row.option, run.path, "");
    std::vector<std::string> lines = nonblank_lines(r.out);
    bool holds = false;
    std::string want;
    switch (c.kind) {
    case Kind::Answers:
        holds = r.status == 0;
        want = "status 0";
        break;
    case Kind::Status:
        holds = r.status == 2 && holds_code(r.out, c.code);
        want = c.code + " and status 2";
        break;
    case Kind::WithoutFpga:
        holds = r.status == 2 && std::any_of(c.codes.begin(), c.codes.end(),
                                             [&](const std::string &code) { return holds_code(r.out, code); });
        want = "a model without the FPGA's status and status 2";
        break;
    case Kind::Prints:
        holds = r.status == 2 && std::search(lines.begin(), lines.end(), c.lines.begin(), c.lines.end()) != lines.end();
        want = "the lines named, status 2";
        break;
    case Kind::PrintsOnly:
        holds = r.status == 2 && lines == c.lines;
        want = "only the lines named, status 2";
        break;
    case Kind::Needs: {
        SimRun with = boards.run(run.model, row.option, run.path, c.fixture);
        holds = r.status != 0 && with.status == 0;
        want = "a failure without the fixture, status 0 with it (" + std::to_string(with.status) + ": " + with.out +
               with.err + ")";
        break;
    }
    }
    if (holds)
        return "";
    return std::string(kModels[run.model].word) + " " + row.option + " " + run.path + ": wanted " + want + ", got " +
           std::to_string(r.status) + "\n" + r.out + r.err;
}

// A row's claim to check.
struct Job {
    const Row *row;
    Planned run;
};

void write_all(int fd, const std::string &text)
{
    for (size_t at = 0; at < text.size();) {
        ssize_t n = write(fd, text.data() + at, text.size() - at);
        if (n <= 0)
            return;
        at += static_cast<size_t>(n);
    }
}

// The fault of each job (empty where its claim holds), found by `workers`
// child processes at once, each on boards of its own under `root`: the runs
// are independent of one another, and the boards are the slow part.
std::vector<std::string> faults_of(const std::vector<Job> &jobs, const std::string &root, size_t workers)
{
    std::vector<std::pair<pid_t, int>> children;
    for (size_t w = 0; w < workers; w++) {
        int fds[2];
        if (pipe(fds) != 0)
            return {};
        std::fflush(stdout);
        std::fflush(stderr);
        pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            Boards boards{root + "/" + std::to_string(w), {}};
            std::string text;
            for (size_t i = w; i < jobs.size(); i += workers) {
                std::string fault = check(boards, *jobs[i].row, jobs[i].run);
                text += std::to_string(i) + " " + std::to_string(fault.size()) + "\n" + fault;
            }
            write_all(fds[1], text);
            _exit(0);
        }
        close(fds[1]);
        children.emplace_back(pid, fds[0]);
    }
    std::vector<std::string> faults(jobs.size(), "its worker gave no answer");
    for (auto [pid, fd] : children) {
        std::string text;
        char buf[4096];
        for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
            text.append(buf, static_cast<size_t>(n));
        close(fd);
        waitpid(pid, nullptr, 0);
        std::istringstream in(text);
        for (size_t i, size; in >> i >> size && in.get() == '\n' && i < jobs.size();) {
            faults[i].assign(size, '\0');
            in.read(faults[i].data(), static_cast<std::streamsize>(size));
        }
    }
    return faults;
}

TEST(ReadmeTable, EveryRowsClaimsHoldOnFreshBoards)
{
    const std::vector<std::string> section = readme_section("## Commands");
    const std::string text = section_text(section);
    ASSERT_NE(text.find(kDefaultsSentence), std::string::npos) << "the README no longer states the defaults";
    // The sentence on models without the FPGA, and its statuses.
    size_t at = text.find("A model without the FPGA");
    ASSERT_NE(at, std::string::npos);
    const std::string sentence = text.substr(at, text.find(". ", at) - at);
    std::vector<std::string> codes;
    const std::regex code("-[0-9]+");
    for (auto it = std::sregex_iterator(sentence.begin(), sentence.end(), code); it != std::sregex_iterator(); ++it)
        codes.push_back(it->str());
    ASSERT_FALSE(codes.empty()) << sentence;

    const std::vector<Row> rows = table_rows(section);
    ASSERT_GT(rows.size(), 50u);
    std::vector<Job> jobs;
    for (const Row &row : rows)
        for (const Planned &run : plan(row, section, codes))
            jobs.push_back({&row, run});
    EXPECT_GT(jobs.size(), rows.size() * 9);
    TempDir dir;
    const std::vector<std::string> faults = faults_of(jobs, dir.path, 4);
    ASSERT_EQ(faults.size(), jobs.size());
    for (const std::string &fault : faults)
        EXPECT_EQ(fault, "");
}

} // namespace
