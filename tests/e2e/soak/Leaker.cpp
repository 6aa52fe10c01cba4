// A program with a leak planted in it, for proving the soak's outside counters: each posted
// WM_APP makes it keep one more event handle, one more brush and 256 KB it never gives back.
#include <windows.h>

#include <cstring>
#include <vector>

namespace {

std::vector<HANDLE> g_handles;
std::vector<char*> g_blocks;
std::vector<HBRUSH> g_brushes;

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_APP) {
        g_handles.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        g_brushes.push_back(CreateSolidBrush(RGB(1, 2, static_cast<int>(g_brushes.size() & 0xFF))));
        char* block = new char[256 * 1024];
        std::memset(block, 1, 256 * 1024);
        g_blocks.push_back(block);
        return 0;
    }
    if (msg == WM_CLOSE) PostQuitMessage(0);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.lpszClassName = L"SoakLeaker";
    RegisterClassW(&wc);
    if (!CreateWindowExW(0, wc.lpszClassName, L"SOAKLEAKER", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, instance, nullptr))
        return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}
