// SPDX-License-Identifier: GPL-2.0-or-later
#include "trace_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <vector>

namespace hardsid::trace {

namespace {

constexpr std::string_view kWait = "wait";

std::string_view Trim(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

std::vector<std::string_view> Words(std::string_view s) {
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (pos < s.size()) {
        const size_t start = s.find_first_not_of(" \t", pos);
        if (start == std::string_view::npos) {
            break;
        }
        const size_t end = std::min(s.find_first_of(" \t", start), s.size());
        words.push_back(s.substr(start, end - start));
        pos = end;
    }
    return words;
}

// Quotes what was read for an error text: short, and without control bytes of a binary file.
std::string Quote(std::string_view s) {
    constexpr size_t kMaxQuoted = 40;
    std::string quoted = "'";
    for (const char c : s.substr(0, kMaxQuoted)) {
        quoted += (c >= ' ' && c <= '~') ? c : '.';
    }
    quoted += s.size() > kMaxQuoted ? "...'" : "'";
    return quoted;
}

[[noreturn]] void Fail(size_t line, const std::string& what) {
    throw TraceError("line " + std::to_string(line) + ": " + what);
}

uint64_t ParseNumber(std::string_view word, uint64_t max, const char* what, size_t line) {
    int base = 10;
    std::string_view digits = word;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    uint64_t value = 0;
    const char* last = digits.data() + digits.size();
    const auto [end, error] = std::from_chars(digits.data(), last, value, base);
    if (error == std::errc::invalid_argument || end != last) {
        Fail(line, std::string(what) + " " + Quote(word) + " is not a number");
    }
    if (error == std::errc::result_out_of_range || value > max) {
        Fail(line, std::string(what) + " " + Quote(word) + " is out of range (0.." + std::to_string(max) + ")");
    }
    return value;
}

constexpr std::array<const char*, 25> kRegisterNames = {
    "voice 1 frequency lo", "voice 1 frequency hi", "voice 1 pulse width lo", "voice 1 pulse width hi",
    "voice 1 control", "voice 1 attack/decay", "voice 1 sustain/release",
    "voice 2 frequency lo", "voice 2 frequency hi", "voice 2 pulse width lo", "voice 2 pulse width hi",
    "voice 2 control", "voice 2 attack/decay", "voice 2 sustain/release",
    "voice 3 frequency lo", "voice 3 frequency hi", "voice 3 pulse width lo", "voice 3 pulse width hi",
    "voice 3 control", "voice 3 attack/decay", "voice 3 sustain/release",
    "filter cutoff lo", "filter cutoff hi", "filter resonance/routing", "filter mode/volume"};

} // namespace

Trace ParseTraceText(std::string_view text) {
    Trace trace;
    uint64_t pendingWait = 0;
    size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);

        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        const std::vector<std::string_view> words = Words(line);
        if (words[0] == kWait) {
            if (words.size() != 2) {
                Fail(lineNumber, "expected 'wait cycles'");
            }
            pendingWait += ParseNumber(words[1], UINT32_MAX, "wait", lineNumber);
            if (pendingWait > UINT32_MAX) {
                Fail(lineNumber, "waits add up to more than 4294967295 cycles before one write");
            }
            continue;
        }
        if (words.size() != 3) {
            Fail(lineNumber, "expected 'cycles register value' or 'wait cycles', got " + Quote(line));
        }
        const uint64_t cycles = pendingWait + ParseNumber(words[0], UINT32_MAX, "cycles", lineNumber);
        if (cycles > UINT32_MAX) {
            Fail(lineNumber, "waits and cycles add up to more than 4294967295 cycles");
        }
        TraceRecord record;
        record.cycles = static_cast<uint32_t>(cycles);
        record.reg = static_cast<uint8_t>(ParseNumber(words[1], kRegisterCount - 1, "register", lineNumber));
        record.value = static_cast<uint8_t>(ParseNumber(words[2], 0xFF, "value", lineNumber));
        trace.records.push_back(record);
        pendingWait = 0;
    }
    trace.endCycles = static_cast<uint32_t>(pendingWait);
    return trace;
}

std::string FormatTraceText(const Trace& trace, std::string_view header) {
    CheckRegisters(trace);
    std::string text;
    while (!header.empty()) {
        const size_t newline = header.find('\n');
        text += "# ";
        text += header.substr(0, newline);
        text += '\n';
        header = newline == std::string_view::npos ? std::string_view{} : header.substr(newline + 1);
    }
    text += "# cycles register value\n";
    char line[64];
    for (const TraceRecord& record : trace.records) {
        std::snprintf(line, sizeof line, "%6u %2u 0x%02X", static_cast<unsigned>(record.cycles),
                      static_cast<unsigned>(record.reg), static_cast<unsigned>(record.value));
        text += line;
        if (record.reg < kRegisterNames.size()) {
            text += "  # ";
            text += kRegisterNames[record.reg];
        }
        text += '\n';
    }
    if (trace.endCycles != 0) {
        text += "wait " + std::to_string(trace.endCycles) + "  # to the end\n";
    }
    return text;
}

} // namespace hardsid::trace
