// SPDX-License-Identifier: GPL-2.0-or-later
#include "wav_file.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace hardsid::monitor {

namespace {

constexpr uint16_t kPcmFormat = 1;
constexpr uint16_t kBitsPerSample = 16;
constexpr uint32_t kFmtBytes = 16;
constexpr size_t kHeaderBytes = 44;

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v));
    Put16(out, static_cast<uint16_t>(v >> 16));
}
void PutTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

uint16_t Get16(const std::vector<uint8_t>& in, size_t at) {
    return static_cast<uint16_t>(in[at] | (in[at + 1] << 8));
}
uint32_t Get32(const std::vector<uint8_t>& in, size_t at) {
    return Get16(in, at) | (static_cast<uint32_t>(Get16(in, at + 2)) << 16);
}
bool TagAt(const std::vector<uint8_t>& in, size_t at, const char* tag) {
    return in.size() >= at + 4 && std::memcmp(in.data() + at, tag, 4) == 0;
}

} // namespace

void WriteWavFile(const std::string& path, const Pcm& pcm) {
    const auto dataBytes = static_cast<uint32_t>(pcm.samples.size() * sizeof(int16_t));
    const auto blockAlign = static_cast<uint16_t>(pcm.channels * kBitsPerSample / 8);
    std::vector<uint8_t> out;
    out.reserve(kHeaderBytes + dataBytes);
    PutTag(out, "RIFF");
    Put32(out, 36 + dataBytes);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    Put32(out, kFmtBytes);
    Put16(out, kPcmFormat);
    Put16(out, static_cast<uint16_t>(pcm.channels));
    Put32(out, static_cast<uint32_t>(pcm.rate));
    Put32(out, static_cast<uint32_t>(pcm.rate) * blockAlign);
    Put16(out, blockAlign);
    Put16(out, kBitsPerSample);
    PutTag(out, "data");
    Put32(out, dataBytes);
    for (const int16_t s : pcm.samples) {
        Put16(out, static_cast<uint16_t>(s));
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    if (!file.flush()) {
        throw WavError("cannot write " + path);
    }
}

Pcm ReadWavFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw WavError("cannot open " + path);
    }
    const std::vector<uint8_t> in((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto fail = [&](const std::string& what) { return WavError(path + ": " + what); };
    if (in.size() < kHeaderBytes || !TagAt(in, 0, "RIFF") || !TagAt(in, 8, "WAVE")) {
        throw fail("not a RIFF WAVE file");
    }
    if (Get32(in, 4) != in.size() - 8) {
        throw fail("RIFF size " + std::to_string(Get32(in, 4)) + ", but the file holds " + std::to_string(in.size() - 8));
    }
    if (!TagAt(in, 12, "fmt ") || Get32(in, 16) != kFmtBytes || Get16(in, 20) != kPcmFormat) {
        throw fail("not a plain PCM format chunk");
    }
    Pcm pcm;
    pcm.channels = Get16(in, 22);
    pcm.rate = static_cast<int>(Get32(in, 24));
    const uint16_t blockAlign = Get16(in, 32);
    if (Get16(in, 34) != kBitsPerSample || pcm.channels < 1 || blockAlign != pcm.channels * 2 ||
        Get32(in, 28) != static_cast<uint32_t>(pcm.rate) * blockAlign) {
        throw fail("format fields disagree (16-bit samples, block align, byte rate)");
    }
    if (!TagAt(in, 36, "data") || Get32(in, 40) != in.size() - kHeaderBytes || Get32(in, 40) % blockAlign != 0) {
        throw fail("data chunk size does not match the file");
    }
    pcm.samples.resize(Get32(in, 40) / 2);
    for (size_t i = 0; i < pcm.samples.size(); ++i) {
        pcm.samples[i] = static_cast<int16_t>(Get16(in, kHeaderBytes + 2 * i));
    }
    return pcm;
}

} // namespace hardsid::monitor
