// The viewer's dialog in this process: its start to the parked window, every overlay switch
// beyond the waits it must make, and what one button press costs in blits and time.
#include "Bench.h"

#include <memory>

#include "DeviceTest.h"
#include "Frame.h"
#include "GdiSpy.h"
#include "Overlay.h"
#include "TvScreenDlg.h"

using namespace devtest;

namespace bench {

namespace {

void Pump(CTvScreenDlg* dlg)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (dlg && dlg->m_hWnd && dlg->PreTranslateMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool WaitFor(CTvScreenDlg* dlg, const std::function<bool()>& pred, DWORD ms)
{
    const double end = Ms() + ms;
    for (;;) {
        Pump(dlg);
        if (pred()) return true;
        if (Ms() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
    }
}

void Close(std::unique_ptr<CTvScreenDlg>& dlg)
{
    if (!dlg) return;
    dlg->DestroyWindow();
    dlg.reset();
    ReleaseVideoObjects();
    Pump(nullptr);
}

bool Parked(HWND hwnd)
{
    RECT rc = WindowRect(hwnd);
    return rc.right == rc.left && rc.bottom == rc.top && IsTopmost(hwnd) && IsShown(hwnd);
}

// From the dialog's creation to its parked window: the start-up the user waits through once the
// process runs (the channel file's 10 ms wait is part of it).
void StartToParked(Table& table, const Options& options)
{
    Row row("viewer start to parked (in-process, no process start)");
    row.target = "< 300 ms median";
    row.limit = 300;
    for (int i = 0; i < options.repeats; ++i) {
        const double t0 = Ms();
        auto dlg = std::make_unique<CTvScreenDlg>();
        const bool created = dlg->Create(IDD_MAIN_DIALOG) != FALSE;
        const double t1 = Ms();
        if (created && Parked(dlg->m_hWnd)) row.samples.push_back(t1 - t0);
        Close(dlg);
    }
    table.Add(row);
}

// Where a switch spends its time, by the platform calls it makes on this thread.
struct Profile {
    double windowPos = 0, sleep = 0;
} g_profile;
DWORD g_profiledThread = 0;   // the simulated picture's own thread places its window too

bool Profiled() { return GetCurrentThreadId() == g_profiledThread; }
decltype(&SetWindowPos) g_setWindowPos;
decltype(&Sleep) g_sleep;

BOOL WINAPI TimedSetWindowPos(HWND h, HWND after, int x, int y, int cx, int cy, UINT flags)
{
    const double t0 = Ms();
    BOOL ok = g_setWindowPos(h, after, x, y, cx, cy, flags);
    if (Profiled()) g_profile.windowPos += Ms() - t0;
    return ok;
}

void WINAPI TimedSleep(DWORD ms)
{
    const double t0 = Ms();
    g_sleep(ms);
    if (Profiled()) g_profile.sleep += Ms() - t0 - ms;   // only what the wait took beyond its length
}

bool TimePlatformCalls()
{
    g_profiledThread = GetCurrentThreadId();
    g_setWindowPos = reinterpret_cast<decltype(g_setWindowPos)>(
        gdispy::ReplaceImport("user32.dll", "SetWindowPos", reinterpret_cast<void*>(&TimedSetWindowPos)));
    g_sleep = reinterpret_cast<decltype(g_sleep)>(gdispy::ReplaceImport("kernel32.dll", "Sleep", reinterpret_cast<void*>(&TimedSleep)));
    return g_setWindowPos && g_sleep;
}

int MandatedWait(int mode)
{
    const bool extra = mode == VIEW_TV_FULL || mode == VIEW_RADIO_FULL || mode == VIEW_TV_PIP || mode == VIEW_RADIO_PIP;
    return 100 + (extra ? 100 : 0);
}

// SwitchOverlayMode itself, each view from the one before it, less its 100 ms (and the 100 ms
// after showing a full-screen or PIP overlay).
void Switches(Table& table, CTvScreenDlg& dlg, const Options& options)
{
    static const struct { int mode; const char* name; } views[] = {
        {VIEW_TV_WINDOW, "window (1)"}, {VIEW_TV_FULL, "full screen (3)"}, {VIEW_RADIO_WINDOW, "window (2)"},
        {VIEW_RADIO_FULL, "full screen with DAB line (4)"}, {VIEW_TV_PIP, "PIP (6)"}, {VIEW_RADIO_PIP, "PIP (7)"},
        {VIEW_HIDDEN, "hidden (5)"},
    };
    std::vector<Row> rows;
    for (const auto& v : views) {
        Row r(std::string("switch to ") + v.name + " beyond its waits (in-process)");
        r.target = "< 10 ms median";
        r.limit = 10;
        rows.push_back(r);
    }
    Row all("every switch beyond its waits (in-process)");
    all.target = "< 10 ms median";
    all.limit = 10;
    Row windowPos("  of it: placing the window (SetWindowPos)"), sleeps("  of it: the waits' own overrun (Sleep)"),
        rest("  of it: the engine and the simulated display");
    const bool profiled = TimePlatformCalls();
    dlg.m_bDlsOn = 1;
    for (int i = 0; i < options.repeats; ++i) {
        for (size_t k = 0; k < sizeof views / sizeof views[0]; ++k) {
            dlg.m_nViewMode = views[k].mode;
            g_profile = Profile();
            const double t0 = Ms();
            SwitchOverlayMode(&dlg, views[k].mode);
            const double overhead = Ms() - t0 - MandatedWait(views[k].mode);
            rows[k].samples.push_back(overhead);
            all.samples.push_back(overhead);
            if (profiled) {
                windowPos.samples.push_back(g_profile.windowPos);
                sleeps.samples.push_back(g_profile.sleep);
                rest.samples.push_back(overhead - g_profile.windowPos - g_profile.sleep);
            }
            Pump(&dlg);
        }
    }
    for (const Row& r : rows) table.Add(r);
    table.Add(all);
    if (profiled) {
        table.Add(windowPos);
        table.Add(sleeps);
        table.Add(rest);
    }
}

struct Button {
    const char* name;
    int x, y;
    int panel;
};

// One press: touch-down (drawn pressed) and touch-up (drawn normal, lock, click, command), each
// delivered as the system delivers it; the blits are the viewer's own, counted by the spy.
void Presses(Table& table, CTvScreenDlg& dlg, HostWindow& host, const Options& options)
{
    static const Button buttons[] = {
        {"channel up", 462, 213, PANEL_MAIN}, {"channel down", 462, 297, PANEL_MAIN},
        {"volume up", 589, 213, PANEL_MAIN},  {"volume down", 589, 297, PANEL_MAIN},
        {"mute", 525, 257, PANEL_MAIN},       {"DLS", 577, 394, PANEL_MAIN},
        {"band", 473, 394, PANEL_MAIN},       {"TV list", 470, 141, PANEL_MAIN},
        {"list row", 500, 195, PANEL_LIST},   {"list scroll down", 609, 386, PANEL_LIST},
        {"main menu", 470, 91, PANEL_LIST},
    };
    Row time("button press, touch-down to touch-up handled (in-process)");
    for (const Button& b : buttons) {
        Row blits(std::string("blits for one press: ") + b.name);
        blits.unit = "blits";
        Row ms(std::string("time for one press: ") + b.name);
        for (int i = 0; i < options.repeats; ++i) {
            // The host frees the lock; then the panel the button lives on is shown.
            host.Broadcast(80, 0);
            WaitFor(&dlg, [&] { return !dlg.m_bBusy && !dlg.m_bSettling; }, 3000);
            if (dlg.m_nPanel != b.panel) {
                dlg.m_nPanel = b.panel;
                dlg.InvalidateRect(nullptr, FALSE);
                ::UpdateWindow(dlg.m_hWnd);
            }
            WriteDword(L"Volume", 5);
            Pump(&dlg);
            gdispy::Current().Clear();
            const double t0 = Ms();
            SendMessageW(dlg.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(b.x, b.y));
            SendMessageW(dlg.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(b.x, b.y));
            const double t1 = Ms();
            ms.samples.push_back(t1 - t0);
            time.samples.push_back(t1 - t0);
            blits.samples.push_back(static_cast<double>(gdispy::Current().blits.size()));
        }
        table.Add(blits);
        table.Add(ms);
    }
    table.Add(time);
}

// A host flooding the DAB line: from the text sent to the line drawn, in the wide line of the
// full-screen radio view.
void DabFlood(Table& table, CTvScreenDlg& dlg, HostWindow& host, const Options& options)
{
    dlg.m_nViewMode = VIEW_RADIO_FULL;
    SwitchOverlayMode(&dlg, VIEW_RADIO_FULL);
    const std::wstring word = L"채널 소식 ABC 123 ";
    std::wstring text;
    while (text.size() < 40000) text += word;
    Row row("DAB text of 40,000 characters taken and drawn (in-process)");
    row.target = "< 1000 ms median";
    row.limit = 1000;
    for (int i = 0; i < options.repeats; ++i) {
        const double t0 = Ms();
        host.SendText(dlg.m_hWnd, text);
        UpdateWindow(GetDlgItem(dlg.m_hWnd, IDC_DLS_EDIT));
        row.samples.push_back(Ms() - t0);
    }
    table.Add(row);
}

}  // namespace

void ViewerInProcess(Table& table, const Options& options)
{
    if (!gdispy::Install()) {
        table.Note("the GDI spy could not be installed: no in-process viewer measures");
        return;
    }
    StoreSnapshot store;
    CardGuard card;
    FillCard();
    WriteDword(L"Volume", 5);
    WriteDword(L"DLS", 1);

    StartToParked(table, options);

    HostWindow host;   // silent: the viewer's own view commands are made here, not by answers
    auto dlg = std::make_unique<CTvScreenDlg>();
    if (!dlg->Create(IDD_MAIN_DIALOG)) {
        table.Note("the viewer's dialog was not created: no switch or press measures");
        return;
    }
    Switches(table, *dlg, options);
    dlg->m_nViewMode = VIEW_TV_WINDOW;
    dlg->m_nLastViewMode = VIEW_TV_WINDOW;
    SwitchOverlayMode(dlg.get(), VIEW_TV_WINDOW);
    Presses(table, *dlg, host, options);
    DabFlood(table, *dlg, host, options);
    Close(dlg);
}

}  // namespace bench
