// Plain integer codes of the viewer: panels, elements, timers and the channel file. The view
// modes and bands are in ViewModes.h, the resource ids in res/TvScreenRes.h.
#ifndef VIEWER_VIEWERIDS_H
#define VIEWER_VIEWERIDS_H

#include "ViewModes.h"
#include "res/TvScreenRes.h"

enum : int { PANEL_MAIN = 130, PANEL_LIST = 131 };

enum : int { MUTE_STATE_MUTED = 1, MUTE_STATE_SOUND = 2 };

// Element codes: list rows 0-5, buttons 101-117, the volume bar and the two panels.
enum : int {
    ELEM_NONE = -1,
    ELEM_LIST_ROW_FIRST = 0,
    ELEM_LIST_ROW_LAST = 5,
    ELEM_CLOSE_MAIN = 101,
    ELEM_CLOSE_LIST = 102,
    ELEM_CHANNEL_UP_ARROW = 103,       // to the channel before
    ELEM_CHANNEL_DOWN_ARROW = 104,     // to the channel after
    ELEM_VOLUME_UP = 105,
    ELEM_VOLUME_DOWN = 106,
    ELEM_MUTE = 107,
    ELEM_SETTINGS = 108,
    ELEM_BAND = 109,
    ELEM_SEARCH = 110,
    ELEM_PIP = 111,
    ELEM_MAIN_MENU = 112,
    ELEM_TV_LIST = 113,
    ELEM_RADIO_LIST = 114,
    ELEM_SCROLL_UP = 115,
    ELEM_SCROLL_DOWN = 116,
    ELEM_DLS = 117,
    ELEM_VOLUME_BAR = 120,
    ELEM_MAIN_PANEL = 130,
    ELEM_LIST_PANEL = 131,
};

enum : int {
    LIST_ROWS = 6,
};

// Window timers; their periods and handlers are in the table of TvScreenTimers.cpp.
enum : unsigned {
    TIMER_RELOAD_1 = 1,         // then timer 2
    TIMER_RELOAD_2 = 2,         // then the radio window
    TIMER_WATCHDOG = 10,        // frees a stuck lock
    TIMER_SETTLING = 30,        // after a windowed switch
    TIMER_RELEASE = 50,         // after most commands
    TIMER_SWITCHED = 80,        // after scrolling and every overlay switch
};

// Channel file layout.
enum : int {
    CHANNEL_FILE_SIZE = 3204,
    CHANNEL_NAME_SIZE = 32,
    TV_NAMES_OFFSET = 4,
    TV_NAMES_MAX = 20,
    RADIO_NAMES_OFFSET = 644,
    RADIO_NAMES_MAX = 80,
};

#endif
