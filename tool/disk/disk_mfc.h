// The disk inspection queries of the "mfc" block: "disks" (controller, PHY,
// RAID volume and physical-disk reports) and "disk_phy" (PHY link states and
// error counters) of every SAS controller behind the MPT control device.
#ifndef QUORBIX_TOOL_DISK_DISK_MFC_H
#define QUORBIX_TOOL_DISK_DISK_MFC_H

#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_info.h"
#include "hwmanage/hpi/plugins/disks/hw/disk_lsi_raid.h"
#include "tool/trans_op.h"

TransOpStatus disk_mfc(const char *params);
TransOpStatus disk_phy(const char *params);
// Row "disk" of the "clear" block: only the parameter "a" is known.
TransOpStatus disk_c_check(const char *params);

void doShownControllerInfo(const MpiController *controller, int index);
void doShowIocPhyCounters(MpiController *controller);
void doShowIocPhyCounters2(MpiController *controller);
void doShowRaidInfo(const LOGICDISKINFOS *volumes);
void doShowDiskInfo(const PHYDISKINFOS *disks);

#endif
