// Control and observation of the simulated display (DirectDraw, video port, display driver
// escape) for tests. Product code never includes this header.
//
// Environment, read at the first use and at every Reset():
//   DDSIM_FAIL=Name:N:HR[:COUNT][,...]  the N-th call (1-based) of Name and the COUNT-1 after it
//                                       (COUNT 0: every call from the N-th on) fail with HR
//   DDSIM_NOOVERLAY=1                   the driver capabilities lack DDCAPS_OVERLAY
//   DDSIM_PORTS=n                       number of video ports enumerated (default 1, 0 allowed)
//   DDSIM_MOREDATA=1                    each port has more connection types than a caller asks for
//   DDSIM_LOG=<file>                    append one line per call to the file
//   DDSIM_FRAMEMS=n                     repaint period of the visible test picture (default 80)
//
// Call names (for faults, Count and Calls): DirectDrawCreate, QueryInterface, AddRef, Release,
// SetCooperativeLevel, CreateSurface, GetCaps, GetAvailableVidMem, GetAttachedSurface,
// GetSurfaceDesc, UpdateOverlay, EnumVideoPorts, GetVideoPortConnectInfo, CreateVideoPort,
// SetTargetSurface, GetInputFormats, GetColorControls, StartVideo, StopVideo, ExtEscape.
// WindowPos entries record the placements of the window given to SetCooperativeLevel and of
// its child windows, as they happen. AddRef, Release and WindowPos cannot be made to fail.
//
// Like the device's driver, the display refuses (DDERR_INVALIDPARAMS unless said otherwise): a
// dwSize other than the device's (ddlayout in ddraw.h), an effects record of the wrong size passed
// to UpdateOverlay whatever its flags, an overlay that the escape's x would push past the screen's
// right edge (DDERR_INVALIDRECT; the escape itself then answers 0 and changes nothing), a second
// primary surface (DDERR_PRIMARYSURFACEALREADYEXISTS), and any use of a surface or port whose
// DirectDraw object is gone (DDERR_INVALIDOBJECT, a dead call). ExtEscape records its output
// buffer as out=buffer or out=null beside outSize.
#ifndef PLATFORM_DDRAW_DDSIM_H
#define PLATFORM_DDRAW_DDSIM_H

#include <windows.h>
#include <string>
#include <utility>
#include <vector>

namespace ddsim {

// The escape number of the display driver that places the overlay horizontally.
constexpr int kEscOverlayXPos = 16900;

struct Call {
    unsigned seq = 0;           // 1, 2, ... since the last Reset
    DWORD ms = 0;               // GetTickCount() when the call was made
    std::string name;           // call name, see above
    std::string object;         // "DirectDraw#1", "Surface#4", "VideoPort#7", "" for free functions
    HRESULT hr = S_OK;          // result (AddRef/Release: the new count; ExtEscape: its int result)
    bool dead = false;          // made on an object whose last reference was already released
    std::vector<std::pair<std::string, std::string>> args;

    bool Has(const char* key) const;
    std::string Arg(const char* key) const;   // "" when absent
    long long Num(const char* key) const;     // decimal or 0x-hex value; -1 when absent
    std::string Text() const;                 // one line, as written to DDSIM_LOG
};

// Forget everything: every object of the simulation dies (pointers a program still holds stay
// callable and answer DDERR_INVALIDOBJECT, counted as dead calls), the display shows nothing,
// the log, faults and counters are cleared and the configuration returns to the environment's.
void Reset();

// Forgets the log, the call counts and the faults; objects, display and configuration stay.
void ClearLog();

// Configuration (in force until the next Reset).
void SetOverlaySupport(bool supported);
void SetPortCount(int ports);
void SetMoreData(bool moreData);
// The nth call (1-based, counted since the last Reset) of `name` fails with hr, and so do the
// count-1 calls after it; count 0 makes every call from the nth on fail.
void Fail(const std::string& name, int nth, HRESULT hr, int count = 1);
// Parses the DDSIM_FAIL syntax; returns false on a malformed entry (the good ones are taken).
bool ParseFailList(const char* list);

// The log: the latest ten to twenty thousand calls since the last Reset or ClearLog.
std::vector<Call> Log();
std::vector<Call> Calls(const std::string& name);
int Count(const std::string& name);
int DeadCalls();

// Objects alive now (reference count above zero). Back buffers of a flip chain are counted with
// their front surface, not apart.
struct Live {
    int directDraw = 0;     // the DirectDraw object (all its interfaces together)
    int primary = 0;
    int overlays = 0;       // overlay flip chains
    int videoPorts = 0;
    int total() const { return directDraw + primary + overlays + videoPorts; }
};
Live LiveObjects();

// What the display shows.
struct Display {
    bool overlayShown = false;   // an overlay surface is shown
    RECT src{};                  // its source rectangle on the overlay surface
    RECT dst{};                  // its destination rectangle on the primary surface
    int surfaceWidth = 0, surfaceHeight = 0;
    int escapeX = 0;             // left edge set through the driver escape (code - 1000)
    bool portRunning = false;    // a video port runs into the shown surface
    int prescaleWidth = 0, prescaleHeight = 0;   // of the last StartVideo
    unsigned frame = 0;          // fields delivered so far (advances only while running)
    RECT screen{};               // where the picture is on the screen; empty when none shows
};
Display GetDisplay();

// The window that shows the test picture (null until an overlay was first shown).
HWND PictureWindow();

}  // namespace ddsim

#endif
