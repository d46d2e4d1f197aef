// Socket models: netlink ports and datagrams (now and at a virtual time),
// packet sockets' interface indexes, frame capture and faults.
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <linux/netlink.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "sim/sim_sched.h"
#include "sim/sim_socket.h"
#include "support/sim_fixture.h"

namespace {

constexpr int kProto = 30;
constexpr uint64_t kMs = 1000000;

using Bytes = std::vector<uint8_t>;

class SimSocketTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        sim_netlink_add(kProto);
        sim_packet_add({{"eth0", 2}, {"eth1", 5}}, 2);
    }

    int nl_socket(int type = SOCK_RAW)
    {
        int fd = host().socket(AF_NETLINK, type, kProto);
        EXPECT_GE(fd, 0);
        return fd;
    }

    static int nl_bind(int fd, uint32_t port)
    {
        sockaddr_nl a{};
        a.nl_family = AF_NETLINK;
        a.nl_pid = port;
        return host().bind(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a);
    }

    static ssize_t nl_send(int fd, uint32_t to, const Bytes &bytes)
    {
        sockaddr_nl a{};
        a.nl_family = AF_NETLINK;
        a.nl_pid = to;
        return host().sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr *>(&a), sizeof a);
    }

    // Receives one datagram; `from` gets the sender's port.
    static Bytes nl_recv(int fd, uint32_t &from, int flags = 0)
    {
        Bytes buf(64);
        sockaddr_nl a{};
        socklen_t len = sizeof a;
        ssize_t n = host().recvfrom(fd, buf.data(), buf.size(), flags, reinterpret_cast<sockaddr *>(&a), &len);
        if (n < 0)
            return {};
        EXPECT_EQ(len, sizeof a);
        from = a.nl_pid;
        buf.resize(static_cast<size_t>(n));
        return buf;
    }
};

// The model at port 0 answers each request with its bytes reversed.
TEST_F(SimSocketTest, NetlinkRoundTripWithAModel)
{
    ASSERT_EQ(sim_netlink_listen(kProto, 0, [](uint32_t from, const Bytes &payload) {
        EXPECT_EQ(sim_netlink_send(kProto, 0, from, Bytes(payload.rbegin(), payload.rend())), 0);
    }), 0);
    int fd = nl_socket();
    ASSERT_EQ(nl_bind(fd, static_cast<uint32_t>(host().gettid())), 0);
    ASSERT_EQ(nl_send(fd, 0, {1, 2, 3}), 3);
    uint32_t from = 99;
    EXPECT_EQ(nl_recv(fd, from), (Bytes{3, 2, 1}));
    EXPECT_EQ(from, 0u);
    ASSERT_FALSE(sim_journal().empty());
    const SimJournalEntry &sent = sim_journal().back();
    EXPECT_EQ(sent.kind, SimEvent::send);
    ASSERT_NE(sim_attachment(sent, "payload"), nullptr);
    EXPECT_EQ(sim_attachment(sent, "payload")->bytes, (Bytes{1, 2, 3}));
    host().close(fd);
}

TEST_F(SimSocketTest, SocketsTalkAndSendersBindThemselves)
{
    int a = nl_socket(), b = nl_socket(SOCK_DGRAM);
    ASSERT_EQ(nl_bind(b, 700), 0);
    ASSERT_EQ(nl_send(a, 700, {9}), 1);  // a takes the thread's id as its port
    uint32_t from = 0;
    EXPECT_EQ(nl_recv(b, from), (Bytes{9}));
    EXPECT_EQ(from, static_cast<uint32_t>(host().gettid()));
    EXPECT_TRUE(sim_netlink_bound(kProto, from));
    errno = 0;
    EXPECT_EQ(nl_send(a, 701, {1}), -1);
    EXPECT_EQ(errno, ECONNREFUSED);
    host().close(a);
    EXPECT_FALSE(sim_netlink_bound(kProto, from)) << "closing frees the port";
    host().close(b);
}

TEST_F(SimSocketTest, PortsAreTakenOnce)
{
    ASSERT_EQ(sim_netlink_listen(kProto, 0, [](uint32_t, const Bytes &) {}), 0);
    EXPECT_EQ(sim_netlink_listen(kProto, 0, [](uint32_t, const Bytes &) {}), -EADDRINUSE);
    int a = nl_socket(), b = nl_socket(), c = nl_socket();
    ASSERT_EQ(nl_bind(a, 500), 0);
    struct Case {
        int fd;
        uint32_t port;
        int err;
    } const cases[] = {
        {b, 500, EADDRINUSE},  // a holds it
        {b, 0x0, 0},           // the thread's id
        {c, static_cast<uint32_t>(host().gettid()), EADDRINUSE},
        {a, 500, 0},           // the same port again
        {a, 501, EINVAL},      // bound already
    };
    for (const Case &k : cases) {
        errno = 0;
        EXPECT_EQ(nl_bind(k.fd, k.port), k.err ? -1 : 0) << k.port;
        EXPECT_EQ(errno, k.err) << k.port;
    }
    sockaddr_nl wrong{};
    wrong.nl_family = AF_INET;
    EXPECT_EQ(host().bind(c, reinterpret_cast<const sockaddr *>(&wrong), sizeof wrong), -1);
    EXPECT_EQ(errno, EINVAL);
    host().close(a);
    EXPECT_EQ(nl_bind(c, 500), 0) << "a closed socket's port is free";
    host().close(b);
    host().close(c);
}

TEST_F(SimSocketTest, UnservedProtocolsAreRefused)
{
    EXPECT_EQ(host().socket(AF_NETLINK, SOCK_RAW, kProto + 1), -1);
    EXPECT_EQ(errno, EPROTONOSUPPORT);
    EXPECT_EQ(sim_netlink_listen(kProto + 1, 0, [](uint32_t, const Bytes &) {}), -EPROTONOSUPPORT);
    EXPECT_EQ(host().socket(AF_NETLINK, SOCK_STREAM, kProto), -1);
    EXPECT_EQ(errno, ESOCKTNOSUPPORT);
}

// A datagram the model sends later reaches a blocked receiver then, and a
// receive time-out runs in virtual time.
TEST_F(SimSocketTest, LaterDatagramWakesABlockedReceiver)
{
    int fd = nl_socket();
    ASSERT_EQ(nl_bind(fd, 800), 0);
    uint32_t from = 0;
    EXPECT_TRUE(nl_recv(fd, from, MSG_DONTWAIT).empty());
    EXPECT_EQ(errno, EAGAIN);

    sim_netlink_send_at(kProto, 0, 800, {7, 7}, 5 * kMs);
    EXPECT_EQ(nl_recv(fd, from), (Bytes{7, 7}));
    EXPECT_EQ(sim_clock_ns(), 5 * kMs);

    sim_netlink_send_at(kProto, 0, 800, {8}, 9 * kMs);
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(host().poll(&p, 1, 100), 1);
    EXPECT_EQ(p.revents, POLLIN);
    EXPECT_EQ(sim_clock_ns(), 9 * kMs);
    EXPECT_EQ(nl_recv(fd, from), (Bytes{8}));

    timeval tv{0, 2000};
    ASSERT_EQ(host().setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv), 0);
    EXPECT_TRUE(nl_recv(fd, from).empty());
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(sim_clock_ns(), 11 * kMs);
    host().close(fd);
}

// The receiver is another thread: it wakes at the datagram's time while the
// main thread sleeps longer.
TEST_F(SimSocketTest, BlockedReceiverThreadWakesAtTheRightTime)
{
    int fd = nl_socket();
    ASSERT_EQ(nl_bind(fd, 900), 0);
    struct Seen {
        int fd;
        std::atomic<uint64_t> at{0};
        std::atomic<size_t> size{0};
    } seen{fd};
    pthread_t t{};
    ASSERT_EQ(host().pthread_create(&t, nullptr, [](void *p) -> void * {
        auto *s = static_cast<Seen *>(p);
        uint8_t buf[16];
        ssize_t n = host().recvfrom(s->fd, buf, sizeof buf, 0, nullptr, nullptr);
        s->at = sim_clock_ns();
        s->size = static_cast<size_t>(n);
        return nullptr;
    }, &seen), 0);
    sim_netlink_send_at(kProto, 0, 900, {1, 2, 3, 4}, 3 * kMs);
    host().usleep(10000);
    ASSERT_EQ(host().pthread_join(t, nullptr), 0);
    EXPECT_EQ(seen.at.load(), 3 * kMs);
    EXPECT_EQ(seen.size.load(), 4u);
    EXPECT_EQ(sim_clock_ns(), 10 * kMs);
    host().close(fd);
}

TEST_F(SimSocketTest, TruncationAndPeek)
{
    int fd = nl_socket();
    ASSERT_EQ(nl_bind(fd, 1000), 0);
    ASSERT_EQ(sim_netlink_send(kProto, 0, 1000, {1, 2, 3, 4, 5, 6, 7, 8}), 0);
    uint8_t small[4];
    iovec iov{small, sizeof small};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    EXPECT_EQ(host().recvmsg(fd, &msg, MSG_PEEK | MSG_TRUNC), 8);
    EXPECT_EQ(msg.msg_flags, MSG_TRUNC);
    EXPECT_EQ(host().recvmsg(fd, &msg, 0), 4);
    EXPECT_EQ(small[3], 4);
    EXPECT_EQ(host().recvmsg(fd, &msg, MSG_DONTWAIT), -1) << "the truncated datagram is gone";
    EXPECT_EQ(errno, EAGAIN);
    host().close(fd);
}

// ---- packet sockets ---------------------------------------------------------------

int packet_socket()
{
    int fd = host().socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
    EXPECT_GE(fd, 0);
    return fd;
}

int if_index(int fd, const char *name)
{
    ifreq req{};
    std::strncpy(req.ifr_name, name, IFNAMSIZ - 1);
    return host_ioctl(fd, SIOCGIFINDEX, &req) == 0 ? req.ifr_ifindex : -errno;
}

sockaddr_ll link_address(int ifindex)
{
    sockaddr_ll a{};
    a.sll_family = AF_PACKET;
    a.sll_protocol = htons(0x88B5);
    a.sll_ifindex = ifindex;
    return a;
}

TEST_F(SimSocketTest, PacketInterfaceIndexes)
{
    int fd = packet_socket();
    struct Case {
        const char *name;
        int result;
    } const cases[] = {{"eth0", 2}, {"eth1", 5}, {"eth2", -ENODEV}, {"", -ENODEV}, {"eth", -ENODEV}};
    for (const Case &c : cases)
        EXPECT_EQ(if_index(fd, c.name), c.result) << c.name;
    EXPECT_EQ(host_ioctl(fd, SIOCGIFINDEX, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    sim_fail_request("socket:packet", SIOCGIFINDEX, EPERM, 1);
    EXPECT_EQ(if_index(fd, "eth0"), -EPERM);
    EXPECT_EQ(if_index(fd, "eth0"), 2);
    host().close(fd);
}

TEST_F(SimSocketTest, PacketFramesAreCapturedWithinTheLimit)
{
    int fd = packet_socket();
    const Bytes frame(60, 0xAB);
    errno = 0;
    EXPECT_EQ(host().sendto(fd, frame.data(), frame.size(), 0, nullptr, 0), -1) << "no interface";
    EXPECT_EQ(errno, ENXIO);
    sockaddr_ll bad = link_address(3);
    EXPECT_EQ(host().bind(fd, reinterpret_cast<const sockaddr *>(&bad), sizeof bad), -1);
    EXPECT_EQ(errno, ENODEV);

    sockaddr_ll eth1 = link_address(5);
    ASSERT_EQ(host().bind(fd, reinterpret_cast<const sockaddr *>(&eth1), sizeof eth1), 0);
    host().usleep(7);
    EXPECT_EQ(host().sendto(fd, frame.data(), frame.size(), 0, nullptr, 0), 60);
    sockaddr_ll eth0 = link_address(2);
    EXPECT_EQ(host().sendto(fd, frame.data(), 14, 0, reinterpret_cast<const sockaddr *>(&eth0), sizeof eth0), 14);
    EXPECT_EQ(host().sendto(fd, frame.data(), 20, 0, nullptr, 0), 20);

    std::vector<SimFrame> frames = sim_packet_frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(sim_packet_sent(), 3u);
    EXPECT_EQ(frames[0].ifindex, 5);
    EXPECT_EQ(frames[0].protocol, 0x88B5);
    EXPECT_EQ(frames[0].bytes, frame);
    EXPECT_EQ(frames[0].at_ns, 7000u);
    EXPECT_EQ(frames[1].ifindex, 2);
    EXPECT_EQ(frames[1].bytes.size(), 14u);
    sim_packet_clear();
    EXPECT_TRUE(sim_packet_frames().empty());

    sim_fail_op(SimFaultOp::send, "socket:packet", EIO, 2);
    EXPECT_EQ(host().sendto(fd, frame.data(), 20, 0, nullptr, 0), 20);
    EXPECT_EQ(host().sendto(fd, frame.data(), 20, 0, nullptr, 0), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(sim_packet_sent(), 1u) << "a failed send is not captured";
    sim_fail_op(SimFaultOp::bind, "socket:packet", EPERM);
    EXPECT_EQ(host().bind(fd, reinterpret_cast<const sockaddr *>(&eth1), sizeof eth1), -1);
    EXPECT_EQ(errno, EPERM);
    host().close(fd);
}

} // namespace
