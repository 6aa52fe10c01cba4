// Plain integer codes of the viewer: view modes, bands, panels, elements, timers, resources.
#ifndef VIEWER_VIEWERIDS_H
#define VIEWER_VIEWERIDS_H

enum : int {
    VIEW_TV_WINDOW = 1,
    VIEW_RADIO_WINDOW = 2,
    VIEW_TV_FULL = 3,
    VIEW_RADIO_FULL = 4,
    VIEW_HIDDEN = 5,
    VIEW_TV_PIP = 6,
    VIEW_RADIO_PIP = 7,
};

enum : int { BAND_TV = 1, BAND_RADIO = 2 };

enum : int { PANEL_MAIN = 130, PANEL_LIST = 131 };

enum : int { MUTE_STATE_MUTED = 1, MUTE_STATE_SOUND = 2 };

// Element codes: list rows 0-5, buttons 101-117, the volume bar and the two panels.
enum : int {
    ELEM_NONE = -1,
    ELEM_LIST_ROW_FIRST = 0,
    ELEM_LIST_ROW_LAST = 5,
    ELEM_CLOSE_MAIN = 101,
    ELEM_CLOSE_LIST = 102,
    ELEM_CHANNEL_UP = 103,
    ELEM_CHANNEL_DOWN = 104,
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

// Window timers.
enum : unsigned {
    TIMER_RELOAD_1 = 1,         // 100 ms, then timer 2
    TIMER_RELOAD_2 = 2,         // 100 ms, then the radio window
    TIMER_WATCHDOG = 10,        // 100 ms, frees a stuck lock
    TIMER_SETTLING = 30,        // 2000 ms after a windowed switch
    TIMER_RELEASE = 50,         // 500 ms after most commands
    TIMER_SWITCHED = 80,        // 200 ms after scrolling and every overlay switch
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

// Resources.
enum : unsigned {
    IDC_DLS_EDIT = 1001,
    IDB_SKIN = 129,
    IDB_LIST_SCROLL_DOWN = 132,
    IDB_LIST_SCROLL_UP = 133,
    IDB_SEARCH = 137,
    IDB_LIST_ROW = 143,
    IDB_ARROW_UP = 150,
    IDB_MUTE = 154,
    IDB_PIP = 155,
    IDB_ARROW_DOWN = 156,
    IDB_BAND = 157,
    IDB_CLOSE_MAIN = 158,
    IDB_NOTICE_BLANK = 164,
    IDB_FIGURE_BLANK = 165,
    IDR_CLICK = 167,
    IDB_SETTINGS = 168,
    IDB_LIST_PANEL = 170,
    IDB_MAIN_PANEL = 171,
    IDB_VOLUME_BAR = 172,
    IDB_VOLUME_KNOB = 173,
    IDB_MAIN_MENU = 175,
    IDB_TV_LIST = 176,
    IDB_RADIO_LIST = 177,
    IDB_SCROLL_TRACK = 178,
    IDB_SCROLL_THUMB = 179,
    IDB_CLOSE_LIST = 180,
    IDB_DLS = 181,
    IDB_PROGRESS_EMPTY = 183,
    IDB_PROGRESS_FILL = 184,
};

#endif
