// The simulated kernel's memory, ports, journal and socket plumbing.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>

#include "support/sim_fixture.h"

namespace {

class KernelMemTest : public SimTest {};

TEST_F(KernelMemTest, TwoMappingsOfOneRangeShareTheirBytes)
{
    int fd = host().open("/dev/mem", O_RDWR | O_SYNC, 0);
    ASSERT_GE(fd, 0);
    constexpr off_t kBase = off_t{4} << 30;  // above 4 GiB, as a reserved region is
    auto *a = static_cast<uint8_t *>(host().mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_SHARED, fd, kBase));
    auto *b = static_cast<uint8_t *>(host().mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, kBase + 4096));
    ASSERT_NE(a, MAP_FAILED);
    ASSERT_NE(b, MAP_FAILED);
    host().close(fd);
    EXPECT_EQ(b[16], 0) << "untouched memory reads zero";
    a[4096 + 16] = 0x5A;
    EXPECT_EQ(b[16], 0x5A);
    uint8_t seen = 0;
    sim_phys_read(static_cast<uint64_t>(kBase) + 4096 + 16, &seen, 1);
    EXPECT_EQ(seen, 0x5A);

    std::vector<SimMapping> maps = sim_mappings();
    ASSERT_EQ(maps.size(), 2u);
    EXPECT_EQ(maps[0].node, "/dev/mem");
    EXPECT_EQ(maps[0].offset, kBase);
    EXPECT_EQ(maps[0].length, 8192u);
    EXPECT_EQ(maps[0].prot, PROT_READ | PROT_WRITE);
    EXPECT_EQ(maps[1].flags, MAP_SHARED);

    EXPECT_EQ(host().munmap(a, 4096), 0);
    maps = sim_mappings();
    ASSERT_EQ(maps.size(), 2u) << "the second half of the first mapping stays";
    EXPECT_EQ(maps[0].offset, kBase + 4096);
    EXPECT_EQ(a[4096 + 16], 0x5A);
    EXPECT_EQ(host().munmap(a + 4096, 4096), 0);
    EXPECT_EQ(host().munmap(b, 4096), 0);
    EXPECT_TRUE(sim_mappings().empty());
}

TEST_F(KernelMemTest, MprotectIsRecordedAndRefusesUnalignedAddresses)
{
    int fd = host().open("/dev/mem", O_RDWR, 0);
    auto *p = static_cast<uint8_t *>(host().mmap(nullptr, 8192, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0x100000));
    host().close(fd);
    ASSERT_NE(p, MAP_FAILED);
    EXPECT_EQ(host().mprotect(p + 1, 4096, PROT_READ), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(host().mprotect(p, 8192, PROT_READ), 0);
    EXPECT_EQ(sim_mappings().at(0).prot, PROT_READ);
    const SimJournalEntry &e = sim_journal().back();
    EXPECT_EQ(e.kind, SimEvent::protect);
    EXPECT_EQ(e.value, static_cast<uint64_t>(PROT_READ));
    EXPECT_EQ(host().munmap(p + 1, 4096), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(host().munmap(p, 8192), 0);
}

TEST_F(KernelMemTest, MappingFailuresAreInjectable)
{
    int fd = host().open("/dev/mem", O_RDWR, 0);
    sim_fail_op(SimFaultOp::mmap, "/dev/mem", ENOMEM, 2);
    void *first = host().mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
    EXPECT_NE(first, MAP_FAILED);
    EXPECT_EQ(host().mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0), MAP_FAILED);
    EXPECT_EQ(errno, ENOMEM);
    EXPECT_EQ(sim_journal().back().kind, SimEvent::map);
    EXPECT_EQ(sim_journal().back().result, -ENOMEM);
    EXPECT_EQ(host().mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 100), MAP_FAILED) << "unaligned offset";
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(sim_mappings().size(), 1u);
    host().munmap(first, 4096);
    host().close(fd);
}

TEST_F(KernelMemTest, PhysicalWindowsAnswerTheAccessors)
{
    struct Hpet {
        uint64_t counter = 0x1000;
        uint32_t written = 0;
    } hpet;
    SimMmioRegion w;
    w.base = 0xFED00000;
    w.size = 0x400;
    w.ctx = &hpet;
    w.read = [](void *ctx, size_t offset, int) -> uint64_t { return offset == 0xF0 ? static_cast<Hpet *>(ctx)->counter++ : 0; };
    w.write = [](void *ctx, size_t, uint64_t value, int) { static_cast<Hpet *>(ctx)->written = static_cast<uint32_t>(value); };
    sim_add_phys_window(w);

    int fd = host().open("/dev/mem", O_RDWR, 0);
    auto *p = static_cast<uint8_t *>(host().mmap(nullptr, 0x2000, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0xFED00000));
    host().close(fd);
    ASSERT_NE(p, MAP_FAILED);
    EXPECT_EQ(host().mmio_read64(p + 0xF0), 0x1000u);
    EXPECT_EQ(host().mmio_read64(p + 0xF0), 0x1001u);
    host().mmio_write32(p + 0x10, 3);
    EXPECT_EQ(hpet.written, 3u);
    host().mmio_write32(p + 0x1000, 7);  // beyond the window: plain memory
    EXPECT_EQ(host().mmio_read32(p + 0x1000), 7u);

    const auto &j = sim_journal();
    std::vector<std::pair<SimEvent, uint64_t>> seen;
    for (const SimJournalEntry &e : j)
        if (e.kind == SimEvent::mmio_read || e.kind == SimEvent::mmio_write)
            seen.emplace_back(e.kind, e.address);
    EXPECT_EQ(seen, (std::vector<std::pair<SimEvent, uint64_t>>{
                        {SimEvent::mmio_read, 0xFED000F0}, {SimEvent::mmio_read, 0xFED000F0}, {SimEvent::mmio_write, 0xFED00010}}));
    host().munmap(p, 0x2000);
}

TEST_F(KernelMemTest, PortsAreClaimedByRange)
{
    sim_reset(root_);  // a bare kernel: the board's own bus claims the configuration ports
    struct PciConfig {
        uint32_t address = 0;
    } pci;
    static uint8_t post;
    ASSERT_TRUE(sim_add_ports({0xCF8, 0xCFF, &pci,
                               [](void *ctx, uint16_t port, int) -> uint32_t {
                                   auto *c = static_cast<PciConfig *>(ctx);
                                   return port == 0xCF8 ? c->address : (c->address == 0x80000000u ? 0x8086 : 0xFFFFFFFFu);
                               },
                               [](void *ctx, uint16_t port, uint32_t v, int) {
                                   if (port == 0xCF8)
                                       static_cast<PciConfig *>(ctx)->address = v;
                               }}));
    ASSERT_TRUE(sim_add_ports({0x80, 0x80, nullptr, nullptr, [](void *, uint16_t, uint32_t v, int) { post = static_cast<uint8_t>(v); }}));
    EXPECT_FALSE(sim_add_ports({0xCFC, 0xD00, nullptr, nullptr, nullptr})) << "overlaps the configuration ports";
    EXPECT_FALSE(sim_add_ports({0x90, 0x8F, nullptr, nullptr, nullptr}));

    host().outl(0x80000000u, 0xCF8);
    EXPECT_EQ(host().inl(0xCFC), 0x8086u);
    host().outb(0x42, 0x80);
    EXPECT_EQ(post, 0x42);
    EXPECT_EQ(host().inb(0x80), 0xFF) << "a claim without reads answers all ones";
    EXPECT_EQ(host().inw(0x2F8), 0xFFFF) << "nobody claimed it";

    const SimJournalEntry &last = sim_journal().back();
    EXPECT_EQ(last.kind, SimEvent::port_in);
    EXPECT_EQ(last.address, 0x2F8u);
    EXPECT_EQ(last.length, 2u);
    EXPECT_EQ(sim_journal()[0].kind, SimEvent::port_out);
    EXPECT_EQ(sim_journal()[0].value, 0x80000000u);
}

// ---- journal ----------------------------------------------------------------------

struct Value {
    uint32_t v;
};

int take(const SimCall &call, SimJournalEntry &)
{
    uint32_t v = static_cast<Value *>(call.arg)->v;
    sim_journal_attach("data", &v, sizeof v);
    return 0;
}

constexpr SimRequest kTakeRows[] = {{7, sizeof(Value), take}};
constexpr SimFileOps kTakeOps = {
    .name = "take", .mode = 0, .open = nullptr, .release = nullptr,
    .read = nullptr, .write = nullptr, .requests = kTakeRows, .requestCount = 1,
    .mmap = nullptr, .munmap = nullptr, .poll = nullptr, .bind = nullptr,
    .setsockopt = nullptr, .sendmsg = nullptr, .recvmsg = nullptr,
};

TEST_F(KernelMemTest, JournalAttachmentsBoundsAndSwitch)
{
    sim_register_file("/dev/take", &kTakeOps, nullptr);
    int fd = host().open("/dev/take", O_RDWR, 0);
    ASSERT_GE(fd, 0);
    sim_journal_limit(3);
    for (uint32_t i = 0; i < 10; i++) {
        Value v{i};
        ASSERT_EQ(host_ioctl(fd, 7, &v), 0);
    }
    const auto &j = sim_journal();
    ASSERT_EQ(j.size(), 3u) << "the last three";
    for (uint32_t i = 0; i < 3; i++) {
        const SimAttachment *a = sim_attachment(j[i], "data");
        ASSERT_NE(a, nullptr);
        uint32_t v;
        std::memcpy(&v, a->bytes.data(), sizeof v);
        EXPECT_EQ(v, 7 + i);
    }
    EXPECT_EQ(sim_attachment(j[0], "none"), nullptr);

    sim_journal_limit(0);
    sim_clear_journal();
    sim_journal_enable(false);
    constexpr uint32_t kBulk = 1100000;
    Value v{1};
    for (uint32_t i = 0; i < kBulk; i++)
        if (host_ioctl(fd, 7, &v) != 0)
            FAIL() << "request " << i;
    EXPECT_TRUE(sim_journal().empty());
    sim_journal_enable(true);
    host().system("true");
    ASSERT_EQ(sim_journal().size(), 1u);
    EXPECT_EQ(sim_journal()[0].kind, SimEvent::shell);
    EXPECT_EQ(sim_journal()[0].node, "true");
    EXPECT_EQ(sim_journal()[0].result, 127 << 8);
    host().close(fd);
}

// ---- sockets -------------------------------------------------------------------------

// A loopback: what is sent comes back on the next receive, with the address.
struct Loop {
    std::vector<uint8_t> queued;
    std::vector<uint8_t> from;
    int bound = 0;
};

ssize_t loop_send(SimFile &s, const struct msghdr *msg, int)
{
    auto &l = *static_cast<Loop *>(s.ctx);
    l.queued.clear();
    for (size_t i = 0; i < msg->msg_iovlen; i++) {
        const auto *p = static_cast<const uint8_t *>(msg->msg_iov[i].iov_base);
        l.queued.insert(l.queued.end(), p, p + msg->msg_iov[i].iov_len);
    }
    const auto *name = static_cast<const uint8_t *>(msg->msg_name);
    l.from.assign(name, name + msg->msg_namelen);
    sim_file_notify();
    return static_cast<ssize_t>(l.queued.size());
}

ssize_t loop_recv(SimFile &s, struct msghdr *msg, int)
{
    auto &l = *static_cast<Loop *>(s.ctx);
    if (l.queued.empty())
        return -EAGAIN;
    size_t n = std::min(l.queued.size(), msg->msg_iov[0].iov_len);
    std::memcpy(msg->msg_iov[0].iov_base, l.queued.data(), n);
    size_t name = std::min<size_t>(msg->msg_namelen, l.from.size());
    if (msg->msg_name)
        std::memcpy(msg->msg_name, l.from.data(), name);
    msg->msg_namelen = static_cast<socklen_t>(l.from.size());
    l.queued.clear();
    return static_cast<ssize_t>(n);
}

int loop_bind(SimFile &s, const struct sockaddr *, socklen_t)
{
    static_cast<Loop *>(s.ctx)->bound++;
    return 0;
}

short loop_poll(SimFile &s) { return static_cast<short>(POLLOUT | (static_cast<Loop *>(s.ctx)->queued.empty() ? 0 : POLLIN)); }

constexpr SimFileOps kLoopOps = {
    .name = "loop", .mode = 0, .open = nullptr, .release = nullptr,
    .read = nullptr, .write = nullptr, .requests = nullptr, .requestCount = 0,
    .mmap = nullptr, .munmap = nullptr, .poll = loop_poll, .bind = loop_bind,
    .setsockopt = nullptr, .sendmsg = loop_send, .recvmsg = loop_recv,
};

constexpr int kFamily = AF_CAN;  // any family nothing else on the board models
constexpr int kProtocol = 1;

TEST_F(KernelMemTest, SocketsDispatchByFamilyAndProtocol)
{
    Loop loop;
    sim_register_socket(kFamily, kProtocol, &kLoopOps, &loop);
    EXPECT_EQ(host().socket(AF_INET6, SOCK_DGRAM, 0), -1);
    EXPECT_EQ(errno, EAFNOSUPPORT);
    EXPECT_EQ(host().socket(kFamily, SOCK_RAW, 2), -1);
    EXPECT_EQ(errno, EPROTONOSUPPORT);

    int s = host().socket(kFamily, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, kProtocol);
    ASSERT_GE(s, 0);
    ASSERT_LT(s, 64);
    EXPECT_EQ(sim_file(s)->type, SOCK_RAW);
    EXPECT_EQ(sim_file(s)->flags & O_NONBLOCK, O_NONBLOCK);
    struct sockaddr addr{};
    addr.sa_family = kFamily;
    EXPECT_EQ(host().bind(s, &addr, sizeof addr), 0);
    EXPECT_EQ(loop.bound, 1);
    int one = 1;
    EXPECT_EQ(host().setsockopt(s, SOL_SOCKET, SO_RCVBUF, &one, sizeof one), -1);
    EXPECT_EQ(errno, ENOPROTOOPT);

    struct pollfd p{s, POLLIN, 0};
    EXPECT_EQ(host().poll(&p, 1, 0), 0);
    EXPECT_EQ(host().sendto(s, "ping", 4, 0, &addr, sizeof addr), 4);
    EXPECT_EQ(host().poll(&p, 1, 0), 1);
    char buf[16] = {};
    struct sockaddr from{};
    socklen_t fromLen = sizeof from;
    EXPECT_EQ(host().recvfrom(s, buf, sizeof buf, 0, &from, &fromLen), 4);
    EXPECT_STREQ(buf, "ping");
    EXPECT_EQ(fromLen, sizeof addr);
    EXPECT_EQ(from.sa_family, kFamily);
    EXPECT_EQ(host().recvfrom(s, buf, sizeof buf, 0, nullptr, nullptr), -1);
    EXPECT_EQ(errno, EAGAIN);

    const SimJournalEntry &sent = sim_journal().back();
    EXPECT_EQ(sent.kind, SimEvent::send);
    EXPECT_EQ(sent.node, "socket:loop");
    ASSERT_NE(sim_attachment(sent, "payload"), nullptr);
    EXPECT_EQ(sim_attachment(sent, "payload")->bytes, (std::vector<uint8_t>{'p', 'i', 'n', 'g'}));
    EXPECT_NE(sim_attachment(sent, "address"), nullptr);

    sim_fail_op(SimFaultOp::send, "socket:loop", ENOBUFS, 1);
    EXPECT_EQ(host().sendto(s, "x", 1, 0, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOBUFS);
    EXPECT_EQ(sim_journal().back().result, -ENOBUFS);
    sim_fail_op(SimFaultOp::recv, "socket:loop", EINTR, 1);
    EXPECT_EQ(host().recvfrom(s, buf, sizeof buf, 0, nullptr, nullptr), -1);
    EXPECT_EQ(errno, EINTR);
    EXPECT_EQ(host().lseek(s, 0, SEEK_SET), -1);
    EXPECT_EQ(errno, ESPIPE);
    host().close(s);

    sim_write_file("/etc/plain", "x");
    int plain = host().open("/etc/plain", O_RDONLY, 0);
    EXPECT_EQ(host().sendto(plain, "x", 1, 0, nullptr, 0), -1);
    EXPECT_EQ(errno, ENOTSOCK);
    host().close(plain);
    EXPECT_EQ(host().bind(plain, &addr, sizeof addr), -1);
    EXPECT_EQ(errno, EBADF);

    sim_register_socket(kFamily, kSimAnyProtocol, &kLoopOps, &loop);
    s = host().socket(kFamily, SOCK_DGRAM, 9);
    EXPECT_GE(s, 0) << "a registration for every protocol of the family";
    host().close(s);
}

} // namespace
