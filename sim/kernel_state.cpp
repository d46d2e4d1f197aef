// The kernel's state, its lock, the journal, faults and registrations.
#include <algorithm>
#include <cerrno>

#include "sim/kernel.h"
#include "sim/sim_sched.h"

namespace simk {

Kernel &kernel()
{
    static Kernel *state = new Kernel;  // outlives every static destructor
    return *state;
}

void lock()
{
    KernelLock &l = kernel().lock;
    if (l.owner.load() == std::this_thread::get_id()) {
        l.depth++;
        return;
    }
    l.mutex.lock();
    l.owner.store(std::this_thread::get_id());
    l.depth = 1;
}

void unlock()
{
    KernelLock &l = kernel().lock;
    if (--l.depth > 0)
        return;
    l.owner.store(std::thread::id{});
    l.mutex.unlock();
}

bool journal_on() { return kernel().journalOn; }

void journal_push(SimJournalEntry &&entry)
{
    Kernel &k = kernel();
    if (!k.journalOn)
        return;
    k.journal.push_back(std::move(entry));
    // Trim in halves so a bounded journal costs O(1) per entry.
    if (k.journalLimit != 0 && k.journal.size() >= 2 * k.journalLimit)
        k.journal.erase(k.journal.begin(), k.journal.end() - static_cast<std::ptrdiff_t>(k.journalLimit));
}

SimFault *matching_fault(SimFaultOp op, const std::string &node, unsigned long request, const void *arg)
{
    for (SimFault &f : kernel().faults) {
        if (f.op != op || (!f.node.empty() && f.node != node))
            continue;
        if (f.request != 0 && f.request != request)
            continue;
        if (f.match && !f.match(arg))
            continue;
        f.seen++;
        if (f.nth == 0 || f.nth == f.seen)
            return &f;
    }
    return nullptr;
}

int op_fault(SimFaultOp op, const std::string &node)
{
    SimFault *f = matching_fault(op, node, 0, nullptr);
    return f && f->err != 0 ? -f->err : 0;
}

namespace {

template <typename Key>
void put(std::vector<std::pair<Key, Registration>> &table, const Key &key, Registration reg)
{
    kernel().nodePaths.clear();
    for (auto &[k, r] : table)
        if (k == key) {
            r = reg;
            return;
        }
    table.emplace_back(key, reg);
}

std::string canonical_or_raw(const std::string &path)
{
    std::string out;
    return canonicalise(path.c_str(), true, out) == 0 ? out : path;
}

// ---- the older model form over file operations --------------------------------------

const SimModel *model_of(const SimFile &file) { return reinterpret_cast<const ModelAdapter *>(file.ops)->model; }

int model_open(SimFile &file)
{
    file.priv = new SimOpen{file.path, file.ctx, file.flags, 0};
    return 0;
}

void model_release(SimFile &file) { delete static_cast<SimOpen *>(file.priv); }

// An older model reports failure as -1 with errno (or as -errno).
ssize_t model_result(ssize_t r)
{
    if (r == -1 && errno > 0)
        return -errno;
    return r < 0 && r != -1 ? r : (r < 0 ? -EIO : r);
}

ssize_t model_read(SimFile &file, void *buf, size_t count)
{
    auto *open = static_cast<SimOpen *>(file.priv);
    open->pos = file.pos;
    errno = 0;
    ssize_t r = model_result(model_of(file)->read(*open, buf, count));
    file.pos = open->pos;
    return r;
}

ssize_t model_write(SimFile &file, const void *buf, size_t count)
{
    auto *open = static_cast<SimOpen *>(file.priv);
    open->pos = file.pos;
    errno = 0;
    ssize_t r = model_result(model_of(file)->write(*open, buf, count));
    file.pos = open->pos;
    return r;
}

int model_mmap(SimFile &file, SimMapRequest &map)
{
    auto *open = static_cast<SimOpen *>(file.priv);
    errno = 0;
    map.addr = model_of(file)->mmap(*open, map.length, map.offset);
    return map.addr ? 0 : (errno > 0 ? -errno : -ENODEV);
}

} // namespace

} // namespace simk

using namespace simk;

void sim_attach(SimJournalEntry &entry, const std::string &name, const void *data, size_t size)
{
    const auto *bytes = static_cast<const uint8_t *>(data);
    entry.attachments.push_back(SimAttachment{name, std::vector<uint8_t>(bytes, bytes + (data ? size : 0))});
}

void sim_journal_attach(const std::string &name, const void *data, size_t size)
{
    Guard g;
    Kernel &k = kernel();
    if (k.current)
        sim_attach(*k.current, name, data, size);
    else if (!k.journal.empty())
        sim_attach(k.journal.back(), name, data, size);
}

const SimAttachment *sim_attachment(const SimJournalEntry &entry, const std::string &name)
{
    for (const SimAttachment &a : entry.attachments)
        if (a.name == name)
            return &a;
    return nullptr;
}

const std::vector<SimJournalEntry> &sim_journal()
{
    Guard g;
    Kernel &k = kernel();
    if (k.journalLimit != 0 && k.journal.size() > k.journalLimit)
        k.journal.erase(k.journal.begin(), k.journal.end() - static_cast<std::ptrdiff_t>(k.journalLimit));
    return k.journal;
}

std::vector<SimJournalEntry> sim_journal_of(SimEvent kind, std::string_view node, unsigned long request)
{
    Guard g;
    std::vector<SimJournalEntry> out;
    for (const SimJournalEntry &e : sim_journal())
        if (e.kind == kind && (node.empty() || e.node == node) && (request == 0 || e.request == request))
            out.push_back(e);
    return out;
}

void sim_clear_journal()
{
    Guard g;
    kernel().journal.clear();
}

void sim_journal_limit(size_t entries)
{
    Guard g;
    kernel().journalLimit = entries;
}

void sim_journal_enable(bool on)
{
    Guard g;
    kernel().journalOn = on;
}

void sim_register_file(const std::string &path, const SimFileOps *ops, void *ctx)
{
    Guard g;
    put(kernel().files, canonical_or_raw(path), Registration{ops, ctx});
}

void sim_register_pattern(const std::string &pattern, const SimFileOps *ops, void *ctx)
{
    Guard g;
    put(kernel().patterns, pattern, Registration{ops, ctx});
}

void sim_register_socket(int family, int protocol, const SimFileOps *ops, void *ctx)
{
    Guard g;
    put(kernel().sockets, std::make_pair(family, protocol), Registration{ops, ctx});
}

void sim_unregister_socket(int family, int protocol)
{
    Guard g;
    auto &t = kernel().sockets;
    std::erase_if(t, [&](const auto &e) { return e.first == std::make_pair(family, protocol); });
}

void sim_register_node(const std::string &node, const SimModel *model, void *ctx)
{
    Guard g;
    auto adapter = std::make_unique<ModelAdapter>();
    adapter->model = model;
    adapter->ops = SimFileOps{};
    adapter->ops.name = model->name;
    adapter->ops.open = model_open;
    adapter->ops.release = model_release;
    adapter->ops.read = model->read ? model_read : nullptr;
    adapter->ops.write = model->write ? model_write : nullptr;
    adapter->ops.requests = model->requests;
    adapter->ops.requestCount = model->requestCount;
    adapter->ops.mmap = model->mmap ? model_mmap : nullptr;
    put(kernel().files, canonical_or_raw(node), Registration{&adapter->ops, ctx});
    kernel().adapters.push_back(std::move(adapter));
}

void sim_remove_node(const std::string &node)
{
    Guard g;
    std::string canon = canonical_or_raw(node);
    kernel().nodePaths.clear();
    std::erase_if(kernel().files, [&](const auto &e) { return e.first == canon; });
    std::erase_if(kernel().patterns, [&](const auto &e) { return e.first == node; });
}

bool sim_node_present(const std::string &node)
{
    Guard g;
    return lookup(canonical_or_raw(node)) != nullptr;
}

void sim_file_notify() { sched_notify(); }

namespace {

// Lets go of the kernel lock for a wait and takes it back, even when the
// wait ends by unwinding.
struct LockRelease {
    int depth = 0;
    LockRelease()
    {
        KernelLock &l = kernel().lock;
        if (l.owner.load() != std::this_thread::get_id())
            return;
        depth = l.depth;
        l.depth = 1;
        unlock();
    }
    ~LockRelease()
    {
        if (depth == 0)
            return;
        lock();
        kernel().lock.depth = depth;
    }
    LockRelease(const LockRelease &) = delete;
    LockRelease &operator=(const LockRelease &) = delete;
};

} // namespace

bool sim_kernel_wait(const std::function<bool()> &ready, int64_t timeout_ns)
{
    LockRelease release;
    return sched_block(ready, timeout_ns);
}

void sim_kernel_lock() { lock(); }
void sim_kernel_unlock() { unlock(); }

void sim_request_cost_ns(uint64_t ns)
{
    Guard g;
    kernel().requestCostNs = ns;
}

void sim_fail_open(const std::string &path, int err)
{
    Guard g;
    kernel().openFaults.emplace_back(canonical_or_raw(path), err);
}

void sim_fail_request(const std::string &node, unsigned long request, int err, unsigned nth)
{
    SimFault f;
    f.node = node;
    f.request = request;
    f.err = err;
    f.nth = nth;
    sim_add_fault(std::move(f));
}

void sim_request_result(const std::string &node, unsigned long request, int result, unsigned nth)
{
    SimFault f;
    f.node = node;
    f.request = request;
    f.result = result;
    f.nth = nth;
    sim_add_fault(std::move(f));
}

void sim_fail_op(SimFaultOp op, const std::string &node, int err, unsigned nth)
{
    SimFault f;
    f.op = op;
    f.node = node;
    f.err = err;
    f.nth = nth;
    sim_add_fault(std::move(f));
}

void sim_add_fault(SimFault fault)
{
    Guard g;
    kernel().faults.push_back(std::move(fault));
}

void sim_clear_faults()
{
    Guard g;
    kernel().faults.clear();
    kernel().openFaults.clear();
}
