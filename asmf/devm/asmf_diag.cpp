#include "asmf/devm/asmf_diag.h"

#include <cstring>

#include "asmf/adapter/asmf_res.h"
#include "asmf/asmf_log.h"
#include "asmf/devm/asmf_devm.h"
#include "asmf/memory/asmf_mem.h"
#include "bases/globals/globals.h"

#define DIAG_ERR(fmt, ...) ASMF_LOG(ASMF_PRI_ERR, "devm/asmf_diag.c", "<asmf_diag-ERR>", fmt __VA_OPT__(, ) __VA_ARGS__)
#define DIAG_DBG(fmt, ...) ASMF_LOG(ASMF_PRI_DBG, "devm/asmf_diag.c", "<asmf_diag-DBG>", fmt __VA_OPT__(, ) __VA_ARGS__)

std::atomic<uint64_t> g_dma_addr[ASMF_PCIE_CHANNELS];

namespace {

enum DiagState : uint32_t { DIAG_PASSED = 0, DIAG_RUNNING = 1, DIAG_FAILED = 2 };

int rd(uint32_t id, uint32_t addr, uint32_t &value)
{
    int rc = asmf_read_4byte_reg(id, addr, &value);
    if (rc != 0)
        DIAG_ERR("call asmf_read_4byte_reg fail. AcceId(%u),regaddr(0x%x)ret(%d)!\n", id, addr, rc);
    return rc;
}

int wr(uint32_t id, uint32_t addr, uint32_t value)
{
    int rc = asmf_write_4byte_reg(id, addr, value);
    if (rc != 0)
        DIAG_ERR("call asmf_write_4byte_reg fail. AcceId(%u),regaddr(0x%x),regvalue(0x%x)ret(%d)!\n", id, addr, value,
                 rc);
    return rc;
}

// Register writes in order; the first failure ends them.
int wr_all(uint32_t id, std::initializer_list<std::pair<uint32_t, uint32_t>> writes)
{
    for (const auto &[addr, value] : writes)
        if (int rc = wr(id, addr, value))
            return rc;
    return 0;
}

int result_array(uint32_t id, uint32_t *result, size_t words)
{
    if (result == nullptr) {
        DIAG_ERR("result is NULL! ulAcceId(%u).\n", id);
        return ASMF_DIAG_ERR_ARG;
    }
    std::memset(result, 0, words * sizeof *result);
    return 0;
}

void wait_seconds(uint32_t seconds)
{
    for (uint32_t i = 0; i < seconds; i++)
        host().sleep(1);
}

int self_check_start_one(uint32_t id, uint32_t n)
{
    const uint32_t b = asmf_ddr_ctrl(n);
    uint32_t run = 0, enable = 0, status = 0, turn = 0;
    if (int rc = rd(id, b, run))
        return rc;
    if (run == 1) {
        DIAG_ERR("ddr_index=%u self check work mod err! status(0x%x)!", n, run);
        return ASMF_DIAG_ERR_STATE;
    }
    if (int rc = rd(id, b + 0x10, enable))
        return rc;
    if (enable == 1) {
        DIAG_ERR("ddr_index=%u self check enable mod err! status(0x%x)!", n, enable);
        return ASMF_DIAG_ERR_STATE;
    }
    if (int rc = rd(id, asmf_ddr_check_status(n), status))
        return rc;
    if ((status & 0x3) != 0x3) {
        DIAG_ERR("ddr_index=%u self check not init! status(0x%x)!", n, status);
        return ASMF_DIAG_ERR_STATE;
    }
    if (int rc = rd(id, asmf_ddr_turn_status(n), turn))
        return rc;
    if ((turn & 0x2) != 0) {
        DIAG_ERR("ddr_index=%u turn test not finish err! status(0x%x) ", n, turn);
        return ASMF_DIAG_ERR_BUSY;
    }
    if (int rc = wr_all(id, {{b, 1}, {b + 0x08, 3}, {b + 0x10, 1}}))
        return rc;
    DIAG_DBG("ddr_index=%u self check start.", n);
    return 0;
}

int self_check_stop_one(uint32_t id, uint32_t n)
{
    const uint32_t b = asmf_ddr_ctrl(n);
    uint32_t run = 0, enable = 0, status = 0;
    if (int rc = rd(id, b, run))
        return rc;
    if (run == 0)
        return 0;
    if (int rc = rd(id, b + 0x10, enable))
        return rc;
    if (enable == 0)
        return wr(id, b, 0);
    if (int rc = rd(id, asmf_ddr_check_status(n), status))
        return rc;
    if ((status & 0x1100) != 0x1100) {
        DIAG_ERR("ddr_index=%u stop check fail! status(0x%x)!", n, status);
        return ASMF_DIAG_ERR_BUSY;
    }
    if (int rc = wr_all(id, {{b + 0x10, 0}, {b, 0}}))
        return rc;
    DIAG_DBG("ddr_index=%u self check stop.", n);
    return 0;
}

int turn_start_one(uint32_t id, uint32_t n)
{
    const uint32_t b = asmf_ddr_ctrl(n);
    uint32_t run = 0, turn = 0;
    if (int rc = rd(id, b, run))
        return rc;
    if (run != 0) {
        DIAG_ERR("ddr_index=%u self check not finish! status(0x%x)!", n, run);
        return ASMF_DIAG_ERR_STATE;
    }
    if (int rc = rd(id, asmf_ddr_turn_status(n), turn))
        return rc;
    if ((turn & 0x2) != 0) {
        DIAG_ERR("ddr_index=%u turn test not finish err! status(0x%x) ", n, turn);
        return ASMF_DIAG_ERR_BUSY;
    }
    if (int rc = wr_all(id, {{b + 0x20, 1}, {b + 0x28, 0}, {b + 0x30, 0xFFFFFFFF}, {b + 0x38, 1}}))
        return rc;
    DIAG_DBG("ddr_index=%u turn test start.", n);
    return 0;
}

int turn_stop_one(uint32_t id, uint32_t n)
{
    const uint32_t b = asmf_ddr_ctrl(n);
    if (int rc = wr_all(id, {{b + 0x38, 0}, {b + 0x20, 0}}))
        return rc;
    DIAG_DBG("ddr_index=%u turn test stop.", n);
    return 0;
}

int dma_start_one(uint32_t id, uint32_t n)
{
    const uint32_t p = asmf_pcie_ctrl(n);
    uint32_t ctrl = 0;
    if (int rc = rd(id, p, ctrl))
        return rc;
    if (ctrl != 0) {
        DIAG_ERR("pcie_index=%u dma test not finish status(0x%x) err!", n, ctrl);
        return ASMF_DIAG_ERR_BUSY;
    }
    if (g_dma_addr[n].load() == 0) {
        uint64_t buf = asmf_malloc_mem(ASMF_DMA_BUF_SIZE, 0);
        if (buf == 0) {
            DIAG_ERR("pcie_index=%u call asmf_malloc_mem err!", n);
            return ASMF_DIAG_ERR_MEM;
        }
        g_dma_addr[n] = buf;
    }
    uint64_t bus = asmf_v2p(g_dma_addr[n].load());
    if (bus == 0) {
        DIAG_ERR("pcie_index=%u call asmf_malloc_mem err!g_dma_addr(0x%p)", n,
                 reinterpret_cast<void *>(g_dma_addr[n].load()));
        return ASMF_DIAG_ERR_MEM;
    }
    if (int rc = wr_all(id, {{p - 8, static_cast<uint32_t>(bus >> 32)}, {p - 4, static_cast<uint32_t>(bus)}, {p, 1}}))
        return rc;
    DIAG_DBG("pcie_index=%u dma test start.", n);
    return 0;
}

int dma_stop_one(uint32_t id, uint32_t n)
{
    if (int rc = wr(id, asmf_pcie_ctrl(n), 0))
        return rc;
    host().sleep(1);
    uint64_t buf = g_dma_addr[n].load();
    if (buf != 0) {
        if (int rc = asmf_free_mem(buf)) {
            DIAG_ERR("call asmf_free_mem err(%d), g_dma_addr[%u](0x%p)!", rc, n, reinterpret_cast<void *>(buf));
            return rc;
        }
        g_dma_addr[n] = 0;
    }
    DIAG_DBG("pcie_index=%u dma test stop.", n);
    return 0;
}

// Runs one channel step over channels 0..count-1; the first failure ends it.
int each_channel(uint32_t id, unsigned count, int (*step)(uint32_t, uint32_t))
{
    for (uint32_t n = 0; n < count; n++)
        if (int rc = step(id, n))
            return rc;
    return 0;
}

} // namespace

int asmf_diag_get_ecc(uint32_t id, uint32_t *result4)
{
    if (int rc = result_array(id, result4, 4))
        return rc;
    for (uint32_t n = 0; n < 2; n++) {
        uint32_t status = 0;
        const uint32_t s = asmf_ecc_status(n);
        if (int rc = rd(id, s, status))
            return rc;
        if ((status & 0x1) != 0)
            if (int rc = rd(id, s + 0x7F8, result4[n * 2]))
                return rc;
        if ((status & 0x2) != 0)
            if (int rc = rd(id, s + 0x800, result4[n * 2 + 1]))
                return rc;
    }
    return 0;
}

int asmf_diag_ddr_check_start(uint32_t id) { return each_channel(id, ASMF_DDR_CHANNELS, self_check_start_one); }
int asmf_diag_ddr_check_stop(uint32_t id) { return each_channel(id, ASMF_DDR_CHANNELS, self_check_stop_one); }

int asmf_diag_ddr_check_result(uint32_t id, uint32_t *result15)
{
    if (int rc = result_array(id, result15, 15))
        return rc;
    for (uint32_t n = 0; n < ASMF_DDR_CHANNELS; n++) {
        uint32_t *r = result15 + n * 3;
        const uint32_t c = asmf_ddr_check_status(n);
        uint32_t status = 0;
        if (int rc = rd(id, c, status))
            return rc;
        if (int rc = rd(id, c + 0x08, r[1]))
            return rc;
        if (int rc = rd(id, c + 0x10, r[2]))
            return rc;
        if ((status & 0x1100) != 0x1100) {
            r[0] = DIAG_RUNNING;
        } else if ((status & 0x2000) == 0) {
            r[0] = DIAG_FAILED;
            DIAG_ERR("ddr_index=%u, self check status(0x%x) fail! err_type(0x%x) err_info(0x%x).", n, status, r[1],
                     r[2]);
        }
    }
    return 0;
}

int asmf_diag_ddr_check(uint32_t id, uint32_t *result15)
{
    asmf_disable_device(id);
    asmf_diag_ddr_check_stop(id);
    int rc = asmf_diag_ddr_check_start(id);
    if (rc != 0)
        DIAG_ERR("asmf_diag_ddr_check_start ulAcceId(%u) err(%d)!", id, rc);
    for (unsigned round = 0; rc == 0; round++) {
        if (round == ASMF_DDR_CHECK_ROUNDS) {
            DIAG_ERR("asmf_diag_ddr_check  timeout err!");
            rc = ASMF_DIAG_ERR_TIMEOUT;
            break;
        }
        host().sleep(1);
        if ((rc = asmf_diag_ddr_check_result(id, result15)) != 0)
            break;
        bool running = false;
        for (unsigned n = 0; n < ASMF_DDR_CHANNELS; n++)
            running = running || result15[n * 3] == DIAG_RUNNING;
        if (!running)
            break;
    }
    asmf_diag_ddr_check_stop(id);
    asmf_enable_device(id);
    return rc;
}

int asmf_diag_ddr_turn_test_start(uint32_t id) { return each_channel(id, ASMF_DDR_CHANNELS, turn_start_one); }
int asmf_diag_ddr_turn_test_stop(uint32_t id) { return each_channel(id, ASMF_DDR_CHANNELS, turn_stop_one); }

int asmf_diag_ddr_turn_test_result(uint32_t id, uint32_t *result25)
{
    if (int rc = result_array(id, result25, 25))
        return rc;
    for (uint32_t n = 0; n < ASMF_DDR_CHANNELS; n++) {
        uint32_t *r = result25 + n * 5;
        const uint32_t t = asmf_ddr_turn_status(n);
        uint32_t status = 0;
        if (int rc = rd(id, t, status))
            return rc;
        for (uint32_t w = 0; w < 4; w++)
            if (int rc = rd(id, t + 0x10 + w * 8, r[1 + w]))
                return rc;
        if ((status & 0x2) != 0) {
            r[0] = DIAG_RUNNING;
        } else if ((status & 0x1) != 0) {
            r[0] = DIAG_FAILED;
            DIAG_ERR("ddr_index=%u, turn err(0x%x)! err_ll(0x%x),lh(0x%x),hl(0x%x),hh(0x%x).", n, status, r[1], r[2],
                     r[3], r[4]);
        }
    }
    return 0;
}

int asmf_diag_ddr_turn(uint32_t id, uint32_t *result25, uint32_t seconds)
{
    asmf_disable_device(id);
    asmf_diag_ddr_turn_test_stop(id);
    int rc = asmf_diag_ddr_turn_test_start(id);
    if (rc != 0) {
        DIAG_ERR("asmf_diag_ddr_turn_test_start ulAcceId(%u) err(%d)!", id, rc);
        asmf_enable_device(id);
        return rc;
    }
    wait_seconds(seconds);
    if ((rc = asmf_diag_ddr_turn_test_stop(id)) != 0)
        DIAG_ERR("asmf_diag_ddr_turn_test_stop ulAcceId(%u) err(%d)!", id, rc);
    else if ((rc = asmf_diag_ddr_turn_test_result(id, result25)) != 0)
        DIAG_ERR("asmf_diag_ddr_turn_test_result ulAcceId(%u) err(%d)!", id, rc);
    asmf_enable_device(id);
    return rc;
}

int asmf_diag_pcie_dma_test_start(uint32_t id) { return each_channel(id, ASMF_PCIE_CHANNELS, dma_start_one); }
int asmf_diag_pcie_dma_test_stop(uint32_t id) { return each_channel(id, ASMF_PCIE_CHANNELS, dma_stop_one); }

int asmf_diag_pcie_dma_test_result(uint32_t id, uint32_t *result6)
{
    if (int rc = result_array(id, result6, 6))
        return rc;
    for (uint32_t n = 0; n < ASMF_PCIE_CHANNELS; n++) {
        uint32_t *r = result6 + n * 3;
        const uint32_t p = asmf_pcie_ctrl(n);
        uint32_t ctrl = 0, err = 0;
        if (int rc = rd(id, p + 0x10, r[1]))
            return rc;
        if (int rc = rd(id, p + 0x18, r[2]))
            return rc;
        if (int rc = rd(id, p, ctrl))
            return rc;
        if (int rc = rd(id, p + 0x24, err))
            return rc;
        if (ctrl != 0) {
            r[0] = DIAG_RUNNING;
        } else if (err != 0) {
            r[0] = DIAG_FAILED;
            DIAG_ERR("pcie_index=%u, turn err(0x%x)! tx_cont(0x%x),rx_cont(0x%x).", n, err, r[1], r[2]);
        }
    }
    return 0;
}

int asmf_diag_pcie_dma(uint32_t id, uint32_t *result6, uint32_t seconds)
{
    if (int rc = wr(id, ASMF_DMA_MODE_REG, ASMF_DMA_MODE_ON))
        return rc;
    asmf_disable_device(id);
    asmf_diag_pcie_dma_test_stop(id);
    int rc = asmf_diag_pcie_dma_test_start(id);
    if (rc != 0) {
        DIAG_ERR("asmf_diag_pcie_dma_test_start ulAcceId(%u) err(%d)!", id, rc);
    } else {
        wait_seconds(seconds);
        if ((rc = asmf_diag_pcie_dma_test_stop(id)) != 0)
            DIAG_ERR("asmf_diag_pcie_dma_test_stop ulAcceId(%u) err(%d)!", id, rc);
        else if ((rc = asmf_diag_pcie_dma_test_result(id, result6)) != 0)
            DIAG_ERR("asmf_diag_pcie_dma_test_result ulAcceId(%u) err(%d)!", id, rc);
    }
    asmf_enable_device(id);
    if (int off = wr(id, ASMF_DMA_MODE_REG, ASMF_DMA_MODE_OFF))
        return off;
    return rc;
}

GLOBALS_RESET(asmf_diag)
{
    for (auto &a : g_dma_addr)
        a = 0;
}
