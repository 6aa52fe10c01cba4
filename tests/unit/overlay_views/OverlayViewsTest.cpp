// The views: where each puts the picture and the viewer window, what the switch leaves behind
// (timers, flags), the small operations around it, and a switch that fails.
#include "../overlay_common/OverlayFixture.h"

#include <algorithm>
#include <cstring>
#include <map>

using namespace overlaytest;

namespace {

const HRESULT kFault = DDERR_INVALIDCAPS;

struct ViewCase {
    const char* name;
    int mode, pipPos, pipSide, dlsOn, listOpen, playing;
    RECT rc;
    int escape;
    int surfaceW, surfaceH, prescaleW, prescaleH;
    int winX, winY, winW, winH;
    const char* dls;   // the DLS line's moves in order: h hidden, s shown; none: untouched
    int pipPosAfter, pipSideAfter;
    RECT picture;   // where the test picture is on the screen
};

void PrintTo(const ViewCase& c, std::ostream* os) { *os << c.name; }

const RECT kFrame = {0, 132, 320, 372}, kFull = {0, 0, 640, 480}, kFullDls = {0, 0, 640, 416};
const RECT kTop = {0, 0, 320, 240}, kBottom = {0, 240, 320, 480};

// clang-format off
const ViewCase kViews[] = {
    {"TvWindow",            1, 0, 1, 0, 0, 1, kFrame, 1045, 320, 372, 320, 240, 0, 0, 640, 480, "", 0, 2, {45, 132, 365, 372}},
    {"RadioWindow",         2, 3, 2, 1, 1, 2, kFrame, 1045, 320, 372, 320, 240, 0, 0, 640, 480, "", 3, 2, {45, 132, 365, 372}},
    {"TvFull",              3, 0, 1, 0, 0, 1, kFull, 1000, 640, 480, 640, 480, 0, 0, 640, 480, "h", 0, 2, kFull},
    {"TvFullDlsNoList",     3, 0, 2, 1, 0, 1, kFull, 1000, 640, 480, 640, 480, 0, 0, 640, 480, "h", 0, 2, kFull},
    {"TvFullDlsListRadio",  3, 0, 2, 1, 1, 2, kFullDls, 1000, 640, 480, 640, 416, 0, 0, 640, 480, "hs", 0, 2, kFullDls},
    {"TvFullDlsListTv",     3, 0, 2, 1, 1, 1, kFull, 1000, 640, 480, 640, 480, 0, 0, 640, 480, "h", 0, 2, kFull},
    {"TvFullListRadioNoDls",3, 0, 2, 0, 1, 2, kFull, 1000, 640, 480, 640, 480, 0, 0, 640, 480, "h", 0, 2, kFull},
    {"RadioFull",           4, 0, 1, 0, 0, 1, kFull, 1000, 640, 480, 640, 480, 0, 0, 640, 480, "h", 0, 2, kFull},
    {"RadioFullDls",        4, 0, 2, 1, 0, 1, kFullDls, 1000, 640, 480, 640, 416, 0, 0, 640, 480, "s", 0, 2, kFullDls},
    {"RadioFullDlsListTv",  4, 0, 2, 1, 1, 1, kFull, 1000, 640, 480, 640, 480, 0, 0, 640, 480, "sh", 0, 2, kFull},
    {"RadioFullDlsListRad", 4, 0, 2, 1, 1, 2, kFullDls, 1000, 640, 480, 640, 416, 0, 0, 640, 480, "s", 0, 2, kFullDls},
    {"PipTopLeft",          6, 0, 2, 1, 0, 1, kTop, 1000, 320, 240, 320, 240, 0, 0, 320, 240, "h", 0, 2, {0, 0, 320, 240}},
    {"PipTopRight",         6, 1, 2, 0, 0, 1, kTop, 1320, 320, 240, 320, 240, 320, 0, 320, 240, "h", 1, 2, {320, 0, 640, 240}},
    {"PipBottomRight",      6, 2, 2, 0, 0, 1, kBottom, 1320, 320, 480, 320, 240, 320, 240, 320, 240, "h", 2, 2, {320, 240, 640, 480}},
    {"PipBottomLeft",       6, 3, 2, 0, 0, 1, kBottom, 1000, 320, 480, 320, 240, 0, 240, 320, 240, "h", 3, 2, {0, 240, 320, 480}},
    {"RadioPipTopRight",    7, 1, 2, 0, 0, 1, kTop, 1320, 320, 240, 320, 240, 320, 0, 320, 240, "h", 1, 2, {320, 0, 640, 240}},
    {"RadioPipBottomLeft",  7, 3, 2, 1, 0, 1, kBottom, 1000, 320, 480, 320, 240, 0, 240, 320, 240, "h", 3, 2, {0, 240, 320, 480}},
    {"LeftPipTopLeft",      6, 0, 1, 0, 0, 1, kTop, 1000, 320, 240, 320, 240, 0, 0, 320, 240, "h", 0, 1, {0, 0, 320, 240}},
    {"LeftPipFromTopRight", 6, 1, 1, 0, 0, 1, kTop, 1000, 320, 240, 320, 240, 0, 0, 320, 240, "h", 0, 1, {0, 0, 320, 240}},
    {"LeftPipFromBotRight", 7, 2, 1, 0, 0, 1, kBottom, 1000, 320, 480, 320, 240, 0, 240, 320, 240, "h", 3, 1, {0, 240, 320, 480}},
    {"LeftPipBottomLeft",   7, 3, 1, 0, 0, 1, kBottom, 1000, 320, 480, 320, 240, 0, 240, 320, 240, "h", 3, 1, {0, 240, 320, 480}},
    {"PipQuadrantFour",     6, 4, 2, 0, 0, 1, kTop, 1000, 320, 240, 320, 240, 0, 0, 320, 240, "h", 0, 2, {0, 0, 320, 240}},
    {"PipQuadrantMinusOne", 7, -1, 2, 0, 0, 1, kTop, 1000, 320, 240, 320, 240, 0, 0, 320, 240, "h", 0, 2, {0, 0, 320, 240}},
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
        Trace::Clear();
    }
};

// The whole switch from a Prepared engine, every argument, wait and timer in its place.
std::vector<std::string> Steps(const ViewCase& c)
{
    using namespace step;
    std::vector<std::string> s = {"Sleep 100", kStop, kHide, "Release Overlay", Escape(c.escape), Surface(c.surfaceW, c.surfaceH), kTarget};
    for (const char* m = c.dls; *m; ++m) s.push_back(*m == 's' ? kDlsShown : kDlsHidden);
    s.push_back(Viewer(c.winX, c.winY, c.winW, c.winH, SWP_HIDEWINDOW));   // sized while hidden,
    s.push_back(Viewer(c.winX, c.winY, 0, 0, SWP_SHOWWINDOW | SWP_NOSIZE));   // shown unresized
    s.push_back(Start(c.prescaleW, c.prescaleH));
    s.push_back(Show(c.rc));
    const bool windowed = c.mode == VIEW_TV_WINDOW || c.mode == VIEW_RADIO_WINDOW;
    s.push_back(windowed ? "SetTimer 30 2000" : "Sleep 100");
    s.push_back("SetTimer 80 200");
    return s;
}

TEST_P(OverlayView, WholeSwitchInOrderAndWhatItLeaves)
{
    const ViewCase& c = GetParam();
    Arrange(c);
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), c.mode), DD_OK);
    EXPECT_EQ(Trace::Steps(), Steps(c));
    EXPECT_EQ(Last("StartVideo").Arg("target"), Last("CreateSurface").Arg("result"));

    EXPECT_EQ(Text(g_rcOverlay), Text(c.rc));
    EXPECT_TRUE(SameRect(WindowRect(), c.winX, c.winY, c.winX + c.winW, c.winY + c.winH));
    EXPECT_TRUE(Visible());
    EXPECT_TRUE(Topmost());
    RECT dls = DlsRect();
    const char last = *c.dls ? c.dls[strlen(c.dls) - 1] : 0;
    if (last == 's') EXPECT_TRUE(SameRect(dls, 0, 416, 640, 480)) << Text(dls);
    if (last == 'h') EXPECT_TRUE(SameRect(dls, 0, 0, 0, 0)) << Text(dls);
    if (!last) EXPECT_TRUE(SameRect(dls, 10, 20, 40, 32)) << Text(dls);

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

INSTANTIATE_TEST_SUITE_P(EveryView, OverlayView, ::testing::ValuesIn(kViews),
                         [](const ::testing::TestParamInfo<ViewCase>& info) { return std::string(info.param.name); });

class OverlaySwitch : public OverlayTest {};

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

// The hidden view ends the cycle once the surface is attached: no start, no show, no wait after.
const std::vector<std::string> kHiddenSteps = {
    "Sleep 100", step::kStop, step::kHide, "Release Overlay", step::Escape(1000), step::Surface(320, 240), step::kTarget,
    step::kDlsHidden, step::kHide, step::Viewer(0, 0, 0, 0, SWP_HIDEWINDOW), "SetTimer 80 200"};

TEST_F(OverlaySwitch, HiddenViewStopsTheportHidesEverythingAndKeepsThePrescale)
{
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_RADIO_FULL), DD_OK);
    ASSERT_TRUE(TakeTimer(TIMER_SWITCHED));
    Dlg().m_nTapCount = 2;
    SetWindowPos(GetDlgItem(Hwnd(), 1001), nullptr, 0, 416, 640, 64, SWP_NOZORDER);
    Trace::Clear();
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), VIEW_HIDDEN), DD_OK);
    EXPECT_EQ(Trace::Steps(), kHiddenSteps);
    EXPECT_EQ(Text(g_rcOverlay), Text(kTop));
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
    // Not too late: each comes before a timer of this test's that falls due later, armed after
    // it. A loaded machine delays them all alike, and they still come in the order they fall due.
    const UINT_PTR kBy1200 = 0x7F01, kBy3500 = 0x7F02;
    SetTimer(Hwnd(), kBy1200, 1200, nullptr);
    SetTimer(Hwnd(), kBy3500, 3500, nullptr);
    std::map<UINT_PTR, std::pair<int, DWORD>> first;   // timer: place in the arrivals, time
    // Taken off the queue here, before the viewer's own handler could consume them.
    for (int n = 0; first.size() < 4 && GetTickCount() - start < devtest::kHangMs;) {
        MSG msg;
        while (PeekMessageW(&msg, Hwnd(), WM_TIMER, WM_TIMER, PM_REMOVE))
            first.emplace(msg.wParam, std::make_pair(++n, GetTickCount() - start));
        Sleep(5);
    }
    for (UINT_PTR id : {static_cast<UINT_PTR>(TIMER_SWITCHED), static_cast<UINT_PTR>(TIMER_SETTLING), kBy1200, kBy3500})
        KillTimer(Hwnd(), id);
    ASSERT_EQ(first.size(), 4u);
    EXPECT_GE(first[TIMER_SWITCHED].second, 150u);
    EXPECT_LT(first[TIMER_SWITCHED].first, first[kBy1200].first);
    EXPECT_GE(first[TIMER_SETTLING].second, 1850u);
    EXPECT_LT(first[TIMER_SETTLING].first, first[kBy3500].first);
}

TEST_F(OverlaySwitch, ModesOutsideTheSevenViewsAreIgnored)
{
    g_hrLast = DDERR_SURFACELOST;
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), 0), DDERR_SURFACELOST);
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), 8), DDERR_SURFACELOST);
    EXPECT_TRUE(ddsim::Log().empty());
    EXPECT_FALSE(TakeTimer(TIMER_SWITCHED));
}

// The rebuild inside a switch builds the chain again and nothing else: the start information,
// the overlay's visibility and the window stay the switch's business.
TEST_F(OverlaySwitch, FailedSurfaceInASwitchRebuildsOnlyTheChainAndTheViewStillShows)
{
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_RADIO_FULL), DD_OK);
    Trace::Clear();
    ddsim::Fail("CreateSurface", 1, DDERR_OUTOFVIDEOMEMORY);
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), VIEW_HIDDEN), DD_OK);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(ddsim::Count("DirectDrawCreate"), 1);
    // Apart from the rebuild (the failed surface up to the colour controls) the steps are those of
    // any switch to the hidden view; within it, nothing shows, hides or moves anything.
    std::vector<std::string> steps = Trace::Steps(), outside;
    const auto failed = std::find(steps.begin(), steps.end(), step::Surface(320, 240) + " FAILS");
    const auto rebuilt = std::find(failed, steps.end(), step::Surface(320, 240));
    auto end = rebuilt;
    while (end != steps.end() && end->rfind("GetColorControls", 0) != 0) ++end;
    ASSERT_NE(end, steps.end()) << testing::PrintToString(steps);
    outside.assign(steps.begin(), failed);
    outside.push_back(*rebuilt);
    outside.insert(outside.end(), end + 1, steps.end());
    EXPECT_EQ(outside, kHiddenSteps);
    for (auto it = failed; it != end; ++it) {
        EXPECT_EQ(it->find("UpdateOverlay"), std::string::npos) << *it;
        EXPECT_EQ(it->find("SetWindowPos"), std::string::npos) << *it;
    }
    EXPECT_EQ(g_vpInfo.dwPrescaleWidth, 640u);
    EXPECT_EQ(g_vpInfo.dwPrescaleHeight, 480u);
    ddsim::Live live = ddsim::LiveObjects();
    EXPECT_EQ(live.directDraw, 1);
    EXPECT_EQ(live.primary, 1);
    EXPECT_EQ(live.overlays, 1);
    EXPECT_EQ(live.videoPorts, 1);
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_WINDOW), DD_OK);
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
    Trace::Clear();
    HideOverlayForSearch(&Dlg());
    EXPECT_EQ(Trace::Steps(), (std::vector<std::string>{step::kHide, "Sleep 10", "Broadcast 14/68"}));
    EXPECT_EQ(host.Count(SK_VIEW_REQUEST, VIEWREQ_SEARCH), 1);
    EXPECT_EQ(Dlg().m_nSearchProgress, 0);
    ddsim::Display d = ddsim::GetDisplay();
    EXPECT_FALSE(d.overlayShown);
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
    Trace::Clear();
    ShowWindowedOverlay();
    EXPECT_EQ(Trace::Steps(), std::vector<std::string>{step::Show(kFrame)});
    EXPECT_EQ(g_hrLast, DD_OK);
    EXPECT_EQ(Text(g_rcOverlay), Text(kFrame));
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
    Sleep(150);   // fields are counted by the clock: a port still running would have given three
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
