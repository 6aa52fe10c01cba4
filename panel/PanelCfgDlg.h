// The settings panel: display brightness, dimmer and FM transmitter, each change sent to the
// control service. The face is one skin with button images and value slots blitted over it.
#ifndef PANEL_PANELCFGDLG_H
#define PANEL_PANELCFGDLG_H

#include <afxwin.h>

#include "res/PanelCfgRes.h"

// Hit codes of the touch buttons; 0 is no button.
enum : int {
    HIT_NONE = 0,
    HIT_CLOSE = 101,
    HIT_BRIGHT_DOWN = 102,
    HIT_BRIGHT_UP = 103,
    HIT_FM_DOWN = 104,
    HIT_FM_UP = 105,
    HIT_DIMMER_LEFT = 106,
    HIT_DIMMER_RIGHT = 107,
};

// The FM transmitter's value that means muted (0.1 MHz units otherwise).
enum : int { FMTX_MUTED = 875 };

class CPanelCfgDlg : public CDialog {
public:
    CPanelCfgDlg();

    UINT m_uSoftKeyMsg = 0;
    int m_nHit = HIT_NONE;
    BOOL m_bPressed = FALSE;
    int m_nContrast = 0;
    int m_nBright = 0;
    int m_nStartPrg = 0;
    int m_nFmTx = 0;
    int m_nModeAct = 0;
    int m_nDimmer = 0;
    HICON m_hIcon = nullptr;

    BOOL OnInitDialog() override;
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    afx_msg void OnPaint();
    afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
    afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);
    afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
    afx_msg void OnBrightDown();
    afx_msg void OnBrightUp();
    afx_msg void OnFmDown();
    afx_msg void OnFmUp();
    afx_msg void OnDimmerToggle();

    void RunAction(int nHit);
    void Close();
    void Broadcast(int nCode, int nArg);
    void MoveToBottom();

    // Drawing straight onto the window, each step with its bitmap loaded afresh.
    void PaintSkin(CDC& dc);
    void DrawBrightSlot();
    void DrawFmSlot();
    void DrawDimmerSlot();
    void DrawButton(int nHit, BOOL bPressed);
    void DrawDigit(int nDigit, int x, int y);
    void DrawBitmap(UINT nIdBitmap, int x, int y, int cx, int cy, int xSrc, int ySrc);

    DECLARE_MESSAGE_MAP()
};

#endif
