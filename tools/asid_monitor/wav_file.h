// SPDX-License-Identifier: GPL-2.0-or-later
// 16-bit PCM WAV files: written by the monitor, read back by its tests.
#pragma once

#include <stdexcept>
#include <string>

#include "sid_render.h"

namespace hardsid::monitor {

class WavError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// RIFF, "fmt " (PCM, 16 bits), "data". Throws WavError when the file cannot be written.
void WriteWavFile(const std::string& path, const Pcm& pcm);

/// Reads a 16-bit PCM WAV and checks every header field that must agree with the others;
/// throws WavError naming the first one that does not.
Pcm ReadWavFile(const std::string& path);

} // namespace hardsid::monitor
