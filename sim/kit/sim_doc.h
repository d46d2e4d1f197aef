// The simulator's own text documents: the saved board and the state each
// device model keeps in it.
//
//   quorbix-sim board 1                 <- kind and version, always first
//   # a comment
//   [fpga /dev/trans_pci]               <- a section, by name
//   reg 0x5c18 = 0x1                    <- key = value, key unique in its section
//   indir 0x40 0x1 = 0x2 0x3
//   rec shmem 0x0 = "\x01\x02abc"
//
// Keys are words (no '=', no line break, not starting with '[' or '#');
// values are written by type:
//   integer    0x-prefixed hexadecimal ("0x5c18")
//   word list  integers separated by one space (empty for none)
//   bytes/text one double-quoted string; printable ASCII stands for itself,
//              other bytes are \xHH, and \\ \" \n \r \t are escaped.
// Everything is named: state is never stored by enum position.
//
// Reading never throws. The first problem (a line that does not parse, a
// value of the wrong type) is kept in SimDoc::error as "file:line: message";
// typed getters return false then, and also for a missing key (error empty).
//
// Writing a model's state:
//     doc.section("fpga /dev/trans_pci").put("reg 0x5c18", value);
// reading it back:
//     const SimDocSection *s = doc.find("fpga /dev/trans_pci");
//     uint64_t v;
//     if (s && doc.get(*s, "reg 0x5c18", v)) ...
//     for (const SimDocEntry &e : s->entries) { auto words = sim_doc_words(e.key); ... }
#ifndef QUORBIX_SIM_KIT_SIM_DOC_H
#define QUORBIX_SIM_KIT_SIM_DOC_H

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct SimDocEntry {
    std::string key;
    std::string value;  // as written in the document (quoted, hex, ...)
    int line = 0;       // 0 when put by the program
};

struct SimDocSection {
    std::string name;
    int line = 0;
    std::vector<SimDocEntry> entries;                    // in document order
    std::map<std::string, size_t, std::less<>> index;    // key -> entries position

    // Put replaces the value of a key already present.
    SimDocSection &put(std::string_view key, uint64_t value);
    SimDocSection &put(std::string_view key, const std::vector<uint64_t> &words);
    SimDocSection &put_bytes(std::string_view key, const std::vector<uint8_t> &bytes);
    SimDocSection &put_text(std::string_view key, std::string_view text);
    const SimDocEntry *find(std::string_view key) const;
    // The raw value (already formatted); used by the typed puts.
    SimDocSection &put_raw(std::string_view key, std::string value);
};

struct SimDoc {
    std::string kind;       // "board", ...
    unsigned version = 1;
    std::string file;       // where it was read from, for error lines
    std::vector<SimDocSection> sections;                 // in document order
    std::string error;      // the first error, "file:line: message"

    // The section of that name, appended when missing. Both find it through
    // the index below, not by a scan, so reading a document costs its size.
    SimDocSection &section(std::string_view name);
    const SimDocSection *find(std::string_view name) const;

    // Section name -> position in `sections` (the first of a name). Kept by
    // section(); sections pushed onto the vector directly are taken in by
    // the next lookup. Code that renames or removes sections clears it.
    mutable std::map<std::string, size_t, std::less<>> sectionIndex;
    mutable size_t indexed = 0;    // sections the index covers

    // Typed reads of an entry, or of a key in a section.
    bool get(const SimDocEntry &e, uint64_t &out);
    bool get(const SimDocEntry &e, std::vector<uint64_t> &out);
    bool get_bytes(const SimDocEntry &e, std::vector<uint8_t> &out);
    bool get_text(const SimDocEntry &e, std::string &out);
    bool get(const SimDocSection &s, std::string_view key, uint64_t &out);
    bool get(const SimDocSection &s, std::string_view key, std::vector<uint64_t> &out);
    bool get_bytes(const SimDocSection &s, std::string_view key, std::vector<uint8_t> &out);
    bool get_text(const SimDocSection &s, std::string_view key, std::string &out);

    // The same reads bounded by what a model holds; a value out of bounds
    // fails with the entry's line: an integer of at most `max`; one written
    // as a 64-bit two's complement, from `min` to `max`; integers, at most
    // `count` of them, each at most `max`; bytes or text of `minSize` to
    // `maxSize` bytes (equal bounds: exactly that many).
    bool get(const SimDocEntry &e, uint64_t &out, uint64_t max);
    bool get_signed(const SimDocEntry &e, int64_t &out, int64_t min, int64_t max);
    bool get(const SimDocEntry &e, std::vector<uint64_t> &out, size_t count, uint64_t max);
    bool get_bytes(const SimDocEntry &e, std::vector<uint8_t> &out, size_t minSize, size_t maxSize);
    bool get_text(const SimDocEntry &e, std::string &out, size_t maxSize);
    bool get(const SimDocSection &s, std::string_view key, uint64_t &out, uint64_t max);
    bool get_signed(const SimDocSection &s, std::string_view key, int64_t &out, int64_t min, int64_t max);
    bool get(const SimDocSection &s, std::string_view key, std::vector<uint64_t> &out, size_t count, uint64_t max);
    bool get_bytes(const SimDocSection &s, std::string_view key, std::vector<uint8_t> &out, size_t minSize,
                   size_t maxSize);
    bool get_text(const SimDocSection &s, std::string_view key, std::string &out, size_t maxSize);

    // Records "file:line: message" unless an error is already recorded;
    // returns false so a reader can `return doc.fail(...)`.
    bool fail(int line, std::string_view message);
    bool ok() const { return error.empty(); }
};

// Replays the text entries of section `name` (saved fixture lines) through
// `apply`, in order; a missing section replays nothing. The first line that
// does not unquote or apply stops it, with "file:line: message" in the
// document's error.
bool sim_doc_replay(SimDoc &doc, std::string_view name,
                    const std::function<bool(const SimDocEntry &, std::string &line, std::string &err)> &apply);

// The document as text, header first.
std::string sim_doc_format(const SimDoc &doc);

// Parses `text`, read from `file`, into `doc`; the header must name `kind`.
// False with doc.error set when it does not parse.
bool sim_doc_parse(std::string_view text, const std::string &file, std::string_view kind, SimDoc &doc);

enum class SimDocRead { Ok, Missing, Bad };
// Reads and parses the file `name` in the real directory open at `dirfd`
// (a name, no '/'); `shown` names it in doc.file and, escaped as every
// file name in a message is, in error lines. The file
// is opened following no link and never waiting (O_NOFOLLOW, O_NONBLOCK):
// a link or anything but a regular file is Bad. Missing: no such file.
SimDocRead sim_doc_read(int dirfd, const std::string &name, const std::string &shown, std::string_view kind,
                        SimDoc &doc);
// Test shorthand: the file at the real path `path`, shown as itself.
SimDocRead sim_doc_read(const std::string &path, std::string_view kind, SimDoc &doc);

// Writes the document to "NAME.tmp" in the directory open at `dirfd` and
// renames it over `name`, so a reader sees the old or the new document,
// never half of one. A stale temp file is removed first and the temp made
// afresh (O_CREAT | O_EXCL, no link followed), written whole and synced.
// False with `error` set ("FILE: reason", FILE the one that failed,
// `shown` or `shown`.tmp, escaped) when it could not.
bool sim_doc_write(int dirfd, const std::string &name, const std::string &shown, const SimDoc &doc,
                   std::string &error);
// Test shorthand: the file at the real path `path`, shown as itself.
bool sim_doc_write(const std::string &path, const SimDoc &doc, std::string &error);
// Writes all of `bytes` to the real descriptor `fd`, going on after a short
// or interrupted write: 0, or the errno of the write that failed (EIO for
// one that wrote nothing).
int sim_write_all(int fd, std::string_view bytes);
// Appends all that the real descriptor `fd` reads, to its end or until
// `limit` bytes are read, to `out`, going on after an interrupted read: 0,
// or the errno of the read that failed.
int sim_read_all(int fd, std::string &out, size_t limit = SIZE_MAX);

// ---- pieces shared with other line formats (fixtures) ----------------------------

// An integer: 0x-prefixed hexadecimal or decimal, 64 bits at most.
bool sim_doc_number(std::string_view text, uint64_t &out);
std::string sim_doc_hex(uint64_t value);
// A double-quoted, escaped string and back.
std::string sim_doc_quote(std::string_view bytes);
bool sim_doc_unquote(std::string_view text, std::string &out);
// Splits a line into words at blanks; a double-quoted string (escapes
// included) is one word and keeps its quotes. Stops at '#' outside quotes.
// False (with `error` set) for an unterminated string.
bool sim_doc_tokens(std::string_view line, std::vector<std::string> &out, std::string &error);
// The blank-separated words of a key.
std::vector<std::string_view> sim_doc_words(std::string_view key);

#endif
