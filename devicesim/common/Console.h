// What the device's console and the host service say to each other while the device runs: the
// console steers the host with WM_COPYDATA, and the host tells everything it hears and sends to a
// mailslot the console reads, when there is one.
#pragma once

#include <windows.h>

namespace devworld {

// dwData of the console's WM_COPYDATA to the host window.
enum HostControl : ULONG_PTR {
    HOSTCTL_SILENT = 0x43540001,   // one DWORD: 1 the host hears but neither applies nor answers, 0 back to normal
    HOSTCTL_LAG,                   // one DWORD: milliseconds added before every answer
    HOSTCTL_SEND,                  // two ints: the host broadcasts "HL_SOFTKEY" with this code and argument
    HOSTCTL_DAB,                   // a zero-ended UTF-16 text: the host sends it to the viewer as the DAB line
    HOSTCTL_TICK,                  // one DWORD: the host sends now what its held clock kept back (see below)
};

// Set in the host's environment for a recording or a replay: what the host sends on its own clock
// (the radio's next DAB text line) is not sent when due but logged as "due: ...", and sent at the
// console's HOSTCTL_TICK, so that a session holds it as a step and a replay sends it at that step.
extern const wchar_t kHeldClockVariable[];

// Each line the host logs, as "<GetTickCount> <line>" in UTF-8, one mailslot message per line.
extern const wchar_t kTrafficSlot[];

// Request codes the host takes from the programs (the viewer's, the panel's and the main menu's).
bool IsRequestCode(int code);

}  // namespace devworld
