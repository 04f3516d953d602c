// SPDX-License-Identifier: GPL-2.0-or-later
// Hidden windows: their handler, no class of their own, and destruction from another thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "midi_test_support.h"
#include "win32/hidden_window.h"

namespace hardsid::win32 {
namespace {

constexpr const char* kClass = "HiddenWindowTestClass";

// A window's name was once its own class's name: no such class may be registered, ever.
bool ClassRegistered() {
    WNDCLASSEXA info{};
    info.cbSize = sizeof info;
    return ::GetClassInfoExA(OwnModule(), kClass, &info) != FALSE;
}

std::string TitleOf(HWND window) {
    char text[64] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

class CountingHandler final : public IWindowHandler {
public:
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept override {
        if (message == WM_APP) {
            ++received;
            return 0;
        }
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    }
    int received = 0;
};

// Posted messages reach the handler kept with the window, on the window's thread.
TEST(HiddenWindow, HandsPostedMessagesToItsHandler) {
    CountingHandler handler;
    THiddenWindow window(kClass, handler);
    ASSERT_TRUE(window);
    EXPECT_FALSE(::IsWindowVisible(window.get()));
    ::PostMessageA(window.get(), WM_APP, 0, 0);
    ::PostMessageA(window.get(), WM_APP, 0, 0);
    EXPECT_TRUE(test::PumpUntil([&] { return handler.received == 2; }));
}

// No class of ours is registered, however many windows come and go; each window carries its
// name as its title and is made by this module.
TEST(HiddenWindow, RegistersNoClassOfItsOwn) {
    CountingHandler handler;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        THiddenWindow first(kClass, handler);
        THiddenWindow second(kClass, handler);
        EXPECT_FALSE(ClassRegistered());
        EXPECT_EQ(TitleOf(first.get()), kClass);
        EXPECT_EQ(reinterpret_cast<HMODULE>(::GetWindowLongPtrA(first.get(), GWLP_HINSTANCE)), OwnModule());
        first.reset();
        EXPECT_TRUE(::IsWindow(second.get()));
        second.reset();
        EXPECT_FALSE(ClassRegistered());
    }
}

// A move hands the window over: the moved-from object destroys nothing.
TEST(HiddenWindow, MovesHandTheWindowOver) {
    CountingHandler handler;
    THiddenWindow first(kClass, handler);
    const HWND window = first.get();
    THiddenWindow second(std::move(first));
    EXPECT_FALSE(first);
    first.reset();
    EXPECT_TRUE(::IsWindow(window));
    second = THiddenWindow();
    EXPECT_FALSE(::IsWindow(window));
}

// Destruction from a thread that does not own the window returns at once; the window's own
// thread later destroys it with default handling, and nothing more reaches the handler.
TEST(HiddenWindow, ResetFromAnotherThreadNeitherHangsNorKeepsTheHandler) {
    CountingHandler handler;
    THiddenWindow window;
    const HANDLE made = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE reset = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND hwnd = nullptr;
    bool gone = false;
    std::thread owner([&] {
        window = THiddenWindow(kClass, handler);
        hwnd = window.get();
        ::PostMessageA(hwnd, WM_APP, 0, 0); // waits in the queue until after the reset
        ::SetEvent(made);
        ::WaitForSingleObject(reset, INFINITE);
        gone = test::PumpUntil([&] { return !::IsWindow(hwnd); });
    });
    ::WaitForSingleObject(made, INFINITE);
    window.reset();
    EXPECT_TRUE(::IsWindow(hwnd)) << "only its own thread can destroy it";
    ::SetEvent(reset);
    owner.join();
    EXPECT_TRUE(gone);
    EXPECT_EQ(handler.received, 0) << "the queued message went to the default procedure";
    ::CloseHandle(made);
    ::CloseHandle(reset);

    // Nothing of ours was registered for the window that outlived its owner object.
    EXPECT_FALSE(ClassRegistered());
}

} // namespace
} // namespace hardsid::win32
