// The Windows side of the no-port check: finds the message box of a running program by the
// program's executable name, and either reports its caption and text or confirms it.
//
//   satwake_boxprobe read <exe name> [<limit ms>]   prints "caption=..." and "text=..." (UTF-8)
//   satwake_boxprobe ok   <exe name> [<limit ms>]   presses OK and waits for the box to go
//
// The limit only catches a hang (by default the suite's hang limit); each wait has all of it.
// Exit code 0 on success, 2 when no such program runs, 3 when it shows no box, 1 on misuse.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "DeviceTest.h"

namespace {

DWORD FindProcess(const std::wstring& exeName)
{
    DWORD pid = 0;
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snap, &entry); more && !pid; more = ::Process32NextW(snap, &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName.c_str()) == 0) pid = entry.th32ProcessID;
    }
    ::CloseHandle(snap);
    return pid;
}

std::string Utf8(const std::wstring& s)
{
    int n = ::WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3 && argc != 4) return 1;
    const std::wstring mode = argv[1];
    const DWORD timeoutMs = argc == 4 ? static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)) : devtest::kHangMs;

    DWORD pid = 0;
    devtest::PollUntil([&] { return (pid = FindProcess(argv[2])) != 0; }, timeoutMs);
    if (!pid) return 2;
    HWND box = devtest::WaitForMessageBox(timeoutMs, pid);
    if (!box) return 3;

    if (mode == L"read") {
        std::printf("caption=%s\ntext=%s\n", Utf8(devtest::MessageBoxCaption(box)).c_str(),
                    Utf8(devtest::MessageBoxText(box)).c_str());
        std::fflush(stdout);
        return 0;
    }
    if (mode == L"ok") return devtest::PressOk(box) && devtest::WaitGone(box, timeoutMs) ? 0 : 3;
    return 1;
}
