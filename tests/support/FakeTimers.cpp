#include "FakeTimers.h"

#include "ImportPatch.h"

#include <algorithm>
#include <stdexcept>

namespace devtest {

namespace {

FakeTimers* g_timers = nullptr;
decltype(&::SetTimer) RealSetTimer;
decltype(&::KillTimer) RealKillTimer;

bool Ours(HWND hwnd) { return g_timers && hwnd && ::GetCurrentThreadId() == g_timers->Thread(); }

UINT_PTR WINAPI FakeSetTimer(HWND hwnd, UINT_PTR id, UINT periodMs, TIMERPROC proc)
{
    if (!Ours(hwnd)) return RealSetTimer(hwnd, id, periodMs, proc);
    return g_timers->Set(hwnd, id, periodMs, proc);
}

BOOL WINAPI FakeKillTimer(HWND hwnd, UINT_PTR id)
{
    if (!Ours(hwnd)) return RealKillTimer(hwnd, id);
    return g_timers->Kill(hwnd, id);
}

}  // namespace

FakeTimers::FakeTimers() : m_thread(::GetCurrentThreadId())
{
    if (g_timers) throw std::logic_error("one FakeTimers at a time");
    RealSetTimer = reinterpret_cast<decltype(&::SetTimer)>(
        m_patches.Replace("user32.dll", "SetTimer", reinterpret_cast<void*>(&FakeSetTimer)));
    RealKillTimer = reinterpret_cast<decltype(&::KillTimer)>(
        m_patches.Replace("user32.dll", "KillTimer", reinterpret_cast<void*>(&FakeKillTimer)));
    if (!RealSetTimer || !RealKillTimer) {
        m_patches.RestoreAll();
        throw std::runtime_error("the test executable imports no SetTimer or no KillTimer");
    }
    g_timers = this;
}

FakeTimers::~FakeTimers()
{
    g_timers = nullptr;
    m_patches.RestoreAll();
}

UINT FakeTimers::Period(HWND hwnd, UINT_PTR id) const
{
    for (const Timer& t : m_timers)
        if (t.hwnd == hwnd && t.id == id) return t.periodMs;
    return 0;
}

UINT_PTR FakeTimers::Set(HWND hwnd, UINT_PTR id, UINT periodMs, TIMERPROC proc)
{
    if (!::IsWindow(hwnd)) return 0;
    // As the platform does: a period below its least counts as the least.
    const UINT period = std::max<UINT>(periodMs, USER_TIMER_MINIMUM);
    Kill(hwnd, id);   // setting a timer again starts its period over
    m_timers.push_back({hwnd, id, period, m_now + period, proc, m_order++});
    return id ? id : 1;
}

BOOL FakeTimers::Kill(HWND hwnd, UINT_PTR id)
{
    auto it = std::find_if(m_timers.begin(), m_timers.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == m_timers.end()) return FALSE;
    m_timers.erase(it);
    return TRUE;
}

bool FakeTimers::TickBefore(ULONGLONG limit)
{
    // A destroyed window's timers go with it.
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(), [](const Timer& t) { return !::IsWindow(t.hwnd); }),
                   m_timers.end());
    auto next = std::min_element(m_timers.begin(), m_timers.end(), [](const Timer& a, const Timer& b) {
        return a.due != b.due ? a.due < b.due : a.order < b.order;
    });
    if (next == m_timers.end() || next->due > limit) return false;
    m_now = next->due;
    next->due += next->periodMs;
    next->order = m_order++;
    const Timer tick = *next;   // the handler may set or kill timers
    if (tick.proc)
        tick.proc(tick.hwnd, WM_TIMER, tick.id, static_cast<DWORD>(m_now));
    else
        ::SendMessageW(tick.hwnd, WM_TIMER, tick.id, 0);
    return true;
}

void FakeTimers::Advance(ULONGLONG ms)
{
    const ULONGLONG end = m_now + ms;
    while (TickBefore(end)) {
    }
    m_now = end;
}

long long FakeTimers::AdvanceUntil(const std::function<bool()>& pred, ULONGLONG limitMs)
{
    const ULONGLONG start = m_now;
    if (pred()) return 0;
    while (TickBefore(start + limitMs))
        if (pred()) return static_cast<long long>(m_now - start);
    m_now = start + limitMs;
    return -1;
}

}  // namespace devtest
