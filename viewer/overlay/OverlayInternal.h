// Pieces of the start-up that the mode switch reuses.
#ifndef VIEWER_OVERLAY_OVERLAYINTERNAL_H
#define VIEWER_OVERLAY_OVERLAYINTERNAL_H

#include "Overlay.h"

namespace overlay_internal {

// Each returns false after a failure report, with the report's result in *pnResult.
bool OpenDisplay(CTvScreenDlg* pViewer, int* pnResult);
bool OpenVideoPort(CTvScreenDlg* pViewer, int* pnResult);
bool BuildOverlaySurface(CTvScreenDlg* pViewer, int nWidth, int nHeight, int* pnResult);

HRESULT CreateOverlayOnce(int nWidth, int nHeight);
// All objects held: anything else is the Empty engine left by a failure report.
bool EngineReady();
// Enumeration callback: keeps the capabilities of the port enumerated last.
HRESULT WINAPI KeepPortCaps(LPDDVIDEOPORTCAPS lpCaps, LPVOID lpContext);

}  // namespace overlay_internal

#endif
