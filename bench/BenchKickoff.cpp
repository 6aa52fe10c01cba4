// Kickoff: how soon the main menu starts, the card in or coming, and its memory while it waits;
// and how long DarkPane shows after its paint.
#include "Bench.h"

#include <cstdlib>

#include "DeviceTest.h"
#include "ProcessCounters.h"

using namespace devtest;

namespace bench {

namespace {

const wchar_t kMarkFile[] = L"C:\\bench-main-menu.txt";

void Pause(DWORD ms) { PollUntil([] { return false; }, ms, 5); }

// The card appears at once: made beside its place, then renamed into it.
bool InsertCard()
{
    const std::wstring staging = CardRoot() + L".bench-staging";
    RemoveTree(staging);
    if (!CreateFolders(staging + L"\\app")) return false;
    if (!CopyFileW((ModuleDir() + L"\\bench_marker.exe").c_str(), (staging + L"\\app\\main.exe").c_str(), FALSE))
        return false;
    return MoveFileW(staging.c_str(), CardRoot().c_str()) != FALSE;
}

double MarkedStart()
{
    auto bytes = ReadFileBytes(kMarkFile);
    if (!bytes || bytes->empty()) return -1;
    return std::atof(std::string(bytes->begin(), bytes->end()).c_str());
}

// From the card's folder appearing to the main menu's first instruction. Kickoff looks once a
// second, so the reaction spreads over a second plus a process start; the card comes at random
// moments of that second.
void Reaction(Table& table, const Options& options)
{
    Row row("Kickoff: card appears to main menu running");
    row.target = "~1 s poll + start";
    for (int i = 0; i < options.repeats; ++i) {
        CardGuard card;   // no card at the start
        DeleteFileW(kMarkFile);
        Process kickoff = Start(L"Kickoff.exe");
        Pause(static_cast<DWORD>(1200 + (i * 137) % 1000));
        const double t0 = Ms();
        if (!InsertCard()) break;
        double started = -1;
        PollUntil([&] { return (started = MarkedStart()) > 0; }, 5000, 5);
        if (started > 0) row.samples.push_back(started - t0);
        kickoff.WaitExit(3000);
        kickoff.Kill();
    }
    table.Add(row);
}

// The card already in: from Kickoff's start to the main menu's first instruction, two process
// starts and no wait between.
void AtOnce(Table& table, const Options& options)
{
    Row row("Kickoff: started with the card in to main menu running");
    row.target = "two starts, no poll";
    for (int i = 0; i < options.repeats; ++i) {
        CardGuard card;
        DeleteFileW(kMarkFile);
        if (!InsertCard()) break;
        const double t0 = Ms();
        Process kickoff = Start(L"Kickoff.exe");
        double started = -1;
        PollUntil([&] { return (started = MarkedStart()) > 0; }, kHangMs, 5);
        if (started > 0) row.samples.push_back(started - t0);
        kickoff.WaitExit(kHangMs);
    }
    table.Add(row);
}

// DarkPane: from its window showing to its window gone.
void DarkPaneLife(Table& table, const Options& options)
{
    Row row("DarkPane: shown to gone");
    row.target = "5 s after its paint";
    for (int i = 0; i < std::min(options.repeats, 3); ++i) {
        Process pane = Start(L"DarkPane.exe");
        HWND hwnd = nullptr;
        PollUntil([&] {
            for (HWND h : TopLevelWindows(pane.Id()))
                if (IsShown(h)) hwnd = h;
            return hwnd != nullptr;
        }, kHangMs, 5);
        if (!hwnd) break;
        const double shown = Ms();
        if (WaitGone(hwnd, kHangMs)) row.samples.push_back(Ms() - shown);
        pane.WaitExit(kHangMs);
    }
    table.Add(row);
}

// Kickoff waiting for a card that does not come: its memory and handles, sampled as it polls.
void Memory(Table& table, const Options& options)
{
    const DWORD total = options.longWait ? 600000 : 60000, every = options.longWait ? 20000 : 5000;
    CardGuard card;
    Process kickoff = Start(L"Kickoff.exe");
    Pause(1500);
    Row memory(std::string("Kickoff private bytes while waiting ") + (options.longWait ? "10 min" : "1 min"));
    memory.unit = "KB";
    Row workingSet("Kickoff working set while waiting");
    workingSet.unit = "KB";
    Row handles("Kickoff handles while waiting");
    handles.unit = "handles";
    for (DWORD t = 0; t <= total; t += every) {
        counters::Memory m = counters::MemoryOf(kickoff.Handle());
        if (!m.ok || !kickoff.Running()) break;
        memory.samples.push_back(static_cast<double>(m.privateBytes) / 1024.0);
        workingSet.samples.push_back(static_cast<double>(m.workingSet) / 1024.0);
        handles.samples.push_back(counters::HandleCount(kickoff.Id()));
        if (t < total) Pause(every);
    }
    if (memory.samples.size() >= 2) {
        char note[128];
        std::snprintf(note, sizeof note, "first %.0f KB, last %.0f KB: %+.0f KB over %.0f s",
                      memory.samples.front(), memory.samples.back(), memory.samples.back() - memory.samples.front(),
                      (memory.samples.size() - 1) * every / 1000.0);
        memory.note = note;
        memory.target = "flat";
        std::snprintf(note, sizeof note, "first %.0f, last %.0f", handles.samples.front(), handles.samples.back());
        handles.note = note;
    }
    table.Add(memory);
    table.Add(workingSet);
    table.Add(handles);
    kickoff.Kill();
}

}  // namespace

void KickoffWaits(Table& table, const Options& options)
{
    Options fewer = options;
    fewer.repeats = std::max(5, options.repeats / 2);
    AtOnce(table, fewer);
    Reaction(table, fewer);
    DarkPaneLife(table, options);
    Memory(table, options);
}

}  // namespace bench
