// SPDX-License-Identifier: GPL-2.0-or-later
// The record: one line per call, notice and leak, written the moment it happens (format in
// README.md).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace winmm_double {

/// The file that lines go to; without one, lines are dropped. Safe from any thread.
class Record {
public:
    Record() = default;
    ~Record() { Close(); }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    /// Creates or truncates path and writes the start line; false when it cannot be created.
    bool Open(const std::string& path) noexcept;
    void Close() noexcept;
    void Write(const std::string& line) noexcept;

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    HANDLE file_ = INVALID_HANDLE_VALUE;
};

Record& TheRecord() noexcept;

/// Builds one line: the counter stamp and the event name now, fields as they are added;
/// the destructor writes it.
class Line {
public:
    explicit Line(const char* event);
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    Line& Number(const char* key, int64_t value);
    Line& Hex(const char* key, uint64_t value, int digits = 0);
    /// A value already formatted, such as HexBytes() of a message.
    Line& Field(const char* key, const std::string& value);

private:
    std::string text_;
};

/// Bytes as contiguous upper-case hex pairs, as the record shows message data.
std::string HexBytes(const void* data, size_t length);

} // namespace winmm_double
