// SPDX-License-Identifier: GPL-2.0-or-later
// Register trace files: binary when they start with "RTRC", text otherwise.
#pragma once

#include <string>

#include "trace.h"

namespace hardsid::trace {

enum class TraceFormat { Text, Binary };

/// A trace file bigger than this is refused before it is read (a 20-second tune is ~40 KB).
inline constexpr uintmax_t kMaxTraceFileSize = 64u << 20;

/// Throws TraceError with the path and the line or offset of the first mistake.
Trace LoadTraceFile(const std::string& path);

/// Throws TraceError when the file cannot be written.
void SaveTraceFile(const std::string& path, const Trace& trace, TraceFormat format, const std::string& header = {});

} // namespace hardsid::trace
