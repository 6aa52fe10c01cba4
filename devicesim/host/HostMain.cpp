// devicehost: the device's control service. One per device (named mutex); runs until its window
// is closed or the process is ended. With "--install-card <deliverables> <devicesim>" it puts the
// programs on the storage card instead and ends (exit code 0 on success).
#include <windows.h>

#include <shellapi.h>

#include "HostService.h"

namespace {

HANDLE LogHandle()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    return out == INVALID_HANDLE_VALUE ? nullptr : out;
}

int InstallCard(int argc, wchar_t** argv)
{
    if (argc < 4) return 2;
    std::wstring failed;
    if (!devworld::InstallCard(argv[2], argv[3], &failed)) {
        HANDLE out = LogHandle();
        char name[1024] = {};
        WideCharToMultiByte(CP_UTF8, 0, failed.c_str(), -1, name, sizeof name - 1, nullptr, nullptr);
        std::string bytes = std::string("card: cannot install ") + name + "\n";
        DWORD written = 0;
        if (out) WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        return 1;
    }
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv && argc >= 2 && lstrcmpW(argv[1], L"--install-card") == 0) return InstallCard(argc, argv);

    HANDLE single = CreateMutexW(nullptr, FALSE, L"DeviceHostService");
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 3;

    devhost::HostService host(instance);
    host.SetLog(LogHandle());
    if (!host.Create()) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    CloseHandle(single);
    return 0;
}
