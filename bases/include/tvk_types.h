// Status codes of the PCI access library and the SMBIOS reader: 0 for
// success, one of these for a failure. Each operation states which it gives.
#ifndef QUORBIX_BASES_INCLUDE_TVK_TYPES_H
#define QUORBIX_BASES_INCLUDE_TVK_TYPES_H

enum TvkCode : int {
    TVK_OK = 0,
    TVK_E_EXT_WALK = -900,      // a configuration read failed during the extended-capability walk
    TVK_E_EXT_READ = -901,      // extended-space block read failed; first extended header 0; full name unformattable
    TVK_E_NAME_ROOM = -903,     // the caller's buffer is too small for the device name
    TVK_E_NULL = -904,          // a required pointer is NULL; a device-list node could not be allocated
    TVK_E_DEVICES_PATH = -905,  // the path of "devices" under "/proc/bus/pci" did not fit
    TVK_E_INVAL = -906,         // misaligned offset, block outside configuration space, bad index, length or count
    TVK_E_RANGE = -907,         // not found or out of range
    TVK_E_OPEN = -908,          // a file or node could not be opened
    TVK_E_IO = -909,            // a read, write or driver transfer failed; short device-list line; BAR transfer
    TVK_E_SHORT = -910,         // a transfer moved fewer bytes than asked; unparsable resource line
    TVK_E_PATH = -911,          // a configuration-file or resource-file path could not be formatted
    TVK_E_NO_CAPS = -912,       // the function has no capability list
    TVK_E_NO_CAP = -913,        // the capability is not in the list
    TVK_E_CAP_LOOP = -914,      // the capability list loops
    TVK_E_CAP_BROKEN = -915,    // next pointer 0xFF or not a multiple of 4
    TVK_E_CAP_BAD = -916,       // invalid capability pointer or extended-capability header
    TVK_E_BRIDGES = -917,       // two bridges claim the same secondary bus
    TVK_E_NOT_PCIE = -918,      // the function is not PCI Express
    TVK_E_MAP_OPEN = -920,      // the file to be memory-mapped could not be opened
    TVK_E_MAP = -921,           // the memory mapping failed
    TVK_E_MEM_OPEN = -952,      // "/dev/mem" could not be opened
    TVK_E_MEM_MAP = -953,       // "/dev/mem" could not be mapped
    TVK_E_NO_ENTRY = -954,      // no SMBIOS entry point found
    TVK_E_SMB_ROOM = -955,      // buffer too small, or the table buffer could not be allocated
    TVK_E_SMB_STRINGS = -958,   // malformed SMBIOS string set
    TVK_E_SMB_WALK = -959,      // string walk past its end, unknown index or selector, not present, not specified
    TVK_E_SMB_NULL = -960,      // a required pointer of an SMBIOS operation is NULL
    TVK_E_SMB_TYPE = -961,      // the SMBIOS structure type is not present
};

#endif
