// What is on the device's glass: screen pixels, the receiver's test picture, screenshots.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace devworld {

struct Shot {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;   // 0x00RRGGBB, top-down rows
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool Empty() const { return pixels.empty(); }
};

Shot Capture(int x, int y, int width, int height);
// Pixels of a window's client area read from its own DC (null: the screen).
Shot CaptureWindow(HWND hwnd, int x, int y, int width, int height);
Shot FromBitmap(HBITMAP bmp);   // empty when it cannot be read
Shot CaptureAll();   // the whole screen
bool SaveBmp(const Shot& shot, const std::wstring& path);

// Colours read back from a 16-bit screen keep 5-6-5 bits.
bool Near(uint32_t a, uint32_t b, int tolerance = 10);
// Pixels of a and b (same size) that differ beyond the tolerance; all of them on a size mismatch.
int Differences(const Shot& a, const Shot& b, int tolerance = 10);

// A part of a bitmap resource of a program file, as the screen would show it after a blit.
Shot BitmapPart(const std::wstring& exePath, UINT bitmapId, int x, int y, int width, int height);
// True when the screen area at (x, y) shows the image, give or take a few pixels.
bool Shows(int x, int y, const Shot& image, int allowedDifferences = 8);

// The receiver's test picture fills its upper two thirds with seven colour bars. True when at
// least six bar centres of a picture occupying the rectangle show their colours (a moving
// stripe may cover one).
bool PictureIn(const RECT& picture);
bool PictureIn(const Shot& screen, const RECT& picture);   // in a capture of the whole screen

// The picture rectangles of the viewer's views.
RECT FramePicture();                 // in the skin's TV frame: 320 x 240 at (45, 132)
RECT FullPicture(bool dlsLine);      // 640 x 480, or 640 x 416 above the DAB text line
RECT PipPicture(int quadrant);       // 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left

}  // namespace devworld
