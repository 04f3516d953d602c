// SPDX-License-Identifier: GPL-2.0-or-later
// Timing figures of hardsid.dll as a player meets them: the cycle delay's accuracy, the
// cost of a register write, and the time to load and unload. Prints figures; passes or
// fails nothing. Run it from a scratch folder: the library writes hardsid.log there.
// Under Wine: WINEDLLOVERRIDES=winmm=n,b, so that the scripted winmm beside it is used.
// Usage: timing_bench.exe [--delays-only]   (only the cycle delay's table)
#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>

#include "bench_clock.h"
#include "bench_sections.h"

namespace {

using namespace hardsid::bench;

std::string HostDescription() {
    using WineVersion = const char*(__cdecl*)();
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    const FARPROC address = ntdll != nullptr ? ::GetProcAddress(ntdll, "wine_get_version") : nullptr;
    if (address != nullptr) {
        return std::string("Wine ") + reinterpret_cast<WineVersion>(reinterpret_cast<void (*)()>(address))();
    }
    return "Windows";
}

std::string CurrentFolder() {
    char folder[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, folder);
    return folder;
}

void PrintMachine() {
    SYSTEM_INFO system;
    ::GetNativeSystemInfo(&system);
    std::printf("timing_bench: %s, %u-bit program, %lu processors, counter %lld Hz\n", HostDescription().c_str(),
                static_cast<unsigned>(sizeof(void*) * 8), system.dwNumberOfProcessors,
                static_cast<long long>(CounterFrequency()));
    std::printf("library: %s\n", HardSidPath().c_str());
}

} // namespace

// "timing_bench.exe write-cost" runs that part alone, to compare two builds of the library;
// "--delays-only" the delay errors alone.
int main(int argc, char** argv) {
    const bool delaysOnly = argc > 1 && std::string(argv[1]) == "--delays-only";
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const bool writeCostOnly = argc > 1 && std::string(argv[1]) == "write-cost";
    const int64_t start = Counter();
    try {
        PrintMachine();
        const ScriptedWinmm winmm;
        std::printf("winmm: %s\n", winmm.Present() ? "the scripted double" : "the system's");
        SettingsOverride settings;
        BenchContext context{settings, winmm, CurrentFolder() + "\\load_record.txt"};
        if (writeCostOnly) {
            PrintWriteCost(context);
        } else {
            PrintDelayErrors(context);
            if (!delaysOnly) {
                PrintWriteCost(context);
                PrintLoadTime(context);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "timing_bench: %s\n", e.what());
        return 1;
    }
    std::printf("\nrun time %.1f s\n", CountsToMicroseconds(Counter() - start) / 1e6);
    return 0;
}
