// The gzip file layer: one handle per open file, shared by the CPU path
// (deflate/inflate of the linked zlib, behaving as its gzip-file functions)
// and the accelerator path (whole buffers compressed on the card).
//
// Everything lives in namespace gzacc so the linked zlib's own gz* functions
// stay callable beside it.
#ifndef QUORBIX_GZACC_GZ_FILE_H
#define QUORBIX_GZACC_GZ_FILE_H

#include <zlib.h>

// The zlib header reads a byte through a macro; our gzgetc is a function.
#undef gzgetc

#include <cstdarg>
#include <cstdint>

namespace gzacc {

inline constexpr int GZ_NONE = 0;
inline constexpr int GZ_READ = 7247;
inline constexpr int GZ_WRITE = 31153;
inline constexpr int GZ_APPEND = 1;   // only while opening

inline constexpr int GZ_LOOK = 0;
inline constexpr int GZ_COPY = 1;
inline constexpr int GZ_GZIP = 2;

inline constexpr unsigned GZ_BUFSIZE = 8192;

inline constexpr uint32_t GZ_ACC_CARD = 0x46504741;   // "AGPF" in memory order
inline constexpr uint32_t GZ_ACC_CPU = 0x435055;

// The public part, as the stream macros of the zlib interface see it.
struct gz_public {
    unsigned have;
    unsigned char *next;
    z_off64_t pos;
};

struct gz_file_state {
    gz_public x;
    int mode;
    int fd;
    char *path;
    unsigned size;          // buffer size in use, 0 until the buffers exist
    unsigned want;          // requested buffer size
    unsigned char *in;
    unsigned char *out;
    int direct;
    int how;
    z_off64_t start;
    int eof;
    int past;
    int level;
    int strategy;
    z_off64_t skip;
    int seek;
    int err;
    char *msg;
    z_stream strm;
    uint32_t acc_mode;
    uint32_t acc_touched;   // an accelerated write reached the file (its head)
};

inline bool gz_on_card(const gz_file_state *s) { return s->acc_mode == GZ_ACC_CARD; }

gz_file_state *gzopen(const char *path, const char *mode);
gz_file_state *gzopen64(const char *path, const char *mode);
gz_file_state *gzdopen(int fd, const char *mode);
int gzbuffer(gz_file_state *file, unsigned size);
int gzrewind(gz_file_state *file);
z_off64_t gzseek64(gz_file_state *file, z_off64_t offset, int whence);
z_off_t gzseek(gz_file_state *file, z_off_t offset, int whence);
z_off64_t gztell64(gz_file_state *file);
z_off_t gztell(gz_file_state *file);
z_off64_t gzoffset64(gz_file_state *file);
z_off_t gzoffset(gz_file_state *file);
int gzeof(gz_file_state *file);
const char *gzerror(gz_file_state *file, int *errnum);
void gzclearerr(gz_file_state *file);
int gzclose(gz_file_state *file);
int gzclose_r(gz_file_state *file);
int gzclose_w(gz_file_state *file);

// Reading: CPU mode inflates through the linked zlib; in accelerator mode
// gzread decompresses the whole file on the card.
int gzread(gz_file_state *file, void *buf, unsigned len);
int gzgetc(gz_file_state *file);
int gzungetc(int c, gz_file_state *file);
char *gzgets(gz_file_state *file, char *buf, int len);
int gzdirect(gz_file_state *file);

// Writing (CPU stream; in accelerator mode gzwrite compresses on the card).
int gzwrite(gz_file_state *file, const void *buf, unsigned len);
int gzputc(gz_file_state *file, int c);
int gzputs(gz_file_state *file, const char *s);
int gzvprintf(gz_file_state *file, const char *format, va_list va) __attribute__((format(printf, 2, 0)));
int gzprintf(gz_file_state *file, const char *format, ...) __attribute__((format(printf, 2, 3)));
int gzflush(gz_file_state *file, int flush);
int gzsetparams(gz_file_state *file, int level, int strategy);

// Shared by both directions: set the error state (msg null clears it),
// and forget position and error for a fresh start.
void gz_error(gz_file_state *state, int err, const char *msg);
void gz_reset(gz_file_state *state);

}  // namespace gzacc

#endif
