// The registered message "HL_SOFTKEY" between the programs and the device's control service.
#ifndef SHARED_SOFTKEY_H
#define SHARED_SOFTKEY_H

#include <afxwin.h>
#include "HostCodes.h"

extern const wchar_t kSoftKeyName[];   // L"HL_SOFTKEY"

// The viewer's process-wide message number.
extern UINT g_uSoftKeyMsg;

UINT RegisterSoftKey();

// Synchronous broadcast to every top-level window, the sender's own included.
void BroadcastSoftKey(UINT uMsg, int nCode, int nArg);

// The viewer's broadcast with g_uSoftKeyMsg.
void SendSoftKey(int nCode, int nArg);

#endif
