#include "Frame.h"

HANDLE g_hInstanceGuard = nullptr;

BOOL AcquireInstanceGuard(LPCWSTR pszGuardName)
{
    g_hInstanceGuard = ::CreateMutexW(nullptr, TRUE, pszGuardName);
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return TRUE;
    ::ReleaseMutex(g_hInstanceGuard);
    ::CloseHandle(g_hInstanceGuard);
    g_hInstanceGuard = nullptr;
    ::SetForegroundWindow(::FindWindowW(nullptr, pszGuardName));
    return FALSE;
}

void ReleaseInstanceGuard(INT_PTR nEndCode)
{
    if ((nEndCode != IDOK && nEndCode != IDCANCEL) || !g_hInstanceGuard) return;
    ::ReleaseMutex(g_hInstanceGuard);
    ::CloseHandle(g_hInstanceGuard);
    g_hInstanceGuard = nullptr;
}

HICON LoadProgramIcon()
{
    return ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

void SetDialogIcons(CWnd& wnd, HICON hIcon)
{
    ::SendMessageW(wnd.m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(hIcon));
    ::SendMessageW(wnd.m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(hIcon));
}
