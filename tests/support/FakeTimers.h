// Window timers under the test's hand. While a FakeTimers lives, the SetTimer and KillTimer
// calls this executable makes on the thread that made it are kept here instead of reaching the
// platform, and a timer's WM_TIMER comes only when the test moves the clock past its due time.
// Timers of other threads (the simulated display's frame clock) run on the real clock as before.
#pragma once

#include <windows.h>

#include "ImportPatch.h"

#include <functional>
#include <vector>

namespace devtest {

class FakeTimers {
public:
    struct Timer {
        HWND hwnd;
        UINT_PTR id;
        UINT periodMs;
        ULONGLONG due;     // on the clock below
        TIMERPROC proc;
        unsigned long long order;   // timers due together tick in the order they were set
    };

    FakeTimers();
    ~FakeTimers();
    FakeTimers(const FakeTimers&) = delete;
    FakeTimers& operator=(const FakeTimers&) = delete;

    // Milliseconds since this object was made; moves only through Advance and AdvanceUntil.
    ULONGLONG Now() const { return m_now; }
    // The period of the window's timer, 0 when it has none pending.
    UINT Period(HWND hwnd, UINT_PTR id) const;
    const std::vector<Timer>& Pending() const { return m_timers; }

    // Moves the clock on by ms; every tick that falls due meanwhile is delivered, in due order,
    // with the clock at its own due time.
    void Advance(ULONGLONG ms);
    // Moves the clock on tick by tick until pred holds, at most limitMs; the milliseconds that
    // took (0 when it held already), or -1.
    long long AdvanceUntil(const std::function<bool()>& pred, ULONGLONG limitMs);

    // For the fakes of SetTimer and KillTimer.
    UINT_PTR Set(HWND hwnd, UINT_PTR id, UINT periodMs, TIMERPROC proc);
    BOOL Kill(HWND hwnd, UINT_PTR id);
    DWORD Thread() const { return m_thread; }

private:
    // Delivers the earliest tick due at or before limit; false when there is none.
    bool TickBefore(ULONGLONG limit);

    DWORD m_thread;
    ULONGLONG m_now = 0;
    unsigned long long m_order = 0;
    std::vector<Timer> m_timers;
    ImportPatches m_patches;
};

}  // namespace devtest
