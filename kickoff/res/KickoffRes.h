// Resource ids of Kickoff, shared by Kickoff.rc, its code and tools/make_art.py: only the frame's own.
#ifndef KICKOFF_RES_KICKOFFRES_H
#define KICKOFF_RES_KICKOFFRES_H

#include "../../frame/FrameRes.h"

#endif
