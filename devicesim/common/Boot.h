// The device's start as at power-on, shared by the scripted tour and the device's tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace devworld {

struct Started {
    HANDLE process = nullptr;
    DWORD pid = 0;
};

// Starts a program with C:\ as its current directory, as on the device; an empty Started when it
// cannot be started.
Started StartProgram(const std::wstring& exePath);

// On a card already installed: the host service (from simDir), which writes the channel file
// before the viewer reads it, then the viewer (parked) and Kickoff, which starts the main menu.
// The calling thread's messages are pumped while it waits, so windows of its own keep answering
// the programs' broadcasts. What was started goes into *started (host, viewer, Kickoff, in that
// order) for the caller to end. True once the main menu and the viewer are up within the deadline.
bool BootDevice(const std::wstring& simDir, std::vector<Started>* started, DWORD timeoutMs = 30000);

}  // namespace devworld
