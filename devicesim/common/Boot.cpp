#include "Boot.h"

#include "World.h"

namespace devworld {

namespace {

bool PumpUntil(bool (*pred)(), DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (pred()) return true;
        if (GetTickCount64() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

bool HostReady() { return FindWindowW(kHostClass, nullptr) && ChannelFileUsable(); }
bool DeviceUp() { return FindWindowW(kMenuClass, nullptr) && FindViewer(); }

}  // namespace

Started StartProgram(const std::wstring& exePath)
{
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = L"\"" + exePath + L"\"";
    if (!CreateProcessW(exePath.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &si, &pi)) return {};
    CloseHandle(pi.hThread);
    return Started{pi.hProcess, pi.dwProcessId};
}

bool BootDevice(const std::wstring& simDir, std::vector<Started>* started, DWORD timeoutMs)
{
    auto start = [&](const std::wstring& exe) {
        Started s = StartProgram(exe);
        if (started) started->push_back(s);
        return s.process != nullptr;
    };
    if (!start(simDir + L"\\devicehost.exe") || !PumpUntil(HostReady, timeoutMs)) return false;
    return start(CardProgram(kViewerExe)) && start(CardProgram(kKickoffExe)) && PumpUntil(DeviceUp, timeoutMs);
}

}  // namespace devworld
