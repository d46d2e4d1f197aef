// The framework's side of the accelerator's resource driver: one descriptor
// shared by the process, one request per operation.
#ifndef QUORBIX_ASMF_ADAPTER_ASMF_RES_H
#define QUORBIX_ASMF_ADAPTER_ASMF_RES_H

#include <atomic>
#include <cstdint>

#include "bases/drv/asmf_drv.h"

// Descriptor of the resource node; negative when closed.
extern std::atomic<int> g_asmf_res_fd;

inline constexpr int ASMF_RES_ERR_OPEN = -4002;
inline constexpr int ASMF_RES_ERR_ARG = -1202;

int asmf_res_init();
int asmf_res_exit();

int asmf_enable_device(uint32_t id);
int asmf_disable_device(uint32_t id);
int asmf_inc_res_queue_depth(uint32_t res);
int asmf_dec_res_queue_depth(uint32_t res);
int asmf_dis_alloc_res(AsmfResAlloc *rec);
int asmf_dis_free_res(AsmfResFree *rec);
int asmf_res_valid(uint32_t res);
int asmf_get_device_list(AsmfDevList *list);
int asmf_get_device_state(AsmfDevState *rec);
int asmf_get_res_dev_by_res_id(AsmfDevRecord *rec);
int asmf_get_dev_by_dev_id(AsmfDevRecord *rec);
int asmf_get_related_dev_by_dev_id(AsmfDevRecord *rec);
int asmf_get_res_version(char *text);
int asmf_set_exc_pid(uint32_t pid);
int asmf_unset_exc_pid();
int asmf_dis_res_info();

// The entries of a device list that may be read: its count kept to 0-32.
int asmf_dev_list_count(const AsmfDevList *list);
// Cuts the name and node path at their field ends.
void asmf_dev_entry_terminate(AsmfDevEntry *dev);

int asmf_alloc_file_id_by_pid(uint32_t acceType, uint32_t cmdType, uint32_t pid, uint32_t tid);
int asmf_free_file_id_by_pid(uint32_t acceType, uint32_t cmdType, uint32_t fileId, uint32_t pid, uint32_t tid);
int asmf_alloc_file_id(uint32_t acceType, uint32_t cmdType);
int asmf_free_file_id(uint32_t acceType, uint32_t cmdType, uint32_t fileId);

#endif
