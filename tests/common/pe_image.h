// SPDX-License-Identifier: GPL-2.0-or-later
// Reads the export and import tables of a Windows PE file (32- or 64-bit) from its bytes,
// so that the DLL of either architecture can be checked on any host.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace hardsid::test {

struct PeExport {
    uint32_t ordinal;
    uint32_t address; // relative virtual address of the code
    std::string name; // empty for an export by ordinal only
};

struct PeImage {
    uint16_t machine = 0; // 0x14C i386, 0x8664 x86-64
    std::string moduleName;
    std::vector<PeExport> exports;
    std::vector<std::string> importedDlls;
};

/// Parses a PE file; throws std::runtime_error with the reason for a malformed one.
PeImage ReadPeImage(const std::vector<uint8_t>& file);
std::vector<uint8_t> ReadFileBytes(const std::string& path);

} // namespace hardsid::test
