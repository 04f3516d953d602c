// SPDX-License-Identifier: GPL-2.0-or-later
// hardsid.dll as a player sees it: loaded by path, driven through its exports, with the
// scripted winmm as the MIDI device and the real registry key for the settings.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "hardsid/hardsid_api.h"
#include "library_settings.h"
#include "midi_test_support.h"
#include "program_files.h"
#include "tests/common/dll_tables.h"
#include "tools/asid_monitor/receiver_registers.h"
#include "win32/unique_reg_key.h"

namespace hardsid::test {
namespace {

// The double must be in the process before any fixture looks for it, as the library will
// find it when it loads.
const HMODULE winmmDouble = ::LoadLibraryA("winmm.dll");

constexpr const char* kStart = "F02D4CF7";
constexpr const char* kDefaultText = "Tibbo says you rock! And have a huge LCD!";

/// The log's entries without their stamps.
std::vector<std::string> LogEntries(const std::string& log) {
    std::vector<std::string> entries;
    size_t begin = 0;
    for (size_t end; (end = log.find('\r', begin)) != std::string::npos; begin = end + 1) {
        entries.push_back(log.substr(begin + 18, end - begin - 18));
    }
    return entries;
}

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

/// Windows that this thread still owns.
int ThreadWindowCount() {
    int windows = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CountWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

/// Committed private memory of this process, summed over its address space (Wine reports
/// no PrivateUsage).
SIZE_T CommittedPrivateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const char* address = nullptr; ::VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
            total += region.RegionSize;
        }
    }
    return total;
}

DWORD WINAPI FreeLibraryThread(void* module) { return ::FreeLibrary(static_cast<HMODULE>(module)) ? 0 : 1; }

struct EntryPoints {
    decltype(&::InitHardSID_Mapper) InitHardSID_Mapper;
    decltype(&::ReadFromHardSID) ReadFromHardSID;
    decltype(&::MuteHardSID_Line) MuteHardSID_Line;
    decltype(&::WriteToHardSID) WriteToHardSID;
    decltype(&::GetHardSIDCount) GetHardSIDCount;
    decltype(&::SetDebug) SetDebug;
    decltype(&::HardSID_Delay) HardSID_Delay;
    decltype(&::HardSID_SoftFlush) HardSID_SoftFlush;
    decltype(&::HardSID_Flush) HardSID_Flush;
    decltype(&::HardSID_Write) HardSID_Write;
    decltype(&::HardSID_Devices) HardSID_Devices;
    decltype(&::HardSID_Mute) HardSID_Mute;
    decltype(&::HardSID_Version) HardSID_Version;
    decltype(&::HardSID_Read) HardSID_Read;
    decltype(&::HardSID_Reset2) HardSID_Reset2;
    decltype(&::HardSID_Unlock) HardSID_Unlock;
    decltype(&::HardSID_Lock) HardSID_Lock;
    decltype(&::setCaption) setCaption;
};

template <typename F>
void Resolve(HMODULE module, F& function, const char* name) {
    function = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    ASSERT_NE(reinterpret_cast<void*>(function), nullptr) << name;
}

class DllTest : public LibraryFolderTest {
protected:
    DllTest() : LibraryFolderTest("dll-") {}
    void TearDown() override {
        Unload();
        LibraryFolderTest::TearDown();
    }

    /// Three devices, device 1 stored and reopened at load, frames on the 20 ms grid; more
    /// settings of the double as given.
    void StreamToDevice(const std::string& moreSettings = "") {
        Configure("record " + recordPath_ + "; device Alpha; device Beta; device Gamma; " + moreSettings);
        StoreSetting("midi_Out", 1);
        StoreSetting("reopen_midi", 1);
        StoreSetting("beatFrames", 0);
    }

    void Load() {
        module_ = ::LoadLibraryA((ProgramFolder() + "hardsid.dll").c_str());
        ASSERT_NE(module_, nullptr);
        Resolve(module_, dll_.InitHardSID_Mapper, "InitHardSID_Mapper");
        Resolve(module_, dll_.ReadFromHardSID, "ReadFromHardSID");
        Resolve(module_, dll_.MuteHardSID_Line, "MuteHardSID_Line");
        Resolve(module_, dll_.WriteToHardSID, "WriteToHardSID");
        Resolve(module_, dll_.GetHardSIDCount, "GetHardSIDCount");
        Resolve(module_, dll_.SetDebug, "SetDebug");
        Resolve(module_, dll_.HardSID_Delay, "HardSID_Delay");
        Resolve(module_, dll_.HardSID_SoftFlush, "HardSID_SoftFlush");
        Resolve(module_, dll_.HardSID_Flush, "HardSID_Flush");
        Resolve(module_, dll_.HardSID_Write, "HardSID_Write");
        Resolve(module_, dll_.HardSID_Devices, "HardSID_Devices");
        Resolve(module_, dll_.HardSID_Mute, "HardSID_Mute");
        Resolve(module_, dll_.HardSID_Version, "HardSID_Version");
        Resolve(module_, dll_.HardSID_Read, "HardSID_Read");
        Resolve(module_, dll_.HardSID_Reset2, "HardSID_Reset2");
        Resolve(module_, dll_.HardSID_Unlock, "HardSID_Unlock");
        Resolve(module_, dll_.HardSID_Lock, "HardSID_Lock");
        Resolve(module_, dll_.setCaption, "setCaption");
    }
    void Unload() {
        if (module_ != nullptr) {
            ::FreeLibrary(module_);
            module_ = nullptr;
        }
        PumpPending();
    }

    std::string Log() const { return ReadFileText(LogPath()); }
    std::vector<std::string> Received() const { return test::Received(Record()); }
    std::vector<std::string> Frames() const {
        std::vector<std::string> frames;
        for (const std::string& message : Received()) {
            if (message.rfind("F02D4E", 0) == 0) {
                frames.push_back(message);
            }
        }
        return frames;
    }

    HMODULE module_ = nullptr;
    EntryPoints dll_{};
};

TEST_F(DllTest, ExportTableOfTheLoadedLibrary) {
    const PeImage image = ReadPeImage(ReadFileBytes(ProgramFolder() + "hardsid.dll"));
    ExpectHardsidTables(image);
    Load();
    const FARPROC byName = ::GetProcAddress(module_, "HardSID_Write");
    EXPECT_EQ(::GetProcAddress(module_, MAKEINTRESOURCEA(10)), byName);
    EXPECT_EQ(::GetProcAddress(module_, MAKEINTRESOURCEA(16)), byName);
}

TEST_F(DllTest, ReportsOneDeviceOfVersion0301) {
    Load();
    EXPECT_EQ(dll_.HardSID_Version(), 0x0301);
    EXPECT_EQ(dll_.HardSID_Devices(), 1);
    EXPECT_EQ(dll_.GetHardSIDCount(), 1);
    EXPECT_EQ(dll_.HardSID_Lock(3), 1);
    Unload();
    EXPECT_EQ(LogEntries(Log()), (std::vector<std::string>{"log start", "log end"})) << "the lock logs nothing";
    EXPECT_EQ(Log().size(), 54u);
}

// The HardSID 2 profile follows the stored value: version 0x0207 and a lock on device 0
// that is granted once until it is given back. Off, the version is 0x0301 and every lock is
// granted. Locks log nothing; unlocks keep their line.
TEST_F(DllTest, ProfileDecidesVersionAndLock) {
    struct Case {
        const char* rule;
        std::optional<DWORD> stored;
        bool asText; // "1" as REG_SZ: another type counts as missing
        bool profile;
    };
    const Case cases[] = {{"absent", std::nullopt, false, false}, {"0", 0, false, false},        {"1", 1, false, true},
                          {"2", 2, false, false},              {"-1", 0xFFFFFFFF, false, false}, {"text", std::nullopt, true, false}};
    const std::string unlock = "(i) Unhandled call to void HardSID_Unlock(deviceID: Byte);";
    const std::string skipped = "(!) Skipped at start-up: Registry value hardsid_V2 is not a 32-bit number";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        ClearSettings();
        if (c.stored) {
            StoreSetting("hardsid_V2", *c.stored);
        }
        if (c.asText) {
            win32::UniqueRegKey key;
            ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr), ERROR_SUCCESS);
            ASSERT_EQ(::RegSetValueExA(key.get(), "hardsid_V2", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2), ERROR_SUCCESS);
        }
        Load();
        EXPECT_EQ(dll_.HardSID_Version(), c.profile ? 0x0207 : 0x0301);
        EXPECT_EQ(dll_.HardSID_Version(), c.profile ? 0x0207 : 0x0301) << "on every call";
        EXPECT_EQ(dll_.HardSID_Lock(0), 1);
        EXPECT_EQ(dll_.HardSID_Lock(0), c.profile ? 0 : 1) << "while locked";
        EXPECT_EQ(dll_.HardSID_Lock(1), c.profile ? 0 : 1) << "no other device";
        dll_.HardSID_Unlock(0);
        EXPECT_EQ(dll_.HardSID_Lock(0), 1) << "given back";
        Unload();
        const auto expected = c.asText ? std::vector<std::string>{"log start", skipped, unlock, "log end"}
                                       : std::vector<std::string>{"log start", unlock, "log end"};
        EXPECT_EQ(LogEntries(Log()), expected);
    }
}

// With the profile on, HardSID_Read on device 0 waits its cycles on the same schedule as the
// writes: a frame of one write of 1000 cycles and one read of 19000 cycles lasts 20 ms, and
// the clock sends one frame per such frame. Other devices, and the profile off, never wait.
TEST_F(DllTest, ReadOnDeviceZeroWaitsInTheProfile) {
    StreamToDevice();
    StoreSetting("hardsid_V2", 1);
    Load();
    // Timed from before the first write: the reads' waits carry on from that write's schedule.
    const size_t framesBefore = Frames().size();
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    dll_.HardSID_Write(0, 0, 1, 0x21);
    constexpr int kPlayCalls = 50;
    for (int i = 0; i < kPlayCalls; ++i) {
        EXPECT_EQ(dll_.HardSID_Read(0, 19000, 1), i == 0 ? 0x21 : static_cast<BYTE>(i - 1));
        dll_.HardSID_Write(0, 1000, 1, static_cast<BYTE>(i));
    }
    ::QueryPerformanceCounter(&end);
    const double elapsedMs = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    EXPECT_GE(elapsedMs, kPlayCalls * 20.0 - 2) << "each read waited its cycles";
    EXPECT_GE(Frames().size() - framesBefore, static_cast<size_t>(kPlayCalls - 3)) << "nearly every write found a frame due";

    const DWORD quick = ::GetTickCount();
    for (int device = 1; device < 256; ++device) {
        dll_.HardSID_Read(static_cast<BYTE>(device), 65535, 0);
    }
    EXPECT_LT(::GetTickCount() - quick, 2000u) << "devices 1 to 255 do not wait (one wait is 65 ms)";
    Unload();

    ClearSettings();
    Load();
    const DWORD off = ::GetTickCount();
    for (int i = 0; i < 10; ++i) {
        dll_.HardSID_Read(0, 65535, 0);
    }
    EXPECT_LT(::GetTickCount() - off, 500u) << "without the profile a read never waits (ten would be 655 ms)";
}

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

constexpr const char* kStop = "F02D4DF7";

// HardSID_Unlock(0) and MuteHardSID_Line with a non-zero argument tell the device to stop,
// once until the next frame; other calls send nothing. Each call keeps its log line.
TEST_F(DllTest, PlayerDoneSendsTheStopMessageOnce) {
    for (const bool profile : {false, true}) {
        SCOPED_TRACE(profile ? "profile on" : "profile off");
        ClearSettings();
        Configure("record " + recordPath_ + "; device Alpha; device Beta; device Gamma; ");
        StoreSetting("midi_Out", 1);
        StoreSetting("reopen_midi", 1);
        if (profile) {
            StoreSetting("hardsid_V2", 1);
        }
        Load();
        auto stops = [&] {
            const auto received = Received();
            return std::count(received.begin(), received.end(), std::string(kStop));
        };
        dll_.HardSID_Write(0, 0, 0, 1);
        dll_.HardSID_Unlock(3);
        dll_.MuteHardSID_Line(0);
        EXPECT_EQ(stops(), 0) << "another device, or no mute";
        dll_.HardSID_Unlock(0);
        EXPECT_EQ(Received().back(), kStop);
        dll_.HardSID_Unlock(0);
        dll_.MuteHardSID_Line(1);
        EXPECT_EQ(stops(), 1) << "no second stop before a frame";
        dll_.HardSID_Flush(0);
        dll_.MuteHardSID_Line(-1);
        EXPECT_EQ(stops(), 2) << "after a frame, a mute stops again";
        Unload();
        EXPECT_EQ(Received().back(), kStop) << "the stop before the close stays";
        EXPECT_EQ(stops(), 2) << "the close sends no second stop";
        const std::string unlock = "(i) Unhandled call to void HardSID_Unlock(deviceID: Byte);";
        const std::string mute = "(i) Unhandled call to void MuteHardSID_Line(Mute: Integer);";
        EXPECT_EQ(LogEntries(Log()), (std::vector<std::string>{"log start", unlock, mute, unlock, unlock, mute, mute, "log end"}));
    }
}

TEST_F(DllTest, NoStopWithoutADevice) {
    Load();
    dll_.HardSID_Write(0, 0, 0, 1);
    dll_.HardSID_Unlock(0);
    dll_.MuteHardSID_Line(1);
    dll_.HardSID_Flush(0);
    Unload();
    EXPECT_TRUE(Received().empty());
}

// A player that plays on after a stop: the first frame is preceded by the start and
// display-text messages and carries every register as the player left it, each second slot
// with its control register's latest value. A receiver that forgot everything at the stop
// then holds exactly the player's registers after the player's last flush.
TEST_F(DllTest, PlayingOnAfterAStopRestartsWithThePlayersRegisters) {
    StreamToDevice();
    Load();
    dll_.setCaption("tune");
    std::array<uint8_t, 25> player{};
    auto write = [&](BYTE reg, BYTE value, WORD cycles = 0) {
        dll_.HardSID_Write(0, cycles, reg, value);
        player[reg] = value;
    };
    for (BYTE reg = 0; reg < 25; ++reg) {
        write(reg, static_cast<BYTE>(0x80 + reg));
    }
    dll_.HardSID_Flush(0);
    write(4, 0x41);
    write(4, 0x40); // a gate toggle: slot 25 holds 0x40
    dll_.HardSID_Flush(0);
    write(4, 0x11); // slot 22 alone: slot 25 keeps the older 0x40
    dll_.HardSID_SoftFlush(0);
    const size_t before = Received().size();
    dll_.MuteHardSID_Line(TRUE);
    write(11, 0x21); // while stopped
    for (int i = 0; i < 3; ++i) {
        write(0, static_cast<BYTE>(i), 20000); // a timed frame falls due
    }
    dll_.HardSID_Flush(0);
    const auto received = Received();
    ASSERT_GE(received.size(), before + 4);
    EXPECT_EQ(received[before], kStop);
    EXPECT_EQ(received[before + 1], kStart);
    EXPECT_EQ(received[before + 2], "F02D4F" + Hex("tune", 4) + "F7");
    const std::vector<uint8_t> resumed = FromHex(received[before + 3]);
    ASSERT_EQ(resumed.size(), 40u) << received[before + 3];
    EXPECT_EQ(std::vector<uint8_t>(resumed.begin() + 3, resumed.begin() + 7), (std::vector<uint8_t>{0x7F, 0x7F, 0x7F, 0x7F}));
    EXPECT_EQ(resumed[11 + 22], 0x11);
    EXPECT_EQ(resumed[11 + 25], 0x11) << "the second slot carries the latest value, not the older 0x40";
    EXPECT_EQ(resumed[11 + 23], 0x21);
    EXPECT_EQ(resumed[11 + 26], 0x21);

    monitor::ReceiverRegisters receiver;
    for (size_t i = before; i < received.size(); ++i) {
        if (received[i] == kStop) {
            receiver = monitor::ReceiverRegisters{};
        } else if (received[i].rfind("F02D4E", 0) == 0) {
            receiver.Apply(FromHex(received[i]));
        }
    }
    EXPECT_EQ(receiver.Values(), player);
    EXPECT_EQ(std::count(received.begin(), received.end(), std::string(kStart)), 3) << "load, caption, restart";
}

// Whatever a player passes, in whatever order: no fault, the documented results, and the
// stream goes on with every register the player wrote.
TEST_F(DllTest, BadInputIsHarmless) {
    StreamToDevice();
    StoreSetting("hardsid_V2", 1);
    Load();
    struct LockCall {
        bool lock;
        BYTE device;
        BOOLEAN granted;
    };
    const LockCall calls[] = {{false, 0, 0},   {false, 255, 0}, {true, 255, 0}, {true, 5, 0},  {true, 0, 1},
                              {false, 7, 0},   {true, 0, 0},    {false, 0, 0},  {false, 0, 0}, {true, 0, 1},
                              {true, 1, 0},    {false, 1, 0},   {true, 0, 0}};
    for (size_t i = 0; i < std::size(calls); ++i) {
        if (calls[i].lock) {
            EXPECT_EQ(dll_.HardSID_Lock(calls[i].device), calls[i].granted) << "call " << i;
        } else {
            dll_.HardSID_Unlock(calls[i].device);
        }
    }
    dll_.HardSID_Write(0, 0, 3, 0x33);
    dll_.HardSID_Write(1, 0, 3, 0x44);
    const DWORD start = ::GetTickCount();
    for (int device = 1; device < 256; ++device) {
        for (const int cycles : {0, 1, 65535, -1, 0x12345}) {
            const BYTE expected = device == 1 ? 0x44 : 0;
            ASSERT_EQ(dll_.HardSID_Read(static_cast<BYTE>(device), cycles, 3), expected) << device;
        }
    }
    EXPECT_LT(::GetTickCount() - start, 5000u) << "1275 reads, none waits";
    for (const int mute : {0, 1, -1, INT_MIN, INT_MAX, 0x100}) {
        dll_.MuteHardSID_Line(mute);
    }
    for (const BYTE device : {0, 1, 255}) {
        dll_.HardSID_Reset2(device, 0x0F);
    }
    dll_.HardSID_Write(0, 0, 5, 0x55);
    dll_.HardSID_Flush(0);
    EXPECT_EQ(dll_.ReadFromHardSID(0, 3), 0x33);
    EXPECT_EQ(dll_.ReadFromHardSID(0, 5), 0x55);
    monitor::ReceiverRegisters receiver;
    for (const std::string& message : Received()) {
        if (message == kStop) {
            receiver = monitor::ReceiverRegisters{};
        } else if (message.rfind("F02D4E", 0) == 0) {
            receiver.Apply(FromHex(message));
        }
    }
    EXPECT_EQ(receiver.Values()[3], 0x33) << "nothing lost";
    EXPECT_EQ(receiver.Values()[5], 0x55);
    Unload();
    const auto entries = LogEntries(Log());
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "(i) Unhandled call to void HardSID_Reset2(deviceID: Byte);"), 3);
    EXPECT_EQ(std::count(entries.begin(), entries.end(), "(i) Unhandled call to void MuteHardSID_Line(Mute: Integer);"), 6);
}

TEST_F(DllTest, RegistersReadBack) {
    Load();
    for (BYTE device = 0; device < 5; ++device) {
        for (BYTE reg = 0; reg <= 32; ++reg) {
            ASSERT_EQ(dll_.ReadFromHardSID(device, reg), 0);
        }
    }
    dll_.HardSID_Write(0, 0, 40, 0x5A);
    EXPECT_EQ(dll_.ReadFromHardSID(1, 7), 0x5A) << "device 0 register 40 is device 1 register 7";
    dll_.HardSID_Write(3, 0, 30, 0x33);
    dll_.WriteToHardSID(4, 32, 0x44);
    EXPECT_EQ(dll_.ReadFromHardSID(3, 30), 0x33);
    EXPECT_EQ(dll_.ReadFromHardSID(4, 32), 0x44);
    for (const int ignored : {0, -1, 12345}) {
        EXPECT_EQ(dll_.HardSID_Read(3, ignored, 30), 0x33);
    }
}

// With a stored device reopened at load, the greeting is there before the first call, and
// the first write carries every register.
TEST_F(DllTest, GreetingAtLoadAndAFullFirstFrame) {
    StreamToDevice();
    Load();
    EXPECT_EQ(Received(), (std::vector<std::string>{kStart, "F02D4F" + Hex(kDefaultText, std::strlen(kDefaultText)) + "F7"}));
    dll_.HardSID_Write(0, 0, 0, 0x9A);
    const auto frames = Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].size(), 80u) << "40 bytes";
    EXPECT_EQ(frames[0].substr(6, 16), "7F7F7F7F01000000") << "every slot pending; slot 0 has its high bit";
}

TEST_F(DllTest, WritesThatReachNoSlot) {
    StreamToDevice();
    Load();
    dll_.HardSID_Write(0, 0, 0, 1); // starts the clock
    const size_t before = Frames().size();
    ::Sleep(30);                    // a frame is due now
    dll_.HardSID_Write(0, 100, 30, 7);
    EXPECT_EQ(Frames().size(), before) << "register 30 reaches no slot";

    const DWORD start = ::GetTickCount();
    for (int i = 0; i < 10; ++i) {
        dll_.HardSID_Write(1, 65535, 5, static_cast<BYTE>(i));
    }
    EXPECT_LT(::GetTickCount() - start, 500u) << "device 1 does not wait (ten waits would be 655 ms)";
    EXPECT_EQ(Frames().size(), before);

    const size_t beforeDevice1 = Frames().size();
    dll_.WriteToHardSID(1, 5, 0x42); // every device reaches the slots (and may find a frame due)
    dll_.HardSID_Flush(0);
    const auto frames = Frames();
    ASSERT_GT(frames.size(), beforeDevice1);
    EXPECT_EQ(frames[beforeDevice1], "F02D4E100000000000000042F7") << "slot 4 (register 5) carries 42";
    dll_.HardSID_Flush(0);
    EXPECT_EQ(Frames().back().size(), 24u) << "a flush with nothing pending still sends 12 bytes";
}

// SID registers 25 to 28 are read-only: a write there is read back, but the receiver, which
// applies slots 25 to 27 as the voices' second control writes, never hears it.
TEST_F(DllTest, ReadOnlyRegistersStayOffTheWire) {
    StreamToDevice();
    Load();
    dll_.HardSID_Write(0, 0, 4, 0x40); // voice 1's control: slot 25 holds 40, then 41 goes out
    dll_.HardSID_Write(0, 0, 4, 0x41);
    dll_.HardSID_Flush(0);
    for (const BYTE reg : {25, 26, 27, 28}) {
        dll_.HardSID_Write(0, 0, reg, 0x00); // a player that clears every register
    }
    dll_.HardSID_Flush(0);
    EXPECT_EQ(Frames().back(), "F02D4E0000000000000000F7") << "nothing pending: voice 1 keeps its gate";
    for (const BYTE reg : {25, 26, 27, 28}) {
        dll_.WriteToHardSID(0, reg, 0x08);
        EXPECT_EQ(dll_.ReadFromHardSID(0, reg), 0x08) << "read back as written";
    }
    dll_.HardSID_Flush(0);
    EXPECT_EQ(Frames().back(), "F02D4E0000000000000000F7");
}

// The player's last call returns once the stop message has left the driver, so a console
// player that ends its process right after it does not cut the stop off; a driver that holds
// it longer costs the player 100 ms at most, and the log says so.
TEST_F(DllTest, PlayersStopReturnsOnceTheStopHasLeft) {
    const struct {
        const char* how;
        void (*stop)(const EntryPoints&);
    } calls[] = {
        {"HardSID_Unlock(0)", [](const EntryPoints& dll) { dll.HardSID_Unlock(0); }},
        {"MuteHardSID_Line(1)", [](const EntryPoints& dll) { dll.MuteHardSID_Line(1); }},
    };
    for (const auto& call : calls) {
        for (const int delayMs : {30, 400}) {
            SCOPED_TRACE(std::string(call.how) + ", " + std::to_string(delayMs) + " ms per message");
            ClearSettings();
            StreamToDevice("delay " + std::to_string(delayMs * 1000));
            Load();
            dll_.HardSID_Write(0, 0, 0, 1); // greeting, then a full frame: all queued
            LARGE_INTEGER before{};
            LARGE_INTEGER after{};
            ::QueryPerformanceCounter(&before);
            call.stop(dll_);
            ::QueryPerformanceCounter(&after);
            LARGE_INTEGER frequency{};
            ::QueryPerformanceFrequency(&frequency);
            const double tookMs = static_cast<double>(after.QuadPart - before.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);

            const auto record = Record();
            std::string stopHeader;
            for (const RecordLine& line : Only(record, "midiOutLongMsg")) {
                if (line["data"] == kStop) {
                    stopHeader = line["header"];
                }
            }
            ASSERT_FALSE(stopHeader.empty()) << "the stop was sent";
            int64_t stopDone = 0;
            for (const RecordLine& line : Only(record, "MOM_DONE")) {
                if (line["header"] == stopHeader) {
                    stopDone = line.stamp;
                }
            }
            Unload(); // the log is on disk once it is closed
            const bool logged = Log().find("(!) The stop message was still on its way after 100 ms") != std::string::npos;
            if (delayMs == 30) {
                ASSERT_NE(stopDone, 0) << "done before the call returned";
                EXPECT_LE(stopDone, after.QuadPart);
                EXPECT_FALSE(logged);
            } else {
                EXPECT_EQ(stopDone, 0) << "still queued: four messages take 1.6 s";
                EXPECT_LT(tookMs, 1000.0) << "bounded at 100 ms";
                EXPECT_GE(tookMs, 90.0) << "it did wait";
                EXPECT_TRUE(logged);
            }
        }
    }
}

// At unload the device hears the stop message, and it arrives before the device is closed.
TEST_F(DllTest, UnloadSendsTheStopMessageFirst) {
    StreamToDevice("delay 30000"); // a device that takes 30 ms per message
    Load();
    dll_.HardSID_Write(0, 0, 4, 0x41);
    Unload();
    EXPECT_EQ(Received().back(), "F02D4DF7");
    const auto resets = Only(Record(), "midiOutReset");
    ASSERT_EQ(resets.size(), 1u);
    EXPECT_EQ(resets[0]["returned"], "0") << "nothing left for the reset to cut off";
}

TEST_F(DllTest, CaptionGreetsTheDevice) {
    StreamToDevice();
    Load();
    dll_.setCaption(nullptr);
    auto received = Received();
    ASSERT_GE(received.size(), 2u);
    EXPECT_EQ(received[received.size() - 2], kStart);
    EXPECT_EQ(received.back(), "F02D4FF7");

    const std::string longText(70000, 'x');
    dll_.setCaption(longText.c_str());
    received = Received();
    EXPECT_EQ(received.back().size(), 2u * 65535) << "cut to the 16-bit length";
}

TEST_F(DllTest, DebugFlagUsesOnlyItsLowByte) {
    StreamToDevice();
    Load();
    dll_.SetDebug(1);
    for (int i = 0; i < 5; ++i) {
        dll_.HardSID_Write(0, 20000, 1, static_cast<BYTE>(i));
    }
    EXPECT_TRUE(Frames().empty()) << "no timed frames while the flag is set";
    using SetDebugWide = void(WINAPI*)(DWORD);
    reinterpret_cast<SetDebugWide>(reinterpret_cast<void*>(dll_.SetDebug))(0x100);
    for (int i = 0; i < 5; ++i) {
        dll_.HardSID_Write(0, 20000, 1, static_cast<BYTE>(10 + i));
    }
    EXPECT_GE(Frames().size(), 4u) << "0x100 stores 0: timed frames go on";
}

// Frames follow real time: one per 20 ms of continuous writes.
TEST_F(DllTest, ContinuousWritesSendFiftyFramesASecond) {
    StreamToDevice();
    Load();
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    for (int i = 0; i < 2000; ++i) {
        dll_.HardSID_Write(0, 1000, static_cast<BYTE>(i % 25), static_cast<BYTE>(i));
    }
    ::QueryPerformanceCounter(&end);
    const double elapsedMs = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    EXPECT_GE(elapsedMs, 2000.0 - 1) << "each write waits its 1000 cycles";
    EXPECT_NEAR(static_cast<double>(Frames().size()), elapsedMs / 20.0, 3.0);
}

// After a pause the clock catches up with at most 8 frames back to back, then keeps its
// 50 frames a second: a cable that carries about 3 kB/s is never flooded.
TEST_F(DllTest, WritesAfterAPauseDoNotFloodTheCable) {
    StreamToDevice();
    Load();
    for (int i = 0; i < 100; ++i) {
        dll_.HardSID_Write(0, 1000, static_cast<BYTE>(i % 25), static_cast<BYTE>(i));
    }
    ::Sleep(3000);
    LARGE_INTEGER frequency, resumed;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&resumed);
    for (int i = 0; i < 1600; ++i) {
        dll_.HardSID_Write(0, 1000, static_cast<BYTE>(i % 25), static_cast<BYTE>(i));
    }
    const auto countFrames = [&](double fromMs, double toMs) {
        int frames = 0;
        for (const RecordLine& line : Only(Record(), "midiOutLongMsg")) {
            const double ms = 1000.0 * static_cast<double>(line.stamp - resumed.QuadPart) / static_cast<double>(frequency.QuadPart);
            if (line["result"] == "0" && line["data"].rfind("F02D4E", 0) == 0 && ms >= fromMs && ms < toMs) {
                ++frames;
            }
        }
        return frames;
    };
    const int burst = countFrames(0, 100);
    std::printf("frames in the first 100 ms after a 3 s pause: %d\n", burst);
    EXPECT_LE(burst, 8);
    EXPECT_GE(burst, 1);
    EXPECT_NEAR(countFrames(300, 1300), 50, 5) << "then the grid's 50 frames a second";
}

// A console player loads the library on a thread that never dispatches messages: finished
// buffers come back all the same, on the sending thread, and memory stays flat.
TEST_F(DllTest, BuffersComeBackInAPlayerThatNeverDispatches) {
    StreamToDevice("delay 0");
    StoreSetting("aggressiveWait", 0); // the player yields while it waits, as the driver's thread needs it to
    Load();
    constexpr int kFrames = 3000;
    std::vector<SIZE_T> usage;
    std::thread player([&] {
        for (int i = 1; i <= kFrames; ++i) {
            dll_.WriteToHardSID(0, static_cast<BYTE>(i % 25), static_cast<BYTE>(i));
            dll_.HardSID_Flush(0);
            dll_.HardSID_Delay(0, 1000);
            if (i % 1000 == 0) {
                usage.push_back(CommittedPrivateBytes());
            }
        }
    });
    // This thread loaded the library and only waits: no message of its queue is dispatched.
    player.join();
    ::Sleep(500); // the driver finishes what is queued
    std::thread([&] { dll_.HardSID_Flush(0); }).join();

    // Outstanding: sent and not yet unprepared. Held: reported done and still not unprepared,
    // which only the library can end. How many are held at a send depends on how the driver's
    // thread is scheduled (it finishes messages in bursts on a busy or emulated machine); what
    // the library promises is that a message reported done before one send is released by the
    // next: each send first takes back what is finished.
    int outstanding = 0;
    int held = 0;
    int mostOutstanding = 0;
    int mostHeld = 0;
    int sent = 0;
    int heldPastASend = 0;
    std::map<std::string, int> doneBeforeSend; // header → sends recorded before its notice
    std::set<std::string> releasedBeforeNotice; // the driver wrote the notice after the release
    for (const RecordLine& line : Record()) {
        if (line.event == "midiOutLongMsg" && line["result"] == "0") {
            ++sent;
            mostOutstanding = std::max(mostOutstanding, ++outstanding);
            mostHeld = std::max(mostHeld, held);
            heldPastASend += static_cast<int>(std::count_if(doneBeforeSend.begin(), doneBeforeSend.end(),
                                                            [&](const auto& done) { return done.second <= sent - 2; }));
        } else if (line.event == "MOM_DONE") {
            ++held;
            if (releasedBeforeNotice.erase(line["header"]) == 0) {
                doneBeforeSend.emplace(line["header"], sent);
            }
        } else if (line.event == "midiOutUnprepareHeader" && line["result"] == "0") {
            --outstanding;
            --held;
            if (doneBeforeSend.erase(line["header"]) == 0) {
                releasedBeforeNotice.insert(line["header"]);
            }
        }
    }
    std::printf("never-dispatching player, %d frames sent: at most %d buffers outstanding, %d of them done; %d at the end\n",
                sent, mostOutstanding, mostHeld, outstanding);
    EXPECT_GE(sent, kFrames);
    EXPECT_EQ(heldPastASend, 0) << "a finished buffer is released at the next send";
    EXPECT_EQ(outstanding, 1) << "after a last send only that one is out";
    ASSERT_EQ(usage.size(), 3u);
    std::printf("committed private memory after 1000 / 3000 frames: %llu / %llu kB\n",
                static_cast<unsigned long long>(usage[0] / 1024), static_cast<unsigned long long>(usage[2] / 1024));
    EXPECT_LT(usage[2], usage[0] + 128 * 1024) << "memory flat";
    Unload();
    EXPECT_EQ(double_.ReportLeaks(), 0) << "every header unprepared, every handle closed";
}

TEST_F(DllTest, LogRunsFromStartToEndWithEveryUnhandledCall) {
    Load();
    for (int i = 0; i < 3; ++i) {
        dll_.HardSID_Mute(0, TRUE);
    }
    dll_.InitHardSID_Mapper();
    Unload();
    const std::string mute = "(i) Unhandled call to void HardSID_Mute(deviceID: Byte; mute: Boolean);";
    EXPECT_EQ(LogEntries(Log()), (std::vector<std::string>{"log start", mute, mute, mute,
                                                           "(i) Unhandled call to void InitHardSID_Mapper();", "log end"}));
}

TEST_F(DllTest, LoadAndUnloadTwoHundredTimesLeavesNothingBehind) {
    StreamToDevice();
    Load();
    Unload();
    DWORD handlesBefore = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handlesBefore);
    for (int i = 0; i < 200; ++i) {
        Load();
        dll_.HardSID_Write(0, 0, 0, static_cast<BYTE>(i)); // a frame in flight at every unload
        Unload();
    }
    DWORD handlesAfter = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore + 5);
    EXPECT_EQ(ThreadWindowCount(), 0) << "no window of ours is left";
    EXPECT_EQ(double_.ReportLeaks(), 0) << "every header unprepared, every handle closed";
    EXPECT_EQ(Only(Record(), "midiOutOpen").size(), 201u);
}

TEST_F(DllTest, UnloadFromAnotherThreadFinishesTheLog) {
    StreamToDevice();
    Load();
    dll_.HardSID_Write(0, 0, 0, 1);
    const HANDLE unloader = ::CreateThread(nullptr, 0, &FreeLibraryThread, module_, 0, nullptr);
    ASSERT_NE(unloader, nullptr);
    EXPECT_EQ(::WaitForSingleObject(unloader, 10000), WAIT_OBJECT_0) << "no deadlock";
    ::CloseHandle(unloader);
    module_ = nullptr;
    PumpPending(); // our windows close on their own thread
    EXPECT_EQ(ThreadWindowCount(), 0);
    const auto entries = LogEntries(Log());
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back(), "log end");
    EXPECT_EQ(Only(Record(), "midiOutClose").size(), 1u);
}

TEST_F(DllTest, ProcessExitWithoutUnloadStillEndsTheLog) {
    std::string command = ProgramFolder() + "dll_exit_host.exe";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(), &startup, &process));
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0) << "the player's exit does not hang";
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(LogEntries(Log()), (std::vector<std::string>{"log start", "log end"}));
}

#if defined(__i386__)
// Calls fn with count 32-bit arguments pushed right to left; gives the bytes it removed.
extern "C" uint32_t CallAndMeasure(const void* fn, const uint32_t* args, uint32_t count);
asm(R"(
    .text
    .globl _CallAndMeasure
_CallAndMeasure:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    movl %esp, %ebx
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)
    jmp 1b
2:  movl %esp, %edi
    call *8(%ebp)
    movl %esp, %eax
    subl %edi, %eax
    movl %ebx, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

// Each entry point removes exactly its arguments' bytes from the stack.
TEST_F(DllTest, EveryEntryPointRemovesItsArguments) {
    Load();
    static const char caption[] = "x";
    const uint32_t args[4] = {0, 0, 0, 0};
    const uint32_t captionArgs[1] = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(caption))};
    const std::pair<const char*, uint32_t> entries[] = {
        {"InitHardSID_Mapper", 0}, {"ReadFromHardSID", 8}, {"MuteHardSID_Line", 4}, {"WriteToHardSID", 12},
        {"GetHardSIDCount", 0},    {"SetDebug", 4},        {"HardSID_Delay", 8},    {"HardSID_SoftFlush", 4},
        {"HardSID_Flush", 4},      {"HardSID_Write", 16},  {"HardSID_Devices", 0},  {"HardSID_Filter", 8},
        {"HardSID_Mute", 8},       {"HardSID_MuteAll", 8}, {"HardSID_Version", 0},  {"HardSID_Sync", 4},
        {"HardSID_Read", 12},      {"HardSID_Reset", 4},   {"HardSID_Mute2", 16},   {"HardSID_Reset2", 8},
        {"HardSID_Unlock", 4},     {"HardSID_Lock", 4},    {"setCaption", 4}};
    for (const auto& [name, bytes] : entries) {
        const void* fn = reinterpret_cast<const void*>(::GetProcAddress(module_, name));
        ASSERT_NE(fn, nullptr) << name;
        const bool isCaption = std::strcmp(name, "setCaption") == 0;
        EXPECT_EQ(CallAndMeasure(fn, isCaption ? captionArgs : args, bytes / 4), bytes) << name;
    }
}
#endif

} // namespace
} // namespace hardsid::test
