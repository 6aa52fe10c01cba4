#include "Frame.h"
#include "PanelCfgDlg.h"

class CPanelCfgApp : public CWinApp {
public:
    CPanelCfgApp() : CWinApp(nullptr) {}
    BOOL InitInstance() override
    {
        return RunGuardedDialog<CPanelCfgDlg>(*this, L"CONFIG");
    }
};

CPanelCfgApp theApp;
