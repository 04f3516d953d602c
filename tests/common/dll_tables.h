// SPDX-License-Identifier: GPL-2.0-or-later
// What every build of hardsid.dll must show in its export and import tables.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "pe_image.h"

namespace hardsid::test {

/// The 24 entry points by ordinal; HardSID_Write also answers at 16.
inline const char* const kExportNames[24] = {
    "InitHardSID_Mapper", "ReadFromHardSID", "MuteHardSID_Line", "WriteToHardSID", "GetHardSIDCount",
    "SetDebug",           "HardSID_Delay",   "HardSID_SoftFlush", "HardSID_Flush", "HardSID_Write",
    "HardSID_Devices",    "HardSID_Filter",  "HardSID_Mute",     "HardSID_MuteAll", "HardSID_Version",
    "HardSID_Write",      "HardSID_Sync",    "HardSID_Read",     "HardSID_Reset",  "HardSID_Mute2",
    "HardSID_Reset2",     "HardSID_Unlock",  "HardSID_Lock",     "setCaption"};

inline void ExpectHardsidTables(const PeImage& image) {
    EXPECT_EQ(image.moduleName, "hardsid.dll");
    ASSERT_EQ(image.exports.size(), 24u);
    uint32_t writeAddress = 0;
    for (const PeExport& exported : image.exports) {
        SCOPED_TRACE(exported.ordinal);
        ASSERT_GE(exported.ordinal, 1u);
        ASSERT_LE(exported.ordinal, 24u);
        if (exported.ordinal == 16) {
            EXPECT_TRUE(exported.name.empty() || exported.name == "HardSID_Write");
        } else {
            EXPECT_EQ(exported.name, kExportNames[exported.ordinal - 1]);
        }
        if (exported.ordinal == 10) {
            writeAddress = exported.address;
        }
    }
    const auto sixteen = std::find_if(image.exports.begin(), image.exports.end(), [](const PeExport& e) { return e.ordinal == 16; });
    ASSERT_NE(sixteen, image.exports.end());
    EXPECT_EQ(sixteen->address, writeAddress) << "ordinals 10 and 16 lead to one entry point";

    // The DLL ships alone: only libraries that every Windows has.
    const std::set<std::string> system = {"advapi32.dll", "comctl32.dll", "gdi32.dll",  "kernel32.dll",
                                          "msvcrt.dll",   "shell32.dll",  "user32.dll", "winmm.dll"};
    for (std::string dll : image.importedDlls) {
        std::transform(dll.begin(), dll.end(), dll.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        EXPECT_TRUE(system.count(dll) == 1) << "imports " << dll;
    }
}

} // namespace hardsid::test
