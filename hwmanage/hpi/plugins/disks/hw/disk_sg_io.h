// One SCSI command transport over the generic driver: SG_IO, or the older
// send-command request when SG_IO does not work on the node. Two faces use
// it (the generic helpers and the SSD plugin); each keeps its own
// process-wide transport state and its own texts.
#ifndef QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_SG_IO_H
#define QUORBIX_HWMANAGE_HPI_PLUGINS_DISKS_HW_DISK_SG_IO_H

#include <cstddef>
#include <cstdint>

inline constexpr int DXFER_NONE = 0;
inline constexpr int DXFER_FROM_DEVICE = 1;
inline constexpr int DXFER_TO_DEVICE = 2;

// Transport states.
inline constexpr int SG_STATE_UNTRIED = 0;
inline constexpr int SG_STATE_SG_IO = 1;
inline constexpr int SG_STATE_SEND_COMMAND = 2;

// A SCSI command and its results.
struct scsi_cmnd_io {
    const uint8_t *cmnd;
    size_t cmnd_len;
    int dxfer_dir;        // DXFER_*
    uint8_t *dxferp;
    size_t dxfer_len;
    size_t max_sense_len;
    uint8_t *sensep;
    unsigned timeout;     // seconds, 0: 60
    // results
    size_t resp_sense_len;
    uint8_t scsi_status;
    int resid;
    // what the SG_IO driver said (reports only)
    uint16_t host_status;
    uint16_t driver_status;
    uint32_t info;
    uint32_t duration;
};

// A face: its state and the lines it prints (printf-style sink).
struct SgFace {
    int *state;
    const char *badState;       // the bad-state line, before and after the value
    const char *badStateEnd;
    const char *badDir;
    void (*say)(const char *format, ...) __attribute__((format(printf, 1, 2)));
    bool reports;               // prints the transport's report lines
};

// SG_IO; `report` > 0 and not `quiet` print the ioctl failure line.
int sg_core_sg_io(const SgFace &face, int fd, scsi_cmnd_io *io, int report, bool quiet);
// The send-command request; at most 1024 data bytes.
int sg_core_send_command(const SgFace &face, int fd, scsi_cmnd_io *io, int report);
// The three-state choice between the two.
int sg_core_cmnd_io(const SgFace &face, int fd, scsi_cmnd_io *io, int report);

#endif
