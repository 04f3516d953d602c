// SPDX-License-Identifier: GPL-2.0-or-later
// How far the received stream's sound is from the reference's: the lag between them, then
// second by second the level difference and a log-spectral distance.
#pragma once

#include <vector>

#include "sid_render.h"

namespace hardsid::monitor {

/// Lags searched, each way: around the difference of the two sounds' onsets, then within
/// 20 ms of it by their envelopes.
inline constexpr double kMaxLagMs = 250;

struct SecondComparison {
    int second = 0;
    double receivedDb = 0, referenceDb = 0; ///< RMS level, dB full scale
    double levelDifferenceDb = 0;           ///< received - reference
    double spectralDistanceDb = 0;          ///< RMS over 20 Hz - 16 kHz of the mean log spectra's difference
    bool silent = false;                    ///< both below the floor
};

struct SoundComparison {
    double lagMs = 0; ///< how much later the received sound comes; the seconds are compared with it taken out
    std::vector<SecondComparison> seconds; ///< whole seconds both cover
    double meanAbsLevelDifferenceDb = 0, maxAbsLevelDifferenceDb = 0; ///< over the seconds that are not silent
    double meanSpectralDistanceDb = 0, maxSpectralDistanceDb = 0;
};

SoundComparison CompareSounds(const Pcm& received, const Pcm& reference);

} // namespace hardsid::monitor
