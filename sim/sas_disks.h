// Disks and RAID volumes behind the simulated SAS controllers: each disk of
// the disk model gets an attachment (controller, handle, parent, PHY, slot,
// bus, target), its SAS device page 0 and its mapping; each volume its RAID
// volume pages 0 and 1 and its members' RAID physical disk pages. SCSI IO
// (by handle on MPI 2, bus and target on MPI 1) and RAID SCSI IO
// pass-through reach the disk model; a SCSI IO to a RAID member, or a
// pass-through to a non-member or an offline member, is refused.
#ifndef QUORBIX_SIM_SAS_DISKS_H
#define QUORBIX_SIM_SAS_DISKS_H

#include <string>
#include <string_view>

#include "sim/kit/sim_doc.h"

bool sas_disks_attach(SimDoc &saved);
void sas_disks_save(SimDoc &doc);
void sas_disks_reset();

// ---- fixture lines -----------------------------------------------------------------------------
//
//   sas-disk IOC HANDLE SD PARENT PHY SLOT BUS TARGET [SAS-ADDRESS [DEVICE-INFO]]
//   sas-volume IOC HANDLE TYPE STATE FLAGS MAX-LBA BLOCK-SIZE STRIPE WWID RESYNC-TOTAL RESYNC-LEFT
//              [DISK-NUMBER:MAP:HANDLE:STATE ...]
//   sas-expander IOC HANDLE PORT SAS-ADDRESS PHYS    (SAS expander page 0; SMP answered)
//   sas-expander-phy IOC PHY RATE INVALID-DWORD DISPARITY LOSS-OF-SYNC RESET-PROBLEM
//                                                    (page 1 and REPORT PHY ERROR LOG; other
//                                                    PHYs answer "PHY does not exist")
//   sas-byid WWID SD                                 ("/dev/disk/by-id" links of a volume)
//
// SD is a device name (sim_device_name). The controller and the disk come
// first (mpt-ioc, disk-add). False with a message in `err` for a line not
// understood.
bool sas_fixture_line(std::string_view line, std::string &err);

#endif
