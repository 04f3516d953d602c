// SPDX-License-Identifier: GPL-2.0-or-later
// The unit tests' view of the engine's state, each reading taken under the engine's lock.
#pragma once

#include <mutex>
#include <string>

#include "settings_frm/asid_engine.h"

namespace hardsid {

class EngineProbe {
public:
    explicit EngineProbe(const TAsidEngine& engine) : engine_(engine) {}

    // Defined first: the getters below deduce their types from it.
    template <typename Reading>
    auto Read(Reading reading) const {
        std::lock_guard guard(engine_.lock_);
        return reading();
    }

    SlotWords SidSlots() const { return Read([this] { return engine_.slots_.Words(); }); }
    int32_t FrameCount() const { return Read([this] { return engine_.frameCount_; }); }
    uint32_t ByteTotal() const { return Read([this] { return engine_.byteTotal_; }); }
    int64_t StatsStart() const { return Read([this] { return engine_.statsStart_; }); }
    bool DeadlineStarted() const { return Read([this] { return engine_.clock_.Started(); }); }
    int64_t NextFrameDeadline() const { return Read([this] { return engine_.clock_.Deadline(); }); }
    std::string DisplayText() const { return Read([this] { return engine_.displayText_; }); }

private:
    const TAsidEngine& engine_;
};

} // namespace hardsid
