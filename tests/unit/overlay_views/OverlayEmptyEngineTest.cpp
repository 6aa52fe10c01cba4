// After a failure report the engine holds nothing. No operation may touch a released object:
// the small operations do nothing, parking needs no hardware, and a visible view starts over.
#include "../overlay_common/OverlayFixture.h"

using namespace overlaytest;

namespace {

class OverlayEmptyEngine : public OverlayTest {
protected:
    // A PIP switch whose port will not start: reported, and the engine is empty.
    void FailASwitch()
    {
        ddsim::Fail("StartVideo", ddsim::Count("StartVideo") + 1, DDERR_INVALIDCAPS);
        BoxWatcher& boxes = Boxes();
        ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_RADIO_PIP), DDERR_INVALIDCAPS);
        ASSERT_EQ(boxes.Texts().size(), 1u);
        ASSERT_TRUE(EngineEmpty());
        ddsim::ClearLog();
    }
};

TEST_F(OverlayEmptyEngine, SmallOperationsTouchNoHardware)
{
    FailASwitch();
    devtest::HostWindow host;
    BoxWatcher& boxes = Boxes();
    Dlg().m_nSearchProgress = 7;
    g_hrLast = DDERR_SURFACELOST;
    HideOverlay();
    StopVideoPort();
    ShowWindowedOverlay();
    ReleaseVideoObjects();
    HideOverlayForSearch(&Dlg());
    EXPECT_TRUE(ddsim::Calls("UpdateOverlay").empty());
    EXPECT_TRUE(ddsim::Calls("StopVideo").empty());
    EXPECT_TRUE(ddsim::Calls("Release").empty());
    EXPECT_EQ(ddsim::DeadCalls(), 0);
    EXPECT_EQ(g_hrLast, DDERR_SURFACELOST);
    EXPECT_TRUE(boxes.Texts().empty());
    // The search itself still starts.
    EXPECT_EQ(host.Count(SK_VIEW_REQUEST, VIEWREQ_SEARCH), 1);
    EXPECT_EQ(Dlg().m_nSearchProgress, 0);
}

TEST_F(OverlayEmptyEngine, ParkingNeedsNoHardware)
{
    FailASwitch();
    SetWindowPos(Hwnd(), HWND_TOPMOST, 0, 0, 640, 480, SWP_SHOWWINDOW);
    SetWindowPos(GetDlgItem(Hwnd(), 1001), nullptr, 0, 416, 640, 64, SWP_NOZORDER);
    Dlg().m_nTapCount = 4;
    SwitchOverlayMode(&Dlg(), VIEW_HIDDEN);
    for (const ddsim::Call& c : ddsim::Log()) EXPECT_EQ(c.name, "WindowPos");
    EXPECT_FALSE(Visible());
    EXPECT_TRUE(SameRect(WindowRect(), 0, 0, 0, 0));
    EXPECT_TRUE(SameRect(DlsRect(), 0, 0, 0, 0));
    EXPECT_TRUE(TakeTimer(TIMER_SWITCHED));
    EXPECT_EQ(Dlg().m_nTapCount, 0);
    EXPECT_TRUE(EngineEmpty());
}

TEST_F(OverlayEmptyEngine, AVisibleViewStartsOverFromInitPlay)
{
    FailASwitch();
    BoxWatcher& boxes = Boxes();
    Dlg().m_bDlsOn = 1;
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), VIEW_RADIO_FULL), DD_OK);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(ddsim::Count("DirectDrawCreate"), 1);
    ddsim::Live live = ddsim::LiveObjects();
    EXPECT_EQ(live.directDraw, 1);
    EXPECT_EQ(live.primary, 1);
    EXPECT_EQ(live.overlays, 1);
    EXPECT_EQ(live.videoPorts, 1);
    ddsim::Display d = ddsim::GetDisplay();
    EXPECT_TRUE(d.portRunning);
    EXPECT_EQ(d.screen.bottom, 416);
    EXPECT_TRUE(SameRect(WindowRect(), 0, 0, 640, 480));
    EXPECT_TRUE(TakeTimer(TIMER_SWITCHED));
    EXPECT_EQ(ddsim::DeadCalls(), 0);
}

TEST_F(OverlayEmptyEngine, NextPipPositionStartsOverToo)
{
    FailASwitch();
    Dlg().m_nPipPos = 0;
    NextPipPosition(&Dlg());
    EXPECT_EQ(Dlg().m_nPipPos, 1);
    EXPECT_TRUE(ddsim::GetDisplay().portRunning);
    EXPECT_EQ(WindowRect().left, 320);
}

TEST_F(OverlayEmptyEngine, StartingOverCanFailAgainWithItsOwnReport)
{
    FailASwitch();
    ddsim::SetOverlaySupport(false);
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_WINDOW), 0);
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{Report(L"Overlays are not supported in hardware!")});
    EXPECT_TRUE(EngineEmpty());
    EXPECT_EQ(ddsim::LiveObjects().total(), 0);
    EXPECT_FALSE(TakeTimer(TIMER_SWITCHED));
    EXPECT_EQ(ddsim::DeadCalls(), 0);
}

TEST_F(OverlayEmptyEngine, BeforeAnyStartEveryOperationIsSafe)
{
    Fresh();
    BoxWatcher& boxes = Boxes();
    HideOverlay();
    StopVideoPort();
    ShowWindowedOverlay();
    ReleaseVideoObjects();
    EXPECT_TRUE(ddsim::Log().empty() || ddsim::Calls("WindowPos").size() == ddsim::Log().size());
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_PIP), DD_OK);
    EXPECT_TRUE(ddsim::GetDisplay().portRunning);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(ddsim::DeadCalls(), 0);
}

}  // namespace
