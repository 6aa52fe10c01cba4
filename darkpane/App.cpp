#include "Frame.h"
#include "DarkPaneDlg.h"

class CDarkPaneApp : public CWinApp {
public:
    CDarkPaneApp() : CWinApp(nullptr) {}
    BOOL InitInstance() override
    {
        RunMainDialog<CDarkPaneDlg>(*this);
        return FALSE;
    }
};

CDarkPaneApp theApp;
