// SPDX-License-Identifier: GPL-2.0-or-later
// Destroying the MIDI output port with long messages in flight, on its own thread or another.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "midi/midi_out.h"
#include "midi_test_support.h"

namespace hardsid {
namespace {

using test::DoubleTest;
using test::Only;

const uint8_t kFrame[] = {0xF0, 0x2D, 0x4E, 0x00, 0xF7};

class MidiDestructionTest : public DoubleTest {
protected:
    // The port's thread may handle stale notices later: they must reach nothing of ours.
    void TearDown() override { test::PumpPending(); }

    void ExpectAllReleasedAndClosed() {
        EXPECT_EQ(TMyMidiHdr::LiveCount(), 0);
        EXPECT_EQ(double_.ReportLeaks(), 0);
        const auto record = Record();
        const auto closes = Only(record, "midiOutClose");
        EXPECT_EQ(closes.size(), Only(record, "midiOutOpen").size());
        for (const auto& close : closes) {
            EXPECT_EQ(close["result"], "0");
        }
    }
};

// Destroying the port on its own thread releases queued messages and those whose notices
// were already posted but not handled.
TEST_F(MidiDestructionTest, OnItsOwnThreadEveryBufferIsReleased) {
    const struct {
        const char* name;
        const char* delay;
        size_t doneBeforeDestruction;
    } cases[] = {{"still queued", "delay 60000000", 0}, {"notices posted", "delay 0", 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Configure(std::string("device Synth A;") + c.delay);
        const size_t doneEarlier = Only(Record(), "MOM_DONE").size();
        auto port = std::make_unique<TMidiOutput>(nullptr);
        int released = 0;
        port->Onmidioutput = [&](TComponent*) { ++released; };
        ASSERT_TRUE(port->Open());
        for (int i = 0; i < 5; ++i) {
            port->SendLongMessage(kFrame, sizeof kFrame);
        }
        // Without dispatching, wait until the device has reported what it will.
        const ULONGLONG end = ::GetTickCount64() + 10000;
        const auto done = [&] { return Only(Record(), "MOM_DONE").size() - doneEarlier; };
        while (done() < c.doneBeforeDestruction && ::GetTickCount64() < end) {
            ::Sleep(1);
        }
        ASSERT_EQ(done(), c.doneBeforeDestruction);
        port.reset();
        EXPECT_EQ(released, 0) << "no event from a port being destroyed";
        ExpectAllReleasedAndClosed();
    }
}

// Destroying the port from a thread that does not own its window neither hangs nor leaves
// the port's procedure in place: the owner later closes the window with default handling,
// and the stale notices reach nothing.
TEST_F(MidiDestructionTest, FromAnotherThreadWhileTheOwnerWaits) {
    Configure("device Synth A; delay 60000000");
    std::unique_ptr<TMidiOutput> port;
    HWND notifyWindow = nullptr;
    const HANDLE built = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const HANDLE destroyed = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool windowGone = false;
    std::thread owner([&] {
        port = std::make_unique<TMidiOutput>(nullptr);
        notifyWindow = port->NotifyWindow();
        if (port->Open()) {
            for (int i = 0; i < 5; ++i) {
                port->SendLongMessage(kFrame, sizeof kFrame);
            }
        }
        ::SetEvent(built);
        ::WaitForSingleObject(destroyed, INFINITE); // not dispatching meanwhile
        windowGone = test::PumpUntil([&] { return !::IsWindow(notifyWindow); });
    });
    ::WaitForSingleObject(built, INFINITE);
    ASSERT_TRUE(port->IsOpen());
    port.reset();
    ExpectAllReleasedAndClosed();
    ::SetEvent(destroyed);
    owner.join();
    EXPECT_TRUE(windowGone);
    ::CloseHandle(built);
    ::CloseHandle(destroyed);
}

// When the owning thread has ended, its window is gone with it; destruction still releases
// every buffer.
TEST_F(MidiDestructionTest, AfterTheOwningThreadEnded) {
    Configure("device Synth A; delay 60000000");
    std::unique_ptr<TMidiOutput> port;
    std::thread owner([&] {
        port = std::make_unique<TMidiOutput>(nullptr);
        if (port->Open()) {
            for (int i = 0; i < 5; ++i) {
                port->SendLongMessage(kFrame, sizeof kFrame);
            }
        }
    });
    owner.join();
    ASSERT_TRUE(port->IsOpen());
    EXPECT_FALSE(::IsWindow(port->NotifyWindow()));
    port.reset();
    ExpectAllReleasedAndClosed();
}

} // namespace
} // namespace hardsid
