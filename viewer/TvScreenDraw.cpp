// Skin and elements: the GDI set-up, the layout table and every drawing routine.
// Handlers decide when to draw; these routines only blit bitmaps and write status text.
#include "TvScreenDlg.h"
#include "SettingsStore.h"
#include "ViewModes.h"
#include "overlay/Overlay.h"

#include <cstring>

namespace {

// One element of the layout: where it goes, the size of one state, its strip and whether it
// may appear while a channel search runs (the search owns the controls it would disturb).
struct ElementLayout {
    int nCode;
    int x, y, w, h;
    CBitmap CTvScreenDlg::*pBitmap;
    bool bWhileSearching;
};

const ElementLayout kLayout[] = {
    { 0, 420, 179 + 41 * 0, 163, 33, &CTvScreenDlg::m_bmpListRow, false },
    { 1, 420, 179 + 41 * 1, 163, 33, &CTvScreenDlg::m_bmpListRow, false },
    { 2, 420, 179 + 41 * 2, 163, 33, &CTvScreenDlg::m_bmpListRow, false },
    { 3, 420, 179 + 41 * 3, 163, 33, &CTvScreenDlg::m_bmpListRow, false },
    { 4, 420, 179 + 41 * 4, 163, 33, &CTvScreenDlg::m_bmpListRow, false },
    { 5, 420, 179 + 41 * 5, 163, 33, &CTvScreenDlg::m_bmpListRow, false },
    { ELEM_CLOSE_MAIN, 558, 429, 79, 47, &CTvScreenDlg::m_bmpCloseMain, false },
    { ELEM_CLOSE_LIST, 558, 429, 79, 47, &CTvScreenDlg::m_bmpCloseList, false },
    { ELEM_CHANNEL_UP_ARROW, 431, 187, 62, 53, &CTvScreenDlg::m_bmpArrowUp, false },
    { ELEM_CHANNEL_DOWN_ARROW, 431, 271, 62, 53, &CTvScreenDlg::m_bmpArrowDown, false },
    { ELEM_VOLUME_UP, 558, 187, 62, 53, &CTvScreenDlg::m_bmpArrowUp, false },
    { ELEM_VOLUME_DOWN, 558, 271, 62, 53, &CTvScreenDlg::m_bmpArrowDown, false },
    { ELEM_MUTE, 504, 236, 42, 42, &CTvScreenDlg::m_bmpMute, false },
    { ELEM_SETTINGS, 527, 68, 106, 46, &CTvScreenDlg::m_bmpSettings, true },
    { ELEM_BAND, 423, 374, 100, 41, &CTvScreenDlg::m_bmpBand, true },
    { ELEM_SEARCH, 423, 419, 100, 41, &CTvScreenDlg::m_bmpSearch, true },
    { ELEM_PIP, 3, 369, 44, 44, &CTvScreenDlg::m_bmpPip, true },
    { ELEM_MAIN_MENU, 417, 68, 106, 46, &CTvScreenDlg::m_bmpMainMenu, true },
    { ELEM_TV_LIST, 417, 118, 106, 46, &CTvScreenDlg::m_bmpTvList, true },
    { ELEM_RADIO_LIST, 527, 118, 106, 46, &CTvScreenDlg::m_bmpRadioList, true },
    { ELEM_SCROLL_UP, 591, 182, 36, 48, &CTvScreenDlg::m_bmpScrollUp, true },
    { ELEM_SCROLL_DOWN, 591, 367, 36, 48, &CTvScreenDlg::m_bmpScrollDown, true },
    { ELEM_DLS, 527, 374, 100, 41, &CTvScreenDlg::m_bmpDls, true },
    { ELEM_VOLUME_BAR, 434, 344, 186, 22, &CTvScreenDlg::m_bmpVolumeBar, true },
    { ELEM_MAIN_PANEL, 405, 61, 235, 419, &CTvScreenDlg::m_bmpMainPanel, true },
    { ELEM_LIST_PANEL, 405, 61, 235, 419, &CTvScreenDlg::m_bmpListPanel, true },
};

const ElementLayout* FindElement(int nCode)
{
    for (const ElementLayout& e : kLayout)
        if (e.nCode == nCode) return &e;
    return nullptr;
}

// Element bitmaps in their load order.
struct BitmapLoad {
    UINT nId;
    CBitmap CTvScreenDlg::*pBitmap;
};

const BitmapLoad kLoadOrder[] = {
    { IDB_CLOSE_MAIN, &CTvScreenDlg::m_bmpCloseMain },
    { IDB_CLOSE_LIST, &CTvScreenDlg::m_bmpCloseList },
    { IDB_ARROW_UP, &CTvScreenDlg::m_bmpArrowUp },
    { IDB_ARROW_DOWN, &CTvScreenDlg::m_bmpArrowDown },
    { IDB_MUTE, &CTvScreenDlg::m_bmpMute },
    { IDB_MAIN_PANEL, &CTvScreenDlg::m_bmpMainPanel },
    { IDB_LIST_PANEL, &CTvScreenDlg::m_bmpListPanel },
    { IDB_VOLUME_BAR, &CTvScreenDlg::m_bmpVolumeBar },
    { IDB_VOLUME_KNOB, &CTvScreenDlg::m_bmpVolumeKnob },
    { IDB_SETTINGS, &CTvScreenDlg::m_bmpSettings },
    { IDB_BAND, &CTvScreenDlg::m_bmpBand },
    { IDB_NOTICE_BLANK, &CTvScreenDlg::m_bmpNoticeBlank },
    { IDB_FIGURE_BLANK, &CTvScreenDlg::m_bmpFigureBlank },
    { IDB_SEARCH, &CTvScreenDlg::m_bmpSearch },
    { IDB_MAIN_MENU, &CTvScreenDlg::m_bmpMainMenu },
    { IDB_TV_LIST, &CTvScreenDlg::m_bmpTvList },
    { IDB_RADIO_LIST, &CTvScreenDlg::m_bmpRadioList },
    { IDB_LIST_ROW, &CTvScreenDlg::m_bmpListRow },
    { IDB_LIST_SCROLL_UP, &CTvScreenDlg::m_bmpScrollUp },
    { IDB_LIST_SCROLL_DOWN, &CTvScreenDlg::m_bmpScrollDown },
    { IDB_SCROLL_THUMB, &CTvScreenDlg::m_bmpScrollThumb },
    { IDB_SCROLL_TRACK, &CTvScreenDlg::m_bmpScrollTrack },
    { IDB_DLS, &CTvScreenDlg::m_bmpDls },
    { IDB_PIP, &CTvScreenDlg::m_bmpPip },
    { IDB_PROGRESS_FILL, &CTvScreenDlg::m_bmpProgressFill },
    { IDB_PROGRESS_EMPTY, &CTvScreenDlg::m_bmpProgressEmpty },
};

const wchar_t kFontFace[] = L"굴림체";
const int kFontHeight = 28;
const int kFontWeight = 1000;
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);

const wchar_t kSearchingNotice[] = L"채널 검색중 입니다.";
const wchar_t kChangingNotice[] = L"채널 변경중 입니다.";
const int kSearchUnderlineLength = 21;

// Black boxes and text regions inside the picture frame.
const int kNoticeX = 67, kNoticeY = 178, kNoticeW = 280, kNoticeH = 60;
const int kFigureX = 82, kFigureW = 250, kFigureH = 30;
const int kDmbFigureY = 293, kDabFigureY = 323;
const int kProgressX = 82, kProgressY = 238, kProgressW = 250, kProgressH = 15;
const double kProgressStep = 12.5;

const int kKnobX = 434, kKnobY = 344, kKnobW = 28, kKnobH = 22, kKnobMaxX = 592;

const int kTrackX = 598, kTrackY = 230, kTrackW = 23, kTrackH = 137;
const int kThumbW = 23, kThumbH = 18, kThumbMaxY = 349;
// The thumb travels the track's height times the share of the list scrolled past. The share is
// worked out against the height in hundredths and scaled back by -0.01, which keeps the rounding
// the thumb has always had; the sign is undone where the offset is taken from the track's top.
const double kTrackHundredths = 100.0 * kTrackH;
const double kHundredthsToPixelsUp = -0.01;

// A float or double is brought into this range before it becomes an int: outside an int's range
// the conversion is undefined, and anything this far out lies off the screen all the same.
const double kPixelLimit = 100000.0;

const int kRowTextLeft = 430, kRowTextRight = 583, kRowTextTop = 182, kRowTextHeight = 33, kRowPitch = 41;

} // namespace

// ---- set-up and release -------------------------------------------------------------------

void CTvScreenDlg::CreateGdiResources()
{
    CPaintDC dcRef(this);

    m_bmpSkin.LoadBitmap(IDB_SKIN);
    m_dcSkin.CreateCompatibleDC(&dcRef);
    if (m_bmpSkin.GetSafeHandle()) m_pOldSkinBitmap = m_dcSkin.SelectObject(&m_bmpSkin);

    m_pTextDC = CDC::FromHandle(::GetDC(m_hWnd));
    if (m_pTextDC) {
        m_pTextDC->SetTextColor(kWhite);
        m_pTextDC->SetBkMode(TRANSPARENT);
        m_font.Attach(::CreateFontW(kFontHeight, 0, 0, 0, kFontWeight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                    0, 0, 0, 0, kFontFace));
        if (m_font.GetSafeHandle()) m_pOldFont = m_pTextDC->SelectObject(&m_font);
    }

    m_pWndDC = CDC::FromHandle(::GetDC(m_hWnd));
    if (m_pWndDC) m_dcButtons.CreateCompatibleDC(m_pWndDC);
    m_pOldButtonBitmap = nullptr;

    for (const BitmapLoad& load : kLoadOrder) (this->*load.pBitmap).LoadBitmap(load.nId);

    m_nVolumeTravel = 158;
    m_fVolumeStep = 158.0f / 9.0f;
}

// Gives back what CreateGdiResources took. The window DCs go back while the window still exists
// (on WM_DESTROY); once it is gone the system has reclaimed them with it and they are only
// forgotten. The overlay engine's escape DC is the engine's and is left alone. Safe to repeat.
void CTvScreenDlg::ReleaseGdiResources()
{
    const bool bWindow = m_hWnd && ::IsWindow(m_hWnd);

    if (m_pTextDC) {
        if (m_pOldFont) m_pTextDC->SelectObject(m_pOldFont);
        if (bWindow) ReleaseDC(m_pTextDC);
    }
    m_pOldFont = nullptr;
    m_pTextDC = nullptr;
    m_font.DeleteObject();

    if (m_dcButtons.GetSafeHdc() && m_pOldButtonBitmap) m_dcButtons.SelectObject(m_pOldButtonBitmap);
    m_pOldButtonBitmap = nullptr;
    m_dcButtons.DeleteDC();
    if (m_pWndDC && bWindow) ReleaseDC(m_pWndDC);
    m_pWndDC = nullptr;

    if (m_dcSkin.GetSafeHdc() && m_pOldSkinBitmap) m_dcSkin.SelectObject(m_pOldSkinBitmap);
    m_pOldSkinBitmap = nullptr;
    m_dcSkin.DeleteDC();
    m_bmpSkin.DeleteObject();

    for (const BitmapLoad& load : kLoadOrder) (this->*load.pBitmap).DeleteObject();
    m_brDlsText.DeleteObject();
}

void CTvScreenDlg::OnDestroy()
{
    ReleaseGdiResources();
    CDialog::OnDestroy();
}

// ---- elements -----------------------------------------------------------------------------

void CTvScreenDlg::DrawBitmapState(int x, int y, int nWidth, int nHeight, CBitmap* pBitmap, int nState)
{
    if (!m_pWndDC || !m_dcButtons.GetSafeHdc() || !pBitmap || !pBitmap->GetSafeHandle()) return;
    m_pOldButtonBitmap = m_dcButtons.SelectObject(pBitmap);
    m_pWndDC->BitBlt(x, y, nWidth, nHeight, &m_dcButtons, 0, nHeight * nState, SRCCOPY);
    if (m_pOldButtonBitmap) m_dcButtons.SelectObject(m_pOldButtonBitmap);
    m_pOldButtonBitmap = nullptr;
}

void CTvScreenDlg::DrawButton(int nCode, int nState)
{
    const ElementLayout* e = FindElement(nCode);
    if (!e) return;
    if (m_bSearching && !e->bWhileSearching) return;
    DrawBitmapState(e->x, e->y, e->w, e->h, &(this->*e->pBitmap), nState);
}

void CTvScreenDlg::DrawTextInRect(const CString& strText, int l, int t, int r, int b)
{
    if (!m_pTextDC) return;
    CRect rcClip(l, t, r, b);
    m_pTextDC->ExtTextOut(l, t, ETO_CLIPPED, &rcClip, strText, nullptr);
}

// ---- whole window -------------------------------------------------------------------------

void CTvScreenDlg::OnPaint()
{
    CPaintDC dc(this);
    // The overlay fills a picture-in-picture window; anything painted would only flicker under it.
    if (IsPipView(m_nViewMode)) return;

    if (m_dcSkin.GetSafeHdc())
        dc.BitBlt(0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), &m_dcSkin, 0, 0, SRCCOPY);

    if (m_bSearching) {
        CString strUnderline;
        for (int i = 0; i < kSearchUnderlineLength; ++i) {
            CString strPrevious = strUnderline;
            strUnderline.Format(L"%s_", static_cast<LPCWSTR>(strPrevious));
        }
        DrawTextInRect(strUnderline, 60, 225, 310, 280);
        DrawSearchProgress(0);
        DrawSearchProgress(m_nSearchProgress);
        ShowSearchFigure(0, m_nDmbFigure);
        ShowSearchFigure(1, m_nDabFigure);
    }

    if (m_nPanel == PANEL_MAIN) DrawMainPanel();
    else if (m_nPanel == PANEL_LIST) DrawListPanel();
}

void CTvScreenDlg::DrawMainPanel()
{
    DrawButton(ELEM_MAIN_PANEL, 0);
    LoadVolume(*this);
    DrawVolumeKnob();
    SaveDls(*this);
    DrawButton(ELEM_DLS, m_bDlsOn);
    DrawButton(ELEM_MUTE, m_nMuteState - 1);
}

void CTvScreenDlg::DrawListPanel()
{
    DrawButton(ELEM_LIST_PANEL, 0);
    DrawChannelList();
}

// ---- channel list -------------------------------------------------------------------------

void CTvScreenDlg::DrawChannelList()
{
    for (int k = ELEM_LIST_ROW_FIRST; k <= ELEM_LIST_ROW_LAST; ++k) DrawButton(k, 0);

    int nTop = 0, nCount = 0;
    const int nBand = BandOfWindowedView(m_nViewMode);
    if (nBand == BAND_RADIO) {
        nTop = m_nRadioListTop;
        nCount = m_nRadioCount;
    } else if (nBand == BAND_TV) {
        nTop = m_nTvListTop;
        nCount = m_nTvCount;
    } else {
        return;
    }

    if (nCount > 0) {
        for (int k = 0; k < LIST_ROWS; ++k) {
            int nIndex = nTop + k - 1;
            if (nIndex >= nCount) break;
            DrawChannelRow(nIndex, k);
        }
    }
    DrawListScrollBar(nTop, nCount - 5);
}

void CTvScreenDlg::DrawChannelRow(int nIndex, int nRow)
{
    if (nRow < 0 || nRow >= LIST_ROWS) return;

    // Only the two windowed views name a band; ChannelRecord has none for any other.
    const char* pRecord = ChannelRecord(BandOfWindowedView(m_nViewMode), nIndex);

    CString strName;
    if (pRecord) {
        // A name that fills its 32 bytes has no zero byte; it ends with its record.
        char szName[CHANNEL_NAME_SIZE + 1];
        std::memcpy(szName, pRecord, CHANNEL_NAME_SIZE);
        szName[CHANNEL_NAME_SIZE] = '\0';
        strName.Format(L"%S", szName);
    }
    if (strName.IsEmpty()) return;

    int nTop = kRowTextTop + kRowPitch * nRow;
    DrawTextInRect(strName, kRowTextLeft, nTop, kRowTextRight, nTop + kRowTextHeight);
}

void CTvScreenDlg::DrawListScrollBar(int nTop, int nSpan)
{
    if (nSpan == 0) nSpan = 1;

    int y = kTrackY;
    if (nTop != 0 && nTop != 1) {
        if (nSpan - 1 == 0) {
            // A list of five or six channels scrolled down has nothing further to show: the
            // thumb sits at the end of its travel, where the division's limit would put it.
            y = kThumbMaxY;
        } else {
            // The share of the list scrolled past, (top - 1) of (span - 1), of the track's height.
            double t = (kTrackHundredths / (nSpan - 1)) * (nTop - 1) * kHundredthsToPixelsUp;
            if (t < -kPixelLimit) t = -kPixelLimit;
            if (t > kPixelLimit) t = kPixelLimit;
            y = kTrackY - static_cast<int>(t);
        }
    }
    if (y > kThumbMaxY) y = kThumbMaxY;

    DrawBitmapState(kTrackX, kTrackY, kTrackW, kTrackH, &m_bmpScrollTrack, 0);
    DrawBitmapState(kTrackX, y, kThumbW, kThumbH, &m_bmpScrollThumb, 0);
}

// ---- volume and search --------------------------------------------------------------------

void CTvScreenDlg::DrawVolumeKnob()
{
    // Single precision on purpose: 9 steps of 17.5555553f come to exactly 158.
    float fSteps = static_cast<float>(static_cast<long long>(m_nVolume) - 1);
    float fOffset = fSteps * m_fVolumeStep;
    int x = kKnobMaxX;
    if (fOffset < static_cast<float>(kKnobMaxX - kKnobX)) {
        if (fOffset < static_cast<float>(-kPixelLimit)) fOffset = static_cast<float>(-kPixelLimit);
        x = kKnobX + static_cast<int>(fOffset);
    }
    DrawBitmapState(x, kKnobY, kKnobW, kKnobH, &m_bmpVolumeKnob, 0);
}

void CTvScreenDlg::DrawSearchProgress(int n)
{
    if (n == 0) {
        DrawBitmapState(kProgressX, kProgressY, kProgressW, kProgressH, &m_bmpProgressEmpty, 0);
        return;
    }
    double fWidth = n * kProgressStep;
    int nWidth = fWidth >= kProgressW ? kProgressW : static_cast<int>(fWidth);
    // A negative report has no fill to show; the empty bar drawn before it stays.
    if (nWidth <= 0) return;
    DrawBitmapState(kProgressX, kProgressY, nWidth, kProgressH, &m_bmpProgressFill, 0);
}

void CTvScreenDlg::ShowSearchFigure(int nWhich, int n)
{
    DrawBitmapState(kNoticeX, kNoticeY, kNoticeW, kNoticeH, &m_bmpNoticeBlank, 0);
    DrawTextInRect(kSearchingNotice, kNoticeX, kNoticeY, kNoticeX + kNoticeW, kNoticeY + kNoticeH);

    CString strFigure;
    int nLineY = 0;
    if (nWhich == 0) {
        m_nDmbFigure = n;
        strFigure.Format(n <= 9 ? L" DMB 채널 :  %d" : L" DMB 채널 : %d", n);
        nLineY = kDmbFigureY;
    } else if (nWhich == 1) {
        m_nDabFigure = n;
        strFigure.Format(n <= 9 ? L" DAB 채널 :  %d" : L" DAB 채널 : %d", n);
        nLineY = kDabFigureY;
    } else {
        return;
    }
    DrawBitmapState(kFigureX, nLineY, kFigureW, kFigureH, &m_bmpFigureBlank, 0);
    DrawTextInRect(strFigure, kFigureX, nLineY, kFigureX + kFigureW, nLineY + kFigureH);
}

void CTvScreenDlg::ShowChangingNotice()
{
    HideOverlay();
    DrawBitmapState(kNoticeX, kNoticeY, kNoticeW, kNoticeH, &m_bmpNoticeBlank, 0);
    DrawTextInRect(kChangingNotice, kNoticeX, kNoticeY, kNoticeX + kNoticeW, kNoticeY + kNoticeH);
    DrawBitmapState(kFigureX, kDmbFigureY, kFigureW, kFigureH, &m_bmpFigureBlank, 0);
    DrawBitmapState(kFigureX, kDabFigureY, kFigureW, kFigureH, &m_bmpFigureBlank, 0);
}

void CTvScreenDlg::ClearNoticeArea()
{
    DrawBitmapState(kNoticeX, kNoticeY, kNoticeW, kNoticeH, &m_bmpNoticeBlank, 0);
    DrawBitmapState(kFigureX, kDmbFigureY, kFigureW, kFigureH, &m_bmpFigureBlank, 0);
    DrawBitmapState(kFigureX, kDabFigureY, kFigureW, kFigureH, &m_bmpFigureBlank, 0);
}

// ---- colours ------------------------------------------------------------------------------

HBRUSH CTvScreenDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
{
    HBRUSH hResult = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    if (!pDC) return hResult;
    if (pWnd == this) {
        pDC->SetBkMode(TRANSPARENT);
        return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
    }
    if (nCtlColor == CTLCOLOR_EDIT && pWnd && pWnd->GetDlgCtrlID() == IDC_DLS_EDIT) {
        pDC->SetTextColor(kWhite);
        pDC->SetBkColor(kBlack);
        // One brush for the life of the dialog, made on the line's first paint.
        if (!m_brDlsText.GetSafeHandle()) m_brDlsText.CreateSolidBrush(kBlack);
        return static_cast<HBRUSH>(m_brDlsText.GetSafeHandle());
    }
    return hResult;
}
