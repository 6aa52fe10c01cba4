// Watches the GDI calls of this executable's own code (the viewer, the panel, the framework) by
// swapping entries of its import table: blits, text output, window DCs and object lifetimes.
// Only calls made on the thread that installed the spy are recorded; the simulated display's
// own thread paints on its own and is let through unrecorded.
//
// Beside the detailed log, a tally keeps what the watched code holds right now: GDI objects
// (memory DCs included), window DCs not given back, kernel handles and registry keys. The tally
// names its suspects; GdiCensus() counts every GDI object of the whole process, whoever made it,
// so a leak through a call the spy does not watch still shows.
#pragma once

#include <windows.h>

#include <map>
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

// What the watched code holds now, each thing with the name of the call that made it.
struct Tally {
    std::map<HGDIOBJ, const char*> gdi;   // objects and memory DCs
    std::map<HDC, HWND> windowDCs;        // GetDC / GetWindowDC not yet released
    std::map<HANDLE, const char*> handles;
    std::map<HKEY, const char*> keys;
    size_t Total() const { return gdi.size() + windowDCs.size() + handles.size() + keys.size(); }
    // "LoadBitmapW x2, CreateEventW x1": what is held, by maker.
    std::string Describe() const;
};

// Installs the spy once; false when one of the blit, window DC, bitmap or deletion imports could
// not be found. Text, fonts, brushes and the tally's other calls are watched where this
// executable imports them (what it does not import it cannot call).
bool Install();
Log& Current();
const Tally& Held();
// The watched calls this executable imports, and those that could not be hooked (should be none).
std::vector<std::string> Watched();
std::vector<std::string> Unhooked();

// Bytes and blocks this executable's own code (the programs, the framework, the simulated
// display, the test) holds from the C heap, counted through its malloc family on every thread
// since the spy was installed. Memory the platform takes for itself is not in it.
long long HeapBytes();
long long HeapBlocks();

// Points this executable's import of dll!name at a replacement of the same type and returns the
// function it called before (null when it is not imported). For timing a platform call.
void* ReplaceImport(const char* dll, const char* name, void* replacement);

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

// Every live GDI object of this process, by a walk over the process's GDI handle table (a
// handle whose generation half is 0 stands for whatever object holds that slot). Threads that
// draw meanwhile may add a passing object: take the least of a few counts.
int GdiCensus();
int GdiCensusQuiet(int samples = 6, DWORD gapMs = 7);
// The census by kind: "DC 12, bitmap 30, font 4, ...".
std::string GdiCensusByKind();

// Pixels of a window's client area, read from its own DC.
devtest::Image CaptureWindow(HWND hwnd, int x, int y, int w, int h);
// A bitmap resource of this executable as pixels of the display's depth.
devtest::Image ResourceImage(UINT id);

}  // namespace gdispy
