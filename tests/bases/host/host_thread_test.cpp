// The real host's thread and wait calls forward to the C library; the
// deadline helper adds to the host's own clock.
#include <gtest/gtest.h>

#include <cerrno>

#include "bases/host/host.h"
#include "sim/sim_sched.h"
#include "support/sim_fixture.h"

namespace {

TEST(HostThreadTest, RealHostForwardsThreadsAndWaits)
{
    ASSERT_EQ(g_host, &g_realHost);
    pthread_t t{};
    static int arg = 41;
    ASSERT_EQ(host().pthread_create(&t, nullptr, [](void *p) -> void * {
        ++*static_cast<int *>(p);
        return p;
    }, &arg), 0);
    void *result = nullptr;
    ASSERT_EQ(host().pthread_join(t, &result), 0);
    EXPECT_EQ(result, &arg);
    EXPECT_EQ(arg, 42);

    sem_t sem;
    ASSERT_EQ(sem_init(&sem, 0, 0), 0);
    timespec past = host_deadline_ms(-1);  // a deadline already passed: no real wait
    EXPECT_EQ(host().sem_post(&sem), 0);
    EXPECT_EQ(host().sem_timedwait(&sem, &past), 0);
    errno = 0;
    EXPECT_EQ(host().sem_timedwait(&sem, &past), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_EQ(host().sem_post(&sem), 0);
    EXPECT_EQ(host().sem_wait(&sem), 0);
    sem_destroy(&sem);

    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
    ASSERT_EQ(host().pthread_mutex_lock(&mutex), 0);
    EXPECT_EQ(host().pthread_cond_timedwait(&cond, &mutex, &past), ETIMEDOUT);
    EXPECT_EQ(host().pthread_cond_signal(&cond), 0);
    EXPECT_EQ(host().pthread_cond_broadcast(&cond), 0);
    EXPECT_EQ(host().pthread_mutex_unlock(&mutex), 0);
}

using HostDeadlineTest = SimTest;

// Deadlines from the host's CLOCK_REALTIME, carried across the second.
TEST_F(HostDeadlineTest, DeadlinesAddToTheHostClock)
{
    host().usleep(900000);  // now: epoch + 0.9 s
    struct Case {
        long ms;
        time_t sec;
        long nsec;
    } const cases[] = {
        {0, 0, 900000000}, {99, 0, 999000000}, {100, 1, 0}, {250, 1, 150000000},
        {3100, 4, 0}, {-900, 0, 0}, {-901, -1, 999000000}, {-2500, -2, 400000000},
    };
    for (const Case &c : cases) {
        timespec d = host_deadline_ms(c.ms);
        EXPECT_EQ(d.tv_sec, kSchedEpoch + c.sec) << c.ms;
        EXPECT_EQ(d.tv_nsec, c.nsec) << c.ms;
    }
}

} // namespace
