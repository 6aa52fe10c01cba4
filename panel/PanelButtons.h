// Where the panel's buttons are: touch rectangles (inclusive) and their two-state images.
#ifndef PANEL_PANELBUTTONS_H
#define PANEL_PANELBUTTONS_H

#include <afxwin.h>

struct PanelButton {
    int nHit;
    RECT rcTouch;       // inclusive on all four sides
    UINT nIdBitmap;     // released band at source y 0, pressed band below it
    int x, y, cx, cy;   // where the image goes, and the size of one band
};

// The button whose touch rectangle holds the point, or null.
const PanelButton* FindPanelButton(POINT pt);
const PanelButton* PanelButtonOf(int nHit);

#endif
