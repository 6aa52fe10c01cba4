// Moving the picture between the viewer's views. Every switch runs the same cycle: stop the
// port, drop the surface, place the picture, make a surface for the new rectangle, attach it,
// place the window, start the port and show the overlay.
#include "Overlay.h"
#include "OverlayInternal.h"
#include "SoftKey.h"
#include "TvScreenDlg.h"
#include "ViewModes.h"

RECT g_rcOverlay = VIEW_RECT_PIP_TOP;

using namespace overlay_internal;

namespace {

const DWORD kSwitchWaitMs = 100;

void SendOverlayXPos(int nCode)
{
    if (!g_pEscapeDC) return;
    DWORD dwOut = 0;
    ExtEscape(g_pEscapeDC->m_hDC, ESC_OVERLAY_XPOS, nCode, nullptr, 0, reinterpret_cast<LPSTR>(&dwOut));
}

// A left-half-only PIP folds quadrants 1 and 2 onto 0 and 3; anything unknown is quadrant 0.
void CorrectPipPos(CTvScreenDlg* pViewer)
{
    if (pViewer->m_nPipSide == PIP_SIDE_LEFT_ONLY) {
        if (pViewer->m_nPipPos == 1) pViewer->m_nPipPos = 0;
        if (pViewer->m_nPipPos == 2) pViewer->m_nPipPos = 3;
    }
    if (pViewer->m_nPipPos < 0 || pViewer->m_nPipPos > 3) pViewer->m_nPipPos = 0;
}

// The rectangle of the view and the picture's horizontal place.
void PlacePicture(CTvScreenDlg* pViewer, int nMode)
{
    int nCode = OVERLAY_XPOS_LEFT;
    if (IsWindowedView(nMode)) {
        g_rcOverlay = VIEW_RECT_WINDOWED;
        nCode = OVERLAY_XPOS_FRAME;
    } else if (IsFullView(nMode)) {
        pViewer->m_nPipSide = PIP_SIDE_EITHER;
        g_rcOverlay = VIEW_RECT_FULL;
    } else if (IsPipView(nMode)) {
        CorrectPipPos(pViewer);
        g_rcOverlay = pViewer->m_nPipPos < 2 ? VIEW_RECT_PIP_TOP : VIEW_RECT_PIP_BOTTOM;
        if (PipOnRightHalf(pViewer->m_nPipPos)) nCode = OVERLAY_XPOS_RIGHT;
    } else {
        g_rcOverlay = VIEW_RECT_PIP_TOP;
    }
    SendOverlayXPos(nCode);
}

void ShowDlsLine(CTvScreenDlg* pViewer, bool bShow)
{
    if (!pViewer->m_pDlsEdit) return;
    if (bShow)
        pViewer->m_pDlsEdit->SetWindowPos(nullptr, 0, DLS_LINE_TOP, SCREEN_CX, SCREEN_CY - DLS_LINE_TOP, 0);
    else
        pViewer->m_pDlsEdit->SetWindowPos(nullptr, 0, 0, 0, 0, 0);
}

// The window is always sized while hidden, then shown without resizing.
void PlaceViewer(CTvScreenDlg* pViewer, int x, int y, int cx, int cy)
{
    pViewer->SetWindowPos(&CWnd::wndTopMost, x, y, cx, cy, SWP_HIDEWINDOW);
    pViewer->SetWindowPos(&CWnd::wndTopMost, x, y, 0, 0, SWP_SHOWWINDOW | SWP_NOSIZE);
}

// The hidden view's window: sized to nothing and not shown.
void HideViewerWindow(CTvScreenDlg* pViewer)
{
    pViewer->SetWindowPos(&CWnd::wndTopMost, 0, 0, 0, 0, SWP_HIDEWINDOW);
}

void SetPrescale(DWORD dwWidth, DWORD dwHeight)
{
    g_vpInfo.dwPrescaleWidth = dwWidth;
    g_vpInfo.dwPrescaleHeight = dwHeight;
}

HRESULT ShowOverlay()
{
    g_hrLast = g_pOverlay->UpdateOverlay(&g_rcOverlay, g_pPrimary, &g_rcOverlay, g_dwOverlayFlags, &g_overlayFx);
    return g_hrLast;
}

// Starts the port, shows the overlay, and in the PIP and full-screen views waits for the
// picture to settle before looking at the result.
bool StartAndShow(CTvScreenDlg* pViewer, LPCWSTR pszStartFailure, bool bWait, int* pnResult)
{
    g_hrLast = g_pVideoPort->StartVideo(&g_vpInfo);
    if (g_hrLast != DD_OK) {
        *pnResult = ReportVideoError(pViewer, g_hrLast, pszStartFailure);
        return false;
    }
    HRESULT hr = ShowOverlay();
    if (bWait) ::Sleep(kSwitchWaitMs);
    if (hr != DD_OK) {
        *pnResult = ReportVideoError(pViewer, hr, L"Unable to show overlay surface - UpdateOverlaySurface()");
        return false;
    }
    return true;
}

bool ShowWindowed(CTvScreenDlg* pViewer, int* pnResult)
{
    pViewer->m_nPipSide = PIP_SIDE_EITHER;
    SetPrescale(320, 240);
    PlaceViewer(pViewer, 0, 0, SCREEN_CX, SCREEN_CY);
    if (!StartAndShow(pViewer, L"SetTargetSurface FAILED 1", false, pnResult)) return false;
    // Touches wait until the picture has settled; a failed switch leaves no timer behind.
    pViewer->m_bSettling = 1;
    pViewer->StartTimer(TIMER_SETTLING);
    return true;
}

bool ShowPip(CTvScreenDlg* pViewer, int* pnResult)
{
    ShowDlsLine(pViewer, false);
    SetPrescale(320, 240);
    const int x = PipOnRightHalf(pViewer->m_nPipPos) ? PIP_RIGHT_HALF_X : g_rcOverlay.left;
    PlaceViewer(pViewer, x, g_rcOverlay.top, 320, 240);
    return StartAndShow(pViewer, L"SetTargetSurface FAILED 2", true, pnResult);
}

// The DLS line sits under a shortened picture.
void FitDlsLine(CTvScreenDlg* pViewer, bool bShow)
{
    const LONG nBottom = bShow ? DLS_LINE_TOP : SCREEN_CY;
    SetPrescale(SCREEN_CX, static_cast<DWORD>(nBottom));
    g_rcOverlay.bottom = nBottom;
    ShowDlsLine(pViewer, bShow);
}

bool ShowFull(CTvScreenDlg* pViewer, int nMode, int* pnResult)
{
    pViewer->m_nPipSide = PIP_SIDE_EITHER;
    const int nPlayingBand = BandOfWindowedView(pViewer->m_nPlayingMode);
    const bool bListTv = pViewer->m_bListOpen && nPlayingBand == BAND_TV;
    const bool bListRadio = pViewer->m_bListOpen && nPlayingBand == BAND_RADIO;
    if (nMode == VIEW_TV_FULL) {
        FitDlsLine(pViewer, false);
        if (pViewer->m_bDlsOn && bListRadio) FitDlsLine(pViewer, true);
    } else if (pViewer->m_bDlsOn) {
        FitDlsLine(pViewer, true);
        if (bListTv) FitDlsLine(pViewer, false);
    } else {
        FitDlsLine(pViewer, false);
    }
    PlaceViewer(pViewer, 0, 0, SCREEN_CX, SCREEN_CY);
    return StartAndShow(pViewer, L"SetTargetSurface FAILED 3", true, pnResult);
}

bool ShowView(CTvScreenDlg* pViewer, int nMode, int* pnResult)
{
    if (IsWindowedView(nMode)) return ShowWindowed(pViewer, pnResult);
    if (IsPipView(nMode)) return ShowPip(pViewer, pnResult);
    if (IsFullView(nMode)) return ShowFull(pViewer, nMode, pnResult);
    // Hidden: the port stays stopped until the next visible view.
    ShowDlsLine(pViewer, false);
    HideOverlay();
    HideViewerWindow(pViewer);
    return true;
}

void FinishSwitch(CTvScreenDlg* pViewer)
{
    pViewer->StartTimer(TIMER_SWITCHED);
    pViewer->m_nTapCount = 0;
}

}  // namespace

HRESULT SwitchOverlayMode(CTvScreenDlg* pViewer, int nMode)
{
    if (!IsViewMode(nMode)) return g_hrLast;
    if (!EngineReady()) {
        // After a failure report nothing is held: hiding needs no hardware, showing starts over.
        if (nMode == VIEW_HIDDEN) {
            ShowDlsLine(pViewer, false);
            HideViewerWindow(pViewer);
            FinishSwitch(pViewer);
            return g_hrLast;
        }
        const int nInit = InitPlay(pViewer);
        if (!EngineReady()) return nInit;
    }
    ::Sleep(kSwitchWaitMs);
    g_hrLast = g_pVideoPort->StopVideo();
    if (g_hrLast != DD_OK) return ReportVideoError(pViewer, g_hrLast, L"StopVideo FAILED 1");
    if (g_pOverlay) {
        HideOverlay();
        g_pOverlay->Release();
        g_pOverlay = nullptr;
    }
    PlacePicture(pViewer, nMode);
    int nResult = 0;
    if (!BuildOverlaySurface(pViewer, g_rcOverlay.right, g_rcOverlay.bottom, &nResult)) return nResult;
    g_hrLast = g_pVideoPort->SetTargetSurface(reinterpret_cast<LPDIRECTDRAWSURFACE>(g_pOverlay), DDVPTARGET_VIDEO);
    if (g_hrLast != DD_OK) return ReportVideoError(pViewer, g_hrLast, L"SetTargetSurface FAILED 1");
    if (!ShowView(pViewer, nMode, &nResult)) return nResult;
    FinishSwitch(pViewer);
    return g_hrLast;
}

void HideOverlayForSearch(CTvScreenDlg* pViewer)
{
    HideOverlay();
    ::Sleep(10);
    SendSoftKey(SK_VIEW_REQUEST, VIEWREQ_SEARCH);
    pViewer->m_nSearchProgress = 0;
    pViewer->DrawSearchProgress(0);
}

void ShowWindowedOverlay()
{
    if (!g_pOverlay || !g_pPrimary) return;
    g_rcOverlay = VIEW_RECT_WINDOWED;
    g_hrLast = g_pOverlay->UpdateOverlay(&g_rcOverlay, g_pPrimary, &g_rcOverlay, DDOVER_SHOW, &g_overlayFx);
}

void NextPipPosition(CTvScreenDlg* pViewer)
{
    if (++pViewer->m_nPipPos > 3) pViewer->m_nPipPos = 0;
    SwitchOverlayMode(pViewer, VIEW_TV_PIP);
}
