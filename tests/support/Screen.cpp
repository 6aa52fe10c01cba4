// Reading the screen and comparing areas with reference bitmaps.
#include "DeviceTest.h"

#include <cstdlib>
#include <cstring>

namespace devtest {

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

Image CaptureScreen(int x, int y, int width, int height)
{
    Image img;
    if (width <= 0 || height <= 0) return img;
    BITMAPINFO bi = TopDown32(width, height);
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && bits) {
        HGDIOBJ old = SelectObject(mem, dib);
        BitBlt(mem, 0, 0, width, height, screen, x, y, SRCCOPY);
        GdiFlush();
        const auto* px = static_cast<const uint32_t*>(bits);
        img.width = width;
        img.height = height;
        img.pixels.assign(px, px + static_cast<size_t>(width) * height);
        for (uint32_t& p : img.pixels) p &= 0x00FFFFFF;
        SelectObject(mem, old);
    }
    if (dib) DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return img;
}

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
    if (img.Empty()) return false;
    const size_t stride = (static_cast<size_t>(img.width) * 3 + 3) & ~static_cast<size_t>(3);
    const size_t dataSize = stride * img.height;
    BITMAPFILEHEADER fh = {};
    BITMAPINFOHEADER ih = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = static_cast<DWORD>(fh.bfOffBits + dataSize);
    ih.biSize = sizeof ih;
    ih.biWidth = img.width;
    ih.biHeight = img.height;  // bottom-up, the common form
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biCompression = BI_RGB;
    ih.biSizeImage = static_cast<DWORD>(dataSize);

    std::vector<uint8_t> file(fh.bfSize, 0);
    memcpy(file.data(), &fh, sizeof fh);
    memcpy(file.data() + sizeof fh, &ih, sizeof ih);
    for (int y = 0; y < img.height; ++y) {
        uint8_t* row = file.data() + fh.bfOffBits + stride * (img.height - 1 - y);
        for (int x = 0; x < img.width; ++x) {
            uint32_t p = img.At(x, y);
            row[x * 3 + 0] = static_cast<uint8_t>(p);
            row[x * 3 + 1] = static_cast<uint8_t>(p >> 8);
            row[x * 3 + 2] = static_cast<uint8_t>(p >> 16);
        }
    }
    return WriteFileBytes(path, file.data(), file.size());
}

Image FromBitmap(HBITMAP bmp)
{
    Image img;
    BITMAP info = {};
    if (!bmp || !GetObjectW(bmp, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0) {
        return img;
    }
    BITMAPINFO bi = TopDown32(info.bmWidth, info.bmHeight);
    std::vector<uint32_t> px(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    HDC dc = GetDC(nullptr);
    int rows = GetDIBits(dc, bmp, 0, info.bmHeight, px.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    if (rows != info.bmHeight) return img;
    for (uint32_t& p : px) p &= 0x00FFFFFF;
    img.width = info.bmWidth;
    img.height = info.bmHeight;
    img.pixels = std::move(px);
    return img;
}

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
