#include "sim/transmit_model.h"

#include <cstdio>
#include <string>

#include "sim/sim_host.h"

namespace {

std::string start_file(int fpga) { return "/sys/class/net/trans" + std::to_string(fpga) + "/test/start"; }

std::string start_text(int fpga)
{
    char text[96] = {};
    std::snprintf(text, sizeof text, "Flag: 0\tCAddr: %llx\tDAddr: %llx\n",
                  static_cast<unsigned long long>(kSimTransmitDesc[fpga]),
                  static_cast<unsigned long long>(kSimTransmitPackets[fpga]));
    return text;
}

}  // namespace

bool transmit_model_attach(SimDoc &)
{
    for (int f = 0; f < 2; f++) {
        sim_script_command("cat " + start_file(f), SimShellScript{start_text(f), 0, {}});
        sim_script_command("echo 1 > " + start_file(f), SimShellScript{});
        // Stopping the sender leaves its loop log in "/opt".
        const std::string log = "/opt/trans" + std::to_string(f) + "_loop.log";
        sim_script_command("echo 0 > " + start_file(f), SimShellScript{"", 0, {{log, "loop stopped\n"}}});
    }
    sim_script_command("rm -rf /opt/*vec_err*", SimShellScript{});
    sim_script_command("cd /home/test/trans;chmod +x send_packet.sh", SimShellScript{});
    for (int n = 0; n < 4; n++)
        sim_script_command("cd /home/test/trans;./send_packet.sh " + std::to_string(n), SimShellScript{});
    sim_script_command("cd /home/test/trans;./send_dsp.sh", SimShellScript{});
    return true;
}

void transmit_model_save(SimDoc &) {}
