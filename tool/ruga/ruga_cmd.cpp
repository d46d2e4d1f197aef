#include "tool/ruga/ruga_cmd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kelvo/kelvo.h"
#include "tool/load/load_log.h"
#include "tool/load/spi_flash.h"
#include "tool/ruga/ruga_app.h"
#include "tool/ruga/ruga_loader.h"
#include "tool/ruga/ruga_mac.h"
#include "tool/ruga/ruga_pci.h"
#include "tool/ruga/ruga_reg.h"

namespace {

constexpr size_t kPathSize = 128;

bool arg_given(const char *params)
{
    if (params != nullptr)
        return true;
    LOAD_ERR("RUGA: input arg error\n");
    return false;
}

// The first word of a file row's parameter (at most 126 characters).
int scan_path(const char *params, char (&path)[kPathSize])
{
    if (!arg_given(params))
        return -1201;
    int count = sscanf_s(params, "%s", path, static_cast<unsigned>(kPathSize - 1));
    if (count == 1)
        return 0;
    LOAD_ERR("RUGA: sscanf file name fail!\n");
    // The count is the status, save a scan that converted nothing without
    // failing (a word too long for the buffer): 0 would read as success.
    return count == 0 ? -1202 : count;
}

// "RUGA:SUCCESS" or "RUGA:FAIL" (the caller adds its own line then); the
// status as is.
TransOpStatus verdict(int status)
{
    if (status == 0)
        LOAD_INFO("RUGA:SUCCESS\n");
    else
        LOAD_ERR("RUGA:FAIL\n");
    return status;
}

}

TransOpStatus ruda_load_ruga_boot_logic_file(const char *params)
{
    char path[kPathSize] = {};
    int ret = scan_path(params, path);
    if (ret != 0)
        return ret;
    ret = ruda_fpga_load_file(0, path, 0, 1);
    if (ret == 0)
        LOAD_INFO("RUGA: load fpga boot logic file success!\n");
    else
        LOAD_ERR("RUGA: load fpga boot logic file to flash fail!\n");
    return ret;
}

TransOpStatus ruda_load_ruga_app_logic_file(const char *params)
{
    char path[kPathSize] = {};
    int ret = scan_path(params, path);
    if (ret != 0)
        return ret;
    ret = ruga_fpga_app_load_file(path);
    if (ret == 0)
        LOAD_INFO("RUGA: load fpga app logic file success!\n");
    else
        LOAD_ERR("RUGA: load fpga app logic file to fpga fail!\n");
    return ret;
}

TransOpStatus ruda_active_boot_logic(const char *)
{
    std::puts("call ruda_active_boot_logic");
    int ret = verdict(ruga_active_boot_logic());
    if (ret != 0)
        LOAD_ERR("RUGA:active boot logic fail!\n");
    return ret;
}

TransOpStatus ruda_get_flash_boot_logic_ver(const char *)
{
    std::puts("call ruda_get_flash_boot_logic_ver");
    uint32_t version = 0;
    int ret = verdict(ruga_get_flash_boot_logic_ver(&version));
    if (ret != 0)
        LOAD_ERR("RUGA:get flash boot logic version fail!\n");
    return ret;
}

TransOpStatus ruda_get_run_boot_logic_ver(const char *)
{
    std::puts("call ruda_get_run_boot_logic_ver");
    uint32_t version = 0;
    // A register that cannot be read is a failure, not a success with 65535.
    int ret = verdict(ruga_get_run_boot_logic_ver(&version));
    if (ret != 0)
        LOAD_ERR("RUGA:get run boot logic version fail!\n");
    return ret;
}

TransOpStatus ruda_set_mac_addr(const char *params)
{
    if (!arg_given(params))
        return -1201;
    const char *colon = std::strchr(params, ':');
    if (colon == nullptr) {
        LOAD_ERR("RUGA:FAIL\n");
        LOAD_ERR("RUGA:input mac address error!\n");
        return -1200;
    }
    char text[3] = {};
    KelvoErr copied = strncpy_s(text, sizeof(text), params, static_cast<size_t>(colon - params));
    if (copied != 0) {
        LOAD_ERR("call strncpy_s error!\n");
        return copied;
    }
    const auto index = static_cast<uint32_t>(std::strtol(text, nullptr, 10));
    int ret = verdict(ruga_set_mac(index, colon + 1));
    if (ret != 0)
        LOAD_ERR("RUGA:set mac(%d) address fail!\n", static_cast<int>(index));
    return ret;
}

TransOpStatus ruda_get_mac_addr(const char *params)
{
    if (!arg_given(params))
        return -1201;
    const auto index = static_cast<uint32_t>(std::strtol(params, nullptr, 10));
    int ret = verdict(ruga_get_mac(index, 0));
    if (ret != 0)
        LOAD_ERR("RUGA:get mac(%d) address fail!\n", static_cast<int>(index));
    return ret;
}

TransOpStatus ruda_dump_boot_logic(const char *)
{
    int ret = verdict(ruga_dump_boot_logic());
    if (ret != 0)
        LOAD_ERR("RUGA:dump boot logic fail\n");
    return ret;
}

int ruda_test_logic_hb()
{
    int ret = verdict(ruga_hb_register_test());
    if (ret != 0)
        LOAD_ERR("RUGA:test logic hb fail\n");
    return ret;
}

int ruda_get_logic_type()
{
    uint32_t type = 0;
    int ret = verdict(ruga_get_flash_logic_type(&type));
    if (ret != 0)
        LOAD_ERR("RUGA:get logic type fail\n");
    return ret;
}
