// The video overlay engine: DirectDraw objects in module state, driven from the viewer's thread.
#ifndef VIEWER_OVERLAY_OVERLAY_H
#define VIEWER_OVERLAY_OVERLAY_H

#include <afxwin.h>
#include <ddraw.h>
#include <dvp.h>

class CTvScreenDlg;

// Kept by the viewer at start-up for the display driver's escape.
extern CDC* g_pEscapeDC;
// Effects record and flags of the showing overlay update; prepared by the viewer at start-up.
extern DDOVERLAYFX g_overlayFx;
extern DWORD g_dwOverlayFlags;
extern HRESULT g_hrLast;

int InitPlay(CTvScreenDlg* pViewer);
int CreateOverlaySurface(CTvScreenDlg* pViewer, int nWidth, int nHeight);
void HideOverlay();
void StopVideoPort();
void ReleaseVideoObjects();
HRESULT ReportVideoError(CTvScreenDlg* pViewer, HRESULT hrCode, LPCWSTR pszMessage);

HRESULT SwitchOverlayMode(CTvScreenDlg* pViewer, int nMode);
void HideOverlayForSearch(CTvScreenDlg* pViewer);
void ShowWindowedOverlay();
void NextPipPosition(CTvScreenDlg* pViewer);

#endif
