// Holds one scene of the viewer on the screen until told to go, so a screenshot can be taken.
// viewer_draw_shots main|list|search <ready-file> <done-file>
#include <cwchar>
#include <memory>

#include "DeviceTest.h"
#include "Frame.h"
#include "Overlay.h"
#include "TvScreenDlg.h"

using namespace devtest;

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) return 2;
    const std::wstring scene = argv[1];
    SetCurrentDirectoryW(L"C:\\");
    // Channel names as the host writes them: 8-bit text in the device's code page.
    WriteChannelFile(8, 3,
                     {ToAnsi(L"KBS 1TV"), ToAnsi(L"MBC TV"), ToAnsi(L"SBS 방송"), ToAnsi(L"YTN 뉴스"),
                      ToAnsi(L"한국 DMB"), ToAnsi(L"QBS 채널"), ToAnsi(L"U1 Media"), ToAnsi(L"기억 방송")},
                     {ToAnsi(L"KBS FM"), ToAnsi(L"MBC 라디오"), ToAnsi(L"Arirang")});
    WriteDword(L"Volume", 6);

    auto dlg = std::make_unique<CTvScreenDlg>();
    if (!dlg->Create(IDD_MAIN_DIALOG)) return 1;
    dlg->m_nViewMode = VIEW_TV_WINDOW;
    dlg->m_nPanel = scene == L"list" ? PANEL_LIST : PANEL_MAIN;
    dlg->m_nTvListTop = 2;
    if (scene == L"search") {
        dlg->m_bSearching = 1;
        dlg->m_nSearchProgress = 9;
        dlg->m_nDmbFigure = 7;
        dlg->m_nDabFigure = 12;
    }
    dlg->SetWindowPos(&CWnd::wndTopMost, 0, 0, 640, 480, SWP_SHOWWINDOW);
    if (scene == L"main") SwitchOverlayMode(dlg.get(), VIEW_TV_WINDOW);   // the picture in its frame
    InvalidateRect(dlg->m_hWnd, nullptr, FALSE);
    UpdateWindow(dlg->m_hWnd);
    if (scene == L"list") {
        dlg->DrawButton(2, 1);             // a finger on the third row
        dlg->DrawChannelRow(3, 2);
    }
    if (scene == L"main") {
        PollUntil([] {
            HWND picture = FindWindowW(L"DdsimOverlayPicture", nullptr);
            return picture && IsWindowVisible(picture);
        });
    }
    PollUntil([] { return false; }, 500);  // no event tells when X shows the last paint
    WriteFileBytes(argv[2], "ready", 5);
    PollUntil([&] { return FileExists(argv[3]); });
    return 0;
}
