// The scheduler: threads created through the host wait in virtual time, the
// stepped clock moves only when every live thread waits, and the end of a
// run ends the threads left behind.
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/sim_sched.h"
#include "support/sim_fixture.h"

namespace {

constexpr uint64_t kMs = 1000000;
constexpr uint64_t kSec = 1000 * kMs;

using SimSchedTest = SimTest;

// What the threads of a test saw, in the order they saw it.
struct Trace {
    std::mutex lock;
    std::vector<std::pair<int, uint64_t>> marks;  // (who, virtual time)

    void mark(int who)
    {
        std::lock_guard<std::mutex> g(lock);
        marks.emplace_back(who, sim_clock_ns());
    }
};

template <typename Fn> pthread_t spawn(Fn *fn)
{
    pthread_t t{};
    EXPECT_EQ(host().pthread_create(&t, nullptr, [](void *p) -> void * { (*static_cast<Fn *>(p))(); return nullptr; }, fn), 0);
    return t;
}

void join(pthread_t t) { EXPECT_EQ(host().pthread_join(t, nullptr), 0); }

TEST_F(SimSchedTest, SleepersFinishInVirtualTimeOrderRunAfterRun)
{
    struct Sleeper {
        int who;
        unsigned first_ms, second_ms;
    };
    constexpr Sleeper kSleepers[] = {{0, 300, 0}, {1, 100, 250}, {2, 200, 5}};
    const std::vector<std::pair<int, uint64_t>> expected = {
        {1, 100 * kMs}, {2, 200 * kMs}, {2, 205 * kMs}, {0, 300 * kMs}, {1, 350 * kMs}};
    for (int run = 0; run < 50; run++) {
        sim_reset(root_);
        Trace trace;
        std::vector<std::function<void()>> bodies;
        for (const Sleeper &s : kSleepers)
            bodies.emplace_back([&trace, s] {
                host().usleep(s.first_ms * 1000);
                trace.mark(s.who);
                if (s.second_ms != 0) {
                    timespec req{0, static_cast<long>(s.second_ms * kMs)};
                    host().nanosleep(&req, nullptr);
                    trace.mark(s.who);
                }
            });
        std::vector<pthread_t> threads;
        for (auto &body : bodies)
            threads.push_back(spawn(&body));
        for (pthread_t t : threads)
            join(t);
        ASSERT_EQ(trace.marks, expected) << "run " << run;
        EXPECT_EQ(sim_clock_ns(), 350 * kMs);
        EXPECT_EQ(sched_live_threads(), 1);
    }
}

TEST_F(SimSchedTest, ThreadIdsAreDistinctAndRepeatable)
{
    for (int run = 0; run < 3; run++) {
        sim_reset(root_);
        EXPECT_EQ(host().gettid(), host().getpid());
        std::array<std::atomic<pid_t>, 3> ids{};
        std::vector<std::function<void()>> bodies;
        for (auto &id : ids)
            bodies.emplace_back([&id] { id = host().gettid(); });
        std::vector<pthread_t> threads;
        for (auto &body : bodies)
            threads.push_back(spawn(&body));
        for (pthread_t t : threads)
            join(t);
        for (size_t i = 0; i < ids.size(); i++)
            EXPECT_EQ(ids[i].load(), kSchedPid + 1 + static_cast<pid_t>(i));
    }
}

// Producer and consumer on a semaphore; the consumer's timed wait gives up
// in virtual time once the producer stops.
TEST_F(SimSchedTest, SemaphoreTimedWaitTimesOutInVirtualTime)
{
    sem_t sem;
    ASSERT_EQ(sem_init(&sem, 0, 0), 0);
    Trace trace;
    std::function<void()> producer = [&] {
        for (int i = 0; i < 3; i++) {
            host().usleep(10000);
            host().sem_post(&sem);
        }
    };
    std::atomic<int> timedOut{0};
    std::function<void()> consumer = [&] {
        for (;;) {
            timespec deadline = host_deadline_ms(25);
            if (host().sem_timedwait(&sem, &deadline) == 0) {
                trace.mark(1);
                continue;
            }
            timedOut = errno;
            trace.mark(-1);
            return;
        }
    };
    pthread_t p = spawn(&producer), c = spawn(&consumer);
    join(p);
    join(c);
    EXPECT_EQ(timedOut.load(), ETIMEDOUT);
    const std::vector<std::pair<int, uint64_t>> expected = {
        {1, 10 * kMs}, {1, 20 * kMs}, {1, 30 * kMs}, {-1, 55 * kMs}};
    EXPECT_EQ(trace.marks, expected);
    sem_destroy(&sem);
}

// The same exchange on a mutex and a condition; the waiter holds the mutex
// except while it waits, and the producer locks it through the host.
TEST_F(SimSchedTest, ConditionTimedWaitTimesOutInVirtualTime)
{
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
    int items = 0;  // guarded by mutex
    std::function<void()> producer = [&] {
        for (int i = 0; i < 2; i++) {
            host().sleep(1);
            host().pthread_mutex_lock(&mutex);
            items++;
            host().pthread_cond_signal(&cond);
            host().pthread_mutex_unlock(&mutex);
        }
    };
    Trace trace;
    std::function<void()> consumer = [&] {
        host().pthread_mutex_lock(&mutex);
        for (;;) {
            timespec deadline = host_deadline_ms(1500);
            int rc = 0;
            while (items == 0 && rc == 0)
                rc = host().pthread_cond_timedwait(&cond, &mutex, &deadline);
            if (rc != 0) {
                EXPECT_EQ(rc, ETIMEDOUT);
                trace.mark(-1);
                break;
            }
            items--;
            trace.mark(1);
        }
        host().pthread_mutex_unlock(&mutex);
    };
    pthread_t c = spawn(&consumer), p = spawn(&producer);
    join(p);
    join(c);
    const std::vector<std::pair<int, uint64_t>> expected = {{1, kSec}, {1, 2 * kSec}, {-1, 3500 * kMs}};
    EXPECT_EQ(trace.marks, expected);
}

// Untimed waits and long-held mutexes count as waiting: the clock moves on
// for the thread that sleeps.
TEST_F(SimSchedTest, UntimedWaitsLetTheClockMove)
{
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
    sem_t sem;
    ASSERT_EQ(sem_init(&sem, 0, 0), 0);
    bool flag = false;  // guarded by mutex
    std::function<void()> holder = [&] {
        host().pthread_mutex_lock(&mutex);
        host().sleep(3);  // held across the sleep
        host().pthread_mutex_unlock(&mutex);
        host().sleep(2);
        host().sem_post(&sem);
        host().sleep(4);
        host().pthread_mutex_lock(&mutex);
        flag = true;
        host().pthread_cond_broadcast(&cond);
        host().pthread_mutex_unlock(&mutex);
    };
    pthread_t t = spawn(&holder);
    host().sleep(1);
    EXPECT_EQ(host().pthread_mutex_lock(&mutex), 0);
    EXPECT_EQ(sim_clock_ns(), 3 * kSec);
    EXPECT_EQ(host().pthread_mutex_unlock(&mutex), 0);
    EXPECT_EQ(host().sem_wait(&sem), 0);
    EXPECT_EQ(sim_clock_ns(), 5 * kSec);
    host().pthread_mutex_lock(&mutex);
    while (!flag)
        EXPECT_EQ(host().pthread_cond_wait(&cond, &mutex), 0);
    host().pthread_mutex_unlock(&mutex);
    EXPECT_EQ(sim_clock_ns(), 9 * kSec);
    join(t);
    sem_destroy(&sem);
}

TEST_F(SimSchedTest, TimedWaitArguments)
{
    sem_t sem;
    ASSERT_EQ(sem_init(&sem, 0, 1), 0);
    timespec bad{0, 1000000000};
    EXPECT_EQ(host().sem_timedwait(&sem, &bad), 0) << "a free semaphore is taken before the deadline is read";
    errno = 0;
    EXPECT_EQ(host().sem_timedwait(&sem, &bad), -1);
    EXPECT_EQ(errno, EINVAL);
    timespec past = host_deadline_ms(-10);
    EXPECT_EQ(host().sem_timedwait(&sem, &past), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_EQ(sim_clock_ns(), 0u);

    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
    host().pthread_mutex_lock(&mutex);
    EXPECT_EQ(host().pthread_cond_timedwait(&cond, &mutex, &bad), EINVAL);
    EXPECT_EQ(host().pthread_cond_timedwait(&cond, &mutex, &past), ETIMEDOUT);
    EXPECT_EQ(host().pthread_mutex_unlock(&mutex), 0) << "the mutex is held again after a time-out";
    EXPECT_EQ(host().pthread_cond_signal(&cond), 0) << "nobody waits";
    EXPECT_EQ(host().pthread_join(pthread_self(), nullptr), EDEADLK);
    sem_destroy(&sem);
}

// A thread blocked for good is ended by the reset, its stack unwound.
TEST_F(SimSchedTest, EndOfRunEndsThreadsBlockedForever)
{
    sem_t sem;
    ASSERT_EQ(sem_init(&sem, 0, 0), 0);
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
    std::atomic<int> unwound{0};
    struct Unwind {
        std::atomic<int> &count;
        ~Unwind() { count++; }
    };
    std::function<void()> onSem = [&] {
        Unwind u{unwound};
        host().sem_wait(&sem);
        ADD_FAILURE() << "the wait returned";
    };
    std::function<void()> onCond = [&] {
        Unwind u{unwound};
        host().pthread_mutex_lock(&mutex);
        struct Unlock {
            pthread_mutex_t *m;
            ~Unlock() { host().pthread_mutex_unlock(m); }
        } unlock{&mutex};
        host().pthread_cond_wait(&cond, &mutex);
        ADD_FAILURE() << "the wait returned";
    };
    std::function<void()> sleeper = [&] {
        Unwind u{unwound};
        host().sleep(1000000);
    };
    spawn(&onSem);
    spawn(&onCond);
    spawn(&sleeper);
    host().sleep(1);
    EXPECT_EQ(sched_live_threads(), 4);
    sim_reset(root_);
    EXPECT_EQ(unwound.load(), 3);
    EXPECT_EQ(sched_live_threads(), 1);
    EXPECT_EQ(sim_clock_ns(), 0u);
    EXPECT_EQ(pthread_mutex_trylock(&mutex), 0) << "unwinding released the mutex";
    pthread_mutex_unlock(&mutex);
    sem_destroy(&sem);
}

TEST_F(SimSchedTest, WallClocksAgree)
{
    auto check = [] {
        time_t before = host().time(nullptr);
        timeval tv{};
        timespec ts{};
        ASSERT_EQ(host().gettimeofday(&tv, nullptr), 0);
        ASSERT_EQ(host().clock_gettime(CLOCK_REALTIME, &ts), 0);
        time_t after = host().time(nullptr);
        EXPECT_LE(before, tv.tv_sec);
        EXPECT_LE(tv.tv_sec, ts.tv_sec);
        EXPECT_LE(ts.tv_sec, after);
        EXPECT_LE(tv.tv_usec, ts.tv_nsec / 1000 + (ts.tv_sec - tv.tv_sec) * 1000000);
    };
    host().usleep(1500000);
    timeval tv{};
    timespec ts{};
    host().gettimeofday(&tv, nullptr);
    host().clock_gettime(CLOCK_REALTIME, &ts);
    EXPECT_EQ(host().time(nullptr), kSchedEpoch + 1);
    EXPECT_EQ(tv.tv_sec, kSchedEpoch + 1);
    EXPECT_EQ(tv.tv_usec, 500000);
    EXPECT_EQ(ts.tv_nsec, 500000000);
    check();
    sim_clock_scaled(1000);
    for (int i = 0; i < 20; i++)
        check();
}

TEST_F(SimSchedTest, ScaledClockSleepsInScaledRealTime)
{
    sim_clock_scaled(1000000);
    auto start = std::chrono::steady_clock::now();
    host().sleep(2);  // two milliseconds of real time
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_GE(sim_clock_ns(), 2 * kSec);
    sim_clock_stepped();
    uint64_t frozen = sim_clock_ns();
    EXPECT_EQ(sim_clock_ns(), frozen);
}

// A model's event at a virtual time wakes a thread waiting on what it sets.
TEST_F(SimSchedTest, EventsRunAtTheirVirtualTime)
{
    std::atomic<int> state{0};
    std::atomic<uint64_t> seenAt{0};
    sched_at(7 * kMs, [&] { state = 1; seenAt = sched_now_ns(); sched_notify(); });
    sched_at(3 * kMs, [&] { state = 2; sched_notify(); });
    EXPECT_TRUE(sched_block([&] { return state == 2; }, -1));
    EXPECT_EQ(sim_clock_ns(), 3 * kMs);
    EXPECT_FALSE(sched_block([&] { return state == 1; }, static_cast<int64_t>(2 * kMs)));
    EXPECT_EQ(sim_clock_ns(), 5 * kMs);
    EXPECT_TRUE(sched_block([&] { return state == 1; }, -1));
    EXPECT_EQ(seenAt.load(), 7 * kMs);
}

TEST_F(SimSchedTest, ChargesAndTicks)
{
    sched_charge_ns(5 * kMs);
    sched_charge_ns(1 * kMs);
    EXPECT_EQ(sim_clock_ns(), 0u) << "a charge is paid at the end of the call";
    sched_settle();
    EXPECT_EQ(sim_clock_ns(), 6 * kMs);
    sched_settle();
    EXPECT_EQ(sim_clock_ns(), 6 * kMs);

    sched_set_tick_ns(1000);
    uint64_t start = sim_clock_ns();
    int reads = 0;
    while (sim_clock_ns() < start + 100000)  // busy-waiting on the clock ends
        reads++;
    EXPECT_EQ(reads, 99);
    sim_reset(root_);
    EXPECT_EQ(sim_clock_ns(), sim_clock_ns()) << "the tick is off after a reset";
}

// A condition met from outside the simulated board (a thread the scheduler
// does not know) is still seen while every known thread waits without a deadline.
TEST_F(SimSchedTest, OutsideConditionEndsAStall)
{
    std::atomic<bool> flag{false};
    std::thread outside([&flag] { flag = true; });
    EXPECT_TRUE(sched_block([&flag] { return flag.load(); }, -1));
    outside.join();
    EXPECT_EQ(sim_clock_ns(), 0u);
}

// A detached thread is ended like the others; its handle is never joined.
TEST_F(SimSchedTest, DetachedThreadsEndWithTheRun)
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    static std::atomic<bool> ended{false};
    ended = false;
    pthread_t t{};
    ASSERT_EQ(host().pthread_create(&t, &attr, [](void *) -> void * {
        struct Mark {
            ~Mark() { ended = true; }
        } mark;
        host().sleep(100);
        return nullptr;
    }, nullptr), 0);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(host().pthread_join(t, nullptr), EINVAL);
    host().sleep(1);
    sim_reset(root_);
    EXPECT_TRUE(ended.load());
}

} // namespace
