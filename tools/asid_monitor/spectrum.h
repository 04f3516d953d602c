// SPDX-License-Identifier: GPL-2.0-or-later
// Levels and spectra of rendered sound, for comparing two renderings and drawing them.
#pragma once

#include <span>
#include <vector>

#include "sid_render.h"

namespace hardsid::monitor {

/// Below this a level or a spectral bin counts as silence.
inline constexpr double kFloorDb = -100;

/// The channels averaged, full scale = 1.
std::vector<float> MonoMix(const Pcm& pcm);

/// RMS level of samples[from, from + count) in dB full scale (a full-scale sine is -3 dB),
/// at least kFloorDb.
double LevelDb(std::span<const float> samples, size_t from, size_t count);

/// Power spectrum of size samples from `from` (Hann window; size a power of two; zeros past
/// the end), as size / 2 + 1 bins in dB full scale, each at least kFloorDb.
std::vector<double> PowerSpectrumDb(std::span<const float> samples, size_t from, size_t size);

} // namespace hardsid::monitor
