// The test's stand-in for the device's host service.
#include "DeviceTest.h"

#include <algorithm>

namespace devtest {

namespace {

const wchar_t kHostClass[] = L"DevTestHostWindow";

void RegisterHostClass(WNDPROC proc)
{
    static bool registered = false;
    if (registered) return;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kHostClass;
    registered = RegisterClassW(&wc) != 0;
}

}  // namespace

HostWindow::HostWindow()
{
    m_msg = RegisterWindowMessageW(L"HL_SOFTKEY");
    RegisterHostClass(&HostWindow::WndProc);
    // Top-level (not message-only) so HWND_BROADCAST reaches it; never shown.
    m_hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kHostClass, L"DevTest Host", WS_POPUP, -3000, -3000,
                             1, 1, nullptr, nullptr, GetModuleHandleW(nullptr), this);
}

HostWindow::~HostWindow()
{
    if (m_hwnd) DestroyWindow(m_hwnd);
}

LRESULT CALLBACK HostWindow::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg == self->m_msg) {
        self->OnSoftKey(static_cast<int>(wp), static_cast<int>(lp));
        return 0;
    }
    if (self && msg == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void HostWindow::OnSoftKey(int code, int arg)
{
    auto own = std::find(m_ownPending.begin(), m_ownPending.end(), std::make_pair(code, arg));
    if (own != m_ownPending.end()) {
        m_ownPending.erase(own);
        return;
    }
    m_log.push_back({code, arg, Now()});
    if (m_answer) m_answer(*this, code, arg);
}

std::vector<std::pair<int, int>> HostWindow::Codes() const
{
    std::vector<std::pair<int, int>> out;
    for (const HostMessage& m : m_log) out.emplace_back(m.code, m.arg);
    return out;
}

int HostWindow::Count(int code, int arg) const
{
    return static_cast<int>(std::count_if(m_log.begin(), m_log.end(), [&](const HostMessage& m) {
        return m.code == code && (arg == kAnyArg || m.arg == arg);
    }));
}

bool HostWindow::WaitFor(int code, int arg, DWORD timeoutMs)
{
    return PollUntil([&] { return Count(code, arg) > 0; }, timeoutMs);
}

LRESULT HostWindow::Broadcast(int code, int arg)
{
    // The broadcast comes back to this window first; mark it so the record
    // keeps only what others sent. Remove the mark if it never arrived.
    m_ownPending.emplace_back(code, arg);
    LRESULT r = SendMessageW(HWND_BROADCAST, m_msg, static_cast<WPARAM>(code),
                             static_cast<LPARAM>(arg));
    auto own = std::find(m_ownPending.begin(), m_ownPending.end(), std::make_pair(code, arg));
    if (own != m_ownPending.end()) m_ownPending.erase(own);
    return r;
}

LRESULT HostWindow::Send(HWND target, int code, int arg)
{
    if (target == m_hwnd) m_ownPending.emplace_back(code, arg);
    return SendMessageW(target, m_msg, static_cast<WPARAM>(code), static_cast<LPARAM>(arg));
}

LRESULT HostWindow::SendCopyData(HWND target, const void* data, DWORD cbData, ULONG_PTR dwData)
{
    COPYDATASTRUCT cds = {};
    cds.dwData = dwData;
    cds.cbData = cbData;
    cds.lpData = const_cast<void*>(data);
    return SendMessageW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hwnd),
                        reinterpret_cast<LPARAM>(&cds));
}

LRESULT HostWindow::SendText(HWND target, const std::wstring& text)
{
    return SendCopyData(target, text.c_str(),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool TapSending(HostWindow& host, HWND hwnd, int x, int y, int code, int arg, DWORD timeoutMs)
{
    // A tap that sent nothing a while after it was made is taken for refused (programs refuse
    // touches for a moment after some changes) and made again. Nothing from outside tells a
    // refused tap from a slow one, so each tap is given twice the while of the one before, and a
    // first tap heard late still counts: a slow machine is tapped again only after it has had
    // every chance to answer.
    const ULONGLONG end = Now() + timeoutMs;
    const int before = host.Count(code, arg);
    for (DWORD look = 1000; Now() < end; look *= 2) {
        Tap(hwnd, x, y);
        if (PollUntil([&] { return host.Count(code, arg) > before; }, look)) return true;
    }
    return false;
}

}  // namespace devtest
