// The real TVSCREEN.exe with a scripted host that answers each request as the device's control
// service does: the window view, full screen, picture-in-picture in two quarters, back to the
// window, the radio list and a pick, and a channel search ending in a reload. Each step leaves a
// screenshot in <test folder>\viewer_tour.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "DeviceTest.h"

using namespace devtest;

namespace {

using Messages = std::vector<std::pair<int, int>>;

const RECT kPanel = {405, 61, 640, 480};     // the right-hand panel of the skin
const RECT kFrame = {46, 131, 364, 369};     // the TV picture frame

std::string Ansi(const wchar_t* text) { return ToAnsi(text); }

class ViewerTour : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(WriteDword(L"PIP", 0));
        ASSERT_TRUE(WriteDword(L"DLS", 1));
        ASSERT_TRUE(WriteDword(L"Volume", 6));
        ASSERT_TRUE(WriteChannelFile(3, 8, {Ansi(L"KBS 1TV"), Ansi(L"문화방송"), Ansi(L"SBS")},
                                     {Ansi(L"KBS 음악FM"), Ansi(L"교통방송"), Ansi(L"기독교방송"), Ansi(L"아리랑 라디오"),
                                      Ansi(L"MBC FM4U"), Ansi(L"SBS 러브FM"), Ansi(L"국악방송"), Ansi(L"EBS 라디오")}));
        m_shots = ModuleDir() + L"\\viewer_tour";
        CreateFolders(m_shots);
        m_host.SetAnswer([this](HostWindow&, int code, int arg) { Answer(code, arg); });
        m_viewer = Start(L"TVSCREEN.exe");
        ASSERT_TRUE(m_viewer.Valid());
        m_hwnd = WaitForWindow(L"TVSCREEN", kHangMs, m_viewer.Id());
        ASSERT_NE(m_hwnd, nullptr);
    }

    // The host's answers, sent once the viewer's broadcast has returned, as a service that queues
    // its work would.
    void Answer(int code, int arg)
    {
        auto then = [this](std::initializer_list<std::pair<int, int>> replies) {
            for (const auto& r : replies) m_replies.push_back(r);
        };
        if (code == 14 && arg == 66) then({{16, 40}});
        if (code == 102 && arg == 1) then({{16, 48}});
        if (code == 102 && arg == 2) then({{16, 56}});
        if (code == 100 && arg == 24) then({{16, 44}});
        if (code == 47) then({{16, 61}, {80, 0}});   // tuned: the picture back in the frame
        if (code == 100 && (arg == 11 || arg == 12)) then({{80, 0}});
    }

    // Pumps messages and sends queued answers until pred holds.
    bool Until(const std::function<bool()>& pred, DWORD timeoutMs = kHangMs)
    {
        return PollUntil([&] {
            while (!m_replies.empty()) {
                auto r = m_replies.front();
                m_replies.pop_front();
                m_host.Broadcast(r.first, r.second);
            }
            return pred();
        }, timeoutMs);
    }

    // Until pred has held for holdMs on end: the picture takes a few fields to settle after a
    // move, and a window carries its old content for a moment.
    bool Steady(const std::function<bool()>& pred, DWORD holdMs = 400, DWORD timeoutMs = kHangMs)
    {
        ULONGLONG since = 0;
        return Until([&] {
            if (!pred()) {
                since = 0;
                return false;
            }
            if (!since) since = Now();
            return Now() - since >= holdMs;
        }, timeoutMs);
    }

    // Taps until the viewer takes the tap (it refuses touches while its lock is taken or the
    // picture settles), judged by what the tap makes happen. A tap is not repeated before the
    // viewer has finished with the one before: a second one taken would act twice.
    bool TapUntil(POINT p, const std::function<bool()>& taken, DWORD timeoutMs = kHangMs)
    {
        const ULONGLONG deadline = Now() + timeoutMs;
        while (Now() < deadline) {
            if (Until(taken, 0)) return true;
            // Sent, not posted: once both have returned the viewer has handled the tap, taken or
            // dropped, however slow the machine (a message sent after a posted tap can be handled
            // before it). Meanwhile this thread still serves the viewer's broadcasts to the host window.
            SendMessageTimeoutW(m_hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y), SMTO_NORMAL, kHangMs, nullptr);
            SendMessageTimeoutW(m_hwnd, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y), SMTO_NORMAL, kHangMs, nullptr);
            if (Until(taken, 300)) return true;
        }
        return false;
    }

    bool Heard(int code, int arg) const { return m_host.Count(code, arg) > 0; }
    bool WindowAt(int x, int y, int w, int h) { return IsShown(m_hwnd) && SameRect(WindowRect(m_hwnd), x, y, w, h); }

    Image Area(const RECT& r) { return CaptureScreen(r.left, r.top, r.right - r.left, r.bottom - r.top); }
    bool Changed(const RECT& r, const Image& before, int atLeast = 2000)
    {
        return CountDifferent(Area(r), before) >= atLeast;
    }
    // The picture is in the frame when it is not the skin's black picture area.
    bool PictureInFrame() { return CountNot(Area(kFrame), 0) > (kFrame.right - kFrame.left) * (kFrame.bottom - kFrame.top) / 2; }
    // The last colour bar of the test picture shows at this point of the screen.
    bool LastBarAt(int x, int y) { return m_lastBar != 0 && SameColor(ScreenPixel(x, y), m_lastBar); }

    void Shot(const wchar_t* name)
    {
        Until([] { return false; }, 300);   // a keepsake: no event tells when X shows the last paint
        EXPECT_TRUE(SaveScreenshot(0, 0, 640, 480, m_shots + L"\\" + name + L".bmp")) << "screenshot " << name;
    }

    StoreSnapshot m_store;
    CardGuard m_card;
    HostWindow m_host;
    std::deque<std::pair<int, int>> m_replies;
    Process m_viewer;
    HWND m_hwnd = nullptr;
    std::wstring m_shots;
    uint32_t m_lastBar = 0;   // colour of the test picture's right-most bar, read in the window view
};

TEST_F(ViewerTour, WindowFullScreenPipListAndSearch)
{
    // Parked after start; a reload brings the radio window.
    EXPECT_TRUE(WindowAt(0, 0, 0, 0));
    m_host.Broadcast(16, 58);
    ASSERT_TRUE(Steady([&] { return WindowAt(0, 0, 640, 480) && PictureInFrame(); }));
    m_lastBar = ScreenPixel(355, 182);
    ASSERT_GT(CountNot(Area(kFrame), m_lastBar), 1000) << "the bar is one colour among others";
    m_host.SendText(m_hwnd, L"KBS 음악FM · 오늘의 클래식");
    Shot(L"01_window");

    // Full screen: the picture over the panel, the DAB line under it.
    ASSERT_TRUE(TapUntil({200, 250}, [&] { return Heard(14, 66); }));
    ASSERT_TRUE(Steady([&] { return LastBarAt(630, 100); }));
    Shot(L"02_full_screen");

    // Left half: picture-in-picture, top-left quarter.
    ASSERT_TRUE(TapUntil({100, 200}, [&] { return Heard(102, 1); }));
    ASSERT_TRUE(Steady([&] { return WindowAt(0, 0, 320, 240) && LastBarAt(310, 50) && !LastBarAt(630, 100); }));
    Shot(L"03_pip_top_left");

    // Bottom-right quarter of the PIP: the next quarter, top-right.
    ASSERT_TRUE(TapUntil({240, 180}, [&] { return WindowAt(320, 0, 320, 240); }));
    ASSERT_TRUE(Steady([&] { return LastBarAt(630, 50) && !LastBarAt(310, 50); }));
    Shot(L"04_pip_top_right");

    // Bottom-left quarter: back to the window through full screen.
    m_host.Clear();
    ASSERT_TRUE(TapUntil({40, 180}, [&] { return Heard(90, 52); }));
    EXPECT_EQ(m_host.Codes(), (Messages{{14, 74}, {90, 52}}));
    ASSERT_TRUE(Steady([&] { return WindowAt(0, 0, 640, 480) && PictureInFrame() && !LastBarAt(630, 100); }));
    Shot(L"05_window_again");

    // The radio list, and a pick from it.
    Image panel = Area(kPanel);
    ASSERT_TRUE(TapUntil({580, 141}, [&] { return Heard(48, 2); }));
    ASSERT_TRUE(Steady([&] { return Changed(kPanel, panel); }));
    Shot(L"06_radio_list");
    m_host.Clear();
    ASSERT_TRUE(TapUntil({500, 277}, [&] { return Heard(47, 2); }));
    EXPECT_EQ(m_host.Codes(), (Messages{{47, 2}}));
    ASSERT_TRUE(Steady([&] { return PictureInFrame(); }));
    Shot(L"07_picked");

    // Back to the main panel and a search: figures and progress, then the end and a reload.
    panel = Area(kPanel);
    ASSERT_TRUE(TapUntil({470, 91}, [&] { return Changed(kPanel, panel); }));
    ASSERT_TRUE(TapUntil({473, 439}, [&] { return Heard(14, 68); }));
    ASSERT_TRUE(Until([&] { return !PictureInFrame(); })) << "the search hides the picture";
    for (auto m : Messages{{60, 3}, {61, 5}, {62, 8}}) m_host.Broadcast(m.first, m.second);
    Shot(L"08_search_progress");
    for (auto m : Messages{{60, 12}, {61, 9}, {62, 20}}) m_host.Broadcast(m.first, m.second);
    Shot(L"09_search_done");

    m_host.Broadcast(80, 1);
    ASSERT_TRUE(WriteChannelFile(2, 10, {Ansi(L"새 TV 하나"), Ansi(L"새 TV 둘")},
                                 {Ansi(L"새 라디오 1"), Ansi(L"새 라디오 2"), Ansi(L"새 라디오 3"), Ansi(L"새 라디오 4"),
                                  Ansi(L"새 라디오 5"), Ansi(L"새 라디오 6"), Ansi(L"새 라디오 7"), Ansi(L"새 라디오 8"),
                                  Ansi(L"새 라디오 9"), Ansi(L"새 라디오 10")}));
    m_host.Broadcast(16, 58);
    ASSERT_TRUE(Steady([&] { return WindowAt(0, 0, 640, 480) && PictureInFrame(); }));
    Shot(L"10_after_reload");

    panel = Area(kPanel);
    m_host.Clear();
    ASSERT_TRUE(TapUntil({580, 141}, [&] { return Heard(48, 2); }));
    ASSERT_TRUE(Steady([&] { return Changed(kPanel, panel); }));
    Shot(L"11_reloaded_list");
    EXPECT_TRUE(m_viewer.Running());
}

}  // namespace
