#include "DarkPaneDlg.h"
#include "Frame.h"
#include "res/DarkPaneRes.h"

namespace {
const RECT kArea = { 0, 0, 480, 234 };
const UINT_PTR kTimerId = 1;
const UINT kTimeoutMs = 5000;
}

BEGIN_MESSAGE_MAP(CDarkPaneDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_TIMER()
END_MESSAGE_MAP()

CDarkPaneDlg::CDarkPaneDlg() : CDialog(IDD_MAIN_DIALOG)
{
    m_hIcon = LoadProgramIcon();
}

BOOL CDarkPaneDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDialogIcons(*this, m_hIcon);
    CenterWindow(GetDesktopWindow());
    // No insert-after window: top of the non-topmost windows, so a topmost viewer stays above.
    SetWindowPos(nullptr, kArea.left, kArea.top, kArea.right - kArea.left, kArea.bottom - kArea.top, 0);
    return TRUE;
}

void CDarkPaneDlg::OnPaint()
{
    CPaintDC dc(this);
    ::FillRect(dc.m_hDC, &kArea, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    // Every paint restarts the five seconds.
    SetTimer(kTimerId, kTimeoutMs, nullptr);
}

void CDarkPaneDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == kTimerId) {
        KillTimer(kTimerId);
        OnOK();
    }
    CDialog::OnTimer(nIDEvent);
}
