#include "sim/sim_run.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <iterator>
#include <pthread.h>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "sim/fixture_file.h"
#include "sim/kit/sim_fd.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"
#include "tool/quorbix.h"

namespace {

constexpr uint64_t kSimClockTickNs = 100;

// Whether the runs keep the request journal (quorbix_sim_keep_journal).
bool g_keepJournal = false;

constexpr const char *kSimUsage =
    "usage: quorbix-sim [-h] [--board MODEL] [--root DIR] [--reset] [--fixture FILE]... [--syslog] -- OPTIONS...\n";

constexpr const char *kSimOptions =
    "Runs quorbix (OPTIONS are its own) on a simulated board kept in a directory.\n"
    "\n"
    "  -h, --help      print this text\n"
    "  --root DIR      the directory that holds the board and stands for / (default\n"
    "                  /tmp/quorbix-sim-<uid>); the board is saved in DIR/.sim/board\n"
    "  --board MODEL   the model of a fresh board (default ZK17DORN); a saved board of\n"
    "                  another model needs --reset\n"
    "  --reset         start a fresh board in place of the saved one\n"
    "  --fixture FILE  apply the facts in FILE before quorbix runs (repeatable, in order);\n"
    "                  an error anywhere leaves DIR as it was\n"
    "  --syslog        print the syslog lines of the run on stderr after it\n"
    "\n"
    "Board models and what they hold besides /dev/mem, the PCI bus, /dev/spi_flash,\n"
    "/dev/rtc_dev, /dev/i2c_agent and a SAS controller with disks on the default board\n"
    "(ZK17DORN without --board):\n";

// What each model adds to the devices every board has.
struct ModelLine {
    const char *model;
    const char *holds;
};

constexpr ModelLine kModelLines[] = {
    {"ZK17TRVA", "no packet FPGA"},
    {"ZK17DORN", "packet FPGAs /dev/trans_pci and /dev/sbuf_pci, accelerator /dev/acce_dev0, uncore"},
    {"ZK17KESP", "packet FPGA /dev/trans_pci, media sub-boards /dev/media_dev"},
    {"ZK17WENA", "network SFP modules"},
    {"ZK17FOLRA", "network SFP modules"},
    {"ZK17BIXA", "no packet FPGA"},
    {"ZK17WENB", "network SFP modules"},
    {"ZK17WENC", "no packet FPGA"},
    {"ZK17FOLRB", "network SFP modules"},
};

struct SimArgs {
    SimBoardStart start;
    std::vector<std::string> fixtures;
    bool syslog = false;
    bool help = false;
    int tool = 0;  // argv position of "--"
};

int sim_fail(const std::string &message)
{
    // Written whole: a byte of the message is never taken for its end.
    const std::string line = "quorbix-sim: " + sim_clip_quoted(message) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    return 1;
}

void print_help()
{
    std::fputs(kSimUsage, stdout);
    std::fputs(kSimOptions, stdout);
    for (const ModelLine &m : kModelLines)
        std::printf("  %-10s %s\n", m.model, m.holds);
}

// The simulator's own options, up to "--". False with `error` set for a
// usage error.
bool parse_args(int argc, char **argv, SimArgs &a, std::string &error)
{
    a.start.root = "/tmp/quorbix-sim-" + std::to_string(getuid());
    a.start.defaultRoot = true;
    for (int i = 1; i < argc; i++) {
        std::string_view arg = argv[i];
        const bool valued = arg == "--board" || arg == "--root" || arg == "--fixture";
        if (valued && i + 1 >= argc) {
            error = std::string(arg) + " wants a value";
            return false;
        }
        if (arg == "--") {
            a.tool = i;
            return true;
        }
        if (arg == "-h" || arg == "--help") {
            a.help = true;
            return true;
        }
        if (arg == "--reset")
            a.start.reset = true;
        else if (arg == "--syslog")
            a.syslog = true;
        else if (arg == "--board") {
            // A model given is one of the names, whole: not empty, not a
            // text that merely holds one.
            a.start.board = argv[++i];
            if (!sim_board_profile(a.start.board)) {
                error = sim_board_unknown(a.start.board);
                return false;
            }
        }
        else if (arg == "--root") {
            a.start.root = argv[++i];
            a.start.defaultRoot = false;
        }
        else if (arg == "--fixture")
            a.fixtures.push_back(argv[++i]);
        else {
            error = "unknown option '" + sim_clip(arg) +
                    "' (options: -h, --board MODEL, --root DIR, --reset, --fixture FILE, --syslog, then -- OPTIONS)";
            return false;
        }
    }
    error = "no '--' before quorbix's options (quorbix-sim -h prints the usage)";
    return false;
}

// The fixtures, all or none: on an error the board is dropped unsaved and
// the root put back.
int apply_fixtures(const std::vector<std::string> &files)
{
    std::string error;
    for (const std::string &file : files)
        if (!sim_fixture_load(file, error)) {
            std::string undo;
            if (sim_board_abandon(undo))
                error += "; " + undo;
            return sim_fail(error);
        }
    return 0;
}

// Each line as "syslog<PRIORITY>: TEXT", without the text's own line ends.
void print_syslog()
{
    for (const SimLogLine &line : sim_syslog()) {
        std::string_view text = line.text;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.remove_suffix(1);
        std::fprintf(stderr, "syslog<%d>: %.*s\n", line.priority, static_cast<int>(text.size()), text.data());
    }
}

// ---- signals -------------------------------------------------------------------------
//
// A stop signal's handler only writes its number to a pipe. A watcher
// thread reads it, takes the kernel's lock (so no call of the run goes on),
// puts the root back (sim_board_stop), says so, and ends the process by
// the same signal: nothing unwinds through the tool's code.

struct StopSignal {
    int number;
    const char *name;
};

constexpr StopSignal kStopSignals[] = {{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};
constexpr unsigned char kWatchEnd = 0;  // the run returned: the watcher ends

std::atomic<int> g_stopPipe{-1};  // its write end, for the handler

void on_stop_signal(int sig)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(sig);
    if (::write(g_stopPipe.load(), &number, 1) < 0) {
        // The pipe is full: a stop is already on its way.
    }
    errno = saved;
}

const char *stop_name(int sig)
{
    for (const StopSignal &s : kStopSignals)
        if (s.number == sig)
            return s.name;
    return "a signal";
}

// Written with no stdio lock: a thread of the run may hold stderr's.
void write_line(const std::string &line)
{
    for (size_t done = 0; done < line.size();) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

[[noreturn]] void stop_run(int sig)
{
    sim_kernel_lock();  // kept: the process ends holding it
    const std::string done = sim_board_stop();
    if (!done.empty())
        write_line("quorbix-sim: stopped by " + std::string(stop_name(sig)) + "; " + done + "\n");
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(sig, &dfl, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(sig);
    ::_exit(128 + sig);
}

void watch(int readFd)
{
    for (;;) {
        unsigned char number = kWatchEnd;
        const ssize_t n = ::read(readFd, &number, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || number == kWatchEnd)
            return;
        stop_run(number);
    }
}

// The run's dispositions, from quorbix_sim_run's start to its return: the
// stop signals go to the watcher (one ignored when the run starts, as
// under nohup, stays ignored), and SIGPIPE is ignored, so output to a
// closed pipe is dropped and the run goes on to its save. Those found are
// put back when the run returns.
struct SignalWatch {
    SimFd readEnd, writeEnd;
    std::thread watcher;
    struct sigaction pipeFound {};
    bool pipeSet = false;
    struct sigaction stopFound[std::size(kStopSignals)] = {};
    bool stopSet[std::size(kStopSignals)] = {};

    SignalWatch()
    {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        pipeSet = ::sigaction(SIGPIPE, &ignore, &pipeFound) == 0;
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return;
        readEnd.reset(ends[0]);
        writeEnd.reset(ends[1]);
        ::fcntl(writeEnd.fd, F_SETFL, O_NONBLOCK);
        try {
            watcher = std::thread(watch, readEnd.fd);
        } catch (const std::system_error &) {
            return;
        }
        g_stopPipe.store(writeEnd.fd);
        struct sigaction stop {};
        stop.sa_handler = on_stop_signal;
        stop.sa_flags = SA_RESTART;
        sigemptyset(&stop.sa_mask);
        for (size_t i = 0; i < std::size(kStopSignals); i++) {
            const int sig = kStopSignals[i].number;
            stopSet[i] = ::sigaction(sig, nullptr, &stopFound[i]) == 0 && stopFound[i].sa_handler != SIG_IGN &&
                         ::sigaction(sig, &stop, nullptr) == 0;
        }
    }

    ~SignalWatch()
    {
        for (size_t i = 0; i < std::size(kStopSignals); i++)
            if (stopSet[i])
                ::sigaction(kStopSignals[i].number, &stopFound[i], nullptr);
        std::vector<int> late;
        if (watcher.joinable()) {
            // Behind any stop a handler wrote before: the watcher acts on that first.
            while (::write(writeEnd.fd, &kWatchEnd, 1) < 0 && (errno == EINTR || errno == EAGAIN)) {
            }
            watcher.join();
            g_stopPipe.store(-1);
            // A handler that ran as the dispositions went back wrote after
            // the end: its signal goes to the disposition found.
            ::fcntl(readEnd.fd, F_SETFL, O_NONBLOCK);
            for (unsigned char number; ::read(readEnd.fd, &number, 1) == 1;)
                if (number != kWatchEnd)
                    late.push_back(number);
        }
        if (pipeSet)
            ::sigaction(SIGPIPE, &pipeFound, nullptr);
        for (int sig : late)
            ::raise(sig);
    }

    SignalWatch(const SignalWatch &) = delete;
    SignalWatch &operator=(const SignalWatch &) = delete;
};

int run(int argc, char **argv)
{
    SimArgs a;
    std::string error;
    if (!parse_args(argc, argv, a, error))
        return sim_fail(error);
    if (a.help) {
        print_help();
        return 0;
    }
    if (sim_board_open(a.start, error))
        return sim_fail(error);
    // Only tests read the journal: a run's memory does not grow with its commands.
    sim_journal_enable(g_keepJournal);
    // Every clock read moves the clock a little, so busy waits on it end.
    sched_set_tick_ns(kSimClockTickNs);
    if (apply_fixtures(a.fixtures))
        return 1;
    // The tool sees the program name followed by the options after "--".
    std::vector<char *> args{argv[0]};
    args.insert(args.end(), argv + a.tool + 1, argv + argc);
    args.push_back(nullptr);
    int status = quorbix_run(static_cast<int>(args.size() - 1), args.data());
    std::fflush(stdout);
    sched_end_run();  // threads the run left behind end at their waits
    if (a.syslog)
        print_syslog();
    if (sim_board_close())
        return 1;
    return status;
}

} // namespace

int quorbix_sim_run(int argc, char **argv)
{
    const SignalWatch signals;
    try {
        return run(argc, argv);
    } catch (const std::exception &e) {
        std::string undo;
        sim_board_abandon(undo);
        return sim_fail("stopped: " + sim_clip(e.what()));
    }
}

void quorbix_sim_keep_journal(bool keep) { g_keepJournal = keep; }
