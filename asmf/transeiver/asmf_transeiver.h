// Netlink transport of the accelerator: a socket bound to a port, one
// payload sent to a port, exactly one payload of a known length received.
#ifndef QUORBIX_ASMF_TRANSEIVER_ASMF_TRANSEIVER_H
#define QUORBIX_ASMF_TRANSEIVER_ASMF_TRANSEIVER_H

#include <cstddef>
#include <cstdint>

inline constexpr int ASMF_ERR_SOCKET = -8002;
inline constexpr int ASMF_ERR_BIND = -8006;
inline constexpr int ASMF_ERR_TRANS = -8008;

// A netlink socket bound to `port`: the descriptor, -8002 or -8006.
int asmf_create_sock(uint32_t port);
// One payload (at most 256 bytes) to `port` from a fresh socket.
int asmf_send_msg(uint32_t port, const void *payload, uint32_t length);
// Blocks until one datagram arrives; it must hold exactly `length` payload
// bytes. The time-out is not used.
int asmf_recv_from_sock(int sock, int timeout, void *buffer, uint32_t length);
// select for readability of `sock` within `seconds`; select's result.
int asmf_readable_timeout(int sock, int seconds);

#endif
