// Help texts of the command table: a title line, one usage line per target
// letter with its parameter form, and examples. Fields are decimal unless
// written 0x...; the handlers define the exact parsing.
#ifndef QUORBIX_TOOL_TRANS_OP_HELP_H
#define QUORBIX_TOOL_TRANS_OP_HELP_H

inline constexpr const char *kHelpHelp = "show this help message";

// ---- write -------------------------------------------------------------------

inline constexpr const char *kHelpWritePci =
    "write a register of a PCI function\r\n"
    "\t\tusage: -- ./quorbix -w pci/Mbus:dev.func-0xreg.W=0xvalue-bBAR -- M : B BAR space (-bBAR, BAR 0 ~ 5), "
    "D board driver, F procfs config space, I config ports; W : B byte, W word, D dword\r\n"
    "\t\texample : ./quorbix -w pci/F0:1f.3-0x40.b=0x5a\r\n"
    "\t\texample : ./quorbix -w pci/B3:00.0-0x10.d=0x1-b0";

inline constexpr const char *kHelpWriteIndreg =
    "write an indirect register of an FPGA\r\n"
    "\t\tusage: -- ./quorbix -w indreg/fpgaID:baseaddr:addrdata:wlen:wdata[wlen-1]:...:wdata[0] -- hex values with 0x\r\n"
    "\t\texample : ./quorbix -w indreg/0:0x1000:0x2:2:0x11:0x22";

inline constexpr const char *kHelpWriteDreg =
    "write a direct register of an FPGA\r\n"
    "\t\tusage: -- ./quorbix -w dreg/fpgaID:address:data -- address and data hex with 0x\r\n"
    "\t\texample : ./quorbix -w dreg/0:0x1500:0x1";

inline constexpr const char *kHelpWriteMem =
    "write FPGA memory\r\n"
    "\t\tusage: -- ./quorbix -w mem/fpgaID:address:data -- address and data hex with 0x\r\n"
    "\t\texample : ./quorbix -w mem/0:0x100:0x5a5a";

inline constexpr const char *kHelpWriteMedia =
    "write media DSP memory, LPC or DSP pcie app register\r\n"
    "\t\tusage: -- ./quorbix -w media/help -- list the write media targets\r\n"
    "\t\tusage: -- ./quorbix -w media/b|dw|ddw|ecc|app/subboard:dsp:0xaddr:0xdata\r\n"
    "\t\tusage: -- ./quorbix -w media/lpc/0xaddr:0xdata\r\n"
    "\t\texample : ./quorbix -w media/dw/0:3:0x80000000:0x12345678";

inline constexpr const char *kHelpWriteI2c =
    "Write Memory Test\r\n"
    "\t\tusage: -- ./quorbix -w i2c/0xdevaddr:0xdataaddr.W:0xvalue  (W : b byte, w word, l long)\r\n"
    "\t\texample : ./quorbix -w i2c/0x50:0x10.b:0x5a";

// ---- dump --------------------------------------------------------------------

inline constexpr const char *kHelpDumpPci =
    "dump pci config space register, dump pci bus map\r\n"
    "\t\tusage: -- ./quorbix -d pci/A -- lspci dump of every function\r\n"
    "\t\tusage: -- ./quorbix -d pci/Ebus:dev.func -- PCI Express and AER error registers (hex)\r\n"
    "\t\tusage: -- ./quorbix -d pci/G -- global error registers\r\n"
    "\t\tusage: -- ./quorbix -d pci/I -- IIO core interface error registers\r\n"
    "\t\tusage: -- ./quorbix -d pci/M -- pci bus map and entity list\r\n"
    "\t\tusage: -- ./quorbix -d pci/P -- coherent interface error registers\r\n"
    "\t\tusage: -- ./quorbix -d pci/Q -- QPI port state\r\n"
    "\t\tusage: -- ./quorbix -d pci/S -- system event report control\r\n"
    "\t\texample : ./quorbix -d pci/E00:1c.0";

// ---- mfc ---------------------------------------------------------------------

inline constexpr const char *kHelpMfcPort =
    "port parameters, state and statistics\r\n"
    "\t\tusage: -- ./quorbix -m port/b/fpgaID:portID -- MTU\r\n"
    "\t\tusage: -- ./quorbix -m port/c/fpgaID:type -- CAR, type s split CAR or t total CAR\r\n"
    "\t\tusage: -- ./quorbix -m port/d/fpgaID -- de-pause water level\r\n"
    "\t\tusage: -- ./quorbix -m port/e/fpgaID -- pause switch\r\n"
    "\t\tusage: -- ./quorbix -m port/f/fpgaID:portID:type -- flow control, type 0 multicast, 1 broadcast\r\n"
    "\t\tusage: -- ./quorbix -m port/h/fpgaID:portID -- PHY parameters\r\n"
    "\t\tusage: -- ./quorbix -m port/k/fpgaID:portID -- link status\r\n"
    "\t\tusage: -- ./quorbix -m port/l/fpgaID:portID:type -- loop mode, type m MAC loop, p PHY loop\r\n"
    "\t\tusage: -- ./quorbix -m port/m/fpgaID:portID -- MAC address\r\n"
    "\t\tusage: -- ./quorbix -m port/p/fpgaID:portID -- port statistics\r\n"
    "\t\tusage: -- ./quorbix -m port/r/fpgaID:portID -- MAC statistics\r\n"
    "\t\tusage: -- ./quorbix -m port/s/fpgaID:portID -- port switch\r\n"
    "\t\tusage: -- ./quorbix -m port/t/fpgaID -- CAR fresh time\r\n"
    "\t\tusage: -- ./quorbix -m port/v/fpgaID:portID:Vlanid -- vlan statistics\r\n"
    "\t\tusage: -- ./quorbix -m port/w/fpgaID:portID -- work mode\r\n"
    "\t\texample : ./quorbix -m port/k/0:1";

inline constexpr const char *kHelpMfcQueue =
    "queue parameters and statistics\r\n"
    "\t\tusage: -- ./quorbix -m queue/a/fpgaID:QueueType:QueueID -- ring addresses and pointers\r\n"
    "\t\tusage: -- ./quorbix -m queue/h/fpgaID:HashSeed -- hash rule\r\n"
    "\t\tusage: -- ./quorbix -m queue/o/fpgaID -- data offset\r\n"
    "\t\tusage: -- ./quorbix -m queue/p/fpgaID:ProcessIndex -- tx process match\r\n"
    "\t\tusage: -- ./quorbix -m queue/s/fpgaID:QueueType:QueueID -- statistics\r\n"
    "\t\tusage: -- ./quorbix -m queue/w/fpgaID:QueueType:QueueID -- water level\r\n"
    "\t\texample : ./quorbix -m queue/w/0:1:5";

inline constexpr const char *kHelpMfcFpga =
    "FPGA settings and memory\r\n"
    "\t\tusage: -- ./quorbix -m fpga/a/fpgaID -- user pool addresses\r\n"
    "\t\tusage: -- ./quorbix -m fpga/b -- software buffer bases, without parameter\r\n"
    "\t\tusage: -- ./quorbix -m fpga/c/fpgaID -- hrtimer affinity\r\n"
    "\t\tusage: -- ./quorbix -m fpga/d/fpgaID:type -- CAR drop statistic, type s split or t total\r\n"
    "\t\tusage: -- ./quorbix -m fpga/e/fpgaID -- enable state\r\n"
    "\t\tusage: -- ./quorbix -m fpga/f -- free blocks of the hardware buffers, without parameter\r\n"
    "\t\tusage: -- ./quorbix -m fpga/g/fpgaID:cpuID -- memory zones\r\n"
    "\t\tusage: -- ./quorbix -m fpga/h/fpgaID -- hash seeds\r\n"
    "\t\tusage: -- ./quorbix -m fpga/i/fpgaID -- driver information\r\n"
    "\t\tusage: -- ./quorbix -m fpga/k/fpgaID:QueueType:QueueID -- queue switch\r\n"
    "\t\tusage: -- ./quorbix -m fpga/l/fpgaID:PhyPort -- port map\r\n"
    "\t\tusage: -- ./quorbix -m fpga/m/fpgaID -- standby mode\r\n"
    "\t\tusage: -- ./quorbix -m fpga/n/fpgaID:QueueType:QueueID -- memory configuration self check\r\n"
    "\t\tusage: -- ./quorbix -m fpga/p/fpgaID -- cpu present\r\n"
    "\t\tusage: -- ./quorbix -m fpga/r/fpgaID -- load logic at reboot\r\n"
    "\t\tusage: -- ./quorbix -m fpga/s -- user shared memory map, without parameter\r\n"
    "\t\tusage: -- ./quorbix -m fpga/t/fpgaID -- interrupt interval\r\n"
    "\t\tusage: -- ./quorbix -m fpga/u/fpgaID:portID -- trunk\r\n"
    "\t\tusage: -- ./quorbix -m fpga/v/fpgaID -- driver version\r\n"
    "\t\tusage: -- ./quorbix -m fpga/w/fpgaID -- vrf switch\r\n"
    "\t\tusage: -- ./quorbix -m fpga/z/fpgaID -- checksum switch\r\n"
    "\t\texample : ./quorbix -m fpga/e/0";

inline constexpr const char *kHelpMfcTrans =
    "trans FPGA logic\r\n"
    "\t\tusage: -- ./quorbix -m trans/i -- without parameter\r\n"
    "\t\tusage: -- ./quorbix -m trans/v -- version of the logic in flash, without parameter\r\n"
    "\t\texample : ./quorbix -m trans/v";

inline constexpr const char *kHelpMfcSbuf =
    "sbuf FPGA logic\r\n"
    "\t\tusage: -- ./quorbix -m sbuf/v -- version of the logic in flash, without parameter\r\n"
    "\t\texample : ./quorbix -m sbuf/v";

// ---- Set ---------------------------------------------------------------------

inline constexpr const char *kHelpSetFpga =
    "set FPGA parameters\r\n"
    "\t\tusage: -- ./quorbix -s fpga/e/fpgaID -- enable sequence\r\n"
    "\t\tusage: -- ./quorbix -s fpga/h/fpgaID:index:seed1:seed2 -- hash seeds (hex)\r\n"
    "\t\tusage: -- ./quorbix -s fpga/m/fpgaID:mode -- 0 active, else standby\r\n"
    "\t\tusage: -- ./quorbix -s fpga/p/fpgaID:cpu1:cpu0 -- cpu present, each 0 or 1\r\n"
    "\t\tusage: -- ./quorbix -s fpga/t/fpgaID:interval -- interrupt interval\r\n"
    "\t\tusage: -- ./quorbix -s fpga/l/fpgaID:PhyPort:LogicPort -- port map\r\n"
    "\t\tusage: -- ./quorbix -s fpga/r/fpgaID:flag -- load logic at reboot\r\n"
    "\t\tusage: -- ./quorbix -s fpga/d/fpgaID -- default memory configuration\r\n"
    "\t\tusage: -- ./quorbix -s fpga/u/fpgaID:portID:flag -- trunk\r\n"
    "\t\tusage: -- ./quorbix -s fpga/k/fpgaID:QueueType:QueueID:switch -- queue switch\r\n"
    "\t\tusage: -- ./quorbix -s fpga/c/fpgaID:cpuID -- hrtimer affinity\r\n"
    "\t\tusage: -- ./quorbix -s fpga/w/fpgaID:switch -- vrf switch\r\n"
    "\t\tusage: -- ./quorbix -s fpga/z/fpgaID:RxSwitch:TxSwitch -- checksum switch\r\n"
    "\t\texample : ./quorbix -s fpga/t/0:100";

inline constexpr const char *kHelpSetBufc =
    "set buffer control (anti-cpu) parameters\r\n"
    "\t\tusage: -- ./quorbix -s bufc/i/fpgaID:time -- interval time\r\n"
    "\t\tusage: -- ./quorbix -s bufc/p/fpgaID:portID:type:Value -- port threshold\r\n"
    "\t\tusage: -- ./quorbix -s bufc/r/fpgaID:type:Value -- resource threshold\r\n"
    "\t\tusage: -- ./quorbix -s bufc/s/fpgaID:portID:flag -- port switch\r\n"
    "\t\tusage: -- ./quorbix -s bufc/t/fpgaID:Value -- total switch\r\n"
    "\t\texample : ./quorbix -s bufc/p/0:1:2:100";

inline constexpr const char *kHelpSetPci =
    "initialise the socket count and the RAS device of the pci diagnosis\r\n"
    "\t\tusage: -- ./quorbix -s pci/\r\n"
    "\t\texample : ./quorbix -s pci/";

inline constexpr const char *kHelpSetPort =
    "set port parameters\r\n"
    "\t\tusage: -- ./quorbix -s port/b/fpgaID:portID-max:min -- MTU\r\n"
    "\t\tusage: -- ./quorbix -s port/c/fpgaID:type:cbs:cir -- CAR, type s split or t total\r\n"
    "\t\tusage: -- ./quorbix -s port/d/fpgaID:portID:flag -- forced PHY down, 0 disable, 1 enable\r\n"
    "\t\tusage: -- ./quorbix -s port/e/fpgaID:flag -- pause switch, flag hex with 0x\r\n"
    "\t\tusage: -- ./quorbix -s port/f/fpgaID:portID-CastMode:cbs:cir:t -- flow control, CastMode 0 multicast, 1 broadcast\r\n"
    "\t\tusage: -- ./quorbix -s port/g/fpgaID:portID-direct:PRBS mode -- GTX PRBS, direct 0 rx, 1 tx\r\n"
    "\t\tusage: -- ./quorbix -s port/l/fpgaID:portID-type:loopmode -- loop mode, type m MAC, p PHY\r\n"
    "\t\tusage: -- ./quorbix -s port/m/fpgaID:portID-xx:xx:xx:xx:xx:xx -- MAC address (hex bytes)\r\n"
    "\t\tusage: -- ./quorbix -s port/p/fpgaID:portID-PostEmphasis:PreEmphasis:Swing -- PHY parameters\r\n"
    "\t\tusage: -- ./quorbix -s port/r/fpgaID:portID:value -- port reset\r\n"
    "\t\tusage: -- ./quorbix -s port/s/fpgaID:portID-abc -- port switch, a b c each 0 or 1\r\n"
    "\t\tusage: -- ./quorbix -s port/t/fpgaID:time -- CAR fresh time\r\n"
    "\t\tusage: -- ./quorbix -s port/v/fpgaID:WaterLevel -- de-pause water level, hex with 0x\r\n"
    "\t\tusage: -- ./quorbix -s port/w/fpgaID:portID-autoneg:speed:duplex -- work mode, autoneg n on, f off; duplex f full, h half\r\n"
    "\t\texample : ./quorbix -s port/b/0:1-1518:64\r\n"
    "\t\texample : ./quorbix -s port/w/0:1-f:1000:f";

inline constexpr const char *kHelpSetQueue =
    "set queue parameters\r\n"
    "\t\tusage: -- ./quorbix -s queue/h/fpgaID:HashSeed:VcpuID -- hash rule\r\n"
    "\t\tusage: -- ./quorbix -s queue/o/fpgaID:offset -- data offset\r\n"
    "\t\tusage: -- ./quorbix -s queue/p/fpgaID:ProcessIndex:MatchID -- tx process match\r\n"
    "\t\tusage: -- ./quorbix -s queue/r/fpgaID:value -- read pointer renew interval\r\n"
    "\t\tusage: -- ./quorbix -s queue/w/fpgaID:QueueType:QueueID:Highlevel:Lowlevel -- water level\r\n"
    "\t\texample : ./quorbix -s queue/w/0:1:5:100:10";

inline constexpr const char *kHelpSetSecm =
    "set security module parameters\r\n"
    "\t\tusage: -- ./quorbix -s secm/p/fpgaID:ScemType:Flag:Para\r\n"
    "\t\texample : ./quorbix -s secm/p/0:1:1:100";

inline constexpr const char *kHelpSetTcam =
    "tcam table tests\r\n"
    "\t\tusage: -- ./quorbix -s tcam/h/seed1:seed2 -- hash seeds\r\n"
    "\t\tusage: -- ./quorbix -s tcam/i/ -- empty the tcam tables\r\n"
    "\t\tusage: -- ./quorbix -s tcam/t/file name -- run the table commands of a file\r\n"
    "\t\tusage: -- ./quorbix -s tcam/k/ -- table speed test\r\n"
    "\t\texample : ./quorbix -s tcam/t/tcam_cmd.txt";

inline constexpr const char *kHelpSetTransmit =
    "packet transmit settings\r\n"
    "\t\tusage: -- ./quorbix -s transmit/c/ -- clear the transmit statistics\r\n"
    "\t\tusage: -- ./quorbix -s transmit/e/transmit configuration file name -- transmit packets\r\n"
    "\t\tusage: -- ./quorbix -s transmit/p/flag -- packet print flag, 0 or 1\r\n"
    "\t\tusage: -- ./quorbix -s transmit/a/a:b:c:d -- add pcie port endpoint\r\n"
    "\t\tusage: -- ./quorbix -s transmit/r/a:b:c:d -- remove pcie port endpoint\r\n"
    "\t\texample : ./quorbix -s transmit/e/transmit.cfg";

inline constexpr const char *kHelpSetFpga0 =
    "set the RTC of FPGA0\r\n"
    "\t\tusage: -- ./quorbix -s fpga0/o/year-month-day-hour-minute-second-millisecond -- start time\r\n"
    "\t\tusage: -- ./quorbix -s fpga0/d/difference -- adjust time (signed)\r\n"
    "\t\texample : ./quorbix -s fpga0/o/2024-01-31-12-00-00-000";

// ---- test --------------------------------------------------------------------

inline constexpr const char *kHelpTestPci =
    "Test IIO RAS Module Test\r\n"
    "\t\tusage: -- ./quorbix -t pci/A -- pcie and AER state of every function\r\n"
    "\t\tusage: -- ./quorbix -t pci/B -- bridge state\r\n"
    "\t\tusage: -- ./quorbix -t pci/C -- clear every error state\r\n"
    "\t\tusage: -- ./quorbix -t pci/D -- DMI state\r\n"
    "\t\tusage: -- ./quorbix -t pci/E -- pcie and AER state of the functions of cpu0\r\n"
    "\t\tusage: -- ./quorbix -t pci/G -- global error state\r\n"
    "\t\tusage: -- ./quorbix -t pci/I -- IIO state\r\n"
    "\t\tusage: -- ./quorbix -t pci/M -- misc state\r\n"
    "\t\tusage: -- ./quorbix -t pci/P -- coherent interface state\r\n"
    "\t\tusage: -- ./quorbix -t pci/Q -- QPI state\r\n"
    "\t\texample : ./quorbix -t pci/A";

inline constexpr const char *kHelpTestFpga0 =
    "FPGA0 DDR tests\r\n"
    "\t\tusage: -- ./quorbix -t fpga0/rddr/offset+length/f -- read DDR bytes into log.txt, offset 0x... or decimal, f c raw, b hex\r\n"
    "\t\tusage: -- ./quorbix -t fpga0/rsol/offset+length/f -- read SOL bytes into sol.txt\r\n"
    "\t\tusage: -- ./quorbix -t fpga0/w/mode -- DDR health test, mode 0, 3 or 9\r\n"
    "\t\tusage: -- ./quorbix -t fpga0/d/name:count -- loop test, name ddr, rtc or vga\r\n"
    "\t\texample : ./quorbix -t fpga0/rddr/0x100+64/b";

inline constexpr const char *kHelpTestMedia =
    "media DSP tests\r\n"
    "\t\tusage: -- ./quorbix -t media/help/[target] -- list the test media targets\r\n"
    "\t\texample : ./quorbix -t media/in/0:1";

// ---- load --------------------------------------------------------------------

inline constexpr const char *kHelpLoadTrans =
    "trans FPGA logic\r\n"
    "\t\tusage: -- ./quorbix -l trans/f/logic file name -- write a logic file into flash 0\r\n"
    "\t\tusage: -- ./quorbix -l trans/n/ -- load the FPGA from flash now\r\n"
    "\t\texample : ./quorbix -l trans/f/trans_logic.bin";

inline constexpr const char *kHelpLoadSbuf =
    "sbuf FPGA logic\r\n"
    "\t\tusage: -- ./quorbix -l sbuf/f/logic file name -- write a logic file into flash\r\n"
    "\t\tusage: -- ./quorbix -l sbuf/n/ -- load the FPGA from flash now\r\n"
    "\t\texample : ./quorbix -l sbuf/f/sbuf_logic.bin";

inline constexpr const char *kHelpLoadMedia =
    "load DSP program images\r\n"
    "\t\tusage: -- ./quorbix -l media/f/subboard:dsp:file -- dsp 255 loads DSP 0 ~ 8\r\n"
    "\t\tusage: -- ./quorbix -l media/d/subboard:dsp:loadtype:file -- load type 0 ~ 2\r\n"
    "\t\tusage: -- ./quorbix -l media/t/subboards:dsps:loadtype:file -- one thread per DSP\r\n"
    "\t\tusage: -- ./quorbix -l media/th/subboards:dsps:loadtype:repeat:file -- with health check thread\r\n"
    "\t\texample : ./quorbix -l media/f/0:255:dsp.out";

inline constexpr const char *kHelpLoadAcc =
    "accelerator logic\r\n"
    "\t\tusage: -- ./quorbix -l acc/f/logic file name -- write a logic file into flash 0\r\n"
    "\t\texample : ./quorbix -l acc/f/acc_logic.bin";

inline constexpr const char *kHelpLoadRugaBt =
    "RUGA boot logic\r\n"
    "\t\tusage: -- ./quorbix -l ruga_bt/f/logic file name -- write a boot logic file into flash 0\r\n"
    "\t\texample : ./quorbix -l ruga_bt/f/ruga_boot.bin";

inline constexpr const char *kHelpLoadRugaAp =
    "RUGA application logic\r\n"
    "\t\tusage: -- ./quorbix -l ruga_ap/f/logic file name -- load an application logic file into the FPGA\r\n"
    "\t\texample : ./quorbix -l ruga_ap/f/ruga_app.bin";

// ---- clear -------------------------------------------------------------------

inline constexpr const char *kHelpClearPort =
    "clear port statistics\r\n"
    "\t\tusage: -- ./quorbix -c port/g/fpgaID:portID:direct -- GTX PRBS, direct 0 rx, 1 tx\r\n"
    "\t\tusage: -- ./quorbix -c port/p/fpgaID:portID -- port statistics\r\n"
    "\t\tusage: -- ./quorbix -c port/q/fpgaID:QueueType:QueueID -- queue statistics\r\n"
    "\t\tusage: -- ./quorbix -c port/r/fpgaID:portID -- MAC statistics\r\n"
    "\t\tusage: -- ./quorbix -c port/s/fpgaID -- security module statistics\r\n"
    "\t\tusage: -- ./quorbix -c port/x/fpgaID:type -- security module IPv6 statistics\r\n"
    "\t\tusage: -- ./quorbix -c port/v/fpgaID:portID:Vlanid -- vlan statistics\r\n"
    "\t\texample : ./quorbix -c port/p/0:1";

inline constexpr const char *kHelpClearTrans =
    "erase the trans FPGA logic\r\n"
    "\t\tusage: -- ./quorbix -c trans/f/ -- erase flash 0\r\n"
    "\t\texample : ./quorbix -c trans/f/";

inline constexpr const char *kHelpClearSbuf =
    "erase the sbuf FPGA logic\r\n"
    "\t\tusage: -- ./quorbix -c sbuf/f/ -- erase the sbuf logic flash\r\n"
    "\t\texample : ./quorbix -c sbuf/f/";

inline constexpr const char *kHelpClearIndreg =
    "clear an indirect register of an FPGA\r\n"
    "\t\tusage: -- ./quorbix -c indreg/fpgaID:0xbaseaddr:0xdata\r\n"
    "\t\texample : ./quorbix -c indreg/0:0x1000:0x1";

// ---- r_media, w_media --------------------------------------------------------

inline constexpr const char *kHelpRMediaDdw =
    "read 8 bytes of DSP memory\r\n"
    "\t\tusage: -- ./quorbix -r media/ddw/subboard:dsp:0xaddr\r\n"
    "\t\texample : ./quorbix -r media/ddw/0:3:0x80000000";
inline constexpr const char *kHelpRMediaDw =
    "read 4 bytes of DSP memory\r\n"
    "\t\tusage: -- ./quorbix -r media/dw/subboard:dsp:0xaddr\r\n"
    "\t\texample : ./quorbix -r media/dw/0:3:0x80000000";
inline constexpr const char *kHelpRMediaB =
    "read 1 byte of DSP memory\r\n"
    "\t\tusage: -- ./quorbix -r media/b/subboard:dsp:0xaddr\r\n"
    "\t\texample : ./quorbix -r media/b/0:3:0x80000000";
inline constexpr const char *kHelpRMediaEcc =
    "aligned 4 byte read of DSP memory\r\n"
    "\t\tusage: -- ./quorbix -r media/ecc/subboard:dsp:0xaddr\r\n"
    "\t\texample : ./quorbix -r media/ecc/0:3:0x80000000";
inline constexpr const char *kHelpRMediaLpc =
    "read one LPC byte\r\n"
    "\t\tusage: -- ./quorbix -r media/lpc/0xaddr\r\n"
    "\t\texample : ./quorbix -r media/lpc/0xb004";
inline constexpr const char *kHelpRMediaApp =
    "read a DSP pcie app register\r\n"
    "\t\tusage: -- ./quorbix -r media/app/subboard:dsp:0xreg\r\n"
    "\t\texample : ./quorbix -r media/app/0:3:0x100";

inline constexpr const char *kHelpWMediaDdw =
    "write 8 bytes of DSP memory\r\n"
    "\t\tusage: -- ./quorbix -w media/ddw/subboard:dsp:0xaddr:0xdata\r\n"
    "\t\texample : ./quorbix -w media/ddw/0:3:0x80000000:0x1122334455667788";
inline constexpr const char *kHelpWMediaDw =
    "write 4 bytes of DSP memory\r\n"
    "\t\tusage: -- ./quorbix -w media/dw/subboard:dsp:0xaddr:0xdata\r\n"
    "\t\texample : ./quorbix -w media/dw/0:3:0x80000000:0x12345678";
inline constexpr const char *kHelpWMediaB =
    "write 1 byte of DSP memory\r\n"
    "\t\tusage: -- ./quorbix -w media/b/subboard:dsp:0xaddr:0xdata\r\n"
    "\t\texample : ./quorbix -w media/b/0:0:0x10:0x34";
inline constexpr const char *kHelpWMediaEcc =
    "aligned 4 byte write of DSP memory\r\n"
    "\t\tusage: -- ./quorbix -w media/ecc/subboard:dsp:0xaddr:0xdata\r\n"
    "\t\texample : ./quorbix -w media/ecc/0:3:0x80000000:0x12345678";
inline constexpr const char *kHelpWMediaLpc =
    "write one LPC byte\r\n"
    "\t\tusage: -- ./quorbix -w media/lpc/0xaddr:0xdata\r\n"
    "\t\texample : ./quorbix -w media/lpc/0xb004:0x55";
inline constexpr const char *kHelpWMediaApp =
    "write a DSP pcie app register\r\n"
    "\t\tusage: -- ./quorbix -w media/app/subboard:dsp:0xreg:0xvalue\r\n"
    "\t\texample : ./quorbix -w media/app/0:3:0x100:0x1";

// ---- t_media -----------------------------------------------------------------

// One-line help of a media test target: title, usage and example.
#define QX_MEDIA_HELP(title, target, form, example)                 \
    title "\r\n"                                                    \
    "\t\tusage: -- ./quorbix -t media/" target "/" form "\r\n"      \
    "\t\texample : ./quorbix -t media/" target "/" example

inline constexpr const char *kHelpTMediaIn = QX_MEDIA_HELP("hot plug-in a DSP", "in", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaOut = QX_MEDIA_HELP("hot plug-out a DSP", "out", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaR = QX_MEDIA_HELP("reset a DSP", "r", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaHp =
    QX_MEDIA_HELP("hot plug-out, reset and plug-in a DSP", "hp", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaInfo = QX_MEDIA_HELP("print the media board information", "info", "", "");
inline constexpr const char *kHelpTMediaS =
    QX_MEDIA_HELP("start-up state of a DSP core", "s", "subboard:dsp:core", "0:1:0");
inline constexpr const char *kHelpTMediaFill = QX_MEDIA_HELP(
    "fill DSP memory with a byte cnt times (dsp 255 : all)", "fill", "subboard:dsp:0xaddr:0xlen:0xdata:0xcnt",
    "0:1:0x80000000:0x1000:0x5a:0x10");
inline constexpr const char *kHelpTMediaTest = QX_MEDIA_HELP(
    "write, read back and compare DSP memory (dsp 255 : all)", "test", "subboard:dsp:0xaddr:0xlen",
    "0:255:0x80000000:0x200000");
inline constexpr const char *kHelpTMediaMap = QX_MEDIA_HELP("print the pcie memory map of a DSP", "map", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaPortctrl = QX_MEDIA_HELP(
    "switch the pcie switch port of a DSP on or off", "portctrl", "subboard:dsp:flag", "0:1:1");
inline constexpr const char *kHelpTMediaPortioctrl = QX_MEDIA_HELP(
    "switch the io mem enable of a DSP's pcie switch port", "portioctrl", "subboard:dsp:flag", "0:1:1");
inline constexpr const char *kHelpTMediaPort = QX_MEDIA_HELP(
    "disable the port, reset the DSP and enable the port (dsp 255 : all)", "port", "subboard:dsp", "0:255");
inline constexpr const char *kHelpTMediaLpc = QX_MEDIA_HELP("LPC test of a subboard", "lpc", "subboard", "0");
inline constexpr const char *kHelpTMediaBaselpc = QX_MEDIA_HELP("LPC test of the base board", "baselpc", "0", "0");
inline constexpr const char *kHelpTMediaEcc = QX_MEDIA_HELP(
    "make an ECC image of a DSP program file", "ecc", "0xzoneaddr:0xzonelen:file", "0x80000000:0x100000:dsp.out");
inline constexpr const char *kHelpTMediaState = QX_MEDIA_HELP("path and health state of a subboard", "state", "subboard", "0");
inline constexpr const char *kHelpTMediaStep = QX_MEDIA_HELP("three step DDR test of a DSP", "step", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaDspinit =
    QX_MEDIA_HELP("mailbox init of a DSP (dsp 255 : all)", "dspinit", "subboard:dsp", "0:255");
inline constexpr const char *kHelpTMediaDspshakehand =
    QX_MEDIA_HELP("handshake with the cores of a DSP", "dspshakehand", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaDspcmd =
    QX_MEDIA_HELP("send a command to a DSP mailbox", "dspcmd", "subboard:dsp:0xcmd", "0:1:0xb0");
inline constexpr const char *kHelpTMediaDspmailreset =
    QX_MEDIA_HELP("reset the mailbox of a DSP core", "dspmailreset", "subboard:dsp:core", "0:1:0");
inline constexpr const char *kHelpTMediaM = QX_MEDIA_HELP("DDR test of a DSP", "m", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaJumpmem = QX_MEDIA_HELP("DDR jump test of a DSP", "jumpmem", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaC = QX_MEDIA_HELP("chip performance test of a DSP", "c", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaSetdspmailboxswitch = QX_MEDIA_HELP(
    "set every mailbox switch of a DSP (dsp 255 : all)", "setdspmailboxswitch", "subboard:dsp:on", "0:1:1");
inline constexpr const char *kHelpTMediaGetdspstatistic =
    QX_MEDIA_HELP("mail statistics kept by a DSP", "getdspstatistic", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaCleardspstatistic =
    QX_MEDIA_HELP("clear the mail statistics of a DSP core", "cleardspstatistic", "subboard:dsp:core", "0:1:0");
inline constexpr const char *kHelpTMediaShowlog = QX_MEDIA_HELP("print the DSP debug mail repeatedly", "showlog", "", "");
inline constexpr const char *kHelpTMediaSet =
    QX_MEDIA_HELP("install the test trans address table of a DSP", "set", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaGet =
    QX_MEDIA_HELP("print the trans address table of a DSP", "get", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaSetmailboxswitch = QX_MEDIA_HELP(
    "set a mailbox switch of a DSP core", "setmailboxswitch", "subboard:dsp:core:type:on", "0:1:0:2:1");
inline constexpr const char *kHelpTMediaGetmailboxswitch = QX_MEDIA_HELP(
    "print a mailbox switch of a DSP core", "getmailboxswitch", "subboard:dsp:core:type", "0:1:0:2");
inline constexpr const char *kHelpTMediaSetglobalmailboxswitch = QX_MEDIA_HELP(
    "set the global mailbox switch of a DSP (dsp 255 : all)", "setglobalmailboxswitch", "subboard:dsp:on", "0:255:1");
inline constexpr const char *kHelpTMediaGetglobalmailboxswitch = QX_MEDIA_HELP(
    "print the global and every mailbox switch of a DSP", "getglobalmailboxswitch", "subboard:dsp", "0:1");
inline constexpr const char *kHelpTMediaGetstatistic =
    QX_MEDIA_HELP("mailbox statistics of a DSP core", "getstatistic", "subboard:dsp:core", "0:1:0");
inline constexpr const char *kHelpTMediaClrstatistic =
    QX_MEDIA_HELP("clear the mailbox statistics of a DSP core", "clrstatistic", "subboard:dsp:core", "0:1:0");

#undef QX_MEDIA_HELP

// ---- t_acc -------------------------------------------------------------------

#define QX_ACC_HELP(title, target, form, example)                 \
    title "\r\n"                                                  \
    "\t\tusage: -- ./quorbix -t acc/" target "/" form "\r\n"      \
    "\t\texample : ./quorbix -t acc/" target "/" example

inline constexpr const char *kHelpTAccCom =
    QX_ACC_HELP("compress a file on the card", "com", "source:destination:mode", "data.txt:data.gz:wb6");
inline constexpr const char *kHelpTAccUncom =
    QX_ACC_HELP("decompress a gzip file on the card", "uncom", "source:destination:mode", "data.gz:data.txt:rb");
inline constexpr const char *kHelpTAccComperf = QX_ACC_HELP(
    "compression throughput test", "comperf", "source:destination:threads:loops", "data.txt:data.gz:4:10");
inline constexpr const char *kHelpTAccUncomperf = QX_ACC_HELP(
    "decompression throughput test", "uncomperf", "source:destination:threads:loops", "data.gz:out:4:10");
inline constexpr const char *kHelpTAccFlash = QX_ACC_HELP("check the logic image in flash 0", "flash", "0", "0");
inline constexpr const char *kHelpTAccLoop = QX_ACC_HELP("pcie DMA loop test", "loop", "seconds", "60");
inline constexpr const char *kHelpTAccDdr = QX_ACC_HELP("card DDR test", "ddr", "0:seconds", "0:60");
inline constexpr const char *kHelpTAccDft =
    QX_ACC_HELP("compress, decompress and compare data", "dft", "0:seconds", "0:60");
inline constexpr const char *kHelpTAccRdlpc = QX_ACC_HELP("read an LPC byte", "rdlpc", "0xaddr", "0x10");
inline constexpr const char *kHelpTAccWrtlpc = QX_ACC_HELP("write an LPC byte", "wrtlpc", "0xaddr:0xdata", "0x10:0x55");
inline constexpr const char *kHelpTAccVer = QX_ACC_HELP("running logic version", "ver", "0", "0");
inline constexpr const char *kHelpTAccMem =
    QX_ACC_HELP("driver memory per process (pid 0 : all)", "mem", "pid", "0");
inline constexpr const char *kHelpTAccFile =
    QX_ACC_HELP("driver memory per process (pid 0 : all)", "file", "pid", "0");
inline constexpr const char *kHelpTAccRes = QX_ACC_HELP("driver resource information", "res", "0xff", "0xff");
inline constexpr const char *kHelpTAccRd = QX_ACC_HELP("read a card register", "rd", "0xaddr", "0x100");
inline constexpr const char *kHelpTAccWrt = QX_ACC_HELP("write a card register", "wrt", "0xaddr:0xdata", "0x100:0x1");

#undef QX_ACC_HELP

#endif
