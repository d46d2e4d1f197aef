#include "sim/ipmi_model.h"

#include <sys/ioctl.h>
#include <linux/ipmi.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <iterator>

#include "sim/kit/sim_words.h"
#include "sim/sim_host.h"
#include "sim/sim_sched.h"

namespace {

struct IpmiReply {
    long msgid;
    uint8_t netfn;  // the request's net function plus one
    uint8_t cmd;
    std::vector<uint8_t> data;  // from the completion code
    uint64_t dueNs;
};

struct IpmiModelState {
    std::string node;
    std::vector<IpmiBmcRule> rules;
    std::deque<IpmiReply> replies;
};

IpmiModelState &model()
{
    static IpmiModelState *state = new IpmiModelState;  // outlives static destructors
    return *state;
}

constexpr unsigned kMyAddress = 0x20;
constexpr uint8_t kUnknownCommand = 0xC1;
constexpr size_t kMaxData = 272;

void queue(IpmiReply reply)
{
    uint64_t due = reply.dueNs;
    model().replies.push_back(std::move(reply));
    sched_at(due, [] { sim_file_notify(); });
}

const IpmiBmcRule *rule_for(uint8_t netfn, uint8_t cmd, const uint8_t *data, size_t len)
{
    const auto &rules = model().rules;
    for (auto it = rules.rbegin(); it != rules.rend(); ++it)
        if (it->netfn == netfn && it->cmd == cmd && it->prefix.size() <= len &&
            std::equal(it->prefix.begin(), it->prefix.end(), data))
            return &*it;
    return nullptr;
}

void bmc_answer(long msgid, uint8_t netfn, uint8_t cmd, const uint8_t *data, size_t len)
{
    const IpmiBmcRule *r = rule_for(netfn, cmd, data, len);
    if (r != nullptr && r->silent)
        return;
    IpmiReply reply{msgid, static_cast<uint8_t>(netfn + 1), cmd, {r ? r->cc : kUnknownCommand}, 0};
    if (r != nullptr)
        reply.data.insert(reply.data.end(), r->data.begin(), r->data.end());
    reply.dueNs = sim_clock_ns() + (r ? r->delayMs : 1) * 1000000;
    queue(std::move(reply));
}

bool due(const IpmiReply &r) { return r.dueNs <= sim_clock_ns(); }

int handle_my_address(const SimCall &call, SimJournalEntry &)
{
    unsigned addr = kMyAddress;
    std::memcpy(call.arg, &addr, sizeof addr);
    return 0;
}

int handle_send(const SimCall &call, SimJournalEntry &entry)
{
    ipmi_req req;
    std::memcpy(&req, call.arg, sizeof req);
    if (req.addr == nullptr || (req.msg.data_len > 0 && req.msg.data == nullptr))
        return -EFAULT;
    if (req.addr_len != sizeof(ipmi_system_interface_addr))
        return -EINVAL;
    ipmi_system_interface_addr si;
    std::memcpy(&si, req.addr, sizeof si);
    if (si.addr_type != IPMI_SYSTEM_INTERFACE_ADDR_TYPE || si.channel != IPMI_BMC_CHANNEL)
        return -EINVAL;
    if (req.msg.data_len > kMaxData)
        return -EMSGSIZE;
    sim_attach(entry, "address", req.addr, req.addr_len);
    sim_attach(entry, "data", req.msg.data, req.msg.data_len);
    entry.extra = {static_cast<uint64_t>(req.msgid), req.msg.netfn, req.msg.cmd};
    bmc_answer(req.msgid, req.msg.netfn, req.msg.cmd, req.msg.data, req.msg.data_len);
    return 0;
}

int handle_receive(const SimCall &call, SimJournalEntry &)
{
    ipmi_recv recv;
    std::memcpy(&recv, call.arg, sizeof recv);
    auto &q = model().replies;
    if (q.empty() || !due(q.front()))
        return -EAGAIN;
    if (recv.addr == nullptr || (recv.msg.data_len > 0 && recv.msg.data == nullptr))
        return -EFAULT;
    ipmi_system_interface_addr si{IPMI_SYSTEM_INTERFACE_ADDR_TYPE, IPMI_BMC_CHANNEL, 0};
    if (recv.addr_len < sizeof si)
        return -EINVAL;
    IpmiReply reply = std::move(q.front());
    q.pop_front();
    std::memcpy(recv.addr, &si, sizeof si);
    recv.addr_len = sizeof si;
    recv.recv_type = IPMI_RESPONSE_RECV_TYPE;
    recv.msgid = reply.msgid;
    recv.msg.netfn = reply.netfn;
    recv.msg.cmd = reply.cmd;
    size_t n = std::min<size_t>(reply.data.size(), recv.msg.data_len);
    if (n > 0)
        std::memcpy(recv.msg.data, reply.data.data(), n);
    recv.msg.data_len = static_cast<unsigned short>(n);
    std::memcpy(call.arg, &recv, sizeof recv);
    return n < reply.data.size() ? -EMSGSIZE : 0;
}

short ipmi_poll(SimFile &)
{
    const auto &q = model().replies;
    return static_cast<short>(POLLOUT | (!q.empty() && due(q.front()) ? POLLIN : 0));
}

constexpr SimRequest kIpmiRequests[] = {
    {IPMICTL_GET_MY_ADDRESS_CMD, sizeof(unsigned int), handle_my_address},
    {IPMICTL_SEND_COMMAND, sizeof(ipmi_req), handle_send},
    {IPMICTL_RECEIVE_MSG_TRUNC, sizeof(ipmi_recv), handle_receive},
};

const SimFileOps kIpmiOps = {
    "ipmi", 0, nullptr, nullptr, nullptr, nullptr, kIpmiRequests, std::size(kIpmiRequests), nullptr, nullptr,
    ipmi_poll, nullptr, nullptr, nullptr, nullptr,
};

} // namespace

bool ipmi_model_attach(SimDoc &)
{
    model() = IpmiModelState{};
    model().rules.push_back(IpmiBmcRule{0x00, 0x09, {0x62}, 0x00, {0x01, 0x62, 0x0C, 0x00, 0x00}, 1, false});
    ipmi_model_set_node(kIpmiDefaultNode);
    return true;
}

void ipmi_model_save(SimDoc &) {}

void ipmi_model_set_node(const std::string &path)
{
    if (!model().node.empty())
        sim_remove_node(model().node);
    model().node = path;
    if (!path.empty())
        sim_register_file(path, &kIpmiOps, nullptr);
}

void ipmi_model_add_rule(const IpmiBmcRule &rule) { model().rules.push_back(rule); }

void ipmi_model_queue_reply(long msgid, uint8_t netfn, uint8_t cmd, const std::vector<uint8_t> &data,
                            uint64_t delayMs)
{
    queue(IpmiReply{msgid, netfn, cmd, data, sim_clock_ns() + delayMs * 1000000});
}

size_t ipmi_model_queued() { return model().replies.size(); }

bool ipmi_fixture_line(std::string_view line, std::string &error)
{
    std::vector<std::string> w;
    if (!sim_doc_tokens(line, w, error))
        return false;
    if (w[0] == "ipmi-node" && w.size() == 2) {
        ipmi_model_set_node(w[1]);
        return true;
    }
    // Three header numbers and the delay, then bytes.
    std::vector<uint64_t> n;
    const size_t from = w[0] == "ipmi-node" ? w.size() : 1, bytes = std::clamp<size_t>(5, from, w.size());
    size_t bad = 0;
    if (!sim_numbers(w, from, bytes, n, &bad) || !sim_numbers(w, bytes, w.size(), n, &bad, 0xFF)) {
        error = "'" + w[bad] + "' is not a number that fits";
        return false;
    }
    if (w[0] == "ipmi-reply" && n.size() >= 4 && n[0] <= 0x3F && n[1] <= 0xFF && n[2] <= 0xFF) {
        IpmiBmcRule r{static_cast<uint8_t>(n[0]), static_cast<uint8_t>(n[1]), {}, static_cast<uint8_t>(n[2]), {},
                      n[3], false};
        for (size_t i = 4; i < n.size(); i++)
            r.data.push_back(static_cast<uint8_t>(n[i]));
        ipmi_model_add_rule(r);
        return true;
    }
    if (w[0] == "ipmi-silent" && n.size() == 2 && n[0] <= 0x3F && n[1] <= 0xFF) {
        ipmi_model_add_rule(IpmiBmcRule{static_cast<uint8_t>(n[0]), static_cast<uint8_t>(n[1]), {}, 0, {}, 0, true});
        return true;
    }
    error = "usage: ipmi-node PATH | ipmi-reply NETFN CMD CC DELAY_MS [BYTE...] | ipmi-silent NETFN CMD";
    return false;
}
