// Sockets: created by family and protocol from the registered operations;
// bind, setsockopt, send and receive dispatched to them. sendto and recvfrom
// are sendmsg and recvmsg with one buffer.
#include <cerrno>
#include <fcntl.h>
#include <sys/uio.h>

#include "sim/kernel.h"

namespace simk {

namespace {

constexpr int kTypeFlags = SOCK_NONBLOCK | SOCK_CLOEXEC;

const Registration *socket_registration(int family, int protocol, int &err)
{
    const Registration *any = nullptr;
    bool family_known = false;
    for (const auto &[key, reg] : kernel().sockets) {
        if (key.first != family)
            continue;
        family_known = true;
        if (key.second == protocol)
            return &reg;
        if (key.second == kSimAnyProtocol)
            any = &reg;
    }
    err = family_known ? EPROTONOSUPPORT : EAFNOSUPPORT;
    return any;
}

// The socket behind a descriptor, or null with `err` set.
SimFile *socket_of(int fd, int &err)
{
    Desc *d = desc(fd);
    if (d == nullptr) {
        err = EBADF;
        return nullptr;
    }
    if (d->kind != DescKind::modelled || d->file->family == 0) {
        err = ENOTSOCK;
        return nullptr;
    }
    return d->file.get();
}

void journal_send(const SimFile &s, const struct msghdr *msg, ssize_t result)
{
    if (!journal_on())
        return;
    SimJournalEntry e;
    e.kind = SimEvent::send;
    e.node = s.path;
    e.result = static_cast<int>(result);
    std::vector<uint8_t> payload;
    for (size_t i = 0; i < msg->msg_iovlen; i++) {
        const auto *p = static_cast<const uint8_t *>(msg->msg_iov[i].iov_base);
        if (p)
            payload.insert(payload.end(), p, p + msg->msg_iov[i].iov_len);
    }
    sim_attach(e, "payload", payload.data(), payload.size());
    if (msg->msg_name && msg->msg_namelen > 0)
        sim_attach(e, "address", msg->msg_name, msg->msg_namelen);
    journal_push(std::move(e));
}

} // namespace

int sim_socket(int domain, int type, int protocol)
{
    Guard g;
    int err = 0;
    const Registration *reg = socket_registration(domain, protocol, err);
    if (reg == nullptr)
        return static_cast<int>(fail(-err));
    auto file = std::make_unique<SimFile>();
    file->path = std::string("socket:") + (reg->ops->name ? reg->ops->name : "");
    file->ops = reg->ops;
    file->ctx = reg->ctx;
    file->flags = (type & SOCK_NONBLOCK) ? O_NONBLOCK : 0;
    file->family = domain;
    file->type = type & ~kTypeFlags;
    file->protocol = protocol;
    return static_cast<int>(fail(open_modelled(std::move(file))));
}

int sim_bind(int fd, const struct sockaddr *addr, socklen_t len)
{
    Guard g;
    int err = 0;
    SimFile *s = socket_of(fd, err);
    if (s == nullptr)
        return static_cast<int>(fail(-err));
    if (int f = op_fault(SimFaultOp::bind, s->path))
        return static_cast<int>(fail(f));
    if (addr == nullptr)
        return static_cast<int>(fail(-EFAULT));
    return static_cast<int>(fail(s->ops->bind ? s->ops->bind(*s, addr, len) : -EOPNOTSUPP));
}

int sim_setsockopt(int fd, int level, int name, const void *value, socklen_t len)
{
    Guard g;
    int err = 0;
    SimFile *s = socket_of(fd, err);
    if (s == nullptr)
        return static_cast<int>(fail(-err));
    if (int f = op_fault(SimFaultOp::setsockopt, s->path))
        return static_cast<int>(fail(f));
    if (value == nullptr && len > 0)
        return static_cast<int>(fail(-EFAULT));
    return static_cast<int>(fail(s->ops->setsockopt ? s->ops->setsockopt(*s, level, name, value, len) : -ENOPROTOOPT));
}

ssize_t sim_sendmsg(int fd, const struct msghdr *msg, int flags)
{
    Guard g;
    int err = 0;
    SimFile *s = socket_of(fd, err);
    if (s == nullptr)
        return fail(-err);
    if (msg == nullptr || (msg->msg_iov == nullptr && msg->msg_iovlen > 0))
        return fail(-EFAULT);
    ssize_t r = op_fault(SimFaultOp::send, s->path);
    if (r == 0)
        r = s->ops->sendmsg ? s->ops->sendmsg(*s, msg, flags) : -EOPNOTSUPP;
    journal_send(*s, msg, r);
    return fail(r);
}

ssize_t sim_sendto(int fd, const void *buf, size_t len, int flags, const struct sockaddr *addr, socklen_t addrlen)
{
    struct iovec iov{const_cast<void *>(buf), len};  // sendmsg reads it only
    struct msghdr msg{};
    msg.msg_name = const_cast<struct sockaddr *>(addr);
    msg.msg_namelen = addr ? addrlen : 0;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (buf == nullptr && len > 0)
        return fail(-EFAULT);
    return sim_sendmsg(fd, &msg, flags);
}

ssize_t sim_recvmsg(int fd, struct msghdr *msg, int flags)
{
    Guard g;
    int err = 0;
    SimFile *s = socket_of(fd, err);
    if (s == nullptr)
        return fail(-err);
    if (msg == nullptr || (msg->msg_iov == nullptr && msg->msg_iovlen > 0))
        return fail(-EFAULT);
    if (int f = op_fault(SimFaultOp::recv, s->path))
        return fail(f);
    return fail(s->ops->recvmsg ? s->ops->recvmsg(*s, msg, flags) : -EOPNOTSUPP);
}

ssize_t sim_recvfrom(int fd, void *buf, size_t len, int flags, struct sockaddr *addr, socklen_t *addrlen)
{
    if (buf == nullptr && len > 0)
        return fail(-EFAULT);
    struct iovec iov{buf, len};
    struct msghdr msg{};
    msg.msg_name = addr;
    msg.msg_namelen = addr && addrlen ? *addrlen : 0;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    ssize_t r = sim_recvmsg(fd, &msg, flags);
    if (r >= 0 && addr && addrlen)
        *addrlen = msg.msg_namelen;
    return r;
}

} // namespace simk
