#include "sim/pci_ids.h"

#include <string>

#include "sim/pci_bus.h"

namespace {

constexpr std::string_view kIds = "#\n"
                                  "# PCI ID file of the simulated default board\n"
                                  "#\n"
                                  "10b5  PLX Technology, Inc.\n"
                                  "\t8714  PEX 8714 12-lane switch port\n"
                                  "10ee  Xilinx Corporation\n"
                                  "\t7021  Trans packet FPGA\n"
                                  "\t\t10ee 0007  Trans packet FPGA card\n"
                                  "\t7022  Sbuf packet FPGA\n"
                                  "\t\t10ee 0007  Sbuf packet FPGA card\n"
                                  "8086  Intel Corporation\n"
                                  "\t1d41  LPC controller\n"
                                  "\t3c00  Processor DMI2 host bridge\n"
                                  "\t3c02  Processor PCI Express root port 1a\n"
                                  "\t3c04  Processor PCI Express root port 2a\n"
                                  "\t3c08  Processor PCI Express root port 3a\n"
                                  "\t3c2a  Processor RAS and error registers\n"
                                  "\n"
                                  "# List of known device classes, subclasses and programming interfaces\n"
                                  "C 05  Memory controller\n"
                                  "\t80  Memory controller\n"
                                  "C 06  Bridge\n"
                                  "\t00  Host bridge\n"
                                  "\t01  ISA bridge\n"
                                  "\t04  PCI bridge\n"
                                  "\t\t00  Normal decode\n"
                                  "C 08  Generic system peripheral\n"
                                  "\t80  System peripheral\n";

// A fact line's double-quoted text.
std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out + "\"";
}

} // namespace

std::string_view pci_default_ids() { return kIds; }

const char *pci_default_facts()
{
    static const std::string facts =
        std::string(pci_default_tree()) + "\nfile /usr/share/pci.ids " + quoted(kIds) + "\n";
    return facts.c_str();
}

const char *pci_host_bridge_facts()
{
    static const std::string facts = [] {
        const std::string_view tree = pci_default_tree();
        const size_t from = tree.find("00:00.0 ");
        const size_t to = tree.find("\n\n", from);
        return std::string(tree.substr(from, to == std::string_view::npos ? to : to - from + 1));
    }();
    return facts.c_str();
}
