// The simulated IPMI driver (system interface) and the BMC behind it.
//
// The node answers GET_MY_ADDRESS, SEND_COMMAND (system interface address
// only: type 0x0C, channel 0x0F, length 8) and RECEIVE_MSG_TRUNC. A sent
// request goes to the BMC, whose reply is queued with the request's id
// after the rule's virtual delay; the node is readable while the oldest
// queued reply is due. A reply longer than the receiver's buffer is cut to
// it with EMSGSIZE; an empty queue gives EAGAIN.
//
// The BMC answers by net function, command and data prefix (the last rule
// added that matches wins): a completion code and data, or silence. An
// unmatched request gets completion code 0xC1. By default the boot-option
// request answers flags 0x0C.
//
// Fixture lines:
//   ipmi-node PATH                           the driver's node (default /dev/ipmi0)
//   ipmi-reply NETFN CMD CC DELAY_MS [BYTE...]  a reply rule (data after the code)
//   ipmi-silent NETFN CMD                    no reply
#ifndef QUORBIX_SIM_IPMI_MODEL_H
#define QUORBIX_SIM_IPMI_MODEL_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/kit/sim_doc.h"

inline constexpr const char *kIpmiDefaultNode = "/dev/ipmi0";

struct IpmiBmcRule {
    uint8_t netfn = 0;
    uint8_t cmd = 0;
    std::vector<uint8_t> prefix;  // request data must begin with these bytes
    uint8_t cc = 0;
    std::vector<uint8_t> data;    // reply bytes after the completion code
    uint64_t delayMs = 1;
    bool silent = false;
};

bool ipmi_model_attach(SimDoc &saved);
void ipmi_model_save(SimDoc &doc);
bool ipmi_fixture_line(std::string_view line, std::string &error);

// Move the node (removing the old one); an empty path removes it.
void ipmi_model_set_node(const std::string &path);
void ipmi_model_add_rule(const IpmiBmcRule &rule);
// Queue a reply with any id at `delayMs` from now (a late answer).
void ipmi_model_queue_reply(long msgid, uint8_t netfn, uint8_t cmd, const std::vector<uint8_t> &data,
                            uint64_t delayMs);
size_t ipmi_model_queued();

#endif
