// The video overlay engine: the chain video port -> overlay surface -> screen, built with
// DirectDraw and its video-port extension, kept in module state and driven from the viewer's
// user-interface thread.
//
// States: Empty (every object pointer null: before InitPlay and after every failure report) and
// Prepared/showing (all five objects held). An Empty engine touches no DirectDraw object:
// HideOverlay, StopVideoPort, ShowWindowedOverlay and the hiding part of HideOverlayForSearch do
// nothing, a switch to the hidden view only hides the window, and a switch into a visible view
// starts again from InitPlay (a failure there is reported as at start-up and ends the switch).
#ifndef VIEWER_OVERLAY_OVERLAY_H
#define VIEWER_OVERLAY_OVERLAY_H

#include <afxwin.h>
#include <ddraw.h>
#include <dvp.h>

class CTvScreenDlg;

// The display driver's private escape that places the overlay's left edge at (code - 1000).
constexpr int ESC_OVERLAY_XPOS = 16900;
constexpr int OVERLAY_XPOS_LEFT = 1000;    // picture at x 0
constexpr int OVERLAY_XPOS_FRAME = 1045;   // picture at x 45, inside the skin's TV frame
constexpr int OVERLAY_XPOS_RIGHT = 1320;   // picture at x 320

// ---- module state ---------------------------------------------------------------------
extern IDirectDraw4* g_pDD;
extern IDDVideoPortContainer* g_pVPContainer;
extern IDirectDrawVideoPort* g_pVideoPort;
extern IDirectDrawSurface4* g_pPrimary;
extern IDirectDrawSurface4* g_pOverlay;
extern HRESULT g_hrLast;                  // result of the latest DirectDraw call
extern DDCAPS g_ddCaps;
extern DDSURFACEDESC2 g_ddsdOverlay;
extern DDCOLORCONTROL g_colorControl;     // read once at start-up, never applied
extern DDPIXELFORMAT g_inputFormats[4];   // entry 0 is what the video port is started with
extern DDVIDEOPORTINFO g_vpInfo;
extern RECT g_rcOverlay;                  // source and destination rectangle of the current view
// Prepared by the viewer at start-up and never changed afterwards.
extern CDC* g_pEscapeDC;                  // the viewer window's DC, for the display escape
extern DDOVERLAYFX g_overlayFx;           // no colour key, no effects
extern DWORD g_dwOverlayFlags;            // DDOVER_SHOW

// ---- start-up and teardown --------------------------------------------------------------
// 1 on success, 0 without overlay hardware, else the HRESULT that was reported.
int InitPlay(CTvScreenDlg* pViewer);
// 1 on success (also after the one rebuild of the whole chain), else what the report returned.
int CreateOverlaySurface(CTvScreenDlg* pViewer, int nWidth, int nHeight);
void HideOverlay();
void StopVideoPort();
void ReleaseVideoObjects();
// Releases everything, then shows "DOVedu: " + message + "\r\n" in the debug output and a box.
HRESULT ReportVideoError(CTvScreenDlg* pViewer, HRESULT hrCode, LPCWSTR pszMessage);

// ---- views ------------------------------------------------------------------------------
// g_hrLast after the switch (0 on success), or the reported code.
HRESULT SwitchOverlayMode(CTvScreenDlg* pViewer, int nMode);
void HideOverlayForSearch(CTvScreenDlg* pViewer);
void ShowWindowedOverlay();
void NextPipPosition(CTvScreenDlg* pViewer);

#endif
