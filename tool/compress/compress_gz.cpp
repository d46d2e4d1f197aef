// The commands that go through the gzip file layer: compress and decompress
// a file, the throughput tests with worker threads, and the data-flow test.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "bases/host/host.h"
#include "gzacc/gz_file.h"
#include "gzacc/gz_read_acc.h"
#include "tool/compress/compress.h"

namespace {

constexpr size_t kNameSize = 128;   // up to 127 characters
constexpr size_t kModeSize = 8;     // up to 7 characters
constexpr uint32_t kMaxThreads = 128;
constexpr uint32_t kOutBuf = 64u << 20;
constexpr useconds_t kPollUs = 500000;
constexpr int32_t kDftRoundSeconds = 12;
constexpr const char *kDftPlain = "wena_com_test.bin";
constexpr const char *kDftGz = "wena_com_test.gz";

#define ACC_STAMP() std::printf("%s [line %d] time stap : %lld  \n", __func__, __LINE__, gzacc::gz_now_ms())

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
using Buffer = std::unique_ptr<uint8_t, FreeDeleter>;

Buffer alloc_buffer(uint64_t size)
{
    Buffer b(size != 0 && size <= SIZE_MAX ? static_cast<uint8_t *>(std::malloc(size)) : nullptr);
    if (b == nullptr && size != 0)
        std::printf("malloc fail!\n");
    return b;
}

// A descriptor closed when it goes out of scope.
struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            host().close(fd);
    }
};

bool write_all(int fd, const uint8_t *buf, size_t len)
{
    return host().write(fd, buf, len) == static_cast<ssize_t>(len);
}

// ---- whole files --------------------------------------------------------------------------

// Opens the source, seeks to 0 and takes its size (not 0).
TransOpStatus open_source(const char *name, Fd &src, uint32_t &size)
{
    src.fd = host_open(name, O_RDONLY, 0);
    if (src.fd < 0) {
        std::printf("open file %s fail! Fd = %d\n\n", name, src.fd);
        return kAccOpenFailed;
    }
    const off_t pos = host().lseek(src.fd, 0, SEEK_SET);
    if (pos != 0) {
        std::printf("call lseek fail! iRet = %d\n\n", static_cast<int>(pos));
        return kAccSeekFailed;
    }
    struct stat st{};
    const int ret = host().fstat(src.fd, &st);
    if (ret != 0) {
        std::printf("fstat file fail! iRet = %d\n\n", ret);
        return kAccStatFailed;
    }
    if (st.st_size <= 0 || st.st_size > INT32_MAX) {
        std::printf("file state size fail! iRet = %d\n\n", ret);
        return kAccStatFailed;
    }
    size = static_cast<uint32_t>(st.st_size);
    std::printf("file data len = 0x%x BYTE!\n\n", size);
    return 0;
}

TransOpStatus read_source(const char *name, int fd, uint8_t *buf, uint32_t size)
{
    const ssize_t got = host().read(fd, buf, size);
    if (got != static_cast<ssize_t>(size)) {
        std::printf("read file %s len %d err!Ret = %d\n\n", name, 0, static_cast<int>(got));
        return kAccIoFailed;
    }
    return 0;
}

// One gzip member of buf written to `dest`; true when all was taken.
bool gz_write_file(const char *dest, const char *mode, const uint8_t *buf, uint32_t len, int *written)
{
    gzacc::gz_file_state *gz = gzacc::gzopen(dest, mode);
    if (gz == nullptr)
        return false;
    *written = gzacc::gzwrite(gz, buf, len);
    gzacc::gzclose(gz);
    return *written == static_cast<int>(len);
}

TransOpStatus compress_worker(const char *src, const char *dest, const char *mode)
{
    ACC_STAMP();
    Fd in;
    uint32_t size = 0;
    if (TransOpStatus ret = open_source(src, in, size))
        return ret;
    ACC_STAMP();
    Buffer buf = alloc_buffer(size);
    if (buf == nullptr)
        return kAccNoMemory;
    if (TransOpStatus ret = read_source(src, in.fd, buf.get(), size))
        return ret;
    ACC_STAMP();
    gzacc::gz_file_state *gz = gzacc::gzopen(dest, mode);
    if (gz == nullptr) {
        std::printf("gzopen file %s mode %s err!\n\n", dest, mode);
        return kAccOpenFailed;
    }
    const int written = gzacc::gzwrite(gz, buf.get(), size);
    gzacc::gzclose(gz);
    ACC_STAMP();
    if (written != static_cast<int>(size)) {
        std::printf("gzwrite file %s len %d err!\n\n", dest, written);
        return kAccOpenFailed;
    }
    return 0;
}

TransOpStatus uncompress_worker(const char *src, const char *dest, const char *mode)
{
    Fd out;
    out.fd = host_open(dest, O_RDWR | O_CREAT, 0600);
    if (out.fd < 0) {
        std::printf("open file %s fail! Fd = %d\n\n", dest, out.fd);
        return kAccOpenFailed;
    }
    Buffer buf = alloc_buffer(kOutBuf);
    if (buf == nullptr)
        return kAccNoMemory;
    gzacc::gz_file_state *gz = gzacc::gzopen(src, mode);
    if (gz == nullptr) {
        std::printf("gzopen file %s mode %s err!\n\n", src, mode);
        return kAccOpenFailed;
    }
    const int got = gzacc::gzread(gz, buf.get(), kOutBuf);
    gzacc::gzclose(gz);
    if (got < 1) {
        std::printf("gzread file %s len %d err!\n\n", src, got);
        return kAccIoFailed;
    }
    const ssize_t wrt = host().write(out.fd, buf.get(), static_cast<size_t>(got));
    if (wrt != got) {
        std::printf("write file %s len %d err!Ret = %d\n\n", dest, got, static_cast<int>(wrt));
        return kAccIoFailed;
    }
    host().ftruncate(out.fd, got);   // an older, longer file keeps nothing of its own
    return 0;
}

using FileWorker = TransOpStatus (*)(const char *, const char *, const char *);

struct FileCommand {
    const char *name;
    FileWorker worker;
    const char *word;   // "compress" or "uncompress"
    bool stamp;         // compression prints time stamps
};

constexpr FileCommand kCompressFile{"acc_compress_file", compress_worker, "compress", true};
constexpr FileCommand kUncompressFile{"acc_uncompress_file", uncompress_worker, "uncompress", false};

TransOpStatus file_command(const FileCommand &cmd, const char *params, unsigned line)
{
    char src[kNameSize] = {}, dest[kNameSize] = {}, mode[kModeSize] = {};
    const int ret = sscanf_s(params, "%127[-_a-zA-Z0-9./]:%127[-_a-zA-Z0-9./]:%7[a-zA-Z0-9]", src, unsigned(sizeof src),
                             dest, unsigned(sizeof dest), mode, unsigned(sizeof mode));
    if (ret != 3)
        return acc_bad_input(CmdSite{cmd.name, kAccFile, line}, ret);
    if (cmd.stamp)
        std::printf("%s [line %u] time stap : %lld  \n", cmd.name, line, gzacc::gz_now_ms());
    const TransOpStatus st = cmd.worker(src, dest, mode);
    if (st != 0) {
        std::printf("acc_%s err,ret = %d\n\n", cmd.word, st);
        return st;
    }
    std::printf("%s file %s success!\n\n", cmd.word, src);
    std::printf("dest file : %s\n\n", dest);
    trans_success();
    return 0;
}

// ---- throughput tests ---------------------------------------------------------------------

struct AccThreadRec {
    const char *file;
    uint8_t *buf;
    std::atomic<uint32_t> length;
    uint32_t size;
    std::atomic<uint32_t> state;   // 2 running, 1 failed, 0 finished
    uint32_t loops;
    std::atomic<uint32_t> done;
    uint32_t num;
    const std::atomic<bool> *quit;   // set when another thread failed: stop after this round
    pthread_t thread;
};

constexpr uint32_t kRunning = 2, kFailed = 1, kFinished = 0;

void *acc_gzwrite(void *arg)
{
    auto &r = *static_cast<AccThreadRec *>(arg);
    r.state = kRunning;
    std::printf("%s  %s %p 0x%x threadnum = %u pid = %d tid = %d\n\n", __func__, r.file, static_cast<void *>(r.buf),
                r.length.load(), r.num, static_cast<int>(host().getpid()), static_cast<int>(host().gettid()));
    for (uint32_t i = 0; i < r.loops && !r.quit->load(); i++) {
        int written = 0;
        if (!gz_write_file(r.file, "wb9", r.buf, r.length, &written)) {
            r.state = kFailed;
            return nullptr;
        }
        r.done++;
    }
    r.state = kFinished;
    return nullptr;
}

void *acc_gzread(void *arg)
{
    auto &r = *static_cast<AccThreadRec *>(arg);
    r.state = kRunning;
    std::printf("%s  %s %p 0x%x threadnum = %u pid = %d tid = %d\n\n", __func__, r.file, static_cast<void *>(r.buf),
                r.length.load(), r.num, static_cast<int>(host().getpid()), static_cast<int>(host().gettid()));
    for (uint32_t i = 0; i < r.loops && !r.quit->load(); i++) {
        gzacc::gz_file_state *gz = gzacc::gzopen(r.file, "rb");
        if (gz == nullptr) {
            r.state = kFailed;
            return nullptr;
        }
        const int got = gzacc::gzread(gz, r.buf, r.size);
        gzacc::gzclose(gz);
        if (got < 1) {
            r.length = 0;
            r.state = kFailed;
            return nullptr;
        }
        r.length = static_cast<uint32_t>(got);
        r.done++;
    }
    r.state = kFinished;
    return nullptr;
}

// What differs between the two throughput tests.
struct PerfKind {
    const char *name;
    void *(*worker)(void *);
    const char *word;   // "compress" or "uncompress"
    const char *title;  // "Compress" or "Uncompress"
    bool reportSuccess;   // the decompression test names every finished thread
};

constexpr PerfKind kComPerf{"acc_compress_perf", acc_gzwrite, "compress", "Compress", false};
constexpr PerfKind kUncomPerf{"acc_uncompress_perf", acc_gzread, "uncompress", "Uncompress", true};

struct PerfRun {
    const PerfKind &kind;
    AccThreadRec *recs;
    uint32_t threads;
    std::atomic<bool> quit{false};
    uint32_t started = 0;
};

// Joins every started worker; the others stop after their round.
void join_workers(PerfRun &run)
{
    run.quit = true;
    for (uint32_t i = 0; i < run.started; i++)
        host().pthread_join(run.recs[i].thread, nullptr);
}

TransOpStatus start_workers(PerfRun &run)
{
    for (uint32_t i = 0; i < run.threads; i++) {
        run.recs[i].quit = &run.quit;
        const int ret = host().pthread_create(&run.recs[i].thread, nullptr, run.kind.worker, &run.recs[i]);
        if (ret != 0) {
            std::printf("acc_perf_test pthread_create compress error=%d\n", ret);
            return kAccThreadFailed;
        }
        run.started++;
    }
    return 0;
}

void report_speed(const PerfRun &run, uint32_t size, uint32_t rounds, long long ms)
{
    std::printf(" File size 0%d B thread num %d loop cnt %d %s cost %lld ms !\n", static_cast<int>(size),
                static_cast<int>(run.threads), static_cast<int>(rounds), run.kind.word, ms);
    if (ms == 0)
        return;
    const double perMs = static_cast<double>(size) * rounds / static_cast<double>(ms);
    std::printf(" %s speed: %f B/ms   %lld Mb/s!\n", run.kind.title, perMs, static_cast<long long>(1000 * perMs * 8 / 1048576));
}

// Polls the records every 500 ms until all finished or one failed.
TransOpStatus poll_workers(PerfRun &run, uint32_t fileSize, long long start)
{
    for (;;) {
        bool failed = false, running = false;
        uint32_t rounds = 0;
        for (uint32_t i = 0; i < run.threads; i++) {
            const uint32_t st = run.recs[i].state.load();
            if (st == kFailed) {
                std::printf(" Thread %u compress --- failed!\n\n", i);
                failed = true;
            } else if (st == kFinished && run.kind.reportSuccess) {
                std::printf(" Thread %u compress --- success!\n\n", i);
            }
            running = running || st == kRunning;
            rounds += run.recs[i].done.load();
        }
        if (failed)
            return kAccTestFailed;
        const uint32_t size = run.kind.reportSuccess && run.threads != 0 ? run.recs[0].length.load() : fileSize;
        report_speed(run, size, rounds, gzacc::gz_now_ms() - start);
        if (!running) {
            std::printf(" %s test completed!", run.kind.title);
            return 0;
        }
        host().usleep(kPollUs);
    }
}

struct PerfParams {
    char src[kNameSize] = {};
    char dest[kNameSize] = {};
    int32_t threads = 0;
    int32_t loops = 0;
};

TransOpStatus perf_scan(const PerfKind &kind, const char *params, PerfParams &p, unsigned line)
{
    const int ret = sscanf_s(params, "%127[-_a-zA-Z0-9./]:%127[-_a-zA-Z0-9./]:%d:%d", p.src, unsigned(sizeof p.src),
                             p.dest, unsigned(sizeof p.dest), &p.threads, &p.loops);
    if (ret != 4)
        return acc_bad_input(CmdSite{kind.name, kAccFile, line}, ret);
    if (p.threads < 0 || p.threads > static_cast<int32_t>(kMaxThreads) || p.loops < 0)
        return kTransBadInput;
    return 0;
}

// Runs the workers over their records and joins them whatever happens.
TransOpStatus perf_run(const PerfKind &kind, AccThreadRec *recs, uint32_t threads, uint32_t fileSize)
{
    PerfRun run{kind, recs, threads};
    const long long start = gzacc::gz_now_ms();
    TransOpStatus ret = start_workers(run);
    if (ret == 0)
        ret = poll_workers(run, fileSize, start);
    join_workers(run);
    return ret;
}

void fill_rec(AccThreadRec &r, const char *file, uint8_t *buf, uint32_t len, uint32_t size, uint32_t loops,
              uint32_t num)
{
    r.file = file;
    r.buf = buf;
    r.length = len;
    r.size = size;
    r.state = kRunning;
    r.loops = loops;
    r.done = 0;
    r.num = num;
}

TransOpStatus compress_perf(const PerfParams &p)
{
    std::printf("quorbix %s  pid = %d tid = %d\n\n", __func__, static_cast<int>(host().getpid()),
                static_cast<int>(host().gettid()));
    Fd in;
    uint32_t size = 0;
    if (TransOpStatus ret = open_source(p.src, in, size))
        return ret;
    const auto threads = static_cast<uint32_t>(p.threads);
    Buffer data = alloc_buffer(uint64_t{threads} * size);
    if (data == nullptr && threads != 0)
        return kAccNoMemory;
    if (threads != 0) {
        if (TransOpStatus ret = read_source(p.src, in.fd, data.get(), size))
            return ret;
        for (uint32_t i = 1; i < threads; i++)
            std::memcpy(data.get() + uint64_t{i} * size, data.get(), size);
    }
    std::unique_ptr<char[][kNameSize]> names(new (std::nothrow) char[kMaxThreads][kNameSize]());
    std::unique_ptr<AccThreadRec[]> recs(new (std::nothrow) AccThreadRec[kMaxThreads]());
    if (names == nullptr || recs == nullptr) {
        std::printf("malloc fail!\n");
        return kAccNoMemory;
    }
    for (uint32_t i = 0; i < threads; i++) {
        std::snprintf(names[i], kNameSize, "%.100s.%u", p.dest, i);
        fill_rec(recs[i], names[i], data.get() + uint64_t{i} * size, size, size, static_cast<uint32_t>(p.loops), i);
    }
    return perf_run(kComPerf, recs.get(), threads, size);
}

TransOpStatus uncompress_perf(const PerfParams &p)
{
    std::printf("quorbix %s  pid = %d tid = %d\n\n", __func__, static_cast<int>(host().getpid()),
                static_cast<int>(host().gettid()));
    const auto threads = static_cast<uint32_t>(p.threads);
    Buffer data = alloc_buffer(uint64_t{threads} * kOutBuf);
    if (data == nullptr && threads != 0)
        return kAccNoMemory;
    AccThreadRec recs[kMaxThreads] = {};
    for (uint32_t i = 0; i < threads; i++)
        fill_rec(recs[i], p.src, data.get() + uint64_t{i} * kOutBuf, 0, kOutBuf, static_cast<uint32_t>(p.loops), i);
    return perf_run(kUncomPerf, recs, threads, 0);
}

// ---- data flow ----------------------------------------------------------------------------

TransOpStatus write_pattern(const uint8_t *buf)
{
    Fd f;
    f.fd = host_open(kDftPlain, O_WRONLY | O_CREAT, 0600);
    if (f.fd < 0) {
        std::printf("create file %s failed! Fd = %d\n\n", kDftPlain, f.fd);
        return kAccOpenFailed;
    }
    if (!write_all(f.fd, buf, kOutBuf)) {
        std::printf("write file %s failed! Fd = %d\n\n", kDftPlain, f.fd);
        return kAccIoFailed;
    }
    host().ftruncate(f.fd, kOutBuf);
    return 0;
}

TransOpStatus dft_round(const uint8_t *pattern, uint8_t *back)
{
    int written = 0;
    gzacc::gz_file_state *gz = gzacc::gzopen(kDftGz, "wb9");
    if (gz == nullptr) {
        std::printf("gzopen file %s failed! \n\n", kDftGz);
        return kAccOpenFailed;
    }
    written = gzacc::gzwrite(gz, pattern, kOutBuf);
    gzacc::gzclose(gz);
    if (written != static_cast<int>(kOutBuf)) {
        std::printf("gzwrite file %s failed! \n\n", kDftGz);
        return kAccIoFailed;
    }
    if ((gz = gzacc::gzopen(kDftGz, "rb")) == nullptr) {
        std::printf("gzopen file %s failed! \n\n", kDftGz);
        return kAccOpenFailed;
    }
    std::memset(back, 0, kOutBuf);
    const int got = gzacc::gzread(gz, back, kOutBuf);
    gzacc::gzclose(gz);
    if (got != static_cast<int>(kOutBuf)) {
        std::printf("gzread file %s failed! \n\n", kDftGz);
        return kAccIoFailed;
    }
    if (std::memcmp(pattern, back, kOutBuf) != 0) {
        std::printf("memcmp file failed! \n");
        return kAccIoFailed;
    }
    return 0;
}

}  // namespace

TransOpStatus acc_compress_file(const char *params) { return file_command(kCompressFile, params, __LINE__); }
TransOpStatus acc_uncompress_file(const char *params) { return file_command(kUncompressFile, params, __LINE__); }

TransOpStatus acc_compress_perf(const char *params)
{
    PerfParams p;
    if (TransOpStatus ret = perf_scan(kComPerf, params, p, __LINE__))
        return ret;
    std::printf("%s  :  %s  :%d :%d\n\n", p.src, p.dest, p.threads, p.loops);
    return compress_perf(p);
}

TransOpStatus acc_uncompress_perf(const char *params)
{
    PerfParams p;
    if (TransOpStatus ret = perf_scan(kUncomPerf, params, p, __LINE__))
        return ret;
    if (host().access(p.src, F_OK) != 0)
        return kTransBadInput;
    std::printf("%s  :  %s  :%d :%d\n\n", p.src, p.dest, p.threads, p.loops);
    const TransOpStatus ret = uncompress_perf(p);
    if (ret != 0)
        std::printf("acc_compress err,ret = %d\n\n", ret);
    return ret;
}

TransOpStatus acc_data_flow_test(const char *params)
{
    int32_t first = 0, seconds = 0;
    const int ret = sscanf_s(params, "%d:%d", &first, &seconds);
    if (ret != 2)
        return acc_bad_input(ACC_SITE("acc_data_flow_test"), ret, true);
    Buffer pattern = alloc_buffer(kOutBuf), back = alloc_buffer(kOutBuf);
    if (pattern == nullptr || back == nullptr) {
        std::printf("malloc buf failed!");
        return kAccNoMemory;
    }
    for (uint32_t i = 0; i < kOutBuf; i++)
        pattern.get()[i] = static_cast<uint8_t>(i);
    if (TransOpStatus st = write_pattern(pattern.get()))
        return st;
    const uint32_t rounds = acc_rounds(seconds, kDftRoundSeconds);
    for (uint32_t round = 0; round < rounds; round++) {
        if (TransOpStatus st = dft_round(pattern.get(), back.get()))
            return st;
        std::printf("Test %u time success! \n\n", round);
    }
    std::printf("Data flow test success!\n");
    return 0;
}
