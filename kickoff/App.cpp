#include "KickoffApp.h"

CKickoffApp theApp;
