// The simulated media driver: which boards carry it, the records it checks,
// absent DSPs, the LPC space, arrivals in virtual time, the saved board and
// fixture lines.
#include "sim/media_model.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>

#include "sim/fixture_file.h"
#include "sim/sim_sched.h"
#include "support/saved_board.h"
#include "support/sim_fixture.h"

namespace {

class MediaModelTest : public SimTest {
protected:
    std::string board() const override { return "ZK17KESP"; }

    // One request on the node: 0 or the errno.
    static int request(unsigned long code, void *rec)
    {
        int fd = host_open(MEDIA_DEV_NODE, O_RDWR);
        EXPECT_GE(fd, 0);
        int r = host_ioctl(fd, code, rec);
        int err = r < 0 ? errno : 0;
        host().close(fd);
        return err;
    }

    static std::string state_text(unsigned long code, uint32_t sub, uint32_t dsp)
    {
        char out[9] = {};
        MEDIA_DEV_STATE_STRU r{sub, dsp, reinterpret_cast<uintptr_t>(out), 8, 0};
        EXPECT_EQ(request(code, &r), 0);
        return out;
    }
};

TEST_F(MediaModelTest, OnlyTheKespBoardCarriesTheNode)
{
    EXPECT_TRUE(sim_node_present(MEDIA_DEV_NODE));
    sim_board_close();
    for (const SimBoardProfile &p : sim_board_profiles()) {
        std::string root = root_ + "/" + p.model;
        ASSERT_EQ(sim_board_open(root, p.model), 0);
        EXPECT_EQ(sim_node_present(MEDIA_DEV_NODE), std::string(p.model) == "ZK17KESP") << p.model;
        sim_board_close();
    }
    ASSERT_EQ(sim_board_open(root_, ""), 0);
}

TEST_F(MediaModelTest, RecordsAreChecked)
{
    uint8_t buf[16] = {};
    MEDIA_MEM_RW_STRU nullBuf{0, 0, 0x80000000, 0, 0, 4, 0};
    MEDIA_MEM_RW_STRU zeroLen{0, 0, 0x80000000, 0, reinterpret_cast<uintptr_t>(buf), 0, 0};
    MEDIA_MEM_RW_STRU outside{0, 0, 0x7FFFFFFC, 0, reinterpret_cast<uintptr_t>(buf), 8, 0};
    MEDIA_MEM_RW_STRU crossing{0, 0, 0x1087FFFC, 0, reinterpret_cast<uintptr_t>(buf), 8, 0};
    MEDIA_DEV_STATE_STRU shortState{0, 0, reinterpret_cast<uintptr_t>(buf), 4, 0};
    MEDIA_DEV_ID_STRU badDsp{0, 9};
    MEDIA_PORT_CTRL_STRU badCtrl{0, 0, 2, 0};
    MEDIA_LPC_RW_STRU lpcEnd{reinterpret_cast<uintptr_t>(buf), 0, 0xFFFE, 4};
    MEDIA_MEM_TEST_STRU unaligned{0, 0, 0x80000002, 0, reinterpret_cast<uintptr_t>(buf), 8, 4};
    MEDIA_ECC_ZONE_STRU threeZones{0, 0, 3, 0, 0, 0, 0};
    struct Case {
        const char *name;
        unsigned long code;
        void *rec;
        int err;
    };
    const Case cases[] = {
        {"null record", MEDIA_MEM_READ, nullptr, EFAULT},
        {"null buffer", MEDIA_MEM_READ, &nullBuf, EFAULT},
        {"zero length", MEDIA_MEM_WRITE, &zeroLen, EINVAL},
        {"outside memory", MEDIA_MEM_READ, &outside, EINVAL},
        {"crossing a core range", MEDIA_MEM_READ, &crossing, EINVAL},
        {"state length", MEDIA_INIT_STATE, &shortState, EINVAL},
        {"dsp 9", MEDIA_RESET_DEV, &badDsp, EINVAL},
        {"control 2", MEDIA_SW_PORT_CTRL, &badCtrl, EINVAL},
        {"past the LPC space", MEDIA_LPC_RW, &lpcEnd, EINVAL},
        {"unaligned test access", MEDIA_ECC_TEST_READ, &unaligned, EINVAL},
        {"three zones", MEDIA_ECC_ENABLE, &threeZones, EINVAL},
    };
    for (const Case &c : cases)
        EXPECT_EQ(request(c.code, c.rec), c.err) << c.name;
}

TEST_F(MediaModelTest, AbsentDspsAndSubBoards)
{
    EXPECT_EQ(state_text(MEDIA_INIT_STATE, 0, 0), "VALID");
    EXPECT_EQ(state_text(MEDIA_INIT_STATE, 1, 0), "ABSENT");
    MEDIA_DEV_ID_STRU id{1, 0};
    EXPECT_EQ(request(MEDIA_RESET_DEV, &id), ENODEV);
    MEDIA_DEV_ID_STRU lpc{1, 0};
    EXPECT_EQ(request(MEDIA_LPC_TEST, &lpc), ENODEV);

    media_presence_at(0, 4, false, 1500000000);
    media_presence_at(1, MEDIA_DSP_NUM, true, 2500000000);
    host().sleep(2);
    EXPECT_EQ(state_text(MEDIA_PORT_LINK_STATE, 0, 4), "ABSENT");
    EXPECT_EQ(state_text(MEDIA_INIT_STATE, 1, 0), "ABSENT");
    host().sleep(1);
    EXPECT_EQ(state_text(MEDIA_INIT_STATE, 1, 0), "VALID");
}

TEST_F(MediaModelTest, LpcSpaceAndB004)
{
    uint8_t w[4] = {0x11, 0x22, 0x33, 0x44}, r[4] = {};
    MEDIA_LPC_RW_STRU wr{reinterpret_cast<uintptr_t>(w), 1, 0xB002, 4};
    EXPECT_EQ(request(MEDIA_LPC_RW, &wr), 0);
    MEDIA_LPC_RW_STRU rd{reinterpret_cast<uintptr_t>(r), 0, 0xB002, 4};
    EXPECT_EQ(request(MEDIA_LPC_RW, &rd), 0);
    EXPECT_EQ(r[0], 0x11);
    EXPECT_EQ(r[2], static_cast<uint8_t>(~0x33));   // 0xB004 answers the complement
    EXPECT_EQ(r[3], 0x44);
    const SimAttachment *data = sim_attachment(sim_journal()[0], "data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->bytes, std::vector<uint8_t>(w, w + 4));
}

TEST_F(MediaModelTest, StateSurvivesTheSavedBoard)
{
    uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(media_mem_write(0, 3, 0x80000100, data, 8));
    MEDIA_DEV_ID_STRU id{0, 3};
    EXPECT_EQ(request(MEDIA_RESET_DEV, &id), 0);
    EXPECT_EQ(request(MEDIA_DEV_PLUGOUT, &id), 0);
    media_set_subrd(1, true);
    ASSERT_EQ(sim_board_close(), 0);
    ASSERT_EQ(sim_board_open(root_, ""), 0);
    uint8_t back[8] = {};
    ASSERT_TRUE(media_mem_read(0, 3, 0x80000100, back, 8));
    EXPECT_EQ(std::memcmp(back, data, 8), 0);
    MediaDspView v = media_dsp_view(0, 3);
    EXPECT_EQ(v.resets, 1U);
    EXPECT_FALSE(v.plugged);
    EXPECT_EQ(state_text(MEDIA_INIT_STATE, 0, 3), "ABSENT");
    EXPECT_EQ(state_text(MEDIA_INIT_STATE, 1, 8), "VALID");
}

TEST_F(MediaModelTest, FixtureLines)
{
    std::string err;
    const char *text = "media-subrd 1 present=1 cpu=1/1/1 dsp3=0/0/0 lpcstate=0\n"
                       "media-dsp 0 2 init=0 link=0\n"
                       "media-delay 0 5 linkdown never\n"
                       "media-fault 0xC0084D09 0 1 5\n";
    ASSERT_TRUE(sim_fixture_apply(text, "test", err)) << err;
    SubrdState st{};
    MEDIA_HEALTH_STRU h{1, 0, reinterpret_cast<uintptr_t>(&st)};
    EXPECT_EQ(request(MEDIA_SUBRD_HEALTH, &h), 0);
    EXPECT_EQ(st.CpuPortState.LinkSpeed, 1U);
    EXPECT_EQ(st.DspPortState[3].LinkState, 0U);
    EXPECT_EQ(st.LpcState, 0U);
    EXPECT_EQ(state_text(MEDIA_INIT_STATE, 0, 2), "ABSENT");
    MEDIA_PORT_CTRL_STRU off{0, 5, 0, 0};
    EXPECT_EQ(request(MEDIA_SW_PORT_CTRL, &off), 0);
    EXPECT_EQ(state_text(MEDIA_PORT_LINK_STATE, 0, 5), "VALID");
    MEDIA_DEV_ID_STRU id{0, 1};
    EXPECT_EQ(request(MEDIA_RESET_DEV, &id), EIO);
    id.uiDspId = 2;
    EXPECT_EQ(request(MEDIA_RESET_DEV, &id), 0);

    for (const char *bad : {"media-dsp 0 9 init=0", "media-dsp 0 1 colour=3", "media-subrd 2 present=1",
                            "media-subrd 0 cpu=1/2", "media-delay 0 1 linkup soon", "media-fault 0xC0084D09 0 1"}) {
        err.clear();
        EXPECT_FALSE(sim_fixture_apply(bad, "test", err)) << bad;
        EXPECT_FALSE(err.empty()) << bad;
    }
}

// The saved sub-boards and DSPs hold what the driver does: flags of 0 or
// 1, 32-bit state words and errnos, at most two ECC zones, whole pages of
// DSP memory, the LPC space. One past each bound is refused at its line;
// the bound loads.
TEST(MediaSavedBoard, ValuesPastTheirBoundsAreRefusedAtTheirLine)
{
    const SavedBoard b("ZK17KESP");
    const std::string media = "media";
    const std::string paths = std::to_string(sizeof(SubrdState));
    const struct {
        SavedEntry entry;
        std::string message;  // empty: loads
    } cases[] = {
        {{media, "dsp 0 0 flags", "0x1 0x0 0x1 0x0 0x1 0x0"}, ""},
        {{media, "dsp 0 0 flags", "0x1 0x0 0x1 0x0 0x1 0x2"}, "'dsp 0 0 flags' holds 0x2, above its largest value 0x1"},
        {{media, "dsp 0 0 flags", "0x1 0x0 0x1 0x0 0x1"}, "'dsp 0 0 flags' wants 6 flags of 0 or 1"},
        {{media, "dsp 0 1 state", "0xffffffff 0xffffffff 0x2 0xffffffff 0xffffffff 0xffffffff 0xffffffff 0x7fffffff"},
         ""},
        {{media, "dsp 0 1 state", "0x100000000 0x0 0x0 0x0 0x0 0x0 0x0 0x0"},
         "'dsp 0 1 state' holds 0x100000000, above its largest value 0xffffffff"},
        {{media, "dsp 0 1 state", "0x0 0x0 0x3 0x0 0x0 0x0 0x0 0x0"},
         "'dsp 0 1 state' holds 0x3, above its largest value 0x2"},
        {{media, "dsp 0 1 state", "0x0 0x0 0x0 0x0 0x0 0x0 0x100000000 0x0"},
         "'dsp 0 1 state' holds 0x100000000, above its largest value 0xffffffff"},
        {{media, "dsp 0 1 state", "0x0 0x0 0x0 0x0 0x0 0x0 0x0 0x80000000"},
         "'dsp 0 1 state' holds 2147483648, not an errno"},
        {{media, "dsp 0 1 state", "0x0 0x0 0x0 0x0 0x0 0x0 0x0"}, "'dsp 0 1 state' wants 8 integers"},
        {{media, "dsp 0 2 mem 0xfffff000", saved_bytes(4096)}, ""},
        {{media, "dsp 0 2 mem 0x10800000", saved_bytes(4095)},
         "'dsp 0 2 mem 0x10800000' holds 4095 bytes, 4096 expected"},
        {{media, "dsp 0 2 mem 0x10800000", saved_bytes(4097)},
         "'dsp 0 2 mem 0x10800000' holds 4097 bytes, 4096 expected"},
        {{media, "dsp 0 2 mem 0x10800800", saved_bytes(4096)},
         "'dsp 0 2 mem 0x10800800' is not at the start of a DSP memory page"},
        {{media, "dsp 0 2 mem 0x100000000", saved_bytes(4096)},
         "media: entry 'dsp 0 2 mem 0x100000000' not understood"},
        {{media, "dsp 1 8 app 0xffffffff", "0xffffffff"}, ""},
        {{media, "dsp 1 8 app 0x10", "0x100000000"},
         "'dsp 1 8 app 0x10' is 0x100000000, above its largest value 0xffffffff"},
        {{media, "dsp 1 8 app 0x100000000", "0x1"}, "media: entry 'dsp 1 8 app 0x100000000' not understood"},
        {{media, "subrd 1 present", "0x1 0xffffffff80000001"}, ""},
        {{media, "subrd 1 present", "0x1 0xffffffff80000000"}, "'subrd 1 present' holds -2147483648, not an errno"},
        {{media, "subrd 1 present", "0x2 0x0"}, "'subrd 1 present' wants a flag of 0 or 1 and an errno"},
        {{media, "subrd 0 paths", saved_bytes(sizeof(SubrdState))}, ""},
        {{media, "subrd 0 paths", saved_bytes(sizeof(SubrdState) - 1)},
         "'subrd 0 paths' holds " + std::to_string(sizeof(SubrdState) - 1) + " bytes, " + paths + " expected"},
        {{media, "subrd 0 paths", saved_bytes(sizeof(SubrdState) + 1)},
         "'subrd 0 paths' holds " + std::to_string(sizeof(SubrdState) + 1) + " bytes, " + paths + " expected"},
        {{media, "lpc", saved_bytes(0x10000)}, ""},
        {{media, "lpc", saved_bytes(0xFFFF)}, "'lpc' holds 65535 bytes, 65536 expected"},
        {{media, "lpc", saved_bytes(0x10001)}, "'lpc' holds 65537 bytes, 65536 expected"},
        {{media, "lpcb004", saved_bytes(0)}, "'lpcb004' holds 0 bytes, 1 expected"},
        {{media, "lpcb004", saved_bytes(2)}, "'lpcb004' holds 2 bytes, 1 expected"},
    };
    for (const auto &c : cases)
        b.expect(c.entry, c.message);
}

} // namespace
