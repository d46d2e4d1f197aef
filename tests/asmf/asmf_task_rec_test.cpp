// Request checks, translation into the card's descriptor and result
// conversion from messages built field by field.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "asmf/adapter/asmf_res.h"
#include "asmf/memory/asmf_mem.h"
#include "asmf/task/asmf_task_rec.h"
#include "asmf/task/asmf_util.h"
#include "asmf/transeiver/asmf_transeiver.h"
#include "sim/asmf_model.h"
#include "sim/sim_socket.h"
#include "support/sim_fixture.h"

namespace {

bool logged(const std::string &text)
{
    for (const SimLogLine &l : sim_syslog())
        if (l.text.find(text) != std::string::npos)
            return true;
    return false;
}

CompressInfo mem_request()
{
    CompressInfo c{};
    c.strCompressCtrlInfo.ucFlag = 3;
    c.strCompressDataInfo.mem.ullInputIndexAddr = 0x100000000ULL;
    c.strCompressDataInfo.mem.input_size = 100;
    c.strCompressDataInfo.mem.ullOutputIndexAddr = 0x100100000ULL;
    c.strCompressDataInfo.mem.output_size = 200;
    return c;
}

class AsmfTaskTest : public SimTest {
protected:
    void TearDown() override
    {
        asmf_exit_mem();
        asmf_res_exit();
        SimTest::TearDown();
    }
};

TEST_F(AsmfTaskTest, ChecksInOrder)
{
    struct Case {
        const char *name;
        void (*edit)(CompressInfo &);
        int result;
        const char *line;
    };
    const Case cases[] = {
        {"valid", [](CompressInfo &) {}, 0, nullptr},
        {"type 7", [](CompressInfo &c) { c.strCompressCtrlInfo.ucCmdType = 7; }, 0, nullptr},
        {"level 10", [](CompressInfo &c) { c.strCompressCtrlInfo.ucCprsLevel = 10; }, 0, nullptr},
        {"type 8", [](CompressInfo &c) { c.strCompressCtrlInfo.ucCmdType = 8; c.strCompressCtrlInfo.ucCprsLevel = 11; }, -5012, "invalid param. ucCmdType=8"},
        {"level 11", [](CompressInfo &c) { c.strCompressCtrlInfo.ucCprsLevel = 11; c.strCompressCtrlInfo.ucCprsForm = 1; }, -5014, "invalid param. ucCprsLevel=11"},
        {"form", [](CompressInfo &c) { c.strCompressCtrlInfo.ucCprsForm = 1; }, -5015, "call asmf_check_compress_ctrl_info fail. ret=-5015"},
        {"data type", [](CompressInfo &c) { c.strCompressDataInfo.usDateType = 2; }, -5016, "call asmf_check_compress_data_info fail. ret=-5016"},
        {"no input", [](CompressInfo &c) { c.strCompressDataInfo.mem.input_size = 0; }, -5018, "input_size=0x0"},
        {"reuse, no output", [](CompressInfo &c) { c.strCompressDataInfo.mem.ucMemReuse = 1; c.strCompressDataInfo.mem.ullOutputIndexAddr = 0; }, 0, nullptr},
        {"no output", [](CompressInfo &c) { c.strCompressDataInfo.mem.output_size = 0; }, -5019, "output_size=0x0"},
        {"reuse 2", [](CompressInfo &c) { c.strCompressDataInfo.mem.ucMemReuse = 2; }, -5019, "invalid param. ucMemReuse=2"},
        {"missing file", [](CompressInfo &c) { c.strCompressDataInfo.usDateType = 1; std::strcpy(c.strCompressDataInfo.inputPath, "/data/none"); }, -5018, "inputfilepath=/data/none"},
        {"file", [](CompressInfo &c) { c.strCompressDataInfo.usDateType = 1; std::strcpy(c.strCompressDataInfo.inputPath, "/data/in"); }, 0, nullptr},
        {"unterminated path", [](CompressInfo &c) { c.strCompressDataInfo.usDateType = 1; std::memset(c.strCompressDataInfo.inputPath, 'a', ASMF_PATH_LEN); }, -5018, "call asmf_is_r_file"},
    };
    sim_write_file("/data/in", "abc");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sim_clear_syslog();
        CompressInfo info = mem_request();
        c.edit(info);
        EXPECT_EQ(asmf_check_compress_task_info(&info), c.result);
        if (c.line != nullptr) {
            EXPECT_TRUE(logged(c.line));
        }
    }
}

TEST_F(AsmfTaskTest, Translation)
{
    ASSERT_EQ(asmf_init_mem(1), 0);
    CompressInfo c = mem_request();
    c.strCompressCtrlInfo.ulTaskId = 0x00051234;
    c.strCompressCtrlInfo.crc = 0xAABBCCDD;
    c.strCompressCtrlInfo.totalLen = 5000;
    c.strCompressCtrlInfo.ucCmdType = 1;
    c.strCompressCtrlInfo.ucCprsLevel = 9;
    c.strCompressCtrlInfo.fileId = 4;
    TaskRec t{};
    std::memset(&t.desc, 0xEE, sizeof t.desc);
    ASSERT_EQ(asmf_translate_cmps_task(&c, &t, 777), 0);
    const FpgaTaskDesc &d = t.desc;
    EXPECT_EQ(d.taskId, 0x34);
    EXPECT_EQ(d.segment, 5);
    EXPECT_EQ(d.expires, 20u);
    EXPECT_EQ(d.taskPid, 777u);
    EXPECT_EQ(d.levForm, 9);
    EXPECT_EQ(d.cmdType, 1);
    EXPECT_EQ(d.fileId, 4);
    EXPECT_EQ(d.crc, 0xAABBCCDDu);
    EXPECT_EQ(static_cast<uint64_t>(d.inAddr), 0x100000000ULL);
    EXPECT_EQ(static_cast<uint64_t>(d.outAddr), 0x100100000ULL);
    EXPECT_EQ(d.outLen, 200u);
    EXPECT_EQ(d.totalLen, 5000u);
    EXPECT_EQ(d.errByte, 0);
    EXPECT_EQ(d.retSegment, 0);
    EXPECT_EQ(t.taskType, 1u);
    EXPECT_TRUE(logged("<asmf_task-INFO>fpga_msg->lev_form.level=9."));

    c.expires = 7;
    c.strCompressDataInfo.mem.ucMemReuse = 1;
    ASSERT_EQ(asmf_translate_cmps_task(&c, &t, 777), 0);
    EXPECT_EQ(t.desc.expires, 7u);
    EXPECT_EQ(static_cast<uint64_t>(t.desc.outAddr), static_cast<uint64_t>(t.desc.inAddr));
    EXPECT_EQ(t.desc.outLen, 100u);

    // a zero input bus address passes only for a later decompression piece
    c.strCompressDataInfo.mem.ullInputIndexAddr = 0x10;
    c.strCompressDataInfo.mem.ucMemReuse = 0;
    c.strCompressCtrlInfo.ucFlag = 0;
    ASSERT_EQ(asmf_translate_cmps_task(&c, &t, 1), 0);
    EXPECT_EQ(static_cast<uint64_t>(t.desc.inAddr), 0u);
    c.strCompressCtrlInfo.ucFlag = 3;
    EXPECT_EQ(asmf_translate_cmps_task(&c, &t, 1), -1212);
    c.strCompressCtrlInfo.ucFlag = 0;
    c.strCompressCtrlInfo.ulTaskId = 0x1234;
    EXPECT_EQ(asmf_translate_cmps_task(&c, &t, 1), -1212);
    c.strCompressDataInfo.usDateType = 1;
    EXPECT_EQ(asmf_translate_cmps_task(&c, &t, 1), -1215);
}

// A message with every byte distinct, so each field shows where it came from.
ResultMsg patterned(uint32_t status)
{
    ResultMsg m{};
    auto *b = reinterpret_cast<uint8_t *>(&m);
    for (size_t i = 0; i < sizeof m; i++)
        b[i] = static_cast<uint8_t>(i);
    m.status = status;
    return m;
}

TEST_F(AsmfTaskTest, ConversionFromEveryOffset)
{
    struct Case {
        uint32_t status, wantStatus, wantErr;
    };
    const Case cases[] = {{0, 0, 47}, {1, 1, 0x07060504}, {2, 2, 0x07060504}, {5, 3, 0x07060504}};
    for (const Case &c : cases) {
        recv_info r{};
        asmf_msg_to_recv_info(patterned(c.status), &r);
        EXPECT_EQ(r.status, c.wantStatus);
        EXPECT_EQ(r.err_no, c.wantErr);
        EXPECT_EQ(r.task_id, 36);
        EXPECT_EQ(r.file_id, 49);
        EXPECT_EQ(r.flags, 46);
        EXPECT_EQ(r.ret_low, 54 & 0x0F);
        EXPECT_EQ(r.ret_crc, 0x3B3A3938u);
        EXPECT_EQ(r.cmd_segment, 0x3332);
        EXPECT_EQ(r.ret_segment, 0x5B5A);
        EXPECT_EQ(r.result_length, 0x53525150u);
    }
}

TEST_F(AsmfTaskTest, ReceiveFreesTheResourceNamedInTheMessage)
{
    ASSERT_EQ(asmf_res_init(), 0);
    int s = asmf_create_sock(900);
    ASSERT_GE(s, 0);
    AsmfResAlloc alloc{};
    alloc.pid = 5;
    alloc.tid = 6;
    ASSERT_EQ(asmf_dis_alloc_res(&alloc), 0);
    ResultMsg m{};
    m.desc.pid = 5;
    m.desc.tid = 6;
    m.desc.resId = alloc.resId;
    m.desc.resIndex = alloc.resIndex;
    m.desc.outLen = 321;
    std::vector<uint8_t> dgram(16 + sizeof m);
    std::memcpy(dgram.data() + 16, &m, sizeof m);
    ASSERT_EQ(sim_netlink_send(ASMF_NETLINK_PROTOCOL, 0, 900, dgram), 0);
    recv_info r{};
    EXPECT_EQ(asmf_receive_cmps_msg(s, &r), 0);
    EXPECT_EQ(r.result_length, 321u);
    EXPECT_EQ(asmf_sim_held_resources(), 0u);

    // a notice (resource id -1) frees nothing and is accepted
    ResultMsg notice{};
    notice.status = 2;
    notice.errNo = 1;
    notice.desc.resId = 0xFFFFFFFFu;
    ASSERT_EQ(asmf_send_msg(900, &notice, sizeof notice), 0);
    EXPECT_EQ(asmf_receive_cmps_msg(s, &r), 0);
    EXPECT_EQ(r.err_no, 1u);
    EXPECT_TRUE(logged("task has been dropped status(2)"));

    // the same resource again: the driver refuses, err_no 9
    ASSERT_EQ(sim_netlink_send(ASMF_NETLINK_PROTOCOL, 0, 900, dgram), 0);
    EXPECT_EQ(asmf_receive_cmps_msg(s, &r), -1);
    EXPECT_EQ(r.status, 2u);
    EXPECT_EQ(r.err_no, 9u);
    EXPECT_TRUE(logged("call asmf_dis_free_res fail. ret=-1"));

    // a short datagram: err_no 6
    ASSERT_EQ(sim_netlink_send(ASMF_NETLINK_PROTOCOL, 0, 900, std::vector<uint8_t>(20)), 0);
    EXPECT_EQ(asmf_receive_cmps_msg(s, &r), ASMF_ERR_TRANS);
    EXPECT_EQ(r.err_no, 6u);
    EXPECT_EQ(asmf_receive_cmps_msg(s, nullptr), -1001);
    host().close(s);
}

TEST_F(AsmfTaskTest, FileHelpers)
{
    sim_write_file("/data/f", "x");
    EXPECT_EQ(asmf_is_exist("/data/f"), 1);
    EXPECT_EQ(asmf_is_r_ok("/data/f"), 1);
    EXPECT_EQ(asmf_is_rw_ok("/data/f"), 1);
    EXPECT_EQ(asmf_is_file("/data/f"), 1);
    EXPECT_EQ(asmf_is_dir("/data/f"), 0);
    EXPECT_EQ(asmf_is_dir("/data"), 1);
    EXPECT_EQ(asmf_is_exist("/data/none"), 0);
    EXPECT_EQ(asmf_is_w_ok(nullptr), 0);
}

} // namespace
