// SPDX-License-Identifier: GPL-2.0-or-later
// hardsid.log: one stamped entry per event, "<16-digit tick>: <message>\r", written through a
// 128-byte buffer. A log that cannot be created or written drops its entries; nothing of a
// log failure ever reaches the caller.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine_platform.h"
#include "blocking_lock.h"

namespace hardsid {

inline constexpr const char* kLogFileName = "hardsid.log";
inline constexpr size_t kLogStampDigits = 16;

/// The 16-digit stamp of a tick count, zero-padded on the left.
std::array<char, kLogStampDigits> FormatLogStamp(uint32_t tickCount) noexcept;

class TDiagnosticLog {
public:
    static constexpr size_t kBufferSize = 128;

    TDiagnosticLog(IEnginePlatform& platform, ILogFile& file) : platform_(platform), file_(file), lock_(platform) {}
    ~TDiagnosticLog() { Close(); }
    TDiagnosticLog(const TDiagnosticLog&) = delete;
    TDiagnosticLog& operator=(const TDiagnosticLog&) = delete;

    /// Creates or truncates the file; false when it could not be created.
    bool Open(const char* name = kLogFileName) noexcept;
    /// Appends one entry; dropped while the log is not open.
    void WriteLogLine(std::string_view message) noexcept;
    /// Writes what is left in the buffer and closes the file.
    void Close() noexcept;
    /// Appends a last entry and closes, without the lock: only for a process that is ending,
    /// whose other threads are gone (one of them may have died holding the lock).
    void CloseAtProcessExit(std::string_view lastEntry) noexcept;
    bool IsOpen() const noexcept { return open_; }

private:
    void AppendEntry(std::string_view message) noexcept;
    void CloseFile() noexcept;
    void Append(const char* bytes, size_t length) noexcept;
    void WriteBuffer() noexcept;

    IEnginePlatform& platform_;
    ILogFile& file_;
    TBlockingLock lock_; // entries come from the player's thread and the loading thread
    std::array<char, kBufferSize> buffer_{};
    size_t used_ = 0;
    bool open_ = false;
    bool entryLost_ = false;
};

} // namespace hardsid
