// Stands in for the card's main menu in the benchmark: writes the moment it began to run.
#include <windows.h>

#include <cstdio>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%.3f",
                                static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart));
    HANDLE h = CreateFileW(L"C:\\bench-main-menu.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(h, text, static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(h);
    return 0;
}
