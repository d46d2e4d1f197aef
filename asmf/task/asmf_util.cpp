#include "asmf/task/asmf_util.h"

#include <unistd.h>

#include "bases/host/host.h"

namespace {

int allowed(const char *path, int mode) { return path != nullptr && host().access(path, mode) == 0 ? 1 : 0; }

int has_type(const char *path, mode_t type)
{
    struct stat st {};
    return path != nullptr && host().stat(path, &st) == 0 && (st.st_mode & S_IFMT) == type ? 1 : 0;
}

} // namespace

int asmf_is_exist(const char *path) { return allowed(path, F_OK); }
int asmf_is_r_ok(const char *path) { return allowed(path, R_OK); }
int asmf_is_w_ok(const char *path) { return allowed(path, W_OK); }
int asmf_is_rw_ok(const char *path) { return allowed(path, R_OK | W_OK); }
int asmf_is_file(const char *path) { return has_type(path, S_IFREG); }
int asmf_is_dir(const char *path) { return has_type(path, S_IFDIR); }
