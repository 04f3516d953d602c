// SPDX-License-Identifier: GPL-2.0-or-later
// The MIDI output port's exception type and its fixed texts.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace hardsid {

inline constexpr const char* kInvalidDeviceId = "Invalid device ID";
inline constexpr const char* kDeviceIdChangedWhileOpen = "Change to DeviceID while device was open";
inline constexpr const char* kProductNameChangedWhileOpen = "Change to ProductName while device was open";
inline constexpr const char* kDeviceNotOpen = "MIDI Output device not open";
inline constexpr const char* kErrorNumberOutOfRange = "Specified error number is out of range";

/// "MIDI output Device " + name + " not installed".
inline std::string DeviceNotInstalledText(const std::string& name) {
    return "MIDI output Device " + name + " not installed";
}

/// Raised when a device cannot be selected or a short message cannot be sent.
class EmidioutputError : public std::exception {
public:
    explicit EmidioutputError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

} // namespace hardsid
