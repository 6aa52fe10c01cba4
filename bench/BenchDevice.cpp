// The real programs as the user meets them: the viewer's start with its process, a touch-up's
// road to the command's broadcast, a host view command's switch, and the panel's step.
#include "Bench.h"

#include "DeviceTest.h"

using namespace devtest;

namespace bench {

namespace {

// Arrival times of the host commands the programs send, taken inside the host's handler.
class TimedHost {
public:
    TimedHost()
    {
        m_window.SetAnswer([this](HostWindow&, int code, int arg) { m_arrivals.push_back({code, arg, Ms()}); });
    }
    HostWindow& Window() { return m_window; }
    void Clear() { m_arrivals.clear(); }
    // When the first message with this code came, or a negative number when none came in time.
    double WaitFor(int code, DWORD ms)
    {
        double at = -1;
        PollUntil([&] {
            for (const Arrival& a : m_arrivals)
                if (a.code == code) {
                    at = a.ms;
                    return true;
                }
            return false;
        }, ms, 1);
        return at;
    }

private:
    struct Arrival {
        int code, arg;
        double ms;
    };
    HostWindow m_window;
    std::vector<Arrival> m_arrivals;
};

void Pause(DWORD ms) { PollUntil([] { return false; }, ms, 5); }

bool ParkedWindow(DWORD pid, HWND* out)
{
    HWND hwnd = FindTopLevel(L"TVSCREEN", pid);
    if (!hwnd) return false;
    RECT rc = WindowRect(hwnd);
    *out = hwnd;
    return rc.right == rc.left && IsShown(hwnd);
}

// The process start on its own: a program that only shows a window.
void ProcessStart(Table& table, const Options& options)
{
    Row viewer("viewer start to parked, with its process");
    Row blank("a bare program's start to its window (process start)");
    for (int i = 0; i < options.repeats; ++i) {
        double t0 = Ms();
        Process p = Start(L"TVSCREEN.exe");
        HWND hwnd = nullptr;
        if (PollUntil([&] { return ParkedWindow(p.Id(), &hwnd); }, 10000, 1)) viewer.samples.push_back(Ms() - t0);
        p.Kill();
        t0 = Ms();
        Process b = Start(ModuleDir() + L"\\bench_blank.exe");
        if (WaitForWindow(L"BENCHBLANK", 10000, b.Id())) blank.samples.push_back(Ms() - t0);
        b.Kill();
    }
    if (!viewer.samples.empty() && !blank.samples.empty()) {
        char note[96];
        std::snprintf(note, sizeof note, "(viewer beyond the bare start: %.1f ms median)",
                      Median(viewer.samples) - Median(blank.samples));
        viewer.note = note;
    }
    table.Add(blank);
    table.Add(viewer);
}

int TopLevelWindowCount()
{
    int n = 0;
    EnumWindows([](HWND, LPARAM count) CALLBACK -> BOOL { ++*reinterpret_cast<int*>(count); return TRUE; }, reinterpret_cast<LPARAM>(&n));
    return n;
}

// A broadcast costs a send to every top-level window of the desktop in turn: a bare program asked
// to broadcast shows what any command's road to the host costs before the program does anything.
void BroadcastFloor(Table& table, const Options& options, TimedHost& host, const std::string& label)
{
    Process blank = Start(ModuleDir() + L"\\bench_blank.exe");
    HWND hwnd = WaitForWindow(L"BENCHBLANK", 10000, blank.Id());
    if (!hwnd) return;
    Row row("a bare program's broadcast: posted request to arrival (platform floor)" + label);
    for (int i = 0; i < options.repeats * 2; ++i) {
        host.Clear();
        const double t0 = Ms();
        PostMessageW(hwnd, WM_APP, 0, 0);
        const double at = host.WaitFor(77, 2000);
        if (at >= 0) row.samples.push_back(at - t0);
        Pause(20);
    }
    char note[64];
    std::snprintf(note, sizeof note, "(%d top-level windows on the desktop)", TopLevelWindowCount());
    row.note = note;
    table.Add(row);
    blank.Kill();
}

struct Press {
    const char* name;
    int x, y;
    int code;    // the command's first broadcast
};

// Touch-down, a short hold, then the touch-up: from posting the lift to the command's arrival at
// the host. The host then frees the lock (80/0) for the next press. One round goes through the
// main panel and back, so the volume stays inside its range and each button is where it is meant.
void TouchToBroadcast(Table& table, const Options& options, HWND viewer, TimedHost& host, const std::string& label)
{
    static const Press presses[] = {
        {"volume up", 589, 213, 100}, {"volume down", 589, 297, 100}, {"mute", 525, 257, 100},
        {"TV list", 470, 141, 56},    {"radio list", 580, 141, 48},   {"main menu", 470, 91, 48},
    };
    const size_t n = sizeof presses / sizeof presses[0];
    std::vector<Row> rows;
    for (const Press& p : presses) {
        Row r(std::string("touch-up to broadcast: ") + p.name + label);
        r.target = "< 5 ms median";
        r.limit = 5;
        rows.push_back(r);
    }
    Row all("touch-up to the command's broadcast (real viewer)" + label);
    all.target = "< 5 ms median";
    all.limit = 5;
    for (int i = 0; i < options.repeats; ++i) {
        for (size_t k = 0; k < n; ++k) {
            const Press& p = presses[k];
            host.Window().Broadcast(80, 0);
            Pause(160);
            host.Clear();
            TouchDown(viewer, p.x, p.y);
            Pause(30);
            const double t0 = Ms();
            TouchUp(viewer, p.x, p.y);
            const double at = host.WaitFor(p.code, 2000);
            if (at >= 0) {
                rows[k].samples.push_back(at - t0);
                all.samples.push_back(at - t0);
            }
        }
    }
    for (const Row& r : rows) table.Add(r);
    table.Add(all);
}

// A host view command sent to the viewer's window: SendMessageW returns once the viewer has
// switched, so its length is delivery, handling and the switch; less the switch's waits.
void HostSwitches(Table& table, const Options& options, HWND viewer, TimedHost& host, const std::string& label)
{
    static const struct { int arg; const char* name; int waits; } steps[] = {
        {40, "16/40 full screen", 200}, {56, "16/56 window", 100}, {44, "16/44 PIP", 200},
        {56, "16/56 window", 100},      {46, "16/46 hidden", 100},
    };
    Row all("host view command to the switch done, beyond its waits" + label);
    all.target = "< 10 ms median";
    all.limit = 10;
    std::vector<Row> rows;
    for (const auto& s : steps) {
        Row r(std::string("host ") + s.name + ", beyond its waits (real viewer)" + label);
        r.target = "< 10 ms median";
        r.limit = 10;
        rows.push_back(r);
    }
    for (int i = 0; i < options.repeats; ++i) {
        host.Window().Broadcast(16, 58);   // back to the radio window, two timer ticks later
        Pause(500);
        for (size_t k = 0; k < sizeof steps / sizeof steps[0]; ++k) {
            const double t0 = Ms();
            host.Window().Send(viewer, 16, steps[k].arg);
            const double overhead = Ms() - t0 - steps[k].waits;
            rows[k].samples.push_back(overhead);
            all.samples.push_back(overhead);
            Pause(20);
        }
    }
    // The two window rows measure the same command from different views; both are kept.
    for (const Row& r : rows) table.Add(r);
    table.Add(all);
}

void PanelSteps(Table& table, const Options& options, TimedHost& host)
{
    Process panel = Start(L"PanelCfg.exe");
    HWND hwnd = WaitForWindow(L"CONFIG", 10000, panel.Id());
    if (!hwnd) {
        table.Note("the panel did not come up: no panel measures");
        return;
    }
    static const Press presses[] = {{"brightness up", 359, 68, 42}, {"FM up", 359, 168, 41}, {"dimmer", 359, 118, 5}};
    Row all("panel step: touch-up to the broadcast");
    all.target = "< 5 ms median";
    all.limit = 5;
    for (const Press& p : presses) {
        Row row(std::string("panel step to broadcast: ") + p.name);
        for (int i = 0; i < options.repeats; ++i) {
            host.Clear();
            TouchDown(hwnd, p.x, p.y);
            Pause(30);
            const double t0 = Ms();
            TouchUp(hwnd, p.x, p.y);
            const double at = host.WaitFor(p.code, 2000);
            if (at >= 0) {
                row.samples.push_back(at - t0);
                all.samples.push_back(at - t0);
            }
            Pause(40);
        }
        table.Add(row);
    }
    table.Add(all);
    panel.Kill();
}

}  // namespace

void DevicePrograms(Table& table, const Options& options)
{
    StoreSnapshot store;
    CardGuard card;
    FillCardAndStore();

    ProcessStart(table, options);

    TimedHost host;
    // As the device runs it, then with the simulated picture's repainting (a thread of the
    // viewer's process that every broadcast also waits for) slowed to nothing: the difference is
    // the simulation's, not the viewer's.
    for (int round = 0; round < 2; ++round) {
        const std::string label = round == 0 ? "" : " [picture repaint off]";
        SetEnvironmentVariableW(L"DDSIM_FRAMEMS", round == 0 ? nullptr : L"600000");
        Process viewer = Start(L"TVSCREEN.exe");
        SetEnvironmentVariableW(L"DDSIM_FRAMEMS", nullptr);
        HWND hwnd = WaitForWindow(L"TVSCREEN", 10000, viewer.Id());
        if (!hwnd) {
            table.Note("the viewer did not come up: no touch or switch measures");
            return;
        }
        host.Window().Broadcast(16, 58);   // the radio window, then its settling
        Pause(2600);
        BroadcastFloor(table, options, host, label);   // with the viewer's windows on the desktop
        TouchToBroadcast(table, options, hwnd, host, label);
        HostSwitches(table, options, hwnd, host, label);
        viewer.Kill();
    }
    PanelSteps(table, options, host);
}

}  // namespace bench
