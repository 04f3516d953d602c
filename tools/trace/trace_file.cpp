// SPDX-License-Identifier: GPL-2.0-or-later
#include "trace_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

#include "trace_binary.h"
#include "trace_text.h"

namespace hardsid::trace {

Trace LoadTraceFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        throw TraceError(path + ": cannot open");
    }
    // A directory opens too, and then reports a nonsense size.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw TraceError(path + ": not a regular file");
    }
    const std::streamoff size = in.tellg();
    if (static_cast<uintmax_t>(size) > kMaxTraceFileSize) {
        throw TraceError(path + ": too large for a register trace (limit " + std::to_string(kMaxTraceFileSize >> 20) +
                         " MiB)");
    }
    in.seekg(0);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
        throw TraceError(path + ": read failed");
    }
    try {
        if (LooksLikeBinaryTrace(bytes)) {
            return ParseTraceBinary(bytes);
        }
        return ParseTraceText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    } catch (const TraceError& e) {
        throw TraceError(path + ": " + e.what());
    }
}

void SaveTraceFile(const std::string& path, const Trace& trace, TraceFormat format, const std::string& header) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        throw TraceError(path + ": cannot create");
    }
    if (format == TraceFormat::Binary) {
        const std::vector<uint8_t> bytes = FormatTraceBinary(trace);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    } else {
        out << FormatTraceText(trace, header);
    }
    out.close();
    if (!out) {
        throw TraceError(path + ": write failed");
    }
}

} // namespace hardsid::trace
