// The device's control service: owns the receiver, the volume, the channel search, the display's
// brightness and dimmer and the FM transmitter, and talks to the viewer, the panel and the main
// menu over "HL_SOFTKEY".
//
// Requests are taken in the message handler, which applies what is pure state at once (the store
// values, the tuned channel) and queues everything that sends: answers, view commands, the DAB
// text, program starts. A short one-shot timer drains the queue once the sender's broadcast has
// returned, so no answer re-enters the command handler that asked for it. Draining a whole
// command at once also lets the service see what the command was: the viewer's way back from
// picture-in-picture sends 14/74 followed by 90/52 and switches itself, so that pair needs no
// 16/56, while a 14/74 with 102/2 from full screen does, once. On a slow machine the two halves
// of one command can fall into two batches; a back-to-window request right after a 16/56 is then
// taken as the rest of the same command.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "World.h"

namespace devhost {

using Request = std::pair<int, int>;   // code/argument

// What one drained batch of requests asks the service to send or do, in order.
struct Action {
    enum Kind { SEND, DLS_TEXT, START_SEARCH, MENU } kind;
    int code = 0;
    int arg = 0;
};

// What the answers depend on besides the requests.
struct PlanContext {
    int bandAfter = devworld::kBandTv;    // the band once the batch's tuning is done
    bool mutedAfter = false;
    bool windowJustAnswered = false;      // a 16/56 went out for the same command a moment ago
};

// The answer rules, apart from the window: given the requests of one batch (in arrival order),
// the actions. Tuning requests end in 16/61 (the picture back in the frame after the change
// notice hid it), 80/0 (the viewer's lock) and, in the radio band, the channel's DAB text.
std::vector<Action> PlanAnswers(const std::vector<Request>& batch, const PlanContext& context);

class HostService {
public:
    explicit HostService(HINSTANCE instance);
    ~HostService();
    bool Create();
    HWND Hwnd() const { return m_hwnd; }

    // Log lines go to this handle (the service's standard output when it has one).
    void SetLog(HANDLE log) { m_log = log; }

private:
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);

    LRESULT OnConsole(const COPYDATASTRUCT& cds);
    // In the handler: state changes only.
    void OnSoftKey(int code, int arg);
    bool Take(int code, int arg);
    void ApplyVolume(int delta);
    void ApplyPanel(int code, int arg);
    void Tune(int band, int index);
    void SelectBand(int band);

    // From the queue timer: everything that sends.
    void Drain();
    void Perform(const Action& a);
    void RunMenu(int item);
    void ShowViewer(int band);
    void StartSearch();
    void SearchTick();
    void EndSearch();
    void OwnClock();
    void SendDls(bool next);
    void SendDlsText(const std::wstring& text);

    void Broadcast(int code, int arg, const wchar_t* why = L"");
    HWND Viewer() const;
    HWND Panel() const;
    bool StartCardProgram(const wchar_t* exe);
    void PublishReceiver();
    void Log(const wchar_t* fmt, ...);
    void Tell(const char* bytes, int length);

    HINSTANCE m_instance;
    HWND m_hwnd = nullptr;
    UINT m_softKey = 0;
    HANDLE m_log = nullptr;
    HANDLE m_traffic = INVALID_HANDLE_VALUE;   // the console's mailslot

    // What the console asked for.
    bool m_silent = false;
    DWORD m_lagMs = 0;
    std::vector<std::wstring> m_consoleTexts;
    bool m_heldClock = false;  // a recording or a replay: its own sends wait for the console's tick
    bool m_due = false;        // the held clock has told the console once
    bool m_sending = false;    // inside its own broadcast of m_sendingCode/m_sendingArg
    int m_sendingCode = 0;
    int m_sendingArg = 0;

    std::vector<Request> m_queue;
    bool m_draining = false;
    ULONGLONG m_windowAnsweredAt = 0;

    devworld::ChannelList m_channels;
    int m_band = devworld::kBandTv;
    int m_tvIndex = 0;
    int m_radioIndex = 0;
    bool m_muted = false;

    bool m_searching = false;
    int m_searchTick = 0;
    int m_tvFound = -1;
    int m_radioFound = -1;

    int m_dlsLine = 0;
    int m_waitBand = 0;        // band the viewer is to show once its window exists
    int m_waitTicks = 0;
};

}  // namespace devhost
