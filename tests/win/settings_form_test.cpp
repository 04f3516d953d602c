// SPDX-License-Identifier: GPL-2.0-or-later
// The window object with the scripted winmm: what the start-up does with each stored
// setting, what the user's choices do, and the dialog that the tray icon opens.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "midi_test_support.h"
#include "resources/resource_ids.h"
#include "settings_frm/win32/settings_form.h"
#include "win32/unique_reg_key.h"

#include <sddl.h>

#include <fstream>
#include <sstream>

namespace hardsid::test {
namespace {

constexpr const char* kTestRoot = "Software\\hardsid-tests";
constexpr const char* kTestKey = "Software\\hardsid-tests\\form\\";
constexpr const char* kStartMessage = "F02D4CF7";
constexpr const char* kThreeDevices = "device Alpha; device Beta; device Gamma";

std::vector<DWORD> notifyMessages;
BOOL WINAPI RecordNotify(DWORD message, PNOTIFYICONDATAA) {
    notifyMessages.push_back(message);
    return TRUE;
}

/// The entries of hardsid.log in the current folder, without their stamps.
std::vector<std::string> LogEntries() {
    std::ifstream file("hardsid.log", std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    const std::string log = contents.str();
    std::vector<std::string> entries;
    size_t begin = 0;
    for (size_t end; (end = log.find('\r', begin)) != std::string::npos; begin = end + 1) {
        entries.push_back(log.substr(begin + 18, end - begin - 18));
    }
    return entries;
}

std::string DisplayTextMessage(const std::string& text) { return "F02D4F" + Hex(text.data(), text.size()) + "F7"; }

/// Closes every message box that appears, remembering its text.
class BoxWatcher {
public:
    explicit BoxWatcher(HWND dialog) : dialog_(dialog), thread_([this] { Watch(); }) {}
    ~BoxWatcher() {
        done_ = true;
        thread_.join();
    }
    std::vector<std::string> Texts() {
        std::lock_guard guard(mutex_);
        return texts_;
    }

private:
    void Watch() {
        while (!done_) {
            ::EnumWindows(&Visit, reinterpret_cast<LPARAM>(this));
            ::Sleep(20);
        }
    }
    static BOOL CALLBACK Visit(HWND window, LPARAM context) {
        auto* self = reinterpret_cast<BoxWatcher*>(context);
        constexpr int kMessageBoxText = 0xFFFF;
        if (window != self->dialog_ && ::IsWindowVisible(window) && ::GetDlgItem(window, kMessageBoxText) != nullptr) {
            char text[256] = {};
            ::GetDlgItemTextA(window, kMessageBoxText, text, sizeof text);
            {
                std::lock_guard guard(self->mutex_);
                self->texts_.emplace_back(text);
            }
            ::PostMessageA(window, WM_COMMAND, IDOK, 0);
            ::Sleep(100);
        }
        return TRUE;
    }

    HWND dialog_;
    std::atomic<bool> done_{false};
    std::mutex mutex_;
    std::vector<std::string> texts_;
    std::thread thread_;
};

class FormTest : public DoubleTest {
protected:
    void SetUp() override {
        DoubleTest::SetUp();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestRoot);
        notifyMessages.clear();
    }
    void TearDown() override {
        form_.reset();
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestRoot);
    }

    void Store(const char* name, int32_t value) { store_.WriteSetting(name, value); }
    /// The raw stored value, or none.
    std::optional<int32_t> Stored(const char* name) const {
        win32::UniqueRegKey key;
        DWORD value = 0;
        DWORD size = sizeof value;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
            ::RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        return static_cast<int32_t>(value);
    }
    void Create() { form_ = std::make_unique<TfrmSettings>(store_, &RecordNotify); }

    LRESULT Send(int control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(form_->Control(control), message, wParam, lParam);
    }
    /// What the user does by picking an entry of the device list.
    void ChooseDevice(int index) const {
        const HWND list = form_->Control(IDC_MIDIOUT);
        ::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ::SendMessageA(::GetParent(list), WM_COMMAND, MAKEWPARAM(IDC_MIDIOUT, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    }
    std::vector<std::string> Received() const { return test::Received(Record()); }
    std::string TextOf(int id) const {
        char text[128] = {};
        ::GetWindowTextA(form_->Control(id), text, sizeof text);
        return text;
    }
    /// Where a control sits on its page, in the page's client coordinates.
    RECT PlaceOnPage(int id) const {
        RECT r{};
        ::GetWindowRect(form_->Control(id), &r);
        ::MapWindowPoints(nullptr, ::GetParent(form_->Control(id)), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    /// The client area of the page that holds a control.
    RECT PageArea(int id) const {
        RECT r{};
        ::GetClientRect(::GetParent(form_->Control(id)), &r);
        return r;
    }

    win32::TSettingsStore store_{HKEY_CURRENT_USER, kTestKey};
    std::unique_ptr<TfrmSettings> form_;
};

TEST_F(FormTest, FirstRunCreatesTheKeyAndTurnsAggressiveTimingOn) {
    Configure(kThreeDevices);
    Create();
    EXPECT_EQ(Stored(win32::kSettingAggressiveWait), 1);
    EXPECT_EQ(Stored(win32::kSettingReopenMidi), std::nullopt);
    EXPECT_EQ(Stored(win32::kSettingMidiOut), std::nullopt);
    EXPECT_TRUE(form_->AggressiveWait);
    EXPECT_EQ(Send(IDC_AGGRESSIVE, BM_GETCHECK), BST_CHECKED);
    EXPECT_EQ(Send(IDC_MIDIOUT, CB_GETCOUNT), 3);
    EXPECT_EQ(Send(IDC_MIDIOUT, CB_GETCURSEL), CB_ERR);
    EXPECT_TRUE(Only(Record(), "midiOutOpen").empty());
    EXPECT_FALSE(form_->StreamingEnabled);
    EXPECT_EQ(notifyMessages, std::vector<DWORD>{NIM_ADD});
    EXPECT_FALSE(::IsWindowVisible(form_->Handle()));
}

TEST_F(FormTest, StoredTimingSetsTheCheckBox) {
    struct Case {
        int32_t stored;
        bool aggressive;
        int32_t after;
    };
    for (const Case& c : {Case{0, false, 0}, Case{5, true, 1}, Case{1, true, 1}}) {
        SCOPED_TRACE(c.stored);
        Store(win32::kSettingAggressiveWait, c.stored);
        Create();
        EXPECT_EQ(form_->AggressiveWait, c.aggressive);
        EXPECT_EQ(Stored(win32::kSettingAggressiveWait), c.after);
        form_.reset();
    }
}

TEST_F(FormTest, StoredDeviceIsReopenedAndGreeted) {
    Configure(kThreeDevices);
    Store(win32::kSettingReopenMidi, 1);
    Store(win32::kSettingMidiOut, 0);
    Create();
    EXPECT_EQ(Send(IDC_REOPEN, BM_GETCHECK), BST_CHECKED);
    EXPECT_EQ(Send(IDC_MIDIOUT, CB_GETCURSEL), 0);
    const auto opened = Only(Record(), "midiOutOpen");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0]["device"], "0");
    EXPECT_EQ(Received(), (std::vector<std::string>{kStartMessage, DisplayTextMessage(kDefaultDisplayText)}));
    EXPECT_EQ(Stored(win32::kSettingMidiOut), 0);
    EXPECT_TRUE(form_->StreamingEnabled);
}

TEST_F(FormTest, StoredDeviceIsSelectedOnlyWhenItExistsAndOpenedOnlyWhenAsked) {
    struct Case {
        const char* rule;
        std::optional<int32_t> reopen;
        int32_t device;
        LRESULT selected;
    };
    const Case cases[] = {
        {"a number beyond the list selects and opens nothing", 1, 7, CB_ERR},
        {"without reopen the device is selected, not opened", std::nullopt, 1, 1},
        {"reopen 2 is not 1", 2, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestRoot);
        Configure(kThreeDevices);
        if (c.reopen) {
            Store(win32::kSettingReopenMidi, *c.reopen);
        }
        Store(win32::kSettingMidiOut, c.device);
        {
            BoxWatcher boxes(nullptr);
            Create();
            EXPECT_TRUE(boxes.Texts().empty());
        }
        EXPECT_EQ(Send(IDC_MIDIOUT, CB_GETCURSEL), c.selected);
        EXPECT_TRUE(Only(Record(), "midiOutOpen").empty());
        EXPECT_FALSE(form_->StreamingEnabled);
        EXPECT_EQ(Stored(win32::kSettingReopenMidi), c.reopen) << "an unchecked box writes nothing";
        form_.reset();
    }
}

// A value of another type counts as missing; the log says so right after "log start", and
// no message box holds up the player's start.
TEST_F(FormTest, StoredValueOfAnotherTypeCountsAsMissing) {
    {
        win32::UniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr), ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(key.get(), win32::kSettingAggressiveWait, 0, REG_SZ, reinterpret_cast<const BYTE*>("0"), 2), ERROR_SUCCESS);
    }
    {
        BoxWatcher boxes(nullptr);
        Create();
        EXPECT_TRUE(boxes.Texts().empty());
    }
    EXPECT_TRUE(form_->AggressiveWait) << "missing: aggressive";
    EXPECT_EQ(Stored(win32::kSettingAggressiveWait), 1);
    form_.reset();
    const auto entries = LogEntries();
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ(entries[0], "log start");
    EXPECT_EQ(entries[1], "(!) Skipped at start-up: Registry value aggressiveWait is not a 32-bit number");
    EXPECT_EQ(entries.back(), "log end");
}

// An ordinary user may read the machine's settings but not write them back: the start-up
// applies them all the same, logs each refused write, and streams to the stored device.
TEST_F(FormTest, RefusedWriteBacksAreSkippedAtStartUp) {
    Configure(kThreeDevices);
    Store(win32::kSettingAggressiveWait, 5);
    Store(win32::kSettingReopenMidi, 1);
    Store(win32::kSettingMidiOut, 0);
    {
        win32::UniqueRegKey key;
        ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kTestKey, 0, KEY_ALL_ACCESS, key.put()), ERROR_SUCCESS);
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr));
        ASSERT_EQ(::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, readOnly), ERROR_SUCCESS);
        ::LocalFree(readOnly);
    }
    {
        BoxWatcher boxes(nullptr);
        Create();
        EXPECT_TRUE(boxes.Texts().empty());
    }
    EXPECT_TRUE(form_->AggressiveWait);
    EXPECT_EQ(Send(IDC_REOPEN, BM_GETCHECK), BST_CHECKED);
    EXPECT_EQ(Only(Record(), "midiOutOpen").size(), 1u);
    EXPECT_TRUE(form_->StreamingEnabled);
    EXPECT_EQ(Stored(win32::kSettingAggressiveWait), 5) << "nothing could be written";
    {
        BoxWatcher boxes(form_->Handle());
        ChooseDevice(1); // the user's own choice: the refusal is shown, and streaming stays off
        ::Sleep(300);
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Could not save the setting midi_Out in the registry"});
    }
    EXPECT_FALSE(form_->StreamingEnabled);
    form_.reset();
    const auto entries = LogEntries();
    const std::vector<std::string> expected = {
        "log start",
        "(!) Skipped at start-up: Could not save the setting aggressiveWait in the registry",
        "(!) Skipped at start-up: Could not save the setting reopen_midi in the registry",
        "(!) Skipped at start-up: Could not save the setting beatFrames in the registry",
        "(!) Skipped at start-up: Could not save the setting midi_Out in the registry",
        "log end"};
    EXPECT_EQ(entries, expected);
}

TEST_F(FormTest, ReopenCheckBoxWritesItsStateAndOpensNothing) {
    Configure(kThreeDevices);
    Store(win32::kSettingReopenMidi, 1);
    Create();
    Send(IDC_REOPEN, BM_CLICK);
    EXPECT_EQ(Stored(win32::kSettingReopenMidi), 0);
    Send(IDC_REOPEN, BM_CLICK);
    EXPECT_EQ(Stored(win32::kSettingReopenMidi), 1);
    EXPECT_TRUE(Only(Record(), "midiOutOpen").empty());
}

TEST_F(FormTest, AggressiveCheckBoxAppliesAtOnce) {
    Store(win32::kSettingAggressiveWait, 0);
    Create();
    Send(IDC_AGGRESSIVE, BM_CLICK);
    EXPECT_TRUE(form_->AggressiveWait);
    EXPECT_EQ(Stored(win32::kSettingAggressiveWait), 1);
    Send(IDC_AGGRESSIVE, BM_CLICK);
    EXPECT_FALSE(form_->AggressiveWait);
    EXPECT_EQ(Stored(win32::kSettingAggressiveWait), 0);
}

// The HardSID 2 profile follows the stored value at load: on for 1 alone, anything else or a
// value of another type is off; the box shows it, and a value of another type is logged.
TEST_F(FormTest, StoredHardSID2ValueSetsTheProfileAtLoad) {
    struct Case {
        const char* rule;
        std::optional<int32_t> stored;
        bool asText; // stored as REG_SZ instead of REG_DWORD
        bool profile;
        std::optional<int32_t> after;
    };
    const Case cases[] = {
        {"absent is off and writes nothing", std::nullopt, false, false, std::nullopt},
        {"0 is off", 0, false, false, 0},
        {"1 is on, and stays stored", 1, false, true, 1},
        {"2 is off", 2, false, false, 2},
        {"-1 is off", -1, false, false, -1},
        {"a value of another type counts as missing", std::nullopt, true, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestRoot);
        if (c.stored) {
            Store(win32::kSettingHardSID2, *c.stored);
        }
        if (c.asText) {
            win32::UniqueRegKey key;
            ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr), ERROR_SUCCESS);
            ASSERT_EQ(::RegSetValueExA(key.get(), win32::kSettingHardSID2, 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2), ERROR_SUCCESS);
        }
        {
            BoxWatcher boxes(nullptr);
            Create();
            EXPECT_TRUE(boxes.Texts().empty());
        }
        EXPECT_EQ(form_->HardSID2Profile(), c.profile);
        EXPECT_EQ(Send(IDC_HARDSID2, BM_GETCHECK), c.profile ? BST_CHECKED : BST_UNCHECKED);
        if (!c.asText) {
            EXPECT_EQ(Stored(win32::kSettingHardSID2), c.after);
        }
        form_.reset();
        const auto entries = LogEntries();
        const std::string skipped = "(!) Skipped at start-up: Registry value hardsid_V2 is not a 32-bit number";
        EXPECT_EQ(std::count(entries.begin(), entries.end(), skipped), c.asText ? 1 : 0);
    }
}

// The box is stored the moment it changes; the profile of this load stays as it was.
TEST_F(FormTest, HardSID2CheckBoxIsStoredAtOnceAndAppliesAtTheNextLoad) {
    Create();
    EXPECT_FALSE(form_->HardSID2Profile());
    Send(IDC_HARDSID2, BM_CLICK);
    EXPECT_EQ(Stored(win32::kSettingHardSID2), 1);
    EXPECT_FALSE(form_->HardSID2Profile()) << "a player asked for the version already";
    Send(IDC_HARDSID2, BM_CLICK);
    EXPECT_EQ(Stored(win32::kSettingHardSID2), 0);
    Send(IDC_HARDSID2, BM_CLICK);
    form_.reset();
    Create();
    EXPECT_TRUE(form_->HardSID2Profile());
    EXPECT_EQ(Send(IDC_HARDSID2, BM_GETCHECK), BST_CHECKED);
}

// The new box and its note sit below the timing box, inside the page, without overlapping.
TEST_F(FormTest, HardSID2BoxAndItsNoteFitTheOptionsPage) {
    Create();
    EXPECT_EQ(TextOf(IDC_HARDSID2), "Act as a HardSID 2 driver (for sidplay2 and sidplayfp)");
    const RECT pageArea = PageArea(IDC_HARDSID2);
    const RECT aggressive = PlaceOnPage(IDC_AGGRESSIVE);
    const RECT box = PlaceOnPage(IDC_HARDSID2);
    const RECT note = PlaceOnPage(IDC_LABEL2);
    EXPECT_GE(box.top, aggressive.bottom);
    EXPECT_GE(note.top, box.bottom);
    EXPECT_LE(note.bottom, pageArea.bottom);
    EXPECT_LE(box.right, pageArea.right);
    EXPECT_LE(note.right, pageArea.right);
    EXPECT_NE(TextOf(IDC_LABEL2).find("next time"), std::string::npos);
}

// Frames follow the play calls unless the stored value is 0: absent, 1 or anything else is on
// (and an absent value is stored as 1, as the box's handler runs when the box changes).
TEST_F(FormTest, StoredBeatValueSetsTheBoxAndTheEngineAtLoad) {
    const struct {
        const char* rule;
        std::optional<int32_t> stored;
        bool beat;
        int32_t after;
    } cases[] = {
        {"absent is on", std::nullopt, true, 1}, {"0 is off", 0, false, 0}, {"1 is on", 1, true, 1},
        {"2 is on", 2, true, 1},                 {"-2 is on", -2, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rule);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, kTestRoot);
        if (c.stored) {
            Store(win32::kSettingBeatFrames, *c.stored);
        }
        Create();
        EXPECT_EQ(form_->BeatFrames(), c.beat);
        EXPECT_EQ(Send(IDC_BEATFRAMES, BM_GETCHECK), c.beat ? BST_CHECKED : BST_UNCHECKED);
        EXPECT_EQ(Stored(win32::kSettingBeatFrames), std::optional<int32_t>(c.after));
        form_.reset();
    }
}

// A click changes how frames are timed at once, and is stored.
TEST_F(FormTest, BeatCheckBoxAppliesAtOnceAndIsStored) {
    Create();
    EXPECT_TRUE(form_->BeatFrames());
    Send(IDC_BEATFRAMES, BM_CLICK);
    EXPECT_FALSE(form_->BeatFrames());
    EXPECT_EQ(Stored(win32::kSettingBeatFrames), 0);
    Send(IDC_BEATFRAMES, BM_CLICK);
    EXPECT_TRUE(form_->BeatFrames());
    EXPECT_EQ(Stored(win32::kSettingBeatFrames), 1);
}

// The box sits below the HardSID 2 note, inside the page, with its exact text.
TEST_F(FormTest, BeatBoxFitsTheOptionsPage) {
    Create();
    EXPECT_EQ(TextOf(IDC_BEATFRAMES), "Send a frame after each play call (follows the tune's speed)");
    const RECT pageArea = PageArea(IDC_BEATFRAMES);
    const RECT note = PlaceOnPage(IDC_LABEL2);
    const RECT box = PlaceOnPage(IDC_BEATFRAMES);
    EXPECT_GE(box.top, note.bottom);
    EXPECT_LE(box.bottom, pageArea.bottom);
    EXPECT_LE(box.right, pageArea.right);
}

// What each timing mode costs is said right under its box, inside the page.
TEST_F(FormTest, TimingNoteSaysWhatEachModeCosts) {
    Create();
    EXPECT_EQ(TextOf(IDC_TIMING_NOTE), "Off: the player sleeps through its waits, a few % of a core. On: a whole core.");
    const RECT pageArea = PageArea(IDC_TIMING_NOTE);
    const RECT note = PlaceOnPage(IDC_TIMING_NOTE);
    EXPECT_GE(note.top, PlaceOnPage(IDC_AGGRESSIVE).bottom);
    EXPECT_LE(note.bottom, PlaceOnPage(IDC_HARDSID2).top);
    EXPECT_LE(note.right, pageArea.right);
}

// The old device hears the stop message and is closed before the new one opens, and the new
// one hears the greeting with the current display text.
TEST_F(FormTest, ChoosingAnotherDeviceClosesTheFirstAndGreetsTheSecond) {
    Configure(std::string(kThreeDevices) + "; delay 30000"); // 30 ms per message
    Store(win32::kSettingReopenMidi, 1);
    Store(win32::kSettingMidiOut, 0);
    Create();
    form_->SetDisplayText("now playing");
    ChooseDevice(1);

    std::vector<std::string> events;
    for (const RecordLine& line : Record()) {
        if (line.event == "midiOutOpen") {
            events.push_back("open " + line["device"]);
        } else if (line.event == "midiOutClose") {
            events.push_back("close");
        } else if (line.event == "midiOutReset") {
            events.push_back("reset, returned " + line["returned"]);
        } else if (line.event == "midiOutLongMsg" && line["data"] == "F02D4DF7") {
            events.push_back("stop");
        }
    }
    EXPECT_EQ(events, (std::vector<std::string>{"open 0", "stop", "reset, returned 0", "close", "open 1"}))
        << "the stop message reached the device before the reset";
    const auto received = Received();
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[received.size() - 2], kStartMessage);
    EXPECT_EQ(received.back(), DisplayTextMessage("now playing"));
    EXPECT_EQ(Stored(win32::kSettingMidiOut), 1);
    EXPECT_TRUE(form_->StreamingEnabled);
}

TEST_F(FormTest, DeviceThatCannotBeOpenedIsSavedWithoutAMessage) {
    Configure(std::string(kThreeDevices) + "; refuse open 2");
    Create();
    BoxWatcher boxes(form_->Handle());
    ChooseDevice(2);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(Stored(win32::kSettingMidiOut), 2);
    EXPECT_TRUE(form_->StreamingEnabled);
}

TEST_F(FormTest, DeviceGoneSinceTheListWasFilledShowsTheError) {
    Configure(kThreeDevices);
    Store(win32::kSettingMidiOut, 0);
    Create();
    Configure("device Alpha; device Beta"); // Gamma is unplugged after the list was filled
    {
        BoxWatcher boxes(form_->Handle());
        ChooseDevice(2);
        ::Sleep(300);
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Invalid device ID"});
    }
    EXPECT_EQ(Stored(win32::kSettingMidiOut), 0);
    EXPECT_FALSE(form_->StreamingEnabled);
}

// The user changes device while the player writes, flushes and sets captions on its own
// thread: every message goes out whole on the device that is open at that moment, a new
// device hears the greeting before anything else, and no handle stays open.
class DeviceChangeTest : public FormTest {
protected:
    /// 200 device changes on this thread while the player writes, sends and greets on its
    /// own; pinned, both threads share one processor and the player runs at time-critical
    /// priority, so a lock that spun would starve the settings thread inside the driver.
    void ChangeDevicesWhileThePlayerPlays(bool pinned);
};

void DeviceChangeTest::ChangeDevicesWhileThePlayerPlays(bool pinned) {
    DWORD_PTR processMask = 0;
    DWORD_PTR systemMask = 0;
    ASSERT_TRUE(::GetProcessAffinityMask(::GetCurrentProcess(), &processMask, &systemMask));
    if (pinned) {
        ASSERT_TRUE(::SetProcessAffinityMask(::GetCurrentProcess(), processMask & (~processMask + 1)));
    }
    const ULONGLONG started = ::GetTickCount64();
    Configure(std::string(kThreeDevices) + "; delay 0");
    Store(win32::kSettingReopenMidi, 1);
    Store(win32::kSettingMidiOut, 0);
    Create();
    std::atomic<bool> done{false};
    std::thread player([&] {
        if (pinned) {
            ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
        }
        for (int i = 0; !done; ++i) {
            form_->updateRegister(static_cast<uint8_t>(i % 25), static_cast<uint8_t>(i));
            form_->FlushBuffer(1);
            if (i % 3 == 0) {
                form_->SetDisplayText("caption " + std::to_string(i));
                form_->SendGreeting();
            }
            ::Sleep(i % 4 == 0 ? 1 : 0); // a player's pace, not a flood of thousands a second
        }
    });
    constexpr int kChanges = 200;
    for (int i = 1; i <= kChanges; ++i) {
        ChooseDevice(i % 3);
        PumpPending();
    }
    done = true;
    player.join();
    form_->updateRegister(0, 0x55); // the last write reaches the last device
    form_->FlushBuffer(1);
    form_.reset();
    const ULONGLONG tookMs = ::GetTickCount64() - started;
    ::SetProcessAffinityMask(::GetCurrentProcess(), processMask);
    std::printf("%d device changes against a %s player: %llu ms\n", kChanges,
                pinned ? "time-critical, one-processor" : "normal", static_cast<unsigned long long>(tookMs));
    EXPECT_LT(tookMs, 120'000u) << "no thread starved the other";
    EXPECT_EQ(double_.ReportLeaks(), 0);

    std::map<std::string, std::string> open; // handle -> device
    std::map<std::string, int> sentSinceOpen;
    int opens = 0;
    int messages = 0;
    for (const RecordLine& line : Record()) {
        if (line.event == "midiOutOpen" && line["result"] == "0") {
            ++opens;
            open[line["handle"]] = line["device"];
            sentSinceOpen[line["handle"]] = 0;
            EXPECT_EQ(open.size(), 1u) << "one device open at a time";
        } else if (line.event == "midiOutClose") {
            EXPECT_EQ(open.erase(line["handle"]), 1u) << "closed once, after it was opened";
        } else if (line.event == "midiOutPrepareHeader" || line.event == "midiOutLongMsg") {
            ASSERT_EQ(line["result"], "0") << line.event << " on handle " << line["handle"];
            ASSERT_EQ(open.count(line["handle"]), 1u) << line.event << " on a handle that is not open";
        }
        if (line.event != "midiOutLongMsg") {
            continue;
        }
        ++messages;
        const std::string data = line["data"];
        ASSERT_GE(data.size(), 8u);
        EXPECT_EQ(data.substr(0, 4), "F02D") << data;
        EXPECT_EQ(data.substr(data.size() - 2), "F7") << data;
        const std::string type = data.substr(4, 2);
        if (type == "4E") {
            int pending = 0;
            for (int j = 0; j < 4; ++j) {
                pending += __builtin_popcount(std::stoi(data.substr(6 + 2 * j, 2), nullptr, 16));
            }
            EXPECT_EQ(data.size(), 2u * (12 + pending)) << "a whole frame: " << data;
        } else if (type == "4C" || type == "4D") {
            EXPECT_EQ(data.size(), 8u) << data;
        } else {
            EXPECT_EQ(type, "4F") << data;
        }
        const int position = sentSinceOpen[line["handle"]]++;
        if (position == 0) {
            EXPECT_EQ(data, kStartMessage) << "a new device hears the start message first";
        } else if (position == 1) {
            EXPECT_EQ(type, "4F") << "then the display text";
        }
    }
    EXPECT_TRUE(open.empty()) << "no handle left open";
    std::string lastFrame;
    for (const std::string& message : Received()) {
        if (message.rfind("F02D4E", 0) == 0) {
            lastFrame = message;
        }
    }
    ASSERT_GE(lastFrame.size(), 26u);
    EXPECT_EQ(std::stoi(lastFrame.substr(6, 2), nullptr, 16) & 1, 1) << "slot 0 pending: " << lastFrame;
    EXPECT_EQ(lastFrame.substr(22, 2), "55") << "the first data byte is slot 0's: " << lastFrame;
    EXPECT_EQ(opens, kChanges + 1);
    EXPECT_GT(messages, 4 * kChanges);
}

TEST_F(DeviceChangeTest, DeviceChangesDoNotRaceThePlayer) { ChangeDevicesWhileThePlayerPlays(false); }

TEST_F(DeviceChangeTest, TimeCriticalPlayerOnOneProcessorStarvesNoDeviceChange) { ChangeDevicesWhileThePlayerPlays(true); }

TEST_F(FormTest, UnloadClosesTheDeviceAndTheIcon) {
    Configure(kThreeDevices);
    Store(win32::kSettingReopenMidi, 1);
    Store(win32::kSettingMidiOut, 0);
    Create();
    form_.reset();
    EXPECT_EQ(Only(Record(), "midiOutClose").size(), 1u);
    EXPECT_EQ(notifyMessages, (std::vector<DWORD>{NIM_ADD, NIM_DELETE}));
}

// The dialog opens once per click, a click while it is open only raises it, Escape closes it
// from any control, and it comes back on the same page at the same place.
TEST_F(FormTest, TrayClickOpensTheDialogModally) {
    Configure(kThreeDevices);
    Create();
    const HWND dialog = form_->Handle();
    const HWND trayWindow = form_->tray->Window();
    const HWND list = form_->Control(IDC_MIDIOUT);
    RECT firstPlace{};
    std::atomic<int> step{0};

    std::thread user([&] {
        PumpUntil([&] { return ::IsWindowVisible(dialog) != FALSE; }, 10000);
        ::GetWindowRect(dialog, &firstPlace);
        ::PostMessageA(trayWindow, TCiaTray::kCallbackMessage, TCiaTray::kIconId, WM_LBUTTONUP); // second click
        ::Sleep(200);
        ::SendMessageA(form_->Control(IDC_PAGES), TCM_SETCURFOCUS, 1, 0); // the "About" page
        ::SetWindowPos(dialog, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        step = 1;
        ::PostMessageA(list, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    ::SendMessageA(trayWindow, TCiaTray::kCallbackMessage, TCiaTray::kIconId, WM_LBUTTONUP); // returns when closed
    user.join();
    EXPECT_EQ(step, 1);
    EXPECT_FALSE(::IsWindowVisible(dialog));

    const int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    EXPECT_NEAR((firstPlace.left + firstPlace.right) / 2, screenWidth / 2, 2) << "centred the first time";

    RECT secondPlace{};
    LRESULT page = -1;
    std::thread again([&] {
        PumpUntil([&] { return ::IsWindowVisible(dialog) != FALSE; }, 10000);
        ::GetWindowRect(dialog, &secondPlace);
        page = ::SendMessageA(form_->Control(IDC_PAGES), TCM_GETCURSEL, 0, 0);
        ::PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    ::SendMessageA(trayWindow, TCiaTray::kCallbackMessage, TCiaTray::kIconId, WM_LBUTTONUP);
    again.join();
    EXPECT_EQ(secondPlace.left, 10);
    EXPECT_EQ(secondPlace.top, 20);
    EXPECT_EQ(page, 1);
}

} // namespace
} // namespace hardsid::test
