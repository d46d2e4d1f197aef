// Arbitrary file bytes through the CPU-mode reader: gzread in chunks of
// several sizes, lines, characters with push-back and seeks, on a small
// buffer so members and garbage cross buffer edges.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "gzacc/gz_file.h"

namespace {

void read_all(int fd, size_t chunk, bool lines)
{
    lseek(fd, 0, SEEK_SET);
    gzacc::gz_file_state *f = gzacc::gzdopen(dup(fd), "rc");
    if (f == nullptr)
        return;
    gzacc::gzbuffer(f, 64);
    char buf[300];
    for (int guard = 0; guard < 100000; guard++) {
        if (lines) {
            if (gzacc::gzgets(f, buf, static_cast<int>(chunk)) == nullptr)
                break;
            const int c = gzacc::gzgetc(f);
            if (c >= 0 && gzacc::gzungetc(c, f) != c)
                __builtin_trap();
        } else if (gzacc::gzread(f, buf, static_cast<unsigned>(chunk)) <= 0) {
            break;
        }
    }
    gzacc::gzseek(f, 5, SEEK_SET);
    gzacc::gzread(f, buf, sizeof buf);
    gzacc::gzclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static bool once = (std::freopen("/dev/null", "w", stdout), true);
    (void)once;
    char path[] = "/tmp/gz_read_fuzz_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
        return 0;
    unlink(path);
    if (write(fd, data, size) == static_cast<ssize_t>(size)) {
        read_all(fd, 1, false);
        read_all(fd, 200, false);
        read_all(fd, 17, true);
    }
    close(fd);
    return 0;
}
