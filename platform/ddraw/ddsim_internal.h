// Shared between the simulated hardware (ddsim.cpp) and the thread that shows its picture.
#ifndef PLATFORM_DDRAW_DDSIM_INTERNAL_H
#define PLATFORM_DDRAW_DDSIM_INTERNAL_H

#include "ddsim.h"

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
