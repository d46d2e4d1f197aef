// DORN memory mapping and platform probes.
#include "bases/host/host.h"
#include "boardlib/dorn_mem.h"

#include <fcntl.h>
#include <sys/mman.h>

#include <cstring>
#include <limits>

#include "boardlib/dorn_logic.h"
#include "boardlib/plov_cmdline.h"
#include "kelvo/kelvo.h"

namespace {

constexpr unsigned kManyRanges = 4;   // from four "memmap" words on, two ranges are shared

// The whole pages from `base` that cover `delta + size` bytes. A range whose
// end passes the top of the address space, or whose pages reach beyond what a
// mapping's length and file offset can hold, has none: false.
bool page_span(uint64_t base, uint64_t delta, uint64_t size, uint64_t page, uint64_t *length)
{
    constexpr uint64_t kOffsetMax = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
    uint64_t end = 0;
    if (__builtin_add_overflow(delta, size, &end) || __builtin_add_overflow(end, page - 1, &end))
        return false;
    *length = end / page * page;
    return *length <= std::numeric_limits<size_t>::max() && base <= kOffsetMax && *length <= kOffsetMax - base;
}

}  // namespace

PlovStatus DornMemMap(ShareMemEntry *entry)
{
    if (entry == nullptr) {
        TRANS_LOG_ERR("NULL Pointer detected!\n");
        return PLOV_ERR_NULL_PTR;
    }
    int fd = host_open(DORN_MEM_NODE, O_RDWR);
    if (fd < 0) {
        TRANS_LOG_ERR("Open /dev/mem failed");
        return PLOV_ERR_OPEN;
    }
    const uint64_t page = static_cast<uint64_t>(host().pagesize());
    const uint64_t phys = entry->PhyAddr;
    const uint64_t base = phys & ~(page - 1);
    const uint64_t delta = phys - base;
    uint64_t length = 0;
    void *mem = MAP_FAILED;
    if (page_span(base, delta, entry->Size, page, &length))
        mem = host().mmap(nullptr, static_cast<size_t>(length), PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                          static_cast<off_t>(base));
    if (mem == MAP_FAILED) {
        TRANS_LOG_ERR("Fail to mmap %s \n", DORN_MEM_NODE);
        host().close(fd);
        return DORN_ERR_MAP;
    }
    uint64_t virt = reinterpret_cast<uintptr_t>(mem);
    KelvoErr err = memcpy_s(reinterpret_cast<uint8_t *>(entry) + offsetof(ShareMemEntry, VirAddr), sizeof virt, &virt,
                            sizeof virt);
    if (err != KelvoOk)
        TRANS_LOG_ERR("memcpy_s failed %d, dest_str %p(%lu), src_str %p(%lu)\n", err,
                      static_cast<void *>(reinterpret_cast<uint8_t *>(entry) + offsetof(ShareMemEntry, VirAddr)),
                      sizeof virt, static_cast<void *>(&virt), sizeof virt);
    entry->VirAddr = entry->VirAddr + delta;
    TRANS_LOG_INFO("mapped addr %llx \n", static_cast<unsigned long long>(entry->VirAddr));
    host().close(fd);
    return PLOV_OK;
}

PlovStatus DornGetMemUsgNum(uint8_t *count)
{
    if (count == nullptr)
        return PLOV_ERR_NULL_PTR;
    char line[PLOV_CMDLINE_MAX] = {};
    PlovStatus ret = PlovReadCmdline(line, sizeof line);
    if (ret != PLOV_OK)
        return ret;
    unsigned found = 0;
    for (const char *p = std::strstr(line, "memmap"); p != nullptr; p = std::strstr(p + 1, "memmap"))
        found++;
    *count = found < kManyRanges ? 1 : 2;
    return PLOV_OK;
}

PlovStatus DornGetCpuPresent(uint8_t *nodes)
{
    if (nodes == nullptr)
        return PLOV_ERR_NULL_PTR;
    int fd = host_open(DORN_NODE_ONLINE, O_RDONLY);
    if (fd < 0)
        return PLOV_ERR_OPEN;
    char text[7] = {};
    ssize_t got = host().read(fd, text, 6);
    host().close(fd);
    (void)got;   // a failed read leaves the text empty: one node
    *nodes = std::strstr(text, "0-1") != nullptr ? 2 : 1;
    return PLOV_OK;
}

PlovStatus TransDealMemDesc(FpgaId fpga)
{
    MemDesc descs[MEM_DESC_COUNT];
    KelvoErr err = memset_s(descs, sizeof descs, 0, sizeof descs);
    if (err != KelvoOk)
        TRANS_LOG_ERR("memset_s failed %d, dest_str %p(%lu), cnt(%lu)\n", err, static_cast<void *>(descs), sizeof descs,
                      sizeof descs);
    PlovStatus ret = TransGetMemDesc(fpga, descs);
    if (ret != PLOV_OK)
        return ret;
    const uint64_t page = static_cast<uint64_t>(host().pagesize());
    for (const MemDesc &d : descs) {
        if (d.ZoneKind != MEM_ZONE_SW_BUF)
            continue;
        uint64_t virt = 0;
        if (PlovTransPhy2Vir(d.PhyAddr, &virt) != PLOV_OK)
            return PLOV_OK;
        // Only whole pages inside the zone: a neighbour's page stays writable.
        const uint64_t start = (virt + page - 1) / page * page;
        const uint64_t end = (virt + d.Size) / page * page;
        if (end > start)
            (void)host().mprotect(reinterpret_cast<void *>(start), static_cast<size_t>(end - start), PROT_READ);
    }
    return PLOV_OK;
}
