#include "ProcessCounters.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <sstream>

namespace counters {

namespace {

// The system's handle list (information class 16): one entry per open handle of every process.
struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};

struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
const ULONG kSystemHandleInformation = 16;
const LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004L);

}  // namespace

int HandleCount(DWORD pid)
{
    static auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<BYTE> buf(256 * 1024);
    ULONG needed = 0;
    LONG status;
    while ((status = query(kSystemHandleInformation, buf.data(), static_cast<ULONG>(buf.size()), &needed)) ==
           kInfoLengthMismatch)
        buf.resize(std::max<size_t>(buf.size() * 2, needed + 4096));
    if (status != 0) return -1;
    const auto* list = reinterpret_cast<const HandleList*>(buf.data());
    int n = 0;
    for (ULONG i = 0; i < list->count; ++i)
        if (list->entries[i].ownerPid == pid) ++n;
    return n;
}

int ThreadCount(DWORD pid)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int n = 0;
    for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry))
        if (entry.th32OwnerProcessID == pid) ++n;
    CloseHandle(snap);
    return n;
}

Memory MemoryOf(HANDLE process)
{
    Memory m;
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc))) return m;
    m.ok = true;
    m.workingSet = pmc.WorkingSetSize;
    // Wine leaves PrivateUsage at 0 and keeps the private commit in the page-file charge.
    m.privateBytes = pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
    return m;
}

Series LikeWithLike(const Series& s)
{
    std::vector<std::pair<int, int>> counts;   // tag, samples
    for (int tag : s.tags) {
        auto it = std::find_if(counts.begin(), counts.end(), [&](const auto& c) { return c.first == tag; });
        if (it == counts.end()) counts.emplace_back(tag, 1);
        else ++it->second;
    }
    int best = s.tags.empty() ? 0 : s.tags.back(), most = 0;
    for (const auto& c : counts)
        if (c.second > most || (c.second == most && c.first == s.tags.back())) {
            best = c.first;
            most = c.second;
        }
    Series out;
    out.name = s.name + (counts.size() > 1 ? " [" + std::to_string(best) + " threads]" : "");
    for (size_t i = 0; i < s.values.size(); ++i)
        if (i >= s.tags.size() || s.tags[i] == best) out.Add(s.values[i], best);
    return out;
}

Series Steady(const Series& s, size_t warmUp)
{
    Series after;
    after.name = s.name;
    for (size_t i = std::min(warmUp, s.values.size()); i < s.values.size(); ++i)
        after.Add(s.values[i], i < s.tags.size() ? s.tags[i] : 0);
    return LikeWithLike(after);
}

Growth GrowthOf(const Series& s, size_t warmUp)
{
    Growth g;
    if (s.values.empty()) return g;
    warmUp = std::min(warmUp, s.values.size() - 1);
    const auto& v = s.values;
    const size_t n = v.size();
    const size_t tailFrom = std::max(warmUp, n - std::max<size_t>(1, (n - warmUp) / 4));
    // Baseline: the least of the first quarter after the warm-up, so one busy sample cannot hide a leak.
    const size_t headTo = std::min(n, warmUp + std::max<size_t>(1, (n - warmUp) / 4));
    g.baseline = *std::min_element(v.begin() + warmUp, v.begin() + headTo);
    g.last = *std::min_element(v.begin() + tailFrom, v.end());
    g.peak = *std::max_element(v.begin() + warmUp, v.end());
    return g;
}

long long LateGrowth(const Series& s, size_t warmUp)
{
    if (s.values.size() < warmUp + 4) return GrowthOf(s, warmUp).delta();
    const size_t mid = warmUp + (s.values.size() - warmUp) / 2;
    Series late;
    late.values.assign(s.values.begin() + static_cast<long>(mid) - 1, s.values.end());
    return GrowthOf(late, 0).delta();
}

std::string Describe(const Series& s, size_t warmUp)
{
    Growth g = GrowthOf(s, warmUp);
    std::ostringstream out;
    out << s.name << ": " << g.baseline << " -> " << g.last << " (peak " << g.peak << ", second half "
        << (LateGrowth(s, warmUp) >= 0 ? "+" : "") << LateGrowth(s, warmUp) << "; " << s.values.size()
        << " samples, first " << std::min(warmUp, s.values.size()) << " warm-up)";
    return out.str();
}

}  // namespace counters
