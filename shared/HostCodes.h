// The command codes carried by "HL_SOFTKEY": code in wParam, argument in lParam.
#ifndef SHARED_HOSTCODES_H
#define SHARED_HOSTCODES_H

// Viewer -> host.
enum : int {
    SK_VIEW_REQUEST = 14,       // VIEWREQ_: full screen, back to the window, channel search
    SK_TUNE_CHANNEL = 47,       // argument: channel index in the current band
    SK_SELECT_BAND = 48,        // argument: the band, 1 TV or 2 radio
    SK_TV_LIST = 56,            // TVLIST_ARG, before the band is selected
    SK_PIP_LEAVE = 90,          // PIPLEAVE_ARG, after VIEWREQ_WINDOW from picture-in-picture
    SK_RECEIVER = 100,          // RCV_: volume, mute, PIP, band, close
    SK_PIP_REQUEST = 102,       // PIPREQ_: from full screen to PIP, or back to the window
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
    SK_VIEW = 16,               // the host's view commands and channel-file reloads (VIEWCMD_)
    SK_DMB_FIGURE = 60,
    SK_DAB_FIGURE = 61,
    SK_SEARCH_PROGRESS = 62,
    SK_LOCK = 80,               // LOCK_RELEASE frees the busy lock, LOCK_SEARCH_END ends the search
    SK_MUTE_STATE = 101,        // MUTE_ON muted, MUTE_OFF sound on
};

// Arguments of SK_VIEW. The viewer's view modes (VIEW_) are another thing: these say
// what the host asks for, the viewer works out the view from its own state.
enum : int {
    VIEWCMD_FULL_A = 40, VIEWCMD_FULL_B = 41,   // full screen of the last announced view's band
    VIEWCMD_PIP_NOW = 44,                       // PIP of the current view's band
    VIEWCMD_HIDE = 46,                          // the hidden view: overlay and window hidden
    VIEWCMD_STOP_PORT = 47,
    VIEWCMD_PIP_IF_ASKED = 48,                  // PIP, when a full-screen tap asked for it
    VIEWCMD_PIP_A = 50, VIEWCMD_PIP_B = 51,     // PIP of the last announced view's band
    VIEWCMD_PIP_LEFT_HALF = 52,                 // PIP kept to the left half of the screen
    VIEWCMD_PIP_EITHER_HALF = 53,
    VIEWCMD_WINDOW = 56,                        // back into the skin's frame
    VIEWCMD_RELOAD_THEN_RADIO = 58,             // reload the channel file, then the radio window
    VIEWCMD_RELOAD_TV_WINDOW = 59,
    VIEWCMD_RELOAD_RADIO_WINDOW = 60,
    VIEWCMD_SHOW_IN_FRAME = 61,                 // show the overlay in the frame as it is
    VIEWCMD_RESUME_AFTER_SETTINGS = 90,
    LOCK_RELEASE = 0,
    LOCK_SEARCH_END = 1,
    MUTE_ON = 11,
    MUTE_OFF = 12,
};

// Panel -> host.
enum : int {
    SK_DIMMER = 5,              // DIMMER_OFF_ARG ("OFF" shown), DIMMER_ON_ARG ("ON" shown)
    SK_PANEL_CLOSING = 9,       // argument 0
    SK_FM_TX = 41,              // FMTX_MUTED, else 0.1 MHz units
    SK_BRIGHTNESS = 42,         // 0 to 10
    DIMMER_OFF_ARG = 7,
    DIMMER_ON_ARG = 8,
};

// Host -> panel.
enum : int {
    SK_PANEL_TO_BACK = 45,      // arguments 5, 6 or 8
};

#endif
