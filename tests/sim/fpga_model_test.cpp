// The simulated FPGA driver: its checks on each record, register
// behaviours, both indirect encodings, the record stores, faults and the
// saved board. What the board libraries send through it is tested with them.
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <stdexcept>

#include "bases/drv/plov_drv.h"
#include "sim/fpga_model.h"
#include "support/fpga_test_util.h"
#include "support/saved_board.h"
#include "support/sim_fixture.h"

namespace {

const std::string kTrans = kFpgaTransNode;
const std::string kSbuf = kFpgaSbufNode;

class FpgaModelTest : public SimTest {
protected:
    // One request on a node; the result, or -errno.
    int request(const std::string &node, unsigned long number, void *arg)
    {
        int fd = host_open(node.c_str(), O_RDWR);
        EXPECT_GE(fd, 0);
        int r = host_ioctl(fd, number, arg);
        int err = errno;
        host().close(fd);
        return r < 0 ? -err : r;
    }
    uint64_t read_reg(const std::string &node, uint64_t addr)
    {
        DirRegReq req{addr, 0};
        EXPECT_EQ(request(node, PLOV_IOC_READ_DIR_REG, &req), 0);
        return req.data;
    }
    int indir(unsigned long number, uint64_t base, uint64_t cmd, uint16_t wlen, uint16_t rlen, uint64_t *words)
    {
        IndirRegReq req{0, 0, base, cmd, 0, 0, 0, wlen, rlen, {}, words};
        return request(kTrans, number, &req);
    }
};

class FpgaModelKespTest : public FpgaModelTest {
protected:
    std::string board() const override { return "ZK17KESP"; }
};

// Each record the driver checks or answers from the fresh board: the record
// handed in, the result, and the record as it comes back.
TEST_F(FpgaModelTest, RecordsCheckedAndAnswered)
{
    for (const std::string &node : {kTrans, kSbuf})
        for (unsigned long nr = 0x00; nr <= 0x23; nr++) {
            unsigned long number = nr == 0x1F || nr == 0x20 ? 0xC008EF00UL + nr : 0xC004EF00UL + nr;
            EXPECT_EQ(request(node, number, nullptr), -EFAULT) << std::hex << number;
        }
    EXPECT_EQ(request(kTrans, 0xC004EF20UL, nullptr), -ENOTTY);
    EXPECT_EQ(request(kTrans, 0xC004EF24UL, nullptr), -ENOTTY);

    QueueAddrRec stored{1, 8, 0, 0x1000, 512, 0x2000, 0, 0x3000, 0};
    fpga_set_record_as(kSbuf, FpgaRecord::QueueAddr, uint64_t{1} << 32 | 8, stored);
    uint64_t words[2] = {};
    uint8_t buf[16] = {};
    const uint32_t ep[4] = {1, 2, 3, 4};
    auto hs = [](uint8_t port, uint8_t present) {
        Bytes b(16, 0);
        b[0] = port;
        b[2] = present;
        return b;
    };
    std::string ver = "sbuf_pci 1.0.0";
    ver.resize(PLOV_DRV_VER_LEN);
    auto sfp = [&](uint8_t port, uint8_t offset, uint16_t length, uint32_t dev, uint8_t *to) {
        return bytes_of(SfpRegReq{port, offset, length, dev, to});
    };
    struct Case {
        const std::string &node;
        unsigned long number;
        Bytes in;
        int result;
        Bytes out;  // empty: not looked at
    } cases[] = {
        {kTrans, 0xC004EF00, bytes_of(DirRegReq{0x100000, 1}), -EINVAL, {}},
        {kSbuf, 0xC004EF01, bytes_of(DirRegReq{0x6900, 0}), 0, bytes_of(DirRegReq{0x6900, 0xFC00})},  // cages 2-7 empty
        {kTrans, 0xC004EF03, bytes_of(IndirRegReq{0, 0, 0x30, 0, 0, 0, 0, 1, 1, {}, nullptr}), -EFAULT, {}},
        {kTrans, 0xC004EF03, bytes_of(IndirRegReq{0, 0, 0x30, 0, 0, 0, 0, 0, 0, {}, words}), -EINVAL, {}},
        {kTrans, 0xC004EF02, bytes_of(IndirRegReq{0, 0, 0x30, 0, 0, 0, 0, 300, 0, {}, words}), -EINVAL, {}},
        {kSbuf, 0xC004EF18, sfp(0, 0, 1, 0xA0, nullptr), -EFAULT, {}},
        {kSbuf, 0xC004EF18, sfp(0, 0, 0, 0xA0, buf), 0, {}},          // no bytes: nothing moved
        {kSbuf, 0xC004EF18, sfp(0, 250, 16, 0xA0, buf), -EINVAL, {}}, // beyond the page
        {kSbuf, 0xC004EF18, sfp(8, 0, 1, 0xA0, buf), -EINVAL, {}},    // no such cage
        {kSbuf, 0xC004EF18, sfp(0, 0, 1, 0xA4, buf), -EINVAL, {}},    // no such device
        {kSbuf, 0xC004EF18, sfp(3, 0, 1, 0xA0, buf), -EIO, {}},       // empty cage
        {kSbuf, 0xC004EF0F, bytes_of(LoadAtRebootReq{2, 1}), -EINVAL, {}},
        {kSbuf, 0xC004EF10, bytes_of(LoadAtRebootReq{1, 0}), -EFAULT, {}},
        {kTrans, 0xC004EF1C, bytes_of(RegSpaceReq{4097, 0, buf}), -EINVAL, {}},
        {kTrans, 0xC004EF0A, bytes_of(MemOpReq{0x4000, 0xDEAD, 1, {}}), 0, {}},
        {kTrans, 0xC004EF0A, bytes_of(MemOpReq{0x4000, 0, 0, {}}), 0, bytes_of(MemOpReq{0x4000, 0xDEAD, 0, {}})},
        {kTrans, 0xC004EF0A, bytes_of(MemOpReq{0x4000, 0, 2, {}}), -EINVAL, {}},
        // Stores answer by key and keep the caller's input fields.
        {kTrans, 0xC004EF17, bytes_of(QueueSwitchReq{3, 0, 0, 8, {}}), -EINVAL, {}},
        {kSbuf, 0xC004EF09, bytes_of(QueueAddrRec{1, 8, 9, 9, 9, 9, 9, 9, 9}), 0, bytes_of(stored)},
        {kSbuf, 0xC004EF09, bytes_of(QueueAddrRec{3, 8, 0, 0, 0, 0, 0, 0, 0}), -EINVAL, {}},
        {kSbuf, 0xC004EF13, hs(1, 0), 0, hs(1, 1)},  // modules in cages 0 and 1
        {kSbuf, 0xC004EF13, hs(2, 1), 0, hs(2, 0)},
        {kSbuf, 0xC004EF13, hs(8, 0), -EINVAL, {}},
        {kTrans, 0xC004EF21, bytes_of(PortStaticMacReq{16, {}, {}, {}}), -EINVAL, {}},
        {kSbuf, 0xC004EF0C, Bytes(PLOV_DRV_VER_LEN, 0), 0, Bytes(ver.begin(), ver.end())},
        {kTrans, 0xC004EF14, Bytes{0}, 0, Bytes{3}},
        {kTrans, 0xC008EF20, bytes_of(ep), 0, {}},
        {kTrans, 0xC008EF1F, bytes_of(ep), 0, {}},
        {kTrans, 0xC008EF1F, bytes_of(ep), -ENOENT, {}},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        SCOPED_TRACE(i);
        Bytes rec = cases[i].in;
        EXPECT_EQ(request(cases[i].node, cases[i].number, rec.data()), cases[i].result);
        EXPECT_TRUE(cases[i].out.empty() || rec == cases[i].out);
    }
    DrvInfo info{};
    EXPECT_EQ(request(kTrans, PLOV_IOC_GET_DRV_INFO, &info), 0);
    EXPECT_EQ(info.reg_len, 4096u);
    uint8_t space[4096];
    RegSpaceReq regs{4096, 0, space};
    EXPECT_EQ(request(kTrans, PLOV_IOC_GET_REGS, &regs), 0);
    EXPECT_EQ(space[0x123], 0x23);
    SfpRegReq area{0, 20, 16, 0xA0, buf};
    EXPECT_EQ(request(kSbuf, PLOV_IOC_GET_SFP_AREA, &area), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 16), "QUORBIX OPTICS  ");
    EXPECT_EQ(sim_journal().back().extra, Words(buf, buf + 16));
    SfpRegReq set{1, 0x86, 1, 0xA2, buf};
    EXPECT_EQ(request(kSbuf, PLOV_IOC_SET_SFP_REG, &set), 0);
    EXPECT_EQ(fpga_get_sfp_page(kSbuf, 1, 0xA2)[0x86], 'Q');
}

TEST_F(FpgaModelTest, DirectRegisterBehavioursAndScriptedReads)
{
    struct Case {
        FpgaRegBehaviour behaviour;
        uint64_t first, second;  // two reads after 1 was preset and 5 written
    } cases[] = {
        {FpgaRegBehaviour::Plain, 5, 5},
        {FpgaRegBehaviour::ReadOnly, 1, 1},
        {FpgaRegBehaviour::Complement, ~uint64_t{5}, ~uint64_t{5}},
        {FpgaRegBehaviour::ClearOnRead, 5, 0},
    };
    uint64_t addr = 0x100;
    for (const Case &c : cases) {
        SCOPED_TRACE(addr);
        fpga_set_reg(kSbuf, addr, 1);
        fpga_set_reg_behaviour(kSbuf, addr, c.behaviour);
        DirRegReq w{addr, 5};
        EXPECT_EQ(request(kSbuf, PLOV_IOC_WRITE_DIR_REG, &w), 0);
        EXPECT_EQ(read_reg(kSbuf, addr), c.first);
        EXPECT_EQ(read_reg(kSbuf, addr), c.second);
        EXPECT_EQ(read_reg(kTrans, addr), 0u);  // the other FPGA is untouched
        addr++;
    }
    fpga_set_reg(kTrans, 0x5D00, 0x10);
    fpga_script_reads(kTrans, 0x5D00, {0, 3});
    for (uint64_t expect : {0, 3, 0x10, 0x10})
        EXPECT_EQ(read_reg(kTrans, 0x5D00), expect);
}

TEST_F(FpgaModelTest, DornEncodingKeysFirstAnswerAtWlen)
{
    EXPECT_EQ(fpga_encoding(), FpgaEncoding::Dorn);
    uint64_t write[3] = {7, 0xAA, 0xBB}, read[4] = {7, 9, 9, 9};
    EXPECT_EQ(indir(PLOV_IOC_WRITE_INDIR_REG, 0x3800, 1, 3, 0, write), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x3800, {7}), (Words{0xAA, 0xBB}));
    EXPECT_EQ(sim_journal().back().extra, (Words{7, 0xAA, 0xBB}));
    EXPECT_EQ(indir(PLOV_IOC_READ_INDIR_REG, 0x3800, 0, 2, 2, read), 0);  // a word between key and answer
    EXPECT_EQ(Words(read, read + 4), (Words{7, 9, 0xAA, 0xBB}));

    fpga_set_key_words(kTrans, 0x1000, 2);
    uint64_t two[3] = {1, 2, 0x33};
    EXPECT_EQ(indir(PLOV_IOC_WRITE_INDIR_REG, 0x1000, 1, 3, 0, two), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x1000, {1, 2}), Words{0x33});

    // Delete (command 2) and clear with the key alone (command 3) drop the entry.
    for (uint64_t cmd : {2, 3}) {
        fpga_put_indirect(kTrans, 0x3800, {7}, {1});
        EXPECT_EQ(indir(PLOV_IOC_WRITE_INDIR_REG, 0x3800, cmd, 1, 0, write), 0);
        EXPECT_FALSE(fpga_has_indirect(kTrans, 0x3800, {7}));
    }
    // Request 0x1E: the address alone in a one-word buffer, whatever the
    // counts; every entry at the base whose first key word it is goes.
    fpga_put_indirect(kTrans, 0x3800, {7}, {1});
    fpga_put_indirect(kTrans, 0x1000, {7, 2}, {1});
    fpga_put_indirect(kTrans, 0x3800, {8}, {1});
    auto clear = std::make_unique<uint64_t>(7);
    EXPECT_EQ(indir(PLOV_IOC_CLEAR_INDIR_REG, 0x3800, 3, 0, 0, clear.get()), 0);
    EXPECT_FALSE(fpga_has_indirect(kTrans, 0x3800, {7}));
    EXPECT_TRUE(fpga_has_indirect(kTrans, 0x3800, {8}));
    EXPECT_TRUE(fpga_has_indirect(kTrans, 0x1000, {7, 2}));
    EXPECT_EQ(sim_journal().back().extra, Words{7});
}

TEST_F(FpgaModelKespTest, KespEncodingAddressInWordZero)
{
    EXPECT_EQ(fpga_encoding(), FpgaEncoding::Kesp);
    uint64_t write[4] = {0x12, 1, 2, 3}, read[4] = {0x12, 9, 9, 9};
    EXPECT_EQ(indir(PLOV_IOC_WRITE_INDIR_REG, 0x5820, 1, 3, 0, write), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x5820, {0x12}), (Words{1, 2, 3}));
    EXPECT_EQ(sim_journal().back().extra, (Words{0x12, 1, 2, 3}));
    EXPECT_EQ(indir(PLOV_IOC_READ_INDIR_REG, 0x5820, 0, 0, 3, read), 0);
    EXPECT_EQ(Words(read, read + 4), (Words{0x12, 1, 2, 3}));
    auto clear = std::make_unique<uint64_t>(0x12);  // one word, whatever rlen says
    EXPECT_EQ(indir(PLOV_IOC_CLEAR_INDIR_REG, 0x5820, 3, 0, 1, clear.get()), 0);
    EXPECT_FALSE(fpga_has_indirect(kTrans, 0x5820, {0x12}));

    uint8_t id = 0;  // the modules sit in the cages of the one FPGA
    SfpRegReq req{1, 0, 1, 0xA0, &id};
    EXPECT_EQ(request(kTrans, PLOV_IOC_GET_SFP_REG, &req), 0);
    EXPECT_EQ(id, 0x03);
    // The KESP board has one node; the test API refuses the other.
    EXPECT_FALSE(sim_node_present(kSbuf));
    EXPECT_THROW(fpga_get_reg(kSbuf, 0x1), std::invalid_argument);
}

TEST_F(FpgaModelTest, FaultsByAddressKeyAndCall)
{
    fpga_fail_address(kTrans, PLOV_IOC_READ_DIR_REG, 0x1500, EIO);
    DirRegReq req{0x1500, 0};
    EXPECT_EQ(request(kTrans, PLOV_IOC_READ_DIR_REG, &req), -EIO);
    EXPECT_EQ(read_reg(kTrans, 0x1501), 0u);
    EXPECT_EQ(request(kSbuf, PLOV_IOC_READ_DIR_REG, &req), 0);

    fpga_result_address(kTrans, PLOV_IOC_WRITE_DIR_REG, 0x10, 4, 2);
    DirRegReq w{0x10, 1};
    for (int expect : {0, 4, 0})
        EXPECT_EQ(request(kTrans, PLOV_IOC_WRITE_DIR_REG, &w), expect);

    fpga_fail_key(kTrans, PLOV_IOC_READ_INDIR_REG, 0x1580, {5}, ETIMEDOUT);
    uint64_t words[2] = {5, 0};
    EXPECT_EQ(indir(PLOV_IOC_READ_INDIR_REG, 0x1580, 2, 1, 1, words), -ETIMEDOUT);
    words[0] = 6;
    EXPECT_EQ(indir(PLOV_IOC_READ_INDIR_REG, 0x1580, 2, 1, 1, words), 0);
}

TEST_F(FpgaModelTest, TheBoardIsKeptBetweenRuns)
{
    fpga_set_reg(kSbuf, 0x6900, 0x1234);
    fpga_set_reg_behaviour(kSbuf, 0x77, FpgaRegBehaviour::ReadOnly);
    fpga_set_key_words(kTrans, 0x3800, 2);
    fpga_put_indirect(kTrans, 0x3800, {1, 2}, {3, 4});
    fpga_set_record(kTrans, FpgaRecord::DrvVer, 0, {'v', '2', 0});
    fpga_set_sfp_bytes(kSbuf, 5, 0xA2, 0x80, {9, 8});
    fpga_set_mem(kTrans, 0x40, 0x41);
    sim_board_close();
    fpga_model_reset();
    sim_board_open(root_, "");
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x6900), 0x1234u);
    DirRegReq w{0x77, 1};
    EXPECT_EQ(request(kSbuf, PLOV_IOC_WRITE_DIR_REG, &w), 0);
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x77), 0u);
    uint64_t read[3] = {1, 2, 0};
    EXPECT_EQ(indir(PLOV_IOC_READ_INDIR_REG, 0x3800, 0, 2, 1, read), 0);
    EXPECT_EQ(read[2], 3u);
    EXPECT_EQ(fpga_get_record(kTrans, FpgaRecord::DrvVer), (Bytes{'v', '2', 0}));
    EXPECT_EQ(fpga_get_sfp_page(kSbuf, 5, 0xA2)[0x81], 8);
    EXPECT_EQ(fpga_get_mem(kTrans, 0x40), 0x41u);
    EXPECT_TRUE(sim_node_present(kTrans));
    EXPECT_TRUE(sim_node_present(kSbuf));
}

// An SFP page of the saved board is exactly a page: a shorter one crashed
// the commands that read it and a longer one let a write land past the
// page's end. Such a board is refused before the tool runs, in a child with
// a time limit.
TEST(FpgaSavedBoard, AnSfpPageOfAnyOtherLengthIsRefusedBeforeTheToolRuns)
{
    const SavedBoard b("ZK17DORN");
    const std::string key = "sfp 0x1 0xa0";
    const struct {
        std::string value;
        size_t length;
        const char *args;
    } cases[] = {
        {"\"\"", 0, "-m sfp/s/1"},
        {"\"\"", 0, "-m sfp/i/1"},
        {"\"\"", 0, "-m sfp/t/1:0xA0:0:16"},
        {"\"x\"", 1, "-m sfp/w/1:0xA0:200:4:0x1:0x2:0x3:0x4"},
        {saved_bytes(255), 255, "-m sfp/w/1:0xA0:252:4:0x1:0x2:0x3:0x4"},
        {saved_bytes(257), 257, "-m sfp/i/1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args + (" with " + std::to_string(c.length) + " bytes"));
        int line = 0;
        std::ofstream(b.file, std::ios::binary | std::ios::trunc) << b.with({"fpga /dev/sbuf_pci", key, c.value}, line);
        SimRun r = run_sim_binary("--root " + b.root + " -- " + c.args, kSimLimitSeconds);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "quorbix-sim: " + b.file + ":" + std::to_string(line) + ": '" + key + "' holds " +
                             std::to_string(c.length) + " bytes, 256 expected" + kSavedBoardHint + "\n");
    }
    // Exactly a page loads, and a write to its last bytes lands in it.
    int line = 0;
    std::ofstream(b.file, std::ios::binary | std::ios::trunc)
        << b.with({"fpga /dev/sbuf_pci", key, saved_bytes(256)}, line);
    SimRun w = run_sim_binary("--root " + b.root + " -- -m sfp/w/1:0xA0:252:4:0x1:0x2:0x3:0x4", kSimLimitSeconds);
    EXPECT_EQ(w.status, 0) << w.err;
    EXPECT_NE(w.out.find("SUCCESS"), std::string::npos) << w.out;
    std::stringstream saved;
    saved << std::ifstream(b.file).rdbuf();
    EXPECT_NE(saved.str().find(key + " = \"" + std::string(252, 'A') + "\\x01\\x02\\x03\\x04\"\n"), std::string::npos);
}

// Each saved FPGA value is bounded by what the driver holds: one past the
// bound is refused at its line, the bound itself loads.
TEST(FpgaSavedBoard, ValuesPastTheDriversBoundsAreRefusedAtTheirLine)
{
    const SavedBoard b("ZK17DORN");
    const std::string trans = "fpga /dev/trans_pci", sbuf = "fpga /dev/sbuf_pci";
    auto words = [](size_t n) {
        std::string v;
        for (size_t i = 0; i < n; i++)
            v += (i ? " 0x" : "0x") + std::to_string(i % 10);
        return v;
    };
    const struct {
        SavedEntry entry;
        std::string message;  // empty: loads
    } cases[] = {
        {{sbuf, "sfp 0x1 0xa0", saved_bytes(256)}, ""},
        {{sbuf, "sfp 0x1 0xa0", "\"\""}, "'sfp 0x1 0xa0' holds 0 bytes, 256 expected"},
        {{sbuf, "sfp 0x7 0xac", saved_bytes(256)}, ""},
        {{sbuf, "sfp 0x8 0xa0", saved_bytes(256)},
         "no SFP page \"sfp 0x8 0xa0\" on the driver (ports 0 to 7, devices 0xa0, 0xa2, 0xac)"},
        {{sbuf, "sfp 0x100000001 0xa0", saved_bytes(256)},
         "no SFP page \"sfp 0x100000001 0xa0\" on the driver (ports 0 to 7, devices 0xa0, 0xa2, 0xac)"},
        {{sbuf, "sfp 0x1 0x1000000a0", saved_bytes(256)},
         "no SFP page \"sfp 0x1 0x1000000a0\" on the driver (ports 0 to 7, devices 0xa0, 0xa2, 0xac)"},
        {{trans, "reg 0xfffff", "0xffffffffffffffff"}, ""},
        {{trans, "reg 0x100000", "0x1"}, "fpga key \"reg 0x100000\" is past the last register 0xfffff"},
        {{trans, "stuck 0x100000", "0x1"}, "fpga key \"stuck 0x100000\" is past the last register 0xfffff"},
        {{trans, "reg 0x1 0x2", "0x1"}, "unknown fpga key \"reg 0x1 0x2\""},
        {{trans, "complement 0x2", "0x1"}, ""},
        {{trans, "complement 0x2", "0x2"}, "'complement 0x2' is 0x2, above its largest value 0x1"},
        {{trans, "keys 0x3800", "0x100"}, ""},
        {{trans, "keys 0x3800", "0x101"}, "'keys 0x3800' is 0x101, above its largest value 0x100"},
        {{trans, "indir 0x3800 0x1", words(256)}, ""},
        {{trans, "indir 0x3800 0x1", words(257)}, "'indir 0x3800 0x1' holds 257 integers, at most 256 expected"},
        {{trans, "indir 0x3800 " + words(256), "0x1"}, ""},
        {{trans, "indir 0x3800 " + words(257), "0x1"}, "unknown fpga key \"indir 0x3800 " + words(257) + "\""},
        {{trans, "stat 0x2800 0x1", words(256)}, ""},
        {{trans, "stat 0x2800 0x1", words(257)}, "'stat 0x2800 0x1' holds 257 integers, at most 256 expected"},
        {{trans, "rec regspace 0x0", saved_bytes(4096)}, ""},
        {{trans, "rec regspace 0x0", saved_bytes(4097)}, "'rec regspace 0x0' holds 4097 bytes, 0 to 4096 expected"},
    };
    for (const auto &c : cases)
        b.expect(c.entry, c.message);
}

} // namespace
