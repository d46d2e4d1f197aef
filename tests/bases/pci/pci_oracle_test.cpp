// The PCI library against lspci: on generated boards (lspci -F reads the
// same dump the simulated bus is built from) and on this machine's own
// tree copied into a simulated root.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "bases/pci/tvk_cap.h"
#include "bases/pci/tvk_dev.h"
#include "bases/pci/tvk_name.h"
#include "bases/pci/tvk_route.h"
#include "pci_boards.h"
#include "sim/fixture_file.h"
#include "tvk_sim_test.h"
#include "support/oracle.h"

namespace {

constexpr const char *kPackagedIds = "/usr/share/misc/pci.ids";

std::string slot(uint8_t bus, uint8_t devfn)
{
    char t[16];
    std::snprintf(t, sizeof t, "%02x:%02x.%x", bus, devfn >> 3, devfn & 7);
    return t;
}

// lspci's records by slot: the lines of each.
std::map<std::string, std::vector<std::string>> records(const std::string &text, bool machine)
{
    std::map<std::string, std::vector<std::string>> out;
    std::istringstream in(text);
    std::string line, cur;
    while (std::getline(in, line)) {
        if (line.empty()) {
            cur.clear();
            continue;
        }
        if (machine && line.rfind("Slot:\t", 0) == 0) {
            cur = line.substr(6);
            if (cur.size() > 7 && cur[4] == ':')
                cur = cur.substr(5);
            continue;
        }
        if (!machine && cur.empty() && line.size() > 7 && line[2] == ':' && line[5] == '.') {
            cur = line.substr(0, 7);
            continue;
        }
        if (!cur.empty())
            out[cur].push_back(line);
    }
    return out;
}

// The value of "Key:\tvalue" in a -vmm record.
std::string field(const std::vector<std::string> &rec, const std::string &key)
{
    for (const std::string &l : rec)
        if (l.rfind(key + ":\t", 0) == 0)
            return l.substr(key.size() + 2);
    return "";
}

// Capability offsets of a -vvv record, in the order listed: standard and
// extended apart.
void cap_offsets(const std::vector<std::string> &rec, std::vector<unsigned> &std_, std::vector<unsigned> &ext)
{
    static const std::regex re("^\\tCapabilities: \\[([0-9a-f]+)( v[0-9]+)?\\]");
    for (const std::string &l : rec) {
        std::smatch m;
        if (!std::regex_search(l, m, re))
            continue;
        unsigned at = static_cast<unsigned>(std::stoul(m[1], nullptr, 16));
        (at >= 0x100 ? ext : std_).push_back(at);
    }
}

// "+"/"-" flags of an AER line as a bit mask, from the names we know.
uint32_t aer_bits(const std::vector<std::string> &rec, const std::string &key,
                  const std::vector<std::pair<const char *, int>> &names, uint32_t &known)
{
    uint32_t bits = 0;
    known = 0;
    for (const std::string &l : rec) {
        if (l.find(key + ":\t") == std::string::npos)
            continue;
        for (const auto &[name, bit] : names) {
            std::string word = std::string(" ") + name;
            size_t at = l.find(word + "+");
            if (at == std::string::npos)
                at = l.find("\t" + std::string(name) + "+");
            known |= 1u << bit;
            if (at != std::string::npos)
                bits |= 1u << bit;
        }
    }
    return bits;
}
const std::vector<std::pair<const char *, int>> kUncor = {
    {"DLP", 4},       {"SDES", 5},      {"TLP", 12},      {"FCP", 13},     {"CmpltTO", 14},  {"CmpltAbrt", 15},
    {"UnxCmplt", 16}, {"RxOF", 17},     {"MalfTLP", 18},  {"ECRC", 19},    {"UnsupReq", 20}, {"ACSViol", 21}};
const std::vector<std::pair<const char *, int>> kCor = {{"RxErr", 0},   {"BadTLP", 6},  {"BadDLLP", 7},
                                                        {"Rollover", 8}, {"Timeout", 12}, {"AdvNonFatalErr", 13}};

// Routes as lspci -t draws them: slot -> hops "bb:dd.f" root first.
std::map<std::string, std::vector<std::string>> tree_routes(const std::string &text)
{
    std::map<std::string, std::vector<std::string>> out;
    std::map<size_t, std::pair<unsigned, std::vector<std::string>>> atColumn;  // child column -> bus, parents
    static const std::regex root("\\[[0-9a-f]{4}:([0-9a-f]{2})\\]");
    static const std::regex dev("([0-9a-f]{2}\\.[0-9a-f])(-\\[([0-9a-f]{2})(-[0-9a-f]{2})?\\])?");
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_search(line, m, root)) {
            size_t end = static_cast<size_t>(m.position(0) + m.length(0));
            atColumn[end + 3] = {static_cast<unsigned>(std::stoul(m[1], nullptr, 16)), {}};
        }
        for (auto it = std::sregex_iterator(line.begin(), line.end(), dev); it != std::sregex_iterator(); ++it) {
            const std::smatch &d = *it;
            auto col = static_cast<size_t>(d.position(0));
            auto parent = atColumn.find(col);
            if (parent == atColumn.end())
                continue;
            char name[16];
            std::snprintf(name, sizeof name, "%02x:%s", parent->second.first, d[1].str().c_str());
            std::vector<std::string> hops = parent->second.second;
            hops.push_back(name);
            out[name] = hops;
            if (d[2].matched)
                atColumn[col + static_cast<size_t>(d.length(0)) + 4] = {
                    static_cast<unsigned>(std::stoul(d[3], nullptr, 16)), hops};
        }
    }
    return out;
}

std::vector<std::string> route_text(const tvk_route &r)
{
    std::vector<std::string> out;
    for (uint32_t i = 0; i < r.depth; i++)
        out.push_back(slot(r.hop[i].bus, r.hop[i].devfn));
    return out;
}

// The name rule, from lspci's -vmm fields.
std::string expected_name(const std::vector<std::string> &rec, bool namedSubsystem, uint8_t rev)
{
    std::string cls = field(rec, "Class");
    std::string klass = cls.find('[') == std::string::npos ? cls : "unknown class";
    std::string vendor = field(rec, "Vendor"), device = field(rec, "Device");
    std::string product;
    static const std::regex unknownVendor("^Vendor [0-9a-f]{4}$"), unknownDevice("^Device ([0-9a-f]{4})$");
    std::smatch m;
    std::string id = std::regex_search(device, m, unknownDevice) ? m[1].str() : "";
    auto short_hex = [](const std::string &h) {
        char t[8];
        std::snprintf(t, sizeof t, "%x", static_cast<unsigned>(std::stoul(h, nullptr, 16)));
        return std::string(t);
    };
    if (std::regex_match(vendor, unknownVendor))
        product = "Device " + short_hex(id);
    else if (!id.empty())
        product = vendor + " Device " + short_hex(id);
    else
        product = vendor + " " + device + " " + (namedSubsystem ? field(rec, "SDevice") : "");
    char tail[16];
    std::snprintf(tail, sizeof tail, " (rev %02x)", rev);
    return klass + ": " + product + tail;
}

class PciOracleTest : public TvkSimTest {
protected:
    void SetUp() override
    {
        TvkSimTest::SetUp();
        QUORBIX_NEED_TOOL("lspci", "pciutils");
        QUORBIX_NEED_FILE(kPackagedIds, "pci.ids");
        ids_ = read_file(kPackagedIds);
        ASSERT_FALSE(ids_.empty()) << kPackagedIds << " is empty";
        sim_write_file("/usr/share/pci.ids", ids_);
    }
    std::string lspci(const std::string &source, const std::string &args)
    {
        return run_shell("lspci " + source + " -i " + kPackagedIds + " " + args + " 2>/dev/null");
    }
    std::string ids_;
};

TEST_F(PciOracleTest, GeneratedBoardsAgree)
{
    const GenIds ids = gen_parse_ids(ids_);
    ASSERT_FALSE(ids.vendors.empty());
    const std::string dumpPath = root_ + "-dump.txt";
    size_t names = 0, caps = 0, routes = 0;
    for (unsigned seed = 1; seed <= 12; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        GenBoard board = gen_board(seed, ids);
        pci_bus_reset();
        std::string error;
        ASSERT_TRUE(sim_fixture_apply(board.dump(), "generated", error)) << error;
        std::ofstream(dumpPath) << board.dump();
        const std::string src = "-F " + dumpPath;
        auto vvv = records(lspci(src, "-vvv"), false);
        auto vmm = records(lspci(src, "-vmm"), true);
        auto tree = tree_routes(lspci(src, "-t"));
        tvk_bus_map map{};
        ASSERT_EQ(tvk_build_bus_map(&map), 0);
        int bridges = 0;
        for (const GenFunction &f : board.functions) {
            const std::string s = slot(f.bus, f.devfn);
            SCOPED_TRACE(s);
            ASSERT_TRUE(vvv.count(s));
            std::vector<unsigned> stdCaps, extCaps;
            cap_offsets(vvv[s], stdCaps, extCaps);
            std::vector<unsigned> mine, mineExt;
            for (auto [at, id] : f.caps) {
                EXPECT_EQ(tvk_tell_cap(f.bus, f.devfn, id), at) << "cap " << int(id);
                mine.push_back(static_cast<unsigned>(tvk_tell_cap(f.bus, f.devfn, id)));
            }
            for (auto [at, id] : f.ext) {
                EXPECT_EQ(tvk_tell_ext_cap(f.bus, f.devfn, id), at) << "ext " << id;
                uint32_t got = 0;
                EXPECT_EQ(tvk_get_ext_capptr(f.bus, f.devfn, id, &got), 0);
                EXPECT_EQ(got, at);
                mineExt.push_back(at);
            }
            std::sort(stdCaps.begin(), stdCaps.end());
            std::sort(mine.begin(), mine.end());
            EXPECT_EQ(mine, stdCaps);
            EXPECT_EQ(mineExt, extCaps);
            caps += mine.size() + mineExt.size();
            if (f.aer) {
                drop_log();
                tvk_aer_log(f.bus, f.devfn, 0, 1);
                std::string text = log();
                unsigned uncor = 0, cor = 0;
                size_t u = text.find("UncorrErr State:0x"), c = text.find("CorrErr   State:0x");
                ASSERT_NE(u, std::string::npos);
                ASSERT_NE(c, std::string::npos);
                uncor = static_cast<unsigned>(std::stoul(text.substr(u + 18, 8), nullptr, 16));
                cor = static_cast<unsigned>(std::stoul(text.substr(c + 18, 8), nullptr, 16));
                uint32_t knownU = 0, knownC = 0;
                const uint32_t ue = aer_bits(vvv[s], "UESta", kUncor, knownU);
                const uint32_t ce = aer_bits(vvv[s], "CESta", kCor, knownC);
                EXPECT_NE(knownU, 0u);
                EXPECT_EQ(ue, uncor & knownU);
                EXPECT_EQ(ce, cor & knownC);
            }
            if (f.bridge) {
                bridges++;
                static const std::regex busLine("Bus: primary=([0-9a-f]{2}), secondary=([0-9a-f]{2}), "
                                                "subordinate=([0-9a-f]{2})");
                std::smatch m;
                bool found = false;
                for (const std::string &l : vvv[s])
                    if (std::regex_search(l, m, busLine)) {
                        found = true;
                        const tvk_bus_entry &e = map.entry[std::stoul(m[2], nullptr, 16)];
                        EXPECT_EQ(e.bus, std::stoul(m[1], nullptr, 16));
                        EXPECT_EQ(e.devfn, f.devfn);
                        EXPECT_EQ(e.subbus, std::stoul(m[3], nullptr, 16));
                        EXPECT_EQ(e.kind, f.ext.empty() ? 2 : 1);
                    }
                EXPECT_TRUE(found);
            }
            tvk_route r{};
            ASSERT_GT(tvk_get_route(f.bus, f.devfn, &map, &r), 0);
            EXPECT_EQ(route_text(r), tree[s]);
            routes++;
            tvk_dev_id id{pci_get(f.bytes, 0, 2) == 0 ? uint16_t{0} : static_cast<uint16_t>(pci_get(f.bytes, 0, 2)),
                          static_cast<uint16_t>(pci_get(f.bytes, 2, 2)), f.bus, f.devfn, f.bytes[0x0E],
                          0, pci_get(f.bytes, 8, 4)};
            char name[512];
            ASSERT_EQ(tvk_get_dev_full_name(&id, name, sizeof name), 0);
            EXPECT_EQ(name, expected_name(vmm[s], f.namedSubsystem && (f.bytes[0x0E] & 0x7F) == 0, f.bytes[8]));
            names++;
        }
        EXPECT_EQ(map.count, bridges);
    }
    std::remove(dumpPath.c_str());
    EXPECT_GT(names, 100u);
    EXPECT_GT(caps, 100u);
    EXPECT_GT(routes, 100u);
}

TEST_F(PciOracleTest, ThisMachinesTree)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "without root the kernel gives 64 bytes of each function";
    pci_bus_reset();
    sim_remove_node("/proc/bus/pci/devices");
    std::string why;
    if (!copy_proc_pci(sim_path(""), why))
        GTEST_SKIP() << why;
    const std::string src = "-A linux-proc";
    std::string listed = lspci(src, "-n");
    if (listed.empty())
        GTEST_SKIP() << "lspci cannot read /proc/bus/pci";

    tvk_dev_list head{};
    ASSERT_EQ(tvk_build_dev_list(&head), 0);
    std::string mine;
    for (const tvk_dev_node *n = head.first; n; n = n->next) {
        char line[80];
        const tvk_dev_id &id = n->id;
        std::snprintf(line, sizeof line, "%s %04x: %04x:%04x", slot(id.bus, id.devfn).c_str(), id.classrev >> 16,
                      id.vendor, id.device);
        mine += line;
        if ((id.classrev & 0xFF) != 0) {
            std::snprintf(line, sizeof line, " (rev %02x)", id.classrev & 0xFF);
            mine += line;
        }
        mine += "\n";
    }
    std::string theirs = std::regex_replace(listed, std::regex(" \\(prog-if [0-9a-f]+\\)"), "");
    theirs = std::regex_replace(theirs, std::regex("(^|\n)0000:"), "$1");
    EXPECT_EQ(mine, theirs);

    const GenIds ids = gen_parse_ids(ids_);
    auto vvv = records(lspci(src, "-vvv"), false);
    auto vmm = records(lspci(src, "-vmm"), true);
    size_t bridges = 0;
    for (const tvk_dev_node *n = head.first; n; n = n->next) {
        const tvk_dev_id &id = n->id;
        const std::string s = slot(id.bus, id.devfn);
        SCOPED_TRACE(s);
        std::vector<unsigned> stdCaps, extCaps;
        cap_offsets(vvv[s], stdCaps, extCaps);
        // Each id's first place in lspci's order is where the walk finds it.
        std::map<unsigned, unsigned> first;
        for (unsigned at : stdCaps) {
            uint8_t capId = 0;
            ASSERT_EQ(tvk_read_conf_byte(id.bus, id.devfn, at, &capId), 0);
            first.emplace(capId, at);
        }
        for (auto [capId, at] : first)
            EXPECT_EQ(tvk_tell_cap(id.bus, id.devfn, static_cast<uint8_t>(capId)), static_cast<int>(at));
        std::map<unsigned, unsigned> firstExt;
        for (unsigned at : extCaps) {
            uint32_t hdr = 0;
            ASSERT_EQ(tvk_read_conf_dword(id.bus, id.devfn, at, &hdr), 0);
            firstExt.emplace(hdr & 0xFFFF, at);
        }
        for (auto [capId, at] : firstExt)
            EXPECT_EQ(tvk_tell_ext_cap(id.bus, id.devfn, static_cast<uint16_t>(capId)), static_cast<int>(at));
        for (const std::string &l : vvv[s])
            bridges += l.find("\tBus: primary=") == 0 ? 1 : 0;

        if ((id.classrev >> 24) == 0)
            continue;  // the vendor search may have consumed class 0's line
        uint16_t sv = 0, sd = 0;
        ASSERT_EQ(tvk_read_conf_word(id.bus, id.devfn, 0x2C, &sv), 0);
        ASSERT_EQ(tvk_read_conf_word(id.bus, id.devfn, 0x2E, &sd), 0);
        bool named = false;
        for (const GenIds::Vendor &v : ids.vendors)
            if (v.id == id.vendor)
                for (const GenIds::Device &d : v.devices)
                    if (d.id == id.device)
                        named = std::find(d.subsystems.begin(), d.subsystems.end(), std::make_pair(sv, sd)) !=
                                d.subsystems.end();
        char name[512];
        ASSERT_EQ(tvk_get_dev_full_name(&id, name, sizeof name), 0);
        EXPECT_EQ(name, expected_name(vmm[s], named && (id.hdrtype & 0x7F) == 0, static_cast<uint8_t>(id.classrev)));
    }
    tvk_bus_map map{};
    ASSERT_EQ(tvk_build_bus_map(&map), 0);
    EXPECT_EQ(map.count, bridges);
    tvk_destroy_dev_list(&head);
}

} // namespace

namespace {

// The listing reads the ID file once; its names are those of the lookup
// made on its own, on every generated board.
TEST_F(PciOracleTest, ListedNamesEqualSingleLookups)
{
    const GenIds ids = gen_parse_ids(ids_);
    for (unsigned seed = 100; seed < 104; seed++) {
        GenBoard board = gen_board(seed, ids);
        pci_bus_reset();
        std::string error;
        ASSERT_TRUE(sim_fixture_apply(board.dump(), "generated", error)) << error;
        tvk_dev_list head{};
        ASSERT_EQ(tvk_build_dev_list(&head), 0);
        ASSERT_EQ(head.count, board.functions.size());
        std::string want = "[SHOW] " + std::to_string(head.count) + " devices found in total : \n";
        for (const tvk_dev_node *n = head.first; n; n = n->next) {
            char name[512], line[640];
            ASSERT_EQ(tvk_get_dev_full_name(&n->id, name, sizeof name), 0);
            uint16_t sts = 0;
            ASSERT_EQ(tvk_read_conf_word(n->id.bus, n->id.devfn, 6, &sts), 0);
            std::snprintf(line, sizeof line, "[SHOW] %02x:%02x:%01x %s, sts 0x%04x\n", n->id.bus, n->id.devfn >> 3,
                          n->id.devfn & 7, name, sts);
            want += line;
        }
        testing::internal::CaptureStdout();
        tvk_show_dev_list(&head);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), want) << "seed " << seed;
        tvk_destroy_dev_list(&head);
    }
}

} // namespace
