// Small file tests of the accelerator framework: 1 when true, else 0.
#ifndef QUORBIX_ASMF_TASK_ASMF_UTIL_H
#define QUORBIX_ASMF_TASK_ASMF_UTIL_H

int asmf_is_exist(const char *path);
int asmf_is_r_ok(const char *path);
int asmf_is_w_ok(const char *path);
int asmf_is_rw_ok(const char *path);
int asmf_is_file(const char *path);
int asmf_is_dir(const char *path);

#endif
