#include "SoftKey.h"

const wchar_t kSoftKeyName[] = L"HL_SOFTKEY";
UINT g_uSoftKeyMsg = 0;

UINT RegisterSoftKey()
{
    return ::RegisterWindowMessageW(kSoftKeyName);
}

void BroadcastSoftKey(UINT uMsg, int nCode, int nArg)
{
    ::SendMessageW(HWND_BROADCAST, uMsg, static_cast<WPARAM>(nCode), static_cast<LPARAM>(nArg));
}

void SendSoftKey(int nCode, int nArg)
{
    BroadcastSoftKey(g_uSoftKeyMsg, nCode, nArg);
}
