// SPDX-License-Identifier: GPL-2.0-or-later
// Loads hardsid.dll from its own folder, writes once and ends the process without freeing
// the library, as some players do.
#include <windows.h>

#include <string>

#include "hardsid/hardsid_api.h"

int main() {
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dll(path, length);
    dll = dll.substr(0, dll.find_last_of('\\') + 1) + "hardsid.dll";
    const HMODULE library = ::LoadLibraryA(dll.c_str());
    if (library == nullptr) {
        return 2;
    }
    const auto write = HARDSID_RESOLVE(library, HardSID_Write);
    if (write == nullptr) {
        return 3;
    }
    write(0, 100, 0, 1);
    return 0; // no FreeLibrary
}
