#include "asmf/task/asmf_task_rec.h"

#include <cstring>

#include "asmf/adapter/asmf_res.h"
#include "asmf/asmf_log.h"
#include "asmf/memory/asmf_mem.h"
#include "asmf/task/asmf_util.h"
#include "asmf/transeiver/asmf_transeiver.h"
#include "kelvo/kelvo.h"

#define TASK_ERR(fmt, ...) ASMF_LOG(ASMF_PRI_ERR, "task/asmf_task.c", "<asmf_task-ERR>", fmt __VA_OPT__(, ) __VA_ARGS__)
#define TASK_INFO(fmt, ...) ASMF_LOG(ASMF_PRI_INFO, "task/asmf_task.c", "<asmf_task-INFO>", fmt __VA_OPT__(, ) __VA_ARGS__)

namespace {

constexpr int kErrNull = -1001;
constexpr int kErrV2p = -1212;
constexpr int kErrUnsupported = -1215;
constexpr int kErrCmdType = -5012;
constexpr int kErrLevel = -5014;
constexpr int kErrForm = -5015;
constexpr int kErrDataType = -5016;
constexpr int kErrInput = -5018;
constexpr int kErrOutput = -5019;

constexpr uint32_t kStatusOther = 3;

int check_file_form(const CompressDataInfo *data)
{
    const char *path = data->inputPath;
    bool terminated = memchr(path, '\0', ASMF_PATH_LEN) != nullptr;
    if (terminated && asmf_is_file(path) == 1 && asmf_is_r_ok(path) == 1)
        return 0;
    TASK_ERR("call asmf_is_r_file and asmf_is_r_ok fail. inputfilepath=%.*s", static_cast<int>(ASMF_PATH_LEN - 1), path);
    return kErrInput;
}

int check_mem_form(const CompressMemInfo &mem)
{
    if (mem.ullInputIndexAddr == 0 || mem.input_size == 0) {
        TASK_ERR("invalid param. ullInputIndexAddr=0x%llx, input_size=0x%x",
                 static_cast<unsigned long long>(mem.ullInputIndexAddr), mem.input_size);
        return kErrInput;
    }
    if (mem.ucMemReuse == 1)
        return 0;
    if (mem.ucMemReuse != 0) {
        TASK_ERR("invalid param. ucMemReuse=%d", mem.ucMemReuse);
        return kErrOutput;
    }
    if (mem.ullOutputIndexAddr == 0 || mem.output_size == 0) {
        TASK_ERR("invalid param. ullOutputIndexAddr=0x%llx, output_size=0x%x",
                 static_cast<unsigned long long>(mem.ullOutputIndexAddr), mem.output_size);
        return kErrOutput;
    }
    return 0;
}

} // namespace

int asmf_check_compress_ctrl_info(const CompressCtrlInfo *ctrl)
{
    if (ctrl->ucCmdType >= 8) {
        TASK_ERR("invalid param. ucCmdType=%d", ctrl->ucCmdType);
        return kErrCmdType;
    }
    if (ctrl->ucCprsLevel >= 11) {
        TASK_ERR("invalid param. ucCprsLevel=%d", ctrl->ucCprsLevel);
        return kErrLevel;
    }
    if (ctrl->ucCprsForm != 0) {
        TASK_ERR("invalid param. ucCprsForm=%d", ctrl->ucCprsForm);
        return kErrForm;
    }
    return 0;
}

int asmf_check_compress_data_info(const CompressDataInfo *data)
{
    if (data->usDateType >= 2) {
        TASK_ERR("invalid param. usDateType=%d", data->usDateType);
        return kErrDataType;
    }
    return data->usDateType == 1 ? check_file_form(data) : check_mem_form(data->mem);
}

int asmf_check_compress_task_info(const CompressInfo *info)
{
    if (info == nullptr) {
        TASK_ERR("pstCompressInfo is NULL");
        return kErrNull;
    }
    if (int rc = asmf_check_compress_ctrl_info(&info->strCompressCtrlInfo)) {
        TASK_ERR("call asmf_check_compress_ctrl_info fail. ret=%d", rc);
        return rc;
    }
    if (int rc = asmf_check_compress_data_info(&info->strCompressDataInfo)) {
        TASK_ERR("call asmf_check_compress_data_info fail. ret=%d", rc);
        return rc;
    }
    return 0;
}

int asmf_translate_cmps_task(const CompressInfo *info, TaskRec *task, uint32_t port)
{
    if (info == nullptr || task == nullptr) {
        TASK_ERR("task is NULL.");
        return kErrNull;
    }
    const CompressCtrlInfo &ctrl = info->strCompressCtrlInfo;
    const CompressDataInfo &data = info->strCompressDataInfo;
    if (data.usDateType != 0) {
        TASK_ERR("Unsupported usDateType=%u.", data.usDateType);
        return kErrUnsupported;
    }
    FpgaTaskDesc &d = task->desc;
    memset_s(reinterpret_cast<uint8_t *>(&d) + offsetof(FpgaTaskDesc, function), sizeof d - offsetof(FpgaTaskDesc, function),
             0, sizeof d - offsetof(FpgaTaskDesc, function));
    const CompressMemInfo &mem = data.mem;
    uint64_t out = mem.ucMemReuse != 0 ? mem.ullInputIndexAddr : mem.ullOutputIndexAddr;
    uint32_t outLen = mem.ucMemReuse != 0 ? mem.input_size : mem.output_size;
    d.function = 0;
    d.cmdType = ctrl.ucCmdType;
    d.fileId = ctrl.fileId;
    d.segment = static_cast<uint16_t>(ctrl.ulTaskId >> 16);
    d.levForm = static_cast<uint8_t>((ctrl.ucCprsLevel & 0x0F) | (ctrl.ucCprsForm << 4));
    d.crc = ctrl.crc;
    d.flag = ctrl.ucFlag;
    TASK_INFO("fpga_msg->lev_form.level=%u.", static_cast<unsigned>(ctrl.ucCprsLevel & 0x0F));
    d.inAddr = asmf_v2p(mem.ullInputIndexAddr);
    bool laterDecompress = ctrl.ucCmdType == 1 && ctrl.ucFlag != 3 && d.segment != 0;
    if (d.inAddr == 0 && !laterDecompress) {
        TASK_ERR("call asmf_v2p fail.  ullInputKeyAddr=%ld.", static_cast<long>(mem.ullInputIndexAddr));
        return kErrV2p;
    }
    d.inLen = mem.input_size;
    d.outAddr = asmf_v2p(out);
    if (d.outAddr == 0) {
        TASK_ERR("call asmf_v2p fail.  ullOutputKeyAddr=%ld.", static_cast<long>(out));
        return kErrV2p;
    }
    d.outLen = outLen;
    d.totalLen = ctrl.totalLen;
    task->taskType = ctrl.ucCmdType & 1U;
    d.expires = info->expires != 0 ? info->expires : ASMF_DEFAULT_EXPIRES;
    d.taskPid = port;
    d.taskId = static_cast<uint8_t>(ctrl.ulTaskId & 0xFF);
    return 0;
}

void asmf_msg_to_recv_info(const ResultMsg &msg, recv_info *info)
{
    info->status = msg.status <= 2 ? msg.status : kStatusOther;
    info->err_no = msg.status == 0 ? msg.desc.errByte : msg.errNo;
    info->task_id = msg.desc.taskId;
    info->file_id = msg.desc.fileId;
    info->flags = msg.desc.flag;
    info->ret_low = msg.desc.ret46 & 0x0F;
    info->ret_crc = msg.desc.crc;
    info->cmd_segment = msg.desc.segment;
    info->ret_segment = msg.desc.retSegment;
    info->result_length = msg.desc.outLen;
}

int asmf_receive_cmps_msg(int sock, recv_info *info)
{
    if (info == nullptr) {
        TASK_ERR("hook_info(0x%p) is NULL", static_cast<void *>(info));
        return kErrNull;
    }
    *info = recv_info{};
    ResultMsg msg{};
    int rc = asmf_recv_from_sock(sock, 0, &msg, sizeof msg);
    if (rc != 0) {
        TASK_ERR("call asmf_receive_from_kernel fail. ret=%d", rc);
        info->status = 2;
        info->err_no = ASMF_TASK_ERR_RECV;
        return rc;
    }
    asmf_msg_to_recv_info(msg, info);
    if (info->err_no != 0) {
        TASK_ERR("task has been dropped status(%d), task_index(%u), function(0x%x), err_no(0x%x)!",
                 static_cast<int>(info->status), msg.desc.taskIndex & 0xFF, msg.desc.function, info->err_no);
        TASK_ERR("task_id(0x%x),file_id(0x%x),flags(0x%x),err_no(0x%x),", info->task_id, info->file_id, info->flags,
                 info->err_no);
        TASK_ERR("ret_crc(0x%x),cmd_segment(0x%x),ret_segment(0x%x),result_len(0x%x)", info->ret_crc,
                 info->cmd_segment, info->ret_segment, info->result_length);
    }
    AsmfResFree req{msg.desc.function, msg.desc.resIndex, msg.desc.resId, msg.desc.pid, msg.desc.tid};
    rc = asmf_dis_free_res(&req);
    if (rc == -1) {
        TASK_ERR("call asmf_dis_free_res fail. ret=%d", rc);
        info->status = 2;
        info->err_no = ASMF_TASK_ERR_FREE;
        return rc;
    }
    return 0;
}
