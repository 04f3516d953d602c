// SPDX-License-Identifier: GPL-2.0-or-later
#include "config.h"

#include <charconv>

namespace winmm_double {
namespace {

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Splits "word rest" at the first blank.
std::pair<std::string_view, std::string_view> SplitWord(std::string_view text) {
    const auto blank = text.find_first_of(" \t");
    if (blank == std::string_view::npos) {
        return {text, {}};
    }
    return {text.substr(0, blank), Trim(text.substr(blank))};
}

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool ParseRefusal(std::string_view text, Config& config) {
    const auto [what, device] = SplitWord(text);
    Refusal refusal{};
    if (what == "open") {
        refusal.what = Refused::Open;
    } else if (what == "caps") {
        refusal.what = Refused::Caps;
    } else if (what == "prepare") {
        refusal.what = Refused::Prepare;
    } else if (what == "send") {
        refusal.what = Refused::Send;
    } else {
        return false;
    }
    if (!device.empty()) {
        int number = 0;
        if (!ParseNumber(device, number)) {
            return false;
        }
        refusal.device = number;
    }
    config.refusals.push_back(refusal);
    return true;
}

bool ParseSetting(std::string_view setting, Config& config) {
    const auto [word, rest] = SplitWord(setting);
    if (word == "device" && !rest.empty()) {
        config.devices.emplace_back(rest);
        return true;
    }
    if (word == "mapper" && !rest.empty()) {
        config.mapperName = rest;
        return true;
    }
    if (word == "refuse") {
        return ParseRefusal(rest, config);
    }
    if (word == "vanish") {
        return ParseNumber(rest, config.vanishTo) && config.vanishTo >= 0;
    }
    if (word == "delay") {
        return ParseNumber(rest, config.delayMicroseconds) && config.delayMicroseconds >= 0;
    }
    if (word == "rate") {
        return ParseNumber(rest, config.bytesPerSecond) && config.bytesPerSecond >= 0;
    }
    if (word == "record" && !rest.empty()) {
        config.recordPath = std::string(rest);
        return true;
    }
    return false;
}

} // namespace

bool Config::Refuses(Refused what, int device) const {
    for (const Refusal& refusal : refusals) {
        if (refusal.what == what && (!refusal.device || *refusal.device == device)) {
            return true;
        }
    }
    return false;
}

int ParseConfig(std::string_view text, Config& config) {
    Config parsed;
    int number = 0;
    while (!text.empty()) {
        const auto end = text.find_first_of(";\n");
        const std::string_view setting = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (setting.empty() || setting.front() == '#') {
            continue;
        }
        if (!ParseSetting(setting, parsed)) {
            return number;
        }
    }
    config = std::move(parsed);
    return 0;
}

} // namespace winmm_double
