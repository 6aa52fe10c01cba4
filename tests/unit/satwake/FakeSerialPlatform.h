// A stand-in serial driver for in-process tests: while a FakeSerialPlatform lives, the test
// executable's imports of the communications, event, debug-output and message-box functions
// lead to recording fakes. The code under test keeps calling the platform by its real names.
#pragma once

#include <windows.h>

#include "ImportPatch.h"

#include <string>
#include <vector>

struct FakeSerialPlatform {
    FakeSerialPlatform();
    ~FakeSerialPlatform();
    FakeSerialPlatform(const FakeSerialPlatform&) = delete;
    FakeSerialPlatform& operator=(const FakeSerialPlatform&) = delete;

    // The handle the fake CreateFileW hands out; no real handle has this value.
    static HANDLE Port() { return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x5EA1C0DE)); }

    // What the fake driver does.
    DWORD openError = 0;             // nonzero: CreateFileW fails with this error
    bool refuseState = false;        // SetCommState fails
    bool refuseMask = false;         // SetCommMask fails
    bool noEvent = false;            // CreateEventW fails
    BOOL writeResult = TRUE;         // WriteFile on the port returns this ...
    DWORD writeError = 0;            // ... with this last error when FALSE
    DCB driverState = {};            // what GetCommState reports

    // What the code did: one line per call, in order, e.g. "PurgeComm(15)".
    std::vector<std::string> calls;
    DCB appliedState = {};           // last SetCommState
    DWORD queriedLength = 0;         // DCBlength handed to GetCommState
    COMMTIMEOUTS appliedTimeouts = {};
    std::string written;             // every byte that reached the port
    OVERLAPPED lastOverlapped = {};  // as WriteFile received it
    HANDLE lastEvent = nullptr;      // last event CreateEventW gave out

    // The calls since the last Take(), then forgets them.
    std::vector<std::string> Take();

private:
    void Restore();

    devtest::ImportPatches m_patches;
};
