#include "SatWakeDlg.h"
#include "Frame.h"
#include "res/SatWakeRes.h"

namespace {
// The sentence the module acts on; it ends with carriage return and line feed.
const char kWakeSentence[] = "$PPLMB,1,1\r\n";
// The sentence without its terminating zero: nothing after the line feed goes on the line.
const DWORD kWakeSentenceLength = sizeof(kWakeSentence) - 1;
}

CSatWakeDlg::CSatWakeDlg() : CDialog(IDD_MAIN_DIALOG)
{
    m_hIcon = LoadProgramIcon();
}

BOOL CSatWakeDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDialogIcons(*this, m_hIcon);
    // Shown and topmost, but without any area: nothing of it is ever seen.
    SetWindowPos(&wndTopMost, 0, 0, 0, 0, SWP_SHOWWINDOW);
    WakeModule();
    // The modal loop takes this first and ends the run through the cancel path.
    PostMessage(WM_CLOSE, 0, 0);
    return TRUE;
}

// Each step runs whatever the previous one gave: a failed open makes the write and the close
// fail or do nothing on their own.
void CSatWakeDlg::WakeModule()
{
    BYTE buffer[sizeof(kWakeSentence)];
    ::CopyMemory(buffer, kWakeSentence, sizeof(kWakeSentence));
    m_gps.OpenConnection();
    m_gps.SendData(buffer, kWakeSentenceLength);
    m_gps.CloseConnection();
}
