// The module decoder on module pages built byte by byte: every getter's
// field, checks and failure lines; module type; the decoders; the label.
#include <array>
#include <cstring>

#include "boardlib/sfp_8472.h"
#include "support/fpga_test_util.h"
#include "support/sim_fixture.h"

namespace {

constexpr const char *F = "boardlib/sfp_8472.cpp";

// The module behind the callback: two pages, the reads seen, a failure.
struct Module {
    std::array<uint8_t, 256> a0{};
    std::array<uint8_t, 256> a2{};
    struct Read {
        uint8_t handle;
        uint32_t dev, offset, length;
        bool operator==(const Read &) const = default;
    };
    std::vector<Read> reads;
    int failAt = -1;   // index of the read that fails
    PlovStatus failWith = -1203;
};
Module g_mod;

PlovStatus module_read(uint8_t handle, uint32_t dev, uint32_t offset, uint32_t length, uint8_t *buf)
{
    g_mod.reads.push_back({handle, dev, offset, length});
    if (static_cast<int>(g_mod.reads.size()) - 1 == g_mod.failAt)
        return g_mod.failWith;
    const auto &page = dev == SFP_PAGE_A0 ? g_mod.a0 : g_mod.a2;
    std::memcpy(buf, page.data() + offset, length);
    return PLOV_OK;
}

class SfpDecoderTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        g_mod = Module{};
        for (size_t i = 0; i < 256; i++) {
            g_mod.a0[i] = static_cast<uint8_t>(i);
            g_mod.a2[i] = static_cast<uint8_t>(0xFF - i);
        }
    }
    sfp_ops ops_{5, {}, module_read};
};

using Getter = PlovStatus (*)(const sfp_ops *, uint8_t *);
struct GetterCase {
    const char *name;
    Getter fn;
    uint32_t dev, offset, length;
    const char *nullOut, *nullRead, *readFail;
};
const GetterCase kGetters[] = {
    {"identifier", sfp_8472_get_identifier_id, 0xA0, 0, 2, "identifier_id is NULL!", "sfp_ops->read is NULL!", "call sfp_ops->read fail! iRet=-1203"},
    {"connector", sfp_8472_get_connector_type, 0xA0, 2, 1, "connect_type is NULL!", "sfp_ops->read is NULL!", "call sfp_ops->read fail! iRet=-1203"},
    {"link", sfp_8472_get_link_length, 0xA0, 14, 6, "link_length is NULL!", " sfp_ops->read is NULL!", "call sfp_ops->read fail! iRet=-1203"},
    {"name", sfp_8472_get_vendor_name, 0xA0, 20, 16, "vendor_name is NULL!", "sfp_ops->read is NULL!", "call func_handler fail! iRet=-1203"},
    {"pn", sfp_8472_get_vendor_pn, 0xA0, 40, 16, "vendor_pn is NULL!", "sfp_ops->read is NULL!", "call sfp_ops->read fail! iRet=-1203"},
    {"wavelength", sfp_8472_get_wavelength, 0xA0, 60, 2, "wavelength is NULL!", "sfp_ops->read is NULL!", "call sfp_ops->read fail! iRet=-1203"},
    {"sn", sfp_8472_get_vendor_sn, 0xA0, 68, 16, "vendor_sn is NULL!", "sfp_ops->read is NULL!", "call sfp_ops->read fail! iRet=-1203"},
    {"date", sfp_8472_get_manufacture_date, 0xA0, 84, 8, "manu_date is NULL!", "sfp_ops->read is NULL!", "call sfp_ops->read fail! iRet=-1203"},
    {"threshold", sfp_8472_get_alarm_threshold, 0xA2, 0, 40, "alarm_threshold is NULL!", "sfp_ops->read is NULL!", "call sfp_ops->read fail! iRet=-1203"},
    {"diag", sfp_8472_get_diag_value, 0xA2, 96, 10, "diag_value is NULL!", "sfp_ops->read is NULL!", "call sfp_ops->read fail! iRet=-1203"},
    {"trx", sfp_8472_get_trx_status, 0xA2, 110, 1, "status is NULL!", "sfp_ops->read is NULL!", "call sfp_ops->read fail! iRet=-1203"},
    {"alarm", sfp_8472_get_alarm_stat, 0xA2, 112, 6, "diag_flag is NULL!", "sfp_ops->read is NULL!", "call sfp_ops->read fail! iRet=-1203"},
};

TEST_F(SfpDecoderTest, GettersReadTheirFieldAndReportEveryFailure)
{
    for (const GetterCase &c : kGetters) {
        SCOPED_TRACE(c.name);
        g_mod.reads.clear();
        uint8_t out[48] = {};
        ASSERT_EQ(c.fn(&ops_, out), 0);
        EXPECT_EQ(g_mod.reads, (std::vector<Module::Read>{{5, c.dev, c.offset, c.length}}));
        const auto &page = c.dev == 0xA0 ? g_mod.a0 : g_mod.a2;
        EXPECT_EQ(std::memcmp(out, page.data() + c.offset, c.length), 0);

        sim_clear_syslog();
        sfp_ops noRead{5, {}, nullptr};
        EXPECT_EQ(c.fn(&ops_, nullptr), -1201);
        EXPECT_EQ(c.fn(nullptr, out), -1201);
        EXPECT_EQ(c.fn(&noRead, out), -1201);
        g_mod.reads.clear();
        g_mod.failAt = 0;
        EXPECT_EQ(c.fn(&ops_, out), -1203);
        g_mod.failAt = -1;
        EXPECT_EQ(plov_lines(F), (std::vector<std::string>{std::string("[PLOV_SFP_8472-ERR]") + c.nullOut,
                                                           "[PLOV_SFP_8472-ERR]sfp_ops is NULL!",
                                                           std::string("[PLOV_SFP_8472-ERR]") + c.nullRead,
                                                           std::string("[PLOV_SFP_8472-ERR]") + c.readFail}));
    }
}

TEST_F(SfpDecoderTest, EthernetSpeedReadsBytes3Then6)
{
    uint8_t out[2] = {};
    ASSERT_EQ(sfp_8472_get_ethernet_speed(&ops_, out), 0);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[1], 6);
    EXPECT_EQ(g_mod.reads, (std::vector<Module::Read>{{5, 0xA0, 3, 1}, {5, 0xA0, 6, 1}}));
    for (int at : {0, 1}) {
        g_mod = Module{};
        g_mod.failAt = at;
        sim_clear_syslog();
        EXPECT_EQ(sfp_8472_get_ethernet_speed(&ops_, out), -1203);
        EXPECT_EQ(g_mod.reads.size(), static_cast<size_t>(at + 1));
        EXPECT_EQ(plov_lines(F), std::vector<std::string>{"[PLOV_SFP_8472-ERR]call sfp_ops->read fail! iRet=-1203, i = " +
                                                          std::to_string(at)});
    }
    EXPECT_EQ(sfp_8472_get_ethernet_speed(&ops_, nullptr), -1201);
}

TEST_F(SfpDecoderTest, ModuleTypeFromConnectorOrByte6)
{
    struct Case {
        uint8_t connector, byte6, type;
        bool infoLine, unknownLine;
    };
    const Case cases[] = {
        {0x07, 0, 0, false, false}, {0x22, 0, 1, false, false}, {0x21, 0, 1, false, false},
        {0x0D, 0, 2, false, false}, {0x00, 8, 1, true, false},  {0x00, 1, 0, true, false},
        {0x00, 2, 0, true, false},  {0x00, 4, 0, true, false},  {0x00, 3, 2, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.connector) << "/" << int(c.byte6));
        g_mod.a0[2] = c.connector;
        g_mod.a0[6] = c.byte6;
        sim_clear_syslog();
        uint8_t type = 0xEE;
        ASSERT_EQ(sfp_8472_get_type(&ops_, &type), 0);
        EXPECT_EQ(type, c.type);
        const auto &log = sim_syslog();
        ASSERT_EQ(log.size(), size_t(c.infoLine) + size_t(c.unknownLine));
        if (c.infoLine) {
            EXPECT_NE(log[0].text.find("[PLOV_SFP_8472-INFO]connetct value is 0, judge by byte6 for more information"),
                      std::string::npos);
        }
        if (c.unknownLine) {
            EXPECT_NE(log[1].text.find("[PLOV_SFP_8472-ERR]type unknown, code_data = 3"), std::string::npos);
        }
    }
    uint8_t type = 0;
    g_mod.a0[2] = 0;
    for (int at : {0, 1}) {
        g_mod.reads.clear();
        g_mod.failAt = at;
        EXPECT_EQ(sfp_8472_get_type(&ops_, &type), -1203);
    }
    EXPECT_EQ(sfp_8472_get_type(&ops_, nullptr), -1201);
}

TEST_F(SfpDecoderTest, SpeedAndWavelengthDecoders)
{
    struct Speed {
        uint8_t b3, b6;
        uint32_t mbps;
    };
    for (const Speed &c : {Speed{0x10, 0x00, 10000}, Speed{0x80, 0x0F, 10000}, Speed{0x01, 0x02, 1000},
                           Speed{0x00, 0x20, 0}, Speed{0x00, 0x00, 0}}) {
        const uint8_t code[2] = {c.b3, c.b6};
        uint32_t mbps = 7;
        EXPECT_EQ(sfp_8472_decode_speed(code, &mbps), 0);
        EXPECT_EQ(mbps, c.mbps);
    }
    const uint8_t code[2] = {0, 0};
    EXPECT_EQ(sfp_8472_decode_speed(code, nullptr), -1201);
    EXPECT_EQ(sfp_8472_decode_speed(nullptr, nullptr), -1201);

    struct Wave {
        uint8_t hi, lo, cls;
        PlovStatus ret;
    };
    for (const Wave &c : {Wave{0x05, 0x1E, 0, 0}, Wave{0x06, 0x0E, 1, 0}, Wave{0x03, 0x52, 2, 0},
                          Wave{0x05, 0xDC, 3, -1350}, Wave{0x00, 0x00, 3, -1350}}) {
        const uint8_t w[2] = {c.hi, c.lo};
        uint8_t cls = 9;
        EXPECT_EQ(sfp_8472_decode_wavelength(w, &cls), c.ret);
        EXPECT_EQ(cls, c.cls);
    }
    uint8_t cls = 0;
    sim_clear_syslog();
    EXPECT_EQ(sfp_8472_decode_wavelength(nullptr, &cls), -1201);
    EXPECT_EQ(sfp_8472_decode_wavelength(code, nullptr), -1201);
    EXPECT_EQ(plov_lines(F), (std::vector<std::string>{"[PLOV_SFP_8472-ERR]code is NULL!", "[PLOV_SFP_8472-ERR]speed is NULL!"}));
}

TEST_F(SfpDecoderTest, LinkLengthTakesTheFirstNonZeroByte)
{
    struct Case {
        std::array<uint8_t, 6> bytes;
        uint32_t distance;
        uint8_t medium;
        PlovStatus ret;
    };
    const Case cases[] = {
        {{7, 9, 9, 9, 9, 9}, 7000, 0, 0}, {{0, 2, 0, 0, 0, 0}, 200, 0, 0}, {{0, 0, 8, 3, 0, 0}, 80, 1, 0},
        {{0, 0, 0, 3, 0, 0}, 30, 1, 0},   {{0, 0, 0, 0, 3, 0}, 3, 2, 0},   {{0, 0, 0, 0, 3, 30}, 3, 2, 0},
        {{0, 0, 0, 0, 0, 30}, 300, 1, 0}, {{0, 0, 0, 0, 0, 0}, 11, 22, -1350},
    };
    for (const Case &c : cases) {
        uint32_t distance = 11;
        uint8_t medium = 22;
        EXPECT_EQ(sfp_8472_decode_link_length(c.bytes.data(), &distance, &medium), c.ret);
        EXPECT_EQ(distance, c.distance);
        EXPECT_EQ(medium, c.medium);
    }
    const uint8_t b[6] = {1};
    uint32_t d = 0;
    uint8_t m = 0;
    sim_clear_syslog();
    EXPECT_EQ(sfp_8472_decode_link_length(nullptr, &d, &m), -1201);
    EXPECT_EQ(sfp_8472_decode_link_length(b, nullptr, &m), -1201);
    EXPECT_EQ(sfp_8472_decode_link_length(b, &d, nullptr), -1201);
    EXPECT_EQ(plov_lines(F), (std::vector<std::string>{"[PLOV_SFP_8472-ERR]link_length is NULL!",
                                                       "[PLOV_SFP_8472-ERR]distance is NULL!",
                                                       "[PLOV_SFP_8472-ERR]medium is NULL!"}));
}

TEST_F(SfpDecoderTest, ConnectorAndDeviceTextsStayWithinTheirCapacity)
{
    struct Case {
        uint8_t code;
        uint32_t size;
        const char *text;
    };
    const Case cases[] = {
        {0x01, 4, "SC"}, {0x0B, 4, "Opt"}, {0x0B, 64, "Optical pigtail"}, {0x0D, 64, "Undefined(0d)"},
        {0x22, 64, "RJ45"}, {0x20, 64, "HSSDC II"}, {0xFF, 6, "Undef"}, {0x07, 1, ""},
    };
    for (const Case &c : cases) {
        char text[64];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(sfp_8472_decode_connector_type(c.code, text, c.size), 0);
        EXPECT_STREQ(text, c.text);
    }
    for (size_t r = 0; r < SFP_CONN_TYPES; r++) {
        char text[64] = {};
        EXPECT_EQ(sfp_8472_decode_connector_type(g_stConnType[r].code, text, sizeof text), 0);
        EXPECT_STREQ(text, g_stConnType[r].text);
    }
    char text[16] = {};
    EXPECT_EQ(sfp_8472_decode_connector_type(1, nullptr, 4), -1201);
    EXPECT_EQ(sfp_8472_decode_connector_type(1, text, 0), -1202);

    struct Dev {
        uint8_t id, ext;
        const char *text;
    };
    for (const Dev &c : {Dev{3, 4, "SFP/SFP+"}, Dev{0, 0, "SFP/SFP+"}, Dev{3, 0, "non-SFP/SFP+"}, Dev{0, 4, "non-SFP/SFP+"}}) {
        const uint8_t id[2] = {c.id, c.ext};
        EXPECT_EQ(sfp_8472_decode_dev_type(id, text, sizeof text), 0);
        EXPECT_STREQ(text, c.text);
    }
    const uint8_t id[2] = {3, 4};
    EXPECT_EQ(sfp_8472_decode_dev_type(id, text, 5), 0);
    EXPECT_STREQ(text, "SFP/");
    EXPECT_EQ(sfp_8472_decode_dev_type(id, nullptr, 5), -1201);
    EXPECT_EQ(sfp_8472_decode_dev_type(id, text, 0), -1202);
    EXPECT_EQ(sfp_8472_decode_dev_type(nullptr, text, 5), -1201);
    EXPECT_TRUE(sim_syslog().empty());
}

TEST_F(SfpDecoderTest, DistanceLabel)
{
    struct Case {
        std::array<uint8_t, 6> bytes;
        uint32_t size;
        PlovStatus ret;
        const char *label;
    };
    const Case cases[] = {
        {{10, 0, 0, 0, 0, 0}, 64, 0, "10km(0.009mm)"},
        {{0, 5, 30, 0, 0, 0}, 64, 0, "500m(0.009mm)"},
        {{0, 0, 8, 3, 0, 30}, 64, 0, "80m(0.05mm)-30m(0.0625mm)-300m(0.05mm)"},
        {{0, 0, 0, 0, 9, 2}, 64, 0, "20m(0.05mm)"},
        {{0, 0, 0, 0, 9, 0}, 64, -1200, "unchanged"},
        {{0, 0, 0, 0, 0, 0}, 64, -1200, "unchanged"},
        // A short buffer gets the text cut, single-mode and multimode alike.
        {{10, 0, 0, 0, 0, 0}, 5, 0, "10km"},
        {{0, 0, 8, 0, 0, 0}, 5, 0, "80m("},
    };
    for (const Case &c : cases) {
        std::copy(c.bytes.begin(), c.bytes.end(), g_mod.a0.begin() + 14);
        g_mod.reads.clear();
        char label[64] = "unchanged";
        EXPECT_EQ(sfp_8472_get_redistance_elabel(&ops_, label, c.size), c.ret);
        EXPECT_STREQ(label, c.label);
        EXPECT_EQ(g_mod.reads, (std::vector<Module::Read>{{5, 0xA0, 14, 6}}));
    }
    char label[8] = "x";
    sim_clear_syslog();
    EXPECT_EQ(sfp_8472_get_redistance_elabel(&ops_, label, 0), -1202);
    EXPECT_STREQ(label, "x");
    EXPECT_EQ(sfp_8472_get_redistance_elabel(&ops_, nullptr, 8), -1201);
    g_mod.failAt = static_cast<int>(g_mod.reads.size());
    EXPECT_EQ(sfp_8472_get_redistance_elabel(&ops_, label, 8), -1203);
    EXPECT_EQ(plov_lines(F), (std::vector<std::string>{"[PLOV_SFP_8472-ERR]distance_elable is NULL!",
                                                       "[PLOV_SFP_8472-ERR]read qsfp register to get distance fail! ret = -1203.\n"}));
}

}  // namespace
