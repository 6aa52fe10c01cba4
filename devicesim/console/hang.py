"""How long a wait for something the device does may last before it counts as hung.

Long enough that no machine of ours, however loaded, is that slow, so a wait never judges speed:
every wait for an event (the console, the page, the replays and the tests) takes its limit from
here. The device's C++ side has the same figure in devicesim/common/HangLimit.h.
"""

HANG_S = 120.0
