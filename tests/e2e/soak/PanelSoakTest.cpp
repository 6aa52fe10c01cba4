// The settings panel's dialog in this process, under the GDI spy and the whole-process census:
// every drawing step loads its bitmap afresh, so a missed release would pile up quickly.
// Random touches (never the close button), button notifications, host codes and repaints.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <sstream>

#include "DeviceTest.h"
#include "Frame.h"
#include "GdiSpy.h"
#include "PanelCfgDlg.h"
#include "ProcessCounters.h"
#include "SoakKit.h"

using namespace devtest;

namespace {

const int kDefaultEvents = 200;

class PanelSoak {
public:
    explicit PanelSoak(const soak::Config& cfg) : m_cfg(cfg), m_rng(cfg.seed), m_host(m_window, m_rng) {}
    void Run();

    counters::Series gdi{"GDI objects (census)"}, held{"held by the panel's calls (spy)"}, handles{"kernel handles"},
        memory{"private bytes"}, heap{"C heap bytes of this executable's code"};
    std::vector<std::string> failures;
    std::string tallyAtEnd, censusAtEnd;

private:
    void Event();
    void Checkpoint();
    void Pump();
    void Fail(const std::string& what);

    soak::Config m_cfg;
    soak::Rng m_rng;
    soak::Watchdog* m_watchdog = nullptr;   // beaten by every pump: the thread came back
    HostWindow m_window;
    soak::RandomHost m_host;
    std::unique_ptr<CPanelCfgDlg> m_dlg;
    // Touch, button notification, host code, repaint, short wait.
    std::vector<int> m_mix = soak::Mix({45, 20, 20, 5, 10});
};

void PanelSoak::Pump()
{
    if (m_watchdog) m_watchdog->Beat();
    soak::PumpDialogThread(m_dlg.get());
    m_host.Tick();
}

void PanelSoak::Fail(const std::string& what)
{
    failures.push_back(what + "\n  " + soak::Journal::Get().Header() + "\n  latest events:\n" +
                       soak::Journal::Get().Recent(25));
}

void PanelSoak::Event()
{
    HWND hwnd = m_dlg->m_hWnd;
    switch (m_rng.Weighted(m_mix)) {
    case 0: {
        soak::Touch t = soak::RandomPanelTouch(m_rng);
        std::ostringstream what;
        what << "panel touch down " << t.downX << "," << t.downY << (t.up ? " up " : " (no lift)");
        if (t.up) what << t.upX << "," << t.upY;
        soak::Journal::Get().Note(what.str());
        PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, soak::PointParam(t.downX, t.downY));
        if (t.up) PostMessageW(hwnd, WM_LBUTTONUP, 0, soak::PointParam(t.upX, t.upY));
        break;
    }
    case 1: {
        // The hidden buttons' notifications, and others; never OK or Cancel, which close a dialog.
        static const std::vector<int> ids = {1010, 1011, 1017, 1018, 1022, 1023, 1000, 1003, 1007, 1026};
        const int id = m_rng.Chance(0.85) ? m_rng.Pick(ids) : m_rng.Int(3, 2000);
        const int code = m_rng.Chance(0.9) ? BN_CLICKED : m_rng.Int(1, 10);
        soak::Journal::Get().Note("panel command " + std::to_string(id) + " notification " + std::to_string(code));
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, code), 0);
        break;
    }
    case 2: {
        soak::HostCode c = soak::RandomHostCode(m_rng);
        soak::Journal::Get().Note("host sends " + std::to_string(c.code) + "/" + std::to_string(c.arg));
        m_host.Send(c);
        break;
    }
    case 3:
        soak::Journal::Get().Note("panel repaint");
        InvalidateRect(hwnd, nullptr, m_rng.Chance(0.5));
        UpdateWindow(hwnd);
        break;
    default:
        Sleep(static_cast<DWORD>(m_rng.Int(0, 20)));
        break;
    }
    Pump();
    const CPanelCfgDlg& p = *m_dlg;
    if (p.m_nBright < 0 || p.m_nBright > 10 || p.m_nFmTx < 875 || p.m_nFmTx > 897 || (p.m_nDimmer != 0 && p.m_nDimmer != 1))
        Fail("panel values out of their cycles: " + std::to_string(p.m_nBright) + " " + std::to_string(p.m_nFmTx) + " " +
             std::to_string(p.m_nDimmer));
}

void PanelSoak::Checkpoint()
{
    soak::Journal::Get().Note("checkpoint");
    m_host.Calm();
    Pump();
    if (FindWindowW(nullptr, L"CONFIG") != m_dlg->m_hWnd) Fail("the window titled CONFIG is not the panel");
    if (!IsWindowVisible(m_dlg->m_hWnd)) Fail("the panel is no longer shown");
    gdispy::Pause pause;
    gdispy::Current().Clear();
    m_window.Clear();
    const counters::Look look = counters::QuietLook(GetCurrentProcessId(), GetCurrentProcess(), [this](DWORD ms) {
        Sleep(ms);
        Pump();
    });
    gdi.Add(gdispy::GdiCensusQuiet());
    held.Add(static_cast<long long>(gdispy::Held().Total()));
    handles.Add(look.handles, look.threads);
    memory.Add(look.privateBytes, look.threads);
    heap.Add(gdispy::HeapBytes());
    m_host.Wild();
}

void PanelSoak::Run()
{
    soak::Watchdog watchdog(kHangMs);
    m_watchdog = &watchdog;
    m_dlg = std::make_unique<CPanelCfgDlg>();
    if (!m_dlg->Create(IDD_MAIN_DIALOG)) {
        Fail("the panel's dialog was not created");
        return;
    }
    Pump();
    const int every = std::max(20, m_cfg.events / (m_cfg.events <= 1000 ? 8 : 30));
    for (int i = 0; i < m_cfg.events && failures.size() <= 5; ++i) {
        if (i % every == 0) Checkpoint();
        Event();
    }
    Checkpoint();
    tallyAtEnd = gdispy::Held().Describe();
    censusAtEnd = gdispy::GdiCensusByKind();
    m_dlg->DestroyWindow();
    m_dlg.reset();
    Pump();
    m_watchdog = nullptr;
}

TEST(PanelSoakTest, RandomAbuseLeavesNothingBehind)
{
    ASSERT_TRUE(gdispy::Install());
    ASSERT_TRUE(gdispy::Unhooked().empty());
    soak::InstallCrashReport();
    StoreSnapshot store;
    WriteDword(L"Bright", 5);
    WriteDword(L"FMTx", 881);
    WriteDword(L"Dimmer", 0);

    soak::Config cfg = soak::ReadConfig("panel soak (in-process)", kDefaultEvents);
    PanelSoak run(cfg);
    const ULONGLONG start = Now();
    run.Run();
    for (const std::string& f : run.failures) ADD_FAILURE() << f;
    const size_t warmUp = std::max<size_t>(2, run.gdi.values.size() / 5);
    std::printf("  %d events in %.1f s\n", cfg.events, (Now() - start) / 1000.0);
    for (const counters::Series* s : {&run.gdi, &run.held, &run.handles, &run.memory, &run.heap})
        std::printf("  %s\n", counters::Describe(counters::Steady(*s, warmUp), 0).c_str());
    const std::string replay = soak::Journal::Get().Header();
    auto grew = [&](const counters::Series& s) { return counters::GrowthOf(counters::Steady(s, warmUp), 0).delta(); };
    auto told = [&](const counters::Series& s) { return counters::Describe(counters::Steady(s, warmUp), 0); };
    EXPECT_LE(grew(run.gdi), 0) << told(run.gdi) << "\n  census: " << run.censusAtEnd << "\n" << replay;
    EXPECT_LE(grew(run.held), 0) << run.tallyAtEnd << "\n" << replay;
    EXPECT_LE(grew(run.handles), 0) << told(run.handles) << "\n" << replay;
    EXPECT_LE(counters::LateGrowth(counters::Steady(run.heap, warmUp), 0), 32 * 1024) << told(run.heap) << "\n" << replay;
    EXPECT_LE(counters::LateGrowth(counters::Steady(run.memory, warmUp), 0), 512 * 1024) << told(run.memory) << "\n" << replay;
}

}  // namespace
