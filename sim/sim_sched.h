// The simulated board's scheduler: virtual time and the threads that wait on it.
//
// Rules
//  - Only the simulated host blocks, and only in virtual time. Sleeps,
//    select/poll time-outs, blocking receives, timed semaphore and condition
//    waits all wait here, on the virtual clock, through sched_block().
//  - Stepped mode (the default): the clock stands still while any live thread
//    runs. When every live thread waits, it jumps to the earliest deadline or
//    scheduled event, and the threads whose condition holds run again. A
//    threaded test is then deterministic and runs in microseconds.
//    Scaled mode: virtual time runs `factor` times faster than real time.
//  - Live threads: the thread that reset the scheduler, every thread created
//    through the host interface (counted from pthread_create until its start
//    routine returns) and any other thread from its first scheduler call until
//    it exits. Waiting means inside sched_block(): joins, untimed semaphore
//    and condition waits and locks of long-held mutexes wait there too. A
//    thread blocked anywhere else (a plain mutex, a real descriptor) counts as
//    running and holds the clock.
//  - When every live thread waits with no deadline and no event is pending,
//    waiters re-check their condition every millisecond of real time (for
//    conditions met from outside the simulated board, such as a child process);
//    after a few real seconds of that, one deadlock line goes to stderr.
//  - sched_block() calls ready() with no scheduler lock held, so ready() may
//    take the kernel's lock. sched_notify() only takes the scheduler's own
//    lock, so it may be called with the kernel's lock held. Never call
//    sched_block(), sched_sleep_ns() or sched_settle() with a lock held.
//  - Events (sched_at) run on a thread that is about to wait, with no
//    scheduler lock held, once the clock has reached their time.
//  - Charged durations (sched_charge_ns) are a debt of the calling thread,
//    paid by sleeping it off at sched_settle(), which the simulated host calls
//    at the end of each call with no lock held.
//  - Clock ticks (sched_set_tick_ns): in stepped mode every clock read may
//    advance the clock by a small tick, for code that busy-waits on the clock.
//    Off (0) by default.
//  - End of a run (sched_end_run, called by sched_reset and at quorbix-sim's
//    exit): every thread created through the host interface that is still
//    alive is ended at its current or next wait: the wait throws SchedEnd,
//    the stack unwinds, and the thread's start routine trampoline catches it.
//    The run waits (in real time) until each such thread has left, then joins
//    those nobody joined. A thread that never waits again is never ended.
//  - Thread ids: the thread that reset the scheduler has the process id;
//    the others get distinct ids in the order they were created (or first
//    asked for one), so ids are the same run after run.
#ifndef QUORBIX_SIM_SIM_SCHED_H
#define QUORBIX_SIM_SIM_SCHED_H

#include <cstdint>
#include <ctime>
#include <functional>

#include <pthread.h>
#include <semaphore.h>
#include <sys/types.h>

// Thrown from a wait when the run ends; caught by the thread trampoline.
struct SchedEnd {};

constexpr pid_t kSchedPid = 4242;
constexpr time_t kSchedEpoch = 1796428800;  // CLOCK_REALTIME at virtual time 0

// ---- the clock -----------------------------------------------------------------

uint64_t sched_now_ns();                 // virtual nanoseconds since the reset
uint64_t sched_realtime_ns();            // CLOCK_REALTIME in nanoseconds
void sched_stepped();
void sched_scaled(unsigned factor);
void sched_set_tick_ns(uint64_t ns);     // per clock read, stepped mode only

// ---- waiting ---------------------------------------------------------------------

// Wait in virtual time until ready() or the deadline (timeout_ns < 0: none).
// Returns whether ready() held. Throws SchedEnd in a host-created thread
// when the run ends.
bool sched_block(const std::function<bool()> &ready, int64_t timeout_ns);
// State changed: blocked threads re-check their conditions.
void sched_notify();
void sched_sleep_ns(uint64_t ns);
// Run fn once the clock reaches when_ns (absolute virtual time).
void sched_at(uint64_t when_ns, std::function<void()> fn);
// A model charges the calling thread a duration, paid at sched_settle().
void sched_charge_ns(uint64_t ns);
void sched_settle();

// ---- threads and identity ----------------------------------------------------------

pid_t sched_gettid();
int sched_live_threads();

// The simulated host's thread, semaphore, condition and mutex calls, with the
// C library's signatures and results. Timed waits take an absolute deadline
// on the host's CLOCK_REALTIME (read with host().clock_gettime and add).
int sched_pthread_create(pthread_t *thread, const pthread_attr_t *attr,
                         void *(*start)(void *), void *arg);
int sched_pthread_join(pthread_t thread, void **result);
int sched_pthread_detach(pthread_t thread);
int sched_sem_wait(sem_t *sem);
int sched_sem_timedwait(sem_t *sem, const struct timespec *abstime);
int sched_sem_post(sem_t *sem);
int sched_cond_wait(pthread_cond_t *cond, pthread_mutex_t *mutex);
int sched_cond_timedwait(pthread_cond_t *cond, pthread_mutex_t *mutex,
                         const struct timespec *abstime);
int sched_cond_signal(pthread_cond_t *cond);
int sched_cond_broadcast(pthread_cond_t *cond);
int sched_mutex_lock(pthread_mutex_t *mutex);
int sched_mutex_unlock(pthread_mutex_t *mutex);

// ---- the run ---------------------------------------------------------------------

// End the threads of the run (see above).
void sched_end_run();
// End the run, then forget every event and the clock; the calling thread
// becomes the process's main thread, in stepped mode at virtual time 0.
void sched_reset();

#endif
