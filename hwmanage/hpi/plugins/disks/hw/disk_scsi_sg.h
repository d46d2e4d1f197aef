// Generic SCSI helpers: commands sent to a block or generic node directly,
// with optional tracing, LOG SENSE with its length probe, temperature,
// informational exceptions, the unit serial number and a hex dump. Lines go
// to standard output without a prefix.
#ifndef QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_SCSI_SG_H
#define QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_SCSI_SG_H

#include <cstddef>
#include <cstdint>

#include "hwmanage/hpi/plugins/disks/hw/disk_sg_io.h"

// Error classes of the queries (negative values are -errno).
inline constexpr int SIMPLE_NO_ERROR = 0;
inline constexpr int SIMPLE_ERR_NOT_READY = 1;
inline constexpr int SIMPLE_ERR_BAD_OPCODE = 2;
inline constexpr int SIMPLE_ERR_BAD_FIELD = 3;
inline constexpr int SIMPLE_ERR_BAD_PARAM = 4;
inline constexpr int SIMPLE_ERR_BAD_RESP = 5;
inline constexpr int SIMPLE_ERR_NO_MEDIUM = 6;
inline constexpr int SIMPLE_ERR_BECOMING_READY = 7;

struct sg_scsi_sense_hdr {
    uint8_t response_code;
    uint8_t sense_key;
    uint8_t asc;
    uint8_t ascq;
};

// The helpers' transport state; tests start each case from 0.
extern int sg_io_state;
void scsi_sg_reset();

void pout(const char *format, ...) __attribute__((format(printf, 1, 2)));

int scsideviceopen(const char *path, const char *type);
int scsideviceclose(int fd);

int do_normal_scsi_cmnd_io(int fd, scsi_cmnd_io *iop, int report);
int sg_io_cmnd_io(int fd, scsi_cmnd_io *iop, int report, int quiet);
void SAS1064_scsi_do_sense_disect(const scsi_cmnd_io *iop, sg_scsi_sense_hdr *sinfo);

int scsiLogSense(int fd, int pagenum, uint8_t *pBuf, int bufLen, int known_resp_len);
int scsiGetTemp(int fd, uint8_t *currenttemp, uint8_t *triptemp);
int scsiGetDiskTemp(int disk, uint8_t *currenttemp, uint8_t *triptemp);
int scsiCheckIE(int fd, int hasIELogPage, uint8_t *asc, uint8_t *ascq);
inline constexpr size_t SCSI_SERIAL_SIZE = 32;
int scsiGetdiskSerial(int fd, char *serial);  // serial: SCSI_SERIAL_SIZE bytes

void dStrHex(const uint8_t *str, int len, int no_ascii);
const char *scsi_get_opcode_name(uint8_t opcode);
const char *scsiErrString(int scsiErr);

#endif
