// SPDX-License-Identifier: GPL-2.0-or-later
#include "hardsid_under_test.h"

#include <vector>

namespace hardsid::bench {

namespace {

template <typename Function>
Function Resolve(HMODULE module, const char* name) {
    const FARPROC address = ::GetProcAddress(module, name);
    if (address == nullptr) {
        throw std::runtime_error(HardSidPath() + " has no entry point " + name);
    }
    // Through void(*)(), which converts to any function pointer without a type warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

} // namespace

std::string ProgramFolder() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            throw std::runtime_error("cannot find this program's folder");
        }
        if (length < buffer.size()) {
            const std::string path(buffer.data(), length);
            return path.substr(0, path.find_last_of("\\/") + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string HardSidPath() { return ProgramFolder() + "hardsid.dll"; }

HardSidUnderTest::HardSidUnderTest() {
    module_ = ::LoadLibraryA(HardSidPath().c_str());
    if (module_ == nullptr) {
        throw std::runtime_error("cannot load " + HardSidPath() + " (error " + std::to_string(::GetLastError()) + ")");
    }
    try {
        calls_.HardSID_Read = Resolve<decltype(calls_.HardSID_Read)>(module_, "HardSID_Read");
        calls_.HardSID_Write = Resolve<decltype(calls_.HardSID_Write)>(module_, "HardSID_Write");
        calls_.HardSID_Delay = Resolve<decltype(calls_.HardSID_Delay)>(module_, "HardSID_Delay");
        calls_.SetDebug = Resolve<decltype(calls_.SetDebug)>(module_, "SetDebug");
    } catch (...) {
        ::FreeLibrary(module_);
        throw;
    }
}

HardSidUnderTest::~HardSidUnderTest() { ::FreeLibrary(module_); }

ScriptedWinmm::ScriptedWinmm() {
    // Stays loaded for the whole run, as the library will find it there when it loads.
    if (const HMODULE winmm = ::LoadLibraryA("winmm.dll")) {
        if (const FARPROC address = ::GetProcAddress(winmm, "double_Configure")) {
            configure_ = reinterpret_cast<decltype(configure_)>(reinterpret_cast<void (*)()>(address));
        }
    }
}

bool ScriptedWinmm::Configure(const std::string& settings) const {
    return configure_ != nullptr && configure_(settings.c_str()) == 0;
}

} // namespace hardsid::bench
