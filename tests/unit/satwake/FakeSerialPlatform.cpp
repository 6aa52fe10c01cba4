#include "FakeSerialPlatform.h"

#include <stdexcept>

namespace {

FakeSerialPlatform* g_fake = nullptr;

std::string Narrow(LPCWSTR s)
{
    if (!s) return "null";
    int n = ::WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, s, -1, &out[0], n, nullptr, nullptr);
    return out;
}

void Log(const std::string& line) { g_fake->calls.push_back(line); }
std::string Num(ULONG_PTR v) { return std::to_string(v); }
bool IsPort(HANDLE h) { return h == FakeSerialPlatform::Port(); }

// The real functions, for everything that is not the fake port.
decltype(&::CloseHandle) RealCloseHandle;
decltype(&::WriteFile) RealWriteFile;
decltype(&::CreateEventW) RealCreateEventW;

HANDLE WINAPI FakeCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                              DWORD flags, HANDLE tmpl)
{
    Log("CreateFileW(" + Narrow(name) + "," + Num(access) + "," + Num(share) + "," + (sa ? "sa" : "null") + "," +
        Num(disposition) + "," + Num(flags) + "," + (tmpl ? "tmpl" : "null") + ")");
    if (g_fake->openError) {
        ::SetLastError(g_fake->openError);
        return INVALID_HANDLE_VALUE;
    }
    return FakeSerialPlatform::Port();
}

BOOL WINAPI FakeSetupComm(HANDLE h, DWORD in, DWORD out)
{
    Log("SetupComm(" + Num(in) + "," + Num(out) + ")");
    return IsPort(h);
}

BOOL WINAPI FakePurgeComm(HANDLE h, DWORD flags)
{
    Log("PurgeComm(" + Num(flags) + ")");
    return IsPort(h);
}

BOOL WINAPI FakeSetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t)
{
    Log("SetCommTimeouts");
    if (t) g_fake->appliedTimeouts = *t;
    return IsPort(h);
}

BOOL WINAPI FakeGetCommState(HANDLE h, LPDCB dcb)
{
    Log("GetCommState");
    if (!IsPort(h) || !dcb) return FALSE;
    g_fake->queriedLength = dcb->DCBlength;
    *dcb = g_fake->driverState;
    return TRUE;
}

BOOL WINAPI FakeSetCommState(HANDLE h, LPDCB dcb)
{
    Log("SetCommState");
    if (dcb) g_fake->appliedState = *dcb;
    return IsPort(h) && !g_fake->refuseState;
}

BOOL WINAPI FakeSetCommMask(HANDLE h, DWORD mask)
{
    Log("SetCommMask(" + Num(mask) + ")");
    return IsPort(h) && !g_fake->refuseMask;
}

BOOL WINAPI FakeEscapeCommFunction(HANDLE h, DWORD func)
{
    Log("EscapeCommFunction(" + Num(func) + ")");
    return IsPort(h);
}

HANDLE WINAPI FakeCreateEventW(LPSECURITY_ATTRIBUTES sa, BOOL manual, BOOL initial, LPCWSTR name)
{
    Log("CreateEventW(" + std::string(sa ? "sa" : "null") + "," + Num(manual) + "," + Num(initial) + "," + Narrow(name) + ")");
    g_fake->lastEvent = g_fake->noEvent ? nullptr : RealCreateEventW(sa, manual, initial, name);
    return g_fake->lastEvent;
}

BOOL WINAPI FakeWriteFile(HANDLE h, LPCVOID data, DWORD length, LPDWORD written, LPOVERLAPPED ov)
{
    Log("WriteFile(" + std::string(IsPort(h) ? "port" : "other") + "," + Num(length) + ")");
    if (!IsPort(h)) return RealWriteFile(h, data, length, written, ov);
    if (ov) g_fake->lastOverlapped = *ov;
    if (!g_fake->writeResult) {
        ::SetLastError(g_fake->writeError);
        return FALSE;
    }
    g_fake->written.append(static_cast<const char*>(data), length);
    if (written) *written = length;
    return TRUE;
}

BOOL WINAPI FakeCloseHandle(HANDLE h)
{
    if (IsPort(h)) {
        Log("CloseHandle(port)");
        return TRUE;
    }
    if (h && h == g_fake->lastEvent) Log("CloseHandle(event)");
    return RealCloseHandle(h);
}

void WINAPI FakeOutputDebugStringW(LPCWSTR text)
{
    Log("OutputDebugStringW(" + Narrow(text) + ")");
}

int WINAPI FakeMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    Log("MessageBoxW(" + std::string(owner ? "owner" : "null") + "," + Narrow(text) + "," + Narrow(caption) + "," +
        Num(type) + ")");
    return IDOK;
}

struct Target {
    const char* dll;
    const char* name;
    void* fake;
    void** real;  // where to keep the original, when the fake hands calls on
};

} // namespace

FakeSerialPlatform::FakeSerialPlatform()
{
    driverState.DCBlength = sizeof(DCB);
    const Target targets[] = {
        { "kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&FakeCreateFileW), nullptr },
        { "kernel32.dll", "SetupComm", reinterpret_cast<void*>(&FakeSetupComm), nullptr },
        { "kernel32.dll", "PurgeComm", reinterpret_cast<void*>(&FakePurgeComm), nullptr },
        { "kernel32.dll", "SetCommTimeouts", reinterpret_cast<void*>(&FakeSetCommTimeouts), nullptr },
        { "kernel32.dll", "GetCommState", reinterpret_cast<void*>(&FakeGetCommState), nullptr },
        { "kernel32.dll", "SetCommState", reinterpret_cast<void*>(&FakeSetCommState), nullptr },
        { "kernel32.dll", "SetCommMask", reinterpret_cast<void*>(&FakeSetCommMask), nullptr },
        { "kernel32.dll", "EscapeCommFunction", reinterpret_cast<void*>(&FakeEscapeCommFunction), nullptr },
        { "kernel32.dll", "CreateEventW", reinterpret_cast<void*>(&FakeCreateEventW), reinterpret_cast<void**>(&RealCreateEventW) },
        { "kernel32.dll", "WriteFile", reinterpret_cast<void*>(&FakeWriteFile), reinterpret_cast<void**>(&RealWriteFile) },
        { "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(&FakeCloseHandle), reinterpret_cast<void**>(&RealCloseHandle) },
        { "kernel32.dll", "OutputDebugStringW", reinterpret_cast<void*>(&FakeOutputDebugStringW), nullptr },
        { "user32.dll", "MessageBoxW", reinterpret_cast<void*>(&FakeMessageBoxW), nullptr },
    };
    if (g_fake) throw std::logic_error("one fake serial platform at a time");
    g_fake = this;
    for (const Target& t : targets) {
        void* original = m_patches.Replace(t.dll, t.name, t.fake);
        if (!original) {
            Restore();
            throw std::runtime_error(std::string("not imported by the test executable: ") + t.name);
        }
        if (t.real) *t.real = original;
    }
}

FakeSerialPlatform::~FakeSerialPlatform()
{
    Restore();
}

void FakeSerialPlatform::Restore()
{
    m_patches.RestoreAll();
    g_fake = nullptr;
}

std::vector<std::string> FakeSerialPlatform::Take()
{
    std::vector<std::string> out;
    out.swap(calls);
    return out;
}
