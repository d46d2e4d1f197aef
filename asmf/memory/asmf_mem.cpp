#include "asmf/memory/asmf_mem.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/mman.h>

#include "asmf/asmf_log.h"
#include "bases/globals/globals.h"
#include "kelvo/kelvo.h"

#define MEM_ERR(fmt, ...) ASMF_LOG(ASMF_PRI_ERR, "memory/asmf_mem.c", "<asmf_mem-ERR>", fmt __VA_OPT__(, ) __VA_ARGS__)
#define MEM_DBG(fmt, ...) ASMF_LOG(ASMF_PRI_DBG, "memory/asmf_mem.c", "<asmf_mem-DBG>", fmt __VA_OPT__(, ) __VA_ARGS__)

AsmfMemPool g_mem_pool{};
std::atomic<int> g_mem_fd{-1};
std::atomic<int> g_mem_init_flag{0};
std::atomic<int> g_mem_app_type{0};

namespace {

constexpr uint64_t kUnmapped = ~uint64_t{0};

int mem_request(uint8_t number, void *arg, const char *failure)
{
    int rc = host_ioctl(g_mem_fd.load(), asmf_mem_request(number), arg);
    if (rc < 0)
        MEM_ERR("%s", failure);
    return rc;
}

bool mapped_mode() { return g_mem_app_type.load() == 0; }

// Index of the pool whose range [base[i], base[i] + size) holds `address`.
int pool_of(const uint64_t *base, uint64_t address)
{
    for (int i = 0; i < std::min(g_mem_pool.count, ASMF_MAX_POOLS); i++)
        if (address >= base[i] && address - base[i] < g_mem_pool.size[i])
            return i;
    return -1;
}

int map_pools()
{
    for (int i = 0; i < g_mem_pool.count; i++) {
        void *p = host().mmap(nullptr, g_mem_pool.size[i], PROT_READ | PROT_WRITE, MAP_SHARED | MAP_LOCKED,
                              g_mem_fd.load(), static_cast<off_t>(g_mem_pool.busAddr[i]));
        if (p == MAP_FAILED) {
            MEM_ERR("call mmap fail index(%u) addr(0x%lx) size(0x%llx).", static_cast<unsigned>(i),
                    static_cast<unsigned long>(g_mem_pool.busAddr[i]),
                    static_cast<unsigned long long>(g_mem_pool.size[i]));
            return ASMF_MEM_ERR_MMAP;
        }
        g_mem_pool.procAddr[i] = reinterpret_cast<uintptr_t>(p);
    }
    return 0;
}

// Reads the pools into the table; the driver's count must fit it.
int read_pools()
{
    AsmfPoolAttr attr{};
    int rc = asmf_get_pool_attr(&attr);
    if (rc < 0) {
        MEM_ERR("call asmf_get_pool_attr fail.\n");
        return rc;
    }
    if (attr.count < 0 || attr.count > ASMF_MAX_POOLS) {
        MEM_ERR("pool count(%d) is invalid.\n", attr.count);
        return ASMF_MEM_ERR_OPEN;
    }
    g_mem_pool.count = attr.count;
    for (int i = 0; i < attr.count; i++) {
        g_mem_pool.busAddr[i] = attr.busAddr[i];
        g_mem_pool.size[i] = attr.size[i];
        g_mem_pool.procAddr[i] = mapped_mode() ? kUnmapped : attr.busAddr[i];
    }
    return mapped_mode() ? map_pools() : 0;
}

// Copies in chunks of at most 4 MiB through the driver.
int driver_copy(uint8_t number, uint64_t bus, uint64_t hostAddr, uint32_t length, const char *failure)
{
    while (length > 0) {
        uint32_t chunk = std::min(length, ASMF_COPY_CHUNK);
        AsmfCopyReq req{bus, hostAddr, chunk};
        int rc = host_ioctl(g_mem_fd.load(), asmf_mem_request(number), &req);
        if (rc != 0) {
            MEM_ERR("%s fail(%d).\n", failure, rc);
            return rc;
        }
        bus += chunk;
        hostAddr += chunk;
        length -= chunk;
    }
    return 0;
}

uint64_t as_u64(const void *p) { return reinterpret_cast<uintptr_t>(p); }

} // namespace

int asmf_get_pool_attr(AsmfPoolAttr *attr) { return mem_request(ASMF_MEM_POOL_ATTR, attr, "get pool attr fail.\n"); }
int asmf_get_pool_stat(AsmfPoolStat *stat) { return mem_request(ASMF_MEM_POOL_STAT, stat, "get pool stat fail.\n"); }
int asmf_alloc_pool_mem(AsmfPoolReq *req) { return mem_request(ASMF_MEM_ALLOC, req, "alloc pool mem fail.\n"); }
int asmf_free_pool_mem(AsmfPoolReq *req) { return mem_request(ASMF_MEM_FREE, req, "free pool mem fail.\n"); }
int asmf_get_mem_version(char *text) { return mem_request(ASMF_MEM_VERSION, text, "get mem verson fail.\n"); }

int asmf_init_mem(uint32_t type)
{
    if (g_mem_init_flag.load() == 1) {
        MEM_DBG("repeat call asmf_init_mem.\n");
        return 0;
    }
    g_mem_app_type = type != 0 ? 1 : 0;
    g_mem_pool = AsmfMemPool{};
    int fd = host_open(ASMF_MEM_NODE, O_RDWR);
    if (fd < 0) {
        MEM_ERR("Error: Failed to open device %s.\n", ASMF_MEM_NODE);
        return ASMF_MEM_ERR_OPEN;
    }
    g_mem_fd = fd;
    if (int rc = read_pools()) {
        asmf_exit_mem();
        return rc;
    }
    g_mem_init_flag = 1;
    return 0;
}

int asmf_exit_mem()
{
    if (mapped_mode())
        for (int i = 0; i < std::min(g_mem_pool.count, ASMF_MAX_POOLS); i++)
            if (g_mem_pool.procAddr[i] != 0 && g_mem_pool.procAddr[i] != kUnmapped)
                host().munmap(reinterpret_cast<void *>(static_cast<uintptr_t>(g_mem_pool.procAddr[i])),
                              g_mem_pool.size[i]);
    g_mem_pool = AsmfMemPool{};
    if (g_mem_fd.load() >= 0)
        host().close(g_mem_fd.load());
    g_mem_fd = -1;
    g_mem_init_flag = 0;
    return 0;
}

uint64_t asmf_malloc_mem_by_pid(uint64_t size, int32_t cpuSelect, uint32_t pid, uint32_t tid)
{
    if (g_mem_init_flag.load() != 1 || size == 0)
        return 0;
    AsmfPoolReq req{cpuSelect, pid, tid, 0, size, 0};
    if (asmf_alloc_pool_mem(&req) < 0) {
        MEM_ERR("call asmf_alloc_pool_mem fail.");
        return 0;
    }
    uint64_t address = asmf_index_to_viraddr(req.index, req.block);
    if (address == 0)
        MEM_ERR("pool index(%d) block(0x%llx) is invalid.\n", req.index, static_cast<unsigned long long>(req.block));
    return address;
}

uint64_t asmf_malloc_mem(uint64_t size, int32_t cpuSelect)
{
    return asmf_malloc_mem_by_pid(size, cpuSelect, static_cast<uint32_t>(host().getpid()),
                                  static_cast<uint32_t>(host().gettid()));
}

int asmf_free_mem_by_pid(uint64_t address, uint32_t pid, uint32_t tid)
{
    if (g_mem_init_flag.load() != 1)
        return -1;
    int pool = -1;
    uint64_t block = 0;
    if (asmf_viraddr_to_index(address, &pool, &block) != 0) {
        MEM_ERR("call asmf_viraddr_to_index fail.");
        return -1;
    }
    AsmfPoolReq req{pool, pid, tid, 0, block, 0};
    int rc = asmf_free_pool_mem(&req);
    if (rc < 0)
        MEM_ERR("call asmf_free_pool_mem fail.");
    return rc;
}

int asmf_free_mem(uint64_t address)
{
    return asmf_free_mem_by_pid(address, static_cast<uint32_t>(host().getpid()), static_cast<uint32_t>(host().gettid()));
}

int asmf_viraddr_to_poolid(uint64_t address) { return pool_of(g_mem_pool.procAddr, address); }
int asmf_phaddr_to_poolid(uint64_t busAddress) { return pool_of(g_mem_pool.busAddr, busAddress); }

int asmf_viraddr_to_index(uint64_t address, int *pool, uint64_t *block)
{
    int i = asmf_viraddr_to_poolid(address);
    if (i < 0)
        return -1;
    *pool = i;
    *block = (address - g_mem_pool.procAddr[i]) >> ASMF_BLOCK_SHIFT;
    return 0;
}

// 0 for a pool outside the table or a block outside its pool.
uint64_t asmf_index_to_viraddr(int pool, uint64_t block)
{
    if (pool < 0 || pool >= std::min(g_mem_pool.count, ASMF_MAX_POOLS))
        return 0;
    if (block >= (g_mem_pool.size[pool] >> ASMF_BLOCK_SHIFT))
        return 0;
    return g_mem_pool.procAddr[pool] + (block << ASMF_BLOCK_SHIFT);
}

uint64_t asmf_v2p(uint64_t address)
{
    if (g_mem_init_flag.load() != 1 || address == 0)
        return 0;
    int i = asmf_viraddr_to_poolid(address);
    return i < 0 ? 0 : g_mem_pool.busAddr[i] + (address - g_mem_pool.procAddr[i]);
}

uint64_t asmf_p2v(uint64_t busAddress)
{
    if (g_mem_init_flag.load() != 1 || busAddress == 0)
        return 0;
    int i = asmf_phaddr_to_poolid(busAddress);
    return i < 0 ? 0 : g_mem_pool.procAddr[i] + (busAddress - g_mem_pool.busAddr[i]);
}

int asmf_mem_cpy2asmf(void *dest, const void *src, uint32_t length)
{
    if (dest == nullptr || src == nullptr || length == 0) {
        MEM_ERR("asmf_mem_cpy2asmf input err!dest(0x%p) src(0x%p) len(%u).\n", dest, src, length);
        return ASMF_MEM_ERR_ARG;
    }
    if (mapped_mode())
        return memcpy_s(dest, length, src, length);
    uint64_t bus = asmf_v2p(as_u64(dest));
    if (bus == 0) {
        MEM_ERR("call asmf_v2p err! dest(0x%p) to asmf_phyaddr(0x%lx).\n", dest, static_cast<unsigned long>(bus));
        return ASMF_MEM_ERR_V2P;
    }
    return driver_copy(ASMF_MEM_CPY_TO_POOL, bus, as_u64(src), length, "cpy_to_asmf");
}

int asmf_mem_cpy2usr(void *dest, const void *src, uint32_t length)
{
    if (dest == nullptr || src == nullptr || length == 0) {
        MEM_ERR("asmf_mem_cpy2usr input err!dest(0x%p) src(0x%p) len(%u).\n", dest, src, length);
        return ASMF_MEM_ERR_ARG;
    }
    if (mapped_mode())
        return memcpy_s(dest, length, src, length);
    uint64_t bus = asmf_v2p(as_u64(src));
    if (bus == 0) {
        MEM_ERR("call asmf_mem_cpy2usr err! src(0x%p) to asmf_phyaddr(0x%lx) \n", src, static_cast<unsigned long>(bus));
        return ASMF_MEM_ERR_V2P;
    }
    return driver_copy(ASMF_MEM_CPY_TO_USR, bus, as_u64(dest), length, "cpy_to_usr");
}

int asmf_show_pid_mem(uint32_t pid)
{
    int fd = g_mem_fd.load();
    bool own = fd < 0;
    if (own) {
        fd = host_open(ASMF_MEM_NODE, O_RDWR);
        if (fd < 0) {
            MEM_ERR("Error: Failed to open device %s.\n", ASMF_MEM_NODE);
            return ASMF_MEM_ERR_OPEN;
        }
    }
    int rc = host_ioctl(fd, asmf_mem_request(ASMF_MEM_SHOW_PID), &pid);
    if (own)
        host().close(fd);
    return rc < 0 ? ASMF_MEM_ERR_SHOW : 0;
}

GLOBALS_RESET(asmf_mem)
{
    g_mem_pool = AsmfMemPool{};
    g_mem_fd = -1;
    g_mem_init_flag = 0;
    g_mem_app_type = 0;
}
