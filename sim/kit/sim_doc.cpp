#include "sim/kit/sim_doc.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <utility>
#include <unistd.h>

#include "sim/kit/sim_fd.h"
#include "sim/kit/sim_words.h"

namespace {

constexpr std::string_view kHeadWord = "quorbix-sim";
constexpr std::string_view kBlanks = " \t\r";

std::string_view trim(std::string_view s)
{
    size_t b = s.find_first_not_of(kBlanks);
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(kBlanks) - b + 1);
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One line of the body: a section head or a key line.
bool parse_line(std::string_view line, int n, SimDoc &doc)
{
    if (line.front() == '[') {
        if (line.back() != ']')
            return doc.fail(n, "section head without ']'");
        std::string_view name = trim(line.substr(1, line.size() - 2));
        if (name.empty())
            return doc.fail(n, "section without a name");
        if (doc.find(name))
            return doc.fail(n, "section [" + std::string(name) + "] given twice");
        doc.section(name).line = n;
        return true;
    }
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return doc.fail(n, "expected 'key = value' or '[section]'");
    if (doc.sections.empty())
        return doc.fail(n, "a key before the first section");
    std::string_view key = trim(line.substr(0, eq));
    if (key.empty())
        return doc.fail(n, "a line without a key");
    SimDocSection &s = doc.sections.back();
    if (s.find(key))
        return doc.fail(n, "key '" + std::string(key) + "' given twice in [" + s.name + "]");
    s.put_raw(key, std::string(trim(line.substr(eq + 1))));
    s.entries.back().line = n;
    return true;
}

bool parse_head(std::string_view line, int n, std::string_view kind, SimDoc &doc)
{
    std::vector<std::string_view> w = sim_doc_words(line);
    uint64_t version = 0;
    if (w.size() != 3 || w[0] != kHeadWord || !sim_doc_number(w[2], version) || version == 0 ||
        version > 0xFFFF)
        return doc.fail(n, "not a quorbix-sim document (expected 'quorbix-sim " + std::string(kind) +
                               " VERSION')");
    if (w[1] != kind)
        return doc.fail(n, "a '" + std::string(w[1]) + "' document, expected '" + std::string(kind) + "'");
    doc.kind = std::string(kind);
    doc.version = static_cast<unsigned>(version);
    return true;
}

} // namespace

// ---- sections ---------------------------------------------------------------------

SimDocSection &SimDocSection::put_raw(std::string_view key, std::string value)
{
    if (auto it = index.find(key); it != index.end()) {
        entries[it->second].value = std::move(value);
        return *this;
    }
    index.emplace(std::string(key), entries.size());
    entries.push_back({std::string(key), std::move(value), 0});
    return *this;
}

SimDocSection &SimDocSection::put(std::string_view key, uint64_t value) { return put_raw(key, sim_doc_hex(value)); }

SimDocSection &SimDocSection::put(std::string_view key, const std::vector<uint64_t> &words)
{
    std::string v;
    for (uint64_t w : words)
        v += (v.empty() ? "" : " ") + sim_doc_hex(w);
    return put_raw(key, std::move(v));
}

SimDocSection &SimDocSection::put_bytes(std::string_view key, const std::vector<uint8_t> &bytes)
{
    return put_raw(key, sim_doc_quote(std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size())));
}

SimDocSection &SimDocSection::put_text(std::string_view key, std::string_view text)
{
    return put_raw(key, sim_doc_quote(text));
}

const SimDocEntry *SimDocSection::find(std::string_view key) const
{
    auto it = index.find(key);
    return it == index.end() ? nullptr : &entries[it->second];
}

// ---- the document -------------------------------------------------------------------

namespace {

// The position of section `name` in doc.sections, or its size when there is
// none. The index first takes in what the vector holds beyond it; a lookup
// whose entry no longer matches its section (the vector was changed behind
// the index) makes it again from the start. The first section of a name
// wins, as a scan finds it.
size_t section_at(const SimDoc &doc, std::string_view name)
{
    for (int pass = 0; pass < 2; pass++) {
        if (doc.indexed > doc.sections.size() || pass == 1) {
            doc.sectionIndex.clear();
            doc.indexed = 0;
        }
        for (; doc.indexed < doc.sections.size(); doc.indexed++)
            doc.sectionIndex.emplace(doc.sections[doc.indexed].name, doc.indexed);
        auto it = doc.sectionIndex.find(name);
        if (it == doc.sectionIndex.end())
            return doc.sections.size();
        if (it->second < doc.sections.size() && doc.sections[it->second].name == name)
            return it->second;
    }
    return doc.sections.size();
}

} // namespace

SimDocSection &SimDoc::section(std::string_view name)
{
    if (size_t at = section_at(*this, name); at < sections.size())
        return sections[at];
    sections.push_back({});
    sections.back().name = std::string(name);
    return sections.back();
}

const SimDocSection *SimDoc::find(std::string_view name) const
{
    const size_t at = section_at(*this, name);
    return at < sections.size() ? &sections[at] : nullptr;
}

bool SimDoc::fail(int line, std::string_view message)
{
    if (error.empty())
        error = sim_line_error(file.empty() ? "(document)" : file, line, message);
    return false;
}

bool SimDoc::get(const SimDocEntry &e, uint64_t &out)
{
    return sim_doc_number(e.value, out) || fail(e.line, "'" + e.key + "' wants an integer, not '" + e.value + "'");
}

bool SimDoc::get(const SimDocEntry &e, std::vector<uint64_t> &out)
{
    out.clear();
    for (std::string_view w : sim_doc_words(e.value)) {
        uint64_t v = 0;
        if (!sim_doc_number(w, v))
            return fail(e.line, "'" + e.key + "' wants integers, not '" + std::string(w) + "'");
        out.push_back(v);
    }
    return true;
}

bool SimDoc::get_text(const SimDocEntry &e, std::string &out)
{
    return sim_doc_unquote(e.value, out) ||
           fail(e.line, "'" + e.key + "' wants a double-quoted string, not '" + e.value + "'");
}

bool sim_doc_replay(SimDoc &doc, std::string_view name,
                    const std::function<bool(const SimDocEntry &, std::string &line, std::string &err)> &apply)
{
    const SimDocSection *section = doc.find(name);
    if (section == nullptr)
        return true;
    for (const SimDocEntry &e : section->entries) {
        std::string line, err;
        if (!doc.get_text(e, line))
            return false;
        if (!apply(e, line, err))
            return doc.fail(e.line, err);
    }
    return true;
}

bool SimDoc::get_bytes(const SimDocEntry &e, std::vector<uint8_t> &out)
{
    std::string text;
    if (!get_text(e, text))
        return false;
    out.assign(text.begin(), text.end());
    return true;
}

bool SimDoc::get(const SimDocSection &s, std::string_view key, uint64_t &out)
{
    const SimDocEntry *e = s.find(key);
    return e && get(*e, out);
}

bool SimDoc::get(const SimDocSection &s, std::string_view key, std::vector<uint64_t> &out)
{
    const SimDocEntry *e = s.find(key);
    return e && get(*e, out);
}

bool SimDoc::get_bytes(const SimDocSection &s, std::string_view key, std::vector<uint8_t> &out)
{
    const SimDocEntry *e = s.find(key);
    return e && get_bytes(*e, out);
}

bool SimDoc::get_text(const SimDocSection &s, std::string_view key, std::string &out)
{
    const SimDocEntry *e = s.find(key);
    return e && get_text(*e, out);
}

// ---- bounded reads ----------------------------------------------------------------------

namespace {

std::string size_text(size_t minSize, size_t maxSize)
{
    return minSize == maxSize ? std::to_string(minSize) : std::to_string(minSize) + " to " + std::to_string(maxSize);
}

} // namespace

bool SimDoc::get(const SimDocEntry &e, uint64_t &out, uint64_t max)
{
    uint64_t v = 0;
    if (!get(e, v))
        return false;
    if (v > max)
        return fail(e.line, "'" + e.key + "' is " + sim_doc_hex(v) + ", above its largest value " + sim_doc_hex(max));
    out = v;
    return true;
}

bool SimDoc::get_signed(const SimDocEntry &e, int64_t &out, int64_t min, int64_t max)
{
    uint64_t v = 0;
    if (!get(e, v))
        return false;
    const auto s = static_cast<int64_t>(v);
    if (s < min || s > max)
        return fail(e.line, "'" + e.key + "' is " + std::to_string(s) + ", outside " + std::to_string(min) + " to " +
                                std::to_string(max));
    out = s;
    return true;
}

bool SimDoc::get(const SimDocEntry &e, std::vector<uint64_t> &out, size_t count, uint64_t max)
{
    std::vector<uint64_t> words;
    if (!get(e, words))
        return false;
    if (words.size() > count)
        return fail(e.line, "'" + e.key + "' holds " + std::to_string(words.size()) + " integers, at most " +
                                std::to_string(count) + " expected");
    for (uint64_t w : words)
        if (w > max)
            return fail(e.line, "'" + e.key + "' holds " + sim_doc_hex(w) + ", above its largest value " +
                                    sim_doc_hex(max));
    out = std::move(words);
    return true;
}

bool SimDoc::get_bytes(const SimDocEntry &e, std::vector<uint8_t> &out, size_t minSize, size_t maxSize)
{
    std::vector<uint8_t> bytes;
    if (!get_bytes(e, bytes))
        return false;
    if (bytes.size() < minSize || bytes.size() > maxSize)
        return fail(e.line, "'" + e.key + "' holds " + std::to_string(bytes.size()) + " bytes, " +
                                size_text(minSize, maxSize) + " expected");
    out = std::move(bytes);
    return true;
}

bool SimDoc::get_text(const SimDocEntry &e, std::string &out, size_t maxSize)
{
    std::string text;
    if (!get_text(e, text))
        return false;
    if (text.size() > maxSize)
        return fail(e.line, "'" + e.key + "' holds " + std::to_string(text.size()) + " bytes, at most " +
                                std::to_string(maxSize) + " expected");
    out = std::move(text);
    return true;
}

bool SimDoc::get(const SimDocSection &s, std::string_view key, uint64_t &out, uint64_t max)
{
    const SimDocEntry *e = s.find(key);
    return e && get(*e, out, max);
}

bool SimDoc::get_signed(const SimDocSection &s, std::string_view key, int64_t &out, int64_t min, int64_t max)
{
    const SimDocEntry *e = s.find(key);
    return e && get_signed(*e, out, min, max);
}

bool SimDoc::get(const SimDocSection &s, std::string_view key, std::vector<uint64_t> &out, size_t count, uint64_t max)
{
    const SimDocEntry *e = s.find(key);
    return e && get(*e, out, count, max);
}

bool SimDoc::get_bytes(const SimDocSection &s, std::string_view key, std::vector<uint8_t> &out, size_t minSize,
                       size_t maxSize)
{
    const SimDocEntry *e = s.find(key);
    return e && get_bytes(*e, out, minSize, maxSize);
}

bool SimDoc::get_text(const SimDocSection &s, std::string_view key, std::string &out, size_t maxSize)
{
    const SimDocEntry *e = s.find(key);
    return e && get_text(*e, out, maxSize);
}

// ---- text ------------------------------------------------------------------------------

std::string sim_doc_format(const SimDoc &doc)
{
    std::string out = std::string(kHeadWord) + " " + doc.kind + " " + std::to_string(doc.version) + "\n";
    for (const SimDocSection &s : doc.sections) {
        out += "\n[" + s.name + "]\n";
        for (const SimDocEntry &e : s.entries)
            out += e.key + " =" + (e.value.empty() ? "" : " ") + e.value + "\n";
    }
    return out;
}

bool sim_doc_parse(std::string_view text, const std::string &file, std::string_view kind, SimDoc &doc)
{
    doc = SimDoc{};
    doc.file = file;
    bool head = false;
    int n = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        n++;
        if (line.empty() || line.front() == '#')
            continue;
        if (!(head ? parse_line(line, n, doc) : parse_head(line, n, kind, doc)))
            return false;
        head = true;
    }
    return head || doc.fail(n, "empty document");
}

namespace {

// Open flags of the document files: no link followed, no wait on a special
// file, never a controlling terminal.
constexpr int kDocOpen = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// What an open of a document file failed on, as a reason.
std::string open_reason(int err)
{
    return err == ELOOP ? "a link, not a regular file" : std::strerror(err);
}

SimDocRead read_bad(SimDoc &doc, const std::string &reason)
{
    doc.error = sim_escape(doc.file) + ": " + reason;
    return SimDocRead::Bad;
}

// The directory part of a real path ("." for none) and its last name.
std::pair<std::string, std::string> split_path(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

} // namespace

SimDocRead sim_doc_read(int dirfd, const std::string &name, const std::string &shown, std::string_view kind,
                        SimDoc &doc)
{
    doc = SimDoc{};
    doc.file = shown;
    const SimFd f(::openat(dirfd, name.c_str(), O_RDONLY | kDocOpen));
    if (f.fd < 0)
        return errno == ENOENT ? SimDocRead::Missing : read_bad(doc, open_reason(errno));
    struct stat st {};
    if (::fstat(f.fd, &st) != 0)
        return read_bad(doc, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        return read_bad(doc, "not a regular file");
    std::string text;
    if (sim_read_all(f.fd, text) != 0)
        return read_bad(doc, "read error");
    return sim_doc_parse(text, shown, kind, doc) ? SimDocRead::Ok : SimDocRead::Bad;
}

SimDocRead sim_doc_read(const std::string &path, std::string_view kind, SimDoc &doc)
{
    const auto [dir, name] = split_path(path);
    const SimFd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.fd < 0) {
        doc = SimDoc{};
        doc.file = path;
        return errno == ENOENT ? SimDocRead::Missing : read_bad(doc, std::strerror(errno));
    }
    return sim_doc_read(d.fd, name, path, kind, doc);
}

bool sim_doc_write(int dirfd, const std::string &name, const std::string &shown, const SimDoc &doc,
                   std::string &error)
{
    const std::string tmp = name + ".tmp";
    const std::string tmpShown = shown + ".tmp";
    auto failed = [&error](const std::string &file, const std::string &reason) {
        error = sim_escape(file) + ": " + reason;
        return false;
    };
    // A temp file left by a run that stopped, whatever it is (a link, a
    // FIFO), goes; the new one is made afresh and never followed.
    if (::unlinkat(dirfd, tmp.c_str(), 0) != 0 && errno != ENOENT)
        return failed(tmpShown, std::strerror(errno));
    int err = 0;
    {
        const SimFd f(::openat(dirfd, tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | kDocOpen, 0644));
        if (f.fd < 0)
            return failed(tmpShown, open_reason(errno));
        err = sim_write_all(f.fd, sim_doc_format(doc));
        if (err == 0 && ::fsync(f.fd) != 0)
            err = errno;
    }
    if (err == 0 && ::renameat(dirfd, tmp.c_str(), dirfd, name.c_str()) == 0)
        return true;
    const bool renaming = err == 0;
    err = renaming ? errno : err;
    ::unlinkat(dirfd, tmp.c_str(), 0);
    return failed(renaming ? shown : tmpShown, std::strerror(err));
}

bool sim_doc_write(const std::string &path, const SimDoc &doc, std::string &error)
{
    const auto [dir, name] = split_path(path);
    const SimFd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d.fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return sim_doc_write(d.fd, name, path, doc, error);
}

int sim_write_all(int fd, std::string_view bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    return 0;
}

int sim_read_all(int fd, std::string &out, size_t limit)
{
    char buf[65536];
    for (size_t done = 0; done < limit;) {
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, limit - done));
        if (n == 0)
            break;
        if (n < 0 && errno != EINTR)
            return errno;
        if (n > 0) {
            out.append(buf, static_cast<size_t>(n));
            done += static_cast<size_t>(n);
        }
    }
    return 0;
}

// ---- shared pieces ------------------------------------------------------------------------

bool sim_doc_number(std::string_view text, uint64_t &out)
{
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return false;
    uint64_t v = 0;
    for (char c : text) {
        int d = hex_digit(c);
        if (d < 0 || static_cast<unsigned>(d) >= base)
            return false;
        if (v > (UINT64_MAX - static_cast<uint64_t>(d)) / base)
            return false;
        v = v * base + static_cast<uint64_t>(d);
    }
    out = v;
    return true;
}

std::string sim_doc_hex(uint64_t value)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(value));
    return buf;
}

std::string sim_doc_quote(std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out = "\"";
    for (char ch : bytes) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c >= 0x20 && c < 0x7F) {
                out += ch;
            } else {
                out += "\\x";
                out += kDigits[c >> 4];
                out += kDigits[c & 0xF];
            }
        }
    }
    return out + "\"";
}

bool sim_doc_unquote(std::string_view text, std::string &out)
{
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return false;
    text = text.substr(1, text.size() - 2);
    out.clear();
    for (size_t i = 0; i < text.size(); i++) {
        char c = text[i];
        if (c == '"')
            return false;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == text.size())
            return false;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
            int hi = i + 1 < text.size() ? hex_digit(text[i + 1]) : -1;
            int lo = i + 2 < text.size() ? hex_digit(text[i + 2]) : -1;
            if (hi < 0 || lo < 0)
                return false;
            out += static_cast<char>(hi << 4 | lo);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

bool sim_doc_tokens(std::string_view line, std::vector<std::string> &out, std::string &error)
{
    out.clear();
    size_t i = 0;
    while (i < line.size()) {
        if (kBlanks.find(line[i]) != std::string_view::npos) {
            i++;
            continue;
        }
        if (line[i] == '#')
            break;
        size_t start = i;
        if (line[i] == '"') {
            for (i++; i < line.size() && line[i] != '"'; i++)
                i += line[i] == '\\' ? 1 : 0;
            if (i >= line.size()) {
                error = "unterminated string";
                return false;
            }
            if (++i < line.size() && kBlanks.find(line[i]) == std::string_view::npos && line[i] != '#') {
                error = "a blank must follow a closing '\"'";
                return false;
            }
        } else {
            while (i < line.size() && kBlanks.find(line[i]) == std::string_view::npos)
                i++;
        }
        out.emplace_back(line.substr(start, i - start));
    }
    return true;
}

std::vector<std::string_view> sim_doc_words(std::string_view key)
{
    std::vector<std::string_view> out;
    size_t i = 0;
    while (true) {
        i = key.find_first_not_of(kBlanks, i);
        if (i == std::string_view::npos)
            return out;
        size_t end = key.find_first_of(kBlanks, i);
        out.push_back(key.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
        if (end == std::string_view::npos)
            return out;
        i = end;
    }
}
