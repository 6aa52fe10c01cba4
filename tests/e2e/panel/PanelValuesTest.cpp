// Each arrow's broadcast, the wraps of the three values and what the slots show after each step.
#include "PanelHarness.h"

#include <gtest/gtest.h>

using namespace devtest;
using namespace paneltest;

namespace {

// One panel for the suite; each case works one row and leaves it as it found it.
class PanelValues : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_panel = new Panel({{L"Bright", 9}, {L"FMTx", 895}, {L"Dimmer", 0}}); }
    static void TearDownTestSuite() { delete s_panel; }
    void SetUp() override { ASSERT_TRUE(s_panel->Started()); }
    static Panel* s_panel;
};
Panel* PanelValues::s_panel = nullptr;

struct Step { Point pt; int code, arg; };

TEST_F(PanelValues, StartShowsTheStoredValues)
{
    EXPECT_TRUE(SlotShows(kBrightY, BrightSlot(9)));
    EXPECT_TRUE(SlotShows(kFmY, FmSlot(895)));
    EXPECT_TRUE(SlotShows(kDimmerY, DimmerSlot(0)));
}

TEST_F(PanelValues, BrightnessCyclesZeroToTenBothWays)
{
    const Step steps[] = {{kBrightRight, 42, 10}, {kBrightRight, 42, 0}, {kBrightLeft, 42, 10}, {kBrightLeft, 42, 9}};
    for (const Step& s : steps) {
        ASSERT_TRUE(s_panel->Step(s.pt, s.code, s.arg)) << "to " << s.arg;
        EXPECT_TRUE(SlotShows(kBrightY, BrightSlot(s.arg))) << s.arg;
    }
}

TEST_F(PanelValues, FmStepsByTwoAndWrapsThroughMute)
{
    const int values[] = {897, 875, 877, 879, 881, 879, 877, 875, 897, 895};
    const bool up[] = {true, true, true, true, true, false, false, false, false, false};
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(s_panel->Step(up[i] ? kFmRight : kFmLeft, 41, values[i])) << "to " << values[i];
        EXPECT_TRUE(SlotShows(kFmY, FmSlot(values[i]))) << values[i];
    }
}

TEST_F(PanelValues, DimmerArrowsBothToggle)
{
    const Step steps[] = {{kDimmerRight, 5, 7}, {kDimmerLeft, 5, 8}, {kDimmerLeft, 5, 7}, {kDimmerRight, 5, 8}};
    for (const Step& s : steps) {
        ASSERT_TRUE(s_panel->Step(s.pt, s.code, s.arg)) << "argument " << s.arg;
        EXPECT_TRUE(SlotShows(kDimmerY, DimmerSlot(s.arg == 7 ? 1 : 0))) << s.arg;
    }
}

// Values at the edges of int, written by someone else: each step wraps without overflowing.
TEST(PanelOddValues, EdgesOfIntStepAndWrapWithoutOverflow)
{
    const DWORD kMaxInt = 0x7FFFFFFF, kMinInt = 0x80000000;
    for (bool high : {true, false}) {
        Panel panel({{L"Bright", high ? kMaxInt : kMinInt}, {L"FMTx", high ? kMinInt : kMaxInt}, {L"Dimmer", 0}});
        ASSERT_TRUE(panel.Started());
        ASSERT_TRUE(panel.Step(high ? kBrightRight : kBrightLeft, 42, high ? 0 : 10));
        EXPECT_TRUE(SlotShows(kBrightY, BrightSlot(high ? 0 : 10)));
        ASSERT_TRUE(panel.Step(high ? kFmLeft : kFmRight, 41, high ? 897 : 875));
        EXPECT_TRUE(SlotShows(kFmY, FmSlot(high ? 897 : 875)));
    }
}

// Values no step produces, as the store may hold them: shown by the slot rules, stepped as written.
TEST(PanelOddValues, ShownAndSteppedAsStored)
{
    Panel panel({{L"Bright", 15}, {L"FMTx", 0}, {L"Dimmer", 2}});
    ASSERT_TRUE(panel.Started());
    const Image skinDimmerSlot = Part(PanelBitmap(175), kSlotX, kDimmerY, 44, 16);
    EXPECT_TRUE(SlotShows(kBrightY, BrightSlot(15)));  // the empty slot
    EXPECT_TRUE(SlotShows(kFmY, FmSlot(0)));           // 00.0
    EXPECT_TRUE(SlotShows(kDimmerY, skinDimmerSlot));  // nothing drawn over the skin

    ASSERT_TRUE(panel.Step(kFmRight, 41, 2));
    EXPECT_TRUE(SlotShows(kFmY, FmSlot(2)));
    ASSERT_TRUE(panel.Step(kFmLeft, 41, 897));  // 0 is below 875 too
    EXPECT_TRUE(SlotShows(kFmY, FmSlot(897)));

    ASSERT_TRUE(panel.Step(kBrightLeft, 42, 14));
    EXPECT_TRUE(SlotShows(kBrightY, BrightSlot(14)));
    ASSERT_TRUE(panel.Step(kBrightRight, 42, 0));  // only the crossed bound wraps
    EXPECT_TRUE(SlotShows(kBrightY, BrightSlot(0)));

    // Dimmer 2: neither arrow changes it or sends anything.
    panel.Host().Clear();
    panel.Tap(kDimmerLeft);
    panel.Tap(kDimmerRight);
    ASSERT_TRUE(panel.Settle(0));
    EXPECT_TRUE(SlotShows(kDimmerY, skinDimmerSlot));
}

}  // namespace
