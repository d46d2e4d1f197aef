// Socket models: the netlink router and raw packet sockets; rules in sim_socket.h.
#include "sim/sim_socket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <csignal>
#include <linux/if_packet.h>
#include <linux/netlink.h>
#include <map>
#include <memory>
#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include "sim/sim_host.h"
#include "sim/sim_sched.h"

namespace {

constexpr uint32_t kFirstAutoPort = 0xFFFFF000u;
constexpr int kSolNetlink = 270;  // the netlink socket option level

// The kernel lock guards every model's state, here as elsewhere.
struct KernelHold {
    KernelHold() { sim_kernel_lock(); }
    ~KernelHold() { sim_kernel_unlock(); }
    KernelHold(const KernelHold &) = delete;
    KernelHold &operator=(const KernelHold &) = delete;
};

struct Datagram {
    uint32_t from;
    std::vector<uint8_t> bytes;
};

struct NlSock;

struct Router {
    int protocol = 0;
    std::map<uint32_t, NlSock *> sockets;
    std::map<uint32_t, SimNetlinkListener> listeners;
    uint32_t nextAuto = kFirstAutoPort;
};

struct NlSock {
    std::shared_ptr<Router> router;
    uint32_t port = 0;
    bool bound = false;
    std::deque<Datagram> queue;
    int64_t rcvTimeout = -1;  // virtual ns; < 0: none
};

struct PacketSock {
    int ifindex = 0;
    uint16_t protocol = 0;
};

struct SocketModels {
    std::map<int, std::shared_ptr<Router>> routers;
    std::vector<SimInterface> interfaces;
    size_t limit = 0;
    std::vector<SimFrame> frames;
    size_t sent = 0;
    size_t signalAfter = 0;  // raise `signal` once this many frames are sent (0: never)
    int signal = 0;
};

SocketModels &models()
{
    static SocketModels *state = new SocketModels;  // outlives every thread
    return *state;
}

std::vector<uint8_t> gather(const struct msghdr *msg)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < msg->msg_iovlen; i++) {
        const auto *p = static_cast<const uint8_t *>(msg->msg_iov[i].iov_base);
        if (p != nullptr)
            bytes.insert(bytes.end(), p, p + msg->msg_iov[i].iov_len);
    }
    return bytes;
}

// Copies into the caller's buffers; returns the bytes copied.
size_t scatter(const std::vector<uint8_t> &bytes, struct msghdr *msg)
{
    size_t done = 0;
    for (size_t i = 0; i < msg->msg_iovlen && done < bytes.size(); i++) {
        size_t n = std::min(msg->msg_iov[i].iov_len, bytes.size() - done);
        if (n > 0 && msg->msg_iov[i].iov_base != nullptr)
            std::memcpy(msg->msg_iov[i].iov_base, bytes.data() + done, n);
        done += n;
    }
    return done;
}

bool socket_type_ok(const SimFile &file)
{
    return file.type == SOCK_RAW || file.type == SOCK_DGRAM;
}

// ---- netlink ---------------------------------------------------------------------------

NlSock &nl(SimFile &file) { return *static_cast<NlSock *>(file.priv); }

bool port_taken(const Router &r, uint32_t port)
{
    return r.sockets.count(port) != 0 || r.listeners.count(port) != 0;
}

void nl_take_port(NlSock &s, uint32_t port)
{
    s.port = port;
    s.bound = true;
    s.router->sockets[port] = &s;
}

void nl_autobind(NlSock &s)
{
    Router &r = *s.router;
    auto port = static_cast<uint32_t>(kSchedPid);  // the process id's port first
    while (port_taken(r, port))
        port = r.nextAuto--;
    nl_take_port(s, port);
}

int deliver(Router &r, uint32_t from, uint32_t to, std::vector<uint8_t> bytes)
{
    auto listener = r.listeners.find(to);
    if (listener != r.listeners.end()) {
        SimNetlinkListener call = listener->second;  // it may listen or send itself
        call(from, bytes);
        return 0;
    }
    auto sock = r.sockets.find(to);
    if (sock == r.sockets.end())
        return -ECONNREFUSED;
    sock->second->queue.push_back(Datagram{from, std::move(bytes)});
    sim_file_notify();
    return 0;
}

int nl_open(SimFile &file)
{
    if (!socket_type_ok(file))
        return -ESOCKTNOSUPPORT;
    auto it = models().routers.find(file.protocol);
    if (it == models().routers.end())
        return -EPROTONOSUPPORT;
    auto *s = new NlSock;
    s->router = it->second;
    file.priv = s;
    return 0;
}

void nl_release(SimFile &file)
{
    auto *s = static_cast<NlSock *>(file.priv);
    if (s == nullptr)
        return;
    auto it = s->router->sockets.find(s->port);
    if (s->bound && it != s->router->sockets.end() && it->second == s)
        s->router->sockets.erase(it);
    delete s;
    file.priv = nullptr;
}

int nl_address(const void *addr, socklen_t len, uint32_t &port)
{
    if (len < sizeof(sockaddr_nl))
        return -EINVAL;
    sockaddr_nl a;
    std::memcpy(&a, addr, sizeof a);
    if (a.nl_family != AF_NETLINK)
        return -EINVAL;
    port = a.nl_pid;
    return 0;
}

int nl_bind(SimFile &file, const struct sockaddr *addr, socklen_t len)
{
    NlSock &s = nl(file);
    uint32_t port = 0;
    if (int rc = nl_address(addr, len, port))
        return rc;
    if (s.bound)
        return port == s.port ? 0 : -EINVAL;
    if (port == 0) {
        nl_autobind(s);
        return 0;
    }
    if (port_taken(*s.router, port))
        return -EADDRINUSE;
    nl_take_port(s, port);
    return 0;
}

int sock_setsockopt(int64_t *rcvTimeout, int level, int name, const void *value, socklen_t len)
{
    if (level == SOL_SOCKET && name == SO_RCVTIMEO && rcvTimeout != nullptr) {
        if (len < sizeof(timeval))
            return -EINVAL;
        timeval tv;
        std::memcpy(&tv, value, sizeof tv);
        if (tv.tv_usec < 0 || tv.tv_usec >= 1000000)
            return -EDOM;
        int64_t ns = tv.tv_sec < 0 ? 0 : static_cast<int64_t>(tv.tv_sec) * 1000000000 + tv.tv_usec * 1000;
        *rcvTimeout = tv.tv_sec == 0 && tv.tv_usec == 0 ? -1 : ns;
        return 0;
    }
    return level == SOL_SOCKET || level == kSolNetlink ? 0 : -ENOPROTOOPT;
}

int nl_setsockopt(SimFile &file, int level, int name, const void *value, socklen_t len)
{
    return sock_setsockopt(&nl(file).rcvTimeout, level, name, value, len);
}

ssize_t nl_sendmsg(SimFile &file, const struct msghdr *msg, int)
{
    NlSock &s = nl(file);
    uint32_t to = 0;
    if (msg->msg_name != nullptr && msg->msg_namelen > 0)
        if (int rc = nl_address(msg->msg_name, msg->msg_namelen, to))
            return rc;
    if (!s.bound)
        nl_autobind(s);
    std::vector<uint8_t> bytes = gather(msg);
    auto size = static_cast<ssize_t>(bytes.size());
    int rc = deliver(*s.router, s.port, to, std::move(bytes));
    return rc < 0 ? rc : size;
}

ssize_t nl_recvmsg(SimFile &file, struct msghdr *msg, int flags)
{
    NlSock &s = nl(file);
    bool nonblock = (file.flags & O_NONBLOCK) != 0 || (flags & MSG_DONTWAIT) != 0;
    while (s.queue.empty()) {
        if (nonblock)
            return -EAGAIN;
        if (!sim_kernel_wait([&s] { KernelHold h; return !s.queue.empty(); }, s.rcvTimeout))
            return -EAGAIN;
    }
    const Datagram &d = s.queue.front();
    size_t copied = scatter(d.bytes, msg);
    msg->msg_flags = copied < d.bytes.size() ? MSG_TRUNC : 0;
    msg->msg_controllen = 0;
    if (msg->msg_name != nullptr) {
        sockaddr_nl a{};
        a.nl_family = AF_NETLINK;
        a.nl_pid = d.from;
        std::memcpy(msg->msg_name, &a, std::min<size_t>(msg->msg_namelen, sizeof a));
        msg->msg_namelen = sizeof a;
    }
    auto result = static_cast<ssize_t>((flags & MSG_TRUNC) != 0 ? d.bytes.size() : copied);
    if ((flags & MSG_PEEK) == 0)
        s.queue.pop_front();
    return result;
}

short nl_poll(SimFile &file)
{
    return static_cast<short>(POLLOUT | (nl(file).queue.empty() ? 0 : POLLIN));
}

constexpr SimFileOps kNetlinkOps = {
    .name = "netlink", .mode = S_IFSOCK | 0777, .open = nl_open, .release = nl_release,
    .read = nullptr, .write = nullptr, .requests = nullptr, .requestCount = 0,
    .mmap = nullptr, .munmap = nullptr, .poll = nl_poll, .bind = nl_bind,
    .setsockopt = nl_setsockopt, .sendmsg = nl_sendmsg, .recvmsg = nl_recvmsg,
};

// ---- packet sockets ---------------------------------------------------------------------

PacketSock &pk(SimFile &file) { return *static_cast<PacketSock *>(file.priv); }

bool interface_known(int index)
{
    const auto &ifs = models().interfaces;
    return std::any_of(ifs.begin(), ifs.end(), [index](const SimInterface &i) { return i.index == index; });
}

int pk_ifindex(const SimCall &call, SimJournalEntry &)
{
    auto *req = static_cast<struct ifreq *>(call.arg);
    std::string name(req->ifr_name, strnlen(req->ifr_name, IFNAMSIZ - 1));
    for (const SimInterface &i : models().interfaces) {
        if (i.name == name) {
            req->ifr_ifindex = i.index;
            return 0;
        }
    }
    return -ENODEV;
}

constexpr SimRequest kPacketRequests[] = {
    {SIOCGIFINDEX, sizeof(struct ifreq), pk_ifindex},
};

int pk_open(SimFile &file)
{
    if (!socket_type_ok(file))
        return -ESOCKTNOSUPPORT;
    file.priv = new PacketSock{0, ntohs(static_cast<uint16_t>(file.protocol))};
    return 0;
}

void pk_release(SimFile &file)
{
    delete static_cast<PacketSock *>(file.priv);
    file.priv = nullptr;
}

int pk_address(const void *addr, socklen_t len, sockaddr_ll &out)
{
    if (len < sizeof(sockaddr_ll))
        return -EINVAL;
    std::memcpy(&out, addr, sizeof out);
    return out.sll_family == AF_PACKET ? 0 : -EINVAL;
}

int pk_bind(SimFile &file, const struct sockaddr *addr, socklen_t len)
{
    sockaddr_ll a;
    if (int rc = pk_address(addr, len, a))
        return rc;
    if (a.sll_ifindex != 0 && !interface_known(a.sll_ifindex))
        return -ENODEV;
    pk(file).ifindex = a.sll_ifindex;
    if (a.sll_protocol != 0)
        pk(file).protocol = ntohs(a.sll_protocol);
    return 0;
}

int pk_setsockopt(SimFile &, int level, int name, const void *value, socklen_t len)
{
    return sock_setsockopt(nullptr, level, name, value, len);
}

ssize_t pk_sendmsg(SimFile &file, const struct msghdr *msg, int)
{
    int ifindex = pk(file).ifindex;
    uint16_t protocol = pk(file).protocol;
    if (msg->msg_name != nullptr && msg->msg_namelen > 0) {
        sockaddr_ll a;
        if (int rc = pk_address(msg->msg_name, msg->msg_namelen, a))
            return rc;
        ifindex = a.sll_ifindex;
        if (a.sll_protocol != 0)
            protocol = ntohs(a.sll_protocol);
    }
    if (ifindex == 0 || !interface_known(ifindex))
        return -ENXIO;
    SocketModels &m = models();
    std::vector<uint8_t> bytes = gather(msg);
    auto size = static_cast<ssize_t>(bytes.size());
    m.sent++;
    if (m.frames.size() < m.limit)
        m.frames.push_back(SimFrame{ifindex, protocol, std::move(bytes), sched_now_ns()});
    if (m.signalAfter != 0 && m.sent == m.signalAfter)
        std::raise(m.signal);   // in the sending thread, as a terminal's interrupt would land
    return size;
}

constexpr SimFileOps kPacketOps = {
    .name = "packet", .mode = S_IFSOCK | 0777, .open = pk_open, .release = pk_release,
    .read = nullptr, .write = nullptr, .requests = kPacketRequests, .requestCount = std::size(kPacketRequests),
    .mmap = nullptr, .munmap = nullptr, .poll = nullptr, .bind = pk_bind,
    .setsockopt = pk_setsockopt, .sendmsg = pk_sendmsg, .recvmsg = nullptr,
};

std::shared_ptr<Router> router_of(int protocol)
{
    auto it = models().routers.find(protocol);
    return it == models().routers.end() ? nullptr : it->second;
}

} // namespace

// ---- netlink -------------------------------------------------------------------------------

void sim_netlink_add(int protocol)
{
    KernelHold h;
    auto r = std::make_shared<Router>();
    r->protocol = protocol;
    models().routers[protocol] = r;
    sim_register_socket(AF_NETLINK, protocol, &kNetlinkOps, r.get());
}

int sim_netlink_listen(int protocol, uint32_t port, SimNetlinkListener listener)
{
    KernelHold h;
    std::shared_ptr<Router> r = router_of(protocol);
    if (r == nullptr)
        return -EPROTONOSUPPORT;
    if (port_taken(*r, port))
        return -EADDRINUSE;
    r->listeners[port] = std::move(listener);
    return 0;
}

int sim_netlink_send(int protocol, uint32_t from, uint32_t to, const std::vector<uint8_t> &payload)
{
    KernelHold h;
    std::shared_ptr<Router> r = router_of(protocol);
    return r == nullptr ? -EPROTONOSUPPORT : deliver(*r, from, to, payload);
}

void sim_netlink_send_at(int protocol, uint32_t from, uint32_t to, std::vector<uint8_t> payload, uint64_t when_ns)
{
    sched_at(when_ns, [protocol, from, to, bytes = std::move(payload)] {
        sim_netlink_send(protocol, from, to, bytes);  // nobody there by then: dropped
    });
}

bool sim_netlink_bound(int protocol, uint32_t port)
{
    KernelHold h;
    std::shared_ptr<Router> r = router_of(protocol);
    return r != nullptr && port_taken(*r, port);
}

// ---- packet sockets ---------------------------------------------------------------------------

void sim_packet_add(const std::vector<SimInterface> &interfaces, size_t limit)
{
    KernelHold h;
    SocketModels &m = models();
    m.interfaces = interfaces;
    m.limit = limit;
    m.frames.clear();
    m.sent = 0;
    m.signalAfter = 0;
    sim_register_socket(AF_PACKET, kSimAnyProtocol, &kPacketOps, nullptr);
}

std::vector<SimFrame> sim_packet_frames()
{
    KernelHold h;
    return models().frames;
}

size_t sim_packet_sent()
{
    KernelHold h;
    return models().sent;
}

void sim_packet_clear()
{
    KernelHold h;
    models().frames.clear();
    models().sent = 0;
}

void sim_packet_signal_after(size_t frames, int signal)
{
    KernelHold h;
    models().signalAfter = frames;
    models().signal = signal;
}
