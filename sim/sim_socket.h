// Socket models of the simulated board: a netlink router and raw packet
// sockets, registered with the kernel by family and protocol.
//
// Netlink
//  - sim_netlink_add(protocol) serves one protocol (afresh: its listeners are
//    forgotten). Other protocols stay unserved: socket() gives
//    EPROTONOSUPPORT.
//  - Each protocol has its own ports. bind with an explicit port takes it;
//    a port already bound (by a socket or a model listener) gives EADDRINUSE,
//    a second bind of the same socket EINVAL. Port 0 takes the process id
//    (or, when that is taken, a free negative port counted down from
//    0xFFFFF000), as does a send from an unbound socket.
//  - A datagram goes to the socket or model listener bound at the
//    destination port (msg_name's nl_pid; none: port 0, the kernel's). No one
//    there: ECONNREFUSED. Datagrams keep their boundaries; a receive reports
//    the sender's port in msg_name, truncates to the caller's buffers
//    (MSG_TRUNC in msg_flags; with MSG_TRUNC in flags it returns the whole
//    length) and MSG_PEEK leaves the datagram queued.
//  - A blocking receive waits in virtual time (SO_RCVTIMEO bounds it:
//    EAGAIN); a non-blocking one (SOCK_NONBLOCK, MSG_DONTWAIT) gives EAGAIN.
//  - A model listens on a port with a listener called, under the kernel
//    lock, for each datagram sent there; it answers with sim_netlink_send
//    now or sim_netlink_send_at a virtual time. A datagram sent at a virtual
//    time to a port nobody holds by then is dropped.
//
// Packet sockets (AF_PACKET, every protocol)
//  - SIOCGIFINDEX answers the configured interface names (ENODEV otherwise).
//  - bind takes a sockaddr_ll with a configured index (ENODEV otherwise).
//    A send goes to msg_name's sll_ifindex or the bound one (neither: ENXIO)
//    and is captured: the first `limit` frames are kept, all are counted.
//  - sim_packet_signal_after(n, sig) raises `sig` in the sending thread
//    right after the n-th frame is sent (counted since sim_packet_add);
//    n = 0 switches it off, as does sim_packet_add.
//  - Errno faults per call come from the kernel's faults on node
//    "socket:packet" (sim_fail_op with SimFaultOp::send, bind, ...).
#ifndef QUORBIX_SIM_SIM_SOCKET_H
#define QUORBIX_SIM_SIM_SOCKET_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// ---- netlink ------------------------------------------------------------------------

using SimNetlinkListener = std::function<void(uint32_t from, const std::vector<uint8_t> &payload)>;

void sim_netlink_add(int protocol);
// 0, or -EPROTONOSUPPORT / -EADDRINUSE.
int sim_netlink_listen(int protocol, uint32_t port, SimNetlinkListener listener);
// A datagram from a model's port, delivered now: 0, or -EPROTONOSUPPORT /
// -ECONNREFUSED.
int sim_netlink_send(int protocol, uint32_t from, uint32_t to, const std::vector<uint8_t> &payload);
// The same, once the virtual clock reaches when_ns.
void sim_netlink_send_at(int protocol, uint32_t from, uint32_t to, std::vector<uint8_t> payload, uint64_t when_ns);
bool sim_netlink_bound(int protocol, uint32_t port);

// ---- packet sockets ------------------------------------------------------------------

struct SimInterface {
    std::string name;
    int index;
};

struct SimFrame {
    int ifindex;
    uint16_t protocol;  // host order, from the destination or the socket
    std::vector<uint8_t> bytes;
    uint64_t at_ns;     // virtual time of the send
};

// Serve AF_PACKET with these interfaces, keeping up to `limit` frames.
void sim_packet_add(const std::vector<SimInterface> &interfaces, size_t limit = 256);
std::vector<SimFrame> sim_packet_frames();
size_t sim_packet_sent();  // frames sent, kept or not
void sim_packet_clear();
void sim_packet_signal_after(size_t frames, int signal);

#endif
