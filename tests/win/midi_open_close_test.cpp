// SPDX-License-Identifier: GPL-2.0-or-later
// Opening and closing the MIDI output port, short messages and events, and the callback path.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "midi/midi_out.h"
#include "midi_test_support.h"
#include "win32/component.h"

namespace hardsid {
namespace {

using test::DoubleTest;
using test::Only;

constexpr const char* kThreeDevices = "device Synth A; device Synth B; device Synth C";

class MidiOpenCloseTest : public DoubleTest {};

// A refused open returns false and leaves the port closed; a later open works on a fresh
// callback record that then carries completions.
TEST_F(MidiOpenCloseTest, RefusedOpenReturnsFalseAndALaterOpenWorks) {
    Configure(std::string(kThreeDevices) + "; refuse open 1");
    TMidiOutput port(nullptr);
    int done = 0;
    port.Onmidioutput = [&](TComponent*) { ++done; };
    port.SetDeviceID(1);
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.Close()) << "nothing was opened";

    port.SetDeviceID(2);
    ASSERT_TRUE(port.Open());
    const uint8_t frame[] = {0xF0, 0x2D, 0x4C, 0xF7};
    port.SendLongMessage(frame, sizeof frame);
    EXPECT_TRUE(test::PumpUntil([&] { return done == 1; }));

    const auto opens = Only(Record(), "midiOutOpen");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0]["result"], std::to_string(MMSYSERR_ALLOCATED));
    EXPECT_EQ(opens[1]["result"], "0");
    EXPECT_EQ(opens[1]["flags"], "0x00030000") << "CALLBACK_FUNCTION";
    EXPECT_TRUE(port.Close());
}

// The callback record made by the first open is kept across close and open.
TEST_F(MidiOpenCloseTest, CallbackRecordIsKeptAcrossCloseAndOpen) {
    Configure(kThreeDevices);
    TMidiOutput port(nullptr);
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(port.Close());
    port.SetDeviceID(2);
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(port.Close());
    const auto opens = Only(Record(), "midiOutOpen");
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0]["instance"], opens[1]["instance"]);
    EXPECT_EQ(opens[1]["device"], "2");
}

// Close answers whether the platform closed the device; a closed port answers false.
TEST_F(MidiOpenCloseTest, CloseOnAClosedPortReturnsFalse) {
    Configure(kThreeDevices);
    TMidiOutput port(nullptr);
    EXPECT_FALSE(port.Close());
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.Close());
    EXPECT_EQ(Only(Record(), "midiOutClose").size(), 1u);
}

// Close resets the device first, so that queued long messages come back unprepared and the
// close succeeds; their notices still release them afterwards.
TEST_F(MidiOpenCloseTest, CloseResetsSoThatQueuedMessagesComeBack) {
    Configure(std::string(kThreeDevices) + "; delay 60000000");
    TMidiOutput port(nullptr);
    int done = 0;
    port.Onmidioutput = [&](TComponent*) { ++done; };
    ASSERT_TRUE(port.Open());
    const uint8_t frame[] = {0xF0, 0x2D, 0x4E, 0x00, 0xF7};
    for (int i = 0; i < 3; ++i) {
        port.SendLongMessage(frame, sizeof frame);
    }
    EXPECT_TRUE(port.Close());
    EXPECT_EQ(double_.ReportLeaks(), 0) << "every header was unprepared before the close";
    EXPECT_TRUE(test::PumpUntil([&] { return done == 3; }));
    EXPECT_EQ(TMyMidiHdr::LiveCount(), 0);

    std::vector<std::string> order;
    for (const auto& line : Record()) {
        if (line.event == "midiOutReset" || line.event == "midiOutClose" || line.event == "MOM_DONE") {
            order.push_back(line.event + " " + line["result"]);
        }
    }
    const std::vector<std::string> expected = {"MOM_DONE <none>", "MOM_DONE <none>", "MOM_DONE <none>",
                                               "midiOutReset 0", "midiOutClose 0"};
    EXPECT_EQ(order, expected);
}

// An owned port goes with its owner, and closes its device on the way.
TEST_F(MidiOpenCloseTest, OwnerDestroysItsPortWhichClosesTheDevice) {
    Configure(kThreeDevices);
    auto owner = std::make_unique<TComponent>(nullptr);
    auto* port = new TMidiOutput(owner.get());
    ASSERT_TRUE(port->Open());
    owner.reset();
    const auto closes = Only(Record(), "midiOutClose");
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0]["result"], "0");
    EXPECT_EQ(double_.ReportLeaks(), 0);
}

// Short messages pack status, data 1 and data 2 into bits 0-7, 8-15 and 16-23; a refusal
// raises the driver's text.
TEST_F(MidiOpenCloseTest, ShortMessagesArePackedAndRefusalsRaised) {
    Configure(kThreeDevices);
    TMidiOutput port(nullptr);
    EXPECT_THROW(port.SendShortMessage(0x90, 0x3C, 0x40), EmidioutputError) << "closed: no handle";
    ASSERT_TRUE(port.Open());
    port.SendShortMessage(0x90, 0x3C, 0x40);
    const auto shorts = Only(Record(), "midiOutShortMsg");
    ASSERT_EQ(shorts.size(), 2u);
    EXPECT_EQ(shorts[0]["result"], std::to_string(MMSYSERR_INVALHANDLE));
    EXPECT_EQ(shorts[1]["message"], "0x00403C90");
    EXPECT_EQ(shorts[1]["result"], "0");
    EXPECT_TRUE(port.Close());
}

// SendEvent needs an open port; it sends SysEx bytes as a long message, anything else short.
TEST_F(MidiOpenCloseTest, SendEventRoutesByContent) {
    Configure(kThreeDevices);
    TMidiOutput port(nullptr);
    const uint8_t sysex[] = {0xF0, 0x7D, 0x01, 0xF7};
    const TMyMidiEvent longEvent{0xF0, 0, 0, sizeof sysex, sysex};
    const TMyMidiEvent shortEvent{0xB0, 0x07, 0x64, 0, nullptr};
    try {
        port.SendEvent(shortEvent);
        ADD_FAILURE() << "nothing raised";
    } catch (const EmidioutputError& error) {
        EXPECT_STREQ(error.what(), kDeviceNotOpen);
    }
    ASSERT_TRUE(port.Open());
    port.SendEvent(longEvent);
    port.SendEvent(shortEvent);
    const auto record = Record();
    const auto longs = Only(record, "midiOutLongMsg");
    ASSERT_EQ(longs.size(), 1u);
    EXPECT_EQ(longs[0]["data"], "F07D01F7");
    const auto shorts = Only(record, "midiOutShortMsg");
    ASSERT_EQ(shorts.size(), 1u);
    EXPECT_EQ(shorts[0]["message"], "0x006407B0");
    EXPECT_TRUE(port.Close());
    test::PumpUntil([] { return TMyMidiHdr::LiveCount() == 0; });
}

// The port's hidden window leaves every message but MM_MOM_DONE to the default procedure.
TEST_F(MidiOpenCloseTest, NotifyWindowGivesOtherMessagesTheDefault) {
    TMidiOutput port(nullptr);
    ASSERT_TRUE(::SendMessageA(port.NotifyWindow(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("notices")));
    char text[16] = {};
    ::SendMessageA(port.NotifyWindow(), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "notices");
}

/// A window of the test's thread, to see what the callback posts.
class PostedMessages final : public win32::IWindowHandler {
public:
    LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept override {
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    }
    win32::THiddenWindow window{"MidiCallbackTestWindow", *this};
};

// The callback posts one MM_MOM_DONE with the header for a completion and ignores the rest:
// the open and close notices and the input messages.
TEST(MidiCallback, PostsOnlyCompletions) {
    PostedMessages target;
    UniqueCallbackRecord record(CreateCallbackRecord());
    ASSERT_TRUE(record);
    record.get()->Window = target.window.get();
    MIDIHDR header{};
    const auto instance = reinterpret_cast<DWORD_PTR>(record.get());
    const auto param1 = reinterpret_cast<DWORD_PTR>(&header);
    for (const UINT ignored : {UINT{MOM_OPEN}, UINT{MOM_CLOSE}, 0x3C3u, 0x3C4u, 0x3C6u, 0x3CAu}) {
        SCOPED_TRACE(ignored);
        DriverCallback(nullptr, ignored, instance, param1, 0);
        MSG posted;
        EXPECT_FALSE(::PeekMessageA(&posted, target.window.get(), 0, 0, PM_REMOVE));
    }
    DriverCallback(nullptr, MOM_DONE, instance, param1, 0);
    MSG posted;
    ASSERT_TRUE(::PeekMessageA(&posted, target.window.get(), 0, 0, PM_REMOVE));
    EXPECT_EQ(posted.message, static_cast<UINT>(MM_MOM_DONE));
    EXPECT_EQ(posted.wParam, 0u);
    EXPECT_EQ(posted.lParam, static_cast<LPARAM>(param1));
    EXPECT_FALSE(::PeekMessageA(&posted, target.window.get(), 0, 0, PM_REMOVE)) << "one message only";
}

} // namespace
} // namespace hardsid
