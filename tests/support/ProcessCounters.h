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

// Threads the process runs now; -1 when they cannot be listed.
int ThreadCount(DWORD pid);

struct Memory {
    bool ok = false;
    SIZE_T workingSet = 0;
    SIZE_T privateBytes = 0;   // committed private memory (the page-file charge)
};
Memory MemoryOf(HANDLE process);

// One quiet look at a process: several readings a little apart, and of those with the fewest
// threads the least handles and memory. The platform's sound plays on a thread of its own, and a
// click over a click briefly holds a second one (its handle and its stack), which is not a leak.
struct Look {
    int threads = 0;
    long long handles = 0;
    long long privateBytes = 0;
};
template <class Wait>
Look QuietLook(DWORD pid, HANDLE process, Wait wait, int readings = 5, DWORD gapMs = 60)
{
    Look best{-1, 0, 0};
    for (int i = 0; i < readings; ++i) {
        if (i) wait(gapMs);
        Look now{ThreadCount(pid), HandleCount(pid), static_cast<long long>(MemoryOf(process).privateBytes)};
        if (best.threads < 0 || now.threads < best.threads) {
            best = now;
        } else if (now.threads == best.threads) {
            if (now.handles < best.handles) best.handles = now.handles;
            if (now.privateBytes < best.privateBytes) best.privateBytes = now.privateBytes;
        }
    }
    return best;
}

// A series of samples taken while something runs, and the verdict on whether it grew. The first
// `warmUp` samples are the settling-in (caches, first drawing); growth is measured after them.
struct Series {
    std::string name;
    std::vector<long long> values;
    std::vector<int> tags;   // the thread count of each sample, where it matters
    void Add(long long v, int tag = 0)
    {
        values.push_back(v);
        tags.push_back(tag);
    }
};

// The samples taken with the thread count most samples had (the latest such count on a tie):
// like compared with like when the platform's sound thread comes and goes.
Series LikeWithLike(const Series& s);
// The samples after the warm-up, like with like.
Series Steady(const Series& s, size_t warmUp);

struct Growth {
    long long baseline = 0;   // least value right after the warm-up
    long long last = 0;       // least value of the final quarter
    long long peak = 0;
    long long delta() const { return last - baseline; }
};
// Least values, not single readings: a passing allocation raises one sample, a leak raises them all.
Growth GrowthOf(const Series& s, size_t warmUp);

// Growth over the second half of the samples after the warm-up: caches and allocator pages fill
// early and then stop, a leak keeps the pace it had.
long long LateGrowth(const Series& s, size_t warmUp);

std::string Describe(const Series& s, size_t warmUp);   // "name: 12 -> 12 (peak 14) over 40 samples"

}  // namespace counters
