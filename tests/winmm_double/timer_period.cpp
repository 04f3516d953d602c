// SPDX-License-Identifier: GPL-2.0-or-later
// The system timer's period: the double only counts and records what is asked of it, so a
// test can see that every period begun is ended.
#include "driver.h"
#include "record.h"

namespace {

// The range a system reports through timeGetDevCaps: 1 ms to one second.
constexpr UINT kShortestPeriod = 1;
constexpr UINT kLongestPeriod = 1000000;

} // namespace

using namespace winmm_double;

extern "C" {

MMRESULT WINAPI timeBeginPeriod(UINT period) {
    Driver& driver = TheDriver();
    MMRESULT result = TIMERR_NOCANDO;
    if (period >= kShortestPeriod && period <= kLongestPeriod) {
        Lock lock(driver);
        ++driver.periods[period];
        result = TIMERR_NOERROR;
    }
    Line("timeBeginPeriod").Number("period", period).Number("result", result);
    return result;
}

MMRESULT WINAPI timeEndPeriod(UINT period) {
    Driver& driver = TheDriver();
    MMRESULT result = TIMERR_NOCANDO;
    {
        Lock lock(driver);
        const auto found = driver.periods.find(period);
        if (found != driver.periods.end()) {
            if (--found->second == 0) {
                driver.periods.erase(found);
            }
            result = TIMERR_NOERROR;
        }
    }
    Line("timeEndPeriod").Number("period", period).Number("result", result);
    return result;
}

} // extern "C"
