// The screen as the console compares it: one look at the glass, the live picture's place as the
// simulated display tells it, and a fingerprint of the rest, so that the console can tell a still
// screen from one being drawn without carrying every look's pixels over the connection.
#include "Agent.h"

#include <cstdint>
#include <cstdio>

#include "Glass.h"
#include "ddsim_control.h"

namespace agent {

namespace {

devworld::Shot g_kept;   // the last look, unmasked, for "keep"

// The live picture's place; false while the display moves it.
bool ReadLive(const ddsim::control::Block* block, LONG& seq, RECT& live)
{
    live = RECT{};
    seq = 0;
    if (!block) return true;
    seq = block->live.seq;
    MemoryBarrier();
    live = block->live.screen;
    MemoryBarrier();
    return (seq & 1) == 0 && seq == block->live.seq;
}

// FNV-1a over the screen's 16-bit colours outside the live picture, the picture's place, and
// whether the picture shows there: its window is raised and painted a moment after it is placed,
// and a frame still empty in that moment is not the screen a person is left with.
uint64_t Fingerprint(const devworld::Shot& shot, const RECT& live)
{
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            h ^= (v >> (8 * i)) & 0xFF;
            h *= 1099511628211ull;
        }
    };
    mix(static_cast<uint32_t>(live.left));
    mix(static_cast<uint32_t>(live.top));
    mix(static_cast<uint32_t>(live.right));
    mix(static_cast<uint32_t>(live.bottom));
    mix(!IsRectEmpty(&live) && devworld::PictureIn(shot, live) ? 1u : 0u);
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            const bool masked = x >= live.left && x < live.right && y >= live.top && y < live.bottom;
            mix(masked ? 0u : shot.At(x, y) & 0xF8FCF8);
        }
    }
    return h;
}

}  // namespace

// "look": "ok FINGERPRINT TOUCHES LIVE", LIVE "L,T,R,B" or "-"; FINGERPRINT "-" when the picture
// moved while the screen was read, which is no still screen.
Answer Look(const ddsim::control::Block* block)
{
    LONG before = 0, after = 0;
    RECT live = {}, again = {};
    const bool steady = ReadLive(block, before, live);
    g_kept = devworld::CaptureAll();
    const bool still = steady && ReadLive(block, after, again) && before == after;
    if (g_kept.Empty()) return Fail("the screen could not be read");
    char text[160];
    char where[64] = "-";
    if (!IsRectEmpty(&live))
        std::snprintf(where, sizeof where, "%ld,%ld,%ld,%ld", live.left, live.top, live.right, live.bottom);
    if (still)
        std::snprintf(text, sizeof text, "%016llx %ld %s", static_cast<unsigned long long>(Fingerprint(g_kept, live)),
                      TouchesSeen(), where);
    else
        std::snprintf(text, sizeof text, "- %ld %s", TouchesSeen(), where);
    Answer a;
    a.last = text;
    return a;
}

// "keep PATH": the last look as a .bmp.
Answer Keep(const std::string& line)
{
    if (line.size() <= 5) return Fail("usage: keep FILE");
    if (g_kept.Empty()) return Fail("nothing looked at yet");
    if (!devworld::SaveBmp(g_kept, Wide(line.substr(5)))) return Fail("the screen could not be saved");
    return Answer();
}

}  // namespace agent
