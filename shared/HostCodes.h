// The command codes carried by "HL_SOFTKEY": code in wParam, argument in lParam.
#ifndef SHARED_HOSTCODES_H
#define SHARED_HOSTCODES_H

// Viewer -> host.
enum : int {
    SK_VIEW_REQUEST = 14,       // 66 full screen, 74 back to the window, 68 channel search
    SK_TUNE_CHANNEL = 47,       // argument: channel index in the current band
    SK_SELECT_BAND = 48,        // argument: band 1 TV, 2 radio
    SK_TV_LIST = 56,            // argument 1, before 48/1
    SK_PIP_LEAVE = 90,          // argument 52, after 14/74 from picture-in-picture
    SK_RECEIVER = 100,          // volume, mute, PIP, band, close (arguments below)
    SK_PIP_REQUEST = 102,       // 1 from full screen to PIP, 2 back to the window
};

enum : int {
    VIEWREQ_FULL_SCREEN = 66,
    VIEWREQ_SEARCH = 68,
    VIEWREQ_WINDOW = 74,
    PIPLEAVE_ARG = 52,
    TVLIST_ARG = 1,
    RCV_VOLUME_UP = 11,
    RCV_VOLUME_DOWN = 12,
    RCV_MUTE = 23,
    RCV_PIP = 24,
    RCV_BAND = 25,
    RCV_CLOSE = 26,
    PIPREQ_FROM_FULL = 1,
    PIPREQ_TO_WINDOW = 2,
};

// Host -> viewer.
enum : int {
    SK_VIEW = 16,               // view commands and channel-file reloads (arguments below)
    SK_DMB_FIGURE = 60,
    SK_DAB_FIGURE = 61,
    SK_SEARCH_PROGRESS = 62,
    SK_LOCK = 80,               // 0 frees the busy lock, 1 ends the search
    SK_MUTE_STATE = 101,        // 11 muted, 12 sound on
};

enum : int {
    VIEW_FULL_A = 40, VIEW_FULL_B = 41,
    VIEW_PIP_NOW = 44,
    VIEW_PARK = 46,
    VIEW_STOP_PORT = 47,
    VIEW_PIP_IF_ASKED = 48,
    VIEW_PIP_A = 50, VIEW_PIP_B = 51,
    VIEW_PIP_LEFT = 52, VIEW_PIP_RIGHT = 53,
    VIEW_WINDOW = 56,
    VIEW_RELOAD_RADIO = 58,
    VIEW_RELOAD_TV_WINDOW = 59,
    VIEW_RELOAD_RADIO_WINDOW = 60,
    VIEW_SHOW_WINDOWED = 61,
    VIEW_RESUME = 90,
    LOCK_RELEASE = 0,
    LOCK_SEARCH_END = 1,
    MUTE_ON = 11,
    MUTE_OFF = 12,
};

// Panel -> host.
enum : int {
    SK_DIMMER = 5,              // 7 dimmer off ("OFF" shown), 8 on ("ON" shown)
    SK_PANEL_CLOSING = 9,       // argument 0
    SK_FM_TX = 41,              // 875 muted, else 0.1 MHz units
    SK_BRIGHTNESS = 42,         // 0 to 10
    DIMMER_OFF_ARG = 7,
    DIMMER_ON_ARG = 8,
};

// Host -> panel.
enum : int {
    SK_PANEL_TO_BACK = 45,      // arguments 5, 6 or 8
};

#endif
