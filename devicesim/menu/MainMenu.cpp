// main.exe on the storage card: the device's main menu. A full-screen touch face with five tiles
// (TV, radio, settings, GPS wake-up, blank screen) that asks the host for each, and a status
// field showing what the receiver plays and the settings the host keeps.
#include <windows.h>

#include <mmsystem.h>

#include <string>

#include "MenuLayout.h"

namespace {

using namespace devworld;
using namespace devmenu;

const UINT_PTR kStatusTimer = 1;
const UINT kStatusPeriodMs = 500;

struct Menu {
    HINSTANCE instance = nullptr;
    HWND hwnd = nullptr;
    UINT softKey = 0;
    HBITMAP released = nullptr;
    HBITMAP pressed = nullptr;
    HFONT lead = nullptr;
    HFONT small = nullptr;
    int down = -1;   // tile under the finger since touch-down
    std::wstring status[4];
};

Menu g_menu;

int TileAt(int x, int y)
{
    POINT pt = {x, y};
    for (int i = 0; i < static_cast<int>(sizeof kTiles / sizeof kTiles[0]); ++i)
        if (PtInRect(&kTiles[i].rc, pt)) return i;
    return -1;
}

void BlitFrom(HDC dc, HBITMAP face, const RECT& rc)
{
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, face);
    BitBlt(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, mem, rc.left, rc.top, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

void DrawTile(int index, bool pressed)
{
    if (index < 0) return;
    HDC dc = GetDC(g_menu.hwnd);
    BlitFrom(dc, pressed ? g_menu.pressed : g_menu.released, kTiles[index].rc);
    ReleaseDC(g_menu.hwnd, dc);
}

// ------------------------------------------------------------------ status

std::wstring Format(const wchar_t* fmt, int a, int b = 0)
{
    wchar_t buf[128];
    swprintf(buf, 128, fmt, a, b);
    return buf;
}

void ReadStatus(std::wstring out[4])
{
    ReceiverState rx;
    if (ReadReceiverState(rx)) {
        // 라디오 / TV
        out[0] = Format(rx.band == kBandRadio ? L"\uB77C\uB514\uC624 \u00B7 CH %d" : L"TV \u00B7 CH %d", rx.channel);
        out[1] = rx.name;
    } else {
        out[0] = L"\u2014";
        out[1].clear();
    }
    DWORD volume = 0, bright = 0, fm = 0, dimmer = 0;
    ReadStore(L"Volume", volume);
    ReadStore(L"Bright", bright);
    ReadStore(L"FMTx", fm);
    ReadStore(L"Dimmer", dimmer);
    out[2] = Format(L"\uC74C\uB7C9 %d   \uBC1D\uAE30 %d", static_cast<int>(volume), static_cast<int>(bright));  // 음량 밝기
    std::wstring fmText = (fm >= 877 && fm <= 897) ? Format(L"FM %d.%d", static_cast<int>(fm / 10), static_cast<int>(fm % 10))
                                                   : std::wstring(L"FM \uAEBC\uC9D0");  // FM 꺼짐
    out[3] = fmText + (dimmer == 0 ? L"   \uB514\uBA38 \uCF1C\uC9D0" : L"   \uB514\uBA38 \uAEBC\uC9D0");  // 디머 켜짐/꺼짐
}

void DrawStatus(HDC dc)
{
    BlitFrom(dc, g_menu.released, kStatus);
    SetBkMode(dc, TRANSPARENT);
    const struct { HFONT font; COLORREF colour; int top, height; } lines[4] = {
        {g_menu.lead, RGB(246, 136, 24), 0, 30},
        {g_menu.lead, RGB(238, 242, 248), 32, 30},
        {g_menu.small, RGB(146, 158, 182), 80, 24},
        {g_menu.small, RGB(146, 158, 182), 106, 24},
    };
    for (int i = 0; i < 4; ++i) {
        HGDIOBJ old = SelectObject(dc, lines[i].font);
        SetTextColor(dc, lines[i].colour);
        RECT rc = {kStatusText.left, kStatusText.top + lines[i].top, kStatusText.right,
                   kStatusText.top + lines[i].top + lines[i].height};
        DrawTextW(dc, g_menu.status[i].c_str(), -1, &rc, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
        SelectObject(dc, old);
    }
}

void RefreshStatus()
{
    std::wstring now[4];
    ReadStatus(now);
    bool changed = false;
    for (int i = 0; i < 4; ++i) changed = changed || now[i] != g_menu.status[i];
    if (!changed) return;
    for (int i = 0; i < 4; ++i) g_menu.status[i] = now[i];
    HDC dc = GetDC(g_menu.hwnd);
    DrawStatus(dc);
    ReleaseDC(g_menu.hwnd, dc);
}

// ------------------------------------------------------------------ window

void OnPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT all = {0, 0, 640, 480};
    BlitFrom(dc, g_menu.released, all);
    if (g_menu.down >= 0) BlitFrom(dc, g_menu.pressed, kTiles[g_menu.down].rc);
    DrawStatus(dc);
    EndPaint(hwnd, &ps);
}

void OnTouchUp(int x, int y)
{
    int tile = g_menu.down;
    g_menu.down = -1;
    if (tile < 0) return;
    DrawTile(tile, false);
    if (TileAt(x, y) != tile) return;   // slid off: no command
    PlaySoundW(MAKEINTRESOURCEW(IDW_MENU_CLICK), g_menu.instance, SND_RESOURCE | SND_ASYNC);
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, g_menu.softKey, kMenuRequest, kTiles[tile].item, SMTO_ABORTIFHUNG, devworld::kHangMs,
                        &result);
}

LRESULT CALLBACK MenuProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT: OnPaint(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
        g_menu.down = TileAt(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
        DrawTile(g_menu.down, true);
        return 0;
    case WM_LBUTTONUP: OnTouchUp(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))); return 0;
    case WM_TIMER: RefreshStatus(); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HFONT MakeFont(int height, int weight)
{
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, HANGUL_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH, L"NanumGothic");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    HANDLE single = CreateMutexW(nullptr, FALSE, L"DeviceMainMenu");
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        HWND running = FindWindowW(kMenuClass, nullptr);
        if (running) SetForegroundWindow(running);
        return 0;
    }
    g_menu.instance = instance;
    g_menu.softKey = RegisterWindowMessageW(kSoftKeyName);
    g_menu.released = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_MENU_RELEASED));
    g_menu.pressed = LoadBitmapW(instance, MAKEINTRESOURCEW(IDB_MENU_PRESSED));
    g_menu.lead = MakeFont(22, FW_BOLD);
    g_menu.small = MakeFont(17, FW_NORMAL);
    ReadStatus(g_menu.status);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = MenuProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MENU));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kMenuClass;
    RegisterClassW(&wc);
    g_menu.hwnd = CreateWindowExW(0, kMenuClass, kMenuTitle, WS_POPUP | WS_VISIBLE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                  GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, instance, nullptr);
    if (!g_menu.hwnd) return 1;
    SetTimer(g_menu.hwnd, kStatusTimer, kStatusPeriodMs, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    CloseHandle(single);
    return 0;
}
