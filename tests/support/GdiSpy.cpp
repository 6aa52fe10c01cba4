#include "GdiSpy.h"
#include "Glass.h"
#include "ImportPatch.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <sstream>

namespace gdispy {

namespace {

Log g_log;
Tally g_tally;
std::mutex g_tallyLock;   // deletions may come from any thread
DWORD g_thread = 0;
bool g_recording = true;
std::vector<std::string> g_watched;
std::vector<std::string> g_unhooked;

bool Recording() { return g_recording && GetCurrentThreadId() == g_thread; }

// Points every import slot of one function of the main module at a replacement; returns what
// the first slot held (null when the function is not imported).
void* Patch(const char* dll, const char* name, void* replacement)
{
    void* first = nullptr;
    devtest::ForEachImportSlot(dll, name, [&](void** slot) {
        void* previous = devtest::ExchangeSlot(slot, replacement);
        if (!first) first = previous;
    });
    return first;
}

// ---- the tally ----------------------------------------------------------------------------

template <class K>
void Hold(std::map<K, const char*>& held, K key, const char* maker)
{
    if (!key || !Recording()) return;
    std::lock_guard<std::mutex> lock(g_tallyLock);
    held[key] = maker;
}

template <class K, class V>
void Drop(std::map<K, V>& held, K key)
{
    std::lock_guard<std::mutex> lock(g_tallyLock);
    held.erase(key);
}

// ---- the drawing calls of the detailed log ------------------------------------------------

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
    if (Recording()) {
        g_log.windowDCs.push_back(dc);
        if (dc) {
            std::lock_guard<std::mutex> lock(g_tallyLock);
            g_tally.windowDCs[dc] = hwnd;
        }
    }
    return dc;
}

int WINAPI SpyReleaseDC(HWND hwnd, HDC dc)
{
    if (Recording()) g_log.released.push_back({hwnd, dc, IsWindow(hwnd) != FALSE});
    Drop(g_tally.windowDCs, dc);
    return g_releaseDC(hwnd, dc);
}

template <class T>
T Made(T object, const char* maker)
{
    if (object && Recording()) g_log.liveObjects.insert(object);
    Hold<HGDIOBJ>(g_tally.gdi, object, maker);
    return object;
}

// The further makers feed the tally only; the detailed log keeps to bitmaps, fonts and brushes.
template <class T>
T Tallied(T object, const char* maker)
{
    Hold<HGDIOBJ>(g_tally.gdi, object, maker);
    return object;
}

HBITMAP WINAPI SpyLoadBitmap(HINSTANCE inst, LPCWSTR name) { return Made(g_loadBitmap(inst, name), "LoadBitmapW"); }
HBRUSH WINAPI SpyCreateSolidBrush(COLORREF c) { return Made(g_createSolidBrush(c), "CreateSolidBrush"); }
HFONT WINAPI SpyCreateFont(int h, int w, int e, int o, int wt, DWORD i, DWORD u, DWORD s, DWORD cs, DWORD op,
                           DWORD cp, DWORD q, DWORD pf, LPCWSTR face)
{
    return Made(g_createFont(h, w, e, o, wt, i, u, s, cs, op, cp, q, pf, face), "CreateFontW");
}

BOOL WINAPI SpyDeleteObject(HGDIOBJ object)
{
    BOOL ok = g_deleteObject(object);
    if (ok && Recording()) g_log.liveObjects.erase(object);
    if (ok) Drop(g_tally.gdi, object);
    return ok;
}

BOOL WINAPI SpyDeleteDC(HDC dc)
{
    if (Recording()) g_log.deletedDCs.insert(dc);
    Drop<HGDIOBJ>(g_tally.gdi, dc);
    return g_deleteDC(dc);
}

// ---- further makers, for the tally only ---------------------------------------------------

decltype(&CreateCompatibleDC) g_createCompatibleDC;
decltype(&CreateDCW) g_createDC;
decltype(&CreateCompatibleBitmap) g_createCompatibleBitmap;
decltype(&CreateBitmap) g_createBitmap;
decltype(&CreateDIBSection) g_createDIBSection;
decltype(&CreatePen) g_createPen;
decltype(&CreateBrushIndirect) g_createBrushIndirect;
decltype(&CreatePatternBrush) g_createPatternBrush;
decltype(&CreateFontIndirectW) g_createFontIndirect;
decltype(&CreateRectRgn) g_createRectRgn;
decltype(&GetWindowDC) g_getWindowDC;
decltype(&LoadImageW) g_loadImage;
decltype(&CreateFileW) g_createFile;
decltype(&CreateEventW) g_createEvent;
decltype(&CreateMutexW) g_createMutex;
decltype(&CreateThread) g_createThread;
decltype(&OpenProcess) g_openProcess;
decltype(&CreateProcessW) g_createProcess;
decltype(&CloseHandle) g_closeHandle;
decltype(&RegCreateKeyExW) g_regCreateKeyEx;
decltype(&RegOpenKeyExW) g_regOpenKeyEx;
decltype(&RegCloseKey) g_regCloseKey;

HDC WINAPI SpyCreateCompatibleDC(HDC dc) { return Tallied(g_createCompatibleDC(dc), "CreateCompatibleDC"); }
HDC WINAPI SpyCreateDC(LPCWSTR d, LPCWSTR n, LPCWSTR o, const DEVMODEW* m) { return Tallied(g_createDC(d, n, o, m), "CreateDCW"); }
HBITMAP WINAPI SpyCreateCompatibleBitmap(HDC dc, int w, int h) { return Tallied(g_createCompatibleBitmap(dc, w, h), "CreateCompatibleBitmap"); }
HBITMAP WINAPI SpyCreateBitmap(int w, int h, UINT p, UINT b, const void* bits) { return Tallied(g_createBitmap(w, h, p, b, bits), "CreateBitmap"); }
HBITMAP WINAPI SpyCreateDIBSection(HDC dc, const BITMAPINFO* bi, UINT u, void** bits, HANDLE s, DWORD o)
{
    return Tallied(g_createDIBSection(dc, bi, u, bits, s, o), "CreateDIBSection");
}
HPEN WINAPI SpyCreatePen(int s, int w, COLORREF c) { return Tallied(g_createPen(s, w, c), "CreatePen"); }
HBRUSH WINAPI SpyCreateBrushIndirect(const LOGBRUSH* lb) { return Tallied(g_createBrushIndirect(lb), "CreateBrushIndirect"); }
HBRUSH WINAPI SpyCreatePatternBrush(HBITMAP b) { return Tallied(g_createPatternBrush(b), "CreatePatternBrush"); }
HFONT WINAPI SpyCreateFontIndirect(const LOGFONTW* lf) { return Tallied(g_createFontIndirect(lf), "CreateFontIndirectW"); }
HRGN WINAPI SpyCreateRectRgn(int l, int t, int r, int b) { return Tallied(g_createRectRgn(l, t, r, b), "CreateRectRgn"); }

HDC WINAPI SpyGetWindowDC(HWND hwnd)
{
    HDC dc = g_getWindowDC(hwnd);
    if (dc && Recording()) {
        std::lock_guard<std::mutex> lock(g_tallyLock);
        g_tally.windowDCs[dc] = hwnd;
    }
    return dc;
}

// Icons and cursors loaded shared need no release; bitmaps always do.
HANDLE WINAPI SpyLoadImage(HINSTANCE inst, LPCWSTR name, UINT type, int cx, int cy, UINT flags)
{
    HANDLE h = g_loadImage(inst, name, type, cx, cy, flags);
    if (type == IMAGE_BITMAP) Hold<HGDIOBJ>(g_tally.gdi, h, "LoadImageW");
    return h;
}

HANDLE Kernel(HANDLE h, const char* maker)
{
    if (h != INVALID_HANDLE_VALUE) Hold(g_tally.handles, h, maker);
    return h;
}

HANDLE WINAPI SpyCreateFile(LPCWSTR n, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD c, DWORD f, HANDLE t)
{
    return Kernel(g_createFile(n, a, s, sa, c, f, t), "CreateFileW");
}
HANDLE WINAPI SpyCreateEvent(LPSECURITY_ATTRIBUTES sa, BOOL m, BOOL i, LPCWSTR n) { return Kernel(g_createEvent(sa, m, i, n), "CreateEventW"); }
HANDLE WINAPI SpyCreateMutex(LPSECURITY_ATTRIBUTES sa, BOOL o, LPCWSTR n) { return Kernel(g_createMutex(sa, o, n), "CreateMutexW"); }
HANDLE WINAPI SpyCreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T st, LPTHREAD_START_ROUTINE f, LPVOID p, DWORD fl, LPDWORD id)
{
    return Kernel(g_createThread(sa, st, f, p, fl, id), "CreateThread");
}
HANDLE WINAPI SpyOpenProcess(DWORD a, BOOL i, DWORD pid) { return Kernel(g_openProcess(a, i, pid), "OpenProcess"); }

BOOL WINAPI SpyCreateProcess(LPCWSTR app, LPWSTR cmd, LPSECURITY_ATTRIBUTES pa, LPSECURITY_ATTRIBUTES ta, BOOL inherit,
                             DWORD flags, LPVOID env, LPCWSTR dir, LPSTARTUPINFOW si, LPPROCESS_INFORMATION pi)
{
    BOOL ok = g_createProcess(app, cmd, pa, ta, inherit, flags, env, dir, si, pi);
    if (ok && pi) {
        Kernel(pi->hProcess, "CreateProcessW");
        Kernel(pi->hThread, "CreateProcessW");
    }
    return ok;
}

BOOL WINAPI SpyCloseHandle(HANDLE h)
{
    Drop(g_tally.handles, h);
    return g_closeHandle(h);
}

LSTATUS WINAPI SpyRegCreateKeyEx(HKEY k, LPCWSTR sub, DWORD r, LPWSTR cls, DWORD o, REGSAM sam,
                                 LPSECURITY_ATTRIBUTES sa, PHKEY out, LPDWORD disp)
{
    LSTATUS st = g_regCreateKeyEx(k, sub, r, cls, o, sam, sa, out, disp);
    if (st == ERROR_SUCCESS && out) Hold(g_tally.keys, *out, "RegCreateKeyExW");
    return st;
}

LSTATUS WINAPI SpyRegOpenKeyEx(HKEY k, LPCWSTR sub, DWORD o, REGSAM sam, PHKEY out)
{
    LSTATUS st = g_regOpenKeyEx(k, sub, o, sam, out);
    if (st == ERROR_SUCCESS && out) Hold(g_tally.keys, *out, "RegOpenKeyExW");
    return st;
}

LSTATUS WINAPI SpyRegCloseKey(HKEY k)
{
    Drop(g_tally.keys, k);
    return g_regCloseKey(k);
}

// ---- the C heap ---------------------------------------------------------------------------

std::atomic<long long> g_heapBytes{0};
std::atomic<long long> g_heapBlocks{0};
using Malloc = void*(__cdecl*)(size_t);
using Calloc = void*(__cdecl*)(size_t, size_t);
using Realloc = void*(__cdecl*)(void*, size_t);
using Free = void(__cdecl*)(void*);
using MSize = size_t(__cdecl*)(void*);
Malloc g_malloc;
Calloc g_calloc;
Realloc g_realloc;
Free g_free;
MSize g_msize;

long long SizeOf(void* p) { return p && g_msize ? static_cast<long long>(g_msize(p)) : 0; }

void* __cdecl SpyMalloc(size_t n)
{
    void* p = g_malloc(n);
    if (p) {
        g_heapBytes += SizeOf(p);
        ++g_heapBlocks;
    }
    return p;
}

void* __cdecl SpyCalloc(size_t n, size_t size)
{
    void* p = g_calloc(n, size);
    if (p) {
        g_heapBytes += SizeOf(p);
        ++g_heapBlocks;
    }
    return p;
}

void* __cdecl SpyRealloc(void* old, size_t n)
{
    const long long before = SizeOf(old);
    void* p = g_realloc(old, n);
    if (p || n == 0) {
        g_heapBytes += SizeOf(p) - before;
        if (!old && p) ++g_heapBlocks;
        if (old && !p) --g_heapBlocks;
    }
    return p;
}

void __cdecl SpyFree(void* p)
{
    if (p) {
        g_heapBytes -= SizeOf(p);
        --g_heapBlocks;
    }
    g_free(p);
}

template <class F>
bool Hook(const char* dll, const char* name, F& original, F replacement)
{
    original = reinterpret_cast<F>(Patch(dll, name, reinterpret_cast<void*>(replacement)));
    if (original) g_watched.push_back(name);
    return original != nullptr;
}

// A maker this executable does not import is a maker its code cannot call.
template <class F>
void Watch(const char* dll, const char* name, F& original, F replacement)
{
    Hook(dll, name, original, replacement);
}

void WatchTheRest()
{
    // The size of a block comes from the same runtime, so frees subtract what mallocs added.
    // The originals are known before the slots change: another thread may allocate meanwhile.
    HMODULE crt = GetModuleHandleW(L"msvcrt.dll");
    auto fn = [crt](const char* name) { return reinterpret_cast<void*>(GetProcAddress(crt, name)); };
    g_msize = reinterpret_cast<MSize>(fn("_msize"));
    g_malloc = reinterpret_cast<Malloc>(fn("malloc"));
    g_calloc = reinterpret_cast<Calloc>(fn("calloc"));
    g_realloc = reinterpret_cast<Realloc>(fn("realloc"));
    g_free = reinterpret_cast<Free>(fn("free"));
    if (g_msize && g_malloc && g_calloc && g_realloc && g_free) {
        Watch("msvcrt.dll", "malloc", g_malloc, &SpyMalloc);
        Watch("msvcrt.dll", "calloc", g_calloc, &SpyCalloc);
        Watch("msvcrt.dll", "realloc", g_realloc, &SpyRealloc);
        Watch("msvcrt.dll", "free", g_free, &SpyFree);
    }
    Watch("gdi32.dll", "CreateCompatibleDC", g_createCompatibleDC, &SpyCreateCompatibleDC);
    Watch("gdi32.dll", "CreateDCW", g_createDC, &SpyCreateDC);
    Watch("gdi32.dll", "CreateCompatibleBitmap", g_createCompatibleBitmap, &SpyCreateCompatibleBitmap);
    Watch("gdi32.dll", "CreateBitmap", g_createBitmap, &SpyCreateBitmap);
    Watch("gdi32.dll", "CreateDIBSection", g_createDIBSection, &SpyCreateDIBSection);
    Watch("gdi32.dll", "CreatePen", g_createPen, &SpyCreatePen);
    Watch("gdi32.dll", "CreateBrushIndirect", g_createBrushIndirect, &SpyCreateBrushIndirect);
    Watch("gdi32.dll", "CreatePatternBrush", g_createPatternBrush, &SpyCreatePatternBrush);
    Watch("gdi32.dll", "CreateFontIndirectW", g_createFontIndirect, &SpyCreateFontIndirect);
    Watch("gdi32.dll", "CreateRectRgn", g_createRectRgn, &SpyCreateRectRgn);
    Watch("user32.dll", "GetWindowDC", g_getWindowDC, &SpyGetWindowDC);
    Watch("user32.dll", "LoadImageW", g_loadImage, &SpyLoadImage);
    Watch("kernel32.dll", "CreateFileW", g_createFile, &SpyCreateFile);
    Watch("kernel32.dll", "CreateEventW", g_createEvent, &SpyCreateEvent);
    Watch("kernel32.dll", "CreateMutexW", g_createMutex, &SpyCreateMutex);
    Watch("kernel32.dll", "CreateThread", g_createThread, &SpyCreateThread);
    Watch("kernel32.dll", "OpenProcess", g_openProcess, &SpyOpenProcess);
    Watch("kernel32.dll", "CreateProcessW", g_createProcess, &SpyCreateProcess);
    Watch("kernel32.dll", "CloseHandle", g_closeHandle, &SpyCloseHandle);
    Watch("advapi32.dll", "RegCreateKeyExW", g_regCreateKeyEx, &SpyRegCreateKeyEx);
    Watch("advapi32.dll", "RegOpenKeyExW", g_regOpenKeyEx, &SpyRegOpenKeyEx);
    Watch("advapi32.dll", "RegCloseKey", g_regCloseKey, &SpyRegCloseKey);
}

// Makers whose release the spy cannot see would make the tally lie: each one must be paired.
void CheckPairs()
{
    auto has = [](const char* n) {
        for (const std::string& w : g_watched)
            if (w == n) return true;
        return false;
    };
    const std::pair<const char*, const char*> pairs[] = {
        {"CreateFileW", "CloseHandle"}, {"CreateEventW", "CloseHandle"}, {"CreateMutexW", "CloseHandle"},
        {"CreateThread", "CloseHandle"}, {"OpenProcess", "CloseHandle"}, {"CreateProcessW", "CloseHandle"},
        {"RegCreateKeyExW", "RegCloseKey"}, {"RegOpenKeyExW", "RegCloseKey"}, {"GetWindowDC", "ReleaseDC"},
        {"malloc", "free"}, {"calloc", "free"}, {"realloc", "free"},
    };
    for (const auto& p : pairs)
        if (has(p.first) && !has(p.second)) g_unhooked.push_back(p.second);
}

}  // namespace

std::string Tally::Describe() const
{
    std::map<std::string, int> by;
    for (const auto& o : gdi) by[o.second]++;
    for (const auto& h : handles) by[h.second]++;
    for (const auto& k : keys) by[k.second]++;
    if (!windowDCs.empty()) by["GetDC"] += static_cast<int>(windowDCs.size());
    std::ostringstream out;
    for (const auto& b : by) out << (out.tellp() > 0 ? ", " : "") << b.first << " x" << b.second;
    return out.str();
}

bool Install()
{
    static bool installed = false;
    static bool ok = false;
    if (installed) return ok;
    installed = true;
    g_thread = GetCurrentThreadId();
    ok = Hook("gdi32.dll", "BitBlt", g_bitBlt, &SpyBitBlt) &&
         Hook("user32.dll", "GetDC", g_getDC, &SpyGetDC) &&
         Hook("user32.dll", "ReleaseDC", g_releaseDC, &SpyReleaseDC) &&
         Hook("user32.dll", "LoadBitmapW", g_loadBitmap, &SpyLoadBitmap) &&
         Hook("gdi32.dll", "DeleteObject", g_deleteObject, &SpyDeleteObject) &&
         Hook("gdi32.dll", "DeleteDC", g_deleteDC, &SpyDeleteDC);
    // A program that writes no text and makes no font or brush does not import these.
    Watch("gdi32.dll", "ExtTextOutW", g_extTextOut, &SpyExtTextOut);
    Watch("gdi32.dll", "CreateFontW", g_createFont, &SpyCreateFont);
    Watch("gdi32.dll", "CreateSolidBrush", g_createSolidBrush, &SpyCreateSolidBrush);
    WatchTheRest();
    CheckPairs();
    return ok;
}

Log& Current() { return g_log; }
void* ReplaceImport(const char* dll, const char* name, void* replacement) { return Patch(dll, name, replacement); }
long long HeapBytes() { return g_heapBytes; }
long long HeapBlocks() { return g_heapBlocks; }
const Tally& Held() { return g_tally; }
std::vector<std::string> Watched() { return g_watched; }
std::vector<std::string> Unhooked() { return g_unhooked; }

Pause::Pause() : m_was(g_recording) { g_recording = false; }
Pause::~Pause() { g_recording = m_was; }

namespace {

// While an edit control has the focus the platform keeps a bitmap for its caret and drops it with
// the focus: a state of the window, not something anyone holds, so a census leaves it out.
bool CaretShown()
{
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    return GetGUIThreadInfo(GetCurrentThreadId(), &gti) && gti.hwndCaret;
}

}  // namespace

int GdiCensus()
{
    int n = 0;
    for (UINT_PTR slot = 1; slot < 0x10000; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot))) ++n;
    return CaretShown() ? n - 1 : n;
}

std::string GdiCensusByKind()
{
    static const char* const kinds[] = {"?", "pen", "brush", "DC", "metafile DC", "palette", "font", "bitmap",
                                        "region", "metafile", "memory DC", "extended pen", "enh. metafile DC",
                                        "enh. metafile", "colour space"};
    int by[15] = {};
    for (UINT_PTR slot = 1; slot < 0x10000; ++slot) {
        DWORD t = GetObjectType(reinterpret_cast<HGDIOBJ>(slot));
        if (t) by[t < 15 ? t : 0]++;
    }
    std::ostringstream out;
    for (int t = 0; t < 15; ++t)
        if (by[t]) out << (out.tellp() > 0 ? ", " : "") << kinds[t] << " " << by[t];
    if (CaretShown()) out << " (one bitmap the caret's, not counted)";
    return out.str();
}

int GdiCensusQuiet(int samples, DWORD gapMs)
{
    int least = GdiCensus();
    for (int i = 1; i < samples; ++i) {
        Sleep(gapMs);
        int n = GdiCensus();
        if (n < least) least = n;
    }
    return least;
}

devtest::Image CaptureWindow(HWND hwnd, int x, int y, int w, int h)
{
    Pause pause;
    return devtest::FromShot(devworld::CaptureWindow(hwnd, x, y, w, h));
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
