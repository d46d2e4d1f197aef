// The CRC-16 core over a 32 MiB buffer, beside a plain byte-at-a-time table
// CRC in the same run; both must give the same value.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bases/crc/crc16.h"

namespace {

constexpr size_t kSize = size_t{32} << 20;

const std::vector<uint8_t> &buffer()
{
    static const std::vector<uint8_t> data = [] {
        std::vector<uint8_t> v(kSize);
        uint32_t x = 1;
        for (auto &b : v) {
            x = x * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(x >> 24);
        }
        return v;
    }();
    return data;
}

uint16_t crc_bytewise(const uint8_t *p, size_t n)
{
    static const std::array<uint16_t, 256> table = [] {
        std::array<uint16_t, 256> t{};
        for (unsigned i = 0; i < 256; i++) {
            uint16_t v = static_cast<uint16_t>(i << 8);
            for (int b = 0; b < 8; b++)
                v = static_cast<uint16_t>((v & 0x8000u) ? (v << 1) ^ 0x1021 : v << 1);
            t[i] = v;
        }
        return t;
    }();
    uint16_t crc = 0;
    for (size_t i = 0; i < n; i++)
        crc = static_cast<uint16_t>(table[((crc >> 8) ^ p[i]) & 0xFF] ^ (crc << 8));
    return crc;
}

void BM_Crc16Core(benchmark::State &state)
{
    const auto &data = buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc16_update(0, data.data(), data.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void BM_Crc16Bytewise(benchmark::State &state)
{
    const auto &data = buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc_bytewise(data.data(), data.size()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

BENCHMARK(BM_Crc16Core)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc16Bytewise)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    const auto &data = buffer();
    if (crc16_update(0, data.data(), data.size()) != crc_bytewise(data.data(), data.size())) {
        std::fprintf(stderr, "crc16 core and byte-wise table differ\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
