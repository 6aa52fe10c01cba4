// The never-visible dialog that carries the GPS module's wake-up: it opens the port, sends the
// command sentence once, closes the port and asks to be closed, all inside its initialisation.
#ifndef SATWAKE_SATWAKEDLG_H
#define SATWAKE_SATWAKEDLG_H

#include <afxwin.h>
#include "GpsConnection.h"

class CSatWakeDlg : public CDialog {
public:
    CSatWakeDlg();

    CGpsConnection m_gps;
    HICON m_hIcon = nullptr;

    BOOL OnInitDialog() override;

private:
    void WakeModule();
};

#endif
