#include "Glass.h"

#include <cstdlib>
#include <utility>

namespace devworld {

namespace {

BITMAPINFO TopDown32(int width, int height)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    return bi;
}

}  // namespace

Shot CaptureWindow(HWND hwnd, int x, int y, int width, int height)
{
    Shot shot;
    if (width <= 0 || height <= 0) return shot;
    BITMAPINFO bi = TopDown32(width, height);
    void* bits = nullptr;
    HDC src = GetDC(hwnd);
    HDC mem = CreateCompatibleDC(src);
    HBITMAP dib = CreateDIBSection(src, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && bits) {
        HGDIOBJ old = SelectObject(mem, dib);
        BitBlt(mem, 0, 0, width, height, src, x, y, SRCCOPY);
        GdiFlush();
        const auto* px = static_cast<const uint32_t*>(bits);
        shot.width = width;
        shot.height = height;
        shot.pixels.assign(px, px + static_cast<size_t>(width) * height);
        for (uint32_t& p : shot.pixels) p &= 0x00FFFFFF;
        SelectObject(mem, old);
    }
    if (dib) DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(hwnd, src);
    return shot;
}

Shot Capture(int x, int y, int width, int height) { return CaptureWindow(nullptr, x, y, width, height); }

Shot FromBitmap(HBITMAP bmp)
{
    Shot shot;
    BITMAP info = {};
    if (!bmp || !GetObjectW(bmp, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) return shot;
    BITMAPINFO bi = TopDown32(info.bmWidth, info.bmHeight);
    std::vector<uint32_t> px(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    HDC dc = GetDC(nullptr);
    const int rows = GetDIBits(dc, bmp, 0, info.bmHeight, px.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    if (rows != info.bmHeight) return shot;
    for (uint32_t& p : px) p &= 0x00FFFFFF;
    shot.width = info.bmWidth;
    shot.height = info.bmHeight;
    shot.pixels = std::move(px);
    return shot;
}

Shot CaptureAll() { return Capture(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)); }

bool SaveBmp(const Shot& shot, const std::wstring& path)
{
    if (shot.Empty()) return false;
    const int stride = (shot.width * 3 + 3) & ~3;
    std::vector<BYTE> bits(static_cast<size_t>(stride) * shot.height, 0);
    for (int y = 0; y < shot.height; ++y) {
        BYTE* row = &bits[static_cast<size_t>(shot.height - 1 - y) * stride];   // bottom-up
        for (int x = 0; x < shot.width; ++x) {
            uint32_t p = shot.At(x, y);
            row[x * 3] = static_cast<BYTE>(p);
            row[x * 3 + 1] = static_cast<BYTE>(p >> 8);
            row[x * 3 + 2] = static_cast<BYTE>(p >> 16);
        }
    }
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = shot.width;
    info.biHeight = shot.height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(bits.size());
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    bool ok = WriteFile(f, &file, sizeof file, &n, nullptr) && WriteFile(f, &info, sizeof info, &n, nullptr) &&
              WriteFile(f, bits.data(), static_cast<DWORD>(bits.size()), &n, nullptr);
    CloseHandle(f);
    return ok;
}

bool Near(uint32_t a, uint32_t b, int tolerance)
{
    for (int shift = 0; shift <= 16; shift += 8) {
        int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(d) > tolerance) return false;
    }
    return true;
}

int Differences(const Shot& a, const Shot& b, int tolerance)
{
    if (a.width != b.width || a.height != b.height) {
        return (a.width * a.height > b.width * b.height) ? a.width * a.height : b.width * b.height;
    }
    int n = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) n += Near(a.pixels[i], b.pixels[i], tolerance) ? 0 : 1;
    return n;
}

Shot BitmapPart(const std::wstring& exePath, UINT bitmapId, int x, int y, int width, int height)
{
    Shot part;
    HMODULE module = LoadLibraryExW(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return part;
    HBITMAP bmp = static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, 0));
    const Shot all = FromBitmap(bmp);
    if (x >= 0 && y >= 0 && width > 0 && height > 0 && x + width <= all.width && y + height <= all.height) {
        part.width = width;
        part.height = height;
        for (int row = y; row < y + height; ++row)
            for (int col = x; col < x + width; ++col) part.pixels.push_back(all.At(col, row));
    }
    if (bmp) DeleteObject(bmp);
    FreeLibrary(module);
    return part;
}

bool Shows(int x, int y, const Shot& image, int allowedDifferences)
{
    return !image.Empty() && Differences(Capture(x, y, image.width, image.height), image) <= allowedDifferences;
}

namespace {

// Samples the bar centres along one row of a picture occupying r; at(x, y) reads screen pixels.
template <class Reader>
bool BarsAlong(const RECT& r, Reader at)
{
    static const uint32_t bars[] = {0xC0C0C0, 0xC0C000, 0x00C0C0, 0x00C000, 0xC000C0, 0xC00000, 0x0000C0};
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    int matches = 0;
    for (int i = 0; i < 7; ++i) matches += Near(at(r.left + w * (2 * i + 1) / 14, r.top + h / 3), bars[i]) ? 1 : 0;
    return matches >= 6;
}

}  // namespace

bool PictureIn(const RECT& r)
{
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    Shot row = Capture(r.left, r.top + h / 3, w, 1);
    if (row.Empty()) return false;
    return BarsAlong(r, [&](int x, int) { return row.At(x - r.left, 0); });
}

bool PictureIn(const Shot& screen, const RECT& r)
{
    if (r.left < 0 || r.top < 0 || r.right > screen.width || r.bottom > screen.height) return false;
    return BarsAlong(r, [&](int x, int y) { return screen.At(x, y); });
}

RECT FramePicture() { return RECT{45, 132, 365, 372}; }

RECT FullPicture(bool dlsLine) { return RECT{0, 0, 640, dlsLine ? 416 : 480}; }

RECT PipPicture(int quadrant)
{
    const int x = (quadrant == 1 || quadrant == 2) ? 320 : 0;
    const int y = (quadrant == 2 || quadrant == 3) ? 240 : 0;
    return RECT{x, y, x + 320, y + 240};
}

}  // namespace devworld
