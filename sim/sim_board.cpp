#include "sim/sim_board.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <string>

#include <cstdint>
#include <cerrno>
#include <map>
#include <vector>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "sim/disk_model.h"
#include "sim/asmf_model.h"
#include "sim/fixture_file.h"
#include "sim/fpga_ddr_model.h"
#include "sim/ruga_model.h"
#include "sim/fpga_model.h"
#include "sim/i2c_agent_model.h"
#include "sim/media_model.h"
#include "sim/mpt_model.h"
#include "sim/net_sfp_model.h"
#include "sim/sas_disks.h"
#include "sim/pci_bus.h"
#include "sim/pci_ids.h"
#include "sim/uncore_model.h"
#include "sim/ipmi_model.h"
#include "sim/kernel.h"
#include "sim/rtc_model.h"
#include "sim/root_undo.h"
#include "sim/sim_host.h"
#include "sim/smbios_image.h"
#include "sim/kit/sim_fd.h"
#include "sim/kit/sim_tree.h"
#include "sim/kit/sim_words.h"
#include "sim/spi_flash_model.h"
#include "sim/transmit_model.h"

namespace {

// ---- device models -------------------------------------------------------------------

// The FPGA model keeps its state in the board document's "fpga" sections;
// a KESP board has the trans FPGA only.
bool fpga_attach(const SimBoardProfile &board, SimDoc &saved)
{
    return fpga_model_attach(board.fpgas == SimFpgas::Kesp ? FpgaBoard::Kesp : FpgaBoard::Dorn, saved);
}

void fpga_save(SimDoc &doc) { fpga_model_save(doc); }

// Files of the device models' own state of earlier versions, dropped by a reset.
// Names in the board's own directory (kSimDir).
constexpr const char *kModelStateFiles[] = {"fpga_model.state", "mpt_model.state"};

// A SAS controller appears when a fixture adds one; its node with it.
bool mpt_attach(const SimBoardProfile &, SimDoc &saved) { return mpt_model_attach(saved); }

// Disks behind generic and block nodes appear when a fixture adds them.
bool disk_attach(const SimBoardProfile &, SimDoc &saved) { return disk_model_attach(saved); }

// The PCI bus: the saved functions, or an empty bus a fresh board's facts fill.
bool pci_attach(const SimBoardProfile &, SimDoc &saved) { return pci_bus_attach(saved); }

// The DORN board carries the compression accelerator card.
bool asmf_attach(const SimBoardProfile &, SimDoc &saved) { return asmf_model_attach(saved); }

// The KESP board carries the media sub-boards behind "/dev/media_dev".
bool media_attach(const SimBoardProfile &, SimDoc &saved) { return media_model_attach(saved); }

// The card's RTC and the I2C agent are on every board.
bool rtc_attach(const SimBoardProfile &, SimDoc &saved) { return rtc_model_attach(saved); }
// FPGA 0's BAR 0 with the card's DDR and SOL buffer, on the DORN board.
bool fpga_ddr_attach(const SimBoardProfile &, SimDoc &saved) { return fpga_ddr_model_attach(saved); }
bool i2c_attach(const SimBoardProfile &, SimDoc &saved) { return i2c_agent_model_attach(saved); }
bool ipmi_attach(const SimBoardProfile &, SimDoc &saved) { return ipmi_model_attach(saved); }
bool sas_attach(const SimBoardProfile &, SimDoc &saved) { return sas_disks_attach(saved); }
// The RUDA card, when a fixture or the saved board has one.
bool ruga_attach(const SimBoardProfile &, SimDoc &saved) { return ruga_model_attach(saved); }

// The trans FPGA driver's packet sender (start files, start and loop scripts).
bool transmit_attach(const SimBoardProfile &, SimDoc &saved) { return transmit_model_attach(saved); }

// The processor uncore's LPC register at port 0xC90 (its registers are on the PCI bus).
bool uncore_attach(const SimBoardProfile &, SimDoc &saved) { return uncore_model_attach(saved); }

// Every board has the PCI bus, the SPI-flash driver with its two logic
// flashes, the RTC and I2C agent drivers, and a SAS controller and disks when
// a fixture adds them; the packet boards their FPGAs.
#define SIM_COMMON_DEVICES                                                                            \
    {"pci", pci_attach, pci_bus_save}, {"mpt", mpt_attach, mpt_model_save},                           \
        {"disk", disk_attach, disk_model_save}, {"spi_flash", spi_flash_model_attach, spi_flash_model_save}, \
        {"rtc", rtc_attach, rtc_model_save}, {"i2c_agent", i2c_attach, i2c_agent_model_save},      \
        {"ipmi", ipmi_attach, ipmi_model_save}, {"sas", sas_attach, sas_disks_save},   \
        {"smbios", smbios_board_attach, smbios_board_save}, {"ruga", ruga_attach, ruga_model_save}
constexpr SimBoardDevice kDornDevices[] = {
    SIM_COMMON_DEVICES, {"fpga", fpga_attach, fpga_save}, {"asmf", asmf_attach, asmf_model_save},
    {"transmit", transmit_attach, transmit_model_save}, {"fpga_ddr", fpga_ddr_attach, fpga_ddr_model_save},
    {"uncore", uncore_attach, uncore_model_save}};
constexpr SimBoardDevice kKespDevices[] = {
    SIM_COMMON_DEVICES, {"fpga", fpga_attach, fpga_save}, {"media", media_attach, media_model_save},
    {"transmit", transmit_attach, transmit_model_save}};
constexpr SimBoardDevice kNoDevices[] = {SIM_COMMON_DEVICES};
constexpr SimBoardDevice kNetSfpDevices[] = {SIM_COMMON_DEVICES, {"net_sfp", net_sfp_model_attach, net_sfp_model_save}};
#undef SIM_COMMON_DEVICES

// The default board (no model asked for) also gets a SAS controller: a RAID1 of two SAS disks, a SAS
// disk and a SATA SSD with its generic node.
constexpr const char *kDefaultSasFacts = R"sas(
mpt-ioc 0 pci=0000:05:00.0 root=0000:00:03.0 device=0x72 revision=3 sas=0x500605b000000001
mpt-phy 0 0 10 0 0 0 0
mpt-phy 0 1 10 1 2 3 4
mpt-phy 0 2 9 0 0 0 0
mpt-phy 0 3 0 0 0 0 0
disk-add sda sg0 sas pci=0000:05:00.0 host=0 channel=0 target=9
disk-inquiry sda "SEAGATE" "ST600MM0006" "0001"
disk-serial sda S0M00001
disk-capacity sda 1172123568 512
disk-add sdb sg1 sas pci=0000:05:00.0 host=0 channel=0 target=10
disk-inquiry sdb "SEAGATE" "ST600MM0006" "0001"
disk-capacity sdb 1172123568 512
disk-add sdc sg2 sas pci=0000:05:00.0 host=0 channel=0 target=11
disk-inquiry sdc "HGST" "HUC101860CSS200" "A3B0"
disk-capacity sdc 1172123568 512
sas-disk 0 9 sda 1 0 0 0 9
sas-disk 0 10 sdb 1 1 1 0 10
sas-disk 0 11 sdc 1 2 2 0 11
sas-volume 0 0x141 2 5 0 1172123567 512 64 0x600508b1001c2a3b 0 0 1:1:9:3 2:2:10:3
disk-add sdd sg3 sata pci=0000:05:00.0 host=0 channel=0 target=12
disk-identify sdd 10 5331 3233 2020 2020 2020 2020 2020 2020
disk-identify sdd 23 3130 3041 2020 2020
disk-identify sdd 27 494e 5445 4c20 5353 4453 4332 4242 3234 3020 2020
disk-identify sdd 100 0000 0074 0000 0000
disk-identify sdd 217 0001
sas-disk 0 12 sdd 1 3 3 0 12
)sas";

// Files every booted board has that the tool reads: the online NUMA nodes,
// the kernel's command line, where the packet boards reserve their shared
// memory with memmap= words (on DORN the library's region for each of the
// two nodes, then the tool's; on KESP the library's, then the shared one),
// and the interrupts, where the KESP trans driver's receive interrupt is an
// MSI-X one bound to CPU 0.
struct BootFile {
    const char *path;
    const char *content;
};

constexpr const char kTimerIrq[] = "           CPU0       CPU1\n  0:         35          0   IO-APIC   2-edge      timer\n";

constexpr BootFile kDornBoot[] = {
    {kSimNodeOnlinePath, "0-1\n"},
    {kSimCmdlinePath, "BOOT_IMAGE=/boot/vmlinuz root=/dev/sda2 ro quiet memmap=0x200000$0x7c000000 "
                      "memmap=0x200000$0x7c200000 memmap=0x400000$0x7d000000 memmap=0x400000$0x7e000000\n"},
    {kSimInterruptsPath, kTimerIrq},
};
constexpr BootFile kKespBoot[] = {
    {kSimNodeOnlinePath, "0\n"},
    {kSimCmdlinePath, "BOOT_IMAGE=/boot/vmlinuz root=/dev/sda2 ro quiet memmap=0x200000$0x7c000000 "
                      "memmap=0x400000$0x7d000000\n"},
    {kSimInterruptsPath, "           CPU0       CPU1\n  0:         35          0   IO-APIC   2-edge      timer\n"
                         " 64:          0          0   PCI-MSI 524288-edge      trans-user-Rx-0\n"},
    {"/proc/irq/64/smp_affinity", "00000000,00000000,00000000,00000001\n"},
};
constexpr BootFile kPlainBoot[] = {
    {kSimNodeOnlinePath, "0\n"},
    {kSimCmdlinePath, "BOOT_IMAGE=/boot/vmlinuz root=/dev/sda2 ro quiet\n"},
    {kSimInterruptsPath, kTimerIrq},
};

// Directories every booted board has, made on a fresh board where missing
// (the tool keeps its shots and log copies under /opt/zvt). An entry already
// there, of whatever kind, stays as it is: mkdir neither replaces nor follows it.
constexpr const char *kBootDirs[] = {"/opt"};

std::span<const BootFile> boot_files(SimFpgas fpgas)
{
    return fpgas == SimFpgas::Dorn   ? std::span<const BootFile>(kDornBoot)
           : fpgas == SimFpgas::Kesp ? std::span<const BootFile>(kKespBoot)
                                     : std::span<const BootFile>(kPlainBoot);
}

void write_boot_files(SimFpgas fpgas)
{
    for (const BootFile &f : boot_files(fpgas))
        sim_write_file(f.path, f.content);
    for (const char *dir : kBootDirs)
        sim_make_dir(dir);
}

// ---- profiles ---------------------------------------------------------------------------

// A fresh board gets the DMI board name it was opened with, the files a
// booted board has (write_boot_files), then the profile's facts.
const SimBoardProfile kProfiles[] = {
    {"ZK17TRVA", SimFpgas::None, kNoDevices, pci_host_bridge_facts()},
    {"ZK17DORN", SimFpgas::Dorn, kDornDevices, pci_default_facts()},
    {"ZK17KESP", SimFpgas::Kesp, kKespDevices, pci_host_bridge_facts()},
    {"ZK17WENA", SimFpgas::None, kNetSfpDevices, pci_host_bridge_facts()},
    {"ZK17FOLRA", SimFpgas::None, kNetSfpDevices, pci_host_bridge_facts()},
    {"ZK17BIXA", SimFpgas::None, kNoDevices, pci_host_bridge_facts()},
    {"ZK17WENB", SimFpgas::None, kNetSfpDevices, pci_host_bridge_facts()},
    {"ZK17WENC", SimFpgas::None, kNoDevices, pci_host_bridge_facts()},
    {"ZK17FOLRB", SimFpgas::None, kNetSfpDevices, pci_host_bridge_facts()},
};

// ---- what a fresh board makes -------------------------------------------------------------

// The entries a fresh board makes under the root by canonical path, with
// every directory on the way; /opt (kBootDirs) is not among them, since
// it stays as it is.
using MadeMap = std::map<std::string, SimMadeKind>;

void add_made(MadeMap &made, const std::string &path, SimMadeKind kind)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        made.emplace(path.substr(0, slash), SimMadeKind::Dir);
    made[path] = kind;
}

// What fact lines make: the files of "file" lines, a SAS controller's
// directory and link, the disks' links.
void add_fact_entries(MadeMap &made, std::string_view facts)
{
    while (!facts.empty()) {
        const size_t end = facts.find('\n');
        const std::string_view line = facts.substr(0, end);
        facts = end == std::string_view::npos ? std::string_view() : facts.substr(end + 1);
        const std::string_view verb = line.substr(0, line.find_first_of(" \t"));
        std::string first, second;
        if (verb == "file") {
            const std::vector<std::string_view> w = sim_doc_words(line.substr(0, line.find('"')));
            if (w.size() > 1)
                add_made(made, std::string(w[1]), SimMadeKind::File);
        } else if (verb != "mpt-ioc" && verb != "disk-add") {
            continue;
        } else if (mpt_model_made(line, first, second)) {
            add_made(made, first, SimMadeKind::Dir);
            add_made(made, second, SimMadeKind::Link);
        } else if (disk_model_made(line, first, second)) {
            add_made(made, first, SimMadeKind::Link);
            add_made(made, second, SimMadeKind::Link);
        }
    }
}

// What a fresh board of `profile` makes (the default board, no model
// asked for, also its SAS disks), from the tables that make it.
MadeMap fresh_made(const SimBoardProfile &profile, bool defaultBoard)
{
    MadeMap made;
    add_made(made, kSimBoardNamePath, SimMadeKind::File);
    for (const BootFile &f : boot_files(profile.fpgas))
        add_made(made, f.path, SimMadeKind::File);
    for (const SimMade &m : net_sfp_made(profile))
        add_made(made, m.path, m.kind);
    if (profile.fixture)
        add_fact_entries(made, profile.fixture);
    if (defaultBoard)
        add_fact_entries(made, kDefaultSasFacts);
    return made;
}

// ---- the open board --------------------------------------------------------------------

// The board's own directory under the root and its files there.
constexpr const char *kSimDir = ".sim";
constexpr const char *kBoardName = "board";
constexpr const char *kTempName = "board.tmp";
constexpr const char *kLockName = "lock";
// The board's directory and lock are the user's alone, whatever the umask:
// another user who may read the lock could hold it (a shared flock) for ever.
constexpr mode_t kSimDirMode = 0700;
constexpr mode_t kLockMode = 0600;

// Opens of the board's own directory and files (and of the default root):
// no link followed, no wait on a special file, never a controlling terminal.
constexpr int kOwnFileOpen = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

struct SimBoardState {
    bool open = false;
    std::atomic<bool> running = false;  // from the root's lock to its save: a stop puts the root back
    bool exitHook = false;
    SimFd rootFd;         // the root, for the run
    SimFd simFd;          // its kSimDir
    SimFd lockFd;         // kSimDir/lock, flocked
    std::string root;       // the root's name as given, for messages
    std::string model;      // as given or saved: a profile's name
    bool reset = false;     // the run started a fresh board over a saved one
    const SimBoardProfile *profile = nullptr;
};

SimBoardState g_board;

int fail(std::string &error, std::string message)
{
    error = std::move(message);
    return 1;
}

// The root's name as messages show it.
std::string shown_root() { return sim_escape(g_board.root); }

// The name of a file in the board's own directory, for messages: as
// given (the document reader and writer escape it) and escaped.
std::string own_name(const std::string &name) { return g_board.root + "/" + kSimDir + "/" + name; }
std::string shown_own(const std::string &name) { return sim_escape(own_name(name)); }

// Lets go of the root: the lock (flock) first, then the descriptors.
void unlock()
{
    g_board.running = false;
    g_board.lockFd.reset();
    g_board.simFd.reset();
    g_board.rootFd.reset();
}

constexpr const char *kResetHint = " (give --reset to start a fresh board)";
constexpr const char *kEndSection = "end";
constexpr const char *kSectionCount = "sections";

// The root put back as it was before the run: false, with "ROOT: " and
// what could not be put back in `error`, when not all of it went back.
bool restore_root(std::string &error)
{
    if (sim_undo_restore(error))
        return true;
    error = shown_root() + ": " + error;
    return false;
}

// The same, said: "ROOT put back as it was", or what could not be.
std::string put_back()
{
    std::string error;
    return restore_root(error) ? shown_root() + " put back as it was" : error;
}

// An open that cannot go on: the root back as it was, the lock released.
int give_up(int status)
{
    simk::Guard g;
    std::string ignored;
    sim_undo_restore(ignored);
    unlock();
    return status;
}

constexpr const char *kNoAccess = "not a directory this user may read, write and search";

// Whether the root's text ends in a "." or ".." step: such a root is never
// made, since it names a directory that is there once its parent is, and
// making the parent would write beside what the root turns out to be.
bool ends_in_dot_step(const std::string &root)
{
    std::filesystem::path last;
    for (const std::filesystem::path &step : std::filesystem::path(root))
        if (!step.empty())
            last = step;
    return last == "." || last == "..";
}

// Makes a missing root with its missing parents; the default root itself
// with mode 0700 (one already there, whoever made it, is left to the checks).
int make_root(const SimBoardStart &start, std::string &error)
{
    struct stat st {};
    if (::lstat(start.root.c_str(), &st) == 0 || errno != ENOENT || ends_in_dot_step(start.root))
        return 0;
    const std::filesystem::path root(start.root);
    std::error_code ec;
    std::filesystem::create_directories(start.defaultRoot ? root.parent_path() : root, ec);
    if (!ec && start.defaultRoot && ::mkdir(start.root.c_str(), 0700) != 0 && errno != EEXIST)
        ec.assign(errno, std::generic_category());
    return ec ? fail(error, sim_escape(start.root) + ": " + ec.message()) : 0;
}

// Why the root could not be opened as a directory.
std::string open_root_reason(int err)
{
    if (err == ENOTDIR)
        return "not a directory";
    return err == EACCES ? kNoAccess : std::strerror(err);
}

// The root, made when missing and opened as a directory: its descriptor, or
// -1 with the refusal in `error`.
int open_root(const SimBoardStart &start, std::string &error)
{
    if (make_root(start, error))
        return -1;
    if (start.defaultRoot)
        return sim_board_default_root(start.root, error);
    const int fd = ::open(start.root.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        fail(error, sim_escape(start.root) + ": " + open_root_reason(errno));
    return fd;
}

// A root the board may be kept in: not the real root (nor one that cannot
// be told from it), one its user may read, write and search. Files beneath
// it are opened with openat2 or, where that is missing, a walk
// (sim_open_beneath): either way confines the run to it.
int check_root(int rootFd, std::string &error)
{
    const std::string shown = shown_root();
    switch (sim_board_same_dir(rootFd, "/")) {
    case 0:
        break;
    case 1:
        return fail(error, shown + ": the real root cannot stand for the board's root");
    default:
        return fail(error, shown + ": cannot be told apart from the real root: " + std::strerror(errno));
    }
    if (::faccessat(rootFd, ".", R_OK | W_OK | X_OK, 0) != 0)
        return fail(error, shown + ": " + kNoAccess);
    return 0;
}

// The board's own directory, made when missing and opened from the root
// following no link: a link there, or one another user owns, is refused.
int open_sim_dir(std::string &error)
{
    const std::string shown = shown_root() + "/" + kSimDir;
    const int rootFd = g_board.rootFd.fd;
    if (::mkdirat(rootFd, kSimDir, kSimDirMode) != 0 && errno != EEXIST)
        return fail(error, shown + ": " + std::strerror(errno));
    SimFd dir(::openat(rootFd, kSimDir, O_RDONLY | O_DIRECTORY | kOwnFileOpen));
    struct stat st {};
    if (dir.fd < 0) {
        const int err = errno;
        if (::fstatat(rootFd, kSimDir, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
            return fail(error, shown + ": a link, not the board's own directory");
        return fail(error, shown + ": " + (err == ENOTDIR ? "not a directory" : std::strerror(err)));
    }
    if (::fstat(dir.fd, &st) != 0)
        return fail(error, shown + ": " + std::strerror(errno));
    if (st.st_uid != ::geteuid())
        return fail(error, shown + ": not owned by this user (uid " + std::to_string(::geteuid()) + ")");
    if ((st.st_mode & 07777) != kSimDirMode && ::fchmod(dir.fd, kSimDirMode) != 0)
        return fail(error, shown + ": " + std::strerror(errno));
    g_board.simFd.reset(dir.release());
    return 0;
}

// Opens the board's directory and takes the lock in it, waiting (and
// saying so) for a run that holds it.
int lock_root(std::string &error)
{
    if (open_sim_dir(error))
        return 1;
    const std::string lock = shown_own(kLockName);
    SimFd fd(::openat(g_board.simFd.fd, kLockName, O_RDWR | O_CREAT | kOwnFileOpen, kLockMode));
    if (fd.fd < 0)
        return fail(error, lock + ": cannot open the lock: " +
                               (errno == ELOOP ? "a link, not a regular file" : std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return fail(error, lock + ": cannot open the lock: not a regular file");
    if ((st.st_mode & 07777) != kLockMode && ::fchmod(fd.fd, kLockMode) != 0)
        return fail(error, lock + ": cannot open the lock: " + std::strerror(errno));
    if (::flock(fd.fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        std::fprintf(stderr, "quorbix-sim: waiting for another run on %s to end\n", shown_root().c_str());
        while (::flock(fd.fd, LOCK_EX) != 0)
            if (errno != EINTR)
                return fail(error, lock + ": cannot lock");
    }
    g_board.lockFd.reset(fd.release());
    return 0;
}

// What a run that stopped left in the board's directory, so nothing there
// stops this run's save: the temp file, whatever it is, and with reset a
// directory at the board (a link or a file there the save replaces).
int clear_own_files(bool reset, std::string &error)
{
    const int simFd = g_board.simFd.fd;
    struct stat st {};
    const bool boardDir = reset && ::fstatat(simFd, kBoardName, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    for (const char *name : {kTempName, boardDir ? kBoardName : nullptr})
        if (int err = name ? sim_remove_tree(simFd, name) : 0)
            return fail(error, shown_own(name) + ": cannot remove: " + std::strerror(err));
    return 0;
}

// Files of the device models' own state of earlier versions, dropped when
// a board is saved (a link among them goes, never what it names).
void forget_old_state()
{
    for (const char *name : kModelStateFiles)
        ::unlinkat(g_board.simFd.fd, name, 0);
}

// The last line of a document as read.
int last_line(const SimDoc &doc)
{
    int last = 1;
    for (const SimDocSection &s : doc.sections) {
        last = std::max(last, s.line);
        for (const SimDocEntry &e : s.entries)
            last = std::max(last, e.line);
    }
    return last;
}

// A board of this version ends with [end]: the number of sections before it
// and each one's name. A board without it, or missing a section it names,
// was cut short or edited.
bool check_complete(SimDoc &doc)
{
    const SimDocSection *end = doc.sections.empty() ? nullptr : &doc.sections.back();
    uint64_t count = 0;
    if (end == nullptr || end->name != kEndSection || !end->find(kSectionCount) ||
        !doc.get(*end, kSectionCount, count) || end->entries.size() != count + 1)
        return doc.fail(last_line(doc), "the board is cut short: no complete [end] section");
    for (const SimDocEntry &e : end->entries)
        if (e.key != kSectionCount && doc.find(e.key) == nullptr)
            return doc.fail(e.line, "no [" + e.key + "] section");
    return true;
}

// The saved board's model (empty for a fresh board) and its document.
int read_saved(SimDoc &doc, std::string &model, std::string &error)
{
    switch (sim_doc_read(g_board.simFd.fd, kBoardName, own_name(kBoardName), "board", doc)) {
    case SimDocRead::Missing:
        doc = SimDoc{};
        return 0;
    case SimDocRead::Bad:
        return fail(error, doc.error);
    case SimDocRead::Ok:
        break;
    }
    if (doc.version > kSimBoardVersion)
        return fail(error, sim_line_error(doc.file, 1, "saved by a newer quorbix-sim (version " + std::to_string(doc.version) + ")"));
    if (doc.version >= 2 && !check_complete(doc))
        return fail(error, doc.error);
    const SimDocSection *b = doc.find("board");
    if (b == nullptr || !b->find("model"))
        return fail(error, sim_line_error(doc.file, 1, "no [board] section with a model"));
    if (!doc.get_text(*b, "model", model))
        return fail(error, doc.error);
    if (!sim_board_profile(model))
        return fail(error, sim_line_error(doc.file, b->find("model")->line, "unknown board model '" + model + "'"));
    return 0;
}

// ---- making way for a fresh board ------------------------------------------------------------

// What stands at a canonical path under the root, its directory reached
// following no link: Beyond when a link (or anything but a directory that
// may be searched) stands on the way; what lies there is never touched.
enum class Stands : uint8_t { Nothing, Dir, Link, Other, Beyond };

Stands what_stands(const std::string &path)
{
    const size_t slash = path.rfind('/');
    const SimFd dir(sim_open_beneath(g_board.rootFd.fd, path.substr(1, slash == 0 ? 0 : slash - 1),
                                     O_PATH | O_DIRECTORY));
    struct stat st {};
    if (dir.fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? Stands::Nothing : Stands::Beyond;
    if (::fstatat(dir.fd, path.c_str() + slash + 1, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Stands::Nothing : Stands::Beyond;
    if (S_ISDIR(st.st_mode))
        return Stands::Dir;
    return S_ISLNK(st.st_mode) ? Stands::Link : Stands::Other;
}

// Removes the entry at a canonical path through the kernel's call that
// the undo notes; a directory only when it is empty.
void remove_made(const std::string &path, Stands stands)
{
    const int r = sim_remove(path);
    if (r < 0 && r != -ENOENT && !(stands == Stands::Dir && (r == -ENOTEMPTY || r == -EEXIST)))
        throw std::filesystem::filesystem_error("cannot remove", g_board.root + path,
                                                std::error_code(-r, std::generic_category()));
}

// Makes way for a fresh board in place of a saved one, for a board that
// makes `own`: first takes away what a fresh board of any model, or the
// default board, makes and this one does not, each entry before the
// directory that holds it (a directory only when empty: what the user's
// lines wrote in it stays, and so does the directory); then, from the top down, the links that stand where this
// board makes a file or a directory, which its writes would follow. Links
// where it makes links are replaced as they are made. Nothing is read from
// the saved board.
void make_way(const MadeMap &own)
{
    static const MadeMap any = [] {
        MadeMap all;
        for (const SimBoardProfile &p : kProfiles) {
            all.merge(fresh_made(p, false));
            if (std::string_view(p.model) == kSimDefaultBoard)
                all.merge(fresh_made(p, true));
        }
        return all;
    }();
    for (auto it = any.rbegin(); it != any.rend(); ++it)
        if (!own.contains(it->first))
            if (const Stands stands = what_stands(it->first); stands != Stands::Nothing && stands != Stands::Beyond)
                remove_made(it->first, stands);
    for (const auto &[path, kind] : own)
        if (kind != SimMadeKind::Link && what_stands(path) == Stands::Link)
            remove_made(path, Stands::Link);
}

int attach(const SimBoardStart &start, SimDoc &saved, bool fresh, std::string &error)
{
    sim_reset(g_board.rootFd.fd, start.root);
    sim_fixture_begin_run();
    if (fresh && start.reset)
        make_way(fresh_made(*g_board.profile, start.board.empty()));
    // Models first, each with its saved state (none on a fresh board); then
    // a fresh board's facts, which the models take in.
    for (const SimBoardDevice &d : g_board.profile->devices)
        if (!d.attach(*g_board.profile, saved))
            return fail(error, saved.error);
    if (fresh) {
        sim_write_file(kSimBoardNamePath, g_board.model + "\n");
        write_boot_files(g_board.profile->fpgas);
        const char *facts = g_board.profile->fixture;
        if (facts && !sim_fixture_apply(facts, "(profile " + std::string(g_board.profile->model) + ")", error))
            return 1;
        if (start.board.empty() && !sim_fixture_apply(kDefaultSasFacts, "(default board)", error))
            return 1;
    }
    return 0;
}

bool save(std::string &error)
{
    SimDoc doc;
    doc.kind = "board";
    doc.version = kSimBoardVersion;
    doc.section("board").put_text("model", g_board.model);
    for (const SimBoardDevice &d : g_board.profile->devices)
        d.save(doc);
    SimDocSection end;
    end.name = kEndSection;
    end.put(kSectionCount, doc.sections.size());
    for (const SimDocSection &section : doc.sections)
        end.put(section.name, 1);
    doc.sections.push_back(std::move(end));
    if (g_board.reset)
        forget_old_state();
    return sim_doc_write(g_board.simFd.fd, kBoardName, own_name(kBoardName), doc, error);
}

} // namespace

const SimBoardProfile *sim_board_profile(std::string_view board)
{
    for (const SimBoardProfile &p : kProfiles)
        if (board == p.model)
            return &p;
    return nullptr;
}

std::string sim_board_unknown(std::string_view board)
{
    return "unknown board model '" + sim_clip(board) + "' (models: " + sim_board_models() + ")";
}

std::span<const SimBoardProfile> sim_board_profiles() { return kProfiles; }

const SimBoardProfile *sim_board_current() { return g_board.open ? g_board.profile : nullptr; }

int sim_board_same_dir(int dirFd, const std::string &other)
{
    struct stat dir {}, with {};
    if (::fstat(dirFd, &dir) != 0 || ::stat(other.c_str(), &with) != 0)
        return -1;
    return dir.st_dev == with.st_dev && dir.st_ino == with.st_ino ? 1 : 0;
}

int sim_board_default_root(const std::string &root, std::string &error)
{
    const std::string shown = sim_escape(root);
    SimFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | kOwnFileOpen));
    auto refuse = [&](const std::string &why) {
        error = shown + ": the default root " + why + "; remove it, or give --root DIR";
        return -1;
    };
    struct stat st {};
    if (fd.fd < 0) {
        const int err = errno;
        if (::lstat(root.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            return refuse("is a link");
        if (err == ENOTDIR)
            return refuse("is not a directory");
        error = shown + ": " + std::strerror(err);
        return -1;
    }
    if (::fstat(fd.fd, &st) != 0) {
        error = shown + ": " + std::strerror(errno);
        return -1;
    }
    if (st.st_uid != ::geteuid())
        return refuse("is owned by uid " + std::to_string(st.st_uid) + ", not by this user (uid " +
                      std::to_string(::geteuid()) + ")");
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return refuse("may be written by its group or others");
    return fd.release();
}

namespace {

int open_board(const SimBoardStart &start, std::string &error)
{
    if (g_board.open)
        return fail(error, "a board is already open");
    if (start.root.empty())
        return fail(error, "no root directory given");
    if (!start.board.empty() && !sim_board_profile(start.board))
        return fail(error, sim_board_unknown(start.board));
    g_board.root = start.root;
    g_board.rootFd.reset(open_root(start, error));
    g_board.running = g_board.rootFd.fd >= 0;
    if (g_board.rootFd.fd < 0 || check_root(g_board.rootFd.fd, error) || lock_root(error) ||
        clear_own_files(start.reset, error)) {
        unlock();
        return 1;
    }
    // Whatever stops the run from here on (a saved board that does not load,
    // a fixture, a save that fails, a signal) leaves the root as it was.
    sim_undo_begin(g_board.simFd.fd);
    SimDoc saved;
    std::string model;
    if (!start.reset && read_saved(saved, model, error)) {
        error += kResetHint;
        return give_up(1);
    }
    if (!model.empty() && !start.board.empty() && model != start.board)
        return give_up(fail(error, "the board in " + shown_root() + " is a " + model + "; give --reset to start a " +
                                       start.board + " board there"));
    bool fresh = model.empty();
    g_board.reset = start.reset;
    g_board.model = fresh ? (start.board.empty() ? kSimDefaultBoard : start.board) : model;
    g_board.profile = sim_board_profile(g_board.model);
    try {
        if (attach(start, saved, fresh, error)) {
            if (!fresh)
                error += kResetHint;
            return give_up(1);
        }
    } catch (const std::filesystem::filesystem_error &e) {
        return give_up(fail(error, sim_escape(e.path1().string()) + ": " + e.code().message()));
    } catch (const std::exception &e) {
        return give_up(fail(error, shown_root() + ": " + sim_clip(e.what())));
    }
    g_board.open = true;
    if (!g_board.exitHook)
        g_board.exitHook = std::atexit([] { sim_board_close(); }) == 0;
    host_select(&g_simHost);
    return 0;
}

} // namespace

int sim_board_open(const SimBoardStart &start, std::string &error)
{
    int status = open_board(start, error);
    if (status)
        error = sim_clip_quoted(error);
    return status;
}

int sim_board_open(const std::string &root, const std::string &board)
{
    std::string error;
    int status = sim_board_open(SimBoardStart{root, board, false}, error);
    if (status)
        std::fprintf(stderr, "quorbix-sim: %s\n", error.c_str());
    return status;
}

int sim_board_close()
{
    // Under the kernel's lock: a stop sees the old board and the root as it
    // was, or the new board and the root as the run left it.
    simk::Guard g;
    if (!g_board.open)
        return 0;
    host_select(nullptr);
    g_board.open = false;
    std::string error;
    bool saved = false;
    try {
        saved = save(error);
    } catch (const std::exception &e) {
        error = shown_own(kBoardName) + ": " + sim_clip(e.what());
    }
    if (saved)
        sim_undo_end();
    else
        std::fprintf(stderr, "quorbix-sim: board not saved: %s; %s\n", error.c_str(), put_back().c_str());
    unlock();
    return saved ? 0 : 1;
}

int sim_board_abandon(std::string &error)
{
    simk::Guard g;
    if (!g_board.open)
        return 0;
    host_select(nullptr);
    g_board.open = false;
    const int status = restore_root(error) ? 0 : 1;
    unlock();
    return status;
}

std::string sim_board_stop()
{
    simk::Guard g;
    if (!g_board.running)
        return "";
    g_board.running = false;
    g_board.open = false;
    return put_back();
}

std::string sim_board_models()
{
    std::string out;
    for (const SimBoardProfile &p : kProfiles)
        out += (out.empty() ? "" : ", ") + std::string(p.model);
    return out;
}
