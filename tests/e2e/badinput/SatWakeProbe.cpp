// Runs SatWake once and tells what the user would see: a message box or none, and whether the
// program ended (after the box was confirmed). For the COM7 abuse driver.
//
//   badinput_satwake_probe      prints "box=<caption>|<text>" or "box=none", then "ended=1|0"
//                               and "ms=<time from start to end>"; exit code 0
#include <windows.h>

#include <cstdio>
#include <string>

#include "DeviceTest.h"

namespace {

std::string Utf8(const std::wstring& s)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace

int wmain()
{
    const ULONGLONG start = devtest::Now();
    devtest::Process p = devtest::Start(L"SatWake.exe");
    if (!p.Valid()) {
        std::printf("box=none\nended=0\nms=0\nstart=failed\n");
        return 0;
    }
    HWND box = nullptr;
    // Either the box comes, or the program ends on its own.
    devtest::PollUntil([&] { return (box = devtest::FindMessageBox(p.Id())) != nullptr || !p.Running(); });
    if (box) {
        std::printf("box=%s|%s\n", Utf8(devtest::MessageBoxCaption(box)).c_str(), Utf8(devtest::MessageBoxText(box)).c_str());
        devtest::PressOk(box);
    } else {
        std::printf("box=none\n");
    }
    const bool ended = p.WaitExit();
    std::printf("ended=%d\nms=%llu\n", ended ? 1 : 0, static_cast<unsigned long long>(devtest::Now() - start));
    std::fflush(stdout);
    return 0;
}
