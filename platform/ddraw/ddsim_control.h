// Faults asked of the simulated display from outside the viewer, while it runs: the device's
// console writes requests into a small named shared block, and the display takes them at its next
// call (only when the viewer was started with DDSIM_CONTROL=1). The display tells back, in the
// same block, where its live picture shows. Only the simulated display and the
// console know of it; product code never includes this header.
#ifndef PLATFORM_DDRAW_DDSIM_CONTROL_H
#define PLATFORM_DDRAW_DDSIM_CONTROL_H

#include <windows.h>

#include <cstring>

namespace ddsim {
namespace control {

constexpr wchar_t kBlockName[] = L"devicesim.display.faults";
constexpr int kSlots = 16;

// "The next `count` calls of `name` fail with `hr`", counted from when the display takes it.
struct Request {
    char name[32];
    LONG count;
    LONG hr;
};

// Where the display shows the live picture now, for the console's screen comparisons: the one
// part of the glass that moves by itself. `seq` is odd while the display writes `screen`, and
// grows with every change; a reader that sees it change or odd reads again.
struct Live {
    volatile LONG seq;
    RECT screen;   // empty when no picture shows
};

// Written by one console, read by one viewer: `written` and `taken` only grow; the slot of request
// k is k % kSlots, so a viewer that falls more than kSlots behind loses the oldest.
struct Block {
    volatile LONG written;
    volatile LONG taken;
    Request slots[kSlots];
    Live live;
};

// The calls that can be made to fail, with the error the device's display gives for each.
struct Failable {
    const char* name;
    LONG hr;
    const char* error;
};
constexpr LONG kGeneric = static_cast<LONG>(0x80004005L);
constexpr Failable kFailable[] = {
    {"DirectDrawCreate", kGeneric, "DDERR_GENERIC"},
    {"QueryInterface", static_cast<LONG>(0x80004002L), "DDERR_NOINTERFACE"},
    {"SetCooperativeLevel", kGeneric, "DDERR_GENERIC"},
    {"CreateSurface", static_cast<LONG>(0x8876017CL), "DDERR_OUTOFVIDEOMEMORY"},
    {"GetCaps", kGeneric, "DDERR_GENERIC"},
    {"GetAvailableVidMem", kGeneric, "DDERR_GENERIC"},
    {"GetAttachedSurface", kGeneric, "DDERR_GENERIC"},
    {"GetSurfaceDesc", kGeneric, "DDERR_GENERIC"},
    {"UpdateOverlay", kGeneric, "DDERR_GENERIC"},
    {"EnumVideoPorts", kGeneric, "DDERR_GENERIC"},
    {"GetVideoPortConnectInfo", kGeneric, "DDERR_GENERIC"},
    {"CreateVideoPort", kGeneric, "DDERR_GENERIC"},
    {"SetTargetSurface", kGeneric, "DDERR_GENERIC"},
    {"GetInputFormats", kGeneric, "DDERR_GENERIC"},
    {"GetColorControls", kGeneric, "DDERR_GENERIC"},
    {"StartVideo", kGeneric, "DDERR_GENERIC"},
    {"StopVideo", kGeneric, "DDERR_GENERIC"},
    {"ExtEscape", kGeneric, "0 from the escape"},
};

// The entry of a failable call, by its exact name; null when there is none.
inline const Failable* FindFailable(const char* name)
{
    for (const Failable& f : kFailable) {
        if (std::strcmp(f.name, name) == 0) return &f;
    }
    return nullptr;
}

}  // namespace control
}  // namespace ddsim

#endif
