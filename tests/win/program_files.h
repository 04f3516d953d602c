// SPDX-License-Identifier: GPL-2.0-or-later
// Files beside the test program: its folder, and a file read whole.
#pragma once

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

namespace hardsid::test {

/// This test program's folder, with a trailing backslash.
inline std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path, length);
    return program.substr(0, program.find_last_of('\\') + 1);
}

/// The whole file as bytes; empty when it cannot be read.
inline std::string ReadFileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

} // namespace hardsid::test
