// Resource ids of PanelCfg, shared by PanelCfg.rc, the panel's code and tools/make_art.py.
#ifndef PANEL_RES_PANELCFGRES_H
#define PANEL_RES_PANELCFGRES_H

#include "../../frame/FrameRes.h"

#define IDB_DIGITS 135
#define IDB_PANEL_SKIN 175
#define IDB_SLOT_ONOFF 183
#define IDB_SLOT_MUTE 192
#define IDB_CLOSE 195
#define IDR_CLICK 196
#define IDB_BRIGHT_RIGHT 204
#define IDB_BRIGHT_LEFT 205
#define IDB_DIMMER_RIGHT 206
#define IDB_DIMMER_LEFT 207
#define IDB_FM_RIGHT 208
#define IDB_FM_LEFT 209
#define IDB_SLOT_EMPTY 211

// Controls of the template. The face is drawn over them: all are hidden but the three small
// buttons at the right edge, and the hidden "-" and "+" of brightness, FM and dimmer still take
// their old commands.
#define IDC_SETUP 1000
#define IDC_SCREEN 1001
#define IDC_EXIT 1002
#define IDC_EXIT_HIDDEN 1003
#define IDC_CONTRAST_MINUS 1007
#define IDC_CONTRAST_PLUS 1008
#define IDC_CONTRAST_EDIT 1009
#define IDC_BRIGHT_MINUS 1010
#define IDC_BRIGHT_PLUS 1011
#define IDC_BRIGHT_EDIT 1012
#define IDC_MODEACT_EDIT 1013
#define IDC_MODEACT_MINUS 1016
#define IDC_FMTX_MINUS 1017
#define IDC_FMTX_PLUS 1018
#define IDC_FMTX_EDIT 1019
#define IDC_MODEACT_PLUS 1020
#define IDC_DIMMER_MINUS 1022
#define IDC_DIMMER_PLUS 1023
#define IDC_DIMMER_EDIT 1024
#define IDC_STARTPGM_MINUS 1025
#define IDC_STARTPGM_PLUS 1026
#define IDC_STARTPGM_EDIT 1027

#endif
