// SPDX-License-Identifier: GPL-2.0-or-later
#include "gnuplot_run.h"

#include <stdio.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>

namespace hardsid::monitor {

namespace {
constexpr int kExitCommandNotFound = 127;
}

std::string GnuplotQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return quoted + "'";
}

void RunGnuplot(const std::string& script, const std::string& pngPath) {
    // A gnuplot that is missing or dies closes the pipe: that must fail the write, not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    FILE* gnuplot = ::popen("gnuplot", "w");
    if (gnuplot == nullptr) {
        throw PlotError("cannot start gnuplot");
    }
    const bool written = std::fwrite(script.data(), 1, script.size(), gnuplot) == script.size();
    const int status = ::pclose(gnuplot);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kExitCommandNotFound) {
        throw PlotError("gnuplot is not installed (scripts/install-deps.sh installs it)");
    }
    if (!written || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw PlotError("gnuplot failed to draw " + pngPath);
    }
}

} // namespace hardsid::monitor
