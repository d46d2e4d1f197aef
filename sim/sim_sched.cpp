// The simulated board's scheduler; the rules are in sim_sched.h.
#include "sim/sim_sched.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Lock = std::unique_lock<std::mutex>;

constexpr uint64_t kNever = std::numeric_limits<uint64_t>::max();
constexpr uint64_t kNsPerSec = 1000000000u;
constexpr auto kStallPoll = std::chrono::milliseconds(1);
constexpr unsigned kStallReport = 5000;  // polls before the deadlock line

struct Waiter {
    uint64_t deadline = kNever;
    bool parked = false;
};

struct ThreadRec {
    pthread_t handle{};
    std::atomic<bool> left{false};
    bool detached = false;
    bool claimed = false;  // a join is under way
};

struct CondRec {
    unsigned waiters = 0;
    unsigned permits = 0;
};

struct SchedState {
    std::mutex lock;
    std::condition_variable cv;
    std::atomic<uint64_t> now{0};  // stepped mode's clock
    unsigned factor = 0;           // 0: stepped
    uint64_t scaledBase = 0;
    Clock::time_point realBase = Clock::now();
    uint64_t tick = 0;
    uint64_t epoch = 0;
    uint64_t runId = 1;
    int live = 1;
    int parked = 0;
    bool stopping = false;
    std::set<Waiter *> waiters;
    std::multimap<uint64_t, std::function<void()>> events;
    std::vector<std::shared_ptr<ThreadRec>> threads;
    std::map<const void *, CondRec> conds;
    pid_t nextTid = kSchedPid + 1;
    unsigned stallPolls = 0;
};

SchedState &st()
{
    static SchedState *state = new SchedState;  // outlives every thread's exit
    return *state;
}

// What the scheduler knows about the calling thread.
struct ThreadSlot {
    uint64_t run = 0;     // the run in which it counts as live
    uint64_t tidRun = 0;  // the run its id belongs to
    pid_t tid = 0;
    bool hostThread = false;
    uint64_t debt = 0;
    ~ThreadSlot();
};
thread_local ThreadSlot t_slot;

// Something changed: every parked waiter becomes runnable and re-checks.
void bump(SchedState &s)
{
    s.epoch++;
    for (Waiter *w : s.waiters) {
        if (w->parked) {
            w->parked = false;
            s.parked--;
        }
    }
    s.cv.notify_all();
}

ThreadSlot::~ThreadSlot()
{
    SchedState &s = st();
    Lock lk(s.lock);
    if (run == s.runId) {
        s.live--;
        bump(s);
    }
}

void ensure_live(SchedState &s)
{
    if (t_slot.run != s.runId) {
        t_slot.run = s.runId;
        s.live++;
    }
}

uint64_t now_locked(const SchedState &s)
{
    if (s.factor == 0)
        return s.now.load();
    auto real = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - s.realBase).count();
    return s.scaledBase + static_cast<uint64_t>(real) * s.factor;
}

uint64_t add_sat(uint64_t a, uint64_t b) { return b > kNever - a ? kNever : a + b; }

uint64_t earliest(const SchedState &s)
{
    uint64_t t = s.events.empty() ? kNever : s.events.begin()->first;
    for (const Waiter *w : s.waiters)
        t = std::min(t, w->deadline);
    return t;
}

// Stepped mode: when every live thread is parked, move the clock to the
// earliest deadline or event. Returns false when there is none (a stall).
bool step(SchedState &s)
{
    if (s.factor != 0 || s.parked < s.live || s.stopping)
        return true;
    uint64_t t = earliest(s);
    if (t == kNever)
        return false;
    if (t > s.now.load())
        s.now.store(t);
    s.stallPolls = 0;
    bump(s);
    return true;
}

// Run the events whose time has come, with the scheduler unlocked.
bool run_due_events(SchedState &s, Lock &lk)
{
    bool ran = false;
    while (!s.events.empty() && s.events.begin()->first <= now_locked(s)) {
        std::function<void()> fn = std::move(s.events.begin()->second);
        s.events.erase(s.events.begin());
        lk.unlock();
        fn();
        lk.lock();
        ran = true;
    }
    if (ran)
        bump(s);
    return ran;
}

bool ending(const SchedState &s)
{
    return s.stopping && t_slot.hostThread;
}

// Wait until something changes (or, scaled, the deadline or next event passes).
void park(SchedState &s, Lock &lk, Waiter &w)
{
    w.parked = true;
    s.parked++;
    s.waiters.insert(&w);
    uint64_t seen = s.epoch;
    bool moving = step(s);
    while (s.epoch == seen && !ending(s)) {
        if (s.factor != 0) {
            uint64_t t = std::min(w.deadline, s.events.empty() ? kNever : s.events.begin()->first);
            uint64_t now = now_locked(s);
            if (t <= now)
                break;
            auto wait = std::chrono::nanoseconds((t - now) / s.factor + 1);
            if (t == kNever)
                s.cv.wait(lk);
            else if (s.cv.wait_for(lk, wait) == std::cv_status::timeout)
                break;
        } else if (moving) {
            s.cv.wait(lk);
        } else if (s.cv.wait_for(lk, kStallPoll) == std::cv_status::timeout) {
            if (++s.stallPolls == kStallReport)
                std::fprintf(stderr, "sim: every thread waits with no deadline (deadlock?)\n");
            bump(s);  // everyone re-checks conditions met from outside
            break;
        }
    }
    if (w.parked) {
        w.parked = false;
        s.parked--;
    }
    s.waiters.erase(&w);
}

bool block_locked(SchedState &s, Lock &lk, const std::function<bool()> &ready, int64_t timeout_ns)
{
    ensure_live(s);
    Waiter w;
    if (timeout_ns >= 0)
        w.deadline = add_sat(now_locked(s), static_cast<uint64_t>(timeout_ns));
    for (;;) {
        if (ending(s)) {
            // A wait inside a destructor while unwinding cannot throw.
            if (std::uncaught_exceptions() > 0)
                return false;
            throw SchedEnd{};
        }
        uint64_t seen = s.epoch;
        lk.unlock();
        bool ok = ready();
        lk.lock();
        if (ok)
            return true;
        if (now_locked(s) >= w.deadline)
            return false;
        if (s.epoch != seen || run_due_events(s, lk))
            continue;
        park(s, lk, w);
    }
}

int64_t to_timeout(uint64_t ns)
{
    return ns > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? -1 : static_cast<int64_t>(ns);
}

// Time from now until an absolute CLOCK_REALTIME deadline; -1 for a bad one.
bool timeout_until(const struct timespec *abstime, int64_t &timeout)
{
    if (abstime == nullptr || abstime->tv_nsec < 0 || abstime->tv_nsec >= static_cast<long>(kNsPerSec))
        return false;
    int64_t now = static_cast<int64_t>(sched_realtime_ns());
    __int128 when = static_cast<__int128>(abstime->tv_sec) * kNsPerSec + abstime->tv_nsec;
    __int128 left = when - now;
    timeout = left <= 0 ? 0 : left > std::numeric_limits<int64_t>::max() ? std::numeric_limits<int64_t>::max()
                                                                         : static_cast<int64_t>(left);
    return true;
}

// ---- threads -------------------------------------------------------------------

struct Start {
    void *(*fn)(void *);
    void *arg;
    std::shared_ptr<ThreadRec> rec;
    uint64_t run;
    pid_t tid;
};

// Leaves the live set when the start routine is over, however it ends.
struct LeaveGuard {
    ThreadRec &rec;
    ~LeaveGuard()
    {
        SchedState &s = st();
        Lock lk(s.lock);
        rec.left.store(true);
        if (t_slot.run == s.runId)
            s.live--;
        t_slot.run = 0;
        bump(s);
    }
};

void *trampoline(void *p)
{
    std::unique_ptr<Start> start(static_cast<Start *>(p));
    {
        Lock lk(st().lock);
        t_slot.run = start->run;
        t_slot.tidRun = start->run;
        t_slot.tid = start->tid;
        t_slot.hostThread = true;
    }
    LeaveGuard guard{*start->rec};
    try {
        return start->fn(start->arg);
    } catch (const SchedEnd &) {
        return PTHREAD_CANCELED;
    }
}

std::shared_ptr<ThreadRec> find_thread(SchedState &s, pthread_t thread)
{
    // Newest first: a detached thread's handle may be reused after it left.
    for (auto it = s.threads.rbegin(); it != s.threads.rend(); ++it)
        if (pthread_equal((*it)->handle, thread))
            return *it;
    return nullptr;
}

void forget_thread(SchedState &s, const std::shared_ptr<ThreadRec> &rec)
{
    std::erase(s.threads, rec);
}

} // namespace

// ---- the clock -------------------------------------------------------------------

uint64_t sched_now_ns()
{
    SchedState &s = st();
    Lock lk(s.lock);
    if (s.factor == 0 && s.tick != 0) {
        s.now.store(s.now.load() + s.tick);
        bump(s);
    }
    return now_locked(s);
}

uint64_t sched_realtime_ns()
{
    return sched_now_ns() + static_cast<uint64_t>(kSchedEpoch) * kNsPerSec;
}

void sched_stepped()
{
    SchedState &s = st();
    Lock lk(s.lock);
    s.now.store(now_locked(s));
    s.factor = 0;
    bump(s);
}

void sched_scaled(unsigned factor)
{
    SchedState &s = st();
    Lock lk(s.lock);
    s.scaledBase = now_locked(s);
    s.realBase = Clock::now();
    s.factor = factor == 0 ? 1 : factor;
    bump(s);
}

void sched_set_tick_ns(uint64_t ns)
{
    SchedState &s = st();
    Lock lk(s.lock);
    s.tick = ns;
}

// ---- waiting -----------------------------------------------------------------------

bool sched_block(const std::function<bool()> &ready, int64_t timeout_ns)
{
    SchedState &s = st();
    Lock lk(s.lock);
    return block_locked(s, lk, ready, timeout_ns);
}

void sched_notify()
{
    SchedState &s = st();
    Lock lk(s.lock);
    bump(s);
}

void sched_sleep_ns(uint64_t ns)
{
    uint64_t total = add_sat(ns, t_slot.debt);
    t_slot.debt = 0;
    sched_block([] { return false; }, to_timeout(total));
}

void sched_at(uint64_t when_ns, std::function<void()> fn)
{
    SchedState &s = st();
    Lock lk(s.lock);
    s.events.emplace(when_ns, std::move(fn));
    bump(s);
}

void sched_charge_ns(uint64_t ns)
{
    t_slot.debt = add_sat(t_slot.debt, ns);
}

void sched_settle()
{
    if (t_slot.debt != 0)
        sched_sleep_ns(0);
}

// ---- threads and identity ------------------------------------------------------------

pid_t sched_gettid()
{
    SchedState &s = st();
    Lock lk(s.lock);
    if (t_slot.tidRun != s.runId) {
        t_slot.tidRun = s.runId;
        t_slot.tid = s.nextTid++;
    }
    return t_slot.tid;
}

int sched_live_threads()
{
    SchedState &s = st();
    Lock lk(s.lock);
    return s.live;
}

int sched_pthread_create(pthread_t *thread, const pthread_attr_t *attr,
                         void *(*start)(void *), void *arg)
{
    SchedState &s = st();
    auto rec = std::make_shared<ThreadRec>();
    int state = PTHREAD_CREATE_JOINABLE;
    if (attr != nullptr && pthread_attr_getdetachstate(attr, &state) != 0)
        return EINVAL;
    rec->detached = state == PTHREAD_CREATE_DETACHED;
    Lock lk(s.lock);
    ensure_live(s);
    auto *info = new Start{start, arg, rec, s.runId, s.nextTid++};
    s.live++;  // counted before it runs, so the clock cannot pass it by
    int rc = ::pthread_create(&rec->handle, attr, trampoline, info);
    if (rc != 0) {
        s.live--;
        delete info;
        return rc;
    }
    s.threads.push_back(rec);
    if (thread != nullptr)
        *thread = rec->handle;
    return 0;
}

int sched_pthread_join(pthread_t thread, void **result)
{
    SchedState &s = st();
    if (pthread_equal(thread, pthread_self()))
        return EDEADLK;
    std::shared_ptr<ThreadRec> rec;
    {
        Lock lk(s.lock);
        rec = find_thread(s, thread);
        if (rec == nullptr)
            return ::pthread_join(thread, result);  // not one of ours
        if (rec->detached || rec->claimed)
            return EINVAL;
        rec->claimed = true;
        try {
            if (!block_locked(s, lk, [&rec] { return rec->left.load(); }, -1)) {
                rec->claimed = false;
                lk.unlock();
                return ::pthread_join(thread, result);  // unwinding at the end of a run
            }
        } catch (const SchedEnd &) {
            rec->claimed = false;
            throw;
        }
        forget_thread(s, rec);
    }
    return ::pthread_join(thread, result);
}

int sched_pthread_detach(pthread_t thread)
{
    SchedState &s = st();
    {
        Lock lk(s.lock);
        std::shared_ptr<ThreadRec> rec = find_thread(s, thread);
        if (rec != nullptr) {
            if (rec->detached || rec->claimed)
                return EINVAL;
            rec->detached = true;
        }
    }
    return ::pthread_detach(thread);
}

namespace {

// Take the semaphore, waiting up to timeout_ns; 0 or -1 with errno.
int sem_take(sem_t *sem, int64_t timeout_ns, int timeout_err)
{
    int err = 0;
    bool done = sched_block([&] {
        err = ::sem_trywait(sem) == 0 ? 0 : errno;
        return err != EAGAIN;
    }, timeout_ns);
    if (done && err == 0)
        return 0;
    errno = done ? err : timeout_err;
    return -1;
}

} // namespace

int sched_sem_wait(sem_t *sem)
{
    return sem_take(sem, -1, EINTR);  // EINTR: only while unwinding at the end of a run
}

int sched_sem_timedwait(sem_t *sem, const struct timespec *abstime)
{
    if (::sem_trywait(sem) == 0)
        return 0;
    if (errno != EAGAIN)
        return -1;
    int64_t timeout = 0;
    if (!timeout_until(abstime, timeout)) {
        errno = EINVAL;
        return -1;
    }
    return sem_take(sem, timeout, ETIMEDOUT);
}

int sched_sem_post(sem_t *sem)
{
    int rc = ::sem_post(sem);
    if (rc == 0)
        sched_notify();
    return rc;
}

namespace {

// Condition waits: a waiter count and wake-up permits per condition.
int cond_wait_for(pthread_cond_t *cond, pthread_mutex_t *mutex, int64_t timeout)
{
    SchedState &s = st();
    {
        Lock lk(s.lock);
        s.conds[cond].waiters++;
    }
    auto leave = [&s, cond] {
        Lock lk(s.lock);
        CondRec &c = s.conds[cond];
        c.waiters--;
        c.permits = std::min(c.permits, c.waiters);
        if (c.waiters == 0)
            s.conds.erase(cond);
    };
    int rc = ::pthread_mutex_unlock(mutex);
    if (rc != 0) {
        leave();
        return rc;
    }
    sched_notify();
    bool woken = false;
    try {
        woken = sched_block([&s, cond] {
            Lock lk(s.lock);
            CondRec &c = s.conds[cond];
            if (c.permits == 0)
                return false;
            c.permits--;
            c.waiters--;
            if (c.waiters == 0)
                s.conds.erase(cond);
            return true;
        }, timeout);
    } catch (const SchedEnd &) {
        leave();
        ::pthread_mutex_lock(mutex);  // the caller's unwinding expects it held
        throw;
    }
    if (!woken)
        leave();
    rc = sched_mutex_lock(mutex);
    if (rc != 0)
        return rc;
    return woken || timeout < 0 ? 0 : ETIMEDOUT;
}

} // namespace

int sched_cond_wait(pthread_cond_t *cond, pthread_mutex_t *mutex)
{
    return cond_wait_for(cond, mutex, -1);
}

int sched_cond_timedwait(pthread_cond_t *cond, pthread_mutex_t *mutex, const struct timespec *abstime)
{
    int64_t timeout = 0;
    if (!timeout_until(abstime, timeout))
        return EINVAL;
    return cond_wait_for(cond, mutex, timeout);
}

int sched_cond_signal(pthread_cond_t *cond)
{
    SchedState &s = st();
    Lock lk(s.lock);
    auto it = s.conds.find(cond);
    if (it != s.conds.end() && it->second.permits < it->second.waiters) {
        it->second.permits++;
        bump(s);
    }
    return 0;
}

int sched_cond_broadcast(pthread_cond_t *cond)
{
    SchedState &s = st();
    Lock lk(s.lock);
    auto it = s.conds.find(cond);
    if (it != s.conds.end() && it->second.permits < it->second.waiters) {
        it->second.permits = it->second.waiters;
        bump(s);
    }
    return 0;
}

int sched_mutex_lock(pthread_mutex_t *mutex)
{
    int rc = ::pthread_mutex_trylock(mutex);
    if (rc != EBUSY)
        return rc;
    bool got = sched_block([&] {
        rc = ::pthread_mutex_trylock(mutex);
        return rc != EBUSY;
    }, -1);
    if (!got)
        return ::pthread_mutex_lock(mutex);  // unwinding at the end of a run
    return rc;
}

int sched_mutex_unlock(pthread_mutex_t *mutex)
{
    int rc = ::pthread_mutex_unlock(mutex);
    if (rc == 0)
        sched_notify();
    return rc;
}

// ---- the run -------------------------------------------------------------------------

void sched_end_run()
{
    SchedState &s = st();
    std::vector<std::shared_ptr<ThreadRec>> ended;
    {
        Lock lk(s.lock);
        s.stopping = true;
        bump(s);
        s.cv.wait(lk, [&s] {
            for (const auto &rec : s.threads)
                if (!rec->left.load())
                    return false;
            return true;
        });
        for (const auto &rec : s.threads)
            if (!rec->detached && !rec->claimed)
                ended.push_back(rec);
        s.threads.clear();
        s.stopping = false;
    }
    for (const auto &rec : ended)
        ::pthread_join(rec->handle, nullptr);
}

void sched_reset()
{
    sched_end_run();
    SchedState &s = st();
    Lock lk(s.lock);
    s.runId++;
    s.live = 1;
    t_slot.run = s.runId;
    t_slot.tidRun = s.runId;
    t_slot.tid = kSchedPid;
    t_slot.debt = 0;
    s.nextTid = kSchedPid + 1;
    s.now.store(0);
    s.factor = 0;
    s.tick = 0;
    s.events.clear();
    s.conds.clear();
    bump(s);
}
