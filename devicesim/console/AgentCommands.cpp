#include "Agent.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "Boot.h"
#include "Console.h"
#include "Glass.h"
#include "World.h"
#include "ddsim_control.h"

namespace agent {

namespace {

const DWORD kFingerMs = 60;        // a finger rests this long between touch-down and touch-up
const DWORD kHostWaitMs = devworld::kHangMs;   // a host that takes longer is hung, not slow

std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

bool ToInt(const std::string& text, long lo, long hi, long& value)
{
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && end && !*end && value >= lo && value <= hi;
}

Answer Ok(const std::string& text = "")
{
    Answer a;
    a.last = text;
    return a;
}

// ------------------------------------------------------------------ touches

bool OnScreen(long x, long y)
{
    return x >= 0 && y >= 0 && x < GetSystemMetrics(SM_CXSCREEN) && y < GetSystemMetrics(SM_CYSCREEN);
}

// The input a finger gives: the pointer to the point, then the button, through the system's input
// queue, so the window under the point gets it as it would a real touch.
void Press(long x, long y, bool down)
{
    SetCursorPos(static_cast<int>(x), static_cast<int>(y));
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    SendInput(1, &in, sizeof in);
}

Answer Touch(const std::vector<std::string>& w)
{
    long x = 0, y = 0;
    if (w.size() != 3 || !ToInt(w[1], -100000, 100000, x) || !ToInt(w[2], -100000, 100000, y))
        return Fail("usage: " + w[0] + " X Y");
    if (!OnScreen(x, y)) return Fail("(" + w[1] + ", " + w[2] + ") is not on the 640x480 screen");
    if (w[0] != "up") Press(x, y, true);
    if (w[0] == "touch") devworld::PumpUntil([] { return false; }, kFingerMs);
    if (w[0] != "down") Press(x, y, false);
    return Ok();
}

// ------------------------------------------------------------------ the display

control::Block* g_block = nullptr;

Answer DisplayFail(const std::vector<std::string>& w)
{
    long count = 1;
    if (w.size() < 3 || w.size() > 4 || w[1] != "fail" || (w.size() == 4 && !ToInt(w[3], 1, 1000, count)))
        return Fail("usage: display fail CALL [N], N from 1 to 1000");
    const control::Failable* call = control::FindFailable(w[2].c_str());
    if (!call) {
        std::string names;
        for (const control::Failable& f : control::kFailable) names += std::string(names.empty() ? "" : ", ") + f.name;
        return Fail("the display has no call " + w[2] + " that can fail (" + names + ")");
    }
    if (!g_block) return Fail("the display's control block could not be made");
    control::Request& r = g_block->slots[g_block->written % control::kSlots];
    std::memset(&r, 0, sizeof r);
    std::strncpy(r.name, call->name, sizeof r.name - 1);
    r.count = count;
    r.hr = call->hr;
    InterlockedIncrement(&g_block->written);
    char text[160];
    std::snprintf(text, sizeof text, "the next %ld call%s of %s fail%s with %s", count, count == 1 ? "" : "s", call->name,
                  count == 1 ? "s" : "", call->error);
    return Ok(text);
}

// ------------------------------------------------------------------ the host

Answer ToHost(ULONG_PTR kind, const void* data, DWORD bytes, const std::string& done)
{
    HWND host = FindWindowW(devworld::kHostClass, nullptr);
    if (!host) return Fail("the host is not running");
    COPYDATASTRUCT cds = {kind, bytes, const_cast<void*>(data)};
    DWORD_PTR taken = 0;
    if (!SendMessageTimeoutW(host, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), SMTO_ABORTIFHUNG, kHostWaitMs, &taken))
        return Fail("the host does not answer its window");
    if (!taken) return Fail("the host refused it");
    return Ok(done);
}

Answer Host(const std::vector<std::string>& w)
{
    const std::string what = w.size() > 1 ? w[1] : "";
    long a = 0;
    if (what == "silent" && w.size() == 3 && (w[2] == "on" || w[2] == "off")) {
        DWORD on = w[2] == "on";
        return ToHost(devworld::HOSTCTL_SILENT, &on, sizeof on, on ? "the host hears but does not answer" : "the host answers again");
    }
    if (what == "lag" && w.size() == 3 && ToInt(w[2], 0, 60000, a)) {
        DWORD ms = static_cast<DWORD>(a);
        return ToHost(devworld::HOSTCTL_LAG, &ms, sizeof ms, "the host answers " + w[2] + " ms late");
    }
    if (what == "tick" && w.size() == 2) {
        DWORD one = 1;
        return ToHost(devworld::HOSTCTL_TICK, &one, sizeof one, "the host sends what its clock held back");
    }
    return Fail("usage: host silent on|off, host lag MS (0 to 60000), host tick");
}

Answer Send(const std::vector<std::string>& w)
{
    long code = 0, arg = 0;
    if (w.size() != 3 || !ToInt(w[1], -2147483647L, 2147483647L, code) || !ToInt(w[2], -2147483647L, 2147483647L, arg))
        return Fail("usage: send CODE ARG");
    DWORD words[2] = {static_cast<DWORD>(code), static_cast<DWORD>(arg)};
    return ToHost(devworld::HOSTCTL_SEND, words, sizeof words, "the host sends HL_SOFTKEY " + w[1] + "/" + w[2]);
}

// The text is the rest of the line after "dab ", spaces and all.
Answer Dab(const std::string& line)
{
    std::wstring text = line.size() > 4 ? Wide(line.substr(4)) : L"";
    if (text.empty()) return Fail("usage: dab TEXT");
    if (text.size() > 200) return Fail("a DAB text line holds at most 200 characters");
    return ToHost(devworld::HOSTCTL_DAB, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)),
                  "the host sends the DAB text");
}

// ------------------------------------------------------------------ the screen

Answer Shot(const std::string& line)
{
    if (line.size() <= 5) return Fail("usage: shot FILE");
    std::wstring path = Wide(line.substr(5));
    if (!devworld::SaveBmp(devworld::CaptureAll(), path)) return Fail("the screen could not be saved");
    return Ok();
}

// The device is up once the host, the main menu and the viewer are.
Answer Ready()
{
    if (!FindWindowW(devworld::kHostClass, nullptr)) return Fail("the host is not up");
    if (!FindWindowW(devworld::kMenuClass, nullptr)) return Fail("the main menu is not up");
    if (!devworld::FindViewer()) return Fail("the viewer is not up");
    return Ok("up");
}

}  // namespace

Answer Fail(const std::string& why)
{
    Answer a;
    a.ok = false;
    a.last = why;
    return a;
}

bool OpenDisplayControl()
{
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(control::Block),
                                        control::kBlockName);
    if (!mapping) return false;
    // The mapping stays open for the agent's life: a viewer started later still finds the block.
    g_block = static_cast<control::Block*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(control::Block)));
    return g_block != nullptr;
}

Answer Execute(const std::string& line)
{
    std::vector<std::string> w = Words(line);
    if (w.empty()) return Fail("empty command");
    const std::string& verb = w[0];
    if (verb == "state") {
        Answer a;
        a.lines = DescribeDevice();
        return a;
    }
    if (verb == "touch" || verb == "down" || verb == "up") return Touch(w);
    if (verb == "display") return DisplayFail(w);
    if (verb == "host") return Host(w);
    if (verb == "send") return Send(w);
    if (verb == "dab") return Dab(line);
    if (verb == "shot") return Shot(line);
    if (verb == "ready") return Ready();
    if (verb == "look") return Look(g_block);
    if (verb == "keep") return Keep(line);
    return Fail("unknown command " + verb);
}

std::wstring Wide(const std::string& utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

std::string Utf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace agent
