// Where a finger touches the device's programs, and how their faces are told apart: shared by
// the scripted tour and the device's scenario tests.
#pragma once

#include <windows.h>

#include "../../viewer/res/TvScreenRes.h"
#include "Glass.h"
#include "World.h"

namespace devworld {

// Points of the viewer's skin (the window covers the screen in its window views).
constexpr POINT kFrame = {205, 250};
constexpr POINT kRightHalf = {480, 240};
constexpr POINT kPipButton = {25, 391};
constexpr POINT kMainMenuButton = {470, 91};
constexpr POINT kSettingsButton = {580, 91};
constexpr POINT kTvList = {470, 141};
constexpr POINT kRadioList = {580, 141};
constexpr POINT kVolumeUp = {589, 213};
constexpr POINT kVolumeDown = {589, 297};
constexpr POINT kBandButton = {473, 394};
constexpr POINT kSearch = {473, 440};
constexpr POINT kClose = {597, 452};
inline POINT Row(int k) { return POINT{500, 195 + 41 * k}; }   // row k of a channel list
// The settings panel.
constexpr POINT kBrightUp = {359, 68};
constexpr POINT kPanelClose = {448, 24};

// The viewer's right-hand panel, told apart by the corner that holds the list's label in the
// list panel and the search button in the main panel.
inline bool ViewerPanelShows(UINT bitmapId)
{
    static Shot parts[2];
    Shot& part = parts[bitmapId == IDB_LIST_PANEL ? 0 : 1];
    if (part.Empty()) part = BitmapPart(CardProgram(kViewerExe), bitmapId, 10, 370, 110, 34);
    return Shows(405 + 10, 61 + 370, part);
}

}  // namespace devworld
