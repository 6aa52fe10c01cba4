#include "Boot.h"

#include "World.h"

namespace devworld {

namespace {

bool HostReady() { return FindWindowW(kHostClass, nullptr) && ChannelFileUsable(); }
bool DeviceUp() { return FindWindowW(kMenuClass, nullptr) && FindViewer(); }

}  // namespace

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs, DWORD sliceMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        Pump();
        if (pred()) return true;
        if (GetTickCount64() >= end) return pred();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, sliceMs, QS_ALLINPUT);
    }
}

Started StartProgram(const std::wstring& exePath, const std::wstring& args, const std::wstring& folder)
{
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::wstring cmd = L"\"" + exePath + L"\"" + (args.empty() ? L"" : L" " + args);
    if (!CreateProcessW(exePath.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, folder.empty() ? nullptr : folder.c_str(),
                        &si, &pi)) {
        return {};
    }
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
