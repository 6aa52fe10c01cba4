// Where a touch lands and what it presses: the element found at touch-down, the picture frame
// at touch-up, overlapping regions, list rows, scrolling and the ends of the channel range.
#include "ViewerFixture.h"

using namespace devtest;
using namespace viewertest;

namespace {

class TouchRegions : public ViewerTest {
protected:
    void StartIn(int nMode, int nTv = 8, int nRadio = 8)
    {
        Start(nTv, nRadio);
        Enter(nMode);
    }
    void OpenTvList()
    {
        Press(ELEM_TV_LIST);
        Free();
        ClearSent();
        ClearClicks();
    }
};

TEST_F(TouchRegions, TheElementUnderTheTouchDownRunsWhereverTheFingerLifts)
{
    StartIn(VIEW_TV_WINDOW);
    Down(At(ELEM_MUTE));
    EXPECT_EQ(Dlg().m_nHit, ELEM_MUTE);
    Up(kOutside);
    Free();
    Down(At(ELEM_CHANNEL_DOWN_ARROW));
    Up(At(ELEM_TV_LIST));
    EXPECT_EQ(Sent(), (Messages{{100, 23}, {47, 1}}));
    EXPECT_EQ(Dlg().m_nPanel, PANEL_MAIN);
}

TEST_F(TouchRegions, LiftingInThePictureAsksForFullScreenAndLeavesTheButtonPressed)
{
    StartIn(VIEW_TV_WINDOW);
    ASSERT_TRUE(Shows(ELEM_CHANNEL_DOWN_ARROW, 0));
    Down(At(ELEM_CHANNEL_DOWN_ARROW));
    EXPECT_TRUE(Shows(ELEM_CHANNEL_DOWN_ARROW, 1));
    Up(kPicture);
    EXPECT_EQ(Sent(), (Messages{{14, 66}}));
    EXPECT_EQ(Dlg().m_nTvChannel, 0);
    EXPECT_TRUE(Shows(ELEM_CHANNEL_DOWN_ARROW, 1));
    EXPECT_EQ(Dlg().m_bPressed, 1);
}

TEST_F(TouchRegions, AButtonIsDrawnPressedOnlyBetweenDownAndUp)
{
    StartIn(VIEW_TV_WINDOW);
    Down(At(ELEM_CLOSE_MAIN));
    EXPECT_TRUE(Shows(ELEM_CLOSE_MAIN, 1));
    Up(At(ELEM_CLOSE_MAIN));
    EXPECT_EQ(Dlg().m_bPressed, 0);
    // Mute changes its face only on the host's answer.
    Enter(VIEW_TV_WINDOW);
    ASSERT_TRUE(Shows(ELEM_MUTE, 1));
    Down(At(ELEM_MUTE));
    EXPECT_EQ(Dlg().m_bPressed, 0);
    EXPECT_TRUE(Shows(ELEM_MUTE, 1));
}

TEST_F(TouchRegions, WhereRegionsOverlapTheLaterOneWins)
{
    StartIn(VIEW_TV_WINDOW);
    OpenTvList();
    Down({582, 400});   // row 5 and the scroll-down button
    EXPECT_EQ(Dlg().m_nHit, ELEM_SCROLL_DOWN);
    Up({582, 400});
    EXPECT_EQ(Dlg().m_nTvListTop, 2);
    EXPECT_TRUE(Sent().empty());

    Free();
    Down({582, 200});   // row 0 and the scroll-up button
    EXPECT_EQ(Dlg().m_nHit, ELEM_SCROLL_UP);
    Up({582, 200});
    EXPECT_EQ(Dlg().m_nTvListTop, 1);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(TouchRegions, AListRowIsPressedUntilTheLiftThenTuned)
{
    StartIn(VIEW_TV_WINDOW);
    OpenTvList();
    ASSERT_TRUE(Shows(2, 0));
    Down(At(2));
    EXPECT_TRUE(Shows(2, 1));
    EXPECT_EQ(Dlg().m_nPressedChannel, 2);
    EXPECT_EQ(Dlg().m_bRowPressed, 1);
    Up(At(2));
    EXPECT_TRUE(Shows(2, 0));
    EXPECT_EQ(Dlg().m_bRowPressed, 0);
    EXPECT_EQ(Sent(), (Messages{{47, 2}}));
}

TEST_F(TouchRegions, ARowBeyondTheCountIsNotPressedAndFreesTheLock)
{
    StartIn(VIEW_TV_WINDOW, 3, 0);
    OpenTvList();
    Down(At(4));
    EXPECT_EQ(Dlg().m_nHit, 4);
    EXPECT_EQ(Dlg().m_bRowPressed, 0);
    EXPECT_TRUE(Shows(4, 0));
    Up(At(4));
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Clicks().size(), 1u);
    EXPECT_EQ(Dlg().m_bBusy, 0);
    EXPECT_EQ(Dlg().m_nTvChannel, 0);

    // An empty band: no row reacts.
    Press(ELEM_RADIO_LIST);
    Free();
    ClearSent();
    Press(0);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Dlg().m_bBusy, 0);
}

TEST_F(TouchRegions, DuringASearchNoRowIsPressed)
{
    StartIn(VIEW_TV_WINDOW);
    OpenTvList();
    Dlg().m_bSearching = 1;
    Down(At(1));
    EXPECT_EQ(Dlg().m_bRowPressed, 0);
    EXPECT_EQ(Dlg().m_bPressed, 0);
    EXPECT_EQ(Dlg().m_nPressedChannel, -1);
}

TEST_F(TouchRegions, SixOrFewerChannelsDoNotScroll)
{
    StartIn(VIEW_TV_WINDOW, 6, 8);
    OpenTvList();
    Press(ELEM_SCROLL_DOWN);
    EXPECT_TRUE(TakeTimer(TIMER_SWITCHED)) << "locked and clicked all the same";
    Free();
    Press(ELEM_SCROLL_UP);
    EXPECT_EQ(Dlg().m_nTvListTop, 1);
    EXPECT_EQ(Clicks().size(), 2u);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(TouchRegions, EightChannelsScrollTheTopFromOneToThree)
{
    StartIn(VIEW_TV_WINDOW, 8, 8);
    OpenTvList();
    std::vector<int> tops;
    for (int code : {ELEM_SCROLL_DOWN, ELEM_SCROLL_DOWN, ELEM_SCROLL_DOWN, ELEM_SCROLL_UP, ELEM_SCROLL_UP,
                     ELEM_SCROLL_UP}) {
        Free();
        Press(code);
        tops.push_back(Dlg().m_nTvListTop);
    }
    EXPECT_EQ(tops, (std::vector<int>{2, 3, 3, 2, 1, 1}));
    EXPECT_EQ(Dlg().m_nRadioListTop, 1);
}

TEST_F(TouchRegions, ChannelArrowsStopAtTheEndsOfTheBand)
{
    StartIn(VIEW_TV_WINDOW, 5, 1);
    Press(ELEM_CHANNEL_UP_ARROW);
    EXPECT_EQ(Dlg().m_nTvChannel, 0);
    Free();
    Dlg().m_nTvChannel = 4;
    Press(ELEM_CHANNEL_DOWN_ARROW);
    EXPECT_EQ(Dlg().m_nTvChannel, 4);
    EXPECT_TRUE(Sent().empty());

    Enter(VIEW_RADIO_WINDOW);
    for (int code : {ELEM_CHANNEL_UP_ARROW, ELEM_CHANNEL_DOWN_ARROW}) {
        Free();
        Press(code);
    }
    EXPECT_EQ(Dlg().m_nRadioChannel, 0);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Clicks().size(), 2u) << "refused by the range, not by the lock";
}

TEST_F(TouchRegions, NoChannelsNoTuning)
{
    StartIn(VIEW_TV_WINDOW, 0, 0);
    for (int code : {ELEM_CHANNEL_UP_ARROW, ELEM_CHANNEL_DOWN_ARROW}) {
        Free();
        Press(code);
    }
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(Dlg().m_nTvChannel, 0);
}

TEST_F(TouchRegions, OutsideTheWindowedViewsNoElementIsHit)
{
    StartIn(VIEW_TV_FULL);
    Down(At(ELEM_MUTE));
    EXPECT_EQ(Dlg().m_nHit, -1);
    EXPECT_EQ(Dlg().m_bPressed, 0);
}

}  // namespace
