// Watches the registry calls this executable makes, by pointing its import table at recorders
// that pass each call on (or fail it on request).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RegCall {
    std::string fn;           // "create", "open", "query", "set", "close"
    bool standardArgs = true;  // HKCU, reserved 0, class/type/security null as the store passes them
    REGSAM sam = 0;
    std::wstring name;        // key path or value name
    DWORD size = 0;           // buffer size passed to a query or set
    DWORD type = 0;           // type passed to a set
};

class RegistryImports {
public:
    RegistryImports();   // installs the recorders
    ~RegistryImports();  // puts the imports back
    bool Installed() const;  // every watched function was found among the imports

    std::vector<RegCall> calls;
    bool failCreate = false;
    bool failOpen = false;
    int openKeys = 0;    // keys the recorded calls opened and have not closed
};
