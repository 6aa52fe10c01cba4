// The host's side of the conversation: its "HL_SOFTKEY" commands, looked up in a table of small
// routines, and the DAB text line that arrives as WM_COPYDATA. The viewer's own broadcasts come
// back through here too (RCV_CLOSE, SK_PIP_REQUEST), while the broadcasting handler still waits.
#include "TvScreenDlg.h"
#include "SoftKey.h"
#include "ViewModes.h"
#include "overlay/Overlay.h"

#include <algorithm>
#include <cstring>

namespace {

void Switch(CTvScreenDlg& dlg) { SwitchOverlayMode(&dlg, dlg.m_nViewMode); }

// A file rewritten with fewer channels would leave the current channel past its band's end,
// where channel up/down and the list disagree with it; it is brought back to the last channel.
// The list top likewise stays where the list still shows channels.
void ClampToCount(int& nChannel, int& nListTop, int nCount)
{
    nChannel = std::max(0, std::min(nChannel, nCount - 1));
    nListTop = std::max(1, std::min(nListTop, nCount - (LIST_ROWS - 1)));
}

void ReloadChannelFile(CTvScreenDlg& dlg)
{
    if (dlg.LoadChannelFile() != 1) return;
    dlg.TakeChannelCounts();
    ClampToCount(dlg.m_nTvChannel, dlg.m_nTvListTop, dlg.m_nTvCount);
    ClampToCount(dlg.m_nRadioChannel, dlg.m_nRadioListTop, dlg.m_nRadioCount);
}

// ---- view commands (SK_VIEW) --------------------------------------------------------------

void FullScreen(CTvScreenDlg& dlg, int)
{
    dlg.m_nLastViewMode = ChangeViewKind(dlg.m_nLastViewMode, VIEWKIND_WINDOWED | VIEWKIND_PIP, VIEWKIND_FULL);
    dlg.m_nViewMode = dlg.m_nLastViewMode;
    Switch(dlg);
}

void PipFromView(CTvScreenDlg& dlg)
{
    dlg.m_nViewMode = ChangeViewKind(dlg.m_nViewMode, VIEWKIND_WINDOWED | VIEWKIND_FULL, VIEWKIND_PIP);
    dlg.m_nLastViewMode = dlg.m_nViewMode;
    Switch(dlg);
}

// Also cancels a pending radio window of a reload.
void PipNow(CTvScreenDlg& dlg, int)
{
    dlg.KillTimer(TIMER_RELOAD_2);
    PipFromView(dlg);
}

void Hide(CTvScreenDlg& dlg, int)
{
    dlg.m_nPipRequest = 0;
    dlg.m_nViewMode = VIEW_HIDDEN;
    Switch(dlg);
}

void StopPort(CTvScreenDlg&, int) { StopVideoPort(); }

// Only a full-screen left-half tap (PIPREQ_FROM_FULL) asked for this.
void PipIfAsked(CTvScreenDlg& dlg, int)
{
    if (dlg.m_nPipRequest != PIPREQ_FROM_FULL) return;
    dlg.m_nPipRequest = 0;
    PipFromView(dlg);
}

void PipFromLast(CTvScreenDlg& dlg, int)
{
    dlg.m_nLastViewMode = ChangeViewKind(dlg.m_nLastViewMode, VIEWKIND_WINDOWED | VIEWKIND_FULL, VIEWKIND_PIP);
    dlg.m_nViewMode = dlg.m_nLastViewMode;
    Switch(dlg);
    dlg.InvalidateRect(nullptr, TRUE);
}

void PipLeftHalf(CTvScreenDlg& dlg, int)
{
    dlg.m_nPipSide = PIP_SIDE_LEFT_ONLY;
    if (IsPipView(dlg.m_nViewMode) && PipOnRightHalf(dlg.m_nPipPos)) Switch(dlg);
}

void PipEitherHalf(CTvScreenDlg& dlg, int) { dlg.m_nPipSide = PIP_SIDE_EITHER; }

// From the hidden view the window is sized, then hidden again by the switch.
void Windowed(CTvScreenDlg& dlg, int)
{
    dlg.m_nViewMode = ChangeViewKind(dlg.m_nViewMode, VIEWKIND_FULL | VIEWKIND_PIP, VIEWKIND_WINDOWED);
    dlg.m_nLastViewMode = dlg.m_nViewMode;
    ShowWindowFullScreen(dlg, &CWnd::wndTopMost);
    Switch(dlg);
}

void ReloadThenRadio(CTvScreenDlg& dlg, int)
{
    dlg.StartTimer(TIMER_RELOAD_1);
    ReloadChannelFile(dlg);
    dlg.InvalidateRect(nullptr, TRUE);
}

void ReloadInWindow(CTvScreenDlg& dlg, int nMode)
{
    dlg.m_nViewMode = nMode;
    dlg.m_nLastViewMode = nMode;
    ShowWindowedOverlay();
    ReloadChannelFile(dlg);
    dlg.InvalidateRect(nullptr, TRUE);
}

void ReloadTv(CTvScreenDlg& dlg, int) { ReloadInWindow(dlg, VIEW_TV_WINDOW); }
void ReloadRadio(CTvScreenDlg& dlg, int) { ReloadInWindow(dlg, VIEW_RADIO_WINDOW); }
void ShowInFrame(CTvScreenDlg&, int) { ShowWindowedOverlay(); }

void ResumeAfterSettings(CTvScreenDlg& dlg, int)
{
    if (dlg.m_nResumeAfterSettings != 1) return;
    Switch(dlg);
    dlg.m_nResumeAfterSettings = 0;
}

// ---- search, lock, receiver ---------------------------------------------------------------

void DmbFigure(CTvScreenDlg& dlg, int n) { dlg.ShowSearchFigure(0, n); }
void DabFigure(CTvScreenDlg& dlg, int n) { dlg.ShowSearchFigure(1, n); }

void SearchProgress(CTvScreenDlg& dlg, int n)
{
    dlg.m_nSearchProgress = n;
    dlg.DrawSearchProgress(n);
}

void FreeLock(CTvScreenDlg& dlg, int) { dlg.StartTimer(TIMER_WATCHDOG); }
void SearchEnded(CTvScreenDlg& dlg, int) { dlg.m_bSearching = 0; }

// The viewer's own close, or the host's: the window is parked, the overlay left as it is.
void Closed(CTvScreenDlg& dlg, int)
{
    dlg.KillTimer(TIMER_RELOAD_2);
    ParkWindow(dlg);
    dlg.m_nViewMode = VIEW_HIDDEN;
}

void Muted(CTvScreenDlg& dlg, int)
{
    dlg.m_nMuteState = MUTE_STATE_MUTED;
    dlg.DrawButton(ELEM_MUTE, 0);
}

void SoundOn(CTvScreenDlg& dlg, int)
{
    dlg.m_nMuteState = MUTE_STATE_SOUND;
    dlg.DrawButton(ELEM_MUTE, 1);
}

void RedrawMute(CTvScreenDlg& dlg, int) { dlg.DrawButton(ELEM_MUTE, dlg.m_nMuteState - 1); }
void PipRequest(CTvScreenDlg& dlg, int nArg) { dlg.m_nPipRequest = nArg; }

// ---- command table ------------------------------------------------------------------------

const int kAnyArg = -0x7fffffff - 1;

struct HostCommand {
    int nCode;
    int nArg;                       // kAnyArg: every argument not listed before it
    void (*pfn)(CTvScreenDlg& dlg, int nArg);
};

const HostCommand kHostCommands[] = {
    { SK_VIEW, VIEWCMD_FULL_A, FullScreen },
    { SK_VIEW, VIEWCMD_FULL_B, FullScreen },
    { SK_VIEW, VIEWCMD_PIP_NOW, PipNow },
    { SK_VIEW, VIEWCMD_HIDE, Hide },
    { SK_VIEW, VIEWCMD_STOP_PORT, StopPort },
    { SK_VIEW, VIEWCMD_PIP_IF_ASKED, PipIfAsked },
    { SK_VIEW, VIEWCMD_PIP_A, PipFromLast },
    { SK_VIEW, VIEWCMD_PIP_B, PipFromLast },
    { SK_VIEW, VIEWCMD_PIP_LEFT_HALF, PipLeftHalf },
    { SK_VIEW, VIEWCMD_PIP_EITHER_HALF, PipEitherHalf },
    { SK_VIEW, VIEWCMD_WINDOW, Windowed },
    { SK_VIEW, VIEWCMD_RELOAD_THEN_RADIO, ReloadThenRadio },
    { SK_VIEW, VIEWCMD_RELOAD_TV_WINDOW, ReloadTv },
    { SK_VIEW, VIEWCMD_RELOAD_RADIO_WINDOW, ReloadRadio },
    { SK_VIEW, VIEWCMD_SHOW_IN_FRAME, ShowInFrame },
    { SK_VIEW, VIEWCMD_RESUME_AFTER_SETTINGS, ResumeAfterSettings },
    { SK_DMB_FIGURE, kAnyArg, DmbFigure },
    { SK_DAB_FIGURE, kAnyArg, DabFigure },
    { SK_SEARCH_PROGRESS, kAnyArg, SearchProgress },
    { SK_LOCK, LOCK_RELEASE, FreeLock },
    { SK_LOCK, LOCK_SEARCH_END, SearchEnded },
    { SK_RECEIVER, RCV_CLOSE, Closed },
    { SK_MUTE_STATE, MUTE_ON, Muted },
    { SK_MUTE_STATE, MUTE_OFF, SoundOn },
    { SK_MUTE_STATE, kAnyArg, RedrawMute },
    { SK_PIP_REQUEST, PIPREQ_FROM_FULL, PipRequest },
    { SK_PIP_REQUEST, PIPREQ_TO_WINDOW, PipRequest },
};

void ActOnHostCommand(CTvScreenDlg& dlg, int nCode, int nArg)
{
    for (const HostCommand& c : kHostCommands) {
        if (c.nCode == nCode && (c.nArg == nArg || c.nArg == kAnyArg)) {
            c.pfn(dlg, nArg);
            return;
        }
    }
}

// ---- DAB text -----------------------------------------------------------------------------

// A DAB dynamic label is at most 128 characters. A host sending more is cut there: the line
// would wrap tens of thousands of characters for minutes, the viewer frozen meanwhile.
const size_t kDabTextMax = 128;

// The text is meant to end with a zero, but only cbData bytes came across with the message:
// it is read no further, whatever it holds. No data, or half a character, is no text.
CString DabTextOf(const COPYDATASTRUCT* pData)
{
    if (!pData || !pData->lpData) return CString();
    const BYTE* pBytes = static_cast<const BYTE*>(pData->lpData);
    const size_t nMax = std::min<size_t>(pData->cbData / sizeof(wchar_t), kDabTextMax);
    CString strText;
    for (size_t i = 0; i < nMax; ++i) {
        wchar_t ch;
        std::memcpy(&ch, pBytes + i * sizeof(wchar_t), sizeof(ch));
        if (ch == L'\0') break;
        strText += ch;
    }
    return strText;
}

void TakeDabText(CTvScreenDlg& dlg, LPARAM lParam)
{
    dlg.m_strDls.Format(L"%s", static_cast<LPCWSTR>(DabTextOf(reinterpret_cast<const COPYDATASTRUCT*>(lParam))));
    if (dlg.m_pDlsEdit) dlg.m_pDlsEdit->SetWindowText(dlg.m_strDls);
}

} // namespace

LRESULT CTvScreenDlg::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA)
        TakeDabText(*this, lParam);
    else if (g_uSoftKeyMsg != 0 && message == g_uSoftKeyMsg)
        ActOnHostCommand(*this, static_cast<int>(wParam), static_cast<int>(lParam));
    return CDialog::DefWindowProc(message, wParam, lParam);
}
