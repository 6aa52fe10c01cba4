// The viewer's views. A view mode is a plain integer: one band (TV or radio) in one kind of view
// (in the skin's frame, full screen or as a picture-in-picture quarter), or hidden. The touch
// commands, the host's view commands, the drawing and the overlay engine all take the view
// predicates, the mappings between views and the views' geometry from here.
#ifndef VIEWER_VIEWMODES_H
#define VIEWER_VIEWMODES_H

#include <afxwin.h>

enum : int {
    VIEW_TV_WINDOW = 1,
    VIEW_RADIO_WINDOW = 2,
    VIEW_TV_FULL = 3,
    VIEW_RADIO_FULL = 4,
    VIEW_HIDDEN = 5,
    VIEW_TV_PIP = 6,
    VIEW_RADIO_PIP = 7,
};

// BAND_NONE: the hidden view, or a view that names no band where one is asked for.
enum : int { BAND_NONE = 0, BAND_TV = 1, BAND_RADIO = 2 };

// The kinds of view a band can be shown in; they combine as a set.
enum ViewKind : unsigned {
    VIEWKIND_NONE = 0,
    VIEWKIND_WINDOWED = 1,      // in the skin's TV frame, the control panel beside it
    VIEWKIND_FULL = 2,
    VIEWKIND_PIP = 4,           // a quarter of the screen over whatever runs beneath
};

bool IsViewMode(int nMode);
ViewKind KindOfView(int nMode);
bool IsWindowedView(int nMode);
bool IsFullView(int nMode);
bool IsPipView(int nMode);

int BandOfView(int nMode);
// The band of a windowed view, else BAND_NONE: only there do the list and the channel arrows act.
int BandOfWindowedView(int nMode);
int OtherBand(int nBand);
int ViewOfBand(int nBand, ViewKind kind);

// A view whose kind is one of `kindsFrom` becomes the same band's view of kind `kindTo`; every
// other view comes back unchanged. This is the one mapping between views.
int ChangeViewKind(int nMode, unsigned kindsFrom, ViewKind kindTo);

// ---- geometry (screen pixels, right and bottom exclusive) -----------------------------------

const int SCREEN_CX = 640, SCREEN_CY = 480;

// The overlay's source and destination rectangle of each view. The windowed picture is moved to
// the frame's x by the display driver's escape (Overlay.h); a PIP on the right half likewise.
const RECT VIEW_RECT_WINDOWED = {0, 132, 320, 372};
const RECT VIEW_RECT_FULL = {0, 0, SCREEN_CX, SCREEN_CY};
const RECT VIEW_RECT_PIP_TOP = {0, 0, 320, 240};          // quadrants 0 and 1
const RECT VIEW_RECT_PIP_BOTTOM = {0, 240, 320, 480};     // quadrants 2 and 3
const int PIP_RIGHT_HALF_X = 320;
// Of the PIP's quadrants (0 top-left, then clockwise), 1 and 2 lie in the right half.
bool PipOnRightHalf(int nPipPos);
// Where the host lets the PIP go: the left half only folds quadrants 1 and 2 onto 0 and 3.
enum : int { PIP_SIDE_LEFT_ONLY = 1, PIP_SIDE_EITHER = 2 };

// Full screen with the DAB text line: the picture ends where the line begins.
const int DLS_LINE_TOP = 416;

// The viewer window over the whole screen, shown, at the given place in the z-order.
void ShowWindowFullScreen(CWnd& wnd, const CWnd* pInsertAfter);
// Parked: topmost, 0x0 at the origin. The window stays "shown", so nothing of it is seen but it
// keeps its place above the others.
void ParkWindow(CWnd& wnd);

#endif
