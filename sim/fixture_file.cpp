#include "sim/fixture_file.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "sim/asmf_model.h"
#include "sim/ipmi_model.h"
#include "sim/fpga_model.h"
#include "sim/media_model.h"
#include "sim/disk_model.h"
#include "sim/mpt_model.h"
#include "sim/sas_disks.h"
#include "sim/uncore_model.h"
#include "sim/spi_flash_model.h"
#include "sim/pci_bus.h"
#include "sim/ruga_model.h"
#include "sim/smbios_image.h"
#include "sim/kit/sim_doc.h"
#include "sim/kit/sim_fd.h"
#include "sim/kit/sim_words.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"

namespace {

struct ErrnoName {
    const char *name;
    int value;
};

constexpr ErrnoName kErrnoNames[] = {
    {"EPERM", EPERM},   {"ENOENT", ENOENT}, {"EINTR", EINTR},   {"EIO", EIO},         {"ENXIO", ENXIO},
    {"EBADF", EBADF},   {"EAGAIN", EAGAIN}, {"ENOMEM", ENOMEM}, {"EACCES", EACCES},   {"EFAULT", EFAULT},
    {"EBUSY", EBUSY},   {"EEXIST", EEXIST}, {"ENODEV", ENODEV}, {"EINVAL", EINVAL},   {"ENOSPC", ENOSPC},
    {"ENOTTY", ENOTTY}, {"EROFS", EROFS},   {"EPIPE", EPIPE},   {"ERANGE", ERANGE},   {"ENOSYS", ENOSYS},
    {"ETIMEDOUT", ETIMEDOUT}, {"EOPNOTSUPP", EOPNOTSUPP}, {"EADDRINUSE", EADDRINUSE},
};

// The files the run's file lines wrote: canonical path -> the line that
// wrote it ("board.fix:3"). A device model may not take such a path over.
std::map<std::string, std::string> g_writtenFiles;

// One line being checked (apply false) or applied.
struct Fact {
    const std::vector<std::string> &w;
    bool apply;
    const std::string &at;  // where the line stands: "FILE:LINE", the name escaped
    std::string error;

    bool fail(std::string message)
    {
        error = std::move(message);
        return false;
    }

    bool number(size_t i, uint64_t &out)
    {
        return sim_doc_number(w[i], out) || fail("'" + sim_clip(w[i]) + "' is not a number");
    }

    bool text(size_t i, std::string &out)
    {
        return sim_doc_unquote(w[i], out) || fail("'" + sim_clip(w[i]) + "' is not a double-quoted text");
    }

    bool path(size_t i)
    {
        const std::string &p = w[i];
        if (p.empty() || p[0] != '/')
            return fail("'" + sim_clip(p) + "' is not an absolute path");
        if (p.find('\0') != std::string::npos)
            return fail("'" + sim_clip(p) + "' holds a NUL byte");
        if (("/" + p + "/").find("/../") != std::string::npos)
            return fail("'" + sim_clip(p) + "' leaves the root");
        return true;
    }

    bool node(size_t i)
    {
        return path(i) && (sim_node_present(w[i]) || fail("no node " + sim_clip(w[i]) + " on this board"));
    }

    // A packet FPGA, the only node with direct and indirect registers.
    bool fpga(size_t i)
    {
        return node(i) && (fpga_has_node(w[i]) || fail(w[i] + " is not a packet FPGA (" + w[0] + " is for its registers)"));
    }

    bool err(size_t i, int &out)
    {
        for (const ErrnoName &e : kErrnoNames)
            if (w[i] == e.name) {
                out = e.value;
                return true;
            }
        uint64_t v = 0;
        if (sim_doc_number(w[i], v) && v > 0 && v < 4096) {
            out = static_cast<int>(v);
            return true;
        }
        return fail("'" + sim_clip(w[i]) + "' is not an errno name or number");
    }

    bool nth(size_t i, unsigned &out)
    {
        uint64_t v = 0;
        if (i >= w.size()) {
            out = 0;
            return true;
        }
        if (!number(i, v))
            return false;
        if (v == 0 || v > UINT_MAX)
            return fail("the call number must be 1 or more");
        out = static_cast<unsigned>(v);
        return true;
    }
};

// A direct register's address: one the driver reaches, as the saved board
// holds it.
bool reg_addr(Fact &f, size_t i, uint64_t &out)
{
    return f.number(i, out) &&
           (out <= kFpgaMaxRegAddr || f.fail("'" + sim_clip(f.w[i]) + "' is past the last register " +
                                             sim_doc_hex(kFpgaMaxRegAddr)));
}

bool fact_reg(Fact &f)
{
    uint64_t addr = 0, value = 0;
    if (!f.fpga(1) || !reg_addr(f, 2, addr) || !f.number(3, value))
        return false;
    if (f.apply)
        fpga_set_reg(f.w[1], addr, value);
    return true;
}

bool fact_reads(Fact &f)
{
    uint64_t addr = 0;
    if (!f.fpga(1) || !reg_addr(f, 2, addr))
        return false;
    std::vector<uint64_t> values(f.w.size() - 3);
    for (size_t i = 3; i < f.w.size(); i++)
        if (!f.number(i, values[i - 3]))
            return false;
    if (f.apply)
        fpga_script_reads(f.w[1], addr, values);
    return true;
}

bool fact_indir(Fact &f)
{
    uint64_t base = 0;
    if (!f.fpga(1) || !f.number(2, base))
        return false;
    std::vector<uint64_t> key, words;
    bool value = false;
    for (size_t i = 3; i < f.w.size(); i++) {
        if (f.w[i] == "=" && !value) {
            value = true;
            continue;
        }
        uint64_t v = 0;
        if (!f.number(i, v))
            return false;
        (value ? words : key).push_back(v);
    }
    if (!value || key.empty())
        return f.fail("usage: indir NODE BASE KEY... = WORD...");
    if (key.size() > kFpgaMaxIndirWords || words.size() > kFpgaMaxIndirWords)
        return f.fail("an entry has at most " + std::to_string(kFpgaMaxIndirWords) + " key words and as many words");
    if (f.apply)
        fpga_put_indirect(f.w[1], base, key, words);
    return true;
}

// A plain file of the board: not the root, not the simulator's own files,
// not a directory. Its path resolves as the tool's own paths do, links
// inside the root staying in it; a path that does not resolve (a link
// loop) is refused. A path the board serves itself is refused when the line
// is applied (an earlier line may have made or removed the node).
bool fact_file(Fact &f)
{
    std::string content;
    if (!f.path(1) || !f.text(2, content))
        return false;
    std::string canon;
    const int r = sim_resolve(f.w[1], true, canon);
    if (r < 0 && r != -EACCES)
        return f.fail("'" + sim_clip(f.w[1]) + "': " + std::strerror(-r));
    if (r == -EACCES || canon == "/")
        return f.fail(sim_clip(f.w[1]) + " is not a file a fixture may write");
    if (f.w[1].ends_with('/') || f.w[1].ends_with("/."))
        return f.fail(sim_clip(f.w[1]) + " is a directory (a path ending in '/' or '/.')");
    if (sim_is_dir(canon))
        return f.fail(sim_clip(f.w[1]) + " is a directory");
    if (!f.apply)
        return true;
    if (sim_node_present(canon))
        return f.fail(sim_clip(f.w[1]) + " is served by the board itself (a file there would never be read)");
    try {
        sim_write_file(f.w[1], content);
    } catch (const std::filesystem::filesystem_error &e) {
        return f.fail(sim_clip(f.w[1]) + ": " + e.code().message());
    } catch (const std::exception &e) {
        return f.fail(sim_clip(f.w[1]) + ": " + sim_clip(e.what()));
    }
    g_writtenFiles[canon] = f.at;
    return true;
}

bool fact_command(Fact &f)
{
    SimShellScript script;
    std::string command;
    uint64_t status = 0;
    if (!f.text(1, command) || !f.number(2, status) || (f.w.size() > 3 && !f.text(3, script.output)))
        return false;
    if (command.empty())
        return f.fail("an empty command");
    if (status > 255)
        return f.fail("an exit status is 0 to 255");
    script.status = static_cast<int>(status << 8);  // the wait status of a normal exit
    if (f.apply)
        sim_script_command(command, std::move(script));
    return true;
}

bool fact_fail_open(Fact &f)
{
    int err = 0;
    if (!f.path(1) || !f.err(2, err))
        return false;
    if (f.apply)
        sim_fail_open(f.w[1], err);
    return true;
}

bool fact_fail_request(Fact &f)
{
    uint64_t request = 0;
    int err = 0;
    unsigned nth = 0;
    if (!f.node(1) || !f.number(2, request) || !f.err(3, err) || !f.nth(4, nth))
        return false;
    if (f.apply)
        sim_fail_request(f.w[1], static_cast<unsigned long>(request), err, nth);
    return true;
}

bool fact_request_result(Fact &f)
{
    uint64_t request = 0, result = 0;
    unsigned nth = 0;
    if (!f.node(1) || !f.number(2, request) || !f.number(3, result) || !f.nth(4, nth))
        return false;
    if (result == 0 || result > INT_MAX)
        return f.fail("a request result is 1 to " + std::to_string(INT_MAX));
    if (f.apply)
        sim_request_result(f.w[1], static_cast<unsigned long>(request), static_cast<int>(result), nth);
    return true;
}

// A little-endian dword of physical memory, as "/dev/mem" reads it; its
// four bytes lie below the memory's end.
bool fact_phys(Fact &f)
{
    uint64_t addr = 0, value = 0;
    if (!f.number(1, addr) || !f.number(2, value))
        return false;
    if (value > UINT32_MAX)
        return f.fail("a physical-memory word is at most 0xffffffff");
    uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    if (addr > kSimPhysSize - sizeof bytes)
        return f.fail("the dword at '" + sim_clip(f.w[1]) + "' does not lie below " + sim_doc_hex(kSimPhysSize) +
                      ", the end of physical memory");
    if (f.apply)
        sim_phys_write(addr, bytes, sizeof bytes);
    return true;
}

bool fact_missing(Fact &f)
{
    if (!f.node(1))
        return false;
    if (f.apply)
        sim_remove_node(f.w[1]);
    return true;
}

struct FactRow {
    const char *verb;
    size_t minWords;  // the verb included
    size_t maxWords;
    const char *usage;
    bool (*run)(Fact &f);
};

constexpr size_t kAny = SIZE_MAX;

constexpr FactRow kFacts[] = {
    {"reg", 4, 4, "reg NODE ADDR VALUE", fact_reg},
    {"reads", 4, kAny, "reads NODE ADDR VALUE...", fact_reads},
    {"indir", 5, kAny, "indir NODE BASE KEY... = WORD...", fact_indir},
    {"file", 3, 3, "file PATH \"CONTENT\"", fact_file},
    {"command", 3, 4, "command \"TEXT\" STATUS [\"OUTPUT\"]", fact_command},
    {"fail-open", 3, 3, "fail-open PATH ERRNO", fact_fail_open},
    {"fail-request", 4, 5, "fail-request NODE REQUEST ERRNO [NTH]", fact_fail_request},
    {"request-result", 4, 5, "request-result NODE REQUEST RESULT [NTH]", fact_request_result},
    {"missing", 2, 2, "missing NODE", fact_missing},
    {"phys", 3, 3, "phys ADDR DWORD", fact_phys},
};

// Facts a device model reads itself, by the prefix of their verb (or, for a
// format of its own such as a configuration dump, by a test of the first
// word); they are checked when applied.
// A model that only some boards carry names its node, or its device in the
// board's profile: its lines are refused on a board without it.
struct ModelFactRow {
    std::string_view prefix;
    bool (*apply)(std::string_view line, std::string &error);
    bool (*owns)(std::string_view word) = nullptr;
    const char *node = nullptr;
    const char *device = nullptr;
};

constexpr ModelFactRow kModelFacts[] = {
    {"mpt-", mpt_fixture_line},
    {"flash-", spi_flash_fixture_line},
    {"media-", media_fixture_line, nullptr, "/dev/media_dev"},
    {"ruga-", ruga_fixture_line},
    {"", pci_fixture_line, pci_fixture_owns},
    {"disk-", disk_fixture_line},
    {"asmf-", asmf_fixture_line, nullptr, "/dev/acce_dev0"},
    {"ipmi-", ipmi_fixture_line},
    {"sas-", sas_fixture_line},
    {"smbios-", smbios_fixture_line},
    {"uncore-", uncore_fixture_line, nullptr, nullptr, "uncore"},
};

bool profile_has_device(const char *name)
{
    const SimBoardProfile *board = sim_board_current();
    if (board == nullptr)
        return false;
    for (const SimBoardDevice &d : board->devices)
        if (std::string_view(d.name) == name)
            return true;
    return false;
}

// Whether the board carries the model of a row's line `verb`.
bool board_has_model(const ModelFactRow &row, const std::string &verb, std::string &error)
{
    if (row.node && !sim_node_present(row.node)) {
        error = "no " + std::string(row.node) + " on this board for '" + sim_clip(verb) + "'";
        return false;
    }
    if (row.device && !profile_has_device(row.device)) {
        error = "no " + std::string(row.device) + " model on this board for '" + sim_clip(verb) + "'";
        return false;
    }
    return true;
}

// A model line that made the board serve a path a file line of the run
// wrote: that file would never be read.
bool hides_a_written_file(std::string &error)
{
    for (const auto &[canon, at] : g_writtenFiles)
        if (sim_node_present(canon)) {
            error = sim_clip(canon) + ", written by " + at +
                    ", is now served by the board itself (the file would never be read)";
            return true;
        }
    return false;
}

// A model checks its line as it applies it; whatever it throws becomes the
// line's error.
bool apply_model_line(const ModelFactRow &row, std::string_view line, std::string &error)
{
    try {
        return row.apply(line, error);
    } catch (const std::exception &e) {
        error = sim_clip(e.what());
        return false;
    }
}

// One line, standing at `at` ("FILE:LINE"); true for a blank or comment line.
bool run_line(std::string_view line, bool apply, const std::string &at, std::string &error)
{
    std::vector<std::string> words;
    if (!sim_doc_tokens(line, words, error))
        return false;
    if (words.empty())
        return true;
    for (const ModelFactRow &row : kModelFacts) {
        if (!(row.owns ? row.owns(words[0]) : words[0].starts_with(row.prefix)))
            continue;
        if (!board_has_model(row, words[0], error))
            return false;
        return !apply || (apply_model_line(row, line, error) && !hides_a_written_file(error));
    }
    for (const FactRow &row : kFacts) {
        if (words[0] != row.verb)
            continue;
        if (words.size() < row.minWords || words.size() > row.maxWords) {
            error = std::string("usage: ") + row.usage;
            return false;
        }
        Fact f{words, apply, at, {}};
        if (row.run(f))
            return true;
        error = f.error;
        return false;
    }
    error = "unknown fact '" + sim_clip(words[0]) + "'";
    return false;
}

bool run_text(std::string_view text, const std::string &file, bool apply, std::string &error)
{
    const std::string name = sim_escape(file);
    int n = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        n++;
        std::string why;
        if (!run_line(line, apply, name + ":" + std::to_string(n), why)) {
            error = sim_line_error(file, n, why);
            return false;
        }
    }
    return true;
}

} // namespace

bool sim_fixture_apply(std::string_view text, const std::string &file, std::string &error)
{
    return run_text(text, file, false, error) && run_text(text, file, true, error);
}

bool sim_fixture_load(const std::string &path, std::string &error)
{
    auto failed = [&](const std::string &why) {
        error = sim_escape(path) + ": " + why;
        return false;
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return failed("a directory, not a fixture file");
    const SimFd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (in.fd < 0 || ::fstat(in.fd, &st) != 0)
        return failed(std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        return failed("a directory, not a fixture file");
    const std::string tooLarge = "larger than " + std::to_string(kSimFixtureMaxBytes >> 20) + " MiB, not a fixture file";
    if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > kSimFixtureMaxBytes)
        return failed(tooLarge);
    // A pipe or a device has no size to look at: read one byte past the
    // bound, and no further.
    std::string text;
    if (const int err = sim_read_all(in.fd, text, kSimFixtureMaxBytes + 1))
        return failed(std::strerror(err));
    if (text.size() > kSimFixtureMaxBytes)
        return failed(tooLarge);
    return sim_fixture_apply(text, path, error);
}

void sim_fixture_begin_run() { g_writtenFiles.clear(); }

SimFixtureForms sim_fixture_forms()
{
    SimFixtureForms forms;
    for (const FactRow &row : kFacts)
        forms.usages.push_back(row.usage);
    for (const ModelFactRow &row : kModelFacts)
        forms.modelPrefixes.push_back(row.prefix);
    return forms;
}
