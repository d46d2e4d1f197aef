// The compression task framework: the table of open handles, one task list
// per task type with a worker and a time-out thread each, and the
// synchronous and asynchronous requests without a handle.
#ifndef QUORBIX_ASMF_TASK_ASMF_TASK_H
#define QUORBIX_ASMF_TASK_ASMF_TASK_H

#include <atomic>
#include <cstdint>
#include <pthread.h>
#include <semaphore.h>

#include "asmf/task/asmf_task_rec.h"

inline constexpr int ASMF_HANDLER_COUNT = 256;
inline constexpr uint32_t ASMF_HANDLER_MAGIC = 0xFF00FF00u;
inline constexpr int ASMF_TASK_TYPES = 2;

inline constexpr int ASMF_ERR_HANDLE_OPEN = -1200;
inline constexpr int ASMF_ERR_TABLE_FULL = -1209;
inline constexpr int ASMF_ERR_REFREE = -1210;
inline constexpr int ASMF_ERR_UNSUPPORTED = -1215;
inline constexpr int ASMF_ERR_NOT_INIT = -1228;
inline constexpr int ASMF_ERR_LIST_EMPTY = -1240;
inline constexpr int ASMF_ERR_HANDLE_RANGE = -4005;
inline constexpr int ASMF_ERR_TASK_TYPE = -5012;
inline constexpr int ASMF_ERR_SYNC_TASK = -8012;
inline constexpr int ASMF_ERR_COPY_P2V = -8013;

// The caller's request for a handle.
struct handle_alloc {
    uint32_t pid;
    uint32_t tid;
    uint32_t type;          // must be 0
    uint8_t ucCmdType;      // 0 compress, 1 decompress
    uint8_t fileIdReq;      // 255: no file id
};

struct AsmfHandler {
    uint32_t magic;
    uint32_t refer;
    uint32_t pid;
    uint32_t tid;
    uint32_t type;
    uint8_t cmdType;
    uint8_t fileId;
    int32_t sock;
    uint32_t port;
};

// One task type's queue. A thread-id word of 0 tells its thread to stop.
struct AsmfTaskList {
    sem_t sem;              // used as the list's lock
    TaskRec head;           // circular list of heap copies
    std::atomic<pthread_t> worker;
    std::atomic<pthread_t> timeout;
};

using AsmfTaskCallback = void (*)(recv_info *);

extern AsmfHandler g_handler_id_tbl[ASMF_HANDLER_COUNT];
extern AsmfTaskList g_task_list[ASMF_TASK_TYPES];
extern std::atomic<int> g_task_init_flag;

int asmf_init_task_list(uint32_t type);
int asmf_exit_task_list();

int asmf_open_handle(const handle_alloc *alloc);
int asmf_close_handle(int handle);
int asmf_write_handle(int handle, const CompressInfo *info);
int asmf_read_handle(int handle, recv_info *info);
int asmf_get_handler_info(int handle, AsmfHandler *out);
int asmf_get_fileid_by_handle(int handle, uint8_t *fileId);

int asmf_do_compress_task(CompressInfo *info, recv_info *result);
int asmf_do_compress_task_async(CompressInfo *info, AsmfTaskCallback callback);

int asmf_add_task_type_tail(const TaskRec *task);
int asmf_take_task(uint32_t taskType, TaskRec *out);
uint32_t asmf_get_task_id(uint32_t tid);

// Reply ports issued since the start (the 64-bit counter).
uint64_t asmf_task_count();

#endif
