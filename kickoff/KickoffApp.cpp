#include "KickoffApp.h"
#include "Frame.h"

namespace {
// The paths looked for carry no leading backslash: on the device they are resolved from the root.
const wchar_t kCardFolder[] = L"기억 장치 카드";
const wchar_t kMainMenuLookPath[] = L"기억 장치 카드\\app\\main.exe";
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
    if (!PathExists(kMainMenuLookPath)) return;
    // An empty start-up record: the main menu opens with the system's defaults.
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    ::CreateProcessW(kMainMenuStartPath, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_processInfo);
}
