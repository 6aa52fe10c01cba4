#include "Frame.h"
#include "SatWakeDlg.h"

// No single-instance guard: two wake-ups side by side do no harm.
class CSatWakeApp : public CWinApp {
public:
    CSatWakeApp() : CWinApp(nullptr) {}
    BOOL InitInstance() override
    {
        RunMainDialog<CSatWakeDlg>(*this);
        return FALSE;
    }
};

CSatWakeApp theApp;
