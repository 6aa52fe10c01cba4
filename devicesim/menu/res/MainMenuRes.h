// Resource ids of the simulated main menu, shared by MainMenu.rc, its code and
// tools/make_art.py --menu.
#ifndef DEVICESIM_MENU_RES_MAINMENURES_H
#define DEVICESIM_MENU_RES_MAINMENURES_H

#define IDB_MENU_RELEASED 100
#define IDB_MENU_PRESSED 101
#define IDW_MENU_CLICK 102
#define IDI_MENU 128

#endif
