// devicetour <screenshot folder> <GPS module log>: plays the tour on a running device.
#include "Tour.h"

#include "Boot.h"

#include <shellapi.h>

#include <cstdarg>
#include <cstdio>

namespace tour {

// ------------------------------------------------------------------ listener

Listener::Listener()
{
    m_msg = RegisterWindowMessageW(devworld::kSoftKeyName);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &Listener::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"DeviceTourListener";
    RegisterClassW(&wc);
    m_hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"DeviceTour", WS_POPUP, -3000, -3000, 1, 1,
                             nullptr, nullptr, wc.hInstance, this);
}

Listener::~Listener()
{
    if (m_hwnd) DestroyWindow(m_hwnd);
}

LRESULT CALLBACK Listener::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    auto* self = reinterpret_cast<Listener*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg == self->m_msg) {
        self->m_log.push_back(Heard{static_cast<int>(wp), static_cast<int>(lp), GetTickCount64()});
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool Listener::HeardSince(size_t mark, int code, int minArg) const
{
    for (size_t i = mark; i < m_log.size(); ++i)
        if (m_log[i].code == code && m_log[i].arg >= minArg) return true;
    return false;
}

bool Listener::HeardExactly(size_t mark, int code, int arg) const
{
    for (size_t i = mark; i < m_log.size(); ++i)
        if (m_log[i].code == code && m_log[i].arg == arg) return true;
    return false;
}

// ------------------------------------------------------------------- waiting

void Pump() { devworld::Pump(); }

bool Until(const std::function<bool()>& pred, DWORD timeoutMs) { return devworld::PumpUntil(pred, timeoutMs); }

// ------------------------------------------------------------------- touches

namespace {

// The window a touch at a screen point lands on: the first shown top-level window, in z-order,
// that holds the point and takes input (the overlay's picture lets touches through).
HWND WindowUnder(int x, int y)
{
    struct Find {
        POINT pt;
        HWND found;
    } find = {{x, y}, nullptr};
    EnumWindows(
        [](HWND w, LPARAM lp) CALLBACK -> BOOL {
            auto* f = reinterpret_cast<Find*>(lp);
            RECT r;
            if (!IsWindowVisible(w) || !GetWindowRect(w, &r) || !PtInRect(&r, f->pt)) return TRUE;
            if (GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TRANSPARENT) return TRUE;
            f->found = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.found;
}

}  // namespace

// Delivered as the touch panel's driver delivers a touch: pen down and pen up posted to the
// window under the point, in its client coordinates. (A real mouse click would also activate
// that window, and the display's picture must then stay above it; the tour does not depend
// on that.)
void Touch(int x, int y)
{
    HWND w = WindowUnder(x, y);
    if (!w) return;
    POINT pt = {x, y};
    ScreenToClient(w, &pt);
    const LPARAM at = MAKELPARAM(pt.x, pt.y);
    PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(w, WM_LBUTTONUP, 0, at);
}

// A touch the viewer refused (it takes none for a moment after a switch) is given again; each one
// is given twice the time of the one before to show, so a slow machine gets a second touch only
// once it has had every chance to show the first.
bool TouchUntil(int x, int y, const std::function<bool()>& pred, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    DWORD look = 1000;
    do {
        Touch(x, y);
        if (Until(pred, look)) return true;
        look *= 2;
    } while (GetTickCount64() < end);
    return false;
}

bool TouchSending(const Listener& heard, int x, int y, int code, int arg, const std::function<bool()>& pred,
                  DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    bool sent = false;
    DWORD look = 1000;
    const size_t mark = heard.Mark();   // a first touch heard late still counts
    while (!sent && GetTickCount64() < end) {
        Touch(x, y);
        sent = Until([&] { return heard.HeardExactly(mark, code, arg); }, look);
        look *= 2;
    }
    if (!sent) Say(L"no %d/%d after the touch at (%d, %d)", code, arg, x, y);
    return sent && Until(pred, timeoutMs);
}

// ------------------------------------------------------------------- windows

HWND Viewer() { return devworld::FindViewer(); }
HWND Panel() { return FindWindowW(nullptr, devworld::kPanelTitle); }
HWND Menu() { return FindWindowW(devworld::kMenuClass, nullptr); }

RECT WindowRectOf(HWND hwnd)
{
    RECT r = {0, 0, 0, 0};
    if (hwnd && IsWindowVisible(hwnd)) GetWindowRect(hwnd, &r);
    return r;
}

bool IsRect(const RECT& r, int left, int top, int right, int bottom)
{
    return r.left == left && r.top == top && r.right == right && r.bottom == bottom;
}

std::wstring DlsText()
{
    // An edit control keeps its text itself: asked with WM_GETTEXT, which crosses processes.
    HWND edit = GetDlgItem(Viewer(), 1001);
    wchar_t text[512] = {};
    DWORD_PTR n = 0;
    if (edit && !SendMessageTimeoutW(edit, WM_GETTEXT, 511, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, devworld::kHangMs, &n))
        Say(L"the viewer's text line %p did not answer WM_GETTEXT (hung)", static_cast<void*>(edit));
    return text;
}

RECT DlsRect() { return WindowRectOf(GetDlgItem(Viewer(), 1001)); }

// -------------------------------------------------------------------- album

bool Album::Take(const wchar_t* name)
{
    wchar_t file[64];
    swprintf(file, 64, L"%02d_%ls.bmp", ++m_n, name);
    bool ok = devworld::SaveBmp(devworld::CaptureAll(), m_folder + L"\\" + file);
    Say(L"screenshot %ls%ls", file, ok ? L"" : L" FAILED");
    return ok;
}

bool Album::TakeWithPicture(const wchar_t* name, const RECT& picture)
{
    devworld::Shot shot;
    if (!Until([&] { return devworld::PictureIn(shot = devworld::CaptureAll(), picture); }, devworld::kHangMs)) {
        Say(L"the picture is not in the capture for %ls", name);
        return false;
    }
    wchar_t file[64];
    swprintf(file, 64, L"%02d_%ls.bmp", ++m_n, name);
    bool ok = devworld::SaveBmp(shot, m_folder + L"\\" + file);
    Say(L"screenshot %ls%ls", file, ok ? L"" : L" FAILED");
    return ok;
}

void Say(const wchar_t* fmt, ...)
{
    wchar_t line[512];
    va_list args;
    va_start(args, fmt);
    vswprintf(line, 500, fmt, args);
    va_end(args);
    char bytes[1600];
    int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, sizeof bytes - 2, nullptr, nullptr);
    if (n <= 0) return;
    bytes[n - 1] = '\n';
    DWORD written = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE) WriteFile(out, "[tour] ", 7, &written, nullptr);
    if (out && out != INVALID_HANDLE_VALUE) WriteFile(out, bytes, static_cast<DWORD>(n), &written, nullptr);
}

}  // namespace tour

namespace {

// devicetour --windows: the top-level windows, for looking into a device that does not do as told.
int ListWindows()
{
    EnumWindows(
        [](HWND w, LPARAM) CALLBACK -> BOOL {
            wchar_t title[128] = {}, cls[128] = {};
            InternalGetWindowText(w, title, 127);
            GetClassNameW(w, cls, 127);
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            RECT r = {};
            GetWindowRect(w, &r);
            tour::Say(L"%p pid %04lx %ls \"%ls\" [%ls] (%ld,%ld)-(%ld,%ld)", static_cast<void*>(w), pid,
                      IsWindowVisible(w) ? L"shown " : L"hidden", title, cls, r.left, r.top, r.right, r.bottom);
            return TRUE;
        },
        0);
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv && argc == 2 && lstrcmpW(argv[1], L"--windows") == 0) return ListWindows();
    if (argv && argc == 2 && lstrcmpW(argv[1], L"--repaint") == 0) {
        HWND w = FindWindowW(L"DdsimOverlayPicture", nullptr);
        tour::Say(L"repaint %p: %d", static_cast<void*>(w), w ? RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW) : 0);
        return 0;
    }
    if (!argv || argc < 3) return 2;
    // The tour starts the device itself, as the device's tests do: the host service from this
    // program's own folder, then the viewer and Kickoff from the card.
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring simDir = self;
    simDir = simDir.substr(0, simDir.find_last_of(L'\\'));
    if (!devworld::BootDevice(simDir, nullptr)) {
        tour::Say(L"the device did not boot");
        return 1;
    }
    tour::Album album(argv[1]);
    bool ok = tour::RunTour(album, argv[2]);
    if (!ok) album.Take(L"failed_here");
    tour::Say(L"%ls after %d screenshots", ok ? L"tour complete" : L"tour FAILED", album.Count());
    return ok ? 0 : 1;
}
