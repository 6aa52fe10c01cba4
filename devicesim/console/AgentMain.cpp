// deviceagent PORT: the console's agent inside the running device (see Agent.h). It connects to
// the console on 127.0.0.1:PORT, shows it the token from DEVICE_CONSOLE_TOKEN (the environment,
// which only its user can read, not the command line, which every user can), and ends when that
// connection ends.
#include <winsock2.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "Agent.h"
#include "Console.h"

namespace {

const UINT WM_COMMAND_LINE = WM_APP + 1;   // lParam: a Command* the window thread takes over
const UINT_PTR TIMER_TRAFFIC = 1;
const UINT kTrafficPollMs = 20;
const size_t kLongestLine = 4096;

SOCKET g_console = INVALID_SOCKET;
std::mutex g_sendLock;
HWND g_hwnd = nullptr;
HANDLE g_traffic = INVALID_HANDLE_VALUE;
LONG g_touches = 0;   // touched only on the window thread, where the hook runs too

// One line each: a text with line breaks of its own (a window's, the host's) would be taken apart.
void SendLine(std::string line)
{
    std::replace_if(line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    std::lock_guard<std::mutex> hold(g_sendLock);
    std::string bytes = line + "\n";
    for (size_t sent = 0; sent < bytes.size();) {
        int n = send(g_console, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

// A command as the console sent it: "#ID " before the command is repeated before every line of
// its answer, so that the console can tell an answer that came too late from the one it awaits.
struct Command {
    std::string id;
    std::string text;
};

Command Split(const std::string& line)
{
    Command c;
    const size_t digits = line.size() > 1 && line[0] == '#' ? line.find_first_not_of("0123456789", 1) : 0;
    if (digits > 1 && digits <= 21 && digits < line.size() && line[digits] == ' ') {
        c.id = line.substr(0, digits + 1);
        c.text = line.substr(digits + 1);
    } else {
        c.text = line;
    }
    return c;
}

void Reply(const std::string& id, const agent::Answer& a)
{
    for (const std::string& line : a.lines) SendLine(id + "| " + line);
    SendLine(id + (a.ok ? "ok" : "err") + (a.last.empty() ? std::string() : " " + a.last));
}

// Reads the console's lines and hands each to the window thread, which runs it; ends the agent
// when the console goes. A line longer than kLongestLine is refused whole: none of it runs.
void TakeCommands()
{
    std::string pending;
    bool tooLong = false;
    std::string tooLongId;
    char buffer[1024];
    for (;;) {
        int n = recv(g_console, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (tooLong || line.size() > kLongestLine) {
                Reply(tooLong ? tooLongId : Split(line.substr(0, 32)).id,
                      agent::Fail("a command line holds at most " + std::to_string(kLongestLine) + " bytes"));
                tooLong = false;
                continue;
            }
            if (!line.empty() && line.back() == '\r') line.pop_back();
            Command* c = new Command(Split(line));
            if (!PostMessageW(g_hwnd, WM_COMMAND_LINE, 0, reinterpret_cast<LPARAM>(c))) delete c;
        }
        if (pending.size() > kLongestLine) {
            if (!tooLong) tooLongId = Split(pending.substr(0, 32)).id;
            tooLong = true;
            pending.clear();
        }
    }
    PostMessageW(g_hwnd, WM_CLOSE, 0, 0);
}

// Every touch of the screen, a person's or the console's, as the system's input sees it.
LRESULT CALLBACK WatchTouches(int code, WPARAM wp, LPARAM lp)
{
    if (code == HC_ACTION && (wp == WM_LBUTTONDOWN || wp == WM_LBUTTONUP)) {
        ++g_touches;
        const MSLLHOOKSTRUCT* m = reinterpret_cast<const MSLLHOOKSTRUCT*>(lp);
        char line[64];
        std::snprintf(line, sizeof line, "@touch %s %ld %ld", wp == WM_LBUTTONDOWN ? "down" : "up", m->pt.x, m->pt.y);
        SendLine(line);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

void PassTraffic()
{
    for (;;) {
        DWORD next = MAILSLOT_NO_MESSAGE, read = 0;
        if (!GetMailslotInfo(g_traffic, nullptr, &next, nullptr, nullptr) || next == MAILSLOT_NO_MESSAGE) return;
        // Read whole, whatever its size, so that no message can stop the ones behind it.
        std::string message(next, '\0');
        if (!ReadFile(g_traffic, &message[0], next, &read, nullptr)) return;
        std::string line = message.substr(0, std::min<size_t>(read, kLongestLine));
        line.resize(std::strlen(line.c_str()));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        SendLine("@traffic " + line);
    }
}

LRESULT CALLBACK AgentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND_LINE: {
        Command* c = reinterpret_cast<Command*>(lp);
        Reply(c->id, agent::Execute(c->text));
        delete c;
        return 0;
    }
    case WM_TIMER:
        if (wp == TIMER_TRAFFIC) PassTraffic();
        return 0;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool Connect(int port)
{
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
    g_console = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<u_short>(port));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return g_console != INVALID_SOCKET && connect(g_console, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
}

}  // namespace

LONG agent::TouchesSeen() { return g_touches; }

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR args, int)
{
    const int port = _wtoi(args);
    char token[128] = "";
    const DWORD tokenLength = GetEnvironmentVariableA("DEVICE_CONSOLE_TOKEN", token, sizeof token);
    if (tokenLength == 0 || tokenLength >= sizeof token) return 2;
    if (port <= 0 || port > 65535 || !Connect(port)) return 2;
    agent::OpenDisplayControl();
    g_traffic = CreateMailslotW(devworld::kTrafficSlot, 0, 0, nullptr);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = AgentProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"DeviceConsoleAgent";
    RegisterClassW(&wc);
    g_hwnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (!g_hwnd) return 1;
    HHOOK hook = SetWindowsHookExW(WH_MOUSE_LL, WatchTouches, instance, 0);
    if (g_traffic != INVALID_HANDLE_VALUE) SetTimer(g_hwnd, TIMER_TRAFFIC, kTrafficPollMs, nullptr);
    SendLine(std::string("@hello agent ") + token + (hook ? "" : " (no touch hook)") +
             (g_traffic == INVALID_HANDLE_VALUE ? " (no host traffic)" : ""));

    std::thread reader(TakeCommands);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (hook) UnhookWindowsHookEx(hook);
    closesocket(g_console);
    reader.join();
    return 0;
}
