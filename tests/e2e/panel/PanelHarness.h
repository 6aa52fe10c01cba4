// The settings panel seen from outside: started on a prepared store, touched, and its value
// slots read back from the screen against the panel's own bitmaps.
#pragma once

#include "DeviceTest.h"

#include <map>
#include <string>

namespace paneltest {

using devtest::Image;

// Touch points: the centre of each button's touch rectangle.
struct Point { int x, y; };
constexpr Point kBrightLeft{271, 68}, kBrightRight{359, 68};
constexpr Point kDimmerLeft{271, 118}, kDimmerRight{359, 118};
constexpr Point kFmLeft{271, 168}, kFmRight{359, 168};

// Value slots (44 x 16 at x 293) and button images.
constexpr int kSlotX = 293, kBrightY = 61, kDimmerY = 111, kFmY = 161;
struct ButtonArt { UINT id; int x, y, cx, cy; };
constexpr ButtonArt kBrightRightArt{204, 343, 51, 32, 35};
constexpr ButtonArt kCloseArt{195, 423, 2, 50, 27};

// Bitmaps taken from PanelCfg.exe's resources, so the expectation is what the program holds.
Image PanelBitmap(UINT id);
Image Part(const Image& src, int x, int y, int cx, int cy);
// Copies a cell the way a blit would; source pixels beyond the bitmap are left as they were.
void Blit(Image& dst, int dx, int dy, const Image& src, int sx, int sy, int cx, int cy);

Image BrightSlot(int value);   // what the brightness slot shows for the value
Image FmSlot(int value);       // "MUTE" for 875, else three digits and a point
Image DimmerSlot(int value);   // "ON" or "OFF"
Image ButtonImage(const ButtonArt& art, bool pressed);

Image ScreenArea(int x, int y, int cx, int cy);
// Polls until the screen area shows the image.
bool Shows(int x, int y, const Image& expected, DWORD timeoutMs = devtest::kHangMs);
inline bool SlotShows(int y, const Image& expected) { return Shows(kSlotX, y, expected); }

// A running panel with a host window listening to its broadcasts. The store holds exactly
// the given values while the panel starts (missing names are absent), and is put back after.
class Panel {
public:
    explicit Panel(const std::map<std::wstring, DWORD>& store);
    ~Panel();

    bool Started() const { return m_hwnd != nullptr; }
    HWND Hwnd() const { return m_hwnd; }
    devtest::Process& Proc() { return m_proc; }
    devtest::HostWindow& Host() { return m_host; }

    void Tap(Point pt) { devtest::Tap(m_hwnd, pt.x, pt.y); }
    // Taps and waits for the one broadcast the tap must send.
    bool Step(Point pt, int code, int arg);
    void Click(int id);  // BN_CLICKED of a template control, posted as the control would

    // Lets everything posted to the panel so far be handled: raises the brightness by one and
    // lowers it again, waiting for both broadcasts and the slot. False when anything else was
    // broadcast since the host log was last cleared; the log is cleared again.
    bool Settle(int bright);

private:
    devtest::StoreSnapshot m_saved;
    devtest::HostWindow m_host;
    devtest::Process m_proc;
    HWND m_hwnd = nullptr;
};

}  // namespace paneltest
