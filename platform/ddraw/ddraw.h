// DirectDraw as the device's image provides it, for the simulated display of this machine.
// Names, signatures, flag values, error codes and interface identifiers are the device's;
// the method tables hold only the methods the programs use, each with its real signature.
// The device is a 32-bit system; the records below have its layouts, and its driver checks dwSize
// against the sizes in ddlayout (checked against these records at compile time on 32-bit builds).
#ifndef PLATFORM_DDRAW_DDRAW_H
#define PLATFORM_DDRAW_DDRAW_H

#include <windows.h>
#include <unknwn.h>
#include <cstddef>

// ---------------------------------------------------------------------------
// Results

#define _FACDD 0x876
#define MAKE_DDHRESULT(code) MAKE_HRESULT(1, _FACDD, (code))

#define DD_OK                       S_OK
#define DD_FALSE                    S_FALSE
#define DDERR_GENERIC               E_FAIL
#define DDERR_INVALIDPARAMS         E_INVALIDARG
#define DDERR_OUTOFMEMORY           E_OUTOFMEMORY
#define DDERR_UNSUPPORTED           E_NOTIMPL
#define DDERR_NOINTERFACE           E_NOINTERFACE
#define DDERR_CURRENTLYNOTAVAIL     MAKE_DDHRESULT(40)
#define DDERR_INVALIDCAPS           MAKE_DDHRESULT(100)
#define DDERR_INVALIDOBJECT         MAKE_DDHRESULT(130)
#define DDERR_INVALIDPIXELFORMAT    MAKE_DDHRESULT(145)
#define DDERR_INVALIDRECT           MAKE_DDHRESULT(150)
#define DDERR_NOCOOPERATIVELEVELSET MAKE_DDHRESULT(212)
#define DDERR_NOTFOUND              MAKE_DDHRESULT(255)
#define DDERR_OUTOFVIDEOMEMORY      MAKE_DDHRESULT(380)
#define DDERR_SURFACELOST           MAKE_DDHRESULT(450)
#define DDERR_PRIMARYSURFACEALREADYEXISTS MAKE_DDHRESULT(564)
#define DDERR_OVERLAYNOTVISIBLE     MAKE_DDHRESULT(577)
#define DDERR_NOTAOVERLAYSURFACE    MAKE_DDHRESULT(580)
#define DDERR_MOREDATA              MAKE_DDHRESULT(690)
#define DDERR_VIDEONOTACTIVE        MAKE_DDHRESULT(695)

#define DDENUMRET_CANCEL 0
#define DDENUMRET_OK     1

// ---------------------------------------------------------------------------
// Interface identifiers

static const GUID IID_IDirectDraw4 =
    {0x9c59509a, 0x39bd, 0x11d1, {0x8c, 0x4a, 0x00, 0xc0, 0x4f, 0xd9, 0x30, 0xc5}};
static const GUID IID_IDDVideoPortContainer =
    {0x6c142760, 0xa733, 0x11ce, {0xa5, 0x21, 0x00, 0x20, 0xaf, 0x0b, 0xe5, 0x60}};

// ---------------------------------------------------------------------------
// Record layouts: what the display driver expects in each record's dwSize, and where the fields it
// reads lie. The device is 32-bit and its numbers come first; the same records built as 64-bit
// programs (on PCs that cannot run 32-bit ones) grow where they hold pointers. Each build checks the
// numbers of its own word size, so neither layout can drift unnoticed.

#ifdef _WIN64
#define DDLAYOUT(device, w64) (w64)
#else
#define DDLAYOUT(device, w64) (device)
#endif

namespace ddlayout {
constexpr DWORD kPixelFormat = DDLAYOUT(32, 32);
constexpr DWORD kSurfaceDesc2 = DDLAYOUT(124, 136);
constexpr DWORD kCaps = DDLAYOUT(436, 436);
constexpr DWORD kOverlayFx = DDLAYOUT(56, 72);
constexpr DWORD kColorControl = DDLAYOUT(40, 40);
constexpr DWORD kVideoPortCaps = DDLAYOUT(72, 72);
constexpr DWORD kVideoPortConnect = DDLAYOUT(32, 40);
constexpr DWORD kVideoPortDesc = DDLAYOUT(72, 88);
constexpr DWORD kVideoPortInfo = DDLAYOUT(64, 88);
}  // namespace ddlayout

#define DDLAYOUT_CHECK(rec, size) static_assert(sizeof(rec) == (size), #rec " must have the driver's size")
#define DDLAYOUT_AT(rec, field, device, w64) \
    static_assert(offsetof(rec, field) == DDLAYOUT(device, w64), #rec "." #field " must lie where the driver has it")

// ---------------------------------------------------------------------------
// Records

struct DDCOLORKEY {
    DWORD dwColorSpaceLowValue;
    DWORD dwColorSpaceHighValue;
};
typedef DDCOLORKEY* LPDDCOLORKEY;

struct DDPIXELFORMAT {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwFourCC;
    DWORD dwRGBBitCount;
    DWORD dwRBitMask;
    DWORD dwGBitMask;
    DWORD dwBBitMask;
    DWORD dwRGBAlphaBitMask;
};
typedef DDPIXELFORMAT* LPDDPIXELFORMAT;
DDLAYOUT_CHECK(DDPIXELFORMAT, ddlayout::kPixelFormat);
DDLAYOUT_AT(DDPIXELFORMAT, dwRGBBitCount, 12, 12);
DDLAYOUT_AT(DDPIXELFORMAT, dwRGBAlphaBitMask, 28, 28);

#define DDPF_ALPHAPIXELS 0x00000001
#define DDPF_FOURCC      0x00000004
#define DDPF_RGB         0x00000040
#define DDPF_YUV         0x00000200

struct DDSCAPS2 {
    DWORD dwCaps;
    DWORD dwCaps2;
    DWORD dwCaps3;
    DWORD dwCaps4;
};
typedef DDSCAPS2* LPDDSCAPS2;

struct DDSCAPS {
    DWORD dwCaps;
};

#define DDSCAPS_COMPLEX        0x00000008
#define DDSCAPS_FLIP           0x00000010
#define DDSCAPS_FRONTBUFFER    0x00000020
#define DDSCAPS_OFFSCREENPLAIN 0x00000040
#define DDSCAPS_OVERLAY        0x00000080
#define DDSCAPS_PRIMARYSURFACE 0x00000200
#define DDSCAPS_SYSTEMMEMORY   0x00000800
#define DDSCAPS_VIDEOMEMORY    0x00004000
#define DDSCAPS_VISIBLE        0x00008000
#define DDSCAPS_BACKBUFFER     0x00000004
#define DDSCAPS_VIDEOPORT      0x08000000

struct DDSURFACEDESC2 {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    LONG lPitch;
    DWORD dwBackBufferCount;
    DWORD dwMipMapCount;
    DWORD dwAlphaBitDepth;
    DWORD dwReserved;
    LPVOID lpSurface;
    DDCOLORKEY ddckCKDestOverlay;
    DDCOLORKEY ddckCKDestBlt;
    DDCOLORKEY ddckCKSrcOverlay;
    DDCOLORKEY ddckCKSrcBlt;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS2 ddsCaps;
    DWORD dwTextureStage;
};
typedef DDSURFACEDESC2* LPDDSURFACEDESC2;
DDLAYOUT_CHECK(DDSURFACEDESC2, ddlayout::kSurfaceDesc2);
DDLAYOUT_AT(DDSURFACEDESC2, dwFlags, 4, 4);
DDLAYOUT_AT(DDSURFACEDESC2, dwHeight, 8, 8);
DDLAYOUT_AT(DDSURFACEDESC2, dwWidth, 12, 12);
DDLAYOUT_AT(DDSURFACEDESC2, dwBackBufferCount, 20, 20);
DDLAYOUT_AT(DDSURFACEDESC2, ddpfPixelFormat, 72, 80);
DDLAYOUT_AT(DDSURFACEDESC2, ddsCaps, 104, 112);

#define DDSD_CAPS            0x00000001
#define DDSD_HEIGHT          0x00000002
#define DDSD_WIDTH           0x00000004
#define DDSD_PITCH           0x00000008
#define DDSD_BACKBUFFERCOUNT 0x00000020
#define DDSD_PIXELFORMAT     0x00001000

struct DDCAPS {
    DWORD dwSize;
    DWORD dwCaps;
    DWORD dwCaps2;
    DWORD dwCKeyCaps;
    DWORD dwFXCaps;
    DWORD dwFXAlphaCaps;
    DWORD dwPalCaps;
    DWORD dwSVCaps;
    DWORD dwAlphaBltConstBitDepths;
    DWORD dwAlphaBltPixelBitDepths;
    DWORD dwAlphaBltSurfaceBitDepths;
    DWORD dwAlphaOverlayConstBitDepths;
    DWORD dwAlphaOverlayPixelBitDepths;
    DWORD dwAlphaOverlaySurfaceBitDepths;
    DWORD dwZBufferBitDepths;
    DWORD dwVidMemTotal;
    DWORD dwVidMemFree;
    DWORD dwMaxVisibleOverlays;
    DWORD dwCurrVisibleOverlays;
    DWORD dwNumFourCCCodes;
    DWORD dwAlignBoundarySrc;
    DWORD dwAlignSizeSrc;
    DWORD dwAlignBoundaryDest;
    DWORD dwAlignSizeDest;
    DWORD dwAlignStrideAlign;
    DWORD dwRops[8];
    DDSCAPS ddsOldCaps;
    DWORD dwMinOverlayStretch;
    DWORD dwMaxOverlayStretch;
    DWORD dwMinLiveVideoStretch;
    DWORD dwMaxLiveVideoStretch;
    DWORD dwMinHwCodecStretch;
    DWORD dwMaxHwCodecStretch;
    DWORD dwReserved1;
    DWORD dwReserved2;
    DWORD dwReserved3;
    DWORD dwMaxVideoPorts;
    DWORD dwCurrVideoPorts;
    DWORD dwReserved4[64];
};
typedef DDCAPS* LPDDCAPS;
DDLAYOUT_CHECK(DDCAPS, ddlayout::kCaps);
DDLAYOUT_AT(DDCAPS, dwCaps, 4, 4);

#define DDCAPS_OVERLAY          0x00000800
#define DDCAPS_OVERLAYCANTCLIP  0x00001000
#define DDCAPS_OVERLAYFOURCC    0x00002000
#define DDCAPS_OVERLAYSTRETCH   0x00004000

struct IDirectDrawSurface;
struct IDirectDrawSurface4;
typedef IDirectDrawSurface* LPDIRECTDRAWSURFACE;
typedef IDirectDrawSurface4* LPDIRECTDRAWSURFACE4;

struct DDOVERLAYFX {
    DWORD dwSize;
    DWORD dwAlphaEdgeBlendBitDepth;
    DWORD dwAlphaEdgeBlend;
    DWORD dwReserved;
    DWORD dwAlphaDestConstBitDepth;
    union {
        DWORD dwAlphaDestConst;
        LPDIRECTDRAWSURFACE lpDDSAlphaDest;
    };
    DWORD dwAlphaSrcConstBitDepth;
    union {
        DWORD dwAlphaSrcConst;
        LPDIRECTDRAWSURFACE lpDDSAlphaSrc;
    };
    DDCOLORKEY dckDestColorkey;
    DDCOLORKEY dckSrcColorkey;
    DWORD dwDDFX;
    DWORD dwFlags;
};
typedef DDOVERLAYFX* LPDDOVERLAYFX;
DDLAYOUT_CHECK(DDOVERLAYFX, ddlayout::kOverlayFx);

#define DDOVER_ALPHADEST         0x00000001
#define DDOVER_HIDE              0x00000200
#define DDOVER_KEYDEST           0x00000400
#define DDOVER_KEYDESTOVERRIDE   0x00000800
#define DDOVER_KEYSRC            0x00001000
#define DDOVER_KEYSRCOVERRIDE    0x00002000
#define DDOVER_SHOW              0x00004000
#define DDOVER_DDFX              0x00080000

#define DDSCL_FULLSCREEN 0x00000001
#define DDSCL_NORMAL     0x00000008
#define DDSCL_EXCLUSIVE  0x00000010

// ---------------------------------------------------------------------------
// Interfaces

struct IDirectDraw : public IUnknown {
};
typedef IDirectDraw* LPDIRECTDRAW;

struct IDirectDraw4 : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateSurface(LPDDSURFACEDESC2 lpDDSurfaceDesc2,
                                                    LPDIRECTDRAWSURFACE4* lplpDDSurface,
                                                    IUnknown* pUnkOuter) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCaps(LPDDCAPS lpDDDriverCaps, LPDDCAPS lpDDHELCaps) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hWnd, DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAvailableVidMem(LPDDSCAPS2 lpDDSCaps2, LPDWORD lpdwTotal,
                                                         LPDWORD lpdwFree) = 0;
};
typedef IDirectDraw4* LPDIRECTDRAW4;

struct IDirectDrawSurface4 : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetAttachedSurface(LPDDSCAPS2 lpDDSCaps,
                                                         LPDIRECTDRAWSURFACE4* lplpDDAttachedSurface) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSurfaceDesc(LPDDSURFACEDESC2 lpDDSurfaceDesc) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateOverlay(LPRECT lpSrcRect, LPDIRECTDRAWSURFACE4 lpDDDestSurface,
                                                    LPRECT lpDestRect, DWORD dwFlags,
                                                    LPDDOVERLAYFX lpDDOverlayFx) = 0;
};

extern "C" HRESULT WINAPI DirectDrawCreate(GUID* lpGUID, LPDIRECTDRAW* lplpDD, IUnknown* pUnkOuter);

// ---------------------------------------------------------------------------
// The display driver's escapes reach the simulated display. Calls with other escape
// numbers go on to the system's ExtEscape.

extern "C" int WINAPI DdsimExtEscape(HDC hdc, int iEscape, int cjInput, LPCSTR lpInData,
                                     int cjOutput, LPSTR lpOutData);
#ifndef DDSIM_IMPLEMENTATION
#define ExtEscape DdsimExtEscape
#endif

#endif
