// Reading the screen and comparing areas with reference bitmaps.
#include "DeviceTest.h"
#include "Glass.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace devtest {

// The capture is the device simulation's own; its pixels move into the harness's image.
Image FromShot(devworld::Shot&& shot)
{
    Image img;
    img.width = shot.width;
    img.height = shot.height;
    img.pixels = std::move(shot.pixels);
    return img;
}

Image CaptureScreen(int x, int y, int width, int height) { return FromShot(devworld::Capture(x, y, width, height)); }

uint32_t ScreenPixel(int x, int y)
{
    Image img = CaptureScreen(x, y, 1, 1);
    return img.Empty() ? 0xFFFFFFFFu : img.pixels[0];
}

Image Crop(const Image& img, int x, int y, int width, int height)
{
    Image out;
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || x + width > img.width ||
        y + height > img.height) {
        return out;
    }
    out.width = width;
    out.height = height;
    out.pixels.reserve(static_cast<size_t>(width) * height);
    for (int row = y; row < y + height; ++row) {
        for (int col = x; col < x + width; ++col) out.pixels.push_back(img.At(col, row));
    }
    return out;
}

bool SameColor(uint32_t a, uint32_t b, int tolerance)
{
    for (int shift = 0; shift <= 16; shift += 8) {
        int ca = static_cast<int>((a >> shift) & 0xFF);
        int cb = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(ca - cb) > tolerance) return false;
    }
    return true;
}

int CountDifferent(const Image& a, const Image& b, int tolerance)
{
    if (a.width != b.width || a.height != b.height) {
        size_t big = a.pixels.size() > b.pixels.size() ? a.pixels.size() : b.pixels.size();
        return big > 0 ? static_cast<int>(big) : 1;
    }
    int n = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        if (!SameColor(a.pixels[i], b.pixels[i], tolerance)) ++n;
    }
    return n;
}

int CountNot(const Image& img, uint32_t color, int tolerance)
{
    int n = 0;
    for (uint32_t p : img.pixels) {
        if (!SameColor(p, color, tolerance)) ++n;
    }
    return n;
}

bool SaveBmp(const Image& img, const std::wstring& path)
{
    devworld::Shot shot;
    shot.width = img.width;
    shot.height = img.height;
    shot.pixels = img.pixels;
    return devworld::SaveBmp(shot, path);
}

Image FromBitmap(HBITMAP bmp) { return FromShot(devworld::FromBitmap(bmp)); }

Image LoadBmp(const std::wstring& path)
{
    auto bmp = static_cast<HBITMAP>(
        LoadImageW(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    Image img = FromBitmap(bmp);
    if (bmp) DeleteObject(bmp);
    return img;
}

bool SaveScreenshot(int x, int y, int width, int height, const std::wstring& path)
{
    return SaveBmp(CaptureScreen(x, y, width, height), path);
}

}  // namespace devtest
