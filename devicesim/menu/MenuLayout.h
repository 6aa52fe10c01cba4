// Where the main menu's tiles are (the artwork in res/ is drawn to the same rectangles by
// tools/make_art.py --menu). Right and bottom are exclusive.
#pragma once

#include <windows.h>

#include "World.h"
#include "res/MainMenuRes.h"

namespace devmenu {

struct Tile {
    RECT rc;
    devworld::MenuItem item;
};

constexpr Tile kTiles[] = {
    {{14, 76, 210, 266}, devworld::MENU_TV},
    {{222, 76, 418, 266}, devworld::MENU_RADIO},
    {{430, 76, 626, 266}, devworld::MENU_SETTINGS},
    {{14, 280, 210, 470}, devworld::MENU_GPS},
    {{222, 280, 418, 470}, devworld::MENU_BLANK},
};

// The status field: what the receiver plays and the values of the store.
constexpr RECT kStatus = {430, 280, 626, 470};
constexpr RECT kStatusText = {446, 326, 612, 462};

inline POINT TileCentre(devworld::MenuItem item)
{
    for (const Tile& t : kTiles)
        if (t.item == item) return POINT{(t.rc.left + t.rc.right) / 2, (t.rc.top + t.rc.bottom) / 2};
    return POINT{-1, -1};
}

}  // namespace devmenu
