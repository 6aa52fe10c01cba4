#include "KickoffApp.h"
#include "Frame.h"

namespace {
// The test paths carry no leading backslash: on the device they are resolved from the root.
const wchar_t kCardFolder[] = L"기억 장치 카드";
const wchar_t kMainMenuTestPath[] = L"기억 장치 카드\\app\\main.exe";
const wchar_t kMainMenuStartPath[] = L"\\기억 장치 카드\\app\\main.exe";
const DWORD kPollMs = 1000;

bool PathExists(LPCWSTR pszPath)
{
    return ::GetFileAttributesW(pszPath) != INVALID_FILE_ATTRIBUTES;
}
}

BOOL CKickoffApp::InitInstance()
{
    LoadProgramIcon();
    LaunchMainMenu();
    return FALSE;
}

void CKickoffApp::LaunchMainMenu()
{
    // The card may be mounted some time after boot; there is no limit to the wait.
    while (!PathExists(kCardFolder)) ::Sleep(kPollMs);
    if (!PathExists(kMainMenuTestPath)) return;
    // A zeroed start-up record stands for "none": desktop systems do not accept a null one.
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    ::CreateProcessW(kMainMenuStartPath, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_processInfo);
}
