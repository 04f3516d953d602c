// SPDX-License-Identifier: GPL-2.0-or-later
#include "sid_tune_image.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace hardsid::monitor {

namespace {

constexpr uint16_t kLoadAddress = 0x0800;
constexpr uint16_t kDataAddress = 0x0900;
// The data skip the I/O area, which the code reads as I/O, and stop before the vectors.
constexpr uint16_t kIoStart = 0xD000;
constexpr uint16_t kIoEnd = 0xE000;
constexpr uint32_t kDataEnd = 0xFFFA;
constexpr size_t kDataCapacity = (kIoStart - kDataAddress) + (kDataEnd - kIoEnd);

// The code, at $0800. With interrupts off and the screen blanked (no bad lines steal
// cycles), it polls CIA 1 timer A, which runs free and reloads itself from its latch, so
// every underflow comes exactly one latch period after the one before. At each underflow it
// reads a record: the latch for the period after the next one, a count, and that many pairs
// of register index ($00-$5F: chip × 32 + register) and value. A count of $FF ends it.
// The data pointer skips from $D000 to $E000.
constexpr std::array<uint8_t, 0xAB> kCode = {
    0x78,                   // 00 sei
    0xA9, 0x7F,             // 01 lda #$7f
    0x8D, 0x0D, 0xDC,       // 03 sta $dc0d      no CIA interrupts
    0x8D, 0x0D, 0xDD,       // 06 sta $dd0d
    0xA9, 0x00,             // 09 lda #0
    0x8D, 0x1A, 0xD0,       // 0b sta $d01a      no raster interrupt
    0x8D, 0x0E, 0xDC,       // 0e sta $dc0e      timers stopped
    0x8D, 0x0F, 0xDC,       // 11 sta $dc0f
    0xA9, 0x0B,             // 14 lda #$0b
    0x8D, 0x11, 0xD0,       // 16 sta $d011      screen off: no bad lines
    0xA9, 0x35,             // 19 lda #$35
    0x85, 0x01,             // 1b sta $01        RAM under the ROMs, I/O on
    0xA9, 0x00,             // 1d lda #<data
    0x85, 0xFB,             // 1f sta $fb
    0xA9, 0x09,             // 21 lda #>data
    0x85, 0xFC,             // 23 sta $fc
    0xA0, 0x00,             // 25 ldy #0
    0x20, 0x93, 0x08,       // 27 jsr get
    0x8D, 0x04, 0xDC,       // 2a sta $dc04      first period
    0x20, 0x93, 0x08,       // 2d jsr get
    0x8D, 0x05, 0xDC,       // 30 sta $dc05
    0xAD, 0x0D, 0xDC,       // 33 lda $dc0d      clear the flags
    0xA9, 0x11,             // 36 lda #$11
    0x8D, 0x0E, 0xDC,       // 38 sta $dc0e      load and start, continuous: time zero
    0x20, 0x93, 0x08,       // 3b jsr get
    0x8D, 0x04, 0xDC,       // 3e sta $dc04      second period, loaded at the first underflow
    0x20, 0x93, 0x08,       // 41 jsr get
    0x8D, 0x05, 0xDC,       // 44 sta $dc05
    0xAD, 0x0D, 0xDC,       // 47 wait: lda $dc0d
    0x4A,                   // 4a lsr
    0x90, 0xFA,             // 4b bcc wait
    0xB1, 0xFB, 0xC8, 0xD0, 0x03, 0x20, 0x9C, 0x08, // 4d get
    0x8D, 0x04, 0xDC,       // 55 sta $dc04      latch for the period after the next
    0xB1, 0xFB, 0xC8, 0xD0, 0x03, 0x20, 0x9C, 0x08, // 58 get
    0x8D, 0x05, 0xDC,       // 60 sta $dc05
    0xB1, 0xFB, 0xC8, 0xD0, 0x03, 0x20, 0x9C, 0x08, // 63 get
    0x85, 0xFD,             // 6b sta $fd        count
    0xC9, 0xFF,             // 6d cmp #$ff
    0xF0, 0x1F,             // 6f beq end
    0xC9, 0x00,             // 71 cmp #0
    0xF0, 0xD2,             // 73 beq wait
    0xB1, 0xFB, 0xC8, 0xD0, 0x03, 0x20, 0x9C, 0x08, // 75 next: get
    0xAA,                   // 7d tax
    0xB1, 0xFB, 0xC8, 0xD0, 0x03, 0x20, 0x9C, 0x08, // 7e get
    0x9D, 0x00, 0xD4,       // 86 sta $d400,x
    0xC6, 0xFD,             // 89 dec $fd
    0xD0, 0xE8,             // 8b bne next
    0x4C, 0x47, 0x08,       // 8d jmp wait
    0x4C, 0x90, 0x08,       // 90 end: jmp end
    0xB1, 0xFB, 0xC8, 0xD0, 0x03, 0x20, 0x9C, 0x08, // 93 get: the next data byte
    0x60,                   // 9b rts
    0xE6, 0xFC,             // 9c nextpage: inc $fc
    0x48,                   // 9e pha
    0xA5, 0xFC,             // 9f lda $fc
    0xC9, 0xD0,             // a1 cmp #$d0
    0xD0, 0x04,             // a3 bne +4
    0xA9, 0xE0,             // a5 lda #$e0
    0x85, 0xFC,             // a7 sta $fc
    0x68,                   // a9 pla
    0x60,                   // aa rts
};
static_assert(kLoadAddress + kCode.size() <= kDataAddress);

// Cycles from an underflow to the first write of its burst (the poll's 9-cycle loop makes it
// 0 to 8 more), between two writes, and the least period after a burst of n writes so that
// the code is back at its poll (with room for a page change) before the next underflow.
constexpr int64_t kLeadCycles = 85;
constexpr int64_t kCyclesPerWrite = 35;
constexpr int64_t kBusyCycles = 100;
constexpr int64_t kFirstUnderflow = 200; // the second latch is written before it
constexpr int64_t kMaxPeriod = 65536;
constexpr int64_t kEndPeriod = 1000;
constexpr uint8_t kEndCount = 0xFF;
constexpr size_t kMaxBurst = 254;

constexpr size_t kHeaderBytes = 0x7C;

// Written first, so that the renderer finds time zero in the emulator's output.
constexpr uint8_t kMarkerRegister = 0x1F;
constexpr uint8_t kMarkerValue = kMarkerRegisterValue;
constexpr int kClearedRegisters = 25;
static_assert(kMarkerCycle == kFirstUnderflow + kLeadCycles);

struct Burst {
    int64_t underflow = 0;
    std::vector<std::pair<uint8_t, uint8_t>> writes; // register index, value
};

int64_t BusyUntil(const Burst& burst) {
    return burst.underflow + kBusyCycles + kCyclesPerWrite * static_cast<int64_t>(burst.writes.size());
}

void PutBig16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

std::vector<uint8_t> Header(int chips) {
    std::vector<uint8_t> h(kHeaderBytes, 0);
    std::memcpy(h.data(), "PSID", 4);
    PutBig16(&h[0x04], static_cast<uint16_t>(chips == 1 ? 2 : chips == 2 ? 3 : 4));
    PutBig16(&h[0x06], kHeaderBytes);
    PutBig16(&h[0x08], 0);            // load address: the data's first two bytes
    PutBig16(&h[0x0A], kLoadAddress); // init, which never returns
    PutBig16(&h[0x0C], 0);            // no play routine
    PutBig16(&h[0x0E], 1);            // songs
    PutBig16(&h[0x10], 1);            // start song
    std::memcpy(&h[0x16], "ASID receiver", 13);
    // PAL; every chip a 6581 (the renderer forces the model it is asked for).
    PutBig16(&h[0x76], 0x0004 | 0x0010 | 0x0040 | 0x0100);
    h[0x78] = 0x04; // the player's driver goes into the screen memory, $0400-$07FF
    h[0x79] = 0x04;
    h[0x7A] = chips >= 2 ? static_cast<uint8_t>((kChipAddress[1] >> 4) & 0xFF) : 0;
    h[0x7B] = chips >= 3 ? static_cast<uint8_t>((kChipAddress[2] >> 4) & 0xFF) : 0;
    return h;
}

std::vector<Burst> MakeBursts(const std::vector<TimedWrite>& writes, int chips, std::vector<int64_t>& placedAt) {
    // The player's driver leaves the volume up: every register goes to 0 first, as in a chip
    // just switched on, while the output settles.
    std::vector<Burst> bursts = {{kFirstUnderflow, {{kMarkerRegister, kMarkerValue}}}};
    for (int chip = 0; chip < chips; ++chip) {
        for (int reg = 0; reg < kClearedRegisters; ++reg) {
            bursts[0].writes.emplace_back(static_cast<uint8_t>(chip * 32 + reg), 0);
        }
    }
    placedAt.clear();
    for (const TimedWrite& w : writes) {
        const int64_t wanted = std::llround((w.seconds + kSettleSeconds) * kEmulatedClockHz);
        const uint8_t index = static_cast<uint8_t>(w.chip * 32 + (w.reg & 0x1F));
        if (bursts.size() > 1 && bursts.back().writes.size() < kMaxBurst &&
            wanted - kLeadCycles < BusyUntil(bursts.back())) {
            // Too close to start a burst of its own: it goes out with the one in progress.
            Burst& b = bursts.back();
            placedAt.push_back(b.underflow + kLeadCycles + kCyclesPerWrite * static_cast<int64_t>(b.writes.size()));
            b.writes.emplace_back(index, w.value);
            continue;
        }
        int64_t underflow = std::max(wanted - kLeadCycles, BusyUntil(bursts.back()));
        int64_t last = bursts.back().underflow;
        while (underflow - last > kMaxPeriod) { // the timer counts 16 bits: empty bursts bridge a gap
            last = std::min(last + kMaxPeriod, underflow - 1000);
            bursts.push_back({last, {}});
        }
        placedAt.push_back(underflow + kLeadCycles);
        bursts.push_back({underflow, {{index, w.value}}});
    }
    return bursts;
}

} // namespace

TuneImage BuildTuneImage(const WriteSchedule& schedule) {
    TuneImage image;
    std::vector<int64_t> placedAt;
    const int chips = std::clamp(schedule.chips, 1, kMaxRenderedChips);
    const std::vector<Burst> bursts = MakeBursts(schedule.writes, chips, placedAt);

    // Periods between underflows: P[0] from time zero to the first, then one per burst.
    std::vector<int64_t> periods;
    int64_t previous = 0;
    for (const Burst& b : bursts) {
        periods.push_back(b.underflow - previous);
        previous = b.underflow;
    }
    periods.push_back(std::max(kEndPeriod, BusyUntil(bursts.back()) - previous));
    periods.push_back(kMaxPeriod);
    periods.push_back(kMaxPeriod);
    auto latch = [&](size_t i) { return static_cast<uint16_t>(std::clamp<int64_t>(periods[i] - 1, 0, kMaxPeriod - 1)); };

    std::vector<uint8_t> data;
    auto put16 = [&](uint16_t v) {
        data.push_back(static_cast<uint8_t>(v));
        data.push_back(static_cast<uint8_t>(v >> 8));
    };
    put16(latch(0));
    put16(latch(1));
    constexpr size_t kEndRecordBytes = 3;
    size_t placedBursts = 0;
    for (; placedBursts < bursts.size(); ++placedBursts) {
        const Burst& b = bursts[placedBursts];
        const size_t bytes = 3 + 2 * b.writes.size();
        if (data.size() + bytes + kEndRecordBytes > kDataCapacity) {
            break;
        }
        put16(latch(placedBursts + 2));
        data.push_back(static_cast<uint8_t>(b.writes.size()));
        for (const auto& [index, value] : b.writes) {
            data.push_back(index);
            data.push_back(value);
        }
        image.placedWrites += b.writes.size();
    }
    put16(0xFFFF);
    data.push_back(kEndCount);
    image.placedWrites -= bursts[0].writes.size(); // the marker and the cleared registers
    image.droppedWrites = schedule.writes.size() - image.placedWrites;
    image.renderedSeconds = image.droppedWrites == 0 ? schedule.endSeconds
                                                     : schedule.writes[image.placedWrites].seconds;

    double errorSum = 0;
    for (size_t i = 0; i < image.placedWrites; ++i) {
        const double error =
            std::abs(static_cast<double>(placedAt[i]) / kEmulatedClockHz - kSettleSeconds - schedule.writes[i].seconds) * 1e6;
        errorSum += error;
        image.maxErrorUs = std::max(image.maxErrorUs, error);
    }
    image.meanErrorUs = image.placedWrites == 0 ? 0 : errorSum / static_cast<double>(image.placedWrites);

    // The tune: header, load address, code, data (with the I/O area as a gap of zeros).
    image.psid = Header(chips);
    image.psid.push_back(static_cast<uint8_t>(kLoadAddress & 0xFF));
    image.psid.push_back(static_cast<uint8_t>(kLoadAddress >> 8));
    std::vector<uint8_t> memory(kDataAddress - kLoadAddress, 0);
    std::copy(kCode.begin(), kCode.end(), memory.begin());
    const size_t belowIo = kIoStart - kDataAddress;
    memory.insert(memory.end(), data.begin(), data.begin() + static_cast<ptrdiff_t>(std::min(data.size(), belowIo)));
    if (data.size() > belowIo) {
        memory.resize(kIoEnd - kLoadAddress, 0);
        memory.insert(memory.end(), data.begin() + static_cast<ptrdiff_t>(belowIo), data.end());
    }
    image.psid.insert(image.psid.end(), memory.begin(), memory.end());
    return image;
}

} // namespace hardsid::monitor
