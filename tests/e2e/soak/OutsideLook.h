// What another process holds, read from outside where Wine's own counters answer nothing: its
// GDI objects from the handle table the system keeps in the process, and its memory as the
// host system counts it (resident anonymous memory of the process behind the program).
#pragma once

#include <windows.h>

#include <string>

namespace soak {

// GDI objects of the process now (stock objects included); -1 when its table cannot be read.
// While one of its edit controls has the focus the platform keeps a bitmap for the caret, a state
// of the window rather than something the program holds: left out when `thread` shows a caret.
int GdiObjectsOf(HANDLE process, DWORD thread = 0);
// The same by kind: "DC 12, bitmap 30, font 4, ...".
std::string GdiKindsOf(HANDLE process);

// The host system's process behind the program of this prefix with this file name
// ("TVSCREEN.exe"); 0 when none or more than one is found.
int HostPidOf(const std::wstring& fileName);

// RssAnon of the host process in bytes (-1 when it cannot be read), with its thread count then.
struct HostMemory {
    long long rssAnon = -1;
    int threads = 0;
};
HostMemory RssAnonOf(int hostPid);

// One quiet look: several readings a little apart, and of those with the fewest threads the
// least memory. A thread that comes and goes (the platform's sound) holds its stack meanwhile.
template <class Wait>
HostMemory QuietRssAnon(int hostPid, Wait wait, int readings = 5, DWORD gapMs = 60)
{
    HostMemory best;
    for (int i = 0; i < readings; ++i) {
        if (i) wait(gapMs);
        const HostMemory now = RssAnonOf(hostPid);
        if (now.rssAnon < 0) continue;
        if (best.rssAnon < 0 || now.threads < best.threads ||
            (now.threads == best.threads && now.rssAnon < best.rssAnon))
            best = now;
    }
    return best;
}

}  // namespace soak
