// The device console's hands inside the running device. The console (a program on the PC side)
// sends the agent one command per line over a local TCP connection; the agent does what needs the
// device's own windows, input, registry and display, and answers with "| text" lines and then
// "ok [text]" or "err why". Unasked, it tells the console what it sees: "@touch down|up X Y" for
// every touch of the screen, whoever made it, and "@traffic TICK LINE" for every line the host
// logs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ddsim_control.h"

namespace agent {

struct Answer {
    bool ok = true;
    std::vector<std::string> lines;   // shown before the last line
    std::string last;                 // after "ok " or "err "
};

Answer Fail(const std::string& why);

// One command: "state", "touch X Y", "down X Y", "up X Y", "display fail CALL [N]",
// "host silent on|off|tick", "host lag MS", "send CODE ARG", "dab TEXT", "shot PATH" (a .bmp),
// "look", "keep PATH" (a .bmp) or "ready"; words are split on spaces, except the text of "dab", which is the rest of the line.
Answer Execute(const std::string& line);

// The shared block through which the display's faults reach the viewer; made at the start so it
// exists before the viewer's first call.
bool OpenDisplayControl();

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& text);

// Touches of the screen the agent has seen so far, a person's and the console's.
LONG TouchesSeen();

namespace control = ddsim::control;
// One look at the screen, and the last look kept as a .bmp (AgentScreen.cpp).
Answer Look(const control::Block* block);
Answer Keep(const std::string& line);

// What the screen shows, as "key: value" lines.
std::vector<std::string> DescribeDevice();

}  // namespace agent
