// SPDX-License-Identifier: GPL-2.0-or-later
// Opens hardsid.dll's settings window for the user of a console player, whose thread never
// dispatches the tray icon's messages: loads the library from this program's folder, hands
// the tray icon its own click notice, dispatches messages while the window is open, and ends
// when it closes.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "resources/window_contract.h"

namespace {

constexpr const char* kTitle = "hardsid-settings";
constexpr const char* kLibraryName = "hardsid.dll";
using hardsid::kSettingsCaption;
using hardsid::kTrayWindowTitle;
constexpr UINT kTrayNotice = hardsid::kTrayCallbackMessage;
constexpr int kExitFailed = 1;

std::string ProgramFolder() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            const std::string path(buffer.data(), length);
            return path.substr(0, path.find_last_of("\\/") + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

int Fail(const std::string& text) {
    ::MessageBoxA(nullptr, text.c_str(), kTitle, MB_OK | MB_ICONERROR);
    return kExitFailed;
}

struct ThreadWindows {
    HWND tray = nullptr;
    HWND settings = nullptr;
};

BOOL CALLBACK FindWindows(HWND window, LPARAM found) {
    auto& windows = *reinterpret_cast<ThreadWindows*>(found);
    char text[64] = {};
    if (::GetWindowTextA(window, text, sizeof text) > 0) {
        if (std::strcmp(text, kTrayWindowTitle) == 0) {
            windows.tray = window;
        } else if (std::strcmp(text, kSettingsCaption) == 0) {
            windows.settings = window;
        }
    }
    return TRUE;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const std::string path = ProgramFolder() + kLibraryName;
    const HMODULE library = ::LoadLibraryA(path.c_str());
    if (library == nullptr) {
        return Fail("Cannot load " + path + " (error " + std::to_string(::GetLastError()) +
                    "). Keep this program in the folder of the player's hardsid.dll.");
    }
    // The library made its windows on this thread while it loaded.
    ThreadWindows windows;
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindWindows, reinterpret_cast<LPARAM>(&windows));
    if (windows.tray == nullptr || windows.settings == nullptr) {
        ::FreeLibrary(library);
        return Fail(path + " has no settings window: it is not this project's library.");
    }

    // A click on the icon opens the window and keeps it until the user closes it; the message
    // is dispatched here like any other, so the icon goes on answering meanwhile.
    ::PostMessageA(windows.tray, kTrayNotice, 0, WM_LBUTTONUP);
    int exitCode = 0;
    MSG message{};
    for (;;) {
        const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            exitCode = got == 0 ? static_cast<int>(message.wParam) : kExitFailed;
            break;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
        const bool click = message.hwnd == windows.tray && message.message == kTrayNotice;
        if (click || !::IsWindow(windows.settings)) {
            break; // the window has been open and is closed again
        }
    }
    ::FreeLibrary(library);
    return exitCode;
}
