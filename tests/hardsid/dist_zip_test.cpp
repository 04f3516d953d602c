// SPDX-License-Identifier: GPL-2.0-or-later
// The zips for users, read as a user gets them: for each built DLL, the zip named after the
// version in the DLL's version resource and its architecture, holding that very DLL, the
// licence and the instructions, all text with Windows line ends.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/pe_image.h"

namespace hardsid::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Split(const char* list) {
    std::vector<std::string> parts;
    std::stringstream stream(list != nullptr ? list : "");
    for (std::string part; std::getline(stream, part, ':');) {
        if (!part.empty()) {
            parts.push_back(part);
        }
    }
    return parts;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t{bytes[at + 3]} << 24;
}

// "major.minor.patch" from the fixed part of the version resource (signature FEEF04BD).
std::string FixedFileVersion(const std::vector<uint8_t>& dll) {
    for (size_t at = 0; at + 16 <= dll.size(); at += 4) {
        if (Le32(dll, at) == 0xFEEF04BDu) {
            const uint32_t ms = Le32(dll, at + 8), ls = Le32(dll, at + 12);
            return std::to_string(ms >> 16) + '.' + std::to_string(ms & 0xFFFF) + '.' + std::to_string(ls >> 16);
        }
    }
    return {};
}

// Every line ends with \r\n, and the text is the source's with those line ends.
std::string WithWindowsLineEnds(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

bool AllLinesEndWithCrLf(const std::string& text) {
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
        if (at == 0 || text[at - 1] != '\r') {
            return false;
        }
    }
    return !text.empty() && text.back() == '\n';
}

TEST(DistZip, HoldsTheBuiltDllTheLicenceAndTheInstructions) {
    const std::vector<std::string> dlls = Split(std::getenv("HARDSID_DLLS"));
    const char* distDir = std::getenv("HARDSID_DIST_DIR");
    if (dlls.empty() || distDir == nullptr) {
        GTEST_SKIP() << "HARDSID_DLLS or HARDSID_DIST_DIR is not set";
    }
    for (const std::string& dllPath : dlls) {
        SCOPED_TRACE(dllPath);
        const std::vector<uint8_t> dll = ReadFileBytes(dllPath);
        const PeImage image = ReadPeImage(dll);
        const bool is32 = image.machine == 0x14C;
        const std::string version = FixedFileVersion(dll);
        ASSERT_FALSE(version.empty()) << "no version resource";
        const fs::path zip = fs::path(distDir) / ("hardsid-" + version + (is32 ? "-win32.zip" : "-win64.zip"));
        ASSERT_TRUE(fs::exists(zip)) << zip;

        char name[] = "/tmp/dist_zip_test.XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        const fs::path unpacked = name;
        const std::string unpack = std::string("cd '") + name + "' && '" HARDSID_CMAKE_COMMAND "' -E tar xf '" +
                                   zip.string() + "'";
        ASSERT_EQ(std::system(unpack.c_str()), 0) << unpack;

        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(unpacked)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"LICENSE.txt", "README.txt", "hardsid-settings.exe", "hardsid.dll"}));
        EXPECT_EQ(ReadPeImage(ReadFileBytes((unpacked / "hardsid-settings.exe").string())).machine, image.machine)
            << "the settings program of the DLL's architecture";

        EXPECT_TRUE(ReadFileBytes((unpacked / "hardsid.dll").string()) == dll) << "not the built DLL";
        EXPECT_EQ(ReadText(unpacked / "LICENSE.txt"), WithWindowsLineEnds(ReadText(HARDSID_SOURCE_DIR "/LICENSE")));

        const std::string readme = ReadText(unpacked / "README.txt");
        EXPECT_TRUE(AllLinesEndWithCrLf(readme));
        EXPECT_EQ(readme.rfind("hardsid.dll " + version + (is32 ? ", 32-bit" : ", 64-bit"), 0), 0u) << readme;
        for (const char* needed : {"player's folder", "\"Try to reopen the",
                                   "\"Aggressive timing\"", "HKEY_LOCAL_MACHINE", "LICENSE.txt"}) {
            EXPECT_NE(readme.find(needed), std::string::npos) << needed;
        }
        EXPECT_EQ(readme.find('`'), std::string::npos) << "Markdown left in the text";
        fs::remove_all(unpacked);
    }
}

} // namespace
} // namespace hardsid::test
