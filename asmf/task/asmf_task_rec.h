// One compression task's records: the caller's request and its checks, the
// queued task with the card's descriptor, and the result built from the
// card's message.
#ifndef QUORBIX_ASMF_TASK_ASMF_TASK_REC_H
#define QUORBIX_ASMF_TASK_ASMF_TASK_REC_H

#include <cstdint>

#include "bases/drv/asmf_drv.h"

inline constexpr size_t ASMF_PATH_LEN = 8192;
inline constexpr uint8_t ASMF_NO_FILE_ID = 255;
inline constexpr uint32_t ASMF_DEFAULT_EXPIRES = 20;

struct CompressCtrlInfo {
    uint32_t ulTaskId;      // low 16 bits task id, high 16 bits segment
    uint32_t crc;
    uint32_t totalLen;
    uint8_t ucCmdType;
    uint8_t ucCprsLevel;
    uint8_t ucCprsForm;
    uint8_t ucFlag;         // 3 only piece, 1 first, 0 middle, 2 last
    uint8_t fileId;
};

struct CompressMemInfo {
    uint8_t ucMemReuse;
    uint64_t ullInputIndexAddr;
    uint64_t ullOutputIndexAddr;
    uint32_t input_size;
    uint32_t output_size;
};

struct CompressDataInfo {
    uint16_t usDateType;    // 0 memory, 1 file path
    union {
        CompressMemInfo mem;
        char inputPath[ASMF_PATH_LEN];
    };
};

struct CompressInfo {
    CompressCtrlInfo strCompressCtrlInfo;
    CompressDataInfo strCompressDataInfo;
    uint32_t expires;       // seconds; 0 means 20
};

struct recv_info {
    uint32_t status;
    uint32_t err_no;
    uint8_t task_id;
    uint8_t file_id;
    uint8_t flags;
    uint8_t ret_low;        // low four bits of the descriptor's byte 46
    uint32_t ret_crc;
    uint16_t cmd_segment;
    uint16_t ret_segment;
    uint32_t result_length;
};

struct TaskRec {
    TaskRec *next;
    TaskRec *prev;
    uint8_t zero[32];
    uint32_t taskType;
    FpgaTaskDesc desc;
};

// Error numbers the framework itself reports (status 2).
enum AsmfTaskErr : uint32_t {
    ASMF_TASK_ERR_QUEUE_TIMEOUT = 1, ASMF_TASK_ERR_NO_RES = 2, ASMF_TASK_ERR_SEND = 3, ASMF_TASK_ERR_CANCEL = 5,
    ASMF_TASK_ERR_RECV = 6, ASMF_TASK_ERR_DEV_TYPE = 7, ASMF_TASK_ERR_TASK_TYPE = 8, ASMF_TASK_ERR_FREE = 9,
};

int asmf_check_compress_ctrl_info(const CompressCtrlInfo *ctrl);
int asmf_check_compress_data_info(const CompressDataInfo *data);
int asmf_check_compress_task_info(const CompressInfo *info);
int asmf_translate_cmps_task(const CompressInfo *info, TaskRec *task, uint32_t port);
// Result fields from one message, as the receive fills them.
void asmf_msg_to_recv_info(const ResultMsg &msg, recv_info *info);
int asmf_receive_cmps_msg(int sock, recv_info *info);

#endif
