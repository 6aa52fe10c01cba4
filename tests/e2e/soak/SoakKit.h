// The soak's world: a seeded source of abuse (touches, host codes, DAB texts, channel files),
// a host that answers, lags or stays silent, a journal of the latest events for the report of a
// failure, crash or hang, and the verdict on a series of resource counts.
//
// Every soak prints its seed; SOAK_SEED=<seed> replays it and SOAK_EVENTS=<n> sets its length.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DeviceTest.h"

namespace soak {

// ---------------------------------------------------------------- seed and size

struct Config {
    uint64_t seed = 0;
    int events = 0;
};

// The weights of the event kinds; SOAK_MIX="w1,w2,..." replaces them (to aim a run at one kind).
std::vector<int> Mix(const std::vector<int>& defaults);

// Reads SOAK_SEED and SOAK_EVENTS (defaults: a fresh seed, defaultEvents) and prints how to replay.
Config ReadConfig(const char* name, int defaultEvents);

class Rng {
public:
    explicit Rng(uint64_t seed) : m_gen(seed) {}
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_gen); }
    uint32_t U32() { return static_cast<uint32_t>(m_gen()); }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(m_gen) < p; }
    template <class T>
    const T& Pick(const std::vector<T>& v) { return v[static_cast<size_t>(Int(0, static_cast<int>(v.size()) - 1))]; }
    // An index drawn by weight.
    size_t Weighted(const std::vector<int>& weights);

private:
    std::mt19937_64 m_gen;
};

// ---------------------------------------------------------------- journal and watchdog

// The latest events, kept for a failure report; safe to read from the watchdog thread.
class Journal {
public:
    static Journal& Get();
    void Note(const std::string& line);
    std::string Recent(size_t n = 40) const;
    std::string Last() const;
    uint64_t Count() const { return m_count; }
    void SetHeader(const std::string& header);   // seed and replay line, printed with every report
    std::string Header() const;

private:
    mutable std::mutex m_lock;
    std::deque<std::string> m_lines;
    std::atomic<uint64_t> m_count{0};
    std::string m_header;
};

// Ends the process with a report when the soak's loop stops beating for hangMs (a handler of the
// program under test that never returns), and reports the unhandled exception of a crash.
class Watchdog {
public:
    explicit Watchdog(DWORD hangMs, std::function<std::string()> blame = nullptr);
    ~Watchdog();
    void Beat() { m_last = GetTickCount64(); }
    // Stretches the allowance for a step known to take long (a process start).
    void Allow(DWORD ms) { m_extra = ms; Beat(); }

private:
    void Run();
    std::atomic<ULONGLONG> m_last;
    std::atomic<DWORD> m_extra{0};
    std::atomic<bool> m_stop{false};
    DWORD m_hangMs;
    std::function<std::string()> m_blame;
    std::thread m_thread;
};

void InstallCrashReport();

// The longest events of a run: what the user would have felt as a frozen screen.
class Stalls {
public:
    void Add(ULONGLONG ms, const std::string& what);
    std::string Describe(size_t n = 5) const;
    ULONGLONG Longest() const { return m_top.empty() ? 0 : m_top.front().first; }

private:
    std::vector<std::pair<ULONGLONG, std::string>> m_top;   // longest first
};

// ---------------------------------------------------------------- abuse from outside

struct HostCode {
    int code = 0;
    int arg = 0;
};
// The host's codes to the viewer and the panel: known ones with sane and absurd arguments,
// unknown codes, out-of-range figures, progress and channel indexes.
HostCode RandomHostCode(Rng& rng);

struct CopyData {
    std::vector<BYTE> bytes;   // what lpData points at (exactly cbData bytes are meant)
    DWORD cbData = 0;
    bool nullData = false;
    ULONG_PTR dwData = 0;
    std::string what;
};
// DAB texts: plain, Korean, empty, long, without a terminating zero, odd sizes, no data.
CopyData RandomCopyData(Rng& rng);
// Every character the DAB texts are made of, in short lines, for the warm-up to show once.
std::vector<std::wstring> DabSampler();
const std::wstring& DabRepertoire();

struct ChannelWrite {
    enum Kind { Bytes, Delete, Folder, Locked };
    Kind kind = Bytes;
    std::vector<uint8_t> bytes;
    std::string what;
};
// Channel files: proper ones, short, long, corrupt counts, names without zero bytes, garbage,
// no file, a folder in its place, a file held open by someone else.
ChannelWrite RandomChannelWrite(Rng& rng);
// A proper file whose names hold every character the random names can make, for the warm-up.
ChannelWrite GlyphSampler();

// Puts a channel write in place on the card; a held file stays held until the next write.
class ChannelFile {
public:
    ~ChannelFile();
    bool Apply(const ChannelWrite& w);
    void Release();

private:
    HANDLE m_held = INVALID_HANDLE_VALUE;
};

// ---------------------------------------------------------------- the host

// Answers the programs' requests as the control service would: at once (from inside the
// broadcast, while the sender waits), late, or never, at random. It keeps the store values the
// host keeps ("Volume", "Bright", "FMTx", "Dimmer").
class RandomHost {
public:
    RandomHost(devtest::HostWindow& window, Rng& rng);
    // Sends the late answers whose time has come (call from the loop).
    void Tick();
    // Calm: pending answers dropped, every request answered at once. Wild: random again.
    void Calm();
    void Wild();
    void Send(const HostCode& c);   // broadcast, as the host does
    int answered = 0, late = 0, ignored = 0, requests = 0;

private:
    void OnRequest(int code, int arg);
    std::vector<HostCode> AnswersTo(int code, int arg);
    void StepStore(const wchar_t* name, int delta, int lo, int hi);

    devtest::HostWindow& m_window;
    Rng& m_rng;
    bool m_calm = false;
    int m_muted = 0;
    struct Due {
        ULONGLONG at;
        HostCode c;
    };
    std::vector<Due> m_due;
};

// ---------------------------------------------------------------- touches

struct Touch {
    int downX = 0, downY = 0, upX = 0, upY = 0;
    bool down = true, up = true;
};
// A touch for the viewer in its current view: on its buttons and rows, in the picture, on the
// halves and quarters, on the exact middle line, off the window, sliding off.
Touch RandomViewerTouch(Rng& rng, int viewMode, int panel, int clientW, int clientH);
// A touch for the panel: its arrows, between them, outside; never its close button.
Touch RandomPanelTouch(Rng& rng);
LPARAM PointParam(int x, int y);   // as the system packs a point: 16-bit signed halves

// ---------------------------------------------------------------- verdict

std::string Hex(uint64_t v);
std::string Narrow(const std::wstring& s);   // UTF-8

// Adds the time from its making to its end to a running total.
class TimeInto {
public:
    explicit TimeInto(ULONGLONG& total) : m_start(devtest::Now()), m_total(total) {}
    ~TimeInto() { m_total += devtest::Now() - m_start; }
    TimeInto(const TimeInto&) = delete;
    TimeInto& operator=(const TimeInto&) = delete;

private:
    ULONGLONG m_start;
    ULONGLONG& m_total;
};

// Empties the thread's queue as a dialog's modal loop does: every message is pre-translated.
template <class Dialog>
void PumpDialogThread(Dialog* dlg)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (dlg && dlg->m_hWnd && dlg->PreTranslateMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace soak
