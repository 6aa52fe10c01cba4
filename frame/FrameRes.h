// Resource ids every program carries: its main dialog template and its icon. Included by each
// program's resource header, so by its .rc and its code alike.
#ifndef FRAME_FRAMERES_H
#define FRAME_FRAMERES_H

#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128

#endif
