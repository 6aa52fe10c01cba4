// DarkPane as a real process: a black 480x234 window at the top-left corner that ends by itself.
#include <gtest/gtest.h>
#include "DeviceTest.h"

using namespace devtest;

namespace {

// A plain white full-screen window under DarkPane, so "untouched" has a colour to keep.
class WhiteBackdrop {
public:
    WhiteBackdrop()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = L"DarkPaneTestBackdrop";
        RegisterClassW(&wc);
        m_hwnd = CreateWindowExW(0, wc.lpszClassName, L"backdrop", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        UpdateWindow(m_hwnd);
        PumpMessages();
    }
    ~WhiteBackdrop() { DestroyWindow(m_hwnd); }
    HWND Hwnd() const { return m_hwnd; }

private:
    HWND m_hwnd = nullptr;
};

HWND WaitForPane(const Process& p)
{
    HWND found = nullptr;
    PollUntil([&] {
        for (HWND h : TopLevelWindows(p.Id()))
            if (IsShown(h)) { found = h; return true; }
        return false;
    }, kHangMs);
    return found;
}

bool AreaIsBlack()
{
    Image img = CaptureScreen(0, 0, 480, 234);
    return !img.Empty() && CountNot(img, 0x000000) == 0;
}

TEST(DarkPane, CoversOnlyTheTopLeft480x234InBlack)
{
    WhiteBackdrop backdrop;
    ASSERT_TRUE(PollUntil([] { return SameColor(ScreenPixel(100, 100), 0xFFFFFF); }, kHangMs));
    Process pane = Start(L"DarkPane.exe");
    HWND hwnd = WaitForPane(pane);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(SameRect(WindowRect(hwnd), 0, 0, 480, 234));
    EXPECT_FALSE(IsTopmost(hwnd));
    ASSERT_TRUE(PollUntil(AreaIsBlack, kHangMs));
    // Just outside the pane, on both sides, the backdrop stays white.
    Image right = CaptureScreen(480, 0, 160, 480);
    Image below = CaptureScreen(0, 234, 480, 246);
    EXPECT_EQ(CountNot(right, 0xFFFFFF), 0);
    EXPECT_EQ(CountNot(below, 0xFFFFFF), 0);
}

// When it ends is checked in-process, on a clock the test moves; here the real process ends with it.
TEST(DarkPane, EndsByItselfAndItsProcessWithIt)
{
    Process pane = Start(L"DarkPane.exe");
    HWND hwnd = WaitForPane(pane);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(WaitGone(hwnd, kHangMs));
    ASSERT_TRUE(pane.WaitExit(kHangMs)) << "the process must end with its dialog";
    EXPECT_EQ(pane.ExitCode(), 0u);
}

TEST(DarkPane, TwoStartsGiveTwoPanesEachEndingOnItsOwn)
{
    Process first = Start(L"DarkPane.exe");
    Process second = Start(L"DarkPane.exe");
    ASSERT_NE(WaitForPane(first), nullptr);
    ASSERT_NE(WaitForPane(second), nullptr);
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(second.Running());
    EXPECT_TRUE(first.WaitExit(kHangMs));
    EXPECT_TRUE(second.WaitExit(kHangMs));
}

} // namespace
