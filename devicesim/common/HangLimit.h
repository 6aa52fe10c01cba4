// How long a wait for something the device does may last before it counts as hung: long enough
// that no machine of ours, however loaded, is that slow, so a wait never judges speed. Every wait
// for an event (in the tour, the agent, the host and the tests) takes its limit from here; how
// fast the programs are is the benchmark's business.
#pragma once

#include <windows.h>

namespace devworld {
constexpr DWORD kHangMs = 120000;
}
