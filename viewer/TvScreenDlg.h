// The mobile-TV viewer: one modal dialog that owns all user-interface state.
// Start-up, channel file and settings launch: TvScreenDlg.cpp. Skin and elements: TvScreenDraw.cpp.
// Touch, busy lock and timers: TvScreenTouch.cpp. Host commands and DAB text: TvScreenHost.cpp.
#ifndef VIEWER_TVSCREENDLG_H
#define VIEWER_TVSCREENDLG_H

#include <afxwin.h>
#include "ViewerIds.h"

class CTvScreenDlg : public CDialog {
public:
    CTvScreenDlg();
    ~CTvScreenDlg() override;

    // ---- members, in the dialog's declaration order -------------------------------------
    int m_bListOpen = 0;            // a list was opened from the main panel and nothing picked yet
    int m_bDlsOn = 0;               // DAB text line wanted; store value "DLS"
    HINSTANCE m_hInstance = nullptr;

    CDC* m_pWndDC = nullptr;        // blit target for elements
    CDC m_dcButtons;                // source DC through which each element bitmap is selected
    CBitmap* m_pOldButtonBitmap = nullptr;

    // The 26 element bitmaps of the layout.
    CBitmap m_bmpCloseMain;         // 158
    CBitmap m_bmpCloseList;         // 180
    CBitmap m_bmpArrowUp;           // 150
    CBitmap m_bmpArrowDown;         // 156
    CBitmap m_bmpMute;              // 154
    CBitmap m_bmpMainPanel;         // 171
    CBitmap m_bmpListPanel;         // 170
    CBitmap m_bmpVolumeBar;         // 172
    CBitmap m_bmpVolumeKnob;        // 173
    CBitmap m_bmpSettings;          // 168
    CBitmap m_bmpBand;              // 157
    CBitmap m_bmpNoticeBlank;       // 164
    CBitmap m_bmpFigureBlank;       // 165
    CBitmap m_bmpSearch;            // 137
    CBitmap m_bmpMainMenu;          // 175
    CBitmap m_bmpTvList;            // 176
    CBitmap m_bmpRadioList;         // 177
    CBitmap m_bmpListRow;           // 143
    CBitmap m_bmpScrollUp;          // 133
    CBitmap m_bmpScrollDown;        // 132
    CBitmap m_bmpScrollThumb;       // 179
    CBitmap m_bmpScrollTrack;       // 178
    CBitmap m_bmpDls;               // 181
    CBitmap m_bmpPip;               // 155
    CBitmap m_bmpProgressFill;      // 184
    CBitmap m_bmpProgressEmpty;     // 183

    int m_nTvChannel = 0;           // 0-based index of the current TV channel in the channel file
    int m_nRadioChannel = 0;        // same for radio
    float m_fVolumeStep = 0.0f;     // pixels per volume step: 158/9
    int m_nVolumeTravel = 0;        // 158 pixels

    CBitmap m_bmpSkin;              // 129, selected into m_dcSkin
    CBitmap* m_pOldSkinBitmap = nullptr;
    CDC m_dcSkin;

    CDC* m_pTextDC = nullptr;       // white transparent text in m_font
    CFont m_font;
    CFont* m_pOldFont = nullptr;
    CBrush m_brDlsText;             // black background of the DAB text line, made once on first use

    CString m_strDls;               // DAB text last received
    int m_nViewMode = VIEW_HIDDEN;
    int m_nPlayingMode = BAND_TV;   // band playing when a list was opened, or of the picked channel
    int m_nPanel = PANEL_MAIN;
    int m_bPressed = 0;
    int m_nDabFigure = 0;
    int m_nDmbFigure = 0;
    int m_bSearching = 0;
    int m_nTapCount = 0;
    int m_nVolume = 0;
    CWnd* m_pDlsEdit = nullptr;     // edit control 1001, the DAB text line
    int m_nLastViewMode = VIEW_TV_FULL;
    int m_nResumeAfterSettings = 0;
    int m_nPipSide = 2;
    int m_nPressedChannel = -1;
    int m_bRowPressed = 0;
    int m_nSearchProgress = 0;
    int m_nPipRequest = 0;
    int m_bBusy = 0;
    int m_bSettling = 0;
    int m_nPipPos = 0;
    BYTE m_serialData[CHANNEL_FILE_SIZE] = {};
    int m_nMuteState = MUTE_STATE_SOUND;
    int m_nTvListTop = 1;
    int m_nRadioListTop = 1;
    int m_nTvCount = 0;
    int m_nRadioCount = 0;
    CString m_strCardRoot;
    int m_nHit = -1;
    HICON m_hIcon = nullptr;

    // ---- start-up, channel file, settings (TvScreenDlg.cpp) --------------------------------
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    int LoadChannelFile();
    void TakeChannelCounts();
    void LaunchSettings();
    // The channel name record of a band, or null when the index lies outside the file's layout.
    const char* ChannelRecord(int nBand, int nIndex) const;

    // ---- drawing (TvScreenDraw.cpp) -------------------------------------------------------
    void CreateGdiResources();
    void ReleaseGdiResources();
    void DrawBitmapState(int x, int y, int nWidth, int nHeight, CBitmap* pBitmap, int nState);
    void DrawButton(int nCode, int nState);
    void DrawTextInRect(const CString& strText, int l, int t, int r, int b);
    void DrawMainPanel();
    void DrawListPanel();
    void DrawChannelList();
    void DrawChannelRow(int nIndex, int nRow);
    void DrawListScrollBar(int nTop, int nSpan);
    void DrawVolumeKnob();
    void DrawSearchProgress(int n);
    void ShowSearchFigure(int nWhich, int n);
    void ShowChangingNotice();
    void ClearNoticeArea();
    afx_msg void OnPaint();
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    // Gives the drawing resources back on WM_DESTROY, while the window DCs are still valid.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // ---- touch, lock, timers (TvScreenTouch.cpp) ------------------------------------------
    afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
    afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    void PrevChannel();
    void NextChannel();
    void ScrollListUp();
    void ScrollListDown();

    // ---- host messages (TvScreenHost.cpp) -------------------------------------------------
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    DECLARE_MESSAGE_MAP()
};

#endif
