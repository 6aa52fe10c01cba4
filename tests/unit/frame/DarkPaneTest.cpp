// DarkPane's five seconds on a clock the test moves: each paint sets the pane's timer again, and
// the pane ends on that timer's tick, not before.
#include <gtest/gtest.h>

#include "DarkPaneDlg.h"
#include "FakeTimers.h"
#include "res/DarkPaneRes.h"

namespace {

struct Pane : CDarkPaneDlg {
    // Ended the way a modal run ends: the dialog's result is in and its loop told to stop.
    bool Ended() const { return !m_bContinueModal && m_nModalResult == IDOK; }
};

class DarkPaneClock : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dlg.Create(IDD_MAIN_DIALOG));
        ::ShowWindow(dlg.m_hWnd, SW_SHOW);
        Paint();
    }
    void TearDown() override
    {
        if (dlg.m_hWnd) ::DestroyWindow(dlg.m_hWnd);
    }
    void Paint()
    {
        ::RedrawWindow(dlg.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    bool Ended() const { return dlg.Ended(); }
    // The one timer the pane keeps, with its period; 0 when it has none.
    UINT PanePeriod() const
    {
        return clock.Pending().size() == 1 && clock.Pending()[0].hwnd == dlg.m_hWnd ? clock.Pending()[0].periodMs : 0;
    }

    devtest::FakeTimers clock;
    Pane dlg;
};

TEST_F(DarkPaneClock, EndsOnTheTickFiveSecondsAfterItsPaint)
{
    EXPECT_EQ(PanePeriod(), 5000u);
    EXPECT_EQ(clock.AdvanceUntil([&] { return Ended(); }, 60000), 5000);
    EXPECT_TRUE(clock.Pending().empty()) << "its timer goes with it";
}

TEST_F(DarkPaneClock, ARepaintStartsTheFiveSecondsOver)
{
    clock.Advance(3000);
    ASSERT_FALSE(Ended());
    Paint();
    EXPECT_EQ(PanePeriod(), 5000u);
    EXPECT_EQ(clock.AdvanceUntil([&] { return Ended(); }, 60000), 5000) << "counted from the repaint";
}

}  // namespace
