// SPDX-License-Identifier: GPL-2.0-or-later
#include "capture_reader.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "sysex_splitter.h"

namespace hardsid::monitor {

namespace {

constexpr std::string_view kStartEvent = "start";
constexpr std::string_view kLongMessageEvent = "midiOutLongMsg";

struct RecordLine {
    int64_t counter = 0;
    std::string_view event;
    std::string_view fields; ///< "key=value key=value ..."
};

std::optional<RecordLine> SplitRecordLine(std::string_view line) {
    RecordLine parsed;
    const auto [afterCounter, error] = std::from_chars(line.data(), line.data() + line.size(), parsed.counter);
    if (error != std::errc{} || afterCounter == line.data() + line.size() || *afterCounter != ' ') {
        return std::nullopt;
    }
    std::string_view rest = line.substr(static_cast<size_t>(afterCounter - line.data()) + 1);
    const size_t space = rest.find(' ');
    parsed.event = rest.substr(0, space);
    parsed.fields = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
    if (parsed.event.empty()) {
        return std::nullopt;
    }
    return parsed;
}

std::optional<std::string_view> Field(std::string_view fields, std::string_view key) {
    while (!fields.empty()) {
        const size_t space = fields.find(' ');
        const std::string_view field = fields.substr(0, space);
        if (field.size() > key.size() && field.substr(0, key.size()) == key && field[key.size()] == '=') {
            return field.substr(key.size() + 1);
        }
        fields = space == std::string_view::npos ? std::string_view{} : fields.substr(space + 1);
    }
    return std::nullopt;
}

std::optional<int64_t> NumberField(std::string_view fields, std::string_view key) {
    const std::optional<std::string_view> text = Field(fields, key);
    int64_t value = 0;
    if (!text || std::from_chars(text->data(), text->data() + text->size(), value).ptr != text->data() + text->size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<uint8_t>> FromHex(std::string_view hex) {
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(hex.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char* pair = hex.data() + 2 * i;
        if (std::from_chars(pair, pair + 2, bytes[i], 16).ptr != pair + 2) {
            return std::nullopt;
        }
    }
    return bytes;
}

} // namespace

Capture ReadRawSysEx(std::span<const uint8_t> bytes) {
    Capture capture;
    capture.kind = "raw .syx";
    SplitSysEx(bytes, Location{}, std::nullopt, capture);
    return capture;
}

Capture ReadWinmmRecord(std::string_view text) {
    Capture capture;
    capture.kind = "winmm record";
    std::optional<int64_t> frequency;
    std::optional<int64_t> origin;
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        const std::optional<RecordLine> parsed = SplitRecordLine(line);
        if (!parsed) {
            capture.problems.push_back({Location{lineNumber, 0}, "not a record line (counter, event, fields)"});
            continue;
        }
        origin = origin ? origin : parsed->counter;
        if (parsed->event == kStartEvent) {
            frequency = NumberField(parsed->fields, "frequency");
            origin = parsed->counter;
            continue;
        }
        if (parsed->event != kLongMessageEvent) {
            continue;
        }
        if (NumberField(parsed->fields, "result").value_or(-1) != 0) {
            ++capture.refusedSends;
            continue;
        }
        const std::optional<std::vector<uint8_t>> data = FromHex(Field(parsed->fields, "data").value_or("?"));
        if (!data) {
            capture.problems.push_back({Location{lineNumber, 0}, "message data is missing or not hex"});
            continue;
        }
        std::optional<double> seconds;
        if (frequency && *frequency > 0) {
            seconds = static_cast<double>(parsed->counter - *origin) / static_cast<double>(*frequency);
        }
        SplitSysEx(*data, Location{lineNumber, 0}, seconds, capture);
    }
    capture.hasTimeStamps = frequency && *frequency > 0;
    return capture;
}

Capture ReadCaptureFile(const std::string& path, CaptureFormat format) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        throw CaptureError(path + ": cannot open");
    }
    // A directory opens too, and then reports a nonsense size.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw CaptureError(path + ": not a regular file");
    }
    const std::streamoff size = in.tellg();
    if (size == 0) {
        throw CaptureError(path + ": empty, nothing was received");
    }
    if (static_cast<uintmax_t>(size) > kMaxCaptureFileSize) {
        throw CaptureError(path + ": " + std::to_string(size) + " bytes is more than the " +
                           std::to_string(kMaxCaptureFileSize >> 20) + " MiB this tool reads");
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        throw CaptureError(path + ": read failed");
    }
    if (format == CaptureFormat::Detect) {
        format = bytes[0] >= '0' && bytes[0] <= '9' ? CaptureFormat::WinmmRecord : CaptureFormat::RawSysEx;
    }
    if (format == CaptureFormat::RawSysEx) {
        return ReadRawSysEx(bytes);
    }
    return ReadWinmmRecord(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace hardsid::monitor
