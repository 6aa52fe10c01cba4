// Harness for end-to-end tests of the device programs running under Wine.
//
// Everything here is plain Win32 and runs on the calling (test) thread. Tests
// play the device around the programs: they start programs, own a host window
// that takes part in the "HL_SOFTKEY" conversation, touch windows, look at the
// screen, dismiss message boxes and prepare the registry store and the card.
#pragma once

#include <windows.h>

#include "HangLimit.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#ifndef DEVICE_BIN_DIR
#error "DEVICE_BIN_DIR (wide string literal, folder of the deliverables) must be defined"
#endif

namespace devworld {
struct Shot;
}

namespace devtest {

// ---------------------------------------------------------------- paths

std::wstring BinDir();                               // the deliverables' folder (DEVICE_BIN_DIR)
std::wstring BinPath(const std::wstring& exeName);   // BinDir() + "\" + exeName
std::wstring ModuleDir();                            // folder of the running test executable
std::wstring WinePath(const std::string& unixPath);  // "/a/b" -> "Z:\a\b"

// --------------------------------------------------------------- waiting

ULONGLONG Now();  // milliseconds, monotonic

// The limit of every wait for an event: it catches a hang, never slowness.
constexpr DWORD kHangMs = devworld::kHangMs;

// Dispatches every message waiting for the calling thread (sent ones included).
void PumpMessages();

// Evaluates pred until it holds or timeoutMs passes, pumping the thread's
// messages in between so that windows of this thread (the host) keep answering
// synchronous broadcasts. Returns the last result of pred.
bool PollUntil(const std::function<bool()>& pred, DWORD timeoutMs = kHangMs, DWORD intervalMs = 10);

// ------------------------------------------------------------- processes

class Process {
public:
    Process() = default;
    Process(HANDLE process, DWORD pid) : m_h(process), m_pid(pid) {}
    ~Process();  // kills a process still running, so a failed test leaves nothing behind
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Valid() const { return m_h != nullptr; }
    DWORD Id() const { return m_pid; }
    HANDLE Handle() const { return m_h; }
    bool Running() const;
    bool WaitExit(DWORD timeoutMs = kHangMs);   // pumps messages while waiting; true once ended
    DWORD ExitCode() const;           // STILL_ACTIVE while running
    void Kill(UINT exitCode = 1);     // terminates and waits for the end
    void Detach();                    // forget the process, leave it running

private:
    HANDLE m_h = nullptr;
    DWORD m_pid = 0;
};

// Starts a program with C:\ as current directory, as on the device. A bare
// file name is taken from BinDir(). args is appended to the quoted path.
// Returns an invalid Process when CreateProcessW fails.
Process Start(const std::wstring& exe, const std::wstring& args = L"",
              const std::wstring& currentDir = L"C:\\");

// Top-level windows, optionally only those of one process (pid 0: any).
std::vector<HWND> TopLevelWindows(DWORD pid = 0);
HWND FindTopLevel(const std::wstring& title, DWORD pid = 0);
HWND WaitForWindow(const std::wstring& title, DWORD timeoutMs = kHangMs, DWORD pid = 0);
bool WaitGone(HWND hwnd, DWORD timeoutMs = kHangMs);  // until the window is destroyed

// ---------------------------------------------------------- window facts

std::wstring Title(HWND hwnd);
RECT WindowRect(HWND hwnd);    // screen coordinates
RECT ClientRect(HWND hwnd);    // client coordinates (left/top 0)
bool IsShown(HWND hwnd);       // WS_VISIBLE
bool IsTopmost(HWND hwnd);     // WS_EX_TOPMOST
bool IsAbove(HWND a, HWND b);  // a comes before b in the z-order
DWORD WindowPid(HWND hwnd);
bool SameRect(const RECT& r, int left, int top, int width, int height);

// ---------------------------------------------------------------- touches
// Posted, so they return at once; poll for the effect.

void TouchDown(HWND hwnd, int x, int y);  // WM_LBUTTONDOWN at a client point
void TouchUp(HWND hwnd, int x, int y);    // WM_LBUTTONUP
void Tap(HWND hwnd, int x, int y);        // down then up at the same point

// ----------------------------------------------------------- host window

struct HostMessage {
    int code;        // wParam
    int arg;         // lParam
    ULONGLONG time;  // Now() at arrival
};

constexpr int kAnyArg = INT32_MIN;

// A hidden top-level window that plays the host: it records every
// "HL_SOFTKEY" message it receives from others (its own broadcasts are not
// recorded) and can answer from inside its handler, as a real host does
// while the sender waits in SendMessageW. Create and use it on the test thread
// and keep that thread waiting through PollUntil / WaitFor / WaitExit.
class HostWindow {
public:
    using Answer = std::function<void(HostWindow& host, int code, int arg)>;

    HostWindow();
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND Hwnd() const { return m_hwnd; }
    UINT SoftKeyMessage() const { return m_msg; }

    // Called for each recorded message, after it is recorded, from inside the handler.
    void SetAnswer(Answer answer) { m_answer = std::move(answer); }

    std::vector<std::pair<int, int>> Codes() const;  // code/arg in arrival order
    const std::vector<HostMessage>& Messages() const { return m_log; }
    int Count(int code, int arg = kAnyArg) const;
    void Clear() { m_log.clear(); }
    // True once a matching message is in the record (one already there counts).
    bool WaitFor(int code, int arg, DWORD timeoutMs = kHangMs);

    LRESULT Broadcast(int code, int arg);              // SendMessageW(HWND_BROADCAST, ...)
    LRESULT Send(HWND target, int code, int arg);      // SendMessageW to one window
    // WM_COPYDATA with any bytes and any cbData (data may be null).
    LRESULT SendCopyData(HWND target, const void* data, DWORD cbData, ULONG_PTR dwData = 0);
    LRESULT SendText(HWND target, const std::wstring& text);  // zero-ended UTF-16

private:
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
    void OnSoftKey(int code, int arg);

    HWND m_hwnd = nullptr;
    UINT m_msg = 0;
    Answer m_answer;
    std::vector<HostMessage> m_log;
    std::vector<std::pair<int, int>> m_ownPending;  // own broadcasts on their way back to us
};

// Taps the window at a client point until the host records code/arg from others: a tap the
// program refused sends nothing and is repeated; the limit catches a hang.
bool TapSending(HostWindow& host, HWND hwnd, int x, int y, int code, int arg, DWORD timeoutMs = kHangMs);

// --------------------------------------------------------- screen pixels
// Pixels are 0x00RRGGBB. The screen has 16 bits per pixel, so a colour read
// back keeps only 5-6-5 bits; comparisons take a per-channel tolerance.

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // top-down rows
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool Empty() const { return pixels.empty(); }
};

constexpr int kScreenTolerance = 8;  // enough for 5-6-5 rounding

uint32_t ScreenPixel(int x, int y);
Image CaptureScreen(int x, int y, int width, int height);
Image Crop(const Image& img, int x, int y, int width, int height);
bool SameColor(uint32_t a, uint32_t b, int tolerance = kScreenTolerance);
// Pixels that differ beyond tolerance; a size mismatch counts every pixel of the larger.
int CountDifferent(const Image& a, const Image& b, int tolerance = kScreenTolerance);
int CountNot(const Image& img, uint32_t color, int tolerance = kScreenTolerance);
bool SaveBmp(const Image& img, const std::wstring& path);  // 24-bit BMP
Image LoadBmp(const std::wstring& path);                  // any BMP LoadImageW reads; empty on failure
Image FromBitmap(HBITMAP bmp);
bool SaveScreenshot(int x, int y, int width, int height, const std::wstring& path);
Image FromShot(devworld::Shot&& shot);

// ---------------------------------------------------------- message boxes
// A message box is a "#32770" window with the message text control (id 0xFFFF).

HWND FindMessageBox(DWORD pid = 0);
HWND WaitForMessageBox(DWORD timeoutMs = kHangMs, DWORD pid = 0);
std::wstring MessageBoxText(HWND box);
std::wstring MessageBoxCaption(HWND box);
bool PressButton(HWND box, int id);  // posts the button's click; false if the box has no such button
bool PressOk(HWND box);
bool Dismiss(HWND box);              // OK if present, else Cancel, else WM_CLOSE

// --------------------------------------------------------- registry store

extern const wchar_t* const kStoreKey;  // HKEY_CURRENT_USER "software\quelmar\systemData"

bool StoreKeyExists();
bool DeleteStoreKey();  // true also when it was absent
bool WriteDword(const std::wstring& name, DWORD value);
bool WriteRaw(const std::wstring& name, DWORD type, const void* data, DWORD size);
std::optional<DWORD> ReadDword(const std::wstring& name);  // only a 4-byte value
struct RawValue {
    DWORD type = 0;
    std::vector<BYTE> data;
};
std::optional<RawValue> ReadRaw(const std::wstring& name);
bool DeleteValue(const std::wstring& name);

// Saves the store key's values and puts exactly them back when it goes out of scope; snapshots
// nest, and the first one of a run first puts back what a run that died had saved.
class StoreSnapshot {
public:
    StoreSnapshot();
    ~StoreSnapshot();
    StoreSnapshot(const StoreSnapshot&) = delete;
    StoreSnapshot& operator=(const StoreSnapshot&) = delete;

private:
    int m_depth;
    bool m_existed = false;
    std::vector<std::pair<std::wstring, RawValue>> m_values;
};

// ------------------------------------------------------- card and files

std::wstring CardRoot();         // C:\기억 장치 카드
std::wstring ChannelFilePath();  // CardRoot() + \appdata\SERIALData.dat

constexpr size_t kChannelFileSize = 3204;
constexpr size_t kTvNamesOffset = 4;
constexpr size_t kRadioNamesOffset = 644;
constexpr size_t kNameSize = 32;

// Builds the 3204-byte channel file image. Names are 8-bit text (see ToAnsi);
// each is cut at 32 bytes and zero-padded, so a 32-byte name has no zero.
// Names beyond 20 TV / 80 radio are ignored; counts are written as given.
std::vector<uint8_t> ChannelImage(uint8_t tvCount, uint8_t radioCount,
                                  const std::vector<std::string>& tvNames,
                                  const std::vector<std::string>& radioNames);
bool WriteChannelFile(uint8_t tvCount, uint8_t radioCount,
                      const std::vector<std::string>& tvNames,
                      const std::vector<std::string>& radioNames);
bool WriteChannelBytes(const std::vector<uint8_t>& bytes);  // any length, creates appdata
std::string ToAnsi(const std::wstring& text, UINT codePage = 949);

bool FileExists(const std::wstring& path);  // file or folder
bool CreateFolders(const std::wstring& path);  // with parents
bool RemoveTree(const std::wstring& path);     // true also when absent
bool WriteFileBytes(const std::wstring& path, const void* data, size_t size);
std::optional<std::vector<uint8_t>> ReadFileBytes(const std::wstring& path);
bool CreateCardFolder();
bool RemoveCardFolder();

// Moves the card folder aside (the test starts without a card) and puts it
// back when it goes out of scope, so a test may create, fill and remove the
// card freely. Guards nest, and the first one of a run first puts back the card of a run that
// died under its guards.
class CardGuard {
public:
    CardGuard();
    ~CardGuard();
    CardGuard(const CardGuard&) = delete;
    CardGuard& operator=(const CardGuard&) = delete;

private:
    int m_depth;
    bool m_saved = false;
};

}  // namespace devtest
