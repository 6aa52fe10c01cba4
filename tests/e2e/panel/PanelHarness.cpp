#include "PanelHarness.h"

#include <gtest/gtest.h>

using namespace devtest;

namespace paneltest {

namespace {

constexpr int kSlotCx = 44, kSlotCy = 16, kCell = 12;

HMODULE PanelModule()
{
    static HMODULE module = LoadLibraryExW(BinPath(L"PanelCfg.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

Image Blank(int cx, int cy)
{
    Image img;
    img.width = cx;
    img.height = cy;
    img.pixels.assign(static_cast<size_t>(cx) * cy, 0);
    return img;
}

}  // namespace

Image PanelBitmap(UINT id)
{
    HBITMAP bmp = LoadBitmapW(PanelModule(), MAKEINTRESOURCEW(id));
    Image img = FromBitmap(bmp);
    if (bmp) DeleteObject(bmp);
    return img;
}

Image Part(const Image& src, int x, int y, int cx, int cy) { return Crop(src, x, y, cx, cy); }

void Blit(Image& dst, int dx, int dy, const Image& src, int sx, int sy, int cx, int cy)
{
    for (int row = 0; row < cy; ++row) {
        for (int col = 0; col < cx; ++col) {
            int x = sx + col, y = sy + row;
            if (x >= src.width || y >= src.height || dx + col >= dst.width || dy + row >= dst.height) continue;
            dst.pixels[static_cast<size_t>(dy + row) * dst.width + dx + col] = src.At(x, y);
        }
    }
}

Image BrightSlot(int value)
{
    static const Image empty = PanelBitmap(211), digits = PanelBitmap(135);
    Image slot = empty;
    if (value >= 0 && value <= 9) Blit(slot, 17, 0, digits, value * kCell, 0, kCell, kSlotCy);
    if (value == 10) {
        Blit(slot, 11, 0, digits, 1 * kCell, 0, kCell, kSlotCy);
        Blit(slot, 23, 0, digits, 0, 0, kCell, kSlotCy);
    }
    return slot;
}

Image FmSlot(int value)
{
    static const Image mute = PanelBitmap(192), digits = PanelBitmap(135);
    if (value == 875) return mute;
    Image slot = Blank(kSlotCx, kSlotCy);
    Blit(slot, 0, 0, digits, value / 100 * kCell, 0, kCell, kSlotCy);
    Blit(slot, 12, 0, digits, value % 100 / 10 * kCell, 0, kCell, kSlotCy);
    Blit(slot, 24, 0, digits, 120, 0, kCell, kSlotCy);
    Blit(slot, 32, 0, digits, value % 10 * kCell, 0, kCell, kSlotCy);
    return slot;
}

Image DimmerSlot(int value)
{
    static const Image onoff = PanelBitmap(183);
    return Part(onoff, 0, value * kSlotCy, kSlotCx, kSlotCy);
}

Image ButtonImage(const ButtonArt& art, bool pressed)
{
    return Part(PanelBitmap(art.id), 0, pressed ? art.cy : 0, art.cx, art.cy);
}

Image ScreenArea(int x, int y, int cx, int cy) { return CaptureScreen(x, y, cx, cy); }

bool Shows(int x, int y, const Image& expected, DWORD timeoutMs)
{
    if (expected.Empty()) return false;
    return PollUntil([&] { return CountDifferent(ScreenArea(x, y, expected.width, expected.height), expected) == 0; },
                     timeoutMs);
}

Panel::Panel(const std::map<std::wstring, DWORD>& store)
{
    DeleteStoreKey();
    for (const auto& value : store) WriteDword(value.first, value.second);
    m_proc = Start(L"PanelCfg.exe");
    m_hwnd = WaitForWindow(L"CONFIG", kHangMs, m_proc.Id());
}

Panel::~Panel()
{
    if (m_proc.Running()) m_proc.Kill();
}

bool Panel::Step(Point pt, int code, int arg)
{
    m_host.Clear();
    Tap(pt);
    return m_host.WaitFor(code, arg) && m_host.Messages().size() == 1;
}

void Panel::Click(int id)
{
    PostMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(m_hwnd, id)));
}

bool Panel::Settle(int bright)
{
    Click(1011);
    Click(1010);
    bool done = PollUntil([&] { return m_host.Messages().size() >= 2; });
    using Codes = std::vector<std::pair<int, int>>;
    done = done && m_host.Codes() == Codes{{42, bright == 10 ? 0 : bright + 1}, {42, bright}} &&
           SlotShows(kBrightY, BrightSlot(bright));
    m_host.Clear();
    return done;
}

}  // namespace paneltest
