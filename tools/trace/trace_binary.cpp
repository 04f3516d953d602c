// SPDX-License-Identifier: GPL-2.0-or-later
#include "trace_binary.h"

#include <algorithm>
#include <string>

namespace hardsid::trace {

namespace {

constexpr size_t kVersionOffset = 4;
constexpr size_t kCountOffset = 8;
constexpr size_t kEndOffset = 12;
constexpr size_t kMaxLeb128Length = 5; // 5 × 7 bits hold 32 bits
constexpr size_t kShortestRecord = 3;

[[noreturn]] void Fail(size_t offset, const std::string& what) {
    throw TraceError("offset " + std::to_string(offset) + ": " + what);
}

uint32_t ReadLittleEndian32(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

void AppendLittleEndian32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    size_t Offset() const noexcept { return offset_; }
    bool AtEnd() const noexcept { return offset_ == bytes_.size(); }

    uint8_t Byte(size_t record, const char* what) {
        if (AtEnd()) {
            Fail(offset_, "file ends inside record " + std::to_string(record) + " (" + what + ")");
        }
        return bytes_[offset_++];
    }

    uint32_t Cycles(size_t record) {
        const size_t start = offset_;
        uint64_t value = 0;
        for (size_t i = 0; i < kMaxLeb128Length; ++i) {
            const uint8_t byte = Byte(record, "cycles");
            value |= static_cast<uint64_t>(byte & 0x7F) << (7 * i);
            if ((byte & 0x80) == 0) {
                if (value > UINT32_MAX) {
                    Fail(start, "cycles of record " + std::to_string(record) + " exceed 32 bits");
                }
                return static_cast<uint32_t>(value);
            }
        }
        Fail(start, "cycles of record " + std::to_string(record) + " run longer than 5 bytes");
    }

private:
    std::span<const uint8_t> bytes_;
    size_t offset_ = kBinaryTraceHeaderLength;
};

} // namespace

bool LooksLikeBinaryTrace(std::span<const uint8_t> bytes) noexcept {
    return bytes.size() >= kBinaryTraceMagic.size() &&
           std::equal(kBinaryTraceMagic.begin(), kBinaryTraceMagic.end(), bytes.begin());
}

Trace ParseTraceBinary(std::span<const uint8_t> bytes) {
    if (!LooksLikeBinaryTrace(bytes)) {
        Fail(0, "not a binary register trace (no \"RTRC\")");
    }
    if (bytes.size() < kBinaryTraceHeaderLength) {
        Fail(bytes.size(), "file ends inside the 16-byte header");
    }
    if (bytes[kVersionOffset] != kBinaryTraceVersion) {
        Fail(kVersionOffset, "unknown format version " + std::to_string(bytes[kVersionOffset]));
    }
    for (size_t i = kVersionOffset + 1; i < kCountOffset; ++i) {
        if (bytes[i] != 0) {
            Fail(i, "reserved header byte is not 0");
        }
    }
    const uint32_t count = ReadLittleEndian32(bytes, kCountOffset);
    Trace trace;
    trace.endCycles = ReadLittleEndian32(bytes, kEndOffset);
    // The count comes from the file: reserve no more than the bytes could hold.
    trace.records.reserve(std::min<size_t>(count, (bytes.size() - kBinaryTraceHeaderLength) / kShortestRecord));

    Reader reader(bytes);
    for (size_t i = 0; i < count; ++i) {
        TraceRecord record;
        record.cycles = reader.Cycles(i);
        const size_t regOffset = reader.Offset();
        record.reg = reader.Byte(i, "register");
        if (record.reg >= kRegisterCount) {
            Fail(regOffset, "register " + std::to_string(record.reg) + " of record " + std::to_string(i) +
                                " is out of range (0..31)");
        }
        record.value = reader.Byte(i, "value");
        trace.records.push_back(record);
    }
    if (!reader.AtEnd()) {
        Fail(reader.Offset(), "bytes after the last of " + std::to_string(count) + " records");
    }
    return trace;
}

std::vector<uint8_t> FormatTraceBinary(const Trace& trace) {
    CheckRegisters(trace);
    std::vector<uint8_t> out;
    out.reserve(kBinaryTraceHeaderLength + trace.records.size() * 4);
    for (const uint8_t byte : kBinaryTraceMagic) {
        out.push_back(byte);
    }
    for (const uint8_t byte : {kBinaryTraceVersion, uint8_t{0}, uint8_t{0}, uint8_t{0}}) {
        out.push_back(byte);
    }
    AppendLittleEndian32(out, static_cast<uint32_t>(trace.records.size()));
    AppendLittleEndian32(out, trace.endCycles);
    for (const TraceRecord& record : trace.records) {
        uint32_t cycles = record.cycles;
        while (cycles >= 0x80) {
            out.push_back(static_cast<uint8_t>(cycles | 0x80));
            cycles >>= 7;
        }
        out.push_back(static_cast<uint8_t>(cycles));
        out.push_back(record.reg);
        out.push_back(record.value);
    }
    return out;
}

} // namespace hardsid::trace
