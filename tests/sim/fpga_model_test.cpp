// The simulated FPGA driver: checks on each request, answers from state,
// both indirect encodings, faults and the saved board.
#include <cerrno>
#include <cstring>
#include <fcntl.h>

#include "boardlib/dorn_logic.h"
#include "boardlib/plov_types.h"
#include "sim/fpga_model.h"
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
    int write_reg(const std::string &node, uint64_t addr, uint64_t value)
    {
        DirRegReq req{addr, value};
        return request(node, PLOV_IOC_WRITE_DIR_REG, &req);
    }
    int indir(unsigned long number, uint64_t base, uint64_t cmd, uint16_t wlen, uint16_t rlen, uint64_t *words)
    {
        IndirRegReq req{};
        req.baseaddr = base;
        req.cmd = cmd;
        req.wlen = wlen;
        req.rlen = rlen;
        req.data = words;
        return request(kTrans, number, &req);
    }
};

class FpgaModelKespTest : public FpgaModelTest {
protected:
    std::string board() const override { return "abcZK17KESP"; }
};

// Every request number the driver answers, written out: 0xC004EF00 + nr of
// the shared family (0x1F and 0x20 excepted), the KESP hrtimer pair and the
// two endpoint requests whose size field is 8.
std::vector<unsigned long> all_requests()
{
    std::vector<unsigned long> out;
    for (unsigned nr = 0x00; nr <= 0x23; nr++)
        if (nr != 0x1F && nr != 0x20)
            out.push_back(0xC004EF00UL + nr);
    out.push_back(0xC008EF1FUL);
    out.push_back(0xC008EF20UL);
    return out;
}

TEST_F(FpgaModelTest, EveryRequestRefusesANullRecordOnBothNodes)
{
    for (const std::string &node : {kTrans, kSbuf})
        for (unsigned long number : all_requests()) {
            SCOPED_TRACE(number);
            EXPECT_EQ(request(node, number, nullptr), -EFAULT);
        }
    EXPECT_EQ(request(kTrans, 0xC004EF20UL, nullptr), -ENOTTY);
    EXPECT_EQ(request(kTrans, 0xC004EF24UL, nullptr), -ENOTTY);
}

TEST_F(FpgaModelTest, DirectRegisterBehaviours)
{
    struct Case {
        FpgaRegBehaviour behaviour;
        uint64_t preset, written;
        uint64_t first, second;  // two reads after the write
    };
    const Case cases[] = {
        {FpgaRegBehaviour::Plain, 1, 0x5, 0x5, 0x5},
        {FpgaRegBehaviour::ReadOnly, 1, 0x5, 1, 1},
        {FpgaRegBehaviour::Complement, 1, 0x5, ~uint64_t{5}, ~uint64_t{5}},
        {FpgaRegBehaviour::ClearOnRead, 1, 0x5, 0x5, 0},
    };
    uint64_t addr = 0x100;
    for (const Case &c : cases) {
        SCOPED_TRACE(addr);
        fpga_set_reg(kSbuf, addr, c.preset);
        fpga_set_reg_behaviour(kSbuf, addr, c.behaviour);
        EXPECT_EQ(write_reg(kSbuf, addr, c.written), 0);
        EXPECT_EQ(read_reg(kSbuf, addr), c.first);
        EXPECT_EQ(read_reg(kSbuf, addr), c.second);
        EXPECT_EQ(read_reg(kTrans, addr), 0u);  // the other FPGA is untouched
        addr++;
    }
    EXPECT_EQ(write_reg(kTrans, 0x100000, 1), -EINVAL);
}

TEST_F(FpgaModelTest, ScriptedReadsComeFirst)
{
    fpga_set_reg(kTrans, 0x5D00, 0x10);
    fpga_script_reads(kTrans, 0x5D00, {0, 0, 0x3});
    EXPECT_EQ(read_reg(kTrans, 0x5D00), 0u);
    EXPECT_EQ(read_reg(kTrans, 0x5D00), 0u);
    EXPECT_EQ(read_reg(kTrans, 0x5D00), 3u);
    EXPECT_EQ(read_reg(kTrans, 0x5D00), 0x10u);
}

TEST_F(FpgaModelTest, DornEncodingKeysFirstAnswerAtWlen)
{
    EXPECT_EQ(fpga_encoding(), FpgaEncoding::Dorn);
    uint64_t write[3] = {7, 0xAA, 0xBB};
    EXPECT_EQ(indir(PLOV_IOC_WRITE_INDIR_REG, 0x2800, 1, 3, 0, write), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x2800, {7}), (std::vector<uint64_t>{0xAA, 0xBB}));
    EXPECT_EQ(sim_journal().back().extra, (std::vector<uint64_t>{7, 0xAA, 0xBB}));

    uint64_t read[4] = {7, 0, 0, 0};
    EXPECT_EQ(indir(PLOV_IOC_READ_INDIR_REG, 0x2800, 0, 1, 3, read), 0);
    EXPECT_EQ(read[1], 0xAAu);
    EXPECT_EQ(read[2], 0xBBu);
    EXPECT_EQ(read[3], 0u);

    // Two key words at a base that says so.
    fpga_set_key_words(kTrans, 0x5400, 2);
    uint64_t two[3] = {1, 2, 0x33};
    EXPECT_EQ(indir(PLOV_IOC_WRITE_INDIR_REG, 0x5400, 1, 3, 0, two), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x5400, {1, 2}), std::vector<uint64_t>{0x33});

    // Delete (command 2), clear with the key alone (command 3), request 0x1E.
    uint64_t key[1] = {7};
    EXPECT_EQ(indir(PLOV_IOC_WRITE_INDIR_REG, 0x2800, 2, 1, 0, key), 0);
    EXPECT_FALSE(fpga_has_indirect(kTrans, 0x2800, {7}));
    fpga_put_indirect(kTrans, 0x2800, {7}, {1});
    EXPECT_EQ(indir(PLOV_IOC_WRITE_INDIR_REG, 0x2800, 3, 1, 0, key), 0);
    EXPECT_FALSE(fpga_has_indirect(kTrans, 0x2800, {7}));
    fpga_put_indirect(kTrans, 0x2800, {7}, {1});
    fpga_put_indirect(kTrans, 0x5400, {7, 2}, {1});
    fpga_put_indirect(kTrans, 0x2800, {8}, {1});
    // The clear command's request: one word, no counts.
    uint64_t *clear = new uint64_t(7);
    EXPECT_EQ(indir(PLOV_IOC_CLEAR_INDIR_REG, 0x2800, 3, 0, 0, clear), 0);
    delete clear;
    EXPECT_FALSE(fpga_has_indirect(kTrans, 0x2800, {7}));
    EXPECT_TRUE(fpga_has_indirect(kTrans, 0x2800, {8}));
    EXPECT_TRUE(fpga_has_indirect(kTrans, 0x5400, {7, 2}));
    EXPECT_EQ(sim_journal().back().extra, std::vector<uint64_t>{7});
}

TEST_F(FpgaModelTest, IndirectRequestChecks)
{
    uint64_t words[2] = {};
    EXPECT_EQ(indir(PLOV_IOC_READ_INDIR_REG, 0x30, 0, 1, 1, nullptr), -EFAULT);
    EXPECT_EQ(indir(PLOV_IOC_READ_INDIR_REG, 0x30, 0, 0, 0, words), -EINVAL);
    EXPECT_EQ(indir(PLOV_IOC_WRITE_INDIR_REG, 0x30, 0, 300, 0, words), -EINVAL);
}

TEST_F(FpgaModelKespTest, KespEncodingAddressInWordZero)
{
    EXPECT_EQ(fpga_encoding(), FpgaEncoding::Kesp);
    uint64_t write[4] = {0x12, 1, 2, 3};
    EXPECT_EQ(indir(PLOV_IOC_WRITE_INDIR_REG, 0x5820, 1, 3, 0, write), 0);
    EXPECT_EQ(fpga_get_indirect(kTrans, 0x5820, {0x12}), (std::vector<uint64_t>{1, 2, 3}));
    EXPECT_EQ(sim_journal().back().extra, (std::vector<uint64_t>{0x12, 1, 2, 3}));
    uint64_t read[4] = {0x12, 0, 0, 0};
    EXPECT_EQ(indir(PLOV_IOC_READ_INDIR_REG, 0x5820, 0, 0, 3, read), 0);
    EXPECT_EQ(read[1], 1u);
    EXPECT_EQ(read[3], 3u);
    uint64_t *clear = new uint64_t(0x12);  // an 8-byte buffer, whatever rlen says
    EXPECT_EQ(indir(PLOV_IOC_CLEAR_INDIR_REG, 0x5820, 3, 0, 1, clear), 0);
    delete clear;
    EXPECT_FALSE(fpga_has_indirect(kTrans, 0x5820, {0x12}));
}

TEST_F(FpgaModelKespTest, ModulesSitInTheCagesOfTheOneFpga)
{
    uint8_t id = 0;
    SfpRegReq req{1, 0, 1, 0xA0, &id};
    EXPECT_EQ(request(kTrans, PLOV_IOC_GET_SFP_REG, &req), 0);
    EXPECT_EQ(id, 0x03);
    EXPECT_EQ(request(kSbuf, PLOV_IOC_GET_SFP_REG, &req), -EIO);
}

TEST_F(FpgaModelTest, RecordStoresAnswerByKey)
{
    // Set then get through the driver.
    QueueSwitchReq set{};
    set.queueType = 1;
    set.queueId = 8;
    set.value = 0x55;
    EXPECT_EQ(request(kTrans, PLOV_IOC_SET_QUEUE_SWITCH, &set), 0);
    QueueSwitchReq get{};
    get.queueType = 1;
    get.queueId = 8;
    EXPECT_EQ(request(kTrans, PLOV_IOC_GET_QUEUE_SWITCH, &get), 0);
    EXPECT_EQ(get.value, 0x55);
    get.queueId = 9;
    get.value = 0x77;
    EXPECT_EQ(request(kTrans, PLOV_IOC_GET_QUEUE_SWITCH, &get), 0);
    EXPECT_EQ(get.value, 0);  // nothing stored: zeros
    get.queueType = 3;
    EXPECT_EQ(request(kTrans, PLOV_IOC_GET_QUEUE_SWITCH, &get), -EINVAL);

    // Queue addresses keep the caller's queue and answer the block.
    QueueAddrRec stored{1, 8, 0, 0x1000, 512, 0x2000, 0, 0x3000, 0};
    fpga_set_record_as(kSbuf, FpgaRecord::QueueAddr, uint64_t{1} << 32 | 8, stored);
    QueueAddrRec ask{1, 8, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(request(kSbuf, PLOV_IOC_GET_QUEUE_ADDR, &ask), 0);
    EXPECT_EQ(std::memcmp(&ask, &stored, sizeof ask), 0);

    // SFP hot-swap state of the fresh board: modules in cages 0 and 1.
    uint8_t hs[16] = {1};
    EXPECT_EQ(request(kSbuf, PLOV_IOC_GET_SFP_HS_STATE, hs), 0);
    EXPECT_EQ(hs[0], 1);
    EXPECT_EQ(hs[2], 1);
    hs[0] = 2;
    EXPECT_EQ(request(kSbuf, PLOV_IOC_GET_SFP_HS_STATE, hs), 0);
    EXPECT_EQ(hs[2], 0);
    hs[0] = 8;
    EXPECT_EQ(request(kSbuf, PLOV_IOC_GET_SFP_HS_STATE, hs), -EINVAL);

    // Endpoints: added, removed, and a second removal finds nothing.
    uint32_t ep[4] = {1, 2, 3, 4};
    EXPECT_EQ(request(kTrans, PLOV_IOC_ADD_PCI_PORT_EP, ep), 0);
    EXPECT_TRUE(fpga_has_record(kTrans, FpgaRecord::PciPortEp, fpga_pci_ep_key(ep)));
    EXPECT_EQ(request(kTrans, PLOV_IOC_RM_PCI_PORT_EP, ep), 0);
    EXPECT_EQ(request(kTrans, PLOV_IOC_RM_PCI_PORT_EP, ep), -ENOENT);
}

TEST_F(FpgaModelTest, SfpPages)
{
    uint8_t buf[16] = {};
    SfpRegReq req{0, 20, 16, 0xA0, buf};
    EXPECT_EQ(request(kSbuf, PLOV_IOC_GET_SFP_AREA, &req), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 16), "QUORBIX OPTICS  ");
    EXPECT_EQ(sim_journal().back().extra.size(), 16u);

    uint8_t byte = 0x5A;
    SfpRegReq set{1, 0x86, 1, 0xA2, &byte};
    EXPECT_EQ(request(kSbuf, PLOV_IOC_SET_SFP_REG, &set), 0);
    EXPECT_EQ(fpga_get_sfp_page(kSbuf, 1, 0xA2)[0x86], 0x5A);

    struct Bad {
        SfpRegReq req;
        int err;
    };
    const Bad bad[] = {
        {{0, 0, 1, 0xA0, nullptr}, -EFAULT},
        {{0, 0, 0, 0xA0, buf}, -EINVAL},        // no bytes
        {{0, 250, 16, 0xA0, buf}, -EINVAL},     // beyond the page
        {{8, 0, 1, 0xA0, buf}, -EINVAL},        // no such cage
        {{0, 0, 1, 0xA4, buf}, -EINVAL},        // no such device
        {{3, 0, 1, 0xA0, buf}, -EIO},           // empty cage
    };
    for (const Bad &b : bad) {
        SfpRegReq r = b.req;
        EXPECT_EQ(request(kSbuf, PLOV_IOC_GET_SFP_REG, &r), b.err);
    }
}

TEST_F(FpgaModelTest, LoadAtRebootRegisterSpaceAndMemory)
{
    LoadAtRebootReq set{2, 1};
    EXPECT_EQ(request(kSbuf, PLOV_IOC_SET_LOAD_AT_REBOOT, &set), -EINVAL);
    LoadAtRebootReq get{1, 0};
    EXPECT_EQ(request(kSbuf, PLOV_IOC_GET_LOAD_AT_REBOOT, &get), -EFAULT);

    uint8_t space[4097];
    RegSpaceReq regs{4097, 0, space};
    EXPECT_EQ(request(kTrans, PLOV_IOC_GET_REGS, &regs), -EINVAL);
    regs.length = 4096;
    EXPECT_EQ(request(kTrans, PLOV_IOC_GET_REGS, &regs), 0);
    EXPECT_EQ(space[0x123], 0x23);

    MemOpReq w{0x4000, 0xDEAD, 1, {}};
    EXPECT_EQ(request(kTrans, PLOV_IOC_MEM_OP, &w), 0);
    MemOpReq r{0x4000, 0, 0, {}};
    EXPECT_EQ(request(kTrans, PLOV_IOC_MEM_OP, &r), 0);
    EXPECT_EQ(r.data, 0xDEADu);
    MemOpReq bad{0x4000, 0, 2, {}};
    EXPECT_EQ(request(kTrans, PLOV_IOC_MEM_OP, &bad), -EINVAL);
}

TEST_F(FpgaModelTest, FaultsByAddressKeyAndCall)
{
    fpga_fail_address(kTrans, PLOV_IOC_READ_DIR_REG, 0x1500, EIO);
    DirRegReq req{0x1500, 0};
    EXPECT_EQ(request(kTrans, PLOV_IOC_READ_DIR_REG, &req), -EIO);
    EXPECT_EQ(read_reg(kTrans, 0x1501), 0u);
    EXPECT_EQ(request(kSbuf, PLOV_IOC_READ_DIR_REG, &req), 0);

    fpga_result_address(kTrans, PLOV_IOC_WRITE_DIR_REG, 0x10, 4, 2);
    EXPECT_EQ(write_reg(kTrans, 0x10, 1), 0);
    EXPECT_EQ(write_reg(kTrans, 0x10, 1), 4);
    EXPECT_EQ(write_reg(kTrans, 0x10, 1), 0);

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
    fpga_set_key_words(kTrans, 0x2800, 2);
    fpga_put_indirect(kTrans, 0x2800, {1, 2}, {3, 4});
    fpga_set_record(kTrans, FpgaRecord::DrvVer, 0, {'v', '2', 0});
    fpga_set_sfp_bytes(kSbuf, 5, 0xA2, 0x80, {9, 8});
    fpga_set_mem(kTrans, 0x40, 0x41);
    sim_board_close();
    fpga_model_reset();
    sim_board_open(root_, "");
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x6900), 0x1234u);
    EXPECT_EQ(write_reg(kSbuf, 0x77, 1), 0);
    EXPECT_EQ(fpga_get_reg(kSbuf, 0x77), 0u);
    uint64_t read[3] = {1, 2, 0};
    EXPECT_EQ(indir(PLOV_IOC_READ_INDIR_REG, 0x2800, 0, 2, 1, read), 0);
    EXPECT_EQ(read[2], 3u);
    EXPECT_EQ(fpga_get_record(kTrans, FpgaRecord::DrvVer), (std::vector<uint8_t>{'v', '2', 0}));
    EXPECT_EQ(fpga_get_sfp_page(kSbuf, 5, 0xA2)[0x81], 8);
    EXPECT_EQ(fpga_get_mem(kTrans, 0x40), 0x41u);
    EXPECT_TRUE(sim_node_present(kTrans));
    EXPECT_TRUE(sim_node_present(kSbuf));
}

TEST_F(FpgaModelTest, FreshBoardAnswersTheDriverQueries)
{
    char ver[PLOV_DRV_VER_LEN] = {};
    EXPECT_EQ(request(kSbuf, PLOV_IOC_GET_DRV_VER, ver), 0);
    EXPECT_STREQ(ver, "sbuf_pci 1.0.0");
    DrvInfo info{};
    EXPECT_EQ(request(kTrans, PLOV_IOC_GET_DRV_INFO, &info), 0);
    EXPECT_EQ(info.reg_len, 4096u);
    uint8_t usage = 0;
    EXPECT_EQ(request(kTrans, PLOV_IOC_GET_CPU_USG, &usage), 0);
    EXPECT_EQ(usage, 3);
    EXPECT_EQ(read_reg(kSbuf, 0x6900), 0xFC00u);  // cages 2 to 7 empty
}

} // namespace
