// Resource ids of TVSCREEN, shared by TVSCREEN.rc, the viewer's code and tools/make_art.py
// (which names its bitmap files and art.rc entries from here).
#ifndef VIEWER_RES_TVSCREENRES_H
#define VIEWER_RES_TVSCREENRES_H

#include "../../frame/FrameRes.h"

// The DAB text line: the template's one control.
#define IDC_DLS_EDIT 1001

#define IDB_SKIN 129
#define IDB_UNUSED_DMB_BADGE 131
#define IDB_LIST_SCROLL_DOWN 132
#define IDB_LIST_SCROLL_UP 133
#define IDB_SEARCH 137
#define IDB_LIST_ROW 143
#define IDB_UNUSED_DAB_BADGE 145
#define IDB_ARROW_UP 150
#define IDB_MUTE 154
#define IDB_PIP 155
#define IDB_ARROW_DOWN 156
#define IDB_BAND 157
#define IDB_CLOSE_MAIN 158
#define IDB_NOTICE_BLANK 164
#define IDB_FIGURE_BLANK 165
#define IDR_CLICK 167
#define IDB_SETTINGS 168
#define IDB_LIST_PANEL 170
#define IDB_MAIN_PANEL 171
#define IDB_VOLUME_BAR 172
#define IDB_VOLUME_KNOB 173
#define IDB_MAIN_MENU 175
#define IDB_TV_LIST 176
#define IDB_RADIO_LIST 177
#define IDB_SCROLL_TRACK 178
#define IDB_SCROLL_THUMB 179
#define IDB_CLOSE_LIST 180
#define IDB_DLS 181
#define IDB_PROGRESS_EMPTY 183
#define IDB_PROGRESS_FILL 184

#endif
