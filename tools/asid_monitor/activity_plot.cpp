// SPDX-License-Identifier: GPL-2.0-or-later
#include "activity_plot.h"

#include <algorithm>
#include <sstream>

namespace hardsid::monitor {

namespace {

constexpr double kFinestBinMs = 0.1;
constexpr double kMaxBins = 200;

void Histogram(std::ostream& script, const CaptureAnalysis& analysis) {
    const double width = IntervalBinWidthMs(analysis.intervals);
    script << "$intervals << EOD\n";
    for (const HistogramBin& bin : MakeHistogram(analysis.frameIntervalsMs, width)) {
        script << bin.low + width / 2 << ' ' << bin.count << '\n';
    }
    script << "EOD\n"
              "set title 'Inter-frame interval (" << analysis.intervals.count << " intervals, bins of " << width
           << " ms)'\n"
              "set xlabel 'interval (ms)'\nset ylabel 'frames'\nset logscale y\nset yrange [0.8:*]\n"
              "set style fill solid 0.6\nset boxwidth " << width * 0.9 << "\n"
              "plot $intervals using 1:2 with boxes lc rgb '#3060a0' notitle\n"
              "unset logscale y\nset yrange [*:*]\n";
}

void Timeline(std::ostream& script, const CaptureAnalysis& analysis, bool timed) {
    struct Series {
        const char* block;
        bool second;
        const char* style;
    };
    const Series series[] = {
        {"$first", false, "with points pt 7 ps 0.3 lc rgb '#3060a0' title 'write'"},
        {"$second", true, "with points pt 6 ps 0.8 lc rgb '#c03020' title 'second control write'"}};
    std::string plots;
    for (const Series& s : series) {
        std::ostringstream points;
        points.precision(9);
        for (const FrameActivity& frame : analysis.activity) {
            const double x = timed && frame.seconds ? *frame.seconds : static_cast<double>(frame.index);
            for (const RegisterWrite& write : frame.writes) {
                if (write.secondControlWrite == s.second) {
                    points << x << ' ' << write.reg << '\n';
                }
            }
        }
        // gnuplot warns about an empty series, and cannot find a range without any.
        if (points.tellp() > 0) {
            script << s.block << " << EOD\n" << points.str() << "EOD\n";
            plots += std::string(plots.empty() ? "plot " : ", ") + s.block + " using 1:2 " + s.style;
        }
    }
    script << "set title 'Register activity (" << analysis.registerWrites << " writes in " << analysis.frames
           << " frames)'\n"
              "set xlabel '" << (timed ? "time (s)" : "frame") << "'\nset ylabel 'register'\n"
              "set yrange [-1:25]\nset ytics 0,2,24\nset grid ytics\nset key outside top center horizontal\n";
    if (plots.empty()) {
        script << "set xrange [0:1]\nplot NaN notitle\n";
    } else {
        script << plots << '\n';
    }
}

} // namespace

double IntervalBinWidthMs(const IntervalStats& stats) noexcept {
    return std::max(kFinestBinMs, (stats.max - stats.min) / kMaxBins);
}

std::string PlotScript(const CaptureAnalysis& analysis, const std::string& title, const std::string& pngPath) {
    const bool timed = analysis.intervals.count != 0;
    std::ostringstream script;
    script.precision(9);
    script << "set terminal png size 1000," << (timed ? 900 : 450) << "\n"
           << "set output " << GnuplotQuoted(pngPath) << "\n"
           << "set multiplot layout " << (timed ? 2 : 1) << ",1 title " << GnuplotQuoted(title) << "\n";
    if (timed) {
        Histogram(script, analysis);
    }
    Timeline(script, analysis, timed);
    script << "unset multiplot\nset output\n";
    return script.str();
}

void WritePlot(const CaptureAnalysis& analysis, const std::string& title, const std::string& pngPath) {
    RunGnuplot(PlotScript(analysis, title, pngPath), pngPath);
}

} // namespace hardsid::monitor
