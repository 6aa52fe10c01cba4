// Building the overlay chain at start-up: what the hardware is asked for, the retry and the
// rebuild, and every failure report with the engine left empty.
#include "../overlay_common/OverlayFixture.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "ImportPatch.h"

using namespace overlaytest;

namespace {

const HRESULT kFault = DDERR_INVALIDCAPS;

class OverlayStartup : public OverlayTest {};

// Each Sleep the code under test asks for, with how many ports it had tried by then; time does
// not pass, so the wait is judged by what was asked, on any machine.
std::vector<std::pair<DWORD, size_t>> g_sleeps;
void WINAPI RecordSleep(DWORD ms) { g_sleeps.emplace_back(ms, ddsim::Calls("CreateVideoPort").size()); }

TEST_F(OverlayStartup, ViewerStartUpPreparesTheEngineAndParksItsWindow)
{
    Fresh();
    g_pEscapeDC = nullptr;
    g_overlayFx = {};
    g_dwOverlayFlags = 0;
    devtest::CardGuard card;
    CTvScreenDlg viewer;
    ASSERT_TRUE(viewer.Create(IDD_MAIN_DIALOG));
    EXPECT_NE(g_pDD, nullptr);
    EXPECT_NE(g_pVPContainer, nullptr);
    EXPECT_NE(g_pVideoPort, nullptr);
    EXPECT_NE(g_pPrimary, nullptr);
    EXPECT_NE(g_pOverlay, nullptr);
    ddsim::Live live = ddsim::LiveObjects();
    EXPECT_EQ(live.directDraw, 1);
    EXPECT_EQ(live.primary, 1);
    EXPECT_EQ(live.overlays, 1);
    EXPECT_EQ(live.videoPorts, 1);
    EXPECT_EQ(ddsim::Count("StartVideo"), 0);
    EXPECT_FALSE(ddsim::GetDisplay().overlayShown);
    RECT rc;
    GetWindowRect(viewer.m_hWnd, &rc);
    EXPECT_TRUE(SameRect(rc, 0, 0, 0, 0));
    EXPECT_TRUE(devtest::IsTopmost(viewer.m_hWnd));
    // The escape DC, the showing update's record and its flags come from the viewer's start-up.
    ASSERT_NE(g_pEscapeDC, nullptr);
    EXPECT_EQ(WindowFromDC(g_pEscapeDC->m_hDC), viewer.m_hWnd);
    EXPECT_EQ(g_overlayFx.dwSize, sizeof(DDOVERLAYFX));
    EXPECT_EQ(g_overlayFx.dwDDFX, 0u);
    EXPECT_EQ(g_dwOverlayFlags, static_cast<DWORD>(DDOVER_SHOW));
    EXPECT_EQ(ddsim::DeadCalls(), 0);
    ReleaseVideoObjects();
}

TEST_F(OverlayStartup, AsksTheHardwareForTheDevicesChainInOrder)
{
    Fresh();
    EXPECT_EQ(InitPlay(&Dlg()), 1);
    char hwnd[32];
    snprintf(hwnd, sizeof hwnd, "%p", static_cast<void*>(Hwnd()));
    const std::vector<std::string> expected = {
        "DirectDrawCreate guid=null", "QueryInterface iid=IID_IDirectDraw4", "QueryInterface iid=IID_IDDVideoPortContainer",
        "Release DirectDraw", "SetCooperativeLevel hwnd=" + std::string(hwnd) + " flags=0x00000008",
        "CreateSurface size=" + step::Size(ddlayout::kSurfaceDesc2) + " flags=0x00000001 caps=0x00000200 width=0 height=0 backBuffers=0 format=0/0x0/0/0000:0000:0000",
        "GetCaps driver=" + step::Size(ddlayout::kCaps) + " hel=null caps=0x00005800", step::Surface(320, 240),
        "EnumVideoPorts flags=0x00000000 filter=null ports=1 callbacks=1", "GetVideoPortConnectInfo port=0 count=4 info=array returned=2",
        "CreateVideoPort flags=0x00000002 size=" + step::Size(ddlayout::kVideoPortDesc) + " fieldWidth=720 vbiWidth=0 fieldHeight=270 usPerField=16000 maxPixels=3456000 "
        "port=0 connectSize=" + step::Size(ddlayout::kVideoPortConnect) + " connect={5D5E0A10-6C3E-4E1B-9A21-446576736900}",
        step::kTarget, "GetInputFormats count=4 flags=0x00000001 returned=2", "GetColorControls size=" + step::Size(ddlayout::kColorControl), step::kHide,
        step::Viewer(0, 0, 0, 0, SWP_SHOWWINDOW)};
    EXPECT_EQ(Trace::Steps(), expected);
    EXPECT_EQ(Last("SetTargetSurface").Arg("surface"), Last("CreateSurface").Arg("result"));

    // The start information waits for the first switch.
    EXPECT_EQ(g_vpInfo.dwSize, sizeof(DDVIDEOPORTINFO));
    EXPECT_EQ(g_vpInfo.dwVPFlags, static_cast<DWORD>(DDVP_CROP | DDVP_PRESCALE));
    EXPECT_TRUE(SameRect(g_vpInfo.rCrop, 0, 0, 720, 270));
    EXPECT_EQ(g_vpInfo.dwPrescaleWidth, 320u);
    EXPECT_EQ(g_vpInfo.dwPrescaleHeight, 240u);
    EXPECT_EQ(g_vpInfo.lpddpfInputFormat, &g_inputFormats[0]);
    EXPECT_EQ(g_vpInfo.lpddpfVBIInputFormat, nullptr);
    EXPECT_EQ(g_vpInfo.lpddpfVBIOutputFormat, nullptr);
    EXPECT_EQ(g_vpInfo.dwVBIHeight, 24u);
    EXPECT_EQ(g_ddCaps.dwSize, sizeof(DDCAPS));
    EXPECT_EQ(g_colorControl.dwSize, sizeof(DDCOLORCONTROL));
    EXPECT_NE(g_colorControl.dwFlags, 0u);   // read from the port
    EXPECT_EQ(ddsim::LiveObjects().directDraw, 1);   // the base object went with step 4
}

// Start-up ends hiding the overlay and parking the window, and only then reports a failed hide.
TEST_F(OverlayStartup, WindowIsParkedAfterTheHidingUpdateAndBeforeItsReport)
{
    const std::string park = step::Viewer(0, 0, 0, 0, SWP_SHOWWINDOW);
    for (bool hideFails : {false, true}) {
        SCOPED_TRACE(hideFails);
        Fresh();
        SetWindowPos(Hwnd(), HWND_NOTOPMOST, 10, 10, 200, 100, SWP_HIDEWINDOW);
        Trace::Clear();
        if (hideFails) ddsim::Fail("UpdateOverlay", 1, kFault);
        BoxWatcher& boxes = Boxes();
        EXPECT_EQ(InitPlay(&Dlg()), hideFails ? kFault : 1);
        EXPECT_TRUE(SameRect(WindowRect(), 0, 0, 0, 0));
        EXPECT_TRUE(Visible());
        EXPECT_TRUE(Topmost());
        std::vector<std::string> steps = Trace::Steps();
        auto hide = std::find(steps.begin(), steps.end(), step::kHide + (hideFails ? " FAILS" : ""));
        ASSERT_LT(hide + 1, steps.end()) << testing::PrintToString(steps);
        EXPECT_EQ(hide[1], park);
        EXPECT_EQ(boxes.Texts().size(), hideFails ? 1u : 0u);
    }
}

TEST_F(OverlayStartup, MoreConnectionTypesThanAskedForStillStartsWithTheFirst)
{
    Fresh();
    ddsim::SetMoreData(true);
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(InitPlay(&Dlg()), 1);
    ddsim::Call info = Last("GetVideoPortConnectInfo");
    EXPECT_EQ(info.hr, DDERR_MOREDATA);
    EXPECT_EQ(info.Num("returned"), 4);
    EXPECT_EQ(Last("CreateVideoPort").hr, DD_OK);
    EXPECT_EQ(ddsim::LiveObjects().videoPorts, 1);
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(OverlayStartup, PortRetriedOnceAfterHalfASecond)
{
    Fresh();
    ddsim::Fail("CreateVideoPort", 1, kFault);
    BoxWatcher& boxes = Boxes();
    g_sleeps.clear();
    devtest::ImportPatches patches;
    ASSERT_TRUE(patches.Replace("kernel32.dll", "Sleep", reinterpret_cast<void*>(&RecordSleep)));
    EXPECT_EQ(InitPlay(&Dlg()), 1);
    patches.RestoreAll();
    auto tries = ddsim::Calls("CreateVideoPort");
    ASSERT_EQ(tries.size(), 2u);
    EXPECT_EQ(tries[0].hr, kFault);
    EXPECT_EQ(tries[1].hr, DD_OK);
    // Half a second between the two tries, and no other wait there.
    const std::vector<std::pair<DWORD, size_t>> between(1, {500u, 1u});
    std::vector<std::pair<DWORD, size_t>> seen;
    for (const auto& s : g_sleeps) if (s.second == 1) seen.push_back(s);
    EXPECT_EQ(seen, between);
    EXPECT_EQ(tries[1].Num("port"), tries[0].Num("port"));
    EXPECT_EQ(tries[1].Arg("connect"), tries[0].Arg("connect"));
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(ddsim::LiveObjects().videoPorts, 1);
}

TEST_F(OverlayStartup, TheLastEnumeratedOfSeveralPortsIsUsed)
{
    Fresh();
    ddsim::SetPortCount(3);
    EXPECT_EQ(InitPlay(&Dlg()), 1);
    EXPECT_EQ(Last("EnumVideoPorts").Num("callbacks"), 3);
    EXPECT_EQ(Last("GetVideoPortConnectInfo").Num("port"), 2);
    EXPECT_EQ(Last("CreateVideoPort").Num("port"), 2);
}

TEST_F(OverlayStartup, FailedOverlaySurfaceRebuildsTheChainOnceWithOnePortLeft)
{
    Fresh();
    ddsim::Fail("CreateSurface", 2, DDERR_OUTOFVIDEOMEMORY);   // the first overlay surface
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(InitPlay(&Dlg()), 1);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(ddsim::Count("DirectDrawCreate"), 2);
    EXPECT_EQ(ddsim::Count("CreateSurface"), 4);
    EXPECT_EQ(ddsim::Count("CreateVideoPort"), 1);
    ddsim::Live live = ddsim::LiveObjects();
    EXPECT_EQ(live.directDraw, 1);
    EXPECT_EQ(live.primary, 1);
    EXPECT_EQ(live.overlays, 1);
    EXPECT_EQ(live.videoPorts, 1);
    EXPECT_EQ(ddsim::DeadCalls(), 0);
    // Prepared as after a plain start: hidden, parked, port targeting the surface, not started.
    EXPECT_EQ(Last("SetTargetSurface").Arg("surface"), Last("CreateSurface").Arg("result"));
    EXPECT_EQ(Last("UpdateOverlay").Num("flags"), DDOVER_HIDE);
    EXPECT_EQ(ddsim::Count("StartVideo"), 0);
    EXPECT_TRUE(SameRect(WindowRect(), 0, 0, 0, 0));
    EXPECT_EQ(g_vpInfo.dwPrescaleWidth, 320u);
    // And it switches like any prepared engine.
    EXPECT_EQ(SwitchOverlayMode(&Dlg(), VIEW_TV_WINDOW), DD_OK);
    EXPECT_TRUE(ddsim::GetDisplay().portRunning);
}

struct StartFailure {
    const char* call;
    int nth;
    int count;
    bool inRebuild;   // the first overlay surface fails, so the fault hits the rebuild
    const wchar_t* message;
};

void PrintTo(const StartFailure& f, std::ostream* os)
{
    *os << f.call << " call " << f.nth << (f.inRebuild ? " in the rebuild" : "");
}

class OverlayStartupFailure : public OverlayTest, public ::testing::WithParamInterface<StartFailure> {};

TEST_P(OverlayStartupFailure, ReportsReleasesEverythingAndReturnsTheCode)
{
    const StartFailure& f = GetParam();
    Fresh();
    if (f.inRebuild) ddsim::Fail("CreateSurface", 2, DDERR_OUTOFVIDEOMEMORY);
    ddsim::Fail(f.call, f.nth, kFault, f.count);
    DebugOutput debug;
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(InitPlay(&Dlg()), kFault);
    auto seen = boxes.Boxes();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, Report(f.message));
    EXPECT_EQ(seen[0].caption, AfxGetAppName());
    EXPECT_EQ(seen[0].liveObjects, 0);   // released before the box showed
    EXPECT_EQ(debug.Lines(), std::vector<std::wstring>{Report(f.message)});
    EXPECT_TRUE(EngineEmpty());
    EXPECT_EQ(ddsim::LiveObjects().total(), 0);
    EXPECT_EQ(ddsim::DeadCalls(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, OverlayStartupFailure,
    ::testing::Values(
        StartFailure{"DirectDrawCreate", 1, 1, false, L"DirectDrawCreate FAILED"},
        StartFailure{"QueryInterface", 1, 1, false, L"QueryInterface for IID_IDirectDraw4 FAILED"},
        StartFailure{"QueryInterface", 2, 1, false, L"QueryInterface for IID_IDDVideoPortContainer FAILED"},
        StartFailure{"SetCooperativeLevel", 1, 1, false, L"SetCooperativeLevel FAILED"},
        StartFailure{"CreateSurface", 1, 1, false, L"Create primary surface FAILED"},
        StartFailure{"GetCaps", 1, 1, false, L"GetCaps FAILED"},
        StartFailure{"EnumVideoPorts", 1, 1, false, L"Enumerate video ports FAILED"},
        StartFailure{"GetVideoPortConnectInfo", 1, 1, false, L"Get connect information of video port FAILED"},
        StartFailure{"CreateVideoPort", 1, 2, false, L"InitPlay Create video port FAILED"},
        StartFailure{"SetTargetSurface", 1, 1, false, L"Set target surface FAILED"},
        StartFailure{"GetInputFormats", 1, 1, false, L"Get input formats FAILED"},
        StartFailure{"GetColorControls", 1, 1, false, L"Get color controls FAILED"},
        StartFailure{"UpdateOverlay", 1, 1, false, L"Unable to show overlay surface - UpdateOverlaySurface()"},
        StartFailure{"DirectDrawCreate", 2, 1, true, L"DirectDrawCreate FAILED"},
        StartFailure{"QueryInterface", 4, 1, true, L"QueryInterface for IID_IDDVideoPortContainer FAILED"},
        StartFailure{"CreateSurface", 3, 1, true, L"Create primary surface FAILED"},
        StartFailure{"GetCaps", 2, 1, true, L"GetCaps FAILED"},
        StartFailure{"GetVideoPortConnectInfo", 1, 1, true, L"Get connect information of video port FAILED"},
        StartFailure{"CreateVideoPort", 1, 2, true, L"InitPlay Create video port FAILED"},
        StartFailure{"GetColorControls", 1, 1, true, L"Get color controls FAILED"}));

class OverlayStartupReports : public OverlayTest {};

TEST_F(OverlayStartupReports, BothPortAttemptsFailingReportsTheSecondResult)
{
    Fresh();
    ddsim::Fail("CreateVideoPort", 1, DDERR_CURRENTLYNOTAVAIL);
    ddsim::Fail("CreateVideoPort", 2, DDERR_OUTOFMEMORY);
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(InitPlay(&Dlg()), DDERR_OUTOFMEMORY);
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{Report(L"InitPlay Create video port FAILED")});
    EXPECT_EQ(ddsim::LiveObjects().total(), 0);
}

TEST_F(OverlayStartupReports, NoOverlayHardwareReportsAndReturnsZeroHoldingNothing)
{
    Fresh();
    ddsim::SetOverlaySupport(false);
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(InitPlay(&Dlg()), 0);
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{Report(L"Overlays are not supported in hardware!")});
    EXPECT_EQ(ddsim::Count("CreateVideoPort"), 0);
    EXPECT_TRUE(EngineEmpty());
    EXPECT_EQ(ddsim::LiveObjects().total(), 0);
}

TEST_F(OverlayStartupReports, NoPortEnumeratedFailsAtTheConnectionStep)
{
    Fresh();
    ddsim::SetPortCount(0);
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(InitPlay(&Dlg()), DDERR_NOTFOUND);
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{Report(L"Get connect information of video port FAILED")});
    EXPECT_EQ(ddsim::Count("GetVideoPortConnectInfo"), 0);   // there was no port number to ask about
    EXPECT_EQ(ddsim::LiveObjects().total(), 0);
}

TEST_F(OverlayStartupReports, RebuildWithoutASurfaceEndsAtTheTargetStep)
{
    Fresh();
    ddsim::Fail("CreateSurface", 2, DDERR_OUTOFVIDEOMEMORY);   // first overlay
    ddsim::Fail("CreateSurface", 4, DDERR_OUTOFVIDEOMEMORY);   // the rebuild's overlay
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(InitPlay(&Dlg()), DDERR_INVALIDPARAMS);   // the port refuses a null target
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{Report(L"Set target surface FAILED")});
    EXPECT_EQ(Last("SetTargetSurface").Arg("surface"), "null");
    EXPECT_EQ(ddsim::LiveObjects().total(), 0);
}

TEST_F(OverlayStartupReports, CreateOverlaySurfaceAloneReturnsOneOrTheReportedCode)
{
    Prepared();
    IDirectDrawSurface4* first = g_pOverlay;
    g_pOverlay->Release();
    g_pOverlay = nullptr;
    EXPECT_EQ(CreateOverlaySurface(&Dlg(), 640, 480), 1);
    EXPECT_NE(g_pOverlay, first);
    EXPECT_EQ(Last("CreateSurface").Num("width"), 640);
    EXPECT_EQ(g_ddsdOverlay.dwWidth, 640u);
    EXPECT_EQ(g_ddsdOverlay.dwHeight, 480u);

    g_pOverlay->Release();
    g_pOverlay = nullptr;
    ddsim::ClearLog();
    ddsim::Fail("CreateSurface", 1, DDERR_OUTOFVIDEOMEMORY);
    ddsim::Fail("GetCaps", 1, kFault);
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(CreateOverlaySurface(&Dlg(), 320, 240), kFault);
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{Report(L"GetCaps FAILED")});
    EXPECT_TRUE(EngineEmpty());
}

TEST_F(OverlayStartupReports, ReportTextIsCutToItsBufferAndTheCodeComesBack)
{
    Prepared();
    const std::wstring longMessage(200, L'x');
    DebugOutput debug;
    BoxWatcher& boxes = Boxes();
    EXPECT_EQ(ReportVideoError(&Dlg(), static_cast<HRESULT>(0x12345678), longMessage.c_str()),
              static_cast<HRESULT>(0x12345678));
    auto texts = boxes.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].size(), 127u);
    EXPECT_EQ(texts[0].substr(0, 8), L"DOVedu: ");
    EXPECT_EQ(texts[0].substr(125), L"\r\n");
    EXPECT_EQ(debug.Lines(), texts);
    EXPECT_TRUE(EngineEmpty());
    EXPECT_EQ(ddsim::LiveObjects().total(), 0);
}

TEST_F(OverlayStartupReports, ReleaseOrderIsPortSurfaceHiddenPrimaryContainerDirectDraw)
{
    Prepared();
    ReleaseVideoObjects();
    EXPECT_EQ(Trace::Steps(), (std::vector<std::string>{"Release VideoPort", step::kHide, "Release Overlay", "Release Primary",
                                                         "Release DirectDraw", "Release DirectDraw"}));   // the container, then the object
    EXPECT_TRUE(EngineEmpty());
    EXPECT_EQ(ddsim::LiveObjects().total(), 0);
    Trace::Clear();
    ReleaseVideoObjects();   // nothing left to release: no call at all
    EXPECT_TRUE(Trace::Steps().empty());
}

}  // namespace
