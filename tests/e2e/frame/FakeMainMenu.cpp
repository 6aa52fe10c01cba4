// Stands in for the card's main menu program: it only records, with the time, that it ran.
#include <windows.h>
#include <cstdio>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    HANDLE h = CreateFileW(L"C:\\fake-main-menu.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    char line[64];
    int n = snprintf(line, sizeof(line), "%llu\n", static_cast<unsigned long long>(GetTickCount64()));
    DWORD written = 0;
    WriteFile(h, line, static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(h);
    return 0;
}
