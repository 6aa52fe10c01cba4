#include "ImportPatch.h"

#include <cstring>

namespace devtest {

void ForEachImportSlot(const char* dll, const char* name, const std::function<void(void**)>& each)
{
    auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
    for (; imp->Name; ++imp) {
        if (_stricmp(reinterpret_cast<char*>(base + imp->Name), dll) != 0 || !imp->OriginalFirstThunk) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), name) == 0)
                each(reinterpret_cast<void**>(&slots->u1.Function));
        }
    }
}

void* ExchangeSlot(void** slot, void* value)
{
    DWORD old = 0;
    ::VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old);
    void* previous = *slot;
    *slot = value;
    ::VirtualProtect(slot, sizeof(void*), old, &old);
    return previous;
}

void* ImportPatches::Replace(const char* dll, const char* name, void* replacement)
{
    void* first = nullptr;
    ForEachImportSlot(dll, name, [&](void** slot) {
        void* original = ExchangeSlot(slot, replacement);
        m_patches.push_back({slot, original});
        if (!first) first = original;
    });
    return first;
}

void ImportPatches::RestoreAll()
{
    // Last first, so a slot patched twice ends with its first original.
    for (auto it = m_patches.rbegin(); it != m_patches.rend(); ++it) ExchangeSlot(it->slot, it->original);
    m_patches.clear();
}

}  // namespace devtest
