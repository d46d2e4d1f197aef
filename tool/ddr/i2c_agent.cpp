#include "tool/ddr/i2c_agent.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

#include "bases/drv/i2c_agent_drv.h"
#include "bases/host/host.h"
#include "kelvo/kelvo.h"

namespace {

// A scanned field still holding this was not given.
constexpr uint32_t kI2cUnset = 65535;
constexpr uint32_t kI2cDumpMax = 200;

constexpr uint32_t kI2cTestDevs[] = {0xB2, 0xB4, 0xB6, 0xB8, 0xBA};
constexpr uint32_t kI2cTestDataAddr = 0x51;
constexpr uint8_t kI2cTestByte = 0x44;

struct I2cRequestKind {
    unsigned long number;
    const char *name;  // as the failure line names it
};

constexpr I2cRequestKind kReadByte = {I2C_AGENT_IOC_READ_BYTE, "I2C_AGNET_READ_BYTE"};
constexpr I2cRequestKind kWriteByte = {I2C_AGENT_IOC_WRITE_BYTE, "I2C_AGNET_WRITE_BYTE"};
constexpr I2cRequestKind kReadBlock = {I2C_AGENT_IOC_READ_BLOCK, "I2C_AGNET_READ_BLOCK"};

int32_t i2c_request(const I2cRequestKind &kind, int fd, uint32_t devAddr, uint32_t dataAddr, const void *buf,
                    uint32_t length)
{
    if (buf == nullptr)
        return kI2cNullArg;
    I2cAgentReq req;
    KelvoErr err = memset_s(&req, sizeof req, 0, sizeof req);
    if (err != KelvoOk)
        std::printf("call memset_s fail, error=%d\n", err);
    req.devAddr = devAddr;
    req.dataAddr = dataAddr;
    req.length = length;
    req.buf = reinterpret_cast<uintptr_t>(buf);
    if (host_ioctl(fd, kind.number, &req) < 0) {
        std::printf("ioctl(%s) return (%s) \n", kind.name, std::strerror(errno));
        return kI2cRequestFail;
    }
    return 0;
}

// Bytes of the width letter, 0 for another letter.
uint32_t i2c_width(char letter)
{
    switch (letter) {
    case 'b': case 'B': return 1;
    case 'w': case 'W': return 2;
    case 'l': case 'L': return 4;
    default: return 0;
    }
}

// ---- the dump lines -----------------------------------------------------------------------------

struct DumpLine {
    char text[16 * 3 + 16] = {};
    int used = 0;

    void add(int n) { used = n > 0 ? used + n : used; }
    void label(uint32_t addr)
    {
        used = 0;
        add(sprintf_s(text, sizeof text, "%08x:", addr & ~0xFu));
    }
    void pad(uint32_t positions)
    {
        for (uint32_t i = 0; i < positions; i++)
            add(sprintf_s(text + used, sizeof text - static_cast<size_t>(used), "   "));
    }
    void byte(uint8_t b) { add(sprintf_s(text + used, sizeof text - static_cast<size_t>(used), " %02hhx", b)); }
};

// Lines of 16 bytes labelled by data address; an unaligned start is padded
// to its position, and the last line goes out even when empty.
void i2c_dump_lines(const uint8_t *buf, uint32_t length, uint32_t start)
{
    std::puts("--------  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f");
    DumpLine line;
    if (start % 16 != 0)
        line.label(start);
    for (uint32_t i = 0; i < length; i++) {
        uint32_t addr = start + i;
        if (addr % 16 == 0) {
            if (i != 0)
                std::puts(line.text);
            line.label(addr);
        } else if (i == 0) {
            line.pad(start % 16);
        }
        line.byte(buf[i]);
    }
    std::puts(line.text);
}

} // namespace

int I2C_AgentOpenApp()
{
    int fd = host_open(I2C_AGENT_NODE, O_RDWR);
    if (fd < 0) {
        std::printf("open(/dev/I2C_MISC_DEV) return (%s) \n", std::strerror(errno));
        return kI2cOpenFail;
    }
    return fd;
}

void I2C_AgentCloseApp(int fd) { host().close(fd); }

int32_t I2C_AgentReadAPP(int fd, uint32_t devAddr, uint32_t dataAddr, uint8_t *buf, uint32_t length)
{
    return i2c_request(kReadByte, fd, devAddr, dataAddr, buf, length);
}

int32_t I2C_AgentWriteAPP(int fd, uint32_t devAddr, uint32_t dataAddr, const uint8_t *buf, uint32_t length)
{
    return i2c_request(kWriteByte, fd, devAddr, dataAddr, buf, length);
}

int32_t I2C_AgentReadByBlockAPP(int fd, uint32_t devAddr, uint32_t dataAddr, uint8_t *buf, uint32_t length)
{
    return i2c_request(kReadBlock, fd, devAddr, dataAddr, buf, length);
}

TransOpStatus I2C_AgentWriteOpt(const char *params)
{
    if (params == nullptr)
        return kI2cNullArg;
    uint32_t dev = kI2cUnset, data = kI2cUnset, value = kI2cUnset;
    char mode = 0;
    int n = sscanf_s(params, "0x%8x:0x%8x.%c:0x%8x", &dev, &data, &mode, 1u, &value);
    if (n != 4 || dev == kI2cUnset || data == kI2cUnset) {
        std::printf("pArg(%s) invalid param\n", params);
        return kI2cBadParam;
    }
    uint32_t width = i2c_width(mode);
    if (width == 0) {
        std::printf("error :ucMode(%s) not is b,w,l,B,W,L out of range\n", params);
        return kI2cBadWidth;
    }
    int fd = I2C_AgentOpenApp();
    if (fd < 0)
        return fd;
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    int32_t status = I2C_AgentWriteAPP(fd, dev, data, bytes, width);
    I2C_AgentCloseApp(fd);
    if (status != 0) {
        std::printf("error :I2C_AgentWriteByteAPP(uiDevAddr=0x%x,uiDataAddr=0x%x) return (0x%x)\n", dev, data,
                    static_cast<unsigned>(status));
        return status;
    }
    std::printf("WRITE (uiDevAddr=0x%x,uiDataAddr=0x%x) = (0x%x)\n", dev, data, value);
    return 0;
}

TransOpStatus I2C_AgentDumpOpt(const char *params)
{
    if (params == nullptr)
        return kI2cNullArg;
    uint32_t dev = kI2cUnset, data = kI2cUnset, length = kI2cUnset;
    int n = sscanf_s(params, "0x%8x:0x%8x:0x%8x", &dev, &data, &length);
    if (n < 3 || dev == kI2cUnset || data == kI2cUnset || length == kI2cUnset) {
        std::printf("pArg(%s) invalid param\n", params);
        return kI2cBadParam;
    }
    if (length > kI2cDumpMax)
        length = kI2cDumpMax;
    int fd = I2C_AgentOpenApp();
    if (fd < 0)
        return fd;
    uint8_t buf[kI2cDumpMax] = {};
    int32_t status = I2C_AgentReadByBlockAPP(fd, dev, data, buf, length);
    I2C_AgentCloseApp(fd);
    if (status != 0) {
        std::printf("error :I2C_AgentReadByBlockAPP(uiDevAddr=0x%x,uiDataAddr=0x%x) return (0x%x)\n", dev, data,
                    static_cast<unsigned>(status));
        return status;
    }
    i2c_dump_lines(buf, length, data);
    return 0;
}

int32_t I2C_AgentTestAPP()
{
    int fd = I2C_AgentOpenApp();
    if (fd < 0) {
        std::puts("error :I2C_AgentOpenApp error");
        return kI2cTestOpenFail;
    }
    int32_t status = 0;
    for (uint32_t dev : kI2cTestDevs) {
        uint8_t byte = 0;
        status = I2C_AgentReadAPP(fd, dev, kI2cTestDataAddr, &byte, 1);
        if (status != 0) {
            std::printf("error :I2C_AgentReadByteAPP(uiDevAddr=0x%x,uiDataAddr=0x%x) return (%d)\n", dev,
                        kI2cTestDataAddr, status);
            break;
        }
        if (byte != kI2cTestByte) {
            std::printf("error :I2C_AgentReadByteAPP(uiDevAddr=0x%x,uiDataAddr=0x%x) return (0x%x!=0x%x) fail \n",
                        dev, kI2cTestDataAddr, byte, kI2cTestByte);
            status = kI2cTestWrongByte;
            break;
        }
    }
    I2C_AgentCloseApp(fd);
    return status;
}

// The test's status is the row's status, so a failing device fails the command.
TransOpStatus I2C_AgentTestRepeatOpt(const char *)
{
    int32_t status = I2C_AgentTestAPP();
    std::printf("I2C_AgentTestAPP return(%d)\n", status);
    return status;
}
