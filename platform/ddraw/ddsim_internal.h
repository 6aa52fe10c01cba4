// Shared between the simulated hardware (ddsim.cpp) and the thread that shows its picture.
#ifndef PLATFORM_DDRAW_DDSIM_INTERNAL_H
#define PLATFORM_DDRAW_DDSIM_INTERNAL_H

#include "ddsim.h"
#include "ddsim_control.h"

#include <cstddef>
#include <vector>

namespace ddsim {
namespace detail {

// Serialises everything the simulation keeps; recursive, held only briefly.
void Lock();
void Unlock();

struct Guard {
    Guard() { Lock(); }
    ~Guard() { Unlock(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

// One call as the record keeps it: a fixed size and nothing on the heap, so a ring of them costs
// the same after a million calls as after the first. Names and kinds are string literals.
struct Entry {
    static constexpr size_t kArgBytes = 320;   // the longest call (CreateVideoPort) takes about 270
    unsigned seq = 0;
    DWORD ms = 0;
    const char* name = "";
    const char* kind = nullptr;   // the object's kind ("Surface"...), null for free functions
    unsigned id = 0;
    HRESULT hr = S_OK;
    bool dead = false;
    unsigned short used = 0;
    char args[kArgBytes] = {};    // key US value RS key US value RS ...: values may hold spaces
    // Adds one argument; one that does not fit is left out whole.
    void AddArg(const char* key, const char* value);
};

// The ring of the latest calls. Its slots are made and written once, when it is first used or
// resized, so the process's memory does not creep up as the ring fills.
void KeepCall(const Entry& e, size_t capacity);
void ForgetCalls();
std::vector<Call> KeptCalls();
Call ToCall(const Entry& e);

// The console's shared block of a running device; null when the viewer was not started for one
// (DDSIM_CONTROL) or the console has not made it yet, which is looked for again at the next use.
control::Block* OutsideBlock();

// Repaint period of the picture in milliseconds.
int FrameMs();

// Starts the picture thread once; afterwards it only asks it to look at the display again.
void NotifyPicture();
// Set by the picture thread once its window exists.
void SetPictureWindow(HWND hwnd);
// True when the shown surface has ever received video.
bool ShownSurfaceFed();

}  // namespace detail
}  // namespace ddsim

#endif
