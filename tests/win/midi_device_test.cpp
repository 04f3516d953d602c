// SPDX-License-Identifier: GPL-2.0-or-later
// Selecting a device of the MIDI output port by number and by name.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "midi/midi_out.h"
#include "midi_test_support.h"

namespace hardsid {
namespace {

using test::DoubleTest;
using test::Only;

constexpr const char* kThreeDevices = "mapper Wavetable Mapper; device Synth A; device Synth B; device Synth C";

// Runs action and gives the EmidioutputError text it raised, or "<nothing raised>".
std::string RaisedText(const std::function<void()>& action) {
    try {
        action();
    } catch (const EmidioutputError& error) {
        return error.what();
    }
    return "<nothing raised>";
}

class MidiDeviceTest : public DoubleTest {};

// DeviceCount is the count at construction, and DeviceID 0..count-1 name the devices in order.
TEST_F(MidiDeviceTest, DeviceCountAndNamesFollowTheDeviceList) {
    const std::vector<std::vector<std::string>> lists = {{}, {"Synth A", "Synth B", "Synth C"}};
    for (const auto& names : lists) {
        SCOPED_TRACE(names.size());
        std::string settings;
        for (const std::string& name : names) {
            settings += "device " + name + ";";
        }
        Configure(settings);
        TMidiOutput port(nullptr);
        ASSERT_EQ(port.DeviceCount(), names.size());
        EXPECT_EQ(port.DeviceID(), 0);
        EXPECT_EQ(port.ProductName(), "") << "no device is queried at construction";
        for (int id = 0; id < port.DeviceCount(); ++id) {
            port.SetDeviceID(id);
            EXPECT_EQ(port.ProductName(), names[id]);
        }
    }
}

// Devices that appear later are not counted, while DeviceID checks the live count.
TEST_F(MidiDeviceTest, DeviceCountStaysWhileTheLiveCountMoves) {
    Configure("device Synth A; device Synth B; device Synth C; vanish 1");
    TMidiOutput port(nullptr);
    EXPECT_EQ(port.DeviceCount(), 3);
    EXPECT_EQ(RaisedText([&] { port.SetDeviceID(2); }), kInvalidDeviceId) << "device 2 vanished";

    Configure("device Synth A; device Synth B; device Synth C; device Synth D");
    port.SetDeviceID(3);
    EXPECT_EQ(port.ProductName(), "Synth D");
    EXPECT_EQ(port.DeviceCount(), 3);
}

// A DeviceID at or above the live count is refused and leaves number, name and capabilities.
TEST_F(MidiDeviceTest, DeviceIdAtTheCountIsRefusedAndChangesNothing) {
    Configure(kThreeDevices);
    TMidiOutput port(nullptr);
    port.SetDeviceID(1);
    const TMidiOutCaps before = port.Capabilities();
    ASSERT_NE(before.DriverVersion, 0u);
    for (const int id : {3, 4, 0x7FFFFFFF}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(RaisedText([&] { port.SetDeviceID(id); }), kInvalidDeviceId);
        EXPECT_EQ(port.DeviceID(), 1);
        EXPECT_EQ(port.ProductName(), "Synth B");
        EXPECT_EQ(port.Capabilities(), before);
    }
}

// -1 selects the MIDI mapper with its name; other negative numbers are the driver's to refuse.
TEST_F(MidiDeviceTest, MinusOneSelectsTheMapper) {
    Configure(kThreeDevices);
    TMidiOutput port(nullptr);
    port.SetDeviceID(-1);
    EXPECT_EQ(port.DeviceID(), -1);
    EXPECT_EQ(port.ProductName(), "Wavetable Mapper");
    EXPECT_EQ(port.Capabilities().Technology, MOD_MAPPER);

    EXPECT_EQ(RaisedText([&] { port.SetDeviceID(-2); }), TMidiOutput::ErrorText(MMSYSERR_BADDEVICEID));
    EXPECT_EQ(port.DeviceID(), -2) << "the number is taken before the capabilities are read";
    EXPECT_EQ(port.ProductName(), "Wavetable Mapper");
}

// A refused capability query raises the driver's text; the number has changed, the rest not.
TEST_F(MidiDeviceTest, RefusedCapabilityQueryKeepsTheEarlierNameAndCapabilities) {
    Configure(std::string(kThreeDevices) + "; refuse caps 2");
    TMidiOutput port(nullptr);
    port.SetDeviceID(1);
    const TMidiOutCaps before = port.Capabilities();
    EXPECT_EQ(RaisedText([&] { port.SetDeviceID(2); }), TMidiOutput::ErrorText(MMSYSERR_NODRIVER));
    EXPECT_EQ(port.DeviceID(), 2);
    EXPECT_EQ(port.ProductName(), "Synth B");
    EXPECT_EQ(port.Capabilities(), before);
}

// Neither DeviceID nor ProductName changes while the device is open.
TEST_F(MidiDeviceTest, ChangesWhileOpenAreRefused) {
    Configure(kThreeDevices);
    TMidiOutput port(nullptr);
    port.SetDeviceID(1);
    ASSERT_TRUE(port.Open());
    const struct {
        const char* change;
        std::function<void()> action;
        const char* text;
    } cases[] = {
        {"DeviceID", [&] { port.SetDeviceID(2); }, kDeviceIdChangedWhileOpen},
        {"DeviceID, same value", [&] { port.SetDeviceID(1); }, kDeviceIdChangedWhileOpen},
        {"ProductName", [&] { port.SetProductName("Synth C"); }, kProductNameChangedWhileOpen},
        {"ProductName while loading",
         [&] {
             port.SetLoading(true);
             port.SetProductName("Synth C");
         },
         kProductNameChangedWhileOpen},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        EXPECT_EQ(RaisedText(c.action), c.text);
        EXPECT_EQ(port.DeviceID(), 1);
        EXPECT_EQ(port.ProductName(), "Synth B");
        EXPECT_TRUE(port.IsOpen());
    }
    EXPECT_TRUE(port.Close());
}

// The name search walks from the mapper up, matches whole names case-sensitively, and the
// lowest number wins.
TEST_F(MidiDeviceTest, ProductNameSelectsTheLowestExactMatch) {
    Configure("mapper Synth B; device Synth A; device Synth B; device synth b; device Synth B; device Synth");
    const struct {
        const char* name;
        int id;             // expected DeviceID when selected
        std::string raised; // expected error text, empty when selected
    } cases[] = {
        {"Synth A", 0, ""},
        {"synth b", 2, ""},
        {"Synth B", -1, ""}, // the mapper bears it too, and the walk starts there
        {"Synth", 4, ""},
        {"SYNTH A", 0, DeviceNotInstalledText("SYNTH A")},
        {"Synth A ", 0, DeviceNotInstalledText("Synth A ")},
        {"Synt", 0, DeviceNotInstalledText("Synt")},
        // ProductName already holds "" on a fresh port: the walk ends past the last device.
        {"", 0, kInvalidDeviceId},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMidiOutput port(nullptr);
        const std::string raised = RaisedText([&] { port.SetProductName(c.name); });
        if (c.raised.empty()) {
            EXPECT_EQ(raised, "<nothing raised>");
            EXPECT_EQ(port.ProductName(), c.name);
        } else {
            EXPECT_EQ(raised, c.raised);
        }
        EXPECT_EQ(port.DeviceID(), c.id);
    }
}

// Duplicate names pick the lower device number, whichever was selected before.
TEST_F(MidiDeviceTest, DuplicateNamesPickTheLowerNumber) {
    Configure("device Synth A; device Twin; device Synth C; device Twin");
    TMidiOutput port(nullptr);
    port.SetDeviceID(3);
    port.SetProductName("Twin");
    EXPECT_EQ(port.DeviceID(), 1);
}

// A failed capability query ends the name search with the driver's text.
TEST_F(MidiDeviceTest, RefusedCapabilityQueryEndsTheNameSearch) {
    Configure(std::string(kThreeDevices) + "; refuse caps 0");
    TMidiOutput port(nullptr);
    EXPECT_EQ(RaisedText([&] { port.SetProductName("Synth C"); }), TMidiOutput::ErrorText(MMSYSERR_NODRIVER));
    EXPECT_EQ(port.ProductName(), "");
}

// The name of a device that vanished, still held by ProductName, fails as an invalid number.
TEST_F(MidiDeviceTest, NameOfAVanishedDeviceIsAnInvalidNumber) {
    Configure(kThreeDevices);
    TMidiOutput port(nullptr);
    port.SetDeviceID(2);
    Configure("mapper Wavetable Mapper; device Synth A; device Synth B");
    EXPECT_EQ(RaisedText([&] { port.SetProductName("Synth C"); }), kInvalidDeviceId);
    EXPECT_EQ(RaisedText([&] { port.SetProductName("Synth D"); }), DeviceNotInstalledText("Synth D"));
}

// While the port is restored from its owner's stored form, a name is not looked up at all.
TEST_F(MidiDeviceTest, ProductNameIsIgnoredWhileLoading) {
    Configure(kThreeDevices);
    TMidiOutput port(nullptr);
    port.SetDeviceID(1);
    port.SetLoading(true);
    port.SetProductName("Not Installed");
    EXPECT_EQ(port.ProductName(), "Synth B");
    EXPECT_EQ(port.DeviceID(), 1);
    EXPECT_EQ(Only(Record(), "midiOutGetDevCapsA").size(), 1u) << "only SetDeviceID's query";
    port.SetLoading(false);
    EXPECT_EQ(RaisedText([&] { port.SetProductName("Not Installed"); }), DeviceNotInstalledText("Not Installed"));
}

// ErrorText gives the system's text, or the fixed text for a code the system does not know.
TEST_F(MidiDeviceTest, ErrorTextFallsBackForUnknownCodes) {
    EXPECT_EQ(TMidiOutput::ErrorText(999), kErrorNumberOutOfRange);
    const std::string known = TMidiOutput::ErrorText(MMSYSERR_ALLOCATED);
    EXPECT_NE(known, kErrorNumberOutOfRange);
    EXPECT_FALSE(known.empty());
    EXPECT_LT(known.size(), 128u);
}

} // namespace
} // namespace hardsid
