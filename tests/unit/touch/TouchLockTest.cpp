// The busy lock: what it refuses, which timer frees it after which command, the watchdog of five
// touch-downs, the settling after a windowed switch, and the reload timers. The viewer's timers
// tick on the fixture's clock: a lock freed "after 500 ms" is freed by the tick of a 500 ms timer.
#include "ViewerFixture.h"

using namespace devtest;
using namespace viewertest;

namespace {

class TouchLock : public ViewerTest {
protected:
    void SetUp() override
    {
        ViewerTest::SetUp();
        Start(8, 8);
        Enter(VIEW_TV_WINDOW);
    }
    // The lock taken by a command that starts no timer of its own.
    void StuckLock()
    {
        Press(ELEM_MUTE);
        ASSERT_EQ(Dlg().m_bBusy, 1);
        Dlg().m_nTapCount = 0;
        ClearSent();
    }
    // Moves the clock on well past every timer the viewer has, and tells whether the lock is still taken.
    bool StillBusyLongAfter()
    {
        Clock().Advance(60000);
        return Dlg().m_bBusy == 1;
    }
};

TEST_F(TouchLock, LockOrSettlingRefusesEveryTouch)
{
    for (int which = 0; which < 2; ++which) {
        Free();
        (which ? Dlg().m_bSettling : Dlg().m_bBusy) = 1;
        for (int code : {ELEM_MUTE, ELEM_CLOSE_MAIN, ELEM_SEARCH, ELEM_TV_LIST}) {
            Down(At(code));
            EXPECT_EQ(Dlg().m_nHit, -1) << "element " << code;
            Up(At(code));
        }
        Tap(kPicture);
    }
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(Clicks().empty());
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_WINDOW);
}

TEST_F(TouchLock, TimerFiftyFreesAfterHalfASecond)
{
    for (int code : {ELEM_CHANNEL_DOWN_ARROW, ELEM_DLS, ELEM_TV_LIST, ELEM_MAIN_MENU}) {
        Press(code);
        ASSERT_EQ(Dlg().m_bBusy, 1) << "element " << code;
        EXPECT_EQ(Period(TIMER_RELEASE), 500u) << "element " << code;
        EXPECT_EQ(MsUntilFree(), 500) << "element " << code;
    }
    Tap(kPicture);
    EXPECT_EQ(Period(TIMER_RELEASE), 500u);
    EXPECT_EQ(MsUntilFree(), 500);
}

TEST_F(TouchLock, ScrollingAndSwitchesFreeAfterTwoHundredMilliseconds)
{
    Press(ELEM_TV_LIST);
    Free();
    Press(ELEM_SCROLL_DOWN);
    EXPECT_EQ(Period(TIMER_SWITCHED), 200u);
    EXPECT_EQ(MsUntilFree(), 200);

    Press(ELEM_CLOSE_LIST);
    EXPECT_EQ(Period(TIMER_SWITCHED), 200u) << "the switch's own timer 80";
    EXPECT_EQ(MsUntilFree(), 200);
}

TEST_F(TouchLock, WithoutAnAnswerTheLockStaysUntilTheHostFreesIt)
{
    StuckLock();
    EXPECT_TRUE(StillBusyLongAfter());
    Host(80, 0);
    EXPECT_EQ(Period(TIMER_WATCHDOG), 100u);
    EXPECT_EQ(MsUntilFree(), 100);
}

TEST_F(TouchLock, FiveQuickTouchDownsFreeAStuckLock)
{
    StuckLock();
    for (int i = 0; i < 4; ++i) Down(kOutside);
    EXPECT_TRUE(StillBusyLongAfter()) << "four are not enough";
    Down(kOutside);
    EXPECT_EQ(Dlg().m_nTapCount, 0);
    EXPECT_EQ(MsUntilFree(), 100) << "the watchdog's tick";
    Press(ELEM_MUTE);
    EXPECT_EQ(Sent(), (Messages{{100, 23}})) << "touches are taken again";
}

TEST_F(TouchLock, ASearchKeepsTheLockUntilItEnds)
{
    Dlg().m_bSearching = 1;
    Dlg().m_bBusy = 1;
    for (int i = 0; i < 5; ++i) Down(kOutside);
    Host(80, 0);
    EXPECT_TRUE(StillBusyLongAfter());
    EXPECT_EQ(Dlg().m_nTapCount, 0);

    Host(80, 1);
    EXPECT_EQ(Dlg().m_bSearching, 0);
    for (int i = 0; i < 5; ++i) Down(kOutside);
    EXPECT_EQ(MsUntilFree(), 100);
}

TEST_F(TouchLock, VolumeKeysWhileMutedClickAndLockWithoutChange)
{
    Host(101, 11);
    ASSERT_EQ(Dlg().m_nMuteState, MUTE_STATE_MUTED);
    Dlg().m_nVolume = 5;
    for (int code : {ELEM_VOLUME_UP, ELEM_VOLUME_DOWN}) {
        ClearClicks();
        Press(code);
        EXPECT_EQ(Clicks().size(), 1u) << "element " << code;
        EXPECT_EQ(Dlg().m_nVolume, 5);
        EXPECT_EQ(MsUntilFree(), 500) << "element " << code;
    }
    EXPECT_TRUE(Sent().empty());
}

TEST_F(TouchLock, AWindowedSwitchRefusesTouchesForTwoSeconds)
{
    SwitchOverlayMode(&Dlg(), VIEW_TV_WINDOW);
    ASSERT_EQ(Dlg().m_bSettling, 1);
    EXPECT_EQ(Period(TIMER_SETTLING), 2000u);
    Press(ELEM_MUTE);
    EXPECT_TRUE(Sent().empty()) << "still settling";
    EXPECT_EQ(Clock().AdvanceUntil([&] { return Dlg().m_bSettling == 0; }, 60000), 2000);
    Press(ELEM_MUTE);
    EXPECT_EQ(Sent(), (Messages{{100, 23}}));
}

TEST_F(TouchLock, ReloadTimersLeadToTheRadioWindowAndOtherIdsDoNothing)
{
    Dlg().m_bBusy = 1;
    Dlg().m_bSettling = 1;
    for (UINT_PTR id : {3u, 20u, 99u}) Dlg().OnTimer(id);
    EXPECT_EQ(Dlg().m_bBusy, 1);
    EXPECT_EQ(Dlg().m_bSettling, 1);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_WINDOW);

    Free();
    SetTimer(Hwnd(), TIMER_RELOAD_1, 10000, nullptr);
    Dlg().OnTimer(TIMER_RELOAD_1);
    EXPECT_FALSE(TakeTimer(TIMER_RELOAD_1));
    EXPECT_TRUE(TakeTimer(TIMER_RELOAD_2));
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_TV_WINDOW);

    Dlg().OnTimer(TIMER_RELOAD_2);
    EXPECT_EQ(Dlg().m_nViewMode, VIEW_RADIO_WINDOW);
    EXPECT_EQ(Dlg().m_nLastViewMode, VIEW_RADIO_WINDOW);
    EXPECT_TRUE(RectIs(WindowRect(), 0, 0, 640, 480));
    EXPECT_TRUE(ddsim::GetDisplay().overlayShown);
}

}  // namespace
