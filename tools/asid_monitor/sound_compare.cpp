// SPDX-License-Identifier: GPL-2.0-or-later
#include "sound_compare.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>

#include "spectrum.h"

namespace hardsid::monitor {

namespace {

constexpr size_t kEnvelopeBlock = 44; // about a millisecond
constexpr size_t kFftSize = 2048;
constexpr size_t kFftHop = 1024;
constexpr double kLowHz = 20, kHighHz = 16000;
constexpr double kOnsetLevel = 1e-3; // mean magnitude, full scale 1: -60 dB
constexpr double kRefineMs = 20;

std::vector<double> Envelope(std::span<const float> x) {
    std::vector<double> env(x.size() / kEnvelopeBlock);
    for (size_t b = 0; b < env.size(); ++b) {
        double sum = 0;
        for (size_t i = 0; i < kEnvelopeBlock; ++i) {
            sum += std::abs(x[b * kEnvelopeBlock + i]);
        }
        env[b] = sum;
    }
    return env;
}

// First envelope block above the onset level, or none.
std::optional<long> Onset(const std::vector<double>& envelope) {
    for (size_t b = 0; b < envelope.size(); ++b) {
        if (envelope[b] > kOnsetLevel * kEnvelopeBlock) {
            return static_cast<long>(b);
        }
    }
    return std::nullopt;
}

// The lag (in envelope blocks) at which the received envelope best matches the reference's:
// near the difference of their onsets, since music that repeats would match a beat off too.
long BestLag(const std::vector<double>& received, const std::vector<double>& reference, int rate) {
    const auto maxLag = static_cast<long>(kMaxLagMs / 1000 * rate / static_cast<double>(kEnvelopeBlock));
    const auto near = static_cast<long>(kRefineMs / 1000 * rate / static_cast<double>(kEnvelopeBlock));
    const std::optional<long> a = Onset(received), b = Onset(reference);
    const long centre = a && b ? std::clamp(*a - *b, -maxLag, maxLag) : 0;
    double best = -1;
    long bestLag = 0;
    for (long lag = centre - near; lag <= centre + near; ++lag) {
        double dot = 0, ra = 0, rb = 0;
        for (size_t i = 0; i < reference.size(); ++i) {
            const long j = static_cast<long>(i) + lag;
            if (j < 0 || j >= static_cast<long>(received.size())) {
                continue;
            }
            dot += reference[i] * received[static_cast<size_t>(j)];
            ra += reference[i] * reference[i];
            rb += received[static_cast<size_t>(j)] * received[static_cast<size_t>(j)];
        }
        const double score = ra > 0 && rb > 0 ? dot / std::sqrt(ra * rb) : 0;
        if (score > best) {
            best = score;
            bestLag = lag;
        }
    }
    return bestLag;
}

std::vector<double> MeanLogSpectrum(std::span<const float> x, size_t from, size_t count) {
    std::vector<double> mean(kFftSize / 2 + 1, 0);
    size_t frames = 0;
    for (size_t at = from; at + kFftSize <= from + count; at += kFftHop, ++frames) {
        const std::vector<double> db = PowerSpectrumDb(x, at, kFftSize);
        for (size_t k = 0; k < mean.size(); ++k) {
            mean[k] += db[k];
        }
    }
    for (double& v : mean) {
        v = frames == 0 ? kFloorDb : v / static_cast<double>(frames);
    }
    return mean;
}

} // namespace

SoundComparison CompareSounds(const Pcm& received, const Pcm& reference) {
    SoundComparison result;
    const std::vector<float> a = MonoMix(received), b = MonoMix(reference);
    const int rate = reference.rate;
    const long lagBlocks = BestLag(Envelope(a), Envelope(b), rate);
    const long lag = lagBlocks * static_cast<long>(kEnvelopeBlock);
    result.lagMs = static_cast<double>(lag) * 1000 / rate;

    // The received sound from the lag on, against the reference from its start.
    const size_t skipA = lag > 0 ? static_cast<size_t>(lag) : 0, skipB = lag < 0 ? static_cast<size_t>(-lag) : 0;
    const std::span<const float> x = std::span(a).subspan(std::min(skipA, a.size()));
    const std::span<const float> y = std::span(b).subspan(std::min(skipB, b.size()));
    const size_t second = static_cast<size_t>(rate);
    const size_t seconds = std::min(x.size(), y.size()) / second;
    const auto lowBin = static_cast<size_t>(std::ceil(kLowHz * kFftSize / rate));
    const auto highBin = std::min(kFftSize / 2, static_cast<size_t>(kHighHz * kFftSize / rate));
    size_t counted = 0;
    for (size_t s = 0; s < seconds; ++s) {
        SecondComparison c;
        c.second = static_cast<int>(s);
        c.receivedDb = LevelDb(x, s * second, second);
        c.referenceDb = LevelDb(y, s * second, second);
        c.silent = c.receivedDb <= kFloorDb && c.referenceDb <= kFloorDb;
        c.levelDifferenceDb = c.receivedDb - c.referenceDb;
        const std::vector<double> sx = MeanLogSpectrum(x, s * second, second), sy = MeanLogSpectrum(y, s * second, second);
        double sum = 0;
        for (size_t k = lowBin; k <= highBin; ++k) {
            sum += (sx[k] - sy[k]) * (sx[k] - sy[k]);
        }
        c.spectralDistanceDb = std::sqrt(sum / static_cast<double>(highBin - lowBin + 1));
        if (!c.silent) {
            ++counted;
            result.meanAbsLevelDifferenceDb += std::abs(c.levelDifferenceDb);
            result.maxAbsLevelDifferenceDb = std::max(result.maxAbsLevelDifferenceDb, std::abs(c.levelDifferenceDb));
            result.meanSpectralDistanceDb += c.spectralDistanceDb;
            result.maxSpectralDistanceDb = std::max(result.maxSpectralDistanceDb, c.spectralDistanceDb);
        }
        result.seconds.push_back(c);
    }
    if (counted != 0) {
        result.meanAbsLevelDifferenceDb /= static_cast<double>(counted);
        result.meanSpectralDistanceDb /= static_cast<double>(counted);
    }
    return result;
}

} // namespace hardsid::monitor
