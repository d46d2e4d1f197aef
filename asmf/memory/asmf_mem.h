// The process's view of the accelerator's memory pools: their bus addresses
// and sizes, mapped or reached through driver copies; buffers in 1 MiB
// blocks on behalf of a pid and tid; address translation; copies.
#ifndef QUORBIX_ASMF_MEMORY_ASMF_MEM_H
#define QUORBIX_ASMF_MEMORY_ASMF_MEM_H

#include <atomic>
#include <cstdint>

#include "bases/drv/asmf_drv.h"

struct AsmfMemPool {
    uint64_t busAddr[ASMF_MAX_POOLS];
    uint64_t procAddr[ASMF_MAX_POOLS];
    uint64_t size[ASMF_MAX_POOLS];
    int32_t count;
};

extern AsmfMemPool g_mem_pool;
extern std::atomic<int> g_mem_fd;
extern std::atomic<int> g_mem_init_flag;
extern std::atomic<int> g_mem_app_type;  // 0 mapped, 1 driver copy

inline constexpr int ASMF_MEM_ERR_OPEN = -1004;
inline constexpr int ASMF_MEM_ERR_MMAP = -1007;
inline constexpr int ASMF_MEM_ERR_SHOW = -1013;
inline constexpr int ASMF_MEM_ERR_ARG = -1202;
inline constexpr int ASMF_MEM_ERR_V2P = -1205;
inline constexpr uint32_t ASMF_COPY_CHUNK = 0x400000;

int asmf_init_mem(uint32_t type);
int asmf_exit_mem();

uint64_t asmf_malloc_mem_by_pid(uint64_t size, int32_t cpuSelect, uint32_t pid, uint32_t tid);
uint64_t asmf_malloc_mem(uint64_t size, int32_t cpuSelect);
int asmf_free_mem_by_pid(uint64_t address, uint32_t pid, uint32_t tid);
int asmf_free_mem(uint64_t address);

uint64_t asmf_v2p(uint64_t address);
uint64_t asmf_p2v(uint64_t busAddress);

int asmf_mem_cpy2asmf(void *dest, const void *src, uint32_t length);
int asmf_mem_cpy2usr(void *dest, const void *src, uint32_t length);

int asmf_get_pool_attr(AsmfPoolAttr *attr);
int asmf_get_pool_stat(AsmfPoolStat *stat);
int asmf_alloc_pool_mem(AsmfPoolReq *req);
int asmf_free_pool_mem(AsmfPoolReq *req);
int asmf_get_mem_version(char *text);
int asmf_show_pid_mem(uint32_t pid);

int asmf_viraddr_to_poolid(uint64_t address);
int asmf_phaddr_to_poolid(uint64_t busAddress);
int asmf_viraddr_to_index(uint64_t address, int *pool, uint64_t *block);
uint64_t asmf_index_to_viraddr(int pool, uint64_t block);

#endif
