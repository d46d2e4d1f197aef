// The host interface: the one door to the operating system and the hardware.
//
// Every call that reaches a file, a device node, port I/O, a socket, a shell
// command, syslog or the clock goes through the table below. A process picks
// its table once at start-up: the real host forwards each call to the C
// library unchanged; the simulated board (sim/) answers from its models.
// Each entry has the C library's own signature, result and errno.
#ifndef QUORBIX_BASES_HOST_HOST_H
#define QUORBIX_BASES_HOST_HOST_H

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include <dirent.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/types.h>

struct HostOps {
    // files by path
    int (*open)(const char *path, int flags, mode_t mode);
    FILE *(*fopen)(const char *path, const char *mode);
    int (*stat)(const char *path, struct stat *st);
    int (*lstat)(const char *path, struct stat *st);
    int (*access)(const char *path, int amode);
    ssize_t (*readlink)(const char *path, char *buf, size_t size);
    char *(*realpath)(const char *path, char *resolved);
    DIR *(*opendir)(const char *path);
    struct dirent *(*readdir)(DIR *dir);
    int (*closedir)(DIR *dir);
    int (*mkdir)(const char *path, mode_t mode);
    int (*rename)(const char *from, const char *to);
    int (*unlink)(const char *path);

    // descriptors
    ssize_t (*read)(int fd, void *buf, size_t count);
    ssize_t (*write)(int fd, const void *buf, size_t count);
    ssize_t (*pread)(int fd, void *buf, size_t count, off_t offset);
    ssize_t (*pwrite)(int fd, const void *buf, size_t count, off_t offset);
    off_t (*lseek)(int fd, off_t offset, int whence);
    int (*fstat)(int fd, struct stat *st);
    int (*ftruncate)(int fd, off_t length);
    int (*close)(int fd);
    int (*select)(int nfds, fd_set *rd, fd_set *wr, fd_set *ex, struct timeval *timeout);
    int (*poll)(struct pollfd *fds, nfds_t nfds, int timeout_ms);
    int (*ioctl)(int fd, unsigned long request, void *arg);

    // memory and register windows
    void *(*mmap)(void *addr, size_t length, int prot, int flags, int fd, off_t offset);
    int (*munmap)(void *addr, size_t length);
    int (*mprotect)(void *addr, size_t length, int prot);
    long (*pagesize)();
    uint8_t (*mmio_read8)(const volatile void *addr);
    uint16_t (*mmio_read16)(const volatile void *addr);
    uint32_t (*mmio_read32)(const volatile void *addr);
    uint64_t (*mmio_read64)(const volatile void *addr);
    void (*mmio_write8)(volatile void *addr, uint8_t value);
    void (*mmio_write16)(volatile void *addr, uint16_t value);
    void (*mmio_write32)(volatile void *addr, uint32_t value);
    void (*mmio_write64)(volatile void *addr, uint64_t value);

    // port I/O
    int (*iopl)(int level);
    uint8_t (*inb)(uint16_t port);
    uint16_t (*inw)(uint16_t port);
    uint32_t (*inl)(uint16_t port);
    void (*outb)(uint8_t value, uint16_t port);
    void (*outw)(uint16_t value, uint16_t port);
    void (*outl)(uint32_t value, uint16_t port);

    // sockets
    int (*socket)(int domain, int type, int protocol);
    int (*bind)(int fd, const struct sockaddr *addr, socklen_t len);
    int (*setsockopt)(int fd, int level, int name, const void *value, socklen_t len);
    ssize_t (*sendto)(int fd, const void *buf, size_t len, int flags,
                      const struct sockaddr *addr, socklen_t addrlen);
    ssize_t (*sendmsg)(int fd, const struct msghdr *msg, int flags);
    ssize_t (*recvfrom)(int fd, void *buf, size_t len, int flags,
                        struct sockaddr *addr, socklen_t *addrlen);
    ssize_t (*recvmsg)(int fd, struct msghdr *msg, int flags);

    // shell commands
    FILE *(*popen)(const char *command, const char *mode);
    int (*pclose)(FILE *stream);
    int (*system)(const char *command);

    // syslog: the message is already formatted
    void (*vsyslog)(int priority, const char *format, va_list args);

    // time and identity
    unsigned int (*sleep)(unsigned int seconds);
    int (*usleep)(useconds_t usec);
    int (*nanosleep)(const struct timespec *req, struct timespec *rem);
    int (*clock_gettime)(clockid_t clock, struct timespec *ts);
    int (*gettimeofday)(struct timeval *tv, void *tz);
    time_t (*time)(time_t *out);
    pid_t (*getpid)();
    pid_t (*gettid)();
    // process and thread attributes (PR_SET_NAME names the calling thread)
    int (*prctl)(int option, unsigned long arg2, unsigned long arg3, unsigned long arg4, unsigned long arg5);

    // threads and waits. A timed wait's deadline is absolute on the host's
    // CLOCK_REALTIME: read it with clock_gettime above and add, never from the
    // C library directly. Mutexes that may be held across a sleep or a wait
    // are locked here; short sections with no wait inside use plain calls.
    int (*pthread_create)(pthread_t *thread, const pthread_attr_t *attr,
                          void *(*start)(void *), void *arg);
    int (*pthread_join)(pthread_t thread, void **result);
    int (*pthread_detach)(pthread_t thread);
    int (*sem_wait)(sem_t *sem);
    int (*sem_timedwait)(sem_t *sem, const struct timespec *abstime);
    int (*sem_post)(sem_t *sem);
    int (*sem_init)(sem_t *sem, int pshared, unsigned int value);
    int (*sem_destroy)(sem_t *sem);
    int (*sem_trywait)(sem_t *sem);
    int (*pthread_cond_wait)(pthread_cond_t *cond, pthread_mutex_t *mutex);
    int (*pthread_cond_timedwait)(pthread_cond_t *cond, pthread_mutex_t *mutex,
                                  const struct timespec *abstime);
    int (*pthread_cond_signal)(pthread_cond_t *cond);
    int (*pthread_cond_broadcast)(pthread_cond_t *cond);
    int (*pthread_mutex_lock)(pthread_mutex_t *mutex);
    int (*pthread_mutex_unlock)(pthread_mutex_t *mutex);
};

// The table of this process. Defaults to the real host.
extern const HostOps *g_host;

// The real host's table.
extern const HostOps g_realHost;

// Select the table for the rest of the process (tests and quorbix-sim).
void host_select(const HostOps *ops);

inline const HostOps &host() { return *g_host; }

// A CLOCK_REALTIME deadline `ms` milliseconds from the host's now, for the
// timed waits above.
struct timespec host_deadline_ms(long ms);

// Convenience forms of the variadic C calls.
int host_open(const char *path, int flags, mode_t mode = 0);
int host_ioctl(int fd, unsigned long request, void *arg);
void host_syslog(int priority, const char *format, ...) __attribute__((format(printf, 2, 3)));

#endif
