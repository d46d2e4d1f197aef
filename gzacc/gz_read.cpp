// Reading gzip files in CPU mode: look at the start of the data, then copy
// it as it is or inflate it member by member; the accelerated read is in
// gz_read_acc.cpp.
#include <cstdlib>
#include <cstring>

#include "bases/host/host.h"
#include "gzacc/gz_file.h"
#include "gzacc/gz_log.h"
#include "gzacc/gz_read_acc.h"

namespace gzacc {

namespace {

#define GZ_TRACE(fmt, ...) std::printf("\n %s line %d:" fmt, __func__, __LINE__ __VA_OPT__(, ) __VA_ARGS__)

bool gz_readable(const gz_file_state *s) { return s->mode == GZ_READ && (s->err == Z_OK || s->err == Z_BUF_ERROR); }

// Reads up to len bytes; sets eof at the end of the file.
int gz_load(gz_file_state *state, unsigned char *buf, unsigned len, unsigned *have)
{
    *have = 0;
    do {
        const ssize_t ret = host().read(state->fd, buf + *have, len - *have);
        if (ret < 0) {
            gz_error(state, Z_ERRNO, std::strerror(errno));
            return -1;
        }
        if (ret == 0) {
            state->eof = 1;
            break;
        }
        *have += static_cast<unsigned>(ret);
    } while (*have < len);
    return 0;
}

// Tops up the input buffer behind what is still unused in it.
int gz_avail(gz_file_state *state)
{
    z_stream &strm = state->strm;
    if (state->err != Z_OK && state->err != Z_BUF_ERROR)
        return -1;
    if (state->eof != 0)
        return 0;
    if (strm.avail_in != 0)
        std::memmove(state->in, strm.next_in, strm.avail_in);
    unsigned got = 0;
    if (gz_load(state, state->in + strm.avail_in, state->size - strm.avail_in, &got) == -1)
        return -1;
    strm.avail_in += got;
    strm.next_in = state->in;
    GZ_INFO("strm->avail_in = 0x%x ,state->size = 0x%x\n", strm.avail_in, state->size);
    return 0;
}

// The buffers (input of the requested size, output twice that) and the
// inflate state, made once per handle.
int gz_buffers(gz_file_state *state)
{
    if (state->size != 0)
        return 0;
    state->in = static_cast<unsigned char *>(std::malloc(state->want));
    state->out = static_cast<unsigned char *>(std::malloc(size_t{state->want} << 1));
    z_stream &strm = state->strm;
    strm = z_stream{};
    if (state->in == nullptr || state->out == nullptr || inflateInit2(&strm, 15 + 16) != Z_OK) {
        std::free(state->out);
        std::free(state->in);
        state->in = state->out = nullptr;
        gz_error(state, Z_MEM_ERROR, "out of memory");
        return -1;
    }
    state->size = state->want;
    GZ_INFO("malloc state->in = %p  state->out = %p state->size = 0x%x success\n", static_cast<void *>(state->in),
            static_cast<void *>(state->out), state->size);
    return 0;
}

// Decides between a gzip member and plain data at the current input.
int gz_look(gz_file_state *state)
{
    z_stream &strm = state->strm;
    if (gz_buffers(state) == -1)
        return -1;
    if (strm.avail_in < 2) {
        if (gz_avail(state) == -1)
            return -1;
        if (strm.avail_in == 0)
            return 0;
    }
    if (strm.avail_in > 1 && strm.next_in[0] == 31 && strm.next_in[1] == 139) {
        inflateReset(&strm);
        state->how = GZ_GZIP;
        state->direct = 0;
        return 0;
    }
    if (state->direct == 0) {   // not gzip after a member: the rest is ignored
        strm.avail_in = 0;
        state->eof = 1;
        state->x.have = 0;
        return 0;
    }
    state->x.next = state->out;
    if (strm.avail_in != 0) {
        std::memcpy(state->x.next, strm.next_in, strm.avail_in);
        state->x.have = strm.avail_in;
        strm.avail_in = 0;
    }
    state->how = GZ_COPY;
    state->direct = 1;
    return 0;
}

// Inflates into strm's output window until it is full or the member ends.
int gz_decomp(gz_file_state *state)
{
    z_stream &strm = state->strm;
    const unsigned had = strm.avail_out;
    int ret = Z_OK;
    do {
        if (strm.avail_in == 0 && gz_avail(state) == -1)
            return -1;
        if (strm.avail_in == 0) {
            gz_error(state, Z_BUF_ERROR, "unexpected end of file");
            break;
        }
        ret = inflate(&strm, Z_NO_FLUSH);
        if (ret == Z_STREAM_ERROR || ret == Z_NEED_DICT) {
            gz_error(state, Z_STREAM_ERROR, "internal error: inflate stream corrupt");
            return -1;
        }
        if (ret == Z_MEM_ERROR) {
            gz_error(state, Z_MEM_ERROR, "out of memory");
            return -1;
        }
        if (ret == Z_DATA_ERROR) {
            gz_error(state, Z_DATA_ERROR, strm.msg == nullptr ? "compressed data error" : strm.msg);
            return -1;
        }
    } while (strm.avail_out != 0 && ret != Z_STREAM_END);
    state->x.have = had - strm.avail_out;
    state->x.next = strm.next_out - state->x.have;
    if (ret == Z_STREAM_END)
        state->how = GZ_LOOK;
    return 0;
}

// Fills the output buffer with at least one byte unless the data ended.
int gz_fetch(gz_file_state *state)
{
    z_stream &strm = state->strm;
    do {
        switch (state->how) {
        case GZ_LOOK:
            GZ_TRACE("LOOK");
            if (gz_look(state) == -1)
                return -1;
            if (state->how == GZ_LOOK)
                return 0;
            break;
        case GZ_COPY:
            GZ_TRACE("COPY");
            state->x.next = state->out;
            return gz_load(state, state->out, state->size << 1, &state->x.have);
        default:
            GZ_TRACE("GZIP");
            strm.avail_out = state->size << 1;
            strm.next_out = state->out;
            if (gz_decomp(state) == -1)
                return -1;
        }
    } while (state->x.have == 0 && (state->eof == 0 || strm.avail_in != 0));
    return 0;
}

// Skips len bytes of output (a pending forward seek).
int gz_skip(gz_file_state *state, z_off64_t len)
{
    while (len != 0) {
        if (state->x.have != 0) {
            const unsigned n = z_off64_t{state->x.have} > len ? static_cast<unsigned>(len) : state->x.have;
            state->x.have -= n;
            state->x.next += n;
            state->x.pos += n;
            len -= n;
        } else if (state->eof != 0 && state->strm.avail_in == 0) {
            break;
        } else if (gz_fetch(state) == -1) {
            return -1;
        }
    }
    return 0;
}

int gz_pending_seek(gz_file_state *state)
{
    if (state->seek == 0)
        return 0;
    state->seek = 0;
    return gz_skip(state, state->skip);
}

// One step of gzread: n bytes delivered into buf (0 when it only fetched);
// -1 on an error, 1 at the end of the data.
int gz_read_step(gz_file_state *state, unsigned char *buf, unsigned len, unsigned *n)
{
    *n = len;
    GZ_TRACE("state->x.have = %d  state->eof = %d  strm->avail_in = %d", static_cast<int>(state->x.have), state->eof,
             static_cast<int>(state->strm.avail_in));
    if (state->x.have != 0) {
        *n = state->x.have > len ? len : state->x.have;
        std::memcpy(buf, state->x.next, *n);
        state->x.next += *n;
        state->x.have -= *n;
        return 0;
    }
    if (state->eof != 0 && state->strm.avail_in == 0) {
        state->past = 1;
        return 1;
    }
    if (state->how == GZ_LOOK || len < (state->size << 1)) {
        *n = 0;
        return gz_fetch(state);
    }
    if (state->how == GZ_COPY)
        return gz_load(state, buf, len, n);
    state->strm.avail_out = len;
    state->strm.next_out = buf;
    if (gz_decomp(state) == -1)
        return -1;
    *n = state->x.have;
    state->x.have = 0;
    return 0;
}

int gzread_cpu(gz_file_state *state, unsigned char *buf, unsigned len)
{
    if (gz_pending_seek(state) == -1)
        return -1;
    unsigned got = 0;
    while (len != 0) {
        unsigned n = 0;
        const int ret = gz_read_step(state, buf, len, &n);
        if (ret == -1)
            return -1;
        if (ret == 1)
            break;
        GZ_TRACE("n = %d  len = %d", static_cast<int>(n), static_cast<int>(len));
        len -= n;
        buf += n;
        state->x.pos += n;
        got += n;
    }
    GZ_TRACE("");
    return static_cast<int>(got);
}

}  // namespace

int gzread(gz_file_state *file, void *buf, unsigned len)
{
    GZ_INFO(" enter \n\n");
    if (file == nullptr || !gz_readable(file))
        return -1;
    if (static_cast<int>(len) < 0) {
        gz_error(file, Z_DATA_ERROR, "requested length does not fit in int");
        return -1;
    }
    if (len == 0)
        return 0;
    if (!gz_on_card(file))
        return gzread_cpu(file, static_cast<unsigned char *>(buf), len);
    const int ret = gzread_fpga(file, buf, len);
    if (ret < 0) {
        GZ_ERR(" gzread_fpga failed!ret = %d \n", ret);
        return -1;
    }
    GZ_INFO("gzread_fpga OK!ret = %d \n", ret);
    return ret;
}

int gzgetc(gz_file_state *file)
{
    if (file == nullptr || !gz_readable(file))
        return -1;
    if (file->x.have != 0) {
        file->x.have--;
        file->x.pos++;
        return *file->x.next++;
    }
    unsigned char c = 0;
    return gzread(file, &c, 1) < 1 ? -1 : c;
}

int gzungetc(int c, gz_file_state *file)
{
    if (file == nullptr || !gz_readable(file))
        return -1;
    if (gz_pending_seek(file) == -1 || c < 0)
        return -1;
    if (gz_buffers(file) == -1)   // nothing read yet: the push-back needs the buffer
        return -1;
    const unsigned room = file->size << 1;
    if (file->x.have == 0) {
        file->x.have = 1;
        file->x.next = file->out + room - 1;
    } else {
        if (file->x.have == room) {
            gz_error(file, Z_DATA_ERROR, "out of room to push characters");
            return -1;
        }
        if (file->x.next == file->out) {   // slide the data to the end of the buffer
            std::memmove(file->out + room - file->x.have, file->x.next, file->x.have);
            file->x.next = file->out + room - file->x.have;
        }
        file->x.have++;
        file->x.next--;
    }
    file->x.next[0] = static_cast<unsigned char>(c);
    file->x.pos--;
    file->past = 0;
    return c;
}

char *gzgets(gz_file_state *file, char *buf, int len)
{
    if (file == nullptr || buf == nullptr || len < 1 || !gz_readable(file))
        return nullptr;
    if (gz_pending_seek(file) == -1)
        return nullptr;
    unsigned left = static_cast<unsigned>(len) - 1;
    char *at = buf;
    const unsigned char *eol = nullptr;
    while (left != 0 && eol == nullptr) {
        if (file->x.have == 0 && gz_fetch(file) == -1)
            return nullptr;
        if (file->x.have == 0) {
            file->past = 1;
            break;
        }
        unsigned n = file->x.have > left ? left : file->x.have;
        eol = static_cast<const unsigned char *>(std::memchr(file->x.next, '\n', n));
        if (eol != nullptr)
            n = static_cast<unsigned>(eol - file->x.next) + 1;
        std::memcpy(at, file->x.next, n);
        file->x.have -= n;
        file->x.next += n;
        file->x.pos += n;
        left -= n;
        at += n;
    }
    if (at == buf)
        return nullptr;
    *at = '\0';
    return buf;
}

int gzdirect(gz_file_state *file)
{
    if (file == nullptr)
        return 0;
    if (file->mode == GZ_READ && file->how == GZ_LOOK && file->x.have == 0)
        (void)gz_look(file);
    return file->direct;
}

}  // namespace gzacc
