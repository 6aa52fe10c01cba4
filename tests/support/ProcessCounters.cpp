#include "ProcessCounters.h"

#include <psapi.h>

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

std::string Describe(const Series& s, size_t warmUp)
{
    Growth g = GrowthOf(s, warmUp);
    std::ostringstream out;
    out << s.name << ": " << g.baseline << " -> " << g.last << " (peak " << g.peak << ", "
        << s.values.size() << " samples, first " << std::min(warmUp, s.values.size()) << " warm-up)";
    return out.str();
}

}  // namespace counters
