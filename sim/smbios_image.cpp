#include "sim/smbios_image.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/board_profile.h"
#include "sim/kit/sim_fd.h"
#include "sim/kit/sim_words.h"
#include "sim/sim_host.h"

namespace {

constexpr size_t kEntryLen = 31;
constexpr uint32_t kDumpTable = 0x20;

void put16(std::vector<uint8_t> &b, size_t at, uint16_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get(const std::vector<uint8_t> &b, size_t at, int width)
{
    uint32_t v = 0;
    for (int i = 0; i < width; i++)
        v |= static_cast<uint32_t>(b[at + static_cast<size_t>(i)]) << (8 * i);
    return v;
}

uint8_t sum(const uint8_t *p, size_t n)
{
    uint8_t s = 0;
    for (size_t i = 0; i < n; i++)
        s = static_cast<uint8_t>(s + p[i]);
    return s;
}

SmbiosStructure structure(uint8_t type, uint16_t handle, size_t length, std::vector<std::string> strings)
{
    return SmbiosStructure{type, handle, std::vector<uint8_t>(length - 4, 0), std::move(strings)};
}

void set(SmbiosStructure &s, size_t at, uint64_t v, int width)
{
    for (int i = 0; i < width; i++)
        s.formatted[at - 4 + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// Whether a profile's facts put a function on root bus 0x80 (a second
// socket): a line "[0000:]80:DD.F " (a plain scan: every board open asks).
bool has_second_socket(const char *facts)
{
    if (facts == nullptr)
        return false;
    for (std::string_view rest = facts; !rest.empty();) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (line.starts_with("0000:"))
            line.remove_prefix(5);
        if (line.size() >= 8 && line.starts_with("80:") && std::isxdigit(static_cast<unsigned char>(line[3])) &&
            std::isxdigit(static_cast<unsigned char>(line[4])) && line[5] == '.' && line[6] >= '0' && line[6] <= '7' &&
            line[7] == ' ')
            return true;
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    return false;
}

std::vector<uint8_t> g_loadedDump;   // a fixture's dump, kept with the board

struct FileKind {
    mode_t type;
    const char *name;
};

constexpr FileKind kNotPlain[] = {
    {S_IFDIR, "a directory"},         {S_IFIFO, "a FIFO"},           {S_IFSOCK, "a socket"},
    {S_IFCHR, "a character device"}, {S_IFBLK, "a block device"},
};

// Why a file of this mode is no dump: "" for a regular file.
std::string not_plain(mode_t mode)
{
    if (S_ISREG(mode))
        return "";
    for (const FileKind &k : kNotPlain)
        if ((mode & S_IFMT) == k.type)
            return std::string(k.name) + ", not a regular file";
    return "not a regular file";
}

// Up to `n` bytes of `fd` at `at` into `out`: how many (fewer at the end of
// the file), or -1 with errno.
ssize_t read_at(int fd, uint8_t *out, size_t n, off_t at)
{
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, out + done, n - done, at + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

// The part of an open dump file that is used: its entry point and the
// table it points to (at most 65,535 bytes), in the dump form (the table at
// 0x20). A file too short for either gives what was read, which holds no
// entry point for smbios_load_dump. Nothing else of the file is read.
bool read_used(int fd, std::vector<uint8_t> &out)
{
    std::vector<uint8_t> entry(kEntryLen);
    const ssize_t got = read_at(fd, entry.data(), entry.size(), 0);
    if (got < 0)
        return false;
    entry.resize(static_cast<size_t>(got));
    out = entry;
    if (entry.size() < kEntryLen || std::memcmp(entry.data(), "_SM_", 4) != 0)
        return true;
    std::vector<uint8_t> table(get(entry, 0x16, 2));
    const ssize_t tableGot = read_at(fd, table.data(), table.size(), get(entry, 0x18, 4));
    if (tableGot < 0)
        return false;
    if (static_cast<size_t>(tableGot) < table.size())
        return true;   // the table runs past the end of the file
    // Only the table's address changes: the board's entry point is made
    // afresh from the rest when the dump is placed.
    put32(out, 0x18, kDumpTable);
    out.resize(kDumpTable, 0);
    out.insert(out.end(), table.begin(), table.end());
    return true;
}

// The used bytes of the regular file `path` of the real machine. Nothing
// else is opened (a device could act on its open), and the open never waits
// (a FIFO swapped in after the look is refused by its descriptor).
bool read_dump(const std::string &path, std::vector<uint8_t> &out, std::string &error)
{
    const std::string name = sim_escape(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return error = name + ": " + std::strerror(errno), false;
    if (std::string why = not_plain(st.st_mode); !why.empty())
        return error = name + ": " + why, false;
    SimFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.fd < 0)
        return error = name + ": " + std::strerror(errno), false;
    if (::fstat(file.fd, &st) != 0)
        return error = name + ": " + std::strerror(errno), false;
    if (std::string why = not_plain(st.st_mode); !why.empty())
        return error = name + ": " + why, false;
    if (!read_used(file.fd, out))
        return error = name + ": " + std::strerror(errno), false;
    return true;
}

} // namespace

std::vector<uint8_t> smbios_build_table(const std::vector<SmbiosStructure> &structures)
{
    std::vector<uint8_t> out;
    for (const SmbiosStructure &s : structures) {
        out.push_back(s.type);
        out.push_back(static_cast<uint8_t>(4 + s.formatted.size()));
        out.push_back(static_cast<uint8_t>(s.handle));
        out.push_back(static_cast<uint8_t>(s.handle >> 8));
        out.insert(out.end(), s.formatted.begin(), s.formatted.end());
        for (const std::string &text : s.strings) {
            out.insert(out.end(), text.begin(), text.end());
            out.push_back(0);
        }
        if (s.strings.empty())
            out.push_back(0);
        out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> smbios_build_entry(const SmbiosLayout &layout, uint16_t length, uint16_t count)
{
    std::vector<uint8_t> e(kEntryLen, 0);
    std::memcpy(e.data(), "_SM_", 4);
    e[5] = static_cast<uint8_t>(layout.lengthByte);
    e[6] = 2;
    e[7] = 7;
    put16(e, 8, 0x100);
    std::memcpy(e.data() + 0x10, "_DMI_", 5);
    put16(e, 0x16, layout.tableLength >= 0 ? static_cast<uint16_t>(layout.tableLength) : length);
    put32(e, 0x18, layout.tableAddress);
    put16(e, 0x1C, layout.structureCount >= 0 ? static_cast<uint16_t>(layout.structureCount) : count);
    e[0x1E] = 0x27;
    e[0x15] = static_cast<uint8_t>(-sum(e.data() + 0x10, 15) + (layout.badIntermediateChecksum ? 1 : 0));
    e[4] = static_cast<uint8_t>(-sum(e.data(), kEntryLen) + (layout.badChecksum ? 1 : 0));
    return e;
}

void smbios_place(const std::vector<SmbiosStructure> &structures, const SmbiosLayout &layout)
{
    std::vector<uint8_t> table = smbios_build_table(structures);
    std::vector<uint8_t> entry =
        smbios_build_entry(layout, static_cast<uint16_t>(table.size()), static_cast<uint16_t>(structures.size()));
    sim_phys_write(layout.tableAddress, table.data(), table.size());
    sim_phys_write(layout.paragraph, entry.data(), entry.size());
}

std::vector<uint8_t> smbios_dump_bytes(const std::vector<SmbiosStructure> &structures)
{
    std::vector<uint8_t> table = smbios_build_table(structures);
    SmbiosLayout layout;
    layout.tableAddress = kDumpTable;
    std::vector<uint8_t> out =
        smbios_build_entry(layout, static_cast<uint16_t>(table.size()), static_cast<uint16_t>(structures.size()));
    out.resize(kDumpTable, 0);
    out.insert(out.end(), table.begin(), table.end());
    return out;
}

bool smbios_load_dump(const std::vector<uint8_t> &dump, const SmbiosLayout &layout)
{
    if (dump.size() < kEntryLen || std::memcmp(dump.data(), "_SM_", 4) != 0)
        return false;
    uint32_t length = get(dump, 0x16, 2), address = get(dump, 0x18, 4);
    if (address > dump.size() || length > dump.size() - address)
        return false;
    SmbiosLayout at = layout;
    at.tableLength = static_cast<int>(length);
    at.structureCount = static_cast<int>(get(dump, 0x1C, 2));
    std::vector<uint8_t> entry = smbios_build_entry(at, 0, 0);
    entry[6] = dump[6];
    entry[7] = dump[7];
    entry[4] = 0;
    entry[4] = static_cast<uint8_t>(-sum(entry.data(), kEntryLen));
    sim_phys_write(at.tableAddress, dump.data() + address, length);
    sim_phys_write(at.paragraph, entry.data(), entry.size());
    return true;
}

SmbiosStructure smbios_baseboard(const std::string &maker, const std::string &product, const std::string &serial,
                                 const std::string &location)
{
    SmbiosStructure s = structure(2, 0x0002, 0x0F, {maker, product, serial, location});
    set(s, 0x04, 1, 1);
    set(s, 0x05, 2, 1);
    set(s, 0x07, 3, 1);
    set(s, 0x09, 0x01, 1);   // a hosting board
    set(s, 0x0A, 4, 1);
    set(s, 0x0B, 0x0003, 2);
    set(s, 0x0D, 0x0A, 1);   // motherboard
    return s;
}

SmbiosStructure smbios_chassis(uint32_t oem)
{
    SmbiosStructure s = structure(3, 0x0003, 0x15, {"Quorbix"});
    set(s, 0x04, 1, 1);
    set(s, 0x05, 0x17, 1);   // rack mount
    for (size_t at : {0x09u, 0x0Au, 0x0Bu})
        set(s, at, 3, 1);    // safe
    set(s, 0x0C, 3, 1);      // no security
    set(s, 0x0D, oem, 4);
    return s;
}

SmbiosStructure smbios_processor(const std::string &socket, uint64_t id, uint16_t handle)
{
    bool populated = id != 0;
    SmbiosStructure s = structure(4, handle, 0x2A, {socket, "Intel(R) Corporation", "Intel(R) Xeon(R) CPU"});
    set(s, 0x04, 1, 1);
    set(s, 0x05, 3, 1);      // central processor
    set(s, 0x06, 0xB3, 1);   // Xeon
    set(s, 0x07, 2, 1);
    set(s, 0x08, id, 8);
    set(s, 0x10, 3, 1);
    set(s, 0x11, 0x8C, 1);   // 1.2 V
    set(s, 0x12, 100, 2);
    set(s, 0x14, 4000, 2);
    set(s, 0x16, populated ? 2100 : 0, 2);
    set(s, 0x18, populated ? 0x41 : 0x00, 1);
    set(s, 0x19, 0x19, 1);   // Socket LGA1366
    for (size_t at : {0x1Au, 0x1Cu, 0x1Eu})
        set(s, at, 0xFFFF, 2);
    set(s, 0x23, populated ? 8 : 0, 1);
    set(s, 0x24, populated ? 8 : 0, 1);
    set(s, 0x25, populated ? 16 : 0, 1);
    set(s, 0x26, 0x00FC, 2);
    set(s, 0x28, 0xB3, 2);
    return s;
}

SmbiosStructure smbios_end(uint16_t handle) { return structure(127, handle, 4, {}); }

bool smbios_board_attach(const SimBoardProfile &board, SimDoc &saved)
{
    g_loadedDump.clear();
    if (const SimDocSection *section = saved.find("smbios")) {
        if (!saved.get_bytes(*section, "dump", g_loadedDump) || !smbios_load_dump(g_loadedDump, SmbiosLayout{}))
            return saved.fail(section->line, "smbios: the saved dump holds no 2.x entry point");
        return true;
    }
    std::string boardName = board.model;
    bool second = has_second_socket(board.fixture);
    std::vector<SmbiosStructure> table = {
        smbios_baseboard("Quorbix", boardName, "QB0000000001", "Slot 0"),
        smbios_chassis(0),
        smbios_processor("CPU0", 0xBFEBFBFF000206D7ull, 0x0004),
        smbios_processor("CPU1", second ? 0xBFEBFBFF000206D7ull : 0, 0x0005),
        smbios_end(0x0006),
    };
    smbios_place(table, SmbiosLayout{});
    return true;
}

void smbios_board_save(SimDoc &doc)
{
    if (!g_loadedDump.empty())
        doc.section("smbios").put_bytes("dump", g_loadedDump);
}

bool smbios_fixture_line(std::string_view line, std::string &error)
{
    std::vector<std::string> words;
    if (!sim_doc_tokens(line, words, error))
        return false;
    if (words.size() != 2 || words[0] != "smbios-dump")
        return error = "usage: smbios-dump FILE", false;
    std::vector<uint8_t> dump;
    if (!read_dump(words[1], dump, error))
        return false;
    std::vector<uint8_t> zeros(0x10000, 0);
    sim_phys_write(0xF0000, zeros.data(), zeros.size());
    if (!smbios_load_dump(dump, SmbiosLayout{}))
        return error = sim_escape(words[1]) + ": no SMBIOS 2.x entry point at its start", false;
    g_loadedDump = std::move(dump);
    return true;
}
