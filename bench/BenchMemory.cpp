// The real viewer and panel over thousands of events (host codes, touches, DAB texts, the host
// answering at random): their memory, handles and GDI objects, read from outside, and the memory
// each grows by per 1,000 events in the second half, when caches have filled.
#include "Bench.h"

#include "DeviceTest.h"
#include "OutsideLook.h"
#include "ProcessCounters.h"
#include "SoakKit.h"

#include <cstdio>

using namespace devtest;

namespace bench {

namespace {

struct Watched {
    Watched(const char* title, const wchar_t* fileName) : name(title), file(fileName) {}
    const char* name;
    const wchar_t* file;
    Process process;
    HWND hwnd = nullptr;
    int hostPid = 0;
    counters::Series memory, handles, gdi;
    std::vector<int> eventsAt;

    void Look(int events)
    {
        auto wait = [](DWORD ms) { PollUntil([] { return false; }, ms, 5); };
        const counters::Look look = counters::QuietLook(process.Id(), process.Handle(), wait);
        if (!hostPid) hostPid = soak::HostPidOf(file);
        const soak::HostMemory host = soak::QuietRssAnon(hostPid, wait);
        if (host.rssAnon >= 0) memory.Add(host.rssAnon, host.threads);
        else memory.Add(look.privateBytes, look.threads);
        handles.Add(look.handles, look.threads);
        gdi.Add(soak::GdiObjectsOf(process.Handle(), hwnd ? GetWindowThreadProcessId(hwnd, nullptr) : 0), look.threads);
        eventsAt.push_back(events);
    }
};

// Growth over the second half of the looks, per 1,000 events of that half.
double PerThousand(const Watched& w, const counters::Series& s, double unit)
{
    if (s.values.size() < 4) return 0;
    const size_t mid = s.values.size() / 2 - 1;
    counters::Series late;
    late.values.assign(s.values.begin() + static_cast<long>(mid), s.values.end());
    late.tags.assign(s.tags.begin() + static_cast<long>(mid), s.tags.end());
    const int events = w.eventsAt.back() - w.eventsAt[mid];
    const long long grew = counters::GrowthOf(counters::LikeWithLike(late), 0).delta();
    return events > 0 ? grew / unit * 1000.0 / events : 0;
}

void Rows(Table& table, const Watched& w, double memoryLimitKb)
{
    Row memory(std::string(w.name) + ": memory per 1,000 events, second half");
    memory.unit = "KB";
    memory.samples.push_back(PerThousand(w, w.memory, 1024.0));
    char target[32];
    std::snprintf(target, sizeof target, "<= %.0f KB", memoryLimitKb);
    memory.target = target;
    memory.limit = memoryLimitKb + 0.001;
    memory.note = "(RssAnon of its process; " + counters::Describe(counters::LikeWithLike(w.memory), 0) + ")";
    Row handles(std::string(w.name) + ": kernel handles per 1,000 events, second half");
    handles.unit = "";
    handles.samples.push_back(PerThousand(w, w.handles, 1.0));
    handles.target = "0";
    handles.note = "(" + counters::Describe(counters::LikeWithLike(w.handles), 0) + ")";
    Row gdi(std::string(w.name) + ": GDI objects per 1,000 events, second half");
    gdi.unit = "";
    gdi.samples.push_back(PerThousand(w, w.gdi, 1.0));
    gdi.target = "0";
    gdi.note = "(" + counters::Describe(counters::LikeWithLike(w.gdi), 0) + ")";
    for (const Row* r : {&memory, &handles, &gdi}) table.Add(*r);
}

// The platform's floor: a bare program drawing names as the viewer does, the same ones again or
// ever-new ones; what 1,000 of them add to its memory.
void GlyphCache(Table& table)
{
    Process bare = Start(ModuleDir() + L"\\bench_glyphs.exe");
    const HWND hwnd = WaitForWindow(L"BENCHGLYPHS", 10000, bare.Id());
    const int hostPid = hwnd ? soak::HostPidOf(L"bench_glyphs.exe") : 0;
    if (!hostPid) {
        table.Note("the bare drawing program did not come up: no glyph cache measure");
        return;
    }
    auto wait = [](DWORD ms) { PollUntil([] { return false; }, ms, 5); };
    Row same("a bare program drawing 1,000 names it drew before (platform)"), fresh("... 1,000 ever-new names (platform)");
    for (Row* r : {&same, &fresh}) r->unit = "KB";
    for (int round = 0; round < 6; ++round) {
        Row& row = round % 2 ? fresh : same;
        const long long before = soak::QuietRssAnon(hostPid, wait).rssAnon;
        SendMessageW(hwnd, WM_APP, round % 2, 0);
        row.samples.push_back((soak::QuietRssAnon(hostPid, wait).rssAnon - before) / 1024.0);
    }
    fresh.note = "(the platform keeps every glyph it has drawn: new characters cost memory, repeated ones none)";
    table.Add(same);
    table.Add(fresh);
    bare.Kill();
}

}  // namespace

void DeviceMemory(Table& table, const Options& options)
{
    GlyphCache(table);
    StoreSnapshot store;
    CardGuard card;
    FillCardAndStore();
    Watched viewer("TVSCREEN", L"TVSCREEN.exe"), panel("PanelCfg", L"PanelCfg.exe");
    viewer.process = Start(L"TVSCREEN.exe");
    viewer.hwnd = WaitForWindow(L"TVSCREEN", 10000, viewer.process.Id());
    panel.process = Start(L"PanelCfg.exe");
    panel.hwnd = WaitForWindow(L"CONFIG", 10000, panel.process.Id());
    if (!viewer.hwnd || !panel.hwnd) {
        table.Note("the viewer or the panel did not come up: no memory measures");
        return;
    }
    soak::Rng rng(20261209);
    HostWindow window;
    soak::RandomHost host(window, rng);
    auto wait = [&](DWORD ms) {
        PollUntil([&] {
            host.Tick();
            return false;
        }, ms, 2);
    };
    const int events = options.longWait ? 10000 : 3000, looks = 16;
    std::printf("  memory: %d events on the real viewer and panel, %d looks\n", events, looks);
    for (int i = 0; i <= events; ++i) {
        if (i % (events / looks) == 0) {
            host.Calm();
            wait(300);
            viewer.Look(i);
            panel.Look(i);
            host.Wild();
        }
        if (i == events) break;
        switch (i % 4) {
        case 0: {
            RECT rc = ClientRect(viewer.hwnd);
            const int view = rc.right == 0 ? 5 : rc.right == 320 ? 6 : 1;
            const soak::Touch t = soak::RandomViewerTouch(rng, view, 0, rc.right, rc.bottom);
            if (t.down) PostMessageW(viewer.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, soak::PointParam(t.downX, t.downY));
            if (t.up) PostMessageW(viewer.hwnd, WM_LBUTTONUP, 0, soak::PointParam(t.upX, t.upY));
            break;
        }
        case 1:
            host.Send(i % 200 == 1 ? soak::HostCode{16, 58} : soak::RandomHostCode(rng));
            break;
        case 2: {
            const soak::CopyData d = soak::RandomCopyData(rng);
            window.SendCopyData(viewer.hwnd, d.nullData || d.bytes.empty() ? nullptr : d.bytes.data(),
                                d.nullData ? 0 : d.cbData, d.dwData);
            break;
        }
        default: {
            const soak::Touch t = soak::RandomPanelTouch(rng);
            PostMessageW(panel.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, soak::PointParam(t.downX, t.downY));
            if (t.up) PostMessageW(panel.hwnd, WM_LBUTTONUP, 0, soak::PointParam(t.upX, t.upY));
            break;
        }
        }
        wait(15);
    }
    Rows(table, viewer, 64);
    Rows(table, panel, 16);
    viewer.process.Kill();
    panel.process.Kill();
}

}  // namespace bench
