// The simulated device under test: its host service and main menu (from the device simulation's
// own folder), the five programs on a freshly installed storage card, and helpers to touch the
// viewer the way a finger does (again when a touch was refused while the viewer settled).
#pragma once

#include "DeviceTest.h"
#include "Glass.h"
#include "HostCodes.h"
#include "World.h"

#include <string>
#include <vector>

#ifndef DEVICESIM_BIN_DIR
#error "DEVICESIM_BIN_DIR (wide string literal, folder of the simulated device's programs) must be defined"
#endif

namespace devicetest {

std::wstring SimPath(const wchar_t* exe);   // DEVICESIM_BIN_DIR\exe

// Removes the receiver's published state (and puts nothing back: only the host writes it).
void ClearReceiverState();

// A top-level window with a title of one of the device's programs, standing in for it: it
// records the texts it is sent with WM_COPYDATA.
class StandIn {
public:
    explicit StandIn(const wchar_t* title);
    ~StandIn();
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;
    HWND Hwnd() const { return m_hwnd; }
    const std::vector<std::wstring>& Texts() const { return m_texts; }

private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    HWND m_hwnd = nullptr;
    std::vector<std::wstring> m_texts;
};

// The code/argument pairs the host window recorded from index `from` on.
std::vector<std::pair<int, int>> CodesSince(const devtest::HostWindow& host, size_t from);
// Index of the first record of code/arg at or after `from`; -1 when there is none.
int IndexOf(const devtest::HostWindow& host, int code, int arg, size_t from = 0);

using devtest::TapSending;

}  // namespace devicetest
