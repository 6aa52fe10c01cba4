// What a running process holds, read from outside: its kernel handles (from the system's handle
// list) and its memory (working set and committed private bytes). Wine answers 0 from
// GetProcessHandleCount and GetGuiResources, so these take the long way round.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace counters {

// Handles the process owns now; -1 when the system list cannot be read.
int HandleCount(DWORD pid);

struct Memory {
    bool ok = false;
    SIZE_T workingSet = 0;
    SIZE_T privateBytes = 0;   // committed private memory (the page-file charge)
};
Memory MemoryOf(HANDLE process);

// A series of samples taken while something runs, and the verdict on whether it grew. The first
// `warmUp` samples are the settling-in (caches, first drawing); growth is measured after them.
struct Series {
    std::string name;
    std::vector<long long> values;
    void Add(long long v) { values.push_back(v); }
};

struct Growth {
    long long baseline = 0;   // least value right after the warm-up
    long long last = 0;       // least value of the final quarter
    long long peak = 0;
    long long delta() const { return last - baseline; }
};
// Least values, not single readings: a passing allocation raises one sample, a leak raises them all.
Growth GrowthOf(const Series& s, size_t warmUp);

std::string Describe(const Series& s, size_t warmUp);   // "name: 12 -> 12 (peak 14) over 40 samples"

}  // namespace counters
