// SPDX-License-Identifier: GPL-2.0-or-later
// A register trace: SID register writes, each with the cycles since the previous write.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace hardsid::trace {

inline constexpr int kRegisterCount = 32; // registers 0..31; the chip decodes five address bits

struct TraceRecord {
    uint32_t cycles = 0; ///< cycles since the previous write (or since the start)
    uint8_t reg = 0;     ///< 0..31
    uint8_t value = 0;
    bool operator==(const TraceRecord&) const = default;
};

struct Trace {
    std::vector<TraceRecord> records;
    /// Cycles from the last write to the end of the trace: a tune keeps sounding after it.
    uint32_t endCycles = 0;
    bool operator==(const Trace&) const = default;
};

/// A trace that cannot be read; the text names the line or byte offset.
class TraceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Length of the whole trace in cycles, the end included (1 cycle = 1 microsecond).
uint64_t NominalCycles(const Trace& trace) noexcept;

/// Throws TraceError when a record's register lies outside 0..31: no file form can hold it.
void CheckRegisters(const Trace& trace);

/// The first maxCycles of a trace: writes after that point are dropped and the end is cut.
Trace CutTrace(const Trace& trace, uint64_t maxCycles);

} // namespace hardsid::trace
