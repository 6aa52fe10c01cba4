// The host's view commands (code 16) and the viewer's own codes that come back to it: which
// view each command makes from each view it may find, and what it leaves alone.
#include "ViewerFixture.h"

#include <string>

using namespace devtest;
using namespace viewertest;

namespace {

class HostViews : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        Start(8, 8);
        Dlg().m_nPipPos = 0;
        Dlg().m_bDlsOn = 0;
    }

    struct Step {
        int from;   // view entered, and last announced view unless stated
        int to;
    };

    // Runs the command from each view and checks the view it makes.
    void Check(int arg, std::initializer_list<Step> steps)
    {
        for (const Step& s : steps) {
            Enter(s.from);
            Host(16, arg);
            EXPECT_EQ(Dlg().m_nViewMode, s.to) << "16/" << arg << " from " << s.from;
            EXPECT_EQ(Dlg().m_nLastViewMode, s.to) << "16/" << arg << " from " << s.from;
            EXPECT_EQ(ShownView(), s.to) << "16/" << arg << " from " << s.from;
        }
    }

    // The view the display and the window show now (0: none of the seven).
    int ShownView()
    {
        ddsim::Display d = ddsim::GetDisplay();
        RECT rc = WindowRect();
        if (!d.overlayShown) return IsWindowVisible(Hwnd()) && rc.right > rc.left ? 0 : VIEW_HIDDEN;
        const int band = Dlg().m_nViewMode == VIEW_RADIO_WINDOW || Dlg().m_nViewMode == VIEW_RADIO_FULL ||
                                 Dlg().m_nViewMode == VIEW_RADIO_PIP
                             ? 1
                             : 0;
        if (RectIs(d.dst, 0, 132, 320, 372) && RectIs(rc, 0, 0, 640, 480)) return VIEW_TV_WINDOW + band;
        if (RectIs(d.dst, 0, 0, 640, 480) && RectIs(rc, 0, 0, 640, 480)) return VIEW_TV_FULL + band;
        if (rc.right - rc.left == 320 && rc.bottom - rc.top == 240) return VIEW_TV_PIP + band;
        return 0;
    }

    size_t LogLength() { return ddsim::Log().size(); }
};

TEST_F(HostViews, FullScreenStartsFromTheLastAnnouncedView)
{
    for (int arg : {40, 41})
        Check(arg, {{1, 3}, {6, 3}, {2, 4}, {7, 4}, {3, 3}, {5, 5}});
    Enter(VIEW_TV_WINDOW);
    Dlg().m_nLastViewMode = VIEW_RADIO_PIP;
    Host(16, 40);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_RADIO_FULL);
}

TEST_F(HostViews, PipNowStartsFromTheCurrentView)
{
    Check(44, {{1, 6}, {3, 6}, {2, 7}, {4, 7}, {6, 6}, {5, 5}});
    Enter(VIEW_TV_FULL);
    Dlg().m_nLastViewMode = VIEW_RADIO_WINDOW;
    Host(16, 44);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_PIP);
}

TEST_F(HostViews, PipFromTheLastAnnouncedView)
{
    for (int arg : {50, 51})
        Check(arg, {{1, 6}, {3, 6}, {2, 7}, {4, 7}, {7, 7}});
    Enter(VIEW_TV_WINDOW);
    Dlg().m_nLastViewMode = VIEW_RADIO_FULL;
    Host(16, 50);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_RADIO_PIP);
}

TEST_F(HostViews, PipOnlyAfterTheLeftHalfRequest)
{
    Enter(VIEW_TV_FULL);
    size_t calls = LogLength();
    Host(16, 48);
    Host(102, 2);
    Host(16, 48);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_FULL);
    EXPECT_TRUE(CallsSince(calls).empty());

    Host(102, 1);
    EXPECT_EQ(Dlg().m_nPipRequest, 1);
    Host(16, 48);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_PIP);
    EXPECT_EQ(Dlg().m_nLastViewMode, VIEW_TV_PIP);
    EXPECT_EQ(Dlg().m_nPipRequest, 0);
    EXPECT_EQ(ShownView(), VIEW_TV_PIP);

    calls = LogLength();
    Host(16, 48);
    EXPECT_TRUE(CallsSince(calls).empty()) << "one request, one PIP";
}

TEST_F(HostViews, WindowFromFullScreenOrPip)
{
    Check(56, {{3, 1}, {6, 1}, {4, 2}, {7, 2}, {1, 1}});
}

TEST_F(HostViews, WindowWhileParkedStaysParked)
{
    Enter(VIEW_HIDDEN);
    Host(16, 56);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_HIDDEN);
    EXPECT_EQ(Dlg().m_nLastViewMode, VIEW_HIDDEN);
    EXPECT_TRUE(RectIs(WindowRect(), 0, 0, 0, 0));
    EXPECT_FALSE(IsWindowVisible(Hwnd()));
    EXPECT_FALSE(ddsim::GetDisplay().overlayShown);
}

TEST_F(HostViews, CloseParksTheWindowOnlyWhileParkParksTheOverlayToo)
{
    Enter(VIEW_TV_WINDOW);
    size_t calls = LogLength();
    Host(100, 26);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_HIDDEN);
    EXPECT_TRUE(RectIs(WindowRect(), 0, 0, 0, 0));
    EXPECT_TRUE(CallsSince(calls).empty()) << "the overlay is not touched";
    EXPECT_TRUE(ddsim::GetDisplay().overlayShown);
    EXPECT_TRUE(ddsim::GetDisplay().portRunning);

    Enter(VIEW_TV_WINDOW);
    Host(102, 1);
    calls = LogLength();
    Host(16, 46);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_HIDDEN);
    EXPECT_EQ(Dlg().m_nPipRequest, 0);
    EXPECT_FALSE(ddsim::GetDisplay().overlayShown);
    EXPECT_FALSE(ddsim::GetDisplay().portRunning);
    EXPECT_FALSE(CallsSince(calls).empty());
    EXPECT_TRUE(RectIs(WindowRect(), 0, 0, 0, 0));
}

TEST_F(HostViews, LeftHalfPipMovesOnlyARightHalfPicture)
{
    Dlg().m_nPipPos = 1;
    Enter(VIEW_TV_PIP);
    ASSERT_TRUE(RectIs(WindowRect(), 320, 0, 640, 240));
    Host(16, 52);
    EXPECT_EQ(Dlg().m_nPipSide, 1);
    EXPECT_EQ(Dlg().m_nPipPos, 0);
    EXPECT_TRUE(RectIs(WindowRect(), 0, 0, 320, 240));

    for (int pos : {3, 2}) {
        Dlg().m_nPipPos = pos;
        Enter(pos == 3 ? VIEW_RADIO_PIP : VIEW_TV_WINDOW);
        size_t calls = LogLength();
        Host(16, 52);
        EXPECT_TRUE(CallsSince(calls).empty()) << "quadrant " << pos;
    }
    Host(16, 53);
    EXPECT_EQ(Dlg().m_nPipSide, 2);
}

TEST_F(HostViews, ResumeOnlyAfterTheSettingsProgram)
{
    Enter(VIEW_RADIO_WINDOW);
    size_t calls = LogLength();
    Host(16, 90);
    EXPECT_TRUE(CallsSince(calls).empty());

    Dlg().LaunchSettings();
    ASSERT_FALSE(ddsim::GetDisplay().overlayShown);
    Host(16, 90);
    EXPECT_EQ(Dlg().m_nResumeAfterSettings, 0);
    EXPECT_EQ(ShownView(), VIEW_RADIO_WINDOW);
    calls = LogLength();
    Host(16, 90);
    EXPECT_TRUE(CallsSince(calls).empty());
}

TEST_F(HostViews, StopPortAndShowInFrameTouchOnlyTheOverlay)
{
    Enter(VIEW_TV_WINDOW);
    const int stops = ddsim::Count("StopVideo");
    Host(16, 47);
    EXPECT_EQ(ddsim::Count("StopVideo"), stops + 1);
    EXPECT_FALSE(ddsim::GetDisplay().portRunning);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_WINDOW);

    Dlg().ShowChangingNotice();
    ASSERT_FALSE(ddsim::GetDisplay().overlayShown);
    Host(16, 61);
    EXPECT_TRUE(ddsim::GetDisplay().overlayShown);
    EXPECT_TRUE(RectIs(ddsim::GetDisplay().dst, 0, 132, 320, 372));
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_WINDOW);
}

TEST_F(HostViews, UnknownCodesAndArgumentsChangeNothing)
{
    Enter(VIEW_TV_FULL);
    Dlg().m_nPipRequest = 2;
    Dlg().m_bBusy = 1;
    size_t calls = LogLength();
    for (auto m : Messages{{16, 0}, {16, 42}, {16, 99}, {102, 0}, {102, 3}, {80, 2}, {100, 25}, {14, 66}, {99, 1}})
        Host(m.first, m.second);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_FULL);
    EXPECT_EQ(Dlg().m_nPipRequest, 2);
    EXPECT_TRUE(CallsSince(calls).empty());
    EXPECT_EQ(MsUntilFree(), -1) << "nothing frees the lock";
}

TEST_F(HostViews, OtherMessagesStillReachTheBase)
{
    EXPECT_TRUE(SendMessageW(Hwnd(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"다른 제목")));
    wchar_t buf[32] = {};
    EXPECT_EQ(SendMessageW(Hwnd(), WM_GETTEXT, 32, reinterpret_cast<LPARAM>(buf)), 5);
    EXPECT_EQ(std::wstring(buf), L"다른 제목");
}

}  // namespace
