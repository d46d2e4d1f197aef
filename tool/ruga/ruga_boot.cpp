#include "tool/ruga/ruga_boot.h"

#include <fcntl.h>
#include <new>
#include <unistd.h>

#include "bases/host/host.h"
#include "kelvo/kelvo.h"
#include "tool/load/load_log.h"

RugaBootNode::~RugaBootNode()
{
    if (fd > 0)
        host().close(fd);
}

int RugaBootNode::open()
{
    if (host().access(RUGA_BOOT_NODE, F_OK) != 0) {
        LOAD_ERR("/dev/%s not exist, do not need to inactive boot and app", RUGA_BOOT_NAME);
        return 0;
    }
    fd = host().open(RUGA_BOOT_NODE, O_WRONLY, 0);
    if (fd < 0) {
        LOAD_ERR("Open %s failed\n", RUGA_BOOT_NODE);
        return -1221;
    }
    return 0;
}

int RugaBootNode::request(unsigned long number) const { return fd > 0 ? host().ioctl(fd, number, nullptr) : 0; }

int ruga_new_save(RugaSave &save, const PciePortInfo *ports, int count)
{
    save.data.reset(new (std::nothrow) PciSaveData);
    if (!save.data) {
        LOAD_ERR("malloc mem error\n");
        return -1209;
    }
    KelvoErr cleared = memset_s(save.data.get(), sizeof(PciSaveData), 0, sizeof(PciSaveData));
    if (cleared != 0) {
        LOAD_ERR("call memset_s fail\n");
        return cleared;
    }
    for (int i = 0; i < count; i++)
        save.ports[i] = ports[i];
    return 0;
}
