// The settings panel: display brightness, dimmer and FM transmitter, each change sent to the
// control service. The face is one skin with button images and value slots blitted over it.
#ifndef PANEL_PANELCFGDLG_H
#define PANEL_PANELCFGDLG_H

#include <afxwin.h>

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

// Resources of the panel.
enum : UINT {
    IDB_PANEL_SKIN = 175,
    IDB_DIGITS = 135,
    IDB_CLOSE = 195,
    IDB_BRIGHT_RIGHT = 204,
    IDB_BRIGHT_LEFT = 205,
    IDB_DIMMER_RIGHT = 206,
    IDB_DIMMER_LEFT = 207,
    IDB_FM_RIGHT = 208,
    IDB_FM_LEFT = 209,
    IDB_SLOT_EMPTY = 211,
    IDB_SLOT_ONOFF = 183,
    IDB_SLOT_MUTE = 192,
    IDR_CLICK = 196,
};

// The FM transmitter's value that means muted (0.1 MHz units otherwise).
enum : int { FMTX_MUTED = 875 };

// Controls of the template; the hidden ones still take their old commands.
enum : UINT {
    IDC_BRIGHT_MINUS = 1010,
    IDC_BRIGHT_PLUS = 1011,
    IDC_FMTX_MINUS = 1017,
    IDC_FMTX_PLUS = 1018,
    IDC_DIMMER_MINUS = 1022,
    IDC_DIMMER_PLUS = 1023,
};

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
