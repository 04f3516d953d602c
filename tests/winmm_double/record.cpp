// SPDX-License-Identifier: GPL-2.0-or-later
#include "record.h"

#include <cstdio>

namespace winmm_double {
namespace {

int64_t Counter() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

class Guard {
public:
    explicit Guard(SRWLOCK& lock) : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ~Guard() { ::ReleaseSRWLockExclusive(&lock_); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    SRWLOCK& lock_;
};

} // namespace

bool Record::Open(const std::string& path) noexcept {
    {
        Guard guard(lock_);
        if (file_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file_);
        }
        file_ = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ == INVALID_HANDLE_VALUE) {
            return false;
        }
    }
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    Line("start").Number("frequency", frequency.QuadPart).Number("process", ::GetCurrentProcessId());
    return true;
}

void Record::Close() noexcept {
    Guard guard(lock_);
    if (file_ != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
    }
}

void Record::Write(const std::string& line) noexcept {
    Guard guard(lock_);
    if (file_ != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
}

Record& TheRecord() noexcept {
    static Record record;
    return record;
}

Line::Line(const char* event) {
    text_ = std::to_string(Counter());
    text_ += ' ';
    text_ += event;
}

Line::~Line() {
    text_ += '\n';
    TheRecord().Write(text_);
}

Line& Line::Number(const char* key, int64_t value) {
    text_ += ' ';
    text_ += key;
    text_ += '=';
    text_ += std::to_string(value);
    return *this;
}

Line& Line::Hex(const char* key, uint64_t value, int digits) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    text_ += ' ';
    text_ += key;
    text_ += '=';
    text_ += buffer;
    return *this;
}

Line& Line::Field(const char* key, const std::string& value) {
    text_ += ' ';
    text_ += key;
    text_ += '=';
    text_ += value;
    return *this;
}

std::string HexBytes(const void* data, size_t length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::string hex(length * 2, '0');
    for (size_t i = 0; i < length; ++i) {
        hex[2 * i] = kDigits[bytes[i] >> 4];
        hex[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return hex;
}

} // namespace winmm_double
