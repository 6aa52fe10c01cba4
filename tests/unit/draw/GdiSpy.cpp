#include "GdiSpy.h"

#include <cstring>

namespace gdispy {

namespace {

Log g_log;
DWORD g_thread = 0;
bool g_recording = true;

bool Recording() { return g_recording && GetCurrentThreadId() == g_thread; }

// Replaces one entry of the main module's import table; returns what it held.
void* Patch(const char* dll, const char* name, void* replacement)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (_stricmp(reinterpret_cast<char*>(base + imp->Name), dll) != 0 || !imp->OriginalFirstThunk) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<char*>(byName->Name), name) != 0) continue;
            DWORD old = 0;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(void*), old, &old);
            return previous;
        }
    }
    return nullptr;
}

decltype(&BitBlt) g_bitBlt;
decltype(&ExtTextOutW) g_extTextOut;
decltype(&GetDC) g_getDC;
decltype(&ReleaseDC) g_releaseDC;
decltype(&LoadBitmapW) g_loadBitmap;
decltype(&CreateFontW) g_createFont;
decltype(&CreateSolidBrush) g_createSolidBrush;
decltype(&DeleteObject) g_deleteObject;
decltype(&DeleteDC) g_deleteDC;

BOOL WINAPI SpyBitBlt(HDC dst, int x, int y, int w, int h, HDC src, int xs, int ys, DWORD rop)
{
    if (Recording()) g_log.blits.push_back({dst, x, y, w, h, src, xs, ys});
    return g_bitBlt(dst, x, y, w, h, src, xs, ys, rop);
}

BOOL WINAPI SpyExtTextOut(HDC dc, int x, int y, UINT options, const RECT* rc, LPCWSTR s, UINT n, const INT* dx)
{
    if (Recording()) g_log.texts.push_back({x, y, options, rc ? *rc : RECT{}, std::wstring(s, n)});
    return g_extTextOut(dc, x, y, options, rc, s, n, dx);
}

HDC WINAPI SpyGetDC(HWND hwnd)
{
    HDC dc = g_getDC(hwnd);
    if (Recording()) g_log.windowDCs.push_back(dc);
    return dc;
}

int WINAPI SpyReleaseDC(HWND hwnd, HDC dc)
{
    if (Recording()) g_log.released.push_back({hwnd, dc, IsWindow(hwnd) != FALSE});
    return g_releaseDC(hwnd, dc);
}

template <class T>
T Made(T object)
{
    if (object && Recording()) g_log.liveObjects.insert(object);
    return object;
}

HBITMAP WINAPI SpyLoadBitmap(HINSTANCE inst, LPCWSTR name) { return Made(g_loadBitmap(inst, name)); }
HBRUSH WINAPI SpyCreateSolidBrush(COLORREF c) { return Made(g_createSolidBrush(c)); }
HFONT WINAPI SpyCreateFont(int h, int w, int e, int o, int wt, DWORD i, DWORD u, DWORD s, DWORD cs, DWORD op,
                           DWORD cp, DWORD q, DWORD pf, LPCWSTR face)
{
    return Made(g_createFont(h, w, e, o, wt, i, u, s, cs, op, cp, q, pf, face));
}

BOOL WINAPI SpyDeleteObject(HGDIOBJ object)
{
    BOOL ok = g_deleteObject(object);
    if (ok && Recording()) g_log.liveObjects.erase(object);
    return ok;
}

BOOL WINAPI SpyDeleteDC(HDC dc)
{
    if (Recording()) g_log.deletedDCs.insert(dc);
    return g_deleteDC(dc);
}

template <class F>
bool Hook(const char* dll, const char* name, F& original, F replacement)
{
    original = reinterpret_cast<F>(Patch(dll, name, reinterpret_cast<void*>(replacement)));
    return original != nullptr;
}

}  // namespace

bool Install()
{
    static bool installed = false;
    static bool ok = false;
    if (installed) return ok;
    installed = true;
    g_thread = GetCurrentThreadId();
    ok = Hook("gdi32.dll", "BitBlt", g_bitBlt, &SpyBitBlt) &&
         Hook("gdi32.dll", "ExtTextOutW", g_extTextOut, &SpyExtTextOut) &&
         Hook("user32.dll", "GetDC", g_getDC, &SpyGetDC) &&
         Hook("user32.dll", "ReleaseDC", g_releaseDC, &SpyReleaseDC) &&
         Hook("user32.dll", "LoadBitmapW", g_loadBitmap, &SpyLoadBitmap) &&
         Hook("gdi32.dll", "CreateFontW", g_createFont, &SpyCreateFont) &&
         Hook("gdi32.dll", "CreateSolidBrush", g_createSolidBrush, &SpyCreateSolidBrush) &&
         Hook("gdi32.dll", "DeleteObject", g_deleteObject, &SpyDeleteObject) &&
         Hook("gdi32.dll", "DeleteDC", g_deleteDC, &SpyDeleteDC);
    return ok;
}

Log& Current() { return g_log; }

Pause::Pause() : m_was(g_recording) { g_recording = false; }
Pause::~Pause() { g_recording = m_was; }

devtest::Image CaptureWindow(HWND hwnd, int x, int y, int w, int h)
{
    Pause pause;
    devtest::Image img;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC wnd = GetDC(hwnd);
    HDC mem = CreateCompatibleDC(wnd);
    HBITMAP dib = CreateDIBSection(wnd, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && bits) {
        HGDIOBJ old = SelectObject(mem, dib);
        BitBlt(mem, 0, 0, w, h, wnd, x, y, SRCCOPY);
        GdiFlush();
        const auto* px = static_cast<const uint32_t*>(bits);
        img.width = w;
        img.height = h;
        img.pixels.assign(px, px + static_cast<size_t>(w) * h);
        for (uint32_t& p : img.pixels) p &= 0x00FFFFFF;
        SelectObject(mem, old);
    }
    if (dib) DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(hwnd, wnd);
    return img;
}

devtest::Image ResourceImage(UINT id)
{
    Pause pause;
    HBITMAP bmp = LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
    devtest::Image img = devtest::FromBitmap(bmp);
    if (bmp) DeleteObject(bmp);
    return img;
}

}  // namespace gdispy
