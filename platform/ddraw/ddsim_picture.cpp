// What the display controller would put on the glass: the receiver's picture, here a test
// picture, laid over everything else exactly where the overlay is. It lives in a layered,
// click-through, topmost popup painted by a thread of its own, so touches reach the window
// below as they do on the device, where the overlay is not a window at all.
#define DDSIM_IMPLEMENTATION
#include "ddraw.h"
#include "ddsim.h"
#include "ddsim_internal.h"

#include <cstdio>
#include <string>

namespace ddsim {
namespace detail {

namespace {

const wchar_t kClassName[] = L"DdsimOverlayPicture";
const wchar_t kReceiverKey[] = L"Software\\devicesim\\receiver";
const wchar_t kNone[] = L"\x2014";   // em dash: the receiver's state is not known
const DWORD kRaiseMs = 400;

struct Tuned {
    std::wstring band = kNone;
    std::wstring channel = kNone;
    std::wstring name = kNone;
};

struct PictureState {
    Display shown;          // what was last put on the screen
    bool fed = false;
    Tuned tuned;
    DWORD tunedReadAt = 0;
    DWORD raisedAt = 0;
    HFONT font = nullptr;
    int fontHeight = 0;
};

PictureState& P()
{
    static PictureState* state = new PictureState();
    return *state;
}

Tuned ReadTuned()
{
    Tuned t;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kReceiverKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return t;
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueExW(key, L"Band", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
        type == REG_DWORD)
        t.band = value == 1 ? L"DMB" : value == 2 ? L"DAB" : kNone;
    size = sizeof value;
    if (RegQueryValueExW(key, L"Channel", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
        type == REG_DWORD)
        t.channel = std::to_wstring(value);
    wchar_t name[128] = {};
    size = sizeof name - sizeof(wchar_t);
    if (RegQueryValueExW(key, L"Name", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS &&
        type == REG_SZ && name[0])
        t.name = name;
    RegCloseKey(key);
    return t;
}

HFONT FontFor(int height)
{
    PictureState& p = P();
    if (p.font && p.fontHeight == height) return p.font;
    if (p.font) DeleteObject(p.font);
    p.font = CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, HANGUL_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"NanumGothic");
    p.fontHeight = height;
    return p.font;
}

void Fill(HDC dc, int l, int t, int r, int b, COLORREF c)
{
    RECT rc = {l, t, r, b};
    HBRUSH br = CreateSolidBrush(c);
    FillRect(dc, &rc, br);
    DeleteObject(br);
}

// Colour bars over the upper two thirds, a caption band with the tuned channel and the frame
// counter below; a bright stripe sweeps across the bars so a running picture is seen to move.
void DrawTestPicture(HDC dc, int w, int h, const Display& d, const Tuned& t)
{
    static const COLORREF bars[] = {RGB(192, 192, 192), RGB(192, 192, 0), RGB(0, 192, 192), RGB(0, 192, 0),
                                    RGB(192, 0, 192),   RGB(192, 0, 0),   RGB(0, 0, 192)};
    const int n = static_cast<int>(sizeof bars / sizeof bars[0]);
    const int barsBottom = h * 2 / 3;
    for (int i = 0; i < n; ++i) Fill(dc, w * i / n, 0, w * (i + 1) / n, barsBottom, bars[i]);
    const int stripe = w / 40 + 2;
    const int x = static_cast<int>((d.frame * 6u) % static_cast<unsigned>(w + stripe)) - stripe;
    Fill(dc, x, 0, x + stripe, barsBottom, RGB(255, 255, 255));
    Fill(dc, 0, barsBottom, w, h, RGB(16, 16, 48));

    const int lineH = (h - barsBottom) / 3;
    HGDIOBJ old = SelectObject(dc, FontFor(lineH * 4 / 5 > 8 ? lineH * 4 / 5 : 8));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    std::wstring line1 = t.band + L"  CH " + t.channel;
    wchar_t counter[32];
    swprintf(counter, 32, L"frame %06u", d.frame);
    const std::wstring lines[3] = {line1, t.name, counter};
    for (int i = 0; i < 3; ++i) {
        RECT rc = {4, barsBottom + i * lineH, w - 4, barsBottom + (i + 1) * lineH};
        DrawTextW(dc, lines[i].c_str(), -1, &rc, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    SelectObject(dc, old);
}

// The port writes its prescaled field from the surface's top-left corner; the driver lays it at
// the destination rectangle's top-left. What the field does not cover stays black.
void Paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    const PictureState& p = P();
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ oldBmp = SelectObject(mem, bmp);
    Fill(mem, 0, 0, client.right, client.bottom, RGB(0, 0, 0));
    int vw = p.shown.prescaleWidth < client.right ? p.shown.prescaleWidth : client.right;
    int vh = p.shown.prescaleHeight < client.bottom ? p.shown.prescaleHeight : client.bottom;
    if (p.fed && vw > 0 && vh > 0) {
        HRGN clip = CreateRectRgn(0, 0, vw, vh);
        SelectClipRgn(mem, clip);
        DrawTestPicture(mem, p.shown.prescaleWidth, p.shown.prescaleHeight, p.shown, p.tuned);
        SelectClipRgn(mem, nullptr);
        DeleteObject(clip);
    }
    BitBlt(dc, 0, 0, client.right, client.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, oldBmp);
    DeleteObject(bmp);
    DeleteDC(mem);
    EndPaint(hwnd, &ps);
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Tells the console where the picture shows, before the window moves there and after it hid, so
// that a screen read while the picture moves is never taken for a still one.
void PublishLive(const RECT& screen)
{
    control::Block* block = OutsideBlock();
    if (!block || SameRect(block->live.screen, screen)) return;
    InterlockedIncrement(&block->live.seq);
    block->live.screen = screen;
    InterlockedIncrement(&block->live.seq);
}

// Follows the display: place, show, hide, and repaint when the picture changed.
void Refresh(HWND hwnd)
{
    PictureState& p = P();
    Display d = GetDisplay();
    bool fed = ShownSurfaceFed();
    DWORD now = GetTickCount();
    bool tunedChanged = false;
    if (now - p.tunedReadAt >= 500 || p.tunedReadAt == 0) {
        Tuned t = ReadTuned();
        tunedChanged = t.band != p.tuned.band || t.channel != p.tuned.channel || t.name != p.tuned.name;
        p.tuned = t;
        p.tunedReadAt = now;
    }
    const RECT& r = d.screen;
    if (IsRectEmpty(&r)) {
        if (IsWindowVisible(hwnd)) ShowWindow(hwnd, SW_HIDE);
        p.shown = d;
        PublishLive(RECT{});
        return;
    }
    bool moved = !IsWindowVisible(hwnd) || !SameRect(r, p.shown.screen);
    bool changed = moved || tunedChanged || fed != p.fed || d.frame != p.shown.frame ||
                   d.prescaleWidth != p.shown.prescaleWidth || d.prescaleHeight != p.shown.prescaleHeight;
    p.shown = d;
    p.fed = fed;
    if (moved) {
        PublishLive(r);
        SetWindowPos(hwnd, HWND_TOPMOST, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
    if (moved || GetWindow(hwnd, GW_HWNDPREV) || now - p.raisedAt >= kRaiseMs) {
        // The overlay is above everything on the glass. A window raised since, or mapped by the
        // display server after this one, goes back under it: stepping out of the topmost band
        // and back in makes the system restack the display server's windows as well.
        SetWindowPos(hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
        SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
        p.raisedAt = now;
    }
    if (changed) {
        InvalidateRect(hwnd, nullptr, FALSE);
        UpdateWindow(hwnd);
    }
}

LRESULT CALLBACK PictureProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_TIMER:
    case WM_APP:
        Refresh(hwnd);
        return 0;
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

}  // namespace

DWORD WINAPI PictureThreadMain(LPVOID)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = PictureProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
                                kClassName, L"overlay", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    if (!hwnd) return 1;
    SetLayeredWindowAttributes(hwnd, 0, 255, LWA_ALPHA);
    SetPictureWindow(hwnd);
    SetTimer(hwnd, 1, static_cast<UINT>(FrameMs()), nullptr);
    Refresh(hwnd);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

}  // namespace detail
}  // namespace ddsim
