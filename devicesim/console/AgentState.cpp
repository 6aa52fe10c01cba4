// What a person looking at the device would say it shows: the viewer's view from its window and
// where the receiver's picture is, the tuned channel, the settings, the card, open message boxes.
#include "Agent.h"

#include <cstdio>

#include "Glass.h"
#include "World.h"

namespace agent {

namespace {

const wchar_t kPictureClass[] = L"DdsimOverlayPicture";   // the simulated display's picture window

bool Same(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != 0; }

std::string RectText(const RECT& r)
{
    char text[64];
    std::snprintf(text, sizeof text, "(%ld, %ld) %ldx%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return text;
}

// Where the receiver's picture is on the screen; empty when it shows nowhere.
RECT PictureRect(DWORD viewerPid)
{
    RECT found = {};
    for (HWND w = FindWindowW(kPictureClass, nullptr); w; w = FindWindowExW(nullptr, w, kPictureClass, nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == viewerPid && IsWindowVisible(w)) GetWindowRect(w, &found);
    }
    return found;
}

std::string ViewOf(const RECT& window, const RECT& picture)
{
    static const char* const kQuadrants[] = {"top-left", "top-right", "bottom-right", "bottom-left"};
    if (window.right - window.left == 0 || window.bottom - window.top == 0) return "parked";
    for (int q = 0; q < 4; ++q) {
        if (Same(picture, devworld::PipPicture(q))) return std::string("picture-in-picture, quadrant ") + char('0' + q) + " (" + kQuadrants[q] + ")";
    }
    if (Same(picture, devworld::FramePicture())) return "window (the picture in the skin's frame)";
    if (Same(picture, devworld::FullPicture(false))) return "full screen";
    if (Same(picture, devworld::FullPicture(true))) return "full screen, above the DAB text line";
    if (IsRectEmpty(&picture)) return "shown without a picture";
    return "picture at " + RectText(picture);
}

std::string Viewer()
{
    HWND viewer = devworld::FindViewer();
    if (!viewer) return devworld::ViewerRunning() ? "starting" : "not running";
    if (!IsWindowVisible(viewer)) return "hidden";
    RECT window = {};
    GetWindowRect(viewer, &window);
    DWORD pid = 0;
    GetWindowThreadProcessId(viewer, &pid);
    RECT picture = PictureRect(pid);
    return ViewOf(window, picture) + "; window " + RectText(window);
}

std::string Receiver()
{
    devworld::ReceiverState s;
    if (!devworld::ReadReceiverState(s)) return "nothing tuned";
    char head[64];
    std::snprintf(head, sizeof head, "%s, channel %d ", s.band == devworld::kBandRadio ? "radio (DAB)" : "TV (DMB)", s.channel);
    return head + ("\"" + Utf8(s.name) + "\"");
}

std::string Store()
{
    std::string text;
    for (const devworld::StoreDefault& d : devworld::StoreDefaults()) {
        DWORD v = 0;
        const bool has = devworld::ReadStore(d.name, v);
        text += (text.empty() ? "" : " ") + Utf8(d.name) + "=" + (has ? std::to_string(v) : std::string("-"));
    }
    return text;
}

// The text of a message box: its longest static text.
std::string BoxText(HWND box)
{
    std::wstring best;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[16] = {}, text[256] = {};
        GetClassNameW(c, cls, 16);
        GetWindowTextW(c, text, 256);
        if (lstrcmpiW(cls, L"Static") == 0 && lstrlenW(text) > static_cast<int>(best.size())) best = text;
    }
    while (!best.empty() && (best.back() == L'\n' || best.back() == L'\r')) best.pop_back();
    return Utf8(best);
}

// Its first button's centre, where a finger closes it.
std::string BoxButton(HWND box)
{
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[16] = {};
        GetClassNameW(c, cls, 16);
        RECT r = {};
        if (lstrcmpiW(cls, L"Button") != 0 || !IsWindowVisible(c) || !GetWindowRect(c, &r)) continue;
        return " (button at " + std::to_string((r.left + r.right) / 2) + " " + std::to_string((r.top + r.bottom) / 2) + ")";
    }
    return "";
}

BOOL CALLBACK AddBox(HWND hwnd, LPARAM lines)
{
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    // The viewer and the panel are dialogs too, but a message box has an owner.
    if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(hwnd) || !GetWindow(hwnd, GW_OWNER)) return TRUE;
    wchar_t title[128] = {};
    GetWindowTextW(hwnd, title, 128);
    std::string text = BoxText(hwnd);
    if (text.empty()) return TRUE;
    reinterpret_cast<std::vector<std::string>*>(lines)->push_back("message box " + Utf8(title) + ": \"" + text + "\"" +
                                                                  BoxButton(hwnd));
    return TRUE;
}

std::string Programs()
{
    std::string text;
    auto add = [&text](bool up, const char* name) { if (up) text += std::string(text.empty() ? "" : ", ") + name; };
    add(FindWindowW(devworld::kHostClass, nullptr) != nullptr, "host");
    add(FindWindowW(devworld::kMenuClass, nullptr) != nullptr, "main menu");
    add(FindWindowW(nullptr, devworld::kPanelTitle) != nullptr, "settings panel");
    return text.empty() ? "none" : text;
}

}  // namespace

std::vector<std::string> DescribeDevice()
{
    std::vector<std::string> lines;
    lines.push_back("viewer: " + Viewer());
    lines.push_back("receiver: " + Receiver());
    lines.push_back("store: " + Store());
    lines.push_back(std::string("card: ") + (devworld::PathExists(devworld::CardRoot()) ? "in" : "out"));
    lines.push_back("running: " + Programs());
    EnumWindows(AddBox, reinterpret_cast<LPARAM>(&lines));
    return lines;
}

}  // namespace agent
