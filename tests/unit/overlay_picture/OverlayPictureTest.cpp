// What the user sees of the simulated display: the receiver's test picture exactly where the
// overlay is, moving while the port runs, frozen when it stops, gone when hidden, above the
// viewer and transparent to touches. Screenshots of three views are left beside the executable.
#include "../overlay_common/OverlayFixture.h"

#include <optional>

using namespace overlaytest;
using devtest::CaptureScreen;
using devtest::CountDifferent;
using devtest::Image;

namespace {

const wchar_t kReceiverKey[] = L"Software\\devicesim\\receiver";

// Puts the tuned band, channel and name where the host leaves them, and takes them back after.
class ReceiverState {
public:
    ReceiverState()
    {
        HKEY key;
        m_existed = RegOpenKeyExW(HKEY_CURRENT_USER, kReceiverKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (m_existed) {
            for (const wchar_t* name : {L"Band", L"Channel", L"Name"}) {
                BYTE data[256];
                DWORD size = sizeof data, type = 0;
                if (RegQueryValueExW(key, name, nullptr, &type, data, &size) == ERROR_SUCCESS)
                    m_saved.push_back({name, type, std::vector<BYTE>(data, data + size)});
            }
            RegCloseKey(key);
        }
    }
    ~ReceiverState()
    {
        if (!m_existed) {
            RegDeleteKeyW(HKEY_CURRENT_USER, kReceiverKey);
            return;
        }
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kReceiverKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
        for (const wchar_t* name : {L"Band", L"Channel", L"Name"}) RegDeleteValueW(key, name);
        for (const Saved& v : m_saved)
            RegSetValueExW(key, v.name.c_str(), 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
        RegCloseKey(key);
    }
    void Tune(DWORD band, DWORD channel, const std::wstring& name)
    {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kReceiverKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, L"Band", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&band), sizeof band);
        RegSetValueExW(key, L"Channel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&channel), sizeof channel);
        RegSetValueExW(key, L"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                       static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }

private:
    struct Saved {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    bool m_existed = false;
    std::vector<Saved> m_saved;
};

class OverlayPicture : public OverlayTest {
protected:
    // Switches and lets the viewer paint its skin and the picture window follow, a few frames on.
    void Show(int mode, int pipPos = 0)
    {
        Dlg().m_nViewMode = mode;
        Dlg().m_nPipPos = pipPos;
        ASSERT_EQ(SwitchOverlayMode(&Dlg(), mode), DD_OK);
        InvalidateRect(Hwnd(), nullptr, TRUE);
        const unsigned frame = ddsim::GetDisplay().frame;
        ASSERT_TRUE(devtest::PollUntil([&] {
            return PictureAt(ddsim::GetDisplay().screen) && ddsim::GetDisplay().frame >= frame + 3 &&
                   !GetUpdateRect(Hwnd(), nullptr, FALSE);
        }));
    }

    // The picture window paints on a thread of its own: its bars show a moment after it moved.
    static bool BarsCome(const RECT& picture)
    {
        return devtest::PollUntil([&] { return BarsShown(picture) >= 6; });
    }

    static bool PictureAt(const RECT& rc)
    {
        HWND picture = ddsim::PictureWindow();
        if (!picture || !IsWindowVisible(picture)) return false;
        RECT shown;
        GetWindowRect(picture, &shown);
        return EqualRect(&shown, &rc) != 0;
    }

    // How many of the seven colour bars read back from the screen inside the picture; the
    // sweeping stripe may cover one of them.
    static int BarsShown(const RECT& picture)
    {
        const uint32_t bars[] = {0xC0C0C0, 0xC0C000, 0x00C0C0, 0x00C000, 0xC000C0, 0xC00000, 0x0000C0};
        const int w = picture.right - picture.left, y = picture.top + (picture.bottom - picture.top) / 6;
        int shown = 0;
        for (int i = 0; i < 7; ++i) {
            if (devtest::SameColor(devtest::ScreenPixel(picture.left + (2 * i + 1) * w / 14, y), bars[i])) ++shown;
        }
        return shown;
    }

    static Image Grab(const RECT& rc) { return CaptureScreen(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top); }

    // The picture reads the tuned channel twice a second, and nothing tells from outside that it
    // did: the time is given before keeping a picture (a keepsake, no check looks at it).
    static void Save(const wchar_t* name)
    {
        devtest::PollUntil([] { return false; }, 800);
        devtest::SaveScreenshot(0, 0, 640, 480, devtest::ModuleDir() + L"\\" + name);
    }

    // Time to look at the screen from outside (OVERLAY_HOLD_MS), for whoever runs this by hand.
    static void Hold()
    {
        if (const char* hold = getenv("OVERLAY_HOLD_MS")) devtest::PollUntil([] { return false; }, atoi(hold));
    }

    ReceiverState m_receiver;
};

TEST_F(OverlayPicture, ColourBarsShowExactlyWhereTheOverlayIs)
{
    m_receiver.Tune(1, 7, L"KBS 1TV");
    Show(VIEW_TV_WINDOW);
    RECT expected = {45, 132, 365, 372};
    EXPECT_TRUE(PictureAt(expected));
    EXPECT_TRUE(BarsCome(expected));
    HWND picture = ddsim::PictureWindow();
    EXPECT_TRUE(devtest::IsAbove(picture, Hwnd()));
    Save(L"overlay_tv_frame.bmp");
}

TEST_F(OverlayPicture, RunningPictureMovesStoppedPortFreezesIt)
{
    Show(VIEW_TV_FULL);
    const RECT area = {0, 0, 640, 320};
    const unsigned frame = ddsim::GetDisplay().frame;
    Image first = Grab(area);
    // The first change on the glass may still be the picture's first paint: wait for a new frame too.
    ASSERT_TRUE(devtest::PollUntil([&] {
        return ddsim::GetDisplay().frame > frame && CountDifferent(first, Grab(area)) > 0;
    }));

    StopVideoPort();
    // A still picture is one that does not change: no event stands for a frame that does not come,
    // so the test gives the last frame time to reach the screen, then gives a moving picture the
    // time of ten fields to show that it still moves.
    devtest::PollUntil([] { return false; }, 300);
    Image frozen = Grab(area);
    devtest::PollUntil([] { return false; }, 400);
    EXPECT_EQ(CountDifferent(frozen, Grab(area)), 0);
    EXPECT_TRUE(IsWindowVisible(ddsim::PictureWindow()));
}

TEST_F(OverlayPicture, HiddenOverlayLeavesTheScreen)
{
    Show(VIEW_TV_PIP, 1);
    HWND picture = ddsim::PictureWindow();
    HideOverlay();
    EXPECT_TRUE(devtest::PollUntil([&] { return !IsWindowVisible(picture); }));
    Show(VIEW_TV_PIP, 1);
    ASSERT_EQ(SwitchOverlayMode(&Dlg(), VIEW_HIDDEN), DD_OK);
    EXPECT_TRUE(devtest::PollUntil([&] { return !IsWindowVisible(picture); }));
}

TEST_F(OverlayPicture, TouchesOnThePictureReachTheViewer)
{
    Show(VIEW_RADIO_PIP, 2);
    EXPECT_TRUE(PictureAt(RECT{320, 240, 640, 480}));
    HWND below = WindowFromPoint(POINT{480, 300});
    EXPECT_TRUE(below == Hwnd() || GetAncestor(below, GA_ROOT) == Hwnd());
    EXPECT_NE(below, ddsim::PictureWindow());
}

TEST_F(OverlayPicture, StaysAboveTheViewerWhenTheViewerIsRaised)
{
    Show(VIEW_TV_WINDOW);
    HWND picture = ddsim::PictureWindow();
    SetWindowPos(Hwnd(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    EXPECT_TRUE(devtest::PollUntil([&] { return devtest::IsAbove(picture, Hwnd()); }));
}

TEST_F(OverlayPicture, CaptionFollowsTheTunedChannel)
{
    m_receiver.Tune(2, 3, L"MBC Radio");
    Show(VIEW_RADIO_FULL);
    StopVideoPort();   // a still picture, so only the caption can change
    // The picture reads the tuning twice a second and nothing tells that it did: the caption kept
    // as "before" must be the first channel's, so the time of one reading is given.
    devtest::PollUntil([] { return false; }, 600);
    const RECT caption = {0, 320, 640, 390};
    Image before = Grab(caption);
    m_receiver.Tune(1, 12, L"SBS");
    EXPECT_TRUE(devtest::PollUntil([&] { return CountDifferent(before, Grab(caption)) > 50; }));
}

TEST_F(OverlayPicture, ScreenshotsOfFullScreenWithTheDlsLineAndAQuadrant)
{
    m_receiver.Tune(2, 5, L"KBS Cool FM");
    Dlg().m_bDlsOn = 1;
    SetWindowTextW(GetDlgItem(Hwnd(), 1001), L"DLS: 지금 듣고 계신 곡은 ...");
    Show(VIEW_RADIO_FULL);
    EXPECT_TRUE(PictureAt(RECT{0, 0, 640, 416}));
    EXPECT_TRUE(BarsCome(RECT{0, 0, 640, 416}));
    Save(L"overlay_full_dls.bmp");
    Hold();
    m_receiver.Tune(1, 2, L"한국방송 1TV");
    Show(VIEW_TV_PIP, 1);
    EXPECT_TRUE(PictureAt(RECT{320, 0, 640, 240}));
    EXPECT_TRUE(BarsCome(RECT{320, 0, 640, 240}));
    Save(L"overlay_pip_top_right.bmp");
    Hold();
}

// ---- the simulation itself ----------------------------------------------------------------

class DisplaySimulation : public OverlayTest {};

TEST_F(DisplaySimulation, FailSpecsOfTheEnvironmentSyntax)
{
    Fresh();
    EXPECT_TRUE(ddsim::ParseFailList("CreateVideoPort:1:0x88760064,StartVideo:2:0x80004005:0"));
    EXPECT_FALSE(ddsim::ParseFailList("GetCaps:x:1,Bad"));
    LPDIRECTDRAW dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    IDDVideoPortContainer* vpc = nullptr;
    ASSERT_EQ(dd->QueryInterface(IID_IDDVideoPortContainer, reinterpret_cast<void**>(&vpc)), DD_OK);
    DDVIDEOPORTDESC desc = {};
    IDirectDrawVideoPort* port = nullptr;
    EXPECT_EQ(vpc->CreateVideoPort(DDVPCREATE_VIDEOONLY, &desc, &port, nullptr), static_cast<HRESULT>(0x88760064));
    EXPECT_EQ(vpc->CreateVideoPort(DDVPCREATE_VIDEOONLY, &desc, &port, nullptr), DDERR_INVALIDPARAMS);   // real check
    vpc->Release();
    dd->Release();
}

TEST_F(DisplaySimulation, AReleasedObjectAnswersAsDeadAndIsCounted)
{
    Fresh();
    LPDIRECTDRAW dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    IDirectDraw4* dd4 = nullptr;
    ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&dd4)), DD_OK);
    dd->Release();
    EXPECT_EQ(ddsim::LiveObjects().directDraw, 1);
    dd4->Release();
    EXPECT_EQ(ddsim::LiveObjects().directDraw, 0);
    EXPECT_EQ(dd4->SetCooperativeLevel(Hwnd(), DDSCL_NORMAL), DDERR_INVALIDOBJECT);
    EXPECT_EQ(ddsim::DeadCalls(), 1);
    EXPECT_TRUE(Last("SetCooperativeLevel").dead);
}

// A simulated device left running for hours: the record stays bounded and keeps the latest
// calls, while the counts stay exact.
TEST_F(DisplaySimulation, TheRecordOfCallsKeepsTheLatestAndStaysBounded)
{
    Fresh();
    LPDIRECTDRAW dd = nullptr;
    ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
    IDirectDraw4* dd4 = nullptr;
    ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&dd4)), DD_OK);
    const int kCalls = 50000;
    for (int i = 0; i < kCalls; ++i) dd4->SetCooperativeLevel(Hwnd(), DDSCL_NORMAL);
    EXPECT_EQ(ddsim::Count("SetCooperativeLevel"), kCalls);
    const std::vector<ddsim::Call> log = ddsim::Log();
    ASSERT_EQ(log.size(), 4096u);   // the ring's size: the latest calls, in order
    EXPECT_EQ(log.back().name, "SetCooperativeLevel");
    EXPECT_EQ(log.back().seq, log.front().seq + 4095);
    EXPECT_EQ(log.back().Arg("flags"), log.front().Arg("flags"));
    dd4->Release();
    dd->Release();
    EXPECT_EQ(ddsim::Log().back().name, "Release");
}

TEST_F(DisplaySimulation, OnePortPerIdAndOneFullChainInVideoMemory)
{
    // The Prepared engine holds port 0 and a 320 x 240 chain.
    DDVIDEOPORTDESC desc = {};
    desc.dwSize = sizeof desc;
    desc.dwVideoPortID = 0;
    DDVIDEOPORTCONNECT connect[4] = {};
    DWORD n = 4;
    ASSERT_EQ(g_pVPContainer->GetVideoPortConnectInfo(0, &n, connect), DD_OK);
    desc.VideoPortType = connect[0];
    IDirectDrawVideoPort* second = nullptr;
    EXPECT_EQ(g_pVPContainer->CreateVideoPort(DDVPCREATE_VIDEOONLY, &desc, &second, nullptr), DDERR_CURRENTLYNOTAVAIL);
    EXPECT_EQ(second, nullptr);

    IDirectDrawSurface4* small = g_pOverlay;
    ASSERT_EQ(CreateOverlaySurface(&Dlg(), 640, 480), 1);   // a full chain beside the small one
    IDirectDrawSurface4* big = g_pOverlay;
    DDSURFACEDESC2 sd = g_ddsdOverlay;
    IDirectDrawSurface4* third = nullptr;
    EXPECT_EQ(g_pDD->CreateSurface(&sd, &third, nullptr), DDERR_OUTOFVIDEOMEMORY);
    big->Release();
    g_pOverlay = small;
    EXPECT_EQ(g_pDD->CreateSurface(&sd, &third, nullptr), DD_OK);   // the memory came back
    if (third) third->Release();
}

TEST_F(DisplaySimulation, OtherEscapesGoToTheSystem)
{
    HDC dc = GetDC(Hwnd());
    int query = 16900;
    const int viaRoute = ExtEscape(dc, QUERYESCSUPPORT, sizeof query, reinterpret_cast<LPCSTR>(&query), 0, nullptr);
    using EscapeFn = int(WINAPI*)(HDC, int, int, LPCSTR, int, LPSTR);
    auto system = reinterpret_cast<EscapeFn>(GetProcAddress(GetModuleHandleW(L"gdi32.dll"), "ExtEscape"));
    ASSERT_NE(system, nullptr);
    const int direct = system(dc, QUERYESCSUPPORT, sizeof query, reinterpret_cast<LPCSTR>(&query), 0, nullptr);
    EXPECT_EQ(viaRoute, direct);
    EXPECT_EQ(ddsim::Count("ExtEscape"), 0);
    EXPECT_EQ(ExtEscape(dc, 16900, 1320, nullptr, 0, nullptr), 1);
    EXPECT_EQ(ddsim::GetDisplay().escapeX, 320);
    EXPECT_EQ(ExtEscape(dc, 16900, 999, nullptr, 0, nullptr), 0);   // not a place on the screen
    EXPECT_EQ(ddsim::GetDisplay().escapeX, 320);
    ReleaseDC(Hwnd(), dc);
}

TEST_F(DisplaySimulation, LogFileGetsOneLinePerCall)
{
    const std::string path = "overlay_ddsim_log.txt";
    DeleteFileA(path.c_str());
    SetEnvironmentVariableA("DDSIM_LOG", path.c_str());
    _putenv_s("DDSIM_LOG", path.c_str());
    Fresh();   // the environment is read again
    ASSERT_EQ(InitPlay(&Dlg()), 1);
    _putenv_s("DDSIM_LOG", "");
    SetEnvironmentVariableA("DDSIM_LOG", nullptr);
    ReleaseVideoObjects();
    ddsim::Reset();
    FILE* f = fopen(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    int lines = 0;
    char line[512];
    bool sawCreate = false;
    while (fgets(line, sizeof line, f)) {
        ++lines;
        if (strstr(line, "DirectDrawCreate") && strstr(line, "-> 0x00000000")) sawCreate = true;
    }
    fclose(f);
    DeleteFileA(path.c_str());
    EXPECT_TRUE(sawCreate);
    EXPECT_GE(lines, 14);
}

}  // namespace

namespace {

// The viewer program itself, its display configured through the environment it inherits.
class OverlayWholeProgram : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const char* name : {"DDSIM_NOOVERLAY", "DDSIM_FAIL", "DDSIM_LOG"}) SetEnvironmentVariableA(name, nullptr);
        DeleteFileW(m_log.c_str());
    }

    std::vector<std::string> LogLines() const
    {
        std::vector<std::string> lines;
        FILE* f = _wfopen(m_log.c_str(), L"r");
        if (!f) return lines;
        char line[512];
        while (fgets(line, sizeof line, f)) lines.push_back(line);
        fclose(f);
        return lines;
    }

    std::wstring m_log = devtest::ModuleDir() + L"\\overlay_whole_program.log";
    devtest::CardGuard m_card;
};

TEST_F(OverlayWholeProgram, NoOverlayHardwareIsReportedAtStartUp)
{
    SetEnvironmentVariableA("DDSIM_NOOVERLAY", "1");
    SetEnvironmentVariableW(L"DDSIM_LOG", m_log.c_str());
    devtest::Process viewer = devtest::Start(L"TVSCREEN.exe");
    ASSERT_TRUE(viewer.Valid());
    HWND box = devtest::WaitForMessageBox(devtest::kHangMs, viewer.Id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(devtest::MessageBoxText(box), Report(L"Overlays are not supported in hardware!"));
    EXPECT_TRUE(devtest::PressOk(box));
    EXPECT_TRUE(devtest::WaitGone(box));
    EXPECT_TRUE(viewer.Running());   // the viewer goes on without a picture
    viewer.Kill();
    bool sawCaps = false, sawPort = false;
    for (const std::string& line : LogLines()) {
        sawCaps = sawCaps || line.find(" GetCaps ") != std::string::npos;
        sawPort = sawPort || line.find(" CreateVideoPort ") != std::string::npos;
    }
    EXPECT_TRUE(sawCaps);
    EXPECT_FALSE(sawPort);
}

TEST_F(OverlayWholeProgram, InjectedPortFailuresAreReportedAtStartUp)
{
    SetEnvironmentVariableA("DDSIM_FAIL", "CreateVideoPort:1:0x88760064:2");
    devtest::Process viewer = devtest::Start(L"TVSCREEN.exe");
    ASSERT_TRUE(viewer.Valid());
    HWND box = devtest::WaitForMessageBox(devtest::kHangMs, viewer.Id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(devtest::MessageBoxText(box), Report(L"InitPlay Create video port FAILED"));
    devtest::PressOk(box);
    viewer.Kill();
}

}  // namespace
