// The scripted tour's tools: a listener on "HL_SOFTKEY", waits with deadlines, touches delivered
// to the window under the point, and numbered screenshots.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "Glass.h"
#include "World.h"

namespace tour {

struct Heard {
    int code;
    int arg;
    ULONGLONG time;
};

// A hidden top-level window that records every "HL_SOFTKEY" message it is sent.
class Listener {
public:
    Listener();
    ~Listener();
    const std::vector<Heard>& Log() const { return m_log; }
    bool HeardSince(size_t mark, int code, int minArg) const;   // code with arg >= minArg
    bool HeardExactly(size_t mark, int code, int arg) const;
    size_t Mark() const { return m_log.size(); }

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    HWND m_hwnd = nullptr;
    UINT m_msg = 0;
    std::vector<Heard> m_log;
};

void Pump();
// Polls pred every 20 ms, pumping messages, until it holds or the deadline passes.
bool Until(const std::function<bool()>& pred, DWORD timeoutMs);

// A touch at a screen point, delivered to the window under it.
void Touch(int x, int y);
// Touches until pred holds: the programs refuse touches for a moment after some view changes,
// so a touch that had no effect within a second is repeated, up to the deadline.
bool TouchUntil(int x, int y, const std::function<bool()>& pred, DWORD timeoutMs = devworld::kHangMs);
// Touches until the listener hears the command the touch must send (a refused touch sends
// nothing and is repeated; an accepted one is not), then waits for pred.
bool TouchSending(const Listener& heard, int x, int y, int code, int arg, const std::function<bool()>& pred,
                  DWORD timeoutMs = devworld::kHangMs);

HWND Viewer();
HWND Panel();
HWND Menu();
RECT WindowRectOf(HWND hwnd);   // empty when the window is missing or hidden
bool IsRect(const RECT& r, int left, int top, int right, int bottom);
std::wstring DlsText();          // the viewer's DAB text line
RECT DlsRect();

class Album {
public:
    explicit Album(std::wstring folder) : m_folder(std::move(folder)) {}
    bool Take(const wchar_t* name);   // NN_name.bmp
    // Takes the screenshot once the capture itself shows the receiver's picture at the rectangle.
    bool TakeWithPicture(const wchar_t* name, const RECT& picture);
    int Count() const { return m_n; }

private:
    std::wstring m_folder;
    int m_n = 0;
};

void Say(const wchar_t* fmt, ...);

// The tour proper; false at the first step that does not come about in time.
bool RunTour(Album& album, const std::wstring& gpsLog);

}  // namespace tour
