#include "tool/tavk/tavk.h"

#include <cstdio>
#include <cstring>

#include "bases/host/host.h"
#include "hwmanage/hpi/plugins/hardware/ipmi_command.h"
#include "kelvo/kelvo.h"

namespace {

constexpr unsigned kPxeBase1 = 1u << 2;
constexpr unsigned kPxeBase2 = 1u << 3;

constexpr const char *kFuncCommands[] = {"./cryptotool equipfun chipid=0", "./cryptotool equipfun chipid=1"};

constexpr size_t kTimeSize = 50;
constexpr size_t kCommandSize = 100;

// Decimal digits only: the time text reaches the shell.
bool time_text_ok(const char *text) { return std::strspn(text, "0123456789") == std::strlen(text); }

TransOpStatus stress(unsigned chip, const char *timeText)
{
    char time[kTimeSize] = {};
    KelvoErr err = strncpy_s(time, sizeof time, timeText, sizeof time);
    if (err != KelvoOk) {
        std::printf("strncpy_s time error, ret = %d, please check the param %u:time\n", static_cast<int>(err), chip);
        return err;
    }
    char cmd[kCommandSize] = {};
    int ret = snprintf_s(cmd, sizeof cmd, sizeof cmd - 1, "./cryptotool equipstress chipid=%u time=%s", chip, time);
    if (ret < 0) {
        std::printf("snprintf_s instruction error, ret = %d, please check the param %u:time\n", ret, chip);
        return ret;
    }
    return host().system(cmd);
}

} // namespace

TransOpStatus pxe_check_enable(const char *)
{
    uint8_t flags = 0;
    int ret = ipmi_get_board_pxe_state(&flags);
    if (ret != 0) {
        std::printf("ipmi_get_board_pxe_state fail, ret=%d\n", ret);
        return -1;
    }
    std::printf("pxe's flag: 0x%x\n", flags);
    std::puts(flags & kPxeBase1 ? "\t*** BASE1 PXE ENABLED ***" : "\t*** WARNNING : BASE1 PXE DISABLED ***");
    std::puts(flags & kPxeBase2 ? "\t*** BASE2 PXE ENABLED ***" : "\t*** WARNNING : BASE2 PXE DISABLED ***");
    return 0;
}

TransOpStatus crypto_query(const char *) { return host().system("./cryptotool query"); }

TransOpStatus crypto_test(const char *params)
{
    const char *text = params ? params : "";
    bool chipDigit = text[0] == '0' || text[0] == '1';
    unsigned chip = static_cast<unsigned>(text[0] - '0');
    if (chipDigit && text[1] == '\0')
        return host().system(kFuncCommands[chip]);
    if (chipDigit && text[1] == ':' && time_text_ok(text + 2))
        return stress(chip, text + 2);
    std::puts("Commod error, please check it");
    return 1;
}
