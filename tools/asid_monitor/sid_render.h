// SPDX-License-Identifier: GPL-2.0-or-later
// Renders a schedule of register writes to sound with libsidplayfp's reSIDfp engine.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "sid_tune_image.h"
#include "timed_write.h"

namespace hardsid::monitor {

inline constexpr int kRenderRate = 44100;

enum class ChipModel { Mos6581, Mos8580 };

/// 16-bit samples, interleaved when there are two channels.
struct Pcm {
    int channels = 1;
    int rate = kRenderRate;
    std::vector<int16_t> samples;
    size_t Frames() const noexcept { return channels == 0 ? 0 : samples.size() / static_cast<size_t>(channels); }
    double Seconds() const noexcept { return static_cast<double>(Frames()) / rate; }
};

struct Rendering {
    Pcm pcm;
    TuneImage image;           ///< how the writes were placed
    double processorSeconds = 0; ///< spent rendering
};

class RenderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// One chip per scheduled chip (up to three), stereo when there are two or more: the first
/// on the left, the second on the right, a third in the middle. Throws RenderError when the
/// emulator refuses.
Rendering RenderSchedule(const WriteSchedule& schedule, ChipModel model);

} // namespace hardsid::monitor
