// SPDX-License-Identifier: GPL-2.0-or-later
// The built DLLs of both architectures, read as files: 24 exports at ordinals 1 to 24 with
// their plain names, HardSID_Write also at 16, and imports of system libraries only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "tests/common/dll_tables.h"

namespace hardsid::test {
namespace {

// HARDSID_DLLS lists the built DLLs, separated by ':'; scripts/test.sh sets it.
std::vector<std::string> BuiltDlls() {
    std::vector<std::string> paths;
    const char* list = std::getenv("HARDSID_DLLS");
    std::stringstream stream(list != nullptr ? list : "");
    for (std::string path; std::getline(stream, path, ':');) {
        if (!path.empty()) {
            paths.push_back(path);
        }
    }
    return paths;
}

TEST(DllFiles, ExportAndImportTables) {
    const auto paths = BuiltDlls();
    if (paths.empty()) {
        GTEST_SKIP() << "HARDSID_DLLS names no built DLL";
    }
    std::set<uint16_t> machines;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const PeImage image = ReadPeImage(ReadFileBytes(path));
        machines.insert(image.machine);
        ExpectHardsidTables(image);
    }
    EXPECT_EQ(machines.size(), paths.size()) << "one DLL per architecture";
}

TEST(PeImage, RefusesWhatIsNoPeFile) {
    const std::vector<std::vector<uint8_t>> bad = {{}, {'M', 'Z'}, std::vector<uint8_t>(256, 0)};
    for (const auto& bytes : bad) {
        EXPECT_THROW(ReadPeImage(bytes), std::runtime_error);
    }
}

} // namespace
} // namespace hardsid::test
