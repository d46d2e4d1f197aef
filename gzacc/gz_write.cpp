// Writing gzip files through the linked zlib's deflate: the CPU stream of
// a handle. In accelerator mode gzwrite hands whole buffers to the card.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bases/host/host.h"
#include "gzacc/gz_acc.h"
#include "gzacc/gz_file.h"
#include "gzacc/gz_log.h"

namespace gzacc {

namespace {

constexpr int kDefMemLevel = 8;

bool gz_writer_ok(const gz_file_state *state) { return state->mode == GZ_WRITE && state->err == Z_OK; }

// Buffers and deflate state on first use.
int gz_init(gz_file_state *state)
{
    state->in = static_cast<unsigned char *>(std::malloc(state->want));
    if (state->in == nullptr) {
        gz_error(state, Z_MEM_ERROR, "out of memory");
        return -1;
    }
    z_stream *strm = &state->strm;
    if (state->direct == 0) {
        state->out = static_cast<unsigned char *>(std::malloc(state->want));
        *strm = z_stream{};
        if (state->out == nullptr || deflateInit2(strm, state->level, Z_DEFLATED, MAX_WBITS + 16, kDefMemLevel,
                                                  state->strategy) != Z_OK) {
            std::free(state->out);
            std::free(state->in);
            state->out = state->in = nullptr;
            gz_error(state, Z_MEM_ERROR, "out of memory");
            return -1;
        }
    }
    state->size = state->want;
    if (state->direct == 0) {
        strm->avail_out = state->size;
        strm->next_out = state->out;
        state->x.next = strm->next_out;
    }
    return 0;
}

int gz_write_all(gz_file_state *state, const unsigned char *buf, unsigned len)
{
    const ssize_t got = host().write(state->fd, buf, len);
    if (got < 0 || static_cast<size_t>(got) != len) {
        gz_error(state, Z_ERRNO, std::strerror(errno));
        return -1;
    }
    return 0;
}

// Compresses what is in the stream's input with `flush`, writing out what
// deflate produced whenever the output is full or a flush asks for it.
int gz_comp(gz_file_state *state, int flush)
{
    if (state->size == 0 && gz_init(state) == -1)
        return -1;
    z_stream *strm = &state->strm;
    if (state->direct != 0) {
        if (gz_write_all(state, strm->next_in, strm->avail_in) == -1)
            return -1;
        strm->avail_in = 0;
        return 0;
    }
    int ret = Z_OK;
    unsigned have = 0;
    do {
        if (strm->avail_out == 0 || (flush != Z_NO_FLUSH && (flush != Z_FINISH || ret == Z_STREAM_END))) {
            have = static_cast<unsigned>(strm->next_out - state->x.next);
            if (have != 0 && gz_write_all(state, state->x.next, have) == -1)
                return -1;
            if (strm->avail_out == 0) {
                strm->avail_out = state->size;
                strm->next_out = state->out;
            }
            state->x.next = strm->next_out;
        }
        have = strm->avail_out;
        ret = deflate(strm, flush);
        if (ret == Z_STREAM_ERROR) {
            gz_error(state, Z_STREAM_ERROR, "internal error: deflate stream corrupt");
            return -1;
        }
        have -= strm->avail_out;
    } while (have != 0);
    if (flush == Z_FINISH)
        deflateReset(strm);
    return 0;
}

// Writes `len` zeros: a forward seek on a writer.
int gz_zero(gz_file_state *state, z_off64_t len)
{
    z_stream *strm = &state->strm;
    if (strm->avail_in != 0 && gz_comp(state, Z_NO_FLUSH) == -1)
        return -1;
    bool first = true;
    while (len > 0) {
        const unsigned n = len < static_cast<z_off64_t>(state->size) ? static_cast<unsigned>(len) : state->size;
        if (first) {
            std::memset(state->in, 0, n);
            first = false;
        }
        strm->avail_in = n;
        strm->next_in = state->in;
        state->x.pos += n;
        if (gz_comp(state, Z_NO_FLUSH) == -1)
            return -1;
        len -= n;
    }
    return 0;
}

// A pending forward seek, done before anything else is written.
int gz_pending_seek(gz_file_state *state)
{
    if (state->seek == 0)
        return 0;
    state->seek = 0;
    return gz_zero(state, state->skip);
}

int gz_write_cpu(gz_file_state *state, const unsigned char *buf, unsigned len)
{
    if (state->size == 0 && gz_init(state) == -1)
        return 0;
    if (gz_pending_seek(state) == -1)
        return 0;
    z_stream *strm = &state->strm;
    const unsigned total = len;
    if (len < state->size) {   // small writes gather in the input buffer
        do {
            if (strm->avail_in == 0)
                strm->next_in = state->in;
            const auto have = static_cast<unsigned>(strm->next_in + strm->avail_in - state->in);
            const unsigned copy = std::min(state->size - have, len);
            std::memcpy(state->in + have, buf, copy);
            strm->avail_in += copy;
            state->x.pos += copy;
            buf += copy;
            len -= copy;
            if (len != 0 && gz_comp(state, Z_NO_FLUSH) == -1)
                return 0;
        } while (len != 0);
        return static_cast<int>(total);
    }
    if (strm->avail_in != 0 && gz_comp(state, Z_NO_FLUSH) == -1)
        return 0;
    strm->avail_in = len;
    strm->next_in = const_cast<unsigned char *>(buf);
    state->x.pos += len;
    if (gz_comp(state, Z_NO_FLUSH) == -1)
        return 0;
    return static_cast<int>(total);
}

int gz_write_card(gz_file_state *state, const void *buf, unsigned len)
{
    const int ret = gzwrite_fpga(state, buf, len);
    if (ret < 1) {
        GZ_ERR(" gzwrite_fpga failed!ret = %d \n", ret);
        return 0;
    }
    GZ_INFO("gzwrite_fpga OK!ret = %d \n", ret);
    return ret;
}

}  // namespace

int gzwrite(gz_file_state *file, const void *buf, unsigned len)
{
    if (file == nullptr || !gz_writer_ok(file))
        return 0;
    if (len > static_cast<unsigned>(INT_MAX)) {
        gz_error(file, Z_DATA_ERROR, "requested length does not fit in int");
        return 0;
    }
    if (len == 0)
        return 0;
    if (gz_on_card(file))
        return gz_write_card(file, buf, len);
    return gz_write_cpu(file, static_cast<const unsigned char *>(buf), len);
}

int gzputc(gz_file_state *file, int c)
{
    if (file == nullptr || !gz_writer_ok(file))
        return -1;
    if (gz_pending_seek(file) == -1)
        return -1;
    z_stream *strm = &file->strm;
    if (file->size != 0) {
        if (strm->avail_in == 0)
            strm->next_in = file->in;
        const auto have = static_cast<unsigned>(strm->next_in + strm->avail_in - file->in);
        if (have < file->size) {
            file->in[have] = static_cast<unsigned char>(c);
            strm->avail_in++;
            file->x.pos++;
            return c & 0xff;
        }
    }
    const auto byte = static_cast<unsigned char>(c);
    if (gzwrite(file, &byte, 1) != 1)
        return -1;
    return c & 0xff;
}

int gzputs(gz_file_state *file, const char *s)
{
    if (s == nullptr)
        return -1;
    const size_t len = std::strlen(s);
    if (len > static_cast<size_t>(INT_MAX)) {
        if (file != nullptr && gz_writer_ok(file))
            gz_error(file, Z_DATA_ERROR, "string length does not fit in int");
        return -1;
    }
    const int ret = gzwrite(file, s, static_cast<unsigned>(len));
    return ret == 0 && len != 0 ? -1 : ret;
}

int gzvprintf(gz_file_state *file, const char *format, va_list va)
{
    if (file == nullptr)
        return -1;
    if (!gz_writer_ok(file))
        return 0;
    if (file->size == 0 && gz_init(file) == -1)
        return 0;
    if (gz_pending_seek(file) == -1)
        return 0;
    z_stream *strm = &file->strm;
    if (strm->avail_in != 0 && gz_comp(file, Z_NO_FLUSH) == -1)
        return 0;
    const auto size = static_cast<int>(file->size);
    file->in[size - 1] = 0;
    const int len = std::vsnprintf(reinterpret_cast<char *>(file->in), static_cast<size_t>(size), format, va);
    if (len <= 0 || len >= size || file->in[size - 1] != 0)
        return 0;
    strm->avail_in = static_cast<unsigned>(len);
    strm->next_in = file->in;
    file->x.pos += len;
    return len;
}

int gzprintf(gz_file_state *file, const char *format, ...)
{
    va_list va;
    va_start(va, format);
    const int ret = gzvprintf(file, format, va);
    va_end(va);
    return ret;
}

int gzflush(gz_file_state *file, int flush)
{
    if (file == nullptr)
        return -1;
    if (!gz_writer_ok(file) || flush < 0 || flush > Z_FINISH)
        return Z_STREAM_ERROR;
    if (gz_pending_seek(file) == -1)
        return -1;
    gz_comp(file, flush);
    return file->err;
}

int gzsetparams(gz_file_state *file, int level, int strategy)
{
    if (file == nullptr || !gz_writer_ok(file))
        return Z_STREAM_ERROR;
    if (level == file->level && strategy == file->strategy)
        return Z_OK;
    if (gz_pending_seek(file) == -1)
        return -1;
    if (file->size != 0) {
        if (file->strm.avail_in != 0 && gz_comp(file, Z_PARTIAL_FLUSH) == -1)
            return file->err;
        deflateParams(&file->strm, level, strategy);
    }
    file->level = level;
    file->strategy = strategy;
    return Z_OK;
}

int gzclose_w(gz_file_state *file)
{
    if (file == nullptr || file->mode != GZ_WRITE)
        return Z_STREAM_ERROR;
    int ret = Z_OK;
    if (gz_pending_seek(file) == -1)
        ret = file->err;
    if (gz_comp(file, Z_FINISH) == -1)
        ret = file->err;
    if (file->size != 0) {
        if (file->direct == 0) {
            deflateEnd(&file->strm);
            std::free(file->out);
        }
        std::free(file->in);
    }
    gz_error(file, Z_OK, nullptr);
    std::free(file->path);
    if (host().close(file->fd) == -1)
        ret = Z_ERRNO;
    std::free(file);
    return ret;
}

}  // namespace gzacc
