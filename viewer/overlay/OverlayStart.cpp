// Building the chain video port -> overlay surface -> screen, releasing it, and the failure
// report. Every step stores its result in g_hrLast; a failed step ends in ReportVideoError.
#include "Overlay.h"
#include "OverlayInternal.h"
#include "TvScreenDlg.h"
#include "ViewModes.h"

#include <string>

IDirectDraw4* g_pDD = nullptr;
IDDVideoPortContainer* g_pVPContainer = nullptr;
IDirectDrawVideoPort* g_pVideoPort = nullptr;
IDirectDrawSurface4* g_pPrimary = nullptr;
IDirectDrawSurface4* g_pOverlay = nullptr;
HRESULT g_hrLast = DD_OK;
DDCAPS g_ddCaps = {};
DDSURFACEDESC2 g_ddsdOverlay = {};
DDCOLORCONTROL g_colorControl = {};
DDPIXELFORMAT g_inputFormats[4] = {};
DDVIDEOPORTINFO g_vpInfo = {};
CDC* g_pEscapeDC = nullptr;
DDOVERLAYFX g_overlayFx = {};
DWORD g_dwOverlayFlags = DDOVER_SHOW;

namespace {

const int kReportMax = 128;   // UTF-16 units of a report, terminator included
const DWORD kPortRetryMs = 500;

// 16-bit RGB 5:6:5, the only format the overlay is made in.
const DDPIXELFORMAT kOverlayFormat = {sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0};

// Stores the step's result; on failure the report ends the operation with *pnResult.
bool Step(CTvScreenDlg* pViewer, HRESULT hr, LPCWSTR pszMessage, int* pnResult)
{
    g_hrLast = hr;
    if (hr == DD_OK) return true;
    *pnResult = ReportVideoError(pViewer, hr, pszMessage);
    return false;
}

template <typename T>
void Drop(T*& p)
{
    if (p) p->Release();
    p = nullptr;
}

// The DirectDraw object and its video-port container. The base object is held only until both
// interfaces are taken from it.
bool QueryInterfaces(CTvScreenDlg* pViewer, int* pnResult)
{
    LPDIRECTDRAW pBase = nullptr;
    if (!Step(pViewer, DirectDrawCreate(nullptr, &pBase, nullptr), L"DirectDrawCreate FAILED", pnResult)) return false;
    HRESULT hr = pBase->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&g_pDD));
    LPCWSTR pszFailure = L"QueryInterface for IID_IDirectDraw4 FAILED";
    if (hr == DD_OK) {
        g_hrLast = hr;
        hr = pBase->QueryInterface(IID_IDDVideoPortContainer, reinterpret_cast<void**>(&g_pVPContainer));
        pszFailure = L"QueryInterface for IID_IDDVideoPortContainer FAILED";
    }
    pBase->Release();
    return Step(pViewer, hr, pszFailure, pnResult);
}

}  // namespace

namespace overlay_internal {

// The first part of the start-up: the DirectDraw object, its container, the primary surface and
// the driver's capabilities, which must include overlays.
bool OpenDisplay(CTvScreenDlg* pViewer, int* pnResult)
{
    if (!QueryInterfaces(pViewer, pnResult)) return false;
    if (!Step(pViewer, g_pDD->SetCooperativeLevel(pViewer->m_hWnd, DDSCL_NORMAL), L"SetCooperativeLevel FAILED",
              pnResult))
        return false;
    DDSURFACEDESC2 ddsd = {};
    ddsd.dwSize = sizeof(ddsd);
    ddsd.dwFlags = DDSD_CAPS;
    ddsd.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (!Step(pViewer, g_pDD->CreateSurface(&ddsd, &g_pPrimary, nullptr), L"Create primary surface FAILED", pnResult))
        return false;
    ZeroMemory(&g_ddCaps, sizeof(g_ddCaps));
    g_ddCaps.dwSize = sizeof(g_ddCaps);
    if (!Step(pViewer, g_pDD->GetCaps(&g_ddCaps, nullptr), L"GetCaps FAILED", pnResult)) return false;
    if (!(g_ddCaps.dwCaps & DDCAPS_OVERLAY)) {
        *pnResult = ReportVideoError(pViewer, 0, L"Overlays are not supported in hardware!");
        return false;
    }
    return true;
}

HRESULT CreateOverlayOnce(int nWidth, int nHeight)
{
    ZeroMemory(&g_ddsdOverlay, sizeof(g_ddsdOverlay));
    g_ddsdOverlay.dwSize = sizeof(g_ddsdOverlay);
    g_ddsdOverlay.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_BACKBUFFERCOUNT | DDSD_PIXELFORMAT;
    g_ddsdOverlay.dwWidth = static_cast<DWORD>(nWidth);
    g_ddsdOverlay.dwHeight = static_cast<DWORD>(nHeight);
    g_ddsdOverlay.dwBackBufferCount = 2;
    g_ddsdOverlay.ddpfPixelFormat = kOverlayFormat;
    g_ddsdOverlay.ddsCaps.dwCaps =
        DDSCAPS_OVERLAY | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY | DDSCAPS_VIDEOPORT;
    g_hrLast = g_pDD ? g_pDD->CreateSurface(&g_ddsdOverlay, &g_pOverlay, nullptr) : DDERR_INVALIDOBJECT;
    return g_hrLast;
}

// After the overlay surface: find the receiver's video port (the one enumerated last), open it on
// its first connection type, make the overlay its target and read its formats and colour controls.
bool OpenVideoPort(CTvScreenDlg* pViewer, int* pnResult)
{
    DDVIDEOPORTCAPS caps = {};
    if (!Step(pViewer, g_pVPContainer->EnumVideoPorts(0, nullptr, &caps, KeepPortCaps), L"Enumerate video ports FAILED",
              pnResult))
        return false;
    DDVIDEOPORTCONNECT connect[4] = {};
    HRESULT hr = DDERR_NOTFOUND;   // no port was enumerated: there is no port number to ask about
    if (caps.dwSize != 0) {
        DWORD nEntries = 4;
        hr = g_pVPContainer->GetVideoPortConnectInfo(caps.dwVideoPortID, &nEntries, connect);
    }
    // A port with more connection types than asked for answers DDERR_MOREDATA; entry 0 serves.
    g_hrLast = hr;
    if (hr != DDERR_MOREDATA && !Step(pViewer, hr, L"Get connect information of video port FAILED", pnResult))
        return false;

    DDVIDEOPORTDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFieldWidth = 720;
    desc.dwVBIWidth = 0;
    desc.dwFieldHeight = 270;
    desc.dwMicrosecondsPerField = 16000;
    desc.dwMaxPixelsPerSecond = 3456000;
    desc.dwVideoPortID = caps.dwVideoPortID;
    desc.VideoPortType = connect[0];
    hr = g_pVPContainer->CreateVideoPort(DDVPCREATE_VIDEOONLY, &desc, &g_pVideoPort, nullptr);
    if (hr != DD_OK) {
        g_hrLast = hr;
        ::Sleep(kPortRetryMs);   // the port may still be settling after the receiver powered up
        hr = g_pVPContainer->CreateVideoPort(DDVPCREATE_VIDEOONLY, &desc, &g_pVideoPort, nullptr);
    }
    if (!Step(pViewer, hr, L"InitPlay Create video port FAILED", pnResult)) return false;
    if (!Step(pViewer, g_pVideoPort->SetTargetSurface(reinterpret_cast<LPDIRECTDRAWSURFACE>(g_pOverlay), DDVPTARGET_VIDEO),
              L"Set target surface FAILED", pnResult))
        return false;
    DWORD nFormats = 4;
    ZeroMemory(g_inputFormats, sizeof(g_inputFormats));
    for (DDPIXELFORMAT& pf : g_inputFormats) pf.dwSize = sizeof(pf);
    if (!Step(pViewer, g_pVideoPort->GetInputFormats(&nFormats, g_inputFormats, DDVPFORMAT_VIDEO),
              L"Get input formats FAILED", pnResult))
        return false;
    g_colorControl.dwSize = sizeof(g_colorControl);
    return Step(pViewer, g_pVideoPort->GetColorControls(&g_colorControl), L"Get color controls FAILED", pnResult);
}

// Creates g_pOverlay; when that fails, builds the whole chain once more around a new surface.
// The rebuild leaves the chain complete, its video port targeting the new surface.
bool BuildOverlaySurface(CTvScreenDlg* pViewer, int nWidth, int nHeight, int* pnResult)
{
    if (CreateOverlayOnce(nWidth, nHeight) == DD_OK) return true;
    ReleaseVideoObjects();
    if (!OpenDisplay(pViewer, pnResult)) return false;
    CreateOverlayOnce(nWidth, nHeight);   // a missing surface shows up at the target step
    return OpenVideoPort(pViewer, pnResult);
}

bool EngineReady()
{
    return g_pDD && g_pVPContainer && g_pVideoPort && g_pPrimary;
}

HRESULT WINAPI KeepPortCaps(LPDDVIDEOPORTCAPS lpCaps, LPVOID lpContext)
{
    CopyMemory(lpContext, lpCaps, sizeof(DDVIDEOPORTCAPS));
    return DDENUMRET_OK;
}

}  // namespace overlay_internal

using namespace overlay_internal;

int InitPlay(CTvScreenDlg* pViewer)
{
    // A start-up always begins from nothing; whatever an earlier one left is let go first.
    ReleaseVideoObjects();
    int nResult = 0;
    if (!OpenDisplay(pViewer, &nResult)) return nResult;
    if (!BuildOverlaySurface(pViewer, 320, 240, &nResult)) return nResult;
    // A rebuild inside the surface step has opened the video port already; it stays in use.
    if (!g_pVideoPort && !OpenVideoPort(pViewer, &nResult)) return nResult;

    ZeroMemory(&g_vpInfo, sizeof(g_vpInfo));
    g_vpInfo.dwSize = sizeof(g_vpInfo);
    g_vpInfo.dwOriginX = 0;
    g_vpInfo.dwOriginY = 0;
    g_vpInfo.dwVPFlags = DDVP_CROP | DDVP_PRESCALE;
    g_vpInfo.rCrop = {0, 0, 720, 270};
    g_vpInfo.dwPrescaleWidth = 320;
    g_vpInfo.dwPrescaleHeight = 240;
    g_vpInfo.lpddpfInputFormat = &g_inputFormats[0];
    g_vpInfo.lpddpfVBIInputFormat = nullptr;
    g_vpInfo.lpddpfVBIOutputFormat = nullptr;
    g_vpInfo.dwVBIHeight = 24;

    HideOverlay();
    ParkWindow(*pViewer);
    if (g_hrLast != DD_OK)
        return ReportVideoError(pViewer, g_hrLast, L"Unable to show overlay surface - UpdateOverlaySurface()");
    return 1;
}

int CreateOverlaySurface(CTvScreenDlg* pViewer, int nWidth, int nHeight)
{
    int nResult = 0;
    return BuildOverlaySurface(pViewer, nWidth, nHeight, &nResult) ? 1 : nResult;
}

void HideOverlay()
{
    if (!g_pOverlay) return;
    g_hrLast = g_pOverlay->UpdateOverlay(nullptr, g_pPrimary, nullptr, DDOVER_HIDE, nullptr);
}

void StopVideoPort()
{
    if (g_pVideoPort) g_pVideoPort->StopVideo();
}

void ReleaseVideoObjects()
{
    // The port goes first, without a StopVideo: releasing it stops the hardware.
    Drop(g_pVideoPort);
    if (g_pOverlay) {
        HideOverlay();
        Drop(g_pOverlay);
    }
    Drop(g_pPrimary);
    Drop(g_pVPContainer);
    Drop(g_pDD);
}

HRESULT ReportVideoError(CTvScreenDlg* pViewer, HRESULT hrCode, LPCWSTR pszMessage)
{
    const std::wstring strPrefix = L"DOVedu: ", strEnd = L"\r\n";
    std::wstring strMessage = pszMessage ? pszMessage : L"";
    const size_t nRoom = kReportMax - 1 - strPrefix.size() - strEnd.size();
    if (strMessage.size() > nRoom) strMessage.resize(nRoom);
    const std::wstring strText = strPrefix + strMessage + strEnd;

    ReleaseVideoObjects();
    ::OutputDebugStringW(strText.c_str());
    if (pViewer) pViewer->MessageBox(strText.c_str(), nullptr, MB_OK);
    return hrCode;
}
