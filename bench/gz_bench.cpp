// The gzip layer's writers in one run:
// - CPU mode against the linked zlib's gzwrite at levels 6 and 1, same
//   buffer size, on 64 MiB of repetitive and of mixed input;
// - the accelerated write through the simulated card (journal off) against
//   the card model's own deflate of the same slices, so what remains is the
//   layer's copies, messages and thread hand-offs.
// and its readers:
// - CPU mode against zlib's gzread on the same files and buffer size, the
//   reader's console lines going to /dev/null;
// - the accelerated read of 200 MiB through the card model against zlib's
//   gzread of the same file.
// Both CPU sides run on the simulated board's files (the layer's writes go
// through its host, zlib's straight to the same directory).
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <filesystem>
#include <string>
#include <vector>

#include "asmf/interface/asmf_interface.h"
#include "bench/bench_quiet.h"
#include "gzacc/gz_acc.h"
#include "gzacc/gz_file.h"
#include "gzacc/gz_read_acc.h"
#include "sim/asmf_model.h"
#include "sim/gz_card_model.h"
#include "sim/sim_board.h"
#include "sim/sim_host.h"

namespace {

constexpr size_t kSize = size_t{64} << 20;

struct Board {
    std::string root;
    Board()
    {
        char tmpl[] = "/tmp/quorbix-gzbench-XXXXXX";
        root = mkdtemp(tmpl);
        sim_board_open(root, "ZK17DORN");
        sim_journal_enable(false);
        gz_card_install();
        asmf_sim_settings().taskNsPerMiB = 0;
    }
    ~Board()
    {
        oxcompFinalize();
        sim_board_close();
        std::filesystem::remove_all(root);
    }
};

Board &board()
{
    static Board b;
    return b;
}

const std::vector<uint8_t> &input(int kind)
{
    static const std::vector<uint8_t> rep = [] {
        std::vector<uint8_t> v(kSize);
        for (size_t i = 0; i < kSize; i++)
            v[i] = static_cast<uint8_t>("0123456789abcdefquorbix!"[i % 24] + (i >> 20) % 3);
        return v;
    }();
    static const std::vector<uint8_t> mixed = [] {
        std::vector<uint8_t> v(kSize);
        uint32_t x = 1;
        for (size_t i = 0; i < kSize; i++) {
            x = x * 1664525u + 1013904223u;
            const size_t part = (i / 4096) % 3;
            v[i] = part == 0 ? static_cast<uint8_t>("log line of the board\n"[i % 22]) : part == 1 ? static_cast<uint8_t>(x >> 24) : 0;
        }
        return v;
    }();
    return kind == 0 ? rep : mixed;
}

void write_chunks(benchmark::State &state, const std::function<void(const uint8_t *, unsigned)> &put)
{
    const std::vector<uint8_t> &in = input(static_cast<int>(state.range(0)));
    constexpr unsigned kChunk = 1 << 20;
    for (size_t off = 0; off < in.size(); off += kChunk)
        put(in.data() + off, kChunk);
}

// range(0): 0 repetitive, 1 mixed; range(1): level.
void BM_LayerCpu(benchmark::State &state)
{
    board();
    input(static_cast<int>(state.range(0)));
    const std::string mode = "wc" + std::to_string(state.range(1));
    for (auto _ : state) {
        gzacc::gz_file_state *f = gzacc::gzopen("/cpu.gz", mode.c_str());
        write_chunks(state, [&](const uint8_t *p, unsigned n) { gzacc::gzwrite(f, p, n); });
        gzacc::gzclose(f);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void BM_ZlibGzwrite(benchmark::State &state)
{
    input(static_cast<int>(state.range(0)));
    const std::string path = board().root + "/zlib.gz", mode = "w" + std::to_string(state.range(1));
    for (auto _ : state) {
        gzFile z = ::gzopen(path.c_str(), mode.c_str());
        ::gzbuffer(z, gzacc::GZ_BUFSIZE);
        write_chunks(state, [&](const uint8_t *p, unsigned n) { ::gzwrite(z, p, n); });
        ::gzclose(z);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void BM_LayerCard(benchmark::State &state)
{
    board();
    const std::vector<uint8_t> &in = input(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        gzacc::gz_file_state *f = gzacc::gzopen("/card.gz", "w");
        if (gzacc::gzwrite(f, in.data(), static_cast<unsigned>(in.size())) != static_cast<int>(in.size()))
            state.SkipWithError("accelerated write failed");
        gzacc::gzclose(f);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

// The card model's own work for the same slices: deflate at card level 5.
void BM_CardDeflateOnly(benchmark::State &state)
{
    const std::vector<uint8_t> &in = input(static_cast<int>(state.range(0)));
    const gzacc::GzSlices sl = gzacc::gz_slice_sizes(static_cast<uint32_t>(in.size()));
    for (auto _ : state) {
        uint32_t crc = 0;
        for (uint32_t i = 0; i < sl.count; i++) {
            const size_t off = size_t{i} * sl.srcSize, n = std::min<size_t>(in.size() - off, sl.srcSize);
            std::vector<uint8_t> slice(in.begin() + static_cast<long>(off), in.begin() + static_cast<long>(off + n)),
                out;
            gz_card_deflate(slice, 5, i + 1 == sl.count, out);
            crc = static_cast<uint32_t>(::crc32(crc, slice.data(), static_cast<uInt>(n)));
            benchmark::DoNotOptimize(out.data());
        }
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

// A file written by zlib at level 6 from input kind `kind`, `copies` times over.
const std::string &read_file(int kind, int copies)
{
    static std::string made[2][5];
    std::string &path = made[kind][copies];
    if (path.empty()) {
        path = "/read" + std::to_string(kind) + "_" + std::to_string(copies) + ".gz";
        gzFile z = ::gzopen((board().root + path).c_str(), "w6");
        for (int i = 0; i < copies; i++)
            ::gzwrite(z, input(kind).data(), static_cast<unsigned>(kSize));
        ::gzclose(z);
    }
    return path;
}

constexpr unsigned kReadChunk = 1 << 20;

// range(0): input kind.
void BM_LayerCpuRead(benchmark::State &state)
{
    const std::string &path = read_file(static_cast<int>(state.range(0)), 1);
    std::vector<uint8_t> buf(kReadChunk);
    BenchQuiet q;
    for (auto _ : state) {
        gzacc::gz_file_state *f = gzacc::gzopen(path.c_str(), "rc");
        while (gzacc::gzread(f, buf.data(), kReadChunk) > 0) {
        }
        gzacc::gzclose(f);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void BM_ZlibGzread(benchmark::State &state)
{
    const std::string path = board().root + read_file(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<uint8_t> buf(kReadChunk);
    for (auto _ : state) {
        gzFile z = ::gzopen(path.c_str(), "r");
        ::gzbuffer(z, gzacc::GZ_BUFSIZE);
        while (::gzread(z, buf.data(), kReadChunk) > 0) {
        }
        ::gzclose(z);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize * static_cast<size_t>(state.range(1))));
}

// The accelerated read of the repetitive input three times over (192 MiB)
// plus its head: one gzread into one buffer.
void BM_LayerCardRead(benchmark::State &state)
{
    const std::string &path = read_file(0, 3);
    std::vector<uint8_t> buf(4 * kSize);
    BenchQuiet q;
    for (auto _ : state) {
        gzacc::gz_file_state *f = gzacc::gzopen(path.c_str(), "r");
        if (gzacc::gzread(f, buf.data(), static_cast<unsigned>(buf.size())) != static_cast<int>(3 * kSize))
            state.SkipWithError("accelerated read failed");
        gzacc::gzclose(f);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 3 * kSize));
}

}  // namespace

BENCHMARK(BM_LayerCpuRead)->Arg(0)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibGzread)->Args({0, 1})->Args({1, 1})->Args({0, 3})->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayerCardRead)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayerCpu)->Args({0, 6})->Args({1, 6})->Args({0, 1})->Args({1, 1})->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibGzwrite)->Args({0, 6})->Args({1, 6})->Args({0, 1})->Args({1, 1})->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LayerCard)->Arg(0)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CardDeflateOnly)->Arg(0)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
