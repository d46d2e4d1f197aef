#include "tool/trans/nic.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include "bases/globals/globals.h"
#include "bases/host/host.h"
#include "kelvo/kelvo.h"

namespace {

constexpr int32_t kForever = 888;
constexpr size_t kHeadLen = 18;
constexpr long long kMaxFrame = 65535;
constexpr size_t kNameSize = 20;
constexpr size_t kPathSize = 255;
constexpr size_t kMacText = 24;
constexpr size_t kMacLen = 6;
constexpr int kUsPerSecond = 1000000;

// The sender state, shared by the command and its sender thread.
struct SocketInfo {
    char name[kNameSize];
    pthread_t thread;
    std::atomic<int32_t> count;   // remaining packets; the signal handler sets 0
    int32_t interval;             // microseconds
    uint8_t *buf;
    int32_t len;
    int32_t sock;
    int16_t random;
    uint8_t dmac[kMacLen];
    std::atomic<int32_t> result;  // the sender's: 0, or -1 when it gave up
};
static_assert(std::atomic<int32_t>::is_always_lock_free);

SocketInfo g_socketinfo;
std::atomic<int> g_nicSignal{0};   // the signal received, 0 none

void clear_state()
{
    std::memset(g_socketinfo.name, 0, sizeof g_socketinfo.name);
    g_socketinfo.thread = pthread_t{};
    g_socketinfo.count.store(0);
    g_socketinfo.interval = 0;
    g_socketinfo.buf = nullptr;
    g_socketinfo.len = 0;
    g_socketinfo.sock = -1;
    g_socketinfo.random = 0;
    std::memset(g_socketinfo.dmac, 0, sizeof g_socketinfo.dmac);
    g_socketinfo.result.store(0);
}

GLOBALS_RESET(nic_sender)
{
    clear_state();
    g_nicSignal.store(0);
}

// The parsed command line.
struct NicArgs {
    char name[kNameSize] = {};
    char file[kPathSize] = {};
    int32_t count = 0;
    int32_t interval = 0;
    char dmac[kMacText] = {};
    char smac[kMacText] = {};
};

bool parse_mac(const char *text, uint8_t mac[kMacLen])
{
    unsigned v[kMacLen] = {};
    if (sscanf_s(text, "%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) < 6)
        return false;
    for (size_t i = 0; i < kMacLen; i++)
        mac[i] = static_cast<uint8_t>(v[i] & 0xFFu);
    return true;
}

int input_error(const char *what)
{
    std::puts("input error");
    std::puts(what);
    return -1;
}

// The 18-byte head: destination, source, 802.1Q tag of VLAN 1, ARP.
void build_head(uint8_t head[kHeadLen], const uint8_t dmac[kMacLen], const uint8_t smac[kMacLen])
{
    static constexpr uint8_t kTag[] = {0x81, 0x00, 0x00, 0x01, 0x08, 0x06};
    std::memcpy(head, dmac, kMacLen);
    std::memcpy(head + kMacLen, smac, kMacLen);
    std::memcpy(head + 2 * kMacLen, kTag, sizeof kTag);
}

// The previous dispositions, put back on every way out of the command.
struct SignalGuard {
    struct sigaction oldInt {};
    struct sigaction oldTerm {};
    bool intSet = false;
    bool termSet = false;

    ~SignalGuard()
    {
        if (termSet)
            sigaction(SIGTERM, &oldTerm, nullptr);
        if (intSet)
            sigaction(SIGINT, &oldInt, nullptr);
    }
};

bool install(SignalGuard &g)
{
    struct sigaction sa {};
    sa.sa_handler = sigint_hdl;
    sigemptyset(&sa.sa_mask);
    g.intSet = sigaction(SIGINT, &sa, &g.oldInt) == 0;
    if (!g.intSet) {
        std::puts("set SIGINT handle failed!");
        return false;
    }
    g.termSet = sigaction(SIGTERM, &sa, &g.oldTerm) == 0;
    if (!g.termSet) {
        std::puts("set SIGTERM handle failed!");
        return false;
    }
    return true;
}

void pause_us(int32_t us)
{
    if (us >= kUsPerSecond) {
        struct timespec ts {us / kUsPerSecond, static_cast<long>(us % kUsPerSecond) * 1000};
        host().nanosleep(&ts, nullptr);
    } else {
        host().usleep(static_cast<useconds_t>(us));
    }
}

// A send error that no retry can mend.
bool fatal_send_error(int err) { return err == EMSGSIZE || err == ENODEV || err == ENXIO; }

// Checks of steps 1-3; 0 with the file size, or -1 after its lines.
int check_args(const char *params, NicArgs &a, uint8_t dmac[kMacLen], uint8_t smac[kMacLen], long long *size)
{
    if (params[0] == '\0') {
        std::puts("please input like this:sendframe eth_name Sendfile packet_num interval(us) Dmac Smac "
                  "vlan+ethertype randomflag(0-255)");
        return -1;
    }
    int ret = sscanf_s(params, "%[^,],%[^,],%d,%d,%[^,],%s", a.name, kNameSize, a.file, kPathSize, &a.count,
                       &a.interval, a.dmac, kMacText, a.smac, kMacText);
    if (ret < 6) {
        std::printf("Invalid optarg: %s, ret = %d\n", params, ret);
        return -1;
    }
    if (a.file[0] == '\0')
        return input_error("please input send file name!");
    struct stat st {};
    if (host().stat(a.file, &st) != 0) {
        std::puts("get file size failed");
        return -1;
    }
    *size = static_cast<long long>(st.st_size);
    if (*size + static_cast<long long>(kHeadLen) > kMaxFrame) {
        std::printf("send file too large: %lld bytes, a frame holds at most %lld\n", *size,
                    kMaxFrame - static_cast<long long>(kHeadLen));
        return -1;
    }
    if (a.count < 0)
        return input_error("please input right pkt num!");
    if (a.count == kForever)
        std::puts("packetnum not limit, will always sendpkt!");
    if (a.interval < 0)
        return input_error("please input right interval");
    if (!parse_mac(a.dmac, dmac))
        return input_error("please input right dmac(like:00:01:02:03:04:05)");
    if (!parse_mac(a.smac, smac))
        return input_error("please input right smac(like:00:01:02:03:04:05)");
    return 0;
}

// Reads the send file behind the head; the frame length, or -1.
int32_t load_frame(const char *file, long long size, const uint8_t head[kHeadLen])
{
    auto total = static_cast<size_t>(size) + kHeadLen + 1;
    g_socketinfo.buf = static_cast<uint8_t *>(std::calloc(total, 1));
    if (g_socketinfo.buf == nullptr) {
        std::puts("malloc buff fail!");
        return -1;
    }
    FILE *f = host().fopen(file, "rb");
    if (f == nullptr) {
        std::printf("cannot open this file:%s\n", file);
        return -1;
    }
    size_t got = std::fread(g_socketinfo.buf + kHeadLen, 1, static_cast<size_t>(size), f);
    std::fclose(f);
    if (got != static_cast<size_t>(size))
        std::printf("fread fail, ret=%d\n", static_cast<int>(got));   // sends what was read
    KelvoErr err = memcpy_s(g_socketinfo.buf, total, head, kHeadLen);
    if (err != KelvoOk) {
        std::printf("func:[%s],line:%d,memcpy_s err ,ret:%d\n", "nic_test", __LINE__, static_cast<int>(err));
        return -1;
    }
    std::printf("packet_len is:%d\n", static_cast<int>(size));
    return static_cast<int32_t>(got + kHeadLen);
}

// Sends and waits for the sender; its result.
int run_sender()
{
    if (g_nicSignal.load() != 0)
        return 0;   // stopped before it started
    pthread_t tid{};
    int rc = host().pthread_create(&tid, nullptr, SendFrameSendTask, &g_socketinfo);
    if (rc != 0) {
        std::printf("pthread_create SendFrameSendTask faild ret:%d\n", rc);
        return -1;
    }
    std::puts("pthread_create over!");
    g_socketinfo.thread = tid;
    host().pthread_join(tid, nullptr);
    return g_socketinfo.result.load();
}

void release()
{
    if (g_socketinfo.sock >= 0)
        host().close(g_socketinfo.sock);
    std::free(g_socketinfo.buf);
    clear_state();
}

} // namespace

void sigint_hdl(int sig)
{
    g_nicSignal.store(sig);
    g_socketinfo.count.store(0);
}

void *SendFrameSendTask(void *state)
{
    auto *info = static_cast<SocketInfo *>(state);
    struct ifreq ifr {};
    KelvoErr err = strncpy_s(ifr.ifr_name, sizeof ifr.ifr_name, info->name, IFNAMSIZ - 1);
    if (err != KelvoOk) {
        std::printf("func:[%s],line:%d,strncpy_s err ,ret:%d\n", "SendFrameSendTask", __LINE__, static_cast<int>(err));
        info->result.store(-1);
        return nullptr;
    }
    int rc = host().ioctl(info->sock, SIOCGIFINDEX, &ifr);
    if (rc < 0) {
        std::printf("SendFrameSendTask ioctl err, ret = %d, reason:%s\n", rc, std::strerror(errno));
        info->result.store(-1);
        return nullptr;
    }
    struct sockaddr_ll to {};
    to.sll_family = AF_PACKET;
    to.sll_protocol = htons(ETH_P_ALL);
    to.sll_ifindex = ifr.ifr_ifindex;
    std::memcpy(to.sll_addr, info->dmac, kMacLen);
    static_assert(sizeof to == 20);
    int32_t sent = 0;
    for (int32_t remaining = info->count.load(); sent < remaining; remaining = info->count.load()) {
        ssize_t n = host().sendto(info->sock, info->buf, static_cast<size_t>(info->len), 0,
                                  reinterpret_cast<const struct sockaddr *>(&to), sizeof to);
        if (n < 0) {
            int e = errno;
            std::printf("sendto fail ret:%d, reason:%s\n", static_cast<int>(n), std::strerror(e));
            if (fatal_send_error(e)) {
                info->result.store(-1);
                return nullptr;
            }
            continue;
        }
        if (remaining != kForever)
            sent++;
        if (info->interval >= 1)
            pause_us(info->interval);
    }
    std::printf("SendFrameSendTask send over,sendcnt is:%d\n", sent);
    return nullptr;
}

TransOpStatus nic_test(const char *params)
{
    NicArgs a;
    uint8_t dmac[kMacLen] = {}, smac[kMacLen] = {};
    long long size = 0;
    if (check_args(params, a, dmac, smac, &size) != 0)
        return -1;
    uint8_t head[kHeadLen];
    build_head(head, dmac, smac);
    g_nicSignal.store(0);
    SignalGuard guard;
    if (!install(guard))
        return -1;
    static constexpr char kDashes[] =
        "-------------------------------------------------------------------------------------------";
    static_assert(sizeof kDashes == 92);
    std::puts(kDashes);
    std::printf("input info:ethname:%s,File_name:%s,packetnum:%d,interval:%d,randomflag:%d\n", a.name, a.file,
                a.count, a.interval, 0);
    std::puts(kDashes);
    int sock = host().socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
    if (sock < 0) {
        std::printf("creat socket fail:%s\n", std::strerror(errno));
        return -1;
    }
    clear_state();
    g_socketinfo.interval = a.interval;
    g_socketinfo.count.store(a.count);
    std::memcpy(g_socketinfo.name, a.name, kNameSize);
    std::memcpy(g_socketinfo.dmac, dmac, kMacLen);
    g_socketinfo.sock = sock;
    int32_t len = load_frame(a.file, size, head);
    int result = -1;
    if (len >= 0) {
        g_socketinfo.len = len;
        result = run_sender();
    }
    if (g_nicSignal.load() != 0) {
        std::puts("sigint_hdl signal receive!");
        release();
        std::puts("sigint_hdl client exit 0!");
        g_nicSignal.store(0);
        return 0;
    }
    release();
    std::printf("client exit %d!\n", result);
    return result;
}
