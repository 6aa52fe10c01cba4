// Pen down and up on the panel: pressed images, presses that slide off or miss, the template's
// commands, and the close button's rectangle.
#include "PanelHarness.h"

#include <gtest/gtest.h>

using namespace devtest;
using namespace paneltest;

namespace {

using Codes = std::vector<std::pair<int, int>>;

class PanelTouch : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_panel = new Panel({{L"Bright", 3}, {L"FMTx", 881}, {L"Dimmer", 1}}); }
    static void TearDownTestSuite() { delete s_panel; }
    void SetUp() override
    {
        ASSERT_TRUE(s_panel->Started());
        ASSERT_TRUE(SlotShows(kBrightY, BrightSlot(3)));
        s_panel->Host().Clear();
    }
    static Panel* s_panel;
};
Panel* PanelTouch::s_panel = nullptr;

TEST_F(PanelTouch, PressActsOnlyWhenItWentDownOnThePanel)
{
    const ButtonArt& arrow = kBrightRightArt;
    TouchDown(s_panel->Hwnd(), kBrightRight.x, kBrightRight.y);
    EXPECT_TRUE(Shows(arrow.x, arrow.y, ButtonImage(arrow, true)));
    EXPECT_TRUE(s_panel->Host().Messages().empty());  // nothing acts on pen down

    TouchUp(s_panel->Hwnd(), 120, 300);
    ASSERT_TRUE(s_panel->Host().WaitFor(42, 4));
    EXPECT_TRUE(SlotShows(kBrightY, BrightSlot(4)));
    EXPECT_TRUE(Shows(arrow.x, arrow.y, ButtonImage(arrow, false)));
    ASSERT_TRUE(s_panel->Step(kBrightLeft, 42, 3));
    // A pen-up whose pen-down went to a window above the panel, closed while the pen was held.
    s_panel->Host().Clear();
    TouchUp(s_panel->Hwnd(), kBrightLeft.x, kBrightLeft.y);
    EXPECT_TRUE(s_panel->Settle(3));
}

// Each pen down is checked while the pen is still down, so a pressed image would still show.
// The comparisons poll: a repaint in progress may pass under a capture.
TEST_F(PanelTouch, PressOutsideEveryButtonDoesNothing)
{
    const Image before = ScreenArea(0, 0, 640, 480);
    // Just outside the arrows' rectangles (x 256-286 / 344-374, y 52-85 ...), between rows, on
    // the close button's left edge and on the black beyond the skin.
    const Point misses[] = {{255, 68}, {287, 68}, {271, 51}, {271, 86}, {343, 118}, {375, 168},
                            {359, 186}, {315, 68}, {403, 20}, {600, 400}};
    for (const Point& pt : misses) {
        TouchDown(s_panel->Hwnd(), pt.x, pt.y);
        ASSERT_TRUE(s_panel->Settle(3)) << pt.x << "," << pt.y;
        ASSERT_TRUE(Shows(0, 0, before)) << pt.x << "," << pt.y;
        TouchUp(s_panel->Hwnd(), pt.x, pt.y);
    }
    TouchDown(s_panel->Hwnd(), 200, 200);
    TouchUp(s_panel->Hwnd(), kBrightRight.x, kBrightRight.y);  // lifting on a button is no press
    ASSERT_TRUE(s_panel->Settle(3));
    EXPECT_TRUE(Shows(0, 0, before));
    EXPECT_TRUE(s_panel->Proc().Running());
}

TEST_F(PanelTouch, TemplateCommandsStepWithoutButtonImages)
{
    const Image arrows = ScreenArea(255, 51, 120, 135);
    const struct { int id, code, arg; } clicks[] = {
        {1011, 42, 4}, {1010, 42, 3}, {1018, 41, 883}, {1017, 41, 881}, {1022, 5, 8}, {1023, 5, 7},
    };
    for (const auto& c : clicks) {
        s_panel->Host().Clear();
        s_panel->Click(c.id);
        ASSERT_TRUE(s_panel->Host().WaitFor(c.code, c.arg)) << c.id;
    }
    EXPECT_TRUE(SlotShows(kFmY, FmSlot(881)));
    EXPECT_TRUE(SlotShows(kDimmerY, DimmerSlot(1)));
    EXPECT_TRUE(Shows(255, 51, arrows));

    // The other controls have no commands; the three small visible buttons included.
    s_panel->Host().Clear();
    for (int id : {1007, 1008, 1016, 1020, 1025, 1026, 1003, 1000, 1001, 1002}) s_panel->Click(id);
    ASSERT_TRUE(s_panel->Settle(3));
    EXPECT_TRUE(s_panel->Proc().Running());
}

// The close rectangle is x 404-492, y up to 48; (9, 0) goes out while the panel still shows.
TEST(PanelClose, RectangleEdgesAndTheClosingBroadcast)
{
    Panel panel({{L"Bright", 5}});
    ASSERT_TRUE(panel.Started());
    ASSERT_TRUE(SlotShows(kBrightY, BrightSlot(5)));
    panel.Host().Clear();
    for (const Point& pt : {Point{403, 20}, Point{493, 20}, Point{450, 49}}) panel.Tap(pt);
    ASSERT_TRUE(panel.Settle(5));
    ASSERT_TRUE(panel.Proc().Running());

    bool shownAtBroadcast = false;
    panel.Host().SetAnswer([&](HostWindow&, int code, int) {
        if (code == 9) shownAtBroadcast = IsWindowVisible(panel.Hwnd()) != FALSE;
    });
    panel.Tap({404, 48});
    ASSERT_TRUE(panel.Host().WaitFor(9, 0));
    EXPECT_TRUE(shownAtBroadcast);
    EXPECT_TRUE(panel.Proc().WaitExit());
    EXPECT_EQ(panel.Host().Codes(), (Codes{{9, 0}}));

    // The name is free again: the next start runs; its close button shows pressed while held.
    Panel next({});
    ASSERT_TRUE(next.Started());
    ASSERT_TRUE(SlotShows(kBrightY, BrightSlot(5)));  // painted: a press now draws over the skin
    TouchDown(next.Hwnd(), 492, 0);
    EXPECT_TRUE(Shows(kCloseArt.x, kCloseArt.y, ButtonImage(kCloseArt, true)));
    TouchUp(next.Hwnd(), 492, 0);
    EXPECT_TRUE(next.Host().WaitFor(9, 0));
    EXPECT_TRUE(next.Proc().WaitExit());
}

}  // namespace
