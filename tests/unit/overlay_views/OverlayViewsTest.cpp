// The views: where each puts the picture and the viewer window, what the switch leaves behind
// (timers, flags), the small operations around it, and a switch that fails.
#include "../overlay_common/OverlayFixture.h"

using namespace overlaytest;

namespace {

const HRESULT kFault = DDERR_INVALIDCAPS;
enum Dls { kUntouched, kCollapsed, kShown };

struct ViewCase {
    const char* name;
    int mode, pipPos, pipSide, dlsOn, listOpen, playing;
    RECT rc;
    int escape;
    int surfaceW, surfaceH, prescaleW, prescaleH;
    int winX, winY, winW, winH;
    Dls dls;
    int pipPosAfter, pipSideAfter;
    RECT picture;   // where the test picture is on the screen
};

void PrintTo(const ViewCase& c, std::ostream* os) { *os << c.name; }

const RECT kFrame = {0, 132, 320, 372}, kFull = {0, 0, 640, 480}, kFullDls = {0, 0, 640, 416};
const RECT kTop = {0, 0, 320, 240}, kBottom = {0, 240, 320, 480};

// clang-format off
const ViewCase kViews[] = {
    {"TvWindow",            1, 0, 1, 0, 0, 1, kFrame, 1045, 320, 372, 320, 240, 0, 0, 640, 480, kUntouched, 0, 2, {45, 132, 365, 372}},
    {"RadioWindow",         2, 3, 2, 1, 1, 2, kFrame, 1045, 320, 372, 320, 240, 0, 0, 640, 480, kUntouched, 3, 2, {45, 132, 365, 372}},
    {"TvFull",              3, 0, 1, 0, 0, 1, kFull, 1000, 640, 480, 640, 480, 0, 0, 640, 480, kCollapsed, 0, 2, kFull},
    {"TvFullDlsNoList",     3, 0, 2, 1, 0, 1, kFull, 1000, 640, 480, 640, 480, 0, 0, 640, 480, kCollapsed, 0, 2, kFull},
    {"TvFullDlsListRadio",  3, 0, 2, 1, 1, 2, kFullDls, 1000, 640, 480, 640, 416, 0, 0, 640, 480, kShown, 0, 2, kFullDls},
    {"TvFullDlsListTv",     3, 0, 2, 1, 1, 1, kFull, 1000, 640, 480, 640, 480, 0, 0, 640, 480, kCollapsed, 0, 2, kFull},
    {"TvFullListRadioNoDls",3, 0, 2, 0, 1, 2, kFull, 1000, 640, 480, 640, 480, 0, 0, 640, 480, kCollapsed, 0, 2, kFull},
    {"RadioFull",           4, 0, 1, 0, 0, 1, kFull, 1000, 640, 480, 640, 480, 0, 0, 640, 480, kCollapsed, 0, 2, kFull},
    {"RadioFullDls",        4, 0, 2, 1, 0, 1, kFullDls, 1000, 640, 480, 640, 416, 0, 0, 640, 480, kShown, 0, 2, kFullDls},
    {"RadioFullDlsListTv",  4, 0, 2, 1, 1, 1, kFull, 1000, 640, 480, 640, 480, 0, 0, 640, 480, kCollapsed, 0, 2, kFull},
    {"RadioFullDlsListRad", 4, 0, 2, 1, 1, 2, kFullDls, 1000, 640, 480, 640, 416, 0, 0, 640, 480, kShown, 0, 2, kFullDls},
    {"PipTopLeft",          6, 0, 2, 1, 0, 1, kTop, 1000, 320, 240, 320, 240, 0, 0, 320, 240, kCollapsed, 0, 2, {0, 0, 320, 240}},
    {"PipTopRight",         6, 1, 2, 0, 0, 1, kTop, 1320, 320, 240, 320, 240, 320, 0, 320, 240, kCollapsed, 1, 2, {320, 0, 640, 240}},
    {"PipBottomRight",      6, 2, 2, 0, 0, 1, kBottom, 1320, 320, 480, 320, 240, 320, 240, 320, 240, kCollapsed, 2, 2, {320, 240, 640, 480}},
    {"PipBottomLeft",       6, 3, 2, 0, 0, 1, kBottom, 1000, 320, 480, 320, 240, 0, 240, 320, 240, kCollapsed, 3, 2, {0, 240, 320, 480}},
    {"RadioPipTopRight",    7, 1, 2, 0, 0, 1, kTop, 1320, 320, 240, 320, 240, 320, 0, 320, 240, kCollapsed, 1, 2, {320, 0, 640, 240}},
    {"RadioPipBottomLeft",  7, 3, 2, 1, 0, 1, kBottom, 1000, 320, 480, 320, 240, 0, 240, 320, 240, kCollapsed, 3, 2, {0, 240, 320, 480}},
    {"LeftPipTopLeft",      6, 0, 1, 0, 0, 1, kTop, 1000, 320, 240, 320, 240, 0, 0, 320, 240, kCollapsed, 0, 1, {0, 0, 320, 240}},
    {"LeftPipFromTopRight", 6, 1, 1, 0, 0, 1, kTop, 1000, 320, 240, 320, 240, 0, 0, 320, 240, kCollapsed, 0, 1, {0, 0, 320, 240}},
    {"LeftPipFromBotRight", 7, 2, 1, 0, 0, 1, kBottom, 1000, 320, 480, 320, 240, 0, 240, 320, 240, kCollapsed, 3, 1, {0, 240, 320, 480}},
    {"LeftPipBottomLeft",   7, 3, 1, 0, 0, 1, kBottom, 1000, 320, 480, 320, 240, 0, 240, 320, 240, kCollapsed, 3, 1, {0, 240, 320, 480}},
    {"PipQuadrantFour",     6, 4, 2, 0, 0, 1, kTop, 1000, 320, 240, 320, 240, 0, 0, 320, 240, kCollapsed, 0, 2, {0, 0, 320, 240}},
    {"PipQuadrantMinusOne", 7, -1, 2, 0, 0, 1, kTop, 1000, 320, 240, 320, 240, 0, 0, 320, 240, kCollapsed, 0, 2, {0, 0, 320, 240}},
};
// clang-format on

std::string Text(const RECT& rc) { return RectText(rc.left, rc.top, rc.right, rc.bottom); }

class OverlayView : public OverlayTest, public ::testing::WithParamInterface<ViewCase> {
protected:
    void Arrange(const ViewCase& c)
    {
        Dlg().m_nPipPos = c.pipPos;
        Dlg().m_nPipSide = c.pipSide;
        Dlg().m_bDlsOn = c.dlsOn;
        Dlg().m_bListOpen = c.listOpen;
        Dlg().m_nPlayingMode = c.playing;
        Dlg().m_nTapCount = 3;
        // A recognisable place, to tell an untouched DLS line from a moved one.
        SetWindowPos(GetDlgItem(Hwnd(), 1001), nullptr, 10, 20, 30, 12, SWP_NOZORDER);
    }
};

TEST_P(OverlayView, PlacesPictureAndWindowAndArmsTheTimers)
{
    const ViewCase& c = GetParam();
    Arrange(c);
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), c.mode), DD_OK);

    EXPECT_EQ(Text(g_rcOverlay), Text(c.rc));
    ddsim::Call esc = Last("ExtEscape");
    EXPECT_EQ(esc.Num("escape"), 16900);
    EXPECT_EQ(esc.Num("code"), c.escape);
    EXPECT_EQ(esc.Arg("in"), "null");
    EXPECT_EQ(esc.Num("outSize"), 0);
    EXPECT_EQ(esc.Arg("dc"), "window");
    ddsim::Call surface = Last("CreateSurface");
    EXPECT_EQ(surface.Num("width"), c.surfaceW);
    EXPECT_EQ(surface.Num("height"), c.surfaceH);
    ddsim::Call start = Last("StartVideo");
    EXPECT_EQ(start.Num("prescaleWidth"), c.prescaleW);
    EXPECT_EQ(start.Num("prescaleHeight"), c.prescaleH);
    EXPECT_EQ(start.Arg("target"), surface.Arg("result"));
    ddsim::Call show = Last("UpdateOverlay");
    EXPECT_EQ(show.Arg("src"), Text(c.rc));
    EXPECT_EQ(show.Arg("dst"), Text(c.rc));
    EXPECT_EQ(show.Num("flags"), DDOVER_SHOW);
    EXPECT_EQ(show.Num("fx"), static_cast<long long>(sizeof(DDOVERLAYFX)));

    EXPECT_TRUE(SameRect(WindowRect(), c.winX, c.winY, c.winX + c.winW, c.winY + c.winH));
    EXPECT_TRUE(Visible());
    EXPECT_TRUE(Topmost());
    RECT dls = DlsRect();
    if (c.dls == kShown) EXPECT_TRUE(SameRect(dls, 0, 416, 640, 480)) << Text(dls);
    if (c.dls == kCollapsed) EXPECT_TRUE(SameRect(dls, 0, 0, 0, 0)) << Text(dls);
    if (c.dls == kUntouched) EXPECT_TRUE(SameRect(dls, 10, 20, 40, 32)) << Text(dls);

    const bool windowed = c.mode == VIEW_TV_WINDOW || c.mode == VIEW_RADIO_WINDOW;
    EXPECT_TRUE(TakeTimer(TIMER_SWITCHED));
    EXPECT_EQ(TakeTimer(TIMER_SETTLING), windowed);
    EXPECT_EQ(Dlg().m_bSettling, windowed ? 1 : 0);
    EXPECT_EQ(Dlg().m_nPipSide, c.pipSideAfter);
    EXPECT_EQ(Dlg().m_nPipPos, c.pipPosAfter);
    EXPECT_EQ(Dlg().m_nTapCount, 0);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_HIDDEN);   // the caller's business

    ddsim::Display d = ddsim::GetDisplay();
    EXPECT_TRUE(d.overlayShown);
    EXPECT_TRUE(d.portRunning);
    EXPECT_EQ(Text(d.screen), Text(c.picture));
    ddsim::Live live = ddsim::LiveObjects();
    EXPECT_EQ(live.overlays, 1);
    EXPECT_EQ(live.videoPorts, 1);
    EXPECT_EQ(ddsim::DeadCalls(), 0);
}

TEST_P(OverlayView, WindowIsSizedWhileHiddenThenShownUnresized)
{
    const ViewCase& c = GetParam();
    Arrange(c);
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), c.mode), DD_OK);
    std::vector<ddsim::Call> main;
    for (const ddsim::Call& call : ddsim::Calls("WindowPos"))
        if (call.Arg("window") == "main") main.push_back(call);
    ASSERT_GE(main.size(), 2u);
    const ddsim::Call& sized = main[main.size() - 2];
    const ddsim::Call& shown = main.back();
    EXPECT_EQ(sized.Num("visible"), 0);
    EXPECT_EQ(sized.Num("cx"), c.winW);
    EXPECT_EQ(sized.Num("cy"), c.winH);
    EXPECT_EQ(shown.Num("visible"), 1);
    EXPECT_EQ(shown.Num("topmost"), 1);
    EXPECT_NE(shown.Num("flags") & SWP_NOSIZE, 0);
    // The picture is shown only once the window stands where it belongs.
    EXPECT_GT(Last("UpdateOverlay").seq, shown.seq);
}

INSTANTIATE_TEST_SUITE_P(EveryView, OverlayView, ::testing::ValuesIn(kViews),
                         [](const ::testing::TestParamInfo<ViewCase>& info) { return std::string(info.param.name); });

class OverlaySwitch : public OverlayTest {};

TEST_F(OverlaySwitch, RunsTheWholeCycleWithItsWaits)
{
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_FULL), DD_OK);
    ddsim::ClearLog();
    const DWORD before = GetTickCount();
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_PIP), DD_OK);
    const DWORD elapsed = GetTickCount() - before;
    std::vector<std::string> steps;
    for (const ddsim::Call& c : ddsim::Log()) {
        if (c.name == "WindowPos") continue;
        steps.push_back(c.name + (c.name == "Release" ? " " + c.object.substr(0, c.object.find('#')) : ""));
    }
    const std::vector<std::string> expected = {"StopVideo",  "UpdateOverlay",    "Release Overlay", "ExtEscape",
                                               "CreateSurface", "SetTargetSurface", "StartVideo",   "UpdateOverlay"};
    EXPECT_EQ(steps, expected);
    EXPECT_GE(ddsim::Calls("StopVideo").front().ms - before, 80u);   // a wait before anything (tick granularity allowed)
    EXPECT_GE(elapsed, 180u);                  // and one after showing a PIP
    EXPECT_EQ(ddsim::Calls("UpdateOverlay").front().Num("flags"), DDOVER_HIDE);
}

TEST_F(OverlaySwitch, EveryViewFollowsEveryOtherWithOneChainAlive)
{
    const int order[] = {1, 6, 3, 5, 4, 7, 2, 5, 5, 3, 1, 4, 6, 2};
    for (int mode : order) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(SwitchOverlayMode(&Dlg(), mode), DD_OK);
        ddsim::Live live = ddsim::LiveObjects();
        EXPECT_EQ(live.directDraw, 1);
        EXPECT_EQ(live.primary, 1);
        EXPECT_EQ(live.overlays, 1);
        EXPECT_EQ(live.videoPorts, 1);
        EXPECT_EQ(ddsim::GetDisplay().overlayShown, mode != VIEW_HIDDEN);
        EXPECT_EQ(Visible(), mode != VIEW_HIDDEN);
    }
    EXPECT_EQ(ddsim::DeadCalls(), 0);
    EXPECT_EQ(ddsim::Count("DirectDrawCreate"), 0);
}

TEST_F(OverlaySwitch, HiddenViewStopsTheportHidesEverythingAndKeepsThePrescale)
{
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_RADIO_FULL), DD_OK);
    ASSERT_TRUE(TakeTimer(TIMER_SWITCHED));
    Dlg().m_nTapCount = 2;
    SetWindowPos(GetDlgItem(Hwnd(), 1001), nullptr, 0, 416, 640, 64, SWP_NOZORDER);
    const int starts = ddsim::Count("StartVideo");
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), VIEW_HIDDEN), DD_OK);
    EXPECT_EQ(ddsim::Count("StartVideo"), starts);
    EXPECT_EQ(Text(g_rcOverlay), Text(kTop));
    EXPECT_EQ(Last("ExtEscape").Num("code"), 1000);
    EXPECT_EQ(Last("CreateSurface").Num("width"), 320);
    EXPECT_EQ(Last("CreateSurface").Num("height"), 240);
    EXPECT_EQ(Last("UpdateOverlay").Num("flags"), DDOVER_HIDE);
    EXPECT_EQ(g_vpInfo.dwPrescaleWidth, 640u);
    EXPECT_EQ(g_vpInfo.dwPrescaleHeight, 480u);
    ddsim::Display d = ddsim::GetDisplay();
    EXPECT_FALSE(d.overlayShown);
    EXPECT_FALSE(d.portRunning);
    EXPECT_FALSE(Visible());
    EXPECT_TRUE(SameRect(WindowRect(), 0, 0, 0, 0));
    EXPECT_TRUE(Topmost());
    EXPECT_TRUE(SameRect(DlsRect(), 0, 0, 0, 0));
    EXPECT_TRUE(TakeTimer(TIMER_SWITCHED));
    EXPECT_FALSE(TakeTimer(TIMER_SETTLING));
    EXPECT_EQ(Dlg().m_nTapCount, 0);
    // The port targets the new surface, ready for the next view.
    EXPECT_EQ(Last("SetTargetSurface").Arg("surface"), Last("CreateSurface").Arg("result"));
}

TEST_F(OverlaySwitch, HiddenViewReturnsTheResultOfItsHidingUpdateWithoutReport)
{
    ddsim::Fail("UpdateOverlay", 2, DDERR_SURFACELOST);   // 1: hiding the old surface, 2: the view's hide
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), VIEW_HIDDEN), DDERR_SURFACELOST);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_FALSE(EngineEmpty());
    EXPECT_TRUE(TakeTimer(TIMER_SWITCHED));
}

TEST_F(OverlaySwitch, TimersArriveAfterTheirIntervals)
{
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_WINDOW), DD_OK);
    const DWORD start = GetTickCount();   // both were armed just before the switch returned
    DWORD at80 = 0, at30 = 0;
    // Taken off the queue here, before the viewer's own handler could consume them.
    while ((!at80 || !at30) && GetTickCount() - start < 5000) {
        MSG msg;
        while (PeekMessageW(&msg, Hwnd(), WM_TIMER, WM_TIMER, PM_REMOVE)) {
            if (msg.wParam == TIMER_SWITCHED && !at80) at80 = GetTickCount() - start;
            if (msg.wParam == TIMER_SETTLING && !at30) at30 = GetTickCount() - start;
        }
        Sleep(5);
    }
    KillTimer(Hwnd(), TIMER_SWITCHED);
    KillTimer(Hwnd(), TIMER_SETTLING);
    EXPECT_GE(at80, 150u);
    EXPECT_LE(at80, 1200u);
    EXPECT_GE(at30, 1850u);
    EXPECT_LE(at30, 3500u);
}

TEST_F(OverlaySwitch, ModesOutsideTheSevenViewsAreIgnored)
{
    g_hrLast = DDERR_SURFACELOST;
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), 0), DDERR_SURFACELOST);
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), 8), DDERR_SURFACELOST);
    EXPECT_TRUE(ddsim::Log().empty());
    EXPECT_FALSE(TakeTimer(TIMER_SWITCHED));
}

TEST_F(OverlaySwitch, FailedSurfaceInASwitchRebuildsAndTheViewStillShows)
{
    ddsim::Fail("CreateSurface", 1, DDERR_OUTOFVIDEOMEMORY);
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_WINDOW), DD_OK);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(ddsim::Count("DirectDrawCreate"), 1);
    ddsim::Live live = ddsim::LiveObjects();
    EXPECT_EQ(live.directDraw, 1);
    EXPECT_EQ(live.primary, 1);
    EXPECT_EQ(live.overlays, 1);
    EXPECT_EQ(live.videoPorts, 1);
    EXPECT_EQ(Last("CreateSurface").Num("height"), 372);
    ddsim::Display d = ddsim::GetDisplay();
    EXPECT_TRUE(d.overlayShown);
    EXPECT_TRUE(d.portRunning);
    EXPECT_EQ(ddsim::DeadCalls(), 0);
}

// ---- the small operations -----------------------------------------------------------------

class OverlayOps : public OverlayTest {};

TEST_F(OverlayOps, NextPipPositionWalksTheQuadrants)
{
    Dlg().m_nViewMode = VIEW_RADIO_PIP;
    const int expectedX[] = {320, 320, 0, 0};
    const int expectedY[] = {0, 240, 240, 0};
    const int expectedPos[] = {1, 2, 3, 0};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        NextPipPosition(&Dlg());
        EXPECT_EQ(Dlg().m_nPipPos, expectedPos[i]);
        RECT rc = WindowRect();
        EXPECT_EQ(rc.left, expectedX[i]);
        EXPECT_EQ(rc.top, expectedY[i]);
        EXPECT_EQ(ddsim::GetDisplay().screen.left, expectedX[i]);
    }
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_RADIO_PIP);
}

TEST_F(OverlayOps, NextPipPositionOnTheLeftHalfOnly)
{
    Dlg().m_nPipSide = 1;
    Dlg().m_nPipPos = 0;
    NextPipPosition(&Dlg());   // 1 folds back onto 0
    EXPECT_EQ(Dlg().m_nPipPos, 0);
    EXPECT_EQ(WindowRect().left, 0);
    Dlg().m_nPipPos = 3;
    NextPipPosition(&Dlg());
    EXPECT_EQ(Dlg().m_nPipPos, 0);
    EXPECT_EQ(WindowRect().top, 0);
}

TEST_F(OverlayOps, SearchHidesThePictureButKeepsThePortAndTellsTheHost)
{
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_WINDOW), DD_OK);
    devtest::HostWindow host;
    Dlg().m_nSearchProgress = 13;
    const int surfaces = ddsim::Count("CreateSurface");
    HideOverlayForSearch(&Dlg());
    EXPECT_EQ(host.Count(SK_VIEW_REQUEST, VIEWREQ_SEARCH), 1);
    EXPECT_EQ(Dlg().m_nSearchProgress, 0);
    ddsim::Display d = ddsim::GetDisplay();
    EXPECT_FALSE(d.overlayShown);
    EXPECT_EQ(ddsim::Count("StopVideo"), 1);   // only the switch's
    EXPECT_EQ(ddsim::Count("CreateSurface"), surfaces);
    EXPECT_EQ(Last("UpdateOverlay").Num("flags"), DDOVER_HIDE);
    // The host's answer shows the picture again without restarting anything.
    ShowWindowedOverlay();
    EXPECT_EQ(g_hrLast, DD_OK);
    d = ddsim::GetDisplay();
    EXPECT_TRUE(d.overlayShown);
    EXPECT_TRUE(d.portRunning);
}

TEST_F(OverlayOps, ShowWindowedOverlayUsesTheFrameRectangleWithoutEscapeOrRestart)
{
    Dlg().m_nPipPos = 2;
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_PIP), DD_OK);   // surface 320 x 480
    const int escapes = ddsim::Count("ExtEscape"), starts = ddsim::Count("StartVideo");
    ShowWindowedOverlay();
    EXPECT_EQ(g_hrLast, DD_OK);
    EXPECT_EQ(Text(g_rcOverlay), Text(kFrame));
    ddsim::Call show = Last("UpdateOverlay");
    EXPECT_EQ(show.Arg("src"), Text(kFrame));
    EXPECT_EQ(show.Arg("dst"), Text(kFrame));
    EXPECT_EQ(show.Num("flags"), DDOVER_SHOW);
    EXPECT_EQ(ddsim::Count("ExtEscape"), escapes);
    EXPECT_EQ(ddsim::Count("StartVideo"), starts);
    EXPECT_EQ(ddsim::GetDisplay().screen.left, 320);   // the last escape still places it
}

TEST_F(OverlayOps, ShowWindowedOverlayOnASmallSurfaceOnlyLandsInTheResult)
{
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_PIP), DD_OK);   // quadrant 0: 320 x 240
    BoxWatcher& boxes = Boxes();
    ShowWindowedOverlay();
    EXPECT_EQ(g_hrLast, DDERR_INVALIDRECT);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_FALSE(EngineEmpty());
    EXPECT_EQ(Text(ddsim::GetDisplay().dst), Text(kTop));   // the PIP picture stays
}

TEST_F(OverlayOps, StopVideoPortFreezesThePictureAndLeavesTheResultAlone)
{
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_FULL), DD_OK);
    g_hrLast = DDERR_SURFACELOST;
    StopVideoPort();
    EXPECT_EQ(g_hrLast, DDERR_SURFACELOST);
    ddsim::Display d = ddsim::GetDisplay();
    EXPECT_TRUE(d.overlayShown);
    EXPECT_FALSE(d.portRunning);
    const unsigned frame = d.frame;
    Sleep(150);
    EXPECT_EQ(ddsim::GetDisplay().frame, frame);
    // A failing stop is not reported either; the next switch starts the port again.
    ddsim::Fail("StopVideo", ddsim::Count("StopVideo") + 1, kFault);
    BoxWatcher& boxes = Boxes();
    StopVideoPort();
    EXPECT_TRUE(boxes.Texts().empty());
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_FULL), DD_OK);
    EXPECT_TRUE(ddsim::GetDisplay().portRunning);
}

TEST_F(OverlayOps, HideOverlayResultGoesToTheLastResultOnly)
{
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_WINDOW), DD_OK);
    ddsim::Fail("UpdateOverlay", ddsim::Count("UpdateOverlay") + 1, DDERR_SURFACELOST);
    BoxWatcher& boxes = Boxes();
    HideOverlay();
    EXPECT_EQ(g_hrLast, DDERR_SURFACELOST);
    EXPECT_TRUE(boxes.Texts().empty());
    HideOverlay();
    EXPECT_EQ(g_hrLast, DD_OK);
    EXPECT_FALSE(ddsim::GetDisplay().overlayShown);
}

// ---- a switch that fails ------------------------------------------------------------------

struct SwitchFailure {
    const char* name;
    int mode;
    const char* call;
    int nth;   // counted from the Prepared engine
    const wchar_t* message;
};

void PrintTo(const SwitchFailure& f, std::ostream* os) { *os << f.name; }

class OverlaySwitchFailure : public OverlayTest, public ::testing::WithParamInterface<SwitchFailure> {};

TEST_P(OverlaySwitchFailure, ReportsOnceLeavesNoTimerAndAnEmptyEngine)
{
    const SwitchFailure& f = GetParam();
    Dlg().m_nTapCount = 3;
    ddsim::Fail(f.call, f.nth, kFault);
    DebugOutput debug;
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), f.mode), kFault);
    auto seen = boxes.Boxes();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, Report(f.message));
    EXPECT_EQ(seen[0].liveObjects, 0);
    EXPECT_EQ(debug.Lines(), std::vector<std::wstring>{Report(f.message)});
    EXPECT_TRUE(EngineEmpty());
    EXPECT_EQ(ddsim::LiveObjects().total(), 0);
    EXPECT_FALSE(ddsim::GetDisplay().overlayShown);
    EXPECT_FALSE(TakeTimer(TIMER_SWITCHED));
    EXPECT_FALSE(TakeTimer(TIMER_SETTLING));
    EXPECT_EQ(Dlg().m_bSettling, 0);
    EXPECT_EQ(Dlg().m_nTapCount, 3);
    EXPECT_EQ(ddsim::DeadCalls(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryReport, OverlaySwitchFailure,
    ::testing::Values(
        SwitchFailure{"StopVideo", 1, "StopVideo", 1, L"StopVideo FAILED 1"},
        SwitchFailure{"TargetWindowed", 2, "SetTargetSurface", 1, L"SetTargetSurface FAILED 1"},
        SwitchFailure{"TargetHidden", 5, "SetTargetSurface", 1, L"SetTargetSurface FAILED 1"},
        SwitchFailure{"StartTvWindow", 1, "StartVideo", 1, L"SetTargetSurface FAILED 1"},
        SwitchFailure{"StartRadioWindow", 2, "StartVideo", 1, L"SetTargetSurface FAILED 1"},
        SwitchFailure{"StartTvPip", 6, "StartVideo", 1, L"SetTargetSurface FAILED 2"},
        SwitchFailure{"StartRadioPip", 7, "StartVideo", 1, L"SetTargetSurface FAILED 2"},
        SwitchFailure{"StartTvFull", 3, "StartVideo", 1, L"SetTargetSurface FAILED 3"},
        SwitchFailure{"StartRadioFull", 4, "StartVideo", 1, L"SetTargetSurface FAILED 3"},
        // UpdateOverlay 1 hides the surface being replaced; 2 shows the new one.
        SwitchFailure{"ShowWindow", 1, "UpdateOverlay", 2, L"Unable to show overlay surface - UpdateOverlaySurface()"},
        SwitchFailure{"ShowPip", 7, "UpdateOverlay", 2, L"Unable to show overlay surface - UpdateOverlaySurface()"},
        SwitchFailure{"ShowFull", 4, "UpdateOverlay", 2, L"Unable to show overlay surface - UpdateOverlaySurface()"}),
    [](const ::testing::TestParamInfo<SwitchFailure>& info) { return std::string(info.param.name); });

TEST_F(OverlaySwitch, RebuildInsideASwitchReportsItsOwnMessages)
{
    ddsim::Fail("CreateSurface", 1, DDERR_OUTOFVIDEOMEMORY);
    ddsim::Fail("DirectDrawCreate", 1, kFault);
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_FULL), kFault);
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{Report(L"DirectDrawCreate FAILED")});
    EXPECT_EQ(ddsim::LiveObjects().total(), 0);
}

}  // namespace
