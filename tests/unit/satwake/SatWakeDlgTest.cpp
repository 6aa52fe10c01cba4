// The wake-up dialog, created in-process over the recording serial driver: what goes on the
// line, the window nobody sees, and the close it asks for.
#include <gtest/gtest.h>

#include <algorithm>

#include "FakeSerialPlatform.h"
#include "SatWakeDlg.h"

namespace {

bool TakeClose(HWND hwnd)
{
    MSG msg;
    return ::PeekMessageW(&msg, hwnd, WM_CLOSE, WM_CLOSE, PM_REMOVE) != FALSE;
}

} // namespace

TEST(SatWakeStart, SendsTheSentenceOnceClosesThePortAndAsksToClose)
{
    FakeSerialPlatform fake;
    CSatWakeDlg dlg;
    ASSERT_TRUE(dlg.Create(102));

    EXPECT_EQ(fake.written, std::string("$PPLMB,1,1\r\n"));  // 12 bytes: nothing after the line feed
    std::vector<std::string> calls = fake.Take();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "WriteFile(port,12)"), 1);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "CloseHandle(port)");
    EXPECT_EQ(dlg.m_gps.m_hPort, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(TakeClose(dlg.m_hWnd));

    // Shown and topmost at the corner, with no area to see.
    RECT rc = {};
    ::GetWindowRect(dlg.m_hWnd, &rc);
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.right - rc.left, 0);
    EXPECT_EQ(rc.bottom - rc.top, 0);
    EXPECT_TRUE(::IsWindowVisible(dlg.m_hWnd));
    EXPECT_TRUE(::GetWindowLongW(dlg.m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    wchar_t title[32] = {};
    ::GetWindowTextW(dlg.m_hWnd, title, 32);
    EXPECT_STREQ(title, L"SIM 508");
    EXPECT_EQ(::SendMessageW(dlg.m_hWnd, WM_GETICON, ICON_BIG, 0), reinterpret_cast<LRESULT>(dlg.m_hIcon));
    EXPECT_NE(dlg.m_hIcon, nullptr);
}

TEST(SatWakeStart, NoPortShowsTheBoxWritesNothingAndStillAsksToClose)
{
    FakeSerialPlatform fake;
    fake.openError = ERROR_FILE_NOT_FOUND;
    CSatWakeDlg dlg;
    ASSERT_TRUE(dlg.Create(102));

    std::vector<std::string> calls = fake.Take();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "MessageBoxW(null,-1-,-1-,0)"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "CloseHandle(port)"), 0);
    EXPECT_TRUE(fake.written.empty());
    EXPECT_TRUE(TakeClose(dlg.m_hWnd));
}
