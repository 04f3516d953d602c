// SPDX-License-Identifier: GPL-2.0-or-later
// The midiOut functions that the double exports, with the checks and results of a driver.
#include <algorithm>
#include <cstring>
#include <vector>

#include "driver.h"
#include "record.h"

namespace winmm_double {
namespace {

constexpr int kMapper = -1;

int DeviceNumber(UINT_PTR id) { return static_cast<int>(static_cast<UINT>(id)); }

OpenDevice* Find(Driver& driver, HMIDIOUT handle) {
    const auto found = driver.open.find(reinterpret_cast<uintptr_t>(handle));
    return found == driver.open.end() ? nullptr : &found->second;
}

int64_t Handle(HMIDIOUT handle) { return static_cast<int64_t>(reinterpret_cast<uintptr_t>(handle)); }

MMRESULT CheckHeader(const MIDIHDR* header, UINT size) {
    return header == nullptr || size < sizeof(MIDIHDR) ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR;
}

MMRESULT PrepareLocked(Driver& driver, HMIDIOUT handle, MIDIHDR* header, UINT size) {
    const OpenDevice* device = Find(driver, handle);
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (const MMRESULT result = CheckHeader(header, size); result != MMSYSERR_NOERROR) {
        return result;
    }
    if (driver.config.Refuses(Refused::Prepare, device->device)) {
        return MMSYSERR_NOMEM;
    }
    header->dwFlags |= MHDR_PREPARED;
    driver.prepared[header] = reinterpret_cast<uintptr_t>(handle);
    return MMSYSERR_NOERROR;
}

MMRESULT UnprepareLocked(Driver& driver, HMIDIOUT handle, MIDIHDR* header, UINT size) {
    if (Find(driver, handle) == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (const MMRESULT result = CheckHeader(header, size); result != MMSYSERR_NOERROR) {
        return result;
    }
    if ((header->dwFlags & MHDR_INQUEUE) != 0) {
        return MIDIERR_STILLPLAYING;
    }
    header->dwFlags &= ~MHDR_PREPARED;
    driver.prepared.erase(header);
    return MMSYSERR_NOERROR;
}

// Messages leave one after another: each waits for the one before it to be sent, then the
// configured delay passes before it is reported done.
MMRESULT QueueLocked(Driver& driver, HMIDIOUT handle, MIDIHDR* header) {
    OpenDevice* device = Find(driver, handle);
    if (device == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if ((header->dwFlags & MHDR_PREPARED) == 0) {
        return MIDIERR_UNPREPARED;
    }
    if ((header->dwFlags & MHDR_INQUEUE) != 0) {
        return MIDIERR_STILLPLAYING;
    }
    const Config& config = driver.config;
    if (config.Refuses(Refused::Send, device->device)) {
        return MIDIERR_NOTREADY;
    }
    const int64_t start = std::max(Now(), device->busyUntil);
    const int64_t sending =
        config.bytesPerSecond > 0 ? header->dwBufferLength * driver.frequency / config.bytesPerSecond : 0;
    device->busyUntil = start + sending;
    const int64_t due = device->busyUntil + config.delayMicroseconds * driver.frequency / 1000000;
    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    driver.queue.emplace(due, Completion{reinterpret_cast<uintptr_t>(handle), header});
    ++device->queued;
    StartWorker(driver);
    ::WakeAllConditionVariable(&driver.changed);
    return MMSYSERR_NOERROR;
}

} // namespace
} // namespace winmm_double

using namespace winmm_double;

extern "C" {

UINT WINAPI midiOutGetNumDevs(void) {
    Driver& driver = TheDriver();
    size_t count = 0;
    {
        Lock lock(driver);
        Config& config = driver.config;
        count = config.devices.size();
        if (config.vanishTo >= 0) {
            config.devices.resize(std::min(config.devices.size(), static_cast<size_t>(config.vanishTo)));
            config.vanishTo = -1;
        }
    }
    Line("midiOutGetNumDevs").Number("result", static_cast<int64_t>(count));
    return static_cast<UINT>(count);
}

MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR id, LPMIDIOUTCAPSA caps, UINT size) {
    Driver& driver = TheDriver();
    const int device = DeviceNumber(id);
    MMRESULT result = MMSYSERR_NOERROR;
    {
        Lock lock(driver);
        const Config& config = driver.config;
        if (caps == nullptr) {
            result = MMSYSERR_INVALPARAM;
        } else if (device != kMapper && (device < 0 || device >= static_cast<int>(config.devices.size()))) {
            result = MMSYSERR_BADDEVICEID;
        } else if (config.Refuses(Refused::Caps, device)) {
            result = MMSYSERR_NODRIVER;
        } else {
            MIDIOUTCAPSA filled{};
            filled.wMid = 0xFFFF; // no registered maker
            filled.wPid = 0xFFFF;
            filled.vDriverVersion = static_cast<MMVERSION>(0x0100 + device + 1); // tells devices apart
            const std::string& name = device == kMapper ? config.mapperName : config.devices[device];
            std::strncpy(filled.szPname, name.c_str(), sizeof filled.szPname - 1);
            filled.wTechnology = device == kMapper ? MOD_MAPPER : MOD_MIDIPORT;
            filled.wChannelMask = 0xFFFF;
            std::memcpy(caps, &filled, std::min<size_t>(size, sizeof filled));
        }
    }
    Line("midiOutGetDevCapsA").Number("device", device).Number("result", result);
    return result;
}

MMRESULT WINAPI midiOutOpen(LPHMIDIOUT handleOut, UINT id, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
    Driver& driver = TheDriver();
    const int device = DeviceNumber(id);
    const DWORD type = flags & CALLBACK_TYPEMASK;
    MMRESULT result = MMSYSERR_NOERROR;
    uintptr_t handle = 0;
    Notify notify{type, callback, instance};
    {
        Lock lock(driver);
        const Config& config = driver.config;
        if (handleOut == nullptr) {
            result = MMSYSERR_INVALPARAM;
        } else if (type != CALLBACK_NULL && type != CALLBACK_FUNCTION && type != CALLBACK_WINDOW) {
            result = MMSYSERR_INVALFLAG;
        } else if (device == kMapper && config.devices.empty()) {
            result = MIDIERR_NODEVICE;
        } else if (device != kMapper && (device < 0 || device >= static_cast<int>(config.devices.size()))) {
            result = MMSYSERR_BADDEVICEID;
        } else if (config.Refuses(Refused::Open, device)) {
            result = MMSYSERR_ALLOCATED;
        } else {
            handle = ++driver.lastHandle;
            driver.open[handle] = OpenDevice{device, notify};
        }
        if (handleOut != nullptr) {
            *handleOut = reinterpret_cast<HMIDIOUT>(handle);
        }
    }
    if (handle != 0) {
        Deliver(notify, handle, MOM_OPEN, nullptr);
    }
    Line("midiOutOpen")
        .Number("device", device)
        .Hex("flags", flags, 8)
        .Hex("instance", instance)
        .Number("result", result)
        .Number("handle", static_cast<int64_t>(handle));
    return result;
}

MMRESULT WINAPI midiOutClose(HMIDIOUT handle) {
    Driver& driver = TheDriver();
    MMRESULT result = MMSYSERR_NOERROR;
    Notify notify;
    {
        Lock lock(driver);
        OpenDevice* device = Find(driver, handle);
        if (device == nullptr) {
            result = MMSYSERR_INVALHANDLE;
        } else if (device->queued > 0) {
            result = MIDIERR_STILLPLAYING;
        } else {
            WaitForDeliveries(driver, *device);
            notify = device->notify;
            driver.open.erase(reinterpret_cast<uintptr_t>(handle));
            ::WakeAllConditionVariable(&driver.changed); // the completion thread may end now
        }
    }
    if (result == MMSYSERR_NOERROR) {
        Deliver(notify, reinterpret_cast<uintptr_t>(handle), MOM_CLOSE, nullptr);
    }
    Line("midiOutClose").Number("handle", Handle(handle)).Number("result", result);
    return result;
}

MMRESULT WINAPI midiOutReset(HMIDIOUT handle) {
    Driver& driver = TheDriver();
    MMRESULT result = MMSYSERR_NOERROR;
    Notify notify;
    std::vector<MIDIHDR*> returned;
    {
        Lock lock(driver);
        OpenDevice* device = Find(driver, handle);
        if (device == nullptr) {
            result = MMSYSERR_INVALHANDLE;
        } else {
            // Whatever the completion thread is handing back goes first, to keep the order.
            WaitForDeliveries(driver, *device);
            for (auto it = driver.queue.begin(); it != driver.queue.end();) {
                if (it->second.handle == reinterpret_cast<uintptr_t>(handle)) {
                    MarkDone(it->second.header);
                    returned.push_back(it->second.header);
                    it = driver.queue.erase(it);
                } else {
                    ++it;
                }
            }
            device->queued = 0;
            device->busyUntil = 0;
            notify = device->notify;
        }
    }
    for (MIDIHDR* header : returned) {
        Deliver(notify, reinterpret_cast<uintptr_t>(handle), MOM_DONE, header);
    }
    Line("midiOutReset")
        .Number("handle", Handle(handle))
        .Number("returned", static_cast<int64_t>(returned.size()))
        .Number("result", result);
    return result;
}

MMRESULT WINAPI midiOutShortMsg(HMIDIOUT handle, DWORD message) {
    Driver& driver = TheDriver();
    MMRESULT result = MMSYSERR_NOERROR;
    {
        Lock lock(driver);
        if (Find(driver, handle) == nullptr) {
            result = MMSYSERR_INVALHANDLE;
        }
    }
    Line("midiOutShortMsg").Number("handle", Handle(handle)).Hex("message", message, 8).Number("result", result);
    return result;
}

MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size) {
    Driver& driver = TheDriver();
    MMRESULT result = MMSYSERR_NOERROR;
    {
        Lock lock(driver);
        result = PrepareLocked(driver, handle, header, size);
    }
    Line("midiOutPrepareHeader")
        .Number("handle", Handle(handle))
        .Hex("header", reinterpret_cast<uintptr_t>(header))
        .Number("result", result);
    return result;
}

MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT handle, LPMIDIHDR header, UINT size) {
    Driver& driver = TheDriver();
    MMRESULT result = MMSYSERR_NOERROR;
    {
        Lock lock(driver);
        result = UnprepareLocked(driver, handle, header, size);
    }
    Line("midiOutUnprepareHeader")
        .Number("handle", Handle(handle))
        .Hex("header", reinterpret_cast<uintptr_t>(header))
        .Number("result", result);
    return result;
}

MMRESULT WINAPI midiOutLongMsg(HMIDIOUT handle, LPMIDIHDR header, UINT size) {
    Driver& driver = TheDriver();
    MMRESULT result = CheckHeader(header, size);
    // Copied now: once queued, the message may be done and freed before this call returns.
    const std::string data = result == MMSYSERR_NOERROR && header->lpData != nullptr
                                 ? HexBytes(header->lpData, header->dwBufferLength)
                                 : std::string();
    const DWORD length = result == MMSYSERR_NOERROR ? header->dwBufferLength : 0;
    if (result == MMSYSERR_NOERROR) {
        Lock lock(driver);
        result = QueueLocked(driver, handle, header);
    }
    Line line("midiOutLongMsg");
    line.Number("handle", Handle(handle))
        .Hex("header", reinterpret_cast<uintptr_t>(header))
        .Number("length", length)
        .Number("result", result);
    if (result == MMSYSERR_NOERROR) {
        line.Field("data", data);
    }
    return result;
}

} // extern "C"
