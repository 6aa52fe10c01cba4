// Constants of the device's platform (Windows CE 5.0) that the desktop headers lack.
// Kept to plain #defines so resource scripts can include it too.
#ifndef PLATFORM_WINCE_H
#define PLATFORM_WINCE_H

#ifndef WS_EX_CAPTIONOKBTN
#define WS_EX_CAPTIONOKBTN 0x80000000L
#endif
#ifndef WS_EX_NODRAG
#define WS_EX_NODRAG 0x40000000L
#endif
#ifndef WS_EX_ABOVESTARTUP
#define WS_EX_ABOVESTARTUP 0x20000000L
#endif
#ifndef WS_EX_INK
#define WS_EX_INK 0x10000000L
#endif
#ifndef WS_EX_NOANIMATION
#define WS_EX_NOANIMATION 0x04000000L
#endif
#ifndef WS_EX_NOACTIVATE
#define WS_EX_NOACTIVATE 0x08000000L
#endif
#ifndef ES_WANTRETURN
#define ES_WANTRETURN 0x1000L
#endif

// The device's serial driver takes its 28-byte line-state record, whatever the build's word size.
#if defined(__cplusplus) && !defined(RC_INVOKED)
#include <windows.h>
static_assert(sizeof(DCB) == 28, "DCB must have the device's size");
#endif

#endif
