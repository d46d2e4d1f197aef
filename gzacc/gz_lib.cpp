// Opening, position, error state and closing of gzip files: what the read
// and write directions share.
#include "gzacc/gz_file.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "asmf/interface/asmf_interface.h"
#include "bases/host/host.h"
#include "gzacc/gz_acc.h"
#include "gzacc/gz_log.h"

namespace gzacc {

namespace {

constexpr int kStrategyOf[][2] = {
    {'f', Z_FILTERED}, {'h', Z_HUFFMAN_ONLY}, {'R', Z_RLE}, {'F', Z_FIXED}};

struct OpenLetters {
    bool exclusive = false;
    bool refused = false;
};

// Mode letters left to right; unknown ones are ignored.
OpenLetters gz_mode_letters(gz_file_state *state, const char *mode)
{
    OpenLetters o;
    for (; *mode != '\0'; mode++) {
        const char c = *mode;
        if (c >= '0' && c <= '9') {
            state->level = c - '0';
            continue;
        }
        for (const auto &row : kStrategyOf)
            if (row[0] == c)
                state->strategy = row[1];
        switch (c) {
        case 'r': state->mode = GZ_READ; break;
        case 'w': state->mode = GZ_WRITE; break;
        case 'a': state->mode = GZ_APPEND; break;
        case '+': o.refused = true; return o;
        case 'x': o.exclusive = true; break;
        case 'T': state->direct = 1; break;
        case 'c':
            state->acc_mode = GZ_ACC_CPU;
            GZ_INFO(" cpu acc!\n");
            break;
        default: break;
        }
    }
    return o;
}

void gz_free_state(gz_file_state *state)
{
    std::free(state->path);
    std::free(state);
}

char *gz_path_copy(const char *path, int fd)
{
    char fdName[32];
    if (fd != -1) {
        std::snprintf(fdName, sizeof fdName, "<fd:%d>", fd);
        path = fdName;
    }
    return strdup(path);
}

int gz_open_flags(const gz_file_state *state, bool exclusive)
{
    if (state->mode == GZ_READ)
        return O_RDONLY;
    return O_WRONLY | O_CREAT | (exclusive ? O_EXCL : 0) | (state->mode == GZ_WRITE ? O_TRUNC : O_APPEND);
}

gz_file_state *gz_open(const char *path, int fd, const char *mode)
{
    if (path == nullptr || mode == nullptr)
        return nullptr;
    auto *state = static_cast<gz_file_state *>(std::calloc(1, sizeof(gz_file_state)));
    if (state == nullptr)
        return nullptr;
    state->acc_mode = GZ_ACC_CARD;
    state->want = GZ_BUFSIZE;
    state->mode = GZ_NONE;
    state->level = Z_DEFAULT_COMPRESSION;
    state->strategy = Z_DEFAULT_STRATEGY;
    state->fd = -1;
    const OpenLetters o = gz_mode_letters(state, mode);
    if (o.refused) {
        std::free(state);
        return nullptr;
    }
    if (gz_on_card(state)) {
        GZ_INFO(" fpga acc!\n");
        if (state->level == Z_DEFAULT_COMPRESSION)
            state->level = 6;
        const int ret = oxcompInit();
        if (ret != 0) {
            GZ_ERR(" oxcompInit err!ret = 0x%x(%d)\n", static_cast<unsigned>(ret), ret);
            std::free(state);
            return nullptr;
        }
    }
    if (state->mode == GZ_NONE || (state->mode == GZ_READ && state->direct != 0)) {
        std::free(state);
        return nullptr;
    }
    if (state->mode == GZ_READ)
        state->direct = 1;   // until the look-ahead finds a gzip head
    state->path = gz_path_copy(path, fd);
    if (state->path == nullptr) {
        std::free(state);
        return nullptr;
    }
    state->fd = fd > -1 ? fd : host_open(path, gz_open_flags(state, o.exclusive), 0666);
    if (state->fd == -1) {
        gz_free_state(state);
        return nullptr;
    }
    if (state->mode == GZ_APPEND)
        state->mode = GZ_WRITE;
    if (state->mode == GZ_READ) {
        state->start = host().lseek(state->fd, 0, SEEK_CUR);
        if (state->start == -1)
            state->start = 0;
    }
    gz_reset(state);
    GZ_INFO("gzopen success\n\n");
    return state;
}

bool gz_open_mode(const gz_file_state *state)
{
    return state->mode == GZ_READ || state->mode == GZ_WRITE;
}

}  // namespace

void gz_reset(gz_file_state *state)
{
    state->x.have = 0;
    if (state->mode == GZ_READ) {
        state->eof = 0;
        state->past = 0;
        state->how = GZ_LOOK;
    }
    state->seek = 0;
    gz_error(state, Z_OK, nullptr);
    state->x.pos = 0;
    state->strm.avail_in = 0;
}

void gz_error(gz_file_state *state, int err, const char *msg)
{
    if (state->msg != nullptr) {
        if (state->err != Z_MEM_ERROR)
            std::free(state->msg);
        state->msg = nullptr;
    }
    if (err != Z_OK && err != Z_BUF_ERROR)
        state->x.have = 0;
    state->err = err;
    if (msg == nullptr || err == Z_MEM_ERROR)
        return;
    const size_t len = std::strlen(state->path) + std::strlen(msg) + 3;
    state->msg = static_cast<char *>(std::malloc(len));
    if (state->msg == nullptr) {
        state->err = Z_MEM_ERROR;
        return;
    }
    std::snprintf(state->msg, len, "%s: %s", state->path, msg);
}

gz_file_state *gzopen(const char *path, const char *mode) { return gz_open(path, -1, mode); }
gz_file_state *gzopen64(const char *path, const char *mode) { return gz_open(path, -1, mode); }

gz_file_state *gzdopen(int fd, const char *mode)
{
    if (fd == -1)
        return nullptr;
    return gz_open("", fd, mode);
}

int gzbuffer(gz_file_state *file, unsigned size)
{
    if (file == nullptr || !gz_open_mode(file) || file->size != 0)
        return -1;
    file->want = size < 2 ? 2 : size;
    return 0;
}

int gzrewind(gz_file_state *file)
{
    if (file == nullptr || file->mode != GZ_READ || (file->err != Z_OK && file->err != Z_BUF_ERROR))
        return -1;
    if (host().lseek(file->fd, file->start, SEEK_SET) == -1)
        return -1;
    gz_reset(file);
    return 0;
}

z_off64_t gzseek64(gz_file_state *file, z_off64_t offset, int whence)
{
    if (file == nullptr || !gz_open_mode(file) || (file->err != Z_OK && file->err != Z_BUF_ERROR))
        return -1;
    if (whence != SEEK_SET && whence != SEEK_CUR)
        return -1;
    if (whence == SEEK_SET)
        offset -= file->x.pos;
    else if (file->seek != 0)
        offset += file->skip;
    file->seek = 0;
    if (file->mode == GZ_READ && file->how == GZ_COPY && file->x.pos + offset >= 0) {
        if (host().lseek(file->fd, offset - file->x.have, SEEK_CUR) == -1)
            return -1;
        file->x.have = 0;
        file->eof = 0;
        file->past = 0;
        gz_error(file, Z_OK, nullptr);
        file->strm.avail_in = 0;
        file->x.pos += offset;
        return file->x.pos;
    }
    if (offset < 0) {   // backwards: only a reader, by rewinding and skipping
        if (file->mode != GZ_READ)
            return -1;
        offset += file->x.pos;
        if (offset < 0 || gzrewind(file) == -1)
            return -1;
    }
    if (file->mode == GZ_READ) {
        const z_off64_t n = file->x.have > offset ? offset : file->x.have;
        file->x.have -= static_cast<unsigned>(n);
        file->x.next += n;
        file->x.pos += n;
        offset -= n;
    }
    if (offset != 0) {
        file->seek = 1;
        file->skip = offset;
    }
    return file->x.pos + offset;
}

z_off_t gzseek(gz_file_state *file, z_off_t offset, int whence)
{
    const z_off64_t ret = gzseek64(file, offset, whence);
    return ret == static_cast<z_off_t>(ret) ? static_cast<z_off_t>(ret) : -1;
}

z_off64_t gztell64(gz_file_state *file)
{
    if (file == nullptr || !gz_open_mode(file))
        return -1;
    return file->x.pos + (file->seek != 0 ? file->skip : 0);
}

z_off_t gztell(gz_file_state *file)
{
    const z_off64_t ret = gztell64(file);
    return ret == static_cast<z_off_t>(ret) ? static_cast<z_off_t>(ret) : -1;
}

z_off64_t gzoffset64(gz_file_state *file)
{
    if (file == nullptr || !gz_open_mode(file))
        return -1;
    z_off64_t offset = host().lseek(file->fd, 0, SEEK_CUR);
    if (offset == -1)
        return -1;
    if (file->mode == GZ_READ)
        offset -= file->strm.avail_in;
    return offset;
}

z_off_t gzoffset(gz_file_state *file)
{
    const z_off64_t ret = gzoffset64(file);
    return ret == static_cast<z_off_t>(ret) ? static_cast<z_off_t>(ret) : -1;
}

int gzeof(gz_file_state *file)
{
    if (file == nullptr || !gz_open_mode(file))
        return 0;
    return file->mode == GZ_READ ? file->past : 0;
}

const char *gzerror(gz_file_state *file, int *errnum)
{
    if (file == nullptr || !gz_open_mode(file))
        return nullptr;
    if (errnum != nullptr)
        *errnum = file->err;
    if (file->err == Z_MEM_ERROR)
        return "out of memory";
    return file->msg == nullptr ? "" : file->msg;
}

void gzclearerr(gz_file_state *file)
{
    if (file == nullptr || !gz_open_mode(file))
        return;
    if (file->mode == GZ_READ) {
        file->eof = 0;
        file->past = 0;
    }
    gz_error(file, Z_OK, nullptr);
}

int gzclose_r(gz_file_state *file)
{
    if (file == nullptr || file->mode != GZ_READ)
        return Z_STREAM_ERROR;
    if (file->size != 0) {
        inflateEnd(&file->strm);
        std::free(file->out);
        std::free(file->in);
    }
    const int err = file->err == Z_BUF_ERROR ? Z_BUF_ERROR : Z_OK;
    gz_error(file, Z_OK, nullptr);
    const int ret = host().close(file->fd);
    gz_free_state(file);
    return ret != 0 ? Z_ERRNO : err;
}

int gzclose(gz_file_state *file)
{
    if (file == nullptr)
        return Z_STREAM_ERROR;
    if (file->mode == GZ_READ)
        return gzclose_r(file);
    if (file->mode != GZ_WRITE)
        return Z_STREAM_ERROR;
    if (!gz_on_card(file) || file->size != 0)   // a CPU stream is finished as CPU mode closes
        return gzclose_w(file);
    gz_acc_close_empty(file);
    gz_error(file, Z_OK, nullptr);
    const int ret = host().close(file->fd);
    gz_free_state(file);
    return ret == -1 ? -1 : 0;
}

}  // namespace gzacc
