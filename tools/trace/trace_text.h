// SPDX-License-Identifier: GPL-2.0-or-later
// The text form of a register trace, for people to read and write by hand:
//
//   # a comment runs to the end of the line
//   cycles register value    one write, e.g. "985 4 0x41"; decimal or 0x hex numbers
//   wait cycles              adds cycles before the next write, or before the end
//
// A "wait" after the last write is the trace's end.
#pragma once

#include <string>
#include <string_view>

#include "trace.h"

namespace hardsid::trace {

/// Throws TraceError naming the line of the first mistake.
Trace ParseTraceText(std::string_view text);

/// One write per line with the register's name as a comment; header lines become comments.
std::string FormatTraceText(const Trace& trace, std::string_view header = {});

} // namespace hardsid::trace
