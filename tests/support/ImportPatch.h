// Swaps entries of the test executable's import table, so the code under test (linked into the
// test) calls a stand-in while it keeps calling the platform by its real names.
#pragma once

#include <windows.h>

#include <vector>

namespace devtest {

// The import address slot of dll!name in the test executable, or null when it is not imported.
void** FindImportSlot(const char* dll, const char* name);

// Patches slots for its lifetime; whatever it patched goes back when it ends.
class ImportPatches {
public:
    ImportPatches() = default;
    ~ImportPatches() { RestoreAll(); }
    ImportPatches(const ImportPatches&) = delete;
    ImportPatches& operator=(const ImportPatches&) = delete;

    // Points dll!name at replacement and returns the function called before; null (and nothing
    // changed) when the executable does not import it.
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
