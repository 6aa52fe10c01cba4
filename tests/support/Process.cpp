// Paths, waiting, processes and their windows.
#include "DeviceTest.h"
#include "Boot.h"

namespace devtest {

std::wstring BinDir() { return DEVICE_BIN_DIR; }

std::wstring BinPath(const std::wstring& exeName) { return BinDir() + L"\\" + exeName; }

std::wstring ModuleDir()
{
    wchar_t buf[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring path(buf, n < MAX_PATH ? n : 0);
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring WinePath(const std::string& unixPath)
{
    std::wstring out = L"Z:";
    int n = MultiByteToWideChar(CP_UTF8, 0, unixPath.c_str(), -1, nullptr, 0);
    if (n > 1) {
        std::wstring wide(static_cast<size_t>(n - 1), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, unixPath.c_str(), -1, &wide[0], n);
        out += wide;
    }
    for (wchar_t& c : out) {
        if (c == L'/') c = L'\\';
    }
    return out;
}

ULONGLONG Now() { return GetTickCount64(); }

// The pumped waits and the program start are the device simulation's own.
void PumpMessages() { devworld::Pump(); }

namespace {

// Waits on up to one handle while dispatching messages, until the deadline.
bool WaitPumping(HANDLE h, ULONGLONG deadline, DWORD slice)
{
    for (;;) {
        PumpMessages();
        ULONGLONG now = Now();
        if (h && WaitForSingleObject(h, 0) == WAIT_OBJECT_0) return true;
        if (now >= deadline) return false;
        DWORD wait = static_cast<DWORD>(deadline - now);
        if (wait > slice) wait = slice;
        MsgWaitForMultipleObjectsEx(h ? 1 : 0, h ? &h : nullptr, wait, QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
        if (!h) return false;
    }
}

}  // namespace

bool PollUntil(const std::function<bool()>& pred, DWORD timeoutMs, DWORD intervalMs)
{
    return devworld::PumpUntil(pred, timeoutMs, intervalMs);
}

// -------------------------------------------------------------- Process

Process::~Process()
{
    if (m_h && Running()) Kill();
    if (m_h) CloseHandle(m_h);
}

Process::Process(Process&& other) noexcept : m_h(other.m_h), m_pid(other.m_pid)
{
    other.m_h = nullptr;
    other.m_pid = 0;
}

Process& Process::operator=(Process&& other) noexcept
{
    if (this != &other) {
        this->~Process();
        m_h = other.m_h;
        m_pid = other.m_pid;
        other.m_h = nullptr;
        other.m_pid = 0;
    }
    return *this;
}

bool Process::Running() const { return m_h && WaitForSingleObject(m_h, 0) == WAIT_TIMEOUT; }

bool Process::WaitExit(DWORD timeoutMs)
{
    return m_h && WaitPumping(m_h, Now() + timeoutMs, 50);
}

DWORD Process::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (m_h) GetExitCodeProcess(m_h, &code);
    return code;
}

void Process::Kill(UINT exitCode)
{
    if (!m_h) return;
    TerminateProcess(m_h, exitCode);
    WaitPumping(m_h, Now() + kHangMs, 50);
}

void Process::Detach()
{
    if (m_h) CloseHandle(m_h);
    m_h = nullptr;
    m_pid = 0;
}

Process Start(const std::wstring& exe, const std::wstring& args, const std::wstring& currentDir)
{
    const bool bare = exe.find_first_of(L"\\/:") == std::wstring::npos;
    const devworld::Started s = devworld::StartProgram(bare ? BinPath(exe) : exe, args, currentDir);
    return s.process ? Process(s.process, s.pid) : Process();
}

// -------------------------------------------------------------- windows

std::vector<HWND> TopLevelWindows(DWORD pid)
{
    struct Ctx {
        DWORD pid;
        std::vector<HWND> found;
    } ctx{pid, {}};
    EnumWindows(
        [](HWND h, LPARAM lp) CALLBACK -> BOOL {
            auto* c = reinterpret_cast<Ctx*>(lp);
            if (c->pid == 0 || WindowPid(h) == c->pid) c->found.push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

HWND FindTopLevel(const std::wstring& title, DWORD pid)
{
    for (HWND h : TopLevelWindows(pid)) {
        if (Title(h) == title) return h;
    }
    return nullptr;
}

HWND WaitForWindow(const std::wstring& title, DWORD timeoutMs, DWORD pid)
{
    HWND found = nullptr;
    PollUntil([&] { return (found = FindTopLevel(title, pid)) != nullptr; }, timeoutMs);
    return found;
}

bool WaitGone(HWND hwnd, DWORD timeoutMs)
{
    return PollUntil([&] { return !IsWindow(hwnd); }, timeoutMs);
}

std::wstring Title(HWND hwnd)
{
    // WM_GETTEXT would block on a hung window of another process; this reads
    // the text the window manager keeps.
    wchar_t buf[512] = {};
    int n = InternalGetWindowText(hwnd, buf, 512);
    return std::wstring(buf, n > 0 ? static_cast<size_t>(n) : 0);
}

RECT WindowRect(HWND hwnd)
{
    RECT r = {};
    GetWindowRect(hwnd, &r);
    return r;
}

RECT ClientRect(HWND hwnd)
{
    RECT r = {};
    GetClientRect(hwnd, &r);
    return r;
}

bool IsShown(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

bool IsTopmost(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

bool IsAbove(HWND a, HWND b)
{
    if (!a || !b || a == b) return false;
    for (HWND h = GetWindow(a, GW_HWNDNEXT); h; h = GetWindow(h, GW_HWNDNEXT)) {
        if (h == b) return true;
    }
    return false;
}

DWORD WindowPid(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

bool SameRect(const RECT& r, int left, int top, int width, int height)
{
    return r.left == left && r.top == top && r.right - r.left == width && r.bottom - r.top == height;
}

// -------------------------------------------------------------- touches

void TouchDown(HWND hwnd, int x, int y)
{
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
}

void TouchUp(HWND hwnd, int x, int y) { PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y)); }

void Tap(HWND hwnd, int x, int y)
{
    TouchDown(hwnd, x, y);
    TouchUp(hwnd, x, y);
}

// --------------------------------------------------------- message boxes

namespace {

constexpr int kMessageTextId = 0xFFFF;

bool IsMessageBox(HWND h)
{
    wchar_t cls[16] = {};
    GetClassNameW(h, cls, 16);
    return std::wstring(cls) == L"#32770" && IsWindowVisible(h) &&
           GetDlgItem(h, kMessageTextId) != nullptr;
}

}  // namespace

HWND FindMessageBox(DWORD pid)
{
    for (HWND h : TopLevelWindows(pid)) {
        if (IsMessageBox(h)) return h;
    }
    return nullptr;
}

HWND WaitForMessageBox(DWORD timeoutMs, DWORD pid)
{
    HWND found = nullptr;
    PollUntil([&] { return (found = FindMessageBox(pid)) != nullptr; }, timeoutMs);
    return found;
}

std::wstring MessageBoxText(HWND box) { return Title(GetDlgItem(box, kMessageTextId)); }

std::wstring MessageBoxCaption(HWND box) { return Title(box); }

bool PressButton(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    if (!button || !IsWindowVisible(button)) return false;
    return PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                        reinterpret_cast<LPARAM>(button)) != 0;
}

bool PressOk(HWND box) { return PressButton(box, IDOK); }

bool Dismiss(HWND box)
{
    return PressButton(box, IDOK) || PressButton(box, IDCANCEL) ||
           PostMessageW(box, WM_CLOSE, 0, 0) != 0;
}

}  // namespace devtest
