// The tour: main menu, TV in its frame, full screen, the four PIP corners, the channel list and a
// pick, a channel search, radio full screen with its DAB text, the settings panel, GPS wake-up
// and the blank screen. Every step waits for what it expects to see, with a deadline.
#include "Tour.h"

#include <cstring>

#include "HostCodes.h"
#include "MenuLayout.h"
#include "SkinPoints.h"

namespace tour {

using namespace devworld;

namespace {

bool ListPanel() { return ViewerPanelShows(IDB_LIST_PANEL); }
bool MainPanel() { return ViewerPanelShows(IDB_MAIN_PANEL); }

Listener* g_heard = nullptr;

// For touches that send nothing: repeated until pred holds.
bool Touched(POINT pt, const std::function<bool()>& pred, DWORD timeoutMs = kHangMs)
{
    return TouchUntil(pt.x, pt.y, pred, timeoutMs);
}

// For touches that send a command: repeated until the command is heard, then pred is awaited.
bool Sent(POINT pt, int code, int arg, const std::function<bool()>& pred, DWORD timeoutMs = kHangMs)
{
    return TouchSending(*g_heard, pt.x, pt.y, code, arg, pred, timeoutMs);
}

bool Fail(const wchar_t* what)
{
    Say(L"step failed: %ls", what);
    return false;
}

bool ViewerWindowWithPicture()
{
    return IsRect(WindowRectOf(Viewer()), 0, 0, 640, 480) && PictureIn(FramePicture());
}

bool MenuTouched(MenuItem item, const std::function<bool()>& pred, DWORD timeoutMs = kHangMs)
{
    return Sent(devmenu::TileCentre(item), kMenuRequest, item, pred, timeoutMs);
}

std::wstring ReceiverName()
{
    ReceiverState s;
    return ReadReceiverState(s) ? s.name : std::wstring();
}

bool FileHas(const std::wstring& path, const char* text)
{
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    char buf[8192] = {};
    DWORD got = 0;
    ReadFile(f, buf, sizeof buf - 1, &got, nullptr);
    CloseHandle(f);
    return strstr(buf, text) != nullptr;
}

bool Boot(Album& album)
{
    Say(L"waiting for the device to boot");
    if (!Until([] { return FindWindowW(kHostClass, nullptr) && Viewer() && Menu() && IsWindowVisible(Menu()); },
               kHangMs)) {
        Say(L"host %p, viewer %p, menu %p", static_cast<void*>(FindWindowW(kHostClass, nullptr)),
            static_cast<void*>(Viewer()), static_cast<void*>(Menu()));
        return Fail(L"host, viewer and main menu");
    }
    // The menu's face is drawn: the orange line under its header and a released tile.
    if (!Until([] { return Near(Capture(300, 58, 1, 1).At(0, 0), 0xF68818, 16); }, kHangMs))
        return Fail(L"main menu drawn");
    return album.Take(L"main_menu");
}

bool TvWindow(Album& album)
{
    Say(L"TV from the main menu");
    if (!MenuTouched(MENU_TV, ViewerWindowWithPicture)) return Fail(L"TV window with picture");
    return album.TakeWithPicture(L"tv_window", FramePicture());
}

bool FullScreen(Album& album)
{
    Say(L"full screen and back");
    if (!Sent(kFrame, SK_VIEW_REQUEST, VIEWREQ_FULL_SCREEN, [] { return PictureIn(FullPicture(false)); })) return Fail(L"TV full screen");
    if (!album.TakeWithPicture(L"tv_full_screen_without_dls", FullPicture(false))) return false;
    if (!Sent(kRightHalf, SK_VIEW_REQUEST, VIEWREQ_WINDOW, ViewerWindowWithPicture)) return Fail(L"back to the window");
    return true;
}

bool PipCorners(Album& album)
{
    Say(L"picture-in-picture through the four corners");
    DWORD quadrant = 2;
    ReadStore(L"PIP", quadrant);
    quadrant &= 3;
    auto inPip = [](int q) {
        return [q] {
            RECT want = PipPicture(q);
            RECT r = WindowRectOf(Viewer());
            return IsRect(r, want.left, want.top, want.right, want.bottom) && PictureIn(want);
        };
    };
    if (!Sent(kPipButton, SK_RECEIVER, RCV_PIP, inPip(static_cast<int>(quadrant)))) return Fail(L"PIP");
    static const wchar_t* names[] = {L"pip_top_left", L"pip_top_right", L"pip_bottom_right", L"pip_bottom_left"};
    int q = static_cast<int>(quadrant);
    for (int i = 0; i < 4; ++i) {
        if (!album.TakeWithPicture(names[q], PipPicture(q))) return false;
        const RECT r = WindowRectOf(Viewer());
        const int next = (q + 1) % 4;
        // The bottom-right quarter of the PIP window moves it on. The move sends nothing, so a
        // touch is repeated when the window stayed where it was; a repeated touch that a slow
        // viewer takes as well moves it one corner further, and the corners go round, so the
        // touches go on from wherever it is until it reaches the next corner.
        const ULONGLONG end = GetTickCount64() + kHangMs;
        RECT at = r;
        while (!inPip(next)() && GetTickCount64() < end) {
            auto moved = [&at] {
                RECT now = WindowRectOf(Viewer());
                return !IsRect(now, at.left, at.top, at.right, at.bottom);
            };
            Touch(at.left + 240, at.top + 180);
            if (Until(moved, 2500)) at = WindowRectOf(Viewer());
            Until(inPip(next), 500);
        }
        if (!inPip(next)()) return Fail(L"next PIP corner");
        q = next;
    }
    RECT r = WindowRectOf(Viewer());
    // The bottom-left quarter takes it back into the window.
    if (!Sent(POINT{r.left + 80, r.top + 180}, SK_PIP_LEAVE, PIPLEAVE_ARG, ViewerWindowWithPicture))
        return Fail(L"window from PIP");
    return true;
}

bool ChannelList(Album& album)
{
    Say(L"TV channel list and a pick");
    if (!Sent(kTvList, SK_TV_LIST, 1, ListPanel)) return Fail(L"TV channel list");
    // The picture comes back a moment after the list is drawn over the panel.
    if (!Until(ViewerWindowWithPicture, kHangMs)) return Fail(L"picture with the list");
    if (!album.TakeWithPicture(L"tv_channel_list", FramePicture())) return false;
    // The picture's caption follows the tuned channel: its band and channel line and its name
    // line, not the frame counter below them, which moves whatever is tuned. The first channel's
    // caption, taken while its picture shows, is the one the pick must replace.
    auto caption = [] { return Capture(45, 132 + 160, 320, 52); };
    const Shot first = caption();
    const std::wstring want = FactoryChannels().tv[2];
    if (!Sent(Row(2), SK_TUNE_CHANNEL, 2, [&] { return ReceiverName() == want; })) return Fail(L"channel picked");
    if (!Until([&] { return ViewerWindowWithPicture() && Differences(caption(), first) > 200; }, kHangMs))
        return Fail(L"caption of the picked channel");
    return album.TakeWithPicture(L"tv_channel_picked", FramePicture());
}

bool Search(Album& album, Listener& heard)
{
    Say(L"channel search");
    if (!Touched(kMainMenuButton, MainPanel)) return Fail(L"main panel");
    size_t mark = heard.Mark();
    if (!Sent(kSearch, SK_VIEW_REQUEST, VIEWREQ_SEARCH, [&] { return heard.HeardSince(mark, SK_SEARCH_PROGRESS, 1); }))
        return Fail(L"search started");
    if (!Until([&] { return heard.HeardSince(mark, SK_SEARCH_PROGRESS, 9); }, kHangMs)) return Fail(L"search progress");
    if (!album.Take(L"search_running")) return false;
    if (!Until([&] { return heard.HeardSince(mark, SK_VIEW, VIEWCMD_RELOAD_THEN_RADIO); }, kHangMs))
        return Fail(L"search end");
    // The viewer shows the radio window a moment after the reload.
    if (!Until([] {
            ReceiverState s;
            return ViewerWindowWithPicture() && ReadReceiverState(s) && s.band == kBandRadio;
        }, kHangMs))
        return Fail(L"radio window after the search");
    if (!Sent(kRadioList, SK_SELECT_BAND, kBandRadio, ListPanel)) return Fail(L"radio channel list");
    if (!Until(ViewerWindowWithPicture, kHangMs)) return Fail(L"picture with the radio list");
    return album.TakeWithPicture(L"radio_list_after_search", FramePicture());
}

bool RadioFullScreen(Album& album)
{
    Say(L"radio full screen with the DAB text");
    auto withDls = [] {
        return PictureIn(FullPicture(true)) && IsRect(DlsRect(), 0, 416, 640, 480) && !DlsText().empty();
    };
    if (!Sent(kFrame, SK_VIEW_REQUEST, VIEWREQ_FULL_SCREEN, withDls)) return Fail(L"radio full screen with the DAB text line");
    // The line's text is drawn white on black.
    if (!Until([] {
            Shot line = Capture(0, 416, 640, 64);
            int lit = 0;
            for (uint32_t p : line.pixels) lit += Near(p, 0xFFFFFF, 60) ? 1 : 0;
            return lit > 50;
        }, kHangMs))
        return Fail(L"DAB text drawn");
    if (!album.TakeWithPicture(L"radio_full_screen_with_dls", FullPicture(true))) return false;
    if (!Sent(kRightHalf, SK_VIEW_REQUEST, VIEWREQ_WINDOW, ViewerWindowWithPicture)) return Fail(L"radio window");
    return true;
}

bool Settings(Album& album)
{
    Say(L"settings panel from the viewer");
    if (!Touched(kSettingsButton, [] { return Panel() && IsWindowVisible(Panel()) && !PictureIn(FramePicture()); }))
        return Fail(L"settings panel");
    if (!Until([] { return !Near(Capture(20, 20, 1, 1).At(0, 0), 0, 4); }, kHangMs)) return Fail(L"panel drawn");
    DWORD before = 0;
    ReadStore(L"Bright", before);
    const Shot slot = Capture(293, 61, 44, 16);
    const DWORD want = before >= 10 ? 0 : before + 1;
    if (!Sent(kBrightUp, SK_BRIGHTNESS, static_cast<int>(want), [&] {
            DWORD now = 99;
            return ReadStore(L"Bright", now) && now == want;
        }))
        return Fail(L"brightness step stored");
    if (!Until([&] { return Differences(Capture(293, 61, 44, 16), slot) > 10; }, kHangMs)) return Fail(L"brightness slot");
    if (!album.Take(L"settings_panel")) return false;
    if (!Sent(kPanelClose, SK_PANEL_CLOSING, 0, [] { return !Panel() && ViewerWindowWithPicture(); }))
        return Fail(L"picture back");
    return album.TakeWithPicture(L"back_from_settings", FramePicture());
}

bool Parked()
{
    RECT r = WindowRectOf(Viewer());
    return IsRectEmpty(&r) && !PictureIn(FramePicture());
}

// The status field's first line is written in orange once the menu has read the receiver.
bool StatusShown()
{
    Shot line = Capture(devmenu::kStatusText.left, devmenu::kStatusText.top, 160, 30);
    int orange = 0;
    for (uint32_t p : line.pixels) orange += Near(p, 0xF68818, 24) ? 1 : 0;
    return orange > 20;
}

bool BackToMenu(Album& album)
{
    Say(L"closing the viewer");
    if (!Sent(kClose, SK_RECEIVER, RCV_CLOSE, Parked)) return Fail(L"viewer parked");
    if (!Until([] { return Near(Capture(300, 58, 1, 1).At(0, 0), 0xF68818, 16) && StatusShown(); }, kHangMs))
        return Fail(L"main menu with its status");
    return album.Take(L"main_menu_status");
}

HWND VisibleWindowAt(int left, int top, int right, int bottom)
{
    struct Find {
        RECT want;
        HWND found;
    } find = {{left, top, right, bottom}, nullptr};
    EnumWindows(
        [](HWND w, LPARAM lp) CALLBACK -> BOOL {
            auto* f = reinterpret_cast<Find*>(lp);
            if (IsRect(WindowRectOf(w), f->want.left, f->want.top, f->want.right, f->want.bottom)) {
                f->found = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.found;
}

bool GpsAndBlank(Album& album, const std::wstring& gpsLog)
{
    Say(L"GPS wake-up");
    if (!MenuTouched(MENU_GPS, [&] { return FileHas(gpsLog, "$PPLMB,1,1"); })) return Fail(L"GPS sentence on COM7");
    Say(L"GPS module received $PPLMB,1,1");
    Say(L"blank screen");
    auto blank = [] {
        return VisibleWindowAt(0, 0, 480, 234) && Near(Capture(240, 117, 1, 1).At(0, 0), 0, 4) &&
               Near(Capture(100, 200, 1, 1).At(0, 0), 0, 4);
    };
    if (!MenuTouched(MENU_BLANK, blank)) return Fail(L"blank screen");
    if (!album.Take(L"blank_screen")) return false;
    // It ends by itself five seconds after its last paint; the menu is there again.
    if (!Until([] { return !VisibleWindowAt(0, 0, 480, 234) && !Near(Capture(100, 200, 1, 1).At(0, 0), 0, 4); },
               kHangMs))
        return Fail(L"blank screen gone");
    return true;
}

}  // namespace

bool RunTour(Album& album, const std::wstring& gpsLog)
{
    Listener heard;
    g_heard = &heard;
    return Boot(album) && TvWindow(album) && FullScreen(album) && PipCorners(album) && ChannelList(album) &&
           Search(album, heard) && RadioFullScreen(album) && Settings(album) && BackToMenu(album) &&
           GpsAndBlank(album, gpsLog);
}

}  // namespace tour
