// SPDX-License-Identifier: GPL-2.0-or-later
// The scripted winmm behaves like a MIDI output driver where the port depends on it, and
// records what it received in its documented format.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <string>
#include <vector>

#include "midi_test_support.h"

namespace hardsid::test {
namespace {

/// What a CALLBACK_FUNCTION callback saw, in order.
struct Notice {
    UINT message;
    DWORD_PTR header;
    DWORD thread;
    DWORD flags; // the header's flags when the notice came
};

class Notices {
public:
    static void CALLBACK Callback(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
        auto* self = reinterpret_cast<Notices*>(instance);
        ::AcquireSRWLockExclusive(&self->lock_);
        const DWORD flags = param1 != 0 ? reinterpret_cast<const MIDIHDR*>(param1)->dwFlags : 0;
        self->seen_.push_back({message, param1, ::GetCurrentThreadId(), flags});
        ::ReleaseSRWLockExclusive(&self->lock_);
    }
    std::vector<Notice> Seen() {
        ::AcquireSRWLockExclusive(&lock_);
        std::vector<Notice> copy = seen_;
        ::ReleaseSRWLockExclusive(&lock_);
        return copy;
    }
    /// Waits, without dispatching anything, until count notices have come.
    bool WaitFor(size_t count) {
        const ULONGLONG end = ::GetTickCount64() + 10000;
        while (Seen().size() < count && ::GetTickCount64() < end) {
            ::Sleep(1);
        }
        return Seen().size() >= count;
    }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::vector<Notice> seen_;
};

HMIDIOUT OpenWith(Notices& notices, UINT device = 0) {
    HMIDIOUT handle = nullptr;
    EXPECT_EQ(::midiOutOpen(&handle, device, reinterpret_cast<DWORD_PTR>(&Notices::Callback),
                            reinterpret_cast<DWORD_PTR>(&notices), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    return handle;
}

/// A prepared header over bytes of its own.
struct Message {
    explicit Message(std::vector<uint8_t> content) : bytes(std::move(content)) {
        header.lpData = reinterpret_cast<LPSTR>(bytes.data());
        header.dwBufferLength = static_cast<DWORD>(bytes.size());
    }
    std::vector<uint8_t> bytes;
    MIDIHDR header{};
};

class WinmmDoubleTest : public DoubleTest {};

// Completion comes later, from a thread of the driver's own, with the header marked done.
TEST_F(WinmmDoubleTest, CompletionComesFromAnotherThreadMarkedDone) {
    Configure("device Synth A; delay 2000");
    Notices notices;
    const HMIDIOUT handle = OpenWith(notices);
    Message message({0xF0, 0x7D, 0xF7});
    ASSERT_EQ(::midiOutPrepareHeader(handle, &message.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(::midiOutLongMsg(handle, &message.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_NE(message.header.dwFlags & MHDR_INQUEUE, 0u) << "queued when the call returns";
    ASSERT_TRUE(notices.WaitFor(2));
    const auto seen = notices.Seen();
    EXPECT_EQ(seen[0].message, static_cast<UINT>(MOM_OPEN));
    EXPECT_EQ(seen[1].message, static_cast<UINT>(MOM_DONE));
    EXPECT_EQ(seen[1].header, reinterpret_cast<DWORD_PTR>(&message.header));
    EXPECT_NE(seen[1].thread, ::GetCurrentThreadId());
    EXPECT_EQ(seen[1].flags & (MHDR_DONE | MHDR_INQUEUE), static_cast<DWORD>(MHDR_DONE));
    EXPECT_EQ(::midiOutUnprepareHeader(handle, &message.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(::midiOutClose(handle), MMSYSERR_NOERROR);
}

// While messages are queued, close and unprepare are refused; reset hands every one back
// with its notice before it returns, in order; then close succeeds and says so in a notice.
TEST_F(WinmmDoubleTest, CloseIsRefusedWhileQueuedAndResetHandsMessagesBack) {
    Configure("device Synth A; delay 60000000");
    Notices notices;
    const HMIDIOUT handle = OpenWith(notices);
    Message first({0xF0, 0x01, 0xF7});
    Message second({0xF0, 0x02, 0xF7});
    for (Message* message : {&first, &second}) {
        ASSERT_EQ(::midiOutPrepareHeader(handle, &message->header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(::midiOutLongMsg(handle, &message->header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(::midiOutClose(handle), MIDIERR_STILLPLAYING);
    EXPECT_EQ(::midiOutUnprepareHeader(handle, &first.header, sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
    EXPECT_EQ(::midiOutLongMsg(handle, &first.header, sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);

    EXPECT_EQ(::midiOutReset(handle), MMSYSERR_NOERROR);
    auto seen = notices.Seen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1].header, reinterpret_cast<DWORD_PTR>(&first.header));
    EXPECT_EQ(seen[2].header, reinterpret_cast<DWORD_PTR>(&second.header));
    for (const Message* message : {&first, &second}) {
        EXPECT_EQ(message->header.dwFlags, static_cast<DWORD>(MHDR_DONE | MHDR_PREPARED));
        EXPECT_EQ(::midiOutUnprepareHeader(handle, const_cast<MIDIHDR*>(&message->header), sizeof(MIDIHDR)),
                  MMSYSERR_NOERROR);
    }
    EXPECT_EQ(::midiOutClose(handle), MMSYSERR_NOERROR);
    seen = notices.Seen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[3].message, static_cast<UINT>(MOM_CLOSE));
    EXPECT_EQ(::midiOutClose(handle), MMSYSERR_INVALHANDLE) << "the handle is gone";
}

// With CALLBACK_WINDOW the notices arrive as window messages with the handle and header.
TEST_F(WinmmDoubleTest, WindowCallbackPostsTheNotices) {
    Configure("device Synth A; delay 0");
    const HWND window = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    HMIDIOUT handle = nullptr;
    ASSERT_EQ(::midiOutOpen(&handle, 0, reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);
    Message message({0xF0, 0x7D, 0xF7});
    ASSERT_EQ(::midiOutPrepareHeader(handle, &message.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(::midiOutLongMsg(handle, &message.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    const ULONGLONG end = ::GetTickCount64() + 10000; // not dispatching: the notices stay queued
    while ((message.header.dwFlags & MHDR_DONE) == 0 && ::GetTickCount64() < end) {
        ::Sleep(1);
    }
    ASSERT_NE(message.header.dwFlags & MHDR_DONE, 0u);
    ::midiOutUnprepareHeader(handle, &message.header, sizeof(MIDIHDR));
    ASSERT_EQ(::midiOutClose(handle), MMSYSERR_NOERROR);

    const UINT expected[] = {MM_MOM_OPEN, MM_MOM_DONE, MM_MOM_CLOSE};
    for (const UINT notice : expected) {
        SCOPED_TRACE(notice);
        MSG posted;
        ASSERT_TRUE(::PeekMessageA(&posted, window, notice, notice, PM_REMOVE));
        EXPECT_EQ(posted.wParam, reinterpret_cast<WPARAM>(handle));
        EXPECT_EQ(posted.lParam, notice == MM_MOM_DONE ? reinterpret_cast<LPARAM>(&message.header) : 0);
    }
    ::DestroyWindow(window);
}

// Each configured refusal and the vanishing list give the driver's results.
TEST_F(WinmmDoubleTest, RefusalsAndVanishingDevices) {
    Notices notices;
    MIDIOUTCAPSA caps{};
    HMIDIOUT handle = nullptr;
    const auto open = [&](UINT device) {
        const MMRESULT result = ::midiOutOpen(&handle, device, reinterpret_cast<DWORD_PTR>(&Notices::Callback),
                                              reinterpret_cast<DWORD_PTR>(&notices), CALLBACK_FUNCTION);
        if (result == MMSYSERR_NOERROR) {
            ::midiOutClose(handle);
        }
        return result;
    };
    Configure("device A; device B; device C; refuse open 1; refuse caps 2");
    EXPECT_EQ(open(0), MMSYSERR_NOERROR);
    EXPECT_EQ(open(1), MMSYSERR_ALLOCATED);
    EXPECT_EQ(open(3), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(::midiOutGetDevCapsA(1, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "B");
    EXPECT_EQ(::midiOutGetDevCapsA(2, &caps, sizeof caps), MMSYSERR_NODRIVER);

    Configure("mapper Router");
    EXPECT_EQ(::midiOutGetNumDevs(), 0u);
    EXPECT_EQ(open(MIDI_MAPPER), MIDIERR_NODEVICE) << "a mapper with nothing to map to";
    EXPECT_EQ(::midiOutGetDevCapsA(MIDI_MAPPER, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Router");

    Configure("device A; device B; device C; vanish 1");
    EXPECT_EQ(::midiOutGetNumDevs(), 3u);
    EXPECT_EQ(::midiOutGetNumDevs(), 1u);
    EXPECT_EQ(open(2), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(open(MIDI_MAPPER), MMSYSERR_NOERROR);

    for (const char* refusal : {"refuse prepare", "refuse send"}) {
        SCOPED_TRACE(refusal);
        Configure(std::string("device A;") + refusal);
        handle = OpenWith(notices);
        Message message({0xF0, 0xF7});
        const MMRESULT prepared = ::midiOutPrepareHeader(handle, &message.header, sizeof(MIDIHDR));
        const MMRESULT sent = ::midiOutLongMsg(handle, &message.header, sizeof(MIDIHDR));
        if (refusal == std::string("refuse prepare")) {
            EXPECT_EQ(prepared, MMSYSERR_NOMEM);
            EXPECT_EQ(sent, MIDIERR_UNPREPARED);
        } else {
            EXPECT_EQ(prepared, MMSYSERR_NOERROR);
            EXPECT_EQ(sent, MIDIERR_NOTREADY);
            ::midiOutUnprepareHeader(handle, &message.header, sizeof(MIDIHDR));
        }
        EXPECT_EQ(::midiOutClose(handle), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(double_.Configure("device A; refuse everything"), 2);
    EXPECT_EQ(double_.Configure("device A;;delay soon"), 3);
}

// Error texts fit the caller's buffer; unknown codes are refused.
TEST_F(WinmmDoubleTest, ErrorTexts) {
    char text[128];
    for (const MMRESULT code : {MMSYSERR_ALLOCATED, MMSYSERR_NOMEM, MIDIERR_STILLPLAYING, MIDIERR_NOTREADY}) {
        SCOPED_TRACE(code);
        text[0] = '\0';
        EXPECT_EQ(::midiOutGetErrorTextA(code, text, sizeof text), MMSYSERR_NOERROR);
        EXPECT_GT(std::string(text).size(), 10u);
    }
    EXPECT_EQ(::midiOutGetErrorTextA(200, text, sizeof text), MMSYSERR_BADERRNUM);
    char small[8];
    EXPECT_EQ(::midiOutGetErrorTextA(MMSYSERR_NOMEM, small, sizeof small), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(small).size(), 7u);
}

// The record holds each call with its result, each notice, and each message's bytes, in
// order, as "<stamp> <event> key=value ..." with stamps that never go back.
TEST_F(WinmmDoubleTest, RecordFormat) {
    Configure("device Synth A; device Synth B; delay 0");
    Notices notices;
    const UINT count = ::midiOutGetNumDevs();
    const HMIDIOUT handle = OpenWith(notices, 1);
    Message message({0xF0, 0x2D, 0x4C, 0xF7});
    ::midiOutPrepareHeader(handle, &message.header, sizeof(MIDIHDR));
    ::midiOutLongMsg(handle, &message.header, sizeof(MIDIHDR));
    ASSERT_TRUE(notices.WaitFor(2));
    ::midiOutUnprepareHeader(handle, &message.header, sizeof(MIDIHDR));
    ::midiOutShortMsg(handle, 0x00403C90);
    ::midiOutClose(handle);
    ASSERT_EQ(count, 2u);

    const std::string h = std::to_string(reinterpret_cast<uintptr_t>(handle));
    char headerText[24];
    std::snprintf(headerText, sizeof headerText, "0x%llX",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&message.header)));
    const std::string header = headerText;
    const std::vector<std::pair<std::string, std::map<std::string, std::string>>> expected = {
        {"start", {}},
        {"configure", {{"devices", "0"}, {"result", "0"}}},
        {"configure", {{"devices", "2"}, {"result", "0"}}},
        {"midiOutGetNumDevs", {{"result", "2"}}},
        {"MOM_OPEN", {{"handle", h}}},
        {"midiOutOpen", {{"device", "1"}, {"flags", "0x00030000"}, {"result", "0"}, {"handle", h}}},
        {"midiOutPrepareHeader", {{"handle", h}, {"header", header}, {"result", "0"}}},
        {"midiOutLongMsg", {{"handle", h}, {"header", header}, {"length", "4"}, {"result", "0"}, {"data", "F02D4CF7"}}},
        {"MOM_DONE", {{"handle", h}, {"header", header}}},
        {"midiOutUnprepareHeader", {{"handle", h}, {"header", header}, {"result", "0"}}},
        {"midiOutShortMsg", {{"handle", h}, {"message", "0x00403C90"}, {"result", "0"}}},
        {"MOM_CLOSE", {{"handle", h}}},
        {"midiOutClose", {{"handle", h}, {"result", "0"}}},
    };
    const auto record = Record();
    ASSERT_EQ(record.size(), expected.size());
    for (size_t i = 0; i < record.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(record[i].event, expected[i].first);
        for (const auto& [key, value] : expected[i].second) {
            EXPECT_EQ(record[i][key], value) << key;
        }
        EXPECT_GT(record[i].stamp, 0);
        if (i > 0) {
            EXPECT_GE(record[i].stamp, record[i - 1].stamp);
        }
    }
    EXPECT_NE(record[0]["frequency"], "<none>");
}

// A header left prepared and a handle left open are reported, by the export and when the
// library unloads.
TEST_F(WinmmDoubleTest, LeaksAreReportedNowAndAtUnload) {
    Configure("device Synth A");
    Notices notices;
    const HMIDIOUT handle = OpenWith(notices);
    Message message({0xF0, 0xF7});
    ASSERT_EQ(::midiOutPrepareHeader(handle, &message.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(double_.ReportLeaks(), 2);
    ::midiOutUnprepareHeader(handle, &message.header, sizeof(MIDIHDR));
    ::midiOutClose(handle);
    EXPECT_EQ(double_.ReportLeaks(), 0);
    const auto counts = Only(Record(), "leaks");
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0]["count"], "2");
    EXPECT_EQ(counts[1]["count"], "0");

    // A second copy of the double, loaded and unloaded under another name.
    char path[MAX_PATH];
    ASSERT_NE(::GetModuleFileNameA(::GetModuleHandleA("winmm.dll"), path, sizeof path), 0u);
    ASSERT_TRUE(::CopyFileA(path, "winmm_unload_copy.dll", FALSE));
    const HMODULE copy = ::LoadLibraryA(".\\winmm_unload_copy.dll");
    ASSERT_NE(copy, nullptr);
    const auto configure = Export<int(WINAPI*)(const char*)>(copy, "double_Configure");
    const auto open = Export<decltype(&::midiOutOpen)>(copy, "midiOutOpen");
    const auto prepare = Export<decltype(&::midiOutPrepareHeader)>(copy, "midiOutPrepareHeader");
    ASSERT_TRUE(configure && open && prepare);
    const std::string unloadRecord = recordPath_ + ".unload.txt";
    ASSERT_EQ(configure(("device Synth A; record " + unloadRecord).c_str()), 0);
    HMIDIOUT leftOpen = nullptr;
    ASSERT_EQ(open(&leftOpen, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    Message leftPrepared({0xF0, 0xF7});
    ASSERT_EQ(prepare(leftOpen, &leftPrepared.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_TRUE(::FreeLibrary(copy));
    EXPECT_EQ(::GetModuleHandleA("winmm_unload_copy.dll"), nullptr) << "really unloaded";

    const auto record = ReadRecord(unloadRecord);
    const auto leaks = Only(record, "leak");
    ASSERT_EQ(leaks.size(), 2u);
    EXPECT_NE(leaks[0]["header"], "<none>");
    EXPECT_EQ(leaks[1]["device"], "0");
    const auto total = Only(record, "leaks");
    ASSERT_EQ(total.size(), 1u);
    EXPECT_EQ(total[0]["count"], "2");
    ::DeleteFileA("winmm_unload_copy.dll");
}

// The timer period calls are counted: an end needs a begin left over, and a period begun and
// never ended is a leak.
TEST_F(WinmmDoubleTest, TimerPeriodsAreCountedAndUnendedOnesAreLeaks) {
    EXPECT_EQ(::timeBeginPeriod(0), TIMERR_NOCANDO);
    EXPECT_EQ(::timeEndPeriod(1), TIMERR_NOCANDO) << "nothing begun";
    EXPECT_EQ(::timeBeginPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(::timeBeginPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(::timeEndPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(double_.ReportLeaks(), 1);
    const auto leaks = Only(Record(), "leak");
    ASSERT_EQ(leaks.size(), 1u);
    EXPECT_EQ(leaks[0]["period"], "1");
    EXPECT_EQ(::timeEndPeriod(1), TIMERR_NOERROR);
    EXPECT_EQ(::timeEndPeriod(1), TIMERR_NOCANDO) << "ended as often as begun";
    EXPECT_EQ(double_.ReportLeaks(), 0);

    const auto begun = Only(Record(), "timeBeginPeriod");
    ASSERT_EQ(begun.size(), 3u);
    EXPECT_EQ(begun[0]["result"], std::to_string(TIMERR_NOCANDO));
    EXPECT_EQ(begun[1]["period"], "1");
    EXPECT_EQ(begun[1]["result"], "0");
    EXPECT_EQ(Only(Record(), "timeEndPeriod").size(), 4u);
}

} // namespace
} // namespace hardsid::test
