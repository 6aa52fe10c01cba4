// The mobile-TV viewer: one modal dialog that owns all user-interface state.
// Start-up, channel file and settings launch: TvScreenDlg.cpp. Skin and elements: TvScreenDraw.cpp.
// Touch and busy lock: TvScreenTouch.cpp. Timers, their periods and handlers: TvScreenTimers.cpp.
// Host commands and DAB text: TvScreenHost.cpp. View modes and their geometry: ViewModes.h.
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

    // The 26 element bitmaps of the layout; TvScreenDraw.cpp's load table gives each its resource.
    CBitmap m_bmpCloseMain;
    CBitmap m_bmpCloseList;
    CBitmap m_bmpArrowUp;
    CBitmap m_bmpArrowDown;
    CBitmap m_bmpMute;
    CBitmap m_bmpMainPanel;
    CBitmap m_bmpListPanel;
    CBitmap m_bmpVolumeBar;
    CBitmap m_bmpVolumeKnob;
    CBitmap m_bmpSettings;
    CBitmap m_bmpBand;
    CBitmap m_bmpNoticeBlank;
    CBitmap m_bmpFigureBlank;
    CBitmap m_bmpSearch;
    CBitmap m_bmpMainMenu;
    CBitmap m_bmpTvList;
    CBitmap m_bmpRadioList;
    CBitmap m_bmpListRow;
    CBitmap m_bmpScrollUp;
    CBitmap m_bmpScrollDown;
    CBitmap m_bmpScrollThumb;
    CBitmap m_bmpScrollTrack;
    CBitmap m_bmpDls;
    CBitmap m_bmpPip;
    CBitmap m_bmpProgressFill;
    CBitmap m_bmpProgressEmpty;

    int m_nTvChannel = 0;           // 0-based index of the current TV channel in the channel file
    int m_nRadioChannel = 0;        // same for radio
    float m_fVolumeStep = 0.0f;     // pixels per volume step: the knob's travel over 9 steps
    int m_nVolumeTravel = 0;        // the knob's travel, 158 pixels

    CBitmap m_bmpSkin;              // IDB_SKIN, selected into m_dcSkin
    CBitmap* m_pOldSkinBitmap = nullptr;
    CDC m_dcSkin;

    CDC* m_pTextDC = nullptr;       // white transparent text in m_font
    CFont m_font;
    CFont* m_pOldFont = nullptr;
    CBrush m_brDlsText;             // black background of the DAB text line, made once on first use

    CString m_strDls;               // DAB text last received
    int m_nViewMode = VIEW_HIDDEN;
    // The windowed view, so the band, playing when a list was opened, or of the picked channel.
    int m_nPlayingMode = VIEW_TV_WINDOW;
    int m_nPanel = PANEL_MAIN;
    int m_bPressed = 0;
    int m_nDabFigure = 0;
    int m_nDmbFigure = 0;
    int m_bSearching = 0;
    int m_nTapCount = 0;
    int m_nVolume = 0;
    CWnd* m_pDlsEdit = nullptr;     // edit control IDC_DLS_EDIT, the DAB text line
    int m_nLastViewMode = VIEW_TV_FULL;
    int m_nResumeAfterSettings = 0;
    int m_nPipSide = PIP_SIDE_EITHER;
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
    // Gives the drawing resources back while the window DCs are still valid.
    afx_msg void OnDestroy();

    // ---- touch and lock (TvScreenTouch.cpp) -----------------------------------------------
    afx_msg void OnLButtonDown(UINT nFlags, CPoint point);
    afx_msg void OnLButtonDblClk(UINT nFlags, CPoint point);
    afx_msg void OnLButtonUp(UINT nFlags, CPoint point);
    void PrevChannel();
    void NextChannel();
    void ScrollListUp();
    void ScrollListDown();

    // ---- timers (TvScreenTimers.cpp) -----------------------------------------------------
    // Starts a window timer of the viewer with its period; an id the viewer has not is ignored.
    void StartTimer(UINT_PTR nId);
    afx_msg void OnTimer(UINT_PTR nIDEvent);

    // ---- host messages (TvScreenHost.cpp) -------------------------------------------------
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    DECLARE_MESSAGE_MAP()
};

#endif
