// SPDX-License-Identifier: GPL-2.0-or-later
// Opens the settings window as the tray icon does, on the page asked for, and saves a picture
// of it as a 24-bit BMP. Usage: settings_snapshot PAGE(0|1) OUT.bmp
// The settings come from a key of their own under HKEY_CURRENT_USER, not the real one.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "resources/resource_ids.h"
#include "settings_frm/win32/settings_form.h"

namespace {

constexpr const char* kSnapshotKey = "Software\\hardsid-snapshot\\";

bool SaveBitmap(HWND window, const char* path) {
    RECT frame{};
    ::GetWindowRect(window, &frame);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    ::SelectObject(memory, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const int row = (width * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<size_t>(row * height));
    ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: settings_snapshot PAGE OUT.bmp\n");
        return 2;
    }
    const int page = std::atoi(argv[1]);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\hardsid-snapshot");
    const hardsid::win32::TSettingsStore store(HKEY_CURRENT_USER, kSnapshotKey);
    store.WriteSetting(hardsid::win32::kSettingMidiOut, 1);
    store.WriteSetting(hardsid::win32::kSettingReopenMidi, 1);

    bool saved = false;
    {
        hardsid::TfrmSettings form(store);
        const HWND dialog = form.Handle();
        std::thread user([&] {
            while (!::IsWindowVisible(dialog)) {
                ::Sleep(20);
            }
            ::SendMessageA(form.Control(IDC_PAGES), TCM_SETCURFOCUS, static_cast<WPARAM>(page), 0);
            ::Sleep(700); // let it paint
            saved = SaveBitmap(dialog, argv[2]);
            ::PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        });
        ::SendMessageA(form.tray->Window(), hardsid::TCiaTray::kCallbackMessage, hardsid::TCiaTray::kIconId, WM_LBUTTONUP);
        user.join();
    }
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\hardsid-snapshot");
    if (!saved) {
        std::fprintf(stderr, "could not save %s\n", argv[2]);
        return 1;
    }
    return 0;
}
