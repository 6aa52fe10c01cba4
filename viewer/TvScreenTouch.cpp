// Touch and the busy lock. A touch-down finds the element under the finger and draws it
// pressed; the touch-up draws it normal and runs the element's command from the command table.
// The busy lock keeps a second command from reaching the host before the first has settled; the
// window timers (TvScreenTimers.cpp) free it again.
#include "TvScreenDlg.h"
#include "SettingsStore.h"
#include "SoftKey.h"
#include "ViewModes.h"
#include "overlay/Overlay.h"

#include <mmsystem.h>

namespace {

// ---- hit regions --------------------------------------------------------------------------

const int kBothPanels = 0;

// Inclusive pixel ranges. Tested in this order; where two overlap the later one wins.
struct HitRegion {
    int nCode;
    int nPanel;             // kBothPanels, PANEL_MAIN or PANEL_LIST
    int l, t, r, b;
    bool bDrawnPressed;
};

const HitRegion kRegions[] = {
    { ELEM_SETTINGS, kBothPanels, 528, 69, 632, 113, true },
    { ELEM_PIP, kBothPanels, 4, 370, 46, 412, true },
    { ELEM_MAIN_MENU, kBothPanels, 418, 69, 522, 113, true },
    { ELEM_TV_LIST, kBothPanels, 418, 119, 522, 163, true },
    { ELEM_RADIO_LIST, kBothPanels, 528, 119, 632, 163, true },
    { ELEM_CLOSE_MAIN, PANEL_MAIN, 559, 430, 636, 475, true },
    { ELEM_CHANNEL_UP_ARROW, PANEL_MAIN, 432, 188, 492, 239, true },
    { ELEM_CHANNEL_DOWN_ARROW, PANEL_MAIN, 432, 272, 492, 323, true },
    { ELEM_VOLUME_UP, PANEL_MAIN, 559, 188, 619, 239, true },
    { ELEM_VOLUME_DOWN, PANEL_MAIN, 559, 272, 619, 323, true },
    { ELEM_MUTE, PANEL_MAIN, 505, 237, 545, 277, false },
    { ELEM_BAND, PANEL_MAIN, 424, 375, 522, 414, true },
    { ELEM_DLS, PANEL_MAIN, 528, 375, 626, 414, false },
    { ELEM_SEARCH, PANEL_MAIN, 424, 420, 522, 459, true },
    { ELEM_CLOSE_LIST, PANEL_LIST, 559, 430, 636, 475, true },
    { 0, PANEL_LIST, 421, 180, 582, 211, true },
    { 1, PANEL_LIST, 421, 221, 582, 252, true },
    { 2, PANEL_LIST, 421, 262, 582, 293, true },
    { 3, PANEL_LIST, 421, 303, 582, 334, true },
    { 4, PANEL_LIST, 421, 344, 582, 375, true },
    { 5, PANEL_LIST, 421, 385, 582, 416, true },
    { ELEM_SCROLL_UP, PANEL_LIST, 582, 173, 636, 249, true },
    { ELEM_SCROLL_DOWN, PANEL_LIST, 582, 348, 636, 424, true },
};

// The TV picture inside the skin's frame; a tap there asks for full screen.
const RECT kPictureFrame = { 46, 131, 364, 369 };

// Full screen: a lift right of this column goes back to the window.
const int kFullScreenMiddleX = 319;

bool Inside(int x, int y, int l, int t, int r, int b) { return x >= l && x <= r && y >= t && y <= b; }
bool IsListRow(int nCode) { return nCode >= ELEM_LIST_ROW_FIRST && nCode <= ELEM_LIST_ROW_LAST; }

// The current channel, list top and count of the band the windowed view shows.
struct Band {
    int* pChannel = nullptr;
    int* pListTop = nullptr;
    int nCount = 0;
};

Band CurrentBand(CTvScreenDlg& dlg)
{
    const int nBand = BandOfWindowedView(dlg.m_nViewMode);
    if (nBand == BAND_TV) return { &dlg.m_nTvChannel, &dlg.m_nTvListTop, dlg.m_nTvCount };
    if (nBand == BAND_RADIO) return { &dlg.m_nRadioChannel, &dlg.m_nRadioListTop, dlg.m_nRadioCount };
    return {};
}

// Takes one matching region. False ends the touch-down: a row that cannot be pressed.
bool TakeHit(CTvScreenDlg& dlg, const HitRegion& region)
{
    dlg.m_nHit = region.nCode;
    if (!IsListRow(region.nCode)) {
        if (region.bDrawnPressed) dlg.m_bPressed = 1;
        return true;
    }
    if (dlg.m_bSearching) return false;
    Band band = CurrentBand(dlg);
    if (!band.pListTop) return false;
    dlg.m_nPressedChannel = *band.pListTop + region.nCode - 1;
    if (dlg.m_nPressedChannel >= band.nCount) return false;
    dlg.m_bPressed = 1;
    dlg.m_bRowPressed = 1;
    return true;
}

// False when the touch-down stopped at a row.
bool HitTest(CTvScreenDlg& dlg, int x, int y)
{
    for (const HitRegion& region : kRegions) {
        if (region.nPanel != kBothPanels && region.nPanel != dlg.m_nPanel) continue;
        if (!Inside(x, y, region.l, region.t, region.r, region.b)) continue;
        if (!TakeHit(dlg, region)) return false;
    }
    return true;
}

// While a search runs the gate stays open; the commands refuse themselves.
bool GateClosed(const CTvScreenDlg& dlg)
{
    return !dlg.m_bSearching && (dlg.m_bBusy || dlg.m_bSettling);
}

// The close button and the PIP's top-left quarter: the view hidden, the window parked, the host told.
void CloseView(CTvScreenDlg& dlg)
{
    dlg.m_nViewMode = VIEW_HIDDEN;
    SwitchOverlayMode(&dlg, VIEW_HIDDEN);
    ParkWindow(dlg);
    SendSoftKey(SK_RECEIVER, RCV_CLOSE);
}

void EmptyDabText(CTvScreenDlg& dlg)
{
    dlg.m_strDls.Empty();
    if (dlg.m_pDlsEdit) dlg.m_pDlsEdit->SetWindowText(L"");
}

// Announces a view to the host; its confirmation (or the viewer itself) switches later.
void AnnounceView(CTvScreenDlg& dlg, int nMode, int nRequest)
{
    dlg.m_bBusy = 1;
    dlg.m_nViewMode = nMode;
    dlg.m_nLastViewMode = nMode;
    SendSoftKey(SK_VIEW_REQUEST, nRequest);
}

// ---- taps outside the buttons -------------------------------------------------------------

void FullScreenTap(CTvScreenDlg& dlg, int x)
{
    dlg.m_bBusy = 1;
    if (x <= kFullScreenMiddleX) {
        SendSoftKey(SK_PIP_REQUEST, PIPREQ_FROM_FULL);
        return;
    }
    if (dlg.m_pDlsEdit) dlg.m_pDlsEdit->SetWindowPos(nullptr, 0, 0, 0, 0, 0);
    AnnounceView(dlg, ChangeViewKind(dlg.m_nViewMode, VIEWKIND_FULL, VIEWKIND_WINDOWED), VIEWREQ_WINDOW);
    SendSoftKey(SK_PIP_REQUEST, PIPREQ_TO_WINDOW);
}

void PipTopLeft(CTvScreenDlg& dlg)
{
    dlg.m_bBusy = 1;
    CloseView(dlg);
}

// Leaves the picture-in-picture through full screen, as the host expects, back to the window.
void PipBottomLeft(CTvScreenDlg& dlg)
{
    AnnounceView(dlg, ChangeViewKind(dlg.m_nViewMode, VIEWKIND_PIP, VIEWKIND_FULL), VIEWREQ_WINDOW);
    SendSoftKey(SK_PIP_LEAVE, PIPLEAVE_ARG);
    dlg.m_nViewMode = ChangeViewKind(dlg.m_nViewMode, VIEWKIND_FULL, VIEWKIND_WINDOWED);
    dlg.m_nLastViewMode = dlg.m_nViewMode;
    ShowWindowFullScreen(dlg, &CWnd::wndTopMost);
    SwitchOverlayMode(&dlg, dlg.m_nViewMode);
}

void PipTap(CTvScreenDlg& dlg, int x, int y)
{
    CRect rc;
    dlg.GetClientRect(&rc);
    const int nMidX = rc.Width() / 2, nMidY = rc.Height() / 2;
    if (y == nMidY) return;
    const bool bLeft = x < nMidX;
    if (y < nMidY) {
        if (bLeft) PipTopLeft(dlg);
        else AnnounceView(dlg, ChangeViewKind(dlg.m_nViewMode, VIEWKIND_PIP, VIEWKIND_FULL), VIEWREQ_FULL_SCREEN);
    } else {
        if (bLeft) PipBottomLeft(dlg);
        else NextPipPosition(&dlg);
    }
}

void PictureTap(CTvScreenDlg& dlg)
{
    if (dlg.m_bSearching) return;
    AnnounceView(dlg, ChangeViewKind(dlg.m_nViewMode, VIEWKIND_WINDOWED, VIEWKIND_FULL), VIEWREQ_FULL_SCREEN);
    dlg.StartTimer(TIMER_RELEASE);
}

// ---- command actions ----------------------------------------------------------------------

void PickListRow(CTvScreenDlg& dlg, int nRow)
{
    Band band = CurrentBand(dlg);
    const int nIndex = band.pListTop ? *band.pListTop + nRow - 1 : -1;
    if (nIndex < 0 || nIndex >= band.nCount) {
        dlg.m_bBusy = 0;
        dlg.ClearNoticeArea();
        return;
    }
    *band.pChannel = nIndex;
    dlg.ShowChangingNotice();
    SendSoftKey(SK_TUNE_CHANNEL, nIndex);
    if (dlg.m_nViewMode == VIEW_RADIO_WINDOW) EmptyDabText(dlg);
    dlg.m_bListOpen = 0;
    dlg.m_nPlayingMode = dlg.m_nViewMode;
}

void Close(CTvScreenDlg& dlg, int) { CloseView(dlg); }
// The arrows move along the list as drawn: up to the channel before, down to the one after.
void UpArrow(CTvScreenDlg& dlg, int) { dlg.PrevChannel(); }
void DownArrow(CTvScreenDlg& dlg, int) { dlg.NextChannel(); }

// The host applies the step and keeps the stored volume; the viewer only moves its copy.
void StepVolume(CTvScreenDlg& dlg, int nStep)
{
    if (dlg.m_nMuteState == MUTE_STATE_MUTED) return;
    // Tested before the step is taken: a stored value at an edge of int must not overflow.
    if (nStep > 0 && dlg.m_nVolume > 10 - nStep) {
        dlg.m_nVolume = 10;
        return;
    }
    if (nStep < 0 && dlg.m_nVolume < 1 - nStep) {
        dlg.m_nVolume = 1;
        return;
    }
    dlg.m_nVolume += nStep;
    dlg.DrawButton(ELEM_VOLUME_BAR, 0);
    dlg.DrawVolumeKnob();
    SendSoftKey(SK_RECEIVER, nStep > 0 ? RCV_VOLUME_UP : RCV_VOLUME_DOWN);
}

void VolumeUp(CTvScreenDlg& dlg, int) { StepVolume(dlg, +1); }
void VolumeDown(CTvScreenDlg& dlg, int) { StepVolume(dlg, -1); }
void Mute(CTvScreenDlg&, int) { SendSoftKey(SK_RECEIVER, RCV_MUTE); }
void Settings(CTvScreenDlg& dlg, int) { dlg.LaunchSettings(); }

void ToggleBand(CTvScreenDlg& dlg, int)
{
    if (IsWindowedView(dlg.m_nViewMode))
        dlg.m_nViewMode = ViewOfBand(OtherBand(BandOfView(dlg.m_nViewMode)), VIEWKIND_WINDOWED);
    dlg.ShowChangingNotice();
    SendSoftKey(SK_RECEIVER, RCV_BAND);
    EmptyDabText(dlg);
}

// Pressed again during a search, the search is announced again.
void Search(CTvScreenDlg& dlg, int)
{
    dlg.m_bSearching = 1;
    HideOverlayForSearch(&dlg);
}

void Pip(CTvScreenDlg& dlg, int)
{
    dlg.ShowChangingNotice();
    SendSoftKey(SK_RECEIVER, RCV_PIP);
}

void MainMenu(CTvScreenDlg& dlg, int)
{
    if (dlg.m_bListOpen) {
        dlg.m_nViewMode = dlg.m_nPlayingMode;
        dlg.m_bListOpen = 0;
        if (IsWindowedView(dlg.m_nViewMode)) SendSoftKey(SK_SELECT_BAND, BandOfView(dlg.m_nViewMode));
    }
    dlg.m_nPanel = PANEL_MAIN;
    dlg.DrawMainPanel();
}

// The band that played when the list opened is kept so the main menu button can return to it.
void OpenList(CTvScreenDlg& dlg, int nBand)
{
    dlg.m_nPanel = PANEL_LIST;
    if (!dlg.m_bListOpen) {
        dlg.m_bListOpen = 1;
        dlg.m_nPlayingMode = dlg.m_nViewMode;
    }
    dlg.m_nViewMode = ViewOfBand(nBand, VIEWKIND_WINDOWED);
    if (nBand == BAND_TV) SendSoftKey(SK_TV_LIST, TVLIST_ARG);
    SendSoftKey(SK_SELECT_BAND, nBand);
    dlg.DrawListPanel();
}

void TvList(CTvScreenDlg& dlg, int) { OpenList(dlg, BAND_TV); }
void RadioList(CTvScreenDlg& dlg, int) { OpenList(dlg, BAND_RADIO); }
void ScrollUp(CTvScreenDlg& dlg, int) { dlg.ScrollListUp(); }
void ScrollDown(CTvScreenDlg& dlg, int) { dlg.ScrollListDown(); }

void ToggleDls(CTvScreenDlg& dlg, int)
{
    dlg.m_bDlsOn = !dlg.m_bDlsOn;
    SaveDls(dlg);
    dlg.DrawButton(ELEM_DLS, dlg.m_bDlsOn);
}

// ---- command table ------------------------------------------------------------------------

enum Lock { CLICK_ONLY, LOCK_AND_CLICK };

struct Command {
    int nFirst, nLast;              // element codes served
    bool bRefusedWhileSearching;
    Lock lock;                      // taken before the action
    void (*pfnAction)(CTvScreenDlg& dlg, int nCode);
    UINT nTimer;                    // started after the action; 0 none
};

const Command kCommands[] = {
    { ELEM_LIST_ROW_FIRST, ELEM_LIST_ROW_LAST, true, LOCK_AND_CLICK, PickListRow, 0 },
    { ELEM_CLOSE_MAIN, ELEM_CLOSE_LIST, true, LOCK_AND_CLICK, Close, 0 },
    { ELEM_CHANNEL_UP_ARROW, ELEM_CHANNEL_UP_ARROW, true, LOCK_AND_CLICK, UpArrow, TIMER_RELEASE },
    { ELEM_CHANNEL_DOWN_ARROW, ELEM_CHANNEL_DOWN_ARROW, true, LOCK_AND_CLICK, DownArrow, TIMER_RELEASE },
    { ELEM_VOLUME_UP, ELEM_VOLUME_UP, true, LOCK_AND_CLICK, VolumeUp, TIMER_RELEASE },
    { ELEM_VOLUME_DOWN, ELEM_VOLUME_DOWN, true, LOCK_AND_CLICK, VolumeDown, TIMER_RELEASE },
    { ELEM_MUTE, ELEM_MUTE, true, LOCK_AND_CLICK, Mute, 0 },
    { ELEM_SETTINGS, ELEM_SETTINGS, true, CLICK_ONLY, Settings, 0 },
    { ELEM_BAND, ELEM_BAND, true, LOCK_AND_CLICK, ToggleBand, 0 },
    { ELEM_SEARCH, ELEM_SEARCH, false, CLICK_ONLY, Search, 0 },
    { ELEM_PIP, ELEM_PIP, true, LOCK_AND_CLICK, Pip, 0 },
    { ELEM_MAIN_MENU, ELEM_MAIN_MENU, true, LOCK_AND_CLICK, MainMenu, TIMER_RELEASE },
    { ELEM_TV_LIST, ELEM_TV_LIST, true, LOCK_AND_CLICK, TvList, TIMER_RELEASE },
    { ELEM_RADIO_LIST, ELEM_RADIO_LIST, true, LOCK_AND_CLICK, RadioList, TIMER_RELEASE },
    { ELEM_SCROLL_UP, ELEM_SCROLL_UP, true, LOCK_AND_CLICK, ScrollUp, TIMER_SWITCHED },
    { ELEM_SCROLL_DOWN, ELEM_SCROLL_DOWN, true, LOCK_AND_CLICK, ScrollDown, TIMER_SWITCHED },
    { ELEM_DLS, ELEM_DLS, true, LOCK_AND_CLICK, ToggleDls, TIMER_RELEASE },
};

const Command* FindCommand(int nCode)
{
    for (const Command& c : kCommands)
        if (nCode >= c.nFirst && nCode <= c.nLast) return &c;
    return nullptr;
}

void Click(const CTvScreenDlg& dlg)
{
    ::PlaySoundW(MAKEINTRESOURCEW(IDR_CLICK), dlg.m_hInstance, SND_RESOURCE | SND_ASYNC);
}

// A host answering from inside the action's broadcasts has been served before the timer starts.
void RunCommand(CTvScreenDlg& dlg, int nCode)
{
    const Command* pCommand = FindCommand(nCode);
    if (!pCommand) return;
    if (pCommand->bRefusedWhileSearching && dlg.m_bSearching) return;
    if (pCommand->lock == LOCK_AND_CLICK) dlg.m_bBusy = 1;
    Click(dlg);
    pCommand->pfnAction(dlg, nCode);
    if (pCommand->nTimer) dlg.StartTimer(pCommand->nTimer);
}

} // namespace

// ---- handlers -----------------------------------------------------------------------------

void CTvScreenDlg::OnLButtonDown(UINT, CPoint point)
{
    // Counted before the gate: five touch-downs free a lock that no answer came to free.
    ++m_nTapCount;
    m_nPressedChannel = -1;
    m_nHit = ELEM_NONE;
    if (m_nTapCount >= 5) {
        m_nTapCount = 0;
        StartTimer(TIMER_WATCHDOG);
    }
    if (GateClosed(*this) || !IsWindowedView(m_nViewMode)) return;
    if (!HitTest(*this, point.x, point.y)) return;
    if (m_bPressed) DrawButton(m_nHit, 1);
    if (m_bRowPressed) DrawChannelRow(m_nPressedChannel, m_nHit);
}

// The dialog class asks for double-clicks, so the system turns a second touch close in time and
// place into one; on a touch screen it is just another touch-down.
void CTvScreenDlg::OnLButtonDblClk(UINT nFlags, CPoint point) { OnLButtonDown(nFlags, point); }

void CTvScreenDlg::OnLButtonUp(UINT, CPoint point)
{
    if (GateClosed(*this)) return;
    if (IsFullView(m_nViewMode)) {
        FullScreenTap(*this, point.x);
        return;
    }
    if (IsPipView(m_nViewMode)) {
        PipTap(*this, point.x, point.y);
        return;
    }
    if (!IsWindowedView(m_nViewMode)) return;
    // Lifted in the picture, the touch asks for full screen whatever it started on; a button
    // pressed on the way stays drawn pressed.
    if (Inside(point.x, point.y, kPictureFrame.left, kPictureFrame.top, kPictureFrame.right, kPictureFrame.bottom)) {
        PictureTap(*this);
        return;
    }
    if (m_bPressed) {
        m_bPressed = 0;
        DrawButton(m_nHit, 0);
    }
    if (m_bRowPressed) {
        m_bRowPressed = 0;
        DrawChannelRow(m_nPressedChannel, m_nHit);
    }
    // The element found at touch-down, wherever the finger was lifted.
    RunCommand(*this, m_nHit);
}

// ---- channels and list --------------------------------------------------------------------

// Neither direction wraps around.
void CTvScreenDlg::PrevChannel()
{
    Band band = CurrentBand(*this);
    if (!band.pChannel || band.nCount == 0 || *band.pChannel <= 0) return;
    --*band.pChannel;
    SendSoftKey(SK_TUNE_CHANNEL, *band.pChannel);
}

void CTvScreenDlg::NextChannel()
{
    Band band = CurrentBand(*this);
    // "Below the last" rather than "not the last": a channel left beyond a shrunken file's
    // count must never be stepped further out.
    if (!band.pChannel || band.nCount == 0 || *band.pChannel >= band.nCount - 1) return;
    ++*band.pChannel;
    SendSoftKey(SK_TUNE_CHANNEL, *band.pChannel);
}

// Six rows show a list of six or fewer whole; it does not scroll.
void CTvScreenDlg::ScrollListUp()
{
    Band band = CurrentBand(*this);
    if (!band.pListTop || band.nCount <= LIST_ROWS) return;
    if (--*band.pListTop < 1) *band.pListTop = 1;
    DrawChannelList();
}

void CTvScreenDlg::ScrollListDown()
{
    Band band = CurrentBand(*this);
    if (!band.pListTop || band.nCount <= LIST_ROWS) return;
    const int nOldTop = (*band.pListTop)++;
    if (nOldTop + LIST_ROWS > band.nCount) *band.pListTop = band.nCount - (LIST_ROWS - 1);
    DrawChannelList();
}
