// The single-instance guard of the viewer, and the unguarded programs beside it.
#include <gtest/gtest.h>
#include "DeviceTest.h"

using namespace devtest;

namespace {

HWND WaitForViewer(const Process& p)
{
    return WaitForWindow(L"TVSCREEN", kHangMs, p.Id());
}

// Ends the viewer's modal run the way the platform's default dialog handling does.
void EndModalRun(HWND viewer, WPARAM endCode)
{
    PostMessageW(viewer, WM_COMMAND, MAKEWPARAM(endCode, BN_CLICKED), 0);
}

TEST(ViewerGuard, SecondStartEndsAtOnceAndBringsTheFirstToTheFront)
{
    Process first = Start(L"TVSCREEN.exe");
    HWND viewer = WaitForViewer(first);
    ASSERT_NE(viewer, nullptr);

    HostWindow host;
    ShowWindow(host.Hwnd(), SW_SHOW);
    SetForegroundWindow(host.Hwnd());
    ASSERT_TRUE(PollUntil([&] { return GetForegroundWindow() == host.Hwnd(); }));

    Process second = Start(L"TVSCREEN.exe");
    ASSERT_TRUE(second.WaitExit()) << "a second viewer must not run";
    EXPECT_TRUE(TopLevelWindows(second.Id()).empty());
    EXPECT_TRUE(PollUntil([&] { return GetForegroundWindow() == viewer; }));
    EXPECT_TRUE(first.Running());
    first.Kill();
}

TEST(ViewerGuard, TheNameIsFreeAgainAfterTheModalRunEnds)
{
    for (WPARAM endCode : { static_cast<WPARAM>(IDOK), static_cast<WPARAM>(IDCANCEL) }) {
        Process first = Start(L"TVSCREEN.exe");
        HWND viewer = WaitForViewer(first);
        ASSERT_NE(viewer, nullptr);
        EndModalRun(viewer, endCode);
        ASSERT_TRUE(first.WaitExit()) << "end code " << endCode;

        Process next = Start(L"TVSCREEN.exe");
        EXPECT_NE(WaitForViewer(next), nullptr) << "end code " << endCode;
        EXPECT_TRUE(next.Running());
        next.Kill();
    }
}

TEST(ViewerGuard, AClosedViewerProcessEndsWithoutAnotherWindow)
{
    Process viewer = Start(L"TVSCREEN.exe");
    HWND hwnd = WaitForViewer(viewer);
    ASSERT_NE(hwnd, nullptr);
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(viewer.WaitExit());
}

TEST(ViewerGuard, ParkedViewerIsTopmostAndEmpty)
{
    Process viewer = Start(L"TVSCREEN.exe");
    HWND hwnd = WaitForViewer(viewer);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_TRUE(IsTopmost(hwnd));
    EXPECT_TRUE(SameRect(WindowRect(hwnd), 0, 0, 0, 0));
    viewer.Kill();
}

} // namespace
