// Watches the GDI calls of this executable's own code (the viewer, the framework) by swapping
// entries of its import table: blits, text output, window DCs and object lifetimes. Only calls
// made on the thread that installed the spy are recorded; the simulated display's own thread
// paints on its own and is let through unrecorded.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "DeviceTest.h"

namespace gdispy {

struct Blit {
    HDC dst;
    int x, y, w, h;
    HDC src;
    int xSrc, ySrc;
};

struct Text {
    int x, y;
    UINT options;
    RECT clip;
    std::wstring text;
};

struct ReleasedDC {
    HWND hwnd;
    HDC hdc;
    bool windowAlive;   // the window still existed when its DC went back
};

struct Log {
    std::vector<Blit> blits;
    std::vector<Text> texts;
    std::vector<HDC> windowDCs;           // GetDC results
    std::vector<ReleasedDC> released;
    std::set<HGDIOBJ> liveObjects;        // bitmaps, fonts, brushes made and not yet deleted
    std::set<HDC> deletedDCs;
    void Clear() { *this = Log(); }
};

// Installs the spy once; false when an import could not be found.
bool Install();
Log& Current();

// Stops recording for its lifetime (the test's own reading of pixels).
class Pause {
public:
    Pause();
    ~Pause();
    Pause(const Pause&) = delete;
    Pause& operator=(const Pause&) = delete;
private:
    bool m_was;
};

// Pixels of a window's client area, read from its own DC.
devtest::Image CaptureWindow(HWND hwnd, int x, int y, int w, int h);
// A bitmap resource of this executable as pixels of the display's depth.
devtest::Image ResourceImage(UINT id);

}  // namespace gdispy
