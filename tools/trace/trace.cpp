// SPDX-License-Identifier: GPL-2.0-or-later
#include "trace.h"

#include <algorithm>
#include <string>

namespace hardsid::trace {

uint64_t NominalCycles(const Trace& trace) noexcept {
    uint64_t total = trace.endCycles;
    for (const TraceRecord& record : trace.records) {
        total += record.cycles;
    }
    return total;
}

void CheckRegisters(const Trace& trace) {
    for (size_t i = 0; i < trace.records.size(); ++i) {
        if (trace.records[i].reg >= kRegisterCount) {
            throw TraceError("record " + std::to_string(i) + ": register " + std::to_string(trace.records[i].reg) +
                             " is out of range (0..31)");
        }
    }
}

Trace CutTrace(const Trace& trace, uint64_t maxCycles) {
    Trace cut;
    uint64_t position = 0;
    for (const TraceRecord& record : trace.records) {
        if (position + record.cycles > maxCycles) {
            break;
        }
        position += record.cycles;
        cut.records.push_back(record);
    }
    // The end runs to the cut point, or to the trace's own end if that comes first. Either
    // way it is shorter than the gap it cuts or equal to the old end, so it fits 32 bits.
    const uint64_t end = std::min(maxCycles, NominalCycles(trace));
    cut.endCycles = static_cast<uint32_t>(end - position);
    return cut;
}

} // namespace hardsid::trace
