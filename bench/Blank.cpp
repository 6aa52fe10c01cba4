// The cost of a process start alone: a program that shows a window titled BENCHBLANK at once.
// Asked by a posted WM_APP, it broadcasts "HL_SOFTKEY" 77/0 and does nothing else: the floor
// under any program's touch-to-broadcast on this platform. With --once it ends as soon as its
// window is there, so a whole process's life from the Linux side is its start.
#include <windows.h>
#include <wchar.h>

namespace {

UINT g_softKey = 0;

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_APP) {
        SendMessageW(HWND_BROADCAST, g_softKey, 77, 0);
        return 0;
    }
    if (msg == WM_CLOSE) PostQuitMessage(0);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    g_softKey = RegisterWindowMessageW(L"HL_SOFTKEY");
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.lpszClassName = L"BenchBlank";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"BENCHBLANK", WS_POPUP | WS_VISIBLE, 0, 0, 1, 1, nullptr, nullptr,
                                instance, nullptr);
    if (!hwnd) return 1;
    if (commandLine && wcsstr(commandLine, L"--once")) return 0;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}
