// Resource ids of DarkPane, shared by DarkPane.rc, its code and tools/make_art.py: only the frame's own.
#ifndef DARKPANE_RES_DARKPANERES_H
#define DARKPANE_RES_DARKPANERES_H

#include "../../frame/FrameRes.h"

#endif
