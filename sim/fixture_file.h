// Fixture files: facts about the simulated board a board engineer writes,
// one per line. Words are separated by blanks; a text is double-quoted with
// the escapes of sim/kit/sim_doc.h (\n, \t, \r, \\, \", \xHH); numbers are
// decimal or 0x-prefixed hexadecimal; '#' starts a comment.
//
//   reg NODE ADDR VALUE                    a direct register's value
//   reads NODE ADDR VALUE...               the next reads of a register, in order
//   indir NODE BASE KEY... = WORD...       an indirect register or table entry
//   file PATH "CONTENT"                    a file under the root
//   command "TEXT" STATUS ["OUTPUT"]       a shell command's exit status and output
//   fail-open PATH ERRNO                   opening PATH fails (ENOENT: a missing node)
//   fail-request NODE REQUEST ERRNO [NTH]  a request fails (every call, or the NTH only)
//   request-result NODE REQUEST RESULT [NTH]  a request returns a positive result
//   missing NODE                           the node is not on the board
//   phys ADDR DWORD                        a little-endian dword of physical memory
//
// ERRNO is a name such as EIO or a number. NODE must be a node of the board;
// for reg, reads and indir a packet FPGA. A file PATH is a plain file: not a
// directory (nor a path ending in "/" or "/."), "/" or under "/.sim"; it
// resolves as the tool's own paths do, so a link inside the root never leads
// out of it (an absolute target is taken under the root, a ".." in a target
// stops at it). A PATH holding a ".." component or a NUL byte, or leading
// through a link loop, is refused. The four bytes of a phys dword lie below
// kSimPhysSize (sim_host.h). Registers, entries and files become part of the
// saved board; scripted reads, commands and faults last for the run.
//
// A line that would change nothing is refused: a file the board serves
// itself (a registered path or pattern, such as /dev/trans_pci) when the
// file line is applied, a device-model line that makes the board serve a
// path a file line of the run wrote, and a device-model line whose model
// the board lacks.
//
// The lines of this form are checked before any is applied; device-model
// lines (mpt-, disk-, PCI dumps, ...) are checked as they are applied, and
// whatever a model throws becomes the line's error. The first error gives
// "file:line: message", the file's name escaped (sim_escape). What earlier
// lines did stays: quorbix-sim drops the board and puts the root back
// (sim_board_abandon), so a run with an error in any line of any fixture
// changes nothing.
#ifndef QUORBIX_SIM_FIXTURE_FILE_H
#define QUORBIX_SIM_FIXTURE_FILE_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Applies the facts in `text`, read from `file` (for error lines).
bool sim_fixture_apply(std::string_view text, const std::string &file, std::string &error);

// The largest fixture file: 64 MiB.
inline constexpr size_t kSimFixtureMaxBytes = size_t{64} << 20;

// Reads the fixture file at `path` (a path of the real machine) and applies
// it. A directory is refused, and so is a file larger than
// kSimFixtureMaxBytes: a regular file by its size, unread; a pipe or a
// device after one byte more than that has been read.
bool sim_fixture_load(const std::string &path, std::string &error);

// A run begins (the board is opened): no file line of it has written a file
// yet.
void sim_fixture_begin_run();

// The forms of fixture lines, as the README lists them: the usage of each
// line read here ("phys ADDR DWORD", its verb first) and the prefix of the
// first word of each device model's lines ("mpt-"; "" for the PCI dump,
// whose model knows its own words).
struct SimFixtureForms {
    std::vector<std::string_view> usages;
    std::vector<std::string_view> modelPrefixes;
};
SimFixtureForms sim_fixture_forms();

#endif
