// The compression task framework; rules in asmf_task.h.
#include "asmf/task/asmf_task.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sys/select.h>

#include "asmf/adapter/asmf_adapter.h"
#include "asmf/adapter/asmf_res.h"
#include "asmf/asmf_log.h"
#include "asmf/memory/asmf_mem.h"
#include "asmf/transeiver/asmf_transeiver.h"
#include "bases/globals/globals.h"
#include "kelvo/kelvo.h"

#define TASK_ERR(fmt, ...) ASMF_LOG(ASMF_PRI_ERR, "task/asmf_task.c", "<asmf_task-ERR>", fmt __VA_OPT__(, ) __VA_ARGS__)
#define TASK_INFO(fmt, ...) ASMF_LOG(ASMF_PRI_INFO, "task/asmf_task.c", "<asmf_task-INFO>", fmt __VA_OPT__(, ) __VA_ARGS__)
#define TASK_DBG(fmt, ...) ASMF_LOG(ASMF_PRI_DBG, "task/asmf_task.c", "<asmf_task-DBG>", fmt __VA_OPT__(, ) __VA_ARGS__)

AsmfHandler g_handler_id_tbl[ASMF_HANDLER_COUNT];
AsmfTaskList g_task_list[ASMF_TASK_TYPES];
std::atomic<int> g_task_init_flag{0};

namespace {

constexpr int kErrNull = -1001;
constexpr int kErrDevType = -1002;
constexpr uint32_t kResNone = 0xFFFFFFFFu;

std::mutex g_handler_id_mutex;

struct TaskStatistics {
    uint16_t count16;
    uint64_t count64;
};
TaskStatistics g_task_statistics;
std::mutex g_task_statistics_mutex;

// ---- handle table ---------------------------------------------------------------------------

bool handler_in_range(int h)
{
    if (h >= 0 && h < ASMF_HANDLER_COUNT)
        return true;
    TASK_ERR("handler_id[%d] is not between %d~%d", h, 0, ASMF_HANDLER_COUNT);
    return false;
}

int alloc_handler(const AsmfHandler &data)
{
    std::lock_guard lk(g_handler_id_mutex);
    for (int i = 0; i < ASMF_HANDLER_COUNT; i++) {
        if (g_handler_id_tbl[i].magic == ASMF_HANDLER_MAGIC)
            continue;
        g_handler_id_tbl[i] = data;
        g_handler_id_tbl[i].magic = ASMF_HANDLER_MAGIC;
        g_handler_id_tbl[i].refer = 0;
        return i;
    }
    return ASMF_ERR_TABLE_FULL;
}

// How a look-up names a handle that is not in use.
enum class Unused { refree, notUsed, refer };

// The entry of a handle in use, or its status: `outRange` out of range,
// `unused` when free.
int find_handler(int h, int outRange, int unused, Unused line, AsmfHandler *out)
{
    if (!handler_in_range(h))
        return outRange;
    if (g_handler_id_tbl[h].magic != ASMF_HANDLER_MAGIC) {
        if (line == Unused::refree)
            TASK_ERR("handler_id[%d] is refree err", h);
        else if (line == Unused::notUsed)
            TASK_ERR("handler_id[%d] is not used err", h);
        else
            TASK_ERR("handler_id[%d] is refer err", h);
        return unused;
    }
    *out = g_handler_id_tbl[h];
    return 0;
}

int free_handler(int h, AsmfHandler *out)
{
    std::lock_guard lk(g_handler_id_mutex);
    if (int rc = find_handler(h, ASMF_ERR_HANDLE_RANGE, ASMF_ERR_REFREE, Unused::refree, out))
        return rc;
    if (out->refer != 0)
        TASK_ERR("handler_id(%d), refer_cont(%d)is not zero. force free it", h, static_cast<int>(out->refer));
    g_handler_id_tbl[h].magic = 0;
    return 0;
}

int refer_handler(int h, AsmfHandler *out, int delta)
{
    std::lock_guard lk(g_handler_id_mutex);
    if (int rc = find_handler(h, ASMF_ERR_HANDLE_OPEN, ASMF_ERR_HANDLE_OPEN, Unused::notUsed, out))
        return rc;
    g_handler_id_tbl[h].refer += static_cast<uint32_t>(delta);
    return 0;
}

void unrefer_handler(int h)
{
    AsmfHandler ignored{};
    refer_handler(h, &ignored, -1);
}

void give_back(const AsmfHandler &e)
{
    if (e.sock >= 0)
        host().close(e.sock);
    if (e.fileId < ASMF_NO_FILE_ID)
        asmf_free_file_id_by_pid(e.type, e.cmdType, e.fileId, e.pid, e.tid);
}

// ---- task lists ------------------------------------------------------------------------------

void list_lock(AsmfTaskList &l) { host().sem_wait(&l.sem); }
void list_unlock(AsmfTaskList &l) { host().sem_post(&l.sem); }

void unlink_node(TaskRec *n)
{
    n->prev->next = n->next;
    n->next->prev = n->prev;
}

// A framework notice: status 2 and the error number, sent to the task's port.
void send_notice(const FpgaTaskDesc &desc, uint32_t err)
{
    ResultMsg m{};
    m.status = 2;
    m.errNo = err;
    m.desc.resId = kResNone;
    asmf_send_msg(desc.taskPid, &m, sizeof m);
}

bool worker_runs(const AsmfTaskList &l) { return l.worker.load() != 0; }

// Types 2 and 3: the framework copies input to output itself.
void plain_copy(const FpgaTaskDesc &d)
{
    void *in = reinterpret_cast<void *>(asmf_p2v(d.inAddr));
    void *out = reinterpret_cast<void *>(asmf_p2v(d.outAddr));
    if (in == nullptr || out == nullptr) {
        TASK_ERR("usr loop fail. original_addr(p=0x%llx:v=%p) or result_addr(p=0x%llx:v=%p) p2v err!",
                 static_cast<unsigned long long>(d.inAddr), in, static_cast<unsigned long long>(d.outAddr), out);
        send_notice(d, ASMF_TASK_ERR_SEND);
        return;
    }
    uint32_t len = std::min(d.inLen, d.outLen);
    std::unique_ptr<uint8_t, decltype(&free)> buf(static_cast<uint8_t *>(malloc(std::max(len, 1U))), free);
    int rc = -1;
    if (buf == nullptr)
        TASK_ERR("malloc(%u) fial!", len);
    else if ((rc = asmf_mem_cpy2usr(buf.get(), in, len)) != 0)
        TASK_ERR("call asmf_mem_cpy2usr(0x%p,0x%p,%u) fial!ret(%d).", static_cast<void *>(buf.get()), in, len, rc);
    else if ((rc = asmf_mem_cpy2asmf(out, buf.get(), len)) != 0)
        TASK_ERR("call asmf_mem_cpy2asmf(0x%p,0x%p,%u) fial!ret(%d).", out, static_cast<void *>(buf.get()), len, rc);
    send_notice(d, rc == 0 ? 0U : uint32_t{ASMF_TASK_ERR_SEND});
}

// Gives back a resource the card never heard of (no answer will name it).
void free_unused_res(const AsmfResAlloc &res)
{
    AsmfResFree f{res.function, res.resIndex, res.resId, res.pid, res.tid};
    asmf_dis_free_res(&f);
}

void wait_10ms()
{
    timeval tv{0, 10000};
    host().select(0, nullptr, nullptr, nullptr, &tv);
}

// Tries `expires` x 100 times, 10 ms apart; the failed tries, or -1 when
// none succeeded.
int64_t alloc_res(const AsmfTaskList &l, AsmfResAlloc &res, uint32_t expires)
{
    const uint64_t tries = uint64_t{expires} * 100;
    for (uint64_t k = 0; k < tries && worker_runs(l); k++) {
        if (asmf_dis_alloc_res(&res) == 0)
            return static_cast<int64_t>(k);
        wait_10ms();
        TASK_DBG("wait for res func_type(%u)", res.function);
    }
    return -1;
}

void card_task(AsmfTaskList &l, TaskRec &t, AsmfResAlloc &res)
{
    FpgaTaskDesc &d = t.desc;
    res.function = 0;
    res.resIndexAsked = t.taskType;
    res.pid = d.pid;
    res.tid = d.tid;
    int64_t failed = alloc_res(l, res, d.expires);
    if (failed < 0) {
        if (!worker_runs(l)) {
            TASK_DBG("func_type(%u), cancel task_pid(0x%x)!", res.function, d.taskPid);
            return send_notice(d, ASMF_TASK_ERR_CANCEL);
        }
        TASK_ERR("can not alloc res func_type(%u)", res.function);
        return send_notice(d, ASMF_TASK_ERR_NO_RES);
    }
    d.expires -= static_cast<uint32_t>(failed / 100);
    d.resId = res.resId;
    d.resIndex = res.resIndex;
    const AsmfDevEntry &dev = res.dev.dev;
    if (dev.devType != 0) {
        TASK_ERR("unkonw device[%d] type %d.", kErrDevType, static_cast<int>(dev.devType));
        free_unused_res(res);
        return send_notice(d, ASMF_TASK_ERR_DEV_TYPE);
    }
    if (asmf_fpga_sent_task(dev.path, &d, dev.letter) != 0) {
        free_unused_res(res);
        send_notice(d, ASMF_TASK_ERR_SEND);
    }
}

void run_task(AsmfTaskList &l, TaskRec &t, AsmfResAlloc &res)
{
    if ((t.desc.cmdType & 6) == 2)
        return plain_copy(t.desc);
    if (t.taskType > 1)
        return send_notice(t.desc, ASMF_TASK_ERR_TASK_TYPE);
    card_task(l, t, res);
}

// Threads start only once initialisation has released the list.
void start_gate(AsmfTaskList &l)
{
    list_lock(l);
    list_unlock(l);
}

uint32_t list_type(const AsmfTaskList *l) { return static_cast<uint32_t>(l - g_task_list); }

void *asmf_process_task_thread(void *arg)
{
    auto &l = *static_cast<AsmfTaskList *>(arg);
    start_gate(l);
    auto res = std::make_unique<AsmfResAlloc>();
    TaskRec t;
    while (worker_runs(l)) {
        if (asmf_take_task(list_type(&l), &t) != 0)
            host().usleep(1000);
        else
            run_task(l, t, *res);
    }
    while (asmf_take_task(list_type(&l), &t) == 0) {
        TASK_DBG("func_type(%u), cancel task_pid(0x%x)!", 0U, t.desc.taskPid);
        send_notice(t.desc, ASMF_TASK_ERR_CANCEL);
    }
    return nullptr;
}

void age_list(AsmfTaskList &l)
{
    list_lock(l);
    for (TaskRec *n = l.head.next; n != &l.head && l.timeout.load() != 0;) {
        TaskRec *next = n->next;
        FpgaTaskDesc &d = n->desc;
        if (--d.expires != 0) {
            TASK_DBG(" XX task_pid=%d, expires=%d cmd_seg= %d\n", static_cast<int>(d.taskPid),
                     static_cast<int>(d.expires), d.segment);
        } else {
            TASK_ERR("task_pid=%d timeout[%d] cmd_seg= %d\n", static_cast<int>(d.taskPid), static_cast<int>(d.expires),
                     d.segment);
            unlink_node(n);
            send_notice(d, ASMF_TASK_ERR_QUEUE_TIMEOUT);
            delete n;
        }
        n = next;
    }
    list_unlock(l);
}

void *asmf_process_timeout_thread(void *arg)
{
    auto &l = *static_cast<AsmfTaskList *>(arg);
    start_gate(l);
    while (l.timeout.load() != 0) {
        host().sleep(1);
        age_list(l);
    }
    return nullptr;
}

using ThreadFn = void *(*)(void *);
constexpr ThreadFn g_task_thd[ASMF_TASK_TYPES] = {asmf_process_task_thread, asmf_process_task_thread};
constexpr ThreadFn g_task_timeout_thd[ASMF_TASK_TYPES] = {asmf_process_timeout_thread, asmf_process_timeout_thread};

// Clears the four words, then joins the threads they named.
void stop_threads()
{
    pthread_t ids[ASMF_TASK_TYPES * 2];
    for (int i = 0; i < ASMF_TASK_TYPES; i++) {
        ids[2 * i] = g_task_list[i].worker.exchange(0);
        ids[2 * i + 1] = g_task_list[i].timeout.exchange(0);
    }
    for (pthread_t id : ids)
        if (id != 0)
            host().pthread_join(id, nullptr);
}

void free_lists()
{
    for (AsmfTaskList &l : g_task_list) {
        while (l.head.next != nullptr && l.head.next != &l.head) {
            TaskRec *n = l.head.next;
            unlink_node(n);
            delete n;
        }
        sem_destroy(&l.sem);
        l.head.next = l.head.prev = nullptr;
    }
}

int start_thread(int i, std::atomic<pthread_t> &word, ThreadFn fn)
{
    if (word.load() != 0)
        return 0;
    pthread_t id{};
    int rc = host().pthread_create(&id, nullptr, fn, &g_task_list[i]);
    if (rc != 0) {
        TASK_ERR("call pthread_create fail! index=%d, ret=%d", i, rc);
        return rc;
    }
    word = id;
    return 0;
}

// ---- waiter of an asynchronous request -------------------------------------------------------

struct Waiter {
    int sock;
    AsmfTaskCallback callback;
    sem_t start;
    bool cancel;
    recv_info result;
};

void *asmf_wait_result(void *arg)
{
    auto *w = static_cast<Waiter *>(arg);
    host().sem_wait(&w->start);
    if (w->cancel)
        return nullptr;
    std::unique_ptr<Waiter> own(w);
    struct Closer {
        Waiter &w;
        ~Closer() { host().close(w.sock); sem_destroy(&w.start); }
    } closer{*own};
    if (int rc = asmf_receive_cmps_msg(own->sock, &own->result); rc != 0) {
        TASK_ERR("call asmf_receive_cmps_msg fail. ret=%d", rc);
        own->result.status = 2;
        own->result.err_no = ASMF_TASK_ERR_RECV;
    }
    own->callback(&own->result);
    return nullptr;
}

// Checks, socket and translation shared by both handle-less requests.
int prepare_request(const CompressInfo *info, TaskRec *task, int *sock)
{
    if (info->strCompressDataInfo.usDateType != 0) {
        TASK_ERR("unsupport file. ret=%d", ASMF_ERR_UNSUPPORTED);
        return ASMF_ERR_UNSUPPORTED;
    }
    *task = TaskRec{};
    uint32_t port = asmf_get_task_id(static_cast<uint32_t>(asmf_gettid()));
    *sock = asmf_create_sock(port);
    if (*sock < 0) {
        TASK_ERR("call asmf_create_sock fail. fd=%d", *sock);
        return *sock;
    }
    if (int rc = asmf_translate_cmps_task(info, task, port)) {
        host().close(*sock);
        TASK_ERR("call asmf_translate_cmps_task fail. ret=%d", rc);
        return rc;
    }
    return 0;
}

} // namespace

// ---- lists -------------------------------------------------------------------------------------

int asmf_add_task_type_tail(const TaskRec *task)
{
    if (task == nullptr) {
        TASK_ERR("task is NULL.");
        return kErrNull;
    }
    if (task->taskType > 1) {
        TASK_ERR("task_type(%d), unsupported!", static_cast<int>(task->taskType));
        return ASMF_ERR_TASK_TYPE;
    }
    auto *n = new (std::nothrow) TaskRec(*task);
    if (n == nullptr) {
        TASK_ERR("call malloc fail.");
        return kErrNull;
    }
    AsmfTaskList &l = g_task_list[task->taskType];
    list_lock(l);
    n->next = &l.head;
    n->prev = l.head.prev;
    l.head.prev->next = n;
    l.head.prev = n;
    list_unlock(l);
    return 0;
}

int asmf_take_task(uint32_t taskType, TaskRec *out)
{
    AsmfTaskList &l = g_task_list[taskType];
    list_lock(l);
    TaskRec *n = l.head.next;
    if (n == &l.head) {
        list_unlock(l);
        return ASMF_ERR_LIST_EMPTY;
    }
    unlink_node(n);
    list_unlock(l);
    *out = *n;
    delete n;
    return 0;
}

uint32_t asmf_get_task_id(uint32_t tid)
{
    {
        std::lock_guard lk(g_task_statistics_mutex);
        g_task_statistics.count16++;
        g_task_statistics.count64++;
    }
    TASK_INFO("pid(%d)  task_id(0x%x)!", static_cast<int>(host().getpid()), tid);
    return tid;
}

uint64_t asmf_task_count()
{
    std::lock_guard lk(g_task_statistics_mutex);
    return g_task_statistics.count64;
}

// ---- life --------------------------------------------------------------------------------------

int asmf_init_task_list(uint32_t)
{
    if (g_task_init_flag.load() == 1) {
        TASK_DBG("repeat call asmf_init_task_list.\n");
        return 0;
    }
    for (AsmfTaskList &l : g_task_list) {
        sem_init(&l.sem, 0, 0);
        l.head.next = l.head.prev = &l.head;
    }
    int rc = 0;
    for (int i = 0; i < ASMF_TASK_TYPES && rc == 0; i++) {
        rc = start_thread(i, g_task_list[i].worker, g_task_thd[i]);
        if (rc == 0)
            rc = start_thread(i, g_task_list[i].timeout, g_task_timeout_thd[i]);
    }
    for (AsmfTaskList &l : g_task_list)
        list_unlock(l);
    if (rc != 0) {
        stop_threads();
        free_lists();
        return rc;
    }
    std::lock_guard lk(g_handler_id_mutex);
    std::fill(std::begin(g_handler_id_tbl), std::end(g_handler_id_tbl), AsmfHandler{});
    g_task_init_flag = 1;
    return 0;
}

int asmf_exit_task_list()
{
    if (g_task_init_flag.load() == 0) {
        TASK_ERR("task not inited yet.");
        return 0;
    }
    stop_threads();
    free_lists();
    g_task_init_flag = 0;
    return 0;
}

// ---- handles -----------------------------------------------------------------------------------

int asmf_open_handle(const handle_alloc *alloc)
{
    if (g_task_init_flag.load() != 1) {
        TASK_ERR("task not init.\n");
        return ASMF_ERR_NOT_INIT;
    }
    if (alloc->type != 0 || alloc->ucCmdType >= 2) {
        TASK_ERR("Unsupoort type(%u), ucCmdType(%u)", alloc->type, alloc->ucCmdType);
        return ASMF_ERR_UNSUPPORTED;
    }
    AsmfHandler e{0, 0, alloc->pid, alloc->tid, alloc->type, alloc->ucCmdType, ASMF_NO_FILE_ID, -1, 0};
    int rc = 0;
    if (alloc->fileIdReq < ASMF_NO_FILE_ID) {
        e.fileId = static_cast<uint8_t>(asmf_alloc_file_id_by_pid(e.type, e.cmdType, e.pid, e.tid));
        if (e.fileId == ASMF_NO_FILE_ID) {
            TASK_ERR("call asmf_alloc_file_id_by_pid err(%u))", e.fileId);
            rc = -1;
        }
    }
    if (rc == 0) {
        e.port = asmf_get_task_id(e.tid);
        e.sock = asmf_create_sock(e.port);
        if (e.sock < 0) {
            TASK_ERR("call asmf_create_sock fail. fd=%d", e.sock);
            rc = -1;
        }
    }
    if (rc == 0 && (rc = alloc_handler(e)) < 0)
        TASK_ERR("call asmf_alloc_handler fail. ret=%d\n", rc);
    if (rc >= 0)
        return rc;
    give_back(e);
    return ASMF_ERR_HANDLE_OPEN;
}

int asmf_close_handle(int handle)
{
    if (g_task_init_flag.load() != 1)
        return ASMF_ERR_NOT_INIT;
    AsmfHandler e{};
    if (int rc = free_handler(handle, &e)) {
        TASK_ERR("get handler err(%d).\n", rc);
        return rc;
    }
    give_back(e);
    return 0;
}

int asmf_get_handler_info(int handle, AsmfHandler *out)
{
    std::lock_guard lk(g_handler_id_mutex);
    return find_handler(handle, ASMF_ERR_HANDLE_RANGE, ASMF_ERR_REFREE, Unused::refree, out);
}

int asmf_get_fileid_by_handle(int handle, uint8_t *fileId)
{
    AsmfHandler e{};
    std::lock_guard lk(g_handler_id_mutex);
    int rc = find_handler(handle, ASMF_ERR_HANDLE_RANGE, ASMF_ERR_REFREE, Unused::refer, &e);
    if (rc == 0)
        *fileId = e.fileId;
    return rc;
}

namespace {

int queue_on_handle(const AsmfHandler &e, const CompressInfo *info)
{
    if (e.cmdType != (info->strCompressCtrlInfo.ucCmdType & 1)) {
        TASK_ERR("Unsupoort ctrl.ucCmdType(%u) and info.ucCmdType(%u)", e.cmdType, info->strCompressCtrlInfo.ucCmdType);
        return ASMF_ERR_UNSUPPORTED;
    }
    auto req = std::make_unique<CompressInfo>(*info);
    req->strCompressCtrlInfo.fileId = e.fileId;
    TaskRec task{};
    if (int rc = asmf_translate_cmps_task(req.get(), &task, e.port)) {
        TASK_ERR("call asmf_translate_cmps_task fail. ret=%d", rc);
        return rc;
    }
    task.desc.pid = e.pid;
    task.desc.tid = e.tid;
    TASK_INFO("task.data.info.pid = %d task.data.info.tid = %d", static_cast<int>(e.pid), static_cast<int>(e.tid));
    int rc = asmf_add_task_type_tail(&task);
    if (rc != 0)
        TASK_ERR("call asmf_add_task_type_tail fail.\n");
    return rc;
}

} // namespace

int asmf_write_handle(int handle, const CompressInfo *info)
{
    if (g_task_init_flag.load() != 1)
        return ASMF_ERR_NOT_INIT;
    AsmfHandler e{};
    if (int rc = refer_handler(handle, &e, 1)) {
        TASK_ERR("get handler err(%d).\n", rc);
        return rc;
    }
    TASK_INFO("asmf_refer_handler. pid = %d tid = %d", static_cast<int>(e.pid), static_cast<int>(e.tid));
    int rc = queue_on_handle(e, info);
    unrefer_handler(handle);
    return rc;
}

int asmf_read_handle(int handle, recv_info *info)
{
    if (g_task_init_flag.load() != 1)
        return ASMF_ERR_NOT_INIT;
    AsmfHandler e{};
    if (int rc = refer_handler(handle, &e, 1)) {
        TASK_ERR("get handler err(%d).\n", rc);
        return rc;
    }
    *info = recv_info{};
    int rc = asmf_receive_cmps_msg(e.sock, info);
    if (rc != 0)
        TASK_ERR("call asmf_receive_cmps_msg fail. ret=%d", rc);
    else if (info->err_no != 0)
        TASK_ERR("status(0x%x) err_no=(0x%x)", info->status, info->err_no);
    unrefer_handler(handle);
    return rc;
}

// ---- requests without a handle -----------------------------------------------------------------

int asmf_do_compress_task(CompressInfo *info, recv_info *result)
{
    TaskRec task;
    int sock = -1;
    *result = recv_info{};
    if (int rc = prepare_request(info, &task, &sock))
        return rc;
    if (int rc = asmf_add_task_type_tail(&task)) {
        host().close(sock);
        TASK_ERR("call asmf_add_task_type_tail fail.\n");
        return rc;
    }
    int rc = asmf_receive_cmps_msg(sock, result);
    host().close(sock);
    if (rc != 0) {
        TASK_ERR("call asmf_receive_cmps_msg fail. ret=%d", rc);
        return rc;
    }
    info->strCompressDataInfo.mem.output_size = result->result_length;
    if (result->err_no != 0) {
        TASK_ERR("status(0x%x) err_no=(0x%x)", result->status, result->err_no);
        return ASMF_ERR_SYNC_TASK;
    }
    return 0;
}

int asmf_do_compress_task_async(CompressInfo *info, AsmfTaskCallback callback)
{
    TaskRec task;
    int sock = -1;
    if (int rc = prepare_request(info, &task, &sock))
        return rc;
    auto *w = new (std::nothrow) Waiter{sock, callback, {}, false, {}};
    if (w == nullptr) {
        host().close(sock);
        TASK_ERR("call malloc fail.");
        return kErrNull;
    }
    sem_init(&w->start, 0, 0);
    pthread_t id{};
    int rc = host().pthread_create(&id, nullptr, asmf_wait_result, w);
    if (rc != 0) {
        TASK_ERR("call pthread_create fail. ret=%d", rc);
    } else if ((rc = asmf_add_task_type_tail(&task)) != 0) {
        w->cancel = true;
        host().sem_post(&w->start);
        host().pthread_join(id, nullptr);
        TASK_ERR("call asmf_add_task_type_tail fail.\n");
    } else {
        host().sem_post(&w->start);
        host().pthread_detach(id);
        return 0;
    }
    sem_destroy(&w->start);
    delete w;
    host().close(sock);
    return rc;
}

GLOBALS_RESET(asmf_task)
{
    // A run that ended left the framework's threads ended at their waits.
    for (AsmfTaskList &l : g_task_list) {
        l.worker = 0;
        l.timeout = 0;
    }
    if (g_task_init_flag.exchange(0) == 1)
        free_lists();
    std::fill(std::begin(g_handler_id_tbl), std::end(g_handler_id_tbl), AsmfHandler{});
    std::lock_guard lk(g_task_statistics_mutex);
    g_task_statistics = TaskStatistics{};
}
