// The viewer's dialog in this process, under the GDI spy and the whole-process GDI census,
// soaked with random touches in every view, host codes that come at once, late or never, DAB
// texts of every shape and channel files rewritten under it. Between rounds the soak checks that
// the busy lock was freed by its timers, the title is still findable and nothing piled up.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <sstream>

#include "DeviceTest.h"
#include "Frame.h"
#include "GdiSpy.h"
#include "Overlay.h"
#include "ProcessCounters.h"
#include "SoakKit.h"
#include "TvScreenDlg.h"
#include "ddsim.h"

using namespace devtest;

namespace {

const int kDefaultEvents = 250;

// Bytes that end exactly where an inaccessible page begins: a read past them faults at once.
class GuardedBytes {
public:
    explicit GuardedBytes(const std::vector<BYTE>& bytes)
    {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        const size_t page = si.dwPageSize;
        const size_t pages = (bytes.size() + page - 1) / page + 1;
        m_base = static_cast<BYTE*>(VirtualAlloc(nullptr, (pages + 1) * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!m_base) return;
        DWORD old = 0;
        VirtualProtect(m_base + pages * page, page, PAGE_NOACCESS, &old);
        m_data = m_base + pages * page - bytes.size();
        if (!bytes.empty()) memcpy(m_data, bytes.data(), bytes.size());
    }
    ~GuardedBytes()
    {
        if (m_base) VirtualFree(m_base, 0, MEM_RELEASE);
    }
    void* Data() const { return m_data; }

private:
    BYTE* m_base = nullptr;
    BYTE* m_data = nullptr;
};

struct Figures {
    counters::Series gdi{"GDI objects (census)"}, held{"held by the viewer's calls (spy)"},
        handles{"kernel handles"}, memory{"private bytes"}, ddObjects{"DirectDraw objects"},
        heap{"C heap bytes of this executable's code"};
    int lockFreedByTimers = 0, lockFreedByWatchdog = 0, checkpoints = 0;
    // What the simulated display's C heap grew by over a few thousand surfaces made and released
    // and as many calls recorded, measured apart from the viewer: a long run must cost it nothing.
    long long simHeapGrowth = 0;
    int simSurfaces = 0;
};

class ViewerSoak {
public:
    ViewerSoak(const soak::Config& cfg, bool plantLeak)
        : m_cfg(cfg), m_rng(cfg.seed), m_host(m_window, m_rng), m_plant(plantLeak)
    {
    }

    void Run();
    Figures figures;
    std::vector<std::string> failures;
    std::string tallyAtEnd, censusAtEnd;
    soak::Stalls stalls;
    ULONGLONG warmUpMs = 0, checkpointMs = 0;

private:
    void Event(int i);
    void Touch();
    void HostCode();
    void CopyData();
    void RewriteChannelFile();
    void TamperTitle();
    void Checkpoint();
    void CheckState(const char* after);
    void PlantLeak();
    void CalibrateSimulation();
    void WarmUp();
    void FillDcCache();
    void Tap(int x, int y);
    void Settle();
    void Unlock();

    void Pump();
    void Wait(DWORD ms);
    bool WaitUntil(const std::function<bool()>& pred, DWORD ms);
    void Fail(const std::string& what);
    CTvScreenDlg& V() { return *m_dlg; }

    soak::Config m_cfg;
    soak::Rng m_rng;
    soak::Watchdog* m_watchdog = nullptr;   // beaten by every pump: the thread came back
    HostWindow m_window;
    soak::RandomHost m_host;
    soak::ChannelFile m_channel;
    std::unique_ptr<CTvScreenDlg> m_dlg;
    bool m_plant;
    std::vector<HGDIOBJ> m_planted;
    std::vector<HANDLE> m_plantedHandles;
    std::vector<std::unique_ptr<char[]>> m_plantedMemory;
    size_t m_textsSeen = 0;
    // Touch, host code, DAB text, channel file, title, pause, five downs, short wait.
    std::vector<int> m_mix = soak::Mix({46, 24, 9, 7, 1, 2, 3, 8});
};

void ViewerSoak::Pump()
{
    if (m_watchdog) m_watchdog->Beat();
    soak::PumpDialogThread(m_dlg.get());
    m_host.Tick();
}

void ViewerSoak::Wait(DWORD ms)
{
    const ULONGLONG end = Now() + ms;
    do {
        Pump();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (Now() < end);
    Pump();
}

bool ViewerSoak::WaitUntil(const std::function<bool()>& pred, DWORD ms)
{
    const ULONGLONG end = Now() + ms;
    for (;;) {
        Pump();
        if (pred()) return true;
        if (Now() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void ViewerSoak::Fail(const std::string& what)
{
    std::ostringstream out;
    out << what << "\n  " << soak::Journal::Get().Header() << "\n  latest events:\n" << soak::Journal::Get().Recent(25);
    failures.push_back(out.str());
}

// ---- events -------------------------------------------------------------------------------

void ViewerSoak::Touch()
{
    RECT rc = ClientRect(V().m_hWnd);
    soak::Touch t = soak::RandomViewerTouch(m_rng, V().m_nViewMode, V().m_nPanel, rc.right, rc.bottom);
    std::ostringstream what;
    what << "touch in view " << V().m_nViewMode << (V().m_nPanel == PANEL_LIST ? " (list)" : "");
    if (t.down) what << " down " << t.downX << "," << t.downY;
    if (t.up) what << " up " << t.upX << "," << t.upY;
    soak::Journal::Get().Note(what.str());
    if (t.down) PostMessageW(V().m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, soak::PointParam(t.downX, t.downY));
    if (t.down && t.up && m_rng.Chance(0.5)) Wait(static_cast<DWORD>(m_rng.Int(0, 40)));
    if (t.up) PostMessageW(V().m_hWnd, WM_LBUTTONUP, 0, soak::PointParam(t.upX, t.upY));
    Pump();
}

void ViewerSoak::HostCode()
{
    soak::HostCode c = soak::RandomHostCode(m_rng);
    soak::Journal::Get().Note("host sends " + std::to_string(c.code) + "/" + std::to_string(c.arg));
    if (m_rng.Chance(0.8)) m_host.Send(c);
    else m_window.Send(V().m_hWnd, c.code, c.arg);
    Pump();
}

void ViewerSoak::CopyData()
{
    soak::CopyData d = soak::RandomCopyData(m_rng);
    soak::Journal::Get().Note("DAB text: " + d.what);
    GuardedBytes guarded(d.bytes);
    m_window.SendCopyData(V().m_hWnd, d.nullData ? nullptr : guarded.Data(), d.cbData, d.dwData);
    Pump();
}

void ViewerSoak::RewriteChannelFile()
{
    soak::ChannelWrite w = soak::RandomChannelWrite(m_rng);
    soak::Journal::Get().Note("channel file: " + w.what);
    {
        gdispy::Pause pause;
        m_channel.Apply(w);
    }
    if (m_rng.Chance(0.7)) {
        soak::HostCode reload{16, m_rng.Pick(std::vector<int>{58, 59, 60})};
        soak::Journal::Get().Note("host sends " + std::to_string(reload.code) + "/" + std::to_string(reload.arg));
        m_host.Send(reload);
    }
    Pump();
}

void ViewerSoak::TamperTitle()
{
    soak::Journal::Get().Note("someone renames the viewer's window");
    SetWindowTextW(V().m_hWnd, m_rng.Chance(0.5) ? L"" : L"tampered");
}

// Through the same import table as the viewer's own calls, on the same thread.
void ViewerSoak::PlantLeak()
{
    HDC dc = GetDC(V().m_hWnd);
    m_planted.push_back(CreateCompatibleBitmap(dc, 8, 8));
    ReleaseDC(V().m_hWnd, dc);
    m_plantedHandles.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const size_t kBlock = 256 * 1024;
    m_plantedMemory.emplace_back(new char[kBlock]);
    memset(m_plantedMemory.back().get(), 1, kBlock);
}

void ViewerSoak::Tap(int x, int y)
{
    soak::Journal::Get().Note("warm-up tap " + std::to_string(x) + "," + std::to_string(y));
    PostMessageW(V().m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, soak::PointParam(x, y));
    PostMessageW(V().m_hWnd, WM_LBUTTONUP, 0, soak::PointParam(x, y));
    Pump();
}

// Touches are refused until the lock is free and, after a windowed switch, the screen settled.
void ViewerSoak::Settle()
{
    WaitUntil([&] { return !V().m_bBusy && !V().m_bSettling; }, 3000);
}

void ViewerSoak::Unlock()
{
    WaitUntil([&] { return !V().m_bBusy; }, 3000);
}

// Every view, panel and command once, each kind of channel file and DAB text, before the first
// count: what a program makes once for good (the DAB line's brush, the platform's caches) is
// then already made, and the counts after it must not move.
void ViewerSoak::WarmUp()
{
    m_host.Calm();
    auto send = [&](int code, int arg) {
        soak::Journal::Get().Note("warm-up host sends " + std::to_string(code) + "/" + std::to_string(arg));
        m_host.Send({code, arg});
        Pump();
    };
    // The host's 80/0 frees the lock a tenth of a second later; a windowed switch still settles.
    auto next = [&] {
        send(80, 0);
        Settle();
    };
    std::vector<std::string> tv, radio;
    for (int i = 0; i < 20; ++i) tv.push_back("TV " + std::to_string(i));
    for (int i = 0; i < 80; ++i) radio.push_back("Radio " + std::to_string(i));
    WriteChannelFile(12, 30, tv, radio);
    // A reload brings the radio window two timer ticks later.
    auto reload = [&] {
        send(16, 58);
        WaitUntil([&] { return V().m_nViewMode == VIEW_RADIO_WINDOW && !V().m_bBusy && !V().m_bSettling; }, 3500);
    };
    reload();
    for (int i = 0; i < 8; ++i) CopyData();
    send(16, 40);                       // radio full screen, the DAB line under the picture
    next();
    for (int i = 0; i < 8; ++i) CopyData();
    // The platform keeps each glyph it draws for good: every character the soak's texts and
    // names are made of is drawn once here, before the first count.
    for (const std::wstring& line : soak::DabSampler()) {
        m_window.SendText(V().m_hWnd, line);
        Pump();
    }
    Tap(500, 200);                      // right half: back to the window
    next();
    Tap(25, 390);                       // PIP button; the host answers with a PIP view
    next();
    RECT rc = ClientRect(V().m_hWnd);
    Tap(rc.right * 3 / 4, rc.bottom * 3 / 4);   // next quadrant
    next();
    Tap(rc.right / 4, rc.bottom * 3 / 4);       // back to the window
    next();
    Tap(470, 440);                      // search; the host reports and ends it
    for (int code : {60, 61, 62}) send(code, 7);
    send(80, 1);
    m_channel.Apply(soak::GlyphSampler());   // the lists below show every character of the names
    reload();
    const POINT taps[] = {{470, 140}, {600, 380}, {600, 200}, {500, 195}, {470, 90}, {580, 140}, {500, 236},
                          {470, 90}, {590, 210}, {590, 300}, {525, 257}, {577, 395}, {577, 395}, {473, 395},
                          {473, 395}, {200, 250}};
    for (const POINT& p : taps) {
        Tap(p.x, p.y);
        next();
        if (V().m_nViewMode != VIEW_TV_WINDOW && V().m_nViewMode != VIEW_RADIO_WINDOW) {
            send(16, 56);
            next();
        }
    }
    Tap(580, 90);                       // settings: the program starts, the viewer parks
    next();
    send(16, 90);
    next();
    Tap(600, 450);                      // close: parked
    next();
    for (int i = 0; i < 6; ++i) {
        RewriteChannelFile();
        Unlock();
    }
    TamperTitle();
    for (int i = 0; i < 12; ++i) {
        HostCode();
        Unlock();
    }
    FillDcCache();
    m_host.Wild();
}

// The platform keeps the window DCs it hands out in a cache that grows the first time one more
// is in use at once and never shrinks: each new entry is a DC and its region for good. The
// viewer holds three for its life and a paint or a capture takes more now and then, so the cache
// is grown here, once, beyond what the soak can ever hold at once.
void ViewerSoak::FillDcCache()
{
    HDC dcs[12] = {};
    for (HDC& dc : dcs) dc = GetDC(V().m_hWnd);
    for (HDC dc : dcs)
        if (dc) ReleaseDC(V().m_hWnd, dc);
}

void ViewerSoak::Event(int i)
{
    switch (m_rng.Weighted(m_mix)) {
    case 0: Touch(); break;
    case 1: HostCode(); break;
    case 2: CopyData(); break;
    case 3: RewriteChannelFile(); break;
    case 4: TamperTitle(); break;
    case 5:   // the user waits for the screen to settle
        soak::Journal::Get().Note("pause until the lock is free");
        WaitUntil([&] { return !V().m_bBusy && !V().m_bSettling; }, 2500);
        break;
    case 6:   // five quick touch-downs free a stuck lock
        soak::Journal::Get().Note("five touch-downs");
        for (int k = 0; k < 5; ++k) PostMessageW(V().m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, soak::PointParam(200, 30));
        Pump();
        break;
    default:
        Wait(static_cast<DWORD>(m_rng.Chance(0.7) ? m_rng.Int(0, 30) : m_rng.Int(30, 400)));
        break;
    }
    if (m_plant && i % 10 == 9) PlantLeak();
    CheckState("event");
}

// Facts that must hold whatever came in: a member out of these bounds would index past the
// channel file's records or the view table.
void ViewerSoak::CheckState(const char* after)
{
    const CTvScreenDlg& v = V();
    std::ostringstream bad;
    if (v.m_nTvCount < 0 || v.m_nTvCount > 20 || v.m_nRadioCount < 0 || v.m_nRadioCount > 80)
        bad << " counts " << v.m_nTvCount << "/" << v.m_nRadioCount;
    if (v.m_nViewMode < 1 || v.m_nViewMode > 7) bad << " view " << v.m_nViewMode;
    if (v.m_nPanel != PANEL_MAIN && v.m_nPanel != PANEL_LIST) bad << " panel " << v.m_nPanel;
    if (v.m_nTapCount < 0 || v.m_nTapCount > 4) bad << " taps " << v.m_nTapCount;
    if (v.m_nTvChannel < 0 || (v.m_nTvCount > 0 && v.m_nTvChannel >= v.m_nTvCount))
        bad << " TV channel " << v.m_nTvChannel << " of " << v.m_nTvCount;
    if (v.m_nRadioChannel < 0 || (v.m_nRadioCount > 0 && v.m_nRadioChannel >= v.m_nRadioCount))
        bad << " radio channel " << v.m_nRadioChannel << " of " << v.m_nRadioCount;
    // A channel name is at most its 32-byte record, whatever the file holds.
    auto& texts = gdispy::Current().texts;
    for (; m_textsSeen < texts.size(); ++m_textsSeen) {
        const gdispy::Text& t = texts[m_textsSeen];
        if (t.clip.left == 430 && t.text.size() > 32) bad << " a row text of " << t.text.size() << " characters";
    }
    if (!bad.str().empty()) Fail(std::string("state out of bounds after ") + after + ":" + bad.str());
}

// ---- checkpoints --------------------------------------------------------------------------

void ViewerSoak::Checkpoint()
{
    soak::TimeInto tally(checkpointMs);
    soak::Journal::Get().Note("checkpoint");
    m_host.Calm();
    m_host.Send({80, 1});   // a search the host never ended keeps commands refused by design
    // The lock must come free by itself (timers 50, 80, 10); a command whose answer never came
    // keeps it until five touch-downs start timer 10.
    if (WaitUntil([&] { return !V().m_bBusy; }, 2600)) {
        ++figures.lockFreedByTimers;
    } else {
        for (int k = 0; k < 5; ++k) PostMessageW(V().m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, soak::PointParam(200, 30));
        if (WaitUntil([&] { return !V().m_bBusy; }, kHangMs)) ++figures.lockFreedByWatchdog;
        else Fail("the busy lock stayed taken after five touch-downs");
    }
    // The same view every time, so the counts compare like with like: a reload brings the radio window.
    m_host.Send({16, 58});
    if (!WaitUntil([&] { return V().m_nViewMode == VIEW_RADIO_WINDOW && !V().m_bBusy; }, 3000))
        Fail("a reload did not bring the radio window with a free lock (view " + std::to_string(V().m_nViewMode) + ")");

    // The platform's text shaping holds fonts for the lines of the DAB text on show: the same
    // text at every count.
    m_window.SendText(V().m_hWnd, L"");
    PostMessageW(V().m_hWnd, WM_NULL, 0, 0);
    Pump();
    if (FindWindowW(nullptr, L"TVSCREEN") != V().m_hWnd) Fail("the window titled TVSCREEN is not the viewer");
    if (ddsim::DeadCalls() != 0) Fail("the engine used a released DirectDraw object");

    m_channel.Release();
    {
        gdispy::Pause pause;
        // The soak's own records would pass for growth: the spy's detail and the host's record are
        // emptied (the objects they count stay). The simulated display's record is a ring that
        // costs the same whatever it holds.
        gdispy::Current().blits.clear();
        gdispy::Current().texts.clear();
        gdispy::Current().windowDCs.clear();
        gdispy::Current().released.clear();
        m_textsSeen = 0;
        m_window.Clear();
        const counters::Look look =
            counters::QuietLook(GetCurrentProcessId(), GetCurrentProcess(), [this](DWORD ms) { Wait(ms); });
        figures.gdi.Add(gdispy::GdiCensusQuiet());
        figures.held.Add(static_cast<long long>(gdispy::Held().Total()));
        figures.handles.Add(look.handles, look.threads);
        figures.memory.Add(look.privateBytes, look.threads);
        figures.heap.Add(gdispy::HeapBytes());
        figures.ddObjects.Add(ddsim::LiveObjects().total());
        if (getenv("SOAK_VERBOSE"))
            std::printf("  checkpoint after %llu notes: census %s | held %s | %lld handles, %lld bytes, %d threads,"
                        " heap %lld\n",
                        static_cast<unsigned long long>(soak::Journal::Get().Count()), gdispy::GdiCensusByKind().c_str(),
                        gdispy::Held().Describe().c_str(), look.handles, look.privateBytes, look.threads,
                        gdispy::HeapBytes());
    }
    ++figures.checkpoints;
    m_host.Wild();
}

// The simulated display's own cost of a long run, without the viewer: make and release surfaces
// as the engine describes them, each call recorded.
void ViewerSoak::CalibrateSimulation()
{
    if (!g_pDD) return;
    gdispy::Pause pause;
    const int kSurfaces = 3000;
    DDSURFACEDESC2 desc = g_ddsdOverlay;
    const long long before = gdispy::HeapBytes();
    for (int i = 0; i < kSurfaces; ++i) {
        IDirectDrawSurface4* surface = nullptr;
        if (g_pDD->CreateSurface(&desc, &surface, nullptr) == DD_OK && surface) surface->Release();
    }
    figures.simHeapGrowth = gdispy::HeapBytes() - before;
    figures.simSurfaces = kSurfaces;
}

void ViewerSoak::Run()
{
    soak::Watchdog watchdog(kHangMs, [] {
        HWND box = FindMessageBox(GetCurrentProcessId());
        return box ? "  a message box is open: " + soak::Narrow(MessageBoxText(box)) + "\n" : std::string();
    });
    m_watchdog = &watchdog;
    m_dlg = std::make_unique<CTvScreenDlg>();
    if (!m_dlg->Create(IDD_MAIN_DIALOG)) {
        Fail("the viewer's dialog was not created");
        return;
    }
    Pump();
    const ULONGLONG warmUpStart = Now();
    if (!m_plant) WarmUp();
    warmUpMs = Now() - warmUpStart;
    CalibrateSimulation();
    // A dozen looks at a short run, thirty at a long one: enough to tell a trend from noise.
    const int every = std::max(16, m_cfg.events / (m_cfg.events <= 1000 ? 10 : 30));
    for (int i = 0; i < m_cfg.events; ++i) {
        if (i % every == 0) Checkpoint();
        const ULONGLONG t0 = Now();
        Event(i);
        stalls.Add(Now() - t0, soak::Journal::Get().Last());
        if (failures.size() > 5) break;
    }
    Checkpoint();
    tallyAtEnd = gdispy::Held().Describe();
    censusAtEnd = gdispy::GdiCensusByKind();
    for (HGDIOBJ o : m_planted) DeleteObject(o);
    for (HANDLE h : m_plantedHandles) CloseHandle(h);
    m_dlg->DestroyWindow();
    m_dlg.reset();
    ReleaseVideoObjects();
    Pump();
    m_watchdog = nullptr;
}

class ViewerSoakTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gdispy::Install());
        ASSERT_TRUE(gdispy::Unhooked().empty());
        soak::InstallCrashReport();
        SetCurrentDirectoryW(L"C:\\");
        ASSERT_TRUE(CreateFolders(CardRoot() + L"\\appdata"));
        ASSERT_TRUE(CreateFolders(CardRoot() + L"\\app"));
        // The settings program starts and ends at once: the launch itself is what is soaked.
        ASSERT_TRUE(CopyFileW((ModuleDir() + L"\\soak_quick_exit.exe").c_str(),
                              (CardRoot() + L"\\app\\setting.exe").c_str(), FALSE));
        for (auto v : std::vector<std::pair<const wchar_t*, DWORD>>{{L"Volume", 5}, {L"PIP", 0}, {L"DLS", 1}})
            WriteDword(v.first, v.second);
    }

    static void Print(const Figures& f, size_t warmUp)
    {
        for (const counters::Series* s : {&f.gdi, &f.held, &f.handles, &f.memory, &f.heap, &f.ddObjects})
            std::printf("  %s\n", counters::Describe(counters::Steady(*s, warmUp), 0).c_str());
        std::printf("  the simulated display's C heap grew %lld bytes over %d surfaces made and released (measured apart)\n",
                    f.simHeapGrowth, f.simSurfaces);
        std::printf("  busy lock freed by its own timers at %d checkpoints, by five touch-downs at %d\n",
                    f.lockFreedByTimers, f.lockFreedByWatchdog);
        std::fflush(stdout);
    }

    StoreSnapshot store;
    CardGuard card;
};

// The scripted warm-up runs before the first count; the first two counts still settle in.
size_t WarmUpSamples(const Figures& f) { return std::min<size_t>(2, f.gdi.values.size() / 4); }

// What memory may still rise in the second half without a leak: in the executable's C heap, the
// allocator's bookkeeping; in the process, the platform's heaps and caches settling.
const long long kHeapSlack = 32 * 1024;
const long long kMemorySlack = 512 * 1024;
// The released objects the simulated display keeps callable (a few dozen of each kind).
const long long kSimulationKeeps = 16 * 1024;

// What grew after the warm-up, like with like (see counters::Steady).
long long Grew(const counters::Series& s, size_t warmUp) { return counters::GrowthOf(counters::Steady(s, warmUp), 0).delta(); }
long long LateGrew(const counters::Series& s, size_t warmUp) { return counters::LateGrowth(counters::Steady(s, warmUp), 0); }
std::string Told(const counters::Series& s, size_t warmUp) { return counters::Describe(counters::Steady(s, warmUp), 0); }

// A run with a leak planted in it, through the same import table on the same thread: the
// census, the spy and the handle count must all see it, or a clean soak proves nothing.
TEST_F(ViewerSoakTest, TheCountersCatchAPlantedLeak)
{
    soak::Config cfg;
    cfg.seed = 12345;
    cfg.events = 100;
    ViewerSoak run(cfg, true);
    run.Run();
    for (const std::string& f : run.failures) ADD_FAILURE() << f;
    const size_t warmUp = WarmUpSamples(run.figures);
    Print(run.figures, warmUp);
    // One bitmap, one event and 256 KB every ten events.
    EXPECT_GE(Grew(run.figures.gdi, warmUp), 4);
    EXPECT_GE(Grew(run.figures.held, warmUp), 8);
    EXPECT_GE(Grew(run.figures.handles, warmUp), 4);
    EXPECT_GT(LateGrew(run.figures.memory, warmUp), kMemorySlack);
    EXPECT_GT(LateGrew(run.figures.heap, warmUp), kMemorySlack);
    EXPECT_GT(LateGrew(run.figures.heap, warmUp), kHeapSlack);
    EXPECT_NE(run.tallyAtEnd.find("CreateCompatibleBitmap"), std::string::npos) << run.tallyAtEnd;
    EXPECT_NE(run.tallyAtEnd.find("CreateEventW"), std::string::npos) << run.tallyAtEnd;
}

TEST_F(ViewerSoakTest, RandomAbuseLeavesNothingBehind)
{
    soak::Config cfg = soak::ReadConfig("viewer soak (in-process)", kDefaultEvents);
    ViewerSoak run(cfg, false);
    const ULONGLONG start = Now();
    run.Run();
    std::printf("  %d events in %.1f s (warm-up %.1f s, %d checkpoints %.1f s)\n", cfg.events, (Now() - start) / 1000.0,
                run.warmUpMs / 1000.0, run.figures.checkpoints, run.checkpointMs / 1000.0);
    std::printf("%s", run.stalls.Describe().c_str());
    for (const std::string& f : run.failures) ADD_FAILURE() << f;
    const Figures& f = run.figures;
    const size_t warmUp = WarmUpSamples(f);
    Print(f, warmUp);
    const std::string replay = soak::Journal::Get().Header();
    // The viewer's own GDI objects, window DCs, handles and keys (the spy) and the process's
    // handles: not one more at the end than after the warm-up.
    EXPECT_LE(Grew(f.held, warmUp), 0) << Told(f.held, warmUp) << "\n  held: " << run.tallyAtEnd << "\n" << replay;
    EXPECT_LE(Grew(f.handles, warmUp), 0) << Told(f.handles, warmUp) << "\n" << replay;
    // Every GDI object of the process: the platform's text shaping and DC cache take a few for
    // good the first time a script or window needs them; in the second half nothing may come.
    EXPECT_LE(LateGrew(f.gdi, warmUp), 0) << Told(f.gdi, warmUp) << "\n  census: " << run.censusAtEnd << "\n" << replay
                                      << "\n  the last events:\n" << soak::Journal::Get().Recent(30);
    // Memory: the C heap of the executable's code (viewer, framework, simulated display) must stay
    // flat; the process's private bytes also hold the platform's own heaps, which settle more
    // slowly. The simulated display alone, over thousands of surfaces, keeps no more than the few
    // released objects it leaves callable.
    const long long lateHeap = LateGrew(f.heap, warmUp), lateMemory = LateGrew(f.memory, warmUp);
    std::printf("  second half: C heap %+lld bytes, private bytes %+lld\n", lateHeap, lateMemory);
    EXPECT_LE(lateHeap, kHeapSlack) << Told(f.heap, warmUp) << "\n" << replay;
    EXPECT_LE(lateMemory, kMemorySlack) << Told(f.memory, warmUp) << "\n" << replay;
    EXPECT_LE(f.simHeapGrowth, kSimulationKeeps) << "over " << f.simSurfaces << " surfaces";
    EXPECT_LE(counters::GrowthOf(f.ddObjects, 0).peak, 4) << Told(f.ddObjects, 0);
}

}  // namespace
