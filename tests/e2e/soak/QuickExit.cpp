// Stands in for the card's settings program in the soak: it starts and ends at once, so every
// press of the viewer's settings button starts a real process and nothing stays behind.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) { return 0; }
