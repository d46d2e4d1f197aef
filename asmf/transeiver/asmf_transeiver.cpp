#include "asmf/transeiver/asmf_transeiver.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <linux/netlink.h>

#include "asmf/asmf_log.h"
#include "bases/drv/asmf_drv.h"
#include "kelvo/kelvo.h"

#define TRANS_ERR(fmt, ...) \
    ASMF_LOG(ASMF_PRI_ERR, "transeiver/asmf_transeiver.c", "<asmf_trans-ERR>", fmt __VA_OPT__(, ) __VA_ARGS__)

namespace {

constexpr size_t kRecvSize = ASMF_NL_HEADER + ASMF_NL_MAX_PAYLOAD;

sockaddr_nl nl_address(uint32_t port)
{
    sockaddr_nl a{};
    a.nl_family = AF_NETLINK;
    a.nl_pid = port;
    a.nl_groups = 0;
    return a;
}

int open_sock() { return host().socket(AF_NETLINK, SOCK_DGRAM, ASMF_NETLINK_PROTOCOL); }

} // namespace

int asmf_create_sock(uint32_t port)
{
    int sock = open_sock();
    if (sock < 0) {
        TRANS_ERR("call socket fail. %s, domain=%d, type=%d, protocol=%d", strerror(errno), AF_NETLINK, 3,
                  ASMF_NETLINK_PROTOCOL);
        return ASMF_ERR_SOCKET;
    }
    sockaddr_nl a = nl_address(port);
    if (host().bind(sock, reinterpret_cast<const sockaddr *>(&a), sizeof a) < 0) {
        TRANS_ERR("all bind fail. %s, socket=%d, nl_family=%d, nl_pid=%d", strerror(errno), sock, a.nl_family,
                  static_cast<int>(a.nl_pid));
        host().close(sock);
        return ASMF_ERR_BIND;
    }
    return sock;
}

int asmf_send_msg(uint32_t port, const void *payload, uint32_t length)
{
    std::array<uint8_t, kRecvSize> buf{};
    if (KelvoErr err = memcpy_s(buf.data() + ASMF_NL_HEADER, ASMF_NL_MAX_PAYLOAD, payload, length))
        return err;
    int sock = open_sock();
    if (sock < 0) {
        TRANS_ERR("can not create a netlink socket");
        return ASMF_ERR_SOCKET;
    }
    sockaddr_nl to = nl_address(port);
    ssize_t sent = host().sendto(sock, buf.data(), length + ASMF_NL_HEADER, 0, reinterpret_cast<const sockaddr *>(&to),
                                 sizeof to);
    if (sent < 1) {
        TRANS_ERR("call sendto fail. %s", strerror(errno));
        host().close(sock);
        return ASMF_ERR_TRANS;
    }
    host().close(sock);
    return 0;
}

int asmf_recv_from_sock(int sock, int, void *buffer, uint32_t length)
{
    std::array<uint8_t, kRecvSize> buf{};
    sockaddr_nl from{};
    socklen_t fromLen = sizeof from;
    ssize_t got = host().recvfrom(sock, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr *>(&from), &fromLen);
    if (got <= 0) {
        TRANS_ERR("recv from kernel error.");
        return ASMF_ERR_TRANS;
    }
    if (static_cast<size_t>(got) != length + ASMF_NL_HEADER) {
        TRANS_ERR("receive length %u not equal wanted length %u.", static_cast<unsigned>(got),
                  static_cast<unsigned>(length + ASMF_NL_HEADER));
        return ASMF_ERR_TRANS;
    }
    return memcpy_s(buffer, length, buf.data() + ASMF_NL_HEADER, length);
}

int asmf_readable_timeout(int sock, int seconds)
{
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(sock, &rd);
    timeval tv{seconds, 0};
    return host().select(sock + 1, &rd, nullptr, nullptr, &tv);
}
