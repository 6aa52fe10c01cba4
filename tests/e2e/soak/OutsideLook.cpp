#include "OutsideLook.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace soak {

namespace {

// One slot of the GDI handle table that the system keeps in each process: the object, its owner,
// its type (0: a free slot) and the handle's generation.
struct GdiSlot {
    ULONGLONG object;
    ULONG owner;
    UCHAR type;
    UCHAR generation;
    USHORT spare;
    ULONGLONG user;
};
static_assert(sizeof(GdiSlot) == 24, "the table's slots are 24 bytes on either word size");
const size_t kGdiSlots = 65536;

// Wine does not publish the table's address in the process environment block; it is found by the
// stock objects, which every process makes first, in the same order, with the same handles: a
// handle's low word is its slot, its next byte the slot's type, its top byte the generation.
bool StockSlotsMatch(HANDLE process, const BYTE* table)
{
    for (int stock = WHITE_BRUSH; stock <= DC_PEN; ++stock) {
        const auto h = reinterpret_cast<UINT_PTR>(GetStockObject(stock));
        if (!h) continue;
        GdiSlot slot = {};
        SIZE_T got = 0;
        if (!ReadProcessMemory(process, table + (h & 0xFFFF) * sizeof(GdiSlot), &slot, sizeof slot, &got) ||
            slot.type != ((h >> 16) & 0xFF) || slot.generation != ((h >> 24) & 0xFF))
            return false;
    }
    return true;
}

const BYTE* GdiTableOf(HANDLE process)
{
    MEMORY_BASIC_INFORMATION m = {};
    for (const BYTE* at = nullptr; VirtualQueryEx(process, at, &m, sizeof m); at = static_cast<const BYTE*>(m.BaseAddress) + m.RegionSize) {
        const auto* base = static_cast<const BYTE*>(m.BaseAddress);
        if (m.State == MEM_COMMIT && m.Protect == PAGE_READWRITE && m.RegionSize >= kGdiSlots * sizeof(GdiSlot) &&
            StockSlotsMatch(process, base))
            return base;
        if (base + m.RegionSize < base) break;
    }
    return nullptr;
}

// A file of the host system, read whole (its /proc files report no size).
std::string ReadHostFile(const std::string& unixPath)
{
    std::wstring path = L"Z:";
    for (char c : unixPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return "";
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    CloseHandle(f);
    return out;
}

std::vector<int> HostPids()
{
    std::vector<int> pids;
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW(L"Z:\\proc\\*", &fd);
    if (find == INVALID_HANDLE_VALUE) return pids;
    do {
        wchar_t* end = nullptr;
        long pid = wcstol(fd.cFileName, &end, 10);
        if (end && !*end && pid > 0) pids.push_back(static_cast<int>(pid));
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    return pids;
}

std::string Utf8(const std::wstring& s)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, s.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

std::vector<GdiSlot> GdiSlotsOf(HANDLE process)
{
    const BYTE* table = GdiTableOf(process);
    if (!table) return {};
    std::vector<GdiSlot> slots(kGdiSlots);
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, table, slots.data(), slots.size() * sizeof(GdiSlot), &got)) return {};
    return slots;
}

}  // namespace

int GdiObjectsOf(HANDLE process, DWORD thread)
{
    const std::vector<GdiSlot> slots = GdiSlotsOf(process);
    if (slots.empty()) return -1;
    int n = 0;
    for (const GdiSlot& s : slots) n += s.type != 0;
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    if (thread && GetGUIThreadInfo(thread, &gti) && gti.hwndCaret) --n;
    return n;
}

std::string GdiKindsOf(HANDLE process)
{
    static const std::pair<int, const char*> kinds[] = {{0x01, "DC"}, {0x41, "memory DC"}, {0x04, "region"},
                                                        {0x09, "bitmap"}, {0x08, "palette"}, {0x0A, "font"},
                                                        {0x10, "brush"}, {0x30, "pen"}, {0x50, "extended pen"}};
    int by[128] = {}, stock = 0;
    for (const GdiSlot& s : GdiSlotsOf(process)) {
        if (!s.type) continue;
        if (s.type & 0x80) ++stock;
        else ++by[s.type & 0x7F];
    }
    std::string out = "stock " + std::to_string(stock);
    for (int t = 1; t < 128; ++t) {
        if (!by[t]) continue;
        std::string name = "type " + std::to_string(t);
        for (const auto& k : kinds)
            if (k.first == t) name = k.second;
        out += ", " + name + " " + std::to_string(by[t]);
    }
    return out;
}

// Wine shows a program's Windows command line as the host process's and keeps the prefix in its
// environment; several devices (other prefixes) may run the same programs at once.
int HostPidOf(const std::wstring& fileName)
{
    std::string want = "\\" + Utf8(fileName);
    for (char& c : want) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    const char* prefix = getenv("WINEPREFIX");
    const std::string wantPrefix = prefix ? std::string("WINEPREFIX=") + prefix + '\0' : "";
    int found = 0;
    for (int pid : HostPids()) {
        const std::string base = "/proc/" + std::to_string(pid);
        std::string cmd = ReadHostFile(base + "/cmdline");
        for (char& c : cmd) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        const size_t at = cmd.find(want);
        if (at == std::string::npos) continue;
        const char after = at + want.size() < cmd.size() ? cmd[at + want.size()] : '\0';
        if (after != '\0' && after != ' ' && after != '"') continue;
        if (!wantPrefix.empty() && ReadHostFile(base + "/environ").find(wantPrefix) == std::string::npos) continue;
        if (found) return 0;
        found = pid;
    }
    return found;
}

HostMemory RssAnonOf(int hostPid)
{
    HostMemory m;
    if (hostPid <= 0) return m;
    const std::string status = ReadHostFile("/proc/" + std::to_string(hostPid) + "/status");
    const size_t rss = status.find("RssAnon:"), threads = status.find("Threads:");
    if (rss == std::string::npos || threads == std::string::npos) return m;
    m.rssAnon = std::atoll(status.c_str() + rss + 8) * 1024;
    m.threads = std::atoi(status.c_str() + threads + 8);
    return m;
}

}  // namespace soak
