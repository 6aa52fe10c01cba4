// Skin and elements. (Interim: the drawing routines arrive with the skin artwork.)
#include "TvScreenDlg.h"

void CTvScreenDlg::CreateGdiResources() {}
void CTvScreenDlg::ReleaseGdiResources() {}
void CTvScreenDlg::DrawBitmapState(int, int, int, int, CBitmap*, int) {}
void CTvScreenDlg::DrawButton(int, int) {}
void CTvScreenDlg::DrawTextInRect(const CString&, int, int, int, int) {}
void CTvScreenDlg::DrawMainPanel() {}
void CTvScreenDlg::DrawListPanel() {}
void CTvScreenDlg::DrawChannelList() {}
void CTvScreenDlg::DrawChannelRow(int, int) {}
void CTvScreenDlg::DrawListScrollBar(int, int) {}
void CTvScreenDlg::DrawVolumeKnob() {}
void CTvScreenDlg::DrawSearchProgress(int) {}
void CTvScreenDlg::ShowSearchFigure(int, int) {}
void CTvScreenDlg::ShowChangingNotice() {}
void CTvScreenDlg::ClearNoticeArea() {}
void CTvScreenDlg::OnPaint() { CPaintDC dc(this); }
HBRUSH CTvScreenDlg::OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor) { return CDialog::OnCtlColor(pDC, pWnd, nCtlColor); }
