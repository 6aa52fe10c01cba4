// The device's start as at power-on, shared by the scripted tour and the device's tests.
#pragma once

#include <windows.h>

#include "HangLimit.h"

#include <functional>
#include <string>
#include <vector>

namespace devworld {

struct Started {
    HANDLE process = nullptr;
    DWORD pid = 0;
};

// Starts a program, by default with C:\ as its current directory as on the device (an empty
// folder: the caller's); an empty Started when it cannot be started.
Started StartProgram(const std::wstring& exePath, const std::wstring& args = L"", const std::wstring& folder = L"C:\\");

// Dispatches every message waiting for the calling thread (sent ones included).
void Pump();
// Evaluates pred until it holds or the deadline passes, pumping the thread's messages in between
// so that its windows keep answering synchronous broadcasts; the last result of pred.
bool PumpUntil(const std::function<bool()>& pred, DWORD timeoutMs, DWORD sliceMs = 20);

// On a card already installed: the host service (from simDir), which writes the channel file
// before the viewer reads it, then the viewer (parked) and Kickoff, which starts the main menu.
// The calling thread's messages are pumped while it waits, so windows of its own keep answering
// the programs' broadcasts. What was started goes into *started (host, viewer, Kickoff, in that
// order) for the caller to end. True once the main menu and the viewer are up; the limit only
// catches a hang.
bool BootDevice(const std::wstring& simDir, std::vector<Started>* started, DWORD timeoutMs = kHangMs);

}  // namespace devworld
