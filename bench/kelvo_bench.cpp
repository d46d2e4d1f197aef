// kelvo against the C library on the tool's own shapes of formatting,
// scanning, copying and filling.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "kelvo/kelvo.h"

namespace {

// Formatting.
constexpr const char kFile[] = "boardlib/plov_port.cpp";

void BM_Line_kelvo(benchmark::State &state)
{
    char buf[256];
    int line = 417;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sprintf_s(buf, sizeof buf, "%s:%d [quorbix-ERR]port %u link down, ret %d",
                                           kFile, line, 3u, -1330));
        benchmark::ClobberMemory();
    }
}

void BM_Line_libc(benchmark::State &state)
{
    char buf[256];
    int line = 417;
    for (auto _ : state) {
        benchmark::DoNotOptimize(snprintf(buf, sizeof buf, "%s:%d [quorbix-ERR]port %u link down, ret %d",
                                          kFile, line, 3u, -1330));
        benchmark::ClobberMemory();
    }
}

void BM_Hex64_kelvo(benchmark::State &state)
{
    char buf[32];
    unsigned long long v = 0xFEDCBA9876543ULL;
    for (auto _ : state) {
        benchmark::DoNotOptimize(snprintf_s(buf, sizeof buf, sizeof buf - 1, "0x%llx", v));
        benchmark::ClobberMemory();
    }
}

void BM_Hex64_libc(benchmark::State &state)
{
    char buf[32];
    unsigned long long v = 0xFEDCBA9876543ULL;
    for (auto _ : state) {
        benchmark::DoNotOptimize(snprintf(buf, sizeof buf, "0x%llx", v));
        benchmark::ClobberMemory();
    }
}

void BM_Byte_kelvo(benchmark::State &state)
{
    char buf[16];
    unsigned v = 0xA5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sprintf_s(buf, sizeof buf, "%2x\t", v));
        benchmark::ClobberMemory();
    }
}

void BM_Byte_libc(benchmark::State &state)
{
    char buf[16];
    unsigned v = 0xA5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(snprintf(buf, sizeof buf, "%2x\t", v));
        benchmark::ClobberMemory();
    }
}

void BM_Unsigned_kelvo(benchmark::State &state)
{
    char buf[16];
    unsigned v = 3405691582u;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sprintf_s(buf, sizeof buf, "%u", v));
        benchmark::ClobberMemory();
    }
}

void BM_Unsigned_libc(benchmark::State &state)
{
    char buf[16];
    unsigned v = 3405691582u;
    for (auto _ : state) {
        benchmark::DoNotOptimize(snprintf(buf, sizeof buf, "%u", v));
        benchmark::ClobberMemory();
    }
}

// Scanning.
void BM_ScanPair_kelvo(benchmark::State &state)
{
    unsigned a = 0, b = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(sscanf_s("12:345", "%u:%u", &a, &b));
}

void BM_ScanPair_libc(benchmark::State &state)
{
    unsigned a = 0, b = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(sscanf("12:345", "%u:%u", &a, &b));
}

void BM_ScanAddr_kelvo(benchmark::State &state)
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(sscanf_s("0:0x1c:3:4096", "%u:0x%x:%u:%u", &a, &b, &c, &d));
}

void BM_ScanAddr_libc(benchmark::State &state)
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(sscanf("0:0x1c:3:4096", "%u:0x%x:%u:%u", &a, &b, &c, &d));
}

void BM_ScanWords_kelvo(benchmark::State &state)
{
    char k[32], v[32];
    for (auto _ : state)
        benchmark::DoNotOptimize(sscanf_s("link_state\tforced-down", "%s\t%s", k, sizeof k, v, sizeof v));
}

void BM_ScanWords_libc(benchmark::State &state)
{
    char k[32], v[32];
    for (auto _ : state)
        benchmark::DoNotOptimize(sscanf("link_state\tforced-down", "%31s\t%31s", k, v));
}

// Copy and fill.
void BM_Copy_kelvo(benchmark::State &state)
{
    const auto n = static_cast<size_t>(state.range(0));
    std::vector<char> src(n, 'a'), dst(n);
    for (auto _ : state) {
        benchmark::DoNotOptimize(memcpy_s(dst.data(), dst.size(), src.data(), n));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

void BM_Copy_libc(benchmark::State &state)
{
    const auto n = static_cast<size_t>(state.range(0));
    std::vector<char> src(n, 'a'), dst(n);
    for (auto _ : state) {
        benchmark::DoNotOptimize(memcpy(dst.data(), src.data(), n));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

void BM_Fill_kelvo(benchmark::State &state)
{
    const auto n = static_cast<size_t>(state.range(0));
    std::vector<char> dst(n);
    for (auto _ : state) {
        benchmark::DoNotOptimize(memset_s(dst.data(), dst.size(), 0x5A, n));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

void BM_Fill_libc(benchmark::State &state)
{
    const auto n = static_cast<size_t>(state.range(0));
    std::vector<char> dst(n);
    for (auto _ : state) {
        benchmark::DoNotOptimize(memset(dst.data(), 0x5A, n));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

} // namespace

BENCHMARK(BM_Line_kelvo);
BENCHMARK(BM_Line_libc);
BENCHMARK(BM_Hex64_kelvo);
BENCHMARK(BM_Hex64_libc);
BENCHMARK(BM_Byte_kelvo);
BENCHMARK(BM_Byte_libc);
BENCHMARK(BM_Unsigned_kelvo);
BENCHMARK(BM_Unsigned_libc);
BENCHMARK(BM_ScanPair_kelvo);
BENCHMARK(BM_ScanPair_libc);
BENCHMARK(BM_ScanAddr_kelvo);
BENCHMARK(BM_ScanAddr_libc);
BENCHMARK(BM_ScanWords_kelvo);
BENCHMARK(BM_ScanWords_libc);
BENCHMARK(BM_Copy_kelvo)->Arg(16)->Arg(256)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Copy_libc)->Arg(16)->Arg(256)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Fill_kelvo)->Arg(16)->Arg(256)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Fill_libc)->Arg(16)->Arg(256)->Arg(4096)->Arg(1 << 20);

BENCHMARK_MAIN();
