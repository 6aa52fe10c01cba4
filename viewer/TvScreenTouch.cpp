// Touch, busy lock and timers. (Interim: the commands arrive with the touch work.)
#include "TvScreenDlg.h"

void CTvScreenDlg::OnLButtonDown(UINT, CPoint) {}
void CTvScreenDlg::OnLButtonUp(UINT, CPoint) {}
void CTvScreenDlg::OnTimer(UINT_PTR) {}
void CTvScreenDlg::PrevChannel() {}
void CTvScreenDlg::NextChannel() {}
void CTvScreenDlg::ScrollListUp() {}
void CTvScreenDlg::ScrollListDown() {}
