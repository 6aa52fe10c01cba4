// Resource ids of SatWake, shared by SatWake.rc, its code and tools/make_art.py: only the frame's own.
#ifndef SATWAKE_RES_SATWAKERES_H
#define SATWAKE_RES_SATWAKERES_H

#include "../../frame/FrameRes.h"

#endif
