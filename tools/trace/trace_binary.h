// SPDX-License-Identifier: GPL-2.0-or-later
// The compact binary form of a register trace; all numbers little-endian:
//
//   offset 0   4 bytes  "RTRC"
//   offset 4   1 byte   format version, 1
//   offset 5   3 bytes  0
//   offset 8   4 bytes  number of records
//   offset 12  4 bytes  cycles from the last write to the end
//   offset 16  records: cycles as an unsigned LEB128 number (1 to 5 bytes, 7 bits per byte,
//              low group first, bit 7 set on every byte but the last), register, value
//
// A typical record (a gap below 16384 cycles) takes 4 bytes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "trace.h"

namespace hardsid::trace {

inline constexpr std::array<uint8_t, 4> kBinaryTraceMagic = {'R', 'T', 'R', 'C'};
inline constexpr uint8_t kBinaryTraceVersion = 1;
inline constexpr size_t kBinaryTraceHeaderLength = 16;

bool LooksLikeBinaryTrace(std::span<const uint8_t> bytes) noexcept;

/// Throws TraceError naming the byte offset of the first mistake.
Trace ParseTraceBinary(std::span<const uint8_t> bytes);

std::vector<uint8_t> FormatTraceBinary(const Trace& trace);

} // namespace hardsid::trace
