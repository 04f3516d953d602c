// SPDX-License-Identifier: GPL-2.0-or-later
#include "spectrogram_plot.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "spectrum.h"

namespace hardsid::monitor {

namespace {

constexpr size_t kFftSize = 2048;
constexpr double kTopHz = 8000;
constexpr size_t kBinsPerRow = 2;    // rows of about 43 Hz
constexpr size_t kMaxColumns = 500; // keeps the script a few MB for a long tune

void Panel(std::ostream& script, const LabelledSound& sound, const char* block) {
    const std::vector<float> x = MonoMix(*sound.pcm);
    const double rate = sound.pcm->rate;
    const size_t hop = std::max<size_t>(kFftSize / 2, x.size() / kMaxColumns + 1);
    const auto topBin = static_cast<size_t>(kTopHz * kFftSize / rate);
    script << block << " << EOD\n";
    for (size_t at = 0; at < x.size(); at += hop) {
        const std::vector<double> db = PowerSpectrumDb(x, at, kFftSize);
        const double t = (static_cast<double>(at) + kFftSize / 2.0) / rate;
        for (size_t k = 0; k + kBinsPerRow <= topBin; k += kBinsPerRow) {
            const double level = *std::max_element(db.begin() + static_cast<ptrdiff_t>(k),
                                                    db.begin() + static_cast<ptrdiff_t>(k + kBinsPerRow));
            script << t << ' ' << (static_cast<double>(k) + kBinsPerRow / 2.0) * rate / kFftSize << ' ' << level << '\n';
        }
        script << '\n';
    }
    script << "EOD\n"
           << "set title " << GnuplotQuoted(sound.label) << "\n"
           << "plot " << block << " using 1:2:3 with image notitle\n";
}

} // namespace

std::string SpectrogramScript(const LabelledSound& upper, const LabelledSound& lower, const std::string& pngPath) {
    std::ostringstream script;
    script.precision(6);
    script << "set terminal png size 1000,900\n"
           << "set output " << GnuplotQuoted(pngPath) << "\n"
           << "set multiplot layout 2,1\n"
              "set xlabel 'time (s)'\nset ylabel 'frequency (Hz)'\nset yrange [0:" << kTopHz << "]\n"
              "set cblabel 'dB full scale'\nset cbrange [-100:-10]\n"
              "set xrange [0:" << std::max(upper.pcm->Seconds(), lower.pcm->Seconds()) << "]\n"
              "set palette defined (0 'black', 1 '#20206a', 2 '#a02060', 3 '#f0a020', 4 'white')\n";
    Panel(script, upper, "$upper");
    Panel(script, lower, "$lower");
    script << "unset multiplot\nset output\n";
    return script.str();
}

void WriteSpectrogram(const LabelledSound& upper, const LabelledSound& lower, const std::string& pngPath) {
    RunGnuplot(SpectrogramScript(upper, lower, pngPath), pngPath);
}

} // namespace hardsid::monitor
