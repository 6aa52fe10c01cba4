// The viewer dialog in-process, for the touch and host-message tests: a real dialog from its
// template on the simulated display, a recording host window on the same thread (so every
// broadcast reaches it synchronously), the click sound recorded instead of played, the viewer's
// timers on a clock the test moves, and readers for the window's pixels.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DeviceTest.h"
#include "FakeTimers.h"
#include "Frame.h"
#include "Overlay.h"
#include "SoftKey.h"
#include "TvScreenDlg.h"
#include "ddsim.h"

namespace viewertest {

using Messages = std::vector<std::pair<int, int>>;

struct ClickCall {
    UINT_PTR resource;
    HMODULE module;
    DWORD flags;
};

// PlaySoundW calls of this executable since the last ClearClicks.
const std::vector<ClickCall>& Clicks();
void ClearClicks();

// The middle of an element's touch region (list rows: 0-5).
POINT At(int code);
constexpr POINT kPicture = {200, 250};
constexpr POINT kOutside = {10, 10};   // skin, not the picture nor a button

class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the viewer on a channel file of nTv TV and nRadio radio channels named "TV n" / "FM n".
    void Start(int nTv = 8, int nRadio = 8);
    // The viewer in a view as a completed switch leaves it, lock free and nothing settling or
    // pending, the host's record and the clicks cleared.
    void Enter(int nMode);
    void Free();

    CTvScreenDlg& Dlg() { return *m_dlg; }
    HWND Hwnd() const { return m_dlg->m_hWnd; }

    void Down(POINT p) { m_dlg->OnLButtonDown(0, CPoint(p.x, p.y)); }
    void Up(POINT p) { m_dlg->OnLButtonUp(0, CPoint(p.x, p.y)); }
    void Tap(POINT p) { Down(p); Up(p); }
    void Press(int code) { Tap(At(code)); }

    // What the viewer broadcast, in order; and clearing it.
    Messages Sent() const { return m_host->Codes(); }
    void ClearSent() { m_host->Clear(); }
    void Host(int code, int arg) { m_host->Broadcast(code, arg); }
    devtest::HostWindow& HostWnd() { return *m_host; }

    // The viewer's clock: its timers tick only as the test moves it on.
    devtest::FakeTimers& Clock() { return *m_clock; }
    // The period of the viewer's pending timer, 0 when it is not pending.
    UINT Period(UINT_PTR id) const { return m_clock->Period(Hwnd(), id); }
    // Moves the clock on until the busy lock is free: the milliseconds that took, -1 if not within limitMs.
    long long MsUntilFree(ULONGLONG limitMs = 10000);
    // True when the timer existed; it is gone afterwards.
    bool TakeTimer(UINT_PTR id) { return KillTimer(Hwnd(), id) != 0; }

    // Whether the element's place on the window shows the wanted band of its state strip.
    bool Shows(int code, int state);
    devtest::Image WindowPixels(int x, int y, int w, int h);
    std::wstring DlsText();
    RECT WindowRect();
    RECT DlsRect();   // in the dialog's client coordinates
    // Calls of the simulated display since the given log length, window placements left out.
    std::vector<ddsim::Call> CallsSince(size_t from);

    devtest::StoreSnapshot m_store;
    devtest::CardGuard m_card;
    std::unique_ptr<devtest::HostWindow> m_host;
    std::unique_ptr<CTvScreenDlg> m_dlg;
    std::unique_ptr<devtest::FakeTimers> m_clock;
};

bool RectIs(const RECT& rc, LONG l, LONG t, LONG r, LONG b);

}  // namespace viewertest
