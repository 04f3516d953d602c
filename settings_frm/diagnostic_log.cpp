// SPDX-License-Identifier: GPL-2.0-or-later
#include "diagnostic_log.h"

#include <cstring>
#include <mutex>

namespace hardsid {

std::array<char, kLogStampDigits> FormatLogStamp(uint32_t tickCount) noexcept {
    std::array<char, kLogStampDigits> stamp;
    stamp.fill('0');
    for (size_t i = kLogStampDigits; tickCount != 0; tickCount /= 10) {
        stamp[--i] = static_cast<char>('0' + tickCount % 10);
    }
    return stamp;
}

bool TDiagnosticLog::Open(const char* name) noexcept {
    std::lock_guard guard(lock_);
    if (open_) {
        return true;
    }
    used_ = 0;
    try {
        open_ = file_.Create(name);
    } catch (...) {
        open_ = false;
    }
    return open_;
}

void TDiagnosticLog::WriteLogLine(std::string_view message) noexcept {
    std::lock_guard guard(lock_);
    AppendEntry(message);
}

void TDiagnosticLog::Close() noexcept {
    std::lock_guard guard(lock_);
    CloseFile();
}

void TDiagnosticLog::CloseAtProcessExit(std::string_view lastEntry) noexcept {
    AppendEntry(lastEntry);
    CloseFile();
}

void TDiagnosticLog::AppendEntry(std::string_view message) noexcept {
    if (!open_) {
        return;
    }
    const auto stamp = FormatLogStamp(platform_.TickCount());
    entryLost_ = false;
    Append(stamp.data(), stamp.size());
    Append(": ", 2);
    Append(message.data(), message.size());
    Append("\r", 1);
}

void TDiagnosticLog::CloseFile() noexcept {
    if (!open_) {
        return;
    }
    WriteBuffer();
    try {
        file_.Close();
    } catch (...) {
        // The file is gone either way.
    }
    open_ = false;
}

void TDiagnosticLog::Append(const char* bytes, size_t length) noexcept {
    while (length > 0 && !entryLost_) {
        const size_t room = buffer_.size() - used_;
        const size_t chunk = length < room ? length : room;
        std::memcpy(buffer_.data() + used_, bytes, chunk);
        used_ += chunk;
        bytes += chunk;
        length -= chunk;
        if (used_ == buffer_.size()) {
            WriteBuffer();
        }
    }
}

void TDiagnosticLog::WriteBuffer() noexcept {
    if (used_ == 0) {
        return;
    }
    bool written = false;
    try {
        written = file_.Write(buffer_.data(), used_);
    } catch (...) {
    }
    // A refused write (a full disk) loses these bytes and the rest of the entry in hand;
    // the next entry tries again.
    entryLost_ = !written;
    used_ = 0;
}

} // namespace hardsid
