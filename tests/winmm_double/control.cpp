// SPDX-License-Identifier: GPL-2.0-or-later
// Setting the double up: from the environment at load, from a test through two extra
// exports, and the leak report at unload.
#include <string>

#include "driver.h"
#include "record.h"

namespace winmm_double {
namespace {

// Configuration text from WINMM_DOUBLE_CONFIG: the text itself, or "@path" of a file.
std::string ConfigFromEnvironment() {
    char value[4096];
    const DWORD length = ::GetEnvironmentVariableA("WINMM_DOUBLE_CONFIG", value, sizeof value);
    if (length == 0 || length >= sizeof value) {
        return {};
    }
    if (value[0] != '@') {
        return std::string(value, length);
    }
    std::string text;
    const HANDLE file = ::CreateFileA(value + 1, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "unreadable configuration file"; // fails to parse, which the record shows
    }
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    ::CloseHandle(file);
    return text;
}

std::string RecordFromEnvironment() {
    char value[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableA("WINMM_DOUBLE_RECORD", value, sizeof value);
    return length == 0 || length >= sizeof value ? std::string() : std::string(value, length);
}

} // namespace

Driver& TheDriver() noexcept {
    static Driver driver;
    return driver;
}

} // namespace winmm_double

using namespace winmm_double;

extern "C" {

/// Replaces the configuration with text (README.md); 0, or the number of the first bad
/// setting, in which case nothing changes. Open devices stay open.
int WINAPI double_Configure(const char* text) {
    Driver& driver = TheDriver();
    Config config;
    const int bad = ParseConfig(text == nullptr ? "" : text, config);
    if (bad == 0) {
        if (config.recordPath) {
            TheRecord().Open(*config.recordPath);
        }
        Lock lock(driver);
        driver.config = std::move(config);
    }
    Line("configure").Number("devices", static_cast<int64_t>(driver.config.devices.size())).Number("result", bad);
    return bad;
}

/// Writes the leak lines into the record now and gives the number of leaks: headers
/// prepared and never unprepared, handles never closed.
int WINAPI double_ReportLeaks(void) {
    Driver& driver = TheDriver();
    Lock lock(driver);
    return ReportLeaks(driver);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    Driver& driver = TheDriver();
    if (reason == DLL_PROCESS_ATTACH) {
        LARGE_INTEGER frequency;
        ::QueryPerformanceFrequency(&frequency);
        driver.frequency = frequency.QuadPart;
        const std::string record = RecordFromEnvironment();
        if (!record.empty()) {
            TheRecord().Open(record);
        }
        const std::string config = ConfigFromEnvironment();
        if (!config.empty()) {
            double_Configure(config.c_str());
        }
    } else if (reason == DLL_PROCESS_DETACH) {
        // At process exit the other threads are gone, one of them perhaps holding the lock:
        // then the report is skipped rather than waited for.
        bool locked = true;
        if (reserved == nullptr) {
            ::AcquireSRWLockExclusive(&driver.lock);
        } else {
            locked = ::TryAcquireSRWLockExclusive(&driver.lock);
        }
        if (locked) {
            ReportLeaks(driver);
            ::ReleaseSRWLockExclusive(&driver.lock);
        }
        TheRecord().Close();
    }
    return TRUE;
}

} // extern "C"
