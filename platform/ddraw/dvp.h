// The video-port extension of DirectDraw: the container that enumerates and creates the
// hardware video ports, and the port that writes the decoder's fields into a surface.
#ifndef PLATFORM_DDRAW_DVP_H
#define PLATFORM_DDRAW_DVP_H

#include "ddraw.h"

struct DDVIDEOPORTCAPS {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwMaxWidth;
    DWORD dwMaxVBIWidth;
    DWORD dwMaxHeight;
    DWORD dwVideoPortID;
    DWORD dwCaps;
    DWORD dwFX;
    DWORD dwNumAutoFlipSurfaces;
    DWORD dwAlignVideoPortBoundary;
    DWORD dwAlignVideoPortPrescaleWidth;
    DWORD dwAlignVideoPortCropBoundary;
    DWORD dwAlignVideoPortCropWidth;
    DWORD dwPreshrinkXStep;
    DWORD dwPreshrinkYStep;
    DWORD dwNumVBIAutoFlipSurfaces;
    DWORD dwNumPreferredAutoflip;
    WORD wNumFilterTapsX;
    WORD wNumFilterTapsY;
};
typedef DDVIDEOPORTCAPS* LPDDVIDEOPORTCAPS;
DDLAYOUT_CHECK(DDVIDEOPORTCAPS, ddlayout::kVideoPortCaps);
DDLAYOUT_AT(DDVIDEOPORTCAPS, dwVideoPortID, 20, 20);

#define DDVPD_WIDTH  0x00000001
#define DDVPD_HEIGHT 0x00000002
#define DDVPD_ID     0x00000004
#define DDVPD_CAPS   0x00000008
#define DDVPD_FX     0x00000010

struct DDVIDEOPORTCONNECT {
    DWORD dwSize;
    DWORD dwPortWidth;
    GUID guidTypeID;
    DWORD dwFlags;
    ULONG_PTR dwReserved1;
};
typedef DDVIDEOPORTCONNECT* LPDDVIDEOPORTCONNECT;
DDLAYOUT_CHECK(DDVIDEOPORTCONNECT, ddlayout::kVideoPortConnect);

#define DDVPCONNECT_DOUBLECLOCK    0x00000001
#define DDVPCONNECT_VACT           0x00000002
#define DDVPCONNECT_INVERTPOLARITY 0x00000004
#define DDVPCONNECT_DISCARDSVREFDATA 0x00000008
#define DDVPCONNECT_HALFLINE       0x00000010
#define DDVPCONNECT_INTERLACED     0x00000020

struct DDVIDEOPORTDESC {
    DWORD dwSize;
    DWORD dwFieldWidth;
    DWORD dwVBIWidth;
    DWORD dwFieldHeight;
    DWORD dwMicrosecondsPerField;
    DWORD dwMaxPixelsPerSecond;
    DWORD dwVideoPortID;
    DWORD dwReserved1;
    DDVIDEOPORTCONNECT VideoPortType;
    ULONG_PTR dwReserved2;
    ULONG_PTR dwReserved3;
};
typedef DDVIDEOPORTDESC* LPDDVIDEOPORTDESC;
DDLAYOUT_CHECK(DDVIDEOPORTDESC, ddlayout::kVideoPortDesc);
DDLAYOUT_AT(DDVIDEOPORTDESC, dwFieldWidth, 4, 4);
DDLAYOUT_AT(DDVIDEOPORTDESC, dwFieldHeight, 12, 12);
DDLAYOUT_AT(DDVIDEOPORTDESC, dwMicrosecondsPerField, 16, 16);
DDLAYOUT_AT(DDVIDEOPORTDESC, dwMaxPixelsPerSecond, 20, 20);
DDLAYOUT_AT(DDVIDEOPORTDESC, dwVideoPortID, 24, 24);
DDLAYOUT_AT(DDVIDEOPORTDESC, VideoPortType, 32, 32);
DDLAYOUT_AT(DDVIDEOPORTDESC, dwReserved3, 68, 80);

struct DDVIDEOPORTINFO {
    DWORD dwSize;
    DWORD dwOriginX;
    DWORD dwOriginY;
    DWORD dwVPFlags;
    RECT rCrop;
    DWORD dwPrescaleWidth;
    DWORD dwPrescaleHeight;
    LPDDPIXELFORMAT lpddpfInputFormat;
    LPDDPIXELFORMAT lpddpfVBIInputFormat;
    LPDDPIXELFORMAT lpddpfVBIOutputFormat;
    DWORD dwVBIHeight;
    ULONG_PTR dwReserved1;
    ULONG_PTR dwReserved2;
};
typedef DDVIDEOPORTINFO* LPDDVIDEOPORTINFO;
DDLAYOUT_CHECK(DDVIDEOPORTINFO, ddlayout::kVideoPortInfo);
DDLAYOUT_AT(DDVIDEOPORTINFO, dwVPFlags, 12, 12);
DDLAYOUT_AT(DDVIDEOPORTINFO, rCrop, 16, 16);
DDLAYOUT_AT(DDVIDEOPORTINFO, dwPrescaleWidth, 32, 32);
DDLAYOUT_AT(DDVIDEOPORTINFO, dwPrescaleHeight, 36, 36);
DDLAYOUT_AT(DDVIDEOPORTINFO, lpddpfInputFormat, 40, 40);
DDLAYOUT_AT(DDVIDEOPORTINFO, lpddpfVBIInputFormat, 44, 48);
DDLAYOUT_AT(DDVIDEOPORTINFO, dwVBIHeight, 52, 64);

#define DDVP_AUTOFLIP       0x00000001
#define DDVP_CONVERT        0x00000002
#define DDVP_CROP           0x00000004
#define DDVP_INTERLEAVE     0x00000008
#define DDVP_MIRRORLEFTRIGHT 0x00000010
#define DDVP_MIRRORUPDOWN   0x00000020
#define DDVP_PRESCALE       0x00000040

struct DDCOLORCONTROL {
    DWORD dwSize;
    DWORD dwFlags;
    LONG lBrightness;
    LONG lContrast;
    LONG lHue;
    LONG lSaturation;
    LONG lSharpness;
    LONG lGamma;
    LONG lColorEnable;
    DWORD dwReserved1;
};
typedef DDCOLORCONTROL* LPDDCOLORCONTROL;
DDLAYOUT_CHECK(DDCOLORCONTROL, ddlayout::kColorControl);

#define DDCOLOR_BRIGHTNESS  0x00000001
#define DDCOLOR_CONTRAST    0x00000002
#define DDCOLOR_HUE         0x00000004
#define DDCOLOR_SATURATION  0x00000008
#define DDCOLOR_SHARPNESS   0x00000010
#define DDCOLOR_GAMMA       0x00000020
#define DDCOLOR_COLORENABLE 0x00000040

#define DDVPCREATE_VBIONLY   0x00000001
#define DDVPCREATE_VIDEOONLY 0x00000002

#define DDVPTARGET_VIDEO 0x00000001
#define DDVPTARGET_VBI   0x00000002

#define DDVPFORMAT_VIDEO 0x00000001
#define DDVPFORMAT_VBI   0x00000002

typedef HRESULT (WINAPI* LPDDENUMVIDEOCALLBACK)(LPDDVIDEOPORTCAPS lpDDVideoPortCaps, LPVOID lpContext);

struct IDirectDrawVideoPort : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetColorControls(LPDDCOLORCONTROL lpColorControl) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInputFormats(LPDWORD lpNumFormats, LPDDPIXELFORMAT lpFormats,
                                                      DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTargetSurface(LPDIRECTDRAWSURFACE lpDDSurface, DWORD dwFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE StartVideo(LPDDVIDEOPORTINFO lpVideoInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE StopVideo() = 0;
};
typedef IDirectDrawVideoPort* LPDIRECTDRAWVIDEOPORT;

struct IDDVideoPortContainer : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateVideoPort(DWORD dwFlags, LPDDVIDEOPORTDESC lpDDVideoPortDesc,
                                                      LPDIRECTDRAWVIDEOPORT* lplpDDVideoPort,
                                                      IUnknown* pUnkOuter) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumVideoPorts(DWORD dwFlags, LPDDVIDEOPORTCAPS lpDDVideoPortCaps,
                                                     LPVOID lpContext,
                                                     LPDDENUMVIDEOCALLBACK lpEnumVideoCallback) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVideoPortConnectInfo(DWORD dwPortId, LPDWORD lpNumEntries,
                                                              LPDDVIDEOPORTCONNECT lpConnectInfo) = 0;
};
typedef IDDVideoPortContainer* LPDDVIDEOPORTCONTAINER;

#endif
