#include "ViewerFixture.h"

#include <string>

using namespace devtest;

namespace viewertest {

namespace {

std::vector<ClickCall> g_clicks;

BOOL WINAPI RecordClick(LPCWSTR pszSound, HMODULE hmod, DWORD fdwSound)
{
    g_clicks.push_back({reinterpret_cast<UINT_PTR>(pszSound), hmod, fdwSound});
    return TRUE;
}

// Points this executable's import of PlaySoundW at the recorder, for the executable's life.
bool InstallClickSpy()
{
    static devtest::ImportPatches patch;
    static bool installed = patch.Replace("winmm.dll", "PlaySoundW", reinterpret_cast<void*>(&RecordClick)) != nullptr;
    return installed;
}

struct Place {
    int code;
    int x, y, w, h;   // the part of the element compared (rows: the margin left of the name)
    UINT bitmap;
};

const Place kPlaces[] = {
    {0, 420, 179, 8, 33, IDB_LIST_ROW},         {1, 420, 220, 8, 33, IDB_LIST_ROW},
    {2, 420, 261, 8, 33, IDB_LIST_ROW},         {3, 420, 302, 8, 33, IDB_LIST_ROW},
    {4, 420, 343, 8, 33, IDB_LIST_ROW},         {5, 420, 384, 8, 33, IDB_LIST_ROW},
    {ELEM_CLOSE_MAIN, 558, 429, 79, 47, IDB_CLOSE_MAIN},
    {ELEM_CHANNEL_UP_ARROW, 431, 187, 62, 53, IDB_ARROW_UP},
    {ELEM_CHANNEL_DOWN_ARROW, 431, 271, 62, 53, IDB_ARROW_DOWN},
    {ELEM_MUTE, 504, 236, 42, 42, IDB_MUTE},
    {ELEM_SEARCH, 423, 419, 100, 41, IDB_SEARCH},
    {ELEM_DLS, 527, 374, 100, 41, IDB_DLS},
    {ELEM_SCROLL_UP, 591, 182, 36, 48, IDB_LIST_SCROLL_UP},
};

struct Spot {
    int code;
    POINT p;
};

const Spot kSpots[] = {
    {ELEM_SETTINGS, {580, 91}},    {ELEM_PIP, {25, 391}},          {ELEM_MAIN_MENU, {470, 91}},
    {ELEM_TV_LIST, {470, 141}},    {ELEM_RADIO_LIST, {580, 141}},  {ELEM_CLOSE_MAIN, {597, 452}},
    {ELEM_CLOSE_LIST, {597, 452}}, {ELEM_CHANNEL_UP_ARROW, {462, 213}},  {ELEM_CHANNEL_DOWN_ARROW, {462, 297}},
    {ELEM_VOLUME_UP, {589, 213}},  {ELEM_VOLUME_DOWN, {589, 297}}, {ELEM_MUTE, {525, 257}},
    {ELEM_BAND, {473, 394}},       {ELEM_DLS, {577, 394}},         {ELEM_SEARCH, {473, 439}},
    {ELEM_SCROLL_UP, {609, 211}},  {ELEM_SCROLL_DOWN, {609, 386}},
};

}  // namespace

const std::vector<ClickCall>& Clicks() { return g_clicks; }
void ClearClicks() { g_clicks.clear(); }

POINT At(int code)
{
    if (code >= 0 && code <= 5) return {500, 195 + 41 * code};
    for (const Spot& s : kSpots)
        if (s.code == code) return s.p;
    ADD_FAILURE() << "no spot for element " << code;
    return kOutside;
}

bool RectIs(const RECT& rc, LONG l, LONG t, LONG r, LONG b)
{
    return rc.left == l && rc.top == t && rc.right == r && rc.bottom == b;
}

void ViewerTest::SetUp()
{
    ASSERT_TRUE(InstallClickSpy());
    SetCurrentDirectoryW(L"C:\\");
    ReleaseVideoObjects();
    ddsim::Reset();
    m_host = std::make_unique<HostWindow>();
    ClearClicks();
    m_clock = std::make_unique<FakeTimers>();
}

void ViewerTest::TearDown()
{
    ReleaseVideoObjects();
    m_dlg.reset();
    m_host.reset();
    ddsim::Reset();
    m_clock.reset();
}

void ViewerTest::Start(int nTv, int nRadio)
{
    std::vector<std::string> tv, radio;
    for (int i = 1; i <= nTv; ++i) tv.push_back("TV " + std::to_string(i));
    for (int i = 1; i <= nRadio; ++i) radio.push_back("FM " + std::to_string(i));
    ASSERT_TRUE(WriteChannelFile(static_cast<uint8_t>(nTv), static_cast<uint8_t>(nRadio), tv, radio));
    m_dlg = std::make_unique<CTvScreenDlg>();
    ASSERT_TRUE(m_dlg->Create(IDD_MAIN_DIALOG));
    ASSERT_EQ(m_dlg->m_nTvCount, nTv);
}

void ViewerTest::Free()
{
    for (UINT_PTR id : {TIMER_RELOAD_1, TIMER_RELOAD_2, TIMER_WATCHDOG, TIMER_SETTLING, TIMER_RELEASE, TIMER_SWITCHED})
        KillTimer(Hwnd(), id);
    m_dlg->m_bBusy = 0;
    m_dlg->m_bSettling = 0;
    m_dlg->m_nTapCount = 0;
}

void ViewerTest::Enter(int nMode)
{
    m_dlg->m_nViewMode = nMode;
    m_dlg->m_nLastViewMode = nMode;
    SwitchOverlayMode(m_dlg.get(), nMode);
    Free();
    InvalidateRect(Hwnd(), nullptr, TRUE);
    UpdateWindow(Hwnd());
    m_host->Clear();
    ClearClicks();
}

long long ViewerTest::MsUntilFree(ULONGLONG limitMs)
{
    return m_clock->AdvanceUntil([&] { return m_dlg->m_bBusy == 0; }, limitMs);
}

Image ViewerTest::WindowPixels(int x, int y, int w, int h)
{
    Image img;
    HDC wdc = GetDC(Hwnd());
    HDC mem = CreateCompatibleDC(wdc);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(wdc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    if (bits && BitBlt(mem, 0, 0, w, h, wdc, x, y, SRCCOPY)) {
        GdiFlush();
        img.width = w;
        img.height = h;
        const auto* px = static_cast<const uint32_t*>(bits);
        img.pixels.assign(px, px + static_cast<size_t>(w) * h);
        for (uint32_t& p : img.pixels) p &= 0xFFFFFF;
    }
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(Hwnd(), wdc);
    return img;
}

bool ViewerTest::Shows(int code, int state)
{
    for (const Place& p : kPlaces) {
        if (p.code != code) continue;
        HBITMAP bmp = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(p.bitmap));
        Image strip = FromBitmap(bmp);
        if (bmp) DeleteObject(bmp);
        Image want = Crop(strip, 0, p.h * state, p.w, p.h);
        Image other = Crop(strip, 0, p.h * (1 - state), p.w, p.h);
        // A comparison means something only where the two states differ.
        EXPECT_GT(CountDifferent(want, other), 0) << "element " << code;
        return !want.Empty() && CountDifferent(WindowPixels(p.x, p.y, p.w, p.h), want) == 0;
    }
    ADD_FAILURE() << "no place for element " << code;
    return false;
}

std::wstring ViewerTest::DlsText()
{
    wchar_t buf[512] = {};
    int n = GetWindowTextW(GetDlgItem(Hwnd(), IDC_DLS_EDIT), buf, 512);
    return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

RECT ViewerTest::WindowRect()
{
    RECT rc;
    GetWindowRect(Hwnd(), &rc);
    return rc;
}

RECT ViewerTest::DlsRect()
{
    RECT rc;
    GetWindowRect(GetDlgItem(Hwnd(), IDC_DLS_EDIT), &rc);
    MapWindowPoints(nullptr, Hwnd(), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

std::vector<ddsim::Call> ViewerTest::CallsSince(size_t from)
{
    std::vector<ddsim::Call> all = ddsim::Log(), out;
    for (size_t i = from; i < all.size(); ++i)
        if (all[i].name != "WindowPos") out.push_back(all[i]);
    return out;
}

}  // namespace viewertest
