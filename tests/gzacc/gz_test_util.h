// Shared by the gzip layer's tests: inputs, file bytes, the in-process
// inflate of every member, and the outside oracles (gzip -t, zcat, python3).
#ifndef QUORBIX_TESTS_GZACC_GZ_TEST_UTIL_H
#define QUORBIX_TESTS_GZACC_GZ_TEST_UTIL_H

#include <zlib.h>

#include <cstdint>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <cstring>
#include <vector>

#include "bases/drv/asmf_drv.h"
#include "sim/sim_host.h"
#include "support/oracle.h"

namespace gztest {

using Bytes = std::vector<uint8_t>;

inline Bytes text_input(size_t n)
{
    static const char kWords[] = "the quick brown fox jumps over the lazy dog while the board reports its state\n";
    Bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = static_cast<uint8_t>(kWords[(i * 7 + i / 91) % (sizeof kWords - 1)]);
    return b;
}

inline Bytes random_input(size_t n, uint32_t seed = 38)
{
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto &c : b)
        c = static_cast<uint8_t>(gen());
    return b;
}

// Runs of text, random bytes and zeros in turn.
inline Bytes mixed_input(size_t n)
{
    Bytes b = text_input(n), r = random_input(n, 7);
    for (size_t i = 0; i < n; i++) {
        const size_t part = (i / 4096) % 3;
        b[i] = part == 0 ? b[i] : part == 1 ? r[i] : 0;
    }
    return b;
}

// A short pattern over and over: compresses fast and far.
inline Bytes repetitive_input(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = static_cast<uint8_t>("0123456789abcdefquorbix!"[i % 24] + (i >> 20) % 3);
    return b;
}

inline Bytes file_bytes(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void put_file(const std::string &path, const Bytes &b)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Inflates every member; false on any error.
inline bool gunzip(const Bytes &in, Bytes &out)
{
    out.clear();
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK)
        return false;
    z.next_in = const_cast<Bytef *>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    uint8_t buf[65536];
    int ret = Z_OK;
    while (z.avail_in > 0 || ret != Z_STREAM_END) {
        z.next_out = buf;
        z.avail_out = sizeof buf;
        ret = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), buf, buf + (sizeof buf - z.avail_out));
        if (ret == Z_STREAM_END && z.avail_in > 0)
            ret = inflateReset(&z);
        else if (ret != Z_OK && ret != Z_STREAM_END)
            break;
        if (ret == Z_STREAM_END && z.avail_in == 0)
            break;
    }
    inflateEnd(&z);
    return ret == Z_STREAM_END;
}

// The exit status of a shell command (-1 when it could not run).
inline int shell(const std::string &cmd)
{
    const int st = std::system(("(" + cmd + ") >/dev/null 2>&1").c_str());
    return st == -1 ? -1 : WEXITSTATUS(st);
}

// gzip -t, zcat, python3's gzip and cmp, the oracles of the files written.
#define GZ_NEED_ORACLES()                          \
    do {                                           \
        QUORBIX_NEED_TOOL("gzip", "gzip");         \
        QUORBIX_NEED_TOOL("zcat", "gzip");         \
        QUORBIX_NEED_TOOL("python3", "python3");   \
        QUORBIX_NEED_TOOL("cmp", "diffutils");     \
    } while (0)

inline bool gzip_accepts(const std::string &path) { return shell("gzip -t '" + path + "'") == 0; }

// zcat's and python3's gzip's output, each compared with `want` by cmp.
inline bool oracles_agree(const std::string &path, const std::string &want)
{
    return shell("zcat '" + path + "' | cmp -s - '" + want + "'") == 0 &&
           shell("python3 -c \"import gzip,sys; sys.stdout.buffer.write(gzip.open(sys.argv[1]).read())\" '" + path +
                 "' | cmp -s - '" + want + "'") == 0;
}

// The linked zlib's deflate of the whole input: window bits -15 give raw
// deflate, 31 a gzip member.
inline Bytes zlib_deflate(const Bytes &data, int level, int windowBits)
{
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 32);
    z.next_in = const_cast<Bytef *>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

inline const unsigned long kSendTask = asmf_card_request(100, 'A', 0x20);

// The task descriptors sent to the card, from the journal.
inline std::vector<FpgaTaskDesc> sent_tasks()
{
    std::vector<FpgaTaskDesc> out;
    for (const SimJournalEntry &e : sim_journal_of(SimEvent::request, {}, kSendTask))
        if (e.record.size() == sizeof(FpgaTaskDesc)) {
            FpgaTaskDesc d;
            std::memcpy(&d, e.record.data(), sizeof d);
            out.push_back(d);
        }
    return out;
}

}  // namespace gztest

#endif
