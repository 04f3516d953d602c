// SPDX-License-Identifier: GPL-2.0-or-later
#include "midi_test_support.h"

#include <sstream>

#include "library_settings.h"
#include "win32/unique_handle.h"

namespace hardsid::test {

int64_t Counter() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

int64_t Frequency() {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

std::vector<RecordLine> ReadRecord(const std::string& path) {
    std::string contents;
    win32::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         0, nullptr));
    if (file) {
        char buffer[65536];
        DWORD read = 0;
        while (::ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
            contents.append(buffer, read);
        }
    }
    std::vector<RecordLine> lines;
    std::istringstream stream(contents);
    std::string text;
    while (std::getline(stream, text)) {
        std::istringstream words(text);
        RecordLine line;
        words >> line.stamp >> line.event;
        std::string field;
        while (words >> field) {
            const auto equals = field.find('=');
            line.fields[field.substr(0, equals)] = equals == std::string::npos ? "" : field.substr(equals + 1);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<RecordLine> Only(const std::vector<RecordLine>& lines, const std::string& event) {
    std::vector<RecordLine> matching;
    for (const RecordLine& line : lines) {
        if (line.event == event) {
            matching.push_back(line);
        }
    }
    return matching;
}

std::vector<std::string> Received(const std::vector<RecordLine>& lines) {
    std::vector<std::string> messages;
    for (const RecordLine& line : Only(lines, "midiOutLongMsg")) {
        if (line["result"] == "0") {
            messages.push_back(line["data"]);
        }
    }
    return messages;
}

std::string Hex(const void* data, size_t length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<const uint8_t*>(data)[i];
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

void PumpPending() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        PumpPending();
        if (done()) {
            return true;
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end) {
            return false;
        }
        // Wakes for a posted message, or after a while to look at done() again.
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20)),
                                    QS_ALLINPUT);
    }
}

WinmmDouble::WinmmDouble() {
    const HMODULE winmm = ::GetModuleHandleA("winmm.dll");
    if (winmm != nullptr) {
        configure_ = Export<decltype(configure_)>(winmm, "double_Configure");
        reportLeaks_ = Export<decltype(reportLeaks_)>(winmm, "double_ReportLeaks");
    }
}

void DoubleTest::SetUp() {
    ASSERT_TRUE(double_.Loaded()) << "the scripted winmm.dll is not loaded: run with WINEDLLOVERRIDES=winmm=n,b";
    ::CreateDirectoryA("records", nullptr);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    recordPath_ = std::string("records\\") + info->test_suite_name() + "." + info->name() + ".txt";
    ASSERT_EQ(double_.Configure("record " + recordPath_), 0);
}

void DoubleTest::Configure(const std::string& settings) { ASSERT_EQ(double_.Configure(settings), 0) << settings; }

void LibraryFolderTest::SetUp() {
    DoubleTest::SetUp();
    if (HasFatalFailure()) {
        return;
    }
    ClearSettings();
    ::GetCurrentDirectoryA(MAX_PATH, previousFolder_);
    folder_ = std::string(previousFolder_) + "\\" + folderPrefix_ + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ::CreateDirectoryA(folder_.c_str(), nullptr);
    ::DeleteFileA(LogPath().c_str());
    ASSERT_TRUE(::SetCurrentDirectoryA(folder_.c_str()));
    // The record stays where the double's other tests keep theirs.
    recordPath_ = std::string(previousFolder_) + "\\" + recordPath_;
    Configure("record " + recordPath_);
}

void LibraryFolderTest::TearDown() {
    ::SetCurrentDirectoryA(previousFolder_);
    ClearSettings();
}

} // namespace hardsid::test
