// Swaps entries of the test executable's import table, so the code under test (linked into the
// test) calls a stand-in while it keeps calling the platform by its real names.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

namespace devtest {

// Every import address slot of dll!name in the test executable, in order: a module imported by
// more than one descriptor has more than one.
void ForEachImportSlot(const char* dll, const char* name, const std::function<void(void**)>& each);
// Points a slot at value; returns what it held.
void* ExchangeSlot(void** slot, void* value);

// Patches slots for its lifetime; whatever it patched goes back when it ends.
class ImportPatches {
public:
    ImportPatches() = default;
    ~ImportPatches() { RestoreAll(); }
    ImportPatches(const ImportPatches&) = delete;
    ImportPatches& operator=(const ImportPatches&) = delete;

    // Points every slot of dll!name at replacement and returns the function called before; null
    // (and nothing changed) when the executable does not import it.
    void* Replace(const char* dll, const char* name, void* replacement);
    void RestoreAll();

private:
    struct Patch {
        void** slot;
        void* original;
    };
    std::vector<Patch> m_patches;
};

}  // namespace devtest
