// kelvo against the C library on the tool's own shapes of formatting,
// scanning, copying and filling.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "kelvo/kelvo.h"

namespace {

// Formatting and scanning: each shape is one call for kelvo and one for the
// C library, measured by the same loop.
constexpr const char kFile[] = "boardlib/plov_port.cpp";

template <auto Call, size_t Size>
void BM_Format(benchmark::State &state)
{
    char buf[Size];
    for (auto _ : state) {
        benchmark::DoNotOptimize(Call(buf, sizeof buf));
        benchmark::ClobberMemory();
    }
}

template <auto Call>
void BM_Scan(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Call());
}

constexpr auto kLineKelvo = [](char *buf, size_t size) {
    return sprintf_s(buf, size, "%s:%d [quorbix-ERR]port %u link down, ret %d", kFile, 417, 3u, -1330);
};
constexpr auto kLineLibc = [](char *buf, size_t size) {
    return snprintf(buf, size, "%s:%d [quorbix-ERR]port %u link down, ret %d", kFile, 417, 3u, -1330);
};
constexpr auto kHex64Kelvo = [](char *buf, size_t size) {
    return snprintf_s(buf, size, size - 1, "0x%llx", 0xFEDCBA9876543ULL);
};
constexpr auto kHex64Libc = [](char *buf, size_t size) { return snprintf(buf, size, "0x%llx", 0xFEDCBA9876543ULL); };
constexpr auto kByteKelvo = [](char *buf, size_t size) { return sprintf_s(buf, size, "%2x\t", 0xA5u); };
constexpr auto kByteLibc = [](char *buf, size_t size) { return snprintf(buf, size, "%2x\t", 0xA5u); };
constexpr auto kUnsignedKelvo = [](char *buf, size_t size) { return sprintf_s(buf, size, "%u", 3405691582u); };
constexpr auto kUnsignedLibc = [](char *buf, size_t size) { return snprintf(buf, size, "%u", 3405691582u); };

constexpr auto kPairKelvo = [] {
    unsigned a = 0, b = 0;
    return sscanf_s("12:345", "%u:%u", &a, &b);
};
constexpr auto kPairLibc = [] {
    unsigned a = 0, b = 0;
    return sscanf("12:345", "%u:%u", &a, &b);
};
constexpr auto kAddrKelvo = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return sscanf_s("0:0x1c:3:4096", "%u:0x%x:%u:%u", &a, &b, &c, &d);
};
constexpr auto kAddrLibc = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return sscanf("0:0x1c:3:4096", "%u:0x%x:%u:%u", &a, &b, &c, &d);
};
constexpr auto kWordsKelvo = [] {
    char k[32], v[32];
    return sscanf_s("link_state\tforced-down", "%s\t%s", k, sizeof k, v, sizeof v);
};
constexpr auto kWordsLibc = [] {
    char k[32], v[32];
    return sscanf("link_state\tforced-down", "%31s\t%31s", k, v);
};

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

BENCHMARK_TEMPLATE(BM_Format, kLineKelvo, 256)->Name("Line_kelvo");
BENCHMARK_TEMPLATE(BM_Format, kLineLibc, 256)->Name("Line_libc");
BENCHMARK_TEMPLATE(BM_Format, kHex64Kelvo, 32)->Name("Hex64_kelvo");
BENCHMARK_TEMPLATE(BM_Format, kHex64Libc, 32)->Name("Hex64_libc");
BENCHMARK_TEMPLATE(BM_Format, kByteKelvo, 16)->Name("Byte_kelvo");
BENCHMARK_TEMPLATE(BM_Format, kByteLibc, 16)->Name("Byte_libc");
BENCHMARK_TEMPLATE(BM_Format, kUnsignedKelvo, 16)->Name("Unsigned_kelvo");
BENCHMARK_TEMPLATE(BM_Format, kUnsignedLibc, 16)->Name("Unsigned_libc");
BENCHMARK_TEMPLATE(BM_Scan, kPairKelvo)->Name("ScanPair_kelvo");
BENCHMARK_TEMPLATE(BM_Scan, kPairLibc)->Name("ScanPair_libc");
BENCHMARK_TEMPLATE(BM_Scan, kAddrKelvo)->Name("ScanAddr_kelvo");
BENCHMARK_TEMPLATE(BM_Scan, kAddrLibc)->Name("ScanAddr_libc");
BENCHMARK_TEMPLATE(BM_Scan, kWordsKelvo)->Name("ScanWords_kelvo");
BENCHMARK_TEMPLATE(BM_Scan, kWordsLibc)->Name("ScanWords_libc");
BENCHMARK(BM_Copy_kelvo)->Arg(16)->Arg(256)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Copy_libc)->Arg(16)->Arg(256)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Fill_kelvo)->Arg(16)->Arg(256)->Arg(4096)->Arg(1 << 20);
BENCHMARK(BM_Fill_libc)->Arg(16)->Arg(256)->Arg(4096)->Arg(1 << 20);

BENCHMARK_MAIN();
