// Shared by the overlay engine's tests: a real viewer dialog on the simulated display, a watcher
// that reads and closes the engine's modal reports, and readers for what the hardware was told.
#pragma once

#include <gtest/gtest.h>

#include "DeviceTest.h"
#include "Frame.h"
#include "GdiSpy.h"
#include "HostCodes.h"
#include "Overlay.h"
#include "TvScreenDlg.h"
#include "ddsim.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace overlaytest {

inline std::wstring Report(const wchar_t* message) { return std::wstring(L"DOVedu: ") + message + L"\r\n"; }

// Reads every message box of this process as it appears, notes what the simulated hardware
// still held at that moment, and presses OK: the engine's report is modal on the test thread.
class BoxWatcher {
public:
    struct Seen {
        std::wstring text;
        std::wstring caption;
        int liveObjects;   // simulation objects alive while the box was up
    };

    BoxWatcher() : m_thread([this] { Run(); }) {}
    ~BoxWatcher()
    {
        m_stop = true;
        m_thread.join();
    }
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    std::vector<Seen> Boxes() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }
    std::vector<std::wstring> Texts() const
    {
        std::vector<std::wstring> out;
        for (const Seen& s : Boxes()) out.push_back(s.text);
        return out;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_seen.clear();
    }

private:
    void Run()
    {
        const DWORD pid = GetCurrentProcessId();
        while (!m_stop) {
            HWND box = devtest::FindMessageBox(pid);
            if (!box || !IsWindowVisible(box)) {
                Sleep(10);
                continue;
            }
            Seen seen{devtest::MessageBoxText(box), devtest::MessageBoxCaption(box), ddsim::LiveObjects().total()};
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_seen.push_back(seen);
            }
            devtest::PressOk(box);
            for (const ULONGLONG end = GetTickCount64() + devtest::kHangMs; IsWindow(box) && GetTickCount64() < end;)
                Sleep(10);
        }
    }

    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Seen> m_seen;
    std::thread m_thread;
};

// The engine's whole conversation in order, one line per step: the simulated display's calls
// (object numbers left out) and what this executable asks of the platform on the test's thread:
// waits, window placements, timers and broadcasts. Waits and placements are not in the display's
// record; they are caught at this executable's imports.
class Trace {
public:
    static void Install()
    {
        static bool done = false;
        if (done) return;
        done = true;
        s_thread = GetCurrentThreadId();
        s_sleep = reinterpret_cast<decltype(&::Sleep)>(gdispy::ReplaceImport("kernel32.dll", "Sleep", reinterpret_cast<void*>(&OnSleep)));
        s_pos = reinterpret_cast<decltype(&::SetWindowPos)>(gdispy::ReplaceImport("user32.dll", "SetWindowPos", reinterpret_cast<void*>(&OnPos)));
        s_timer = reinterpret_cast<decltype(&::SetTimer)>(gdispy::ReplaceImport("user32.dll", "SetTimer", reinterpret_cast<void*>(&OnTimer)));
        s_send = reinterpret_cast<decltype(&::SendMessageW)>(gdispy::ReplaceImport("user32.dll", "SendMessageW", reinterpret_cast<void*>(&OnSend)));
    }
    static void Clear()
    {
        ddsim::ClearLog();
        s_own.clear();
    }
    static std::vector<std::string> Steps()
    {
        std::vector<std::string> out;
        size_t next = 0;
        auto flush = [&](unsigned seq) {
            for (; next < s_own.size() && s_own[next].first <= seq; ++next) out.push_back(s_own[next].second);
        };
        for (const ddsim::Call& c : ddsim::Log()) {
            flush(c.seq - 1);
            if (c.name != "WindowPos") out.push_back(Line(c));
        }
        flush(~0u);
        return out;
    }

private:
    static std::string Line(const ddsim::Call& c)
    {
        std::string s = c.name;
        if (c.name == "Release") s += " " + c.object.substr(0, c.object.find('#'));
        for (const auto& a : c.args)
            if (a.first != "result") s += " " + a.first + "=" + a.second.substr(0, a.second.find('#'));
        if (c.hr != S_OK && c.name != "Release" && c.name != "AddRef" && c.name != "ExtEscape") s += " FAILS";
        return s;
    }
    static void Note(const std::string& line)
    {
        if (GetCurrentThreadId() != s_thread) return;
        auto log = ddsim::Log();
        s_own.emplace_back(log.empty() ? 0 : log.back().seq, line);
    }
    static void WINAPI OnSleep(DWORD ms)
    {
        Note("Sleep " + std::to_string(ms));
        s_sleep(ms);
    }
    static BOOL WINAPI OnPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags)
    {
        const int id = GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD ? GetDlgCtrlID(hwnd) : 0;
        const std::string who = id ? "control " + std::to_string(id) : "main";
        const std::string z = after == HWND_TOPMOST ? "topmost" : after == HWND_TOP ? "top" : "other";
        char buf[96];
        snprintf(buf, sizeof buf, " %s %d,%d %dx%d flags=0x%X", z.c_str(), x, y, cx, cy, flags);
        Note("SetWindowPos " + who + buf);
        return s_pos(hwnd, after, x, y, cx, cy, flags);
    }
    static UINT_PTR WINAPI OnTimer(HWND hwnd, UINT_PTR id, UINT ms, TIMERPROC proc)
    {
        Note("SetTimer " + std::to_string(id) + " " + std::to_string(ms));
        return s_timer(hwnd, id, ms, proc);
    }
    static LRESULT WINAPI OnSend(HWND hwnd, UINT msg, WPARAM w, LPARAM l)
    {
        if (hwnd == HWND_BROADCAST) Note("Broadcast " + std::to_string(w) + "/" + std::to_string(l));
        return s_send(hwnd, msg, w, l);
    }
    static inline DWORD s_thread = 0;
    static inline std::vector<std::pair<unsigned, std::string>> s_own;   // after which display call
    static inline decltype(&::Sleep) s_sleep = nullptr;
    static inline decltype(&::SetWindowPos) s_pos = nullptr;
    static inline decltype(&::SetTimer) s_timer = nullptr;
    static inline decltype(&::SendMessageW) s_send = nullptr;
};

// One viewer dialog from its real template per suite (creating and destroying a dialog costs
// seconds under Wine). Each test starts like the viewer's start-up leaves things: the window
// parked, the members at their start values and a freshly Prepared engine with an empty log.
class OverlayTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SetCurrentDirectoryW(L"C:\\");
        ReleaseVideoObjects();
        ddsim::Reset();
        Trace::Install();
        devtest::CardGuard card;   // start-up creates the channel file on a card it finds
        s_dlg = new CTvScreenDlg();
        if (!s_dlg->Create(IDD_MAIN_DIALOG)) return;
        s_escapeDC = g_pEscapeDC;
    }

    static void TearDownTestSuite()
    {
        ReleaseVideoObjects();
        delete s_dlg;
        s_dlg = nullptr;
        ddsim::Reset();
    }

    void SetUp() override
    {
        ASSERT_NE(s_dlg, nullptr);
        ASSERT_NE(s_dlg->m_hWnd, nullptr);
        m_dlg = s_dlg;
        m_hwnd = s_dlg->m_hWnd;
        g_pEscapeDC = s_escapeDC;
        KillTimer(m_hwnd, TIMER_SETTLING);
        KillTimer(m_hwnd, TIMER_SWITCHED);
        CTvScreenDlg& d = *m_dlg;
        d.m_nViewMode = VIEW_HIDDEN;
        d.m_nPipPos = 0;
        d.m_nPipSide = 2;
        d.m_bDlsOn = 0;
        d.m_bListOpen = 0;
        d.m_nPlayingMode = BAND_TV;
        d.m_bSettling = 0;
        d.m_nTapCount = 0;
        d.m_nSearchProgress = 0;
        Prepared();
    }

    void TearDown() override
    {
        ReleaseVideoObjects();
        ddsim::Reset();
    }

    // Back to an engine that has never started, on a display with a fresh log.
    void Fresh()
    {
        ReleaseVideoObjects();
        ddsim::Reset();
        SetWindowPos(m_hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_SHOWWINDOW);
        Trace::Clear();
    }

    // A freshly Prepared engine with an empty log.
    void Prepared()
    {
        Fresh();
        ASSERT_EQ(InitPlay(m_dlg), 1);
        Trace::Clear();
    }

    CTvScreenDlg& Dlg() { return *m_dlg; }
    // The watcher of this test, emptied: a report no test expects is closed all the same.
    BoxWatcher& Boxes()
    {
        m_boxes.Clear();
        return m_boxes;
    }
    HWND Hwnd() const { return m_hwnd; }

    bool EngineEmpty() const
    {
        return !g_pDD && !g_pVPContainer && !g_pVideoPort && !g_pPrimary && !g_pOverlay;
    }

    // True when the timer exists; it is gone afterwards.
    bool TakeTimer(UINT_PTR id) { return KillTimer(m_hwnd, id) != 0; }

    RECT WindowRect() const
    {
        RECT rc;
        GetWindowRect(m_hwnd, &rc);
        return rc;
    }
    bool Visible() const { return IsWindowVisible(m_hwnd) != 0; }
    bool Topmost() const { return (GetWindowLongW(m_hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

    // The DLS edit control in the dialog's client coordinates.
    RECT DlsRect() const
    {
        RECT rc;
        HWND edit = GetDlgItem(m_hwnd, 1001);
        GetWindowRect(edit, &rc);
        MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&rc), 2);
        return rc;
    }

    static ddsim::Call Last(const char* name)
    {
        auto calls = ddsim::Calls(name);
        return calls.empty() ? ddsim::Call() : calls.back();
    }

    static inline CTvScreenDlg* s_dlg = nullptr;
    static inline CDC* s_escapeDC = nullptr;
    CTvScreenDlg* m_dlg = nullptr;
    HWND m_hwnd = nullptr;
    BoxWatcher m_boxes;
};

inline std::string RectText(LONG l, LONG t, LONG r, LONG b)
{
    return "(" + std::to_string(l) + "," + std::to_string(t) + "," + std::to_string(r) + "," + std::to_string(b) + ")";
}

inline bool SameRect(const RECT& rc, LONG l, LONG t, LONG r, LONG b)
{
    return rc.left == l && rc.top == t && rc.right == r && rc.bottom == b;
}


// Steps of the trace, as the device's engine must take them.
namespace step {
inline std::string Text(const RECT& rc) { return RectText(rc.left, rc.top, rc.right, rc.bottom); }
// Record sizes as the display driver of this build's word size wants them.
inline std::string Size(DWORD size) { return std::to_string(size); }
inline const std::string kStop = "StopVideo";
inline const std::string kHide = "UpdateOverlay src=null dest=Primary dst=null flags=0x00000200 fx=null";
inline const std::string kTarget = "SetTargetSurface surface=Overlay flags=0x00000001";
inline std::string Escape(int code)
{
    return "ExtEscape escape=16900 code=" + std::to_string(code) + " in=null outSize=0 out=buffer dc=window";
}
inline std::string Surface(int w, int h)
{
    return "CreateSurface size=" + Size(ddlayout::kSurfaceDesc2) + " flags=0x00001027 caps=0x08004098 width=" + std::to_string(w) + " height=" +
           std::to_string(h) + " backBuffers=2 format=32/0x40/16/F800:07E0:001F";
}
inline std::string Start(int w, int h)
{
    return "StartVideo size=" + Size(ddlayout::kVideoPortInfo) + " originX=0 originY=0 flags=0x00000044 crop=(0,0,720,270) prescaleWidth=" +
           std::to_string(w) + " prescaleHeight=" + std::to_string(h) + " input=0x59565955 vbiHeight=24 target=Overlay";
}
inline std::string Show(const RECT& rc)
{
    return "UpdateOverlay src=" + Text(rc) + " dest=Primary dst=" + Text(rc) + " flags=0x00004000 fx=" + Size(ddlayout::kOverlayFx);
}
inline std::string Place(const char* who, const char* z, int x, int y, int cx, int cy, UINT flags)
{
    char buf[128];
    snprintf(buf, sizeof buf, "SetWindowPos %s %s %d,%d %dx%d flags=0x%X", who, z, x, y, cx, cy, flags);
    return buf;
}
inline std::string Viewer(int x, int y, int cx, int cy, UINT flags) { return Place("main", "topmost", x, y, cx, cy, flags); }
inline const std::string kDlsShown = Place("control 1001", "top", 0, 416, 640, 64, 0);
inline const std::string kDlsHidden = Place("control 1001", "top", 0, 0, 0, 0, 0);
}  // namespace step
}  // namespace overlaytest

namespace overlaytest {

// Collects what the process writes to the debug output: the system raises a first-chance
// exception for every line, which a vectored handler sees before anyone else.
class DebugOutput {
public:
    DebugOutput()
    {
        Instance() = this;
        m_handler = AddVectoredExceptionHandler(1, Handler);
    }
    ~DebugOutput()
    {
        RemoveVectoredExceptionHandler(m_handler);
        Instance() = nullptr;
    }
    DebugOutput(const DebugOutput&) = delete;
    DebugOutput& operator=(const DebugOutput&) = delete;

    std::vector<std::wstring> Lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    static DebugOutput*& Instance()
    {
        static DebugOutput* instance = nullptr;
        return instance;
    }
    static LONG CALLBACK Handler(EXCEPTION_POINTERS* ep)
    {
        const EXCEPTION_RECORD* er = ep->ExceptionRecord;
        DebugOutput* self = Instance();
        if (!self || er->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
        std::wstring line;
        if (er->ExceptionCode == 0x4001000A) {   // wide text
            line = reinterpret_cast<const wchar_t*>(er->ExceptionInformation[1]);
        } else if (er->ExceptionCode == 0x40010006) {   // 8-bit text
            const char* text = reinterpret_cast<const char*>(er->ExceptionInformation[1]);
            for (; *text; ++text) line += static_cast<wchar_t>(static_cast<unsigned char>(*text));
        } else {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        std::lock_guard<std::mutex> lock(self->m_mutex);
        // A wide line may be announced again as 8-bit text; keep it once.
        if (er->ExceptionCode == 0x40010006 && !self->m_lines.empty() && self->m_lines.back() == line)
            return EXCEPTION_CONTINUE_SEARCH;
        self->m_lines.push_back(line);
        return EXCEPTION_CONTINUE_SEARCH;
    }

    PVOID m_handler = nullptr;
    mutable std::mutex m_mutex;
    std::vector<std::wstring> m_lines;
};

}  // namespace overlaytest

