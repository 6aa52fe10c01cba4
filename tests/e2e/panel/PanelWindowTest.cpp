// The panel's window: its template, full-screen placement, the host's "to the back" command
// and a second start.
#include "PanelHarness.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace devtest;
using namespace paneltest;

namespace {

// A plain window of one colour, so "in front" and "behind" can be seen on the screen.
class GreenWindow {
public:
    GreenWindow()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = CreateSolidBrush(RGB(0, 200, 0));
        wc.lpszClassName = L"PanelTestGreen";
        RegisterClassW(&wc);
        m_hwnd = CreateWindowExW(0, wc.lpszClassName, L"green", WS_POPUP | WS_VISIBLE, 100, 260, 200, 150, nullptr,
                                 nullptr, wc.hInstance, nullptr);
        PumpMessages();
    }
    ~GreenWindow() { DestroyWindow(m_hwnd); }
    // Through the topmost band and back, so the X server raises it as well.
    void TakeFront() const
    {
        SetWindowPos(m_hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetWindowPos(m_hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(m_hwnd);
    }
    HWND Hwnd() const { return m_hwnd; }
    static bool Seen() { return SameColor(ScreenPixel(150, 300), 0x00C800); }

private:
    HWND m_hwnd = nullptr;
};

int CountConfigWindows()
{
    int n = 0;
    for (HWND h : TopLevelWindows())
        if (Title(h) == L"CONFIG") ++n;
    return n;
}

TEST(PanelWindow, TemplateAsTheDeviceBuildsIt)
{
    HMODULE module = LoadLibraryExW(BinPath(L"PanelCfg.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(102), MAKEINTRESOURCEW(5));  // RT_DIALOG
    ASSERT_NE(res, nullptr);
    const auto* t = static_cast<const WORD*>(LockResource(LoadResource(module, res)));
    ASSERT_EQ(t[1], 0xFFFF);  // the extended form
    DWORD exStyle, style;
    memcpy(&exStyle, t + 4, 4);
    memcpy(&style, t + 6, 4);
    EXPECT_EQ(style, 0x90000040u);
    EXPECT_EQ(exStyle, 0x80040000u);
    EXPECT_EQ(t[8], 28);                      // controls
    EXPECT_EQ(t[11], 347);
    EXPECT_EQ(t[12], 241);
    EXPECT_EQ(t[13], 0);                      // no menu
    EXPECT_EQ(t[14], 0);                      // standard class
    EXPECT_EQ(t[15], 0);                      // no caption
    EXPECT_EQ(t[16], 18);                     // points
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(t + 19)), L"\uAD74\uB9BC\uCCB4");  // 굴림체
}

TEST(PanelWindow, ControlsAreHiddenButThreeSmallButtons)
{
    Panel panel({});
    ASSERT_TRUE(panel.Started());
    int children = 0, visible = 0;
    for (HWND h = GetWindow(panel.Hwnd(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) {
        ++children;
        if (IsShown(h)) {
            ++visible;
            EXPECT_GE(GetDlgCtrlID(h), 1000);
            EXPECT_LE(GetDlgCtrlID(h), 1002);
        }
    }
    EXPECT_EQ(children, 28);
    EXPECT_EQ(visible, 3);
    for (int id : {1009, 1012, 1019, 1013, 1024, 1027}) {
        LONG style = GetWindowLongW(GetDlgItem(panel.Hwnd(), id), GWL_STYLE);
        LONG exStyle = GetWindowLongW(GetDlgItem(panel.Hwnd(), id), GWL_EXSTYLE);
        EXPECT_EQ(style & (WS_DISABLED | ES_CENTER), WS_DISABLED | ES_CENTER) << id;
        EXPECT_TRUE((style & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE)) << id;  // edits turn the border 3-D
    }
}

TEST(PanelWindow, FullScreenSkinWithBlackBeyondAndDefaultsForAnEmptyStore)
{
    Panel panel({});
    ASSERT_TRUE(panel.Started());
    EXPECT_TRUE(SameRect(WindowRect(panel.Hwnd()), 0, 0, 640, 480));
    EXPECT_FALSE(IsTopmost(panel.Hwnd()));
    EXPECT_TRUE(SlotShows(kBrightY, BrightSlot(5)));
    EXPECT_TRUE(SlotShows(kFmY, FmSlot(875)));
    EXPECT_TRUE(SlotShows(kDimmerY, DimmerSlot(0)));
    const Image skin = PanelBitmap(175);
    ASSERT_EQ(skin.width, 480);
    ASSERT_EQ(skin.height, 234);
    EXPECT_EQ(CountDifferent(ScreenArea(0, 0, 480, 50), Part(skin, 0, 0, 480, 50)), 0);  // title and close
    EXPECT_EQ(CountDifferent(ScreenArea(0, 190, 480, 44), Part(skin, 0, 190, 480, 44)), 0);
    EXPECT_EQ(CountNot(ScreenArea(480, 0, 160, 480), 0x000000), 0);
    EXPECT_EQ(CountNot(ScreenArea(0, 234, 480, 246), 0x000000), 0);
}

// Behind the test window, the panel is checked in the window manager's order: the X server
// under Wine does not lower a window (it only raises), so the screen cannot show it.
TEST(PanelWindow, HostSendsItBackASecondStartBringsItFront)
{
    GreenWindow green;
    ASSERT_TRUE(PollUntil(GreenWindow::Seen));
    Panel panel({});
    ASSERT_TRUE(panel.Started());
    ASSERT_TRUE(PollUntil([] { return !GreenWindow::Seen(); }));
    EXPECT_TRUE(IsAbove(panel.Hwnd(), green.Hwnd()));

    panel.Host().Broadcast(45, 7);  // returns once every window has handled it
    EXPECT_TRUE(IsAbove(panel.Hwnd(), green.Hwnd()));

    for (int arg : {6, 5, 8}) {
        SCOPED_TRACE(arg);
        panel.Host().Broadcast(45, arg);
        EXPECT_TRUE(IsAbove(green.Hwnd(), panel.Hwnd()));
        EXPECT_TRUE(IsShown(panel.Hwnd()));
        EXPECT_TRUE(SameRect(WindowRect(panel.Hwnd()), 0, 0, 640, 480));
        EXPECT_TRUE(panel.Proc().Running());

        // Another program takes the front, as the host's own window would.
        green.TakeFront();
        ASSERT_TRUE(PollUntil([&] { return GetForegroundWindow() == green.Hwnd() && GreenWindow::Seen(); }));

        Process second = Start(L"PanelCfg.exe");
        ASSERT_TRUE(second.WaitExit()) << "a second panel must not run";
        EXPECT_TRUE(PollUntil([&] {
            return GetForegroundWindow() == panel.Hwnd() && IsAbove(panel.Hwnd(), green.Hwnd()) && !GreenWindow::Seen();
        }));
        EXPECT_EQ(CountConfigWindows(), 1);
    }
    EXPECT_TRUE(panel.Host().Messages().empty());
}

}  // namespace
