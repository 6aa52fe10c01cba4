// What the host reports back: channel-file reloads and the radio window that follows one, the
// search figures and its end, the lock release, the mute state and the DAB text line.
#include "ViewerFixture.h"

#include <cstring>
#include <string>

using namespace devtest;
using namespace viewertest;

namespace {

class HostFeedback : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        Start(8, 10);
    }
    void Rewrite(int nTv, int nRadio)
    {
        ASSERT_TRUE(WriteChannelFile(static_cast<uint8_t>(nTv), static_cast<uint8_t>(nRadio), {"A", "B", "C"}, {"X"}));
    }
    // Moves the viewer's clock on until the radio window is up: the milliseconds that took, or -1.
    long long MsUntilRadioWindow(ULONGLONG limitMs = 10000)
    {
        return Clock().AdvanceUntil([&] { return Dlg().m_nViewMode == VIEW_RADIO_WINDOW; }, limitMs);
    }
    Image Bitmap(UINT id)
    {
        HBITMAP bmp = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
        Image img = FromBitmap(bmp);
        if (bmp) DeleteObject(bmp);
        return img;
    }
};

// ---- reloads -------------------------------------------------------------------------------

TEST_F(HostFeedback, ReloadBringsTheRadioWindowAboutTwoHundredMillisecondsLater)
{
    Rewrite(3, 12);
    Host(16, 58);
    EXPECT_EQ(Dlg().m_nTvCount, 3);
    EXPECT_EQ(Dlg().m_nRadioCount, 12);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_HIDDEN) << "not at once";
    EXPECT_EQ(Period(TIMER_RELOAD_1), 100u);
    ASSERT_EQ(MsUntilRadioWindow(), 200) << "timer 1's tick, then timer 2's";
    EXPECT_EQ(Dlg().m_nLastViewMode, VIEW_RADIO_WINDOW);
    EXPECT_TRUE(RectIs(WindowRect(), 0, 0, 640, 480));
    EXPECT_TRUE(RectIs(ddsim::GetDisplay().dst, 0, 132, 320, 372));
}

TEST_F(HostFeedback, PipOrCloseCancelsTheRadioWindowOnlyWhileTimerTwoPends)
{
    // In the first 100 ms (timer 1 pending) nothing cancels.
    for (int code : {16, 100}) {
        Enter(VIEW_HIDDEN);
        Host(16, 58);
        Host(code, code == 16 ? 44 : 26);
        EXPECT_EQ(MsUntilRadioWindow(), 200) << code;
    }
    // Once timer 1 has run, timer 2 pends and either cancels it.
    for (int code : {16, 100}) {
        Enter(VIEW_HIDDEN);
        Host(16, 58);
        Clock().Advance(100);
        ASSERT_EQ(Period(TIMER_RELOAD_2), 100u) << code;
        Host(code, code == 16 ? 44 : 26);
        EXPECT_EQ(MsUntilRadioWindow(), -1) << code;
        EXPECT_EQ(Dlg().m_nViewMode, VIEW_HIDDEN);
    }
}

TEST_F(HostFeedback, ReloadIntoTheWindowShowsTheFramedPicture)
{
    for (int arg : {59, 60}) {
        Enter(VIEW_TV_WINDOW);
        Dlg().ShowChangingNotice();
        Rewrite(arg == 59 ? 2 : 5, 1);
        Host(16, arg);
        const int mode = arg == 59 ? VIEW_TV_WINDOW : VIEW_RADIO_WINDOW;
        EXPECT_EQ(Dlg().m_nViewMode, mode);
        EXPECT_EQ(Dlg().m_nLastViewMode, mode);
        EXPECT_EQ(Dlg().m_nTvCount, arg == 59 ? 2 : 5);
        EXPECT_TRUE(ddsim::GetDisplay().overlayShown);
        EXPECT_TRUE(RectIs(ddsim::GetDisplay().dst, 0, 132, 320, 372));
    }
}

TEST_F(HostFeedback, AShrunkenFileBringsTheCurrentChannelAndListBackIntoRange)
{
    Dlg().m_nTvChannel = 7;
    Dlg().m_nTvListTop = 3;
    Dlg().m_nRadioChannel = 9;
    Dlg().m_nRadioListTop = 5;
    Rewrite(7, 0);
    Host(16, 59);
    EXPECT_EQ(Dlg().m_nTvChannel, 6);
    EXPECT_EQ(Dlg().m_nTvListTop, 2) << "seven channels: the last top that fills the list";
    EXPECT_EQ(Dlg().m_nRadioChannel, 0);
    EXPECT_EQ(Dlg().m_nRadioListTop, 1);

    Rewrite(3, 0);
    Host(16, 59);
    Enter(VIEW_TV_WINDOW);
    Press(ELEM_CHANNEL_DOWN_ARROW);
    EXPECT_TRUE(Sent().empty()) << "already the last channel";
    Free();
    Press(ELEM_CHANNEL_UP_ARROW);
    EXPECT_EQ(Sent(), (Messages{{47, 1}}));
}

TEST_F(HostFeedback, AReloadThatFailsKeepsTheCounts)
{
    ASSERT_TRUE(CreateFolders(CardRoot() + L"\\appdata"));
    // Held open without sharing, the file cannot be opened for the reload.
    HANDLE h = CreateFileW(ChannelFilePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    Dlg().m_nTvChannel = 7;
    Host(16, 58);
    CloseHandle(h);
    EXPECT_EQ(Dlg().m_nTvCount, 8);
    EXPECT_EQ(Dlg().m_nRadioCount, 10);
    EXPECT_EQ(Dlg().m_nTvChannel, 7);
}

// ---- search and lock -----------------------------------------------------------------------

TEST_F(HostFeedback, SearchFiguresProgressAndEnd)
{
    Enter(VIEW_TV_WINDOW);
    Press(ELEM_SEARCH);
    ASSERT_EQ(Dlg().m_bSearching, 1);
    Host(60, 3);
    Host(61, 12);
    Host(62, 10);
    EXPECT_EQ(Dlg().m_nDmbFigure, 3);
    EXPECT_EQ(Dlg().m_nDabFigure, 12);
    EXPECT_EQ(Dlg().m_nSearchProgress, 10);
    Image fill = Bitmap(IDB_PROGRESS_FILL), empty = Bitmap(IDB_PROGRESS_EMPTY);
    ASSERT_GT(CountDifferent(Crop(fill, 0, 0, 250, 15), Crop(empty, 0, 0, 250, 15)), 0);
    Image bar = WindowPixels(82, 238, 250, 15);
    EXPECT_EQ(CountDifferent(Crop(bar, 0, 0, 125, 15), Crop(fill, 0, 0, 125, 15)), 0) << "half the bar";
    EXPECT_EQ(CountDifferent(Crop(bar, 125, 0, 125, 15), Crop(empty, 125, 0, 125, 15)), 0);
    EXPECT_GT(CountNot(WindowPixels(82, 293, 250, 60), 0), 20) << "both figure lines written";

    Host(80, 1);
    EXPECT_EQ(Dlg().m_bSearching, 0);
    Press(ELEM_MUTE);
    EXPECT_EQ(Sent(), (Messages{{14, 68}, {100, 23}})) << "the buttons act again";
}

TEST_F(HostFeedback, LockReleaseComesAHundredMillisecondsLater)
{
    Enter(VIEW_TV_WINDOW);
    Dlg().m_bBusy = 1;
    Host(80, 0);
    EXPECT_EQ(Dlg().m_bBusy, 1);
    EXPECT_EQ(Period(TIMER_WATCHDOG), 100u);
    EXPECT_EQ(MsUntilFree(), 100);
}

// ---- mute ----------------------------------------------------------------------------------

TEST_F(HostFeedback, MuteStateAndItsIcon)
{
    Enter(VIEW_TV_WINDOW);
    ASSERT_TRUE(Shows(ELEM_MUTE, 1));
    Host(101, 11);
    EXPECT_EQ(Dlg().m_nMuteState, MUTE_STATE_MUTED);
    EXPECT_TRUE(Shows(ELEM_MUTE, 0));
    Host(101, 12);
    EXPECT_EQ(Dlg().m_nMuteState, MUTE_STATE_SOUND);
    EXPECT_TRUE(Shows(ELEM_MUTE, 1));
    // Any other argument redraws the icon of the state kept.
    Dlg().m_nMuteState = MUTE_STATE_MUTED;
    Host(101, 5);
    EXPECT_EQ(Dlg().m_nMuteState, MUTE_STATE_MUTED);
    EXPECT_TRUE(Shows(ELEM_MUTE, 0));
}

TEST_F(HostFeedback, MutedDuringASearchTheIconWaitsForThePanel)
{
    Enter(VIEW_TV_WINDOW);
    Dlg().m_bSearching = 1;
    Host(101, 11);
    EXPECT_EQ(Dlg().m_nMuteState, MUTE_STATE_MUTED);
    EXPECT_TRUE(Shows(ELEM_MUTE, 1)) << "not drawn while searching";
    Host(80, 1);
    Dlg().DrawMainPanel();
    EXPECT_TRUE(Shows(ELEM_MUTE, 0));
}

// ---- DAB text ------------------------------------------------------------------------------

TEST_F(HostFeedback, DabTextReplacesTheLineInAnyView)
{
    for (int mode : {VIEW_RADIO_WINDOW, VIEW_TV_WINDOW, VIEW_HIDDEN}) {
        Enter(mode);
        const std::wstring text = L"DAB " + std::to_wstring(mode) + L" 라디오 소식";
        HostWnd().SendText(Hwnd(), text);
        EXPECT_EQ(DlsText(), text) << "view " << mode;
        EXPECT_EQ(std::wstring(Dlg().m_strDls), text);
    }
    const wchar_t percent[] = L"100% %s %d";
    HostWnd().SendText(Hwnd(), percent);
    EXPECT_EQ(DlsText(), percent) << "taken as text, not as a format";
}

TEST_F(HostFeedback, TheTextIsReadOnlyWithinItsByteCount)
{
    Enter(VIEW_RADIO_WINDOW);
    // Five characters without a zero, ending at a page that cannot be read.
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    auto* pages = static_cast<BYTE*>(VirtualAlloc(nullptr, si.dwPageSize * 2, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(pages, nullptr);
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + si.dwPageSize, si.dwPageSize, PAGE_NOACCESS, &old));
    wchar_t* text = reinterpret_cast<wchar_t*>(pages + si.dwPageSize) - 5;
    std::memcpy(text, L"ABCDE", 5 * sizeof(wchar_t));
    HostWnd().SendCopyData(Hwnd(), text, 5 * sizeof(wchar_t));
    EXPECT_EQ(DlsText(), L"ABCDE");

    // An odd count ends at the last whole character, before the page's end too.
    BYTE* odd = pages + si.dwPageSize - 7;
    std::memcpy(odd, "A\0B\0C\0D", 7);
    HostWnd().SendCopyData(Hwnd(), odd, 7);
    EXPECT_EQ(DlsText(), L"ABC");
    VirtualFree(pages, 0, MEM_RELEASE);

    const wchar_t inner[] = L"AB\0CD";
    HostWnd().SendCopyData(Hwnd(), inner, sizeof(inner), 12345);
    EXPECT_EQ(DlsText(), L"AB");
}

TEST_F(HostFeedback, MissingTextEmptiesTheLineWithoutHarm)
{
    Enter(VIEW_RADIO_WINDOW);
    const wchar_t text[] = L"ABC";
    for (int which = 0; which < 3; ++which) {
        HostWnd().SendText(Hwnd(), L"이전");
        if (which == 0) HostWnd().SendCopyData(Hwnd(), text, 0);
        if (which == 1) HostWnd().SendCopyData(Hwnd(), nullptr, 64);
        if (which == 2) SendMessageW(Hwnd(), WM_COPYDATA, 0, 0);
        EXPECT_EQ(DlsText(), L"") << "case " << which;
        EXPECT_TRUE(Dlg().m_strDls.IsEmpty()) << "case " << which;
    }
}

}  // namespace
