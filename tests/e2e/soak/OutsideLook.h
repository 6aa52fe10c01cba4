// What another process holds, read from outside where Wine's own counters answer nothing: its
// GDI objects from the handle table the system keeps in the process, and its memory as the
// host system counts it (resident anonymous memory of the process behind the program).
#pragma once

#include <windows.h>

#include <string>

namespace soak {

// GDI objects of the process now (stock objects included); -1 when its table cannot be read.
int GdiObjectsOf(HANDLE process);

// The host system's process behind the program of this prefix with this file name
// ("TVSCREEN.exe"); 0 when none or more than one is found.
int HostPidOf(const std::wstring& fileName);

// RssAnon of the host process in bytes; -1 when it cannot be read.
long long RssAnonOf(int hostPid);

}  // namespace soak
