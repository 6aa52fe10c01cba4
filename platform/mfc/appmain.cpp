// Program entry: the application object's InitInstance does all the work; a FALSE result ends
// the process without entering a message loop of the framework's own.
#include "afxwin.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    CWinApp* pApp = AfxGetApp();
    if (!pApp) return -1;
    pApp->m_hInstance = hInstance;
    if (!pApp->InitInstance()) return pApp->ExitInstance();
    return pApp->ExitInstance();
}
