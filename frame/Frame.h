// The frame every program shares: application object pattern, single-instance guard,
// modal run, and the first steps of dialog initialisation.
#ifndef FRAME_FRAME_H
#define FRAME_FRAME_H

#include <afxwin.h>

#include "FrameRes.h"

// The guard of the single-instance programs; null until created, set once.
extern HANDLE g_hInstanceGuard;

// Takes the named guard. FALSE when another instance holds the name: that instance's window
// (found by the same name as its title) has then been asked to come to the front.
BOOL AcquireInstanceGuard(LPCWSTR pszGuardName);

// Gives the guard back after a modal run that ended with IDOK or IDCANCEL; any other end
// leaves it to the process exit.
void ReleaseInstanceGuard(INT_PTR nEndCode);

HICON LoadProgramIcon();

// Common first steps of OnInitDialog after the base call: big, then small icon.
void SetDialogIcons(CWnd& wnd, HICON hIcon);

// Builds the program's dialog, runs it modally and returns its end code.
template <class TDialog>
INT_PTR RunMainDialog(CWinApp& app)
{
    TDialog dlg;
    app.m_pMainWnd = &dlg;
    INT_PTR nEnd = dlg.DoModal();
    app.m_pMainWnd = nullptr;
    return nEnd;
}

// InitInstance of a single-instance program. Always FALSE, so the process ends after the dialog.
template <class TDialog>
BOOL RunGuardedDialog(CWinApp& app, LPCWSTR pszGuardName)
{
    if (!AcquireInstanceGuard(pszGuardName)) return FALSE;
    ReleaseInstanceGuard(RunMainDialog<TDialog>(app));
    return FALSE;
}

#endif
