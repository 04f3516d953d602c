// SPDX-License-Identifier: GPL-2.0-or-later
#include "spectrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace hardsid::monitor {

namespace {

constexpr double kFullScale = 32768;

void Fft(std::vector<std::complex<double>>& x) {
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) { // bit-reversed order
        size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(x[i], x[j]);
        }
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1;
            for (size_t k = 0; k < len / 2; ++k, w *= step) {
                const std::complex<double> u = x[i + k], v = x[i + k + len / 2] * w;
                x[i + k] = u + v;
                x[i + k + len / 2] = u - v;
            }
        }
    }
}

double Db(double power) { return std::max(kFloorDb, 10 * std::log10(std::max(power, 1e-30))); }

} // namespace

std::vector<float> MonoMix(const Pcm& pcm) {
    std::vector<float> mono(pcm.Frames());
    const auto channels = static_cast<size_t>(pcm.channels);
    for (size_t i = 0; i < mono.size(); ++i) {
        double sum = 0;
        for (size_t c = 0; c < channels; ++c) {
            sum += pcm.samples[i * channels + c];
        }
        mono[i] = static_cast<float>(sum / static_cast<double>(channels) / kFullScale);
    }
    return mono;
}

double LevelDb(std::span<const float> samples, size_t from, size_t count) {
    double sum = 0;
    const size_t end = std::min(samples.size(), from + count);
    for (size_t i = from; i < end; ++i) {
        sum += static_cast<double>(samples[i]) * samples[i];
    }
    return end > from ? Db(sum / static_cast<double>(end - from)) : kFloorDb;
}

std::vector<double> PowerSpectrumDb(std::span<const float> samples, size_t from, size_t size) {
    std::vector<std::complex<double>> x(size);
    double windowPower = 0;
    for (size_t i = 0; i < size; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(size));
        windowPower += w * w;
        x[i] = from + i < samples.size() ? w * samples[from + i] : 0.0;
    }
    Fft(x);
    std::vector<double> db(size / 2 + 1);
    for (size_t k = 0; k < db.size(); ++k) {
        // Scaled so that a bin's power is its share of the signal's mean square.
        const double scale = (k == 0 || k == size / 2 ? 1.0 : 2.0) / (windowPower * static_cast<double>(size));
        db[k] = Db(std::norm(x[k]) * scale);
    }
    return db;
}

} // namespace hardsid::monitor
