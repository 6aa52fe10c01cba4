// What each tap tells the host, in order, and what the viewer does itself: the picture and its
// halves and quarters, every button of both panels, and the search that silences the rest.
#include "ViewerFixture.h"

#include <climits>

using namespace devtest;
using namespace viewertest;

namespace {

class TouchCommands : public ViewerTest {
protected:
    // Picture-in-picture in the top-left quarter, DAB line wanted.
    void StartIn(int nMode, int nTv = 8, int nRadio = 8)
    {
        Start(nTv, nRadio);
        Dlg().m_nPipPos = 0;
        Dlg().m_bDlsOn = 1;
        Enter(nMode);
    }
    bool OverlayAt(LONG l, LONG t, LONG r, LONG b)
    {
        ddsim::Display d = ddsim::GetDisplay();
        return d.overlayShown && RectIs(d.dst, l, t, r, b);
    }
};

// ---- the picture ---------------------------------------------------------------------------

TEST_F(TouchCommands, PictureTapAnnouncesFullScreenAndWaitsForTheHost)
{
    StartIn(VIEW_RADIO_WINDOW);
    Tap(kPicture);
    EXPECT_EQ(Sent(), (Messages{{14, 66}}));
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_RADIO_FULL);
    EXPECT_EQ(Dlg().m_nLastViewMode, VIEW_RADIO_FULL);
    EXPECT_EQ(Dlg().m_bBusy, 1);
    EXPECT_TRUE(OverlayAt(0, 132, 320, 372)) << "the picture stays in the frame until the host confirms";
    EXPECT_TRUE(Clicks().empty());

    Host(16, 41);
    EXPECT_TRUE(OverlayAt(0, 0, 640, 416)) << "radio full screen over the DAB line";
    EXPECT_TRUE(RectIs(DlsRect(), 0, 416, 640, 480));
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_RADIO_FULL);
}

TEST_F(TouchCommands, AnAnswerFromInsideTheHostIsServedBeforeTheTapsTimer)
{
    StartIn(VIEW_TV_WINDOW);
    std::vector<bool> fullWhenAnswered;
    HostWnd().SetAnswer([&](HostWindow& host, int code, int arg) {
        if (code == 14 && arg == 66) host.Broadcast(16, 40);
        fullWhenAnswered.push_back(OverlayAt(0, 0, 640, 480));
    });
    Tap(kPicture);
    ASSERT_EQ(fullWhenAnswered, std::vector<bool>{true});
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_FULL);
    // The switch ran inside the broadcast (its timer 80), the tap's own timer 50 after it.
    EXPECT_TRUE(TakeTimer(TIMER_SWITCHED));
    EXPECT_TRUE(TakeTimer(TIMER_RELEASE));
}

TEST_F(TouchCommands, FullScreenLeftHalfAsksForPictureInPicture)
{
    StartIn(VIEW_TV_FULL);
    Tap({319, 200});
    EXPECT_EQ(Sent(), (Messages{{102, 1}}));
    EXPECT_EQ(Dlg().m_nPipRequest, 1) << "the viewer's own broadcast came back to it";
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_FULL);
    EXPECT_EQ(Dlg().m_bBusy, 1);

    Host(16, 48);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_PIP);
    EXPECT_EQ(Dlg().m_nPipRequest, 0);
}

TEST_F(TouchCommands, FullScreenRightHalfGoesBackToTheWindow)
{
    StartIn(VIEW_RADIO_FULL);
    ASSERT_GT(DlsRect().right - DlsRect().left, 0) << "radio full screen shows the DAB line";
    Tap({320, 200});
    EXPECT_EQ(Sent(), (Messages{{14, 74}, {102, 2}}));
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_RADIO_WINDOW);
    EXPECT_EQ(Dlg().m_nLastViewMode, VIEW_RADIO_WINDOW);
    EXPECT_EQ(Dlg().m_nPipRequest, 2);
    EXPECT_TRUE(RectIs(DlsRect(), 0, 0, 0, 0));

    Host(16, 56);
    EXPECT_TRUE(OverlayAt(0, 132, 320, 372));
}

// ---- picture-in-picture quarters (window 320 x 240) -----------------------------------------

TEST_F(TouchCommands, PipTopLeftParksTheViewer)
{
    StartIn(VIEW_TV_PIP);
    Tap({159, 119});
    EXPECT_EQ(Sent(), (Messages{{100, 26}}));
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_HIDDEN);
    EXPECT_TRUE(RectIs(WindowRect(), 0, 0, 0, 0));
    EXPECT_FALSE(ddsim::GetDisplay().overlayShown);
}

TEST_F(TouchCommands, PipTopRightAnnouncesFullScreen)
{
    StartIn(VIEW_RADIO_PIP);
    Tap({160, 10});
    EXPECT_EQ(Sent(), (Messages{{14, 66}}));
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_RADIO_FULL);
    EXPECT_EQ(Dlg().m_nLastViewMode, VIEW_RADIO_FULL);
    EXPECT_EQ(Dlg().m_bBusy, 1);
}

TEST_F(TouchCommands, PipBottomLeftLeavesThroughFullScreenToTheWindow)
{
    StartIn(VIEW_TV_PIP);
    Tap({10, 121});
    EXPECT_EQ(Sent(), (Messages{{14, 74}, {90, 52}}));
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_WINDOW);
    EXPECT_EQ(Dlg().m_nLastViewMode, VIEW_TV_WINDOW);
    EXPECT_TRUE(RectIs(WindowRect(), 0, 0, 640, 480));
    EXPECT_TRUE(OverlayAt(0, 132, 320, 372));
    EXPECT_EQ(ddsim::GetDisplay().escapeX, 45);
}

TEST_F(TouchCommands, PipBottomRightMovesToTheNextQuarterWithoutTheLock)
{
    StartIn(VIEW_TV_PIP);
    ASSERT_EQ(Dlg().m_nPipPos, 0);
    Tap({300, 200});
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Dlg().m_nPipPos, 1);
    RECT rc = WindowRect();
    EXPECT_TRUE(RectIs(rc, 320, 0, 640, 240)) << rc.left << "," << rc.top << "," << rc.right << "," << rc.bottom;
    EXPECT_EQ(ddsim::GetDisplay().escapeX, 320);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_PIP);
    EXPECT_EQ(Dlg().m_bBusy, 0);
}

TEST_F(TouchCommands, PipMiddleLineDoesNothing)
{
    StartIn(VIEW_TV_PIP);
    const size_t calls = ddsim::Log().size();
    for (POINT p : {POINT{10, 120}, POINT{300, 120}}) Tap(p);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_PIP);
    EXPECT_EQ(Dlg().m_nPipPos, 0);
    EXPECT_EQ(Dlg().m_bBusy, 0);
    EXPECT_TRUE(CallsSince(calls).empty());
}

TEST_F(TouchCommands, ParkedViewerTakesNoTap)
{
    Start();
    ASSERT_EQ(Dlg().m_nViewMode, VIEW_HIDDEN);
    for (POINT p : {kPicture, At(ELEM_CLOSE_MAIN), At(ELEM_MUTE)}) Tap(p);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Dlg().m_nHit, -1);
    EXPECT_TRUE(Clicks().empty());
}

// ---- main panel ----------------------------------------------------------------------------

TEST_F(TouchCommands, CloseParksWindowAndOverlay)
{
    StartIn(VIEW_TV_WINDOW);
    Press(ELEM_CLOSE_MAIN);
    EXPECT_EQ(Sent(), (Messages{{100, 26}}));
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_HIDDEN);
    EXPECT_TRUE(RectIs(WindowRect(), 0, 0, 0, 0));
    EXPECT_FALSE(ddsim::GetDisplay().overlayShown);
    EXPECT_EQ(Clicks().size(), 1u);
}

TEST_F(TouchCommands, MuteAndPipAskTheHostAndKeepTheLock)
{
    StartIn(VIEW_TV_WINDOW);
    Press(ELEM_MUTE);
    EXPECT_EQ(Sent(), (Messages{{100, 23}}));
    EXPECT_EQ(Dlg().m_nMuteState, MUTE_STATE_SOUND) << "the icon waits for the host's answer";
    EXPECT_FALSE(TakeTimer(TIMER_RELEASE));
    Free();
    ClearSent();

    Press(ELEM_PIP);
    EXPECT_EQ(Sent(), (Messages{{100, 24}}));
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_WINDOW);
    EXPECT_FALSE(ddsim::GetDisplay().overlayShown) << "the changing notice hides the picture";
    EXPECT_EQ(Dlg().m_bBusy, 1);
    EXPECT_FALSE(TakeTimer(TIMER_RELEASE));
}

TEST_F(TouchCommands, BandToggleSwitchesBandAndEmptiesTheDabLine)
{
    StartIn(VIEW_RADIO_WINDOW);
    HostWnd().SendText(Hwnd(), L"KBS 음악 FM");
    ASSERT_EQ(DlsText(), L"KBS 음악 FM");
    Press(ELEM_BAND);
    EXPECT_EQ(Sent(), (Messages{{100, 25}}));
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_WINDOW);
    EXPECT_EQ(DlsText(), L"");
    EXPECT_TRUE(Dlg().m_strDls.IsEmpty());
    Free();
    Press(ELEM_BAND);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_RADIO_WINDOW);
}

TEST_F(TouchCommands, VolumeStepsWithinOneToTen)
{
    ASSERT_TRUE(WriteDword(L"Volume", 5));
    StartIn(VIEW_TV_WINDOW);
    ASSERT_EQ(Dlg().m_nVolume, 5);
    Press(ELEM_VOLUME_UP);
    EXPECT_EQ(Dlg().m_nVolume, 6);
    Free();
    Press(ELEM_VOLUME_DOWN);
    Free();
    Press(ELEM_VOLUME_DOWN);
    EXPECT_EQ(Sent(), (Messages{{100, 11}, {100, 12}, {100, 12}}));
    EXPECT_EQ(Dlg().m_nVolume, 4);

    Free();
    Dlg().m_nVolume = 9;   // the last step that is taken
    Press(ELEM_VOLUME_UP);
    EXPECT_EQ(Dlg().m_nVolume, 10);
    EXPECT_EQ(Sent(), (Messages{{100, 11}, {100, 12}, {100, 12}, {100, 11}}));
    ClearSent();
    Free();
    Dlg().m_nVolume = 10;
    Press(ELEM_VOLUME_UP);
    EXPECT_EQ(Dlg().m_nVolume, 10);
    Free();
    Dlg().m_nVolume = 1;
    Press(ELEM_VOLUME_DOWN);
    EXPECT_EQ(Dlg().m_nVolume, 1);
    // Stored by someone else at the edges of int: clamped without overflowing.
    for (int edge : {INT_MAX, INT_MIN}) {
        Free();
        Dlg().m_nVolume = edge;
        Press(edge == INT_MAX ? ELEM_VOLUME_UP : ELEM_VOLUME_DOWN);
        EXPECT_EQ(Dlg().m_nVolume, edge == INT_MAX ? 10 : 1);
    }
    EXPECT_TRUE(Sent().empty()) << "a clamped step is not sent";
    EXPECT_TRUE(TakeTimer(TIMER_RELEASE));
}

TEST_F(TouchCommands, ChannelArrowsTuneTheCurrentBand)
{
    StartIn(VIEW_RADIO_WINDOW);
    Dlg().m_nRadioChannel = 3;
    Dlg().m_nTvChannel = 6;
    Press(ELEM_CHANNEL_UP_ARROW);
    Free();
    Press(ELEM_CHANNEL_DOWN_ARROW);
    Free();
    Press(ELEM_CHANNEL_DOWN_ARROW);
    EXPECT_EQ(Sent(), (Messages{{47, 2}, {47, 3}, {47, 4}}));
    EXPECT_EQ(Dlg().m_nRadioChannel, 4);
    EXPECT_EQ(Dlg().m_nTvChannel, 6);
}

TEST_F(TouchCommands, DlsToggleIsStoredAndDrawn)
{
    ASSERT_TRUE(WriteDword(L"DLS", 1));
    StartIn(VIEW_TV_WINDOW);
    ASSERT_TRUE(Shows(ELEM_DLS, 1));
    Press(ELEM_DLS);
    EXPECT_EQ(Dlg().m_bDlsOn, 0);
    EXPECT_EQ(ReadDword(L"DLS"), std::optional<DWORD>(0));
    EXPECT_TRUE(Shows(ELEM_DLS, 0));
    Free();
    Press(ELEM_DLS);
    EXPECT_EQ(ReadDword(L"DLS"), std::optional<DWORD>(1));
    EXPECT_TRUE(Shows(ELEM_DLS, 1));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(TouchCommands, SettingsParksTheOverlayUntilTheHostResumesIt)
{
    StartIn(VIEW_TV_WINDOW);
    Press(ELEM_SETTINGS);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Clicks().size(), 1u);
    EXPECT_EQ(Dlg().m_bBusy, 0) << "the settings button only clicks";
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_WINDOW);
    EXPECT_EQ(Dlg().m_nResumeAfterSettings, 1);
    EXPECT_FALSE(ddsim::GetDisplay().overlayShown);

    Host(16, 90);
    EXPECT_TRUE(OverlayAt(0, 132, 320, 372));
    EXPECT_EQ(Dlg().m_nResumeAfterSettings, 0);
}

// ---- lists ---------------------------------------------------------------------------------

TEST_F(TouchCommands, ListButtonsSelectTheirBandAndMainMenuRestoresThePlayingOne)
{
    StartIn(VIEW_RADIO_WINDOW);
    Press(ELEM_TV_LIST);
    EXPECT_EQ(Sent(), (Messages{{56, 1}, {48, 1}}));
    EXPECT_EQ(Dlg().m_nPanel, PANEL_LIST);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_WINDOW);
    EXPECT_EQ(Dlg().m_nPlayingMode, VIEW_RADIO_WINDOW);
    EXPECT_EQ(Dlg().m_bListOpen, 1);
    EXPECT_TRUE(TakeTimer(TIMER_RELEASE));

    Free();
    ClearSent();
    Press(ELEM_RADIO_LIST);
    EXPECT_EQ(Sent(), (Messages{{48, 2}}));
    EXPECT_EQ(Dlg().m_nPlayingMode, VIEW_RADIO_WINDOW) << "kept from the first list";
    Free();
    Press(ELEM_TV_LIST);

    Free();
    ClearSent();
    Press(ELEM_MAIN_MENU);
    EXPECT_EQ(Sent(), (Messages{{48, 2}}));
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_RADIO_WINDOW);
    EXPECT_EQ(Dlg().m_nPanel, PANEL_MAIN);
    EXPECT_EQ(Dlg().m_bListOpen, 0);

    Free();
    ClearSent();
    Press(ELEM_MAIN_MENU);
    EXPECT_TRUE(Sent().empty()) << "no list open: nothing to restore";
    EXPECT_EQ(Dlg().m_nPanel, PANEL_MAIN);
}

TEST_F(TouchCommands, ListPickTunesTheRowsChannel)
{
    StartIn(VIEW_TV_WINDOW, 12, 8);
    Press(ELEM_TV_LIST);
    Free();
    ClearSent();
    Dlg().m_nTvListTop = 4;
    Press(3);
    EXPECT_EQ(Sent(), (Messages{{47, 6}}));
    EXPECT_EQ(Dlg().m_nTvChannel, 6);
    EXPECT_EQ(Dlg().m_bListOpen, 0);
    EXPECT_EQ(Dlg().m_nPlayingMode, VIEW_TV_WINDOW);
    EXPECT_EQ(Dlg().m_bBusy, 1) << "no timer: the host's answer frees the lock";
    EXPECT_FALSE(TakeTimer(TIMER_RELEASE));
}

TEST_F(TouchCommands, RadioPickEmptiesTheDabLineAfterTheHostsAnswer)
{
    StartIn(VIEW_RADIO_WINDOW);
    Press(ELEM_RADIO_LIST);
    Free();
    ClearSent();
    HostWnd().SetAnswer([&](HostWindow& host, int code, int) {
        if (code == 47) host.SendText(Hwnd(), L"이전 방송의 글");
    });
    Press(0);
    EXPECT_EQ(Sent(), (Messages{{47, 0}}));
    EXPECT_EQ(Dlg().m_nRadioChannel, 0);
    EXPECT_EQ(DlsText(), L"") << "the pick empties the line after the broadcast returns";
    EXPECT_EQ(Dlg().m_nPlayingMode, VIEW_RADIO_WINDOW);
}

// ---- search --------------------------------------------------------------------------------

TEST_F(TouchCommands, DuringASearchOnlyTheSearchButtonActs)
{
    StartIn(VIEW_TV_WINDOW);
    Press(ELEM_SEARCH);
    EXPECT_EQ(Sent(), (Messages{{14, 68}}));
    EXPECT_EQ(Dlg().m_bSearching, 1);
    EXPECT_EQ(Dlg().m_bBusy, 0);
    EXPECT_FALSE(ddsim::GetDisplay().overlayShown);
    ASSERT_EQ(Clicks().size(), 1u);

    ClearSent();
    ClearClicks();
    for (int code : {ELEM_CLOSE_MAIN, ELEM_CHANNEL_UP_ARROW, ELEM_CHANNEL_DOWN_ARROW, ELEM_VOLUME_UP, ELEM_VOLUME_DOWN, ELEM_MUTE,
                     ELEM_SETTINGS, ELEM_BAND, ELEM_PIP, ELEM_MAIN_MENU, ELEM_TV_LIST, ELEM_RADIO_LIST, ELEM_DLS})
        Press(code);
    Tap(kPicture);
    Dlg().m_nPanel = PANEL_LIST;
    for (int code : {0, 2, int(ELEM_SCROLL_UP), int(ELEM_SCROLL_DOWN), int(ELEM_CLOSE_LIST)}) Press(code);
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(Clicks().empty());
    EXPECT_EQ(Dlg().m_bBusy, 0);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_WINDOW);
    EXPECT_EQ(Dlg().m_nResumeAfterSettings, 0);

    // The gate stays open while searching, even with the lock taken.
    Dlg().m_nPanel = PANEL_MAIN;
    Dlg().m_bBusy = 1;
    Press(ELEM_SEARCH);
    EXPECT_EQ(Sent(), (Messages{{14, 68}}));
    EXPECT_EQ(Clicks().size(), 1u);
}

TEST_F(TouchCommands, ClicksComeFromTheProgramsOwnSoundResource)
{
    StartIn(VIEW_TV_WINDOW);
    Press(ELEM_MUTE);
    ASSERT_EQ(Clicks().size(), 1u);
    EXPECT_EQ(Clicks()[0].resource, 167u);
    EXPECT_EQ(Clicks()[0].module, Dlg().m_hInstance);
    EXPECT_EQ(Clicks()[0].flags, static_cast<DWORD>(SND_RESOURCE | SND_ASYNC));
    Free();
    Tap(kOutside);
    EXPECT_EQ(Clicks().size(), 1u) << "no element, no click";
}

}  // namespace
