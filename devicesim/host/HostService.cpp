#include "HostService.h"

#include <cstdarg>
#include <cstdio>

#include "Console.h"
#include "HostCodes.h"

namespace devhost {

using namespace devworld;

namespace {

enum : UINT_PTR {
    TIMER_ANSWER = 1,     // drains the queue once the sender's broadcast has returned
    TIMER_SEARCH = 2,     // one step of the channel search
    TIMER_DLS = 3,        // the radio channel's next text line
    TIMER_VIEWER = 4,     // waits for a viewer that was just started
};

// The console's sends and DAB lines go out from the host's own loop, so the console's WM_COPYDATA
// returns before the programs see them.
const UINT WM_CONSOLE_SEND = WM_APP + 1;
const UINT WM_CONSOLE_DAB = WM_APP + 2;
const UINT WM_CONSOLE_TICK = WM_APP + 3;

// Long enough for the rest of a command's broadcasts to arrive, short against the viewer's lock.
const UINT kAnswerDelayMs = 120;
const ULONGLONG kSameCommandMs = 600;
const UINT kSearchStepMs = 200;
const int kSearchSteps = 20;          // progress 1 to 20 fills the viewer's bar
const UINT kDlsPeriodMs = 6000;
const UINT kViewerPollMs = 100;
const int kViewerPolls = static_cast<int>(kHangMs / kViewerPollMs);   // a viewer that never comes is hung
const UINT kSendTimeoutMs = kHangMs;   // a window that takes longer is hung, not slow
const DWORD kMaxLagMs = 60000;
const size_t kMaxDabUnits = 256;

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

}  // namespace

HostService::HostService(HINSTANCE instance) : m_instance(instance) {}

HostService::~HostService()
{
    if (m_hwnd) DestroyWindow(m_hwnd);
    if (m_traffic != INVALID_HANDLE_VALUE) CloseHandle(m_traffic);
}

bool HostService::Create()
{
    EnsureStoreDefaults();
    if (!ChannelFileUsable()) {
        WriteChannelFile(FactoryChannels());
        Log(L"channel file written: %d TV, %d radio", static_cast<int>(FactoryChannels().tv.size()),
            static_cast<int>(FactoryChannels().radio.size()));
    }
    ReadChannelFile(m_channels);
    PublishReceiver();

    m_softKey = RegisterWindowMessageW(kSoftKeyName);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &HostService::WndProc;
    wc.hInstance = m_instance;
    wc.lpszClassName = kHostClass;
    RegisterClassW(&wc);
    // Top-level so that broadcasts reach it; never shown.
    m_hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, kHostClass, kHostTitle, WS_POPUP, -4000, -4000, 1, 1, nullptr,
                             nullptr, m_instance, this);
    if (!m_hwnd) return false;
    wchar_t held[4] = {};
    m_heldClock = GetEnvironmentVariableW(kHeldClockVariable, held, 4) == 1 && held[0] == L'1';
    SetTimer(m_hwnd, TIMER_DLS, kDlsPeriodMs, nullptr);
    Log(L"host ready: message %u%ls", m_softKey, m_heldClock ? L" (held clock)" : L"");
    return true;
}

LRESULT CALLBACK HostService::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        static_cast<HostService*>(cs->lpCreateParams)->m_hwnd = hwnd;
    }
    auto* self = reinterpret_cast<HostService*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    return self->Handle(msg, wp, lp);
}

LRESULT HostService::Handle(UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == m_softKey && msg != 0) {
        OnSoftKey(static_cast<int>(wp), static_cast<int>(lp));
        return 0;
    }
    if (msg == WM_COPYDATA) return lp ? OnConsole(*reinterpret_cast<const COPYDATASTRUCT*>(lp)) : FALSE;
    if (msg == WM_CONSOLE_SEND) {
        Broadcast(static_cast<int>(wp), static_cast<int>(lp), L" (console)");
        return 0;
    }
    if (msg == WM_CONSOLE_DAB) {
        if (!m_consoleTexts.empty()) {
            SendDlsText(m_consoleTexts.front());
            m_consoleTexts.erase(m_consoleTexts.begin());
        }
        return 0;
    }
    if (msg == WM_CONSOLE_TICK) {
        m_due = false;
        SendDls(true);
        return 0;
    }
    if (msg == WM_TIMER) {
        switch (wp) {
        case TIMER_ANSWER: KillTimer(m_hwnd, TIMER_ANSWER); Drain(); break;
        case TIMER_SEARCH: SearchTick(); break;
        case TIMER_DLS: OwnClock(); break;
        case TIMER_VIEWER:
            if (Viewer() || --m_waitTicks <= 0) {
                KillTimer(m_hwnd, TIMER_VIEWER);
                if (Viewer()) ShowViewer(m_waitBand);
            }
            break;
        }
        return 0;
    }
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(m_hwnd, msg, wp, lp);
}

// ------------------------------------------------------------- in the handler

// What the console asks; TRUE when it was taken.
LRESULT HostService::OnConsole(const COPYDATASTRUCT& cds)
{
    const DWORD* words = static_cast<const DWORD*>(cds.lpData);
    if (!words) return FALSE;   // whoever sent it, a size without data is nothing to read
    switch (cds.dwData) {
    case HOSTCTL_SILENT:
        if (cds.cbData != sizeof(DWORD)) return FALSE;
        m_silent = words[0] != 0;
        Log(m_silent ? L"console: silent, nothing is answered" : L"console: answering again");
        return TRUE;
    case HOSTCTL_LAG:
        if (cds.cbData != sizeof(DWORD) || words[0] > kMaxLagMs) return FALSE;
        m_lagMs = words[0];
        Log(L"console: answers %u ms late", m_lagMs);
        return TRUE;
    case HOSTCTL_SEND:
        if (cds.cbData != 2 * sizeof(DWORD)) return FALSE;
        return PostMessageW(m_hwnd, WM_CONSOLE_SEND, words[0], words[1]);
    case HOSTCTL_TICK:
        if (cds.cbData != sizeof(DWORD)) return FALSE;
        return PostMessageW(m_hwnd, WM_CONSOLE_TICK, 0, 0);
    case HOSTCTL_DAB: {
        const size_t units = cds.cbData / sizeof(wchar_t);
        if (units == 0 || units > kMaxDabUnits || static_cast<const wchar_t*>(cds.lpData)[units - 1] != L'\0') return FALSE;
        m_consoleTexts.emplace_back(static_cast<const wchar_t*>(cds.lpData));
        return PostMessageW(m_hwnd, WM_CONSOLE_DAB, 0, 0);
    }
    default:
        return FALSE;
    }
}

void HostService::OnSoftKey(int code, int arg)
{
    // Its own broadcasts come back to it; they are not requests, whatever their code.
    if (m_sending && code == m_sendingCode && arg == m_sendingArg) return;
    if (!IsRequestCode(code)) return;
    if (m_silent) {
        Log(L"request %d/%d (silent: not answered)", code, arg);
        return;
    }
    Log(L"request %d/%d", code, arg);
    if (!Take(code, arg)) return;
    m_queue.emplace_back(code, arg);
    SetTimer(m_hwnd, TIMER_ANSWER, kAnswerDelayMs + m_lagMs, nullptr);
}

// Applies what is plain state; true when the request waits for an answer.
bool HostService::Take(int code, int arg)
{
    switch (code) {
    case SK_RECEIVER:
        if (arg == RCV_VOLUME_UP) ApplyVolume(+1);
        else if (arg == RCV_VOLUME_DOWN) ApplyVolume(-1);
        else if (arg == RCV_MUTE) m_muted = !m_muted;
        else if (arg == RCV_BAND && !m_searching) SelectBand(m_band == kBandTv ? kBandRadio : kBandTv);
        else if (arg != RCV_PIP) return false;
        return true;
    case SK_TUNE_CHANNEL:
        if (m_searching) return false;
        Tune(m_band, arg);
        return true;
    case SK_SELECT_BAND:
        if (m_searching || (arg != kBandTv && arg != kBandRadio)) return false;
        SelectBand(arg);
        return true;
    case SK_TV_LIST:
        if (m_searching || arg != 1) return false;
        SelectBand(kBandTv);
        return true;
    case SK_VIEW_REQUEST:
    case SK_PIP_REQUEST:
    case SK_PIP_LEAVE:
    case SK_PANEL_CLOSING:
    case kMenuRequest:
        return true;
    case SK_BRIGHTNESS:
    case SK_FM_TX:
    case SK_DIMMER:
        ApplyPanel(code, arg);
        return false;   // nothing to answer
    default:
        return false;   // everything it does not serve
    }
}

void HostService::ApplyVolume(int delta)
{
    DWORD stored = 5;
    ReadStore(L"Volume", stored);
    int volume = Clamp(Clamp(static_cast<int>(stored), 1, 10) + delta, 1, 10);
    WriteStore(L"Volume", static_cast<DWORD>(volume));
    Log(L"volume %d", volume);
}

void HostService::ApplyPanel(int code, int arg)
{
    if (code == SK_BRIGHTNESS) {
        int level = Clamp(arg, 0, 10);
        WriteStore(L"Bright", static_cast<DWORD>(level));
        Log(L"display brightness %d", level);
    } else if (code == SK_FM_TX) {
        // The panel steps from what the store holds, so the store keeps what it sent.
        WriteStore(L"FMTx", static_cast<DWORD>(arg));
        if (arg >= 877 && arg <= 897) Log(L"FM transmitter %d.%d MHz", arg / 10, arg % 10);
        else Log(L"FM transmitter muted (%d)", arg);
    } else if (code == SK_DIMMER && (arg == DIMMER_OFF_ARG || arg == DIMMER_ON_ARG)) {
        WriteStore(L"Dimmer", arg == DIMMER_OFF_ARG ? 1 : 0);
        Log(L"dimmer %ls", arg == DIMMER_OFF_ARG ? L"off" : L"on");
    }
}

void HostService::Tune(int band, int index)
{
    ReadChannelFile(m_channels);
    const int count = static_cast<int>(m_channels.Band(band).size());
    if (index < 0 || index >= count) return;
    m_band = band;
    (band == kBandRadio ? m_radioIndex : m_tvIndex) = index;
    m_dlsLine = 0;
    PublishReceiver();
}

void HostService::SelectBand(int band)
{
    Tune(band, band == kBandRadio ? m_radioIndex : m_tvIndex);
    m_band = band;   // also when the band has no channel to tune
    PublishReceiver();
}

// ------------------------------------------------------------ from the queue

void HostService::Drain()
{
    if (m_draining) {
        SetTimer(m_hwnd, TIMER_ANSWER, kAnswerDelayMs + m_lagMs, nullptr);
        return;
    }
    m_draining = true;
    std::vector<Request> batch;
    batch.swap(m_queue);
    PlanContext context;
    context.bandAfter = m_band;
    context.mutedAfter = m_muted;
    context.windowJustAnswered = m_windowAnsweredAt && GetTickCount64() - m_windowAnsweredAt < kSameCommandMs;
    for (const Action& a : PlanAnswers(batch, context)) Perform(a);
    m_draining = false;
}

void HostService::Perform(const Action& a)
{
    switch (a.kind) {
    case Action::SEND:
        Broadcast(a.code, a.arg);
        if (a.code == SK_VIEW && a.arg == VIEWCMD_WINDOW) m_windowAnsweredAt = GetTickCount64();
        break;
    case Action::DLS_TEXT: SendDls(false); break;
    case Action::START_SEARCH: StartSearch(); break;
    case Action::MENU: RunMenu(a.arg); break;
    }
}

void HostService::RunMenu(int item)
{
    Log(L"main menu: item %d", item);
    switch (item) {
    case MENU_TV:
    case MENU_RADIO: {
        int band = item == MENU_TV ? kBandTv : kBandRadio;
        SelectBand(band);
        if (Panel()) Broadcast(SK_PANEL_TO_BACK, TOBACK_VIEWER);
        if (Viewer()) {
            ShowViewer(band);
        } else if (ViewerRunning() || StartCardProgram(kViewerExe)) {
            // A viewer just started, or one not yet titled, is found a moment later.
            m_waitBand = band;
            m_waitTicks = kViewerPolls;
            SetTimer(m_hwnd, TIMER_VIEWER, kViewerPollMs, nullptr);
        }
        break;
    }
    case MENU_SETTINGS: StartCardProgram(kSettingsExe); break;
    case MENU_GPS:
        if (Panel()) Broadcast(SK_PANEL_TO_BACK, TOBACK_OTHER);
        StartCardProgram(kGpsExe);
        break;
    case MENU_BLANK:
        if (Panel()) Broadcast(SK_PANEL_TO_BACK, TOBACK_BLANK);
        StartCardProgram(kBlankExe);
        break;
    }
}

// The viewer takes its view from the last one announced, so the band's window mode is set first
// (16/59 or 16/60, which also reload the channel file); 16/56 then sizes the window and switches.
void HostService::ShowViewer(int band)
{
    Broadcast(SK_VIEW, band == kBandRadio ? VIEWCMD_RELOAD_RADIO_WINDOW : VIEWCMD_RELOAD_TV_WINDOW);
    Broadcast(SK_VIEW, VIEWCMD_WINDOW);
    if (band == kBandRadio) SendDls(false);
}

void HostService::StartSearch()
{
    Log(L"channel search started");
    m_searching = true;
    m_searchTick = 0;
    m_tvFound = m_radioFound = 0;
    Broadcast(SK_DMB_FIGURE, 0);
    Broadcast(SK_DAB_FIGURE, 0);
    SetTimer(m_hwnd, TIMER_SEARCH, kSearchStepMs, nullptr);
}

// The TV band is scanned in the first part of the sweep, the radio band in the rest.
void HostService::SearchTick()
{
    const ChannelList& air = OnAirChannels();
    const int tvSteps = kSearchSteps * 2 / 5;
    ++m_searchTick;
    int tv = Clamp(static_cast<int>(air.tv.size()) * m_searchTick / tvSteps, 0, static_cast<int>(air.tv.size()));
    int radioTicks = Clamp(m_searchTick - tvSteps, 0, kSearchSteps - tvSteps);
    int radio = static_cast<int>(air.radio.size()) * radioTicks / (kSearchSteps - tvSteps);
    Broadcast(SK_SEARCH_PROGRESS, m_searchTick);
    if (tv != m_tvFound) Broadcast(SK_DMB_FIGURE, m_tvFound = tv);
    if (radio != m_radioFound) Broadcast(SK_DAB_FIGURE, m_radioFound = radio);
    if (m_searchTick >= kSearchSteps) EndSearch();
}

void HostService::EndSearch()
{
    KillTimer(m_hwnd, TIMER_SEARCH);
    WriteChannelFile(OnAirChannels());
    ReadChannelFile(m_channels);
    m_tvIndex = Clamp(m_tvIndex, 0, static_cast<int>(m_channels.tv.size()) - 1);
    m_radioIndex = Clamp(m_radioIndex, 0, static_cast<int>(m_channels.radio.size()) - 1);
    m_searching = false;
    Log(L"channel search ended: %d TV, %d radio", static_cast<int>(m_channels.tv.size()),
        static_cast<int>(m_channels.radio.size()));
    // The viewer reloads the file and comes back in the radio window, so the radio plays.
    SelectBand(kBandRadio);
    Broadcast(SK_LOCK, LOCK_SEARCH_END);
    Broadcast(SK_VIEW, VIEWCMD_RELOAD_THEN_RADIO);
    SendDls(false);
}

// The radio's next text line is the one thing the host sends unasked.
void HostService::OwnClock()
{
    if (!m_heldClock) {
        SendDls(true);
        return;
    }
    if (m_due || m_band != kBandRadio || m_searching || !Viewer()) return;
    m_due = true;
    Log(L"due: DAB text");
}

void HostService::SendDls(bool next)
{
    if (m_band != kBandRadio || m_searching) return;
    if (!Viewer() || m_radioIndex >= static_cast<int>(m_channels.radio.size())) return;
    std::vector<std::wstring> lines = DabTexts(m_channels.radio[m_radioIndex]);
    if (next) m_dlsLine = (m_dlsLine + 1) % static_cast<int>(lines.size());
    SendDlsText(lines[m_dlsLine % lines.size()]);
}

void HostService::SendDlsText(const std::wstring& text)
{
    HWND viewer = Viewer();
    if (!viewer) return;
    COPYDATASTRUCT cds = {};
    cds.dwData = 0;
    cds.cbData = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    cds.lpData = const_cast<wchar_t*>(text.c_str());
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(viewer, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hwnd), reinterpret_cast<LPARAM>(&cds),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &result)) {
        Log(L"DAB text not taken: the viewer's window %p did not answer WM_COPYDATA within %u ms", static_cast<void*>(viewer),
            kSendTimeoutMs);
        return;
    }
    Log(L"DAB text: %ls", text.c_str());
}

// -------------------------------------------------------------------- helpers

void HostService::Broadcast(int code, int arg, const wchar_t* why)
{
    Log(L"send %d/%d%ls", code, arg, why);
    DWORD_PTR result = 0;
    m_sending = true;
    m_sendingCode = code;
    m_sendingArg = arg;
    SendMessageTimeoutW(HWND_BROADCAST, m_softKey, static_cast<WPARAM>(code), static_cast<LPARAM>(arg),
                        SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    m_sending = false;
}

HWND HostService::Viewer() const { return FindViewer(); }
HWND HostService::Panel() const { return FindWindowW(nullptr, kPanelTitle); }

bool HostService::StartCardProgram(const wchar_t* exe)
{
    std::wstring path = CardProgram(exe);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    // The device's programs know no current directory; under Wine C:\ stands for the root.
    BOOL ok = CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &si, &pi);
    if (ok) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    Log(L"start %ls: %ls", exe, ok ? L"ok" : L"failed");
    return ok != 0;
}

void HostService::PublishReceiver()
{
    ReceiverState s;
    s.band = m_band;
    int index = m_band == kBandRadio ? m_radioIndex : m_tvIndex;
    const std::vector<std::wstring>& names = m_channels.Band(m_band);
    s.channel = index + 1;
    s.name = index < static_cast<int>(names.size()) ? names[index] : std::wstring();
    WriteReceiverState(s);
}

void HostService::Log(const wchar_t* fmt, ...)
{
    wchar_t line[512];
    va_list args;
    va_start(args, fmt);
    vswprintf(line, 500, fmt, args);
    va_end(args);
    wcscat(line, L"\n");
    char bytes[1600];
    int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, sizeof bytes, nullptr, nullptr);
    if (n <= 1) return;
    DWORD written = 0;
    if (m_log && m_log != INVALID_HANDLE_VALUE) WriteFile(m_log, bytes, static_cast<DWORD>(n - 1), &written, nullptr);
    Tell(bytes, n - 1);
}

// The line, with the time, to the console's mailslot when a console listens; a console that goes
// away is looked for again at the next line.
void HostService::Tell(const char* bytes, int length)
{
    if (m_traffic == INVALID_HANDLE_VALUE) {
        m_traffic = CreateFileW(kTrafficSlot, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (m_traffic == INVALID_HANDLE_VALUE) return;
    }
    char message[1700];
    int used = snprintf(message, sizeof message, "%lu %.*s", static_cast<unsigned long>(GetTickCount()), length, bytes);
    DWORD written = 0;
    if (used > 0 && !WriteFile(m_traffic, message, static_cast<DWORD>(used < 1699 ? used : 1699), &written, nullptr)) {
        CloseHandle(m_traffic);
        m_traffic = INVALID_HANDLE_VALUE;
    }
}

}  // namespace devhost
