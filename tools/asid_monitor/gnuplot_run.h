// SPDX-License-Identifier: GPL-2.0-or-later
// Hands a whole gnuplot script to gnuplot (Debian's gnuplot-nox, png terminal).
#pragma once

#include <stdexcept>
#include <string>

namespace hardsid::monitor {

class PlotError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Single-quoted gnuplot string: everything literal but the quote, which is written twice.
std::string GnuplotQuoted(const std::string& text);

/// Runs gnuplot on the script, which draws pngPath; throws PlotError when gnuplot is missing
/// or fails.
void RunGnuplot(const std::string& script, const std::string& pngPath);

} // namespace hardsid::monitor
