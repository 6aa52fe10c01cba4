// A black 480x234 window at the top-left corner that ends five seconds after its last paint.
#ifndef DARKPANE_DARKPANEDLG_H
#define DARKPANE_DARKPANEDLG_H

#include <afxwin.h>

class CDarkPaneDlg : public CDialog {
public:
    CDarkPaneDlg();

    HICON m_hIcon = nullptr;

    BOOL OnInitDialog() override;
    afx_msg void OnPaint();
    afx_msg void OnTimer(UINT_PTR nIDEvent);

    DECLARE_MESSAGE_MAP()
};

#endif
