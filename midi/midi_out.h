// SPDX-License-Identifier: GPL-2.0-or-later
// TMidiOutput: one output device of the Windows MIDI service. Selects a device by number
// or by name, opens and closes it, and sends short and System Exclusive messages; each long
// message travels in a TMyMidiHdr of its own, released when the driver reports it done.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <string>

#include "in_flight_list.h"
#include "midi_callback.h"
#include "midi_event.h"
#include "midi_out_error.h"
#include "win32/component.h"
#include "win32/hidden_window.h"
#include "win32/unique_midi_out.h"

namespace hardsid {

/// What the selected device says about itself; nothing in the library reads it.
struct TMidiOutCaps {
    uint32_t DriverVersion = 0;
    uint8_t Technology = 0; // low byte of wTechnology
    uint16_t Voices = 0;
    uint16_t Notes = 0;
    uint16_t ChannelMask = 0;
    uint32_t Support = 0;
    bool operator==(const TMidiOutCaps&) const = default;
};

class TMidiOutput : public TComponent, private win32::IWindowHandler {
public:
    /// Counts the devices and creates the hidden NotifyWindow on the calling thread, whose
    /// message dispatching releases finished long messages from then on.
    explicit TMidiOutput(TComponent* owner);
    /// Closes the device and releases every long message still held; never throws.
    ~TMidiOutput() override;

    int32_t DeviceID() const noexcept { return deviceId_; }
    /// Selects device id (-1: the MIDI mapper) and reads its capabilities.
    /// Throws EmidioutputError while open, for an id at or above the live count, or with the
    /// driver's text when the capabilities cannot be read (DeviceID has changed by then).
    void SetDeviceID(int32_t id);

    const std::string& ProductName() const noexcept { return productName_; }
    /// Selects the lowest-numbered device, from -1 up, whose name is exactly name.
    /// Does nothing while the component is loading. Throws EmidioutputError.
    void SetProductName(const std::string& name);

    /// Devices that the system reported when the port was made.
    uint16_t DeviceCount() const noexcept { return deviceCount_; }
    const TMidiOutCaps& Capabilities() const noexcept { return caps_; }
    bool IsOpen() const noexcept { return static_cast<bool>(deviceHandle_); }
    /// The hidden window that completion notices are posted to.
    HWND NotifyWindow() const noexcept { return notifyWindow_.get(); }

    /// Opens DeviceID; false, with nothing raised, when the system refuses.
    virtual bool Open() noexcept;
    /// Resets and closes the device; false when it was closed already or the system refused.
    /// The port counts as closed afterwards either way.
    virtual bool Close() noexcept;
    /// Sends a long message when the event carries SysEx bytes, a short one otherwise.
    /// Throws EmidioutputError when the port is closed or a short message is refused.
    virtual void SendEvent(const TMyMidiEvent& event);
    /// Throws EmidioutputError with the driver's text when refused.
    virtual void SendShortMessage(uint8_t status, uint8_t data1, uint8_t data2);
    /// Queues a copy of the bytes and returns; a message that cannot be queued is lost
    /// without a word. First releases, on the calling thread, every earlier message that the
    /// driver has finished with, so that a thread that never dispatches messages holds few.
    void SendLongMessage(const uint8_t* data, uint16_t length) noexcept;

    /// Waits until the driver is done with every long message in flight, at most timeout
    /// milliseconds; true when it is. Safe from any thread: it looks at the headers only.
    bool WaitUntilSent(DWORD timeoutMs) noexcept;

    /// The system's text for a MIDI result code, or "Specified error number is out of range".
    static std::string ErrorText(uint16_t code);

    /// Raised on the port's thread, once per completion notice, with the port as sender;
    /// the message of the notice has been released by then (by the notice, or before it
    /// by a later send).
    TNotifyEvent Onmidioutput;

private:
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept override;
    LRESULT NotifyWndProc(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    /// Releases every message that the driver has finished with, on the calling thread.
    void ReleaseFinished() noexcept;
    void ReleaseInFlight() noexcept;

    win32::THiddenWindow notifyWindow_;
    int32_t deviceId_ = 0;
    win32::UniqueMidiOut deviceHandle_;
    UniqueCallbackRecord callbackRecord_; // made by the first Open, kept until a failed Open or destruction
    std::string productName_;
    TMidiOutCaps caps_;
    uint16_t deviceCount_ = 0;
    TInFlightList inFlight_;
};

} // namespace hardsid
