// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardsid_library.h"

#include <vector>

namespace hardsid::replay {

namespace {

constexpr const char* kLibraryName = "hardsid.dll";

std::string SystemErrorText(DWORD code) {
    char* text = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length != 0 ? std::string(text, length) : "unknown error";
    ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message + " (error " + std::to_string(code) + ")";
}

std::string ProgramFolder() {
    // The path can be longer than MAX_PATH: grow until it fits.
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            throw LibraryError(kExitLibraryNotLoaded, "cannot find this program's folder: " +
                                                          SystemErrorText(::GetLastError()));
        }
        if (length < buffer.size()) {
            std::string path(buffer.data(), length);
            return path.substr(0, path.find_last_of("\\/") + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

template <typename Function>
void Resolve(HMODULE module, const std::string& path, const char* name, Function& function) {
    const FARPROC address = ::GetProcAddress(module, name);
    if (address == nullptr) {
        throw LibraryError(kExitEntryPointMissing, path + " has no entry point " + name);
    }
    // Through void(*)(), which converts to any function pointer without a type warning.
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

} // namespace

HardSidLibrary HardSidLibrary::LoadBesideProgram() {
    HardSidLibrary library;
    library.path_ = ProgramFolder() + kLibraryName;
    library.module_.reset(::LoadLibraryA(library.path_.c_str()));
    const DWORD loadError = ::GetLastError();
    if (!library.module_) {
        throw LibraryError(kExitLibraryNotLoaded, "cannot load " + library.path_ + ": " + SystemErrorText(loadError));
    }
    const HMODULE module = library.module_.get();
    HardSidEntryPoints& calls = library.calls_;
    const std::string& path = library.path_;
    Resolve(module, path, "InitHardSID_Mapper", calls.InitHardSID_Mapper);
    Resolve(module, path, "HardSID_Version", calls.HardSID_Version);
    Resolve(module, path, "HardSID_Devices", calls.HardSID_Devices);
    Resolve(module, path, "HardSID_Lock", calls.HardSID_Lock);
    Resolve(module, path, "HardSID_Flush", calls.HardSID_Flush);
    Resolve(module, path, "HardSID_Write", calls.HardSID_Write);
    Resolve(module, path, "HardSID_Delay", calls.HardSID_Delay);
    Resolve(module, path, "HardSID_Unlock", calls.HardSID_Unlock);
    Resolve(module, path, "GetHardSIDCount", calls.GetHardSIDCount);
    Resolve(module, path, "HardSID_SoftFlush", calls.HardSID_SoftFlush);
    Resolve(module, path, "HardSID_Read", calls.HardSID_Read);
    Resolve(module, path, "HardSID_Reset2", calls.HardSID_Reset2);
    Resolve(module, path, "HardSID_Sync", calls.HardSID_Sync);
    Resolve(module, path, "MuteHardSID_Line", calls.MuteHardSID_Line);
    return library;
}

} // namespace hardsid::replay
