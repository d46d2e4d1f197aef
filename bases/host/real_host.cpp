// The real host: every entry forwards to the C library unchanged.
#include "bases/host/host.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <syslog.h>
#include <unistd.h>

namespace {

int real_open(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int real_stat(const char *path, struct stat *st) { return ::stat(path, st); }
int real_lstat(const char *path, struct stat *st) { return ::lstat(path, st); }
int real_fstat(int fd, struct stat *st) { return ::fstat(fd, st); }
int real_ioctl(int fd, unsigned long request, void *arg) { return ::ioctl(fd, request, arg); }
long real_pagesize() { return ::sysconf(_SC_PAGESIZE); }

template <typename T> T mmio_read(const volatile void *addr)
{
    return *static_cast<const volatile T *>(addr);
}
template <typename T> void mmio_write(volatile void *addr, T value)
{
    *static_cast<volatile T *>(addr) = value;
}

uint8_t real_inb(uint16_t port) { return ::inb(port); }
uint16_t real_inw(uint16_t port) { return ::inw(port); }
uint32_t real_inl(uint16_t port) { return ::inl(port); }
void real_outb(uint8_t v, uint16_t port) { ::outb(v, port); }
void real_outw(uint16_t v, uint16_t port) { ::outw(v, port); }
void real_outl(uint32_t v, uint16_t port) { ::outl(v, port); }

int real_gettimeofday(struct timeval *tv, void *tz) { return ::gettimeofday(tv, static_cast<struct timezone *>(tz)); }
pid_t real_gettid() { return ::gettid(); }
int real_prctl(int option, unsigned long arg2, unsigned long arg3, unsigned long arg4, unsigned long arg5)
{
    return ::prctl(option, arg2, arg3, arg4, arg5);
}

} // namespace

const HostOps g_realHost = {
    .open = real_open,
    .fopen = ::fopen,
    .stat = real_stat,
    .lstat = real_lstat,
    .access = ::access,
    .readlink = ::readlink,
    .realpath = ::realpath,
    .opendir = ::opendir,
    .readdir = ::readdir,
    .closedir = ::closedir,
    .mkdir = ::mkdir,
    .rename = ::rename,
    .unlink = ::unlink,
    .read = ::read,
    .write = ::write,
    .pread = ::pread,
    .pwrite = ::pwrite,
    .lseek = ::lseek,
    .fstat = real_fstat,
    .ftruncate = ::ftruncate,
    .close = ::close,
    .select = ::select,
    .poll = ::poll,
    .ioctl = real_ioctl,
    .mmap = ::mmap,
    .munmap = ::munmap,
    .mprotect = ::mprotect,
    .pagesize = real_pagesize,
    .mmio_read8 = mmio_read<uint8_t>,
    .mmio_read16 = mmio_read<uint16_t>,
    .mmio_read32 = mmio_read<uint32_t>,
    .mmio_read64 = mmio_read<uint64_t>,
    .mmio_write8 = mmio_write<uint8_t>,
    .mmio_write16 = mmio_write<uint16_t>,
    .mmio_write32 = mmio_write<uint32_t>,
    .mmio_write64 = mmio_write<uint64_t>,
    .iopl = ::iopl,
    .inb = real_inb,
    .inw = real_inw,
    .inl = real_inl,
    .outb = real_outb,
    .outw = real_outw,
    .outl = real_outl,
    .socket = ::socket,
    .bind = ::bind,
    .setsockopt = ::setsockopt,
    .sendto = ::sendto,
    .sendmsg = ::sendmsg,
    .recvfrom = ::recvfrom,
    .recvmsg = ::recvmsg,
    .popen = ::popen,
    .pclose = ::pclose,
    .system = ::system,
    .vsyslog = ::vsyslog,
    .sleep = ::sleep,
    .usleep = ::usleep,
    .nanosleep = ::nanosleep,
    .clock_gettime = ::clock_gettime,
    .gettimeofday = real_gettimeofday,
    .time = ::time,
    .getpid = ::getpid,
    .gettid = real_gettid,
    .prctl = real_prctl,
    .pthread_create = ::pthread_create,
    .pthread_join = ::pthread_join,
    .pthread_detach = ::pthread_detach,
    .sem_wait = ::sem_wait,
    .sem_timedwait = ::sem_timedwait,
    .sem_post = ::sem_post,
    .sem_init = ::sem_init,
    .sem_destroy = ::sem_destroy,
    .sem_trywait = ::sem_trywait,
    .pthread_cond_wait = ::pthread_cond_wait,
    .pthread_cond_timedwait = ::pthread_cond_timedwait,
    .pthread_cond_signal = ::pthread_cond_signal,
    .pthread_cond_broadcast = ::pthread_cond_broadcast,
    .pthread_mutex_lock = ::pthread_mutex_lock,
    .pthread_mutex_unlock = ::pthread_mutex_unlock,
};
