// SPDX-License-Identifier: GPL-2.0-or-later
// The tray icon: the record handed to the notification area, clicks turned into events,
// and removal when the component goes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "uCiaTrayIcon/cia_tray.h"

namespace hardsid {
namespace {

struct NotifyCall {
    DWORD message;
    NOTIFYICONDATAA record;
};
std::vector<NotifyCall> notifyCalls;

BOOL WINAPI RecordNotify(DWORD message, PNOTIFYICONDATAA record) {
    notifyCalls.push_back({message, *record});
    return TRUE;
}

class TrayTest : public ::testing::Test {
protected:
    void SetUp() override { notifyCalls.clear(); }

    /// What the notification area sends when the mouse acts on the icon.
    static void Mouse(const TCiaTray& tray, UINT mouseMessage) {
        ::SendMessageA(tray.Window(), TCiaTray::kCallbackMessage, TCiaTray::kIconId, mouseMessage);
    }
};

TEST_F(TrayTest, AddIconHandsTheFirstVersionRecordToTheShell) {
    {
        TCiaTray tray(nullptr, &RecordNotify);
        tray.Icon = ::LoadIconA(nullptr, IDI_APPLICATION);
        tray.AddIcon();
        ASSERT_EQ(notifyCalls.size(), 1u);
        const NOTIFYICONDATAA& added = notifyCalls[0].record;
        EXPECT_EQ(notifyCalls[0].message, static_cast<DWORD>(NIM_ADD));
        EXPECT_EQ(added.cbSize, static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE));
        EXPECT_EQ(added.hWnd, tray.Window());
        EXPECT_EQ(added.uID, 57051u);
        EXPECT_EQ(added.uFlags, 7u);
        EXPECT_EQ(added.uCallbackMessage, 0x401u);
        EXPECT_EQ(added.hIcon, tray.Icon);
        EXPECT_STREQ(added.szTip, "tray_tests") << "an empty hint becomes the program's title";
    }
    ASSERT_EQ(notifyCalls.size(), 2u);
    EXPECT_EQ(notifyCalls[1].message, static_cast<DWORD>(NIM_DELETE)) << "the icon goes with the component";
    EXPECT_EQ(notifyCalls[1].record.uID, 57051u);
}

// A restarted shell broadcasts "TaskbarCreated" to every top-level window and knows no icon
// of ours: the icon is added again, with the same record, and removed once at the end.
TEST_F(TrayTest, IconComesBackWhenTheShellRestarts) {
    const UINT taskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
    ASSERT_NE(taskbarCreated, 0u);
    {
        TCiaTray tray(nullptr, &RecordNotify);
        EXPECT_EQ(::GetAncestor(tray.Window(), GA_PARENT), ::GetDesktopWindow()) << "top-level: the broadcast reaches it";
        ::SendMessageA(tray.Window(), taskbarCreated, 0, 0);
        EXPECT_TRUE(notifyCalls.empty()) << "no icon before AddIcon";

        tray.Hint = "player";
        tray.AddIcon();
        for (int restart = 0; restart < 2; ++restart) {
            ::SendMessageA(tray.Window(), taskbarCreated, 0, 0);
        }
        ASSERT_EQ(notifyCalls.size(), 3u);
        for (const NotifyCall& call : notifyCalls) {
            EXPECT_EQ(call.message, static_cast<DWORD>(NIM_ADD));
            EXPECT_EQ(call.record.hWnd, tray.Window());
            EXPECT_EQ(call.record.uID, 57051u);
            EXPECT_STREQ(call.record.szTip, "player");
        }
    }
    ASSERT_EQ(notifyCalls.size(), 4u);
    EXPECT_EQ(notifyCalls[3].message, static_cast<DWORD>(NIM_DELETE));
}

TEST_F(TrayTest, LongHintIsCutTo63Characters) {
    TCiaTray tray(nullptr, &RecordNotify);
    tray.Hint = std::string(80, 'h');
    tray.AddIcon();
    EXPECT_EQ(std::string(notifyCalls.at(0).record.szTip), std::string(63, 'h'));
}

// Each release of the left button is one click; pressing raises nothing.
TEST_F(TrayTest, LeftButtonReleaseRaisesOnClick) {
    TCiaTray tray(nullptr, &RecordNotify);
    int clicks = 0;
    tray.OnClick = [&] { ++clicks; };
    Mouse(tray, WM_LBUTTONDOWN);
    EXPECT_EQ(clicks, 0);
    Mouse(tray, WM_LBUTTONUP);
    EXPECT_EQ(clicks, 1);
    for (const UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}) {
        Mouse(tray, message);
    }
    EXPECT_EQ(clicks, 3) << "a double click counts both releases";
    Mouse(tray, WM_RBUTTONUP);
    Mouse(tray, WM_MOUSEMOVE);
    EXPECT_EQ(clicks, 3) << "a right click with no menu raises nothing";
}

TEST_F(TrayTest, DoubleClickRunsTheMenusDefaultItem) {
    TCiaTray tray(nullptr, &RecordNotify);
    std::vector<UINT> commands;
    tray.OnPopupCommand = [&](UINT command) { commands.push_back(command); };
    Mouse(tray, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(commands.empty()) << "no menu, nothing runs";

    const HMENU menu = ::CreatePopupMenu();
    ::AppendMenuA(menu, MF_STRING, 11, "first");
    ::AppendMenuA(menu, MF_STRING, 12, "second");
    tray.PopupMenu = menu;
    Mouse(tray, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(commands.empty()) << "no default item, nothing runs";
    ::SetMenuDefaultItem(menu, 12, FALSE);
    Mouse(tray, WM_LBUTTONDBLCLK);
    EXPECT_EQ(commands, std::vector<UINT>{12});
    ::DestroyMenu(menu);
}

TEST_F(TrayTest, OtherMessagesGetTheirDefaultHandling) {
    TCiaTray tray(nullptr, &RecordNotify);
    char text[16] = {};
    ::SetWindowTextA(tray.Window(), "abc");
    EXPECT_EQ(::GetWindowTextA(tray.Window(), text, sizeof text), 3);
    EXPECT_STREQ(text, "abc");
}

TEST_F(TrayTest, TitleIsTheProgramNameInLowerCaseAfterTheFirstLetter) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Players\\MYPLAYER.EXE", "Myplayer"},
        {"C:\\Players\\player.v2.exe", "player"},
        {"D:/music/SidPlay", "Sidplay"},
        {".hidden", ""},
        {"", ""},
    };
    for (const auto& [path, title] : cases) {
        EXPECT_EQ(TCiaTray::TitleOfProgram(path), title) << path;
    }
    EXPECT_EQ(TCiaTray::ApplicationTitle(), "tray_tests");
}

} // namespace
} // namespace hardsid
