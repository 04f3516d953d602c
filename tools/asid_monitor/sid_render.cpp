// SPDX-License-Identifier: GPL-2.0-or-later
#include "sid_render.h"

#include <sidplayfp/SidConfig.h>
#include <sidplayfp/SidTune.h>
#include <sidplayfp/builders/residfp.h>
#include <sidplayfp/sidplayfp.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <mutex>

namespace hardsid::monitor {

namespace {

// The player's driver starts the tune well within this; a tune that never writes the
// marker was not started at all.
constexpr double kMaxStartSeconds = 2.0;
constexpr uint_least32_t kChunkFrames = 4096;

double ProcessorSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::mutex& SetupLock() {
    static std::mutex lock;
    return lock;
}

bool MarkerWritten(sidplayfp& engine) {
    uint8_t registers[32] = {};
    return engine.getSidStatus(0, registers) && registers[0x1F] == kMarkerRegisterValue;
}

} // namespace

Rendering RenderSchedule(const WriteSchedule& schedule, ChipModel model) {
    const double started = ProcessorSeconds();
    Rendering result;
    result.image = BuildTuneImage(schedule);
    const int chips = std::clamp(schedule.chips, 1, kMaxRenderedChips);

    // The emulator builds its shared tables when the first chip is made: one rendering at a
    // time gets that far, then they run side by side.
    std::unique_lock setup(SetupLock());
    SidTune tune(result.image.psid.data(), static_cast<uint_least32_t>(result.image.psid.size()));
    if (!tune.getStatus()) {
        throw RenderError(std::string("libsidplayfp refuses the tune: ") + tune.statusString());
    }
    tune.selectSong(1);
    ReSIDfpBuilder builder("reSIDfp");
    builder.create(static_cast<unsigned>(chips));
    if (!builder.getStatus()) {
        throw RenderError(std::string("reSIDfp: ") + builder.error());
    }
    builder.filter(true);
    sidplayfp engine;
    SidConfig config;
    config.frequency = kRenderRate;
    config.playback = chips >= 2 ? SidConfig::STEREO : SidConfig::MONO;
    config.defaultC64Model = SidConfig::PAL;
    config.forceC64Model = true;
    config.defaultSidModel = model == ChipModel::Mos8580 ? SidConfig::MOS8580 : SidConfig::MOS6581;
    config.forceSidModel = true;
    config.sidEmulation = &builder;
    config.powerOnDelay = 0; // the same output on every run
    config.samplingMethod = SidConfig::RESAMPLE_INTERPOLATE;
    if (!engine.config(config)) {
        throw RenderError(std::string("libsidplayfp refuses the configuration: ") + engine.error());
    }
    if (!engine.load(&tune)) {
        throw RenderError(std::string("libsidplayfp cannot load the tune: ") + engine.error());
    }

    setup.unlock();
    Pcm& pcm = result.pcm;
    pcm.channels = chips >= 2 ? 2 : 1;
    const auto channels = static_cast<uint_least32_t>(pcm.channels);
    // Sample by sample until the marker shows where the image's time zero is; before that the
    // player's driver starts the tune.
    std::vector<short> frame(channels);
    for (size_t waited = 0; !MarkerWritten(engine); ++waited) {
        if (waited > kMaxStartSeconds * kRenderRate || engine.play(frame.data(), channels) != channels) {
            throw RenderError("the emulator never started the rendering tune");
        }
    }
    // From the marker to the schedule's time zero, the chips settle; that part is dropped.
    auto settle = static_cast<size_t>(std::lround((kSettleSeconds - kMarkerCycle / kEmulatedClockHz) * kRenderRate));
    const auto frames = static_cast<size_t>(std::ceil(result.image.renderedSeconds * kRenderRate));
    std::vector<short> chunk(kChunkFrames * channels);
    while (pcm.Frames() < frames) {
        const size_t dropped = std::min<size_t>(settle, kChunkFrames);
        const size_t kept = settle != 0 ? 0 : std::min<size_t>(kChunkFrames, frames - pcm.Frames());
        const auto want = static_cast<uint_least32_t>((dropped + kept) * channels);
        const uint_least32_t got = engine.play(chunk.data(), want);
        settle -= dropped;
        pcm.samples.insert(pcm.samples.end(), chunk.begin(), chunk.begin() + (kept != 0 ? got : 0));
        if (got != want) {
            throw RenderError(std::string("the emulator stopped: ") + engine.error());
        }
    }
    result.processorSeconds = ProcessorSeconds() - started;
    return result;
}

} // namespace hardsid::monitor
