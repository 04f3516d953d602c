// SPDX-License-Identifier: GPL-2.0-or-later
// hardsid-settings.exe as a console player's user runs it: the settings window opens at
// once, and closing it ends the program, which unloads the library.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "child_process.h"

namespace hardsid::test {
namespace {

constexpr const char* kSettingsCaption = "Fennick";
constexpr DWORD kLimitMs = 30'000;

struct Search {
    DWORD process;
    HWND found = nullptr;
};

BOOL CALLBACK FindVisibleSettings(HWND window, LPARAM search) {
    auto& s = *reinterpret_cast<Search*>(search);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    char text[32] = {};
    ::GetWindowTextA(window, text, sizeof text);
    if (process == s.process && ::IsWindowVisible(window) && std::string(text) == kSettingsCaption) {
        s.found = window;
        return FALSE;
    }
    return TRUE;
}

/// The child's visible settings window, waited for up to the limit.
HWND WaitForSettingsWindow(DWORD process) {
    for (DWORD waited = 0; waited < kLimitMs; waited += 50) {
        Search search{process};
        ::EnumWindows(&FindVisibleSettings, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            return search.found;
        }
        ::Sleep(50);
    }
    return nullptr;
}

// Started, the program shows the settings window by itself; closed by the close command or by
// Escape, the window goes and the program ends with 0, having freed the library (its log ends).
TEST(SettingsProgram, OpensTheSettingsWindowAndEndsWhenItCloses) {
    struct Case {
        const char* how;
        UINT message;
        WPARAM wParam;
    };
    const Case cases[] = {{"close", WM_CLOSE, 0}, {"escape", WM_KEYDOWN, VK_ESCAPE}};
    ::SetEnvironmentVariableA("WINMM_DOUBLE_CONFIG", "device ASID receiver");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        const std::string folder = ProgramFolder() + "settings-program-" + c.how;
        ::CreateDirectoryA(folder.c_str(), nullptr);
        ::DeleteFileA((folder + "\\hardsid.log").c_str());
        ChildProcess child("hardsid-settings.exe", "", folder, folder + "\\output.txt");
        ASSERT_TRUE(child.Started());
        const HWND window = WaitForSettingsWindow(child.Id());
        ASSERT_NE(window, nullptr) << "no settings window appeared";
        EXPECT_FALSE(child.Wait(0).has_value()) << "the program must wait for the user";
        ::PostMessageA(window, c.message, c.wParam, 0);
        EXPECT_EQ(child.Wait(kLimitMs), std::optional<DWORD>(0)) << "the program did not end with its window";
        EXPECT_FALSE(::IsWindow(window));
        const std::string log = ReadFileText(folder + "\\hardsid.log");
        EXPECT_NE(log.find("log end"), std::string::npos) << "the library was not unloaded:\n" << log;
    }
    ::SetEnvironmentVariableA("WINMM_DOUBLE_CONFIG", nullptr);
}

} // namespace
} // namespace hardsid::test
