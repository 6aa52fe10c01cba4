#include "PanelButtons.h"
#include "PanelCfgDlg.h"

namespace {

const PanelButton kButtons[] = {
    { HIT_CLOSE,        { 404, -17, 492, 48 },  IDB_CLOSE,        423, 2,   50, 27 },
    { HIT_BRIGHT_DOWN,  { 256, 52, 286, 85 },   IDB_BRIGHT_LEFT,  255, 51,  32, 35 },
    { HIT_BRIGHT_UP,    { 344, 52, 374, 85 },   IDB_BRIGHT_RIGHT, 343, 51,  32, 35 },
    { HIT_FM_DOWN,      { 256, 152, 286, 185 }, IDB_FM_LEFT,      255, 151, 32, 35 },
    { HIT_FM_UP,        { 344, 152, 374, 185 }, IDB_FM_RIGHT,     343, 151, 32, 35 },
    { HIT_DIMMER_LEFT,  { 256, 102, 286, 135 }, IDB_DIMMER_LEFT,  255, 101, 32, 35 },
    { HIT_DIMMER_RIGHT, { 344, 102, 374, 135 }, IDB_DIMMER_RIGHT, 343, 101, 32, 35 },
};

// Value slots, 44 x 16 each, and the 12 x 16 cells of the digit strip.
const int kSlotX = 293;
const int kBrightSlotY = 61;
const int kDimmerSlotY = 111;
const int kFmSlotY = 161;
const int kSlotCx = 44;
const int kSlotCy = 16;
const int kDigitCx = 12;
const int kPointSrcX = 120;

bool Holds(const RECT& rc, POINT pt)
{
    return pt.x >= rc.left && pt.x <= rc.right && pt.y >= rc.top && pt.y <= rc.bottom;
}

} // namespace

const PanelButton* FindPanelButton(POINT pt)
{
    for (const PanelButton& button : kButtons)
        if (Holds(button.rcTouch, pt)) return &button;
    return nullptr;
}

const PanelButton* PanelButtonOf(int nHit)
{
    for (const PanelButton& button : kButtons)
        if (button.nHit == nHit) return &button;
    return nullptr;
}

void CPanelCfgDlg::OnPaint()
{
    CPaintDC dc(this);
    PaintSkin(dc);
    DrawBrightSlot();
    DrawFmSlot();
    DrawDimmerSlot();
}

// The skin sits at the top-left corner; a larger screen shows plain black around it.
void CPanelCfgDlg::PaintSkin(CDC& dc)
{
    RECT rcClient;
    GetClientRect(&rcClient);
    CDC memDC;
    CBitmap skin;
    BITMAP bm = {};
    if (!memDC.CreateCompatibleDC(&dc) || !skin.LoadBitmap(IDB_PANEL_SKIN) ||
        !::GetObjectW(skin.m_hObject, sizeof(bm), &bm))
        return;
    const int cx = bm.bmWidth < rcClient.right ? bm.bmWidth : rcClient.right;
    const int cy = bm.bmHeight < rcClient.bottom ? bm.bmHeight : rcClient.bottom;
    HGDIOBJ hOld = memDC.SelectObject(skin.m_hObject);
    dc.BitBlt(0, 0, cx, cy, &memDC, 0, 0, SRCCOPY);
    memDC.SelectObject(hOld);

    HBRUSH hBlack = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    const RECT rcRight = { cx, 0, rcClient.right, rcClient.bottom };
    const RECT rcBelow = { 0, cy, cx, rcClient.bottom };
    if (rcRight.left < rcRight.right) ::FillRect(dc.m_hDC, &rcRight, hBlack);
    if (rcBelow.top < rcBelow.bottom) ::FillRect(dc.m_hDC, &rcBelow, hBlack);
}

void CPanelCfgDlg::DrawBrightSlot()
{
    DrawBitmap(IDB_SLOT_EMPTY, kSlotX, kBrightSlotY, kSlotCx, kSlotCy, 0, 0);
    if (m_nBright >= 0 && m_nBright <= 9) {
        DrawDigit(m_nBright, 310, kBrightSlotY);
    } else if (m_nBright == 10) {
        DrawDigit(1, 304, kBrightSlotY);
        DrawDigit(0, 316, kBrightSlotY);
    }
}

// Three digits and a point: 881 reads 88.1. The units cell covers the tail of the point's cell.
// A value the three digits cannot spell shows the empty slot.
void CPanelCfgDlg::DrawFmSlot()
{
    if (m_nFmTx == FMTX_MUTED) {
        DrawBitmap(IDB_SLOT_MUTE, kSlotX, kFmSlotY, kSlotCx, kSlotCy, 0, 0);
        return;
    }
    if (m_nFmTx < 0 || m_nFmTx > 999) {
        DrawBitmap(IDB_SLOT_EMPTY, kSlotX, kFmSlotY, kSlotCx, kSlotCy, 0, 0);
        return;
    }
    DrawDigit(m_nFmTx / 100, 293, kFmSlotY);
    DrawDigit((m_nFmTx % 100) / 10, 305, kFmSlotY);
    DrawBitmap(IDB_DIGITS, 317, kFmSlotY, kDigitCx, kSlotCy, kPointSrcX, 0);
    DrawDigit(m_nFmTx % 10, 325, kFmSlotY);
}

void CPanelCfgDlg::DrawDimmerSlot()
{
    if (m_nDimmer != 0 && m_nDimmer != 1) return;
    DrawBitmap(IDB_SLOT_ONOFF, kSlotX, kDimmerSlotY, kSlotCx, kSlotCy, 0, m_nDimmer * kSlotCy);
}

void CPanelCfgDlg::DrawButton(int nHit, BOOL bPressed)
{
    const PanelButton* pButton = PanelButtonOf(nHit);
    if (!pButton) return;
    DrawBitmap(pButton->nIdBitmap, pButton->x, pButton->y, pButton->cx, pButton->cy, 0,
               bPressed ? pButton->cy : 0);
}

void CPanelCfgDlg::DrawDigit(int nDigit, int x, int y)
{
    if (nDigit < 0 || nDigit > 9) return;
    DrawBitmap(IDB_DIGITS, x, y, kDigitCx, kSlotCy, nDigit * kDigitCx, 0);
}

// One blit from a bitmap resource onto the window, outside painting. Nothing is cached:
// the bitmap is loaded for this blit and freed after it.
void CPanelCfgDlg::DrawBitmap(UINT nIdBitmap, int x, int y, int cx, int cy, int xSrc, int ySrc)
{
    CDC* pDC = GetDC();
    if (!pDC) return;
    CDC memDC;
    if (memDC.CreateCompatibleDC(pDC)) {
        CBitmap bitmap;
        if (bitmap.LoadBitmap(nIdBitmap)) {
            HGDIOBJ hOld = memDC.SelectObject(bitmap.m_hObject);
            pDC->BitBlt(x, y, cx, cy, &memDC, xSrc, ySrc, SRCCOPY);
            memDC.SelectObject(hOld);
            bitmap.DeleteObject();
        }
        memDC.DeleteDC();
    }
    ReleaseDC(pDC);
}
