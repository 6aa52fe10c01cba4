// The viewer's window timers: each id with its period and what its expiry does. Touch commands,
// host commands and the overlay engine all start their timers through StartTimer, so each
// period is written only here.
#include "TvScreenDlg.h"
#include "ViewModes.h"
#include "overlay/Overlay.h"

namespace {

void ReloadStep1(CTvScreenDlg& dlg)
{
    dlg.KillTimer(TIMER_RELOAD_1);
    dlg.StartTimer(TIMER_RELOAD_2);
}

// After a channel-file reload the radio window comes up.
void ReloadStep2(CTvScreenDlg& dlg)
{
    dlg.KillTimer(TIMER_RELOAD_2);
    dlg.m_nViewMode = VIEW_RADIO_WINDOW;
    dlg.m_nLastViewMode = VIEW_RADIO_WINDOW;
    ShowWindowFullScreen(dlg, &CWnd::wndNoTopMost);
    SwitchOverlayMode(&dlg, VIEW_RADIO_WINDOW);
}

// A search keeps the lock: the host ends it (SK_LOCK, LOCK_SEARCH_END).
void Watchdog(CTvScreenDlg& dlg)
{
    dlg.KillTimer(TIMER_WATCHDOG);
    dlg.KillTimer(TIMER_RELEASE);
    dlg.m_nTapCount = 0;
    if (!dlg.m_bSearching) dlg.m_bBusy = 0;
}

void Settled(CTvScreenDlg& dlg)
{
    dlg.KillTimer(TIMER_SETTLING);
    dlg.m_bSettling = 0;
}

void Release(CTvScreenDlg& dlg)
{
    dlg.KillTimer(TIMER_RELEASE);
    dlg.m_nTapCount = 0;
    dlg.m_bBusy = 0;
}

void Switched(CTvScreenDlg& dlg)
{
    dlg.KillTimer(TIMER_SWITCHED);
    dlg.m_bBusy = 0;
}

struct ViewerTimer {
    UINT_PTR nId;
    UINT nPeriodMs;
    void (*pfnExpired)(CTvScreenDlg& dlg);
};

const ViewerTimer kTimers[] = {
    { TIMER_RELOAD_1, 100, ReloadStep1 },     // the host's channel-file reload
    { TIMER_RELOAD_2, 100, ReloadStep2 },     // the reload's second step
    { TIMER_WATCHDOG, 100, Watchdog },        // the fifth touch-down; the host's lock release
    { TIMER_SETTLING, 2000, Settled },        // the engine's windowed switch
    { TIMER_RELEASE, 500, Release },          // most commands, the picture tap
    { TIMER_SWITCHED, 200, Switched },        // list scrolling; the end of every engine switch
};

const ViewerTimer* FindTimer(UINT_PTR nId)
{
    for (const ViewerTimer& t : kTimers)
        if (t.nId == nId) return &t;
    return nullptr;
}

} // namespace

void CTvScreenDlg::StartTimer(UINT_PTR nId)
{
    if (const ViewerTimer* t = FindTimer(nId)) ::SetTimer(m_hWnd, nId, t->nPeriodMs, nullptr);
}

void CTvScreenDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (const ViewerTimer* t = FindTimer(nIDEvent)) t->pfnExpired(*this);
}
