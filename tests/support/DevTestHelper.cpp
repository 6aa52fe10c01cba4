// A tiny program that the harness's own test drives. It shows two painted
// windows and reports what it receives back to the host as "HL_SOFTKEY"
// broadcasts:
//   host 200/n  -> 14/66 (answered by the host inside its handler), then
//                  17/1 if 16/40 arrived before that broadcast returned, else 17/0,
//                  then 201/n+1
//   host 230/0  -> a message box; 231/<its result> once it is closed
//   host 240/n  -> ends with exit code n
//   touch       -> 210/lParam on button down, 211/lParam on button up
//   WM_COPYDATA -> 220/cbData, 221/first UTF-16 unit (when cbData >= 2); returns dwData
#include <windows.h>

#include <string>

namespace {

UINT g_softKey = 0;
bool g_answered = false;

void Broadcast(int code, LPARAM arg)
{
    SendMessageW(HWND_BROADCAST, g_softKey, static_cast<WPARAM>(code), arg);
}

void Paint(HWND hwnd, COLORREF left, COLORREF right)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    RECT half = rc;
    half.right = rc.right / 2;
    HBRUSH b1 = CreateSolidBrush(left);
    FillRect(dc, &half, b1);
    DeleteObject(b1);
    half.left = half.right;
    half.right = rc.right;
    HBRUSH b2 = CreateSolidBrush(right);
    FillRect(dc, &half, b2);
    DeleteObject(b2);
    EndPaint(hwnd, &ps);
}

void OnSoftKey(HWND hwnd, int code, int arg)
{
    if (code == 16 && arg == 40) {
        g_answered = true;
    } else if (code == 200) {
        g_answered = false;
        Broadcast(14, 66);
        Broadcast(17, g_answered ? 1 : 0);
        Broadcast(201, arg + 1);
    } else if (code == 230) {
        PostMessageW(hwnd, WM_APP, 0, 0);  // a modal box must not run inside the host's send
    } else if (code == 240) {
        PostQuitMessage(arg);
    }
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == g_softKey) {
        OnSoftKey(hwnd, static_cast<int>(wp), static_cast<int>(lp));
        return 0;
    }
    switch (msg) {
    case WM_PAINT:
        Paint(hwnd, RGB(255, 0, 0), RGB(0, 0, 255));
        return 0;
    case WM_LBUTTONDOWN:
        Broadcast(210, lp);
        return 0;
    case WM_LBUTTONUP:
        Broadcast(211, lp);
        return 0;
    case WM_COPYDATA: {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        Broadcast(220, static_cast<LPARAM>(cds->cbData));
        if (cds->cbData >= 2 && cds->lpData) Broadcast(221, *static_cast<const wchar_t*>(cds->lpData));
        return static_cast<LRESULT>(cds->dwData);
    }
    case WM_APP: {
        int r = MessageBoxW(nullptr, L"\uCCAB \uC904\r\nsecond line", L"DevTest \uC0C1\uC790", MB_OK);
        Broadcast(231, r);
        return 0;
    }
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK LowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        Paint(hwnd, RGB(0, 255, 0), RGB(0, 255, 0));
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND MakeWindow(const wchar_t* cls, WNDPROC proc, const std::wstring& title, DWORD exStyle, int x,
                int y, int w, int h)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = cls;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    RegisterClassW(&wc);
    return CreateWindowExW(exStyle, cls, title.c_str(), WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr,
                           nullptr, wc.hInstance, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR cmdLine, int)
{
    g_softKey = RegisterWindowMessageW(L"HL_SOFTKEY");
    std::wstring title = (cmdLine && *cmdLine) ? cmdLine : L"DevTest Helper";
    MakeWindow(L"DevTestHelperLow", LowProc, title + L" Low", 0, 400, 300, 50, 50);
    MakeWindow(L"DevTestHelperMain", MainProc, title, WS_EX_TOPMOST, 100, 50, 200, 100);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
