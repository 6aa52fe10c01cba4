// The real viewer and panel, started as the device starts them, soaked by this test playing a
// host that answers, lags or stays silent, with random touches in every view, host codes, DAB
// texts and channel files rewritten under them. Between rounds: both still run and answer, the
// busy lock comes free after a switch, both titles are findable, and their handles and memory
// (read from outside) stay flat.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <map>
#include <sstream>

#include "DeviceTest.h"
#include "OutsideLook.h"
#include "ProcessCounters.h"
#include "SoakKit.h"

using namespace devtest;

namespace {

// Long enough that a leak of a couple of KB per event outgrows one fresh block of a heap once the
// heaps have settled; the events are quick, the checkpoints are what takes the time.
const int kDefaultEvents = 600;
// The planted leak must stand out by more than this in the second half.
const long long kMemorySlack = 768 * 1024;
// What the programs may grow by once the heaps settled, per 1,000 events, with one more block of
// a heap on top, whatever the run's length: a heap takes fresh pages in blocks, and one block of
// 240 KB was seen in the 37 events of a short run's second half, one of 308 KB in a 64-bit run. The simulated display in the
// viewer holds constant memory; the texts and names are drawn from fixed sets the warm-up shows
// once, as the platform keeps each glyph it has drawn. Runs of 600 events grew by nothing or by a
// few pages after their first quarter; a leak of 2 KB per event grew by 1.5 MB there.
const long long kViewerPerThousand = 64 * 1024, kPanelPerThousand = 16 * 1024;
const long long kSettling = 384 * 1024;
// The samples judged must span this share of the events at least, or a leak has too few to show in.
const int kLeastShare = 2;
// GDI objects of the whole process that the platform may add for good in a long run: its cache of
// window DCs takes a DC and a region the first time one more is in use at once than ever before.
// The programs' own objects are counted exactly by the in-process soaks.
const long long kPlatformGdi = 4;

struct Program {
    const char* name = "";
    const wchar_t* file = L"";
    Process process;
    HWND hwnd = nullptr;
    int hostPid = 0;
    counters::Series handles, memory, gdi, rss;
    bool Answers(DWORD ms) const
    {
        DWORD_PTR r = 0;
        return SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_BLOCK, ms, &r) != 0;
    }
    void Measure(const std::function<void(DWORD)>& wait, int events)
    {
        const counters::Look look = counters::QuietLook(process.Id(), process.Handle(), wait);
        handles.Add(look.handles, look.threads);
        memory.Add(look.privateBytes, look.threads);
        threads = look.threads;
        gdi.Add(soak::GdiObjectsOf(process.Handle(), hwnd ? GetWindowThreadProcessId(hwnd, nullptr) : 0), look.threads);
        gdiKinds = soak::GdiKindsOf(process.Handle());
        if (!hostPid) hostPid = soak::HostPidOf(file);
        const soak::HostMemory host = soak::QuietRssAnon(hostPid, wait);
        rss.Add(host.rssAnon, host.threads);
        eventsAt.push_back(events);
    }
    std::vector<int> eventsAt;   // events done at each look
    std::string gdiKinds;        // at the latest look
    void Named(const char* title, const wchar_t* fileName)
    {
        name = title;
        file = fileName;
        handles.name = std::string(name) + " kernel handles";
        memory.name = std::string(name) + " private bytes (Wine)";
        gdi.name = std::string(name) + " GDI objects";
        rss.name = std::string(name) + " RssAnon (host system)";
    }
    int threads = 0;
};

class DeviceSoak {
public:
    explicit DeviceSoak(const soak::Config& cfg) : m_cfg(cfg), m_rng(cfg.seed), m_host(m_window, m_rng)
    {
        m_viewer.Named("TVSCREEN", L"TVSCREEN.exe");
        m_panel.Named("CONFIG", L"PanelCfg.exe");
    }

    bool Start();
    void Run();
    void Stop();

    Program m_viewer, m_panel;
    std::vector<std::string> failures;
    int lockFreeAfterSwitch = 0, lockNeededWatchdog = 0, checkpoints = 0;
    bool lockHeld = false;   // a checkpoint's touch was not taken once its settling had ended
    soak::Stalls stalls;
    ULONGLONG warmUpMs = 0, checkpointMs = 0;
    counters::Series recordedCalls{"calls recorded by the viewer's simulated display"};
    std::wstring recordPath;

private:
    long long RecordedCalls() const;
    void Event();
    void WarmUp();
    void Checkpoint();
    bool TouchAnswered(int x, int y, int code, int arg, DWORD ms);
    bool ListTouchTaken();
    void Tap(HWND hwnd, int x, int y);
    void Wait(DWORD ms);
    bool WaitUntil(const std::function<bool()>& pred, DWORD ms);
    int ViewGuess();
    void Fail(const std::string& what);
    bool StillThere();

    soak::Config m_cfg;
    soak::Rng m_rng;
    HostWindow m_window;
    soak::RandomHost m_host;
    soak::ChannelFile m_channel;
    soak::Watchdog* m_watchdog = nullptr;
    int m_done = 0;   // events played so far
    // Viewer touch, panel touch, panel command, host code, DAB text, channel file, title,
    // pause, five downs, short wait.
    std::vector<int> m_mix = soak::Mix({36, 10, 4, 22, 9, 7, 1, 2, 3, 6});
};

void DeviceSoak::Fail(const std::string& what)
{
    failures.push_back(what + "\n  " + soak::Journal::Get().Header() + "\n  latest events:\n" +
                       soak::Journal::Get().Recent(25));
}

bool DeviceSoak::WaitUntil(const std::function<bool()>& pred, DWORD ms)
{
    const ULONGLONG end = Now() + ms;
    for (;;) {
        if (m_watchdog) m_watchdog->Beat();
        PumpMessages();
        m_host.Tick();
        if (pred()) return true;
        if (Now() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void DeviceSoak::Wait(DWORD ms) { WaitUntil([] { return false; }, ms); }

void DeviceSoak::Tap(HWND hwnd, int x, int y)
{
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, soak::PointParam(x, y));
    PostMessageW(hwnd, WM_LBUTTONUP, 0, soak::PointParam(x, y));
}

// From outside the view shows only in the window's size: parked, a quarter, or the whole screen.
int DeviceSoak::ViewGuess()
{
    RECT rc = WindowRect(m_viewer.hwnd);
    const int w = rc.right - rc.left;
    if (w == 0) return 5;
    if (w == 320) return 6;
    return m_rng.Int(0, 3) == 0 ? 3 : 1;   // windowed or full screen look alike
}

bool DeviceSoak::StillThere()
{
    for (Program* p : {&m_viewer, &m_panel}) {
        if (!p->process.Running()) {
            Fail(std::string(p->name) + " has ended (exit code " + soak::Hex(p->process.ExitCode()) + ")");
            return false;
        }
    }
    return true;
}

// The simulated display appends a line per call to its log file and keeps the same call in memory.
long long DeviceSoak::RecordedCalls() const
{
    auto bytes = ReadFileBytes(recordPath);
    if (!bytes) return 0;
    long long lines = 0;
    for (uint8_t b : *bytes) lines += b == '\n';
    return lines;
}

bool DeviceSoak::Start()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    recordPath = std::wstring(temp) + L"soak_viewer_ddsim.log";
    DeleteFileW(recordPath.c_str());
    SetEnvironmentVariableW(L"DDSIM_LOG", recordPath.c_str());   // Wine passes it on as the Unix path's twin
    m_viewer.process = devtest::Start(L"TVSCREEN.exe");
    SetEnvironmentVariableW(L"DDSIM_LOG", nullptr);
    m_viewer.hwnd = WaitForWindow(L"TVSCREEN", kHangMs, m_viewer.process.Id());
    m_panel.process = devtest::Start(L"PanelCfg.exe");
    m_panel.hwnd = WaitForWindow(L"CONFIG", kHangMs, m_panel.process.Id());
    return m_viewer.hwnd && m_panel.hwnd;
}

void DeviceSoak::Event()
{
    const HWND viewer = m_viewer.hwnd, panel = m_panel.hwnd;
    switch (m_rng.Weighted(m_mix)) {
    case 0: {
        RECT rc = ClientRect(viewer);
        soak::Touch t = soak::RandomViewerTouch(m_rng, ViewGuess(), 0, rc.right, rc.bottom);
        std::ostringstream what;
        what << "viewer touch (" << rc.right << "x" << rc.bottom << ")";
        if (t.down) what << " down " << t.downX << "," << t.downY;
        if (t.up) what << " up " << t.upX << "," << t.upY;
        soak::Journal::Get().Note(what.str());
        if (t.down) PostMessageW(viewer, WM_LBUTTONDOWN, MK_LBUTTON, soak::PointParam(t.downX, t.downY));
        if (t.down && t.up && m_rng.Chance(0.5)) Wait(static_cast<DWORD>(m_rng.Int(0, 40)));
        if (t.up) PostMessageW(viewer, WM_LBUTTONUP, 0, soak::PointParam(t.upX, t.upY));
        break;
    }
    case 1: {
        soak::Touch t = soak::RandomPanelTouch(m_rng);
        soak::Journal::Get().Note("panel touch down " + std::to_string(t.downX) + "," + std::to_string(t.downY));
        PostMessageW(panel, WM_LBUTTONDOWN, MK_LBUTTON, soak::PointParam(t.downX, t.downY));
        if (t.up) PostMessageW(panel, WM_LBUTTONUP, 0, soak::PointParam(t.upX, t.upY));
        break;
    }
    case 2: {
        static const std::vector<int> ids = {1010, 1011, 1017, 1018, 1022, 1023, 1000, 1003};
        const int id = m_rng.Pick(ids);
        soak::Journal::Get().Note("panel command " + std::to_string(id));
        PostMessageW(panel, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        break;
    }
    case 3: {
        soak::HostCode c = soak::RandomHostCode(m_rng);
        soak::Journal::Get().Note("host sends " + std::to_string(c.code) + "/" + std::to_string(c.arg));
        m_host.Send(c);
        break;
    }
    case 4: {
        soak::CopyData d = soak::RandomCopyData(m_rng);
        soak::Journal::Get().Note("DAB text: " + d.what);
        m_window.SendCopyData(viewer, d.nullData || d.bytes.empty() ? nullptr : d.bytes.data(), d.nullData ? 0 : d.cbData,
                              d.dwData);
        break;
    }
    case 5: {
        soak::ChannelWrite w = soak::RandomChannelWrite(m_rng);
        soak::Journal::Get().Note("channel file: " + w.what);
        m_channel.Apply(w);
        if (m_rng.Chance(0.7)) m_host.Send({16, m_rng.Pick(std::vector<int>{58, 59, 60})});
        break;
    }
    case 6:
        soak::Journal::Get().Note("someone renames the viewer's window");
        SetWindowTextW(viewer, L"tampered");
        break;
    case 7:
        soak::Journal::Get().Note("pause");
        Wait(static_cast<DWORD>(m_rng.Int(300, 2300)));
        break;
    case 8:
        soak::Journal::Get().Note("five touch-downs");
        for (int k = 0; k < 5; ++k) PostMessageW(viewer, WM_LBUTTONDOWN, MK_LBUTTON, soak::PointParam(200, 30));
        break;
    default:
        Wait(static_cast<DWORD>(m_rng.Chance(0.7) ? m_rng.Int(0, 30) : m_rng.Int(30, 300)));
        break;
    }
    Wait(2);
}

bool DeviceSoak::TouchAnswered(int x, int y, int code, int arg, DWORD ms)
{
    m_window.Clear();
    Tap(m_viewer.hwnd, x, y);
    return m_window.WaitFor(code, arg, ms);
}

// The settling ends on the viewer's own timers, later on a slower machine, and a touch while it
// lasts is dropped: the list button is touched again until a touch is taken, and only a lock that
// still holds at the hang limit is one its timers did not free.
bool DeviceSoak::ListTouchTaken()
{
    const DWORD start = GetTickCount();
    do {
        if (TouchAnswered(470, 140, 56, 1, 1500)) return true;
    } while (GetTickCount() - start < kHangMs);
    return false;
}

void DeviceSoak::Checkpoint()
{
    soak::TimeInto tally(checkpointMs);
    soak::Journal::Get().Note("checkpoint");
    if (!StillThere()) return;
    m_host.Calm();
    m_host.Send({80, 1});
    // A reload brings the radio window; its switch arms timer 80, and 2 s later the settling ends:
    // then a touch must be taken. The TV list button answers with 56/1 in either panel.
    m_host.Send({16, 58});
    Wait(2600);
    if (lockHeld) {
        // Told already; each try would wait out the hang limit again.
    } else if (ListTouchTaken()) {
        ++lockFreeAfterSwitch;
    } else {
        lockHeld = true;
        for (int k = 0; k < 5; ++k) PostMessageW(m_viewer.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, soak::PointParam(200, 30));
        Wait(400);
        if (ListTouchTaken()) ++lockNeededWatchdog;
        else Fail("the viewer took no touch after a switch, its settling and five touch-downs");
    }
    PostMessageW(m_viewer.hwnd, WM_NULL, 0, 0);
    if (!WaitUntil([&] { return FindTopLevel(L"TVSCREEN") == m_viewer.hwnd; }, kHangMs))
        Fail("the window titled TVSCREEN is not the viewer");
    if (FindTopLevel(L"CONFIG") != m_panel.hwnd) Fail("the window titled CONFIG is not the panel");
    for (Program* p : {&m_viewer, &m_panel})
        if (!p->Answers(kHangMs)) Fail(std::string(p->name) + " does not answer");
    m_window.Clear();
    auto wait = [this](DWORD ms) { Wait(ms); };
    m_viewer.Measure(wait, m_done);
    m_panel.Measure(wait, m_done);
    recordedCalls.Add(RecordedCalls());
    if (getenv("SOAK_VERBOSE"))
        for (const Program* p : {&m_viewer, &m_panel})
            std::printf("  after %d events: %s %lld handles, %lld GDI objects, RssAnon %lld, private %lld, %d threads\n",
                        m_done, p->name, p->handles.values.back(), p->gdi.values.back(), p->rss.values.back(),
                        p->memory.values.back(), p->threads);
    ++checkpoints;
    m_host.Wild();
}

// Every view and command once before the first count, as in the in-process soak, with waits
// long enough for the switches and the settling that follows a windowed one.
void DeviceSoak::WarmUp()
{
    m_host.Calm();
    const HWND v = m_viewer.hwnd;
    auto send = [&](int code, int arg, DWORD wait) {
        soak::Journal::Get().Note("warm-up host sends " + std::to_string(code) + "/" + std::to_string(arg));
        m_host.Send({code, arg});
        Wait(wait);
    };
    // After a tap the host's 80/0 frees the lock a tenth of a second later.
    auto tap = [&](int x, int y, DWORD wait) {
        soak::Journal::Get().Note("warm-up tap " + std::to_string(x) + "," + std::to_string(y));
        Tap(v, x, y);
        Wait(40);
        send(80, 0, wait);
    };
    auto text = [&](int n) {
        for (int i = 0; i < n; ++i) {
            soak::CopyData d = soak::RandomCopyData(m_rng);
            m_window.SendCopyData(v, d.bytes.empty() ? nullptr : d.bytes.data(), d.cbData, d.dwData);
        }
    };
    const DWORD kSettled = 2300;   // a windowed switch and the settling after it
    send(16, 58, kSettled);
    text(6);
    send(16, 40, 300);
    text(6);
    // The platform keeps each glyph it draws for good: every character the soak's texts and
    // names are made of is drawn once here, before the first count.
    for (const std::wstring& line : soak::DabSampler()) {
        m_window.SendText(v, line);
        Wait(20);
    }
    tap(500, 200, kSettled);          // back to the window
    tap(25, 390, 500);                // PIP button, answered with a PIP view
    tap(240, 180, 400);               // next quadrant
    tap(80, 180, kSettled);           // back to the window
    tap(470, 440, 150);               // search, then the host's figures and its end
    for (int code : {60, 61, 62}) send(code, 7, 20);
    send(80, 1, 20);
    m_channel.Apply(soak::GlyphSampler());   // the lists below show every character of the names
    send(16, 58, kSettled);
    for (POINT p : std::vector<POINT>{{470, 140}, {600, 380}, {500, 195}, {470, 90}, {580, 140}, {470, 90},
                                      {590, 210}, {590, 300}, {525, 257}, {577, 395}, {577, 395}, {473, 395}})
        tap(p.x, p.y, 200);
    tap(580, 90, 400);                // settings: a program starts, the viewer parks
    send(16, 90, kSettled);
    tap(600, 450, 300);               // close
    for (int id : {1010, 1011, 1017, 1018, 1022, 1023}) PostMessageW(m_panel.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    for (POINT p : std::vector<POINT>{{270, 70}, {360, 70}, {270, 120}, {360, 170}}) Tap(m_panel.hwnd, p.x, p.y);
    send(45, 6, 100);
    for (int i = 0; i < 4; ++i) {
        m_channel.Apply(soak::RandomChannelWrite(m_rng));
        send(16, 58, 300);
    }
    m_host.Wild();
}

void DeviceSoak::Run()
{
    soak::Watchdog watchdog(kHangMs, [this] {
        std::string who;
        for (Program* p : {&m_viewer, &m_panel})
            if (!p->Answers(2000)) who += std::string("  ") + p->name + " does not answer\n";
        return who;
    });
    m_watchdog = &watchdog;
    const ULONGLONG warmUpStart = Now();
    WarmUp();
    warmUpMs = Now() - warmUpStart;
    // Samples enough that those with the thread count most had still span the run.
    const int every = std::max(20, m_cfg.events / (m_cfg.events <= 1000 ? 12 : 30));
    // A lock its timers did not free ends the run: every checkpoint after it would wait out the hang limit.
    for (int i = 0; i < m_cfg.events && failures.size() <= 5 && !lockHeld; ++i) {
        m_done = i;
        if (i % every == 0) Checkpoint();
        const ULONGLONG t0 = Now();
        Event();
        stalls.Add(Now() - t0, soak::Journal::Get().Last());
        if (!StillThere()) break;
    }
    m_done = m_cfg.events;
    Checkpoint();
    m_watchdog = nullptr;
}

// The panel still closes itself after all that; the viewer has no command that ends it.
void DeviceSoak::Stop()
{
    m_host.Calm();
    m_window.Clear();
    if (m_panel.process.Running()) {
        Tap(m_panel.hwnd, 440, 20);
        if (!m_window.WaitFor(9, 0)) Fail("the panel's close button sent no 9/0");
        if (!m_panel.process.WaitExit()) Fail("the panel did not end after its close button");
    }
    m_viewer.process.Kill();
    m_panel.process.Kill();
}

// The outside counters on a process with a leak planted in it: what they would miss in the
// viewer or the panel they must see here, measured the same way and judged by the same rules.
TEST(DeviceSoakTest, TheOutsideCountersCatchAPlantedLeak)
{
    Process leaker = devtest::Start(ModuleDir() + L"\\soak_leaker.exe");
    HWND hwnd = WaitForWindow(L"SOAKLEAKER", kHangMs, leaker.Id());
    ASSERT_NE(hwnd, nullptr);
    Program p;
    p.Named("leaker", L"soak_leaker.exe");
    p.process = std::move(leaker);
    auto wait = [](DWORD ms) { PollUntil([] { return false; }, ms); };
    for (int round = 0; round < 8; ++round) {
        p.Measure(wait, round);
        for (int k = 0; k < 3; ++k) PostMessageW(hwnd, WM_APP, 0, 0);
    }
    const auto steadyHandles = counters::Steady(p.handles, 2), steadyMemory = counters::Steady(p.memory, 2);
    const auto steadyGdi = counters::Steady(p.gdi, 2), steadyRss = counters::Steady(p.rss, 2);
    for (const auto* s : {&steadyHandles, &steadyGdi, &steadyMemory, &steadyRss})
        std::printf("  %s\n", counters::Describe(*s, 0).c_str());
    EXPECT_GE(counters::GrowthOf(steadyHandles, 0).delta(), 9);
    EXPECT_GE(counters::GrowthOf(steadyGdi, 0).delta(), 9);
    EXPECT_GT(counters::LateGrowth(steadyMemory, 0), kMemorySlack);
    EXPECT_GT(counters::LateGrowth(steadyRss, 0), kMemorySlack);
    p.process.Kill();
}

TEST(DeviceSoakTest, RealProgramsUnderRandomAbuseStayUpFindableAndFlat)
{
    soak::InstallCrashReport();
    StoreSnapshot store;
    CardGuard card;
    ASSERT_TRUE(CreateFolders(CardRoot() + L"\\appdata"));
    ASSERT_TRUE(CreateFolders(CardRoot() + L"\\app"));
    ASSERT_TRUE(CopyFileW((ModuleDir() + L"\\soak_quick_exit.exe").c_str(), (CardRoot() + L"\\app\\setting.exe").c_str(),
                          FALSE));
    std::vector<std::string> tv, radio;
    for (int i = 0; i < 20; ++i) tv.push_back("TV " + std::to_string(i));
    for (int i = 0; i < 80; ++i) radio.push_back("Radio " + std::to_string(i));
    ASSERT_TRUE(WriteChannelFile(12, 30, tv, radio));
    for (auto v : std::vector<std::pair<const wchar_t*, DWORD>>{{L"Volume", 5}, {L"PIP", 0}, {L"DLS", 1}, {L"Bright", 5},
                                                                 {L"FMTx", 881}, {L"Dimmer", 0}})
        WriteDword(v.first, v.second);

    soak::Config cfg = soak::ReadConfig("device soak (real programs)", kDefaultEvents);
    DeviceSoak run(cfg);
    ASSERT_TRUE(run.Start()) << "the viewer or the panel did not come up";
    const ULONGLONG start = Now();
    run.Run();
    const double seconds = (Now() - start) / 1000.0;
    run.Stop();
    for (const std::string& f : run.failures) ADD_FAILURE() << f;

    std::printf("  %d events in %.1f s (warm-up %.1f s, %d checkpoints %.1f s)\n", cfg.events, seconds,
                run.warmUpMs / 1000.0, run.checkpoints, run.checkpointMs / 1000.0);
    std::printf("%s", run.stalls.Describe().c_str());
    std::printf("  a touch was taken after every reload's switch at %d checkpoints; needed five touch-downs at %d\n",
                run.lockFreeAfterSwitch, run.lockNeededWatchdog);
    const size_t warmUp = std::min<size_t>(2, run.m_viewer.handles.values.size() / 4);
    const std::string replay = soak::Journal::Get().Header();
    auto steady = [&](const counters::Series& s) { return counters::Steady(s, warmUp); };
    for (const Program* p : {&run.m_viewer, &run.m_panel}) {
        for (const counters::Series* s : {&p->handles, &p->gdi, &p->rss, &p->memory})
            std::printf("  %s\n", counters::Describe(steady(*s), 0).c_str());
        EXPECT_LE(counters::GrowthOf(steady(p->handles), 0).delta(), 0)
            << counters::Describe(steady(p->handles), 0) << "\n" << replay;
        EXPECT_LE(counters::LateGrowth(steady(p->gdi), 0), kPlatformGdi)
            << counters::Describe(steady(p->gdi), 0) << "\n  at the end: " << p->gdiKinds << "\n" << replay;
        std::printf("  %s GDI objects at the end: %s\n", p->name, p->gdiKinds.c_str());
    }
    // Memory as the host system counts it (RssAnon), after the first quarter of the samples (the
    // heaps' settling), per 1,000 events. The soak's sound thread comes and goes, and a sample is
    // compared only with samples of the same thread count: the growth and the events of each
    // count's samples add up.
    for (auto [p, perThousand] : {std::pair<const Program*, long long>{&run.m_viewer, kViewerPerThousand},
                                  {&run.m_panel, kPanelPerThousand}}) {
        const size_t settled = std::max(warmUp, p->rss.values.size() / 4);
        std::map<int, std::pair<counters::Series, std::vector<int>>> byThreads;   // samples, events at each
        for (size_t i = settled; i < p->rss.values.size() && i < p->eventsAt.size(); ++i) {
            auto& group = byThreads[p->rss.tags[i]];
            group.first.Add(p->rss.values[i]);
            group.second.push_back(p->eventsAt[i]);
        }
        long long grown = 0;
        int span = 0, groups = 0;
        for (const auto& [threads, group] : byThreads) {
            if (group.second.size() < 2) continue;
            grown += counters::GrowthOf(group.first, 0).delta();
            span += group.second.back() - group.second.front();
            ++groups;   // a heap's fresh block shows in every count's samples that span it
        }
        EXPECT_GE(span * kLeastShare, cfg.events) << p->name << ": too few samples alike\n" << replay;
        std::printf("  %s: over %d events after the heaps settled %+lld bytes, %+.1f KB per 1,000 events\n", p->name,
                    span, grown, grown / 1024.0 * 1000.0 / std::max(1, span));
        EXPECT_LE(grown, kSettling * std::max(1, groups) + perThousand * span / 1000) << counters::Describe(counters::Steady(p->rss, settled), 0)
                                                                << "\n" << replay;
    }
    std::printf("  the viewer's simulated display recorded %lld calls in the second half\n",
                counters::LateGrowth(steady(run.recordedCalls), 0));
    EXPECT_EQ(run.lockNeededWatchdog, 0) << "after a switch and its settling the lock must be free by its timers";
}

}  // namespace
