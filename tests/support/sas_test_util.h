// A SAS controller with disks and a RAID1 on the simulated board, for the
// tests of the disk tables and reports.
#ifndef QUORBIX_TESTS_SUPPORT_SAS_TEST_UTIL_H
#define QUORBIX_TESTS_SUPPORT_SAS_TEST_UTIL_H

#include <gtest/gtest.h>

#include <string>

#include "sim/fixture_file.h"

// Controller IOC at PCI bus BUS with three SAS disks (sdXa, sdXb members of
// a RAID1 of handle 0x141; sdXc alone) on PHYs 0-2; X is the letter given.
inline std::string sas_board(unsigned ioc, unsigned bus, char x, const std::string &volumeState = "5 0")
{
    std::string i = std::to_string(ioc), pci = "0000:0" + std::to_string(bus) + ":00.0";
    std::string s = "mpt-ioc " + i + " pci=" + pci + " device=0x72 revision=3 sas=0x500605b00000000" + i + "\n" +
                    "mpt-phy " + i + " 0 10 0 0 0 0\nmpt-phy " + i + " 1 9 1 2 3 4\n";
    const char *serials[] = {"SER-A", "SER-B", "SER-C"};
    for (int k = 0; k < 3; k++) {
        std::string sd = std::string("sd") + x + static_cast<char>('a' + k);
        std::string sg = std::string("sg") + x + std::to_string(k);
        std::string h = std::to_string(9 + k);
        s += "disk-add " + sd + " " + sg + " sas pci=" + pci + " target=" + h + "\n";
        s += "disk-inquiry " + sd + " \"SEAGATE\" \"ST600MM0006\" \"0001\"\n";
        s += "disk-serial " + sd + " " + serials[k] + "\n";
        s += "disk-capacity " + sd + " 2097152 512\n";
        s += "sas-disk " + i + " " + h + " " + sd + " 1 " + std::to_string(k) + " " + std::to_string(k + 4) + " 0 " +
             h + "\n";
    }
    s += "sas-volume " + i + " 0x141 2 " + volumeState + " 2097151 512 64 0x600508b1001c2a3b 100 25 1:1:9:3 2:2:10:3\n";
    return s;
}

inline void sas_apply(const std::string &facts)
{
    std::string err;
    ASSERT_TRUE(sim_fixture_apply(facts, "(test)", err)) << err;
}

#endif
