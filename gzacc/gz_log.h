// Console lines of the gzip layer: "file:line:function [ZLIB-INFO]..." and
// "[ZLIB-ERR]...", the file relative to the repository root.
#ifndef QUORBIX_GZACC_GZ_LOG_H
#define QUORBIX_GZACC_GZ_LOG_H

#include <cstdio>

#define GZ_INFO(fmt, ...) \
    std::printf("%s:%d:%s [ZLIB-INFO]" fmt, __FILE__, __LINE__, __func__ __VA_OPT__(, ) __VA_ARGS__)
#define GZ_ERR(fmt, ...) \
    std::printf("%s:%d:%s [ZLIB-ERR]" fmt, __FILE__, __LINE__, __func__ __VA_OPT__(, ) __VA_ARGS__)

#endif
