// SPDX-License-Identifier: GPL-2.0-or-later
// Long messages: each travels in a buffer of its own, released once by its completion.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "midi/midi_out.h"
#include "midi_test_support.h"

namespace hardsid {
namespace {

using test::DoubleTest;
using test::Only;

/// An open port on the first of three devices, counting its Onmidioutput events.
class MidiSendTest : public DoubleTest {
protected:
    void OpenPort(const std::string& extraSettings = "") {
        Configure("device Synth A; device Synth B; device Synth C;" + extraSettings);
        port_ = std::make_unique<TMidiOutput>(nullptr);
        port_->Onmidioutput = [this](TComponent* sender) {
            EXPECT_EQ(sender, port_.get());
            ++released_;
        };
        ASSERT_TRUE(port_->Open());
    }
    void TearDown() override {
        port_.reset();
        EXPECT_EQ(TMyMidiHdr::LiveCount(), 0);
    }

    std::unique_ptr<TMidiOutput> port_;
    int released_ = 0;
};

// Two messages sent back to back are both delivered and released, each by its own notice.
TEST_F(MidiSendTest, TwoMessagesBackToBackAreBothReleased) {
    OpenPort();
    const uint8_t first[] = {0xF0, 0x2D, 0x4C, 0xF7};
    const uint8_t second[] = {0xF0, 0x2D, 0x4E, 0x01, 0x02, 0xF7};
    port_->SendLongMessage(first, sizeof first);
    port_->SendLongMessage(second, sizeof second);
    ASSERT_TRUE(test::PumpUntil([&] { return released_ == 2; }));
    EXPECT_EQ(TMyMidiHdr::LiveCount(), 0);

    const auto record = Record();
    const auto sent = Only(record, "midiOutLongMsg");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0]["data"], "F02D4CF7");
    EXPECT_EQ(sent[1]["data"], "F02D4E0102F7");
    EXPECT_EQ(Only(record, "MOM_DONE").size(), 2u);
    for (const auto& unprepared : Only(record, "midiOutUnprepareHeader")) {
        EXPECT_EQ(unprepared["result"], "0");
    }
    EXPECT_EQ(Only(record, "midiOutUnprepareHeader").size(), 2u);
    EXPECT_TRUE(port_->Close());
    EXPECT_EQ(double_.ReportLeaks(), 0);
}

// On a closed port the platform refuses the prepare: the message is dropped without a word.
TEST_F(MidiSendTest, SendOnAClosedPortIsSilent) {
    Configure("device Synth A");
    TMidiOutput port(nullptr);
    const uint8_t frame[] = {0xF0, 0x2D, 0x4C, 0xF7};
    port.SendLongMessage(frame, sizeof frame);
    EXPECT_EQ(TMyMidiHdr::LiveCount(), 0);
    const auto record = Record();
    EXPECT_TRUE(Only(record, "midiOutLongMsg").empty());
    const auto prepares = Only(record, "midiOutPrepareHeader");
    ASSERT_EQ(prepares.size(), 1u);
    EXPECT_EQ(prepares[0]["result"], std::to_string(MMSYSERR_INVALHANDLE));
}

// A message whose prepare or send is refused gets no notice, so it is released at once,
// unprepared first when the prepare had succeeded.
TEST_F(MidiSendTest, RefusedMessageIsReleasedAtOnce) {
    for (const char* refusal : {"refuse prepare", "refuse send"}) {
        SCOPED_TRACE(refusal);
        OpenPort(refusal);
        const uint8_t frame[] = {0xF0, 0x2D, 0x4C, 0xF7};
        port_->SendLongMessage(frame, sizeof frame);
        EXPECT_EQ(TMyMidiHdr::LiveCount(), 0) << "released before SendLongMessage returned";
        EXPECT_TRUE(port_->Close());
        EXPECT_EQ(double_.ReportLeaks(), 0) << "no header left prepared";
        test::PumpPending();
        EXPECT_EQ(released_, 0);
    }
}

// A message of length 0 has no header: nothing goes to the device.
TEST_F(MidiSendTest, EmptyMessageSendsNothing) {
    OpenPort();
    port_->SendLongMessage(nullptr, 0);
    EXPECT_TRUE(Only(Record(), "midiOutPrepareHeader").empty());
    EXPECT_TRUE(port_->Close());
}

// The longest message, 65535 bytes, reaches the device whole.
TEST_F(MidiSendTest, LongestMessageArrivesWhole) {
    OpenPort();
    std::vector<uint8_t> message(65535);
    for (size_t i = 0; i < message.size(); ++i) {
        message[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    port_->SendLongMessage(message.data(), static_cast<uint16_t>(message.size()));
    ASSERT_TRUE(test::PumpUntil([&] { return released_ == 1; }));
    const auto sent = Only(Record(), "midiOutLongMsg");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0]["length"], "65535");
    EXPECT_EQ(sent[0]["data"], test::Hex(message.data(), message.size()));
    EXPECT_TRUE(port_->Close());
}

// A notice that arrives after the device was closed and another opened still releases the
// old device's buffer and fires Onmidioutput.
TEST_F(MidiSendTest, NoticeAfterADeviceChangeStillReleasesItsBuffer) {
    OpenPort("delay 60000000");
    const uint8_t frame[] = {0xF0, 0x2D, 0x4C, 0xF7};
    port_->SendLongMessage(frame, sizeof frame);
    ASSERT_TRUE(port_->Close());
    port_->SetDeviceID(1);
    ASSERT_TRUE(port_->Open());
    EXPECT_EQ(TMyMidiHdr::LiveCount(), 1) << "its notice is not handled yet";
    ASSERT_TRUE(test::PumpUntil([&] { return released_ == 1; }));
    EXPECT_EQ(TMyMidiHdr::LiveCount(), 0);
    EXPECT_TRUE(port_->Close());
    EXPECT_EQ(double_.ReportLeaks(), 0);
}

// A send releases the messages that the driver has finished with, so their notices come
// late. A late notice releases nothing more, even when its header's address has been given
// to the next message, still queued; the event still fires once per notice.
TEST_F(MidiSendTest, SendReleasesFinishedMessagesAndTheirLateNoticesReleaseNothing) {
    OpenPort("delay 200000"); // 200 ms from each message to its notice
    const uint8_t first[] = {0xF0, 0x2D, 0x4C, 0xF7};
    const uint8_t second[] = {0xF0, 0x2D, 0x4D, 0xF7};
    port_->SendLongMessage(first, sizeof first);
    ASSERT_TRUE(port_->WaitUntilSent(5000));
    port_->SendLongMessage(second, sizeof second);
    EXPECT_EQ(TMyMidiHdr::LiveCount(), 1) << "the first is released by the second send";
    auto unprepared = Only(Record(), "midiOutUnprepareHeader");
    ASSERT_EQ(unprepared.size(), 1u);
    EXPECT_EQ(unprepared[0]["result"], "0");

    ASSERT_TRUE(test::PumpUntil([&] { return released_ == 1; })); // the first one's notice
    EXPECT_EQ(TMyMidiHdr::LiveCount(), 1) << "the queued second message is not touched";
    ASSERT_TRUE(test::PumpUntil([&] { return released_ == 2; }));
    EXPECT_EQ(TMyMidiHdr::LiveCount(), 0);
    const auto record = Record();
    const auto sent = Only(record, "midiOutLongMsg");
    ASSERT_EQ(sent.size(), 2u);
    if (sent[0]["header"] != sent[1]["header"]) {
        std::printf("note: the second header did not reuse the first one's address\n");
    }
    unprepared = Only(record, "midiOutUnprepareHeader");
    ASSERT_EQ(unprepared.size(), 2u) << "each header unprepared once";
    EXPECT_EQ(unprepared[1]["header"], sent[1]["header"]);
    EXPECT_EQ(unprepared[1]["result"], "0");
    EXPECT_TRUE(port_->Close());
    EXPECT_EQ(double_.ReportLeaks(), 0);
}

// Streaming many frames leaves nothing behind: every buffer released, every header unprepared.
TEST_F(MidiSendTest, TenThousandMessagesLeaveNoLeak) {
    OpenPort("delay 0");
    uint8_t frame[40] = {0xF0, 0x2D, 0x4E};
    frame[39] = 0xF7;
    constexpr int kMessages = 10000;
    for (int i = 0; i < kMessages; ++i) {
        frame[3] = static_cast<uint8_t>(i & 0x7F);
        port_->SendLongMessage(frame, sizeof frame);
        if (i % 64 == 0) {
            test::PumpPending();
        }
    }
    ASSERT_TRUE(test::PumpUntil([&] { return released_ == kMessages; }, 60000)) << released_;
    EXPECT_EQ(TMyMidiHdr::LiveCount(), 0);
    EXPECT_TRUE(port_->Close());
    EXPECT_EQ(double_.ReportLeaks(), 0);
    const auto record = Record();
    EXPECT_EQ(Only(record, "midiOutLongMsg").size(), static_cast<size_t>(kMessages));
    EXPECT_EQ(Only(record, "MOM_DONE").size(), static_cast<size_t>(kMessages));
}

// The host's thread sends while the port's thread releases: no message is lost or released twice.
TEST_F(MidiSendTest, SendingFromAnotherThreadWhileReleasing) {
    OpenPort("delay 0");
    constexpr int kMessages = 2000;
    std::atomic<bool> finished{false};
    std::thread host([&] {
        const uint8_t frame[] = {0xF0, 0x2D, 0x4E, 0x00, 0xF7};
        for (int i = 0; i < kMessages; ++i) {
            port_->SendLongMessage(frame, sizeof frame);
        }
        finished = true;
    });
    const bool allReleased = test::PumpUntil([&] { return finished && released_ == kMessages; }, 60000);
    host.join();
    EXPECT_TRUE(allReleased) << released_;
    EXPECT_TRUE(port_->Close());
    EXPECT_EQ(double_.ReportLeaks(), 0);
}

} // namespace
} // namespace hardsid
