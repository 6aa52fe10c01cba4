#include "PanelCfgDlg.h"
#include "Frame.h"
#include "PanelButtons.h"
#include "SettingsStore.h"
#include "SoftKey.h"

namespace {

const wchar_t kTitle[] = L"CONFIG";

// The level cycles 0..10; the FM transmitter steps by 0.2 MHz between 87.5 (muted) and 89.7.
const int kBrightMin = 0;
const int kBrightMax = 10;
const int kFmMax = 897;
const int kFmStep = 2;

// Arguments of the host's "to the back" command.
bool IsToBackArg(LPARAM lParam)
{
    return lParam == 5 || lParam == 6 || lParam == 8;
}

} // namespace

BEGIN_MESSAGE_MAP(CPanelCfgDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONDBLCLK()
    ON_WM_LBUTTONUP()
    ON_BN_CLICKED(IDC_BRIGHT_MINUS, OnBrightDown)
    ON_BN_CLICKED(IDC_BRIGHT_PLUS, OnBrightUp)
    ON_BN_CLICKED(IDC_FMTX_MINUS, OnFmDown)
    ON_BN_CLICKED(IDC_FMTX_PLUS, OnFmUp)
    ON_BN_CLICKED(IDC_DIMMER_MINUS, OnDimmerToggle)
    ON_BN_CLICKED(IDC_DIMMER_PLUS, OnDimmerToggle)
END_MESSAGE_MAP()

CPanelCfgDlg::CPanelCfgDlg() : CDialog(IDD_MAIN_DIALOG)
{
    m_hIcon = LoadProgramIcon();
}

BOOL CPanelCfgDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetDialogIcons(*this, m_hIcon);
    m_uSoftKeyMsg = RegisterSoftKey();
    CenterWindow(GetDesktopWindow());
    SetWindowPos(&wndTop, 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN),
                 SWP_SHOWWINDOW);

    m_bPressed = FALSE;
    LoadPanelSettings(*this);
    // The frame finds a running panel by this title.
    SetWindowText(kTitle);
    return TRUE;
}

LRESULT CPanelCfgDlg::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_uSoftKeyMsg != 0 && message == m_uSoftKeyMsg && wParam == SK_PANEL_TO_BACK && IsToBackArg(lParam))
        MoveToBottom();
    return CDialog::DefWindowProc(message, wParam, lParam);
}

void CPanelCfgDlg::MoveToBottom()
{
    SetWindowPos(&wndBottom, 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN),
                 SWP_SHOWWINDOW);
}

void CPanelCfgDlg::OnLButtonDown(UINT, CPoint point)
{
    m_nHit = HIT_NONE;
    if (const PanelButton* pButton = FindPanelButton(point)) {
        m_nHit = pButton->nHit;
        m_bPressed = TRUE;
    }
    if (m_bPressed && m_nHit != HIT_NONE) DrawButton(m_nHit, TRUE);
    Default();
}

// The dialog class asks for double-clicks, so a quick second tap arrives as one: it is a tap.
void CPanelCfgDlg::OnLButtonDblClk(UINT nFlags, CPoint point) { OnLButtonDown(nFlags, point); }

// Acts wherever the pen is lifted: a press that slid off its button still counts. Only a press
// that went down on the panel acts; a pen-up whose down went to a window above it (closed while
// the pen was held) finds nothing pressed and must not repeat the last action.
void CPanelCfgDlg::OnLButtonUp(UINT, CPoint)
{
    const int nHit = m_bPressed ? m_nHit : HIT_NONE;
    m_bPressed = FALSE;
    m_nHit = HIT_NONE;
    if (nHit != HIT_NONE) DrawButton(nHit, FALSE);
    if (nHit >= HIT_CLOSE && nHit <= HIT_DIMMER_RIGHT) {
        ::PlaySoundW(MAKEINTRESOURCEW(IDR_CLICK), AfxGetResourceHandle(), SND_RESOURCE | SND_ASYNC);
        RunAction(nHit);
        DrawButton(nHit, FALSE);
    }
    Default();
}

void CPanelCfgDlg::RunAction(int nHit)
{
    switch (nHit) {
    case HIT_CLOSE: Close(); break;
    case HIT_BRIGHT_DOWN: OnBrightDown(); break;
    case HIT_BRIGHT_UP: OnBrightUp(); break;
    case HIT_FM_DOWN: OnFmDown(); break;
    case HIT_FM_UP: OnFmUp(); break;
    case HIT_DIMMER_LEFT:
    case HIT_DIMMER_RIGHT: OnDimmerToggle(); break;
    default: break;
    }
}

// Only the bound a step crosses wraps, so a stored value out of range steps on from where it is.
// The step is tested before it is taken: a stored value at an edge of int must not overflow.
static int StepValue(int nValue, int nStep, int nMin, int nMax)
{
    if (nStep > 0) return nValue > nMax - nStep ? nMin : nValue + nStep;
    return nValue < nMin - nStep ? nMax : nValue + nStep;
}

void CPanelCfgDlg::OnBrightDown()
{
    m_nBright = StepValue(m_nBright, -1, kBrightMin, kBrightMax);
    Broadcast(SK_BRIGHTNESS, m_nBright);
    DrawBrightSlot();
}

void CPanelCfgDlg::OnBrightUp()
{
    m_nBright = StepValue(m_nBright, 1, kBrightMin, kBrightMax);
    Broadcast(SK_BRIGHTNESS, m_nBright);
    DrawBrightSlot();
}

void CPanelCfgDlg::OnFmDown()
{
    m_nFmTx = StepValue(m_nFmTx, -kFmStep, FMTX_MUTED, kFmMax);
    Broadcast(SK_FM_TX, m_nFmTx);
    DrawFmSlot();
}

void CPanelCfgDlg::OnFmUp()
{
    m_nFmTx = StepValue(m_nFmTx, kFmStep, FMTX_MUTED, kFmMax);
    Broadcast(SK_FM_TX, m_nFmTx);
    DrawFmSlot();
}

void CPanelCfgDlg::OnDimmerToggle()
{
    if (m_nDimmer == 0) {
        m_nDimmer = 1;
        Broadcast(SK_DIMMER, DIMMER_OFF_ARG);
    } else if (m_nDimmer == 1) {
        m_nDimmer = 0;
        Broadcast(SK_DIMMER, DIMMER_ON_ARG);
    }
    DrawDimmerSlot();
}

// The values are the host's to keep; nothing is saved here.
void CPanelCfgDlg::Close()
{
    Broadcast(SK_PANEL_CLOSING, 0);
    PostMessage(WM_CLOSE);
}

void CPanelCfgDlg::Broadcast(int nCode, int nArg)
{
    BroadcastSoftKey(m_uSoftKeyMsg, nCode, nArg);
}
