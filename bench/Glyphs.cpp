// The platform's own cost of text: a bare program that draws channel names as the viewer does
// (its font, ExtTextOutW into a window DC, names widened from the Korean code page). Asked by a
// sent WM_APP it draws 1,000 names: the same hundred again (wParam 0) or ever-new ones (1).
// The platform keeps every glyph it has drawn, so only new characters cost memory.
#include <windows.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

HDC g_dc = nullptr;
std::mt19937 g_rng(7);
std::vector<std::string> g_same;

std::string RandomName()
{
    std::string s(32, ' ');
    for (char& c : s) c = static_cast<char>(std::uniform_int_distribution<int>(1, 255)(g_rng));
    return s;
}

void Draw(const std::string& name)
{
    wchar_t wide[40] = {};
    const int n = MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), wide, 39);
    RECT rc = {430, 182, 583, 215};
    ExtTextOutW(g_dc, rc.left, rc.top, ETO_CLIPPED, &rc, wide, static_cast<UINT>(n > 0 ? n : 0), nullptr);
}

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_APP) {
        for (int i = 0; i < 1000; ++i) Draw(wp ? RandomName() : g_same[static_cast<size_t>(i) % g_same.size()]);
        GdiFlush();
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
    wc.lpszClassName = L"BenchGlyphs";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"BENCHGLYPHS", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, nullptr,
                                nullptr, instance, nullptr);
    if (!hwnd) return 1;
    g_dc = GetDC(hwnd);
    SelectObject(g_dc, CreateFontW(28, 0, 0, 0, 1000, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"굴림체"));
    SetBkMode(g_dc, TRANSPARENT);
    SetTextColor(g_dc, RGB(255, 255, 255));
    for (int i = 0; i < 100; ++i) g_same.push_back(RandomName());
    for (const std::string& s : g_same) Draw(s);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}
