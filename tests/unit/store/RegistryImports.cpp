#include "RegistryImports.h"

#include <cstring>

namespace {

RegistryImports* g_rec = nullptr;

struct Hook {
    const char* name;
    void* replacement;
    void* original;
};

LSTATUS WINAPI CreateRec(HKEY root, LPCWSTR path, DWORD reserved, LPWSTR cls, DWORD options, REGSAM sam,
                         LPSECURITY_ATTRIBUTES sec, PHKEY out, LPDWORD disposition);
LSTATUS WINAPI OpenRec(HKEY root, LPCWSTR path, DWORD options, REGSAM sam, PHKEY out);
LSTATUS WINAPI QueryRec(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LSTATUS WINAPI SetRec(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LSTATUS WINAPI CloseRec(HKEY key);

Hook g_hooks[] = {
    {"RegCreateKeyExW", reinterpret_cast<void*>(&CreateRec), nullptr},
    {"RegOpenKeyExW", reinterpret_cast<void*>(&OpenRec), nullptr},
    {"RegQueryValueExW", reinterpret_cast<void*>(&QueryRec), nullptr},
    {"RegSetValueExW", reinterpret_cast<void*>(&SetRec), nullptr},
    {"RegCloseKey", reinterpret_cast<void*>(&CloseRec), nullptr},
};

template <class F>
F Original(int i)
{
    return reinterpret_cast<F>(g_hooks[i].original);
}

void Record(RegCall call)
{
    if (g_rec) g_rec->calls.push_back(std::move(call));
}

LSTATUS WINAPI CreateRec(HKEY root, LPCWSTR path, DWORD reserved, LPWSTR cls, DWORD options, REGSAM sam,
                         LPSECURITY_ATTRIBUTES sec, PHKEY out, LPDWORD disposition)
{
    Record({"create", root == HKEY_CURRENT_USER && reserved == 0 && !cls && options == 0 && !sec && disposition,
            sam, path, 0, 0});
    if (g_rec && g_rec->failCreate) return ERROR_ACCESS_DENIED;
    LSTATUS r = Original<decltype(&RegCreateKeyExW)>(0)(root, path, reserved, cls, options, sam, sec, out, disposition);
    if (g_rec && r == ERROR_SUCCESS) ++g_rec->openKeys;
    return r;
}

LSTATUS WINAPI OpenRec(HKEY root, LPCWSTR path, DWORD options, REGSAM sam, PHKEY out)
{
    Record({"open", root == HKEY_CURRENT_USER && options == 0, sam, path, 0, 0});
    if (g_rec && g_rec->failOpen) return ERROR_ACCESS_DENIED;
    LSTATUS r = Original<decltype(&RegOpenKeyExW)>(1)(root, path, options, sam, out);
    if (g_rec && r == ERROR_SUCCESS) ++g_rec->openKeys;
    return r;
}

LSTATUS WINAPI QueryRec(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size)
{
    Record({"query", !reserved && !type && data, 0, name, size ? *size : 0, 0});
    return Original<decltype(&RegQueryValueExW)>(2)(key, name, reserved, type, data, size);
}

LSTATUS WINAPI SetRec(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size)
{
    Record({"set", reserved == 0, 0, name, size, type});
    return Original<decltype(&RegSetValueExW)>(3)(key, name, reserved, type, data, size);
}

LSTATUS WINAPI CloseRec(HKEY key)
{
    Record({"close", true, 0, L"", 0, 0});
    if (g_rec) --g_rec->openKeys;
    return Original<decltype(&RegCloseKey)>(4)(key);
}

void Patch(void** slot, void* value)
{
    DWORD old = 0;
    VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof(void*), old, &old);
}

// Swaps the import slots of the hooked functions: install puts recorders in, uninstall the originals back.
void SwapImports(bool install)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (Hook& h : g_hooks) {
                if (strcmp(reinterpret_cast<const char*>(byName->Name), h.name) != 0) continue;
                void** slot = reinterpret_cast<void**>(&slots->u1.Function);
                if (install) h.original = *slot;
                Patch(slot, install ? h.replacement : h.original);
            }
        }
    }
}

}  // namespace

RegistryImports::RegistryImports()
{
    SwapImports(true);
    g_rec = this;
}

bool RegistryImports::Installed() const
{
    for (const Hook& h : g_hooks)
        if (!h.original) return false;
    return true;
}

RegistryImports::~RegistryImports()
{
    g_rec = nullptr;
    SwapImports(false);
}
