#include "DeviceHarness.h"

namespace devicetest {

std::wstring SimPath(const wchar_t* exe) { return std::wstring(DEVICESIM_BIN_DIR) + L"\\" + exe; }

void ClearReceiverState() { RegDeleteTreeW(HKEY_CURRENT_USER, devworld::kReceiverKey); }

StandIn::StandIn(const wchar_t* title)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &StandIn::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"DeviceTestStandIn";
    RegisterClassW(&wc);   // fails harmlessly once registered
    m_hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, title, WS_POPUP, -2000, -2000, 1, 1, nullptr,
                             nullptr, wc.hInstance, this);
}

StandIn::~StandIn()
{
    if (m_hwnd) DestroyWindow(m_hwnd);
}

LRESULT CALLBACK StandIn::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    auto* self = reinterpret_cast<StandIn*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg == WM_COPYDATA) {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
        const size_t chars = cds && cds->lpData ? cds->cbData / sizeof(wchar_t) : 0;
        std::wstring text(chars ? static_cast<const wchar_t*>(cds->lpData) : L"", chars);
        if (!text.empty() && text.back() == L'\0') text.pop_back();
        self->m_texts.push_back(text);
        return TRUE;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

std::vector<std::pair<int, int>> CodesSince(const devtest::HostWindow& host, size_t from)
{
    std::vector<std::pair<int, int>> out;
    const auto& log = host.Messages();
    for (size_t i = from; i < log.size(); ++i) out.emplace_back(log[i].code, log[i].arg);
    return out;
}

int IndexOf(const devtest::HostWindow& host, int code, int arg, size_t from)
{
    const auto& log = host.Messages();
    for (size_t i = from; i < log.size(); ++i)
        if (log[i].code == code && log[i].arg == arg) return static_cast<int>(i);
    return -1;
}

}  // namespace devicetest
