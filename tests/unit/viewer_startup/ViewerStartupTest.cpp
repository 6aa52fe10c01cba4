// The viewer's start-up in-process: registered message, parked window, initial state, channel file.
#include <gtest/gtest.h>
#include "DeviceTest.h"
#include "Frame.h"
#include "SoftKey.h"
#include "TvScreenDlg.h"

#include <memory>

using namespace devtest;

namespace {

class ViewerStartup : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The device has one root: every program runs from C:\ so "\기억 장치 카드" is on drive C.
        SetCurrentDirectoryW(L"C:\\");
        CreateFolders(CardRoot() + L"\\appdata");
    }

    std::unique_ptr<CTvScreenDlg> StartViewer()
    {
        auto dlg = std::make_unique<CTvScreenDlg>();
        EXPECT_TRUE(dlg->Create(IDD_MAIN_DIALOG));
        return dlg;
    }

    StoreSnapshot store;
    CardGuard card;
};

TEST_F(ViewerStartup, RegistersTheHostMessageAndParksTopmostAtZeroSize)
{
    auto dlg = StartViewer();
    EXPECT_EQ(g_uSoftKeyMsg, RegisterWindowMessageW(L"HL_SOFTKEY"));
    RECT rc;
    GetWindowRect(dlg->m_hWnd, &rc);
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.right - rc.left, 0);
    EXPECT_EQ(rc.bottom - rc.top, 0);
    EXPECT_TRUE(IsTopmost(dlg->m_hWnd));
    ASSERT_NE(dlg->m_pDlsEdit, nullptr);
    EXPECT_EQ(dlg->m_pDlsEdit->m_hWnd, GetDlgItem(dlg->m_hWnd, 1001));
}

// The DLS line lies over the panel's drawing area; the DCs the viewer takes at start-up and draws
// its elements through must leave the line alone, as the device's windows clip their children.
TEST_F(ViewerStartup, ElementDrawingCannotCoverTheDlsLine)
{
    auto dlg = StartViewer();
    ASSERT_NE(dlg->m_pWndDC, nullptr);
    ASSERT_NE(dlg->m_pDlsEdit, nullptr);
    SetWindowPos(dlg->m_hWnd, nullptr, 0, 0, 640, 480, SWP_NOZORDER | SWP_SHOWWINDOW);
    SetWindowPos(dlg->m_pDlsEdit->m_hWnd, nullptr, 0, 416, 640, 64, 0);
    RECT line = {0, 416, 640, 480}, above = {0, 300, 640, 416};
    EXPECT_FALSE(RectVisible(dlg->m_pWndDC->GetSafeHdc(), &line));
    EXPECT_TRUE(RectVisible(dlg->m_pWndDC->GetSafeHdc(), &above));
}

TEST_F(ViewerStartup, InitialStateIsParkedMainPanelAndFreeLock)
{
    auto dlg = StartViewer();
    EXPECT_EQ(dlg->m_nViewMode, VIEW_HIDDEN);
    EXPECT_EQ(dlg->m_nLastViewMode, VIEW_TV_FULL);
    EXPECT_EQ(dlg->m_nPanel, PANEL_MAIN);
    EXPECT_EQ(dlg->m_nPlayingMode, BAND_TV);
    EXPECT_EQ(dlg->m_nHit, -1);
    EXPECT_EQ(dlg->m_nMuteState, MUTE_STATE_SOUND);
    EXPECT_EQ(dlg->m_nTvListTop, 1);
    EXPECT_EQ(dlg->m_nRadioListTop, 1);
    EXPECT_EQ(dlg->m_nPipSide, 2);
    EXPECT_EQ(dlg->m_nPressedChannel, -1);
    EXPECT_EQ(dlg->m_nPipRequest, 0);
    EXPECT_EQ(dlg->m_nResumeAfterSettings, 0);
    EXPECT_EQ(dlg->m_bBusy, 0);
    EXPECT_EQ(dlg->m_bSettling, 0);
    EXPECT_EQ(dlg->m_bSearching, 0);
    EXPECT_EQ(dlg->m_bListOpen, 0);
    EXPECT_EQ(dlg->m_nTvChannel, 0);
    EXPECT_EQ(dlg->m_nRadioChannel, 0);
    EXPECT_STREQ(dlg->m_strCardRoot, L"\\기억 장치 카드");
}

TEST_F(ViewerStartup, TitleIsSetAgainBeforeEveryPreTranslatedMessage)
{
    auto dlg = StartViewer();
    SetWindowTextW(dlg->m_hWnd, L"something else");
    MSG msg = { dlg->m_hWnd, WM_NULL, 0, 0, 0, { 0, 0 } };
    dlg->PreTranslateMessage(&msg);
    EXPECT_EQ(Title(dlg->m_hWnd), L"TVSCREEN");
}

TEST_F(ViewerStartup, MissingChannelFileIsCreatedEmptyAndListsAreEmpty)
{
    DeleteFileW(ChannelFilePath().c_str());
    auto dlg = StartViewer();
    EXPECT_TRUE(FileExists(ChannelFilePath()));
    EXPECT_EQ(dlg->m_nTvCount, 0);
    EXPECT_EQ(dlg->m_nRadioCount, 0);
    for (BYTE b : dlg->m_serialData) ASSERT_EQ(b, 0);
}

TEST_F(ViewerStartup, TwoByteFileGivesCountsWithBlankNames)
{
    ASSERT_TRUE(WriteChannelBytes({ 3, 7 }));
    auto dlg = StartViewer();
    EXPECT_EQ(dlg->m_nTvCount, 3);
    EXPECT_EQ(dlg->m_nRadioCount, 7);
    EXPECT_STREQ(dlg->ChannelRecord(BAND_TV, 0), "");   // a missing record fails, never crashes
    EXPECT_STREQ(dlg->ChannelRecord(BAND_RADIO, 6), "");
}

TEST_F(ViewerStartup, FullFileIsReadWhole)
{
    ASSERT_TRUE(WriteChannelFile(2, 3, { ToAnsi(L"KBS 1TV"), ToAnsi(L"문화방송") },
                                 { ToAnsi(L"KBS FM"), ToAnsi(L"기독교방송"), ToAnsi(L"Arirang") }));
    auto dlg = StartViewer();
    EXPECT_EQ(dlg->m_nTvCount, 2);
    EXPECT_EQ(dlg->m_nRadioCount, 3);
    EXPECT_STREQ(dlg->ChannelRecord(BAND_TV, 1), ToAnsi(L"문화방송").c_str());
    EXPECT_STREQ(dlg->ChannelRecord(BAND_RADIO, 2), "Arirang");
}

TEST_F(ViewerStartup, CountsBeyondTheFileLayoutAreClampedToIt)
{
    auto image = ChannelImage(21, 200, {}, {});
    ASSERT_TRUE(WriteChannelBytes(image));
    auto dlg = StartViewer();
    EXPECT_EQ(dlg->m_nTvCount, 20);
    EXPECT_EQ(dlg->m_nRadioCount, 80);
    EXPECT_EQ(dlg->ChannelRecord(BAND_TV, 20), nullptr);
    EXPECT_EQ(dlg->ChannelRecord(BAND_RADIO, 80), nullptr);
}

TEST_F(ViewerStartup, AnOversizedFileFillsOnlyTheImage)
{
    std::vector<uint8_t> bytes(5000, 'x');
    bytes[0] = 4;
    bytes[1] = 5;
    ASSERT_TRUE(WriteChannelBytes(bytes));
    auto dlg = StartViewer();
    EXPECT_EQ(dlg->m_nTvCount, 4);
    EXPECT_EQ(dlg->m_nRadioCount, 5);
    EXPECT_EQ(dlg->m_serialData[CHANNEL_FILE_SIZE - 1], 'x');
}

TEST_F(ViewerStartup, StoreValuesArriveThroughTheirRangeRules)
{
    WriteDword(L"PIP", 7);
    WriteDword(L"DLS", 0);
    auto dlg = StartViewer();
    EXPECT_EQ(dlg->m_nPipPos, 3);
    EXPECT_EQ(dlg->m_bDlsOn, 0);
}

} // namespace
